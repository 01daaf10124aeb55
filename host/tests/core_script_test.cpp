// The core script: read once from the file the start-up definitions name or
// from the program's resource, with the host's conditional-compilation
// prefix and the definitions' own directives in front.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "foundation/heap.h"
#include "host/core_script.h"
#include "package/application_settings.h"
#include "package/definitions_list.h"
#include "package/definitions_reader.h"
#include "package/macros.h"
#include "test_support.h"

namespace {

std::string HostPrefix() {
  return "@cc_on;@set @kestotype=0;@set @kestolang=" + std::to_string(GetApplicationLanguageCode()) +
         ";@set @kestowin32pe=0;@set @kestowin32activex=1;@set @kestowin32npapi=2;@set @kestomode=0;"
         "@set @kestorelease=0;@set @kestodebug=1;@set @kestosigned=false;";
}

std::string CoreScript() {
  size_t length = 0;
  char* text = KESTOCopyCoreScript(&length);
  std::string copy = text ? std::string(text, length) : std::string("<none>");
  HeapFreeZ(text);
  return copy;
}

class CoreScriptLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    KESTOFreeCoreScript();
    previousDefinitions_ = GetStartupDefinitions();
    SetStartupDefinitions(nullptr);
    GetApplicationSettings()->coreScript[0] = 0;
  }
  void TearDown() override {
    KESTOFreeCoreScript();
    SetStartupDefinitions(previousDefinitions_);
    GetApplicationSettings()->coreScript[0] = 0;
  }

  void UseFile(const std::string& path) {
    lstrcpynA(GetApplicationSettings()->coreScript, path.c_str(), sizeof GetApplicationSettings()->coreScript);
  }
  std::string FilePath(const wchar_t* name) {
    const std::wstring wide = folder_.Path() + L"\\" + name;
    return std::string(wide.begin(), wide.end());
  }

  dochost_test::PageFolder folder_;
  DefinitionsList* previousDefinitions_ = nullptr;
};

TEST_F(CoreScriptLoad, WithoutAFileTheProgramsResourceIsLoadedBehindThePrefix) {
  ASSERT_EQ(1, KESTOLoadCoreScript());
  const std::string script = CoreScript();
  EXPECT_EQ(0u, script.find(HostPrefix() + "\r\nvar fromResource = 'core';")) << script;
}

TEST_F(CoreScriptLoad, ANamedFileIsLoadedOnceAndKept) {
  folder_.Write(L"core.js", "var fromFile = 1;\r\n");
  UseFile(FilePath(L"core.js"));
  ASSERT_EQ(1, KESTOLoadCoreScript());
  const std::string first = CoreScript();
  EXPECT_EQ(0u, first.find(HostPrefix() + "\r\nvar fromFile = 1;")) << first;
  folder_.Write(L"core.js", "var changed = 2;\r\n");
  EXPECT_EQ(1, KESTOLoadCoreScript());
  EXPECT_EQ(first, CoreScript());
}

TEST_F(CoreScriptLoad, AMissingFileLoadsNothing) {
  UseFile(FilePath(L"missing.js"));
  EXPECT_EQ(0, KESTOLoadCoreScript());
  EXPECT_EQ("<none>", CoreScript());
  // The resource does not stand in for a named file.
  EXPECT_EQ(0, KESTOLoadCoreScript());
}

TEST_F(CoreScriptLoad, TheDefinitionsDirectivesAndVariablesFollowThePrefix) {
  const struct {
    const char* name;
    const char* definitions;
    const char* expectedAfterPrefix;
  } cases[] = {
      {"both", "compiler\n\tdirectives\n\t\tcc\n\t\t\tlevel:2\n\t\tvar\n\t\t\tdebug:1\n",
       "@set level=2;\r\nvar debug=1;\r\nvar fromResource"},
      {"directives only", "compiler\n\tdirectives\n\t\tcc\n\t\t\tlevel:2\n", "@set level=2;\r\nvar fromResource"},
      {"variables only", "compiler\n\tdirectives\n\t\tvar\n\t\t\tdebug:1\n", "\r\nvar debug=1;\r\nvar fromResource"},
  };
  for (const auto& c : cases) {
    KESTOFreeCoreScript();
    DefinitionsList* list = ParseDefinitionsText(c.definitions, strlen(c.definitions), nullptr, nullptr);
    ASSERT_NE(nullptr, list) << c.name;
    SetStartupDefinitions(list);
    ASSERT_EQ(1, KESTOLoadCoreScript()) << c.name;
    const std::string script = CoreScript();
    EXPECT_EQ(0u, script.find(HostPrefix() + c.expectedAfterPrefix)) << c.name << ": " << script;
  }
}

}  // namespace

namespace {

TEST_F(CoreScriptLoad, TheLanguageVariableFollowsTheApplicationsLanguage) {
  KESTOApplyApplicationMacros("app", "1.0 en-US");
  ASSERT_EQ(1, KESTOLoadCoreScript());
  EXPECT_NE(std::string::npos, CoreScript().find("@set @kestolang=1033;"));
  KESTOApplyApplicationMacros("app", "1.0 pt-BR");
  const std::string portuguese = CoreScript();
  EXPECT_NE(std::string::npos, portuguese.find("@set @kestolang=1046;")) << portuguese;
  EXPECT_EQ(std::string::npos, portuguese.find("@kestolang=1033"));
  KESTOApplyApplicationMacros("app", "1.0 en-US");
  EXPECT_NE(std::string::npos, CoreScript().find("@set @kestolang=1033;"));
}

}  // namespace
