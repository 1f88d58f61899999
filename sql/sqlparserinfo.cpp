#include "sql/sqlparserinfo.h"

#include <cwchar>
#include <cwctype>
#include <new>

#include "access/narecord.h"
#include "common/str_compare.h"
#include "driver/inadatasourcedescription.h"
#include "driver/naerror.h"
#include "sql/inaitemdescription.h"
#include "sql/nacolumn.h"
#include "sql/nacommand.h"

namespace {

// Host engine type codes read here: memos and automatic identifiers.
bool bIsMemoHostType(int type) { return type == 15 || type == 16 || type == 29 || type == 30 || type == 40; }
bool bIsIdAutoHostType(int type) { return type == 24 || type == 38; }

constexpr size_t kPhysicalNameSize = 261;
wchar_t g_szPhysicalName[kPhysicalNameSize];

bool bHasText(const wchar_t* s) { return s != nullptr && *s != 0; }
bool bSameText(const wchar_t* a, const wchar_t* b) {
  return STR_nCompareW(a != nullptr ? a : L"", b != nullptr ? b : L"", 3) == 0;
}
bool bIsSQLBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; }

// The index the enumeration moves to: 0 on restart, the next one otherwise; -1 before a start
// and past the end (where the cursor stays).
int nNextIndex(int* cursor, int count, int restart) {
  if (restart != 0)
    *cursor = 0;
  else if (*cursor < 0)
    return -1;
  else if (*cursor < count)
    ++*cursor;
  return *cursor < count ? *cursor : -1;
}

template <typename T>
T* pEnumNext(const CTTableau<T*>& tab, int* cursor, int restart) {
  const int i = nNextIndex(cursor, tab.nGetCount(), restart);
  return i >= 0 ? tab[i] : nullptr;
}

}  // namespace

// ---------------------------------------------------------------- CInfoGroupe

CInfoGroupe::CInfoGroupe(IInfoGroupe* entry)
    : m_csAlias(entry->pszGetAlias()),
      m_csNomTable(entry->pszGetNomTable()),
      m_csNomRubrique(entry->pszGetNomRubrique()),
      m_csNomFichier(entry->pszGetNomFichier()),
      m_csNomRubriqueAlias(entry->pszGetNomRubriqueAlias()),
      m_bAvecTable(entry->bIsAvecTable() ? 1 : 0),
      m_stPosition(entry->stGetPosition()) {}

int CInfoGroupe::nRelease() {
  if (m_nRef == 0) return 0;
  const int left = --m_nRef;
  if (left == 0) delete this;
  return left;
}

// ---------------------------------------------------------------- construction

CSQLParserInfo::CSQLParserInfo(CNAError* error, ISQLParserInformation* parser, INAQueryParametersValue* binds,
                               int withoutOrder)
    : m_pclError(error) {
  CNAError::s_Hold(m_pclError);
  Set(parser, binds, withoutOrder);
}

CSQLParserInfo::~CSQLParserInfo() {
  Set(nullptr, nullptr, 0);
  SetRecord(nullptr);
  CNAError::s_Drop(&m_pclError);
}

void CSQLParserInfo::_Clear() {
  m_piBestParseItem = m_piUniqueNotNull = m_piUnique = m_piKey = m_piOrderByItem = nullptr;
  m_tabFrom.SupprimeTout();
  m_tabRubrique.SupprimeTout();
  m_tabGroupe.SupprimeTout();
  m_tabOrderBy.SupprimeTout();
  m_tabAffectation.Supprime(0, m_tabAffectation.nGetCount());
  m_tabInsertion.Supprime(0, m_tabInsertion.nGetCount());
  m_nFrom = m_nRubrique = m_nGroupe = m_nOrderBy = m_nAffectation = m_nInsertion = -1;
  m_nResultsetLimited = -1;
  if (m_piParser == nullptr) return;
  m_piParser->nRelease();
  m_piParser = nullptr;
  m_nQueryKind = 0;
  m_bAggregate = 0;
  m_bNonColumn = 0;
  if (m_piWhere != nullptr) m_piWhere->nRelease();
  if (m_piHaving != nullptr) m_piHaving->nRelease();
  m_piWhere = m_piHaving = nullptr;
}

