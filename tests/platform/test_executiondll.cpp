// The component messages and the library start and end, against the stand-in host module loaded
// with dlopen as the host hands its handle over. Each test puts back the process-wide statics.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <functional>
#include <vector>

#include "host/host_control.h"
#include "host/host_loader.h"
#include "platform/executiondll.h"
#include "platform/iglobalfactory.h"
#include "platform/maincommun.h"

namespace {

using Calls = std::vector<std::pair<unsigned int, intptr_t>>;

struct CFakeFactory final : IGlobalFactory {
  explicit CFakeFactory(int version) : m_version(version) {}
  int nGetVersion() override { return m_version; }
  int m_version;
};

// Records the argument of the dynamic-types hook.
struct CRecordingExecutionDLL final : CBaseExecutionDLL {
  BOOL vbInitialiseTypeDINO(CXError* e) override { return m_log.push_back(reinterpret_cast<intptr_t>(e)), TRUE; }
  std::vector<intptr_t> m_log;
};

class ExecutionDLL : public testing::Test {
 protected:
  void SetUp() override {
    m_host = dlopen((CHostLoader::LibraryDir() + "/libqxhost.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(m_host, nullptr) << dlerror();
    m_control = reinterpret_cast<CHostControl* (*)()>(dlsym(m_host, "QXHost_GetControl"))();
    m_control->ClearCalls();
    m_control->SetGlobalFactoryVersion(2);
    using I = CInformationDLL;
    Keep(I::ms_piStrMemAlloc, I::ms_piInfoLocale, I::ms_piGlobalFactory, I::ms_piCollecteurTopo,
         I::ms_piInformationComposante, I::ms_piLibShop, I::ms_nCodeProduitExecution, I::ms_nCodeProduitReel,
         I::ms_nLangueInterne, I::ms_pszNomProduit, I::ms_dwOptions, I::ms_dwVersionActive, I::ms_pbMultithread);
  }
  void TearDown() override {
    delete gpclExecutionDLL32;
    gpclExecutionDLL32 = nullptr;
    CBaseExecutionDLL::ms_nNbInitialisation = 0;
    for (auto& restore : m_restore) restore();
    CMainCommun::bTermLibraryCommon();
    if (m_host != nullptr) dlclose(m_host);
  }
  template <typename... T>
  void Keep(T&... values) {
    (m_restore.push_back([&values, old = values] { values = old; }), ...);
  }
  // Message 3985's block: format, host handle, two usage values, library shop.
  intptr_t Initialise(intptr_t format, void* host, intptr_t shop = 0) {
    intptr_t block[5] = {format, reinterpret_cast<intptr_t>(host), 7, 8, shop};
    return Execution(EXEC_INITIALISE, block);
  }

  std::vector<std::function<void()>> m_restore;
  void* m_host = nullptr;
  CHostControl* m_control = nullptr;
};

TEST_F(ExecutionDLL, CountedInitialisationQueriesOnceAndEndsAtTheLastTerminate) {
  CInformationDLL::ms_dwVersionActive = 1000;
  for (int round = 0; round < 2; ++round) ASSERT_EQ(Initialise(12, m_host, 0x5000), 1);
  CBaseExecutionDLL* first = gpclExecutionDLL32;
  EXPECT_EQ(CInformationDLL::ms_piStrMemAlloc, m_control->Allocator());
  EXPECT_EQ(CInformationDLL::ms_dwVersionActive, 1000u);  // the larger stays
  EXPECT_EQ(CInformationDLL::ms_piLibShop, reinterpret_cast<ILibShop*>(0x5000));  // word 4, not asked
  EXPECT_EQ(Execution(EXEC_TERMINATE, nullptr), 1);
  EXPECT_EQ(gpclExecutionDLL32, first);
  EXPECT_EQ(Execution(EXEC_TERMINATE, nullptr), 1);
  EXPECT_EQ(Execution(EXEC_TERMINATE, nullptr), 1);  // without an object the count stays 0
  EXPECT_EQ(gpclExecutionDLL32, nullptr);
  EXPECT_EQ(CBaseExecutionDLL::ms_nNbInitialisation, 0);
  EXPECT_EQ(m_control->Calls().size(), 12u);  // the queries once; ended by message: no end notice

  CInformationDLL::ms_piLibShop = reinterpret_cast<ILibShop*>(0x77);
  ASSERT_EQ(Initialise(11, m_host, 0x5000), 1);  // the old block has no word 4: the shop is asked
  EXPECT_EQ(m_control->Calls()[12 + 5], (Calls::value_type{EXEC_HOST_QUERY, HOST_QUERY_LIBSHOP}));
  EXPECT_EQ(CInformationDLL::ms_piLibShop, nullptr);  // the stand-in has none
}

TEST_F(ExecutionDLL, FailedStartIsRetriedAndNullsAreRefused) {
  void* self = dlopen(nullptr, RTLD_NOW);  // the test program exports no "Execution"
  IStrMemAlloc* before = CInformationDLL::ms_piStrMemAlloc;
  EXPECT_EQ(Initialise(12, self, 1), 0);
  dlclose(self);
  EXPECT_EQ(Execution(EXEC_INITIALISE, nullptr), 0);
  EXPECT_EQ(gpclExecutionDLL32, nullptr);
  EXPECT_EQ(CBaseExecutionDLL::ms_nNbInitialisation, 0);
  EXPECT_EQ(CInformationDLL::ms_piStrMemAlloc, before);
  auto* locale = reinterpret_cast<IInfoLocale*>(0x1234);  // 4878 replaces it even without an object
  EXPECT_EQ(Execution(EXEC_SET_LOCALE, locale), 1);
  EXPECT_EQ(Execution(EXEC_SET_LOCALE, nullptr), 1);
  EXPECT_EQ(CInformationDLL::ms_piInfoLocale, locale);
  EXPECT_EQ(Initialise(12, m_host, 1), 1);
  EXPECT_EQ(m_control->Calls().size(), 12u);
  m_control->ClearCalls();
  EXPECT_FALSE(gpclExecutionDLL32->_bUtiliseNET());  // asked each time
  EXPECT_EQ(m_control->Calls(), (Calls{{EXEC_HOST_QUERY, HOST_QUERY_DOTNET}}));
}

TEST_F(ExecutionDLL, DynamicTypesDependOnFactoryVersionAndObject) {
  CFakeFactory v1(1), v2(2);
  const struct {
    IGlobalFactory* pFactory;
    bool bObject;
    intptr_t nResult;
    size_t nHookCalls;
  } kCases[] = {{nullptr, false, 1, 0}, {&v2, false, 2, 0}, {&v1, true, 1, 0}, {&v2, true, 1, 1}};
  for (const auto& c : kCases) {
    CInformationDLL::ms_piGlobalFactory = c.pFactory;
    delete gpclExecutionDLL32;
    auto* object = c.bObject ? new CRecordingExecutionDLL : nullptr;
    gpclExecutionDLL32 = object;
    EXPECT_EQ(Execution(EXEC_INIT_DYNAMIC_TYPES, reinterpret_cast<void*>(42)), c.nResult);
    EXPECT_EQ(object != nullptr ? object->m_log : std::vector<intptr_t>{}, std::vector<intptr_t>(c.nHookCalls, 42));
  }
}

TEST_F(ExecutionDLL, LibraryStartsOnceAndItsEndAnnouncesTheObject) {
  EXPECT_TRUE(CMainCommun::bTermLibraryCommon());  // without a start: nothing
  auto* first = reinterpret_cast<HINSTANCE>(0x10);
  EXPECT_TRUE(CMainCommun::bInitLibraryCommon(first));
  EXPECT_TRUE(CMainCommun::bInitLibraryCommon(reinterpret_cast<HINSTANCE>(0x20)));
  EXPECT_EQ(CMainCommun::ms_hModule, first);
  ASSERT_EQ(Initialise(12, m_host, 1), 1);
  m_control->ClearCalls();
  EXPECT_TRUE(CMainCommun::bTermLibraryCommon());
  EXPECT_EQ(gpclExecutionDLL32, nullptr);
  EXPECT_TRUE(CMainCommun::bTermLibraryCommon());
  EXPECT_EQ(m_control->Calls(), (Calls{{EXEC_HOST_END_NOTICE, 0}}));
}

}  // namespace
