// Path splitting of CDiskFile (declared in platform/diskfile.h).
#include <cwchar>
#include <string>

#include "platform/diskfile.h"

namespace {

template <typename T>
bool bIsSeparator(T c) {
  return c == '/' || c == '\\';
}

// Writes the directory part (backslashes as slashes) and answers where the file part starts.
template <typename T>
const T* SplitDirectory(const T* path, T* dir) {
  size_t cut = std::char_traits<T>::length(path);
  while (cut > 0 && !bIsSeparator(path[cut - 1])) --cut;
  if (dir != nullptr) {
    for (size_t i = 0; i < cut; ++i) dir[i] = path[i] == '\\' ? '/' : path[i];
    dir[cut] = 0;
  }
  return path + cut;
}

}  // namespace

template <typename T>
void CDiskFile::__SplitPath(const T* path, Out<T>* dir, Out<T>* name, Out<T>* ext) {
  static const T kEmpty[1] = {0};
  if (path == nullptr) path = kEmpty;
  if (dir == nullptr && name == nullptr && ext == nullptr) return;
  const T* rest = SplitDirectory(path, dir);
  const size_t restLen = std::char_traits<T>::length(rest);
  size_t nameLen = restLen;
  while (nameLen > 0 && rest[nameLen - 1] != '.') --nameLen;
  nameLen = nameLen > 0 ? nameLen - 1 : restLen;  // before the last ".", or the whole rest
  if (name != nullptr) {
    std::char_traits<T>::copy(name, rest, nameLen);
    name[nameLen] = 0;
  }
  if (ext != nullptr) {
    std::char_traits<T>::copy(ext, rest + nameLen, restLen - nameLen);
    ext[restLen - nameLen] = 0;
  }
}

template <typename T>
void CDiskFile::__SplitPath(const T* path, Out<T>* dir, Out<T>* name) {
  static const T kEmpty[1] = {0};
  const T* rest = SplitDirectory(path != nullptr ? path : kEmpty, dir);
  if (name != nullptr) std::char_traits<T>::copy(name, rest, std::char_traits<T>::length(rest) + 1);
}

template void CDiskFile::__SplitPath<wchar_t>(const wchar_t*, wchar_t*, wchar_t*, wchar_t*);
template void CDiskFile::__SplitPath<wchar_t>(const wchar_t*, wchar_t*, wchar_t*);
