// What the live statement tests share: a data access over a table of the private server (its
// description imported from the server and laid out, or made by the test for a table still to
// create) or over a host query parsed by the stand-in engine, with its current record and the
// MySQL driver's statement; rows read into the record as a browse reads them, and the server's
// rows read back through the second connection.
#pragma once

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "access/nadataaccess.h"
#include "access/nadatasourcedescription.h"
#include "access/narecord.h"
#include "common/utf.h"
#include "mysql/mysqlstatement.h"
#include "mysql/mysqlstatementsql.h"
#include "sql/nacolumn.h"
#include "sql/nacommand.h"
#include "sql/sqlparserinfo.h"
#include "tests/mysql/live_connection.h"
#include "tests/support/any_test_values.h"
#include "tests/support/parse_bench.h"
#include "tests/support/search_values.h"

// The statements' data access: its browse SELECT is the statement's own, limited to the
// connection's cache size as the browse limits it.
class CTestAccess final : public CNADataAccess {
 public:
  using CNADataAccess::CNADataAccess;
  // query (a reference taken) is the source, with the host's query flags.
  void SetSourceQuery(CSQLParserInfo* query, unsigned int flags) {
    query->AddRef();
    m_pclSourceQuery = query;
    m_bSourceIsQuery = 1;
    m_dwQueryFlags = flags;
  }
  // The current record over the access's description, its columns paired with imported's items (may be null).
  BOOL bMakeRecord(INADataSourceDescription*, CNADataSourceDescription* imported) {
    if (imported != nullptr) _SetImportedDataSourceDesc(imported);
    return _bInitCurrentRecord();
  }
  BOOL bBuildSelect(CNACommand* command, CNAStatement* statement, const wchar_t* item, int forward,
                    NA_WRITEPARSEFLAGS flags, long long*) override {
    ++m_nSelects;
    if (!statement->bBuildQuerySELECT(command, flags, item, forward, nullptr)) return FALSE;
    const long long limit = pclGetConnectionNoRef()->llGetCacheSize();
    if (limit > 0) command->SetRowLimit(limit, 5);
    return TRUE;
  }
  int m_nSelects = 0;
};

// A statement whose protected builders the tests call.
class CTestStatement final : public CMySQLStatement {
 public:
  using CMySQLStatement::CMySQLStatement;
  using CNAStatement::_bBuildQueryCOUNT;
};

// One data access, its description and its statement, given back in that order's reverse.
struct Opened {
  CNADataSourceDescription* desc = nullptr;
  CTestAccess* access = nullptr;
  CNAStatement* st = nullptr;
  CNARecord* Record() const { return access->pclGetCurrentRecordNoRef(); }
  CNAColumn* Column(const wchar_t* name) const { return Record()->pclGetColumnNoRef(name); }
  ~Opened() {
    if (st != nullptr) st->nRelease();
    if (access != nullptr) access->nRelease();
    if (desc != nullptr) desc->nExternalRelease();
  }
};

