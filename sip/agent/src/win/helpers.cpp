// The small operations on a transaction that the flows share.
#include "sip/agent/helpers.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/log.h"
#include "foundation/result_codes.h"
#include "foundation/script_calls.h"
#include "sip/agent/message_text.h"
#include "sip/agent/user_agent.h"
#include "sip/identifiers.h"
#include "sip/send.h"
#include "sip/transaction_list.h"

namespace {
unsigned LogId(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)); }
}  // namespace

bool SIPGenerateCallID(const SIPTransactionHolder& transaction) {
  return transaction.Get() && SIPWriteNewCallID(&transaction->record);
}

bool SIPWriteNewCallID(SIPRecord* record) {
  if (!record) return false;
  char uuid[37];
  if (!SIPNewUuidText(uuid)) return false;
  char* out = record->msg.callId;
  size_t n = 0;
  for (const char* c = uuid; *c && n + 1 < sizeof record->msg.callId; ++c)
    if (*c != '-') out[n++] = (*c >= 'A' && *c <= 'F') ? static_cast<char>(*c - 'A' + 'a') : *c;
  out[n] = 0;
  return true;
}

bool SIPErrorSendindRequest(const SIPTransactionHolder& transaction) {
  ZEQLogPrintf("SIPErrorSendindRequest: [FAILED] SIP: %08X", LogId(transaction.Get()));
  SIPPopTransaction(transaction);
  return false;
}

void SIPResendLastMessage(const SIPTransactionHolder& transaction) {
  if (!SIPTransactionHolderIsValid(transaction) || !transaction->record.lastMessage.length) return;
  SendSIPMessage(transaction, kSIPSendLastMessage, nullptr);
}

bool SIPAskTerminateExpiredCalling(const SIPTransactionHolder& transaction) {
  if (!transaction.Get()) return true;
  int number = (transaction->record.kind & 1) ? 1 : 2;
  uint32_t answer = SIPInvokeEvent(transaction, "ZEQOnSIPShouldTerminateExpiredCalling", "", number, nullptr,
                                   kZEQApcResultCoded);
  return answer != ZEQACTION_CANCEL;
}

bool SIPInsertMessageHeader(const SIPTransactionHolder& transaction, const char* header, const char* format, ...) {
  if (!transaction.Get() || !format) return true;
  char value[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(value, sizeof value, format, args);
  va_end(args);
  SIPCountedText& prepared = transaction->record.prepared;
  if (!value[0] || !prepared.text) return true;
  // The prepared text is a heap text of its own length: a copy with room
  // for the line is edited and put in its place.
  size_t capacity = prepared.length + 2 + std::strlen(header ? header : "") + std::strlen(value) + 1;
  std::string copy(prepared.text, prepared.length);
  copy.resize(capacity);
  if (SIPInsertHeaderLine(&copy[0], capacity, header, value))
    SIPCountedTextSet(&prepared, copy.c_str(), std::strlen(copy.c_str()));
  return true;
}

bool SIPCopyReason(const SIPTransactionHolder& destination, const SIPTransactionHolder& source) {
  if (!destination.Get() || !source.Get()) return false;
  destination->record.msg.reasonHeader = source->record.msg.reasonHeader;
  return true;
}

SIPTransactionHolder SIPGetRelatedTransaction(const SIPTransactionHolder& transaction) {
  if (!transaction.Get() || !SIPTransactionHolderIsValid(transaction->related)) return SIPTransactionHolder();
  return transaction->related;
}

bool VariantSetUTF8String(VARIANT* value, const char* text) {
  if (!value) return false;
  VariantInit(value);
  V_VT(value) = VT_BSTR;
  int length = (text && *text) ? MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0) : 0;
  if (length <= 1) {
    V_BSTR(value) = SysAllocString(L"");
    return true;
  }
  BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(length - 1));
  if (out) MultiByteToWideChar(CP_UTF8, 0, text, -1, out, length);
  V_BSTR(value) = out;
  return true;
}
