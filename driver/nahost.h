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

// The host engine's text service: folds text into a binary-sortable UTF-16 key. Called by
// position; only slots 17 and 18 are used. Each writes a zero-terminated UTF-16 key of at most
// room units (native byte order) from count source units or characters; the flags ask to drop
// blanks and punctuation, accents, and case. The answer is not used.
class IKJTextService {
 public:
#define QX_KJ_SLOT(n) virtual void vReserved##n() {}
  QX_KJ_SLOT(0) QX_KJ_SLOT(1) QX_KJ_SLOT(2) QX_KJ_SLOT(3) QX_KJ_SLOT(4) QX_KJ_SLOT(5) QX_KJ_SLOT(6)
  QX_KJ_SLOT(7) QX_KJ_SLOT(8) QX_KJ_SLOT(9) QX_KJ_SLOT(10) QX_KJ_SLOT(11) QX_KJ_SLOT(12) QX_KJ_SLOT(13)
  QX_KJ_SLOT(14) QX_KJ_SLOT(15) QX_KJ_SLOT(16)
  virtual int nFoldUTF16(unsigned short* dst, int room, const unsigned short* src, int count, int bNoPunct,
                         int bNoAccent, int bNoCase) = 0;
  virtual int nFoldUTF32(unsigned short* dst, int room, const wchar_t* src, int count, int bNoPunct,
                         int bNoAccent, int bNoCase) = 0;

 protected:
  ~IKJTextService() = default;
};

// The host engine's interface for native accesses, as handed to bSetKJ; called by position,
// only slot 7 is used.
class IKJForNA {
 public:
  QX_KJ_SLOT(0) QX_KJ_SLOT(1) QX_KJ_SLOT(2) QX_KJ_SLOT(3) QX_KJ_SLOT(4) QX_KJ_SLOT(5) QX_KJ_SLOT(6)
#undef QX_KJ_SLOT
  // The engine's text service (may be null).
  virtual IKJTextService* piGetTextService() = 0;

 protected:
  ~IKJForNA() = default;
};
class CNAConnectionParam;

// Access mode of a connection description; 1 is read-only.
enum eNA_ACCESS : int32_t {};
// Lock mode of files in a context (_eNA_HMODE); 1 is the default of a new context.
enum _eNA_HMODE : int32_t {};
// Direction of a browse read; any other value stays on the current record.
enum eNA_PARSEDIRECTION : int32_t {
  NA_PARSE_FIRST = 0,
  NA_PARSE_LAST = 1,
  NA_PARSE_NEXT = 2,
  NA_PARSE_PREVIOUS = 3,
  NA_PARSE_CURRENT = 4,  // any other value means the current record too
};
// How a position is saved and restored; bit value 1 restores its filter as well.
enum eNAPOSITION : int32_t {};
// Lock asked with a read (0 none).
enum eNA_LOCKTYPE : int32_t {};
// Precision of a position in thousandths of a file; the driver passes it on.
enum eNA_PRECISION : int32_t {};

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
