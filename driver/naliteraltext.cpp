#include "driver/naliteraltext.h"

#include <charconv>
#include <cstdint>
#include <cstring>

#include "common/tstringconcataw.h"
#include "values/any.h"
#include "values/idecimal.h"

namespace {

// Code pages whose bytes 0x20-0x7E are ASCII: the literal's bytes are copied into them.
bool bAsciiCodePage(int cp) { return cp == 65001 || (cp >= 1250 && cp <= 1258) || (cp >= 28591 && cp <= 28605); }

template <typename T>
T Load(const unsigned char* p) {
  T v;
  memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

void CLiteralText::Padded(long long value, int width) {
  const bool negative = value < 0;
  const unsigned long long magnitude =
      negative ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, magnitude).ptr;
  const int n = static_cast<int>(end - digits);
  if (negative) Char('-');
  for (int pad = width - (negative ? 1 : 0) - n; pad > 0; --pad) Char('0');
  for (int i = 0; i < n; ++i) Char(digits[i]);
}

void CLiteralText::Unsigned(unsigned long long value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  for (const char* p = digits; p != end; ++p) Char(*p);
}

void CLiteralText::AppendTo(CTStringConcatAW* out) const {
  if (!out->bIsWide() && bAsciiCodePage(out->nGetCodePage())) {
    out->Add(m_a, m_n, static_cast<unsigned int>(out->nGetCodePage()));
    return;
  }
  wchar_t wide[kCapacity];
  for (int i = 0; i < m_n; ++i) wide[i] = static_cast<unsigned char>(m_a[i]);
  out->Add(wide, m_n);
}

bool bIntegerLiteralText(const CAny& value, CLiteralText* out) {
  const unsigned char* p = value.pGetValueArea();
  switch (value.wGetType()) {
    case ZV_UI1: out->Unsigned(Load<uint8_t>(p)); return true;
    case ZV_UI2: out->Unsigned(Load<uint16_t>(p)); return true;
    case ZV_UI4: out->Unsigned(Load<uint32_t>(p)); return true;
    case ZV_UI8: out->Unsigned(Load<uint64_t>(p)); return true;
    case ZV_I1: out->Padded(Load<int8_t>(p), 0); return true;
    case ZV_I2: out->Padded(Load<int16_t>(p), 0); return true;
    case ZV_I4: out->Padded(Load<int32_t>(p), 0); return true;
    case ZV_I8: out->Padded(Load<int64_t>(p), 0); return true;
    default: return false;
  }
}

bool bDecimalLiteralText(const CAny& value, CLiteralText* out) {
  unsigned char form[IDecimal::kFormSize];
  if (value.wGetType() != ZV_DECIMAL || value.Intern()->nFillDataBuffer(form) != 0) return false;
  const int scale = form[1];
  if (scale > IDecimal::kMaxPrecision) return false;
  // The unscaled value: 16 bytes of two's complement, least significant first.
  unsigned __int128 bits = 0;
  for (int i = 15; i >= 0; --i) bits = bits << 8 | form[2 + i];
  const bool negative = (bits >> 127) != 0;
  const unsigned __int128 magnitude = negative ? ~bits + 1 : bits;
  constexpr unsigned long long kTen19 = 10000000000000000000ull;
  char digits[48];
  char* end;
  if (magnitude <= UINT64_MAX) {
    end = std::to_chars(digits, digits + sizeof digits, static_cast<unsigned long long>(magnitude)).ptr;
  } else {
    // Above 64 bits (at most 39 digits): the high part, then the low 19 digits zero-padded.
    const auto high = static_cast<unsigned long long>(magnitude / kTen19);
    const auto low = static_cast<unsigned long long>(magnitude % kTen19);
    end = std::to_chars(digits, digits + 20, high).ptr;
    char lowDigits[20];
    const auto lowEnd = std::to_chars(lowDigits, lowDigits + sizeof lowDigits, low).ptr;
    const long lowCount = lowEnd - lowDigits;
    for (long pad = 19 - lowCount; pad > 0; --pad) *end++ = '0';
    memcpy(end, lowDigits, static_cast<size_t>(lowCount));
    end += lowCount;
  }
  int n = static_cast<int>(end - digits);
  // Fewer digits than the scale: zeros in front, one of them before the point.
  if (n <= scale) {
    const int pad = scale + 1 - n;
    memmove(digits + pad, digits, static_cast<size_t>(n));
    memset(digits, '0', static_cast<size_t>(pad));
    n += pad;
  }
  if (negative && magnitude != 0) out->Char('-');
  for (int i = 0; i < n; ++i) {
    if (i == n - scale) out->Char('.');
    out->Char(digits[i]);
  }
  return true;
}
