// Test support: walks one call through every allocation it makes, failing
// each in turn through the heap's test hook (foundation/heap_faults.h), and
// checks with the heap's own counters that no run leaves a block behind.
#pragma once
#include <gtest/gtest.h>

#include <cstddef>

#include "foundation/heap.h"
#include "foundation/heap_faults.h"

struct AllocationSweep {
  size_t allocations = 0;  // allocations of the call when none fails
  size_t thrown = 0;       // failures that left the call as ZEQOutOfMemory
};

// The armed failure of one run of a sweep.
class AllocationFault {
 public:
  explicit AllocationFault(size_t n) : n_(n) {}
  // Just before the layer's entry: its nth allocation from here fails.
  void Arm() { HeapFailNthAllocation(n_); }
  // Just after the entry, before the test checks or copies anything (which
  // may allocate too): the test's own allocations never fail.
  void Disarm() {
    if (disarmed_) return;
    reached_ = !HeapFailurePending();
    HeapFailNthAllocation(0);
    disarmed_ = true;
  }
  bool Reached() const { return reached_; }

 private:
  size_t n_;
  bool reached_ = false;
  bool disarmed_ = false;
};

// run(fault) prepares its input, calls fault.Arm() just before the layer's
// entry and fault.Disarm() just after it, checks the outcome, frees what it
// got back and returns true for success, false for the layer's own
// out-of-memory result. A ZEQOutOfMemory leaving run is counted in thrown (a
// layer whose rule is to let exhaustion through shows it there; for any
// other it is a fault).
template <typename Run>
AllocationSweep SweepAllocationFailures(Run run, size_t limit = 100000) {
  AllocationSweep sweep;
  for (size_t n = 1; n <= limit; ++n) {
    const long long balance = HeapThreadBlockBalance();
    AllocationFault fault(n);
    bool succeeded = false;
    bool threw = false;
    try {
      succeeded = run(fault);
    } catch (const ZEQOutOfMemory&) {
      threw = true;
    }
    fault.Disarm();
    EXPECT_EQ(balance, HeapThreadBlockBalance()) << "blocks left behind when allocation " << n << " failed";
    if (!fault.Reached()) {
      EXPECT_TRUE(succeeded && !threw) << "the call failed with every allocation served";
      sweep.allocations = n - 1;
      return sweep;
    }
    if (threw) ++sweep.thrown;
  }
  ADD_FAILURE() << "the call made more than " << limit << " allocations";
  return sweep;
}
