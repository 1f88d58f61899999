// Seeks and filters on a key of a ucs2 column (as the driver creates for UNICODE items) with a
// value holding a character above U+FFFF, which no row of the column can hold: on 65001 not found,
// as for any value no row holds, never a server error; on 1252, whose page cannot carry the value
// at all, the value is refused (user error 60) rather than sent as '?'.
#include "tests/mysql/browse_bench.h"

namespace {

const eNA_LOCKTYPE kNoLock = eNA_LOCKTYPE{0};

class LiveSeekUcs2 : public LiveBrowse {
 protected:
  // The ids read from first to out of range on item, "|"-joined.
  static std::string Ids(CNADataAccess* a, const wchar_t* item) {
    std::string seen;
    BOOL ok = a->bHLitxxx(item, NA_PARSE_FIRST, 1, kNoLock, nullptr, 0);
    for (int i = 0; ok && Out(a, item) == 0 && i < 20; ++i) {
      seen += (seen.empty() ? "" : "|") + Text(Values(a, {L"id"}));
      ok = a->bHLitxxx(item, NA_PARSE_NEXT, 1, kNoLock, nullptr, 0);
    }
    return ok ? seen : "failed";
  }
};

TEST_P(LiveSeekUcs2, ValueAboveTheBmpOnAUcs2KeyIsNotFound) {
  const std::wstring table = Name(L"qx brw`ucs2 ");
  Raw("CREATE TABLE " + Quoted(table) + " (id INT PRIMARY KEY, u VARCHAR(10) CHARACTER SET ucs2 NULL, KEY (u))");
  Raw("INSERT INTO " + Quoted(table) + " VALUES (1,'a'),(2,'b'),(3,'c'),(4,NULL),(5," + SqlCell(L"b\u00e9", false) +
      ")");
  CHostRecordDescription* desc = Description(table);
  Item(desc, L"id", NA_IT_I4, 4, kKeyPrimary)->m_bNullAllowed = FALSE;
  Item(desc, L"u", NA_IT_UNICODE, 22, kKeyDuplicates);
  const std::wstring above = L"b\U0001F600";
  const CAny sought = FromText(ZV_DSTRW, above.c_str());
  const CAny low = FromText(ZV_DSTRW, L"a"), high = FromText(ZV_DSTRW, L"zz");
  for (const char* cache : {"15", "-1"}) {
    CMySQLConnection* cnx = Connect(cache);
    for (const int generic : {0, 1}) {
      const std::string what = std::string("blocks of ") + cache + (generic ? ", starts with" : ", exact");
      CNADataAccess* a = Open(desc, cnx);
      m_error.Reset();
      if (!Unicode()) {
        EXPECT_FALSE(a->bHRecherche(L"u", &sought, generic, 1, kNoLock, nullptr, 1, 0)) << what << Sent();
        EXPECT_EQ(m_error.nGetUserErrorCode(), 60u) << what << ": " << Utf8(m_error.pszGetError());
        continue;
      }
      ASSERT_TRUE(a->bHRecherche(L"u", &sought, generic, 1, kNoLock, nullptr, 1, 0))
          << what << ": " << Utf8(m_error.pszGetError()) << Sent();
      int found = -1, second = 0;
      EXPECT_TRUE(a->bEvalHTrouve(L"u", &found, &second));
      EXPECT_EQ(found, 0) << what;
    }
    if (!Unicode()) continue;
    // Filters bounded by the value: the rows on each side of where it would stand, U+FFFD under
    // the column's collation.
    const struct {
      const CAny* min;
      const CAny* max;
      const char* ids;
    } filters[] = {{&sought, &high, "3"},
                   {&low, &sought, "1|2|5"},
                   {&sought, &sought, ""}};
    for (const auto& f : filters) {
      CNADataAccess* a = Open(desc, cnx);
      m_error.Reset();
      ASSERT_TRUE(a->bHFiltre(L"u", f.min, 1, f.max, 1, nullptr)) << Utf8(m_error.pszGetError());
      EXPECT_EQ(Ids(a, L"u"), f.ids) << "blocks of " << cache << ": " << Utf8(m_error.pszGetError()) << Sent();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveSeekUcs2,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace
