// Escaping of text values and LIKE patterns spliced into SQL text, and its undoing, for narrow
// (char) and wide (wchar_t) text; every function has the same behaviour in both widths.
//
// The escaping is done character by character (byte by byte for narrow text). That is sound for
// single-byte character sets and for UTF-8, whose multi-byte sequences never contain a quote or
// a backslash byte; it is NOT sound for connection character sets whose trailing bytes can be
// 0x5C (big5, gbk, gb18030, sjis, cp932): such text must be converted first.
//
// Allocating functions return malloc'ed text that the caller frees with free(), or null when an
// allocation fails (nothing is then left allocated). A null source counts as the empty text; the
// in-place functions do nothing on a null text.
#pragma once

#include <cstddef>

#include "platform/wintypes.h"

// Escapes src into dst, which must hold 2 x length(src) + 1 characters (the output never
// exceeds twice the source; it is always terminated). Read left to right, q = cQuoteEscape,
// e = cEscape, first matching row:
//   quote                  q (bEscapeQuote) then the quote; a quote is never taken as e
//   e '%'                  bExpandEscapedPercent: e (bDoubleEscape), e, e (bEscapePercent), '%';
//                          otherwise e '%'
//   e '_'                  the same with bExpandEscapedUnderscore and bEscapeUnderscore
//   e e                    four e with bExpandEscapedEscape and bDoubleEscape, otherwise two
//   e other / e at end     e (bDoubleEscape), e; the next character is then read on its own
//   backslash (not e)      doubled with bDoubleBackslash
//   '%' / '_'              e (bEscapePercent / bEscapeUnderscore) before it
// Returns the characters written before the terminator.
size_t Escape(const char* src, char* dst, BOOL bEscapeQuote, BOOL bDoubleBackslash,
              BOOL bDoubleEscape, BOOL bEscapePercent, BOOL bEscapeUnderscore,
              BOOL bExpandEscapedPercent, BOOL bExpandEscapedUnderscore,
              BOOL bExpandEscapedEscape, char cQuoteEscape, char cEscape);
size_t Escape(const wchar_t* src, wchar_t* dst, BOOL bEscapeQuote, BOOL bDoubleBackslash,
              BOOL bDoubleEscape, BOOL bEscapePercent, BOOL bEscapeUnderscore,
              BOOL bExpandEscapedPercent, BOOL bExpandEscapedUnderscore,
              BOOL bExpandEscapedEscape, wchar_t cQuoteEscape, wchar_t cEscape);

// Escape into a new text of exactly the right length.
char* pszEscape(const char* src, BOOL bEscapeQuote, BOOL bDoubleBackslash, BOOL bDoubleEscape,
                BOOL bEscapePercent, BOOL bEscapeUnderscore, BOOL bExpandEscapedPercent,
                BOOL bExpandEscapedUnderscore, BOOL bExpandEscapedEscape, char cQuoteEscape,
                char cEscape);
wchar_t* pszEscape(const wchar_t* src, BOOL bEscapeQuote, BOOL bDoubleBackslash,
                   BOOL bDoubleEscape, BOOL bEscapePercent, BOOL bEscapeUnderscore,
                   BOOL bExpandEscapedPercent, BOOL bExpandEscapedUnderscore,
                   BOOL bExpandEscapedEscape, wchar_t cQuoteEscape, wchar_t cEscape);

// Rewrites the escape sequences of src into dst: e '%' becomes percentPrefix + percentText +
// percentSuffix, e '_' becomes underscorePrefix + underscoreText + underscoreSuffix, e e becomes
// one e; a lone e and every other character (bare '%' and '_' included) are copied. Null texts
// count as empty. dst must hold length(src) x max(1, sum of the six text lengths) + 1
// characters; a 2-character sequence writes at most the sum of its three texts and any other
// character writes one, so that always suffices. Returns the characters written before the
// terminator.
size_t ChangeEscape(const char* src, char* dst, const char* percentText,
                    const char* percentPrefix, const char* percentSuffix,
                    const char* underscoreText, const char* underscorePrefix,
                    const char* underscoreSuffix, char cEscape);
size_t ChangeEscape(const wchar_t* src, wchar_t* dst, const wchar_t* percentText,
                    const wchar_t* percentPrefix, const wchar_t* percentSuffix,
                    const wchar_t* underscoreText, const wchar_t* underscorePrefix,
                    const wchar_t* underscoreSuffix, wchar_t cEscape);

// ChangeEscape into a new text of exactly the right length.
char* pszChangeEscape(const char* src, const char* percentText, const char* percentPrefix,
                      const char* percentSuffix, const char* underscoreText,
                      const char* underscorePrefix, const char* underscoreSuffix, char cEscape);
wchar_t* pszChangeEscape(const wchar_t* src, const wchar_t* percentText,
                         const wchar_t* percentPrefix, const wchar_t* percentSuffix,
                         const wchar_t* underscoreText, const wchar_t* underscorePrefix,
                         const wchar_t* underscoreSuffix, wchar_t cEscape);

// In place: drops an e standing before another e, '_' or '%' and keeps that character (the scan
// resumes after it).
void PurgeEscape(char* text, char cEscape);
void PurgeEscape(wchar_t* text, wchar_t cEscape);
// In place: each doubled e becomes one, left to right («!!!» gives «!!»).
void PurgeEscapeEscape(char* text, char cEscape);
void PurgeEscapeEscape(wchar_t* text, wchar_t cEscape);

// In place, undoes quote escaping. A text that is exactly two quotes is left as it is (an empty
// literal). Otherwise, walking from the last character down to the second: at a quote preceded
// by a quote (or by a backslash when bBackslash), that preceding character is removed and the
// walk goes on two positions lower; else one lower. So «it''s» becomes «it's».
void PurgeQuote(char* text, BOOL bBackslash);
void PurgeQuote(wchar_t* text, BOOL bBackslash);

// In place: each doubled backslash becomes one (left to right), then PurgeQuote(text, TRUE).
void PurgeEscapeBackSlash(char* text);
void PurgeEscapeBackSlash(wchar_t* text);

// A new text for the body of a MySQL single-quoted literal, read with backslash escapes on (the
// default SQL mode, not NO_BACKSLASH_ESCAPES), used as `LIKE '<result>' ESCAPE '<e>'`. The
// narrow form takes e as the code-page-1252 byte of cEscape.
//
// The source, after PurgeQuote(copy, TRUE), is a LIKE pattern with escape e: e '%', e '_' and
// e e stand for a literal '%', '_' and e, a lone e (before any other character, or last) for a
// literal e, a bare '%' or '_' for the wildcard, anything else for itself. The result is that
// pattern in the server's LIKE syntax with escape e (e '%', e '_', e e, wildcards and other
// characters as they are; a lone e becomes e e), written as a literal body: every quote as
// backslash-quote and every backslash doubled, except that when e is the backslash the e of an
// e '%' or e '_' pair is written once (the server keeps a backslash before '%' and '_'). The
// body is thus made only of characters other than quote and backslash and of two-character
// backslash pairs: no input can end the literal early or leave a dangling backslash.
char* pszVerrueEscapeMySQL(const char* src, wchar_t cEscape);
wchar_t* pszVerrueEscapeMySQL(const wchar_t* src, wchar_t cEscape);
