// The data access without a server: record saves kept, shared, freed and restored over a record
// of every item type (also against a model under random operations); the answers of the
// operations the server has no use for; what the source kind decides; a query's result paired
// with the host's items; a destroyed access holding saves, statements and a table cache; the step
// road's item compare against wcscmp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "access/nadatasourcedescription.h"
#include "access/narecordcache.h"
#include "access/natablecache.h"
#include "sql/nastatement.h"
#include "tests/support/record_bench.h"

namespace {

class DataAccess : public AnyTest {};

// One column's value and the text it reads back as; null text: NULL.
struct Cell {
  const wchar_t* column;
  const wchar_t* text;
};

// A record with a column of every kind the server keeps apart.
void AddEveryType(RecordBench& b) {
  b.Add(L"t", NA_IT_TEXTE, 21);
  b.Add(L"u", NA_IT_UNICODE, 42);
  b.Add(L"bin", NA_IT_BINAIRE, 10);
  b.Add(L"dec", NA_IT_DECIMAL, 24);
  b.Add(L"d", NA_IT_DATE8, 9);
  b.Add(L"dt", NA_IT_DATETIME, 8);
  b.Add(L"i8", NA_IT_I8, 8);
  b.Add(L"r8", NA_IT_R8, 8);
  b.Add(L"mt", NA_IT_MEMOTEXTE, 8);
  b.Add(L"mb", NA_IT_MEMOBINAIRE, 8);
}

// The bench's access over a column of every type, with its own current record.
void OpenEveryType(RecordBench& b, CNADataAccess** access, CNARecord** rec) {
  AddEveryType(b);
  ASSERT_TRUE(b.Build());
  *access = b.m_pAccess;
  ASSERT_TRUE((*access)->_bInitCurrentRecord());
  *rec = (*access)->pclGetCurrentRecordNoRef();
}

void Fill(CNARecord* r, const std::vector<Cell>& row) {
  for (const Cell& c : row) {
    CNAColumn* column = r->pclGetColumnNoRef(c.column);
    if (c.text == nullptr) {
      ASSERT_TRUE(column->bSetValueNULL()) << c.column;
      continue;
    }
    CAny v = FromText(column->eGetZVType(), c.text);
    // Binary values carry a NUL inside.
    if (column->eGetZVType() == ZV_BIN) {
      std::string bytes(c.text, c.text + wcslen(c.text));
      bytes += std::string("\0z", 2);
      v.SetValueByte(bytes.data(), static_cast<unsigned int>(bytes.size()));
    }
    ASSERT_TRUE(column->bSetValue(&v, 0)) << c.column;
  }
}

// The current value's columns as text, "NULL" for NULL.
std::wstring Read(CNARecord* r, const std::vector<Cell>& row) {
  std::wstring out;
  for (const Cell& c : row) {
    CAny v;
    r->pclGetColumnNoRef(c.column)->bGetCurrentValue(&v, 0);
    out += std::wstring(c.column) + L"=" + Show(v) + L";";
  }
  return out;
}

// The current record takes row, is kept, and the save gets one reference; its id.
int Hold(CNADataAccess* access, CNARecord* r, const std::vector<Cell>& row) {
  Fill(r, row);
  const int id = access->nKeepCurrentRecordSave();
  access->AddRefRecordSave(id);
  return id;
}

const std::vector<Cell> kFull = {
    {L"t", L"quote ' back \\ end"},
    {L"u", L"astral \U0001F600 \u00e9"},
    {L"bin", L"a"},
    {L"dec", L"12345678901234567890.123456789012345678"},
    {L"d", L"20240229"},
    {L"dt", L"20240229235959999"},
    {L"i8", L"-9223372036854775808"},
    {L"r8", L"-1.25"},
    {L"mt", L"memo \U00010348"},
    {L"mb", L"raw"},
};
const std::vector<Cell> kOther = {
    {L"t", L""},     {L"u", L"x"},        {L"bin", L"zz"}, {L"dec", L"-1"}, {L"d", L"19991231"},
    {L"dt", nullptr}, {L"i8", L"0"},      {L"r8", L"2.5"}, {L"mt", L"other"}, {L"mb", L"other"},
};
const std::vector<Cell> kNulls = {
    {L"t", nullptr},  {L"u", nullptr},  {L"bin", nullptr}, {L"dec", nullptr}, {L"d", nullptr},
    {L"dt", nullptr}, {L"i8", nullptr}, {L"r8", nullptr},  {L"mt", nullptr},  {L"mb", nullptr},
};

TEST_F(DataAccess, RecordSavesRoundTripEveryItemType) {
  struct Row {
    const char* name;
    const std::vector<Cell>* kept;
    const std::vector<Cell>* after;
  } rows[] = {
      {"values over other values", &kFull, &kOther},
      {"values over NULLs", &kFull, &kNulls},
      {"NULLs over values", &kNulls, &kFull},
  };
  for (const Row& r : rows) {
    RecordBench b;
    AddEveryType(b);
    ASSERT_TRUE(b.Build()) << r.name;
    CNADataAccess* access = b.m_pAccess;
    ASSERT_TRUE(access->_bInitCurrentRecord()) << r.name;
    CNARecord* rec = access->pclGetCurrentRecordNoRef();
    Fill(rec, *r.kept);
    const std::wstring kept = Read(rec, *r.kept);
    Fill(rec, *r.after);
    ASSERT_NE(Read(rec, *r.kept), kept) << r.name;
    const int id = Hold(access, rec, *r.kept);
    ASSERT_GE(id, 0) << r.name;
    Fill(rec, *r.after);
    // A second holder shares the save; one release leaves it readable.
    access->AddRefRecordSave(id);
    EXPECT_EQ(access->nReleaseRecordSave(id), 1) << r.name;
    ASSERT_TRUE(access->bRestoreOriginalRecordSave(id)) << r.name;
    ASSERT_TRUE(rec->bCopyOriginalRecordToCurrentRecord()) << r.name;
    EXPECT_EQ(Read(rec, *r.kept), kept) << r.name;
    // The item value read straight out of the save.
    CAny t;
    ASSERT_TRUE(access->_bGetItemValueInRecordSave(&t, id, rec->pclGetColumnNoRef(L"u")->piGetItemNoRef())) << r.name;
    EXPECT_EQ(L"u=" + Show(t) + L";", Read(rec, {(*r.kept)[1]})) << r.name;
    EXPECT_EQ(access->nReleaseRecordSave(id), 0) << r.name;
  }
}

// A save still held is shared only by a row equal to it memos included: the same row read with
// other memos (changed on the server meanwhile) is kept apart, and each save gives back its own.
TEST_F(DataAccess, HeldSaveIsNotSharedWithARowOfOtherMemos) {
  const struct {
    const wchar_t* text;
    const wchar_t* binary;
    bool shared;
  } rows[] = {
      {L"memo \U00010348", L"raw", true},
      {L"memo changed", L"raw", false},
      {L"memo \U00010348", nullptr, false},
      {nullptr, nullptr, false},
  };
  for (const auto& r : rows) {
    RecordBench b;
    CNADataAccess* access = nullptr;
    CNARecord* rec = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenEveryType(b, &access, &rec));
    std::vector<Cell> later = kFull;
    later[8].text = r.text;
    later[9].text = r.binary;
    const int first = Hold(access, rec, kFull);
    const std::wstring firstText = Read(rec, kFull);
    const int second = Hold(access, rec, later);
    const std::wstring secondText = Read(rec, kFull);
    EXPECT_EQ(second == first, r.shared);
    for (const auto& [id, text] : {std::pair{first, firstText}, std::pair{second, secondText}}) {
      Fill(rec, kOther);
      ASSERT_TRUE(access->bRestoreOriginalRecordSave(id));
      ASSERT_TRUE(rec->bCopyOriginalRecordToCurrentRecord());
      EXPECT_EQ(Read(rec, kFull), text) << id;
    }
    access->nReleaseRecordSave(first);
    access->nReleaseRecordSave(second);
  }
}

