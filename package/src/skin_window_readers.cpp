// The window keys and the element layers of a skin.
#include <cstdlib>
#include <cstring>
#include <string>

#include "package/skin_readers.h"
#include "skin_key_reading.h"

using skinkeys::KeyReader;

namespace {

struct WordFlag {
  const char* word;
  uint32_t value;
};

// The non-client meaning of a click, in the top four bits.
constexpr WordFlag kHitActions[] = {
    {"left", 0x20000000},     {"right", 0x90000000},      {"top", 0x30000000},
    {"lefttop", 0x40000000},  {"righttop", 0x50000000},   {"bottom", 0x60000000},
    {"leftbottom", 0x70000000}, {"rightbottom", 0x80000000}, {"grow", 0xA0000000},
    {"move", 0xB0000000},
};

// Display words, applied in this order: each sets one flag and clears its
// opposite.
constexpr struct {
  const char* word;
  int set;
  int clear;
} kDisplayWords[] = {
    {"!window.maximized", kSkinDisplayNotMaximized, kSkinDisplayMaximized},
    {"window.maximized", kSkinDisplayMaximized, kSkinDisplayNotMaximized},
    {"!window.activated", kSkinDisplayNotActivated, kSkinDisplayActivated},
    {"window.activated", kSkinDisplayActivated, kSkinDisplayNotActivated},
    {"!state.over", kSkinDisplayNotOver, kSkinDisplayOver},
    {"state.over", kSkinDisplayOver, kSkinDisplayNotOver},
};

constexpr const char* kStateNames[kSkinStateCount] = {"default", "over", "down"};

// The geometry of a layer without a type (and of round corners): rows and
// columns from the corner values x, y, w, h.
void DeriveGeometry(SKINELEMENT* element) {
  const int* c = element->roundCorners;
  SKINResetLayer(&element->mesh);
  const int vertical[4] = {c[1], c[1] + 5, c[3] - 5, c[3]};
  const int horizontal[4] = {c[0], c[0] + 5, c[2] - 5, c[2]};
  memcpy(element->mesh.vertical, vertical, sizeof vertical);
  memcpy(element->mesh.horizontal, horizontal, sizeof horizontal);
}

// A static or vector size: the geometry is reset and keeps the size in its
// last row and column.
void ReadGeometrySize(const KeyReader& keys, const std::string& name, SKINELEMENT* element) {
  int size[2] = {0, 0};
  if (!keys.Pair(name, size)) return;
  SKINResetLayer(&element->mesh);
  element->mesh.horizontal[3] = size[0];
  element->mesh.vertical[3] = size[1];
}

void ReadLayerType(const KeyReader& keys, const std::string& l, SKINELEMENT* element) {
  const char* type = keys.Value(l + ".type");
  element->type = kSkinTypeNone;
  if (!type || !*type) {
    DeriveGeometry(element);
    return;
  }
  if (strcmp(type, "static") == 0) {
    element->type = kSkinTypeStatic;
    ReadGeometrySize(keys, l + ".static.size", element);
    element->staticAlignment = 0;
    keys.Layout(l + ".static.alignment", &element->staticAlignment);
    if (keys.Pair(l + ".static.position", element->staticPosition)) element->staticAlignment = 0;
  } else if (strcmp(type, "mesh") == 0) {
    element->type = kSkinTypeMesh;
    SKINReadMesh(keys.skin(), (l + ".mesh.vertex").c_str(), &element->mesh);
  } else if (strcmp(type, "vector") == 0) {
    element->type = kSkinTypeVector;
    if (keys.Exists(l + ".vector.round")) {
      if (keys.Rect(l + ".vector.round.corners", element->roundCorners)) DeriveGeometry(element);
      keys.Int(l + ".vector.round.line.width", &element->lineWidth);
      if (keys.HasWord(l + ".vector.round.shadow.type", "inner")) {
        element->shadowType = kSkinShadowInner;
      } else if (keys.HasWord(l + ".vector.round.shadow.type", "outter")) {
        element->shadowType = kSkinShadowOuter;
      }
    }
    ReadGeometrySize(keys, l + ".vector.size", element);
  }
}

void ReadLayerStates(const KeyReader& keys, const std::string& l, int index, SKINELEMENT* element) {
  const bool drawnByState = element->type == kSkinTypeNone || element->type == kSkinTypeVector;
  int states = 0;
  for (int s = 0; s < kSkinStateCount; ++s) {
    const std::string state = l + ".state." + kStateNames[s];
    if (!keys.Exists(state)) break;
    ++states;
    SKINCOLORENTRY& entry = keys.skin()->colours[index * kSkinStateCount + s];
    keys.Colour(state + ".color.fore", &entry.fore, 1);
    keys.Colour(state + ".color.back", &entry.back, 1);
    keys.Colour(state + ".color.separator", &entry.separator, 1);
    keys.Colour(state + ".color.disabled", &entry.disabled, 1);
    const char* format = keys.Value(state + ".format");
    SKINSetText(&entry.format, format ? format : "");
    if (drawnByState) {
      keys.Colour(state + ".color.line", &entry.line, 1);
      keys.Colour(state + ".color.shadow", &entry.shadow, 1);
    }
  }
  if (drawnByState) element->stateCount = states;
}

void ReadLayer(const KeyReader& keys, int index) {
  ZEQBASESKIN* skin = keys.skin();
  SKINELEMENT* element = &skin->elements[index];
  const std::string l = "layer" + std::to_string(index + 1);
  element->defined = 1;
  ++skin->elementCount;
  keys.Text(l + ".name", &element->name);
  SKINReadImageDefinition(skin, (l + ".image").c_str(), &element->image);

  element->property = 0;
  if (keys.HasWord(l + ".property", "hidden")) element->property |= kSkinPropertyHidden;
  if (keys.HasWord(l + ".property", "overdraw")) element->property |= kSkinPropertyOverdraw;
  if (keys.HasWord(l + ".display", "none")) element->property |= kSkinPropertyHidden;
  element->display = 0;
  for (const auto& word : kDisplayWords) {
    if (!keys.HasWord(l + ".display", word.word)) continue;
    element->display = (element->display | word.set) & ~word.clear;
  }

  if (keys.Exists(l + ".hit")) {
    element->hitAction = 0;
    for (const WordFlag& action : kHitActions) {
      if (keys.HasWord(l + ".hit.action", action.word)) element->hitAction |= action.value;
    }
    element->onClick.Clear();
    keys.Text(l + ".hit.onclick", &element->onClick);
    element->tip.Clear();
    keys.AnsiText(l + ".hit.tip", &element->tip);
  }

  ReadLayerType(keys, l, element);
  SKINReadAreaBlock(skin, (l + ".header").c_str(), &element->header);
  SKINReadAreaBlock(skin, (l + ".client").c_str(), &element->client);
  SKINReadAreaBlock(skin, (l + ".footer").c_str(), &element->footer);
  SKINReadRectangles((l + ".rectangle").c_str(), skin, element);
  if (keys.Exists(l + ".onload")) SKINReadImageEffect(skin, (l + ".onload.effect").c_str(), &element->onLoadEffect);

  if (keys.Exists(l + ".resize") && keys.Exists(l + ".resize.border")) {
    element->resizeSides = 0;
    if (const char* sides = keys.Value(l + ".resize.border.side")) {
      // By substring, so "lefttop" gives left and top.
      static const WordFlag kSides[] = {{"left", 1}, {"top", 2}, {"right", 4}, {"bottom", 8}, {"any", 15}};
      for (const WordFlag& side : kSides) {
        if (strstr(sides, side.word)) element->resizeSides |= int(side.value);
      }
    }
    keys.Int(l + ".resize.border.size", &element->resizeBorderSize);
  }
  ReadLayerStates(keys, l, index, element);
}

}  // namespace

