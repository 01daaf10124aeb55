// Skin keys of every kind read into the skin record: window keys, element
// layers, images, fonts, texts, areas, rectangles, effects, meshes and
// state colours.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "package/definitions_list.h"
#include "package/skin_readers.h"
#include "package/skin_values.h"
#include "windows/skin_record.h"

namespace {

using Keys = std::vector<std::pair<std::string, std::string>>;

void DeleteList(DefinitionsList* list) { DefinitionsList::Delete(list); }

// A new skin whose class definitions hold the keys (written under the class,
// as a template gives them) and the section entries of all their parents.
SKINHolder SkinWith(const Keys& keys) {
  SKINHolder skin = SKINNewSkin();
  DefinitionsList* list = DefinitionsList::Create();
  DefinitionSetOwned(list, "#class", nullptr, nullptr);
  for (const auto& [key, value] : keys) {
    const std::string whole = "#class." + key;
    for (size_t dot = whole.find('.', 7); dot != std::string::npos; dot = whole.find('.', dot + 1)) {
      const std::string parent = whole.substr(0, dot);
      if (!DefinitionHasKey(list, nullptr, parent.c_str())) DefinitionSetOwned(list, parent.c_str(), nullptr, nullptr);
    }
    if (value == "<section>") {
      DefinitionSetOwned(list, whole.c_str(), nullptr, nullptr);
    } else {
      DefinitionSetValue(list, whole.c_str(), value.c_str());
    }
  }
  skin->definitions = list;
  skin->deleteDefinitions = DeleteList;
  return skin;
}

std::string Text(const ZEQBuffer& b) { return b.data ? b.data : "<empty>"; }
std::string Ints(const int* v, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += (i ? "," : "") + std::to_string(v[i]);
  return s;
}
std::string Hex(uint32_t v) {
  char text[16];
  snprintf(text, sizeof text, "%08X", v);
  return text;
}

struct KeyCase {
  const char* name;
  Keys keys;
  std::function<std::string(const ZEQBASESKIN&)> field;
  std::string expected;
};

const uint32_t kRed = SKINParseColor("#FF0000", false);

const KeyCase kCases[] = {
    // Window keys.
    {"TitleActiveForeColour", {{"title.active.color.fore", "#FF0000"}},
     [](const ZEQBASESKIN& s) { return Hex(s.title.activeFore); }, Hex(kRed)},
    {"TitleColourNeedsItsSection", {{"title.x", "1"}, {"title.inactive", "<section>"}},
     [](const ZEQBASESKIN& s) { return Hex(s.title.activeFore); }, "FFFFFFFF"},
    {"TitleFontWithoutHeightIsZero", {{"title.font.face", "Tahoma"}, {"title.font.weight", "700"}},
     [](const ZEQBASESKIN& s) { return Text(s.title.font.face) + "/" + std::to_string(s.title.font.height) + "/" +
                                       std::to_string(s.title.font.weight); },
     "Tahoma/0/700"},
    {"TitlePosition", {{"title.position", "1,2,30,40"}},
     [](const ZEQBASESKIN& s) { return Ints(s.title.position, 4); }, "1,2,30,40"},
    {"TitleAlignment", {{"title.alignment", "center"}},
     [](const ZEQBASESKIN& s) { return Hex(uint32_t(s.title.alignment)); }, Hex(SKINParseLayout("center"))},
    {"SplashSizeAndRate", {{"splash.size", "200,100"}, {"splash.frames/s", "12.5"}},
     [](const ZEQBASESKIN& s) { return Ints(s.splashSize, 2) + "@" + std::to_string(s.splashFramesPerSecond); },
     "200,100@12.500000"},
    {"SplashHorizontal", {{"splash.orientation", "horizontal"}},
     [](const ZEQBASESKIN& s) { return std::to_string(s.splashOrientation); }, "0"},
    {"SplashCapitalHorizontalIsVertical", {{"splash.orientation", "Horizontal"}},
     [](const ZEQBASESKIN& s) { return std::to_string(s.splashOrientation); }, "1"},
    {"SplashStopsAtFirstFrame", {{"splash.stop at first frame", "yes"}},
     [](const ZEQBASESKIN& s) { return std::to_string(s.splashStopAtFirstFrame); }, "1"},
    {"MenuKeys", {{"menu.height", "22"}, {"menu.position", "0,20,100,22"}, {"menu.reserve area", "TRUE"}},
     [](const ZEQBASESKIN& s) { return std::to_string(s.frame.menuHeight) + "/" + Ints(s.frame.menuPosition, 4) + "/" +
                                       std::to_string(s.frame.menuReserveArea); },
     "22/0,20,100,22/1"},
    {"ExtentsKeys", {{"extents.max.size", "800,600"}, {"extents.min.tracking", "200,150"}},
     [](const ZEQBASESKIN& s) { return Ints(s.maximumSize, 2) + "/" + Ints(s.minimumTrackingSize, 2) + "/" +
                                       Ints(s.maximumPosition, 2); },
     "800,600/200,150/-1,-1"},
    {"CursorFiles", {{"cursor.hand", "hand.cur"}},
     [](const ZEQBASESKIN& s) { return Text(s.frame.handCursorFile) + "/" + Text(s.frame.waitCursorFile); },
     "hand.cur/<empty>"},
    {"FrameWorkAreaAndColour", {{"frame.work.area", "4,4,10,10"}, {"frame.color.back", "#FF0000"}},
     [](const ZEQBASESKIN& s) { return std::to_string(s.frameDefined) + "/" + Ints(s.frame.frameArea.area, 4) + "/" +
                                       Hex(s.frame.back); },
     "1/4,4,10,10/" + Hex(kRed)},
    {"BackgroundImage", {{"image.file", "back.png"}, {"image.width", "0x20"}, {"image.position", "3,4"}},
     [](const ZEQBASESKIN& s) { return Text(s.image.file) + "/" + std::to_string(s.image.width) + "/" +
                                       Ints(s.image.position, 2); },
     "back.png/32/3,4"},
    {"ImagePositionClearsAlignment", {{"brand.image.alignment", "center"}, {"brand.image.position", "1,1"}},
     [](const ZEQBASESKIN& s) { return std::to_string(s.brandImage.alignment); }, "0"},
    {"ImageStateRelative", {{"overlay.property", "StateRelative"}},
     [](const ZEQBASESKIN& s) { return std::to_string(s.overlay.stateRelative); }, "1"},
    {"ImageMask", {{"imagelist.mask.file", "m.bmp"}, {"imagelist.mask.vertex.horizontal", "1,2,3,4"}},
     [](const ZEQBASESKIN& s) { return Text(s.imageList.maskFile) + "/" + Ints(s.imageList.maskVertex.horizontal, 4); },
     "m.bmp/1,2,3,4"},
    {"AcbEffect", {{"image.effect.type", "acb"}, {"image.effect.acb.alpha", "50"}},
     [](const ZEQBASESKIN& s) { return std::to_string(s.image.effect.flags) + "/" + std::to_string(s.image.effect.firstValue); },
     "2/127"},
    {"McbEffect", {{"image.effect.type", "mcb"}, {"image.effect.mcb.color.back", "#FF0000"}},
     [](const ZEQBASESKIN& s) { return std::to_string(s.image.effect.flags) + "/" + Hex(s.image.effect.secondValue); },
     "4/" + Hex(kRed)},
    {"LabelTextAreaAndColour",
     {{"label.text", "Ol\xC3\xA1"}, {"label.area.area", "1,2,3,4"}, {"label.area.font.face", "Arial"},
      {"label.color", "#FF0000"}, {"label.padding", "5,6,7,8"}},
     [](const ZEQBASESKIN& s) { return std::to_string(s.label.defined) + "/" + Text(s.label.text) + "/" +
                                       std::to_string(s.label.hasArea) + Ints(s.label.area.area, 4) + "/" +
                                       std::to_string(s.label.area.hasFont) + Text(s.label.area.font.face) + "/" +
                                       std::to_string(s.label.hasColour) + Hex(s.label.colour) + "/" + Ints(s.label.padding, 4); },
     "1/Ol\xE1/11,2,3,4/1Arial/1" + Hex(kRed) + "/5,6,7,8"},
    // Element layers.
    {"LayerNameAndImage", {{"layer1.name", "close"}, {"layer1.image.file", "x.png"}},
     [](const ZEQBASESKIN& s) { return std::to_string(s.elementCount) + "/" + Text(s.elements[0].name) + "/" +
                                       Text(s.elements[0].image.file); },
     "1/close/x.png"},
    {"LayerGapEndsTheList", {{"layer1", "<section>"}, {"layer2", "<section>"}, {"layer4", "<section>"}},
     [](const ZEQBASESKIN& s) { return std::to_string(s.elementCount) + "/" + std::to_string(s.elements[3].defined); },
     "2/0"},
    {"LayerPropertyWords", {{"layer1.property", "overdraw, hidden"}},
     [](const ZEQBASESKIN& s) { return std::to_string(s.elements[0].property); }, "3"},
    {"LayerDisplayWords", {{"layer1.display", "window.maximized !state.over"}},
     [](const ZEQBASESKIN& s) { return Hex(uint32_t(s.elements[0].display)); }, Hex(0x42)},
    {"LayerDisplayNoneHides", {{"layer1.display", "none"}},
     [](const ZEQBASESKIN& s) { return std::to_string(s.elements[0].property) + "/" + std::to_string(s.elements[0].display); },
     "1/0"},
    {"LayerHitActionAndTexts", {{"layer1.hit.action", "move"}, {"layer1.hit.onclick", "go()"}, {"layer1.hit.tip", "Tip"}},
     [](const ZEQBASESKIN& s) { return Hex(s.elements[0].hitAction) + "/" + Text(s.elements[0].onClick) + "/" +
                                       Text(s.elements[0].tip); },
     "B0000000/go()/Tip"},
    {"LayerStaticSizeAndPosition",
     {{"layer1.type", "static"}, {"layer1.static.size", "16,12"}, {"layer1.static.alignment", "center"},
      {"layer1.static.position", "2,3"}},
     [](const ZEQBASESKIN& s) { const SKINELEMENT& e = s.elements[0];
                                return std::to_string(e.type) + "/" + std::to_string(e.mesh.horizontal[3]) + "x" +
                                       std::to_string(e.mesh.vertical[3]) + "/" + std::to_string(e.staticAlignment) + "/" +
                                       Ints(e.staticPosition, 2); },
     "1/16x12/0/2,3"},
    {"LayerMeshVertex",
     {{"layer1.type", "mesh"}, {"layer1.mesh.vertex.vertical", "1,2"}, {"layer1.mesh.vertex.scan", "rows"},
      {"layer1.mesh.vertex.color.over", "#FF0000"}},
     [](const ZEQBASESKIN& s) { const SKINELEMENT& e = s.elements[0];
                                return std::to_string(e.type) + "/" + Ints(e.mesh.vertical, 4) + "/" + Text(e.mesh.scan) + "/" +
                                       Hex(e.mesh.stateColours[1].fore); },
     "2/1,2,0,0/rows/" + Hex(kRed)},
    {"LayerVectorRoundCorners",
     {{"layer1.type", "vector"}, {"layer1.vector.round.corners", "10,20,100,50"},
      {"layer1.vector.round.line.width", "2"}, {"layer1.vector.round.shadow.type", "outter"}},
     [](const ZEQBASESKIN& s) { const SKINELEMENT& e = s.elements[0];
                                return std::to_string(e.type) + "/" + Ints(e.mesh.vertical, 4) + "/" + Ints(e.mesh.horizontal, 4) +
                                       "/" + std::to_string(e.lineWidth) + "/" + std::to_string(e.shadowType); },
     "3/20,25,45,50/10,15,95,100/2/2"},
    {"UntypedLayerGetsDerivedGeometry", {{"layer1.name", "x"}},
     [](const ZEQBASESKIN& s) { return Ints(s.elements[0].mesh.vertical, 4); }, "0,5,-5,0"},
    {"LayerAreaBlocks", {{"layer1.client.area", "1,1,5,5"}, {"layer1.client.image.file", "c.png"}},
     [](const ZEQBASESKIN& s) { const SKINAREA& a = s.elements[0].client;
                                return Ints(a.area, 4) + "/" + std::to_string(a.hasImage) + Text(a.image.file) + "/" +
                                       std::to_string(a.hasFont) + "/" + std::to_string(s.elements[0].header.hasImage); },
     "1,1,5,5/1c.png/0/0"},
    {"LayerRectangles",
     {{"layer1.rectangle2.area", "0,0,4,4"}, {"layer1.rectangle2.relative to client area", "yes"},
      {"layer1.rectangle2.color.fill", "#FF0000"}, {"layer1.rectangle2.line.width", "3"}},
     [](const ZEQBASESKIN& s) { const SKINRECTITEM& r = s.elements[0].rectangles[1];
                                return std::to_string(s.elements[0].rectangles[0].defined) + "/" + std::to_string(r.defined) +
                                       std::to_string(r.relativeToClient) + "/" + Ints(r.area, 4) + "/" + Hex(r.fillColour) +
                                       "/" + std::to_string(r.lineWidth); },
     "0/11/0,0,4,4/" + Hex(kRed) + "/3"},
    {"LayerOnloadEffect", {{"layer1.onload.effect.type", "gcb"}},
     [](const ZEQBASESKIN& s) { return std::to_string(s.elements[0].onLoadEffect.flags); }, "1"},
    {"ResizeSidesBySubstring", {{"layer1.resize.border.side", "lefttop"}, {"layer1.resize.border.size", "6"}},
     [](const ZEQBASESKIN& s) { return std::to_string(s.elements[0].resizeSides) + "/" +
                                       std::to_string(s.elements[0].resizeBorderSize); },
     "3/6"},
    {"ResizeAnySide", {{"layer1.resize.border.side", "any"}},
     [](const ZEQBASESKIN& s) { return std::to_string(s.elements[0].resizeSides); }, "15"},
    {"ResizeDefaultsWithoutTheBlock", {{"layer1.name", "x"}},
     [](const ZEQBASESKIN& s) { return std::to_string(s.elements[0].resizeSides) + "/" +
                                       std::to_string(s.elements[0].resizeBorderSize); },
     "15/4"},
    {"StateColoursAndCount",
     {{"layer2", "<section>"}, {"layer1.state.default.color.fore", "#FF0000"}, {"layer1.state.over.color.line", "#FF0000"},
      {"layer1.state.over.format", "%s!"}},
     [](const ZEQBASESKIN& s) { return std::to_string(s.elements[0].stateCount) + "/" + Hex(s.colours[0].fore) + "/" +
                                       Hex(s.colours[1].line) + "/" + Text(s.colours[1].format) + "/" + Text(s.colours[0].format); },
     "2/" + Hex(kRed) + "/" + Hex(kRed) + "/%s!/"},
    {"StatesWithoutDefaultGiveNoColours", {{"layer1.state.over.color.fore", "#FF0000"}},
     [](const ZEQBASESKIN& s) { return std::to_string(s.elements[0].stateCount) + "/" + Hex(s.colours[1].fore); },
     "0/00000000"},
    {"StaticLayerStatesKeepLineColour",
     {{"layer1.type", "static"}, {"layer1.state.default.color.line", "#FF0000"}},
     [](const ZEQBASESKIN& s) { return std::to_string(s.elements[0].stateCount) + "/" + Hex(s.colours[0].line); },
     "0/00000000"},
    // State sets.
    {"StateSetListsLayersInDefinitionOrder",
     {{"stateset.default.layer2.property", "hit text"}, {"stateset.default.layer1.property", "hidden nomouseclick"},
      {"stateset.default.layer1.padding", "1,2,3,4"}, {"stateset.default.layer1.position", "5,6"}},
     [](const ZEQBASESKIN& s) { const SKINSTATESET& set = s.defaultStateSet;
                                return std::to_string(set.listedCount) + "/" + Ints(set.listedElements, 3) + "/" +
                                       Ints(set.elementFlags, 3) + "/" + std::to_string(set.textElement) + "/" +
                                       Ints(set.elementPadding[0], 4) + "/" + Ints(reinterpret_cast<const int*>(set.elementPosition[0]), 2); },
     "2/1,0,-1/19,4,0/1/1,2,3,4/5,6"},
    {"StateSetWithOneVisibleLayerTakesItAsText",
     {{"stateset.focus.layer3", "<section>"}, {"stateset.focus.layer1.property", "hidden"}, {"stateset.focus.image.file", "f.png"}},
     [](const ZEQBASESKIN& s) { const SKINSTATESET& set = s.focusStateSet;
                                return std::to_string(set.defined) + "/" + std::to_string(set.textElement) + "/" +
                                       Text(set.image.file) + "/" + std::to_string(s.disabledStateSet.defined); },
     "1/2/f.png/0"},
};

class SkinKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(SkinKeys, FillTheirField) {
  const KeyCase& c = GetParam();
  SKINHolder skin = SkinWith(c.keys);
  EXPECT_EQ(1, SKINReadWindowDefinition(skin.Get()));
  EXPECT_EQ(c.expected, c.field(*skin.Get()));
}

INSTANTIATE_TEST_SUITE_P(Readers, SkinKeys, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<KeyCase>& info) { return info.param.name; });

