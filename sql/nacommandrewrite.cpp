// A command rewrites a query the host parsed: the text is cut into clause pieces at the positions
// the parse gives, each piece is written again from the parse (physical quoted names, the star
// expanded, expressions through nacommandexpression.cpp, a filter ANDed into WHERE, the ORDER BY
// dropped or rebuilt), and the text between pieces is copied as it is. Free SQL text whose bind
// values and item references the host located is rewritten here too.
#include <algorithm>
#include <cwchar>
#include <new>
#include <vector>

#include "common/str_compare.h"
#include "driver/inadatasourcedescription.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "sql/inaitemdescription.h"
#include "sql/isqlparserinformation.h"
#include "sql/nacommand.h"
#include "sql/naconvertvariant.h"
#include "sql/sqlparserinfo.h"

namespace {

enum { kSiteHostList = 13 };
constexpr unsigned int kErrInternal = 24;

bool bHasText(const wchar_t* s) { return s != nullptr && *s != 0; }
bool bSameName(const wchar_t* a, const wchar_t* b) {
  return STR_nCompareW(a != nullptr ? a : L"", b != nullptr ? b : L"", 3) == 0;
}
unsigned int Length(const wchar_t* s) { return s != nullptr ? static_cast<unsigned int>(wcslen(s)) : 0; }
bool bBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

// The end (exclusive) of an ASC or DESC that follows `from` after blanks; `from` when none.
// *word: 1 ASC, 2 DESC, 0 none.
unsigned int DirectionEnd(const wchar_t* text, unsigned int from, int* word) {
  *word = 0;
  const unsigned int n = Length(text);
  unsigned int i = from;
  while (i < n && text[i] == L' ') ++i;
  auto at = [&](const wchar_t* w, unsigned int k) {
    return i + k <= n && wcsncasecmp(text + i, w, k) == 0 && (i + k == n || CNACommand::s_bSeparateur(text[i + k]) ||
                                                             text[i + k] == L';');
  };
  if (at(L"ASC", 3)) {
    *word = 1;
    return i + 3;
  }
  if (at(L"DESC", 4)) {
    *word = 2;
    return i + 4;
  }
  return from;
}

// Whether index pos of text lies inside parentheses, literals and quoted names passed over: a
// clause found there belongs to a sub-query.
bool bInsideParentheses(const wchar_t* text, unsigned int pos) {
  int depth = 0;
  wchar_t quote = 0;
  for (unsigned int i = pos; text[i] != 0; ++i) {
    const wchar_t c = text[i];
    if (quote != 0) {
      if (c == L'\\' && quote != L'`' && text[i + 1] != 0) {
        ++i;
      } else if (c == quote) {
        if (text[i + 1] == quote)
          ++i;
        else
          quote = 0;
      }
      continue;
    }
    if (c == L'\'' || c == L'"' || c == L'`')
      quote = c;
    else if (c == L'(')
      ++depth;
    else if (c == L')' && --depth < 0)
      return true;
  }
  return false;
}

// One entry of the host's bind or item-reference list.
struct STClauseEntry {
  long long start;
  long long length;
  STValParser* value;
  STItemParser* item;
};

void SetEntry(STClauseEntry* entry, STValParser* value) { entry->value = value; }
void SetEntry(STClauseEntry* entry, STItemParser* item) { entry->item = item; }

// Appends one of the host's lists; the fault found, or null.
template <typename T>
const wchar_t* CollectEntries(int count, T** list, long long textLength, std::vector<STClauseEntry>* out) {
  long long previousEnd = 0;
  for (int i = 0; i < count; ++i) {
    T* e = list != nullptr ? list[i] : nullptr;
    if (e == nullptr) return L"a missing entry";
    const long long start = e->nStart, length = e->nLength;
    if (start < 0 || length < 0 || start + length > textLength) return L"an entry outside the text";
    if (start < previousEnd) return L"entries out of order or overlapping";
    previousEnd = start + length;
    STClauseEntry entry{start, length, nullptr, nullptr};
    SetEntry(&entry, e);
    out->push_back(entry);
  }
  return nullptr;
}

}  // namespace

int CNASqlElt::pfnCmpELT(const void* a, const void* b) {
  const unsigned int x = (*static_cast<CNASqlElt* const*>(a))->m_nStart;
  const unsigned int y = (*static_cast<CNASqlElt* const*>(b))->m_nStart;
  return x < y ? -1 : x > y ? 1 : 0;
}

// ---------------------------------------------------------------- names

void CNACommand::_FormatTableName(ISQLParserInformation* parser, const wchar_t* table, CTString* out) {
  if (!bHasText(table)) {
    out->Vide();
    return;
  }
  const wchar_t* physical = CSQLParserInfo::pszGetPhysicalName(table, parser);
  if (m_pclCnx == nullptr) {
    *out = physical != nullptr ? physical : table;
    return;
  }
  m_pclCnx->bFormatTableName(m_pclError, physical != nullptr ? physical : table, out);
}

void CNACommand::_FormatItemName(const wchar_t* item, CTString* out) {
  if (m_pclCnx == nullptr)
    *out = item;
  else
    m_pclCnx->bFormatItemName(m_pclError, item, out);
}

void CNACommand::_FormatTableAndItemName(const wchar_t* table, const wchar_t* item, CTString* out) {
  CTString name;
  _FormatItemName(item, &name);
  if (!bHasText(table)) {
    *out = name;
    return;
  }
  CTString qualifier;
  if (m_pclCnx == nullptr)
    qualifier = table;
  else
    m_pclCnx->bFormatTableName(m_pclError, table, &qualifier);
  qualifier.Add(L".");
  qualifier.Add(name.pszGet());
  *out = qualifier;
}

