#include "values/convertkey.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <type_traits>

#include "common/charset.h"
#include "common/utf.h"
#include "driver/nadriver.h"
#include "values/any.h"
#include "values/idecimal.h"
#include "values/money.h"
#include "values/vmbind.h"

namespace {

constexpr uint64_t kMaxKeySize = 0x7FFFFEFF;

// Engine item type to key type (item types 0 to 41).
constexpr signed char kKeyTypeOfItem[42] = {
    -1, -1, 1,  3,  2,  4,  6,  7,  9, 9,  1,  1,  18, 7,  1,  12, 12, 14, 13, -1, -1,
    -1, -1, 1,  5,  5,  10, 11, 17, 12, 13, -1, -1, 4,  15, 16, 8,  19, 4,  20, 21, 22};

template <typename T>
T Read(const void* p) {
  T v;
  memcpy(&v, p, sizeof v);
  return v;
}

// The n low bytes of v, most significant first.
void PutBigEndian(unsigned char* key, uint64_t v, unsigned int n) {
  for (unsigned int i = 0; i < n; ++i) key[i] = static_cast<unsigned char>(v >> (8 * (n - 1 - i)));
}

// Unsigned of n bytes as is; signed with the sign bit flipped so that negatives come first.
template <typename T>
void IntegerKey(unsigned char* key, const void* value) {
  uint64_t v = static_cast<uint64_t>(static_cast<std::make_unsigned_t<T>>(Read<T>(value)));
  if constexpr (std::is_signed_v<T>) v ^= uint64_t{1} << (8 * sizeof(T) - 1);
  PutBigEndian(key, v, sizeof(T));
}

// Units 0xD800..0xDFFF moved above 0xE000..0xFFFF: the unit order then is the code-point order.
uint16_t CodePointOrder(uint16_t u) {
  if (u < 0xD800) return u;
  return static_cast<uint16_t>(u >= 0xE000 ? u - 0x800 : u + 0x2000);
}

IKJTextService* TextService() {
  CNADriver* driver = CNADriver::s_pclDriver;
  IKJForNA* kj = driver != nullptr ? driver->piGetKJ() : nullptr;
  return kj != nullptr ? kj->piGetTextService() : nullptr;
}

// Characters (units) of a text of count before its first zero.
template <typename T>
int nBeforeZero(const void* text, unsigned int count) {
  unsigned int n = 0;
  while (n < count && Read<T>(static_cast<const unsigned char*>(text) + n * sizeof(T)) != 0) ++n;
  return static_cast<int>(n);
}

}  // namespace

// ---------------------------------------------------------------- type tables and sizes

int CKJConvertKey::nGetItemType(unsigned short zvType) {
  switch (zvType) {
    case ZV_BOOL: return 37;
    case ZV_UI1: return 36;
    case ZV_UI2: return 9;
    case ZV_UI4: return 26;
    case ZV_UI8: return 27;
    case ZV_I1: return 4;
    case ZV_I2: return 3;
    case ZV_I4: return 5;
    case ZV_I8: return 25;
    case ZV_CY: return 17;
    case ZV_R4: return 6;
    case ZV_R8: return 7;
    case ZV_DECIMAL: return 41;
    case ZV_DSTRW: return 40;
    case ZV_CARA: return 12;
    case ZV_PSTRA:
    case ZV_DSTRA:
    case 21:
    case 22:
    case 23: return 2;
    case ZV_DATEW: return 14;
    case ZV_TIMEW: return 11;
    case ZV_DATETIME: return 34;
    case ZV_DUREE: return 35;
    case ZV_BIN: return 28;
    case ZV_BUFFER: return 30;
    case ZV_PSTRW: return 39;
    case ZV_DATEA: return 14;
    case ZV_TIMEA: return 11;
    default: return 5;
  }
}

eITEMTYPE CKJConvertKey::eGetKeyType(int itemType) {
  if (itemType < 0 || itemType >= static_cast<int>(sizeof kKeyTypeOfItem)) return eITEMTYPE(-1);
  return eITEMTYPE(kKeyTypeOfItem[itemType]);
}

