#include "driver/nadriver.h"

#include <cwchar>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "access/nadataaccess.h"
#include "access/naidauto.h"
#include "access/nadatasourcedescription.h"
#include "access/natable.h"
#include "common/str_compare.h"
#include "driver/inadatasourcedescription.h"
#include "driver/nacontext.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriversql.h"
#include "driver/naerror.h"
#include "driver/naregistrywalk.h"
#include "platform/dllres.h"
#include "platform/errortable.h"
#include "platform/maincommun.h"
#include "sql/nacolumn.h"
#include "sql/nacommand.h"
#include "sql/naconvertvariant.h"
#include "sql/naitemdescription.h"

std::atomic<CNADriver*> CNADriver::s_pclDriver{nullptr};
HINSTANCE__* CNADriver::s_hDllHandle = nullptr;
unsigned int CNADriver::s_nID_QXKJ = 0;
unsigned int CNADriver::s_nID_QXSQL = 0;
constinit CNADriverMutex CNADriver::m_gstDriverCriticalSection;

namespace {

// Connection identifications hold the password: compared exactly, with a hash that agrees.
int CompareExact(const void* searched, const void* stored) {
  const wchar_t* a = searched != nullptr ? static_cast<const wchar_t*>(searched) : L"";
  const wchar_t* b = stored != nullptr ? static_cast<const wchar_t*>(stored) : L"";
  return wcscmp(a, b) != 0 ? 1 : 0;
}

unsigned int HashExact(const void* key) {
  uint32_t h = 2166136261u;  // FNV-1a over the code points
  for (const wchar_t* p = key != nullptr ? static_cast<const wchar_t*>(key) : L""; *p != 0; ++p) {
    h ^= static_cast<uint32_t>(*p);
    h *= 16777619u;
  }
  return h;
}

// A table or query-result key, "[CTX=<id>;]Table=<length>:<name>;<connection's key>", in its three
// parts: the name is compared as the host compares names (without case and accents), the rest
// exactly, so that two connections apart never share a table.
struct STTableKey {
  std::wstring strHead, strName, strTail;
};

STTableKey SplitTableKey(const void* key) {
  const wchar_t* text = key != nullptr ? static_cast<const wchar_t*>(key) : L"";
  STTableKey parts;
  const wchar_t* field = wcsstr(text, L"Table=");
  wchar_t* end = nullptr;
  const unsigned long length = field != nullptr ? wcstoul(field + 6, &end, 10) : 0;
  if (field == nullptr || end == nullptr || *end != L':' || wcslen(end + 1) < length) {
    parts.strTail = text;
    return parts;
  }
  parts.strHead.assign(text, static_cast<size_t>(field - text));
  parts.strName.assign(end + 1, length);
  parts.strTail = end + 1 + length;
  return parts;
}

int CompareTableKeys(const void* searched, const void* stored) {
  const STTableKey a = SplitTableKey(searched);
  const STTableKey b = SplitTableKey(stored);
  if (a.strHead != b.strHead || a.strTail != b.strTail) return 1;
  return CHashTableBounce::nStringLogiqueCompare(a.strName.c_str(), b.strName.c_str());
}

unsigned int HashTableKey(const void* key) {
  const STTableKey parts = SplitTableKey(key);
  return (HashExact(parts.strHead.c_str()) * 31u + HashExact(parts.strTail.c_str())) ^
         CHashTableBounce::dwStringLogiqueHashVal(parts.strName.c_str());
}

// One field of a registry key: its length before its text, and a bare NULL for a missing one, so
// that no two different sets of fields ever give the same key, whatever the fields hold.
void AppendKeyField(CTString* out, const wchar_t* label, const wchar_t* value) {
  if (value == nullptr)
    out->AddPrintf(L"%sNULL", label);
  else
    out->AddPrintf(L"%s%u:%s", label, static_cast<unsigned int>(wcslen(value)), value);
}

// "Table=<length>:<name>;<connection's key>", the part a table's and a query result's keys share.
void AppendTableKey(CTString* out, const wchar_t* name, const wchar_t* cnxIdentification) {
  AppendKeyField(out, L"Table=", name != nullptr ? name : L"");
  out->Add(L";");
  out->Add(cnxIdentification != nullptr ? cnxIdentification : L"");
}

struct STLabel {
  unsigned int nId;
  const wchar_t* pszBuiltIn;
};
constexpr STLabel kLabels[NA_LABEL_COUNT] = {
    {25676, L"Texte de la requête :"},
    {25679, L"Nombre de paramètres :"},
    {25678, L"Paramètre :"},
    {25675, L"Type Zavora"},
    {25680, L"Type ADO"},
    {25670, L"Valeur"},
    {25674, L"Echec de la conversion de la valeur en texte."},
    {25810, L"Informations de bind des paramètres :"},
    {25843, L"Connexion parameters : "},
    {25846, L"DataSource : "},
    {25869, L"Native Library : "},
    {25849, L"Provider : "},
    {25847, L"Utilisateur : "},
    {25848, L"Database : "},
    {25834, L"Connexion Timeout : "},
    {25835, L"Command Timeout : "},
    {25836, L"Lock Timeout : "},
    {25837, L"Cursor Position : "},
    {25838, L"Unicode actived : "},
    {25839, L"Lock Tag : "},
    {25840, L"Lock mode : "},
    {25841, L"KJ5 compatible Date Format : "},
    {25842, L"Charset : "},
    {25844, L"ZV Page Code : "},
    {25845, L"Connexion Page Code: "},
};

// One internal reference on a table, given back however the scope is left.
struct TableRelease {
  void operator()(CNATable* table) const { table->nRelease(); }
};
using HeldTable = std::unique_ptr<CNATable, TableRelease>;

}  // namespace

