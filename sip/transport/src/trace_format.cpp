// The layouts of the SIP trace records.
#include "sip/trace_format.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "sip_text.h"

namespace {

void Append(std::string* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Append(std::string* out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int n = vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (n > 0) {
    size_t at = out->size();
    out->resize(at + static_cast<size_t>(n) + 1);
    vsnprintf(&(*out)[at], static_cast<size_t>(n) + 1, format, again);
    out->resize(at + static_cast<size_t>(n));
  }
  va_end(again);
}

// Texts may be null: written as empty.
const char* Text(const char* text) { return text ? text : ""; }

// Case-insensitive search.
bool Contains(const char* text, const char* word) {
  for (size_t left = strlen(text); left; text++, left--)
    if (SIPStartsWithNoCase(text, left, word)) return true;
  return false;
}

// ", " and the attributes, when there are any.
void AppendAttributes(std::string* out, const char* attributes) {
  if (attributes[0]) Append(out, ", %s", attributes);
}

// The message text after its own line, then the body, the line end and
// the closing attributes.
void AppendTail(std::string* out, const SIPTraceRecordFields& f, const char* headerPrefix) {
  const char* header = Text(f.header);
  const char* body = Text(f.body);
  if (header[0]) Append(out, "\r\n%s%s", headerPrefix, header);
  if (body[0]) Append(out, "\r\n%s", body);
  Append(out, "\r\nThread=\"%08X\", Date=\"%02d/%02d/%04d\", Time=\"%02d:%02d:%02d:%03d\", HRCounter=\"%.0f\"/>>",
         f.thread, f.day, f.month, f.year, f.hour, f.minute, f.second, f.millisecond, f.counterSeconds);
}

void AppendEventLayout(std::string* out, const SIPTraceRecordFields& f, const char* attributes) {
  Append(out, "<<\\Type=\"%s\"", Text(f.type));
  AppendAttributes(out, attributes);
  Append(out, ", Id=\"%08X\", BaseId=\"%08X\", RootId=\"%08X\", GroupId=\"%s\", ResultCode=\"%08X\", ResultMessage=\"%s\"",
         f.id, f.baseId, f.rootId, Text(f.groupId), f.resultCode, Text(f.resultMessage));
  AppendTail(out, f, "");
}

}  // namespace

std::string SIPFormatTraceRecord(const SIPTraceRecordFields& f) {
  std::string out;
  const char* attributes = Text(f.attributes);
  bool outgoing = Contains(attributes, "Direction=\"OUT\"");
  bool in = Contains(attributes, "Direction=\"IN\"");
  if (strcmp(Text(f.type), "SIP:Message") == 0) {
    // The local listener comes first: Source for outgoing, Target for
    // incoming messages.
    const char* category = Text(f.category);
    Append(&out, "<<\\Type=\"%s\", Account=\"%s\", Category=\"%s\", Id=\"%08X\", BaseId=\"%08X\", RootId=\"%08X\", GroupId=\"%s\", ",
           f.type, Text(f.account), category, f.id, f.baseId, f.rootId, category[0] ? Text(f.groupId) : "");
    Append(&out, outgoing ? "Source=\"%s:%d\", Target=\"%s:%d\"" : "Target=\"%s:%d\", Source=\"%s:%d\"", Text(f.localHost),
           f.localPort, Text(f.remoteHost), f.remotePort);
    Append(&out, ", ResultCode=\"%08X\", ResultMessage=\"%s\"", f.resultCode, Text(f.resultMessage));
    AppendAttributes(&out, attributes);
    if (f.probe) out += ", Mode=\"Probe\"";
    AppendTail(&out, f, outgoing ? "> " : "< ");
  } else if (strcmp(Text(f.type), "SIP:Event") == 0 || (!in && !outgoing)) {
    AppendEventLayout(&out, f, attributes);
  } else {
    Append(&out, "<<\\Type=\"%s\", Id=\"%08X\", BaseId=\"%08X\", RootId=\"%08X\", GroupId=\"%s\", %s=\"%s:%d\", ResultCode=\"%08X\", ResultMessage=\"%s\"",
           f.type, f.id, f.baseId, f.rootId, Text(f.groupId), in ? "Source" : "Target", Text(f.remoteHost),
           f.remotePort, f.resultCode, Text(f.resultMessage));
    AppendAttributes(&out, attributes);
    AppendTail(&out, f, "");
  }
  return out;
}
