#include "sql/nainsertform.h"

#include <cwchar>

#include "common/tstringconcataw.h"
#include "sql/nacolumn.h"

namespace {

constexpr wchar_t kInsert[] = L"INSERT INTO ";
constexpr wchar_t kList[] = L" (";
constexpr wchar_t kValues[] = L") VALUES ( ";

const wchar_t* NameOf(CNAColumn* column) {
  const wchar_t* name = column->pszGetFormatedName();
  return name != nullptr ? name : L"";
}

}  // namespace

std::atomic<unsigned long long> CNAInsertForm::ms_nNamesMade{0};

bool CNAInsertForm::_bSameBuffers(const wchar_t* table, const std::vector<CNAColumn*>& columns) const {
  if (m_nNamesSeen != ms_nNamesMade.load(std::memory_order_relaxed) || table != m_pszTableSeen ||
      columns.size() != m_tabNameSeen.size())
    return false;
  for (size_t i = 0; i < columns.size(); ++i)
    if (NameOf(columns[i]) != m_tabNameSeen[i]) return false;
  return true;
}

void CNAInsertForm::_KeepBuffers(const wchar_t* table, const std::vector<CNAColumn*>& columns) {
  m_nNamesSeen = ms_nNamesMade.load(std::memory_order_relaxed);
  m_pszTableSeen = table;
  m_tabNameSeen.clear();
  for (CNAColumn* column : columns) m_tabNameSeen.push_back(NameOf(column));
}

bool CNAInsertForm::_bSame(const wchar_t* table, const std::vector<CNAColumn*>& columns) const {
  if (columns.size() != m_tabName.size() || wcscmp(table, m_strTable.c_str()) != 0) return false;
  for (size_t i = 0; i < columns.size(); ++i)
    if (wcscmp(NameOf(columns[i]), m_tabName[i].c_str()) != 0) return false;
  return true;
}

const char* CNAInsertForm::pszGetHead(const wchar_t* table, const std::vector<CNAColumn*>& columns, int cp,
                                      int ansiCp, int* n) {
  if (table == nullptr) table = L"";
  if (m_bMade && cp == m_nCodePage && ansiCp == m_nAnsiCodePage && _bSameBuffers(table, columns)) {
    *n = static_cast<int>(m_strBytes.size());
    return m_strBytes.data();
  }
  if (!m_bMade || cp != m_nCodePage || ansiCp != m_nAnsiCodePage || !_bSame(table, columns)) {
    m_bMade = false;
    m_strTable = table;
    m_tabName.clear();
    std::wstring text = kInsert + m_strTable + kList;
    for (size_t i = 0; i < columns.size(); ++i) {
      m_tabName.emplace_back(NameOf(columns[i]));
      if (i > 0) text.push_back(L',');
      text += m_tabName.back();
    }
    text += kValues;
    // The formatter's own conversion of the same text at the head of a formatted SQL.
    CTStringConcatAW bytes(cp, ansiCp, 256);
    bytes.Add(text.c_str(), static_cast<int>(text.size()));
    m_strBytes.assign(bytes.pszGetA(), static_cast<size_t>(bytes.nGetLength()));
    m_nCodePage = cp;
    m_nAnsiCodePage = ansiCp;
    m_bMade = true;
  }
  _KeepBuffers(table, columns);
  *n = static_cast<int>(m_strBytes.size());
  return m_strBytes.data();
}
