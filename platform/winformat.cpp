#include "platform/winformat.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "common/utf.h"

namespace {

// Every length here is an int, so no text may hold more than INT_MAX - 1 characters.
constexpr size_t kMaxChars = static_cast<size_t>(INT_MAX) - 1;
constexpr unsigned int kUnboundedCount = 10000000;
// The rewritten format lives on the stack up to 512 bytes.
constexpr size_t kStackFormatChars = 512 / sizeof(wchar_t);
// Inserts of FormatMessageWin.
constexpr int kMaxInsertArgs = 200;
constexpr size_t kMaxInsertFormat = 29;

template <typename T>
bool IsDigit(T c) {
  return c >= '0' && c <= '9';
}

template <typename T>
size_t Len(const T* s) {
  if constexpr (sizeof(T) == 1)
    return strlen(s);
  else
    return wcslen(s);
}

// Decimal number at p, clamped to INT_MAX; returns the character after it.
template <typename T>
const T* ReadNumber(const T* p, int* value) {
  long long v = 0;
  for (; IsDigit(*p); ++p)
    if (v < INT_MAX) v = v * 10 + (*p - '0');
  *value = v > INT_MAX ? INT_MAX : static_cast<int>(v);
  return p;
}

// After a '*': an optional "m$" argument number.
template <typename T>
const T* ReadStarNumber(const T* p, bool* positional) {
  const T* q = p;
  while (IsDigit(*q)) ++q;
  if (q > p && *q == '$') {
    *positional = true;
    return q + 1;
  }
  return p;
}

enum eModifier { MOD_NONE, MOD_HH, MOD_H, MOD_L, MOD_LL, MOD_BIGL, MOD_J, MOD_Z, MOD_T, MOD_W, MOD_I32 };

void SetModifier(STPrintfSpec* s, const char* m) {
  s->szModifier[0] = m[0];
  s->szModifier[1] = m[0] != 0 ? m[1] : 0;
  s->szModifier[2] = 0;
}

void SetIntegerModifier(STPrintfSpec* s, eModifier mod) {
  static const char* const kText[] = {"", "hh", "h", "l", "ll", "ll", "j", "z", "t", "", ""};
  SetModifier(s, kText[mod]);
  s->b64 = mod == MOD_L || mod == MOD_LL || mod == MOD_BIGL || mod == MOD_J || mod == MOD_Z || mod == MOD_T;
}

// ---- Rewrite ----

// Counts every character and writes those that fit with room for the terminator.
template <typename T>
struct CEmitter {
  T* out;
  size_t size;
  size_t n = 0;
  void Put(T c) {
    if (out != nullptr && n + 1 < size) out[n] = c;
    ++n;
  }
};

// The platform form of a Windows format. Returns its length; it was written whole, terminated,
// when length + 1 <= size.
template <typename T>
size_t Rewrite(const T* format, T* out, size_t size) {
  CEmitter<T> e{out, size};
  for (const T* p = format; *p != 0;) {
    if (*p != '%') {
      e.Put(*p++);
      continue;
    }
    STPrintfSpec s;
    WIN_ParsePrintfSpec(p, &s);
    switch (s.eArg) {
      case PRINTF_ARG_END:
        break;
      case PRINTF_ARG_PERCENT:
        e.Put('%');
        e.Put('%');
        break;
      case PRINTF_ARG_INVALID:
        // Escaped so that the platform prints the text and takes no argument for it.
        e.Put('%');
        for (unsigned i = 0; i < s.nLength; ++i) e.Put(p[i]);
        break;
      default:
        for (unsigned i = 0; i < s.nModifier; ++i) e.Put(p[i]);
        for (const char* m = s.szModifier; *m != 0; ++m) e.Put(static_cast<T>(*m));
        e.Put(static_cast<T>(s.cConversion));
        break;
    }
    p += s.nLength;
  }
  if (out != nullptr && size > 0) out[e.n + 1 <= size ? e.n : 0] = 0;
  return e.n;
}

// The rewritten format, on the stack when it is short. Null (errno ENOMEM) when it cannot be had.
template <typename T>
class CUnixFormat {
 public:
  explicit CUnixFormat(const T* format) {
    const size_t n = Rewrite(format, m_stack, kStackFormatChars);
    if (n + 1 <= kStackFormatChars) {
      m_p = m_stack;
      return;
    }
    m_p = static_cast<T*>(malloc((n + 1) * sizeof(T)));
    if (m_p == nullptr)
      errno = ENOMEM;
    else
      Rewrite(format, m_p, n + 1);
  }
  ~CUnixFormat() {
    if (m_p != m_stack) {
      const int e = errno;
      free(m_p);
      errno = e;
    }
  }
  CUnixFormat(const CUnixFormat&) = delete;
  CUnixFormat& operator=(const CUnixFormat&) = delete;
  const T* Get() const { return m_p; }

