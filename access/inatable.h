// INATable: a table or query result as the host holds it, called by position. Its head comes
// first; the host's table operations follow it in their order as they are built.
#pragma once

#include "driver/inaversion.h"

class INATable : public INAVersion {
 public:
  virtual INATable* ExternalAddRef() = 0;
  // The external count left, or 0 when the table went back to the driver.
  virtual int nExternalRelease() = 0;

 protected:
  ~INATable() = default;
};
