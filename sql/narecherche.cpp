#include "sql/narecherche.h"

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>

#include "access/narecord.h"
#include "common/str_compare.h"
#include "common/xystring.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "sql/inaitemdescription.h"
#include "sql/nacolumn.h"
#include "sql/nacommand.h"
#include "sql/naconvertvariant.h"
#include "sql/naexpression.h"
#include "sql/nafilter.h"
#include "sql/naitemdescription.h"
#include "sql/naservertext.h"
#include "sql/sqlparserinfo.h"
#include "values/any_operators.h"
#include "values/datetime.h"
#include "values/idecimal.h"
#include "values/money.h"

namespace {

bool IsDateKind(unsigned short t) { return t == ZV_DATETIME || t == ZV_DATEA || t == ZV_TIMEA; }
// A wide maximum fill: UTF-16's highest unit or its 4-byte form.
bool IsWideFill(wchar_t c) { return static_cast<uint32_t>(c) == 0xFFFFu || static_cast<uint32_t>(c) == 0xFFFFFFFFu; }

void Unref(CNAExpression* e) {
  if (e == nullptr) return;
  e->AddRef();
  e->nRelease();
}

// a join b; either alone when the other is missing.
CNAExpression* Join(CNAExpression* a, eNAOperator join, CNAExpression* b, unsigned int flags) {
  if (a == nullptr) return b;
  if (b == nullptr) return a;
  CNAExpression* node = a->pclAllocExpression(join, a, b, flags);
  if (node == nullptr) {
    Unref(a);
    Unref(b);
  }
  return node;
}

// The value's text and bytes of one width.
std::wstring WideOf(const CAny& value) {
  CAny copy(value);
  const wchar_t* text = nullptr;
  if (copy.bIsNull() || copy.__nCastToString(&text, nullptr) > 99 || text == nullptr) return {};
  return text;
}
std::string AnsiOf(const CAny& value) {
  CAny copy(value);
  const char* text = nullptr;
  if (copy.bIsNull() || copy.__nCastToString(&text, nullptr) > 99 || text == nullptr) return {};
  return text;
}
void SetWide(CAny* value, const std::wstring& text) {
  value->__SetType(ZV_DSTRW, 0);
  value->SetValueByte(text.data(), static_cast<unsigned int>(text.size() * sizeof(wchar_t)));
}
void SetAnsi(CAny* value, const std::string& text) {
  value->__SetType(ZV_DSTRA, 0);
  value->SetValueByte(text.data(), static_cast<unsigned int>(text.size()));
}

template <typename T>
void SetFixed(CAny* value, unsigned short type, T v) {
  value->__SetType(type, 0);
  value->SetValueByte(&v, sizeof v);
}
template <typename T>
T Read(const CAny* value) {
  T v{};
  memcpy(&v, value->pGetValueArea(), sizeof v);
  return v;
}

// The data bytes a value hands out; none for a value without data.
const unsigned char* DataOf(const CAny* value, unsigned int* size) {
  void* data = nullptr;
  *size = 0;
  if (value->Intern()->nGetDataAdr(&data) != 0 || data == nullptr || value->Intern()->nGetDataSize(size) != 0) {
    *size = 0;
    return nullptr;
  }
  return static_cast<const unsigned char*>(data);
}

CNADriver* Driver() { return CNADriver::s_pclDriver; }

// Whether column is record->pclGetColumnNoRef(item): in line for a table's column made for the
// item at the item's place, the first that look takes.
bool IsColumnOf(const CNARecord* record, const CNAColumn* column, INAItemDescription* item) {
  if (!record->bSourceIsQuery() && column->piGetItemNoRef() == item &&
      record->pclGetColumnNoRef(static_cast<int>(item->nGetPhysicalIndice())) == column)
    return true;
  return record->pclGetColumnNoRef(item) == column;
}

// The last unit of a text's own data (its terminator aside) is a zero. Date and time texts have
// their width whatever they hold: theirs says nothing.
bool EndsWithZero(const CAny& value) {
  const unsigned short t = value.wGetType();
  if (value.bIsNull() || !g_bIsZVText(t) || t == ZV_DATEW || t == ZV_TIMEW || t == ZV_DATEA || t == ZV_TIMEA)
    return false;
  unsigned int size = 0;
  const unsigned char* data = DataOf(&value, &size);
  if (data == nullptr || value.Intern()->nGetUtilDataSize(&size) != 0) return false;
  if (g_bIsZVTextWide(t)) return size >= sizeof(wchar_t) && reinterpret_cast<const wchar_t*>(data)[size / sizeof(wchar_t) - 1] == 0;
  return size >= 1 && data[size - 1] == 0;
}

}  // namespace

// ================================================================ Life

CNARecherche::CNARecherche() { _NewTreesStamp(); }

CNARecherche::CNARecherche(CNAError* error, CNAConnectionDescription* cnx) : m_pclError(error), m_pclCnx(cnx) {
  _NewTreesStamp();
  CNAError::s_Hold(m_pclError);
  if (m_pclCnx != nullptr) m_pclCnx->AddRef();
}

CNARecherche::~CNARecherche() {
  _Release(&m_pclEqual);
  _Release(&m_pclAfter);
  _Release(&m_pclBefore);
  _Release(&m_pclCurrent);
  m_tabParameter.SupprimeTout();
  _SetFetchItem(nullptr);
  CNAError::s_Drop(&m_pclError);
  CNADriver::g_nReleaseConnection(m_pclCnx);
}

void CNARecherche::_Release(CNAExpression** tree) {
  CNAExpression* held = *tree;
  *tree = nullptr;
  if (held != nullptr) held->nRelease();
}

void CNARecherche::_NewTreesStamp() {
  static std::atomic<uint64_t> s_nStamps{0};
  m_nTreesStamp = ++s_nStamps;
}

void CNARecherche::_SetFetchItem(INAItemDescription* item) {
  if (item != nullptr) item->ExternalAddRef();
  if (m_piFetchItem != nullptr) m_piFetchItem->nExternalRelease();
  m_piFetchItem = item;
}

CNAExpression* CNARecherche::pclAllocExpression() { return new (std::nothrow) CNAExpression(m_pclError); }

CNARecherche* CNARecherche::_pclAllocRecherche() { return new (std::nothrow) CNARecherche(); }

CNARecherche* CNARecherche::pclClone() {
  CNARecherche* copy = _pclAllocRecherche();
  if (copy == nullptr) return nullptr;
  copy->AddRef();
  CNAError::s_Hold(m_pclError);
  CNAError::s_Drop(&copy->m_pclError);
  copy->m_pclError = m_pclError;
  if (m_pclCnx != nullptr) m_pclCnx->AddRef();
  CNADriver::g_nReleaseConnection(copy->m_pclCnx);
  copy->m_pclCnx = m_pclCnx;
  copy->m_nState = m_nState;
  copy->m_eDirection = m_eDirection;
  copy->m_bFound = m_bFound;
  copy->m_dwFlags = m_dwFlags;
  copy->m_clValue = m_clValue;
  copy->m_csLostItem = m_csLostItem;
  copy->m_bServerText = m_bServerText;
  copy->_SetFetchItem(m_piFetchItem);
  CNAExpression* CNARecherche::*trees[] = {&CNARecherche::m_pclEqual, &CNARecherche::m_pclAfter,
                                           &CNARecherche::m_pclBefore, &CNARecherche::m_pclCurrent};
  for (CNAExpression* CNARecherche::*tree : trees) {
    if (this->*tree != nullptr) (this->*tree)->AddRef();
    _Release(&(copy->*tree));
    copy->*tree = this->*tree;
  }
  copy->m_tabParameter.SupprimeTout();
  for (int i = 0; i < m_tabParameter.nGetCount(); ++i) copy->m_tabParameter.AjouteRef(m_tabParameter[i]);
  return copy;
}

