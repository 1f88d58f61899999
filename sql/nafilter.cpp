#include "sql/nafilter.h"

#include <new>

#include "access/narecord.h"
#include "sql/inaitemdescription.h"
#include "sql/naexpression.h"
#include "values/any_operators.h"

// ================================================================ CNAFilter

CNARecherche* CNAFilter::_pclAllocRecherche() { return new (std::nothrow) CNAFilter(); }

CNAFilter* CNAFilter::pclCloneFilter() { return static_cast<CNAFilter*>(CNARecherche::pclClone()); }

BOOL CNAFilter::bSetFilter(CNARecord* record, INAItemDescription* item, const CAny* min, int minIncluded,
                           const CAny* max, int maxIncluded, ISQLParserInformation* condition, int flags) {
  _NewTreesStamp();
  _Release(&m_pclEqual);
  _Release(&m_pclCurrent);
  _SetFetchItem(item);
  const bool generic = (static_cast<unsigned int>(flags) & NA_FILTER_GENERIC) != 0;
  // A filter's starts-with is the expressions' own bit; its 0x8 would read the record's values.
  const unsigned int own = generic ? NA_SEARCH_GENERIC : 0;
  const CAny* low = min;
  const CAny* high = max;
  int lowIncluded = minIncluded, highIncluded = maxIncluded;
  // A column read downwards takes its comparisons in the browse's order (the lower bound is the
  // greater value); any other descending item, in the values' order.
  CNAColumn* column = record != nullptr && item != nullptr ? record->pclGetColumnNoRef(item) : nullptr;
  const bool downwards = column != nullptr && CNAExpression::s_bDescendingInBrowse(record, column, item);
  if (low != nullptr && high != nullptr && item != nullptr && (downwards || item->bGetDescendant(-1))) {
    // Bounds given either way round: the one to come first in the comparisons' order leads.
    int above = 0;
    if (nSuperieur(*low, *high, &above, 0) <= 99 && (above != 0) != downwards) {
      std::swap(low, high);
      std::swap(lowIncluded, highIncluded);
    }
  }
  CNAExpression* lower = nullptr;
  CNAExpression* upper = nullptr;
  if (low != nullptr || generic) {
    eNAOperator op = lowIncluded != 0 ? NA_OP_GE : NA_OP_GT;
    int same = 0;
    if (generic) {
      op = high == nullptr ? NA_OP_EQ : op;
    } else if (low != nullptr && high != nullptr && lowIncluded != 0 && highIncluded != 0 &&
               nEgalite(*low, *high, &same, 0) <= 99 && same != 0) {
      // Equal bounds both included are the one value; one left out, the range holds no row.
      op = NA_OP_EQ;
      high = nullptr;
    }
    lower = _pclAddExpression(record, item, op, low, own | NA_SEARCH_FILLTEST | NA_EXPR_LOWER, nullptr);
  }
  if (high != nullptr)
    upper = _pclAddExpression(record, item, highIncluded != 0 ? NA_OP_LE : NA_OP_LT, high,
                              own | NA_SEARCH_FILLTEST | NA_EXPR_UPPER, nullptr);
  CNAExpression* tree = lower;
  if (lower != nullptr && upper != nullptr) {
    tree = lower->pclAllocExpression(NA_OP_AND, lower, upper, own);
    if (tree == nullptr) {
      for (CNAExpression* e : {lower, upper}) {
        e->AddRef();
        e->nRelease();
      }
    }
  } else if (upper != nullptr) {
    tree = upper;
  }
  if (condition != nullptr) {
    CNAExpression* parsed = pclAllocExpression();
    if (parsed != nullptr && !parsed->InitExpression(condition, 0)) {
      parsed->AddRef();
      parsed->nRelease();
      parsed = nullptr;
    }
    if (parsed != nullptr && tree != nullptr) {
      CNAExpression* both = parsed->pclAllocExpression(NA_OP_AND, tree, parsed, 0);
      if (both == nullptr) {
        for (CNAExpression* e : {tree, parsed}) {
          e->AddRef();
          e->nRelease();
        }
      }
      tree = both;
    } else if (parsed != nullptr) {
      tree = parsed;
    }
  }
  if (min == nullptr && max == nullptr && condition == nullptr && !generic) return TRUE;
  if (tree == nullptr) return FALSE;
  tree->AddRef();
  tree->AddRef();
  m_pclEqual = tree;
  m_pclCurrent = tree;
  return TRUE;
}

BOOL CNAFilter::bEqualsFilter(const CNAFilter* other) const {
  return other == this ? TRUE : bEqualsSearch(other);
}

BOOL CNAFilter::g_bEqualsFilter(const CNAFilter* a, const CNAFilter* b) {
  if (b == nullptr) return a == nullptr || !a->bIsFilterActive() ? TRUE : FALSE;
  if (a == nullptr) return !b->bIsFilterActive();
  return a->bEqualsFilter(b);
}

// ================================================================ CNAFilterSave

CNAFilterSave::~CNAFilterSave() {
  if (m_pclFilter != nullptr) m_pclFilter->nRelease();
}

void CNAFilterSave::SetFilter(CNAFilter* filter) {
  if (filter == m_pclFilter) return;
  if (m_pclFilter != nullptr) m_pclFilter->nRelease();
  m_pclFilter = nullptr;
  m_bActive = 0;
  if (filter == nullptr) return;
  filter->AddRef();
  m_pclFilter = filter;
  m_bActive = filter->bIsFilterActive();
}

void CNAFilterSave::Copy(const CNAFilterSave& other) {
  SetFilter(other.m_pclFilter);
  m_bActive = other.m_bActive;
}

BOOL CNAFilterSave::bFilterEquals(const CNAFilter* filter) const {
  const BOOL active = filter != nullptr && filter->bIsFilterActive() ? TRUE : FALSE;
  if ((m_bActive != 0) != (active != 0)) return FALSE;
  if (!active) return TRUE;
  if (m_pclFilter == nullptr) return FALSE;
  if (m_pclFilter == filter) return TRUE;
  // The search's own comparison reads the parameters of the last write: a filter without bounds
  // and one with bounds not written yet both have none, and are not the same.
  const bool bounded = m_pclFilter->pclGetEqualTreeNoRef() != nullptr;
  if (bounded != (filter->pclGetEqualTreeNoRef() != nullptr)) return FALSE;
  return m_pclFilter->bEqualsSearch(filter);
}
