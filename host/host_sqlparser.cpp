#include "host/host_sqlparser.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <deque>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "driver/inadatasourcedescription.h"
#include "sql/inaitemdescription.h"

namespace {

std::atomic<long> g_nLive{0};

// ---------------------------------------------------------------- counted objects

// One stand-in object: alive in g_nLive, deleted by the release that reaches 0.
template <typename I>
class TCounted : public I {
 public:
  TCounted() { ++g_nLive; }
  ~TCounted() override { --g_nLive; }
  int nRelease() override {
    const int left = this->m_nRef.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
  }
};

// Holds one reference.
template <typename T>
class Ref {
 public:
  Ref() = default;
  // Takes over the reference of a new object (made with count 0: the first is taken here).
  static Ref New(T* p) {
    Ref r;
    r.m_p = p;
    p->AddRef();
    return r;
  }
  Ref(const Ref& o) : m_p(o.m_p) {
    if (m_p != nullptr) m_p->AddRef();
  }
  Ref(Ref&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
  Ref& operator=(Ref o) {
    std::swap(m_p, o.m_p);
    return *this;
  }
  ~Ref() {
    if (m_p != nullptr) m_p->nRelease();
  }
  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }
  // A reference for a receiver.
  T* Give() const {
    if (m_p != nullptr) m_p->AddRef();
    return m_p;
  }

 private:
  T* m_p = nullptr;
};

struct CSettings {
  unsigned int dwThrow = 0;
  int nPhysicalNameAsks = 0;
  int nHandshakeCalls = 0;
  BOOL bAnswer = TRUE;
  uint32_t nId = 32;
};

void Throw(const std::shared_ptr<CSettings>& settings, unsigned int what) {
  if ((settings->dwThrow & what) != 0) throw std::runtime_error("stand-in host failure");
}

stTEXTPOSITION Pos(uint32_t start, uint32_t end) {
  stTEXTPOSITION p;
  p.nStart = start;
  p.nEnd = end;
  return p;
}

bool bSameName(const std::wstring& a, const wchar_t* b) { return b != nullptr && wcscasecmp(a.c_str(), b) == 0; }

// Host engine type code of an item type, so that the driver's map gives the type back.
int nHostType(eNA_ITEMTYPE type) {
  static constexpr int kMap[] = {0,  24, 2,  3,  4,  5,  6,  7,  0,  9,  10, 11, 36, 13, 14, 15,
                                 16, 17, 30, 25, 27, 23, 26, 28, 34, 35, 12, 37, 38, 39, 40, 41};
  return type >= 0 && type <= NA_IT_LAST ? kMap[type] : 0;
}
bool bIsIntegerHostType(int t) { return t == 3 || t == 4 || t == 5 || t == 9 || t == 25 || t == 26 || t == 27 || t == 36; }
constexpr int kHostI4 = 5, kHostR8 = 7, kHostI8 = 25, kHostText = 2, kHostBoolean = 37;

// ---------------------------------------------------------------- parse objects

class CFromEntry;
class CColumn;

class CNode final : public TCounted<IExpOpExpression> {
 public:
  explicit CNode(eOPEXPRESSION op) : m_eOp(op) {}

  eOPEXPRESSION eGetOperator() override { return m_eOp; }
  IExpOpExpression* piGetLeft() override { return m_tabArgs.size() > 0 ? m_tabArgs[0].Give() : nullptr; }
  IExpOpExpression* piGetRight() override { return m_tabArgs.size() > 1 ? m_tabArgs[1].Give() : nullptr; }
  const wchar_t* pszGetColumnName() override { return m_sName.c_str(); }
  BOOL bGetLiteral(CAny* out) override {
    if (m_eOp != NA_OPEXP_LITERAL) return FALSE;
    *out = m_clValue;
    return TRUE;
  }
  stTEXTPOSITION stGetPosition() override { return m_stPosition; }
  const wchar_t* pszGetQualifier() override { return m_sQualifier.c_str(); }
  stTEXTPOSITION stGetExtent() override { return m_stExtent; }
  BOOL bIsOuterJoinColumn() override { return FALSE; }
  int nGetHostType() override { return m_nHostType; }
  wchar_t cGetLikeEscape() override { return m_cEscape; }
  IExpOpExpression* piGetNextArgument(IExpOpExpression* previous) override {
    if (previous == nullptr) return piGetLeft();
    for (size_t i = 0; i + 1 < m_tabArgs.size(); ++i)
      if (m_tabArgs[i].Get() == previous) return m_tabArgs[i + 1].Give();
    return nullptr;
  }
  int nGetIntegerParameter() override {
    if (m_tabArgs.size() < 2 || m_tabArgs[1]->m_eOp != NA_OPEXP_LITERAL) return 0;
    int n = 0;
    return m_tabArgs[1]->m_clValue.nGetINT(&n) == 0 ? n : 0;
  }

  eOPEXPRESSION m_eOp;
  std::vector<Ref<CNode>> m_tabArgs;
  stTEXTPOSITION m_stPosition;
  stTEXTPOSITION m_stExtent;
  // Column references: the name and qualifier written, and what they resolve to.
  std::wstring m_sName;
  std::wstring m_sQualifier;
  CFromEntry* m_pFrom = nullptr;
  INAItemDescription* m_piItem = nullptr;
  int m_nAliasOf = -1;
  bool m_bAliasAllowed = false;
  CAny m_clValue;
  int m_nHostType = 0;
  int m_nSize = 0;
  wchar_t m_cEscape = 0;
  // Levels of the tree below and with this node.
  int m_nHeight = 1;
};

class CFromEntry final : public TCounted<IInfoFrom> {
 public:
  ~CFromEntry() override {
    if (m_piDesc != nullptr) m_piDesc->nExternalRelease();
  }
  const wchar_t* pszGetTableName() override { return m_sTable.c_str(); }
  const wchar_t* pszGetAlias() override { return m_sAlias.c_str(); }
  stTEXTPOSITION stGetPosition() override { return m_stPosition; }
  stTEXTPOSITION stGetAliasPosition() override { return m_stAliasPosition; }

  std::wstring m_sTable;
  std::wstring m_sAlias;
  stTEXTPOSITION m_stPosition;
  stTEXTPOSITION m_stAliasPosition;
  INADataSourceDescription* m_piDesc = nullptr;
  Ref<CNode> m_join;
};

class CColumn final : public TCounted<IInfoRubrique> {
 public:
  ~CColumn() override {
    if (m_piItem != nullptr) m_piItem->nExternalRelease();
  }
  const wchar_t* pszGetSourceTableAlias() override { return m_sSourceAlias.c_str(); }
  const wchar_t* pszGetName() override { return m_sName.c_str(); }
  const wchar_t* pszGetNameInSource() override { return m_sNameInSource.c_str(); }
  int nGetCalculKind() override { return m_nCalcul; }
  IExpOpExpression* piGetExpression() override { return m_expression.Give(); }
  stTEXTPOSITION stGetPosition() override { return m_stPosition; }
  const wchar_t* pszGetSourceTableName() override { return m_sSourceTable.c_str(); }
  BOOL bIsColumnSource() override { return m_nCalcul == 0 ? TRUE : FALSE; }
  int nGetSize() override { return m_nSize; }
  int nGetHostType() override { return m_nHostType; }

  std::wstring m_sSourceAlias;
  std::wstring m_sName;
  std::wstring m_sNameInSource;
  std::wstring m_sSourceTable;
  int m_nCalcul = 0;
  Ref<CNode> m_expression;
  stTEXTPOSITION m_stPosition;
  bool m_bAliased = false;
  CFromEntry* m_pFrom = nullptr;
  INAItemDescription* m_piItem = nullptr;
  int m_nSize = 0;
  int m_nHostType = 0;
};

class COrderEntry final : public TCounted<IInfoOrderBy> {
 public:
  int nGetDirection() override { return m_nDirection; }
  int nGetIndex() override { return m_nIndex; }
  stTEXTPOSITION stGetPosition() override { return m_stPosition; }

