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

// call(item) on memo's item, whose reference is dropped after; FALSE without the item.
template <typename F>
BOOL OnMemoItem(CNADataAccess* access, unsigned int memo, F call) {
  INAItemDescription* item = MemoItem(access, memo);
  if (item == nullptr) return FALSE;
  const BOOL ok = call(item);
  item->nExternalRelease();
  return ok;
}

}  // namespace

BOOL CNADataAccess::bGetBLOB(unsigned int memoNumber, CAny* value) {
  return OnMemoItem(this, memoNumber, [&](INAItemDescription* item) -> BOOL {
    if (value == nullptr) return FALSE;
    if (m_pclLastStatement != nullptr) return m_pclLastStatement->bGetBLOB(item, value);
    if (m_pclCurrentRecord == nullptr) {
      value->SetNull(true);
      return TRUE;
    }
    CNAColumn* column = m_pclCurrentRecord->pclGetColumnNoRef(item);
    return column != nullptr && column->bGetCurrentValue(value, 0) ? TRUE : FALSE;
  });
}

BOOL CNADataAccess::bSetBLOB(unsigned int memoNumber, const CAny* value) {
  return OnMemoItem(this, memoNumber, [&](INAItemDescription* item) { return _bSetBLOB(item, value); });
}

BOOL CNADataAccess::_bSetBLOB(INAItemDescription* item, const CAny* value) {
  CNAColumn* column = m_pclCurrentRecord != nullptr ? m_pclCurrentRecord->pclGetColumnNoRef(item) : nullptr;
  return column != nullptr && column->bSetValueToDB(value, 0) ? TRUE : FALSE;
}

BOOL CNADataAccess::bHAttacheMemo(unsigned int memo, const wchar_t* path) {
  return OnMemoItem(this, memo, [&](INAItemDescription* item) { return _bHAttacheMemo(item, path); });
}

BOOL CNADataAccess::_bHAttacheMemo(INAItemDescription* item, const wchar_t* path) {
  CNAColumn* column = m_pclCurrentRecord != nullptr ? m_pclCurrentRecord->pclGetColumnNoRef(item) : nullptr;
  return column != nullptr && column->bHAttacheMemo(path) ? TRUE : FALSE;
}

BOOL CNADataAccess::bExtraitMemo(unsigned int memoNumber, const wchar_t* path) {
  return OnMemoItem(this, memoNumber, [&](INAItemDescription* item) -> BOOL {
    return m_pclLastStatement == nullptr || m_pclLastStatement->bExtraitMemo(item, path) ? TRUE : FALSE;
  });
}
