// The stand-in SQL engine as the driver reads it: the positions it reports tile the query text
// (a checker rebuilds every corpus query from what the parse answers), unsupported input gets a
// parse error naming its offset, random input never crashes it, and its counters, switches and
// bind values behave as the driver's tests rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "driver/inadatasourcedescription.h"
#include "sql/inaitemdescription.h"
#include "tests/support/parse_bench.h"

namespace {

// Rebuilds the text from the parse: the text between positioned pieces is copied, each piece is
// written from what the parse answers about it (names, qualifiers, literal values, operator
// tokens checked against the node's code). A position off by one, overlapping, out of order or a
// piece missing makes the rebuilt text differ or records a fault.
class CTilingChecker {
 public:
  CTilingChecker(ISQLParserInformation* parse) : m_p(parse), m_text(parse->pszGetRequete()) {}

  // The rebuilt text; faults are listed in Faults().
  std::wstring Rebuild() {
    IInfoClauseList* lists = m_p->piGetClauseList();
    std::vector<std::pair<uint32_t, std::function<void()>>> pieces;
    const int kind = m_p->nGetQueryKind();
    if (kind == 1) {
      int selectEnd = m_p->nGetSelectListEnd();
      uint32_t lastEnd = 0;
      for (IInfoRubrique* c = lists->piEnumRubrique(1); c != nullptr; c = lists->piEnumRubrique(0)) {
        const stTEXTPOSITION pos = c->stGetPosition();
        if (!pos.bIsEmpty()) {
          IExpOpExpression* tree = c->piGetExpression();
          pieces.emplace_back(pos.nStart, [this, pos, tree] {
            Copy(pos.nStart);
            Walk(tree);
            Copy(pos.nEnd + 1);
            tree->nRelease();
          });
          lastEnd = pos.nEnd;
        } else if (selectEnd != 1) {
          Fault(L"a column without position outside the star");
        }
        c->nRelease();
      }
      if (selectEnd == 1)
        Expect(m_text.find(L'*') != std::wstring::npos, L"the star");
      else if (selectEnd <= static_cast<int>(lastEnd))
        Fault(L"the SELECT list ends before its last column");
      else
        Expect(Word(static_cast<size_t>(selectEnd)) == L"FROM", L"FROM after the SELECT list");
    }
    for (IInfoFrom* f = lists->piEnumFrom(1); f != nullptr; f = lists->piEnumFrom(0)) {
      const stTEXTPOSITION pos = f->stGetPosition();
      const std::wstring table = f->pszGetTableName();
      pieces.emplace_back(pos.nStart, [this, pos, table] { Put(pos, table); });
      const stTEXTPOSITION alias = f->stGetAliasPosition();
      const std::wstring name = f->pszGetAlias();
      if (!alias.bIsEmpty())
        pieces.emplace_back(alias.nStart, [this, alias, name] { Put(alias, name); });
      else
        Expect(name == table, L"an entry without alias answers its table name");
      f->nRelease();
    }
    for (IExpOpExpression* join = lists->piEnumJoinCondition(nullptr, 1); join != nullptr;
         join = lists->piEnumJoinCondition(nullptr, 0))
      pieces.emplace_back(join->stGetExtent().nStart, [this, join] {
        Walk(join);
        join->nRelease();
      });
    AddClause(&pieces, L"WHERE", m_p->nGetWhereStart(), m_p->nGetWhereEnd(), m_p->piGetWhereTree());
    AddClause(&pieces, L"HAVING", m_p->nGetHavingStart(), m_p->nGetHavingEnd(), m_p->piGetHavingTree());
    int groupEnd = -1;
    for (IInfoGroupe* g = lists->piEnumGroupe(1); g != nullptr; g = lists->piEnumGroupe(0)) {
      const stTEXTPOSITION pos = g->stGetPosition();
      std::wstring written = g->pszGetNomRubrique();
      if (written.empty()) written = g->pszGetNomRubriqueAlias();
      if (g->bIsAvecTable()) written = std::wstring(g->pszGetNomFichier()) + L"." + written;
      pieces.emplace_back(pos.nStart, [this, pos, written] { Put(pos, written); });
      groupEnd = static_cast<int>(pos.nEnd);
      g->nRelease();
    }
    Expect(groupEnd == m_p->nGetGroupByEnd(), L"GROUP BY end");
    const int orderStart = m_p->nGetOrderByStart();
    int orderEnd = -1;
    if (orderStart > 0) pieces.emplace_back(orderStart, [this, orderStart] { Keyword(orderStart, L"ORDER"); });
    for (IInfoOrderBy* o = lists->piEnumOrderBy(1); o != nullptr; o = lists->piEnumOrderBy(0)) {
      const stTEXTPOSITION pos = o->stGetPosition();
      const std::wstring direction = Word(pos.nEnd + 1);
      const bool written = direction == L"ASC" || direction == L"DESC";
      Expect(o->nGetDirection() == (direction == L"DESC" ? 1 : 0), L"ORDER BY direction");
      orderEnd = written ? WordEnd(pos.nEnd + 1) : static_cast<int>(pos.nEnd);
      pieces.emplace_back(pos.nStart, [this, pos] { Put(pos, m_text.substr(pos.nStart, pos.nEnd - pos.nStart + 1)); });
      o->nRelease();
    }
    Expect(orderEnd == m_p->nGetOrderByEnd(), L"ORDER BY end");
    for (IInfoInsertion* e = lists->piEnumInsertion(1); e != nullptr; e = lists->piEnumInsertion(0)) {
      AddTree(&pieces, e->piGetColumn());
      AddTree(&pieces, e->piGetValue());
      e->nRelease();
    }
    for (IInfoAffectation* a = lists->piEnumAffectation(1); a != nullptr; a = lists->piEnumAffectation(0)) {
      AddTree(&pieces, a->piGetColumn());
      AddTree(&pieces, a->piGetValue());
      a->nRelease();
    }
    lists->nRelease();
    std::stable_sort(pieces.begin(), pieces.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& piece : pieces) piece.second();
    Copy(static_cast<uint32_t>(m_text.size()));
    return m_out;
  }

