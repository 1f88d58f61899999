#include "common/xystring.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/information_dll.h"

// ---- Host allocator ----

int nAllocStrMem(IStrMemAlloc* alloc, void** ppData, uint32_t nBytes, uint32_t dwOption) {
  return alloc->nGetVersion() < 2 ? alloc->nAllocStrMemOld(ppData, nBytes)
                                  : alloc->nAllocStrMemNew(ppData, nBytes, dwOption);
}

int nReallocStrMem(IStrMemAlloc* alloc, void** ppData, uint32_t nBytes, uint32_t dwOption) {
  return alloc->nGetVersion() < 2 ? alloc->nReallocStrMemOld(ppData, nBytes)
                                  : alloc->nReallocStrMemNew(ppData, nBytes, dwOption);
}

// ---- CBaseStrMem ----

const uint32_t CBaseStrMem::ChaineVide = 0;

namespace {


bool SizeOk(int64_t nBytes) { return nBytes >= 0 && nBytes <= XYSTR_MAX_BYTES; }

// A failed call must not leave a pointer the allocator may have touched: it works on a copy.
int Alloc(void** ppData, int64_t nBytes, uint32_t dwOption) {
  if (!SizeOk(nBytes)) return XYSTR_ERR_SIZE;
  void* p = nullptr;
  const int r = nAllocStrMem(CInformationModule::ms_piStrMemAlloc, &p, static_cast<uint32_t>(nBytes), dwOption);
  if (r == 0) *ppData = p;
  return r;
}

int Realloc(void** ppData, int64_t nBytes, uint32_t dwOption) {
  if (!SizeOk(nBytes)) return XYSTR_ERR_SIZE;
  void* p = *ppData;
  const int r = nReallocStrMem(CInformationModule::ms_piStrMemAlloc, &p, static_cast<uint32_t>(nBytes), dwOption);
  if (r == 0) *ppData = p;
  return r;
}

}  // namespace

void CBaseStrMem::s_ReleaseStrMem(void* pData) {
  if (pData == nullptr) return;
  // Only the holder that takes the count from 1 to 0 frees: the result of the decrement decides.
  if (std::atomic_ref<int32_t>(Header(pData)->nRefCount).fetch_sub(1, std::memory_order_acq_rel) == 1)
    CInformationModule::ms_piStrMemAlloc->FreeStrMem(pData);
}

void CBaseStrMem::s_AddRefStrMem(void* pData) {
  if (pData != nullptr) std::atomic_ref<int32_t>(Header(pData)->nRefCount).fetch_add(1, std::memory_order_relaxed);
}


bool CBaseStrMem::_bInside(const void* pData, const void* src) {
  if (pData == nullptr || src == nullptr) return false;
  const char* b = static_cast<const char*>(pData);
  const char* s = static_cast<const char*>(src);
  return std::less_equal<const char*>()(b, s) && std::less_equal<const char*>()(s, b + s_nCapacity(pData));
}

void CBaseStrMem::_Release(void** ppData) {
  void* p = *ppData;
  *ppData = nullptr;
  s_ReleaseStrMem(p);
}

void CBaseStrMem::_Share(void** ppData, void* pOther) {
  if (*ppData == pOther) return;
  s_AddRefStrMem(pOther);
  _Release(ppData);
  *ppData = pOther;
}

int CBaseStrMem::_nNewBlock(void** ppData, int64_t nBytes, const void* src, int64_t nCopy, uint32_t dwOption,
                            bool bTerminated) {
  void* p = nullptr;
  const int r = Alloc(&p, nBytes, dwOption);
  if (r != 0) return r;
  if (src == nullptr || nCopy < 0) nCopy = 0;
  nCopy = std::min(nCopy, nBytes);
  if (nCopy > 0) memcpy(p, src, static_cast<size_t>(nCopy));
  _SetLength(p, static_cast<uint32_t>(nCopy), bTerminated);
  *ppData = p;
  return 0;
}

int CBaseStrMem::_nMakeWritable(void** ppData, int64_t nBytes, uint32_t dwOption, bool bTerminated,
                                bool bKeepFlags) {
  if (!SizeOk(nBytes)) return XYSTR_ERR_SIZE;
  void* p = *ppData;
  if (p == nullptr) return nBytes == 0 ? 0 : _nNewBlock(ppData, nBytes, nullptr, 0, dwOption, bTerminated);
  if (!s_bIsShared(p)) {
    if (nBytes <= s_nCapacity(p)) return 0;
    const int r = Realloc(ppData, nBytes, dwOption);
    // Only the content is the allocator's to keep: the terminator is written again.
    if (r == 0 && bTerminated) _SetLength(*ppData, s_nLength(*ppData), true);
    return r;
  }
  // Shared: this value leaves the block to its other holders with or without a copy of its own.
  void* q = nullptr;
  const int r = _nNewBlock(&q, nBytes, p, std::min<int64_t>(s_nLength(p), nBytes), dwOption, bTerminated);
  if (r == 0 && bKeepFlags) Header(q)->dwFlags = Header(p)->dwFlags;
  *ppData = q;
  s_ReleaseStrMem(p);
  return r;
}

