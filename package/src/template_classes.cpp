// The process-wide tables of template classes and extensions, class
// declarations, visibility and '@' references between classes.
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "foundation/heap.h"
#include "foundation/list.h"
#include "foundation/lock_guard.h"
#include "foundation/runtime_services.h"
#include "foundation/text.h"
#include "package/definitions_defaults.h"
#include "package/definitions_list.h"
#include "package/package_log.h"
#include "package/templates.h"
#include "ascii_text.h"

namespace {

// Entries own a heap copy of a class holder, or an extension list.
int FreeClassEntry(ZEQListItem* item, uintptr_t) {
  delete reinterpret_cast<SKINHolder*>(item->value1);
  item->value1 = 0;
  return 1;
}

int FreeExtensionEntry(ZEQListItem* item, uintptr_t) {
  DefinitionsList::Delete(reinterpret_cast<DefinitionsList*>(item->value1));
  item->value1 = 0;
  return 1;
}

ZEQList* TemplateClasses() {
  static ZEQList* classes = new ZEQList;
  return classes;
}

ZEQList* TemplateExtensions() {
  static ZEQList* extensions = new ZEQList;
  return extensions;
}

bool IsRegistered(const std::string& key) {
  ZEQList* classes = TemplateClasses();
  ZEQLockGuard guard(classes->lock);
  return classes->FindSortedByName(key.c_str(), ZEQLIST_NOCASE, 0) >= 0;
}

void RegisterClass(const std::string& key, const SKINHolder& skin) {
  ZEQList* classes = TemplateClasses();
  auto* copy = new SKINHolder(skin);
  ZEQListItem* item = classes->SetByName(key.c_str(), reinterpret_cast<uintptr_t>(copy), 0, ZEQLIST_NOCASE,
                                         ZEQLIST_TEXT_KEY);
  if (!item) {
    delete copy;
    return;
  }
  item->freeCallback = FreeClassEntry;
}

// First word after " word " (any case) in the declaration, or "".
std::string WordAfter(const std::string& text, const char* word) {
  std::string lower = text;
  for (char& c : lower) c = ascii::Lower(c);
  const size_t at = lower.find(word);
  if (at == std::string::npos) return std::string();
  const size_t start = at + strlen(word);
  const size_t end = text.find(' ', start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool SamePath(const char* a, const char* b) { return a && b && ascii::EqualsNoCase(a, b); }

// The class found under the file path followed by the name, then under the
// name alone.
SKINHolder FindInFileOrPublic(const char* filePath, const std::string& name) {
  SKINHolder found = FindTemplateClass((std::string(filePath ? filePath : "") + name).c_str());
  if (!found.IsSet()) found = FindTemplateClass(name.c_str());
  return found;
}

}  // namespace

SKINHolder FindTemplateClass(const char* key) {
  SKINHolder found;
  if (!key || !*key) return found;
  ZEQList* classes = TemplateClasses();
  ZEQLockGuard guard(classes->lock);
  const int at = classes->FindSortedByName(key, ZEQLIST_NOCASE, 0);
  if (at >= 0) found = *reinterpret_cast<SKINHolder*>(classes->GetItemAt(at)->value1);
  return found;
}

bool IsTemplateClassVisible(const char* filePath, const ZEQBASESKIN* candidate, const ZEQBASESKIN* asking) {
  if (!candidate) return false;
  if (candidate->isPublic) return true;
  if (asking && candidate->ownerWord == asking->ownerWord) return true;
  return SamePath(filePath, candidate->definitionsPath);
}

SKINHolder DeclareTemplateClass(const char* declaration, uintptr_t context, const char* filePath) {
  SKINHolder none;
  if (!declaration) return none;
  char* working = StrDupExtra(declaration, 2);
  for (char* c = working; *c; ++c)
    if (*c == '\t') *c = ' ';
  StrRemoveUnquotedChar(working, ' ', true);
  std::string text = working;
  HeapFreeZ(working);
  const size_t first = text.find_first_not_of(' ');
  const size_t last = text.find_last_not_of(' ');
  text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
  text += ' ';

  const std::string name = text.substr(0, text.find(' '));
  if (name.empty() || name[0] != '#') {
    PackageLogPrintf("DeclareTemplateClass: [FAILED] - Not a class name: \"%s\"", declaration);
    return none;
  }
  const std::string path = filePath ? filePath : "";
  bool isPublic = false;
  const std::string visibility = WordAfter(text, " as ");
  if (!visibility.empty()) {
    if (ascii::EqualsNoCase(visibility.c_str(), "public")) {
      isPublic = true;
    } else if (!ascii::EqualsNoCase(visibility.c_str(), "private")) {
      PackageLogPrintf("DeclareTemplateClass: [FAILED] - Unknown visibility: \"%s\"", declaration);
      return none;
    }
  }
  if ((isPublic && IsRegistered(name)) || IsRegistered(path + name)) {
    PackageLogPrintf("DeclareTemplateClass: [FAILED] - Class already declared: \"%s\"", name.c_str());
    return none;
  }

  SKINHolder parent;
  const std::string parentName = WordAfter(text, " based ");
  if (!parentName.empty()) {
    if (parentName[0] == '#') parent = FindInFileOrPublic(filePath, parentName);
    if (!parent.IsSet()) {
      PackageLogPrintf("DeclareTemplateClass: [FAILED] - Base class not found: \"%s\"", declaration);
      return none;
    }
  }

  SKINHolder second;
  const size_t secondMark = name.find('#', 1);
  if (secondMark != std::string::npos) {
    second = FindTemplateClass((path + name.substr(secondMark)).c_str());
    if (!second.IsSet() || (parent.IsSet() && second.Get() == parent.Get())) {
      PackageLogPrintf("DeclareTemplateClass: [FAILED] - Second base not found: \"%s\"", declaration);
      return none;
    }
  }

  SKINHolder skin = SKINNewSkin();
  ZEQBASESKIN* record = skin.Get();
  record->ownerWord = context;
  record->fromTemplate = 1;
  record->isPublic = isPublic ? 1 : 0;
  snprintf(record->definitionsPath, sizeof record->definitionsPath, "%s", path.c_str());
  if (second.IsSet() && IsTemplateClassVisible(filePath, second.Get(), record)) record->secondBase = second;
  record->parentClass = parent;
  SKINSetText(&record->className, name.c_str());
  RegisterClass(path + name, skin);
  if (isPublic) RegisterClass(name, skin);
  return skin;
}

DefinitionsList* FindTemplateExtension(const char* name) {
  if (!name) return nullptr;
  ZEQList* extensions = TemplateExtensions();
  ZEQLockGuard guard(extensions->lock);
  const int at = extensions->FindSortedByName(name, ZEQLIST_NOCASE, 0);
  return at < 0 ? nullptr : reinterpret_cast<DefinitionsList*>(extensions->GetItemAt(at)->value1);
}

void SetTemplateExtension(const char* name, DefinitionsList* list) {
  ZEQList* extensions = TemplateExtensions();
  ZEQLockGuard guard(extensions->lock);
  ZEQListItem* item = extensions->SetByName(name, reinterpret_cast<uintptr_t>(list), 0, ZEQLIST_NOCASE,
                                            ZEQLIST_TEXT_KEY);
  if (item) {
    item->freeCallback = FreeExtensionEntry;
  } else {
    DefinitionsList::Delete(list);
  }
}

namespace {

constexpr int kReferenceHopMax = 64;

// One step of a reference: the class and key it names, and the text that
// followed it.
struct ReferenceTarget {
  SKINHolder owner;
  std::string key;
  std::string rest;
  int failure = kReferenceResolved;
};

ReferenceTarget Locate(const std::string& value, const char* filePath, const SKINHolder& skin) {
  ReferenceTarget target;
  std::string reference = value.substr(value.compare(0, 2, "@@") == 0 ? 2 : 1);
  const size_t blank = reference.find(' ');
  if (blank != std::string::npos) {
    target.rest = reference.substr(blank + 1);
    reference.resize(blank);
  }
  if (!reference.empty() && reference[0] == '#') {
    const size_t dot = reference.find('.');
    const std::string className = reference.substr(0, dot);
    target.key = dot == std::string::npos ? std::string() : reference.substr(dot + 1);
    if (ascii::EqualsNoCase(className.c_str(), "#parent")) {
      target.owner = skin->parentClass;
      if (!target.owner.IsSet()) target.failure = kReferenceClassMissing;
      return target;
    }
    target.owner = FindInFileOrPublic(filePath, className);
    if (!target.owner.IsSet()) {
      target.failure = kReferenceClassMissing;
    } else if (target.owner.Get() != skin.Get() && target.owner.Get() != skin->parentClass.Get() &&
               !IsTemplateClassVisible(filePath, target.owner.Get(), skin.Get())) {
      target.failure = kReferenceNotVisible;
    }
    return target;
  }
  target.owner = skin;
  target.key = reference;
  return target;
}

}  // namespace

int ResolveClassReference(std::string* value, const char* filePath, const SKINHolder& skin) {
  if (!value || !skin.IsSet()) return kReferenceClassMissing;
  std::set<std::pair<const ZEQBASESKIN*, std::string>> visited;
  for (int hop = 0; !value->empty() && (*value)[0] == '@'; ++hop) {
    if (*value == "@system.font.face" || *value == "@system.font.height" || *value == "@system.font.weight") {
      const SystemFontDefaults font = CurrentSystemFontDefaults();
      *value = *value == "@system.font.face" ? font.face : *value == "@system.font.height" ? font.height : "400";
      return kReferenceResolved;
    }
    ReferenceTarget target = Locate(*value, filePath, skin);
    if (target.failure != kReferenceResolved) return target.failure;
    if (hop >= kReferenceHopMax || !visited.emplace(target.owner.Get(), target.key).second) {
      PackageLogPrintf("ResolveClassReference: [FAILED] - Reference chain loops: \"%s\"", value->c_str());
      return kReferenceLoops;
    }
    const char* found = target.owner->definitions
                            ? DefinitionGetValue(target.owner->definitions, "#class", target.key.c_str(), nullptr, nullptr)
                            : nullptr;
    if (!found || !*found) return kReferenceKeyMissing;
    std::string next = found;
    if (!target.rest.empty()) next += " " + target.rest;
    if (next.size() >= kReferenceValueMax) {
      PackageLogPrintf("ResolveClassReference: [FAILED] - Value too long: \"%.64s\"", value->c_str());
      return kReferenceTooLong;
    }
    *value = next;
  }
  return kReferenceResolved;
}

int ResolveClassReferences(DefinitionsList* definitions, const char* className, const SKINHolder& skin) {
  if (!definitions) return 0;
  const char* filePath = skin.IsSet() ? skin->definitionsPath : "";
  std::vector<std::string> keys;
  {
    ZEQLockGuard guard(definitions->lock);
    for (int i = 0; i < definitions->count; ++i) keys.push_back(definitions->GetItemAt(i)->KeyText());
  }
  DefinitionsList* dictionary = EnsureGlobalDictionary();
  for (const std::string& key : keys) {
    int found = 0;
    const char* stored = DefinitionGetValue(definitions, nullptr, key.c_str(), nullptr, &found);
    if (!found) continue;
    if (stored && stored[0] == '@') {
      std::string value = stored;
      const int result = ResolveClassReference(&value, filePath, skin);
      if (result != kReferenceResolved) {
        PackageLogPrintf("ResolveClassReferences: [FAILED] - %s: \"%s\" (%d)", className ? className : "",
                         key.c_str(), result);
        return 0;
      }
      DefinitionSetValue(definitions, key.c_str(), value.c_str());
      stored = DefinitionGetValue(definitions, nullptr, key.c_str(), nullptr, nullptr);
    }
    if (dictionary == definitions) continue;
    if (stored) {
      DefinitionSetValue(dictionary, key.c_str(), stored);
    } else if (!DefinitionHasKey(dictionary, nullptr, key.c_str())) {
      DefinitionSetOwned(dictionary, key.c_str(), nullptr, nullptr);
    }
  }
  return 1;
}
