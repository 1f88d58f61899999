// SQL commands on connections of every dialect that never open: positions under random edits
// against a model, the formatted text, row-limit rewrites, the scanners, LIKE patterns, the dump.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "common/xystring.h"
#include "common/xystringconcat.h"
#include "driver/naconnectiondescription.h"
#include "host/host_nadescription.h"
#include "mysql/mysqldriver.h"
#include "sql/nacommand.h"
#include "sql/naconvertvariant.h"
#include "sql/sqlparserinfo.h"
#include "tests/support/any_test_values.h"
#include "tests/support/parse_bench.h"
#include "tests/support/record_bench.h"

namespace {

struct CHostHolder { CHostConnectionDescription m_host; };
// The generic connection on a dialect; static: commands and values hold references on it.
class CDialectCnx : private CHostHolder, public CNAConnectionDescription {
 public:
  explicit CDialectCnx(int dialect, int major = 8, int serverCP = -1) : CNAConnectionDescription(L"id", &m_host) {
    m_eDataSource = dialect, m_nServerVersionMajor = major;
    SetHostCodePage(1252);
    SetServerCodePage(serverCP);
    m_csQuoteOpen = m_csQuoteClose = L"`";
    m_nQuoteOpenLength = m_nQuoteCloseLength = 1;
    const wchar_t* escapes[] = {L"%", L"[", L"]", L"_", L"[", L"]"};
    for (int i = 0; i < LIKE_ESCAPE_COUNT; ++i) m_tabLikeEscape[i] = escapes[i];
    SetStatic(true);
  }
  void SetServerCodePage(int cp) { CNAConnectionDescription::SetServerCodePage(cp); }
  BOOL bOpen(CNAError*) override { return TRUE; }
  BOOL bIsOpen() override { return TRUE; }
  BOOL bClose(CNAError*) override { return TRUE; }
};

const eOPEXPRESSION kNoOp = static_cast<eOPEXPRESSION>(-1);

class Command : public AnyTest {
 protected:
  void SetUp() override { CNAError::s_Hold(&m_error); }
  // A counted command on cnx, referenced by the test.
  CNACommand* Make(CNAConnectionDescription* cnx) {
    CNACommand* c = pclAllocCommand(&m_error, cnx);
    c->AddRef();
    m_commands.push_back(c);
    return c;
  }
  void TearDown() override {
    for (CNACommand* c : m_commands) c->nRelease();
    AnyTest::TearDown();
  }
  static BOOL Param(CNACommand* c, CAny v, unsigned int options = 0, wchar_t escape = 0) {
    return c->bAddParameter(&v, kNoOp, options, nullptr, escape, CNAParameter::NA_PARAM_IN);
  }
  static CAny Int(long long n) {
    CAny v;
    v.SetI8(n);
    return v;
  }
  // A value of the setter's own type.
  template <typename T>
  static CAny Typed(void (CAny::*set)(T), std::type_identity_t<T> n) {
    CAny v;
    (v.*set)(n);
    return v;
  }
  static CAny Null() {
    CAny v = Int(0);
    v.SetNull(true);
    return v;
  }
  static CAny Text(const std::wstring& s) {
    CAny v;
    v.__SetType(ZV_DSTRW, 0);
    v.SetValueByte(s.c_str(), static_cast<unsigned int>(s.size() * sizeof(wchar_t)));
    return v;
  }
  // The formatted SQL of a command holding only text.
  std::wstring Rewritten(int dialect, const wchar_t* text) {
    CDialectCnx cnx(dialect);
    CNACommand* c = pclAllocCommand(&m_error, &cnx);
    c->AddRef();
    c->bComplete(text);
    const std::wstring out = Formated(c);
    c->nRelease();
    return out;
  }
  static std::wstring Formated(CNACommand* c) {
    const wchar_t* s = c->pszGetFormatedSQL(NA_PARAMCONV_ALL);
    return s != nullptr ? s : L"<refused>";
  }

  // The record of a key `id`, `a b` and a memo `m`, named as in the table.
  static bool ThreeColumns(RecordBench* bench) {
    bench->Add(L"id", NA_IT_IDAUTO4, 4, kPrimary, FALSE);
    bench->Add(L"a b", NA_IT_I4, 4);
    bench->Add(L"m", NA_IT_MEMOTEXTE, 8);
    for (auto& item : bench->m_items) item.m_pszNameInSource = L"";
    return bench->Build();
  }

  // A connection that outlives the test's commands.
  CDialectCnx& Cnx(int dialect, int major = 8) { return *m_cnx.emplace_back(std::make_unique<CDialectCnx>(dialect, major)); }

