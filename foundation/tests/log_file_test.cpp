// The log file: its banner entries, the last-session check across runs,
// the size limit, the pending queue and the start-up's steps on the file.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "foundation/list.h"
#include "foundation/log.h"
#include "foundation/log_file.h"
#include "foundation/process_state.h"
#include "foundation/records.h"
#include "log_capture.h"
#include "log_file_support.h"

namespace {

using logfiletest::OwnLog;
using logfiletest::ReadFileText;
using logfiletest::SettingsScope;
using logfiletest::TempFolder;
using logfiletest::WriteFileText;

const char kExecutable[] = "C:\\Apps\\Phone.exe";

// Time stamps become STAMP, the version line VERSION and prefixes P, so
// that whole files can be compared.
std::string Masked(const std::string& text) {
  static const std::regex stamp(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d:\d{3})");
  static const std::regex version(
      R"(KESTO Version: 3\.7\.121 - ZEQ Version: 2\.5 - Windows version: \d+\.\d+\.\d+\.2 \([^)]*\) - Code Page: \d+)");
  static const std::regex prefix(R"(( {7}|\[[!$]\][ \[$\]!]{4})[0-9A-F]{8} \d\d:\d\d:\d\d \d{6}\.\d{3} \d{6}\.\d{3} - )");
  std::string masked = std::regex_replace(text, stamp, "STAMP");
  masked = std::regex_replace(masked, version, "VERSION");
  return std::regex_replace(masked, prefix, "P");
}

const std::string kBanner = "KESTO Location: \"C:\\Apps\\Phone.exe\"\r\n       VERSION\r\n       ";
const std::string kStarted = "       [STARTED] STAMP\r\n       " + kBanner + "\r\n";
const std::string kRestarted = "       [RESTARTED] STAMP\r\n       " + kBanner + "\r\n";
const std::string kClosed = "\r\n       " + kBanner + "[CLOSED] STAMP";

class LogFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ComposeApplicationBanner(kExecutable);
    ZEQSetLogSizeLimit(kZEQLogNoSizeLimit);
  }
  std::string Text() { return Masked(ReadFileText(path_)); }

  SettingsScope settings_;
  TempFolder folder_;
  std::string path_ = folder_ / "logs\\today\\phone.log";
  OwnLog log_;
};

TEST_F(LogFile, OpenMakesTheFoldersAndWritesTheStartedEntry) {
  ASSERT_TRUE(log_->Open(path_.c_str(), true));
  EXPECT_EQ(Text(), kStarted);
  EXPECT_EQ(log_->lastSession, 0u);
  EXPECT_STREQ(log_->path, path_.c_str());
  // One file per log.
  EXPECT_FALSE(log_->Open((folder_ / "other.log").c_str(), true));

  log_.Write("hello");
  EXPECT_EQ(Text(), kStarted + "Phello\r\n");
}

TEST_F(LogFile, CloseEndsTheFileWithTheClosedLineAndLaterTextIsQueued) {
  ASSERT_TRUE(log_->Open(path_.c_str(), true));
  log_.Write("working");
  ASSERT_TRUE(log_->Close());
  const std::string closed = kStarted + "Pworking\r\n" + kClosed;
  EXPECT_EQ(Text(), closed);
  EXPECT_EQ(log_->file, INVALID_HANDLE_VALUE);

  EXPECT_FALSE(log_->Close());
  log_.Write("after the end");
  EXPECT_EQ(Text(), closed);
  EXPECT_GT(log_->pending->count, 0);
}

