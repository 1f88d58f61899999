// Search expressions, key searches and filters without a server: the text and the parameters
// each condition writes (the rows they select are proved on the server), folding, fill values,
// composite values read within their bytes, the browse state and the filter snapshots.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "access/nadatasourcedescription.h"
#include "sql/naconvertvariant.h"
#include "sql/naexpression.h"
#include "sql/nafilter.h"
#include "sql/narecherche.h"
#include "values/datetime.h"
#include "tests/support/parse_bench.h"
#include "tests/support/record_bench.h"
#include "tests/support/search_values.h"

namespace {

std::wstring TextOf(const CAny& v) {
  if (v.bIsNull()) return L"NULL";
  CAny copy(v);
  const wchar_t* text = nullptr;
  copy.__nCastToString(&text, nullptr);
  return text != nullptr ? text : L"?";
}

// The command's text with each parameter's value at its place, in braces.
std::wstring Render(CNACommand* c) {
  const std::wstring text = c->pszGetOriginalSQL() != nullptr ? c->pszGetOriginalSQL() : L"";
  std::wstring out;
  size_t at = 0;
  for (int i = 0; i < c->nGetParameterNbr(); ++i) {
    CNAParameter* p = c->pclGetParameterNoRef(i);
    const size_t position = std::min<size_t>(p->nGetPosition(), text.size());
    out += text.substr(at, position - at);
    at = position;
    CAny v;
    p->pclGetValueNoRef()->bGetValue(&v);
    out += L"{" + TextOf(v) + L"}";
  }
  return out + text.substr(at);
}

std::string Narrow(const std::wstring& w) { return ParseBench::Narrow(w); }

// A value holder as it shows itself: kind, type word, value, items and their analysis type.
std::string HolderState(const CNAConvertVariant* v) {
  if (v == nullptr) return "none";
  char items[96];
  snprintf(items, sizeof items, " %p %p %d %u %p", static_cast<void*>(v->piGetAnalysisItem()),
           static_cast<void*>(v->piGetDatabaseItem()), v->eNAGetItemTypeAnalyse(), v->nGetUtilDataSize(),
           static_cast<void*>(v->pclGetError()));
  return std::to_string(v->eGetVarType()) + " " + std::to_string(v->pclGetValue()->wGetTypeWord()) + " " +
         Narrow(TextOf(*v->pclGetValue())) + items;
}

// Items i (I4), t (TEXTE), w (UNICODE), d (DATE8), dt (DATETIME), b (BOOLEEN), u (I4 unique not
// null) and k, a composite key over three I4 components; the search and command under test.
class Search : public AnyTest {
 public:
  void SetUp() override {
    for (const auto& [name, type, size] : {std::tuple{L"i", NA_IT_I4, 4u}, {L"t", NA_IT_TEXTE, 21u},
                                           {L"w", NA_IT_UNICODE, 42u}, {L"d", NA_IT_DATE8, 9u},
                                           {L"dt", NA_IT_DATETIME, 8u}, {L"b", NA_IT_BOOLEEN, 4u}})
      m_bench.Add(name, type, size)->m_pszNameInSource = L"";
    m_bench.Add(L"u", NA_IT_I4, 4, kUnique, FALSE)->m_pszNameInSource = L"";
    for (const wchar_t* name : {L"k1", L"k2", L"k3"}) m_parts.push_back(m_bench.Add(name, NA_IT_I4, 4));
    m_key = m_bench.Add(L"k", NA_IT_BINAIRE, 14, kComposite | kDuplicates, TRUE, {m_parts[0], m_parts[1], m_parts[2]});
    for (CHostItemDescription& item : m_bench.m_items) item.m_pszNameInSource = L"";
    ASSERT_TRUE(m_bench.Build());
    m_search = new CNARecherche(&m_bench.m_error, &m_bench.m_cnx);
    m_search->AddRef();
    m_command = pclAllocCommand(&m_bench.m_error, &m_bench.m_cnx);
    m_command->AddRef();
  }
  void TearDown() override {
    if (m_command != nullptr) m_command->nRelease();
    if (m_search != nullptr) m_search->nRelease();
  }
  CNAColumn* Column(const wchar_t* name) { return m_bench.Column(name); }
  INAItemDescription* Item(const wchar_t* name) { return Column(name)->piGetItemNoRef(); }
  // A leaf on column op value (referenced by its parent or the caller).
  CNAExpression* Leaf(const wchar_t* name, eNAOperator op, const CAny& value, unsigned int flags = 0) {
    CNAConvertVariant* holder = Holder(name, value);
    CNAExpression* e = new CNAExpression(&m_bench.m_error);
    e->InitExpression(op, Column(name), holder, flags);
    return e;
  }
  // A new holder of value typed by the column, for a leaf to take.
  CNAConvertVariant* Holder(const wchar_t* name, const CAny& value) {
    CNAColumn* column = Column(name);
    CNAConvertVariant* holder =
        CNADriver::s_pclDriver.load()->pclGetNewVariant_NV_Any(&m_bench.m_error, column->pclGetCnx(), column, &value);
    EXPECT_NE(holder, nullptr);
    if (holder != nullptr && value.bIsNull()) holder->SetNull();
    return holder;
  }
  // The leaf's NULL-selected set: "none", or each column's name and flag.
  static std::string NullSet(const CNAExpression* leaf) {
    const CColumnNullValueExcluded* set = leaf->pclGetColumnNullValueExcludedNoRef();
    if (set == nullptr) return "none";
    std::string out;
    for (int i = 0; i < set->nGetCount(); ++i)
      out += Narrow(set->pclGetColumnNoRef(i)->pszGetName()) + (set->bGetSelected(i) ? "+ " : "- ");
    return out;
  }
  static CNAExpression* Node(eNAOperator op, CNAExpression* left, CNAExpression* right = nullptr) {
    return left->pclAllocExpression(op, left, right, 0);
  }
  // The tree's text (with its parameters) written by itself; "<folded N>" when it folds to N. A
  // second write gives the same.
  std::wstring Write(CNAExpression* tree) {
    tree->AddRef();
    const std::wstring first = WriteOnce(tree);
    EXPECT_EQ(Narrow(WriteOnce(tree)), Narrow(first));
    tree->nRelease();
    return first;
  }
  std::wstring WriteOnce(CNAExpression* tree) {
    m_command->ResetCommand(0);
    CNARecherche search(&m_bench.m_error, &m_bench.m_cnx);
    search.SetStatic(true);
    int folded = 0;
    EXPECT_TRUE(tree->bGetSQL(m_command, NA_OP_NONE, &search, &folded, m_bench.Record()));
    // The search holds what the command holds: nothing cut away survives in either.
    EXPECT_EQ(search.nGetNbParameter(), m_command->nGetParameterNbr());
    for (int i = 0; i < search.nGetNbParameter() && i < m_command->nGetParameterNbr(); ++i) {
      CNAParameter* p = search.pclGetParameter(i);
      EXPECT_EQ(p, m_command->pclGetParameterNoRef(i));
      p->nRelease();
    }
    return folded ? L"<folded " + std::to_wstring(tree->eGetOperator()) + L">" : Render(m_command);
  }
  // The search's current tree as its bGetSQL writes it.
  std::wstring Written(CNAFilter* filter = nullptr) {
    EXPECT_TRUE(m_search->bGetSQL(m_command, filter, m_bench.Record()));
    return Render(m_command);
  }

