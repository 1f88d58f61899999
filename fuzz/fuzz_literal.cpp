// SQL literals of texts and bytes written by the MySQL connection (the client's escaper on a
// handle of the real client library, in the connection's code page and SQL mode). A scanner of
// MySQL string literals, in the default mode and with NO_BACKSLASH_ESCAPES, finds one literal
// spanning the whole output, and it reads back as the value in the server's code page.
#include <dlfcn.h>

#include <cstring>
#include <map>
#include <string>

#include "common/tstringconcataw.h"
#include "driver/mysqlapi.h"
#include "driver/naerror.h"
#include "driver/nafunctionloader.h"
#include "fuzz/fuzz_iconv.h"
#include "fuzz/fuzz_input.h"
#include "host/host_nadescription.h"
#include "mysql/mysqlconnection.h"
#include "values/any.h"

// A handle that reached no server, in the character set and SQL mode of the literal.
struct CMySQLConnectionTestAccess {
  static void Attach(CMySQLConnection* cnx, int codePage, bool noBackslashEscapes) {
    static auto* const charset = reinterpret_cast<MARIADB_CHARSET_INFO* (*)(const char*)>(
        dlsym(CNAFunctionLoader::g_hGetNativeLibHandle(), "mysql_get_charset_by_name"));
    FUZZ_CHECK(charset != nullptr, "the client library has no character sets");
    MYSQL* handle = __mysql_init(nullptr);
    handle->charset = charset(codePage == 65001 ? "utf8mb4" : "latin1");
    FUZZ_CHECK(handle->charset != nullptr, "no character set for %d", codePage);
    if (noBackslashEscapes) handle->server_status |= SERVER_STATUS_NO_BACKSLASH_ESCAPES;
    cnx->m_pMySQL = handle;
    cnx->m_bOpen = 1;
    cnx->SetServerCodePage(codePage);
    cnx->SetHostCodePage(1252);
  }
};

namespace {

// The text between the quotes of the literal that opens text, read as the server reads it; false
// when there is no such literal or it ends before the text does.
bool Scan(const std::string& text, bool backslashEscapes, std::string* value) {
  value->clear();
  if (text.size() < 2 || text[0] != '\'') return false;
  for (size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\'') {
      if (i + 1 < text.size() && text[i + 1] == '\'') {
        *value += '\'';
        ++i;
        continue;
      }
      return i + 1 == text.size();
    }
    if (c == '\\' && backslashEscapes) {
      if (++i == text.size()) return false;
      switch (text[i]) {
        case '0': *value += '\0'; break;
        case 'b': *value += '\b'; break;
        case 'n': *value += '\n'; break;
        case 'r': *value += '\r'; break;
        case 't': *value += '\t'; break;
        case 'Z': *value += '\x1A'; break;
        // Kept with their backslash: they escape LIKE wildcards.
        case '%': *value += "\\%"; break;
        case '_': *value += "\\_"; break;
        default: *value += text[i]; break;
      }
      continue;
    }
    *value += c;
  }
  return false;
}

// One Windows-1252 byte as UTF-8; the five bytes it leaves undefined as the same code points.
std::string Utf8Of1252(unsigned char b) {
  std::string u;
  if (!Iconv("UTF-8", "CP1252", std::string(1, static_cast<char>(b)), &u))
    Iconv("UTF-8", "LATIN1", std::string(1, static_cast<char>(b)), &u);
  return u;
}

// One character in the server's code page, or nothing when it has no form there.
bool Encode(wchar_t c, int codePage, std::string* out) {
  const std::string utf32(reinterpret_cast<const char*>(&c), 4);
  // iconv drops some characters (the tags) without a word: that is no form either.
  return Iconv(codePage == 65001 ? "UTF-8" : "CP1252", "UTF-32LE", utf32, out) && !out->empty();
}

