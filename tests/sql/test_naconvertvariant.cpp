// The value converter on record slots: server date and time texts row by row, one text through
// every setter path into a UNICODE and a BINAIRE slot, numbers at their limits, cuts at character
// boundaries, the connection's count, and the driver's factories.
#include <cstring>
#include <functional>
#include <memory>
#include <random>

#include "common/utf.h"
#include "common/xystring_conversion.h"
#include "common/zvbin.h"
#include "host/host_services.h"
#include "mysql/mysqldriver.h"
#include "platform/cp1252.h"
#include "tests/sql/convert_test_util.h"
#include "values/idecimal.h"

namespace {

class Convert : public AnyTest {
 protected:
  CHostConnectionDescription m_host;
  CTestCnx m_cnx{&m_host, CP_UTF8, CP_UTF8};
};

Bytes Units16(const std::u16string& s, unsigned int size) {
  Bytes b(size, 0);
  for (size_t i = 0; i < s.size(); ++i)
    b[2 * i] = static_cast<uint8_t>(s[i]), b[2 * i + 1] = static_cast<uint8_t>(s[i] >> 8);
  return b;
}

TEST_F(Convert, ServerDateAndTimeTextsLandInDateTimeAndTimeItemsOrRaise53) {
  // A date-time's parts; no date: a time of day only; bad: error 53 for every item.
  const struct {
    const char* text;
    bool date, bad;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  } kRows[] = {
      {"2024-01-15 10:30:45.5", true, false, 2024, 1, 15, 10, 30, 45, 500},
      {"2024-01-15 10:30:45.1234", true, false, 2024, 1, 15, 10, 30, 45, 123},  // 24 characters
      {"2024-01-15 10:30:45.12345", true, false, 2024, 1, 15, 10, 30, 45, 123},
      {"2024-01-15 10:30:45.123456", true, false, 2024, 1, 15, 10, 30, 45, 123},
      {"2024-01-15 10:30:45", true, false, 2024, 1, 15, 10, 30, 45, 0},
      {"2024-01-15", true, false, 2024, 1, 15, 0, 0, 0, 0},
      {"20240115", true, false, 2024, 1, 15, 0, 0, 0, 0},
      {"20240115103045", true, false, 2024, 1, 15, 10, 30, 45, 0},
      {"20240115 10:30:45", true, false, 2024, 1, 15, 10, 30, 45, 0},
      {"0000-00-00 00:00:00", true, false, 0, 0, 0, 0, 0, 0, 0},  // the server's zero date
      {"10:30", false, false, 0, 0, 0, 10, 30, 0, 0},
      {"1030", false, false, 0, 0, 0, 10, 30, 0, 0},
      {"103045", false, false, 0, 0, 0, 10, 30, 45, 0},
      {"10:30:45", false, false, 0, 0, 0, 10, 30, 45, 0},
      {"10:30:45.5", false, false, 0, 0, 0, 10, 30, 45, 500},
      {"23:59:59.999999", false, false, 0, 0, 0, 23, 59, 59, 999},
      {"-01:00:00", false, true},
      {"24:00:00", false, true},
      {"838:59:59.000000", false, true},
      {"-838:59:59", false, true},
      {"2024/01/15", false, true},
      {"2024-13-01", false, true},
      {"2024-01-15 10:30:45.", false, true},
      {"2024-01-15 10:30:45.1234567", false, true},
      {"10:61:00", false, true},
      {"noon", false, true},
  };
  const struct {
    eNA_ITEMTYPE type;
    unsigned int size;
  } kItems[] = {{NA_IT_DATE8, 9}, {NA_IT_DATETIME, 8}, {NA_IT_HEURE, 5}, {NA_IT_HEURE, 7}, {NA_IT_HEURE, 10}};
  for (const auto& row : kRows) {
    for (const auto& item : kItems) {
      Slot slot(&m_cnx, item.type, item.size);
      const bool bad = row.bad || (item.type == NA_IT_DATE8 && !row.date);  // a time is no date
      const BOOL ok = slot.conv.bSetValueDB(row.text, static_cast<unsigned int>(strlen(row.text)), CP_UTF8);
      EXPECT_EQ(ok, !bad) << row.text << " " << item.type << " " << item.size;
      EXPECT_EQ(slot.bytes, bad ? Bytes(item.size, 0)
                                : DateBytes(item.type, item.size, row.y, row.mo, row.d, row.h, row.mi, row.s, row.ms))
          << row.text << " " << item.type << " " << item.size;
      EXPECT_EQ(slot.Raised(), bad ? Error53(ZV_PSTRA, item.type, row.text) : L"") << row.text;
    }
  }
}

TEST_F(Convert, DateTimeDigitFormWithAStrayByteAnywhereRaises53) {
  // "YYYYMMDD HH:MM:SS", read a word at a time: every place holds something else in turn; an
  // independent reading of the form decides which texts are a date-time.
  const std::string good = "20240229 23:59:58";
  for (size_t at = 0; at < good.size(); ++at) {
    for (char odd : {'0', '9', ':', '/', ' ', '-', 'a', '\xB9', '\0'}) {
      std::string text = good;
      text[at] = odd;
      bool form = true;
      for (size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        form = form && (i == 8 ? text[i] == ' ' : i == 11 || i == 14 ? text[i] == ':' : digit);
      }
      auto num = [&](size_t i, size_t n) { return std::stoi(text.substr(i, n)); };
      const int y = form ? num(0, 4) : 0, mo = form ? num(4, 2) : 0, d = form ? num(6, 2) : 0;
      const int h = form ? num(9, 2) : 0, mi = form ? num(12, 2) : 0, s = form ? num(15, 2) : 0;
      const int last = mo == 2 ? (y % 4 == 0 && (y % 100 != 0 || y % 400 == 0) ? 29 : 28) : 30 + ((mo + mo / 8) % 2);
      const bool zero = mo == 0 || d == 0;
      const bool ok = form && mo <= 12 && d <= 31 && (zero || d <= last) && h <= 23 && mi <= 59 && s <= 59;
      Slot slot(&m_cnx, NA_IT_DATETIME, 8);
      EXPECT_EQ(slot.conv.bSetValueDB(text.data(), static_cast<unsigned int>(text.size()), CP_UTF8), ok) << text;
      EXPECT_EQ(slot.bytes, ok ? DateBytes(NA_IT_DATETIME, 8, zero ? 0 : y, zero ? 0 : mo, zero ? 0 : d, h, mi, s, 0)
                               : Bytes(8, 0))
          << text;
    }
  }
}

// A converter holding a MEMOUNICODE column's value, as a browse binds a memo.
struct HeldMemo {
  explicit HeldMemo(CNAConnectionDescription* cnx) : item(L"note", NA_IT_MEMOUNICODE, 8), conv(&error, cnx) {
    CNAError::s_Hold(&error);
    conv.SetStatic(true);
    conv.InitTypeVariantAny(ZV_DSTRW, 0);
    conv.SetItemDesc(&item, nullptr);
  }
  ~HeldMemo() { conv.ResetVariant(); }
  BOOL Set(const std::string& text, int cp = CP_UTF8) {
    return conv.bSetValueDB(text.data(), static_cast<unsigned int>(text.size()), static_cast<unsigned int>(cp));
  }
  // The held text, and where its characters lie.
  std::wstring Text() const {
    const wchar_t* p = nullptr;
    unsigned int n = 0;
    conv.pclGetValue()->Intern()->nGetPCWSTR(&p);
    conv.pclGetValue()->Intern()->nGetSTRLEN(&n);
    return std::wstring(p, n);
  }
  const void* Block() const {
    const wchar_t* p = nullptr;
    conv.pclGetValue()->Intern()->nGetPCWSTR(&p);
    return p;
  }
  CHostItemDescription item;
  CNAError error;
  CNAConvertVariant conv;
};

TEST_F(Convert, EmptyTextKeepsTheHeldTextsBlock) {
  // A memo read row after row: the empty text is the empty value (not NULL) and leaves the
  // block for the next row, which takes it without a new allocation; NULL stays NULL.
  HeldMemo memo(&m_cnx);
  ASSERT_TRUE(memo.Set("note note"));
  const void* block = memo.Block();
  const long live = nLive();
  const struct { const char* text; bool null; } kRows[] = {
      {"", false}, {"note", false}, {"", false}, {nullptr, true}, {"", false}, {"note note", false}};
  for (const auto& row : kRows) {
    ASSERT_TRUE(row.text == nullptr ? memo.conv.bSetValueDB(nullptr, 0, CP_UTF8) : memo.Set(row.text));
    EXPECT_EQ(memo.conv.bIsNull(), row.null);
    if (row.null) continue;
    EXPECT_EQ(memo.Text(), std::wstring(row.text, row.text + strlen(row.text)));
    EXPECT_EQ(memo.Block(), block) << row.text;
    EXPECT_EQ(nLive(), live) << row.text;
  }
}

TEST_F(Convert, FailedGrowthOfAHeldTextLeavesNoStaleText) {
  // Out of memory for a longer text: the row's value is NULL with the error, never the last
  // row's text reported as read.
  HeldMemo memo(&m_cnx);
  ASSERT_TRUE(memo.Set("note"));
  CHostServices::Instance().FailNextAllocations(1);
  EXPECT_FALSE(memo.Set(std::string(300, 'x')));
  EXPECT_TRUE(memo.conv.bIsNull());
  EXPECT_EQ(memo.error.pclGetXError()->dwGetSystemErrorCode(), 12u);
  CHostServices::Instance().FailNextAllocations(0);
  ASSERT_TRUE(memo.Set(std::string(300, 'x')));
  EXPECT_EQ(memo.Text(), std::wstring(300, L'x'));
}

TEST_F(Convert, HeldTextIsTheWholeTextConvertedZerosIncluded) {
  // The held text is widened in its own block, its ASCII run apart: the same characters as the
  // whole text converted at once, a zero being a character of a memo, for runs of every length
  // around the sixteen-byte steps, zeros, other characters and broken sequences anywhere.
  std::vector<std::string> texts = {"", "a", std::string(1, '\0'), "\xC3\xA9", "\xFF", "\xC3", "\x80\x80",
                                    "\xF0\x9F\x98\x80", "\xED\xA0\x80", "\x81\x8D\x8F\x90\x9D"};
  for (size_t n = 1; n <= 40; ++n)
    for (const std::string& odd : {std::string("\xC3\xA9"), std::string(1, '\0'), std::string("\xE2\x82"),
                                  std::string("\x80"), std::string("\xF0\x9F\x98\x80")}) {
      std::string ascii;
      for (size_t i = 0; i < n; ++i) ascii += static_cast<char>('a' + i % 26);
      texts.push_back(ascii + odd);
      texts.push_back(ascii + odd + ascii);
      texts.push_back(odd + ascii);
      texts.push_back(ascii.substr(0, n / 2) + odd + ascii.substr(n / 2));
    }
  for (int cp : {CP_UTF8, 1252, 1251, 932}) {
    HeldMemo memo(&m_cnx);
    for (const std::string& text : texts) {
      const CXYString<wchar_t> whole = PCASTR_To_CWString(text.data(), cp, static_cast<int>(text.size()));
      const std::wstring want(whole.pszGet(), static_cast<size_t>(whole.nGetLength()));
      ASSERT_TRUE(memo.Set(text, cp)) << cp << " " << testing::PrintToString(text);
      EXPECT_EQ(memo.Text(), want) << cp << " " << testing::PrintToString(text);
      EXPECT_FALSE(memo.conv.bIsNull());
    }
  }
}

TEST_F(Convert, ServerTextIntoAUnicodeSlotIsItsCharactersAsTheHostSetsThem) {
  // A UTF-8 server text goes into a UNICODE slot in one step: the same units and result as the
  // host's setter of the characters it decodes to, for every slot size, with pairs, two-byte
  // characters and broken sequences at every place of runs long and short.
  const std::string pieces[] = {"a", "0123456789abcdef", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xC3",
                                "\x80", "\xFF", "\xED\xA0\x80", std::string(1, '\0')};
  std::mt19937 rng(7);
  std::vector<std::string> texts;
  for (int i = 0; i < 150; ++i) {
    std::string t;
    for (int k = static_cast<int>(rng() % 6); k >= 0; --k) t += pieces[rng() % std::size(pieces)];
    texts.push_back(t);
  }
  for (const std::string& text : texts) {
    std::wstring wide;
    unsigned int left = static_cast<unsigned int>(text.size());
    for (const char* p = text.data(); left > 0;) wide += UTF8_GetNext(&p, &left);
    for (unsigned int size = 2; size <= 48; size += 3) {
      Slot server(&m_cnx, NA_IT_UNICODE, size), host(&m_cnx, NA_IT_UNICODE, size);
      const BOOL ok = server.conv.bSetValueDB(text.data(), static_cast<unsigned int>(text.size()), CP_UTF8);
      EXPECT_EQ(ok, host.conv.bSetValue(wide.c_str(), static_cast<unsigned int>(wide.size())))
          << testing::PrintToString(text) << " " << size;
      EXPECT_EQ(server.bytes, host.bytes) << testing::PrintToString(text) << " " << size;
      EXPECT_EQ(server.conv.nGetUtilDataSize(), host.conv.nGetUtilDataSize()) << testing::PrintToString(text);
    }
  }
}

TEST_F(Convert, ServerTextsThatAreNoCalendarDateRaise53OrAreTheEmptyDate) {
  // A day beyond its month is refused (53, slot zeroed); a zero month or day is the empty date,
  // whose time of day stays.
  const struct {
    const char* text;
    bool bad;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  } kRows[] = {
      {"2023-02-30", true},
      {"2023-02-29", true},
      {"1900-02-29", true},
      {"2023-04-31", true},
      {"20230230", true},
      {"20230431103045", true},
      {"2023-02-30 10:30:45.5", true},
      {"20230231 10:30:45", true},
      {"2024-02-29", false, 2024, 2, 29},
      {"2000-02-29", false, 2000, 2, 29},
      {"2023-12-31 23:59:59", false, 2023, 12, 31, 23, 59, 59},
      {"2024-00-15", false},
      {"2024-05-00", false},
      {"20240015", false},
      {"2024-00-00 10:30:45", false, 0, 0, 0, 10, 30, 45},
      {"20240500 10:30:45", false, 0, 0, 0, 10, 30, 45},
      {"2024-05-00 10:30:45.5", false, 0, 0, 0, 10, 30, 45, 500},
      {"2024-13-00", true},
      {"2024-00-32", true},
  };
  const struct {
    eNA_ITEMTYPE type;
    unsigned int size;
  } kItems[] = {{NA_IT_DATE8, 9}, {NA_IT_DATETIME, 8}, {NA_IT_HEURE, 10}};
  for (const auto& row : kRows) {
    const std::wstring wide(row.text, row.text + strlen(row.text));
    for (const auto& item : kItems) {
      for (bool narrow : {true, false}) {
        Slot slot(&m_cnx, item.type, item.size);
        const BOOL ok = narrow ? slot.conv.bSetValueDB(row.text, static_cast<unsigned int>(strlen(row.text)), CP_UTF8)
                               : slot.conv.bSetValueDB(wide.c_str(), static_cast<unsigned int>(wide.size()));
        EXPECT_EQ(ok, !row.bad) << row.text << " " << item.type;
        EXPECT_EQ(slot.bytes, row.bad ? Bytes(item.size, 0)
                                      : DateBytes(item.type, item.size, row.y, row.mo, row.d, row.h, row.mi, row.s,
                                                  row.ms))
            << row.text << " " << item.type;
        EXPECT_EQ(slot.Raised(), row.bad ? Error53(narrow ? ZV_PSTRA : ZV_PSTRW, item.type, row.text) : L"")
            << row.text;
      }
    }
  }
}

TEST_F(Convert, HostDateAndTimeTextsKeepTheirDigitsInSlots) {
  // Inline date and time texts report no length of their own: they run to their terminator.
  CAny dateA, timeA, dateW, timeW;
  dateA.SetDATEA("20240229");
  timeA.SetTIMEA("103045500");
  dateW.SetDATEW(L"20240229");
  timeW.SetTIMEW(L"103045");
  const auto digits = [](const std::string& text, unsigned int size) {
    Bytes b(size, 0);
    memcpy(b.data(), text.data(), std::min<size_t>(text.size(), size - 1));
    return b;
  };
  const struct {
    const CAny* value;
    bool db;  // through bSetValueDB, else bSetValue
    eNA_ITEMTYPE type;
    unsigned int size;
    Bytes bytes;
  } kRows[] = {
      {&dateA, false, NA_IT_DATE8, 9, digits("20240229", 9)},
      {&timeA, false, NA_IT_HEURE, 10, digits("103045500", 10)},
      {&dateW, false, NA_IT_DATE8, 9, digits("20240229", 9)},
      {&timeW, false, NA_IT_HEURE, 10, digits("103045", 10)},
      {&dateA, false, NA_IT_TEXTE, 12, digits("20240229", 12)},
      {&timeW, false, NA_IT_TEXTE, 12, digits("103045", 12)},
      {&dateA, true, NA_IT_DATETIME, 8, DateBytes(NA_IT_DATETIME, 8, 2024, 2, 29, 0, 0, 0, 0)},
      {&dateW, true, NA_IT_DATETIME, 8, DateBytes(NA_IT_DATETIME, 8, 2024, 2, 29, 0, 0, 0, 0)},
      {&timeA, true, NA_IT_TEXTE, 12, digits("103045500", 12)},
  };
  for (size_t i = 0; i < std::size(kRows); ++i) {
    const auto& row = kRows[i];
    Slot slot(&m_cnx, row.type, row.size);
    EXPECT_TRUE(row.db ? slot.conv.bSetValueDB(row.value) : slot.conv.bSetValue(row.value)) << i;
    EXPECT_EQ(slot.bytes, row.bytes) << i;
    EXPECT_EQ(slot.Raised(), L"") << i;
  }
}

TEST_F(Convert, EverySetterPathWritesTheSameUTF16IntoAUnicodeSlot) {
  const std::wstring wide = L"aé\U0001F600z";
  const std::string utf8 = "a\xc3\xa9\xf0\x9f\x98\x80z";
  const Bytes expected = Units16(u"aé\U0001F600z", 20);
  CAny w = FromText(ZV_DSTRW, wide.c_str()), a;
  a.__SetType(ZV_DSTRA, 0);
  a.Intern()->SetValue(utf8.data(), static_cast<unsigned int>(utf8.size()));
  const unsigned int nw = static_cast<unsigned int>(wide.size()), na = static_cast<unsigned int>(utf8.size());
  CNAConvertVariant source(nullptr, &m_cnx);
  source.InitTypeVariantAny(ZV_DSTRW, 0);
  source.bSetValue(&w);
  const std::function<BOOL(CNAConvertVariant&)> kPaths[] = {
      [&](CNAConvertVariant& c) { return c.bSetValue(wide.c_str(), nw); },
      [&](CNAConvertVariant& c) { return c.bSetValue(wide.c_str(), 0xFFFFFFFFu); },
      [&](CNAConvertVariant& c) { return c.bSetValue(utf8.c_str(), na); },
      [&](CNAConvertVariant& c) { return c.bSetValue(&w); },
      [&](CNAConvertVariant& c) { return c.bSetValue(&a); },
      [&](CNAConvertVariant& c) { return c.bSetValueDB(utf8.c_str(), na, CP_UTF8); },
      [&](CNAConvertVariant& c) { return c.bSetValueDB(wide.c_str(), nw); },
      [&](CNAConvertVariant& c) { return c.bSetValueDB(&w); },
      [&](CNAConvertVariant& c) { return c.bSetValueDB(&a); },
      [&](CNAConvertVariant& c) { return c.bCopyVariant(&source); },
  };
  for (size_t i = 0; i < std::size(kPaths); ++i) {
    Slot slot(&m_cnx, NA_IT_UNICODE, 20);
    ASSERT_TRUE(kPaths[i](slot.conv)) << i;
    EXPECT_EQ(slot.bytes, expected) << i;
    CAny back;
    ASSERT_TRUE(slot.conv.bGetValue(&back));
    EXPECT_EQ(ClassText(back), wide) << i;
    slot.conv.CompleteSpaces(-1);  // pads in units, up to the last one
    EXPECT_EQ(slot.bytes, Units16(u"aé\U0001F600z    ", 20)) << i;
  }
  source.ResetVariant();
}

TEST_F(Convert, EverySetterPathWritesTheLengthAndBytesIntoABinarySlot) {
  const std::string data("\0\1abcdefgh", 10);
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  CAny bin;
  bin.SetBIN(p, 10);
  CZVBIN zv(p, 10);
  CNAConvertVariant source(nullptr, &m_cnx);
  source.InitTypeVariantAny(ZV_BIN, 0);
  source.bSetValue(&bin);
  const std::function<BOOL(CNAConvertVariant&)> kPaths[] = {
      [&](CNAConvertVariant& c) { return c.bSetValue(p, 10); },
      [&](CNAConvertVariant& c) { return c.bSetValue(&zv); },
      [&](CNAConvertVariant& c) { return c.bSetValue(&bin); },
      [&](CNAConvertVariant& c) { return c.bSetValueDB(p, 10); },
      [&](CNAConvertVariant& c) { return c.bSetValueDB(data.data(), 10, CP_UTF8); },
      [&](CNAConvertVariant& c) { return c.bCopyVariant(&source); },
  };
  for (unsigned int size : {16u, 8u}) {  // room for all, and a cut to size - 2
    for (size_t i = 0; i < std::size(kPaths); ++i) {
      Slot slot(&m_cnx, NA_IT_BINAIRE, size);
      ASSERT_TRUE(kPaths[i](slot.conv)) << i;
      const unsigned int n = std::min(10u, size - 2);
      Bytes expected(size, 0);
      expected[0] = static_cast<uint8_t>(n);
      memcpy(expected.data() + 2, p, n);
      EXPECT_EQ(slot.bytes, expected) << size << " " << i;
      CAny back;
      ASSERT_TRUE(slot.conv.bGetValue(&back));
      void* q = nullptr;
      back.Intern()->nGetDataAdr(&q);
      EXPECT_EQ(std::string(static_cast<const char*>(q), n), data.substr(0, n)) << i;
    }
  }
  source.ResetVariant();
}

TEST_F(Convert, EmptyServerTextIntoADateTimeOrNumberIsRefused) {
  // An empty text is the empty value of a text or a binary and a boolean's FALSE; it is no date,
  // time or number, whether held by the converter or in a slot.
  const struct { eNA_ITEMTYPE type; unsigned int size; bool refused; } kItems[] = {
      {NA_IT_DATETIME, 8, true}, {NA_IT_DATE8, 9, true},       {NA_IT_HEURE, 10, true},     {NA_IT_R8, 8, true},
      {NA_IT_R4, 4, true},       {NA_IT_I4, 4, true},          {NA_IT_UI8, 8, true},        {NA_IT_I1, 1, true},
      {NA_IT_MONETAIRE, 10, true}, {NA_IT_DECIMAL, 16, true},  {NA_IT_TEXTE, 8, false},     {NA_IT_UNICODE, 8, false},
      {NA_IT_BINAIRE, 8, false}, {NA_IT_BOOLEEN, 1, false}};
  const CAny empty = FromText(ZV_DSTRA, L"");
  // The server's roads, and the type each names in the error.
  const struct { std::function<BOOL(CNAConvertVariant&)> set; unsigned short from; } kRoads[] = {
      {[](CNAConvertVariant& c) { return c.bSetValueDB("", 0, CP_UTF8); }, ZV_PSTRA},
      {[](CNAConvertVariant& c) { return c.bSetValueDB("", 0xFFFFFFFFu, 1252); }, ZV_PSTRA},
      {[](CNAConvertVariant& c) { return c.bSetValueDB(L"", 0); }, ZV_PSTRW},
      {[&](CNAConvertVariant& c) { return c.bSetValueDB(&empty); }, ZV_PSTRA},
  };
  for (const auto& item : kItems) {
    for (size_t road = 0; road < std::size(kRoads); ++road) {
      for (bool held : {false, true}) {
        Slot slot(&m_cnx, item.type, item.size);
        slot.item.m_nIntegerPart = 20;
        slot.item.m_nDecimalPart = 6;
        if (held) {
          slot.conv.InitTypeVariantAny(ConverteItemToZVType(item.type), 0);
          slot.conv.SetItemDesc(&slot.item, nullptr);
        }
        const std::string where = std::to_string(item.type) + (held ? " held " : " slot ") + std::to_string(road);
        EXPECT_EQ(kRoads[road].set(slot.conv), !item.refused) << where;
        EXPECT_EQ(slot.Raised(), item.refused ? Error53(kRoads[road].from, item.type, "") : L"") << where;
        EXPECT_EQ(slot.conv.bIsNull(), item.refused && held) << where;
        EXPECT_TRUE(held || slot.bytes == Bytes(item.size, 0)) << where;
      }
    }
  }
}

// n little-endian bytes of v, sign-extended.
Bytes LE(__int128 v, size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(v >> (8 * std::min<size_t>(i, 15)));
  return b;
}
Bytes Raw(const void* p, size_t n) { return Bytes(static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n); }

TEST_F(Convert, ServerNumbersAreExactAtTheirLimitsAndOverflowRaises53) {
  __int128 big = 0;
  for (const char* d = "12345678901234567890123456789012345678"; *d != 0; ++d) big = big * 10 + (*d - '0');
  const double tenth = 0.1;
  const float half = 1.5f;
  const struct {
    eNA_ITEMTYPE type;
    unsigned int size;
    const char* text;
    Bytes bytes;
  } kRows[] = {
      {NA_IT_I1, 1, "-128", LE(-128, 1)},
      {NA_IT_I1, 1, "128", {}},
      {NA_IT_UI1, 1, "255", LE(255, 1)},
      {NA_IT_UI1, 1, "256", {}},
      {NA_IT_I2, 2, "-32768", LE(-32768, 2)},
      {NA_IT_I2, 2, "32768", {}},
      {NA_IT_UI2, 2, "65535", LE(65535, 2)},
      {NA_IT_UI2, 2, "-1", {}},
      {NA_IT_I4, 4, "-2147483648", LE(INT32_MIN, 4)},
      {NA_IT_I4, 4, "2147483648", {}},
      {NA_IT_UI4, 4, "4294967295", LE(UINT32_MAX, 4)},
      {NA_IT_UI4, 4, "4294967296", {}},
      {NA_IT_I8, 8, "-9223372036854775808", LE(INT64_MIN, 8)},
      {NA_IT_I8, 8, "9223372036854775807", LE(INT64_MAX, 8)},
      {NA_IT_I8, 8, "9223372036854775808", {}},
      {NA_IT_UI8, 8, "18446744073709551615", LE(UINT64_MAX, 8)},
      {NA_IT_UI8, 8, "18446744073709551616", {}},
      {NA_IT_R8, 8, "0.1", Raw(&tenth, 8)},
      {NA_IT_R4, 4, "1.5", Raw(&half, 4)},
      {NA_IT_MONETAIRE, 10, "-1234.567891", LE(-1234567891, 10)},
      {NA_IT_DECIMAL, 16, "-12345678901234567890.123456789012345678", LE(-big, 16)},
      {NA_IT_DECIMAL, 16, "123456789012345678901.123456789012345678", {}},  // 39 digits
      {NA_IT_BOOLEEN, 1, "1", {1}},
      {NA_IT_BOOLEEN, 1, "x", {1}},
      {NA_IT_BOOLEEN, 1, "0", {0}},
      {NA_IT_BOOLEEN, 1, "f", {0}},
      {NA_IT_BOOLEEN, 1, "F", {0}},
  };
  for (const auto& row : kRows) {
    Slot slot(&m_cnx, row.type, row.size);
    slot.item.m_nIntegerPart = 20;
    slot.item.m_nDecimalPart = 18;
    slot.conv.SetItemDesc(nullptr, nullptr);
    slot.conv.SetItemDesc(&slot.item, nullptr);
    const bool bad = row.bytes.empty();
    EXPECT_EQ(slot.conv.bSetValueDB(row.text, static_cast<unsigned int>(strlen(row.text)), CP_UTF8), !bad) << row.text;
    EXPECT_EQ(slot.bytes, bad ? Bytes(row.size, 0) : row.bytes) << row.text;
    EXPECT_EQ(slot.Raised(), bad ? Error53(ZV_PSTRA, row.type, row.text) : L"") << row.text;
  }
}

TEST_F(Convert, TextsAreCutAtACharacterBoundaryAndSpacesStopAtTheLastByte) {
  const struct {
    int hostCp;
    eNA_ITEMTYPE type;
    unsigned int size;
    const char* text;
    Bytes bytes;
  } kRows[] = {
      {CP_UTF8, NA_IT_TEXTE, 4, "a\xc3\xa9\xe2\x82\xac", {'a', 0xc3, 0xa9, 0}},  // not half of the euro sign
      {CP_UTF8, NA_IT_TEXTE, 3, "abc", {'a', 'b', 0}},
      {CP_UTF8, NA_IT_UNICODE, 8, "ab\xf0\x9f\x98\x80", Units16(u"ab", 8)},  // not half of the pair
      {1252, NA_IT_TEXTE, 4, "a\xc3\xa9\xe2\x82\xac", {'a', 0xe9, 0x80, 0}},
      {1251, NA_IT_TEXTE, 3, "a\xd0\x96\xd0\x96", {'a', 0xc6, 0}},
  };
  for (const auto& row : kRows) {
    CTestCnx cnx(&m_host, row.hostCp, CP_UTF8);
    Slot slot(&cnx, row.type, row.size);
    EXPECT_TRUE(slot.conv.bSetValueDB(row.text, static_cast<unsigned int>(strlen(row.text)), CP_UTF8));
    EXPECT_EQ(slot.bytes, row.bytes) << row.text;
    EXPECT_EQ(slot.conv.nGetSize(), row.type == NA_IT_TEXTE ? row.size - 1 : 4u) << row.text;
  }
  Slot text(&m_cnx, NA_IT_TEXTE, 4);
  text.conv.bSetValue("a", 1);
  text.conv.CompleteSpaces(10);
  EXPECT_EQ(text.bytes, (Bytes{'a', ' ', ' ', 0}));
}

// UTF-8 and 1252 server texts re-encoded into a text slot of the other page: ASCII runs, the
// characters between them, the cut at the slot's end and bytes that are no character.
TEST_F(Convert, ServerTextIntoATextSlotOfAnotherPageKeepsASCIIAndEachCharacter) {
  const struct {
    int hostCp, serverCp;
    std::string text;
    Bytes bytes;
  } kRows[] = {
      {1252, CP_UTF8, "abc", {'a', 'b', 'c', 0, 0, 0}},
      {1252, CP_UTF8, "abcdefg", {'a', 'b', 'c', 'd', 'e', 0}},
      {1252, CP_UTF8, "ab\xc3\xa9" "cd", {'a', 'b', 0xe9, 'c', 'd', 0}},
      {1252, CP_UTF8, "abcd\xc3\xa9", {'a', 'b', 'c', 'd', 0xe9, 0}},
      {1252, CP_UTF8, "abcde\xc3\xa9", {'a', 'b', 'c', 'd', 'e', 0}},
      {1252, CP_UTF8, "\xe2\x82\xacx", {0x80, 'x', 0, 0, 0, 0}},
      {1252, CP_UTF8, "a\xff" "b", {'a', '?', 'b', 0, 0, 0}},
      {1252, CP_UTF8, "\xf0\x9f\x98\x80z", {'?', 'z', 0, 0, 0, 0}},
      {1252, CP_UTF8, std::string("a\0b", 3), {'a', 0, 'b', 0, 0, 0}},
      {CP_UTF8, 1252, "ab\xe9", {'a', 'b', 0xc3, 0xa9, 0, 0}},
      {CP_UTF8, 1252, "abcd\xe9", {'a', 'b', 'c', 'd', 0, 0}},
      {CP_UTF8, 1252, "\x80" "abcdef", {0xe2, 0x82, 0xac, 'a', 'b', 0}},
  };
  for (const auto& row : kRows) {
    CTestCnx cnx(&m_host, row.hostCp, row.serverCp);
    Slot slot(&cnx, NA_IT_TEXTE, 6);
    EXPECT_TRUE(slot.conv.bSetValueDB(row.text.data(), static_cast<unsigned int>(row.text.size()),
                                      static_cast<unsigned int>(row.serverCp)))
        << row.text;
    EXPECT_EQ(slot.bytes, row.bytes) << row.text;
  }
}

// ASCII goes eight bytes a step, then four: runs across, up to and past a step, cut by the slot,
// broken by a character of another length.
TEST_F(Convert, LongServerTextsKeepEachCharacterAcrossTheCopySteps) {
  const std::string ascii = "abcdefghijklmnopqrstuvwxyz";
  const struct {
    std::string text;
    std::string latin1;  // what the 20-byte slot holds before its zeros
  } kRows[] = {
      {ascii.substr(0, 8), ascii.substr(0, 8)},
      {ascii.substr(0, 16), ascii.substr(0, 16)},
      {ascii.substr(0, 19), ascii.substr(0, 19)},
      {ascii, ascii.substr(0, 19)},
      {ascii.substr(0, 7) + "\xc3\xa9" + ascii.substr(0, 9), ascii.substr(0, 7) + "\xe9" + ascii.substr(0, 9)},
      {ascii.substr(0, 8) + "\xc3\xa9" + ascii, ascii.substr(0, 8) + "\xe9" + ascii.substr(0, 10)},
      {ascii.substr(0, 18) + "\xc3\xa9z", ascii.substr(0, 18) + "\xe9"},
      {ascii.substr(0, 19) + "\xc3\xa9", ascii.substr(0, 19)},
      {"\xc3\xa9" + ascii.substr(0, 17) + "\xc3\xa9", "\xe9" + ascii.substr(0, 17) + "\xe9"},
      {ascii.substr(0, 12), ascii.substr(0, 12)},
      {ascii.substr(0, 13) + "\xc3\xa9", ascii.substr(0, 13) + "\xe9"},
      {ascii.substr(0, 10) + "\xc3\xa9xy", ascii.substr(0, 10) + "\xe9xy"},
      {ascii.substr(0, 3) + "\xc3\xa9" + ascii.substr(0, 6), ascii.substr(0, 3) + "\xe9" + ascii.substr(0, 6)},
  };
  CTestCnx cnx(&m_host, 1252, CP_UTF8);
  for (const auto& row : kRows) {
    Slot slot(&cnx, NA_IT_TEXTE, 20);
    ASSERT_TRUE(slot.conv.bSetValueDB(row.text.data(), static_cast<unsigned int>(row.text.size()), CP_UTF8));
    Bytes want(row.latin1.begin(), row.latin1.end());
    want.resize(20, 0);
    EXPECT_EQ(slot.bytes, want) << row.text;
  }
}

// A 1252 host takes the Latin-1 pairs of a UTF-8 text as their byte: for every pair of bytes
// after a lead of two-byte characters, and a pair cut by the text's end, the slot holds what
// decoding each character and encoding it again in 1252 gives.
TEST_F(Convert, LatinPairsOfServerTextsLandAsDecodingAndEncodingGive) {
  auto decodeEncode = [](const std::string& text) {
    std::string out;
    const char* p = text.data();
    unsigned int left = static_cast<unsigned int>(text.size());
    while (left > 0) {
      const int byte = CP1252ByteOf(static_cast<uint32_t>(UTF8_GetNext(&p, &left)));
      out += byte >= 0 ? static_cast<char>(byte) : '?';
    }
    return out;
  };
  CTestCnx cnx(&m_host, 1252, CP_UTF8);
  for (int lead = 0xC0; lead <= 0xDF; ++lead) {
    for (int next = 0; next <= 0xFF; ++next) {
      for (const std::string& text : {std::string{'a', char(lead), char(next), 'b'}, std::string{'a', char(lead)},
                                      std::string{char(lead), char(next), char(lead), char(next)}}) {
        Slot slot(&cnx, NA_IT_TEXTE, 20);
        ASSERT_TRUE(slot.conv.bSetValueDB(text.data(), static_cast<unsigned int>(text.size()), CP_UTF8));
        Bytes want;
        for (char c : decodeEncode(text)) want.push_back(static_cast<uint8_t>(c));
        want.resize(20, 0);
        ASSERT_EQ(slot.bytes, want) << std::hex << lead << " " << next << " of " << text.size();
      }
    }
  }
}

// The converter reads its item when it is given one: another item later takes its place.
TEST_F(Convert, ConverterGivenAnotherItemConvertsForTheNewOne) {
  CHostItemDescription wide(L"w", NA_IT_DECIMAL, 8), narrow(L"n", NA_IT_DECIMAL, 8);
  wide.m_nIntegerPart = 10, wide.m_nDecimalPart = 2;
  narrow.m_nIntegerPart = 4, narrow.m_nDecimalPart = 4;
  Slot slot(&m_cnx, NA_IT_DECIMAL, 8);
  slot.conv.SetItemDesc(&wide, nullptr);
  ASSERT_TRUE(slot.conv.bSetValueDB("1.5", 3, CP_UTF8));
  int64_t v = 0;
  memcpy(&v, slot.bytes.data(), IDecimal::mg_PToN[12]);
  EXPECT_EQ(v, 150);
  slot.conv.SetItemDesc(&narrow, nullptr);
  ASSERT_TRUE(slot.conv.bSetValueDB("1.5", 3, CP_UTF8));
  int32_t w = 0;
  memcpy(&w, slot.bytes.data(), IDecimal::mg_PToN[8]);
  EXPECT_EQ(w, 15000);
  slot.conv.SetItemDesc(&slot.item, nullptr);  // the slot's own item goes with the slot
}

TEST_F(Convert, ConvertersKeepTheirConnectionCountedAndTheDriverMakesThem) {
  CHostConnectionDescription host2;
  CTestCnx other(&host2, 1252, CP_UTF8);
  const unsigned int before = m_cnx.nGetRefCount(), before2 = other.nGetRefCount();
  {
    auto* a = new CNAConvertVariant(nullptr, &m_cnx);
    a->AddRef();
    CNAConvertVariant b(nullptr, &other), c(nullptr, &other);
    b.InitTypeVariantAny(ZV_I4, 0);
    b.bSetValue(7);
    EXPECT_EQ(m_cnx.nGetRefCount(), before + 1);
    a->bCopyVariant(&b);  // takes the source's connection
    c.bCopyVariant(a);
    EXPECT_EQ(m_cnx.nGetRefCount(), before);
    EXPECT_EQ(other.nGetRefCount(), before2 + 3);
    a->nRelease();
  }
  EXPECT_EQ(m_cnx.nGetRefCount(), before);
  EXPECT_EQ(other.nGetRefCount(), before2);

  auto* driver = new CMySQLDriver();
  driver->ExternalAddRef();
  ASSERT_TRUE(driver->bInitDriver());
  CAny seven = FromText(ZV_I8, L"7"), text = FromText(ZV_DSTRA, L"x");
  CNAConvertVariant* made = driver->pclGetNewVariant_NV_Any(nullptr, &m_cnx, nullptr, &seven);
  ASSERT_NE(made, nullptr);
  made->AddRef();
  EXPECT_EQ(made->pclGetError(), driver->pclGetErrorNoRef());  // the driver's, none being given
  EXPECT_EQ(made->wGetType(), ZV_I8);
  EXPECT_TRUE(made->bEqualsNAVariant(&seven));
  CNAConvertVariant* clone = made->pclGetCloneVariant();
  ASSERT_NE(clone, nullptr);
  clone->AddRef();
  EXPECT_TRUE(clone->bEqualsNAVariant(made));
  clone->nRelease();
  made->nRelease();
  made = driver->pclGetNewVariant_NV_Any(nullptr, &m_cnx, nullptr, ZV_I4);
  ASSERT_NE(made, nullptr);
  made->AddRef();
  EXPECT_FALSE(made->bSetValue(&text));  // no number: refused, error 53
  EXPECT_EQ(driver->pclGetErrorNoRef()->nGetUserErrorCode(), 53u);
  made->nRelease();
  driver->nExternalRelease();
  EXPECT_EQ(m_cnx.nGetRefCount(), before);
}

}  // namespace

