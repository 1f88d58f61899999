// CXYStringConcat<T> (T = char or wchar_t): a growable, always terminated text buffer on the
// ordinary heap for building a text piece by piece: plain pieces, pieces converted from a code
// page or from UTF-8, and numbers. The builder owns its block (malloc/realloc) and frees it when
// destroyed; pDetache() hands the block over to the caller, who then frees it with free().
//
// Shared rules:
// - Lengths and positions count units: bytes for char, characters for wchar_t.
// - Once the block exists, data[length] is 0. An empty builder reads as ChaineVide.
// - Growth goes in whole steps: when the length needed exceeds the capacity, the capacity
//   becomes the next multiple of the step strictly above it (1024 needed, step 1024: 2048).
// - An addition that cannot get its room (no memory, or a length above kMaxLength) or whose
//   conversion fails is dropped whole; the text already held stays as it was, terminator included.
// - A piece may point into the builder's own text.
// - Converting additions write straight into the block after one reservation; when a
//   conversion turns out larger than that reservation it is redone with its exact size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/wintypes.h"

template <typename T>
class CXYStringConcat {
 public:
  static constexpr T ChaineVide[1] = {0};
  // Positions are ints, and a block (terminator included) must stay within 32-bit sizes.
  static constexpr unsigned int kMaxLength =
      sizeof(T) == 1 ? 0x7FFFFFFEu : static_cast<unsigned int>(0xFFFFFFFFu / sizeof(T) - 1);

  // A step of 0 counts as 1.
  explicit CXYStringConcat(unsigned int step = 1024) noexcept : m_nStep(step != 0 ? step : 1) {}
  ~CXYStringConcat();
  CXYStringConcat(CXYStringConcat&& other) noexcept;
  CXYStringConcat& operator=(CXYStringConcat&& other) noexcept;
  CXYStringConcat(const CXYStringConcat&) = delete;
  CXYStringConcat& operator=(const CXYStringConcat&) = delete;

  // ---- State ----
  const T* pszGet() const noexcept { return m_nLength != 0 ? m_pData : ChaineVide; }
  // The block itself: null until the first growth.
  T* pGetData() noexcept { return m_pData; }
  unsigned int nGetLength() const noexcept { return m_nLength; }
  unsigned int nGetCapacity() const noexcept { return m_nCapacity; }
  unsigned int nGetStep() const noexcept { return m_nStep; }
  void SetStep(unsigned int step) noexcept { m_nStep = step != 0 ? step : 1; }
  BOOL bEstVide() const noexcept { return m_nLength == 0; }

  // Length 0; the block is kept.
  void Vide() noexcept {
    m_nLength = 0;
    if (m_pData != nullptr) m_pData[0] = 0;
  }
  // Cuts the text to n units when it is longer.
  void Tronque(unsigned int n) noexcept {
    if (n < m_nLength) {
      m_nLength = n;
      m_pData[n] = 0;
    }
  }
  // Frees the block.
  void Libere() noexcept;
  // Hands the block over (null when there is none) and leaves the builder empty and blockless.
  T* pDetache() noexcept;

  // Room for `needed` units in all (the growth rule above); FALSE when it cannot be had.
  BOOL _AugmenteTaille(unsigned int needed);

