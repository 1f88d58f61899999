#include "sql/naexpression.h"

#include <cstring>
#include <cwchar>
#include <new>
#include <string>
#include <utility>

#include "access/nadataaccess.h"
#include "access/narecord.h"
#include "common/ctstring.h"
#include "common/xystring.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "sql/nacolumn.h"
#include "sql/inaitemdescription.h"
#include "sql/nacommand.h"
#include "sql/naitemdescription.h"
#include "sql/naconvertvariant.h"
#include "sql/narecherche.h"
#include "sql/naservertext.h"
#include "sql/sqlparserinfo.h"
#include "values/any_operators.h"
#include "values/xtime.h"

namespace {

enum { kSiteNullSet = 1 };
constexpr unsigned int kErrNoMemory = 12;

bool IsTextItem(eNA_ITEMTYPE t) {
  return t == NA_IT_TEXTE || t == NA_IT_MEMOTEXTE || t == NA_IT_CHAR || t == NA_IT_UNICODE || t == NA_IT_MEMOUNICODE;
}
bool IsDateItem(eNA_ITEMTYPE t) {
  return t == NA_IT_HEURE || t == NA_IT_DATE6 || t == NA_IT_DATE8 || t == NA_IT_DATETIME;
}

// The value as wide text; empty for NULL or a value without one.
std::wstring WideText(const CAny* value) {
  if (value == nullptr || value->bIsNull()) return {};
  CAny copy(*value);
  const wchar_t* text = nullptr;
  if (copy.__nCastToString(&text, nullptr) > 99 || text == nullptr) return {};
  return text;
}

// The value as an integer for the boolean rules (types 1, 4, 8); false when it is none of those.
bool ReadBoolean(const CAny* value, bool* truth) {
  const unsigned short t = value->wGetType();
  if (value->bIsNull() || (t != ZV_BOOL && t != ZV_UI4 && t != ZV_I4)) return false;
  int n = 0;
  memcpy(&n, value->pGetValueArea(), sizeof n);
  *truth = n != 0;
  return true;
}

// The highest character starts the text: the one ANSI character 255, or a wide text whose first
// character is a maximum fill (UTF-16's 0xFFFF or its 4-byte form).
bool StartsWithHighest(const CAny* value) {
  const unsigned short t = value->wGetType();
  CAny copy(*value);
  if (g_bIsZVTextWide(t)) {
    const wchar_t* text = nullptr;
    copy.Intern()->nGetPCWSTR(&text);
    if (text == nullptr && copy.__nCastToString(&text, nullptr) > 99) return false;
    return text != nullptr && (static_cast<uint32_t>(text[0]) == 0xFFFFu || static_cast<uint32_t>(text[0]) == 0xFFFFFFFFu);
  }
  const char* text = nullptr;
  copy.Intern()->nGetPCASTR(&text);
  if (text == nullptr && copy.__nCastToString(&text, nullptr) > 99) return false;
  return text != nullptr && static_cast<unsigned char>(text[0]) == 0xFF && text[1] == 0;
}

CNADriver* Driver() { return CNADriver::s_pclDriver; }

}  // namespace

// ================================================================ Life

CNAExpression::CNAExpression(CNAError* error) : m_pclError(error) { CNAError::s_Hold(m_pclError); }

CNAExpression::~CNAExpression() {
  if (m_pclLeft != nullptr) m_pclLeft->nRelease();
  if (m_pclRight != nullptr) m_pclRight->nRelease();
  if (m_pclColumn != nullptr) m_pclColumn->nRelease();
  if (m_pclValue != nullptr) m_pclValue->nRelease();
  if (m_pclParsed != nullptr) m_pclParsed->nRelease();
  CNAError::s_Drop(&m_pclError);
  delete m_pclNullExcluded;
  delete m_pclSpareNullExcluded;
}

CNAExpression* CNAExpression::pclAllocExpression() { return new (std::nothrow) CNAExpression(m_pclError); }

CNAExpression* CNAExpression::pclAllocExpression(eNAOperator op, CNAExpression* left, CNAExpression* right,
                                                 unsigned int flags) {
  CNAExpression* node = pclAllocExpression();
  if (node != nullptr) node->InitExpression(op, left, right, flags);
  return node;
}

CNAExpression* CNAExpression::pclAllocExpression(eNAOperator op, CNAColumn* column, CNAConvertVariant* value,
                                                 unsigned int flags) {
  CNAExpression* node = pclAllocExpression();
  if (node != nullptr) node->InitExpression(op, column, value, flags);
  return node;
}

CNAExpression* CNAExpression::pclAllocExpression(ISQLParserInformation* condition, unsigned int flags) {
  CNAExpression* node = pclAllocExpression();
  if (node != nullptr && !node->InitExpression(condition, flags)) {
    node->AddRef();
    node->nRelease();
    return nullptr;
  }
  return node;
}

CNAExpression* CNAExpression::pclAddOperation(eNAOperator op, CNAExpression* right) {
  return pclAllocExpression(op, this, right, m_dwFlags);
}

void CNAExpression::InitExpression(eNAOperator op, CNAExpression* left, CNAExpression* right, unsigned int flags) {
  m_eOperator = op;
  if (left != nullptr) left->AddRef();
  if (right != nullptr) right->AddRef();
  if (m_pclLeft != nullptr) m_pclLeft->nRelease();
  if (m_pclRight != nullptr) m_pclRight->nRelease();
  m_pclLeft = left;
  m_pclRight = right;
  _SetFlag(flags);
}

void CNAExpression::InitExpression(eNAOperator op, CNAColumn* column, CNAConvertVariant* value, unsigned int flags) {
  m_eOperator = op;
  if (column != nullptr) column->AddRef();
  if (value != nullptr) value->AddRef();
  if (m_pclColumn != nullptr) m_pclColumn->nRelease();
  if (m_pclValue != nullptr) m_pclValue->nRelease();
  m_pclColumn = column;
  m_pclValue = value;
  m_csServerLiteral.Vide();
  CSQLParserInfo* source = column != nullptr ? column->pclGetSourceQueryNoRef() : nullptr;
  if (source != nullptr) source->AddRef();
  if (m_pclParsed != nullptr) m_pclParsed->nRelease();
  m_pclParsed = source;
  _SetFlag(flags);
}

BOOL CNAExpression::InitExpression(ISQLParserInformation* condition, unsigned int flags) {
  auto* parsed = new (std::nothrow) CSQLParserInfo(m_pclError, condition, nullptr, 1);
  if (parsed == nullptr) return FALSE;
  parsed->AddRef();
  if (m_pclParsed != nullptr) m_pclParsed->nRelease();
  m_pclParsed = parsed;
  m_eOperator = NA_OP_SQL;
  _SetFlag(flags);
  return TRUE;
}

