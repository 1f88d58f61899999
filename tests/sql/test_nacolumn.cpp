// Columns over a record of the stand-in host description: composite key bytes against keys built
// here by hand, the NULL, definition and change rules as tables, memo values and files, dumps,
// quoted names, and the driver's column factories.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "sql/naconvertvariant.h"
#include "sql/nainsertform.h"
#include "sql/naitemdescription.h"
#include "tests/support/record_bench.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Units(std::initializer_list<uint16_t> units) {
  Bytes b;
  for (uint16_t u : units) b.insert(b.end(), {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8)});
  return b;
}
Bytes Of(const CAny& v) {
  void* p = nullptr;
  unsigned int n = 0;
  v.Intern()->nGetDataAdr(&p);
  v.Intern()->nGetUtilDataSize(&n);
  return p != nullptr ? Bytes(static_cast<uint8_t*>(p), static_cast<uint8_t*>(p) + n) : Bytes();
}
CAny Bin(const Bytes& b) {
  CAny v;
  v.SetBIN(b.data(), static_cast<unsigned int>(b.size()));
  return v;
}
CAny Null() {
  CAny v;
  v.SetNull(true);
  return v;
}
CAny Int(int n) {
  CAny v;
  v.SetI4(n);
  return v;
}
CAny Ansi(const wchar_t* s) { return FromText(ZV_DSTRA, s); }

struct Release {
  void operator()(CNAItemDescription* p) const { p->nExternalRelease(); }
};
// The database side of a column: its type, a server type code, NULL allowed or not.
std::unique_ptr<CNAItemDescription, Release> Imported(eNA_ITEMTYPE type, bool nullable) {
  auto* p = new CNAItemDescription();
  p->ExternalAddRef();
  p->bInit(L"db", L"t", L"db", 1, 8, type, 0, -1, 0, 0, 0);
  p->SetDBType(L"server type", 1);
  p->SetNullable(nullable ? 1 : 0);
  return std::unique_ptr<CNAItemDescription, Release>(p);
}

class Column : public AnyTest {};

