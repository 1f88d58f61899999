// Host dynamic strings: CXYString<wchar_t> (wide text, 4-byte characters) and CXYString<char>
// (narrow text of some code page), with their shared base CBaseStrMem, the view STManipAUB and
// the static standard name. The binary buffer CZVBIN is in common/zvbin.h; conversions between
// encodings are declared here and built in common/xystring_conversion.cpp.
//
// Ownership: a value is one pointer to the first data byte of a block that the host's string
// allocator (CInformationModule::ms_piStrMemAlloc) hands out, or null for the empty value. The
// block header (platform/istrmemalloc.h) holds flags, a reference count, the capacity and the
// length, all in bytes. Copying a value shares its block; a value that changes a shared block
// first makes a private copy, so a change never shows through another value. Counts change only
// atomically, so values on different threads may share a block; one value object belongs to one
// thread at a time.
//
// Shared rules:
// - Counts and positions are in units: bytes for char, characters for wchar_t. A count of -1,
//   where accepted, means the whole terminated source.
// - A block's byte size may not exceed XYSTR_MAX_BYTES: larger requests give XYSTR_ERR_SIZE and
//   leave the value as it was, except where an operation releases its block first.
// - Results: 0, XYSTR_ERR_SIZE, XYSTR_ERR_CONVERSION, or the allocator's own code unchanged.
// - Text is always followed by a zero unit (4 zero bytes in narrow text); the length excludes it.
// - A failed copy on write leaves the value empty; a failed growth leaves it unchanged.
#pragma once

#include <atomic>
#include <concepts>
#include <cstring>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/istrmemalloc.h"
#include "platform/wintypes.h"

// Result codes besides 0 and the allocator's own.
enum : int {
  XYSTR_ERR_CONVERSION = 105,  // a conversion produced nothing
  XYSTR_ERR_SIZE = 108,        // a size below 0 or above XYSTR_MAX_BYTES
  XYSTR_ERR_NOT_BYTE = 115,    // an array element does not fit a byte
};
constexpr int64_t XYSTR_MAX_BYTES = 0x7FFFFEFF;
// Header flag bit 0: the content ends with an end marker (byte 0xFF, character 0xFFFFFFFF). The
// other bits belong to the host: copied, never interpreted.
constexpr uint32_t XYSTR_FLAG_END_MARKER = 0x1;

// The host allocator's allocation and reallocation, through the old slots (1, 2) when its version
// is below 2 and the new ones (4, 5) otherwise; dwOption goes to the new forms only.
int nAllocStrMem(IStrMemAlloc* alloc, void** ppData, uint32_t nBytes, uint32_t dwOption);
int nReallocStrMem(IStrMemAlloc* alloc, void** ppData, uint32_t nBytes, uint32_t dwOption);

// Reference counting and the block operations that the value classes share. Sizes in bytes.
class CBaseStrMem {
 public:
  // A 32-bit zero: the content handed out for a value without one.
  static const uint32_t ChaineVide;

  // Drops one reference of the block at pData (null: nothing); the last one frees it.
  static void s_ReleaseStrMem(void* pData);
  static void s_AddRefStrMem(void* pData);
  // Another value holds the block too (count read atomically: 2 or more).
  static BOOL s_bIsShared(const void* pData) {
    return pData != nullptr && std::atomic_ref<int32_t>(Header(pData)->nRefCount).load(std::memory_order_acquire) >= 2;
  }

  static uint32_t s_nLength(const void* pData) { return pData != nullptr ? Header(pData)->dwLength : 0; }
  static uint32_t s_nCapacity(const void* pData) { return pData != nullptr ? Header(pData)->dwCapacity : 0; }
  static uint32_t s_dwFlags(const void* pData) { return pData != nullptr ? Header(pData)->dwFlags : 0; }

 protected:
  // By address arithmetic: the header lies before the data pointer, outside what it points into.
  static STStrMemHeader* Header(const void* pData) {
    return reinterpret_cast<STStrMemHeader*>(reinterpret_cast<uintptr_t>(pData) - sizeof(STStrMemHeader));
  }

