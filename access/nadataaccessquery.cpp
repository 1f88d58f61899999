// Queries run as data accesses: the host's parsed query, or a text of the driver's own, becomes
// the access's source under a description named after the query; the result is described from
// the parse or from the server's answer and handed to the reading road, which browses it as a
// table. Writes to it go through the write road, which refuses a query sent as written.
#include <cwchar>
#include <cwctype>
#include <new>

#include "access/nadataaccess.h"
#include "access/nadataaccessguards.h"
#include "access/nadatasourcedescription.h"
#include "access/narecord.h"
#include "access/natable.h"
#include "access/natablecache.h"
#include "common/str_charclass.h"
#include "common/str_compare.h"
#include "driver/inaqueryexecution.h"
#include "driver/nacontext.h"
#include "driver/naconnectiondescription.h"
#include "driver/naerror.h"
#include "sql/nacolumn.h"
#include "sql/nacommand.h"
#include "sql/nastatement.h"
#include "sql/sqlparserinfo.h"

using naguards::CHeldStatement;

namespace {

// Query flags (eNA_QUERYMODE) read here.
constexpr unsigned int kSentAsWritten = 4, kPrepareOnly = 16, kNoRecordCache = 0x80, kJoin = 0x80000000u;
constexpr unsigned int kInternalMode = 128 | kSentAsWritten;

// Read flags of the query's first read.
enum : unsigned int {
  kReuse = 0x2000,
  kContinue = 0x4000,
  kNoRowCache = 0x10000,
  kDefaultItem = 0x20000,
  kNoCache = 0x100000,
};

enum : int { kSiteCodePage = 40 };
constexpr unsigned int kErrCodePage = 77;

bool SameName(const wchar_t* a, const wchar_t* b) {
  return STR_nCompareW(a != nullptr ? a : L"", b != nullptr ? b : L"", 3) == 0;
}

bool SameNoCase(const wchar_t* a, const wchar_t* b) { return wcscasecmp(a != nullptr ? a : L"", b != nullptr ? b : L"") == 0; }

// " JOIN " in any case after the text's first character.
bool JoinAfterStart(const wchar_t* text) {
  if (text == nullptr || *text == 0) return false;
  static constexpr wchar_t kJoinWord[] = L" JOIN ";
  const size_t n = wcslen(kJoinWord);
  for (const wchar_t* p = text + 1; *p != 0; ++p) {
    size_t i = 0;
    while (i < n && p[i] != 0 && static_cast<wchar_t>(towupper(static_cast<wint_t>(p[i]))) == kJoinWord[i]) ++i;
    if (i == n) return true;
  }
  return false;
}

}  // namespace

// ---------------------------------------------------------------- entries

BOOL CNADataAccess::bExecuteQuery(int* result, const wchar_t* name, ISQLParserInformation* query, eNA_QUERYMODE mode,
                                  const INAQueryExecution* execution) {
  int local = 0;
  return _bExecuteQuery(result != nullptr ? result : &local, name, mode, nullptr, query, execution);
}

BOOL CNADataAccess::bExecuteQueryInternal(CNAStatement** out, const wchar_t* name, const wchar_t* text) {
  *out = nullptr;
  int result = 0;
  if (!_bExecuteQuery(&result, name, static_cast<eNA_QUERYMODE>(kInternalMode), text, nullptr, nullptr)) return FALSE;
  if (result != 0 && m_pclLastStatement != nullptr) {
    m_pclLastStatement->AddRef();
    *out = m_pclLastStatement;
  }
  return TRUE;
}

