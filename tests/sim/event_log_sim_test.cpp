#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "monitor/errors.h"
#include "monitor/event_log.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_locale.h"
#include "platform/sim/sim_time.h"
#include "platform/win_file.h"

namespace {

const std::string kLine = "3/7/03 9:05:03 AM InternetOpen Failed\r\n";
// The simulated Windows lives in C:\WINDOWS.
const char* const kLog = "C:\\WINDOWS\\vorn.log";
const char* const kAppendOpen =
    "CreateFileA(\"C:\\WINDOWS\\vorn.log\", 0xC0000000, 0x1, NULL, 3, 0x80, NULL)";
const char* const kCreateOpen =
    "CreateFileA(\"C:\\WINDOWS\\vorn.log\", 0x40000000, 0x1, NULL, 2, 0x80, NULL)";

class EventLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    sim::SetUtcNow(SYSTEMTIME{2003, 3, 5, 7, 9, 5, 3, 0});
    g_localeFormats = DefaultLocaleFormats();
    g_localeFormats.shortDatePicture = "M/d/yy";
    g_localeFormats.amDesignator = "AM";
    g_localeFormats.pmDesignator = "PM";
  }
  void TearDown() override {
    EXPECT_EQ(sim::OpenHandles("file"), 0u) << "LogEvent left the log open";
    g_localeFormats = DefaultLocaleFormats();
  }

  // The error code LogEvent returns, and its text as a file error's.
  static DWORD LogEventError(const char* message = "InternetOpen Failed",
                             std::string* text = nullptr) {
    const DWORD error = LogEvent(message);
    if (text && error) *text = InOutErrorMessage(error);
    return error;
  }

  static std::vector<DWORD> WriteSizes() {
    std::vector<DWORD> sizes;
    for (const sim::Call& call : sim::Journal()) {
      if (call.name == "WriteFile") {
        sizes.push_back(static_cast<DWORD>(std::stoul(call.args.substr(call.args.find(", ") + 2))));
      }
    }
    return sizes;
  }
};

TEST_F(EventLogTest, MissingLogIsCreatedWithOneLine) {
  EXPECT_EQ(LogEventError(), 0u);
  EXPECT_EQ(sim::FileBytes(kLog), kLine);
  EXPECT_EQ(sim::CallsOf({"CreateFileA"}), (std::vector<std::string>{kAppendOpen, kCreateOpen}));
  EXPECT_EQ(WriteSizes(), std::vector<DWORD>{static_cast<DWORD>(kLine.size())});
}

TEST_F(EventLogTest, ExistingLogIsAppendedTo) {
  const std::string earlier(300, 'e');
  sim::PutFile(kLog, earlier);
  EXPECT_EQ(LogEventError(), 0u);
  EXPECT_EQ(LogEventError("GetExitCode Failed"), 0u);
  EXPECT_EQ(sim::FileBytes(kLog), earlier + kLine + "3/7/03 9:05:03 AM GetExitCode Failed\r\n");
  EXPECT_EQ(sim::CallsOf({"CreateFileA"}), (std::vector<std::string>{kAppendOpen, kAppendOpen}));
}

TEST_F(EventLogTest, CutAtFirstCtrlZAmongTheLast128Bytes) {
  const std::string before(200, 'b');
  struct Case {
    const char* what;
    std::string content;
    std::string kept;
  } cases[] = {
      {"Ctrl-Z in the tail", before + "\x1A" + "after\x1A" + "more", before},
      {"Ctrl-Z as the last byte", before + "\x1A", before},
      {"Ctrl-Z earlier is content", "a\x1A" + before, "a\x1A" + before},
      {"only the tail's counts", "a\x1A" + before + "\x1Az", "a\x1A" + before},
      {"short file, Ctrl-Z first",
       "\x1A"
       "abc",
       ""},
      {"exactly 128 bytes back", "x\x1A" + std::string(127, 'c'), "x"},
      {"129 bytes back", "\x1A" + std::string(128, 'c'), "\x1A" + std::string(128, 'c')},
  };
  for (const Case& c : cases) {
    sim::PutFile(kLog, c.content);
    EXPECT_EQ(LogEventError(), 0u) << c.what;
    EXPECT_EQ(sim::FileBytes(kLog), c.kept + kLine) << c.what;
  }
}

TEST_F(EventLogTest, MidnightLineHasTheDateAlone) {
  sim::SetUtcNow(SYSTEMTIME{2003, 3, 5, 7, 0, 0, 0, 740});
  EXPECT_EQ(LogEventError("BeginThread failed"), 0u);
  EXPECT_EQ(sim::FileBytes(kLog), "3/7/03 BeginThread failed\r\n");
}