  int m_nDirection = 0;
  int m_nIndex = -1;
  stTEXTPOSITION m_stPosition;
  Ref<CNode> m_expression;  // null for a column number
};

class CGroupEntry final : public TCounted<IInfoGroupe> {
 public:
  const wchar_t* pszGetAlias() override { return m_sAlias.c_str(); }
  BOOL bIsAvecTable() override { return m_sFichier.empty() ? FALSE : TRUE; }
  const wchar_t* pszGetNomTable() override { return m_sTable.c_str(); }
  const wchar_t* pszGetNomRubrique() override { return m_sRubrique.c_str(); }
  stTEXTPOSITION stGetPosition() override { return m_column->m_stExtent; }
  const wchar_t* pszGetNomFichier() override { return m_sFichier.c_str(); }
  const wchar_t* pszGetNomRubriqueAlias() override { return m_sRubriqueAlias.c_str(); }

  Ref<CNode> m_column;
  std::wstring m_sAlias;
  std::wstring m_sTable;
  std::wstring m_sRubrique;
  std::wstring m_sFichier;
  std::wstring m_sRubriqueAlias;
};

class CInsertion final : public TCounted<IInfoInsertion> {
 public:
  IExpOpExpression* piGetValue() override { return m_value.Give(); }
  IExpOpExpression* piGetColumn() override { return m_column.Give(); }
  Ref<CNode> m_column;
  Ref<CNode> m_value;
};

class CAffectation final : public TCounted<IInfoAffectation> {
 public:
  IExpOpExpression* piGetColumn() override { return m_column.Give(); }
  IExpOpExpression* piGetValue() override { return m_value.Give(); }
  Ref<CNode> m_column;
  Ref<CNode> m_value;
};

template <typename T>
T* pEnum(const std::vector<Ref<T>>& tab, int* cursor, int restart) {
  if (restart != 0)
    *cursor = 0;
  else if (*cursor < 0)
    return nullptr;
  else if (*cursor < static_cast<int>(tab.size()))
    ++*cursor;
  return *cursor < static_cast<int>(tab.size()) ? tab[static_cast<size_t>(*cursor)].Give() : nullptr;
}

class CClauseList final : public TCounted<IInfoClauseList> {
 public:
  IInfoRubrique* piEnumRubrique(int restart) override {
    Throw(m_settings, CHostSQLParser::kThrowColumnLookup);
    return pEnum(m_tabColumns, &m_nColumn, restart);
  }
  int nGetGroupCount() override { return static_cast<int>(m_tabGroups.size()); }
  IInfoFrom* piEnumFrom(int restart) override { return pEnum(m_tabFrom, &m_nFrom, restart); }
  IInfoOrderBy* piEnumOrderBy(int restart) override { return pEnum(m_tabOrder, &m_nOrder, restart); }
  IInfoGroupe* piEnumGroupe(int restart) override { return pEnum(m_tabGroups, &m_nGroup, restart); }
  IExpOpExpression* piEnumJoinCondition(IInfoFrom* from, int restart) override {
    for (IInfoFrom* entry = pEnum(m_tabFrom, &m_nJoin, restart); entry != nullptr;
         entry = pEnum(m_tabFrom, &m_nJoin, 0)) {
      CFromEntry* e = static_cast<CFromEntry*>(entry);
      Ref<CNode> join = e->m_join;
      e->nRelease();
      if (join && (from == nullptr || from == e)) return join.Give();
    }
    return nullptr;
  }
  IInfoAffectation* piEnumAffectation(int restart) override { return pEnum(m_tabSet, &m_nSet, restart); }
  IInfoInsertion* piEnumInsertion(int restart) override { return pEnum(m_tabInsert, &m_nInsert, restart); }

  std::shared_ptr<CSettings> m_settings;
  std::vector<Ref<CColumn>> m_tabColumns;
  std::vector<Ref<CFromEntry>> m_tabFrom;
  std::vector<Ref<COrderEntry>> m_tabOrder;
  std::vector<Ref<CGroupEntry>> m_tabGroups;
  std::vector<Ref<CAffectation>> m_tabSet;
  std::vector<Ref<CInsertion>> m_tabInsert;

 private:
  int m_nColumn = -1, m_nFrom = -1, m_nOrder = -1, m_nGroup = -1, m_nJoin = -1, m_nSet = -1, m_nInsert = -1;
};

class CParse final : public TCounted<ISQLParserInformation> {
 public:
  ~CParse() override {
    for (INADataSourceDescription* d : m_tabCatalogue) d->nExternalRelease();
  }

  const wchar_t* pszGetFilterCondition() override { return m_bFilter ? m_sText.c_str() : L""; }
  CTabValParser* pclGetParameters() override { return &m_clParameters; }
  const wchar_t* pszGetRequete() override { return m_sText.c_str(); }
  int nGetWhereStart() override { return m_nWhereStart; }
  int nGetWhereEnd() override { return m_nWhereEnd; }
  int nGetOrderByStart() override { return m_nOrderStart; }
  IInfoClauseList* piGetClauseList() override { return m_lists.Give(); }
  int nGetHavingStart() override { return m_nHavingStart; }
  int nGetHavingEnd() override { return m_nHavingEnd; }
  IExpOpExpression* piGetWhereTree() override { return m_where.Give(); }
  CTabValParser* pclGetItemReferences() override { return &m_clItems; }
  BOOL bHandshake(int, int, uint32_t* id) override {
    ++m_settings->nHandshakeCalls;
    if (!m_settings->bAnswer) return FALSE;
    if (id != nullptr) *id = m_settings->nId;
    return TRUE;
  }
  INAItemDescription* piGetItemDescription(IInfoRubrique* column) override {
    Throw(m_settings, CHostSQLParser::kThrowItemDescription);
    INAItemDescription* item = column != nullptr ? static_cast<CColumn*>(column)->m_piItem : nullptr;
    return item != nullptr ? item->ExternalAddRef() : nullptr;
  }
  INAItemDescription* piGetItemDescription(const wchar_t* table, const wchar_t* item) override {
    Throw(m_settings, CHostSQLParser::kThrowItemDescription);
    if (table == nullptr || *table == 0) {
      for (const Ref<CFromEntry>& from : m_lists->m_tabFrom)
        if (INAItemDescription* found = from->m_piDesc->piNAGetItem(item)) return found;
      return nullptr;
    }
    INADataSourceDescription* desc = pFindTable(table);
    return desc != nullptr ? desc->piNAGetItem(item) : nullptr;
  }
  INADataSourceDescription* piGetDataSourceDescription(IInfoFrom* from) override {
    return from != nullptr ? static_cast<CFromEntry*>(from)->m_piDesc->ExternalAddRef() : nullptr;
  }
  INADataSourceDescription* piGetDataSourceDescription(const wchar_t* name) override {
    INADataSourceDescription* desc = pFindTable(name);
    return desc != nullptr ? desc->ExternalAddRef() : nullptr;
  }
  int nGetQueryKind() override { return m_nKind; }
  IExpOpExpression* piGetHavingTree() override { return m_having.Give(); }
  int nGetSelectListEnd() override { return m_nSelectEnd; }
  const wchar_t* pszGetPhysicalName(const wchar_t* table) override {
    ++m_settings->nPhysicalNameAsks;
    Throw(m_settings, CHostSQLParser::kThrowPhysicalName);
    INADataSourceDescription* desc = pFindTable(table);
    return desc != nullptr ? desc->pszGetPhysicalName() : L"";
  }
  int nGetOrderByEnd() override { return m_nOrderEnd; }
  int nGetGroupByEnd() override { return m_nGroupEnd; }