// ---------------------------------------------------------------- lifetime

CNADriver::CNADriver() {
  m_tabConnection.SetCmp(CompareExact);
  m_tabConnection.SetHashVal(HashExact);
  m_tabTable.SetCmp(CompareTableKeys);
  m_tabTable.SetHashVal(HashTableKey);
  CNADriverLock lock;
  m_pclOlder = s_pclDriver;
  if (m_pclOlder != nullptr) m_pclOlder->m_pclNewer = this;
  s_pclDriver = this;
}

CNADriver::~CNADriver() {
  CNADriverLock lock;
  if (m_pclError != nullptr) m_pclError->Reset();
  _Term();
  _LeaveLiveDrivers();
}

void CNADriver::_LeaveLiveDrivers() {
  CNADriverLock lock;
  if (!m_bLive) return;
  m_bLive = false;
  if (m_pclNewer != nullptr)
    m_pclNewer->m_pclOlder = m_pclOlder;
  else
    s_pclDriver = m_pclOlder;
  if (m_pclOlder != nullptr) m_pclOlder->m_pclNewer = m_pclNewer;
  m_pclOlder = m_pclNewer = nullptr;
}

void CNADriver::_Term() {
  m_tabContext.RemoveAll();
  m_tabTable.RemoveAll();
  // Connections the host opened and never closed give back their open references too; the
  // registry's reference then goes last.
  CNARegistryWalk<CNAConnectionDescription*> walk(&m_tabConnection);
  CNAConnectionDescription* cnx = nullptr;
  while (walk.bNext(&cnx)) {
    for (; cnx->m_nOpenCount > 0; --cnx->m_nOpenCount) cnx->nRelease();
  }
  m_tabConnection.RemoveAll();
  CNAError::s_Drop(&m_pclError);
  _FreeDriverSQL();
  _BeforeDeath();
}

INADriver* CNADriver::ExternalAddRef() {
  CNADriverLock lock;
  ++m_nExternalRef;
  return this;
}

int CNADriver::nExternalRelease() {
  {
    CNADriverLock lock;
    if (m_nExternalRef == 0) return 0;
    if (--m_nExternalRef != 0) return static_cast<int>(m_nExternalRef);
    // Nobody may reach it once the lock is let go: its destruction (derived part first) runs
    // without the lock.
    _LeaveLiveDrivers();
  }
  delete this;
  return 0;
}

BOOL CNADriver::bInitDriver() {
  AllocError();
  return TRUE;
}

void CNADriver::AllocError() {
  CNADriverLock lock;
  CNAError::s_Drop(&m_pclError);
  m_pclError = pclAllocError();
  CNAError::s_Hold(m_pclError);
}

void CNADriver::InitQueryDumpRessources() {
  CNADriverLock lock;
  if (m_tabLabel[NA_LABEL_QUERY_TEXT].nTaille() != 0) return;
  for (int i = 0; i < NA_LABEL_COUNT; ++i) {
    if (!DLLRES_bLoadString(&gstMyModuleInfo32, kLabels[i].nId, &m_tabLabel[i])) m_tabLabel[i] = kLabels[i].pszBuiltIn;
    m_tabLabel[i].Add(L' ');
  }
}

// ---------------------------------------------------------------- INADriver

INADriverSQL* CNADriver::piGetInterface(int id) {
  CNADriverLock lock;
  if (m_pclError != nullptr) m_pclError->Reset();
  CNADriverSQL* service = id == 1 ? pclGetDriverSQL() : nullptr;
  return service != nullptr ? service->ExternalAddRef() : nullptr;
}

