#include "mysql/mysqlrowstore.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "driver/mysqlapi.h"

namespace {

// CR_OUT_OF_MEMORY, as the client's own store reports it.
constexpr unsigned int kOutOfMemory = 2008;
constexpr size_t kLargestBlock = size_t{1} << 20;

}  // namespace

std::mutex CMySQLRowStore::s_mutex;
CMySQLRowStore* CMySQLRowStore::s_pRunning = nullptr;

CMySQLRowStore::~CMySQLRowStore() {
  Clear();
  for (char* block : m_tabBlocks) std::free(block);
}

void CMySQLRowStore::Begin(MYSQL* handle, MYSQL_RES* result, unsigned int columns) {
  Clear();
  m_pHandle = handle;
  m_pResult = result;
  m_nColumns = columns;
  m_bEnded.store(false, std::memory_order_relaxed);
}

void CMySQLRowStore::Clear() {
  Finish(true);
  for (unsigned int k = 1; k < kChunks && m_apIndex[k] != nullptr; ++k) std::free(m_apIndex[k]), m_apIndex[k] = nullptr;
  m_apIndex[0] = m_apFirstChunk;
  for (size_t i = 1; i < m_tabBlocks.size(); ++i) std::free(m_tabBlocks[i]);
  if (m_tabBlocks.size() > 1) m_tabBlocks.resize(1);
  m_pFree = m_tabBlocks.empty() ? nullptr : m_tabBlocks[0];
  m_nFree = m_tabBlocks.empty() ? 0 : m_nFirstBlockSize;
  m_nNextBlock = kFirstBlock;
  m_nTaken = 0;
  m_nSeen = 0;
  m_nRows.store(0, std::memory_order_relaxed);
  m_nErrorCode = 0;
  m_sErrorMessage.clear();
  m_bThrew = false;
  m_pHandle = nullptr;
  m_pResult = nullptr;
  m_bAbandon.store(false, std::memory_order_relaxed);
  m_bEnded.store(true, std::memory_order_relaxed);
}

bool CMySQLRowStore::_bKeep(MYSQL_ROW texts, const unsigned long* lengths, MYSQL_FIELD* fields) {
  const unsigned int n = m_nColumns;
  size_t bytes = n * (sizeof(unsigned long) + sizeof(char*));
  for (unsigned int i = 0; i < n; ++i) bytes += texts[i] != nullptr ? lengths[i] + 1 : 0;
  bytes = (bytes + 7) & ~size_t{7};
  if (bytes > m_nFree) {
    // The first block is made once and kept: a result of a few rows costs no allocation.
    const size_t size = bytes > m_nNextBlock ? bytes : m_nNextBlock;
    char* block = static_cast<char*>(std::malloc(size));
    if (block == nullptr) return false;
    try {
      m_tabBlocks.push_back(block);
    } catch (...) {
      std::free(block);
      return false;
    }
    if (m_tabBlocks.size() == 1) m_nFirstBlockSize = size;
    m_pFree = block;
    m_nFree = size;
    if (m_nNextBlock < kLargestBlock) m_nNextBlock *= 2;
  }
  const uint64_t at = m_nTaken;
  uint64_t first = 0;
  const unsigned int chunk = s_nChunk(at, &first);
  if (at == first && chunk > 0) {
    if (chunk >= kChunks) return false;
    auto* index = static_cast<char**>(std::malloc((uint64_t{1} << (chunk + kFirstChunkShift)) * sizeof(char*)));
    if (index == nullptr) return false;
    m_apIndex[chunk] = index;
  }
  char* record = m_pFree;
  m_pFree += bytes;
  m_nFree -= bytes;
  auto* outLengths = reinterpret_cast<unsigned long*>(record);
  auto* outTexts = reinterpret_cast<char**>(record + n * sizeof(unsigned long));
  char* data = record + n * (sizeof(unsigned long) + sizeof(char*));
  for (unsigned int i = 0; i < n; ++i) {
    const unsigned long length = lengths[i];
    outLengths[i] = length;
    if (texts[i] == nullptr) {
      outTexts[i] = nullptr;
      continue;
    }
    std::memcpy(data, texts[i], length);
    data[length] = 0;
    outTexts[i] = data;
    data += length + 1;
    if (fields != nullptr && fields[i].max_length < length) fields[i].max_length = length;
  }
  m_apIndex[chunk][at - first] = record;
  m_nTaken = at + 1;
  return true;
}