void CSQLParserInfo::Set(ISQLParserInformation* parser, INAQueryParametersValue* binds, int withoutOrder) {
  // Held first: the parse given may be the one about to be let go.
  if (parser != nullptr) parser->AddRef();
  _Clear();
  if (parser != nullptr) {
    m_piParser = parser;
    m_nQueryKind = parser->nGetQueryKind();
    CParserRef<IInfoClauseList> lists(parser->piGetClauseList());
    if (lists.Get() != nullptr) _CopyLists(lists.Get(), withoutOrder);
    m_piWhere = parser->piGetWhereTree();
    if (withoutOrder == 0) m_piHaving = parser->piGetHavingTree();
  }
  if (binds != m_piBinds) {
    if (binds != nullptr) binds->AddRef();
    if (m_piBinds != nullptr) m_piBinds->nRelease();
    m_piBinds = binds;
  }
}

void CSQLParserInfo::_CopyLists(IInfoClauseList* lists, int withoutOrder) {
  // The lists take over the reference each entry is handed out with.
  for (IInfoFrom* from = lists->piEnumFrom(1); from != nullptr; from = lists->piEnumFrom(0))
    if (m_tabFrom.Ajoute(from) == nullptr) from->nRelease();
  for (IInfoRubrique* column = lists->piEnumRubrique(1); column != nullptr; column = lists->piEnumRubrique(0)) {
    if (m_tabRubrique.Ajoute(column) == nullptr) {
      column->nRelease();
      continue;
    }
    const bool calculated = column->nGetCalculKind() != 0;
    if (m_bAggregate == 0 && calculated) {
      CParserRef<IExpOpExpression> expression(column->piGetExpression());
      if (expression.Get() != nullptr && s_bIsGroupmentColumn(expression.Get()->eGetOperator())) m_bAggregate = 1;
    }
    if (!column->bIsColumnSource()) m_bNonColumn = 1;
    if (!calculated && m_tabFrom.nGetCount() == 1 && m_piUniqueNotNull == nullptr) _NoteKeys(column);
  }
  // Kept without the order too: grouped rows are no table rows, whatever the snapshot is for.
  if (lists->nGetGroupCount() > 0) {
    for (IInfoGroupe* entry = lists->piEnumGroupe(1); entry != nullptr; entry = lists->piEnumGroupe(0)) {
      CInfoGroupe* group = new (std::nothrow) CInfoGroupe(entry);
      entry->nRelease();
      if (group != nullptr && m_tabGroupe.AjouteRef(group) == nullptr) delete group;
    }
  }
  if (withoutOrder == 0) {
    for (IInfoOrderBy* order = lists->piEnumOrderBy(1); order != nullptr; order = lists->piEnumOrderBy(0))
      if (m_tabOrderBy.Ajoute(order) == nullptr) order->nRelease();
    if (m_tabOrderBy.nGetCount() > 0) {
      m_piOrderByItem = piGetRubriqueOUT(m_tabOrderBy[0]->nGetIndex());
      m_piBestParseItem = m_piOrderByItem;
    }
  }
  if (m_piBestParseItem == nullptr && m_tabRubrique.nGetCount() > 0) {
    m_piBestParseItem = m_piUniqueNotNull != nullptr ? m_piUniqueNotNull
                        : m_piUnique != nullptr      ? m_piUnique
                        : m_piKey != nullptr         ? m_piKey
                                                     : m_tabRubrique[0];
  }
  // Held without references: the parse keeps them.
  if (m_nQueryKind == 3) {
    for (IInfoAffectation* set = lists->piEnumAffectation(1); set != nullptr; set = lists->piEnumAffectation(0)) {
      m_tabAffectation.Ajoute(set);
      set->nRelease();
    }
  } else if (m_nQueryKind == 4) {
    for (IInfoInsertion* entry = lists->piEnumInsertion(1); entry != nullptr; entry = lists->piEnumInsertion(0)) {
      m_tabInsertion.Ajoute(entry);
      entry->nRelease();
    }
  }
}

void CSQLParserInfo::_NoteKeys(IInfoRubrique* column) {
  INAItemDescription* item = piGetItemDescription(column);
  if (item == nullptr) return;
  if (!item->bIsComposedKey()) {
    if (item->bUniqueNotNull()) {
      m_piUniqueNotNull = m_piUnique = m_piKey = column;
    } else if (m_piUnique == nullptr && item->bUnique()) {
      m_piUnique = m_piKey = column;
    } else if (m_piKey == nullptr && item->bDuplicates()) {
      m_piKey = column;
    }
  }
  item->nExternalRelease();
}

// ---------------------------------------------------------------- enumerators