BOOL CNADataAccess::_bExecuteQuery(int* result, const wchar_t* name, eNA_QUERYMODE mode, const wchar_t* text,
                                   ISQLParserInformation* parser, const INAQueryExecution* execution) {
  *result = 0;
  const int prepared = (mode & kPrepareOnly) == 0 && bHPrepareRequeteCalled() ? 1 : 0;
  if (m_pclConnection == nullptr || !m_pclConnection->bOpen(m_pclError)) return FALSE;
  CNACommand* command = nullptr;
  CTString item;
  if (prepared) {
    m_dwQueryFlags &= ~kPrepareOnly;
  } else {
    if (!_bInitQuery(&command, &item, name, mode, text, parser, execution)) return FALSE;
    if (!bRequeteSansCorrection() && item.nTaille() != 0) {
      // The first record was read by the set-up.
      *result = m_piDescription != nullptr && m_piDescription->nGetNumItems() != 0 ? 1 : 0;
      if (command != nullptr) command->nRelease();
      return TRUE;
    }
  }
  CNAStatement* stmt = nullptr;
  BOOL answer = _bExecuteQuery(&stmt, command, item.pszGet(), prepared, mode);
  if (answer) answer = _bInitQueryParse(result, stmt, item.pszGet(), mode);
  if (stmt != nullptr) stmt->nRelease();
  if (command != nullptr) command->nRelease();
  return answer;
}

// ---------------------------------------------------------------- set-up

BOOL CNADataAccess::_bSetQuery(int isQuery, const wchar_t* name, ISQLParserInformation* parser, eNA_QUERYMODE mode) {
  m_bSourceIsQuery = isQuery;
  _ResetDataAccess();
  _SetExecutionStatement(nullptr);
  if (!isQuery) {
    m_dwQueryFlags = 0;
    return TRUE;
  }
  unsigned int flags = mode;
  const wchar_t* text = nullptr;
  if (parser == nullptr) {
    flags |= kSentAsWritten;
  } else {
    text = parser->pszGetRequete();
    const int codePage = m_pclConnection != nullptr ? m_pclConnection->nGetServerCodePage() : -2;
    if ((mode & kSentAsWritten) != 0 && codePage != -2 && codePage != 65001 &&
        !bAnsiCompatible(text != nullptr ? text : L"", static_cast<unsigned int>(codePage))) {
      const wchar_t* connection = m_pclConnection->pszGetLogicalConnectionName();
      const wchar_t* defaultBase = m_pclConnection->pszGetDefaultDataBaseEx();
      const wchar_t* base = m_pclConnection->pszGetDataBase();
      m_pclError->AddError(NA_ERRORTYPE_DEFAULT, NA_SRC_DATAACCESS, kSiteCodePage, m_pclConnection, kErrCodePage,
                           name != nullptr ? name : L"", codePage, connection != nullptr ? connection : L"",
                           defaultBase != nullptr ? defaultBase : L"", base != nullptr ? base : L"");
      m_pclError->AddDebugMessageNoFormatFirst(text != nullptr ? text : L"");
      return FALSE;
    }
    CSQLParserInfo* info = new (std::nothrow) CSQLParserInfo(
        m_pclError, parser, m_pclTable != nullptr ? m_pclTable->piGetQueryBindVariableNoRef() : nullptr, 0);
    if (info == nullptr) {
      _NoMemory();
      return FALSE;
    }
    info->AddRef();
    m_pclSourceQuery = info;
  }
  if ((flags & kSentAsWritten) == 0 && JoinAfterStart(text)) flags |= kJoin;
  m_dwQueryFlags = flags;
  return TRUE;
}

void CNADataAccess::_SetDataSource(INADataSourceDescription* desc) {
  if (desc == m_piDescription) return;
  if (desc != nullptr) desc->ExternalAddRef();
  if (m_piDescription != nullptr) m_piDescription->nExternalRelease();
  m_piDescription = desc;
  // The host layout's clone follows the description it was made from.
  if (m_piDescriptionForKJ != nullptr) m_piDescriptionForKJ->nExternalRelease();
  m_piDescriptionForKJ = nullptr;
}

