// CMySQLStatementSQL after a failed text: the lost session, the packet-limit question and the one
// reopening it may take.
#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>

#include "common/xystring.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "mysql/mysqlconnection.h"
#include "mysql/mysqlstatementsql.h"
#include "platform/codepage.h"
#include "values/any.h"

namespace {

// Raise site of this file's error (the statement's others are below it).
constexpr int kSiteTooLong = 40;
constexpr int kHeadChars = 20;
constexpr unsigned int kUserErrorTooLong = 320101;

// The length of the UTF-8 sequence at s (n bytes left) that the converter reads as one
// character; 0 for a byte it drops (one that starts no character, or a sequence cut short).
size_t nUTF8Sequence(const unsigned char* s, size_t n) {
  const unsigned int c = s[0];
  if (c < 0x80) return 1;
  auto follows = [&](size_t i, unsigned int lo, unsigned int hi) { return i < n && s[i] >= lo && s[i] <= hi; };
  if (c >= 0xC2 && c <= 0xDF) return follows(1, 0x80, 0xBF) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF)
    return follows(1, c == 0xE0 ? 0xA0 : 0x80, c == 0xED ? 0x9F : 0xBF) && follows(2, 0x80, 0xBF) ? 3 : 0;
  if (c >= 0xF0 && c <= 0xF4)
    return follows(1, c == 0xF0 ? 0x90 : 0x80, c == 0xF4 ? 0x8F : 0xBF) && follows(2, 0x80, 0xBF) &&
                   follows(3, 0x80, 0xBF)
               ? 4
               : 0;
  return 0;
}

// The characters of the UTF-8 text as the converter gives them (the bytes it drops left out),
// counted; the first `keep` of them decoded into head. No byte goes through the converter, which
// takes two calls for each byte it drops.
long long nUTF8Chars(const unsigned char* s, size_t n, size_t keep, std::wstring* head) {
  long long chars = 0;
  for (size_t i = 0; i < n;) {
    const size_t len = nUTF8Sequence(s + i, n - i);
    if (len == 0) {
      ++i;
      continue;
    }
    if (head->size() < keep) {
      static const unsigned int kLeadMask[5] = {0, 0x7F, 0x1F, 0x0F, 0x07};
      unsigned int c = s[i] & kLeadMask[len];
      for (size_t k = 1; k < len; ++k) c = (c << 6) | (s[i + k] & 0x3Fu);
      head->push_back(static_cast<wchar_t>(c));
    }
    ++chars;
    i += len;
  }
  return chars;
}

// How a text ends the session's transaction: COMMIT or ROLLBACK as its first word, not a
// ROLLBACK TO a savepoint. Narrow or wide text.
enum class eEnd { kNone, kCommit, kRollBack };
template <typename C>
eEnd eEndOf(const C* text, size_t length) {
  const C* p = text;
  const C* end = text + length;
  auto blank = [](C c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ';'; };
  auto skip = [&] {
    while (p < end && blank(*p)) ++p;
  };
  auto word = [&](const char* w) {
    const size_t n = strlen(w);
    if (static_cast<size_t>(end - p) < n) return false;
    for (size_t i = 0; i < n; ++i)
      if ((p[i] & ~0x20) != w[i]) return false;
    if (p + n < end && !blank(p[n])) return false;
    p += n;
    skip();
    return true;
  };
  skip();
  if (word("COMMIT")) return eEnd::kCommit;
  if (!word("ROLLBACK")) return eEnd::kNone;
  word("WORK");
  return word("TO") ? eEnd::kNone : eEnd::kRollBack;
}

}  // namespace

void CMySQLConnection::EndLostTransactionByText(const char* text, unsigned long length) {
  if (text != nullptr && bSessionTransactionLost() && eEndOf(text, length) != eEnd::kNone) _EndTransactionLoss();
}

void CMySQLConnection::EndLostTransactionByText(const wchar_t* text, size_t length) {
  if (text != nullptr && bSessionTransactionLost() && eEndOf(text, length) != eEnd::kNone) _EndTransactionLoss();
}

BOOL CMySQLConnection::bPassLostTransaction(CNAError* error, const char* text, unsigned long length,
                                            unsigned int file, int site) {
  if (!bTransactionLost()) return TRUE;
  // The driver's: refused while open; its own ROLLBACK is sent once it is no longer active.
  if (!bSessionTransactionLost())
    return _bTransactionOpened() ? bRaiseTransactionLost(error, static_cast<int>(file), site) : TRUE;
  const eEnd how = text != nullptr ? eEndOf(text, length) : eEnd::kNone;
  if (how == eEnd::kNone) return bRaiseTransactionLost(error, static_cast<int>(file), site);
  // The host ends its lost transaction: a COMMIT is refused (nothing of it is on the server), a
  // ROLLBACK runs on a new session, where it finds nothing to undo.
  if (how == eEnd::kCommit) bRaiseTransactionLost(error, static_cast<int>(file), site);
  _EndTransactionLoss();
  return how == eEnd::kRollBack;
}

