#include "sql/navariant.h"

#include <algorithm>
#include <cstring>

#include "common/ctstring.h"
#include "common/xystring.h"
#include "common/zvbin.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "platform/xfile.h"
#include "sql/naconvertvariant.h"
#include "values/any_display.h"
#include "values/any_operators.h"
#include "values/idecimal.h"
#include "values/money.h"

namespace {

constexpr int kSiteLoadFile = 1;
constexpr int kSiteStoreFile = 2;
constexpr int kSiteLoadRead = 3;
constexpr int kSiteLoadShrunk = 4;
constexpr unsigned int kFileBlock = 16384;
constexpr unsigned int kErrFileNotFound = 15;

void RaiseFileError(CNAError* error, int site, const wchar_t* path, CXFile& file) {
  const CXError* e = file.pclGetXError();
  const wchar_t* message = e != nullptr ? e->pszGetSystemErrorMessage() : L"";
  CNAError::g_RaiseUserError(error, NA_ERRORTYPE_DEFAULT, NA_SRC_VARIANT, site, nullptr, nullptr, nullptr,
                             kErrFileNotFound, path != nullptr ? path : L"", message != nullptr ? message : L"");
}

}  // namespace

BOOL CNAVariant::vbChangeZVType(unsigned short type, int) {
  return m_clValue.__nCastTo(type, nullptr, 1) <= 99 ? TRUE : FALSE;
}

BOOL CNAVariant::bSetValue(const CAny* value) {
  if (value == nullptr || value == &m_clValue) return TRUE;
  m_clValue = *value;
  return TRUE;
}

BOOL CNAVariant::bSetValue(const unsigned char* bytes, unsigned int length) {
  m_clValue.SetValueByte(bytes, length);
  return TRUE;
}

void CNAVariant::_SetFixed(unsigned short type, const void* bytes) {
  m_clValue.__SetType(type, 0);
  m_clValue.Intern()->SetValue(bytes);
  m_clValue.SetFlags(0);
}

#define QX_TYPED_SETTER(T, setter)  \
  BOOL CNAVariant::bSetValue(T v) { \
    m_clValue.setter(v);            \
    return TRUE;                    \
  }
QX_TYPED_SETTER(unsigned char, SetUI1)
QX_TYPED_SETTER(unsigned short, SetUI2)
QX_TYPED_SETTER(unsigned int, SetUI4)
QX_TYPED_SETTER(unsigned long long, SetUI8)
QX_TYPED_SETTER(char, SetI1)
QX_TYPED_SETTER(short, SetI2)
QX_TYPED_SETTER(int, SetI4)
QX_TYPED_SETTER(long long, SetI8)
QX_TYPED_SETTER(float, SetR4)
QX_TYPED_SETTER(double, SetR8)
#undef QX_TYPED_SETTER

BOOL CNAVariant::bSetValue(bool v) {
  m_clValue.SetBOOL(v ? 1 : 0);
  return TRUE;
}

BOOL CNAVariant::bSetValue(const CMoney& v) {
  _SetFixed(ZV_CY, &v);
  return TRUE;
}

BOOL CNAVariant::bGetValue(CAny* out) const {
  if (out == nullptr) return FALSE;
  if (out != &m_clValue) *out = m_clValue;
  return TRUE;
}

BOOL CNAVariant::bGetValue(const CAny** out) const {
  if (out == nullptr) return FALSE;
  *out = &m_clValue;
  return TRUE;
}

const void* CNAVariant::pGetData() const {
  void* p = nullptr;
  if (m_clValue.wGetType() == ZV_VIDE || m_clValue.Intern()->nGetDataAdr(&p) != 0) return nullptr;
  return p;
}

unsigned int CNAVariant::nGetSize() const {
  unsigned int n = 0;
  return m_clValue.Intern()->nGetDataSize(&n) == 0 ? n : 0;
}

unsigned int CNAVariant::nGetUtilDataSize() const {
  unsigned int n = 0;
  return m_clValue.Intern()->nGetUtilDataSize(&n) == 0 ? n : 0;
}

BOOL CNAVariant::bCopyVariant(const CNAVariant* source) {
  if (source == nullptr) {
    m_clValue.SetNull(true);
    return TRUE;
  }
  return bSetValue(&source->m_clValue);
}

CNAConvertVariant* CNAVariant::pclGetCloneVariant() const {
  CNADriver* driver = CNADriver::s_pclDriver;
  CNAConvertVariant* clone = driver != nullptr ? driver->pclAllocVariant(nullptr, nullptr) : nullptr;
  if (clone != nullptr) clone->CNAVariant::bCopyVariant(this);
  return clone;
}