  // ---- Additions ----
  // n units of s; n below 1 or a null s: nothing.
  [[gnu::always_inline]] void Add(const T* s, int n) {
    if (s == nullptr || n < 1) return;
    const unsigned int un = static_cast<unsigned int>(n);
    if (un > m_nCapacity - m_nLength) {
      _AddSlow(s, un);
      return;
    }
    std::memcpy(m_pData + m_nLength, s, un * sizeof(T));
    m_nLength += un;
    m_pData[m_nLength] = 0;
  }
  // k units of head, then n of s, grown for both at once; neither may lie in this builder's block.
  [[gnu::always_inline]] void AddTwo(const T* head, int k, const T* s, int n) {
    const unsigned int uk = head != nullptr && k > 0 ? static_cast<unsigned int>(k) : 0u;
    const unsigned int un = s != nullptr && n > 0 ? static_cast<unsigned int>(n) : 0u;
    if (uk + un > m_nCapacity - m_nLength) {
      Add(head, k);
      Add(s, n);
      return;
    }
    if (uk != 0) std::memcpy(m_pData + m_nLength, head, uk * sizeof(T));
    if (un != 0) std::memcpy(m_pData + m_nLength + uk, s, un * sizeof(T));
    m_nLength += uk + un;
    m_pData[m_nLength] = 0;
  }
  // A terminated text; null or empty: nothing.
  void Add(const T* s);
  // n bytes of code page cp. Narrow builder: the bytes as they are (cp not used).
  void AddAnsi(const char* s, int n, unsigned int cp);
  // n wide characters. Narrow builder: converted to code page cp; *usedDefault (when given) tells
  // whether a character had no form there and became '?'.
  void AddWide(const wchar_t* s, int n, unsigned int cp, int* usedDefault = nullptr);
  // n bytes of code page cp. Narrow builder: converted to UTF-8 (65001: copied). Wide builder:
  // as AddAnsi.
  void AddAnsiToUTF8(const char* s, int n, unsigned int cp);
  // n bytes of UTF-8. Narrow builder: converted to code page cp (65001: copied).
  void AddUTF8(const char* s, int n, unsigned int cp);
  // Narrow builder only: n bytes of code page from, converted to code page to (equal pages:
  // copied; to 65001: AddAnsiToUTF8; otherwise through wide characters, *usedDefault as for
  // AddWide).
  void AddAnsiToAnsi(const char* s, int n, unsigned int from, unsigned int to, int* usedDefault = nullptr);
  // Converts n bytes of UTF-8 into dst, which has room for n units (not terminated); narrow: to
  // code page cp. Returns the units written.
  static int _nUTF8ToX(const char* src, int n, T* dst, int cp);

  // Decimal: '-' and the digits for a negative value. With a width other than -1, a value above
  // 0 is padded on the left with '0' to width characters; 0 and negative values never are.
  void AddNumber(int v, int width = -1);
  void AddNumber(long long v, int width = -1);
  // Upper-case hexadecimal, zero-padded to 2, 4, 8 or 16 digits.
  void AddNumberHexa(unsigned char v);
  void AddNumberHexa(unsigned short v);
  void AddNumberHexa(unsigned int v);
  void AddNumberHexa(unsigned long long v);
  // Eight '0'/'1': bit 7 first when msbFirst is non-zero, else bit 0 first.
  void AddNumberBinary(unsigned char b, int msbFirst);
  // Pads terminated digits on the left with '0' to width characters; digits must have room for
  // width + 1 units.
  static void _AddPrefix0(T* digits, int width);

  // ---- Editing ----
  // Replaces count units at start (those that lie in the text; count below 0: up to the end)
  // by len units of s (null s or len below 1: removes them). FALSE, text unchanged, when start
  // lies outside 0..length or the room cannot be had.
  BOOL bRemplace(int start, int count, const T* s, int len);
  // Replaces every occurrence of the nFrom units of from found at or after start by the nTo units
  // of to (null or nTo below 1: removes them), left to right; inserted text is never searched.
  // Returns the number of replacements (0 when nothing was done or the room cannot be had, text
  // unchanged).
  int nRemplaceTout(const T* from, int nFrom, const T* to, int nTo, int start);
  // Upper case in place through the host locale service (narrow text: its code page).
  void Majuscule();

  // ---- Queries ----
  // Empty builder: TRUE when s is empty; otherwise TRUE when the text equals s. s not null.
  BOOL bEstEgal(const T* s) const;
  // First occurrence at or after start (0..length) of the terminated s, -1 when none (or when
  // the builder is empty or start lies outside the text).
  int nPos(const T* s, int start) const;
  // The same for len units of s.
  int nPos(const T* s, int len, int start) const;
  // The same for one unit; c = 0 finds the terminator, that is the length.
  int nPos(T c, int start) const;

