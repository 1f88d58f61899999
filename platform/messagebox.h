// Message boxes of the Win32 emulation: through the host's graphical sibling module "qx200obj.so"
// when it is already loaded in the process, else as a question on the console (caption, text and
// a French prompt on the standard error stream, one word read from standard input). The console
// form blocks the calling thread until a word, the end of input or a read error comes; the word
// read is at most 49 characters, and end of input or an error counts as an empty answer (OK).
#pragma once

#include "platform/wintypes.h"

struct HWND__;

// Button codes: 1 OK, 2 CANCEL, 3 ABORT, 4 RETRY, 5 IGNORE, 6 YES, 7 NO.
int MessageBox(HWND__* owner, const wchar_t* text, const wchar_t* caption, unsigned int type);
// The console form, for UTF-16 text.
int MessageBoxW(HWND__* owner, const unsigned short* text, const wchar_t* caption, unsigned int type);
// The console form; wideText 0: text holds the bytes of a narrow text.
int _MessageBox_NO_GUI(const wchar_t* text, const wchar_t* caption, unsigned int type, int wideText);
// The text in UTF-8 on the standard error stream.
void OutputDebugString(const wchar_t* text);