// The log that exists stays exactly as it was whenever it cannot be opened
// and prepared for appending; only a missing log is created.
TEST_F(EventLogTest, AppendOpenFailuresLeaveTheLogAlone) {
  struct Case {
    const char* what;
    void (*arrange)();
    DWORD code;
    const char* message;
  } cases[] = {
      {"read-only", [] { sim::SetReadOnly(kLog, true); }, 5, "File access denied"},
      {"open by a writer",
       [] { sim::HoldFile(kLog, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE); }, 32,
       "I/O error 32"},
      {"open by a reader who shares no writing",
       [] { sim::HoldFile(kLog, GENERIC_READ, FILE_SHARE_READ); }, 32, "I/O error 32"},
      {"open refused", [] { sim::FailCall("CreateFileA", 4); }, 4, "Too many open files"},
      {"size", [] { sim::FailCall("GetFileSize", 6); }, 6, "I/O error 6"},
      {"first seek", [] { sim::FailCall("SetFilePointer", 131); }, 131, "I/O error 131"},
      {"read", [] { sim::FailCall("ReadFile", 30); }, 30, "I/O error 30"},
      {"seek to the Ctrl-Z", [] { sim::FailCall("SetFilePointer", 87, 1); }, 87, "I/O error 87"},
      {"cut", [] { sim::FailCall("SetEndOfFile", 29); }, 29, "I/O error 29"},
  };
  const std::string content = std::string(150, 'k') + "\x1A" + "tail";
  for (const Case& c : cases) {
    sim::Reset();
    sim::SetUtcNow(SYSTEMTIME{2003, 3, 5, 7, 9, 5, 3, 0});
    sim::PutFile(kLog, content);
    c.arrange();
    std::string message;
    EXPECT_EQ(LogEventError("InternetOpen Failed", &message), c.code) << c.what;
    EXPECT_EQ(message, c.message) << c.what;
    EXPECT_EQ(sim::FileBytes(kLog), content) << c.what;
    EXPECT_EQ(sim::CountCalls("CreateFileA"), 1u) << c.what << ": no create open";
    EXPECT_EQ(sim::CountCalls("WriteFile"), 0u) << c.what;
    EXPECT_EQ(sim::OpenHandles("file"), 0u) << c.what;
  }
}

// The log goes where the system says Windows lives; only when it cannot say,
// to c:\windows.
TEST_F(EventLogTest, LogIsInTheWindowsFolder) {
  struct Case {
    const char* what;
    std::string windows;  // what GetWindowsDirectoryA reports; "" fails
    const char* log;
  } cases[] = {
      {"NT 4.0 and 2000", "C:\\WINNT", "C:\\WINNT\\vorn.log"},
      {"another drive", "E:\\Win98", "E:\\Win98\\vorn.log"},
      {"a drive's root", "D:\\", "D:\\vorn.log"},
      {"the call fails", "", "c:\\windows\\vorn.log"},
      {"longer than MAX_PATH", "C:\\" + std::string(MAX_PATH, 'w'), "c:\\windows\\vorn.log"},
  };
  for (const Case& c : cases) {
    sim::Reset();
    sim::SetUtcNow(SYSTEMTIME{2003, 3, 5, 7, 9, 5, 3, 0});
    if (c.windows.empty()) {
      sim::FailCall("GetWindowsDirectoryA", ERROR_INVALID_PARAMETER);
    } else {
      sim::SetWindowsDirectory(c.windows);
      sim::AddDirectory(c.windows);
    }
    // Where the system names a folder of its own there is no c:\windows.
    if (c.log[0] != 'c') sim::DeleteDirectory("c:\\windows");
    EXPECT_EQ(EventLogPath(), c.log) << c.what;
    EXPECT_EQ(LogEventError(), 0u) << c.what;
    EXPECT_EQ(sim::FileBytes(c.log), kLine) << c.what;
  }
}

TEST_F(EventLogTest, CreateOpenFailures) {
  std::string message;
  sim::DeleteDirectory("c:\\windows");
  EXPECT_EQ(LogEventError("InternetOpen Failed", &message), 3u);
  EXPECT_EQ(message, "Invalid filename");
  EXPECT_EQ(sim::CountCalls("CreateFileA"), 1u);  // path not found is no missing file
  EXPECT_FALSE(sim::FileExists(kLog));

  sim::Reset();
  sim::FailCall("CreateFileA", 5, 1);  // the create open itself
  EXPECT_EQ(LogEventError("InternetOpen Failed", &message), 5u);
  EXPECT_EQ(message, "File access denied");
  EXPECT_EQ(sim::CountCalls("CreateFileA"), 2u);
  EXPECT_FALSE(sim::FileExists(kLog));
}

