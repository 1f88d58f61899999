// Whether a row's text reached its record exactly: the item's slot against the server's text, for
// each kind of item and each pair of pages, the in-line answer never saying "held" where the full
// one does not.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sql/naservertext.h"

namespace {

struct Case {
  const char* name;
  eNASERVERTEXT kind;
  eNA_ITEMTYPE item;
  int serverPage;
  bool mayLose;
  unsigned int slotSize;
  std::string slot;  // the bytes the record holds (zero-filled to the slot's size)
  std::string text;  // the server's text
  int held;
};

const std::string kE = "\xC3\xA9";          // é in UTF-8
const std::string kO = "\xC5\x90";          // Ő in UTF-8, no 1252 byte
const std::string kEuro = "\xE2\x82\xAC";   // € in UTF-8, 0x80 in 1252
const std::string kLong(40, 'x');

std::vector<Case> Cases() {
  using std::string;
  return {
      {"AsciiHeld", NA_SERVERTEXT_TEXT, NA_IT_TEXTE, 65001, false, 9, "abc", "abc", 1},
      {"Latin1LetterHeldAsItsByte", NA_SERVERTEXT_TEXT, NA_IT_TEXTE, 65001, false, 9, "B\xE9", "B" + kE, 1},
      {"EuroHeldAsItsByte", NA_SERVERTEXT_TEXT, NA_IT_TEXTE, 65001, false, 9, "\x80", kEuro, 1},
      {"CharacterThePageLacksIsInexact", NA_SERVERTEXT_TEXT, NA_IT_TEXTE, 65001, false, 9, "B?", "B" + kO, 0},
      {"RealQuestionMarkHeld", NA_SERVERTEXT_TEXT, NA_IT_TEXTE, 65001, false, 9, "B?", "B?", 1},
      {"TextCutToItsItemIsInexact", NA_SERVERTEXT_TEXT, NA_IT_TEXTE, 65001, false, 5, "abcd", "abcdef", 0},
      {"TextFillingItsItemHeld", NA_SERVERTEXT_TEXT, NA_IT_TEXTE, 65001, false, 5, "abcd", "abcd", 1},
      {"NulEndingAFixedTextIsInexact", NA_SERVERTEXT_TEXT, NA_IT_TEXTE, 65001, false, 9, "B", string("B\0z", 3), 0},
      {"LongAsciiHeld", NA_SERVERTEXT_TEXT, NA_IT_TEXTE, 65001, false, 64, kLong, kLong, 1},
      {"LongAsciiCutIsInexact", NA_SERVERTEXT_TEXT, NA_IT_TEXTE, 65001, false, 21, kLong.substr(0, 20), kLong, 0},
      {"LongWithALetterHeld", NA_SERVERTEXT_TEXT, NA_IT_TEXTE, 65001, false, 64, kLong + "\xE9", kLong + kE, 1},
      {"PageTextHeld", NA_SERVERTEXT_TEXT, NA_IT_TEXTE, 1252, false, 9, "B\xE9", "B\xE9", 1},
      {"UndefinedPageByteIsInexact", NA_SERVERTEXT_TEXT, NA_IT_TEXTE, 1252, false, 9, "\x81", "\x81", 0},
      {"LongUndefinedPageByteIsInexact", NA_SERVERTEXT_TEXT, NA_IT_TEXTE, 1252, false, 64, kLong + "\x81", kLong + "\x81", 0},
      {"LongPageTextHeld", NA_SERVERTEXT_TEXT, NA_IT_TEXTE, 1252, true, 64, kLong + "\xE9", kLong + "\xE9", 1},
      {"LongQuestionMarkAPageMayHaveLostIsLost", NA_SERVERTEXT_TEXT, NA_IT_TEXTE, 1252, true, 64, kLong + "?", kLong + "?", -1},
      {"QuestionMarkAPageMayHaveLostIsLost", NA_SERVERTEXT_TEXT, NA_IT_TEXTE, 1252, true, 9, "B?", "B?", -1},
      {"QuestionMarkOfANarrowColumnHeld", NA_SERVERTEXT_TEXT, NA_IT_TEXTE, 1252, false, 9, "B?", "B?", 1},
      {"UnicodeSlotHeld", NA_SERVERTEXT_TEXT, NA_IT_UNICODE, 65001, false, 8, string("B\0\x50\x01", 4), "B" + kO, 1},
      {"UnicodeSlotCutIsInexact", NA_SERVERTEXT_TEXT, NA_IT_UNICODE, 65001, false, 4, string("B\0", 2), "B" + kO, 0},
      {"UnicodeSlotFilledHeld", NA_SERVERTEXT_TEXT, NA_IT_UNICODE, 65001, false, 4, string("B\0\x50\x01", 4), "B" + kO, 1},
      {"UnicodeSlotLongerIsInexact", NA_SERVERTEXT_TEXT, NA_IT_UNICODE, 65001, false, 8, string("B\0\x50\x01z\0", 6), "B" + kO, 0},
      {"UnicodeSurrogatePairHeld", NA_SERVERTEXT_TEXT, NA_IT_UNICODE, 65001, false, 8, string("\x3D\xD8\x00\xDE", 4), "\xF0\x9F\x98\x80", 1},
      {"UnicodeHalfAPairIsInexact", NA_SERVERTEXT_TEXT, NA_IT_UNICODE, 65001, false, 4, string("\x3D\xD8", 2), "\xF0\x9F\x98\x80", 0},
      {"UnicodeNulEndingTheSlotIsInexact", NA_SERVERTEXT_TEXT, NA_IT_UNICODE, 65001, false, 8, string("B\0", 2), string("B\0z", 3), 0},
      {"UnicodeOverlongFormIsInexact", NA_SERVERTEXT_TEXT, NA_IT_UNICODE, 65001, false, 8, string("/\0", 2), "\xE0\x80\xAF", 0},
      {"MemoOfThePageHeld", NA_SERVERTEXT_TEXT, NA_IT_MEMOTEXTE, 65001, false, 0, "", "a" + kE + string("\0b", 2), 1},
      {"MemoLackingACharacterIsInexact", NA_SERVERTEXT_TEXT, NA_IT_MEMOTEXTE, 65001, false, 0, "", "a" + kO, 0},
      {"BinaryThatFitsHeld", NA_SERVERTEXT_BINARY, NA_IT_BINAIRE, 65001, false, 0, "", string("\x27\0", 2), 1},
      {"DateTimeOfMillisecondsHeld", NA_SERVERTEXT_TIME, NA_IT_DATETIME, 65001, false, 0, "", "2024-01-02 03:04:05.123000", 1},
      {"DateTimeOfMicrosecondsIsInexact", NA_SERVERTEXT_TIME, NA_IT_DATETIME, 65001, false, 0, "", "2024-01-02 03:04:05.123456", 0},
      {"ZeroDateIsInexact", NA_SERVERTEXT_TIME, NA_IT_DATETIME, 65001, false, 0, "", "0000-00-00 00:00:00", 0},
      {"NumberOfTheItemsDigitsHeld", NA_SERVERTEXT_NUMBER, NA_IT_DECIMAL, 65001, false, 0, "", "-12.50", 1},
      {"NumberOfMoreDigitsIsInexact", NA_SERVERTEXT_NUMBER, NA_IT_DECIMAL, 65001, false, 0, "", "-12.505", 0},
  };
}

TEST(ServerText, EachKindOfItemTellsAValueItHoldsFromOneItDoesNot) {
  for (const Case& c : Cases()) {
    STServerTextCheck check;
    check.eKind = c.kind;
    check.eItem = c.item;
    check.nServerPage = c.serverPage;
    check.nHostPage = 1252;
    check.bMayLose = c.mayLose;
    check.nKeptDigits = c.kind == NA_SERVERTEXT_NUMBER ? 2 : 3;
    check.nRoom = c.item == NA_IT_BINAIRE ? 4 : 0xFFFFFFFFu;
    const bool fixed = c.item == NA_IT_TEXTE || c.item == NA_IT_UNICODE;
    check.nOffset = fixed ? 8 : -1;
    check.nSlotSize = c.slotSize;
    check.bSlotBytes = c.item == NA_IT_TEXTE;
    std::vector<BYTE> values(8 + c.slotSize + 8, 0xEE);
    std::fill(values.begin() + 8, values.begin() + 8 + c.slotSize, 0);
    memcpy(values.data() + 8, c.slot.data(), std::min<size_t>(c.slot.size(), c.slotSize));
    const int held = g_nServerTextHeld(check, values.data(), values.size(), c.text.data(), c.text.size());
    EXPECT_EQ(held, c.held) << c.name;
    if (check.bSlotBytes && g_bServerTextHeldAsBytes(check, values.data(), values.size(), c.text.data(), c.text.size())) {
      EXPECT_EQ(held, 1) << c.name << ": held in line, not by the full answer";
    }
  }
}

// The in-line answer of a text read again as its UTF-8 bytes on a page connection.
TEST(ServerText, KeyBytesReadBesideAPageTextAreComparedAsUtf8) {
  STServerTextCheck check;
  check.eKind = NA_SERVERTEXT_TEXT;
  check.eItem = NA_IT_TEXTE;
  check.nServerPage = 1252;
  check.nHostPage = 1252;
  check.bMayLose = true;
  check.bSlotBytes = true;
  check.nOffset = 0;
  check.nSlotSize = 9;
  std::vector<BYTE> values(9, 0);
  values[0] = 'B';
  values[1] = 0xE9;
  const std::string held = "B" + kE, lost = "B" + kO;
  EXPECT_TRUE(g_bServerTextHeldAsBytes(check, values.data(), values.size(), held.data(), held.size(), true));
  values[1] = '?';
  EXPECT_FALSE(g_bServerTextHeldAsBytes(check, values.data(), values.size(), lost.data(), lost.size(), true));
  // Without the bytes, a '?' of a wide column is no answer in line.
  EXPECT_FALSE(g_bServerTextHeldAsBytes(check, values.data(), values.size(), "B?", 2));
}

}  // namespace
