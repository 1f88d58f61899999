// CNAFunctionLoader: the one process-wide holder of the client library opened at run time, and
// the loader that fills the function table of driver/mysqlapi.h. Made by the first load, gone
// after g_Term. Loads and the unload run under the driver mutex or at termination only.
//
// The library is opened by its full name (a configured path, else the driver's own directory,
// else the system's search), never through the current directory, which stays as it was. It is
// opened so that it stays mapped after the unload: a connection released after termination can
// still close its handle, and the client's one-time allocations stay reachable.
#pragma once

#include "common/ctstring.h"
#include "platform/wintypes.h"

class CNAError;

class CNAFunctionLoader {
 public:
  CNAFunctionLoader() = default;
  CNAFunctionLoader(const CNAFunctionLoader&) = delete;
  CNAFunctionLoader& operator=(const CNAFunctionLoader&) = delete;
  virtual ~CNAFunctionLoader();
  // Closes the library when one is held.
  virtual void _Term();
  virtual const wchar_t* _vpszGetLibraryName() const { return L"libmysqlclient.so"; }

  // Opens library (null or empty: the default name) and, unless bNoResolve, resolves the table.
  // Success: *loadedPath names the file actually loaded. A library that cannot be opened: error
  // 27 with the dlerror text, nothing held. A required function missing: error 37 naming it;
  // the library stays open with the entries before it resolved.
  static BOOL g_bInitNative(CNAError* error, CTString* loadedPath, const wchar_t* library, int bNoResolve);
  static BOOL g_bLoaded();
  static void* g_hGetNativeLibHandle();
  // Closes the library and destroys the loader; the table keeps its entries.
  static void g_Term();

  const wchar_t* pszGetLibraryDirectory() const { return m_csLibraryDirectory.pszGet(); }

  static CNAFunctionLoader* g_pclNAFunctionLoader;

 private:
  static BOOL _g_bInitLoader(CNAError* error);
  BOOL _bInitNative(CNAError* error, CTString* loadedPath, const wchar_t* library, int bNoResolve);
  void _GetLibraryName(CTString* name, int flag) const;
  // The search: a path with a directory is tried there only; a bare name in the driver's
  // directory, then through the system's search.
  BOOL _bLoadLibraryNative(unsigned int* errorCode, const wchar_t* path);
  // One attempt with directory + name.
  BOOL _bLoadLibraryNative(unsigned int* errorCode, const wchar_t* name, const wchar_t* directory);

  void* m_hLibrary = nullptr;
  CTString m_csLibraryDirectory;
  // The name given to the system by the attempt that succeeded.
  CTString m_csLoadedName;
  // The dlerror text of the last failed attempt.
  CTString m_csLastError;
};