void CNACommand::_GetOriginalTableNameAndItemName(CSQLParserInfo* info, CTString* table, CTString* item) {
  INADataSourceDescription* desc = nullptr;
  if (!info->bIsTableAlias(table->pszGet(), &desc)) {
    const wchar_t* physical = info->pszGetPhysicalName(table->pszGet());
    if (physical != nullptr)
      *table = physical;
    else if (desc != nullptr)
      *table = desc->pszGetDBTableName();
  }
  if (desc == nullptr) return;
  if (item->nTaille() > 0) {
    if (INAItemDescription* found = desc->piNAGetItem(item->pszGet())) {
      *item = found->pszGetName();
      found->nExternalRelease();
    }
  }
  desc->nExternalRelease();
}

void CNACommand::_GetFormatedOriginalTableNameAndItemName(CSQLParserInfo* info, const wchar_t* table,
                                                          const wchar_t* item, CTString* out) {
  CTString t(table), i(item);
  if (t.nTaille() > 0) _GetOriginalTableNameAndItemName(info, &t, &i);
  _FormatTableAndItemName(t.pszGet(), i.pszGet(), out);
}

INAItemDescription* CNACommand::_pclGetOriginalItemDesc(CSQLParserInfo* info, const wchar_t* table,
                                                        const wchar_t* item) {
  INADataSourceDescription* desc = nullptr;
  info->bIsTableAlias(table, &desc);
  if (desc == nullptr) return nullptr;
  INAItemDescription* found = desc->piNAGetItem(item);
  desc->nExternalRelease();
  return found;
}

IInfoRubrique* CNACommand::_piGetInfoRubriqueFromAlias(CSQLParserInfo* info, const wchar_t* table,
                                                       const wchar_t* item) {
  return info != nullptr ? info->piGetInfoRubriqueFromAlias(table, item) : nullptr;
}

void CNACommand::_FormatRubriqueAlias(CTString* out, CSQLParserInfo* info, IInfoRubrique* column, int qualified,
                                      CNASqlElt::eSQLELT) {
  if (column->nGetCalculKind() != 0) {
    _FormatItemName(column->pszGetName(), out);
  } else if (qualified) {
    _GetFormatedOriginalTableNameAndItemName(info, column->pszGetSourceTableAlias(), column->pszGetNameInSource(),
                                             out);
  } else {
    _FormatItemName(column->pszGetNameInSource(), out);
  }
}

void CNACommand::_FormatTableClauseFROM(CTString* out, CSQLParserInfo* info, IInfoFrom* from,
                                        INADataSourceDescription* desc) {
  const wchar_t* physical = info->pszGetPhysicalName(from->pszGetTableName());
  const wchar_t* name = physical != nullptr ? physical : desc != nullptr ? desc->pszGetDBTableName() : L"";
  if (m_pclCnx == nullptr)
    *out = name;
  else
    m_pclCnx->bFormatTableName(m_pclError, name, out);
}

void CNACommand::_FormatTableAliasClauseFROM(CTString* out, CSQLParserInfo*, IInfoFrom* from) {
  if (m_pclCnx == nullptr)
    *out = from->pszGetAlias();
  else
    m_pclCnx->bFormatTableName(m_pclError, from->pszGetAlias(), out);
}

// ---------------------------------------------------------------- clause positions

BOOL CNACommand::_bGetClausePos(int* start, int* stop, CSQLParserInfo* info, CNASqlElt::eSQLELT kind) {
  const wchar_t* text = info->pszGetRequete();
  const int n = static_cast<int>(Length(text));
  *start = *stop = n;
  ISQLParserInformation* parser = info->piGetParserNoRef();
  if (parser == nullptr) return TRUE;
  struct STClause {
    int kind, start, end;
  };
  std::vector<STClause> clauses;
  int first = -1, last = -1;
  for (IInfoFrom* from = info->piEnumFichierFrom(1); from != nullptr; from = info->piEnumFichierFrom(0)) {
    const stTEXTPOSITION p = from->stGetPosition();
    if (first < 0) first = static_cast<int>(p.nStart);
    last = static_cast<int>(p.nEnd);
  }
  if (first > 0) {
    const int keyword = s_nGetClauseStart(m_pclCnx, text, L"FROM", first - 1);
    if (keyword > 0) clauses.push_back({CNASqlElt::NA_SQLELT_FROM, keyword, last});
  }
  if (parser->nGetWhereStart() > 0) clauses.push_back({CNASqlElt::NA_SQLELT_WHERE, parser->nGetWhereStart(), parser->nGetWhereEnd()});
  first = last = -1;
  for (CInfoGroupe* group = info->piEnumRubriqueClauseGroupe(1); group != nullptr;
       group = info->piEnumRubriqueClauseGroupe(0)) {
    const stTEXTPOSITION p = group->stGetPosition();
    if (first < 0) first = static_cast<int>(p.nStart);
    last = static_cast<int>(p.nEnd);
  }
  if (first > 0) {
    const int keyword = s_nGetClauseStart(m_pclCnx, text, L"GROUP", first - 1);
    if (keyword > 0) clauses.push_back({CNASqlElt::NA_SQLELT_GROUPBY, keyword, last});
  }
  if (parser->nGetHavingStart() > 0)
    clauses.push_back({CNASqlElt::NA_SQLELT_HAVING, parser->nGetHavingStart(), parser->nGetHavingEnd()});
  if (parser->nGetOrderByStart() > 0) clauses.push_back({CNASqlElt::NA_SQLELT_ORDERBY, parser->nGetOrderByStart(), n});
  // A trailing LIMIT ends the query: what goes before the end goes before it.
  const int limit = s_nGetClauseStart(m_pclCnx, text, L"LIMIT", -1);
  if (limit > 0 && (clauses.empty() || limit > clauses.back().start) && !bInsideParentheses(text, limit))
    clauses.push_back({CNASqlElt::NA_SQLELT_ITEMTABLE, limit, n});
  for (const STClause& c : clauses) {
    if (kind < c.kind) {
      *start = *stop = c.start - 1;
      return TRUE;
    }
    if (kind == c.kind) {
      *start = c.start;
      *stop = c.end;
      return TRUE;
    }
  }
  return TRUE;
}

