// Escaping test helpers: a heap result taken, and what a LIKE pattern source means.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

// The text of a heap result, freed.
template <typename T>
std::basic_string<T> Take(T* p) {
  EXPECT_NE(p, nullptr);
  std::basic_string<T> s = p ? p : std::basic_string<T>();
  free(p);
  return s;
}

struct Elem {
  enum Kind { Lit, Any, One } kind;
  wchar_t c;
  bool operator==(const Elem&) const = default;
};
inline void PrintTo(const Elem& e, std::ostream* os) {
  if (e.kind == Elem::Lit) *os << "U+" << std::hex << static_cast<unsigned>(e.c) << std::dec;
  else *os << (e.kind == Elem::Any ? "<%>" : "<_>");
}

// A quote-purged pattern source with escape e: e '%', e '_', e e and a lone e are literals,
// bare '%' and '_' wildcards.
template <typename T>
std::vector<Elem> Intended(const std::basic_string<T>& s, T e) {
  std::vector<Elem> out;
  for (size_t i = 0; i < s.size(); ++i) {
    const T n = i + 1 < s.size() ? s[i + 1] : T(0);
    if (s[i] == e && (n == '%' || n == '_' || n == e)) out.push_back({Elem::Lit, wchar_t(s[++i])});
    else if (s[i] == e) out.push_back({Elem::Lit, wchar_t(e)});
    else if (s[i] == '%' || s[i] == '_') out.push_back({s[i] == '%' ? Elem::Any : Elem::One, 0});
    else out.push_back({Elem::Lit, wchar_t(s[i])});
  }
  return out;
}