  // A FROM alias of the query, else a table of the catalogue.
  CFromEntry* pFindAlias(const wchar_t* name) const {
    for (const Ref<CFromEntry>& from : m_lists->m_tabFrom)
      if (bSameName(from->m_sAlias, name)) return from.Get();
    return nullptr;
  }
  INADataSourceDescription* pFindTable(const wchar_t* name) const {
    if (CFromEntry* from = pFindAlias(name)) return from->m_piDesc;
    for (INADataSourceDescription* d : m_tabCatalogue)
      if (name != nullptr && wcscasecmp(d->pszGetLogicalName(), name) == 0) return d;
    return nullptr;
  }

  std::shared_ptr<CSettings> m_settings = std::make_shared<CSettings>();
  std::wstring m_sText;
  std::vector<INADataSourceDescription*> m_tabCatalogue;
  Ref<CClauseList> m_lists;
  Ref<CNode> m_where;
  Ref<CNode> m_having;
  int m_nKind = 0;
  int m_nWhereStart = 0, m_nWhereEnd = -1;
  int m_nHavingStart = 0, m_nHavingEnd = -1;
  int m_nOrderStart = 0, m_nOrderEnd = -1;
  int m_nGroupEnd = -1;
  int m_nSelectEnd = 0;
  bool m_bFilter = false;
  std::vector<std::unique_ptr<STValParser>> m_tabParameterStore;
  std::deque<std::wstring> m_tabItemNames;
  std::vector<std::unique_ptr<STItemParser>> m_tabItemStore;
  std::vector<STItemParser*> m_tabItems;
  std::vector<STItemParser*> m_tabParameterItems;
  std::vector<STValParser*> m_tabParameters;
  CTabValParser m_clParameters;
  CTabValParser m_clItems;
};

// ---------------------------------------------------------------- the lexer

enum eTOKEN { TK_END, TK_IDENT, TK_NUMBER, TK_STRING, TK_BIND, TK_SYMBOL };

struct STToken {
  eTOKEN kind = TK_END;
  std::wstring text;  // an identifier or symbol as written, a string's value, a bind's name
  uint32_t start = 0;
  uint32_t end = 0;  // inclusive
  bool real = false;
};

struct CParseError {
  std::wstring message;
};

class CLexer {
 public:
  explicit CLexer(const std::wstring& text) : m_s(text) {}

  std::vector<STToken> Tokens() {
    std::vector<STToken> out;
    for (;;) {
      while (m_i < m_s.size() && (m_s[m_i] == L' ' || m_s[m_i] == L'\t' || m_s[m_i] == L'\r' || m_s[m_i] == L'\n'))
        ++m_i;
      STToken t;
      t.start = static_cast<uint32_t>(m_i);
      if (m_i >= m_s.size()) {
        t.end = t.start;
        out.push_back(t);
        return out;
      }
      const wchar_t c = m_s[m_i];
      if (iswalpha(static_cast<wint_t>(c)) || c == L'_') {
        while (m_i < m_s.size() && (iswalnum(static_cast<wint_t>(m_s[m_i])) || m_s[m_i] == L'_')) ++m_i;
        t.kind = TK_IDENT;
        t.text = m_s.substr(t.start, m_i - t.start);
      } else if (iswdigit(static_cast<wint_t>(c))) {
        while (m_i < m_s.size() && iswdigit(static_cast<wint_t>(m_s[m_i]))) ++m_i;
        if (m_i + 1 < m_s.size() && m_s[m_i] == L'.' && iswdigit(static_cast<wint_t>(m_s[m_i + 1]))) {
          t.real = true;
          for (++m_i; m_i < m_s.size() && iswdigit(static_cast<wint_t>(m_s[m_i]));) ++m_i;
        }
        if (m_i < m_s.size() && (iswalpha(static_cast<wint_t>(m_s[m_i])) || m_s[m_i] == L'_'))
          Fail(m_i, L"a number runs into a name");
        t.kind = TK_NUMBER;
        t.text = m_s.substr(t.start, m_i - t.start);
      } else if (c == L'\'') {
        t.kind = TK_STRING;
        for (++m_i;; ++m_i) {
          if (m_i >= m_s.size()) Fail(t.start, L"unterminated text");
          if (m_s[m_i] != L'\'') {
            t.text += m_s[m_i];
          } else if (m_i + 1 < m_s.size() && m_s[m_i + 1] == L'\'') {
            t.text += L'\'';
            ++m_i;
          } else {
            break;
          }
        }
        ++m_i;
      } else if (c == L'{') {
        size_t j = m_i + 1;
        while (j < m_s.size() && (iswalnum(static_cast<wint_t>(m_s[j])) || m_s[j] == L'_')) ++j;
        if (j == m_i + 1 || j >= m_s.size() || m_s[j] != L'}') Fail(m_i, L"a bind variable is written {name}");
        t.kind = TK_BIND;
        t.text = m_s.substr(m_i + 1, j - m_i - 1);
        m_i = j + 1;
      } else {
        static const wchar_t* const kTwo[] = {L"<=", L">=", L"<>", L"!="};
        t.kind = TK_SYMBOL;
        for (const wchar_t* two : kTwo)
          if (m_s.compare(m_i, 2, two) == 0) t.text = two;
        if (t.text.empty()) {
          if (wcschr(L"(),.*+-/=<>;", c) == nullptr) Fail(m_i, L"unexpected character");
          t.text = std::wstring(1, c);
        }
        m_i += t.text.size();
      }
      t.end = static_cast<uint32_t>(m_i - 1);
      out.push_back(t);
    }
  }

  [[noreturn]] static void Fail(size_t at, const wchar_t* what) {
    wchar_t buffer[160];
    swprintf(buffer, 160, L"parse error at %zu: %ls", at, what);
    throw CParseError{buffer};
  }

 private:
  const std::wstring& m_s;
  size_t m_i = 0;
};

// ---------------------------------------------------------------- the parser

// Where a column reference stands: what its name may resolve to.
enum eCONTEXT { CTX_SELECT, CTX_JOIN, CTX_CLAUSE };

// An expression with the span it takes in the text, parentheses around it included.
struct STExpr {
  Ref<CNode> node;
  uint32_t start = 0;
  uint32_t end = 0;
};

constexpr int kMaxDepth = 200;

class CParser {
 public:
  CParser(const std::wstring& text, CParse* parse) : m_sText(text), m_pParse(parse), m_lists(*parse->m_lists.Get()) {
    m_tabTokens = CLexer(text).Tokens();
  }

  void Statement() {
    if (Keyword(L"SELECT"))
      Select();
    else if (Keyword(L"INSERT"))
      Insert();
    else if (Keyword(L"UPDATE"))
      Update();
    else if (Keyword(L"DELETE"))
      Delete();
    else if (Keyword(L"START") || Keyword(L"BEGIN") || Keyword(L"COMMIT") || Keyword(L"ROLLBACK") || Keyword(L"SET"))
      return SessionStatement();
    else
      Fail(L"SELECT, INSERT, UPDATE or DELETE expected");
    Symbol(L";");
    if (Cur().kind != TK_END) Fail(L"end of the query expected");
    Resolve();
  }

  // A statement of the session (transaction, setting), kind 0: its words are not read, it names
  // no table, its text goes to the server as written.
  void SessionStatement() {
    while (Cur().kind != TK_END && !bAtSymbol(L";")) Take();
    Symbol(L";");
    if (Cur().kind != TK_END) Fail(L"end of the query expected");
  }

  // The tables a filter condition reads.
  void FromListAlone() {
    FromList();
    if (Cur().kind != TK_END) Fail(L"end of the FROM list expected");
  }
  void FilterCondition() {
    m_pParse->m_where = Condition(CTX_CLAUSE).node;
    if (Cur().kind != TK_END) Fail(L"end of the condition expected");
    Resolve();
  }