  RecordBench m_bench;
  std::vector<CHostItemDescription*> m_parts;
  CHostItemDescription* m_key = nullptr;
  CNARecherche* m_search = nullptr;
  CNACommand* m_command = nullptr;
};

// ---------------------------------------------------------------- Writing and folding

TEST_F(Search, LeavesWriteTheirComparisonOrFold) {
  struct Row {
    const char* name;
    std::function<CNAExpression*(Search&)> tree;
    const wchar_t* want;
  } rows[] = {
      {"= NULL", [](Search& s) { return s.Leaf(L"i", NA_OP_EQ, Null(ZV_I4)); }, L"`i` IS NULL"},
      {">= NULL folds", [](Search& s) { return s.Leaf(L"i", NA_OP_GE, Null(ZV_I4)); }, L"<folded 11>"},
      {"> NULL, NULL first", [](Search& s) { return s.Leaf(L"i", NA_OP_GT, Null(ZV_I4)); }, L"`i` IS NOT NULL"},
      {"< NULL, NULL first", [](Search& s) { return s.Leaf(L"i", NA_OP_LT, Null(ZV_I4)); }, L"<folded 10>"},
      {"empty text =", [](Search& s) { return s.Leaf(L"t", NA_OP_EQ, Ansi("")); }, L"`t`=''"},
      {"text >= '' folds", [](Search& s) { return s.Leaf(L"t", NA_OP_GE, Ansi("")); }, L"<folded 11>"},
      {"text <= the highest character folds", [](Search& s) { return s.Leaf(L"t", NA_OP_LE, Ansi("\xFF")); },
       L"<folded 11>"},
      {"wide <= a 4-byte fill folds", [](Search& s) { return s.Leaf(L"w", NA_OP_LE, Wide(std::wstring(1, wchar_t(0xFFFFFFFF)))); },
       L"<folded 11>"},
      {"<= with its NULL test", [](Search& s) { return s.Leaf(L"i", NA_OP_LE, Int(5)); }, L"(`i`<={5} OR `i` IS NULL)"},
      {"< 0 has no NULL test", [](Search& s) { return s.Leaf(L"i", NA_OP_LT, Int(0)); }, L"`i`<{0}"},
      {"unique not null: no NULL test", [](Search& s) { return s.Leaf(L"u", NA_OP_LE, Int(5)); }, L"`u`<={5}"},
      {"lower bound = 0 lets NULL in", [](Search& s) { return s.Leaf(L"i", NA_OP_EQ, Int(0), NA_EXPR_LOWER); },
       L"(`i`={0} OR `i` IS NULL)"},
      {"upper bound: never", [](Search& s) { return s.Leaf(L"i", NA_OP_LE, Int(5), NA_EXPR_UPPER); }, L"`i`<={5}"},
      {"starts-with", [](Search& s) { return s.Leaf(L"t", NA_OP_EQ, Ansi("a%_'\\"), NA_EXPR_GENERIC); },
       L"`t` LIKE {a\\%\\_''\\\\%}"},
      {"does not start with", [](Search& s) { return s.Leaf(L"t", NA_OP_NE, Ansi("ab"), NA_EXPR_GENERIC); },
       L"`t` NOT LIKE {ab%}"},
      {"boolean >= true is =", [](Search& s) { return s.Leaf(L"b", NA_OP_GE, FromText(ZV_BOOL, L"1")); }, L"`b`={1}"},
      {"boolean < false folds", [](Search& s) { return s.Leaf(L"b", NA_OP_LT, FromText(ZV_BOOL, L"0")); }, L"<folded 10>"},
      {"partial date starts-with is a range", [](Search& s) { return s.Leaf(L"d", NA_OP_EQ, Ansi("202401", ZV_DATEA), NA_EXPR_GENERIC); },
       L"`d`>={20240101} AND `d`<{20240201}"},
      // Compared as the host's digit text.
      {"full date starts-with is one =", [](Search& s) { return s.Leaf(L"d", NA_OP_EQ, Ansi("20240115", ZV_DATEA), NA_EXPR_GENERIC); },
       L"DATE_FORMAT(`d`,'%Y%m%d')={20240115}"},
      {"AND with a text >= '' is its other operand",
       [](Search& s) { return Node(NA_OP_AND, s.Leaf(L"i", NA_OP_EQ, Int(5)), s.Leaf(L"t", NA_OP_GE, Ansi(""))); }, L"`i`={5}"},
      {"OR with a text >= '' folds",
       [](Search& s) { return Node(NA_OP_OR, s.Leaf(L"i", NA_OP_EQ, Int(5)), s.Leaf(L"t", NA_OP_GE, Ansi(""))); }, L"<folded 11>"},
      {"OR under AND is bracketed",
       [](Search& s) {
         return Node(NA_OP_AND, s.Leaf(L"i", NA_OP_GT, Int(1)),
                     Node(NA_OP_OR, s.Leaf(L"i", NA_OP_EQ, Int(2)), s.Leaf(L"u", NA_OP_EQ, Int(3))));
       },
       L"`i`>{1} AND (`i`={2} OR `u`={3})"},
  };
  for (const Row& row : rows) EXPECT_EQ(Narrow(Write(row.tree(*this))), Narrow(row.want)) << row.name;
}

// The Part lets a NOT whose operand folded drop out of its parent: AND(x, NOT(1=1)) selected x's
// rows instead of none.
TEST_F(Search, NotOfAFoldedOperandFoldsToTheOppositeConstant) {
  struct Row {
    const char* name;
    std::function<CNAExpression*(Search&)> tree;
    const wchar_t* want;
  } rows[] = {
      {"AND(x, NOT(true))", [](Search& s) { return Node(NA_OP_AND, s.Leaf(L"i", NA_OP_EQ, Int(5)), Node(NA_OP_NOT, s.Leaf(L"t", NA_OP_GE, Ansi("")))); },
       L"<folded 10>"},
      {"OR(x, NOT(true))", [](Search& s) { return Node(NA_OP_OR, s.Leaf(L"i", NA_OP_EQ, Int(5)), Node(NA_OP_NOT, s.Leaf(L"t", NA_OP_GE, Ansi("")))); },
       L"`i`={5}"},
      {"OR(x, NOT(false))", [](Search& s) { return Node(NA_OP_OR, s.Leaf(L"i", NA_OP_EQ, Int(5)), Node(NA_OP_NOT, s.Leaf(L"i", NA_OP_LT, Null(ZV_I4)))); },
       L"<folded 11>"},
      {"NOT(NOT(true)) under AND", [](Search& s) { return Node(NA_OP_AND, Node(NA_OP_NOT, Node(NA_OP_NOT, s.Leaf(L"t", NA_OP_GE, Ansi("")))), s.Leaf(L"i", NA_OP_EQ, Int(5))); },
       L"`i`={5}"},
      {"NOT(x)", [](Search& s) { return Node(NA_OP_NOT, s.Leaf(L"i", NA_OP_EQ, Int(5))); }, L" NOT (`i`={5})"},
  };
  for (const Row& row : rows) EXPECT_EQ(Narrow(Write(row.tree(*this))), Narrow(row.want)) << row.name;
}

// The Part joined the two bounds with AND (below the start and past the end), which no row meets.
TEST_F(Search, GenericDifferentOnAPartialDateJoinsItsBoundsWithOr) {
  EXPECT_EQ(Narrow(Write(Node(NA_OP_AND, Leaf(L"i", NA_OP_EQ, Int(1)),
                              Leaf(L"d", NA_OP_NE, Ansi("2024", ZV_DATEA), NA_EXPR_GENERIC)))),
            "`i`={1} AND (`d`<{20240101} OR `d`>={20250101})");
}

// The Part glued LIKE to the name ("nameLIKE"), which breaks on an expression's closing bracket.
TEST_F(Search, EmptyTextStartsWithPutsABlankBeforeLike) {
  EXPECT_EQ(Narrow(Write(Leaf(L"t", NA_OP_EQ, Ansi(""), NA_EXPR_GENERIC))), "`t` LIKE '%'");
}

// A value NULL compared with <> selected the NULL rows, the opposite of what the node's own
// NULL selection says.
TEST_F(Search, DifferentFromNullSelectsTheRowsThatAreNotNull) {
  CNAExpression* leaf = Leaf(L"i", NA_OP_NE, Null(ZV_I4));
  leaf->AddRef();
  EXPECT_EQ(Narrow(Write(leaf)), "`i` IS NOT NULL");
  EXPECT_FALSE(leaf->bColumnValuesNullSelected(Column(L"i")));
  leaf->nRelease();
}

// A leaf renewed with another value and written again holds the NULL-selected set and writes
// the text a new leaf of that value holds and writes, whatever set its write before left.
TEST_F(Search, RenewedLeafWritesTheNullSetOfANewLeaf) {
  struct Row {
    eNAOperator op;
    CAny value;
    eNAOperator renewedOp;
    CAny renewed;
  } rows[] = {
      {NA_OP_EQ, Int(5), NA_OP_EQ, Int(6)},        {NA_OP_EQ, Int(5), NA_OP_EQ, Null(ZV_I4)},
      {NA_OP_EQ, Null(ZV_I4), NA_OP_EQ, Int(5)},   {NA_OP_NE, Null(ZV_I4), NA_OP_EQ, Int(5)},
      {NA_OP_EQ, Int(5), NA_OP_NE, Null(ZV_I4)},   {NA_OP_EQ, Int(5), NA_OP_NE, Int(5)},
      {NA_OP_NE, Int(5), NA_OP_EQ, Int(5)},        {NA_OP_GT, Int(5), NA_OP_EQ, Int(7)},
      {NA_OP_EQ, Int(5), NA_OP_LT, Int(7)},
  };
  for (const Row& row : rows) {
    const std::string label = std::to_string(row.op) + " " + Narrow(TextOf(row.value)) + " then " +
                              std::to_string(row.renewedOp) + " " + Narrow(TextOf(row.renewed));
    CNAExpression* leaf = Leaf(L"i", row.op, row.value);
    leaf->AddRef();
    Write(leaf);
    leaf->RenewLeaf(row.renewedOp, Holder(L"i", row.renewed), 0);
    // Written once: a second write empties the set first.
    const std::string text = Narrow(WriteOnce(leaf));
    CNAExpression* fresh = Leaf(L"i", row.renewedOp, row.renewed);
    fresh->AddRef();
    EXPECT_EQ(text, Narrow(WriteOnce(fresh))) << label;
    EXPECT_EQ(NullSet(leaf), NullSet(fresh)) << label;
    fresh->nRelease();
    leaf->nRelease();
  }
}

// An empty date was written as the NULL literal: "d = NULL" selects no row at all.
TEST_F(Search, EmptyDateComparesAsNull) {
  EXPECT_EQ(Narrow(Write(Leaf(L"d", NA_OP_EQ, Ansi("", ZV_DATEA)))), "`d` IS NULL");
  EXPECT_EQ(Narrow(Write(Leaf(L"d", NA_OP_GT, Ansi("", ZV_DATEA)))), "`d` IS NOT NULL");
}

TEST_F(Search, FoldCutDropsTheParametersAfterTheCutOnly) {
  struct Row {
    const char* name;
    std::function<CNAExpression*(Search&)> tree;
    const wchar_t* want;
  } rows[] = {
      // The left operand's parameter sits at the cut: it stays.
      {"right folds away", [](Search& s) { return Node(NA_OP_AND, s.Leaf(L"i", NA_OP_EQ, Int(5)), Node(NA_OP_AND, s.Leaf(L"u", NA_OP_EQ, Int(6)), s.Leaf(L"i", NA_OP_LT, Null(ZV_I4)))); },
       L"<folded 10>"},
      {"inner right folds", [](Search& s) { return Node(NA_OP_OR, s.Leaf(L"i", NA_OP_EQ, Int(5)), Node(NA_OP_AND, s.Leaf(L"u", NA_OP_EQ, Int(6)), s.Leaf(L"i", NA_OP_LT, Null(ZV_I4)))); },
       L"`i`={5}"},
      {"left folds, right stays", [](Search& s) { return Node(NA_OP_AND, Node(NA_OP_OR, s.Leaf(L"u", NA_OP_EQ, Int(6)), s.Leaf(L"i", NA_OP_GE, Null(ZV_I4))), s.Leaf(L"i", NA_OP_EQ, Int(7))); },
       L"`i`={7}"},
      {"parameters on both sides", [](Search& s) { return Node(NA_OP_AND, Node(NA_OP_OR, s.Leaf(L"u", NA_OP_EQ, Int(6)), s.Leaf(L"i", NA_OP_EQ, Int(8))), Node(NA_OP_AND, s.Leaf(L"i", NA_OP_EQ, Int(7)), s.Leaf(L"t", NA_OP_GE, Ansi("")))); },
       L"(`u`={6} OR `i`={8}) AND (`i`={7})"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Narrow(Write(row.tree(*this))), Narrow(row.want)) << row.name;
    // Every parameter left lies within the text, in order.
    unsigned int last = 0;
    for (int i = 0; i < m_command->nGetParameterNbr(); ++i) {
      const unsigned int at = m_command->pclGetParameterNoRef(i)->nGetPosition();
      EXPECT_TRUE(at >= last && at <= static_cast<unsigned int>(m_command->nGetOriginalSQLLength())) << row.name;
      last = at;
    }
  }
}

// ---------------------------------------------------------------- Searches

TEST_F(Search, CompositeGreaterOrEqualExpandsComponentByComponent) {
  const CAny value = Bytes(I4(1) + I4(2) + I4(3));
  struct Row {
    unsigned int descending;
    const wchar_t* want;
  } rows[] = {
      {0, L"`k1`>{1} OR `k1`={1} AND (`k2`>{2} OR `k2`={2} AND `k3`>={3})"},
      {2, L"`k1`>{1} OR `k1`={1} AND ((`k2`<{2} OR `k2` IS NULL) OR `k2`={2} AND `k3`>={3})"},
  };
  for (const Row& row : rows) {
    m_key->m_dwDescendingComponents = row.descending;
    m_search->Desactivate();
    ASSERT_TRUE(m_search->bAddExpression(m_bench.Record(), m_key, NA_OP_GE, &value, 0, NA_OP_AND, 0));
    EXPECT_EQ(Narrow(Written()), Narrow(row.want)) << row.descending;
  }
}

TEST_F(Search, GenericBoundsOnATextAddTheStartsWithComparison) {
  const CAny value = Ansi("AB");
  struct Row {
    eNAOperator op;
    const wchar_t* want;
  } rows[] = {
      {NA_OP_GT, L"`t`>{AB} AND `t` NOT LIKE {AB%}"},
      {NA_OP_LE, L"(`t`<{AB} OR `t` IS NULL) OR `t` LIKE {AB%}"},
      {NA_OP_GE, L"`t`>={AB}"},
  };
  for (const Row& row : rows) {
    m_search->Desactivate();
    ASSERT_TRUE(m_search->bAddExpression(m_bench.Record(), Item(L"t"), row.op, &value, 1, NA_OP_AND, 1));
    EXPECT_EQ(Narrow(Written()), Narrow(row.want)) << row.op;
  }
}

TEST_F(Search, FillValuesOnAnIntegerOpenTheBound) {
  struct Row {
    eNAOperator op;
    int value;
    const wchar_t* want;  // "" when no condition is made
  } rows[] = {
      {NA_OP_GT, INT_MAX, L""}, {NA_OP_LE, INT_MAX, L""}, {NA_OP_GE, INT_MIN, L""}, {NA_OP_LT, INT_MIN, L""},
      {NA_OP_GE, INT_MIN + 1, L"`i`>={-2147483647}"}, {NA_OP_EQ, INT_MAX, L"`i`={2147483647}"},
  };
  for (const Row& row : rows) {
    m_search->Desactivate();
    const CAny value = Int(row.value);
    ASSERT_TRUE(m_search->bAddExpression(m_bench.Record(), Item(L"i"), row.op, &value, 0, NA_OP_AND, 1));
    EXPECT_EQ(Narrow(Written()), Narrow(row.want)) << row.op << " " << row.value;
  }
}

TEST_F(Search, ValueSearchBuildsItsThreeTrees) {
  struct Row {
    const wchar_t* item;
    CAny value;
    int exact;
    const wchar_t *equal, *after, *before;
  } rows[] = {
      {L"i", Int(5), 1, L"`i`={5}", L"`i`>{5}", L"(`i`<{5} OR `i` IS NULL)"},
      {L"t", Ansi("ab"), 0, L"`t` LIKE {ab%}", L" NOT (`t` LIKE {ab%}) AND `t`>{ab}", L"(`t`<{ab} OR `t` IS NULL)"},
      // A text carrying its terminator asks for itself.
      {L"t", Ansi(std::string("ab\0", 3), ZV_DSTRA), 0, L"`t`={ab}", L"`t`>{ab}", L"(`t`<{ab} OR `t` IS NULL)"},
      {L"i", Null(ZV_I4), 1, L"`i` IS NULL", L"`i` IS NOT NULL", L"0=1"},
      // 0 and the empty text stand for NULL nowhere past the matches: below them lie the NULLs.
      {L"i", Int(0), 1, L"`i`={0}", L"`i`>{0}", L"(`i`<{0} OR `i` IS NULL)"},
      {L"t", Ansi(""), 1, L"`t`=''", L"`t`>''", L"(`t`<'' OR `t` IS NULL)"},
  };
  for (const Row& row : rows) {
    ASSERT_TRUE(m_search->bSetRecherche(m_bench.Record(), Item(row.item), &row.value, NA_PARSE_FIRST, row.exact, 0));
    EXPECT_EQ(Narrow(Written()), Narrow(row.equal)) << Narrow(row.equal);
    m_search->_SetContinueParcours(NA_PARSE_FIRST);
    EXPECT_EQ(Narrow(Written()), Narrow(row.after)) << Narrow(row.equal);
    m_search->_SetContinueParcours(NA_PARSE_FIRST);
    m_search->_SetContinueParcours(NA_PARSE_LAST);
    EXPECT_EQ(Narrow(Written()), Narrow(row.before)) << Narrow(row.equal);
  }
}

// One search sought again and again (its trees kept when only the value changes) writes what a
// new search writes for the same seek: after every value, type or item change, after a write that
// folded a tree, and while a clone shares the trees, which keeps its own value.
TEST_F(Search, SeekAgainWritesWhatANewSearchWrites) {
  struct Row {
    const wchar_t* item;
    CAny value;
    int exact;
    bool clone;  // a clone of the search is taken before this seek and checked after it
    bool kept;   // the trees of the seek before are kept
  } rows[] = {
      {L"i", Int(5), 1, false, false},     {L"i", Int(6), 1, false, true},
      {L"i", Int(-7), 1, false, true},     {L"i", Null(ZV_I4), 1, false, true},
      // The NULL's before tree folded when it was written.
      {L"i", Int(0), 1, false, false},     {L"i", Ansi("12"), 1, false, true},
      {L"i", Int(8), 1, true, false},      {L"i", Int(9), 1, false, true},
      {L"u", Int(9), 1, false, false},     {L"u", Int(10), 1, false, true},
      {L"t", Ansi("ab"), 1, false, false}, {L"t", Ansi("ab c"), 1, false, true},
      {L"t", Ansi("ab"), 0, false, false}, {L"t", Ansi("ab"), 1, false, false},
      {L"t", Ansi(""), 1, false, true},    {L"b", Bool(1), 1, false, false},
      // The boolean's after and before trees were simplified by their write.
      {L"b", Bool(0), 1, false, false},    {L"d", Wide(L"20240229"), 1, false, false},
      {L"d", Wide(L""), 1, false, true},   {L"d", Wide(L"20240301"), 1, false, false},
  };
  auto all = [&](CNARecherche* search) {
    std::wstring out;
    if (search->nGetState() == 2) search->_SetContinueParcours(NA_PARSE_FIRST);
    for (int step = 0; step < 4; ++step) {
      if (step > 0) search->_SetContinueParcours(step == 3 ? NA_PARSE_LAST : NA_PARSE_FIRST);
      if (step == 2) continue;
      EXPECT_TRUE(search->bGetSQL(m_command, nullptr, m_bench.Record()));
      out += Render(m_command) + L" | ";
    }
    return out;
  };
  for (const Row& row : rows) {
    const std::string label = Narrow(row.item) + " " + Narrow(TextOf(row.value)) + " " + std::to_string(row.exact);
    CNARecherche* clone = row.clone ? m_search->pclClone() : nullptr;
    const std::wstring cloneBefore = clone != nullptr ? all(clone) : L"";
    const CNAExpression* former = m_search->pclGetEqualTreeNoRef();
    const CNAConvertVariant* formerHolder = former != nullptr ? former->pclGetValueNoRef() : nullptr;
    const uint64_t formerStamp = m_search->nGetTreesStamp();
    ASSERT_TRUE(m_search->bSetRecherche(m_bench.Record(), Item(row.item), &row.value, NA_PARSE_FIRST, row.exact, 0));
    // New trees move the stamp (a new tree may land where the freed one was).
    EXPECT_EQ(m_search->nGetTreesStamp() == formerStamp, row.kept) << label;
    if (row.kept) {
      EXPECT_EQ(m_search->pclGetEqualTreeNoRef(), former) << label;
    }
    // Kept trees keep their holder, made again in place (a new one may land where a freed one was).
    CNAConvertVariant* holder = m_search->pclGetEqualTreeNoRef()->pclGetValueNoRef();
    if (row.kept) {
      EXPECT_EQ(holder, formerHolder) << label;
    }
    CNARecherche fresh(&m_bench.m_error, &m_bench.m_cnx);
    fresh.SetStatic(true);
    ASSERT_TRUE(fresh.bSetRecherche(m_bench.Record(), Item(row.item), &row.value, NA_PARSE_FIRST, row.exact, 0));
    EXPECT_EQ(HolderState(holder), HolderState(fresh.pclGetEqualTreeNoRef()->pclGetValueNoRef())) << label;
    EXPECT_EQ(Narrow(all(m_search)), Narrow(all(&fresh))) << label;
    if (clone != nullptr) {
      EXPECT_EQ(Narrow(all(clone)), Narrow(cloneBefore)) << label;
      clone->nRelease();
    }
  }
}

TEST_F(Search, RecordSearchOnANonUniqueItemUsesTheUniqueKey) {
  const CAny key = Int(42), other = Int(7);
  Column(L"u")->bSetValue(&key, 0);
  Column(L"i")->bSetValue(&other, 0);
  ASSERT_TRUE(m_search->bRechercheEnreg(m_bench.Record(), Item(L"i"), NA_PARSE_FIRST, 1, nullptr));
  EXPECT_EQ(Narrow(Written()), "`u`={42}");
  EXPECT_EQ(m_search->pclGetAfterTreeNoRef(), nullptr);
}

TEST_F(Search, ContinuingSwitchesTreesAndAnswersByDirection) {
  const CAny value = Int(5);
  ASSERT_TRUE(m_search->bSetRecherche(m_bench.Record(), Item(L"i"), &value, NA_PARSE_FIRST, 1, 0));
  struct Step {
    int continueWith;  // -1: none
    eNA_PARSEDIRECTION asked;
    bool can;
    int state;
  } steps[] = {
      {-1, NA_PARSE_FIRST, true, 1}, {-1, NA_PARSE_LAST, true, 1}, {NA_PARSE_FIRST, NA_PARSE_FIRST, false, 2},
      {-1, NA_PARSE_LAST, true, 2},  {NA_PARSE_FIRST, NA_PARSE_FIRST, true, 1}, {NA_PARSE_LAST, NA_PARSE_LAST, false, 2},
      {-1, NA_PARSE_FIRST, true, 2},
  };
  for (const Step& s : steps) {
    if (s.continueWith >= 0) {
      EXPECT_TRUE(m_search->_SetContinueParcours(static_cast<eNA_PARSEDIRECTION>(s.continueWith)));
    }
    EXPECT_EQ(m_search->bPeutContinuerParcours(s.asked) != 0, s.can) << s.continueWith << " " << s.asked;
    EXPECT_EQ(m_search->nGetState(), s.state);
  }
  EXPECT_EQ(m_search->pclGetCurrentTreeNoRef(), m_search->pclGetBeforeTreeNoRef());
  m_search->Desactivate();
  EXPECT_FALSE(m_search->bPeutContinuerParcours(NA_PARSE_FIRST));
  EXPECT_EQ(Written(), L"");
}

TEST(SearchStatics, OnlyTabLineFeedReturnAndBlankAreSQLSpace) {
  for (wchar_t c = 0; c < 300; ++c)
    EXPECT_EQ(CNARecherche::s_bEspaceSQL(c) != 0, c == 9 || c == 10 || c == 13 || c == 32) << static_cast<int>(c);
}

class Fills : public AnyTest {};

TEST_F(Fills, CheckValueAtTheBoundsOfItsType) {
  CDateTime last;
  last.Set(9999, 12, 31, 23, 59, 59, 999);
  CDateTime day;
  day.Set(9999, 12, 29, 23, 59, 59, 999);
  CAny lastValue, dayValue, empty, sample;
  lastValue.SetDATETIME(last);
  dayValue.SetDATETIME(day);
  empty.SetDATETIME(CDateTime());
  struct Row {
    const char* name;
    CAny value;
    eNA_CHECKVALUE want;
  } rows[] = {
      {"NULL", Null(ZV_I4), NA_VALUE_ORDINARY},
      {"I4 min", Int(INT_MIN), NA_VALUE_MIN},
      {"I4 max", Int(INT_MAX), NA_VALUE_MAX},
      {"I4 0", Int(0), NA_VALUE_ORDINARY},
      {"UI1 0", FromText(ZV_UI1, L"0"), NA_VALUE_MIN},
      {"UI1 255", FromText(ZV_UI1, L"255"), NA_VALUE_MAX},
      {"I2 -32768", FromText(ZV_I2, L"-32768"), NA_VALUE_MIN},
      {"UI8 max", FromText(ZV_UI8, L"18446744073709551615"), NA_VALUE_MAX},
      {"I8 max - 1", FromText(ZV_I8, L"9223372036854775806"), NA_VALUE_ORDINARY},
      {"BOOL", FromText(ZV_BOOL, L"1"), NA_VALUE_ORDINARY},
      {"ANSI text ending 0xFF", Ansi("ab\xFF"), NA_VALUE_MAX},
      {"ANSI text with 0xFF inside", Ansi("a\xFFz"), NA_VALUE_ORDINARY},
      {"CARA 255", Ansi("\xFF", ZV_CARA), NA_VALUE_MAX},
      {"wide text ending 0xFFFFFFFF", Wide(L"ab" + std::wstring(1, wchar_t(0xFFFFFFFF))), NA_VALUE_MAX},
      {"DATETIME 9999-12-31 23:59:59.999", lastValue, NA_VALUE_MAX},
      {"DATETIME 9999-12-29 23:59:59.999", dayValue, NA_VALUE_ORDINARY},
      {"DATETIME empty", empty, NA_VALUE_MIN},
  };
  for (const Row& row : rows) EXPECT_EQ(CNARecherche::eCheckValue(&row.value), row.want) << row.name;
  // The fills made for a type are recognised as such.
  for (unsigned short type : {ZV_UI1, ZV_UI2, ZV_UI4, ZV_UI8, ZV_I1, ZV_I2, ZV_I4, ZV_I8, ZV_R4, ZV_R8, ZV_DATETIME}) {
    CAny v;
    v.__SetType(type, 0);
    CNARecherche::s_SetAnyToMax(&v);
    EXPECT_EQ(CNARecherche::eCheckValue(&v), type == ZV_DATETIME ? NA_VALUE_ORDINARY : NA_VALUE_MAX) << type;
    CNARecherche::s_SetAnyToMin(&v);
    EXPECT_EQ(CNARecherche::eCheckValue(&v), NA_VALUE_MIN) << type;
  }
}

// With 4-byte characters a host's maximum fill is UTF-16's 0xFFFF or its own 0xFFFFFFFF.
TEST_F(Fills, WideMaximumFillIsEitherWidth) {
  for (wchar_t fill : {wchar_t(0xFFFF), wchar_t(0xFFFFFFFF)}) {
    for (unsigned short type : {ZV_PSTRW, ZV_DATEW, ZV_TIMEW}) {
      const CAny text = Wide(L"12" + std::wstring(1, fill), type);
      EXPECT_EQ(CNARecherche::eCheckValue(&text), NA_VALUE_MAX) << type << " " << static_cast<uint32_t>(fill);
    }
    CAny one;
    one.__SetType(ZV_CARW, 0);
    one.SetValueByte(&fill, sizeof fill);
    EXPECT_EQ(CNARecherche::eCheckValue(&one), NA_VALUE_MAX) << static_cast<uint32_t>(fill);
  }
}

}  // namespace

