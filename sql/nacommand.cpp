// The command's text and parameter positions, its defines and NULL-selected set; parameters,
// defines and clause pieces. The formatted SQL is in nacommandformat.cpp, LIKE patterns in
// nacommandlike.cpp.
#include "sql/nacommand.h"

#include <cstring>
#include <cwchar>
#include <new>
#include <utility>

#include "access/narecord.h"
#include "common/str_compare.h"
#include "common/xystring.h"
#include "common/xystringconcat.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "sql/inaitemdescription.h"
#include "sql/nacolumn.h"
#include "sql/naconvertvariant.h"
#include "sql/naitemdescription.h"
#include "sql/sqlparserinfo.h"

std::atomic<unsigned int> CNACommand::s_nDefinesStampGenerator{0};

namespace {

enum { kSiteNullSet = 10 };
constexpr unsigned int kErrNoMemory = 12;

CNADriver* Driver() { return CNADriver::s_pclDriver.load(); }

// A counted object nobody took yet goes now.
template <typename T>
void DropUnheld(T* p) {
  if (p == nullptr) return;
  p->AddRef();
  p->nRelease();
}

}  // namespace

// ---------------------------------------------------------------- free functions

eNAQUERYTYPE eConvertTypeQuery(eTYPEREQUETE type) {
  switch (static_cast<int>(type)) {
    case 1: case 2: return NA_QUERY_SELECT;
    case 3: return NA_QUERY_UPDATE;
    case 4: return NA_QUERY_INSERT;
    case 5: return NA_QUERY_DELETE;
    default: return NA_QUERY_OTHER;
  }
}

ePARAMTYPECONV ZVType2eParamType(unsigned short hostType) {
  switch (hostType) {
    case ZV_BOOL: return NA_PARAMCONV_BOOLEAN;
    case ZV_UI1: case ZV_UI2: case ZV_UI4: case ZV_UI8: case ZV_I1: case ZV_I2: case ZV_I4: case ZV_I8: case ZV_UIX:
      return NA_PARAMCONV_INTEGER;
    case ZV_CY: case ZV_DECIMAL: return NA_PARAMCONV_CURRENCY;
    case ZV_R4: case ZV_R8: return NA_PARAMCONV_REAL;
    case ZV_DSTRW: case ZV_CARA: case ZV_PSTRA: case ZV_DSTRA: case ZV_CARW: case ZV_PSTRW: return NA_PARAMCONV_TEXT;
    case ZV_DATEW: case ZV_TIMEW: case ZV_DATETIME: case ZV_DUREE: case ZV_DATEA: case ZV_TIMEA:
      return NA_PARAMCONV_DATE;
    case ZV_BIN: case ZV_BUFFER: return NA_PARAMCONV_BINARY;
    default: return NA_PARAMCONV_NONE;
  }
}

CNACommand* pclAllocCommand(CNAError* error, CNAConnectionDescription* cnx) {
  return new (std::nothrow) CNACommand(error, cnx);
}

// ---------------------------------------------------------------- CNAParameter

CNAParameter::CNAParameter(CNAConvertVariant* value, unsigned int position, unsigned int options,
                           const wchar_t* name)
    : m_pclValue(value), m_nPosition(position), m_dwOptions(options), m_csName(name),
      m_eOperator(static_cast<eOPEXPRESSION>(-1)) {
  if (m_pclValue != nullptr) m_pclValue->AddRef();
}

CNAParameter::~CNAParameter() {
  SetColum(nullptr);
  if (m_pclValue != nullptr) m_pclValue->nRelease();
}

CNAParameter* CNAParameter::pclGetClone() {
  CNADriver* driver = Driver();
  CNAParameter* clone =
      driver != nullptr ? driver->pclAllocParameter(m_pclValue, m_nPosition, m_dwOptions, m_csName.pszGet()) : nullptr;
  if (clone == nullptr) return nullptr;
  clone->AddRef();
  clone->SetColum(m_pclColumn);
  clone->SetItem(m_piItem);
  clone->m_cEscape = m_cEscape;
  return clone;
}

