#include "driver/naerror.h"

#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "platform/errordump.h"

namespace {

constexpr eXERROR_INFO kDumpFlags = XEI_ONLYFILLED | XEI_ALL;

const wchar_t* InfoText(const CXError& e, eERRORINFOTYPE type) {
  const void* value = nullptr;
  return e.bGetInfo(type, &value) ? static_cast<const wchar_t*>(value) : nullptr;
}

DWORD InfoNumber(const CXError* e, eERRORINFOTYPE type) {
  const void* value = nullptr;
  return e->bGetInfo(type, &value) ? static_cast<DWORD>(reinterpret_cast<uintptr_t>(value)) : 0;
}

}  // namespace

CNAError::~CNAError() = default;

const wchar_t* CNAError::_pszHandOver(eHANDEDTEXT kind, const wchar_t* text) const {
  if (text == nullptr) return nullptr;
  CTString& copy = m_tabHanded[std::this_thread::get_id()][kind];
  copy = text;
  return copy.pszGet();
}

void CNAError::s_Hold(CNAError* e) {
  CNADriverLock lock;
  if (e != nullptr) ++e->m_nRef;
}

void CNAError::s_Drop(CNAError** pp) {
  CNADriverLock lock;
  CNAError* e = *pp;
  *pp = nullptr;
  if (e != nullptr && e->m_nRef > 0 && --e->m_nRef == 0) delete e;
}

uint32_t CNAError::nGetRefCount() const {
  CNADriverLock lock;
  return m_nRef;
}

const wchar_t* CNAError::pszGetError() const {
  CNADriverLock lock;
  CTString dump;
  m_clError.StringDump(dump, kDumpFlags);
  return _pszHandOver(HANDED_DUMP, dump.pszGet());
}

DWORD CNAError::dwGetErrorId() const {
  CNADriverLock lock;
  return eGetErrorLevel() == NAERRORLEVEL_NONE ? 0 : m_clError.nGetUserErrorCode();
}

eNA_ERRORTYPE CNAError::eGetErrorType() const {
  CNADriverLock lock;
  return m_eType;
}

void CNAError::SetErrorType(eNA_ERRORTYPE type) {
  CNADriverLock lock;
  _SetType(type);
}

const wchar_t* CNAError::pszGetLogicalTableName() const {
  CNADriverLock lock;
  return _pszHandOver(HANDED_TABLE, InfoText(m_clError, EIT_LOGICALTABLENAME));
}

const wchar_t* CNAError::pszGetItemName() const {
  CNADriverLock lock;
  return _pszHandOver(HANDED_ITEM, InfoText(m_clError, EIT_ITEMNAME));
}

CXError* CNAError::pclGetXError() const {
  CNADriverLock lock;
  // Whoever holds the pointer may write it with code that does not mark it.
  m_clError.MarkHandedOut();
  return &m_clError;
}

eNAERRORLEVEL CNAError::eGetErrorLevel() const {
  CNADriverLock lock;
  return static_cast<eNAERRORLEVEL>(m_clError.eGetErrorLevel());
}

void CNAError::Reset() {
  CNADriverLock lock;
  ResetLocked();
}

void CNAError::SetQuiet(BOOL bQuiet) {
  CNADriverLock lock;
  m_bQuiet = bQuiet ? 1 : 0;
}

BOOL CNAError::bIsQuiet() const {
  CNADriverLock lock;
  return m_bQuiet;
}

void CNAError::AddError(eNA_ERRORTYPE type, const CXError* e, CNAConnectionDescription* cnx) {
  if (e == nullptr) return;
  CNADriverLock lock;
  if (m_eType != NA_ERRORTYPE_NONE) {
    AddSubError(e);
    return;
  }
  _SetType(type);
  m_clError.Copy(*e);
  if (!m_bQuiet) g_AddInfoNative(&m_clError, cnx);
}

void CNAError::AddError(eNA_ERRORTYPE type, int file, int site, CNAConnectionDescription* cnx, unsigned int code,
                        ...) {
  va_list args;
  va_start(args, code);
  _AddErrorList(type, file, site, cnx, code, args);
  va_end(args);
}

void CNAError::AddError(eNA_ERRORTYPE type, unsigned int code, int file, int site, CNAConnectionDescription* cnx) {
  AddError(type, file, site, cnx, code);
}

void CNAError::_AddErrorList(eNA_ERRORTYPE type, int file, int site, CNAConnectionDescription* cnx,
                             unsigned int code, va_list args) {
  CNADriverLock lock;
  if (m_eType == NA_ERRORTYPE_NONE) {
    _SetError(type, file, site, cnx, code, args);
    return;
  }
  _CXErrorModule32 e;
  e.SetUserErrorList(&gstMyModuleInfo32, code, args);
  if (!m_bQuiet) g_AddDebugInfo(&e, file, site);
  AddError(type, &e, cnx);
}

