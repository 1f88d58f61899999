#include "platform/xerror.h"

#include <netdb.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

#include "common/ctstring.h"
#include "platform/codepage.h"

namespace {

enum eInfoKind { INFO_NONE, INFO_TEXT, INFO_INT32, INFO_INT64, INFO_OBJECT, INFO_INTERFACE, INFO_POINTER };

eInfoKind InfoKind(uint32_t type) {
  switch (type) {
    case EIT_RECNUM:
    case EIT_HLOCKTIME:
      return INFO_INT64;
    case EIT_BASECODE:
    case EIT_NATIVECODE:
    case EIT_ADOCODE:
    case EIT_XINFO:
    case EIT_HCNXID:
      return INFO_INT32;
    case EIT_DATAACCESS:
      return INFO_OBJECT;
    case EIT_EXCEPTIONDOTNET:
      return INFO_INTERFACE;
    case EIT_PRIVATEPTR:
      return INFO_POINTER;
    case EIT_NONE:
    case EIT_RESERVED34:
    case EIT_RESERVED35:
      return INFO_NONE;
    default:
      return type <= EIT_LAST ? INFO_TEXT : INFO_NONE;
  }
}

size_t Len(const wchar_t* s) { return s != nullptr ? wcslen(s) : 0; }

// Offset of s in the text at p (length len, terminator included), or -1 when s lies elsewhere.
ptrdiff_t OffsetIn(const wchar_t* p, size_t len, const wchar_t* s) {
  if (p == nullptr || s == nullptr || s < p || s > p + len) return -1;
  return s - p;
}

}  // namespace

// ---- Construction ----

CXError::CXError(const _stMyModuleInfo* record) {
  if (record != nullptr) m_nModule = record->nModule;
}

CXError::CXError(const _stMyModuleInfo* record, unsigned int code, ...) : CXError(record) {
  va_list ap;
  va_start(ap, code);
  SetUserErrorList(record, code, ap);
  va_end(ap);
}

CXError::CXError(const _stMyModuleInfo* record, unsigned int code, STXErrorArgs args) : CXError(record) {
  if (args.pArgs != nullptr)
    SetUserErrorList(record, code, *args.pArgs);
  else
    SetUserError(record, code);
}

CXError::CXError(const _stMyModuleInfo* record, const wchar_t* debug, unsigned int code, ...) : CXError(record) {
  va_list ap;
  va_start(ap, code);
  SetUserErrorList(record, code, ap);
  va_end(ap);
  AddDebugMessageNoFormat(debug);
}

CXError::CXError(const _stMyModuleInfo* record, const wchar_t* debug, unsigned int code, STXErrorArgs args)
    : CXError(record, code, args) {
  AddDebugMessageNoFormat(debug);
}

CXError::CXError(const CXError& other) : CQXUnknown() { vCopy(&other); }

CXError::CXError(const _stMyModuleInfo* record, const CXError& other) : CXError(record) { vCopy(&other); }

CXError::CXError(const _stMyModuleInfo* record, CXError& other, int light) : CXError(record, &other, light) {}

CXError::CXError(const _stMyModuleInfo* record, CXError* other, int light)
    : CXError(record != nullptr ? record->nModule : 0u, other, light) {}

CXError::CXError(unsigned int module, CXError* other, int light) : m_nModule(module) {
  if (light != 0)
    LightCopy(other);
  else
    vCopy(other);
}

CXError& CXError::operator=(const CXError& other) { return Copy(other); }

CXError::~CXError() {
  RAZ();
  m_nModule = 0;
}

// ---- Text allocation ----

wchar_t* CXError::__vpszAllocString(wchar_t** pp, const wchar_t* s) {
  _Touch();
  wchar_t* copy = s != nullptr ? STR_pszCreate(s) : nullptr;
  free(*pp);
  *pp = copy;
  return copy;
}