// A statement's rebuild point is the save it holds: restoring through the statement brings that
// row back into the original value; a statement holding none restores nothing.
TEST_F(DataAccess, StatementRestoresTheSaveItHolds) {
  for (const bool holds : {true, false}) {
    RecordBench b;
    CNADataAccess* access = nullptr;
    CNARecord* rec = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenEveryType(b, &access, &rec));
    const int id = Hold(access, rec, kFull);
    const std::wstring kept = Read(rec, kFull);
    CNAStatement* stmt = access->_pclInitStatement(L"t");
    ASSERT_NE(stmt, nullptr);
    if (holds) {
      ASSERT_TRUE(stmt->bSetParseNeedUpdate(NA_PARSE_RERUN, id));
    }
    access->nReleaseRecordSave(id);
    Fill(rec, kOther);
    EXPECT_EQ(access->bRestoreOriginalRecordSave(stmt), holds ? TRUE : FALSE);
    ASSERT_TRUE(rec->bCopyOriginalRecordToCurrentRecord());
    EXPECT_EQ(Read(rec, kFull) == kept, holds);
    stmt->nRelease();
  }
}

// A read from an end of a browse not yet started lets go the save a rebuild would have started
// from, whatever its cause said (up to date too); a move from the current row keeps it.
TEST_F(DataAccess, FirstReadOfANewBrowseLetsTheHeldSaveGo) {
  const struct {
    ePARSENEEDUPDATECAUSE cause;
    eNA_PARSEDIRECTION direction;
    bool holds;
    int kept;  // 1: the save is still held after the read, 0: none, -1: none was held
  } cases[] = {
      {NA_PARSE_UPTODATE, NA_PARSE_FIRST, true, 0},  {NA_PARSE_UPTODATE, NA_PARSE_LAST, true, 0},
      {NA_PARSE_REPLACE, NA_PARSE_FIRST, true, 0},   {NA_PARSE_UPTODATE, NA_PARSE_NEXT, true, 1},
      {NA_PARSE_UPTODATE, NA_PARSE_FIRST, false, -1},
  };
  for (const auto& c : cases) {
    RecordBench b;
    CNADataAccess* access = nullptr;
    CNARecord* rec = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenEveryType(b, &access, &rec));
    const int id = Hold(access, rec, kFull);
    CNAStatement* stmt = access->_pclInitStatement(L"t");
    ASSERT_NE(stmt, nullptr);
    stmt->SetBrowseItem(L"t");
    if (c.holds) {
      ASSERT_TRUE(stmt->bSetParseNeedUpdate(c.cause, id));
    }
    access->nReleaseRecordSave(id);
    // No result behind it: the read itself fails, what it let go is what is asked.
    stmt->bFetch(c.direction, 0, 1);
    EXPECT_EQ(stmt->nGetRecordSaveID(), c.kept == 1 ? id : -1) << c.cause << " " << c.direction;
    stmt->nRelease();
  }
}

