#include "driver/naconnectiondescription.h"

#include <cerrno>
#include <climits>
#include <cwchar>
#include <vector>

#include "common/charset.h"
#include "common/str_compare.h"
#include "common/stringparameter.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "driver/natransaction.h"
#include "sql/natypeinfo.h"
#include "platform/diskfile.h"
#include "platform/modulepath.h"
#include "platform/xerror.h"

unsigned int CNAConnectionDescription::m_gnCnxGenerator = 0;
CTString CNAConnectionDescription::m_csClientVersion;
CTString CNAConnectionDescription::m_csClientLibrary;
int CNAConnectionDescription::m_nClientVersionMajor = -1;
int CNAConnectionDescription::m_nClientVersionMinor = 0;

namespace {

enum { kSiteClientLibraryWanted = 17 };

const wchar_t* OrNull(const wchar_t* s) { return s != nullptr ? s : L"NULL"; }

// The file name (with its extension) of a path.
std::vector<wchar_t> FileName(const wchar_t* path, bool* hasDirectory) {
  const size_t room = wcslen(path) + 1;
  std::vector<wchar_t> directory(room, 0), name(room, 0);
  CDiskFile::__SplitPath(path, directory.data(), name.data());
  if (hasDirectory != nullptr) *hasDirectory = directory[0] != 0;
  return name;
}

}  // namespace

CNAConnectionDescription::CNAConnectionDescription(const wchar_t* identification, INAConnectionDescription* host)
    : m_nConnectionID(++m_gnCnxGenerator), m_piHost(host), m_csIdentification(identification) {
  if (m_piHost != nullptr) m_piHost->AddRef();
  _InitCodePageFromZV();
  if (m_piHost == nullptr) return;
  _BuildConnexionString();
  m_csExtendedInfo = m_piHost->pszGetExtendedInfo();
  _ReadSettings();
}

CNAConnectionDescription::~CNAConnectionDescription() {
  _CloseTransactions();
  delete m_pclMapConvertType;
  if (m_piHost != nullptr) m_piHost->nRelease();
}

std::atomic<unsigned int> CNAReadStamp::s_nGenerator{0};

void CNAConnectionDescription::_InitCodePageFromZV() {
  SetHostCodePage(static_cast<int>(dwGetCodePageFromCharset(STR_nGetCurrentChangeCharset())));
}

void CNAConnectionDescription::_BuildConnexionString() {
  m_csConnectionString.printf(L"Provider=%s;ExtendedInformation=%s;Data source=%s;user id=%s;password=%s",
                              OrNull(m_piHost->pszGetProvider()), OrNull(m_piHost->pszGetExtendedInfo()),
                              OrNull(m_piHost->pszGetDataBase()), OrNull(m_piHost->pszGetUserName()),
                              OrNull(m_piHost->pszGetPassword()));
}

void CNAConnectionDescription::_ReadSettings() {
  CTString value;
  auto read = [&](const wchar_t* key) {
    _bGetExtendedParameter(&value, key, 1);
    value.Trim();
    return value.nTaille() > 0;
  };
  m_nConnectionTimeout = read(L"QX Connection Timeout") ? s_nSettingNumber(value) : m_piHost->nGetConnectionTimeout();
  m_nCommandTimeout = read(L"QX Command Timeout") ? s_nSettingNumber(value) : m_piHost->nGetCommandTimeout();
  if (read(L"QX Lock Timeout")) m_nLockTimeout = s_nSettingNumber(value);
  if (read(L"QX Cache Size"))
    m_llCacheSize = wcstoll(value.pszGet(), nullptr, 10);
  else if (m_piHost->nGetVersion() > 3)
    m_llCacheSize = m_piHost->llGetCacheSize();
  if (read(L"QX Cursor Location")) {
    m_eCursorLocation = STR_nCompareW(value.pszGet(), L"SERVER", 3) == 0   ? CURSORLOCATION_SERVER
                        : STR_nCompareW(value.pszGet(), L"CLIENT", 3) == 0 ? CURSORLOCATION_CLIENT
                                                                            : CURSORLOCATION_DEFAULT;
  } else {
    const long options = m_piHost->lGetCursorOptions();
    m_eCursorLocation = (options & 1) != 0   ? CURSORLOCATION_SERVER
                        : (options & 2) != 0 ? CURSORLOCATION_CLIENT
                                             : CURSORLOCATION_DEFAULT;
  }
  if (read(L"QX Unicode Support")) m_bUnicodeSupport = s_nSettingNumber(value);
  const struct {
    const wchar_t* pszKey;
    CTString* pclMember;
  } texts[] = {{L"QX RECORD LOCK", &m_csRecordLock},      {L"QX CLIENT VERSION", &m_csClientVersionWanted},
               {L"QX CLIENT LIBRARY", &m_csClientLibraryWanted}, {L"Application Name", &m_csApplicationName},
               {L"SSL Mode", &m_csSSLMode},            {L"SSL Key", &m_csSSLKey},
               {L"SSL Cert", &m_csSSLCert},            {L"SSL CA", &m_csSSLCA},
               {L"SSL CAPath", &m_csSSLCAPath},        {L"SSL Cipher", &m_csSSLCipher}};
  for (const auto& t : texts) {
    if (read(t.pszKey)) *t.pclMember = value;
  }
}

