// Template files: class declarations and visibility, inheritance with second
// bases, extensions and deletion markers, references between classes, the
// read cache, imports, and chains that loop.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log_capture.h"
#include "file_test_support.h"
#include "package/definitions_list.h"
#include "package/templates.h"
#include "windows/skin_record.h"
#include "definitions_test_support.h"

namespace {

using definitions_test::Value;

class Templates : public ::testing::Test {
 protected:
  // Writes a template into the scratch folder (TAB-indented lines joined by
  // CR LF); its full path.
  std::string Write(const std::string& name, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return folder_.Write(name, text);
  }
  int Read(const std::string& path) { return ParseTemplateFile(0, path.c_str(), nullptr); }
  // The class registered in the file under a name.
  SKINHolder ClassOf(const std::string& path, const std::string& name) {
    char normalized[kSkinPathMax + 1] = "";
    EXPECT_EQ(1, ParseTemplateFile(0, path.c_str(), normalized));
    return FindTemplateClass((std::string(normalized) + name).c_str());
  }
  static std::string Key(const SKINHolder& skin, const std::string& key) {
    return skin.IsSet() ? Value(skin->definitions, ("#class." + key).c_str()) : "<no class>";
  }

  filetest::ScratchFolder folder_;
  logtest::CapturedGlobalLog log_;
};

TEST_F(Templates, ThreeLevelsWithSecondBaseExtensionAndDeletionMergeInOrder) {
  ASSERT_EQ(1, Read(Write("ext.hdc", {"@extend #TplBase", "\textra:from extension"})));
  const std::string path = Write("base.hdc", {
      "@define #TplBase as public",
      "\twidth:100",
      "\theight:20",
      "\timage",
      "\t\tfile:base.png",
      "\t\twidth:16",
      "\ttitle",
      "\t\tfont",
      "\t\t\tface:Arial",
      "@define #TplLarge",
      "\tsize:large",
      "\theight:99",
      "@define #TplMid based #TplBase",
      "\twidth:200",
      "\tcolor:@#parent.width",
      "\t--image",
      "\t\tfile:ignored.png",
      "@define #TplLeaf#TplLarge as private based #TplMid",
      "\tlabel:@width wide",
  });
  SKINHolder base = ClassOf(path, "#TplBase");
  SKINHolder mid = ClassOf(path, "#TplMid");
  SKINHolder leaf = ClassOf(path, "#TplLeaf#TplLarge");
  ASSERT_TRUE(base.IsSet() && mid.IsSet() && leaf.IsSet());
  EXPECT_EQ(base.Get(), FindTemplateClass("#TplBase").Get());  // public: also by name alone
  EXPECT_FALSE(FindTemplateClass("#TplMid").IsSet());

  EXPECT_EQ("base.png", Key(base, "image.file"));
  EXPECT_EQ("from extension", Key(base, "extra"));
  EXPECT_STREQ("base.png", base->image.file.data);
  EXPECT_EQ(16, base->image.width);

  // The middle class deleted the image section and everything below it.
  EXPECT_EQ("<absent>", Key(mid, "image"));
  EXPECT_EQ("<absent>", Key(mid, "image.file"));
  EXPECT_EQ(nullptr, mid->image.file.data);
  EXPECT_EQ("100", Key(mid, "color"));
  EXPECT_EQ("200", Key(mid, "width"));
  EXPECT_EQ("20", Key(mid, "height"));
  EXPECT_EQ("from extension", Key(mid, "extra"));

  // Parent, then second base, then the class itself.
  EXPECT_EQ(mid.Get(), leaf->parentClass.Get());
  ASSERT_TRUE(leaf->secondBase.IsSet());
  EXPECT_EQ("99", Key(leaf, "height"));
  EXPECT_EQ("large", Key(leaf, "size"));
  EXPECT_EQ("<absent>", Key(leaf, "image.file"));
  EXPECT_EQ("Arial", Key(leaf, "title.font.face"));
  EXPECT_STREQ("Arial", leaf->title.font.face.data);
  // References resolve in the inheriting class: its parent is the middle one.
  EXPECT_EQ("200", Key(leaf, "color"));
  EXPECT_EQ("200 wide", Key(leaf, "label"));
  EXPECT_STREQ("#TplLeaf#TplLarge", leaf->className.data);
  EXPECT_EQ(1, leaf->fromTemplate);
  EXPECT_EQ(0, leaf->isPublic);
}

struct TemplateCase {
  const char* name;
  std::vector<std::string> lines;
  int expected;
  const char* logged;  // a text the log must hold, or null
};

const TemplateCase kCases[] = {
    {"NameWithoutHashIsRejected", {"@define Button"}, 0, "Not a class name"},
    {"ProtectedIsRejected", {"@define #CaseProtected as protected"}, 0, "Unknown visibility"},
    {"ClassBasedOnItselfIsRejected", {"@define #CaseSelf based #CaseSelf"}, 0, "Base class not found"},
    {"UnknownParentIsRejected", {"@define #CaseOrphan based #Nobody"}, 0, "Base class not found"},
    {"SectionAtLevelZeroFails", {"@define #CaseLevel", "image"}, 0, "Section outside its class"},
    {"KeyBeforeAnyClassIsIgnored", {"stray:1", "stray", "@define #CaseStray", "\tw:1"}, 1, nullptr},
    {"TextEndingInsideABlockFails", {"@define #CaseBlock", "\tscript:#begin", "\tx"}, 0, "inside a block"},
    {"BlockIsStoredAsWritten", {"@define #CaseBlock2", "\tscript:#begin", "\t\tx", "\t#end script"}, 1, nullptr},
    {"MissingKeyReferenceFails", {"@define #CaseMissing", "\tw:@#parent.width"}, 0, "ResolveClassReferences"},
    {"ReferenceCycleOfOneIsRefused", {"@define #CaseLoop1", "\ta:@a"}, 0, "Reference chain loops"},
    {"ReferenceCycleOfTwoIsRefused", {"@define #CaseLoop2", "\ta:@b", "\tb:@a"}, 0, "Reference chain loops"},
    {"ReferenceCycleOfFiveIsRefused",
     {"@define #CaseLoop5", "\ta:@b", "\tb:@c", "\tc:@d", "\td:@e", "\te:@a"}, 0, "Reference chain loops"},
    {"ReferenceCycleAcrossClassesIsRefused",
     {"@define #CaseLoopB", "\ty:@#CaseLoopC.z", "@define #CaseLoopC", "\tz:@#CaseLoopB.y"},
     0, "Reference chain loops"},
    {"ImportOfMissingFileWithNofailIsSkipped", {"@import none.hdc nofail", "@define #CaseNofail"}, 1, nullptr},
    {"ImportOfMissingFileFails", {"@import none.hdc", "@define #CaseImport"}, 0, "Import failed"},
    {"DashedDirectivesAreSwitchedOff", {"-@import none.hdc", "@define #CaseDash", "-@define #Off", "\tw:1"}, 1, nullptr},
};

class TemplateCases : public Templates, public ::testing::WithParamInterface<TemplateCase> {};

TEST_P(TemplateCases, ReadAsExpected) {
  const TemplateCase& c = GetParam();
  EXPECT_EQ(c.expected, Read(Write(std::string(c.name) + ".hdc", c.lines)));
  if (c.logged) {
    EXPECT_NE(std::string::npos, log_.Contents().find(c.logged)) << log_.Contents();
  }
}

INSTANTIATE_TEST_SUITE_P(Declarations, TemplateCases, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<TemplateCase>& info) { return info.param.name; });

