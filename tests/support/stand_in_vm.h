// A test fixture whose suite binds the stand-in host VM (libqxvm.so, next to the test binary) into
// the runtime through its exported binding entry points, as the host does with its own VM.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "host/host_loader.h"
#include "values/vmbind.h"

class StandInVMTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string path = CHostLoader::LibraryDir() + "/libqxvm.so";
    s_hVM = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(s_hVM, nullptr) << dlerror();
    ASSERT_TRUE(bInitZVConvFromVM(s_hVM, 2, 0));
    ASSERT_TRUE(bInitZVCalcFromVM(s_hVM, 2, 0));
  }
  static inline void* s_hVM = nullptr;
};