// ================================================================ Setting

BOOL CNARecherche::bSetRecherche(CNARecord* record, INAItemDescription* item, const CAny* value,
                                 eNA_PARSEDIRECTION direction, int exact, int) {
  return _bSetRecherche(record, item, value, direction, exact != 0 ? 0 : NA_SEARCH_GENERIC, nullptr);
}

BOOL CNARecherche::bRechercheEnreg(CNARecord* record, INAItemDescription* item, eNA_PARSEDIRECTION direction,
                                   int equalOnly, const CNARefArray<CNAColumn>* key) {
  const unsigned int flags = NA_SEARCH_RECORD | NA_SEARCH_RECORDVALUES | (equalOnly != 0 ? NA_SEARCH_EQUALONLY : 0);
  return _bSetRecherche(record, item, nullptr, direction, flags, key);
}

BOOL CNARecherche::bAddExpression(CNARecord* record, INAItemDescription* item, eNAOperator op, const CAny* value,
                                  int generic, eNAOperator join, int fillTest) {
  const unsigned int flags = (generic != 0 ? NA_SEARCH_GENERIC : 0) | (fillTest != 0 ? NA_SEARCH_FILLTEST : 0);
  _NewTreesStamp();
  if (m_nState == 0) {
    _Release(&m_pclEqual);
    _Release(&m_pclAfter);
    _Release(&m_pclBefore);
  }
  CNAExpression* condition = _pclAddExpression(record, item, op, value, flags, nullptr);
  if (condition != nullptr) {
    condition->AddRef();
    for (CNAExpression** tree : {&m_pclEqual, &m_pclAfter, &m_pclBefore}) {
      CNAExpression* joined = Join(*tree, join, condition, flags);
      if (joined == nullptr) continue;
      joined->AddRef();
      _Release(tree);
      *tree = joined;
    }
    condition->nRelease();
  }
  m_nState = 1;
  if (m_pclEqual != nullptr) m_pclEqual->AddRef();
  _Release(&m_pclCurrent);
  m_pclCurrent = m_pclEqual;
  return TRUE;
}

BOOL CNARecherche::_bSetRecherche(CNARecord* record, INAItemDescription* item, const CAny* value,
                                  eNA_PARSEDIRECTION direction, unsigned int flags, const CNARefArray<CNAColumn>* key) {
  if (key == nullptr && _bRenewValue(record, item, value, direction, flags)) return TRUE;
  _NewTreesStamp();
  m_csLostItem.Vide();
  m_bServerText = false;
  _Release(&m_pclEqual);
  _Release(&m_pclAfter);
  _Release(&m_pclBefore);
  _Release(&m_pclCurrent);
  if (value != nullptr && value != &m_clValue) m_clValue = *value;
  m_nState = 1;
  m_bFound = 0;
  m_eDirection = direction;
  m_dwFlags = flags;
  _SetFetchItem(item);
  if (record == nullptr || item == nullptr) {
    m_nState = 0;
    return TRUE;
  }
  const CAny* searched = value != nullptr ? &m_clValue : nullptr;

  CNAExpression* equal = nullptr;
  bool done = false;
  if ((flags & NA_SEARCH_RECORD) != 0 && !item->bUnique()) {
    CNAColumn* unique = nullptr;
    if (key != nullptr) {
      for (int i = 0; i < key->nGetCount() && unique == nullptr; ++i)
        if ((*key)[i] != nullptr && (*key)[i]->bIsUnique() && (*key)[i]->bValueDefined()) unique = (*key)[i];
    } else {
      unique = record->pclGetUniqueKeyNotNullNoRef();
    }
    if (unique != nullptr) {
      equal = _pclAddExpression(record, unique->piGetItemNoRef(), NA_OP_EQ, nullptr, flags, key);
      done = true;
    }
  }
  if (!done) equal = _pclAddExpression(record, item, NA_OP_EQ, searched, flags, key);
  if (equal == nullptr) {
    m_nState = 0;
    return TRUE;
  }
  equal->AddRef();
  m_pclEqual = equal;

  if ((flags & NA_SEARCH_EQUALONLY) == 0) {
    const bool plain = !item->bIsComposedKey() && ((flags & NA_SEARCH_RECORD) == 0 || item->bUniqueNotNull());
    for (eNAOperator op : {NA_OP_GT, NA_OP_LT}) {
      CNAExpression* tree = nullptr;
      if (plain) {
        CNAExpression* clone = m_pclEqual->pclClone();
        tree = clone != nullptr ? clone->pclTransformEqualTo(record, nullptr, op) : nullptr;
      } else {
        tree = _pclAddExpression(record, item, op, searched, flags | NA_EXPR_PAST_MATCHES, key);
      }
      if (tree != nullptr) tree->AddRef();
      (op == NA_OP_GT ? m_pclAfter : m_pclBefore) = tree;
    }
  }
  m_pclEqual->AddRef();
  m_pclCurrent = m_pclEqual;
  return TRUE;
}

BOOL CNARecherche::_bRenewValue(CNARecord* record, INAItemDescription* item, const CAny* value,
                                eNA_PARSEDIRECTION direction, unsigned int flags) {
  if (flags != 0 || m_dwFlags != 0 || value == nullptr || record == nullptr || item == nullptr ||
      item != m_piFetchItem || item->bIsComposedKey())
    return FALSE;
  // Three trees of their own (one standing for two would fail the operators below), each held by
  // its place and, the current one, once more.
  CNAExpression* const trees[] = {m_pclEqual, m_pclAfter, m_pclBefore};
  if (trees[0] == trees[1] || trees[0] == trees[2] || trees[1] == trees[2]) return FALSE;
  for (CNAExpression* tree : trees) {
    if (tree == nullptr || tree->pclGetLeftNoRef() != nullptr || tree->pclGetRightNoRef() != nullptr ||
        tree->nGetRefCount() != (tree == m_pclCurrent ? 2u : 1u))
      return FALSE;
  }
  CNAColumn* column = m_pclEqual->pclGetColumnNoRef();
  if (column == nullptr || column->bIsComposedKey() || !IsColumnOf(record, column, item) ||
      m_pclAfter->pclGetColumnNoRef() != column || m_pclBefore->pclGetColumnNoRef() != column)
    return FALSE;
  // The operators and flags the first build gave: a write that folded a leaf changed them.
  const bool descending = _bDescendingInBrowse(record, column, item);
  const eNAOperator after = descending ? NA_OP_LT : NA_OP_GT, before = descending ? NA_OP_GT : NA_OP_LT;
  if (m_pclEqual->eGetOperator() != NA_OP_EQ || m_pclEqual->dwGetFlags() != 0 ||
      m_pclAfter->eGetOperator() != after || m_pclAfter->dwGetFlags() != NA_EXPR_PAST_MATCHES ||
      m_pclBefore->eGetOperator() != before || m_pclBefore->dwGetFlags() != NA_EXPR_PAST_MATCHES)
    return FALSE;
  if (value != &m_clValue) m_clValue.AssignLike(*value);
  CNADriver* driver = Driver();
  if (driver == nullptr) return FALSE;
  // The three leaves' holder, theirs alone, is made again in place; else a new one.
  CNAConvertVariant* holder = m_pclEqual->pclGetValueNoRef();
  const bool shared = holder != nullptr && m_pclAfter->pclGetValueNoRef() == holder &&
                      m_pclBefore->pclGetValueNoRef() == holder;
  // Typed again at once by the column, which gives it the same descriptions: in one step for a
  // value of the type they gave the last one.
  const bool restartable = shared && driver->bRestartableVariant(holder, 3, m_pclError, column->pclGetCnx());
  const bool renewed = restartable && holder->bRenewPlainNumber(column->piGetItemNoRef(),
                                                                 column->piGetImportedItemDescNoRef(), &m_clValue);
  if (restartable && !renewed) {
    holder->Restart(true);
    if (!CNADriver::s_bTypeVariant_NV_Any(m_pclError, holder, column, &m_clValue)) return FALSE;
  } else if (!restartable) {
    holder = driver->pclGetNewVariant_NV_Any(m_pclError, column->pclGetCnx(), column, &m_clValue);
    if (holder == nullptr) return FALSE;
  }
  holder->AddRef();
  // A side tree that keeps its holder, operator and flags and that no write went through (no
  // NULL-selected set: a seek not gone past its rows) is already as RenewLeaf makes it.
  CSQLParserInfo* source = column->pclGetSourceQueryNoRef();
  auto asMade = [holder, source](const CNAExpression* leaf, eNAOperator op) {
    return leaf->pclGetColumnNullValueExcludedNoRef() == nullptr && leaf->pclGetValueNoRef() == holder &&
           leaf->eGetOperator() == op && leaf->dwGetFlags() == NA_EXPR_PAST_MATCHES &&
           leaf->pclGetParsedConditionNoRef() == source;
  };
  m_pclEqual->RenewLeaf(NA_OP_EQ, holder, 0);
  if (!asMade(m_pclAfter, after)) m_pclAfter->RenewLeaf(after, holder, NA_EXPR_PAST_MATCHES);
  if (!asMade(m_pclBefore, before)) m_pclBefore->RenewLeaf(before, holder, NA_EXPR_PAST_MATCHES);
  holder->nRelease();
  m_nState = 1;
  m_bFound = 0;
  m_eDirection = direction;
  // Most often the seek before left its equal tree current, held there already.
  if (m_pclCurrent != m_pclEqual) {
    m_pclEqual->AddRef();
    _Release(&m_pclCurrent);
    m_pclCurrent = m_pclEqual;
  }
  return TRUE;
}

