// Search and filter conditions run on the private server, in both code pages and SQL modes: the
// rows each written condition selects are compared with a model of the rules, key walks through
// the after and before trees visit every row once in key order, and record searches find each row
// again.
#include <algorithm>
#include <climits>
#include <functional>
#include <map>
#include <optional>
#include <random>

#include "driver/nadriver.h"
#include "sql/naconvertvariant.h"
#include "sql/naexpression.h"
#include "sql/nafilter.h"
#include "sql/narecherche.h"
#include "tests/mysql/live_connection.h"
#include "tests/support/parse_bench.h"
#include "tests/support/record_bench.h"
#include "tests/support/search_values.h"

namespace {

using Row = std::vector<std::optional<std::string>>;
using Table = std::vector<Row>;

// A connection that sorts NULL last: the writers add and fold their NULL tests the other way.
class CNullLastConnection final : public CMySQLConnection {
 public:
  using CMySQLConnection::CMySQLConnection;
  BOOL bNULLBeforeNotNULL() const override { return FALSE; }
};

std::string Narrow(const wchar_t* w) { return ParseBench::Narrow(w != nullptr ? w : L""); }

class LiveSearch : public LiveConnection {
 protected:
  struct VM : AnyTest {
    static void Bind() { SetUpTestSuite(); }
  };
  LiveSearch() : LiveConnection("_srch") { CNAError::s_Hold(&m_error); }
  static void SetUpTestSuite() { VM::Bind(); }
  void SetUp() override {
    LiveConnection::SetUp();
    if (HasFatalFailure() || !m_pCnx) return;
    m_pCnx->AddRef();  // the fixture's own: records and commands never close it
    m_pNullLast = std::make_unique<CNullLastConnection>(L"id2", &m_host);
    ASSERT_TRUE(m_pNullLast->bOpen(&m_error));
    m_pNullLast->AddRef();
    ASSERT_TRUE(!std::get<1>(GetParam()) ||
                m_pNullLast->bExecuteQueryNoResult(&m_error, L"SET SESSION sql_mode = CONCAT(@@sql_mode, ',NO_BACKSLASH_ESCAPES')"));
  }
  // The record over the bench's items on cnx (the fixture's by default); the items' names are the
  // server's column names.
  bool Build(RecordBench& bench, CNAConnectionDescription* cnx = nullptr) {
    for (CHostItemDescription& item : bench.m_items) item.m_pszNameInSource = L"";
    bench.UseConnection(cnx != nullptr ? cnx : m_pCnx.get());
    return bench.Build() != 0;
  }

  // Every column of the rows of sql (bytes of the connection's code page), nullopt for NULL;
  // nothing, with a failure, when the server refuses it.
  Table Query(const std::string& sql) {
    Table rows;
    MYSQL* h = m_pCnx->pGetHandle();
    if (__mysql_real_query(h, sql.data(), sql.size()) != 0) {
      ADD_FAILURE() << "refused: " << sql << ": " << __mysql_error(h);
      return rows;
    }
    MYSQL_RES* result = __mysql_store_result(h);
    const unsigned int n = result != nullptr ? __mysql_num_fields(result) : 0;
    while (MYSQL_ROW row = result != nullptr ? __mysql_fetch_row(result) : nullptr) {
      Row& r = rows.emplace_back();
      for (unsigned int i = 0; i < n; ++i)
        r.push_back(row[i] != nullptr ? std::optional(std::string(row[i], __mysql_fetch_lengths(result)[i])) : std::nullopt);
    }
    if (result != nullptr) __mysql_free_result(result);
    return rows;
  }
  // The command's formatted text, as the bytes the server receives.
  static std::string Formatted(CNACommand* c) {
    int length = 0;
    const char* text = c->pszGetFormatedSQLA(NA_PARAMCONV_ALL, &length);
    EXPECT_NE(text, nullptr);
    return text != nullptr ? std::string(text, static_cast<size_t>(length)) : std::string("<no text>");
  }
  // The ids (first column) the condition selects, ascending, joined by ",".
  std::string Ids(const std::string& condition) {
    std::string ids;
    for (const Row& r : Query("SELECT id FROM " + m_strTable + (condition.empty() ? "" : " WHERE " + condition) +
                              " ORDER BY id"))
      ids += (ids.empty() ? "" : ",") + r.at(0).value_or("NULL");
    return ids;
  }
  CNACommand* MakeCommand(CNAConnectionDescription* cnx) {
    CNACommand* c = pclAllocCommand(&m_error, cnx);
    c->AddRef();
    m_commands.emplace_back(c, [](CNACommand* p) { p->nRelease(); });
    return c;
  }
  void TearDown() override {
    m_commands.clear();
    LiveConnection::TearDown();
  }
  // A value of column's host type holding v (a NULL one for nullopt), bound to the column.
  CNAConvertVariant* Holder(CNAColumn* column, const CAny& v) {
    CNAConvertVariant* h = CNADriver::s_pclDriver.load()->pclGetNewVariant_NV_Any(&m_error, column->pclGetCnx(), column, &v);
    EXPECT_NE(h, nullptr);
    if (h != nullptr && v.bIsNull()) h->SetNull();
    return h;
  }