wchar_t* CXError::__vpszReallocString(wchar_t** pp, const wchar_t* s) {
  _Touch();
  if (s == nullptr) return nullptr;
  const size_t len = wcslen(s);
  const ptrdiff_t off = OffsetIn(*pp, Len(*pp), s);
  if (off >= 0) {
    // A piece of the own text: moved to the front before the buffer shrinks to it.
    memmove(*pp, *pp + off, len * sizeof(wchar_t));
    (*pp)[len] = 0;
    __vpszReallocString(pp, static_cast<unsigned int>(len + 1));
    return *pp;
  }
  if (__vpszReallocString(pp, static_cast<unsigned int>(len + 1)) == nullptr) return nullptr;
  wmemcpy(*pp, s, len);
  (*pp)[len] = 0;
  return *pp;
}

wchar_t* CXError::__vpszReallocString(wchar_t** pp, unsigned int n) {
  _Touch();
  if (n == 0) n = 1;
  wchar_t* p = static_cast<wchar_t*>(realloc(*pp, static_cast<size_t>(n) * sizeof(wchar_t)));
  if (p == nullptr) return nullptr;
  if (*pp == nullptr) *p = 0;
  *pp = p;
  return p;
}

wchar_t* CXError::__vpszConcatString(wchar_t** pp, const wchar_t* s) {
  _Touch();
  if (s == nullptr) return *pp;
  const size_t old = Len(*pp), len = wcslen(s);
  const ptrdiff_t off = OffsetIn(*pp, old, s);
  if (__vpszReallocString(pp, static_cast<unsigned int>(old + len + 1)) == nullptr) return nullptr;
  memmove(*pp + old, off >= 0 ? *pp + off : s, len * sizeof(wchar_t));
  (*pp)[old + len] = 0;
  return *pp;
}

void CXError::__vDeleteString(wchar_t** pp) {
  free(*pp);
  *pp = nullptr;
}

wchar_t* CXError::_pszJoin(wchar_t** pp, const wchar_t* text, bool bFront) {
  _Touch();
  if (text == nullptr) text = L"";
  if (*pp == nullptr) {
    // Nothing to join to: the text becomes the message (an empty one included).
    wchar_t* p = nullptr;
    if (__vpszReallocString(&p, text) == nullptr) return nullptr;
    *pp = p;
    return p;
  }
  const size_t old = wcslen(*pp), len = wcslen(text);
  const ptrdiff_t off = OffsetIn(*pp, old, text);
  if (__vpszReallocString(pp, static_cast<unsigned int>(old + 2 + len + 1)) == nullptr) return nullptr;
  wchar_t* p = *pp;
  if (bFront) {
    memmove(p + len + 2, p, (old + 1) * sizeof(wchar_t));
    // A text taken from the message itself has moved up with it.
    memmove(p, off >= 0 ? p + len + 2 + off : text, len * sizeof(wchar_t));
    p[len] = L'\r';
    p[len + 1] = L'\n';
  } else {
    memmove(p + old + 2, off >= 0 ? p + off : text, len * sizeof(wchar_t));
    p[old] = L'\r';
    p[old + 1] = L'\n';
    p[old + 2 + len] = 0;
  }
  return p;
}

// ---- Codes, level and context ----

void CXError::SetErrorLevel(eERRORLEVEL level) {
  _Touch();
  if (level == m_eLevel) return;
  if (level == ERRORLEVEL_NONE)
    RAZ();
  else
    m_eLevel = level;
}

void CXError::SetFunctionName(const wchar_t* name, unsigned char syntax) {
  _Touch();
  if (__vpszAllocString(&m_pszFunctionName, name) != nullptr) m_bySyntax = syntax;
}

void CXError::SetVMContext(const wchar_t* caption, const wchar_t* objectName, unsigned short line,
                           unsigned short thread) {
  _Touch();
  const bool captionOk = __vpszAllocString(&m_pszCaption, caption) != nullptr || caption == nullptr;
  const bool objectOk = __vpszAllocString(&m_pszObjectName, objectName) != nullptr || objectName == nullptr;
  if (captionOk && objectOk) {
    m_wLine = line;
    m_wThread = thread;
  }
}

void CXError::SetVMContext(const wchar_t* caption, unsigned short line, unsigned short thread) {
  _Touch();
  if (__vpszAllocString(&m_pszCaption, caption) != nullptr || caption == nullptr) {
    m_wLine = line;
    m_wThread = thread;
  }
}

