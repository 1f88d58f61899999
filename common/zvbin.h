// CZVBIN: the host's binary buffer, one pointer to a block of the host's string allocator (null
// for the empty value), shared on copy and copied on write exactly as the dynamic strings of
// common/xystring.h, whose rules hold here too. Sizes are in bytes; no terminator is written.
// The static comparisons take value pointers, a null pointer counting as an empty value.
#pragma once

#include <cstdint>

#include "common/xystring.h"

struct STTabAny;

class CZVBIN : public CBaseStrMem {
 public:
  CZVBIN() = default;
  // A copy of n bytes; n 0, out of range or no memory give the empty value.
  CZVBIN(const void* bytes, int n);
  CZVBIN(const CZVBIN& other) noexcept { Assign(other, -1); }
  CZVBIN(CZVBIN&& other) noexcept : m_pData(other.m_pData) { other.m_pData = nullptr; }
  CZVBIN& operator=(const CZVBIN& other) noexcept {
    Assign(other, -1);
    return *this;
  }
  CZVBIN& operator=(CZVBIN&& other) noexcept;
  ~CZVBIN() { Release(); }

  // ---- Reading ----
  BYTE* pGetData() const { return m_pData; }
  int nGetSize() const { return static_cast<int>(s_nLength(m_pData)); }
  int nGetCapacity() const { return static_cast<int>(s_nCapacity(m_pData)); }
  uint32_t dwGetFlags() const { return s_dwFlags(m_pData); }
  BOOL bIsEmpty() const { return nGetSize() == 0; }

  // ---- Ownership ----
  void Release() { _Release(Slot()); }
  BYTE* Detach() {
    BYTE* p = m_pData;
    m_pData = nullptr;
    return p;
  }
  // Adopts pData with the reference the caller hands over.
  void Attach(BYTE* pData);
  // Releases the own block and takes src's without a new reference; src becomes empty.
  void Take(CZVBIN& src);

  // ---- Blocks ----
  // As CXYString::__nNew and __FillDynStr, without terminator.
  int _nNew(int n, const void* src, int m, uint32_t dwOption = 0);
  void __FillDynBin(const void* src, int n, int pos);
  // Writable with room for n bytes; a shared block's copy starts with the allocator's flags.
  int __nPrepareModification(int n, uint32_t dwOption = 0);
  // n bytes in use: a new block, or the block made writable and its length set (content beyond
  // the old length unspecified).
  int nSetSize(int n, uint32_t dwOption = 0);
  // Room for n bytes, length kept (no block: a new one, length 0). A shared block is copied first.
  int nSetMemorySize(int n, uint32_t dwOption = 0);
  // Sets the length, n within the capacity (a shared block is copied first); else ignored.
  void SetUtilSize(int n);

  // ---- Assignment ----
  // For a value that holds nothing yet: n 0 or null bytes: empty, 0; else a new block with the copy.
  int nAssignInit(const void* bytes, int n);
  // One byte per value of the array (each must read as a byte: else 115 and nothing allocated);
  // a count below 1: empty, 0.
  int nAssignInit(const STTabAny& tab);
  // n bytes (n 0 or null bytes: empty). A block held alone is reused; else a new block.
  int nAssign(const void* bytes, int n, uint32_t dwOption = 0);
  // Shares src's block; 0 <= n <= src's length cuts the value to a private copy of n bytes
  // (end-marker flag clear); n 0 or an empty src: empty; n -1 (or beyond): the whole.
  void Assign(const CZVBIN& src, int n);
  void Assign(const CZVBIN* src, int n);

  // ---- Appending ----
  // Appends n bytes (which may lie in this value); no block: nAssign.
  int nConcat(const void* bytes, int n);
  // This value := a + b. mode bit 0: a's block moves over (shared when other values hold it)
  // and b is appended; a gets its block back when that fails. Else a new block whose end-marker
  // flag is b's (an empty side: the other's block shared).
  int nConcatInit(CZVBIN& a, const CZVBIN& b, int mode);
  // Appends b after sep without doubling sep: sep is left out when this value is empty and
  // noLeadingSep is set, when it already ends with sep (a null or empty sep always does), or when
  // b begins with sep; an empty b appends nothing. Null b: sep alone.
  int nConcatSeparateur(const CZVBIN* sep, const CZVBIN* b, int noLeadingSep);

  // ---- Extraction and editing ----
  // dst := n bytes from start (n below 0, or a range past the end: up to the end); empty when
  // start is outside the value or n is 0. dst may be this value.
  int nMilieu(CZVBIN* dst, int start, int n) const;
  CZVBIN clMilieu(int start, int n) const;
  // min(n, length - start) bytes at start (n below 0: up to the end) become other's bytes.
  // Nothing unless 0 <= start < length.
  void Remplace(int start, int n, const CZVBIN& other);
  // src's bytes count times (count x length 0: empty; negative or too large: 108, empty).
  int nRepete(const CZVBIN& src, int count);

  // ---- Searching and comparing ----
  // First occurrence of the n bytes at or after start; -1 if none or out of range.
  int nPos(const void* bytes, int n, int start) const;
  // An empty b gives TRUE; b longer than a gives FALSE.
  static BOOL bCommencePar(const CZVBIN* a, const CZVBIN* b);
  static BOOL bTerminePar(const CZVBIN* a, const CZVBIN* b);
  static BOOL bContient(const CZVBIN* a, const CZVBIN* b);
  // Unsigned bytes over the shorter length, then the longer value is greater: -1, 0 or 1.
  static int nCompare(const CZVBIN* a, const CZVBIN* b);
  // The first n bytes only (n beyond the shorter length or negative: the whole values).
  static int nCompare(const CZVBIN* a, const CZVBIN* b, int n);

  // ---- Conversions (common/xystring_conversion.cpp) ----
  // Narrow text of code page cp (n -1: the whole terminated s) as wide characters.
  int nAffecteToUNICODE(const char* s, int n, int cp, int flags);
  // n wide characters as narrow bytes of code page cp, with extra bytes of room after them.
  int nAffecteToANSI(const wchar_t* s, int n, int cp, int flags, const char* defaultChar, int* usedDefault,
                     int extra = 0);
  // The wide text that src holds (length / 4 characters), with the end-marker rule; src may be
  // this value.
  int nAffecteToANSI(const CZVBIN* src, int cp, int flags, const char* defaultChar, int* usedDefault);

 private:
  void** Slot() { return reinterpret_cast<void**>(&m_pData); }

  BYTE* m_pData = nullptr;
};
