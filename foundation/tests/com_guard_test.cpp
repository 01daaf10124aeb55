// The guard of COM methods and callbacks: exceptions become answers and a
// log line, never an unwinding through the caller's frames.
#include <gtest/gtest.h>

#include <stdexcept>

#include "foundation/com_guard.h"
#include "foundation/heap.h"
#include "log_capture.h"

namespace {

enum class Raise { kNothing, kOutOfMemory, kOther, kNumber };

HRESULT GuardedMethod(Raise raise) try {
  if (raise == Raise::kOutOfMemory) throw ZEQOutOfMemory();
  if (raise == Raise::kOther) throw std::runtime_error("broken");
  if (raise == Raise::kNumber) throw 7;
  return S_FALSE;
} ZEQ_COM_CATCH("Thing::Method")

LRESULT GuardedCallback(Raise raise) try {
  if (raise != Raise::kNothing) throw std::runtime_error("broken");
  return 1;
} ZEQ_CALLBACK_CATCH("ThingProc", -1)

TEST(ComGuard, ExceptionsBecomeAnswersWithALogLine) {
  const struct {
    const char* name;
    Raise raise;
    HRESULT answer;
    bool logged;
  } cases[] = {
      {"no exception", Raise::kNothing, S_FALSE, false},
      {"allocation failure", Raise::kOutOfMemory, E_OUTOFMEMORY, true},
      {"other exception", Raise::kOther, E_FAIL, true},
      {"thrown number", Raise::kNumber, E_FAIL, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    logtest::CapturedGlobalLog log;
    EXPECT_EQ(c.answer, GuardedMethod(c.raise));
    // The line stands in the log's warning banner.
    EXPECT_EQ(c.logged, log.Contents().find("Thing::Method: Unexpected exception...") != std::string::npos)
        << log.Contents();
  }
}

TEST(ComGuard, CallbacksAnswerTheirFailureValue) {
  logtest::CapturedGlobalLog log;
  EXPECT_EQ(1, GuardedCallback(Raise::kNothing));
  EXPECT_EQ(-1, GuardedCallback(Raise::kOther));
  EXPECT_NE(std::string::npos, log.Contents().find("ThingProc: Unexpected exception...")) << log.Contents();
}

}  // namespace