int CNACommand::_nGetClauseStart(CSQLParserInfo* info, CNASqlElt::eSQLELT kind) {
  int start = 0, stop = 0;
  _bGetClausePos(&start, &stop, info, kind);
  return start;
}

int CNACommand::_nGetClauseStop(CSQLParserInfo* info, CNASqlElt::eSQLELT kind) {
  int start = 0, stop = 0;
  _bGetClausePos(&start, &stop, info, kind);
  return stop;
}

// ---------------------------------------------------------------- the rewrite

void CNACommand::_SetSQLParserInfo(CSQLParserInfo* info) {
  SetParsedQuery(info);
  const eNAQUERYTYPE kind = eConvertTypeQuery(static_cast<eTYPEREQUETE>(info->nGetQueryKind()));
  if (m_bRewriteMode)
    m_eQueryType = s_bIsQuerySet(info->pszGetRequete()) ? NA_QUERY_SET : kind;
  else if (m_eQueryType == NA_QUERY_NONE)
    m_eQueryType = kind;
}

BOOL CNACommand::bFormatCondition(CSQLParserInfo* info, CNACommand* filter, int keepOrderBy, int mode) {
  if (info == nullptr || info->piGetParserNoRef() == nullptr) return FALSE;
  if (mode == 1 || (mode & 4) != 0) {
    m_bRewriteMode = 1;
    m_nDefineMode = 3;
  }
  _SetSQLParserInfo(info);
  ISQLParserInformation* parser = info->piGetParserNoRef();
  const wchar_t* text = info->pszGetRequete();
  if (text == nullptr) text = L"";
  const unsigned int n = Length(text);
  const int whereStart = parser->nGetWhereStart(), whereEnd = parser->nGetWhereEnd();
  const int havingStart = parser->nGetHavingStart(), havingEnd = parser->nGetHavingEnd();
  const int orderStart = parser->nGetOrderByStart();
  const bool withFilter = filter != nullptr && !filter->bIsEmpty();

  CNARefArray<CNASqlElt> pieces(8);
  bool noMemory = false;
  auto add = [&](CNASqlElt::eSQLELT kind, unsigned int start, unsigned int end) {
    CNASqlElt* piece = new (std::nothrow) CNASqlElt(kind, start, end);
    if (piece == nullptr || pieces.AjouteRef(piece) == nullptr) {
      delete piece;
      noMemory = true;
    }
  };
  if (!m_bRewriteMode) {
    const int kind = info->nGetQueryKind();
    if (kind == 4) {
      if (IInfoInsertion* entry = info->piEnumRubriqueInsert(1)) {
        CParserRef<IExpOpExpression> column(entry->piGetColumn()), value(entry->piGetValue());
        if (column.Get() != nullptr) {
          const stTEXTPOSITION p = _stGetPositionExpression(column.Get());
          add(CNASqlElt::NA_SQLELT_SELECT, p.nStart, p.nEnd);
        }
        if (value.Get() != nullptr) {
          const stTEXTPOSITION p = _stGetPositionExpression(value.Get());
          add(CNASqlElt::NA_SQLELT_WRITELIST, p.nStart, p.nEnd);
        }
      }
    } else if (kind == 3) {
      if (IInfoAffectation* set = info->piEnumRubriqueUpdate(1)) {
        CParserRef<IExpOpExpression> column(set->piGetColumn());
        if (column.Get() != nullptr) {
          const stTEXTPOSITION p = _stGetPositionExpression(column.Get());
          add(CNASqlElt::NA_SQLELT_WRITELIST, p.nStart, p.nEnd);
        }
      }
    } else if (IInfoRubrique* column = info->piGetRubriqueOUT(0)) {
      const stTEXTPOSITION p = column->stGetPosition();
      add(CNASqlElt::NA_SQLELT_SELECT, p.nStart, p.nEnd);
    }
    for (IInfoFrom* from = info->piEnumFichierFrom(1); from != nullptr; from = info->piEnumFichierFrom(0)) {
      const stTEXTPOSITION p = from->stGetPosition();
      add(CNASqlElt::NA_SQLELT_FROM, p.nStart, p.nEnd);
    }
    CParserRef<IInfoClauseList> lists(parser->piGetClauseList());
    if (lists.Get() != nullptr) {
      CParserRef<IExpOpExpression> join(lists.Get()->piEnumJoinCondition(nullptr, 1));
      for (; join.Get() != nullptr; join.Reset(lists.Get()->piEnumJoinCondition(nullptr, 0))) {
        const stTEXTPOSITION p = _stGetPositionExpression(join.Get());
        add(CNASqlElt::NA_SQLELT_JOIN, p.nStart, p.nEnd);
      }
    }
    if (whereStart > 0)
      add(CNASqlElt::NA_SQLELT_WHERE, static_cast<unsigned int>(whereStart), static_cast<unsigned int>(whereEnd));
    else if (withFilter)
      add(CNASqlElt::NA_SQLELT_WHERE, static_cast<unsigned int>(_nGetClauseStart(info, CNASqlElt::NA_SQLELT_WHERE)),
          static_cast<unsigned int>(_nGetClauseStart(info, CNASqlElt::NA_SQLELT_WHERE)));
    if (CInfoGroupe* group = info->piEnumRubriqueClauseGroupe(1)) {
      const stTEXTPOSITION p = group->stGetPosition();
      if (p.nStart > 0) add(CNASqlElt::NA_SQLELT_GROUPBY, p.nStart, p.nEnd);
    }
    if (havingStart > 0)
      add(CNASqlElt::NA_SQLELT_HAVING, static_cast<unsigned int>(havingStart), static_cast<unsigned int>(havingEnd));
  }
  if (orderStart > 0) add(CNASqlElt::NA_SQLELT_ORDERBY, static_cast<unsigned int>(orderStart), n > 0 ? n - 1 : 0);
  CTabValParser* references = parser->pclGetItemReferences();
  if (references != nullptr && references->nItemCount > 0 && references->ppItems != nullptr &&
      references->ppItems[0] != nullptr) {
    const STItemParser* firstItem = references->ppItems[0];
    add(CNASqlElt::NA_SQLELT_ITEMTABLE, static_cast<unsigned int>(firstItem->nStart),
        static_cast<unsigned int>(firstItem->nStart + firstItem->nLength));
  }
  if (noMemory) {
    CNAError::g_RaiseNoMemory(m_pclError, m_pclCnx);
    return FALSE;
  }
  CNASqlElt** elements = pieces.pGetElements();
  std::stable_sort(elements, elements + pieces.nGetCount(),
                   [](CNASqlElt* a, CNASqlElt* b) { return CNASqlElt::pfnCmpELT(&a, &b) < 0; });

  unsigned int cursor = 0;
  BOOL result = TRUE;
  for (int i = 0; i < pieces.nGetCount() && result; ++i) {
    const CNASqlElt* piece = pieces[i];
    switch (piece->eGetKind()) {
      case CNASqlElt::NA_SQLELT_SELECT:
        result = _bFormatSELECTList(&cursor, text, info);
        break;
      case CNASqlElt::NA_SQLELT_FROM:
        result = _bAddFromClause(&cursor, text, info, piece);
        break;
      case CNASqlElt::NA_SQLELT_WHERE:
        result = bAddTreeExpression(info, nullptr, text, nullptr, whereStart > 0 ? info->piGetWhereTreeNoRef() : nullptr,
                                    CNASqlElt::NA_SQLELT_WHERE, &cursor, filter);
        break;
      case CNASqlElt::NA_SQLELT_GROUPBY:
        result = _bFormatGROUPBY(&cursor, text, info);
        break;
      case CNASqlElt::NA_SQLELT_HAVING:
        result = bAddTreeExpression(info, nullptr, text, nullptr, info->piGetHavingTreeNoRef(),
                                    CNASqlElt::NA_SQLELT_HAVING, &cursor, nullptr);
        break;
      case CNASqlElt::NA_SQLELT_ORDERBY:
        result = _bFormatORDERBY(&cursor, text, keepOrderBy, TRUE, FALSE, nullptr);
        break;
      case CNASqlElt::NA_SQLELT_ITEMTABLE: {
        // The references between here and the next piece: the text before was written already.
        const unsigned int end = i + 1 < pieces.nGetCount() ? pieces[i + 1]->nGetStart() : n;
        result = _bAddClauseBetween(references, text, parser, FALSE, &cursor, std::max(end, cursor));
        break;
      }
      case CNASqlElt::NA_SQLELT_JOIN:
        result = _bAddJoinClause(&cursor, text, info, piece);
        break;
      case CNASqlElt::NA_SQLELT_WRITELIST:
        result = _bFormatINSERTUPDATEList(&cursor, text, info);
        break;
    }
  }
  if (!result || cursor >= n) return result;
  unsigned int end = n;
  if (!keepOrderBy && m_bRewriteMode) {
    // The query's own trailing ORDER BY: where the parse puts it, else the last one that stands
    // outside literals, quoted names and parentheses.
    int cut = orderStart;
    for (int from = -1; cut <= 0;) {
      const int found = s_nGetClauseStart(m_pclCnx, text, L"ORDER", from);
      if (found < 0) break;
      if (s_bSuiteRequeteCommenceParMot(text + found + 5, L"BY") && !bInsideParentheses(text, found)) cut = found;
      from = found - 1;
      if (from < 1) break;
    }
    if (cut > 0) end = static_cast<unsigned int>(cut);
  }
  _CopyText(&_Text(), text, &cursor, end);
  return TRUE;
}

