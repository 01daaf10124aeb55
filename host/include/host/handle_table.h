// Handles: script receives operating-system and native resources (sockets,
// files, windows, plug-in libraries, players, profilers ...) as one kind of
// script object, "ZEQHandle" (Id, Cancel, Close). Behind each stands a
// ZEQHandleRecord owned through shared holders and listed in the
// process-wide handle table under "%08X.%08X" (type, id), with the number of
// script objects that refer to it; a record may also be found by a name.
// Closing a record runs the action its type requires, once.
//
// Script objects hold no holder, only the record's registry id, and find the
// record again on every call, so a closed record answers as gone.
#pragma once
#include <oaidl.h>
#include <windows.h>

#include <cstdint>

#include "foundation/named_lock.h"
#include "foundation/records.h"
#include "foundation/shared_handle.h"

class CZEQDispatchEx;
struct JSArray;

constexpr char kZEQHandleTag[] = "+ZEQHANDLE";

// Handle types.
constexpr uint32_t ZEQHANDLE_SOCKET = 1;
constexpr uint32_t ZEQHANDLE_DELAYEDCALL = 4;
constexpr uint32_t ZEQHANDLE_FILERECORD = 5;
constexpr uint32_t ZEQHANDLE_SKIN = 7;
constexpr uint32_t ZEQHANDLE_WINHANDLE = 8;
constexpr uint32_t ZEQHANDLE_SOUNDPLAYER = 9;
constexpr uint32_t ZEQHANDLE_PLUGIN = 10;
constexpr uint32_t ZEQHANDLE_WINHANDLE2 = 11;
constexpr uint32_t ZEQHANDLE_WINDOW = 13;
constexpr uint32_t ZEQHANDLE_MIXER = 17;
constexpr uint32_t ZEQHANDLE_TRAYICON = 18;
constexpr uint32_t ZEQHANDLE_PROFILER = 19;
constexpr uint32_t ZEQHANDLE_HANDLEVARIABLE = 20;
constexpr uint32_t ZEQHANDLE_WAVERECORDER = 22;
constexpr uint32_t ZEQHANDLE_SECUREBUFFER = 23;
constexpr uint32_t ZEQHANDLE_TONEPLAYER = 25;
constexpr uint32_t ZEQHANDLE_WINDOWRECORD = 26;
constexpr uint32_t ZEQHANDLE_COMOBJECT = 27;

struct ZEQHandleRecord {
  ZEQTypedRecord header;    // "+ZEQHANDLE", serial 0
  uintptr_t ownerValue;     // identifying word of the owner (0: none)
  char* name;               // heap text: the name it is registered under, or null
  uint32_t type;
  uintptr_t payload;        // a handle, a record pointer or a marshal packet, by type
  uint32_t ownsPayload;     // 1: the payload is a marshal packet this record frees
  uint32_t id;              // second payload word; with the type the table key
  HMODULE module;           // the module that made the record
  DWORD creatingThread;
  void* extraBuffer;        // freed with the record
  HANDLE* handleSlot;       // type 20: the handle variable to close
  HANDLE firstHandle;       // closed with the contents (0 and -1: none)
  HANDLE secondHandle;
  void* buffer;             // freed with the contents
  ZEQNamedLock* lock;       // deleted and freed with the contents
  uint32_t closed;          // the close action ran

  // Constructor in place: the tag, and zero header word, name, extra
  // buffer and type.
  static ZEQHandleRecord* Construct(ZEQHandleRecord* record);
  // The handle block a plug-in function receives (at least 600 bytes): the
  // tag at 0, type 10 at offset 580 and the owner value at 584 (a 32-bit
  // field: on 64-bit builds the pointer's token).
  static void* InitHeader(void* block, uintptr_t ownerValue);
};

constexpr size_t kZEQPluginHandleBlockSize = 600;

void ZEQHandleRecordDelete(ZEQHandleRecord* record);
template <>
struct ZEQPayloadTraits<ZEQHandleRecord>
    : ZEQPayloadPolicy<ZEQHandleRecord, ZEQHandleRecordDelete, ZEQPayloadFree::ByRelease> {};
using ZEQHandleHolder = ZEQSharedHandle<ZEQHandleRecord>;

