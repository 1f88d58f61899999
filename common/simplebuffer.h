// CSimpleBuffer: an owned scratch block of raw bytes with an exact size (malloc/free).
// Resizing does not keep the content. When a block cannot be had the buffer is left empty
// (data null, size 0), so its size never claims bytes that do not exist.
#pragma once

#include <cstdint>

class CSimpleConstBufferBase {};
class CSimpleBufferBase : public CSimpleConstBufferBase {};

class CSimpleBuffer : public CSimpleBufferBase {
 public:
  CSimpleBuffer() = default;
  explicit CSimpleBuffer(unsigned int n);
  CSimpleBuffer(const void* p, unsigned int n);
  // A null other gives an empty buffer.
  explicit CSimpleBuffer(const CSimpleBuffer* other);
  CSimpleBuffer(const CSimpleBuffer& other);
  CSimpleBuffer& operator=(const CSimpleBuffer& other);
  virtual ~CSimpleBuffer();
  // A new block of exactly n bytes, content undefined; the same size keeps block and content.
  virtual void SetSize(unsigned int n);

  // Size n, then the n bytes of p (which may lie in this buffer's own block). A null p leaves
  // the content undefined.
  void CopyBuffer(const void* p, unsigned int n);

  void* pGetData() const { return m_pData; }
  unsigned int nGetSize() const { return m_nSize; }

 private:
  void* m_pData = nullptr;
  uint32_t m_nSize = 0;
};
