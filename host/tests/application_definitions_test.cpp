// The start-up and application definitions read into the application
// settings, the application macros and the protocols.
#include "host/application_definitions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "log_capture.h"
#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/text.h"
#include "package/application_settings.h"
#include "package/definitions_list.h"
#include "package/definitions_reader.h"
#include "package/macros.h"
#include "package/path_expand.h"

namespace {

// The expectations of converted texts hold for the Western European ANSI
// code page.
bool AnsiIsWestern() { return GetACP() == 1252; }

std::string Expand(const char* text, unsigned options = kMacroGrow) {
  char* block = StrDupExtra(text, 0);
  block = ProcessMacros(block, nullptr, nullptr, options);
  std::string result = block;
  HeapFreeZ(block);
  return result;
}

// The folder of a path alias, or "<absent>".
std::string AliasFolder(const char* name) {
  ZEQList* aliases = PathAliases();
  ZEQLockGuard guard(aliases->lock);
  const int at = aliases->FindSortedByName(name, ZEQLIST_BYTES, 0);
  if (at < 0) return "<absent>";
  return reinterpret_cast<const char*>(aliases->GetValueAt(at));
}

void RemoveAlias(const char* name) {
  ZEQList* aliases = PathAliases();
  ZEQLockGuard guard(aliases->lock);
  const int at = aliases->FindSortedByName(name, ZEQLIST_BYTES, 0);
  if (at >= 0) aliases->RemoveAt(at);
}

// The process-wide settings, macros and aliases are put back after each
// test; definitions texts are read with the definitions reader.
class Definitions : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = new ApplicationSettings(*GetApplicationSettings());
    savedArguments_ = saved_->arguments ? StrDupExtra(saved_->arguments, 0) : nullptr;
  }
  void TearDown() override {
    ApplicationSettings* settings = GetApplicationSettings();
    HeapFreeZ(settings->arguments);
    *settings = *saved_;
    settings->arguments = savedArguments_;
    delete saved_;
    SetApplicationMacros(settings->name, settings->version, nullptr, nullptr);
    for (auto* list : lists_) DefinitionsList::Delete(list);
    for (const auto& name : macros_) RegisterMacro(("-" + name).c_str(), nullptr);
    for (const auto& name : aliases_) RemoveAlias(name.c_str());
  }
  DefinitionsList* Parse(const std::string& text) {
    DefinitionsList* list = ParseDefinitionsText(text.data(), text.size(), nullptr, nullptr);
    EXPECT_NE(nullptr, list) << text;
    if (list) lists_.push_back(list);
    return list;
  }
  void ForgetMacro(const char* name) { macros_.push_back(name); }
  void ForgetAlias(const char* name) { aliases_.push_back(name); }

  ApplicationSettings* settings() { return GetApplicationSettings(); }

 private:
  ApplicationSettings* saved_ = nullptr;
  char* savedArguments_ = nullptr;
  std::vector<DefinitionsList*> lists_;
  std::vector<std::string> macros_;
  std::vector<std::string> aliases_;
};

using ApplicationDefinitions = Definitions;
using StartupDefinitions = Definitions;
using ProtocolDefinitions = Definitions;

TEST_F(ApplicationDefinitions, WithoutDefinitionsTheExecutableNamesTheApplication) {
  strcpy(settings()->loader, "kept.html");
  settings()->id = 7;
  EXPECT_EQ(1, ReadApplicationDefinitions(nullptr));
  EXPECT_STREQ("host_tests", settings()->name);
  EXPECT_STREQ("0.0.0000.0000 en-US (DEBUG)", settings()->version);
  EXPECT_STREQ("kept.html", settings()->loader);
  EXPECT_EQ(7, settings()->id);
  EXPECT_EQ(1, ReadStartupDefinitions(nullptr));
  EXPECT_EQ(1, ReadProtocolDefinitions(nullptr));
}

