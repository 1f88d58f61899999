// Host connection descriptions of the private test server, as the tests and benchmarks that load
// the driver hand them over (the texts given in UTF-8). Each description and the texts it points at live as long as the holder.
// Also the host's description of the loaded tests' small file (id, t, n).
#pragma once

#include <deque>
#include <string>

#include "common/utf.h"
#include "host/host_datasource.h"
#include "host/host_itemdescription.h"
#include "host/host_nadescription.h"
#include "tests/support/rawmysql.h"

// A UTF-8 text as the host's wide text.
inline std::wstring WideOfUTF8(const std::string& utf8) {
  std::wstring w(utf8.size() + 1, L'\0');
  const int n = nUTF8ToWide(w.data(), static_cast<int>(w.size()), utf8.data(), static_cast<int>(utf8.size()));
  w.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return w;
}

class CTestHostConnections {
 public:
  // server over TCP: its port and database (database when given), extra ending the extended
  // information, password null for the server's; the driver's own blocks unless extra says.
  CHostConnectionDescription* Add(const TestServer& server, const std::string& extra = "",
                                  const wchar_t* password = nullptr, const std::string& database = "") {
    CHostConnectionDescription& host = m_hosts.emplace_back();
    host.m_pszUser = _Keep(server.user);
    host.m_pszPassword = password != nullptr ? password : _Keep(server.password);
    host.m_pszDataSource = _Keep(server.host);
    host.m_pszExtendedInfo = _Keep("Server Port=" + std::to_string(server.port) +
                                   ";Initial Catalog=" + (database.empty() ? server.database : database) + extra);
    host.m_llCacheSize = -2;
    return &host;
  }
  std::deque<CHostConnectionDescription>& All() { return m_hosts; }

 private:
  const wchar_t* _Keep(const std::string& text) { return m_texts.emplace_back(WideOfUTF8(text)).c_str(); }

  // Declared first, gone last: the descriptions point into it.
  std::deque<std::wstring> m_texts;
  std::deque<CHostConnectionDescription> m_hosts;
};

// The host's own file table (no query source): id INT primary key, t VARCHAR(20), n INT. The items
// go into items, which must outlive desc; table must outlive it too.
inline void DescribeIdTextNumber(CHostRecordDescription* desc, std::deque<CHostItemDescription>* items,
                                 const wchar_t* table) {
  desc->m_pszName = desc->m_pszPhysicalName = desc->m_pszDBTableName = table;
  desc->Add(&items->emplace_back(L"id", NA_IT_I4, 4));
  items->back().m_wKeyFlags = 0x8000;
  desc->Add(&items->emplace_back(L"t", NA_IT_TEXTE, 21));
  desc->Add(&items->emplace_back(L"n", NA_IT_I4, 4));
  for (CHostItemDescription& item : *items) item.m_pszNameInSource = L"";
}
