// The driver's snapshot of a parsed query over the stand-in SQL engine: key columns and the best
// parse item, the lists and their enumerators, host writes, memo sources, lookups against record
// columns, physical names, a host that throws, and what the snapshot holds and gives back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/inadatasourcedescription.h"
#include "sql/inaitemdescription.h"
#include "sql/sqlparserinfo.h"
#include "tests/support/parse_bench.h"
#include "tests/support/record_bench.h"

namespace {

// A snapshot of one parse; the parse's reference is the snapshot's alone.
class Snapshot {
 public:
  Snapshot(ParseBench& bench, CNAError* error, const std::wstring& text, int withoutOrder = 0,
           INAQueryParametersValue* binds = nullptr)
      : m_parse(bench.Parse(text)) {
    m_info = new CSQLParserInfo(error, m_parse, binds, withoutOrder);
    m_info->AddRef();
    if (m_parse != nullptr) m_parse->nRelease();
  }
  ~Snapshot() { m_info->nRelease(); }
  Snapshot(const Snapshot&) = delete;
  Snapshot& operator=(const Snapshot&) = delete;

  CSQLParserInfo* operator->() const { return m_info; }
  CSQLParserInfo* Get() const { return m_info; }

  ISQLParserInformation* m_parse;
  CSQLParserInfo* m_info;
};

const wchar_t* Shown(IInfoRubrique* c) { return c != nullptr ? c->pszGetName() : L"-"; }

// The test's tables "t" and "s" beside the bench's own.
class ParsedQuery : public ParseTest {
 protected:
  ParsedQuery() {
    CNAError::s_Hold(&m_error);
    CHostRecordDescription* t = m_bench.Table(L"t", L"phys_t");
    m_bench.Item(t, L"pk", NA_IT_I4, 4, ParseBench::kPrimary, FALSE);
    m_bench.Item(t, L"u", NA_IT_TEXTE, 9, ParseBench::kUnique, FALSE);
    m_bench.Item(t, L"un", NA_IT_I4, 4, ParseBench::kUnique, TRUE);
    m_bench.Item(t, L"d", NA_IT_I4, 4, ParseBench::kDuplicates);
    m_bench.Item(t, L"x", NA_IT_I4, 4);
    m_bench.Item(t, L"y", NA_IT_I4, 4);
    // Older descriptions know no NULL constraint: only their automatic identifiers are not NULL.
    m_bench.Item(t, L"u8", NA_IT_I4, 4, ParseBench::kUnique, FALSE, 8);
    m_bench.Item(t, L"a8", NA_IT_IDAUTO4, 4, ParseBench::kUnique, TRUE, 8);
    m_bench.Item(t, L"p8", NA_IT_I4, 4, ParseBench::kPrimary, TRUE, 8);
    m_bench.Item(t, L"ai", NA_IT_IDAUTO, 8);
    CHostRecordDescription* s = m_bench.Table(L"s", L"phys_s");
    m_bench.Item(s, L"v", NA_IT_I4, 4);
    m_bench.Item(s, L"pk", NA_IT_I4, 4, ParseBench::kPrimary, FALSE);
  }

  // The snapshot's own SELECT column, or a failure.
  static void ExpectOwn(const CSQLParserInfo* info, IInfoRubrique* c, const char* what) {
    if (c == nullptr) return;
    bool own = false;
    for (int i = 0; info->piGetRubriqueOUT(i) != nullptr; ++i) own = own || info->piGetRubriqueOUT(i) == c;
    EXPECT_TRUE(own) << what << " is not an element of the snapshot's list";
  }

