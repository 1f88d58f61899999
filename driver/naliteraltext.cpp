#include "driver/naliteraltext.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "common/tstringconcataw.h"
#include "common/xmath.h"
#include "platform/codepage.h"
#include "platform/iinfolocale.h"
#include "platform/information_dll.h"
#include "values/any.h"
#include "values/idecimal.h"

namespace {

// Code pages whose bytes 0x20-0x7E are ASCII: the literal's bytes are copied into them.
bool bAsciiCodePage(int cp) { return bAsciiIsOwnByte(static_cast<unsigned int>(cp)) || (cp >= 28591 && cp <= 28605); }

template <typename T>
T Load(const unsigned char* p) {
  T v;
  memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

void CLiteralText::Padded(long long value, int width) {
  // The fields of dates and times: exactly width digits, written from the last.
  static constexpr long long kLimit[] = {1, 10, 100, 1000, 10000};
  if (width >= 1 && width <= 4 && value >= 0 && value < kLimit[width] && m_n + width <= kCapacity) {
    // Two digits at a time: a date-time literal is seven such fields.
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    auto v = static_cast<unsigned int>(value);
    char* end = m_a + m_n + width;
    for (int left = width; left >= 2; left -= 2, v /= 100) {
      end -= 2;
      memcpy(end, kPairs + 2 * (v % 100), 2);
    }
    if ((width & 1) != 0) end[-1] = static_cast<char>('0' + v);
    m_n += width;
    return;
  }
  const bool negative = value < 0;
  const unsigned long long magnitude =
      negative ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  // No padding (a key's digits): written in place when the longest ones fit.
  if (width <= (negative ? 2 : 1) && m_n + 21 <= kCapacity) {
    if (negative) m_a[m_n++] = '-';
    m_n = static_cast<int>(std::to_chars(m_a + m_n, m_a + kCapacity, magnitude).ptr - m_a);
    return;
  }
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, magnitude).ptr;
  const int n = static_cast<int>(end - digits);
  if (negative) Char('-');
  for (int pad = width - (negative ? 1 : 0) - n; pad > 0; --pad) Char('0');
  for (int i = 0; i < n; ++i) Char(digits[i]);
}

void CLiteralText::Signed(long long value) {
  const bool negative = value < 0;
  if (negative) Char('-');
  Unsigned(negative ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value));
}

void CLiteralText::Unsigned(unsigned long long value) {
  if (m_n + 20 <= kCapacity) {
    // A key's digits mostly fit 32 bits, whose digits cost less to find.
    char* end = value <= UINT32_MAX ? std::to_chars(m_a + m_n, m_a + kCapacity, static_cast<uint32_t>(value)).ptr
                                    : std::to_chars(m_a + m_n, m_a + kCapacity, value).ptr;
    m_n = static_cast<int>(end - m_a);
    return;
  }
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
    case ZV_I1: out->Signed(Load<int8_t>(p)); return true;
    case ZV_I2: out->Signed(Load<int16_t>(p)); return true;
    case ZV_I4: out->Signed(Load<int32_t>(p)); return true;
    case ZV_I8: out->Signed(Load<int64_t>(p)); return true;
    default: return false;
  }
}