void CXError::SetVMContext(const wchar_t* objectName) {
  _Touch();
  __vpszAllocString(&m_pszObjectName, objectName);
}

void CXError::InitModName(const wchar_t* name) {
  _Touch();
  __vpszAllocString(&m_pszModName, name);
}

void CXError::InitModVersion(const wchar_t* version) {
  _Touch();
  __vpszAllocString(&m_pszModVersion, version);
}

void CXError::InitModInfo(const _stMyModuleInfo* record, BOOL bForce) {
  _Touch();
  if (record == nullptr) return;
  if (bForce) {
    __vDeleteString(&m_pszModName);
    __vDeleteString(&m_pszModVersion);
  } else if (m_pszModName != nullptr) {
    return;
  }
  InitModName(record->pszModuleName);
  InitModVersion(record->pszVersion);
}

// ---- Messages ----

const wchar_t* CXError::AddUserMessage(const wchar_t* text) {
  return _pszJoin(&m_pszUserMessage, text, false);
}

void CXError::AddUserMessageNoFormat(const wchar_t* text) {
  if (text != nullptr && *text != 0) AddUserMessage(text);
}

void CXError::AddUserMessageFirst(const wchar_t* text) {
  if (text != nullptr) _pszJoin(&m_pszUserMessage, text, true);
}

void CXError::AddDebugMessageNoFormat(const wchar_t* text) {
  if (text != nullptr && *text != 0) _pszJoin(&m_pszDebugMessage, text, false);
}

void CXError::AddDebugMessageFirst(const wchar_t* text) {
  if (text != nullptr && *text != 0) _pszJoin(&m_pszDebugMessage, text, true);
}

void CXError::AddDebugMessagePrintf(const wchar_t* format, ...) {
  CTString text;
  va_list ap;
  va_start(ap, format);
  text.FormatV(format, ap);
  va_end(ap);
  AddDebugMessageNoFormat(text.pszGet());
}

void CXError::_AddResourceMessage(const _stMyModuleInfo* record, unsigned int id, int variant, va_list args,
                                  eTarget target) {
  _Touch();
  const int lastError = errno;
  if (target == TARGET_USER || target == TARGET_USER_FRONT) {
    InitModInfo(record, FALSE);
    if (target == TARGET_USER_FRONT)
      m_tabErrorId.Insere(id, 0);
    else
      m_tabErrorId.Ajoute(id);
  }
  CTString text;
  va_list ap;
  va_copy(ap, args);
  const BOOL ok = DLLRES_bFormatMessageSingulierPlurielList(record, variant, id, &text, ap);
  va_end(ap);

  CTString note;
  if (ok && text.nTaille() > 0) {
    switch (target) {
      case TARGET_USER:
        AddUserMessage(text.pszGet());
        break;
      case TARGET_USER_FRONT:
        AddUserMessageFirst(text.pszGet());
        break;
      case TARGET_DEBUG:
        AddDebugMessageNoFormat(text.pszGet());
        break;
      case TARGET_SYSTEM:
        SetSystemErrorMessage(0u, text.pszGet());
        break;
    }
    return;
  }
  if (ok)
    note.printf(L"##(CXError)-Ressource <%u> vide. LastError = <%u>##", id, static_cast<unsigned int>(lastError));
  else
    note.printf(L"##(CXError)-Ressource <%u> non chargée##", id);
  if (target == TARGET_SYSTEM)
    SetSystemErrorMessage(0u, note.pszGet());
  else
    AddDebugMessageNoFormat(note.pszGet());
}

void CXError::AddUserMessage(const _stMyModuleInfo* record, unsigned int id, ...) {
  va_list ap;
  va_start(ap, id);
  _AddResourceMessage(record, id, 0, ap, TARGET_USER);
  va_end(ap);
}

void CXError::AddUserMessageList(const _stMyModuleInfo* record, unsigned int id, va_list args) {
  _AddResourceMessage(record, id, 0, args, TARGET_USER);
}

void CXError::AddUserMessageFirst(const _stMyModuleInfo* record, unsigned int id, ...) {
  va_list ap;
  va_start(ap, id);
  _AddResourceMessage(record, id, 0, ap, TARGET_USER_FRONT);
  va_end(ap);
}

