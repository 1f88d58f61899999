// Environment and current directory (declared in platform/environ.h).
#include "platform/environ.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/charset.h"
#include "common/str_buffer.h"
#include "common/str_compare.h"
#include "platform/codepage.h"
#include "platform/diskfile.h"
#include "platform/unixname.h"

namespace {

unsigned int CurrentCodePage() { return dwGetCodePageFromCharset(STR_nGetCurrentChangeCharset()); }

std::wstring FromCurrent(const char* s) {
  const int n = static_cast<int>(strlen(s));
  if (n == 0) return {};
  std::wstring w(MultiByteToWideChar(CurrentCodePage(), 0, s, n, nullptr, 0), 0);
  MultiByteToWideChar(CurrentCodePage(), 0, s, n, w.data(), static_cast<int>(w.size()));
  return w;
}

// The value as wide text; false when the name is not set or has no system form.
bool bLookUp(const wchar_t* name, std::wstring* value) {
  if (name == nullptr) return false;
  const CUnixName bytes(name, true);
  const char* v = bytes.bOk() ? getenv(bytes.psz()) : nullptr;
  if (v == nullptr) return false;
  *value = UNIX_strDecode(v, strlen(v));
  return true;
}

template <typename T>
unsigned int Answer(const std::basic_string<T>& value, T* buffer, unsigned int size) {
  if (buffer != nullptr && size > 0) {
    const size_t n = value.size() < size ? value.size() : size - 1;
    std::memcpy(buffer, value.data(), n * sizeof(T));
    buffer[n] = 0;
  }
  return static_cast<unsigned int>(size > value.size() ? value.size() : value.size() + 1);
}

}  // namespace

unsigned int GetEnvironmentVariableW(const wchar_t* name, wchar_t* buffer, unsigned int size) {
  std::wstring value;
  return bLookUp(name, &value) ? Answer(value, buffer, size) : 0;
}

unsigned int GetEnvironmentVariableA(const char* name, char* buffer, unsigned int size) {
  std::wstring value;
  if (name == nullptr || !bLookUp(FromCurrent(name).c_str(), &value)) return 0;
  std::string narrow;
  if (!value.empty()) {
    const int n = static_cast<int>(value.size());
    narrow.resize(WideCharToMultiByte(CurrentCodePage(), 0, value.c_str(), n, nullptr, 0, nullptr, nullptr));
    WideCharToMultiByte(CurrentCodePage(), 0, value.c_str(), n, narrow.data(), static_cast<int>(narrow.size()),
                        nullptr, nullptr);
  }
  return Answer(narrow, buffer, size);
}

BOOL SetEnvironmentVariable(const wchar_t* name, const wchar_t* value) {
  if (name == nullptr) return FALSE;
  const CUnixName n(name, true);
  if (!n.bOk()) return FALSE;
  if (value == nullptr) return unsetenv(n.psz()) == 0 ? TRUE : FALSE;
  const CUnixName v(value, true);
  return v.bOk() && setenv(n.psz(), v.psz(), 1) == 0 ? TRUE : FALSE;
}

BOOL SetCurrentDirectoryW(const wchar_t* path) {
  return path != nullptr && CDiskFile::Unix_chdir(path) == 0 ? TRUE : FALSE;
}

BOOL SetCurrentDirectoryA(const char* path) {
  return path != nullptr && SetCurrentDirectoryW(FromCurrent(path).c_str()) ? TRUE : FALSE;
}
