// CDataCompressor: the packing scheme of the module's resource texts, both directions.
//
// Packed text is a run of digits 0 to 39, three to a pair of non-zero bytes
// (v = (b0 - 1) * 255 + (b1 - 1) = d0 * 1600 + d1 * 40 + d2); a lone last byte holds one digit + 1.
// Digits 0-3 shift the next character to that alphabet, 4-7 switch the current alphabet, 8-39
// name a character of the shifted (else the current) alphabet. In the fourth alphabet digits 38
// and 39 are escapes: 38 takes the byte after the pair as it stands, 39 a count byte and that
// many bytes; the rest of the pair is padding. The alphabets are fixed data of this class and
// tuned for French text in UTF-8.
//
// The byte-level operations keep no state between calls; the wide forms also convert the bytes
// (UTF-8 or UTF-16) and allocate with malloc (freed by the caller with free).
#pragma once

#include <vector>

#include "platform/wintypes.h"

struct STRessourceModule;

class CDataCompressor {
 public:
  enum eCHARSET : int { CHARSET_0 = 0, CHARSET_1 = 1, CHARSET_2 = 2, CHARSET_3 = 3 };
  // A pending one-shot shift: the alphabet, or SHIFT_NONE.
  enum eCHARSETSHIFT : int { SHIFT_0 = 0, SHIFT_1 = 1, SHIFT_2 = 2, SHIFT_3 = 3, SHIFT_NONE = 8 };
  enum : int {
    RESULT_OK = 0,
    RESULT_CUT = 2,          // the output did not fit: cut and terminated
    RESULT_BAD_INPUT = 4,    // a zero byte in a pair, a digit above 39, or an unknown encoding
    RESULT_SHORT_ESCAPE = 5  // the input ends inside an escape
  };

  CDataCompressor() = default;

  // Unpacks inLength bytes into out. *outLength: the capacity on entry (terminator included), the
  // bytes produced on return (also those dropped for want of room). The output is always
  // terminated when the capacity allows one byte.
  int nDeCompress(unsigned char* out, int* outLength, const unsigned char* in, int inLength);

  // Packs inLength bytes (any values) and appends them to out.
  static void s_Compress(const unsigned char* in, int inLength, std::vector<unsigned char>* out);

  // Unpacks the text a lookup found and converts it to wide text. *length: the capacity in
  // characters on entry; the characters written (terminator excluded) on return, -1 when nothing
  // was converted. A text that does not fit is cut at capacity - 1 (RESULT_CUT).
  static int s_nDeCompress(wchar_t* out, int* length, STRessourceModule& request);
  // The text as a new malloc'ed wide text, or null.
  static wchar_t* s_pszDeCompress(STRessourceModule& request);

  // The alphabet a switch digit (0-7) selects; -1 above.
  static int _nGetCharset(eCHARSETSHIFT digit);
  // The digit that switches to an alphabet (4-7); SHIFT_NONE above 3.
  static eCHARSETSHIFT _nGetCharsetSwitch(eCHARSET charset);
  // The digit (position + 8) of a byte in an alphabet; -1 when the alphabet lacks it.
  static int _nGetValue(unsigned int character, eCHARSET charset);

 private:
  // Interprets one digit that is not an escape.
  void _AddASCIIDigit(int digit, eCHARSETSHIFT& shift);
  // Appends one byte (counted even when it no longer fits).
  void _AddASCIIDigit(unsigned char byte);
  // Interprets the escape digit whose data starts at *pos; FALSE when the input ends inside it.
  BOOL _bEscape(int digit, int* pos);

  const unsigned char* m_pbyIn = nullptr;
  int m_nIn = 0;
  int m_nOut = 0;
  int m_nCapacity = 0;
  unsigned char* m_pbyOut = nullptr;
  eCHARSET m_eCharset = CHARSET_0;
};
