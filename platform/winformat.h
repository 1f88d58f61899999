// Windows-style formatted text: the printf family the whole runtime formats wide text with, the
// reader of one printf conversion that both the formatter and the length estimate
// (common/printf_length.h) go by, and the two emulations of the Win32 message formatter.
//
// Formats follow the Windows conventions and are rewritten for the platform's printf:
// - in a wide format "%s" and "%c" take a wide string / character, "%S", "%hs", "%C" and "%hc"
//   narrow ones ("l" or "w" always wide); a narrow format keeps the platform's reading ("%s"
//   narrow, "%S" wide);
// - "I64" is a 64-bit, "I32" a 32-bit and "I" a pointer-sized integer prefix;
// - "%%" (and "%" with flags before a "%") prints one percent sign;
// - a conversion the formatter does not know prints as it stands and takes no argument; a format
//   that ends inside a conversion prints nothing more.
// Floating-point conversions take a double, or a long double with "L".
//
// Buffers the allocating functions hand out come from malloc; the caller frees them with free.
// Nothing here keeps state; errno carries the failure codes.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "platform/wintypes.h"

#ifndef FORMAT_MESSAGE_ALLOCATE_BUFFER
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x200
#define FORMAT_MESSAGE_FROM_STRING 0x400
#define FORMAT_MESSAGE_FROM_HMODULE 0x800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x1000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x2000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0xFF
#endif

// errno of FormatMessageWin when its output area cannot be allocated.
constexpr int kFormatMessageNoMemory = static_cast<int>(0xC0000017u);

// ---- One printf conversion ----

enum ePrintfArg : unsigned char {
  PRINTF_ARG_PERCENT,  // prints one '%', takes nothing
  PRINTF_ARG_INVALID,  // unknown conversion: prints the conversion's own text, takes nothing
  PRINTF_ARG_END,      // the format ends inside the conversion: prints nothing
  PRINTF_ARG_INT,      // d i o u x X
  PRINTF_ARG_FLOAT,    // a A e E f F g G
  PRINTF_ARG_CHAR,     // c C
  PRINTF_ARG_STRING,   // s S
  PRINTF_ARG_POINTER,  // p
  PRINTF_ARG_COUNT,    // n
};

struct STPrintfSpec {
  ePrintfArg eArg;
  unsigned int nLength;      // characters of the format the conversion spans, its '%' included
  unsigned int nModifier;    // offset of the size prefix: up to here the text is kept as written
  bool bPositional;          // "n$" argument numbers: the arguments are not taken in order
  bool bAlternate;           // flag '#'
  bool bWidthStar;           // width taken from an int argument
  bool bPrecisionStar;       // precision taken from an int argument
  bool bPrecision;           // a '.' was given
  bool b64;                  // integer argument of 64 bits
  bool bLongDouble;          // floating-point argument is a long double
  bool bWideArg;             // character or string argument is wide
  int nWidth;                // written width (clamped to INT_MAX), 0 without one
  int nPrecision;            // written precision (clamped), 0 without one
  char szModifier[3];        // the platform's size prefix for the argument
  char cConversion;          // the platform's conversion letter
};

// Reads the conversion that starts at the '%' at p, with the conventions of a wide format for
// T = wchar_t and of a narrow one for T = char.
template <typename T>
void WIN_ParsePrintfSpec(const T* p, STPrintfSpec* conv);

// ---- Format rewrite ----

// Writes the platform form of a Windows wide format into out (size characters, terminator
// included). Returns the length written, or -1 (out then holds an empty text when size > 0) when
// the format is null or size is too small.
int _ConvertFormatWindowsToUnix(const wchar_t* format, wchar_t* out, unsigned int size);
// The size out needs for format, terminator included (1 for a null format).
int _nCalculeTailleChaineFormattageUnix(const wchar_t* format);