  const std::vector<std::wstring>& Faults() const { return m_faults; }

 private:
  using Pieces = std::vector<std::pair<uint32_t, std::function<void()>>>;

  void AddTree(Pieces* pieces, IExpOpExpression* tree) {
    pieces->emplace_back(Place(tree).nStart, [this, tree] {
      Walk(tree);
      tree->nRelease();
    });
  }
  void AddClause(Pieces* pieces, const wchar_t* keyword, int start, int end, IExpOpExpression* tree) {
    if (start <= 0) {
      Expect(end == -1 && tree == nullptr, L"an absent clause ends at -1 without a tree");
      if (tree != nullptr) tree->nRelease();
      return;
    }
    pieces->emplace_back(static_cast<uint32_t>(start), [this, keyword, start, end, tree] {
      Keyword(static_cast<uint32_t>(start), keyword);
      Walk(tree);
      Expect(m_cursor <= static_cast<size_t>(end) + 1, L"the condition ends inside its clause");
      Copy(static_cast<uint32_t>(end) + 1);
      Expect(end + 1 == static_cast<int>(m_text.size()) || !std::iswspace(static_cast<wint_t>(m_text[end])),
             L"a clause ends at its condition's last character");
      tree->nRelease();
    });
  }

  static stTEXTPOSITION Place(IExpOpExpression* node) {
    const int op = node->eGetOperator();
    const stTEXTPOSITION extent = node->stGetExtent();
    return op == NA_OPEXP_NOT || op == NA_OPEXP_NEGATE || extent.bIsEmpty() ? node->stGetPosition() : extent;
  }

  // The node and its arguments, as the driver's walk meets them.
  void Walk(IExpOpExpression* node) {
    const stTEXTPOSITION place = Place(node);
    const stTEXTPOSITION pos = node->stGetPosition();
    const stTEXTPOSITION extent = node->stGetExtent();
    Expect(pos.nStart >= extent.nStart && pos.nEnd <= extent.nEnd, L"the text position lies in the extent");
    Copy(place.nStart);
    const int op = node->eGetOperator();
    CAny value;
    if (op == NA_OPEXP_COLUMN) {
      const std::wstring qualifier = node->pszGetQualifier();
      Put(extent, (qualifier.empty() ? L"" : qualifier + L".") + node->pszGetColumnName());
      return;
    }
    if (op == NA_OPEXP_LITERAL) {
      Expect(node->bGetLiteral(&value), L"a literal reads");
      Put(extent, LiteralText(node, value, extent));
      return;
    }
    Expect(!node->bGetLiteral(&value), L"an operator is no literal");
    // The operator token and the arguments in text order.
    std::vector<std::pair<uint32_t, IExpOpExpression*>> events{{pos.nStart, nullptr}};
    IExpOpExpression* left = node->piGetLeft();
    IExpOpExpression* right = node->piGetRight();
    int n = 0;
    for (IExpOpExpression* a = node->piGetNextArgument(nullptr); a != nullptr;) {
      Expect(n != 0 || a == left, L"argument 0 is the left operand");
      Expect(n != 1 || a == right, L"argument 1 is the right operand");
      const stTEXTPOSITION ap = Place(a);
      Expect(ap.nStart >= extent.nStart && a->stGetExtent().nEnd <= extent.nEnd, L"arguments lie in the extent");
      events.emplace_back(ap.nStart, a);
      a = node->piGetNextArgument(a);
      ++n;
    }
    if (left != nullptr) left->nRelease();
    if (right != nullptr) right->nRelease();
    std::stable_sort(events.begin(), events.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& e : events) {
      if (e.second == nullptr) {
        Put(pos, Operator(op, pos));
      } else {
        Walk(e.second);
        e.second->nRelease();
      }
    }
    if (m_cursor <= place.nEnd) Copy(place.nEnd + 1);
  }