void CNAParameter::SetValue(CNAConvertVariant* value) {
  if (value != nullptr) value->AddRef();
  if (m_pclValue != nullptr) m_pclValue->nRelease();
  m_pclValue = value;
}

void CNAParameter::SetColum(CNAColumn* column) {
  if (column != nullptr) column->AddRef();
  if (m_pclColumn != nullptr) m_pclColumn->nRelease();
  m_pclColumn = column;
  SetItem(column != nullptr ? column->piGetItemNoRef() : nullptr);
}

void CNAParameter::SetItem(INAItemDescription* item) {
  if (item == m_piItem) return;
  if (item != nullptr) item->ExternalAddRef();
  if (m_piItem != nullptr) m_piItem->nExternalRelease();
  m_piItem = item;
}

BOOL CNAParameter::bIsDate() const {
  if (m_piItem == nullptr) return FALSE;
  const eNA_ITEMTYPE t = m_piItem->eNAGetItemType();
  return t == NA_IT_DATE6 || t == NA_IT_HEURE || t == NA_IT_DATE8 || t == NA_IT_DATETIME;
}

BOOL CNAParameter::bIsText() const {
  if (m_piItem == nullptr) return FALSE;
  const eNA_ITEMTYPE t = m_piItem->eNAGetItemType();
  return t == NA_IT_TEXTE || t == NA_IT_MEMOTEXTE || t == NA_IT_UNICODE || t == NA_IT_MEMOUNICODE;
}

BOOL CNAParameter::bIsTextUnicode() const {
  if (m_piItem == nullptr) return FALSE;
  const eNA_ITEMTYPE t = m_piItem->eNAGetItemType();
  return t == NA_IT_UNICODE || t == NA_IT_MEMOUNICODE;
}

BOOL CNAParameter::bGetZVTypeInfo(eNA_ITEMTYPE* db, eNA_ITEMTYPE* analysis) const {
  if (m_pclColumn != nullptr) {
    const CNAItemDescription* imported = m_pclColumn->piGetImportedItemDescNoRef();
    *db = imported != nullptr ? imported->eNAGetItemType() : NA_IT_EMPTY;
    *analysis = m_pclColumn->eNAGetItemType();
    return TRUE;
  }
  *db = m_pclValue != nullptr ? m_pclValue->eNAGetItemTypeDatabase() : NA_IT_EMPTY;
  *analysis = m_pclValue != nullptr ? m_pclValue->eNAGetItemTypeAnalyse() : NA_IT_EMPTY;
  return *db != NA_IT_EMPTY || *analysis != NA_IT_EMPTY;
}

BOOL CNAParameter::bGetDBType(eNA_ITEMTYPE* type, unsigned int* size, int* length, int* precision, int* scale) const {
  *size = 0;
  *precision = 0;
  *scale = 0;
  INAItemDescription* item = m_pclValue != nullptr ? m_pclValue->piGetDatabaseItem() : nullptr;
  if (item == nullptr && m_pclColumn != nullptr) item = m_pclColumn->piGetImportedItemDescNoRef();
  if (item == nullptr) return FALSE;
  *type = item->eNAGetItemType();
  *size = item->nGetItemSize();
  *precision = item->nGetIntegerPart() + item->nGetDecimalPart();
  *scale = item->nGetDecimalPart();
  *length = item->bMemo() ? -1 : static_cast<int>(item->nGetLogicalSize(0));
  return *size != 0;
}

BOOL CNAParameter::bCaseInSensitiveLIKE() const {
  if (m_pclColumn != nullptr) return m_pclColumn->bGetIgnoreCase(-1);
  return m_piItem != nullptr ? m_piItem->bGetIgnoreCase(-1) : FALSE;
}

BOOL CNAParameter::bLoadFile(CNAError* error) {
  if (m_pclValue == nullptr) return FALSE;
  CAny name;
  m_pclValue->bGetValue(&name);
  CXYString<wchar_t> path;
  if (m_pclValue->pclGetCnx() != nullptr) m_pclValue->pclGetCnx()->bCopyString(error, &path, &name);
  const bool text = (m_dwOptions & NA_PARAM_FILE) != 0 && (m_dwOptions & NA_PARAM_FILE_TEXT) != 0;
  if (!m_pclValue->bLoadFile(path.pszGet(), error, text ? 0 : 1)) return FALSE;
  m_dwOptions &= ~static_cast<unsigned int>(NA_PARAM_FILE);
  return TRUE;
}