void CNAExpression::_SetFlag(unsigned int flags) {
  m_dwFlags = flags;
  if ((flags & (NA_EXPR_GENERIC | NA_EXPR_COMPONENT)) != (NA_EXPR_GENERIC | NA_EXPR_COMPONENT) ||
      m_pclColumn == nullptr || !IsTextItem(m_pclColumn->eNAGetItemType()))
    return;
  CAny value;
  const bool text = m_pclValue != nullptr && !m_pclValue->vbIsEmpty() && m_pclValue->vbGetValue(&value) &&
                    !value.bIsNull() && !WideText(&value).empty();
  if (!text) m_dwFlags &= ~NA_EXPR_GENERIC;
}

CNAExpression* CNAExpression::pclClone() {
  CNAExpression* copy = pclAllocExpression();
  if (copy == nullptr) return nullptr;
  if (m_eOperator == NA_OP_OR || m_eOperator == NA_OP_AND || m_eOperator == NA_OP_NOT) {
    CNAExpression* left = m_pclLeft != nullptr ? m_pclLeft->pclClone() : nullptr;
    CNAExpression* right = m_pclRight != nullptr ? m_pclRight->pclClone() : nullptr;
    const bool failed = (m_pclLeft != nullptr && left == nullptr) || (m_pclRight != nullptr && right == nullptr);
    if (!failed) copy->InitExpression(m_eOperator, left, right, m_dwFlags);
    for (CNAExpression* made : {left, right}) {
      if (made == nullptr) continue;
      made->AddRef();
      made->nRelease();
    }
    if (failed) {
      copy->AddRef();
      copy->nRelease();
      return nullptr;
    }
    return copy;
  }
  copy->InitExpression(m_eOperator, m_pclColumn, m_pclValue, m_dwFlags);
  if (bHasServerLiteral()) copy->SetServerLiteral(m_csServerLiteral.pszGet(), m_nServerLiteralKind);
  if (m_pclParsed != nullptr && m_pclParsed != copy->m_pclParsed) {
    m_pclParsed->AddRef();
    if (copy->m_pclParsed != nullptr) copy->m_pclParsed->nRelease();
    copy->m_pclParsed = m_pclParsed;
  }
  return copy;
}

void CNAExpression::RenewLeaf(eNAOperator op, CNAConvertVariant* value, unsigned int flags) {
  if (m_pclNullExcluded != nullptr) {
    delete m_pclSpareNullExcluded;
    m_pclSpareNullExcluded = std::exchange(m_pclNullExcluded, nullptr);
  }
  // The column stays, and with it its source query; _SetFlag has nothing to clear for flags
  // without the starts-with and component bits.
  CSQLParserInfo* source = m_pclColumn != nullptr ? m_pclColumn->pclGetSourceQueryNoRef() : nullptr;
  if (source != m_pclParsed || (flags & (NA_EXPR_GENERIC | NA_EXPR_COMPONENT)) != 0) {
    InitExpression(op, m_pclColumn, value, flags);
    return;
  }
  m_eOperator = op;
  if (value != nullptr) value->AddRef();
  if (m_pclValue != nullptr) m_pclValue->nRelease();
  m_pclValue = value;
  m_dwFlags = flags;
  m_csServerLiteral.Vide();
}

void CNAExpression::SetServerLiteral(const wchar_t* literal, int kind) {
  m_csServerLiteral = literal;
  m_nServerLiteralKind = kind;
}

void CNAExpression::Insert(CNAExpression* old, CNAExpression* replacement) {
  for (CNAExpression** slot : {&m_pclLeft, &m_pclRight}) {
    if (*slot != old || old == nullptr) continue;
    if (replacement != nullptr) replacement->AddRef();
    *slot = replacement;
    old->nRelease();
    return;
  }
}

// ================================================================ Statics

const wchar_t* CNAExpression::s_pszDumpOp(eNAOperator op) {
  switch (op) {
    case NA_OP_OR: return L" OR ";
    case NA_OP_AND: return L" AND ";
    case NA_OP_NOT: return L" NOT ";
    case NA_OP_EQ: return L"=";
    case NA_OP_GT: return L">";
    case NA_OP_LT: return L"<";
    case NA_OP_GE: return L">=";
    case NA_OP_LE: return L"<=";
    case NA_OP_FALSE: return L"0=1";
    case NA_OP_TRUE: return L"1=1";
    case NA_OP_NE: return L"<>";
    case NA_OP_ISNULL: return L" IS NULL";
    case NA_OP_ISNOTNULL: return L"IS NOT NULL";
    default: return L"";
  }
}

int CNAExpression::Convert_eNAOperator_To_eOPEXPRESSION(eNAOperator op) {
  switch (op) {
    case NA_OP_EQ: return 9;
    case NA_OP_GT: return 13;
    case NA_OP_LT: return 11;
    case NA_OP_GE: return 14;
    case NA_OP_LE: return 12;
    case NA_OP_NE: return 10;
    case NA_OP_ISNULL: return 33;
    default: return -1;
  }
}

eNAOperator CNAExpression::s_eInvertOperator(eNAOperator op) {
  switch (op) {
    case NA_OP_GT: return NA_OP_LT;
    case NA_OP_LT: return NA_OP_GT;
    case NA_OP_GE: return NA_OP_LE;
    case NA_OP_LE: return NA_OP_GE;
    default: return op;
  }
}

int CNAExpression::s_eGetSensTriColonne(CNARecord* record, CNAColumn* column) {
  if (record == nullptr || column == nullptr) return 0;
  CNADataAccess* access = record->pclGetDataAccessNoRef();
  CSQLParserInfo* query = record->pclGetSourceQueryNoRef();
  if (access == nullptr || query == nullptr || !access->bSourceIsQuery() || access->bRequeteSansCorrection()) return 0;
  IInfoOrderBy* entry = query->piGetRubriqueClauseOrder(column);
  return entry != nullptr ? entry->nGetDirection() : 0;
}

bool CNAExpression::s_bDescendingInBrowse(CNARecord* record, CNAColumn* column, INAItemDescription* browse) {
  if (record == nullptr || column == nullptr) return false;
  const CNADataAccess* access = record->pclGetDataAccessNoRef();
  if (access != nullptr && access->bSourceIsQuery()) return s_eGetSensTriColonne(record, column) == 1;
  // The table's ORDER BY turns every entry round for a descending key.
  return browse != nullptr && browse->bIsKey() && browse->bGetDescendant(-1);
}

