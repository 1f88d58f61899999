#include "mysql/mysqldataaccess.h"

BOOL CMySQLDataAccess::bNbEnrNeedParse(int* needParse, const wchar_t* item) {
  if (pclGetSourceQueryNoRef() != nullptr) return CNADataAccess::bNbEnrNeedParse(needParse, item);
  if (needParse != nullptr) *needParse = 0;
  return TRUE;
}
