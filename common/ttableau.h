// CTTableau<T> and CTTableauPtr<T>: typed views of CTableauDeBuffer. Elements are still copied
// as raw bytes, so T has to be trivially copyable; destroying the array frees only its block
// (for CTTableauPtr<T>, never the objects pointed to).
#pragma once

#include <type_traits>

#include "common/tableaudebuffer.h"

template <typename T>
class CTTableau : public CTableauDeBuffer {
  static_assert(std::is_trivially_copyable_v<T>, "array elements are moved as raw bytes");

 public:
  explicit CTTableau(int growStep = 1, int compactThreshold = 30)
      : CTableauDeBuffer(static_cast<int>(sizeof(T)), growStep, compactThreshold) {}

  using CTableauDeBuffer::Initialise;
  virtual void Initialise(const T& value, int n) { CTableauDeBuffer::Initialise(&value, n); }

  // Each answers the element written, or null when no room could be made.
  // With room left, the element's own size is copied in line.
  T* Ajoute(const T& value) {
    if (char* slot = _pAppendSlot()) {
      memcpy(slot, &value, sizeof(T));
      return reinterpret_cast<T*>(slot);
    }
    return static_cast<T*>(CTableauDeBuffer::Ajoute(&value));
  }
  T* Insere(const T& value, int i) { return static_cast<T*>(CTableauDeBuffer::Insere(&value, i)); }
  T* SetAt(const T& value, int i) { return static_cast<T*>(CTableauDeBuffer::SetAt(&value, i)); }
  T* Etend(int i, const T& value, const T& fill) {
    return static_cast<T*>(CTableauDeBuffer::Etend(i, &value, &fill));
  }
  void Duplique(const CTTableau& other) { _Duplique(other); }

  // No bounds check: 0 <= i < count.
  T& operator[](int i) { return *static_cast<T*>(pGetAt(i)); }
  const T& operator[](int i) const { return *static_cast<const T*>(pGetAt(i)); }
  T GetAt(int i) const { return (*this)[i]; }
  T* pGetElements() const { return static_cast<T*>(pGetData()); }
};

template <typename T>
class CTTableauPtr : public CTTableau<T*> {
 public:
  explicit CTTableauPtr(int growStep = 1, int compactThreshold = 30) : CTTableau<T*>(growStep, compactThreshold) {}
};
