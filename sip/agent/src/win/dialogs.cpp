// Dialog records and their list. See sip/dialogs.h.
#include "sip/dialogs.h"

#include <new>
#include <vector>

#include "foundation/heap.h"
#include "foundation/lock.h"
#include "foundation/log.h"
#include "sip/builder.h"
#include "sip/dialog_rules.h"
#include "sip/agent/helpers.h"
#include "sip/send.h"
#include "sip/transaction_walk.h"
#include "sip/transaction_states.h"

namespace {

unsigned LogId(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)); }

volatile long g_allocated = 0;

// The list: newest first, each entry one reference of its dialog.
struct DialogList {
  ZEQLock lock;
  std::vector<SIPDialogHolder> entries;
};
DialogList& List() {
  static DialogList* list = new DialogList;  // lives as long as the process
  return *list;
}

bool SameRecord(const SIPDialogHolder& a, const SIPDialogHolder& b) { return a.Get() && a.Get() == b.Get(); }

}  // namespace

void SIPDialogDelete(SIPDialogRecord* dialog) {
  if (!dialog) return;
  InterlockedDecrement(&g_allocated);
  dialog->~SIPDialogRecord();
  HeapFreeZ(dialog);
}

long SIPDialogsAllocated() { return g_allocated; }

SIPDialogHolder SIPDialogCreate(const SIPTransactionHolder& transaction) {
  if (!SIPTransactionHolderIsValid(transaction) || !transaction->record.msg.to.tag[0]) return SIPDialogHolder();
  DialogList& list = List();
  // Held from allocation to insertion: no thread sees a half-filled dialog.
  ZEQLockScope scope(list.lock);
  void* block = HeapAllocZ(sizeof(SIPDialogRecord));
  auto* record = new (block) SIPDialogRecord();
  InterlockedIncrement(&g_allocated);
  SIPDialogHolder dialog(record);
  dialog->owner = transaction;
  sipagent::FillDialog(&dialog->fields, transaction->record, SIPGetUAMode(transaction));
  SIPDialogListAdd(dialog);
  return dialog;
}

bool SIPDialogListContains(const SIPDialogHolder& dialog) {
  DialogList& list = List();
  ZEQLockScope scope(list.lock);
  for (const SIPDialogHolder& entry : list.entries)
    if (SameRecord(entry, dialog)) return true;
  return false;
}

bool SIPDialogListAdd(const SIPDialogHolder& dialog) {
  if (!dialog.Get()) return true;
  DialogList& list = List();
  ZEQLockScope scope(list.lock);
  if (!SIPDialogListContains(dialog)) list.entries.insert(list.entries.begin(), dialog);
  return true;
}

