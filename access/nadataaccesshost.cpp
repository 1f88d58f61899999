// The host operations of the data access whose roads come later: they refuse as an operation the
// access does not support, so a host call never reads an answer that was not computed.
#include "access/nadataaccess.h"

BOOL CNADataAccess::bSetNextOperation(eNA_OPERATION) {
  _RaiseNotSupported();
  return FALSE;
}
