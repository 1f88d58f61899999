// The memos of CNADataAccess: a memo number of the host description turned into its item, whose
// value comes from the last browse statement (read from the server when needed) or from the
// current record's column.
#include "access/nadataaccess.h"
#include "access/narecord.h"
#include "driver/inadatasourcedescription.h"
#include "driver/naerror.h"
#include "sql/inaitemdescription.h"
#include "sql/nacolumn.h"

namespace {

constexpr unsigned int kErrNoSuchMemo = 26;
enum : int { kSiteNoSuchMemo = 20 };

// The item of memo, with one external reference for the caller; null with user error 26 (table,
// the number) when the description has no such memo.
INAItemDescription* MemoItem(CNADataAccess* access, unsigned int memo) {
  INADataSourceDescription* desc = access->piGetDataSourceDescriptionNoRef();
  INAItemDescription* item = desc != nullptr ? desc->piNAGetMemo(memo) : nullptr;
  if (item == nullptr) {
    CTString number;
    number.printf(L"%u", memo);
    CNAError::g_RaiseUserError(access->pclGetErrorNoRef(), NA_ERRORTYPE_DEFAULT, NA_SRC_DATAACCESS, kSiteNoSuchMemo,
                               access->pclGetConnectionNoRef(), access->pszGetLogicalName(), nullptr, kErrNoSuchMemo,
                               access->pszGetLogicalName(), number.pszGet());
  }
  return item;
}

}  // namespace

BOOL CNADataAccess::bGetBLOB(unsigned int memoNumber, CAny* value) {
  INAItemDescription* item = MemoItem(this, memoNumber);
  if (item == nullptr || value == nullptr) {
    if (item != nullptr) item->nExternalRelease();
    return FALSE;
  }
  BOOL ok = FALSE;
  if (m_pclLastStatement != nullptr) {
    ok = m_pclLastStatement->bGetBLOB(item, value);
  } else if (m_pclCurrentRecord == nullptr) {
    value->SetNull(true);
    ok = TRUE;
  } else {
    CNAColumn* column = m_pclCurrentRecord->pclGetColumnNoRef(item);
    ok = column != nullptr && column->bGetCurrentValue(value, 0) ? TRUE : FALSE;
  }
  item->nExternalRelease();
  return ok;
}

BOOL CNADataAccess::bSetBLOB(unsigned int memoNumber, const CAny* value) {
  INAItemDescription* item = MemoItem(this, memoNumber);
  if (item == nullptr) return FALSE;
  const BOOL ok = _bSetBLOB(item, value);
  item->nExternalRelease();
  return ok;
}

BOOL CNADataAccess::_bSetBLOB(INAItemDescription* item, const CAny* value) {
  CNAColumn* column = m_pclCurrentRecord != nullptr ? m_pclCurrentRecord->pclGetColumnNoRef(item) : nullptr;
  return column != nullptr && column->bSetValueToDB(value, 0) ? TRUE : FALSE;
}

BOOL CNADataAccess::bHAttacheMemo(unsigned int memo, const wchar_t* path) {
  INAItemDescription* item = MemoItem(this, memo);
  if (item == nullptr) return FALSE;
  const BOOL ok = _bHAttacheMemo(item, path);
  item->nExternalRelease();
  return ok;
}

BOOL CNADataAccess::_bHAttacheMemo(INAItemDescription* item, const wchar_t* path) {
  CNAColumn* column = m_pclCurrentRecord != nullptr ? m_pclCurrentRecord->pclGetColumnNoRef(item) : nullptr;
  return column != nullptr && column->bHAttacheMemo(path) ? TRUE : FALSE;
}

BOOL CNADataAccess::bExtraitMemo(unsigned int memoNumber, const wchar_t* path) {
  INAItemDescription* item = MemoItem(this, memoNumber);
  if (item == nullptr) return FALSE;
  const BOOL ok = m_pclLastStatement == nullptr || m_pclLastStatement->bExtraitMemo(item, path) ? TRUE : FALSE;
  item->nExternalRelease();
  return ok;
}