BOOL CNADataAccess::_bInitQuery(CNACommand** command, CTString* itemName, const wchar_t* name, eNA_QUERYMODE mode,
                                const wchar_t* text, ISQLParserInformation* parser, const INAQueryExecution* execution) {
  *command = nullptr;
  itemName->Vide();
  if (!_bSetQuery(1, name, parser, mode)) return FALSE;
  CNADataSourceDescription* desc = _pclAllocDataSource(m_pclConnection, m_pclError);
  if (desc == nullptr) {
    _NoMemory();
    return FALSE;
  }
  desc->SetLogicalName(name != nullptr ? name : L"");
  desc->SetDBName(name != nullptr ? name : L"");
  _SetDataSource(desc);
  const int kind = m_pclSourceQuery != nullptr ? m_pclSourceQuery->nGetQueryKind() : 0;
  if (bRequeteSansCorrection() || (kind != 1 && kind != 2)) {
    CNACommand* cmd = pclAllocCommand(m_pclError);
    if (cmd == nullptr) return FALSE;
    cmd->AddRef();
    cmd->SetQueryType(static_cast<eTYPEREQUETE>(kind));
    const BOOL ok = m_pclSourceQuery == nullptr
                        ? cmd->bSetInternalQuery(text, ~0u)
                        : cmd->bFormatCondition(m_pclSourceQuery, nullptr, 1, static_cast<int>(m_dwQueryFlags));
    if (!ok) {
      cmd->nRelease();
      return FALSE;
    }
    *command = cmd;
    return TRUE;
  }
  const BOOL described = desc->bCompleteDescription(m_pclSourceQuery) && _bInitCurrentRecord();
  NA_WRITEPARSEFLAGS flags = kDefaultItem;
  CTString column;
  if (execution != nullptr) {
    m_bQueryExecutionGiven = 1;
    flags = execution->dwGetFlags() | kContinue;
    const wchar_t* asked = execution->pszGetRequestedColumn();
    IInfoRubrique* out = asked != nullptr && *asked != 0 ? m_pclSourceQuery->piEnumRubriqueOUT(asked) : nullptr;
    if (out != nullptr) {
      column = asked;
      const wchar_t* order = m_pclSourceQuery->pszGetOrderByItem();
      // Noted once per parse for the browse's record limit.
      if (order != nullptr && !SameNoCase(order, asked)) m_pclSourceQuery->bQueryResultsetLimited(m_pclConnection);
    } else {
      flags |= kDefaultItem;
    }
  }
  if (column.nTaille() == 0) column = pszGetBestParseItemName();
  CNAItemDescription* item = desc->pclNAGetItemNoRef(column.pszGet(), 2);
  m_csLastParseItem = column;
  if (!described) return FALSE;
  m_bOpened = 1;
  eNA_LOCKTYPE lockOut = static_cast<eNA_LOCKTYPE>(0);
  const BOOL read = bHLitxxx(column.pszGet(), NA_PARSE_FIRST, 1, static_cast<eNA_LOCKTYPE>(1), &lockOut, flags);
  if (read && item != nullptr && !SameNoCase(item->pszGetName(), column.pszGet())) {
    m_csLastParseItem = item->pszGetName();
    _bChangeStatementKey(item->pszGetName(), column.pszGet(), nullptr);
  }
  *itemName = item != nullptr ? item->pszGetName() : column.pszGet();
  m_bQueryParseStarted = 1;
  return read;
}

