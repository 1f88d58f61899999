// A table of every MySQL column type with its edge values (tests/support/every_column_type.h),
// read through the loaded driver as the host reads it, on the table road, the road of a query the
// host parsed and that of a query sent as written, on both code pages; each value compared with
// what the client library reads directly. The driver's value is decoded from the host's record
// layout (or the memo the host asks for) independently of the driver; the client's text is
// brought to the same form. Where an item cannot hold what the column holds, the expected value
// is the client's with that limit applied (each limit is named in the README):
// - a fixed text item (TEXTE, UNICODE) is zero-terminated: a NUL ends its value;
// - date-time and time items keep milliseconds: further fraction digits are cut;
// - on a 1252 connection the server sends '?' for each character the page cannot hold;
// - a text item of the host's page (TEXTE, MEMOTEXTE) holds '?' for a character outside 1252.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "access/inatable.h"
#include "driver/inadatasourcedescription.h"
#include "driver/inadriver.h"
#include "driver/inaerror.h"
#include "host/host_context.h"
#include "host/host_datasource.h"
#include "host/host_control.h"
#include "host/host_loader.h"
#include "host/host_nadescription.h"
#include "host/host_sqlparser.h"
#include "platform/information_dll.h"
#include "sql/inaitemdescription.h"
#include "sql/nakjrecord.h"
#include "tests/support/every_column_type.h"
#include "tests/support/host_text.h"
#include "tests/support/hostconnections.h"
#include "tests/support/loaded_types.h"
#include "tests/support/rawmysql.h"
#include "values/any.h"

namespace {

constexpr eNA_LOCKTYPE kNoLock{0};

// A number text without trailing fraction zeros, "-0" as "0".
std::string Decimal(std::string s) {
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  return s == "-0" ? "0" : s;
}

std::string Int128Text(__int128 v, int scale) {
  const bool negative = v < 0;
  unsigned __int128 m = negative ? -static_cast<unsigned __int128>(v) : static_cast<unsigned __int128>(v);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
    m /= 10;
  } while (m != 0);
  while (static_cast<int>(digits.size()) <= scale) digits.insert(digits.begin(), '0');
  if (scale > 0) digits.insert(digits.end() - scale, '.');
  return Decimal((negative ? "-" : "") + digits);
}

__int128 SignedLE(const unsigned char* p, size_t n) {
  unsigned __int128 v = 0;
  for (size_t i = n; i-- > 0;) v = (v << 8) | p[i];
  if (n < 16 && (p[n - 1] & 0x80) != 0) v |= ~static_cast<unsigned __int128>(0) << (8 * n);
  return static_cast<__int128>(v);
}

std::string Float(double d, int digits) {
  char buf[64];
  snprintf(buf, sizeof buf, "%.*g", digits, d);
  return buf;
}

bool Integer(eNA_ITEMTYPE t) {
  switch (t) {
    case NA_IT_I1:
    case NA_IT_I2:
    case NA_IT_I4:
    case NA_IT_I8:
    case NA_IT_UI1:
    case NA_IT_UI2:
    case NA_IT_UI4:
    case NA_IT_UI8:
    case NA_IT_IDAUTO: return true;
    default: return false;
  }
}

// One item of a result as the host sees it.
struct SItem {
  std::string name;
  eNA_ITEMTYPE type = NA_IT_EMPTY;
  int offset = 0;
  unsigned int size = 0;
  int decimals = 0;
  int memo = -1;  // the memo number, for memo items
  INAItemDescription* desc = nullptr;
};