int CBaseStrMem::_nReplaceAll(void** ppData, const void* src, int64_t nBytes, uint32_t dwOption, bool bTerminated) {
  if (!SizeOk(nBytes)) return XYSTR_ERR_SIZE;
  void* p = *ppData;
  if (p != nullptr && !s_bIsShared(p)) {
    // src may lie in the block only within its length, so growing never moves it away.
    if (nBytes > s_nCapacity(p)) {
      const int r = Realloc(ppData, nBytes, dwOption);
      if (r != 0) return r;
      p = *ppData;
    }
    memmove(p, src, static_cast<size_t>(nBytes));
    _SetLength(p, static_cast<uint32_t>(nBytes), bTerminated);
    // The content is new: a marker flag kept from the old content would mislabel its last unit.
    Header(p)->dwFlags &= ~XYSTR_FLAG_END_MARKER;
    return 0;
  }
  // The new block is filled before the old reference goes, since src may lie in the old block.
  void* q = nullptr;
  const int r = _nNewBlock(&q, nBytes, src, nBytes, dwOption, bTerminated);
  *ppData = q;
  s_ReleaseStrMem(p);
  return r;
}

int CBaseStrMem::_nAppend(void** ppData, const void* src, int64_t nBytes, bool bTerminated, bool bClearMarker) {
  void* p = *ppData;
  const int64_t length = s_nLength(p);
  const int64_t total = length + nBytes;
  if (nBytes < 0 || !SizeOk(total)) return XYSTR_ERR_SIZE;
  uint32_t flags = s_dwFlags(p);
  if (bClearMarker) flags &= ~XYSTR_FLAG_END_MARKER;
  if (p != nullptr && !s_bIsShared(p)) {
    if (total > s_nCapacity(p)) {
      // Growing may move the block: a source inside it moves along.
      const bool inside = _bInside(p, src);
      const ptrdiff_t offset = inside ? static_cast<const char*>(src) - static_cast<const char*>(p) : 0;
      const int r = Realloc(ppData, total, 0);
      if (r != 0) return r;
      p = *ppData;
      if (inside) src = static_cast<const char*>(p) + offset;
    }
    memmove(static_cast<char*>(p) + length, src, static_cast<size_t>(nBytes));
  } else {
    void* q = nullptr;
    const int r = _nNewBlock(&q, total, p, length, 0, bTerminated);
    if (r != 0) {
      _Release(ppData);
      return r;
    }
    memcpy(static_cast<char*>(q) + length, src, static_cast<size_t>(nBytes));
    *ppData = q;
    s_ReleaseStrMem(p);
    p = q;
  }
  Header(p)->dwFlags = flags;
  _SetLength(p, static_cast<uint32_t>(total), bTerminated);
  return 0;
}

// ---- CXYString<T> ----

namespace {

template <typename T>
int64_t Bytes(int64_t units) {
  return units * static_cast<int64_t>(sizeof(T));
}

template <typename T>
int TextLength(const T* s) {
  const size_t n = std::char_traits<T>::length(s);
  return n > static_cast<size_t>(CXYString<T>::kMaxUnits) ? CXYString<T>::kMaxUnits + 1 : static_cast<int>(n);
}

}  // namespace

template <typename T>
CXYString<T>::CXYString(const T* psz) {
  if (psz != nullptr && psz[0] != 0) nAffecte(psz, -1);
}

template <typename T>
CXYString<T>::CXYString(const CXYString& other) noexcept : m_pData(other.m_pData) {
  s_AddRefStrMem(m_pData);
}

template <typename T>
CXYString<T>& CXYString<T>::operator=(const CXYString& other) noexcept {
  _Share(Slot(), other.m_pData);
  return *this;
}

template <typename T>
CXYString<T>& CXYString<T>::operator=(CXYString&& other) noexcept {
  if (this != &other) {
    ReleaseDynStr();
    m_pData = other.m_pData;
    other.m_pData = nullptr;
  }
  return *this;
}

template <typename T>
void CXYString<T>::Attach(T* pData) {
  if (pData == m_pData) {
    // The caller's reference is one too many when the value already holds the block.
    s_ReleaseStrMem(pData);
    return;
  }
  ReleaseDynStr();
  m_pData = pData;
}

