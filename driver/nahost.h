// The host's objects that the driver is handed and calls: the connection description, the
// context, and the three host services that the driver only keeps (library shop, VM data, the
// host engine's interface for native accesses). The host owns them all; texts they give are the
// host's, valid while the object lives, and may be null where said.
#pragma once

#include <cstdint>

#include "common/ctstring.h"
#include "platform/wintypes.h"

class ILibShop;
class IVMData;
class IKJForNA;
class CNAConnectionParam;

// Access mode of a connection description; 1 is read-only.
enum eNA_ACCESS : int32_t {};
// Lock mode of files in a context (_eNA_HMODE); 1 is the default of a new context.
enum _eNA_HMODE : int32_t {};

// The host's connection-name object: a first word of the host's, then the name.
class CNAConnectionName {
 public:
  const wchar_t* pszGetName() const { return m_csName.pszGet(); }

 protected:
  uint32_t m_dwHostWord = 0;
  CTString m_csName;
};

// The host's description of one connection, called by position in this order.
class INAConnectionDescription {
 public:
  virtual int nGetVersion() const = 0;
  virtual void AddRef() = 0;
  virtual int nRelease() = 0;
  // May be null.
  virtual const wchar_t* pszGetUserName() const = 0;
  // May be null.
  virtual const wchar_t* pszGetPassword() const = 0;
  // The server to connect to.
  virtual const wchar_t* pszGetDataBase() const = 0;
  virtual const wchar_t* pszGetDescription() const = 0;
  virtual eNA_ACCESS eGetAccess() const = 0;
  virtual int nGetNbParam() const = 0;
  virtual CNAConnectionParam* pclGetParam(int index) const = 0;
  // May be null.
  virtual const wchar_t* pszGetProvider() const = 0;
  virtual int nGetConnectionTimeout() const = 0;
  virtual int nGetCommandTimeout() const = 0;
  // "name=value" pairs separated by ';'; may be null.
  virtual const wchar_t* pszGetExtendedInfo() const = 0;
  virtual const CNAConnectionName* pclGetConnectionName() const = 0;
  virtual long lGetCursorOptions() const = 0;
  virtual const wchar_t* pszGetDefaultDataBase() const = 0;
  // Only in descriptions whose version is above 3.
  virtual long long llGetCacheSize() const = 0;
  virtual const wchar_t* pszGetLogicalConnectionName() const = 0;

 protected:
  ~INAConnectionDescription() = default;
};

// One host context, naming also one file opened in it.
class INAContext {
 public:
  virtual DWORD dwGetCtxID() const = 0;
  virtual DWORD dwGetDataID() const = 0;

 protected:
  ~INAContext() = default;
};