BOOL CNAExpression::_s_bExpressionTrueString(eNAOperator op, CNAConnectionDescription* cnx, const CAny* value) {
  if (value == nullptr) return FALSE;
  const bool null = value->bIsNull();
  const BOOL nullFirst = cnx != nullptr ? cnx->bNULLBeforeNotNULL() : TRUE;
  if (op == NA_OP_GE) {
    if (null) return nullFirst;
    return g_bIsZVText(value->wGetType()) && WideText(value).empty() ? TRUE : FALSE;
  }
  if (op == NA_OP_LE) {
    if (null) return !nullFirst;
    return g_bIsZVText(value->wGetType()) && StartsWithHighest(value) ? TRUE : FALSE;
  }
  return FALSE;
}

BOOL CNAExpression::s_bExpressionTrue(eNAOperator op, CNAConnectionDescription* cnx, const CAny* value) {
  if (value == nullptr) return FALSE;
  // Only a value typed boolean: an integer 0 is no lower bound of anything.
  bool truth = false;
  if (value->wGetType() == ZV_BOOL)
    return ReadBoolean(value, &truth) && ((op == NA_OP_GE && !truth) || (op == NA_OP_LE && truth)) ? TRUE : FALSE;
  return g_bIsZVText(value->wGetType()) ? _s_bExpressionTrueString(op, cnx, value) : FALSE;
}

namespace {

// The partial text completed downwards (max false) or past its last value (max true), of the
// host type of the item type.
BOOL DateBound(eNA_ITEMTYPE type, const CAny* partial, CAny* bound, bool max) {
  const std::wstring text = WideText(partial);
  if (text.empty() || bound == nullptr) return FALSE;
  CXTime t;
  CTString out;
  if (type == NA_IT_HEURE) {
    if (!(max ? t.bSetZVTimeMax(text.c_str(), -1) : t.bSetZVTimeMin(text.c_str(), -1))) return FALSE;
    t.GetZVTimeHHMMSSCCm(out);
    bound->SetTIMEW(out.pszGet());
    return TRUE;
  }
  if (!(max ? t.bSetZVDateTimeMax(text.c_str(), -1) : t.bSetZVDateTimeMin(text.c_str(), -1))) return FALSE;
  if (type == NA_IT_DATE8) {
    t.GetZVDate(out);
    bound->SetDATEW(out.pszGet());
    return TRUE;
  }
  CDateTime dt;
  if (!t.GetZVDateTime(&dt)) return FALSE;
  bound->SetDATETIME(dt);
  return TRUE;
}

}  // namespace

BOOL CNAExpression::s_bGetBorneRechercheDateMin(eNA_ITEMTYPE type, const CAny* partial, CAny* bound) {
  return DateBound(type, partial, bound, false);
}

BOOL CNAExpression::s_bGetBorneRechercheDateMax(eNA_ITEMTYPE type, const CAny* partial, CAny* bound) {
  return DateBound(type, partial, bound, true);
}

BOOL CNAExpression::s_bGetBorneRechercheDateGenerique(eNA_ITEMTYPE type, const CAny* partial, CAny* min, CAny* max) {
  return s_bGetBorneRechercheDateMin(type, partial, min) && s_bGetBorneRechercheDateMax(type, partial, max) ? TRUE
                                                                                                             : FALSE;
}

// ================================================================ Browse trees

CNAExpression* CNAExpression::pclTransformEqualTo(CNARecord* record, CNAExpression* parent, eNAOperator op) {
  if (m_eOperator == NA_OP_AND || m_eOperator == NA_OP_OR || m_eOperator == NA_OP_NOT) {
    if (m_pclLeft != nullptr) m_pclLeft->pclTransformEqualTo(record, this, op);
    if (m_pclRight != nullptr) m_pclRight->pclTransformEqualTo(record, this, op);
    return this;
  }
  if (m_eOperator != NA_OP_EQ) return this;
  // A starts-with on a date or time covers a range as a text prefix does: past it is past all of it.
  const bool text = m_pclColumn != nullptr &&
                    (IsTextItem(m_pclColumn->eNAGetItemType()) || IsDateItem(m_pclColumn->eNAGetItemType()));
  const bool nonNull = m_pclValue != nullptr && !m_pclValue->bIsNull();
  m_dwFlags |= NA_EXPR_PAST_MATCHES;
  if (text && bIsGenerique() && nonNull) {
    if (op == NA_OP_LT) {
      m_eOperator = NA_OP_LT;
      return this;
    }
    CNAExpression* beyond = pclAllocExpression(op, m_pclColumn, m_pclValue, m_dwFlags);
    CNAExpression* notThis = beyond != nullptr ? pclAllocExpression(NA_OP_NOT, this, nullptr, m_dwFlags) : nullptr;
    CNAExpression* both = notThis != nullptr ? pclAllocExpression(NA_OP_AND, notThis, beyond, m_dwFlags) : nullptr;
    if (both == nullptr) {
      for (CNAExpression* made : {beyond, notThis}) {
        if (made == nullptr) continue;
        made->AddRef();
        made->nRelease();
      }
      return this;
    }
    if (parent != nullptr) parent->Insert(this, both);
    return both;
  }
  m_eOperator = s_bDescendingInBrowse(record, m_pclColumn, m_pclColumn->piGetItemNoRef()) ? s_eInvertOperator(op) : op;
  return this;
}

// ================================================================ Writing

CNAConnectionDescription* CNAExpression::_pclGetCnx() const {
  return m_pclColumn != nullptr ? m_pclColumn->pclGetCnx() : nullptr;
}

void CNAExpression::_CutBack(CNACommand* command, CNARecherche* search, unsigned int length, int count) {
  command->TronqueParameters(length, count);
  if (search != nullptr) search->_RemoveParameterByPos(length, command);
}

BOOL CNAExpression::_bWriteOperand(CNAExpression* operand, CNACommand* command, eNAOperator parent,
                                   CNARecherche* search, int* folded, CNARecord* record) {
  *folded = 0;
  return operand != nullptr ? operand->bGetSQL(command, parent, search, folded, record) : TRUE;
}