// Random keeps, releases and reads of record saves against a model (save id -> row kept and its
// holders), over rows that differ in one value, in a memo only, or in NULL against empty: a row
// held is found again under its id, read back whole, and a freed one reads as nothing.
TEST_F(DataAccess, RecordSavesFollowAModelOfHeldRows) {
  std::vector<std::vector<Cell>> pool = {kFull, kOther, kNulls, kFull, kFull, kOther, kOther, kFull, kFull, kFull};
  pool[3][8].text = L"memo changed";  // the text memo only
  pool[4][9].text = nullptr;          // the binary memo NULL
  pool[5][0].text = nullptr;          // NULL where kOther has an empty text
  pool[7][9].text = L"";              // the binary memo empty, against NULL above
  pool[8][8].text = L"";              // the text memo empty, against NULL below
  pool[9][8].text = nullptr;
  // Kept from a value read without its memos, which read back NULL.
  const size_t bare = 6;
  pool[bare][8].text = pool[bare][9].text = nullptr;
  RecordBench b;
  CNADataAccess* access = nullptr;
  CNARecord* rec = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenEveryType(b, &access, &rec));
  std::vector<std::wstring> texts;
  for (const auto& row : pool) {
    Fill(rec, row);
    texts.push_back(Read(rec, kFull));
  }
  for (size_t i = 1; i < texts.size(); ++i) ASSERT_NE(texts[i], texts[i - 1]) << i;
  struct Held {
    size_t row;
    int holders;
  };
  std::map<int, Held> model;
  std::mt19937 random(37);
  for (int step = 0; step < 3000; ++step) {
    const unsigned int op = random() % 3;
    if (op == 0) {
      const size_t row = random() % pool.size();
      int already = -1;
      for (const auto& [id, held] : model)
        if (held.holders > 0 && held.row == row) already = id;
      int id = -1;
      if (row == bare) {
        Fill(rec, kOther);
        CNARecordValue* value = rec->pclGetCurrentValueNoRef()->pclGetClone(NA_COPY_RECORD | NA_COPY_RECORDID);
        value->AddRef();
        id = access->_nKeepRecordSave(value);
        value->nRelease();
        access->AddRefRecordSave(id);
      } else {
        id = Hold(access, rec, pool[row]);
      }
      ASSERT_GE(id, 0) << step;
      if (already >= 0) {
        ASSERT_EQ(id, already) << step;
      }
      if (model.count(id) == 0 || model[id].holders == 0) model[id] = {row, 0};
      ASSERT_EQ(model[id].row, row) << step << ": a held row was taken over";
      ++model[id].holders;
    } else if (op == 1 && !model.empty()) {
      auto it = std::next(model.begin(), static_cast<long>(random() % model.size()));
      if (it->second.holders == 0) continue;
      EXPECT_EQ(access->nReleaseRecordSave(it->first), --it->second.holders) << step;
    } else if (!model.empty()) {
      auto it = std::next(model.begin(), static_cast<long>(random() % model.size()));
      Fill(rec, pool[(it->second.row + 1) % pool.size()]);
      const BOOL read = access->bRestoreOriginalRecordSave(it->first);
      ASSERT_EQ(read, it->second.holders > 0 ? TRUE : FALSE) << step;
      if (!read) continue;
      ASSERT_TRUE(rec->bCopyOriginalRecordToCurrentRecord());
      ASSERT_EQ(Read(rec, kFull), texts[it->second.row]) << step;
    }
  }
  for (const auto& [id, held] : model)
    for (int k = 0; k < held.holders; ++k) access->nReleaseRecordSave(id);
}

