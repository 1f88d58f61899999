// CRefArray<T>: an array of pointers to reference-counted objects, holding one reference on
// each non-null element (taken and dropped through CRefPolicy<T>). Holders take the reference
// with _AddRef when they store an element and drop it with _Release when they remove one;
// AjouteRef and SupprimeRef do both steps. SupprimeTout and the destructor release every
// element, from the last to the first.
// CNARefArray<T>: a CRefArray<T> that is itself reference counted (CQXUnknown): the release
// that brings its count to 0 deletes it, which releases its elements.
#pragma once

#include "common/refpolicy.h"
#include "common/ttableau.h"
#include "platform/qxunknown.h"

template <typename T>
class CRefArray : public CTTableauPtr<T> {
 public:
  explicit CRefArray(int growStep = 1, int compactThreshold = 30) : CTTableauPtr<T>(growStep, compactThreshold) {}
  ~CRefArray() override { SupprimeTout(); }

  void _AddRef(T* p) const {
    if (p != nullptr) CRefPolicy<T>::AddRef(p);
  }
  void _Release(T* p) const {
    if (p != nullptr) CRefPolicy<T>::Release(p);
  }

  // Appends p with a reference taken; null (and no reference kept) when no room could be made.
  T** AjouteRef(T* p) {
    T** slot = this->Ajoute(p);
    if (slot != nullptr) _AddRef(p);
    return slot;
  }
  // Removes n elements from i, releasing each.
  void SupprimeRef(int i, int n = 1) {
    if (i < 0 || n <= 0 || i >= this->nGetCount()) return;
    if (n > this->nGetCount() - i) n = this->nGetCount() - i;
    for (int k = i + n - 1; k >= i; --k) {
      // The slot goes first: the release may delete an object that looks at this array.
      T* p = (*this)[k];
      this->Supprime(k, 1);
      _Release(p);
    }
  }
  void SupprimeTout() {
    for (int k = this->nGetCount() - 1; k >= 0; k = this->nGetCount() - 1) SupprimeRef(k);
  }
};

template <typename T>
class CNARefArray : public CRefArray<T>, public CQXUnknown {
 public:
  explicit CNARefArray(int growStep = 1, int compactThreshold = 30) : CRefArray<T>(growStep, compactThreshold) {}
};