  // New block of nBytes holding the first nCopy bytes of src (null: none); length := nCopy.
  // *ppData is written only on success.
  static int _nNewBlock(void** ppData, int64_t nBytes, const void* src, int64_t nCopy, uint32_t dwOption,
                        bool bTerminated);
  // Makes the block writable with room for nBytes: grows a block held alone, copies a shared one
  // (keeping min(length, nBytes) bytes, and the flags word when bKeepFlags). No block: a new empty
  // one (nothing for 0 bytes).
  static int _nMakeWritable(void** ppData, int64_t nBytes, uint32_t dwOption, bool bTerminated, bool bKeepFlags);
  // Replaces the content by nBytes of src (which may lie in the block): a block held alone is
  // reused (end-marker flag cleared), otherwise a new block replaces the reference.
  static int _nReplaceAll(void** ppData, const void* src, int64_t nBytes, uint32_t dwOption, bool bTerminated);
  // Appends nBytes of src (which may lie in the block). bClearMarker clears flag bit 0.
  static int _nAppend(void** ppData, const void* src, int64_t nBytes, bool bTerminated, bool bClearMarker);
  // Drops the reference and nulls the pointer.
  static void _Release(void** ppData);
  // Shares the block at pOther (its reference added before the own one is dropped).
  static void _Share(void** ppData, void* pOther);
  static void _SetLength(void* pData, uint32_t nBytes, bool bTerminated) {
    Header(pData)->dwLength = nBytes;
    if (bTerminated) memset(static_cast<char*>(pData) + nBytes, 0, 4);
  }
  // The block lies under src: src points into [data, data + capacity].
  static bool _bInside(const void* pData, const void* src);
};

template <typename T>
class CXYString : public CBaseStrMem {
  static_assert(std::is_same_v<T, char> || std::is_same_v<T, wchar_t>, "narrow or wide text");

 public:
  // The other text form: wide for a narrow string, narrow for a wide one.
  using OtherT = std::conditional_t<std::is_same_v<T, char>, wchar_t, char>;
  // The most units a string may hold (their byte size must fit XYSTR_MAX_BYTES).
  static constexpr int kMaxUnits = static_cast<int>(XYSTR_MAX_BYTES / sizeof(T));
  // Readers use it in place of a null data pointer.
  static constexpr T ChaineVide[1] = {0};

  CXYString() = default;
  // A copy of a terminated text; null, empty or no memory give the empty value.
  explicit CXYString(const T* psz);
  CXYString(const CXYString& other) noexcept;
  CXYString(CXYString&& other) noexcept : m_pData(other.m_pData) { other.m_pData = nullptr; }
  CXYString& operator=(const CXYString& other) noexcept;
  CXYString& operator=(CXYString&& other) noexcept;
  ~CXYString() { ReleaseDynStr(); }

  // ---- Reading ----
  T* pGetData() const { return m_pData; }
  const T* pszGet() const { return m_pData != nullptr ? m_pData : ChaineVide; }
  int nGetLength() const { return static_cast<int>(s_nLength(m_pData) / sizeof(T)); }
  int nGetCapacity() const { return static_cast<int>(s_nCapacity(m_pData) / sizeof(T)); }
  uint32_t dwGetFlags() const { return s_dwFlags(m_pData); }
  BOOL bIsEmpty() const { return nGetLength() == 0; }

  // ---- Ownership ----
  void ReleaseDynStr() { _Release(Slot()); }
  // Hands the block over with its reference; the value becomes empty.
  T* Detach() {
    T* p = m_pData;
    m_pData = nullptr;
    return p;
  }
  // Adopts pData with the reference the caller hands over (the own block is released first).
  void Attach(T* pData);

  // ---- Blocks ----
  // New block of n units holding m units of src (m clipped to n; null src: none), terminated.
  // n 0: nothing. A block already held is released once the new one exists.
  int __nNew(int n, const T* src, int m, uint32_t dwOption = 0);
  // Copies n units to unit pos of a block held alone with room for them; length := pos + n.
  // Anything else (null src, no room, shared block) is ignored.
  void __FillDynStr(const T* src, int n, int pos);
  // Makes the block writable with room for n units (see CBaseStrMem::_nMakeWritable).
  int __nPrepareModification(int n, uint32_t dwOption = 0);
  // Room for n units, keeping the text (a shared block's copy keeps at most n). The length is not
  // set: the caller writes the text, then SetUtilLength.
  int nSetLength(int n);
  // Sets the length (and terminator) of a block held alone, n within its capacity; else ignored.
  void SetUtilLength(int n) {
    if (m_pData == nullptr || n < 0 || n > nGetCapacity() || s_bIsShared(m_pData)) return;
    _SetLength(m_pData, static_cast<uint32_t>(n) * sizeof(T), true);
  }
  // Room for a new text of n units, written in place and then SetUtilLength: a block held alone
  // is kept (grown when too small, its end marker cleared), a shared one is left to its other
  // holders, and no block is made for 0. The old text is not to be read after it.
  int nPrepareRewrite(int n) {
    // The block of a column read row after row: held alone and long enough.
    if (m_pData == nullptr || n < 0 || static_cast<uint64_t>(n) * sizeof(T) > s_nCapacity(m_pData) ||
        s_bIsShared(m_pData))
      return _nPrepareRewriteElsewhere(n);
    Header(m_pData)->dwFlags &= ~XYSTR_FLAG_END_MARKER;
    return 0;
  }

