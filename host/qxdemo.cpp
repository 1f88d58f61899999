// qxdemo: the worked example of a host driving the MySQL driver. It loads qx200msql.so the way the
// host runtime does (dlopen, entry points by name, interfaces by slot), then in six steps creates
// a table from a host description, adds rows in a transaction, browses, seeks, filters, counts
// and returns to a saved position, runs a parsed query, shows a refused write and uses the SQL
// functions. The server comes from QX_TEST_HOST, QX_TEST_PORT, QX_TEST_USER, QX_TEST_PASSWORD and
// QX_TEST_DATABASE (scripts/run sets them). Output is UTF-8 and the same on every run; the exit
// status is 0 only when every step succeeded and the host got back every string block it lent.
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <deque>
#include <string>
#include <vector>

#include "access/inatable.h"
#include "driver/inadriver.h"
#include "driver/inadriversql.h"
#include "driver/inaerror.h"
#include "host/host_context.h"
#include "host/host_control.h"
#include "host/host_datasource.h"
#include "host/host_loader.h"
#include "host/host_nadescription.h"
#include "host/host_sqlparser.h"
#include "host/host_values.h"
#include "sql/naitemtype.h"
#include "sql/nakjrecord.h"
#include "values/any.h"
#include "values/money.h"

namespace {

const wchar_t* const kTable = L"qxdemo_article";
const eNA_LOCKTYPE kNoLock{0};
// bHNbEnr: count the records (16), under the active filter (0x4000).
constexpr unsigned int kCountRecords = 16, kUnderFilter = 0x4000;

// ---------------------------------------------------------------- output

// Pads text to a number of terminal columns (an East Asian character takes two).
std::wstring Pad(const std::wstring& text, int columns) {
  int width = 0;
  for (wchar_t c : text) width += std::max(wcwidth(c), 0);
  return text + std::wstring(static_cast<size_t>(std::max(columns - width, 0)), L' ');
}

void Line(const std::wstring& label, const std::wstring& value) { printf("   %ls %ls\n", Pad(label, 24).c_str(), value.c_str()); }

std::wstring Number(long long n) { return std::to_wstring(n); }

// A binary as the program shows it: its length, its first bytes and a CRC-32.
std::wstring BinarySummary(const unsigned char* bytes, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= bytes[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  wchar_t text[96];
  std::wstring head;
  for (size_t i = 0; i < size && i < 6; ++i) {
    swprintf(text, 8, L"%02x ", bytes[i]);
    head += text;
  }
  swprintf(text, 96, L"%zu bytes, %ls... crc32 %08x", size, head.c_str(), ~crc);
  return text;
}

// ---------------------------------------------------------------- the host's values

// The host's currency: millionths as an 80-bit little-endian integer.
CMoney Money(long long cents) {
  CMoney m{};
  const long long millionths = cents * 10000;
  memcpy(m.m_awLimb, &millionths, 8);
  m.m_awLimb[4] = millionths < 0 ? 0xFFFF : 0;
  return m;
}
std::wstring MoneyText(const unsigned char* bytes) {
  long long millionths = 0;
  memcpy(&millionths, bytes, 8);
  wchar_t text[32];
  swprintf(text, 32, L"%lld.%02lld", millionths / 1000000, (millionths / 10000) % 100);
  return text;
}

// The host's date-time: day, month, year, then milliseconds since midnight.
struct STDateTime {
  uint8_t day, month;
  uint16_t year;
  uint32_t milli;
};
std::wstring DateTimeText(const unsigned char* bytes) {
  STDateTime d;
  memcpy(&d, bytes, sizeof d);
  wchar_t text[32];
  swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u", d.year, d.month, d.day, d.milli / 3600000, d.milli / 60000 % 60);
  return text;
}

// An element of a record in the host's layout, as text, by the item's type.
std::wstring ItemText(eNA_ITEMTYPE type, const unsigned char* bytes, size_t size) {
  std::wstring text;
  long long n = 0;
  switch (type) {
    case NA_IT_UNICODE:  // UTF-16 units, zero-filled after the text
      for (size_t i = 0; i + 1 < size && (bytes[i] | bytes[i + 1]) != 0; i += 2)
        text += static_cast<wchar_t>(bytes[i] | bytes[i + 1] << 8);
      return text;
    case NA_IT_TEXTE:  // zero-terminated; the program's texts of this kind are ASCII
      for (size_t i = 0; i < size && bytes[i] != 0; ++i) text += static_cast<wchar_t>(bytes[i]);
      return text;
    case NA_IT_MONETAIRE:
      return MoneyText(bytes);
    case NA_IT_DATETIME:
      return DateTimeText(bytes);
    case NA_IT_IDAUTO:
    case NA_IT_I8:
      memcpy(&n, bytes, 8);
      return std::to_wstring(n);
    default:
      return L"(" + std::wstring(g_pszGetNAItemTypeName(type)) + L")";
  }
}

// A host text value made by the host (a wide dynamic string, from UTF-16).
CAny TextValue(const std::wstring& text) {
  CAny value;
  std::vector<unsigned short> units;
  for (wchar_t c : text) {
    if (c > 0xFFFF) {
      units.push_back(static_cast<unsigned short>(0xD800 + ((c - 0x10000) >> 10)));
      c = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
    units.push_back(static_cast<unsigned short>(c));
  }
  CAny_ZVDSTRW::s_SetFromUTF16(&value, units.data(), static_cast<int>(units.size()));
  return value;
}
CAny MoneyValue(long long cents) {
  CAny value;
  value.__SetType(ZV_CY, 1);
  const CMoney m = Money(cents);
  value.SetValueByte(&m, sizeof m);
  return value;
}

// ---------------------------------------------------------------- the demonstration

struct STArticle {
  const wchar_t* name;
  const char* ref;
  long long cents;
  STDateTime added;
  const wchar_t* notes;
  bool bPhoto;  // the binary memo holds the 256 byte values, else it is NULL
};

const STArticle kArticles[] = {
    {L"Crème brûlée", "FR-001", 650, {14, 3, 2025, 9 * 3600000}, L"Dessert, caramel brûlé", true},
    {L"Größe", "DE-002", 1290, {2, 4, 2025, 10 * 3600000 + 15 * 60000}, L"Maß und Größe", false},
    {L"東京タワー", "JP-003", 333, {23, 12, 2025, 18 * 3600000}, L"東京の電波塔", false},
    {L"Ωμέγα", "GR-004", 99, {1, 1, 2026, 0}, L"Τέλος", false},
    {L"Café", "FR-005", 250, {5, 5, 2025, 7 * 3600000 + 30 * 60000}, L"Noir, sans sucre", false},
    {L"Zürich", "CH-006", 4500, {1, 8, 2025, 12 * 3600000}, L"Ville", false},
};

class CDemo {
 public:
  int Run();

 private:
  bool Start();
  void Stop();
  bool Step(const char* heading, bool (CDemo::*step)());
  bool CreateTable();
  bool AddRows();
  bool BrowseSeekFilter();
  bool ParsedQuery();
  bool RefusedWrite();
  bool SQLFunctions();
  // The driver's error as the host reports it: code, type, item and message.
  void ShowError(INAError* error);
  bool Fail(INAError* error) {
    ShowError(error);
    return false;
  }
  bool FailTable() { return Fail(m_table->piGetLastError(&m_ctx)); }
  // Sets the record's items from an article and hands it to the driver for the next write.
  bool SetRecord(const STArticle& article);
  // The current record's name (or another item read at its own offset).
  bool Current(CHostRow* row) { return m_loader.bGetRecord(m_table, &m_ctx, m_desc, row); }
  std::wstring CurrentName();
  // Item i of a row read in the host's layout, as text; NULL when not defined.
  std::wstring Field(const CHostRow& row, size_t i) const {
    if (!row[i].bDefined) return L"NULL";
    return ItemText(m_desc.pclGetItemNoRef(i)->eNAGetItemType(), row[i].tabBytes.data(), row[i].tabBytes.size());
  }
  // The names read from dir on, moving next (or previous from the last).
  bool Names(const wchar_t* item, bool forward, std::wstring* out);
  CHostItemDescription* Item(const wchar_t* name, eNA_ITEMTYPE type, unsigned int size, unsigned short key = 0);

  CHostLoader m_loader;
  INADriver* m_driver = nullptr;
  INATable* m_table = nullptr;
  CHostConnectionDescription m_cnx;
  CHostContext m_ctx{1, 1};
  CHostRecordDescription m_desc;
  std::deque<CHostItemDescription> m_items;
  std::wstring m_user, m_password, m_server, m_info;
  int m_nSteps = 0;
};

CHostItemDescription* CDemo::Item(const wchar_t* name, eNA_ITEMTYPE type, unsigned int size, unsigned short key) {
  CHostItemDescription& item = m_items.emplace_back(name, type, size);
  item.m_wKeyFlags = key;
  item.m_pszNameInSource = L"";  // a file of the host's own, not a query column
  item.m_pszSourceName = L"";
  m_desc.Add(&item);
  return &item;
}

// The environment's UTF-8 as wide text (the locale is C.UTF-8).
std::wstring Wide(const char* text) {
  if (text == nullptr) return L"";
  std::wstring w(strlen(text), L'\0');
  const size_t n = mbstowcs(w.data(), text, w.size());
  w.resize(n == static_cast<size_t>(-1) ? 0 : n);
  return w;
}

bool CDemo::Start() {
  const char* host = getenv("QX_TEST_HOST");
  const char* port = getenv("QX_TEST_PORT");
  const char* database = getenv("QX_TEST_DATABASE");
  if (port == nullptr || database == nullptr) {
    printf("qxdemo: no server given: set QX_TEST_HOST, QX_TEST_PORT, QX_TEST_USER, QX_TEST_PASSWORD and "
           "QX_TEST_DATABASE (scripts/run does)\n");
    return false;
  }
  std::string err;
  // The host starts the driver: component start-up, bInitLibrary, its VM bound, piQueryInterface.
  m_driver = m_loader.piQueryInterface(&err);
  if (m_driver == nullptr || !HostBindValues(m_loader.Control())) {
    printf("qxdemo: %s\n", err.empty() ? "the host module gave no services" : err.c_str());
    return false;
  }
  // The host's connection: TCP to the given port, text in UTF-8, and a bounded wait to connect.
  m_user = Wide(getenv("QX_TEST_USER"));
  m_password = Wide(getenv("QX_TEST_PASSWORD"));
  m_server = Wide(host != nullptr ? host : "127.0.0.1");
  m_info = L"Server Port=" + Wide(port) + L";Initial Catalog=" + Wide(database) +
           L";QX Unicode Support=1;QX Connection Timeout=10";
  m_cnx.m_pszUser = m_user.c_str();
  m_cnx.m_pszPassword = m_password.c_str();
  m_cnx.m_pszDataSource = m_server.c_str();
  m_cnx.m_pszExtendedInfo = m_info.c_str();
  m_cnx.m_llCacheSize = -2;  // the driver's own record blocks
  m_cnx.m_clName.SetName(L"demo");
  printf("qxdemo: the driver as the host drives it, on database %s\n\n", database);
  return true;
}

void CDemo::Stop() {
  if (m_table != nullptr) m_table->nExternalRelease();
  m_table = nullptr;
  if (m_driver != nullptr) {
    m_driver->bCloseConnection(&m_cnx);
    m_driver->nExternalRelease();  // the last reference: the driver goes with its registries
  }
  m_driver = nullptr;
  m_loader.Stop();  // TermLibrary and the component's end, when the driver was started
}

void CDemo::ShowError(INAError* error) {
  if (error == nullptr) return;
  if (error->dwGetErrorId() == 0) {
    printf("   the driver refused without giving a reason\n");
    return;
  }
  printf("   driver error %u, type %d", static_cast<unsigned>(error->dwGetErrorId()), static_cast<int>(error->eGetErrorType()));
  if (const wchar_t* item = error->pszGetItemName(); item != nullptr && *item) printf(", item %ls", item);
  printf("\n");
  // The message lines of the host's error text; the captioned fields after them (codes, level,
  // module, debug line) are for the developer's log.
  const wchar_t* dump = error->pszGetError();
  const std::wstring text = dump != nullptr ? dump : L"";
  bool first = true;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find_first_of(L"\r\n", at);
    if (end == std::wstring::npos) end = text.size();
    const std::wstring line = text.substr(at, end - at);
    at = end + 1;
    if (line.empty() || (first && line.back() == L':')) continue;
    first = false;
    if (line.find(L" : ") != std::wstring::npos) break;
    printf("   | %ls\n", line.c_str());
  }
}

bool CDemo::Step(const char* heading, bool (CDemo::*step)()) {
  ++m_nSteps;
  printf("%d. %s\n", m_nSteps, heading);
  const bool ok = (this->*step)();
  printf("\n");
  return ok;
}

// Step 1. The host describes the file; the driver creates it on the server (dropping an older one)
// and the server's own description of it comes back through piGetTableDesc.
bool CDemo::CreateTable() {
  Item(L"id", NA_IT_IDAUTO, 8, 0x8000)->m_bNullAllowed = FALSE;
  // Texts: the record holds 40 UTF-16 units and 10 ANSI characters with their terminator; the
  // server's columns are sized by the logical sizes, in characters.
  Item(L"name", NA_IT_UNICODE, 80, 0x2000)->m_nLogicalSize = 40;
  Item(L"ref", NA_IT_TEXTE, 11, 0x4000)->m_nLogicalSize = 10;
  Item(L"price", NA_IT_MONETAIRE, 10);
  Item(L"added", NA_IT_DATETIME, 8);
  Item(L"photo", NA_IT_MEMOBINAIRE, 8);
  Item(L"notes", NA_IT_MEMOUNICODE, 8);
  m_desc.m_pszName = m_desc.m_pszPhysicalName = m_desc.m_pszDBTableName = kTable;
  if (!m_driver->bOpenConnection(&m_cnx)) return Fail(m_driver->piGetLastError());
  // One table object per connection and description; the host keeps an external reference.
  m_table = m_driver->piGetTable(&m_cnx, &m_desc);
  if (m_table == nullptr) return Fail(m_driver->piGetLastError());
  if (!m_table->bHCreation(&m_ctx, nullptr)) return FailTable();
  INADataSourceDescription* server = m_driver->piGetTableDesc(kTable, &m_cnx);
  if (server == nullptr) return Fail(m_driver->piGetLastError());
  printf("   created; the server describes it as:\n");
  for (int i = 0; i < server->nGetNumItems(); ++i) {
    INAItemDescription* item = server->piNAGetItem(static_cast<unsigned int>(i));
    const wchar_t* key = item->bPrimary() ? L"primary key" : item->bUnique() ? L"unique key"
                         : item->bDuplicates() ? L"key with duplicates" : L"";
    printf("   %ls %ls %4u%ls%ls\n", Pad(item->pszGetName(), 8).c_str(),
           Pad(g_pszGetNAItemTypeName(item->eNAGetItemType()), 18).c_str(), item->nGetItemSize(), *key ? L"  " : L"", key);
    item->nExternalRelease();
  }
  server->nExternalRelease();
  return true;
}

bool CDemo::SetRecord(const STArticle& article) {
  CNAKJRecord* record = nullptr;
  if (!m_table->bGetRecord(&m_ctx, &record) || record == nullptr) return false;
  // Each item through the record's own slots, by the host's description: the id stays NULL for
  // the server to number, the texts go in as the host holds them.
  const std::wstring name = article.name;
  const CMoney price = Money(article.cents);
  record->vSetItemValueDefined(m_desc.pclGetItemNoRef(0), FALSE, 0);
  record->vSetItemValue(m_desc.pclGetItemNoRef(1), name.c_str(), static_cast<unsigned>(name.size() * sizeof(wchar_t)), 0);
  record->vSetItemValue(m_desc.pclGetItemNoRef(2), article.ref, static_cast<unsigned>(strlen(article.ref) + 1), 0);
  record->vSetItemValue(m_desc.pclGetItemNoRef(3), &price, sizeof price, 0);
  record->vSetItemValue(m_desc.pclGetItemNoRef(4), &article.added, sizeof article.added, 0);
  const BOOL set = m_loader.bSetRecord(m_table, &m_ctx, record);
  record->vnRelease();
  if (!set) return false;
  // The memos are values of their own, by memo number: the binary first, then the text.
  unsigned char bytes[256];
  for (int i = 0; i < 256; ++i) bytes[i] = static_cast<unsigned char>(i);
  CAny photo;
  photo.SetBIN(bytes, article.bPhoto ? 256 : 0);
  if (photo.wGetType() != ZV_BIN) return false;
  photo.SetNull(!article.bPhoto);
  const CAny notes = TextValue(article.notes);
  return m_table->bSetBLOB(&m_ctx, 0, &photo) && m_table->bSetBLOB(&m_ctx, 1, &notes);
}

// Step 2. Six rows in one transaction of the connection: either all reach the table or none.
bool CDemo::AddRows() {
  if (!m_driver->bTransactionBegin(&m_cnx, L"demo")) return Fail(m_driver->piGetLastError());
  for (const STArticle& article : kArticles) {
    if (!SetRecord(article) || !m_table->bHAjoute(&m_ctx, 0, kNoLock)) {
      FailTable();
      m_driver->bTransactionRollBack(&m_cnx, L"demo");
      return false;
    }
    // The record after the add holds the identifier the server gave.
    CHostRow row;
    if (!Current(&row)) return FailTable();
    Line(L"added " + Field(row, 1), L"id " + Field(row, 0) + L", " + Field(row, 2) + L", " + Field(row, 3) + L", " +
                                        Field(row, 4));
  }
  if (!m_driver->bTransactionCommit(&m_cnx, L"demo")) return Fail(m_driver->piGetLastError());
  Line(L"committed", L"6 rows");
  return true;
}

std::wstring CDemo::CurrentName() {
  CHostRow row;
  return Current(&row) ? Field(row, 1) : L"?";
}

bool CDemo::Names(const wchar_t* item, bool forward, std::wstring* out) {
  out->clear();
  for (eNA_PARSEDIRECTION dir = forward ? NA_PARSE_FIRST : NA_PARSE_LAST;;
       dir = forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS) {
    int outside = 0;
    // A read past either end succeeds and leaves the file out of range (bHEnDehors).
    if (!m_table->bHLitxxx(&m_ctx, item, dir, 1, kNoLock, nullptr, 0) ||
        !m_table->bHEnDehors(&m_ctx, item, &outside))
      return FailTable();
    if (outside != 0) return true;
    *out += (out->empty() ? L"" : L", ") + CurrentName();
  }
}

// Step 3. The reading road: both ways on a key, a seek, a filter with its count, a saved position.
bool CDemo::BrowseSeekFilter() {
  std::wstring names;
  if (!Names(L"name", true, &names)) return false;
  Line(L"by name, first to last", names);
  if (!Names(L"name", false, &names)) return false;
  Line(L"by name, last to first", names);
  // A seek on the key: the record found becomes current (setRead 1), searched from the first.
  const CAny sought = TextValue(L"Crème brûlée");
  int found = 0, second = 0;
  if (!m_table->bHRecherche(&m_ctx, L"name", &sought, 0, 1, kNoLock, nullptr, 1, 0) ||
      !m_table->bEvalHTrouve(&m_ctx, L"name", &found, &second))
    return FailTable();
  CHostRow row;
  if (!found || !Current(&row)) return FailTable();
  Line(L"seek Crème brûlée", L"found, ref " + Field(row, 2) + L", price " + Field(row, 3));
  // Its memos, by memo number, as values the driver makes; the host gives them back.
  CAny photo, notes;
  void* bytes = nullptr;
  unsigned int size = 0;
  const wchar_t* text = nullptr;
  if (!m_table->bGetBLOB(&m_ctx, 0, &photo) || !m_table->bGetBLOB(&m_ctx, 1, &notes)) return FailTable();
  if (photo.Intern()->nGetDataAdr(&bytes) != 0 || photo.Intern()->nGetDataSize(&size) != 0 ||
      notes.Intern()->nGetPCWSTR(&text) != 0) {
    printf("   the memos came back in an unexpected form\n");
    return false;
  }
  Line(L"  its binary memo", BinarySummary(static_cast<const unsigned char*>(bytes), size));
  Line(L"  its text memo", text);
  // A filter on a range of prices: the browse on that item then reads only those records.
  const CAny low = MoneyValue(300), high = MoneyValue(1300);
  if (!m_table->bHFiltre(&m_ctx, L"price", &low, 1, &high, 1, nullptr)) return FailTable();
  if (!Names(L"price", true, &names)) return false;
  Line(L"price 3.00 to 13.00", names);
  long long all = -1, filtered = -1;
  if (!m_table->bHNbEnr(&m_ctx, &filtered, kCountRecords, kUnderFilter) ||
      !m_table->bHNbEnr(&m_ctx, &all, kCountRecords, 0))
    return FailTable();
  Line(L"count", Number(all) + L" records, " + Number(filtered) + L" under the filter");
  if (!m_table->bHDesactiveFiltre(&m_ctx, L"price", 0)) return FailTable();
  // A saved position: save on the second name, move to the last, come back.
  int position = 0;
  wchar_t itemBack[256] = {};
  if (!m_table->bHLitxxx(&m_ctx, L"name", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0) ||
      !m_table->bHLitxxx(&m_ctx, L"name", NA_PARSE_NEXT, 1, kNoLock, nullptr, 0) ||
      !m_table->bHSauvePosition(&m_ctx, L"name", &position, 0))
    return FailTable();
  const std::wstring saved = CurrentName();
  if (!m_table->bHLitxxx(&m_ctx, L"name", NA_PARSE_LAST, 1, kNoLock, nullptr, 0)) return FailTable();
  const std::wstring moved = CurrentName();
  if (!m_table->bHRetourPosition(&m_ctx, position, itemBack, 0, 0)) return FailTable();
  Line(L"position", L"saved on " + saved + L", moved to " + moved + L", back on " + CurrentName());
  return true;
}

// Step 4. A query the host parsed (its SQL engine's tree), run by the driver and browsed as a file.
bool CDemo::ParsedQuery() {
  const wchar_t* text = L"SELECT name, ref, price FROM qxdemo_article WHERE price >= 3 ORDER BY price DESC";
  CHostSQLCatalogue catalogue;
  catalogue.Add(&m_desc);
  CTString parseError;
  ISQLParserInformation* query = CHostSQLParser::piParse(text, catalogue, &parseError);
  if (query == nullptr) {
    printf("   the host's parser refused the query: %ls\n", parseError.pszGet());
    return false;
  }
  printf("   %ls\n", text);
  CHostContext ctx(2, 1);
  INATable* result = nullptr;
  const BOOL ran = m_driver->bHExecuteRequeteSQLEx(&result, &ctx, L"demo_query", &m_cnx, query, 0, nullptr);
  query->nRelease();
  if (!ran || result == nullptr) return Fail(m_driver->piGetLastError());
  // The result's layout is the driver's description of it: the host reads each item there.
  bool ok = true;
  INADataSourceDescription* desc = result->piGetDataSourceDescription();
  INAItemDescription* items[3] = {};
  for (unsigned int i = 0; i < 3 && desc != nullptr; ++i) items[i] = desc->piNAGetItem(i);
  // The result is browsed on its best parse item, the ORDER BY column, as the host does.
  std::wstring by;
  if (INAItemDescription* best = desc != nullptr ? desc->piGetBestParseItemDesc() : nullptr) {
    by = best->pszGetName();
    best->nExternalRelease();
  }
  for (eNA_PARSEDIRECTION dir = NA_PARSE_FIRST; ok; dir = NA_PARSE_NEXT) {
    int outside = 0;
    CNAKJRecord* record = nullptr;
    if (!result->bHLitxxx(&ctx, by.c_str(), dir, 1, kNoLock, nullptr, 0) ||
        !result->bHEnDehors(&ctx, by.c_str(), &outside)) {
      ok = Fail(result->piGetLastError(&ctx));
      break;
    }
    if (outside != 0) break;
    if (items[2] == nullptr || !result->bGetRecord(&ctx, &record) || record == nullptr) {
      ok = Fail(result->piGetLastError(&ctx));
      break;
    }
    std::wstring texts[3];
    for (int i = 0; i < 3; ++i)
      texts[i] = !record->vbItemValueDefined(items[i], 0) ? L"NULL"
                 : ItemText(items[i]->eNAGetItemType(), record->vpbyGetItemValue(items[i], 0), items[i]->nGetItemSize());
    Line(texts[0], texts[1] + L"  " + texts[2]);
    record->vnRelease();
  }
  for (INAItemDescription* item : items)
    if (item != nullptr) item->nExternalRelease();
  if (desc != nullptr) desc->nExternalRelease();
  result->bHFerme(&ctx);
  result->nExternalRelease();
  m_driver->bCloseContext(&ctx);
  return ok;
}

// Step 5. A refused write: the server's duplicate-key error as the host reads it.
bool CDemo::RefusedWrite() {
  const STArticle copy = {L"Copie", "DE-002", 100, {1, 1, 2026, 0}, L"", false};
  if (!SetRecord(copy)) return FailTable();
  if (m_table->bHAjoute(&m_ctx, 0, kNoLock)) {
    printf("   a second DE-002 was added: the unique key did not hold\n");
    return false;
  }
  INAError* error = m_table->piGetLastError(&m_ctx);
  ShowError(error);
  // Type 3 is a duplicate, the item the key the host tests for.
  const bool expected = static_cast<int>(error->eGetErrorType()) == 3;
  Line(L"as expected", expected ? L"yes: duplicate on ref" : L"no");
  return expected;
}

// Step 6. The SQL functions (numbered connections and statements) with a character above U+FFFF,
// which needs a utf8mb4 column: the driver's own ucs2 columns hold the BMP only.
bool CDemo::SQLFunctions() {
  INADriverSQL* sql = m_driver->piGetInterface(1);
  if (sql == nullptr) return Fail(m_driver->piGetLastError());
  int cnx = 0, stmt = 0;
  bool ok = sql->bOpenConnection(&cnx, &m_cnx);
  const wchar_t* const texts[] = {
      L"DROP TABLE IF EXISTS qxdemo_note",
      L"CREATE TABLE qxdemo_note (id INT PRIMARY KEY, t VARCHAR(20) CHARACTER SET utf8mb4)",
      L"INSERT INTO qxdemo_note VALUES (1, 'smile \U0001F600 and \u00E9')",
  };
  for (const wchar_t* text : texts) ok = ok && sql->bExecute(&stmt, cnx, text, nullptr, 0);
  if (ok) Line(L"written", L"smile \U0001F600 and \u00E9");
  // A SELECT gets a statement number; its values come back as host values.
  ok = ok && sql->bExecute(&stmt, cnx, L"SELECT t, HEX(t) FROM qxdemo_note", nullptr, 0) && stmt != 0;
  if (!ok) {
    ShowError(sql->piGetLastError());
  } else if (!sql->bFetch(cnx, stmt, 0)) {
    INAError* error = nullptr;
    sql->bGetStmtLastError(&error, cnx, stmt);
    ok = Fail(error);
  } else {
    CAny text, hex;
    const wchar_t* read = nullptr;
    const wchar_t* bytes = nullptr;
    ok = sql->bGetValue(&text, cnx, stmt, 1, 0) && sql->bGetValue(&hex, cnx, stmt, 2, 0) &&
         text.Intern()->nGetPCWSTR(&read) == 0 && hex.Intern()->nGetPCWSTR(&bytes) == 0;
    if (ok) {
      Line(L"read back", std::wstring(read) + (wcscmp(read, L"smile \U0001F600 and \u00E9") == 0 ? L"  (the same)" : L"  (differs)"));
      Line(L"UTF-8 on the server", bytes);
      ok = wcscmp(read, L"smile \U0001F600 and \u00E9") == 0;
    }
  }
  if (stmt != 0) sql->bFreeStmt(cnx, stmt, 0);
  int none = 0;
  if (ok && !sql->bExecute(&none, cnx, L"DROP TABLE qxdemo_note", nullptr, 0)) ok = Fail(sql->piGetLastError());
  if (ok) Line(L"dropped", L"qxdemo_note");
  if (cnx != 0) sql->bCloseConnection(cnx);
  sql->nExternalRelease();
  return ok;
}

int CDemo::Run() {
  if (!Start()) {
    Stop();
    return 2;
  }
  struct {
    const char* heading;
    bool (CDemo::*step)();
  } const steps[] = {
      {"Create the table from the host's description", &CDemo::CreateTable},
      {"Add six rows in one transaction", &CDemo::AddRows},
      {"Browse, seek, filter, count and return to a position", &CDemo::BrowseSeekFilter},
      {"Run a query the host parsed", &CDemo::ParsedQuery},
      {"Add a row whose reference exists", &CDemo::RefusedWrite},
      {"SQL functions: a character above U+FFFF", &CDemo::SQLFunctions},
  };
  int failures = 0;
  for (const auto& s : steps) {
    if (!Step(s.heading, s.step)) {
      ++failures;
      break;  // every step builds on the one before
    }
  }
  if (m_table != nullptr) m_table->bHFerme(&m_ctx);
  m_driver->bCloseContext(&m_ctx);
  Stop();
  // Every dynamic string or binary the driver took from the host was given back.
  const long live = m_loader.Control()->nLiveBlocks();
  if (live != 0) {
    printf("%ld host string blocks still alive after TermLibrary\n", live);
    ++failures;
  }
  printf("%d step%s, %d failure%s\n", m_nSteps, m_nSteps == 1 ? "" : "s", failures, failures == 1 ? "" : "s");
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main() {
  setlocale(LC_ALL, "C.UTF-8");
  setvbuf(stdout, nullptr, _IOLBF, 0);
  CDemo demo;
  return demo.Run();
}
