// Stand-ins for the host's descriptions handed to the driver: a connection description (fields
// set by the test, counted references) and a table description. The test owns them; they never
// delete themselves, and their counts show what the driver still holds.
#pragma once

#include "driver/inadatasourcedescription.h"
#include "driver/nahost.h"

class CHostConnectionName : public CNAConnectionName {
 public:
  void SetName(const wchar_t* name) { m_csName = name; }
};

class CHostConnectionDescription final : public INAConnectionDescription {
 public:
  CHostConnectionDescription() { m_clName.SetName(L"cnx"); }

  int nGetVersion() const override { return m_nVersion; }
  void AddRef() override { ++m_nRef; }
  int nRelease() override { return m_nRef > 0 ? --m_nRef : 0; }
  const wchar_t* pszGetUserName() const override { return m_pszUser; }
  const wchar_t* pszGetPassword() const override { return m_pszPassword; }
  const wchar_t* pszGetDataBase() const override { return m_pszDataSource; }
  const wchar_t* pszGetDescription() const override { return L""; }
  eNA_ACCESS eGetAccess() const override { return static_cast<eNA_ACCESS>(m_nAccess); }
  int nGetNbParam() const override { return 0; }
  CNAConnectionParam* pclGetParam(int) const override { return nullptr; }
  const wchar_t* pszGetProvider() const override { return m_pszProvider; }
  int nGetConnectionTimeout() const override { return -1; }
  int nGetCommandTimeout() const override { return -1; }
  const wchar_t* pszGetExtendedInfo() const override { return m_pszExtendedInfo; }
  const CNAConnectionName* pclGetConnectionName() const override { return &m_clName; }
  long lGetCursorOptions() const override { return m_lCursorOptions; }
  const wchar_t* pszGetDefaultDataBase() const override { return L""; }
  long long llGetCacheSize() const override { return m_llCacheSize; }
  const wchar_t* pszGetLogicalConnectionName() const override { return L""; }

  int nGetRefCount() const { return m_nRef; }

  // Set by the test; texts are the test's own and may be null.
  int m_nVersion = 4;
  int m_nAccess = 0;
  // -2: the host leaves the record limit to the driver.
  long long m_llCacheSize = -1;
  const wchar_t* m_pszUser = L"user";
  const wchar_t* m_pszPassword = L"Secret";
  const wchar_t* m_pszDataSource = L"server";
  const wchar_t* m_pszProvider = L"provider";
  const wchar_t* m_pszExtendedInfo = nullptr;
  // Bit 1 server cursors, bit 2 client cursors.
  long m_lCursorOptions = 0;
  CHostConnectionName m_clName;

 private:
  int m_nRef = 0;
};

class CHostDataSourceDescription final : public INADataSourceDescription {
 public:
  explicit CHostDataSourceDescription(const wchar_t* name) : m_pszName(name) {}

  int nGetVersion() const override { return 6; }
  int nGetCompatSince() const override { return 1; }
  INADataSourceDescription* ExternalAddRef() override {
    ++m_nRef;
    return this;
  }
  int nExternalRelease() override { return m_nRef > 0 ? --m_nRef : 0; }
  const wchar_t* pszGetLogicalName() const override { return m_pszName; }
  const wchar_t* pszGetPhysicalName() const override { return m_pszName; }
  const wchar_t* pszGetDefaultDirectory() const override { return L""; }
  int nGetDiskRecordSize() const override { return 0; }
  int nGetMemoryRecordSize() const override { return 0; }
  int nGetNumItems() const override { return 0; }
  int nGetNumKeys() const override { return 0; }
  int nGetNumMemos() const override { return 0; }
  int nGetNumItemPhysicallyInFic() const override { return 0; }
  INAItemDescription* piNAGetItem(const wchar_t*) override { return nullptr; }
  INAItemDescription* piNAGetItem(unsigned int) override { return nullptr; }
  INAItemDescription* piNAGetKey(unsigned int) override { return nullptr; }
  INAItemDescription* piNAGetMemo(unsigned int) override { return nullptr; }
  eNA_SUBDATATYPE eGetNASubDataType() const override { return static_cast<eNA_SUBDATATYPE>(1); }
  const wchar_t* pszGetDBTableName() const override { return m_pszName; }
  INAItemDescription* piGetBestParseItemDesc() override { return nullptr; }
  const wchar_t* pszGetExtendedInfo() const override { return L""; }
  const wchar_t* pszGetType() const override { return L""; }
  const wchar_t* pszGetOwner() const override { return L""; }
  const wchar_t* pszGetDefaultDatabase() const override { return L""; }
  const wchar_t* pszGetExtension() const override { return nullptr; }
  const wchar_t* pszGetCaption() const override { return nullptr; }
  BOOL bGetNullSupported() const override { return TRUE; }

  int nGetRefCount() const { return m_nRef; }

 private:
  const wchar_t* m_pszName;
  int m_nRef = 0;
};