namespace {

class SearchValues : public AnyTest {};

// The search's readers of a searched value.
struct Probe : CNARecherche {
  using CNARecherche::_bGenericSearchDueTohValMax;
  using CNARecherche::_GetComponentValue;
  using CNARecherche::_GetValue;
  using CNARecherche::CNARecherche;
};

std::string U16(std::initializer_list<unsigned int> units) {
  std::string out;
  for (unsigned int u : units) out += std::string{static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
  return out;
}

std::wstring Shown(const CNARecherche::Values& values) {
  std::wstring out;
  for (const CAny& v : values) {
    unsigned int size = 0;
    if (v.wGetType() == ZV_BIN) v.Intern()->nGetDataSize(&size);
    out += (out.empty() ? L"" : L"|") + (v.wGetType() == ZV_BIN ? L"bin" + std::to_wstring(size) : TextOf(v));
  }
  return out;
}

// The Part read past the searched value's bytes: a BINAIRE length or a component longer than
// what is left was taken whole. UNICODE components are UTF-16 with pairs.
TEST_F(SearchValues, ComponentValuesNeverReadPastTheSearchedBytes) {
  RecordBench bench;
  bench.Add(L"n1", NA_IT_I4, 4);
  bench.Add(L"n2", NA_IT_I4, 4);
  bench.Add(L"txt", NA_IT_TEXTE, 11)->m_nLogicalSize = 10;
  bench.Add(L"bin", NA_IT_BINAIRE, 10);
  bench.Add(L"uni", NA_IT_UNICODE, 12)->m_nLogicalSize = 5;
  ASSERT_TRUE(bench.Build());
  auto columns = [&](std::initializer_list<const wchar_t*> names) {
    CNARecherche::Columns out;
    for (const wchar_t* n : names) out.push_back(bench.Column(n));
    return out;
  };
  struct Row {
    const char* name;
    CNARecherche::Columns parts;
    std::string bytes;
    unsigned int flags;
    const wchar_t* want;
    bool min, max;
  } rows[] = {
      {"two integers", columns({L"n1", L"n2"}), I4(1) + I4(2), 0, L"1|2", false, false},
      {"a short integer ends the list", columns({L"n1", L"n2"}), I4(1) + std::string("\x02\x00", 2), 0, L"1", false, false},
      {"too short for the first", columns({L"n1"}), std::string("\x01\x00\x00", 3), 0, L"", false, false},
      {"a text is cut at its zero", columns({L"txt", L"n1"}), std::string("ab\0\0\0\0\0\0\0\0", 10) + I4(7), 0, L"ab|7",
       false, false},
      {"a text ending the value", columns({L"txt", L"n1"}), "abc", 0, L"abc", false, false},
      {"a length past the bytes ends the list", columns({L"bin", L"n1"}), std::string("\x00\x01", 2) + "xyz", 0, L"",
       false, false},
      {"a length within them", columns({L"bin", L"n1"}), std::string("\x03\x00", 2) + "xyz" + std::string(5, '\0') + I4(9),
       0, L"bin3|9", false, false},
      {"a binary ending the value before its fill", columns({L"bin", L"n1"}), std::string("\x03\x00", 2) + "xyz", 0,
       L"bin3", false, false},
      {"a half length", columns({L"n1", L"bin"}), I4(4) + std::string("\x03", 1), 0, L"4", false, false},
      {"UTF-16 with a pair", columns({L"uni"}), U16({L'a', 0xD83D, 0xDE00, 0, 0}), 0, L"a\U0001F600", false, false},
      {"UTF-16 shorter than the field", columns({L"uni", L"n1"}), U16({L'z'}), 0, L"z", false, false},
      {"maximum fill", columns({L"n1", L"n2"}), I4(1) + "\xFF", NA_SEARCH_FILLTEST, L"1|2147483647", false, true},
      {"minimum fill", columns({L"n1", L"n2"}), I4(1) + std::string("\0", 1), NA_SEARCH_GENERIC, L"1|-2147483648", true,
       false},
      {"no fill without the test", columns({L"n1", L"n2"}), I4(1) + "\xFF", 0, L"1", false, false},
  };
  Probe probe;
  for (const Row& row : rows) {
    // The bytes live in a buffer of their own size, so a read past them is a sanitizer error.
    const CAny value = Bytes(row.bytes);
    CNARecherche::Values values;
    BOOL min = FALSE, max = FALSE;
    probe._GetComponentValue(row.parts, &value, &values, &min, &max, row.flags);
    EXPECT_EQ(Narrow(Shown(values)), Narrow(row.want)) << row.name;
    EXPECT_EQ(min != 0, row.min) << row.name;
    EXPECT_EQ(max != 0, row.max) << row.name;
  }
}

// A composite key with a binary component was sized without the component's length, built as
// its raw bytes in its total size (cutting the next component) and split after a length: two rows
// differing in the integer after the binary had one key. One layout now: the length, the bytes,
// the fill to the component's size.
TEST_F(SearchValues, BinaryComponentOfACompositeKeyKeepsItsLengthAndItsPlace) {
  auto* key = new CNAItemDescription();
  auto* binary = new CNAItemDescription();
  auto* number = new CNAItemDescription();
  for (CNAItemDescription* d : {key, binary, number}) d->ExternalAddRef();
  key->bInit(L"k", L"t", L"k", 1, 0, NA_IT_BINAIRE, 0, -1, kComposite | kUnique, 0, 0);
  binary->bInit(L"b", L"t", L"b", 1, 6, NA_IT_BINAIRE, 0, -1, 0, 0, 0);
  number->bInit(L"n", L"t", L"n", 1, 4, NA_IT_I4, 0, -1, 0, 0, 0);
  ASSERT_TRUE(key->bAddComponent(binary) && key->bAddComponent(number));
  EXPECT_EQ(key->nGetItemSize(), 10u);
  for (CNAItemDescription* d : {key, binary, number}) d->nExternalRelease();

  RecordBench bench;
  CHostItemDescription* b = bench.Add(L"b", NA_IT_BINAIRE, 6);
  CHostItemDescription* n = bench.Add(L"n", NA_IT_I4, 4);
  bench.Add(L"k", NA_IT_BINAIRE, 10, kComposite | kUnique, TRUE, {b, n});
  ASSERT_TRUE(bench.Build());
  struct Row {
    std::string binary;
    int number;
    std::string key;  // the host's bytes
    const wchar_t* split;
  } rows[] = {
      {"ab", 0x01020304, std::string("\x02\x00" "ab\0\0", 6) + I4(0x01020304), L"bin2|16909060"},
      {"ab", 0x7F7F0304, std::string("\x02\x00" "ab\0\0", 6) + I4(0x7F7F0304), L"bin2|2139030276"},
      {"wxyz", -1, std::string("\x04\x00" "wxyz", 6) + I4(-1), L"bin4|-1"},
      {"", 7, std::string("\0\0\0\0\0\0", 6) + I4(7), L"bin0|7"},
  };
  Probe probe;
  for (const Row& row : rows) {
    CAny value;
    value.SetBIN(reinterpret_cast<const unsigned char*>(row.binary.data()), static_cast<unsigned int>(row.binary.size()));
    ASSERT_TRUE(bench.Column(L"b")->bSetValue(&value, 0));
    const CAny integer = FromText(ZV_I4, std::to_wstring(row.number).c_str());
    ASSERT_TRUE(bench.Column(L"n")->bSetValue(&integer, 0));
    CAny built;
    ASSERT_TRUE(bench.Column(L"k")->bGetCurrentValue(&built, 0));
    void* bytes = nullptr;
    unsigned int size = 0;
    built.Intern()->nGetDataAdr(&bytes);
    built.Intern()->nGetUtilDataSize(&size);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(bytes), size), row.key) << row.binary << row.number;
    CNARecherche::Values values;
    BOOL min = FALSE, max = FALSE;
    const CAny host = Bytes(row.key);
    probe._GetComponentValue({bench.Column(L"b"), bench.Column(L"n")}, &host, &values, &min, &max, 0);
    EXPECT_EQ(Narrow(Shown(values)), Narrow(row.split));
    EXPECT_TRUE(bench.Column(L"k")->bSameValue(&host, 0)) << row.binary << row.number;
    for (const Row& other : rows) {
      if (&other == &row) continue;
      const CAny twin = Bytes(other.key);
      EXPECT_FALSE(bench.Column(L"k")->bSameValue(&twin, 0)) << row.number << " " << other.number;
    }
  }
}

