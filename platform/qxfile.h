// CQXFile: a file object (platform/xfile.h) whose files begin with the host family's 20-byte
// header (signature "MVX\0", header size, file type, version, product code, format). Opening an
// existing file reads and checks the header; creating one writes it.
//
// Header failures are raised in the stream's error (level 3, system code 0, a debug line, the
// resource text with the file name in front of the user message, EIT_SRCFILE) and answer FALSE;
// an open whose header step fails closes the file. Fields are read and written byte by byte,
// little-endian.
#pragma once

#include <cstdint>

#include "platform/xfile.h"

// The header as the file holds it.
struct _stENTETE_FICHIER_QUENDA {
  uint32_t dwSignature;
  uint32_t dwHeaderSize;
  uint32_t dwType;
  uint16_t wHeaderWord;
  uint8_t byVersion;
  uint8_t byProduct;
  uint16_t wFormat;
  uint16_t wReserved;
};
static_assert(sizeof(_stENTETE_FICHIER_QUENDA) == 20, "the header is 20 bytes");

// Little-endian fields of the typed files.
inline uint32_t QX_dwGet32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
inline uint64_t QX_qwGet64(const unsigned char* p) {
  return static_cast<uint64_t>(QX_dwGet32(p)) | static_cast<uint64_t>(QX_dwGet32(p + 4)) << 32;
}

class CQXFile : public CXFile {
 public:
  static constexpr uint32_t mg_dwSignatureFichierQuenda = 0x0058564D;  // "MVX\0"
  static constexpr uint32_t kHeaderSize = 20;
  static constexpr uint16_t kVersion = 20;
  // Product code written into new headers.
  static uint8_t ms_byCodeProduitCourant;

  // expectedType 0 accepts any type.
  explicit CQXFile(unsigned int expectedType = 0) : m_dwType(expectedType) {}
  CQXFile(IXStream* stream, unsigned int expectedType) : CXFile(stream), m_dwType(expectedType) {}

  using CXFile::bOpen;
  using CXFile::bReopen;
  BOOL bOpen(const wchar_t* name, IXStream::eFORMAT format, IXStream::eACCESS access, IXStream::eSHARE share,
             IXStream::eCREATE create, IXStream::eFLAG flags) {
    return bOpenEx(name, format, access, share, create, flags, 0);
  }
  // A new file (create 0x240, or 0x40 that created it) or bForceHeader: the header is written
  // with format; otherwise read and checked.
  BOOL bOpenEx(const wchar_t* name, IXStream::eFORMAT format, IXStream::eACCESS access, IXStream::eSHARE share,
               IXStream::eCREATE create, IXStream::eFLAG flags, int bForceHeader);
  BOOL bReopen(IXStream::eFORMAT format, IXStream::eACCESS access, IXStream::eSHARE share, IXStream::eCREATE create,
               IXStream::eFLAG flags);
  // At *offset (null: 0), advanced past the header on success. A header cut short is refused.
  virtual BOOL bReadHeader(long long* offset);
  virtual BOOL bWriteHeader(long long* offset);
  // header receives what was written.
  virtual BOOL bWriteHeaderEx(long long* offset, _stENTETE_FICHIER_QUENDA* header);

  // The file type when the signature matches, 0 when not (or the read fails), 0xFFFFFFFF when
  // the stream cannot be opened. With a name the stream is opened read-only and left open.
  static unsigned int dwIdFichierInconnu(IXStream* stream, const wchar_t* name);
  static unsigned int dwIdFichierInconnu(const wchar_t* name);
  // The header's product code; 0 when the file is missing or cannot be read.
  static unsigned char byGetCodeProduit(const wchar_t* name);
  static BOOL bIdReconnu(unsigned int type);
  static BOOL s_bIsProjet(unsigned int type);
  static const wchar_t* s_pszVerNomProduit(int code);

  unsigned int dwGetType() const { return m_dwType; }
  uint8_t byGetProduct() const { return m_byProduct; }
  uint16_t wGetVersion() const { return m_wVersion; }
  uint32_t dwGetHeaderSize() const { return m_dwHeaderSize; }
  uint16_t wGetFormat() const { return m_wFormat; }

 private:
  // Writes or reads the header at 0; closes the file when that fails.
  BOOL _bHeaderStep(bool bWrite);
  // Raises id in the stream's error with the debug line format(a, b); version: an insert in
  // front of the file name.
  void _RaiseHeader(unsigned int id, const wchar_t* format, unsigned int a, unsigned int b,
                    const wchar_t* version = nullptr) const;

  uint32_t m_dwType;
  uint8_t m_byProduct = 0;
  uint16_t m_wVersion = 0;
  uint16_t m_wHeaderWord = 0;
  uint32_t m_dwHeaderSize = 0;
  uint16_t m_wFormat = 0;
  uint16_t m_wReserved = 0;
};