 private:
  T m_stack[kStackFormatChars];
  T* m_p = nullptr;
};

// Whether a Windows format takes any argument.
template <typename T>
bool TakesArguments(const T* format) {
  for (const T* p = format; *p != 0;) {
    if (*p != '%') {
      ++p;
      continue;
    }
    STPrintfSpec s;
    WIN_ParsePrintfSpec(p, &s);
    if (s.eArg > PRINTF_ARG_END || s.bWidthStar || s.bPrecisionStar) return true;
    p += s.nLength;
  }
  return false;
}

// vswprintf on a rewritten format. Errors: errno 0 when the text did not fit (the cut text stays,
// terminated), otherwise the platform's code with an empty text.
int FormatUnix(wchar_t* buffer, size_t count, const wchar_t* unixFormat, va_list args) {
  errno = 0;
  const int r = vswprintf(buffer, count, unixFormat, args);
  if (r < 0) {
    const int e = errno;
    buffer[e == 0 ? count - 1 : 0] = 0;
    errno = e;
  }
  return r;
}

int FormatWin(wchar_t* buffer, size_t count, const wchar_t* format, va_list args) {
  if (format == nullptr || buffer == nullptr) {
    errno = EINVAL;
    return -1;
  }
  if (count == 0) {
    errno = 0;
    return -1;
  }
  CUnixFormat<wchar_t> unixFormat(format);
  if (unixFormat.Get() == nullptr) {
    buffer[0] = 0;
    return -1;
  }
  return FormatUnix(buffer, count, unixFormat.Get(), args);
}

int FormatZ(wchar_t* buffer, unsigned int max, const wchar_t* format, va_list args) {
  if (buffer == nullptr) {
    errno = EINVAL;
    return -1;
  }
  const int r = FormatWin(buffer, static_cast<size_t>(max) + 1, format, args);
  buffer[max] = 0;
  return r >= 0 && static_cast<unsigned int>(r) > max ? -1 : r;
}

// Leaves *out an empty text when a block can be had for it.
void EmptyOut(wchar_t** out) {
  wchar_t* p = static_cast<wchar_t*>(realloc(*out, sizeof(wchar_t)));
  if (p == nullptr) return;
  p[0] = 0;
  *out = p;
}

// Formats a rewritten format into *out, starting with cap characters and doubling the block until
// the text fits; the caller's list is formatted through a copy each time.
int GrowFormat(wchar_t** out, const wchar_t* unixFormat, size_t cap, va_list args) {
  for (;;) {
    wchar_t* p = static_cast<wchar_t*>(realloc(*out, cap * sizeof(wchar_t)));
    if (p == nullptr) {
      EmptyOut(out);
      errno = ENOMEM;
      return -1;
    }
    *out = p;
    va_list ap;
    va_copy(ap, args);
    const int r = FormatUnix(p, cap, unixFormat, ap);
    const int e = errno;
    va_end(ap);
    if (r >= 0) {
      wchar_t* shrunk = static_cast<wchar_t*>(realloc(p, (static_cast<size_t>(r) + 1) * sizeof(wchar_t)));
      if (shrunk != nullptr) *out = shrunk;
      return r;
    }
    if (e != 0 || cap > kMaxChars) {
      p[0] = 0;
      errno = e != 0 ? e : EOVERFLOW;
      return -1;
    }
    cap = cap > kMaxChars / 2 ? kMaxChars + 1 : cap * 2;
  }
}

// Calls f with the caller's list (through a copy), or with an empty one when there is none.
template <typename F>
int CallWithEmptyList(F* f, ...) {
  va_list ap;
  va_start(ap, f);
  const int r = (*f)(ap);
  va_end(ap);
  return r;
}

template <typename F>
int WithArguments(va_list* arguments, F f) {
  if (arguments == nullptr) return CallWithEmptyList(&f);
  va_list ap;
  va_copy(ap, *arguments);
  const int r = f(ap);
  va_end(ap);
  return r;
}

// The system's message for an error code, UTF-8.
const char* SystemMessageA(int code, char* buffer, size_t size) { return strerror_r(code, buffer, size); }

// The same widened into buffer (size characters).
size_t SystemMessageW(int code, wchar_t* buffer, size_t size) {
  char text[512];
  return static_cast<size_t>(UTF8ToWide(buffer, static_cast<unsigned int>(size),
                                        SystemMessageA(code, text, sizeof text)));
}

// Hands a finished text over as the message functions do: a block of max(len, size) + 1
// characters with allocation, else a copy into the caller's buffer, which must hold it whole.
template <typename T>
unsigned int HandOver(const T* text, size_t len, unsigned int flags, T* buffer, unsigned int size,
                      int noMemoryCode) {
  if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
    T** dst = reinterpret_cast<T**>(buffer);
    if (dst == nullptr) {
      errno = EINVAL;
      return 0;
    }
    const size_t cap = (len > size ? len : size) + 1;
    T* p = static_cast<T*>(malloc(cap * sizeof(T)));
    *dst = p;
    if (p == nullptr) {
      errno = noMemoryCode;
      return 0;
    }
    memcpy(p, text, (len + 1) * sizeof(T));
    return static_cast<unsigned int>(len);
  }
  if (buffer == nullptr) {
    errno = EINVAL;
    return 0;
  }
  if (size == 0) {
    errno = EOVERFLOW;
    return 0;
  }
  if (len + 1 > size) {
    memcpy(buffer, text, (size - 1) * sizeof(T));
    buffer[size - 1] = 0;
    errno = EOVERFLOW;
    return 0;
  }
  memcpy(buffer, text, (len + 1) * sizeof(T));
  return static_cast<unsigned int>(len);
}

