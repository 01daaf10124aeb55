// Shared between the parts of CZEQDispatchEx: the set of live objects, which
// custom unmarshalling checks before it hands an object out.
#pragma once
#include "host/dispatch_ex.h"

// Adds a reference when the object is live (in the set, count above zero);
// false otherwise. Safe against an object that is being destroyed.
bool ZEQTryAddRefLive(CZEQDispatchEx* object);
void ZEQAddLive(CZEQDispatchEx* object);
void ZEQRemoveLive(CZEQDispatchEx* object);

// Marks a member list entry deleted; an expando's stored value goes with it.
// The caller holds the list's lock.
void ZEQMarkMemberDeleted(CZEQDispatchEx* object, ZEQList* list, ZEQListItem* item);
