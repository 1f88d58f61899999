#include "host/host_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>

#include "access/inatable.h"
#include "driver/inadriver.h"
#include "host/host_datasource.h"
#include "host/host_services.h"
#include "platform/component.h"
#include "sql/nakjrecord.h"

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
  if (m_vm != nullptr) dlclose(m_vm);
  if (m_host != nullptr) dlclose(m_host);
}

// ---------------------------------------------------------------- the host's file layer

INADriver* CHostLoader::piQueryInterface(std::string* err) {
  if (m_driver == nullptr && !Load(err)) return nullptr;
  auto execution = DriverEntry<PFNEXECUTION>("Execution");
  auto init = DriverEntry<BOOL (*)(HINSTANCE__*)>("bInitLibrary");
  auto query = DriverEntry<INADriver* (*)()>("piQueryInterface");
  if (execution == nullptr || init == nullptr || query == nullptr) {
    if (err) *err = "the driver lacks an entry point";
    return nullptr;
  }
  if (!m_bStarted) {
    // The host's component start-up hands over its module for the locale and text services.
    intptr_t block[5] = {12, reinterpret_cast<intptr_t>(m_host), 0, 0, 0};
    if (execution(EXEC_INITIALISE, block) != 1 || !init(static_cast<HINSTANCE__*>(m_driver))) {
      if (err) *err = "the driver did not start";
      return nullptr;
    }
    m_bStarted = true;
    // The host's VM, bound by the driver by name for its value conversions and operators.
    const std::string vmPath = LibraryDir() + "/libqxvm.so";
    if (m_vm == nullptr) m_vm = dlopen(vmPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    auto conv = DriverEntry<BOOL (*)(void*, int, int)>("bInitZVConvFromVM");
    auto calc = DriverEntry<BOOL (*)(void*, int, int)>("bInitZVCalcFromVM");
    if (m_vm == nullptr || conv == nullptr || calc == nullptr || !conv(m_vm, 2, 2) || !calc(m_vm, 2, 2)) {
      if (err) *err = "the host VM could not be bound";
      return nullptr;
    }
  }
  m_piDriver = query();
  if (m_piDriver == nullptr && err) *err = "the driver gave no interface";
  return m_piDriver;
}

bool CHostLoader::Stop() {
  if (!m_bStarted) return false;
  auto execution = DriverEntry<PFNEXECUTION>("Execution");
  auto term = DriverEntry<BOOL (*)()>("TermLibrary");
  m_bStarted = false;
  m_piDriver = nullptr;
  const bool ended = term != nullptr && term();
  return execution != nullptr && execution(EXEC_TERMINATE, nullptr) == 1 && ended;
}

BOOL CHostLoader::bOpenConnection(INAConnectionDescription* cnx) {
  return m_piDriver != nullptr ? m_piDriver->bOpenConnection(cnx) : FALSE;
}

INATable* CHostLoader::piGetTable(INAConnectionDescription* cnx, INADataSourceDescription* desc) {
  return m_piDriver != nullptr ? m_piDriver->piGetTable(cnx, desc) : nullptr;
}

BOOL CHostLoader::bGetRecord(INATable* table, INAContext* ctx, const CHostRecordDescription& desc, CHostRow* row) {
  CNAKJRecord* record = nullptr;
  if (!table->bGetRecord(ctx, &record) || record == nullptr) return FALSE;
  const BYTE* values = record->pbyGetValues();
  // The row's buffers are reused from one read to the next; the host reads its own items, so it
  // takes no reference on them (other host threads may be reading them too).
  row->resize(static_cast<size_t>(desc.nGetNumItems()));
  for (size_t i = 0; i < row->size(); ++i) {
    const CHostItemDescription* item = desc.pclGetItemNoRef(i);
    CHostItemValue& value = (*row)[i];
    value.bDefined = false;
    value.tabBytes.clear();
    if (item->bIsComposedKey()) continue;
    value.bDefined = record->vbItemValueDefined(item, 0) != FALSE;
    const BYTE* at = values + item->nGetOffset(0);
    value.tabBytes.assign(at, at + item->nGetTotalSize());
  }
  record->vnRelease();
  return TRUE;
}

BOOL CHostLoader::bSetRecord(INATable* table, INAContext* ctx, CNAKJRecord* record) {
  if (record != nullptr) record->AddRef();
  return table->bSetRecord(ctx, record);
}
