// The glyph store and its atlas: the records of every glyph text has asked for, kept for the life of
// the process, and their packing into one 4096-texel-wide coverage bitmap. Owns the store's growth
// (every reference stays valid), the height-sorted packing order, the repack at upload and the
// bitmap writes. An upload places only the glyphs added since the last one, on the skyline as it
// stands, and writes only them; every glyph is laid out afresh only when one of the new glyphs finds
// no room that way. Does not rasterise (fonts.cpp), look glyphs up (glyphcache.cpp) or talk to GL
// (atlas.cpp). Pure; checks report the "fonts" module.
//
// Out of atlas height: a repack that cannot place every glyph afresh keeps the layout already on
// the GPU and places only the glyphs added since on top of it. A glyph that still finds no room is
// refused for good: its rectangle becomes empty (its quads draw nothing), no texel of another glyph
// changes, and one error line says so, once.
#pragma once
#include <cstdint>

#include "text/core/quad.h"
#include "text/core/skyline.h"

namespace tsm::text {
// Records the store holds at first; it doubles when full.
constexpr uint32_t GLYPH_START_CAPACITY = 512;
// Most glyph records the store ever holds.
constexpr uint32_t MAX_GLYPHS = 65536;
// Most code keys the code map takes before further new keys answer the first record.
constexpr uint32_t MAX_CODES = 65536;

// One cached glyph. The rectangle is (0, 0, bitmap width, rows) until first packed, its place in the
// atlas after, and empty once refused for want of atlas height.
struct Glyph : GlyphMetrics {
  uint32_t glyphIndex;  // the rendering face's glyph index
  uint32_t slot;        // position in GlyphSet::glyphs
  uint32_t key;         // the code key it was first loaded for
  uint8_t* bitmap;      // bitmapWidth x bitmapRows coverage bytes, top row first; null when empty
  int32_t bitmapWidth;
  int32_t bitmapRows;
  bool refused;  // no atlas room: never packed again
  bool placed;   // has its rectangle in the atlas layout
};

// One entry of the stb_ds maps from a 32-bit key to a glyph's slot. Slots, not addresses, so that
// growth of the store leaves the maps untouched.
struct GlyphMapEntry {
  uint32_t key;
  uint32_t value;
};

// The process's glyph cache. The skyline part (landscape, width, toHeight, maxHeight, rowStart,
// cursor) is the packing of the glyphs written into the atlas so far. Every layout keeps to its
// width and maxHeight (ATLAS_WIDTH and ATLAS_MAX_HEIGHT; tests set smaller ones after init).
struct GlyphSet : Skyline {
  Glyph* glyphs;              // glyphCapacity records, the first glyphCount in use
  Glyph** sortedGlyphs;       // glyphCapacity references into glyphs, in packing order
  GlyphMapEntry* codeMap;     // code key -> slot (stb_ds hash map)
  GlyphMapEntry* indexMap;    // glyph key -> slot (stb_ds hash map)
  uint32_t glyphCapacity;
  uint32_t maxGlyphs;
  uint32_t glyphCount;
  uint32_t maxCodes;
  uint32_t packed;            // glyphs (by slot) placed and written since the last fresh layout
  uint32_t atlasHeight;       // rows allocated in atlas
  uint32_t dirtyTop;          // rows [dirtyTop, dirtyBottom) of atlas changed by the last write
  uint32_t dirtyBottom;
  uint8_t* atlas;             // width x atlasHeight coverage bytes; null until the first upload
  bool dirty;                 // a record was added since the last upload
  bool storeFullLogged;
  bool atlasFullLogged;
  PackedRect* trialRects;     // glyphCapacity rectangles of the fresh layout tried at each upload
  Skyline trial;              // that layout's skyline
};

// Allocates the store (GLYPH_START_CAPACITY records) and sets every field: maps empty, atlas absent,
// a free skyline of ATLAS_START_HEIGHT rows, dirty.
void initGlyphStore(GlyphSet* gs);
// The record the next glyph goes into, growing the store when full; null (and "Error: Out of glyph
// structure memory!" logged the first time) when it holds maxGlyphs records.
Glyph* nextGlyphRecord(GlyphSet* gs);
// Takes the record nextGlyphRecord answered into the store: its slot, packing order, dirty.
void commitGlyphRecord(GlyphSet* gs, Glyph* g);
// Taller glyphs first: (b height) - (a height).
int compareGlyphHeight(const Glyph* a, const Glyph* b);
// Sorts sortedGlyphs tallest first and logs "Not sorted!\n" for each out-of-order neighbour.
void sortGlyphs(GlyphSet* gs);
// Lays every glyph out afresh, tallest first, when all of them fit; otherwise keeps the layout and
// places the glyphs not yet placed on top of it (see the file comment). Expects sortGlyphs first.
// Answers how many were refused by this call.
uint32_t packGlyphs(GlyphSet* gs);
// Places the glyphs added since the last write (slots from `packed` on), tallest first, on the
// skyline as it stands. False as soon as one finds no room (those before it stay placed).
bool placeNewGlyphs(GlyphSet* gs);
// Brings the atlas bitmap to toHeight rows and writes the glyphs placed since `packed`; sets the
// dirty rows (all of them when the bitmap was reallocated).
void writeAtlas(GlyphSet* gs);
// The CPU side of an upload: the new glyphs placed and written; a fresh layout of every glyph (sort,
// self-check, pack, write) only when one of them finds no room. The atlas then holds every glyph.
void growAtlas(GlyphSet* gs);
// The CPU side of a full upload: sort, self-check, fresh layout, write every glyph.
void repackAtlas(GlyphSet* gs);
// Releases everything the store allocated (tests only: the process's store lives until exit).
void freeGlyphStore(GlyphSet* gs);
}  // namespace tsm::text