unsigned int CKJConvertKey::nCalculateKeySize(eITEMTYPE t, unsigned int n) {
  uint64_t size = n;
  switch (static_cast<int>(t)) {
    case 1:
    case 12: size = uint64_t{n} + 1; break;
    case 17: size = uint64_t{n} * 2; break;
    case 20:
    case 21: size = uint64_t{n} * 2 + 2; break;
    case 22: size = IDecimal::kKeySize; break;
    default: break;
  }
  return size > kMaxKeySize ? 0 : static_cast<unsigned int>(size);
}

unsigned int CKJConvertKey::nCalculateKeySize(unsigned short zvType, unsigned int n) {
  return nCalculateKeySize(eGetKeyType(nGetItemType(zvType)), n);
}

// ---------------------------------------------------------------- one kind each

void CKJConvertKey::_I1_to_Key(unsigned char* key, const void* value) { IntegerKey<int8_t>(key, value); }
void CKJConvertKey::_UI1_to_Key(unsigned char* key, const void* value) { IntegerKey<uint8_t>(key, value); }
void CKJConvertKey::_I2_to_Key(unsigned char* key, const void* value) { IntegerKey<int16_t>(key, value); }
void CKJConvertKey::_UI2_to_Key(unsigned char* key, const void* value) { IntegerKey<uint16_t>(key, value); }
void CKJConvertKey::_I4_to_Key(unsigned char* key, const void* value) { IntegerKey<int32_t>(key, value); }
void CKJConvertKey::_UI4_to_Key(unsigned char* key, const void* value) { IntegerKey<uint32_t>(key, value); }
void CKJConvertKey::_I8_to_Key(unsigned char* key, const void* value) { IntegerKey<int64_t>(key, value); }
void CKJConvertKey::_UI8_to_Key(unsigned char* key, const void* value) { IntegerKey<uint64_t>(key, value); }

void CKJConvertKey::__Rx_to_Key(unsigned char* key, const void* value, unsigned int size) {
  const auto* v = static_cast<const unsigned char*>(value);
  // -0.0 (the sign bit alone) keys as +0.0: equal values must give equal keys.
  bool bZero = (v[size - 1] & 0x7F) == 0;
  for (unsigned int i = 0; bZero && i + 1 < size; ++i) bZero = v[i] == 0;
  const bool bNegative = !bZero && (v[size - 1] & 0x80) != 0;
  for (unsigned int i = 0; i < size; ++i) {
    const unsigned char b = bZero ? 0 : v[size - 1 - i];
    key[i] = bNegative ? static_cast<unsigned char>(~b) : b;
  }
  if (!bNegative) key[0] |= 0x80;
}

void CKJConvertKey::_DateTime_to_Key(unsigned char* key, const void* value) {
  PutBigEndian(key, Read<uint32_t>(value), 4);
  PutBigEndian(key + 4, Read<uint32_t>(static_cast<const unsigned char*>(value) + 4), 4);
}

void CKJConvertKey::_CY_to_Key(unsigned char* key, const void* value) {
  const CMoney money = Read<CMoney>(value);
  MonetaireVersCleKJ(key, &money);
}

unsigned int CKJConvertKey::_Decimal_to_Key(unsigned char* key, const void* value, int precision, int scale) {
  IDecimal* decimal = gpiVMFactory != nullptr ? gpiVMFactory->piCreate(0) : nullptr;
  if (decimal == nullptr) return 0;
  decimal->nLoad(precision, scale, value);
  decimal->WriteKey(key);
  gpiVMFactory->Free(decimal);
  return IDecimal::kKeySize;
}