TEST_F(DataAccess, FreedRecordSaveIsRefused) {
  RecordBench b;
  CNADataAccess* access = nullptr;
  CNARecord* rec = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenEveryType(b, &access, &rec));
  const int first = Hold(access, rec, kFull);
  EXPECT_EQ(access->nReleaseRecordSave(first), 0);
  // Its row is free: the next keep may take it over, so it reads as nothing.
  CNARecordValue* dest = rec->pclGetOriginalValueNoRef();
  EXPECT_FALSE(access->bCopySaveToRecord(first, dest));
  EXPECT_FALSE(access->bRestoreOriginalRecordSave(first));
  EXPECT_FALSE(access->bCopySaveToRecord(-1, dest));
  EXPECT_FALSE(access->bCopySaveToRecord(99, dest));
  const int second = Hold(access, rec, kOther);
  EXPECT_EQ(second, first);
  EXPECT_FALSE(access->bCopySaveToRecord(first + 1, dest));
  access->nReleaseRecordSave(second);
}

TEST_F(DataAccess, KeptRowIsNotTheMemoOfAFormerSave) {
  RecordBench b;
  CNADataAccess* access = nullptr;
  CNARecord* rec = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenEveryType(b, &access, &rec));
  access->nReleaseRecordSave(Hold(access, rec, kFull));
  // Same bytes but the memos: a new save must hold the memos of now.
  const std::vector<Cell> now = {{L"mt", L"new text"}, {L"mb", L"new"}};
  const int second = Hold(access, rec, now);
  const std::wstring kept = Read(rec, now);
  Fill(rec, kOther);
  ASSERT_TRUE(access->bRestoreOriginalRecordSave(second));
  ASSERT_TRUE(rec->bCopyOriginalRecordToCurrentRecord());
  EXPECT_EQ(Read(rec, now), kept);
  access->nReleaseRecordSave(second);
}

TEST_F(DataAccess, OperationsTheServerHasNoUseForAnswerAsDocumented) {
  struct Row {
    const char* name;
    BOOL (*call)(CNADataAccess*);
    BOOL result;
    unsigned int code;
    int level;
  } rows[] = {
      {"record lock", [](CNADataAccess* a) { return a->bHBloqueNumEnr(1, eNA_LOCKTYPE{2}, nullptr); }, FALSE, 8, 2},
      {"file lock", [](CNADataAccess* a) { return a->bHBloqueFichier(eNA_LOCKTYPE{2}, nullptr); }, FALSE, 8, 2},
      {"cross out", [](CNADataAccess* a) { return a->bHRaye(1, eNA_LOCKTYPE{1}); }, FALSE, 8, 3},
      {"key value", [](CNADataAccess* a) { return a->bHConstruitValCle(nullptr, L"k", 0, nullptr); }, FALSE, 8, 3},
      {"free", [](CNADataAccess* a) { return a->bHLibere(); }, FALSE, 8, 3},
      {"file unlock", [](CNADataAccess* a) { return a->bHDebloqueFichier(); }, TRUE, 0, 1},
      {"record unlock", [](CNADataAccess* a) { return a->bHDebloqueNumEnr(3); }, TRUE, 0, 1},
      {"reindex", [](CNADataAccess* a) { return a->bHReindexe(0, nullptr); }, TRUE, 0, 1},
      {"automatic filter", [](CNADataAccess* a) { return a->bSetFiltreAuto(1, L"t", L"l", nullptr); }, TRUE, 0, 1},
      {"lock a row", [](CNADataAccess* a) { return a->bLockRecord(nullptr, eNA_LOCKTYPE{2}, 0, nullptr); }, TRUE, 0, 1},
      {"unlock a row",
       [](CNADataAccess* a) { return a->bUnlockRecord(nullptr, eNA_LOCKTYPE{2}, 0, nullptr); }, TRUE, 0, 1},
      {"lock and unlock",
       [](CNADataAccess* a) { return a->bLockUnlockRecord(nullptr, eNA_LOCKTYPE{2}, 0, nullptr); }, TRUE, 0, 1},
      {"identifier after a failed insert",
       [](CNADataAccess* a) { return a->_bUpdateIdAutoAfterInsertFailure(nullptr); }, FALSE, 0, 1},
  };
  for (const Row& r : rows) {
    RecordBench b;
    b.Add(L"n", NA_IT_I4, 4);
    b.m_desc.m_pszName = L"customer";
    ASSERT_TRUE(b.Build());
    b.m_error.Reset();
    EXPECT_EQ(r.call(b.m_pAccess), r.result) << r.name;
    EXPECT_EQ(b.m_error.dwGetErrorId(), r.code) << r.name;
    EXPECT_EQ(static_cast<int>(b.m_error.eGetErrorLevel()), r.level) << r.name;
    if (r.code != 0) {
      EXPECT_EQ(static_cast<int>(b.m_error.eGetErrorType()), 7) << r.name;
      EXPECT_STREQ(b.m_error.pszGetLogicalTableName(), L"customer") << r.name;
    }
  }
  RecordBench b;
  b.Add(L"n", NA_IT_I4, 4);
  ASSERT_TRUE(b.Build());
  CNADataAccess* a = b.m_pAccess;
  EXPECT_EQ(a->eEvaluateRecordIdType(), 1);
  EXPECT_EQ(a->_nGetSequenceCurrentVal(nullptr), -1);
  EXPECT_EQ(a->llGetRecNum(), 0);
  int version = -1, need = -1;
  EXPECT_TRUE(a->bHVersion(&version));
  EXPECT_EQ(version, 0);
  EXPECT_TRUE(a->bNbEnrNeedParse(&need, L"n"));
  EXPECT_EQ(need, 1);
  // A closed access hands out no record buffer and takes none.
  CNAKJRecord* buffer = reinterpret_cast<CNAKJRecord*>(1);
  EXPECT_FALSE(a->bGetRecord(&buffer));
  EXPECT_EQ(buffer, nullptr);
}