namespace {

// The host's text of an exact number: the digits of magnitude with a point before the last scale
// ones (zeros in front when it has fewer), a minus below 0; trim drops the fraction's trailing
// zeros as the host does for every exact type but the decimal.
void WriteExact(CLiteralText* out, bool negative, unsigned __int128 magnitude, int scale, bool trim) {
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
  if (trim) {
    while (scale > 0 && n > 1 && digits[n - 1] == '0') --n, --scale;
    if (scale > 0 && n == 1 && digits[0] == '0') scale = 0;
  }
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
}

// A little-endian two's complement integer of n bytes (at most 16): its sign and magnitude.
unsigned __int128 Twos(const unsigned char* p, int n, bool* negative) {
  unsigned __int128 bits = 0;
  for (int i = n - 1; i >= 0; --i) bits = bits << 8 | p[i];
  *negative = (p[n - 1] & 0x80) != 0;
  if (!*negative) return bits;
  // Sign-extended to 128 bits, then negated.
  if (n < 16) bits |= ~static_cast<unsigned __int128>(0) << (8 * n);
  return ~bits + 1;
}

constexpr int kCurrencyBytes = 10;
constexpr int kCurrencyScale = 6;

// bDecimalToCurrency's test: the currency of that magnitude fits its bytes.
bool bCurrencyFits(unsigned __int128 magnitude) {
  return magnitude < static_cast<unsigned __int128>(1) << (8 * kCurrencyBytes - 1);
}

// The decimal the host loads from a data form, written as bDecimalLiteralText (decimal) or, made a
// currency by bDecimalToCurrency, as bCurrencyLiteralText.
bool DecimalFormText(const unsigned char* element, unsigned int size, int precision, int scale, bool currency,
                     CLiteralText* out) {
  if (precision < 1 || precision > 18 || scale < 0 || scale > precision) return false;
  const unsigned int width = IDecimal::mg_PToN[precision];
  unsigned char form[8] = {};
  memcpy(form, element, size < width ? size : width);
  bool negative = false;
  unsigned __int128 magnitude = Twos(form, static_cast<int>(width), &negative);
  // More digits than the precision: the host refuses the form.
  if (magnitude >= CXMath::kPow10[precision]) return false;
  if (!currency) {
    WriteExact(out, negative, magnitude, scale, false);
    return true;
  }
  if (scale > kCurrencyScale) return false;
  for (int i = scale; i < kCurrencyScale; ++i) magnitude *= 10;
  if (!bCurrencyFits(magnitude)) return false;
  WriteExact(out, negative, magnitude, kCurrencyScale, true);
  return true;
}

}  // namespace

bool bLiteralAsciiCodePage(int cp) { return bAsciiCodePage(cp); }

bool bElementLiteralText(const unsigned char* element, unsigned int size, unsigned short type, unsigned short target,
                         int precision, int scale, CLiteralText* out) {
  if (element == nullptr) return false;
  if (type == ZV_DECIMAL)
    return (target == ZV_DECIMAL || target == ZV_CY) &&
           DecimalFormText(element, size, precision, scale, target == ZV_CY, out);
  if (type != target) return false;
  auto sized = [&](unsigned int width) { return size == width; };
  switch (type) {
    case ZV_UI1: return sized(1) && (out->Unsigned(Load<uint8_t>(element)), true);
    case ZV_UI2: return sized(2) && (out->Unsigned(Load<uint16_t>(element)), true);
    case ZV_UI4: return sized(4) && (out->Unsigned(Load<uint32_t>(element)), true);
    case ZV_UI8: return sized(8) && (out->Unsigned(Load<uint64_t>(element)), true);
    case ZV_I1: return sized(1) && (out->Padded(Load<int8_t>(element), 0), true);
    case ZV_I2: return sized(2) && (out->Padded(Load<int16_t>(element), 0), true);
    case ZV_I4: return sized(4) && (out->Padded(Load<int32_t>(element), 0), true);
    case ZV_I8: return sized(8) && (out->Padded(Load<int64_t>(element), 0), true);
    case ZV_CY: {
      if (!sized(kCurrencyBytes)) return false;
      bool negative = false;
      const unsigned __int128 magnitude = Twos(element, kCurrencyBytes, &negative);
      WriteExact(out, negative, magnitude, kCurrencyScale, true);
      return true;
    }
    default: return false;
  }
}

bool bDecimalLiteralText(const CAny& value, CLiteralText* out) {
  unsigned char form[IDecimal::kFormSize];
  if (value.wGetType() != ZV_DECIMAL || value.Intern()->nFillDataBuffer(form) != 0) return false;
  const int scale = form[1];
  if (scale > IDecimal::kMaxPrecision) return false;
  bool negative = false;
  const unsigned __int128 magnitude = Twos(form + 2, 16, &negative);
  WriteExact(out, negative, magnitude, scale, false);
  return true;
}

