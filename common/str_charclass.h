// Character classes, the local Windows-1252 and Latin-1 fold tables, and allocating conversions
// between code pages and wide text (one code point per 4-byte wchar_t) through the Win32-style
// converters of platform/codepage.h. Free functions, no state.
//
// Wide character arguments are read as their unsigned 32-bit value; narrow ones as the unsigned
// byte, so bytes 0x80-0xFF never pass for control or ASCII characters.
// Buffers handed out by the allocating conversions come from malloc; the caller frees them. Those
// conversions answer FALSE with a null buffer and a zero length on any failure, leaving nothing
// allocated. Code pages are Windows numbers (0 and unknown numbers mean 1252, 65001 is UTF-8); a
// length of -1 means up to and including the terminator, which is then converted and counted.
#pragma once

#include "platform/wintypes.h"

// Latin-1 / Windows-1252 byte -> its unaccented upper-case byte.
extern const unsigned char pToNoAccentUpper_Latin1[256];

// ---- Character classes ----

BOOL bEstUnChiffreA(char c);
BOOL bEstUnChiffreW(wchar_t c);
// Value of a digit character; not checked.
inline int nGetChiffre(int c) { return c - '0'; }
// Every character an ASCII digit; the empty text counts.
BOOL bEstUnNombreEntierNaturel(const wchar_t* s);
BOOL bEstUnNombreEntierNaturel(const char* s);
BOOL bExtendedASCII(wchar_t c);  // above 127
BOOL bExtendedASCII(char c);
BOOL bMajusculeA(char c);
BOOL bMajusculeW(wchar_t c);
BOOL bMinusculeA(char c);
BOOL bMinusculeW(wchar_t c);
BOOL bUnprintable(wchar_t c);  // below 32
BOOL bUnprintable(char c);
// 33-47, 58-64 and 91-95 only: '`' and '{' to '~' do not count.
BOOL bPonctuation(wchar_t c);
BOOL bPonctuation(char c);
// Only TAB, LF, CR and blanks (the empty text counts).
BOOL STR_bNeContientRienDeLisibleA(const char* s);
BOOL STR_bNeContientRienDeLisibleW(const wchar_t* s);
// Holds a blank (U+0020); a null text does not.
BOOL STR_bContainSpace(const wchar_t* s);
BOOL STR_bIsANSI7(const wchar_t* s);
BOOL STR_bIsANSI7(const wchar_t* s, int n);
BOOL STR_bIsANSI7(const char* s);
BOOL STR_bIsANSI7(const char* s, int n);
BOOL STR_bIsANSI7(char c);
// Representable in Windows-1252: below 0x80, 0xA0-0xFF, and the 27 code points the code page
// places at 0x80-0x9F. U+0080-U+009F are not, although STR_FromCP1252 yields five of them for
// the code page's undefined bytes. b receives the byte and is untouched when FALSE.
BOOL STR_bIsCp1252(wchar_t c, unsigned char& b);
BOOL STR_bIsCp1252(wchar_t c);
BOOL STR_bIsCp1252(const wchar_t* s);
// Length of the UTF-8 sequence a lead byte announces (continuation bytes answer 2, 0xFE/0xFF 1).
int STR_nGetNbByteUTF8(unsigned char lead);

// ---- Single characters ----

// The Windows-1252 byte of c, else cDefault with *pbLost (when given) set to 1.
char STR_ToCP1252(wchar_t c, char cDefault, int* pbLost);
char STR_ToAnsi7(wchar_t c, char cDefault);
wchar_t STR_FromAnsi7(char c, wchar_t cDefault);
// By table: 0x80-0x9F as Windows-1252 (undefined bytes give the same value), others unchanged.
wchar_t STR_FromCP1252(char b);
// One character through the converters; 0 when the conversion writes nothing.
char STR_WCharToAChar(wchar_t c, unsigned int flags, unsigned int codePage);
wchar_t STR_CharToWChar(char b, unsigned int flags, unsigned int codePage);
wchar_t STR_CharToWChar_CurrentCharset(char b, unsigned int flags);

// ---- Whole texts ----

// Windows-1252 to wide by table. With a null dst or dstSize 0: the count needed (srcLen, or
// strlen + 1 for -1). Otherwise the count written, stopping when dst is full (then without a
// terminator). A null src or a length below -1 gives 0.
int STR_CP1252ToWideChar(const char* src, int srcLen, wchar_t* dst, int dstSize);

// Wide -> narrow of codePage into a new buffer terminated by a NUL after the converted bytes;
// *outLen (when given) receives the converted count. Characters the code page lacks become '?'.
BOOL __STR_WCharToChar(const wchar_t* src, int srcLen, char** out, int* outLen, unsigned int codePage);
BOOL STR_WCharToChar_AnyCodepage(const wchar_t* src, int srcLen, char** out, int* outLen, unsigned int codePage);
BOOL STR_WCharToChar_CurrentCharset(char** out, const wchar_t* src, int srcLen = -1);

// Narrow of codePage -> wide into a new buffer terminated by a NUL character; *outLen as above.
BOOL __STR_CharToWChar(const char* src, int srcLen, unsigned int codePage, wchar_t** out, int* outLen,
                       unsigned int flags);
// Adds flag 1 except for code page 65001.
BOOL STR_CharToWChar_AnyCodepage(const char* src, int srcLen, unsigned int codePage, wchar_t** out, int* outLen,
                                 unsigned int flags);
// A null src gives a null *out and TRUE.
BOOL STR_CharToWChar_CurrentCharset(wchar_t** out, const char* src, unsigned int flags, int srcLen = -1);
// Whole terminated text of code page 1252, invalid sequences failing the call.
BOOL STR_CharToWChar(wchar_t** out, const char* src);

// Between two code pages into a new NUL-terminated buffer. Equal code pages copy the bytes
// (srcLen, or strlen for -1, which is then the length returned, terminator excluded); otherwise
// the text goes through wide characters and the length follows __STR_WCharToChar.
BOOL STR_CharToChar_AnyCodepage(const char* src, int srcLen, unsigned int fromCodePage, char** out, int* outLen,
                                unsigned int toCodePage);

// The text survives a round trip through the code page unchanged (null and empty texts do).
BOOL bAnsiCompatible(const wchar_t* s, unsigned int codePage);
BOOL bLatin1(const wchar_t* s);

// Quick ordering of two narrow texts folded through pToNoAccentUpper_Latin1: -1, 0 or 1; a text
// that is a prefix of the other sorts first.
int STR_nCmpLogiqueAnsiFast(const char* a, const char* b);
