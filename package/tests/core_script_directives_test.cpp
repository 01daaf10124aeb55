// The variable and conditional-compilation texts made from the
// compiler.directives keys of a definitions list.
#include <gtest/gtest.h>

#include <string>

#include "foundation/heap.h"
#include "package/core_script_directives.h"
#include "package/definitions_list.h"
#include "package/definitions_reader.h"
#include "package/macros.h"

namespace {

struct DirectiveCase {
  const char* name;
  const char* definitions;
  const char* varText;
  const char* setText;
};

const DirectiveCase kCases[] = {
    {"VariablesInKeyOrder",
     "compiler\n\tdirectives\n\t\tvar\n\t\t\tdebug:1\n\t\t\tname:'x'\n", "var debug=1;var name='x';", ""},
    {"ConditionalVariablesJoinedBySemicolons",
     "compiler\n\tdirectives\n\t\tcc\n\t\t\ttrace:true\n\t\t\tlevel:2\n", "", "@set level=2;@set trace=true"},
    {"FileOrderDoesNotMatter", "compiler\n\tdirectives\n\t\tvar\n\t\t\tb:2\n\t\t\ta:1\n", "var a=1;var b=2;", ""},
    {"UpperCaseSortsFirst", "compiler\n\tdirectives\n\t\tvar\n\t\t\tb:1\n\t\t\tB:2\n", "var B=2;var b=1;", ""},
    {"NestedSectionNamesTheVariable",
     "compiler\n\tdirectives\n\t\tvar\n\t\t\tui\n\t\t\t\tmode:3\n", "var ui.mode=3;", ""},
    {"BothFamiliesAtOnce",
     "compiler\n\tdirectives\n\t\tvar\n\t\t\tx:1\n\t\tcc\n\t\t\ty:2\n", "var x=1;", "@set y=2"},
    {"NoDirectivesSection", "compiler\n\tother:1\n", "", ""},
    {"SectionWithoutValues", "compiler\n\tdirectives\n\t\tvar\n\t\tcc\n", "", ""},
    {"ValuesAreCopiedAsWritten",
     "compiler\n\tdirectives\n\t\tvar\n\t\t\tpath:\"%windir%\\x\"\n", "var path=\"%windir%\\x\";", ""},
    {"SimilarSectionIsNotTheFamily", "compiler\n\tdirectives\n\t\tvariable\n\t\t\tz:1\n", "", ""},
};

class CoreScriptDirectives : public ::testing::TestWithParam<DirectiveCase> {};

std::string Take(char* text) {
  std::string copy = text ? text : "<null>";
  HeapFreeZ(text);
  return copy;
}

TEST_P(CoreScriptDirectives, TurnsKeysIntoScriptText) {
  const DirectiveCase& c = GetParam();
  DefinitionsList* list = ParseDefinitionsText(c.definitions, strlen(c.definitions), nullptr, nullptr);
  ASSERT_TRUE(list);
  char* out = nullptr;
  char* returned = PreprocessVarDirectives(list, &out);
  EXPECT_EQ(returned, out);
  EXPECT_EQ(c.varText, Take(out));
  EXPECT_EQ(c.setText, Take(PreprocessSetDirectives(list, &out)));
  DefinitionsList::Delete(list);
}

INSTANTIATE_TEST_SUITE_P(Keys, CoreScriptDirectives, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DirectiveCase>& info) { return info.param.name; });

TEST(CoreScriptDirectiveTexts, ANullListGivesEmptyTexts) {
  char* out = nullptr;
  EXPECT_EQ("", Take(PreprocessVarDirectives(nullptr, &out)));
  EXPECT_EQ("", Take(PreprocessSetDirectives(nullptr, &out)));
}

TEST(CoreScriptDirectiveTexts, MacrosInNamesAreReplacedButNotInValues) {
  RegisterMacro("%directivesapp%", "zq");
  const char text[] = "compiler\n\tdirectives\n\t\tvar\n\t\t\t%directivesapp%flag:%directivesapp%\n";
  DefinitionsList* list = ParseDefinitionsText(text, strlen(text), nullptr, nullptr);
  ASSERT_TRUE(list);
  char* out = nullptr;
  EXPECT_EQ("var zqflag=%directivesapp%;", Take(PreprocessVarDirectives(list, &out)));
  DefinitionsList::Delete(list);
  RegisterMacro("-directivesapp", nullptr);
}

TEST(CoreScriptDirectiveTexts, LongNamesAndValuesAreKeptWhole) {
  DefinitionsList* list = DefinitionsList::Create();
  const std::string name(900, 'n');
  const std::string value(20000, 'v');
  DefinitionSetValue(list, "compiler.directives", nullptr);
  DefinitionSetOwned(list, "compiler.directives.cc", nullptr, nullptr);
  DefinitionSetValue(list, ("compiler.directives.cc." + name).c_str(), value.c_str());
  char* out = nullptr;
  EXPECT_EQ("@set " + name + "=" + value, Take(PreprocessSetDirectives(list, &out)));
  DefinitionsList::Delete(list);
}

}  // namespace