  CMySQLDriver m_driver;
  CNAError m_error;
  std::vector<std::unique_ptr<CDialectCnx>> m_cnx;
  std::vector<CNACommand*> m_commands;
};

// ---------------------------------------------------------------- positions against a model

// The model: a sequence of characters and parameter marks; a mark's position is the number of
// characters before it.
using Elem = std::variant<wchar_t, long long>;
struct Model {
  std::vector<Elem> elems;
  std::wstring Text() const {
    std::wstring t;
    for (const Elem& e : elems)
      if (e.index() == 0) t += std::get<0>(e);
    return t;
  }
  // Element index of character position pos: before the marks standing there (after them with
  // bAfterMarks).
  size_t Index(size_t pos, bool bAfterMarks) const {
    size_t chars = 0, i = 0;
    for (; i < elems.size(); ++i) {
      if (chars == pos && (elems[i].index() == 0 || !bAfterMarks)) break;
      if (elems[i].index() == 0) ++chars;
    }
    return i;
  }
  // The text with each mark's number spliced in, a blank before any text (or a further mark) that
  // follows a value unless a blank is there.
  std::wstring Splice() const {
    const std::wstring text = Text();
    std::wstring out;
    size_t chars = 0;
    auto blankBefore = [&](wchar_t next) {
      if (!out.empty() && out.back() != L' ' && next != L' ') out += L' ';
    };
    bool afterValue = false;
    for (const Elem& e : elems) {
      if (e.index() == 0) {
        if (afterValue) blankBefore(std::get<0>(e));
        afterValue = false;
        out += std::get<0>(e);
        ++chars;
      } else {
        if (afterValue) blankBefore(chars < text.size() ? text[chars] : 0);
        out += std::to_wstring(std::get<1>(e));
        afterValue = true;
      }
    }
    return out;
  }
};

TEST_F(Command, RandomEditsKeepEveryValueAtItsPlace) {
  CDialectCnx& cnx = Cnx(4);
  std::mt19937 rng(27);
  const wchar_t alphabet[] = L"ab )(, ";
  auto word = [&] {
    std::wstring s(rng() % 4, L'x');
    for (wchar_t& ch : s) ch = alphabet[rng() % (std::size(alphabet) - 1)];
    return s;
  };
  for (int round = 0; round < 200; ++round) {
    CNACommand* a = Make(&cnx);
    CNACommand* b = Make(&cnx);
    Model ma, mb;
    long long next = 1;
    for (int step = 0; step < 40; ++step) {
      const bool onB = rng() % 4 == 0;
      CNACommand* c = onB ? b : a;
      Model& m = onB ? mb : ma;
      const size_t len = m.Text().size();
      const std::wstring s = word();
      switch (rng() % 7) {
        case 0:
          c->bComplete(s.c_str());
          for (wchar_t ch : s) m.elems.emplace_back(ch);
          break;
        case 1:
          ASSERT_TRUE(Param(c, Int(next)));
          m.elems.emplace_back(next++);
          break;
        case 2: {
          const size_t pos = rng() % (len + 1);
          c->Insert(static_cast<unsigned int>(pos), s.c_str());
          const size_t at = m.Index(pos, false);
          m.elems.insert(m.elems.begin() + static_cast<long>(at), s.begin(), s.end());
          break;
        }
        case 3: {
          if (len == 0) break;
          const size_t pos = rng() % (len + 1), count = rng() % (len - pos + 2);
          c->Replace(static_cast<unsigned int>(pos), static_cast<unsigned int>(count), s.c_str());
          const size_t end = std::min(len, pos + count);
          // Marks at pos stay before the new text, marks at the end come after it, marks inside go.
          const size_t first = m.Index(pos, end > pos), last = m.Index(end, false);
          std::vector<Elem> kept(m.elems.begin(), m.elems.begin() + static_cast<long>(first));
          kept.insert(kept.end(), s.begin(), s.end());
          kept.insert(kept.end(), m.elems.begin() + static_cast<long>(last), m.elems.end());
          m.elems = kept;
          break;
        }
        case 4: {
          const size_t cut = rng() % (len + 1);
          c->Tronque(static_cast<unsigned int>(cut));
          m.elems.resize(m.Index(cut, false));
          break;
        }
        default: {
          if (onB) break;
          const eADDMMODE mode = rng() % 2 != 0 ? NA_ADD_CLONE : NA_ADD_SHARE;
          const size_t before = ma.Text().size();
          ASSERT_TRUE(a->bAdd(b, mode));
          ma.elems.insert(ma.elems.end(), mb.elems.begin(), mb.elems.end());
          if (mode == NA_ADD_SHARE) {
            // The shared values belong to a now: a value moved past b's text is refused in b.
            const size_t blen = mb.Text().size();
            bool past = false;
            for (size_t i = 0; i < static_cast<size_t>(b->nGetParameterNbr()); ++i)
              past = past || b->pclGetParameterNoRef(static_cast<int>(i))->nGetPosition() > blen;
            b->ResetFormatedSQL();
            if (past) {
              EXPECT_EQ(Formated(b), L"<refused>");
            }
            (void)before;
            b->ResetCommand(0);
            mb.elems.clear();
          }
        }
      }
      ASSERT_EQ(std::wstring(c->pszGetOriginalSQL()), m.Text()) << round << "." << step;
      for (Model* mm : {&ma, &mb}) {
        CNACommand* cc = mm == &ma ? a : b;
        cc->ResetFormatedSQL();
        ASSERT_EQ(Formated(cc), mm->Splice()) << round << "." << step << " [" << mm->Text() << "]";
      }
    }
  }
}

TEST_F(Command, ParametersOutOfPlaceAreRefusedNotRead) {
  CDialectCnx& cnx = Cnx(5);
  const struct { std::vector<unsigned int> positions; bool ok; } rows[] = {
      {{0, 3, 3}, true}, {{3, 0}, false}, {{4}, false}, {{0, 100000}, false}, {{0xffffffffu}, false}};
  for (const auto& r : rows) {
    CNACommand* c = Make(&cnx);
    c->bComplete(L"a=b");
    for (unsigned int p : r.positions) {
      ASSERT_TRUE(Param(c, Int(p)));
      c->pclGetParameterNoRef(c->nGetParameterNbr() - 1)->SetPosition(p);
    }
    m_error.Reset();
    EXPECT_EQ(c->pszGetFormatedSQL(NA_PARAMCONV_ALL) != nullptr, r.ok);
    EXPECT_EQ(m_error.dwGetErrorId(), r.ok ? 0u : 24u);
  }
}

TEST_F(Command, ReplaceMovesLaterParametersByTheChangeOfLength) {
  CDialectCnx& cnx = Cnx(4);
  CNACommand* c = Make(&cnx);
  c->bComplete(L"a = ");
  Param(c, Int(1));
  c->bComplete(L" AND b = ");
  Param(c, Int(2));
  c->Replace(0, 1, L"column_a");
  EXPECT_EQ(Formated(c), L"column_a = 1 AND b = 2");
  c->Replace(12, 3, L"OR");
  c->ResetFormatedSQL();
  EXPECT_EQ(Formated(c), L"column_a = 1 OR b = 2");
}

TEST_F(Command, TronqueAndInsertAtAParameter) {
  CDialectCnx& cnx = Cnx(4);
  CNACommand* c = Make(&cnx);
  c->bComplete(L"f(");
  Param(c, Int(7));
  c->bComplete(L")");
  EXPECT_EQ(Formated(c), L"f(7 )");
  c->Insert(2, L"x,");
  c->ResetFormatedSQL();
  EXPECT_EQ(Formated(c), L"f(x,7 )");
  Param(c, Int(8));
  c->Tronque(5);
  EXPECT_EQ(c->nGetParameterNbr(), 1);
  c->Tronque(4);
  EXPECT_EQ(c->nGetParameterNbr(), 0);
}

// A literal the connection refuses leaves nothing behind that a later request would send.
TEST_F(Command, FailedBuildIsNeverHandedOutLater) {
  CDialectCnx& cnx = Cnx(5);
  CNACommand* c = Make(&cnx);
  c->bComplete(L"SELECT ");
  Param(c, Int(1));
  c->bComplete(L", ");
  CAny inf;
  inf.SetR8(1.0 / 0.0);
  Param(c, inf);
  EXPECT_EQ(Formated(c), L"<refused>");
  EXPECT_EQ(Formated(c), L"<refused>");
}

TEST_F(Command, UnreadableFileFailsTheBuild) {
  CDialectCnx& cnx = Cnx(5);
  CNACommand* c = Make(&cnx);
  c->bComplete(L"INSERT INTO t VALUES (");
  Param(c, Text(L"/nonexistent/qx/file"), NA_PARAM_FILE);
  c->bComplete(L")");
  EXPECT_EQ(Formated(c), L"<refused>");
  EXPECT_EQ(m_error.dwGetErrorId(), 15u);
}

// ---------------------------------------------------------------- rewrites and scanners

TEST_F(Command, RowLimitsAreWrittenInTheDialectsForm) {
  const struct { int dialect; const wchar_t* text; long long limit, offset; const wchar_t* want; } rows[] = {
      {1, L"SELECT a FROM t LIMIT 10", -1, -1, L"SELECT TOP 10 a FROM t"},
      {2, L"select a from t limit 3", -1, -1, L"SELECT TOP 3 a from t"},
      {1, L"SELECT a FROM t LIMIT 5, 10", -1, -1, L"SELECT a FROM t LIMIT 5, 10"},
      {1, L"SELECT a FROM t WHERE b = 'no LIMIT 1 here'", -1, -1, L"SELECT a FROM t WHERE b = 'no LIMIT 1 here'"},
      {4, L"SELECT a FROM t LIMIT 10", -1, -1, L"SELECT a FROM t LIMIT 10"},
      {5, L"SELECT TOP 10 a FROM t", -1, -1, L"SELECT a FROM t LIMIT 10"},
      {5, L"SELECT TOP 10 a FROM t", 3, 20, L"SELECT a FROM t LIMIT 20, 10"},
      {6, L"SELECT   top 7 a FROM t", -1, -1, L"SELECT   a FROM t LIMIT 7"},
      {5, L"SELECT a FROM t", 5, -1, L"SELECT a FROM t LIMIT 5"},
      {5, L"SELECT a FROM t", 0, -1, L"SELECT a FROM t"},
      {5, L"SELECT a FROM t", -1, -1, L"SELECT a FROM t"},
      {5, L"SELECT a FROM t", 3000000000LL, 5000000000LL, L"SELECT a FROM t LIMIT 5000000000, 3000000000"},
      {5, L"SELECT a FROM t LIMIT 0", 5, -1, L"SELECT a FROM t LIMIT 0"},
      {5, L"UPDATE t SET a = 1", 5, -1, L"UPDATE t SET a = 1"},
  };
  for (const auto& r : rows) {
    CDialectCnx& cnx = Cnx(r.dialect);
    CNACommand* c = Make(&cnx);
    c->bComplete(r.text);
    c->SetRowLimit(r.limit, r.offset);
    EXPECT_EQ(Formated(c), r.want) << r.text;
  }
}

// A command whose last parameter is replaced after a build (the bytes before its literal kept)
// hands out the formatted SQL a command built whole with that value hands out: narrow and wide,
// with row limits, TOP and LIMIT rewrites, a literal that ends the text, two parameters, two
// replacements before a request, a code page, row limit or text changed in between, a literal
// ending with a blank or not before a text without one, and "LIMIT 0" read across the literal.
TEST_F(Command, ReplacedLastParameterFormatsAsAWholeBuild) {
  const std::wstring longTail = L" ORDER BY x, " + std::wstring(300, L'y');
  struct Row {
    int dialect, serverCP;
    std::vector<const wchar_t*> texts;  // text, then a parameter between every two
    CAny first, second;
    long long limit, offset;
    int changedCP;  // the server code page at the request (0: unchanged)
    bool twice;     // replaced once more, by the first value, before the second
    long long newLimit = -2;        // the row limit set after the replacement (-2: unchanged)
    const wchar_t* added = nullptr;  // text completed after the replacement
    const wchar_t* lastChar = nullptr;  // the text's last character replaced by this one after it
  } rows[] = {
      {5, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(14), Int(-7933), 100, -1, 0, false},
      {5, 65001, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(14), Int(7), 15, 30, 0, false},
      {5, -1, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Int(123456789012LL), 100, -1, 0, false},
      {5, 65001, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Text(L"a'b"), Text(L"\u00e9\U0001F600"), 100, -1, 0, false},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L""}, Int(3), Int(0), 5, -1, 0, false},
      {5, 1252, {L"SELECT a FROM t LIMIT ", L""}, Int(3), Int(0), 5, -1, 0, false},
      {5, 1252, {L"SELECT a FROM t LIMIT ", L""}, Int(0), Int(3), 5, -1, 0, false},
      {5, 1252, {L"SELECT TOP 3 a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Int(2), 100, -1, 0, false},
      {1, 1252, {L"SELECT a FROM t WHERE x=", L" LIMIT 10"}, Int(1), Int(2), -1, -1, 0, false},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L"OR y=1"}, Int(1), Text(L"b "), -1, -1, 0, false},
      {5, 1252, {L"SELECT a FROM t WHERE y=", L" AND x=", L" ORDER BY x"}, Int(5), Int(6), 100, -1, 0, false},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Int(2), 100, -1, 0, true},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Text(L"\u00e9"), Text(L"\u00e8"), 100, -1, 65001, false},
      {5, 65001, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Int(2), 100, -1, -1, false},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L"OR y=1"}, Text(L"b "), Int(1), -1, -1, 0, false},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L"OR y=1"}, Text(L"b "), Text(L"c "), 10, -1, 0, true},
      {5, 1252, {L"SELECT a FROM t WHERE x IN (SELECT b FROM u LIMIT ", L")"}, Int(3), Int(0), 5, -1, 0, false},
      {5, 1252, {L"SELECT a FROM t WHERE x IN (SELECT b FROM u LIMIT ", L")"}, Int(0), Int(3), 5, -1, 0, false},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Int(2), 100, -1, 0, false, 50},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Int(2), 100, -1, 0, false, -1},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Int(2), 100, -1, 0, false, -2, L", y"},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Int(2), 100, -1, 0, false, -2, nullptr, L"z"},
      {5, 1252, {L"SELECT ", L" FROM t"}, Int(1), Int(2), 100, -1, 0, false},
      {5, 1252, {L"SELECT TOP ", L" a FROM t"}, Int(3), Int(4), 100, -1, 0, false},
      {7, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Int(2), 100, -1, 0, true},
      // The key's digits and the kept tail written at once, in both code pages and wide, for
      // every integer type, its limits, zero and below; a NULL, a real or a text key after an
      // integer one, and an integer after them; a tail of some hundred characters.
      {5, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Int(0), 100, -1, 0, false},
      {5, 65001, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Int(-1), 100, -1, 0, false},
      {5, -1, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Int(-5), 100, -1, 0, false},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Int(INT64_MIN), 100, -1, 0, false},
      {5, 65001, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Int(INT64_MAX), 100, -1, 0, false},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Typed(&CAny::SetI4, INT32_MIN), 100, -1, 0, false},
      {5, 65001, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Typed(&CAny::SetI4, 3), Typed(&CAny::SetI4, INT32_MAX), 100, -1, 0, false},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Typed(&CAny::SetUI4, 3u), Typed(&CAny::SetUI4, UINT32_MAX), 100, -1, 0, false},
      {5, 65001, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Typed(&CAny::SetUI8, UINT64_MAX), 100, -1, 0, false},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Typed(&CAny::SetUI8, 4294967296ull), 100, -1, 0, false},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Typed(&CAny::SetI1, char{-128}), 100, -1, 0, false},
      {5, 65001, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Typed(&CAny::SetUI1, static_cast<unsigned char>(255)), 100, -1, 0, false},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Typed(&CAny::SetI2, short{-32768}), 100, -1, 0, false},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Typed(&CAny::SetUI2, static_cast<unsigned short>(65535)), 100, -1, 0, false},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Null(), 100, -1, 0, false},
      {5, 65001, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Null(), Int(7), 100, -1, 0, false},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Typed(&CAny::SetR8, 2.5), 100, -1, 0, false},
      {5, 65001, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Typed(&CAny::SetR8, 2.5), Int(12345), 100, -1, 0, false},
      {5, 1252, {L"SELECT a FROM t WHERE x=", longTail.c_str()}, Int(1), Int(98765), 100, -1, 0, false},
      {5, 65001, {L"SELECT a FROM t WHERE x=", longTail.c_str()}, Int(1), Int(-98765), 100, -1, 0, false, 50},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Text(L"12"), 100, -1, 0, false},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Int(2), 100, -1, 65001, false},
      {5, 65001, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Int(-2), 100, -1, -1, false},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Int(2), 100, -1, 0, false, 7},
      {5, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Int(2), 100, -1, 0, false, -2, L" DESC"},
      {5, 65001, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Int(2), 100, -1, 0, false, -2, nullptr, L"y"},
      {1, 1252, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Int(-3), 100, -1, 0, false},
      {3, 65001, {L"SELECT a FROM t WHERE x=", L" ORDER BY x"}, Int(1), Int(3), 100, -1, 0, true},
  };
  // The bytes of the formatted SQL, in whatever width it holds them.
  auto bytes = [](CNACommand* c) {
    CTStringConcatAW* f = c->pclGetFormatedSQL(NA_PARAMCONV_ALL);
    if (f == nullptr) return std::string("<refused>");
    if (f->bIsWide()) return std::string(reinterpret_cast<const char*>(f->pszGetW()), f->nGetLength() * sizeof(wchar_t));
    return std::string(f->pszGetA(), static_cast<size_t>(f->nGetLength()));
  };
  for (const Row& r : rows) {
    CDialectCnx& cnx = *m_cnx.emplace_back(std::make_unique<CDialectCnx>(r.dialect, 8, r.serverCP));
    auto build = [&](const CAny& last) {
      CNACommand* c = Make(&cnx);
      for (size_t i = 0; i < r.texts.size(); ++i) {
        if (i > 0) {
          EXPECT_TRUE(Param(c, i + 1 == r.texts.size() ? last : Int(42)));
        }
        c->bComplete(r.texts[i]);
      }
      c->SetRowLimit(r.limit, r.offset);
      return c;
    };
    // What the replaced command is told after its replacement, the whole build told the same.
    auto change = [&](CNACommand* c) {
      if (r.newLimit != -2) c->SetRowLimit(r.newLimit, r.offset);
      if (r.added != nullptr) c->bComplete(r.added);
      if (r.lastChar != nullptr) c->Replace(static_cast<unsigned int>(wcslen(c->pszGetOriginalSQL())) - 1, 1, r.lastChar);
    };
    const std::string what = ParseBench::Narrow(r.texts[0]) + " " + std::to_string(r.dialect) + " " + std::to_string(r.serverCP);
    CNACommand* replaced = build(r.first);
    ASSERT_NE(bytes(replaced), "<refused>") << what;
    CNACommand* other = build(r.first);
    CNACommand* whole = build(r.second);
    change(whole);
    const int last = whole->nGetParameterNbr() - 1;
    if (r.twice) {
      ASSERT_TRUE(replaced->bReplaceLastParameter(other->pclGetParameterNoRef(last))) << what;
    }
    ASSERT_TRUE(replaced->bReplaceLastParameter(whole->pclGetParameterNoRef(last))) << what;
    change(replaced);
    if (r.changedCP != 0) cnx.SetServerCodePage(r.changedCP);
    EXPECT_EQ(bytes(replaced), bytes(whole)) << what;
    // Once more from the new build's noted place, and again.
    change(other);
    for (CNACommand* next : {other, whole}) {
      ASSERT_TRUE(replaced->bReplaceLastParameter(next->pclGetParameterNoRef(last))) << what;
      EXPECT_EQ(bytes(replaced), bytes(next)) << what;
    }
  }
}