BOOL CNADataAccess::_bExecuteQuery(CNAStatement** out, CNACommand* command, const wchar_t* itemName, int prepared,
                                   eNA_QUERYMODE mode) {
  *out = nullptr;
  CNAStatement* stmt = nullptr;
  if (!bRequeteSansCorrection()) {
    stmt = _pclFindStatement(itemName);
    if (stmt == nullptr) stmt = _pclInitStatement(itemName);
    if (stmt != nullptr && itemName != nullptr && *itemName != 0) m_pclLastStatement = stmt;
  } else {
    stmt = _pclGetQueryStatement();
  }
  if (stmt == nullptr) {
    _NoMemory();
    return FALSE;
  }
  BOOL ok = FALSE;
  if ((mode & kPrepareOnly) == 0) {
    const NA_WRITEPARSEFLAGS flags = (m_dwQueryFlags & kNoRecordCache) != 0 ? (kNoRowCache | kNoCache) : 0;
    ok = prepared ? stmt->bExecutePreparedQuery(flags, 1)
                  : stmt->bExecuteDirectNewCommand(command, flags, CNAStatement::NA_ST_PREPARE);
  } else {
    _SetExecutionStatement(stmt);
    ok = stmt->bPrepare(command, 1);
    // A server statement that cannot prepare says nothing: the host still gets a reason.
    if (!ok && m_pclError->eGetErrorLevel() == NAERRORLEVEL_NONE) _RaiseNotSupported();
  }
  if (!ok) {
    stmt->nRelease();
    return FALSE;
  }
  *out = stmt;
  return TRUE;
}

BOOL CNADataAccess::_bInitQueryParse(int* result, CNAStatement* stmt, const wchar_t* itemName, eNA_QUERYMODE mode) {
  if ((mode & kPrepareOnly) == 0 && bHPrepareRequeteCalled()) {
    *result = m_piDescription != nullptr && m_piDescription->nGetNumItems() != 0 ? 1 : 0;
  } else {
    auto* host = dynamic_cast<CNADataSourceDescription*>(m_piDescription);
    *result = 0;
    if (host == nullptr || !stmt->bGetQueryStructure(host)) return FALSE;
    if (host->nGetNumItems() != 0) {
      *result = 1;
      _SetImportedDataSourceDesc(host);
      if (!bRequeteSansCorrection() || (m_pclConnection != nullptr && m_pclConnection->bIsSQLService())) {
        CNADataSourceDescription* clone = host->pclGetCloneDataSourceDescription(static_cast<CNAItemDescription::eCLONEDESC>(0));
        if (clone == nullptr) return FALSE;
        _SetDataSource(clone);
        if (!bRequeteSansCorrection() && !clone->bCompleteDescription(m_pclSourceQuery)) return FALSE;
      }
      if (!_bInitCurrentRecord()) return FALSE;
      stmt->SetDataSource(m_piDescription);
      stmt->SetCurrentRecord(m_pclCurrentRecord);
      m_nDBCompatibility = 1;
      CNACommand* command = stmt->pclGetQueryNoRef();
      if (bRequeteSansCorrection() && command != nullptr) {
        for (int i = 0; i < m_pclCurrentRecord->nGetNbColumn(); ++i) {
          CNAColumn* column = m_pclCurrentRecord->pclGetColumnNoRef(i);
          if (!column->bIsComposedKey()) command->AddDefine(column);
        }
      }
    }
  }
  if ((mode & kPrepareOnly) != 0) return TRUE;
  if ((!bRequeteSansCorrection() && (itemName == nullptr || *itemName == 0)) || *result != 1) {
    stmt->Close();
    return TRUE;
  }
  const BOOL handed = _bInitParcoursRequete(stmt);
  m_bOpened = 1;
  return handed;
}

// ---------------------------------------------------------------- hand-over to the browse

BOOL CNADataAccess::_bInitParcoursRequete(CNAStatement* stmt) {
  m_pclLastStatement = stmt;
  stmt->SetParseStarted();
  BOOL answer = TRUE;
  if (bRequeteSansCorrection()) {
    const CTString best(pszGetBestParseItemName());
    if (!SameName(stmt->pszGetParseItem(), best.pszGet())) {
      const CTString former(stmt->pszGetParseItem());
      if (!_bChangeStatementKey(best.pszGet(), former.pszGet(), stmt)) {
        m_bQueryParseStarted = 1;
        return FALSE;
      }
    }
    stmt->EnableCache(1);
    answer = _bCreateNewTableCache(stmt);
    if (answer) m_pclTableCache->bSetStatementParse(stmt);
  }
  m_bQueryParseStarted = 1;
  return answer;
}