TEST_F(Templates, PublicNamesOnceAPrivateNameOncePerFile) {
  EXPECT_EQ(1, Read(Write("one.hdc", {"@define #VisButton as public", "@define #VisPrivate"})));
  EXPECT_EQ(0, Read(Write("two.hdc", {"@define #VisButton as PUBLIC"})));
  EXPECT_EQ(1, Read(Write("three.hdc", {"@define #VisPrivate as private"})));
  // A private class of another file is no base; a public one is.
  EXPECT_EQ(0, Read(Write("four.hdc", {"@define #VisDerived based #VisPrivate"})));
  EXPECT_EQ(1, Read(Write("five.hdc", {"@define #VisDerived based #VisButton"})));
}

TEST_F(Templates, ReferencesReadOtherClassesWithTheirTrailingText) {
  const std::string path = Write("refs.hdc", {
      "@define #RefOther as public",
      "\tfont:Tahoma",
      "@define #RefUser",
      "\ttitle:@#RefOther.font bold",
      "\tface:@system.font.face",
      "\tweight:@system.font.weight",
  });
  SKINHolder user = ClassOf(path, "#RefUser");
  EXPECT_EQ("Tahoma bold", Key(user, "title"));
  EXPECT_EQ("400", Key(user, "weight"));
  EXPECT_NE("<absent>", Key(user, "face"));
  EXPECT_NE('@', Key(user, "face")[0]);
  // Resolved entries are copied into the global dictionary.
  EXPECT_EQ("Tahoma bold", Value(GetGlobalDictionary(), "#class.title"));
}

