// Host queries parsed by the stand-in SQL engine, rewritten by the command and run through the
// MySQL SQL statement, against hand-written SQL run through the tests' raw client: the same rows,
// in both code pages and SQL modes. The host's tables have names of their own; their physical
// names need backquotes (a blank, a reserved word, an embedded backquote, accented letters).
#include <algorithm>
#include <optional>

#include "mysql/mysqlstatementsql.h"
#include "platform/codepage.h"
#include "sql/nacommand.h"
#include "sql/sqlparserinfo.h"
#include "tests/mysql/live_connection.h"
#include "tests/support/any_test_values.h"
#include "tests/support/parse_bench.h"

namespace {

using Rowset = std::vector<std::string>;

// A connection that sorts NULL after every value.
class CNullLastConnection final : public CMySQLConnection {
 public:
  using CMySQLConnection::CMySQLConnection;
  BOOL bNULLBeforeNotNULL() const override { return FALSE; }
};

// One query of the corpus: the host's text, the hand-written SQL ("D." is the test's database),
// whether the order counts; for writes, the SELECT that reads the result back.
struct Case {
  const wchar_t* host;
  const wchar_t* hand;
  bool ordered = false;
  const wchar_t* readBack = nullptr;
};

class LiveRewrite : public LiveConnection {
 protected:
  struct VM : AnyTest { static void Bind() { SetUpTestSuite(); } };
  LiveRewrite() : LiveConnection("_rw"), m_strDb(m_strTable + "_db") { CNAError::s_Hold(&m_error); }
  static void SetUpTestSuite() { VM::Bind(); }

