// A slot's row writer against the road every server text of a result column takes otherwise:
// for every item, page pair and text, the writer either leaves the text to that road or writes
// the bytes, data size, NULL state and error that road gives on a converter that never takes a
// slot's road.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sql/naservertext.h"
#include "tests/sql/convert_test_util.h"
#include "values/idecimal.h"

namespace {

class RowWriters : public AnyTest {};

// A converter ready for server values, for an item of the given type (a decimal's digits): on a
// record slot (kind 3), or on a buffer of its own (kind 5), which never takes a slot's road.
struct ServerSlot {
  ServerSlot(CNAConnectionDescription* cnx, eNA_ITEMTYPE type, unsigned int size, int integer, int decimals,
             eNAVARTYPE kind = NA_VAR_BUFFER)
      : item(L"col", type, size), bytes(size, 0xEE), conv(&error, cnx) {
    CNAError::s_Hold(&error);
    conv.SetStatic(true);
    item.m_nIntegerPart = integer;
    item.m_nDecimalPart = decimals;
    EXPECT_TRUE(conv.bInitTypeVariant(kind, bytes.data(), size, ConverteItemToZVType(type)));
    conv.SetItemDesc(&item, nullptr);
    EXPECT_TRUE(conv.bInitBufferDB());
  }
  const uint8_t* Data() const { return static_cast<const uint8_t*>(conv.pGetData()); }
  ~ServerSlot() { conv.ResetVariant(); }
  std::wstring Raised() const {
    return error.nGetUserErrorCode() == 0 ? L"" : std::to_wstring(error.nGetUserErrorCode());
  }
  // What the value's road without writers leaves: answer, bytes, data size, NULL, error.
  std::string State(BOOL ok) const {
    std::string s = ok ? "ok" : "refused";
    char hex[4];
    s += " [";
    for (unsigned int i = 0; i < bytes.size(); ++i) snprintf(hex, sizeof hex, "%02X", Data()[i]), s += hex;
    s += "] size " + std::to_string(conv.nGetUtilDataSize()) + (conv.bIsNull() ? " null" : "") + " error " +
         std::to_string(error.nGetUserErrorCode());
    return s;
  }
  void Clear() {
    memset(const_cast<uint8_t*>(Data()), 0xEE, bytes.size());
    error.Reset();
  }
  CHostItemDescription item;
  Bytes bytes;
  CNAError error;
  CNAConvertVariant conv;
};

// The road of a text without a writer: the server's date-time form first for such a column, a
// date of ten characters as its digits.
BOOL GeneralRoad(CNAConvertVariant* conv, CNAConvertVariant::eNAROWTEXT form, const std::string& text, int server) {
  const auto n = static_cast<unsigned int>(text.size());
  if (form == CNAConvertVariant::NA_ROWTEXT_DATETIME && conv->bSetServerDateTimeDB(text.data(), n)) return TRUE;
  if (form == CNAConvertVariant::NA_ROWTEXT_DATE && n == 10) {
    std::string digits = text;
    std::erase(digits, '-');
    return conv->bSetValueDB(digits.data(), static_cast<unsigned int>(digits.size()), static_cast<unsigned int>(server));
  }
  return conv->bSetValueDB(text.data(), n, static_cast<unsigned int>(server));
}

// A row's run whose ends note where it stopped and whether it asked for its texts to be noted.
struct TestRun : CNAConvertVariant::STRowRun {
  const CNAConvertVariant::STRowSlot* pStop = nullptr;
  bool bNoted = false;
};

BOOL RunStopped(const CNAConvertVariant::STRowRun* run, const CNAConvertVariant::STRowSlot* p, uint64_t) {
  const_cast<TestRun*>(static_cast<const TestRun*>(run))->pStop = p;
  return TRUE;
}

BOOL RunNoted(const CNAConvertVariant::STRowRun* run, const CNAConvertVariant::STRowSlot*, uint64_t) {
  const_cast<TestRun*>(static_cast<const TestRun*>(run))->bNoted = true;
  return TRUE;
}

// The run of slots [first, last), their steps noted (each with a run's step), its flag word the
// eight bytes at flags; a row whose held bits miss heldMask asks for its texts. pStop: last when
// the run ended the row.
TestRun RunRow(CNAConvertVariant::STRowSlot* first, CNAConvertVariant::STRowSlot* last, const char* const* texts,
               const unsigned long* lengths, uint64_t* flags, uint64_t heldMask) {
  TestRun run;
  run.ppTexts = texts;
  run.pnLengths = lengths;
  run.pbyFlags = reinterpret_cast<BYTE*>(flags);
  run.bFlagWord8 = true;
  run.nHeldMask = run.nHeldWant = heldMask;
  run.pfnStopped = &RunStopped;
  run.pfnNoted = &RunNoted;
  for (CNAConvertVariant::STRowSlot* p = first; p != last; ++p) {
    run.nAllBits |= p->nDefinedBit;
    p->pfnStep = CNAConvertVariant::s_pfnRowStep(*p, p + 1 == last);
  }
  run.pStop = last;
  EXPECT_TRUE(first->pfnStep(&run, first, 0));
  return run;
}

// A text slot's writer asked whether it held the text: never yes where the server-text check
// finds the slot otherwise; yes for the usual key, ASCII with room to spare, and from UTF-8 into
// 1252 for Latin-1 letters too.
void ExpectExactOnlyWhenHeld(const CNAConvertVariant::STRowSlot& slot, eNA_ITEMTYPE type, unsigned int size,
                             const std::string& text, int server, int hostCp) {
  using F = CNAConvertVariant;
  F::STRowSlot asked = slot;
  asked.nDefinedBit = 1;
  asked.bAskHeld = true;
  const char* texts[1] = {text.data()};
  const unsigned long lengths[1] = {text.size()};
  uint64_t defined = 0, nulls = 0;
  F::s_nWriteRow(&asked, 0, 1, texts, lengths, &defined, &nulls);
  const bool exact = asked.bHeld;
  // The bound road, its step noted, gives the same answer as a bit of its own.
  F::s_NoteStep(&asked);
  uint64_t held = 0;
  nulls = 0;
  const F::STRowSlot* at = F::s_pWriteRowStepped(&asked, &asked + 1, texts, lengths, &nulls, &held);
  EXPECT_EQ(held, at != &asked && asked.bHeld ? 1u : 0u) << text;
  EXPECT_EQ(asked.bHeld, exact) << text;
  // So does the row's run, where the step has one: it ends the row with nothing to note only for
  // a text held.
  if (F::s_pfnRowStep(asked, true) != nullptr) {
    uint64_t flags = 0;
    const TestRun run = RunRow(&asked, &asked + 1, texts, lengths, &flags, 1);
    EXPECT_EQ(run.pStop == &asked + 1 && !run.bNoted, at != &asked && asked.bHeld) << text;
    EXPECT_EQ(flags, run.pStop == &asked + 1 ? 1u : 0u) << text;
    EXPECT_EQ(asked.bHeld, exact) << text;
  }
  STServerTextCheck check;
  check.eKind = NA_SERVERTEXT_TEXT;
  check.eItem = type;
  check.nOffset = 0;
  check.nSlotSize = size;
  check.nServerPage = server;
  check.nHostPage = hostCp;
  const std::string where = "item " + std::to_string(type) + " size " + std::to_string(size) + " pages " +
                            std::to_string(server) + "/" + std::to_string(hostCp) + " text <" + text + ">";
  if (exact) {
    EXPECT_NE(defined, 0u) << where;
    EXPECT_EQ(g_nServerTextHeld(check, slot.pbySlot, size, text.data(), text.size()), 1) << where;
  }
  const bool ascii = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c > 0; });
  const size_t room = type == NA_IT_UNICODE ? size / 2 - 1 : size - 1;
  if (ascii && text.size() + (type == NA_IT_UNICODE ? 2 : 0) <= room) {
    EXPECT_TRUE(exact) << where;
  }
  const bool latin1 = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0xC4; });
  if (slot.eKind == F::NA_ROWSLOT_UTF8_1252 && !text.empty() && latin1 &&
      g_nServerTextHeld(check, slot.pbySlot, size, text.data(), text.size()) == 1) {
    EXPECT_TRUE(exact) << where;
  }
}

