#include "common/xystringconcat.h"

#include <charconv>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <utility>

#include "common/str_compare.h"
#include "common/xmalloc.h"
#include "platform/codepage.h"

namespace {

constexpr unsigned int kUTF8 = 65001;

const char* Find(const char* hay, size_t n, const char* pat, size_t len) {
  return static_cast<const char*>(memmem(hay, n, pat, len));
}

const wchar_t* Find(const wchar_t* hay, size_t n, const wchar_t* pat, size_t len) {
  const wchar_t* p = hay;
  const wchar_t* const last = hay + (n - len);  // last possible start
  while (p <= last) {
    p = std::wmemchr(p, pat[0], static_cast<size_t>(last - p) + 1);
    if (p == nullptr) return nullptr;
    if (std::wmemcmp(p + 1, pat + 1, len - 1) == 0) return p;
    ++p;
  }
  return nullptr;
}

const char* FindChar(const char* s, size_t n, char c) { return static_cast<const char*>(std::memchr(s, c, n)); }
const wchar_t* FindChar(const wchar_t* s, size_t n, wchar_t c) { return std::wmemchr(s, c, n); }

template <typename T, typename V>
void AddHexa(CXYStringConcat<T>& b, V v, int digits) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  T buf[16];
  for (int i = digits - 1; i >= 0; --i) {
    buf[i] = static_cast<T>(kHex[v & 0xF]);
    v = static_cast<V>(v >> 4);
  }
  b.Add(buf, digits);
}

}  // namespace

// ---- Block ----

template <typename T>
CXYStringConcat<T>::~CXYStringConcat() {
  XMALLOC_Del_(m_pData);
}

template <typename T>
CXYStringConcat<T>::CXYStringConcat(CXYStringConcat&& other) noexcept
    : m_pData(other.m_pData), m_nLength(other.m_nLength), m_nCapacity(other.m_nCapacity), m_nStep(other.m_nStep) {
  other.m_pData = nullptr;
  other.m_nLength = other.m_nCapacity = 0;
}

template <typename T>
CXYStringConcat<T>& CXYStringConcat<T>::operator=(CXYStringConcat&& other) noexcept {
  if (this != &other) {
    XMALLOC_Del_(m_pData);
    m_pData = std::exchange(other.m_pData, nullptr);
    m_nLength = std::exchange(other.m_nLength, 0);
    m_nCapacity = std::exchange(other.m_nCapacity, 0);
    m_nStep = other.m_nStep;
  }
  return *this;
}

template <typename T>
void CXYStringConcat<T>::Libere() noexcept {
  XMALLOC_Del_(m_pData);
  m_pData = nullptr;
  m_nLength = m_nCapacity = 0;
}

template <typename T>
T* CXYStringConcat<T>::pDetache() noexcept {
  T* p = m_pData;
  m_pData = nullptr;
  m_nLength = m_nCapacity = 0;
  return p;
}

template <typename T>
bool CXYStringConcat<T>::_bInBlock(const void* p) const noexcept {
  if (m_pData == nullptr || p == nullptr) return false;
  const uintptr_t a = reinterpret_cast<uintptr_t>(p);
  const uintptr_t lo = reinterpret_cast<uintptr_t>(m_pData);
  return a >= lo && a < lo + (static_cast<uintptr_t>(m_nCapacity) + 1) * sizeof(T);
}

template <typename T>
bool CXYStringConcat<T>::_bGrow(uint64_t needed, const void*& alias) {
  if (needed <= m_nCapacity) return true;
  if (needed > kMaxLength) return false;
  uint64_t capacity = (needed / m_nStep + 1) * m_nStep;  // 64-bit: no wrap for any step
  if (capacity > kMaxLength) capacity = needed;          // no whole step left below the limit
  const bool moveAlias = _bInBlock(alias);
  const size_t offset = moveAlias ? static_cast<size_t>(static_cast<const char*>(alias) -
                                                         reinterpret_cast<const char*>(m_pData))
                                  : 0;
  // Fits 32 bits by kMaxLength. On failure the old block stays as it was.
  void* p = XMALLOC_pResize_(m_pData, static_cast<unsigned int>((capacity + 1) * sizeof(T)));
  if (p == nullptr) return false;
  m_pData = static_cast<T*>(p);
  m_nCapacity = static_cast<uint32_t>(capacity);
  m_pData[m_nLength] = 0;
  if (moveAlias) alias = reinterpret_cast<const char*>(m_pData) + offset;
  return true;
}