  void SetUp() override {
    LiveConnection::SetUp();
    if (!m_pCnx) return;
    m_pCnx->AddRef();  // the fixture's own: commands never delete it
    const std::string d = "`" + m_strDb + "`.";
    for (const std::string& sql : {
             "DROP DATABASE IF EXISTS `" + m_strDb + "`", "CREATE DATABASE `" + m_strDb + "`",
             "CREATE TABLE " + d + "`my clients` (id INT PRIMARY KEY, nom VARCHAR(40), ville VARCHAR(40), "
                 "`key` VARCHAR(10), naissance DATE NULL, cree DATETIME NULL)",
             "INSERT INTO " + d + "`my clients` VALUES (1,'Dupont','Paris','k1','1980-05-17','2024-01-05 10:30:00'),"
                 "(2,'Martin','Lyon','k2',NULL,NULL),(3,'Durand','Paris','k3','1975-12-01','2024-01-05 00:00:00'),"
                 "(4,'L\xC3\xA9" "a','Nice','k4','1990-01-01','2023-12-31 23:59:59'),"
                 "(5,'O''Brien','Lyon','k5','1980-05-17','2024-01-06 00:00:00')",
             "CREATE TABLE " + d + "`order` (num INT PRIMARY KEY, client INT, montant DOUBLE, date_cde DATE NULL, "
                 "statut VARCHAR(10))",
             "INSERT INTO " + d + "`order` VALUES (10,1,12.5,'2024-01-05','new'),(11,1,7.25,'2024-01-06','sent'),"
                 "(12,2,100,NULL,'new'),(13,3,3,'2023-12-31','sent'),(14,5,20,'2024-01-05',NULL)",
             "CREATE TABLE " + d + "`we``ird` (ref INT, libelle VARCHAR(30), prix DECIMAL(10,2))",
             "INSERT INTO " + d + "`we``ird` VALUES (1,'stylo',1.5),(2,'cahier',3.25),(3,'r\xC3\xA8gle',2.00)",
             "CREATE TABLE " + d + "`caf\xC3\xA9` (id INT, heure TIME NULL, taux DOUBLE)",
             "INSERT INTO " + d + "`caf\xC3\xA9` VALUES (1,'08:30:00',1.1),(2,'12:00:00',2.2),(3,NULL,3.3)",
             "CREATE TABLE `" + m_strTable + "` (id INT PRIMARY KEY, nom VARCHAR(20))",
             "INSERT INTO `" + m_strTable + "` VALUES (1,'a'),(2,'ORDER BY'),(3,'c')"}) {
      std::string err;
      ASSERT_TRUE(m_raw.exec(sql, &err)) << sql << ": " << err;
    }
    const std::wstring db = Wide(m_strDb) + L".";
    CHostRecordDescription* t = Table(L"personnes", db + L"my clients");
    m_bench.Item(t, L"id", NA_IT_I4, 4, ParseBench::kPrimary, FALSE);
    m_bench.Item(t, L"nom", NA_IT_TEXTE, 41);
    m_bench.Item(t, L"ville", NA_IT_TEXTE, 41);
    m_bench.Item(t, L"key", NA_IT_TEXTE, 11);
    m_bench.Item(t, L"naissance", NA_IT_DATE8, 9);
    m_bench.Item(t, L"cree", NA_IT_DATETIME, 8);
    t = Table(L"achats", db + L"order");
    m_bench.Item(t, L"num", NA_IT_I4, 4, ParseBench::kPrimary, FALSE);
    m_bench.Item(t, L"client", NA_IT_I4, 4);
    m_bench.Item(t, L"montant", NA_IT_R8, 8);
    m_bench.Item(t, L"date_cde", NA_IT_DATE8, 9);
    m_bench.Item(t, L"statut", NA_IT_TEXTE, 11);
    t = Table(L"articles", db + L"we`ird");
    m_bench.Item(t, L"ref", NA_IT_I4, 4);
    m_bench.Item(t, L"libelle", NA_IT_TEXTE, 31);
    m_bench.Item(t, L"prix", NA_IT_MONETAIRE, 10);
    t = Table(L"tarifs", db + L"caf\u00e9");
    m_bench.Item(t, L"id", NA_IT_I4, 4);
    m_bench.Item(t, L"heure", NA_IT_HEURE, 10);
    m_bench.Item(t, L"taux", NA_IT_R8, 8);
    t = Table(Wide(m_strTable), Wide(m_strTable));
    m_bench.Item(t, L"id", NA_IT_I4, 4, ParseBench::kPrimary, FALSE);
    m_bench.Item(t, L"nom", NA_IT_TEXTE, 21);
  }
  // The test's commands and queries given back (before a connection of the test's own goes).
  void Drop() {
    for (CNACommand* c : m_commands) c->nRelease();
    for (CSQLParserInfo* q : m_queries) q->nRelease();
    m_commands.clear();
    m_queries.clear();
  }
  void TearDown() override {
    Drop();
    EXPECT_EQ(CHostSQLParser::nLive(), m_nLive) << "stand-in parser objects leaked";
    if (m_pCnx) {
      std::string err;
      m_raw.exec("DROP DATABASE IF EXISTS `" + m_strDb + "`", &err);
    }
    LiveConnection::TearDown();
  }
  CHostRecordDescription* Table(const std::wstring& name, const std::wstring& physical) {
    CHostRecordDescription* t = m_bench.Table(name.c_str(), physical.c_str());
    t->m_pszDBTableName = t->m_pszPhysicalName;
    return t;
  }
  bool Utf8Cnx() const { return std::get<0>(GetParam()) == 65001; }

