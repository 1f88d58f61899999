// The literal writer's texts of values whose type says their text: integers, decimals and the
// zero-padded fields of dates and times, written without the host VM or printf. Each is the text
// the host VM gives for the same value (the literal tests hold the two side by side), so the SQL
// sent does not depend on the road a value took. Nothing here allocates.
#pragma once

class CAny;
class CTStringConcatAW;

// A short ASCII text built in place. It holds at most kCapacity characters: every caller's
// longest form (a date-time of seven int fields, a decimal of 38 digits) fits, and what would go
// past it is dropped, never written out of bounds.
class CLiteralText {
 public:
  static constexpr int kCapacity = 160;

  void Char(char c) {
    if (m_n < kCapacity) m_a[m_n++] = c;
  }
  void Text(const char* s) {
    while (*s != 0) Char(*s++);
  }
  // The first n characters of text (all of them when it has fewer).
  void Prefix(const CLiteralText& text, int n) {
    for (int i = 0; i < n && i < text.m_n; ++i) Char(text.m_a[i]);
  }
  // printf's "%0*lld": the sign, then the digits zero-padded to width less the sign.
  void Padded(long long value, int width);
  // Padded(value, 0): the sign, then the digits.
  void Signed(long long value);
  void Unsigned(unsigned long long value);
  const char* pszGet() const { return m_a; }
  int nGetLength() const { return m_n; }
  // Appends the text to out in out's own form: ASCII has the same bytes in every narrow code page
  // the builder is given here, other ones take it as wide text.
  void AppendTo(CTStringConcatAW* out) const;

 private:
  char m_a[kCapacity];
  int m_n = 0;
};

// The host's text of an integer (host types 2 to 9): its digits, a minus below 0. false, out
// untouched, for a value of another type.
bool bIntegerLiteralText(const CAny& value, CLiteralText* out);
// The host's text of a decimal: the digits of its unscaled value with a point before the last
// scale ones (zeros added in front when it has fewer), a minus below 0; every digit of the scale
// kept. false, out untouched, for a value that holds no decimal.
bool bDecimalLiteralText(const CAny& value, CLiteralText* out);
// The host's text of a currency (six decimals): as a decimal's, the fraction's trailing zeros
// dropped (no point when none is left). false, out untouched, for another type.
bool bCurrencyLiteralText(const CAny& value, CLiteralText* out);
// A decimal becomes the currency of the same value, flags kept, as the host's cast makes it where
// no digit is lost and it fits; false, the value untouched, where the host's cast is to decide
// (more than six decimals, out of range, no decimal held).
bool bDecimalToCurrency(CAny* value);
// The same into *value from source (which may be *value itself); *value untouched on false.
bool bDecimalToCurrency(const CAny& source, CAny* value);
// Code pages whose bytes 0x20-0x7E are ASCII: a CLiteralText goes into them as its bytes.
bool bLiteralAsciiCodePage(int cp);
// The text bConvertValueToString writes for the value a record reads from a defined element of
// size bytes of host type type, for a column whose item types give the host type target: an
// integer of the target's own type, a currency into a currency, or a decimal's data form of
// precision 1 to 18 (mg_PToN[precision] bytes, zeros past size) and scale into a decimal or, when
// no digit is lost, a currency. false, out untouched, for any other case (a cast, a form the
// host refuses, a size not the type's own): the value is to be made and written.
bool bElementLiteralText(const unsigned char* element, unsigned int size, unsigned short type, unsigned short target,
                         int precision, int scale, CLiteralText* out);
// The longest narrow text widened without the host.
constexpr unsigned int kNarrowTextMax = 1024;
// A narrow dynamic string (no NUL, at most kNarrowTextMax bytes) as wide text into wide (room for
// capacity characters, no terminator written), as the host's cast makes it in its code page:
// ASCII in every page whose ASCII is its own, any byte in the single-byte Windows pages. Its
// length; -1 for any other value, wide then undefined.
int nNarrowTextToWide(const CAny& value, wchar_t* wide, unsigned int capacity);
// The same for the n bytes of such a string.
int nNarrowTextToWide(const unsigned char* bytes, unsigned int n, wchar_t* wide, unsigned int capacity);
// The same made into the value itself: the wide dynamic string of the text, flags kept. false,
// the value untouched, where -1 would be answered.
bool bNarrowTextToWide(CAny* value);

// The characters of a wide text's data of size bytes: a text behind a pointer (and a character)
// ends at its NUL; a dynamic string (type ZV_DSTRW) carries its length and one terminator, so a NUL
// inside it is data.
unsigned int nWideTextChars(const wchar_t* wide, unsigned int size, unsigned short type);
