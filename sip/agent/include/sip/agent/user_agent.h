// The SIP user agent as the program starts it: its operations installed in
// the transaction layer and the "ZEQSIP" class in the script namespace.
#pragma once
#include <oaidl.h>
#include <windows.h>

#include <cstdint>

#include "foundation/shared_handle.h"
#include "sip/transaction.h"
#include "windows/records.h"

class CZEQDispatchEx;
struct JSArray;

// Installs the user agent (once per process; later calls do nothing) and
// publishes "ZEQSIP" to pages. false when the class could not be registered.
bool SIPInstallUserAgent();

// ---------------------------------------------------------------------------
// The script object of a transaction.

// The class's member dispatcher (construction and every member).
HRESULT ZEQSIPInvoke(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                     EXCEPINFO* exception, IServiceProvider* caller);

// A new "ZEQSIP" object (one reference for the caller) for the transaction,
// owned by owner or, when owner is no window, by the window of the root
// account's container; the transaction is listed as seen by script. Null
// when the holder is empty or memory is exhausted.
CZEQDispatchEx* ZEQSIP(HWND owner, const SIPTransactionHolder& transaction);
// Inserts the transaction's object into an argument array at position.
void SIPPushScriptObjectArgument(JSArray* arguments, const SIPTransactionHolder& transaction, int position);
// The object as an object result (empty when none could be made).
void SIPTransactionToVariant(VARIANT* result, const SIPTransactionHolder& transaction);
// The transaction of a "ZEQSIP" object given as a script value; empty for
// any other value or once the record is gone.
SIPTransactionHolder SIPTransactionFromVariant(const VARIANT* value);
SIPTransactionHolder SIPTransactionFromScriptObject(CZEQDispatchEx* object);

// The transactions that script has seen, each kept alive while listed.
void SIPObjectListAdd(const SIPTransactionHolder& transaction);
SIPTransactionHolder SIPObjectListFind(const SIPTransactionHolder& transaction);
void SIPObjectListRemove(const SIPTransactionHolder& transaction);

// The container that owns an account: set on the root record by script's
// construction; a record's account container is its root's.
void SIPSetAccountContainer(const SIPTransactionHolder& transaction, const ZEQContainerHolder& container);
ZEQContainerHolder SIPAccountContainerHolderCopy(const SIPTransactionHolder& transaction);

// ---------------------------------------------------------------------------
// Events to script.

// Delivers one event to the page of the account's container; the script's
// answer as an action code, or ZEQACTION_IGNORE when it was not delivered.
// arguments (may be null) are the further script arguments.
uint32_t SIPInvokeEvent(const SIPTransactionHolder& transaction, const char* name, const char* description,
                        int number, JSArray* arguments, uint32_t flags);
// Raises the end event of a transaction (once), named after its method and
// end reason unless a name is given; force delivers it while the account
// is not listening.
uint32_t ZEQInvokeSIPDestroyTransactionEvent(const SIPTransactionHolder& transaction, const char* name, bool force,
                                             uint32_t flags);