// A parameter that would not stand where the last one stands, or a command in rewrite mode, is
// refused: the command and its formatted SQL stay as they are.
TEST_F(Command, ReplacingTheLastParameterElsewhereIsRefused) {
  CDialectCnx& cnx = Cnx(5);
  CNACommand* c = Make(&cnx);
  c->bComplete(L"SELECT a FROM t WHERE x=");
  ASSERT_TRUE(Param(c, Int(1)));
  c->bComplete(L" ORDER BY x");
  const std::wstring before = Formated(c);
  CNACommand* other = Make(&cnx);
  other->bComplete(L"SELECT a FROM t WHERE xy=");
  ASSERT_TRUE(Param(other, Int(2)));
  EXPECT_FALSE(c->bReplaceLastParameter(other->pclGetParameterNoRef(0)));
  EXPECT_FALSE(c->bReplaceLastParameter(nullptr));
  EXPECT_FALSE(Make(&cnx)->bReplaceLastParameter(other->pclGetParameterNoRef(0)));
  c->SetRewriteMode(TRUE);
  CNACommand* same = Make(&cnx);
  same->bComplete(L"SELECT a FROM t WHERE x=");
  ASSERT_TRUE(Param(same, Int(3)));
  EXPECT_FALSE(c->bReplaceLastParameter(same->pclGetParameterNoRef(0)));
  EXPECT_EQ(Formated(c), before);
  EXPECT_EQ(c->pclGetParameterNoRef(0)->nGetPosition(), 24u);
}

