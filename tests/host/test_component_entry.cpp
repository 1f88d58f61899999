// The driver's component entry driven as the host drives it: the start-up message with the host
// module's handle, the queries the driver sends back to the host's "Execution", the later
// messages, and the host's string-loading callback registered through the component command.
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

class ComponentEntry : public testing::Test {
 protected:
  void SetUp() override {
    std::string err;
    ASSERT_TRUE(m_loader.Load(&err)) << err;
    m_execution = m_loader.DriverEntry<PFNEXECUTION>("Execution");
    ASSERT_NE(m_execution, nullptr);
    m_control = m_loader.Control();
    ASSERT_NE(m_control, nullptr);
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

TEST_F(ComponentEntry, StartUpAsksTheHostInOrderAndCountsMessages) {
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

TEST_F(ComponentEntry, StartUpWithoutHostFunctionIsRetried) {
  void* program = dlopen(nullptr, RTLD_NOW);  // exports no "Execution"
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(Initialise(12, program), 0);
  dlclose(program);
  m_control->ClearCalls();
  ASSERT_EQ(Initialise(12, m_loader.HostHandle()), 1);
  EXPECT_EQ(m_control->Calls().size(), 13u);
  EXPECT_EQ(m_execution(EXEC_TERMINATE, nullptr), 1);
}

TEST_F(ComponentEntry, HostStringCallbackAnswersLoads) {
  auto command = m_loader.DriverEntry<PFNCOMMANDECOMPOSANTE>("CommandeComposante");
  ASSERT_NE(command, nullptr);
  EXPECT_EQ(command(COMMANDE_COMPOSANTE_SET_LOADSTRING, reinterpret_cast<intptr_t>(&HostText)), 1);
  wchar_t buffer[64];
  STCommandeComposanteLoadString block{sizeof block, 28542, buffer, 64, 0};
  EXPECT_EQ(command(COMMANDE_COMPOSANTE_LOADSTRING, reinterpret_cast<intptr_t>(&block)), 15);
  EXPECT_STREQ(buffer, L"Texte de l'hôte");
  EXPECT_EQ(command(COMMANDE_COMPOSANTE_SET_LOADSTRING, 0), 1);
}

}  // namespace