void CXError::AddUserMessageListFirst(const _stMyModuleInfo* record, unsigned int id, va_list args) {
  _AddResourceMessage(record, id, 0, args, TARGET_USER_FRONT);
}

void CXError::AddDebugMessage(const _stMyModuleInfo* record, unsigned int id, ...) {
  if (id == 0xFFFFFFFFu) return;
  va_list ap;
  va_start(ap, id);
  _AddResourceMessage(record, id, 0, ap, TARGET_DEBUG);
  va_end(ap);
}

void CXError::AddDebugMessageList(const _stMyModuleInfo* record, unsigned int id, va_list args) {
  _AddResourceMessage(record, id, 0, args, TARGET_DEBUG);
}

unsigned int CXError::nGetErrorId(int index) const {
  return index >= 0 && index < m_tabErrorId.nGetCount() ? m_tabErrorId[index] : 0u;
}

// ---- System error ----

void CXError::SetSystemError(unsigned int code, const wchar_t* text) {
  _Touch();
  m_dwSystemCode = code;
  __vpszAllocString(&m_pszSystemMessage, text);
}

void CXError::SetSystemErrorMessage(unsigned int code, const wchar_t* text) {
  SetSystemError(code, text);
}

void CXError::SetSystemErrorMessage(const wchar_t* text) {
  SetSystemError(0, text);
}

void CXError::_SetSystemErrorUTF8(unsigned int code, const char* text) {
  _Touch();
  m_dwSystemCode = code;
  if (text == nullptr) {
    __vDeleteString(&m_pszSystemMessage);
    return;
  }
  const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (n <= 0 || __vpszReallocString(&m_pszSystemMessage, static_cast<unsigned int>(n)) == nullptr) {
    __vDeleteString(&m_pszSystemMessage);
    return;
  }
  if (MultiByteToWideChar(CP_UTF8, 0, text, -1, m_pszSystemMessage, n) <= 0) *m_pszSystemMessage = 0;
}

void CXError::SetSystemErrorMessageA(const char* text) {
  _SetSystemErrorUTF8(0, text);
}

void CXError::_SetSystemErrorV(unsigned int code, const wchar_t* format, va_list args) {
  CTString text;
  text.FormatV(format, args);
  SetSystemError(code, text.pszGet());
}

void CXError::SetSystemErrorMessagePrintf(unsigned int code, const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  _SetSystemErrorV(code, format, ap);
  va_end(ap);
}

void CXError::SetSystemErrorMessagePrintf(const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  _SetSystemErrorV(0, format, ap);
  va_end(ap);
}

void CXError::SetSystemErrorMessage(const _stMyModuleInfo* record, unsigned int id, ...) {
  _Touch();
  va_list ap;
  va_start(ap, id);
  _AddResourceMessage(record, id, 0, ap, TARGET_SYSTEM);
  va_end(ap);
}

void CXError::_SetSystemErrorOfErrno(unsigned int code, int err) {
  _Touch();
  if (code == 0) {
    m_dwSystemCode = 0;
    __vDeleteString(&m_pszSystemMessage);
    return;
  }
  // The disk file's record-lock conflicts.
  const unsigned int u = static_cast<unsigned int>(err);
  if (u >= 0x80000000u && u <= 0x80000002u) err = EAGAIN;
  char buffer[256];
  _SetSystemErrorUTF8(code, strerror_r(err, buffer, sizeof buffer));
}

void CXError::SetSystemErrorParam(unsigned int code, ...) {
  _Touch();
  _SetSystemErrorOfErrno(code, errno);
}

void CXError::SetSystemErrorForGetHostBy(unsigned int code) {
  _Touch();
  _SetSystemErrorUTF8(code, hstrerror(h_errno));
}

// ---- Information items ----

int CXError::_nFindInfo(eERRORINFOTYPE type) const {
  for (int i = 0; i < m_tabInfo.nGetCount(); ++i)
    if (m_tabInfo[i].eType == type) return i;
  return -1;
}