  CMySQLDriver m_driver;
  CNAError m_error;
  ParseBench m_bench;
};

TEST_F(ParsedQuery, KeyColumnsAndTheBestParseItem) {
  struct Row {
    const wchar_t* text;
    const wchar_t *best, *uniqueNotNull, *unique, *key, *orderBy;
  } rows[] = {
      {L"SELECT d, un, pk FROM t", L"pk", L"pk", L"pk", L"pk", L"-"},
      {L"SELECT d, un FROM t", L"un", L"-", L"un", L"un", L"-"},
      {L"SELECT x, d FROM t", L"d", L"-", L"-", L"d", L"-"},
      {L"SELECT x, y FROM t", L"x", L"-", L"-", L"-", L"-"},
      {L"SELECT un, u FROM t", L"u", L"u", L"u", L"u", L"-"},
      // Two tables: no key is sought.
      {L"SELECT t.d, s.pk FROM t, s", L"d", L"-", L"-", L"-", L"-"},
      // An ORDER BY chooses even when a unique key exists.
      {L"SELECT pk, d FROM t ORDER BY d", L"d", L"pk", L"pk", L"pk", L"d"},
      {L"SELECT d AS dd, un FROM t ORDER BY 2 DESC", L"un", L"-", L"un", L"un", L"un"},
      // An ORDER BY of a column not selected names no item.
      {L"SELECT d, pk FROM t ORDER BY x", L"pk", L"pk", L"pk", L"pk", L"-"},
      {L"SELECT u8 FROM t", L"u8", L"-", L"u8", L"u8", L"-"},
      {L"SELECT u8, a8 FROM t", L"a8", L"a8", L"a8", L"a8", L"-"},
      {L"SELECT p8 FROM t", L"p8", L"p8", L"p8", L"p8", L"-"},
      // A calculated column has no item to examine.
      {L"SELECT pk + 0 AS c, d FROM t", L"d", L"-", L"-", L"d", L"-"},
  };
  for (const Row& row : rows) {
    Snapshot q(m_bench, &m_error, row.text);
    const std::string at = ParseBench::Narrow(row.text);
    EXPECT_STREQ(Shown(q->piGetBestParseItemNoRef()), row.best) << at;
    EXPECT_STREQ(Shown(q->piGetUniqueNotNullNoRef()), row.uniqueNotNull) << at;
    EXPECT_STREQ(Shown(q->piGetUniqueNoRef()), row.unique) << at;
    EXPECT_STREQ(Shown(q->piGetKeyNoRef()), row.key) << at;
    EXPECT_STREQ(Shown(q->piGetOrderByItemNoRef()), row.orderBy) << at;
    EXPECT_STREQ(q->pszGetBestParseItem(), row.best) << at;
    EXPECT_EQ(q->pszGetOrderByItem() == nullptr, std::wstring(row.orderBy) == L"-") << at;
    for (IInfoRubrique* c : {q->piGetBestParseItemNoRef(), q->piGetUniqueNotNullNoRef(), q->piGetUniqueNoRef(),
                             q->piGetKeyNoRef(), q->piGetOrderByItemNoRef()})
      ExpectOwn(q.Get(), c, at.c_str());
    EXPECT_EQ(q->bRubriqueUniqueNotNull(q->piGetBestParseItemNoRef()), std::wstring(row.uniqueNotNull) == row.best)
        << at;
  }
}

TEST_F(ParsedQuery, UniqueTestsOfColumnsBeyondTheKeyColumns) {
  Snapshot q(m_bench, &m_error, L"SELECT pk, u, un, u8, a8, x, pk + 1 AS c FROM t");
  struct Row {
    int index;
    BOOL unique, uniqueNotNull;
  } rows[] = {{0, TRUE, TRUE},  {1, TRUE, TRUE},   {2, TRUE, FALSE}, {3, TRUE, FALSE},
              {4, TRUE, TRUE},  {5, FALSE, FALSE}, {6, FALSE, FALSE}};
  for (const Row& row : rows) {
    EXPECT_EQ(q->bRubriqueUnique(q->piGetRubriqueOUT(row.index)), row.unique) << row.index;
    EXPECT_EQ(q->bRubriqueUniqueNotNull(q->piGetRubriqueOUT(row.index)), row.uniqueNotNull) << row.index;
  }
  // Without a unique column known, nothing counts as unique.
  Snapshot none(m_bench, &m_error, L"SELECT t.pk, s.v FROM t, s");
  EXPECT_FALSE(none->bRubriqueUnique(none->piGetRubriqueOUT(0)));
  EXPECT_FALSE(none->bRubriqueUniqueNotNull(none->piGetRubriqueOUT(0)));
}

TEST_F(ParsedQuery, WithoutOrderFlagKeepsTheGroupsButNoOrderOrHaving) {
  const wchar_t* text = L"SELECT d, COUNT(*) AS n FROM t WHERE x > 1 GROUP BY d HAVING COUNT(*) > 1 ORDER BY n";
  for (int withoutOrder : {0, 1}) {
    Snapshot q(m_bench, &m_error, text, withoutOrder);
    EXPECT_NE(q->piEnumRubriqueClauseGroupe(1), nullptr);
    EXPECT_EQ(q->piEnumRubriqueClauseOrder(1) != nullptr, withoutOrder == 0);
    EXPECT_EQ(q->piGetHavingTreeNoRef() != nullptr, withoutOrder == 0);
    EXPECT_NE(q->piGetWhereTreeNoRef(), nullptr);
    EXPECT_STREQ(q->pszGetBestParseItem(), withoutOrder == 0 ? L"n" : L"d");
  }
}

TEST_F(ParsedQuery, ListsEnumerateFromARestartToTheirEnd) {
  Snapshot select(m_bench, &m_error, L"SELECT t.x, s.v FROM t, s");
  EXPECT_EQ(select->piEnumFichierFrom(0), nullptr) << "not started";
  IInfoFrom* t = select->piEnumFichierFrom(1);
  ASSERT_NE(t, nullptr);
  EXPECT_STREQ(t->pszGetTableName(), L"t");
  EXPECT_STREQ(select->piEnumFichierFrom(0)->pszGetTableName(), L"s");
  EXPECT_EQ(select->piEnumFichierFrom(0), nullptr);
  EXPECT_EQ(select->piEnumFichierFrom(0), nullptr);
  EXPECT_EQ(select->piEnumFichierFrom(1), t);
  EXPECT_EQ(select->nGetFichierFromNbr(), 2);
  EXPECT_EQ(select->piGetRubriqueOUT(-1), nullptr);
  EXPECT_EQ(select->piGetRubriqueOUT(2), nullptr);
  EXPECT_EQ(select->piEnumRubriqueOUT(1), select->piGetRubriqueOUT(0));
  EXPECT_EQ(select->piEnumRubriqueOUT(0), select->piGetRubriqueOUT(1));
  EXPECT_EQ(select->piEnumRubriqueOUT(L"V"), select->piGetRubriqueOUT(1));
  EXPECT_EQ(select->piEnumRubriqueOUT(L"w"), nullptr);
  EXPECT_EQ(std::wstring(select->csGetFichierFrom_DBTableName(1).pszGet()), L"DB.s");
  EXPECT_EQ(std::wstring(select->csGetFichierFrom_DBTableName(2).pszGet()), L"");
  EXPECT_EQ(select->piEnumRubriqueUpdate(1), nullptr);
  EXPECT_STREQ(select->pszGetRequete(), L"SELECT t.x, s.v FROM t, s");
  EXPECT_EQ(select->nGetQueryKind(), 1);

  // The entries stay the parse's, which the snapshot alone holds.
  Snapshot update(m_bench, &m_error, L"UPDATE t SET x = 1, y = 2 WHERE pk = 3");
  EXPECT_EQ(update->nGetQueryKind(), 3);
  EXPECT_EQ(update->piEnumRubriqueUpdate(0), nullptr);
  std::vector<std::wstring> columns;
  for (IInfoAffectation* set = update->piEnumRubriqueUpdate(1); set != nullptr; set = update->piEnumRubriqueUpdate(0)) {
    IExpOpExpression* column = set->piGetColumn();
    columns.push_back(column->pszGetColumnName());
    column->nRelease();
  }
  EXPECT_EQ(columns, (std::vector<std::wstring>{L"x", L"y"}));
  EXPECT_EQ(update->piEnumRubriqueUpdate(0), nullptr);
  EXPECT_EQ(update->piEnumRubriqueInsert(1), nullptr);

  Snapshot insert(m_bench, &m_error, L"INSERT INTO t (x, y, d) VALUES (1, 2, 3)");
  int n = 0;
  for (IInfoInsertion* e = insert->piEnumRubriqueInsert(1); e != nullptr; e = insert->piEnumRubriqueInsert(0)) ++n;
  EXPECT_EQ(n, 3);
  EXPECT_EQ(insert->nGetFichierFromNbr(), 1);
}

TEST_F(ParsedQuery, HostWritesRefusedForAggregatesGroupsAndColumnsThatAreNoTableColumn) {
  struct Row {
    const wchar_t* text;
    BOOL allowed;
  } rows[] = {
      {L"SELECT x FROM t", TRUE},
      {L"SELECT t.x, s.v FROM t, s WHERE t.x = s.v", TRUE},
      {L"SELECT x FROM t WHERE u = 'INDISTINCT'", TRUE},
      {L"SELECT SUM(x) FROM t", FALSE},
      {L"SELECT x, COUNT(*) FROM t", FALSE},
      {L"SELECT x FROM t GROUP BY x", FALSE},
      {L"SELECT x, y + 1 FROM t", FALSE},
      {L"SELECT x, 'lit' FROM t", FALSE},
      {L"SELECT UPPER(u) FROM t", FALSE},
  };
  for (const Row& row : rows) {
    Snapshot q(m_bench, &m_error, row.text);
    EXPECT_EQ(q->bHOperationAllowed(), row.allowed) << ParseBench::Narrow(row.text);
  }
}

// A snapshot without its order dropped the GROUP BY list, and with it the refusal of writes to
// grouped rows.
TEST_F(ParsedQuery, GroupedRowsRefuseHostWritesWithoutTheOrderToo) {
  for (const wchar_t* text : {L"SELECT d FROM t GROUP BY d", L"SELECT d, x FROM t WHERE x > 1 GROUP BY d, x"})
    for (int withoutOrder : {0, 1}) {
      Snapshot q(m_bench, &m_error, text, withoutOrder);
      EXPECT_FALSE(q->bHOperationAllowed()) << ParseBench::Narrow(text) << withoutOrder;
    }
}

// The exact forms " DISTINCT " and " distinct " let host writes through a result whose rows may
// stand for several table rows when written in another case or before another blank.
TEST_F(ParsedQuery, HostWritesRefusedForDistinctInAnyCaseAndBeforeAnyBlank) {
  for (const wchar_t* text :
       {L"SELECT DISTINCT x FROM t", L"SELECT distinct x FROM t", L"SELECT Distinct x FROM t",
        L"SELECT DISTINCT\tx FROM t", L"SELECT\nDISTINCT x FROM t", L"SELECT DISTINCT(x) FROM t",
        L"SELECT dIsTiNcT\r\nx FROM t"}) {
    Snapshot q(m_bench, &m_error, text);
    EXPECT_FALSE(q->bHOperationAllowed()) << ParseBench::Narrow(text);
  }
}

TEST_F(ParsedQuery, AutomaticIdentifiersOfOneTable) {
  struct Row {
    const wchar_t* text;
    BOOL contains;
  } rows[] = {
      {L"SELECT nom FROM clients", FALSE},   {L"SELECT id FROM clients", TRUE},
      {L"SELECT * FROM clients", TRUE},      {L"SELECT c.id FROM clients c, commandes", FALSE},
      {L"SELECT a8 FROM t", TRUE},           {L"SELECT x, ai FROM t", TRUE},
  };
  for (const Row& row : rows) {
    Snapshot q(m_bench, &m_error, row.text);
    EXPECT_EQ(q->bQueryContainIdAuto(), row.contains) << ParseBench::Narrow(row.text);
  }
  CSQLParserInfo* empty = new CSQLParserInfo(&m_error, nullptr, nullptr, 0);
  empty->AddRef();
  EXPECT_FALSE(empty->bQueryContainIdAuto());
  EXPECT_TRUE(empty->bHOperationAllowed());
  EXPECT_EQ(empty->pszGetRequete(), nullptr);
  EXPECT_EQ(empty->piGetInfoRubriqueFromAlias(L"", L"nom"), nullptr);
  EXPECT_EQ(empty->piGetNADataSourceDescription(L"clients"), nullptr);
  empty->nRelease();
}

TEST_F(ParsedQuery, MemoSourcesThroughCalculatedExpressions) {
  Snapshot q(m_bench, &m_error, L"SELECT c.note, UPPER(c.note) AS up, LEFT(c.nom, 3) AS l3, IFNULL(c.nom, c.note) AS m, "
                                L"'x' AS lit, COUNT(*) AS n, c.nom, -c.note AS neg FROM clients c");
  RecordBench record;
  struct Row {
    const wchar_t* name;
    eNA_ITEMTYPE type;
    BOOL memo;
  } rows[] = {
      {L"note", NA_IT_MEMOTEXTE, TRUE}, {L"up", NA_IT_TEXTE, TRUE},   {L"l3", NA_IT_TEXTE, FALSE},
      {L"m", NA_IT_TEXTE, TRUE},        {L"lit", NA_IT_TEXTE, FALSE}, {L"n", NA_IT_I4, FALSE},
      // A table column answers by the record column's own test.
      {L"nom", NA_IT_MEMOTEXTE, TRUE},  {L"neg", NA_IT_TEXTE, TRUE},  {L"absent", NA_IT_MEMOTEXTE, FALSE},
  };
  for (const Row& row : rows) record.Add(row.name, row.type, row.type == NA_IT_I4 ? 4 : 8);
  ASSERT_TRUE(record.Build());
  for (const Row& row : rows)
    EXPECT_EQ(q->bRubriqueSourceIsMemo(record.Column(row.name)), row.memo) << ParseBench::Narrow(row.name);
}

TEST_F(ParsedQuery, TableAliasesAndTheirDescriptions) {
  Snapshot q(m_bench, &m_error, L"SELECT c.nom FROM clients c, commandes, clients AS k");
  INADataSourceDescription* const untouched = reinterpret_cast<INADataSourceDescription*>(&m_error);
  struct Row {
    const wchar_t* name;
    BOOL alias;
    const wchar_t* desc;  // "=" untouched, "-" null
  } rows[] = {
      {L"c", TRUE, L"="},         {L"K", TRUE, L"="},     {L"commandes", FALSE, L"commandes"},
      {L"clients", FALSE, L"clients"}, {L"nowhere", FALSE, L"-"}, {L"", FALSE, L"-"},
  };
  for (const Row& row : rows) {
    INADataSourceDescription* desc = untouched;
    EXPECT_EQ(q->bIsTableAlias(row.name, &desc), row.alias) << ParseBench::Narrow(row.name);
    const std::wstring got = desc == untouched ? L"=" : desc == nullptr ? L"-" : desc->pszGetLogicalName();
    EXPECT_EQ(got, row.desc) << ParseBench::Narrow(row.name);
    if (desc != untouched && desc != nullptr) desc->nExternalRelease();
    EXPECT_EQ(q->bIsTableAlias(row.name, nullptr), row.alias);
  }
  // The snapshot's parse holds the catalogue and one reference per FROM entry, nothing more.
  EXPECT_EQ(m_bench.m_tables[0].nGetRefCount(), 3);
  EXPECT_EQ(m_bench.m_tables[1].nGetRefCount(), 2);
}

// A column whose table alias the data access set.
class CAliasedColumn final : public CNAColumn {
 public:
  CAliasedColumn(CNAError* error, INAItemDescription* item, const wchar_t* alias) : CNAColumn(error, item), m_alias(alias) {}
  const wchar_t* pszGetAliasNomTable() const override { return m_alias; }

