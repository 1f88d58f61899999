// The driver loaded as the host loads it: the stand-in host module and qx200msql.so by dlopen, the
// driver's entry points called by name (the component entry with the queries it sends back to the
// host's "Execution", the component command, the resource loader) and the host's VM handed over
// by handle.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "host/host_control.h"
#include "host/host_loader.h"
#include "platform/component.h"
#include "platform/dllres.h"
#include "values/vmbind.h"

namespace {

using Calls = std::vector<std::pair<unsigned int, intptr_t>>;

Calls Queries(std::initializer_list<int> numbers) {
  Calls out;
  for (int n : numbers) out.emplace_back(EXEC_HOST_QUERY, n);
  return out;
}

int HostText(unsigned int id, wchar_t* buffer, int size) {
  if (id != 28542) return 0;
  const wchar_t* text = L"Texte de l'hôte";
  const int n = static_cast<int>(wcslen(text));
  if (size > n) wcscpy(buffer, text);
  return n;
}

class LoadedDriver : public testing::Test {
 protected:
  void SetUp() override {
    std::string err;
    ASSERT_TRUE(m_loader.Load(&err)) << err;
    ASSERT_NE(m_execution = m_loader.DriverEntry<PFNEXECUTION>("Execution"), nullptr);
    ASSERT_NE(m_control = m_loader.Control(), nullptr);
    m_control->ClearCalls();
  }
  intptr_t Initialise(intptr_t format, void* host) {
    intptr_t block[5] = {format, reinterpret_cast<intptr_t>(host), 0, 0, 0};
    return m_execution(EXEC_INITIALISE, block);
  }