namespace {

// Dialect 2 reads a value's digits from its type (a decimal's from its own object); the others
// read the value as a decimal. A DECIMAL item of the host decides before either.
TEST_F(Convert, DecimalInformationFollowsTheDialect) {
  const struct {
    int dialect;
    unsigned short type;
    const wchar_t* value;  // null: NULL
    bool decimalItem;
    const char* want;      // "precision,scale" or "none"
  } rows[] = {
      {2, ZV_I4, L"5", false, "10,0"},         {0, ZV_I4, L"5", false, "1,0"},
      {2, ZV_UI1, L"5", false, "3,0"},         {2, ZV_BOOL, L"1", false, "1,0"},
      {2, ZV_I8, L"-5", false, "19,0"},        {2, ZV_CY, L"1.5", false, "33,5"},
      {2, ZV_R8, L"1.5", false, "none"},       {0, ZV_R8, L"1.5", false, "2,1"},
      {2, ZV_DECIMAL, L"12.345", false, "5,3"}, {2, ZV_DECIMAL, nullptr, false, "none"},
      {2, ZV_I4, L"5", true, "17,2"},          {0, ZV_I4, L"5", true, "17,2"},
  };
  for (const auto& row : rows) {
    CHostConnectionDescription host;
    CTestCnx cnx(&host, CP_UTF8, CP_UTF8, row.dialect);
    CNAError error;
    CNAError::s_Hold(&error);
    CNAConvertVariant value(&error, &cnx);
    value.SetStatic(true);
    CHostItemDescription item(L"d", NA_IT_DECIMAL, 8);
    item.m_nIntegerPart = 15;
    item.m_nDecimalPart = 2;
    value.InitTypeVariantAny(row.type, 0);
    if (row.decimalItem) value.SetItemDesc(&item, nullptr);
    CAny v = row.value != nullptr ? FromText(row.type, row.value) : CAny();
    if (row.value == nullptr) v.__SetType(row.type, 0), v.SetNull(true);
    ASSERT_TRUE(value.bSetValue(&v)) << row.type;
    int precision = -1, scale = -1;
    const BOOL ok = value.bGetDecimalInfo(&precision, &scale);
    EXPECT_EQ(ok ? std::to_string(precision) + "," + std::to_string(scale) : "none", row.want)
        << "dialect " << row.dialect << " type " << row.type;
    value.ResetVariant();
  }
}

}  // namespace

