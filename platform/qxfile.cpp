// Typed data files (platform/qxfile.h).
#include "platform/qxfile.h"

#include <cerrno>
#include <cstring>

#include "platform/diskfile.h"
#include "platform/errortable.h"
#include "platform/xerror.h"

namespace {

enum : unsigned int { kResShortWrite = 28009, kResHeaderSize = 28011, kResType = 28259, kResSignature = 28555 };

void Put32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

void Put16(unsigned char* p, uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

}  // namespace

uint8_t CQXFile::ms_byCodeProduitCourant = 0;

void CQXFile::_RaiseHeader(unsigned int id, const wchar_t* format, unsigned int a, unsigned int b,
                           const wchar_t* version) const {
  CXError* e = pclGetXError();
  if (e == nullptr) return;
  const wchar_t* name = pszGetName() != nullptr ? pszGetName() : L"";
  e->SetErrorLevel(ERRORLEVEL_NONE);
  e->InitModInfo(&gstMyModuleInfo32, TRUE);
  e->SetErrorLevel(ERRORLEVEL_ERROR);
  e->SetSystemErrorParam(0);
  e->AddDebugMessagePrintf(format, a, b);
  if (version != nullptr)
    e->AddUserMessageFirst(&gstMyModuleInfo32, id, version, name);
  else
    e->AddUserMessageFirst(&gstMyModuleInfo32, id, name);
  e->AddInfo(EIT_SRCFILE, name);
}

BOOL CQXFile::_bHeaderStep(bool bWrite) {
  long long at = 0;
  if (bWrite ? bWriteHeader(&at) : bReadHeader(&at)) return TRUE;
  Close();
  return FALSE;
}

BOOL CQXFile::bOpenEx(const wchar_t* name, IXStream::eFORMAT format, IXStream::eACCESS access, IXStream::eSHARE share,
                      IXStream::eCREATE create, IXStream::eFLAG flags, int bForceHeader) {
  int created = 0;
  if (!CXFile::bOpen(name, access, share, create, flags, &created)) return FALSE;
  const bool bNew = create == IXStream::CREATE_ALWAYS ||
                    (create == IXStream::CREATE_OPEN_ALWAYS && (created != 0 || errno != EEXIST));
  if (bNew || bForceHeader) m_wFormat = static_cast<uint16_t>(format);
  return _bHeaderStep(bNew || bForceHeader);
}

BOOL CQXFile::bReopen(IXStream::eFORMAT format, IXStream::eACCESS access, IXStream::eSHARE share,
                      IXStream::eCREATE create, IXStream::eFLAG flags) {
  if (!CXFile::bReopen(access, share, create, flags)) return FALSE;
  const bool bNew = create == IXStream::CREATE_ALWAYS || (create == IXStream::CREATE_OPEN_ALWAYS && errno != EEXIST);
  if (bNew) m_wFormat = static_cast<uint16_t>(format);
  return _bHeaderStep(bNew);
}

BOOL CQXFile::bWriteHeader(long long* offset) {
  _stENTETE_FICHIER_QUENDA header;
  return bWriteHeaderEx(offset, &header);
}

BOOL CQXFile::bWriteHeaderEx(long long* offset, _stENTETE_FICHIER_QUENDA* header) {
  if (m_dwType == 0x20001) m_dwType = 2;
  m_dwHeaderSize = kHeaderSize;
  m_wHeaderWord = 0;
  m_wVersion = kVersion;
  m_byProduct = ms_byCodeProduitCourant;
  m_wReserved = 0;
  _stENTETE_FICHIER_QUENDA h = {
      mg_dwSignatureFichierQuenda, kHeaderSize, m_dwType, 0, kVersion, m_byProduct, m_wFormat, 0};
  if (header != nullptr) *header = h;
  unsigned char bytes[kHeaderSize];
  Put32(bytes, h.dwSignature);
  Put32(bytes + 4, h.dwHeaderSize);
  Put32(bytes + 8, h.dwType);
  Put16(bytes + 12, h.wHeaderWord);
  bytes[14] = h.byVersion;
  bytes[15] = h.byProduct;
  Put16(bytes + 16, h.wFormat);
  Put16(bytes + 18, h.wReserved);
  const long long at = offset != nullptr ? *offset : 0;
  unsigned int written = 0;
  if (!bWrite(at, bytes, kHeaderSize, &written)) return FALSE;
  if (written < kHeaderSize) {
    _RaiseHeader(kResShortWrite, L"##(IXStream)-A ecrire=<%u>, ecrit=<%u>##", kHeaderSize, written);
    return FALSE;
  }
  if (offset != nullptr) *offset += kHeaderSize;
  return TRUE;
}

BOOL CQXFile::bReadHeader(long long* offset) {
  unsigned char h[kHeaderSize];
  memset(h, 0xCD, sizeof h);
  const long long at = offset != nullptr ? *offset : 0;
  unsigned int n = 0;
  if (!bRead(at, h, kHeaderSize, &n)) return FALSE;
  const uint32_t signature = QX_dwGet32(h), type = QX_dwGet32(h + 8), size = QX_dwGet32(h + 4);
  if (signature != mg_dwSignatureFichierQuenda) {
    _RaiseHeader(kResSignature, L"##(CQXFile)-Signature geree=<%u>, signature lue=<%u>##", mg_dwSignatureFichierQuenda,
                 signature, L"20.0");
    return FALSE;
  }
  // A header cut short holds the filler bytes: it is refused, never read as sizes.
  if (n < kHeaderSize) {
    _RaiseHeader(kResHeaderSize, L"##(CQXFile)-Taille entete attendue=<%u>, Taille entete lue=<%u>##", kHeaderSize, n);
    return FALSE;
  }
  m_byProduct = h[15];
  m_wVersion = h[14];
  m_wHeaderWord = static_cast<uint16_t>(h[12] | h[13] << 8);
  m_dwHeaderSize = size;
  m_wFormat = static_cast<uint16_t>(h[16] | h[17] << 8);
  m_wReserved = static_cast<uint16_t>(h[18] | h[19] << 8);
  const bool projectFamily = type == 8 || type == 2 || type == 258 || type == 259;
  if (m_dwType == 0 || (m_dwType == 0x20001 && projectFamily)) {
    m_dwType = type;
  } else if (type != m_dwType) {
    _RaiseHeader(kResType, L"##(CQXFile)-Type demande=<%u>, type lu=<%u>##", m_dwType, type);
    return FALSE;
  }
  if (size < kHeaderSize) {
    _RaiseHeader(kResHeaderSize, L"##(CQXFile)-Taille entete attendue=<%u>, Taille entete lue=<%u>##", kHeaderSize,
                 size);
    return FALSE;
  }
  if (offset != nullptr) *offset += size;
  return TRUE;
}

unsigned int CQXFile::dwIdFichierInconnu(IXStream* stream, const wchar_t* name) {
  if (stream == nullptr) return 0xFFFFFFFF;
  if (name != nullptr && !stream->bOpen(name, IXStream::ACCESS_READ, IXStream::SHARE_NOLOCK, IXStream::CREATE_OPEN,
                                        IXStream::FLAG_NONE, nullptr))
    return 0xFFFFFFFF;
  unsigned char h[kHeaderSize];
  if (!stream->bRead(0LL, h, kHeaderSize, nullptr) || QX_dwGet32(h) != mg_dwSignatureFichierQuenda) return 0;
  return QX_dwGet32(h + 8);
}

unsigned int CQXFile::dwIdFichierInconnu(const wchar_t* name) {
  CDiskFile f;
  return dwIdFichierInconnu(&f, name);
}

unsigned char CQXFile::byGetCodeProduit(const wchar_t* name) {
  if (!CDiskFile::bExist(name)) return 0;
  CDiskFile f;
  unsigned char h[kHeaderSize];
  if (!f.bOpen(name, IXStream::ACCESS_READ, IXStream::SHARE_NOLOCK, IXStream::CREATE_OPEN, IXStream::FLAG_NONE,
               nullptr) ||
      !f.bRead(0LL, h, kHeaderSize, nullptr))
    return 0;
  return h[15];
}

BOOL CQXFile::bIdReconnu(unsigned int type) {
  static const unsigned int kRanges[][2] = {
      {1, 0x10007},         {0x60001, 0x60001},   {0x70001, 0x70006},   {0x80001, 0x80002},   {0xA0001, 0xA0001},
      {0xB0001, 0xB0005},   {0xC0001, 0xC0005},   {0xD0001, 0xD0004},   {0xE0001, 0xE0003},   {0xF0001, 0xF0002},
      {0x100001, 0x100002}, {0x110001, 0x110005}, {0x120001, 0x120001}, {0x130001, 0x130001}, {0x160001, 0x160001},
  };
  for (const auto& r : kRanges)
    if (type >= r[0] && type <= r[1]) return TRUE;
  return FALSE;
}

BOOL CQXFile::s_bIsProjet(unsigned int type) {
  return type == 1 || type == 257 || type == 4097 || type == 0x10001 ? TRUE : FALSE;
}

const wchar_t* CQXFile::s_pszVerNomProduit(int code) {
  switch (code) {
    case 1:
      return L"Quenda Atelier";
    case 2:
      return L"Quenda Web";
    case 3:
      return L"Quenda Mobile";
    case 4:
      return L"Quenda Serveur";
    default:
      return L"Quenda";
  }
}
