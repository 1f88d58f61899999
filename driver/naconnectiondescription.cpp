#include "driver/naconnectiondescription.h"

unsigned int CNAConnectionDescription::m_gnCnxGenerator = 0;

CNAConnectionDescription::CNAConnectionDescription(const wchar_t* identification, INAConnectionDescription* host)
    : m_nConnectionID(++m_gnCnxGenerator), m_piHost(host), m_csIdentification(identification) {
  if (m_piHost != nullptr) m_piHost->AddRef();
}

CNAConnectionDescription::~CNAConnectionDescription() {
  if (m_piHost != nullptr) m_piHost->nRelease();
}

void CNAConnectionDescription::AddInfoNativeXError(CXError*) {}

const wchar_t* CNAConnectionDescription::pszGetConnectionName() const {
  const CNAConnectionName* name = m_piHost != nullptr ? m_piHost->pclGetConnectionName() : nullptr;
  return name != nullptr ? name->pszGetName() : L"";
}

BOOL CNAConnectionDescription::bAutoCloseEnabled() const {
  return m_bAutoClose != 0 && m_bCloseRequested != 0 && !_bTransactionOpened();
}

// No connection holds a transaction object before transactions are built.
BOOL CNAConnectionDescription::_bTransactionOpened() const { return FALSE; }
