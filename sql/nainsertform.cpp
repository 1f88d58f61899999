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

bool CNAInsertForm::_bSame(const wchar_t* table, const std::vector<CNAColumn*>& columns) const {
  const wchar_t* at = m_strText.c_str();
  // Each piece in turn must stand at the cursor; the text's terminator stops any overrun.
  auto next = [&at](const wchar_t* piece) {
    for (; *piece != 0; ++piece, ++at)
      if (*at != *piece) return false;
    return true;
  };
  if (!next(kInsert) || !next(table) || !next(kList)) return false;
  for (size_t i = 0; i < columns.size(); ++i)
    if ((i > 0 && !next(L",")) || !next(NameOf(columns[i]))) return false;
  return next(kValues) && *at == 0;
}

const char* CNAInsertForm::pszGetHead(const wchar_t* table, const std::vector<CNAColumn*>& columns, int cp,
                                      int ansiCp, int* n) {
  if (table == nullptr) table = L"";
  if (!m_bMade || cp != m_nCodePage || ansiCp != m_nAnsiCodePage || !_bSame(table, columns)) {
    m_bMade = false;
    m_strText.assign(kInsert).append(table).append(kList);
    for (size_t i = 0; i < columns.size(); ++i) {
      if (i > 0) m_strText.push_back(L',');
      m_strText.append(NameOf(columns[i]));
    }
    m_strText.append(kValues);
    // The formatter's own conversion of the same text at the head of a formatted SQL.
    CTStringConcatAW bytes(cp, ansiCp, 256);
    bytes.Add(m_strText.c_str(), static_cast<int>(m_strText.size()));
    m_strBytes.assign(bytes.pszGetA(), static_cast<size_t>(bytes.nGetLength()));
    m_nCodePage = cp;
    m_nAnsiCodePage = ansiCp;
    m_bMade = true;
  }
  *n = static_cast<int>(m_strBytes.size());
  return m_strBytes.data();
}