bool CNARecherche::_bDescendingInBrowse(CNARecord* record, CNAColumn* column, INAItemDescription* item) {
  if (m_nDescendingStamp != m_nTreesStamp || record != m_pclDescendingRecord || column != m_pclDescendingColumn) {
    m_bDescending = CNAExpression::s_bDescendingInBrowse(record, column, item);
    m_nDescendingStamp = m_nTreesStamp;
    m_pclDescendingRecord = record;
    m_pclDescendingColumn = column;
  }
  return m_bDescending;
}

// ================================================================ Conditions

void CNARecherche::_GetComponents(CNARecord*, CNAColumn* key, Columns* out) {
  out->clear();
  const CRefArray<CNAColumn>* parts = key != nullptr ? key->pclGetTabComponent() : nullptr;
  for (int i = 0; parts != nullptr && i < parts->nGetCount(); ++i) out->push_back((*parts)[i]);
}

CNAExpression* CNARecherche::_pclAddExpression(CNARecord* record, INAItemDescription* item, eNAOperator op,
                                               const CAny* value, unsigned int flags,
                                               const CNARefArray<CNAColumn>* key) {
  CNAColumn* column = record != nullptr && item != nullptr ? record->pclGetColumnNoRef(item) : nullptr;
  if (column == nullptr) return nullptr;
  const bool recordSearch = (flags & NA_SEARCH_RECORD) != 0;
  const bool fromRecord = (flags & (NA_SEARCH_RECORD | NA_SEARCH_RECORDVALUES)) != 0;
  if (!fromRecord && value != nullptr && CNAExpression::s_bExpressionTrue(op, m_pclCnx, value)) return nullptr;
  const bool composite = column->bIsComposedKey();

  CNAColumn* single = nullptr;
  if (!recordSearch && !composite) {
    single = column;
  } else if (recordSearch && column->bIsUnique() && !composite && column->bValueDefined()) {
    single = column;
  } else if (op == NA_OP_EQ && recordSearch) {
    CNAColumn* unique = record->pclGetUniqueKeyNotNullNoRef();
    if (unique != nullptr && !unique->bIsComposedKey()) single = unique;
  }
  if (single != nullptr) {
    Values values(1);
    if (fromRecord) {
      single->bGetCurrentValue(&values[0], 0);
    } else if (value != nullptr) {
      values[0] = *value;
    }
    const Columns columns{single};
    if ((flags & NA_SEARCH_FILLTEST) == 0) {
      // A text that carries its own terminator asks for itself only: the text before it.
      if ((flags & NA_SEARCH_GENERIC) != 0 && s_bTextWithTerminator(values[0], &values[0])) flags &= ~NA_SEARCH_GENERIC;
      return _pclAddKeyExpression(record, columns, values, nullptr, 0, 0, op, flags, NA_OP_AND);
    }
    BOOL usable = TRUE, minimum = FALSE, maximum = FALSE;
    _GetValue(single, &values[0], &usable, &minimum, &maximum);
    if (op != NA_OP_EQ && !usable) return nullptr;
    if (minimum || maximum) {
      const unsigned short zv = single->eGetZVType();
      if (op == NA_OP_LE && maximum && IsDateKind(zv)) {
        CAny bound;
        if (!CNAExpression::s_bGetBorneRechercheDateMax(single->eNAGetItemType(), &values[0], &bound)) return nullptr;
        values[0] = bound;
        op = NA_OP_LT;
      } else {
        flags |= NA_SEARCH_GENERIC;
        if (op == NA_OP_LT && maximum && ((zv >= 16 && zv <= 23) || zv == 81 || zv == 110 || zv == 134)) op = NA_OP_LE;
      }
    }
    return _pclAddBorne(record, columns, values, nullptr, 0, op, flags);
  }

  if (composite && (!recordSearch || (column->bIsUnique() && column->bValueDefined()))) {
    Columns components;
    _GetComponents(record, column, &components);
    Values values;
    BOOL minimum = FALSE, maximum = FALSE;
    if ((flags & NA_SEARCH_RECORDVALUES) != 0) {
      values.resize(components.size());
      for (size_t i = 0; i < components.size(); ++i) components[i]->bGetCurrentValue(&values[i], 0);
    } else if (value != nullptr) {
      _GetComponentValue(components, value, &values, &minimum, &maximum, flags);
    }
    if (op == NA_OP_EQ) return _pclAddKeyExpressionEq(record, components, values, column, flags);
    if (op < NA_OP_GT || op > NA_OP_LE) return nullptr;
    return recordSearch ? _pclAddKeyExpressionInfSupRecord(record, components, &values, column, op, flags)
                        : _pclAddKeyExpressionInfSupCompositeKey(record, components, &values, column, op, minimum,
                                                                  maximum, flags);
  }

  if (!recordSearch) return nullptr;
  Columns list;
  Values values;
  CNAColumn* unique = record->pclGetUniqueKeyNotNullNoRef();
  if (op == NA_OP_EQ && unique != nullptr) {
    _GetComponents(record, unique, &list);
    if (list.empty()) list.push_back(unique);
    values.resize(list.size());
    for (size_t i = 0; i < list.size(); ++i) list[i]->bGetCurrentValue(&values[i], 0);
    return _pclAddKeyExpressionEq(record, list, values, nullptr, flags);
  }
  // A composite key's components lead the list: they keep their own sort directions.
  CNAColumn* leading = nullptr;
  if (key != nullptr) {
    for (int i = 0; i < key->nGetCount(); ++i)
      if ((*key)[i] != nullptr) list.push_back((*key)[i]);
  } else {
    _AddAllItem(record, column, &list);
    if (composite) leading = column;
  }
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i]->bIsUnique() && !list[i]->bNullOrEquivalent()) {
      list.resize(i + 1);
      break;
    }
  }
  // A column the server computes follows the others: the record may hold a value from before a
  // write of its own, or none after an add, and the rows the others name are the same.
  if (op == NA_OP_EQ && key == nullptr && leading == nullptr) {
    Columns given;
    for (CNAColumn* c : list)
      if (c->bUpdatable()) given.push_back(c);
    if (!given.empty()) list.swap(given);
  }
  values.resize(list.size());
  for (size_t i = 0; i < list.size(); ++i) list[i]->bGetCurrentValue(&values[i], 0);
  if (op != NA_OP_EQ && (op < NA_OP_GT || op > NA_OP_LE)) return nullptr;
  // Without a unique key in the chain, rows are told apart by the bytes of their texts too.
  const bool cut = !list.empty() && list.back()->bIsUnique() && !list.back()->bNullOrEquivalent();
  m_nBytesFrom = unique == nullptr && key == nullptr && !cut ? _nAddTextBytes(&list, &values) : -1;
  CNAExpression* chain = op == NA_OP_EQ ? _pclAddKeyExpressionEq(record, list, values, leading, flags)
                                        : _pclAddKeyExpressionInfSupRecord(record, list, &values, leading, op, flags);
  m_nBytesFrom = -1;
  return chain;
}