BOOL CNAExpression::bGetSQL(CNACommand* command, eNAOperator parent, CNARecherche* search, int* folded,
                            CNARecord* record) {
  int scratch = 0;
  if (folded == nullptr) folded = &scratch;
  *folded = 0;
  if (m_pclNullExcluded != nullptr) m_pclNullExcluded->Reset();
  if (m_eOperator == NA_OP_NONE || command == nullptr) return TRUE;

  if (m_pclColumn != nullptr && m_eOperator != NA_OP_SQL) {
    const unsigned short zv = m_pclColumn->eGetZVType();
    if (zv == ZV_BOOL) _ProcessBoolean();
    else if (g_bIsZVText(zv)) _ProcessString();
  }
  // Decided for every row, now or by an earlier write: the parent applies the constant.
  if (m_eOperator == NA_OP_TRUE || m_eOperator == NA_OP_FALSE) {
    *folded = 1;
    return TRUE;
  }
  if (m_eOperator == NA_OP_SQL) return _bGetSQLFromSQL(command, search, record);
  if (m_eOperator != NA_OP_AND && m_eOperator != NA_OP_OR && m_eOperator != NA_OP_NOT)
    return _bGetSQLFromValue(command, search, folded);

  const unsigned int l0 = static_cast<unsigned int>(command->nGetOriginalSQLLength());
  const int p0 = command->nGetParameterNbr();
  BOOL result = TRUE;

  if (m_eOperator == NA_OP_NOT) {
    command->bComplete(L" NOT (");
    int operandFolded = 0;
    result = _bWriteOperand(m_pclLeft, command, NA_OP_NOT, search, &operandFolded, record);
    if (operandFolded) {
      // NOT of a constant is the other constant, for its parent to apply.
      m_eOperator = m_pclLeft->m_eOperator == NA_OP_TRUE ? NA_OP_FALSE : NA_OP_TRUE;
      *folded = 1;
      _CutBack(command, search, l0, p0);
      return result;
    }
    command->bComplete(L")");
    if (!_bCopyColumnValuesNullSelected(m_pclLeft, 1)) result = FALSE;
    return result;
  }

  const eNAOperator self = m_eOperator;
  const eNAOperator absorbing = self == NA_OP_AND ? NA_OP_FALSE : NA_OP_TRUE;
  bool open = parent > NA_OP_OR;
  if (open) command->bComplete(L"(");
  int leftFolded = 0, rightFolded = 0;
  result = _bWriteOperand(m_pclLeft, command, self, search, &leftFolded, record);
  unsigned int l1 = l0;
  int p1 = p0;
  if (leftFolded) {
    _CutBack(command, search, l0, p0);
    open = false;
    if (m_pclLeft->m_eOperator == absorbing) {
      m_eOperator = absorbing;
      *folded = 1;
      return result;
    }
    // The node stands for its right operand alone, in the parent's place.
    if (!_bWriteOperand(m_pclRight, command, parent, search, &rightFolded, record)) result = FALSE;
  } else {
    l1 = static_cast<unsigned int>(command->nGetOriginalSQLLength());
    p1 = command->nGetParameterNbr();
    command->bComplete(s_pszDumpOp(self));
    if (!_bWriteOperand(m_pclRight, command, self, search, &rightFolded, record)) result = FALSE;
  }
  if (rightFolded) {
    const eNAOperator constant = m_pclRight->m_eOperator;
    if (leftFolded) {
      m_eOperator = constant;
      *folded = 1;
    } else if (constant == absorbing) {
      m_eOperator = absorbing;
      *folded = 1;
    }
    _CutBack(command, search, leftFolded ? l0 : l1, leftFolded ? p0 : p1);
  }
  if (*folded) {
    _CutBack(command, search, l0, p0);
    return result;
  }
  const bool leftWritten = !leftFolded && m_pclLeft != nullptr;
  const bool rightWritten = !rightFolded && m_pclRight != nullptr;
  if (leftWritten && rightWritten) {
    if (!_bCombineColumnValuesNullSelected(m_pclLeft, m_pclRight)) result = FALSE;
  } else if (leftWritten || rightWritten) {
    if (!_bCopyColumnValuesNullSelected(leftWritten ? m_pclLeft : m_pclRight, 0)) result = FALSE;
  }
  if (open) command->bComplete(L")");
  return result;
}

void CNAExpression::_ProcessBoolean() {
  if (m_eOperator < NA_OP_GT || m_eOperator > NA_OP_LE || m_pclValue == nullptr) return;
  CAny value;
  bool truth = false;
  if (!m_pclValue->vbGetValue(&value) || !ReadBoolean(&value, &truth)) return;
  static constexpr eNAOperator kAgainstTrue[] = {NA_OP_FALSE, NA_OP_NE, NA_OP_EQ, NA_OP_TRUE};   // > < >= <=
  static constexpr eNAOperator kAgainstFalse[] = {NA_OP_NE, NA_OP_FALSE, NA_OP_TRUE, NA_OP_EQ};  // > < >= <=
  m_eOperator = (truth ? kAgainstTrue : kAgainstFalse)[m_eOperator - NA_OP_GT];
}

void CNAExpression::_ProcessString() {
  if (m_pclValue == nullptr) return;
  CAny value;
  if (!m_pclValue->vbGetValue(&value)) return;
  if (_s_bExpressionTrueString(m_eOperator, _pclGetCnx(), &value)) m_eOperator = NA_OP_TRUE;
}

BOOL CNAExpression::_bGetSQLFromSQL(CNACommand* command, CNARecherche* search, CNARecord* record) {
  if (m_pclParsed == nullptr) return TRUE;
  if (m_pclParsed->pclGetRecordNoRef() == nullptr) m_pclParsed->SetRecord(record);
  const int before = command->nGetParameterNbr();
  if (!command->bAddFilterExpression(m_pclParsed)) return FALSE;
  if (search != nullptr) search->GetParameterFromQuery(command, static_cast<unsigned int>(before));
  return TRUE;
}

BOOL CNAExpression::_FormatItemNameExp(CTString* out, CNACommand* command, eNAOperator op) {
  out->Vide();
  if (m_pclColumn == nullptr) return FALSE;
  if (m_pclColumn->eGetTypeColonne() != 0 && m_pclParsed != nullptr) {
    CTString expression;
    if (!CNACommand::s_bFormatExpressionColonneCalculee(&expression, m_pclParsed, m_pclColumn->pszGetName(),
                                                        CNASqlElt::NA_SQLELT_WHERE, m_pclError,
                                                        command->pclGetCnxNoRef()))
      return FALSE;
    // Bracketed: the comparison applies to the whole expression ("a OR b" included).
    out->Add(L'(');
    out->Add(expression.pszGet());
    out->Add(L')');
    return TRUE;
  }
  INAItemDescription* item = m_pclColumn->piGetItemNoRef();
  const wchar_t* inSource = item->pszGetNameInSource();
  const bool behind = command->bIsBehindSubQuery() && m_pclColumn->bSourceIsQuery();
  const wchar_t* written = command->pszGetWrittenTable();
  const wchar_t* table = behind ? nullptr : written != nullptr && *written != 0 ? written : m_pclColumn->pszGetAliasNomTable();
  const BOOL named = command->FormatExpressionItemName(
      out, CNASqlElt::NA_SQLELT_WHERE, static_cast<eOPEXPRESSION>(Convert_eNAOperator_To_eOPEXPRESSION(op)), nullptr,
      item, table,
      !behind && inSource != nullptr && *inSource != 0 ? inSource : m_pclColumn->pszGetName());
  // A NULL test needs the column as it is.
  if (named && (m_dwFlags & NA_EXPR_BYTES) != 0 && op != NA_OP_ISNULL && op != NA_OP_ISNOTNULL) {
    CNAConnectionDescription* cnx = command->pclGetCnxNoRef();
    const CTString name(out->pszGet());
    if (cnx == nullptr || !cnx->bFormatTextBytes(out, name.pszGet())) *out = name;
  }
  return named;
}

