#include "host/host_values.h"

#include "host/host_control.h"
#include "platform/information_dll.h"

bool HostBindValues(CHostControl* host) {
  if (host == nullptr) return false;
  CInformationModule::ms_piStrMemAlloc = host->Allocator();
  CInformationDLL::ms_piInfoLocale = host->Locale();
  return true;
}
