// Readers that fill a skin record (windows/skin_record.h) from the
// definitions of a template class. Every key is read from the skin's own
// definitions under the section "#class": the key written as title.font under
// a class is looked up as "#class" and "title.font". A block such as title
// exists when its section entry exists; a missing block or key leaves its
// fields as they were, except where a reader says it clears them. The
// readers never fail. Pure logic.
#pragma once
#include "windows/skin_record.h"

// The element layers, then the window keys (title, splash, menu, extents,
// cursors, frame, images, label); 1.
int SKINReadWindowDefinition(ZEQBASESKIN* skin);
// The layers layer1 ... layer15 up to the first gap; 1.
int SKINReadElementDefinitions(ZEQBASESKIN* skin);
// The keys under name (file, effect, offsets, size, index, area, mask,
// alignment, position, property); 1 when the section exists, else 0.
int SKINReadImageDefinition(ZEQBASESKIN* skin, const char* name, SKINIMAGEDEF* image);
// area, font and image of a block; 1 when the section exists.
int SKINReadAreaBlock(ZEQBASESKIN* skin, const char* name, SKINAREA* block);
// face, height, weight, alignment (absent numbers 0); 1 when it exists.
int SKINReadFontDefinition(ZEQBASESKIN* skin, const char* name, SKINFONTDEF* font);
// The label's defined flag is whether the section exists; 1.
int SKINReadTextDefinition(const char* name, ZEQBASESKIN* skin, SKINLABEL* label);
// The rectangles prefix1 ... prefix10 of an element; 1.
int SKINReadRectangles(const char* prefix, ZEQBASESKIN* skin, SKINELEMENT* element);
// type (acb, gcb, mcb, dlb), alpha or colours, area; 1 when it exists.
int SKINReadImageEffect(ZEQBASESKIN* skin, const char* name, SKINEFFECT* effect);
// horizontal and vertical lines, scan, state colours; 1 when it exists.
int SKINReadMesh(ZEQBASESKIN* skin, const char* name, SKINMESH* mesh);