  // ---- Assignment and appending ----
  // n units of src (-1: the whole terminated src). Null or empty src, or n below 1: empty.
  int nAffecte(const T* src, int n);
  // The same (a plain copy, whatever its name says).
  int nAffecteConversion(const T* src, int n) { return nAffecte(src, n); }
  void Set(const T* src) { nAffecte(src, -1); }
  // Appends n units (n below 1 or null src: nothing), or a terminated text. Clears the end marker.
  int nConcat(const T* src, int n);
  int nConcat(const T* src);
  int Add(const T* src) { return nConcat(src); }
  // Appends another string: onto an empty value its block is shared; the end-marker flag becomes
  // the other's. Appending a string to itself doubles it.
  int nConcat(const CXYString& other);

  // ---- Editing and searching ----
  // min(n, length - start) units at start (n below 0: up to the end) become len units of src
  // (len -1: the whole terminated src; null src: none). Nothing unless 0 <= start < length.
  void Remplace(int start, int n, const T* src, int len);
  // First occurrence of the n units of s at or after start, compared unit by unit; -1 if none.
  int nPosBinaire(const T* s, int n, int start) const;
  // Replaces every occurrence at or after start (non-overlapping, left to right) by nTo units of
  // to (null: none). A result of length 0 empties the value. 0 or an error (value unchanged).
  int RemplaceBinaire(const T* from, int nFrom, const T* to, int nTo, int start);

  // ---- Conversions (common/xystring_conversion.cpp) ----
  // Every conversion replaces the value; a null source or a count below 1 gives the empty value
  // and 0. The source may be this value's own text.

  // Narrow <- wide (n -1: the whole terminated s) in code page cp, with defaultChar for
  // unmappable characters and extra bytes of room after the text. Wide <- narrow likewise
  // (cp 1252 with flags 0 by the module's own table; defaultChar unused). A conversion that
  // writes nothing gives the empty value and 0.
  int __nConversion(const OtherT* s, int n, int extra, int cp, int flags, const T* defaultChar);
  // The whole of src with the end-marker rule: a marked src (flag bit 0, last character
  // 0xFFFFFFFF) converted to a code page other than 65001 ends with the byte 0xFF and gets flags
  // word 1.
  int nAffecteConversionExplicite(const CXYString<wchar_t>& src, int cp, int flags, const char* defaultChar);
  // Narrow: to UTF-8 (wide s, or narrow s of code page cp). Wide: nothing, 0.
  int nAffecteToUTF8(const wchar_t* s, int n, int unused);
  int nAffecteToUTF8(const char* s, int n, int cp);
  // UTF-8 s into code page cp (65001: a copy); 105 when nothing results. Narrow only.
  int nAffecteUTF8(const char* s, int n, int cp, int flags, const char* defaultChar, int* usedDefault);
  // UTF-8 s into wide text. Wide only.
  int nAffecteUTF8(const char* s, int n);
  // UTF-16 units / UTF-32 characters into code page cp; 105 when nothing results. Narrow only.
  int nAffecteUTF16(const unsigned short* s, int n, int cp, int flags, const char* defaultChar);
  int nAffecteUTF32(const wchar_t* s, int n, int cp, int flags, const char* defaultChar);
  // UTF-16 units (a surrogate pair gives one character) / UTF-32 characters into wide text; 105
  // when nothing results.
  int nAffecteUTF16(const unsigned short* s, int n);
  int nAffecteUTF32(const wchar_t* s, int n);
  // The text as a new malloc'd text of the other form (narrow read as / wide written in code page
  // cp), with the end-marker rule; an empty value gives null and TRUE. FALSE on failure (out
  // null). The caller frees out.
  BOOL bCreateY(OtherT*& out, int cp) const;