 private:
  // ---- tokens ----
  const STToken& Cur() const { return m_tabTokens[m_n]; }
  const STToken& Next() const { return m_tabTokens[m_n + 1 < m_tabTokens.size() ? m_n + 1 : m_n]; }
  const STToken& Take() {
    const STToken& t = m_tabTokens[m_n];
    if (t.kind != TK_END) ++m_n;
    return t;
  }
  static bool bIsKeyword(const STToken& t, const wchar_t* word) {
    return t.kind == TK_IDENT && wcscasecmp(t.text.c_str(), word) == 0;
  }
  bool bAt(const wchar_t* word) const { return bIsKeyword(Cur(), word); }
  bool bAtSymbol(const wchar_t* s) const { return Cur().kind == TK_SYMBOL && Cur().text == s; }
  bool Keyword(const wchar_t* word) {
    if (!bAt(word)) return false;
    Take();
    return true;
  }
  bool Symbol(const wchar_t* s) {
    if (!bAtSymbol(s)) return false;
    Take();
    return true;
  }
  const STToken& ExpectKeyword(const wchar_t* word) {
    if (!bAt(word)) Fail((std::wstring(word) + L" expected").c_str());
    return Take();
  }
  const STToken& ExpectSymbol(const wchar_t* s) {
    if (!bAtSymbol(s)) Fail((L"\"" + std::wstring(s) + L"\" expected").c_str());
    return Take();
  }
  static bool bReserved(const STToken& t) {
    static const wchar_t* const kWords[] = {
        L"SELECT", L"DISTINCT", L"FROM",  L"AS",     L"JOIN",   L"INNER", L"LEFT",  L"RIGHT",  L"OUTER",
        L"ON",     L"WHERE",    L"GROUP", L"BY",     L"HAVING", L"ORDER", L"ASC",   L"DESC",   L"LIMIT",
        L"OFFSET", L"INSERT",   L"INTO",  L"VALUES", L"UPDATE", L"SET",   L"DELETE", L"AND",   L"OR",
        L"NOT",    L"IS",       L"NULL",  L"LIKE",   L"ESCAPE"};
    if (t.kind != TK_IDENT) return false;
    for (const wchar_t* w : kWords)
      if (wcscasecmp(t.text.c_str(), w) == 0) return true;
    return false;
  }
  const STToken& Name(const wchar_t* what) {
    if (Cur().kind != TK_IDENT || bReserved(Cur())) Fail((std::wstring(what) + L" expected").c_str());
    return Take();
  }
  [[noreturn]] void Fail(const wchar_t* what) const { CLexer::Fail(Cur().start, what); }
  [[noreturn]] void FailAt(uint32_t at, const std::wstring& what) const { CLexer::Fail(at, what.c_str()); }

  // ---- statements ----
  void Select() {
    m_pParse->m_nKind = 1;
    Keyword(L"DISTINCT");
    if (bAtSymbol(L"*")) {
      Take();
      m_bStar = true;
      m_pParse->m_nSelectEnd = 1;
    } else {
      do SelectColumn();
      while (Symbol(L","));
    }
    ExpectKeyword(L"FROM");
    FromList();
    Where();
    if (bAt(L"GROUP")) GroupBy();
    if (bAt(L"HAVING")) {
      m_pParse->m_nHavingStart = static_cast<int>(Take().start);
      STExpr e = Condition(CTX_CLAUSE);
      m_pParse->m_nHavingEnd = static_cast<int>(e.end);
      m_pParse->m_having = e.node;
    }
    if (bAt(L"ORDER")) OrderBy();
    if (Keyword(L"LIMIT")) {
      Number();
      if (Symbol(L",") || Keyword(L"OFFSET")) Number();
    }
  }

  void Number() {
    if (Cur().kind != TK_NUMBER || Cur().real) Fail(L"a whole number expected");
    Take();
  }

  void SelectColumn() {
    Ref<CColumn> column = Ref<CColumn>::New(new CColumn);
    STExpr e = Expression(CTX_SELECT);
    column->m_stPosition = Pos(e.start, e.end);
    column->m_expression = e.node;
    uint32_t end = e.end;
    const bool as = Keyword(L"AS");
    if (as || (Cur().kind == TK_IDENT && !bReserved(Cur()))) {
      const STToken& alias = Name(L"an alias");
      column->m_sName = alias.text;
      column->m_bAliased = true;
      end = alias.end;
    } else if (e.node->m_eOp != NA_OPEXP_COLUMN) {
      column->m_sName = m_sText.substr(e.start, e.end - e.start + 1);
    }
    m_pParse->m_nSelectEnd = static_cast<int>(end) + 1;
    m_lists.m_tabColumns.push_back(column);
  }

  Ref<CFromEntry> Table() {
    Ref<CFromEntry> from = Ref<CFromEntry>::New(new CFromEntry);
    const STToken& name = Name(L"a table name");
    from->m_sTable = name.text;
    from->m_stPosition = Pos(name.start, name.end);
    for (INADataSourceDescription* d : m_pParse->m_tabCatalogue)
      if (bSameName(name.text, d->pszGetLogicalName())) from->m_piDesc = d->ExternalAddRef();
    if (from->m_piDesc == nullptr) FailAt(name.start, L"unknown table " + name.text);
    const bool as = Keyword(L"AS");
    if (as || (Cur().kind == TK_IDENT && !bReserved(Cur()))) {
      const STToken& alias = Name(L"an alias");
      from->m_sAlias = alias.text;
      from->m_stAliasPosition = Pos(alias.start, alias.end);
    } else {
      from->m_sAlias = from->m_sTable;
    }
    for (const Ref<CFromEntry>& other : m_lists.m_tabFrom)
      if (bSameName(other->m_sAlias, from->m_sAlias.c_str())) FailAt(name.start, L"table named twice: " + from->m_sAlias);
    m_lists.m_tabFrom.push_back(from);
    return from;
  }

  void FromList() {
    Table();
    for (;;) {
      if (Symbol(L",")) {
        Table();
        continue;
      }
      if (Keyword(L"INNER")) {
        ExpectKeyword(L"JOIN");
      } else if (Keyword(L"LEFT") || Keyword(L"RIGHT")) {
        Keyword(L"OUTER");
        ExpectKeyword(L"JOIN");
      } else if (!Keyword(L"JOIN")) {
        return;
      }
      Ref<CFromEntry> joined = Table();
      ExpectKeyword(L"ON");
      joined->m_join = Condition(CTX_JOIN).node;
    }
  }

  void Where() {
    if (!bAt(L"WHERE")) return;
    m_pParse->m_nWhereStart = static_cast<int>(Take().start);
    STExpr e = Condition(CTX_CLAUSE);
    m_pParse->m_nWhereEnd = static_cast<int>(e.end);
    m_pParse->m_where = e.node;
  }

  void GroupBy() {
    Take();
    ExpectKeyword(L"BY");
    do {
      Ref<CGroupEntry> group = Ref<CGroupEntry>::New(new CGroupEntry);
      group->m_column = ColumnReference(CTX_CLAUSE);
      m_pParse->m_nGroupEnd = static_cast<int>(group->m_column->m_stExtent.nEnd);
      m_lists.m_tabGroups.push_back(group);
    } while (Symbol(L","));
  }

  void OrderBy() {
    m_pParse->m_nOrderStart = static_cast<int>(Take().start);
    ExpectKeyword(L"BY");
    do {
      Ref<COrderEntry> order = Ref<COrderEntry>::New(new COrderEntry);
      const STToken& first = Cur();
      if (first.kind == TK_NUMBER && !first.real &&
          (Next().kind == TK_END || bIsKeyword(Next(), L"ASC") || bIsKeyword(Next(), L"DESC") ||
           bIsKeyword(Next(), L"LIMIT") || (Next().kind == TK_SYMBOL && (Next().text == L"," || Next().text == L";")))) {
        Take();
        const long n = wcstol(first.text.c_str(), nullptr, 10);
        if (n < 1 || n > INT_MAX) FailAt(first.start, L"no SELECT column " + first.text);
        order->m_nIndex = static_cast<int>(n - 1);
        order->m_stPosition = Pos(first.start, first.end);
      } else {
        STExpr e = Expression(CTX_CLAUSE);
        order->m_expression = e.node;
        order->m_stPosition = Pos(e.start, e.end);
      }
      m_pParse->m_nOrderEnd = static_cast<int>(order->m_stPosition.nEnd);
      if (bAt(L"ASC") || bAt(L"DESC")) {
        order->m_nDirection = bAt(L"DESC") ? 1 : 0;
        m_pParse->m_nOrderEnd = static_cast<int>(Take().end);
      }
      m_lists.m_tabOrder.push_back(order);
    } while (Symbol(L","));
  }