IInfoFrom* CSQLParserInfo::piEnumFichierFrom(int restart) { return pEnumNext(m_tabFrom, &m_nFrom, restart); }
IInfoRubrique* CSQLParserInfo::piEnumRubriqueOUT(int restart) {
  return pEnumNext(m_tabRubrique, &m_nRubrique, restart);
}
CInfoGroupe* CSQLParserInfo::piEnumRubriqueClauseGroupe(int restart) {
  return pEnumNext(m_tabGroupe, &m_nGroupe, restart);
}
IInfoOrderBy* CSQLParserInfo::piEnumRubriqueClauseOrder(int restart) {
  return pEnumNext(m_tabOrderBy, &m_nOrderBy, restart);
}
IInfoAffectation* CSQLParserInfo::piEnumRubriqueUpdate(int restart) {
  return pEnumNext(m_tabAffectation, &m_nAffectation, restart);
}
IInfoInsertion* CSQLParserInfo::piEnumRubriqueInsert(int restart) {
  return pEnumNext(m_tabInsertion, &m_nInsertion, restart);
}

IInfoRubrique* CSQLParserInfo::piGetRubriqueOUT(int i) const {
  return i >= 0 && i < m_tabRubrique.nGetCount() ? m_tabRubrique[i] : nullptr;
}

// ---------------------------------------------------------------- lookups

IInfoRubrique* CSQLParserInfo::piEnumRubriqueOUT(const wchar_t* name) const {
  for (int i = 0; i < m_tabRubrique.nGetCount(); ++i)
    if (bSameText(m_tabRubrique[i]->pszGetName(), name)) return m_tabRubrique[i];
  return nullptr;
}

IInfoRubrique* CSQLParserInfo::piGetInfoRubriqueFromAlias(const wchar_t* alias, const wchar_t* name) {
  if (m_piParser == nullptr) return nullptr;
  IInfoRubrique* found = nullptr;
  try {
    CParserRef<IInfoClauseList> lists(m_piParser->piGetClauseList());
    if (lists.Get() == nullptr) return nullptr;
    CParserRef<IInfoRubrique> column(lists.Get()->piEnumRubrique(1));
    for (; column.Get() != nullptr && found == nullptr; column.Reset(lists.Get()->piEnumRubrique(0))) {
      IInfoRubrique* c = column.Get();
      if (!bSameText(c->pszGetName(), name)) continue;
      if (bHasText(alias) && (c->nGetCalculKind() != 0 || !bSameText(c->pszGetSourceTableAlias(), alias))) continue;
      // The snapshot's own element: it lives as long as the snapshot.
      for (int i = 0; i < m_tabRubrique.nGetCount() && found == nullptr; ++i)
        if (m_tabRubrique[i] == c) found = c;
      break;
    }
  } catch (...) {
    return nullptr;
  }
  return found;
}

CInfoGroupe* CSQLParserInfo::piGetRubriqueClauseGroupe(const CNAColumn* column) const {
  for (int i = 0; i < m_tabGroupe.nGetCount(); ++i)
    if (bSameText(m_tabGroupe[i]->pszGetNomRubriqueAlias(), column->pszGetName())) return m_tabGroupe[i];
  return nullptr;
}

IInfoOrderBy* CSQLParserInfo::piGetRubriqueClauseOrder(const CNAColumn* column) const {
  for (int i = 0; i < m_tabOrderBy.nGetCount(); ++i) {
    IInfoRubrique* c = piGetRubriqueOUT(m_tabOrderBy[i]->nGetIndex());
    if (c == nullptr) continue;
    if (bSameText(c->pszGetName(), column->pszGetName()) ||
        (bSameText(c->pszGetNameInSource(), column->pszGetOriginalName()) &&
         bSameText(pszGetPhysicalName(c), column->pszGetAliasNomTable())))
      return m_tabOrderBy[i];
  }
  return nullptr;
}

BOOL CSQLParserInfo::bIsTableAlias(const wchar_t* name, INADataSourceDescription** desc) const {
  for (int i = 0; i < m_tabFrom.nGetCount(); ++i) {
    IInfoFrom* from = m_tabFrom[i];
    if (!bSameText(from->pszGetAlias(), name)) continue;
    if (!bSameText(from->pszGetAlias(), from->pszGetTableName())) return TRUE;
    if (desc != nullptr) *desc = m_piParser != nullptr ? m_piParser->piGetDataSourceDescription(from) : nullptr;
    return FALSE;
  }
  if (desc != nullptr) *desc = piGetNADataSourceDescription(name);
  return FALSE;
}

// ---------------------------------------------------------------- names

const wchar_t* CSQLParserInfo::pszGetRequete() const {
  return m_piParser != nullptr ? m_piParser->pszGetRequete() : nullptr;
}
const wchar_t* CSQLParserInfo::pszGetBestParseItem() const {
  return m_piBestParseItem != nullptr ? m_piBestParseItem->pszGetName() : nullptr;
}
const wchar_t* CSQLParserInfo::pszGetOrderByItem() const {
  return m_piOrderByItem != nullptr ? m_piOrderByItem->pszGetName() : nullptr;
}