INAError* CNADriver::piGetLastError() const {
  CNADriverLock lock;
  return m_pclError;
}

// ---------------------------------------------------------------- lists

// The lists hold the (recursive) driver mutex: the connection they get is a registry entry that
// another thread's close could otherwise unregister and free under them.
template <typename F>
BOOL CNADriver::_bOnListConnection(INAConnectionDescription* host, bool bReset, F&& op) {
  CNADriverLock lock;
  if (bReset && m_pclError != nullptr) m_pclError->Reset();
  CNAConnectionDescription* cnx = host != nullptr ? _pclGetConnection(host) : nullptr;
  if (cnx == nullptr) return FALSE;
  const BOOL result = op(cnx);
  nReleaseConnection(cnx);
  return result;
}

BOOL CNADriver::bGetTableList(CAny* out, INAConnectionDescription* host, unsigned int flags) {
  return _bOnListConnection(host, true, [&](CNAConnectionDescription* cnx) { return _bGetTableList(out, cnx, flags); });
}

BOOL CNADriver::bGetDatabaseList(CXYString<wchar_t>* out, INAConnectionDescription* host, unsigned int flags) {
  return _bOnListConnection(host, true,
                            [&](CNAConnectionDescription* cnx) { return _bGetDatabaseList(out, cnx, flags); });
}

BOOL CNADriver::bGetLinkList(CAny* out, const wchar_t* name, INADataSourceDescription* desc,
                             INAConnectionDescription* host, unsigned int flags) {
  return _bOnListConnection(host, false,
                            [&](CNAConnectionDescription* cnx) { return _bGetLinkList(cnx, name, desc, out, flags); });
}

BOOL CNADriver::bSQLFormatColonne(INAConnectionDescription*, CAny* out) {
  CNADriverLock lock;
  CNADriverSQL* service = pclGetDriverSQL();
  if (service != nullptr)
    service->bGetColumnTypeList(out, 0, 0);
  else
    CNADriverSQL::g_SetList(out, L"", 0);
  return TRUE;
}

BOOL CNADriver::bOpenConnection(INAConnectionDescription* host) {
  CNADriverLock lock;
  if (m_pclError != nullptr) m_pclError->Reset();
  CNAConnectionDescription* cnx = host != nullptr ? _pclGetConnection(host) : nullptr;
  if (cnx == nullptr) return FALSE;
  const BOOL open = _bOpenConnection(cnx);
  nReleaseConnection(cnx);
  return open;
}

BOOL CNADriver::bCloseConnection(INAConnectionDescription* host) {
  CNADriverLock lock;
  if (m_pclError != nullptr) m_pclError->Reset();
  CNAConnectionDescription* cnx = host != nullptr ? _pclFindConnection(host) : nullptr;
  if (cnx == nullptr) return TRUE;
  if (nReleaseConnection(cnx) > 0) _bCloseConnection(cnx);
  return TRUE;
}

INATable* CNADriver::piGetTable(INAConnectionDescription* host, INADataSourceDescription* desc) {
  CNADriverLock lock;
  if (m_pclError != nullptr) m_pclError->Reset();
  if (host == nullptr || desc == nullptr) return nullptr;
  CNAConnectionDescription* cnx = _pclGetConnection(host);
  if (cnx == nullptr) return nullptr;
  CNATable* table = _pclGetTable(desc, cnx);
  if (table != nullptr) {
    table->ExternalAddRef();
    // The registry's reference stays: this one only was the lookup's.
    table->nRelease();
  }
  nReleaseConnection(cnx);
  return table;
}

BOOL CNADriver::bCloseContext(INAContext* host) {
  CNADriverLock lock;
  if (m_pclError != nullptr) m_pclError->Reset();
  CNAContext* ctx = host != nullptr ? pclFindContext(host) : nullptr;
  if (ctx == nullptr) return FALSE;
  ctx->CloseAllDataAccess();
  nReleaseContext(host, ctx);
  return TRUE;
}

INADataSourceDescription* CNADriver::piGetTableDesc(const wchar_t* name, INAConnectionDescription* host) {
  CNADriverLock lock;
  if (m_pclError != nullptr) m_pclError->Reset();
  CNAHeldConnection cnx(this, _pclGetOpenConnection(host));
  return cnx.get() != nullptr ? _piGetTableDesc(name, cnx.get()) : nullptr;
}

BOOL CNADriver::bSetVMAndLibShop(ILibShop* libShop, IVMData* vmData) {
  m_piLibShop = libShop;
  m_piVMData = vmData;
  return TRUE;
}

