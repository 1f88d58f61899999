#include "platform/unixname.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "common/utf.h"
#include "platform/syscall_seam.h"

namespace {

constexpr uint32_t kEscapeBase = 0xDC00;

bool bIsScalar(uint32_t c) { return c < 0x110000 && (c < 0xD800 || c > 0xDFFF); }
bool bIsEscape(uint32_t c) { return c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF; }

// Encodes the name into dst (null: counts only). The bytes, terminator excluded, or -1 for a value
// without a system form; *escaped is set when a raw byte was written.
long nEncode(const wchar_t* name, bool bText, char* dst, bool* escaped) {
  long n = 0;
  for (; *name != 0; ++name) {
    const uint32_t c = *name == L'\\' && !bText ? '/' : static_cast<uint32_t>(*name);
    char one[5];
    int k = 1;
    if (bIsScalar(c)) {
      k = UTF32ToUTF8(static_cast<wchar_t>(c), one);
    } else if (bIsEscape(c)) {
      one[0] = static_cast<char>(c - kEscapeBase);
      *escaped = true;
    } else {
      return -1;
    }
    if (dst != nullptr) std::memcpy(dst + n, one, static_cast<size_t>(k));
    n += k;
  }
  return n;
}

}  // namespace

std::wstring UNIX_strDecode(const char* bytes, size_t n) {
  std::wstring out;
  while (n > 0) {
    int k = n > INT_MAX ? INT_MAX : static_cast<int>(n);
    const int c = UTF8FirstChar(bytes, k);
    if (c < 0) {
      out.push_back(static_cast<wchar_t>(kEscapeBase + static_cast<unsigned char>(*bytes)));
      k = 1;
    } else {
      out.push_back(static_cast<wchar_t>(c));
    }
    bytes += k;
    n -= static_cast<size_t>(k);
  }
  return out;
}

CUnixName::CUnixName(const wchar_t* name, bool bText) {
  if (name == nullptr) name = L"";
  bool escaped = false;
  const long n = nEncode(name, bText, nullptr, &escaped);
  if (n < 0) {
    errno = EILSEQ;
    return;
  }
  char* dst = m_szStack;
  if (static_cast<size_t>(n) >= sizeof m_szStack) {
    m_pHeap = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1));
    if (m_pHeap == nullptr) {
      errno = ENOMEM;
      return;
    }
    dst = m_pHeap;
  }
  nEncode(name, bText, dst, &escaped);
  dst[n] = 0;
  if (escaped) {
    // Raw bytes that happen to form UTF-8 would read back as other characters.
    std::wstring same(name);
    for (wchar_t& c : same)
      if (c == L'\\' && !bText) c = L'/';
    if (UNIX_strDecode(dst, static_cast<size_t>(n)) != same) {
      errno = EILSEQ;
      return;
    }
  }
  m_psz = dst;
}

CUnixName::~CUnixName() { std::free(m_pHeap); }

bool UNIX_bCurrentDirectory(std::wstring* out) {
  std::vector<char> buffer(512);
  while (SEAM_getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() >= (1u << 24)) return false;
    buffer.resize(buffer.size() * 2);
  }
  *out = UNIX_strDecode(buffer.data(), std::strlen(buffer.data()));
  return true;
}

bool UNIX_bUserHome(std::wstring* out) {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 4096);
  passwd entry;
  passwd* found = nullptr;
  int e;
  while ((e = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
         buffer.size() < (1u << 20))
    buffer.resize(buffer.size() * 2);
  if (e != 0 || found == nullptr || found->pw_dir == nullptr) {
    errno = e != 0 ? e : ENOENT;
    return false;
  }
  *out = UNIX_strDecode(found->pw_dir, std::strlen(found->pw_dir));
  return true;
}

bool UNIX_bHomeDirectory(std::wstring* out) {
  const char* home = getenv("HOME");
  if (home == nullptr || home[0] == 0) return UNIX_bUserHome(out);
  *out = UNIX_strDecode(home, std::strlen(home));
  return true;
}

bool UNIX_bFit(const std::wstring& text, wchar_t* out, size_t size) {
  if (text.size() >= size) {
    if (size > 0) out[0] = 0;
    errno = ENAMETOOLONG;
    return false;
  }
  wmemcpy(out, text.c_str(), text.size() + 1);
  return true;
}