unsigned int CKJConvertKey::_nBin_to_Key(unsigned char* key, unsigned int keySize, const void* value,
                                         unsigned int n) {
  static const char kHex[] = "0123456789abcdef";
  const unsigned int taken = keySize < uint64_t{n} * 2 ? keySize / 2 : n;
  const auto* v = static_cast<const unsigned char*>(value);
  for (unsigned int i = 0; i < taken; ++i) {
    key[2 * i] = static_cast<unsigned char>(kHex[v[i] >> 4]);
    key[2 * i + 1] = static_cast<unsigned char>(kHex[v[i] & 0xF]);
  }
  memset(key + 2 * taken, '0', keySize - 2 * taken);
  return 2 * taken;
}

unsigned int CKJConvertKey::_nSTR_to_Key(unsigned char* key, unsigned int keySize, const char* text, unsigned int n,
                                         unsigned short options, unsigned int charset) {
  if (text == nullptr || n == 0 || keySize == 0) return 0;
  const unsigned int flags = ((options & KEY_NOCASE) ? 1u : 0u) | ((options & KEY_NOPUNCT) ? 4u : 0u) |
                             ((options & KEY_NOACCENT) ? 2u : 0u);
  if (flags == 0) {
    const unsigned int copied = n < keySize ? n : keySize;
    memcpy(key, text, copied);
    memset(key + copied, 0, keySize - copied);
    key[keySize - 1] = 0;
    return copied;
  }
  // Zeroed first: the service writes only the folded text, or nothing when it does not fit.
  memset(key, 0, keySize);
  const int mapped = STR_nMapStringEx_Charset(static_cast<int>(charset), flags, reinterpret_cast<char*>(key),
                                              keySize, text, n > kMaxKeySize ? static_cast<int>(kMaxKeySize)
                                                                             : static_cast<int>(n));
  if (charset != 0)
    STR_MapStringSortEx_Charset(static_cast<int>(charset), reinterpret_cast<char*>(key), keySize,
                                reinterpret_cast<const char*>(key), static_cast<int>(keySize));
  if (mapped < 0) return 0;
  return static_cast<unsigned int>(mapped) < keySize ? static_cast<unsigned int>(mapped) : keySize;
}

unsigned int CKJConvertKey::_nUNICODE_to_Key(unsigned char* key, unsigned int keySize, const void* text,
                                             unsigned int byteLength, unsigned short options, int unicodeFlags) {
  if (text == nullptr || byteLength == 0 || keySize < 2) return 0;
  const unsigned int room = keySize / 2;
  const bool bUTF32 = (unicodeFlags & KEY_UTF32) != 0;
  const unsigned int count = bUTF32 ? byteLength / 4 : byteLength / 2;
  memset(key, 0, keySize);
  // The units are built in native order (in the key itself when it is aligned for them), then
  // written out big-endian or as weights.
  const bool bAligned = reinterpret_cast<uintptr_t>(key) % alignof(uint16_t) == 0;
  uint16_t* units = bAligned ? reinterpret_cast<uint16_t*>(key)
                             : static_cast<uint16_t*>(calloc(room, sizeof(uint16_t)));
  if (units == nullptr) return 0;

  uint64_t size;
  const bool bNoCase = (options & KEY_NOCASE) && (options & (KEY_UCS2FASTSORT | KEY_BIGENDIAN));
  if ((options & (KEY_NOPUNCT | KEY_NOACCENT)) || bNoCase) {
    IKJTextService* service = TextService();
    if (service == nullptr) {
      if (!bAligned) free(units);
      return 0;
    }
    const int bNoPunct = (options & KEY_NOPUNCT) != 0, bNoAccent = (options & KEY_NOACCENT) != 0;
    if (bUTF32)
      service->nFoldUTF32(units, static_cast<int>(room), static_cast<const wchar_t*>(text),
                          nBeforeZero<wchar_t>(text, count), bNoPunct, bNoAccent, bNoCase);
    else
      service->nFoldUTF16(units, static_cast<int>(room), static_cast<const unsigned short*>(text),
                          nBeforeZero<uint16_t>(text, count), bNoPunct, bNoAccent, bNoCase);
    unsigned int n = 0;
    while (n + 1 < room && units[n] != 0) ++n;
    for (unsigned int i = n; i < room; ++i) units[i] = 0;
    size = 2 * uint64_t{n};
  } else if (bUTF32) {
    const auto* chars = static_cast<const wchar_t*>(text);
    if (room > 1) WideCharToUTF16(chars, static_cast<int>(count), units, static_cast<int>(room - 1));
    size = 2 * static_cast<uint64_t>(WideCharToUTF16(chars, static_cast<int>(count), nullptr, 0));
  } else {
    size = byteLength;
    memcpy(units, text, byteLength < 2 * room ? byteLength : 2 * room);
    units[room - 1] = 0;
  }

  for (unsigned int i = 0; i < room; ++i) {
    const uint16_t u = units[i];
    if (options & KEY_UCS2FASTSORT) {
      key[2 * i] = tabUCS2FastSort[u][0];
      key[2 * i + 1] = tabUCS2FastSort[u][1];
    } else {
      PutBigEndian(key + 2 * i, CodePointOrder(u), 2);
    }
  }
  if (!bAligned) free(units);
  return size < keySize ? static_cast<unsigned int>(size) : keySize;
}