  // The parsed query, kept until the end of the test.
  CSQLParserInfo* Query(const std::wstring& text, INAQueryParametersValue* binds = nullptr) {
    ISQLParserInformation* parse = m_bench.Parse(text);
    if (parse == nullptr) return nullptr;
    CSQLParserInfo* info = new CSQLParserInfo(&m_error, parse, binds, 0);
    info->AddRef();
    parse->nRelease();
    m_queries.push_back(info);
    return info;
  }
  CNACommand* Make(CNAConnectionDescription* cnx = nullptr) {
    CNACommand* c = pclAllocCommand(&m_error, cnx != nullptr ? cnx : m_pCnx.get());
    c->AddRef();
    m_commands.push_back(c);
    return c;
  }
  // The host query rewritten on the fixture's connection (or cnx); null, with a failure, when the
  // rewrite fails.
  CNACommand* Rewritten(const std::wstring& host, CNACommand* filter = nullptr, int keepOrderBy = 1, int mode = 0,
                        INAQueryParametersValue* binds = nullptr, CNAConnectionDescription* cnx = nullptr) {
    CSQLParserInfo* info = Query(host, binds);
    if (info == nullptr) return nullptr;
    CNACommand* c = Make(cnx);
    if (!c->bFormatCondition(info, filter, keepOrderBy, mode)) {
      ADD_FAILURE() << ParseBench::Narrow(host) << ": " << ParseBench::Narrow(m_error.pszGetError());
      return nullptr;
    }
    return c;
  }
  // The rows of the command's formatted SQL run by the MySQL statement, as UTF-8; "error ..." when
  // it does not run.
  Rowset Driver(CNACommand* c, const wchar_t* readBack = nullptr) {
    CTStringConcatAW* sql = c->pclGetFormatedSQL(NA_PARAMCONV_ALL);
    if (sql == nullptr) return {"error: no formatted SQL: " + ParseBench::Narrow(m_error.pszGetError())};
    CMySQLStatementSQL st(c->pclGetCnxNoRef(), &m_error);
    st.SetStatic(true);
    if (!st.bReset() || !st._bExecuteDirect(sql, nullptr, 0))
      return {"error: " + ParseBench::Narrow(m_error.pszGetError()) + " in " + ParseBench::Narrow(sql->pszGetW())};
    if (readBack != nullptr) {
      CNACommand* read = Make(c->pclGetCnxNoRef());
      read->bComplete(Database(readBack).c_str());
      return Driver(read);
    }
    Rowset rows;
    while (st.bFetch(0) && !st.bIsEnd()) {
      std::string row;
      for (unsigned int i = 0; i < st.nGetColumnCount(); ++i) {
        unsigned char* bytes = nullptr;
        unsigned int length = 0;
        EXPECT_TRUE(st.bGetValue(&bytes, &length, i));
        row += i > 0 ? "|" : "";
        row += bytes == nullptr ? "<NULL>" : ToUtf8(reinterpret_cast<const char*>(bytes), length);
      }
      rows.push_back(row);
    }
    return rows;
  }
  std::string ToUtf8(const char* bytes, unsigned int length) const {
    if (Utf8Cnx()) return std::string(bytes, length);
    std::string out(length * 3 + 1, '\0');
    out.resize(static_cast<size_t>(MultiByteToUTF8(1252, bytes, length, out.data(), length * 3 + 1, 0)));
    return out;
  }
  // sql with "D." made the test's database.
  std::wstring Database(const std::wstring& sql) const {
    std::wstring out = sql;
    for (size_t at = out.find(L"D."); at != std::wstring::npos; at = out.find(L"D.", at))
      if (at == 0 || (!iswalnum(static_cast<wint_t>(out[at - 1])) && out[at - 1] != L'_'))
        out.replace(at, 2, L"`" + Wide(m_strDb) + L"`."), at += m_strDb.size() + 3;
      else
        at += 2;
    return out;
  }
  // The rows of hand-written SQL through the raw client.
  Rowset Hand(const std::wstring& sql) {
    RawRows rows;
    std::string err;
    if (!m_raw.query(Utf8(Database(sql)), &rows, &err)) return {"error: " + err};
    Rowset out;
    for (const RawRow& r : rows) {
      std::string row;
      for (size_t i = 0; i < r.size(); ++i) row += (i > 0 ? "|" : "") + r[i].value_or("<NULL>");
      out.push_back(row);
    }
    return out;
  }
  // The host query's rows against the hand-written SQL's; a write runs in a transaction on both
  // sides, read back and rolled back.
  void Compare(const Case& row, CNACommand* c) {
    const std::string at = ParseBench::Narrow(row.host);
    ASSERT_NE(c, nullptr) << at;
    Rowset want, got;
    if (row.readBack != nullptr) {
      std::string err;
      ASSERT_TRUE(m_raw.exec("START TRANSACTION", &err)) << err;
      want = Hand(row.hand);
      if (want.empty()) want = Hand(row.readBack);
      ASSERT_TRUE(m_raw.exec("ROLLBACK", &err)) << err;
      ASSERT_TRUE(Run("START TRANSACTION"));
      got = Driver(c, row.readBack);
      ASSERT_TRUE(Run("ROLLBACK"));
    } else {
      want = Hand(row.hand);
      got = Driver(c);
    }
    if (!row.ordered) {
      std::sort(want.begin(), want.end());
      std::sort(got.begin(), got.end());
    }
    EXPECT_TRUE(want.empty() || want[0].rfind("error", 0) != 0) << at << ": hand-written SQL: " << want[0];
    EXPECT_EQ(got, want) << at << "\n  sent: " << ParseBench::Narrow(c->pszGetFormatedSQL(NA_PARAMCONV_ALL));
  }

