// CNAFilter: the host's filter on a file, a key search (sql/narecherche.h) whose tree restricts a
// browse to the rows whose browse item lies between two bounds, ANDed with a condition the host
// parsed; the statement keeps it and ANDs its text with the browse. CNAFilterSave: a snapshot of
// a filter and of whether it was active, to tell later whether the filter in force is the same.
//
// Ownership: as the search; a save holds a reference on its filter.
// Callers hold the driver mutex.
#pragma once

#include <cstdint>

#include "sql/narecherche.h"

class ISQLParserInformation;

// Flag of bSetFilter: the lower bound is a starts-with.
constexpr unsigned int NA_FILTER_GENERIC = 0x8;

class CNAFilter : public CNARecherche {
 public:
  CNAFilter() = default;
  CNAFilter(CNAError* error, CNAConnectionDescription* cnx) : CNARecherche(error, cnx) {}

  // ---- Virtual operations, in their order ----
  CNARecherche* pclClone() override { return pclCloneFilter(); }
  // An empty filter (not referenced); null without memory.
  CNARecherche* _pclAllocRecherche() override;
  // The search's clone, of this class: one reference for the caller.
  virtual CNAFilter* pclCloneFilter();

  // The tree of item between min and max (either may be null), ANDed with condition. TRUE when a
  // tree was built or when there is nothing to build; FALSE when bounds or condition gave none.
  // On a descending item the bounds change places when the minimum lies above the maximum, each
  // with its own inclusion.
  BOOL bSetFilter(CNARecord* record, INAItemDescription* item, const CAny* min, int minIncluded, const CAny* max,
                  int maxIncluded, ISQLParserInformation* condition, int flags);

  BOOL bIsFilterActive() const { return nGetState() != 0 ? TRUE : FALSE; }
  // Switched on, the filter writes its whole range again (switching off dropped the tree it
  // writes).
  void ActivateFilter(int on) {
    if (on == 0) {
      Desactivate();
    } else if (nGetState() != 1 || pclGetCurrentTreeNoRef() == nullptr) {
      Desactivate();
      _SetContinueParcours(eGetDirection());
    }
  }

  // The same object, or the searches' equality.
  BOOL bEqualsFilter(const CNAFilter* other) const;
  // b null: a null or inactive; a null: b inactive; else a's bEqualsFilter.
  static BOOL g_bEqualsFilter(const CNAFilter* a, const CNAFilter* b);
};

class CNAFilterSave {
 public:
  CNAFilterSave() = default;
  explicit CNAFilterSave(CNAFilter* filter) {
    if (filter != nullptr) SetFilter(filter);
  }
  ~CNAFilterSave();
  CNAFilterSave(const CNAFilterSave&) = delete;
  CNAFilterSave& operator=(const CNAFilterSave&) = delete;

  // The same filter changes nothing; otherwise the former one goes and a new one is held with its
  // activation as it is now.
  void SetFilter(CNAFilter* filter);
  // other's filter and its recorded activation.
  void Copy(const CNAFilterSave& other);
  // Whether filter is what this save recorded: same activation (null is inactive), then both
  // inactive, or the same filter, or an equal one (both with bounds or both without).
  BOOL bFilterEquals(const CNAFilter* filter) const;

  CNAFilter* pclGetFilterNoRef() const { return m_pclFilter; }
  BOOL bWasActive() const { return m_bActive; }

 private:
  CNAFilter* m_pclFilter = nullptr;
  int32_t m_bActive = 0;
};
