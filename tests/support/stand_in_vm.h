// A test fixture whose suite binds the stand-in host VM into the runtime through the exported
// binding entry points, as the host does with its own VM. The VM is linked into the test binary
// (qxvm_static, names exported with ENABLE_EXPORTS) and bound by the program's own handle, so the
// VM and the runtime share one host allocator: dynamic strings the VM makes are freed by the
// runtime and counted by the same live-block check.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "values/vmbind.h"

class StandInVMTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_hVM = dlopen(nullptr, RTLD_NOW);
    ASSERT_NE(s_hVM, nullptr) << dlerror();
    ASSERT_NE(dlsym(s_hVM, "nConversionDepassementExt"), nullptr) << "link qxvm_static with ENABLE_EXPORTS";
    ASSERT_TRUE(bInitZVConvFromVM(s_hVM, 2, 0));
    ASSERT_TRUE(bInitZVCalcFromVM(s_hVM, 2, 0));
  }
  static inline void* s_hVM = nullptr;
};
