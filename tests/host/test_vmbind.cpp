// Binding the host VM by module handle: the stand-in VM (libqxvm.so) and a module lacking a name,
// loaded with dlopen as the host hands them over. The bound pointers are process-wide, so every
// test puts back what it found.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "host/host_control.h"
#include "host/host_loader.h"
#include "values/vmbind.h"

namespace {

// The 30 calculation pointers in binding order, with their host names.
std::vector<std::pair<const char*, void**>> CalcSlots() {
  return {
    {"bCanCompareEx", reinterpret_cast<void**>(&gpfnCompareEx)},
    {"wAjouteEx", reinterpret_cast<void**>(&gpfnGetTypeAjouteEx)},
    {"wSoustraitEx", reinterpret_cast<void**>(&gpfnGetTypeSoustraitEx)},
    {"wMultiplieEx", reinterpret_cast<void**>(&gpfnGetTypeMultiplieEx)},
    {"wDiviseEx", reinterpret_cast<void**>(&gpfnGetTypeDiviseEx)},
    {"wModuloEx", reinterpret_cast<void**>(&gpfnGetTypeModuloEx)},
    {"nComparaisonEx", reinterpret_cast<void**>(&gpfnComparaisonEx)},
    {"nEgaliteEx", reinterpret_cast<void**>(&gpfnEgaliteEx)},
    {"nSuperieurEx", reinterpret_cast<void**>(&gpfnSuperieurEx)},
    {"nInferieurEx", reinterpret_cast<void**>(&gpfnInferieurEx)},
    {"nPresqueEgalEx", reinterpret_cast<void**>(&gpfnPresqueEgalEx)},
    {"nSoupleEgalEx", reinterpret_cast<void**>(&gpfnSoupleEgalEx)},
    {"nCommenceParEx", reinterpret_cast<void**>(&gpfnCommenceParEx)},
    {"nCommenceParSoupleEx", reinterpret_cast<void**>(&gpfnCommenceParSoupleEx)},
    {"nCommenceParTresSoupleEx", reinterpret_cast<void**>(&gpfnCommenceParTresSoupleEx)},
    {"nContientEx", reinterpret_cast<void**>(&gpfnContientEx)},
    {"nContientSoupleEx", reinterpret_cast<void**>(&gpfnContientSoupleEx)},
    {"nContientTresSoupleEx", reinterpret_cast<void**>(&gpfnContientTresSoupleEx)},
    {"nTermineParEx", reinterpret_cast<void**>(&gpfnTermineParEx)},
    {"nTermineParSoupleEx", reinterpret_cast<void**>(&gpfnTermineParSoupleEx)},
    {"nTermineParTresSoupleEx", reinterpret_cast<void**>(&gpfnTermineParTresSoupleEx)},
    {"nETLogiqueEx", reinterpret_cast<void**>(&gpfnETLogiqueEx)},
    {"nOULogiqueEx", reinterpret_cast<void**>(&gpfnOULogiqueEx)},
    {"nNONLogiqueEx", reinterpret_cast<void**>(&gpfnNONLogiqueEx)},
    {"nNegationEx", reinterpret_cast<void**>(&gpfnNegationEx)},
    {"nAdditionEx", reinterpret_cast<void**>(&gpfnAdditionEx)},
    {"nSoustractionEx", reinterpret_cast<void**>(&gpfnSoustractionEx)},
    {"nMultiplicationEx", reinterpret_cast<void**>(&gpfnMultiplicationEx)},
    {"nDivisionEx", reinterpret_cast<void**>(&gpfnDivisionEx)},
    {"nModuloEx", reinterpret_cast<void**>(&gpfnModuloEx)},
  };
}

// Every binding global, saved on construction and put back on destruction.
class CBindingState {
 public:
  CBindingState() {
    for (auto& [name, slot] : CalcSlots()) m_calc.push_back(*slot);
    m_conv = gpfnConvDepExt;
    m_fin = gpfnFinConv;
    m_factory = gpiVMFactory;
    m_hConv = ghConvVM;
    m_hCalc = ghCalcVM;
    m_versions = {gnVersionConvVM, gnVersionCompatConvVM, gnVersionCalcVM, gnVersionCompatCalcVM};
  }
  ~CBindingState() {
    size_t i = 0;
    for (auto& [name, slot] : CalcSlots()) *slot = m_calc[i++];
    gpfnConvDepExt = m_conv;
    gpfnFinConv = m_fin;
    gpiVMFactory = m_factory;
    ghConvVM = m_hConv;
    ghCalcVM = m_hCalc;
    gnVersionConvVM = m_versions[0];
    gnVersionCompatConvVM = m_versions[1];
    gnVersionCalcVM = m_versions[2];
    gnVersionCompatCalcVM = m_versions[3];
  }
  static void Clear() {
    for (auto& [name, slot] : CalcSlots()) *slot = nullptr;
    gpfnConvDepExt = nullptr;
    gpfnFinConv = nullptr;
    gpiVMFactory = nullptr;
    ghConvVM = ghCalcVM = nullptr;
    gnVersionConvVM = gnVersionCompatConvVM = gnVersionCalcVM = gnVersionCompatCalcVM = 0;
  }
  void* CalcSaved(size_t i) const { return m_calc[i]; }
  void* HandleCalcSaved() const { return m_hCalc; }
  IDecimalFactory* FactorySaved() const { return m_factory; }

