// The vtable slot of a virtual member function, for the tests that pin an interface the host
// calls by position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Itanium ABI: a pointer to a virtual member holds 1 + the slot's byte offset.
template <typename M>
long SlotOf(M member) {
  struct {
    uintptr_t ptr;
    ptrdiff_t adj;
  } rep;
  static_assert(sizeof member == sizeof rep);
  memcpy(&rep, &member, sizeof rep);
  return static_cast<long>((rep.ptr - 1) / sizeof(void*));
}
