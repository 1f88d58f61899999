#include "host/vm_convert.h"

#include <cstring>
#include <string>

#include "host/vm_decimal.h"
#include "host/vm_module.h"
#include "host/vm_value.h"

namespace {

// The worse of two results: an error over a warning over success.
int Worse(int a, int b) { return a > b ? a : b; }

template <typename T>
void WriteInline(void* pDest, const std::wstring& text, size_t nMax) {
  T* p = static_cast<T*>(pDest);
  const size_t n = text.size() < nMax ? text.size() : nMax;
  for (size_t i = 0; i < n; ++i) p[i] = static_cast<T>(text[i]);
  p[n] = 0;
}

int WriteDateText(void* pDest, unsigned int code, const std::wstring& text) {
  switch (code) {
    case VMT_DATEW: WriteInline<wchar_t>(pDest, text, 8); break;
    case VMT_DATEA: WriteInline<char>(pDest, text, 8); break;
    case VMT_TIMEW: WriteInline<wchar_t>(pDest, text, 9); break;
    default: WriteInline<char>(pDest, text, 9); break;
  }
  const size_t nMax = code == VMT_DATEW || code == VMT_DATEA ? 8 : 9;
  return text.size() > nMax ? VM_WARN_TEXT_CUT : 0;
}

int ToNumber(const void* pSrc, unsigned int s, void* pDst, unsigned int d, unsigned int cp) {
  const VMKind sk = VMKindOf(s);
  VMNum num;
  int rc = 0;
  if (bVMNumeric(sk) || sk == VMKind::Duration) {
    rc = nVMReadNumber(pSrc, s, &num);
  } else if (sk == VMKind::Text || sk == VMKind::Bytes || sk == VMKind::Empty) {
    std::wstring text;
    if ((rc = nVMReadText(pSrc, s, cp, &text)) != 0) return rc;
    if (d == VMT_BOOL) {
      bool b = false;
      if ((rc = nVMTextToBool(text, &b)) != 0) return rc;
      num.exact = ExactFromInt(b ? 1 : 0);
    } else if (d == VMT_R4 || d == VMT_R8) {
      num.bReal = true;  // rounded once, from every digit of the text
      rc = nVMParseReal(text, d == VMT_R4, &num.real);
    } else {
      rc = nVMParseNumber(text, false, &num);
    }
  } else {
    return VM_ERR_UNSUPPORTED;
  }
  if (rc > 99) return rc;
  return Worse(rc, nVMWriteNumber(pDst, d, num));
}

int ToText(const void* pSrc, unsigned int s, void* pDst, unsigned int d, unsigned int cp) {
  if (bVMNarrow(d) && bVMNarrow(s)) {
    std::string bytes;
    if (const int rc = nVMReadNarrow(pSrc, s, cp, &bytes, nullptr)) return rc;
    return nVMWriteNarrow(pDst, d, bytes);
  }
  std::wstring text;
  if (const int rc = nVMReadText(pSrc, s, cp, &text)) return rc;
  return nVMWriteText(pDst, d, text, cp);
}

// The date-time meaning of a date, time, date-time, text or binary source.
int ReadDateTime(const void* pSrc, unsigned int s, unsigned int cp, VMDateTime* out) {
  *out = VMDateTime{};
  const VMKind sk = VMKindOf(s);
  if (sk == VMKind::DateTime) {
    *out = VMReadDateTime(pSrc);
    return 0;
  }
  if (sk == VMKind::Empty) return 0;
  if (sk != VMKind::Date && sk != VMKind::Time && sk != VMKind::Text && sk != VMKind::Bytes)
    return VM_ERR_UNSUPPORTED;
  std::wstring text;
  if (const int rc = nVMReadText(pSrc, s, cp, &text)) return rc;
  if (sk == VMKind::Date) return nVMParseDate(text, out);
  if (sk == VMKind::Time) return nVMParseTime(text, &out->dwMilli);
  return nVMParseDateTime(text, out);
}

int ToDateOrTime(const void* pSrc, unsigned int s, void* pDst, unsigned int d, unsigned int cp) {
  const VMKind sk = VMKindOf(s), dk = VMKindOf(d);
  std::wstring text;
  if (sk == dk) {
    // Date to date, time to time: the text as it is, only the storage changes.
    if (const int rc = nVMReadText(pSrc, s, cp, &text)) return rc;
    return WriteDateText(pDst, d, text);
  }
  if (sk == VMKind::Empty) return WriteDateText(pDst, d, dk == VMKind::Time ? VMTimeText(0) : std::wstring());
  int rc = 0;
  VMDateTime dt{};
  if (sk == VMKind::DateTime) {
    dt = VMReadDateTime(pSrc);
  } else if (sk == VMKind::Text || sk == VMKind::Bytes) {
    if ((rc = nVMReadText(pSrc, s, cp, &text)) != 0) return rc;
    rc = dk == VMKind::Date ? nVMParseDate(text, &dt) : nVMParseTime(text, &dt.dwMilli);
    if (rc > 99) return rc;
  } else {
    return VM_ERR_UNSUPPORTED;
  }
  return Worse(rc, WriteDateText(pDst, d, dk == VMKind::Date ? VMDateText(dt) : VMTimeText(dt.dwMilli)));
}

int ToDuration(const void* pSrc, unsigned int s, void* pDst, unsigned int cp) {
  const VMKind sk = VMKindOf(s);
  if (sk == VMKind::Text || sk == VMKind::Bytes) {
    std::wstring text;
    if (const int rc = nVMReadText(pSrc, s, cp, &text)) return rc;
    int64_t ms = 0;
    if (const int rc = nVMParseDuration(text, &ms)) return rc;
    memcpy(pDst, &ms, sizeof(ms));
    return 0;
  }
  if (sk == VMKind::Empty) return 0;
  if (!bVMNumeric(sk) && sk != VMKind::Duration) return VM_ERR_UNSUPPORTED;
  VMNum num;
  if (const int rc = nVMReadNumber(pSrc, s, &num)) return rc;
  return nVMWriteNumber(pDst, VMT_DUREE, num);
}

// The same code: a copy, sharing what dynamic storage allows. False when the generic path does.
bool bSameCode(const void* pSrc, unsigned int code, void* pDst, int* pnResult) {
  switch (code) {
    case VMT_DSTRW: case VMT_DSTRA: case VMT_BIN: {
      void* p = nullptr;
      memcpy(&p, pSrc, sizeof(p));
      VMAddRefHostBlock(p);
      memcpy(pDst, &p, sizeof(p));
      *pnResult = 0;
      return true;
    }
    case VMT_DECIMAL: {
      const IDecimal* src = nullptr;
      memcpy(&src, pSrc, sizeof(src));
      if (src == nullptr) {
        *pnResult = VM_ERR_ARGUMENT;
        return true;
      }
      IDecimal* copy = CVMDecimalFactory::Instance().piCreate(0);
      if (copy == nullptr) {
        *pnResult = VM_ERR_NO_MEMORY;
        return true;
      }
      copy->nCopy(src);
      memcpy(pDst, &copy, sizeof(copy));
      *pnResult = 0;
      return true;
    }
    default:
      if (VMKindOf(code) != VMKind::Reference && code != VMT_BUFFER) return false;
      // Borrowed: the pointer (and count) as they are, nothing to free afterwards.
      memcpy(pDst, pSrc, code == VMT_BUFFER || code == VMT_TABANY ? sizeof(void*) + sizeof(uint32_t) : sizeof(void*));
      *pnResult = 0;
      return true;
  }
}

}  // namespace