// The Part zeroed two bytes of a 4-byte character, which left the fill in the value.
TEST_F(SearchValues, MaximumFillLosesOneWholeCharacter) {
  RecordBench bench;
  bench.Add(L"t", NA_IT_TEXTE, 11);
  bench.Add(L"w", NA_IT_UNICODE, 22);
  ASSERT_TRUE(bench.Build());
  const std::wstring wide = L"ab" + std::wstring(1, wchar_t(0xFFFFFFFF));
  struct Row {
    const wchar_t* column;
    CAny value;
    const wchar_t* want;
    bool usable;
  } rows[] = {
      {L"t", Ansi("ab\xFF"), L"ab", true},      {L"t", Ansi("\xFF"), L"", false},
      {L"w", Wide(wide), L"ab", true},          {L"w", Wide(L"x" + std::wstring(1, wchar_t(0xFFFF))), L"x", true},
      {L"w", Wide(std::wstring(1, wchar_t(0xFFFF))), L"", false},
  };
  Probe probe;
  for (Row& row : rows) {
    BOOL usable = FALSE, min = FALSE, max = FALSE;
    probe._GetValue(bench.Column(row.column), &row.value, &usable, &min, &max);
    EXPECT_TRUE(max);
    EXPECT_EQ(Narrow(TextOf(row.value)), Narrow(row.want));
    EXPECT_EQ(usable != 0, row.usable) << Narrow(row.want);
    CNARecherche::Values values{row.column == std::wstring(L"t") ? Ansi("cd\xFF") : Wide(L"cd" + std::wstring(1, wchar_t(0xFFFF)))};
    EXPECT_TRUE(probe._bGenericSearchDueTohValMax({bench.Column(row.column)}, &values, 0));
    EXPECT_EQ(Narrow(TextOf(values[0])), "cd");
  }
}

}  // namespace