// ---- FormatMessageWin ----

// The insert arguments: an array of words, or a list read in order into a cache.
class CInsertArgs {
 public:
  CInsertArgs(bool array, va_list* arguments)
      : m_pArray(array ? reinterpret_cast<const intptr_t*>(arguments) : nullptr),
        m_bList(!array && arguments != nullptr) {
    if (m_bList) va_copy(m_list, *arguments);
  }
  ~CInsertArgs() {
    if (m_bList) va_end(m_list);
  }
  CInsertArgs(const CInsertArgs&) = delete;
  CInsertArgs& operator=(const CInsertArgs&) = delete;

  // Argument n, from 1.
  bool bGet(int n, intptr_t* out) {
    if (n < 1 || n > kMaxInsertArgs) return false;
    if (m_pArray != nullptr) {
      *out = m_pArray[n - 1];
      return true;
    }
    if (!m_bList) return false;
    while (m_nRead < n) m_cache[m_nRead++] = va_arg(m_list, intptr_t);
    *out = m_cache[n - 1];
    return true;
  }

 private:
  const intptr_t* m_pArray;
  bool m_bList;
  va_list m_list;
  intptr_t m_cache[kMaxInsertArgs];
  int m_nRead = 0;
};

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The output area of the message formatter: keeps the column and the last blank of the current
// line for wrapping; an allocated area grows, a caller's area overflows.
class CMessageArea {
 public:
  CMessageArea(wchar_t* area, size_t cap, bool grow, unsigned int width)
      : m_p(area), m_nCap(cap), m_bGrow(grow), m_nWidth(width >= 1 && width <= 254 ? width : 0) {}

  wchar_t* pArea() const { return m_p; }
  size_t nLength() const { return m_n; }
  void Terminate() { m_p[m_n] = 0; }

  int nPut(wchar_t c) {
    if (!bRoom(1)) return m_nFailure;
    m_p[m_n++] = c;
    if (c == L'\r' || c == L'\n') {
      m_nCol = 0;
      m_nLineStart = m_n;
      m_bBlank = false;
      return 0;
    }
    if (IsBlank(c)) {
      m_nBlank = m_n - 1;
      m_bBlank = true;
    }
    m_nCol = c == L'\t' ? (m_nCol / 8 + 1) * 8 : m_nCol + 1;
    return m_nWidth != 0 && m_nCol >= m_nWidth ? nWrap() : 0;
  }
  int nPutText(const wchar_t* s, size_t n) {
    for (size_t i = 0; i < n; ++i)
      if (const int rc = nPut(s[i]); rc != 0) return rc;
    return 0;
  }