BOOL CNARecherche::bAndMemoValues(CNARecord* record, const CNARecordValue* values) {
  const CRefArray<CNAColumn>* memos = record != nullptr ? record->pclGetTabColumnMemo() : nullptr;
  if (memos == nullptr || values == nullptr || m_pclCurrent == nullptr || m_pclCurrent != m_pclEqual) return TRUE;
  Columns list;
  Values given;
  for (int i = 0; i < memos->nGetCount(); ++i) {
    if ((*memos)[i] == nullptr) continue;
    list.push_back((*memos)[i]);
    given.emplace_back();
    if (!values->bGetMemoValue(&given.back(), i)) return FALSE;
  }
  if (list.empty()) return TRUE;
  m_nBytesFrom = _nAddTextBytes(&list, &given);
  m_pclNamingValue = values;
  CNAExpression* chain = _pclAddKeyExpressionEq(record, list, given, nullptr, m_dwFlags | NA_SEARCH_RECORD);
  m_pclNamingValue = nullptr;
  m_nBytesFrom = -1;
  CNAExpression* both = chain != nullptr ? Join(m_pclCurrent, NA_OP_AND, chain, m_dwFlags) : nullptr;
  if (both == nullptr) {
    CNAError::g_RaiseNoMemory(m_pclError, m_pclCnx);
    return FALSE;
  }
  both->AddRef();
  both->AddRef();
  _Release(&m_pclEqual);
  _Release(&m_pclCurrent);
  m_pclEqual = m_pclCurrent = both;
  return TRUE;
}

int CNARecherche::_nAddTextBytes(Columns* list, Values* values) const {
  CTString probe;
  if (m_pclCnx == nullptr || !m_pclCnx->bFormatTextBytes(&probe, L"")) return -1;
  const size_t n = list->size();
  for (size_t i = 0; i < n; ++i) {
    if (!(*list)[i]->bComparedByCollation()) continue;
    list->push_back((*list)[i]);
    values->push_back((*values)[i]);
  }
  return list->size() > n ? static_cast<int>(n) : -1;
}

void CNARecherche::_AddAllItem(CNARecord* record, CNAColumn* column, Columns* out) {
  out->clear();
  CNAColumn* unique = record->pclGetUniqueKeyNotNullNoRef();
  // A group's aggregate names no row in a WHERE (the server refuses it there): its group does.
  const CSQLParserInfo* query = record->pclGetSourceQueryNoRef();
  bool met = false;
  for (int i = 0; i < record->nGetNbColumnOrder(); ++i) {
    CNAColumn* c = record->pclGetColumnOrderNoRef(i);
    if (c == nullptr) continue;
    if (c != column && query != nullptr && c->eGetTypeColonne() != 0 && query->bRubriqueIsAggregate(c)) continue;
    if (c == column) {
      out->insert(out->begin(), c);
      met = true;
    } else {
      out->push_back(c);
    }
    if (c == unique) break;
  }
  if (column->bIsComposedKey()) {
    Columns components;
    _GetComponents(record, column, &components);
    for (CNAColumn* part : components) {
      for (size_t k = 0; k < out->size(); ++k) {
        if (STR_nCompareW((*out)[k]->pszGetName(), part->pszGetName(), 3) == 0) {
          out->erase(out->begin() + static_cast<long>(k));
          break;
        }
      }
    }
    out->insert(out->begin(), components.begin(), components.end());
  } else if (!met) {
    out->insert(out->begin(), column);
  }
}

CNAExpression* CNARecherche::_pclAddKeyExpression(CNARecord* record, const Columns& columns, const Values& values,
                                                  CNAColumn* keyColumn, int i, int last, eNAOperator op,
                                                  unsigned int flags, eNAOperator join) {
  if (i < 0 || i >= static_cast<int>(columns.size())) return nullptr;
  CNAColumn* column = columns[static_cast<size_t>(i)];
  const CRefArray<CNAColumn>* parts = keyColumn != nullptr ? keyColumn->pclGetTabComponent() : nullptr;
  const bool descending = parts != nullptr && i < parts->nGetCount()
                              ? keyColumn->bGetDescendantComponent(i + 1) != 0
                              : CNAExpression::s_bDescendingInBrowse(record, column, m_piFetchItem);
  eNAOperator own = descending ? CNAExpression::s_eInvertOperator(op) : op;
  // The value given, read where it stands; an empty one of the column's type past them.
  CAny missing;
  const CAny* value = &missing;
  if (i < static_cast<int>(values.size())) {
    value = &values[static_cast<size_t>(i)];
  } else {
    missing.__SetType(column->eGetZVType(), 0);
    if (column->eGetZVType() == ZV_DATETIME || column->eGetZVType() == ZV_DATEA) {
      missing.SetNull(true);
      own = NA_OP_ISNULL;
    }
  }
  const bool unbound = (flags & NA_SEARCH_GENERIC) != 0 && IsDateKind(column->eGetZVType()) &&
                       g_bIsZVText(value->wGetType());
  CNADriver* driver = Driver();
  CNAConvertVariant* holder =
      driver != nullptr ? driver->pclGetNewVariant_NV_Any(m_pclError, column->pclGetCnx(), unbound ? nullptr : column,
                                                          value)
                        : nullptr;
  if (holder == nullptr) return nullptr;
  holder->AddRef();
  CNAExpression* node = pclAllocExpression();
  const unsigned int bytes = m_nBytesFrom >= 0 && i >= m_nBytesFrom ? NA_EXPR_BYTES : 0;
  if (node != nullptr) {
    node->InitExpression(own, column, holder, flags | bytes | (bIsComposedKeySearch() ? NA_EXPR_COMPONENT : 0));
    if ((flags & (NA_SEARCH_RECORD | NA_SEARCH_RECORDVALUES)) != 0 && value != &missing)
      _NameByServerText(record, column, node);
  }
  holder->nRelease();
  if (node == nullptr || i >= last) return node;
  CNAExpression* rest = _pclAddKeyExpression(record, columns, values, keyColumn, i + 1, last, op, flags, join);
  if (rest == nullptr) {
    Unref(node);
    return nullptr;
  }
  return Join(node, join, rest, flags);
}