namespace {

TEST_F(Search, FilterBoundsWriteTheirComparisons) {
  struct Row {
    const char* name;
    const wchar_t* item;
    std::optional<CAny> min;
    int minIncluded;
    std::optional<CAny> max;
    int maxIncluded;
    int flags;
    BOOL result;
    const wchar_t* want;
  } rows[] = {
      {"equal bounds are one =", L"i", Int(5), 1, Int(5), 1, 0, TRUE, L"`i`={5}"},
      {"equal bounds, one left out, are both written", L"i", Int(5), 1, Int(5), 0, 0, TRUE, L"`i`>={5} AND `i`<{5}"},
      {"both bounds", L"i", Int(5), 0, Int(9), 1, 0, TRUE, L"`i`>{5} AND `i`<={9}"},
      {"a starts-with lower bound alone", L"t", Ansi("ab"), 1, std::nullopt, 0, NA_FILTER_GENERIC, TRUE, L"`t` LIKE {ab%}"},
      {"a starts-with range", L"t", Ansi("ab"), 1, Ansi("cd"), 1, NA_FILTER_GENERIC, TRUE,
       L"`t`>={ab} AND (`t`<{cd} OR `t` LIKE {cd%})"},
      {"no bound", L"i", std::nullopt, 0, std::nullopt, 0, 0, TRUE, L""},
      {"a fill is no bound", L"i", Int(INT_MIN), 1, std::nullopt, 0, 0, FALSE, L""},
  };
  for (const Row& row : rows) {
    CNAFilter* filter = new CNAFilter(&m_bench.m_error, &m_bench.m_cnx);
    filter->AddRef();
    EXPECT_EQ(filter->bSetFilter(m_bench.Record(), Item(row.item), row.min ? &*row.min : nullptr, row.minIncluded,
                                 row.max ? &*row.max : nullptr, row.maxIncluded, nullptr, row.flags),
              row.result)
        << row.name;
    filter->Activate();
    EXPECT_TRUE(filter->bGetSQL(m_command, nullptr, m_bench.Record())) << row.name;
    EXPECT_EQ(Narrow(Render(m_command)), Narrow(row.want)) << row.name;
    filter->nRelease();
  }
}

TEST_F(Search, SavedFiltersTellWhetherTheFilterInForceIsTheSame) {
  const CAny five = Int(5), six = Int(6);
  auto make = [&](const CAny& min, bool active) {
    CNAFilter* f = new CNAFilter(&m_bench.m_error, &m_bench.m_cnx);
    f->AddRef();
    EXPECT_TRUE(f->bSetFilter(m_bench.Record(), Item(L"i"), &min, 1, nullptr, 0, nullptr, 0));
    f->ActivateFilter(active ? 1 : 0);
    // Written once, as a browse writes it: its parameters are what a later comparison sees.
    EXPECT_TRUE(f->bGetSQL(m_command, nullptr, m_bench.Record()));
    return f;
  };
  CNAFilter* active = make(five, true);
  CNAFilter* same = make(five, true);
  CNAFilter* other = make(six, true);
  CNAFilter* inactive = make(five, false);
  CNAFilter* inactiveToo = make(six, false);
  struct Row {
    const char* name;
    CNAFilter* saved;
    CNAFilter* given;
    bool equals;
  } rows[] = {
      {"the same object", active, active, true},     {"an equal filter", active, same, true},
      {"another bound", active, other, false},       {"active against inactive", active, inactive, false},
      {"active against none", active, nullptr, false}, {"inactive against inactive", inactive, inactiveToo, true},
      {"inactive against none", inactive, nullptr, true}, {"none against inactive", nullptr, inactive, true},
      {"none against none", nullptr, nullptr, true},  {"none against active", nullptr, active, false},
  };
  for (const Row& row : rows) {
    CNAFilterSave save(row.saved);
    EXPECT_EQ(save.bFilterEquals(row.given) != 0, row.equals) << row.name;
    EXPECT_EQ(CNAFilter::g_bEqualsFilter(row.saved, row.given) != 0, row.equals) << row.name;
    CNAFilterSave copy;
    copy.Copy(save);
    EXPECT_EQ(copy.bFilterEquals(row.given) != 0, row.equals) << row.name;
  }
  // A filter without bounds is not one whose bounds were not written yet.
  CNAFilter* open = new CNAFilter(&m_bench.m_error, &m_bench.m_cnx);
  open->AddRef();
  EXPECT_TRUE(open->bSetFilter(m_bench.Record(), Item(L"i"), nullptr, 1, nullptr, 0, nullptr, 0));
  open->ActivateFilter(1);
  CNAFilter* unwritten = new CNAFilter(&m_bench.m_error, &m_bench.m_cnx);
  unwritten->AddRef();
  EXPECT_TRUE(unwritten->bSetFilter(m_bench.Record(), Item(L"i"), &five, 1, nullptr, 0, nullptr, 0));
  unwritten->ActivateFilter(1);
  if (open->bIsFilterActive()) {
    CNAFilterSave fromOpen(open);
    EXPECT_FALSE(fromOpen.bFilterEquals(unwritten));
  }
  CNAFilterSave fromUnwritten(unwritten);
  EXPECT_FALSE(fromUnwritten.bFilterEquals(open));
  open->nRelease();
  unwritten->nRelease();
  // The save keeps the activation it saw: a filter deactivated since is no longer the same.
  CNAFilterSave save(active);
  active->ActivateFilter(0);
  EXPECT_FALSE(save.bFilterEquals(active));
  EXPECT_TRUE(CNAFilter::g_bEqualsFilter(active, nullptr));
  EXPECT_EQ(active->nGetRefCount(), 2u);
  save.SetFilter(nullptr);
  EXPECT_EQ(active->nGetRefCount(), 1u);
  for (CNAFilter* f : {active, same, other, inactive, inactiveToo}) f->nRelease();
}

}  // namespace

