/* Checks that the guard-page allocator is in force: allocates TESSIMARKE_GUARD_BYTES bytes, writes all of them (must
 * survive), then one byte past the end (must crash with SIGSEGV). */
#include <stdio.h>
#include <stdlib.h>

int main(void) {
  const size_t bytes = getenv("TESSIMARKE_GUARD_BYTES") ? strtoul(getenv("TESSIMARKE_GUARD_BYTES"), NULL, 10) : 0;
  volatile unsigned char *block = calloc(bytes, 1);
  if (!block) return 2;
  for (size_t i = 0; i < bytes; ++i) block[i] = 0xAB;
  printf("inside ok\n"), fflush(stdout);
  block[bytes] = 0xAB;
  return 1; /* not caught */
}
