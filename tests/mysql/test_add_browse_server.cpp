// Browses around a record just added, against the private server: a key change right after the
// add goes on from the added record; a read that has no browse to go on from says so; and a
// browse of another item of the same access, or of another access of the same table, sees the
// added row where its order puts it.
#include <string>
#include <vector>

#include "access/narecordcache.h"
#include "tests/mysql/browse_bench.h"

namespace {

const eNA_LOCKTYPE kNoLock = eNA_LOCKTYPE{1};

class LiveAddBrowse : public LiveBrowse {
 protected:
  // Six rows: ids 1 to 6, d "b" "d" "f" "h" "j" "l".
  CHostRecordDescription* MakeTable() {
    const std::wstring name = Name(L"qx add`brw ");
    Raw("CREATE TABLE " + Quoted(name) + " (id INT PRIMARY KEY, d VARCHAR(8) NULL, KEY (d))");
    Raw("INSERT INTO " + Quoted(name) + " VALUES (1,'b'),(2,'d'),(3,'f'),(4,'h'),(5,'j'),(6,'l')");
    CHostRecordDescription* desc = Description(name);
    CHostItemDescription* id = Item(desc, L"id", NA_IT_I4, 4, kKeyPrimary);
    id->m_bNullAllowed = FALSE;
    Item(desc, L"d", NA_IT_TEXTE, 9, kKeyDuplicates);
    desc->m_pBestParseItem = id;
    m_strName = name;
    return desc;
  }
  // The record takes id and d, then is added with flags.
  BOOL Add(CNADataAccess* a, int id, const wchar_t* d, NA_WRITEPARSEFLAGS flags = 0) {
    CNARecord* record = a->pclGetCurrentRecordNoRef();
    CAny v;
    v.SetI4(id);
    const CAny text = FromText(ZV_DSTRW, d);
    return record->pclGetColumnNoRef(L"id")->bSetValue(&v, 0) && record->pclGetColumnNoRef(L"d")->bSetValue(&text, 0) &&
           a->bHAjoute(flags, kNoLock);
  }
  // The id of the current record; 0 out of the data; -1 when the read failed.
  static int Read(CNADataAccess* a, const wchar_t* item, eNA_PARSEDIRECTION dir, NA_WRITEPARSEFLAGS flags = 0) {
    if (!a->bHLitxxx(item, dir, 1, kNoLock, nullptr, flags)) return -1;
    int out = 1;
    a->bHEndehors(item, &out);
    if (out) return 0;
    return std::stoi(*Values(a, {L"id"})[0]);
  }
  std::wstring m_strName;
};

// A key change right after an add, before any read, keeps the added record: the next read on the
// new item goes on from it.
TEST_P(LiveAddBrowse, KeyChangeRightAfterAnAddGoesOnFromTheAddedRecord) {
  const struct {
    int added;
    const wchar_t* d;
    const wchar_t* item;
    eNA_PARSEDIRECTION dir;
    int id;  // read after the key change
  } rows[] = {
      {11, L"e", L"d", NA_PARSE_NEXT, 3},
      {12, L"g", L"d", NA_PARSE_PREVIOUS, 3},
      {13, L"a", L"id", NA_PARSE_PREVIOUS, 12},  // the best item: the statement the add left current
      {14, L"z", L"id", NA_PARSE_NEXT, 0},
  };
  CHostRecordDescription* desc = MakeTable();
  CMySQLConnection* cnx = Connect(nullptr);
  for (const auto& r : rows) {
    SCOPED_TRACE(Utf8(r.d));
    CNADataAccess* a = Open(desc, cnx);
    ASSERT_TRUE(Add(a, r.added, r.d)) << Utf8(m_error.pszGetError());
    ASSERT_TRUE(a->bHChangeCle(r.item, 0)) << Utf8(m_error.pszGetError());
    EXPECT_EQ(Read(a, r.item, r.dir), r.id) << Utf8(m_error.pszGetError());
  }
}

// Next or previous right after an add, before any read, on an item never browsed: there is no
// browse to go on from; the read fails and says so.
TEST_P(LiveAddBrowse, MoveRightAfterAnAddNamesItsReason) {
  CHostRecordDescription* desc = MakeTable();
  CMySQLConnection* cnx = Connect(nullptr);
  int added = 20;
  for (const wchar_t* item : {L"id", L"d"}) {
    for (eNA_PARSEDIRECTION dir : {NA_PARSE_NEXT, NA_PARSE_PREVIOUS}) {
      SCOPED_TRACE(Utf8(item) + (dir == NA_PARSE_NEXT ? " next" : " previous"));
      CNADataAccess* a = Open(desc, cnx);
      ASSERT_TRUE(Add(a, ++added, L"e")) << Utf8(m_error.pszGetError());
      m_error.Reset();
      EXPECT_EQ(Read(a, item, dir), -1);
      EXPECT_EQ(m_error.nGetUserErrorCode(), 5u) << Utf8(m_error.pszGetError());
      EXPECT_NE(m_error.eGetErrorLevel(), NAERRORLEVEL_NONE);
      // A first read starts the browse.
      EXPECT_EQ(Read(a, item, NA_PARSE_FIRST), 1) << Utf8(m_error.pszGetError());
    }
  }
}

// A browse of another item whose row cache holds its whole result (0x4000 on the browse, or the
// add asking 0x40) takes the added row into its cache, after the rows it held; with 0x40 it
// stands on it.
// Another access of the table on the same connection (another context's) browsing meanwhile
// goes on over the rows it read, and sees the row once it reads the table again.
TEST_P(LiveAddBrowse, AddedRowJoinsTheRowCacheOfABrowseOfAnotherItem) {
  constexpr int kAdded = -2;
  const struct {
    const char* name;
    NA_WRITEPARSEFLAGS browse, add;
    bool fromEnd;        // the browse is read from its last row: its SELECT runs in reverse
    int rows;            // in the row cache of d after the add
    long long standsOn;  // its current row number after the add
    int next;            // the id a next read on d then gives, in the server's order
  } rows[] = {
      {"browse 0x4000", 0x4000, 0, false, 7, 4, 6},
      {"add 0x40", 0, 0x40, false, 7, 6, 3},
      {"both", 0x4000, 0x40, false, 7, 6, 3},
      {"neither", 0, 0, false, 6, 4, 6},
      // The row goes first in a reversed cache, whose rows all move up by one.
      {"reversed, browse 0x4000", 0x4000, 0, true, 7, 5, kAdded},
      {"reversed, add 0x40", 0, 0x40, true, 7, 0, 3},
  };
  CHostRecordDescription* desc = MakeTable();
  // Whole results: a browse back from an end is served by its row cache.
  CMySQLConnection* cnx = Connect("-1");
  int added = 30;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    Raw("DELETE FROM " + Quoted(m_strName) + " WHERE id > 6");
    CNADataAccess* a = Open(desc, cnx, {true, true});
    CNADataAccess* b = Open(desc, cnx, {true, true});
    // Read to its end in its own order: the row cache holds every row. Then back to the row of
    // d "d" (id 2) or "j" (id 5).
    const eNA_PARSEDIRECTION on = r.fromEnd ? NA_PARSE_PREVIOUS : NA_PARSE_NEXT;
    const eNA_PARSEDIRECTION back = r.fromEnd ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS;
    const std::vector<int> ids = r.fromEnd ? std::vector<int>{5, 4, 3, 2, 1, 0, 1, 2} : std::vector<int>{2, 3, 4, 5, 6, 0, 6, 5};
    EXPECT_EQ(Read(a, L"d", r.fromEnd ? NA_PARSE_LAST : NA_PARSE_FIRST, r.browse), r.fromEnd ? 6 : 1);
    for (size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(Read(a, L"d", i < 6 ? on : back, r.browse), ids[i]) << i;
    ASSERT_EQ(a->_pclPeekStatement(L"d")->bInvertFetch() != FALSE, r.fromEnd);
    EXPECT_EQ(Read(b, L"id", NA_PARSE_FIRST), 1);
    EXPECT_EQ(Read(b, L"id", NA_PARSE_NEXT), 2);
    ASSERT_TRUE(Add(a, ++added, L"e", r.add)) << Utf8(m_error.pszGetError());
    CNAStatement* d = a->_pclPeekStatement(L"d");
    ASSERT_NE(d, nullptr);
    ASSERT_NE(d->pclGetRecordCacheNoRef(), nullptr);
    EXPECT_EQ(d->pclGetRecordCacheNoRef()->nGetCount(), r.rows);
    EXPECT_EQ(d->nGetCurrentRecord(), r.standsOn);
    EXPECT_EQ(Read(a, L"d", NA_PARSE_NEXT, r.browse), r.next == kAdded ? added : r.next) << Utf8(m_error.pszGetError());
    // The other access goes on where it stood; read again, the table holds the row.
    EXPECT_EQ(Read(b, L"id", NA_PARSE_NEXT), 3);
    EXPECT_EQ(Read(b, L"id", NA_PARSE_LAST), added);
  }
}


// A reversed row cache takes an added row first, whether the add asks 0x40 or the browse 0x4000:
// every row moves up by one, and a place saved on the browse before the add is found again by
// its record (by its former row number it named the row before it).
TEST_P(LiveAddBrowse, PlaceSavedInAReversedRowCacheSurvivesAnAddedRow) {
  const struct {
    const char* name;
    NA_WRITEPARSEFLAGS browse, add;
  } rows[] = {{"browse 0x4000", 0x4000, 0}, {"add 0x40", 0, 0x40}, {"both", 0x4000, 0x40}};
  const eNAPOSITION plain{};
  CHostRecordDescription* desc = MakeTable();
  CMySQLConnection* cnx = Connect("-1");
  int added = 40;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    Raw("DELETE FROM " + Quoted(m_strName) + " WHERE id > 6");
    CNADataAccess* a = Open(desc, cnx, {true, true});
    // From the last row back to the first: the row cache holds every row; then back to id 4.
    EXPECT_EQ(Read(a, L"d", NA_PARSE_LAST, r.browse), 6);
    const int ids[] = {5, 4, 3, 2, 1, 0, 1, 2, 3, 4};
    for (size_t i = 0; i < std::size(ids); ++i)
      EXPECT_EQ(Read(a, L"d", i < 6 ? NA_PARSE_PREVIOUS : NA_PARSE_NEXT, r.browse), ids[i]) << i;
    ASSERT_TRUE(a->_pclPeekStatement(L"d")->bInvertFetch());
    int saved = -1;
    ASSERT_TRUE(a->bHSauvePosition(&saved, L"d", plain)) << Utf8(m_error.pszGetError());
    ASSERT_TRUE(Add(a, ++added, L"e", r.add)) << Utf8(m_error.pszGetError());
    wchar_t item[255] = {};
    ASSERT_TRUE(a->bHRetourPosition(saved, item, 1, plain)) << Utf8(m_error.pszGetError());
    EXPECT_EQ(std::stoi(*Values(a, {L"id"})[0]), 4);
  }
}

INSTANTIATE_TEST_SUITE_P(Live, LiveAddBrowse, ::testing::Combine(::testing::Values(1252, 65001), ::testing::Values(false, true)));

}  // namespace
