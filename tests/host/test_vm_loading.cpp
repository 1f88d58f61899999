// The host's start-up of the VM: the stand-in host module and qx200msql.so loaded as the host
// loads them, then the VM module handed to the driver's exported entry points by handle.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "host/host_control.h"
#include "host/host_loader.h"

namespace {

using PFNINITFROMVM = int (*)(void* hVM, int nVersion, int nCompat);
using PFNCONVERSION = int (*)(const void*, unsigned short, void*, unsigned short, unsigned int, const void*);
using PFNFINCONVERSION = int (*)(void*, unsigned short);

TEST(VMLoading, TheDriverBindsTheVMByHandle) {
  CHostLoader loader;
  std::string err;
  ASSERT_TRUE(loader.Load(&err)) << err;
  void* vm = dlopen((CHostLoader::LibraryDir() + "/libqxvm.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(vm, nullptr) << dlerror();
  auto conv = loader.DriverEntry<PFNINITFROMVM>("bInitZVConvFromVM");
  auto calc = loader.DriverEntry<PFNINITFROMVM>("bInitZVCalcFromVM");
  ASSERT_NE(conv, nullptr);
  ASSERT_NE(calc, nullptr);
  EXPECT_EQ(conv(vm, 1, 0), 0);
  EXPECT_EQ(calc(vm, 2, 3), 0);
  EXPECT_EQ(conv(vm, 2, 0), 1);
  EXPECT_EQ(calc(vm, 2, 0), 1);
  // The VM is part of the host: a text it makes is a block of the host module's allocator.
  auto convert = reinterpret_cast<PFNCONVERSION>(dlsym(vm, "nConversionDepassementExt"));
  auto fin = reinterpret_cast<PFNFINCONVERSION>(dlsym(vm, "FinConversion"));
  ASSERT_NE(convert, nullptr);
  ASSERT_NE(fin, nullptr);
  const long live = loader.Control()->nLiveBlocks();
  alignas(8) unsigned char src[40] = {}, dst[40] = {};
  const int64_t n = 42;
  memcpy(src, &n, sizeof(n));
  ASSERT_EQ(convert(src, 9, dst, 19, 0, nullptr), 0);
  EXPECT_EQ(loader.Control()->nLiveBlocks(), live + 1);
  char* text = nullptr;
  memcpy(&text, dst, sizeof(text));
  EXPECT_STREQ(text, "42");
  EXPECT_EQ(fin(dst, 19), 0);
  EXPECT_EQ(loader.Control()->nLiveBlocks(), live);
  dlclose(vm);
}

}  // namespace