BOOL CNADriver::bSetKJ(IKJForNA* kj) {
  m_piKJ = kj;
  return TRUE;
}

// ---------------------------------------------------------------- factories

BOOL CNADriver::bSetCharset(unsigned int, void*) { return TRUE; }

BOOL CNADriver::bBuildCnxIdentification(CTString* out, INAConnectionDescription* cnx) const {
  const CNAConnectionName* name = cnx->pclGetConnectionName();
  out->Vide();
  AppendKeyField(out, L"Connection=", name != nullptr ? name->pszGetName() : nullptr);
  AppendKeyField(out, L";Provider=", cnx->pszGetProvider());
  AppendKeyField(out, L";ExtendedInformation=", cnx->pszGetExtendedInfo());
  AppendKeyField(out, L";Data source=", cnx->pszGetDataBase());
  AppendKeyField(out, L";user id=", cnx->pszGetUserName());
  AppendKeyField(out, L";password=", cnx->pszGetPassword());
  out->Add(cnx->eGetAccess() == 1 ? L";access=R" : L";access=RW");
  return TRUE;
}

CNAConvertVariant* CNADriver::pclAllocVariant(CNAError* error, CNAConnectionDescription* cnx) {
  return new (std::nothrow) CNAConvertVariant(error != nullptr ? error : m_pclError, cnx);
}

BOOL CNADriver::bRestartVariant(CNAConvertVariant* value, unsigned int held, CNAError* error,
                                CNAConnectionDescription* cnx, bool keepItems) const {
  if (!bRestartableVariant(value, held, error, cnx)) return FALSE;
  value->Restart(keepItems);
  return TRUE;
}

BOOL CNADriver::s_bTypeVariant_NV_Any(CNAError* error, CNAConvertVariant* value, CNAColumn* column, const CAny* any) {
  if (column == nullptr)
    value->InitTypeVariantAny(any->wGetType(), 0);
  else if (!column->bInitVariant_NV_Any(error, value, any->wGetType()))
    return FALSE;
  return value->bSetValue(any);
}

CNAConvertVariant* CNADriver::pclGetNewVariant_NV_Any(CNAError* error, CNAConnectionDescription* cnx,
                                                      CNAColumn* column, unsigned short hostType) {
  CNAConvertVariant* value = pclAllocVariant(error, cnx);
  if (value == nullptr) return nullptr;
  if (column == nullptr) {
    value->InitTypeVariantAny(hostType, 0);
    return value;
  }
  if (column->bInitVariant_NV_Any(error, value, hostType)) return value;
  value->AddRef();
  value->nRelease();
  return nullptr;
}

CNAConvertVariant* CNADriver::pclGetNewVariant_NV_Any(CNAError* error, CNAConnectionDescription* cnx,
                                                      CNAColumn* column, const CAny* value) {
  if (value == nullptr) return nullptr;
  CNAConvertVariant* variant = pclAllocVariant(error, cnx);
  if (variant == nullptr || s_bTypeVariant_NV_Any(error, variant, column, value)) return variant;
  variant->AddRef();
  variant->nRelease();
  return nullptr;
}

CNADriverSQL* CNADriver::pclGetDriverSQL() {
  CNADriverLock lock;
  if (m_pclDriverSQL == nullptr) _InitDriverSQL();
  return m_pclDriverSQL;
}

void CNADriver::_InitDriverSQL() {
  m_pclDriverSQL = _pclAllocDriverSQL(m_pclError);
  if (m_pclDriverSQL != nullptr) m_pclDriverSQL->AddRef();
}

void CNADriver::_FreeDriverSQL() {
  CNADriverSQL* service = m_pclDriverSQL;
  m_pclDriverSQL = nullptr;
  if (service == nullptr) return;
  service->_Detach();
  service->nRelease();
}

// The generic driver has no row-identifier converter and no SQL service of its own: a backend
// gives them. Every driver makes the same generator of automatic identifiers.
CNAConvertVariant* CNADriver::pclAllocVariantRowID(CNAError*, CNAConnectionDescription*) { return nullptr; }
CNAIDAuto* CNADriver::pclAllocIDAuto() { return new (std::nothrow) CNAIDAuto(); }
CNADriverSQL* CNADriver::_pclAllocDriverSQL(CNAError*) { return nullptr; }

CNAColumn* CNADriver::pclAllocColumn(CNAError* error, INAItemDescription* item) const {
  if (item == nullptr) return nullptr;
  const eNA_ITEMTYPE type = item->eNAGetItemType();
  if (type < NA_IT_IDAUTO || type > NA_IT_LAST || type == 8) return nullptr;
  return new (std::nothrow) CNASQLColumn(error, item);
}

