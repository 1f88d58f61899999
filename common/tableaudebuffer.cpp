#include "common/tableaudebuffer.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// Stands for a source element; takes a copy of it when the element lies in a block that is
// about to move or be freed.
class CElementSource {
 public:
  CElementSource(const void* p, int size, bool bCopy) : m_p(p) {
    if (bCopy && p != nullptr) _Copy(size);
  }
  ~CElementSource() { free(m_heap); }
  CElementSource(const CElementSource&) = delete;
  CElementSource& operator=(const CElementSource&) = delete;

  bool bOk() const { return m_bOk; }
  const void* p() const { return m_p; }

 private:
  // Out of line: it is rare, and inlined where the element is a small local the optimiser would
  // see a read of a table's element size from it.
  __attribute__((noinline)) void _Copy(int size) {
    char* dst = m_small;
    if (size > static_cast<int>(sizeof(m_small))) dst = static_cast<char*>(m_heap = malloc(size));
    if (dst == nullptr) {
      m_bOk = false;
      return;
    }
    memcpy(dst, m_p, size);
    m_p = dst;
  }

 private:
  alignas(16) char m_small[256];
  void* m_heap = nullptr;
  const void* m_p;
  bool m_bOk = true;
};

inline size_t Bytes(int64_t n, int elementSize) {
  return static_cast<size_t>(n) * static_cast<size_t>(elementSize);
}

}  // namespace

CTableauDeBuffer::CTableauDeBuffer(int elementSize, int growStep, int compactThreshold)
    : m_nElementSize(elementSize > 0 ? elementSize : 1),
      m_nGrowStep(growStep),
      m_nCompactThreshold(compactThreshold) {}

CTableauDeBuffer::~CTableauDeBuffer() {
  free(m_pData);
  m_pData = nullptr;
  m_nCount = 0;
  m_nCapacity = 0;
}

bool CTableauDeBuffer::_bOwns(const void* p) const {
  const uintptr_t a = reinterpret_cast<uintptr_t>(p);
  const uintptr_t start = reinterpret_cast<uintptr_t>(m_pData);
  return m_pData != nullptr && a >= start && a < start + Bytes(m_nCapacity, m_nElementSize);
}

// Writes one element; a null source writes zeros.
static void Put(char* slot, const void* p, int size) {
  if (p != nullptr)
    memmove(slot, p, size);
  else
    memset(slot, 0, size);
}

void CTableauDeBuffer::Agrandir() {
  int64_t add = m_nGrowStep;
  if (add == 1 && m_nCapacity > 100 && m_nElementSize <= 256) add = 20;
  // A step below 1 would never make room, and every caller grows because it needs a slot.
  if (add < 1) add = 1;
  int64_t capacity = static_cast<int64_t>(m_nCapacity) + add;
  if (capacity > INT32_MAX) capacity = INT32_MAX;
  if (capacity <= m_nCapacity) return;
  const size_t bytes = Bytes(capacity, m_nElementSize);
  void* block = m_pData != nullptr ? realloc(m_pData, bytes) : malloc(bytes);
  if (block == nullptr) return;
  m_pData = static_cast<char*>(block);
  m_nCapacity = static_cast<int32_t>(capacity);
}

void CTableauDeBuffer::_AgrandirDe(int64_t n) {
  const int32_t saved = m_nGrowStep;
  m_nGrowStep = static_cast<int32_t>(n < 1 ? 1 : n > INT32_MAX ? INT32_MAX : n);
  Agrandir();
  m_nGrowStep = saved;
}

bool CTableauDeBuffer::_bMakeRoom() {
  if (m_nCount < m_nCapacity) return true;
  Agrandir();
  return m_nCount < m_nCapacity;
}

void CTableauDeBuffer::Initialise(const void* p, int n) {
  char* block = nullptr;
  if (n > 0) {
    block = static_cast<char*>(malloc(Bytes(n, m_nElementSize)));
    if (block != nullptr) {
      // p may lie in the old block, which is only freed afterwards.
      Put(block, p, m_nElementSize);
      const size_t total = Bytes(n, m_nElementSize);
      for (size_t done = m_nElementSize; done < total; done *= 2)
        memcpy(block + done, block, done <= total - done ? done : total - done);
    }
  }
  free(m_pData);
  m_pData = block;
  m_nCount = m_nCapacity = block != nullptr ? n : 0;
}