bool SIPDialogListRemove(const SIPDialogHolder& dialog) {
  SIPDialogHolder removed;  // released after the lock is left
  {
    DialogList& list = List();
    ZEQLockScope scope(list.lock);
    for (size_t i = 0; i < list.entries.size(); ++i) {
      if (!SameRecord(list.entries[i], dialog)) continue;
      removed = list.entries[i];
      list.entries.erase(list.entries.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  return true;
}

size_t SIPDialogListCount() {
  DialogList& list = List();
  ZEQLockScope scope(list.lock);
  return list.entries.size();
}

bool SIPMatchDialog(int mode, const SIPDialogHolder& dialog, const char* callId, const char* tagA,
                    const char* tagB) {
  if (!dialog.Get()) return false;
  ZEQLockScope scope(List().lock);
  return sipagent::DialogMatches(mode, dialog->fields, callId, tagA, tagB);
}

SIPDialogHolder SIPDialogListFind(int mode, const char* callId, const char* tagA, const char* tagB) {
  DialogList& list = List();
  ZEQLockScope scope(list.lock);
  for (const SIPDialogHolder& entry : list.entries)
    if (sipagent::DialogMatches(mode, entry->fields, callId, tagA, tagB)) return entry;
  return SIPDialogHolder();
}

SIPDialogHolder SIPFindDialog(const SIPTransactionHolder& transaction) {
  if (!SIPTransactionHolderIsValid(transaction)) return SIPDialogHolder();
  const SIPMessageFields& m = transaction->record.msg;
  return SIPDialogListFind(SIPGetUAMode(transaction), m.callId, m.to.tag, m.from.tag);
}

bool SIPReleaseTransactionDialogs(const SIPTransactionHolder& transaction) {
  if (!SIPTransactionHolderIsValid(transaction) || !transaction->record.msg.to.tag[0]) return false;
  const SIPMessageFields& m = transaction->record.msg;
  int mode = SIPGetUAMode(transaction);
  std::vector<SIPDialogHolder> removed;  // released after the lock is left
  {
    DialogList& list = List();
    ZEQLockScope scope(list.lock);
    for (size_t i = 0; i < list.entries.size();) {
      SIPDialogHolder& entry = list.entries[i];
      if (entry->owner.Get() == transaction.Get() &&
          sipagent::DialogMatches(mode, entry->fields, m.callId, m.to.tag, m.from.tag)) {
        removed.push_back(entry);
        list.entries.erase(list.entries.begin() + static_cast<std::ptrdiff_t>(i));
      } else {
        ++i;
      }
    }
  }
  return true;
}

bool SIPCheckRemoteCSeq(const SIPDialogHolder& dialog, const SIPTransactionHolder& request) {
  if (!dialog.Get() || !SIPTransactionHolderIsValid(request)) return false;
  SIPRecord* r = &request->record;
  {
    ZEQLockScope scope(List().lock);
    if (sipagent::RemoteCSeqAccepted(dialog->fields, static_cast<uint32_t>(r->msg.cseq))) {
      sipagent::NoteRemoteCSeq(&dialog->fields, static_cast<uint32_t>(r->msg.cseq), r->msg.cseqMethod);
      return true;
    }
    if (sipagent::PrepareCSeqRefusal(r, &dialog->fields) != kSIPBuilt) return false;
  }
  ZEQLogPrintf("SIPCheckRemoteCSeq: SIP: %08X - [REFUSED] CSeq %u below %u", LogId(request.Get()),
               static_cast<unsigned>(r->msg.cseq), static_cast<unsigned>(dialog->fields.lastRemoteCSeq));
  SendSIPMessage(request, 0, nullptr);
  return false;
}

int SIPSendDialogResponse(const SIPDialogHolder& dialog, const SIPTransactionHolder& request, int status,
                          const char* reason, const char* contentType, const char* body, size_t bodyLength) {
  if (!dialog.Get() || !SIPTransactionHolderIsValid(request)) return 0;
  sipagent::DialogAnswer answer;
  {
    ZEQLockScope scope(List().lock);
    answer = sipagent::PrepareDialogAnswer(&request->record, &dialog->fields, status, reason, contentType, body,
                                           bodyLength);
  }
  if (answer == sipagent::DialogAnswer::kNotBuilt) return 0;
  if (answer == sipagent::DialogAnswer::kRefused)
    ZEQLogPrintf("SIPSendDialogResponse: SIP: %08X - [REFUSED] CSeq %u, %d not sent", LogId(request.Get()),
                 static_cast<unsigned>(request->record.msg.cseq), status);
  int sent = SendSIPMessage(request, 0, nullptr);
  return answer == sipagent::DialogAnswer::kBuilt && sent ? 1 : 0;
}

namespace {

struct PendingQuery {
  const char* method;
  SIPDialogRecord* dialog;
  int mode;  // the UA mode of the dialog's owner must be this
};

bool IsPendingInDialog(const SIPTransactionHolder& candidate, void* context) {
  const auto* query = static_cast<const PendingQuery*>(context);
  const SIPRecord& r = candidate->record;
  if (!sipagent::EqualNoCase(r.msg.cseqMethod, query->method) || !r.msg.to.tag[0]) return false;
  if (SIPFindDialog(candidate).Get() != query->dialog || IsSIPTransactionCompleted(candidate)) return false;
  return SIPGetUAMode(query->dialog->owner) == query->mode;
}

}  // namespace

bool SIPDialogHasPendingRequest(const char* method, const SIPDialogHolder& dialog,
                                const SIPTransactionHolder& transaction) {
  if (!method || !dialog.Get()) return false;
  PendingQuery query = {method, dialog.Get(), SIPGetUAMode(transaction)};
  return SIPFindPushedTransaction(IsPendingInDialog, &query).Get() != nullptr;
}
