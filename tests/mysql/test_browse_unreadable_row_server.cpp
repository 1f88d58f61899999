// A row whose value its item cannot hold (a TIME outside one day, a date that is no calendar
// date) fails its own read with an error naming the item; the browse goes on past it both ways,
// in blocks and whole.
#include "tests/mysql/browse_bench.h"

namespace {

const eNA_LOCKTYPE kNoLock = eNA_LOCKTYPE{0};

class LiveUnreadableRow : public LiveBrowse {};

TEST_P(LiveUnreadableRow, BrowseGoesOnPastARowItsItemCannotHold) {
  const struct {
    const char* name;
    const char* column;
    eNA_ITEMTYPE type;
    unsigned int size;
    std::vector<const char*> values;
    const char* unreadable;  // a 1 for each value its item cannot hold
  } cases[] = {
      {"TimeOutsideOneDay", "TIME", NA_IT_HEURE, 10,
       {"'10:00:00'", "'25:00:00'", "'11:00:00'", "'-00:00:01'", "'12:00:00'"}, "01010"},
      {"NoCalendarDate", "DATE", NA_IT_DATE8, 9,
       {"'2024-02-28'", "'2024-02-30'", "'2024-03-01'", "'2023-04-31'", "'2024-03-02'"}, "01010"},
      {"FirstAndLastUnreadable", "TIME", NA_IT_HEURE, 10,
       {"'25:00:00'", "'10:00:00'", "'-838:59:59'", "'11:00:00'", "'838:59:59'"}, "10101"},
  };
  int made = 0;
  for (const auto& c : cases) {
    const std::wstring table = Name(L"qx brw`unreadable " + std::to_wstring(made++) + L" ");
    Raw("CREATE TABLE " + Quoted(table) + " (id INT PRIMARY KEY, v " + c.column + " NULL)");
    Raw("SET SESSION sql_mode = 'ALLOW_INVALID_DATES'");
    std::string values;
    for (size_t i = 0; i < c.values.size(); ++i)
      values += (values.empty() ? "(" : ",(") + std::to_string(i + 1) + "," + c.values[i] + ")";
    Raw("INSERT INTO " + Quoted(table) + " VALUES " + values);
    Raw("SET SESSION sql_mode = DEFAULT");
    CHostRecordDescription* desc = Description(table);
    Item(desc, L"id", NA_IT_I4, 4, kKeyPrimary)->m_bNullAllowed = FALSE;
    // The host names an item's file as its source.
    Item(desc, L"v", c.type, c.size)->m_pszSourceName = table.c_str();
    std::string ahead, back;
    for (size_t i = 0; i < c.values.size(); ++i) {
      ahead += (c.unreadable[i] == '1' ? "error" : std::to_string(i + 1)) + "|";
      const size_t j = c.values.size() - 1 - i;
      back += (c.unreadable[j] == '1' ? "error" : std::to_string(j + 1)) + "|";
    }
    for (const char* cache : {"1", "2", "3", "-1"}) {
      CMySQLConnection* cnx = Connect(cache);
      for (const bool rowCache : {false, true}) {
        CNADataAccess* a = Open(desc, cnx, {rowCache, true});
        for (const bool forward : {true, false}) {
          const std::string where = std::string(c.name) + ", blocks of " + cache + (rowCache ? ", row cache" : "") +
                                    (forward ? ", forward" : ", backward");
          // Each read: the row's id, or "error" (naming the item) for an unreadable one.
          std::string seen;
          for (size_t i = 0; i < c.values.size() + 2; ++i) {
            const eNA_PARSEDIRECTION dir = i == 0 ? (forward ? NA_PARSE_FIRST : NA_PARSE_LAST)
                                                  : (forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS);
            m_error.Reset();
            const BOOL ok = a->bHLitxxx(L"id", dir, 1, kNoLock, nullptr, 0);
            std::string step;
            if (!ok) {
              const std::string text = Utf8(m_error.pszGetError());
              step = text.find("<v>") != std::string::npos ? "error" : "error not naming v";
            } else if (Out(a, L"id") != 0) {
              step = "out";
            } else {
              step = Text(Values(a, {L"id"}));
            }
            seen += (seen.empty() ? "" : "|") + step;
            if (step == "out") break;
          }
          EXPECT_EQ(seen, (forward ? ahead : back) + "out") << where << Sent();
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveUnreadableRow,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace
