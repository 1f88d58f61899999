#include "mysql/mysqldriversql.h"

#include <iterator>
#include <new>

#include "common/ctstring.h"
#include "common/tstringarray.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "mysql/mysqlstatementsql.h"
#include "values/any.h"

namespace {

constexpr unsigned int kBaseTables = 1;
constexpr unsigned int kSorted = 16;
constexpr unsigned int kExtended = 32;

constexpr wchar_t kColumnTypes[] =
    L"bit\t1\r\ntinyint\t2\r\ntinyint unsigned\t2\r\nsmallint\t13\r\nsmallint unsigned\t13\r\n"
    L"mediumint\t12\r\nmediumint unsigned\t12\r\ninteger\t12\r\ninteger unsigned\t12\r\nint\t12\r\n"
    L"int unsigned\t12\r\nbigint\t3\r\nbigint unsigned\t3\r\nnumeric\t10\r\ndecimal\t11\r\nreal\t15\r\n"
    L"float\t15\r\ndouble\t16\r\nchar\t9\r\nvarchar\t20\r\nlong varchar\t7\r\ntext\t7\r\nmediumtext\t7\r\n"
    L"tinyblob\t4\r\nmediumblob\t4\r\nblob\t4\r\nlongblob\t4\r\nlong varbinary\t4\r\nenum\t20\r\nset\t20\r\n"
    L"year\t13\r\ndate\t17\r\ntime\t18\r\ndatetime\t19\r\ntimestamp\t19";

bool bBelow5(const CNAConnectionDescription* cnx) { return cnx->nGetServerVersionMajor() < 5; }

// The wide text the list holds ("" for a NULL or non-text value).
const wchar_t* pszListText(CAny* list) {
  const wchar_t* text = nullptr;
  if (list->bIsNull() || list->wGetType() != ZV_DSTRW || list->Intern()->nGetPCWSTR(&text) != 0 || text == nullptr)
    return L"";
  return text;
}

}  // namespace

CMySQLDriverSQL::~CMySQLDriverSQL() = default;

CNAStatementSQL* CMySQLDriverSQL::pclAllocStatementSQL(CNAConnectionDescription* cnx, CNAError* error) {
  return new (std::nothrow) CMySQLStatementSQL(cnx, error);
}

BOOL CMySQLDriverSQL::bGetColumnTypeList(CAny* out, int, unsigned int) {
  CNADriverLock lock;
  if (m_pclError != nullptr) m_pclError->Reset();
  g_SetList(out, kColumnTypes, static_cast<unsigned int>(std::size(kColumnTypes)) - 1);
  return TRUE;
}

BOOL CMySQLDriverSQL::bGetTableList(CAny* out, CNAConnectionDescription* cnx, const wchar_t* filter,
                                    unsigned int flags) {
  if (!bBelow5(cnx) && CNADriverSQL::bGetTableList(out, cnx, filter, flags)) return TRUE;
  BOOL result = TRUE;
  if ((flags & kBaseTables) == 0) {
    g_SetList(out, L"", 0);
  } else {
    CTString sql(L"SHOW TABLES");
    if (filter != nullptr && *filter != 0) sql.Set(L"SHOW TABLES", L" ", filter);
    result = _bGetList(out, cnx, sql.pszGet(), 1, flags);
    if (result && (flags & kExtended) != 0) {
      CTStringArray lines;
      lines.Decoupe(pszListText(out), L"\r\n");
      // The database the connection opened, wherever its parameters name it.
      const wchar_t* database = cnx->pszGetDefaultDataBaseEx();
      CXYStringConcat<wchar_t> list;
      for (int i = 0; i < lines.nGetCount(); ++i) {
        CTString owner, name;
        CNAConnectionDescription::bExtractOwner(nullptr, lines[i]->pszGet(), &owner, &name);
        if (i > 0) list.Add(L"\r\n");
        list.Add(name.pszGet());
        list.Add(L"\t");
        list.Add(database != nullptr ? database : L"");
        list.Add(L"\t");
        list.Add(owner.pszGet());
        list.Add(L"\tTABLE");
      }
      g_SetList(out, list);
    }
  }
  if ((flags & kSorted) != 0) {
    CTString sorted;
    CTStringArray::g_bTrieCroissantI(&sorted, pszListText(out), L"\r\n");
    g_SetList(out, sorted.pszGet(), static_cast<unsigned int>(sorted.nTaille()));
  }
  return result;
}

BOOL CMySQLDriverSQL::bGetColumnList(CAny* out, CNAConnectionDescription* cnx, const wchar_t* table,
                                     unsigned int flags) {
  CTString formatted;
  if (!cnx->bFormatTableName(m_pclError, table, &formatted)) return FALSE;
  const CTString sql(L"SHOW COLUMNS FROM ", formatted.pszGet(), L"");
  return _bGetList(out, cnx, sql.pszGet(), 1, flags);
}

BOOL CMySQLDriverSQL::_bGetDatabaseListQuery(CTStringConcatAW* out, CNAConnectionDescription* cnx,
                                             unsigned int flags) {
  if (!bBelow5(cnx)) return CNADriverSQL::_bGetDatabaseListQuery(out, cnx, flags);
  out->SetStrCte(L"SHOW DATABASES", 14);
  return TRUE;
}

BOOL CMySQLDriverSQL::_bGetDatabaseTableListQuery(CTStringConcatAW* out, const wchar_t* database,
                                                  CNAConnectionDescription* cnx, unsigned int flags) {
  if (!bBelow5(cnx)) return CNADriverSQL::_bGetDatabaseTableListQuery(out, database, cnx, flags);
  CTString formatted;
  if (!cnx->bFormatTableName(m_pclError, database, &formatted)) return FALSE;
  out->SetStrCte(L"SHOW TABLES FROM ", 17);
  out->Add(formatted);
  return TRUE;
}
