// Allocation counter for a test and the benchmarks, loaded with LD_PRELOAD: every malloc, calloc,
// realloc, aligned allocation and operator new is counted against the object that called it (the
// addon, the node executable, or any other library: Mesa, X11, SDL, the C++ runtime...), found
// from the return address through the loader (_dl_find_object). The counts live in a 32-byte file
// named by TSM_ALLOC_COUNTS, mapped shared, so that the host reads them with a plain file read:
// four little-endian 64-bit counts, addon, node, libraries, unattributed. Allocation itself is
// glibc's, unchanged. Never part of the product.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

extern void* __libc_malloc(size_t);
extern void* __libc_calloc(size_t, size_t);
extern void* __libc_realloc(void*, size_t);
extern void* __libc_memalign(size_t, size_t);

enum { ADDON = 0, NODE = 1, LIBRARIES = 2, UNKNOWN = 3 };

static volatile uint64_t* counts;
static __thread int inside;

// Owner of each object seen so far: the loader's records never move, so their addresses key it.
enum { OWNER_CACHE = 64 };
static const void* cachedMaps[OWNER_CACHE];
static int cachedOwners[OWNER_CACHE];

static int classify(const char* name) {
  if (!name || !*name) return NODE;  // the main executable has no name of its own here
  const char* slash = strrchr(name, '/');
  const char* base = slash ? slash + 1 : name;
  if (strstr(base, "tessimarke.node")) return ADDON;
  if (strcmp(base, "node") == 0) return NODE;
  return LIBRARIES;
}

// The object holding `caller`, through the loader's lock-free lookup (dladdr searches symbol tables,
// far too slow for every allocation of a node process).
static int ownerOf(const void* caller) {
  struct dl_find_object found;
  if (_dl_find_object((void*)caller, &found) != 0 || !found.dlfo_link_map) return UNKNOWN;
  const void* map = found.dlfo_link_map;
  const unsigned slot = (unsigned)(((uintptr_t)map >> 4) % OWNER_CACHE);
  if (cachedMaps[slot] == map) return cachedOwners[slot];
  const int owner = classify(found.dlfo_link_map->l_name);
  cachedOwners[slot] = owner;
  cachedMaps[slot] = map;
  return owner;
}

static void count(const void* caller) {
  if (!counts || inside) return;
  inside = 1;
  __atomic_fetch_add(&counts[ownerOf(caller)], 1, __ATOMIC_RELAXED);
  inside = 0;
}

__attribute__((constructor)) static void openCounts(void) {
  const char* path = getenv("TSM_ALLOC_COUNTS");
  if (!path) return;
  int fd = open(path, O_RDWR | O_CREAT | O_TRUNC, 0600);
  if (fd < 0 || ftruncate(fd, 32) != 0) return;
  void* p = mmap(NULL, 32, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  if (p != MAP_FAILED) counts = (volatile uint64_t*)p;
}

#define CALLER __builtin_return_address(0)

void* malloc(size_t n) {
  count(CALLER);
  return __libc_malloc(n);
}

void* calloc(size_t k, size_t n) {
  count(CALLER);
  return __libc_calloc(k, n);
}

void* realloc(void* p, size_t n) {
  count(CALLER);
  return __libc_realloc(p, n);
}

int posix_memalign(void** out, size_t align, size_t n) {
  count(CALLER);
  void* p = __libc_memalign(align, n);
  if (!p) return 12;
  *out = p;
  return 0;
}

void* aligned_alloc(size_t align, size_t n) {
  count(CALLER);
  return __libc_memalign(align, n);
}

void* memalign(size_t align, size_t n) {
  count(CALLER);
  return __libc_memalign(align, n);
}

// operator new and new[] (plain and nothrow): counted here against their caller, not against the
// C++ runtime that would otherwise call malloc for them.
void* _Znwm(size_t n) {
  count(CALLER);
  void* p = __libc_malloc(n ? n : 1);
  if (!p) abort();
  return p;
}

void* _Znam(size_t n) {
  count(CALLER);
  void* p = __libc_malloc(n ? n : 1);
  if (!p) abort();
  return p;
}