BOOL CNACommand::_bFormatSELECTList(unsigned int* cursor, const wchar_t* text, CSQLParserInfo* info) {
  const int queryKind = info->nGetQueryKind();
  const BOOL qualified = queryKind == 1 || queryKind == 2;
  int count = 0;
  for (int i = 0; IInfoRubrique* column = info->piGetRubriqueOUT(i); ++i) {
    ++count;
    const stTEXTPOSITION p = column->stGetPosition();
    if (column->nGetCalculKind() == 0) {
      if (p.bIsEmpty()) continue;
      _bFormatAlias(cursor, text);
      _CopyText(&_Text(), text, cursor, p.nStart);
      *cursor = p.nEnd + 1;
      CTString name;
      _FormatRubriqueAlias(&name, info, column, qualified, CNASqlElt::NA_SQLELT_SELECT);
      bComplete(name.pszGet());
      continue;
    }
    _bFormatAlias(cursor, text);
    CParserRef<IExpOpExpression> expression(column->piGetExpression());
    INAItemDescription* item = nullptr;
    const BOOL written = _bExpressionToSQL(info, nullptr, text, nullptr, expression.Get(), CNASqlElt::NA_SQLELT_SELECT,
                                           cursor, &_Text(), &item, NA_IT_EMPTY, 0);
    __FreeItem(&item);
    if (!written) return FALSE;
    // The rest of the column's text (a closing parenthesis), so that its alias comes next.
    if (!p.bIsEmpty()) _CopyText(&_Text(), text, cursor, p.nEnd + 1);
  }
  _bFormatAlias(cursor, text);
  if (count == 0 && queryKind == 4) {
    // The columns an INSERT names: quoted like every other name.
    for (IInfoInsertion* entry = info->piEnumRubriqueInsert(1); entry != nullptr; entry = info->piEnumRubriqueInsert(0)) {
      CParserRef<IExpOpExpression> column(entry->piGetColumn());
      if (column.Get() != nullptr && !_bDoExpressionColonne(info, text, column.Get(), cursor, &_Text())) return FALSE;
    }
  }
  const CTString additional(m_clAdditionalColumns.pszGetW());
  if (*cursor == 0 && bNeedToReplaceStar()) {
    const int select = s_nGetPosSuiteRequete(text, L"SELECT");
    unsigned int star = select >= 0 ? static_cast<unsigned int>(select) + 6 : 0;
    while (select >= 0 && bBlank(text[star])) ++star;
    if (select >= 0 && text[star] == L'*') {
      _CopyText(&_Text(), text, cursor, star);
      *cursor = star + 1;
      for (int i = 0; IInfoRubrique* column = info->piGetRubriqueOUT(i); ++i) {
        CTString name;
        _FormatRubriqueAlias(&name, info, column, qualified, CNASqlElt::NA_SQLELT_SELECT);
        if (i > 0) bComplete(L",");
        bComplete(name.pszGet());
      }
      if (additional.nTaille() > 0) {
        bComplete(L",");
        bComplete(additional.pszGet());
      }
      return TRUE;
    }
  }
  if (additional.nTaille() > 0) {
    int end = info->piGetParserNoRef()->nGetSelectListEnd();
    if (end == 1) {
      const wchar_t* star = wcschr(text, L'*');
      end = star != nullptr ? static_cast<int>(star - text) + 1 : 1;
    }
    if (end > 0) _CopyText(&_Text(), text, cursor, static_cast<unsigned int>(end));
    bComplete(L",");
    bComplete(additional.pszGet());
  }
  return TRUE;
}