  void Insert() {
    m_pParse->m_nKind = 4;
    ExpectKeyword(L"INTO");
    Ref<CFromEntry> table = SingleTable(false);
    ExpectSymbol(L"(");
    std::vector<Ref<CNode>> columns;
    do columns.push_back(ColumnReference(CTX_JOIN));
    while (Symbol(L","));
    ExpectSymbol(L")");
    ExpectKeyword(L"VALUES");
    ExpectSymbol(L"(");
    size_t i = 0;
    do {
      if (i == columns.size()) Fail(L"more values than columns");
      Ref<CInsertion> entry = Ref<CInsertion>::New(new CInsertion);
      entry->m_column = columns[i++];
      entry->m_value = Expression(CTX_JOIN).node;
      m_lists.m_tabInsert.push_back(entry);
    } while (Symbol(L","));
    if (i != columns.size()) Fail(L"fewer values than columns");
    ExpectSymbol(L")");
  }

  void Update() {
    m_pParse->m_nKind = 3;
    SingleTable(true);
    ExpectKeyword(L"SET");
    do {
      Ref<CAffectation> set = Ref<CAffectation>::New(new CAffectation);
      set->m_column = ColumnReference(CTX_JOIN);
      ExpectSymbol(L"=");
      set->m_value = Expression(CTX_JOIN).node;
      m_lists.m_tabSet.push_back(set);
    } while (Symbol(L","));
    Where();
  }

  void Delete() {
    m_pParse->m_nKind = 5;
    ExpectKeyword(L"FROM");
    SingleTable(false);
    Where();
  }

  Ref<CFromEntry> SingleTable(bool withAlias) {
    if (withAlias) return Table();
    Ref<CFromEntry> from = Ref<CFromEntry>::New(new CFromEntry);
    const STToken& name = Name(L"a table name");
    from->m_sTable = from->m_sAlias = name.text;
    from->m_stPosition = Pos(name.start, name.end);
    for (INADataSourceDescription* d : m_pParse->m_tabCatalogue)
      if (bSameName(name.text, d->pszGetLogicalName())) from->m_piDesc = d->ExternalAddRef();
    if (from->m_piDesc == nullptr) FailAt(name.start, L"unknown table " + name.text);
    m_lists.m_tabFrom.push_back(from);
    return from;
  }

  // ---- expressions ----
  // Every made node is listed with the context its column references resolve in.
  Ref<CNode> NewNode(eOPEXPRESSION op, uint32_t start, uint32_t end) {
    Ref<CNode> node = Ref<CNode>::New(new CNode(op));
    node->m_stPosition = Pos(start, end);
    node->m_stExtent = Pos(start, end);
    return node;
  }
  void Adopt(CNode* parent, const Ref<CNode>& child) {
    parent->m_tabArgs.push_back(child);
    if (child->m_nHeight >= parent->m_nHeight) parent->m_nHeight = child->m_nHeight + 1;
    if (parent->m_nHeight > kMaxDepth) Fail(L"expression nested too deeply");
  }
  // An operator written before its one operand; placed by its token.
  STExpr Prefix(eOPEXPRESSION op, const STToken& token, STExpr operand) {
    STExpr e;
    e.node = NewNode(op, token.start, token.end);
    e.node->m_stExtent = Pos(token.start, operand.end);
    Adopt(e.node.Get(), operand.node);
    e.start = token.start;
    e.end = operand.end;
    return e;
  }
  STExpr Binary(eOPEXPRESSION op, const STToken& token, STExpr left, STExpr right) {
    STExpr e;
    e.node = NewNode(op, token.start, token.end);
    e.node->m_stExtent = Pos(left.start, right.end);
    Adopt(e.node.Get(), left.node);
    Adopt(e.node.Get(), right.node);
    e.start = left.start;
    e.end = right.end;
    return e;
  }

  struct CDepth {
    explicit CDepth(CParser* p) : m_p(p) {
      if (++m_p->m_nDepth > kMaxDepth) m_p->Fail(L"expression nested too deeply");
    }
    ~CDepth() { --m_p->m_nDepth; }
    CParser* m_p;
  };

  // One level of left-associative binary operators (keywords or symbols) over the next level.
  STExpr LeftToRight(eCONTEXT ctx, std::initializer_list<std::pair<const wchar_t*, eOPEXPRESSION>> ops,
                     STExpr (CParser::*next)(eCONTEXT)) {
    STExpr left = (this->*next)(ctx);
    for (;;) {
      auto op = ops.begin();
      while (op != ops.end() && !bAt(op->first) && !bAtSymbol(op->first)) ++op;
      if (op == ops.end()) return left;
      const STToken& token = Take();
      left = Binary(op->second, token, left, (this->*next)(ctx));
    }
  }

  STExpr Condition(eCONTEXT ctx) { return Or(ctx); }
  STExpr Or(eCONTEXT ctx) { return LeftToRight(ctx, {{L"OR", NA_OPEXP_OR}}, &CParser::And); }
  STExpr And(eCONTEXT ctx) { return LeftToRight(ctx, {{L"AND", NA_OPEXP_AND}}, &CParser::Not); }
  STExpr Not(eCONTEXT ctx) {
    CDepth depth(this);
    if (!bAt(L"NOT")) return Predicate(ctx);
    const STToken& op = Take();
    return Prefix(NA_OPEXP_NOT, op, Not(ctx));
  }
  STExpr Predicate(eCONTEXT ctx) {
    STExpr left = Expression(ctx);
    static const struct {
      const wchar_t* symbol;
      eOPEXPRESSION op;
    } kCompare[] = {{L"=", NA_OPEXP_EQUAL},       {L"<>", NA_OPEXP_DIFFERENT}, {L"!=", NA_OPEXP_DIFFERENT},
                    {L"<", NA_OPEXP_LESS},        {L"<=", NA_OPEXP_LESSEQUAL}, {L">", NA_OPEXP_GREATER},
                    {L">=", NA_OPEXP_GREATEREQUAL}};
    for (const auto& c : kCompare)
      if (bAtSymbol(c.symbol)) {
        const STToken& op = Take();
        return Binary(c.op, op, left, Expression(ctx));
      }
    if (bAt(L"IS")) {
      const STToken& is = Take();
      Keyword(L"NOT");
      const STToken& null = ExpectKeyword(L"NULL");
      STExpr e;
      e.node = NewNode(NA_OPEXP_ISNULL, is.start, null.end);
      e.node->m_stExtent = Pos(left.start, null.end);
      Adopt(e.node.Get(), left.node);
      e.start = left.start;
      e.end = null.end;
      return e;
    }
    if (bAt(L"LIKE") || (bAt(L"NOT") && bIsKeyword(Next(), L"LIKE"))) {
      const uint32_t opStart = Cur().start;
      if (bAt(L"NOT")) Take();
      const STToken& like = Take();
      STExpr pattern = Expression(ctx);
      AsWritten(pattern.node.Get());
      STExpr e = Binary(NA_OPEXP_LIKE, like, left, pattern);
      e.node->m_stPosition = Pos(opStart, like.end);
      if (Keyword(L"ESCAPE")) {
        const STToken& escape = Cur();
        if (escape.kind != TK_STRING || escape.text.size() != 1) Fail(L"one escape character expected");
        Take();
        e.node->m_cEscape = escape.text[0];
        e.end = escape.end;
        e.node->m_stExtent.nEnd = escape.end;
      }
      return e;
    }
    return left;
  }
  STExpr Expression(eCONTEXT ctx) {
    CDepth depth(this);
    return LeftToRight(ctx, {{L"+", NA_OPEXP_ADD}, {L"-", NA_OPEXP_SUBTRACT}}, &CParser::Term);
  }
  STExpr Term(eCONTEXT ctx) {
    return LeftToRight(ctx, {{L"*", NA_OPEXP_MULTIPLY}, {L"/", NA_OPEXP_DIVIDE}}, &CParser::Unary);
  }
  STExpr Unary(eCONTEXT ctx) {
    CDepth depth(this);
    if (!bAtSymbol(L"-")) return Primary(ctx);
    const STToken& minus = Take();
    if (Cur().kind == TK_NUMBER && Cur().start == minus.end + 1) return Literal(&minus);
    return Prefix(NA_OPEXP_NEGATE, minus, Unary(ctx));
  }
  STExpr Primary(eCONTEXT ctx) {
    const STToken& t = Cur();
    if (t.kind == TK_NUMBER || t.kind == TK_STRING || t.kind == TK_BIND) return Literal(nullptr);
    if (bAtSymbol(L"(")) {
      const STToken& open = Take();
      STExpr inner = Condition(ctx);
      const STToken& close = ExpectSymbol(L")");
      inner.start = open.start;
      inner.end = close.end;
      return inner;
    }
    // LEFT and RIGHT name joins too; before "(" they are functions.
    if (t.kind == TK_IDENT && Next().kind == TK_SYMBOL && Next().text == L"(" &&
        (!bReserved(t) || bIsKeyword(t, L"LEFT") || bIsKeyword(t, L"RIGHT")))
      return Function(ctx);
    STExpr e;
    e.node = ColumnReference(ctx);
    e.start = e.node->m_stExtent.nStart;
    e.end = e.node->m_stExtent.nEnd;
    return e;
  }

