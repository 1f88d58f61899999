#include "common/printf_length.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/winformat.h"

namespace {

template <typename T>
long long Unit() {
  return sizeof(T) == 1 ? 1 : 4;
}

template <typename T>
long long RestLength(const T* p) {
  if constexpr (sizeof(T) == 1)
    return static_cast<long long>(strlen(p));
  else
    return static_cast<long long>(wcslen(p));
}

// Characters a finite or non-finite value can take with the conversion at precision p (sign
// included).
long long FloatBound(char conversion, long double value, long long p) {
  const long double v = fabsl(value);
  if (!std::isfinite(v)) return 5;
  // Decimal digits before the point: below log10(2) x (binary exponent + 1) + 2.
  const int e2 = v < 1 ? -1 : ilogbl(v);
  const long long intDigits = e2 < 0 ? 1 : (static_cast<long long>(e2) + 1) * 30103 / 100000 + 2;
  switch (conversion) {
    case 'f':
    case 'F':
      return 1 + intDigits + 1 + p + 4;
    case 'a':
    case 'A':
      return (p > 16 ? p : 16) + 16;
    default:  // e E g G: mantissa digits, point, exponent of up to 4 digits, "0.0000" prefix
      return p + 16;
  }
}

}  // namespace

template <typename T>
int STRG_nCalculeLongueurPrintf(const T* format, va_list args) {
  if (format == nullptr) return 0;
  va_list ap;
  va_copy(ap, args);
  const long long unit = Unit<T>();
  // A narrow form writes a wide character in up to MB_CUR_MAX bytes.
  const long long expand = sizeof(T) == 1 ? static_cast<long long>(MB_CUR_MAX) : 1;
  long long total = 0;
  for (const T* p = format; *p != 0 && total < INT_MAX;) {
    if (*p != '%') {
      total += unit;
      ++p;
      continue;
    }
    STPrintfSpec s;
    WIN_ParsePrintfSpec(p, &s);
    if (s.bPositional) {
      total += unit * RestLength(p);
      break;
    }
    long long w = s.nWidth;
    long long prec = s.nPrecision;
    bool hasPrecision = s.bPrecision;
    if (s.eArg > PRINTF_ARG_END) {
      if (s.bAlternate) total += 2;
      if (s.bWidthStar) {
        const int v = va_arg(ap, int);
        w = v < 0 ? -static_cast<long long>(v) : v;
      }
      if (s.bPrecisionStar) {
        const int v = va_arg(ap, int);
        hasPrecision = v >= 0;
        prec = v >= 0 ? v : 0;
      }
    }
    switch (s.eArg) {
      case PRINTF_ARG_PERCENT:
        total += unit;
        break;
      case PRINTF_ARG_INVALID:
        total += unit * s.nLength;
        break;
      case PRINTF_ARG_END:
        break;
      case PRINTF_ARG_INT:
        if (s.b64)
          (void)va_arg(ap, long long);
        else
          (void)va_arg(ap, int);
        // The sign comes on top of a precision's digits.
        total += std::max({w + prec, 32LL, prec + 1});
        break;
      case PRINTF_ARG_POINTER:
        (void)va_arg(ap, void*);
        // Printed as "%#x": sign, "0x" and the precision's digits.
        total += std::max({w + prec, 32LL, prec + 3});
        break;
      case PRINTF_ARG_COUNT:
        (void)va_arg(ap, void*);
        break;
      case PRINTF_ARG_FLOAT: {
        const long double v = s.bLongDouble ? va_arg(ap, long double) : va_arg(ap, double);
        total += std::max({w + prec, 512LL, FloatBound(s.cConversion, v, hasPrecision ? prec : 6)});
        break;
      }
      case PRINTF_ARG_CHAR: {
        if (s.bWideArg)
          (void)va_arg(ap, wint_t);
        else
          (void)va_arg(ap, int);
        const long long len = s.bWideArg ? std::max(2LL, expand) : 2;
        total += std::max(w, len);  // a precision does not apply to characters
        break;
      }
      case PRINTF_ARG_STRING: {
        const void* arg = va_arg(ap, const void*);
        long long len;
        if (arg == nullptr) {
          len = 6;  // "(null)"
        } else {
          // A precision lets the text end without a terminator: measure no further.
          const size_t max = hasPrecision ? static_cast<size_t>(prec) : SIZE_MAX;
          if (s.bWideArg)
            len = static_cast<long long>(wcsnlen(static_cast<const wchar_t*>(arg), max)) * expand;
          else
            len = static_cast<long long>(strnlen(static_cast<const char*>(arg), max));
          if (len < 1) len = 1;
        }
        total += prec != 0 ? std::max(w, std::min(len, prec)) : std::max(w, len);
        break;
      }
    }
    p += s.nLength;
  }
  va_end(ap);
  return total > INT_MAX ? INT_MAX : static_cast<int>(total);
}

template int STRG_nCalculeLongueurPrintf<char>(const char*, va_list);
template int STRG_nCalculeLongueurPrintf<wchar_t>(const wchar_t*, va_list);
