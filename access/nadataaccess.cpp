#include "access/nadataaccess.h"

#include <new>

#include "access/narecordid.h"

#include "driver/inadatasourcedescription.h"
#include "driver/nacontext.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "sql/naconvertvariant.h"

CNADataAccess::CNADataAccess(INADataSourceDescription* desc, CNAConnectionDescription* cnx, CNAError* error)
    : m_pclError(error), m_pclConnection(cnx) {
  CNAError::s_Hold(m_pclError);
  if (m_pclConnection != nullptr) m_pclConnection->AddRef();
  if (desc != nullptr) m_piDescription = desc->ExternalAddRef();
}

CNADataAccess::~CNADataAccess() {
  if (m_piDescription != nullptr) m_piDescription->nExternalRelease();
  CNADriver::g_nReleaseConnection(m_pclConnection);
  CNAError::s_Drop(&m_pclError);
}

BOOL CNADataAccess::bHFerme() {
  m_bOpened = 0;
  return TRUE;
}

BOOL CNADataAccess::bHMode(_eNA_HMODE mode) {
  m_eHMode = mode;
  return TRUE;
}

BOOL CNADataAccess::bHSauvePosition(int* id, const wchar_t*, eNAPOSITION) {
  if (id != nullptr) *id = -1;
  return FALSE;
}

BOOL CNADataAccess::bHRetourPosition(int, wchar_t* itemOut, int, eNAPOSITION) {
  if (itemOut != nullptr) *itemOut = 0;
  return FALSE;
}

BOOL CNADataAccess::bHLiberePosition(int) { return TRUE; }

const wchar_t* CNADataAccess::pszGetLogicalName() const {
  return m_piDescription != nullptr ? m_piDescription->pszGetLogicalName() : L"";
}

const wchar_t* CNADataAccess::pszGetDBTableName() const {
  return m_piDescription != nullptr ? m_piDescription->pszGetDBTableName() : L"";
}

void CNADataAccess::_SetAliasNameFromContext() {
  const wchar_t* next = m_pclContext != nullptr ? m_pclContext->pszGetNextLogicalName() : L"";
  m_csAliasName = *next != 0 ? next : pszGetLogicalName();
}

CNARecordId* CNADataAccess::pclAllocRecordID(const CNARecordValue* value) const {
  switch (eEvaluateRecordIdType()) {
    case NA_RECORDID_RECORDVALUES:
      return new (std::nothrow) CNARecordId_RecordValues(value);
    case NA_RECORDID_ROWID: {
      CNADriver* driver = CNADriver::s_pclDriver;
      CNAConvertVariant* rowId = driver != nullptr ? driver->pclAllocVariantRowID(m_pclError, m_pclConnection) : nullptr;
      if (rowId == nullptr) return nullptr;
      CNARecordId* id = new (std::nothrow) CNARecordId_RowId(rowId);
      if (id == nullptr) {
        rowId->AddRef();
        rowId->nRelease();
      }
      return id;
    }
    default:
      return nullptr;
  }
}