void CNARecherche::_NameByServerText(CNARecord* record, CNAColumn* column, CNAExpression* node) {
  const CNARecordValue* row = m_pclNamingValue != nullptr ? m_pclNamingValue
                              : record != nullptr       ? record->pclGetNamingValueNoRef()
                                                        : nullptr;
  const CNARecordMemo::STServerText* text = row != nullptr ? row->pGetServerText(column->nGetPhysicalIndice()) : nullptr;
  if (text == nullptr) return;
  const eNASERVERTEXT kind = static_cast<eNASERVERTEXT>(text->nKind);
  // A comparison of bytes follows the browse order's own bytes, those of the connection's page:
  // a text read as UTF-8 is written in the page when the page holds it; otherwise only an
  // equality names the row, by its UTF-8 bytes.
  std::string page;
  const char* bytes = text->sText.data();
  size_t length = text->sText.size();
  eNASERVERTEXT written = kind;
  if (kind == NA_SERVERTEXT_TEXTUTF8 && (node->dwGetFlags() & NA_EXPR_BYTES) != 0) {
    if (m_pclCnx != nullptr && g_bUtf8InPage(bytes, length, m_pclCnx->nGetServerCodePage(), &page)) {
      bytes = page.data();
      length = page.size();
      written = NA_SERVERTEXT_TEXT;
    } else if (node->eGetOperator() == NA_OP_EQ) {
      written = NA_SERVERTEXT_BINARY;
    } else {
      return;
    }
  }
  CTString literal;
  if (!text->bLost && g_bServerTextLiteral(&literal, written, bytes, length, m_pclCnx)) {
    // The kind read tells how the literal compares: UTF-8 bytes with the column's own.
    node->SetServerLiteral(literal.pszGet(), written == NA_SERVERTEXT_BINARY ? kind : written);
    m_bServerText = true;
    return;
  }
  if (m_csLostItem.nTaille() == 0) m_csLostItem = column->pszGetName();
}

CNAExpression* CNARecherche::_pclAddKeyExpressionEq(CNARecord* record, const Columns& columns, const Values& values,
                                                    CNAColumn* keyColumn, unsigned int flags) {
  const bool generic = (flags & NA_SEARCH_GENERIC) != 0;
  int n = static_cast<int>(columns.size());
  if ((flags & NA_SEARCH_FILLTEST) != 0 || generic) n = static_cast<int>(values.size());
  if (n > static_cast<int>(columns.size())) n = static_cast<int>(columns.size());
  if (n <= 0) return nullptr;
  const unsigned int plainFlags = flags & ~NA_SEARCH_GENERIC;
  if ((flags & NA_SEARCH_RECORD) == 0) {
    for (int i = 0; i < n; ++i) {
      CNAColumn* c = columns[static_cast<size_t>(i)];
      const bool given = i < static_cast<int>(values.size()) && !c->bNullOrEquivalent(&values[static_cast<size_t>(i)]);
      if (!c->bUniqueNotNull() && !(c->bIsUnique() && given)) continue;
      if (i == n - 1 && generic) break;
      return _pclAddKeyExpression(record, columns, values, keyColumn, i, i, NA_OP_EQ, plainFlags, NA_OP_AND);
    }
  }
  CNAExpression* chain = nullptr;
  for (int i = n - 1; i >= 0; --i) {
    const unsigned int own = i == n - 1 && generic ? flags : plainFlags;
    CNAExpression* leaf = _pclAddKeyExpression(record, columns, values, keyColumn, i, i, NA_OP_EQ, own, NA_OP_AND);
    if (leaf == nullptr) {
      Unref(chain);
      return nullptr;
    }
    chain = chain == nullptr ? leaf : Join(leaf, NA_OP_AND, chain, plainFlags);
    if (chain == nullptr) return nullptr;
  }
  return chain;
}

CNAExpression* CNARecherche::_pclAddBorne(CNARecord* record, const Columns& columns, const Values& values,
                                          CNAColumn* keyColumn, int i, eNAOperator op, unsigned int flags) {
  const unsigned short zv = columns[static_cast<size_t>(i)]->eGetZVType();
  if ((flags & NA_SEARCH_GENERIC) != 0 && (g_bIsZVText(zv) || zv == ZV_DATETIME) && (op == NA_OP_GT || op == NA_OP_LE)) {
    // Past every value starting with v, or up to the last of them.
    const bool after = op == NA_OP_GT;
    CNAExpression* strict = _pclAddKeyExpression(record, columns, values, keyColumn, i, i, after ? NA_OP_GT : NA_OP_LT,
                                                 flags & ~NA_SEARCH_GENERIC, NA_OP_AND);
    CNAExpression* prefix = strict != nullptr ? _pclAddKeyExpression(record, columns, values, keyColumn, i, i,
                                                                     after ? NA_OP_NE : NA_OP_EQ, flags, NA_OP_AND)
                                              : nullptr;
    if (prefix == nullptr) {
      Unref(strict);
      return nullptr;
    }
    return Join(strict, after ? NA_OP_AND : NA_OP_OR, prefix, flags);
  }
  return _pclAddKeyExpression(record, columns, values, keyColumn, i, i, op, flags, NA_OP_AND);
}

CNAExpression* CNARecherche::_pclAddKeyExpressionInfSupCompositeKey(CNARecord* record, const Columns& columns,
                                                                    Values* values, CNAColumn* keyColumn,
                                                                    eNAOperator op, BOOL minimum, BOOL maximum,
                                                                    unsigned int flags) {
  int n = static_cast<int>(values->size());
  if ((flags & NA_SEARCH_FILLTEST) != 0 && n > 0 && ((maximum && op == NA_OP_LE) || (minimum && op == NA_OP_GE))) --n;
  return _pclAddKeyExpressionInfSup(record, columns, values, keyColumn, n, op, flags);
}

CNAExpression* CNARecherche::_pclAddKeyExpressionInfSupRecord(CNARecord* record, const Columns& columns,
                                                              Values* values, CNAColumn* keyColumn, eNAOperator op,
                                                              unsigned int flags) {
  const int n = static_cast<int>((flags & NA_SEARCH_GENERIC) != 0 ? values->size() : columns.size());
  return _pclAddKeyExpressionInfSup(record, columns, values, keyColumn, n, op, flags);
}

CNAExpression* CNARecherche::_pclAddKeyExpressionInfSup(CNARecord* record, const Columns& columns, Values* values,
                                                        CNAColumn* keyColumn, int n, eNAOperator op,
                                                        unsigned int flags) {
  if (n > static_cast<int>(columns.size())) n = static_cast<int>(columns.size());
  if (n <= 0) return nullptr;
  CColumnNullValueExcluded nulls;
  return _pclInfSup(record, columns, values, keyColumn, 0, n, op, flags,
                    record != nullptr && record->nGetNbComposedKey() > 0 ? &nulls : nullptr);
}