 private:
  const wchar_t* m_alias;
};

TEST_F(ParsedQuery, LookupsOfRecordColumns) {
  Snapshot q(m_bench, &m_error,
             L"SELECT c.nom, o.montant AS total, UPPER(c.ville) AS v FROM clients c, commandes o "
             L"ORDER BY v DESC, total, 1");
  RecordBench record;
  record.Add(L"nom", NA_IT_TEXTE, 31);
  record.Add(L"total", NA_IT_R8, 8);
  record.Add(L"v", NA_IT_TEXTE, 21);
  ASSERT_TRUE(record.Build(q.Get()));
  for (int i = 0; i < 3; ++i) {
    CNAColumn* column = record.Record()->pclGetColumnNoRef(i);
    EXPECT_EQ(q->piGetInfoRubriqueFromAlias(L"", column->pszGetName()), q->piGetRubriqueOUT(i)) << i;
    EXPECT_EQ(q->piGetInfoRubriqueFromAlias(nullptr, column->pszGetName()), q->piGetRubriqueOUT(i)) << i;
  }
  struct Row {
    const wchar_t *alias, *name;
    int index;
  } rows[] = {{L"c", L"NOM", 0}, {L"o", L"nom", -1}, {L"o", L"total", 1}, {L"c", L"v", -1}, {L"", L"zz", -1}};
  for (const Row& row : rows)
    EXPECT_EQ(q->piGetInfoRubriqueFromAlias(row.alias, row.name), q->piGetRubriqueOUT(row.index))
        << ParseBench::Narrow(row.alias) << "." << ParseBench::Narrow(row.name);

  q->piEnumRubriqueClauseOrder(1);
  IInfoOrderBy* byV = q->piEnumRubriqueClauseOrder(1);
  IInfoOrderBy* byTotal = q->piEnumRubriqueClauseOrder(0);
  IInfoOrderBy* byFirst = q->piEnumRubriqueClauseOrder(0);
  EXPECT_EQ(byV->nGetDirection(), 1);
  EXPECT_EQ(q->piGetRubriqueClauseOrder(record.Column(L"v")), byV);
  EXPECT_EQ(q->piGetRubriqueClauseOrder(record.Column(L"total")), byTotal);
  EXPECT_EQ(q->piGetRubriqueClauseOrder(record.Column(L"nom")), byFirst);
  // By the source: the name in the source and the physical name of the column's table alias.
  CHostItemDescription other(L"autre", NA_IT_TEXTE, 31);
  other.m_pszNameInSource = L"NOM";
  for (const auto& [alias, found] : {std::pair{L"db_clients", true}, std::pair{L"clients", false}}) {
    CAliasedColumn* column = new CAliasedColumn(&m_error, &other, alias);
    column->AddRef();
    EXPECT_EQ(q->piGetRubriqueClauseOrder(column), found ? byFirst : nullptr) << ParseBench::Narrow(alias);
    column->nRelease();
  }

  Snapshot grouped(m_bench, &m_error, L"SELECT c.nom AS n, COUNT(*) AS k FROM clients c GROUP BY c.nom");
  RecordBench groupRecord;
  groupRecord.Add(L"n", NA_IT_TEXTE, 31);
  groupRecord.Add(L"k", NA_IT_I4, 4);
  ASSERT_TRUE(groupRecord.Build(grouped.Get()));
  CInfoGroupe* group = grouped->piGetRubriqueClauseGroupe(groupRecord.Column(L"N"));
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(grouped->piGetRubriqueClauseGroupe(groupRecord.Column(L"k")), nullptr);
  EXPECT_STREQ(group->pszGetNomFichier(), L"c");
  EXPECT_STREQ(group->pszGetNomRubrique(), L"nom");
  EXPECT_STREQ(group->pszGetNomTable(), L"clients");
  EXPECT_STREQ(group->pszGetAlias(), L"c");
  EXPECT_TRUE(group->bIsAvecTable());
  EXPECT_EQ(group->stGetPosition().nStart, 57u);
  EXPECT_EQ(group->stGetPosition().nEnd, 61u);
}

TEST_F(ParsedQuery, PhysicalNames) {
  Snapshot q(m_bench, &m_error, L"SELECT c.nom, UPPER(c.ville) AS v FROM clients c, commandes");
  ISQLParserInformation* parse = q.m_parse;
  EXPECT_EQ(q->pszGetPhysicalName(L""), nullptr);
  EXPECT_EQ(q->pszGetPhysicalName(static_cast<const wchar_t*>(nullptr)), nullptr);
  EXPECT_EQ(CHostSQLParser::nPhysicalNameAsks(parse), 0) << "an empty name asks nothing";
  EXPECT_STREQ(q->pszGetPhysicalName(L"c"), L"db_clients");
  EXPECT_STREQ(q->pszGetPhysicalName(L"COMMANDES"), L"db_commandes");
  EXPECT_EQ(q->pszGetPhysicalName(L"nowhere"), nullptr);
  EXPECT_EQ(CHostSQLParser::nPhysicalNameAsks(parse), 3);
  EXPECT_EQ(CSQLParserInfo::pszGetPhysicalName(L"c", nullptr), nullptr);
  EXPECT_STREQ(q->pszGetPhysicalName(q->piGetRubriqueOUT(0)), L"db_clients");
  EXPECT_STREQ(q->pszGetPhysicalName(q->piGetRubriqueOUT(1)), L"");
}

// The names are copied into a buffer of 261 characters shared by every snapshot: a longer one
// must come back as no name, never cut or past the buffer.
TEST_F(ParsedQuery, PhysicalNameLongerThanItsBufferIsNull) {
  const std::wstring fits(260, L'p'), over(261, L'q'), far(4000, L'r');
  m_bench.Table(L"fits", fits.c_str());
  m_bench.Table(L"over", over.c_str());
  m_bench.Table(L"far", far.c_str());
  Snapshot q(m_bench, &m_error, L"SELECT nom FROM clients");
  EXPECT_EQ(q->pszGetPhysicalName(L"fits"), fits);
  EXPECT_EQ(q->pszGetPhysicalName(L"over"), nullptr);
  EXPECT_EQ(q->pszGetPhysicalName(L"far"), nullptr);
  EXPECT_STREQ(q->pszGetPhysicalName(L"clients"), L"db_clients");
}

TEST_F(ParsedQuery, AThrowingHostGivesNull) {
  Snapshot q(m_bench, &m_error, L"SELECT c.code, c.nom FROM clients c");
  IInfoRubrique* code = q->piGetRubriqueOUT(0);
  IInfoRubrique* nom = q->piGetRubriqueOUT(1);
  ASSERT_EQ(q->piGetUniqueNotNullNoRef(), code);
  CHostSQLParser::SetThrow(q.m_parse, CHostSQLParser::kThrowItemDescription | CHostSQLParser::kThrowPhysicalName |
                                          CHostSQLParser::kThrowColumnLookup);
  EXPECT_EQ(q->piGetItemDescription(nom), nullptr);
  EXPECT_EQ(q->pszGetPhysicalName(L"c"), nullptr);
  EXPECT_STREQ(q->pszGetPhysicalName(nom), L"clients");
  EXPECT_EQ(q->piGetInfoRubriqueFromAlias(L"", L"nom"), nullptr);
  EXPECT_FALSE(q->bRubriqueUnique(nom));
  EXPECT_TRUE(q->bRubriqueUniqueNotNull(code)) << "the key column itself asks nothing";
  CHostSQLParser::SetThrow(q.m_parse, 0);
  EXPECT_EQ(q->piGetInfoRubriqueFromAlias(L"c", L"nom"), nom);
  INAItemDescription* item = q->piGetItemDescription(nom);
  ASSERT_NE(item, nullptr);
  EXPECT_STREQ(item->pszGetName(), L"nom");
  item->nExternalRelease();
}

// The columns a snapshot names are elements of its own list: they outlive the host's reference
// and go, all of them, when the snapshot is given another parse.
TEST_F(ParsedQuery, KeptColumnsAreTheSnapshotsOwnAndResetWithIt) {
  const long before = CHostSQLParser::nLive();
  Snapshot q(m_bench, &m_error, L"SELECT d, pk FROM t ORDER BY d");
  EXPECT_GT(CHostSQLParser::nLive(), before) << "the snapshot holds the parse";
  EXPECT_STREQ(q->piGetBestParseItemNoRef()->pszGetName(), L"d");
  EXPECT_STREQ(q->piGetUniqueNotNullNoRef()->pszGetName(), L"pk");
  ISQLParserInformation* other = m_bench.Parse(L"SELECT x FROM t");
  q->Set(other, nullptr, 0);
  other->nRelease();
  EXPECT_STREQ(q->pszGetBestParseItem(), L"x");
  EXPECT_EQ(q->piGetUniqueNotNullNoRef(), nullptr);
  EXPECT_EQ(q->piGetUniqueNoRef(), nullptr);
  EXPECT_EQ(q->piGetKeyNoRef(), nullptr);
  EXPECT_EQ(q->piGetOrderByItemNoRef(), nullptr);
  EXPECT_EQ(q->piEnumRubriqueClauseOrder(1), nullptr);
  // The same parse given again stays held.
  q->Set(q->piGetParserNoRef(), nullptr, 0);
  EXPECT_STREQ(q->pszGetBestParseItem(), L"x");
  q->Set(nullptr, nullptr, 0);
  EXPECT_EQ(CHostSQLParser::nLive(), before);
  EXPECT_EQ(q->pszGetBestParseItem(), nullptr);
  EXPECT_EQ(q->nGetFichierFromNbr(), 0);
}

TEST_F(ParsedQuery, BindValuesAndTheBoundRecordAreHeld) {
  CHostQueryParameters* binds = new CHostQueryParameters;
  {
    Snapshot q(m_bench, &m_error, L"SELECT nom FROM clients WHERE id = {p}", 0, binds);
    EXPECT_EQ(binds->nGetRefCount(), 2);
    EXPECT_FALSE(q->bHPrepareRequeteCalled());
    binds->m_bPrepared = TRUE;
    EXPECT_TRUE(q->bHPrepareRequeteCalled());
    INAQueryParametersValue* given = q->piGetUserBindVariable();
    EXPECT_EQ(given, binds);
    EXPECT_EQ(binds->nGetRefCount(), 3);
    given->nRelease();
    q->Set(q->piGetParserNoRef(), binds, 0);
    EXPECT_EQ(binds->nGetRefCount(), 2);

    RecordBench bench;
    bench.Add(L"nom", NA_IT_TEXTE, 31);
    ASSERT_TRUE(bench.Build(q.Get()));
    const unsigned int refs = bench.Record()->nGetRefCount();
    q->SetRecord(bench.Record());
    EXPECT_EQ(bench.Record()->nGetRefCount(), refs + 1);
    EXPECT_EQ(q->pclGetQueryParserInfoNoRef(), q.Get());
    q->SetRecord(nullptr);
    EXPECT_EQ(bench.Record()->nGetRefCount(), refs);
    EXPECT_EQ(q->pclGetQueryParserInfoNoRef(), nullptr);
    q->Set(q->piGetParserNoRef(), nullptr, 0);
    EXPECT_EQ(binds->nGetRefCount(), 1);
    EXPECT_EQ(q->piGetUserBindVariable(), nullptr);
    EXPECT_FALSE(q->bHPrepareRequeteCalled());
  }
  binds->nRelease();
}

TEST_F(ParsedQuery, OperatorClasses) {
  struct Row {
    int op;
    BOOL function, aggregate;
  } rows[] = {{5, FALSE, FALSE},  {6, TRUE, FALSE},   {26, FALSE, FALSE}, {27, TRUE, TRUE},   {31, TRUE, TRUE},
              {32, FALSE, FALSE}, {47, FALSE, FALSE}, {57, TRUE, FALSE},  {58, FALSE, FALSE}, {67, FALSE, FALSE},
              {73, FALSE, FALSE}, {96, FALSE, FALSE}, {108, TRUE, FALSE}, {149, FALSE, FALSE}, {155, TRUE, FALSE},
              {156, FALSE, FALSE}};
  for (const Row& row : rows) {
    EXPECT_EQ(CSQLParserInfo::s_bIsFunction(row.op), row.function) << row.op;
    EXPECT_EQ(CSQLParserInfo::s_bIsGroupmentColumn(row.op), row.aggregate) << row.op;
  }
}

}  // namespace