// Destroyed holding record saves, statements holding saves of their own (one shared with
// another statement and the access) and a table cache filled by one of them: every part goes
// once (ASan and LeakSanitizer tell), the statements' saves handed back into live caches.
TEST_F(DataAccess, DestroyedAccessFreesSavesStatementsAndTableCacheOnce) {
  RecordBench b;
  AddEveryType(b);
  ASSERT_TRUE(b.Build());
  CNADataAccess* access = b.m_driver.pclAllocDataAccess(&b.m_desc, &b.m_cnx, &b.m_error);
  access->AddRef();
  ASSERT_TRUE(access->_bInitCurrentRecord());
  CNARecord* record = access->pclGetCurrentRecordNoRef();
  const int shared = Hold(access, record, kFull);
  ASSERT_TRUE(record->bCopyCurrentRecordToOriginalRecord());
  Fill(record, kOther);
  const int own = access->nKeepCurrentRecordSave();
  ASSERT_NE(own, shared);
  // statement item, the save it holds
  const struct {
    const wchar_t* item;
    int save;
  } holders[] = {{L"", shared}, {L"t", shared}, {L"d", own}};
  for (const auto& h : holders) {
    CNAStatement* stmt = access->_pclInitStatement(h.item);
    ASSERT_NE(stmt, nullptr);
    ASSERT_TRUE(stmt->bSetParseNeedUpdate(NA_PARSE_RERUN, h.save));
    EXPECT_EQ(stmt->nGetRecordSaveID(), h.save);
    stmt->nRelease();
  }
  EXPECT_EQ(access->nGetStatementCount(), 3);
  // The access and two statements hold the shared save, one statement the other.
  access->AddRefRecordSave(shared);
  EXPECT_EQ(access->nReleaseRecordSave(shared), 3);
  access->AddRefRecordSave(own);
  EXPECT_EQ(access->nReleaseRecordSave(own), 1);
  CNAStatement* parse = access->_pclFindStatement(L"t");
  ASSERT_NE(parse, nullptr);
  ASSERT_TRUE(access->_bCreateNewTableCache(parse));
  ASSERT_TRUE(access->pclGetTableCacheNoRef()->bSetStatementParse(parse));
  parse->nRelease();
  EXPECT_EQ(access->nRelease(), 0);
}

// A statement that ends its result frees the table cache only when it is the one filling it.
TEST_F(DataAccess, ClosingStatementFreesOnlyTheTableCacheItFills) {
  for (const bool filler : {true, false}) {
    RecordBench b;
    b.Add(L"t", NA_IT_TEXTE, 21);
    ASSERT_TRUE(b.Build());
    CNADataAccess* access = b.m_pAccess;
    ASSERT_TRUE(access->_bInitCurrentRecord());
    CNAStatement* fills = access->_pclInitStatement(L"t");
    CNAStatement* other = access->_pclInitStatement(L"");
    ASSERT_TRUE(fills != nullptr && other != nullptr);
    ASSERT_TRUE(access->_bCreateNewTableCache(fills));
    ASSERT_TRUE(access->pclGetTableCacheNoRef()->bSetStatementParse(fills));
    (filler ? fills : other)->Close();
    EXPECT_EQ(access->pclGetTableCacheNoRef() == nullptr, filler);
    fills->nRelease();
    other->nRelease();
  }
}

