#include "common/listedebuffer.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

void* (*CListeDeBuffer::ms_pfnAlloc)(size_t size) = malloc;

CListeDeBuffer::CListeDeBuffer(int elementSize) : m_nElementSize(static_cast<uint32_t>(elementSize)) {}

CListeDeBuffer::CListeDeBuffer(const CListeDeBuffer& source, enum eCURSOR)
    : m_pHead(source.m_pHead),
      m_pTail(source.m_pTail),
      m_pCurrent(source.m_pCurrent),
      m_nElementSize(source.m_nElementSize),
      m_nCount(source.m_nCount),
      m_nCurrent(source.m_nCurrent),
      m_bOwner(false) {}

CListeDeBuffer::~CListeDeBuffer() { SupprimeTout(); }

BOOL CListeDeBuffer::Ajoute(const void* p, int bBefore) {
  auto* node = static_cast<CLinkedElement*>(ms_pfnAlloc(sizeof(CLinkedElement) + m_nElementSize));
  if (node == nullptr) return FALSE;
  memcpy(node->pData(), p, m_nElementSize);
  __Attach(node, bBefore);
  return TRUE;
}

void CListeDeBuffer::__Attach(CLinkedElement* node, int bBefore) {
  node->pNext = node->pPrev = nullptr;
  if (m_nCount == 0) {
    m_pHead = m_pTail = node;
    m_nCurrent = 0;
  } else if (m_pCurrent == nullptr) {
    if (m_nCurrent >= m_nCount) {
      node->pPrev = m_pTail;
      m_pTail->pNext = node;
      m_pTail = node;
      m_nCurrent = m_nCount;
    } else {
      node->pNext = m_pHead;
      m_pHead->pPrev = node;
      m_pHead = node;
      m_nCurrent = 0;
    }
  } else if (bBefore) {
    node->pNext = m_pCurrent;
    node->pPrev = m_pCurrent->pPrev;
    if (node->pPrev != nullptr) node->pPrev->pNext = node;
    else m_pHead = node;
    m_pCurrent->pPrev = node;
  } else {
    node->pPrev = m_pCurrent;
    node->pNext = m_pCurrent->pNext;
    if (node->pNext != nullptr) node->pNext->pPrev = node;
    else m_pTail = node;
    m_pCurrent->pNext = node;
    ++m_nCurrent;
  }
  m_pCurrent = node;
  ++m_nCount;
}

void CListeDeBuffer::__Unlink(CLinkedElement* node) {
  if (node->pPrev != nullptr) node->pPrev->pNext = node->pNext;
  else m_pHead = node->pNext;
  if (node->pNext != nullptr) node->pNext->pPrev = node->pPrev;
  else m_pTail = node->pPrev;
  --m_nCount;
}

void CListeDeBuffer::SupprimeCourant() {
  CLinkedElement* node = m_pCurrent;
  if (node == nullptr) return;
  CLinkedElement* prev = node->pPrev;
  __Unlink(node);
  free(node);
  if (prev != nullptr) {
    m_pCurrent = prev;
    --m_nCurrent;
  } else {
    m_pCurrent = m_pHead;
    if (m_nCount == 0) m_nCurrent = -1;
  }
}

CListeDeBuffer::CLinkedElement* CListeDeBuffer::__pDetachHead() {
  CLinkedElement* node = m_pHead;
  if (node == nullptr) return nullptr;
  __Unlink(node);
  if (m_pCurrent == node) m_pCurrent = m_pHead;
  else if (m_nCurrent > 0) --m_nCurrent;
  if (m_nCount == 0) m_nCurrent = -1;
  node->pNext = node->pPrev = nullptr;
  return node;
}

void CListeDeBuffer::SupprimeTout() {
  for (CLinkedElement* node = m_pHead; m_bOwner && node != nullptr;) {
    CLinkedElement* next = node->pNext;
    free(node);
    node = next;
  }
  m_pHead = m_pTail = m_pCurrent = nullptr;
  m_nCount = 0;
  m_nCurrent = -1;
}