TEST_F(EventLogTest, LinesReachTheFile128BytesAtATime) {
  // Lengths with CR LF: the timestamp and blank take 18 bytes.
  struct Case {
    size_t messageLength;
    std::vector<DWORD> writes;
  } cases[] = {
      {107, {127}}, {108, {128}}, {109, {128, 1}}, {236, {128, 128}}, {282, {128, 128, 46}},
  };
  for (const Case& c : cases) {
    sim::Reset();
    sim::SetUtcNow(SYSTEMTIME{2003, 3, 5, 7, 9, 5, 3, 0});
    const std::string message(c.messageLength, 'm');
    EXPECT_EQ(LogEventError(message.c_str()), 0u);
    EXPECT_EQ(sim::FileBytes(kLog), "3/7/03 9:05:03 AM " + message + "\r\n");
    EXPECT_EQ(WriteSizes(), c.writes) << "message of " << c.messageLength;
  }
}

TEST_F(EventLogTest, FailedWriteKeepsWhatWasWritten) {
  const std::string message(200, 'w');
  const std::string line = "3/7/03 9:05:03 AM " + message + "\r\n";
  sim::PutFile(kLog, "old\r\n");
  sim::FailCall("WriteFile", 39, 1);  // the second buffer
  std::string text;
  EXPECT_EQ(LogEventError(message.c_str(), &text), 39u);
  EXPECT_EQ(text, "I/O error 39");
  EXPECT_EQ(sim::FileBytes(kLog), "old\r\n" + line.substr(0, 128));

  // A full disk, then room again: the next event appends after the part.
  sim::SetDiskLimit(20);
  EXPECT_EQ(LogEventError("RasEnumConnections Failed"), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(sim::OpenHandles("file"), 0u);
  sim::SetDiskLimit(0);
  EXPECT_EQ(LogEventError("RasGetConnectStatus Failed"), 0u);
  EXPECT_EQ(sim::FileBytes(kLog),
            "old\r\n" + line.substr(0, 128) + "3/7/03 9:05:03 AM RasGetConnectStatus Failed\r\n");
}

// ---- LoadLocaleFormats -------------------------------------------------------

class LocaleFormatsTest : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }
};

// Every field, one a line.
std::string Fields(const LocaleFormats& f) {
  std::string text = f.shortDatePicture + "\n" + f.dateSeparator + f.timeSeparator + "\n" +
                     f.amDesignator + "\n" + f.pmDesignator + "\n" + f.longTimePicture + "\n";
  for (int i = 1; i <= 12; ++i) text += f.monthAbbrev[i] + "\n" + f.monthFull[i] + "\n";
  for (int i = 0; i < 7; ++i) text += f.dayAbbrev[i] + "\n" + f.dayFull[i] + "\n";
  return text;
}

TEST_F(LocaleFormatsTest, EveryReadFailingGivesTheDefaults) {
  sim::FailCall("GetLocaleInfoA", ERROR_INVALID_PARAMETER, 0, -1);
  LocaleFormats f = LoadLocaleFormats();
  EXPECT_EQ(Fields(f), Fields(DefaultLocaleFormats()));
  EXPECT_EQ(FormatTimestamp(SYSTEMTIME{2003, 3, 5, 7, 9, 5, 3, 0}, f), "3/7/03 9:05:03 am");
}

