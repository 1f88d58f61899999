// CMySQLRowStore: the rows of one result read off the connection row by row and copied into
// blocks of its own, so that they stay readable in any order once taken, as a stored result's do.
//
// The first rows are taken by the caller (bFill); a longer result's rest is taken by a thread of
// the store's own (bStartRest), which reads every row as soon as the server sends it: the host
// reads the first rows while the last are still on their way, and the server never waits on a
// host that stops reading. While that thread runs it alone uses the connection's handle: Finish
// must come before anything else uses it (a wait meeting the end only says the thread is done).
//
// Rows are numbered from 0. A row's texts and lengths are valid until Clear. Readers are on one
// thread at a time (the statement's caller); the taking thread only appends.
#pragma once

#include <mariadb/mysql.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CMySQLRowStore {
 public:
  CMySQLRowStore() = default;
  // Finish, then every block freed.
  ~CMySQLRowStore();
  CMySQLRowStore(const CMySQLRowStore&) = delete;
  CMySQLRowStore& operator=(const CMySQLRowStore&) = delete;

  // Readies the store for the rows of result (columns wide); nothing may be taken before.
  void Begin(MYSQL* handle, MYSQL_RES* result, unsigned int columns);
  // Takes rows until count are held or the result ends (true: it ended, bEnded() also true); a
  // throw of the client's call passes through. fields (null: none) gets each
  // column's longest value, as the client's own store would.
  bool bFill(uint64_t count, MYSQL_FIELD* fields);
  // The rest taken by the store's thread; false when the thread cannot be made (the rest is then
  // the caller's to take).
  bool bStartRest();
  // The taking ends: the thread is waited for (reading the rest when abandon is false, passing
  // over it otherwise). Nothing runs on the handle after it.
  void Finish(bool abandon = false);
  // The taking is over (its thread, if any, ends without touching the handle again): every row
  // is there.
  bool bEnded() const { return m_bEnded.load(std::memory_order_acquire); }
  // Rows held now (all of them once ended).
  uint64_t nRows() const { return m_nRows.load(std::memory_order_acquire); }
  // Row at is held, waited for while it is not yet; false: the result ended without it. The
  // reader's own count of rows seen spares it a look at the taker's for every row.
  bool bHas(uint64_t at) { return at < m_nSeen || _bHasSlow(at); }
  // Row at, which must be held.
  void Row(uint64_t at, MYSQL_ROW* texts, unsigned long** lengths) const {
    char* record = _pRecord(at);
    *lengths = reinterpret_cast<unsigned long*>(record);
    *texts = reinterpret_cast<MYSQL_ROW>(record + m_nColumns * sizeof(unsigned long));
  }
  // How the taking ended, once ended: the client's error code and message (0: none), or a throw.
  unsigned int nErrorCode() const { return m_nErrorCode; }
  const std::string& sErrorMessage() const { return m_sErrorMessage; }
  bool bThrew() const { return m_bThrew; }
  // Finish(true), then rows and error forgotten; the first block is kept for the next result.
  void Clear();
  // Every store's thread ended, the rest of its rows passed over: nothing of them runs once the
  // driver ends (the client library and the driver's own code go with it). Under the driver
  // mutex, as every reader's call is.
  static void g_FinishAll();

  // Rows in the first index chunk; each further chunk doubles.
  static constexpr unsigned int kFirstChunkShift = 6;
  static constexpr unsigned int kChunks = 40;
  static constexpr size_t kFirstBlock = 8192;

 private:
  // Row at's index chunk, and the chunk's first row.
  static unsigned int s_nChunk(uint64_t at, uint64_t* first) {
    const uint64_t group = (at >> kFirstChunkShift) + 1;
    const unsigned int chunk = 63u - static_cast<unsigned int>(__builtin_clzll(group));
    *first = ((uint64_t{1} << chunk) - 1) << kFirstChunkShift;
    return chunk;
  }
  // The rows' records: lengths, then text pointers, then the texts, each followed by a NUL.
  char* _pRecord(uint64_t at) const {
    uint64_t first = 0;
    const unsigned int chunk = s_nChunk(at, &first);
    return m_apIndex[chunk][at - first];
  }
  // One row copied in, not yet published to the reader; false without memory.
  bool _bKeep(MYSQL_ROW texts, const unsigned long* lengths, MYSQL_FIELD* fields);
  bool _bHasSlow(uint64_t at);
  // Waits until row at is held (true) or the result ended without it (false).
  bool _bWaitRow(uint64_t at);
  void _Rest();
  void _End(unsigned int code, const char* message, bool threw);
  // Out of the running list; under s_mutex.
  void _Unlink();

  MYSQL* m_pHandle = nullptr;
  MYSQL_RES* m_pResult = nullptr;
  unsigned int m_nColumns = 0;
  // The index: chunk k holds 64 << k row records (the first one inline).
  char* m_apFirstChunk[uint64_t{1} << kFirstChunkShift] = {};
  char** m_apIndex[kChunks] = {m_apFirstChunk};
  // Blocks of records: the current one and its free room. Block 0 is kept across results.
  std::vector<char*> m_tabBlocks;
  char* m_pFree = nullptr;
  size_t m_nFree = 0;
  size_t m_nNextBlock = kFirstBlock;
  size_t m_nFirstBlockSize = 0;
  uint64_t m_nTaken = 0;
  uint64_t m_nSeen = 0;
  std::thread m_thread;
  // The stores whose thread was started and not yet joined, linked under s_mutex.
  CMySQLRowStore* m_pNextRunning = nullptr;
  CMySQLRowStore* m_pPrevRunning = nullptr;
  static std::mutex s_mutex;
  static CMySQLRowStore* s_pRunning;
  std::atomic<bool> m_bAbandon{false};
  unsigned int m_nErrorCode = 0;
  std::string m_sErrorMessage;
  bool m_bThrew = false;
  // What the reader and the taking thread share, apart from the rows.
  alignas(64) std::atomic<uint64_t> m_nRows{0};
  std::atomic<bool> m_bEnded{true};
  std::atomic<bool> m_bWaiting{false};
  std::mutex m_mutex;
  std::condition_variable m_cv;
};