CNACommand* CNADriver::pclAllocCommand(CNAError* error, CNAConnectionDescription* cnx) const {
  return ::pclAllocCommand(error, cnx);
}

CNAParameter* CNADriver::pclAllocParameter(CNAConvertVariant* value, unsigned int position, unsigned int options,
                                           const wchar_t* name) {
  return new (std::nothrow) CNAParameter(value, position, options, name);
}

CNAParameter* CNADriver::pclAllocParameter_col(CNAColumn* column, CNAConvertVariant* value, unsigned int position,
                                               unsigned int options, const wchar_t* name) {
  CNAParameter* parameter = pclAllocParameter(value, position, options, name);
  if (parameter != nullptr) parameter->SetColum(column);
  return parameter;
}

CNADataSourceDescription* CNADriver::pclAllocDataSourceDescription(CNAConnectionDescription* cnx,
                                                                  CNAError* error) const {
  return new (std::nothrow) CNADataSourceDescription(cnx, error);
}

CNADataSourceDescription* CNADriver::pclNewDataSourceDescription(CNAConnectionDescription* cnx,
                                                                CNAError* error) const {
  CNADataSourceDescription* desc = pclAllocDataSourceDescription(cnx, error);
  if (desc == nullptr) {
    CNAError::g_RaiseNoMemory(error, cnx);
    return nullptr;
  }
  desc->AddRef();
  return desc;
}

CNADataSourceDescription* CNADriver::_pclGetTableDesc(const wchar_t* name, CNAConnectionDescription* cnx) {
  CNADriverLock lock;
  CNADataSourceDescription* desc = pclNewDataSourceDescription(cnx, m_pclError);
  if (desc == nullptr) return nullptr;
  if (desc->bInitDataSourceDescriptionFromDB(name, 0)) return desc;
  desc->nRelease();
  return nullptr;
}

INADataSourceDescription* CNADriver::_piGetTableDesc(const wchar_t* name, CNAConnectionDescription* cnx) {
  CNADriverLock lock;
  CNADataSourceDescription* desc = _pclGetTableDesc(name, cnx);
  if (desc == nullptr) return nullptr;
  desc->ExternalAddRef();
  desc->nRelease();
  return desc;
}

CNAContext* CNADriver::pclAllocContext() const { return new CNAContext(pclAllocError()); }

CNADataAccess* CNADriver::pclAllocDataAccess(INADataSourceDescription* desc, CNAConnectionDescription* cnx,
                                             CNAError* error) const {
  return new CNADataAccess(desc, cnx, error);
}

CNAError* CNADriver::pclAllocError() const { return new CNAError(); }

CNAItemDescription* CNADriver::pclAllocItemDescription() { return new (std::nothrow) CNAItemDescription(); }

void CNADriver::CancelRecordLock(INAConnectionDescription* cnx, CNATransaction* transaction) {
  CNADriverLock lock;
  for (HeldTable& table : CollectHeld<HeldTable>(&m_tabTable, [](CNATable*) { return true; }))
    table->CancelRecordLock(cnx, transaction);
}

BOOL CNADriver::bHMode(INAContext* ctx, _eNA_HMODE mode) {
  CNADriverLock lock;
  BOOL all = TRUE;
  for (HeldTable& table : CollectHeld<HeldTable>(&m_tabTable, [](CNATable*) { return true; }))
    if (!table->bHMode(ctx, mode)) all = FALSE;
  return all;
}

void CNADriver::OnFatalErrorAddDebugMessage(CNAError*, CNAConnectionDescription*) {}

CNATable* CNADriver::_pclAllocTable(const wchar_t* identification, INADataSourceDescription* desc,
                                    CNAConnectionDescription* cnx, CNAError* error) {
  return new CNATable(identification, desc, cnx, error);
}

// Without the SQL-function service the lists answer as the service's absence says.
BOOL CNADriver::_bGetDatabaseList(CXYString<wchar_t>* out, CNAConnectionDescription* cnx, unsigned int flags) {
  CNADriverSQL* service = pclGetDriverSQL();
  return service != nullptr && cnx->bOpen(m_pclError) && service->bGetDatabaseList(out, cnx, flags);
}

BOOL CNADriver::_bGetTableList(CAny* out, CNAConnectionDescription* cnx, unsigned int flags) {
  CNADriverSQL* service = pclGetDriverSQL();
  return service != nullptr && cnx->bOpen(m_pclError) && service->bGetTableList(out, cnx, nullptr, flags);
}

