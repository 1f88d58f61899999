// Column lists, NULL-selection sets (random operations against a model of what each condition
// selects) and the user search.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>
#include <string>

#include "sql/nacolumnlist.h"
#include "sql/nacommand.h"
#include "sql/nastatement.h"
#include "tests/support/record_bench.h"

namespace {

class ColumnList : public AnyTest {};

TEST_F(ColumnList, NamesAreJoinedByCommasAndCountedEvenWhenEmpty) {
  struct Row {
    std::vector<const wchar_t*> names;
    const wchar_t* text;
    int count;
  } rows[] = {
      {{L"A", L"", L"B"}, L"A,,B", 3},
      {{L""}, L"", 1},
      {{L"", L"B"}, L",B", 2},
      {{nullptr, nullptr}, L",", 2},
      {{L"A"}, L"A", 1},
  };
  CColumnList list;
  for (const Row& row : rows) {
    list.Empty();
    for (const wchar_t* name : row.names) list.AddColumn(name);
    EXPECT_STREQ(list.pszGet(), row.text);
    EXPECT_EQ(list.nGetCount(), row.count);
  }
  // Growth goes in steps of 1024 characters; emptying keeps the buffer.
  const std::wstring longName(1030, L'x');
  list.AddColumn(longName.c_str());
  EXPECT_EQ(list.nGetCapacity(), 2048u);
  list.Empty();
  EXPECT_EQ(list.nGetCapacity(), 2048u);
  EXPECT_STREQ(list.pszGet(), L"");
}

TEST_F(ColumnList, BuiltFromTheColumnsAStatementWrites) {
  RecordBench bench;
  bench.Add(L"id", NA_IT_IDAUTO4, 4, kPrimary, FALSE);
  CHostItemDescription* a = bench.Add(L"a b", NA_IT_I4, 4);
  bench.Add(L"m", NA_IT_MEMOTEXTE, 8);
  bench.Add(L"k", NA_IT_BINAIRE, 4, kComposite | kDuplicates, TRUE, {a});
  for (auto& item : bench.m_items) item.m_pszNameInSource = L"";
  ASSERT_TRUE(bench.Build());
  CNAStatement* statement = new CNAStatement(bench.m_pAccess, &bench.m_error);
  statement->AddRef();
  statement->SetCurrentRecord(bench.Record());
  // The statement's bind/define flag is its command's define mode (none without a command).
  const struct {
    int mode;  // -1: no command
    int withIdAuto;
    const wchar_t* text;
  } rows[] = {{2, 0, L"`a b`,`m`"}, {2, 1, L"`id`,`a b`,`m`"}, {1, 0, L"`a b`"}, {1, 1, L"`id`,`a b`"}};
  for (const auto& row : rows) {
    CNACommand* command = pclAllocCommand(&bench.m_error, bench.m_pAccess->pclGetConnectionNoRef());
    command->AddRef();
    command->SetDefineMode(row.mode);
    EXPECT_TRUE(statement->bPrepare(command, 2));
    command->nRelease();
    CColumnList list;
    list.BuildColumnList(statement, row.withIdAuto);
    EXPECT_STREQ(list.pszGet(), row.text) << row.mode << " " << row.withIdAuto;
  }
  CColumnList none;
  none.BuildColumnList(nullptr, 1);
  EXPECT_EQ(none.nGetCount(), 0);
  statement->nRelease();
}

// A set's meaning: for each column, whether rows with a NULL there are still selected (absent:
// selected).
using Model = std::map<int, bool>;
bool Selected(const Model& m, int c) {
  auto it = m.find(c);
  return it == m.end() || it->second;
}
bool Apply(eNAOperator op, bool a, bool b) { return op == NA_OP_AND ? a && b : a || b; }
Model Combine(eNAOperator op, const std::optional<Model>& a, const std::optional<Model>& b) {
  Model out;
  for (int c = 0; c < 5; ++c)
    out[c] = Apply(op, !a || Selected(*a, c), !b || Selected(*b, c));
  return out;
}

class NullSelection : public AnyTest {
 protected:
  void SetUp() override {
    CNAError::s_Hold(&m_error);
    for (int i = 0; i < 5; ++i) {
      m_items[i].m_pszNameInSource = L"";
      m_columns[i] = new CNAColumn(&m_error, &m_items[i]);
      m_columns[i]->AddRef();
    }
  }
  void TearDown() override {
    for (CNAColumn* c : m_columns) c->nRelease();
    AnyTest::TearDown();
  }
  // A random set of up to 4 entries, and its model.
  void Random(std::mt19937& rng, CColumnNullValueExcluded* set, Model* model) {
    const int n = static_cast<int>(rng() % 5);
    for (int i = 0; i < n; ++i) {
      const int c = static_cast<int>(rng() % 5);
      const bool flag = rng() % 2 != 0;
      set->bSetColumnValuesNullSelected(m_columns[c], flag);
      (*model)[c] = flag;
    }
  }
  ::testing::AssertionResult Same(const CColumnNullValueExcluded& set, const Model& model) {
    for (int c = 0; c < 5; ++c)
      if (set.bColumnValuesNullSelected(m_columns[c]) != Selected(model, c))
        return ::testing::AssertionFailure() << "column " << c;
    return ::testing::AssertionSuccess();
  }

