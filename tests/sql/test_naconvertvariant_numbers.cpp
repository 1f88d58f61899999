// Server number texts into integer, currency and decimal values: whatever path the converter
// takes, the value is the host VM's reading of the text, or error 53 where the VM refuses it.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <random>

#include "tests/sql/convert_test_util.h"

namespace {

class ConvertNumbers : public AnyTest {
 protected:
  // text read by a converter that holds a value of type: its answer, and the value's first
  // width bytes when it took the text.
  bool ReadHeld(unsigned short type, const std::string& text, unsigned int width, Bytes* value) {
    CNAError error;
    CNAError::s_Hold(&error);
    CNAConvertVariant held(&error, &m_cnx);
    held.SetStatic(true);
    held.InitTypeVariantAny(type, 0);
    if (!held.bSetValueDB(text.c_str(), static_cast<unsigned int>(text.size()), CP_UTF8)) return false;
    CAny got;
    EXPECT_TRUE(held.bGetValue(&got)) << text;
    value->assign(got.pGetValueArea(), got.pGetValueArea() + width);
    return true;
  }

  CHostConnectionDescription m_host;
  CTestCnx m_cnx{&m_host, CP_UTF8, CP_UTF8};
};

// The slot's item takes these digits; the converter reads them again and readies itself for
// server values.
bool SetDigits(Slot* slot, int integer, int decimals) {
  slot->item.m_nIntegerPart = integer;
  slot->item.m_nDecimalPart = decimals;
  slot->conv.SetItemDesc(nullptr, nullptr);
  slot->conv.SetItemDesc(&slot->item, nullptr);
  return slot->conv.bInitBufferDB() != FALSE;
}

// count texts "[-]digits[.digits]" of 1 to 20 integer digits and fewer than decimals decimals.
void AddRandomNumbers(std::vector<std::string>* texts, unsigned int seed, int count, unsigned int decimals) {
  std::mt19937 rng(seed);
  for (int i = 0; i < count; ++i) {
    std::string t = rng() % 3 == 0 ? "-" : "";
    for (int d = 1 + static_cast<int>(rng() % 20); d > 0; --d) t += static_cast<char>('0' + rng() % 10);
    if (rng() % 2 == 0) {
      t += '.';
      for (int d = static_cast<int>(rng() % decimals); d > 0; --d) t += static_cast<char>('0' + rng() % 10);
    }
    texts->push_back(t);
  }
}

TEST_F(ConvertNumbers, PlainTextsReadAsTheHostVMReadsThem) {
  const std::pair<eNA_ITEMTYPE, unsigned int> kItems[] = {
      {NA_IT_UI1, 1}, {NA_IT_UI2, 2}, {NA_IT_UI4, 4}, {NA_IT_UI8, 8}, {NA_IT_I1, 1},
      {NA_IT_I2, 2},  {NA_IT_I4, 4},  {NA_IT_I8, 8},  {NA_IT_MONETAIRE, 10}};
  std::vector<std::string> texts = {
      "0", "-0", "00042", "+5", " 5", "5 ", "1e3", "1.", ".5", "-", "--1", "12.3456789", "0.000001", "-0.5",
      "999999999999.999999", "-999999999999.999999", "1000000000000.5", "-128", "127", "-129", "128", "255", "256",
      "32767", "-32768", "-32769", "65535", "65536", "2147483647", "-2147483648", "-2147483649", "4294967295",
      "4294967296", "9223372036854775807", "9223372036854775808", "-9223372036854775808", "-9223372036854775809",
      "18446744073709551615", "18446744073709551616", "99999999999999999999", "123456789012345678901", "1.2.3"};
  // Digits are read a word at a time: a stray character at every place of every length up to 17,
  // those just beside '0' to '9' among them, and a currency's point at every place from the end.
  for (size_t n = 1; n <= 17; ++n)
    for (size_t at = 0; at < n; ++at)
      for (char odd : {'/', ':', '?', 'a', ' ', '.', '-'}) {
        std::string t(n, '7');
        t[at] = odd;
        texts.push_back(t);
      }
  for (size_t decimals = 0; decimals <= 8; ++decimals) {
    texts.push_back("123." + std::string(decimals, '5'));
    texts.push_back("-1.2." + std::string(decimals, '5'));
  }
  AddRandomNumbers(&texts, 24, 400, 8);
  for (const auto& [item, size] : kItems) {
    const unsigned short type = ConverteItemToZVType(item);
    for (const std::string& text : texts) {
      const std::wstring wide(text.begin(), text.end());
      unsigned char area[ZV_VALUE_SIZE] = {};
      CAny want;
      const bool ok = CAny::__s_nCastTo(area, wide.c_str(), type, nullptr) <= 99 &&
                      (want.__TransfertValeurInterne(type, area), want.wGetType() == type);
      Bytes bytes(size, 0);
      if (ok) memcpy(bytes.data(), want.pGetValueArea(), size);
      Slot slot(&m_cnx, item, size);
      EXPECT_EQ(slot.conv.bSetValueDB(text.c_str(), static_cast<unsigned int>(text.size()), CP_UTF8), ok) << text;
      EXPECT_EQ(slot.bytes, bytes) << text << " " << item;
      EXPECT_EQ(slot.Raised(), ok ? L"" : Error53(ZV_PSTRA, item, text)) << text;
      Bytes held;
      EXPECT_EQ(ReadHeld(type, text, size, &held), ok) << text;
      EXPECT_EQ(ok ? held : bytes, bytes) << text;
    }
  }
}

// A record slot of a DECIMAL item against a converter on a buffer of its own, which never takes
// the slot's road: the same answer, bytes and error for each text at each precision and scale.
TEST_F(ConvertNumbers, DecimalSlotWritesWhatTheGeneralRoadWrites) {
  const struct {
    int integer, decimals;
    unsigned int size;
  } kForms[] = {{10, 2, 24}, {1, 0, 1}, {0, 1, 1}, {18, 0, 8}, {0, 18, 8}, {9, 9, 8}, {3, 2, 3},
                {17, 1, 8},  {19, 0, 9}, {20, 18, 16}, {0, 0, 18}, {10, 2, 4},  {10, 2, 5}};
  std::vector<std::string> texts = {"0", "-0", "0.00", "-0.00", "1", "-1", "1.5", "-1.25", "12345.67", "0.01",
                                    "-0.01", "00042", "+5", " 5", "5 ", "1e3", "1.", ".5", "-.5", "-", "", "--1",
                                    "1.2.3", "1.234", "1.235", "-1.235", "99999999.99", "9999999999.99",
                                    "-9999999999.99", "10000000000.00", "999999999999999999", "1000000000000000000",
                                    "-999999999999999999", "0.999999999999999999", "0.0000000000000000001",
                                    "123456789012345678901234567890", "5x", "1,5"};
  AddRandomNumbers(&texts, 39, 600, 20);
  for (const auto& form : kForms) {
    for (const std::string& text : texts) {
      const unsigned int n = static_cast<unsigned int>(text.size());
      const std::string shown = text + " at " + std::to_string(form.integer) + "," + std::to_string(form.decimals);
      Slot slot(&m_cnx, NA_IT_DECIMAL, form.size);
      ASSERT_TRUE(SetDigits(&slot, form.integer, form.decimals));
      Slot general(&m_cnx, NA_IT_DECIMAL, form.size);
      general.item.m_nIntegerPart = form.integer;
      general.item.m_nDecimalPart = form.decimals;
      general.conv.ResetVariant();
      ASSERT_TRUE(general.conv.bInitTypeVariantBuffer(ZV_DECIMAL, form.size));
      general.conv.SetItemDesc(nullptr, nullptr);
      general.conv.SetItemDesc(&general.item, nullptr);
      ASSERT_TRUE(general.conv.bInitBufferDB());
      // A slot written before keeps nothing of its former value.
      memset(slot.bytes.data(), 0xEE, form.size);
      const BOOL want = general.conv.bSetValueDB(text.c_str(), n, CP_UTF8);
      const auto* data = static_cast<const uint8_t*>(general.conv.pGetData());
      EXPECT_EQ(slot.conv.bSetValueDB(text.c_str(), n, CP_UTF8), want) << shown;
      EXPECT_EQ(slot.bytes, Bytes(data, data + form.size)) << shown;
      EXPECT_EQ(slot.conv.nGetSize(), general.conv.nGetSize()) << shown;
      EXPECT_EQ(slot.conv.bIsNull(), general.conv.bIsNull()) << shown;
      EXPECT_EQ(slot.Raised(), general.Raised()) << shown;
    }
  }
}

// The VM's reading of text, written at precision and scale as a decimal slot holds it: the data
// form (the 18-byte form at precision 0), or false where it refuses the text or the value. The converter refuses the empty text
// itself.
bool VMDecimalForm(const std::string& text, int precision, int scale, Bytes* form) {
  const std::wstring wide(text.begin(), text.end());
  unsigned char area[ZV_VALUE_SIZE] = {};
  if (wide.empty() || CAny::__s_nCastTo(area, wide.c_str(), ZV_DECIMAL, nullptr) > 99) return false;
  CAny value;
  value.__TransfertValeurInterne(ZV_DECIMAL, area);
  IDecimal* dec = nullptr;
  if (value.wGetType() != ZV_DECIMAL || value.Intern()->nFillBuffer(&dec) != 0 || dec == nullptr) return false;
  form->assign(precision == 0 ? IDecimal::kFormSize : IDecimal::mg_PToN[precision], 0);
  return dec->nWrite(precision, scale, form->data()) <= 99;
}

// Every precision and scale of a decimal slot, on the converter's own road and on a result row's
// writer: the bytes, answer and error of the VM's reading of the text written at the item's
// digits (rounded half away from zero, refused beyond them), whichever road reads it.
TEST_F(ConvertNumbers, DecimalTextsAreWrittenAsTheVMWritesThemAtTheItemsDigits) {
  using F = CNAConvertVariant;
  const struct {
    int integer, decimals;
    unsigned int size;
  } kForms[] = {{32, 6, 16}, {38, 0, 16}, {0, 38, 16}, {30, 8, 24}, {19, 0, 9},  {20, 18, 16}, {37, 1, 16},
                {10, 2, 5},  {10, 2, 24}, {18, 0, 8},  {9, 9, 8},   {1, 0, 1},   {0, 1, 1},    {17, 2, 8},
                {32, 6, 15}, {0, 0, 18}};
  const std::string max38(38, '9'), max32(32, '9');
  std::vector<std::string> texts = {
      "0", "-0", "0.0", "-0.00", "-0.000000", "00", "-000.000", "0.0000004", "0.0000005", "-0.0000005",
      "-0.00000049", "0.00000050", "1", "-1", "1.5", "-1.25", "2.5", "-2.5", "0.5", "-0.5", "0.05", "1.234",
      "1.235", "-1.235", "1.2345675", "9.9999995", "-9.9999995", "9.5", "-9.5", "99.5",
      max32 + ".999999", "-" + max32 + ".999999", max32 + ".9999995", "-" + max32 + ".9999994",
      "1" + std::string(32, '0'), max38, "-" + max38, "1" + std::string(38, '0'), max38 + ".4", max38 + ".5",
      "12345678901234567890123456789012345678", "1234567890123456789012345678901234567.8",
      "0.12345678901234567890123456789012345678", "0.123456789012345678901234567890123456789",
      "0." + std::string(37, '0') + "1", "0." + std::string(38, '0') + "1", "0." + std::string(37, '0') + "5",
      // 39 decimals: the VM rounds to 38 first, a half at one decimal.
      "0.04" + std::string(36, '9') + "5", "-0.04" + std::string(36, '9') + "5",
      std::string(45, '0') + "1.5", "1.5" + std::string(40, '0'), "-" + std::string(36, '0') + "0.25",
      "18446744073709551615.5", "18446744073709551616", "340282366920938463463374607431768211455",
      "170141183460469231731687303715884105727", "9999999999999999999.9999999999999999999",
      "9999999999999999999.99999999999999999995", "1.", ".5", "-.5", "+5", " 5", "5 ", "1e3", "1E-3", "", "-",
      "--1", "-+1", "1.2.3", "1,5", "5x", "0x10", "\xd9\xa1", "\xef\xbc\x91", std::string("1\0", 2)};
  // Random texts of 1 to 40 integer digits (leading zeros among them) and up to 40 decimals.
  std::mt19937 rng(69);
  for (int i = 0; i < 1500; ++i) {
    std::string t = rng() % 3 == 0 ? "-" : "";
    if (rng() % 4 == 0) t += std::string(rng() % 6, '0');
    for (int d = 1 + static_cast<int>(rng() % 40); d > 0; --d) t += static_cast<char>('0' + rng() % 10);
    if (rng() % 3 != 0) {
      t += '.';
      for (int d = 1 + static_cast<int>(rng() % 40); d > 0; --d) t += static_cast<char>('0' + rng() % 10);
    }
    texts.push_back(t);
  }
  for (const auto& form : kForms) {
    const int precision = form.integer + form.decimals;
    for (const std::string& text : texts) {
      const auto n = static_cast<unsigned int>(text.size());
      const std::string shown = text + " at " + std::to_string(form.integer) + "," + std::to_string(form.decimals);
      Bytes want(form.size, 0), vm;
      const bool ok = VMDecimalForm(text, precision, form.decimals, &vm) && vm.size() <= form.size;
      if (ok) std::copy(vm.begin(), vm.end(), want.begin());
      // The converter's own road: a slot that is no record column's.
      Slot slot(&m_cnx, NA_IT_DECIMAL, form.size);
      ASSERT_TRUE(SetDigits(&slot, form.integer, form.decimals));
      EXPECT_EQ(slot.conv.bSetValueDB(text.c_str(), n, CP_UTF8), ok) << shown;
      EXPECT_EQ(slot.bytes, want) << shown;
      // The error shows the text up to a NUL.
      EXPECT_EQ(slot.Raised(), ok ? L"" : Error53(ZV_PSTRA, NA_IT_DECIMAL, text.c_str())) << shown;
      if (ok) {
        EXPECT_EQ(slot.conv.nGetSize(), vm.size()) << shown;
      }
      // A result row's writer: it writes what the VM writes, or leaves the text to that road.
      F::STRowSlot row;
      slot.conv.GetRowSlot(F::NA_ROWTEXT_DB, &m_cnx, &row);
      const bool fits = precision > 0 && form.size >= IDecimal::mg_PToN[precision];
      ASSERT_EQ(row.eKind, !fits            ? F::NA_ROWSLOT_NONE
                           : precision <= 18 ? F::NA_ROWSLOT_DECIMAL
                                             : F::NA_ROWSLOT_WIDEDECIMAL)
          << shown;
      memset(slot.bytes.data(), 0xEE, form.size);
      if (F::s_bWriteRowSlot(row, text.c_str(), n)) {
        EXPECT_TRUE(ok) << shown;
        EXPECT_EQ(slot.bytes, want) << shown;
      }
    }
  }
}

// Real and float items, on a record slot, on a result row's writer and held: the VM's reading of
// each text, its exact bits (negative zero, the smallest and largest reals, the shortest and the
// longest texts of a value) or its refusal, whichever road reads it.
TEST_F(ConvertNumbers, RealTextsReadAsTheHostVMReadsThem) {
  using F = CNAConvertVariant;
  std::vector<std::string> texts = {
      "0", "-0", "0.0", "-0.0", "-0e5", "1", "-1", "0.1", "-0.1", "1.5", "123456789012345678901234567890",
      "1" + std::string(80, '0'), "1" + std::string(80, '0') + ".5", "0." + std::string(80, '0') + "1",
      "1.7976931348623157e308", "1.7976931348623158e308", "1.7976931348623159e308", "-1.7976931348623157e308",
      "1e308", "1e309", "-1e309", "4.9e-324", "5e-324", "2.4703282292062327e-324", "2.4703282292062328e-324",
      "2.2250738585072014e-308", "2.2250738585072011e-308", "1e-400", "-1e-400", "3.4028234663852886e38",
      "3.4028235e38", "3.4028236e38", "3.5e38", "1.17549435e-38", "1.4e-45", "7e-46", "-7e-46", "1e-50",
      "0.30000000000000004", "9007199254740993", "9007199254740992.5", "1E5", "1e+5", "1e-5", "1e05",
      "00012.5", "-00012.5e-0", "1.", ".5", "-.5", "+1", " 1", "1 ", "1e", "1e+", "1e-", "e5", "-", "", "inf",
      "-inf", "infinity", "Infinity", "+inf", "-nan", "nan(1)", ".e5", "5.e3", ".5e3", "-.e1", "1.5e",
      "nan", "NaN", "0x1p3", "1,5", "1_000", "1.2.3", "1e5.5", "--1", "1e5e5",
      std::string("1\0", 2)};
  // Random reals as the server writes them (the shortest text) and as a wider text, and random
  // digit strings with exponents.
  std::mt19937_64 rng(69);
  for (int i = 0; i < 1500; ++i) {
    double d;
    const uint64_t bits = rng();
    memcpy(&d, &bits, sizeof d);
    if (!std::isfinite(d)) continue;
    char text[64];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, d);
    texts.emplace_back(text, r.ptr);
    snprintf(text, sizeof text, "%.17g", d);
    texts.emplace_back(text);
    const float f = static_cast<float>(static_cast<double>(rng() % 2000000) / 1000 - 1000);
    const std::to_chars_result rf = std::to_chars(text, text + sizeof text, f);
    texts.emplace_back(text, rf.ptr);
    std::string t = rng() % 3 == 0 ? "-" : "";
    for (int k = 1 + static_cast<int>(rng() % 30); k > 0; --k) t += static_cast<char>('0' + rng() % 10);
    if (rng() % 2 == 0) t += "." + std::to_string(rng() % 100000);
    if (rng() % 2 == 0) t += "e" + std::to_string(static_cast<int>(rng() % 700) - 350);
    texts.push_back(t);
  }
  for (const auto& [item, size] : {std::pair{NA_IT_R8, 8u}, std::pair{NA_IT_R4, 4u}, std::pair{NA_IT_R8, 12u}}) {
    const unsigned short type = ConverteItemToZVType(item);
    const unsigned int width = item == NA_IT_R4 ? 4 : 8;
    for (const std::string& text : texts) {
      const auto n = static_cast<unsigned int>(text.size());
      const std::string shown = text + " in " + std::to_string(item);
      const std::wstring wide(text.begin(), text.begin() + static_cast<long>(strnlen(text.c_str(), n)));
      unsigned char area[ZV_VALUE_SIZE] = {};
      CAny vm;
      const bool ok = !wide.empty() && CAny::__s_nCastTo(area, wide.c_str(), type, nullptr) <= 99 &&
                      (vm.__TransfertValeurInterne(type, area), vm.wGetType() == type);
      Bytes want(size, 0);
      if (ok) memcpy(want.data(), vm.pGetValueArea(), width);
      Slot slot(&m_cnx, item, size);
      ASSERT_TRUE(slot.conv.bInitBufferDB());
      EXPECT_EQ(slot.conv.bSetValueDB(text.c_str(), n, CP_UTF8), ok) << shown;
      EXPECT_EQ(slot.bytes, want) << shown;
      EXPECT_EQ(slot.Raised(), ok ? L"" : Error53(ZV_PSTRA, item, text.c_str())) << shown;
      F::STRowSlot row;
      slot.conv.GetRowSlot(F::NA_ROWTEXT_DB, &m_cnx, &row);
      ASSERT_EQ(row.eKind, F::NA_ROWSLOT_REAL) << shown;
      memset(slot.bytes.data(), 0xEE, size);
      if (F::s_bWriteRowSlot(row, text.c_str(), n)) {
        EXPECT_TRUE(ok) << shown;
        EXPECT_EQ(slot.bytes, want) << shown;
        EXPECT_EQ(slot.conv.nGetSize(), width) << shown;
      }
      Bytes held;
      EXPECT_EQ(ReadHeld(type, text, width, &held), ok) << shown;
      want.resize(width);
      EXPECT_EQ(ok ? held : want, want) << shown;
    }
  }
}

}  // namespace