BOOL CNACommand::_bFormatAlias(unsigned int* cursor, const wchar_t* text) {
  if (wcsnlen(text, *cursor) < *cursor) return TRUE;
  const wchar_t* rest = text + *cursor;
  const int as = s_nGetPosSuiteRequete(rest, L"AS");
  // The keyword AS, not the first letters of a name.
  if (as <= 0 || !s_bSeparateur(rest[as + 2])) return TRUE;
  CTString name;
  unsigned int start = 0, end = 0;
  if (!s_bGetItemNameAndPos(&name, &start, &end, text, *cursor + static_cast<unsigned int>(as) + 2) || end == ~0u)
    return TRUE;
  _CopyText(&_Text(), text, cursor, start);
  CTString formatted;
  _FormatItemName(name.pszGet(), &formatted);
  bComplete(formatted.pszGet());
  *cursor = end + 1;
  return TRUE;
}

BOOL CNACommand::_bAddFromClause(unsigned int* cursor, const wchar_t* text, CSQLParserInfo* info,
                                 const CNASqlElt* piece) {
  IInfoFrom* from = info->piEnumFichierFrom(1);
  for (; from != nullptr; from = info->piEnumFichierFrom(0)) {
    const stTEXTPOSITION p = from->stGetPosition();
    if (p.nStart == piece->nGetStart() && p.nEnd == piece->nGetEnd()) break;
  }
  if (from == nullptr) return TRUE;
  INADataSourceDescription* desc = info->piGetParserNoRef()->piGetDataSourceDescription(from);
  if (desc == nullptr) return TRUE;
  const stTEXTPOSITION p = from->stGetPosition();
  _CopyText(&_Text(), text, cursor, p.nStart);
  CTString table;
  _FormatTableClauseFROM(&table, info, from, desc);
  bComplete(table.pszGet());
  *cursor = p.nEnd + 1;
  const stTEXTPOSITION a = from->stGetAliasPosition();
  CTString alias;
  if (a.nStart != 0) _FormatTableAliasClauseFROM(&alias, info, from);
  const int dialect = m_pclCnx != nullptr ? m_pclCnx->nGetDataSource() : 0;
  if (alias.nTaille() > 0) {
    if (dialect == 1 && alias == table && alias.nPos(L'.', 1) > 0) {
      *cursor = a.nEnd + 1;
    } else {
      if (dialect == 1) {
        // Dialect 1 takes no AS before a table alias.
        unsigned int i = a.nStart;
        while (i > *cursor && bBlank(text[i - 1])) --i;
        if (i >= *cursor + 2 && wcsncmp(text + i - 2, L"AS", 2) == 0 && (i - 2 == *cursor || bBlank(text[i - 3]))) {
          _CopyText(&_Text(), text, cursor, i - 2);
          *cursor = i;
        }
      }
      _CopyText(&_Text(), text, cursor, a.nStart);
      bComplete(alias.pszGet());
      *cursor = a.nEnd + 1;
    }
  }
  if (info->nGetQueryKind() == 1 && !(dialect == 8 && m_pclCnx->nGetServerVersionMinor() >= 10)) bAddRecordLock();
  desc->nExternalRelease();
  return TRUE;
}

BOOL CNACommand::_bAddJoinClause(unsigned int* cursor, const wchar_t* text, CSQLParserInfo* info,
                                 const CNASqlElt* piece) {
  CParserRef<IInfoClauseList> lists(info->piGetParserNoRef()->piGetClauseList());
  if (lists.Get() == nullptr) return TRUE;
  CParserRef<IExpOpExpression> join(lists.Get()->piEnumJoinCondition(nullptr, 1));
  for (; join.Get() != nullptr; join.Reset(lists.Get()->piEnumJoinCondition(nullptr, 0))) {
    const stTEXTPOSITION p = _stGetPositionExpression(join.Get());
    if (p.nStart == piece->nGetStart() && p.nEnd == piece->nGetEnd())
      return bAddTreeExpression(info, nullptr, text, nullptr, join.Get(), CNASqlElt::NA_SQLELT_JOIN, cursor, nullptr);
  }
  return TRUE;
}

