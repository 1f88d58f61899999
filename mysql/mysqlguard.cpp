#include "mysql/mysqlguard.h"

#include <cstring>

#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"

int CNADriver::s_bGPFCatched = 0;

void MySQLGuardReport(CNAError* error, CNAConnectionDescription* cnx, int file, int site, const CTString* missing) {
  if (missing != nullptr) {
    CNAError::g_RaiseUserError(error, NA_ERRORTYPE_DEFAULT, file, site, cnx, nullptr, nullptr, 37, missing->pszGet());
    return;
  }
  CNADriverLock lock;
  CNADriver* driver = CNADriver::s_pclDriver;
  CNAError* target = error != nullptr ? error : driver != nullptr ? driver->pclGetErrorNoRef() : nullptr;
  if (target != nullptr) {
    CNAError::g_RaiseUserError(target, NA_ERRORTYPE_DEFAULT, file, site, cnx, nullptr, nullptr, 23, L"MySQL");
    if (driver != nullptr) driver->OnFatalErrorAddDebugMessage(target, cnx);
  }
  CNADriver::s_bGPFCatched = 1;
}

CNACodePageCnvIN::CNACodePageCnvIN(const wchar_t* source, int codePage)
    : CNACodePageCnv(codePage),
      m_pszSource(source),
      m_nSourceLength(source != nullptr ? static_cast<int>(wcslen(source)) : 0) {
  if (m_nSourceLength == 0 || codePage == -2) return;
  if ((codePage == 1252 || codePage == 65001) && m_nSourceLength < static_cast<int>(sizeof m_szInline)) {
    int i = 0;
    for (; i < m_nSourceLength && source[i] > 0 && source[i] < 0x80; ++i) m_szInline[i] = static_cast<char>(source[i]);
    m_szInline[i] = 0;
    m_bInline = i == m_nSourceLength;
    if (m_bInline) return;
  }
  m_clText.__nConversion(source, m_nSourceLength, 0, codePage, 0, nullptr);
}

const char* CNACodePageCnvIN::psz() const {
  if (m_pszSource == nullptr) return nullptr;
  if (m_nCodePage == -2) return reinterpret_cast<const char*>(m_pszSource);
  return m_bInline ? m_szInline : m_clText.pszGet();
}

unsigned long CNACodePageCnvIN::nLength() const {
  if (m_pszSource == nullptr) return 0;
  if (m_nCodePage == -2) return static_cast<unsigned long>(m_nSourceLength) * sizeof(wchar_t);
  return m_bInline ? static_cast<unsigned long>(m_nSourceLength) : static_cast<unsigned long>(m_clText.nGetLength());
}

CNACodePageCnvOUT::CNACodePageCnvOUT(const char* source, int codePage)
    : CNACodePageCnv(codePage),
      m_pszSource(source),
      m_nSourceLength(source != nullptr ? static_cast<int>(strlen(source)) : 0) {
  if (m_pszSource == nullptr) return;
  if (codePage == -2)
    m_clText.nAffecte(reinterpret_cast<const wchar_t*>(source), m_nSourceLength / static_cast<int>(sizeof(wchar_t)));
  else if (m_nSourceLength > 0)
    m_clText.__nConversion(source, m_nSourceLength, 0, codePage, 0, nullptr);
}

const wchar_t* CNACodePageCnvOUT::psz() const { return m_pszSource != nullptr ? m_clText.pszGet() : nullptr; }
