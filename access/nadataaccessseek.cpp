// The seeks of CNADataAccess: a value sought on an item read from the first or the last of the
// rows that hold it, a browse that goes on past those rows once they run out, and the host's
// questions about a seek (found, cancelled).
#include "access/nadataaccess.h"
#include "access/nadataaccessguards.h"
#include "driver/naconnectiondescription.h"
#include "driver/naerror.h"
#include "sql/narecherche.h"
#include "sql/nastatement.h"

using naguards::CHeldStatement;

namespace {

enum : int { kSourceFile = 3 };

}  // namespace

// The search's item noted on the access for the scope of one seek (a note already there, of an
// outer seek, is left as it is).
class CNADataAccess::CSeekItemNote {
 public:
  CSeekItemNote(CNADataAccess* access, const wchar_t* name, INADataSourceDescription* desc, INAItemDescription* item)
      : m_pAccess(access) {
    STSeekItem& note = access->m_clSeekItem;
    if (note.item != nullptr || name == nullptr || desc == nullptr || item == nullptr) return;
    item->ExternalAddRef();
    note = {name, desc, item};
    m_bSet = true;
  }
  ~CSeekItemNote() {
    if (!m_bSet) return;
    STSeekItem& note = m_pAccess->m_clSeekItem;
    note.item->nExternalRelease();
    note = {};
  }
  CSeekItemNote(const CSeekItemNote&) = delete;
  CSeekItemNote& operator=(const CSeekItemNote&) = delete;

 private:
  CNADataAccess* m_pAccess;
  bool m_bSet = false;
};

namespace {

enum : int { kSiteNoBrowse = 5 };
enum : unsigned int { kReuse = 0x2000, kInternalPositioning = 0x40000 };

}  // namespace

BOOL CNADataAccess::bHRecherche(const wchar_t* item, const CAny* value, int generic, int setRead, eNA_LOCKTYPE lock,
                                eNA_LOCKTYPE* lockOut, int fromFirst, NA_WRITEPARSEFLAGS flags) {
  return bHRecherche(item, item, value, generic, setRead, lock, lockOut, fromFirst, flags);
}

BOOL CNADataAccess::bHRecherche(const wchar_t* item, const wchar_t* soughtItem, const CAny* value, int generic,
                                int setRead, eNA_LOCKTYPE lock, eNA_LOCKTYPE* lockOut, int fromFirst,
                                NA_WRITEPARSEFLAGS flags) {
  if (bRequeteSansCorrection() && m_pclConnection != nullptr && !m_pclConnection->bSupportSubQuery()) {
    // A query that cannot be rewritten is sought in its table cache, filled by a first read.
    eNA_LOCKTYPE local{};
    if (!bHLitxxx(soughtItem, NA_PARSE_FIRST, 1, lock, &local, flags)) return FALSE;
    flags |= kReuse;
  }
  const eNA_PARSEDIRECTION dir = fromFirst != 0 ? NA_PARSE_FIRST : NA_PARSE_LAST;
  if (m_pclTableCache == nullptr) flags &= ~static_cast<NA_WRITEPARSEFLAGS>(kReuse);
  CHeldStatement held(_pclGetNewItemStatement(item, dir, flags));
  CNAStatement* stmt = held.get();
  if (stmt == nullptr) return FALSE;
  stmt->SetBrowseItem(item);
  if (m_pclTableCache != nullptr && (flags & kReuse) != 0) {
    // Sought in the table cache, through an index on the item; a value the connection could not
    // carry is refused there as the server's roads refuse it.
    if (value != nullptr && m_pclConnection != nullptr && m_pclConnection->bRefuseWideTextLost(m_pclError, *value)) {
      m_pclError->SetInfoNames(pszGetLogicalName(), item);
      return FALSE;
    }
    if (!_bOpenOnTableCache(stmt)) return FALSE;
  } else {
    // The statement's own result serves the seek.
    if (m_pclTableCache != nullptr) _FreeTableCache();
  }
  stmt->SetParseFlags(flags);
  // The item browsed is the one sought, by the statement's own copy of its name: a seek on it
  // again knows that text unchanged without reading it.
  const wchar_t* sought = item != nullptr && item == soughtItem ? stmt->pszGetBrowseItem() : soughtItem;
  if (!stmt->bSetUserSearch(sought, value, dir, generic == 0 ? 1 : 0)) return FALSE;
  CSeekItemNote note(this, item == soughtItem ? item : nullptr, stmt->piGetDataSourceNoRef(),
                     stmt->pclGetUserSearch()->piGetItemNoRef());
  return _bFetch(stmt, item, dir, 1, setRead, lock, lockOut, flags, 0);
}

BOOL CNADataAccess::_bContinueSearch(CNAStatement* stmt, const wchar_t* item, eNA_PARSEDIRECTION dir, long long count,
                                     int setRead, eNA_LOCKTYPE* lockOut, NA_WRITEPARSEFLAGS flags) {
  if ((flags & kInternalPositioning) != 0 || (stmt->dwGetParseFlags() & kInternalPositioning) != 0) return TRUE;
  CNARecherche* search = stmt->pclGetRechercheNoRef();
  if (search == nullptr || search->nGetState() == 0) return TRUE;
  if (!stmt->bOutOfSearchRows()) {
    // Further blocks read the whole browse past the rows sought, and it ran out: the seek no
    // longer says where the browse stands.
    stmt->DropSearch();
    return TRUE;
  }
  const eNA_PARSEDIRECTION way = dir == NA_PARSE_NEXT ? NA_PARSE_FIRST : dir == NA_PARSE_PREVIOUS ? NA_PARSE_LAST : dir;
  if (way == NA_PARSE_CURRENT || !search->bPeutContinuerParcours(way)) return TRUE;
  search->AddRef();
  stmt->bSetContinueParcours(way);
  // The rows beyond those sought, read from their first (or last) one. Out of them, the search
  // stays on them: coming back reads them from that end, and the rows sought after them.
  const BOOL ok = _bFetch(stmt, item, way, count, setRead, static_cast<eNA_LOCKTYPE>(1), lockOut, flags, 1);
  search->nRelease();
  return ok;
}

BOOL CNADataAccess::bHAnnuleRecherche(const wchar_t* item) {
  CNAStatement* stmt = item != nullptr ? _pclFindStatement(item) : nullptr;
  if (item == nullptr && m_pclLastStatement != nullptr) {
    stmt = m_pclLastStatement;
    stmt->AddRef();
  }
  CHeldStatement held(stmt);
  if (stmt != nullptr) {
    stmt->AnnuleRechercheUser();
    stmt->AnnuleRecherche();
  }
  return TRUE;
}

BOOL CNADataAccess::bEvalHTrouve(const wchar_t* item, int* found, int* second) {
  CHeldStatement held(_pclFindStatement(item));
  if (held.get() == nullptr) {
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteNoBrowse, m_pclConnection,
                               pszGetLogicalName(), item, 5, item);
    return FALSE;
  }
  held.get()->EvalHTrouve(found, second);
  return TRUE;
}
