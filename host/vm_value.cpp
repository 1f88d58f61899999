#include "host/vm_value.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>

#include "host/host_services.h"
#include "host/vm_decimal.h"
#include "host/vm_module.h"
#include "platform/codepage.h"
#include "values/datetime.h"

namespace {

template <typename T>
T Load(const void* p) {
  T v;
  memcpy(&v, p, sizeof(T));
  return v;
}

template <typename T>
void Store(void* p, T v) {
  memcpy(p, &v, sizeof(T));
}

// Length of an inline text of at most nMax units.
template <typename T>
size_t InlineLength(const void* pArea, size_t nMax) {
  const T* p = static_cast<const T*>(pArea);
  size_t n = 0;
  while (n < nMax && p[n] != 0) ++n;
  return n;
}

uint32_t BlockLength(const void* pData) { return pData != nullptr ? StrMemHeader(const_cast<void*>(pData))->dwLength : 0; }

// Invalid sequences are dropped. The code page functions fail a whole text that ends inside a
// sequence, which would leave nothing of it: such a tail (at most 3 bytes) is dropped as well.
std::wstring Widen(const char* s, size_t n, unsigned int cp) {
  for (size_t cut = 0; cut < n && cut <= 3; ++cut) {
    const int len = static_cast<int>(n - cut);
    const int count = MultiByteToWideChar(cp, 0, s, len, nullptr, 0);
    if (count <= 0) continue;
    std::wstring out(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(cp, 0, s, len, out.data(), count);
    return out;
  }
  return std::wstring();
}

std::string Narrow(const std::wstring& s, unsigned int cp, bool* pbReplaced) {
  if (s.empty()) return std::string();
  const int len = static_cast<int>(s.size());
  int used = 0;
  const int count = WideCharToMultiByte(cp, 0, s.data(), len, nullptr, 0, nullptr, &used);
  std::string out(static_cast<size_t>(count), '\0');
  if (count > 0) WideCharToMultiByte(cp, 0, s.data(), len, out.data(), count, nullptr, &used);
  if (used && pbReplaced) *pbReplaced = true;
  return out;
}

// A number text as from_chars takes it: no blanks around it, no leading '+' (the text is known to
// be a number; other characters become '?').
std::string NumberChars(const std::wstring& text) {
  size_t i = 0, n = text.size();
  while (i < n && iswspace(static_cast<wint_t>(text[i]))) ++i;
  while (n > i && iswspace(static_cast<wint_t>(text[n - 1]))) --n;
  if (i < n && text[i] == L'+') ++i;
  std::string s;
  for (; i < n; ++i) s.push_back(text[i] < 128 ? static_cast<char>(text[i]) : '?');
  return s;
}

// The decimal of a number text, written one way: the sign, the significant digits and the power
// of ten of the last one ("-0.0120" and "-1.2e-2" both give "-12e-3").
std::string DecimalOf(const std::string& s) {
  std::string digits;
  long exponent = 0;
  bool point = false;
  size_t i = s[0] == '-' ? 1 : 0;
  for (; i < s.size() && (isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.'); ++i) {
    if (s[i] == '.') {
      point = true;
    } else {
      exponent -= point ? 1 : 0;
      if (!digits.empty() || s[i] != '0') digits.push_back(s[i]);
    }
  }
  if (i < s.size()) exponent += std::clamp(strtol(s.c_str() + i + 1, nullptr, 10), -100000L, 100000L);
  for (; !digits.empty() && digits.back() == '0'; digits.pop_back()) ++exponent;
  if (digits.empty()) return "0";
  return (s[0] == '-' ? "-" : "") + digits + "e" + std::to_string(exponent);
}

bool AllDigits(const std::wstring& s, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i)
    if (s[i] < L'0' || s[i] > L'9') return false;
  return true;
}

int Digits(const std::wstring& s, size_t at, size_t n) {
  int v = 0;
  for (size_t i = 0; i < n; ++i) v = v * 10 + (s[at + i] - L'0');
  return v;
}

std::wstring Format(const wchar_t* fmt, long a, int b, int c, int d, int e) {
  wchar_t buf[64];
  swprintf(buf, 64, fmt, a, b, c, d, e);
  return buf;
}

int WriteMalloc(void* pDest, const void* src, size_t units, size_t unitSize) {
  if (units == 0) return 0;  // the empty text is a null pointer
  if (units * unitSize > kVMMaxBytes) return VM_ERR_TOO_LONG;
  void* p = malloc((units + 1) * unitSize);
  if (p == nullptr) return VM_ERR_NO_MEMORY;
  memcpy(p, src, units * unitSize);
  memset(static_cast<char*>(p) + units * unitSize, 0, unitSize);
  Store<void*>(pDest, p);
  return 0;
}

}  // namespace

unsigned int VMCode(unsigned int wType) {
  const unsigned int code = wType & 0xFF;
  return code == VMT_I4_SYNONYM ? VMT_I4 : code;
}

VMKind VMKindOf(unsigned int code) {
  switch (code) {
    case VMT_EMPTY: return VMKind::Empty;
    case VMT_BOOL: return VMKind::Bool;
    case VMT_UI1: case VMT_UI2: case VMT_UI4: case VMT_UI8:
    case VMT_I1: case VMT_I2: case VMT_I4: case VMT_I8: case VMT_UIX: return VMKind::Integer;
    case VMT_CY: return VMKind::Currency;
    case VMT_DECIMAL: return VMKind::Decimal;
    case VMT_R4: case VMT_R8: return VMKind::Real;
    case VMT_DSTRW: case VMT_CARA: case VMT_PSTRA: case VMT_DSTRA: case VMT_CARW: case VMT_PSTRW: return VMKind::Text;
    case VMT_DATEW: case VMT_DATEA: return VMKind::Date;
    case VMT_TIMEW: case VMT_TIMEA: return VMKind::Time;
    case VMT_DATETIME: return VMKind::DateTime;
    case VMT_DUREE: return VMKind::Duration;
    case VMT_BIN: case VMT_BUFFER: return VMKind::Bytes;
    case VMT_MEMOIMG: case VMT_CONVOYEUR: case VMT_POLICE: case VMT_TABANY: case VMT_OBJET_BASE: case VMT_DINO:
    case VMT_OBJET_141: case VMT_OBJET_142: case VMT_OBJET_143: return VMKind::Reference;
    default: return VMKind::Unknown;
  }
}

bool bVMNarrow(unsigned int code) {
  return code == VMT_CARA || code == VMT_PSTRA || code == VMT_DSTRA || code == VMT_DATEA || code == VMT_TIMEA ||
         code == VMT_BIN || code == VMT_BUFFER;
}

bool bVMNumeric(VMKind kind) {
  return kind == VMKind::Bool || kind == VMKind::Integer || kind == VMKind::Currency || kind == VMKind::Decimal ||
         kind == VMKind::Real;
}

unsigned int VMCodePage(const STOCAW* pOptions) {
  if (pOptions != nullptr && pOptions->dwCodePage != 0) return pOptions->dwCodePage;
  return static_cast<unsigned int>(CHostServices::Instance().Locale()->nGetCodePage());
}

int nVMReadNumber(const void* p, unsigned int code, VMNum* out) {
  *out = VMNum{};
  switch (code) {
    case VMT_BOOL: out->exact = ExactFromInt(Load<int32_t>(p) != 0 ? 1 : 0); return 0;
    case VMT_UI1: out->exact = ExactFromUInt(Load<uint8_t>(p)); return 0;
    case VMT_UI2: out->exact = ExactFromUInt(Load<uint16_t>(p)); return 0;
    case VMT_UI4: out->exact = ExactFromUInt(Load<uint32_t>(p)); return 0;
    case VMT_UI8: out->exact = ExactFromUInt(Load<uint64_t>(p)); return 0;
    case VMT_I1: out->exact = ExactFromInt(Load<int8_t>(p)); return 0;
    case VMT_I2: out->exact = ExactFromInt(Load<int16_t>(p)); return 0;
    case VMT_I4: case VMT_UIX: out->exact = ExactFromInt(Load<int32_t>(p)); return 0;
    case VMT_I8: case VMT_DUREE: out->exact = ExactFromInt(Load<int64_t>(p)); return 0;
    case VMT_CY: out->exact = ExactFromTwos(static_cast<const unsigned char*>(p), 10, 6); return 0;
    case VMT_R4: out->bReal = true; out->real = Load<float>(p); return 0;
    case VMT_R8: out->bReal = true; out->real = Load<double>(p); return 0;
    case VMT_DECIMAL: {
      const auto* d = Load<const IDecimal*>(p);
      if (d == nullptr) return VM_ERR_ARGUMENT;
      out->exact = ExactFromDecimal(d);
      return 0;
    }
    default: return VM_ERR_UNSUPPORTED;
  }
}

int nVMReadText(const void* p, unsigned int code, unsigned int cp, std::wstring* out) {
  out->clear();
  switch (code) {
    case VMT_EMPTY: return 0;
    case VMT_DSTRW: {
      const auto* s = Load<const wchar_t*>(p);
      if (s != nullptr) out->assign(s, BlockLength(s) / sizeof(wchar_t));
      return 0;
    }
    case VMT_PSTRW: {
      const auto* s = Load<const wchar_t*>(p);
      if (s != nullptr) out->assign(s);
      return 0;
    }
    case VMT_CARW: {
      const wchar_t c = Load<wchar_t>(p);
      if (c != 0) out->assign(1, c);
      return 0;
    }
    case VMT_DATEW: out->assign(static_cast<const wchar_t*>(p), InlineLength<wchar_t>(p, 8)); return 0;
    case VMT_TIMEW: out->assign(static_cast<const wchar_t*>(p), InlineLength<wchar_t>(p, 9)); return 0;
    case VMT_DATETIME: *out = VMDateTimeText(VMReadDateTime(p)); return 0;
    case VMT_DUREE: *out = VMDurationText(VMReadDuration(p)); return 0;
    case VMT_BOOL: *out = Load<int32_t>(p) != 0 ? L"1" : L"0"; return 0;
    default: break;
  }
  const VMKind kind = VMKindOf(code);
  if (bVMNumeric(kind)) {
    VMNum n;
    if (const int rc = nVMReadNumber(p, code, &n)) return rc;
    *out = n.bReal ? RealToText(n.real, code == VMT_R4) : ExactToText(n.exact, code != VMT_DECIMAL);
    return 0;
  }
  if (bVMNarrow(code)) {
    std::string bytes;
    if (const int rc = nVMReadNarrow(p, code, cp, &bytes, nullptr)) return rc;
    *out = Widen(bytes.data(), bytes.size(), cp);
    return 0;
  }
  return VM_ERR_UNSUPPORTED;
}

int nVMReadNarrow(const void* p, unsigned int code, unsigned int cp, std::string* out, bool* pbReplaced) {
  out->clear();
  switch (code) {
    case VMT_DSTRA: case VMT_BIN: {
      const auto* s = Load<const char*>(p);
      if (s != nullptr) out->assign(s, BlockLength(s));
      return 0;
    }
    case VMT_PSTRA: {
      const auto* s = Load<const char*>(p);
      if (s != nullptr) out->assign(s);
      return 0;
    }
    case VMT_CARA: {
      const char c = Load<char>(p);
      if (c != 0) out->assign(1, c);
      return 0;
    }
    case VMT_DATEA: out->assign(static_cast<const char*>(p), InlineLength<char>(p, 8)); return 0;
    case VMT_TIMEA: out->assign(static_cast<const char*>(p), InlineLength<char>(p, 9)); return 0;
    case VMT_BUFFER: {
      const auto* s = Load<const char*>(p);
      const uint32_t n = Load<uint32_t>(static_cast<const char*>(p) + sizeof(void*));
      if (s != nullptr && n != 0) out->assign(s, n);
      return 0;
    }
    default: break;
  }
  std::wstring text;
  if (const int rc = nVMReadText(p, code, cp, &text)) return rc;
  *out = Narrow(text, cp, pbReplaced);
  return 0;
}

VMDateTime VMReadDateTime(const void* p) { return Load<VMDateTime>(p); }
int64_t VMReadDuration(const void* p) { return Load<int64_t>(p); }

uintptr_t VMReadReference(const void* p, unsigned int) { return Load<uintptr_t>(p); }

int nVMWriteNumber(void* pDest, unsigned int code, const VMNum& num) {
  bool lost = false;
  VMExact x = num.exact;
  if (num.bReal) {
    if (code == VMT_R8 || code == VMT_R4) {
      if (code == VMT_R8) {
        Store<double>(pDest, num.real);
        return 0;
      }
      const float f = static_cast<float>(num.real);
      if (std::isfinite(num.real) && !std::isfinite(f)) return VM_ERR_OVERFLOW;
      Store<float>(pDest, f);
      const bool same = static_cast<double>(f) == num.real || RealToText(f, true) == RealToText(num.real, false);
      return same ? 0 : VM_WARN_ROUNDED;
    }
    if (code == VMT_BOOL) {
      Store<int32_t>(pDest, num.real != 0 ? 1 : 0);
      return 0;
    }
    // What a real means (ExactFromDouble); digits beyond its shortest decimal are noise, not loss.
    if (!ExactFromDouble(num.real, &x, &lost)) return VM_ERR_OVERFLOW;
  }
  int64_t i = 0;
  uint64_t u = 0;
  auto signedIn = [&](int64_t lo, int64_t hi) { return ExactToInt64(x, &i, &lost) && i >= lo && i <= hi; };
  auto unsignedIn = [&](uint64_t hi) { return ExactToUInt64(x, &u, &lost) && u <= hi; };
  switch (code) {
    case VMT_BOOL: Store<int32_t>(pDest, ExactIsZero(x) ? 0 : 1); return 0;
    case VMT_UI1: if (!unsignedIn(UINT8_MAX)) return VM_ERR_OVERFLOW; Store<uint8_t>(pDest, static_cast<uint8_t>(u)); break;
    case VMT_UI2: if (!unsignedIn(UINT16_MAX)) return VM_ERR_OVERFLOW; Store<uint16_t>(pDest, static_cast<uint16_t>(u)); break;
    case VMT_UI4: if (!unsignedIn(UINT32_MAX)) return VM_ERR_OVERFLOW; Store<uint32_t>(pDest, static_cast<uint32_t>(u)); break;
    case VMT_UI8: if (!unsignedIn(UINT64_MAX)) return VM_ERR_OVERFLOW; Store<uint64_t>(pDest, u); break;
    case VMT_I1: if (!signedIn(INT8_MIN, INT8_MAX)) return VM_ERR_OVERFLOW; Store<int8_t>(pDest, static_cast<int8_t>(i)); break;
    case VMT_I2: if (!signedIn(INT16_MIN, INT16_MAX)) return VM_ERR_OVERFLOW; Store<int16_t>(pDest, static_cast<int16_t>(i)); break;
    case VMT_I4: case VMT_UIX:
      if (!signedIn(INT32_MIN, INT32_MAX)) return VM_ERR_OVERFLOW;
      Store<int32_t>(pDest, static_cast<int32_t>(i));
      break;
    case VMT_I8: case VMT_DUREE: if (!signedIn(INT64_MIN, INT64_MAX)) return VM_ERR_OVERFLOW; Store<int64_t>(pDest, i); break;
    case VMT_CY:
      if (!ExactRescale(&x, 6, &lost) || !ExactToTwos(x, static_cast<unsigned char*>(pDest), 10)) return VM_ERR_OVERFLOW;
      break;
    case VMT_R4: case VMT_R8: {
      const double d = ExactToDouble(x, code == VMT_R4, &lost);
      if (code == VMT_R8) {
        Store<double>(pDest, d);
      } else {
        if (!std::isfinite(static_cast<float>(d))) return VM_ERR_OVERFLOW;
        Store<float>(pDest, static_cast<float>(d));
      }
      break;
    }
    case VMT_DECIMAL: {
      IDecimal* d = CVMDecimalFactory::Instance().piCreate(0);
      if (d == nullptr) return VM_ERR_NO_MEMORY;
      auto* dec = static_cast<CVMDecimal*>(d);
      const int rc = dec->nSetValue(x, 0);
      if (rc > 99) {
        CVMDecimalFactory::Instance().Free(d);
        return rc;
      }
      // A made value takes the precision its digits need.
      const VMExact& v = dec->Value();
      dec->nSetPrecisionScale(std::max(1, std::max(U256Digits(v.mag), v.nScale)), v.nScale);
      Store<IDecimal*>(pDest, d);
      return rc != 0 ? rc : (lost ? VM_WARN_ROUNDED : 0);
    }
    default: return VM_ERR_UNSUPPORTED;
  }
  return lost ? VM_WARN_ROUNDED : 0;
}

int nVMWriteText(void* pDest, unsigned int code, const std::wstring& text, unsigned int cp) {
  switch (code) {
    case VMT_DSTRW: {
      void* block = nullptr;
      if (const int rc = nVMNewHostBlock(&block, text.data(), text.size() * sizeof(wchar_t))) return rc;
      Store<void*>(pDest, block);
      return 0;
    }
    case VMT_PSTRW: return WriteMalloc(pDest, text.data(), text.size(), sizeof(wchar_t));
    case VMT_CARW:
      Store<wchar_t>(pDest, text.empty() ? 0 : text[0]);
      return text.size() > 1 ? VM_WARN_TEXT_CUT : 0;
    case VMT_CARA: {
      bool replaced = false;
      const std::string c = Narrow(text.substr(0, 1), cp, &replaced);
      Store<char>(pDest, c.size() == 1 ? c[0] : (c.empty() ? 0 : '?'));
      return text.size() > 1 || c.size() > 1 || replaced ? VM_WARN_TEXT_CUT : 0;
    }
    case VMT_DSTRA: case VMT_PSTRA: case VMT_BIN: {
      bool replaced = false;
      const int rc = nVMWriteNarrow(pDest, code, Narrow(text, cp, &replaced));
      return rc == 0 && replaced ? VM_WARN_TEXT_CUT : rc;
    }
    default: return VM_ERR_UNSUPPORTED;
  }
}

int nVMWriteNarrow(void* pDest, unsigned int code, const std::string& bytes) {
  switch (code) {
    case VMT_DSTRA: case VMT_BIN: {
      void* block = nullptr;
      if (const int rc = nVMNewHostBlock(&block, bytes.data(), bytes.size())) return rc;
      Store<void*>(pDest, block);
      return 0;
    }
    case VMT_PSTRA: return WriteMalloc(pDest, bytes.data(), bytes.size(), 1);
    case VMT_CARA:
      Store<char>(pDest, bytes.empty() ? 0 : bytes[0]);
      return bytes.size() > 1 ? VM_WARN_TEXT_CUT : 0;
    default: return VM_ERR_UNSUPPORTED;
  }
}

void VMFree(void* pDest, unsigned int code) {
  switch (code) {
    case VMT_DSTRW: case VMT_DSTRA: case VMT_BIN: VMReleaseHostBlock(Load<void*>(pDest)); break;
    case VMT_PSTRA: case VMT_PSTRW: free(Load<void*>(pDest)); break;
    case VMT_DECIMAL: CVMDecimalFactory::Instance().Free(Load<IDecimal*>(pDest)); break;
    default: return;
  }
  Store<void*>(pDest, nullptr);
}

int nVMNewHostBlock(void** ppData, const void* src, size_t n) {
  *ppData = nullptr;
  if (n == 0) return 0;
  if (n > kVMMaxBytes) return VM_ERR_TOO_LONG;
  IStrMemAlloc* alloc = CHostServices::Instance().Allocator();
  void* p = nullptr;
  const uint32_t size = static_cast<uint32_t>(n);
  const int rc = alloc->nGetVersion() < 2 ? alloc->nAllocStrMemOld(&p, size) : alloc->nAllocStrMemNew(&p, size, 0);
  if (rc != 0) return rc;
  if (p == nullptr) return VM_ERR_NO_MEMORY;
  // The allocator leaves length and terminator to its caller; 4 bytes past the capacity are ours.
  memcpy(p, src, n);
  memset(static_cast<char*>(p) + n, 0, 4);
  StrMemHeader(p)->dwLength = size;
  *ppData = p;
  return 0;
}

void VMReleaseHostBlock(void* pData) {
  if (pData == nullptr) return;
  std::atomic_ref<int32_t> count(StrMemHeader(pData)->nRefCount);
  if (count.fetch_sub(1) == 1) CHostServices::Instance().Allocator()->FreeStrMem(pData);
}

void VMAddRefHostBlock(void* pData) {
  if (pData != nullptr) std::atomic_ref<int32_t>(StrMemHeader(pData)->nRefCount).fetch_add(1);
}

int nVMDaysInMonth(int year, int month) { return CDateTimeBase::s_nGetNbJourMois(month, year); }

CDateTimeBase VMDateClass(const VMDateTime& dt) {
  CDateTimeBase c;
  c.m_byJour = dt.byDay;
  c.m_byMois = dt.byMonth;
  c.m_wAnnee = dt.wYear;
  c.m_dwMilli = dt.dwMilli;
  return c;
}

bool bVMValidDate(const VMDateTime& dt) {
  return dt.dwMilli < kMillisecondsPerDay &&
         CDateTimeBase::__bDateVersEntier(dt.byDay, dt.byMonth, dt.wYear, nullptr, TRUE);
}

std::wstring VMDateText(const VMDateTime& dt) {
  if (dt.byDay == 0 && dt.byMonth == 0 && dt.wYear == 0) return std::wstring();
  return Format(L"%04ld%02d%02d", dt.wYear, dt.byMonth, dt.byDay, 0, 0);
}

std::wstring VMTimeText(uint32_t ms) {
  return Format(L"%02ld%02d%02d%03d", static_cast<long>(ms / 3600000), static_cast<int>(ms / 60000 % 60),
                static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000), 0);
}