TEST_F(Column, ComposedKeyIsItsComponentsInTheirWidths) {
  // Components after the values: TEXTE width size - 1, UNICODE size - 2 as UTF-16 units.
  struct Row {
    const char* name;
    eNA_ITEMTYPE type;
    unsigned int size;
    CAny value;
    Bytes field;
  } rows[] = {
      {"text", NA_IT_TEXTE, 11, Ansi(L"abc"), {'a', 'b', 'c', 0, 0, 0, 0, 0, 0, 0}},
      {"full text", NA_IT_TEXTE, 11, Ansi(L"abcdefghij"), {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'}},
      {"pair fits", NA_IT_UNICODE, 10, FromText(ZV_DSTRW, L"a\U0001F600b"), Units({'a', 0xD83D, 0xDE00, 'b'})},
      {"pair at the end", NA_IT_UNICODE, 8, FromText(ZV_DSTRW, L"a\U0001F600b"), Units({'a', 0xD83D, 0xDE00})},
      // A pair that does not fit whole is left out, never cut.
      {"pair cut", NA_IT_UNICODE, 6, FromText(ZV_DSTRW, L"a\U0001F600"), Units({'a', 0})},
      {"null text", NA_IT_TEXTE, 5, Null(), {0, 0, 0, 0}},
  };
  for (Row& row : rows) {
    RecordBench bench;
    CHostItemDescription* part = bench.Add(L"part", row.type, row.size);
    CHostItemDescription* n = bench.Add(L"n", NA_IT_I4, 4);
    const auto width = static_cast<unsigned int>(row.field.size());
    bench.Add(L"key", NA_IT_BINAIRE, width + 4, kComposite | kUnique, TRUE, {part, n});
    ASSERT_TRUE(bench.Build()) << row.name;
    bench.Column(L"part")->bSetValue(&row.value, 0);
    CAny number = Int(0x01020304);
    bench.Column(L"n")->bSetValue(&number, 0);

    Bytes expected = row.field;
    expected.insert(expected.end(), {4, 3, 2, 1});
    CNAColumn* key = bench.Column(L"key");
    CAny got;
    ASSERT_TRUE(key->bGetCurrentValue(&got, 0)) << row.name;
    EXPECT_EQ(got.wGetTypeWord(), ZV_BIN) << row.name;
    EXPECT_EQ(Of(got), expected) << row.name;
    CAny handBuilt = Bin(expected), prefix = Bin(row.field);
    EXPECT_TRUE(key->bSameValue(&handBuilt, 0)) << row.name;
    EXPECT_TRUE(key->bSameValue(&prefix, NA_SAMEVALUE_PREFIX)) << row.name;
    EXPECT_FALSE(key->bSameValue(&prefix, 0)) << row.name;
  }
}

TEST_F(Column, SameValueComparesBytesOfOneKindAndValuesOtherwise) {
  struct Row {
    eNA_ITEMTYPE type;
    CAny current;
    CAny given;
    bool same;
    bool prefix;
  } rows[] = {
      {NA_IT_TEXTE, Ansi(L"AB"), Ansi(L"AB"), true, true},
      {NA_IT_TEXTE, Ansi(L"ABC"), Ansi(L"AB"), false, true},
      {NA_IT_TEXTE, Ansi(L"A"), Ansi(L"AB"), false, false},
      {NA_IT_TEXTE, Ansi(L"AB"), FromText(ZV_PSTRA, L"AB"), true, true},
      {NA_IT_TEXTE, Ansi(L"AB"), FromText(ZV_DSTRW, L"AB"), true, true},
      {NA_IT_TEXTE, Null(), Null(), true, true},
      {NA_IT_TEXTE, Null(), Ansi(L"AB"), false, false},
      {NA_IT_TEXTE, Ansi(L"AB"), Null(), false, false},
      {NA_IT_I4, Int(5), FromText(ZV_I8, L"5"), true, true},
      {NA_IT_I4, Int(5), FromText(ZV_I8, L"6"), false, false},
      // An empty date is no value: only NULL matches it.
      {NA_IT_DATE8, Ansi(L""), Null(), true, true},
  };
  for (Row& row : rows) {
    RecordBench bench;
    bench.Add(L"c", row.type, row.type == NA_IT_I4 ? 4 : 11);
    ASSERT_TRUE(bench.Build());
    CNAColumn* c = bench.Column(L"c");
    c->bSetValue(&row.current, 0);
    EXPECT_EQ(c->bSameValue(&row.given, 0), row.same) << ClassText(row.current) << " / " << ClassText(row.given);
    EXPECT_EQ(c->bSameValue(&row.given, NA_SAMEVALUE_PREFIX), row.prefix) << ClassText(row.current);
  }
}

TEST_F(Column, NullOrEquivalentByItemTypeDatabaseTypeAndDialect) {
  CAny zeroDate;
  zeroDate.__SetType(ZV_DATETIME, 0);
  CAny someDate = FromText(ZV_DATETIME, L"20240229123456789");
  struct Row {
    int dialect;
    eNA_ITEMTYPE t;
    eNA_ITEMTYPE d;  // 0: no imported item
    bool dbNullable;
    CAny value;
    bool expected;
  } rows[] = {
      {5, NA_IT_TEXTE, NA_IT_EMPTY, true, Null(), true},
      {5, NA_IT_DATE8, NA_IT_EMPTY, true, Ansi(L""), true},
      {5, NA_IT_DATE8, NA_IT_EMPTY, true, Ansi(L"20240101"), false},
      {5, NA_IT_TEXTE, NA_IT_EMPTY, true, Ansi(L""), false},
      {5, NA_IT_DATETIME, NA_IT_EMPTY, true, zeroDate, true},
      {5, NA_IT_DATETIME, NA_IT_EMPTY, true, someDate, false},
      {5, NA_IT_TEXTE, NA_IT_DATETIME, true, Ansi(L""), true},
      {5, NA_IT_HEURE, NA_IT_DATETIME, true, Ansi(L""), false},
      {5, NA_IT_HEURE, NA_IT_DATE8, true, Ansi(L""), true},
      {5, NA_IT_HEURE, NA_IT_DATE8, false, Ansi(L""), false},
      {5, NA_IT_TEXTE, NA_IT_DATE8, false, Ansi(L""), false},
      {5, NA_IT_DATE8, NA_IT_DATE8, false, Ansi(L""), true},
      {5, NA_IT_BINAIRE, NA_IT_EMPTY, true, Bin({}), false},
      {1, NA_IT_TEXTE, NA_IT_EMPTY, true, Ansi(L""), true},
      {1, NA_IT_TEXTE, NA_IT_EMPTY, true, Ansi(L"x"), false},
      {1, NA_IT_TEXTE, NA_IT_EMPTY, false, Ansi(L""), false},
      {1, NA_IT_I4, NA_IT_TEXTE, true, Ansi(L""), true},
      {1, NA_IT_BINAIRE, NA_IT_EMPTY, true, Bin({}), true},
      {1, NA_IT_BINAIRE, NA_IT_EMPTY, false, Bin({}), true},
      {1, NA_IT_BINAIRE, NA_IT_EMPTY, true, Bin({'a'}), false},
      {1, NA_IT_I4, NA_IT_EMPTY, true, Int(0), false},
  };
  for (Row& row : rows) {
    RecordBench bench(row.dialect);
    bench.Add(L"c", row.t, 12, 0, row.d == NA_IT_EMPTY ? row.dbNullable : TRUE);
    ASSERT_TRUE(bench.Build());
    CNAColumn* c = bench.Column(L"c");
    auto imported = Imported(row.d, row.dbNullable);
    if (row.d != NA_IT_EMPTY) c->bSetImportedItemDesc(imported.get());
    EXPECT_EQ(c->bNullOrEquivalent(&row.value), row.expected)
        << row.dialect << " t=" << row.t << " d=" << row.d << " " << ClassText(row.value);
    c->bSetImportedItemDesc(nullptr);
  }
}

// The record's slot answers without the value where the types decide: it must agree with the
// value read back, for every kind of item, database type and dialect.
TEST_F(Column, NullOrEquivalentOfTheSlotAgreesWithTheValueRead) {
  CAny noon = FromText(ZV_DATETIME, L"20240229120000000");
  CAny midnightOfDayOne = FromText(ZV_DATETIME, L"00010101000000000");
  CAny zeroDate;
  zeroDate.__SetType(ZV_DATETIME, 0);
  struct Row {
    int dialect;
    eNA_ITEMTYPE t;
    unsigned int size;
    eNA_ITEMTYPE d;  // 0: no imported item
    bool dbNullable;
    CAny value;
  } rows[] = {
      {5, NA_IT_I4, 4, NA_IT_EMPTY, true, Int(0)},
      {5, NA_IT_I4, 4, NA_IT_EMPTY, true, Null()},
      {5, NA_IT_TEXTE, 11, NA_IT_EMPTY, true, Ansi(L"")},
      {5, NA_IT_TEXTE, 11, NA_IT_EMPTY, true, Ansi(L"x")},
      {5, NA_IT_DATETIME, 8, NA_IT_EMPTY, true, zeroDate},
      {5, NA_IT_DATETIME, 8, NA_IT_EMPTY, true, noon},
      {5, NA_IT_DATETIME, 8, NA_IT_EMPTY, true, midnightOfDayOne},
      {5, NA_IT_DATETIME, 8, NA_IT_DATETIME, true, zeroDate},
      {5, NA_IT_DATETIME, 8, NA_IT_DATETIME, false, noon},
      {5, NA_IT_DATE8, 9, NA_IT_EMPTY, true, Ansi(L"")},
      {5, NA_IT_DATE8, 9, NA_IT_EMPTY, true, Ansi(L"20240101")},
      {5, NA_IT_TEXTE, 11, NA_IT_DATETIME, true, Ansi(L"")},
      {5, NA_IT_HEURE, 10, NA_IT_DATETIME, true, Ansi(L"")},
      {5, NA_IT_I4, 4, NA_IT_DATE8, true, Int(0)},
      {5, NA_IT_BINAIRE, 6, NA_IT_EMPTY, true, Bin({})},
      {5, NA_IT_UNICODE, 10, NA_IT_EMPTY, true, FromText(ZV_DSTRW, L"")},
      {1, NA_IT_TEXTE, 11, NA_IT_EMPTY, true, Ansi(L"")},
      {1, NA_IT_TEXTE, 11, NA_IT_EMPTY, false, Ansi(L"")},
      {1, NA_IT_I4, 4, NA_IT_TEXTE, true, Int(0)},
      {1, NA_IT_I4, 4, NA_IT_EMPTY, true, Int(0)},
      {1, NA_IT_BINAIRE, 6, NA_IT_EMPTY, true, Bin({})},
      {1, NA_IT_BINAIRE, 6, NA_IT_EMPTY, true, Bin({'a'})},
      {1, NA_IT_DATETIME, 8, NA_IT_EMPTY, true, zeroDate},
  };
  for (Row& row : rows) {
    RecordBench bench(row.dialect);
    bench.Add(L"c", row.t, row.size, 0, row.d == NA_IT_EMPTY ? row.dbNullable : TRUE);
    ASSERT_TRUE(bench.Build());
    CNAColumn* c = bench.Column(L"c");
    auto imported = Imported(row.d, row.dbNullable);
    if (row.d != NA_IT_EMPTY) c->bSetImportedItemDesc(imported.get());
    c->bSetValue(&row.value, 0);
    CAny read;
    ASSERT_TRUE(c->bGetCurrentValue(&read, 0));
    const BOOL expected = c->bNullOrEquivalent(&read);
    EXPECT_EQ(c->bNullOrEquivalent(), expected)
        << row.dialect << " t=" << row.t << " d=" << row.d << " " << ClassText(row.value);
    EXPECT_EQ(c->bValueDefined(), !expected) << row.dialect << " t=" << row.t << " " << ClassText(row.value);
    c->bSetImportedItemDesc(nullptr);
  }
}

TEST_F(Column, DefinedModifiedAndCorrectedBeforeAWrite) {
  struct Row {
    const wchar_t* column;
    CAny original;
    CAny current;
    bool defined;
    bool modified;
  } rows[] = {
      {L"t", Ansi(L"a"), Ansi(L"a"), true, false},    {L"t", Ansi(L"a"), Ansi(L"b"), true, true},
      {L"t", Null(), Ansi(L""), true, true},          {L"t", Ansi(L"a"), Null(), false, true},
      {L"d", Null(), Ansi(L""), false, false},        {L"d", Ansi(L"20240101"), Ansi(L""), false, true},
      {L"n", Int(1), Int(1), true, false},            {L"n", Int(1), Int(2), true, true},
      {L"n", Null(), Null(), false, false},
  };
  for (Row& row : rows) {
    RecordBench bench;
    bench.Add(L"t", NA_IT_TEXTE, 11);
    bench.Add(L"d", NA_IT_DATE8, 9);
    bench.Add(L"n", NA_IT_I4, 4);
    ASSERT_TRUE(bench.Build());
    CNAColumn* c = bench.Column(row.column);
    c->bSetValue(&row.original, 0);
    bench.Record()->bCopyCurrentRecordToOriginalRecord();
    c->bSetValue(&row.current, 0);
    const std::wstring shown = std::wstring(row.column) + L" " + ClassText(row.original) + L"->" + ClassText(row.current);
    EXPECT_EQ(c->bValueDefined(), row.defined) << shown;
    EXPECT_EQ(c->bValueModified(), row.modified) << shown;
    EXPECT_TRUE(c->bCheckAndCorrectKJRecordValues());
    // What the write sends: the record's bit and the converter agree with the rule.
    CNAKJRecord* kj = bench.Record()->pclGetNAKJRecord();
    EXPECT_EQ(kj->bItemValueDefined(c->piGetItemNoRef(), 0), row.defined) << shown;
    EXPECT_EQ(c->pclGetNAValue()->bIsNull(), !row.defined) << shown;
  }
  // A memo whose row says NULL is made NULL; one the row holds stays.
  RecordBench bench;
  bench.Add(L"m", NA_IT_MEMOTEXTE, 8);
  ASSERT_TRUE(bench.Build());
  CNAColumn* m = bench.Column(L"m");
  CAny text = Ansi(L"t");
  m->bSetValue(&text, 0);
  EXPECT_TRUE(m->bCheckAndCorrectKJRecordValues() && m->bValueDefined());
  m->_SetItemValueDefinedInKJRecord(FALSE, 0);
  EXPECT_TRUE(m->bCheckAndCorrectKJRecordValues());
  EXPECT_TRUE(m->pclGetNAValue()->bIsNull());
}

TEST_F(Column, MemoValuesBoundForTheServerAreStoredOnlyWhenChanged) {
  enum Start { kNull, kOld, kUnread, kAttached };
  struct Row {
    const char* name;
    bool dbNullable;
    bool originalDefined;
    Start start;
    CAny value;
    bool modified;
    const wchar_t* held;  // null: NULL
  } rows[] = {
      {"unread", true, true, kUnread, Ansi(L"x"), true, L"x"},
      {"new NULL on a NULL row", true, false, kNull, Null(), false, nullptr},
      // Empty is a value, not NULL: it is stored over NULL as an add stores it.
      {"empty on a NULL row", true, false, kNull, Ansi(L""), true, L""},
      {"NULL over a value on a NULL row", true, false, kOld, Null(), false, nullptr},
      {"empty over a file on a NULL row", true, false, kAttached, Ansi(L""), true, L""},
      {"empty on a NULL row, NOT NULL column", false, false, kNull, Ansi(L""), true, L""},
      {"same value", true, true, kOld, Ansi(L"old"), false, L"old"},
      {"NULL over a value", true, true, kOld, Null(), true, nullptr},
      {"other value", true, true, kOld, Ansi(L"new"), true, L"new"},
      {"value after NULL", true, true, kNull, Ansi(L"x"), true, L"x"},
      {"NULL after NULL", true, true, kNull, Null(), false, nullptr},
      {"after an attached file", true, true, kAttached, Ansi(L"y"), true, L"y"},
  };
  for (Row& row : rows) {
    RecordBench bench;
    bench.Add(L"m", NA_IT_MEMOTEXTE, 8, 0, row.dbNullable);
    ASSERT_TRUE(bench.Build());
    CNAColumn* m = bench.Column(L"m");
    CAny old = Ansi(L"old"), null = Null();
    m->bSetValue(row.originalDefined ? &old : &null, 0);
    bench.Record()->bCopyCurrentRecordToOriginalRecord();
    m->bSetValue(row.start == kOld ? &old : &null, 0);
    if (row.start == kUnread) m->SetValueIsUnreadYet();
    if (row.start == kAttached) m->bHAttacheMemo(L"/nonexistent/memo");
    ASSERT_TRUE(m->bSetValueToDB(&row.value, 0)) << row.name;
    EXPECT_EQ(m->bValueModified(), row.modified) << row.name;
    EXPECT_STREQ(m->pszGetAttachedMemoFile(), L"") << row.name;
    CAny held;
    m->pclGetNAValue()->bGetValue(&held);
    if (row.held == nullptr)
      EXPECT_TRUE(held.bIsNull()) << row.name;
    else
      EXPECT_EQ(ClassText(held), row.held) << row.name;
  }
}

TEST_F(Column, MemoSetNullIsNotDefinedInTheRecord) {
  RecordBench bench;
  bench.Add(L"m", NA_IT_MEMOTEXTE, 8);
  ASSERT_TRUE(bench.Build());
  CNAColumn* m = bench.Column(L"m");
  CNAKJRecord* kj = bench.Record()->pclGetNAKJRecord();
  // A new record holds no memo value, and says so.
  EXPECT_FALSE(m->bValueDefined());
  CAny text = Ansi(L"t"), null = Null();
  m->bSetValue(&text, 0);
  EXPECT_TRUE(kj->bItemValueDefined(m->piGetItemNoRef(), 0));
  m->bSetValue(&null, 0);
  EXPECT_FALSE(kj->bItemValueDefined(m->piGetItemNoRef(), 0));
  EXPECT_EQ(kj->pbyGetItemValue(m->piGetItemNoRef(), 0)[0], 0xFF);
}

TEST_F(Column, MemoFilesAreAttachedAndExtracted) {
  char dir[] = "/tmp/qxmemoXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string base = dir;
  auto wide = [](const std::string& s) { return std::wstring(s.begin(), s.end()); };
  auto read = [](const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
  };
  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  {
    RecordBench bench;
    bench.Add(L"m", NA_IT_MEMOBINAIRE, 8);
    ASSERT_TRUE(bench.Build());
    CNAColumn* m = bench.Column(L"m");
    // NULL gives an empty file.
    ASSERT_TRUE(m->bHExtraitMemo(wide(base + "/null").c_str()));
    EXPECT_TRUE(read(base + "/null").empty());
    CAny bytes = Bin(all);
    m->bSetValue(&bytes, 0);
    ASSERT_TRUE(m->bHExtraitMemo(wide(base + "/all").c_str()));
    EXPECT_EQ(read(base + "/all"), all);

    // An attached file is the value from then on, read when asked.
    bench.Record()->bCopyCurrentRecordToOriginalRecord();
    std::ofstream(base + "/in", std::ios::binary) << "from file";
    ASSERT_TRUE(m->bHAttacheMemo(wide(base + "/in").c_str()));
    EXPECT_TRUE(m->bValueDefined() && m->bValueModified() && !m->bNullOrEquivalent());
    CAny got;
    ASSERT_TRUE(m->bGetCurrentValue(&got, 0));
    EXPECT_EQ(Of(got), (Bytes{'f', 'r', 'o', 'm', ' ', 'f', 'i', 'l', 'e'}));

    m->bHAttacheMemo(wide(base + "/missing").c_str());
    EXPECT_FALSE(m->bGetCurrentValue(&got, 0));
    EXPECT_EQ(bench.m_error.nGetUserErrorCode(), 15u);
    EXPECT_FALSE(m->bHExtraitMemo(wide(base + "/no/such/dir").c_str()));
  }
  for (const char* f : {"/null", "/all", "/in"}) unlink((base + f).c_str());
  rmdir(dir);
}

TEST_F(Column, CurrentValueDumps) {
  RecordBench bench;
  bench.Add(L"ID", NA_IT_I4, 4);
  bench.Add(L"M", NA_IT_MEMOTEXTE, 8);
  ASSERT_TRUE(bench.Build());
  CNAColumn* id = bench.Column(L"ID");
  CNAColumn* memo = bench.Column(L"M");
  CXYStringConcat<wchar_t> out;
  out.Add(L"left over");
  struct Row {
    CAny value;
    int withName;
    const wchar_t* text;
  } rows[] = {
      {Null(), 1, L"<ID> = <NULL>"},
      {Null(), 0, L""},
      {Int(12), 1, L"<ID> = <12>"},
      {Int(-3), 0, L"-3"},
  };
  for (Row& row : rows) {
    id->bSetValue(&row.value, 0);
    EXPECT_TRUE(id->bCurrentValueToString(&out, row.withName));
    EXPECT_EQ(Text(out), row.text);
  }
  memo->SetValueIsUnreadYet();
  EXPECT_TRUE(memo->bCurrentValueToString(&out, 1));
  EXPECT_EQ(Text(out), L"<M> = <UNREAD YET>");
}

TEST_F(Column, NamesAreQuotedByTheConnection) {
  struct Row {
    const wchar_t* name;
    const wchar_t* inSource;
    const wchar_t* formatted;
    const wchar_t* original;
  } rows[] = {
      {L"plain", L"", L"`plain`", L"`plain`"},
      {L"a`b", L"", L"`a``b`", L"`a``b`"},
      {L"order", L"my col", L"`order`", L"`my col`"},
      {L"`q`", L"\u00e9t\u00e9", L"`q`", L"`\u00e9t\u00e9`"},
  };
  for (const Row& row : rows) {
    RecordBench bench;
    bench.Add(row.name, NA_IT_I4, 4)->m_pszNameInSource = row.inSource;
    ASSERT_TRUE(bench.Build());
    CNAColumn* c = bench.Record()->pclGetColumnNoRef(0);
    EXPECT_STREQ(c->pszGetFormatedName(), row.formatted);
    EXPECT_STREQ(c->pszGetFormatedOriginalName(), row.original);
    EXPECT_STREQ(c->pszGetFormatedSelectName(1), row.formatted);
    // A table's column is selected by its name in the table.
    EXPECT_STREQ(c->pszGetFormatedSelectName(0), row.original);
  }
}

// The INSERT's head a statement keeps follows the table and column names it is asked for: of a
// record made after another (whose names' buffers it may take again), and of a column that
// formats its name again in place.
TEST_F(Column, InsertHeadFollowsTheNamesOfEachRecord) {
  // A step builds a record of the columns a and b on table, or (no table) renames a, the first
  // column of the last record; then asks for the head unless none is given. Two renames between
  // two asks let the second name take the buffer of the name last asked for.
  const struct {
    const wchar_t* table;
    const wchar_t* a;
    const wchar_t* b;
    const char* head;
  } steps[] = {
      {L"t", L"a", L"b", "INSERT INTO `t` (`a`,`b`) VALUES ( "},
      {nullptr, L"c", nullptr, "INSERT INTO `t` (`c`,`b`) VALUES ( "},
      {nullptr, L"d", nullptr, nullptr},
      {nullptr, L"e", nullptr, "INSERT INTO `t` (`e`,`b`) VALUES ( "},
      {L"t", L"a", L"b", "INSERT INTO `t` (`a`,`b`) VALUES ( "},
      {L"t", L"x", L"y", "INSERT INTO `t` (`x`,`y`) VALUES ( "},
      {L"u", L"x", L"y", "INSERT INTO `u` (`x`,`y`) VALUES ( "},
      {L"u", L"y", L"x", "INSERT INTO `u` (`y`,`x`) VALUES ( "},
  };
  CNAInsertForm form;
  std::unique_ptr<RecordBench> bench;
  std::vector<CNAColumn*> columns;
  for (const auto& step : steps) {
    if (step.table != nullptr) {
      bench.reset();
      bench = std::make_unique<RecordBench>();
      bench->m_desc.m_pszDBTableName = step.table;
      bench->Add(step.a, NA_IT_I4, 4);
      bench->Add(step.b, NA_IT_I4, 4);
      ASSERT_TRUE(bench->Build());
      columns = {bench->Column(step.a), bench->Column(step.b)};
    } else {
      bench->m_items.front().m_csName = step.a;
      ASSERT_TRUE(columns[0]->bFormatName());
    }
    // Asked again with nothing changed, as every add after the first is.
    for (int again = 0; step.head != nullptr && again < 2; ++again) {
      int n = 0;
      const char* head = form.pszGetHead(bench->m_pAccess->pszGetFormatedTableName(), columns, 65001, 1252, &n);
      EXPECT_EQ(std::string(head, static_cast<size_t>(n)), step.head);
    }
  }
}

TEST_F(Column, DriverMakesColumnsAndTypesConvertersThroughThem) {
  RecordBench bench;
  bench.Add(L"n", NA_IT_I4, 4);
  ASSERT_TRUE(bench.Build());
  for (int type : {0, 1, 2, 8, 30, 31, 32}) {
    CHostItemDescription item(L"x", static_cast<eNA_ITEMTYPE>(type), 4);
    CNAColumn* c = bench.m_driver.pclAllocColumn(&bench.m_error, &item);
    EXPECT_EQ(c != nullptr, type >= 1 && type <= 31 && type != 8) << type;
    EXPECT_TRUE(c == nullptr || dynamic_cast<CNASQLColumn*>(c) != nullptr);
    if (c == nullptr) continue;
    c->AddRef();
    c->nRelease();
    EXPECT_EQ(item.nGetRefCount(), 0);
  }
  // A value typed through a column takes the item's type: text that is no number is refused.
  CNAColumn* n = bench.Column(L"n");
  CAny twelve = FromText(ZV_DSTRA, L"12"), word = FromText(ZV_DSTRA, L"abc");
  CNAConvertVariant* v = bench.m_driver.pclGetNewVariant_NV_Any(&bench.m_error, &bench.m_cnx, n, &twelve);
  ASSERT_NE(v, nullptr);
  v->AddRef();
  CAny got;
  v->bGetValue(&got);
  EXPECT_TRUE(got.wGetType() == ZV_I4 && Area<int32_t>(got) == 12 && v->piGetAnalysisItem() == n->piGetItemNoRef());
  v->nRelease();
  EXPECT_EQ(bench.m_driver.pclGetNewVariant_NV_Any(&bench.m_error, &bench.m_cnx, n, &word), nullptr);
}

}  // namespace
