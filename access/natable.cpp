#include "access/natable.h"

#include "driver/inadatasourcedescription.h"
#include "driver/nacontext.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"

CNATable::CNATable(const wchar_t* identification, INADataSourceDescription* desc, CNAConnectionDescription* cnx,
                   CNAError* error)
    : m_pclError(error), m_pclConnection(cnx), m_csIdentification(identification) {
  if (m_pclConnection != nullptr) m_pclConnection->AddRef();
  if (desc != nullptr) m_piDescription = desc->ExternalAddRef();
  CNAError::s_Hold(m_pclError);
}

CNATable::~CNATable() {
  if (m_piDescription != nullptr) m_piDescription->nExternalRelease();
  CNADriver::g_nReleaseConnection(m_pclConnection);
  CNAError::s_Drop(&m_pclError);
}

INATable* CNATable::ExternalAddRef() {
  CNADriverLock lock;
  ++m_nExternalRef;
  return this;
}

int CNATable::nExternalRelease() {
  CNADriverLock lock;
  if (m_nExternalRef == 0) return 0;
  if (--m_nExternalRef != 0) return static_cast<int>(m_nExternalRef);
  if (m_nRef == 1) {
    // Only the registry holds it: the driver's release sees one left and unregisters it.
    m_nRef = 2;
    CNADriver* driver = CNADriver::s_pclDriver;
    if (driver != nullptr) return driver->nReleaseTable(this);
    m_nRef = 1;
  } else if (m_nRef == 0) {
    // Nobody inside the driver holds it any more (a query result never registered).
    delete this;
  }
  return 0;
}

int CNATable::nRelease() {
  if (m_nRef == 0) return 0;
  const uint32_t left = --m_nRef;
  if (left == 0 && m_nExternalRef == 0) delete this;
  return static_cast<int>(left);
}

BOOL CNATable::bHMode(INAContext* ctx, _eNA_HMODE mode) {
  CNADriverLock lock;
  CNADriver* driver = CNADriver::s_pclDriver;
  int created = 0;
  CNAContext* context = driver != nullptr ? driver->pclGetContext(ctx, &created) : nullptr;
  if (context == nullptr) return TRUE;
  const BOOL ok = context->bHMode(pszGetLogicalName(), mode);
  driver->nReleaseContext(ctx, context);
  return ok;
}

BOOL CNATable::bHFerme(INAContext*) { return TRUE; }

BOOL CNATable::bSupprimeFichier(INAContext*) { return FALSE; }

BOOL CNATable::bExecuteQuery(int* result, INAContext*, const wchar_t*, ISQLParserInformation*, unsigned int,
                             const INAQueryExecution*) {
  if (result != nullptr) *result = 0;
  return FALSE;
}

void CNATable::CancelRecordLock(INAConnectionDescription*, CNATransaction*) {}

void CNATable::SetTransactionTermined() {}

const wchar_t* CNATable::pszGetLogicalName() const {
  return m_piDescription != nullptr ? m_piDescription->pszGetLogicalName() : L"";
}

const wchar_t* CNATable::pszGetDBTableName() const {
  return m_piDescription != nullptr ? m_piDescription->pszGetDBTableName() : L"";
}

INAError* CNATable::piGetLastError() const { return m_pclError; }