template <typename T>
BOOL CXYStringConcat<T>::_AugmenteTaille(unsigned int needed) {
  const void* none = nullptr;
  return _bGrow(needed, none) ? TRUE : FALSE;
}

template <typename T>
template <typename U, typename Convert>
bool CXYStringConcat<T>::_bTryConvert(const U*& s, uint64_t guess, Convert convert) {
  if (guess > kMaxLength || !_bReserve(guess, s)) return false;
  const int r = convert(m_pData + m_nLength, _nRoom());
  if (r < 1) {
    m_pData[m_nLength] = 0;  // a converter that fails may have written over the terminator
    return false;
  }
  _Commit(static_cast<unsigned int>(r));
  return true;
}

template <typename T>
template <typename U, typename Convert>
void CXYStringConcat<T>::_AddCounted(const U*& s, uint64_t guess, Convert convert) {
  if (_bTryConvert(s, guess, convert)) return;
  const int need = convert(nullptr, 0);
  if (need > 0) _bTryConvert(s, static_cast<uint64_t>(need), convert);
}

template <typename T>
template <typename Convert>
void CXYStringConcat<T>::_AddBounded(const char*& s, int n, uint64_t guess, unsigned int from, unsigned int to,
                                     Convert convert) {
  if (s == nullptr || n < 1) return;
  // UTF-8 onto UTF-8 is a copy: the converters keep a byte for a terminator and stop at a zero.
  if (from == to) {
    Add(s, n);
    return;
  }
  auto bounded = [&](T* dst, unsigned int room) {
    const unsigned int size = room < guess ? room : static_cast<unsigned int>(guess);
    const int r = convert(dst, size);
    return static_cast<unsigned int>(r) < size ? r : -1;
  };
  if (!_bTryConvert(s, guess, bounded)) _AddThroughWide(s, n, from, to, nullptr);
}

// ---- Plain additions ----

template <typename T>
void CXYStringConcat<T>::_AddSlow(const T* s, unsigned int n) {
  if (!_bReserve(n, s)) return;
  std::memmove(m_pData + m_nLength, s, n * sizeof(T));
  _Commit(n);
}

template <typename T>
void CXYStringConcat<T>::Add(const T* s) {
  if (s == nullptr) return;
  const size_t n = std::char_traits<T>::length(s);
  if (n == 0 || n > kMaxLength) return;
  Add(s, static_cast<int>(n));
}

// ---- Converting additions ----

template <>
void CXYStringConcat<char>::AddAnsi(const char* s, int n, unsigned int) {
  Add(s, n);
}

template <>
void CXYStringConcat<wchar_t>::AddAnsi(const char* s, int n, unsigned int cp) {
  if (s == nullptr || n < 1) return;
  // One byte never gives more than one character.
  _AddCounted(s, static_cast<uint64_t>(n), [&](wchar_t* dst, unsigned int room) {
    return MultiByteToWideChar(cp, 0, s, n, dst, static_cast<int>(room));
  });
}

template <>
void CXYStringConcat<wchar_t>::AddWide(const wchar_t* s, int n, unsigned int, int* usedDefault) {
  if (usedDefault != nullptr) *usedDefault = 0;
  Add(s, n);
}