TEST(SkinRecord, ANewSkinIsBlankWithItsDefaults) {
  SKINHolder first = SKINNewSkin();
  SKINHolder second = SKINNewSkin();
  const ZEQBASESKIN& s = *first.Get();
  EXPECT_TRUE(SKINIsBlank(first));
  EXPECT_TRUE(SKINIsBlank(SKINHolder()));
  EXPECT_EQ(ZEQRecordSerial(first.Get()) + 1, ZEQRecordSerial(second.Get()));
  EXPECT_EQ(1, s.defaultStateSet.defined);
  EXPECT_EQ(0, s.focusStateSet.defined);
  for (const SKINELEMENT& e : s.elements) {
    EXPECT_EQ(1, e.enabled);
    EXPECT_EQ(-1, e.forcedState);
    EXPECT_EQ(15, e.resizeSides);
    EXPECT_EQ(4, e.resizeBorderSize);
  }
  EXPECT_EQ(-1, s.hotElement);
  EXPECT_EQ(-1, s.pressedElement);
  EXPECT_EQ(1, s.defaultStateSet.elementFlags[14]);
  EXPECT_EQ(kSkinPositionUnset, s.defaultStateSet.elementPosition[0][0]);
}

TEST(SkinRecord, MissingBlocksLeaveFieldsAlone) {
  SKINHolder skin = SkinWith({});
  SKINSetText(&skin->image.file, "kept.png");
  skin->image.width = 9;
  EXPECT_EQ(0, SKINReadImageDefinition(skin.Get(), "image", &skin->image));
  EXPECT_EQ(0, SKINReadFontDefinition(skin.Get(), "title.font", &skin->title.font));
  EXPECT_EQ(1, SKINReadWindowDefinition(skin.Get()));
  EXPECT_STREQ("kept.png", skin->image.file.data);
  EXPECT_EQ(9, skin->image.width);
  EXPECT_EQ(0, skin->label.defined);
  EXPECT_EQ(0, skin->elementCount);
  EXPECT_EQ(0, skin->frameDefined);
}

TEST(SkinRecord, ALabelCopyDuplicatesItsTexts) {
  SKINHolder skin = SkinWith({{"label.text", "one"}, {"label.area.image.file", "a.png"}, {"label.padding", "1,2,3,4"}});
  SKINReadWindowDefinition(skin.Get());
  SKINLABEL copy{};
  SKINCopyDefinitionRecord(&copy, &skin->label);
  ASSERT_TRUE(copy.text.data);
  EXPECT_NE(skin->label.text.data, copy.text.data);
  EXPECT_STREQ("one", copy.text.data);
  EXPECT_STREQ("a.png", copy.area.image.file.data);
  EXPECT_NE(skin->label.area.image.file.data, copy.area.image.file.data);
  EXPECT_EQ("1,2,3,4", Ints(copy.padding, 4));
}

}  // namespace