 private:
  template <typename U>
  friend class CXYStringConcat;

  // Room for extra more units. A pointer that lies in the old block is moved with it.
  template <typename U>
  bool _bReserve(uint64_t extra, const U*& alias) {
    if (extra <= m_nCapacity - m_nLength) return true;
    const void* p = alias;
    if (!_bGrow(m_nLength + extra, p)) return false;
    alias = static_cast<const U*>(p);
    return true;
  }
  bool _bReserve(uint64_t extra) {
    const void* none = nullptr;
    return extra <= m_nCapacity - m_nLength || _bGrow(m_nLength + extra, none);
  }
  bool _bGrow(uint64_t needed, const void*& alias);
  void _AddSlow(const T* s, unsigned int n);
  bool _bInBlock(const void* p) const noexcept;
  unsigned int _nRoom() const noexcept { return m_nCapacity - m_nLength; }
  void _Commit(unsigned int added) noexcept {
    m_nLength += added;
    m_pData[m_nLength] = 0;
  }
  // Reserves guess units and appends what convert(dst, room) writes; false when that room cannot
  // be had or convert answers below 1, the text, its length and its terminator then unchanged.
  template <typename U, typename Convert>
  bool _bTryConvert(const U*& s, uint64_t guess, Convert convert);
  // For converters that count with a null destination: a first try into guess units, else the
  // exact count.
  template <typename U, typename Convert>
  void _AddCounted(const U*& s, uint64_t guess, Convert convert);
  // Narrow builder, for converters that cut ASCII that does not fit and zero-fill their
  // destination: they get guess bytes at most, and a full or failed answer is redone through
  // wide characters (code page from to code page to). Equal pages: a copy.
  template <typename Convert>
  void _AddBounded(const char*& s, int n, uint64_t guess, unsigned int from, unsigned int to, Convert convert);
  void _AddDigits(const char* digits, int n);
  // Narrow builder: from code page from to code page to through a wide scratch text.
  void _AddThroughWide(const char* s, int n, unsigned int from, unsigned int to, int* usedDefault);

  T* m_pData = nullptr;
  uint32_t m_nLength = 0;
  uint32_t m_nCapacity = 0;
  uint32_t m_nStep;
};

// Forms that differ between the narrow and the wide builder.
template <>
void CXYStringConcat<char>::AddAnsi(const char* s, int n, unsigned int cp);
template <>
void CXYStringConcat<wchar_t>::AddAnsi(const char* s, int n, unsigned int cp);
template <>
void CXYStringConcat<char>::AddWide(const wchar_t* s, int n, unsigned int cp, int* usedDefault);
template <>
void CXYStringConcat<wchar_t>::AddWide(const wchar_t* s, int n, unsigned int cp, int* usedDefault);
template <>
void CXYStringConcat<char>::AddAnsiToUTF8(const char* s, int n, unsigned int cp);
template <>
void CXYStringConcat<wchar_t>::AddAnsiToUTF8(const char* s, int n, unsigned int cp);
template <>
void CXYStringConcat<char>::AddUTF8(const char* s, int n, unsigned int cp);
template <>
void CXYStringConcat<wchar_t>::AddUTF8(const char* s, int n, unsigned int cp);
template <>
void CXYStringConcat<char>::AddAnsiToAnsi(const char* s, int n, unsigned int from, unsigned int to,
                                          int* usedDefault);
template <>
void CXYStringConcat<char>::_AddThroughWide(const char* s, int n, unsigned int from, unsigned int to,
                                            int* usedDefault);
template <>
int CXYStringConcat<char>::_nUTF8ToX(const char* src, int n, char* dst, int cp);
template <>
int CXYStringConcat<wchar_t>::_nUTF8ToX(const char* src, int n, wchar_t* dst, int cp);

extern template class CXYStringConcat<char>;
extern template class CXYStringConcat<wchar_t>;