template <>
void CXYStringConcat<char>::AddWide(const wchar_t* s, int n, unsigned int cp, int* usedDefault) {
  if (usedDefault != nullptr) *usedDefault = 0;
  if (s == nullptr || n < 1) return;
  // ASCII is its own bytes in UTF-8 and the single-byte Windows pages: copied without the
  // converter (SQL text is mostly ASCII).
  if (bAsciiIsOwnByte(cp)) {
    if (!_bReserve(static_cast<uint64_t>(n))) return;
    // Copied past the length first, kept only when every character was ASCII.
    char* dst = m_pData + m_nLength;
    uint32_t seen = 0;
    for (int i = 0; i < n; ++i) {
      seen |= static_cast<uint32_t>(s[i]);
      dst[i] = static_cast<char>(s[i]);
    }
    if (seen < 0x80) {
      _Commit(static_cast<unsigned int>(n));
      return;
    }
    m_pData[m_nLength] = 0;
  }
  // Four bytes hold any character in UTF-8 and the double-byte pages; escape sequences of the
  // stateful pages may need more, which the exact count then gives.
  _AddCounted(s, 4 * static_cast<uint64_t>(n), [&](char* dst, unsigned int room) {
    return WideCharToMultiByte(cp, 0, s, n, dst, static_cast<int>(room), nullptr, usedDefault);
  });
}

template <>
void CXYStringConcat<wchar_t>::AddAnsiToUTF8(const char* s, int n, unsigned int cp) {
  AddAnsi(s, n, cp);
}

template <>
void CXYStringConcat<char>::AddAnsiToUTF8(const char* s, int n, unsigned int cp) {
  _AddBounded(s, n, 4 * static_cast<uint64_t>(n), cp, kUTF8, [&](char* dst, unsigned int size) {
    return MultiByteToUTF8(cp, s, static_cast<unsigned int>(n), dst, size, 0);
  });
}

template <>
void CXYStringConcat<wchar_t>::AddUTF8(const char* s, int n, unsigned int) {
  AddAnsi(s, n, kUTF8);
}

template <>
void CXYStringConcat<char>::AddUTF8(const char* s, int n, unsigned int cp) {
  // No UTF-8 character is shorter than its form in a stateless page; stateful pages take the
  // exact way through wide characters.
  _AddBounded(s, n, static_cast<uint64_t>(n) + 1, kUTF8, cp, [&](char* dst, unsigned int size) {
    return UTF8ToMultiByte(cp, s, static_cast<unsigned int>(n), dst, size, 0, nullptr, nullptr);
  });
}

template <>
void CXYStringConcat<char>::AddAnsiToAnsi(const char* s, int n, unsigned int from, unsigned int to,
                                          int* usedDefault) {
  if (usedDefault != nullptr) *usedDefault = 0;
  if (s == nullptr || n < 1) return;
  if (from == to) {
    Add(s, n);
  } else if (to == kUTF8) {
    AddAnsiToUTF8(s, n, from);
  } else {
    _AddThroughWide(s, n, from, to, usedDefault);
  }
}

template <>
void CXYStringConcat<char>::_AddThroughWide(const char* s, int n, unsigned int from, unsigned int to,
                                            int* usedDefault) {
  CXYStringConcat<wchar_t> wide(static_cast<unsigned int>(n));
  wide.AddAnsi(s, n, from);
  AddWide(wide.pszGet(), static_cast<int>(wide.nGetLength()), to, usedDefault);
}

template <>
int CXYStringConcat<wchar_t>::_nUTF8ToX(const char* src, int n, wchar_t* dst, int) {
  return MultiByteToWideChar(kUTF8, 0, src, n, dst, n);
}

template <>
int CXYStringConcat<char>::_nUTF8ToX(const char* src, int n, char* dst, int cp) {
  if (src == nullptr || dst == nullptr || n < 1) return 0;
  // The converter keeps a byte for a terminator and would drop the last one.
  if (static_cast<unsigned int>(cp) == kUTF8) {
    std::memcpy(dst, src, static_cast<size_t>(n));
    return n;
  }
  return UTF8ToMultiByte(static_cast<unsigned int>(cp), src, static_cast<unsigned int>(n), dst,
                         static_cast<unsigned int>(n), 0, nullptr, nullptr);
}

// ---- Numbers ----

template <typename T>
void CXYStringConcat<T>::_AddDigits(const char* digits, int n) {
  if constexpr (sizeof(T) == 1) {
    Add(digits, n);
  } else {
    if (!_bReserve(static_cast<uint64_t>(n))) return;
    for (int i = 0; i < n; ++i) m_pData[m_nLength + i] = static_cast<T>(digits[i]);
    _Commit(static_cast<unsigned int>(n));
  }
}