BOOL CNADriver::_bGetLinkList(CNAConnectionDescription* cnx, const wchar_t* name, INADataSourceDescription* desc,
                              CAny* out, unsigned int flags) {
  CNADriverSQL* service = pclGetDriverSQL();
  if (service == nullptr) return TRUE;
  return cnx->bOpen(m_pclError) && service->bGetLinkList(out, cnx, name, desc, flags);
}

BOOL CNADriver::_bTableExists(int* exists, const wchar_t* name, CNAConnectionDescription* cnx) {
  CNADriverLock lock;
  CNADataSourceDescription* desc = _pclGetTableDesc(name, cnx);
  if (exists != nullptr) *exists = desc != nullptr ? 1 : 0;
  if (desc != nullptr) {
    desc->nRelease();
    return TRUE;
  }
  return m_pclError != nullptr && m_pclError->nGetUserErrorCode() == 30;
}

void CNADriver::_BeforeDeath() {}

// ---------------------------------------------------------------- connections

CNAConnectionDescription* CNADriver::_pclFindConnectionLocked(const wchar_t* identification) {
  CNAConnectionDescription* cnx = nullptr;
  return m_tabConnection.bFindValue(identification, &cnx) ? cnx : nullptr;
}

CNAConnectionDescription* CNADriver::_pclFindConnection(const wchar_t* identification) {
  CNADriverLock lock;
  return _pclFindConnectionLocked(identification);
}

CNAConnectionDescription* CNADriver::_pclFindConnection(INAConnectionDescription* host) {
  CTString identification;
  bBuildCnxIdentification(&identification, host);
  return _pclFindConnection(identification.pszGet());
}

CNAConnectionDescription* CNADriver::_pclAddConnection(const wchar_t* identification,
                                                       INAConnectionDescription* host) {
  CNADriverLock lock;
  CNAConnectionDescription* cnx = _pclAllocConnectionDescription(identification, host);
  if (cnx == nullptr) return nullptr;
  cnx->AddRef();  // the caller's
  m_tabConnection.bAddValue(cnx->pszGetIdentification(), cnx);
  return cnx;
}

CNAConnectionDescription* CNADriver::_pclGetConnection(INAConnectionDescription* host) {
  CTString identification;
  bBuildCnxIdentification(&identification, host);
  CNADriverLock lock;
  if (CNAConnectionDescription* cnx = _pclFindConnectionLocked(identification.pszGet())) return cnx;
  return _pclAddConnection(identification.pszGet(), host);
}

BOOL CNADriver::_bRemoveConnection(CNAConnectionDescription* cnx) {
  CNAConnectionDescription* registered = nullptr;
  if (!m_tabConnection.bGetValue(cnx->pszGetIdentification(), &registered) || registered != cnx) return FALSE;
  return m_tabConnection.bRemoveValue(cnx->pszGetIdentification());
}

BOOL CNADriver::_bOpenConnection(CNAConnectionDescription* cnx) {
  CNADriverLock lock;
  if (cnx->bOpen(m_pclError)) {
    cnx->AddRef();
    ++cnx->m_nOpenCount;
    cnx->m_bCloseRequested = 0;
    return TRUE;
  }
  _bRemoveConnection(cnx);
  if (m_pclError != nullptr) m_pclError->SetErrorLevel(NAERRORLEVEL_WARNING);
  return FALSE;
}

int CNADriver::nReleaseConnection(CNAConnectionDescription* cnx) {
  if (cnx == nullptr) return 0;
  CNADriverLock lock;
  return _nReleaseConnectionLocked(cnx);
}

int CNADriver::_nReleaseConnectionLocked(CNAConnectionDescription* cnx) {
  if (cnx == nullptr) return 0;
  const int left = cnx->nRelease();
  if (left != 1 || !cnx->bAutoCloseEnabled()) return left;
  CNAConnectionDescription* registered = nullptr;
  // Only the registry's reference is left when the registry holds this very object.
  if (!m_tabConnection.bGetValue(cnx->pszGetIdentification(), &registered) || registered != cnx) return left;
  if (cnx->bIsOpen()) cnx->bClose(m_pclError);
  m_tabConnection.bRemoveValue(cnx->pszGetIdentification());
  return 0;
}

int CNADriver::g_nReleaseConnection(CNAConnectionDescription* cnx) {
  if (cnx == nullptr) return 0;
  CNADriverLock lock;
  CNADriver* driver = s_pclDriver;
  return driver != nullptr ? driver->_nReleaseConnectionLocked(cnx) : cnx->nRelease();
}

