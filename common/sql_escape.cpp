#include "common/sql_escape.h"

#include <cstdint>
#include <cstdlib>

#include "common/str_charclass.h"

namespace {

constexpr int kQuote = '\'';
constexpr int kBackslash = '\\';

template <typename T>
size_t Length(const T* s) {
  size_t n = 0;
  if (s)
    while (s[n]) ++n;
  return n;
}

// Writes into dst, or only counts when dst is null: every producer runs once to measure and once
// to write, so allocations are exact and no bound has to be trusted.
template <typename T>
struct Out {
  T* dst;
  size_t n = 0;
  void put(T c) {
    if (dst) dst[n] = c;
    ++n;
  }
  void put(const T* s) {
    if (s)
      while (*s) put(*s++);
  }
  size_t end() {
    if (dst) dst[n] = 0;
    return n;
  }
};

// A new text of n characters and a terminator, or null when the size does not fit.
template <typename T>
T* Allocate(size_t n) {
  if (n >= SIZE_MAX / sizeof(T)) return nullptr;
  return static_cast<T*>(malloc((n + 1) * sizeof(T)));
}

// Measures, allocates exactly, then writes.
template <typename T, typename Producer>
T* Produce(Producer produce) {
  Out<T> count{nullptr};
  produce(count);
  T* text = Allocate<T>(count.n);
  if (!text) return nullptr;
  Out<T> write{text};
  produce(write);
  write.end();
  return text;
}

struct EscapeFlags {
  bool quote, backslash, escape, percent, underscore, expandPercent, expandUnderscore,
      expandEscape;
};

// Every row writes at most two characters per source character read, hence the 2n + 1 bound.
template <typename T>
void EscapeTo(Out<T>& o, const T* s, const EscapeFlags& f, T q, T e) {
  if (!s) return;
  while (T c = *s) {
    if (c == kQuote) {
      if (f.quote) o.put(q);
      o.put(c);
      ++s;
    } else if (c == e) {
      const T next = s[1];
      if (next == '%' || next == '_') {
        const bool expand = next == '%' ? f.expandPercent : f.expandUnderscore;
        const bool wildcard = next == '%' ? f.percent : f.underscore;
        if (expand) {
          if (f.escape) o.put(e);
          o.put(e);
          if (wildcard) o.put(e);
        } else {
          o.put(e);
        }
        o.put(next);
        s += 2;
      } else if (next == e) {
        const int count = f.expandEscape && f.escape ? 4 : 2;
        for (int i = 0; i < count; ++i) o.put(e);
        s += 2;
      } else {
        if (f.escape) o.put(e);
        o.put(e);
        ++s;
      }
    } else if (c == kBackslash) {
      o.put(c);
      if (f.backslash) o.put(c);
      ++s;
    } else {
      if ((c == '%' && f.percent) || (c == '_' && f.underscore)) o.put(e);
      o.put(c);
      ++s;
    }
  }
}

template <typename T>
struct ChangeTexts {
  const T *percentText, *percentPrefix, *percentSuffix;
  const T *underscoreText, *underscorePrefix, *underscoreSuffix;
};

template <typename T>
void ChangeEscapeTo(Out<T>& o, const T* s, const ChangeTexts<T>& t, T e) {
  if (!s) return;
  while (T c = *s) {
    if (c != e) {
      o.put(c);
      ++s;
      continue;
    }
    const T next = s[1];
    if (next == '%') {
      o.put(t.percentPrefix);
      o.put(t.percentText);
      o.put(t.percentSuffix);
      s += 2;
    } else if (next == '_') {
      o.put(t.underscorePrefix);
      o.put(t.underscoreText);
      o.put(t.underscoreSuffix);
      s += 2;
    } else {
      o.put(e);
      s += next == e ? 2 : 1;
    }
  }
}

template <typename T>
void PurgeQuoteT(T* t, BOOL bBackslash) {
  if (!t) return;
  const size_t n = Length(t);
  if (n == 2 && t[0] == kQuote && t[1] == kQuote) return;
  // Walking down, a removal only touches a position below the next one examined, so the
  // removals can be marked (as zeros) on the original and squeezed out in one pass.
  bool removed = false;
  for (size_t i = n > 0 ? n - 1 : 0; i >= 1;) {
    if (t[i] == kQuote && (t[i - 1] == kQuote || (bBackslash && t[i - 1] == kBackslash))) {
      t[i - 1] = 0;
      removed = true;
      if (i < 2) break;
      i -= 2;
    } else {
      --i;
    }
  }
  if (!removed) return;
  size_t w = 0;
  for (size_t r = 0; r < n; ++r)
    if (t[r]) t[w++] = t[r];
  t[w] = 0;
}

// Drops an e standing before a character that keep() accepts; the kept character is not looked
// at again.
template <typename T, typename Keep>
void DropEscapes(T* t, T e, Keep keep) {
  if (!t || !e) return;
  size_t w = 0;
  for (size_t r = 0; t[r];) {
    if (t[r] == e && t[r + 1] && keep(t[r + 1])) ++r;
    t[w++] = t[r++];
  }
  t[w] = 0;
}

template <typename T>
void PurgeEscapeT(T* t, T e) {
  DropEscapes(t, e, [e](T c) { return c == e || c == '%' || c == '_'; });
}

template <typename T>
void PurgeEscapeEscapeT(T* t, T e) {
  DropEscapes(t, e, [e](T c) { return c == e; });
}

// One character of the LIKE pattern as a literal body.
template <typename T>
void PutLiteral(Out<T>& o, T c) {
  if (c == kQuote || c == kBackslash) o.put(T(kBackslash));
  o.put(c);
}

// The rule is the one described at pszVerrueEscapeMySQL in the header. Every unit written is a
// character other than quote and backslash, or a backslash and one more character, so the
// server's lexer is back in its plain state after each unit and never sees a bare quote.
template <typename T>
void VerrueTo(Out<T>& o, const T* s, T e) {
  while (T c = *s) {
    if (c == e) {
      const T next = s[1];
      if (next == '%' || next == '_') {
        if (e == kBackslash)
          o.put(e);  // read back by the server as backslash + next: the LIKE escape pair
        else
          PutLiteral(o, e);
        o.put(next);
        s += 2;
      } else {
        // e e, or a lone e: a literal e in the pattern, written as e e.
        PutLiteral(o, e);
        PutLiteral(o, e);
        s += next == e ? 2 : 1;
      }
    } else {
      PutLiteral(o, c);
      ++s;
    }
  }
}

template <typename T>
T* VerrueEscape(const T* src, T e) {
  const size_t n = Length(src);
  T* copy = Allocate<T>(n);
  if (!copy) return nullptr;
  for (size_t i = 0; i < n; ++i) copy[i] = src[i];
  copy[n] = 0;
  PurgeQuoteT(copy, TRUE);
  T* result = Produce<T>([&](Out<T>& o) { VerrueTo(o, copy, e); });
  free(copy);
  return result;
}

}  // namespace