// A statement changes its key: found under the new name only, browsing and asked for under it,
// in place of a statement the new name named before; refused, with nothing changed, when the old
// name is not the statement's. The names compare as the host compares them.
TEST_F(DataAccess, StatementKeptUnderANewKeyIsFoundUnderItOnly) {
  const struct {
    const char* name;
    const wchar_t* from;
    const wchar_t* to;
    bool byStatement;  // the statement given, not only its old name
    bool otherGiven;   // the statement given is not the one under from
    BOOL ok;
  } rows[] = {
      {"default to an item", L"", L"t", false, false, TRUE},
      {"item to item, statement given", L"t", L"u2", true, false, TRUE},
      {"same name spelt otherwise", L"t", L"T", true, false, TRUE},
      {"to the name of another statement, which goes", L"t", L"other", false, false, TRUE},
      {"old name of none", L"absent", L"t", false, false, FALSE},
      {"statement not under the old name", L"t", L"x", true, true, FALSE},
  };
  for (const auto& r : rows) {
    RecordBench b;
    b.Add(L"t", NA_IT_TEXTE, 21);
    ASSERT_TRUE(b.Build());
    CNADataAccess* access = b.m_pAccess;
    ASSERT_TRUE(access->_bInitCurrentRecord());
    CNAStatement* moved = wcscmp(r.from, L"absent") == 0 ? nullptr : access->_pclInitStatement(r.from);
    CNAStatement* other = access->_pclInitStatement(L"other");
    ASSERT_NE(other, nullptr);
    const int before = access->nGetStatementCount() - (r.ok && wcscmp(r.to, L"other") == 0 ? 1 : 0);
    EXPECT_EQ(access->_bChangeStatementKey(r.to, r.from, r.otherGiven ? other : r.byStatement ? moved : nullptr), r.ok)
        << r.name;
    EXPECT_EQ(access->nGetStatementCount(), before) << r.name;
    CNAStatement* underTo = access->_pclFindStatement(r.to);
    CNAStatement* underFrom = access->_pclFindStatement(r.from);
    if (r.ok) {
      EXPECT_EQ(underTo, moved) << r.name;
      EXPECT_EQ(underFrom, wcscasecmp(r.from, r.to) == 0 ? moved : nullptr) << r.name;
      EXPECT_STREQ(moved->pszGetBrowseItem(), r.to) << r.name;
      EXPECT_STREQ(moved->pszGetParseItem(), r.to) << r.name;
    } else if (moved != nullptr) {
      EXPECT_EQ(underFrom, moved) << r.name;
      EXPECT_STREQ(moved->pszGetParseItem(), r.from) << r.name;
    }
    if (r.ok && wcscmp(r.to, L"other") == 0) {
      EXPECT_EQ(other->nGetRefCount(), 1u) << r.name << ": only the test holds it";
    }
    for (CNAStatement* s : {underTo, underFrom, moved, other})
      if (s != nullptr) s->nRelease();
  }
}

// An access over a table or a query with the host's query flags.
class CSourceAccess final : public CNADataAccess {
 public:
  CSourceAccess(INADataSourceDescription* desc, RecordBench& b, int query, unsigned int flags)
      : CNADataAccess(desc, &b.m_cnx, &b.m_error) {
    m_bSourceIsQuery = query;
    m_dwQueryFlags = flags;
  }
};

// A table may be written and is never prepared; a query as its flags say, and clearing the
// prepare flag keeps the others. The host lays a table's record out in its own description, a
// query's in a clone made once, whose items that are neither key nor memo become keys.
TEST_F(DataAccess, SourceKindDecidesWritesPreparationAndRecordLayout) {
  const struct {
    int query;
    unsigned int flags;
    BOOL modify, prepare;
  } rows[] = {
      {0, 0, TRUE, FALSE}, {0, 8 | 16, TRUE, FALSE}, {1, 0, FALSE, FALSE},
      {1, 8, TRUE, FALSE}, {1, 16 | 4, FALSE, TRUE}, {1, 8 | 16, TRUE, TRUE},
  };
  for (const auto& r : rows) {
    RecordBench b;
    CNADataSourceDescription* host = b.m_driver.pclAllocDataSourceDescription(&b.m_cnx, &b.m_error);
    host->ExternalAddRef();
    ASSERT_TRUE(host->bAddItem(L"id", L"t", L"id", 1, 4, NA_IT_I4, 0, 0, 0x4000, 0, 0));
    ASSERT_TRUE(host->bAddItem(L"n", L"t", L"n", 1, 4, NA_IT_I4, 1, -1, 0, 0, 0));
    ASSERT_TRUE(host->bAddItem(L"m", L"t", L"m", 1, 8, NA_IT_MEMOTEXTE, 2, -1, 0, 0, 0));
    auto* access = new CSourceAccess(host, b, r.query, r.flags);
    access->AddRef();
    const std::string what = std::to_string(r.query) + "/" + std::to_string(r.flags);
    EXPECT_EQ(access->bRequeteAutoriseModifierFichier(), r.modify) << what;
    EXPECT_EQ(access->bRequeteAPreparer(), r.prepare) << what;
    access->_RAZPrepare();
    EXPECT_FALSE(access->bRequeteAPreparer()) << what;
    EXPECT_EQ(access->bRequeteAutoriseModifierFichier(), r.modify) << what;
    INADataSourceDescription* layout = access->piGetDataSourceDescriptionForKJ();
    ASSERT_NE(layout, nullptr) << what;
    INADataSourceDescription* again = access->piGetDataSourceDescriptionForKJ();
    EXPECT_EQ(again, layout) << what;
    EXPECT_EQ(layout == host, r.query == 0) << what;
    std::wstring keys;
    for (unsigned int i = 0; i < static_cast<unsigned int>(layout->nGetNumItems()); ++i) {
      INAItemDescription* item = layout->piNAGetItem(i);
      keys += std::wstring(item->pszGetName()) + (item->bIsKey() ? L"+" : L"-");
      item->nExternalRelease();
    }
    EXPECT_EQ(keys, r.query ? L"id+n+m-" : L"id+n-m-") << what;
    again->nExternalRelease();
    layout->nExternalRelease();
    access->nRelease();
    host->nExternalRelease();
  }
}

