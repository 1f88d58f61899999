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

// CHeldRef<T>: one reference on an object for a scope, dropped through CRefPolicy<T> on every
// exit (nothing for null). It adopts the reference it is given; Take adds one first, for an
// object nobody holds yet.
template <typename T>
class CHeldRef {
 public:
  explicit CHeldRef(T* p) : m_p(p) {}
  static CHeldRef Take(T* p) {
    if (p != nullptr) CRefPolicy<T>::AddRef(p);
    return CHeldRef(p);
  }
  [[gnu::always_inline]] ~CHeldRef() {
    if (m_p != nullptr) CRefPolicy<T>::Release(m_p);
  }
  CHeldRef(const CHeldRef&) = delete;
  CHeldRef& operator=(const CHeldRef&) = delete;
  T* get() const { return m_p; }
  T* operator->() const { return m_p; }

 private:
  T* m_p;
};