  // The token the code stands for, as written at pos when it is one of the code's spellings.
  std::wstring Operator(int op, stTEXTPOSITION pos) {
    std::wstring written = m_text.substr(pos.nStart, pos.nEnd - pos.nStart + 1);
    std::wstring words;
    for (wchar_t c : written)
      if (!std::iswspace(static_cast<wint_t>(c)) || (!words.empty() && words.back() != L' '))
        words += std::iswspace(static_cast<wint_t>(c)) ? L' ' : static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    static const std::vector<std::pair<int, std::vector<std::wstring>>> kSpellings = {
        {NA_OPEXP_AND, {L"AND"}},      {NA_OPEXP_OR, {L"OR"}},         {NA_OPEXP_NOT, {L"NOT"}},
        {NA_OPEXP_NEGATE, {L"-"}},     {NA_OPEXP_ADD, {L"+"}},         {NA_OPEXP_SUBTRACT, {L"-"}},
        {NA_OPEXP_MULTIPLY, {L"*"}},   {NA_OPEXP_DIVIDE, {L"/"}},      {NA_OPEXP_EQUAL, {L"="}},
        {NA_OPEXP_DIFFERENT, {L"<>", L"!="}}, {NA_OPEXP_LESS, {L"<"}}, {NA_OPEXP_LESSEQUAL, {L"<="}},
        {NA_OPEXP_GREATER, {L">"}},    {NA_OPEXP_GREATEREQUAL, {L">="}}, {NA_OPEXP_LIKE, {L"LIKE", L"NOT LIKE"}},
        {NA_OPEXP_ISNULL, {L"IS NULL", L"IS NOT NULL"}}, {NA_OPEXP_COUNT, {L"COUNT"}}, {NA_OPEXP_SUM, {L"SUM"}},
        {NA_OPEXP_AVG, {L"AVG"}},      {NA_OPEXP_MIN, {L"MIN"}},       {NA_OPEXP_MAX, {L"MAX"}},
        {NA_OPEXP_UPPER, {L"UPPER"}},  {NA_OPEXP_LOWER, {L"LOWER"}},   {NA_OPEXP_LTRIM, {L"LTRIM"}},
        {NA_OPEXP_RTRIM, {L"RTRIM"}},  {NA_OPEXP_LENGTH, {L"LENGTH"}}, {NA_OPEXP_CEILING, {L"CEILING"}},
        {NA_OPEXP_LEFT, {L"LEFT"}},    {NA_OPEXP_RIGHT, {L"RIGHT"}},   {NA_OPEXP_IFNULL, {L"IFNULL"}},
        {NA_OPEXP_SUBSTRING, {L"SUBSTRING"}}};
    for (const auto& s : kSpellings)
      if (s.first == op && std::find(s.second.begin(), s.second.end(), words) != s.second.end()) return written;
    Fault(L"code " + std::to_wstring(op) + L" written as \"" + written + L"\"");
    return L"";
  }

  std::wstring LiteralText(IExpOpExpression* node, const CAny& value, stTEXTPOSITION extent) {
    const std::wstring written = m_text.substr(extent.nStart, extent.nEnd - extent.nStart + 1);
    const std::wstring bind = node->pszGetColumnName();
    if (!bind.empty()) {
      Expect(value.bIsNull(), L"a bind variable's literal is NULL");
      return L"{" + bind + L"}";
    }
    if (value.wGetType() == ZV_DSTRW) {
      const wchar_t* w = nullptr;
      unsigned int n = 0;
      value.Intern()->nGetPCWSTR(&w);
      value.Intern()->nGetSTRLEN(&n);
      std::wstring quoted = L"'";
      for (wchar_t c : std::wstring(w, n)) quoted += c == L'\'' ? L"''" : std::wstring(1, c);
      return quoted + L"'";
    }
    double real = 0;
    long long whole = 0;
    const bool same = value.wGetType() == ZV_R8 ? value.nGetREAL(&real) == 0 && real == std::wcstod(written.c_str(), nullptr)
                                                : value.nGetINT_64(&whole) == 0 && whole == std::wcstoll(written.c_str(), nullptr, 10);
    if (!same) Fault(L"the number " + written + L" reads another value");
    return written;
  }

  void Keyword(uint32_t at, const std::wstring& word) {
    Expect(Word(at) == word && (at == 0 || std::iswspace(static_cast<wint_t>(m_text[at - 1]))),
           L"the clause starts at " + word);
  }
  // The last character of the word at i after blanks.
  int WordEnd(size_t i) const {
    while (i < m_text.size() && std::iswspace(static_cast<wint_t>(m_text[i]))) ++i;
    while (i < m_text.size() && std::iswalpha(static_cast<wint_t>(m_text[i]))) ++i;
    return static_cast<int>(i) - 1;
  }
  // The word at i after blanks, upper case.
  std::wstring Word(size_t i) const {
    while (i < m_text.size() && std::iswspace(static_cast<wint_t>(m_text[i]))) ++i;
    std::wstring w;
    while (i < m_text.size() && std::iswalpha(static_cast<wint_t>(m_text[i])))
      w += static_cast<wchar_t>(std::towupper(static_cast<wint_t>(m_text[i++])));
    return w;
  }