 private:
  // Room for more characters and the terminator.
  bool bRoom(size_t more) {
    if (m_n + more + 1 <= m_nCap) return true;
    if (!m_bGrow || m_n + more + 1 > kMaxChars + 1) {
      m_nFailure = EOVERFLOW;
      return false;
    }
    size_t cap = m_nCap * 2;
    if (cap < m_n + more + 1) cap = m_n + more + 1;
    if (cap > kMaxChars + 1) cap = kMaxChars + 1;
    wchar_t* p = static_cast<wchar_t*>(realloc(m_p, cap * sizeof(wchar_t)));
    if (p == nullptr) {
      m_nFailure = kFormatMessageNoMemory;
      return false;
    }
    m_p = p;
    m_nCap = cap;
    return true;
  }

  // The line is full: break it at its last run of blanks, or here.
  int nWrap() {
    if (m_bBlank) {
      size_t b0 = m_nBlank;
      while (b0 > m_nLineStart && IsBlank(m_p[b0 - 1])) --b0;
      const size_t b1 = m_nBlank + 1;
      const size_t tail = m_n - b1;
      if (b1 - b0 < 2 && !bRoom(2 - (b1 - b0))) return m_nFailure;
      memmove(m_p + b0 + 2, m_p + b1, tail * sizeof(wchar_t));
      m_p[b0] = L'\r';
      m_p[b0 + 1] = L'\n';
      m_n = b0 + 2 + tail;
      m_nLineStart = b0 + 2;
      m_nCol = static_cast<unsigned int>(tail);  // the tail holds no blank
    } else {
      if (!bRoom(2)) return m_nFailure;
      m_p[m_n++] = L'\r';
      m_p[m_n++] = L'\n';
      m_nCol = 0;
      m_nLineStart = m_n;
    }
    m_bBlank = false;
    return 0;
  }

  wchar_t* m_p;
  size_t m_nCap;
  bool m_bGrow;
  unsigned int m_nWidth;  // 0: no wrapping
  size_t m_n = 0;
  unsigned int m_nCol = 0;
  size_t m_nLineStart = 0;
  size_t m_nBlank = 0;
  bool m_bBlank = false;
  int m_nFailure = 0;
};

int AllocFormat(wchar_t** out, const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int r = vaswprintf(out, format, ap);
  va_end(ap);
  return r;
}

template <typename V>
int FormatValue(wchar_t** out, const wchar_t* format, int nStars, const int* stars, V value) {
  if (nStars == 0) return AllocFormat(out, format, value);
  if (nStars == 1) return AllocFormat(out, format, stars[0], value);
  return AllocFormat(out, format, stars[0], stars[1], value);
}

// One insert: argument number (from 1) with its printf format ("%" and the text between '!').
int WriteInsert(int number, const wchar_t* format, CInsertArgs& args, CMessageArea& area) {
  STPrintfSpec s;
  WIN_ParsePrintfSpec(format, &s);
  // Only one conversion of the kinds a word can carry; literal text may follow it.
  if (s.bPositional || (s.eArg != PRINTF_ARG_INT && s.eArg != PRINTF_ARG_CHAR && s.eArg != PRINTF_ARG_STRING &&
                        s.eArg != PRINTF_ARG_POINTER))
    return EINVAL;
  if (wcschr(format + s.nLength, L'%') != nullptr) return EINVAL;
  const int nStars = (s.bWidthStar ? 1 : 0) + (s.bPrecisionStar ? 1 : 0);
  // Checked before any argument is read: a list cannot say where it ends.
  if (number + nStars > kMaxInsertArgs) return EINVAL;
  int stars[2] = {0, 0};
  intptr_t w = 0;
  for (int i = 0; i < nStars; ++i) {
    if (!args.bGet(number + i, &w)) return EINVAL;
    stars[i] = static_cast<int>(w);
  }
  if (!args.bGet(number + nStars, &w)) return EINVAL;
  wchar_t* text = nullptr;
  int n;
  switch (s.eArg) {
    case PRINTF_ARG_INT:
      n = s.b64 ? FormatValue(&text, format, nStars, stars, static_cast<long long>(w))
                : FormatValue(&text, format, nStars, stars, static_cast<int>(w));
      break;
    case PRINTF_ARG_CHAR:
      n = FormatValue(&text, format, nStars, stars, static_cast<int>(w));
      break;
    default:
      n = FormatValue(&text, format, nStars, stars, reinterpret_cast<const void*>(w));
      break;
  }
  int rc;
  if (n < 0)
    rc = errno != 0 ? errno : EINVAL;
  else
    rc = area.nPutText(text, static_cast<size_t>(n));
  free(text);
  return rc;
}