BOOL CNAExpression::_bGetSQLFromValue(CNACommand* command, CNARecherche* search, int* folded) {
  *folded = 0;
  if (m_eOperator == NA_OP_FALSE || m_eOperator == NA_OP_TRUE) {
    command->bComplete(s_pszDumpOp(m_eOperator));
    return TRUE;
  }
  if (m_pclColumn == nullptr) return TRUE;
  CTString name;
  if (!_FormatItemNameExp(&name, command, m_eOperator)) return FALSE;
  CNAConnectionDescription* cnx = _pclGetCnx();
  const eNA_ITEMTYPE type = m_pclColumn->eNAGetItemType();

  CAny value;
  const bool hasValue = m_pclValue != nullptr && !m_pclValue->vbIsEmpty() && m_pclValue->vbGetValue(&value);
  if (m_pclValue != nullptr && hasValue && !value.bIsNull() && g_bIsZVText(value.wGetType())) {
    const std::wstring text = WideText(&value);
    // A date or time without a value is the server's NULL: the literal writer writes an empty
    // one as NULL, which no comparison selects.
    const bool emptyDate = IsDateItem(type) && text.empty();
    const bool zeroDate = (type == NA_IT_DATE6 || type == NA_IT_DATE8) && cnx != nullptr && cnx->bTreat0000DateAsNULL() &&
                          text.compare(0, 8, L"00000000") == 0;
    if (emptyDate || zeroDate) {
      m_pclValue->SetNull();
      value.SetNull(true);
    }
  }
  const bool null = m_pclValue == nullptr || m_pclValue->bIsNull() || (hasValue && value.bIsNull());
  if (null || m_eOperator == NA_OP_ISNULL || m_eOperator == NA_OP_ISNOTNULL)
    return _bGetSQLFromValueNULL(name.pszGet(), command, folded);

  BOOL nullTest = FALSE;
  // A column the server holds NOT NULL has no NULL to reach.
  const CNAItemDescription* db = m_pclColumn->piGetImportedItemDescNoRef();
  if (!m_pclColumn->bUniqueNotNull() && (db == nullptr || db->bNullable())) {
    if ((m_dwFlags & NA_EXPR_LOWER) != 0) {
      nullTest = (m_eOperator == NA_OP_EQ || m_eOperator == NA_OP_GE) && m_pclValue->bCouldBeNullOnKJ();
    } else if ((m_dwFlags & NA_EXPR_UPPER) == 0) {
      const BOOL nullFirst = cnx != nullptr ? cnx->bNULLBeforeNotNULL() : TRUE;
      // A value read from the server, or one a browse goes on past, is no host stand-in for NULL:
      // a browse going on below a 0 or an empty text must still reach the NULLs.
      const bool fromServer = (m_dwFlags & (NA_SEARCH_RECORDVALUES | NA_EXPR_PAST_MATCHES)) != 0;
      nullTest = nullFirst ? m_eOperator == NA_OP_LE ||
                                 (m_eOperator == NA_OP_LT && (fromServer || !m_pclValue->bCouldBeNullOnKJ()))
                           : m_eOperator == NA_OP_GT || m_eOperator == NA_OP_GE;
      const int dialect = cnx != nullptr ? cnx->nGetDataSource() : 0;
      if ((dialect == 8 || dialect == 11) && m_pclColumn->eGetTypeColonne() != 0) nullTest = FALSE;
    }
  }
  if (bHasServerLiteral() && !bIsGenerique() && m_eOperator >= NA_OP_EQ && m_eOperator <= NA_OP_LE)
    return _bGetSQLFromServerLiteral(name.pszGet(), command, nullTest);
  if (IsTextItem(type)) return _bGetSQLFromValueString(name.pszGet(), command, search, nullTest, folded);
  if (type == NA_IT_HEURE || type == NA_IT_DATE8 || type == NA_IT_DATETIME)
    return _bGetSQLFromValueDateTime(name.pszGet(), command, search, nullTest);
  return _bGetSQLFromValueUsingParameter(name.pszGet(), command, search, FALSE, nullTest);
}

BOOL CNAExpression::_bGetSQLFromValueNULL(const wchar_t* name, CNACommand* command, int* folded) {
  CNAConnectionDescription* cnx = _pclGetCnx();
  const BOOL nullFirst = cnx != nullptr ? cnx->bNULLBeforeNotNULL() : TRUE;
  auto fold = [&](eNAOperator constant) {
    m_eOperator = constant;
    *folded = 1;
    return TRUE;
  };
  BOOL selected = TRUE;
  switch (m_eOperator) {
    case NA_OP_GE:
    case NA_OP_LE: return fold(NA_OP_TRUE);
    case NA_OP_GT:
      if (!nullFirst) return fold(NA_OP_FALSE);
      selected = FALSE;
      break;
    case NA_OP_LT:
      if (nullFirst) return fold(NA_OP_FALSE);
      selected = FALSE;
      break;
    // Every row but the NULL ones differs from NULL.
    case NA_OP_ISNOTNULL:
    case NA_OP_NE: selected = FALSE; break;
    default: break;
  }
  // A NULL test names the column as it is, converted for no comparison.
  CTString plain;
  _FormatItemNameExp(&plain, command, NA_OP_ISNULL);
  command->bComplete(plain.nTaille() > 0 ? plain.pszGet() : name);
  command->bComplete(selected ? _pszIsNull(cnx) : L" IS NOT NULL");
  return _bSetColumnValuesNullSelected(selected);
}

