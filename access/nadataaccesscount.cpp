// The counts of CNADataAccess: all records of a browse, and the records after, before or equal
// to the current one, asked of the server through the record-number statement.
#include "access/nadataaccess.h"
#include "access/narecord.h"
#include "access/natablecache.h"
#include "driver/inadatasourcedescription.h"
#include "sql/inaitemdescription.h"
#include "sql/narecherche.h"
#include "sql/nastatement.h"

BOOL CNADataAccess::bHNbEnr(long long* count, unsigned int options, NA_WRITEPARSEFLAGS flags) {
  return bGetNbEnr(count, options, flags, m_pclLastStatement, static_cast<eNA_PARSEDIRECTION>(-1));
}

BOOL CNADataAccess::bGetNbEnr(long long* count, unsigned int options, NA_WRITEPARSEFLAGS flags, CNAStatement* browse,
                              eNA_PARSEDIRECTION dir) {
  if (count == nullptr) return FALSE;
  if ((options & 16) == 0) {
    *count = 0;
    return TRUE;
  }
  const bool all = static_cast<int>(dir) == -1;
  if (all && browse != nullptr && m_pclTableCache == nullptr &&
      browse->bGetNbEnrCurrentParse(count, flags, (flags & 0x4000) != 0 ? 0 : 1))
    return TRUE;
  const wchar_t* item = all ? nullptr : browse != nullptr ? browse->pszGetBrowseItem() : pszGetBestParseItemName();
  return _bCountFromRecord(count, options, item, dir, browse != nullptr ? browse->pclGetStmtOriginalRecord() : nullptr);
}

BOOL CNADataAccess::_bCountFromRecord(long long* count, unsigned int options, const wchar_t* item,
                                      eNA_PARSEDIRECTION dir, const CNARecordValue* lent) {
  CNAStatement* counter = _pclGetWriteStatement();
  if (counter == nullptr) return FALSE;
  counter->DesactivateRechercheUserAndInternal();
  counter->_SetFilter(nullptr);
  int whole = 1;
  BOOL ok = TRUE;
  CNARecherche* search = nullptr;
  if (item != nullptr && m_pclCurrentRecord != nullptr) {
    INAItemDescription* desc = m_piDescription != nullptr ? m_piDescription->piNAGetItem(item) : nullptr;
    // The current buffer holds the lent row for the time of the count.
    CNARecordValue* current = m_pclCurrentRecord->pclGetCurrentValueNoRef();
    CNARecordValue* kept = nullptr;
    if (lent != nullptr && current != nullptr) {
      kept = current->pclGetClone(NA_COPY_ALL);
      ok = kept != nullptr;
      if (ok) {
        kept->AddRef();
        ok = current->bCopyRecordValue(lent, NA_COPY_ALL);
      }
    }
    search = ok && desc != nullptr ? counter->pclGetRecherche() : nullptr;
    ok = ok && search != nullptr;
    if (ok) {
      counter->PrepareInternalSearch();
      ok = search->bRechercheEnreg(m_pclCurrentRecord, desc, dir, 0, nullptr);
      if (ok && dir == NA_PARSE_NEXT) search->bSetContinueParcours(NA_PARSE_FIRST);
      if (ok && dir == NA_PARSE_PREVIOUS) search->bSetContinueParcours(NA_PARSE_LAST);
      whole = 0;
    }
    if (ok) ok = counter->bGetNbEnr(count, options, whole);
    if (kept != nullptr) {
      current->bCopyRecordValue(kept, NA_COPY_ALL);
      kept->nRelease();
    }
    if (desc != nullptr) desc->nExternalRelease();
  } else {
    ok = counter->bGetNbEnr(count, options, whole);
  }
  if (search != nullptr) {
    counter->AnnuleRecherche();
    search->nRelease();
  }
  counter->nRelease();
  return ok;
}

BOOL CNADataAccess::bGetRecNumState(long long recnum, unsigned int* state) {
  if (!_bIsValidRecordNumber(recnum) || state == nullptr || m_pclCurrentRecord == nullptr) return FALSE;
  CNARecordValue* current = m_pclCurrentRecord->pclGetCurrentValueNoRef();
  *state = current != nullptr ? static_cast<unsigned int>(current->eGetState()) : 0;
  return TRUE;
}