// The message formatter: 0, EINVAL, EOVERFLOW or another failure code.
int RunMessage(const wchar_t* msg, unsigned int width, bool ignoreInserts, CInsertArgs& args, CMessageArea& area) {
  int rc = 0;
  const wchar_t* p = msg;
  while (rc == 0 && *p != 0) {
    const wchar_t c = *p;
    if (c == L'\r' || c == L'\n') {
      const wchar_t other = c == L'\r' ? L'\n' : L'\r';
      p += p[1] == other ? 2 : 1;
      rc = width == 0 ? area.nPutText(L"\r\n", 2) : area.nPut(L' ');
      continue;
    }
    if (c != L'%') {
      rc = area.nPut(c);
      ++p;
      continue;
    }
    const wchar_t* insert = p;
    const wchar_t e = *++p;
    if (e == 0) return EINVAL;
    if (e >= L'1' && e <= L'9') {
      int number = e - L'0';
      ++p;
      for (int digits = 1; IsDigit(*p); ++digits, ++p) {
        if (digits == 3) return EINVAL;
        number = number * 10 + (*p - L'0');
      }
      wchar_t format[kMaxInsertFormat + 2] = L"%s";
      if (*p == L'!') {
        const wchar_t* end = wcschr(p + 1, L'!');
        const size_t len = end == nullptr ? 0 : static_cast<size_t>(end - (p + 1));
        if (len == 0 || len > kMaxInsertFormat) return EINVAL;
        size_t stars = 0;
        for (size_t i = 0; i < len; ++i) stars += p[1 + i] == L'*' ? 1 : 0;
        if (stars > 2) return EINVAL;
        wmemcpy(format + 1, p + 1, len);
        format[len + 1] = 0;
        p = end + 1;
      }
      rc = ignoreInserts ? area.nPutText(insert, static_cast<size_t>(p - insert))
                         : WriteInsert(number, format, args, area);
      continue;
    }
    ++p;
    switch (e) {
      case L'0':
        return 0;
      case L'n':
        rc = area.nPutText(L"\r\n", 2);
        break;
      case L'r':
        rc = area.nPut(L'\r');
        break;
      case L't':
        rc = area.nPut(L'\t');
        break;
      case L'b':
        rc = area.nPut(L' ');
        break;
      default:
        rc = ignoreInserts ? area.nPutText(insert, 2) : area.nPut(e);
        break;
    }
  }
  return rc;
}