template <typename T>
int CXYString<T>::__nNew(int n, const T* src, int m, uint32_t dwOption) {
  if (n == 0) return 0;
  if (n < 0 || n > kMaxUnits) return XYSTR_ERR_SIZE;
  void* p = nullptr;
  const int r = _nNewBlock(&p, Bytes<T>(n), src, Bytes<T>(std::clamp(m, 0, n)), dwOption, true);
  if (r != 0) return r;
  ReleaseDynStr();
  m_pData = static_cast<T*>(p);
  return 0;
}

template <typename T>
void CXYString<T>::__FillDynStr(const T* src, int n, int pos) {
  if (src == nullptr || n < 0 || pos < 0 || s_bIsShared(m_pData)) return;
  if (m_pData == nullptr || static_cast<int64_t>(pos) + n > nGetCapacity()) return;
  memmove(m_pData + pos, src, static_cast<size_t>(Bytes<T>(n)));
  _SetLength(m_pData, static_cast<uint32_t>(Bytes<T>(pos + n)), true);
}

template <typename T>
int CXYString<T>::__nPrepareModification(int n, uint32_t dwOption) {
  if (n < 0 || n > kMaxUnits) return XYSTR_ERR_SIZE;
  return _nMakeWritable(Slot(), Bytes<T>(n), dwOption, true, true);
}

template <typename T>
int CXYString<T>::nSetLength(int n) {
  if (m_pData == nullptr) return __nNew(n, nullptr, 0);
  return __nPrepareModification(n);
}


template <typename T>
int CXYString<T>::_nPrepareRewriteElsewhere(int n) {
  if (n < 0 || n > kMaxUnits) return XYSTR_ERR_SIZE;
  if (s_bIsShared(m_pData)) ReleaseDynStr();
  const int r = nSetLength(n);
  if (r == 0 && m_pData != nullptr) Header(m_pData)->dwFlags &= ~XYSTR_FLAG_END_MARKER;
  return r;
}

template <typename T>
int CXYString<T>::nAffecteWhole(const T* src, int n) {
  if (n > kMaxUnits) return XYSTR_ERR_SIZE;
  return _nReplaceAll(Slot(), src, Bytes<T>(n), 0, true);
}

template <typename T>
int CXYString<T>::nAffecte(const T* src, int n) {
  if (src != nullptr && n == -1) n = TextLength(src);
  if (src == nullptr || n < 1) {
    ReleaseDynStr();
    return 0;
  }
  return nAffecteWhole(src, n);
}

template <typename T>
int CXYString<T>::nConcat(const T* src, int n) {
  if (src == nullptr || n < 1) return 0;
  if (n > kMaxUnits) return XYSTR_ERR_SIZE;
  if (m_pData == nullptr) return nAffecteWhole(src, n);
  return _nAppend(Slot(), src, Bytes<T>(n), true, true);
}

template <typename T>
int CXYString<T>::nConcat(const T* src) {
  return src != nullptr ? nConcat(src, TextLength(src)) : 0;
}

template <typename T>
int CXYString<T>::nConcat(const CXYString& other) {
  const int added = other.nGetLength();
  if (added == 0) return 0;
  if (bIsEmpty()) {
    _Share(Slot(), other.m_pData);
    return 0;
  }
  const int length = nGetLength();
  if (static_cast<int64_t>(length) + added > kMaxUnits) return XYSTR_ERR_SIZE;
  const uint32_t marker = other.dwGetFlags() & XYSTR_FLAG_END_MARKER;
  const int r = __nPrepareModification(length + added);
  if (r != 0) return r;
  // Read after the preparation: when other is this value, its text is in the block just made.
  memmove(m_pData + length, other.m_pData, static_cast<size_t>(Bytes<T>(added)));
  SetFlagsWord((dwGetFlags() & ~XYSTR_FLAG_END_MARKER) | marker);
  _SetLength(m_pData, static_cast<uint32_t>(Bytes<T>(length + added)), true);
  return 0;
}