CNAStatement* CNADataAccess::_pclFirstReadAfterQuery(const wchar_t* item, NA_WRITEPARSEFLAGS* flags) {
  CNAStatement* current = m_pclLastStatement;
  if (current == nullptr) return nullptr;
  if (m_pclLatestFilter == nullptr && !current->bExistRechercheObject() &&
      (bRequeteSansCorrection() || (*flags & kDefaultItem) != 0 ||
       (SameName(current->pszGetBrowseItem(), item) && (current->dwGetParseFlags() & kDefaultItem) == 0))) {
    // The run's open result serves the read.
    *flags |= kReuse;
    if ((*flags & kNoCache) != 0) {
      current->EnableCache(0);
      _FreeTableCache();
    }
  }
  if ((*flags & kContinue) == 0 || !SameNoCase(current->pszGetParseItem(), item)) return nullptr;
  current->AddRef();
  current->SetParseStarted();
  return current;
}

BOOL CNADataAccess::_bChangeStatementKey(const wchar_t* newItem, const wchar_t* oldItem, CNAStatement* stmt) {
  const wchar_t* to = newItem != nullptr ? newItem : L"";
  CHeldStatement held(_pclFindStatement(oldItem));
  CNAStatement* moved = held.get();
  if (moved == nullptr || (stmt != nullptr && stmt != moved)) return FALSE;
  CHeldStatement there(_pclFindStatement(to));
  if (there.get() != moved) {
    // A statement left hidden under a name kept twice would never be found again: it goes.
    if (there.get() != nullptr) {
      if (m_pclLastStatement == there.get()) m_pclLastStatement = moved;
      m_tabStatement.bRemoveValue(to);
    }
    // The new entry first: a failure leaves the old one as it was.
    if (!m_tabStatement.bAddValue(to, moved)) {
      _NoMemory();
      return FALSE;
    }
    m_tabStatement.bRemoveValue(oldItem != nullptr ? oldItem : L"");
  }
  moved->SetParseItem(to);
  moved->SetBrowseItem(to);
  return TRUE;
}

// ---------------------------------------------------------------- small operations

CNAStatement* CNADataAccess::_pclGetQueryStatement() { return _pclGetWriteStatement(); }

BOOL CNADataAccess::_bGetRequestedValue(CNAStatement* stmt, CAny* out, CNACommand* cmd) {
  if (stmt == nullptr || cmd == nullptr) return FALSE;
  return stmt->bExecuteDirectNewCommand(cmd, 0, CNAStatement::NA_ST_PREPARE) && stmt->bGetResultValue(out, 0);
}

BOOL CNADataAccess::_bGetRequestedValue(CAny* out, CNACommand* cmd) {
  CHeldStatement held(_pclGetQueryStatement());
  if (held.get() == nullptr) {
    _NoMemory();
    return FALSE;
  }
  const BOOL ok = _bGetRequestedValue(held.get(), out, cmd);
  held.get()->ResetStatement();
  return ok;
}

void CNADataAccess::_SetExecutionStatement(CNAStatement* stmt) {
  if (stmt == m_pclExecuteStatement) return;
  if (stmt != nullptr) stmt->AddRef();
  if (m_pclExecuteStatement != nullptr) m_pclExecuteStatement->nRelease();
  m_pclExecuteStatement = stmt;
}

BOOL CNADataAccess::bHPrepareRequeteCalled() const {
  return m_bSourceIsQuery && m_pclSourceQuery != nullptr && m_pclSourceQuery->bHPrepareRequeteCalled() ? TRUE : FALSE;
}

CNADataAccess* CNADataAccess::pclFindDataAccessByDBTableName(const wchar_t* name) const {
  return m_pclContext != nullptr ? m_pclContext->pclFindDataAccessByDBTableName(m_pclConnection, name) : nullptr;
}
