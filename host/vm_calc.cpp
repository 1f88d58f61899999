#include "host/vm_calc.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/host_services.h"
#include "host/vm_decimal.h"
#include "host/vm_module.h"
#include "host/vm_value.h"
#include "values/duree.h"

namespace {

// How two operands compare.
enum class Cls { Numeric, NumText, BoolText, DateText, DateTimes, Text, Bytes, Identity, None };

bool IsNumberLike(VMKind k) { return bVMNumeric(k) || k == VMKind::Duration; }
bool IsTextLike(VMKind k) { return k == VMKind::Text || k == VMKind::Empty; }
bool IsDateLike(VMKind k) { return k == VMKind::Date || k == VMKind::Time || k == VMKind::DateTime; }
bool IsPoint(VMKind k) { return k == VMKind::Date || k == VMKind::DateTime; }

Cls Classify(VMKind ka, VMKind kb) {
  if (ka == VMKind::Reference && kb == VMKind::Reference) return Cls::Identity;
  if (ka == VMKind::Reference || kb == VMKind::Reference || ka == VMKind::Unknown || kb == VMKind::Unknown)
    return Cls::None;
  if (IsNumberLike(ka) && IsNumberLike(kb)) return Cls::Numeric;
  if (ka == VMKind::DateTime && kb == VMKind::DateTime) return Cls::DateTimes;
  if (IsDateLike(ka) || IsDateLike(kb)) {
    const VMKind other = IsDateLike(ka) ? kb : ka;
    return IsDateLike(other) || IsTextLike(other) || other == VMKind::Bytes ? Cls::DateText : Cls::None;
  }
  if ((ka == VMKind::Bool && IsTextLike(kb)) || (kb == VMKind::Bool && IsTextLike(ka))) return Cls::BoolText;
  if (IsNumberLike(ka) || IsNumberLike(kb)) {
    const VMKind other = IsNumberLike(ka) ? kb : ka;
    return IsTextLike(other) || other == VMKind::Bytes ? Cls::NumText : Cls::None;
  }
  if (ka == VMKind::Bytes || kb == VMKind::Bytes) return Cls::Bytes;
  return Cls::Text;
}

int Sign(int c) { return c < 0 ? -1 : (c > 0 ? 1 : 0); }

unsigned int HostCodePage() { return VMCodePage(nullptr); }

int CmpReal(double a, double b) {
  const bool na = std::isnan(a), nb = std::isnan(b);
  if (na || nb) return na && nb ? 0 : (na ? -1 : 1);
  return a < b ? -1 : (a > b ? 1 : 0);
}

int CmpExactReal(const VMExact& x, double d) {
  if (std::isnan(d)) return 1;
  if (std::isinf(d)) return d > 0 ? -1 : 1;
  return ExactCmpDouble(x, d);
}

int CmpNum(const VMNum& a, const VMNum& b) {
  if (!a.bReal && !b.bReal) return ExactCmp(a.exact, b.exact);
  if (a.bReal && b.bReal) return CmpReal(a.real, b.real);
  return a.bReal ? -CmpExactReal(b.exact, a.real) : CmpExactReal(a.exact, b.real);
}

double ToDouble(const VMNum& n) { return n.bReal ? n.real : ExactToDouble(n.exact, false, nullptr); }

// The date digits a date-like operand shows against the other side.
int DateSideText(const void* p, unsigned int code, VMKind otherKind, std::wstring* out) {
  if (VMKindOf(code) == VMKind::DateTime) {
    const VMDateTime dt = VMReadDateTime(p);
    if (otherKind == VMKind::Date) *out = VMDateText(dt);
    else if (otherKind == VMKind::Time) *out = VMTimeText(dt.dwMilli);
    else *out = VMDateTimeText(dt);
    return 0;
  }
  return nVMReadText(p, code, HostCodePage(), out);
}

// The host's rule for date and time texts: compared over the shorter length.
int PrefixCmp(const std::wstring& a, const std::wstring& b) {
  if (a.empty()) return b.empty() ? 0 : -1;
  if (b.empty()) return 1;
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  return Sign(a.compare(0, n, b, 0, n));
}

int BytesCmp(const std::string& a, const std::string& b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  const int c = n ? memcmp(a.data(), b.data(), n) : 0;
  if (c != 0) return Sign(c);
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

int CompareCodes(const void* pA, unsigned int a, const void* pB, unsigned int b, int* pnOrder) {
  const VMKind ka = VMKindOf(a), kb = VMKindOf(b);
  const unsigned int cp = HostCodePage();
  int rc = 0;
  switch (Classify(ka, kb)) {
    case Cls::Numeric: {
      VMNum x, y;
      if ((rc = nVMReadNumber(pA, a, &x)) || (rc = nVMReadNumber(pB, b, &y))) return rc;
      *pnOrder = CmpNum(x, y);
      return 0;
    }
    case Cls::NumText: {
      const bool aNum = IsNumberLike(ka);
      VMNum n, t;
      std::wstring text;
      if ((rc = nVMReadNumber(aNum ? pA : pB, aNum ? a : b, &n))) return rc;
      if ((rc = nVMReadText(aNum ? pB : pA, aNum ? b : a, cp, &text))) return rc;
      int c;
      if (nVMParseNumber(text, true, &t) <= 99) {
        c = CmpNum(n, t);
      } else {
        std::wstring own;
        if ((rc = nVMReadText(aNum ? pA : pB, aNum ? a : b, cp, &own))) return rc;
        c = Sign(own.compare(text));
      }
      *pnOrder = aNum ? c : -c;
      return 0;
    }
    case Cls::BoolText: {
      const bool aBool = ka == VMKind::Bool;
      bool v = false, t = false;
      std::wstring text, own;
      if ((rc = nVMReadBool(aBool ? pA : pB, VMT_BOOL, cp, &v))) return rc;
      if ((rc = nVMReadText(aBool ? pB : pA, aBool ? b : a, cp, &text))) return rc;
      int c;
      if (nVMTextToBool(text, &t) == 0) {
        c = static_cast<int>(v) - static_cast<int>(t);
      } else {
        own = v ? L"1" : L"0";
        c = Sign(own.compare(text));
      }
      *pnOrder = aBool ? c : -c;
      return 0;
    }
    case Cls::DateTimes: {
      const VMDateTime x = VMReadDateTime(pA), y = VMReadDateTime(pB);
      const uint32_t wx = x.byDay | (x.byMonth << 8) | (static_cast<uint32_t>(x.wYear) << 16);
      const uint32_t wy = y.byDay | (y.byMonth << 8) | (static_cast<uint32_t>(y.wYear) << 16);
      *pnOrder = wx != wy ? (wx < wy ? -1 : 1) : (x.dwMilli != y.dwMilli ? (x.dwMilli < y.dwMilli ? -1 : 1) : 0);
      return 0;
    }
    case Cls::DateText: {
      std::wstring x, y;
      if ((rc = DateSideText(pA, a, kb, &x)) || (rc = DateSideText(pB, b, ka, &y))) return rc;
      *pnOrder = PrefixCmp(x, y);
      return 0;
    }
    case Cls::Text: {
      std::wstring x, y;
      if ((rc = nVMReadText(pA, a, cp, &x)) || (rc = nVMReadText(pB, b, cp, &y))) return rc;
      *pnOrder = Sign(x.compare(y));
      return 0;
    }
    case Cls::Bytes: {
      std::string x, y;
      if ((rc = nVMReadNarrow(pA, a, cp, &x, nullptr)) || (rc = nVMReadNarrow(pB, b, cp, &y, nullptr))) return rc;
      *pnOrder = BytesCmp(x, y);
      return 0;
    }
    case Cls::Identity: {
      const uintptr_t x = VMReadReference(pA, a), y = VMReadReference(pB, b);
      *pnOrder = x < y ? -1 : (x > y ? 1 : 0);
      return 0;
    }
    case Cls::None: break;
  }
  return VM_ERR_UNSUPPORTED;
}

// ---- Arithmetic ----

bool WideStored(unsigned int code) {
  return code == VMT_DSTRW || code == VMT_PSTRW || code == VMT_CARW || code == VMT_DATEW || code == VMT_TIMEW;
}

// 32-bit signed or narrower: results of two of them stay I4 when they fit.
bool NarrowInt(unsigned int code) {
  return code == VMT_BOOL || code == VMT_UI1 || code == VMT_UI2 || code == VMT_I1 || code == VMT_I2 ||
         code == VMT_I4 || code == VMT_UIX || code == VMT_EMPTY;
}

// An operand of numeric arithmetic: numbers, durations (ms), texts read as numbers, empty 0.
int ReadOperand(const void* p, unsigned int code, VMNum* out) {
  const VMKind k = VMKindOf(code);
  if (IsNumberLike(k)) return nVMReadNumber(p, code, out);
  if (k == VMKind::Empty) {
    *out = VMNum{};
    return 0;
  }
  if (k != VMKind::Text && k != VMKind::Bytes) return VM_ERR_UNSUPPORTED;
  std::wstring text;
  if (const int rc = nVMReadText(p, code, HostCodePage(), &text)) return rc;
  return nVMParseNumber(text, true, out);
}

int Worse(int a, int b) { return a > b ? a : b; }

// Whole numbers: I4 for two narrow operands when it fits, else I8, UI8, DECIMAL.
int WriteInteger(void* pDest, const VMExact& x, bool bNarrow, unsigned short* pwType) {
  int64_t i = 0;
  uint64_t u = 0;
  unsigned int code;
  if (ExactToInt64(x, &i, nullptr))
    code = bNarrow && i >= INT32_MIN && i <= INT32_MAX ? VMT_I4 : VMT_I8;
  else if (ExactToUInt64(x, &u, nullptr))
    code = VMT_UI8;
  else
    code = VMT_DECIMAL;
  VMNum n;
  n.exact = x;
  const int rc = nVMWriteNumber(pDest, code, n);
  if (rc <= 99) *pwType = static_cast<unsigned short>(code);
  return rc;
}

int WriteTyped(void* pDest, unsigned int code, const VMNum& n, unsigned short* pwType) {
  const int rc = nVMWriteNumber(pDest, code, n);
  if (rc <= 99) *pwType = static_cast<unsigned short>(code);
  return rc;
}

int NumericOp(VMOp op, const VMNum& a, unsigned int ca, const VMNum& b, unsigned int cb, unsigned int nominal,
              void* pDest, unsigned short* pwType) {
  const bool exactResult = nominal == VMT_DECIMAL || nominal == VMT_CY || nominal == VMT_DUREE;
  const bool realResult = !exactResult && (a.bReal || b.bReal || nominal == VMT_R4 || nominal == VMT_R8);
  // A quotient of exact operands is computed exactly and only then made a real.
  const bool exactQuotient = op == VMOp::Div && !a.bReal && !b.bReal && VMKindOf(ca) != VMKind::Real &&
                             VMKindOf(cb) != VMKind::Real;
  bool lost = false;
  if (realResult && !exactQuotient) {
    const double x = a.bReal ? a.real : ExactToDouble(a.exact, false, &lost);
    const double y = b.bReal ? b.real : ExactToDouble(b.exact, false, &lost);
    double r = 0;
    switch (op) {
      case VMOp::Add: r = x + y; break;
      case VMOp::Sub: r = x - y; break;
      case VMOp::Mul: r = x * y; break;
      case VMOp::Div: if (y == 0) return VM_ERR_DIVIDE_BY_ZERO; r = x / y; break;
      case VMOp::Mod: if (y == 0) return VM_ERR_DIVIDE_BY_ZERO; r = std::fmod(x, y); break;
    }
    if (!std::isfinite(r) && std::isfinite(x) && std::isfinite(y)) return VM_ERR_OVERFLOW;
    VMNum n;
    n.bReal = true;
    n.real = r;
    const unsigned int code = nominal == VMT_R4 && ca == VMT_R4 && cb == VMT_R4 ? VMT_R4 : VMT_R8;
    return Worse(lost ? VM_WARN_ROUNDED : 0, WriteTyped(pDest, code, n, pwType));
  }
  VMExact x = a.exact, y = b.exact;
  if ((a.bReal && !ExactFromDouble(a.real, &x)) || (b.bReal && !ExactFromDouble(b.real, &y))) return VM_ERR_OVERFLOW;
  VMNum r;
  bool divZero = false, ok = true;
  switch (op) {
    case VMOp::Add: ok = ExactAdd(&r.exact, x, y); break;
    case VMOp::Sub: ok = ExactSub(&r.exact, x, y); break;
    case VMOp::Mul: ok = ExactMul(&r.exact, x, y); break;
    case VMOp::Mod: ok = ExactMod(&r.exact, x, y, &divZero); break;
    case VMOp::Div: {
      int scale = 40;  // whole-number quotients become reals: keep what a double can use
      if (nominal == VMT_DECIMAL) scale = std::max(6, std::max(x.nScale, y.nScale));
      if (nominal == VMT_CY || nominal == VMT_DUREE) scale = nominal == VMT_CY ? 6 : 0;
      if (scale > kVMMaxDigits && nominal == VMT_DECIMAL) scale = kVMMaxDigits;
      ok = ExactDiv(&r.exact, x, y, scale, &lost, &divZero);
      break;
    }
  }
  if (divZero) return VM_ERR_DIVIDE_BY_ZERO;
  if (!ok) return VM_ERR_OVERFLOW;
  int rc = lost ? VM_WARN_ROUNDED : 0;
  if (exactResult || nominal == VMT_R4 || nominal == VMT_R8)
    return Worse(rc, WriteTyped(pDest, nominal, r, pwType));
  return Worse(rc, WriteInteger(pDest, r.exact, NarrowInt(ca) && NarrowInt(cb), pwType));
}

// A date or date-time in the date class (a date at midnight); 202 when empty or invalid.
int ReadPoint(const void* p, unsigned int code, CDateTimeBase* out) {
  VMDateTime dt{};
  if (VMKindOf(code) == VMKind::DateTime) {
    dt = VMReadDateTime(p);
  } else {
    std::wstring text;
    if (const int rc = nVMReadText(p, code, HostCodePage(), &text)) return rc;
    if (nVMParseDate(text, &dt) > 99) return VM_ERR_SYNTAX;
  }
  if (!bVMValidDate(dt)) return VM_ERR_SYNTAX;
  *out = VMDateClass(dt);
  return 0;
}

// The calendar is the date class's: its shifts and differences, refusing years beyond 1-9999.
int DateOp(VMOp op, const void* pA, unsigned int a, const void* pB, unsigned int b, unsigned int nominal,
           void* pDest, unsigned short* pwType) {
  const VMKind ka = VMKindOf(a), kb = VMKindOf(b);
  const bool aPoint = IsPoint(ka);
  CDateTimeBase t, u;
  int rc = 0;
  if (nominal == VMT_DATETIME) {
    // A point moved by a duration.
    VMNum d;
    if ((rc = ReadPoint(aPoint ? pA : pB, aPoint ? a : b, &t)) || (rc = nVMReadNumber(aPoint ? pB : pA, aPoint ? b : a, &d)))
      return rc;
    int64_t ms = 0;
    if (!ExactToInt64(d.exact, &ms, nullptr) || (op == VMOp::Sub && ms == INT64_MIN)) return VM_ERR_OVERFLOW;
    if (!t.bDecaleMilli(op == VMOp::Sub ? -ms : ms)) return VM_ERR_OVERFLOW;
    const VMDateTime moved{t.m_byJour, t.m_byMois, t.m_wAnnee, t.m_dwMilli};
    memcpy(pDest, &moved, sizeof(moved));
    *pwType = VMT_DATETIME;
    return 0;
  }
  if (IsPoint(ka) && IsPoint(kb)) {
    // Difference of two points: days between two dates, else a duration.
    CDureeBase d;
    if ((rc = ReadPoint(pA, a, &t)) || (rc = ReadPoint(pB, b, &u))) return rc;
    if (CDateTimeBase::nCalculeDuree(t, u, &d) != 0) return VM_ERR_SYNTAX;
    VMNum n;
    n.exact = ExactFromInt(nominal == VMT_I4 ? d.m_llMilli / kMillisecondsPerDay : d.m_llMilli);
    return WriteTyped(pDest, nominal, n, pwType);
  }
  if (IsPoint(ka) || IsPoint(kb)) {
    // A date moved by whole days keeps its code.
    VMNum d;
    if ((rc = ReadPoint(aPoint ? pA : pB, aPoint ? a : b, &t)) || (rc = ReadOperand(aPoint ? pB : pA, aPoint ? b : a, &d)))
      return rc;
    VMExact days = d.exact;
    if (d.bReal && !ExactFromDouble(d.real, &days)) return VM_ERR_OVERFLOW;
    int64_t n = 0;
    bool lost = false;
    if (!ExactToInt64(days, &n, &lost) || n > 4000000 || n < -4000000) return VM_ERR_OVERFLOW;
    if (!t.bDecaleJour(static_cast<int>(op == VMOp::Sub ? -n : n))) return VM_ERR_OVERFLOW;
    const std::wstring text = VMDateText(VMDateTime{t.m_byJour, t.m_byMois, t.m_wAnnee, 0});
    const unsigned int code = aPoint ? a : b;
    if (code == VMT_DATEW) {
      wchar_t* p = static_cast<wchar_t*>(pDest);
      for (size_t i = 0; i < text.size(); ++i) p[i] = text[i];
    } else {
      char* p = static_cast<char*>(pDest);
      for (size_t i = 0; i < text.size(); ++i) p[i] = static_cast<char>(text[i]);
    }
    *pwType = static_cast<unsigned short>(code);
    return lost ? VM_WARN_ROUNDED : 0;
  }
  // Durations with durations or numbers, all in milliseconds.
  VMNum x, y;
  if ((rc = ReadOperand(pA, a, &x)) || (rc = ReadOperand(pB, b, &y))) return rc;
  return NumericOp(op, x, a, y, b, nominal, pDest, pwType);
}

}  // namespace

std::wstring VMFold(const std::wstring& text, VMStrength strength) {
  if (strength == VMStrength::Exact || text.empty()) return text;
  const unsigned int flags = strength == VMStrength::TresSouple ? 0x7 : 0x3;
  IInfoLocale* locale = CHostServices::Instance().Locale();
  const int len = static_cast<int>(text.size());
  const int n = locale->nMapStringCurW(flags, nullptr, 0, text.data(), len);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  const int written = locale->nMapStringCurW(flags, out.data(), n, text.data(), len);
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return out;
}

int nVMCompare(const void* pA, unsigned int wTypeA, const void* pB, unsigned int wTypeB, int* pnOrder) {
  if (pA == nullptr || pB == nullptr || pnOrder == nullptr) return VM_ERR_ARGUMENT;
  int order = 0;
  const int rc = CompareCodes(pA, VMCode(wTypeA), pB, VMCode(wTypeB), &order);
  if (rc <= 99) *pnOrder = order;
  return rc;
}

int nVMEqual(const void* pA, unsigned int wTypeA, const void* pB, unsigned int wTypeB, VMStrength strength,
             bool* pbEqual) {
  if (pA == nullptr || pB == nullptr || pbEqual == nullptr) return VM_ERR_ARGUMENT;
  const unsigned int a = VMCode(wTypeA), b = VMCode(wTypeB);
  const Cls cls = Classify(VMKindOf(a), VMKindOf(b));
  int rc;
  if (strength != VMStrength::Exact && cls == Cls::Text) {
    std::wstring x, y;
    const unsigned int cp = HostCodePage();
    if ((rc = nVMReadText(pA, a, cp, &x)) || (rc = nVMReadText(pB, b, cp, &y))) return rc;
    *pbEqual = VMFold(x, strength) == VMFold(y, strength);
    return 0;
  }
  if (strength == VMStrength::TresSouple && cls == Cls::Numeric) {
    VMNum x, y;
    if ((rc = nVMReadNumber(pA, a, &x)) || (rc = nVMReadNumber(pB, b, &y))) return rc;
    if (x.bReal || y.bReal) {
      const double dx = ToDouble(x), dy = ToDouble(y);
      const double scale = std::max(std::fabs(dx), std::fabs(dy));
      *pbEqual = dx == dy || std::fabs(dx - dy) <= 1e-9 * scale;
      return 0;
    }
  }
  int order = 0;
  if ((rc = CompareCodes(pA, a, pB, b, &order)) > 99) return rc;
  *pbEqual = order == 0;
  return rc;
}

int nVMMatch(const void* pA, unsigned int wTypeA, const void* pB, unsigned int wTypeB, VMMatch match,
             VMStrength strength, bool* pbMatch) {
  if (pA == nullptr || pB == nullptr || pbMatch == nullptr) return VM_ERR_ARGUMENT;
  std::wstring x, y;
  const unsigned int cp = HostCodePage();
  int rc;
  if ((rc = nVMReadText(pA, VMCode(wTypeA), cp, &x)) || (rc = nVMReadText(pB, VMCode(wTypeB), cp, &y))) return rc;
  x = VMFold(x, strength);
  y = VMFold(y, strength);
  switch (match) {
    case VMMatch::StartsWith: *pbMatch = x.size() >= y.size() && x.compare(0, y.size(), y) == 0; break;
    case VMMatch::Contains: *pbMatch = x.find(y) != std::wstring::npos; break;
    case VMMatch::EndsWith: *pbMatch = x.size() >= y.size() && x.compare(x.size() - y.size(), y.size(), y) == 0; break;
  }
  return 0;
}

int nVMLogic(const void* pA, unsigned int wTypeA, const void* pB, unsigned int wTypeB, bool bAnd, bool* pbResult) {
  if (pA == nullptr || pB == nullptr || pbResult == nullptr) return VM_ERR_ARGUMENT;
  bool x = false, y = false;
  const unsigned int cp = HostCodePage();
  int rc;
  if ((rc = nVMReadBool(pA, VMCode(wTypeA), cp, &x)) || (rc = nVMReadBool(pB, VMCode(wTypeB), cp, &y))) return rc;
  *pbResult = bAnd ? (x && y) : (x || y);
  return 0;
}

int nVMNot(const void* pA, unsigned int wTypeA, bool* pbResult) {
  if (pA == nullptr || pbResult == nullptr) return VM_ERR_ARGUMENT;
  bool x = false;
  if (const int rc = nVMReadBool(pA, VMCode(wTypeA), HostCodePage(), &x)) return rc;
  *pbResult = !x;
  return 0;
}

bool bVMCanCompare(unsigned int wTypeA, unsigned int wTypeB) {
  return Classify(VMKindOf(VMCode(wTypeA)), VMKindOf(VMCode(wTypeB))) != Cls::None;
}

unsigned short wVMResultType(VMOp op, unsigned int wTypeA, unsigned int wTypeB) {
  const unsigned int a = VMCode(wTypeA), b = VMCode(wTypeB);
  const VMKind ka = VMKindOf(a), kb = VMKindOf(b);
  const bool add = op == VMOp::Add, sub = op == VMOp::Sub;
  if (add && (ka == VMKind::Text || kb == VMKind::Text)) {
    const bool ok = (ka == VMKind::Text || ka == VMKind::Empty || IsNumberLike(ka) || IsDateLike(ka)) &&
                    (kb == VMKind::Text || kb == VMKind::Empty || IsNumberLike(kb) || IsDateLike(kb));
    return ok ? (WideStored(a) || WideStored(b) ? VMT_DSTRW : VMT_DSTRA) : 0;
  }
  if (ka == VMKind::Bytes || kb == VMKind::Bytes) return add && a == VMT_BIN && b == VMT_BIN ? VMT_BIN : 0;
  const auto numeric = [](VMKind k) { return bVMNumeric(k) || k == VMKind::Text || k == VMKind::Empty; };
  // Dates and durations.
  if (IsPoint(ka) || IsPoint(kb) || ka == VMKind::Duration || kb == VMKind::Duration) {
    if (ka == VMKind::Time || kb == VMKind::Time) return 0;
    if (IsPoint(ka) && IsPoint(kb)) return sub ? (ka == VMKind::Date && kb == VMKind::Date ? VMT_I4 : VMT_DUREE) : 0;
    if (IsPoint(ka) && kb == VMKind::Duration) return add || sub ? VMT_DATETIME : 0;
    if (ka == VMKind::Duration && IsPoint(kb)) return add ? VMT_DATETIME : 0;
    if (ka == VMKind::Date && numeric(kb)) return add || sub ? static_cast<unsigned short>(a) : 0;
    if (numeric(ka) && kb == VMKind::Date) return add ? static_cast<unsigned short>(b) : 0;
    if (IsPoint(ka) || IsPoint(kb)) return 0;
    if (ka == VMKind::Duration && kb == VMKind::Duration) return op == VMOp::Mul ? 0 : (op == VMOp::Div ? VMT_R8 : VMT_DUREE);
    if (ka == VMKind::Duration && numeric(kb)) return VMT_DUREE;
    return numeric(ka) && (add || op == VMOp::Mul) ? VMT_DUREE : 0;
  }
  if (!numeric(ka) || !numeric(kb)) return 0;
  if (a == VMT_DECIMAL || b == VMT_DECIMAL) return VMT_DECIMAL;
  if (a == VMT_CY || b == VMT_CY) return VMT_CY;
  if (ka == VMKind::Real || kb == VMKind::Real) return a == VMT_R4 && b == VMT_R4 ? VMT_R4 : VMT_R8;
  if (op == VMOp::Div) return VMT_R8;
  return NarrowInt(a) && NarrowInt(b) ? VMT_I4 : VMT_I8;
}

int nVMArithmetic(VMOp op, const void* pA, unsigned int wTypeA, const void* pB, unsigned int wTypeB, void* pDest,
                  unsigned short* pwResultType) {
  if (pA == nullptr || pB == nullptr || pDest == nullptr || pwResultType == nullptr) return VM_ERR_ARGUMENT;
  memset(pDest, 0, kVMAreaSize);
  const unsigned int a = VMCode(wTypeA), b = VMCode(wTypeB);
  const unsigned short nominal = wVMResultType(op, a, b);
  if (nominal == 0) return VM_ERR_UNSUPPORTED;
  const VMKind ka = VMKindOf(a), kb = VMKindOf(b);
  const unsigned int cp = HostCodePage();
  int rc = 0;
  if (nominal == VMT_DSTRW || nominal == VMT_DSTRA || nominal == VMT_BIN) {
    // Concatenation, narrow text kept as its bytes.
    if (nominal == VMT_DSTRW) {
      std::wstring x, y;
      if ((rc = nVMReadText(pA, a, cp, &x)) || (rc = nVMReadText(pB, b, cp, &y))) return rc;
      rc = nVMWriteText(pDest, nominal, x + y, cp);
    } else {
      std::string x, y;
      bool replaced = false;
      if ((rc = nVMReadNarrow(pA, a, cp, &x, &replaced)) || (rc = nVMReadNarrow(pB, b, cp, &y, &replaced))) return rc;
      rc = nVMWriteNarrow(pDest, nominal, x + y);
      if (rc == 0 && replaced) rc = VM_WARN_TEXT_CUT;
    }
    if (rc <= 99) *pwResultType = nominal;
    return rc;
  }
  if (IsPoint(ka) || IsPoint(kb) || ka == VMKind::Duration || kb == VMKind::Duration)
    return DateOp(op, pA, a, pB, b, nominal, pDest, pwResultType);
  VMNum x, y;
  if ((rc = ReadOperand(pA, a, &x)) > 99) return rc;
  const int rcB = ReadOperand(pB, b, &y);
  if (rcB > 99) return rcB;
  return Worse(Worse(rc, rcB), NumericOp(op, x, a, y, b, nominal, pDest, pwResultType));
}

int nVMNegate(const void* pA, unsigned int wTypeA, void* pDest, unsigned short* pwResultType) {
  if (pA == nullptr || pDest == nullptr || pwResultType == nullptr) return VM_ERR_ARGUMENT;
  const unsigned int a = VMCode(wTypeA);
  const VMKind k = VMKindOf(a);
  if (!IsNumberLike(k)) return VM_ERR_UNSUPPORTED;
  VMNum n;
  if (const int rc = nVMReadNumber(pA, a, &n)) return rc;
  if (a == VMT_DECIMAL) {
    // The destination already holds the result's decimal object when it comes from a value.
    IDecimal* target = nullptr;
    memcpy(&target, pDest, sizeof(target));
    const IDecimal* source = nullptr;
    memcpy(&source, pA, sizeof(source));
    int precision = 0, scale = 0;
    source->GetPrecisionScale(&precision, &scale);
    const bool made = target == nullptr;
    if (made && (target = CVMDecimalFactory::Instance().piCreate(0)) == nullptr) return VM_ERR_NO_MEMORY;
    const int rc = static_cast<CVMDecimal*>(target)->nSetValue(ExactNeg(n.exact), precision);
    if (rc > 99) {
      if (made) CVMDecimalFactory::Instance().Free(target);
      return rc;
    }
    memcpy(pDest, &target, sizeof(target));
    *pwResultType = VMT_DECIMAL;
    return rc;
  }
  memset(pDest, 0, kVMAreaSize);
  if (n.bReal) {
    n.real = -n.real;
    return WriteTyped(pDest, a, n, pwResultType);
  }
  n.exact = ExactNeg(n.exact);
  if (a == VMT_CY || a == VMT_DUREE) return WriteTyped(pDest, a, n, pwResultType);
  return WriteInteger(pDest, n.exact, NarrowInt(a), pwResultType);
}