BOOL CNACommand::_bFormatGROUPBY(unsigned int* cursor, const wchar_t* text, CSQLParserInfo* info) {
  for (CInfoGroupe* group = info->piEnumRubriqueClauseGroupe(1); group != nullptr;
       group = info->piEnumRubriqueClauseGroupe(0)) {
    const stTEXTPOSITION p = group->stGetPosition();
    _CopyText(&_Text(), text, cursor, p.nStart);
    const wchar_t* table = group->pszGetNomFichier();
    const wchar_t* item = bHasText(group->pszGetNomRubrique()) ? group->pszGetNomRubrique()
                                                                : group->pszGetNomRubriqueAlias();
    CTString written;
    IInfoRubrique* column = _piGetInfoRubriqueFromAlias(info, table, item);
    if (column != nullptr && column->nGetCalculKind() == 1) {
      if (!bFormatExpressionColonneCalculee(info, column, nullptr, CNASqlElt::NA_SQLELT_GROUPBY, &written,
                                            static_cast<unsigned int>(_Text().nGetLength())))
        return FALSE;
    } else if (column != nullptr) {
      _FormatRubriqueAlias(&written, info, column, TRUE, CNASqlElt::NA_SQLELT_GROUPBY);
    } else {
      _GetFormatedOriginalTableNameAndItemName(info, table, item, &written);
    }
    bComplete(written.pszGet());
    *cursor = p.nEnd + 1;
  }
  return TRUE;
}

BOOL CNACommand::_bAddItemInORDERBY(CSQLParserInfo* info, IInfoRubrique* column, int index, const wchar_t* text,
                                    const stTEXTPOSITION& position, int useShownName, int* unique) {
  auto copyUnchanged = [&](unsigned int start, unsigned int end) {
    unsigned int from = start;
    _CopyText(&_Text(), text, &from, end + 1);
  };
  if (column == nullptr) {
    copyUnchanged(position.nStart, position.nEnd);
    return TRUE;
  }
  const int calcul = column->nGetCalculKind();
  const BOOL byIndex = m_pclCnx != nullptr && m_pclCnx->bOrderByIndiceAllowed();
  if (calcul != 0) {
    if ((calcul == 1 || calcul == 2) && byIndex) {
      bCompleteWithNumber(index + 1);
    } else if (!byIndex) {
      const stTEXTPOSITION p = column->stGetPosition();
      copyUnchanged(p.nStart, p.nEnd);
    } else {
      copyUnchanged(position.nStart, position.nEnd);
    }
  } else {
    CTString name;
    if (useShownName)
      _FormatItemName(column->pszGetName(), &name);
    else
      _FormatRubriqueAlias(&name, info, column, TRUE, CNASqlElt::NA_SQLELT_ORDERBY);
    bComplete(name.pszGet());
  }
  *unique = info->bRubriqueUniqueNotNull(column) ||
            (info->bRubriqueUnique(column) && m_pclNullExcluded != nullptr &&
             !m_pclNullExcluded->bColumnValuesNullSelected(column->pszGetNameInSource()));
  return TRUE;
}

BOOL CNACommand::_bFormatORDERBY(unsigned int* cursor, const wchar_t* text, int keepOrderBy, int keepDirection,
                                 int useShownName, int* uniqueReached) {
  CSQLParserInfo* info = m_pclParsedQuery;
  ISQLParserInformation* parser = info != nullptr ? info->piGetParserNoRef() : nullptr;
  const unsigned int n = Length(text);
  if (parser == nullptr) {
    _CopyText(&_Text(), text, cursor, n);
    return TRUE;
  }
  if (!keepOrderBy) {
    if (parser->nGetOrderByStart() <= 0) {
      _CopyText(&_Text(), text, cursor, n);
      return TRUE;
    }
    _CopyText(&_Text(), text, cursor, static_cast<unsigned int>(parser->nGetOrderByStart()));
    *cursor = n;
    return TRUE;
  }
  const int max = m_pclCnx != nullptr ? m_pclCnx->nGetOrderByMaxExpressionNbr() : 0;
  if (max < 1) return TRUE;
  // Where the clause ends: after the last entry and its direction.
  unsigned int clauseEnd = *cursor;
  int word = 0;
  for (IInfoOrderBy* order = info->piEnumRubriqueClauseOrder(1); order != nullptr;
       order = info->piEnumRubriqueClauseOrder(0))
    clauseEnd = DirectionEnd(text, order->stGetPosition().nEnd + 1, &word);
  int unique = FALSE, count = 0;
  for (IInfoOrderBy* order = info->piEnumRubriqueClauseOrder(1); order != nullptr;
       order = info->piEnumRubriqueClauseOrder(0)) {
    const stTEXTPOSITION p = order->stGetPosition();
    _CopyText(&_Text(), text, cursor, p.nStart);
    _bAddItemInORDERBY(info, info->piGetRubriqueOUT(order->nGetIndex()), order->nGetIndex(), text, p, useShownName,
                       &unique);
    *cursor = p.nEnd + 1;
    const unsigned int end = DirectionEnd(text, *cursor, &word);
    if (keepDirection) {
      _CopyText(&_Text(), text, cursor, end);
    } else {
      // Reading backward: every direction turns over (none is ascending).
      bComplete(word == 2 ? L" ASC" : L" DESC");
      *cursor = end;
    }
    if (unique || ++count >= max) {
      // The entries after this one cannot change the order, or the server takes no more.
      if (clauseEnd > *cursor) *cursor = clauseEnd;
      break;
    }
  }
  if (uniqueReached != nullptr) *uniqueReached = unique;
  return TRUE;
}