namespace {

// What a converter shows of itself: kind, value (type word, text, a number's area), items,
// analysis type and decimal form, sizes, its database length and error and connection.
std::string ConverterState(CNAConvertVariant* v) {
  const CAny* value = v->pclGetValue();
  const std::wstring shown = Show(*value);
  std::string narrow;
  for (wchar_t c : shown) narrow += c < 128 ? static_cast<char>(c) : '?';
  std::string out = std::to_string(v->eGetVarType()) + " " + std::to_string(value->wGetTypeWord()) + " " +
                    narrow + " " + std::to_string(v->vbIsEmpty());
  if (value->wGetType() == ZV_VIDE || value->wGetType() == ZV_I4 || value->wGetType() == ZV_I8)
    out += " " + std::string(reinterpret_cast<const char*>(value->pGetValueArea()), 16);
  int precision = -2, scale = -2;
  const BOOL decimal = v->bGetDecimalInfo(&precision, &scale);
  char items[160];
  snprintf(items, sizeof items, " %p %p %d %d %d,%d %u %u %p %p", static_cast<void*>(v->piGetAnalysisItem()),
           static_cast<void*>(v->piGetDatabaseItem()), v->eNAGetItemTypeAnalyse(), decimal, precision, scale,
           v->nGetSize(), v->nGetUtilDataSize(), static_cast<void*>(v->pclGetError()), static_cast<void*>(v->pclGetCnx()));
  unsigned int* dbLength = nullptr;
  const BOOL buffer = v->bGetBufferDB(nullptr, nullptr, &dbLength);
  return out + items + " " + std::to_string(buffer) + ":" + std::to_string(dbLength != nullptr ? *dbLength : 0u);
}

// A converter restarted after any former life and then typed and set stands as a new one typed
// and set the same way; the driver restarts only a converter that is its holders' alone.
TEST_F(Convert, ARestartedConverterStandsAsANewOne) {
  CHostItemDescription decimal(L"dec", NA_IT_DECIMAL, 8), number(L"n", NA_IT_I8, 8), text(L"t", NA_IT_TEXTE, 12);
  decimal.m_nIntegerPart = 10, decimal.m_nDecimalPart = 2;
  Bytes slot(8, 0);
  const std::function<void(CNAConvertVariant&)> lives[] = {
      [](CNAConvertVariant&) {},
      [](CNAConvertVariant& v) { v.InitTypeVariantAny(ZV_I4, 0), v.bSetValue(9); },
      [](CNAConvertVariant& v) { v.InitTypeVariantAny(ZV_I4, 0), v.bSetValue(5), v.SetNull(); },
      [](CNAConvertVariant& v) {
        v.InitTypeVariantAny(ZV_DSTRW, 0);
        const CAny long_ = FromText(ZV_DSTRW, L"a text longer than any block kept inline");
        v.bSetValue(&long_);
      },
      [](CNAConvertVariant& v) { v.InitTypeVariantAny(ZV_I8, 0), v.SetNotRead(); },
      [](CNAConvertVariant& v) { v.InitTypeVariantAny(ZV_I4, 0), v.bSetValue(7), v.bChangeItemType(NA_IT_TEXTE, 0); },
      [](CNAConvertVariant& v) {
        v.bInitTypeVariant(NA_VAR_OWNBUFFER, nullptr, 16, ZV_DSTRA);
        v.bSetValueDB(reinterpret_cast<const unsigned char*>("abc"), 3);
      },
      [&](CNAConvertVariant& v) {
        v.bInitTypeVariant(NA_VAR_BUFFER, slot.data(), 8, ZV_DECIMAL);
        v.SetItemDesc(&decimal, &number);
        v.bSetValueDB("12.5", 4, CP_UTF8);
      },
      [&](CNAConvertVariant& v) { v.InitTypeVariantAny(ZV_VIDE, 0), v.SetItemDesc(nullptr, &text); },
  };
  const struct {
    CAny value;
    INAItemDescription *analysis, *database;
  } typings[] = {
      {FromText(ZV_I4, L"5"), nullptr, nullptr},
      {FromText(ZV_I4, L"9"), nullptr, nullptr},
      {FromText(ZV_I4, L"0", 0x8000), nullptr, nullptr},
      {FromText(ZV_DSTRW, L"x"), nullptr, nullptr},
      {FromText(ZV_I8, L"-42"), &number, nullptr},
      {FromText(ZV_I4, L"3"), &decimal, &number},
      {FromText(ZV_DSTRA, L"ab"), &text, &text},
  };
  auto* driver = new CMySQLDriver();
  driver->ExternalAddRef();
  ASSERT_TRUE(driver->bInitDriver());
  CNAError error;
  CNAError::s_Hold(&error);
  for (size_t life = 0; life < std::size(lives); ++life) {
    for (size_t t = 0; t < std::size(typings); ++t) {
      const auto& typing = typings[t];
      auto type = [&](CNAConvertVariant* v) {
        v->InitTypeVariantAny(typing.value.wGetType(), 0);
        v->SetItemDesc(typing.analysis, typing.database);
        return v->bSetValue(&typing.value);
      };
      CNAConvertVariant* used = driver->pclAllocVariant(&error, &m_cnx);
      used->AddRef();
      lives[life](*used);
      ASSERT_TRUE(driver->bRestartVariant(used, 1, &error, &m_cnx)) << life;
      CNAConvertVariant* fresh = driver->pclAllocVariant(&error, &m_cnx);
      fresh->AddRef();
      EXPECT_EQ(ConverterState(used), ConverterState(fresh)) << "restarted, life " << life;
      EXPECT_EQ(type(used), type(fresh)) << life << " " << t;
      EXPECT_EQ(ConverterState(used), ConverterState(fresh)) << "life " << life << ", typing " << t;
      fresh->nRelease();
      used->nRelease();
    }
  }
  // Restarted keeping its descriptions and typed at once through the typing that names them
  // (its former ones, others or none): as a new one typed the two-step way, and every
  // description held once per converter holding it.
  for (size_t life = 0; life < std::size(lives); ++life) {
    for (size_t t = 0; t < std::size(typings); ++t) {
      const auto& typing = typings[t];
      CNAConvertVariant* used = driver->pclAllocVariant(&error, &m_cnx);
      used->AddRef();
      lives[life](*used);
      ASSERT_TRUE(driver->bRestartVariant(used, 1, &error, &m_cnx, true)) << life;
      used->InitTypeVariantAny(typing.value.wGetType(), typing.analysis, typing.database);
      const BOOL usedSet = used->bSetValue(&typing.value);
      CNAConvertVariant* fresh = driver->pclAllocVariant(&error, &m_cnx);
      fresh->AddRef();
      fresh->InitTypeVariantAny(typing.value.wGetType(), 0);
      fresh->SetItemDesc(typing.analysis, typing.database);
      EXPECT_EQ(usedSet, fresh->bSetValue(&typing.value)) << life << " " << t;
      EXPECT_EQ(ConverterState(used), ConverterState(fresh)) << "kept, life " << life << ", typing " << t;
      for (const CHostItemDescription* item : {&decimal, &number, &text}) {
        const int holders = (item == typing.analysis ? 2 : 0) + (item == typing.database ? 2 : 0);
        EXPECT_EQ(item->nGetRefCount(), holders) << "life " << life << ", typing " << t;
      }
      fresh->nRelease();
      used->nRelease();
      for (const CHostItemDescription* item : {&decimal, &number, &text}) EXPECT_EQ(item->nGetRefCount(), 0) << life;
    }
  }
  // Refused, the converter untouched: held by others too, static, another connection or error.
  CHostConnectionDescription host2;
  CTestCnx other(&host2, 1252, CP_UTF8);
  CNAError otherError;
  CNAError::s_Hold(&otherError);
  const struct {
    unsigned int held;
    bool isStatic;
    CNAConnectionDescription* cnx;
    CNAError* error;
    bool restarted;
  } asks[] = {
      {1, false, &m_cnx, &error, true},  {2, false, &m_cnx, &error, false},  {0, false, &m_cnx, &error, false},
      {1, true, &m_cnx, &error, false},  {1, false, &other, &error, false},  {1, false, &m_cnx, &otherError, false},
      {1, false, &m_cnx, nullptr, false},
  };
  for (const auto& ask : asks) {
    CNAConvertVariant* v = driver->pclAllocVariant(&error, &m_cnx);
    v->AddRef();
    v->SetStatic(ask.isStatic);
    v->InitTypeVariantAny(ZV_I4, 0);
    v->bSetValue(11);
    const std::string before = ConverterState(v);
    EXPECT_EQ(driver->bRestartVariant(v, ask.held, ask.error, ask.cnx) != 0, ask.restarted) << ask.held;
    EXPECT_EQ(ConverterState(v) == before, !ask.restarted) << ask.held;
    v->SetStatic(false);
    v->nRelease();
  }
  driver->nExternalRelease();
}

// A seek's holder renewed in one step for the next value stands as Restart(true), the typing by
// its descriptions and bSetValue leave it, stamp included, after any former life; a value of
// another type, NULL, or descriptions not the holder's are refused, the holder untouched.
TEST_F(Convert, AHolderRenewedInOneStepStandsAsRestartedTypedAndSet) {
  CHostItemDescription i4(L"i", NA_IT_I4, 4), i8(L"n", NA_IT_I8, 8), text(L"t", NA_IT_TEXTE, 12);
  const std::function<void(CNAConvertVariant&)> lives[] = {
      [](CNAConvertVariant&) {},
      [](CNAConvertVariant& v) { v.SetNull(); },
      [](CNAConvertVariant& v) { v.SetNotRead(); },
      [](CNAConvertVariant& v) { v.bChangeItemType(NA_IT_TEXTE, 0); },
      [](CNAConvertVariant& v) { v.bInitTypeVariant(NA_VAR_OWNBUFFER, nullptr, 16, ZV_I4); },
  };
  CAny null = FromText(ZV_I4, L"0");
  null.SetNull(true);
  // The descriptions the holder was typed by, those of the renewal, its value, whether renewed.
  const struct {
    INAItemDescription *analysis, *database, *toAnalysis, *toDatabase;
    CAny value;
    bool renewed;
  } rows[] = {
      {&i4, nullptr, &i4, nullptr, FromText(ZV_I4, L"-7"), true},
      {&i4, &i8, &i4, &i8, FromText(ZV_I4, L"123456"), true},
      {&i8, &i8, &i8, &i8, FromText(ZV_I8, L"-9000000000"), true},
      {&i4, nullptr, &i4, nullptr, FromText(ZV_I8, L"5"), false},
      {&i4, nullptr, &i4, nullptr, null, false},
      {&i4, nullptr, &i8, nullptr, FromText(ZV_I4, L"5"), false},
      {&i4, nullptr, &i4, &i8, FromText(ZV_I4, L"5"), false},
      {&text, nullptr, &text, nullptr, FromText(ZV_DSTRA, L"ab"), false},
  };
  CNAError error;
  CNAError::s_Hold(&error);
  for (size_t life = 0; life < std::size(lives); ++life) {
    for (size_t r = 0; r < std::size(rows); ++r) {
      const auto& row = rows[r];
      const std::string what = "life " + std::to_string(life) + ", row " + std::to_string(r);
      CNAConvertVariant* held[2];
      for (CNAConvertVariant*& v : held) {
        v = new CNAConvertVariant(&error, &m_cnx);
        v->AddRef();
        v->InitTypeVariantAny(row.value.wGetType(), row.analysis, row.database);
        const CAny first = FromText(ConverteItemToZVType(row.analysis->eNAGetItemType()), L"1");
        v->bSetValue(&first);
        lives[life](*v);
      }
      const bool heldAsValue = held[1]->eGetVarType() == NA_VAR_ANY;
      const unsigned int shared = CNAConvertVariant::s_nShapeStampNow();
      const bool renewed = held[1]->bRenewPlainNumber(row.toAnalysis, row.toDatabase, &row.value) != FALSE;
      // Only a buffer may be a row binding's slot: a value held as it is leaves the shared counter.
      if (renewed) {
        EXPECT_EQ(CNAConvertVariant::s_nShapeStampNow() == shared, heldAsValue) << what;
      }
      // Lives that keep the descriptions and type (the first three) are renewed as the row says.
      if (life <= 2) {
        EXPECT_EQ(renewed, row.renewed) << what;
      }
      // Its twin the three-step way, or left as it was.
      if (renewed) {
        held[0]->Restart(true);
        held[0]->InitTypeVariantAny(row.value.wGetType(), row.toAnalysis, row.toDatabase);
        held[0]->bSetValue(&row.value);
      }
      EXPECT_EQ(held[1]->nGetShapeStamp(), held[0]->nGetShapeStamp()) << what;
      EXPECT_EQ(ConverterState(held[1]), ConverterState(held[0])) << what;
      for (CNAConvertVariant* v : held) v->nRelease();
    }
  }
}

// A leaf value's copy renewed in one step for the leaf's next value stands as a restart and a
// copy leave it; one not typed by the same descriptions, or a source not held as it is, is left
// to those two.
TEST_F(Convert, ACopyRenewedInOneStepIsWhatARestartAndACopyLeave) {
  CHostItemDescription decimal(L"dec", NA_IT_DECIMAL, 8), number(L"n", NA_IT_I8, 8), text(L"t", NA_IT_TEXTE, 12);
  decimal.m_nIntegerPart = 10, decimal.m_nDecimalPart = 2;
  auto* driver = new CMySQLDriver();
  driver->ExternalAddRef();
  ASSERT_TRUE(driver->bInitDriver());
  CNAError error;
  CNAError::s_Hold(&error);
  auto make = [&](const CAny& value, INAItemDescription* analysis, INAItemDescription* database, bool null) {
    CNAConvertVariant* v = driver->pclAllocVariant(&error, &m_cnx);
    v->AddRef();
    v->InitTypeVariantAny(value.wGetType(), analysis, database);
    v->bSetValue(&value);
    if (null) v->SetNull();
    return v;
  };
  const struct {
    CAny first, next;
    INAItemDescription *analysis, *database, *keptAnalysis;
    bool nextNull, notRead, renewed;
  } rows[] = {
      {FromText(ZV_I4, L"5"), FromText(ZV_I4, L"12345"), &number, &number, &number, false, false, true},
      {FromText(ZV_I4, L"5"), FromText(ZV_I8, L"-9"), &number, &number, &number, false, false, true},
      {FromText(ZV_I4, L"5"), FromText(ZV_I4, L"7"), &number, &number, &number, true, false, true},
      {FromText(ZV_DSTRW, L"a"), FromText(ZV_DSTRW, L"a text longer than any block kept inline"), &text, &text, &text,
       false, false, true},
      {FromText(ZV_I4, L"3"), FromText(ZV_I4, L"31"), &decimal, &number, &decimal, false, false, true},
      {FromText(ZV_I4, L"3"), FromText(ZV_I4, L"31"), &number, nullptr, &number, false, false, true},
      // Typed by other descriptions, or none: restarted and copied.
      {FromText(ZV_I4, L"3"), FromText(ZV_I4, L"31"), &number, &number, &decimal, false, false, false},
      {FromText(ZV_I4, L"3"), FromText(ZV_I4, L"31"), nullptr, nullptr, nullptr, false, false, false},
      // A value not read yet is no value held.
      {FromText(ZV_I4, L"3"), FromText(ZV_I4, L"31"), &number, &number, &number, false, true, false},
  };
  for (size_t r = 0; r < std::size(rows); ++r) {
    const auto& row = rows[r];
    CNAConvertVariant* source = make(row.first, row.analysis, row.database, false);
    CNAConvertVariant* renewed = driver->pclAllocVariant(&error, &m_cnx);
    CNAConvertVariant* restarted = driver->pclAllocVariant(&error, &m_cnx);
    for (CNAConvertVariant* kept : {renewed, restarted}) {
      kept->AddRef();
      kept->bCopyVariant(source);
      if (row.keptAnalysis != row.analysis) kept->SetItemDesc(row.keptAnalysis, row.database);
    }
    source->nRelease();
    source = make(row.next, row.analysis, row.database, row.nextNull);
    if (row.notRead) source->SetNotRead();
    const std::string before = ConverterState(renewed);
    const unsigned int stamp = renewed->nGetShapeStamp(), shared = CNAConvertVariant::s_nShapeStampNow();
    EXPECT_EQ(renewed->bRenewCopy(source) != 0, row.renewed) << r;
    // A copy renewed is a value held as it is: no row binding's slot, the shared counter stays.
    EXPECT_EQ(CNAConvertVariant::s_nShapeStampNow(), shared) << r;
    if (row.renewed) {
      restarted->Restart(true);
      restarted->bCopyVariant(source);
      EXPECT_EQ(ConverterState(renewed), ConverterState(restarted)) << r;
      EXPECT_NE(renewed->nGetShapeStamp(), stamp) << r;
    } else {
      EXPECT_EQ(ConverterState(renewed), before) << r;
      EXPECT_EQ(renewed->nGetShapeStamp(), stamp) << r;
    }
    for (CNAConvertVariant* v : {source, renewed, restarted}) v->nRelease();
    for (const CHostItemDescription* item : {&decimal, &number, &text}) EXPECT_EQ(item->nGetRefCount(), 0) << r;
  }
  driver->nExternalRelease();
}

}  // namespace