BOOL CNAParameter::bSetValue(const CAny* value) { return m_pclValue != nullptr && m_pclValue->bSetValue(value); }

BOOL CNAParameter::bEqualsParameter(const CNAParameter* other) const {
  if (other == this) return TRUE;
  if (other == nullptr || m_nPosition != other->m_nPosition || m_dwOptions != other->m_dwOptions) return FALSE;
  int cp = 0, otherCp = 0;
  const CXYStringConcat<char>* literal = pclGetWrittenLiteral(&cp);
  const CXYStringConcat<char>* otherLiteral = other->pclGetWrittenLiteral(&otherCp);
  if ((literal == nullptr) != (otherLiteral == nullptr)) return FALSE;
  if (literal != nullptr && (cp != otherCp || literal->nGetLength() != otherLiteral->nGetLength() ||
                             memcmp(literal->pszGet(), otherLiteral->pszGet(), literal->nGetLength()) != 0))
    return FALSE;
  if ((m_pclValue == nullptr) != (other->m_pclValue == nullptr)) return FALSE;
  if (m_pclValue != nullptr && !m_pclValue->bEqualsNAVariant(other->m_pclValue)) return FALSE;
  if ((m_pclColumn == nullptr) != (other->m_pclColumn == nullptr)) return FALSE;
  if (m_pclColumn != nullptr && wcscmp(m_pclColumn->pszGetName(), other->m_pclColumn->pszGetName()) != 0) return FALSE;
  if ((m_piItem == nullptr) != (other->m_piItem == nullptr)) return FALSE;
  if (m_piItem != nullptr && wcscmp(m_piItem->pszGetName(), other->m_piItem->pszGetName()) != 0) return FALSE;
  return m_cEscape == other->m_cEscape && m_eDirection == other->m_eDirection;
}

void CNAParameter::TypeParam2String(CXYStringConcat<wchar_t>* out) const {
  out->Vide();
  out->Add(L"(");
  const wchar_t* separator = L"";
  for (const auto& [bit, name] : {std::pair{NA_PARAM_IN, L"IN"}, {NA_PARAM_OUT, L"OUT"}, {NA_PARAM_RETURN, L"RETURN"}}) {
    if ((m_eDirection & bit) == 0) continue;
    out->Add(separator);
    out->Add(name);
    separator = L"|";
  }
  out->Add(L")");
}

// ---------------------------------------------------------------- CNADefine

CNADefine::CNADefine(CNAColumn* column) : m_pclColumn(column) {
  if (m_pclColumn == nullptr) return;
  m_pclColumn->AddRef();
  m_pclValue = m_pclColumn->pclGetNAValue();
  if (m_pclValue != nullptr) m_pclValue->AddRef();
}

CNADefine::CNADefine(const wchar_t* name, CNAConvertVariant* value) : m_csName(name), m_pclValue(value) {
  if (m_pclValue != nullptr) m_pclValue->AddRef();
}

CNADefine::~CNADefine() {
  if (m_pclValue != nullptr) m_pclValue->nRelease();
  if (m_pclColumn != nullptr) m_pclColumn->nRelease();
}

const wchar_t* CNADefine::pszGetName() const {
  return m_pclColumn != nullptr ? m_pclColumn->pszGetName() : m_csName.pszGet();
}

CNAConnectionDescription* CNADefine::pclGetCnx() const {
  return m_pclValue != nullptr ? m_pclValue->pclGetCnx() : nullptr;
}

// ---------------------------------------------------------------- CNACommand: life

CNACommand::CNACommand(CNAError* error, CNAConnectionDescription* cnx) : m_pclError(error), m_pclCnx(cnx) {
  CNAError::s_Hold(m_pclError);
  if (m_pclCnx != nullptr) m_pclCnx->AddRef();
  _SetConnectionFacts();
}