  std::unique_ptr<CNullLastConnection> m_pNullLast;
  std::vector<std::unique_ptr<CNACommand, void (*)(CNACommand*)>> m_commands;
};

CAny Date(const char* s) {
  CAny v;
  v.SetDATEA(s);
  return v;
}

// ---------------------------------------------------------------- Folding against a model

// Kleene truth of SQL: a comparison with a NULL row is unknown unless a NULL test lets it through.
enum class Tri { F, U, T };
Tri Not(Tri a) { return a == Tri::T ? Tri::F : a == Tri::F ? Tri::T : Tri::U; }
Tri And(Tri a, Tri b) { return std::min(a, b); }
Tri Or(Tri a, Tri b) { return std::max(a, b); }

// One model cell: a row's value of a column (nullopt NULL); texts as code points.
struct Cell {
  std::optional<long long> n;
  std::optional<std::wstring> s;
  bool null() const { return !n && !s; }
};

enum Col { kInt, kText, kDate, kBool };
struct Leaf {
  Col col;
  eNAOperator op;
  CAny value;
  std::optional<std::wstring> text;  // the value's text (texts and dates), nullopt when NULL
  std::optional<long long> number;   // the value's number (integers and booleans)
  unsigned int flags;
};

// The rows of the table: (i, t, d, b).
struct FoldRow {
  Cell cell[4];
};

int Compare(const Cell& row, const Leaf& leaf) {
  if (leaf.col == kInt || leaf.col == kBool) return *row.n < *leaf.number ? -1 : *row.n > *leaf.number ? 1 : 0;
  return row.s->compare(*leaf.text) < 0 ? -1 : row.s->compare(*leaf.text) > 0 ? 1 : 0;
}

// The dates a partial date text stands for: [min, max) as 8-digit texts; false when complete.
bool PartialRange(const std::wstring& text, std::wstring* min, std::wstring* max) {
  if (text.empty() || text.size() >= 8) return false;
  std::wstring low = text + std::wstring(8 - text.size(), L'0');
  if (low.substr(4, 2) == L"00") low.replace(4, 2, L"01");
  if (low.substr(6, 2) == L"00") low.replace(6, 2, L"01");
  // The text's next value: its last digit one up, carried, then completed the same way.
  std::wstring up = text;
  int i = static_cast<int>(up.size()) - 1;
  while (i >= 0 && up[i] == L'9') up[i--] = L'0';
  if (i < 0) return false;
  ++up[i];
  std::wstring high = up + std::wstring(8 - up.size(), L'0');
  if (high.substr(4, 2) == L"00") high.replace(4, 2, L"01");
  if (high.substr(6, 2) == L"00") high.replace(6, 2, L"01");
  *min = low;
  *max = high;
  return true;
}

// The Parts' rules for one leaf on one row.
Tri Model(Leaf leaf, const Cell& row, bool nullFirst) {
  eNAOperator op = leaf.op;
  const bool generic = (leaf.flags & NA_EXPR_GENERIC) != 0;
  // Simplifications.
  if (leaf.col == kBool && leaf.number && op >= NA_OP_GT && op <= NA_OP_LE) {
    static constexpr eNAOperator kTrue[] = {NA_OP_FALSE, NA_OP_NE, NA_OP_EQ, NA_OP_TRUE};
    static constexpr eNAOperator kFalse[] = {NA_OP_NE, NA_OP_FALSE, NA_OP_TRUE, NA_OP_EQ};
    op = (*leaf.number != 0 ? kTrue : kFalse)[op - NA_OP_GT];
  }
  const bool textual = leaf.col == kText || leaf.col == kDate;
  if (textual && op == NA_OP_GE && ((leaf.text && leaf.text->empty()) || (!leaf.text && nullFirst))) op = NA_OP_TRUE;
  if (textual && op == NA_OP_LE && ((leaf.text && *leaf.text == L"\u00ff") || (!leaf.text && !nullFirst)))
    op = NA_OP_TRUE;
  if (op == NA_OP_TRUE) return Tri::T;
  if (op == NA_OP_FALSE) return Tri::F;
  if (leaf.col == kDate && leaf.text && leaf.text->empty()) leaf.text.reset();
  const bool valueNull = (textual && !leaf.text) || (!textual && !leaf.number);
  if (valueNull || op == NA_OP_ISNULL || op == NA_OP_ISNOTNULL) {
    const Tri isNull = row.null() ? Tri::T : Tri::F;
    switch (op) {
      case NA_OP_GE:
      case NA_OP_LE: return Tri::T;
      case NA_OP_GT: return nullFirst ? Not(isNull) : Tri::F;
      case NA_OP_LT: return nullFirst ? Tri::F : Not(isNull);
      case NA_OP_ISNOTNULL:
      case NA_OP_NE: return Not(isNull);
      default: return isNull;
    }
  }
  const bool couldBeNull = (leaf.text && leaf.text->empty()) || (leaf.number && *leaf.number == 0);
  bool nullTest;
  if ((leaf.flags & NA_EXPR_LOWER) != 0)
    nullTest = (op == NA_OP_EQ || op == NA_OP_GE) && couldBeNull;
  else if ((leaf.flags & NA_EXPR_UPPER) != 0)
    nullTest = false;
  else
    nullTest = nullFirst ? op == NA_OP_LE || (op == NA_OP_LT && !couldBeNull) : op == NA_OP_GT || op == NA_OP_GE;
  if (row.null()) return nullTest ? Tri::T : Tri::U;
  bool r;
  std::wstring min, max;
  if (leaf.col == kText && generic && op == NA_OP_EQ && leaf.text->empty()) {
    r = true;
  } else if (leaf.col == kText && generic && (op == NA_OP_EQ || op == NA_OP_NE) && !leaf.text->empty()) {
    const bool starts = row.s->compare(0, leaf.text->size(), *leaf.text) == 0;
    r = op == NA_OP_EQ ? starts : !starts;
  } else if (leaf.col == kDate && generic && (op == NA_OP_EQ || op == NA_OP_NE) && PartialRange(*leaf.text, &min, &max)) {
    const bool in = *row.s >= min && *row.s < max;
    r = op == NA_OP_EQ ? in : !in;
  } else {
    // A partial date is written as the first date it stands for.
    if (leaf.col == kDate && PartialRange(*leaf.text, &min, &max)) leaf.text = min;
    const int c = Compare(row, leaf);
    switch (op) {
      case NA_OP_EQ: r = c == 0; break;
      case NA_OP_NE: r = c != 0; break;
      case NA_OP_LT: r = c < 0; break;
      case NA_OP_LE: r = c <= 0; break;
      case NA_OP_GT: r = c > 0; break;
      default: r = c >= 0; break;
    }
  }
  return r ? Tri::T : Tri::F;
}

// A random tree: its nodes, and its model.
struct Tree {
  CNAExpression* node;
  std::function<Tri(const FoldRow&, bool)> model;
  std::string shown;
};

TEST_P(LiveSearch, FoldedTreesSelectTheRowsOfTheModel) {
  ASSERT_TRUE(Run("CREATE TABLE " + m_strTable +
                  " (id INT PRIMARY KEY, i INT NULL, t VARCHAR(20) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NULL,"
                  " d DATE NULL, b TINYINT NULL)"));
  const std::vector<std::optional<long long>> ints = {std::nullopt, INT_MIN, -1, 0, 5, INT_MAX};
  const std::vector<std::optional<std::wstring>> texts = {std::nullopt, L"", L"a", L"m", L"mz", L"z", L"\u00ff", L"m%", L"n_"};
  const std::vector<std::optional<std::wstring>> dates = {std::nullopt, L"00010101", L"19991231", L"20240115",
                                                          L"20240201", L"20241231", L"99991231"};
  const std::vector<std::optional<long long>> bools = {std::nullopt, 0, 1};
  std::vector<FoldRow> rows;
  std::mt19937 rng(29);
  for (int id = 0; id < 40; ++id) {
    FoldRow r;
    r.cell[kInt].n = ints[(id + rng() % 2) % ints.size()];
    r.cell[kText].s = texts[(id * 5 + rng() % 3) % texts.size()];
    r.cell[kDate].s = dates[(id * 3 + rng() % 2) % dates.size()];
    r.cell[kBool].n = bools[(id + rng() % 3) % bools.size()];
    rows.push_back(r);
    auto sqlText = [](const std::optional<std::wstring>& s) {
      if (!s) return std::string("NULL");
      std::string out = "'";
      for (wchar_t c : *s) out += c < 128 ? std::string(1, static_cast<char>(c)) : "\\u" + std::to_string(c);
      return out + "'";
    };
    std::string t = sqlText(r.cell[kText].s);
    if (t == "'\\u255'") t = "_utf8mb4 X'C3BF'";
    std::string d = r.cell[kDate].s ? "'" + std::string(r.cell[kDate].s->begin(), r.cell[kDate].s->end()) + "'" : "NULL";
    ASSERT_TRUE(Run("INSERT INTO " + m_strTable + " VALUES (" + std::to_string(id) + ", " +
                    (r.cell[kInt].n ? std::to_string(*r.cell[kInt].n) : "NULL") + ", " + t + ", " + d + ", " +
                    (r.cell[kBool].n ? std::to_string(*r.cell[kBool].n) : "NULL") + ")"));
  }

  for (CNAConnectionDescription* cnx : {static_cast<CNAConnectionDescription*>(m_pCnx.get()),
                                        static_cast<CNAConnectionDescription*>(m_pNullLast.get())}) {
    const bool nullFirst = cnx->bNULLBeforeNotNULL();
    RecordBench bench;
    const wchar_t* names[] = {L"i", L"t", L"d", L"b"};
    bench.Add(L"id", NA_IT_I4, 4, kPrimary, FALSE);
    bench.Add(L"i", NA_IT_I4, 4);
    bench.Add(L"t", NA_IT_TEXTE, 21);
    bench.Add(L"d", NA_IT_DATE8, 9);
    bench.Add(L"b", NA_IT_BOOLEEN, 4);
    ASSERT_TRUE(Build(bench, cnx));

    std::function<Tree(int)> make = [&](int depth) -> Tree {
      const int kind = depth <= 0 ? 3 : static_cast<int>(rng() % 5);
      if (kind < 3) {
        Tree left = make(depth - 1);
        if (kind == 2) {
          CNAExpression* node = left.node->pclAllocExpression(NA_OP_NOT, left.node, nullptr, 0);
          auto m = left.model;
          return {node, [m](const FoldRow& r, bool nf) { return Not(m(r, nf)); }, "NOT(" + left.shown + ")"};
        }
        Tree right = make(depth - 1);
        const eNAOperator op = kind == 0 ? NA_OP_AND : NA_OP_OR;
        CNAExpression* node = left.node->pclAllocExpression(op, left.node, right.node, 0);
        auto l = left.model, rm = right.model;
        return {node,
                [l, rm, op](const FoldRow& r, bool nf) { return op == NA_OP_AND ? And(l(r, nf), rm(r, nf)) : Or(l(r, nf), rm(r, nf)); },
                "(" + left.shown + (op == NA_OP_AND ? " AND " : " OR ") + right.shown + ")"};
      }
      static constexpr eNAOperator kOps[] = {NA_OP_EQ, NA_OP_NE, NA_OP_LT, NA_OP_LE,
                                             NA_OP_GT, NA_OP_GE, NA_OP_ISNULL, NA_OP_ISNOTNULL};
      Leaf leaf{static_cast<Col>(rng() % 4), kOps[rng() % 8], CAny(), std::nullopt, std::nullopt, 0};
      static constexpr unsigned int kFlags[] = {0, 0, 0, NA_EXPR_LOWER, NA_EXPR_UPPER};
      leaf.flags = kFlags[rng() % 5];
      switch (leaf.col) {
        case kInt: {
          leaf.number = ints[rng() % ints.size()];
          leaf.value = leaf.number ? Int(static_cast<int>(*leaf.number)) : Null(ZV_I4);
          break;
        }
        case kBool: {
          leaf.number = bools[rng() % bools.size()];
          leaf.value = leaf.number ? Bool(static_cast<int>(*leaf.number)) : Null(ZV_BOOL);
          break;
        }
        case kText: {
          static const std::vector<std::optional<std::wstring>> kValues = {std::nullopt, L"", L"m", L"mz", L"\u00ff",
                                                                           L"m%", L"n_", L"a"};
          leaf.text = kValues[rng() % kValues.size()];
          if (leaf.text) {
            std::string bytes;
            for (wchar_t c : *leaf.text) bytes += static_cast<char>(c);
            leaf.value = Ansi(bytes);
          } else {
            leaf.value = Null(ZV_DSTRA);
          }
          if (rng() % 3 == 0) leaf.flags |= NA_EXPR_GENERIC;
          break;
        }
        case kDate: {
          static const std::vector<std::optional<std::wstring>> kValues = {
              std::nullopt, L"", L"20240115", L"99991231", L"00010101", L"202401", L"2024", L"1999123"};
          leaf.text = kValues[rng() % kValues.size()];
          if (leaf.text) {
            std::string bytes(leaf.text->begin(), leaf.text->end());
            leaf.value = Date(bytes.c_str());
          } else {
            leaf.value = Null(ZV_DATEA);
          }
          if (rng() % 2 == 0) leaf.flags |= NA_EXPR_GENERIC;
          break;
        }
      }
      CNAColumn* column = bench.Column(names[leaf.col]);
      CNAConvertVariant* holder = Holder(column, leaf.value);
      CNAExpression* node = new CNAExpression(&m_error);
      node->InitExpression(leaf.op, column, holder, leaf.flags);
      const std::string shown = Narrow(names[leaf.col]) + std::to_string(leaf.op) + "[" +
                                (leaf.text ? Narrow(leaf.text->c_str()) : leaf.number ? std::to_string(*leaf.number) : "NULL") +
                                "]/" + std::to_string(leaf.flags);
      return {node, [leaf](const FoldRow& r, bool nf) { return Model(leaf, r.cell[leaf.col], nf); }, shown};
    };

    for (int round = 0; round < 120; ++round) {
      Tree tree = make(static_cast<int>(rng() % 4));
      tree.node->AddRef();
      CNARecherche search(&m_error, cnx);
      search.SetStatic(true);
      CNACommand* c = MakeCommand(cnx);
      int folded = 0;
      ASSERT_TRUE(tree.node->bGetSQL(c, NA_OP_NONE, &search, &folded, bench.Record())) << tree.shown;
      const std::string condition = folded ? (tree.node->eGetOperator() == NA_OP_TRUE ? "1=1" : "0=1") : Formatted(c);
      std::string want;
      for (size_t id = 0; id < rows.size(); ++id)
        if (tree.model(rows[id], nullFirst) == Tri::T) want += (want.empty() ? "" : ",") + std::to_string(id);
      EXPECT_EQ(Ids(condition), want) << tree.shown << "\n  " << condition << (nullFirst ? "" : " (NULL last)");
      EXPECT_EQ(search.nGetNbParameter(), c->nGetParameterNbr()) << tree.shown;
      tree.node->nRelease();
    }
    m_commands.clear();  // their parameters hold the bench's items
  }
}

// ---------------------------------------------------------------- Key walks

class LiveWalk : public LiveSearch {
 protected:
  // The record's current values from a row of the server (in the record's column order).
  void Load(CNARecord* record, const Row& row) {
    for (int i = 0; i < record->nGetNbColumn() && i < static_cast<int>(row.size()); ++i) {
      CNAColumn* column = record->pclGetColumnNoRef(i);
      if (column->bIsComposedKey()) continue;
      if (!row[static_cast<size_t>(i)]) {
        column->bSetValueNULL();
        continue;
      }
      const std::string& text = *row[static_cast<size_t>(i)];
      ASSERT_TRUE(column->pclGetNAValue()->bSetValueDB(text.data(), static_cast<unsigned int>(text.size()),
                                                       static_cast<unsigned int>(m_pCnx->nGetServerCodePage())))
          << text;
      column->_SetItemValueDefinedInKJRecord(TRUE, 0);
    }
  }
  static std::string Shown(const Row& row) {
    std::string out;
    for (const auto& v : row) out += (out.empty() ? "" : "|") + v.value_or("NULL");
    return out;
  }
  // From the first row in the order given, each next row is the first of the after tree (the
  // before tree backwards) of a record search on item: every row comes once, in order, and the
  // search's equal tree finds the row it stands on.
  void Walk(CNARecord* record, INAItemDescription* item, const std::string& select, const std::string& forward,
            const std::string& backward) {
    for (const bool ahead : {true, false}) {
      const std::string order = ahead ? forward : backward;
      const Table all = Query("SELECT " + select + " FROM " + m_strTable + " ORDER BY " + order);
      ASSERT_FALSE(all.empty());
      std::vector<std::string> visited{Shown(all[0])}, want;
      for (const Row& r : all) want.push_back(Shown(r));
      Row current = all[0];
      for (size_t step = 0; step <= all.size(); ++step) {
        Load(record, current);
        CNARecherche* search = new CNARecherche(&m_error, m_pCnx.get());
        search->AddRef();
        CNACommand* c = MakeCommand(m_pCnx.get());
        ASSERT_TRUE(search->bRechercheEnreg(record, item, ahead ? NA_PARSE_FIRST : NA_PARSE_LAST, 0, nullptr));
        ASSERT_TRUE(search->bGetSQL(c, nullptr, record));
        const Table again = Query("SELECT " + select + " FROM " + m_strTable + " WHERE " + Formatted(c));
        EXPECT_TRUE(again.size() == 1 && Shown(again[0]) == Shown(current))
            << Shown(current) << " found by " << Formatted(c) << " as " << again.size() << " rows";
        search->_SetContinueParcours(ahead ? NA_PARSE_FIRST : NA_PARSE_LAST);
        ASSERT_TRUE(search->bGetSQL(c, nullptr, record));
        const std::string condition = c->nGetOriginalSQLLength() > 0 ? Formatted(c) : "1=1";
        const Table next =
            Query("SELECT " + select + " FROM " + m_strTable + " WHERE " + condition + " ORDER BY " + order + " LIMIT 1");
        search->nRelease();
        if (next.empty()) break;
        visited.push_back(Shown(next[0]));
        current = next[0];
      }
      m_commands.clear();
      EXPECT_EQ(visited, want) << (ahead ? "forward" : "backward");
    }
  }
};

TEST_P(LiveWalk, UniqueIntegerKey) {
  ASSERT_TRUE(Run("CREATE TABLE " + m_strTable + " (id INT PRIMARY KEY, u INT NOT NULL UNIQUE)"));
  ASSERT_TRUE(Run("INSERT INTO " + m_strTable + " VALUES (1, 7), (2, -2147483648), (3, 2147483647), (4, -1), (5, 0),"
                  " (6, 100), (7, 3)"));
  RecordBench bench;
  bench.Add(L"id", NA_IT_I4, 4, kPrimary, FALSE);
  CHostItemDescription* u = bench.Add(L"u", NA_IT_I4, 4, kUnique, FALSE);
  ASSERT_TRUE(Build(bench));
  Walk(bench.Record(), u, "id, u", "u", "u DESC");
}

TEST_P(LiveWalk, TextKeyWithDuplicatesAndNulls) {
  ASSERT_TRUE(Run("CREATE TABLE " + m_strTable +
                  " (id INT PRIMARY KEY, t VARCHAR(20) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NULL)"));
  ASSERT_TRUE(Run("INSERT INTO " + m_strTable + " VALUES (1, 'b'), (2, NULL), (3, 'a'), (4, 'b'), (5, 'a%'),"
                  " (6, NULL), (7, 'a_'), (8, 'b'), (9, 'it''s'), (10, 'c\\\\d'), (11, 'a')"));
  RecordBench bench;
  bench.Add(L"id", NA_IT_I4, 4, kPrimary, FALSE);
  CHostItemDescription* t = bench.Add(L"t", NA_IT_TEXTE, 21, kDuplicates);
  ASSERT_TRUE(Build(bench));
  Walk(bench.Record(), t, "id, t", "t, id", "t DESC, id DESC");
}

TEST_P(LiveWalk, CompositeKeyWithADescendingComponentAndNullsKeepsItsOrder) {
  ASSERT_TRUE(Run("CREATE TABLE " + m_strTable +
                  " (id INT PRIMARY KEY, a INT NULL, b VARCHAR(10) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NULL,"
                  " c INT NULL)"));
  ASSERT_TRUE(Run("INSERT INTO " + m_strTable + " VALUES (1, 1, 'x', 1), (2, 1, 'x', 2), (3, 1, 'y', 1), (4, 1, NULL, 1),"
                  " (5, NULL, 'x', 1), (6, NULL, NULL, NULL), (7, 2, 'a', NULL), (8, 2, 'a', 5), (9, 1, 'y', NULL),"
                  " (10, 2, NULL, 3), (11, NULL, 'z', 2), (12, 1, NULL, NULL)"));
  RecordBench bench;
  bench.Add(L"id", NA_IT_I4, 4, kPrimary, FALSE);
  CHostItemDescription* a = bench.Add(L"a", NA_IT_I4, 4);
  CHostItemDescription* b = bench.Add(L"b", NA_IT_TEXTE, 11);
  CHostItemDescription* c = bench.Add(L"c", NA_IT_I4, 4);
  CHostItemDescription* k = bench.Add(L"k", NA_IT_BINAIRE, 18, kComposite | kUnique, TRUE, {a, b, c});
  k->m_dwDescendingComponents = 2;
  ASSERT_TRUE(Build(bench));
  Walk(bench.Record(), k, "id, a, b, c", "a, b DESC, c", "a DESC, b, c DESC");
}

TEST_P(LiveWalk, TableWithoutKeyByAllItsColumns) {
  ASSERT_TRUE(Run("CREATE TABLE " + m_strTable +
                  " (p INT NULL, f FLOAT NULL, g DOUBLE NULL, dt DATETIME NULL,"
                  " s VARCHAR(10) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NULL)"));
  ASSERT_TRUE(Run("INSERT INTO " + m_strTable + " VALUES (1, 1.1, 0.1, '2024-01-15 10:20:30', 'x'),"
                  " (1, 1.1, 0.1, '2024-01-15 10:20:30', 'y'), (1, 1.1, 0.1, '2024-01-15 10:20:31', 'x'),"
                  " (1, 1.1, 0.30000000000000004, '2024-01-15 10:20:30', 'x'), (1, 2.5, NULL, NULL, 'x'),"
                  " (NULL, 1.1, 0.1, '2024-01-15 10:20:30', 'x'), (NULL, NULL, NULL, NULL, NULL),"
                  " (2, -3.25e-5, 1e300, '1999-12-31 23:59:59', NULL), (2, 3.40282e38, -1.5, '2024-02-29 00:00:00', 'it''s'),"
                  " (1, 1.1, 0.1, NULL, 'x')"));
  RecordBench bench;
  CHostItemDescription* p = bench.Add(L"p", NA_IT_I4, 4);
  bench.Add(L"f", NA_IT_R4, 4);
  bench.Add(L"g", NA_IT_R8, 8);
  bench.Add(L"dt", NA_IT_DATETIME, 8);
  bench.Add(L"s", NA_IT_TEXTE, 11);
  ASSERT_TRUE(Build(bench));
  Walk(bench.Record(), p, "p, f, g, dt, s", "p, f, g, dt, s", "p DESC, f DESC, g DESC, dt DESC, s DESC");
}

// ---------------------------------------------------------------- Starts-with searches and filters

class LiveFilter : public LiveSearch {
 protected:
  // The ids the search's current tree selects (with the filter when one is given).
  std::string Selected(CNARecherche* search, CNARecord* record, CNAFilter* filter = nullptr) {
    CNACommand* c = MakeCommand(m_pCnx.get());
    EXPECT_TRUE(search->bGetSQL(c, filter, record));
    m_last = c->nGetOriginalSQLLength() > 0 ? Formatted(c) : "";
    return Ids(m_last);
  }
  std::string m_last;
};

// Texts holding the LIKE wildcards, a quote, a backslash and the highest character: a starts-with
// search and a filter up to a maximum fill select exactly the texts that start with the value.
TEST_P(LiveFilter, StartsWithSelectsExactlyTheTextsStartingWithTheValue) {
  ASSERT_TRUE(Run("CREATE TABLE " + m_strTable +
                  " (id INT PRIMARY KEY, t VARCHAR(20) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NULL)"));
  // Latin-1 bytes: 0xFF is the highest character of an ANSI text.
  const std::vector<std::optional<std::string>> texts = {
      "a%b", "a%", "a_b", "axb", "it's", "it", "c\\d", "c\\", "c", "", std::nullopt, "a\xFF", "\xFF", "\xFFz", "ab",
      "a\\%", "'", "''x"};
  for (size_t i = 0; i < texts.size(); ++i) {
    std::string literal = "NULL";
    if (texts[i]) {
      literal = "_utf8mb4 X'";
      for (unsigned char ch : *texts[i]) {
        // As UTF-8: Latin-1 above 0x7F takes two bytes.
        char hex[8];
        if (ch < 0x80) snprintf(hex, sizeof hex, "%02X", ch);
        else snprintf(hex, sizeof hex, "%02X%02X", 0xC0 | (ch >> 6), 0x80 | (ch & 0x3F));
        literal += hex;
      }
      literal += "'";
    }
    ASSERT_TRUE(Run("INSERT INTO " + m_strTable + " VALUES (" + std::to_string(i) + ", " + literal + ")"));
  }
  RecordBench bench;
  bench.Add(L"id", NA_IT_I4, 4, kPrimary, FALSE);
  CHostItemDescription* t = bench.Add(L"t", NA_IT_TEXTE, 21, kDuplicates);
  ASSERT_TRUE(Build(bench));
  for (const std::string prefix : {"a%", "a_", "a", "it'", "c\\", "c", "\xFF", "a\\%", "'", "''", "a\xFF"}) {
    std::string want;
    for (size_t i = 0; i < texts.size(); ++i)
      if (texts[i] && texts[i]->compare(0, prefix.size(), prefix) == 0) want += (want.empty() ? "" : ",") + std::to_string(i);
    const CAny value = Ansi(prefix);
    CNARecherche* search = new CNARecherche(&m_error, m_pCnx.get());
    search->AddRef();
    ASSERT_TRUE(search->bSetRecherche(bench.Record(), t, &value, NA_PARSE_FIRST, 0, 0));
    EXPECT_EQ(Selected(search, bench.Record()), want) << prefix << ": " << m_last;
    search->nRelease();
    // Up to the value followed by the maximum fill: the same rows (a value ending with the
    // highest character is itself a fill there).
    if (prefix.back() == '\xFF') continue;
    CNAFilter* filter = new CNAFilter(&m_error, m_pCnx.get());
    filter->AddRef();
    const CAny top = Ansi(prefix + "\xFF");
    ASSERT_TRUE(filter->bSetFilter(bench.Record(), t, &value, 1, &top, 1, nullptr, 0));
    filter->Activate();
    EXPECT_EQ(Selected(filter, bench.Record()), want) << prefix << " to its fill: " << m_last;
    filter->nRelease();
  }
  m_commands.clear();
}

TEST_P(LiveFilter, BoundsEqualGenericAndCombinedWithASearch) {
  ASSERT_TRUE(Run("CREATE TABLE " + m_strTable + " (id INT PRIMARY KEY, n INT NULL, t VARCHAR(10) NULL)"));
  for (int i = 0; i < 30; ++i)
    ASSERT_TRUE(Run("INSERT INTO " + m_strTable + " VALUES (" + std::to_string(i) + ", " +
                    (i % 7 == 6 ? "NULL" : std::to_string(i)) + ", '" + std::string(1, static_cast<char>('a' + i % 3)) +
                    std::to_string(i) + "')"));
  RecordBench bench;
  bench.Add(L"id", NA_IT_I4, 4, kPrimary, FALSE);
  CHostItemDescription* n = bench.Add(L"n", NA_IT_I4, 4, kDuplicates);
  CHostItemDescription* t = bench.Add(L"t", NA_IT_TEXTE, 11, kDuplicates);
  ASSERT_TRUE(Build(bench));
  auto ids = [](int from, int to) {
    std::string out;
    for (int i = from; i <= to; ++i)
      if (i % 7 != 6) out += (out.empty() ? "" : ",") + std::to_string(i);
    return out;
  };
  struct Row {
    const char* name;
    INAItemDescription* item;
    std::optional<CAny> min;
    int minIncluded;
    std::optional<CAny> max;
    int maxIncluded;
    int flags;
    std::string want;
  } rows[] = {
      {"10 to 20 excluded", n, Int(10), 1, Int(20), 0, 0, ids(10, 19)},
      {"10 excluded to 20", n, Int(10), 0, Int(20), 1, 0, ids(11, 20)},
      {"equal bounds", n, Int(12), 1, Int(12), 1, 0, "12"},
      {"lower bound alone", n, Int(25), 0, std::nullopt, 0, 0, ids(26, 29)},
      {"upper bound alone", n, std::nullopt, 0, Int(3), 1, 0, ids(0, 3)},
      {"starts-with lower bound alone", t, Ansi("b1"), 1, std::nullopt, 0, NA_FILTER_GENERIC, "1,10,13,16,19"},
      {"nothing", n, std::nullopt, 0, std::nullopt, 0, 0, ids(0, 29) + ",6,13,20,27"},
  };
  for (const Row& row : rows) {
    CNAFilter* filter = new CNAFilter(&m_error, m_pCnx.get());
    filter->AddRef();
    ASSERT_TRUE(filter->bSetFilter(bench.Record(), row.item, row.min ? &*row.min : nullptr, row.minIncluded,
                                   row.max ? &*row.max : nullptr, row.maxIncluded, nullptr, row.flags))
        << row.name;
    filter->Activate();
    const std::string want = std::string(row.name) == "nothing" ? Ids("") : row.want;
    EXPECT_EQ(Selected(filter, bench.Record()), want) << row.name << ": " << m_last;
    if (std::string(row.name) == "equal bounds") {
      EXPECT_EQ(std::count(m_last.begin(), m_last.end(), '='), 1) << m_last;
    }
    if (row.flags != 0) {
      EXPECT_NE(m_last.find(" LIKE "), std::string::npos) << m_last;
    }
    // With an active filter a search selects the rows of both.
    CNARecherche* search = new CNARecherche(&m_error, m_pCnx.get());
    search->AddRef();
    const CAny from = Int(15);
    ASSERT_TRUE(search->bAddExpression(bench.Record(), n, NA_OP_GE, &from, 0, NA_OP_AND, 0));
    const std::string alone = Selected(search, bench.Record());
    std::string expected;
    for (size_t at = 0; at < alone.size();) {
      const size_t comma = alone.find(',', at);
      const std::string id = alone.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
      if (("," + want + ",").find("," + id + ",") != std::string::npos) expected += (expected.empty() ? "" : ",") + id;
      at = comma == std::string::npos ? alone.size() : comma + 1;
    }
    EXPECT_EQ(Selected(search, bench.Record(), filter), expected) << row.name << ": " << m_last;
    search->nRelease();
    filter->nRelease();
  }
  m_commands.clear();
}

// The Part turned only a text's starts-with into "not it and past it" for a browse continued past
// it: past a partial date or time the browse came back over the dates it had just found.
TEST_P(LiveFilter, BrowsePastAStartsWithOnADateOrTimeSkipsItsWholeRange) {
  ASSERT_TRUE(Run("CREATE TABLE " + m_strTable + " (id INT PRIMARY KEY, d DATE NULL, h TIME(3) NULL)"));
  ASSERT_TRUE(Run("INSERT INTO " + m_strTable + " VALUES (1, '2023-12-31', '09:29:59.999'), (2, '2024-01-01', '09:30:00'),"
                  " (3, '2024-01-31', '09:30:59.999'), (4, '2024-02-01', '09:31:00'), (5, NULL, NULL),"
                  " (6, '2024-01-15', '09:30:05.007'), (7, '2025-06-01', '23:00:00')"));
  RecordBench bench;
  bench.Add(L"id", NA_IT_I4, 4, kPrimary, FALSE);
  CHostItemDescription* d = bench.Add(L"d", NA_IT_DATE8, 9, kDuplicates);
  CHostItemDescription* h = bench.Add(L"h", NA_IT_HEURE, 10, kDuplicates);
  ASSERT_TRUE(Build(bench));
  struct Row {
    INAItemDescription* item;
    CAny value;
    std::string equal, after, before;
  } rows[] = {
      // NULL sorts first: before every date.
      {d, Date("202401"), "2,3,6", "4,7", "1,5"},
      {h, [] { CAny v; v.SetTIMEA("0930"); return v; }(), "2,3,6", "4,7", "1,5"},
  };
  for (const Row& row : rows) {
    for (const int direction : {NA_PARSE_FIRST, NA_PARSE_LAST}) {
      CNARecherche* search = new CNARecherche(&m_error, m_pCnx.get());
      search->AddRef();
      ASSERT_TRUE(search->bSetRecherche(bench.Record(), row.item, &row.value, NA_PARSE_FIRST, 0, 0));
      EXPECT_EQ(Selected(search, bench.Record()), row.equal) << m_last;
      search->_SetContinueParcours(static_cast<eNA_PARSEDIRECTION>(direction));
      EXPECT_EQ(Selected(search, bench.Record()), direction == NA_PARSE_FIRST ? row.after : row.before) << m_last;
      search->nRelease();
    }
  }
  m_commands.clear();
}

// A condition the host parsed, alone and ANDed with the bounds; its literals are parameters of
// the filter's write like the bounds' values.
TEST_P(LiveFilter, ParsedConditionAloneAndWithBounds) {
  ASSERT_TRUE(Run("CREATE TABLE " + m_strTable + " (id INT PRIMARY KEY, n INT NULL, t VARCHAR(10) NULL)"));
  for (int i = 0; i < 20; ++i)
    ASSERT_TRUE(Run("INSERT INTO " + m_strTable + " VALUES (" + std::to_string(i) + ", " +
                    (i % 5 == 4 ? "NULL" : std::to_string(i)) + ", '" + (i % 2 == 0 ? "it''s" : "x") + "')"));
  ParseBench parses;
  const std::wstring table = Wide(m_strTable);
  CHostRecordDescription* desc = parses.Table(L"f", table.c_str());
  parses.Item(desc, L"id", NA_IT_I4, 4, ParseBench::kPrimary, FALSE);
  parses.Item(desc, L"n", NA_IT_I4, 4);
  parses.Item(desc, L"t", NA_IT_TEXTE, 11);
  const long live = CHostSQLParser::nLive();
  {
    RecordBench bench;
    bench.Add(L"id", NA_IT_I4, 4, kPrimary, FALSE);
    CHostItemDescription* n = bench.Add(L"n", NA_IT_I4, 4, kDuplicates);
    bench.Add(L"t", NA_IT_TEXTE, 11);
    ASSERT_TRUE(Build(bench));
    struct Row {
      const wchar_t* condition;
      std::optional<int> min, max;
      std::string want;
    } rows[] = {
        {L"(n > 3 AND t = 'it''s')", std::nullopt, std::nullopt, "6,8,10,12,16,18"},
        {L"(n > 3 AND t = 'it''s')", 5, 12, "6,8,10,12"},
        // An upper bound lets no NULL in.
        {L"(t <> 'x' OR n IS NULL)", std::nullopt, 7, "0,2,6"},
    };
    for (const Row& row : rows) {
      CTString error;
      ISQLParserInformation* condition = CHostSQLParser::piParseCondition(row.condition, L"f", parses.m_catalogue, &error);
      ASSERT_NE(condition, nullptr) << ParseBench::Narrow(error.pszGet());
      CNAFilter* filter = new CNAFilter(&m_error, m_pCnx.get());
      filter->AddRef();
      const CAny min = Int(row.min.value_or(0)), max = Int(row.max.value_or(0));
      ASSERT_TRUE(filter->bSetFilter(bench.Record(), n, row.min ? &min : nullptr, 1, row.max ? &max : nullptr, 1,
                                     condition, 0));
      condition->nRelease();
      filter->Activate();
      EXPECT_EQ(Selected(filter, bench.Record()), row.want) << ParseBench::Narrow(row.condition) << ": " << m_last;
      // Written again, the same text and parameters.
      const std::string first = m_last;
      Selected(filter, bench.Record());
      EXPECT_EQ(m_last, first);
      filter->nRelease();
    }
    m_commands.clear();
  }
  EXPECT_EQ(CHostSQLParser::nLive(), live);
}

// On a descending item the Part swapped the bounds whenever both were given, leaving the
// inclusions in place: 10 included to 20 excluded selected nothing, and reversed bounds took in
// the excluded end.
TEST_P(LiveFilter, DescendingFilterSwapsOnlyReversedBoundsEachWithItsInclusion) {
  ASSERT_TRUE(Run("CREATE TABLE " + m_strTable + " (id INT PRIMARY KEY, n INT NULL)"));
  for (int i = 0; i < 30; ++i)
    ASSERT_TRUE(Run("INSERT INTO " + m_strTable + " VALUES (" + std::to_string(i) + ", " + std::to_string(i) + ")"));
  RecordBench bench;
  bench.Add(L"id", NA_IT_I4, 4, kPrimary, FALSE);
  CHostItemDescription* n = bench.Add(L"n", NA_IT_I4, 4, kDuplicates | 0x400);
  ASSERT_TRUE(Build(bench));
  auto ids = [](int from, int to) {
    std::string out;
    for (int i = from; i <= to; ++i) out += (out.empty() ? "" : ",") + std::to_string(i);
    return out;
  };
  struct Row {
    int min, minIncluded, max, maxIncluded;
    std::string want;
  } rows[] = {
      {10, 1, 20, 0, ids(10, 19)}, {20, 1, 10, 0, ids(11, 20)}, {20, 0, 10, 1, ids(10, 19)}, {15, 1, 15, 1, "15"},
  };
  for (const Row& row : rows) {
    CNAFilter* filter = new CNAFilter(&m_error, m_pCnx.get());
    filter->AddRef();
    const CAny min = Int(row.min), max = Int(row.max);
    ASSERT_TRUE(filter->bSetFilter(bench.Record(), n, &min, row.minIncluded, &max, row.maxIncluded, nullptr, 0));
    filter->Activate();
    EXPECT_EQ(Selected(filter, bench.Record()), row.want) << row.min << " " << row.max << ": " << m_last;
    filter->nRelease();
  }
  m_commands.clear();
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveFilter, ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveWalk, ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveSearch, ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace
