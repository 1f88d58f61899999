// CNAInsertForm: the head of the INSERT a statement writes on its table, "INSERT INTO t (a,b)
// VALUES ( ", as the bytes the formatter makes of it, kept from one add to the next. It holds no
// reference on the columns it was made for, only where their names were read: a request whose
// table name and column names are the very buffers of the last one, in the same code pages and
// with no name made anywhere since, takes the head as it is; any other makes it again, so a
// renamed table, a column set or order of another add, a record described again or a connection
// whose code pages changed never gets a stale head.
#pragma once

#include <atomic>
#include <string>
#include <vector>

class CNAColumn;

class CNAInsertForm {
 public:
  // The head's bytes in code page cp (ANSI page ansiCp) for table and the formatted names of
  // columns, with *n their count.
  const char* pszGetHead(const wchar_t* table, const std::vector<CNAColumn*>& columns, int cp, int ansiCp, int* n);

  // Called wherever a formatted table or column name is written: a name's buffer then holds the
  // text it held at the last count only while the count stays.
  static void NoteNameMade() { ms_nNamesMade.fetch_add(1, std::memory_order_relaxed); }

 private:
  bool _bSame(const wchar_t* table, const std::vector<CNAColumn*>& columns) const;

  static std::atomic<unsigned long long> ms_nNamesMade;

  std::string m_strBytes;
  // The buffers the head's names were read from, and the count of names made then.
  const wchar_t* m_pszTable = nullptr;
  std::vector<const wchar_t*> m_tabName;
  unsigned long long m_nNamesSeen = 0;
  int m_nCodePage = 0;
  int m_nAnsiCodePage = 0;
  bool m_bMade = false;
};