void CTableauDeBuffer::Compacter() {
  if (m_nCount == 0) {
    free(m_pData);
    m_pData = nullptr;
    m_nCapacity = 0;
    return;
  }
  if (m_nCapacity == m_nCount) return;
  void* block = realloc(m_pData, Bytes(m_nCount, m_nElementSize));
  if (block == nullptr) return;
  m_pData = static_cast<char*>(block);
  m_nCapacity = m_nCount;
}

void* CTableauDeBuffer::_pAjouteGrowing(const void* p) {
  CElementSource src(p, m_nElementSize, m_nCount == m_nCapacity && _bOwns(p));
  if (!src.bOk() || !_bMakeRoom()) return nullptr;
  char* slot = _pSlot(m_nCount);
  Put(slot, src.p(), m_nElementSize);
  ++m_nCount;
  return slot;
}

void* CTableauDeBuffer::Insere(const void* p, int i) {
  if (i < 0 || i > m_nCount) return nullptr;
  CElementSource src(p, m_nElementSize, _bOwns(p));
  if (!src.bOk() || !_bMakeRoom()) return nullptr;
  char* slot = _pSlot(i);
  memmove(slot + m_nElementSize, slot, Bytes(m_nCount - i, m_nElementSize));
  Put(slot, src.p(), m_nElementSize);
  ++m_nCount;
  return slot;
}

void* CTableauDeBuffer::SetAt(const void* p, int i) {
  char* slot = _pSlot(i);
  Put(slot, p, m_nElementSize);
  return slot;
}

void* CTableauDeBuffer::Etend(int i, const void* p, const void* pFill) {
  if (i < 0) return nullptr;
  if (i < m_nCount) return SetAt(p, i);
  if (i == m_nCount) return Ajoute(p);
  const bool bMoves = i >= m_nCapacity;
  CElementSource src(p, m_nElementSize, bMoves && _bOwns(p));
  CElementSource fill(pFill, m_nElementSize, bMoves && _bOwns(pFill));
  if (!src.bOk() || !fill.bOk()) return nullptr;
  if (bMoves) {
    const int step = m_nGrowStep > 0 ? m_nGrowStep : 1;
    _AgrandirDe(static_cast<int64_t>(i) + step - m_nCapacity);
    if (i >= m_nCapacity) return nullptr;
  }
  for (int k = m_nCount; k < i; ++k) Put(_pSlot(k), fill.p(), m_nElementSize);
  char* slot = _pSlot(i);
  Put(slot, src.p(), m_nElementSize);
  m_nCount = i + 1;
  return slot;
}

void CTableauDeBuffer::Supprime(int i, int n) {
  if (n <= 0 || i < 0 || i >= m_nCount) return;
  if (n > m_nCount - i) n = m_nCount - i;
  if (i + n < m_nCount) memmove(_pSlot(i), _pSlot(i + n), Bytes(m_nCount - i - n, m_nElementSize));
  m_nCount -= n;
}

void CTableauDeBuffer::SupprimeDernier(int n) {
  if (n <= 0) return;
  m_nCount = n < m_nCount ? m_nCount - n : 0;
}

void CTableauDeBuffer::SupprimeCompacte(int i) {
  Supprime(i, 1);
  if (m_nCapacity - m_nCount > m_nCompactThreshold) Compacter();
}

void CTableauDeBuffer::SupprimeToutEtLibere() {
  if (m_pData == nullptr) return;
  free(m_pData);
  m_pData = nullptr;
  m_nCount = 0;
  m_nCapacity = 0;
}

void CTableauDeBuffer::AlloueMemoire(int n) {
  if (n > m_nCapacity) _AgrandirDe(static_cast<int64_t>(n) - m_nCapacity);
}

void CTableauDeBuffer::AgranditMemoire(int n) {
  if (n < 1 || static_cast<int64_t>(m_nCount) + n <= m_nCapacity) return;
  const int64_t missing = static_cast<int64_t>(m_nCount) + n - m_nCapacity;
  const int64_t step = m_nGrowStep > 0 ? m_nGrowStep : 1;
  _AgrandirDe((missing + step - 1) / step * step);
}

int CTableauDeBuffer::nRechercheLineaireCriterePointeur(intptr_t key,
                                                       int (*criterion)(intptr_t, const void*)) const {
  if (m_nElementSize != static_cast<int>(sizeof(void*)) || criterion == nullptr) return -1;
  for (int i = 0; i < m_nCount; ++i) {
    const void* element;
    memcpy(&element, _pSlot(i), sizeof element);
    if (criterion(key, element) == 0) return i;
  }
  return -1;
}

