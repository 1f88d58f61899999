// The client-library loader against the real library and two small fakes built with the tests.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/tstringconcataw.h"
#include "driver/mysqlapi.h"
#include "driver/naerror.h"
#include "driver/nafunctionloader.h"
#include "mysql/mysqlconnection.h"
#include "mysql/mysqlguard.h"
#include "host/host_nadescription.h"

namespace {

std::wstring Wide(const char* s) { return std::wstring(s, s + strlen(s)); }

struct LoaderTest : ::testing::Test {
  void SetUp() override { CNAFunctionLoader::g_Term(); }
  void TearDown() override { CNAFunctionLoader::g_Term(); }
  BOOL Load(const wchar_t* library) { return CNAFunctionLoader::g_bInitNative(&error, &loaded, library, 0); }
  CNAError error;
  CTString loaded;
};

TEST_F(LoaderTest, RealLibraryLoadsByDefaultNameAndByPathWithEveryEntry) {
  const auto cwd = std::filesystem::current_path();
  const std::wstring path = Wide(QX_REAL_CLIENT);
  for (const wchar_t* library : {static_cast<const wchar_t*>(nullptr), path.c_str()}) {
    CNAFunctionLoader::g_Term();
    loaded = L"before";
    ASSERT_TRUE(Load(library)) << error.pszGetError();
    EXPECT_TRUE(CNAFunctionLoader::g_bLoaded());
    EXPECT_EQ(error.eGetErrorType(), NA_ERRORTYPE_NONE);
    // Every required entry, and each optional one exactly when the library exports it.
    void* handle = CNAFunctionLoader::g_hGetNativeLibHandle();
#define CHECK_RESOLVED(n, name, R, P, req) \
  EXPECT_EQ(QX_MYSQL_RESOLVED(name), req || dlsym(handle, #name) != nullptr) << #name;
    QX_MYSQL_FUNCTIONS(CHECK_RESOLVED)
#undef CHECK_RESOLVED
    const std::wstring named = loaded.pszGet();
    EXPECT_EQ(named, library != nullptr ? path : named);
    EXPECT_TRUE(named.starts_with(L"/") && named.ends_with(L"/libmysqlclient.so")) << named.c_str();
    EXPECT_EQ(std::filesystem::current_path(), cwd);
  }
  // The wanted library is checked against the one loaded.
  CNAConnectionDescription::m_csClientLibrary = loaded;
  const std::wstring other = L"QX CLIENT LIBRARY=/elsewhere/libmysqlclient.so";
  const std::wstring same = L"QX CLIENT LIBRARY=" + path, bare = L"QX CLIENT LIBRARY=LIBMYSQLCLIENT.SO";
  const std::pair<const wchar_t*, BOOL> rows[] = {{L"", TRUE}, {same.c_str(), TRUE}, {bare.c_str(), TRUE},
                                                  {other.c_str(), FALSE}};
  for (const auto& [settings, accepted] : rows) {
    CHostConnectionDescription host;
    host.m_pszExtendedInfo = settings;
    CMySQLConnection cnx(L"id", &host);
    CNAError check;
    EXPECT_EQ(cnx._bCheckClientLibraryWanted(&check), accepted) << settings;
    EXPECT_EQ(check.dwGetErrorId(), accepted ? 0u : 74u) << settings;
  }
  CNAConnectionDescription::m_csClientLibrary.Vide();
}

TEST_F(LoaderTest, FakesAndMissingFilesGiveTheirErrors) {
  const struct {
    std::wstring strLibrary;
    BOOL bResult, bLoaded;
    unsigned int nCode;
    const wchar_t* pszInMessage;
  } rows[] = {
      {L"/nonexistent.dir/libmysqlclient.so", FALSE, FALSE, 27, L"MySQL </nonexistent.dir/libmysqlclient.so>"},
      {Wide(QX_FAKE_NOOPT), TRUE, TRUE, 0, L""},
      {Wide(QX_FAKE_NOAFFECTED), FALSE, TRUE, 37, L"mysql_affected_rows"},
  };
  for (const auto& row : rows) {
    CNAFunctionLoader::g_Term();
    error.Reset();
    EXPECT_EQ(Load(row.strLibrary.c_str()), row.bResult) << row.pszInMessage;
    EXPECT_EQ(CNAFunctionLoader::g_bLoaded(), row.bLoaded) << row.pszInMessage;
    EXPECT_EQ(error.dwGetErrorId(), row.nCode);
    EXPECT_NE(std::wstring(error.pszGetError()).find(row.pszInMessage), std::wstring::npos) << error.pszGetError();
    const bool bReason = std::wstring(error.pszGetSystemErrorMessage()).find(L"No such file") != std::wstring::npos;
    EXPECT_EQ(bReason, row.nCode == 27);  // the system's own reason
  }
  // The last load stopped at mysql_affected_rows: the entries before it are the library's, the
  // optional ones still throw their names.
  EXPECT_TRUE(QX_MYSQL_RESOLVED(mysql_errno));
  EXPECT_FALSE(QX_MYSQL_RESOLVED(mysql_affected_rows) || QX_MYSQL_RESOLVED(mysql_options));
  CNAError call;
  EXPECT_FALSE(bMySQLGuard(&call, nullptr, 101, 1, [] { __mysql_options(nullptr, MYSQL_SET_CHARSET_NAME, ""); }));
  EXPECT_EQ(call.dwGetErrorId(), 37u);
  EXPECT_NE(std::wstring(call.pszGetError()).find(L"mysql_options"), std::wstring::npos);
}

// A bare name is tried first in the directory of the code that loads it (here the test program's,
// where the fakes are built), then through the system's search, whose reason a failure gives.
TEST_F(LoaderTest, BareNameIsTriedInTheOwnDirectoryThenSearched) {
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&Wide), &info), 0);
  const std::filesystem::path self(info.dli_fname), fake(QX_FAKE_NOOPT);
  if (std::filesystem::canonical(fake.parent_path()) != std::filesystem::canonical(self.parent_path()))
    GTEST_SKIP() << "the fakes are not built beside the test program";
  const std::wstring own = self.parent_path().wstring() + L"/", bare = fake.filename().wstring();
  for (const std::wstring& name : {bare, std::wstring(L"libqx_no_such_client.so")}) {
    CNAFunctionLoader::g_Term();
    const bool found = name == bare;
    EXPECT_EQ(Load(name.c_str()), found) << name;
    const std::wstring reason = error.pszGetSystemErrorMessage();
    if (found) {
      EXPECT_EQ(std::wstring(loaded.pszGet()), own + bare);
      EXPECT_EQ(std::wstring(CNAFunctionLoader::g_pclNAFunctionLoader->pszGetLibraryDirectory()), own);
    } else {  // the search's reason, not the own directory's
      EXPECT_NE(reason.find(L"No such file"), std::wstring::npos) << reason;
      EXPECT_EQ(reason.find(own), std::wstring::npos) << reason;
    }
  }
}

