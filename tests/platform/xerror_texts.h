// Resource texts for the error tests: a host string callback serving a fixed id -> text table,
// registered for the life of a CTestTexts and then put back as it was. Ids outside the table
// are unknown to the callback.
#pragma once

#include <cwchar>
#include <initializer_list>
#include <map>

#include "platform/dllres.h"

class CTestTexts {
 public:
  CTestTexts(std::initializer_list<std::pair<const unsigned int, const wchar_t*>> texts)
      : m_previous(QXM_pfnGetLoadString()) {
    Table() = texts;
    QXM_SetLoadString(&LoadString);
  }
  ~CTestTexts() {
    QXM_SetLoadString(m_previous);
    Table().clear();
  }
  CTestTexts(const CTestTexts&) = delete;
  CTestTexts& operator=(const CTestTexts&) = delete;

 private:
  static std::map<unsigned int, const wchar_t*>& Table() {
    static std::map<unsigned int, const wchar_t*> table;
    return table;
  }
  static int LoadString(unsigned int id, wchar_t* buffer, int size) {
    const auto it = Table().find(id);
    if (it == Table().end()) return 0;
    const int len = static_cast<int>(wcslen(it->second));
    if (buffer != nullptr && size > 0) {
      const int n = len < size - 1 ? len : size - 1;
      wmemcpy(buffer, it->second, static_cast<size_t>(n));
      buffer[n] = 0;
    }
    return len;
  }

  PFNLOADSTRINGQXM m_previous;
};
