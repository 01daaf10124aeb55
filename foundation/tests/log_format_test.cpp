// The line format of log entries: command characters, marker column, prefix
// fields, indentation, banners and rules.
#include <gtest/gtest.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/log.h"
#include "log_capture.h"

namespace {

using logtest::Advance;
using logtest::CapturedLog;
using logtest::Prefix;

const std::string kOpeningBanner = std::string(42, ' ') + "--- WARNING " + std::string(100, '-');
const std::string kClosingBanner = std::string(42, ' ') + std::string(112, '-');

void Write(ZEQLog* log, const char* text) { ZEQLogWrite(text, log, 0, nullptr); }

class LogFormat : public ::testing::Test {
 protected:
  void SetUp() override {
    // Every entry below comes 0.1 s after the previous one.
    Advance(100);
    Write(log(), "start");
    capture_.Clear();
    elapsed_ = 0.1;
  }
  ZEQLog* log() { return capture_.log(); }
  // The next entry's prefix: 0.1 s after the previous line.
  std::string Next(const std::string& marker = "") {
    Advance(100);
    elapsed_ += 0.1;
    return Prefix(marker, GetCurrentThreadId(), 0.1, elapsed_);
  }

  CapturedLog capture_;
  double elapsed_ = 0;
};

TEST_F(LogFormat, CommandCharactersDecorateTheEntry) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;  // "P" stands for the prefix
  };
  const std::string section7 = "-- section " + std::string(153, '-');
  const std::string long100(100, 'x');
  const std::vector<Case> cases = {
      {"plain", {"Pplain"}},
      {"!warned", {kOpeningBanner, "Pwarned", kClosingBanner}},
      {"!-section", {kOpeningBanner, "P" + section7, kClosingBanner}},
      {"-!bang", {"P-- !bang " + std::string(155, '-')}},
      {"-section", {"P" + section7}},
      {"-", {"P--  " + std::string(160, '-')}},
      {"-" + std::string(99, 'y'), {"P-- " + std::string(99, 'y') + " " + std::string(61, '-')}},
      {"-" + long100, {"P-- " + long100}},
      {".raw", {"raw"}},
      {"@at sign", {"Pat sign"}},
      {"@-at section", {"P-- at section " + std::string(150, '-')}},
      {"\xFFscript output", {"P[ZEQ] script output"}},
      {"\xFF.raw script", {"raw script"}},
      {"\xFF!tagged warning", {kOpeningBanner, "P[ZEQ] tagged warning", kClosingBanner}},
      {">>not echoed", {"P>>not echoed"}},
      {"..two dots", {".two dots"}},
      {"a%d%%b", {"Pa%d%%b"}},
  };
  for (const auto& c : cases) {
    capture_.Clear();
    const std::string prefix = Next();
    Write(log(), c.text.c_str());
    std::vector<std::string> expected;
    for (std::string line : c.lines) {
      if (!line.empty() && line[0] == 'P') line = prefix + line.substr(1);
      expected.push_back(line);
    }
    EXPECT_EQ(expected, capture_.Lines()) << c.text;
    // A line without prefix takes no lap: restart it for the next case.
    if (c.lines.back()[0] != 'P' && c.lines.size() == 1) Write(log(), "restart the lap");
  }
}

TEST_F(LogFormat, TildeKeepsTheWidthWithBlankFields) {
  // The lap is still taken, so the marker column still sees the silence.
  Advance(300);
  Write(log(), "~quiet");
  Advance(100);
  Write(log(), "~-tilde error");
  const std::vector<std::string> expected = {
      "[$]    " + std::string(42, ' ') + "quiet",
      "[!]    " + std::string(42, ' ') + "-tilde error",
  };
  EXPECT_EQ(expected, capture_.Lines());
}

TEST_F(LogFormat, MarkerColumnShowsFailureWordsAndSilence) {
  struct Case {
    const char* text;
    int64_t gap;  // ms since the previous line
    const char* marker;
  };
  const Case cases[] = {
      {"all went well", 100, ""},       {"it FAILED", 100, "[!]"},     {"an Error here", 100, "[!]"},
      {"will reTRY", 100, "[!]"},       {"erro e falha", 100, ""},     {"error failed retry", 100, "[!]"},
      {"quiet", 251, "[$]"},            {"exactly", 250, ""},          {"late error", 1000, "[!][$]"},
  };
  for (const auto& c : cases) {
    capture_.Clear();
    Advance(c.gap);
    elapsed_ += c.gap / 1000.0;
    const std::string expected = Prefix(c.marker, GetCurrentThreadId(), c.gap / 1000.0, elapsed_) + c.text;
    Write(log(), c.text);
    EXPECT_EQ(std::vector<std::string>{expected}, capture_.Lines()) << c.text;
  }
}

TEST_F(LogFormat, LineFeedsIndentContinuationLines) {
  struct Case {
    const char* text;
    std::string contents;  // "P" stands for the prefix
  };
  const std::vector<Case> cases = {
      {"one\ntwo\nthree", "Pone\n       two\n       three\r\n"},
      {"\r\nfirst", "\r\nP       first\r\n"},
      {"\nfirst", "\nP       first\r\n"},
      {"\r\n\nboth", "\r\nP       \n       both\r\n"},
      {"-sec\nond", "P-- sec\n       ond " + std::string(146, '-') + "\r\n"},
      {"ends\n", "Pends\n       \r\n"},
  };
  for (const auto& c : cases) {
    capture_.Clear();
    const std::string prefix = Next();
    Write(log(), c.text);
    std::string expected = c.contents;
    expected.replace(expected.find('P'), 1, prefix);
    std::string contents = capture_.Contents();
    const size_t thread = contents.find(logtest::Hex8(GetCurrentThreadId()));
    ASSERT_NE(std::string::npos, thread) << c.text;
    contents.replace(thread + 9, 8, "hh:mm:ss");
    EXPECT_EQ(expected, contents) << c.text;
  }
}