TEST_F(Templates, AnUnchangedFileIsNotReadAgainAChangedOneIs) {
  const std::string path = Write("cached.hdc", {"@define #CacheOnce as public"});
  EXPECT_EQ(1, Read(path));
  EXPECT_EQ(1, Read(path));  // read again it would declare #CacheOnce twice
  // A later write time makes it read again, and its class is then a second
  // declaration.
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  FILETIME time;
  GetSystemTimeAsFileTime(&time);
  time.dwHighDateTime += 1;
  SetFileTime(file, nullptr, nullptr, &time);
  CloseHandle(file);
  EXPECT_FALSE(IsTemplateCached(path.c_str()));
  EXPECT_EQ(0, Read(path));
}

TEST_F(Templates, AnExtensionReadAfterItsTemplateHasNoEffect) {
  const std::string path = Write("late.hdc", {"@define #LateClass as public", "\tw:1"});
  ASSERT_EQ(1, Read(path));
  ASSERT_EQ(1, Read(Write("late-ext.hdc", {"@extend #LateClass", "\tadded:yes"})));
  EXPECT_EQ("<absent>", Key(FindTemplateClass("#LateClass"), "added"));
  EXPECT_TRUE(FindTemplateExtension("#LateClass"));
}

TEST_F(Templates, ImportCyclesOfOneTwoAndFiveAreRefused) {
  const std::string self = Write("self.hdc", {"@import self.hdc", "@define #CycleSelf"});
  EXPECT_EQ(0, Read(self));
  Write("pair-b.hdc", {"@import pair-a.hdc"});
  EXPECT_EQ(0, Read(Write("pair-a.hdc", {"@import pair-b.hdc"})));
  const char* names[] = {"ring1.hdc", "ring2.hdc", "ring3.hdc", "ring4.hdc", "ring5.hdc"};
  for (int i = 1; i < 5; ++i) Write(names[i], {std::string("@import ") + names[(i + 1) % 5]});
  EXPECT_EQ(0, Read(Write(names[0], {std::string("@import ") + names[1]})));
  EXPECT_NE(std::string::npos, log_.Contents().find("Import cycle"));
}

TEST_F(Templates, ImportsNestedTooDeepFailInsteadOfRecursing) {
  for (int i = 1; i < 40; ++i) Write("deep" + std::to_string(i) + ".hdc", {"@import deep" + std::to_string(i + 1) + ".hdc"});
  Write("deep40.hdc", {"@define #DeepEnd"});
  EXPECT_EQ(0, Read(Write("deep0.hdc", {"@import deep1.hdc"})));
  EXPECT_NE(std::string::npos, log_.Contents().find("Imports nested too deep"));
  // A short chain is read.
  Write("short2.hdc", {"@define #ShortEnd"});
  Write("short1.hdc", {"@import short2.hdc"});
  EXPECT_EQ(1, Read(Write("short0.hdc", {"@import short1.hdc"})));
}

TEST_F(Templates, AReferenceNamesATemplateAndItsClass) {
  const std::string path = Write("named.hdc", {"@define #NamedClass", "\tw:5"});
  SKINHolder found = FindTemplateClassReference(0, (path + "#NamedClass").c_str());
  ASSERT_TRUE(found.IsSet());
  EXPECT_EQ("5", Key(found, "w"));
  EXPECT_FALSE(FindTemplateClassReference(0, "#NamedClass").IsSet());  // private
  EXPECT_FALSE(FindTemplateClassReference(0, (path + "#Nothing").c_str()).IsSet());
}

}  // namespace
