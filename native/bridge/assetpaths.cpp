// Asset lookup. See assetpaths.h. The package root is found from the addon file's own path
// (dladdr on a function of this file), plus the path from the addon's directory to the package
// root that the build recorded (".." for build/ or any other build directory inside the package).
#include "bridge/assetpaths.h"

#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef TESSIMARKE_ROOT_FROM_ADDON
#define TESSIMARKE_ROOT_FROM_ADDON ".."
#endif

namespace tsm::bridge {
namespace {
// The package root, resolved once; empty when it cannot be found or is the working directory.
char packageRoot[PATH_MAX] = {};
bool rootResolved = false;

void resolvePackageRoot() {
  rootResolved = true;
  Dl_info info = {};
  if (!dladdr(reinterpret_cast<void*>(&resolvePackageRoot), &info) || !info.dli_fname) return;
  const char* slash = std::strrchr(info.dli_fname, '/');
  if (!slash) return;
  char joined[ASSET_PATH_CAPACITY];
  const int n = std::snprintf(joined, sizeof joined, "%.*s/%s", static_cast<int>(slash - info.dli_fname),
                              info.dli_fname, TESSIMARKE_ROOT_FROM_ADDON);
  if (n < 0 || static_cast<size_t>(n) >= sizeof joined) return;
  char root[PATH_MAX];
  char cwd[PATH_MAX];
  if (!realpath(joined, root)) return;
  // Run from the package root itself, the working-directory candidate is already this place.
  if (realpath(".", cwd) && std::strcmp(cwd, root) == 0) return;
  std::memcpy(packageRoot, root, sizeof root);
}

bool readableFile(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISREG(st.st_mode) && access(path, R_OK) == 0;
}
}  // namespace

const char* findAsset(const char* relative, AssetCandidates* out) {
  if (!rootResolved) resolvePackageRoot();
  out->count = 0;
  std::snprintf(out->paths[out->count++], ASSET_PATH_CAPACITY, "%s", relative);
  if (packageRoot[0]) {
    const int n = std::snprintf(out->paths[out->count], ASSET_PATH_CAPACITY, "%s/%s", packageRoot, relative);
    if (n > 0 && static_cast<size_t>(n) < ASSET_PATH_CAPACITY) ++out->count;
  }
  for (uint32_t i = 0; i < out->count; ++i) {
    if (readableFile(out->paths[i])) return out->paths[i];
  }
  return out->paths[0];
}
}  // namespace tsm::bridge
