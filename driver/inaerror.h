// INAError: the driver's error object as the host reads it, called by position in this order.
#pragma once

#include <cstdint>

#include "driver/inaversion.h"
#include "platform/wintypes.h"

class CXError;

// Kind of the first error held; -1 while none is held. Raise sites use 0 unless told otherwise.
enum eNA_ERRORTYPE : int32_t { NA_ERRORTYPE_NONE = -1, NA_ERRORTYPE_DEFAULT = 0 };
// The error's level, as the common error object's (1 no error, 2 warning, 3 error).
enum eNAERRORLEVEL : uint32_t { NAERRORLEVEL_NONE = 1, NAERRORLEVEL_WARNING = 2, NAERRORLEVEL_ERROR = 3 };

class INAError : public INAVersion {
 public:
  virtual const wchar_t* pszGetError() const = 0;
  virtual DWORD dwGetErrorId() const = 0;
  virtual eNA_ERRORTYPE eGetErrorType() const = 0;
  virtual const wchar_t* pszGetLogicalTableName() const = 0;
  virtual const wchar_t* pszGetItemName() const = 0;
  virtual CXError* pclGetXError() const = 0;
  virtual eNAERRORLEVEL eGetErrorLevel() const = 0;
  virtual void EmptySlot52() {}
  virtual void EmptySlot53() {}
  virtual void EmptySlot54() {}
  virtual void EmptySlot55() {}
  virtual void EmptySlot56() {}
  virtual ~INAError() = default;
  virtual void Reset() = 0;
};
