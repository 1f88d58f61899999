// Profile files of the Win32 emulation over INI text, and the exported line readers they read
// with. No state survives a call: each call opens, reads or rewrites and closes the file, so two
// writers of one file at the same time can lose updates.
//
// Rules of the file:
// - A file is UTF-16LE (surrogate pairs kept) when it starts with FF FE, else code page 1252
//   text; writing keeps the form, and a file created by a write is narrow without a mark.
// - Section names and keys compare without regard to ASCII case, when reading and when writing.
// - Written lines end with LF; an entry is written as key " = " value.
// - File names: a name holding "/" or a backslash is used as given, another one is placed in the
//   user's home directory; a name that does not fit 260 characters is refused, never cut.
// - Writes answer FALSE when any piece fails to reach the file, and refuse a section, key or
//   value holding CR or LF (it would write other lines than the one asked).
// - A write puts the whole new text into a temporary file in the file's folder and renames it
//   over the file (links followed, the mode kept, the owner that of the writer): a failure leaves
//   the old file as it was. A file the user may not write is refused as before.
#pragma once

#include <cstdio>

#include "platform/wintypes.h"

// ---- Line readers (exported) ----
// One character: STRG_nGetChar<wchar_t, unsigned short> a UTF-16LE unit widened,
// <wchar_t, wchar_t> fgetwc, <char, char> fgetc; -1 at the end.
template <typename T, typename U>
int STRG_nGetChar(FILE* file);
// One line up to and including LF into *line (made or grown with malloc/realloc; *bytes its
// size in bytes), terminated. The bytes consumed from the stream, -1 when the end came before
// any character, 12 when the buffer could not be made or grown (the line so far is kept).
template <typename T>
int STRG_nGetLine(T** line, unsigned int* bytes, FILE* file);
// The same over UTF-16LE units, one unit per character (pairs are not joined here).
int STRG_nGetLineUTF16(wchar_t** line, unsigned int* bytes, FILE* file);

// TRUE when the next two bytes are FF FE. The position is restored, except that a file at its
// start that has the mark stays after it.
BOOL bFichierUnicode(FILE* file);

// The per-user profile: home directory + "/.MVX.conf". FALSE and an empty path when the user has
// no home or the path does not fit 261 characters with its terminator.
BOOL bGetMVXCONFPath(wchar_t* path);
// The file-name rule into path (261 characters); FALSE and an empty path when it does not fit.
BOOL __PrivateProfilePatchName(const wchar_t* name, wchar_t* path);
BOOL __PrivateProfilePatchName(const char* name, char* path);

// Null section: every section name followed by CR LF; null key: the section's keys each followed
// by CR LF; both: the value. Listings stop at the buffer's size. The length placed; a found but
// empty value answers 0, anything not found the default (cut to size), or 0 without one.
unsigned int GetPrivateProfileStringW(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText,
                                      wchar_t* buffer, unsigned int size, const wchar_t* file);
unsigned int GetPrivateProfileString(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText,
                                     wchar_t* buffer, unsigned int size, const wchar_t* file);
// Code page 1252 arguments and result.
unsigned int GetPrivateProfileStringA(const char* section, const char* key, const char* defaultText, char* buffer,
                                      unsigned int size, const char* file);
int GetPrivateProfileInt(const wchar_t* section, const wchar_t* key, int defaultValue, const wchar_t* file);
unsigned int GetProfileString(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText,
                              wchar_t* buffer, unsigned int size);
int GetProfileInt(const wchar_t* section, const wchar_t* key, int defaultValue);

// Sets, adds or (null value) deletes an entry; a null key deletes the section up to the next
// header. A failed write may leave the part already written.
BOOL WritePrivateProfileStringW(const wchar_t* section, const wchar_t* key, const wchar_t* value,
                                const wchar_t* file);
BOOL WritePrivateProfileString(const wchar_t* section, const wchar_t* key, const wchar_t* value,
                               const wchar_t* file);
BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* file);
BOOL WriteProfileString(const wchar_t* section, const wchar_t* key, const wchar_t* value);

// ---- Test control ----
// The home directory the profile code uses instead of the user database's; null: the database.
void PROFILE_SetHomeForTests(const wchar_t* home);