// The quote-aware escaper is preferred, and its refusal is an error of its own, never an empty
// literal written with success: the client's error when it gives one, else a conversion error.
TEST_F(LoaderTest, RefusingEscaperRaisesTheClientsError) {
  const struct {
    const char* library;
    unsigned int id, clientCode;
    const wchar_t* message;
  } kRows[] = {{QX_FAKE_REFUSING, 22, 2062, L"Insecure API function call"}, {QX_FAKE_SILENT, 60, 0, L""}};
  for (const auto& row : kRows) {
    CNAFunctionLoader::g_Term();
    error.Reset();
    const std::wstring settings = L"QX Unicode Support=0;QX CLIENT LIBRARY=" + Wide(row.library);
    CHostConnectionDescription host;
    host.m_pszExtendedInfo = settings.c_str();
    CMySQLConnection cnx(L"id", &host);
    ASSERT_TRUE(cnx.bOpen(&error)) << error.pszGetError();
    EXPECT_TRUE(QX_MYSQL_RESOLVED(mysql_real_escape_string_quote));
    char text[] = "it's";
    CTStringConcatAW out(CTStringConcatAW::kWideContent, 1252);
    out.Add(L"before", 6);
    EXPECT_EQ(cnx._bEscapeString(&error, &out, 18, reinterpret_cast<unsigned char*>(text), sizeof text), 0)
        << row.library;
    EXPECT_STREQ(out.pszGetW(), L"before");
    EXPECT_EQ(error.dwGetErrorId(), row.id) << row.library;
    EXPECT_EQ(error.dwGetDataBaseErrorCode(), row.clientCode) << row.library;
    EXPECT_NE(std::wstring(error.pszGetError()).find(row.message), std::wstring::npos) << error.pszGetError();
    cnx.bClose(nullptr);
  }
}

}  // namespace
