// Rewriting an executable's version resource: the numbers of its fixed
// file information and the values of its string tables. The block is
// rebuilt, so a new text may be longer than the one it replaces.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "package/package_log.h"
#include "package/paths.h"
#include "package/file_retry.h"
#include "package/signature.h"

namespace {

struct VersionNode {
  std::wstring key;
  uint16_t type = 0;  // 1: the value is text
  std::vector<uint8_t> value;
  std::vector<VersionNode> children;
};

size_t Align4(size_t n) { return (n + 3) & ~size_t(3); }

uint16_t Word(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

// Parses the node at bytes[0..available); false when its lengths do not fit.
bool ParseNode(const uint8_t* bytes, size_t available, VersionNode* node, int depth = 0) {
  if (available < 6 || depth > 8) return false;
  const size_t length = Word(bytes);
  const size_t valueLength = Word(bytes + 2);
  node->type = Word(bytes + 4);
  if (length < 6 || length > available) return false;
  size_t offset = 6;
  while (offset + 2 <= length && Word(bytes + offset)) {
    node->key.push_back(wchar_t(Word(bytes + offset)));
    offset += 2;
  }
  offset = Align4(offset + 2);
  const size_t valueBytes = node->type == 1 ? valueLength * 2 : valueLength;
  if (offset > length) offset = length;
  if (offset + valueBytes > length) return false;
  node->value.assign(bytes + offset, bytes + offset + valueBytes);
  offset = Align4(offset + valueBytes);
  while (offset + 6 <= length) {
    VersionNode child;
    if (!ParseNode(bytes + offset, length - offset, &child, depth + 1)) return false;
    offset = Align4(offset + Word(bytes + offset));
    node->children.push_back(std::move(child));
  }
  return true;
}

void Put(std::vector<uint8_t>* out, uint16_t word) {
  out->push_back(uint8_t(word));
  out->push_back(uint8_t(word >> 8));
}

void Pad(std::vector<uint8_t>* out) {
  while (out->size() % 4) out->push_back(0);
}

void WriteNode(const VersionNode& node, std::vector<uint8_t>* out) {
  const size_t start = out->size();
  Put(out, 0);
  Put(out, uint16_t(node.type == 1 ? node.value.size() / 2 : node.value.size()));
  Put(out, node.type);
  for (wchar_t c : node.key) Put(out, uint16_t(c));
  Put(out, 0);
  Pad(out);
  out->insert(out->end(), node.value.begin(), node.value.end());
  for (const VersionNode& child : node.children) {
    Pad(out);
    WriteNode(child, out);
  }
  const size_t length = out->size() - start;
  (*out)[start] = uint8_t(length);
  (*out)[start + 1] = uint8_t(length >> 8);
}

std::vector<uint8_t> TextValue(const char* text) {
  std::vector<uint8_t> value;
  const int count = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring wide(size_t(count > 0 ? count : 1), L'\0');
  if (count > 0) MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], count);
  for (wchar_t c : wide) Put(&value, uint16_t(c));
  return value;
}

BOOL CALLBACK FirstLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR out) {
  *reinterpret_cast<WORD*>(out) = language;
  return FALSE;
}

// The raw version block of a file and its language.
bool ReadVersionBlock(const char* path, std::vector<uint8_t>* block, WORD* language) {
  HMODULE module = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return false;
  bool ok = false;
  *language = 0;
  EnumResourceLanguagesA(module, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1), FirstLanguage,
                         reinterpret_cast<LONG_PTR>(language));
  HRSRC found = FindResourceExA(module, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1), *language);
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const auto* bytes = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
  if (bytes) {
    block->assign(bytes, bytes + SizeofResource(module, found));
    ok = true;
  }
  FreeLibrary(module);
  return ok;
}

}  // namespace

bool KESTOChangeVersion(const char* path, const KESTOVersionData* data, HANDLE update) {
  if (!path || !data) return false;
  unsigned numbers[4] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
  const int read = data->version[0] ? std::sscanf(data->version, "%u.%u.%u.%u", &numbers[0], &numbers[1],
                                                  &numbers[2], &numbers[3])
                                    : 0;
  if (read > 0 && read < 4) {
    PackageLogPrintf("KESTOChangeVersion: [FAILED] Incomplete version info \"%s\" - Version info MUST be in format "
                     "\"x.x.x.x\"",
                     data->version);
    return false;
  }
  std::vector<uint8_t> block;
  WORD language = 0;
  VersionNode root;
  if (!ReadVersionBlock(SkipVirtualPrefix(path), &block, &language) || !ParseNode(block.data(), block.size(), &root) ||
      root.value.size() < sizeof(VS_FIXEDFILEINFO)) {
    PackageLogPrintf("KESTOChangeVersion: [FAILED] No version information - \"%s\"", path);
    return false;
  }
  if (read == 4) {
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, root.value.data(), sizeof(fixed));
    fixed.dwFileVersionMS = fixed.dwProductVersionMS = (numbers[0] << 16) | (numbers[1] & 0xFFFF);
    fixed.dwFileVersionLS = fixed.dwProductVersionLS = (numbers[2] << 16) | (numbers[3] & 0xFFFF);
    std::memcpy(root.value.data(), &fixed, sizeof(fixed));
  }
  const struct {
    const wchar_t* name;
    const char* text;
  } fields[] = {{L"CompanyName", data->companyName},         {L"CompanyDescription", data->companyDescription},
                {L"ProductName", data->productName},         {L"ProductVersion", data->productVersion},
                {L"FileVersion", data->fileVersion},         {L"FileDescription", data->fileDescription},
                {L"StartArguments", data->startArguments},   {L"LegalCopyright", data->legalCopyright},
                {L"LegalTrademarks", data->legalTrademarks}};
  char internalName[128];
  wsprintfA(internalName, "ZEQ Client Container %u.%u.%u %s", 3u, 7u, 121u, "RELEASE");
  for (VersionNode& info : root.children) {
    if (info.key != L"StringFileInfo") continue;
    for (VersionNode& table : info.children) {
      for (VersionNode& value : table.children) {
        if (value.key == L"InternalName") value.value = TextValue(internalName), value.type = 1;
        for (const auto& field : fields)
          if (value.key == field.name && field.text[0]) value.value = TextValue(field.text), value.type = 1;
      }
    }
  }
  std::vector<uint8_t> rebuilt;
  WriteNode(root, &rebuilt);
  for (int attempt = 1; attempt <= 5; ++attempt) {
    if (attempt > 1) Sleep(GetSignatureRetryPause());
    HANDLE handle = update ? update : BeginUpdateResourceA(SkipVirtualPrefix(path), FALSE);
    bool ok = handle && UpdateResourceA(handle, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1), language, rebuilt.data(),
                                        DWORD(rebuilt.size()));
    if (handle && !update) ok = ok ? EndUpdateResourceExt(handle) != FALSE : (EndUpdateResourceA(handle, TRUE), false);
    if (ok) return true;
    PackageLogPrintf("KESTOChangeVersion: Failed - Retrying in %d ms", 1000);
  }
  return false;
}
