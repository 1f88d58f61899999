// CNAContext: the driver's record of one host context: the one data access of each file opened in
// it (keyed by the host's file id, one reference each), its default lock mode and the logical name
// for the next file opened in it. It holds one reference on its own error object. The driver
// registers it under the host's context id. Every operation on the data accesses takes the driver
// mutex itself, so the table object may call it from any host entry.
#pragma once

#include "common/ctstring.h"
#include "common/interf.h"
#include "common/refhashtable.h"
#include "driver/nahost.h"

class CNADataAccess;
class CNAError;
class CNAConnectionDescription;
class INADataSourceDescription;

class CNAContext : public CInterf {
 public:
  // Keeps one reference on error (may be null).
  explicit CNAContext(CNAError* error);
  ~CNAContext() override;
  CNAContext(const CNAContext&) = delete;
  CNAContext& operator=(const CNAContext&) = delete;

  virtual int nGetVersion() const { return 2; }
  virtual int nGetCompatSince() const { return 2; }
  // A new data access (the driver's factory), not yet referenced; null when none can be made.
  virtual CNADataAccess* _pclAllocDataAccess(INADataSourceDescription* desc, CNAConnectionDescription* cnx,
                                             CNAError* error);

  // Stores access under the file id of ctx with the context's reference and attaches it.
  void _AddDataAccess(INAContext* ctx, CNADataAccess* access);
  // The access of the file id of ctx with a reference for the caller, or null.
  CNADataAccess* pclFindDataAccess(INAContext* ctx);
  // Finds, or makes and stores, the access of the file id of ctx; a reference for the caller;
  // *created tells which. Null, with the no-memory error in the context's error, when none can be
  // made.
  CNADataAccess* pclGetDataAccess(INAContext* ctx, CNAConnectionDescription* cnx, INADataSourceDescription* desc,
                                  int* created);
  // Removes and releases access: the one of ctx's file id when that is access (or access is
  // null), else access wherever it is held; the other files stay.
  void RemoveDataAccess(INAContext* ctx, CNADataAccess* access);
  // Removes every access, closing the open ones first. A close that throws leaves the accesses not
  // yet reached in the context.
  void CloseAllDataAccess();
  // The first access on cnx whose alias / database table name equals name ignoring case and
  // accents, with a reference; null when none.
  CNADataAccess* pclFindDataAccessByAliasName(CNAConnectionDescription* cnx, const wchar_t* name);
  CNADataAccess* pclFindDataAccessByDBTableName(CNAConnectionDescription* cnx, const wchar_t* name);
  // Sets mode on every access of that logical name; the mode becomes the default whatever the
  // results. TRUE when every call succeeded (also when none matched).
  BOOL bHMode(const wchar_t* logicalName, _eNA_HMODE mode);
  void _SetDefaultMode(_eNA_HMODE mode) { m_eDefaultMode = mode; }

  // 0xFFFFFFFF until the driver registers the context.
  DWORD dwGetContextID() const { return m_dwContextID; }
  _eNA_HMODE eGetDefaultMode() const { return m_eDefaultMode; }
  const wchar_t* pszGetNextLogicalName() const { return m_csNextLogicalName.pszGet(); }
  void SetNextLogicalName(const wchar_t* name) { m_csNextLogicalName = name; }
  CNAError* pclGetErrorNoRef() const { return m_pclError; }
  // Whether any data access is held (under the driver mutex).
  BOOL bHasDataAccess() const;

 private:
  // The driver sets the id when it registers the context.
  friend class CNADriver;

  CNADataAccess* _pclFindBy(CNAConnectionDescription* cnx, const wchar_t* name, bool bAlias);

  CNAError* m_pclError;
  DWORD m_dwContextID = 0xFFFFFFFFu;
  _eNA_HMODE m_eDefaultMode = static_cast<_eNA_HMODE>(1);
  CTString m_csNextLogicalName;
  CNARefHashTable<unsigned int, CNADataAccess*> m_tabDataAccess;  // made for 7 entries
};
