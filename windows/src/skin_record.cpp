#include "windows/skin_record.h"

#include <cstring>
#include <initializer_list>
#include <new>

#include "foundation/heap.h"
#include "foundation/text.h"

void SKINSetText(ZEQBuffer* field, const char* text) {
  field->Replace(text ? StrDupExtra(text, 0) : nullptr);
}

void SKINTakeText(ZEQBuffer* field, char* block) { field->Replace(block); }

void SKINStateSetInit(SKINSTATESET* set) {
  set->defined = 0;
  set->listedCount = 0;
  memset(set->elementFlags, 0, sizeof set->elementFlags);
  memset(set->elementPadding, 0, sizeof set->elementPadding);
  for (int i = 0; i < kSkinElementCount; ++i) {
    set->listedElements[i] = -1;
    set->elementPosition[i][0] = kSkinPositionUnset;
    set->elementPosition[i][1] = kSkinPositionUnset;
  }
  set->textElement = -1;
  set->tipElement = -1;
}

SKINHolder SKINNewSkin() {
  void* block = HeapAllocZ(sizeof(ZEQBASESKIN));
  auto* skin = new (block) ZEQBASESKIN();
  ZEQStampRecord(skin, kBaseSkinTag, ZEQSerialCounter(ZEQSerialKind::BaseSkin));
  skin->title.activeBack = skin->title.activeFore = 0xFFFFFFFF;
  skin->title.inactiveBack = skin->title.inactiveFore = 0xFFFFFFFF;
  for (int* pair : {skin->maximumSize, skin->maximumPosition, skin->minimumTrackingSize,
                    skin->maximumTrackingSize}) {
    pair[0] = pair[1] = -1;
  }
  for (SKINELEMENT& element : skin->elements) {
    element.enabled = 1;
    element.forcedState = -1;
    element.resizeSides = 15;
    element.resizeBorderSize = 4;
  }
  for (SKINSTATESET* set : {&skin->defaultStateSet, &skin->focusStateSet, &skin->disabledStateSet,
                            &skin->customStateSet}) {
    SKINStateSetInit(set);
  }
  // The default set is always defined and shows every element.
  skin->defaultStateSet.defined = 1;
  for (int& flags : skin->defaultStateSet.elementFlags) flags = 1;
  skin->hotElement = -1;
  skin->pressedElement = -1;
  SKINHolder holder;
  try {
    holder.AttachNewPayload(skin);
  } catch (...) {
    SKINDeleteSkin(skin);
    HeapFreeZ(block);
    throw;
  }
  return holder;
}

void SKINDeleteSkin(ZEQBASESKIN* skin) {
  if (!skin) return;
  if (skin->definitions && skin->deleteDefinitions) skin->deleteDefinitions(skin->definitions);
  skin->definitions = nullptr;
  ZEQRetireRecord(skin);
  skin->~ZEQBASESKIN();
}

bool SKINIsBlank(const SKINHolder& skin) { return !skin.IsSet() || !skin.Get()->definitions; }

int SKINResetLayer(SKINMESH* geometry) {
  memset(geometry->vertical, 0, sizeof geometry->vertical);
  memset(geometry->horizontal, 0, sizeof geometry->horizontal);
  geometry->scan.Clear();
  for (SKINCOLORENTRY& entry : geometry->stateColours) {
    entry.fore = entry.back = entry.line = entry.shadow = entry.separator = entry.disabled = 0;
    entry.format.Clear();
  }
  return 1;
}

namespace {

void CopyFont(SKINFONTDEF* destination, const SKINFONTDEF& source) {
  SKINSetText(&destination->face, source.face.data);
  destination->height = source.height;
  destination->weight = source.weight;
  destination->alignment = source.alignment;
}

void CopyMesh(SKINMESH* destination, const SKINMESH& source) {
  memcpy(destination->vertical, source.vertical, sizeof source.vertical);
  memcpy(destination->horizontal, source.horizontal, sizeof source.horizontal);
  SKINSetText(&destination->scan, source.scan.data);
  for (int s = 0; s < kSkinStateCount; ++s) {
    SKINCOLORENTRY& to = destination->stateColours[s];
    const SKINCOLORENTRY& from = source.stateColours[s];
    to.fore = from.fore;
    to.back = from.back;
    to.line = from.line;
    to.shadow = from.shadow;
    to.separator = from.separator;
    to.disabled = from.disabled;
    SKINSetText(&to.format, from.format.data);
  }
}

void CopyImage(SKINIMAGEDEF* destination, const SKINIMAGEDEF& source) {
  SKINSetText(&destination->file, source.file.data);
  destination->effect = source.effect;
  destination->offsetLeft = source.offsetLeft;
  destination->offsetTop = source.offsetTop;
  destination->height = source.height;
  destination->width = source.width;
  destination->index = source.index;
  destination->alignment = source.alignment;
  memcpy(destination->position, source.position, sizeof source.position);
  memcpy(destination->area, source.area, sizeof source.area);
  SKINSetText(&destination->maskFile, source.maskFile.data);
  CopyMesh(&destination->maskVertex, source.maskVertex);
  memcpy(destination->maskPosition, source.maskPosition, sizeof source.maskPosition);
  destination->stateRelative = source.stateRelative;
}

}  // namespace

void SKINCopyDefinitionRecord(SKINLABEL* destination, const SKINLABEL* source) {
  if (!destination || !source || destination == source) return;
  destination->defined = source->defined;
  SKINSetText(&destination->text, source->text.data);
  destination->hasColour = source->hasColour;
  destination->colour = source->colour;
  destination->hasArea = source->hasArea;
  memcpy(destination->area.area, source->area.area, sizeof source->area.area);
  destination->area.hasFont = source->area.hasFont;
  CopyFont(&destination->area.font, source->area.font);
  destination->area.hasImage = source->area.hasImage;
  CopyImage(&destination->area.image, source->area.image);
  memcpy(destination->padding, source->padding, sizeof source->padding);
}