void CNAError::_SetError(eNA_ERRORTYPE type, int file, int site, CNAConnectionDescription* cnx, unsigned int code,
                         va_list args) {
  CNADriverLock lock;
  _SetType(type);
  m_clError.SetUserErrorList(&gstMyModuleInfo32, code, args);
  if (m_bQuiet) return;
  g_AddDebugInfo(&m_clError, file, site);
  g_AddInfoNative(&m_clError, cnx);
}

void CNAError::AddErrorFirst(eNA_ERRORTYPE type, int file, int site, CNAConnectionDescription* cnx,
                             unsigned int code, ...) {
  CNADriverLock lock;
  va_list args;
  va_start(args, code);
  if (m_eType == NA_ERRORTYPE_NONE) {
    _SetError(type, file, site, cnx, code, args);
  } else {
    _SetType(type);
    _CXErrorModule32 held;
    held.Copy(m_clError);
    m_clError.SetUserErrorList(&gstMyModuleInfo32, code, args);
    if (!m_bQuiet) g_AddDebugInfo(&m_clError, file, site);
    AddSubError(&held);
  }
  va_end(args);
}

template <typename F>
void CNAError::_FirstOrSubError(eNA_ERRORTYPE type, CNAConnectionDescription* cnx, F fill) {
  if (m_eType != NA_ERRORTYPE_NONE) {
    _CXErrorModule32 e;
    fill(&e);
    AddSubError(&e);
    return;
  }
  _SetType(type);
  fill(&m_clError);
  if (!m_bQuiet) g_AddInfoNative(&m_clError, cnx);
}

void CNAError::_SetDataBaseError(eNA_ERRORTYPE type, CNAConnectionDescription* cnx, unsigned int code,
                                 unsigned int serverCode, const wchar_t* message, const wchar_t* table,
                                 const wchar_t* item) {
  CNADriverLock lock;
  const wchar_t* database = cnx != nullptr ? cnx->pszGetDataBase() : nullptr;
  auto fill = [&](_CXErrorModule32* e) {
    e->SetUserError(&gstMyModuleInfo32, code, database != nullptr ? database : L"", serverCode);
    if (message != nullptr && *message != 0) {
      e->AddUserMessageNoFormat(message);
      e->SetSystemErrorMessage(message);
    }
    if (serverCode != 0) e->AddInfo(EIT_BASECODE, &serverCode);
    g_SetInfoNames(e, table, item);
  };
  _FirstOrSubError(type, cnx, fill);
}

void CNAError::SetAnyError(int kind, int p1, int p2, int file, int site, CNAConnectionDescription* cnx,
                           const wchar_t* table, const wchar_t* item) {
  CNADriverLock lock;
  auto fill = [&](_CXErrorModule32* e) {
    e->SetAnyError(&gstMyModuleInfo32, kind, p1, p2);
    if (m_bQuiet) return;
    g_SetInfoNames(e, table, item);
    g_AddDebugInfo(e, file, site);
  };
  _FirstOrSubError(NA_ERRORTYPE_DEFAULT, cnx, fill);
}

void CNAError::AddSubError(const CXError* e) {
  CNADriverLock lock;
  if (e == nullptr || e->eGetErrorLevel() == ERRORLEVEL_NONE) return;
  // The sub-error is a deep copy; the source is not changed.
  m_clError.AddSubError(const_cast<CXError*>(e));
}

void CNAError::Copy(const INAError* source) {
  if (source == nullptr || source == this) return;
  CNADriverLock lock;
  _SetType(source->eGetErrorType());
  m_clError.Copy(*source->pclGetXError());
}

void CNAError::g_RaiseUserError(CNAError* target, eNA_ERRORTYPE type, int file, int site,
                                CNAConnectionDescription* cnx, const wchar_t* table, const wchar_t* item,
                                unsigned int code, ...) {
  _CXErrorModule32 e;
  va_list args;
  va_start(args, code);
  e.SetUserErrorList(&gstMyModuleInfo32, code, args);
  va_end(args);
  g_SetInfoNames(&e, table, item);
  const unsigned int userCode = e.nGetUserErrorCode();
  e.AddInfo(EIT_NATIVECODE, &userCode);
  if (target == nullptr) return;
  CNADriverLock lock;
  if (!target->m_bQuiet) g_AddDebugInfo(&e, file, site);
  target->AddError(type, &e, cnx);
}

void CNAError::g_RaiseNoMemory(CNAError* target, CNAConnectionDescription* cnx) {
  if (target == nullptr) return;
  _CXErrorModule32 e;
  e.SetErrorNoMemory();
  target->AddError(NA_ERRORTYPE_DEFAULT, &e, cnx);
}