void CMySQLStatementSQL::_InitExecuteErrorOfText(unsigned int file, unsigned int site, const char* text,
                                                 unsigned long length, unsigned int flags) {
  const int cp = m_pclCnx->nGetServerCodePage();
  const int bytes = static_cast<int>(std::min<unsigned long>(length, INT_MAX));
  if (cp == 65001) {
    std::wstring head;
    const long long chars =
        nUTF8Chars(reinterpret_cast<const unsigned char*>(text), static_cast<size_t>(bytes), kDumpChars, &head);
    return _InitExecuteError(file, site, head.c_str(), static_cast<int>(std::min<long long>(chars, INT_MAX)), flags);
  }
  // Only the first characters are kept in the error: those are converted, the rest counted. No
  // character of a code page takes more than 4 bytes.
  long long chars = bytes > 0 ? MultiByteToWideChar(static_cast<unsigned int>(cp), 0, text, bytes, nullptr, 0) : 0;
  CXYString<wchar_t> wide;
  wide.__nConversion(text, std::min(bytes, 4 * kDumpChars + 4), 0, cp, 0, nullptr);
  // Fewer characters than the count promises (bytes the page drops): the whole text.
  if (wide.nGetLength() < std::min<long long>(chars, kDumpChars)) {
    wide.__nConversion(text, bytes, 0, cp, 0, nullptr);
    chars = wide.nGetLength();
  }
  _InitExecuteError(file, site, wide.pszGet(), static_cast<int>(std::min<long long>(chars, INT_MAX)), flags);
}

void CMySQLStatementSQL::_InitExecuteError(unsigned int file, unsigned int site, const wchar_t* text, int length,
                                           unsigned int flags) {
  CNAStatementSQL::_InitExecuteError(file, site, text, length, flags);
  // A COMMIT or ROLLBACK that met the loss of the host's own transaction ended it, failing.
  if (text != nullptr) {
    const size_t chars = std::min<size_t>(static_cast<size_t>(std::max(length, 0)), wcslen(text));
    _pclMySQL()->EndLostTransactionByText(text, chars);
  }
  // A quiet error is the probe's own: its failure must not start another probe.
  if (m_pclError == nullptr || m_pclError->bIsQuiet()) return;
  const unsigned int code = m_pclError->dwGetDataBaseErrorCode();
  if (!CMySQLConnection::s_bSessionLost(code)) return;
  // The transaction's work went with the session; a new one would run what follows outside it.
  if (m_pclCnx->_bTransactionOpened() || m_pclCnx->bTransactionLost()) return;
  const int limit = _nProbePacketLimit();
  if (limit <= 0 || text == nullptr || length <= limit) return;
  const CTString head(text, std::min(length, kHeadChars));
  const wchar_t* database = m_pclCnx->pszGetDataBase();
  m_pclError->AddErrorFirst(NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteTooLong, m_pclCnx, kUserErrorTooLong,
                            database != nullptr ? database : L"", code, limit, length, head.pszGet());
  m_pclError->SetDataBaseErrorCode(code);
}

int CMySQLStatementSQL::_nProbePacketLimit() {
  const CNADriver* driver = CNADriver::s_pclDriver.load();
  CNAError* probe = driver != nullptr ? driver->pclAllocError() : nullptr;
  if (probe == nullptr) return 0;
  CNAError::s_Hold(probe);
  probe->SetQuiet(TRUE);
  static const wchar_t kQuestion[] = L"show variables like 'max_allowed_packet'";
  CAny value;
  BOOL asked = m_pclCnx->bGetRequestedValue(probe, &value, 1, kQuestion);
  if (!asked) {
    m_pclCnx->bClose(probe);
    if (m_pclCnx->bOpen(probe))
      asked = m_pclCnx->bGetRequestedValue(probe, &value, 1, kQuestion);
    else
      _pclMySQL()->SetReopenWanted();
  }
  CNAError::s_Drop(&probe);
  int limit = 0;
  if (!asked || value.__nCastTo(ZV_I4, nullptr, 0) >= 100) return 0;
  const unsigned short type = value.wGetTypeWord();
  if ((type != ZV_BOOL && type != ZV_UI4 && type != ZV_I4) || value.nGetINT(&limit) >= 100) return 0;
  return limit;
}