BOOL CNAExpression::_bGetSQLFromValueString(const wchar_t* name, CNACommand* command, CNARecherche* search,
                                            BOOL nullTest, int* folded) {
  const eNA_ITEMTYPE type = m_pclColumn->eNAGetItemType();
  CAny value;
  const bool hasValue = m_pclValue != nullptr && !m_pclValue->vbIsEmpty() && m_pclValue->vbGetValue(&value);
  const bool empty = !hasValue || WideText(&value).empty();
  if (empty && !bIsTextUnicode(type)) {
    if (nullTest) command->bComplete(L"(");
    command->bComplete(name);
    if (m_eOperator == NA_OP_EQ && bIsGenerique()) {
      command->bComplete(L" LIKE '%'");
    } else {
      command->bComplete(s_pszDumpOp(m_eOperator));
      command->bComplete(L"''");
    }
    if (nullTest) _CloseNullTest(command);
    return _bSetColumnValuesNullSelected(nullTest);
  }
  // A character above U+FFFF is none of a column whose character set stops at U+FFFF, and the
  // server refuses to compare the two: the value is one no row holds. It equals none, and stands
  // in the order where the server's general collations put such a character, at U+FFFD.
  const CNAItemDescription* db = m_pclColumn->piGetImportedItemDescNoRef();
  const CNAConnectionDescription* cnx = command->pclGetCnxNoRef();
  if (db != nullptr && db->bBmpOnly() && cnx != nullptr && cnx->nGetServerCodePage() == 65001) {
    std::wstring text = WideText(&value);
    bool above = false;
    for (wchar_t& c : text) {
      if (static_cast<uint32_t>(c) <= 0xFFFF) continue;
      c = 0xFFFD;
      above = true;
    }
    if (above && m_eOperator == NA_OP_EQ) {
      command->bComplete(s_pszDumpOp(NA_OP_FALSE));
      return _bSetColumnValuesNullSelected(FALSE);
    }
    if (above && m_eOperator == NA_OP_NE) return _bGetSQLFromValueNULL(name, command, folded);
    if (above) {
      CAny written;
      written.__SetType(ZV_DSTRW, 0);
      written.SetValueByte(text.data(), static_cast<unsigned int>(text.size() * sizeof(wchar_t)));
      return _bGetSQLFromValueUsingParameter(name, command, search, FALSE, nullTest, &written);
    }
  }
  const int dialect = cnx != nullptr ? cnx->nGetDataSource() : 0;
  const bool equality = m_eOperator == NA_OP_EQ || m_eOperator == NA_OP_NE;
  const BOOL like = equality && (dialect == 11 || bIsGenerique()) ? TRUE : FALSE;
  return _bGetSQLFromValueUsingParameter(name, command, search, like, nullTest);
}

BOOL CNAExpression::_bGetSQLFromServerLiteral(const wchar_t* name, CNACommand* command, BOOL nullTest) {
  // A date or time compares as the column itself: the server's text is its own value. A text's
  // bytes read as UTF-8 compare with the column's UTF-8 bytes.
  CTString plain;
  const bool utf8Bytes = m_nServerLiteralKind == NA_SERVERTEXT_TEXTUTF8 && (m_dwFlags & NA_EXPR_BYTES) != 0;
  if (m_nServerLiteralKind == NA_SERVERTEXT_TIME || utf8Bytes) _FormatItemNameExp(&plain, command, NA_OP_ISNULL);
  if (utf8Bytes) {
    const CNAConnectionDescription* cnx = command->pclGetCnxNoRef();
    const CTString column(plain.pszGet());
    if (cnx == nullptr || !cnx->bFormatKeyBytesColumn(&plain, column.pszGet(), nullptr)) return FALSE;
  }
  if (nullTest) command->bComplete(L"(");
  command->bComplete(plain.nTaille() > 0 ? plain.pszGet() : name);
  command->bComplete(s_pszDumpOp(m_eOperator));
  command->bComplete(m_csServerLiteral.pszGet());
  if (nullTest) _CloseNullTest(command);
  return _bSetColumnValuesNullSelected(nullTest);
}

void CNAExpression::_CloseNullTest(CNACommand* command) {
  CTString name;
  _FormatItemNameExp(&name, command, NA_OP_ISNULL);
  command->bComplete(L" OR ");
  command->bComplete(name.pszGet());
  command->bComplete(_pszIsNull(command->pclGetCnxNoRef()));
  command->bComplete(L")");
}

const wchar_t* CNAExpression::_pszIsNull(const CNAConnectionDescription* cnx) const {
  // A query's date column may be one the server holds NOT NULL, which its description does not
  // tell: its zero dates are no NULLs.
  const CNAItemDescription* db = m_pclColumn != nullptr ? m_pclColumn->piGetImportedItemDescNoRef() : nullptr;
  const bool date = m_pclColumn != nullptr && (IsDateItem(m_pclColumn->eNAGetItemType()) ||
                                               (db != nullptr && IsDateItem(db->eNAGetItemType())));
  if (cnx == nullptr || !date || !m_pclColumn->bSourceIsQuery()) return L" IS NULL";
  return cnx->pszDateIsNull();
}

BOOL CNAExpression::_bAddParameter(CNACommand* command, CNARecherche* search, CNAConvertVariant* holder,
                                   unsigned int options, BOOL typedByValue) {
  const unsigned int at = static_cast<unsigned int>(command->nGetOriginalSQLLength());
  CNAParameter* parameter = nullptr;
  if (search != nullptr) {
    parameter = search->_pclAddParameter(m_pclColumn, holder, at, options);
  } else if (Driver() != nullptr) {
    parameter = Driver()->pclAllocParameter_col(m_pclColumn, holder, at, options, nullptr);
  }
  if (parameter == nullptr) return FALSE;
  // A value retyped for a converted column is written as its own type, not the column's.
  if (typedByValue) parameter->SetColum(nullptr);
  parameter->AddRef();
  const BOOL added = command->bAddParameter(parameter);
  parameter->nRelease();
  return added;
}

BOOL CNAExpression::_bGetSQLFromValueUsingParameter(const wchar_t* name, CNACommand* command, CNARecherche* search,
                                                    BOOL like, BOOL nullTest, const CAny* written) {
  if (nullTest) command->bComplete(L"(");
  command->bComplete(name);
  const eNA_ITEMTYPE conversion = command->eGetFormatExpressionColonne(
      CNASqlElt::NA_SQLELT_WHERE, m_pclColumn->eNAGetItemType(),
      static_cast<eOPEXPRESSION>(Convert_eNAOperator_To_eOPEXPRESSION(m_eOperator)), nullptr);
  CNAConvertVariant* holder = _pclNewParameterValue(search, conversion);
  if (holder != nullptr && written != nullptr && !holder->bSetValue(written)) {
    holder->nRelease();
    holder = nullptr;
  }
  BOOL result = FALSE;
  if (holder != nullptr) {
    if (like)
      _bGetSQLFromValueUsingParameterAddOpLike(holder, command);
    else
      command->bComplete(s_pszDumpOp(m_eOperator));
    result = _bAddParameter(command, search, holder, like ? static_cast<unsigned int>(NA_PARAM_LIKE) : 0u,
                            conversion != NA_IT_EMPTY);
    if (like) command->vAddEscapeLike(conversion != NA_IT_EMPTY ? conversion : m_pclColumn->eNAGetItemTypeOnDatabaseEx());
    holder->nRelease();
  }
  if (nullTest) _CloseNullTest(command);
  if (!_bSetColumnValuesNullSelected(nullTest)) result = FALSE;
  return result;
}

CNAError* CNAExpression::_pclParameterError(CNARecherche* search) const {
  return search != nullptr && search->pclGetErrorNoRef() != nullptr ? search->pclGetErrorNoRef() : m_pclError;
}