class LiveStatementBench : public LiveConnection {
 protected:
  struct VM : AnyTest {
    static void Bind() { SetUpTestSuite(); }
  };
  explicit LiveStatementBench(const char* table) : LiveConnection(table) { CNAError::s_Hold(&m_error); }
  static void SetUpTestSuite() { VM::Bind(); }
  void SetUp() override {
    LiveConnection::SetUp();
    if (HasFatalFailure() || !m_pCnx) return;
    m_pCnx->AddRef();  // the fixture's own: accesses and commands never delete it
    m_driver.AllocError();
  }
  void TearDown() override {
    for (CNACommand* c : m_commands) c->nRelease();
    m_commands.clear();
    m_opened.clear();
    for (CNADataSourceDescription* d : m_imported) d->nExternalRelease();
    m_imported.clear();
    for (CSQLParserInfo* q : m_queries) q->nRelease();
    m_queries.clear();
    EXPECT_EQ(CHostSQLParser::nLive(), m_nLive) << "stand-in parser objects leaked";
    for (const std::string& t : m_drop) Run("DROP TABLE IF EXISTS " + t);
    LiveConnection::TearDown();
  }
  bool Unicode() const { return std::get<0>(GetParam()) == 65001; }
  static std::wstring FromUtf8(const std::string& s) {
    std::wstring out(s.size(), L'\0');
    out.resize(static_cast<size_t>(
        std::max(0, nUTF8ToWide(out.data(), static_cast<int>(out.size()), s.data(), static_cast<int>(s.size())))));
    return out;
  }
  // The table's name quoted for the server.
  static std::string Q(const std::string& name) {
    std::string out = "`";
    for (char c : name) out += c == '`' ? "``" : std::string(1, c);
    return out + "`";
  }
  // Creates the table (dropped at the end) from the column list given.
  void Create(const std::string& name, const std::string& body) {
    m_drop.push_back(Q(name));
    std::string err;
    ASSERT_TRUE(m_raw.exec("DROP TABLE IF EXISTS " + Q(name), &err) && m_raw.exec("CREATE TABLE " + Q(name) + body, &err))
        << err;
  }
  // Runs SQL (UTF-8) on the second connection.
  void Raw(const std::string& sql) {
    std::string err;
    ASSERT_TRUE(m_raw.exec(sql, &err)) << sql << ": " << err;
  }
  // Every row of sql on the second connection: "|" between columns, ";" between rows, NULL for
  // NULL; "error: ..." when it does not run.
  std::string Got(const std::string& sql) {
    RawRows rows;
    std::string err;
    if (!m_raw.query(sql, &rows, &err)) return "error: " + err;
    std::string out;
    for (size_t r = 0; r < rows.size(); ++r) {
      out += r > 0 ? ";" : "";
      for (size_t i = 0; i < rows[r].size(); ++i) out += (i > 0 ? "|" : "") + rows[r][i].value_or("NULL");
    }
    return out;
  }

  // A second connection of the driver's, opened with the extended settings added (in the
  // fixture's SQL mode); given back at the end.
  CMySQLConnection* Connection(const std::string& settings) {
    m_hostText.push_back(m_str[3] + Wide(";" + settings));
    m_extraHost.push_back(m_host);
    m_extraHost.back().m_pszExtendedInfo = m_hostText.back().c_str();
    auto& cnx = m_extra.emplace_back(std::make_unique<CMySQLConnection>(L"extra", &m_extraHost.back()));
    cnx->AddRef();
    EXPECT_TRUE(cnx->bOpen(&m_error));
    const wchar_t* mode = L"SET SESSION sql_mode = CONCAT(@@sql_mode, ',NO_BACKSLASH_ESCAPES')";
    EXPECT_TRUE(!std::get<1>(GetParam()) || cnx->bExecuteQueryNoResult(&m_error, mode));
    return cnx.get();
  }