BOOL CNADriver::_bCloseConnection(CNAConnectionDescription* cnx) {
  CNADriverLock lock;
  cnx->m_bCloseRequested = 1;
  if (cnx->m_nOpenCount == 0) return TRUE;
  --cnx->m_nOpenCount;
  nReleaseConnection(cnx);
  return TRUE;
}

BOOL CNADriver::_bCloseConnectionById(int id) {
  CNADriverLock lock;
  CNAConnectionDescription* cnx = pclGetConnectionByID(id);
  if (cnx == nullptr) return TRUE;
  if (nReleaseConnection(cnx) > 0) _bCloseConnection(cnx);
  return TRUE;
}

CNAConnectionDescription* CNADriver::pclGetConnectionByID(int id) {
  CNADriverLock lock;
  CNARegistryWalk<CNAConnectionDescription*> walk(&m_tabConnection);
  CNAConnectionDescription* cnx = nullptr;
  while (walk.bNext(&cnx)) {
    if (cnx->nGetConnectionID() != static_cast<unsigned int>(id)) continue;
    cnx->AddRef();
    return cnx;
  }
  return nullptr;
}

CNAConnectionDescription* CNADriver::pclGetConnectionByName(const wchar_t* name) {
  CNADriverLock lock;
  CNARegistryWalk<CNAConnectionDescription*> walk(&m_tabConnection);
  CNAConnectionDescription* cnx = nullptr;
  while (walk.bNext(&cnx)) {
    if (STR_nCompareW(cnx->pszGetConnectionName(), name != nullptr ? name : L"", 3) != 0) continue;
    cnx->AddRef();
    return cnx;
  }
  return nullptr;
}

// ---------------------------------------------------------------- tables

BOOL CNADriver::bBuildTableIdentification(CTString* out, const wchar_t* table,
                                          const wchar_t* cnxIdentification) const {
  out->Vide();
  AppendTableKey(out, table, cnxIdentification);
  return TRUE;
}

BOOL CNADriver::bBuildQueryIdentification(CTString* out, const wchar_t* name, const wchar_t* cnxIdentification,
                                          INAContext* ctx) const {
  out->printf(L"CTX=%u;", ctx->dwGetCtxID());
  AppendTableKey(out, name, cnxIdentification);
  return TRUE;
}

CNATable* CNADriver::_pclFindTable(const wchar_t* identification) {
  CNADriverLock lock;
  CNATable* table = nullptr;
  return m_tabTable.bFindValue(identification, &table) ? table : nullptr;
}

CNATable* CNADriver::_pclFindTable(INADataSourceDescription* desc, CNAConnectionDescription* cnx,
                                   CTString* identification) {
  bBuildTableIdentification(identification, desc->pszGetDBTableName(), cnx->pszGetIdentification());
  return _pclFindTable(identification->pszGet());
}

void CNADriver::_AddTable(CNATable* table) {
  CNADriverLock lock;
  if (CNATable* found = _pclFindTable(table->pszGetIdentification())) {
    found->nRelease();
    return;
  }
  m_tabTable.bAddValue(table->pszGetIdentification(), table);
}

CNATable* CNADriver::_pclAddTable(const wchar_t* identification, INADataSourceDescription* desc,
                                  CNAConnectionDescription* cnx) {
  CNADriverLock lock;
  CNATable* table = _pclAllocTable(identification, desc, cnx, m_pclError);
  if (table == nullptr) return nullptr;
  table->AddRef();  // the caller's
  _AddTable(table);
  return table;
}

CNATable* CNADriver::_pclGetTable(INADataSourceDescription* desc, CNAConnectionDescription* cnx) {
  CNADriverLock lock;
  CTString identification;
  if (CNATable* table = _pclFindTable(desc, cnx, &identification)) return table;
  return _pclAddTable(identification.pszGet(), desc, cnx);
}

BOOL CNADriver::_bReleaseTable(CNATable* table) {
  CNADriverLock lock;
  CNATable* registered = nullptr;
  if (!m_tabTable.bGetValue(table->pszGetIdentification(), &registered) || registered != table) return FALSE;
  return m_tabTable.bRemoveValue(table->pszGetIdentification());
}

BOOL CNADriver::_bReleaseTable(INAContext* ctx, CNATable* table) {
  CNADriverLock lock;
  table->bHFerme(ctx);
  return _bReleaseTable(table);
}

int CNADriver::nReleaseTable(CNATable* table) {
  CNADriverLock lock;
  const int left = table->nRelease();
  if (left == 1 && _bReleaseTable(table)) return 0;
  return left;
}