  // A LIKE pattern written as a text literal is handed as written between its quotes, SQL quoting
  // not undone: undoing it is the driver's.
  void AsWritten(CNode* node) {
    if (node->m_eOp != NA_OPEXP_LITERAL || node->m_nHostType != kHostText) return;
    const uint32_t start = node->m_stPosition.nStart, end = node->m_stPosition.nEnd;
    if (end <= start || m_sText[start] != L'\'') return;
    const std::wstring written = m_sText.substr(start + 1, end - start - 1);
    node->m_clValue.SetValueByte(written.data(), static_cast<unsigned int>(written.size() * sizeof(wchar_t)));
    node->m_nSize = static_cast<int>(written.size()) + 1;
  }

  STExpr Literal(const STToken* minus) {
    const STToken& t = Take();
    STExpr e;
    e.start = minus != nullptr ? minus->start : t.start;
    e.end = t.end;
    e.node = NewNode(NA_OPEXP_LITERAL, e.start, e.end);
    CNode& node = *e.node.Get();
    if (t.kind == TK_STRING) {
      node.m_clValue.__SetType(ZV_DSTRW, 0);
      node.m_clValue.SetValueByte(t.text.data(), static_cast<unsigned int>(t.text.size() * sizeof(wchar_t)));
      node.m_nHostType = kHostText;
      node.m_nSize = static_cast<int>(t.text.size()) + 1;
    } else if (t.kind == TK_BIND) {
      node.m_sName = t.text;
      node.m_clValue.SetNull(true);
      auto entry = std::make_unique<STValParser>();
      entry->clValue.SetNull(true);
      entry->nStart = static_cast<int>(t.start);
      entry->nLength = static_cast<int>(t.end - t.start + 1);
      m_pParse->m_tabParameters.push_back(entry.get());
      m_pParse->m_tabParameterStore.push_back(std::move(entry));
    } else {
      const std::wstring digits = m_sText.substr(e.start, e.end - e.start + 1);
      if (t.real) {
        node.m_clValue.SetR8(wcstod(digits.c_str(), nullptr));
        node.m_nHostType = kHostR8;
        node.m_nSize = 8;
      } else {
        errno = 0;
        const long long n = wcstoll(digits.c_str(), nullptr, 10);
        if (errno == ERANGE) FailAt(e.start, L"number out of range");
        if (n >= INT32_MIN && n <= INT32_MAX) {
          node.m_clValue.SetI4(static_cast<int>(n));
          node.m_nHostType = kHostI4;
          node.m_nSize = 4;
        } else {
          node.m_clValue.SetI8(n);
          node.m_nHostType = kHostI8;
          node.m_nSize = 8;
        }
      }
    }
    return e;
  }

  STExpr Function(eCONTEXT ctx) {
    static const struct {
      const wchar_t* name;
      eOPEXPRESSION op;
      int minArgs, maxArgs;
    } kFunctions[] = {{L"COUNT", NA_OPEXP_COUNT, 1, 1}, {L"SUM", NA_OPEXP_SUM, 1, 1},
                      {L"AVG", NA_OPEXP_AVG, 1, 1},     {L"MIN", NA_OPEXP_MIN, 1, 1},
                      {L"MAX", NA_OPEXP_MAX, 1, 1},     {L"UPPER", NA_OPEXP_UPPER, 1, 1},
                      {L"LOWER", NA_OPEXP_LOWER, 1, 1}, {L"LTRIM", NA_OPEXP_LTRIM, 1, 1},
                      {L"RTRIM", NA_OPEXP_RTRIM, 1, 1}, {L"LENGTH", NA_OPEXP_LENGTH, 1, 1},
                      {L"CEILING", NA_OPEXP_CEILING, 1, 1}, {L"LEFT", NA_OPEXP_LEFT, 2, 2},
                      {L"RIGHT", NA_OPEXP_RIGHT, 2, 2}, {L"IFNULL", NA_OPEXP_IFNULL, 2, 2},
                      {L"SUBSTRING", NA_OPEXP_SUBSTRING, 2, 3}, {L"PHONETIC", NA_OPEXP_UNSUPPORTED, 1, 1}};
    const STToken& name = Take();
    const auto* f = std::begin(kFunctions);
    while (f != std::end(kFunctions) && wcscasecmp(f->name, name.text.c_str()) != 0) ++f;
    if (f == std::end(kFunctions)) FailAt(name.start, L"unknown function " + name.text);
    if (s_bAggregate(f->op) && ctx != CTX_CLAUSE && ctx != CTX_SELECT)
      FailAt(name.start, L"an aggregate out of place");
    if (s_bAggregate(f->op) && m_nAggregate > 0) FailAt(name.start, L"an aggregate inside an aggregate");
    ExpectSymbol(L"(");
    STExpr e;
    e.node = NewNode(f->op, name.start, name.end);
    if (f->op == NA_OPEXP_COUNT && bAtSymbol(L"*")) {
      Take();
    } else {
      if (s_bAggregate(f->op)) ++m_nAggregate;
      do Adopt(e.node.Get(), Expression(ctx).node);
      while (Symbol(L","));
      if (s_bAggregate(f->op)) --m_nAggregate;
      const int n = static_cast<int>(e.node->m_tabArgs.size());
      if (n < f->minArgs || n > f->maxArgs) FailAt(name.start, L"wrong number of arguments to " + name.text);
    }
    const STToken& close = ExpectSymbol(L")");
    e.node->m_stExtent = Pos(name.start, close.end);
    e.start = name.start;
    e.end = close.end;
    return e;
  }
  static bool s_bAggregate(eOPEXPRESSION op) { return op >= NA_OPEXP_SUM && op <= NA_OPEXP_COUNT; }

