// Readers of the nested blocks of a skin: images, effects, meshes, fonts,
// areas, texts and rectangles.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "package/skin_readers.h"
#include "skin_key_reading.h"

using skinkeys::KeyReader;

int SKINReadImageEffect(ZEQBASESKIN* skin, const char* name, SKINEFFECT* effect) {
  KeyReader keys(skin);
  const std::string n = name;
  if (!keys.Exists(n)) return 0;
  // The first kind named wins.
  static const struct {
    const char* word;
    int kind;
  } kKinds[] = {{"acb", kSkinEffectAcb}, {"gcb", kSkinEffectGcb}, {"mcb", kSkinEffectMcb}, {"dlb", kSkinEffectDlb}};
  for (const auto& kind : kKinds) {
    if (keys.HasWord(n + ".type", kind.word)) {
      effect->flags = kind.kind;
      break;
    }
  }
  if (effect->flags == kSkinEffectAcb) keys.Alpha(n + ".acb.alpha", &effect->firstValue);
  if (effect->flags == kSkinEffectMcb || effect->flags == kSkinEffectDlb) {
    const std::string prefix = n + (effect->flags == kSkinEffectMcb ? ".mcb" : ".dlb");
    keys.Colour(prefix + ".color.fore", &effect->firstValue, 1);
    keys.Colour(prefix + ".color.back", &effect->secondValue, 1);
  }
  keys.Rect(n + ".area", effect->area);
  return 1;
}

int SKINReadMesh(ZEQBASESKIN* skin, const char* name, SKINMESH* mesh) {
  KeyReader keys(skin);
  const std::string n = name;
  if (!keys.Exists(n)) return 0;
  keys.Quad(n + ".horizontal", mesh->horizontal);
  keys.Quad(n + ".vertical", mesh->vertical);
  keys.Text(n + ".scan", &mesh->scan);
  keys.Colour(n + ".color.default", &mesh->stateColours[0].fore, 0);
  keys.Colour(n + ".color.over", &mesh->stateColours[1].fore, 0);
  keys.Colour(n + ".color.down", &mesh->stateColours[2].fore, 0);
  return 1;
}

int SKINReadImageDefinition(ZEQBASESKIN* skin, const char* name, SKINIMAGEDEF* image) {
  KeyReader keys(skin);
  const std::string n = name;
  if (!keys.Exists(n)) return 0;
  keys.Text(n + ".file", &image->file);
  SKINReadImageEffect(skin, (n + ".effect").c_str(), &image->effect);
  keys.Int(n + ".offset.left", &image->offsetLeft);
  keys.Int(n + ".offset.top", &image->offsetTop);
  keys.Int(n + ".width", &image->width);
  keys.Int(n + ".height", &image->height);
  keys.Int(n + ".index", &image->index);
  keys.Rect(n + ".area", image->area);
  keys.Text(n + ".mask.file", &image->maskFile);
  SKINReadMesh(skin, (n + ".mask.vertex").c_str(), &image->maskVertex);
  keys.Rect(n + ".mask.position", image->maskPosition);
  keys.Layout(n + ".alignment", &image->alignment);
  // An explicit position replaces the alignment.
  if (keys.Pair(n + ".position", image->position)) image->alignment = 0;
  if (keys.HasWord(n + ".property", "staterelative")) image->stateRelative = 1;
  return 1;
}

int SKINReadFontDefinition(ZEQBASESKIN* skin, const char* name, SKINFONTDEF* font) {
  KeyReader keys(skin);
  const std::string n = name;
  if (!keys.Exists(n)) return 0;
  keys.Text(n + ".face", &font->face);
  const char* height = keys.Value(n + ".height");
  const char* weight = keys.Value(n + ".weight");
  font->height = height ? atoi(height) : 0;
  font->weight = weight ? atoi(weight) : 0;
  font->alignment = 0;
  keys.Layout(n + ".alignment", &font->alignment);
  return 1;
}

int SKINReadAreaBlock(ZEQBASESKIN* skin, const char* name, SKINAREA* block) {
  KeyReader keys(skin);
  const std::string n = name;
  if (!keys.Exists(n)) return 0;
  keys.Rect(n + ".area", block->area);
  block->hasFont = keys.Exists(n + ".font");
  if (block->hasFont) SKINReadFontDefinition(skin, (n + ".font").c_str(), &block->font);
  block->hasImage = keys.Exists(n + ".image");
  if (block->hasImage) SKINReadImageDefinition(skin, (n + ".image").c_str(), &block->image);
  return 1;
}

int SKINReadTextDefinition(const char* name, ZEQBASESKIN* skin, SKINLABEL* label) {
  KeyReader keys(skin);
  const std::string n = name;
  label->defined = keys.Exists(n);
  if (!label->defined) return 1;
  label->text.Clear();
  keys.AnsiText(n + ".text", &label->text);
  label->hasArea = keys.Exists(n + ".area");
  if (label->hasArea) SKINReadAreaBlock(skin, (n + ".area").c_str(), &label->area);
  keys.Rect(n + ".padding", label->padding);
  label->hasColour = keys.Exists(n + ".color");
  keys.Colour(n + ".color", &label->colour, 1);
  return 1;
}

int SKINReadRectangles(const char* prefix, ZEQBASESKIN* skin, SKINELEMENT* element) {
  KeyReader keys(skin);
  for (int k = 1; k <= kSkinRectangleCount; ++k) {
    const std::string p = std::string(prefix) + std::to_string(k);
    if (!keys.Exists(p)) continue;
    SKINRECTITEM& item = element->rectangles[k - 1];
    item.defined = 1;
    item.relativeToClient = 0;
    keys.Bool(p + ".relative to client area", &item.relativeToClient);
    keys.Rect(p + ".area", item.area);
    keys.Int(p + ".line.width", &item.lineWidth);
    keys.Colour(p + ".color.line", &item.lineColour, 1);
    keys.Colour(p + ".color.fill", &item.fillColour, 1);
    keys.Rect(p + ".border", item.border);
  }
  return 1;
}