namespace {

// Over a host query sorted descending on the searched column, the browse past an equality goes
// the other way; a query sent as written keeps its order out of it.
TEST_F(SearchValues, BrowsePastAnEqualityFollowsTheQuerysSortDirection) {
  ParseBench parses;
  const long live = CHostSQLParser::nLive();
  for (const wchar_t* text : {L"SELECT nom, ville FROM clients ORDER BY nom DESC", L"SELECT nom, ville FROM clients ORDER BY nom"}) {
    ISQLParserInformation* parse = parses.Parse(text);
    ASSERT_NE(parse, nullptr);
    CSQLParserInfo* query = new CSQLParserInfo(nullptr, parse, nullptr, 0);
    query->AddRef();
    parse->nRelease();
    {
      RecordBench bench;
      bench.Add(L"nom", NA_IT_I4, 4, kDuplicates);
      bench.Add(L"ville", NA_IT_TEXTE, 21);
      ASSERT_TRUE(bench.Build(query));
      CNARecherche* search = new CNARecherche(&bench.m_error, &bench.m_cnx);
      search->AddRef();
      const CAny five = Int(5);
      ASSERT_TRUE(search->bSetRecherche(bench.Record(), bench.Column(L"nom")->piGetItemNoRef(), &five, NA_PARSE_FIRST, 1, 0));
      const bool descending = wcsstr(text, L"DESC") != nullptr;
      EXPECT_EQ(search->pclGetAfterTreeNoRef()->eGetOperator(), descending ? NA_OP_LT : NA_OP_GT) << Narrow(text);
      EXPECT_EQ(search->pclGetBeforeTreeNoRef()->eGetOperator(), descending ? NA_OP_GT : NA_OP_LT) << Narrow(text);
      search->nRelease();
    }
    query->nRelease();
  }
  EXPECT_EQ(CHostSQLParser::nLive(), live);
}

}  // namespace

