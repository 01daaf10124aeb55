// The dispatch table of the primitives and their entries: each entry reads
// the process's code path once and continues at that slot's build.
#include "g729/g729.h"
#include "primitive_entries.h"

static_assert(sizeof(G729HighPassState) == 24, "the high-pass state has its fixed size");
static_assert(sizeof(G729HistoryRecord) == 20, "the history record has its fixed size");

namespace {

typedef G729PrimitiveBuild AnyEntry;

struct Table {
  AnyEntry slots[kG729PrimitiveCount * 6];
};

// Every built primitive has its generic build in all six slots; an index
// the codec does not use stays null.
Table BuildTable() {
  Table t = {};
  auto place = [&t](int index, AnyEntry generic) {
    for (int p = 0; p < 6; p++) t.slots[index * 6 + p] = generic;
  };
  place(0, reinterpret_cast<AnyEntry>(&G729AlignedMalloc));
  place(1, reinterpret_cast<AnyEntry>(&G729AlignedFree));
#define G729_PLACE(index, name, params, args) place(index, reinterpret_cast<AnyEntry>(&g729::generic::name));
  G729_PRIMITIVES(G729_PLACE)
#undef G729_PLACE
  return t;
}

const Table& Slots() {
  static const Table table = BuildTable();
  return table;
}

}  // namespace

extern "C" {

G729PrimitiveBuild G729DispatchSlot(int32_t index, int32_t path) {
  if (index < 0 || index >= kG729PrimitiveCount || path < 0 || path > 5) return nullptr;
  return Slots().slots[6 * index + path];
}

#define G729_DEFINE_ENTRY(index, name, params, args)                     \
  int32_t name params {                                                  \
    typedef int32_t(*Build) params;                                      \
    const AnyEntry e = Slots().slots[6 * (index) + G729CPUPath];          \
    return reinterpret_cast<Build>(e) args;                              \
  }
G729_PRIMITIVES(G729_DEFINE_ENTRY)
#undef G729_DEFINE_ENTRY

}  // extern "C"