void CListeDeBuffer::VaSuivant() {
  if (m_pCurrent == nullptr) return;
  m_pCurrent = m_pCurrent->pNext;
  ++m_nCurrent;
}

void CListeDeBuffer::VaPrecedent() {
  if (m_pCurrent == nullptr) return;
  m_pCurrent = m_pCurrent->pPrev;
  --m_nCurrent;
}

void* CListeDeBuffer::pVaSuivant() {
  if (m_pCurrent == nullptr || m_pCurrent->pNext == nullptr) return nullptr;
  VaSuivant();
  return m_pCurrent->pData();
}

void* CListeDeBuffer::pVaPrecedent() {
  if (m_pCurrent == nullptr || m_pCurrent->pPrev == nullptr) return nullptr;
  VaPrecedent();
  return m_pCurrent->pData();
}

void* CListeDeBuffer::pVaSurNumero(int n) {
  if (n < 0 || n >= m_nCount) return nullptr;
  const int fromTail = m_nCount - 1 - n;
  const int fromCurrent = m_pCurrent != nullptr ? abs(m_nCurrent - n) : m_nCount;
  CLinkedElement* node;
  if (n <= fromTail && n <= fromCurrent) {
    node = m_pHead;
    for (int i = 0; i < n; ++i) node = node->pNext;
  } else if (fromTail <= fromCurrent) {
    node = m_pTail;
    for (int i = 0; i < fromTail; ++i) node = node->pPrev;
  } else {
    node = m_pCurrent;
    for (int i = m_nCurrent; i < n; ++i) node = node->pNext;
    for (int i = m_nCurrent; i > n; --i) node = node->pPrev;
  }
  m_pCurrent = node;
  m_nCurrent = n;
  return node->pData();
}

void CListeDeBuffer::ExtraitListe(CListeDeBuffer& source, CListeDeBuffer& from, CListeDeBuffer& to) {
  if (m_nCount != 0 || from.m_pCurrent == nullptr || from.m_pCurrent == to.m_pCurrent) return;
  // to off the list counts as past the tail only when it ran off that end.
  if (to.m_pCurrent == nullptr && to.m_nCurrent < source.m_nCount) return;
  const int fromIndex = from.m_nCurrent;
  const int toIndex = to.m_pCurrent != nullptr ? to.m_nCurrent : source.m_nCount;
  if (toIndex <= fromIndex) return;
  const int n = toIndex - fromIndex;
  CLinkedElement* first = from.m_pCurrent;
  CLinkedElement* after = to.m_pCurrent;
  CLinkedElement* last = after != nullptr ? after->pPrev : source.m_pTail;
  CLinkedElement* before = first->pPrev;

  m_pHead = m_pCurrent = first;
  m_pTail = last;
  m_nCurrent = 0;
  m_nCount = n;

  if (before == nullptr) source.m_pHead = after;
  if (after == nullptr) source.m_pTail = before;
  if (source.m_nCurrent >= fromIndex && source.m_nCurrent < toIndex) {
    source.m_pCurrent = after;
    source.m_nCurrent = toIndex - n;
  } else if (source.m_nCurrent >= toIndex) {
    source.m_nCurrent -= n;
  }
  source.m_nCount -= n;

  for (CListeDeBuffer* cursor : {&from, &to}) {
    if (cursor == &source) continue;
    cursor->m_pHead = source.m_pHead;
    cursor->m_pTail = source.m_pTail;
    cursor->m_nCount = source.m_nCount;
    cursor->m_pCurrent = after;
    cursor->m_nCurrent = toIndex - n;
  }

  if (before != nullptr) before->pNext = after;
  if (after != nullptr) after->pPrev = before;
  first->pPrev = nullptr;
  last->pNext = nullptr;
}
