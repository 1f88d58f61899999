// Server number texts into integer, currency and decimal values: whatever path the converter
// takes, the value is the host VM's reading of the text, or error 53 where the VM refuses it.
#include <cstring>
#include <random>

#include "tests/sql/convert_test_util.h"

namespace {

class ConvertNumbers : public AnyTest {
 protected:
  CHostConnectionDescription m_host;
  CTestCnx m_cnx{&m_host, CP_UTF8, CP_UTF8};
};

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
      CNAError error;
      CNAError::s_Hold(&error);
      CNAConvertVariant held(&error, &m_cnx);
      held.SetStatic(true);
      held.InitTypeVariantAny(type, 0);
      CAny got;
      EXPECT_EQ(held.bSetValueDB(text.c_str(), static_cast<unsigned int>(text.size()), CP_UTF8), ok) << text;
      EXPECT_TRUE(held.bGetValue(&got));
      EXPECT_EQ(ok ? Bytes(got.pGetValueArea(), got.pGetValueArea() + size) : bytes, bytes) << text;
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
      slot.item.m_nIntegerPart = form.integer;
      slot.item.m_nDecimalPart = form.decimals;
      slot.conv.SetItemDesc(nullptr, nullptr);
      slot.conv.SetItemDesc(&slot.item, nullptr);
      ASSERT_TRUE(slot.conv.bInitBufferDB());
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

}  // namespace