BOOL CNAConnectionDescription::_bGetExtendedParameter(CTString* value, int* found, const wchar_t* key, int bRemove) {
  return CStringParameter::s_bGetParameterValue(value, found, &m_csExtendedInfo, key, bRemove);
}

const wchar_t* CNAConnectionDescription::pszGetConnectionName() const {
  const CNAConnectionName* name = m_piHost != nullptr ? m_piHost->pclGetConnectionName() : nullptr;
  return name != nullptr ? name->pszGetName() : L"";
}

const wchar_t* CNAConnectionDescription::pszGetDefaultDataBaseEx() {
  if (m_csDefaultDataBase.nTaille() > 0) return m_csDefaultDataBase.pszGet();
  _bGetExtendedParameter(&m_csDefaultDataBase, L"Initial Catalog", 0);
  if (m_csDefaultDataBase.nTaille() == 0 && m_piHost != nullptr) {
    CTString provider(m_piHost->pszGetProvider());
    CStringParameter::s_bGetParameterValue(&m_csDefaultDataBase, nullptr, &provider, L"Initial Catalog", 0);
  }
  if (m_csDefaultDataBase.nTaille() == 0 && m_piHost != nullptr) m_csDefaultDataBase = m_piHost->pszGetDefaultDataBase();
  return m_csDefaultDataBase.pszGet();
}

const wchar_t* CNAConnectionDescription::pszGetApplicationName() {
  if (m_csApplicationName.nTaille() > 0) return m_csApplicationName.pszGet();
  if (!g_bGetExeName(&m_csApplicationName)) m_csApplicationName = L"Morvex Quenda";
  return m_csApplicationName.pszGet();
}

BOOL CNAConnectionDescription::_bCheckClientLibraryWanted(CNAError* error) {
  const wchar_t* wanted = m_csClientLibraryWanted.pszGet();
  if (*wanted == 0 || STR_nCompareW(wanted, m_csClientLibrary.pszGet(), 3) == 0) return TRUE;
  bool wantedHasDirectory = false;
  const std::vector<wchar_t> wantedName = FileName(wanted, &wantedHasDirectory);
  if (!wantedHasDirectory && wcscasecmp(wantedName.data(), FileName(m_csClientLibrary.pszGet(), nullptr).data()) == 0)
    return TRUE;
  CNAError::g_RaiseUserError(error, NA_ERRORTYPE_DEFAULT, NA_SRC_CONNECTION, kSiteClientLibraryWanted, this, nullptr,
                             nullptr, 74, L"MySQL", m_csClientLibrary.pszGet(), wanted);
  return FALSE;
}

BOOL CNAConnectionDescription::_bDecomposeServerVersion(CNAError* error) {
  m_nServerVersionMajor = -1;
  m_nServerVersionMinor = m_nServerVersionPatch = 0;
  g_bDecomposeVersion(error, &m_csServerVersion, &m_nServerVersionMajor, &m_nServerVersionMinor,
                      &m_nServerVersionPatch);
  return m_nServerVersionMajor >= 0;
}

void CNAConnectionDescription::AddInfoNative(CNAError* error) {
  if (error != nullptr) AddInfoNativeXError(error->pclGetXError());
}