// ---- Escape ----

size_t Escape(const char* src, char* dst, BOOL f1, BOOL f2, BOOL f3, BOOL f4, BOOL f5, BOOL f6,
              BOOL f7, BOOL f8, char cQuoteEscape, char cEscape) {
  Out<char> o{dst};
  EscapeTo(o, src, {!!f1, !!f2, !!f3, !!f4, !!f5, !!f6, !!f7, !!f8}, cQuoteEscape, cEscape);
  return o.end();
}

size_t Escape(const wchar_t* src, wchar_t* dst, BOOL f1, BOOL f2, BOOL f3, BOOL f4, BOOL f5,
              BOOL f6, BOOL f7, BOOL f8, wchar_t cQuoteEscape, wchar_t cEscape) {
  Out<wchar_t> o{dst};
  EscapeTo(o, src, {!!f1, !!f2, !!f3, !!f4, !!f5, !!f6, !!f7, !!f8}, cQuoteEscape, cEscape);
  return o.end();
}

char* pszEscape(const char* src, BOOL f1, BOOL f2, BOOL f3, BOOL f4, BOOL f5, BOOL f6, BOOL f7,
                BOOL f8, char cQuoteEscape, char cEscape) {
  const EscapeFlags f{!!f1, !!f2, !!f3, !!f4, !!f5, !!f6, !!f7, !!f8};
  return Produce<char>([&](Out<char>& o) { EscapeTo(o, src, f, cQuoteEscape, cEscape); });
}