// The offset comes first in LIMIT n, m: a zero count after an offset is no TOP n.
TEST_F(Command, LimitWithOffsetAndZeroCountIsNotTop) {
  EXPECT_EQ(Rewritten(1, L"SELECT a FROM t LIMIT 5, 0"), L"SELECT a FROM t LIMIT 5, 0");
}
TEST_F(Command, LimitWithoutNumberIsNoTop) {
  EXPECT_EQ(Rewritten(1, L"SELECT a FROM t LIMIT @n"), L"SELECT a FROM t LIMIT @n");
}
TEST_F(Command, CountStarKeepsItsParenthesesUnderTop) {
  EXPECT_EQ(Rewritten(1, L"SELECT COUNT(*) LIMIT 1"), L"SELECT TOP 1 COUNT(*)");
}
TEST_F(Command, ColumnNamedTop1IsNoTopPhrase) {
  EXPECT_EQ(Rewritten(5, L"SELECT top10 FROM t"), L"SELECT top10 FROM t");
}
TEST_F(Command, TopZeroAsksForNoRow) {
  EXPECT_EQ(Rewritten(5, L"SELECT TOP 0 a FROM t"), L"SELECT a FROM t LIMIT 0");
}
TEST_F(Command, QuotedNameEndingTheTextHidesItsKeyword) {
  CDialectCnx& cnx = Cnx(5);
  EXPECT_EQ(CNACommand::s_nGetClauseStart(&cnx, L"SELECT a FROM `t LIMIT 5`", L"LIMIT", -1), -1);
}

// A quoted name is skipped whatever follows its closing quote (a qualifier's "."), and a
// doubled quote inside it does not end it.
TEST_F(Command, QuotedQualifierHidesTheKeywordsOfItsName) {
  CDialectCnx& cnx = Cnx(5);
  const struct { const wchar_t* text; const wchar_t* keyword; int want; } rows[] = {
      {L"SELECT `my LIMIT 3`.* FROM `my LIMIT 3`", L"LIMIT", -1},
      {L"SELECT a FROM `db`.`t LIMIT 3`", L"LIMIT", -1},
      {L"SELECT a FROM x.`t LIMIT 3` LIMIT 2", L"LIMIT", 28},
      {L"SELECT `a``b LIMIT 1`.c FROM t", L"LIMIT", -1},
      {L"SELECT `a LIMIT 1```.c FROM t", L"LIMIT", -1},
      {L"SELECT `x ORDER BY y`.a FROM `x ORDER BY y`", L"ORDER", -1},
      {L"SELECT `t ORDER BY a`.a FROM t ORDER BY a", L"ORDER", 31},
  };
  for (const auto& r : rows) EXPECT_EQ(CNACommand::s_nGetClauseStart(&cnx, r.text, r.keyword, -1), r.want) << r.text;
  EXPECT_FALSE(CNACommand::s_bQueryResultsetLimited(&cnx, L"SELECT `my LIMIT 3`.* FROM `my LIMIT 3`"));
  EXPECT_EQ(Rewritten(1, L"SELECT `my LIMIT 3`.* FROM `my LIMIT 3`"), L"SELECT `my LIMIT 3`.* FROM `my LIMIT 3`");
}

