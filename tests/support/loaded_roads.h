// The three roads by which the host reaches a server table through the loaded driver: the table
// itself (a host file described from the driver's import), a SELECT the host parsed and the same
// SELECT sent as written. A road is opened over a table of the private server and answers the
// host's reads, seeks, filters and writes as the host asks them, with the id of the row it stands
// on.
#pragma once

#include <cstring>
#include <deque>
#include <string>

#include "access/inatable.h"
#include "common/utf.h"
#include "driver/inadatasourcedescription.h"
#include "driver/inadriver.h"
#include "driver/inaerror.h"
#include "host/host_context.h"
#include "host/host_loader.h"
#include "host/host_sqlparser.h"
#include "sql/nakjrecord.h"
#include "tests/support/hostconnections.h"
#include "tests/support/loaded_types.h"
#include "values/any.h"

enum class ERoad { kTable, kParsed, kAsWritten };
inline const char* RoadName(ERoad road) {
  return road == ERoad::kTable ? "table" : road == ERoad::kParsed ? "parsed query" : "query as written";
}
inline constexpr ERoad kEveryRoad[] = {ERoad::kTable, ERoad::kParsed, ERoad::kAsWritten};

inline DWORD NextContext() {
  static DWORD next = 1000;
  return ++next;
}

// The host's names: its file's (empty: the table's own) and the value column's.
struct SHostNames {
  std::string file;
  std::wstring v = L"v";
  // false: the items name no source, as the host describes a file of its own.
  bool sourced = true;
};

// One road open over a server table of columns id (its primary key) and v, which the host's file
// declares a key with duplicates so that it is sought, filtered and browsed on.
class COpenRoad {
 public:
  COpenRoad() = default;
  COpenRoad(const COpenRoad&) = delete;
  COpenRoad& operator=(const COpenRoad&) = delete;
  ~COpenRoad() { Close(); }

  // "" once open, else why not. The query roads run "SELECT id, v FROM table" and where, when given
  // (" WHERE ...", UTF-8).
  std::string Open(INADriver* driver, CHostLoader* loader, INAConnectionDescription* host, ERoad road,
                   const std::string& table, const std::string& where = "", const SHostNames& names = {}) {
    m_pDriver = driver;
    m_pHost = host;
    m_eRoad = road;
    m_v = names.v;
    m_table = WideOfUTF8(table);
    m_file = names.file.empty() ? m_table : WideOfUTF8(names.file);
    INADataSourceDescription* imported = driver->piGetTableDesc(m_table.c_str(), host);
    if (imported == nullptr) return "no description: " + Narrow(driver->piGetLastError()->pszGetError());
    // The host's file: an item for each column as the import describes it, v a key with
    // duplicates, each naming its source as a query's catalogue does.
    // A road opened again describes its file anew: the items of the last open named texts since
    // replaced.
    m_desc = CHostRecordDescription();
    m_desc.m_pszName = m_file.c_str();
    m_desc.m_pszPhysicalName = m_desc.m_pszDBTableName = m_table.c_str();
    for (int i = 0; i < imported->nGetNumItems(); ++i) {
      INAItemDescription* item = imported->piNAGetItem(static_cast<unsigned int>(i));
      const std::wstring& name = m_names.emplace_back(item->pszGetName());
      CHostItemDescription& h = m_items.emplace_back(name.c_str(), item->eNAGetItemType(), item->nGetItemSize());
      h.m_nIntegerPart = item->nGetIntegerPart();
      h.m_nDecimalPart = item->nGetDecimalPart();
      h.m_pszNameInSource = names.sourced ? name.c_str() : L"";
      h.m_pszSourceName = names.sourced ? m_file.c_str() : L"";
      if (name == L"id") {
        h.m_wKeyFlags = 0x8000;
        h.m_bNullAllowed = FALSE;
      } else if (name == names.v && !h.bMemo()) {
        h.m_wKeyFlags = 0x2000;
      }
      m_desc.Add(&h);
      item->nExternalRelease();
    }
    imported->nExternalRelease();
    if (road == ERoad::kTable) {
      m_pTable = loader->piGetTable(host, &m_desc);
      if (m_pTable == nullptr) return "no table";
      if (!m_pTable->bHOuvre(&ctx, eNA_ACCESS{0}, nullptr)) return FullError();
      return "";
    }
    CHostSQLCatalogue catalogue;
    catalogue.Add(&m_desc);
    const std::string text = "SELECT id, v FROM " + (names.file.empty() ? table : names.file) + where;
    m_text = WideOfUTF8(text);
    CTString error;
    m_pParse = CHostSQLParser::piParse(m_text.c_str(), catalogue, &error);
    if (m_pParse == nullptr) return "no parse: " + Narrow(error.pszGet());
    if (!driver->bHExecuteRequeteSQLEx(&m_pTable, &ctx, L"Q", host, m_pParse, road == ERoad::kAsWritten ? 4 : 0,
                                       nullptr) ||
        m_pTable == nullptr)
      return "query refused: " + Narrow(driver->piGetLastError()->pszGetError());
    return "";
  }
  void Close() {
    if (m_pTable != nullptr) {
      if (m_eRoad == ERoad::kTable) m_pTable->bHFerme(&ctx);
      m_pTable->nExternalRelease();
      if (m_eRoad != ERoad::kTable) m_pDriver->bFreeDataSource(&ctx, L"Q", m_pHost);
      m_pTable = nullptr;
    }
    // The context's accesses go with it, and the parse they hold, before the host's file goes.
    if (m_pDriver != nullptr) m_pDriver->bCloseContext(&ctx);
    m_pDriver = nullptr;
    if (m_pParse != nullptr) m_pParse->nRelease();
    m_pParse = nullptr;
  }