void CXError::_FreeInfo(_stERRORINFO& item) {
  switch (InfoKind(item.eType)) {
    case INFO_TEXT: {
      wchar_t* p = reinterpret_cast<wchar_t*>(item.uValue);
      __vDeleteString(&p);
      break;
    }
    case INFO_OBJECT:
      reinterpret_cast<CQXUnknown*>(item.uValue)->dwRelease();
      break;
    case INFO_INTERFACE:
      reinterpret_cast<IXErrorInterface*>(item.uValue)->Release();
      break;
    default:
      break;
  }
  item.uValue = 0;
}

void CXError::_DeleteAllInfo() {
  for (int i = m_tabInfo.nGetCount() - 1; i >= 0; --i) _FreeInfo(m_tabInfo[i]);
  m_tabInfo.SupprimeToutEtLibere();
}

void CXError::AddInfo(eERRORINFOTYPE type, const void* value) {
  _Touch();
  if (value == nullptr) return;
  const eInfoKind kind = InfoKind(type);
  if (kind == INFO_NONE) return;
  // The new value is made whole (copied or referenced) before the old one goes, so a value that
  // is the old one itself, or a copy that fails, leaves nothing dangling.
  _stERRORINFO item{type, 0, 0};
  switch (kind) {
    case INFO_TEXT: {
      wchar_t* copy = nullptr;
      if (__vpszAllocString(&copy, static_cast<const wchar_t*>(value)) == nullptr) return;
      item.uValue = reinterpret_cast<uintptr_t>(copy);
      break;
    }
    case INFO_INT32:
      item.uValue = *static_cast<const uint32_t*>(value);
      break;
    case INFO_INT64:
      item.uValue = *static_cast<const uint64_t*>(value);
      break;
    case INFO_OBJECT:
      static_cast<CQXUnknown*>(const_cast<void*>(value))->AddRef();
      item.uValue = reinterpret_cast<uintptr_t>(value);
      break;
    case INFO_INTERFACE:
      static_cast<IXErrorInterface*>(const_cast<void*>(value))->AddRef();
      item.uValue = reinterpret_cast<uintptr_t>(value);
      break;
    default:
      item.uValue = reinterpret_cast<uintptr_t>(value);
      break;
  }
  const int i = _nFindInfo(type);
  if (i >= 0) {
    _stERRORINFO old = m_tabInfo[i];
    m_tabInfo[i] = item;
    _FreeInfo(old);
  } else if (m_tabInfo.Ajoute(item) == nullptr) {
    _FreeInfo(item);
  }
}

const void* CXError::_pInfoValue(const _stERRORINFO& item) const {
  if (InfoKind(item.eType) == INFO_INT32)
    return reinterpret_cast<const void*>(static_cast<intptr_t>(static_cast<int32_t>(item.uValue)));
  return reinterpret_cast<const void*>(item.uValue);
}

void CXError::GetInfo(int index, eERRORINFOTYPE* type, const void** value) const {
  if (index < 0 || index >= m_tabInfo.nGetCount() || InfoKind(m_tabInfo[index].eType) == INFO_NONE) {
    if (type != nullptr) *type = EIT_NONE;
    return;
  }
  const _stERRORINFO& item = m_tabInfo[index];
  if (type != nullptr) *type = item.eType;
  if (value == nullptr) return;
  if (InfoKind(item.eType) == INFO_INT64) {
    if (*value != nullptr) *static_cast<long long*>(const_cast<void*>(*value)) = static_cast<long long>(item.uValue);
  } else {
    *value = _pInfoValue(item);
  }
}

BOOL CXError::bGetInfo(eERRORINFOTYPE type, const void** value) const {
  const int i = _nFindInfo(type);
  if (i < 0) return FALSE;
  eERRORINFOTYPE unused;
  GetInfo(i, &unused, value);
  return TRUE;
}

void CXError::DeleteInfo(eERRORINFOTYPE type) {
  const int i = _nFindInfo(type);
  if (i < 0) return;
  _stERRORINFO old = m_tabInfo[i];
  m_tabInfo.Supprime(i, 1);
  _FreeInfo(old);
}

