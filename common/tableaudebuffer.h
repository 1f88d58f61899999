// CTableauDeBuffer: the growable array of fixed-size elements under every list of the system.
// Elements are raw bytes copied in and out with memcpy/memmove: no constructor or destructor
// runs, and nothing an element points to is ever freed by the array. The array owns its one
// malloc'ed block (null while the capacity is 0).
//
// Shared rules:
// - Element reads and SetAt check no index (callers keep 0 <= i < count). Operations that move
//   or remove elements ignore indexes outside the array and clamp counts to it, so the count
//   never leaves 0..capacity.
// - A source element may lie in the array's own block, even when the operation grows it.
//   A null source writes an element of zero bytes.
// - Heap exhaustion is not reported: the array keeps its state, and an operation that needed
//   room answers null instead of the address of the element it would have written.
#pragma once

#include <cstdint>
#include <cstring>

// One block of a permutation: nNombre elements of the old order, from nIndice on.
struct _STBlocATrier {
  int nIndice;
  int nNombre;
};

class CTableauDeBuffer {
 public:
  CTableauDeBuffer(int elementSize, int growStep, int compactThreshold = 30);
  CTableauDeBuffer(const CTableauDeBuffer&) = delete;
  CTableauDeBuffer& operator=(const CTableauDeBuffer&) = delete;

  // Adds grow-step slots. A step-1 array adds 1 slot at a time up to a capacity of 100, then
  // 20 at a time when its elements have 256 bytes or less.
  virtual void Agrandir();
  virtual ~CTableauDeBuffer();
  // Exactly n copies of p in a block of exactly n elements (n <= 0: no block).
  virtual void Initialise(const void* p, int n);
  // Shrinks the block to the count (an empty array frees it).
  virtual void Compacter();

  // Each answers the address of the element written, or null when no room could be made.
  void* Ajoute(const void* p) {
    // With room left the source cannot be moved by the append: it is copied in line.
    if (m_nCount < m_nCapacity && p != nullptr) {
      char* slot = _pSlot(m_nCount);
      memmove(slot, p, static_cast<size_t>(m_nElementSize));
      ++m_nCount;
      return slot;
    }
    return _pAjouteGrowing(p);
  }
  void* Insere(const void* p, int i);
  void* SetAt(const void* p, int i);
  // Makes element i exist and sets it to p; slots between the old count and i become copies
  // of pFill.
  void* Etend(int i, const void* p, const void* pFill);

  // Removes n elements from i and closes the gap; the block is kept.
  void Supprime(int i, int n);
  void SupprimeDernier(int n);
  // Supprime(i, 1), then Compacter once more than the threshold of slots are free.
  void SupprimeCompacte(int i);
  void SupprimeToutEtLibere();

  // Capacity for at least n elements.
  void AlloueMemoire(int n);
  // Room for n more elements, the missing slots rounded up to whole grow steps.
  void AgranditMemoire(int n);

  // The elements read as pointer values (arrays of pointer-sized elements only; others never
  // match): the first for which criterion(key, element) answers 0, or null / -1.
  void* pRechercheLineaireCriterePointeur(intptr_t key, int (*criterion)(intptr_t key, const void* element)) const;
  int nRechercheLineaireCriterePointeur(intptr_t key, int (*criterion)(intptr_t key, const void* element)) const;

  // Moves element from to position to; the elements between shift one slot towards from.
  void Deplace(int from, int to);
  void Swap(int i, int j);
  // Rebuilds the order: elements 0..n-1, then each block of the old order in list order, then
  // the old elements from the total copied so far up to the count, at their own positions.
  // Parts of blocks outside the old elements, and copies beyond the count, are left out.
  void PermuteMultiple(int n, const _STBlocATrier* blocks, unsigned int blockCount);

  // A copy of other's elements (same element size; otherwise this array is only emptied).
  void _Duplique(const CTableauDeBuffer& other);
  // Takes other's block, count and capacity without copying and leaves other empty. Arrays of
  // different element sizes are left as they are.
  void Recupere(CTableauDeBuffer& other);
  void _RecupereDonnees(CTableauDeBuffer* other);
  // Exchanges the complete state of two arrays of the same class.
  static void EchangeTableau(CTableauDeBuffer* a, CTableauDeBuffer* b);

  int nGetCount() const { return m_nCount; }
  int nGetCapacity() const { return m_nCapacity; }
  int nGetElementSize() const { return m_nElementSize; }
  int nGetGrowStep() const { return m_nGrowStep; }
  // Later growth adds n slots at a time (n below 1 grows one slot at a time).
  void SetGrowStep(int n) { m_nGrowStep = n; }
  void* pGetData() const { return m_pData; }
  void* pGetAt(int i) const { return m_pData + static_cast<intptr_t>(i) * m_nElementSize; }

 protected:
  char* _pSlot(int i) const { return m_pData + static_cast<intptr_t>(i) * m_nElementSize; }
  // The slot past the last element, now counted in, when there is room for it; else null.
  char* _pAppendSlot() { return m_nCount < m_nCapacity ? _pSlot(m_nCount++) : nullptr; }

 private:
  bool _bOwns(const void* p) const;
  // Ajoute when the array may have to grow, or of a null source.
  void* _pAjouteGrowing(const void* p);
  // Room for one more element; false when the block could not grow.
  bool _bMakeRoom();
  // Agrandir with a step of n for this one call.
  void _AgrandirDe(int64_t n);

  int32_t m_nElementSize;
  int32_t m_nCount = 0;
  int32_t m_nCapacity = 0;
  int32_t m_nGrowStep;
  int32_t m_nCompactThreshold;
  char* m_pData = nullptr;
};