void CNACommand::_SetConnectionFacts() {
  m_dwDialect5 = m_pclCnx != nullptr && m_pclCnx->nGetDataSource() == 5 ? 1 : 0;
  // The command text is wide: positions count its characters.
  const int server = m_pclCnx != nullptr ? m_pclCnx->nGetServerCodePage() : -1;
  m_clTextHeld.SetCodePages(CTStringConcatAW::kWideContent, server);
  m_clAdditionalColumns.SetCodePages(CTStringConcatAW::kWideContent, server);
  m_clDump.SetCodePages(CTStringConcatAW::kWideContent, server);
  m_clFormated.SetCodePages(_nFormatedCodePage(), m_pclCnx != nullptr ? m_pclCnx->nGetHostCodePage() : -1);
}

void CNACommand::Recycle() {
  m_bRecycleOwed = false;
  // The last defines wait for the next text, which most often names the same columns (a text
  // without any, a condition, leaves those of the text before it waiting).
  if (m_tabDefine.nGetCount() > 0) {
    m_tabSpareDefine.SupprimeTout();
    CTableauDeBuffer::EchangeTableau(&m_tabDefine, &m_tabSpareDefine);
    _DefinesChanged();
  }
  // A text far longer than a command's usual ones (a large memo written) gives its memory back
  // rather than staying with the kept command; so does such a literal nobody else holds.
  constexpr int kKeptText = 65536;
  for (CTStringConcatAW* text : {&m_clTextHeld, &m_clFormated, &m_clLiteral})
    if (text->nGetLength() > kKeptText) *text = CTStringConcatAW();
  if (m_clTextBytes.nGetCapacity() > static_cast<unsigned int>(kKeptText)) m_clTextBytes.Libere();
  CNACommand::ResetCommand(0);
  int cp = 0;
  for (int i = 0; i < m_tabLiteral.nGetCount(); ++i) {
    CNAParameterLiteral* kept = m_tabLiteral[i];
    if (kept->nGetRefCount() == 1 && kept->pclGetWrittenLiteral(&cp)->nGetCapacity() > CNAParameterLiteral::kKeptBytes)
      kept->bSetLiteral(nullptr, 0, 0, 0);
  }
  SetParsedQuery(nullptr);
  // No set, as a new command has; the emptied one serves the next text that makes one.
  if (m_pclNullExcluded != nullptr) {
    m_pclNullExcluded->Reset();
    delete m_pclSpareNullExcluded;
    m_pclSpareNullExcluded = std::exchange(m_pclNullExcluded, nullptr);
  }
  m_bRewriteMode = 0;
  m_eQueryType = NA_QUERY_NONE;
  m_bAddParameters = 1;
  m_nDefineMode = 3;
  m_pCalculChain = nullptr;
  m_bBehindSubQuery = 0;
  m_csWrittenTable.Vide();
  m_clAdditionalColumns.Vide();
  m_clDump.Vide();
  _SetConnectionFacts();
}

CNACommand::~CNACommand() {
  m_tabDefine.SupprimeTout();
  m_tabParameter.SupprimeTout();
  delete m_pclNullExcluded;
  delete m_pclSpareNullExcluded;
  SetParsedQuery(nullptr);
  CNAError::s_Drop(&m_pclError);
  CNADriver::g_nReleaseConnection(m_pclCnx);
}

void CNACommand::ResetCommand(int bKeepParameters) {
  m_tabDefine.SupprimeTout();
  _DefinesChanged();
  m_nRewritingWord = 0;
  m_clTextHeld.Vide();
  m_bTextInFormated = 0;
  ResetFormatedSQL();
  if (!bKeepParameters) {
    m_tabParameter.SupprimeTout();
    m_nLiteralNext = 0;
  }
  m_llRowLimit = -1;
  m_llRowOffset = -1;
}