CNAConvertVariant* CNAExpression::_pclNewParameterValue(CNARecherche* search, eNA_ITEMTYPE conversion) {
  CNAConvertVariant* holder =
      Driver() != nullptr ? Driver()->pclAllocVariant(_pclParameterError(search), m_pclColumn->pclGetCnx()) : nullptr;
  if (holder == nullptr) return nullptr;
  holder->AddRef();
  _FillParameterValue(holder, conversion);
  return holder;
}

CNAConvertVariant* CNAExpression::_pclRenewParameterValue(CNARecherche* search, eNA_ITEMTYPE conversion,
                                                          CNAConvertVariant* kept, unsigned int held) {
  CNADriver* driver = Driver();
  // The copy of the leaf's value types it again at once, with the leaf's descriptions.
  const bool retyped = m_pclValue != nullptr && m_pclValue != kept;
  if (driver == nullptr || !driver->bRestartableVariant(kept, held, _pclParameterError(search), m_pclColumn->pclGetCnx()))
    return _pclNewParameterValue(search, conversion);
  kept->AddRef();
  // Typed as the leaf's value already (the last value's copy), it takes the value alone; with a
  // database item, _FillParameterValue would add nothing to the copy.
  if (retyped && conversion == NA_IT_EMPTY && m_pclValue->piGetDatabaseItem() != nullptr && kept->bRenewCopy(m_pclValue))
    return kept;
  kept->Restart(retyped);
  _FillParameterValue(kept, conversion);
  return kept;
}

void CNAExpression::_FillParameterValue(CNAConvertVariant* holder, eNA_ITEMTYPE conversion) {
  holder->bCopyVariant(m_pclValue);
  if (conversion != NA_IT_EMPTY) {
    holder->bChangeItemType(conversion, bIsGenerique());
  } else if (holder->piGetDatabaseItem() == nullptr) {
    holder->SetItemDesc(m_pclColumn->piGetItemNoRef(), m_pclColumn->piGetImportedItemDescNoRef());
    CAny again;
    holder->bGetValue(&again);
    holder->bSetValue(&again);
  }
}

BOOL CNAExpression::bValueOnlyInLiteral(const CNAColumn* answered) const {
  if (m_pclColumn == nullptr || m_pclLeft != nullptr || m_pclRight != nullptr || m_pclValue == nullptr ||
      bHasServerLiteral())
    return FALSE;
  const bool equal = m_eOperator == NA_OP_EQ && m_dwFlags == 0;
  if (!equal || m_pclColumn != answered) {
    if (m_pclColumn->eGetTypeColonne() != 0 || m_pclColumn->bIsComposedKey()) return FALSE;
    // A browse's step past a row writes no NULL test only on a column that holds none; the bits it
    // carries from its search are read by the write for that test alone.
    constexpr unsigned int kSearchBits =
        NA_SEARCH_RECORD | NA_SEARCH_FILLTEST | NA_SEARCH_RECORDVALUES | NA_SEARCH_EQUALONLY;
    const bool past = (m_eOperator == NA_OP_GT || m_eOperator == NA_OP_LT) &&
                      (m_dwFlags & ~kSearchBits) == NA_EXPR_PAST_MATCHES && m_pclColumn->bUniqueNotNull();
    // Of a number item, whose host value is neither a boolean nor text.
    if ((!equal && !past) || !g_bIsNumberItemType(m_pclColumn->eNAGetItemType())) return FALSE;
  }
  // A holder hands out a NULL value only when it is NULL itself: its NULL is the write's.
  return !m_pclValue->bIsNull() && !m_pclValue->vbIsEmpty() ? TRUE : FALSE;
}

eNA_ITEMTYPE CNAExpression::eWhereConversion(CNACommand* command) const {
  return command->eGetFormatExpressionColonne(
      CNASqlElt::NA_SQLELT_WHERE, m_pclColumn->eNAGetItemType(),
      static_cast<eOPEXPRESSION>(Convert_eNAOperator_To_eOPEXPRESSION(m_eOperator)), nullptr);
}

BOOL CNAExpression::bRewriteValue(CNACommand* command, CNARecherche* search, unsigned int conditionAt,
                                  unsigned int selectAt, CNAParameter* ownKept, CNAParameter* copyKept,
                                  const eNA_ITEMTYPE* known) {
  if (command == nullptr || search == nullptr || m_pclColumn == nullptr) return FALSE;
  if (m_pclNullExcluded != nullptr) m_pclNullExcluded->Reset();
  const eNA_ITEMTYPE conversion = known != nullptr ? *known : eWhereConversion(command);
  // A retyped value's parameter has no column: the kept ones are not what new ones would be.
  const bool renew = ownKept != nullptr && copyKept != nullptr && conversion == NA_IT_EMPTY;
  if (!renew) search->_RemoveParameterByPos(0);
  // The kept parameters' holder is theirs alone when it is held twice.
  CNAConvertVariant* holder = renew ? _pclRenewParameterValue(search, conversion, ownKept->pclGetValueNoRef(), 2)
                                    : _pclNewParameterValue(search, conversion);
  if (holder == nullptr) return FALSE;
  if (renew) {
    // Most often their own holder renewed in place, which they hold already.
    if (ownKept->pclGetValueNoRef() != holder) ownKept->SetValue(holder);
    if (copyKept->pclGetValueNoRef() != holder) copyKept->SetValue(holder);
    holder->nRelease();
    // The formatted SQL is written again from the literal, as for a new parameter.
    return command->bReplaceLastParameter(copyKept) && _bSetColumnValuesNullSelected(FALSE) ? TRUE : FALSE;
  }
  CNAParameter* parameter = search->_pclAddParameter(m_pclColumn, holder, conditionAt, 0);
  holder->nRelease();
  if (parameter == nullptr) return FALSE;
  if (conversion != NA_IT_EMPTY) parameter->SetColum(nullptr);
  // The SELECT holds a copy, as a condition added to it gives one.
  CNAParameter* copy = parameter->pclGetClone();
  if (copy == nullptr) return FALSE;
  copy->SetPosition(selectAt);
  const BOOL replaced = command->bReplaceLastParameter(copy);
  copy->nRelease();
  return replaced && _bSetColumnValuesNullSelected(FALSE) ? TRUE : FALSE;
}

BOOL CNAExpression::_bGetSQLFromValueUsingParameterAddOpLike(CNAConvertVariant* holder, CNACommand* command) {
  command->bComplete(m_eOperator == NA_OP_EQ ? L" LIKE " : L" NOT LIKE ");
  CAny value;
  if (holder->vbIsEmpty() || !holder->bGetValue(&value) || value.bIsNull()) return TRUE;
  const std::wstring text = WideText(&value);
  CXYString<wchar_t> pattern;
  if (!text.empty() && !command->bEscapeLIKEParamAsKJParam(&pattern, text.c_str(), L'\\')) return TRUE;
  std::wstring full = pattern.pszGet() != nullptr ? pattern.pszGet() : L"";
  if (bIsGenerique()) full += L'%';
  if (full.empty()) return TRUE;
  CAny replaced;
  replaced.__SetType(ZV_DSTRW, 0);
  replaced.SetValueByte(full.data(), static_cast<unsigned int>(full.size() * sizeof(wchar_t)));
  holder->InitTypeVariantAny(ZV_DSTRW, 0);
  holder->bSetValue(&replaced);
  return TRUE;
}