  CHostLoader m_loader;
  PFNEXECUTION m_execution = nullptr;
  CHostControl* m_control = nullptr;
};

TEST_F(LoadedDriver, StartUpAsksTheHostInOrderAndCountsMessages) {
  // Format 12 with a null shop word: the shop is still asked.
  ASSERT_EQ(Initialise(12, m_loader.HostHandle()), 1);
  EXPECT_EQ(m_control->Calls(), Queries({9, 10, 12, 13, 15, 7, 1, 5, 2, 3, 4, 8, 14}));
  ASSERT_EQ(Initialise(12, m_loader.HostHandle()), 1);
  EXPECT_EQ(m_control->Calls().size(), 13u);  // once only
  m_control->ClearCalls();
  EXPECT_EQ(m_execution(EXEC_SET_LOCALE, m_control->Locale()), 1);
  m_control->SetGlobalFactoryVersion(1);
  EXPECT_EQ(m_execution(EXEC_INIT_DYNAMIC_TYPES, nullptr), 1);
  m_control->SetGlobalFactoryVersion(2);
  EXPECT_EQ(m_execution(EXEC_INIT_DYNAMIC_TYPES, nullptr), 1);  // the object's hook accepts
  EXPECT_EQ(m_execution(EXEC_MEMORY_DUMP, nullptr), 0);
  EXPECT_EQ(m_execution(EXEC_TERMINATE, nullptr), 1);
  // Still initialised once: a new start-up asks nothing.
  ASSERT_EQ(Initialise(12, m_loader.HostHandle()), 1);
  EXPECT_TRUE(m_control->Calls().empty());
  EXPECT_EQ(m_execution(EXEC_TERMINATE, nullptr), 1);
  EXPECT_EQ(m_execution(EXEC_TERMINATE, nullptr), 1);
  EXPECT_TRUE(m_control->Calls().empty());  // no end notice for a message end
  // The object is gone: 4963 has none to call, and a new start-up asks the host again.
  EXPECT_EQ(m_execution(EXEC_INIT_DYNAMIC_TYPES, nullptr), 2);
  ASSERT_EQ(Initialise(12, m_loader.HostHandle()), 1);
  EXPECT_EQ(m_control->Calls().size(), 13u);
  EXPECT_EQ(m_execution(EXEC_TERMINATE, nullptr), 1);
}

TEST_F(LoadedDriver, StartUpWithoutHostFunctionIsRetried) {
  void* program = dlopen(nullptr, RTLD_NOW);  // exports no "Execution"
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(Initialise(12, program), 0);
  dlclose(program);
  m_control->ClearCalls();
  ASSERT_EQ(Initialise(12, m_loader.HostHandle()), 1);
  EXPECT_EQ(m_control->Calls().size(), 13u);
  EXPECT_EQ(m_execution(EXEC_TERMINATE, nullptr), 1);
}

TEST_F(LoadedDriver, TextsComeFromTheModuleOrTheHostsCallback) {
  auto command = m_loader.DriverEntry<PFNCOMMANDECOMPOSANTE>("CommandeComposante");
  auto loadModule = m_loader.DriverEntry<PFNLOADRESOURCEMODULE>("DLLRES_pLoadResourceModule");
  ASSERT_NE(command, nullptr);
  ASSERT_NE(loadModule, nullptr);
  EXPECT_EQ(loadModule(nullptr, 28542, L"x", nullptr), nullptr);
  wchar_t buffer[64];
  STCommandeComposanteLoadString block{sizeof block, 28542, buffer, 64, 0};
  EXPECT_EQ(command(COMMANDE_COMPOSANTE_LOADSTRING, reinterpret_cast<intptr_t>(&block)), 36);
  EXPECT_EQ(block.nResult, 36);
  EXPECT_STREQ(buffer, L"La connexion <%s> n'est pas ouverte.");
  EXPECT_EQ(command(COMMANDE_COMPOSANTE_GET_UTILISATION, 28542), 0);
  EXPECT_EQ(command(COMMANDE_COMPOSANTE_GET_UTILISATION, 256), -1);
  EXPECT_EQ(command(7, 0), 0);
  EXPECT_EQ(command(COMMANDE_COMPOSANTE_SET_LOADSTRING, reinterpret_cast<intptr_t>(&HostText)), 1);
  EXPECT_EQ(command(COMMANDE_COMPOSANTE_LOADSTRING, reinterpret_cast<intptr_t>(&block)), 15);
  EXPECT_STREQ(buffer, L"Texte de l'hôte");
  EXPECT_EQ(command(COMMANDE_COMPOSANTE_SET_LOADSTRING, 0), 1);
}

TEST_F(LoadedDriver, BindsTheVMByHandleOnTheHostsAllocator) {
  void* vm = dlopen((CHostLoader::LibraryDir() + "/libqxvm.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(vm, nullptr) << dlerror();
  auto conv = m_loader.DriverEntry<BOOL (*)(void*, int, int)>("bInitZVConvFromVM");
  auto calc = m_loader.DriverEntry<BOOL (*)(void*, int, int)>("bInitZVCalcFromVM");
  ASSERT_TRUE(conv != nullptr && calc != nullptr);
  EXPECT_EQ(conv(vm, 2, 0), 1);
  EXPECT_EQ(calc(vm, 2, 0), 1);
  // The VM is part of the host: a text it makes is a block of the host module's allocator.
  auto convert = reinterpret_cast<PFNVMCONVERSION>(dlsym(vm, "nConversionDepassementExt"));
  auto fin = reinterpret_cast<PFNVMFINCONVERSION>(dlsym(vm, "FinConversion"));
  ASSERT_TRUE(convert != nullptr && fin != nullptr);
  const long live = m_control->nLiveBlocks();
  alignas(8) unsigned char src[40] = {42}, dst[40] = {};
  ASSERT_EQ(convert(src, 9, dst, 19, 0, nullptr), 0);  // I8 to DSTRA
  EXPECT_EQ(m_control->nLiveBlocks(), live + 1);
  EXPECT_STREQ(*reinterpret_cast<char**>(dst), "42");
  EXPECT_EQ(fin(dst, 19), 0);
  EXPECT_EQ(m_control->nLiveBlocks(), live);
  dlclose(vm);
}

}  // namespace
