#include "driver/nafunctionloader.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "driver/mysqlapi.h"
#include "driver/naerror.h"
#include "platform/diskfile.h"
#include "platform/unixname.h"

#define QX_MYSQL_DEFINE(n, name, R, P, req) \
  R DefaultError_##name P { throw CTString(#name); } \
  R(*__##name) P = &DefaultError_##name;
QX_MYSQL_FUNCTIONS(QX_MYSQL_DEFINE)
#undef QX_MYSQL_DEFINE

CNAFunctionLoader* CNAFunctionLoader::g_pclNAFunctionLoader = nullptr;

namespace {

enum { kLoaderSiteOpen = 1, kLoaderSiteFunction = 2 };

struct STEntry {
  const char* pszName;
  void** ppEntry;
  void* pDefault;
  bool bRequired;
};

#define QX_MYSQL_ENTRY(n, name, R, P, req) \
  {#name, reinterpret_cast<void**>(&__##name), reinterpret_cast<void*>(&DefaultError_##name), req != 0},
const STEntry kEntries[] = {QX_MYSQL_FUNCTIONS(QX_MYSQL_ENTRY)};
#undef QX_MYSQL_ENTRY

CTString Decoded(const char* bytes) {
  const std::wstring w = bytes != nullptr ? UNIX_strDecode(bytes, strlen(bytes)) : std::wstring();
  return CTString(w.c_str());
}

// The directory of the file holding this code (the driver, or the program it is linked into).
CTString OwnDirectory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OwnDirectory), &info) == 0 || info.dli_fname == nullptr) return CTString();
  CTString path = Decoded(info.dli_fname);
  const int slash = path.nRPos(L'/');
  return slash >= 0 ? path.clGauche(slash + 1) : CTString();
}

}  // namespace

CNAFunctionLoader::~CNAFunctionLoader() { _Term(); }

void CNAFunctionLoader::_Term() {
  if (m_hLibrary == nullptr) return;
  dlclose(m_hLibrary);
  m_hLibrary = nullptr;
}

BOOL CNAFunctionLoader::g_bInitNative(CNAError* error, CTString* loadedPath, const wchar_t* library, int bNoResolve) {
  if (!_g_bInitLoader(error)) return FALSE;
  return g_pclNAFunctionLoader->_bInitNative(error, loadedPath, library, bNoResolve);
}

BOOL CNAFunctionLoader::_g_bInitLoader(CNAError* error) {
  if (g_pclNAFunctionLoader != nullptr) return TRUE;
  g_pclNAFunctionLoader = new (std::nothrow) CNAFunctionLoader();
  if (g_pclNAFunctionLoader != nullptr) return TRUE;
  if (error != nullptr) error->pclGetXError()->SetErrorNoMemory();
  return FALSE;
}

BOOL CNAFunctionLoader::g_bLoaded() {
  return g_pclNAFunctionLoader != nullptr && g_pclNAFunctionLoader->m_hLibrary != nullptr;
}

void* CNAFunctionLoader::g_hGetNativeLibHandle() { return g_pclNAFunctionLoader->m_hLibrary; }

void CNAFunctionLoader::g_Term() {
  if (g_pclNAFunctionLoader == nullptr) return;
  g_pclNAFunctionLoader->_Term();
  delete g_pclNAFunctionLoader;
  g_pclNAFunctionLoader = nullptr;
}

void CNAFunctionLoader::_GetLibraryName(CTString* name, int flag) const {
  if (flag == 0) *name = _vpszGetLibraryName();
}

