// CNAPosition: the saved position's fields and the references they hold.
#include "access/naposition.h"

#include "access/nadataaccess.h"
#include "sql/nastatement.h"

CNAPosition::~CNAPosition() {
  _Release(&m_nStatementSave);
  _Release(&m_nAccessSave);
  if (m_pclStatement != nullptr) m_pclStatement->nRelease();
}

void CNAPosition::_Release(int* id) {
  if (*id >= 0 && m_pclOwner != nullptr) m_pclOwner->nReleaseRecordSave(*id);
  *id = -1;
}

void CNAPosition::SetStatement(CNAStatement* stmt) {
  if (stmt != nullptr) {
    stmt->AddRef();
    if (m_pclOwner == nullptr) m_pclOwner = stmt->pclGetDataAccessNoRef();
  }
  if (m_pclStatement != nullptr) m_pclStatement->nRelease();
  m_pclStatement = stmt;
}

CNAStatement* CNAPosition::pclGetStatement() const {
  if (m_pclStatement != nullptr) m_pclStatement->AddRef();
  return m_pclStatement;
}

BOOL CNAPosition::bKeepFilter(CNAFilter* filter) {
  m_clFilter.SetFilter(filter);
  return TRUE;
}

BOOL CNAPosition::bSetParameters(int rowIndex, int statementSave, const CNAUserSearch* search, int duplicateRank) {
  m_bSet = 1;
  m_nRowIndex = rowIndex;
  if (statementSave >= 0 && m_pclOwner != nullptr) m_pclOwner->AddRefRecordSave(statementSave);
  _Release(&m_nStatementSave);
  m_nStatementSave = statementSave;
  m_clUserSearch.Copy(search);
  m_nDuplicateRank = duplicateRank;
  return TRUE;
}

void CNAPosition::SetRecordSaveID_VerrueHAjouteHLit(CNADataAccess* access, int id) {
  if (m_pclOwner == nullptr) m_pclOwner = access;
  if (id >= 0 && m_pclOwner != nullptr) m_pclOwner->AddRefRecordSave(id);
  _Release(&m_nAccessSave);
  m_nAccessSave = id;
}
