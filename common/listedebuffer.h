// CListeDeBuffer: a doubly linked list of fixed-size elements copied in as raw bytes, with one
// built-in cursor (the current node and its 0-based index). The list owns its nodes, one malloc'ed
// block each (links, then the element).
//
// Shared rules:
// - The cursor is on a node, or off the list: index -1 before the head, index = count past the
//   tail (a walk ran off), -1 in an empty list.
// - An operation without a current node, or with an index outside the list, changes nothing.
// - A failed node allocation is reported (FALSE) and leaves the list as it was.
// - A cursor copy (the eCURSOR constructor) shares the nodes of its source without owning them: it
//   only walks, and serves ExtraitListe to mark the ends of a run.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/wintypes.h"

class CListeDeBuffer {
 public:
  struct CLinkedElement {
    CLinkedElement* pNext;
    CLinkedElement* pPrev;
    // Then the element's bytes.
    unsigned char* pData() { return reinterpret_cast<unsigned char*>(this + 1); }
  };
  enum eCURSOR { eCURSOR };

  // Where nodes (and the chained hash table's bucket arrays) come from; a test may put a failing
  // allocator here.
  static void* (*ms_pfnAlloc)(size_t size);

  explicit CListeDeBuffer(int elementSize);
  // A cursor copy: source's nodes, head, tail, count, current node and index.
  CListeDeBuffer(const CListeDeBuffer& source, enum eCURSOR);
  CListeDeBuffer(const CListeDeBuffer&) = delete;
  CListeDeBuffer& operator=(const CListeDeBuffer&) = delete;
  ~CListeDeBuffer();

  // Copies the element into a new node that becomes the current one: before the current node
  // with bBefore (taking its index), else after it. Without a current node: at the tail when the
  // cursor ran past it, else at the head.
  BOOL Ajoute(const void* p, int bBefore);
  // Frees the current node; the cursor goes to the node before it, or to the new head (same index)
  // when the head went.
  void SupprimeCourant();
  void SupprimeTout();

  void* pCourant() const { return m_pCurrent != nullptr ? m_pCurrent->pData() : nullptr; }
  static void* pGetElem(CLinkedElement* node) { return node != nullptr ? node->pData() : nullptr; }
  // From a current node, one step even off the list (then null with index count, or -1).
  void VaSuivant();
  void VaPrecedent();
  // One step when there is a node to go to; its data, or null with the cursor unchanged.
  void* pVaSuivant();
  void* pVaPrecedent();
  // The cursor on node n by the shortest walk (from the head, the tail or the current node).
  void* pVaSurNumero(int n);
  // Moves the nodes of source from from's current node up to (not including) to's current node
  // (to off the list past the tail: up to the tail) into this empty list, cursor on its first node.
  // from and to are cursor copies of source and end up on to's node with source's new facts.
  // Nothing happens when this list is not empty, from has no current node, or to is not after
  // from.
  void ExtraitListe(CListeDeBuffer& source, CListeDeBuffer& from, CListeDeBuffer& to);

  int nGetCount() const { return m_nCount; }
  int nGetCurrentIndex() const { return m_nCurrent; }
  int nGetElementSize() const { return static_cast<int>(m_nElementSize); }
  CLinkedElement* pGetHead() const { return m_pHead; }
  CLinkedElement* pGetTail() const { return m_pTail; }
  CLinkedElement* pGetCurrentNode() const { return m_pCurrent; }

  // For the chained hash table, which moves nodes between lists without allocating: unlinks the
  // head node (cursor kept valid as SupprimeCourant would on it), and links a node where Ajoute
  // would put a new one.
  CLinkedElement* __pDetachHead();
  void __Attach(CLinkedElement* node, int bBefore);

 private:
  void __Unlink(CLinkedElement* node);

  CLinkedElement* m_pHead = nullptr;
  CLinkedElement* m_pTail = nullptr;
  CLinkedElement* m_pCurrent = nullptr;
  uint32_t m_nElementSize;
  int32_t m_nCount = 0;
  int32_t m_nCurrent = -1;
  bool m_bOwner = true;
};
