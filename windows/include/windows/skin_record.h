// The skin record: the drawn look of one program window (or of a popup menu
// or element behavior that borrows it) as the skin definitions describe it.
// A skin is always reached through a shared holder (SKINHolder); the record
// and every nested record are zero-filled before construction, so a field
// without a stated default starts at 0 or empty.
//
// Colours are 0xAARRGGBB; a rect spec is four ints (x, y, w, h or left, top,
// right, bottom where a padding uses it); a pair is two ints. Texts are heap
// buffers (ZEQBuffer) whose data is a NUL-terminated narrow text or null.
//
// This header holds what the definitions fill: the template class fields and
// every field that a key of the skin definitions sets.
#pragma once
#include <windows.h>

#include <cstdint>

#include "foundation/buffers.h"
#include "foundation/records.h"
#include "foundation/shared_handle.h"

class DefinitionsList;
struct ZEQBASESKIN;

constexpr char kBaseSkinTag[] = "+ZEQBASESKIN";
constexpr int kSkinElementCount = 15;
constexpr int kSkinStateCount = 3;        // 0 default, 1 over, 2 down
constexpr int kSkinRectangleCount = 10;   // extra rectangles of one element
constexpr size_t kSkinPathMax = 260;      // the template path kept with a class

void SKINDeleteSkin(ZEQBASESKIN* skin);
template <>
struct ZEQPayloadTraits<ZEQBASESKIN>
    : ZEQPayloadPolicy<ZEQBASESKIN, SKINDeleteSkin, ZEQPayloadFree::ByRelease> {};
using SKINHolder = ZEQSharedHandle<ZEQBASESKIN>;

// Sets a text field to a heap copy of text (null clears it).
void SKINSetText(ZEQBuffer* field, const char* text);
// Sets a text field, taking ownership of a heap block (null clears it).
void SKINTakeText(ZEQBuffer* field, char* block);
inline const char* SKINText(const ZEQBuffer& field) { return field.data ? field.data : ""; }

// Effect kind bits.
constexpr int kSkinEffectGcb = 1;
constexpr int kSkinEffectAcb = 2;
constexpr int kSkinEffectMcb = 4;
constexpr int kSkinEffectDlb = 8;

struct SKINEFFECT {
  int flags;            // kind bits
  uint32_t firstValue;  // alpha for acb, fore colour for mcb and dlb
  uint32_t secondValue; // back colour for mcb and dlb
  int area[4];
};

struct SKINCOLORENTRY {
  uint32_t fore;
  uint32_t back;
  uint32_t line;
  uint32_t shadow;
  uint32_t separator;
  uint32_t disabled;
  ZEQBuffer format;
};

// Vertex list of nine slices: rows r0..r3 and columns c0..c3. A static
// element keeps its height in vertical[3] and its width in horizontal[3].
struct SKINMESH {
  int vertical[4];
  int horizontal[4];
  ZEQBuffer scan;
  SKINCOLORENTRY stateColours[kSkinStateCount];  // the fore word is used
};

struct SKINFONTDEF {
  ZEQBuffer face;
  int height;
  int weight;
  int alignment;  // layout code
};

struct SKINIMAGEDEF {
  ZEQBuffer file;
  SKINEFFECT effect;
  int offsetLeft;
  int offsetTop;
  int height;
  int width;
  int index;      // frame in a strip of equal frames
  int alignment;  // layout code; 0 when a position is given
  int position[2];
  int area[4];
  ZEQBuffer maskFile;
  SKINMESH maskVertex;
  int maskPosition[4];
  int stateRelative;
};

struct SKINAREA {
  int area[4];
  int hasFont;
  SKINFONTDEF font;
  int hasImage;
  SKINIMAGEDEF image;
};

struct SKINTITLE {
  SKINFONTDEF font;
  uint32_t activeBack;    // -1 unset
  uint32_t activeFore;
  uint32_t inactiveBack;
  uint32_t inactiveFore;
  int alignment;
  int position[4];
};

struct SKINFRAME {
  SKINAREA frameArea;
  uint32_t fore;
  uint32_t back;
  uint32_t line;
  ZEQBuffer handCursorFile;
  ZEQBuffer waitCursorFile;
  ZEQBuffer arrowCursorFile;
  int menuHeight;
  int menuPosition[4];
  int menuReserveArea;
};

struct SKINLABEL {
  int defined;
  ZEQBuffer text;  // ANSI code page
  int hasColour;
  uint32_t colour;
  int hasArea;
  SKINAREA area;
  int padding[4];
};

struct SKINRECTITEM {
  int defined;
  int area[4];
  int relativeToClient;
  int lineWidth;
  uint32_t lineColour;
  uint32_t fillColour;
  int border[4];
};

