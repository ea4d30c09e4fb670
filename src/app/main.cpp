#include <malloc.h>

#include "app/Vendrake.h"

int main(int argc, char** argv) {
  // A fixed threshold keeps large blocks (table blocks, bucket arrays, row
  // lists) in mappings of their own that go back to the system when freed.
  // The default threshold rises with the first such free, after which freed
  // blocks stay resident as holes in the heap: a third more peak memory.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  return vendrake::Run(argc, argv, VENDRAKE_VERSION);
}
