#include "common/xmalloc.h"

#include <cstdlib>

void XMALLOC_Del_(void* p) {
  if (p != nullptr) free(p);
}

void* XMALLOC_pResize_(void* p, unsigned int size) {
  const size_t bytes = size == 0 ? 1 : size;
  return p != nullptr ? realloc(p, bytes) : malloc(bytes);
}