BOOL CNACommand::bFormatORDERBY(int useShownName, int keepDirection) {
  ISQLParserInformation* parser = m_pclParsedQuery != nullptr ? m_pclParsedQuery->piGetParserNoRef() : nullptr;
  if (parser == nullptr || parser->nGetOrderByStart() <= 0) return TRUE;
  unsigned int cursor = static_cast<unsigned int>(parser->nGetOrderByStart());
  return _bFormatORDERBY(&cursor, m_pclParsedQuery->pszGetRequete(), TRUE, keepDirection, useShownName, nullptr);
}

BOOL CNACommand::_bFormatINSERTUPDATEList(unsigned int* cursor, const wchar_t* text, CSQLParserInfo* info) {
  const int kind = info->nGetQueryKind();
  auto write = [&](IExpOpExpression* column, IExpOpExpression* value, bool target) {
    if (target && column != nullptr && !_bDoExpressionColonne(info, text, column, cursor, &_Text())) return FALSE;
    INAItemDescription* item = nullptr;
    CTString ignored;
    BOOL result = column == nullptr || _bFormatExpressionItemName(info, nullptr, nullptr, column,
                                                                  CNASqlElt::NA_SQLELT_WRITELIST, &ignored, &item, 0);
    if (result)
      result = _bExpressionToSQL(info, nullptr, text, nullptr, value, CNASqlElt::NA_SQLELT_WRITELIST, cursor,
                                 &_Text(), &item, NA_IT_EMPTY, 0);
    __FreeItem(&item);
    return result;
  };
  if (kind == 4) {
    for (IInfoInsertion* entry = info->piEnumRubriqueInsert(1); entry != nullptr; entry = info->piEnumRubriqueInsert(0)) {
      CParserRef<IExpOpExpression> column(entry->piGetColumn()), value(entry->piGetValue());
      if (!write(column.Get(), value.Get(), false)) return FALSE;
    }
  } else if (kind == 3) {
    for (IInfoAffectation* set = info->piEnumRubriqueUpdate(1); set != nullptr; set = info->piEnumRubriqueUpdate(0)) {
      CParserRef<IExpOpExpression> column(set->piGetColumn()), value(set->piGetValue());
      if (!write(column.Get(), value.Get(), true)) return FALSE;
    }
  }
  return TRUE;
}

// ---------------------------------------------------------------- trees and filters

BOOL CNACommand::bAddTreeExpression(CSQLParserInfo* info, CSQLParserInfo* queryInfo, const wchar_t* text,
                                    IExpOpExpression* parent, IExpOpExpression* tree, CNASqlElt::eSQLELT kind,
                                    unsigned int* cursor, CNACommand* filter) {
  const bool merge = kind == CNASqlElt::NA_SQLELT_WHERE && filter != nullptr && !filter->bIsEmpty() && info != nullptr;
  ISQLParserInformation* parser = info != nullptr ? info->piGetParserNoRef() : nullptr;
  const bool where = merge && parser != nullptr && parser->nGetWhereStart() > 0;
  if (merge) {
    const int at = where ? parser->nGetWhereStart() + 5 : _nGetClauseStart(info, CNASqlElt::NA_SQLELT_WHERE);
    _CopyText(&_Text(), text, cursor, static_cast<unsigned int>(std::max(at, 0)));
    bComplete(where ? L" (" : L" WHERE ");
  }
  INAItemDescription* item = nullptr;
  const BOOL result = _bExpressionToSQL(info, queryInfo, text, parent, tree, kind, cursor, &_Text(), &item,
                                        NA_IT_EMPTY, 0);
  __FreeItem(&item);
  if (!result || !merge) return result;
  const int stop = _nGetClauseStop(info, CNASqlElt::NA_SQLELT_WHERE);
  if (stop >= 0) _CopyText(&_Text(), text, cursor, static_cast<unsigned int>(stop) + 1);
  if (where) bComplete(L") AND (");
  if (!bAdd(filter, NA_ADD_CLONE)) return FALSE;
  bComplete(where ? L")" : L" ");
  return bCombineColumnValuesNullSelected(NA_OP_AND, filter->m_pclNullExcluded);
}

BOOL CNACommand::bFormatSubExpression(CSQLParserInfo* info, const wchar_t* text, IExpOpExpression* parent,
                                      IExpOpExpression* expression, CNASqlElt::eSQLELT kind) {
  if (expression == nullptr) return TRUE;
  const stTEXTPOSITION place = _stGetPositionExpression(expression);
  unsigned int cursor = place.nStart;
  if (!bAddTreeExpression(info, nullptr, text, parent, expression, kind, &cursor, nullptr)) return FALSE;
  if (!place.bIsEmpty()) _CopyText(&_Text(), text, &cursor, place.nEnd + 1);
  return TRUE;
}

BOOL CNACommand::bAddFilterExpression(CSQLParserInfo* info) {
  ISQLParserInformation* parser = info != nullptr ? info->piGetParserNoRef() : nullptr;
  if (parser == nullptr) return FALSE;
  const wchar_t* text = parser->pszGetFilterCondition();
  if (text == nullptr) text = L"";
  unsigned int cursor = 0;
  if (!bAddTreeExpression(info, info->pclGetQueryParserInfoNoRef(), text, nullptr, info->piGetWhereTreeNoRef(),
                          CNASqlElt::NA_SQLELT_WHERE, &cursor, nullptr))
    return FALSE;
  _CopyText(&_Text(), text, &cursor, Length(text));
  return TRUE;
}

// ---------------------------------------------------------------- free SQL text

BOOL CNACommand::bComplete(ISQLParserInformation* parser) {
  if (parser == nullptr) return FALSE;
  return _bAddClause(parser->pclGetParameters(), parser->pszGetRequete(), parser, TRUE);
}

BOOL CNACommand::_bAddClause(CTabValParser* table, const wchar_t* text, ISQLParserInformation* parser, int whereNames) {
  unsigned int cursor = 0;
  return _bAddClauseBetween(table, text, parser, whereNames, &cursor, Length(text));
}