// LIMIT becomes TOP only when nothing but separators follows its count: an OFFSET or a FOR
// UPDATE would be dropped with it.
TEST_F(Command, LimitFollowedByMoreThanItsCountIsNotTop) {
  const struct { const wchar_t* text; const wchar_t* want; } rows[] = {
      {L"SELECT a FROM t LIMIT 10 OFFSET 5", L"SELECT a FROM t LIMIT 10 OFFSET 5"},
      {L"SELECT a FROM t LIMIT 10 FOR UPDATE", L"SELECT a FROM t LIMIT 10 FOR UPDATE"},
      {L"SELECT a FROM t LIMIT 10 LOCK IN SHARE MODE", L"SELECT a FROM t LIMIT 10 LOCK IN SHARE MODE"},
      {L"SELECT a FROM t LIMIT 10;", L"SELECT a FROM t LIMIT 10;"},
      {L"SELECT a FROM t LIMIT 10 \r\n", L"SELECT TOP 10 a FROM t"},
  };
  for (int dialect : {1, 2, 3})
    for (const auto& r : rows) EXPECT_EQ(Rewritten(dialect, r.text), r.want) << dialect << " " << r.text;
}

TEST_F(Command, ClauseStartSkipsLiteralsQuotedNamesAndWords) {
  CDialectCnx& cnx = Cnx(5);
  const struct { const wchar_t* text; int from, want; } rows[] = {
      {L"SELECT a FROM t LIMIT 5", -1, 16},     {L"select a from t limit 5", -1, 16},
      {L"SELECT 'no LIMIT here' x", -1, -1},    {L"SELECT 'it''s LIMIT x' y", -1, -1},
      {L"SELECT `a LIMIT b` FROM t", -1, -1},   {L"SELECT a FROM `t`LIMIT 5", -1, -1},
      {L"SELECT a XLIMIT 5", -1, -1},           {L"SELECT a LIMITS 5", -1, -1},
      {L"SELECT a FROM t LIMIT", -1, -1},       {L"LIMIT 5", -1, -1},
      {L"SELECT a LIMIT 1 LIMIT 2", 14, 9},     {L"SELECT a\tLIMIT(1)", -1, 9},
      {L"", -1, -1},                            {nullptr, -1, -1},
  };
  for (const auto& r : rows) EXPECT_EQ(CNACommand::s_nGetClauseStart(&cnx, r.text, L"LIMIT", r.from), r.want) << r.text;
  EXPECT_TRUE(CNACommand::s_bQueryResultsetLimited(&cnx, L"select a from t limit 3"));
  EXPECT_TRUE(CNACommand::s_bQueryResultsetLimited(&cnx, L"SELECT  TOP 3 a FROM t"));
  EXPECT_FALSE(CNACommand::s_bQueryResultsetLimited(&cnx, L"SELECT topic FROM t"));
  EXPECT_FALSE(CNACommand::s_bQueryResultsetLimited(&cnx, L" SELECT a FROM t LIMIT 3"));
}

TEST_F(Command, SetStatementsAndWordTests) {
  const struct { const wchar_t* text; bool set; } sets[] = {
      {L"SET NAMES utf8", true}, {L"SET x=1", true},   {L"  set x=1 ;; ", true}, {L"SET NAMES utf8\t;", true},
      {L"SET x = 1", false},     {L"SET", true},       {L"SET x", true},         {L"", false},
      {L"   ", false},           {L"SELECT 1", false}, {nullptr, false},
  };
  for (const auto& r : sets) EXPECT_EQ(CNACommand::s_bIsQuerySet(r.text), r.set) << r.text;
  const struct { const wchar_t *text, *word; int pos; bool word2, ends; } words[] = {
      {L"  ESCAPE '!'", L"ESCAPE", 2, true, false}, {L"escaped", L"ESCAPE", 0, false, false},
      {L"x LIMIT 0", L"LIMIT 0", -1, false, true},  {L"x limit 0 )\r\n", L"LIMIT 0", -1, false, true},
      {L" LIMIT 0", L"LIMIT 0", 1, true, false},    {L"xLIMIT 0", L"LIMIT 0", -1, false, false},
      {L"ESCAPE", L"ESCAPE", 0, true, false},
  };
  for (const auto& r : words) {
    EXPECT_EQ(CNACommand::s_nGetPosSuiteRequete(r.text, r.word), r.pos) << r.text;
    EXPECT_EQ(CNACommand::s_bSuiteRequeteCommencePar(r.text, r.word), r.pos >= 0) << r.text;
    EXPECT_EQ(CNACommand::s_bSuiteRequeteCommenceParMot(r.text, r.word), r.word2) << r.text;
    EXPECT_EQ(CNACommand::s_bRequeteTerminePar(r.text, r.word), r.ends) << r.text;
  }
  CTString name(L"old");
  unsigned int start = 0, end = 0;
  EXPECT_TRUE(CNACommand::s_bGetItemNameAndPos(&name, &start, &end, L"AS  [my name] x", 2));
  EXPECT_EQ(std::wstring(name.pszGet()) + L" " + std::to_wstring(start) + L" " + std::to_wstring(end), L"my name 4 12");
  EXPECT_TRUE(CNACommand::s_bGetItemNameAndPos(&name, &start, &end, L"AS alias,", 2));
  EXPECT_EQ(std::wstring(name.pszGet()) + L" " + std::to_wstring(start) + L" " + std::to_wstring(end), L"alias 3 7");
  // The text ends first: the name stays, its end unknown.
  EXPECT_TRUE(CNACommand::s_bGetItemNameAndPos(&name, &start, &end, L"AS last", 2));
  EXPECT_EQ(std::wstring(name.pszGet()) + L" " + std::to_wstring(start) + L" " + std::to_wstring(end),
            L"alias 3 4294967295");
}

// ---------------------------------------------------------------- LIKE

TEST_F(Command, LikePatternsOnEveryDialect) {
  const struct { int dialect, major; const wchar_t *before, *pattern; wchar_t escape; const wchar_t *after, *want; } rows[] = {
      {5, 8, L"x LIKE ", L"ab\\%c", 0, L"", L"x LIKE 'ab\\%c'"},
      {1, 8, L"x LIKE ", L"ab\\%c", 0, L"", L"x LIKE N'ab\\%c' ESCAPE '\\'"},
      {4, 8, L"x LIKE ", L"ab\\%c", 0, L"", L"x LIKE 'ab\\%c' ESCAPE '\\'"},
      {6, 8, L"x LIKE ", L"ab\\%c", 0, L"", L"x LIKE 'ab\\%c' ESCAPE '\\\\'"},
      {6, 9, L"x LIKE ", L"ab\\%c", 0, L"", L"x LIKE 'ab\\%c' ESCAPE '\\'"},
      {12, 8, L"x LIKE ", L"ab\\%c", 0, L"", L"x LIKE 'ab\\%c' ESCAPE '\\\\'"},
      {4, 8, L"x LIKE ", L"abc%", 0, L"", L"x LIKE 'abc%'"},
      {2, 8, L"x LIKE ", L"[a]\\_%", 0, L"", L"x LIKE N'[[]a]\\_%' ESCAPE '\\'"},
      {3, 8, L"x LIKE ", L"a\\%b\\_c\\\\d%", 0, L"", L"x LIKE 'a[%]b[_]c\\d%'"},
      {3, 8, L"x LIKE ", L"a\\%", 0, L" ESCAPE '\\' AND y = 1", L"x LIKE 'a[%]' AND y = 1"},
      {3, 8, L"x LIKE ", L"a\\%", 0, L" escape '\\", L"x LIKE 'a[%]'"},
      {5, 8, L"x LIKE ", L"50!%", L'!', L"", L"x LIKE '50!%' ESCAPE '!'"},
      {1, 8, L"x LIKE ", L"50!%", L'!', L"", L"x LIKE N'50!%' ESCAPE '!'"},
      {3, 8, L"x LIKE ", L"50!%", L'!', L"", L"x LIKE '50[%]'"},
      {5, 8, L"x LIKE ", L"50%", L'!', L"", L"x LIKE '50%'"},
      {5, 8, L"x LIKE ", L"50!%", L'!', L" ESCAPE '!'", L"x LIKE '50!%' ESCAPE '!'"},
      {1, 8, L"x LIKE ", L"a\\%", 0, L" ESCAPE '\\'", L"x LIKE N'a\\%' ESCAPE '\\'"},
      // A lone escape stands for itself; doubled quotes are one quote.
      {4, 8, L"x LIKE ", L"a\\b''c", 0, L"", L"x LIKE 'a\\\\b''c' ESCAPE '\\'"},
  };
  for (const auto& r : rows) {
    CDialectCnx& cnx = Cnx(r.dialect, r.major);
    CNACommand* c = Make(&cnx);
    c->bComplete(r.before);
    Param(c, Text(r.pattern), NA_PARAM_LIKE, r.escape);
    c->bComplete(r.after);
    EXPECT_EQ(Formated(c), r.want) << r.dialect << " " << r.pattern << r.after;
  }
}

