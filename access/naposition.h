// CNAPosition: a position the host saved in a file, to come back to later. It names the
// statement that was browsing, the row's place in that statement's result or row cache, a copy of
// the row (a record save of the data access) to find it again by search once the place is no
// longer valid, the user search and a snapshot of the filter in force, and the row's rank among
// the rows of equal key.
//
// Ownership: one reference on its statement, one reference in the data access's record-save
// cache on each save id it holds (-1 none), its filter snapshot and its user-search copy. It
// borrows its data access, which outlives it: the access frees every position before its
// record-save cache goes. The data access's position table and the statement's saved-position
// table each hold one reference on it.
//
// Callers hold the driver mutex.
#pragma once

#include "common/ctstring.h"
#include "common/interf.h"
#include "platform/wintypes.h"
#include "sql/nacolumnlist.h"
#include "sql/nafilter.h"

class CNADataAccess;
class CNAStatement;

class CNAPosition : public CInterf {
 public:
  CNAPosition() = default;
  // Releases the statement record save, then the data-access record save, then the statement.
  ~CNAPosition() override;
  CNAPosition(const CNAPosition&) = delete;
  CNAPosition& operator=(const CNAPosition&) = delete;

  // Holds a reference on stmt (the former one released) and takes its data access as owner.
  void SetStatement(CNAStatement* stmt);
  // With a reference for the caller; null when none.
  CNAStatement* pclGetStatement() const;
  CNAStatement* pclGetStatementNoRef() const { return m_pclStatement; }
  // Snapshot of filter as it is now (null: no filter). TRUE.
  BOOL bKeepFilter(CNAFilter* filter);
  const CNAFilterSave* pclGetFilterSave() const { return &m_clFilter; }
  void SetItem(const wchar_t* item) { m_csItem = item != nullptr ? item : L""; }
  const wchar_t* pszGetItem() const { return m_csItem.pszGet(); }
  // The row's place no longer names it (the result or cache it indexed is gone).
  void InvalidateRowID() { m_nRowIndex = -1; }
  // Set flag on; row index, statement record save (a reference taken unless -1; a former one
  // released), the user search copied, the rank among equal rows. TRUE.
  BOOL bSetParameters(int rowIndex, int statementSave, const CNAUserSearch* search, int duplicateRank);
  // The access becomes the owner; a reference on id (unless -1) is held as the data-access save.
  void SetRecordSaveID_VerrueHAjouteHLit(CNADataAccess* access, int id);
  void ClearSet() { m_bSet = 0; }
  void SetDeleted() { m_bDeleted = 1; }

  int nGetRowIndex() const { return m_nRowIndex; }
  int nGetStatementSave() const { return m_nStatementSave; }
  int nGetAccessSave() const { return m_nAccessSave; }
  // The access's save when there is one, else the statement's (-1 none).
  int nGetSave() const { return m_nAccessSave != -1 ? m_nAccessSave : m_nStatementSave; }
  int bIsSet() const { return m_bSet; }
  int bIsDeleted() const { return m_bDeleted; }
  int nGetDuplicateRank() const { return m_nDuplicateRank; }
  const CNAUserSearch* pclGetUserSearch() const { return &m_clUserSearch; }
  CNADataAccess* pclGetOwnerNoRef() const { return m_pclOwner; }

 private:
  void _Release(int* id);

  int m_nRowIndex = -1;
  int m_nStatementSave = -1;
  int m_nAccessSave = -1;
  CNADataAccess* m_pclOwner = nullptr;
  CNAUserSearch m_clUserSearch;
  CNAFilterSave m_clFilter;
  CTString m_csItem;
  int m_bSet = 0;
  int m_bDeleted = 0;
  CNAStatement* m_pclStatement = nullptr;
  int m_nDuplicateRank = 0;
};