BOOL CNACommand::_bAddClauseBetween(CTabValParser* table, const wchar_t* text, ISQLParserInformation* parser,
                                    int whereNames, unsigned int* cursor, unsigned int end) {
  if (!bHasText(text)) return TRUE;
  const long long n = Length(text);
  // The host's lists are trusted only in order, apart and inside the text.
  std::vector<STClauseEntry> entries;
  const wchar_t* fault = nullptr;
  if (table != nullptr) {
    fault = CollectEntries(table->nCount, table->ppEntries, n, &entries);
    if (fault == nullptr) fault = CollectEntries(table->nItemCount, table->ppItems, n, &entries);
  }
  std::stable_sort(entries.begin(), entries.end(),
                   [](const STClauseEntry& a, const STClauseEntry& b) { return a.start < b.start; });
  for (size_t i = 1; i < entries.size() && fault == nullptr; ++i)
    if (entries[i].start < entries[i - 1].start + entries[i - 1].length) fault = L"a bind value and an item overlap";
  if (fault != nullptr) {
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteHostList, m_pclCnx, nullptr,
                               nullptr, kErrInternal);
    if (m_pclError != nullptr) {
      CTString line;
      line.printf(L"Host list of the query text refused: %ls (text of %lld characters)", fault, n);
      m_pclError->AddDebugMessageNoFormat(line.pszGet());
    }
    return FALSE;
  }
  CNADriver* driver = CNADriver::s_pclDriver.load();
  // A bind value's parameter, made early when the item reference before it types it.
  auto make = [&](STValParser* value) -> CNAParameter* {
    CNAConvertVariant* holder = _vpclGetNewVariant(nullptr, &value->clValue);
    if (holder == nullptr) return nullptr;
    holder->AddRef();
    CNAParameter* parameter =
        driver != nullptr ? driver->pclAllocParameter(holder, 0, value->dwFlags, nullptr) : nullptr;
    holder->nRelease();
    if (parameter != nullptr) parameter->AddRef();
    return parameter;
  };
  CNAParameter* pending = nullptr;
  BOOL result = TRUE;
  for (size_t i = 0; i < entries.size() && result; ++i) {
    const STClauseEntry& e = entries[i];
    if (e.start < *cursor) continue;
    if (e.start >= end) break;
    _CopyText(&_Text(), text, cursor, static_cast<unsigned int>(e.start));
    if (e.value != nullptr) {
      CNAParameter* parameter = pending != nullptr ? pending : make(e.value);
      pending = nullptr;
      if (parameter == nullptr) {
        result = FALSE;
        break;
      }
      parameter->SetPosition(static_cast<unsigned int>(_Text().nGetLength()));
      result = bAddParameter(parameter);
      parameter->nRelease();
    } else {
      CTString name(e.item->pszItem);
      if (whereNames) {
        if (i + 1 < entries.size() && entries[i + 1].value != nullptr) pending = make(entries[i + 1].value);
        _FormatItemNameInWHEREClause(parser, e.item->pszTable, &name, pending);
      } else {
        CTString formattedTable, formattedItem;
        _FormatTableName(parser, e.item->pszTable, &formattedTable);
        _FormatItemName(e.item->pszItem, &formattedItem);
        name = formattedItem;
        if (formattedTable.nTaille() > 0) {
          formattedTable.Add(L".");
          formattedTable.Add(formattedItem.pszGet());
          name = formattedTable;
        }
      }
      bComplete(name.pszGet());
    }
    *cursor = static_cast<unsigned int>(e.start + e.length);
  }
  if (pending != nullptr) pending->nRelease();
  if (!result) return FALSE;
  _CopyText(&_Text(), text, cursor, end);
  return TRUE;
}

void CNACommand::_FormatItemNameInWHEREClause(ISQLParserInformation* parser, const wchar_t* table, CTString* name,
                                              CNAParameter* parameter) {
  if (parser == nullptr) return;
  CTString source(table), item(*name);
  INAItemDescription* desc = nullptr;
  try {
    // The SELECT column so named reads its source's item.
    CParserRef<IInfoClauseList> lists(parser->piGetClauseList());
    if (lists.Get() != nullptr) {
      CParserRef<IInfoRubrique> column(lists.Get()->piEnumRubrique(1));
      for (; column.Get() != nullptr; column.Reset(lists.Get()->piEnumRubrique(0))) {
        IInfoRubrique* c = column.Get();
        if (!bSameName(c->pszGetName(), name->pszGet())) continue;
        if (bHasText(table) && (c->nGetCalculKind() != 0 || !bSameName(c->pszGetSourceTableAlias(), table))) continue;
        if (c->nGetCalculKind() == 0) {
          source = c->pszGetSourceTableName();
          item = c->pszGetNameInSource();
        }
        break;
      }
    }
    desc = parser->piGetItemDescription(source.pszGet(), item.pszGet());
  } catch (...) {
    desc = nullptr;
  }
  if (desc == nullptr) return;
  if (INADataSourceDescription* owner = parser->piGetDataSourceDescription(source.pszGet())) {
    source = owner->pszGetDBTableName();
    owner->nExternalRelease();
  }
  *name = item;
  _FormatItemNameInWHEREClause(parser, desc, source.pszGet(), name, parameter);
  desc->nExternalRelease();
}

void CNACommand::_FormatItemNameInWHEREClause(ISQLParserInformation*, INAItemDescription* item, const wchar_t* table,
                                              CTString* name, CNAParameter* parameter) {
  const CTString written(*name);
  FormatExpressionItemName(name, CNASqlElt::NA_SQLELT_WHERE,
                           parameter != nullptr ? parameter->eGetOperator() : static_cast<eOPEXPRESSION>(-1), nullptr,
                           item, table, written.pszGet());
  if (parameter != nullptr) parameter->SetItem(item);
}