int SKINReadElementDefinitions(ZEQBASESKIN* skin) {
  KeyReader keys(skin);
  for (int n = 0; n < kSkinElementCount && keys.Exists("layer" + std::to_string(n + 1)); ++n) {
    ReadLayer(keys, n);
  }
  skin->elementCount = 0;
  for (const SKINELEMENT& element : skin->elements) skin->elementCount += element.defined ? 1 : 0;
  SKINReadStateSet(skin, "default", &skin->defaultStateSet);
  SKINReadStateSet(skin, "focus", &skin->focusStateSet);
  SKINReadStateSet(skin, "disabled", &skin->disabledStateSet);
  const char* custom = skin->customStateSetName.data;
  if (custom && *custom) SKINReadStateSet(skin, custom, &skin->customStateSet);
  return 1;
}

int SKINReadWindowDefinition(ZEQBASESKIN* skin) {
  KeyReader keys(skin);
  SKINReadElementDefinitions(skin);
  SKINReadImageDefinition(skin, "brand.image", &skin->brandImage);
  SKINReadImageDefinition(skin, "image", &skin->image);
  SKINReadImageDefinition(skin, "overlay", &skin->overlay);
  SKINReadImageDefinition(skin, "imagelist", &skin->imageList);
  SKINReadTextDefinition("label", skin, &skin->label);

  if (keys.Exists("title")) {
    if (keys.Exists("title.active")) {
      keys.Colour("title.active.color.fore", &skin->title.activeFore, 1);
      keys.Colour("title.active.color.back", &skin->title.activeBack, 1);
    }
    if (keys.Exists("title.inactive")) {
      keys.Colour("title.inactive.color.fore", &skin->title.inactiveFore, 1);
      keys.Colour("title.inactive.color.back", &skin->title.inactiveBack, 1);
    }
    SKINReadFontDefinition(skin, "title.font", &skin->title.font);
    keys.Rect("title.position", skin->title.position);
    keys.Layout("title.alignment", &skin->title.alignment);
  }

  if (keys.Exists("splash")) {
    SKINReadImageDefinition(skin, "splash.image", &skin->splashImage);
    keys.Pair("splash.position", skin->splashPosition);
    keys.Pair("splash.size", skin->splashSize);
    if (const char* rate = keys.Value("splash.frames/s")) skin->splashFramesPerSecond = atof(rate);
    keys.Bool("splash.stop at first frame", &skin->splashStopAtFirstFrame);
    const char* orientation = keys.Value("splash.orientation");
    skin->splashOrientation = orientation && strcmp(orientation, "horizontal") == 0 ? 0 : 1;
  }

  if (keys.Exists("menu")) {
    keys.Int("menu.height", &skin->frame.menuHeight);
    keys.Rect("menu.position", skin->frame.menuPosition);
    keys.Bool("menu.reserve area", &skin->frame.menuReserveArea);
  }

  if (keys.Exists("extents")) {
    if (keys.Exists("extents.max")) {
      keys.Pair("extents.max.size", skin->maximumSize);
      keys.Pair("extents.max.position", skin->maximumPosition);
      keys.Pair("extents.max.tracking", skin->maximumTrackingSize);
    }
    keys.Pair("extents.min.tracking", skin->minimumTrackingSize);
  }

  if (keys.Exists("cursor")) {
    keys.Text("cursor.hand", &skin->frame.handCursorFile);
    keys.Text("cursor.wait", &skin->frame.waitCursorFile);
    keys.Text("cursor.arrow", &skin->frame.arrowCursorFile);
  }

  if (keys.Exists("frame")) {
    skin->frameDefined = 1;
    SKINReadAreaBlock(skin, "frame.work", &skin->frame.frameArea);
    keys.Colour("frame.color.fore", &skin->frame.fore, 1);
    keys.Colour("frame.color.back", &skin->frame.back, 1);
    keys.Colour("frame.color.line", &skin->frame.line, 1);
  }
  return 1;
}