void CXError::__SetXInfo(unsigned int bits, BOOL bSet) {
  _Touch();
  const int i = _nFindInfo(EIT_XINFO);
  uint32_t word = i >= 0 ? static_cast<uint32_t>(m_tabInfo[i].uValue) : 0u;
  word = bSet ? (word | bits) : (word & ~bits);
  AddInfo(EIT_XINFO, &word);
}

BOOL CXError::__bGetXInfo(unsigned int bits) const {
  const int i = _nFindInfo(EIT_XINFO);
  return i >= 0 && (static_cast<uint32_t>(m_tabInfo[i].uValue) & bits) != 0 ? TRUE : FALSE;
}

// ---- Sub-errors ----

CXError* CXError::pclGetSubError(int index) const {
  if (m_pSubErrors == nullptr || index < 0 || index >= m_pSubErrors->nGetCount()) return nullptr;
  return (*m_pSubErrors)[index];
}

void CXError::__AddSubError(CXError* e, int light, int noUserMessage) {
  _Touch();
  if (e == nullptr) return;
  // Moving an error that holds this one would make this error hold itself: copy it instead.
  if (light != 0 && e != this && e->_bIsDescendant(this)) light = 0;
  // Built before the array is looked at: a light copy of this very error takes its sub-errors.
  CXError* sub = new (std::nothrow) CXError(m_nModule, e, light);
  if (sub == nullptr) return;
  if (m_pSubErrors == nullptr) m_pSubErrors = new (std::nothrow) CTTableau<CXError*>(1, 30);
  if (m_pSubErrors == nullptr || m_pSubErrors->Ajoute(sub) == nullptr) {
    delete sub;
    return;
  }
  if (noUserMessage == 0 && m_pSubErrors->nGetCount() == 1) AddUserMessage(sub->pszGetUserMessage());
}

void CXError::__DeleteAllSubError() {
  if (m_pSubErrors == nullptr) return;
  CTTableau<CXError*>* subs = m_pSubErrors;
  m_pSubErrors = nullptr;
  for (int i = 0; i < subs->nGetCount(); ++i) delete (*subs)[i];
  delete subs;
}

bool CXError::_bIsDescendant(const CXError* e) const {
  for (int i = 0; i < nGetNbSubError(); ++i) {
    const CXError* sub = (*m_pSubErrors)[i];
    if (sub == e || sub->_bIsDescendant(e)) return true;
  }
  return false;
}

// ---- Copies and reset ----

CXError& CXError::Copy(const CXError& other) {
  _Touch();
  vCopy(&other);
  return *this;
}

void CXError::vCopy(const CXError* other) {
  _Touch();
  if (other == nullptr || other == this) return;
  if (_bIsDescendant(other)) {
    // other lives among the sub-errors that the copy replaces: copy it out first.
    CXError copy(m_nModule, const_cast<CXError*>(other), 0);
    LightCopy(&copy);
    return;
  }
  m_eLevel = other->m_eLevel;
  m_nUserCode = other->m_nUserCode;
  m_nUserCode55 = other->m_nUserCode55;
  __vpszAllocString(&m_pszUserMessage, other->m_pszUserMessage);
  __vpszAllocString(&m_pszModName, other->m_pszModName);
  __vpszAllocString(&m_pszModVersion, other->m_pszModVersion);
  __vpszAllocString(&m_pszDebugMessage, other->m_pszDebugMessage);
  __vpszAllocString(&m_pszFunctionName, other->m_pszFunctionName);
  m_dwSystemCode = other->m_dwSystemCode;
  __vpszAllocString(&m_pszSystemMessage, other->m_pszSystemMessage);
  __vpszAllocString(&m_pszCaption, other->m_pszCaption);
  __vpszAllocString(&m_pszObjectName, other->m_pszObjectName);
  m_nDetailId = other->m_nDetailId;
  m_bySyntax = other->m_bySyntax;
  m_wLine = other->m_wLine;
  m_wThread = other->m_wThread;
  m_tabErrorId.Duplique(other->m_tabErrorId);

  _DeleteAllInfo();
  for (int i = 0; i < other->m_tabInfo.nGetCount(); ++i) {
    const _stERRORINFO& item = other->m_tabInfo[i];
    if (item.eType == EIT_DATAACCESS && other->m_nModule != m_nModule) continue;
    // AddInfo reads integers through a pointer.
    const uint32_t v32 = static_cast<uint32_t>(item.uValue);
    const uint64_t v64 = item.uValue;
    const eInfoKind kind = InfoKind(item.eType);
    const void* value = kind == INFO_INT32   ? static_cast<const void*>(&v32)
                        : kind == INFO_INT64 ? static_cast<const void*>(&v64)
                                             : reinterpret_cast<const void*>(item.uValue);
    AddInfo(item.eType, value);
  }

  __DeleteAllSubError();
  for (int i = 0; i < other->nGetNbSubError(); ++i) __AddSubError((*other->m_pSubErrors)[i], 0, 1);
}