BOOL CNAFunctionLoader::_bInitNative(CNAError* error, CTString* loadedPath, const wchar_t* library, int bNoResolve) {
  CTString name;
  if (library != nullptr && *library != 0)
    name = library;
  else
    _GetLibraryName(&name, 0);
  unsigned int errorCode = 0;
  if (!_bLoadLibraryNative(&errorCode, name.pszGet())) {
    _CXErrorModule32 e;
    e.SetUserError(&gstMyModuleInfo32, 27, L"MySQL", name.pszGet(), 32);
    e.SetSystemErrorMessage(m_csLastError.pszGet());
    const unsigned int code = 27;
    e.AddInfo(EIT_NATIVECODE, &code);
    if (error != nullptr) {
      if (!error->bIsQuiet()) CNAError::g_AddDebugInfo(&e, NA_SRC_LOADER, kLoaderSiteOpen);
      error->AddError(NA_ERRORTYPE_DEFAULT, &e, nullptr);
    }
    return FALSE;
  }
  // The file opened: by its path when one was given, else where the system's search found it.
  link_map* map = nullptr;
  if (loadedPath != nullptr && m_csLoadedName.nPos(L'/') >= 0)
    *loadedPath = m_csLoadedName;
  else if (loadedPath != nullptr && dlinfo(m_hLibrary, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr &&
           map->l_name != nullptr && *map->l_name != 0)
    *loadedPath = Decoded(map->l_name);
  if (bNoResolve) return TRUE;
  for (const STEntry& entry : kEntries) {
    void* symbol = dlsym(m_hLibrary, entry.pszName);
    *entry.ppEntry = symbol != nullptr ? symbol : entry.pDefault;
    if (symbol != nullptr || !entry.bRequired) continue;
    const CTString function(entry.pszName);
    CNAError::g_RaiseUserError(error, NA_ERRORTYPE_DEFAULT, NA_SRC_LOADER, kLoaderSiteFunction, nullptr, nullptr,
                               nullptr, 37, function.pszGet());
    return FALSE;
  }
  return TRUE;
}

BOOL CNAFunctionLoader::_bLoadLibraryNative(unsigned int* errorCode, const wchar_t* path) {
  const size_t room = wcslen(path) + 1;
  std::vector<wchar_t> directory(room, 0), name(room, 0);
  CDiskFile::__SplitPath(path, directory.data(), name.data());
  if (directory[0] != 0) return _bLoadLibraryNative(errorCode, name.data(), directory.data());
  // The attempt in the driver's own directory is made in bytes on the stack, the bytes the wide
  // road gave (a backslash read as a slash): nothing sized by the folder's name goes through the
  // heap, whose layout, and with it the client's allocator cost a query, would move with it.
  Dl_info info{};
  const char* slash = nullptr;
  if (dladdr(reinterpret_cast<void*>(&OwnDirectory), &info) != 0 && info.dli_fname != nullptr)
    slash = strrchr(info.dli_fname, '/');
  const CUnixName bare(name.data());
  char full[1024];
  const size_t dir = slash != nullptr ? static_cast<size_t>(slash + 1 - info.dli_fname) : 0;
  if (slash != nullptr && bare.bOk() && dir + strlen(bare.psz()) < sizeof full) {
    memcpy(full, info.dli_fname, dir);
    std::replace(full, full + dir, '\\', '/');
    strcpy(full + dir, bare.psz());
    m_hLibrary = dlopen(full, RTLD_NOW | RTLD_NODELETE);
    if (m_hLibrary != nullptr) {
      m_csLibraryDirectory = OwnDirectory();
      m_csLoadedName = m_csLibraryDirectory;
      m_csLoadedName.Add(name.data());
      return TRUE;
    }
    // Its reason is the search's to give.
    dlerror();
  } else if (slash != nullptr && _bLoadLibraryNative(errorCode, name.data(), OwnDirectory().pszGet())) {
    return TRUE;
  }
  return _bLoadLibraryNative(errorCode, name.data(), nullptr);
}

BOOL CNAFunctionLoader::_bLoadLibraryNative(unsigned int* errorCode, const wchar_t* name, const wchar_t* directory) {
  const bool bDirectory = directory != nullptr && *directory != 0;
  CTString full;
  if (bDirectory) full = directory;
  full.Add(name);
  const CUnixName unixName(full.pszGet());
  if (!unixName.bOk()) {
    *errorCode = static_cast<unsigned int>(errno);
    m_csLastError = L"invalid library name";
    return FALSE;
  }
  m_hLibrary = dlopen(unixName.psz(), RTLD_NOW | RTLD_NODELETE);
  if (m_hLibrary == nullptr) {
    *errorCode = static_cast<unsigned int>(errno);
    m_csLastError = Decoded(dlerror());
    return FALSE;
  }
  if (bDirectory) m_csLibraryDirectory = directory;
  m_csLoadedName = full;
  return TRUE;
}
