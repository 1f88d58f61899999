#include "host/host_kj.h"

#include <unicode/utf16.h>

#include <vector>

#include "host/host_services.h"

namespace {

// Maps the code points and writes them as UTF-16 within room units, a pair whole or not at all,
// then the terminator. Answers the units before it.
int FoldOut(unsigned short* dst, int room, std::vector<wchar_t> cps, int bNoPunct, int bNoAccent, int bNoCase) {
  if (dst == nullptr || room < 1) return 0;
  const unsigned int flags = (bNoCase ? 0x1u : 0u) | (bNoAccent ? 0x2u : 0u) | (bNoPunct ? 0x4u : 0u);
  std::vector<wchar_t> mapped(cps.size() + 1);
  const int n = cps.empty() ? 0
                            : CHostServices::Instance().Locale()->nMapStringW(
                                  0, flags, mapped.data(), static_cast<int>(mapped.size()), cps.data(),
                                  static_cast<int>(cps.size()));
  int units = 0;
  for (int i = 0; i < n; ++i) {
    UChar32 c = static_cast<UChar32>(mapped[i]);
    if (c < 0 || c > 0x10FFFF) c = '?';
    if (units + U16_LENGTH(c) > room - 1) break;
    U16_APPEND_UNSAFE(dst, units, c);
  }
  dst[units] = 0;
  return units;
}

}  // namespace

int CHostKJTextService::nFoldUTF16(unsigned short* dst, int room, const unsigned short* src, int count, int bNoPunct,
                                   int bNoAccent, int bNoCase) {
  ++m_nCallsUTF16;
  std::vector<wchar_t> cps;
  for (int i = 0; src != nullptr && i < count;) {
    UChar32 c;
    U16_NEXT(src, i, count, c);
    cps.push_back(static_cast<wchar_t>(c));
  }
  return FoldOut(dst, room, std::move(cps), bNoPunct, bNoAccent, bNoCase);
}

int CHostKJTextService::nFoldUTF32(unsigned short* dst, int room, const wchar_t* src, int count, int bNoPunct,
                                   int bNoAccent, int bNoCase) {
  ++m_nCallsUTF32;
  std::vector<wchar_t> cps;
  if (src != nullptr && count > 0) cps.assign(src, src + count);
  return FoldOut(dst, room, std::move(cps), bNoPunct, bNoAccent, bNoCase);
}
