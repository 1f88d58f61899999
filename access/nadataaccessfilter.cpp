// The filters and key changes of CNADataAccess: one filter in force at a time over the
// statements of the access, the item a parsed condition is best carried by, and a change of the
// browse item that keeps the current record.
#include <string>

#include "access/nadataaccess.h"
#include "access/nadataaccessguards.h"
#include "access/narecord.h"
#include "common/str_buffer.h"
#include "driver/inadatasourcedescription.h"
#include "driver/naerror.h"
#include "sql/inaitemdescription.h"
#include "sql/isqlparserinformation.h"
#include "sql/nafilter.h"
#include "sql/nastatement.h"
#include "values/any.h"

using naguards::CHeldItemDesc;
using naguards::CHeldStatement;

namespace {

enum : int { kSourceFile = 3 };
enum : int { kSiteNoItem = 17 };
// The host's item buffer, NUL included.
constexpr int kItemBuffer = 255;
// A parameter naming an item: a wide text.
constexpr unsigned short kItemReference = 110;

// The text of a defined wide-text value; empty otherwise.
std::wstring ItemName(const CAny& value) {
  if (value.bIsNull() || value.wGetType() != kItemReference) return {};
  CAny copy(value);
  const wchar_t* text = nullptr;
  if (copy.__nCastToString(&text, nullptr) > 99 || text == nullptr) return {};
  std::wstring name = text;
  const size_t point = name.find(L'.');
  return point == std::wstring::npos ? name : name.substr(point + 1);
}

// Keeps an external reference on the first item given to it.
void KeepOnce(INAItemDescription** kept, INAItemDescription* item) {
  if (*kept != nullptr) return;
  item->ExternalAddRef();
  *kept = item;
}

}  // namespace

// ---------------------------------------------------------------- filters

void CNADataAccess::_DesactivateAllFilter() {
  unsigned int cursor = 0;
  void* value = nullptr;
  void* key = nullptr;
  while (m_tabStatement.bParseTable(&cursor, FALSE, &value, &key))
    if (value != nullptr) static_cast<CNAStatement*>(value)->DesactivateFilter();
}

BOOL CNADataAccess::bHFiltre(const wchar_t* item, const CAny* min, int minIncluded, const CAny* max, int maxIncluded,
                             ISQLParserInformation* condition) {
  CHeldStatement held(_pclGetNewItemStatement(item, NA_PARSE_FIRST, 0));
  CNAStatement* stmt = held.get();
  if (stmt == nullptr) return FALSE;
  const BOOL ok = stmt->bSetFilter(item, min, minIncluded, max, maxIncluded, condition);
  if (ok) {
    _DesactivateAllFilter();
    SetLatestFilter(stmt->pclActivateFilter());
  }
  return ok;
}

BOOL CNADataAccess::bHFiltre(ISQLParserInformation* condition, wchar_t* itemOut) {
  if (itemOut == nullptr || !bFindBestItem(condition, itemOut)) return FALSE;
  return bHFiltre(itemOut, nullptr, 0, nullptr, 0, condition);
}

BOOL CNADataAccess::bFindBestItem(ISQLParserInformation* condition, wchar_t* itemOut) {
  INADataSourceDescription* desc = m_piDescription;
  INAItemDescription* first = nullptr;
  INAItemDescription* duplicates = nullptr;
  INAItemDescription* unique = nullptr;
  CTabValParser* params = condition != nullptr && desc != nullptr ? condition->pclGetParameters() : nullptr;
  for (int i = 0; params != nullptr && unique == nullptr && i < params->nCount; ++i) {
    const STValParser* entry = params->ppEntries != nullptr ? params->ppEntries[i] : nullptr;
    const std::wstring name = entry != nullptr ? ItemName(entry->clValue) : std::wstring();
    if (name.empty()) continue;
    CHeldItemDesc found(desc->piNAGetItem(name.c_str()));
    INAItemDescription* it = found.get();
    if (it == nullptr) continue;
    // The first item named is the last choice; a key named after it decides.
    if (!it->bMemo() && first == nullptr)
      KeepOnce(&first, it);
    else if (it->bUnique())
      KeepOnce(&unique, it);
    else if (it->bDuplicates())
      KeepOnce(&duplicates, it);
  }
  INAItemDescription* chosen = unique != nullptr ? unique : duplicates != nullptr ? duplicates : first;
  CHeldItemDesc best(chosen == nullptr && desc != nullptr ? desc->piGetBestParseItemDesc() : nullptr);
  if (chosen == nullptr) chosen = best.get();
  const BOOL ok = chosen != nullptr ? TRUE : FALSE;
  if (ok && itemOut != nullptr) STR_nCopy(itemOut, kItemBuffer, chosen->pszGetName(), -1);
  for (INAItemDescription* it : {first, duplicates, unique})
    if (it != nullptr) it->nExternalRelease();
  if (!ok)
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteNoItem, m_pclConnection,
                               pszGetLogicalName(), nullptr, 17);
  return ok;
}

BOOL CNADataAccess::bHActiveFiltre(const wchar_t* item) {
  if (m_pclLatestFilter != nullptr) m_pclLatestFilter->ActivateFilter(1);
  CHeldStatement held(_pclFindStatement(item));
  CNAStatement* stmt = held.get();
  if (stmt != nullptr && stmt->bGetOpened() && stmt->eParseNeedUpdate() == NA_PARSE_UPTODATE)
    return stmt->bSetParseNeedUpdate(NA_PARSE_REPLACE);
  return TRUE;
}

BOOL CNADataAccess::bHDesactiveFiltre(const wchar_t* item) {
  CHeldStatement held(_pclFindStatement(item));
  if (held.get() != nullptr) held.get()->DesactivateFilter();
  return TRUE;
}

// ---------------------------------------------------------------- key changes

BOOL CNADataAccess::bHChangeCle(const wchar_t* item, NA_WRITEPARSEFLAGS flags) {
  // No statement yet (nothing browsed, and no best item to browse by): the record is kept as
  // from a browse with nothing to rebuild.
  CHeldStatement heldOld(_pclGetLastStatement());
  CNAStatement* old = heldOld.get();
  CHeldStatement heldNew(_pclGetNewItemStatement(item, NA_PARSE_CURRENT, flags));
  CNAStatement* stmt = heldNew.get();
  if (stmt == nullptr) return FALSE;
  if (m_nRecordSaveID != -1) {
    stmt->bSetParseNeedUpdate(NA_PARSE_RERUN, m_nRecordSaveID);
    return bSetCurrentRecordRead(1);
  }
  if (old == stmt) return TRUE;
  if (old == nullptr || old->eParseNeedUpdate() == NA_PARSE_UPTODATE)
    return stmt->bSetParseNeedUpdate(NA_PARSE_REPLACE, nKeepOriginalRecordSave(nullptr));
  const int save = old->nGetRecordSaveID();
  stmt->bSetParseNeedUpdate(NA_PARSE_REPLACE, save);
  return bRestoreOriginalRecordSave(save) && m_pclCurrentRecord != nullptr &&
                 m_pclCurrentRecord->bCopyOriginalRecordToCurrentRecord()
             ? TRUE
             : FALSE;
}