  CNAError m_error;
  ParseBench m_bench;
  const std::string m_strDb;
  const long m_nLive = CHostSQLParser::nLive();
  std::vector<CNACommand*> m_commands;
  std::vector<CSQLParserInfo*> m_queries;
};

TEST_P(LiveRewrite, CorpusReturnsTheRowsOfItsHandWrittenSQL) {
  const Case corpus[] = {
      // The star, aliases, qualified names.
      {L"SELECT * FROM personnes WHERE id < 3", L"SELECT * FROM D.`my clients` WHERE id < 3"},
      {L"SELECT p.nom AS n, p.ville v, p.key FROM personnes p WHERE p.id = 4",
       L"SELECT nom, ville, `key` FROM D.`my clients` WHERE id = 4"},
      {L"SELECT personnes.nom, personnes.key FROM personnes WHERE personnes.ville = 'Paris' ORDER BY personnes.nom",
       L"SELECT nom, `key` FROM D.`my clients` WHERE ville = 'Paris' ORDER BY nom", true},
      {L"SELECT nom FROM personnes WHERE nom = 'O''Brien' OR nom LIKE 'D%' OR ville LIKE 'N_ce'",
       L"SELECT nom FROM D.`my clients` WHERE nom = 'O''Brien' OR nom LIKE 'D%' OR ville LIKE 'N_ce'"},
      {L"SELECT ref, libelle, prix FROM articles WHERE prix > 2 OR libelle = 'r\u00e8gle'",
       L"SELECT ref, libelle, prix FROM D.`we``ird` WHERE prix > 2 OR libelle = 'r\u00e8gle'"},
      {L"SELECT id, taux * 2 AS t2 FROM tarifs WHERE taux >= 2.2", L"SELECT id, taux * 2 FROM D.`caf\u00e9` WHERE taux >= 2.2"},
      // Joins.
      {L"SELECT p.nom, a.montant FROM personnes p JOIN achats a ON a.client = p.id WHERE a.montant > 5 ORDER BY a.num",
       L"SELECT p.nom, a.montant FROM D.`my clients` p JOIN D.`order` a ON a.client = p.id WHERE a.montant > 5 "
       L"ORDER BY a.num",
       true},
      {L"SELECT p.id, a.num FROM personnes p LEFT JOIN achats a ON a.client = p.id",
       L"SELECT p.id, a.num FROM D.`my clients` p LEFT JOIN D.`order` a ON a.client = p.id"},
      {L"SELECT x.nom, y.nom FROM personnes x, personnes y WHERE x.ville = y.ville AND x.id < y.id",
       L"SELECT x.nom, y.nom FROM D.`my clients` x, D.`my clients` y WHERE x.ville = y.ville AND x.id < y.id"},
      // Grouping.
      {L"SELECT LEFT(nom, 1) AS initiale, COUNT(*) AS n FROM personnes GROUP BY initiale ORDER BY initiale",
       L"SELECT LEFT(nom, 1), COUNT(*) FROM D.`my clients` GROUP BY LEFT(nom, 1) ORDER BY 1", true},
      {L"SELECT ville, COUNT(*) AS n, SUM(id) AS s FROM personnes GROUP BY ville HAVING n > 1 ORDER BY ville",
       L"SELECT ville, COUNT(*), SUM(id) FROM D.`my clients` GROUP BY ville HAVING COUNT(*) > 1 ORDER BY ville", true},
      {L"SELECT client, MAX(montant) AS m FROM achats GROUP BY client HAVING MAX(montant) >= 20",
       L"SELECT client, MAX(montant) FROM D.`order` GROUP BY client HAVING MAX(montant) >= 20"},
      // Literals typed by their columns: dates compared as the host's digits.
      {L"SELECT num FROM achats WHERE date_cde = '20240105'", L"SELECT num FROM D.`order` WHERE date_cde = '2024-01-05'"},
      {L"SELECT num FROM achats WHERE date_cde >= '202401' AND date_cde <> '20240106'",
       L"SELECT num FROM D.`order` WHERE date_cde >= '2024-01-01' AND date_cde <> '2024-01-06'"},
      {L"SELECT id FROM personnes WHERE cree = '20240105'",
       L"SELECT id FROM D.`my clients` WHERE cree = '2024-01-05 00:00:00'"},
      {L"SELECT id FROM personnes WHERE naissance = '1980'", L"SELECT id FROM D.`my clients` WHERE 1 = 0"},
      {L"SELECT id FROM tarifs WHERE heure = '0830'", L"SELECT id FROM D.`caf\u00e9` WHERE heure = '08:30:00'"},
      {L"SELECT id FROM tarifs WHERE heure < '1000'", L"SELECT id FROM D.`caf\u00e9` WHERE heure < '10:00:00'"},
      // Empty dates: NULL tests and constants.
      {L"SELECT num FROM achats WHERE date_cde = ''", L"SELECT num FROM D.`order` WHERE date_cde IS NULL"},
      {L"SELECT num FROM achats WHERE date_cde <> ''", L"SELECT num FROM D.`order` WHERE date_cde IS NOT NULL"},
      {L"SELECT num FROM achats WHERE date_cde < '' OR num = 10", L"SELECT num FROM D.`order` WHERE num = 10"},
      {L"SELECT num FROM achats WHERE date_cde >= ''", L"SELECT num FROM D.`order`"},
      {L"SELECT id FROM personnes WHERE cree <= ''", L"SELECT id FROM D.`my clients` WHERE cree IS NULL"},
      {L"SELECT id FROM personnes WHERE cree > ''", L"SELECT id FROM D.`my clients` WHERE cree IS NOT NULL"},
      // Writes, read back.
      {L"INSERT INTO achats (num, client, montant, date_cde, statut) VALUES (20, 4, 9.5, '20240201', 'l''un')",
       L"INSERT INTO D.`order` VALUES (20, 4, 9.5, '2024-02-01', 'l''un')", false, L"SELECT * FROM D.`order`"},
      {L"INSERT INTO personnes (id, nom, key, naissance, cree) VALUES (9, 'Z\u00e9', 'k9', '', '20240301123456000')",
       L"INSERT INTO D.`my clients` (id, nom, `key`, naissance, cree) VALUES (9, 'Z\u00e9', 'k9', NULL, "
       L"'2024-03-01 12:34:56')",
       false, L"SELECT * FROM D.`my clients`"},
      {L"INSERT INTO articles (ref, libelle, prix) VALUES (4, 'gomme', '3.75')",
       L"INSERT INTO D.`we``ird` VALUES (4, 'gomme', 3.75)", false, L"SELECT * FROM D.`we``ird`"},
      {L"INSERT INTO tarifs (id, heure, taux) VALUES (4, '1745', 4)",
       L"INSERT INTO D.`caf\u00e9` VALUES (4, '17:45:00', 4)", false, L"SELECT * FROM D.`caf\u00e9`"},
      {L"UPDATE achats SET montant = montant * 2, statut = 'x' WHERE client = 1",
       L"UPDATE D.`order` SET montant = montant * 2, statut = 'x' WHERE client = 1", false, L"SELECT * FROM D.`order`"},
      {L"UPDATE personnes p SET p.ville = 'Nantes' WHERE p.naissance = '19800517'",
       L"UPDATE D.`my clients` SET ville = 'Nantes' WHERE naissance = '1980-05-17'", false,
       L"SELECT * FROM D.`my clients`"},
      {L"DELETE FROM achats WHERE date_cde < '20240105' OR date_cde = ''",
       L"DELETE FROM D.`order` WHERE date_cde < '2024-01-05' OR date_cde IS NULL", false, L"SELECT * FROM D.`order`"},
  };
  for (const Case& row : corpus) Compare(row, Rewritten(row.host));
}

TEST_P(LiveRewrite, BindVariablesTakeTheHostsValues) {
  CHostQueryParameters* binds = new CHostQueryParameters;
  CAny two, nice, date;
  two.SetI4(2);
  nice.__SetType(ZV_DSTRW, 0);
  nice.SetValueByte(L"Nice", 4 * sizeof(wchar_t));
  binds->Set(L"p", two);
  binds->Set(L"v", nice);
  const Case row{L"SELECT nom FROM personnes WHERE id = {p} OR ville = {v}",
                 L"SELECT nom FROM D.`my clients` WHERE id = 2 OR ville = 'Nice'"};
  Compare(row, Rewritten(row.host, nullptr, 1, 0, binds));
  binds->nRelease();
}

TEST_P(LiveRewrite, FilterJoinsTheWhereOrMakesOne) {
  struct Row {
    const wchar_t* host;
    const wchar_t* condition;
    const wchar_t* hand;
  } rows[] = {
      {L"SELECT nom FROM personnes WHERE ville = 'Paris' OR ville = 'Lyon'", L"id > 1 AND nom <> 'Martin'",
       L"SELECT nom FROM D.`my clients` WHERE (ville = 'Paris' OR ville = 'Lyon') AND (id > 1 AND nom <> 'Martin')"},
      {L"SELECT nom FROM personnes ORDER BY nom", L"ville = 'Lyon'",
       L"SELECT nom FROM D.`my clients` WHERE ville = 'Lyon' ORDER BY nom"},
      {L"SELECT ville, COUNT(*) AS n FROM personnes GROUP BY ville", L"naissance = ''",
       L"SELECT ville, COUNT(*) FROM D.`my clients` WHERE naissance IS NULL GROUP BY ville"},
      {L"SELECT nom FROM personnes", L"naissance = '19800517'",
       L"SELECT nom FROM D.`my clients` WHERE naissance = '1980-05-17'"},
      {L"SELECT id FROM personnes ORDER BY id LIMIT 2", L"ville <> 'Paris'",
       L"SELECT id FROM D.`my clients` WHERE ville <> 'Paris' ORDER BY id LIMIT 2"},
      {L"SELECT id FROM personnes LIMIT 2", L"id > 2", L"SELECT id FROM D.`my clients` WHERE id > 2 LIMIT 2"},
  };
  for (const Row& row : rows) {
    CTString error;
    ISQLParserInformation* parse = CHostSQLParser::piParseCondition(row.condition, L"personnes", m_bench.m_catalogue,
                                                                    &error);
    ASSERT_NE(parse, nullptr) << ParseBench::Narrow(error.pszGet());
    CSQLParserInfo* condition = new CSQLParserInfo(&m_error, parse, nullptr, 0);
    condition->AddRef();
    parse->nRelease();
    m_queries.push_back(condition);
    CNACommand* filter = Make();
    ASSERT_TRUE(filter->bAddFilterExpression(condition));
    Compare({row.host, row.hand, true}, Rewritten(row.host, filter));
  }
}

// Both NULL orderings write their own constants and NULL tests; each runs and selects its rows.
TEST_P(LiveRewrite, EmptyDatesUnderBothNullOrderingsRun) {
  CNullLastConnection last(L"last", &m_host);
  last.SetStatic(true);
  ASSERT_TRUE(last.bOpen(&m_error));
  struct Row {
    const wchar_t* host;
    const wchar_t* nullFirst;
    const wchar_t* nullLast;
  } rows[] = {
      {L"SELECT num FROM achats WHERE date_cde = ''", L" IS NULL ", L" IS NULL "},
      {L"SELECT num FROM achats WHERE date_cde <> ''", L" IS NOT NULL ", L" IS NOT NULL "},
      {L"SELECT num FROM achats WHERE date_cde < ''", L" 0=1 ", L" IS NOT NULL "},
      {L"SELECT num FROM achats WHERE date_cde <= ''", L" IS NULL ", L" 1=1 "},
      {L"SELECT num FROM achats WHERE date_cde > ''", L" IS NOT NULL ", L" 0=1 "},
      {L"SELECT num FROM achats WHERE date_cde >= ''", L" 1=1 ", L" IS NULL "},
      {L"SELECT id FROM personnes WHERE cree < ''", L" 0=1 ", L" IS NOT NULL "},
      {L"SELECT id FROM personnes WHERE cree >= ''", L" 1=1 ", L" IS NULL "},
  };
  for (const Row& row : rows) {
    const bool orders = wcsstr(row.host, L"achats") != nullptr;
    const std::wstring head = orders ? L"SELECT num FROM D.`order` WHERE " : L"SELECT id FROM D.`my clients` WHERE ";
    const std::wstring column = orders ? L"date_cde" : L"cree";
    for (bool nullFirst : {true, false}) {
      const std::wstring test = nullFirst ? row.nullFirst : row.nullLast;
      const std::wstring hand = head + (test[1] == L'I' ? column + test : test);
      CNACommand* c = Rewritten(row.host, nullptr, 1, 0, nullptr, nullFirst ? nullptr : &last);
      Compare({row.host, hand.c_str()}, c);
      const std::wstring sent = c != nullptr ? c->pszGetFormatedSQL(NA_PARAMCONV_ALL) : L"";
      EXPECT_NE(sent.find(test), std::wstring::npos) << ParseBench::Narrow(sent);
    }
  }
  Drop();
  last.bClose(&m_error);
}

TEST_P(LiveRewrite, OrderByRebuiltOrDroppedRuns) {
  // Directions turned over: none counts as ascending.
  CNACommand* c = Rewritten(L"SELECT nom, ville FROM personnes ORDER BY ville, nom DESC", nullptr, 0);
  ASSERT_NE(c, nullptr);
  ASSERT_TRUE(c->bFormatORDERBY(0, 0));
  Compare({L"ORDER BY ville, nom DESC turned over",
           L"SELECT nom, ville FROM D.`my clients` ORDER BY ville DESC, nom ASC", true},
          c);
  // Dropped, also when the words stand in a literal or in mixed case, rewritten or passed through.
  const std::wstring plain = Wide(m_strTable);
  struct Row {
    std::wstring host, hand;
  } rows[] = {
      {L"SELECT nom FROM " + plain + L" WHERE nom <> 'x' Order By nom DESC", L" WHERE nom <> 'x'"},
      {L"SELECT nom FROM " + plain + L" WHERE nom <> 'ORDER BY' ORDER BY id", L" WHERE nom <> 'ORDER BY'"},
      {L"SELECT nom FROM " + plain + L" WHERE nom <> 'Order By x'", L" WHERE nom <> 'Order By x'"},
  };
  for (int mode : {0, 1})
    for (const Row& row : rows) {
      CNACommand* dropped = Rewritten(row.host, nullptr, 0, mode);
      Compare({row.host.c_str(), (L"SELECT nom FROM `" + plain + L"`" + row.hand).c_str()}, dropped);
      const std::wstring sent = dropped != nullptr ? dropped->pszGetFormatedSQL(NA_PARAMCONV_ALL) : L"";
      EXPECT_EQ(sent.rfind(L"rder By nom"), std::wstring::npos) << ParseBench::Narrow(sent);
      EXPECT_EQ(sent.rfind(L"ORDER BY id"), std::wstring::npos) << ParseBench::Narrow(sent);
    }
}

TEST_P(LiveRewrite, FreeTextTakesItsBindValuesAndNames) {
  const std::wstring text = L"SELECT nom FROM " + Wide(m_strTable) + L" WHERE id = {p} OR nom = {q}";
  ISQLParserInformation* parse = m_bench.Parse(text);
  ASSERT_NE(parse, nullptr);
  CTabValParser* values = parse->pclGetParameters();
  ASSERT_EQ(values->nCount, 2);
  values->ppEntries[0]->clValue.SetI4(3);
  values->ppEntries[1]->clValue.__SetType(ZV_DSTRW, 0);
  values->ppEntries[1]->clValue.SetValueByte(L"ORDER BY", 8 * sizeof(wchar_t));
  CHostSQLParser::AddItemReference(parse, true, static_cast<int>(text.find(L"nom = ")), 3, L"nom", Wide(m_strTable).c_str());
  CNACommand* c = Make();
  EXPECT_TRUE(c->bComplete(parse));
  Compare({text.c_str(), (L"SELECT nom FROM `" + Wide(m_strTable) + L"` WHERE id = 3 OR nom = 'ORDER BY'").c_str()},
          c);
  parse->nRelease();
}

// A LIKE pattern holding quotes (doubled in the query, as SQL writes them) selects the rows the
// server selects for the same text: the quoting is undone once.
TEST_P(LiveRewrite, LikePatternsHoldingQuotesReturnTheServersRows) {
  std::string err;
  ASSERT_TRUE(m_raw.exec("INSERT INTO `" + m_strTable + "` VALUES (11, '''a'), (12, '''''b'), (13, '''''''c'), "
                             "(14, 'x''''y'), (15, 'x''y'), (16, '''')",
                         &err))
      << err;
  const std::wstring table = Wide(m_strTable);
  for (const wchar_t* pattern : {L"''%", L"''''%", L"''''''%", L"%''''%", L"x''y", L"x''''y", L"%''", L"''",
                                 L"''''", L"_''%", L"%''_"}) {
    const std::wstring where = L" WHERE nom LIKE '" + std::wstring(pattern) + L"'";
    Compare({(L"SELECT id FROM " + table + where).c_str(), (L"SELECT id FROM `" + table + L"`" + where).c_str()},
            Rewritten(L"SELECT id FROM " + table + where));
  }
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveRewrite,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace
