// CNAInsertForm: the head of the INSERT a statement writes on its table, "INSERT INTO t (a,b)
// VALUES ( ", as the bytes the formatter makes of it, kept from one add to the next with the names
// it was made of. It owns its copies; it holds no reference on the columns it was made for: a
// request whose table name and column names are the very texts of the last one (the same
// buffers, and no name made anywhere since) takes the head as it is; any other compares what the
// head is made of (table name, the columns' names in order, code pages) with what it was made
// of, and a head that differs in any is made again, so a renamed table, a column set or order of
// another add, a record described again or a connection whose code pages changed never gets a
// stale head.
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
  bool _bSameBuffers(const wchar_t* table, const std::vector<CNAColumn*>& columns) const;
  void _KeepBuffers(const wchar_t* table, const std::vector<CNAColumn*>& columns);

  static std::atomic<unsigned long long> ms_nNamesMade;

  // What the head was made of: the table's name and the columns' names, in order.
  std::wstring m_strTable;
  std::vector<std::wstring> m_tabName;
  std::string m_strBytes;
  // The buffers the names were last read from, and the count of names made then.
  const wchar_t* m_pszTableSeen = nullptr;
  std::vector<const wchar_t*> m_tabNameSeen;
  unsigned long long m_nNamesSeen = 0;
  int m_nCodePage = 0;
  int m_nAnsiCodePage = 0;
  bool m_bMade = false;
};