// Two quotes are one quote, as in any longer pattern: the text of one quote matches itself.
TEST_F(Command, PatternOfOneQuoteMatchesOneQuote) {
  CDialectCnx& cnx = Cnx(4);
  CNACommand* c = Make(&cnx);
  c->bComplete(L"x LIKE ");
  CXYString<wchar_t> pattern;
  ASSERT_TRUE(c->bEscapeLIKEParamAsKJParam(&pattern, L"'", 0));
  Param(c, Text(pattern.pszGet()), NA_PARAM_LIKE);
  EXPECT_EQ(Formated(c), L"x LIKE ''''");
}

// MySQL reads a backslash as its LIKE escape unless a clause names another one.
TEST_F(Command, HostEscapeKeepsBackslashLiteralOnMySQL) {
  CDialectCnx& cnx = Cnx(5);
  CNACommand* c = Make(&cnx);
  c->bComplete(L"x LIKE ");
  Param(c, Text(L"a\\b%"), NA_PARAM_LIKE, L'!');
  EXPECT_EQ(Formated(c), L"x LIKE 'a\\b%' ESCAPE '!'");
}

TEST_F(Command, LiteralPatternOfAText) {
  CDialectCnx& cnx = Cnx(5);
  CNACommand* c = Make(&cnx);
  const struct { const wchar_t* text; wchar_t escape; const wchar_t* want; } rows[] = {
      {L"50%", 0, L"50\\%"},       {L"", 0, nullptr},           {L"a_b'c", 0, L"a\\_b''c"},
      {L"x\\y", 0, L"x\\\\y"},     {L"50%!", L'!', L"50!%!!"},  {L"x\\y", L'!', L"x\\\\y"},
  };
  for (const auto& r : rows) {
    CXYString<wchar_t> out(L"previous");
    ASSERT_TRUE(c->bEscapeLIKEParamAsKJParam(&out, r.text, r.escape));
    if (r.want == nullptr)
      EXPECT_EQ(out.pGetData(), nullptr);
    else
      EXPECT_STREQ(out.pszGet(), r.want);
  }
  CXYString<char> narrow;
  ASSERT_TRUE(c->bEscapeLIKEParamAsKJParam(&narrow, "5%_", 0));
  EXPECT_STREQ(narrow.pszGet(), "5\\%\\_");
}

// ---------------------------------------------------------------- the rest of the command

TEST_F(Command, DumpWithAndWithoutParameters) {
  CDialectCnx& cnx = Cnx(5);
  CNACommand* c = Make(&cnx);
  c->bComplete(L"SELECT 1");
  EXPECT_STREQ(c->pszGetCommandDump(), L"Texte de la requête : SELECT 1\r\nNombre de paramètres : =0\r\n");
  CNACommand* d = Make(&cnx);
  d->bComplete(L"x = ");
  Param(d, Int(42));
  Param(d, Text(L"ab"), NA_PARAM_CURSOR);
  CAny buffer;
  buffer.__SetType(ZV_BUFFER, 0);
  buffer.SetValueByte("abc", 3);
  Param(d, buffer);
  EXPECT_STREQ(d->pszGetCommandDump(),
               L"Texte de la requête : x = \r\nNombre de paramètres : =3\r\n"
               L"Paramètre :  0 :\tType Zavora 9 = <42>\r\n"
               L"Paramètre :  1 :\t = <cursor parameter>>\r\n"
               L"Paramètre :  2 :\tType Zavora 29 = <Buffer, size = 3>\r\n");
}

// A command used for one text and emptied for the next must build that text as a new command
// does: each row leaves one kind of state behind before the command is recycled.
TEST_F(Command, RecycledCommandBuildsAsANewOne) {
  CDialectCnx& cnx = Cnx(5);
  const std::function<void(CNACommand*)> dirty[] = {
      [](CNACommand* c) {
        c->bComplete(L"SELECT a FROM t WHERE b = ");
        Param(c, Int(5));
        Formated(c);
      },
      [](CNACommand* c) {
        c->SetRewriteMode(TRUE);
        c->SetAddParameters(FALSE);
        c->SetNAQueryType(NA_QUERY_UPDATE);
        c->SetDefineMode(2);
      },
      [](CNACommand* c) { c->SetRowLimit(10, 20); },
      [](CNACommand* c) { c->bAddSelectAdditionnalColumn(L"COUNT(*)", ZV_I8); },
      [](CNACommand* c) { c->_bInitColumnNullValueExcluded(); },
      [](CNACommand* c) {
        c->bComplete(L"x");
        c->pszGetCommandDump();
      },
      [](CNACommand* c) { c->bSetInternalQuery(L"DO 1", 4); },
      [](CNACommand* c) { c->SetBehindSubQuery(TRUE); },
  };
  // What a command shows after the same build: its SQL, kind and lists.
  auto build = [](CNACommand* c) {
    c->bComplete(L"SELECT TOP 3 a FROM t WHERE b = ");
    Param(c, Text(L"it's"));
    c->bComplete(L" AND c = ");
    Param(c, Int(7));
    return Formated(c) + L"|" + std::to_wstring(c->eGetQueryType()) + L"|" + std::to_wstring(c->nGetDefineMode()) +
           L"|" + std::to_wstring(c->nGetDefineNbr()) + L"|" + std::to_wstring(c->nGetParameterNbr()) + L"|" +
           std::to_wstring(c->llGetRowLimit()) + L"|" + std::to_wstring(c->llGetRowOffset()) + L"|" +
           std::to_wstring(c->bIsRewriteMode()) + std::to_wstring(c->bIsAddParameters()) +
           std::to_wstring(c->bIsBehindSubQuery()) + L"|" +
           c->pszGetAdditionalColumns() + L"|" + (c->pclGetColumnNullValueExcludedNoRef() == nullptr ? L"-" : L"set") +
           L"|" + c->pszGetCommandDump();
  };
  const std::wstring fresh = build(Make(&cnx));
  EXPECT_EQ(fresh.substr(0, fresh.find(L'|')), L"SELECT a FROM t WHERE b = 'it''s' AND c = 7 LIMIT 3");
  CNACommand* c = Make(&cnx);
  for (size_t i = 0; i < std::size(dirty); ++i) {
    dirty[i](c);
    c->Recycle();
    EXPECT_EQ(build(c), fresh) << i;
    c->Recycle();
  }
  // Everything at once.
  for (const auto& step : dirty) step(c);
  c->Recycle();
  EXPECT_EQ(build(c), fresh);
}