std::wstring VMDateTimeText(const VMDateTime& dt) {
  if (dt.byDay == 0 && dt.byMonth == 0 && dt.wYear == 0 && dt.dwMilli == 0) return std::wstring();
  std::wstring date = Format(L"%04ld%02d%02d", dt.wYear, dt.byMonth, dt.byDay, 0, 0);
  return date + VMTimeText(dt.dwMilli);
}

std::wstring VMDurationText(int64_t ms) {
  const uint64_t m = ms < 0 ? 0 - static_cast<uint64_t>(ms) : static_cast<uint64_t>(ms);
  wchar_t buf[64];
  swprintf(buf, 64, L"%s%llu%02u%02u%02u%03u", ms < 0 ? L"-" : L"", static_cast<unsigned long long>(m / 86400000),
           static_cast<unsigned>(m / 3600000 % 24), static_cast<unsigned>(m / 60000 % 60),
           static_cast<unsigned>(m / 1000 % 60), static_cast<unsigned>(m % 1000));
  return buf;
}

int nVMParseDate(const std::wstring& text, VMDateTime* out) {
  *out = VMDateTime{};
  if (text.empty()) return 0;
  if (text.size() < 8 || !AllDigits(text, 0, text.size())) return VM_ERR_SYNTAX;
  const int y = Digits(text, 0, 4), m = Digits(text, 4, 2), d = Digits(text, 6, 2);
  const int rc = text.size() > 8 ? VM_WARN_TEXT_CUT : 0;
  if (y == 0 && m == 0 && d == 0) return rc;
  if (m < 1 || m > 12 || d < 1 || d > nVMDaysInMonth(y, m)) return VM_ERR_SYNTAX;
  out->wYear = static_cast<uint16_t>(y);
  out->byMonth = static_cast<uint8_t>(m);
  out->byDay = static_cast<uint8_t>(d);
  return rc;
}

