// Heap wrappers the other modules use instead of calling malloc, realloc and free directly.
#pragma once

// Frees p when it is not null.
void XMALLOC_Del_(void* p);
// realloc(p, size), or malloc(size) for a null p; null on failure, p then left as it was. A size
// of 0 keeps a one-byte block, since realloc to 0 bytes would free p behind the caller's back.
void* XMALLOC_pResize_(void* p, unsigned int size);