const wchar_t* CSQLParserInfo::pszGetPhysicalName(const wchar_t* name) const {
  return pszGetPhysicalName(name, m_piParser);
}

const wchar_t* CSQLParserInfo::pszGetPhysicalName(const wchar_t* name, ISQLParserInformation* parser) {
  if (!bHasText(name) || parser == nullptr) return nullptr;
  const wchar_t* answer = nullptr;
  try {
    answer = parser->pszGetPhysicalName(name);
  } catch (...) {
    return nullptr;
  }
  if (!bHasText(answer)) return nullptr;
  // A name the buffer cannot hold whole is no name: a cut one would name another table.
  const size_t length = wcsnlen(answer, kPhysicalNameSize);
  if (length >= kPhysicalNameSize) return nullptr;
  wmemcpy(g_szPhysicalName, answer, length);
  g_szPhysicalName[length] = 0;
  return g_szPhysicalName;
}

const wchar_t* CSQLParserInfo::pszGetPhysicalName(IInfoRubrique* column) const {
  const wchar_t* table = column->pszGetSourceTableName();
  const wchar_t* physical = pszGetPhysicalName(table);
  return physical != nullptr ? physical : table;
}

CTString CSQLParserInfo::csGetFichierFrom_DBTableName(int i) const {
  CTString name;
  if (i < 0 || i >= m_tabFrom.nGetCount() || m_piParser == nullptr) return name;
  INADataSourceDescription* desc = m_piParser->piGetDataSourceDescription(m_tabFrom[i]);
  if (desc != nullptr) {
    name = desc->pszGetDBTableName();
    desc->nExternalRelease();
  }
  return name;
}

int CSQLParserInfo::nGetFichierFromOf(const wchar_t* qualifier) const {
  if (!bHasText(qualifier)) return -1;
  for (int i = 0; i < m_tabFrom.nGetCount(); ++i)
    if (bSameText(m_tabFrom[i]->pszGetAlias(), qualifier)) return i;
  for (int i = 0; i < m_tabFrom.nGetCount(); ++i)
    if (bSameText(m_tabFrom[i]->pszGetTableName(), qualifier)) return i;
  return -1;
}

// ---------------------------------------------------------------- column facts

INAItemDescription* CSQLParserInfo::piGetItemDescription(IInfoRubrique* column) const {
  if (column == nullptr || m_piParser == nullptr) return nullptr;
  try {
    if (column->nGetCalculKind() != 0) return nullptr;
    return m_piParser->piGetItemDescription(column);
  } catch (...) {
    return nullptr;
  }
}

BOOL CSQLParserInfo::_bKeyTest(IInfoRubrique* column, IInfoRubrique* known, BOOL (INAItemDescription::*test)() const) const {
  if (known == nullptr) return FALSE;
  if (column == known) return TRUE;
  INAItemDescription* item = piGetItemDescription(column);
  if (item == nullptr) return FALSE;
  const BOOL answer = (item->*test)();
  item->nExternalRelease();
  return answer;
}

BOOL CSQLParserInfo::bRubriqueUnique(IInfoRubrique* column) const {
  return _bKeyTest(column, m_piUnique, &INAItemDescription::bUnique);
}

BOOL CSQLParserInfo::bRubriqueUniqueNotNull(IInfoRubrique* column) const {
  return _bKeyTest(column, m_piUniqueNotNull, &INAItemDescription::bUniqueNotNull);
}

BOOL CSQLParserInfo::_bExpressionIsMemo(IExpOpExpression* node) {
  if (node == nullptr) return FALSE;
  const int op = node->eGetOperator();
  if (op == NA_OPEXP_COLUMN) return bIsMemoHostType(node->nGetHostType());
  // 48 and 49 are leaves that read no item.
  if (op == NA_OPEXP_LITERAL || op == 49) return FALSE;
  CParserRef<IExpOpExpression> argument(node->piGetNextArgument(nullptr));
  while (argument.Get() != nullptr) {
    if (_bExpressionIsMemo(argument.Get())) return TRUE;
    argument.Reset(node->piGetNextArgument(argument.Get()));
  }
  return FALSE;
}

BOOL CSQLParserInfo::_bExpressionHoldsAggregate(IExpOpExpression* node) {
  if (node == nullptr) return FALSE;
  if (s_bIsGroupmentColumn(node->eGetOperator())) return TRUE;
  CParserRef<IExpOpExpression> argument(node->piGetNextArgument(nullptr));
  while (argument.Get() != nullptr) {
    if (_bExpressionHoldsAggregate(argument.Get())) return TRUE;
    argument.Reset(node->piGetNextArgument(argument.Get()));
  }
  return FALSE;
}