int nVMParseTime(const std::wstring& text, uint32_t* pdwMilli) {
  *pdwMilli = 0;
  const size_t n = text.size();
  if (n == 0) return 0;
  if (n == 1 || n == 3 || n == 5 || n > 9 || !AllDigits(text, 0, n)) return VM_ERR_SYNTAX;
  const int h = Digits(text, 0, 2);
  const int m = n >= 4 ? Digits(text, 2, 2) : 0;
  const int s = n >= 6 ? Digits(text, 4, 2) : 0;
  int ms = 0;
  if (n == 7) ms = Digits(text, 6, 1) * 100;
  if (n == 8) ms = Digits(text, 6, 2) * 10;
  if (n == 9) ms = Digits(text, 6, 3);
  if (h > 23 || m > 59 || s > 59) return VM_ERR_SYNTAX;
  *pdwMilli = static_cast<uint32_t>(h * 3600000 + m * 60000 + s * 1000 + ms);
  return 0;
}

int nVMParseDateTime(const std::wstring& text, VMDateTime* out) {
  *out = VMDateTime{};
  if (text.empty()) return 0;
  if (text.size() < 8) return VM_ERR_SYNTAX;
  const size_t timeAt = text.size() > 8 && text[8] == L' ' ? 9 : 8;
  if (const int rc = nVMParseDate(text.substr(0, 8), out)) return rc;
  uint32_t ms = 0;
  if (const int rc = nVMParseTime(text.substr(timeAt), &ms)) return rc;
  out->dwMilli = ms;
  return 0;
}

