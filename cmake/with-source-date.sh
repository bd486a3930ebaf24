#!/bin/sh
# with-source-date.sh FILE COMMAND...: runs the linker with SOURCE_DATE_EPOCH
# read from FILE, so that the PE header's time stamp is the sources' date and
# not the moment of linking (GNU ld takes it from that variable).
file=$1
shift
SOURCE_DATE_EPOCH=$(cat "$file") || exit 1
export SOURCE_DATE_EPOCH
exec "$@"
