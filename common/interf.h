// CInterf: root of the driver's shared internal objects, with an intrusive reference count.
// The count is a plain integer: every such object is only touched under the driver's one mutex.
// A new object has count 0; whoever stores the pointer first takes the first reference. The
// object deletes itself when a release brings the count to 0, unless its static flag is set
// (an object embedded in another one or in static storage, destroyed by its owner).
#pragma once

#include <cstdint>

class CInterf {
 public:
  CInterf() = default;
  // A copy is a new object: it starts with no reference and no static flag of its own.
  CInterf(const CInterf&) {}
  CInterf& operator=(const CInterf&) { return *this; }
  virtual ~CInterf();
  // Reserved slot kept by every derived class; answers 0.
  virtual int _NotToBeCalled() const;

  void AddRef() { ++m_nRef; }
  // Drops one reference and answers the count left. A release without a reference changes
  // nothing and answers 0; the release that reaches 0 deletes a non-static object.
  int nRelease() {
    // Most releases leave the object to other holders.
    if (m_nRef > 1) return static_cast<int>(--m_nRef);
    return _nReleaseLast();
  }

  unsigned int nGetRefCount() const { return m_nRef; }
  void SetStatic(bool bStatic) { m_bStatic = bStatic ? 1 : 0; }
  bool bIsStatic() const { return m_bStatic != 0; }

 private:
  // nRelease of a count of 0 or 1.
  int _nReleaseLast();

  uint32_t m_nRef = 0;
  int32_t m_bStatic = 0;
};