unsigned int MessageFromString(unsigned int flags, const wchar_t* msg, wchar_t* buffer, unsigned int size,
                               va_list* arguments) {
  const bool allocate = (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
  wchar_t** dst = reinterpret_cast<wchar_t**>(buffer);
  if (msg == nullptr || buffer == nullptr) {
    errno = EINVAL;
    return 0;
  }
  wchar_t* area = buffer;
  size_t cap = size;
  if (allocate) {
    *dst = nullptr;
    cap = 256;
    area = static_cast<wchar_t*>(malloc(cap * sizeof(wchar_t)));
    if (area == nullptr) {
      errno = kFormatMessageNoMemory;
      return 0;
    }
  } else if (size == 0) {
    errno = EOVERFLOW;
    return 0;
  }
  CInsertArgs args((flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0, arguments);
  CMessageArea out(area, cap, allocate, flags & FORMAT_MESSAGE_MAX_WIDTH_MASK);
  const int rc = RunMessage(msg, flags & FORMAT_MESSAGE_MAX_WIDTH_MASK,
                            (flags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0, args, out);
  out.Terminate();
  if (rc != 0) {
    if (allocate) free(out.pArea());
    errno = rc;
    return 0;
  }
  const size_t len = out.nLength();
  if (allocate) {
    wchar_t* shrunk = static_cast<wchar_t*>(realloc(out.pArea(), (len + 1) * sizeof(wchar_t)));
    *dst = shrunk != nullptr ? shrunk : out.pArea();
  }
  return static_cast<unsigned int>(len);
}

}  // namespace

// ---- One printf conversion ----

template <typename T>
void WIN_ParsePrintfSpec(const T* p, STPrintfSpec* conv) {
  STPrintfSpec s{};
  const T* q = p + 1;
  {
    const T* r = q;
    while (IsDigit(*r)) ++r;
    if (r > q && *r == '$') {
      s.bPositional = true;
      q = r + 1;
    }
  }
  for (;; ++q) {
    if (*q == '#')
      s.bAlternate = true;
    else if (*q != '-' && *q != '+' && *q != ' ' && *q != '0')
      break;
  }
  if (*q == '*') {
    s.bWidthStar = true;
    q = ReadStarNumber(q + 1, &s.bPositional);
  } else {
    q = ReadNumber(q, &s.nWidth);
  }
  if (*q == '.') {
    s.bPrecision = true;
    ++q;
    if (*q == '*') {
      s.bPrecisionStar = true;
      q = ReadStarNumber(q + 1, &s.bPositional);
    } else {
      q = ReadNumber(q, &s.nPrecision);
    }
  }
  s.nModifier = static_cast<unsigned int>(q - p);
  eModifier mod = MOD_NONE;
  switch (*q) {
    case 'h':
      mod = q[1] == 'h' ? MOD_HH : MOD_H;
      q += mod == MOD_HH ? 2 : 1;
      break;
    case 'l':
      mod = q[1] == 'l' ? MOD_LL : MOD_L;
      q += mod == MOD_LL ? 2 : 1;
      break;
    case 'L':
      mod = MOD_BIGL;
      ++q;
      break;
    case 'q':
      mod = MOD_LL;
      ++q;
      break;
    case 'j':
      mod = MOD_J;
      ++q;
      break;
    case 'z':
      mod = MOD_Z;
      ++q;
      break;
    case 't':
      mod = MOD_T;
      ++q;
      break;
    case 'w':
      mod = MOD_W;
      ++q;
      break;
    case 'N':  // near pointer: no effect
      ++q;
      break;
    case 'I':
      if (q[1] == '6' && q[2] == '4') {
        mod = MOD_LL;
        q += 3;
      } else if (q[1] == '3' && q[2] == '2') {
        mod = MOD_I32;
        q += 3;
      } else {
        mod = MOD_Z;
        ++q;
      }
      break;
    default:
      break;
  }
  const T c = *q;
  if (c == 0) {
    s.eArg = PRINTF_ARG_END;
    s.nLength = static_cast<unsigned int>(q - p);
    *conv = s;
    return;
  }
  s.nLength = static_cast<unsigned int>(q + 1 - p);
  constexpr bool kWideFormat = sizeof(T) == sizeof(wchar_t);
  switch (c) {
    case '%':
      s.eArg = PRINTF_ARG_PERCENT;
      break;
    case 'd':
    case 'i':
    case 'o':
    case 'u':
    case 'x':
    case 'X':
    case 'n':
      s.eArg = c == 'n' ? PRINTF_ARG_COUNT : PRINTF_ARG_INT;
      s.cConversion = static_cast<char>(c);
      SetIntegerModifier(&s, mod);
      break;
    case 'a':
    case 'A':
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
      s.eArg = PRINTF_ARG_FLOAT;
      s.cConversion = static_cast<char>(c);
      s.bLongDouble = mod == MOD_BIGL;
      SetModifier(&s, s.bLongDouble ? "L" : "");
      break;
    case 'c':
    case 'C':
    case 's':
    case 'S': {
      const bool lower = c == 'c' || c == 's';
      s.eArg = c == 'c' || c == 'C' ? PRINTF_ARG_CHAR : PRINTF_ARG_STRING;
      if (mod == MOD_H || mod == MOD_HH)
        s.bWideArg = false;
      else if (mod == MOD_L || mod == MOD_W)
        s.bWideArg = true;
      else
        s.bWideArg = lower == kWideFormat;
      s.cConversion = s.eArg == PRINTF_ARG_CHAR ? 'c' : 's';
      SetModifier(&s, s.bWideArg ? "l" : "");
      break;
    }
    case 'p':
      s.eArg = PRINTF_ARG_POINTER;
      s.cConversion = 'p';
      break;
    default:
      s.eArg = PRINTF_ARG_INVALID;
      break;
  }
  *conv = s;
}

template void WIN_ParsePrintfSpec<char>(const char*, STPrintfSpec*);
template void WIN_ParsePrintfSpec<wchar_t>(const wchar_t*, STPrintfSpec*);

// ---- Format rewrite ----

int _ConvertFormatWindowsToUnix(const wchar_t* format, wchar_t* out, unsigned int size) {
  if (format == nullptr || out == nullptr) {
    if (out != nullptr && size > 0) out[0] = 0;
    return -1;
  }
  const size_t n = Rewrite(format, out, size);
  return n + 1 <= size ? static_cast<int>(n) : -1;
}

int _nCalculeTailleChaineFormattageUnix(const wchar_t* format) {
  if (format == nullptr) return 1;
  const size_t n = Rewrite<wchar_t>(format, nullptr, 0);
  return n >= kMaxChars ? INT_MAX : static_cast<int>(n + 1);
}

// ---- printf family ----

int vsnwprintfWin(wchar_t* buffer, unsigned int count, const wchar_t* format, va_list args) {
  return FormatWin(buffer, count, format, args);
}

int snwprintfWin(wchar_t* buffer, unsigned int count, const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int r = FormatWin(buffer, count, format, ap);
  va_end(ap);
  return r;
}

int vswprintfWin(wchar_t* buffer, const wchar_t* format, va_list args) {
  return FormatWin(buffer, kUnboundedCount, format, args);
}

int swprintfWin(wchar_t* buffer, const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int r = FormatWin(buffer, kUnboundedCount, format, ap);
  va_end(ap);
  return r;
}

int vsznwprintf(wchar_t* buffer, unsigned int max, const wchar_t* format, va_list args) {
  return FormatZ(buffer, max, format, args);
}

int sznwprintf(wchar_t* buffer, unsigned int max, const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int r = FormatZ(buffer, max, format, ap);
  va_end(ap);
  return r;
}

int vsznwprintfWin(wchar_t* buffer, unsigned int max, const wchar_t* format, va_list args) {
  return FormatZ(buffer, max, format, args);
}

int sznwprintfWin(wchar_t* buffer, unsigned int max, const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int r = FormatZ(buffer, max, format, ap);
  va_end(ap);
  return r;
}

int vsznprintf(char* buffer, unsigned int max, const char* format, va_list args) {
  if (buffer == nullptr || format == nullptr) {
    errno = EINVAL;
    return -1;
  }
  CUnixFormat<char> unixFormat(format);
  if (unixFormat.Get() == nullptr) {
    buffer[0] = 0;
    return -1;
  }
  errno = 0;
  const int r = vsnprintf(buffer, static_cast<size_t>(max) + 1, unixFormat.Get(), args);
  if (r < 0) {
    buffer[0] = 0;
    return -1;
  }
  if (static_cast<unsigned int>(r) > max) {
    buffer[max] = 0;
    errno = 0;
    return -1;
  }
  return r;
}

int sznprintf(char* buffer, unsigned int max, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int r = vsznprintf(buffer, max, format, ap);
  va_end(ap);
  return r;
}

int vaswprintf(wchar_t** out, const wchar_t* format, va_list args) {
  if (out == nullptr || format == nullptr) {
    if (out != nullptr) EmptyOut(out);
    errno = EINVAL;
    return -1;
  }
  CUnixFormat<wchar_t> unixFormat(format);
  if (unixFormat.Get() == nullptr) {
    EmptyOut(out);
    errno = ENOMEM;
    return -1;
  }
  // First guess: the format's length rounded up to the next multiple of 8.
  const size_t len = wcslen(format);
  const size_t cap = len >= kMaxChars ? kMaxChars + 1 : (len / 8 + 1) * 8;
  return GrowFormat(out, unixFormat.Get(), cap, args);
}

// ---- Win32 message formatters ----

unsigned int FormatMessageW(unsigned int flags, const void* source, unsigned int messageId, unsigned int languageId,
                            wchar_t* buffer, unsigned int size, va_list* arguments) {
  (void)messageId;
  (void)languageId;
  if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0) {
    wchar_t text[512];
    const size_t len = SystemMessageW(errno, text, 512);
    return HandOver<wchar_t>(text, len, flags, buffer, size, ENOMEM);
  }
  const wchar_t* format = static_cast<const wchar_t*>(source);
  if (format == nullptr || buffer == nullptr || (arguments == nullptr && TakesArguments(format))) {
    errno = EINVAL;
    return 0;
  }
  if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
    wchar_t** dst = reinterpret_cast<wchar_t**>(buffer);
    wchar_t* p = nullptr;
    const int n = WithArguments(arguments, [&](va_list ap) { return vaswprintf(&p, format, ap); });
    if (n < 0) {
      const int e = errno;
      free(p);
      *dst = nullptr;
      errno = e;
      return 0;
    }
    if (size > static_cast<unsigned int>(n) + 1) {
      wchar_t* bigger = static_cast<wchar_t*>(realloc(p, static_cast<size_t>(size) * sizeof(wchar_t)));
      if (bigger != nullptr) p = bigger;
    }
    *dst = p;
    return static_cast<unsigned int>(n);
  }
  const int n = WithArguments(arguments, [&](va_list ap) { return FormatWin(buffer, size, format, ap); });
  if (n < 0) {
    if (errno == 0) errno = EOVERFLOW;
    return 0;
  }
  return static_cast<unsigned int>(n);
}