void CNAConnectionDescription::AddInfoNativeXError(CXError* e) {
  if (e == nullptr) return;
  // Reached from raising anywhere: the designated driver and the cached database under the mutex.
  CNADriverLock lock;
  if (m_csClientVersion.nTaille() > 0) e->AddInfo(EIT_INFOCLIENT, m_csClientVersion.pszGet());
  if (m_csServerVersion.nTaille() > 0) e->AddInfo(EIT_INFOSERVEUR, m_csServerVersion.pszGet());
  CNADriver* driver = CNADriver::s_pclDriver;
  if (driver == nullptr) return;
  driver->InitQueryDumpRessources();
  CTString line;
  auto text = [&](eNA_DUMPLABEL label, const wchar_t* value) {
    if (value == nullptr || *value == 0) return;
    line = driver->pszGetDumpLabel(label);
    line.Add(value);
    e->AddDebugMessageNoFormat(line.pszGet());
  };
  auto number = [&](eNA_DUMPLABEL label, int value) {
    if (value == -1) return;
    CTString digits;
    digits.SetI4(value);
    text(label, digits.pszGet());
  };
  auto codePage = [&](eNA_DUMPLABEL label, int value) {
    if (value == -2)
      text(label, L"UTF-16");
    else if (value == 65001)
      text(label, L"UTF-8");
    else
      number(label, value);
  };
  text(NA_LABEL_NATIVE_LIBRARY, m_csClientLibrary.pszGet());
  if (m_piHost != nullptr) {
    text(NA_LABEL_PROVIDER, m_piHost->pszGetProvider());
    text(NA_LABEL_USER, m_piHost->pszGetUserName());
    text(NA_LABEL_DATA_SOURCE, m_piHost->pszGetDataBase());
  }
  text(NA_LABEL_DATABASE, pszGetDefaultDataBaseEx());
  number(NA_LABEL_CONNECTION_TIMEOUT, m_nConnectionTimeout);
  number(NA_LABEL_COMMAND_TIMEOUT, m_nCommandTimeout);
  number(NA_LABEL_LOCK_TIMEOUT, m_nLockTimeout);
  text(NA_LABEL_CURSOR_POSITION, s_pszGetCursorLocation(m_eCursorLocation));
  CTString unicode;
  unicode.SetI4(m_bUnicodeSupport);
  text(NA_LABEL_UNICODE, unicode.pszGet());
  codePage(NA_LABEL_HOST_CODE_PAGE, m_nHostCodePage);
  codePage(NA_LABEL_CONNECTION_CODE_PAGE, m_nServerCodePage);
  text(NA_LABEL_LOCK_TAG, m_csRecordLock.pszGet());
}

BOOL CNAConnectionDescription::bAutoCloseEnabled() const {
  return m_bAutoClose != 0 && m_bCloseRequested != 0 && !_bTransactionOpened();
}

int CNAConnectionDescription::nOpenTransactions() const {
  int open = 0;
  for (const CNATransaction* t = m_pclTransaction; t != nullptr && t->bIsActive(); t = t->pclGetNested()) ++open;
  return open;
}

BOOL CNAConnectionDescription::g_bGetModuleFileName(HINSTANCE__* module, CTString* out) {
  // No fixed limit: the buffer grows while the path does not fit.
  for (unsigned int size = 1024; size <= (1u << 20); size *= 2) {
    std::vector<wchar_t> buffer(size, 0);
    errno = 0;
    if (GetModuleFileNameW(module, buffer.data(), size)) {
      if (buffer[0] == 0) return FALSE;
      *out = buffer.data();
      return TRUE;
    }
    if (errno != ENAMETOOLONG) return FALSE;
  }
  return FALSE;
}

BOOL CNAConnectionDescription::g_bGetExeName(CTString* out) {
  CTString path;
  if (!g_bGetModuleFileName(nullptr, &path)) return FALSE;
  const size_t room = static_cast<size_t>(path.nTaille()) + 1;
  std::vector<wchar_t> name(room, 0);
  CDiskFile::__SplitPath(path.pszGet(), static_cast<wchar_t*>(nullptr), name.data(), static_cast<wchar_t*>(nullptr));
  if (name[0] == 0) return FALSE;
  *out = name.data();
  return TRUE;
}

// A 64-bit long cut to int would be junk: out-of-range values stop at the int limits.
int CNAConnectionDescription::s_nSettingNumber(const CTString& text) {
  const long long v = wcstoll(text.pszGet(), nullptr, 10);
  return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
}

const wchar_t* CNAConnectionDescription::s_pszGetCursorLocation(eCURSORLOCATION location) {
  switch (location) {
    case CURSORLOCATION_DEFAULT: return L"Default";
    case CURSORLOCATION_CLIENT: return L"Client";
    case CURSORLOCATION_SERVER: return L"Server";
  }
  return L"Unknown";
}