BOOL CNAExpression::_bGetSQLFromValueDateTime(const wchar_t* name, CNACommand* command, CNARecherche* search,
                                              BOOL nullTest) {
  const bool equality = m_eOperator == NA_OP_EQ || m_eOperator == NA_OP_NE;
  if (!equality || !bIsGenerique()) return _bGetSQLFromValueUsingParameter(name, command, search, FALSE, nullTest);
  const eNA_ITEMTYPE type = m_pclColumn->eNAGetItemType();
  CNAConnectionDescription* cnx = m_pclColumn->pclGetCnx();
  if (type == NA_IT_HEURE && cnx != nullptr && !cnx->bSupportItemTime())
    return _bGetSQLFromValueUsingParameter(name, command, search, TRUE, nullTest);
  CAny value;
  m_pclValue->vbGetValue(&value);
  const size_t length = WideText(&value).size();
  const size_t complete = type == NA_IT_HEURE ? m_pclColumn->nGetLogicalSize()
                          : type == NA_IT_DATE8 ? 8u
                          : type == NA_IT_DATE6 ? 6u
                                                : 17u;
  CAny min, max;
  if (length == 0 || length == complete || !s_bGetBorneRechercheDateGenerique(type, &value, &min, &max))
    return _bGetSQLFromValueUsingParameter(name, command, search, FALSE, nullTest);

  int same = 0;
  const bool single = nEgalite(min, max, &same, 0) <= 99 && same != 0;
  CNAError* error = search != nullptr && search->pclGetErrorNoRef() != nullptr ? search->pclGetErrorNoRef() : m_pclError;
  auto bound = [&](const CAny& v) {
    CNAConvertVariant* holder =
        Driver() != nullptr ? Driver()->pclGetNewVariant_NV_Any(error, cnx, m_pclColumn, &v) : nullptr;
    if (holder == nullptr) return FALSE;
    holder->AddRef();
    const BOOL added = _bAddParameter(command, search, holder, 0, FALSE);
    holder->nRelease();
    return added;
  };
  const bool differ = m_eOperator == NA_OP_NE;
  // The bounds are dates: the column is compared as it is, never as the digit text a comparison
  // with the value's own text would take.
  CTString plain;
  _FormatItemNameExp(&plain, command, NA_OP_ISNULL);
  // Outside the range is below its start or at or past its end: either one.
  const bool paren = differ && !single;
  if (paren) command->bComplete(L"(");
  command->bComplete(plain.pszGet());
  command->bComplete(single ? (differ ? L"<>" : L"=") : (differ ? L"<" : L">="));
  BOOL result = bound(min);
  if (!single) {
    command->bComplete(differ ? L" OR " : L" AND ");
    command->bComplete(plain.pszGet());
    command->bComplete(differ ? L">=" : L"<");
    result = bound(max);
  }
  if (paren) command->bComplete(L")");
  if (!_bSetColumnValuesNullSelected(FALSE)) result = FALSE;
  return result;
}

// ================================================================ NULL-selected columns

BOOL CNAExpression::bColumnValuesNullSelected(const CNAColumn* column) const {
  if (m_pclNullExcluded != nullptr) return m_pclNullExcluded->bColumnValuesNullSelected(column);
  if (m_pclColumn == nullptr || m_pclColumn != column || m_pclColumn->bIsComposedKey()) return TRUE;
  if (m_eOperator != NA_OP_EQ && m_eOperator != NA_OP_NE && m_eOperator != NA_OP_GT && m_eOperator != NA_OP_LT)
    return TRUE;
  const bool n = m_pclColumn->bNullOrEquivalent(static_cast<const CNAVariant*>(m_pclValue)) != 0;
  CNAConnectionDescription* cnx = _pclGetCnx();
  const bool nullFirst = cnx == nullptr || cnx->bNULLBeforeNotNULL();
  switch (m_eOperator) {
    case NA_OP_EQ: return n;
    case NA_OP_NE: return !n;
    case NA_OP_GT: return nullFirst ? n : !n;
    default: return nullFirst ? !n : n;
  }
}

BOOL CNAExpression::_bInitColumnNullValueExcluded() {
  if (m_pclNullExcluded != nullptr) return TRUE;
  // An emptied set is as a new one.
  if (m_pclSpareNullExcluded != nullptr) {
    m_pclNullExcluded = std::exchange(m_pclSpareNullExcluded, nullptr);
    m_pclNullExcluded->Reset();
    return TRUE;
  }
  m_pclNullExcluded = new (std::nothrow) CColumnNullValueExcluded();
  if (m_pclNullExcluded != nullptr) return TRUE;
  CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteNullSet, _pclGetCnx(), nullptr,
                             nullptr, kErrNoMemory);
  return FALSE;
}

BOOL CNAExpression::_bSetColumnValuesNullSelected(BOOL selected) {
  if (m_pclColumn == nullptr) return TRUE;
  // A leaf written again as before (a seek's next value) finds its set let go as this makes it.
  CColumnNullValueExcluded* spare = m_pclSpareNullExcluded;
  if (m_pclNullExcluded == nullptr && spare != nullptr && spare->nGetCount() == 1 &&
      spare->pclGetColumnNoRef(0) == m_pclColumn && (spare->bGetSelected(0) != 0) == (selected != 0)) {
    m_pclNullExcluded = std::exchange(m_pclSpareNullExcluded, nullptr);
    return TRUE;
  }
  if (!_bInitColumnNullValueExcluded()) return FALSE;
  return m_pclNullExcluded->bSetColumnValuesNullSelected(m_pclColumn, selected);
}

BOOL CNAExpression::_bCombineColumnValuesNullSelected(CNAExpression* left, CNAExpression* right) {
  if (!_bInitColumnNullValueExcluded()) return FALSE;
  return m_pclNullExcluded->bCombineColumnValuesNullSelected(m_eOperator, left->m_pclNullExcluded,
                                                             right->m_pclNullExcluded);
}

BOOL CNAExpression::_bCopyColumnValuesNullSelected(CNAExpression* operand, int invert) {
  if (!_bInitColumnNullValueExcluded()) return FALSE;
  return m_pclNullExcluded->bCopyColumnValuesNullSelected(operand->m_pclNullExcluded, invert);
}
