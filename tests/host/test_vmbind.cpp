// Binding the host VM by module handle: the stand-in VM (libqxvm.so) and a module lacking a name
// and the decimal factory, loaded with dlopen as the host hands them over. Each test starts from no
// binding at all.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>
#include <utility>
#include <vector>

#include "host/host_loader.h"
#include "values/vmbind.h"

namespace {

// The 30 calculation pointers in binding order, with their host names.
std::vector<std::pair<const char*, void**>> CalcSlots() {
#define S(name, global) {name, reinterpret_cast<void**>(&global)}
  return {S("bCanCompareEx", gpfnCompareEx), S("wAjouteEx", gpfnGetTypeAjouteEx),
          S("wSoustraitEx", gpfnGetTypeSoustraitEx), S("wMultiplieEx", gpfnGetTypeMultiplieEx),
          S("wDiviseEx", gpfnGetTypeDiviseEx), S("wModuloEx", gpfnGetTypeModuloEx),
          S("nComparaisonEx", gpfnComparaisonEx), S("nEgaliteEx", gpfnEgaliteEx), S("nSuperieurEx", gpfnSuperieurEx),
          S("nInferieurEx", gpfnInferieurEx), S("nPresqueEgalEx", gpfnPresqueEgalEx),
          S("nSoupleEgalEx", gpfnSoupleEgalEx), S("nCommenceParEx", gpfnCommenceParEx),
          S("nCommenceParSoupleEx", gpfnCommenceParSoupleEx),
          S("nCommenceParTresSoupleEx", gpfnCommenceParTresSoupleEx), S("nContientEx", gpfnContientEx),
          S("nContientSoupleEx", gpfnContientSoupleEx), S("nContientTresSoupleEx", gpfnContientTresSoupleEx),
          S("nTermineParEx", gpfnTermineParEx), S("nTermineParSoupleEx", gpfnTermineParSoupleEx),
          S("nTermineParTresSoupleEx", gpfnTermineParTresSoupleEx), S("nETLogiqueEx", gpfnETLogiqueEx),
          S("nOULogiqueEx", gpfnOULogiqueEx), S("nNONLogiqueEx", gpfnNONLogiqueEx), S("nNegationEx", gpfnNegationEx),
          S("nAdditionEx", gpfnAdditionEx), S("nSoustractionEx", gpfnSoustractionEx),
          S("nMultiplicationEx", gpfnMultiplicationEx), S("nDivisionEx", gpfnDivisionEx), S("nModuloEx", gpfnModuloEx)};
#undef S
}

class VMBind : public testing::Test {
 protected:
  static void* Open(const char* file) {
    void* h = dlopen((CHostLoader::LibraryDir() + "/" + file).c_str(), RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(h, nullptr) << dlerror();
    return h;
  }
  void SetUp() override {
    for (auto& [name, slot] : CalcSlots()) *slot = nullptr;
    gpfnConvDepExt = nullptr;
    gpfnFinConv = nullptr;
    gpiVMFactory = nullptr;
    ghConvVM = ghCalcVM = nullptr;
    gnVersionConvVM = gnVersionCompatConvVM = gnVersionCalcVM = gnVersionCompatCalcVM = 0;
    ASSERT_NE(m_hVM = Open("libqxvm.so"), nullptr);
    ASSERT_NE(m_hPartial = Open("libqxvm_partial.so"), nullptr);
  }
  void TearDown() override {
    dlclose(m_hPartial);
    dlclose(m_hVM);
  }

  void* m_hVM = nullptr;
  void* m_hPartial = nullptr;
};

TEST_F(VMBind, BindsEveryNameOfTheVMWithinTheVersions) {
  EXPECT_FALSE(bInitZVConvFromVM(m_hVM, 1, 0));
  EXPECT_FALSE(bInitZVConvFromVM(m_hVM, 2, 3));
  EXPECT_FALSE(bInitZVCalcFromVM(m_hVM, 1, 0));
  EXPECT_FALSE(bInitZVCalcFromVM(m_hVM, 5, 3));
  EXPECT_EQ(gpfnConvDepExt, nullptr);
  for (auto& [name, slot] : CalcSlots()) EXPECT_EQ(*slot, nullptr) << name;
  EXPECT_EQ(ghConvVM, nullptr);
  EXPECT_EQ(ghCalcVM, nullptr);
  ASSERT_TRUE(bInitZVConvFromVM(m_hVM, 2, 2));
  EXPECT_EQ(reinterpret_cast<void*>(gpfnConvDepExt), dlsym(m_hVM, "nConversionDepassementExt"));
  EXPECT_EQ(reinterpret_cast<void*>(gpfnFinConv), dlsym(m_hVM, "FinConversion"));
  auto query = reinterpret_cast<PFNVMQUERYPROXY>(dlsym(m_hVM, "pQueryProxy"));
  ASSERT_NE(query, nullptr);
  EXPECT_NE(gpiVMFactory, nullptr);
  EXPECT_EQ(gpiVMFactory, query(VM_PROXY_DECIMAL_FACTORY));
  EXPECT_EQ(ghConvVM, m_hVM);
  EXPECT_EQ(gnVersionConvVM, 2);
  EXPECT_EQ(gnVersionCompatConvVM, 2);
  ASSERT_TRUE(bInitZVCalcFromVM(m_hVM, 7, 0));
  for (auto& [name, slot] : CalcSlots()) EXPECT_EQ(*slot, dlsym(m_hVM, name)) << name;
  EXPECT_EQ(ghCalcVM, m_hVM);
  EXPECT_EQ(gnVersionCalcVM, 7);
  EXPECT_EQ(gnVersionCompatCalcVM, 0);
  // The relays hand what was stored on to a module's own entry points (none: nothing to do).
  void* driver = Open("qx200msql.so");
  ASSERT_NE(driver, nullptr);
  EXPECT_TRUE(bInitZVConvFromServeur_OBSOLETE(reinterpret_cast<HINSTANCE>(driver)));
  EXPECT_TRUE(bInitZVCalcFromServeur(reinterpret_cast<HINSTANCE>(m_hPartial)));
  gnVersionCompatCalcVM = 3;
  EXPECT_FALSE(bInitZVCalcFromServeur(reinterpret_cast<HINSTANCE>(driver)));
  dlclose(driver);
}

TEST_F(VMBind, AModuleLackingANameOrTheFactoryLeavesTheNamesBeforeItBound) {
  ASSERT_TRUE(bInitZVCalcFromVM(m_hVM, 2, 0));
  ASSERT_TRUE(bInitZVConvFromVM(m_hVM, 2, 0));
  IDecimalFactory* factory = gpiVMFactory;
  EXPECT_FALSE(bInitZVCalcFromVM(m_hPartial, 2, 1));
  const auto slots = CalcSlots();
  for (size_t i = 0; i + 1 < slots.size(); ++i)
    EXPECT_EQ(*slots[i].second, dlsym(m_hPartial, slots[i].first)) << slots[i].first;
  EXPECT_EQ(dlsym(m_hPartial, "nModuloEx"), nullptr);
  EXPECT_EQ(reinterpret_cast<void*>(gpfnModuloEx), dlsym(m_hVM, "nModuloEx"));
  EXPECT_EQ(ghCalcVM, m_hVM);  // handle and versions are stored on success only
  EXPECT_EQ(gnVersionCompatCalcVM, 0);
  EXPECT_FALSE(bInitZVConvFromVM(m_hPartial, 2, 0));
  EXPECT_EQ(reinterpret_cast<void*>(gpfnConvDepExt), dlsym(m_hPartial, "nConversionDepassementExt"));
  EXPECT_EQ(gpiVMFactory, factory);  // a null factory is not kept
  EXPECT_FALSE(bInitFactory(m_hPartial));
}

}  // namespace