  CNAError m_error;
  CHostItemDescription m_items[5] = {{L"Name", NA_IT_I4, 4}, {L"b", NA_IT_I4, 4}, {L"c", NA_IT_I4, 4},
                                     {L"d", NA_IT_I4, 4}, {L"e", NA_IT_I4, 4}};
  CNAColumn* m_columns[5] = {};
};

TEST_F(NullSelection, CombinationsFollowWhatTheConditionsSelect) {
  std::mt19937 rng(25);
  for (int round = 0; round < 300; ++round) {
    CColumnNullValueExcluded set;
    Model model;
    Random(rng, &set, &model);
    for (int step = 0; step < 8; ++step) {
      const eNAOperator op = rng() % 2 != 0 ? NA_OP_AND : NA_OP_OR;
      const int c = static_cast<int>(rng() % 5);
      const bool flag = rng() % 2 != 0;
      switch (rng() % 4) {
        case 0:
          set.bCombineColumnValuesNullSelected(op, m_columns[c], flag);
          model[c] = Apply(op, Selected(model, c), flag);
          break;
        case 1: {
          CColumnNullValueExcluded other;
          Model otherModel;
          Random(rng, &other, &otherModel);
          const bool none = rng() % 4 == 0;
          set.bCombineColumnValuesNullSelected(op, none ? nullptr : &other);
          model = Combine(op, model, none ? std::nullopt : std::optional<Model>(otherModel));
          break;
        }
        case 2: {
          CColumnNullValueExcluded a, b, result;
          Model ma, mb;
          Random(rng, &a, &ma);
          Random(rng, &b, &mb);
          const int none = static_cast<int>(rng() % 4);
          result.bCombineColumnValuesNullSelected(op, none == 1 ? nullptr : &a, none == 2 ? nullptr : &b);
          ASSERT_TRUE(Same(result, Combine(op, none == 1 ? std::nullopt : std::optional<Model>(ma),
                                           none == 2 ? std::nullopt : std::optional<Model>(mb))))
              << "round " << round;
          break;
        }
        default:
          set.bSetColumnValuesNullSelected(m_columns[c], flag);
          model[c] = flag;
          break;
      }
      ASSERT_TRUE(Same(set, model)) << "round " << round << " step " << step;
    }
  }
}

TEST_F(NullSelection, OrWithASetThatOmitsAColumnSelectsItsNulls) {
  // X = 1 OR Y = 2: a row whose X is NULL is still selected by the second condition.
  CColumnNullValueExcluded left, right;
  left.bSetColumnValuesNullSelected(m_columns[0], FALSE);
  right.bSetColumnValuesNullSelected(m_columns[1], FALSE);
  left.bCombineColumnValuesNullSelected(NA_OP_OR, &right);
  EXPECT_TRUE(left.bColumnValuesNullSelected(m_columns[0]));
  EXPECT_TRUE(left.bColumnValuesNullSelected(m_columns[1]));
}

TEST_F(NullSelection, CopiesAppendWithOrWithoutNegationAndNamesIgnoreCase) {
  CColumnNullValueExcluded source, copy, negated;
  EXPECT_TRUE(source.bColumnValuesNullSelected(L"anything"));
  source.bSetColumnValuesNullSelected(m_columns[0], FALSE);
  source.bSetColumnValuesNullSelected(m_columns[1], TRUE);
  source.bSetColumnValuesNullSelected(nullptr, FALSE);
  copy.bCopyColumnValuesNullSelected(&source, 0);
  negated.bCopyColumnValuesNullSelected(&source, 1);
  copy.bCopyColumnValuesNullSelected(&source, 1);  // appended: the first entries still answer
  copy.bCopyColumnValuesNullSelected(nullptr, 1);
  EXPECT_EQ(copy.nGetCount(), 4);
  EXPECT_FALSE(copy.bColumnValuesNullSelected(m_columns[0]));
  EXPECT_TRUE(copy.bColumnValuesNullSelected(m_columns[1]));
  EXPECT_TRUE(negated.bColumnValuesNullSelected(m_columns[0]));
  EXPECT_FALSE(negated.bColumnValuesNullSelected(m_columns[1]));
  EXPECT_FALSE(copy.bColumnValuesNullSelected(L"NAME"));
  EXPECT_TRUE(copy.bColumnValuesNullSelected(L"Nam"));
  copy.Reset();
  EXPECT_TRUE(copy.bColumnValuesNullSelected(m_columns[0]));
  EXPECT_EQ(copy.nGetCount(), 0);
}

TEST_F(ColumnList, UserSearchMatchesTheRecordsColumn) {
  RecordBench bench;
  CHostItemDescription* t = bench.Add(L"t", NA_IT_TEXTE, 11);
  ASSERT_TRUE(bench.Build());
  CAny abc = FromText(ZV_DSTRA, L"ABC"), ab = FromText(ZV_DSTRA, L"AB");
  bench.Column(L"t")->bSetValue(&abc, 0);
  const int before = t->nGetRefCount();
  {
    CNAUserSearch search, copy;
    EXPECT_TRUE(search.bGetHTrouve(bench.Record()));
    EXPECT_TRUE(search.bGetHTrouve(nullptr));
    search.SetUserSearch(t, &ab, 0);
    EXPECT_FALSE(search.bGetHTrouve(bench.Record()));
    search.SetUserSearch(search.piGetItemNoRef(), search.pclGetValue(), CNAUserSearch::kPrefix);
    EXPECT_TRUE(search.bGetHTrouve(bench.Record()));
    EXPECT_EQ(ClassText(*search.pclGetValue()), L"AB");
    copy.Copy(&search);
    EXPECT_TRUE(copy.bGetHTrouve(bench.Record()) && copy.dwGetFlags() == CNAUserSearch::kPrefix);
    EXPECT_EQ(t->nGetRefCount(), before + 2);
    CNAUserSearch none;
    copy.Copy(&none);
    EXPECT_EQ(copy.piGetItemNoRef(), nullptr);
    EXPECT_EQ(copy.pclGetValue()->wGetType(), ZV_VIDE);
  }
  EXPECT_EQ(t->nGetRefCount(), before);
}

TEST_F(ColumnList, UserSearchOnACompositeKeyFindsItsColumn) {
  RecordBench bench;
  CHostItemDescription* t = bench.Add(L"t", NA_IT_TEXTE, 3);
  CHostItemDescription* n = bench.Add(L"n", NA_IT_I4, 4);
  CHostItemDescription* key = bench.Add(L"key", NA_IT_BINAIRE, 6, kComposite | kUnique, TRUE, {t, n});
  ASSERT_TRUE(bench.Build());
  CAny ab = FromText(ZV_DSTRA, L"ab"), prefix;
  bench.Column(L"t")->bSetValue(&ab, 0);
  const unsigned char bytes[] = {'a', 'b'};
  prefix.SetBIN(bytes, 2);
  CNAUserSearch search;
  search.SetUserSearch(key, &prefix, CNAUserSearch::kPrefix);
  EXPECT_EQ(bench.Record()->pclGetColumnNoRef(static_cast<INAItemDescription*>(key)), bench.Column(L"key"));
  EXPECT_TRUE(search.bGetHTrouve(bench.Record()));
  CAny other = FromText(ZV_DSTRA, L"ax");
  bench.Column(L"t")->bSetValue(&other, 0);
  EXPECT_FALSE(search.bGetHTrouve(bench.Record()));
}

}  // namespace
