// CMySQLStatementSQL after a failed text: the lost session, the packet-limit question and the one
// reopening it may take.
#include <algorithm>

#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "mysql/mysqlconnection.h"
#include "mysql/mysqlstatementsql.h"
#include "values/any.h"

namespace {

// Raise site of this file's error (the statement's others are below it).
constexpr int kSiteTooLong = 40;
constexpr int kHeadChars = 20;
constexpr unsigned int kUserErrorTooLong = 320101;

}  // namespace

void CMySQLStatementSQL::_InitExecuteError(unsigned int file, unsigned int site, const wchar_t* text, int length,
                                           unsigned int flags) {
  CNAStatementSQL::_InitExecuteError(file, site, text, length, flags);
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
    if (m_pclCnx->bOpen(probe)) asked = m_pclCnx->bGetRequestedValue(probe, &value, 1, kQuestion);
  }
  CNAError::s_Drop(&probe);
  int limit = 0;
  if (!asked || value.__nCastTo(ZV_I4, nullptr, 0) >= 100) return 0;
  const unsigned short type = value.wGetTypeWord();
  if ((type != ZV_BOOL && type != ZV_UI4 && type != ZV_I4) || value.nGetINT(&limit) >= 100) return 0;
  return limit;
}