BOOL CSQLParserInfo::bRubriqueIsAggregate(const CNAColumn* column) const {
  IInfoRubrique* c = column != nullptr ? piEnumRubriqueOUT(column->pszGetName()) : nullptr;
  if (c == nullptr || c->nGetCalculKind() == 0) return FALSE;
  CParserRef<IExpOpExpression> expression(c->piGetExpression());
  return _bExpressionHoldsAggregate(expression.Get());
}

BOOL CSQLParserInfo::bRubriqueSourceIsMemo(const CNAColumn* column) const {
  IInfoRubrique* c = piEnumRubriqueOUT(column->pszGetName());
  if (c == nullptr) return FALSE;
  if (c->nGetCalculKind() == 0) return column->bIsMemo();
  CParserRef<IExpOpExpression> expression(c->piGetExpression());
  return _bExpressionIsMemo(expression.Get());
}

BOOL CSQLParserInfo::bQueryContainIdAuto() const {
  if (m_piParser == nullptr || m_tabFrom.nGetCount() > 1) return FALSE;
  for (int i = 0; i < m_tabRubrique.nGetCount(); ++i)
    if (bIsIdAutoHostType(m_tabRubrique[i]->nGetHostType())) return TRUE;
  return FALSE;
}

BOOL CSQLParserInfo::bHOperationAllowed() const {
  if (m_bAggregate != 0 || m_tabGroupe.nGetCount() > 0 || m_bNonColumn != 0) return FALSE;
  const wchar_t* text = pszGetRequete();
  if (text == nullptr) return TRUE;
  // A DISTINCT row may stand for several table rows, whatever case or blank the text uses.
  static constexpr wchar_t kWord[] = L"DISTINCT";
  constexpr size_t kLength = 8;
  for (const wchar_t* p = text; *p != 0; ++p) {
    if (p == text || (!bIsSQLBlank(p[-1]) && p[-1] != L'(')) continue;
    size_t n = 0;
    while (n < kLength && p[n] != 0 && towupper(static_cast<wint_t>(p[n])) == static_cast<wint_t>(kWord[n])) ++n;
    if (n == kLength && (bIsSQLBlank(p[n]) || p[n] == L'(')) return FALSE;
  }
  return TRUE;
}

// ---------------------------------------------------------------- the parse, binds and record

INADataSourceDescription* CSQLParserInfo::piGetNADataSourceDescription(const wchar_t* name) const {
  return m_piParser != nullptr ? m_piParser->piGetDataSourceDescription(name != nullptr ? name : L"") : nullptr;
}

INAQueryParametersValue* CSQLParserInfo::piGetUserBindVariable() const {
  if (m_piBinds != nullptr) m_piBinds->AddRef();
  return m_piBinds;
}

BOOL CSQLParserInfo::bHPrepareRequeteCalled() const {
  return m_piBinds != nullptr && m_piBinds->bHPrepareRequeteCalled() ? TRUE : FALSE;
}

BOOL CSQLParserInfo::bQueryResultsetLimited(const CNAConnectionDescription* cnx) {
  if (m_nResultsetLimited < 0) m_nResultsetLimited = CNACommand::s_bQueryResultsetLimited(cnx, pszGetRequete()) ? 1 : 0;
  return m_nResultsetLimited == 1;
}

void CSQLParserInfo::SetRecord(CNARecord* record) {
  if (record == m_pclRecord) return;
  if (record != nullptr) record->AddRef();
  CNARecord* former = m_pclRecord;
  m_pclRecord = record;
  if (former != nullptr) former->nRelease();
}

CSQLParserInfo* CSQLParserInfo::pclGetQueryParserInfoNoRef() const {
  return m_pclRecord != nullptr ? m_pclRecord->pclGetSourceQueryNoRef() : nullptr;
}

// ---------------------------------------------------------------- operator classes

BOOL CSQLParserInfo::s_bIsGroupmentColumn(int op) { return op >= 27 && op <= 31 ? TRUE : FALSE; }

BOOL CSQLParserInfo::s_bIsFunction(int op) {
  static constexpr struct {
    int from, to;
  } kRanges[] = {{6, 8},    {27, 31},   {34, 39},   {42, 46},   {50, 57},   {59, 66},   {68, 72},
                 {74, 95},  {97, 103},  {108, 108}, {136, 148}, {150, 151}, {155, 155}};
  for (const auto& r : kRanges)
    if (op >= r.from && op <= r.to) return TRUE;
  return FALSE;
}
