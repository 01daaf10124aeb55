// State sets of a skin: which layers are shown, and how, in one state of
// the window ("stateset.<name>" under the class).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/list.h"
#include "foundation/text.h"
#include "package/definitions_list.h"
#include "package/skin_readers.h"
#include "skin_key_reading.h"

namespace {

// The layer index a child key names ("...layerN", N from 1), or -1.
int LayerIndexOf(const char* key) {
  const char* last = strrchr(key, '.');
  last = last ? last + 1 : key;
  if (strncmp(last, "layer", 5) != 0 || !last[5]) return -1;
  char* end = nullptr;
  const long n = strtol(last + 5, &end, 10);
  if (*end || n < 1 || n > kSkinElementCount) return -1;
  return int(n - 1);
}

struct LayerWord {
  const char* word;
  int flag;
};

}  // namespace

int SKINReadStateSet(ZEQBASESKIN* skin, const char* name, SKINSTATESET* set) {
  if (!skin->definitions || !name) return 0;
  skinkeys::KeyReader keys(skin);
  const std::string prefix = std::string("stateset.") + name;
  std::unique_ptr<ZEQList, void (*)(ZEQList*)> children(
      DefinitionSelectChildren(skin->definitions, "#class", prefix.c_str(), nullptr, false), ZEQList::Delete);
  if (!children || children->count == 0) return 1;
  // In the order the definitions give them.
  std::vector<const ZEQListItem*> order;
  for (int i = 0; i < children->count; ++i) order.push_back(children->GetItemAt(i));
  std::stable_sort(order.begin(), order.end(),
                   [](const ZEQListItem* a, const ZEQListItem* b) { return a->sequence < b->sequence; });

  SKINStateSetInit(set);
  set->defined = 1;
  static const LayerWord kWords[] = {{"nomouseclick", 0x10}, {"nomousedown", 0x8}, {"overdraw", 0x20}, {"nohit", 0x40}};
  int visible = 0;
  int lastVisible = -1;
  bool textNamed = false;
  for (const ZEQListItem* child : order) {
    const int i = LayerIndexOf(child->KeyText());
    if (i < 0 || set->listedCount >= kSkinElementCount) continue;
    set->listedElements[set->listedCount++] = i;
    int& flags = set->elementFlags[i];
    flags = 0;
    const std::string layer = prefix + "." + (strrchr(child->KeyText(), '.') + 1);
    const char* words = keys.Value(layer + ".property");
    auto has = [words](const char* word) { return words && FindOptionWord(words, word, true) != nullptr; };
    if (has("hidden")) {
      flags |= 0x2;
    } else {
      ++visible;
      lastVisible = i;
    }
    if (has("text")) {
      set->textElement = i;
      textNamed = true;
    }
    if (has("tip")) set->tipElement = i;
    flags |= has("hit") ? 0x4 : 0x1;
    for (const LayerWord& word : kWords) {
      if (has(word.word)) flags |= word.flag;
    }
    keys.Rect(layer + ".padding", set->elementPadding[i]);
    int position[2];
    if (keys.Pair(layer + ".position", position)) {
      set->elementPosition[i][0] = uint32_t(position[0]);
      set->elementPosition[i][1] = uint32_t(position[1]);
    }
  }
  SKINReadImageDefinition(skin, (prefix + ".image").c_str(), &set->image);
  SKINReadTextDefinition((prefix + ".label").c_str(), skin, &set->label);
  if (!textNamed && visible == 1) set->textElement = lastVisible;
  return 1;
}
