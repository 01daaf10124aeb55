// Readers that fill a skin record (windows/skin_record.h) from the
// definitions of a template class. Every key is read from the skin's own
// definitions under the section "#class": the key written as title.font under
// a class is looked up as "#class" and "title.font". A block such as title
// exists when its section entry exists; a missing block or key leaves its
// fields as they were, except where a reader says it clears them. The
// readers never fail. Pure logic.
#pragma once
#include "windows/skin_record.h"

// The state set "stateset.<name>": the layers it lists in definition order
// with their flags (1 shown, 2 hidden, 4 hit-tested, 8 no mouse-down, 0x10
// no click, 0x20 overdraw, 0x40 not hit-tested), paddings and positions, its
// text and tip layers, image and label. A set without entries is left as it
// was. 0 when the skin has no definitions, else 1.
int SKINReadStateSet(ZEQBASESKIN* skin, const char* name, SKINSTATESET* set);
// The element layers, then the window keys (title, splash, menu, extents,
// cursors, frame, images, label); 1.
int SKINReadWindowDefinition(ZEQBASESKIN* skin);
// The layers layer1 ... layer15 up to the first gap, then the state sets
// default, focus, disabled and the custom one; 1.
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
