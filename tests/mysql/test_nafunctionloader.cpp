// The client-library loader against the real library and two small fakes built with the tests.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "driver/mysqlapi.h"
#include "driver/naerror.h"
#include "driver/nafunctionloader.h"
#include "mysql/mysqlconnection.h"
#include "mysql/mysqlguard.h"
#include "tests/mysql/host_connection.h"

namespace {

std::wstring Wide(const char* s) { return std::wstring(s, s + strlen(s)); }

std::string Cwd() {
  char buffer[4096];
  return getcwd(buffer, sizeof buffer) != nullptr ? buffer : "";
}

struct LoaderTest : ::testing::Test {
  void SetUp() override { CNAFunctionLoader::g_Term(); }
  void TearDown() override { CNAFunctionLoader::g_Term(); }
  BOOL Load(const wchar_t* library) { return CNAFunctionLoader::g_bInitNative(&error, &loaded, library, 0); }
  CNAError error;
  CTString loaded;
};

TEST_F(LoaderTest, RealLibraryLoadsByDefaultNameAndByPathWithEveryEntry) {
  const std::string cwd = Cwd();
  const std::wstring path = Wide(QX_REAL_CLIENT);
  for (const wchar_t* library : {static_cast<const wchar_t*>(nullptr), path.c_str()}) {
    CNAFunctionLoader::g_Term();
    loaded = L"before";
    ASSERT_TRUE(Load(library)) << error.pszGetError();
    EXPECT_TRUE(CNAFunctionLoader::g_bLoaded());
    EXPECT_EQ(error.eGetErrorType(), NA_ERRORTYPE_NONE);
#define CHECK_RESOLVED(n, name, R, P, req) EXPECT_TRUE(QX_MYSQL_RESOLVED(name)) << #name;
    QX_MYSQL_FUNCTIONS(CHECK_RESOLVED)
#undef CHECK_RESOLVED
    const std::wstring named = loaded.pszGet();
    if (library != nullptr) {
      EXPECT_EQ(named, path);
    }
    EXPECT_TRUE(named.starts_with(L"/") && named.ends_with(L"/libmysqlclient.so")) << named.c_str();
    EXPECT_EQ(Cwd(), cwd);
  }
  // The wanted library is checked against the one loaded.
  CNAConnectionDescription::m_csClientLibrary = loaded;
  const std::wstring other = L"QX CLIENT LIBRARY=/elsewhere/libmysqlclient.so";
  const std::wstring same = L"QX CLIENT LIBRARY=" + path, bare = L"QX CLIENT LIBRARY=LIBMYSQLCLIENT.SO";
  const struct {
    const wchar_t* pszSettings;
    BOOL bAccepted;
  } rows[] = {{L"", TRUE}, {same.c_str(), TRUE}, {bare.c_str(), TRUE}, {other.c_str(), FALSE}};
  for (const auto& row : rows) {
    CTestHostConnection host;
    host.pszExtendedInfo = row.pszSettings;
    CMySQLConnection cnx(L"id", &host);
    CNAError check;
    EXPECT_EQ(cnx._bCheckClientLibraryWanted(&check), row.bAccepted) << row.pszSettings;
    EXPECT_EQ(check.dwGetErrorId(), row.bAccepted ? 0u : 74u) << row.pszSettings;
  }
  CNAConnectionDescription::m_csClientLibrary.Vide();
}

TEST_F(LoaderTest, FakesAndMissingFilesGiveTheirErrors) {
  const std::wstring noopt = Wide(QX_FAKE_NOOPT), noaffected = Wide(QX_FAKE_NOAFFECTED);
  const struct {
    std::wstring strLibrary;
    BOOL bResult, bLoaded;
    unsigned int nCode;
    const wchar_t* pszInMessage;
  } rows[] = {
      {noopt, TRUE, TRUE, 0, L""},
      {noaffected, FALSE, TRUE, 37, L"mysql_affected_rows"},
      {L"/nonexistent.dir/libmysqlclient.so", FALSE, FALSE, 27, L"/nonexistent.dir/libmysqlclient.so"},
  };
  for (const auto& row : rows) {
    CNAFunctionLoader::g_Term();
    error.Reset();
    EXPECT_EQ(Load(row.strLibrary.c_str()), row.bResult) << row.pszInMessage;
    EXPECT_EQ(CNAFunctionLoader::g_bLoaded(), row.bLoaded) << row.pszInMessage;
    EXPECT_EQ(error.dwGetErrorId(), row.nCode);
    EXPECT_NE(std::wstring(error.pszGetError()).find(row.pszInMessage), std::wstring::npos) << error.pszGetError();
  }
  // The last row: the system's own reason, the module number 32.
  EXPECT_NE(std::wstring(error.pszGetSystemErrorMessage()).find(L"No such file"), std::wstring::npos);
  EXPECT_NE(std::wstring(error.pszGetError()).find(L"MySQL"), std::wstring::npos);
  // Without mysql_affected_rows: the entries before it are the library's, the optional ones not.
  CNAFunctionLoader::g_Term();
  Load(noaffected.c_str());
  EXPECT_TRUE(QX_MYSQL_RESOLVED(mysql_errno));
  EXPECT_FALSE(QX_MYSQL_RESOLVED(mysql_affected_rows) || QX_MYSQL_RESOLVED(mysql_options));
  // Without the optional functions: a call through one reports it by name.
  CNAFunctionLoader::g_Term();
  ASSERT_TRUE(Load(noopt.c_str()));
  CNAError call;
  EXPECT_FALSE(bMySQLGuard(&call, nullptr, 101, 1, [] { __mysql_options(nullptr, MYSQL_SET_CHARSET_NAME, ""); }));
  EXPECT_EQ(call.dwGetErrorId(), 37u);
  EXPECT_NE(std::wstring(call.pszGetError()).find(L"mysql_options"), std::wstring::npos);
}

}  // namespace