TEST_F(ApplicationDefinitions, EveryKeyIsRead) {
  DefinitionsList* list = Parse(
      "application\n"
      "\tloader:zeq:\\pages\\loader.html\n"
      "\tname:Phone\n"
      "\tversion:2.5.0001.0002 pt-BR Beta\n"
      "\tid:0x345\n"
      "\tid.platform:2\n"
      "\tid.image:9\n"
      "\ticon:app.ico\n"
      "\taudio.layer:wasapi\n"
      "\tpublisher.name:Maker\n"
      "\tpublisher.alias:mk\n"
      "\tpublisher.id:0x12\n"
      "\tpublisher.description:Makes phones\n"
      "vfs\n"
      "\tenable raw access:yes\n"
      "memory\n"
      "\tenable management:true\n"
      "\tmax per container usage:4096\n"
      "\trecycle interval:60\n");
  ASSERT_NE(nullptr, list);
  EXPECT_EQ(1, ReadApplicationDefinitions(list));
  const ApplicationSettings* s = settings();
  EXPECT_STREQ("zeq:\\pages\\loader.html", s->loader);
  EXPECT_STREQ("Phone", s->name);
  EXPECT_STREQ("2.5.0001.0002 pt-BR Beta", s->version);
  EXPECT_EQ(0x345, s->id);
  EXPECT_EQ(2, s->platformId);
  EXPECT_EQ(9, s->imageId);
  EXPECT_STREQ("app.ico", s->icon);
  EXPECT_STREQ("wasapi", s->audioLayer);
  EXPECT_STREQ("Maker", s->publisherName);
  EXPECT_STREQ("mk", s->publisherAlias);
  EXPECT_EQ(0x12, s->publisherId);
  EXPECT_STREQ("Makes phones", s->publisherDescription);
  EXPECT_EQ(1, s->enableRawAccess);
  EXPECT_EQ(1, s->memoryManagement);
  EXPECT_EQ(4096, s->maxPerContainerUsage);
  EXPECT_EQ(60, s->recycleInterval);
  // The application's system macros follow the name and version.
  EXPECT_EQ("Phone 2.5.0001.0002 pt-BR", Expand("%applicationname% %applicationversion% %applicationlanguage%"));
}

TEST_F(ApplicationDefinitions, MissingKeysGiveTheirDefaults) {
  ApplicationSettings* s = settings();
  strcpy(s->loader, "old.html");
  strcpy(s->name, "Started");
  strcpy(s->version, "9.9");
  strcpy(s->publisherDescription, "old");
  s->id = s->platformId = s->imageId = s->publisherId = 5;
  s->enableRawAccess = 1;
  // Without a "memory" section its settings stay as they are.
  s->memoryManagement = 1;
  s->maxPerContainerUsage = 77;
  s->recycleInterval = 88;
  ASSERT_EQ(1, ReadApplicationDefinitions(Parse("application\n\ticon:a.ico\n")));
  EXPECT_STREQ("", s->loader);
  EXPECT_STREQ("Started", s->name);  // the name that start-up set stays
  EXPECT_STREQ("", s->version);
  EXPECT_STREQ("", s->publisherDescription);
  EXPECT_EQ(0, s->id);
  EXPECT_EQ(0, s->platformId);
  EXPECT_EQ(0, s->imageId);
  EXPECT_EQ(0, s->publisherId);
  EXPECT_EQ(0, s->enableRawAccess);
  EXPECT_EQ(1, s->memoryManagement);
  EXPECT_EQ(77, s->maxPerContainerUsage);
  EXPECT_EQ(88, s->recycleInterval);

  // A "memory" section with one key gives the others their defaults.
  ASSERT_EQ(1, ReadApplicationDefinitions(Parse("memory\n\tenable management:no\n")));
  EXPECT_EQ(0, s->memoryManagement);
  EXPECT_EQ(32768, s->maxPerContainerUsage);
  EXPECT_EQ(-1, s->recycleInterval);
  s->maxPerContainerUsage = 77;
  ASSERT_EQ(1, ReadApplicationDefinitions(Parse("memory\n\trecycle interval:5\n")));
  EXPECT_EQ(32768, s->maxPerContainerUsage);
  EXPECT_EQ(5, s->recycleInterval);

  // No name anywhere: the executable's.
  s->name[0] = '\0';
  ASSERT_EQ(1, ReadApplicationDefinitions(Parse("application\n\tid:1\n")));
  EXPECT_STREQ("host_tests", s->name);
}