  INATable* operator->() const { return m_pTable; }
  // The road's last error: its code and the item it names.
  std::string Error() {
    INAError* error = m_pTable->piGetLastError(&ctx);
    return std::to_string(error->dwGetErrorId()) + " " + Narrow(error->pszGetItemName());
  }
  // The same with the error's text.
  std::string FullError() { return Error() + ": " + Narrow(m_pTable->piGetLastError(&ctx)->pszGetError()); }
  // The id of the current row, "out" out of range, "error ..." when that cannot be read.
  std::string Current(const wchar_t* item = nullptr) {
    if (item == nullptr) item = m_v.c_str();
    int out = 0;
    if (!m_pTable->bHEnDehors(&ctx, item, &out)) return "error " + Error();
    if (out != 0) return "out";
    return Int(L"id");
  }
  // The 4-byte integer item of the current record, whether in range or not.
  std::string Int(const wchar_t* name) {
    CNAKJRecord* record = nullptr;
    if (!m_pTable->bGetRecord(&ctx, &record) || record == nullptr) return "no record";
    INAItemDescription* item = Item(name);
    int value = 0;
    if (item != nullptr) memcpy(&value, record->pbyGetValues() + item->nGetOffset(0), 4);
    if (item != nullptr) item->nExternalRelease();
    record->vnRelease();
    return std::to_string(value);
  }
  // The ids of a browse on v from one end to the other, each followed by a blank; a failed read
  // ends it with its error.
  std::string Browse(bool forward, const wchar_t* item = nullptr) {
    if (item == nullptr) item = m_v.c_str();
    std::string ids;
    for (eNA_PARSEDIRECTION dir = forward ? NA_PARSE_FIRST : NA_PARSE_LAST;;
         dir = forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS) {
      if (!m_pTable->bHLitxxx(&ctx, item, dir, 1, eNA_LOCKTYPE{0}, nullptr, 0)) return ids + "read failed " + Error();
      const std::string id = Current(item);
      if (id == "out") return ids;
      ids += id + " ";
      if (ids.size() > 4000) return ids + "...";
    }
  }
  // A seek of value on v: "found <id>", "not found", or "FALSE <error>".
  std::string Seek(const CAny& value, bool generic = false) {
    if (!m_pTable->bHRecherche(&ctx, m_v.c_str(), &value, generic ? 1 : 0, 1, eNA_LOCKTYPE{0}, nullptr, 1, 0))
      return "FALSE " + Error();
    int found = 0;
    if (!m_pTable->bEvalHTrouve(&ctx, m_v.c_str(), &found, nullptr)) return "FALSE " + Error();
    return found != 0 ? "found " + Current() : "not found";
  }
  // A seek of value, then the rows after it: "<id> <id> ... " from the row found, or the seek's answer.
  std::string SeekOn(const CAny& value, bool forward = true) {
    const std::string found = Seek(value);
    if (found.rfind("found ", 0) != 0) return found;
    std::string ids = found.substr(6) + " ";
    for (;;) {
      if (!m_pTable->bHLitxxx(&ctx, m_v.c_str(), forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS, 1, eNA_LOCKTYPE{0}, nullptr, 0))
        return ids + "read failed " + Error();
      const std::string id = Current();
      if (id == "out") return ids;
      ids += id + " ";
      if (ids.size() > 4000) return ids + "...";
    }
  }
  // The ids a filter of v between low and high (both included) lets through, first to last.
  std::string Filter(const CAny& low, const CAny& high) {
    if (!m_pTable->bHFiltre(&ctx, m_v.c_str(), &low, 1, &high, 1, nullptr)) return "FALSE " + Error();
    const std::string ids = Browse(true);
    m_pTable->bHDesactiveFiltre(&ctx, m_v.c_str(), 0);
    return ids;
  }
  // item (v by default) of the current record takes value (a memo by its memo number); FALSE when
  // refused.
  BOOL Put(const CAny& value, const wchar_t* item = nullptr) {
    if (item == nullptr) item = m_v.c_str();
    CNAKJRecord* record = nullptr;
    if (!m_pTable->bGetRecord(&ctx, &record) || record == nullptr) return FALSE;
    INAItemDescription* v = Item(item);
    INADataSourceDescription* desc = m_eRoad == ERoad::kTable ? m_desc.ExternalAddRef() : m_pTable->piGetDataSourceDescription();
    int memo = -1;
    for (int m = 0; v != nullptr && v->bMemo() && m < desc->nGetNumMemos(); ++m) {
      INAItemDescription* each = desc->piNAGetMemo(static_cast<unsigned int>(m));
      if (std::wstring(each->pszGetName()) == item) memo = m;
      each->nExternalRelease();
    }
    if (v != nullptr && memo < 0)
      record->vSetItemValue(v, &value, 0);
    else if (v != nullptr)
      record->vSetItemValueDefined(v, value.bIsNull() ? FALSE : TRUE, 0);
    // The table takes a reference of its own on the record handed to it.
    record->AddRef();
    BOOL ok = v != nullptr && m_pTable->bSetRecord(&ctx, record);
    record->vnRelease();
    if (ok && memo >= 0) ok = m_pTable->bSetBLOB(&ctx, static_cast<unsigned int>(memo), &value);
    if (v != nullptr) v->nExternalRelease();
    desc->nExternalRelease();
    return ok;
  }

  // A context of its own: the driver keeps a context's query by name beyond its release.
  CHostContext ctx{NextContext(), 1};

 private:
  // The item of the record's layout: the host's file on the table road, the query's description
  // on the others; with a reference.
  INAItemDescription* Item(const wchar_t* name) {
    if (m_eRoad == ERoad::kTable) return m_desc.piNAGetItem(name);
    INADataSourceDescription* desc = m_pTable->piGetDataSourceDescription();
    INAItemDescription* item = desc->piNAGetItem(name);
    desc->nExternalRelease();
    return item;
  }


  INADriver* m_pDriver = nullptr;
  INAConnectionDescription* m_pHost = nullptr;
  ERoad m_eRoad = ERoad::kTable;
  std::wstring m_table, m_file, m_text, m_v;
  std::deque<std::wstring> m_names;
  std::deque<CHostItemDescription> m_items;
  CHostRecordDescription m_desc;
  ISQLParserInformation* m_pParse = nullptr;
  INATable* m_pTable = nullptr;
};
