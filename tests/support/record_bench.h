// What the column and record tests share: a MySQL driver (the factories of columns, converters
// and errors), a connection that never opens (MySQL's dialect and backquotes, or another dialect
// and ORDER BY limit) unless the test gives an opened one, the stand-in host description of the
// items the test adds, a data access over it (over a parsed query when one is given) and the
// record built from it. Items are the test's and live as long as the bench.
#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <deque>
#include <string>

#include "access/nadataaccess.h"
#include "access/narecord.h"
#include "common/xystringconcat.h"
#include "driver/naerror.h"
#include "host/host_datasource.h"
#include "host/host_nadescription.h"
#include "mysql/mysqlconnection.h"
#include "mysql/mysqldriver.h"
#include "sql/nacolumn.h"
#include "sql/nakjrecord.h"
#include "sql/sqlparserinfo.h"
#include "tests/support/any_test_values.h"

// A MySQL connection that is never opened, on the dialect given, with an ORDER BY limit.
class CBenchConnection final : public CMySQLConnection {
 public:
  CBenchConnection(INAConnectionDescription* host, int dialect, int orderLimit)
      : CMySQLConnection(L"bench", host), m_nOrderLimit(orderLimit) {
    m_eDataSource = dialect;
    SetStatic(true);
  }
  int nGetOrderByMaxExpressionNbr() const override { return m_nOrderLimit; }

 private:
  int m_nOrderLimit;
};

// A data access whose source may be a parsed query (one reference held, released by the access).
class CBenchAccess final : public CNADataAccess {
 public:
  using CNADataAccess::CNADataAccess;
  void SetSourceQuery(CSQLParserInfo* query) {
    query->AddRef();
    m_pclSourceQuery = query;
    m_bSourceIsQuery = 1;
  }
  // The host query's flags (4: sent as written).
  void SetQueryFlags(unsigned int flags) { m_dwQueryFlags = flags; }
};

// Key flags of the stand-in's items.
enum : unsigned short {
  kPrimary = 0x8000,
  kUnique = 0x4000,
  kDuplicates = 0x2000,
  kComposite = 0x1000,
};

class RecordBench {
 public:
  explicit RecordBench(int dialect = 5, int orderLimit = INT_MAX) : m_cnx(&m_host, dialect, orderLimit) {
    CNAError::s_Hold(&m_error);
  }
  ~RecordBench() {
    if (m_pRecord != nullptr) m_pRecord->nRelease();
    if (m_pAccess != nullptr) m_pAccess->nRelease();
  }
  RecordBench(const RecordBench&) = delete;
  RecordBench& operator=(const RecordBench&) = delete;

  // Adds an item; a composite key (kComposite) takes the items named as its components.
  CHostItemDescription* Add(const wchar_t* name, eNA_ITEMTYPE type, unsigned int size, unsigned short keys = 0,
                            BOOL nullable = TRUE, std::initializer_list<CHostItemDescription*> parts = {}) {
    CHostItemDescription& item = m_items.emplace_back(name, type, size);
    item.m_wKeyFlags = keys;
    item.m_bNullAllowed = nullable;
    item.m_tabComponents.assign(parts.begin(), parts.end());
    m_desc.Add(&item);
    return &item;
  }
  // The record over the items added so far, of query's result when given, with the server's
  // items of imported when given; FALSE when it does not initialise.
  BOOL Build(CSQLParserInfo* query = nullptr, CNADataSourceDescription* imported = nullptr) {
    CNAConnectionDescription* cnx = m_pUse != nullptr ? m_pUse : &m_cnx;
    m_pAccess = new CBenchAccess(&m_desc, cnx, &m_error);
    m_pAccess->AddRef();
    if (query != nullptr) m_pAccess->SetSourceQuery(query);
    m_pRecord = new CNARecord(&m_error, m_pAccess);
    m_pRecord->AddRef();
    return m_pRecord->bInitRecord(&m_desc, imported, cnx);
  }
  CNARecord* Record() const { return m_pRecord; }
  CNAColumn* Column(const wchar_t* name) const { return m_pRecord->pclGetColumnNoRef(name); }
  // The record is built on cnx (an opened connection of the test) instead of the bench's own.
  void UseConnection(CNAConnectionDescription* cnx) { m_pUse = cnx; }
  // The names of the record's browse order, joined by ",".
  std::wstring Order() const {
    std::wstring out;
    for (int i = 0; i < m_pRecord->nGetNbColumnOrder(); ++i)
      out += (i > 0 ? L"," : L"") + std::wstring(m_pRecord->pclGetColumnOrderNoRef(i)->pszGetName());
    return out;
  }

  CMySQLDriver m_driver;
  CHostConnectionDescription m_host;
  CBenchConnection m_cnx;
  CNAError m_error;
  CHostRecordDescription m_desc;
  std::deque<CHostItemDescription> m_items;
  CNAConnectionDescription* m_pUse = nullptr;
  CBenchAccess* m_pAccess = nullptr;
  CNARecord* m_pRecord = nullptr;
};

inline std::wstring Text(const CXYStringConcat<wchar_t>& s) { return s.pszGet(); }