// ---- printf family ----
// Results: the characters written (terminator excluded), or -1 with errno: 0 when the text did
// not fit, EILSEQ when an argument could not be encoded, EINVAL for a null format or buffer.

// Formats into buffer (count characters, terminator included). A text that does not fit is cut
// to count - 1 characters; any other failure leaves an empty text (when count > 0).
int vsnwprintfWin(wchar_t* buffer, unsigned int count, const wchar_t* format, va_list args);
int snwprintfWin(wchar_t* buffer, unsigned int count, const wchar_t* format, ...);
// Unbounded: the caller guarantees the room (the count is 10,000,000 characters). Prefer the
// counted forms.
int vswprintfWin(wchar_t* buffer, const wchar_t* format, va_list args);
int swprintfWin(wchar_t* buffer, const wchar_t* format, ...);
// buffer holds max + 1 characters: at most max are written, then always a terminator.
int vsznwprintf(wchar_t* buffer, unsigned int max, const wchar_t* format, va_list args);
int sznwprintf(wchar_t* buffer, unsigned int max, const wchar_t* format, ...);
int vsznwprintfWin(wchar_t* buffer, unsigned int max, const wchar_t* format, va_list args);
int sznwprintfWin(wchar_t* buffer, unsigned int max, const wchar_t* format, ...);
// Narrow twins: the platform's narrow printf with the Windows size prefixes translated.
int vsznprintf(char* buffer, unsigned int max, const char* format, va_list args);
int sznprintf(char* buffer, unsigned int max, const char* format, ...);

// Formats into *out (null or a malloc'ed block, reallocated as the text grows). Returns the
// length; on failure -1, and *out, when it could be had, holds an empty text. The caller frees
// *out in both cases.
int vaswprintf(wchar_t** out, const wchar_t* format, va_list args);

// ---- Win32 message formatters ----
// buffer is the output area of size characters, or with FORMAT_MESSAGE_ALLOCATE_BUFFER the
// address of a wchar_t* (resp. char*) that receives a malloc'ed text, or null on failure.
// arguments points to the va_list (the caller's list is not advanced), or with
// FORMAT_MESSAGE_ARGUMENT_ARRAY to an array of intptr_t words. Message and language ids are
// ignored except for system messages. The result is the length of the text, 0 on failure.

// printf-style: source is the Windows format (FORMAT_MESSAGE_FROM_STRING); with
// FORMAT_MESSAGE_FROM_SYSTEM the text is the system's message for errno, taken as it stands.
// A null arguments pointer accepts only formats that take no argument (else EINVAL). With
// allocation, a block smaller than size characters is enlarged to size. A text that does not
// fit a caller's buffer is cut (and terminated) and the call fails.
unsigned int FormatMessageW(unsigned int flags, const void* source, unsigned int messageId, unsigned int languageId,
                            wchar_t* buffer, unsigned int size, va_list* arguments);
unsigned int FormatMessageA(unsigned int flags, const void* source, unsigned int messageId, unsigned int languageId,
                            char* buffer, unsigned int size, va_list* arguments);

// The Win32 algorithm: inserts "%1" to "%999" with an optional printf format between '!'
// (integers, characters, strings and pointers; one word per argument, one more per '*'),
// escapes "%0" (end), "%n", "%r", "%t", "%b" and "%<char>", line breaks and wrapping at the
// width in flags & 0xFF (0: line breaks kept as CR LF, 0xFF: no wrapping, line breaks become
// blanks). FORMAT_MESSAGE_FROM_SYSTEM gives the system's message for messageId (0: errno).
// Failures set errno: EINVAL (bad flags or message text, missing argument source), EOVERFLOW
// (the text does not fit the caller's buffer; the cut text is left there, terminated),
// kFormatMessageNoMemory, or the printf error of an insert.
unsigned int FormatMessageWin(unsigned int flags, const void* source, unsigned int messageId,
                              unsigned int languageId, wchar_t* buffer, unsigned int size, va_list* arguments);