TEST_F(LogFile, ThePreviousRunsLastLineTellsWhetherItClosed) {
  const std::string closedLine = "       [CLOSED] 01/02/2024 10:11:12:123";
  // A mark that straddles two of the backward reads still counts.
  const std::string straddling = "\r\n" + std::string(1000, 'a') + "[CLOSED]" + std::string(509, 'b');
  struct Case {
    const char* name;
    std::string previous;
    uint32_t before;
    uint32_t after;
  };
  const Case cases[] = {
      {"closed", "run\r\n" + closedLine, 1, 0},
      {"ended with a line break", "run\r\n" + closedLine + "\r\n", 0, 1},
      {"crashed mid-line", "       [STARTED] x\r\nworking", 0, 1},
      {"mark only in an earlier line", closedLine + "\r\nmore", 0, 1},
      {"long last line", straddling, 1, 0},
      {"empty, flag clear", "", 0, 0},
      {"empty, flag set", "", 1, 1},
      {"no line feed", "[CLOSED]", 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder_ / "previous.log";
    WriteFileText(path, c.previous);
    OwnLog log;
    log->lastSession = c.before;
    ASSERT_TRUE(log->Open(path.c_str(), true));
    EXPECT_EQ(log->lastSession, c.after);
    EXPECT_EQ(Masked(ReadFileText(path)), kStarted);
  }
}

TEST_F(LogFile, WithoutTruncationTheNewRunFollowsTheOldOne) {
  const std::string path = folder_ / "old.log";
  WriteFileText(path, "old run");
  ASSERT_TRUE(log_->Open(path.c_str(), false));
  EXPECT_EQ(Masked(ReadFileText(path)), "old run\r\n       " + kStarted);
}

TEST_F(LogFile, TwoRunsOfTheProcess) {
  // Each run is a process of its own; the last one is this process.
  // Parent and children agree on the path, so it names no process.
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "zeqlogfile.tworuns";
  const std::string path = folder + "\\runs.log";
  if (!::testing::internal::InDeathTestChild()) {
    DeleteFileA(path.c_str());
    RemoveDirectoryA(folder.c_str());
  }
  // A run that ends through the immediate exit closes its log.
  EXPECT_EXIT(
      {
        ZEQGlobalLog()->Open(path.c_str(), true);
        ZEQLogPrintf("run one");
        ZEQSetExitCode(7);
        KESTOTerminate();
      },
      ::testing::ExitedWithCode(7), "");
  const std::string first = Masked(ReadFileText(path));
  EXPECT_EQ(first, kStarted + "Prun one\r\n" + kClosed);
  EXPECT_EQ(ZEQGetApplicationState(), kZEQAppRunning);

  // The next run finds it closed, then ends without closing.
  EXPECT_EXIT(
      {
        ZEQGlobalLog()->Open(path.c_str(), true);
        ZEQLogPrintf("run two");
        ExitProcess(ZEQGlobalLog()->lastSession == 0 ? 3 : 4);
      },
      ::testing::ExitedWithCode(3), "");
  EXPECT_EQ(Masked(ReadFileText(path)), kStarted + "Prun two\r\n");

  OwnLog third;
  ASSERT_TRUE(third->Open(path.c_str(), true));
  EXPECT_EQ(third->lastSession, 1u);
  EXPECT_EQ(Masked(ReadFileText(path)), kStarted);
  third.Abandon();
  DeleteFileA(path.c_str());
  RemoveDirectoryA(folder.c_str());
}

TEST_F(LogFile, TextWrittenBeforeTheFileOpensFollowsTheStartedEntry) {
  log_.Write("early one");
  log_.Write("!early two");
  EXPECT_FALSE(log_->FlushPending());
  ASSERT_TRUE(log_->Open(path_.c_str(), true));
  EXPECT_EQ(Text(), kStarted);
  ASSERT_TRUE(log_->FlushPending());
  const std::string warning = std::string(42, ' ') + "--- WARNING " + std::string(100, '-') + "\r\n";
  const std::string closing = std::string(42, ' ') + std::string(112, '-') + "\r\n";
  const std::string flushed = kStarted + "Pearly one\r\n" + warning + "Pearly two\r\n" + closing;
  EXPECT_EQ(Text(), flushed);
  EXPECT_EQ(log_->pending->count, 0);
  ASSERT_TRUE(log_->FlushPending());
  EXPECT_EQ(Text(), flushed);
}

TEST_F(LogFile, ThePendingQueueIsBoundedAndKeepsTheEarliestText) {
  ZEQList* queue = log_->pending;
  char piece[32];
  int accepted = 0;
  for (int i = 0; i < kZEQLogPendingMaxWrites + 50; ++i) {
    std::snprintf(piece, sizeof piece, "%05d\r\n", i);
    accepted += LogFileWrite(log_.get(), piece) ? 1 : 0;
  }
  EXPECT_EQ(accepted, kZEQLogPendingMaxWrites);
  EXPECT_EQ(queue->count, kZEQLogPendingMaxWrites);
  EXPECT_EQ(log_->pendingDropped, 50u * 7);

  ASSERT_TRUE(log_->Open(path_.c_str(), true));
  ASSERT_TRUE(log_->FlushPending());
  std::string expected = kStarted;
  for (int i = 0; i < kZEQLogPendingMaxWrites; ++i) {
    std::snprintf(piece, sizeof piece, "%05d\r\n", i);
    expected += piece;
  }
  expected += "       *** 350 bytes of log text were dropped while the log had no file\r\n";
  EXPECT_EQ(Text(), expected);
  EXPECT_EQ(queue->count, 0);
  EXPECT_EQ(log_->pendingDropped, 0u);
}

TEST_F(LogFile, ThePendingQueueHoldsAtMostItsBytes) {
  const std::string block(4000, 'q');
  for (int i = 0; i < 300; ++i) LogFileWrite(log_.get(), block.c_str());
  // Once something was dropped, even small text waits for the flush.
  EXPECT_FALSE(LogFileWrite(log_.get(), "tiny"));
  EXPECT_LE(log_->pending->keyBytes, kZEQLogPendingMaxBytes);
  EXPECT_EQ(uint64_t(log_->pending->count) * 4001, log_->pending->keyBytes);
  EXPECT_EQ(log_->pendingDropped, (300u - uint32_t(log_->pending->count)) * 4000 + 4);
}

TEST_F(LogFile, PassingTheSizeLimitRestartsTheFile) {
  ASSERT_TRUE(log_->Open(path_.c_str(), true));
  // The limit is checked before every write: the first line's pieces all
  // start within it, and its line break takes the file past it.
  const char first[] = "first line, which takes the file past its limit";
  const size_t started = ReadFileText(path_).size();
  ZEQSetLogSizeLimit(uint32_t(started + kZEQLogPrefixWidth + sizeof first));
  log_.Write(first);
  EXPECT_EQ(Text(), kStarted + "P" + first + "\r\n");
  log_.Write("second");
  EXPECT_EQ(Text(), kRestarted + "Psecond\r\n");
}

TEST_F(LogFile, WithoutALimitTheFileKeepsGrowing) {
  ASSERT_TRUE(log_->Open(path_.c_str(), true));
  const std::string line(1000, 'g');
  for (int i = 0; i < 300; ++i) log_.Write(line.c_str());
  const std::string text = Text();
  EXPECT_EQ(text.rfind(kStarted, 0), 0u);
  EXPECT_EQ(text.find("[RESTARTED]"), std::string::npos);
  EXPECT_GT(text.size(), 300u * 1000);
}

TEST_F(LogFile, ALimitOfZeroKeepsOnlyTheLatestWrite) {
  // "max size" that is not a number reads as 0.
  ASSERT_TRUE(SetLogMaxSizeText("unlimited"));
  EXPECT_EQ(ZEQGetLogSizeLimit(), 0u);
  ASSERT_TRUE(log_->Open(path_.c_str(), true));
  EXPECT_TRUE(LogFileWrite(log_.get(), "latest"));
  EXPECT_EQ(Text(), kRestarted + "latest");
}

TEST_F(LogFile, AFileOfThePackageTakesNoText) {
  struct {
    ZEQTypedRecord header;
    char data[64];
  } virtualFile = {};
  ZEQStampRecord(&virtualFile, "+KESTOVFSHANDLE", nullptr);
  log_->SetFile(reinterpret_cast<HANDLE>(&virtualFile));
  SetLastError(0);
  EXPECT_FALSE(LogFileWrite(log_.get(), "text"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  SetLastError(0);
  EXPECT_FALSE(log_->Restart());
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  log_->SetFile(nullptr);
}

TEST_F(LogFile, InstalledFileCallsOpenAndCloseTheFile) {
  static std::string opened;
  static int closes = 0;
  opened.clear();
  closes = 0;
  const ZEQLogFileCalls calls = {
      [](const char* path) {
        opened = path;
        return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
      },
      [](HANDLE* slot) {
        ++closes;
        const BOOL closed = CloseHandle(*slot);
        *slot = INVALID_HANDLE_VALUE;
        return closed;
      },
  };
  ZEQLogSetFileCalls(&calls);
  const std::string path = folder_ / "direct.log";
  const BOOL open = log_->Open(path.c_str(), true);
  const BOOL close = log_->Close();
  ZEQLogSetFileCalls(nullptr);
  EXPECT_TRUE(open);
  EXPECT_TRUE(close);
  EXPECT_EQ(opened, path);
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(Masked(ReadFileText(path)), kStarted + kClosed);
}

TEST_F(LogFile, APathLongerThanTheBufferIsRefused) {
  const std::string path = folder_ / (std::string(300, 'n') + ".log");
  EXPECT_FALSE(log_->Open(path.c_str(), true));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILENAME_EXCED_RANGE));
  EXPECT_FALSE(log_->HasFile());
}

// The start-up's steps: open, flush, size limit by mode, "max size", report.
TEST_F(LogFile, StartUpSetsTheLimitByTheExecutablesMode) {
  struct Case {
    const char* name;
    bool signature;
    const char* maxSize;
    uint32_t limit;
    std::string report;
  };
  const Case cases[] = {
      {"plain executable", false, nullptr, kZEQLogNoSizeLimit, "PLog Size Limit: INFINITE\r\n"},
      {"signed executable", true, nullptr, 20971520, "PLog Size Limit: 20971520 Bytes\r\n"},
      {"max size", true, "5000", 5000, "PLog Size Limit: 5000 Bytes\r\n"},
      // Every write to a file that is not empty restarts it first.
      {"max size not a number", false, "big", 0, ""},
      {"max size -1", true, "-1", kZEQLogNoSizeLimit, "PLog Size Limit: INFINITE\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ZEQSetLogSizeLimit(kZEQLogNoSizeLimit);
    OwnLog log;
    log.Write("before the file");
    const std::string path = folder_ / (std::string(c.name) + ".log");
    const std::string quoted = "  \"" + path + "\" ";
    ZEQLogFileSettings settings = {true, quoted.c_str(), false, kExecutable, c.signature, c.maxSize};
    EXPECT_EQ(ZEQLogStartFile(log.get(), settings), 0u);
    EXPECT_EQ(ZEQGetLogSizeLimit(), c.limit);
    const std::string expected = c.report.empty() ? kRestarted + "\r\n" : kStarted + "Pbefore the file\r\n" + c.report;
    EXPECT_EQ(Masked(ReadFileText(path)), expected);
  }
}

TEST_F(LogFile, StartUpNamesTheFileAfterTheExecutable) {
  const std::string executable = folder_ / "Phone.v2.exe";
  ZEQLogFileSettings settings = {true, nullptr, false, executable.c_str(), false, nullptr};
  EXPECT_EQ(ZEQLogStartFile(log_.get(), settings), 0u);
  EXPECT_STREQ(log_->path, (folder_ / "Phone.v2.log").c_str());
  EXPECT_NE(GetFileAttributesA((folder_ / "Phone.v2.log").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(LogFile, StartUpStopsOnAFileThatDoesNotOpenUnlessErrorsAreIgnored) {
  const std::string blocker = folder_ / "blocker";
  WriteFileText(blocker, "a file where a folder should be");
  const std::string path = blocker + "\\phone.log";
  ZEQLogFileSettings settings = {true, path.c_str(), false, kExecutable, false, nullptr};
  EXPECT_EQ(ZEQLogStartFile(log_.get(), settings), kZEQLogOpenError);
  EXPECT_FALSE(log_->HasFile());

  settings.ignoreErrors = true;
  EXPECT_EQ(ZEQLogStartFile(log_.get(), settings), 0u);
  EXPECT_FALSE(log_->HasFile());
  // The report waits in the queue for a file that may open later.
  EXPECT_GT(log_->pending->count, 0);
}

TEST_F(LogFile, StartUpWithTheLogDisabledOpensNothing) {
  ZEQLogFileSettings settings = {false, path_.c_str(), false, kExecutable, true, nullptr};
  EXPECT_EQ(ZEQLogStartFile(log_.get(), settings), 0u);
  EXPECT_FALSE(log_->HasFile());
  EXPECT_EQ(GetFileAttributesA(path_.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(ZEQGetLogSizeLimit(), kZEQLogSignedSizeLimit);
}

TEST_F(LogFile, InitialisationTimeIsReadFromTheStartUpProfiler) {
  logtest::CapturedGlobalLog capture;
  ZEQProfiler startup = {};
  startup.Init("start-up", logtest::FakeClock());
  logtest::Advance(1500);
  LogInitializedTime("Phone", &startup);
  LogInitializedTime("Phone", &startup);
  startup.Free();
  const auto texts = capture.Texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "*** Phone initialized in 1.500 seconds");
  EXPECT_EQ(texts[1], "*** Phone initialized in 1.500 seconds");
}

}  // namespace