TEST_F(RowWriters, WrittenValuesAreThoseOfTheGeneralRoad) {
  using F = CNAConvertVariant;
  const struct {
    eNA_ITEMTYPE type;
    unsigned int size;
    int integer, decimals;
    F::eNAROWTEXT form;
    // Which (server, host) pages have a writer: 'a' all, 'u' a UTF-8 server only, '-' none.
    char writer;
  } kItems[] = {
      {NA_IT_I4, 4, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_I8, 8, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_UI1, 1, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_I2, 2, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_UI8, 8, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      // A signed byte, and integer slots wider than their value.
      {NA_IT_I1, 1, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_I2, 4, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_I4, 8, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_MONETAIRE, 10, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_R8, 8, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_R4, 4, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_R8, 10, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_DECIMAL, 24, 10, 2, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_DECIMAL, 24, 14, 4, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_DECIMAL, 24, 2, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_DECIMAL, 24, 30, 8, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_DECIMAL, 16, 32, 6, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_DECIMAL, 24, 18, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_DECIMAL, 24, 0, 18, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_DECIMAL, 24, 1, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_DECIMAL, 24, 0, 2, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_DECIMAL, 24, 9, 9, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_DATETIME, 8, 0, 0, F::NA_ROWTEXT_DATETIME, 'a'},
      {NA_IT_DATETIME, 8, 0, 0, F::NA_ROWTEXT_DB, '-'},
      {NA_IT_DATE8, 9, 0, 0, F::NA_ROWTEXT_DB, '-'},
      {NA_IT_DATE8, 9, 0, 0, F::NA_ROWTEXT_DATE, 'a'},
      {NA_IT_DATE8, 5, 0, 0, F::NA_ROWTEXT_DATE, 'a'},
      {NA_IT_DATE8, 12, 0, 0, F::NA_ROWTEXT_DATE, 'a'},
      {NA_IT_DATETIME, 8, 0, 0, F::NA_ROWTEXT_DATE, '-'},
      {NA_IT_TEXTE, 11, 0, 0, F::NA_ROWTEXT_DATE, '-'},
      {NA_IT_HEURE, 7, 0, 0, F::NA_ROWTEXT_DB, '-'},
      {NA_IT_TEXTE, 6, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_TEXTE, 2, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      // Short texts into small slots are written by words of the slot's own size.
      {NA_IT_TEXTE, 3, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_TEXTE, 7, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_TEXTE, 8, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_TEXTE, 15, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_TEXTE, 4, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_TEXTE, 5, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_TEXTE, 101, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_TEXTE, 9, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_TEXTE, 16, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_TEXTE, 17, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_TEXTE, 18, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_TEXTE, 33, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_TEXTE, 34, 0, 0, F::NA_ROWTEXT_DB, 'a'},
      {NA_IT_TEXTE, 101, 0, 0, F::NA_ROWTEXT_DATETIME, '-'},
      {NA_IT_UNICODE, 12, 0, 0, F::NA_ROWTEXT_DB, 'u'},
      {NA_IT_UNICODE, 34, 0, 0, F::NA_ROWTEXT_DB, 'u'},
      {NA_IT_UNICODE, 66, 0, 0, F::NA_ROWTEXT_DB, 'u'},
      // Around the slots whose zeros a short text's stores leave to two, four or any stores.
      {NA_IT_UNICODE, 32, 0, 0, F::NA_ROWTEXT_DB, 'u'},
      {NA_IT_UNICODE, 36, 0, 0, F::NA_ROWTEXT_DB, 'u'},
      {NA_IT_UNICODE, 64, 0, 0, F::NA_ROWTEXT_DB, 'u'},
      {NA_IT_UNICODE, 96, 0, 0, F::NA_ROWTEXT_DB, 'u'},
      {NA_IT_UNICODE, 98, 0, 0, F::NA_ROWTEXT_DB, 'u'},
      {NA_IT_UNICODE, 4, 0, 0, F::NA_ROWTEXT_DB, '-'},
      {NA_IT_BINAIRE, 10, 0, 0, F::NA_ROWTEXT_DB, '-'},
      {NA_IT_I4, 4, 0, 0, F::NA_ROWTEXT_OTHER, '-'},
  };
  // Server texts of every column kind, each taken by every item: limits, texts that are no
  // number or date, and texts longer than the slots.
  const std::vector<std::string> kCommon = {
      "0", "-0", "1", "-1", "127", "-128", "255", "256", "32767", "-32768", "2147483647", "-2147483648",
      "2147483648", "4294967295", "9223372036854775807", "-9223372036854775808", "9223372036854775808",
      "18446744073709551615", "18446744073709551616", "00042", "+5", " 5", "1e3", "12.5", "-12.50", "0.00",
      "-0.01", "99999999.99", "9999999999.99", "-9999999999.99", "10000000000.00", "12.345", ".5", "5.", "-", "",
      "1..5", "1.5.", "-.5", "99999999999999.9999", "99999999999999999.9999", "999999999999999999.99",
      "18446744073709551616.5", "18446744073709551.616", "18446744073709551.6170", "0.99999999",
      "00000000000000000000000001.5", "-000000000000000000000.25",
      "2024-02-29 23:59:59", "2023-02-29 00:00:00", "0000-00-00 00:00:00", "1000-01-01 00:00:00",
      "9999-12-31 23:59:59", "2024-01-01 24:00:00", "2024-01-01 10:00:00.5", "2024-01-01", "20240101 10:00:00",
      "838:59:59", "-12:00:00", "abc", std::string(40, 'x'), "quote ' and \\ backslash", std::string("a\0b", 3),
      std::string("abcdefghijklmnopqrst\0uv", 23)};
  const std::vector<std::string> kUtf8 = {"\xC3\xA9", "abcd\xC3\xA9", "abcde\xC3\xA9", "\xE2\x82\xAC",
                                          "\xCE\xA9", "\xF0\x9F\x98\x80", "\xC3", "\xFF", "abcd\xE2\x82\xAC",
                                          "\xC2\xA0\xC2\xBF\xC3\x80\xC3\xBF", "ab\xC2\x85" "cd",
                                          "ab\xED\xA0\x80" "cd", "ab\xE0\x9F\xBF", "\xE0\xA0\x80", "\xC1\xBF",
                                          "abcdefg\xF0\x9F\x98\x80", "\xED\x9F\xBF\xC3\xA9", "abc\xC3",
                                          // Words of two-byte letters, runs of four-byte characters.
                                          "\xCE\xB3\xCE\xAC\xCE\xBC \xCE\xBC\xCE\xB9 \xCE\xBE\xCE\xB9\xC1\xBF",
                                          "\xF0\x9D\x94\x98\xF0\x9D\x94\xAB\xF0\x9D\x94\xA6 \xF0\x9F\x80\x84"};
  const std::vector<std::string> k1252 = {"\xE9", "abcd\xE9", "\x80", "\x81\x8D\x8F\x90\x9D", "\xFF\xA0"};
  // Around the steps of sixteen and eight bytes the texts are read in: ASCII runs of every
  // length, and a character of each kind at every position of one.
  const std::string ascii = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEF";
  std::vector<std::string> runs;
  for (size_t n = 1; n <= 41; ++n) runs.push_back(ascii.substr(0, n));
  for (size_t at = 0; at <= 41; ++at)
    for (const char* c : {"\xC3\xA9", "\xE2\x82\xAC", "\xC2\xA0", "\xFF", "\xC3", "\x80"})
      runs.push_back(ascii.substr(0, at) + c + std::string("rstuvwxyz").substr(0, at % 9) +
                     (at % 3 == 0 ? std::string("\xC3\xA9") + ascii.substr(0, at / 2) : std::string()));
  // Texts of 14 to 16 bytes with one two-byte character (its edges, and byte pairs that are
  // none) at every place: the longest a short step reads, a unit short of and at its slots' room.
  for (size_t n = 14; n <= 16; ++n)
    for (size_t at = 0; at + 2 <= n; ++at)
      for (const char* c : {"\xC3\xA9", "\xC2\x80", "\xDF\xBF", "\xC1\xBF", "\xC3\x41", "\xC3\xC3"})
        runs.push_back(ascii.substr(0, at) + c + ascii.substr(at, n - at - 2));
  // A NUL first, in the middle and last of every length the NUL scan steps through.
  for (size_t n = 1; n <= 41; ++n)
    for (const size_t at : {size_t{0}, n / 2, n - 1}) runs.push_back(ascii.substr(0, n).replace(at, 1, 1, '\0'));
  // The limits of the numbers read a digit at a time: 9 and 10 digits, 16 and 17, decimals at
  // and past each scale, integer digits at and past each precision. Integers of four to eight
  // digits are read by the word: those lengths, with the bytes beside the digits ('/' and ':') at
  // their first, middle and last places.
  const std::vector<std::string> numbers = {
      "1234", "-1234", "99999999", "-99999999", "12345678", "00001234", "-0000009", "/234", "123/", "12:4",
      "1234567:", "-12/45678", "123\xB4", "1\xB1" "34567",
      "999999999", "-999999999", "1000000000", "-1000000000", "4294967296", "-4294967296", "9999999999999999",
      "-9999999999999999", "10000000000000000", "0000000000000001", "00000000000000001", "-0000000000000000",
      "9", "-9", "10", "99", "100", "0.1", "0.12", "0.123", "-0.99", "9.9", "99.99", "999999999.999999999",
      "0.999999999", "0.9999999999", "999999999999999999", "-999999999999999999", "9999999999999999.99",
      "0.999999999999999999", "0.9999999999999999999", "1.000000000000000000", "12345678.25", "-1.2.3", "1.-5",
      "1e5", ".", "-.", "0x10", "\t5", "5 "};
  // Date-times of the server's form that are no date-time, or the server's empty one.
  const std::vector<std::string> dates = {
      "2024-13-01 00:00:00", "2024-00-10 00:00:00", "2024-01-00 12:00:00", "2024-02-30 00:00:00",
      "2024-04-31 00:00:00", "2100-02-29 00:00:00", "2000-02-29 00:00:00", "2024-01-01 23:60:00",
      "2024-01-01 23:59:60", "2024-01-01T10:00:00", "2024/01/01 10:00:00", "2024-01-01 10:00:0a",
      "2024-01-01 10-00-00", "2024-1-01 10:00:00 ", "0000-00-00 00:00:01", "9999-12-31 23:59:59",
      // Dates of a DATE column, and texts of its length that are none.
      "2024-02-29", "2023-02-29", "2100-02-29", "2000-02-29", "0000-00-00", "0000-01-01", "0000-02-29",
      "0001-01-01", "9999-12-31", "2024-13-01", "2024-00-10", "2024-01-00", "2024-04-31", "2024-01-32",
      "2024-1-010", "2024/01/01", "2024-01-0a", "2024-01--1", "-024-01-01", "2024 01 01", "20240101"};
  CHostConnectionDescription host;
  for (const int server : {CP_UTF8, 1252}) {
    for (const int hostCp : {1252, CP_UTF8}) {
      CTestCnx cnx(&host, hostCp, server);
      std::vector<std::string> texts = kCommon;
      for (const std::vector<std::string>* more : {&std::as_const(runs), &numbers, &dates})
        texts.insert(texts.end(), more->begin(), more->end());
      const auto& own = server == CP_UTF8 ? kUtf8 : k1252;
      texts.insert(texts.end(), own.begin(), own.end());
      for (const auto& it : kItems) {
        ServerSlot fast(&cnx, it.type, it.size, it.integer, it.decimals);
        ServerSlot general(&cnx, it.type, it.size, it.integer, it.decimals, NA_VAR_OWNBUFFER);
        F::STRowSlot slot;
        fast.conv.GetRowSlot(it.form, &cnx, &slot);
        const bool writer = slot.eKind != F::NA_ROWSLOT_NONE;
        const bool expected = it.writer == 'a' || (it.writer == 'u' && server == CP_UTF8);
        EXPECT_EQ(writer, expected)
            << "item " << it.type << " size " << it.size << " form " << it.form << " pages " << server << "/" << hostCp;
        // A text slot asked whether it held its text writes the same bytes.
        for (const bool ask : {false, true}) {
          if (ask && slot.eKind < F::NA_ROWSLOT_UTF16) continue;
          slot.bAskHeld = ask;
          for (const std::string& text : texts) {
            fast.Clear();
            general.Clear();
            const auto n = static_cast<unsigned int>(text.size());
            const bool written = writer && F::s_bWriteRowSlot(slot, text.data(), n);
            const BOOL ok = written ? TRUE : GeneralRoad(&fast.conv, it.form, text, server);
            const BOOL okGeneral = GeneralRoad(&general.conv, it.form, text, server);
            EXPECT_EQ(fast.State(ok), general.State(okGeneral))
                << "item " << it.type << " size " << it.size << " form " << it.form << " pages " << server << "/"
                << hostCp << " text <" << text << ">" << (written ? " written" : "") << (ask ? " asked" : "");
            if (!ask && slot.eKind >= F::NA_ROWSLOT_UTF16)
              ExpectExactOnlyWhenHeld(slot, it.type, it.size, text, server, hostCp);
          }
        }
      }
    }
  }
}

// One row through s_nWriteRow: it writes slot after slot what each slot's own writer writes, and
// stops at the first slot it does not finish, saying whether that one was written.
TEST_F(RowWriters, ARowStopsAtTheFirstSlotItDoesNotFinish) {
  using F = CNAConvertVariant;
  CHostConnectionDescription host;
  CTestCnx cnx(&host, 1252, CP_UTF8);
  CHostItemDescription other(L"other", NA_IT_I4, 4);
  constexpr unsigned int kNone = ~0u;
  const struct {
    const char* name;
    std::vector<const char*> texts;  // by slot: I4, TEXTE 101, DECIMAL 10/2, DATETIME, I8
    unsigned int from;
    unsigned int noBit;    // the slot given no defined bit (kNone: every slot has one)
    unsigned int noKind;   // the slot bound with no step
    unsigned int changed;  // the slot whose converter changes after binding
    unsigned int stop;     // what s_nWriteRow returns
    bool nullInRow = false;  // every slot clears itself for a NULL
  } kRows[] = {
      {"every slot written", {"12", "note", "1.25", "2024-01-02 03:04:05", "-7"}, 0, kNone, kNone, kNone, 5},
      {"from the third", {"x", "x", "1.25", "2024-01-02 03:04:05", "-7"}, 2, kNone, kNone, kNone, 5},
      {"a NULL", {"12", "note", nullptr, "2024-01-02 03:04:05", "-7"}, 0, kNone, kNone, kNone, 2},
      {"NULLs cleared", {"12", nullptr, nullptr, "2024-01-02 03:04:05", nullptr}, 0, kNone, kNone, kNone, 5, true},
      {"a NULL without its bit", {"12", nullptr, "1.25", "2024-01-02 03:04:05", "-7"}, 0, 1, kNone, kNone, 1, true},
      {"a NULL of a changed converter", {"12", "x", "1.25", nullptr, "-7"}, 0, kNone, kNone, 3, 3, true},
      {"a refused text", {"1e3", "note", "1.25", "2024-01-02 03:04:05", "-7"}, 0, kNone, kNone, kNone, 0},
      {"an empty text", {"12", "", "1.25", "2024-01-02 03:04:05", "-7"}, 0, kNone, kNone, kNone, 1},
      {"a bad date", {"12", "note", "1.25", "2024-02-30 03:04:05", "-7"}, 0, kNone, kNone, kNone, 3},
      {"a slot without its bit", {"12", "note", "1.25", "2024-01-02 03:04:05", "-7"}, 0, 1, kNone, kNone,
       1 | F::kRowWritten},
      {"a slot without a step", {"12", "note", "1.25", "2024-01-02 03:04:05", "-7"}, 0, kNone, 3, kNone, 3},
      {"a converter changed", {"12", "note", "1.25", "2024-01-02 03:04:05", "-7"}, 0, kNone, kNone, 4, 4},
  };
  const struct {
    eNA_ITEMTYPE type;
    unsigned int size;
    int integer, decimals;
    F::eNAROWTEXT form;
  } kSlots[] = {{NA_IT_I4, 4, 0, 0, F::NA_ROWTEXT_DB},
                {NA_IT_TEXTE, 101, 0, 0, F::NA_ROWTEXT_DB},
                {NA_IT_DECIMAL, 24, 8, 2, F::NA_ROWTEXT_DB},
                {NA_IT_DATETIME, 8, 0, 0, F::NA_ROWTEXT_DATETIME},
                {NA_IT_I8, 8, 0, 0, F::NA_ROWTEXT_DB}};
  constexpr unsigned int kCount = 5;
  for (const auto& row : kRows) {
    std::vector<std::unique_ptr<ServerSlot>> fast, general;
    std::vector<F::STRowSlot> slots(kCount);
    std::vector<unsigned long> lengths(kCount);
    for (unsigned int i = 0; i < kCount; ++i) {
      const auto& k = kSlots[i];
      fast.push_back(std::make_unique<ServerSlot>(&cnx, k.type, k.size, k.integer, k.decimals));
      general.push_back(std::make_unique<ServerSlot>(&cnx, k.type, k.size, k.integer, k.decimals, NA_VAR_OWNBUFFER));
      // Slot i takes column kCount - 1 - i, its bit the i-th.
      slots[i].nColumn = kCount - 1 - i;
      slots[i].nDefinedBit = i == row.noBit ? 0 : 1ULL << (9 * i);
      fast[i]->conv.GetRowSlot(i == row.noKind ? F::NA_ROWTEXT_OTHER : k.form, &cnx, &slots[i]);
      ASSERT_EQ(slots[i].eKind == F::NA_ROWSLOT_NONE, i == row.noKind) << row.name << " slot " << i;
      slots[i].bNullInRow = row.nullInRow && slots[i].nDefinedBit != 0;
      if (i == row.changed) fast[i]->conv.SetItemDesc(&other, nullptr);
      fast[i]->Clear();
    }
    std::vector<const char*> texts(kCount);
    for (unsigned int i = 0; i < kCount; ++i) {
      texts[slots[i].nColumn] = row.texts[i];
      lengths[slots[i].nColumn] = row.texts[i] != nullptr ? strlen(row.texts[i]) : 0;
    }
    uint64_t defined = 0, nulls = 0;
    const unsigned int stop =
        F::s_nWriteRow(slots.data(), row.from, kCount, texts.data(), lengths.data(), &defined, &nulls);
    EXPECT_EQ(stop, row.stop) << row.name;
    const unsigned int end = stop & ~F::kRowWritten, written = (stop & F::kRowWritten) != 0 ? end + 1 : end;
    uint64_t expected = 0, expectedNulls = 0;
    for (unsigned int i = 0; i < kCount; ++i) {
      if (i >= row.from && i < written && row.texts[i] == nullptr) {
        // As SetNull leaves the slot.
        general[i]->conv.SetNull();
        EXPECT_EQ(fast[i]->State(TRUE), general[i]->State(TRUE)) << row.name << " slot " << i;
        expectedNulls |= slots[i].nDefinedBit;
      } else if (i >= row.from && i < written) {
        const std::string text = row.texts[i];
        const BOOL ok = GeneralRoad(&general[i]->conv, kSlots[i].form, text, CP_UTF8);
        EXPECT_EQ(fast[i]->State(TRUE), general[i]->State(ok)) << row.name << " slot " << i;
        if (i < end) expected |= slots[i].nDefinedBit;
      } else {
        // Untouched: the bytes the test left there.
        EXPECT_EQ(fast[i]->Data()[0], 0xEE) << row.name << " slot " << i;
      }
    }
    EXPECT_EQ(defined, expected) << row.name;
    EXPECT_EQ(nulls, expectedNulls) << row.name;
    // A bound row's road (every slot with a step and a bit, no converter changed) stops at the
    // same slot with the same bits; writing the row again leaves the slots as they are.
    if (row.noBit == kNone && row.noKind == kNone && row.changed == kNone) {
      uint64_t steppedDefined = 0, steppedNulls = 0, held = 0;
      const F::STRowSlot* at = F::s_pWriteRowStepped(slots.data() + row.from, slots.data() + kCount, texts.data(),
                                                     lengths.data(), &steppedNulls, &held);
      EXPECT_EQ(static_cast<unsigned int>(at - slots.data()), stop) << row.name;
      // Its defined bits are the caller's: the slots' before the stop, but the cleared ones.
      for (const F::STRowSlot* p = slots.data() + row.from; p != at; ++p) steppedDefined |= p->nDefinedBit;
      EXPECT_EQ(steppedDefined & ~steppedNulls, defined) << row.name;
      EXPECT_EQ(steppedNulls, nulls) << row.name;
      // No slot was asked.
      EXPECT_EQ(held, 0u) << row.name;
    }
  }
}

// A row's run writes what each slot's own writer writes, up to the first slot whose text it does
// not take (a NULL, a refused text), where it hands the row on; it sets the slots' bits in the
// flag word only for a row it ends.
TEST_F(RowWriters, ARowsRunWritesWhatEachWriterWrites) {
  using F = CNAConvertVariant;
  CHostConnectionDescription host;
  CTestCnx cnx(&host, 1252, CP_UTF8);
  const struct {
    const char* name;
    std::vector<const char*> texts;  // by slot: I1, I2, I4, I8
    unsigned int stop;               // the slot the run hands on (4: it ended the row)
  } kRows[] = {
      {"every slot", {"-7", "-300", "123456", "-9000000000"}, 4},
      {"limits", {"127", "32767", "-2147483648", "9223372036854775807"}, 3},  // past 16 digits: the loop's
      {"few and many digits", {"0", "12", "1234", "1234567890123456"}, 4},
      {"a NULL", {"1", nullptr, "3", "4"}, 1},
      {"out of range", {"128", "2", "3", "4"}, 0},
      {"a refused text", {"1", "2", "1e3", "4"}, 2},
      {"an empty text", {"1", "2", "3", ""}, 3},
      {"a sign alone", {"-", "2", "3", "4"}, 0},
  };
  const eNA_ITEMTYPE kTypes[] = {NA_IT_I1, NA_IT_I2, NA_IT_I4, NA_IT_I8};
  constexpr unsigned int kCount = 4;
  for (const auto& row : kRows) {
    std::vector<std::unique_ptr<ServerSlot>> fast, general;
    std::vector<F::STRowSlot> slots(kCount);
    std::vector<unsigned long> lengths(kCount);
    for (unsigned int i = 0; i < kCount; ++i) {
      const unsigned int size = 1u << i;
      fast.push_back(std::make_unique<ServerSlot>(&cnx, kTypes[i], size, 0, 0));
      general.push_back(std::make_unique<ServerSlot>(&cnx, kTypes[i], size, 0, 0, NA_VAR_OWNBUFFER));
      fast[i]->conv.GetRowSlot(F::NA_ROWTEXT_DB, &cnx, &slots[i]);
      slots[i].nColumn = i;
      slots[i].nDefinedBit = 1ULL << i;
      ASSERT_NE(F::s_pfnRowStep(slots[i], false), nullptr) << row.name << " slot " << i;
      fast[i]->Clear();
      lengths[i] = row.texts[i] != nullptr ? strlen(row.texts[i]) : 0;
    }
    uint64_t flags = 0;
    const TestRun run = RunRow(slots.data(), slots.data() + kCount, row.texts.data(), lengths.data(), &flags, 0);
    EXPECT_EQ(static_cast<unsigned int>(run.pStop - slots.data()), row.stop) << row.name;
    EXPECT_EQ(flags, row.stop == kCount ? 0xFu : 0u) << row.name;
    EXPECT_FALSE(run.bNoted) << row.name;
    for (unsigned int i = 0; i < kCount; ++i) {
      if (i < row.stop) {
        const BOOL ok = GeneralRoad(&general[i]->conv, F::NA_ROWTEXT_DB, row.texts[i], CP_UTF8);
        EXPECT_EQ(fast[i]->State(TRUE), general[i]->State(ok)) << row.name << " slot " << i;
      } else {
        EXPECT_EQ(fast[i]->Data()[0], 0xEE) << row.name << " slot " << i;
      }
    }
  }
}

// A NULL clears a slot that is its record's element as SetNull clears it, and nothing else: not
// without bNullInRow, not once its converter changed.
TEST_F(RowWriters, NullOfASlotClearsItAsSetNullDoes) {
  using F = CNAConvertVariant;
  CHostConnectionDescription host;
  CTestCnx cnx(&host, 1252, CP_UTF8);
  CHostItemDescription other(L"other", NA_IT_I4, 4);
  const struct {
    eNA_ITEMTYPE type;
    unsigned int size;
    int integer, decimals;
    F::eNAROWTEXT form;
    const char* value;  // held before the NULL
  } kItems[] = {{NA_IT_I4, 4, 0, 0, F::NA_ROWTEXT_DB, "12"},
                {NA_IT_TEXTE, 101, 0, 0, F::NA_ROWTEXT_DB, "note"},
                {NA_IT_UNICODE, 162, 0, 0, F::NA_ROWTEXT_DB, "note"},
                {NA_IT_DECIMAL, 16, 32, 6, F::NA_ROWTEXT_DB, "1.25"},
                {NA_IT_DATETIME, 8, 0, 0, F::NA_ROWTEXT_DATETIME, "2024-01-02 03:04:05"},
                {NA_IT_DATE8, 9, 0, 0, F::NA_ROWTEXT_DATE, "20240102"},
                {NA_IT_R8, 8, 0, 0, F::NA_ROWTEXT_DB, "1.5"}};
  for (const auto& it : kItems) {
    for (const char* when : {"clears", "no bNullInRow", "converter changed"}) {
      const std::string shown = std::to_string(it.type) + " " + when;
      ServerSlot fast(&cnx, it.type, it.size, it.integer, it.decimals);
      ServerSlot general(&cnx, it.type, it.size, it.integer, it.decimals, NA_VAR_OWNBUFFER);
      F::STRowSlot slot;
      fast.conv.GetRowSlot(it.form, &cnx, &slot);
      ASSERT_NE(slot.eKind, F::NA_ROWSLOT_NONE) << shown;
      slot.bNullInRow = when[0] != 'n';
      const bool clears = when[0] == 'c' && when[1] == 'l';
      for (ServerSlot* v : {&fast, &general})
        ASSERT_TRUE(v->conv.bSetValueDB(it.value, static_cast<unsigned int>(strlen(it.value)), CP_UTF8)) << shown;
      if (when[0] == 'c' && when[1] == 'o') fast.conv.SetItemDesc(&other, nullptr);
      fast.Clear();
      general.Clear();
      EXPECT_EQ(F::s_bNullRowSlot(slot), clears) << shown;
      if (clears) {
        general.conv.SetNull();
        EXPECT_EQ(fast.State(TRUE), general.State(TRUE)) << shown;
      } else {
        EXPECT_EQ(fast.Data()[0], 0xEE) << shown;
      }
    }
  }
}

// A text slot's bytes after its text are cleared in steps of eight, sixteen or thirty-two bytes
// or at once: every tail length around those steps, over a slot full of other bytes, ends as
// the general road leaves it.
TEST_F(RowWriters, TextTailsAreClearedAtEveryLength) {
  using F = CNAConvertVariant;
  CHostConnectionDescription host;
  CTestCnx cnx(&host, 1252, CP_UTF8);
  // Asked slots write their short texts with the zeros after them in a few stores of their own.
  for (const eNA_ITEMTYPE type : {NA_IT_TEXTE, NA_IT_UNICODE}) {
    for (const bool ask : {false, true}) {
      for (const unsigned int size : {2u, 3u, 4u, 5u, 7u, 8u, 9u, 15u, 16u, 17u, 32u, 33u, 34u, 35u, 48u, 49u, 64u,
                                      65u, 66u, 80u, 95u, 96u, 97u, 98u, 129u, 130u, 131u, 200u, 256u, 257u, 258u,
                                      259u, 300u, 322u}) {
        // A UTF-16 slot has a writer past two wide characters.
        if (type == NA_IT_UNICODE && size <= 8) continue;
        ServerSlot fast(&cnx, type, size, 0, 0);
        ServerSlot general(&cnx, type, size, 0, 0, NA_VAR_OWNBUFFER);
        F::STRowSlot slot;
        fast.conv.GetRowSlot(F::NA_ROWTEXT_DB, &cnx, &slot);
        ASSERT_NE(slot.eKind, F::NA_ROWSLOT_NONE) << "size " << size;
        slot.bAskHeld = ask;
        // The bound road's step, chosen by the slot's size, writes the same bytes and answer.
        F::STRowSlot noted = slot;
        noted.nDefinedBit = 1;
        F::s_NoteStep(&noted);
        for (unsigned int n = 1; n < size; ++n) {
          const std::string text(n, static_cast<char>('a' + n % 26));
          fast.Clear();
          general.Clear();
          const BOOL ok = F::s_bWriteRowSlot(slot, text.data(), n);
          const std::string state = general.State(GeneralRoad(&general.conv, F::NA_ROWTEXT_DB, text, CP_UTF8));
          EXPECT_EQ(fast.State(ok), state) << "type " << type << " size " << size << " text length " << n
                                           << (ask ? " asked" : "");
          const bool held = slot.bHeld;
          const char* texts[1] = {text.data()};
          const unsigned long lengths[1] = {n};
          uint64_t nulls = 0, heldBits = 0;
          fast.Clear();
          const bool stepped = F::s_pWriteRowStepped(&noted, &noted + 1, texts, lengths, &nulls, &heldBits) != &noted;
          if (stepped) {
            EXPECT_EQ(fast.State(TRUE), state) << "type " << type << " size " << size << " length " << n;
          }
          EXPECT_EQ(stepped, ok != FALSE) << "type " << type << " size " << size << " length " << n;
          EXPECT_EQ(noted.bHeld, held) << "type " << type << " size " << size << " length " << n;
          EXPECT_EQ(heldBits, held ? 1u : 0u) << "type " << type << " size " << size << " length " << n;
        }
      }
    }
  }
}

// A record column with no step may name a column past the result's (a record wider than the
// query): the row stops there without reading that column's text.
TEST_F(RowWriters, SlotWithoutAStepReadsNoTextPastTheRow) {
  using F = CNAConvertVariant;
  CHostConnectionDescription host;
  CTestCnx cnx(&host, 1252, CP_UTF8);
  const struct {
    const char* name;
    unsigned int from;
    unsigned int stepless;  // the slot bound with no step, its column past the row
  } kRows[] = {{"first slot", 0, 0}, {"second slot", 0, 1}, {"started at it", 1, 1}};
  for (const auto& row : kRows) {
    ServerSlot a(&cnx, NA_IT_I4, 4, 0, 0), b(&cnx, NA_IT_I4, 4, 0, 0);
    ServerSlot* values[2] = {&a, &b};
    std::vector<F::STRowSlot> slots(2);
    for (unsigned int i = 0; i < 2; ++i) {
      slots[i].nDefinedBit = 1ULL << i;
      slots[i].nColumn = i == row.stepless ? 1 : 0;
      values[i]->conv.GetRowSlot(i == row.stepless ? F::NA_ROWTEXT_OTHER : F::NA_ROWTEXT_DB, &cnx, &slots[i]);
    }
    // The row holds one column, on the heap so that a read past it is seen.
    std::vector<const char*> texts = {"12"};
    std::vector<unsigned long> lengths = {2};
    uint64_t defined = 0, nulls = 0;
    EXPECT_EQ(F::s_nWriteRow(slots.data(), row.from, 2, texts.data(), lengths.data(), &defined, &nulls),
              row.stepless)
        << row.name;
  }
}

// Every change a writer depends on moves the shape stamp, and the counter a row binding keeps
// with (it writes a row unasked while that stays); writing a value does not move the stamp.
TEST_F(RowWriters, ShapeStampMovesWithWhatTheWriterDependsOn) {
  CHostConnectionDescription host;
  CTestCnx cnx(&host, 1252, CP_UTF8);
  CTestCnx other(&host, 1252, CP_UTF8);
  CHostItemDescription wide(L"w", NA_IT_I8, 8);
  const struct {
    const char* change;
    void (*apply)(ServerSlot*, CHostItemDescription*, CNAConnectionDescription*);
    bool moves;
  } kChanges[] = {
      {"a value written", [](ServerSlot* s, CHostItemDescription*, CNAConnectionDescription*) {
         s->conv.bSetValueDB("12", 2, CP_UTF8);
       }, false},
      {"NULL", [](ServerSlot* s, CHostItemDescription*, CNAConnectionDescription*) { s->conv.SetNull(); }, false},
      {"another item", [](ServerSlot* s, CHostItemDescription* i, CNAConnectionDescription*) {
         s->conv.SetItemDesc(i, nullptr);
       }, true},
      {"a database item", [](ServerSlot* s, CHostItemDescription* i, CNAConnectionDescription*) {
         s->conv.SetItemDesc(&s->item, i);
       }, true},
      {"another buffer", [](ServerSlot* s, CHostItemDescription*, CNAConnectionDescription*) {
         s->conv.bInitTypeVariant(NA_VAR_BUFFER, s->bytes.data(), 2, ZV_I4);
       }, true},
      {"held value", [](ServerSlot* s, CHostItemDescription*, CNAConnectionDescription*) {
         s->conv.vbChangeZVType(ZV_I8, 0);
       }, true},
      {"another connection", [](ServerSlot* s, CHostItemDescription*, CNAConnectionDescription* c) {
         CNAConvertVariant source(&s->error, c);
         source.SetStatic(true);
         s->conv.bCopyVariant(&source);
       }, true},
  };
  for (const auto& change : kChanges) {
    ServerSlot slot(&cnx, NA_IT_I4, 4, 0, 0);
    const unsigned int before = slot.conv.nGetShapeStamp(), shared = CNAConvertVariant::s_nShapeStampNow();
    change.apply(&slot, &wide, &other);
    EXPECT_EQ(slot.conv.nGetShapeStamp() != before, change.moves) << change.change;
    if (change.moves) {
      EXPECT_NE(CNAConvertVariant::s_nShapeStampNow(), shared) << change.change;
    }
  }
}

// An asked slot from UTF-8 into 1252 holds a text of ASCII and Latin-1 letters and signs written
// whole, whatever its bytes' places among the steps it is read in; nothing else.
TEST_F(RowWriters, AskedLatin1SlotHoldsWholeLatin1TextsOnly) {
  using F = CNAConvertVariant;
  CHostConnectionDescription host;
  CTestCnx cnx(&host, 1252, CP_UTF8);
  const struct {
    std::string text;
    unsigned int size;
    bool held;
  } kCases[] = {
      {"name \xC3\xA9 12345", 16, true},
      {"name \xC3\xA9 12345", 13, true},       // 13 bytes into 12: room for every character
      {"name \xC3\xA9 12345", 12, false},      // the last digit cut off
      {"abcdefgh\xC3\xA9", 10, true},          // its bytes more than the room, its characters not
      {"abcdefgh\xC3\xA9xy", 12, true},        // its end with less than eight bytes of room left
      {"abcdefgh\xC3\xA9xy", 32, true},
      {std::string("abc\0", 4), 32, false},
      {"ab\xC3\xA9", 32, true},
      {"abcdefg\xC3\xA9xyz\xC2\xA0\xC3\xBF", 32, true},
      {"abcdefg\xC3\xA9xyz\xC2\x85", 32, false},  // U+0085 is no Latin-1 sign
      {"abcdefg\xC3\xA9xyz\xE2\x82\xAC", 32, false},
      {std::string("abcdefg\xC3\xA9\0yz", 11), 32, false},
      {std::string("abcdefgh\0", 9), 32, false},
      {"abcdefgh\xC3", 32, false},
      {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 6, true},
      {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 5, false},
      // One to eight bytes, told from one word: room for each, none for the last; a NUL or a
      // letter beyond ASCII at each end.
      {"a", 2, true},
      {"abc", 4, true},
      {"abc", 3, false},
      {"abcd", 5, true},
      {"abcdefg", 8, true},
      {"abcdefgh", 9, true},
      {"abcdefgh", 8, false},
      {std::string("\0", 1), 32, false},
      {std::string("\0bcdefg", 7), 32, false},
      {std::string("abcdefg\0", 8), 32, false},
      {std::string("ab\0", 3), 4, false},
      {"\xC3\xA9" "bc", 4, true},
      {"abcdef\xC3\xA9", 9, true},
      {"\x7F\x01", 3, true},
      {"abcdefg\x80", 32, false},
      {"\xFF", 32, false},
      // Sixteen bytes a step: a character across a step's end, a stop first or last in a step.
      {std::string(48, 'n'), 49, true},
      {std::string(48, 'n'), 48, false},
      {std::string(15, 'n') + "\xC3\xA9" + std::string(15, 'o'), 40, true},
      {std::string(16, 'n') + "\xC3\xA9" + std::string(20, 'o') + "\xC2\xA0", 48, true},
      {"\xC3\xA9" + std::string(30, 'o'), 32, true},
      {std::string(16, 'n') + std::string("\0abc", 4), 32, false},
      {std::string(15, 'n') + std::string("\0", 1) + std::string(16, 'o'), 40, false},
      {std::string(31, 'n') + "\xE2\x82\xAC", 40, false},
      {std::string(20, 'n') + "\xC2\x85" + std::string(20, 'o'), 48, false},
  };
  for (const auto& c : kCases) {
    ServerSlot fast(&cnx, NA_IT_TEXTE, c.size, 0, 0);
    ServerSlot general(&cnx, NA_IT_TEXTE, c.size, 0, 0, NA_VAR_OWNBUFFER);
    F::STRowSlot slot;
    fast.conv.GetRowSlot(F::NA_ROWTEXT_DB, &cnx, &slot);
    ASSERT_EQ(slot.eKind, F::NA_ROWSLOT_UTF8_1252);
    slot.bAskHeld = true;
    slot.bHeld = !c.held;
    const auto n = static_cast<unsigned int>(c.text.size());
    const BOOL ok = F::s_bWriteRowSlot(slot, c.text.data(), n);
    EXPECT_EQ(slot.bHeld, c.held) << "<" << c.text << "> size " << c.size;
    EXPECT_EQ(fast.State(ok ? TRUE : GeneralRoad(&fast.conv, F::NA_ROWTEXT_DB, c.text, CP_UTF8)),
              general.State(GeneralRoad(&general.conv, F::NA_ROWTEXT_DB, c.text, CP_UTF8)))
        << "<" << c.text << "> size " << c.size;
  }
}

}  // namespace
