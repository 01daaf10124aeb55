// The constant families of the script namespace, in publication order.
#pragma once
#include <cstddef>
#include <cstdint>

namespace zeqnamespace {

struct UIntConstant {
  const wchar_t* name;
  uint32_t value;
};

struct TextConstant {
  const wchar_t* name;
  const char* value;
};

struct ConstantFamily {
  const UIntConstant* numbers;
  size_t count;
};

// Published on the window object, after the first class objects.
extern const ConstantFamily kWindowFamilies[];
extern const size_t kWindowFamilyCount;
// Published on the document's script object, each after its class.
extern const ConstantFamily kRegistryConstants;
extern const ConstantFamily kHttpConstants;
extern const ConstantFamily kPackageConstants;
extern const TextConstant kPackageTextConstants[];
extern const size_t kPackageTextConstantCount;
extern const ConstantFamily kSqliteConstants;

}  // namespace zeqnamespace
