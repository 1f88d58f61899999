// Stand-in for the host's execution options of a query run as a table: a flags word and the name
// of the result column the first read is to browse, both set by the test. Header only: the
// driver never makes one, it only reads the one it is handed.
#pragma once

#include <string>

#include "driver/inaqueryexecution.h"

class CHostQueryExecution final : public INAQueryExecution {
 public:
  CHostQueryExecution(unsigned int flags, const wchar_t* column) : m_dwFlags(flags), m_strColumn(column) {}
  unsigned int dwGetFlags() const override { return m_dwFlags; }
  const wchar_t* pszGetRequestedColumn() const override { return m_strColumn.c_str(); }

 private:
  unsigned int m_dwFlags;
  std::wstring m_strColumn;
};
