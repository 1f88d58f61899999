// The catalogue lists of the SQL-function service: tables, columns and databases read from the
// server's INFORMATION_SCHEMA and handed over as TAB / CR LF text.
#include <iterator>
#include <memory>

#include "access/nadatasourcedescription.h"
#include "common/ctstring.h"
#include "common/tstringarray.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/nadriversql.h"
#include "sql/inaitemdescription.h"
#include "values/any.h"

namespace {

constexpr unsigned int kBaseTables = 1;
constexpr unsigned int kViews = 2;
constexpr unsigned int kSystemTables = 4;
constexpr unsigned int kSorted = 16;
constexpr unsigned int kExtended = 32;
constexpr unsigned int kAnyType = kBaseTables | kViews | kSystemTables;

struct StatementRelease {
  void operator()(CNAStatementSQL* st) const { st->nRelease(); }
};
using HeldStatement = std::unique_ptr<CNAStatementSQL, StatementRelease>;

// The list's lines sorted ignoring case, back into out.
void SortLines(CXYStringConcat<wchar_t>* list, const wchar_t* separator) {
  CTString sorted;
  if (!CTStringArray::g_bTrieCroissantI(&sorted, list->pszGet(), separator)) return;
  list->Vide();
  list->Add(sorted.pszGet(), sorted.nTaille());
}

}  // namespace

void CNADriverSQL::g_SetList(CAny* out, const wchar_t* text, unsigned int length) {
  out->__SetType(ZV_DSTRW, 0);
  out->Intern()->SetValue(text, length * static_cast<unsigned int>(sizeof(wchar_t)));
  out->SetFlags(0);
}

BOOL CNADriverSQL::_bGetList(CXYStringConcat<wchar_t>* out, CNAConnectionDescription* cnx, const wchar_t* sql,
                             unsigned int columns, unsigned int fetchFlags, const wchar_t* separator) {
  out->Vide();
  CNAStatementSQL* made = nullptr;
  if (!bExecute(m_pclError, &made, cnx, sql, nullptr, 0)) return FALSE;
  if (made == nullptr) return TRUE;
  HeldStatement st(made);
  CXYStringConcat<wchar_t> row;
  for (bool first = true;; first = false) {
    if (!st->bFetch(fetchFlags)) return FALSE;
    if (st->bIsEnd()) return TRUE;
    if (!st->bGetRow(&row, L"\t", static_cast<int>(columns), 0)) return FALSE;
    if (!first && separator != nullptr) out->Add(separator);
    out->Add(row.pszGet(), static_cast<int>(row.nGetLength()));
  }
}

BOOL CNADriverSQL::_bGetList(CAny* out, CNAConnectionDescription* cnx, const wchar_t* sql, unsigned int columns,
                             unsigned int fetchFlags) {
  CXYStringConcat<wchar_t> list;
  const BOOL result = _bGetList(&list, cnx, sql, columns, fetchFlags, L"\r\n");
  g_SetList(out, list);
  return result;
}

// ---------------------------------------------------------------- tables

void CNADriverSQL::_GetTableList_GetFilter(CXYStringConcat<wchar_t>* out, const wchar_t* extra, unsigned int flags) {
  // "A OR B AND schema" would read as "A OR (B AND schema)" and list the base tables of every
  // schema: the types go in parentheses, and the host's extra text with them in a second pair.
  CXYStringConcat<wchar_t> types;
  const struct {
    unsigned int flag;
    const wchar_t* test;
  } kinds[] = {{kBaseTables, L"TABLE_TYPE='BASE TABLE'"},
               {kSystemTables, L"TABLE_TYPE='SYSTEM TABLE'"},
               {kViews, L"TABLE_TYPE='VIEW'"}};
  for (const auto& k : kinds) {
    if ((flags & k.flag) == 0) continue;
    if (!types.bEstVide()) types.Add(L" OR ");
    types.Add(k.test);
  }
  out->Vide();
  if (types.bEstVide()) return;
  const bool bExtra = extra != nullptr && *extra != 0;
  if (bExtra) out->Add(L"(");
  out->Add(L"(");
  out->Add(types.pszGet(), static_cast<int>(types.nGetLength()));
  out->Add(L")");
  if (bExtra) {
    out->Add(L" ");
    out->Add(extra);
    out->Add(L")");
  }
}