template <typename T>
void CXYString<T>::Remplace(int start, int n, const T* src, int len) {
  const int length = nGetLength();
  if (start < 0 || start >= length) return;
  if (n < 0 || n > length - start) n = length - start;
  if (src == nullptr || len < -1) len = 0;
  if (len == -1) len = TextLength(src);
  const int64_t newLength = static_cast<int64_t>(length) - n + len;
  if (newLength > kMaxUnits) return;
  // A replacement taken from this very text would be overwritten while it is moved.
  T* copy = nullptr;
  if (len > 0 && _bInside(m_pData, src)) {
    copy = static_cast<T*>(malloc(static_cast<size_t>(Bytes<T>(len))));
    if (copy == nullptr) return;
    src = std::char_traits<T>::copy(copy, src, static_cast<size_t>(len));
  }
  if (__nPrepareModification(static_cast<int>(std::max<int64_t>(length, newLength))) == 0) {
    T* d = m_pData;
    std::char_traits<T>::move(d + start + len, d + start + n, static_cast<size_t>(length - start - n));
    if (len > 0) std::char_traits<T>::copy(d + start, src, static_cast<size_t>(len));
    _SetLength(d, static_cast<uint32_t>(Bytes<T>(newLength)), true);
  }
  free(copy);
}

template <typename T>
int CXYString<T>::nPosBinaire(const T* s, int n, int start) const {
  const int length = nGetLength();
  if (s == nullptr || n < 1 || start < 0 || static_cast<int64_t>(start) + n > length) return -1;
  const T* text = m_pData;
  const T* hit = std::search(text + start, text + length, s, s + n);
  return hit == text + length ? -1 : static_cast<int>(hit - text);
}

template <typename T>
int CXYString<T>::RemplaceBinaire(const T* from, int nFrom, const T* to, int nTo, int start) {
  const int first = nPosBinaire(from, nFrom, start);
  if (first < 0) return 0;
  if (to == nullptr || nTo < 0) nTo = 0;
  int64_t count = 0;
  for (int pos = first; pos >= 0; pos = nPosBinaire(from, nFrom, pos + nFrom)) ++count;
  const int length = nGetLength();
  const int64_t finalLength = length + count * (static_cast<int64_t>(nTo) - nFrom);
  if (finalLength > kMaxUnits) return XYSTR_ERR_SIZE;
  if (finalLength == 0) {
    ReleaseDynStr();
    return 0;
  }
  void* q = nullptr;
  const int r = _nNewBlock(&q, Bytes<T>(finalLength), nullptr, 0, 0, true);
  if (r != 0) return r;
  T* out = static_cast<T*>(q);
  int done = 0;
  for (int pos = first; pos >= 0; pos = nPosBinaire(from, nFrom, done)) {
    out = std::copy(m_pData + done, m_pData + pos, out);
    out = std::copy(to, to + nTo, out);
    done = pos + nFrom;
  }
  std::copy(m_pData + done, m_pData + length, out);
  _SetLength(q, static_cast<uint32_t>(Bytes<T>(finalLength)), true);
  ReleaseDynStr();
  m_pData = static_cast<T*>(q);
  return 0;
}

template class CXYString<char>;
template class CXYString<wchar_t>;

// ---- STManipAUB ----

namespace {
const BYTE* EmptyContent() { return reinterpret_cast<const BYTE*>(&CBaseStrMem::ChaineVide); }
}  // namespace

const char* STManipAUB::pszGetStringA() const {
  return pData != nullptr ? static_cast<const char*>(pData) : CXYString<char>::ChaineVide;
}

const wchar_t* STManipAUB::pszGetStringW() const {
  return pData != nullptr ? static_cast<const wchar_t*>(pData) : CXYString<wchar_t>::ChaineVide;
}

const BYTE* STManipAUB::pbyGetContenu(int& size) const {
  const int length = nGetTailleUtile();
  switch (nType) {
    case TYPE_DSTRA:
      size = length + 1;
      return reinterpret_cast<const BYTE*>(pszGetStringA());
    case TYPE_DSTRW:
      size = length + 4;
      return reinterpret_cast<const BYTE*>(pszGetStringW());
    case TYPE_BIN:
      size = length;
      return pData != nullptr ? static_cast<const BYTE*>(pData) : EmptyContent();
    default:
      size = 0;
      return EmptyContent();
  }
}

const BYTE* STManipAUB::pbyGetContenuUtile(int& size) const {
  size = nGetTailleUtile();
  return pData != nullptr && size > 0 ? static_cast<const BYTE*>(pData) : EmptyContent();
}

int STManipAUB::nGetLongueur() const {
  const int bytes = nGetTailleUtile();
  return nType == TYPE_DSTRW ? bytes / 4 : bytes;
}

int STManipAUB::nGetTailleUtile() const {
  if (nType != TYPE_DSTRA && nType != TYPE_DSTRW && nType != TYPE_BIN) return 0;
  return static_cast<int>(CBaseStrMem::s_nLength(pData));
}

// ---- CNomStandardStatique ----

constinit CNomStandardStatique CNomStandardStatique::ChaineVide(CXYString<wchar_t>::ChaineVide,
                                                                CXYString<wchar_t>::ChaineVide);
