#include "common/simplebuffer.h"

#include <cstdlib>
#include <cstring>

CSimpleBuffer::CSimpleBuffer(unsigned int n) { SetSize(n); }

CSimpleBuffer::CSimpleBuffer(const void* p, unsigned int n) { CopyBuffer(p, n); }

CSimpleBuffer::CSimpleBuffer(const CSimpleBuffer* other) {
  if (other != nullptr) CopyBuffer(other->m_pData, other->m_nSize);
}

CSimpleBuffer::CSimpleBuffer(const CSimpleBuffer& other) : CSimpleBufferBase() {
  CopyBuffer(other.m_pData, other.m_nSize);
}

CSimpleBuffer& CSimpleBuffer::operator=(const CSimpleBuffer& other) {
  if (this != &other) CopyBuffer(other.m_pData, other.m_nSize);
  return *this;
}

CSimpleBuffer::~CSimpleBuffer() { free(m_pData); }

void CSimpleBuffer::SetSize(unsigned int n) {
  if (n == m_nSize) return;
  free(m_pData);
  m_pData = n != 0 ? malloc(n) : nullptr;
  m_nSize = m_pData != nullptr ? n : 0;
}

void CSimpleBuffer::CopyBuffer(const void* p, unsigned int n) {
  const char* self = static_cast<const char*>(m_pData);
  const char* src = static_cast<const char*>(p);
  if (src != nullptr && self != nullptr && src >= self && src < self + m_nSize) {
    if (n == m_nSize) {
      memmove(m_pData, p, n);
      return;
    }
    // The source lies in the block that SetSize would free: copy it out first.
    void* fresh = n != 0 ? malloc(n) : nullptr;
    if (fresh != nullptr) memcpy(fresh, p, n);
    free(m_pData);
    m_pData = fresh;
    m_nSize = fresh != nullptr ? n : 0;
    return;
  }
  SetSize(n);
  if (src != nullptr && m_nSize != 0) memcpy(m_pData, p, m_nSize);
}