void CNACommand::SetQueryType(eTYPEREQUETE type) {
  static constexpr eNAQUERYTYPE kKinds[] = {NA_QUERY_OTHER,  NA_QUERY_SELECT,  NA_QUERY_SELECT, NA_QUERY_UPDATE,
                                            NA_QUERY_INSERT, NA_QUERY_DELETE,  NA_QUERY_CREATE, NA_QUERY_DROPTABLE};
  const int t = static_cast<int>(type);
  m_eQueryType = t >= 1 && t <= 7 ? kKinds[t] : NA_QUERY_OTHER;
}

BOOL CNACommand::bSetInternalQuery(const wchar_t* text, unsigned int length) {
  const BOOL result = bComplete(text, length);
  m_nDefineMode = 3;
  return result;
}

// ---------------------------------------------------------------- text

BOOL CNACommand::bComplete(const wchar_t* text, unsigned int length) {
  if (text == nullptr) return TRUE;
  const int n = length == ~0u ? static_cast<int>(wcslen(text)) : static_cast<int>(length);
  if (m_bRewriteMode && !m_clFormated.bEstVide()) {
    m_clFormated.Add(text, n);
    m_nLastLiteralAt = -1;
  }
  _Text().Add(text, n);
  return TRUE;
}

BOOL CNACommand::bCompleteWithNumber(int number) {
  _Text().AddNumber(number);
  return TRUE;
}

void CNACommand::Insert(unsigned int position, const wchar_t* text) {
  if (text == nullptr) return;
  const int n = static_cast<int>(wcslen(text));
  if (m_bRewriteMode && !m_clFormated.bEstVide()) {
    m_clFormated.Insert(text, n, static_cast<int>(position));
    m_nLastLiteralAt = -1;
  }
  const int before = _Text().nGetLength();
  _Text().Insert(text, n, static_cast<int>(position));
  _OffsetParameter(position, _Text().nGetLength() - before);
}

void CNACommand::Replace(unsigned int position, unsigned int count, const wchar_t* text) {
  const int before = _Text().nGetLength();
  if (before == 0) return;
  // The span the builder replaces: start within the text, count up to its end.
  const unsigned int start = position > static_cast<unsigned int>(before) ? before : position;
  const unsigned int end = count > static_cast<unsigned int>(before) - start ? before : start + count;
  _Text().Remplace(static_cast<int>(start), static_cast<int>(end - start), text,
                    text != nullptr ? static_cast<int>(wcslen(text)) : 0);
  const int delta = _Text().nGetLength() - before;
  // The values that stood inside the replaced text stood for part of it: they go with it.
  for (int i = m_tabParameter.nGetCount() - 1; i >= 0; --i) {
    const unsigned int p = m_tabParameter[i]->nGetPosition();
    if (p > start && p < end) m_tabParameter.SupprimeRef(i);
  }
  _OffsetParameter(end > start ? end : start, delta);
}

void CNACommand::Tronque(unsigned int length) {
  _Text().Tronque(static_cast<int>(length > 0x7fffffffu ? 0x7fffffffu : length));
  for (int i = m_tabParameter.nGetCount() - 1; i >= 0 && m_tabParameter[i]->nGetPosition() >= length; --i)
    m_tabParameter.SupprimeRef(i);
}

void CNACommand::TronqueParameters(unsigned int length, int count) {
  _Text().Tronque(static_cast<int>(length > 0x7fffffffu ? 0x7fffffffu : length));
  if (count < 0) count = 0;
  if (count < m_tabParameter.nGetCount()) m_tabParameter.SupprimeRef(count, m_tabParameter.nGetCount() - count);
}

void CNACommand::_GetMotifVariableDebut(wchar_t* buffer, int size) {
  if (buffer != nullptr && size > 0) wcsncpy(buffer, L"{", static_cast<size_t>(size - 1))[size - 1] = 0;
}

void CNACommand::_GetMotifVariableFin(wchar_t* buffer, int size) {
  if (buffer != nullptr && size > 0) wcsncpy(buffer, L"}", static_cast<size_t>(size - 1))[size - 1] = 0;
}

BOOL CNACommand::bAddReturning(const wchar_t* columns) {
  bComplete(L" RETURNING ");
  return bComplete(columns);
}