  void Copy(uint32_t to) {
    if (to < m_cursor) {
      Fault(L"a piece at " + std::to_wstring(to) + L" before the cursor at " + std::to_wstring(m_cursor));
      return;
    }
    m_out += m_text.substr(m_cursor, to - m_cursor);
    m_cursor = to;
  }
  void Put(stTEXTPOSITION pos, const std::wstring& written) {
    Copy(pos.nStart);
    m_out += written;
    m_cursor = pos.nEnd + 1;
  }
  void Expect(bool ok, const std::wstring& what) {
    if (!ok) Fault(what);
  }
  void Fault(const std::wstring& what) { m_faults.push_back(what); }

  ISQLParserInformation* m_p;
  std::wstring m_text;
  std::wstring m_out;
  size_t m_cursor = 0;
  std::vector<std::wstring> m_faults;
};

const wchar_t* const kCorpus[] = {
    L"SELECT * FROM clients",
    L"SELECT DISTINCT nom, ville FROM clients WHERE ville = 'Paris' ORDER BY nom DESC",
    L"SELECT c.nom AS n, COUNT(*) AS total FROM clients AS c INNER JOIN commandes o ON o.client = c.id "
    L"WHERE o.montant >= 10.5 AND NOT (c.ville <> 'L''Ha\u00ffe') GROUP BY c.nom HAVING COUNT(*) > 2 "
    L"ORDER BY 2 DESC, n LIMIT 10",
    L"select upper(nom) , left(ville, 3) , substring(nom, 2, 4) from clients "
    L"where nom like 'A!%%' escape '!' or ville is not null",
    L"SELECT id, nom FROM clients WHERE note IS NULL AND (id = {p1} OR id = -5) ORDER BY id",
    L"INSERT INTO clients (nom, ville) VALUES ('x', {v})",
    L"INSERT INTO commandes (num, montant) VALUES (7 * (2 + 1), -2.25)",
    L"UPDATE clients SET nom = UPPER(nom), ville = 'y' WHERE id = 3",
    L"UPDATE clients c SET c.nom = 'z' WHERE c.id IN_ = 1",
    L"DELETE FROM commandes WHERE montant * 2 - 1 < 100 / 3",
    L"DELETE FROM commandes",
    L"SELECT SUM(montant), MIN(date_cde), MAX(montant), AVG(montant) FROM commandes;",
    L"SELECT a.nom, b.nom FROM clients a, clients b WHERE a.id < b.id",
    L"SELECT nom FROM clients LEFT OUTER JOIN commandes ON client = id WHERE ((((id)))) = 1",
    L"SELECT IFNULL(ville, nom) v, LENGTH(nom), CEILING(montant) FROM clients "
    L"RIGHT JOIN commandes ON commandes.client = clients.id ORDER BY v ASC",
    L"SELECT - id, LTRIM(RTRIM(nom)) FROM clients WHERE nom NOT LIKE 'B%' ORDER BY 1",
    L"SELECT\n\tnom\nFROM\tclients\r\nWHERE\tid\t>=\t1\nORDER\tBY\tnom\n",
    L"SELECT nom, COUNT(*) FROM clients GROUP BY nom, clients.ville ORDER BY nom LIMIT 5 OFFSET 2",
    L"SELECT nom AS x, ville FROM clients GROUP BY x HAVING MAX(id) > 1 ORDER BY ville, x DESC",
    L"SELECT 1, 'text', 2.5, (nom) FROM clients WHERE (id = 1) ORDER BY code",
    L"SELECT * FROM clients c, commandes WHERE c.id = client AND NOT montant < 0 OR - - montant <> 0",
    L"SELECT nom FROM clients WHERE nom LIKE {pattern} ESCAPE '\\'",
};

// Random queries of the whole subset, blanks and letter case drawn at random.
class CQueryMaker {
 public:
  explicit CQueryMaker(std::mt19937* random) : m_r(*random) {}

  std::wstring Query() {
    m_bJoin = false;
    m_bAlias = false;
    switch (m_r() % 6) {
      case 0: return W(L"UPDATE") + B() + L"clients" + B() + W(L"SET") + B() + Column(false) + B() + L"=" + B() +
                     Value(2) + Maybe(B() + W(L"WHERE") + B() + Condition(3));
      case 1: return W(L"INSERT") + B() + W(L"INTO") + B() + L"clients" + B() + L"(" + B() + L"nom," + B() + L"ville" +
                     B() + L")" + B() + W(L"VALUES") + B() + L"(" + Value(2) + L"," + B() + Value(2) + L")";
      case 2: return W(L"DELETE") + B() + W(L"FROM") + B() + L"clients" + Maybe(B() + W(L"WHERE") + B() + Condition(3));
      default: return Select();
    }
  }

