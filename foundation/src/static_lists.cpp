#include "foundation/static_lists.h"

namespace {

// A keyed list with its lock, reset to empty. It is made on first use, so
// a static initialiser elsewhere that reaches it first still finds it.
struct StaticInitGlobalList {
  ZEQList* list = nullptr;
  StaticInitGlobalList() { ZEQList::Create(&list); }
  ~StaticInitGlobalList() { ZEQList::DeleteAt(&list); }
};

StaticInitGlobalList& MountList() {
  static StaticInitGlobalList mountList;
  return mountList;
}

// Made before the main routine even when nothing reaches it earlier.
const StaticInitGlobalList& g_mountListAtStart = MountList();

}  // namespace

ZEQList* VFSMountList() { return MountList().list; }