BOOL CNACommand::bAddRecordLock() {
  const wchar_t* hint = m_pclCnx != nullptr ? m_pclCnx->pszGetNoLockHint() : nullptr;
  if (hint != nullptr && *hint != 0) {
    bComplete(L" ");
    bComplete(hint);
  }
  return TRUE;
}

// ---------------------------------------------------------------- parameters

BOOL CNACommand::bAddParameter(CNAParameter* parameter) { return m_tabParameter.AjouteRef(parameter) != nullptr; }

BOOL CNACommand::bAddParameter(CNAConvertVariant* value, eOPEXPRESSION op, unsigned int options, CNAColumn* column,
                               const wchar_t* name, wchar_t escape, CNAParameter::eNAPARAMETERINOUT direction) {
  CNADriver* driver = Driver();
  CNAParameter* parameter = driver != nullptr ? driver->pclAllocParameter(
                                                    value, static_cast<unsigned int>(_Text().nGetLength()), options, name)
                                              : nullptr;
  if (parameter == nullptr) return FALSE;
  parameter->AddRef();
  parameter->SetEscape(escape);
  parameter->SetOperator(op);
  parameter->SetDirection(direction);
  if (column != nullptr) parameter->SetColum(column);
  const BOOL added = bAddParameter(parameter);
  parameter->nRelease();
  return added;
}

BOOL CNACommand::bAddParameter(const CAny* value, eOPEXPRESSION op, unsigned int options, CNAColumn* column,
                               wchar_t escape, CNAParameter::eNAPARAMETERINOUT direction) {
  CNAConvertVariant* holder = _vpclGetNewVariant(column, value);
  if (holder == nullptr) return FALSE;
  holder->AddRef();
  const BOOL added = bAddParameter(holder, op, options, column, nullptr, escape, direction);
  holder->nRelease();
  return added;
}

BOOL CNACommand::bAddParameterReturn(CNAConvertVariant* value) {
  return bAddParameter(value, static_cast<eOPEXPRESSION>(-1), 0, nullptr, nullptr, 0, CNAParameter::NA_PARAM_RETURN);
}

CNAConvertVariant* CNACommand::_vpclAllocVariant() {
  CNADriver* driver = Driver();
  return driver != nullptr ? driver->pclAllocVariant(m_pclError, m_pclCnx) : nullptr;
}

CNAConvertVariant* CNACommand::_vpclGetNewVariant(CNAColumn* column, const CAny* value) {
  CNADriver* driver = Driver();
  return driver != nullptr ? driver->pclGetNewVariant_NV_Any(m_pclError, m_pclCnx, column, value) : nullptr;
}

CNAParameter* CNACommand::pclGetParameterByNameNoRef(const wchar_t* name) const {
  for (int i = 0; i < m_tabParameter.nGetCount(); ++i) {
    CNAParameter* p = m_tabParameter[i];
    if ((p->dwGetOptions() & NA_PARAM_BIND) != 0 && STR_nCompareW(p->pszGetName(), name != nullptr ? name : L"", 3) == 0)
      return p;
  }
  return nullptr;
}

int CNACommand::nGetUserParamIndice(const CNAParameter* parameter) const {
  for (int i = 0; parameter != nullptr && i < m_tabParameter.nGetCount(); ++i) {
    const CNAParameter* p = m_tabParameter[i];
    if ((p->dwGetOptions() & NA_PARAM_BIND) != 0 && p->nGetPosition() == parameter->nGetPosition()) return i;
  }
  return -1;
}

void CNACommand::_OffsetParameter(unsigned int from, int delta) {
  if (delta == 0) return;
  for (int i = 0; i < m_tabParameter.nGetCount(); ++i) {
    CNAParameter* p = m_tabParameter[i];
    if (p->nGetPosition() >= from) p->SetPosition(p->nGetPosition() + static_cast<unsigned int>(delta));
  }
}

BOOL CNACommand::bAdd(CNACommand* other, eADDMMODE mode) {
  if (other == nullptr || other == this) return FALSE;
  const unsigned int offset = static_cast<unsigned int>(_Text().nGetLength());
  bComplete(other->_Text().pszGetW(), static_cast<unsigned int>(other->_Text().nGetLengthW()));
  if (!_bAddParameters(other, mode, offset)) return FALSE;
  for (int i = 0; i < other->m_tabDefine.nGetCount(); ++i) m_tabDefine.AjouteRef(other->m_tabDefine[i]);
  _DefinesChanged();
  return TRUE;
}