void* CTableauDeBuffer::pRechercheLineaireCriterePointeur(intptr_t key,
                                                         int (*criterion)(intptr_t, const void*)) const {
  const int i = nRechercheLineaireCriterePointeur(key, criterion);
  if (i < 0) return nullptr;
  void* element;
  memcpy(&element, _pSlot(i), sizeof element);
  return element;
}

void CTableauDeBuffer::Deplace(int from, int to) {
  if (from == to || from < 0 || to < 0 || from >= m_nCount || to >= m_nCount) return;
  CElementSource moved(_pSlot(from), m_nElementSize, true);
  if (!moved.bOk()) return;
  if (from > to)
    memmove(_pSlot(to + 1), _pSlot(to), Bytes(from - to, m_nElementSize));
  else
    memmove(_pSlot(from), _pSlot(from + 1), Bytes(to - from, m_nElementSize));
  memcpy(_pSlot(to), moved.p(), m_nElementSize);
}

void CTableauDeBuffer::Swap(int i, int j) {
  if (i == j || i < 0 || j < 0 || i >= m_nCount || j >= m_nCount) return;
  CElementSource first(_pSlot(i), m_nElementSize, true);
  if (!first.bOk()) return;
  memcpy(_pSlot(i), _pSlot(j), m_nElementSize);
  memcpy(_pSlot(j), first.p(), m_nElementSize);
}

void CTableauDeBuffer::PermuteMultiple(int n, const _STBlocATrier* blocks, unsigned int blockCount) {
  if (m_nCount == 0) return;
  char* block = static_cast<char*>(malloc(Bytes(m_nCapacity, m_nElementSize)));
  if (block == nullptr) return;
  int total = n < 0 ? 0 : n > m_nCount ? m_nCount : n;
  memcpy(block, m_pData, Bytes(total, m_nElementSize));
  for (unsigned int b = 0; blocks != nullptr && b < blockCount && total < m_nCount; ++b) {
    int64_t first = blocks[b].nIndice, number = blocks[b].nNombre;
    if (first < 0) {
      number += first;
      first = 0;
    }
    if (number > m_nCount - first) number = m_nCount - first;
    if (number > m_nCount - total) number = m_nCount - total;
    if (number <= 0) continue;
    memcpy(block + Bytes(total, m_nElementSize), _pSlot(static_cast<int>(first)), Bytes(number, m_nElementSize));
    total += static_cast<int>(number);
  }
  memcpy(block + Bytes(total, m_nElementSize), _pSlot(total), Bytes(m_nCount - total, m_nElementSize));
  free(m_pData);
  m_pData = block;
}

void CTableauDeBuffer::_Duplique(const CTableauDeBuffer& other) {
  if (&other == this) return;
  SupprimeToutEtLibere();
  if (other.m_nElementSize != m_nElementSize || other.m_nCount == 0) return;
  AlloueMemoire(other.m_nCount);
  if (m_nCapacity < other.m_nCount) return;
  memcpy(m_pData, other.m_pData, Bytes(other.m_nCount, m_nElementSize));
  m_nCount = other.m_nCount;
}

void CTableauDeBuffer::Recupere(CTableauDeBuffer& other) { _RecupereDonnees(&other); }

void CTableauDeBuffer::_RecupereDonnees(CTableauDeBuffer* other) {
  if (other == nullptr || other == this || other->m_nElementSize != m_nElementSize) return;
  free(m_pData);
  m_pData = other->m_pData;
  m_nCount = other->m_nCount;
  m_nCapacity = other->m_nCapacity;
  other->m_pData = nullptr;
  other->m_nCount = 0;
  other->m_nCapacity = 0;
}

void CTableauDeBuffer::EchangeTableau(CTableauDeBuffer* a, CTableauDeBuffer* b) {
  if (a == nullptr || b == nullptr || a == b) return;
  std::swap(a->m_nElementSize, b->m_nElementSize);
  std::swap(a->m_nCount, b->m_nCount);
  std::swap(a->m_nCapacity, b->m_nCapacity);
  std::swap(a->m_nGrowStep, b->m_nGrowStep);
  std::swap(a->m_nCompactThreshold, b->m_nCompactThreshold);
  std::swap(a->m_pData, b->m_pData);
}