  Ref<CNode> ColumnReference(eCONTEXT ctx) {
    const STToken& first = Name(L"a column");
    Ref<CNode> node = NewNode(NA_OPEXP_COLUMN, first.start, first.end);
    node->m_sName = first.text;
    if (bAtSymbol(L".") && Cur().start == first.end + 1) {
      Take();
      if (Cur().start != first.end + 2) Fail(L"a column name right after \".\" expected");
      const STToken& second = Name(L"a column");
      node->m_sQualifier = first.text;
      node->m_sName = second.text;
      node->m_stPosition = node->m_stExtent = Pos(first.start, second.end);
    }
    node->m_bAliasAllowed = ctx == CTX_CLAUSE;
    m_tabReferences.push_back(node.Get());
    return node;
  }

  // ---- resolution, once every table is known ----
  void Resolve() {
    if (m_bStar) Star();
    for (CNode* ref : m_tabReferences) ResolveReference(ref);
    for (const Ref<CColumn>& column : m_lists.m_tabColumns) DescribeColumn(column.Get());
    for (const Ref<CGroupEntry>& group : m_lists.m_tabGroups) DescribeGroup(group.Get());
    for (const Ref<COrderEntry>& order : m_lists.m_tabOrder) {
      if (order->m_expression)
        order->m_nIndex = nSelectIndexOf(order->m_expression.Get());
      else if (order->m_nIndex >= static_cast<int>(m_lists.m_tabColumns.size()))
        FailAt(order->m_stPosition.nStart, L"no SELECT column " + std::to_wstring(order->m_nIndex + 1));
    }
    // Types last: a reference to a SELECT alias takes its column's.
    for (const Ref<CColumn>& column : m_lists.m_tabColumns) Type(column->m_expression.Get());
    for (const Ref<CColumn>& column : m_lists.m_tabColumns) {
      column->m_nHostType = column->m_expression->m_nHostType;
      column->m_nSize = column->m_expression->m_nSize;
    }
    for (CNode* root : {m_pParse->m_where.Get(), m_pParse->m_having.Get()}) Type(root);
    for (const Ref<CFromEntry>& from : m_lists.m_tabFrom) Type(from->m_join.Get());
    for (const Ref<COrderEntry>& order : m_lists.m_tabOrder) Type(order->m_expression.Get());
    for (const Ref<CInsertion>& entry : m_lists.m_tabInsert) Type(entry->m_value.Get());
    for (const Ref<CAffectation>& set : m_lists.m_tabSet) Type(set->m_value.Get());
    m_pParse->m_clParameters.nCount = static_cast<int>(m_pParse->m_tabParameters.size());
    m_pParse->m_clParameters.ppEntries = m_pParse->m_tabParameters.data();
  }

  void Star() {
    for (const Ref<CFromEntry>& from : m_lists.m_tabFrom) {
      INADataSourceDescription* desc = from->m_piDesc;
      for (int i = 0; i < desc->nGetNumItems(); ++i) {
        INAItemDescription* item = desc->piNAGetItem(static_cast<unsigned int>(i));
        if (item == nullptr) continue;
        if (item->bIsComposedKey()) {
          item->nExternalRelease();
          continue;
        }
        Ref<CColumn> column = Ref<CColumn>::New(new CColumn);
        column->m_expression = NewNode(NA_OPEXP_COLUMN, 0, 0);
        column->m_expression->m_sName = item->pszGetName();
        column->m_expression->m_sQualifier = from->m_sAlias;
        column->m_expression->m_pFrom = from.Get();
        column->m_expression->m_piItem = item;
        column->m_expression->m_stExtent = column->m_expression->m_stPosition = stTEXTPOSITION();
        item->nExternalRelease();
        m_lists.m_tabColumns.push_back(column);
      }
    }
  }

  void ResolveReference(CNode* ref) {
    const wchar_t* name = ref->m_sName.c_str();
    if (!ref->m_sQualifier.empty()) {
      CFromEntry* from = m_pParse->pFindAlias(ref->m_sQualifier.c_str());
      if (from == nullptr) FailAt(ref->m_stExtent.nStart, L"unknown table " + ref->m_sQualifier);
      Bind(ref, from);
      return;
    }
    CFromEntry* found = nullptr;
    for (const Ref<CFromEntry>& from : m_lists.m_tabFrom) {
      INAItemDescription* item = from->m_piDesc->piNAGetItem(name);
      if (item == nullptr) continue;
      item->nExternalRelease();
      if (found != nullptr) FailAt(ref->m_stExtent.nStart, L"ambiguous column " + ref->m_sName);
      found = from.Get();
    }
    if (found != nullptr) {
      Bind(ref, found);
      return;
    }
    if (ref->m_bAliasAllowed)
      for (size_t i = 0; i < m_lists.m_tabColumns.size(); ++i)
        if (bSameName(m_lists.m_tabColumns[i]->m_sName, name) && m_lists.m_tabColumns[i]->m_bAliased) {
          ref->m_nAliasOf = static_cast<int>(i);
          return;
        }
    FailAt(ref->m_stExtent.nStart, L"unknown column " + ref->m_sName);
  }

  void Bind(CNode* ref, CFromEntry* from) {
    INAItemDescription* item = from->m_piDesc->piNAGetItem(ref->m_sName.c_str());
    if (item == nullptr) FailAt(ref->m_stExtent.nStart, L"unknown column " + ref->m_sQualifier + L"." + ref->m_sName);
    if (item->bIsComposedKey()) {
      item->nExternalRelease();
      FailAt(ref->m_stExtent.nStart, L"a composite key is no column: " + ref->m_sName);
    }
    // The description keeps the item alive as long as the parse holds the description.
    item->nExternalRelease();
    ref->m_pFrom = from;
    ref->m_piItem = item;
  }

  void DescribeColumn(CColumn* column) {
    CNode* e = column->m_expression.Get();
    if (e->m_eOp != NA_OPEXP_COLUMN || e->m_piItem == nullptr) {
      column->m_nCalcul = 1;
      return;
    }
    if (column->m_sName.empty()) column->m_sName = e->m_sName;
    column->m_sNameInSource = e->m_piItem->pszGetName();
    column->m_sSourceAlias = e->m_pFrom->m_sAlias;
    column->m_sSourceTable = e->m_pFrom->m_sTable;
    column->m_pFrom = e->m_pFrom;
    column->m_piItem = e->m_piItem->ExternalAddRef();
  }

  // The SELECT column an ORDER BY or GROUP BY expression designates; -1 when none.
  int nSelectIndexOf(CNode* e) const {
    if (e->m_eOp != NA_OPEXP_COLUMN) return -1;
    if (e->m_nAliasOf >= 0) return e->m_nAliasOf;
    for (size_t i = 0; i < m_lists.m_tabColumns.size(); ++i) {
      const CColumn* c = m_lists.m_tabColumns[i].Get();
      if (c->m_nCalcul == 0 && c->m_pFrom == e->m_pFrom && c->m_piItem == e->m_piItem) return static_cast<int>(i);
    }
    return -1;
  }

  void DescribeGroup(CGroupEntry* group) {
    CNode* e = group->m_column.Get();
    group->m_sFichier = e->m_sQualifier;
    const int i = nSelectIndexOf(e);
    if (e->m_nAliasOf < 0) {
      group->m_sRubrique = e->m_sName;
      group->m_sTable = e->m_pFrom->m_sTable;
      if (!bSameName(e->m_pFrom->m_sAlias, e->m_pFrom->m_sTable.c_str())) group->m_sAlias = e->m_pFrom->m_sAlias;
    }
    group->m_sRubriqueAlias = i >= 0 ? m_lists.m_tabColumns[static_cast<size_t>(i)]->m_sName : e->m_sName;
  }