  // The access over the server's table, named in UTF-8 (its description imported and laid out).
  Opened* Open(const std::string& table) {
    const std::wstring name = FromUtf8(table);
    INADataSourceDescription* imported = static_cast<INADriver&>(m_driver).piGetTableDesc(name.c_str(), &m_host);
    auto* desc = dynamic_cast<CNADataSourceDescription*>(imported);
    if (desc == nullptr) {
      ADD_FAILURE() << "no description of " << table << ": " << ParseBench::Narrow(m_error.pszGetError());
      return nullptr;
    }
    desc->UpdateRecordSize();
    return Make(desc, desc, nullptr, 0);
  }
  // The access over a description the test made (one external reference taken here).
  Opened* Open(CNADataSourceDescription* desc) {
    desc->ExternalAddRef();
    return Make(desc, nullptr, nullptr, 0);
  }
  // The access over a description the test made (one external reference taken here), its items
  // paired with those the server gives for table (named in UTF-8), as a host file over a table.
  Opened* OpenOver(CNADataSourceDescription* desc, const std::string& table) {
    INADataSourceDescription* server =
        static_cast<INADriver&>(m_driver).piGetTableDesc(FromUtf8(table).c_str(), &m_host);
    auto* imported = dynamic_cast<CNADataSourceDescription*>(server);
    if (imported == nullptr) {
      ADD_FAILURE() << "no description of " << table;
      return nullptr;
    }
    imported->UpdateRecordSize();
    m_imported.push_back(imported);
    desc->ExternalAddRef();
    return Make(desc, imported, nullptr, 0);
  }
  // A description of the driver's class named table, for a table the statement creates.
  CNADataSourceDescription* NewDescription(const std::wstring& table) {
    CNADataSourceDescription* desc = m_driver.pclAllocDataSourceDescription(m_pCnx.get(), &m_error);
    desc->SetLogicalName(table.c_str());
    desc->SetDBName(table.c_str());
    return desc;
  }
  // The access over the host query text with the query flags given (4: sent as written).
  Opened* OpenQuery(const std::wstring& text, unsigned int flags = 0, CNAConnectionDescription* cnx = nullptr) {
    ISQLParserInformation* parse = m_parses.Parse(text);
    if (parse == nullptr) return nullptr;
    auto* query = new CSQLParserInfo(&m_error, parse, nullptr, 0);
    query->AddRef();
    parse->nRelease();
    m_queries.push_back(query);
    CNADataSourceDescription* desc = NewDescription(L"query");
    desc->ExternalAddRef();
    if (!desc->bCompleteDescription(query)) ADD_FAILURE() << "no description of the query";
    return Make(desc, nullptr, query, flags, cnx);
  }
  // A host table of the parse bench on the server's table name.
  CHostRecordDescription* HostTable(const wchar_t* name, const std::string& dbName) {
    CHostRecordDescription* t = m_parses.Table(name, m_texts.emplace_back(Wide(dbName)).c_str());
    t->m_pszDBTableName = t->m_pszPhysicalName;
    return t;
  }

  // An item of the host table, named in its source as on the server, its source the server's
  // table (as the access's aliases make it).
  CHostItemDescription* HostItem(CHostRecordDescription* table, const wchar_t* name, eNA_ITEMTYPE type,
                                 unsigned int size, unsigned short keys = 0, BOOL nullable = TRUE) {
    CHostItemDescription* item = m_parses.Item(table, name, type, size, keys, nullable);
    item->m_pszNameInSource = item->pszGetName();
    item->m_pszSourceName = table->m_pszDBTableName;
    return item;
  }