// The host's value of an item in its record bytes, decoded by the item type.
std::string Decoded(const SItem& item, const unsigned char* p) {
  switch (item.type) {
    case NA_IT_I1: return std::to_string(static_cast<int8_t>(p[0]));
    case NA_IT_UI1: return std::to_string(p[0]);
    case NA_IT_I2: return std::to_string(static_cast<int16_t>(p[0] | p[1] << 8));
    case NA_IT_UI2: return std::to_string(static_cast<uint16_t>(p[0] | p[1] << 8));
    case NA_IT_I4:
    case NA_IT_UI4:
    case NA_IT_I8:
    case NA_IT_UI8:
    case NA_IT_IDAUTO: {
      const size_t n = item.type == NA_IT_I4 || item.type == NA_IT_UI4 ? 4 : 8;
      const bool isSigned = item.type == NA_IT_I4 || item.type == NA_IT_I8 || item.type == NA_IT_IDAUTO;
      uint64_t v = 0;
      for (size_t i = n; i-- > 0;) v = (v << 8) | p[i];
      if (isSigned)
        return std::to_string(n == 4 ? static_cast<int64_t>(static_cast<int32_t>(v)) : static_cast<int64_t>(v));
      return std::to_string(v);
    }
    case NA_IT_R4: {
      float f;
      memcpy(&f, p, 4);
      return Float(f, 9);
    }
    case NA_IT_R8:
    case NA_IT_REELTURBO: {
      double d;
      memcpy(&d, p, 8);
      return Float(d, 17);
    }
    case NA_IT_MONETAIRE: return Int128Text(SignedLE(p, 10), 6);
    case NA_IT_DECIMAL: return Int128Text(SignedLE(p, item.size), item.decimals);
    case NA_IT_DATE8:
    case NA_IT_HEURE:
      return std::string(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), item.size));
    case NA_IT_DATETIME: {
      char buf[40];
      uint32_t ms;
      memcpy(&ms, p + 4, 4);
      snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u.%03u", p[2] | p[3] << 8, p[1], p[0], ms / 3600000,
               ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
      return buf;
    }
    case NA_IT_TEXTE:
      return FromPage("CP1252", std::string(reinterpret_cast<const char*>(p),
                                            strnlen(reinterpret_cast<const char*>(p), item.size)));
    case NA_IT_UNICODE: {
      std::u16string units;
      for (unsigned int i = 0; i + 1 < item.size; i += 2) {
        const char16_t u = static_cast<char16_t>(p[i] | p[i + 1] << 8);
        if (u == 0) break;
        units += u;
      }
      std::u32string cps;
      for (size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size())
          c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        cps += c;
      }
      return Utf8Of(cps);
    }
    case NA_IT_BINAIRE: return Hex(p + 2, static_cast<size_t>(p[0] | p[1] << 8));
    default: return "<type " + std::to_string(item.type) + ">";
  }
}

// The client's value as the item would hold it, by the item type.
std::string Expected(const SItem& item, const std::string& raw, bool cp1252) {
  if (Integer(item.type)) {
    // A year's four digits are the number.
    const size_t digits = raw.find_first_not_of('0');
    return digits == std::string::npos ? "0" : raw.substr(digits);
  }
  switch (item.type) {
    case NA_IT_R4: return Float(static_cast<float>(strtod(raw.c_str(), nullptr)), 9);
    case NA_IT_R8:
    case NA_IT_REELTURBO: return Float(strtod(raw.c_str(), nullptr), 17);
    case NA_IT_MONETAIRE:
    case NA_IT_DECIMAL: return Decimal(raw);
    case NA_IT_DATE8: {
      std::string d;
      for (char c : raw)
        if (c != '-') d += c;
      return d;
    }
    case NA_IT_HEURE: {
      std::string d;
      for (char c : raw)
        if (c != ':' && c != '.') d += c;
      if (d.size() > 6) d.resize(std::min<size_t>(d.size(), 9));
      d.resize(
          std::min<size_t>(item.size - 1, d.size() < 6 ? d.size() : std::max<size_t>(d.size(), item.size > 7 ? 9 : 6)),
          '0');
      return d;
    }
    case NA_IT_DATETIME: {
      // Milliseconds: further digits are cut. A date has midnight, a time the empty date.
      std::string t = raw.size() == 10                     ? raw + " 00:00:00"
                      : raw.find('-') == std::string::npos ? "0000-00-00 " + raw
                                                           : raw;
      const size_t dot = t.find('.');
      std::string fraction = dot == std::string::npos ? "" : t.substr(dot + 1);
      if (dot != std::string::npos) t.resize(dot);
      fraction.resize(3, '0');
      return t + "." + fraction;
    }
    case NA_IT_BINAIRE:
    case NA_IT_MEMOBINAIRE:
    case NA_IT_MEMOBINAIRE4: return Hex(reinterpret_cast<const unsigned char*>(raw.data()), raw.size());
    default: break;
  }
  std::u32string cps = CodePoints(raw);
  // A fixed text item ends at a NUL.
  if (item.type == NA_IT_TEXTE || item.type == NA_IT_UNICODE) cps.resize(std::min(cps.size(), cps.find(U'\0')));
  // The 1252 connection's '?', and a text item of the host's page holds that page only.
  if (cp1252 || item.type == NA_IT_TEXTE || item.type == NA_IT_MEMOTEXTE)
    for (char32_t& c : cps)
      if (!In1252(c)) c = U'?';
  return Utf8Of(cps);
}

