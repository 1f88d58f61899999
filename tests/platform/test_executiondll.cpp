// The component messages and the library start and end, against the stand-in host module loaded
// with dlopen as the host hands its handle over. The host statics are process-wide: every test
// puts back what it found, so the other tests keep the linked-in services.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "host/host_control.h"
#include "host/host_loader.h"
#include "platform/executiondll.h"
#include "platform/iglobalfactory.h"
#include "platform/maincommun.h"

namespace {

using Calls = std::vector<std::pair<unsigned int, intptr_t>>;

class CFakeFactory final : public IGlobalFactory {
 public:
  explicit CFakeFactory(int version) : m_version(version) {}
  int nGetVersion() override { return m_version; }

 private:
  int m_version;
};

// Records the hooks the messages call.
class CRecordingExecutionDLL final : public CBaseExecutionDLL {
 public:
  explicit CRecordingExecutionDLL(std::vector<std::string>* log, BOOL dino = TRUE) : m_log(log), m_dino(dino) {}
  BOOL vbInitialiseTypeDINO(CXError* e) override {
    m_log->push_back("dino:" + std::to_string(reinterpret_cast<intptr_t>(e)));
    return m_dino;
  }
  void vTermineDLL() override { m_log->push_back("termine"); }
  void vChangeLangue() override { m_log->push_back("langue"); }