template <typename T>
void CXYStringConcat<T>::AddNumber(long long v, int width) {
  char digits[24];
  const int n = static_cast<int>(std::to_chars(digits, digits + sizeof digits, v).ptr - digits);
  if (width == -1 || v <= 0 || width <= n) {
    _AddDigits(digits, n);
    return;
  }
  if (!_bReserve(static_cast<uint64_t>(width))) return;
  T* out = m_pData + m_nLength;
  const int pad = width - n;
  for (int i = 0; i < pad; ++i) out[i] = static_cast<T>('0');
  for (int i = 0; i < n; ++i) out[pad + i] = static_cast<T>(digits[i]);
  _Commit(static_cast<unsigned int>(width));
}

template <typename T>
void CXYStringConcat<T>::AddNumber(int v, int width) {
  AddNumber(static_cast<long long>(v), width);
}

template <typename T>
void CXYStringConcat<T>::_AddPrefix0(T* digits, int width) {
  const size_t n = std::char_traits<T>::length(digits);
  if (width < 0 || n >= static_cast<size_t>(width)) return;
  const size_t pad = static_cast<size_t>(width) - n;
  std::memmove(digits + pad, digits, (n + 1) * sizeof(T));
  for (size_t i = 0; i < pad; ++i) digits[i] = static_cast<T>('0');
}

template <typename T>
void CXYStringConcat<T>::AddNumberHexa(unsigned char v) {
  AddHexa(*this, v, 2);
}
template <typename T>
void CXYStringConcat<T>::AddNumberHexa(unsigned short v) {
  AddHexa(*this, v, 4);
}
template <typename T>
void CXYStringConcat<T>::AddNumberHexa(unsigned int v) {
  AddHexa(*this, v, 8);
}
template <typename T>
void CXYStringConcat<T>::AddNumberHexa(unsigned long long v) {
  AddHexa(*this, v, 16);
}

template <typename T>
void CXYStringConcat<T>::AddNumberBinary(unsigned char b, int msbFirst) {
  T bits[8];
  for (int i = 0; i < 8; ++i) {
    const int bit = msbFirst != 0 ? 7 - i : i;
    bits[i] = static_cast<T>((b >> bit) & 1 ? '1' : '0');
  }
  Add(bits, 8);
}

// ---- Editing ----

template <typename T>
BOOL CXYStringConcat<T>::bRemplace(int start, int count, const T* s, int len) {
  if (start < 0 || static_cast<unsigned int>(start) > m_nLength) return FALSE;
  const unsigned int at = static_cast<unsigned int>(start);
  const unsigned int avail = m_nLength - at;
  const unsigned int removed = count < 0 || static_cast<unsigned int>(count) > avail ? avail : count;
  const unsigned int added = s != nullptr && len > 0 ? static_cast<unsigned int>(len) : 0;
  if (removed == 0 && added == 0) return TRUE;
  const uint64_t newLength = static_cast<uint64_t>(m_nLength) - removed + added;
  if (newLength > kMaxLength) return FALSE;
  // A piece taken from this text moves while the text is rearranged: copy it first.
  T* copy = nullptr;
  if (added != 0 && _bInBlock(s)) {
    copy = static_cast<T*>(std::malloc(added * sizeof(T)));
    if (copy == nullptr) return FALSE;
    std::memcpy(copy, s, added * sizeof(T));
    s = copy;
  }
  if (newLength > m_nLength && !_bReserve(newLength - m_nLength)) {
    std::free(copy);
    return FALSE;
  }
  T* p = m_pData + at;
  std::memmove(p + added, p + removed, (avail - removed) * sizeof(T));
  if (added != 0) std::memcpy(p, s, added * sizeof(T));
  m_nLength = static_cast<uint32_t>(newLength);
  m_pData[m_nLength] = 0;
  std::free(copy);
  return TRUE;
}