class EveryTypeLoaded : public CLoadedTypes<int> {
 protected:
  void SetUp() override {
    Start();
    if (HasFatalFailure()) return;
    std::string err;
    m_table = "qx_types_" + std::to_string(getpid()) + "_" + std::to_string(GetParam());
    ASSERT_TRUE(m_raw.exec("DROP TABLE IF EXISTS " + m_table, &err)) << err;
    ASSERT_TRUE(m_raw.exec("CREATE TABLE " + m_table + " " + EveryColumnTypeBody(), &err)) << err;
    for (size_t r = 0; r < EveryColumnTypeRows(); ++r)
      ASSERT_TRUE(m_raw.exec(EveryColumnTypeInsert(m_table, r), &err))
          << EveryColumnTypeInsert(m_table, r) << ": " << err;
    m_columns = "id";
    for (const SColumnType& c : EveryColumnType()) m_columns += std::string(", ") + c.pszName;
    ASSERT_TRUE(m_raw.query("SELECT " + m_columns + " FROM " + m_table + " ORDER BY id", &m_rows, &err)) << err;
    m_host = m_connections.Add(m_server, GetParam() == 65001 ? ";QX Unicode Support=1" : ";QX Unicode Support=0");
  }
  void TearDown() override {
    Stop();
    std::string err;
    m_raw.exec("DROP TABLE IF EXISTS " + m_table, &err);
  }

  // Every row of t read first to last on id, each value compared with the client's; the
  // differences as "row column: driver <> client" lines.
  std::string Compare(INATable* t, INAContext* ctx, const char* road) {
    std::vector<SItem> items;
    INADataSourceDescription* desc = t->piGetDataSourceDescription();
    std::map<std::string, int> memos;
    for (int m = 0; m < desc->nGetNumMemos(); ++m) {
      INAItemDescription* item = desc->piNAGetMemo(static_cast<unsigned int>(m));
      memos[Narrow(item->pszGetName())] = m;
      item->nExternalRelease();
    }
    for (int i = 0; i < desc->nGetNumItems(); ++i) {
      INAItemDescription* item = desc->piNAGetItem(static_cast<unsigned int>(i));
      SItem s{Narrow(item->pszGetName()),
              item->eNAGetItemType(),
              item->nGetOffset(0),
              item->nGetItemSize(),
              item->nGetDecimalPart(),
              -1,
              item};
      if (item->bMemo()) s.memo = memos.count(s.name) != 0 ? memos[s.name] : -2;
      items.push_back(s);
    }
    struct SRelease {
      INADataSourceDescription* desc;
      std::vector<SItem>& items;
      ~SRelease() {
        for (SItem& s : items) s.desc->nExternalRelease();
        desc->nExternalRelease();
      }
    } release{desc, items};
    std::string diff;
    size_t r = 0;
    for (eNA_PARSEDIRECTION dir = NA_PARSE_FIRST;; dir = NA_PARSE_NEXT, ++r) {
      int out = 0;
      if (!t->bHLitxxx(ctx, L"id", dir, 1, kNoLock, nullptr, 0) || !t->bHEnDehors(ctx, L"id", &out))
        return diff + road + " row " + std::to_string(r + 1) +
               " not read: " + Narrow(t->piGetLastError(ctx)->pszGetError()) + "\n";
      if (out != 0) break;
      if (r >= m_rows.size()) return diff + road + ": more rows than the server's\n";
      CNAKJRecord* record = nullptr;
      if (!t->bGetRecord(ctx, &record) || record == nullptr) return diff + road + ": no record\n";
      const RawRow& raw = m_rows[r];
      for (size_t c = 0; c < raw.size(); ++c) {
        const std::string name = c == 0 ? "id" : EveryColumnType()[c - 1].pszName;
        const SItem* item = nullptr;
        for (const SItem& s : items)
          if (s.name == name) item = &s;
        if (item == nullptr) {
          if (r == 0) diff += std::string(road) + " " + name + ": no item\n";
          continue;
        }
        std::string got;
        if (item->memo >= 0) {
          CAny value;
          got = t->bGetBLOB(ctx, static_cast<unsigned int>(item->memo), &value)
                    ? DecodedAny(value)
                    : "<no memo: " + Narrow(t->piGetLastError(ctx)->pszGetError()) + ">";
        } else if (!record->vbItemValueDefined(item->desc, 0)) {
          got = "NULL";
        } else {
          got = Decoded(*item, record->pbyGetValues() + item->offset);
        }
        const std::string want = raw[c] ? Expected(*item, *raw[c], GetParam() == 1252) : "NULL";
        if (got != want)
          diff += std::string(road) + " row " + std::to_string(r + 1) + " " + name + " (type " +
                  std::to_string(item->type) + "): " + got + " <> " + want + "\n";
      }
      record->vnRelease();
    }
    if (r != m_rows.size()) diff += std::string(road) + ": " + std::to_string(r) + " rows read\n";
    return diff;
  }

