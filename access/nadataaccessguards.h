// Scope guards of the data access's reading road and counts. Each holds what it was given (a
// reference, a lent record value, an internal search) and gives it back on every exit of its
// scope, exceptions included; none copies.
#pragma once

#include <optional>

#include "access/narecord.h"
#include "sql/inaitemdescription.h"
#include "sql/narecherche.h"
#include "sql/nastatement.h"

namespace naguards {

// One reference on a statement; one external reference on an item description.
using CHeldStatement = CHeldRef<CNAStatement>;
using CHeldItemDesc = CHeldRef<INAItemDescription>;

// The current record's current or original buffer as it stands, given back on every exit unless
// Keep() was asked; nothing is given back when no copy could be made.
class CKeptValue {
 public:
  CKeptValue(CNARecord* record, bool original) : m_pRecord(record), m_bOriginal(original) {
    const CNARecordValue* target = pTarget();
    m_pKept = target != nullptr ? target->pclGetClone(NA_COPY_ALL) : nullptr;
    if (m_pKept != nullptr) m_pKept->AddRef();
  }
  ~CKeptValue() {
    if (m_pKept == nullptr) return;
    if (!m_bKeep) {
      CNARecordValue* target = pTarget();
      if (target != nullptr) target->bCopyRecordValue(m_pKept, NA_COPY_ALL);
      if (!m_bOriginal) m_pRecord->OnNAKJRecordChanged();
    }
    m_pKept->nRelease();
  }
  CKeptValue(const CKeptValue&) = delete;
  CKeptValue& operator=(const CKeptValue&) = delete;
  bool bKept() const { return m_pKept != nullptr; }
  // The buffer's content now stays.
  void Keep() { m_bKeep = true; }
  CNARecordValue* pTarget() const {
    if (m_pRecord == nullptr) return nullptr;
    return m_bOriginal ? m_pRecord->pclGetOriginalValueNoRef() : m_pRecord->pclGetCurrentValueNoRef();
  }

 private:
  CNARecord* m_pRecord;
  bool m_bOriginal;
  CNARecordValue* m_pKept = nullptr;
  bool m_bKeep = false;
};

// Both buffers of the current record as they stand, given back when this goes unless Keep() was
// asked: the current first, then the original, which is unset again when it was unset.
class CKeptRecordValues {
 public:
  explicit CKeptRecordValues(CNARecord* record)
      : m_pRecord(record), m_bOriginalSet(record->bOriginalSet() != FALSE), m_current(std::in_place, record, false),
        m_original(std::in_place, record, true) {}
  ~CKeptRecordValues() {
    if (m_bKeep) return;
    m_current.reset();
    m_original.reset();
    if (!m_bOriginalSet) m_pRecord->ForgetOriginal();
  }
  CKeptRecordValues(const CKeptRecordValues&) = delete;
  CKeptRecordValues& operator=(const CKeptRecordValues&) = delete;
  void Keep() {
    m_bKeep = true;
    m_current->Keep();
    m_original->Keep();
  }

 private:
  CNARecord* m_pRecord;
  bool m_bOriginalSet;
  bool m_bKeep = false;
  std::optional<CKeptValue> m_current, m_original;
};

// A record value lent to the current record's current or original buffer; the buffer gets its
// former content back on every exit.
class CLentValue {
 public:
  CLentValue(CNARecord* record, const CNARecordValue* lent, bool original)
      : m_kept(lent != nullptr ? record : nullptr, original) {
    m_bOk = m_kept.bKept() && m_kept.pTarget()->bCopyRecordValue(lent, NA_COPY_ALL);
  }
  CLentValue(const CLentValue&) = delete;
  CLentValue& operator=(const CLentValue&) = delete;
  bool bOk() const { return m_bOk; }
  // The lent content stays.
  void Keep() { m_kept.Keep(); }

 private:
  CKeptValue m_kept;
  bool m_bOk = false;
};

// The statement's search for one internal positioning: made when the statement had none, and
// then dropped again, so that the next read does not take it for a search of the host's. A seek
// of the host's in force is put aside meanwhile and comes back whole afterwards, so that the
// browse still knows which rows the host sought.
class CInternalSearch {
 public:
  explicit CInternalSearch(CNAStatement* stmt) : m_pStmt(stmt), m_bMade(!stmt->bExistRechercheObject()) {
    CNARecherche* held = stmt->pclGetRechercheNoRef();
    if (held != nullptr && held->nGetState() != 0 && stmt->pclGetUserSearch()->piGetItemNoRef() != nullptr) {
      CNARecherche* own = stmt->pclAllocRecherche();
      if (own != nullptr) {
        m_pUserSearch = held;
        m_pUserSearch->AddRef();
        m_clUser.Copy(stmt->pclGetUserSearch());
        stmt->_SetRecherche(own);
        m_bMade = true;
      }
    }
    m_pSearch = stmt->pclGetRecherche();
    if (m_pSearch != nullptr) stmt->PrepareInternalSearch();
  }
  ~CInternalSearch() {
    if (m_pSearch != nullptr) {
      m_pStmt->AnnuleRecherche();
      m_pSearch->nRelease();
      if (m_bMade) m_pStmt->_SetRecherche(nullptr);
    }
    if (m_pUserSearch != nullptr) {
      m_pStmt->_SetRecherche(m_pUserSearch);
      m_pStmt->pclGetUserSearch()->Copy(&m_clUser);
      m_pUserSearch->nRelease();
    }
  }
  CInternalSearch(const CInternalSearch&) = delete;
  CInternalSearch& operator=(const CInternalSearch&) = delete;
  CNARecherche* get() const { return m_pSearch; }

 private:
  CNAStatement* m_pStmt;
  bool m_bMade;
  CNARecherche* m_pSearch = nullptr;
  CNARecherche* m_pUserSearch = nullptr;
  CNAUserSearch m_clUser;
};

}  // namespace naguards