TEST_F(ApplicationDefinitions, LongTextsAreCutToTheirBuffers) {
  const struct {
    const char* key;
    char* buffer;
    size_t limit;
  } cases[] = {
      {"loader", settings()->loader, 4096},
      {"name", settings()->name, 1024},
      {"version", settings()->version, 512},
      {"icon", settings()->icon, 1024},
      {"audio.layer", settings()->audioLayer, 260},
      {"publisher.name", settings()->publisherName, 1024},
      {"publisher.alias", settings()->publisherAlias, 512},
      {"publisher.description", settings()->publisherDescription, 8192},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    const std::string value(c.limit + 100, 'v');
    ASSERT_EQ(1, ReadApplicationDefinitions(Parse(std::string("application\n\t") + c.key + ":" + value + "\n")));
    EXPECT_EQ(value.substr(0, c.limit), c.buffer);
  }
}

TEST_F(ApplicationDefinitions, Utf8TextsAreKeptInTheAnsiCodePage) {
  if (!AnsiIsWestern()) GTEST_SKIP() << "ANSI code page " << GetACP();
  // The definitions hold their texts in UTF-8, whatever the file's encoding.
  ASSERT_EQ(1, ReadApplicationDefinitions(Parse(
                   "\xEF\xBB\xBF"
                   "application\n"
                   "\tname:S\xC3\xA3o Paulo\n"
                   "\tpublisher.description:Liga\xC3\xA7\xC3\xA3o\n"
                   "\taudio.layer:\xC3\xA1udio\n")));
  EXPECT_STREQ("S\xE3o Paulo", settings()->name);
  EXPECT_STREQ("Liga\xE7\xE3o", settings()->publisherDescription);
  EXPECT_STREQ("\xC3\xA1udio", settings()->audioLayer);  // not converted
  EXPECT_EQ("S\xE3o Paulo", Expand("%applicationname%"));

  // A cut that falls inside a character drops the partial character.
  const std::string version = std::string(511, '1') + "\xC3\xA3";
  ASSERT_EQ(1, ReadApplicationDefinitions(Parse("\xEF\xBB\xBF" "application\n\tversion:" + version + "\n")));
  EXPECT_EQ(std::string(511, '1'), settings()->version);
  // Written in the ANSI code page, the same character takes two UTF-8 bytes
  // in the definitions; a value that just fits keeps it whole.
  ASSERT_EQ(1, ReadApplicationDefinitions(Parse("application\n\tversion:" + std::string(510, '1') + "\xE3\n")));
  EXPECT_EQ(std::string(510, '1') + "\xE3", settings()->version);

  // A name kept from before is not converted a second time.
  ASSERT_EQ(1, ReadApplicationDefinitions(Parse("application\n\tid:1\n")));
  EXPECT_STREQ("S\xE3o Paulo", settings()->name);
}

TEST_F(ApplicationDefinitions, MacrosBecomeSystemMacrosWithTheirOwnMacrosExpanded) {
  ForgetMacro("zqcity");
  ForgetMacro("zqgreeting");
  ForgetMacro("zqplain");
  ASSERT_EQ(1, RegisterMacro("zqplain", "user value"));
  ASSERT_EQ(1, ReadApplicationDefinitions(Parse(
                   "application\n"
                   "\tname:Phone\n"
                   "\tmacros\n"
                   "\t\tzqcity:Recife\n"
                   "\t\tzqgreeting:Hello %zqcity% from %zqplain%\n")));
  EXPECT_EQ("Recife", Expand("%zqcity%", kMacroSystemOnly));
  EXPECT_EQ("Hello Recife from user value", Expand("%zqgreeting%", kMacroSystemOnly));
  EXPECT_EQ("hello recife from user value", Expand("#%zqgreeting%"));
}

