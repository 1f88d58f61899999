// The data access's source query compared with a host's parsed query.
#include "access/nadataaccess.h"
#include "common/str_compare.h"
#include "sql/sqlparserinfo.h"

BOOL CNADataAccess::bSameQuery(ISQLParserInformation* query) const {
  if (m_pclSourceQuery == nullptr || query == nullptr) return FALSE;
  const wchar_t* own = m_pclSourceQuery->pszGetRequete();
  const wchar_t* other = query->pszGetRequete();
  return STR_nCompareW(own != nullptr ? own : L"", other != nullptr ? other : L"", 1) == 0 ? TRUE : FALSE;
}
