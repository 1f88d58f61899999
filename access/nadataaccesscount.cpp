// The counts of CNADataAccess: all records of a browse, and the records after, before or equal
// to the current one, asked of the server through the record-number statement.
#include "access/nadataaccess.h"
#include "access/nadataaccessguards.h"
#include "access/narecord.h"
#include "access/natablecache.h"
#include "driver/inadatasourcedescription.h"
#include "sql/inaitemdescription.h"
#include "sql/nafilter.h"
#include "sql/narecherche.h"
#include "sql/nastatement.h"

using naguards::CHeldItemDesc;
using naguards::CHeldStatement;
using naguards::CInternalSearch;
using naguards::CLentValue;

namespace {

// The count of every row from a table cache holding the whole result (a query sent as written
// takes it whole first), for a browse under the filter the cache was filled with.
bool CountFromWholeTableCache(CNADataAccess* access, CNAStatement* browse, NA_WRITEPARSEFLAGS flags,
                              long long* count) {
  CNATableCache* cache = access->pclGetTableCacheNoRef();
  if (cache == nullptr || browse == nullptr) return false;
  if (access->bRequeteSansCorrection() && cache->pclGetFullCache() == nullptr) return false;
  if (cache->bInitDone() || !cache->bCacheCompleted()) return false;
  if (!browse->bFilterUnchanged() || (browse->bExistFilter() && (flags & 0x4000) == 0)) return false;
  *count = cache->llGetRecordNbrActive();
  return true;
}

}  // namespace

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
  if (all && CountFromWholeTableCache(this, browse, flags, count)) return TRUE;
  if (all && browse != nullptr && m_pclTableCache == nullptr &&
      browse->bGetNbEnrCurrentParse(count, flags, (flags & 0x4000) != 0 ? 0 : 1))
    return TRUE;
  // Asked under the browse's filter: the filter's rows are counted, before the current one too.
  CNAFilter* filter = browse != nullptr && (flags & 0x4000) != 0 && browse->bExistFilter() ? browse->pclGetFilterNoRef()
                                                                                         : nullptr;
  const wchar_t* item = all ? nullptr : browse != nullptr ? browse->pszGetBrowseItem() : pszGetBestParseItemName();
  return _bCountFromRecord(count, options, item, dir, browse != nullptr ? browse->pclGetStmtOriginalRecord() : nullptr,
                           filter);
}

BOOL CNADataAccess::_bCountFromRecord(long long* count, unsigned int options, const wchar_t* item,
                                      eNA_PARSEDIRECTION dir, const CNARecordValue* lent, CNAFilter* filter) {
  CHeldStatement counter(_pclGetWriteStatement());
  if (counter.get() == nullptr) return FALSE;
  counter.get()->DesactivateRechercheUserAndInternal();
  // The counter's own copy: the browse's filter stays as it is.
  CNAFilter* clone = filter != nullptr ? filter->pclCloneFilter() : nullptr;
  if (filter != nullptr && clone == nullptr) {
    _NoMemory();
    return FALSE;
  }
  counter.get()->_SetFilter(clone);
  if (clone != nullptr) clone->nRelease();
  const BOOL ok = _bCountOn(counter.get(), count, options, item, dir, lent, filter != nullptr);
  counter.get()->_SetFilter(nullptr);
  return ok;
}

BOOL CNADataAccess::_bCountOn(CNAStatement* counter, long long* count, unsigned int options, const wchar_t* item,
                              eNA_PARSEDIRECTION dir, const CNARecordValue* lent, bool filtered) {
  if (item == nullptr || m_pclCurrentRecord == nullptr) return counter->bGetNbEnr(count, options, filtered ? 0 : 1);
  CHeldItemDesc desc(m_piDescription != nullptr ? m_piDescription->piNAGetItem(item) : nullptr);
  // The current buffer holds the lent row for the time of the count.
  CLentValue lending(m_pclCurrentRecord, lent, false);
  if ((lent != nullptr && !lending.bOk()) || desc.get() == nullptr) return FALSE;
  CInternalSearch search(counter);
  if (search.get() == nullptr || !search.get()->bRechercheEnreg(m_pclCurrentRecord, desc.get(), dir, 0, nullptr))
    return FALSE;
  if (dir == NA_PARSE_NEXT) search.get()->bSetContinueParcours(NA_PARSE_FIRST);
  if (dir == NA_PARSE_PREVIOUS) search.get()->bSetContinueParcours(NA_PARSE_LAST);
  return counter->bGetNbEnr(count, options, 0);
}

BOOL CNADataAccess::bGetRecNumState(long long recnum, unsigned int* state) {
  if (!_bIsValidRecordNumber(recnum) || state == nullptr || m_pclCurrentRecord == nullptr) return FALSE;
  CNARecordValue* current = m_pclCurrentRecord->pclGetCurrentValueNoRef();
  *state = current != nullptr ? static_cast<unsigned int>(current->eGetState()) : 0;
  return TRUE;
}