 private:
  std::vector<void*> m_calc;
  PFNVMCONVERSION m_conv;
  PFNVMFINCONVERSION m_fin;
  IDecimalFactory* m_factory;
  void* m_hConv;
  void* m_hCalc;
  std::vector<int> m_versions;
};

class VMBind : public testing::Test {
 protected:
  static void* Open(const char* file) {
    const std::string path = CHostLoader::LibraryDir() + "/" + file;
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(h, nullptr) << dlerror();
    return h;
  }
  void SetUp() override {
    m_hVM = Open("libqxvm.so");
    m_hPartial = Open("libqxvm_partial.so");
    ASSERT_NE(m_hVM, nullptr);
    ASSERT_NE(m_hPartial, nullptr);
  }
  void TearDown() override {
    dlclose(m_hPartial);
    dlclose(m_hVM);
  }
  // The host module the VM linked against: the VM's dynamic strings are its blocks.
  static CHostControl* VMHost() {
    void* h = dlopen("libqxhost.so", RTLD_NOW | RTLD_NOLOAD);
    if (h == nullptr) return nullptr;
    auto get = reinterpret_cast<CHostControl* (*)()>(dlsym(h, "QXHost_GetControl"));
    dlclose(h);
    return get ? get() : nullptr;
  }

  CBindingState m_saved;
  void* m_hVM = nullptr;
  void* m_hPartial = nullptr;
};

// The 0-based slot of a virtual operation (Itanium ABI: the member pointer holds 1 + offset).
template <typename M>
size_t Slot(M m) {
  struct {
    uintptr_t ptr;
    ptrdiff_t adj;
  } raw;
  static_assert(sizeof(raw) == sizeof(m));
  memcpy(&raw, &m, sizeof(raw));
  return (raw.ptr - 1) / sizeof(void*);
}

TEST(VMInterfaces, OperationsStandAtTheHostsPositions) {
  EXPECT_EQ(Slot(&IDecimal::pGetData), 0u);
  EXPECT_EQ(Slot(&IDecimal::nGetDataSize), 1u);
  EXPECT_EQ(Slot(&IDecimal::nLoad), 2u);
  EXPECT_EQ(Slot(&IDecimal::WriteForm), 5u);
  EXPECT_EQ(Slot(&IDecimal::nLoadForm), 6u);
  EXPECT_EQ(Slot(&IDecimal::WriteKey), 7u);
  EXPECT_EQ(Slot(&IDecimal::nCopy), 9u);
  EXPECT_EQ(Slot(&IDecimal::bIsNegative), 23u);
  EXPECT_EQ(Slot(&IDecimal::nSetPrecisionScale), 24u);
  EXPECT_EQ(Slot(&IDecimal::nWrite), 25u);
  EXPECT_EQ(Slot(&IDecimal::GetPrecisionScale), 26u);
  EXPECT_EQ(Slot(&IDecimal::SetToMin), 27u);
  EXPECT_EQ(Slot(&IDecimal::SetToMax), 28u);
  EXPECT_EQ(Slot(&IDecimal::nCompare), 29u);
  EXPECT_EQ(Slot(&IDecimalFactory::piCreate), 0u);
  EXPECT_EQ(Slot(&IDecimalFactory::Free), 1u);
  // Sizes of the data form: the smallest n with 2^(8n-1) >= 10^p.
  EXPECT_EQ(IDecimal::mg_PToN[9], 4);
  EXPECT_EQ(IDecimal::mg_PToN[10], 5);
  EXPECT_EQ(IDecimal::mg_PToN[38], 16);
}

TEST_F(VMBind, VersionsOutOfRangeBindNothing) {
  CBindingState::Clear();
  EXPECT_FALSE(bInitZVConvFromVM(m_hVM, 1, 0));
  EXPECT_FALSE(bInitZVConvFromVM(m_hVM, 2, 3));
  EXPECT_FALSE(bInitZVCalcFromVM(m_hVM, 1, 0));
  EXPECT_FALSE(bInitZVCalcFromVM(m_hVM, 5, 3));
  EXPECT_EQ(gpfnConvDepExt, nullptr);
  EXPECT_EQ(gpiVMFactory, nullptr);
  for (auto& [name, slot] : CalcSlots()) EXPECT_EQ(*slot, nullptr) << name;
  EXPECT_EQ(ghConvVM, nullptr);
  EXPECT_EQ(ghCalcVM, nullptr);
}

TEST_F(VMBind, BindsEveryNameOfTheVM) {
  ASSERT_TRUE(bInitZVConvFromVM(m_hVM, 2, 2));
  EXPECT_EQ(reinterpret_cast<void*>(gpfnConvDepExt), dlsym(m_hVM, "nConversionDepassementExt"));
  EXPECT_EQ(reinterpret_cast<void*>(gpfnFinConv), dlsym(m_hVM, "FinConversion"));
  auto query = reinterpret_cast<PFNVMQUERYPROXY>(dlsym(m_hVM, "pQueryProxy"));
  ASSERT_NE(query, nullptr);
  EXPECT_EQ(gpiVMFactory, query(VM_PROXY_DECIMAL_FACTORY));
  EXPECT_NE(gpiVMFactory, nullptr);
  EXPECT_EQ(ghConvVM, m_hVM);
  EXPECT_EQ(gnVersionConvVM, 2);
  EXPECT_EQ(gnVersionCompatConvVM, 2);
  ASSERT_TRUE(bInitZVCalcFromVM(m_hVM, 7, 0));
  for (auto& [name, slot] : CalcSlots()) EXPECT_EQ(*slot, dlsym(m_hVM, name)) << name;
  EXPECT_EQ(ghCalcVM, m_hVM);
  EXPECT_EQ(gnVersionCalcVM, 7);
  EXPECT_EQ(gnVersionCompatCalcVM, 0);
}

TEST_F(VMBind, TheBoundFunctionsWork) {
  ASSERT_TRUE(bInitZVConvFromVM(m_hVM, 2, 0));
  ASSERT_TRUE(bInitZVCalcFromVM(m_hVM, 2, 0));
  CHostControl* host = VMHost();
  ASSERT_NE(host, nullptr);
  const long live = host->nLiveBlocks();
  alignas(8) unsigned char a[40] = {}, b[40] = {}, out[40] = {};
  const int32_t n = -1234;
  memcpy(a, &n, sizeof(n));
  ASSERT_EQ(gpfnConvDepExt(a, 8, out, 16, 1, nullptr), 0);
  wchar_t* text = nullptr;
  memcpy(&text, out, sizeof(text));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(StrMemHeader(text)->dwLength, 5 * sizeof(wchar_t));
  EXPECT_STREQ(text, L"-1234");
  EXPECT_EQ(host->nLiveBlocks(), live + 1);
  EXPECT_EQ(gpfnFinConv(out, 16), 0);
  EXPECT_EQ(host->nLiveBlocks(), live);
  // Arithmetic with a result type, comparison, text matching.
  const int32_t three = 3;
  memcpy(b, &three, sizeof(three));
  unsigned short type = 0;
  ASSERT_EQ(gpfnAdditionEx(a, 8, b, 8, out, &type, 0, nullptr), 0);
  EXPECT_EQ(type, 8);
  int32_t sum = 0;
  memcpy(&sum, out, sizeof(sum));
  EXPECT_EQ(sum, -1231);
  int r = 99;
  EXPECT_EQ(gpfnComparaisonEx(a, 8 | 0x400, b, 8, &r, 0, nullptr), 0);
  EXPECT_EQ(r, -1);
  EXPECT_EQ(gpfnModuloEx(a, 8, b, 8, out, &type, 0, nullptr), 0);
  const wchar_t* x = L"\u00c9t\u00e9 indien";
  const wchar_t* y = L"ETE";
  memcpy(a, &x, sizeof(x));
  memcpy(b, &y, sizeof(y));
  EXPECT_EQ(gpfnCommenceParSoupleEx(a, 110, b, 110, &r, 0, nullptr), 0);
  EXPECT_EQ(r, 1);
  EXPECT_EQ(gpfnCommenceParEx(a, 110, b, 110, &r, 0, nullptr), 0);
  EXPECT_EQ(r, 0);
  // The decimal factory and objects through the interface positions.
  IDecimal* d = gpiVMFactory->piCreate(0);
  ASSERT_NE(d, nullptr);
  const unsigned char bytes[3] = {0xC7, 0xCF, 0xFF};  // -12345
  ASSERT_EQ(d->nLoad(5, 2, bytes), 0);
  EXPECT_EQ(d->nGetDataSize(), 3u);
  EXPECT_EQ(memcmp(d->pGetData(), bytes, 3), 0);
  EXPECT_EQ(d->bIsNegative(), 1);
  memcpy(a, &d, sizeof(d));
  memset(out, 0, sizeof(out));
  ASSERT_EQ(gpfnNegationEx(a, 13, out, &type, 0, nullptr), 0);
  IDecimal* neg = nullptr;
  memcpy(&neg, out, sizeof(neg));
  ASSERT_NE(neg, nullptr);
  EXPECT_EQ(neg->bIsNegative(), 0);
  EXPECT_EQ(neg->nCompare(d), 1);
  unsigned char k1[32], k2[32];
  d->WriteKey(k1);
  neg->WriteKey(k2);
  EXPECT_LT(memcmp(k1, k2, 32), 0);
  gpiVMFactory->Free(d);
  EXPECT_EQ(gpfnFinConv(out, 13), 0);
}

TEST_F(VMBind, AModuleLackingANameLeavesTheNamesBeforeItBound) {
  ASSERT_TRUE(bInitZVCalcFromVM(m_hVM, 2, 0));
  const CBindingState full;
  EXPECT_FALSE(bInitZVCalcFromVM(m_hPartial, 2, 1));
  const auto slots = CalcSlots();
  for (size_t i = 0; i + 1 < slots.size(); ++i)
    EXPECT_EQ(*slots[i].second, dlsym(m_hPartial, slots[i].first)) << slots[i].first;
  EXPECT_EQ(dlsym(m_hPartial, "nModuloEx"), nullptr);
  EXPECT_EQ(reinterpret_cast<void*>(gpfnModuloEx), full.CalcSaved(29));
  // Handle and versions are stored on success only.
  EXPECT_EQ(ghCalcVM, m_hVM);
  EXPECT_EQ(gnVersionCompatCalcVM, 0);
}

TEST_F(VMBind, AVMWithoutDecimalFactoryIsRefused) {
  ASSERT_TRUE(bInitZVConvFromVM(m_hVM, 2, 0));
  IDecimalFactory* factory = gpiVMFactory;
  EXPECT_FALSE(bInitZVConvFromVM(m_hPartial, 2, 0));
  EXPECT_EQ(reinterpret_cast<void*>(gpfnConvDepExt), dlsym(m_hPartial, "nConversionDepassementExt"));
  EXPECT_EQ(gpiVMFactory, factory);  // a null factory is not kept
  EXPECT_FALSE(bInitFactory(m_hPartial));
  EXPECT_TRUE(bInitFactory(m_hVM));
}

TEST_F(VMBind, RelaysHandTheStoredBindingOn) {
  // A module without the entry point has nothing to relay to.
  EXPECT_TRUE(bInitZVCalcFromServeur(reinterpret_cast<HINSTANCE>(m_hPartial)));
  EXPECT_TRUE(bInitZVConvFromServeur_OBSOLETE(reinterpret_cast<HINSTANCE>(m_hPartial)));
  // The driver module binds its own copy with what was stored here.
  void* driver = Open("qx200msql.so");
  ASSERT_NE(driver, nullptr);
  ASSERT_TRUE(bInitZVConvFromVM(m_hVM, 2, 0));
  ASSERT_TRUE(bInitZVCalcFromVM(m_hVM, 2, 0));
  EXPECT_TRUE(bInitZVConvFromServeur_OBSOLETE(reinterpret_cast<HINSTANCE>(driver)));
  EXPECT_TRUE(bInitZVCalcFromServeur(reinterpret_cast<HINSTANCE>(driver)));
  gnVersionCompatCalcVM = 3;  // what the relay passes is what was stored
  EXPECT_FALSE(bInitZVCalcFromServeur(reinterpret_cast<HINSTANCE>(driver)));
  dlclose(driver);
}

}  // namespace