int nVMParseDuration(const std::wstring& text, int64_t* pms) {
  *pms = 0;
  size_t i = 0;
  bool neg = false;
  if (!text.empty() && (text[0] == L'+' || text[0] == L'-' || text[0] == 0xFF0B || text[0] == 0xFF0D)) {
    neg = text[0] == L'-' || text[0] == 0xFF0D;
    i = 1;
  }
  const size_t n = text.size() - i;
  if (n < 10 || n > 24 || !AllDigits(text, i, text.size())) return VM_ERR_SYNTAX;
  __int128 days = 0;
  for (size_t k = i; k < text.size() - 9; ++k) days = days * 10 + (text[k] - L'0');
  const size_t t = text.size() - 9;
  const __int128 v = days * 86400000 + Digits(text, t, 2) * __int128{3600000} + Digits(text, t + 2, 2) * 60000 +
                     Digits(text, t + 4, 2) * 1000 + Digits(text, t + 6, 3);
  if (v > INT64_MAX) return VM_ERR_OVERFLOW;
  *pms = static_cast<int64_t>(neg ? -v : v);
  return 0;
}

int nVMReadBool(const void* p, unsigned int code, unsigned int cp, bool* out) {
  *out = false;
  const VMKind kind = VMKindOf(code);
  if (kind == VMKind::Empty) return 0;
  if (bVMNumeric(kind) || kind == VMKind::Duration) {
    VMNum n;
    if (const int rc = nVMReadNumber(p, code, &n)) return rc;
    *out = n.bReal ? n.real != 0 : !ExactIsZero(n.exact);
    return 0;
  }
  if (kind != VMKind::Text) return VM_ERR_UNSUPPORTED;
  std::wstring text;
  if (const int rc = nVMReadText(p, code, cp, &text)) return rc;
  return nVMTextToBool(text, out);
}