  // A command of the access's, given back at the end.
  CNACommand* Command(Opened* o) {
    CNACommand* c = o->access->pclAllocCommand(&m_error);
    c->AddRef();
    m_commands.push_back(c);
    return c;
  }
  // The statement builds the text of type and runs it; the text sent is kept in m_sent.
  bool Exec(Opened* o, eNAQUERYTYPE type, NA_WRITEPARSEFLAGS flags = 0) {
    CNACommand* c = Command(o);
    m_sent = "<not built>";
    if (!o->st->bBuildQuery(type, c, flags)) return false;
    m_sent = Sent(c);
    return o->st->bExecute(flags, CNAStatement::NA_ST_NOPREPARE) != 0;
  }
  // The command's formatted text, as the bytes the server receives.
  static std::string Sent(CNACommand* c) {
    int length = 0;
    const char* text = c->pszGetFormatedSQLA(NA_PARAMCONV_ALL, &length);
    return text != nullptr ? std::string(text, static_cast<size_t>(length)) : std::string("<no text>");
  }
  // Reads the row of the access's table that where selects into the record as the browse does:
  // each column's converter takes the server's value, then the record as read becomes the
  // original one.
  // A query's row is read from table (UTF-8), by its columns' names there.
  bool Read(Opened* o, const std::string& where, const std::string& queryTable = "") {
    CNARecord* record = o->Record();
    std::wstring columns;
    for (int i = 0; i < record->nGetNbColumn() && !record->pclGetColumnNoRef(i)->bIsComposedKey(); ++i) {
      CNAColumn* c = record->pclGetColumnNoRef(i);
      columns += (i > 0 ? L", " : L"") +
                 std::wstring(queryTable.empty() ? c->pszGetFormatedName() : c->pszGetFormatedOriginalName());
    }
    CTString table;
    if (!queryTable.empty()) {
      table = FromUtf8(Q(queryTable)).c_str();
    } else if (!m_pCnx->bFormatTableName(&m_error, o->access->pszGetDBTableName(), &table)) {
      return false;
    }
    CMySQLStatementSQL sql(m_pCnx.get(), &m_error);
    sql.SetStatic(true);
    if (!sql.bExecuteDirect((L"SELECT " + columns + L" FROM " + table.pszGet() + L" WHERE " + Wide(where)).c_str(),
                            nullptr, 0) ||
        !sql.bFetch(0) || sql.bIsEnd())
      return false;
    for (int i = 0; i < record->nGetNbColumn() && !record->pclGetColumnNoRef(i)->bIsComposedKey(); ++i) {
      CNAColumn* c = record->pclGetColumnNoRef(i);
      if (!sql.bGetValue(c->pclGetNAValue(), static_cast<unsigned int>(i), 0)) return false;
      c->_SetItemValueDefinedInKJRecord(c->pclGetNAValue()->bIsNull() ? FALSE : TRUE, 0);
      c->SetNotModified();
    }
    return record->bCopyCurrentRecordToOriginalRecord() != 0;
  }
  // The column's current value as text (Show's form); "<no column>" when there is none.
  static std::wstring Value(Opened* o, const wchar_t* name) {
    CNAColumn* c = o->Column(name);
    CAny v;
    if (c == nullptr || !c->bGetCurrentValue(&v, 0)) return L"<no column>";
    return Show(v);
  }
  bool Set(Opened* o, const wchar_t* name, const CAny& v) {
    CNAColumn* c = o->Column(name);
    return c != nullptr && c->bSetValue(&v, 0) != 0;
  }
  // "<user code>" and its information names "<table>/<item>"; "" without an error. Cleared.
  std::string Err() {
    const unsigned int code = m_error.nGetUserErrorCode();
    if (m_error.dwGetErrorId() == 0 && code == 0) return "";
    std::string out = std::to_string(code);
    for (eERRORINFOTYPE type : {EIT_LOGICALTABLENAME, EIT_ITEMNAME}) {
      const void* value = nullptr;
      const CXError* e = m_error.pclGetXError();
      out += type == EIT_LOGICALTABLENAME ? " " : "/";
      if (e != nullptr && e->bGetInfo(type, &value) && value != nullptr)
        out += ParseBench::Narrow(static_cast<const wchar_t*>(value));
    }
    m_error.Reset();
    return out;
  }

  // Given back after the accesses made on them.
  std::deque<std::wstring> m_hostText;
  std::deque<CHostConnectionDescription> m_extraHost;
  std::vector<std::unique_ptr<CMySQLConnection>> m_extra;
  ParseBench m_parses;
  std::deque<std::wstring> m_texts;
  std::vector<std::unique_ptr<Opened>> m_opened;
  std::vector<CNACommand*> m_commands;
  std::vector<CNADataSourceDescription*> m_imported;
  std::vector<CSQLParserInfo*> m_queries;
  std::vector<std::string> m_drop;
  std::string m_sent;
  const long m_nLive = CHostSQLParser::nLive();

 private:
  Opened* Make(CNADataSourceDescription* desc, CNADataSourceDescription* imported, CSQLParserInfo* query,
               unsigned int flags, CNAConnectionDescription* cnx = nullptr) {
    auto& o = m_opened.emplace_back(std::make_unique<Opened>());
    o->desc = desc;
    o->access = new CTestAccess(desc, cnx != nullptr ? cnx : m_pCnx.get(), &m_error);
    o->access->AddRef();
    if (query != nullptr) o->access->SetSourceQuery(query, flags);
    if (!o->access->bMakeRecord(desc, imported)) {
      ADD_FAILURE() << "no record: " << ParseBench::Narrow(m_error.pszGetError());
      return nullptr;
    }
    o->st = new CTestStatement(o->access, &m_error);
    o->st->AddRef();
    return o.get();
  }
};