 private:
  std::wstring Select() {
    m_bJoin = m_r() % 2 == 0;
    m_bAlias = true;
    std::wstring q = W(L"SELECT") + B() + Maybe(W(L"DISTINCT") + B());
    if (m_r() % 5 == 0) {
      q += L"*";
    } else {
      for (int n = 1 + static_cast<int>(m_r() % 3), i = 0; i < n; ++i)
        q += (i > 0 ? L"," + B() : L"") + (m_r() % 3 == 0 ? Value(2) : Column(true)) +
             (m_r() % 3 == 0 ? B() + Maybe(W(L"AS") + B()) + L"a" + std::to_wstring(i) : L"");
    }
    q += B() + W(L"FROM") + B() + L"clients" + B() + Maybe(W(L"AS") + B()) + L"c";
    if (m_bJoin) q += B() + W(L"LEFT") + B() + W(L"JOIN") + B() + L"commandes o" + B() + W(L"ON") + B() + Condition(2);
    if (m_r() % 2 == 0) q += B() + W(L"WHERE") + B() + Condition(4);
    if (m_r() % 4 == 0) q += B() + W(L"GROUP") + B() + W(L"BY") + B() + Column(true) + Maybe(L"," + B() + L"c.ville");
    if (m_r() % 4 == 0) q += B() + W(L"HAVING") + B() + W(L"COUNT") + L"(*)" + B() + L">" + B() + L"1";
    if (m_r() % 2 == 0) {
      q += B() + W(L"ORDER") + B() + W(L"BY") + B() + (m_r() % 3 == 0 ? std::wstring(L"1") : Column(true)) +
           Maybe(B() + W(m_r() % 2 == 0 ? L"ASC" : L"DESC"));
      if (m_r() % 2 == 0) q += L"," + B() + W(L"UPPER") + L"(" + Column(true) + L")";
    }
    return q + Maybe(B() + W(L"LIMIT") + B() + L"5") + Maybe(L";");
  }
  std::wstring Column(bool joined) {
    static const wchar_t* const kPlain[] = {L"nom", L"ville", L"id", L"code", L"NOM", L"c.nom", L"c.id", L"C.Ville"};
    if (joined && m_bJoin && m_r() % 3 == 0) return m_r() % 2 == 0 ? L"o.montant" : L"date_cde";
    return kPlain[m_r() % (m_bAlias ? std::size(kPlain) : 5)];
  }
  std::wstring Value(int depth) {
    switch (depth <= 0 ? m_r() % 4 : m_r() % 9) {
      case 0: return std::to_wstring(static_cast<int>(m_r() % 2000) - 1000);
      case 1: return L"'t''" + std::to_wstring(m_r() % 9) + L"'";
      case 2: return L"{p" + std::to_wstring(m_r() % 3) + L"}";
      case 3: return Column(true);
      case 4: return L"(" + B() + Value(depth - 1) + B() + L")";
      case 5: return Value(depth - 1) + B() + std::wstring(1, L"+-*/"[m_r() % 4]) + B() + Value(depth - 1);
      case 6: return W(L"UPPER") + L"(" + Value(depth - 1) + L")";
      case 7: return W(L"SUBSTRING") + L"(" + Value(depth - 1) + L"," + B() + L"2" + Maybe(L", 3") + L")";
      default: return L"-" + B() + Column(true);
    }
  }
  std::wstring Condition(int depth) {
    switch (depth <= 0 ? m_r() % 3 : m_r() % 7) {
      case 0: return Value(1) + B() + std::wstring(std::vector<const wchar_t*>{L"=", L"<>", L"<", L"<=", L">", L">=", L"!="}[m_r() % 7]) +
                     B() + Value(1);
      case 1: return Column(true) + B() + Maybe(W(L"NOT") + B()) + W(L"LIKE") + B() + L"'a%'" +
                     Maybe(B() + W(L"ESCAPE") + B() + L"'!'");
      case 2: return Value(1) + B() + W(L"IS") + B() + Maybe(W(L"NOT") + B()) + W(L"NULL");
      case 3: return Condition(depth - 1) + B() + W(L"AND") + B() + Condition(depth - 1);
      case 4: return Condition(depth - 1) + B() + W(L"OR") + B() + Condition(depth - 1);
      case 5: return W(L"NOT") + B() + Condition(depth - 1);
      default: return L"(" + B() + Condition(depth - 1) + B() + L")";
    }
  }
  std::wstring B() {
    static const wchar_t* const kBlanks[] = {L" ", L" ", L"  ", L"\t", L"\n", L" \r\n "};
    return kBlanks[m_r() % std::size(kBlanks)];
  }
  std::wstring W(const wchar_t* word) {
    std::wstring w = word;
    for (wchar_t& c : w)
      if (m_r() % 3 == 0) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return w;
  }
  std::wstring Maybe(const std::wstring& s) { return m_r() % 2 == 0 ? s : L""; }