CNAExpression* CNARecherche::_pclInfSup(CNARecord* record, const Columns& columns, Values* values,
                                        CNAColumn* keyColumn, int i, int n, eNAOperator op, unsigned int flags,
                                        CColumnNullValueExcluded* nulls) {
  if (i == n - 1) {
    if ((flags & NA_SEARCH_GENERIC) == 0 && op == NA_OP_LE && _bGenericSearchDueTohValMax(columns, values, i))
      flags |= NA_SEARCH_GENERIC;
    return _pclAddBorne(record, columns, *values, keyColumn, i, op, flags);
  }
  const unsigned int plainFlags = flags & ~NA_SEARCH_GENERIC;
  const eNAOperator strict = op == NA_OP_LE ? NA_OP_LT : op == NA_OP_GE ? NA_OP_GT : op;
  CNAColumn* column = columns[static_cast<size_t>(i)];
  CNAExpression* beyond = _pclAddKeyExpression(record, columns, *values, keyColumn, i, i, strict, plainFlags, NA_OP_AND);
  if (beyond == nullptr) return nullptr;
  if (nulls != nullptr) {
    nulls->bCombineColumnValuesNullSelected(NA_OP_AND, column, beyond->bColumnValuesNullSelected(column));
    if (op == NA_OP_GT || op == NA_OP_LT) {
      CRefArray<CNAColumn> prefix;
      for (int k = 0; k <= i; ++k) prefix.AjouteRef(columns[static_cast<size_t>(k)]);
      if (i >= 1 && record->bComposedKeyUniqueNotNullAdded(&prefix, i + 1, nulls)) return beyond;
    }
  }
  CNAExpression* same = _pclAddKeyExpression(record, columns, *values, keyColumn, i, i, NA_OP_EQ, plainFlags, NA_OP_AND);
  if (same == nullptr) {
    Unref(beyond);
    return nullptr;
  }
  if (nulls != nullptr) nulls->bCombineColumnValuesNullSelected(NA_OP_OR, column, same->bColumnValuesNullSelected(column));
  CNAExpression* rest = _pclInfSup(record, columns, values, keyColumn, i + 1, n, op, flags, nulls);
  if (rest == nullptr) {
    Unref(beyond);
    Unref(same);
    return nullptr;
  }
  CNAExpression* tail = Join(same, NA_OP_AND, rest, plainFlags);
  return tail != nullptr ? Join(beyond, NA_OP_OR, tail, plainFlags) : (Unref(beyond), nullptr);
}

BOOL CNARecherche::_bGenericSearchDueTohValMax(const Columns& columns, Values* values, int i) {
  if (i < 0 || i >= static_cast<int>(values->size()) || i >= static_cast<int>(columns.size())) return FALSE;
  if (!g_bIsZVText(columns[static_cast<size_t>(i)]->eGetZVType())) return FALSE;
  CAny& value = (*values)[static_cast<size_t>(i)];
  if (value.bIsNull()) return FALSE;
  if (g_bIsZVTextWide(value.wGetType())) {
    std::wstring text = WideOf(value);
    if (text.empty() || !IsWideFill(text.back())) return FALSE;
    text.pop_back();
    SetWide(&value, text);
    return TRUE;
  }
  std::string text = AnsiOf(value);
  if (text.empty() || static_cast<unsigned char>(text.back()) != 0xFF) return FALSE;
  text.pop_back();
  SetAnsi(&value, text);
  return TRUE;
}

void CNARecherche::_GetComponentValue(const Columns& components, const CAny* value, Values* values, BOOL* minimum,
                                      BOOL* maximum, unsigned int flags) {
  values->clear();
  unsigned int total = 0;
  const unsigned char* bytes = value != nullptr && !value->bIsNull() ? DataOf(value, &total) : nullptr;
  if (bytes == nullptr || total == 0) return;
  const bool fills = (flags & (NA_SEARCH_FILLTEST | NA_SEARCH_GENERIC)) != 0;
  unsigned int at = 0;
  for (CNAColumn* part : components) {
    if (at >= total) break;
    const unsigned short zv = part->eGetZVType();
    const eNA_ITEMTYPE type = part->eNAGetItemType();
    const bool wide = g_bIsZVTextWide(zv);
    unsigned int size = part->nGetLogicalSize() * (wide ? 2u : 1u);
    // A binary component is its length, then its bytes, then the fill to its size.
    unsigned int fill = 0;
    if (type == NA_IT_BINAIRE) {
      if (total - at < 2) break;
      uint16_t length = 0;
      memcpy(&length, bytes + at, 2);
      at += 2;
      // The room is the one the key's value is built with (CNAColumn::_bGetComposedKeyValue).
      const unsigned int field = part->piGetItemNoRef()->nGetTotalSize();
      const unsigned int room = field >= 2 ? field - 2 : 0;
      size = std::min<unsigned int>(length, room);
      if (size > total - at) break;
      fill = room - size;
    }
    const unsigned int left = total - at;
    if (left > 0 && left <= size && fills && type != NA_IT_UI1 && type != NA_IT_I1) {
      const bool min = wide ? left == 2 && bytes[at] == 0 && bytes[at + 1] == 0 : left == 1 && bytes[at] == 0;
      const bool max = bytes[at] == 0xFF;
      if (min) *minimum = TRUE;
      if (max) *maximum = TRUE;
      if ((min || max) && !g_bIsZVTextAnsi(zv)) {
        CAny& fill = values->emplace_back();
        fill.__SetType(zv, 0);
        if (min)
          s_SetAnyToMin(&fill);
        else
          s_SetAnyToMax(&fill);
        at = total;
        continue;
      }
    }
    const unsigned int taken = size < left ? size : left;
    const unsigned char* p = bytes + at;
    if (g_bIsZVTextAnsi(zv) || type == NA_IT_TEXTE || type == NA_IT_MEMOTEXTE || type == NA_IT_CHAR) {
      unsigned int n = 0;
      while (n < taken && p[n] != 0) ++n;
      CAny& text = values->emplace_back();
      text.__SetType(zv, 0);
      text.SetValueByte(p, n);
    } else if (wide) {
      // UTF-16 units up to the first zero one, pairs joined.
      std::wstring text;
      for (unsigned int k = 0; k + 1 < taken; k += 2) {
        const unsigned int unit = p[k] | (p[k + 1] << 8);
        if (unit == 0) break;
        if (unit >= 0xD800 && unit < 0xDC00 && k + 3 < taken) {
          const unsigned int low = p[k + 2] | (p[k + 3] << 8);
          if (low >= 0xDC00 && low < 0xE000) {
            text += static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
            k += 2;
            continue;
          }
        }
        text += static_cast<wchar_t>(unit);
      }
      SetWide(&values->emplace_back(), text);
    } else if (taken < size) {
      break;
    } else if (zv == ZV_DECIMAL) {
      CAny& number = values->emplace_back();
      number.__SetType(ZV_DECIMAL, 0);
      IDecimal* decimal = Read<IDecimal*>(&number);
      if (decimal != nullptr) decimal->nLoad(part->nGetIntegerPart() + part->nGetDecimalPart(), part->nGetDecimalPart(), p);
    } else {
      CAny& raw = values->emplace_back();
      raw.__SetType(zv, 0);
      raw.SetValueByte(p, taken);
    }
    at += taken;
    at += std::min(fill, total - at);
  }
}

void CNARecherche::_GetValue(CNAColumn* column, CAny* value, BOOL* usable, BOOL* minimum, BOOL* maximum) {
  const eNA_CHECKVALUE check = eCheckValue(value);
  *minimum = check == NA_VALUE_MIN ? TRUE : FALSE;
  *maximum = check == NA_VALUE_MAX ? TRUE : FALSE;
  *usable = check == NA_VALUE_ORDINARY ? TRUE : FALSE;
  if (check != NA_VALUE_MAX || column == nullptr || !g_bIsZVText(column->eGetZVType())) return;
  // The fill is the last character: what comes before it is still a bound.
  if (g_bIsZVTextWide(value->wGetType())) {
    std::wstring text = WideOf(*value);
    if (!text.empty()) text.pop_back();
    SetWide(value, text);
    *usable = text.empty() ? FALSE : TRUE;
    return;
  }
  std::string text = AnsiOf(*value);
  if (!text.empty()) text.pop_back();
  SetAnsi(value, text);
  *usable = text.empty() ? FALSE : TRUE;
}

// ================================================================ Writing

