// The entry points of the stand-in host module, found by name as in the real host.
#include "host/host_services.h"

#define QX_HOST_EXPORT extern "C" __attribute__((visibility("default")))

QX_HOST_EXPORT intptr_t Execution(unsigned int nCode, void* pArgument) {
  return CHostServices::Instance().Execution(nCode, pArgument);
}

// Not part of the host's interface: lets tests and the program inspect the stand-in.
QX_HOST_EXPORT CHostControl* QXHost_GetControl() { return &CHostServices::Instance(); }
