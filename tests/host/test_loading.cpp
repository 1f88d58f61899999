// Loading the driver as the host does: the stand-in host module and qx200msql.so by dlopen.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>

#include "host/host_loader.h"
#include "host/host_control.h"
#include "platform/component.h"

namespace {

TEST(Loading, HostAndDriverModulesLoad) {
  CHostLoader loader;
  std::string err;
  ASSERT_TRUE(loader.Load(&err)) << err;
  ASSERT_NE(loader.Control(), nullptr);
  // The driver will find the host's component function by name in the host handle.
  auto exec = reinterpret_cast<PFNEXECUTION>(dlsym(loader.HostHandle(), "Execution"));
  ASSERT_NE(exec, nullptr);
  auto* alloc = reinterpret_cast<IStrMemAlloc*>(exec(EXEC_HOST_QUERY, reinterpret_cast<void*>(13)));
  EXPECT_EQ(alloc, static_cast<IStrMemAlloc*>(loader.Control()->Allocator()));
  EXPECT_GE(alloc->nGetVersion(), 2);
  // Nothing internal leaks out of the driver.
  EXPECT_EQ(loader.DriverSymbol("STR_nCompareW"), nullptr);
  EXPECT_EQ(loader.DriverSymbol("_ZN18CInformationModule16ms_piStrMemAllocE"), nullptr);
}

}  // namespace
