// Text operations of the user agent: whole SIP message texts, the names of
// transactions' end events and the account texts that script sets (pure
// logic: standard headers only).
#pragma once
#include <cstddef>
#include <cstdint>

// Occurrences of the exact text "Contact:" (letter case as written; the
// compact and lower-case forms are not counted). 0 for a null text.
int SIPCountContactHeaders(const char* message);

// Inserts "\r\n" + header + value in front of the last blank line ("\r\n\r\n")
// of message, so the new line ends the header block. Nothing happens for an
// empty value, a text without a blank line, or when the result (with its
// terminator) would not fit in capacity bytes. true when inserted.
bool SIPInsertHeaderLine(char* message, size_t capacity, const char* header, const char* value);

// The end event of a transaction: "ZEQOnSIP" + the method's word + the end
// reason's word into out ("" and false when the method or the reason has no
// word: ACK, BYE, CANCEL, PRACK, or a transaction still open). byTransfer
// names an INVITE sent for a received REFER "Transfer".
bool SIPEndEventName(int method, uint32_t endReason, bool byTransfer, char* out, size_t size);

// The text script reads as a transaction's Status.
const char* SIPStatusText(int32_t state, uint32_t endReason);

// An account text as script sets it: cut to size - 1 characters, then, when
// trim is set, blanks and tabs trimmed at both ends and one pair of enclosing
// double or single quotes removed.
void SIPSettingText(const char* value, char* out, size_t size, bool trim);