TEST_F(ProtocolDefinitions, SystemProtocolsAreRefusedOthersBecomeAliases) {
  ForgetMacro("zqmediaroot");
  ForgetAlias("loader2");
  ForgetAlias("zqmedia");
  ForgetAlias("zqquoted");
  ForgetAlias("zqslashes");
  ASSERT_EQ(1, RegisterMacro("zqmediaroot", "C:\\App"));
  const std::string previousLoader = AliasFolder("loader");
  const std::string previousKesto = AliasFolder("kesto");
  DefinitionsList* list = Parse(
      "protocols\n"
      "\tLoader:C:\\Elsewhere\n"
      "\tKESTO:C:\\Other\n"
      "\tloader2:C:\\Second\n"
      "\tzqmedia:%zqmediaroot%\\sounds\n"
      "\tzqquoted:  \"C:\\Quoted Folder\"  \n"
      "\tzqslashes:C:/Forward/Slashes\n"
      "\tzqempty\n");
  ASSERT_NE(nullptr, list);
  logtest::CapturedGlobalLog log;
  EXPECT_EQ(1, ReadProtocolDefinitions(list));

  const std::string text = log.Contents();
  EXPECT_NE(std::string::npos,
            text.find("Definition of Protocol \"Loader\" to \"C:\\Elsewhere\" ignored because \"Loader\" is a "
                      "system protocol and cannot be redefined."))
      << text;
  EXPECT_NE(std::string::npos,
            text.find("Definition of Protocol \"KESTO\" to \"C:\\Other\" ignored because \"KESTO\" is a "
                      "system protocol and cannot be redefined."))
      << text;
  EXPECT_EQ("<absent>", AliasFolder("Loader"));
  EXPECT_EQ("<absent>", AliasFolder("KESTO"));
  EXPECT_EQ(previousLoader, AliasFolder("loader"));
  EXPECT_EQ(previousKesto, AliasFolder("kesto"));

  EXPECT_EQ("C:\\Second", AliasFolder("loader2"));
  EXPECT_EQ("C:\\App\\sounds", AliasFolder("zqmedia"));
  EXPECT_EQ("C:\\Quoted Folder", AliasFolder("zqquoted"));
  EXPECT_EQ("C:\\Forward\\Slashes", AliasFolder("zqslashes"));
  EXPECT_EQ("<absent>", AliasFolder("zqempty"));

  // The alias now resolves in paths.
  char* path = StrDupExtra("zeq:zqmedia:\\ring.wav", 0);
  EXPECT_EQ(1, ExpandPathAliases(&path, 0, 0));
  EXPECT_STREQ("C:\\App\\sounds\\ring.wav", path);
  HeapFreeZ(path);
}

TEST_F(ProtocolDefinitions, TheApplicationReaderEndsWithTheProtocols) {
  ForgetAlias("zqlater");
  ASSERT_EQ(1, ReadApplicationDefinitions(Parse("application\n\tname:A\nprotocols\n\tzqlater:C:\\Later\n")));
  EXPECT_EQ("C:\\Later", AliasFolder("zqlater"));
  // A later definition replaces the folder.
  ASSERT_EQ(1, ReadApplicationDefinitions(Parse("protocols\n\tzqlater:D:\\Again\n")));
  EXPECT_EQ("D:\\Again", AliasFolder("zqlater"));
}

TEST_F(StartupDefinitions, ArgumentsAndLogKeys) {
  ApplicationSettings* s = settings();
  ASSERT_EQ(1, ReadStartupDefinitions(Parse(
                   "arguments:  \t-user(ana) -line(2)  \n"
                   "log\n"
                   "\tname:  \"C:\\Logs\\phone.log\"  \n"
                   "\tenable:yes\n"
                   "\tignore errors:TRUE\n")));
  ASSERT_NE(nullptr, s->arguments);
  EXPECT_STREQ("-user(ana) -line(2)", s->arguments);
  EXPECT_STREQ("C:\\Logs\\phone.log", s->logName);
  EXPECT_EQ(1, s->logEnable);
  EXPECT_EQ(1, s->logIgnoreErrors);

  // Without a "log" section the log keys stay; new arguments replace the old.
  ASSERT_EQ(1, ReadStartupDefinitions(Parse("arguments:-other\nkesto\n\tdebug:\n")));
  EXPECT_STREQ("-other", s->arguments);
  EXPECT_STREQ("C:\\Logs\\phone.log", s->logName);
  EXPECT_EQ(1, s->logEnable);

  // A "log" section without the switches turns them off.
  ASSERT_EQ(1, ReadStartupDefinitions(Parse("log\n\tname:x.log\n")));
  EXPECT_STREQ("x.log", s->logName);
  EXPECT_EQ(0, s->logEnable);
  EXPECT_EQ(0, s->logIgnoreErrors);
  EXPECT_STREQ("-other", s->arguments);  // no key: kept

  // A quoted name too long for its buffer loses its quotes, then is cut.
  const std::string longName = "C:\\" + std::string(300, 'l');
  ASSERT_EQ(1, ReadStartupDefinitions(Parse("log\n\tname:\"" + longName + "\"\n")));
  EXPECT_EQ(longName.substr(0, 260), s->logName);
}