bool CMySQLRowStore::bFill(uint64_t count, MYSQL_FIELD* fields) {
  MYSQL_RES* const result = m_pResult;
  while (m_nTaken < count) {
    MYSQL_ROW texts = __mysql_fetch_row(result);
    if (texts == nullptr) {
      const unsigned int code = __mysql_errno(m_pHandle);
      _End(code, code != 0 ? __mysql_error(m_pHandle) : nullptr, false);
      return true;
    }
    unsigned long* lengths = __mysql_fetch_lengths(result);
    if (lengths == nullptr || !_bKeep(texts, lengths, fields)) {
      // The rest is read off the wire all the same: the connection must be ready for the next text.
      while (__mysql_fetch_row(result) != nullptr) {
      }
      _End(kOutOfMemory, "MySQL client ran out of memory", false);
      return true;
    }
    m_nRows.store(m_nTaken, std::memory_order_relaxed);
  }
  return false;
}

bool CMySQLRowStore::bStartRest() {
  try {
    m_thread = std::thread([this] { _Rest(); });
  } catch (...) {
    return false;
  }
  std::lock_guard lock(s_mutex);
  m_pNextRunning = s_pRunning;
  if (s_pRunning != nullptr) s_pRunning->m_pPrevRunning = this;
  s_pRunning = this;
  return true;
}

void CMySQLRowStore::_Unlink() {
  if (m_pPrevRunning != nullptr)
    m_pPrevRunning->m_pNextRunning = m_pNextRunning;
  else if (s_pRunning == this)
    s_pRunning = m_pNextRunning;
  if (m_pNextRunning != nullptr) m_pNextRunning->m_pPrevRunning = m_pPrevRunning;
  m_pNextRunning = m_pPrevRunning = nullptr;
}

void CMySQLRowStore::g_FinishAll() {
  std::lock_guard lock(s_mutex);
  for (CMySQLRowStore* store = s_pRunning; store != nullptr; store = store->m_pNextRunning)
    store->m_bAbandon.store(true, std::memory_order_relaxed);
  while (s_pRunning != nullptr) {
    CMySQLRowStore* store = s_pRunning;
    store->_Unlink();
    store->m_thread.join();
  }
}

void CMySQLRowStore::_Rest() {
  MYSQL_RES* const result = m_pResult;
  try {
    for (;;) {
      MYSQL_ROW texts = __mysql_fetch_row(result);
      if (texts == nullptr) break;
      if (m_bAbandon.load(std::memory_order_relaxed)) continue;
      unsigned long* lengths = __mysql_fetch_lengths(result);
      if (lengths == nullptr || !_bKeep(texts, lengths, nullptr)) {
        while (__mysql_fetch_row(result) != nullptr) {
        }
        _End(kOutOfMemory, "MySQL client ran out of memory", false);
        return;
      }
      // Ordered against the reader's look at m_bWaiting (see _bWaitRow): a reader that found too
      // few rows is woken, or sees this one.
      m_nRows.store(m_nTaken, std::memory_order_seq_cst);
      if (m_bWaiting.load(std::memory_order_seq_cst)) {
        std::lock_guard lock(m_mutex);
        m_cv.notify_all();
      }
    }
    const unsigned int code = __mysql_errno(m_pHandle);
    _End(code, code != 0 ? __mysql_error(m_pHandle) : nullptr, false);
  } catch (...) {
    _End(0, nullptr, true);
  }
}

void CMySQLRowStore::_End(unsigned int code, const char* message, bool threw) {
  m_nErrorCode = code;
  if (message != nullptr) {
    try {
      m_sErrorMessage = message;
    } catch (...) {
      m_sErrorMessage.clear();
    }
  }
  m_bThrew = threw;
  std::lock_guard lock(m_mutex);
  m_nRows.store(m_nTaken, std::memory_order_release);
  m_bEnded.store(true, std::memory_order_release);
  m_cv.notify_all();
}

bool CMySQLRowStore::_bHasSlow(uint64_t at) {
  m_nSeen = nRows();
  if (at < m_nSeen) return true;
  const bool held = _bWaitRow(at);
  m_nSeen = nRows();
  return held;
}

bool CMySQLRowStore::_bWaitRow(uint64_t at) {
  if (nRows() > at) return true;
  std::unique_lock lock(m_mutex);
  m_bWaiting.store(true, std::memory_order_seq_cst);
  while (m_nRows.load(std::memory_order_seq_cst) <= at && !m_bEnded.load(std::memory_order_seq_cst)) m_cv.wait(lock);
  m_bWaiting.store(false, std::memory_order_relaxed);
  return m_nRows.load(std::memory_order_acquire) > at;
}

void CMySQLRowStore::Finish(bool abandon) {
  if (!m_thread.joinable()) return;
  if (abandon) m_bAbandon.store(true, std::memory_order_relaxed);
  m_thread.join();
  std::lock_guard lock(s_mutex);
  _Unlink();
}