void CXError::LightCopy(CXError* other) {
  _Touch();
  if (other == nullptr || other == this) return;
  if (other->_bIsDescendant(this)) {
    // Moving an error that holds this one would make this error hold itself.
    vCopy(other);
    return;
  }
  if (_bIsDescendant(other)) {
    // other lives among the sub-errors that the move replaces: move it out first.
    CXError moved(m_nModule, other, 1);
    LightCopy(&moved);
    return;
  }
  RAZ();
  m_eLevel = other->m_eLevel;
  m_nUserCode = other->m_nUserCode;
  m_nUserCode55 = other->m_nUserCode55;
  m_pszUserMessage = other->m_pszUserMessage;
  m_pszDebugMessage = other->m_pszDebugMessage;
  m_pszFunctionName = other->m_pszFunctionName;
  m_pszModName = other->m_pszModName;
  m_pszModVersion = other->m_pszModVersion;
  m_bySyntax = other->m_bySyntax;
  m_nDetailId = other->m_nDetailId;
  m_dwSystemCode = other->m_dwSystemCode;
  m_pszSystemMessage = other->m_pszSystemMessage;
  m_pszCaption = other->m_pszCaption;
  m_wLine = other->m_wLine;
  m_wThread = other->m_wThread;
  m_pszObjectName = other->m_pszObjectName;
  m_pSubErrors = other->m_pSubErrors;
  m_tabErrorId.Recupere(other->m_tabErrorId);
  if (other->m_nModule == m_nModule) {
    m_tabInfo.Recupere(other->m_tabInfo);
  } else {
    for (int i = 0; i < other->m_tabInfo.nGetCount(); ++i) {
      _stERRORINFO& item = other->m_tabInfo[i];
      // Not carried over to another module, so its reference goes here.
      if (item.eType == EIT_DATAACCESS)
        other->_FreeInfo(item);
      else if (m_tabInfo.Ajoute(item) == nullptr)
        other->_FreeInfo(item);
    }
    other->m_tabInfo.SupprimeToutEtLibere();
  }
  other->m_pszUserMessage = other->m_pszDebugMessage = other->m_pszFunctionName = nullptr;
  other->m_pszModName = other->m_pszModVersion = other->m_pszSystemMessage = nullptr;
  other->m_pszCaption = other->m_pszObjectName = nullptr;
  other->m_pSubErrors = nullptr;
  other->_Reset();
}

void CXError::_Reset() {
  m_eLevel = ERRORLEVEL_NONE;
  m_nUserCode = 0;
  m_nUserCode55 = 0;
  m_nDetailId = 0;
  m_bySyntax = 0;
  m_dwSystemCode = 0;
  m_wLine = 0;
  m_wThread = 0;
}

CXError* CXError::RAZ() {
  // Every host entry resets its error objects before it works: most find nothing to clear.
  if (bClear()) return this;
  __vDeleteString(&m_pszUserMessage);
  __vDeleteString(&m_pszDebugMessage);
  __vDeleteString(&m_pszFunctionName);
  __vDeleteString(&m_pszCaption);
  __vDeleteString(&m_pszObjectName);
  __vDeleteString(&m_pszSystemMessage);
  __vDeleteString(&m_pszModName);
  __vDeleteString(&m_pszModVersion);
  m_tabErrorId.SupprimeToutEtLibere();
  _DeleteAllInfo();
  __DeleteAllSubError();
  _Reset();
  return this;
}
