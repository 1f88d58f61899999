// The host's side of a server table through the loaded driver: its descriptions of the table,
// and one file the host opens over it in a context the caller gives it: the table road (the
// host's own description of the table), or a SELECT the host parsed, run as a query or sent as
// written. The row it stands on is told by an integer item of its record. The caller sets host,
// item and ctx before it opens the file, and closes the context; Close gives back the table, the
// query and the item, and leaves the file empty.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "access/inatable.h"
#include "driver/inadatasourcedescription.h"
#include "driver/inadriver.h"
#include "driver/inaerror.h"
#include "host/host_context.h"
#include "host/host_datasource.h"
#include "host/host_itemdescription.h"
#include "host/host_loader.h"
#include "host/host_sqlparser.h"
#include "sql/nakjrecord.h"
#include "tests/support/loaded_types.h"

// An item of the host's description of a server table; a composite key lists its components by
// their places among the items.
struct SHostItem {
  const wchar_t* name;
  eNA_ITEMTYPE type;
  unsigned int size;
  unsigned short keys;
  std::vector<int> parts;
  unsigned int logical = 0;  // 0: the size
};

// The host's descriptions of a server table: its file's own and the one its queries know it by
// (each item naming its source there), with the catalogue of those queries. They point into the
// object, which stays where it was described.
struct SHostTable {
  std::string name;
  std::wstring wname;
  std::deque<CHostItemDescription> items;
  CHostRecordDescription file, source;
  CHostSQLCatalogue catalogue;

  // Both descriptions of table, of shape's items; nullable says which allow NULL.
  void Describe(const std::string& table, const std::vector<SHostItem>& shape, bool (*nullable)(const SHostItem&)) {
    name = table;
    wname.assign(name.begin(), name.end());
    for (CHostRecordDescription* desc : {&file, &source}) {
      desc->m_pszName = desc->m_pszPhysicalName = desc->m_pszDBTableName = wname.c_str();
      const size_t first = items.size();
      for (const SHostItem& s : shape) {
        CHostItemDescription& item = items.emplace_back(s.name, s.type, s.size);
        item.m_nLogicalSize = s.logical;
        item.m_wKeyFlags = s.keys;
        item.m_bNullAllowed = nullable(s) ? TRUE : FALSE;
        for (int part : s.parts) item.m_tabComponents.push_back(&items[first + static_cast<size_t>(part)]);
        item.m_pszNameInSource = desc == &source ? s.name : L"";
        item.m_pszSourceName = desc == &source ? wname.c_str() : nullptr;
        desc->Add(&item);
      }
    }
    catalogue.Add(&source);
  }
};

struct SLoadedFile {
  INATable* table = nullptr;
  ISQLParserInformation* parse = nullptr;
  CHostConnectionDescription* host = nullptr;
  INAItemDescription* number = nullptr;  // the integer item that tells the rows apart
  const wchar_t* item = nullptr;         // the item browsed, sought and filtered
  CHostContext* ctx = nullptr;

  // "" once the table of the host's description file is open, else why not.
  std::string OpenTable(CHostLoader& loader, CHostRecordDescription* file, const wchar_t* numberItem) {
    table = loader.piGetTable(host, file);
    if (table == nullptr) return "no table";
    if (!table->bHOuvre(ctx, eNA_ACCESS{0}, nullptr)) return "not opened: " + Error();
    return _FindNumber(numberItem);
  }
  // "" once sql, parsed against catalogue, runs as the host runs a query (mode 4: sent as
  // written; execution may be null), else why not.
  std::string OpenQuery(INADriver* driver, const std::string& sql, const CHostSQLCatalogue& catalogue, int mode,
                        INAQueryExecution* execution, const wchar_t* numberItem) {
    const std::wstring text(sql.begin(), sql.end());
    CTString error;
    parse = CHostSQLParser::piParse(text.c_str(), catalogue, &error);
    if (parse == nullptr) return "not parsed: " + Narrow(error.pszGet());
    if (!driver->bHExecuteRequeteSQLEx(&table, ctx, L"Q", host, parse, mode, execution) || table == nullptr)
      return "not run: " + Narrow(driver->piGetLastError()->pszGetError());
    return _FindNumber(numberItem);
  }
  void Close(INADriver* driver) {
    if (number != nullptr) number->nExternalRelease();
    if (table != nullptr) {
      if (parse == nullptr) table->bHFerme(ctx);
      table->nExternalRelease();
      if (parse != nullptr) driver->bFreeDataSource(ctx, L"Q", host);
    }
    if (parse != nullptr) parse->nRelease();
    *this = SLoadedFile{};
  }
  // The last error's number and text.
  std::string Error() const {
    INAError* error = table->piGetLastError(ctx);
    return std::to_string(error->dwGetErrorId()) + " " + Narrow(error->pszGetError());
  }
  // The number of the current record; 0 out of range, -1 on a failure.
  int Current() const {
    int out = 0;
    if (!table->bHEnDehors(ctx, item, &out)) return -1;
    if (out != 0) return 0;
    CNAKJRecord* record = nullptr;
    if (!table->bGetRecord(ctx, &record) || record == nullptr) return -1;
    int32_t n = 0;
    memcpy(&n, record->pbyGetValues() + number->nGetOffset(0), 4);
    record->vnRelease();
    return n;
  }
  // A read on item, then Current.
  int Read(eNA_PARSEDIRECTION dir, unsigned int flags) const {
    return table->bHLitxxx(ctx, item, dir, 1, eNA_LOCKTYPE{0}, nullptr, flags) ? Current() : -1;
  }

 private:
  // The item of the record's layout: the file's on either road, as the driver describes it.
  std::string _FindNumber(const wchar_t* name) {
    INADataSourceDescription* desc = table->piGetDataSourceDescription();
    number = desc != nullptr ? desc->piNAGetItem(name) : nullptr;
    if (desc != nullptr) desc->nExternalRelease();
    return number != nullptr ? "" : "no item " + Narrow(name);
  }
};