  RawRows m_rows;
  std::string m_table, m_columns;
};

TEST_P(EveryTypeLoaded, EveryValueReadsAsTheClientReadsIt) {
  const std::wstring table(m_table.begin(), m_table.end());
  INADataSourceDescription* desc = m_driver->piGetTableDesc(table.c_str(), m_host);
  ASSERT_NE(desc, nullptr) << Narrow(m_driver->piGetLastError()->pszGetError());
  std::string diff;
  {
    CImportedFile file;
    file.Describe(desc, table.c_str());
    INATable* t = m_loader.piGetTable(m_host, &file.desc);
    ASSERT_NE(t, nullptr);
    CHostContext ctx(1, 1);
    ASSERT_TRUE(t->bHOuvre(&ctx, eNA_ACCESS{0}, nullptr)) << Narrow(t->piGetLastError(&ctx)->pszGetError());
    diff += Compare(t, &ctx, "table");
    t->bHFerme(&ctx);
    t->nExternalRelease();
  }
  CHostSQLCatalogue catalogue;
  catalogue.Add(desc);
  const std::wstring text = L"SELECT " + std::wstring(m_columns.begin(), m_columns.end()) + L" FROM " + table;
  for (unsigned int flags : {0u, 4u}) {
    CTString error;
    ISQLParserInformation* parse = CHostSQLParser::piParse(text.c_str(), catalogue, &error);
    ASSERT_NE(parse, nullptr) << Narrow(error.pszGet());
    CHostContext ctx(2 + flags, 1);
    INATable* t = nullptr;
    ASSERT_TRUE(m_driver->bHExecuteRequeteSQLEx(&t, &ctx, L"Q", m_host, parse, flags, nullptr))
        << Narrow(m_driver->piGetLastError()->pszGetError());
    ASSERT_NE(t, nullptr);
    diff += Compare(t, &ctx, flags == 4 ? "as written" : "parsed");
    t->nExternalRelease();
    EXPECT_TRUE(m_driver->bFreeDataSource(&ctx, L"Q", m_host));
    parse->nRelease();
  }
  desc->nExternalRelease();
  EXPECT_EQ(diff, "");
}

INSTANTIATE_TEST_SUITE_P(CodePages, EveryTypeLoaded, testing::Values(1252, 65001));

}  // namespace
