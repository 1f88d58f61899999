// What the comparisons of every column type read and written through the loaded driver share:
// the loaded driver beside a raw connection of the client library, and the host's file over a
// server table as the driver's import describes it.
#pragma once

#include <dlfcn.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>

#include "driver/inadatasourcedescription.h"
#include "driver/inadriver.h"
#include "driver/inadriversql.h"
#include "host/host_control.h"
#include "host/host_datasource.h"
#include "host/host_itemdescription.h"
#include "host/host_loader.h"
#include "platform/information_dll.h"
#include "sql/inaitemdescription.h"
#include "tests/support/hostconnections.h"
#include "tests/support/rawmysql.h"
#include "values/any.h"

// A host text as ASCII, '?' for any other character (for messages and item names).
inline std::string Narrow(const wchar_t* w) {
  std::string s;
  for (; w != nullptr && *w != 0; ++w) s += *w < 128 ? static_cast<char>(*w) : '?';
  return s;
}

// The host's value: NULL, bytes as a binary, or UTF-8 bytes as a wide text.
inline CAny HostAny(bool null, bool binary, const std::string& bytes) {
  CAny any;
  if (null) {
    any.SetNull(true);
  } else if (binary) {
    any.SetBIN(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned int>(bytes.size()));
  } else {
    const std::wstring w = WideOfUTF8(bytes);
    any.__SetType(ZV_DSTRW, 0);
    any.SetValueByte(w.data(), static_cast<unsigned int>(w.size() * sizeof(wchar_t)));
  }
  return any;
}

// The host's file over a server table: an item for each column as the driver's import describes
// it (item type, size, digits), as a host gets it for an external table; the key is `id`.
struct CImportedFile {
  // Builds desc from the driver's description of table (which must outlive this file).
  void Describe(INADataSourceDescription* imported, const wchar_t* table) {
    desc.m_pszName = desc.m_pszPhysicalName = desc.m_pszDBTableName = table;
    for (int i = 0; i < imported->nGetNumItems(); ++i) {
      INAItemDescription* item = imported->piNAGetItem(static_cast<unsigned int>(i));
      CHostItemDescription& h =
          items.emplace_back(names.emplace_back(item->pszGetName()).c_str(), item->eNAGetItemType(), item->nGetItemSize());
      h.m_nIntegerPart = item->nGetIntegerPart();
      h.m_nDecimalPart = item->nGetDecimalPart();
      h.m_pszNameInSource = L"";
      if (names.back() == L"id") {
        h.m_wKeyFlags = 0x8000;
        h.m_bNullAllowed = FALSE;
      }
      desc.Add(&h);
      item->nExternalRelease();
    }
  }
  // The item named name, null without it.
  const CHostItemDescription* Item(const wchar_t* name) const {
    for (size_t i = 0; i < items.size(); ++i)
      if (names[i] == name) return &items[i];
    return nullptr;
  }

  std::deque<std::wstring> names;
  std::deque<CHostItemDescription> items;
  CHostRecordDescription desc;
};

