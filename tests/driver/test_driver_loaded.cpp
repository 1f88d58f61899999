// The driver loaded as the host loads it: compatibility, start, the driver's head and lifetime,
// the end of the module with a driver still held.
#include <gtest/gtest.h>

#include "driver/inadriver.h"
#include "driver/inaerror.h"
#include "host/host_context.h"
#include "host/host_control.h"
#include "host/host_loader.h"

namespace {

using PFNCOMPATIBLE = BOOL (*)(unsigned int, unsigned int, unsigned int*);
using PFNINIT = BOOL (*)(HINSTANCE__*);
using PFNQUERY = INADriver* (*)();
using PFNTERM = BOOL (*)();

TEST(LoadedDriver, FromCompatibilityCheckToRelease) {
  CHostLoader loader;
  std::string err;
  ASSERT_TRUE(loader.Load(&err)) << err;
  auto compatible = loader.DriverEntry<PFNCOMPATIBLE>("bDLLCompatible");
  auto init = loader.DriverEntry<PFNINIT>("bInitLibrary");
  auto query = loader.DriverEntry<PFNQUERY>("piQueryInterface");
  auto term = loader.DriverEntry<PFNTERM>("TermLibrary");
  ASSERT_TRUE(compatible && init && query && term);

  struct Row {
    unsigned int kind, version;
    BOOL ok;
    unsigned int required;
  } rows[] = {{7, 32, TRUE, 32}, {7, 31, FALSE, 32}, {5, 40, FALSE, 99}, {28, 33, TRUE, 32}, {28, 0, FALSE, 32}};
  for (const Row& row : rows) {
    unsigned int required = 99;
    EXPECT_EQ(compatible(row.kind, row.version, &required), row.ok) << row.kind << " " << row.version;
    EXPECT_EQ(required, row.required) << row.kind << " " << row.version;
  }

  EXPECT_TRUE(init(static_cast<HINSTANCE__*>(loader.DriverHandle())));
  EXPECT_TRUE(init(static_cast<HINSTANCE__*>(loader.DriverHandle())));
  INADriver* driver = query();
  ASSERT_NE(driver, nullptr);
  EXPECT_EQ(driver->nGetVersion(), 18);
  EXPECT_EQ(driver->nGetCompatSince(), 17);
  EXPECT_EQ(driver->nGetNAVersion(), -1);
  EXPECT_EQ(driver->nGetNACompatSince(), -1);
  driver->NAVersion_EmptySlot_3();
  INAError* error = driver->piGetLastError();
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->nGetVersion(), 1);
  EXPECT_EQ(error->eGetErrorType(), NA_ERRORTYPE_NONE);
  ILibShop shop;
  IVMData vm;
  EXPECT_TRUE(driver->bSetVMAndLibShop(&shop, &vm));
  EXPECT_FALSE(driver->bOpenConnection(nullptr));  // not built yet: refuses, touches nothing
  EXPECT_EQ(driver->ExternalAddRef(), driver);
  EXPECT_EQ(driver->nExternalRelease(), 1);
  EXPECT_EQ(driver->nExternalRelease(), 0);

  INADriver* kept = query();
  EXPECT_TRUE(term());
  EXPECT_EQ(kept->nExternalRelease(), 0);
  EXPECT_EQ(loader.Control()->nLiveBlocks(), 0);
}

}  // namespace