int CNAVariant::nCmp(const CNAVariant* other) const {
  if (other == this) return 0;
  if (other == nullptr) return 1;
  const unsigned int size = vnGetSize();
  if (m_clValue.wGetTypeWord() == other->m_clValue.wGetTypeWord() && size == other->vnGetSize()) {
    const void* a = vpGetData();
    const void* b = other->vpGetData();
    if (size == 0 || a == nullptr || b == nullptr) return 0;
    const int c = memcmp(a, b, size);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  CAny a, b;
  vbGetValue(&a);
  other->vbGetValue(&b);
  int result = 0;
  return nCompare(a, b, &result, 0) == 0 ? result : 0;
}

BOOL CNAVariant::bEqualsNAVariant(const CAny* other) const {
  CAny mine;
  vbGetValue(&mine);
  const bool bMineVoid = mine.bIsNull() || mine.wGetType() == ZV_VIDE;
  const bool bOtherVoid = other == nullptr || other->bIsNull() || other->wGetType() == ZV_VIDE;
  if (bMineVoid && bOtherVoid) return TRUE;
  if (bMineVoid || bOtherVoid) return FALSE;
  int equal = 0;
  return nEgalite(mine, *other, &equal, 0) == 0 && equal ? TRUE : FALSE;
}

BOOL CNAVariant::bEqualsNAVariant(const CNAVariant* other) const {
  if (other == this) return TRUE;
  if (other == nullptr) return bEqualsNAVariant(static_cast<const CAny*>(nullptr));
  CAny value;
  other->vbGetValue(&value);
  return bEqualsNAVariant(&value);
}

BOOL CNAVariant::g_bEqualsNAVariant(const CNAConvertVariant* a, const CNAConvertVariant* b) {
  const bool bAVoid = a == nullptr || a->pclGetValue()->bIsNull();
  const bool bBVoid = b == nullptr || b->pclGetValue()->bIsNull();
  if (bAVoid || bBVoid) return bAVoid && bBVoid ? TRUE : FALSE;
  return a->bEqualsNAVariant(b);
}

uint32_t CNAVariant::nChecksum32() const {
  const auto* p = static_cast<const unsigned char*>(vpGetData());
  unsigned int n = p != nullptr ? vnGetSize() : 0;
  uint32_t sum = 0;
  for (; n >= 4; n -= 4, p += 4)
    sum += static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
  for (; n > 0; --n, ++p) sum += *p;
  return sum;
}

namespace {

// Whether the value's first character is the terminator, for the ANSI and wide kinds given.
BOOL bEmptyText(const CNAVariant& v, bool (*ansi)(unsigned short), bool (*wide)(unsigned short)) {
  if (v.pclGetValue()->bIsNull() || v.vbIsEmpty()) return TRUE;
  const unsigned short type = v.pclGetValue()->wGetType();
  const void* p = v.vpGetData();
  if (ansi(type)) return p == nullptr || v.vnGetSize() == 0 || *static_cast<const char*>(p) == 0;
  if (wide(type)) return p == nullptr || v.vnGetSize() < sizeof(wchar_t) || *static_cast<const wchar_t*>(p) == 0;
  return FALSE;
}

bool bAnsiKind(unsigned short t) { return g_bIsZVTextAnsi(t) && t != ZV_DATEA && t != ZV_TIMEA; }
bool bWideKind(unsigned short t) { return g_bIsZVTextWide(t) && t != ZV_DATEW && t != ZV_TIMEW; }

}  // namespace

BOOL CNAVariant::bIsEmptyString() const { return bEmptyText(*this, bAnsiKind, bWideKind); }
BOOL CNAVariant::bIsEmptyStringEx() const { return bEmptyText(*this, g_bIsZVTextAnsi, g_bIsZVTextWide); }

BOOL CNAVariant::bIsNumeric0() const {
  if (m_clValue.bIsNull() || vbIsEmpty()) return TRUE;
  const unsigned short type = m_clValue.wGetType();
  if (type < ZV_BOOL || type > ZV_UIX) return FALSE;
  CAny value;
  if (!vbGetValue(&value)) return TRUE;
  if (value.__nCastTo(ZV_R8, nullptr, 1) > 99) return FALSE;
  double d = 1;
  return value.nGetREAL(&d) == 0 && d == 0.0 ? TRUE : FALSE;
}

BOOL CNAVariant::bGetDecimalInfo(int* precision, int* scale) const {
  int p = 0, s = 0;
  if (precision != nullptr) *precision = 0;
  if (scale != nullptr) *scale = 0;
  CAny value;
  if (!vbGetValue(&value) || value.bIsNull()) return FALSE;
  if (value.wGetType() != ZV_DECIMAL && value.__nCastTo(ZV_DECIMAL, nullptr, 1) > 99) return FALSE;
  IDecimal* dec = nullptr;
  value.Intern()->nFillBuffer(&dec);
  if (dec == nullptr) return FALSE;
  dec->GetPrecisionScale(&p, &s);
  if (precision != nullptr) *precision = p;
  if (scale != nullptr) *scale = s;
  return TRUE;
}

void CNAVariant::GetString(CXYString<wchar_t>* out, const wchar_t* format, int option) const {
  CAny value;
  vbGetValue(&value);
  nGetString(out, value, format, option);
}

void CNAVariant::GetString(CTString* out, const wchar_t* format, int option) const {
  CAny value;
  vbGetValue(&value);
  nGetString(out, value, format, option);
}

BOOL CNAVariant::gbLoadFile(CAny* value, const wchar_t* path, CNAError* error, int binary) {
  CXFile file;
  if (!file.bOpen(path, IXStream::ACCESS_READ, IXStream::SHARE_SHARED, IXStream::CREATE_OPEN, IXStream::FLAG_NONE,
                  nullptr)) {
    RaiseFileError(error, kSiteLoadFile, path, file);
    return FALSE;
  }
  // A directory opens too, and the size it gives means nothing: its first read fails, named,
  // before that size is taken for an allocation.
  unsigned char block[kFileBlock];
  unsigned int n = 0;
  if (!file.bRead(block, kFileBlock, &n)) {
    RaiseFileError(error, kSiteLoadRead, path, file);
    return FALSE;
  }
  const long long size = file.oGetSize();
  if (size < 0) {
    RaiseFileError(error, kSiteLoadRead, path, file);
    return FALSE;
  }
  CZVBIN bin;
  // The host's binary has an int length: a larger file is refused as the allocator would.
  if (size > ZV_MAX_LENGTH || (size > 0 && bin.nSetSize(static_cast<int>(size)) != 0)) {
    if (error != nullptr) error->pclGetXError()->SetErrorNoMemory();
    return FALSE;
  }
  unsigned int got = 0;
  const unsigned int total = static_cast<unsigned int>(size);
  for (;;) {
    const unsigned int take = std::min(n, total - got);
    if (take > 0) memcpy(bin.pGetData() + got, block, take);
    got += take;
    // A file that grew since it was measured is cut at the measured size.
    if (got == total || n == 0) break;
    if (!file.bRead(block, kFileBlock, &n)) {
      RaiseFileError(error, kSiteLoadRead, path, file);
      return FALSE;
    }
  }
  // A file that shrank while read is not the file measured: a part of it would pass for the whole.
  if (got < total) {
    RaiseFileError(error, kSiteLoadShrunk, path, file);
    if (error != nullptr) {
      CTString counts;
      counts.printf(L"##(IXStream)-A lire=<%u>, lu=<%u>##", total, got);
      error->AddDebugMessageNoFormat(counts.pszGet());
    }
    return FALSE;
  }
  if (value != nullptr) {
    if (binary != 0) {
      value->SetBIN(bin.pGetData(), got);
    } else {
      value->__SetType(ZV_DSTRA, 0);
      value->Intern()->SetValue(got > 0 ? bin.pGetData() : reinterpret_cast<const BYTE*>(""), got);
      value->SetFlags(0);
    }
  }
  return TRUE;
}

BOOL CNAVariant::gbStoreFile(const CAny* value, const wchar_t* path, CNAError* error) {
  CXFile file;
  // A write-only descriptor takes no shared (read) lock: the file is held exclusively while written.
  if (!file.bOpen(path, IXStream::ACCESS_WRITE, IXStream::SHARE_EXCLUSIVE, IXStream::CREATE_ALWAYS, IXStream::FLAG_NONE,
                  nullptr)) {
    RaiseFileError(error, kSiteStoreFile, path, file);
    return FALSE;
  }
  void* data = nullptr;
  unsigned int size = 0;
  // The useful bytes only: a text's terminator would come back as one more character when the
  // file is loaded again.
  if (value == nullptr || value->Intern()->nGetUtilDataSize(&size) != 0) return FALSE;
  // An empty value leaves an empty file, whether or not its class has a data address.
  if (size == 0) return TRUE;
  if (value->Intern()->nGetDataAdr(&data) != 0) return FALSE;
  unsigned int written = 0;
  return data != nullptr && file.bWrite(data, size, &written) && written == size ? TRUE : FALSE;
}
