// Doubles of the driver's started classes: each logs its opens, closes and destruction, and the
// driver double makes them through its factories.
#pragma once

#include <atomic>
#include <cwchar>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "access/nadataaccess.h"
#include "access/natable.h"
#include "driver/nacontext.h"
#include "driver/naconnectiondescription.h"
#include "driver/naerror.h"
#include "mysql/mysqldriver.h"

// What the doubles did, in order, from every thread.
class CEventLog {
 public:
  void Add(const std::string& event) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_events.push_back(event);
  }
  std::vector<std::string> Take() {
    std::lock_guard<std::mutex> guard(m_mutex);
    return std::exchange(m_events, {});
  }

 private:
  std::mutex m_mutex;
  std::vector<std::string> m_events;
};
inline CEventLog g_log;
inline std::atomic<int> g_nLiveConnections{0};

// Opening fails, with user error 1 raised, for the password "bad".
class CLogConnection : public CNAConnectionDescription {
 public:
  CLogConnection(const wchar_t* id, INAConnectionDescription* host) : CNAConnectionDescription(id, host) {
    ++g_nLiveConnections;
  }
  ~CLogConnection() override {
    --g_nLiveConnections;
    g_log.Add("~cnx");
  }
  BOOL bOpen(CNAError* error) override {
    if (pszGetPassword() != nullptr && wcscmp(pszGetPassword(), L"bad") == 0) {
      error->AddError(NA_ERRORTYPE_DEFAULT, NA_SRC_MYSQL_CONNECTION, 1, this, 1);
      return FALSE;
    }
    if (!m_bOpen) g_log.Add("open");
    m_bOpen = TRUE;
    return TRUE;
  }
  BOOL bIsOpen() override { return m_bOpen; }
  BOOL bClose(CNAError*) override {
    m_bOpen = FALSE;
    g_log.Add("close");
    return TRUE;
  }
  void AddInfoNativeXError(CXError* e) override { e->AddInfo(EIT_INFOSERVEUR, L"server 1.0"); }

 private:
  BOOL m_bOpen = FALSE;
};

class CLogTable : public CNATable {
 public:
  using CNATable::CNATable;
  ~CLogTable() override { g_log.Add("~table"); }
  BOOL bHFerme(INAContext*) override {
    g_log.Add("table close");
    return TRUE;
  }
};

// Its close throws when asked to.
class CLogDataAccess : public CNADataAccess {
 public:
  using CNADataAccess::CNADataAccess;
  ~CLogDataAccess() override { g_log.Add("~access"); }
  BOOL bHFerme() override {
    g_log.Add("access close");
    if (m_bThrow) throw std::runtime_error("close failed");
    return CNADataAccess::bHFerme();
  }
  void SetOpened() { m_bOpened = 1; }
  bool m_bThrow = false;
};

class CLogContext : public CNAContext {
 public:
  using CNAContext::CNAContext;
  ~CLogContext() override { g_log.Add("~context"); }
};

class CLogDriver : public CMySQLDriver {
 public:
  CLogDriver() { AllocError(); }
  CNAConnectionDescription* _pclAllocConnectionDescription(const wchar_t* id, INAConnectionDescription* host) override {
    return new CLogConnection(id, host);
  }
  CNAContext* pclAllocContext() const override { return new CLogContext(pclAllocError()); }
  CNATable* _pclAllocTable(const wchar_t* id, INADataSourceDescription* desc, CNAConnectionDescription* cnx,
                           CNAError* error) override {
    return new CLogTable(id, desc, cnx, error);
  }
  CNADataAccess* pclAllocDataAccess(INADataSourceDescription* desc, CNAConnectionDescription* cnx,
                                    CNAError* error) const override {
    return new CLogDataAccess(desc, cnx, error);
  }
};

using Events = std::vector<std::string>;
