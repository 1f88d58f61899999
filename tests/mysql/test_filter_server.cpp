// Filters and key changes on live tables, checked against a model of the rows: bounds included or
// not, a missing bound, a condition the host parsed, one filter in force at a time, a filter
// switched off and on and carried to another item; the browse goes on after a filter or key
// change from the row it stood on; the item a condition is best carried by.
#include <random>

#include "host/host_sqlparser.h"
#include "tests/mysql/browse_bench.h"

namespace {

enum : unsigned short { kPrimary = 0x8000, kUnique = 0x4000, kDuplicates = 0x2000 };

const eNA_LOCKTYPE kNoLock = eNA_LOCKTYPE{0};
using RowList = std::vector<std::vector<Cell>>;

class LiveFilterKeys : public LiveBrowse {
 protected:
  // id, d (duplicates under a case- and blank-insensitive collation), n (duplicates, nullable).
  CHostRecordDescription* MakeTable(RowList* rows) {
    const std::wstring name = Name(L"qxflt");
    Raw("CREATE TABLE " + Quoted(name) +
        " (id INT PRIMARY KEY, d VARCHAR(12) CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci NULL, n INT NULL,"
        " KEY (d), KEY (n))");
    const std::vector<Cell> pool = {L"abc", L"ABc", L"ab", L"a", L"A", L"b", L"", std::nullopt, L"zz"};
    std::string insert;
    for (int i = 1; i <= 30; ++i) {
      std::vector<Cell> row = {std::to_wstring(i), pool[static_cast<size_t>(i * 5) % pool.size()],
                               i % 7 == 0 ? Cell() : Cell(std::to_wstring(i % 4))};
      insert += (insert.empty() ? "" : ",") + std::string("(") + SqlCell(row[0], true) + "," + SqlCell(row[1], false) +
                "," + SqlCell(row[2], true) + ")";
      rows->push_back(row);
    }
    Raw("INSERT INTO " + Quoted(name) + " VALUES " + insert);
    CHostRecordDescription* desc = Description(name);
    CHostItemDescription* id = Item(desc, L"id", NA_IT_I4, 4, kPrimary);
    id->m_bNullAllowed = FALSE;
    Item(desc, L"d", NA_IT_TEXTE, 13, kDuplicates);
    Item(desc, L"n", NA_IT_I4, 4, kDuplicates);
    desc->m_pBestParseItem = id;
    return desc;
  }
  // Every row of item's browse from its first.
  static RowList ReadAll(CNADataAccess* a, const wchar_t* item, NA_WRITEPARSEFLAGS flags = 0) {
    RowList got;
    BOOL ok = a->bHLitxxx(item, NA_PARSE_FIRST, 1, kNoLock, nullptr, flags);
    for (int i = 0; ok && Out(a, item) == 0 && i < 100; ++i) {
      got.push_back(Values(a, {L"id", L"d", L"n"}));
      ok = a->bHLitxxx(item, NA_PARSE_NEXT, 1, kNoLock, nullptr, 0);
    }
    return got;
  }
  static RowList Where(const BrowseModel& model, const std::function<bool(const std::vector<Cell>&)>& keep) {
    RowList out;
    for (const auto& r : model.rows)
      if (keep(r)) out.push_back(r);
    return out;
  }
  static long long Num(const Cell& c) { return c ? std::stoll(*c) : -1; }
  // The table and its model in the orders of id and of d.
  struct Made {
    RowList rows;
    CHostRecordDescription* desc;
    BrowseModel byId, byD;
  };
  Made Make() {
    RowList rows;
    CHostRecordDescription* desc = MakeTable(&rows);
    return {rows, desc, BrowseModel(rows, {{0, Collation::Number}}),
            BrowseModel(rows, {{1, Collation::GeneralCi}, {0, Collation::Number}})};
  }
};

// Each bound included or not, a missing (NULL) bound: the browse reads the model's rows between
// them; a filter set on another item switches the first one off; switched off and on again; carried
// to another item by 0x8000.
TEST_P(LiveFilterKeys, FiltersReadTheModelsRowsBetweenTheirBounds) {
  const Made m = Make();
  CMySQLConnection* cnx = Connect("7");
  const struct {
    std::optional<int> min;
    int minIn;
    std::optional<int> max;
    int maxIn;
  } bounds[] = {{5, 1, 12, 1}, {5, 0, 12, 0}, {5, 1, 12, 0}, {std::nullopt, 0, 9, 1}, {20, 0, std::nullopt, 0}};
  for (const auto& b : bounds) {
    const std::string what = "id " + (b.min ? std::to_string(*b.min) : "-") + (b.minIn ? "[" : "(") + ".." +
                             (b.max ? std::to_string(*b.max) : "-") + (b.maxIn ? "]" : ")");
    auto inside = [&](const std::vector<Cell>& r) {
      const long long v = Num(r[0]);
      return (!b.min || (b.minIn ? v >= *b.min : v > *b.min)) && (!b.max || (b.maxIn ? v <= *b.max : v < *b.max));
    };
    CNADataAccess* a = Open(m.desc, cnx);
    const CAny lo = FromText(ZV_I4, std::to_wstring(b.min.value_or(0)).c_str());
    const CAny hi = FromText(ZV_I4, std::to_wstring(b.max.value_or(0)).c_str());
    ASSERT_TRUE(a->bHFiltre(L"id", b.min ? &lo : nullptr, b.minIn, b.max ? &hi : nullptr, b.maxIn, nullptr)) << what;
    EXPECT_EQ(ReadAll(a, L"id"), Where(m.byId, inside)) << what << Sent();
    long long count = -1;
    EXPECT_TRUE(a->bHNbEnr(&count, 16, 0x4000));
    EXPECT_EQ(count, static_cast<long long>(Where(m.byId, inside).size())) << what << ": count under the filter";
    EXPECT_TRUE(a->bHNbEnr(&count, 16, 0));
    EXPECT_EQ(count, m.byId.n()) << what << ": count of every row";
    EXPECT_EQ(ReadAll(a, L"d", 0x8000), Where(m.byD, inside)) << what << ", carried to d" << Sent();
    EXPECT_TRUE(a->bHDesactiveFiltre(L"id"));
    EXPECT_EQ(ReadAll(a, L"id"), m.byId.rows) << what << ", switched off";
    EXPECT_TRUE(a->bHActiveFiltre(L"id"));
    EXPECT_EQ(ReadAll(a, L"id"), Where(m.byId, inside)) << what << ", switched on again";
    const CAny a0 = FromText(ZV_DSTRW, L"a");
    ASSERT_TRUE(a->bHFiltre(L"d", &a0, 1, &a0, 1, nullptr));
    EXPECT_EQ(ReadAll(a, L"id"), m.byId.rows) << what << ": a filter on d switches the one on id off";
    EXPECT_EQ(ReadAll(a, L"d"), Where(m.byD, [](const std::vector<Cell>& r) {
                return CompareCells(r[1], Cell(L"a"), Collation::GeneralCi) == 0;
              })) << what << ", filter d = a";
  }
}

// A filter set in place of another on a browse already read: reads and the count under the
// filter are the new filter's, whatever bounds the former one had.
TEST_P(LiveFilterKeys, FilterSetOverAnotherCountsAndReadsItsOwnRows) {
  const Made m = Make();
  const BrowseModel byN(m.rows, {{2, Collation::Number}, {0, Collation::Number}});
  const CAny one = FromText(ZV_I4, L"1"), two = FromText(ZV_I4, L"2");
  const struct {
    const char* name;
    const CAny *lo1, *hi1;  // the former filter's bounds
    const CAny *lo2, *hi2;  // the new one's (upper bound excluded)
  } cases[] = {
      {"open, then below 2", nullptr, nullptr, nullptr, &two},
      {"from 1, then below 2", &one, nullptr, nullptr, &two},
      {"from 1, then from 2", &one, nullptr, &two, nullptr},
  };
  for (const char* cache : {"-1", "7"}) {
    CMySQLConnection* cnx = Connect(cache);
    for (const auto& c : cases) {
      const std::string what = std::string(c.name) + ", cache " + cache;
      CNADataAccess* a = Open(m.desc, cnx);
      ASSERT_TRUE(a->bHFiltre(L"n", c.lo1, 1, c.hi1, 1, nullptr)) << what;
      ASSERT_TRUE(a->bHLitxxx(L"n", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0)) << what;
      ASSERT_TRUE(a->bHFiltre(L"n", c.lo2, 1, c.hi2, 0, nullptr)) << what;
      const RowList want = Where(byN, [&](const std::vector<Cell>& r) {
        if (!r[2]) return false;
        const long long v = Num(r[2]);
        return (c.lo2 == nullptr || v >= 2) && (c.hi2 == nullptr || v < 2);
      });
      long long count = -1;
      EXPECT_TRUE(a->bHNbEnr(&count, 16, 0x4000)) << what;
      EXPECT_EQ(count, static_cast<long long>(want.size())) << what << Sent();
      EXPECT_EQ(ReadAll(a, L"n"), want) << what << Sent();
    }
  }
}

// A filter switched off lost the tree it writes, and switched on again it wrote nothing: the
// browse read every row.
TEST_P(LiveFilterKeys, FilterSwitchedOffAndOnAgainSelectsItsRangeAgain) {
  const Made made = Make();
  const BrowseModel& byId = made.byId;
  CNADataAccess* a = Open(made.desc, Connect(nullptr));
  const CAny lo = FromText(ZV_I4, L"26");
  ASSERT_TRUE(a->bHFiltre(L"id", &lo, 1, nullptr, 0, nullptr));
  ASSERT_TRUE(a->bHDesactiveFiltre(L"id"));
  ASSERT_EQ(ReadAll(a, L"id").size(), made.rows.size());
  ASSERT_TRUE(a->bHActiveFiltre(L"id"));
  EXPECT_EQ(ReadAll(a, L"id"), Where(byId, [](const std::vector<Cell>& r) { return Num(r[0]) >= 26; })) << Sent();
}

// A condition the host parsed, alone: the browse reads the rows it holds; the item the condition
// is carried by comes back to the host.
TEST_P(LiveFilterKeys, ParsedConditionFiltersTheBrowse) {
  RowList rows;
  CHostRecordDescription* desc = MakeTable(&rows);
  const BrowseModel byN(rows, {{2, Collation::Number}, {0, Collation::Number}});
  CHostSQLCatalogue catalogue;
  catalogue.Add(desc);
  CTString error;
  ISQLParserInformation* condition =
      CHostSQLParser::piParseCondition(L"n > 1 AND id < 25", desc->m_pszName, catalogue, &error);
  ASSERT_NE(condition, nullptr) << Utf8(error.pszGet());
  CHostSQLParser::AddParameter(condition, FromText(ZV_PSTRW, (std::wstring(desc->m_pszName) + L".n").c_str()));
  CNADataAccess* a = Open(desc, Connect(nullptr));
  wchar_t item[255] = L"?";
  EXPECT_TRUE(a->bHFiltre(condition, item)) << Utf8(m_error.pszGetError());
  EXPECT_EQ(std::wstring(item), L"n");
  EXPECT_EQ(ReadAll(a, L"n"), Where(byN, [](const std::vector<Cell>& r) { return Num(r[2]) > 1 && Num(r[0]) < 25; }))
      << Sent();
  condition->nRelease();
}

// After a filter change, and after a key change, the next read is the row after the one the
// browse stood on, in the new filter's or key's order, also inside a run of equal keys.
TEST_P(LiveFilterKeys, NextAfterAFilterOrKeyChangeGoesOnFromTheFormerRow) {
  const Made m = Make();
  CMySQLConnection* cnx = Connect("7");
  const struct {
    const wchar_t* item;
    int steps;  // rows read from the first before the change
    const wchar_t* to;  // key change to, or null: a filter n >= 1, carried back to item
  } cases[] = {{L"id", 5, nullptr}, {L"d", 9, nullptr}, {L"d", 3, nullptr}, {L"id", 12, L"d"},
               {L"d", 8, L"id"},   {L"d", 4, L"d"},    {L"id", 1, L"id"}};
  for (const auto& c : cases) {
    const BrowseModel& from = wcscmp(c.item, L"id") == 0 ? m.byId : m.byD;
    const wchar_t* reading = c.to != nullptr ? c.to : c.item;
    const BrowseModel& then = wcscmp(reading, L"id") == 0 ? m.byId : m.byD;
    const std::string what = Utf8(c.item) + " row " + std::to_string(c.steps) + (c.to ? " key to " + Utf8(c.to) : " filter");
    CNADataAccess* a = Open(m.desc, cnx);
    ASSERT_TRUE(a->bHLitxxx(c.item, NA_PARSE_FIRST, 1, kNoLock, nullptr, 0));
    if (c.steps > 1) {
      ASSERT_TRUE(a->bSkipRecord(c.item, NA_PARSE_NEXT, c.steps - 1, 1, kNoLock, nullptr, 0));
    }
    const std::vector<Cell> current = from.rows[static_cast<size_t>(c.steps - 1)];
    ASSERT_EQ(Values(a, {L"id", L"d", L"n"}), current) << what;
    auto kept = [&](const std::vector<Cell>& r) { return c.to != nullptr || Num(r[2]) >= 1; };
    if (c.to != nullptr) {
      ASSERT_TRUE(a->bHChangeCle(c.to, 0)) << what;
    } else {
      const CAny one = FromText(ZV_I4, L"1");
      ASSERT_TRUE(a->bHFiltre(L"n", &one, 1, nullptr, 0, nullptr)) << what;
    }
    // The model's row after the former one in the order read, among the rows kept.
    long long at = 0;
    while (then.rows[static_cast<size_t>(at)] != current) ++at;
    std::optional<std::vector<Cell>> want;
    for (long long i = at + 1; i < then.n() && !want; ++i)
      if (kept(then.rows[static_cast<size_t>(i)])) want = then.rows[static_cast<size_t>(i)];
    ASSERT_TRUE(a->bHLitxxx(reading, NA_PARSE_NEXT, 1, kNoLock, nullptr, c.to != nullptr ? 0 : 0x8000))
        << what << ": " << Utf8(m_error.pszGetError());
    if (want) {
      EXPECT_EQ(Values(a, {L"id", L"d", L"n"}), *want) << what << Sent();
    } else {
      EXPECT_EQ(Out(a, reading), 1) << what;
    }
  }
}

// The item a condition's parameters name: the first named is the last choice after a unique key
// and a key with duplicates; "file.item" names item; parameters of other types name nothing; with
// no item named the best browse item; without that either, user error 17. A name of 400
// characters comes back as 254 and the NUL.
TEST_P(LiveFilterKeys, BestItemOfAConditionIsTheOneTheHostExpects) {
  const std::wstring longName(400, L'x');
  CHostRecordDescription* desc = Description(L"file");
  Item(desc, L"m", NA_IT_MEMOTEXTE, 8);
  CHostItemDescription* id = Item(desc, L"id", NA_IT_I4, 4, kUnique);
  Item(desc, L"k", NA_IT_I4, 4, kDuplicates);
  Item(desc, L"p", NA_IT_I4, 4);
  Item(desc, longName.c_str(), NA_IT_I4, 4);
  CHostRecordDescription* bare = Description(L"bare");
  Item(bare, L"p", NA_IT_I4, 4);
  const struct {
    std::vector<const wchar_t*> names;  // null: a parameter of another type
    bool withBest;
    const wchar_t* chosen;  // null: user error 17
  } rows[] = {
      {{L"id", L"k"}, true, L"k"},        {{L"k", L"id"}, true, L"id"},    {{L"p", L"k", L"id"}, true, L"id"},
      {{L"file.k"}, true, L"k"},          {{L"m", L"p"}, true, L"p"},      {{L"zz", nullptr}, true, L"id"},
      {{}, true, L"id"},                  {{L"zz"}, false, nullptr},       {{L"p"}, false, L"p"},
      {{L"p", L"id", L"k"}, true, L"id"},
  };
  CMySQLConnection* cnx = Connect(nullptr);
  for (const auto& r : rows) {
    CHostRecordDescription* d = r.withBest ? desc : bare;
    d->m_pBestParseItem = r.withBest ? id : nullptr;
    auto* a = new CBrowseAccess(d, cnx, &m_error);
    a->AddRef();
    m_accesses.push_back(a);
    CHostSQLCatalogue catalogue;
    catalogue.Add(d);
    CTString error;
    ISQLParserInformation* condition = CHostSQLParser::piParseCondition(L"1 = 1", d->m_pszName, catalogue, &error);
    ASSERT_NE(condition, nullptr) << Utf8(error.pszGet());
    for (const wchar_t* name : r.names)
      CHostSQLParser::AddParameter(condition, name != nullptr ? FromText(ZV_PSTRW, name) : FromText(ZV_DSTRW, L"k"));
    std::vector<wchar_t> out(265, L'#');
    const BOOL ok = a->bFindBestItem(condition, out.data());
    EXPECT_EQ(ok != FALSE, r.chosen != nullptr);
    if (r.chosen != nullptr) {
      EXPECT_EQ(std::wstring(out.data()), r.chosen);
    } else {
      EXPECT_EQ(m_error.nGetUserErrorCode(), 17u);
      m_error.Reset();
    }
    condition->nRelease();
  }
  // The long name, through the filter the host asks for: written cut, never past the buffer.
  desc->m_pBestParseItem = id;
  auto* a = new CBrowseAccess(desc, cnx, &m_error);
  a->AddRef();
  m_accesses.push_back(a);
  CHostSQLCatalogue catalogue;
  catalogue.Add(desc);
  CTString error;
  ISQLParserInformation* condition = CHostSQLParser::piParseCondition(L"1 = 1", desc->m_pszName, catalogue, &error);
  ASSERT_NE(condition, nullptr);
  CHostSQLParser::AddParameter(condition, FromText(ZV_PSTRW, longName.c_str()));
  std::vector<wchar_t> out(265, L'#');
  a->bHFiltre(condition, out.data());
  EXPECT_EQ(std::wstring(out.data()), std::wstring(254, L'x'));
  EXPECT_EQ(std::wstring(out.begin() + 255, out.end()), std::wstring(10, L'#'));
  condition->nRelease();
  m_error.Reset();
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveFilterKeys,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace
