// A host connection description whose every answer the test sets.
#pragma once

#include "driver/nahost.h"

class CTestHostConnection final : public INAConnectionDescription {
 public:
  int nGetVersion() const override { return nVersion; }
  void AddRef() override { ++nRef; }
  int nRelease() override { return --nRef; }
  const wchar_t* pszGetUserName() const override { return pszUser; }
  const wchar_t* pszGetPassword() const override { return pszPassword; }
  const wchar_t* pszGetDataBase() const override { return pszDataSource; }
  const wchar_t* pszGetDescription() const override { return L""; }
  eNA_ACCESS eGetAccess() const override { return static_cast<eNA_ACCESS>(0); }
  int nGetNbParam() const override { return 0; }
  CNAConnectionParam* pclGetParam(int) const override { return nullptr; }
  const wchar_t* pszGetProvider() const override { return pszProvider; }
  int nGetConnectionTimeout() const override { return 15; }
  int nGetCommandTimeout() const override { return 25; }
  const wchar_t* pszGetExtendedInfo() const override { return pszExtendedInfo; }
  const CNAConnectionName* pclGetConnectionName() const override { return nullptr; }
  long lGetCursorOptions() const override { return lCursorOptions; }
  const wchar_t* pszGetDefaultDataBase() const override { return L""; }
  long long llGetCacheSize() const override { return 500; }
  const wchar_t* pszGetLogicalConnectionName() const override { return L""; }

  int nVersion = 4;
  int nRef = 0;
  long lCursorOptions = 0;
  const wchar_t* pszUser = nullptr;
  const wchar_t* pszPassword = nullptr;
  const wchar_t* pszDataSource = nullptr;
  const wchar_t* pszProvider = nullptr;
  const wchar_t* pszExtendedInfo = nullptr;
};
