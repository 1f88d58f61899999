// The current record over host descriptions: its columns, automatic identifier, unique key,
// composite keys and browse order case by case; composite keys completed in searches; row values
// and memo sets; the dump; the record buffers' counts.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "access/narecordid.h"
#include "sql/naitemdescription.h"
#include "sql/nacolumnlist.h"
#include "tests/support/parse_bench.h"
#include "tests/support/record_bench.h"

namespace {

using Build = std::function<void(RecordBench&)>;

std::wstring Names(const CNARecord* r, int n, CNAColumn* (CNARecord::*get)(int) const) {
  std::wstring out;
  for (int i = 0; i < n; ++i) out += (i > 0 ? L"," : L"") + std::wstring((r->*get)(i)->pszGetName());
  return out;
}
const wchar_t* NameOf(const CNAColumn* c) { return c != nullptr ? c->pszGetName() : L"-"; }

class Record : public AnyTest {};

TEST_F(Record, ColumnsKeysAndBrowseOrderFollowTheDescription) {
  struct Row {
    const char* name;
    int limit;
    Build build;
    const wchar_t* order;
    const wchar_t* autoId;
    const wchar_t* unique;
    const wchar_t* composites;
  } rows[] = {
      {"an automatic identifier orders alone", INT_MAX,
       [](RecordBench& b) {
         b.Add(L"code", NA_IT_TEXTE, 9, kUnique, FALSE);
         b.Add(L"id", NA_IT_IDAUTO4, 4, kPrimary, FALSE);
         b.Add(L"d", NA_IT_I4, 4, kDuplicates);
       },
       L"id", L"id", L"code", L""},
      {"the first unique NOT NULL column orders alone", INT_MAX,
       [](RecordBench& b) {
         b.Add(L"u", NA_IT_I4, 4, kUnique);
         b.Add(L"d", NA_IT_I4, 4, kDuplicates);
         b.Add(L"code", NA_IT_TEXTE, 9, kUnique, FALSE);
         b.Add(L"code2", NA_IT_TEXTE, 9, kUnique, FALSE);
       },
       L"code", L"-", L"u", L""},
      {"nullable uniques, composite uniques, duplicates, the rest", INT_MAX,
       [](RecordBench& b) {
         b.Add(L"m", NA_IT_MEMOTEXTE, 8);
         CHostItemDescription* p1 = b.Add(L"p1", NA_IT_I4, 4);
         CHostItemDescription* d1 = b.Add(L"d1", NA_IT_I4, 4, kDuplicates);
         CHostItemDescription* p2 = b.Add(L"p2", NA_IT_TEXTE, 5);
         b.Add(L"u1", NA_IT_I4, 4, kUnique);
         b.Add(L"p3", NA_IT_I4, 4);
         b.Add(L"ck", NA_IT_BINAIRE, 8, kComposite | kUnique, TRUE, {p1, p2});
         b.Add(L"dk", NA_IT_BINAIRE, 8, kComposite | kDuplicates, TRUE, {d1, p2});
       },
       L"u1,p1,p2,d1,p3", L"-", L"u1", L"ck"},
      {"a composite unique NOT NULL key orders alone", INT_MAX,
       [](RecordBench& b) {
         b.Add(L"u1", NA_IT_I4, 4, kUnique);
         CHostItemDescription* a = b.Add(L"a", NA_IT_I4, 4);
         CHostItemDescription* c = b.Add(L"c", NA_IT_I4, 4);
         b.Add(L"ck", NA_IT_BINAIRE, 8, kComposite | kUnique, FALSE, {c, a});
       },
       L"c,a", L"-", L"u1", L"ck"},
      {"a key whose component is ordered already is left out", INT_MAX,
       [](RecordBench& b) {
         CHostItemDescription* u1 = b.Add(L"u1", NA_IT_I4, 4, kUnique);
         CHostItemDescription* p1 = b.Add(L"p1", NA_IT_I4, 4);
         b.Add(L"ck", NA_IT_BINAIRE, 8, kComposite | kUnique, TRUE, {p1, u1});
       },
       L"u1,p1", L"-", L"u1", L"ck"},
      {"the ORDER BY limit", 2,
       [](RecordBench& b) {
         b.Add(L"p1", NA_IT_I4, 4);
         b.Add(L"p2", NA_IT_I4, 4);
         b.Add(L"p3", NA_IT_I4, 4);
       },
       L"p1,p2", L"-", L"-", L""},
  };
  for (const Row& row : rows) {
    RecordBench bench(5, row.limit);
    row.build(bench);
    ASSERT_TRUE(bench.Build()) << row.name;
    const CNARecord* r = bench.Record();
    EXPECT_EQ(r->nGetNbColumn(), bench.m_desc.nGetNumItems()) << row.name;
    EXPECT_EQ(bench.Order(), row.order) << row.name;
    EXPECT_STREQ(NameOf(r->pclGetColumnIDAutoNoRef()), row.autoId) << row.name;
    EXPECT_STREQ(NameOf(r->pclGetUniqueKeyNoRef()), row.unique) << row.name;
    EXPECT_EQ(Names(r, r->nGetNbComposedKey(), &CNARecord::pclGetComposedKeyNoRef), row.composites) << row.name;
  }
}

// A record over a parsed query is browsed first in the query's ORDER BY; once that order holds
// the automatic identifier it is total and is kept, where emptying it for the identifier alone
// would browse the query in an order it did not ask for.
TEST_F(Record, QueryOrderByReachingTheAutomaticIdentifierIsTheBrowseOrder) {
  ParseBench parses;
  struct Item {
    const wchar_t* name;
    eNA_ITEMTYPE type;
    unsigned short keys;
  };
  const std::vector<Item> withId = {{L"nom", NA_IT_TEXTE, 0}, {L"id", NA_IT_IDAUTO4, kPrimary}, {L"ville", NA_IT_TEXTE, 0}};
  const std::vector<Item> plain = {{L"nom", NA_IT_TEXTE, 0}, {L"ville", NA_IT_TEXTE, 0}};
  struct Row {
    const wchar_t* query;  // null: a table
    std::vector<Item> items;
    int limit;
    const wchar_t* order;
  } rows[] = {
      {L"SELECT nom, id, ville FROM clients ORDER BY nom DESC, id, ville", withId, INT_MAX, L"nom,id"},
      {L"SELECT nom, id, ville FROM clients ORDER BY 2", withId, INT_MAX, L"id"},
      // Not reached: the identifier alone.
      {L"SELECT nom, id, ville FROM clients ORDER BY ville", withId, INT_MAX, L"id"},
      {L"SELECT nom, id, ville FROM clients ORDER BY nom, id", withId, 1, L"id"},
      {nullptr, withId, INT_MAX, L"id"},
      {L"SELECT nom, ville FROM clients ORDER BY ville, nom", plain, INT_MAX, L"ville,nom"},
      // An entry naming no SELECT column is skipped.
      {L"SELECT nom, ville FROM clients ORDER BY code, ville", plain, INT_MAX, L"ville,nom"},
      {L"SELECT nom, code FROM clients ORDER BY nom", {{L"nom", NA_IT_TEXTE, 0}, {L"code", NA_IT_TEXTE, kUnique}},
       INT_MAX, L"nom,code"},
      {L"SELECT nom, code FROM clients ORDER BY nom DESC",
       {{L"nom", NA_IT_TEXTE, kDuplicates}, {L"code", NA_IT_TEXTE, kUnique}}, INT_MAX, L"nom,code"},
  };
  const long live = CHostSQLParser::nLive();
  for (const Row& row : rows) {
    const std::string at = row.query != nullptr ? ParseBench::Narrow(row.query) : "a table";
    CSQLParserInfo* query = nullptr;
    if (row.query != nullptr) {
      ISQLParserInformation* parse = parses.Parse(row.query);
      ASSERT_NE(parse, nullptr) << at;
      query = new CSQLParserInfo(nullptr, parse, nullptr, 0);
      query->AddRef();
      parse->nRelease();
    }
    {
      RecordBench bench(5, row.limit);
      for (const Item& item : row.items) bench.Add(item.name, item.type, 8, item.keys);
      ASSERT_TRUE(bench.Build(query)) << at;
      EXPECT_EQ(bench.Order(), row.order) << at;
    }
    if (query != nullptr) query->nRelease();
  }
  EXPECT_EQ(CHostSQLParser::nLive(), live);
}

TEST_F(Record, CompositeKeyExpansionStopsAtTheOrderByLimit) {
  RecordBench bench(5, 3);
  bench.Add(L"u1", NA_IT_I4, 4, kUnique);
  bench.Add(L"u2", NA_IT_I4, 4, kUnique);
  CHostItemDescription* p1 = bench.Add(L"p1", NA_IT_I4, 4);
  CHostItemDescription* p2 = bench.Add(L"p2", NA_IT_I4, 4);
  bench.Add(L"ck", NA_IT_BINAIRE, 8, kComposite | kUnique, TRUE, {p1, p2});
  ASSERT_TRUE(bench.Build());
  EXPECT_EQ(bench.Order(), L"u1,u2,p1");
}

TEST_F(Record, FindsColumnsByIndexNameAndItem) {
  RecordBench bench;
  bench.Add(L"\u00e9t\u00e9", NA_IT_I4, 4);
  CHostItemDescription* b = bench.Add(L"B", NA_IT_TEXTE, 5);
  ASSERT_TRUE(bench.Build());
  const CNARecord* r = bench.Record();
  EXPECT_EQ(r->pclGetColumnNoRef(-1), nullptr);
  EXPECT_EQ(r->pclGetColumnNoRef(2), nullptr);
  EXPECT_EQ(r->pclGetColumnOrderNoRef(-1), nullptr);
  EXPECT_EQ(r->pclGetColumnOrderNoRef(r->nGetNbColumnOrder()), nullptr);
  EXPECT_EQ(r->pclGetColumnNoRef(L"ETE"), r->pclGetColumnNoRef(0));
  EXPECT_EQ(r->pclGetColumnNoRef(L"b"), r->pclGetColumnNoRef(1));
  EXPECT_EQ(r->pclGetColumnNoRef(L"c"), nullptr);
  EXPECT_EQ(r->pclGetColumnNoRef(static_cast<INAItemDescription*>(b)), r->pclGetColumnNoRef(1));
  EXPECT_EQ(r->pszGetTableName(), std::wstring(L"file"));
  EXPECT_FALSE(r->bSourceIsQuery());
}

// A name spelt exactly as a column's is not found before a column that comes first and differs
// only in case: the first column the locale calls the same is the one.
TEST_F(Record, NameLookUpTakesTheFirstColumnOfTheSameTextWhateverItsCase) {
  RecordBench bench;
  bench.Add(L"b", NA_IT_I4, 4);
  bench.Add(L"B", NA_IT_I4, 4);
  bench.Add(L"\u00e9t\u00e9", NA_IT_I4, 4);
  ASSERT_TRUE(bench.Build());
  const CNARecord* r = bench.Record();
  const struct {
    const wchar_t* name;
    int column;  // -1: none
  } rows[] = {{L"b", 0}, {L"B", 0}, {L"\u00e9t\u00e9", 2}, {L"\u00c9T\u00c9", 2}, {L"bb", -1}, {L"", -1}};
  for (const auto& row : rows)
    EXPECT_EQ(r->pclGetColumnNoRef(row.name), row.column < 0 ? nullptr : r->pclGetColumnNoRef(row.column))
        << static_cast<int>(row.name[0]);
}

TEST_F(Record, UniqueKeyWithAValueAndTheServersIdentity) {
  RecordBench bench;
  bench.Add(L"u1", NA_IT_I4, 4, kUnique);
  bench.Add(L"u2", NA_IT_I4, 4, kUnique);
  bench.Add(L"n", NA_IT_I4, 4);
  ASSERT_TRUE(bench.Build());
  CNARecord* r = bench.Record();
  EXPECT_EQ(bench.Order(), L"u1,u2,n");
  EXPECT_EQ(r->pclGetUniqueKeyNotNullNoRef(), nullptr);
  CAny one;
  one.SetI4(1);
  bench.Column(L"u2")->bSetValue(&one, 0);
  EXPECT_EQ(r->pclGetUniqueKeyNotNullNoRef(), bench.Column(L"u2"));
  bench.Column(L"u1")->bSetValue(&one, 0);
  EXPECT_EQ(r->pclGetUniqueKeyNotNullNoRef(), bench.Column(L"u1"));

  EXPECT_EQ(r->pclGetNAColumnIdentityNoRef(), nullptr);
  CNAItemDescription* server = new CNAItemDescription();
  server->ExternalAddRef();
  server->bInit(L"n", L"file", L"n", 1, 4, NA_IT_I4, 2, -1, 0, 0, 0);
  server->SetAutoIncrement();
  bench.Column(L"n")->bSetImportedItemDesc(server);
  server->nExternalRelease();
  EXPECT_EQ(r->pclGetNAColumnIdentityNoRef(), bench.Column(L"n"));
  EXPECT_FALSE(bench.Column(L"n")->bSetValueFromDB(nullptr, 0));
}

TEST_F(Record, ADescriptionWithoutItemsIsRefused) {
  RecordBench bench;
  EXPECT_FALSE(bench.Build());
  EXPECT_EQ(bench.m_error.nGetUserErrorCode(), 1u);
  EXPECT_STREQ(bench.m_error.pszGetLogicalTableName(), L"file");
  EXPECT_EQ(bench.Record()->nGetNbColumn(), 0);
}

TEST_F(Record, CompositeKeysCompletedInASearch) {
  RecordBench bench;
  CHostItemDescription* a = bench.Add(L"a", NA_IT_I4, 4);
  CHostItemDescription* b = bench.Add(L"b", NA_IT_I4, 4);
  CHostItemDescription* c = bench.Add(L"c", NA_IT_I4, 4);
  bench.Add(L"ab", NA_IT_BINAIRE, 8, kComposite | kUnique, TRUE, {a, b});
  bench.Add(L"bc", NA_IT_BINAIRE, 8, kComposite | kUnique, FALSE, {b, c});
  ASSERT_TRUE(bench.Build());
  CColumnNullValueExcluded bExcluded;
  bExcluded.bSetColumnValuesNullSelected(bench.Column(L"b"), FALSE);
  struct Row {
    std::vector<const wchar_t*> list;  // the last one just added
    bool aHasValue;
    CColumnNullValueExcluded* excluded;
    bool complete;
  } rows[] = {
      {{L"a", L"b"}, false, nullptr, false},  // ab may be NULL: no component known
      {{L"a", L"b"}, true, nullptr, true},
      {{L"b", L"a"}, true, nullptr, true},
      {{L"a", L"b"}, false, &bExcluded, true},
      {{L"a", L"b"}, true, &bExcluded, true},
      {{L"b"}, true, nullptr, false},         // fewer than 2
      {{L"c", L"a"}, true, nullptr, false},   // ab lacks b
      {{L"a", L"c"}, true, nullptr, false},   // bc lacks b
      {{L"c", L"b"}, false, nullptr, true},   // bc is NOT NULL on the server
      {{L"b", L"a", L"c"}, false, nullptr, true},
  };
  for (const Row& row : rows) {
    CAny one;
    one.SetI4(1);
    if (row.aHasValue)
      bench.Column(L"a")->bSetValue(&one, 0);
    else
      bench.Column(L"a")->bSetValueNULL();
    CRefArray<CNAColumn> list;
    for (const wchar_t* name : row.list) list.AjouteRef(bench.Column(name));
    std::wstring shown;
    for (const wchar_t* name : row.list) shown += name;
    EXPECT_EQ(bench.Record()->bComposedKeyUniqueNotNullAdded(&list, list.nGetCount(), row.excluded), row.complete)
        << shown << " " << row.aHasValue;
  }
}

TEST_F(Record, RowValuesCopyShareAndCompareTheirParts) {
  RecordBench bench;
  bench.Add(L"n", NA_IT_I4, 4);
  bench.Add(L"m", NA_IT_MEMOTEXTE, 8);
  ASSERT_TRUE(bench.Build());
  CNARecord* r = bench.Record();
  CNARecordValue* current = r->pclGetCurrentValueNoRef();
  CNAConvertVariant* memo = bench.Column(L"m")->pclGetNAValue();
  EXPECT_EQ(current->pclGetMemoValueNoRef(0), memo);  // the column's converter is the row's memo

  CNARecordValue value(&bench.m_error);
  CNAConvertVariant* v = bench.m_driver.pclAllocVariant(nullptr, nullptr);
  v->AddRef();
  v->InitTypeVariantAny(ZV_DSTRA, 0);
  ASSERT_TRUE(value.bShareMemoValue(1, v) && value.bShareMemoValue(5, v));
  for (int i = 0; i < 6; ++i) EXPECT_EQ(value.pclGetMemoValueNoRef(i), i == 1 || i == 5 ? v : nullptr) << i;
  EXPECT_EQ(v->nGetRefCount(), 3u);
  CAny got;
  EXPECT_TRUE(value.bGetMemoValue(&got, 2) && got.bIsNull());

  // Sets of different lengths are equal when the longer one's extra entries are absent or NULL.
  CNARecordMemo shorter, longer;
  shorter.bShareAt(0, v);
  longer.bShareAt(0, v);
  longer.bShareAt(3, nullptr);
  EXPECT_TRUE(CNARecordMemo::g_bEqualsNARecordMemo(&shorter, &longer));
  CNAConvertVariant* n = v->pclGetCloneVariant();
  n->AddRef();
  n->SetNull();
  longer.bShareAt(2, n);
  EXPECT_TRUE(CNARecordMemo::g_bEqualsNARecordMemo(&longer, &shorter));
  CAny x = FromText(ZV_DSTRA, L"x");
  n->bSetValue(&x);
  EXPECT_FALSE(CNARecordMemo::g_bEqualsNARecordMemo(&longer, &shorter));
  EXPECT_TRUE(CNARecordMemo::g_bEqualsNARecordMemo(nullptr, nullptr));
  n->nRelease();

  // A clone holds copies of every part; a copy carries the state word.
  CAny seven;
  seven.SetI4(7);
  bench.Column(L"n")->bSetValue(&seven, 0);
  bench.Column(L"m")->bSetValue(&x, 0);
  r->SetDeleted();
  CNARecordValue* clone = current->pclGetClone(NA_COPY_ALL);
  ASSERT_NE(clone, nullptr);
  clone->AddRef();
  EXPECT_TRUE(clone->bEquals(current, 1));
  EXPECT_EQ(clone->eGetState(), NA_RECORDSTATE_DELETED);
  EXPECT_NE(clone->pclGetMemoValueNoRef(0), memo);
  EXPECT_NE(clone->pclGetRecordIdNoRef(), current->pclGetRecordIdNoRef());
  EXPECT_TRUE(clone->pclGetRecordIdNoRef()->bEqualRecordId(current->pclGetRecordIdNoRef()));
  CAny item;
  EXPECT_TRUE(clone->bGetItemValue(&item, bench.Column(L"n")->piGetItemNoRef()));
  EXPECT_EQ(Area<int32_t>(item), 7);
  // Copied back over a changed row, the shared converters take the values in place.
  bench.Column(L"m")->bSetValueNULL();
  EXPECT_FALSE(clone->bEquals(current, 1));
  EXPECT_TRUE(current->bCopyRecordValue(clone, NA_COPY_MEMO));
  EXPECT_EQ(ClassText(*memo->pclGetValue()), L"x");
  EXPECT_EQ(current->pclGetMemoValueNoRef(0), memo);
  clone->nRelease();
  v->nRelease();
}

// A row copy takes the buffer and the memo set in line when it can: every mix of buffers (none,
// the same layout, another one) and memo sets (none, one entry) on either side ends as the
// separate steps leave it.
TEST_F(Record, RowCopiesEndAsTheirSeparateStepsLeaveThem) {
  RecordBench bench, other;
  bench.Add(L"n", NA_IT_I4, 4);
  other.Add(L"n", NA_IT_I4, 4);
  other.Add(L"k", NA_IT_I8, 8);
  ASSERT_TRUE(bench.Build() && other.Build());
  const CNAKJRecord* layouts[] = {nullptr, bench.Record()->pclGetNAKJRecord(), other.Record()->pclGetNAKJRecord()};
  std::vector<CNAConvertVariant*> made;
  auto make = [&](CNARecordValue* value, int layout, bool memo, uint8_t fill) {
    if (layouts[layout] != nullptr) {
      ASSERT_TRUE(value->bCopyNAKJRecord(layouts[layout]));
      memset(value->pclGetNAKJRecord()->pbyGetValues(), fill, 4);
    }
    if (memo) {
      CNAConvertVariant* v = made.emplace_back(bench.m_driver.pclAllocVariant(nullptr, nullptr));
      v->AddRef();
      v->InitTypeVariantAny(ZV_DSTRA, 0);
      const CAny text = FromText(ZV_DSTRA, fill == 0x5A ? L"theirs" : L"mine");
      ASSERT_TRUE(v->bSetValue(&text));
      ASSERT_TRUE(value->bShareMemoValue(0, v));
    }
  };
  auto shown = [](const CNARecordValue& value) {
    std::string out;
    if (const CNAKJRecord* r = value.pclGetNAKJRecord(); r != nullptr)
      out.assign(reinterpret_cast<const char*>(r->pbyGetNullValuesFlags()), r->nGetTotalSize());
    const CNARecordMemo* memo = value.pclGetTabMemoNoRef();
    out += "|" + std::to_string(memo != nullptr ? memo->nGetCount() : -1);
    CAny entry;
    if (value.bGetMemoValue(&entry, 0)) out += entry.bIsNull() ? "|NULL" : "|" + std::to_string(ClassText(entry).size());
    return out;
  };
  for (int mine = 0; mine < 3; ++mine)
    for (int theirs = 0; theirs < 3; ++theirs)
      for (int memos = 0; memos < 4; ++memos) {
        CNARecordValue source(&bench.m_error), copy(&bench.m_error), stepwise(&bench.m_error);
        make(&source, theirs, (memos & 1) != 0, 0x5A);
        make(&copy, mine, (memos & 2) != 0, 0x11);
        make(&stepwise, mine, (memos & 2) != 0, 0x11);
        const BOOL ok = copy.bCopyRecordValue(&source, NA_COPY_RECORD | NA_COPY_MEMO);
        const BOOL want = stepwise.bCopyNAKJRecord(source.pclGetNAKJRecord()) &&
                          stepwise.bCopyTabMemoValue(source.pclGetTabMemoNoRef());
        const std::string row = std::to_string(mine) + "," + std::to_string(theirs) + "," + std::to_string(memos);
        EXPECT_EQ(ok, want) << row;
        EXPECT_EQ(shown(copy), shown(stepwise)) << row;
      }
  for (CNAConvertVariant* v : made) v->nRelease();
}

// A statement's value kept as the twin of the record's original: whatever may change the
// original or hand it out gives the twin the original's row first; what only reads it, or the
// twin's owner dropping it, leaves the twin's own bytes alone.
TEST_F(Record, TwinGetsTheOriginalsRowBeforeTheOriginalChangesOrIsHandedOut) {
  struct Case {
    const char* name;
    std::function<void(CNARecord*, CNARecordValue* twin, RecordBench*)> act;
    bool copied;     // the twin then holds the original's row
    bool stillTwin;  // and is still the record's twin
  };
  const Case cases[] = {
      {"OriginalValueHandedOut", [](CNARecord* r, CNARecordValue*, RecordBench*) { r->pclGetOriginalValueNoRef(); }, true,
       false},
      {"OriginalBufferHandedOut", [](CNARecord* r, CNARecordValue*, RecordBench*) { r->pclGetOriginalNAKJRecord(); },
       true, false},
      {"CurrentCopiedIntoTheOriginal",
       [](CNARecord* r, CNARecordValue*, RecordBench*) { r->bCopyCurrentRecordToOriginalRecord(); }, true, false},
      {"CurrentCopiedPlainIntoTheOriginal",
       [](CNARecord* r, CNARecordValue*, RecordBench*) { EXPECT_TRUE(r->bCopyPlainCurrentToOriginal()); }, true, false},
      {"BuffersMadeAgain",
       [](CNARecord* r, CNARecordValue*, RecordBench* b) { r->bUpdateChangedTypeInCurrentRecord(&b->m_desc); }, true,
       false},
      {"AnotherTwinTaken",
       [](CNARecord* r, CNARecordValue*, RecordBench* b) {
         CNARecordValue other(&b->m_error);
         other.AddRef();
         r->TakeOriginalTwin(&other, false);
         r->DropOriginalTwin(&other);
       },
       true, false},
      {"OwnerEndsIt", [](CNARecord* r, CNARecordValue* twin, RecordBench*) { r->EndOriginalTwin(twin); }, true, false},
      {"OwnerDropsIt", [](CNARecord* r, CNARecordValue* twin, RecordBench*) { r->DropOriginalTwin(twin); }, false,
       false},
      {"OriginalCopiedIntoTheCurrent",
       [](CNARecord* r, CNARecordValue*, RecordBench*) { r->bCopyOriginalRecordToCurrentRecord(); }, false, true},
      {"OriginalPeeked", [](CNARecord* r, CNARecordValue*, RecordBench*) { r->pclPeekOriginalValueNoRef(); }, false,
       true},
      {"SameTwinTakenAgain", [](CNARecord* r, CNARecordValue* twin, RecordBench*) { r->TakeOriginalTwin(twin, false); },
       false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordBench bench;
    CHostItemDescription* n = bench.Add(L"n", NA_IT_I4, 4);
    ASSERT_TRUE(bench.Build());
    CNARecord* r = bench.Record();
    auto set = [n](CNARecordValue* v, int32_t x) { memcpy(v->pclGetNAKJRecord()->pbyGetItemValue(n, 0), &x, 4); };
    auto get = [n](const CNARecordValue* v) {
      int32_t x = 0;
      memcpy(&x, v->pclGetNAKJRecord()->pbyGetItemValue(n, 0), 4);
      return x;
    };
    set(r->pclGetCurrentValueNoRef(), 1);
    ASSERT_TRUE(r->bCopyCurrentRecordToOriginalRecord());
    CNARecordValue* twin = r->pclGetCurrentValueNoRef()->pclGetClone(NA_COPY_ALL);
    ASSERT_NE(twin, nullptr);
    twin->AddRef();
    set(twin, 7);  // the owner's stale bytes
    r->TakeOriginalTwin(twin, false);
    set(r->pclGetCurrentValueNoRef(), 2);
    c.act(r, twin, &bench);
    EXPECT_EQ(get(twin), c.copied ? 1 : 7);
    EXPECT_EQ(r->pclGetOriginalTwinNoRef() == twin, c.stillTwin);
    r->DropOriginalTwin(twin);
    EXPECT_EQ(twin->nRelease(), 0);
  }
}

// A copy into the original found plain while the twin is kept is asked again after whatever may
// make it another kind of copy: a memo set or an identifier on either value, another state, the
// buffers made again; a memo set gone again makes it plain again.
TEST_F(Record, PlainCopyKeepingTheTwinIsAskedAgainAfterItsPartsChange) {
  struct Case {
    const char* name;
    std::function<void(CNARecord*, RecordBench*)> act;
    bool keeps;
  };
  auto original = [](CNARecord* r) { return const_cast<CNARecordValue*>(r->pclPeekOriginalValueNoRef()); };
  const Case cases[] = {
      {"NothingChanged", [](CNARecord*, RecordBench*) {}, true},
      {"ServerTextKeptByTheCurrent",
       [](CNARecord* r, RecordBench*) { EXPECT_TRUE(r->pclGetCurrentValueNoRef()->bSetServerText(0, "x", 1, false, 0)); },
       false},
      {"ServerTextKeptByTheOriginal",
       [&](CNARecord* r, RecordBench*) { EXPECT_TRUE(original(r)->bSetServerText(0, "x", 1, false, 0)); }, false},
      {"ServerTextKeptThenCleared",
       [](CNARecord* r, RecordBench*) {
         CNARecordValue* current = r->pclGetCurrentValueNoRef();
         EXPECT_TRUE(current->bSetServerText(0, "x", 1, false, 0));
         EXPECT_FALSE(r->bPlainCopyKeepsTwin(r->pclGetOriginalTwinNoRef()));
         current->ClearServerTexts();
       },
       true},
      {"IdentifierDroppedByTheOriginal", [&](CNARecord* r, RecordBench*) { original(r)->bShareRecordID(nullptr); },
       false},
      {"CurrentMarkedDeleted",
       [](CNARecord* r, RecordBench*) { r->pclGetCurrentValueNoRef()->SetState(NA_RECORDSTATE_DELETED); }, false},
      {"BuffersMadeAgain",
       [](CNARecord* r, RecordBench* b) { r->bUpdateChangedTypeInCurrentRecord(&b->m_desc); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordBench bench;
    bench.Add(L"n", NA_IT_I4, 4);
    ASSERT_TRUE(bench.Build());
    CNARecord* r = bench.Record();
    ASSERT_TRUE(r->bCopyCurrentRecordToOriginalRecord());
    CNARecordValue* twin = r->pclGetCurrentValueNoRef()->pclGetClone(NA_COPY_ALL);
    ASSERT_NE(twin, nullptr);
    twin->AddRef();
    r->TakeOriginalTwin(twin, false);
    // Asked once, then known: each case changes what the second asking would skip.
    ASSERT_TRUE(r->bPlainCopyKeepsTwin(twin));
    ASSERT_TRUE(r->bPlainCopyKeepsTwin(twin));
    c.act(r, &bench);
    EXPECT_EQ(r->bPlainCopyKeepsTwin(twin), c.keeps);
    r->DropOriginalTwin(twin);
    EXPECT_EQ(twin->nRelease(), 0);
  }
}

// The plain copy into the twinned original takes every byte of the current buffer, whatever
// its size (in blocks up to 128 bytes, a memcpy beyond), from parts noted when the copy was found
// plain: buffers made again between two copies are found and copied into anew.
TEST_F(Record, PlainCopyIntoTheTwinnedOriginalTakesEveryByte) {
  for (unsigned int size : {1u, 14u, 15u, 16u, 31u, 32u, 47u, 63u, 64u, 100u, 127u, 128u, 200u}) {
    SCOPED_TRACE(size);
    RecordBench bench;
    bench.Add(L"t", NA_IT_TEXTE, size);
    ASSERT_TRUE(bench.Build());
    CNARecord* r = bench.Record();
    for (int round = 0; round < 2; ++round) {
      SCOPED_TRACE(round);
      // The second round's buffers are new ones, of the parts noted the first time none.
      if (round == 1) {
        ASSERT_TRUE(r->bUpdateChangedTypeInCurrentRecord(&bench.m_desc));
      }
      ASSERT_TRUE(r->bCopyCurrentRecordToOriginalRecord());
      CNARecordValue* twin = r->pclGetCurrentValueNoRef()->pclGetClone(NA_COPY_ALL);
      ASSERT_NE(twin, nullptr);
      twin->AddRef();
      r->TakeOriginalTwin(twin, false);
      CNAKJRecord* from = r->pclGetCurrentValueNoRef()->pclGetNAKJRecord();
      const CNARecordValue* original = r->pclPeekOriginalValueNoRef();
      const CNAKJRecord* to = original->pclGetNAKJRecord();
      const unsigned int total = from->nGetTotalSize();
      ASSERT_EQ(to->nGetTotalSize(), total);
      for (int row = 0; row < 2; ++row) {
        for (unsigned int i = 0; i < total; ++i) from->pbyGetNullValuesFlags()[i] = static_cast<BYTE>(i * 37 + row + 1);
        ASSERT_TRUE(r->bPlainCopyKeepsTwin(twin));
        r->CopyPlainCurrentToTwinnedOriginal();
        EXPECT_EQ(memcmp(to->pbyGetNullValuesFlags(), from->pbyGetNullValuesFlags(), total), 0);
      }
      EXPECT_EQ(r->pclGetOriginalTwinNoRef(), twin);
      if (r->pclGetCurrentValueNoRef()->pclGetRecordIdNoRef() != nullptr) {
        const auto* id = static_cast<const CNARecordId_RecordValues*>(original->pclGetRecordIdNoRef());
        EXPECT_EQ(id->pbyGetRecord(), to->pbyGetNullValuesFlags());
        EXPECT_EQ(id->nGetLength(), total);
      }
      r->DropOriginalTwin(twin);
      EXPECT_EQ(twin->nRelease(), 0);
    }
  }
}

TEST_F(Record, RecordBufferOutlivesItsValueWhileCounted) {
  RecordBench bench;
  bench.Add(L"n", NA_IT_I4, 4);
  ASSERT_TRUE(bench.Build());
  CNARecordValue* value = bench.Record()->pclGetOriginalValueNoRef()->pclGetClone(NA_COPY_RECORD);
  value->AddRef();
  CNAKJRecord* kj = value->pclGetNAKJRecord();
  EXPECT_EQ(kj->nGetRefCount(), 1u);
  kj->AddRef();  // the host keeps the buffer it was handed
  value->nRelease();
  EXPECT_EQ(kj->nGetTotalSize(), 5u);
  EXPECT_EQ(kj->nRelease(), 0);
  EXPECT_EQ(bench.Record()->pclGetTemplateNoRef()->nGetRefCount(), 1u);
}

TEST_F(Record, BuffersSetFromTheHostUpdateTheConverters) {
  RecordBench bench;
  bench.Add(L"n", NA_IT_I4, 4);
  bench.Add(L"t", NA_IT_TEXTE, 4);
  ASSERT_TRUE(bench.Build());
  CNARecord* r = bench.Record();
  CNAKJRecord incoming;
  ASSERT_TRUE(incoming.bInit(&bench.m_desc, NA_INIT_EMPTY));
  CAny nine;
  nine.SetI4(9);
  incoming.SetItemValue(bench.Column(L"n")->piGetItemNoRef(), &nine, 0);
  ASSERT_TRUE(r->bSetNAKJRecord(&incoming));
  EXPECT_FALSE(bench.Column(L"n")->pclGetNAValue()->bIsNull());
  EXPECT_TRUE(bench.Column(L"t")->pclGetNAValue()->bIsNull());
  CAny got;
  bench.Column(L"n")->pclGetNAValue()->bGetValue(&got);
  EXPECT_EQ(Area<int32_t>(got), 9);

  // Buffers made again: the columns follow the new current buffer.
  ASSERT_TRUE(r->bUpdateChangedTypeInCurrentRecord(&bench.m_desc));
  bench.Column(L"n")->bSetValue(&nine, 0);
  EXPECT_EQ(bench.Column(L"n")->pclGetNAValue()->pGetData(), r->pclGetNAKJRecord()->pbyGetItemValue(
                                                                 bench.Column(L"n")->piGetItemNoRef(), 0));
}

TEST_F(Record, CurrentRecordDumpLinesStopAtTheFirstCompositeKey) {
  const std::wstring columns =
      L"\n<NullValuesFlags (0=NULL)> : 10000000"
      L"\n<ID> = <7>"
      L"\n<T> = <NULL>";
  for (const bool withAccess : {true, false}) {
    RecordBench bench;
    CHostItemDescription* id = bench.Add(L"ID", NA_IT_I4, 4);
    CHostItemDescription* t = bench.Add(L"T", NA_IT_TEXTE, 11);
    // No room in the layout, so that an item may follow it.
    bench.Add(L"K", NA_IT_BINAIRE, 0, kComposite | kUnique, TRUE, {t, id});
    bench.Add(L"after", NA_IT_I4, 4);
    ASSERT_TRUE(bench.Build());
    CNARecord* r = bench.Record();
    if (!withAccess) {
      // The same record without a data access has no row identifier.
      bench.m_pRecord = new CNARecord(&bench.m_error, nullptr);
      bench.m_pRecord->AddRef();
      ASSERT_TRUE(bench.m_pRecord->bInitRecord(&bench.m_desc, nullptr, &bench.m_cnx));
      r->nRelease();
      r = bench.m_pRecord;
    }
    CAny seven;
    seven.SetI4(7);
    r->pclGetColumnNoRef(L"ID")->bSetValue(&seven, 0);
    CXYStringConcat<wchar_t> out;
    out.Add(L"replaced");
    r->CurrentRecordToString(&out);
    EXPECT_EQ(Text(out), (withAccess ? L"<Record ID> : record values (20 bytes)" : L"<Record ID> : NULL") + columns);
  }
}

}  // namespace