  std::mt19937& m_r;
  bool m_bJoin = false;
  bool m_bAlias = false;
};

class HostSQLParser : public ParseTest {};

TEST_F(HostSQLParser, PositionsTileEveryCorpusQuery) {
  ParseBench bench;
  int parsed = 0;
  for (const wchar_t* text : kCorpus) {
    CTString error;
    ISQLParserInformation* parse = CHostSQLParser::piParse(text, bench.m_catalogue, &error);
    if (parse == nullptr) {
      // One row of the corpus is not SQL of the subset: it must say where.
      EXPECT_NE(std::wstring(error.pszGet()).find(L"parse error at "), std::wstring::npos);
      continue;
    }
    ++parsed;
    CTilingChecker checker(parse);
    EXPECT_EQ(ParseBench::Narrow(checker.Rebuild()), ParseBench::Narrow(text));
    for (const std::wstring& fault : checker.Faults()) ADD_FAILURE() << ParseBench::Narrow(text) << ": " << ParseBench::Narrow(fault);
    parse->nRelease();
  }
  EXPECT_EQ(parsed, static_cast<int>(std::size(kCorpus)) - 1);
}

TEST_F(HostSQLParser, ClauseEndsAndTheSelectListEnd) {
  ParseBench bench;
  struct Row {
    const wchar_t* text;
    int kind, selectEnd, whereStart, whereEnd, groupEnd, havingStart, havingEnd, orderStart, orderEnd;
  } rows[] = {
      // 0         1         2         3         4         5         6         7         8
      // 012345678901234567890123456789012345678901234567890123456789012345678901234567890123456
      {L"SELECT * FROM clients", 1, 1, 0, -1, -1, 0, -1, 0, -1},
      {L"SELECT nom n, ville FROM clients WHERE (id = 1) ORDER BY n DESC LIMIT 3", 1, 19, 33, 46, -1, 0, -1, 48,
       62},
      {L"SELECT nom FROM clients GROUP BY nom HAVING COUNT(*) > 1 ORDER BY 1", 1, 10, 0, -1, 35, 37, 55, 57, 66},
      {L"UPDATE clients SET nom = 'a' WHERE id = 2;", 3, 0, 29, 40, -1, 0, -1, 0, -1},
      {L"INSERT INTO clients (nom) VALUES (1)", 4, 0, 0, -1, -1, 0, -1, 0, -1},
      {L"DELETE FROM clients WHERE nom IS NULL", 5, 0, 20, 36, -1, 0, -1, 0, -1},
  };
  for (const Row& row : rows) {
    ISQLParserInformation* p = bench.Parse(row.text);
    ASSERT_NE(p, nullptr);
    const std::string at = ParseBench::Narrow(row.text);
    EXPECT_EQ(p->nGetQueryKind(), row.kind) << at;
    EXPECT_EQ(p->nGetSelectListEnd(), row.selectEnd) << at;
    EXPECT_EQ(p->nGetWhereStart(), row.whereStart) << at;
    EXPECT_EQ(p->nGetWhereEnd(), row.whereEnd) << at;
    EXPECT_EQ(p->nGetGroupByEnd(), row.groupEnd) << at;
    EXPECT_EQ(p->nGetHavingStart(), row.havingStart) << at;
    EXPECT_EQ(p->nGetHavingEnd(), row.havingEnd) << at;
    EXPECT_EQ(p->nGetOrderByStart(), row.orderStart) << at;
    EXPECT_EQ(p->nGetOrderByEnd(), row.orderEnd) << at;
    p->nRelease();
  }
}

TEST_F(HostSQLParser, UnsupportedInputIsAParseErrorAtItsOffset) {
  ParseBench bench;
  const std::wstring deep = L"SELECT nom FROM clients WHERE " + std::wstring(300, L'(') + L"id" + std::wstring(300, L')');
  std::wstring chain = L"SELECT nom FROM clients WHERE id";
  for (int i = 0; i < 300; ++i) chain += L" + id";
  struct Row {
    std::wstring text;
    const wchar_t* error;
  } rows[] = {
      {L"", L"parse error at 0: SELECT, INSERT, UPDATE or DELETE expected"},
      {L"SELECT FROM clients", L"parse error at 7: a column expected"},
      {L"SELECT nom FROM nowhere", L"parse error at 16: unknown table nowhere"},
      {L"SELECT zz FROM clients", L"parse error at 7: unknown column zz"},
      {L"SELECT a.nom FROM clients a, commandes b WHERE a.id = c.id", L"parse error at 54: unknown table c"},
      {L"SELECT nom FROM clients, clients", L"parse error at 25: table named twice: clients"},
      {L"SELECT id FROM clients a, clients b", L"parse error at 7: ambiguous column id"},
      {L"SELECT nom FROM clients WHERE nom = 'abc", L"parse error at 36: unterminated text"},
      {L"SELECT nom FROM clients WHERE nom LIKE 'a' ESCAPE 'ab'", L"parse error at 50: one escape character expected"},
      {L"SELECT COUNT(SUM(id)) FROM clients", L"parse error at 13: an aggregate inside an aggregate"},
      {L"SELECT nom FROM clients WHERE SUM(id) = 1 OR id = (SELECT 1)", L"parse error at 51: a column expected"},
      {L"SELECT nom FROM clients ORDER BY 9", L"parse error at 33: no SELECT column 9"},
      {L"INSERT INTO clients (nom, ville) VALUES ('a')", L"parse error at 44: fewer values than columns"},
      {L"INSERT INTO clients (nom) VALUES ('a', 'b')", L"parse error at 39: more values than columns"},
      {L"SELECT nom FROM clients WHERE id = {x", L"parse error at 35: a bind variable is written {name}"},
      {L"SELECT nom FROM clients WHERE id = 1 extra", L"parse error at 37: end of the query expected"},
      {L"SELECT FOO(nom) FROM clients", L"parse error at 7: unknown function FOO"},
      {L"SELECT nom FROM clients WHERE id = 99999999999999999999", L"parse error at 35: number out of range"},
      {L"SELECT nom FROM clients WHERE id = 1; ;", L"parse error at 38: end of the query expected"},
      {L"SELECT nom FROM clients WHERE id BETWEEN 1 AND 2", L"parse error at 33: end of the query expected"},
      {L"SELECT c . nom FROM clients c", L"parse error at 9: FROM expected"},
      {L"SELECT nom FROM clients WHERE 1abc = 1", L"parse error at 31: a number runs into a name"},
      {L"SELECT nom FROM clients WHERE id = #", L"parse error at 35: unexpected character"},
      {L"SELECT LEFT(nom) FROM clients", L"parse error at 7: wrong number of arguments to LEFT"},
      {L"UPDATE clients SET nom = SUM(id)", L"parse error at 25: an aggregate out of place"},
      {deep, L"parse error at 96: expression nested too deeply"},
      {chain, L"parse error at 1033: expression nested too deeply"},
  };
  for (const Row& row : rows) EXPECT_EQ(ParseBench::Narrow(bench.Error(row.text)), ParseBench::Narrow(row.error)) << ParseBench::Narrow(row.text);
}

// Random queries of the subset, random edits of the corpus and random token soup: the parser
// answers or refuses with an offset, every made query parses, and what it answers still tiles.
TEST_F(HostSQLParser, RandomInputNeverCrashesAndWhatParsesTiles) {
  ParseBench bench;
  std::mt19937 random(20240611);
  const std::vector<std::wstring> vocabulary = {
      L"SELECT", L"FROM", L"WHERE", L"AND", L"OR", L"NOT", L"(", L")", L",", L".", L"*", L"=", L"<>", L"<=",
      L"-", L"+", L"/", L"'a''b'", L"'", L"12", L"3.5", L"{p}", L"{", L"}", L"nom", L"id", L"c", L"clients",
      L"commandes", L"AS", L"ORDER", L"BY", L"GROUP", L"HAVING", L"COUNT", L"LEFT", L"JOIN", L"ON", L"IS",
      L"NULL", L"LIKE", L"ESCAPE", L"DESC", L"LIMIT", L"INSERT", L"INTO", L"VALUES", L"UPDATE", L"SET",
      L"DELETE", L";", L"\t", L"\u00e9", L"\U0001F600"};
  CQueryMaker maker(&random);
  int parsed = 0, made = 0;
  for (int round = 0; round < 6000; ++round) {
    std::wstring text;
    if (round % 3 == 2) {
      text = maker.Query();
      ++made;
    } else if (round % 3 == 0) {
      text = kCorpus[random() % std::size(kCorpus)];
      for (int edits = 1 + static_cast<int>(random() % 4); edits > 0 && !text.empty(); --edits) {
        const size_t at = random() % text.size();
        switch (random() % 4) {
          case 0: text.erase(at, 1 + random() % 6); break;
          case 1: text.insert(at, vocabulary[random() % vocabulary.size()] + L" "); break;
          case 2: text[at] = static_cast<wchar_t>(1 + random() % 0x7F); break;
          default: text.resize(at); break;
        }
      }
    } else {
      for (int n = static_cast<int>(random() % 24); n > 0; --n) text += vocabulary[random() % vocabulary.size()] + L" ";
    }
    CTString error;
    ISQLParserInformation* parse = CHostSQLParser::piParse(text.c_str(), bench.m_catalogue, &error);
    if (parse == nullptr) {
      EXPECT_EQ(std::wstring(error.pszGet()).rfind(L"parse error at ", 0), 0u) << ParseBench::Narrow(text);
      EXPECT_NE(round % 3, 2) << ParseBench::Narrow(error.pszGet()) << " in a made query: " << ParseBench::Narrow(text);
      continue;
    }
    ++parsed;
    CTilingChecker checker(parse);
    EXPECT_EQ(ParseBench::Narrow(checker.Rebuild()), ParseBench::Narrow(text));
    EXPECT_TRUE(checker.Faults().empty()) << ParseBench::Narrow(text) << ": " << ParseBench::Narrow(checker.Faults()[0]);
    parse->nRelease();
  }
  EXPECT_GT(parsed, made);
}

TEST_F(HostSQLParser, NamesResolveAgainstTheCatalogue) {
  ParseBench bench;
  ISQLParserInformation* p =
      bench.Parse(L"SELECT c.NOM, montant * 2 AS m, {b} FROM Clients c JOIN commandes ON client = c.id ORDER BY m");
  ASSERT_NE(p, nullptr);
  IInfoClauseList* lists = p->piGetClauseList();
  IInfoRubrique* nom = lists->piEnumRubrique(1);
  IInfoRubrique* m = lists->piEnumRubrique(0);
  IInfoRubrique* bind = lists->piEnumRubrique(0);
  EXPECT_EQ(lists->piEnumRubrique(0), nullptr);
  EXPECT_EQ(lists->piEnumRubrique(0), nullptr);
  struct Row {
    IInfoRubrique* column;
    const wchar_t *shown, *inSource, *alias, *table;
    int calcul;
    BOOL columnSource;
    int hostType, size;
  } rows[] = {
      {nom, L"NOM", L"nom", L"c", L"Clients", 0, TRUE, 2, 31},
      {m, L"m", L"", L"", L"", 1, FALSE, 7, 8},
      {bind, L"{b}", L"", L"", L"", 1, FALSE, 0, 0},
  };
  for (const Row& row : rows) {
    EXPECT_STREQ(row.column->pszGetName(), row.shown);
    EXPECT_STREQ(row.column->pszGetNameInSource(), row.inSource);
    EXPECT_STREQ(row.column->pszGetSourceTableAlias(), row.alias);
    EXPECT_STREQ(row.column->pszGetSourceTableName(), row.table);
    EXPECT_EQ(row.column->nGetCalculKind(), row.calcul);
    EXPECT_EQ(row.column->bIsColumnSource(), row.columnSource);
    EXPECT_EQ(row.column->nGetHostType(), row.hostType) << ParseBench::Narrow(row.shown);
    EXPECT_EQ(row.column->nGetSize(), row.size);
  }
  INAItemDescription* item = p->piGetItemDescription(nom);
  ASSERT_NE(item, nullptr);
  EXPECT_STREQ(item->pszGetName(), L"nom");
  item->nExternalRelease();
  EXPECT_EQ(p->piGetItemDescription(m), nullptr);
  for (const wchar_t* table : {L"c", L"CLIENTS", L""}) {
    item = p->piGetItemDescription(table, L"Ville");
    ASSERT_NE(item, nullptr) << ParseBench::Narrow(table);
    EXPECT_STREQ(item->pszGetName(), L"ville");
    item->nExternalRelease();
  }
  EXPECT_EQ(p->piGetItemDescription(L"commandes", L"ville"), nullptr);
  EXPECT_STREQ(p->pszGetPhysicalName(L"c"), L"db_clients");
  EXPECT_STREQ(p->pszGetPhysicalName(L"commandes"), L"db_commandes");
  EXPECT_STREQ(p->pszGetPhysicalName(L"nowhere"), L"");
  CTabValParser* parameters = p->pclGetParameters();
  ASSERT_EQ(parameters->nCount, 1);
  EXPECT_EQ(parameters->ppEntries[0]->nStart, 32);
  EXPECT_EQ(parameters->ppEntries[0]->nLength, 3);
  EXPECT_EQ(p->pclGetItemReferences()->nItemCount, 0);
  IInfoOrderBy* order = lists->piEnumOrderBy(1);
  EXPECT_EQ(order->nGetIndex(), 1);
  order->nRelease();
  IInfoFrom* clients = lists->piEnumFrom(1);
  IInfoFrom* orders = lists->piEnumFrom(0);
  EXPECT_EQ(lists->piEnumJoinCondition(clients, 1), nullptr);
  IExpOpExpression* on = lists->piEnumJoinCondition(orders, 1);
  ASSERT_NE(on, nullptr);
  EXPECT_EQ(on->eGetOperator(), NA_OPEXP_EQUAL);
  on->nRelease();
  clients->nRelease();
  orders->nRelease();
  for (IInfoRubrique* c : {nom, m, bind}) c->nRelease();
  lists->nRelease();
  p->nRelease();
}

TEST_F(HostSQLParser, SwitchesCountersAndBindValues) {
  ParseBench bench;
  ISQLParserInformation* p = bench.Parse(L"SELECT nom FROM clients");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(bench.m_tables[0].nGetRefCount(), 2) << "the catalogue and the FROM entry";
  uint32_t id = 0;
  EXPECT_TRUE(p->bHandshake(32, 32, &id));
  EXPECT_EQ(id, 32u);
  CHostSQLParser::SetHandshake(p, FALSE, 7);
  EXPECT_FALSE(p->bHandshake(32, 32, &id));
  CHostSQLParser::SetThrow(p, CHostSQLParser::kThrowPhysicalName | CHostSQLParser::kThrowColumnLookup);
  EXPECT_ANY_THROW(p->pszGetPhysicalName(L"clients"));
  IInfoClauseList* lists = p->piGetClauseList();
  EXPECT_ANY_THROW(lists->piEnumRubrique(1));
  lists->nRelease();
  EXPECT_EQ(CHostSQLParser::nPhysicalNameAsks(p), 1);
  p->nRelease();
  EXPECT_EQ(bench.m_tables[0].nGetRefCount(), 0);

  CHostQueryParameters* binds = new CHostQueryParameters;
  CAny five;
  five.SetI4(5);
  binds->Set(L"Prix", five, 3);
  int n = 0;
  ASSERT_NE(binds->pclGetValue(L"prix", 0), nullptr);
  EXPECT_EQ(binds->pclGetValue(L"prix", 0)->nGetINT(&n), 0);
  EXPECT_EQ(n, 5);
  EXPECT_EQ(binds->pclGetValue(L"autre", 0), nullptr);
  EXPECT_EQ(binds->nGetDirection(L"PRIX"), 3);
  EXPECT_EQ(binds->m_tabAsked, (std::vector<std::wstring>{L"prix", L"prix", L"autre", L"PRIX"}));
  binds->nRelease();
}

}  // namespace