void CNAError::g_SetInfoNames(_CXErrorModule32* e, const wchar_t* table, const wchar_t* item) {
  if (e == nullptr || table == nullptr || *table == 0) return;
  e->AddInfo(EIT_LOGICALTABLENAME, table);
  if (item != nullptr && *item != 0) e->AddInfo(EIT_ITEMNAME, item);
}

void CNAError::g_AddDebugInfo(CXError* e, int file, int site) {
  XERR_AddRaiseSite(e, static_cast<unsigned int>(file), static_cast<unsigned int>(site));
}

void CNAError::g_AddInfoNative(_CXErrorModule32* e, CNAConnectionDescription* cnx) {
  if (e != nullptr && cnx != nullptr) cnx->AddInfoNativeXError(e);
}

void CNAError::SetInfoNames(const wchar_t* table, const wchar_t* item) {
  CNADriverLock lock;
  g_SetInfoNames(&m_clError, table, item);
}

CXError* CNAError::_pclGetLastXError() const {
  const int n = m_clError.nGetNbSubError();
  return n > 0 ? m_clError.pclGetSubError(n - 1) : &m_clError;
}

template <typename F>
auto CNAError::_OnLast(F call) const {
  CNADriverLock lock;
  return call(_pclGetLastXError());
}

void CNAError::SetDataBaseErrorMessage(const wchar_t* text) {
  _OnLast([&](CXError* e) { e->AddInfo(EIT_BASEMESSAGE, text); });
}

void CNAError::SetDataBaseErrorCode(unsigned int code) {
  _OnLast([&](CXError* e) { e->AddInfo(EIT_BASECODE, &code); });
}

DWORD CNAError::dwGetADOErrorCode() const {
  return _OnLast([](CXError* e) { return InfoNumber(e, EIT_ADOCODE); });
}

DWORD CNAError::dwGetDataBaseErrorCode() const {
  return _OnLast([](CXError* e) { return InfoNumber(e, EIT_BASECODE); });
}

void CNAError::AddDebugInfo(int file, int site) {
  _OnLast([&](CXError* e) { g_AddDebugInfo(e, file, site); });
}

void CNAError::AddDebugMessageNoFormat(const wchar_t* text) {
  _OnLast([&](CXError* e) { e->AddDebugMessageNoFormat(text); });
}

void CNAError::AddDebugMessageNoFormatFirst(const wchar_t* text) {
  _OnLast([&](CXError* e) { e->AddDebugMessageFirst(text); });
}

void CNAError::AddDebugMessage(unsigned int id, ...) {
  va_list args;
  va_start(args, id);
  _OnLast([&](CXError* e) { e->AddDebugMessageList(&gstMyModuleInfo32, id, args); });
  va_end(args);
}

void CNAError::AddUserMessageNoFormat(const wchar_t* text) {
  _OnLast([&](CXError* e) { e->AddUserMessageNoFormat(text); });
}

void CNAError::AddUserMessage(unsigned int id, ...) {
  va_list args;
  va_start(args, id);
  _OnLast([&](CXError* e) { e->AddUserMessageList(&gstMyModuleInfo32, id, args); });
  va_end(args);
}

void CNAError::AddUserMessageFirst(unsigned int id, ...) {
  va_list args;
  va_start(args, id);
  _OnLast([&](CXError* e) { e->AddUserMessageListFirst(&gstMyModuleInfo32, id, args); });
  va_end(args);
}

void CNAError::SetSystemErrorCode(unsigned int code) {
  _OnLast([&](CXError* e) { e->SetSystemErrorParam(code); });
}

const wchar_t* CNAError::pszGetSystemErrorMessage() const {
  return _OnLast([](CXError* e) { return e->pszGetSystemErrorMessage(); });
}

DWORD CNAError::dwGetSystemErrorCode() const {
  return _OnLast([](CXError* e) { return e->dwGetSystemErrorCode(); });
}

unsigned int CNAError::nGetUserErrorCode() const {
  return _OnLast([](CXError* e) { return e->nGetUserErrorCode(); });
}

void CNAError::SetErrorLevel(eNAERRORLEVEL level) {
  CNADriverLock lock;
  if (level >= NAERRORLEVEL_NONE && level <= NAERRORLEVEL_ERROR) m_clError.SetErrorLevel(static_cast<eERRORLEVEL>(level));
}

CXYString<wchar_t> CNAError::StringDump() const {
  CTString dump;
  {
    CNADriverLock lock;
    m_clError.StringDump(dump, kDumpFlags);
  }
  return CXYString<wchar_t>(dump.pszGet());
}