BOOL CNARecherche::bGetSQL(CNACommand* command, CNAFilter* filter, CNARecord* record) {
  if (command == nullptr) return FALSE;
  command->ResetCommand(0);
  m_tabParameter.SupprimeTout();
  CNAExpression* filterTree = filter != nullptr && filter->bIsFilterActive() ? filter->pclGetEqualTreeNoRef() : nullptr;
  CNAExpression* tree = m_pclCurrent;
  CNAExpression* both = nullptr;
  if (filterTree != nullptr && tree != nullptr) {
    both = pclAllocExpression();
    if (both == nullptr) {
      CNAError::g_RaiseNoMemory(m_pclError, m_pclCnx);
      return FALSE;
    }
    both->AddRef();
    both->InitExpression(NA_OP_AND, filterTree, tree, bIsComposedKeySearch() ? NA_EXPR_COMPONENT : 0);
    tree = both;
  } else if (tree == nullptr) {
    tree = filterTree;
  }
  if (tree == nullptr) return TRUE;
  int folded = 0;
  BOOL result = tree->bGetSQL(command, NA_OP_NONE, this, &folded, record);
  if (tree->eGetOperator() == NA_OP_FALSE && command->nGetOriginalSQLLength() == 0) {
    int again = 0;
    tree->_bGetSQLFromValue(command, this, &again);
  }
  if (!folded && !command->bCopyColumnValuesNullSelected(tree->pclGetColumnNullValueExcludedNoRef())) result = FALSE;
  if (both != nullptr) both->nRelease();
  return result;
}

BOOL CNARecherche::bRewriteCurrentValue(CNACommand* command, unsigned int conditionAt, unsigned int selectAt,
                                        const eNA_ITEMTYPE* conversion) {
  if (m_pclCurrent == nullptr || command == nullptr) return FALSE;
  // The last write's parameter and its copy in command, held by nobody else and as they were
  // made, are renewed rather than made again.
  CNAColumn* column = m_pclCurrent->pclGetColumnNoRef();
  auto asMade = [column](const CNAParameter* p, unsigned int at) {
    return p != nullptr && p->nGetRefCount() == 1 && p->nGetPosition() == at && p->dwGetOptions() == 0 &&
           p->pclGetColumnNoRef() == column && p->cGetEscape() == 0 &&
           p->eGetOperator() == static_cast<eOPEXPRESSION>(-1) && p->eGetDirection() == CNAParameter::NA_PARAM_IN &&
           (p->pszGetName() == nullptr || *p->pszGetName() == 0);
  };
  CNAParameter* own = m_tabParameter.nGetCount() == 1 ? m_tabParameter[0] : nullptr;
  const int last = command->nGetParameterNbr() - 1;
  CNAParameter* copy = last >= 0 ? command->pclGetParameterNoRef(last) : nullptr;
  const bool kept = own != copy && asMade(own, conditionAt) && asMade(copy, selectAt) &&
                    own->pclGetValueNoRef() == copy->pclGetValueNoRef();
  return m_pclCurrent->bRewriteValue(command, this, conditionAt, selectAt, kept ? own : nullptr, kept ? copy : nullptr,
                                     conversion);
}

// ================================================================ State

BOOL CNARecherche::_SetContinueParcours(eNA_PARSEDIRECTION direction) {
  CNAExpression* next = nullptr;
  if (m_nState == 1) {
    m_nState = 2;
    next = direction == NA_PARSE_FIRST ? m_pclAfter : m_pclBefore;
  } else {
    m_nState = 1;
    next = m_pclEqual;
  }
  if (next != nullptr) next->AddRef();
  _Release(&m_pclCurrent);
  m_pclCurrent = next;
  m_eDirection = direction;
  return TRUE;
}

BOOL CNARecherche::bPeutContinuerParcours(eNA_PARSEDIRECTION direction) const {
  if (m_nState == 1) return TRUE;
  return m_nState == 2 && direction != m_eDirection ? TRUE : FALSE;
}

void CNARecherche::Desactivate() {
  m_nState = 0;
  _Release(&m_pclCurrent);
}

BOOL CNARecherche::bIsComposedKeySearch() const {
  if ((m_dwFlags & NA_SEARCH_RECORD) != 0 || m_piFetchItem == nullptr) return FALSE;
  return m_piFetchItem->bIsComposedKey();
}

CNAExpression* CNARecherche::pclGetExpression() const {
  if (m_pclEqual != nullptr) m_pclEqual->AddRef();
  return m_pclEqual;
}

// ================================================================ Parameters

CNAParameter* CNARecherche::pclGetParameter(int i) const {
  if (i < 0 || i >= m_tabParameter.nGetCount()) return nullptr;
  m_tabParameter[i]->AddRef();
  return m_tabParameter[i];
}

void CNARecherche::GetParameterFromQuery(CNACommand* command, unsigned int from) {
  if (command == nullptr) return;
  for (int i = static_cast<int>(from); i < command->nGetParameterNbr(); ++i)
    m_tabParameter.AjouteRef(command->pclGetParameterNoRef(i));
}

CNAParameter* CNARecherche::_pclAddParameter(CNAColumn* column, CNAConvertVariant* value, unsigned int position,
                                             unsigned int options) {
  CNADriver* driver = Driver();
  CNAParameter* parameter = driver != nullptr ? driver->pclAllocParameter_col(column, value, position, options, nullptr)
                                              : nullptr;
  if (parameter == nullptr) return nullptr;
  if (m_tabParameter.AjouteRef(parameter) == nullptr) {
    parameter->AddRef();
    parameter->nRelease();
    return nullptr;
  }
  return parameter;
}

void CNARecherche::_RemoveParameterByPos(unsigned int position, const CNACommand* command) {
  auto held = [command](const CNAParameter* p) {
    for (int k = command->nGetParameterNbr() - 1; k >= 0; --k)
      if (command->pclGetParameterNoRef(k) == p) return true;
    return false;
  };
  for (int i = m_tabParameter.nGetCount() - 1; i >= 0; --i) {
    CNAParameter* p = m_tabParameter[i];
    if (p->nGetPosition() < position || (command != nullptr && held(p))) break;
    m_tabParameter.SupprimeRef(i);
  }
}

// ================================================================ Comparison

BOOL CNARecherche::bEqualsSearch(const CNARecherche* other) const {
  if (other == this) return TRUE;
  if (other == nullptr || m_nState != other->m_nState || m_eDirection != other->m_eDirection ||
      m_dwFlags != other->m_dwFlags)
    return FALSE;
  // The server's texts are in no parameter.
  if (m_bServerText || other->m_bServerText) return FALSE;
  if ((m_piFetchItem == nullptr) != (other->m_piFetchItem == nullptr)) return FALSE;
  if (m_piFetchItem != nullptr && wcscmp(m_piFetchItem->pszGetName(), other->m_piFetchItem->pszGetName()) != 0)
    return FALSE;
  int same = 0;
  if (m_clValue.wGetType() != ZV_VIDE || other->m_clValue.wGetType() != ZV_VIDE) {
    if (nEgalite(m_clValue, other->m_clValue, &same, 0) > 99 || same == 0) return FALSE;
  }
  if (m_tabParameter.nGetCount() != other->m_tabParameter.nGetCount()) return FALSE;
  for (int i = 0; i < m_tabParameter.nGetCount(); ++i)
    if (!m_tabParameter[i]->bEqualsParameter(other->m_tabParameter[i])) return FALSE;
  return TRUE;
}

BOOL CNARecherche::g_bEqualsSearch(const CNARecherche* a, const CNARecherche* b) {
  if (a == nullptr && b == nullptr) return TRUE;
  if (a == nullptr) return b->m_nState == 0 ? TRUE : FALSE;
  if (b == nullptr) return a->m_nState == 0 ? TRUE : FALSE;
  return a->bEqualsSearch(b);
}

// ================================================================ Values

BOOL CNARecherche::s_bTextWithTerminator(const CAny& value, CAny* text) {
  if (!EndsWithZero(value)) return FALSE;
  unsigned int size = 0;
  const unsigned char* data = DataOf(&value, &size);
  if (data == nullptr || value.Intern()->nGetUtilDataSize(&size) != 0) return FALSE;
  if (g_bIsZVTextWide(value.wGetType()))
    SetWide(text, std::wstring(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t) - 1));
  else
    SetAnsi(text, std::string(reinterpret_cast<const char*>(data), size - 1));
  return TRUE;
}

