// Host values the search tests compare with, search and write: integers, booleans, ANSI and wide
// texts of a given host type, dates, NULLs of a type and byte strings.
#pragma once

#include <string>

#include "values/any.h"

inline CAny Int(int n) {
  CAny v;
  v.SetI4(n);
  return v;
}
inline CAny Bool(int b) {
  CAny v;
  v.SetBOOL(b);
  return v;
}
inline CAny Null(unsigned short type) {
  CAny v;
  v.__SetType(type, 0);
  v.SetNull(true);
  return v;
}
inline CAny Ansi(const std::string& s, unsigned short type = ZV_PSTRA) {
  CAny v;
  v.__SetType(type, 0);
  v.SetValueByte(s.data(), static_cast<unsigned int>(s.size()));
  return v;
}
inline CAny Wide(const std::wstring& s, unsigned short type = ZV_PSTRW) {
  CAny v;
  v.__SetType(type, 0);
  v.SetValueByte(s.data(), static_cast<unsigned int>(s.size() * sizeof(wchar_t)));
  return v;
}
inline CAny Bytes(const std::string& s) {
  CAny v;
  v.SetBIN(reinterpret_cast<const unsigned char*>(s.data()), static_cast<unsigned int>(s.size()));
  return v;
}
// The 4 bytes of n, as a composite key holds an integer component.
inline std::string I4(int n) { return std::string(reinterpret_cast<const char*>(&n), 4); }
