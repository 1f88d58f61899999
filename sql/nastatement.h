// CNAStatement: one statement (cursor) of a data access, over the result of one SELECT ordered
// by its parse item. So far it carries what the row and table caches ask of it: its parse item,
// its user search and its row cache; building, running, fetching and positions come with the
// browse.
//
// Ownership: a count on its error object and one reference on its row cache (the table cache
// takes another once the cache holds the whole result); it borrows its data access, which owns
// it. Everything here runs under the driver mutex.
#pragma once

#include "common/ctstring.h"
#include "common/interf.h"
#include "platform/wintypes.h"
#include "sql/nacolumnlist.h"

class CNADataAccess;
class CNAError;
class CNAFilter;
class CNARecordCache;

class CNAStatement : public CInterf {
 public:
  // The record limit of a result that is not limited.
  static constexpr long long NO_LIMIT = -1;

  // Takes a count on error; borrows access.
  CNAStatement(CNADataAccess* access, CNAError* error);
  ~CNAStatement() override;
  CNAStatement(const CNAStatement&) = delete;
  CNAStatement& operator=(const CNAStatement&) = delete;

  // On: makes the row cache on first use (500 rows or 2 MiB a block) and marks it active. Off:
  // a cache another holder shares is released and dropped; one held only here is emptied and
  // marked inactive, so that rows come straight from the server's result.
  void EnableCache(int enable);
  BOOL bCacheEnabled() const;
  // The row cache is active and holds the whole result.
  BOOL bCacheCompleted() const;
  // The row cache once it holds the whole result (the rest of the result read first); null when
  // it cannot be had.
  CNARecordCache* pclGetFullRecordCache();
  CNARecordCache* pclGetRecordCacheNoRef() const { return m_pclRecordCache; }

  // The item (key) the browse runs on; empty for none.
  const wchar_t* pszGetParseItem() const { return m_csParseItem.pszGet(); }
  void SetParseItem(const wchar_t* item) { m_csParseItem = item; }
  CNAUserSearch* pclGetUserSearch() { return &m_clUserSearch; }
  const CNAUserSearch* pclGetUserSearch() const { return &m_clUserSearch; }
  // The filter in force on the browse (held with a reference); null for none.
  CNAFilter* pclGetFilterNoRef() const { return m_pclFilter; }
  void _SetFilter(CNAFilter* filter);
  CNADataAccess* pclGetDataAccessNoRef() const { return m_pclDataAccess; }
  CNAError* pclGetErrorNoRef() const { return m_pclError; }

 protected:
  // Reads the rest of the result into the row cache through the data access's own reads, which
  // come with the browse: FALSE until then.
  virtual BOOL _bCompleteCache() { return FALSE; }

 private:
  CNAError* m_pclError = nullptr;
  CNADataAccess* m_pclDataAccess;
  CTString m_csParseItem;
  CNAUserSearch m_clUserSearch;
  CNARecordCache* m_pclRecordCache = nullptr;
  CNAFilter* m_pclFilter = nullptr;
};
