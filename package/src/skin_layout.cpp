// Layout keywords of skins.
#include <cstring>

#include "package/skin_values.h"

namespace {

struct LayoutWord {
  const char* word;
  uint32_t code;
};

constexpr LayoutWord kLayoutWords[] = {
    {"hidden", 0xFFFFFFFF},      {"vertical", 0x80100000},    {"horizontal", 0x80200000},
    {"tiled", 0x80300000},       {"stretched", 0x80500000},   {"left", 0x80A00000},
    {"leftright", 0x80600000},   {"lefttop", 0x80700000},     {"leftbottom", 0x80800000},
    {"leftcenter", 0x80900000},  {"top", 0x81400000},         {"topleft", 0x81000000},
    {"topright", 0x81100000},    {"topbottom", 0x81200000},   {"topcenter", 0x81300000},
    {"centerleft", 0x81A00000},  {"centerright", 0x81B00000}, {"centertop", 0x81C00000},
    {"center", 0x81E00000},      {"centerbottom", 0x81D00000}, {"right", 0x80F00000},
    {"rightleft", 0x80B00000},   {"righttop", 0x80C00000},    {"rightcenter", 0x80E00000},
    {"rightbottom", 0x80D00000}, {"bottom", 0x81900000},      {"bottomleft", 0x81500000},
    {"bottomtop", 0x81700000},   {"bottomright", 0x81600000}, {"bottomcenter", 0x81800000},
};

}  // namespace

uint32_t SKINParseLayout(const char* keyword) {
  if (!keyword) return 0;
  for (const auto& entry : kLayoutWords)
    if (strcmp(keyword, entry.word) == 0) return entry.code;
  return 0;
}