CNATable* CNADriver::_pclGetQuery(INAContext* ctx, const wchar_t* name, CNAConnectionDescription* cnx,
                                  int bCloseExisting, int bCreate) {
  CNADriverLock lock;
  CTString identification;
  bBuildQueryIdentification(&identification, name, cnx->pszGetIdentification(), ctx);
  if (CNATable* found = _pclFindTable(identification.pszGet())) {
    if (!bCloseExisting || !found->bHFerme(ctx)) return found;
    nReleaseTable(found);
  }
  if (!bCreate) return nullptr;
  CNATable* table = _pclAllocTable(identification.pszGet(), nullptr, cnx, m_pclError);
  if (table != nullptr) table->AddRef();
  return table;
}

template <typename F>
void CNADriver::_OnTablesOf(CNAConnectionDescription* cnx, F&& op) {
  CNADriverLock lock;
  auto onConnection = [cnx](CNATable* table) { return table->pclGetConnectionNoRef() == cnx; };
  for (HeldTable& table : CollectHeld<HeldTable>(&m_tabTable, onConnection)) op(table.get());
}

void CNADriver::_SetTransactionTermined(CNAConnectionDescription* cnx) {
  _OnTablesOf(cnx, [](CNATable* table) { table->SetTransactionTermined(); });
}

void CNADriver::_TransactionCommitted(CNAConnectionDescription* cnx) {
  _OnTablesOf(cnx, [](CNATable* table) { table->TransactionCommitted(); });
}

CNATable* CNADriver::pclEnumTableByConnection(unsigned int* cursor, CNAConnectionDescription* cnx) {
  CNADriverLock lock;
  void* value = nullptr;
  while (m_tabTable.bParseTable(cursor, FALSE, &value, nullptr)) {
    CNATable* table = static_cast<CNATable*>(value);
    if (table->pclGetConnectionNoRef() != cnx) continue;
    table->AddRef();
    return table;
  }
  return nullptr;
}

// ---------------------------------------------------------------- contexts

void CNADriver::__AddContext(INAContext* host, CNAContext* ctx) {
  CNADriverLock lock;
  ctx->m_dwContextID = host->dwGetCtxID();
  m_tabContext.bAddValue(ctx->m_dwContextID, ctx);
}

CNAContext* CNADriver::_pclAddContext(INAContext* host) {
  CNADriverLock lock;
  CNAContext* ctx = pclAllocContext();
  if (ctx == nullptr) {
    if (m_pclError != nullptr) m_pclError->pclGetXError()->SetErrorNoMemory();
    return nullptr;
  }
  ctx->AddRef();  // the caller's
  __AddContext(host, ctx);
  return ctx;
}

CNAContext* CNADriver::pclFindContext(INAContext* host) const {
  CNADriverLock lock;
  CNAContext* ctx = nullptr;
  if (!m_tabContext.bGetValue(host->dwGetCtxID(), &ctx)) return nullptr;
  ctx->AddRef();
  return ctx;
}

CNAContext* CNADriver::pclGetContext(INAContext* host, int* created) {
  CNADriverLock lock;
  if (created != nullptr) *created = 0;
  if (CNAContext* ctx = pclFindContext(host)) return ctx;
  CNAContext* ctx = _pclAddContext(host);
  if (ctx != nullptr && created != nullptr) *created = 1;
  return ctx;
}

int CNADriver::nReleaseContext(INAContext* host, CNAContext* ctx) {
  CNADriverLock lock;
  const int left = ctx->nRelease();
  if (left == 0 || ctx->bHasDataAccess()) return left;
  CNAContext* registered = nullptr;
  const DWORD id = host->dwGetCtxID();
  if (!m_tabContext.bGetValue(id, &registered) || registered != ctx) return left;
  m_tabContext.bRemoveValue(id);
  return 0;
}

// ---------------------------------------------------------------- statics

void CNADriver::g_GenerateItemName(CTString* out, int index) { out->printf(L"%s%d", L"Expr", index + 1000); }

CNADriverSQL* CNADriver::s_pclGetDriverSQL() {
  CNADriverLock lock;
  CNADriver* driver = s_pclDriver;
  return driver != nullptr ? driver->pclGetDriverSQL() : nullptr;
}

// The driver mutex needs no start: it is made statically.
BOOL CNADriver::g_NAInitModule(void* module) {
  s_hDllHandle = static_cast<HINSTANCE__*>(module);
  CMainCommun::bInitLibraryCommon(static_cast<HINSTANCE__*>(module));
  s_nID_QXKJ = 0;
  s_nID_QXSQL = 0;
  return TRUE;
}

// The mutex stays: drivers and contexts the host still holds lock it when they go. The client
// library is unloaded here once its loader exists.
BOOL CNADriver::g_NATermModule() { return CMainCommun::bTermLibraryCommon(); }