bool bCurrencyLiteralText(const CAny& value, CLiteralText* out) {
  if (value.wGetType() != ZV_CY) return false;
  bool negative = false;
  const unsigned __int128 magnitude = Twos(value.pGetValueArea(), kCurrencyBytes, &negative);
  WriteExact(out, negative, magnitude, kCurrencyScale, true);
  return true;
}

bool bDecimalToCurrency(CAny* value) { return bDecimalToCurrency(*value, value); }

bool bDecimalToCurrency(const CAny& source, CAny* value) {
  unsigned char form[IDecimal::kFormSize];
  if (source.wGetType() != ZV_DECIMAL || source.Intern()->nFillDataBuffer(form) != 0) return false;
  const int scale = form[1];
  if (scale > kCurrencyScale) return false;
  bool negative = false;
  unsigned __int128 magnitude = Twos(form + 2, 16, &negative);
  // Below 10^38 the magnitude times 10^6 cannot wrap: compared with 2^79 - 1, the largest of 10 bytes.
  for (int i = scale; i < kCurrencyScale; ++i) magnitude *= 10;
  if (!bCurrencyFits(magnitude)) return false;
  const unsigned __int128 bits = negative ? ~magnitude + 1 : magnitude;
  unsigned char area[ZV_VALUE_SIZE] = {};
  for (int i = 0; i < kCurrencyBytes; ++i) area[i] = static_cast<unsigned char>(bits >> (8 * i));
  const unsigned short flags = source.wGetTypeWord();
  value->__SetType(ZV_CY, 0);
  value->Intern()->SetValue(area);
  value->SetFlags(flags);
  return true;
}

int nNarrowTextToWide(const CAny& value, wchar_t* wide, unsigned int capacity) {
  if (value.wGetType() != ZV_DSTRA) return -1;
  void* data = nullptr;
  unsigned int n = 0;
  if (value.Intern()->nGetDataAdr(&data) != 0 || value.Intern()->nGetUtilDataSize(&n) != 0) return -1;
  return nNarrowTextToWide(static_cast<const unsigned char*>(data), n, wide, capacity);
}

int nNarrowTextToWide(const unsigned char* bytes, unsigned int n, wchar_t* wide, unsigned int capacity) {
  // The host reads narrow text in its own code page: ASCII stays as it is in these pages, and a
  // single-byte Windows page widens every byte by the platform's table, as the host does.
  const int cp = CInformationDLL::ms_piInfoLocale != nullptr ? CInformationDLL::ms_piInfoLocale->nGetCodePage() : 1252;
  if (!bAsciiCodePage(cp)) return -1;
  const bool singleByte = cp >= 1250 && cp <= 1258;
  if (bytes == nullptr || n == 0 || n > capacity) return -1;
  bool ascii = true;
  for (unsigned int i = 0; i < n; ++i) {
    if (bytes[i] == 0) return -1;
    ascii = ascii && bytes[i] < 0x80;
    wide[i] = bytes[i];
  }
  if (!ascii) {
    if (!singleByte) return -1;
    const int count = MultiByteToWideChar(static_cast<unsigned int>(cp), 0, reinterpret_cast<const char*>(bytes),
                                          static_cast<int>(n), wide, static_cast<int>(capacity));
    if (count != static_cast<int>(n)) return -1;
  }
  return static_cast<int>(n);
}

bool bNarrowTextToWide(CAny* value) {
  wchar_t wide[kNarrowTextMax];
  const int n = nNarrowTextToWide(*value, wide, kNarrowTextMax);
  if (n < 0) return false;
  const unsigned short flags = value->wGetTypeWord();
  value->__SetType(ZV_DSTRW, 0);
  value->SetValueByte(wide, static_cast<unsigned int>(n) * static_cast<unsigned int>(sizeof(wchar_t)));
  value->SetFlags(flags);
  return true;
}

unsigned int nWideTextChars(const wchar_t* wide, unsigned int size, unsigned short type) {
  unsigned int chars = size / static_cast<unsigned int>(sizeof(wchar_t));
  if (type != ZV_DSTRW) return static_cast<unsigned int>(wcsnlen(wide, chars));
  return chars > 0 && wide[chars - 1] == 0 ? chars - 1 : chars;
}