CMySQLConnection* Connection(int codePage, bool noBackslashEscapes) {
  static CMySQLConnection* connections[2][2] = {};
  CMySQLConnection*& cnx = connections[codePage == 65001][noBackslashEscapes];
  if (cnx == nullptr) {
    static CHostConnectionDescription* host = new CHostConnectionDescription;
    cnx = new CMySQLConnection(L"fuzz", host);
    CMySQLConnectionTestAccess::Attach(cnx, codePage, noBackslashEscapes);
  }
  return cnx;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzInstallHost();
  CNAError error;
  CTString loaded;
  FUZZ_CHECK(CNAFunctionLoader::g_bInitNative(&error, &loaded, nullptr, 0), "no client library: %ls",
             error.pszGetError());
  for (int cp : {1252, 65001})
    for (bool nbe : {false, true}) Connection(cp, nbe);
  std::string out;
  for (int b = 0; b < 256; ++b) Utf8Of1252(static_cast<unsigned char>(b));
  Iconv("UTF-8", "UTF-32LE", "", &out);
  Iconv("CP1252", "UTF-32LE", "", &out);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CFuzzInput in(data, size);
  const uint8_t mode = in.Byte();
  const int codePage = mode & 1 ? 65001 : 1252;
  const bool noBackslashEscapes = (mode & 2) != 0;
  CMySQLConnection* cnx = Connection(codePage, noBackslashEscapes);
  std::string raw = in.Bytes();
  // The value as the host holds it, and what the literal must read back as.
  unsigned short type;
  std::string expected;
  bool representable = true;
  std::wstring wide;
  switch (mode >> 2 & 3) {
    case 0:    // narrow text, up to its NUL
    case 1: {  // narrow dynamic string, NULs included
      type = (mode >> 2 & 3) == 0 ? ZV_PSTRA : ZV_DSTRA;
      const std::string text = type == ZV_PSTRA ? raw.substr(0, raw.find('\0')) : raw;
      if (codePage == 1252)
        expected = text;
      else
        for (unsigned char b : text) expected += Utf8Of1252(b);
      raw = text;
      raw += '\0';
      break;
    }
    case 2: {  // wide text, from 3 bytes a character
      type = ZV_DSTRW;
      for (size_t i = 0; i + 3 <= raw.size(); i += 3) {
        const uint32_t v = static_cast<uint8_t>(raw[i]) << 16 | static_cast<uint8_t>(raw[i + 1]) << 8 |
                           static_cast<uint8_t>(raw[i + 2]);
        wide += static_cast<wchar_t>(v >> 20 == 0 ? v & 0xFF : v % 0x110000);
      }
      for (wchar_t c : wide) {
        std::string one;
        representable = representable && Encode(c, codePage, &one);
        expected += one;
      }
      raw.assign(reinterpret_cast<const char*>(wide.c_str()), (wide.size() + 1) * sizeof(wchar_t));
      break;
    }
    default:  // bytes
      type = ZV_BIN;
      expected = raw;
      break;
  }
  CNAError error;
  CTStringConcatAW out(CTStringConcatAW::kWideContent, 1252);
  const int written =
      cnx->_bEscapeString(&error, &out, type, reinterpret_cast<unsigned char*>(raw.data()), static_cast<unsigned int>(raw.size()));
  if (!written) {
    // Only a text the server's code page cannot carry is refused, and never in silence.
    FUZZ_CHECK(!representable, "a literal of %zu bytes (mode %d) refused: %u %ls", raw.size(), mode, static_cast<unsigned>(error.dwGetErrorId()), error.pszGetError());
    FUZZ_CHECK(error.dwGetErrorId() != 0, "a refused literal raised nothing");
    return 0;
  }
  const std::string literal(out.pszGetA(), static_cast<size_t>(out.nGetLengthA()));
  std::string value;
  FUZZ_CHECK(Scan(literal, !noBackslashEscapes, &value), "no literal spans the output (%zu bytes, mode %d)",
             literal.size(), mode & 3);
  // A character without a form in the code page may be written as another; the literal holds.
  if (!representable) return 0;
  FUZZ_CHECK(value == expected, "the literal reads back as %zu bytes, not %zu (mode %d, type %d)", value.size(),
             expected.size(), mode & 3, type);
  return 0;
}