BOOL CNADriverSQL::bGetTableList(CAny* out, CNAConnectionDescription* cnx, const wchar_t* filter, unsigned int flags) {
  if ((flags & kAnyType) == 0) {
    g_SetList(out, L"", 0);
    return TRUE;
  }
  CXYStringConcat<wchar_t> where;
  _GetTableList_GetFilter(&where, filter, flags);
  const BOOL result = _bGetTableList(out, cnx, where.pszGet(), flags);
  const wchar_t* text = nullptr;
  if ((flags & kSorted) != 0 && out->wGetType() == ZV_DSTRW && !out->bIsNull() &&
      out->Intern()->nGetPCWSTR(&text) == 0) {
    CXYStringConcat<wchar_t> list;
    list.Add(text);
    SortLines(&list, L"\r\n");
    g_SetList(out, list);
  }
  return result;
}

BOOL CNADriverSQL::_bGetTableList(CAny* out, CNAConnectionDescription* cnx, const wchar_t* filter, unsigned int flags) {
  CXYStringConcat<wchar_t> sql;
  sql.Add(L"SELECT TABLE_NAME, TABLE_SCHEMA, TABLE_TYPE FROM INFORMATION_SCHEMA.TABLES WHERE ");
  if (filter != nullptr && *filter != 0) {
    sql.Add(filter);
    sql.Add(L" AND ");
  }
  sql.Add(L"TABLE_SCHEMA = SCHEMA() ORDER BY TABLE_SCHEMA, TABLE_NAME");
  CNAStatementSQL* made = nullptr;
  if (!bExecute(m_pclError, &made, cnx, sql.pszGet(), nullptr, 0)) return FALSE;
  HeldStatement st(made);
  CXYStringConcat<wchar_t> list;
  BOOL result = TRUE;
  while (st != nullptr) {
    if (!st->bFetch(0)) {
      result = FALSE;
      break;
    }
    if (st->bIsEnd()) break;
    if (!list.bEstVide()) list.Add(L"\r\n");
    if (!st->bAddValueText(&list, 0, 0)) {
      result = FALSE;
      break;
    }
    if ((flags & kExtended) == 0) continue;
    list.Add(L"\t");
    CXYStringConcat<wchar_t> type;
    if (!st->bAddValueText(&list, 1, 0) || !st->bAddValueText(&type, 2, 0)) {
      result = FALSE;
      break;
    }
    list.Add(L"\t\t");
    if (CTString(type.pszGet()).bEstEgalI(L"BASE TABLE"))
      list.Add(L"TABLE");
    else
      list.Add(type.pszGet(), static_cast<int>(type.nGetLength()));
  }
  g_SetList(out, list);
  return result;
}

// ---------------------------------------------------------------- columns

BOOL CNADriverSQL::bGetColumnList(CAny* out, CNAConnectionDescription* cnx, const wchar_t* table, unsigned int) {
  CNADataSourceDescription* desc = m_pclDriver != nullptr ? m_pclDriver->_pclGetTableDesc(table, cnx) : nullptr;
  if (desc == nullptr) {
    out->SetNull(true);
    return FALSE;
  }
  CXYStringConcat<wchar_t> list;
  const int count = desc->nGetNumItems();
  for (int i = 0; i < count; ++i) {
    INAItemDescription* item = desc->piNAGetItem(static_cast<unsigned int>(i));
    if (item == nullptr) continue;
    const bool bKey = item->bIsComposedKey();
    if (!bKey) {
      if (!list.bEstVide()) list.Add(L"\r\n");
      list.Add(item->pszGetName());
    }
    item->nExternalRelease();
    if (bKey) break;
  }
  desc->nRelease();
  g_SetList(out, list);
  return TRUE;
}