unsigned int FormatMessageA(unsigned int flags, const void* source, unsigned int messageId, unsigned int languageId,
                            char* buffer, unsigned int size, va_list* arguments) {
  (void)messageId;
  (void)languageId;
  if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0) {
    char text[512];
    const char* msg = SystemMessageA(errno, text, sizeof text);
    return HandOver<char>(msg, strlen(msg), flags, buffer, size, ENOMEM);
  }
  const char* format = static_cast<const char*>(source);
  if (format == nullptr || buffer == nullptr || (arguments == nullptr && TakesArguments(format))) {
    errno = EINVAL;
    return 0;
  }
  CUnixFormat<char> unixFormat(format);
  if (unixFormat.Get() == nullptr) return 0;
  const char* fmt = unixFormat.Get();
  const int need = WithArguments(arguments, [&](va_list ap) { return vsnprintf(nullptr, 0, fmt, ap); });
  if (need < 0) return 0;
  if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
    char** dst = reinterpret_cast<char**>(buffer);
    *dst = nullptr;
    const size_t cap = (static_cast<size_t>(need) > size ? static_cast<size_t>(need) : size) + 1;
    char* p = static_cast<char*>(malloc(cap));
    if (p == nullptr) {
      errno = ENOMEM;
      return 0;
    }
    const int n = WithArguments(arguments, [&](va_list ap) { return vsnprintf(p, cap, fmt, ap); });
    if (n < 0) {
      free(p);
      return 0;
    }
    *dst = p;
    return static_cast<unsigned int>(n);
  }
  if (size == 0) {
    errno = EOVERFLOW;
    return 0;
  }
  const int n = WithArguments(arguments, [&](va_list ap) { return vsnprintf(buffer, size, fmt, ap); });
  if (n < 0 || static_cast<unsigned int>(n) >= size) {
    if (n < 0) buffer[0] = 0;
    errno = n < 0 ? errno : EOVERFLOW;
    return 0;
  }
  return static_cast<unsigned int>(n);
}

unsigned int FormatMessageWin(unsigned int flags, const void* source, unsigned int messageId,
                              unsigned int languageId, wchar_t* buffer, unsigned int size, va_list* arguments) {
  (void)languageId;
  if ((flags & FORMAT_MESSAGE_FROM_HMODULE) != 0 ||
      (flags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_SYSTEM)) == 0) {
    errno = EINVAL;
    return 0;
  }
  if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0) {
    wchar_t text[512];
    const size_t len = SystemMessageW(messageId != 0 ? static_cast<int>(messageId) : errno, text, 512);
    return HandOver<wchar_t>(text, len, flags, buffer, size, kFormatMessageNoMemory);
  }
  return MessageFromString(flags, static_cast<const wchar_t*>(source), buffer, size, arguments);
}