// Element types, property and display flags, resize sides.
constexpr int kSkinTypeNone = 0;
constexpr int kSkinTypeStatic = 1;
constexpr int kSkinTypeMesh = 2;
constexpr int kSkinTypeVector = 3;
constexpr int kSkinPropertyHidden = 1;
constexpr int kSkinPropertyOverdraw = 2;
constexpr int kSkinDisplayMaximized = 2;
constexpr int kSkinDisplayNotMaximized = 4;
constexpr int kSkinDisplayActivated = 8;
constexpr int kSkinDisplayNotActivated = 0x10;
constexpr int kSkinDisplayOver = 0x20;
constexpr int kSkinDisplayNotOver = 0x40;
constexpr int kSkinShadowInner = 1;
constexpr int kSkinShadowOuter = 2;

struct SKINELEMENT {
  ZEQBuffer name;
  int defined;
  int enabled;     // 1
  int type;
  int property;
  int display;
  int stateCount;  // 0..3
  uint32_t hitAction;  // code in the top four bits
  ZEQBuffer onClick;
  ZEQBuffer tip;   // ANSI code page
  int staticAlignment;
  int staticPosition[2];
  SKINIMAGEDEF image;
  SKINMESH mesh;   // also the geometry of static, vector and untyped elements
  int roundCorners[4];
  int lineWidth;
  int shadowType;
  SKINAREA header;
  SKINAREA client;
  SKINAREA footer;
  SKINRECTITEM rectangles[kSkinRectangleCount];
  SKINEFFECT onLoadEffect;
  int forcedState;       // -1
  int resizeSides;       // 15: 1 left, 2 top, 4 right, 8 bottom
  int resizeBorderSize;  // 4
};

constexpr uint32_t kSkinPositionUnset = 0xCCCCCCCC;

struct SKINSTATESET {
  int defined;
  int listedCount;
  int listedElements[kSkinElementCount];  // -1
  int elementFlags[kSkinElementCount];
  int elementPadding[kSkinElementCount][4];
  uint32_t elementPosition[kSkinElementCount][2];  // kSkinPositionUnset
  SKINIMAGEDEF image;
  SKINLABEL label;
  int textElement;  // -1
  int tipElement;   // -1
};

struct ZEQBASESKIN {
  ZEQTypedRecord header;  // "+ZEQBASESKIN"; the serial is the skin's id
  HWND window;
  ZEQBuffer className;
  DefinitionsList* definitions;  // null: a blank skin
  int frameDefined;
  SKINTITLE title;
  SKINIMAGEDEF splashImage;
  int splashPosition[2];
  int splashSize[2];
  double splashFramesPerSecond;
  int splashStopAtFirstFrame;
  int splashOrientation;  // 1 vertical strip, 0 horizontal
  int maximumSize[2];     // -1, -1 unset
  int maximumPosition[2];
  int minimumTrackingSize[2];
  int maximumTrackingSize[2];
  SKINFRAME frame;
  SKINIMAGEDEF imageList;
  SKINIMAGEDEF brandImage;
  SKINIMAGEDEF image;
  SKINIMAGEDEF overlay;
  SKINLABEL label;
  SKINELEMENT elements[kSkinElementCount];
  int elementCount;
  SKINCOLORENTRY colours[kSkinElementCount * kSkinStateCount];  // element * 3 + state
  SKINSTATESET defaultStateSet;
  SKINSTATESET focusStateSet;
  SKINSTATESET disabledStateSet;
  SKINSTATESET customStateSet;
  ZEQBuffer customStateSetName;
  int stateFlags;
  int hotElement;      // -1
  int pressedElement;  // -1

  // Template class fields (skins declared by template files).
  uintptr_t ownerWord;      // the context of the read that declared the class
  SKINHolder parentClass;   // may be empty
  SKINHolder secondBase;    // may be empty
  int isPublic;
  int fromTemplate;
  // The template file's normalised path, kept beside the definitions.
  char definitionsPath[kSkinPathMax + 1];
  // Frees the definitions list with the skin (set by whoever attaches one).
  void (*deleteDefinitions)(DefinitionsList* list);
};

// A new skin with the defaults in a new holder; throws ZEQOutOfMemory when
// memory is exhausted.
SKINHolder SKINNewSkin();
// True when the holder is empty or its skin has no definitions list.
bool SKINIsBlank(const SKINHolder& skin);
// Empties a state set's tables: nothing listed, no flags or paddings,
// positions unset, text and tip elements -1, not defined.
void SKINStateSetInit(SKINSTATESET* set);
// Empties an element's geometry: every number of the mesh 0, its scan text
// and state formats freed.
int SKINResetLayer(SKINMESH* geometry);
// Copies a label (text definition) into another: texts duplicated, numbers
// and the area block copied.
void SKINCopyDefinitionRecord(SKINLABEL* destination, const SKINLABEL* source);