TEST_F(LogFormat, ArgumentsWithLineFeedsAreIndentedLikeTheFormat) {
  const std::string prefix = Next();
  const char* argument = "b\nc\nd";
  ZEQLogPrintfTo(log(), "a\n%s|%d", argument, 5);
  const std::vector<std::string> expected = {prefix + "a\n       b\n       c\n       d|5"};
  EXPECT_EQ(expected, capture_.Lines());
}

TEST_F(LogFormat, PrefixFieldsFollowTheFlags) {
  const DWORD thread = 0xABC123;
  struct Case {
    uint32_t flags;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {kZEQLogDefaultFlags, "       00ABC123 hh:mm:ss 000000.100 000000.200 - "},
      {kZEQLogThreadField, "       00ABC123" + std::string(31, ' ') + " - "},
      {kZEQLogLapField | kZEQLogRawPrefix, "       " + std::string(18, ' ') + "000000.100" + std::string(14, ' ')},
      {0, std::string(46, ' ') + " - "},
      {kZEQLogTimeField | kZEQLogElapsedField, std::string(16, ' ') + "hh:mm:ss" + std::string(12, ' ') + "000000.600 - "},
  };
  for (const auto& c : cases) {
    Advance(100);
    ZEQLogFormatPrefix(thread, "text", log(), c.flags);
    EXPECT_EQ(c.expected, logtest::MaskTime(log()->prefix)) << c.flags;
  }
}

TEST_F(LogFormat, ElapsedFieldIsLeftOutWithoutAStartStamp) {
  log()->startStamp = 0;
  Advance(100);
  ZEQLogFormatPrefix(0x1, "text", log(), kZEQLogDefaultFlags);
  // The blank after the missing field stays.
  EXPECT_EQ("       00000001 hh:mm:ss 000000.100  - ", logtest::MaskTime(log()->prefix));
}

TEST_F(LogFormat, PrintfToWritesOnlyWithAFile) {
  const std::string prefix = Next();
  EXPECT_TRUE(ZEQLogPrintfTo(log(), "with %s", "file"));
  HANDLE file = log()->SetFile(INVALID_HANDLE_VALUE);
  EXPECT_FALSE(ZEQLogPrintfTo(log(), "without a file"));
  log()->SetFile(nullptr);
  EXPECT_FALSE(ZEQLogPrintfTo(log(), "without a file"));
  log()->SetFile(file);
  EXPECT_EQ(std::vector<std::string>{prefix + "with file"}, capture_.Lines());
}

TEST_F(LogFormat, CallsKeepTheCallersLastError) {
  logtest::CapturedGlobalLog global;
  SetLastError(ERROR_FILE_NOT_FOUND);
  ZEQLogPrintf("global %d", 1);
  EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());
  SetLastError(ERROR_ACCESS_DENIED);
  ZEQLogPrintfTo(log(), "to a log %d", 2);
  EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
  SetLastError(ERROR_INVALID_DATA);
  ZEQLogPost(log(), "posted without a main window %d", 3);
  EXPECT_EQ(DWORD(ERROR_INVALID_DATA), GetLastError());
  SetLastError(ERROR_INVALID_DATA);
  ZEQLogPrintfTo(nullptr, "no log");
  EXPECT_EQ(DWORD(ERROR_INVALID_DATA), GetLastError());
  EXPECT_EQ(std::vector<std::string>{"global 1"}, global.Texts());
  const auto lines = capture_.Lines();
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ("to a log 2", logtest::AfterPrefix(lines[0]));
  EXPECT_EQ("posted without a main window 3", logtest::AfterPrefix(lines[1]));
}

TEST_F(LogFormat, CatchAllGuardsLogAWarning) {
  logtest::CapturedGlobalLog global;
  ZEQLogUnexpected("SleepExt");
  const auto lines = logtest::SplitLines(global.Contents());
  ASSERT_EQ(3u, lines.size());
  EXPECT_EQ(kOpeningBanner, lines[0]);
  EXPECT_EQ("SleepExt: Unexpected exception...", logtest::AfterPrefix(lines[1]));
  EXPECT_EQ(kClosingBanner, lines[2]);
}

// Standard output redirected into a temporary file while alive.
class CapturedStdout {
 public:
  CapturedStdout() {
    std::fflush(stdout);
    saved_ = _dup(_fileno(stdout));
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    GetTempFileNameA(folder, "zco", 0, path_);
    FILE* file = std::fopen(path_, "wb");
    _dup2(_fileno(file), _fileno(stdout));
    std::fclose(file);
  }
  std::string Finish() {
    std::fflush(stdout);
    _dup2(saved_, _fileno(stdout));
    _close(saved_);
    std::string text;
    if (FILE* file = std::fopen(path_, "rb")) {
      char chunk[512];
      for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, got);
      std::fclose(file);
    }
    DeleteFileA(path_);
    return text;
  }

 private:
  int saved_;
  char path_[MAX_PATH];
};

TEST_F(LogFormat, SingleAngleBracketEchoesToTheConsole) {
  const std::string first = Next();
  CapturedStdout console;
  Write(log(), ">echoed text");
  const std::string second = Next();
  Write(log(), ">-not a section\n");
  Write(log(), ">>kept");
  const std::string echoed = console.Finish();
  EXPECT_EQ("echoed text\n-not a section\n", echoed);
  const std::vector<std::string> expected = {first + "echoed text", second + "-not a section\n       ",
                                             Prefix("", GetCurrentThreadId(), 0, elapsed_) + ">>kept"};
  EXPECT_EQ(expected, capture_.Lines());
}

}  // namespace
