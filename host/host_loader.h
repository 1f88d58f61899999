// Loads the stand-in host module and the driver module the way the host runtime does (dlopen of
// the file, entry points by name). Both handles are owned and closed by the loader.
#pragma once

#include <string>

class CHostControl;

class CHostLoader {
 public:
  CHostLoader() = default;
  ~CHostLoader();
  CHostLoader(const CHostLoader&) = delete;
  CHostLoader& operator=(const CHostLoader&) = delete;

  // Opens the host module and then the driver; false with a reason in *err when either fails.
  // The folder is QX_LIB_DIR when set, else the folder of the running program.
  bool Load(std::string* err);

  void* HostHandle() const { return m_host; }
  void* DriverHandle() const { return m_driver; }
  CHostControl* Control() const { return m_control; }
  // An entry point of the driver, or null.
  void* DriverSymbol(const char* name) const;
  template <typename F>
  F DriverEntry(const char* name) const {
    return reinterpret_cast<F>(DriverSymbol(name));
  }
  static std::string LibraryDir();

 private:
  void* m_host = nullptr;
  void* m_driver = nullptr;
  CHostControl* m_control = nullptr;
};