int nVMTextToBool(const std::wstring& text, bool* out) {
  *out = false;
  std::wstring lower;
  for (wchar_t c : text)
    if (c != L' ' && c != L'\t') lower.push_back(static_cast<wchar_t>(towlower(static_cast<wint_t>(c))));
  if (lower.empty() || lower == L"false" || lower == L"faux") return 0;
  if (lower == L"true" || lower == L"vrai") {
    *out = true;
    return 0;
  }
  VMExact x;
  bool lost = false;
  const int rc = ExactFromText(text, &x, &lost);
  if (rc == VM_ERR_SYNTAX) return rc;
  // Beyond the exact form ("1e400") or below it with digits cut ("1e-300"): not zero.
  *out = rc != 0 || lost || !ExactIsZero(x);
  return 0;
}

int nVMParseReal(const std::wstring& text, bool bFloat, double* out) {
  *out = 0;
  VMExact x;
  const int rc = ExactFromText(text, &x, nullptr);
  if (rc == VM_ERR_SYNTAX) return rc;
  const std::string s = NumberChars(text);
  if (s.empty()) return 0;
  float f = 0;
  const auto res = bFloat ? std::from_chars(s.data(), s.data() + s.size(), f)
                          : std::from_chars(s.data(), s.data() + s.size(), *out);
  if (res.ec == std::errc::result_out_of_range) {
    // Beyond the largest real: an overflow; below the smallest: a zero of the text's sign.
    if (rc == VM_ERR_OVERFLOW || U256Digits(x.mag) > x.nScale) return VM_ERR_OVERFLOW;
    *out = s[0] == '-' ? -0.0 : 0.0;
    return 0;
  } else if (res.ec != std::errc() || res.ptr != s.data() + s.size()) {
    return VM_ERR_SYNTAX;
  } else if (bFloat) {
    *out = f;
  }
  // Rounded when the real does not mean the text's decimal.
  VMExact whole;
  const bool bWhole = *out == std::trunc(*out) && ExactFromDouble(*out, &whole);
  const std::string back = NumberChars(bWhole ? ExactToText(whole, true) : RealToText(*out, bFloat));
  return DecimalOf(back) == DecimalOf(s) ? 0 : VM_WARN_ROUNDED;
}

int nVMParseNumber(const std::wstring& text, bool bReal, VMNum* out) {
  *out = VMNum{};
  bool lost = false;
  const int rc = ExactFromText(text, &out->exact, &lost);
  // Beyond what an exact value holds ("1e400"), or so small that it kept fewer digits than a real
  // does ("1e-300" keeps none): only a real can say it, and says it as far as it can.
  const bool bFewDigits = rc == 0 && lost && U256Digits(out->exact.mag) < 17;
  if (bReal && (rc == VM_ERR_OVERFLOW || bFewDigits)) {
    *out = VMNum{};
    out->bReal = true;
    const int rcReal = nVMParseReal(text, false, &out->real);
    return rcReal > 99 ? rcReal : 0;
  }
  if (rc != 0) return rc;
  return lost && !bReal ? VM_WARN_ROUNDED : 0;
}