// ---------------------------------------------------------------- dispatch

unsigned int CKJConvertKey::__nConvertKey(void* pKey, unsigned int keySize, const void* value,
                                          unsigned int valueSize, eITEMTYPE t, unsigned short options, int precision,
                                          int scale, unsigned int charset, int unicodeFlags) {
  auto* key = static_cast<unsigned char*>(pKey);
  if (key == nullptr || value == nullptr) return 0;
  unsigned int need = 0;
  void (*fixed)(unsigned char*, const void*) = nullptr;
  switch (static_cast<int>(t)) {
    case 1:
    case 12: {
      const auto* text = static_cast<const char*>(value);
      const unsigned int size = _nSTR_to_Key(key, keySize, text, valueSize, options, charset);
      // A top character 0xFF (an upper bound) survives folding and sort forms.
      if (keySize >= 2 && valueSize >= 1) {
        int i = static_cast<int>(valueSize - 1 < keySize - 2 ? valueSize - 1 : keySize - 2);
        while (i >= 0 && (text[i] == ' ' || text[i] == 0)) --i;
        if (i >= 0 && static_cast<unsigned char>(text[i]) == 0xFF) key[i] = 0xFF;
      }
      return size;
    }
    case 2:
    case 19: need = 1; fixed = _I1_to_Key; break;
    case 3: need = 2; fixed = _I2_to_Key; break;
    case 4: need = 4; fixed = _I4_to_Key; break;
    case 5:
    case 16: need = 8; fixed = _I8_to_Key; break;
    case 6: need = 4; fixed = _R4_to_Key; break;
    case 7: need = 8; fixed = _R8_to_Key; break;
    case 8:
    case 18: need = 1; fixed = _UI1_to_Key; break;
    case 9: need = 2; fixed = _UI2_to_Key; break;
    case 10: need = 4; fixed = _UI4_to_Key; break;
    case 11: need = 8; fixed = _UI8_to_Key; break;
    case 14: need = 10; fixed = _CY_to_Key; break;
    case 15: need = 8; fixed = _DateTime_to_Key; break;
    case 17: return _nBin_to_Key(key, keySize, value, valueSize);
    case 20:
    case 21: return _nUNICODE_to_Key(key, keySize, value, valueSize, options, unicodeFlags);
    case 22: {
      if (precision < 0 || precision > IDecimal::kMaxPrecision || keySize < IDecimal::kKeySize) return 0;
      const unsigned int dataSize = precision == 0 ? IDecimal::kFormSize : IDecimal::mg_PToN[precision];
      if (valueSize < dataSize) return 0;
      return _Decimal_to_Key(key, value, precision, scale);
    }
    default: return 0;
  }
  if (keySize < need || valueSize < need) return 0;
  fixed(key, value);
  return need;
}

// ---------------------------------------------------------------- variant values

