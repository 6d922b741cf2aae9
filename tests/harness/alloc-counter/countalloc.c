// Allocation counter (LD_PRELOAD): every allocation is counted against the object that called it
// (the addon, node, any other library), found from the return address through the loader. The
// counts are four little-endian 64-bit numbers (addon, node, libraries, unattributed) in the file
// named by TSM_ALLOC_COUNTS, mapped shared so that a host reads them with a plain file read.
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

enum { ADDON, NODE, LIBRARIES, UNKNOWN, OWNER_CACHE = 64 };
static volatile uint64_t* counts;
static __thread int inside;
// Owner of each object seen so far: the loader's records never move, so their addresses key it.
static const void* cachedMaps[OWNER_CACHE];
static int cachedOwners[OWNER_CACHE];

// The object holding `caller`, by the loader's lock-free lookup (dladdr searches symbol tables, far
// too slow for every allocation of a node process); the main executable has no name of its own.
static int ownerOf(const void* caller) {
  struct dl_find_object found;
  if (_dl_find_object((void*)caller, &found) != 0 || !found.dlfo_link_map) return UNKNOWN;
  const void* map = found.dlfo_link_map;
  const unsigned slot = (unsigned)(((uintptr_t)map >> 4) % OWNER_CACHE);
  if (cachedMaps[slot] == map) return cachedOwners[slot];
  const char* name = found.dlfo_link_map->l_name;
  const char* base = name && strrchr(name, '/') ? strrchr(name, '/') + 1 : name;
  cachedOwners[slot] = !base || !*base || !strcmp(base, "node") ? NODE : strstr(base, "tessimarke.node") ? ADDON : LIBRARIES;
  cachedMaps[slot] = map;
  return cachedOwners[slot];
}

static void count(const void* caller) {
  if (!counts || inside) return;
  inside = 1;
  __atomic_fetch_add(&counts[ownerOf(caller)], 1, __ATOMIC_RELAXED);
  inside = 0;
}

__attribute__((constructor)) static void openCounts(void) {
  const char* path = getenv("TSM_ALLOC_COUNTS");
  const int fd = path ? open(path, O_RDWR | O_CREAT | O_TRUNC, 0600) : -1;
  if (fd < 0) return;
  void* p = ftruncate(fd, 32) == 0 ? mmap(NULL, 32, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
  close(fd);
  if (p != MAP_FAILED) counts = (volatile uint64_t*)p;
}

// Each entry point counts against its caller, then lets glibc allocate. operator new and new[]
// (_Znwm, _Znam) are counted here rather than against the C++ runtime that would call malloc.
#define COUNTED(signature, call) \
  signature {                    \
    count(__builtin_return_address(0)); \
    return call;                 \
  }
COUNTED(void* malloc(size_t n), __libc_malloc(n))
COUNTED(void* calloc(size_t k, size_t n), __libc_calloc(k, n))
COUNTED(void* realloc(void* p, size_t n), __libc_realloc(p, n))
COUNTED(void* aligned_alloc(size_t align, size_t n), __libc_memalign(align, n))
COUNTED(void* memalign(size_t align, size_t n), __libc_memalign(align, n))
COUNTED(int posix_memalign(void** out, size_t align, size_t n), (*out = __libc_memalign(align, n)) ? 0 : 12)

static void* orAbort(void* p) { return p ? p : (abort(), NULL); }
COUNTED(void* _Znwm(size_t n), orAbort(__libc_malloc(n ? n : 1)))
COUNTED(void* _Znam(size_t n), orAbort(__libc_malloc(n ? n : 1)))