  void Type(CNode* e) {
    if (e == nullptr) return;
    for (const Ref<CNode>& a : e->m_tabArgs) Type(a.Get());
    const CNode* first = e->m_tabArgs.empty() ? nullptr : e->m_tabArgs[0].Get();
    switch (e->m_eOp) {
      case NA_OPEXP_COLUMN:
        if (e->m_piItem != nullptr) {
          e->m_nHostType = nHostType(e->m_piItem->eNAGetItemType());
          e->m_nSize = static_cast<int>(e->m_piItem->nGetItemSize());
        } else if (e->m_nAliasOf >= 0) {
          const CColumn* c = m_lists.m_tabColumns[static_cast<size_t>(e->m_nAliasOf)].Get();
          e->m_nHostType = c->m_nHostType;
          e->m_nSize = c->m_nSize;
        }
        return;
      case NA_OPEXP_LITERAL:
        return;
      case NA_OPEXP_ADD:
      case NA_OPEXP_SUBTRACT:
      case NA_OPEXP_MULTIPLY:
      case NA_OPEXP_SUM: {
        bool integer = true;
        for (const Ref<CNode>& a : e->m_tabArgs) integer = integer && bIsIntegerHostType(a->m_nHostType);
        e->m_nHostType = integer ? kHostI8 : kHostR8;
        e->m_nSize = 8;
        return;
      }
      case NA_OPEXP_DIVIDE:
      case NA_OPEXP_AVG:
        e->m_nHostType = kHostR8;
        e->m_nSize = 8;
        return;
      case NA_OPEXP_COUNT:
        e->m_nHostType = kHostI8;
        e->m_nSize = 8;
        return;
      case NA_OPEXP_LENGTH:
        e->m_nHostType = kHostI4;
        e->m_nSize = 4;
        return;
      case NA_OPEXP_NEGATE:
      case NA_OPEXP_MIN:
      case NA_OPEXP_MAX:
      case NA_OPEXP_UPPER:
      case NA_OPEXP_LOWER:
      case NA_OPEXP_LTRIM:
      case NA_OPEXP_RTRIM:
      case NA_OPEXP_LEFT:
      case NA_OPEXP_RIGHT:
      case NA_OPEXP_SUBSTRING:
      case NA_OPEXP_CEILING:
      case NA_OPEXP_IFNULL:
        e->m_nHostType = first->m_nHostType;
        e->m_nSize = first->m_nSize;
        return;
      default:  // conditions
        e->m_nHostType = kHostBoolean;
        e->m_nSize = 1;
        return;
    }
  }

  const std::wstring& m_sText;
  CParse* m_pParse;
  CClauseList& m_lists;
  std::vector<STToken> m_tabTokens;
  size_t m_n = 0;
  int m_nDepth = 0;
  int m_nAggregate = 0;
  bool m_bStar = false;
  // Borrowed: the trees being built hold them.
  std::vector<CNode*> m_tabReferences;
};

}  // namespace

// ---------------------------------------------------------------- entry points

namespace {

// A parse of text over the catalogue, made by run; null with the reason in *error.
template <typename F>
ISQLParserInformation* piParseWith(const wchar_t* text, const CHostSQLCatalogue& tables, CTString* error, F run) {
  Ref<CParse> parse = Ref<CParse>::New(new CParse);
  parse->m_sText = text != nullptr ? text : L"";
  for (INADataSourceDescription* d : tables.Descriptions()) parse->m_tabCatalogue.push_back(d->ExternalAddRef());
  parse->m_lists = Ref<CClauseList>::New(new CClauseList);
  parse->m_lists->m_settings = parse->m_settings;
  try {
    run(parse.Get());
  } catch (const CParseError& e) {
    if (error != nullptr) *error = e.message.c_str();
    return nullptr;
  }
  if (error != nullptr) error->Set(nullptr);
  return parse.Give();
}

}  // namespace

ISQLParserInformation* CHostSQLParser::piParse(const wchar_t* text, const CHostSQLCatalogue& tables, CTString* error) {
  return piParseWith(text, tables, error, [](CParse* parse) { CParser(parse->m_sText, parse).Statement(); });
}

ISQLParserInformation* CHostSQLParser::piParseCondition(const wchar_t* condition, const wchar_t* from,
                                                        const CHostSQLCatalogue& tables, CTString* error) {
  const std::wstring fromText = from != nullptr ? from : L"";
  return piParseWith(condition, tables, error, [&](CParse* parse) {
    parse->m_bFilter = true;
    CParser(fromText, parse).FromListAlone();
    CParser(parse->m_sText, parse).FilterCondition();
  });
}

void CHostSQLParser::AddItemReference(ISQLParserInformation* parse, bool parameterTable, int start, int length,
                                      const wchar_t* item, const wchar_t* table) {
  CParse* p = static_cast<CParse*>(parse);
  std::vector<STItemParser*>& items = parameterTable ? p->m_tabParameterItems : p->m_tabItems;
  CTabValParser& list = parameterTable ? p->m_clParameters : p->m_clItems;
  auto entry = std::make_unique<STItemParser>();
  entry->nStart = start;
  entry->nLength = length;
  entry->pszItem = p->m_tabItemNames.emplace_back(item != nullptr ? item : L"").c_str();
  entry->pszTable = p->m_tabItemNames.emplace_back(table != nullptr ? table : L"").c_str();
  items.push_back(entry.get());
  p->m_tabItemStore.push_back(std::move(entry));
  list.nItemCount = static_cast<int>(items.size());
  list.ppItems = items.data();
}

void CHostSQLParser::AddParameter(ISQLParserInformation* parse, const CAny& value) {
  CParse* p = static_cast<CParse*>(parse);
  auto entry = std::make_unique<STValParser>();
  entry->clValue = value;
  p->m_tabParameters.push_back(entry.get());
  p->m_tabParameterStore.push_back(std::move(entry));
  p->m_clParameters.nCount = static_cast<int>(p->m_tabParameters.size());
  p->m_clParameters.ppEntries = p->m_tabParameters.data();
}

void CHostSQLParser::SetThrow(ISQLParserInformation* parse, unsigned int what) {
  static_cast<CParse*>(parse)->m_settings->dwThrow = what;
}

void CHostSQLParser::SetHandshake(ISQLParserInformation* parse, BOOL answer, uint32_t id) {
  static_cast<CParse*>(parse)->m_settings->bAnswer = answer;
  static_cast<CParse*>(parse)->m_settings->nId = id;
}

int CHostSQLParser::nHandshakeCalls(ISQLParserInformation* parse) {
  return static_cast<CParse*>(parse)->m_settings->nHandshakeCalls;
}

int CHostSQLParser::nPhysicalNameAsks(ISQLParserInformation* parse) {
  return static_cast<CParse*>(parse)->m_settings->nPhysicalNameAsks;
}

long CHostSQLParser::nLive() { return g_nLive.load(); }

// ---------------------------------------------------------------- bind values

CHostQueryParameters::CHostQueryParameters() { ++g_nLive; }
CHostQueryParameters::~CHostQueryParameters() { --g_nLive; }

int CHostQueryParameters::nRelease() {
  const int left = --m_nRef;
  if (left == 0) delete this;
  return left;
}

void CHostQueryParameters::Set(const wchar_t* name, const CAny& value, int direction) {
  STEntry* entry = _pFind(name);
  if (entry == nullptr) entry = &m_tabEntries.emplace_back(STEntry{name, CAny(), 1});
  entry->value = value;
  entry->direction = direction;
}

CHostQueryParameters::STEntry* CHostQueryParameters::_pFind(const wchar_t* name) {
  for (STEntry& e : m_tabEntries)
    if (bSameName(e.name, name)) return &e;
  return nullptr;
}

CAny* CHostQueryParameters::pclGetValue(const wchar_t* name, int) {
  m_tabAsked.emplace_back(name != nullptr ? name : L"");
  STEntry* entry = _pFind(name);
  return entry != nullptr ? &entry->value : nullptr;
}

int CHostQueryParameters::nGetDirection(const wchar_t* name) {
  m_tabAsked.emplace_back(name != nullptr ? name : L"");
  STEntry* entry = _pFind(name);
  return entry != nullptr ? entry->direction : 0;
}