unsigned int CConvertKey::nConvertKeyAndGetSize(CAny* value, unsigned char** ppKey, unsigned short zvType,
                                                unsigned short options, int nIntegerDigits, int nDecimalDigits) {
  *ppKey = nullptr;
  return _nConvertKeyAndGetSize(value, ppKey, 0, zvType, options, nIntegerDigits, nDecimalDigits);
}

unsigned int CConvertKey::nConvertKeyAndGetSize(CAny* value, unsigned char* key, unsigned int keySize,
                                                unsigned short zvType, unsigned short options, int nIntegerDigits,
                                                int nDecimalDigits) {
  if (keySize == 0) return 0;
  return _nConvertKeyAndGetSize(value, &key, keySize, zvType, options, nIntegerDigits, nDecimalDigits);
}

unsigned int CConvertKey::_nConvertKeyAndGetSize(CAny* value, unsigned char** ppKey, unsigned int keySize,
                                                 unsigned short zvType, unsigned short options, int nIntegerDigits,
                                                 int nDecimalDigits) {
  CAny local;
  if (value->bIsNull() || value->wGetType() == ZV_VIDE) {
    local.__SetType(ZV_PSTRW, 0);
    local.Intern()->SetValue(L"");
  } else {
    value->Intern()->Duplique(&local);
  }
  if (zvType == 0) zvType = local.wGetType();
  // A value the cast refuses keys as a zeroed value of the type asked for: its own bytes may be
  // fewer than the key type reads.
  const int cast = local.__nCastTo(zvType, nullptr, 1);
  if (cast >= 100 || local.wGetType() != zvType) local.__SetType(zvType, 0);

  const int precision = nIntegerDigits + nDecimalDigits;
  const void* data = nullptr;
  unsigned int size = 0;
  unsigned char boolean = 0;
  if (zvType == ZV_DECIMAL) {
    IDecimal* decimal = nullptr;
    local.Intern()->nFillBuffer(&decimal);
    if (decimal == nullptr) return 0;
    decimal->nSetPrecisionScale(precision, nDecimalDigits);
    data = decimal->pGetData();
    size = decimal->nGetDataSize();
  } else if (zvType == ZV_BOOL) {
    boolean = Read<int32_t>(local.pGetValueArea()) != 0;
    data = &boolean;
    size = 1;
  } else {
    void* p = nullptr;
    if (local.Intern()->nGetDataAdr(&p) == 0 && local.Intern()->nGetUtilDataSize(&size) == 0) data = p;
    else size = 0;
    if (data != nullptr && (zvType == ZV_PSTRA || zvType == ZV_DSTRA)) size += 1;
    if (data != nullptr && (zvType == ZV_DSTRW || zvType == ZV_PSTRW)) size += sizeof(wchar_t);
  }

  const bool bAllocated = keySize == 0;
  if (bAllocated) {
    keySize = CKJConvertKey::nCalculateKeySize(zvType, size);
    if (keySize == 0) return 0;
    *ppKey = static_cast<unsigned char*>(calloc(keySize, 1));
    if (*ppKey == nullptr) return 0;
  }
  const int unicodeFlags = zvType == ZV_DSTRW || zvType == ZV_PSTRW ? CKJConvertKey::KEY_UTF32 : 0;
  const unsigned int converted =
      CKJConvertKey::__nConvertKey(*ppKey, keySize, data, size, CKJConvertKey::eGetKeyType(
                                   CKJConvertKey::nGetItemType(zvType)), options, precision, nDecimalDigits, 0,
                                   unicodeFlags);
  if (converted == 0 && zvType == ZV_DECIMAL && bAllocated) {
    // No decimal to write the key with: no key.
    free(*ppKey);
    *ppKey = nullptr;
    return 0;
  }
  if (options & CKJConvertKey::KEY_DESCENDING) __InvertKey(*ppKey, keySize);
  return converted;
}

void CConvertKey::__InvertKey(unsigned char* key, unsigned int n) {
  for (unsigned int i = 0; i < n; ++i) key[i] = static_cast<unsigned char>(~key[i]);
}
