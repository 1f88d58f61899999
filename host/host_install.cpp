#include "host/host_services.h"
#include "platform/iglobalfactory.h"
#include "platform/information_dll.h"

void HostInstallServices() {
  CHostServices& host = CHostServices::Instance();
  CInformationModule::ms_piStrMemAlloc = host.Allocator();
  CInformationDLL::ms_piInfoLocale = host.Locale();
  CInformationDLL::ms_piGlobalFactory = static_cast<IGlobalFactory*>(host.GlobalFactory());
}
