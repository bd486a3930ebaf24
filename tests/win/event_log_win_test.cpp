// The event log on a real file system and the timestamp against Windows' own
// date and time formatting, run under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "monitor/errors.h"
#include "monitor/event_log.h"

namespace {

const std::string kLogPath = EventLogPath();
const char* const kEventLogPath = kLogPath.c_str();

std::string ReadLog() {
  std::string bytes;
  if (FILE* f = fopen(kEventLogPath, "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    fclose(f);
  }
  return bytes;
}

void WriteLog(const std::string& bytes) {
  FILE* f = fopen(kEventLogPath, "wb");
  ASSERT_NE(f, nullptr);
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

void RemoveLog() {
  SetFileAttributesA(kEventLogPath, FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(kEventLogPath);
}

DWORD LogEventError(const char* message) { return LogEvent(message); }

class EventLogWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveLog();
    g_localeFormats = LoadLocaleFormats();
    GetLocalTime(&start_);
  }
  void TearDown() override { RemoveLog(); }

  // Whether `text` is "timestamp message" CR LF, stamped at SetUp or now
  // (each test takes well under a second).
  ::testing::AssertionResult IsLine(const std::string& text, const std::string& message) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    for (const SYSTEMTIME& t : {start_, now}) {
      if (text == FormatTimestamp(t, g_localeFormats) + " " + message + "\r\n") {
        return ::testing::AssertionSuccess();
      }
    }
    return ::testing::AssertionFailure() << "unexpected line: " << text;
  }

  SYSTEMTIME start_;
};

TEST_F(EventLogWinTest, CreatesAppendsAndCutsAtCtrlZ) {
  ASSERT_EQ(GetFileAttributesA(kEventLogPath), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(LogEventError("InternetOpen Failed"), 0u);
  std::string first = ReadLog();
  EXPECT_TRUE(IsLine(first, "InternetOpen Failed"));

  EXPECT_EQ(LogEventError("GetExitCode Failed"), 0u);
  std::string both = ReadLog();
  ASSERT_EQ(both.compare(0, first.size(), first), 0);
  EXPECT_TRUE(IsLine(both.substr(first.size()), "GetExitCode Failed"));

  WriteLog(both + "\x1A" + "junk\x1A");
  EXPECT_EQ(LogEventError("BeginThread failed"), 0u);
  std::string cut = ReadLog();
  ASSERT_EQ(cut.compare(0, both.size(), both), 0);
  EXPECT_TRUE(IsLine(cut.substr(both.size()), "BeginThread failed"));

  // Further back than 128 bytes a Ctrl-Z is content.
  const std::string old = "\x1A" + std::string(128, 'o');
  WriteLog(old);
  EXPECT_EQ(LogEventError("InternetOpen Failed"), 0u);
  std::string kept = ReadLog();
  ASSERT_EQ(kept.compare(0, old.size(), old), 0);
  EXPECT_TRUE(IsLine(kept.substr(old.size()), "InternetOpen Failed"));
}

// Whether the file system refuses to open the log for writing.
bool WriterRefused() {
  HANDLE file = CreateFileA(kEventLogPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_ACCESS_DENIED;
  CloseHandle(file);
  return false;
}

// Under Wine as root the read-only attribute (a Unix mode without write
// bits) stops no writer. The Unix immutable flag does, and Wine then refuses
// the open with access denied as Windows does for a read-only file. Wine
// runs the Unix chattr detached, so this waits until the change shows.
// Returns whether it did.
bool SetImmutable(bool immutable) {
  typedef char*(CDECL * UnixFileName)(LPCWSTR);
  auto unixFileName = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
  if (!unixFileName) return false;
  const std::wstring wide(kLogPath.begin(), kLogPath.end());  // an ASCII path
  char* path = unixFileName(wide.c_str());
  if (!path) return false;
  std::string command = std::string("chattr ") + (immutable ? "+i " : "-i ") + path;
  HeapFree(GetProcessHeap(), 0, path);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessA("Z:\\usr\\bin\\chattr", &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  for (int i = 0; i < 500; ++i) {
    if (WriterRefused() == immutable) return true;
    Sleep(10);
  }
  return false;
}

TEST_F(EventLogWinTest, ReadOnlyLogIsRefusedAndKept) {
  WriteLog("keep\r\n");
  ASSERT_TRUE(SetFileAttributesA(kEventLogPath, FILE_ATTRIBUTE_READONLY));
  bool immutable = false;
  if (!WriterRefused()) {
    immutable = SetImmutable(true);
    if (!immutable) GTEST_SKIP() << "this file system lets a writer open a read-only file";
  }
  EXPECT_EQ(LogEventError("InternetOpen Failed"), 5u);
  if (immutable) {
    EXPECT_TRUE(SetImmutable(false));
  }
  EXPECT_EQ(ReadLog(), "keep\r\n");
}

TEST_F(EventLogWinTest, LogHeldOpenForWritingIsKept) {
  WriteLog("keep\r\n");
  HANDLE other = CreateFileA(kEventLogPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  EXPECT_EQ(LogEventError("InternetOpen Failed"), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  CloseHandle(other);
  EXPECT_EQ(ReadLog(), "keep\r\n");
}

// ---- the timestamp against GetDateFormatA / GetTimeFormatA ----------------------

std::string WindowsDate(LCID locale, const SYSTEMTIME& t, const char* picture) {
  char buffer[512];
  int n = GetDateFormatA(locale, 0, &t, picture, buffer, sizeof buffer);
  EXPECT_GT(n, 0) << "GetDateFormatA " << (picture ? picture : "(short date)");
  return n > 0 ? std::string(buffer, n - 1) : std::string();
}

std::string WindowsTime(LCID locale, const SYSTEMTIME& t, const char* picture) {
  char buffer[512];
  int n = GetTimeFormatA(locale, 0, &t, picture, buffer, sizeof buffer);
  EXPECT_GT(n, 0) << "GetTimeFormatA " << picture;
  return n > 0 ? std::string(buffer, n - 1) : std::string();
}

// One picture through our renderer (at a time other than midnight).
std::string Ours(const LocaleFormats& f, const SYSTEMTIME& t, const std::string& picture) {
  LocaleFormats only = f;
  only.shortDatePicture = picture;
  only.longTimePicture.clear();
  std::string text = FormatTimestamp(t, only);
  return text.substr(0, text.size() - 1);
}

// Windows reads '/' and ':' literally and takes any other letters as its
// own; the two renderers agree on pictures of d, M and y with separators
// that are the locale's own.
bool DatePictureAgrees(const LocaleFormats& f) {
  for (char c : f.shortDatePicture) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      if (c != 'd' && c != 'M' && c != 'y') return false;
    } else if (c == '\'' || c == '"' || (c == '/' && f.dateSeparator != '/') ||
               (c == ':' && f.timeSeparator != ':')) {
      return false;
    }
  }
  return true;
}

// Our long time picture as Windows writes it.
std::string WindowsTimePicture(const LocaleFormats& f) {
  const bool twelve = f.longTimePicture.find("AMPM") != std::string::npos;
  std::string hour = f.longTimePicture.compare(0, 2, "hh") == 0 ? "hh" : "h";
  if (!twelve) hour = hour == "hh" ? "HH" : "H";
  std::string sep(1, f.timeSeparator);
  return hour + "'" + sep + "'mm'" + sep + "'ss" + (twelve ? " tt" : "");
}

std::vector<SYSTEMTIME> SampleTimes() {
  std::vector<SYSTEMTIME> times;
  const WORD clock[][3] = {{9, 5, 3}, {0, 30, 15}, {12, 0, 1}, {13, 5, 0}, {23, 59, 59}, {0, 0, 0}};
  for (const auto& c : clock) times.push_back(SYSTEMTIME{2003, 3, 5, 7, c[0], c[1], c[2], 250});
  // Every month and every weekday.
  for (WORD month = 1; month <= 12; ++month) {
    SYSTEMTIME t{2010, month, 0, static_cast<WORD>(month + 10), 21, 7, 9, 0};
    FILETIME ft;
    SystemTimeToFileTime(&t, &ft);
    FileTimeToSystemTime(&ft, &t);  // fills in the weekday
    times.push_back(t);
  }
  return times;
}

void CompareWithWindows(LCID locale, const LocaleFormats& f) {
  SCOPED_TRACE(::testing::Message()
               << "locale 0x" << std::hex << locale << ", date picture " << f.shortDatePicture
               << ", time picture " << f.longTimePicture);
  const bool dateAgrees = DatePictureAgrees(f);
  const std::string timePicture = WindowsTimePicture(f);
  for (const SYSTEMTIME& t : SampleTimes()) {
    const std::string ours = FormatTimestamp(t, f);
    const bool midnight = t.wHour == 0 && t.wMinute == 0 && t.wSecond == 0;
    const std::string time = midnight ? "" : " " + WindowsTime(locale, t, timePicture.c_str());
    if (dateAgrees) {
      EXPECT_EQ(ours, WindowsDate(locale, t, nullptr) + time);
    } else {
      EXPECT_EQ(ours.substr(ours.size() - time.size()), time);
    }
    if (midnight) continue;
    for (const char* picture :
         {"d", "dd", "ddd", "dddd", "ddddd", "M", "MM", "MMM", "MMMM", "yy", "yyyy", "yyyyy"}) {
      EXPECT_EQ(Ours(f, t, picture), WindowsDate(locale, t, picture)) << picture;
    }
    for (const char* picture : {"t", "tt", "ttt"}) {
      // Windows' t takes the designator's first character, which is two
      // bytes in a double-byte code page; the log's text is single-byte.
      if (picture[1] == '\0' && static_cast<unsigned char>(Ours(f, t, "tt")[0]) >= 0x80) continue;
      EXPECT_EQ(Ours(f, t, picture), WindowsTime(locale, t, picture)) << picture;
    }
  }
}

TEST(TimestampWinTest, SystemLocaleMatchesWindows) {
  LocaleFormats f = LoadLocaleFormats();
  EXPECT_FALSE(f.shortDatePicture.empty());
  CompareWithWindows(GetSystemDefaultLCID(), f);
}

TEST(TimestampWinTest, OtherLocalesMatchWindows) {
  // en-US, en-GB, de-DE, fr-FR, nl-NL, sv-SE, es-ES, it-IT, pt-BR, ru-RU, ja-JP.
  for (LCID locale :
       {0x0409, 0x0809, 0x0407, 0x040C, 0x0413, 0x041D, 0x0C0A, 0x0410, 0x0416, 0x0419, 0x0411}) {
    CompareWithWindows(locale, ReadLocaleFormats(locale));
  }
}

}  // namespace
