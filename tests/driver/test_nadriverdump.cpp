// The query dump the driver hands the host: its lines in order, every parameter's type and text,
// and the cut in characters.
#include <gtest/gtest.h>

#include <string>

#include "mysql/mysqldriver.h"
#include "sql/isqlparserinformation.h"
#include "tests/support/any_test_values.h"

namespace {

class QueryDump : public AnyTest {
 protected:
  void SetUp() override {
    m_driver.AllocError();
    m_entries[0].clValue.SetI4(-42);
    m_entries[1].clValue = FromText(ZV_DSTRW, L"l'\u00e9t\u00e9 \U0001F600");
    m_entries[2].clValue.SetI4(7);
    m_entries[2].clValue.SetNull(true);
    for (STValParser& entry : m_entries) m_pointers.push_back(&entry);
    m_values.nCount = 2;
    m_values.ppEntries = m_pointers.data();
  }
  std::wstring Dump(const wchar_t* query, CTabValParser* values, unsigned int maximum) {
    CTString out(L"left over");
    EXPECT_TRUE(m_driver.bGetQueryDump(&out, query, values, maximum));
    return out.pszGet();
  }

  CMySQLDriver m_driver;
  STValParser m_entries[3];
  std::vector<STValParser*> m_pointers;
  CTabValParser m_values;
};

TEST_F(QueryDump, LinesInOrderWithEveryParameter) {
  const std::wstring two =
      L"Texte de la requête : SELECT * FROM t WHERE a={a} AND b={b}\r\n"
      L"Nombre de paramètres : =2\r\n"
      L"Paramètre :  0 :\tType Zavora  = <8>\tValeur  = <-42>\r\n"
      L"Paramètre :  1 :\tType Zavora  = <16>\tValeur  = <l'\u00e9t\u00e9 \U0001F600>\r\n";
  EXPECT_EQ(Dump(L"SELECT * FROM t WHERE a={a} AND b={b}", &m_values, 0xFFFFFFFFu), two);
  const struct {
    const char* name;
    const wchar_t* query;
    bool values;
    int count;
    unsigned int maximum;
    std::wstring expected;
  } rows[] = {
      {"cut at 10 characters", L"SELECT 1", true, 2, 10, L"Texte de l"},
      {"cut inside a wide text", L"SELECT * FROM t WHERE a={a} AND b={b}", true, 2,
       static_cast<unsigned int>(two.size() - 4), two.substr(0, two.size() - 4)},
      {"nothing kept", L"SELECT 1", true, 2, 0, L""},
      {"no parameter table", L"SELECT 1", false, 0, 0xFFFFFFFFu, L"Texte de la requête : SELECT 1\r\n"},
      {"no query text", nullptr, false, 0, 0xFFFFFFFFu, L"Texte de la requête : \r\n"},
      {"a NULL value is not converted", L"q", true, 3, 0xFFFFFFFFu,
       L"Texte de la requête : q\r\nNombre de paramètres : =3\r\n"
       L"Paramètre :  0 :\tType Zavora  = <8>\tValeur  = <-42>\r\n"
       L"Paramètre :  1 :\tType Zavora  = <16>\tValeur  = <l'\u00e9t\u00e9 \U0001F600>\r\n"
       L"Paramètre :  2 :\tType Zavora  = <8>\tValeur  = <\u00c9chec de la conversion de la valeur en texte. >\r\n"},
      // Entries stop once the text is long enough, before the cut.
      {"no entry past the length", L"q", true, 3, 60,
       std::wstring(L"Texte de la requête : q\r\nNombre de paramètres : =3\r\nParamètre :  0 :\tType Zavora  = <8>\t")
           .substr(0, 60)},
  };
  for (const auto& row : rows) {
    m_values.nCount = row.count;
    EXPECT_EQ(Dump(row.query, row.values ? &m_values : nullptr, row.maximum), row.expected) << row.name;
  }
}

}  // namespace