BOOL CNACommand::_bAddParameters(CNACommand* other, eADDMMODE mode, unsigned int offset) {
  BOOL result = TRUE;
  for (int i = 0; i < other->m_tabParameter.nGetCount(); ++i) {
    CNAParameter* p = other->m_tabParameter[i];
    if (mode == NA_ADD_CLONE) {
      p = p->pclGetClone();
      if (p == nullptr) return FALSE;
    } else {
      p->AddRef();
    }
    p->SetPosition(p->nGetPosition() + offset);
    result = bAddParameter(p) && result;
    p->nRelease();
  }
  return result;
}

// ---------------------------------------------------------------- bind variables

BOOL CNAParameter::bIsParamOUT(INAQueryParametersValue* binds) const {
  const int direction = binds != nullptr ? binds->nGetDirection(m_csName.pszGet()) : 0;
  return direction == 2 || direction == 3;
}

void CNACommand::SetParsedQuery(CSQLParserInfo* query) {
  if (query != nullptr) query->AddRef();
  if (m_pclParsedQuery != nullptr) m_pclParsedQuery->nRelease();
  m_pclParsedQuery = query;
}

BOOL CNACommand::bUpdateParametersValues() {
  if (m_tabParameter.nGetCount() == 0 || m_pclParsedQuery == nullptr) return TRUE;
  INAQueryParametersValue* binds = m_pclParsedQuery->piGetUserBindVariable();
  if (binds == nullptr) return TRUE;
  BOOL result = TRUE;
  for (int i = 0; i < m_tabParameter.nGetCount() && result; ++i)
    if ((m_tabParameter[i]->dwGetOptions() & NA_PARAM_BIND) != 0)
      result = _bUpdateParameterValue(binds, m_tabParameter[i]);
  binds->nRelease();
  return result;
}

BOOL CNACommand::_bUpdateParameterValue(CNAParameter* parameter) {
  INAQueryParametersValue* binds = m_pclParsedQuery != nullptr ? m_pclParsedQuery->piGetUserBindVariable() : nullptr;
  if (binds == nullptr) return TRUE;
  const BOOL result = _bUpdateParameterValue(binds, parameter);
  binds->nRelease();
  return result;
}

BOOL CNACommand::_bUpdateParameterValue(INAQueryParametersValue* binds, CNAParameter* parameter) {
  CNAConvertVariant* holder = parameter->pclGetValueNoRef();
  if ((parameter->dwGetOptions() & NA_PARAM_CURSOR) != 0 || holder == nullptr) return TRUE;
  const CAny* value = binds->pclGetValue(parameter->pszGetName(), 0);
  if (value == nullptr || value->wGetType() == ZV_VIDE) return TRUE;
  const unsigned short from = value->wGetType(), to = holder->wGetType();
  if (from != to && !(bIsAnsiTextType(from) && bIsAnsiTextType(to)) && !(bIsWideTextType(from) && bIsWideTextType(to)))
    holder->InitTypeVariantAny(from, 0);
  holder->bSetValue(value);
  return TRUE;
}

// ---------------------------------------------------------------- select columns and defines

void CNACommand::AddDefine(CNAColumn* column) {
  _DefinesChanged();
  const int at = m_tabDefine.nGetCount();
  if (at < m_tabSpareDefine.nGetCount()) {
    // The define this place had before Recycle, when nobody else holds it and it binds the same
    // column and value holder: what a new one would be.
    CNADefine* spare = m_tabSpareDefine[at];
    if (spare != nullptr && spare->nGetRefCount() == 1 && column != nullptr && spare->pclGetColumnNoRef() == column &&
        spare->pclGetValueNoRef() == column->pclGetNAValue()) {
      m_tabDefine.AjouteRef(spare);
      return;
    }
  }
  CNADefine* define = new (std::nothrow) CNADefine(column);
  if (define != nullptr && m_tabDefine.AjouteRef(define) == nullptr) DropUnheld(define);
}

