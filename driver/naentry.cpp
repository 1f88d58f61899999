#include "driver/naentry.h"

#include "mysql/mysqldriver.h"

int gnNbInitialisation = 0;

BOOL bDLLCompatible(unsigned int kind, unsigned int version, unsigned int* required) {
  unsigned int* recorded = kind == 7 ? &CNADriver::s_nID_QXKJ : kind == 28 ? &CNADriver::s_nID_QXSQL : nullptr;
  if (recorded == nullptr) return FALSE;
  *recorded = version;
  if (required != nullptr) *required = 32;
  return version > 31 ? TRUE : FALSE;
}

// The host may start and end the library from several threads: the driver mutex (made
// statically) counts the starts, makes a later caller wait until the first start is done, and
// lets one end run at a time (a second finds nothing left to end).
BOOL bInitLibrary(HINSTANCE__* module) {
  CNADriverLock lock;
  if (++gnNbInitialisation == 1) CNADriver::g_NAInitModule(module);
  return TRUE;
}

// Made whole under the mutex: a thread that reaches the designated driver under it never meets
// one half built or without its error object.
INADriver* piQueryInterface() {
  CNADriverLock lock;
  CMySQLDriver* driver = new CMySQLDriver();
  driver->ExternalAddRef();
  driver->AllocError();
  return driver;
}

BOOL TermLibrary() {
  CNADriverLock lock;
  return CMySQLDriver::g_NATermModule();
}