 private:
  std::vector<std::string>* m_log;
  BOOL m_dino;
};

class ExecutionDLL : public testing::Test {
 protected:
  void SetUp() override {
    m_host = dlopen((CHostLoader::LibraryDir() + "/libqxhost.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(m_host, nullptr) << dlerror();
    auto getControl = reinterpret_cast<CHostControl* (*)()>(dlsym(m_host, "QXHost_GetControl"));
    ASSERT_NE(getControl, nullptr);
    m_control = getControl();
    m_control->ClearCalls();
    m_control->SetGlobalFactoryVersion(2);
    Keep(CInformationDLL::ms_piStrMemAlloc);
    Keep(CInformationDLL::ms_piInfoLocale);
    Keep(CInformationDLL::ms_piGlobalFactory);
    Keep(CInformationDLL::ms_piCollecteurTopo);
    Keep(CInformationDLL::ms_piInformationComposante);
    Keep(CInformationDLL::ms_piLibShop);
    Keep(CInformationDLL::ms_nCodeProduitExecution);
    Keep(CInformationDLL::ms_nCodeProduitReel);
    Keep(CInformationDLL::ms_nLangueInterne);
    Keep(CInformationDLL::ms_pszNomProduit);
    Keep(CInformationDLL::ms_dwOptions);
    Keep(CInformationDLL::ms_dwVersionActive);
    Keep(CInformationDLL::ms_pbMultithread);
    m_savedName = CInformationDLL::ms_pszNomProduit;
  }
  void TearDown() override {
    delete gpclExecutionDLL32;
    gpclExecutionDLL32 = nullptr;
    CBaseExecutionDLL::ms_nNbInitialisation = 0;
    for (auto& restore : m_restore) restore();
    CMainCommun::bTermLibraryCommon();
    if (m_host != nullptr) dlclose(m_host);
  }

  // Message 3985's block: format, host handle, two usage values, library shop.
  intptr_t Initialise(intptr_t format, void* host, intptr_t shop = 0) {
    intptr_t block[5] = {format, reinterpret_cast<intptr_t>(host), 7, 8, shop};
    return Execution(EXEC_INITIALISE, block);
  }
  Calls HostQueries() {
    Calls out;
    for (auto& c : m_control->Calls())
      if (c.first == EXEC_HOST_QUERY) out.push_back(c);
    return out;
  }

  template <typename T>
  void Keep(T& value) {
    m_restore.push_back([&value, old = value] { value = old; });
  }
  std::vector<std::function<void()>> m_restore;
  const wchar_t* m_savedName = nullptr;
  void* m_host = nullptr;
  CHostControl* m_control = nullptr;
};

TEST_F(ExecutionDLL, CountedInitialisationQueriesOnceAndEndsAtLastTerminate) {
  ASSERT_EQ(Initialise(12, m_host, 0x5000), 1);
  CBaseExecutionDLL* first = gpclExecutionDLL32;
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->hGetHostModule(), m_host);
  EXPECT_EQ(CBaseExecutionDLL::s_hGetHinstanceVM(), m_host);
  EXPECT_EQ(CInformationDLL::ms_piStrMemAlloc, m_control->Allocator());
  EXPECT_EQ(CInformationDLL::ms_piInfoLocale, m_control->Locale());
  // Word 4 given: the shop is not asked.
  EXPECT_EQ(CInformationDLL::ms_piLibShop, reinterpret_cast<ILibShop*>(0x5000));
  const Calls queries = HostQueries();
  EXPECT_EQ(queries.size(), 12u);
  for (auto& q : queries) EXPECT_NE(q.second, HOST_QUERY_LIBSHOP);

  ASSERT_EQ(Initialise(12, m_host, 0x5000), 1);
  EXPECT_EQ(gpclExecutionDLL32, first);
  EXPECT_EQ(HostQueries().size(), 12u);
  EXPECT_EQ(CBaseExecutionDLL::ms_nNbInitialisation, 2);

  EXPECT_EQ(Execution(EXEC_TERMINATE, nullptr), 1);
  EXPECT_EQ(gpclExecutionDLL32, first);
  EXPECT_EQ(Execution(EXEC_TERMINATE, nullptr), 1);
  EXPECT_EQ(gpclExecutionDLL32, nullptr);
  EXPECT_EQ(CBaseExecutionDLL::ms_nNbInitialisation, 0);
  // Terminated by message: no end notice.
  for (auto& c : m_control->Calls()) EXPECT_NE(c.first, EXEC_HOST_END_NOTICE);
  // The services stay after the end.
  EXPECT_EQ(CInformationDLL::ms_piStrMemAlloc, m_control->Allocator());
}

TEST_F(ExecutionDLL, TerminateWithoutInitialisation) {
  EXPECT_EQ(Execution(EXEC_TERMINATE, nullptr), 1);
  EXPECT_EQ(CBaseExecutionDLL::ms_nNbInitialisation, 0);
  EXPECT_EQ(gpclExecutionDLL32, nullptr);
}

TEST_F(ExecutionDLL, OldBlockFormatAsksTheLibraryShop) {
  CInformationDLL::ms_piLibShop = reinterpret_cast<ILibShop*>(0x77);
  ASSERT_EQ(Initialise(11, m_host, 0x5000), 1);
  const Calls queries = HostQueries();
  ASSERT_EQ(queries.size(), 13u);
  EXPECT_EQ(queries[5].second, HOST_QUERY_LIBSHOP);
  EXPECT_EQ(CInformationDLL::ms_piLibShop, nullptr);  // the stand-in has none
}

TEST_F(ExecutionDLL, HostFactsFilled) {
  CInformationDLL::ms_dwVersionActive = 1000;
  ASSERT_EQ(Initialise(12, m_host, 1), 1);
  EXPECT_NE(CInformationDLL::ms_pszNomProduit, m_savedName);
  EXPECT_NE(CInformationDLL::ms_pbMultithread, nullptr);
  EXPECT_EQ(CInformationDLL::ms_dwVersionActive, 1000u);  // the larger stays
}

TEST_F(ExecutionDLL, FailedStartIsRetried) {
  void* self = dlopen(nullptr, RTLD_NOW);  // the test program exports no "Execution"
  ASSERT_NE(self, nullptr);
  IStrMemAlloc* before = CInformationDLL::ms_piStrMemAlloc;
  EXPECT_EQ(Initialise(12, self, 1), 0);
  dlclose(self);
  EXPECT_EQ(gpclExecutionDLL32, nullptr);
  EXPECT_EQ(CBaseExecutionDLL::ms_nNbInitialisation, 0);
  EXPECT_EQ(CInformationDLL::ms_piStrMemAlloc, before);

  EXPECT_EQ(Initialise(12, m_host, 1), 1);
  ASSERT_NE(gpclExecutionDLL32, nullptr);
  EXPECT_EQ(HostQueries().size(), 12u);
  EXPECT_EQ(CBaseExecutionDLL::ms_nNbInitialisation, 1);
}

TEST_F(ExecutionDLL, NullHandleOrBlock) {
  EXPECT_EQ(Execution(EXEC_INITIALISE, nullptr), 0);
  EXPECT_EQ(gpclExecutionDLL32, nullptr);
  EXPECT_EQ(Initialise(12, nullptr), 1);  // nothing asked, no host function
  ASSERT_NE(gpclExecutionDLL32, nullptr);
  EXPECT_EQ(gpclExecutionDLL32->pfnGetHostExecution(), nullptr);
  EXPECT_EQ(CBaseExecutionDLL::s_eGetModeSmartphone(), 0);
  EXPECT_FALSE(CBaseExecutionDLL::s_bRemplitPileC(0, nullptr, 0, 0));
  EXPECT_TRUE(m_control->Calls().empty());
}

TEST_F(ExecutionDLL, DynamicTypesDependOnFactoryVersionAndObject) {
  std::vector<std::string> log;
  CFakeFactory v1(1), v2(2);
  CInformationDLL::ms_piGlobalFactory = nullptr;
  EXPECT_EQ(Execution(EXEC_INIT_DYNAMIC_TYPES, nullptr), 1);
  CInformationDLL::ms_piGlobalFactory = &v2;
  EXPECT_EQ(Execution(EXEC_INIT_DYNAMIC_TYPES, nullptr), 2);  // no object

  gpclExecutionDLL32 = new CRecordingExecutionDLL(&log);
  CInformationDLL::ms_piGlobalFactory = &v1;
  EXPECT_EQ(Execution(EXEC_INIT_DYNAMIC_TYPES, reinterpret_cast<void*>(42)), 1);
  EXPECT_TRUE(log.empty());
  CInformationDLL::ms_piGlobalFactory = &v2;
  EXPECT_EQ(Execution(EXEC_INIT_DYNAMIC_TYPES, reinterpret_cast<void*>(42)), 1);
  EXPECT_EQ(log, std::vector<std::string>{"dino:42"});

  delete gpclExecutionDLL32;
  gpclExecutionDLL32 = new CRecordingExecutionDLL(&log, FALSE);
  EXPECT_EQ(Execution(EXEC_INIT_DYNAMIC_TYPES, nullptr), 2);
}

TEST_F(ExecutionDLL, MessagesWithoutObject) {
  CFakeFactory v2(2);
  CInformationDLL::ms_piGlobalFactory = &v2;
  auto* locale = reinterpret_cast<IInfoLocale*>(0x1234);
  EXPECT_EQ(Execution(EXEC_SET_LOCALE, locale), 1);
  EXPECT_EQ(CInformationDLL::ms_piInfoLocale, locale);
  EXPECT_EQ(Execution(EXEC_SET_LOCALE, nullptr), 1);
  EXPECT_EQ(CInformationDLL::ms_piInfoLocale, locale);  // a null service is refused
  EXPECT_EQ(Execution(EXEC_CHANGE_LANGUAGE, nullptr), 1);
  EXPECT_EQ(Execution(EXEC_DEACTIVATE, nullptr), 1);
  EXPECT_EQ(Execution(EXEC_REACTIVATE, nullptr), 1);
  EXPECT_EQ(Execution(EXEC_MEMORY_DUMP, nullptr), 0);
  EXPECT_EQ(Execution(1, nullptr), 0);
}

TEST_F(ExecutionDLL, TerminateCallsTheHookAndChangeLanguageReachesIt) {
  std::vector<std::string> log;
  gpclExecutionDLL32 = new CRecordingExecutionDLL(&log);
  EXPECT_EQ(Execution(EXEC_CHANGE_LANGUAGE, nullptr), 1);
  EXPECT_EQ(Execution(EXEC_TERMINATE, nullptr), 1);
  EXPECT_EQ(log, (std::vector<std::string>{"langue", "termine"}));
  EXPECT_EQ(gpclExecutionDLL32, nullptr);
}

TEST_F(ExecutionDLL, SelfStartedObjectIsNotAnnounced) {
  ASSERT_TRUE(CBaseExecutionDLL::s_bInitialiseMoiMeme(reinterpret_cast<HINSTANCE>(m_host)));
  EXPECT_EQ(HostQueries().size(), 5u);  // the common services only
  CBaseExecutionDLL::s_InitLibShopMoiMeme();
  EXPECT_EQ(HostQueries().back().second, HOST_QUERY_LIBSHOP);
  CBaseExecutionDLL::s_TermineDLL();
  EXPECT_NE(gpclExecutionDLL32, nullptr);
  CBaseExecutionDLL::s_TermineMoiMeme();
  EXPECT_EQ(gpclExecutionDLL32, nullptr);
}

TEST_F(ExecutionDLL, LibraryStartOnceAndEndAnnouncesTheObject) {
  EXPECT_TRUE(CMainCommun::bTermLibraryCommon());  // without init: nothing
  EXPECT_FALSE(CMainCommun::ms_bInitialise);

  auto* first = reinterpret_cast<HINSTANCE>(0x10);
  EXPECT_TRUE(CMainCommun::bInitLibraryCommon(first));
  EXPECT_TRUE(CMainCommun::bInitLibraryCommon(reinterpret_cast<HINSTANCE>(0x20)));
  EXPECT_EQ(CMainCommun::ms_hModule, first);

  ASSERT_EQ(Initialise(12, m_host, 1), 1);
  m_control->ClearCalls();
  EXPECT_TRUE(CMainCommun::bTermLibraryCommon());
  EXPECT_FALSE(CMainCommun::ms_bInitialise);
  EXPECT_EQ(gpclExecutionDLL32, nullptr);
  EXPECT_EQ(m_control->Calls(), (Calls{{EXEC_HOST_END_NOTICE, 0}}));
  EXPECT_TRUE(CMainCommun::bTermLibraryCommon());
  EXPECT_EQ(m_control->Calls().size(), 1u);
}

}  // namespace

namespace {

// The queries made after start-up reach the host's "Execution" with their own codes.
TEST_F(ExecutionDLL, LaterQueriesReachTheHost) {
  ASSERT_EQ(Initialise(12, m_host, 1), 1);
  m_control->ClearCalls();
  EXPECT_FALSE(gpclExecutionDLL32->_bUtiliseNET());
  EXPECT_EQ(CBaseExecutionDLL::s_eGetModeSmartphone(), 0);
  wchar_t stack[8] = {};
  EXPECT_FALSE(CBaseExecutionDLL::s_bRemplitPileC(1, stack, 8, 0));
  const Calls calls = m_control->Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0], (std::pair<unsigned int, intptr_t>{EXEC_HOST_QUERY, HOST_QUERY_DOTNET}));
  EXPECT_EQ(calls[1], (std::pair<unsigned int, intptr_t>{EXEC_HOST_QUERY, HOST_QUERY_SMARTPHONE_MODE}));
  EXPECT_EQ(calls[2].first, EXEC_HOST_CALL_STACK);
  EXPECT_NE(calls[2].second, 0);
}

}  // namespace