void CNACommand::AddDefine(const wchar_t* name, CNAConvertVariant* value) {
  _DefinesChanged();
  CNADefine* define = new (std::nothrow) CNADefine(name, value);
  if (define != nullptr && m_tabDefine.AjouteRef(define) == nullptr) DropUnheld(define);
}

BOOL CNACommand::_bAddColumnInSelect(const wchar_t* text) {
  if (m_tabDefine.nGetCount() > 0) bComplete(L",");
  return bComplete(text);
}

BOOL CNACommand::bAddSelectColumn(CNAColumn* column, int mode) {
  if (!_bAddColumnInSelect(column->pszGetFormatedSelectName(mode))) return FALSE;
  AddDefine(column);
  return TRUE;
}

BOOL CNACommand::bAddSelectColumns(CNARecord* record, int mode) {
  for (int i = 0; record != nullptr && i < record->nGetNbColumn(); ++i) {
    CNAColumn* column = record->pclGetColumnNoRef(i);
    if (column->bMustDefine(static_cast<unsigned int>(m_nDefineMode)) && !bAddSelectColumn(column, mode)) return FALSE;
  }
  return TRUE;
}

BOOL CNACommand::bAddSelectAdditionnalColumn(const wchar_t* name, CNAConvertVariant* value) {
  if (!_bAddColumnInSelect(name)) return FALSE;
  AddDefine(name, value);
  return TRUE;
}

BOOL CNACommand::bAddSelectAdditionnalColumn(const wchar_t* name, unsigned short valueType) {
  CNADriver* driver = Driver();
  CNAConvertVariant* value =
      driver != nullptr ? driver->pclGetNewVariant_NV_Any(m_pclError, m_pclCnx, nullptr, valueType) : nullptr;
  if (value == nullptr) return FALSE;
  value->AddRef();
  const BOOL added = bAddSelectAdditionnalColumn(name, value);
  value->nRelease();
  return added;
}

BOOL CNACommand::bAddSelectAdditionalColumnInQueryFormat(const wchar_t* name, CNAConvertVariant* value) {
  if (!m_clAdditionalColumns.bEstVide()) m_clAdditionalColumns.Add(L",", 1);
  if (name != nullptr) m_clAdditionalColumns.Add(name, static_cast<int>(wcslen(name)));
  AddDefine(name, value);
  return TRUE;
}

// ---------------------------------------------------------------- NULL-selected columns

BOOL CNACommand::bColumnValuesNullSelected(const CNAColumn* column) const {
  return m_pclNullExcluded == nullptr || m_pclNullExcluded->bColumnValuesNullSelected(column);
}

BOOL CNACommand::bCombineColumnValuesNullSelected(eNAOperator op, CColumnNullValueExcluded* other) {
  if (m_pclNullExcluded == nullptr && other == nullptr) return TRUE;
  if (!_bInitColumnNullValueExcluded()) return FALSE;
  return m_pclNullExcluded->bCombineColumnValuesNullSelected(op, other);
}

BOOL CNACommand::bCopyColumnValuesNullSelected(CColumnNullValueExcluded* other) {
  if (other == nullptr) {
    if (m_pclNullExcluded != nullptr) m_pclNullExcluded->Reset();
    return TRUE;
  }
  if (!_bInitColumnNullValueExcluded()) return FALSE;
  // The copy replaces what the set held.
  m_pclNullExcluded->Reset();
  return m_pclNullExcluded->bCopyColumnValuesNullSelected(other, 0);
}

BOOL CNACommand::_bInitColumnNullValueExcluded() {
  if (m_pclNullExcluded != nullptr) return TRUE;
  m_pclNullExcluded = m_pclSpareNullExcluded != nullptr ? std::exchange(m_pclSpareNullExcluded, nullptr)
                                                        : new (std::nothrow) CColumnNullValueExcluded();
  if (m_pclNullExcluded != nullptr) return TRUE;
  CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteNullSet, m_pclCnx, nullptr, nullptr,
                             kErrNoMemory);
  return FALSE;
}