 private:
  template <typename>
  friend class CXYString;
  void** Slot() { return reinterpret_cast<void**>(&m_pData); }
  int nAffecteWhole(const T* src, int n);
  // nPrepareRewrite when the block is shared, missing or too short.
  int _nPrepareRewriteElsewhere(int n);
  void SetFlagsWord(uint32_t dwFlags) { Header(m_pData)->dwFlags = dwFlags; }

  T* m_pData = nullptr;
};

// Conversion members: one form per text type (defined in common/xystring_conversion.cpp).
template <>
int CXYString<char>::__nConversion(const wchar_t* s, int n, int extra, int cp, int flags, const char* defaultChar);
template <>
int CXYString<wchar_t>::__nConversion(const char* s, int n, int extra, int cp, int flags,
                                      const wchar_t* defaultChar);
template <>
int CXYString<char>::nAffecteConversionExplicite(const CXYString<wchar_t>& src, int cp, int flags,
                                                 const char* defaultChar);
template <>
int CXYString<char>::nAffecteToUTF8(const wchar_t* s, int n, int unused);
template <>
int CXYString<char>::nAffecteToUTF8(const char* s, int n, int cp);
template <>
int CXYString<wchar_t>::nAffecteToUTF8(const wchar_t* s, int n, int unused);
template <>
int CXYString<wchar_t>::nAffecteToUTF8(const char* s, int n, int cp);
template <>
int CXYString<char>::nAffecteUTF8(const char* s, int n, int cp, int flags, const char* defaultChar,
                                  int* usedDefault);
template <>
int CXYString<wchar_t>::nAffecteUTF8(const char* s, int n);
template <>
int CXYString<char>::nAffecteUTF16(const unsigned short* s, int n, int cp, int flags, const char* defaultChar);
template <>
int CXYString<char>::nAffecteUTF32(const wchar_t* s, int n, int cp, int flags, const char* defaultChar);
template <>
int CXYString<wchar_t>::nAffecteUTF16(const unsigned short* s, int n);
template <>
int CXYString<wchar_t>::nAffecteUTF32(const wchar_t* s, int n);
template <>
BOOL CXYString<char>::bCreateY(wchar_t*& out, int cp) const;
template <>
BOOL CXYString<wchar_t>::bCreateY(char*& out, int cp) const;

extern template class CXYString<char>;
extern template class CXYString<wchar_t>;

// A view of a host value's block, filled by the variant value: {data pointer, type, 0}.
struct STManipAUB {
  enum : int {
    TYPE_DSTRW = 16,  // CXYString<wchar_t>
    TYPE_DSTRA = 19,  // CXYString<char>
    TYPE_BIN = 28,    // CZVBIN
  };

  void* pData;
  int nType;
  int nReserved;

  // The data, or the matching empty text when there is none.
  const char* pszGetStringA() const;
  const wchar_t* pszGetStringW() const;
  // The content with its terminator (narrow + 1 byte, wide + 4, binary none). Never null: an
  // empty value, or a type other than the three, gives an empty text readable for the size.
  const BYTE* pbyGetContenu(int& size) const;
  // The content without terminator.
  const BYTE* pbyGetContenuUtile(int& size) const;
  // Length in units (characters for wide text), and in bytes. 0 for other types.
  int nGetLongueur() const;
  int nGetTailleUtile() const;
};

// A name and its standard form. Derived classes build the standard form.
class CNomStandard {
 public:
  virtual void __vConstruitNomStandard() = 0;
  const wchar_t* pszGetNom() const { return m_pszNom; }
  const wchar_t* pszGetNomStandard() const { return m_pszNomStandard; }

 protected:
  constexpr CNomStandard(const wchar_t* pszNom, const wchar_t* pszNomStandard)
      : m_pszNom(pszNom), m_pszNomStandard(pszNomStandard) {}
  ~CNomStandard() = default;

  const wchar_t* m_pszNom;
  const wchar_t* m_pszNomStandard;
};

// A standard name over static texts; ChaineVide has both names empty.
class CNomStandardStatique final : public CNomStandard {
 public:
  constexpr CNomStandardStatique(const wchar_t* pszNom, const wchar_t* pszNomStandard)
      : CNomStandard(pszNom, pszNomStandard) {}
  void __vConstruitNomStandard() override {}

  static CNomStandardStatique ChaineVide;
};
