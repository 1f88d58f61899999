// File names between the runtime's wide text and the bytes the system takes, exact in both
// directions: a name never reaches the system as another file's name, and a name read from the
// system (getcwd, HOME, the user database, readdir) gives the same bytes when it is encoded again.
//
// - Encoding: a backslash is read as a slash; every Unicode scalar value becomes its UTF-8 form;
//   U+DC80 to U+DCFF stand for the raw bytes 0x80 to 0xFF that decoding could not read. Any other
//   value (surrogates, negative, above U+10FFFF), or raw bytes that would read back as other
//   characters, refuse the name with EILSEQ.
// - Decoding: each well-formed UTF-8 character becomes itself, each byte that starts none becomes
//   U+DC00 + the byte.
#pragma once

#include <cstddef>
#include <string>

#include "platform/wintypes.h"

// The UTF-8 form of one name, on the stack up to 1,023 bytes and on the heap above.
class CUnixName {
 public:
  // A null name is the empty name. bText: a command line, whose backslashes stay.
  explicit CUnixName(const wchar_t* name, bool bText = false);
  CUnixName(const CUnixName&) = delete;
  CUnixName& operator=(const CUnixName&) = delete;
  ~CUnixName();
  // false (errno set: EILSEQ, or ENOMEM) when the name has no exact system form.
  bool bOk() const { return m_psz != nullptr; }
  // The bytes; null when !bOk().
  const char* psz() const { return m_psz; }

 private:
  char m_szStack[1024];
  char* m_pHeap = nullptr;
  const char* m_psz = nullptr;
};

// Decodes n bytes.
std::wstring UNIX_strDecode(const char* bytes, size_t n);

// ---- System texts, decoded ----
// The current directory (getcwd into a buffer grown to its UTF-8 size). false with errno.
bool UNIX_bCurrentDirectory(std::wstring* out);
// The directory of the user database's entry for getuid(). false (ENOENT) without one.
bool UNIX_bUserHome(std::wstring* out);
// HOME when set and not empty, else UNIX_bUserHome.
bool UNIX_bHomeDirectory(std::wstring* out);
// Copies text into out (size characters with the terminator). false (errno ENAMETOOLONG, out
// empty when size > 0) when it does not fit.
bool UNIX_bFit(const std::wstring& text, wchar_t* out, size_t size);
