#include "access/nadataaccess.h"

#include <new>

#include "access/nadatasourcedescription.h"
#include "access/narecord.h"
#include "access/narecordid.h"

#include "driver/inadatasourcedescription.h"
#include "driver/nacontext.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "sql/inaitemdescription.h"
#include "sql/nacommand.h"
#include "sql/naconvertvariant.h"
#include "sql/nastatement.h"
#include "sql/sqlparserinfo.h"

CNADataAccess::CNADataAccess(INADataSourceDescription* desc, CNAConnectionDescription* cnx, CNAError* error)
    : m_pclError(error), m_pclConnection(cnx) {
  CNAError::s_Hold(m_pclError);
  if (m_pclConnection != nullptr) m_pclConnection->AddRef();
  if (desc != nullptr) m_piDescription = desc->ExternalAddRef();
}

CNADataAccess::~CNADataAccess() {
  if (m_pclImportedDesc != nullptr) m_pclImportedDesc->nRelease();
  if (m_pclCurrentRecord != nullptr) m_pclCurrentRecord->nRelease();
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

// ==== What the statements read of their access ====

const wchar_t* CNADataAccess::pszGetFormatedTableName() {
  if (m_csFormatedTableName.nTaille() == 0 && m_pclConnection != nullptr) {
    CTString formatted;
    if (m_pclConnection->bFormatTableName(m_pclError, pszGetDBTableName(), &formatted)) m_csFormatedTableName = formatted;
  }
  return m_csFormatedTableName.pszGet();
}

CNACommand* CNADataAccess::pclAllocCommand(CNAError* error) const {
  CNADriver* driver = CNADriver::s_pclDriver;
  CNACommand* command = driver != nullptr ? driver->pclAllocCommand(error, m_pclConnection) : nullptr;
  if (command == nullptr) CNAError::g_RaiseNoMemory(error, m_pclConnection);
  return command;
}

BOOL CNADataAccess::bSourceIsQueryOnMultipleTables() const {
  return m_bSourceIsQuery && m_pclSourceQuery != nullptr && m_pclSourceQuery->nGetFichierFromNbr() > 1 ? TRUE : FALSE;
}

void CNADataAccess::_GetDBSourceName(INAItemDescription* item, CTString* name, int quote) const {
  if (item == nullptr || name == nullptr) return;
  const wchar_t* source = item->pszGetSourceName();
  if (source == nullptr || *source == 0) return;
  CTString table;
  INADataSourceDescription* desc =
      m_pclSourceQuery != nullptr ? m_pclSourceQuery->piGetNADataSourceDescription(source) : nullptr;
  if (desc != nullptr) {
    table = desc->pszGetDBTableName();
    desc->nExternalRelease();
  }
  if (table.nTaille() == 0) {
    const wchar_t* physical = m_pclSourceQuery != nullptr ? m_pclSourceQuery->pszGetPhysicalName(source) : nullptr;
    table = physical != nullptr && *physical != 0 ? physical : source;
  }
  if (quote && m_pclConnection != nullptr) {
    CTString formatted;
    if (m_pclConnection->bFormatTableName(m_pclError, table.pszGet(), &formatted)) table = formatted;
  }
  *name = table;
}

BOOL CNADataAccess::bInitImportedDataSourceDesc(CNAStatement*) { return FALSE; }

void CNADataAccess::ClosingStatement(CNAStatement*) {}

// The statement's SELECT under its own search and filter; no record limit yet.
BOOL CNADataAccess::bBuildSelect(CNACommand* command, CNAStatement* statement, const wchar_t* item, int forward,
                                 NA_WRITEPARSEFLAGS flags, long long*) {
  if (command == nullptr || statement == nullptr) return FALSE;
  CNACommand* condition = pclAllocCommand(m_pclError);
  if (condition == nullptr) return FALSE;
  condition->AddRef();
  const BOOL built = statement->bGetClauseWHERE(condition) &&
                     statement->bBuildQuerySELECT(command, flags, item, forward, condition);
  condition->nRelease();
  return built;
}

BOOL CNADataAccess::bSetNewAutoId() {
  return m_pclCurrentRecord == nullptr || m_pclCurrentRecord->pclGetColumnIDAutoNoRef() == nullptr ? TRUE : FALSE;
}

int CNADataAccess::nKeepOriginalRecordSave(CNAStatement*) { return -1; }
int CNADataAccess::nKeepCurrentRecordSave() { return -1; }
void CNADataAccess::AddRefRecordSave(int) {}
int CNADataAccess::nReleaseRecordSave(int) { return 0; }