TEST_F(Command, KindsClassesAndDirections) {
  CDialectCnx& cnx = Cnx(5);
  CNACommand* c = Make(&cnx);
  const int kinds[][3] = {{0, 8, 8}, {1, 1, 1}, {2, 1, 1}, {3, 2, 2}, {4, 3, 3}, {5, 4, 4}, {6, 6, 8}, {7, 9, 8}, {-1, 8, 8}};
  for (const auto& k : kinds) {
    c->SetQueryType(static_cast<eTYPEREQUETE>(k[0]));
    EXPECT_EQ(c->eGetQueryType(), k[1]) << k[0];
    EXPECT_EQ(eConvertTypeQuery(static_cast<eTYPEREQUETE>(k[0])), k[2]) << k[0];
  }
  const int classes[][2] = {{1, 32}, {2, 1}, {9, 1}, {14, 1}, {10, 64}, {13, 64}, {11, 2}, {12, 2}, {16, 4}, {19, 4},
                            {81, 4}, {110, 4}, {24, 8}, {27, 8}, {128, 8}, {129, 8}, {28, 16}, {29, 16}, {30, 0}, {0, 0}};
  for (const auto& k : classes) EXPECT_EQ(ZVType2eParamType(static_cast<unsigned short>(k[0])), k[1]) << k[0];
  CAny v = Int(1);
  ASSERT_TRUE(c->bAddParameter(&v, kNoOp, 0, nullptr, 0, CNAParameter::NA_PARAM_IN));
  CNAParameter* p = c->pclGetParameterNoRef(0);
  const struct { int direction; const wchar_t* want; } directions[] = {{0, L"()"}, {1, L"(IN)"}, {3, L"(IN|OUT)"}, {7, L"(IN|OUT|RETURN)"}, {4, L"(RETURN)"}};
  for (const auto& d : directions) {
    CXYStringConcat<wchar_t> out;
    out.Add(L"junk");
    p->SetDirection(static_cast<CNAParameter::eNAPARAMETERINOUT>(d.direction));
    p->TypeParam2String(&out);
    EXPECT_STREQ(out.pszGet(), d.want);
  }
  CNAParameter* clone = p->pclGetClone();
  EXPECT_EQ(clone->pclGetValueNoRef(), p->pclGetValueNoRef());
  EXPECT_EQ(clone->eGetDirection(), CNAParameter::NA_PARAM_IN);
  p->SetDirection(CNAParameter::NA_PARAM_IN);
  EXPECT_TRUE(p->bEqualsParameter(clone));
  clone->SetEscape(L'!');
  EXPECT_FALSE(p->bEqualsParameter(clone));
  clone->nRelease();
}

// A recycled command takes back the defines of its last columns: every place must bind the column
// named there now, whatever stood there before.
TEST_F(Command, RecycledCommandsDefinesBindTheColumnsNamedNow) {
  RecordBench bench;
  ASSERT_TRUE(ThreeColumns(&bench));
  // columns named, one text after the other; "*" a define by name
  const std::vector<std::vector<const wchar_t*>> texts = {
      {L"id", L"a b", L"m"}, {L"id", L"a b", L"m"}, {L"a b", L"id"}, {}, {L"a b", L"id", L"*"},
      {L"m"},                {L"id", L"a b", L"m"}, {L"id", L"m"}};
  // Released before the bench's record goes.
  auto c = CHeldRef<CNACommand>::Take(pclAllocCommand(&m_error, &bench.m_cnx));
  auto other = CHeldRef<CNACommand>::Take(pclAllocCommand(&m_error, &bench.m_cnx));
  for (size_t t = 0; t < texts.size(); ++t) {
    c.get()->Recycle();
    for (const wchar_t* name : texts[t]) {
      if (std::wstring(name) == L"*")
        c.get()->bAddSelectAdditionnalColumn(L"COUNT(*)", ZV_I8);
      else
        c.get()->AddDefine(bench.Column(name));
    }
    ASSERT_EQ(c.get()->nGetDefineNbr(), static_cast<int>(texts[t].size())) << t;
    for (int i = 0; i < c.get()->nGetDefineNbr(); ++i) {
      const CNADefine* d = c.get()->pclGetDefineNoRef(i);
      const std::wstring name = texts[t][static_cast<size_t>(i)];
      if (name == L"*") {
        EXPECT_EQ(d->pclGetColumnNoRef(), nullptr) << t;
        EXPECT_STREQ(d->pszGetName(), L"COUNT(*)") << t;
        continue;
      }
      EXPECT_EQ(d->pclGetColumnNoRef(), bench.Column(name.c_str())) << t << " " << i;
      EXPECT_EQ(d->pclGetValueNoRef(), bench.Column(name.c_str())->pclGetNAValue()) << t << " " << i;
    }
    // Another command holding this text's defines keeps them as they are.
    if (t == 1) {
      other.get()->bAdd(c.get(), NA_ADD_CLONE);
      ASSERT_EQ(other.get()->nGetDefineNbr(), 3);
    }
  }
  EXPECT_EQ(other.get()->pclGetDefineNoRef(0)->pclGetColumnNoRef(), bench.Column(L"id"));
  EXPECT_EQ(other.get()->pclGetDefineNoRef(2)->pclGetColumnNoRef(), bench.Column(L"m"));
}

TEST_F(Command, SelectColumnsDefinesAndBindVariablesByName) {
  RecordBench bench;
  ASSERT_TRUE(ThreeColumns(&bench));
  CNACommand* c = pclAllocCommand(&m_error, &bench.m_cnx);
  c->AddRef();
  c->SetDefineMode(2);
  c->bComplete(L"SELECT ");
  ASSERT_TRUE(c->bAddSelectColumns(bench.Record(), 1));
  ASSERT_TRUE(c->bAddSelectAdditionnalColumn(L"COUNT(*)", ZV_I8));
  EXPECT_STREQ(c->pszGetOriginalSQL(), L"SELECT `id`,`a b`,`m`,COUNT(*)");
  EXPECT_EQ(c->nGetDefineNbr(), 4);
  EXPECT_STREQ(c->pclGetDefineNoRef(1)->pszGetName(), L"a b");
  EXPECT_STREQ(c->pclGetDefineNoRef(3)->pszGetName(), L"COUNT(*)");
  CAny v = Int(5);
  CNAConvertVariant* holder = c->_vpclGetNewVariant(nullptr, &v);
  ASSERT_TRUE(c->bAddParameter(holder, kNoOp, NA_PARAM_BIND, bench.Column(L"a b"), L"Prénom", 0, CNAParameter::NA_PARAM_IN));
  EXPECT_EQ(c->pclGetParameterByNameNoRef(L"PRENOM"), c->pclGetParameterNoRef(0));
  EXPECT_EQ(c->nGetUserParamIndice(c->pclGetParameterNoRef(0)), 0);
  EXPECT_EQ(c->pclGetParameterNoRef(0)->piGetItemNoRef(), bench.Column(L"a b")->piGetItemNoRef());
  c->ResetCommand(1);
  EXPECT_EQ(c->nGetDefineNbr(), 0);
  EXPECT_EQ(c->nGetParameterNbr(), 1);
  c->nRelease();
}

// ---------------------------------------------------------------- the host's parsed query

