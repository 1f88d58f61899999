// This module's error table and information record, the stack error object of raise sites and
// the debug line every raise site appends. Raising itself is CXError::SetUserError
// (platform/xerror.h), implemented in errortable.cpp with the other table operations.
//
// A raise site:
//   _CXErrorModule32 e;
//   e.SetUserError(&gstMyModuleInfo32, code, inserts...);
//   e.AddInfo(EIT_LOGICALTABLENAME, table);  ...
//   XERR_AddRaiseSite(&e, fileNumber, siteNumber);
//   ... hand e to the driver's error object.
#pragma once

#include "platform/dllres.h"
#include "platform/xerror.h"

constexpr unsigned int kErrorDefCount32 = 87;
constexpr unsigned int kModuleNumber32 = 32;

// Rows searched in order, the first match wins.
extern const STErrorDef gstErrorDef32[kErrorDefCount32];
extern const _stMyModuleInfo gstMyModuleInfo32;

// The module's short name in raise-site debug lines.
inline constexpr const wchar_t* gszModuleShortName32 = L"QXMSQL";
// Resource id of the out-of-memory message.
constexpr unsigned int kResNoMemory32 = 25193;

// A CXError of this module (module number 32).
class _CXErrorModule32 : public CXError {
 public:
  _CXErrorModule32() : CXError(&gstMyModuleInfo32) {}
  ~_CXErrorModule32() override;
};

// Appends "IEQXMSQL=<file>.<site>\r\nModule=<QXMSQL>\r\nVersion=<version>" to e's debug message.
void XERR_AddRaiseSite(CXError* e, unsigned int fileNumber, unsigned int siteNumber);