// A query's result pairs with the host's items by name, else by place (the host's item takes the
// server's name and its column is named again), and its binary memos read into host texts become
// text memos of the host's width; a table's items pair by name only and keep their types.
TEST_F(DataAccess, QueryResultPairsWithTheHostItemsByNameOrPlace) {
  const struct {
    int query;
    const wchar_t* names;
    const wchar_t* types;
  } rows[] = {
      {0, L"id,total,m,w,b", L"5,19,18,18,18"},
      {1, L"id,COUNT(x),m,w,b", L"5,19,15,30,18"},
  };
  for (const auto& r : rows) {
    RecordBench b;
    CNADataSourceDescription* host = b.m_driver.pclAllocDataSourceDescription(&b.m_cnx, &b.m_error);
    CNADataSourceDescription* server = b.m_driver.pclAllocDataSourceDescription(&b.m_cnx, &b.m_error);
    host->ExternalAddRef();
    server->ExternalAddRef();
    const struct {
      const wchar_t *name, *serverName;
      eNA_ITEMTYPE type, serverType;
      unsigned int size;
    } items[] = {
        {L"id", L"id", NA_IT_I4, NA_IT_I4, 4},          {L"total", L"COUNT(x)", NA_IT_I8, NA_IT_I8, 8},
        {L"m", L"m", NA_IT_TEXTE, NA_IT_MEMOBINAIRE, 21}, {L"w", L"w", NA_IT_UNICODE, NA_IT_MEMOBINAIRE, 42},
        {L"b", L"b", NA_IT_BINAIRE, NA_IT_MEMOBINAIRE, 10},
    };
    int physical = 0;
    for (const auto& item : items) {
      ASSERT_TRUE(host->bAddItem(item.name, L"t", item.name, 1, item.size, item.type, physical, -1, 0, 0, 0));
      ASSERT_TRUE(server->bAddItem(item.serverName, L"t", item.serverName, 1, 8, item.serverType, physical++, -1, 0,
                                   0, 0));
    }
    host->UpdateRecordSize();
    server->UpdateRecordSize();
    auto* access = new CSourceAccess(host, b, r.query, 0);
    access->AddRef();
    ASSERT_TRUE(access->_bInitCurrentRecord());
    access->_SetImportedDataSourceDesc(server);
    std::wstring names, types;
    for (int i = 0; i < host->nGetNumItems(); ++i) {
      names += (i > 0 ? L"," : L"") + std::wstring(host->pclGetItemNoRef(i)->pszGetName());
      types += (i > 0 ? L"," : L"") + std::to_wstring(server->pclGetItemNoRef(i)->eNAGetItemType());
    }
    EXPECT_EQ(names, r.names);
    EXPECT_EQ(types, r.types);
    const std::wstring column = access->pclGetCurrentRecordNoRef()->pclGetColumnNoRef(1)->pszGetFormatedName();
    EXPECT_EQ(column.find(L"COUNT(x)") != std::wstring::npos, r.query == 1) << column;
    access->nRelease();
    server->nExternalRelease();
    host->nExternalRelease();
  }
}

// The automatic identifier is the first key of an identifier type; none without one.
TEST_F(DataAccess, IdentifierItemIsTheFirstKeyOfAnIdentifierType) {
  const struct {
    eNA_ITEMTYPE first, second;
    const wchar_t* found;
  } rows[] = {
      {NA_IT_I4, NA_IT_IDAUTO4, L"b"},
      {NA_IT_IDAUTO, NA_IT_IDAUTO4, L"a"},
      {NA_IT_I8, NA_IT_I4, nullptr},
  };
  for (const auto& r : rows) {
    RecordBench b;
    b.Add(L"plain", NA_IT_IDAUTO4, 8);
    b.Add(L"a", r.first, 8, kUnique);
    b.Add(L"b", r.second, 8, kUnique);
    ASSERT_TRUE(b.Build());
    INAItemDescription* item = b.m_pAccess->pclGetIdAutoItem();
    EXPECT_EQ(item != nullptr ? std::wstring(item->pszGetName()) : L"", r.found != nullptr ? r.found : L"");
    if (item != nullptr) item->nExternalRelease();
    EXPECT_FALSE(b.m_pAccess->bSupportROWID());
  }
}

