#include "dom_ids.h"

namespace dochost {

const IID IID_DocHostNode = {0x6b1f0c2e, 0x4d7a, 0x4a51, {0x9e, 0x3c, 0x21, 0x58, 0xd4, 0x07, 0xaf, 0x61}};
const IID IID_DocHostEventObj = {0x6b1f0c2f, 0x4d7a, 0x4a51, {0x9e, 0x3c, 0x21, 0x58, 0xd4, 0x07, 0xaf, 0x61}};

bool ParseIndexName(const std::wstring& name, long* index) {
  if (name.empty() || name.size() > 9) return false;
  long v = 0;
  for (wchar_t c : name) {
    if (c < L'0' || c > L'9') return false;
    v = v * 10 + (c - L'0');
  }
  if (name.size() > 1 && name[0] == L'0') return false;
  *index = v;
  return true;
}

}  // namespace dochost