BOOL CNARecherche::s_bEspaceSQL(wchar_t c) { return c == 9 || c == 10 || c == 13 || c == 32 ? TRUE : FALSE; }

namespace {

// The decimal's own bound at its precision and scale compared with it.
bool DecimalAtBound(const CAny* value, bool max) {
  IDecimal* decimal = Read<IDecimal*>(value);
  if (decimal == nullptr) return false;
  CAny bound(*value);
  IDecimal* copy = Read<IDecimal*>(&bound);
  if (copy == nullptr || copy == decimal) return false;
  if (max)
    copy->SetToMax();
  else
    copy->SetToMin();
  return copy->nCompare(decimal) == 0;
}

}  // namespace

eNA_CHECKVALUE CNARecherche::eCheckValue(const CAny* value) {
  if (value == nullptr || value->bIsNull() || value->wGetType() > 129) return NA_VALUE_ORDINARY;
  auto by = [](bool min, bool max) { return min ? NA_VALUE_MIN : max ? NA_VALUE_MAX : NA_VALUE_ORDINARY; };
  switch (value->wGetType()) {
    case ZV_UI1: return by(Read<uint8_t>(value) == 0, Read<uint8_t>(value) == 0xFF);
    case ZV_UI2: return by(Read<uint16_t>(value) == 0, Read<uint16_t>(value) == 0xFFFF);
    case ZV_UI4:
    case ZV_UIX: return by(Read<uint32_t>(value) == 0, Read<uint32_t>(value) == 0xFFFFFFFFu);
    case ZV_UI8: return by(Read<uint64_t>(value) == 0, Read<uint64_t>(value) == UINT64_MAX);
    case ZV_I1: return by(Read<int8_t>(value) == INT8_MIN, Read<int8_t>(value) == INT8_MAX);
    case ZV_I2: return by(Read<int16_t>(value) == INT16_MIN, Read<int16_t>(value) == INT16_MAX);
    case ZV_I4: return by(Read<int32_t>(value) == INT32_MIN, Read<int32_t>(value) == INT32_MAX);
    case ZV_I8: return by(Read<int64_t>(value) == INT64_MIN, Read<int64_t>(value) == INT64_MAX);
    case ZV_R4: return by(Read<float>(value) == -FLT_MAX, Read<float>(value) == FLT_MAX);
    case ZV_R8: return by(Read<double>(value) == -DBL_MAX, Read<double>(value) == DBL_MAX);
    case ZV_DECIMAL: return by(DecimalAtBound(value, false), DecimalAtBound(value, true));
    case ZV_DSTRW:
    case ZV_DSTRA:
      return by(false, (CBaseStrMem::s_dwFlags(Read<void*>(value)) & XYSTR_FLAG_END_MARKER) != 0);
    case ZV_CARA: return by(false, Read<uint8_t>(value) == 0xFF);
    case ZV_PSTRA:
    case ZV_DATEA:
    case ZV_TIMEA: {
      const std::string text = AnsiOf(*value);
      return by(false, !text.empty() && static_cast<unsigned char>(text.back()) == 0xFF);
    }
    case ZV_DATEW:
    case ZV_TIMEW:
    case ZV_PSTRW: {
      const std::wstring text = WideOf(*value);
      return by(false, !text.empty() && IsWideFill(text.back()));
    }
    case ZV_DATETIME:
    case ZV_DUREE: {
      const uint32_t date = Read<uint32_t>(value);
      uint32_t milli = 0;
      memcpy(&milli, value->pGetValueArea() + 4, sizeof milli);
      return by(date == 0 && milli == 0, milli > 86399999u || (milli == 86399999u && date > 655297565u));
    }
    case ZV_CARW: return by(false, IsWideFill(Read<wchar_t>(value)));
    default: return NA_VALUE_ORDINARY;
  }
}

void CNARecherche::s_SetAnyToMax(CAny* value) {
  switch (value->wGetType()) {
    case ZV_BOOL: value->SetBOOL(1); break;
    case ZV_UI1: value->SetUI1(0xFF); break;
    case ZV_UI2: value->SetUI2(0xFFFF); break;
    case ZV_UI4: value->SetUI4(0xFFFFFFFFu); break;
    case ZV_UIX: SetFixed<uint32_t>(value, ZV_UIX, 0xFFFFFFFFu); break;
    case ZV_UI8: value->SetUI8(UINT64_MAX); break;
    case ZV_I1: value->SetI1(INT8_MAX); break;
    case ZV_I2: value->SetI2(INT16_MAX); break;
    case ZV_I4: value->SetI4(INT32_MAX); break;
    case ZV_I8: value->SetI8(INT64_MAX); break;
    case ZV_CY: {
      CMoney m;
      pstChaineVersMonetaire(&m, L"604462909807314587.353087");
      SetFixed(value, ZV_CY, m);
      break;
    }
    case ZV_R4: value->SetR4(FLT_MAX); break;
    case ZV_R8: value->SetR8(DBL_MAX); break;
    case ZV_DECIMAL:
      if (IDecimal* d = Read<IDecimal*>(value)) d->SetToMax();
      break;
    case ZV_DATEW: value->SetDATEW(L"30001231"); break;
    case ZV_TIMEW: value->SetTIMEW(L"235959999"); break;
    case ZV_DATETIME: {
      CDateTime dt;
      dt.Set(3000, 12, 31, 0, 0, 0, 0);
      value->SetDATETIME(dt);
      break;
    }
    case ZV_DUREE: SetFixed<int64_t>(value, ZV_DUREE, INT64_MAX); break;
    case ZV_DATEA: value->SetDATEA("30001231"); break;
    case ZV_TIMEA: value->SetTIMEA("235959999"); break;
    default: return;
  }
  value->SetNull(false);
}

void CNARecherche::s_SetAnyToMin(CAny* value) {
  switch (value->wGetType()) {
    case ZV_BOOL: value->SetBOOL(0); break;
    case ZV_UI1: value->SetUI1(0); break;
    case ZV_UI2: value->SetUI2(0); break;
    case ZV_UI4: value->SetUI4(0); break;
    case ZV_UIX: SetFixed<uint32_t>(value, ZV_UIX, 0); break;
    case ZV_UI8: value->SetUI8(0); break;
    case ZV_I1: value->SetI1(INT8_MIN); break;
    case ZV_I2: value->SetI2(INT16_MIN); break;
    case ZV_I4: value->SetI4(INT32_MIN); break;
    case ZV_I8: value->SetI8(INT64_MIN); break;
    case ZV_CY: {
      CMoney m;
      pstChaineVersMonetaire(&m, L"0");
      SetFixed(value, ZV_CY, m);
      break;
    }
    case ZV_R4: value->SetR4(-FLT_MAX); break;
    case ZV_R8: value->SetR8(-DBL_MAX); break;
    case ZV_DECIMAL:
      if (IDecimal* d = Read<IDecimal*>(value)) d->SetToMin();
      break;
    case ZV_DATEW: value->SetDATEW(L""); break;
    case ZV_TIMEW: value->SetTIMEW(L"0000"); break;
    case ZV_DATETIME: value->SetDATETIME(CDateTime()); break;
    case ZV_DUREE: SetFixed<int64_t>(value, ZV_DUREE, INT64_MIN); break;
    case ZV_DATEA: value->SetDATEA(""); break;
    case ZV_TIMEA: value->SetTIMEA("0000"); break;
    default: return;
  }
  value->SetNull(false);
}
