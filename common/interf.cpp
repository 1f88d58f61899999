#include "common/interf.h"

CInterf::~CInterf() = default;

int CInterf::_NotToBeCalled() const { return 0; }

int CInterf::_nReleaseLast() {
  if (m_nRef == 0) return 0;
  const uint32_t left = --m_nRef;
  if (left == 0 && m_bStatic == 0) delete this;
  return static_cast<int>(left);
}