TEST_F(StartupDefinitions, ScriptPathsAreResolvedNormalisedAndCut) {
  ApplicationSettings* s = settings();
  DefinitionsList* list = Parse(
      "loader:C:\\App\\\n"
      "kesto\n"
      "\tdebug:  '\\scripts\\debug.js'  \n"
      "\trelease:\"C:/App/release.js\"\n"
      "\tcore script:file:///C:/App/core%20script.js\n");
  ASSERT_NE(nullptr, list);
  DefinitionsList* previous = GetStartupDefinitions();
  SetStartupDefinitions(list);  // the loader folder comes from here
  EXPECT_EQ(1, ReadStartupDefinitions(list));
  SetStartupDefinitions(previous);
  EXPECT_STREQ("C:\\App\\scripts\\debug.js", s->debugScript);
  EXPECT_STREQ("C:\\App\\release.js", s->releaseScript);
  EXPECT_STREQ("C:\\App\\core script.js", s->coreScript);

  // Without a "kesto" section they stay; a path too long for its buffer is
  // cut and overruns nothing.
  ASSERT_EQ(1, ReadStartupDefinitions(Parse("log\n\tenable:no\n")));
  EXPECT_STREQ("C:\\App\\release.js", s->releaseScript);
  const std::string longPath = "C:\\" + std::string(400, 'p');
  s->coreScript[0] = '\0';
  ASSERT_EQ(1, ReadStartupDefinitions(Parse("kesto\n\tdebug:" + longPath + "\n")));
  EXPECT_EQ(longPath.substr(0, 260), s->debugScript);
  EXPECT_STREQ("", s->releaseScript);
  EXPECT_STREQ("", s->coreScript);
}

using StartupOptions = Definitions;

TEST_F(StartupOptions, CommandLineGivesTheOptionAndLosesIt) {
  DefinitionsList* previous = GetStartupDefinitions();
  SetStartupDefinitions(nullptr);
  char commandLine[] = "-debug id( Sales Desk ) size(3)";
  char value[kStartupOptionSize];
  GetStartupOption("id", value, commandLine);
  EXPECT_STREQ("Sales Desk", value);
  EXPECT_STREQ("-debug  size(3)", commandLine);
  GetStartupOption("id", value, commandLine);
  EXPECT_STREQ("", value);

  // A value longer than the buffer is cut, and nothing is overrun.
  std::string longLine = "id(" + std::string(400, 'n') + ")";
  GetStartupOption("id", value, &longLine[0]);
  EXPECT_EQ(std::string(kStartupOptionSize - 1, 'n'), value);
  SetStartupDefinitions(previous);
}

TEST_F(StartupOptions, StartupDefinitionsOverrideTheCommandLine) {
  DefinitionsList* previous = GetStartupDefinitions();
  SetStartupDefinitions(Parse("arguments\n\tid:Front Office\n"));
  char commandLine[] = "id(Back Office)";
  char value[kStartupOptionSize];
  GetStartupOption("id", value, commandLine);
  EXPECT_STREQ("Front Office", value);
  EXPECT_STREQ("", commandLine);
  GetStartupOption("ipcid", value, nullptr);
  EXPECT_STREQ("", value);
  SetStartupDefinitions(previous);
}

}  // namespace
