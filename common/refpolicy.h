// CRefPolicy<T>: how the reference-holding containers (CRefArray, CRefHashTable and their
// relatives) take and drop one reference on an object of kind T. The containers skip nulls.
// - CQXUnknown objects: atomic increment, and their virtual dwRelease;
// - CInterf objects, and any kind with AddRef() and nRelease() of its own: those two.
// Another kind of object (an external count, a host interface) specialises CRefPolicy.
#pragma once

#include <type_traits>

#include "platform/qxunknown.h"

template <typename T>
struct CRefPolicy {
  static void AddRef(T* p) { p->AddRef(); }
  static void Release(T* p) {
    if constexpr (std::is_base_of_v<CQXUnknown, T>)
      p->dwRelease();
    else
      p->nRelease();
  }
};
