// Browses around a record just added, against the private server: a key change right after the
// add goes on from the added record; a read that has no browse to go on from says so; and a
// browse of another item of the same access, or of another access of the same table, sees the
// added row where its order puts it.
#include <string>

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
  // The record takes id and d, then is added.
  BOOL Add(CNADataAccess* a, int id, const wchar_t* d) {
    CNARecord* record = a->pclGetCurrentRecordNoRef();
    CAny v;
    v.SetI4(id);
    const CAny text = FromText(ZV_DSTRW, d);
    return record->pclGetColumnNoRef(L"id")->bSetValue(&v, 0) && record->pclGetColumnNoRef(L"d")->bSetValue(&text, 0) &&
           a->bHAjoute(0, kNoLock);
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

INSTANTIATE_TEST_SUITE_P(Live, LiveAddBrowse, ::testing::Combine(::testing::Values(1252, 65001), ::testing::Values(false, true)));

}  // namespace