int nVMConvert(const void* pSource, unsigned int wSourceType, void* pDest, unsigned int wDestType,
               const STOCAW* pOptions) {
  if (pSource == nullptr || pDest == nullptr) return VM_ERR_ARGUMENT;
  // The destination may be the source's own area: then read from a copy. (A source elsewhere may
  // be shorter than an area, a lone text pointer for instance, and is read where it is.)
  unsigned char source[kVMAreaSize];
  if (pSource == pDest) {
    memcpy(source, pSource, kVMAreaSize);
    pSource = source;
  }
  memset(pDest, 0, kVMAreaSize);
  const unsigned int s = VMCode(wSourceType), d = VMCode(wDestType);
  const VMKind sk = VMKindOf(s), dk = VMKindOf(d);
  if (sk == VMKind::Unknown || dk == VMKind::Unknown) return VM_ERR_UNSUPPORTED;
  int rc = 0;
  if (s == d && bSameCode(pSource, s, pDest, &rc)) return rc;
  const unsigned int cp = VMCodePage(pOptions);
  switch (dk) {
    case VMKind::Bool: case VMKind::Integer: case VMKind::Currency: case VMKind::Decimal: case VMKind::Real:
      rc = ToNumber(pSource, s, pDest, d, cp);
      break;
    case VMKind::Text:
      rc = ToText(pSource, s, pDest, d, cp);
      break;
    case VMKind::Bytes:
      if (d == VMT_BUFFER) return VM_ERR_UNSUPPORTED;
      rc = ToText(pSource, s, pDest, d, cp);
      break;
    case VMKind::Date: case VMKind::Time:
      rc = ToDateOrTime(pSource, s, pDest, d, cp);
      break;
    case VMKind::DateTime: {
      VMDateTime dt{};
      rc = ReadDateTime(pSource, s, cp, &dt);
      if (rc <= 99) memcpy(pDest, &dt, sizeof(dt));
      break;
    }
    case VMKind::Duration:
      rc = ToDuration(pSource, s, pDest, cp);
      break;
    default:
      return VM_ERR_UNSUPPORTED;
  }
  // An error leaves nothing behind to free.
  if (rc > 99) {
    VMFree(pDest, d);
    memset(pDest, 0, kVMAreaSize);
  }
  return rc;
}

int nVMFinConversion(void* pDest, unsigned int wDestType) {
  if (pDest == nullptr) return VM_ERR_ARGUMENT;
  VMFree(pDest, VMCode(wDestType));
  return 0;
}
