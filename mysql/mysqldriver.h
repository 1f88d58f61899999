// CMySQLDriver: the driver class the host gets; it substitutes the MySQL classes in the driver's
// factories as they are built (until then those factories make nothing).
#pragma once

#include "driver/nadriver.h"

class CMySQLDriver : public CNADriver {
 public:
  // Rows cached by default: 100.
  CMySQLDriver();
  ~CMySQLDriver() override;

  CNAStatement* pclAllocStatement(CNADataAccess* access, CNAConnectionDescription* cnx,
                                  CNAError* error) const override;
  CNAConnectionDescription* _pclAllocConnectionDescription(const wchar_t* identification,
                                                           INAConnectionDescription* cnx) override;

  // Ends the backend, then the driver's module; the common runtime's result.
  static BOOL g_NATermModule();
};