// The loaded driver and a raw connection of the client library to the private server.
template <typename Param>
class CLoadedTypes : public testing::TestWithParam<Param> {
 protected:
  // The raw connection made and the driver loaded; on a failure the test has failed.
  void Start() {
    if (!TestServer::fromEnv(&m_server)) GTEST_FAIL() << TestServer::setupHint();
    std::string err;
    ASSERT_TRUE(m_lib.load(&err) && m_raw.connect(m_server, RawTransport::Tcp, &err)) << err;
    m_driver = m_loader.piQueryInterface(&err);
    ASSERT_NE(m_driver, nullptr) << err;
    // The host's strings the driver hands over are freed through the host's allocator.
    CInformationModule::ms_piStrMemAlloc = m_loader.Control()->Allocator();
  }
#ifdef QX_FAULT_CLIENT
  // Start, and every session of the driver in the default SQL mode or with NO_BACKSLASH_ESCAPES
  // added: the tests' client library sets it as soon as it connects.
  void StartInSqlMode(bool noBackslashEscapes) {
    Start();
    if (testing::Test::HasFatalFailure()) return;
    void* client = dlopen(QX_FAULT_CLIENT, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(client, nullptr) << dlerror();
    auto session = reinterpret_cast<void (*)(const char*)>(dlsym(client, "qxfault_session_sql"));
    ASSERT_NE(session, nullptr);
    session(noBackslashEscapes ? "SET SESSION sql_mode = CONCAT(@@sql_mode, ',NO_BACKSLASH_ESCAPES')" : "");
  }
  // stem and this process, code page and SQL mode of a (code page, NO_BACKSLASH_ESCAPES)
  // parameter: a table name no other run of the suite takes.
  std::string NameOfRun(const std::string& stem) const {
    const auto& p = this->GetParam();
    return stem + std::to_string(getpid()) + "_" + std::to_string(std::get<0>(p)) + (std::get<1>(p) ? "n" : "d");
  }
  // The host's facts of a connection in code page 1252 (Unicode off) or 65001, with more
  // settings after them, through the tests' client library (which alone sets the SQL mode).
  CHostConnectionDescription* AddConnection(bool utf8, const std::string& more = "") {
    return m_connections.Add(m_server, std::string(";QX Unicode Support=") + (utf8 ? "1" : "0") +
                                           ";QX CLIENT LIBRARY=" + QX_FAULT_CLIENT + more);
  }
  // A connection of the loaded driver on the code page of a (code page, ...) parameter, opened,
  // reading blocks of cache rows (0: the default, -1: the whole result); one per size.
  CHostConnectionDescription* HostOfCache(int cache) {
    auto found = m_cacheHosts.find(cache);
    if (found != m_cacheHosts.end()) return found->second;
    CHostConnectionDescription* host = AddConnection(std::get<0>(this->GetParam()) == 65001,
                                                     cache == 0 ? "" : ";QX Cache Size=" + std::to_string(cache));
    EXPECT_TRUE(m_loader.bOpenConnection(host)) << Narrow(m_driver->piGetLastError()->pszGetError());
    m_cacheHosts[cache] = host;
    return host;
  }
#endif
  // The driver released and stopped, with no host string block alive.
  void Stop() {
    if (m_driver == nullptr) return;
    for (auto& [cache, host] : m_cacheHosts) m_driver->bCloseConnection(host);
    m_cacheHosts.clear();
    EXPECT_EQ(m_driver->nExternalRelease(), 0);
    m_driver = nullptr;
    CInformationModule::ms_piStrMemAlloc = nullptr;
    EXPECT_TRUE(m_loader.Stop());
    EXPECT_EQ(m_loader.Control()->nLiveBlocks(), 0);
  }

  // The driver's SQL-function service and a numbered connection of m_host on it.
  void OpenService() {
    m_service = static_cast<INADriverSQL*>(m_driver->piGetInterface(1));
    ASSERT_NE(m_service, nullptr);
    ASSERT_TRUE(m_service->bOpenConnection(&m_cnx, m_host)) << Narrow(m_service->piGetLastError()->pszGetError());
  }
  // The service's connection closed, table dropped over the raw connection and the driver stopped.
  void StopService(const std::string& table) {
    if (m_service != nullptr) {
      m_service->bCloseConnection(m_cnx);
      m_service->nExternalRelease();
    }
    std::string err;
    m_raw.exec("DROP TABLE IF EXISTS `" + table + "`", &err);
    Stop();
  }

  // sql run over the raw connection, its rows into rows when given; a failure fails the test.
  bool Raw(const std::string& sql, RawRows* rows = nullptr) {
    std::string err;
    const bool ok = m_raw.query(sql, rows, &err);
    EXPECT_TRUE(ok) << sql << ": " << err;
    return ok;
  }

  // The bytes of v in table's row id as hexadecimal, "NULL", or "none" without the row.
  std::string Stored(const std::string& table, int id) {
    RawRows rows;
    std::string err;
    if (!m_raw.query("SELECT IFNULL(HEX(CAST(v AS BINARY)), 'NULL') FROM `" + table + "` WHERE id = " +
                         std::to_string(id),
                     &rows, &err))
      return "error " + err;
    return rows.empty() ? "none" : rows[0][0].value_or("?");
  }

  TestServer m_server;
  RawMySQL m_lib;
  RawConnection m_raw{m_lib};
  CTestHostConnections m_connections;
  CHostConnectionDescription* m_host = nullptr;
  CHostLoader m_loader;
  INADriver* m_driver = nullptr;
  INADriverSQL* m_service = nullptr;
  int m_cnx = 0;
  std::map<int, CHostConnectionDescription*> m_cacheHosts;
};