// A new constructed record in a new holder (count 1).
void ZEQHandleNewHolder(ZEQHandleHolder* holder);
bool ZEQHandleIsType(const ZEQHandleHolder& holder, uint32_t type);
// Releases what the record holds (handles, buffer, owned packet, lock) and
// clears type, payload and id; a second call frees nothing.
void ZEQHandleRecordFreeContents(ZEQHandleRecord* record);

// Close actions of types whose resources belong to other subsystems
// (players, recorders, tray icons, mixers, file records ...): the subsystem
// installs its action once; a type without one is closed by removal only.
// The action runs under the handle table's lock and must not wait for a
// thread that closes handles. Returns the previous action.
using ZEQHandleCloseAction = void (*)(ZEQHandleRecord* record);
ZEQHandleCloseAction ZEQSetHandleCloseAction(uint32_t type, ZEQHandleCloseAction action);

namespace ZEQHandleTable {
// Under the table's lock: finds the entry of the record (adding it, with a
// reference of the table, for a positive delta), adds delta to its count of
// script references and returns the new count (0 when there is no entry).
LONG AddRef(LONG delta, uint32_t* registryId, ZEQHandleHolder holder);
// Without force: drops one script reference and closes only when none is
// left. With force, or at the last reference: removes the name, runs the
// type's close action, removes the entry and frees the contents. TRUE when
// the record was closed now.
BOOL CloseHandle(bool force, ZEQHandleHolder holder);
// The count of script references of the record (0 when not listed).
LONG ReferenceCount(const ZEQHandleHolder& holder);
}  // namespace ZEQHandleTable

namespace ZEQNamedHandle {
// The record registered under the name while it lives, else empty.
void Find(const char* name, ZEQHandleHolder* holder);
// Keeps a copy of the name in the record and registers it when no live
// record holds the name yet (the first live registration wins).
void Register(const char* name, ZEQHandleHolder holder);
}  // namespace ZEQNamedHandle
// Removes the name from the named table; 1 when it was there.
int ZEQNamedObjectRemove(const char* name);

// Script objects.
namespace ZEQHandle {
// Makes the record and a "ZEQHandle" object for it (one reference): the
// name is registered when given, the object counts as one script reference
// and keeps the record's registry id. The object shares the store when one
// is given. Null when the record cannot be made.
CZEQDispatchEx* Create(const char* name, uintptr_t ownerValue, uint32_t type, uintptr_t payload, uint32_t id,
                       HWND owner = nullptr);
// Another "ZEQHandle" object for a record that is already listed (one more
// script reference).
CZEQDispatchEx* CreateFor(ZEQHandleHolder holder, HWND owner = nullptr);
}  // namespace ZEQHandle
HRESULT ZEQHandleGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD nameFlags, DISPID* id);
HRESULT ZEQHandleInvoke(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, IServiceProvider* caller);

// The record behind a "ZEQHandle" object in the VARIANT; empty otherwise.
void ZEQHandleFromVariant(ZEQHandleHolder* holder, const VARIANT* value);

// Typed forms: a record of the given type whose payload is a marshal packet
// of the typed holder (owned by the record), keyed by the holder's registry
// id, as a script object. Players, recorders and windows come to script
// this way.
template <typename T>
CZEQDispatchEx* ZEQHandleObjectForHolder(const ZEQSharedHandle<T>& holder, uint32_t type, HWND owner = nullptr);
// The object appended to a script array (nothing when no object was made);
// the array keeps its own reference.
int ZEQHandleObjectToScriptArray(CZEQDispatchEx* object, JSArray* array);
// The object in a VARIANT (VT_DISPATCH with a reference), VT_NULL without one.
void ZEQHandleObjectToVariant(CZEQDispatchEx* object, VARIANT* value);

// Implementation of the typed form.
CZEQDispatchEx* ZEQHandleObjectForPacket(KESTOMarshalPacket* packet, uint32_t registryId, uint32_t type, HWND owner);
template <typename T>
CZEQDispatchEx* ZEQHandleObjectForHolder(const ZEQSharedHandle<T>& holder, uint32_t type, HWND owner) {
  if (!holder.IsSet()) return nullptr;
  auto& source = const_cast<ZEQSharedHandle<T>&>(holder);
  return ZEQHandleObjectForPacket(source.Marshal(false), source.GetId(), type, owner);
}
