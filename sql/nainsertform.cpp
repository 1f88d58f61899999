#include "sql/nainsertform.h"

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

bool CNAInsertForm::_bSame(const wchar_t* table, const std::vector<CNAColumn*>& columns) const {
  if (m_nNamesSeen != ms_nNamesMade.load(std::memory_order_relaxed) || table != m_pszTable ||
      columns.size() != m_tabName.size())
    return false;
  for (size_t i = 0; i < columns.size(); ++i)
    if (NameOf(columns[i]) != m_tabName[i]) return false;
  return true;
}

const char* CNAInsertForm::pszGetHead(const wchar_t* table, const std::vector<CNAColumn*>& columns, int cp,
                                      int ansiCp, int* n) {
  if (table == nullptr) table = L"";
  if (!m_bMade || cp != m_nCodePage || ansiCp != m_nAnsiCodePage || !_bSame(table, columns)) {
    m_bMade = false;
    m_nNamesSeen = ms_nNamesMade.load(std::memory_order_relaxed);
    m_pszTable = table;
    m_tabName.clear();
    std::wstring text = kInsert + std::wstring(table) + kList;
    for (size_t i = 0; i < columns.size(); ++i) {
      m_tabName.push_back(NameOf(columns[i]));
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
  *n = static_cast<int>(m_strBytes.size());
  return m_strBytes.data();
}
