// CMySQLDataAccess: the data access the MySQL driver makes. It is the generic data access with
// one answer changed: counting a table's records needs no run over an item. It holds nothing of
// its own.
#pragma once

#include "access/nadataaccess.h"

class CMySQLDataAccess : public CNADataAccess {
 public:
  CMySQLDataAccess(INADataSourceDescription* desc, CNAConnectionDescription* cnx, CNAError* error)
      : CNADataAccess(desc, cnx, error) {}
  ~CMySQLDataAccess() override = default;

  // A table: *needParse 0 (the item is not looked at); a parsed source query: the generic 1. TRUE.
  BOOL bNbEnrNeedParse(int* needParse, const wchar_t* item) override;
};
