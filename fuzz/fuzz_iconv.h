// The oracle of the text targets: iconv of a whole input, one converter per pair of encodings,
// opened on first use and kept for the process's life (a converter closed at exit would read as
// a leak of the run that opened it; open them before the first run).
#pragma once

#include <iconv.h>

#include <map>
#include <string>
#include <utility>

#include "fuzz/fuzz_input.h"

// out = the conversion of in; false when iconv refuses any of it (out then holds what it made).
inline bool Iconv(const char* to, const char* from, const std::string& in, std::string* out) {
  static auto* const open = new std::map<std::pair<std::string, std::string>, iconv_t>;
  iconv_t& cd = (*open)[{to, from}];
  if (cd == nullptr) cd = iconv_open(to, from);
  FUZZ_CHECK(cd != reinterpret_cast<iconv_t>(-1), "iconv_open %s %s", to, from);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out->assign(in.size() * 4 + 16, '\0');
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size(), dstLeft = out->size();
  char* dst = out->data();
  const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  out->resize(out->size() - dstLeft);
  return rc != static_cast<size_t>(-1) && srcLeft == 0;
}