// ---------------------------------------------------------------- databases

BOOL CNADriverSQL::_bGetDatabaseListQuery(CTStringConcatAW* out, CNAConnectionDescription*, unsigned int) {
  static constexpr wchar_t kQuery[] = L"SELECT SCHEMA_NAME FROM INFORMATION_SCHEMA.SCHEMATA ORDER BY SCHEMA_NAME";
  out->SetStrCte(kQuery, static_cast<int>(std::size(kQuery)) - 1);
  return TRUE;
}

BOOL CNADriverSQL::_bGetDatabaseTableListQuery(CTStringConcatAW* out, const wchar_t* database,
                                               CNAConnectionDescription* cnx, unsigned int flags) {
  const CTString name(database);
  CTStringConcatAW literal(CTStringConcatAW::kWideContent, cnx->nGetServerCodePage());
  if (cnx->_bEscapeString(m_pclError, &literal, ZV_PSTRW,
                          reinterpret_cast<unsigned char*>(const_cast<wchar_t*>(name.pszGet())),
                          static_cast<unsigned int>(name.nTaille()) * sizeof(wchar_t)) != 1)
    return FALSE;
  CXYStringConcat<wchar_t> where;
  _GetTableList_GetFilter(&where, nullptr, flags);
  static constexpr wchar_t kQuery[] = L"SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES WHERE ";
  out->SetStrCte(kQuery, static_cast<int>(std::size(kQuery)) - 1);
  if (!where.bEstVide()) {
    out->Add(where.pszGet(), static_cast<int>(where.nGetLength()));
    out->Add(L" AND ", 5);
  }
  out->Add(L"TABLE_SCHEMA = ", 15);
  out->Add(literal.pszGetW(), literal.nGetLengthW());
  out->Add(L" ORDER BY TABLE_NAME", 20);
  return TRUE;
}

BOOL CNADriverSQL::_bGetDatabaseList(CXYStringConcat<wchar_t>* out, CNAConnectionDescription* cnx,
                                     unsigned int flags) {
  CTStringConcatAW query(CTStringConcatAW::kWideContent, cnx->nGetServerCodePage());
  if (!_bGetDatabaseListQuery(&query, cnx, flags)) return FALSE;
  const BOOL result = _bGetList(out, cnx, query.pszGetW(), 1, flags, L"\t");
  if (!result || (flags & kAnyType) == 0) {
    if ((flags & kSorted) != 0) SortLines(out, L"\t");
    return result;
  }
  CTStringArray names;
  names.Decoupe(out->pszGet(), L"\t");
  if ((flags & kSorted) != 0) names.TrieCroisssantI();
  out->Vide();
  CXYStringConcat<wchar_t> tables;
  for (int i = 0; i < names.nGetCount(); ++i) {
    const wchar_t* name = names[i]->pszGet();
    if (!_bGetDatabaseTableListQuery(&query, name, cnx, flags) ||
        !_bGetList(&tables, cnx, query.pszGetW(), 1, flags, L"\t"))
      return FALSE;
    if (i > 0) out->Add(L"\r\n");
    out->Add(name);
    out->Add(L"\t");
    out->Add(tables.pszGet(), static_cast<int>(tables.nGetLength()));
  }
  return TRUE;
}

BOOL CNADriverSQL::bGetDatabaseList(CXYString<wchar_t>* out, CNAConnectionDescription* cnx, unsigned int flags) {
  CXYStringConcat<wchar_t> list;
  const BOOL result = _bGetDatabaseList(&list, cnx, flags);
  out->nAffecte(list.pszGet(), static_cast<int>(list.nGetLength()));
  return result;
}
