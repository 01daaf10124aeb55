// Writes SIP trace records: finds the transaction a record belongs to and
// fills the record's fields from it, then hands the text to the log.
#include "sip/trace.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "foundation/log.h"
#include "sip/trace_format.h"
#include "sip/transaction_list.h"
#include "sip/transaction_states.h"

namespace {
unsigned LogId(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)); }
}  // namespace

int SIPWriteTraceRecord(const char* type, const char* header, const char* body, uint32_t resultCode,
                        const char* resultMessage, const char* attributes, const char* remoteHost, int remotePort,
                        uint32_t flags, const SIPTransactionHolder& record) {
  if (!SIPTransactionHolderIsSet(record)) return 0;
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::string text;
  {
    SIPTransactionLockScope lock;
    // M: the transaction the message belongs to (or the record itself);
    // T: the transaction that names it, M's related one when live.
    SIPTransactionHolder matched = SIPFindMatchingTransaction(false, true, record);
    SIPTransaction* m = matched.Get();
    SIPTransaction* t = SIPTransactionHolderIsValid(m->related) ? m->related.Get() : m;
    SIPTraceRecordFields f;
    f.type = type;
    f.header = header;
    f.body = body;
    f.resultCode = resultCode;
    f.resultMessage = resultMessage;
    f.attributes = attributes;
    f.remoteHost = remoteHost;
    f.remotePort = remotePort;
    char account[300] = "";
    if (type && strcmp(type, "SIP:Message") == 0)
      SIPGetConnectionUserAndDomain(record.Get(), SIPTransactionHolder(), account, sizeof account);
    f.account = account;
    f.category = SIPTransactionHolderIsValid(m->companion) ? m->companion->record.msg.method : m->record.msg.method;
    f.id = LogId(t);
    f.baseId = LogId(m->based.Get());
    f.rootId = SIPGetRootRecord(&t->record)->idWords[0];
    f.groupId = t->record.msg.callId;
    const SIPConnectionSettings* connection = SIPGetRootConnection(&record->record);
    f.localHost = connection->listenerAddressText;
    f.localPort = connection->listenerPort;
    f.probe = t->record.kind == 0;
    f.thread = GetCurrentThreadId();
    f.day = now.wDay;
    f.month = now.wMonth;
    f.year = now.wYear;
    f.hour = now.wHour;
    f.minute = now.wMinute;
    f.second = now.wSecond;
    f.millisecond = now.wMilliseconds;
    f.counterSeconds = ZEQGlobalLog()->profiler.Now();
    text = SIPFormatTraceRecord(f);
  }
  // The text is an argument, never a format: message texts and Call-IDs
  // come from peers.
  if (flags & kSIPTracePost)
    ZEQLogPost(nullptr, "%s", text.c_str());
  else
    ZEQLogPrintf("%s", text.c_str());
  return 1;
}