wchar_t* pszEscape(const wchar_t* src, BOOL f1, BOOL f2, BOOL f3, BOOL f4, BOOL f5, BOOL f6,
                   BOOL f7, BOOL f8, wchar_t cQuoteEscape, wchar_t cEscape) {
  const EscapeFlags f{!!f1, !!f2, !!f3, !!f4, !!f5, !!f6, !!f7, !!f8};
  return Produce<wchar_t>([&](Out<wchar_t>& o) { EscapeTo(o, src, f, cQuoteEscape, cEscape); });
}

// ---- ChangeEscape ----

size_t ChangeEscape(const char* src, char* dst, const char* percentText,
                    const char* percentPrefix, const char* percentSuffix,
                    const char* underscoreText, const char* underscorePrefix,
                    const char* underscoreSuffix, char cEscape) {
  Out<char> o{dst};
  ChangeEscapeTo<char>(o, src,
                       {percentText, percentPrefix, percentSuffix, underscoreText,
                        underscorePrefix, underscoreSuffix},
                       cEscape);
  return o.end();
}

size_t ChangeEscape(const wchar_t* src, wchar_t* dst, const wchar_t* percentText,
                    const wchar_t* percentPrefix, const wchar_t* percentSuffix,
                    const wchar_t* underscoreText, const wchar_t* underscorePrefix,
                    const wchar_t* underscoreSuffix, wchar_t cEscape) {
  Out<wchar_t> o{dst};
  ChangeEscapeTo<wchar_t>(o, src,
                          {percentText, percentPrefix, percentSuffix, underscoreText,
                           underscorePrefix, underscoreSuffix},
                          cEscape);
  return o.end();
}

char* pszChangeEscape(const char* src, const char* percentText, const char* percentPrefix,
                      const char* percentSuffix, const char* underscoreText,
                      const char* underscorePrefix, const char* underscoreSuffix, char cEscape) {
  const ChangeTexts<char> t{percentText,    percentPrefix,    percentSuffix,
                            underscoreText, underscorePrefix, underscoreSuffix};
  return Produce<char>([&](Out<char>& o) { ChangeEscapeTo(o, src, t, cEscape); });
}

wchar_t* pszChangeEscape(const wchar_t* src, const wchar_t* percentText,
                         const wchar_t* percentPrefix, const wchar_t* percentSuffix,
                         const wchar_t* underscoreText, const wchar_t* underscorePrefix,
                         const wchar_t* underscoreSuffix, wchar_t cEscape) {
  const ChangeTexts<wchar_t> t{percentText,    percentPrefix,    percentSuffix,
                               underscoreText, underscorePrefix, underscoreSuffix};
  return Produce<wchar_t>([&](Out<wchar_t>& o) { ChangeEscapeTo(o, src, t, cEscape); });
}

// ---- Undoing ----

void PurgeEscape(char* text, char cEscape) { PurgeEscapeT(text, cEscape); }
void PurgeEscape(wchar_t* text, wchar_t cEscape) { PurgeEscapeT(text, cEscape); }

void PurgeEscapeEscape(char* text, char cEscape) { PurgeEscapeEscapeT(text, cEscape); }
void PurgeEscapeEscape(wchar_t* text, wchar_t cEscape) { PurgeEscapeEscapeT(text, cEscape); }

void PurgeQuote(char* text, BOOL bBackslash) { PurgeQuoteT(text, bBackslash); }
void PurgeQuote(wchar_t* text, BOOL bBackslash) { PurgeQuoteT(text, bBackslash); }

void PurgeEscapeBackSlash(char* text) {
  PurgeEscapeEscapeT(text, '\\');
  PurgeQuoteT(text, TRUE);
}

void PurgeEscapeBackSlash(wchar_t* text) {
  PurgeEscapeEscapeT(text, L'\\');
  PurgeQuoteT(text, TRUE);
}

// ---- MySQL LIKE literal ----

char* pszVerrueEscapeMySQL(const char* src, wchar_t cEscape) {
  return VerrueEscape(src, STR_WCharToAChar(cEscape, 0, 1252));
}

wchar_t* pszVerrueEscapeMySQL(const wchar_t* src, wchar_t cEscape) {
  return VerrueEscape(src, cEscape);
}