template <typename T>
int CXYStringConcat<T>::nRemplaceTout(const T* from, int nFrom, const T* to, int nTo, int start) {
  if (from == nullptr || nFrom < 1 || static_cast<unsigned int>(nFrom) > m_nLength) return 0;
  const size_t lenTo = to != nullptr && nTo > 0 ? static_cast<size_t>(nTo) : 0;
  int pos = nPos(from, nFrom, start);
  if (pos < 0) return 0;
  const size_t lenFrom = static_cast<size_t>(nFrom);
  // Patterns taken from this text: the in-place overwrite would change them under the search.
  std::basic_string<T> fromCopy, toCopy;
  if (_bInBlock(from)) from = (fromCopy.assign(from, lenFrom)).c_str();
  if (lenTo != 0 && _bInBlock(to)) to = (toCopy.assign(to, lenTo)).c_str();
  int replaced = 0;
  if (lenFrom == lenTo) {
    for (; pos >= 0; pos = nPos(from, nFrom, pos + nFrom), ++replaced)
      std::memcpy(m_pData + pos, to, lenTo * sizeof(T));
    return replaced;
  }
  // Different lengths: the result is built once, in a new block of the final size.
  uint64_t occurrences = 0;
  for (int p = pos; p >= 0; p = nPos(from, nFrom, p + nFrom)) ++occurrences;
  const uint64_t newLength = m_nLength - occurrences * lenFrom + occurrences * lenTo;
  if (newLength > kMaxLength) return 0;
  CXYStringConcat<T> out(m_nStep);
  const void* none = nullptr;
  if (newLength != 0 && !out._bGrow(newLength, none)) return 0;
  size_t done = 0;  // units of the old text already handed over
  for (int p = pos; p >= 0; p = nPos(from, nFrom, static_cast<int>(done))) {
    out.Add(m_pData + done, static_cast<int>(static_cast<size_t>(p) - done));
    out.Add(to, static_cast<int>(lenTo));
    done = static_cast<size_t>(p) + lenFrom;
    ++replaced;
  }
  out.Add(m_pData + done, static_cast<int>(m_nLength - done));
  *this = std::move(out);
  return replaced;
}

template <typename T>
void CXYStringConcat<T>::Majuscule() {
  if (m_nLength != 0) STR_ToUpperBuff(m_pData, static_cast<int>(m_nLength));
}

// ---- Queries ----

template <typename T>
BOOL CXYStringConcat<T>::bEstEgal(const T* s) const {
  const size_t n = std::char_traits<T>::length(s);
  if (n != m_nLength) return FALSE;
  return n == 0 || std::memcmp(m_pData, s, n * sizeof(T)) == 0 ? TRUE : FALSE;
}

template <typename T>
int CXYStringConcat<T>::nPos(const T* s, int len, int start) const {
  if (s == nullptr || len < 0 || m_nLength == 0 || start < 0 || static_cast<unsigned int>(start) > m_nLength)
    return -1;
  const size_t rest = m_nLength - static_cast<unsigned int>(start);
  if (static_cast<size_t>(len) > rest) return -1;
  if (len == 0) return start;
  const T* p = Find(m_pData + start, rest, s, static_cast<size_t>(len));
  return p != nullptr ? static_cast<int>(p - m_pData) : -1;
}

template <typename T>
int CXYStringConcat<T>::nPos(const T* s, int start) const {
  if (s == nullptr) return -1;
  const size_t n = std::char_traits<T>::length(s);
  return n > kMaxLength ? -1 : nPos(s, static_cast<int>(n), start);
}

template <typename T>
int CXYStringConcat<T>::nPos(T c, int start) const {
  if (m_nLength == 0 || start < 0 || static_cast<unsigned int>(start) > m_nLength) return -1;
  const T* p = FindChar(m_pData + start, m_nLength - static_cast<unsigned int>(start), c);
  if (p != nullptr) return static_cast<int>(p - m_pData);
  return c == 0 ? static_cast<int>(m_nLength) : -1;
}

template class CXYStringConcat<char>;
template class CXYStringConcat<wchar_t>;