TEST_F(LocaleFormatsTest, ReadsTheSystemDefaultLocale) {
  sim::SetSystemLocale(0x0407);
  const char* const days[] = {"Montag",  "Dienstag", "Mittwoch", "Donnerstag",
                              "Freitag", "Samstag",  "Sonntag"};
  for (LCTYPE i = 0; i < 7; ++i) {
    sim::SetLocaleInfo(LOCALE_SDAYNAME1 + i, days[i]);
    sim::SetLocaleInfo(LOCALE_SABBREVDAYNAME1 + i, std::string(days[i], 2));
  }
  sim::SetLocaleInfo(LOCALE_SMONTHNAME1 + 2, "M\xE4rz");
  sim::SetLocaleInfo(LOCALE_SABBREVMONTHNAME1 + 11, "Dez");
  sim::SetLocaleInfo(LOCALE_SSHORTDATE, "dd.MM.yyyy");
  sim::SetLocaleInfo(LOCALE_SDATE, ".");
  sim::SetLocaleInfo(LOCALE_ITLZERO, "1");
  sim::SetLocaleInfo(LOCALE_ITIME, "1");
  sim::SetLocaleInfo(LOCALE_S1159, "");
  sim::SetLocaleInfo(LOCALE_S2359, "");
  std::string longName(255, 'L');
  sim::SetLocaleInfo(LOCALE_SMONTHNAME1 + 4, longName);
  sim::SetLocaleInfo(LOCALE_SMONTHNAME1 + 5, longName + "X");  // does not fit: the default

  LocaleFormats f = LoadLocaleFormats();
  EXPECT_EQ(f.shortDatePicture, "dd.MM.yyyy");
  EXPECT_EQ(f.dateSeparator, '.');
  EXPECT_EQ(f.timeSeparator, ':');
  EXPECT_EQ(f.longTimePicture, "hh:mm:ss");
  EXPECT_EQ(f.amDesignator, "");
  EXPECT_EQ(f.dayFull[0], "Sonntag");
  EXPECT_EQ(f.dayFull[1], "Montag");
  EXPECT_EQ(f.dayFull[6], "Samstag");
  EXPECT_EQ(f.dayAbbrev[0], "So");
  EXPECT_EQ(f.dayAbbrev[1], "Mo");
  EXPECT_EQ(f.dayAbbrev[6], "Sa");
  EXPECT_EQ(f.monthFull[3], "M\xE4rz");
  EXPECT_EQ(f.monthFull[1], "January");
  EXPECT_EQ(f.monthFull[5], longName);
  EXPECT_EQ(f.monthFull[6], "June");
  EXPECT_EQ(f.monthAbbrev[12], "Dez");
  EXPECT_EQ(FormatTimestamp(SYSTEMTIME{2003, 3, 5, 7, 9, 5, 3, 0}, f), "07.03.2003 09:05:03");

  // Every item from the system locale, the separators with room for one
  // character, everything else with 256.
  std::set<LCTYPE> items;
  for (const sim::Call& call : sim::Journal()) {
    if (call.name != "GetLocaleInfoA") continue;
    unsigned locale, item;
    int size;
    ASSERT_EQ(sscanf(call.args.c_str(), "0x%x, 0x%x, %d", &locale, &item, &size), 3);
    EXPECT_EQ(locale, 0x0407u);
    EXPECT_EQ(size, item == LOCALE_SDATE || item == LOCALE_STIME ? 2 : 256) << item;
    items.insert(item);
  }
  std::set<LCTYPE> expected = {LOCALE_SDATE,   LOCALE_STIME, LOCALE_SSHORTDATE, LOCALE_ITIME,
                               LOCALE_ITLZERO, LOCALE_S1159, LOCALE_S2359};
  for (LCTYPE item = LOCALE_SDAYNAME1; item <= LOCALE_SABBREVMONTHNAME1 + 11; ++item) {
    expected.insert(item);
  }
  EXPECT_EQ(items, expected);
}

// Sets an item's value, or makes its read fail (nullopt).
void SetItem(LCTYPE item, const std::optional<std::string>& value) {
  if (value) {
    sim::SetLocaleInfo(item, *value);
  } else {
    sim::FailLocaleInfo(item);
  }
}

TEST_F(LocaleFormatsTest, SeparatorsOfOneCharacterOnly) {
  const std::pair<std::optional<std::string>, char> cases[] = {
      {".", '.'}, {"-", '-'}, {"..", 0}, {"", 0}, {std::nullopt, 0}};  // 0: the default
  for (const auto& c : cases) {
    sim::Reset();
    SetItem(LOCALE_SDATE, c.first);
    SetItem(LOCALE_STIME, c.first);
    LocaleFormats f = LoadLocaleFormats();
    EXPECT_EQ(f.dateSeparator, c.second ? c.second : '/') << c.first.value_or("failed");
    EXPECT_EQ(f.timeSeparator, c.second ? c.second : ':') << c.first.value_or("failed");
  }
}

TEST_F(LocaleFormatsTest, LongTimePictureFromLeadingZeroAndClock) {
  const std::optional<std::string> failed;
  struct Case {
    std::optional<std::string> leadingZero, clock;  // LOCALE_ITLZERO, LOCALE_ITIME
    const char* picture;
  } cases[] = {
      {"0", "0", "h:mm:ss AMPM"},    {"1", "0", "hh:mm:ss AMPM"}, {"0", "1", "h:mm:ss"},
      {"1", "1", "hh:mm:ss"},        {"2", "-1", "hh:mm:ss"},     {"00", "+0", "h:mm:ss AMPM"},
      {"yes", "1 ", "h:mm:ss AMPM"}, {"", "-", "h:mm:ss AMPM"},   {failed, failed, "h:mm:ss AMPM"},
      {failed, "1", "h:mm:ss"},
  };
  for (const Case& c : cases) {
    sim::Reset();
    SetItem(LOCALE_ITLZERO, c.leadingZero);
    SetItem(LOCALE_ITIME, c.clock);
    EXPECT_EQ(LoadLocaleFormats().longTimePicture, c.picture)
        << c.leadingZero.value_or("failed") << " / " << c.clock.value_or("failed");
  }
}

}  // namespace
