// Binary-sortable keys: CKJConvertKey turns one typed value into a key whose unsigned byte order
// is the order of the values, and sizes keys; CConvertKey does it for a variant value, cast first
// to the requested host type, and inverts the key for a descending order. The client-side indexes
// compare such keys with memcmp over one fixed key size.
//
// Shared rules:
// - Nothing is written outside the key's keySize bytes and nothing is read outside the value's
//   valueSize bytes: a kind that does not fit writes nothing and answers 0.
// - Equal values give equal keys (-0.0 keys as +0.0, every true BOOL as 1); binary values that
//   differ only by trailing zero bytes key alike, since the key is filled with the character '0'.
// - Wide text keys are UTF-16 written as big-endian units with the surrogates moved above
//   U+E000..U+FFFF, so that their byte order is the code-point order; option 0x01 writes the
//   tabUCS2FastSort weights instead. The last unit of room always stays 0.
// - Folding (options 0x80, 0x40, 0x20) of narrow text goes through the locale service, of wide
//   text through the host engine's text service reached by CNADriver::s_pclDriver; without a
//   driver, engine interface or service the key is zero and the answer 0.
#pragma once

#include <cstdint>

class CAny;

// The engine's key type (0 to 22); -1 keys nothing.
enum eITEMTYPE : int {};

// Weight of each UTF-16 unit in the collation order of option 0x01, both bytes big-endian: a
// permutation of 0..0xFFFF keeping 0 and 0xFFFF, the surrogates above every other unit.
extern const unsigned char tabUCS2FastSort[65536][2];

class CKJConvertKey {
 public:
  // Options read here.
  static constexpr unsigned short KEY_UCS2FASTSORT = 0x01;
  static constexpr unsigned short KEY_BIGENDIAN = 0x02;
  static constexpr unsigned short KEY_NOACCENT = 0x20;
  static constexpr unsigned short KEY_NOPUNCT = 0x40;
  static constexpr unsigned short KEY_NOCASE = 0x80;
  static constexpr unsigned short KEY_DESCENDING = 0x400;
  // Unicode flag: the wide text is 4-byte characters (else 16-bit units).
  static constexpr int KEY_UTF32 = 0x10;

  // The engine item type of a host value type (5 for a type it does not list).
  static int nGetItemType(unsigned short zvType);
  // The key type of an engine item type (-1 for none).
  static eITEMTYPE eGetKeyType(int itemType);

  // Key size for a value of n bytes: narrow text n + 1, binary 2n, wide text 2n + 2, decimal 32,
  // others n; 0 when that is above 0x7FFFFEFF.
  static unsigned int nCalculateKeySize(eITEMTYPE t, unsigned int n);
  static unsigned int nCalculateKeySize(unsigned short zvType, unsigned int n);

  // Writes the key of the value into at most keySize bytes and answers its size. precision and
  // scale serve decimals, charset narrow text (0: none), unicodeFlags wide text.
  static unsigned int __nConvertKey(void* key, unsigned int keySize, const void* value, unsigned int valueSize,
                                    eITEMTYPE t, unsigned short options, int precision, int scale,
                                    unsigned int charset, int unicodeFlags);

  // Fixed-size kinds: the key has room for the value's own size.
  static void _I1_to_Key(unsigned char* key, const void* value);
  static void _UI1_to_Key(unsigned char* key, const void* value);
  static void _I2_to_Key(unsigned char* key, const void* value);
  static void _UI2_to_Key(unsigned char* key, const void* value);
  static void _I4_to_Key(unsigned char* key, const void* value);
  static void _UI4_to_Key(unsigned char* key, const void* value);
  static void _I8_to_Key(unsigned char* key, const void* value);
  static void _UI8_to_Key(unsigned char* key, const void* value);
  static void _R4_to_Key(unsigned char* key, const void* value) { __Rx_to_Key(key, value, 4); }
  static void _R8_to_Key(unsigned char* key, const void* value) { __Rx_to_Key(key, value, 8); }
  static void __Rx_to_Key(unsigned char* key, const void* value, unsigned int size);
  static void _DateTime_to_Key(unsigned char* key, const void* value);
  static void _CY_to_Key(unsigned char* key, const void* value);
  // 32 bytes from a decimal of the host's factory loaded with the data form; 0 (nothing written)
  // without a factory or a decimal.
  static unsigned int _Decimal_to_Key(unsigned char* key, const void* value, int precision, int scale);
  static unsigned int _nBin_to_Key(unsigned char* key, unsigned int keySize, const void* value, unsigned int n);
  static unsigned int _nSTR_to_Key(unsigned char* key, unsigned int keySize, const char* text, unsigned int n,
                                   unsigned short options, unsigned int charset);
  static unsigned int _nUNICODE_to_Key(unsigned char* key, unsigned int keySize, const void* text,
                                       unsigned int byteLength, unsigned short options, int unicodeFlags);
};

class CConvertKey {
 public:
  // *ppKey gets a key allocated at the computed size (the caller frees it), or null with 0.
  static unsigned int nConvertKeyAndGetSize(CAny* value, unsigned char** ppKey, unsigned short zvType,
                                            unsigned short options, int nIntegerDigits, int nDecimalDigits);
  static unsigned int nConvertKeyAndGetSize(CAny* value, unsigned char* key, unsigned int keySize,
                                            unsigned short zvType, unsigned short options, int nIntegerDigits,
                                            int nDecimalDigits);
  // The value is copied and cast to zvType (0: its own type) on the copy; a NULL or empty value
  // keys as an empty wide text cast so, and a cast that fails keys a zeroed value of zvType. The
  // caller's value is never changed. keySize 0 allocates the key into *ppKey.
  static unsigned int _nConvertKeyAndGetSize(CAny* value, unsigned char** ppKey, unsigned int keySize,
                                             unsigned short zvType, unsigned short options, int nIntegerDigits,
                                             int nDecimalDigits);
  static void __InvertKey(unsigned char* key, unsigned int n);
};