// A memo kept NULL comes back NULL, not as an empty memo; an empty memo stays empty.
TEST_F(DataAccess, NullMemoComesBackFromARecordSaveAsNull) {
  const std::vector<Cell> rows[] = {
      {{L"mt", nullptr}, {L"mb", nullptr}},
      {{L"mt", nullptr}, {L"mb", L"b"}},
      {{L"mt", L"t"}, {L"mb", nullptr}},
      {{L"mt", L""}, {L"mb", nullptr}},
  };
  for (const std::vector<Cell>& memos : rows) {
    RecordBench b;
    CNADataAccess* access = nullptr;
    CNARecord* rec = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenEveryType(b, &access, &rec));
    const int id = Hold(access, rec, memos);
    const std::wstring kept = Read(rec, memos);
    Fill(rec, {{L"mt", L"later"}, {L"mb", L"later"}});
    ASSERT_TRUE(access->bRestoreOriginalRecordSave(id)) << kept;
    ASSERT_TRUE(rec->bCopyOriginalRecordToCurrentRecord()) << kept;
    EXPECT_EQ(Read(rec, memos), kept);
    access->nReleaseRecordSave(id);
  }
}

// A save of a value without memos (a row read without them) holds no memos, whether its row is
// new or the freed row of a save that had some.
TEST_F(DataAccess, FreedSaveRowReusedWithoutMemosKeepsNoFormerMemos) {
  for (const bool reuse : {false, true}) {
    RecordBench b;
    CNADataAccess* access = nullptr;
    CNARecord* rec = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenEveryType(b, &access, &rec));
    const int former = Hold(access, rec, kFull);
    if (reuse) access->nReleaseRecordSave(former);
    Fill(rec, kOther);
    CNARecordValue* bare = rec->pclGetCurrentValueNoRef()->pclGetClone(NA_COPY_RECORD | NA_COPY_RECORDID);
    ASSERT_NE(bare, nullptr);
    bare->AddRef();
    const int id = access->_nKeepRecordSave(bare);
    bare->nRelease();
    access->AddRefRecordSave(id);
    EXPECT_EQ(id == former, reuse);
    ASSERT_TRUE(access->bRestoreOriginalRecordSave(id)) << reuse;
    ASSERT_TRUE(rec->bCopyOriginalRecordToCurrentRecord()) << reuse;
    EXPECT_EQ(Read(rec, {{L"t", L""}, {L"mt", L""}, {L"mb", L""}}), L"t=;mt=NULL;mb=NULL;") << reuse;
    access->nReleaseRecordSave(id);
    if (!reuse) access->nReleaseRecordSave(former);
  }
}

}  // namespace

TEST_F(DataAccess, RecordNumberOtherThanTheCurrentOneIsRefused) {
  RecordBench b;
  b.Add(L"n", NA_IT_I4, 4);
  b.m_desc.m_pszName = L"customer";
  ASSERT_TRUE(b.Build());
  for (long long number : {1LL, 5LL, -1LL}) {
    b.m_error.Reset();
    EXPECT_FALSE(b.m_pAccess->bHLit(number, eNA_LOCKTYPE{1}, nullptr)) << number;
    EXPECT_EQ(b.m_error.dwGetErrorId(), 18u) << number;
    EXPECT_STREQ(b.m_error.pszGetLogicalTableName(), L"customer") << number;
    unsigned int state = 0;
    EXPECT_FALSE(b.m_pAccess->bGetRecNumState(number, &state)) << number;
  }
}

TEST_F(DataAccess, CountWithoutOption16AnswersZeroWithoutTheServer) {
  RecordBench b;
  b.Add(L"n", NA_IT_I4, 4);
  ASSERT_TRUE(b.Build());
  long long count = -7;
  EXPECT_TRUE(b.m_pAccess->bHNbEnr(&count, 0, 0));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(b.m_pAccess->nGetStatementCount(), 0);
}

// The step road's item compare against wcscmp, on host texts in buffers of their exact size (a
// read past the host's NUL is one the address-sanitised build reports): every length up to
// three turns of the compare, each one the same, a prefix, a longer text or one character off.
TEST(DataAccessItemText, SameItemAgreesWithWcscmpAndReadsNoFurtherThanTheHostNul) {
  std::mt19937 random(84);
  const wchar_t alphabet[] = {L'a', L'b', L'\u00e9', static_cast<wchar_t>(0x1F600)};
  auto text = [&](size_t n) {
    std::wstring s;
    for (size_t i = 0; i < n; ++i) s += alphabet[random() % 4];
    return s;
  };
  for (int round = 0; round < 4000; ++round) {
    const std::wstring ours = text(random() % 25);
    std::wstring host = ours;
    switch (random() % 4) {
      case 0: break;
      case 1: host.resize(random() % (ours.size() + 1)); break;
      case 2: host += text(1 + random() % 5); break;
      default:
        if (!host.empty()) host[random() % host.size()] ^= 1;
    }
    std::unique_ptr<wchar_t[]> exact(new wchar_t[host.size() + 1]);
    std::copy(host.c_str(), host.c_str() + host.size() + 1, exact.get());
    EXPECT_EQ(CNADataAccess::s_bSameItem(exact.get(), ours.c_str()), wcscmp(host.c_str(), ours.c_str()) == 0)
        << round;
  }
}
