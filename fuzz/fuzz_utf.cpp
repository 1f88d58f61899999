// Unicode transforms: UTF-8, UTF-16 and wide text against iconv, which decides what is valid and
// what a valid text converts to; valid texts make the round trip unchanged, invalid ones never
// read or write out of bounds.
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/utf.h"
#include "fuzz/fuzz_iconv.h"
#include "fuzz/fuzz_input.h"

namespace {

std::wstring FromUTF32(const std::string& b) {
  std::wstring w(b.size() / 4, L'\0');
  std::memcpy(w.data(), b.data(), w.size() * 4);
  return w;
}
std::string ToUTF32(const std::wstring& w) { return std::string(reinterpret_cast<const char*>(w.data()), w.size() * 4); }
std::basic_string<unsigned short> FromUTF16(const std::string& b) {
  std::basic_string<unsigned short> u(b.size() / 2, 0);
  std::memcpy(u.data(), b.data(), u.size() * 2);
  return u;
}

bool bScalar(wchar_t c) { return c >= 0 && c < 0x110000 && (c < 0xD800 || c > 0xDFFF); }

void CheckUTF8(const std::string& bytes) {
  const int n = static_cast<int>(bytes.size());
  std::string utf32;
  const bool valid = Iconv("UTF-32LE", "UTF-8", bytes, &utf32);
  FUZZ_CHECK(UTF8Valide(bytes.data(), n) == (valid ? TRUE : FALSE), "validity of %d bytes", n);
  // Exactly the bytes asked for: a read past them is the sanitizer's finding.
  std::vector<char> exact(bytes.begin(), bytes.end());
  std::vector<wchar_t> wide(bytes.size() + 1);
  const int chars = nUTF8ToWide(wide.data(), static_cast<int>(wide.size()), exact.data(), n);
  FUZZ_CHECK(chars >= 0 && chars <= n, "%d characters from %d bytes", chars, n);
  for (int i = 0; i < chars; ++i) FUZZ_CHECK(bScalar(wide[i]), "character %x decoded", static_cast<unsigned>(wide[i]));
  std::vector<unsigned short> units(bytes.size() + 2);
  const unsigned int nUnits = UTF8ToUTF16(units.data(), static_cast<unsigned int>(units.size()), exact.data(),
                                          static_cast<unsigned int>(n));
  if (!valid) return;
  const std::wstring expected = FromUTF32(utf32);
  FUZZ_CHECK(std::wstring(wide.data(), static_cast<size_t>(chars)) == expected, "decoding of %d bytes", n);
  std::string utf16;
  FUZZ_CHECK(Iconv("UTF-16LE", "UTF-8", bytes, &utf16), "UTF-16 of valid text");
  FUZZ_CHECK(std::basic_string<unsigned short>(units.data(), nUnits) == FromUTF16(utf16), "UTF-16 of %d bytes", n);
  FUZZ_CHECK(UTF8ToUTF16Len(exact.data(), static_cast<unsigned int>(n)) == nUnits, "UTF-16 length");
  // Back again, from wide text and from UTF-16.
  std::vector<char> back(bytes.size() + 1);
  const int written = nWideToUTF8(back.data(), static_cast<int>(back.size()), expected.data(), chars);
  FUZZ_CHECK(std::string(back.data(), static_cast<size_t>(written)) == bytes, "round trip of %d bytes", n);
  std::vector<wchar_t> widened(nUnits + 1);
  const int fromUnits = UTF16ToWideChar(units.data(), static_cast<int>(nUnits), widened.data(), static_cast<int>(nUnits));
  FUZZ_CHECK(std::wstring(widened.data(), static_cast<size_t>(fromUnits)) == expected, "UTF-16 to wide");
}

void CheckWide(const std::wstring& text) {
  const int n = static_cast<int>(text.size());
  std::wstring scalars;
  for (wchar_t c : text) scalars += bScalar(c) ? c : L'?';
  std::string utf8;
  FUZZ_CHECK(Iconv("UTF-8", "UTF-32LE", ToUTF32(scalars), &utf8), "iconv of scalar values");
  std::vector<wchar_t> exact(text.begin(), text.end());
  std::vector<char> out(utf8.size() + 1);
  const int written = nWideToUTF8(out.data(), static_cast<int>(out.size()), exact.data(), n);
  FUZZ_CHECK(std::string(out.data(), static_cast<size_t>(written)) == utf8, "encoding of %d characters", n);
  // Too little room stops before a character, never inside it.
  if (written > 0) {
    const int cut = nWideToUTF8(out.data(), written - 1, exact.data(), n);
    FUZZ_CHECK(cut < written && utf8.compare(0, static_cast<size_t>(cut), out.data(), static_cast<size_t>(cut)) == 0 &&
                   (cut == static_cast<int>(utf8.size()) || (static_cast<unsigned char>(utf8[cut]) & 0xC0) != 0x80),
               "cut encoding at %d of %d", cut, written);
  }
  // UTF-16 and back.
  const int need = WideCharToUTF16(exact.data(), n, nullptr, 0);
  std::vector<unsigned short> units(static_cast<size_t>(need) + 1);
  const int nUnits = WideCharToUTF16(exact.data(), n, units.data(), need);
  FUZZ_CHECK(nUnits == need, "UTF-16 units %d of %d", nUnits, need);
  // A lone surrogate is kept as its unit, so that unpaired UTF-16 comes back as it was.
  std::basic_string<unsigned short> expected;
  std::wstring kept;
  for (wchar_t c : text) {
    const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
    kept += surrogate || bScalar(c) ? c : L'?';
    std::string utf16;
    if (surrogate)
      expected += static_cast<unsigned short>(c);
    else
      FUZZ_CHECK(Iconv("UTF-16LE", "UTF-32LE", ToUTF32(std::wstring(1, bScalar(c) ? c : L'?')), &utf16)
                     && (expected += FromUTF16(utf16), true), "iconv UTF-16");
  }
  FUZZ_CHECK(std::basic_string<unsigned short>(units.data(), static_cast<size_t>(nUnits)) == expected,
             "UTF-16 of %d characters", n);
  std::vector<wchar_t> back(static_cast<size_t>(nUnits) + 1);
  const int chars = UTF16ToWideChar(units.data(), nUnits, back.data(), nUnits);
  // A high surrogate followed by a low one joins as a pair does.
  std::vector<unsigned short> exactUnits(expected.begin(), expected.end());
  std::vector<wchar_t> joined(expected.size() + 1);
  const int nJoined = UTF16ToWideChar(exactUnits.data(), static_cast<int>(expected.size()), joined.data(),
                                      static_cast<int>(expected.size()));
  FUZZ_CHECK(std::wstring(back.data(), static_cast<size_t>(chars)) == std::wstring(joined.data(), static_cast<size_t>(nJoined)),
             "UTF-16 back to wide");
  bool lone = false;
  for (wchar_t c : text) lone = lone || (c >= 0xD800 && c <= 0xDFFF);
  if (!lone) FUZZ_CHECK(std::wstring(back.data(), static_cast<size_t>(chars)) == kept, "UTF-16 round trip");
}

void CheckUTF16(const std::basic_string<unsigned short>& units) {
  const int n = static_cast<int>(units.size());
  std::vector<unsigned short> exact(units.begin(), units.end());
  const int need = UTF16ToWideChar(exact.data(), n, nullptr, 0);
  std::vector<wchar_t> wide(static_cast<size_t>(need) + 1);
  const int chars = UTF16ToWideChar(exact.data(), n, wide.data(), need);
  FUZZ_CHECK(chars == need && chars <= n, "%d characters of %d needed", chars, need);
  std::string utf32;
  const std::string bytes(reinterpret_cast<const char*>(units.data()), units.size() * 2);
  if (Iconv("UTF-32LE", "UTF-16LE", bytes, &utf32))
    FUZZ_CHECK(std::wstring(wide.data(), static_cast<size_t>(chars)) == FromUTF32(utf32), "UTF-16 of %d units", n);
  // Every unit comes back, unpaired surrogates included.
  std::vector<unsigned short> back(units.size() + 1);
  const int nBack = WideCharToUTF16(wide.data(), chars, back.data(), static_cast<int>(back.size()));
  bool paired = true;
  for (int i = 0; i < n; ++i) paired = paired && !(units[i] >= 0xD800 && units[i] <= 0xDFFF);
  if (paired)
    FUZZ_CHECK(std::basic_string<unsigned short>(back.data(), static_cast<size_t>(nBack)) == units, "UTF-16 round trip");
}

}  // namespace