namespace {

// A calculated column of a host query is compared as its expression: the server knows no column
// of its name.
TEST_F(SearchValues, CalculatedColumnOfAQueryIsWrittenAsItsExpression) {
  ParseBench parses;
  const long live = CHostSQLParser::nLive();
  {
    RecordBench bench;  // its driver, error object and connection
    ISQLParserInformation* parse = parses.Parse(L"SELECT nom, id + 1 AS x FROM clients");
    ASSERT_NE(parse, nullptr);
    CSQLParserInfo* query = new CSQLParserInfo(nullptr, parse, nullptr, 0);
    query->AddRef();
    parse->nRelease();
    CNADataSourceDescription* desc = bench.m_driver.pclAllocDataSourceDescription(&bench.m_cnx, &bench.m_error);
    desc->AddRef();
    ASSERT_TRUE(desc->bCompleteDescription(query));
    auto* access = new CBenchAccess(desc, &bench.m_cnx, &bench.m_error);
    access->AddRef();
    access->SetSourceQuery(query);
    auto* record = new CNARecord(&bench.m_error, access);
    record->AddRef();
    ASSERT_TRUE(record->bInitRecord(desc, nullptr, &bench.m_cnx));
    CNAColumn* x = record->pclGetColumnNoRef(L"x");
    ASSERT_NE(x, nullptr);
    EXPECT_NE(x->eGetTypeColonne(), 0);
    CNARecherche* search = new CNARecherche(&bench.m_error, &bench.m_cnx);
    search->AddRef();
    CNACommand* command = pclAllocCommand(&bench.m_error, &bench.m_cnx);
    command->AddRef();
    const CAny five = Int(5);
    ASSERT_TRUE(search->bSetRecherche(record, x->piGetItemNoRef(), &five, NA_PARSE_FIRST, 1, 0));
    ASSERT_TRUE(search->bGetSQL(command, nullptr, record));
    EXPECT_EQ(Narrow(Render(command)), "(`id` + 1)={5}");
    command->nRelease();
    search->nRelease();
    record->nRelease();
    access->nRelease();
    desc->nRelease();
    query->nRelease();
  }
  EXPECT_EQ(CHostSQLParser::nLive(), live);
}

}  // namespace
namespace {

// A record without a unique key set is told apart from rows its text collation holds equal by the
// text's bytes, last in each of the three trees (the browse's ORDER BY ends the same way); a key
// set, or no text in the chain, needs none.
TEST_F(Search, RecordSearchWithoutAUniqueKeyEndsWithTheTextsBytes) {
  const struct {
    const wchar_t* item;
    std::optional<int> unique;
    const char *equal, *after, *before;
  } rows[] = {
      {L"t", std::nullopt, "`t`={ab} AND (`u` IS NULL AND CAST(CAST(`t` AS CHAR) AS BINARY)={ab})",
       "`t`>{ab} OR `t`={ab} AND (`u` IS NOT NULL OR `u` IS NULL AND CAST(CAST(`t` AS CHAR) AS BINARY)>{ab})",
       "(`t`<{ab} OR `t` IS NULL) OR `t`={ab} AND (`u` IS NULL AND (CAST(CAST(`t` AS CHAR) AS BINARY)<{ab} OR `t` IS "
       "NULL))"},
      {L"t", 42, "`u`={42}", "`t`>{ab} OR `t`={ab} AND `u`>{42}", "(`t`<{ab} OR `t` IS NULL) OR `t`={ab} AND `u`<{42}"},
      {L"i", std::nullopt, "`i`={3} AND `u` IS NULL", "`i`>{3} OR `i`={3} AND `u` IS NOT NULL", "(`i`<{3} OR `i` IS NULL)"},
  };
  for (const auto& row : rows) {
    const CAny t = Ansi("ab"), i = Int(3), u = row.unique ? Int(*row.unique) : Null(ZV_I4);
    Column(L"t")->bSetValue(&t, 0);
    Column(L"i")->bSetValue(&i, 0);
    Column(L"u")->bSetValue(&u, 0);
    ASSERT_TRUE(m_search->bRechercheEnreg(m_bench.Record(), Item(row.item), NA_PARSE_FIRST, 0, nullptr));
    EXPECT_EQ(Narrow(Written()), row.equal);
    m_search->_SetContinueParcours(NA_PARSE_FIRST);
    EXPECT_EQ(Narrow(Written()), row.after);
    m_search->_SetContinueParcours(NA_PARSE_FIRST);
    m_search->_SetContinueParcours(NA_PARSE_LAST);
    EXPECT_EQ(Narrow(Written()), row.before);
  }
}

}  // namespace
