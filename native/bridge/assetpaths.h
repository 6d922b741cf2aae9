// Where the files the addon ships under app/ (fonts, icon) are found: relative to the working
// directory first, as a host run from the package root expects, then in the package the addon
// file itself belongs to, so that a host in any other folder gets them with no set-up. Called at
// module start-up by the fonts and the window; nothing here runs per frame.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tsm::bridge {
// Places one shipped file is looked for: the working directory, then the package.
constexpr uint32_t ASSET_PLACE_COUNT = 2;
// Bytes of one candidate path, terminator included; a longer package path is not tried.
constexpr size_t ASSET_PATH_CAPACITY = 4096;

struct AssetCandidates {
  char paths[ASSET_PLACE_COUNT][ASSET_PATH_CAPACITY];
  uint32_t count;  // candidates filled, in lookup order
};

// Fills `out` with the places `relative` (a path under the package root, "app/icons/icon.png")
// is looked for and returns the first that is a readable file; when none is, the first candidate
// (the path relative to the working directory), so that the caller's failure names it as before.
const char* findAsset(const char* relative, AssetCandidates* out);
}  // namespace tsm::bridge
