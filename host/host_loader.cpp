#include "host/host_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>

#include "host/host_services.h"

std::string CHostLoader::LibraryDir() {
  if (const char* dir = getenv("QX_LIB_DIR"); dir != nullptr && *dir) return dir;
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0) return ".";
  path[n] = 0;
  std::string s(path);
  size_t slash = s.rfind('/');
  return slash == std::string::npos ? "." : s.substr(0, slash);
}

bool CHostLoader::Load(std::string* err) {
  const std::string dir = LibraryDir();
  const std::string hostPath = dir + "/libqxhost.so";
  const std::string driverPath = dir + "/qx200msql.so";
  m_host = dlopen(hostPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (m_host == nullptr) {
    if (err) *err = std::string("cannot load the host module: ") + dlerror();
    return false;
  }
  auto getControl = reinterpret_cast<CHostControl* (*)()>(dlsym(m_host, "QXHost_GetControl"));
  m_control = getControl ? getControl() : nullptr;
  m_driver = dlopen(driverPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (m_driver == nullptr) {
    if (err) *err = std::string("cannot load the driver: ") + dlerror();
    return false;
  }
  return true;
}

void* CHostLoader::DriverSymbol(const char* name) const {
  return m_driver != nullptr ? dlsym(m_driver, name) : nullptr;
}

CHostLoader::~CHostLoader() {
  if (m_driver != nullptr) dlclose(m_driver);
  if (m_host != nullptr) dlclose(m_host);
}