class ParsedCommand : public Command {
 protected:
  // A snapshot of text's parse with binds, referenced by the test.
  CSQLParserInfo* Snapshot(const std::wstring& text, INAQueryParametersValue* binds = nullptr) {
    ISQLParserInformation* parse = m_bench.Parse(text);
    CSQLParserInfo* info = new CSQLParserInfo(&m_error, parse, binds, 0);
    info->AddRef();
    if (parse != nullptr) parse->nRelease();
    m_snapshots.push_back(info);
    return info;
  }
  void TearDown() override {
    Command::TearDown();
    for (CSQLParserInfo* info : m_snapshots) info->nRelease();
    EXPECT_EQ(CHostSQLParser::nLive(), m_nLive) << "stand-in parser objects leaked";
  }
  static CAny Ansi(const char* s) {
    CAny v;
    v.__SetType(ZV_DSTRA, 0);
    v.SetValueByte(s, static_cast<unsigned int>(strlen(s)));
    return v;
  }

  ParseBench m_bench;
  std::vector<CSQLParserInfo*> m_snapshots;
  long m_nLive = CHostSQLParser::nLive();
};

// A holder keeps its type for a text of its own width and takes the host's otherwise; a cursor
// parameter is never asked for.
TEST_F(ParsedCommand, BindVariablesTakeTheHostsValues) {
  CDialectCnx& cnx = Cnx(4);
  CAny wide = Text(L"w\u00e9"), pansi, pwide, none;
  pansi.__SetType(ZV_PSTRA, 0);
  pansi.Intern()->SetValue("pa");
  pwide.__SetType(ZV_PSTRW, 0);
  pwide.Intern()->SetValue(L"pw");
  const struct { const wchar_t* name; CAny holder; const CAny* host; unsigned int options; unsigned short type; const wchar_t* want; } rows[] = {
      {L"a", Ansi("old"), &wide, NA_PARAM_BIND, ZV_DSTRW, L"'w\u00e9'"},
      {L"b", Ansi("old"), &pansi, NA_PARAM_BIND, ZV_DSTRA, L"'pa'"},
      {L"c", Text(L"old"), &pwide, NA_PARAM_BIND, ZV_DSTRW, L"'pw'"},
      {L"d", Ansi("old"), nullptr, NA_PARAM_BIND, ZV_I8, L"12"},
      {L"e", Ansi("old"), &none, NA_PARAM_BIND, ZV_DSTRA, L"'old'"},
      {L"f", Ansi("old"), &wide, NA_PARAM_BIND | NA_PARAM_CURSOR, ZV_DSTRA, L"'old'"},
      {L"g", Ansi("old"), &wide, 0, ZV_DSTRA, L"'old'"},
      {L"absent", Ansi("old"), nullptr, NA_PARAM_BIND, ZV_DSTRA, L"'old'"},
  };
  CHostQueryParameters* binds = new CHostQueryParameters;
  for (const auto& r : rows)
    if (r.host != nullptr) binds->Set(r.name, *r.host);
  binds->Set(L"d", Int(12));
  CSQLParserInfo* query = Snapshot(L"SELECT nom FROM clients WHERE id = {p}", binds);
  for (const auto& r : rows) {
    CNACommand* c = Make(&cnx);
    c->SetParsedQuery(query);
    CNAConvertVariant* holder = c->_vpclGetNewVariant(nullptr, &r.holder);
    ASSERT_TRUE(c->bAddParameter(holder, kNoOp, r.options, nullptr, r.name, 0, CNAParameter::NA_PARAM_IN));
    EXPECT_EQ(Formated(c), r.want) << r.name;
    EXPECT_EQ(holder->wGetType(), r.type) << r.name;
    c->ResetFormatedSQL();
    EXPECT_TRUE(c->bUpdateParametersValues());
  }
  for (const std::wstring& asked : binds->m_tabAsked) EXPECT_TRUE(asked != L"f" && asked != L"g") << ParseBench::Narrow(asked);
  EXPECT_FALSE(binds->m_tabAsked.empty());
  binds->Set(L"o", Int(1), 2);
  binds->Set(L"io", Int(1), 3);
  for (const auto& [name, out] : {std::pair{L"o", true}, {L"io", true}, {L"a", false}, {L"absent", false}}) {
    CNAParameter p(nullptr, 0, 0, name);
    EXPECT_EQ(p.bIsParamOUT(binds), out) << ParseBench::Narrow(name);
  }
  binds->nRelease();
}

TEST_F(ParsedCommand, EndOfQueryKeepsWhatTheParseDoesNotCover) {
  CDialectCnx& cnx = Cnx(5);
  const struct { const wchar_t* query; bool rewrite; const wchar_t* want; } rows[] = {
      {L"SELECT nom FROM clients WHERE id = 1 ORDER BY nom DESC LIMIT 5", false, L"x LIMIT 5"},
      {L"SELECT nom FROM clients WHERE id = 1 LIMIT 2, 3", false, L"x LIMIT 2, 3"},
      {L"SELECT ville FROM clients GROUP BY ville HAVING COUNT(*) > 1 LIMIT 1", false, L"x LIMIT 1"},
      {L"SELECT ville FROM clients GROUP BY ville LIMIT 4", false, L"x LIMIT 4"},
      {L"SELECT nom FROM clients WHERE id = 1", false, L"x"},
      {L"SELECT nom FROM clients LIMIT 5", false, L"x"},
      {L"SELECT nom FROM clients WHERE id = 1 LIMIT 5", true, L"x"},
  };
  for (const auto& r : rows) {
    CNACommand* c = Make(&cnx);
    c->bComplete(L"x");
    EXPECT_TRUE(c->bFormatEndOfQuery());
    c->SetParsedQuery(Snapshot(r.query));
    c->SetRewriteMode(r.rewrite);
    EXPECT_TRUE(c->bFormatEndOfQuery());
    EXPECT_STREQ(c->pszGetOriginalSQL(), r.want) << ParseBench::Narrow(r.query);
  }
}

// The tail of a parsed query a command was built from does not follow the command into its next
// text.
TEST_F(ParsedCommand, RecycledCommandForgetsItsParsedQuery) {
  CDialectCnx& cnx = Cnx(5);
  CNACommand* c = Make(&cnx);
  c->SetParsedQuery(Snapshot(L"SELECT ville FROM clients GROUP BY ville LIMIT 4"));
  c->Recycle();
  c->bComplete(L"x");
  EXPECT_TRUE(c->bFormatEndOfQuery());
  EXPECT_STREQ(c->pszGetOriginalSQL(), L"x");
  EXPECT_EQ(c->pclGetParsedQueryNoRef(), nullptr);
}

TEST_F(ParsedCommand, ResultsetLimitIsReadFromTheQueryOnce) {
  CDialectCnx& cnx = Cnx(5);
  CSQLParserInfo* limited = Snapshot(L"SELECT nom FROM clients ORDER BY nom LIMIT 3");
  EXPECT_TRUE(limited->bQueryResultsetLimited(&cnx));
  CSQLParserInfo* other = Snapshot(L"SELECT nom FROM clients WHERE nom = 'LIMIT 3'");
  EXPECT_FALSE(other->bQueryResultsetLimited(&cnx));
  // Another parse asks again.
  other->Set(limited->piGetParserNoRef(), nullptr, 0);
  EXPECT_TRUE(other->bQueryResultsetLimited(&cnx));
  other->Set(nullptr, nullptr, 0);
  EXPECT_FALSE(other->bQueryResultsetLimited(&cnx));
}

}  // namespace