// The converters are opened before the first run: what iconv keeps is not a run's leak.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string out;
  for (const char* to : {"UTF-32LE", "UTF-16LE"}) Iconv(to, "UTF-8", "", &out);
  for (const char* to : {"UTF-8", "UTF-16LE"}) Iconv(to, "UTF-32LE", "", &out);
  Iconv("UTF-32LE", "UTF-16LE", "", &out);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CFuzzInput in(data, size);
  const uint8_t mode = in.Byte();
  const std::string rest = in.Bytes();
  switch (mode % 3) {
    case 0: CheckUTF8(rest); break;
    case 1: {
      // Characters near the edges of the encodings, from 3 bytes each.
      std::wstring text;
      for (size_t i = 0; i + 3 <= rest.size(); i += 3) {
        const uint32_t v = static_cast<uint8_t>(rest[i]) << 16 | static_cast<uint8_t>(rest[i + 1]) << 8 |
                           static_cast<uint8_t>(rest[i + 2]);
        static const uint32_t kBase[] = {0, 0x780, 0xD7F0, 0xFFF0, 0x10FFF0, 0x7FFFFFF0, 0xFFFFFFF0, 0};
        text += static_cast<wchar_t>((v >> 21) == 7 ? v & 0x1FFFFF : kBase[v >> 21] + (v & 0x1F));
      }
      CheckWide(text);
      break;
    }
    default: CheckUTF16(FromUTF16(rest)); break;
  }
  return 0;
}
