// Dates and times: the host's digit texts (AAAAMMJJHHMMSSmmm and its partial forms) and the
// server's texts ("YYYY-MM-DD HH:MM:SS.ffffff" and its shorter layouts) are either refused or
// read as a value that writes back to the same digits; a valid value written in a server layout
// is always read back as itself; the first and the after-last values of a partial text bracket
// every value that starts with it. Duration texts read as their digits say or are refused.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver/naconnectiondescription.h"
#include "driver/naerror.h"
#include "fuzz/fuzz_input.h"
#include "host/host_itemdescription.h"
#include "host/host_nadescription.h"
#include "platform/codepage.h"
#include "sql/naconvertvariant.h"
#include "values/datetime.h"
#include "values/duree.h"
#include "values/xtime.h"
#include "common/zvbin.h"

namespace {

class CFuzzCnx final : public CNAConnectionDescription {
 public:
  explicit CFuzzCnx(CHostConnectionDescription* host) : CNAConnectionDescription(L"t", host) {
    SetHostCodePage(CP_UTF8);
    SetServerCodePage(CP_UTF8);
    SetStatic(true);
  }
  BOOL bOpen(CNAError*) override { return TRUE; }
  BOOL bIsOpen() override { return TRUE; }
  BOOL bClose(CNAError*) override { return TRUE; }
};

CFuzzCnx& Cnx() {
  static CHostConnectionDescription* host = new CHostConnectionDescription;
  static CFuzzCnx* cnx = new CFuzzCnx(host);
  return *cnx;
}

// Days of a month by the calendar the values use (Julian leap years before 1583).
int DaysIn(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = y % 4 == 0 && (y < 1583 || y % 100 != 0 || y % 400 == 0);
  return m == 2 && leap ? 29 : kDays[m - 1];
}

// The 17 digits of a stored date-time word and time of day.
std::string Digits(int y, int mo, int d, uint32_t milli) {
  char text[32];
  snprintf(text, sizeof text, "%04d%02d%02d%02u%02u%02u%03u", y, mo, d, milli / 3600000, milli / 60000 % 60,
           milli / 1000 % 60, milli % 1000);
  return text;
}

// A host text AAAAMMJJ[HHMMSS[m[m[m]]]] through the checked binary reader.
void CheckHostText(const std::string& text) {
  CDateTimeBase dt;
  dt.Set(1999, 9, 9, 9, 9, 9, 9);
  const CDateTimeBase before = dt;
  const CZVBIN bin(text.data(), static_cast<int>(text.size()));
  const int rc = dt.nDepuisBinaireValide(&bin);
  if (rc != 0) {
    FUZZ_CHECK(std::memcmp(&dt, &before, sizeof dt) == 0, "refused '%s' changed the value", text.c_str());
    return;
  }
  const std::string digits = Digits(dt.m_wAnnee, dt.m_byMois, dt.m_byJour, dt.m_dwMilli);
  FUZZ_CHECK(text.size() >= 8 && digits.compare(0, 8, text, 0, 8) == 0, "'%s' read as %s", text.c_str(), digits.c_str());
  FUZZ_CHECK(dt.m_byMois >= 1 && dt.m_byMois <= 12 && dt.m_byJour >= 1 && dt.m_byJour <= DaysIn(dt.m_wAnnee, dt.m_byMois),
             "'%s' read as the invalid %s", text.c_str(), digits.c_str());
  // The time part: its leading digits (at most 9, within 17 bytes), the rest of the 9 zeros.
  std::string time = text.substr(8, 9);
  time = time.substr(0, std::min(time.find_first_not_of("0123456789"), time.size()));
  time.resize(9, '0');
  FUZZ_CHECK(digits.compare(8, 9, time) == 0, "'%s' read as %s", text.c_str(), digits.c_str());
  FUZZ_CHECK(dt.m_dwMilli < 86400000, "'%s' read as %s", text.c_str(), digits.c_str());
  // Written and read again: the same value.
  const std::wstring wide(digits.begin(), digits.end());
  CDateTimeBase again;
  again.FromString(wide.c_str());
  FUZZ_CHECK(std::memcmp(&again, &dt, sizeof dt) == 0, "%s read back differently", digits.c_str());
}

// The first and the after-last values of a partial date-time text.
void CheckPartial(const std::wstring& text) {
  CXTime first, after;
  if (!first.bSetZVDateTimeMin(text.c_str(), -1)) return;
  const BOOL later = after.bSetZVDateTimeMax(text.c_str(), -1);
  std::string digits;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return;
    digits += static_cast<char>(c);
  }
  if (digits.size() > 17) return;
  CTString a, b;
  first.GetZVTimeAAAAMMJJHHMMSSCCm(a);
  const std::wstring wa = a.pszGet();
  const std::string sa(wa.begin(), wa.end());
  // The first value starts with the text, a month or day of 0 taken as 1.
  std::string expected = digits;
  if (expected.size() >= 6 && expected.compare(4, 2, "00") == 0) expected.replace(4, 2, "01");
  if (expected.size() >= 8 && expected.compare(6, 2, "00") == 0) expected.replace(6, 2, "01");
  FUZZ_CHECK(sa.compare(0, expected.size(), expected) == 0, "first of '%s' is %s", digits.c_str(), sa.c_str());
  // Past a field's limits, or with a zero month or day, no value starts with the text, and any
  // bound will do.
  auto field = [&](size_t at, size_t n) { return std::stoi(sa.substr(at, n)); };
  const int mo = field(4, 2);
  if (!later || expected != digits || mo > 12 || field(6, 2) > DaysIn(field(0, 4), mo) || field(8, 2) > 23 || field(10, 2) > 59 ||
      field(12, 2) > 59)
    return;
  after.GetZVTimeAAAAMMJJHHMMSSCCm(b);
  const std::wstring wb = b.pszGet();
  const std::string sb(wb.begin(), wb.end());
  // Every text that starts with the digits lies before the after-last value; the largest of them
  // is the digits followed by nines (as far as the fields allow, which only lowers it).
  std::string largest = digits;
  largest.resize(17, '9');
  FUZZ_CHECK(sb.size() == 17 && sb > sa && sb.compare(0, digits.size(), digits) != 0,
             "after '%s' comes %s (first %s)", digits.c_str(), sb.c_str(), sa.c_str());
  FUZZ_CHECK(sb > std::min(largest, sb.substr(0, digits.size()) < digits ? sb : largest),
             "after '%s' comes %s", digits.c_str(), sb.c_str());
}

// A server text into DATETIME, DATE8 and HEURE items; what is kept must write back as the text.
void CheckServerText(const std::string& text) {
  CHostItemDescription dtItem(L"c", NA_IT_DATETIME, 8), dateItem(L"c", NA_IT_DATE8, 9), timeItem(L"c", NA_IT_HEURE, 10);
  struct STSlot {
    CHostItemDescription* item;
    std::vector<uint8_t> bytes;
    CNAError error;
    CNAConvertVariant conv;
    explicit STSlot(CHostItemDescription* it) : item(it), bytes(it->nGetItemSize(), 0xEE), conv(&error, &Cnx()) {
      CNAError::s_Hold(&error);
      conv.SetStatic(true);
      conv.bInitTypeVariant(NA_VAR_BUFFER, bytes.data(), static_cast<unsigned int>(bytes.size()),
                            ConverteItemToZVType(item->m_eType));
      conv.SetItemDesc(item, nullptr);
    }
    ~STSlot() { conv.ResetVariant(); }
    BOOL Set(const std::string& t) {
      return conv.bSetValueDB(t.data(), static_cast<unsigned int>(t.size()), CP_UTF8);
    }
  };
  STSlot dt(&dtItem), date(&dateItem), time(&timeItem);
  const BOOL okDt = dt.Set(text), okDate = date.Set(text), okTime = time.Set(text);
  if (!okDt) return;
  FUZZ_CHECK(okTime, "'%s' is a date-time but no time", text.c_str());
  uint32_t word = 0, milli = 0;
  std::memcpy(&word, dt.bytes.data(), 4);
  std::memcpy(&milli, dt.bytes.data() + 4, 4);
  const int y = static_cast<int>(word >> 16), mo = static_cast<int>(word >> 8 & 0xFF), d = static_cast<int>(word & 0xFF);
  const std::string digits = Digits(y, mo, d, milli);
  FUZZ_CHECK(milli < 86400000 && (mo == 0 ? d == 0 : mo <= 12 && d >= 1 && d <= DaysIn(y, mo)),
             "'%s' read as the invalid %s", text.c_str(), digits.c_str());
  // The text's digits in order: the date's 8 (unless it is a time only), then the time's.
  std::string seen;
  for (char c : text)
    if (c >= '0' && c <= '9') seen += c;
  // A time of day's hours may have 1 to 3 digits before the ':'.
  const size_t colon = text.find(':');
  const bool timeOnly = text.size() <= 6 || colon <= 3;
  if (timeOnly && colon != std::string::npos && colon <= 3) {
    const std::string hours = seen.substr(0, colon);
    seen.replace(0, colon, std::string(hours.size() < 2 ? 2 - hours.size() : 0, '0') + hours.substr(hours.size() > 2 ? hours.size() - 2 : 0));
    FUZZ_CHECK(hours.size() < 3 || hours[0] == '0', "'%s' read as a time of day", text.c_str());
  }
  FUZZ_CHECK(okDate == !timeOnly, "'%s' as a date: %d", text.c_str(), okDate);
  std::string expected = timeOnly ? std::string(8, '0') + seen : seen;
  if (expected.size() > 17) expected.resize(17);
  expected.resize(17, '0');
  // A date with a zero month or day (the server's zero dates) is kept as the empty date.
  if (expected.compare(4, 2, "00") == 0 || expected.compare(6, 2, "00") == 0) expected.replace(0, 8, "00000000");
  FUZZ_CHECK(digits == expected, "'%s' read as %s", text.c_str(), digits.c_str());
  if (okDate)
    FUZZ_CHECK(std::string(date.bytes.begin(), date.bytes.begin() + 8) == digits.substr(0, 8), "'%s' as a date",
               text.c_str());
  FUZZ_CHECK(std::string(time.bytes.begin(), time.bytes.begin() + 9) == digits.substr(8, 9), "'%s' as a time",
             text.c_str());
}

// A valid value written in one of the server's layouts is read back as itself.
void CheckServerValue(CFuzzInput& in) {
  const int y = static_cast<int>(in.U32() % 10000), mo = 1 + in.Byte() % 12;
  const int d = 1 + in.Byte() % DaysIn(y, mo);
  const int h = in.Byte() % 24, mi = in.Byte() % 60, s = in.Byte() % 60, ms = static_cast<int>(in.U32() % 1000000);
  char text[64];
  switch (in.Byte() % 6) {
    case 0: snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%06d", y, mo, d, h, mi, s, ms); break;
    case 1: snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s); break;
    case 2: snprintf(text, sizeof text, "%04d-%02d-%02d", y, mo, d); break;
    case 3: snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", h, mi, s, ms % 1000); break;
    case 4: snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", y, mo, d, h, mi, s); break;
    default: snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%d", y, mo, d, h, mi, s, ms % 10); break;
  }
  CHostItemDescription item(L"c", NA_IT_DATETIME, 8);
  std::vector<uint8_t> bytes(8, 0);
  CNAError error;
  CNAError::s_Hold(&error);
  CNAConvertVariant conv(&error, &Cnx());
  conv.SetStatic(true);
  conv.bInitTypeVariant(NA_VAR_BUFFER, bytes.data(), 8, ConverteItemToZVType(NA_IT_DATETIME));
  conv.SetItemDesc(&item, nullptr);
  FUZZ_CHECK(conv.bSetValueDB(text, static_cast<unsigned int>(strlen(text)), CP_UTF8), "'%s' refused", text);
  conv.ResetVariant();
  CheckServerText(text);
}

// A duration text: read as the model reads it, or refused only when the model finds it too short
// or out of range; what is read writes back to a text that reads as the same value.
void CheckDuration(const std::wstring& text) {
  size_t at = 0;
  bool negative = false;
  if (!text.empty() && (text[0] == L'+' || text[0] == L'-')) negative = text[at++] == L'-';
  const std::wstring body = text.substr(at);
  bool digits = true;
  for (wchar_t c : body) digits = digits && c >= L'0' && c <= L'9';
  CDureeBase d;
  d.m_llMilli = 42;
  const int rc = d.nDepuisChaine(text.c_str());
  if (!digits) return;
  if (body.size() < 10) {
    FUZZ_CHECK(rc != 0 && d.m_llMilli == 42, "'%ls' is too short", text.c_str());
    return;
  }
  auto number = [&](size_t from, size_t n) {
    __int128 v = 0;
    for (size_t i = from; i < from + n; ++i) v = v < (static_cast<__int128>(1) << 80) ? v * 10 + (body[i] - L'0') : v;
    return v;
  };
  const size_t dayDigits = body.size() - 9;
  const __int128 total = number(0, dayDigits) * 86400000 + number(dayDigits, 2) * 3600000 +
                         number(dayDigits + 2, 2) * 60000 + number(dayDigits + 4, 2) * 1000 + number(dayDigits + 6, 3);
  const __int128 value = negative ? -total : total;
  const bool fits = value >= INT64_MIN && value <= INT64_MAX;
  FUZZ_CHECK((rc == 0) == fits, "'%ls': %d", text.c_str(), rc);
  if (!fits) {
    FUZZ_CHECK(d.m_llMilli == 42, "a refused '%ls' changed the value", text.c_str());
    return;
  }
  FUZZ_CHECK(d.m_llMilli == static_cast<int64_t>(value), "'%ls' read as %lld", text.c_str(),
             static_cast<long long>(d.m_llMilli));
  wchar_t* written = d.pszCreeChaine();
  FUZZ_CHECK(written != nullptr, "no text for %lld", static_cast<long long>(d.m_llMilli));
  CDureeBase back;
  FUZZ_CHECK(back.nDepuisChaine(written) == 0 && back.m_llMilli == d.m_llMilli, "'%ls' read back from '%ls'", written,
             text.c_str());
  free(written);
}

const std::wstring kHostAlphabet = L"0123456789012345678901234567890123456789 :-.a";
const std::string kServerAlphabet = "0123456789012345678901234567890123456789 ::--..";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstallHost();
  CFuzzInput in(data, size);
  switch (in.Byte() % 5) {
    case 0: {
      std::string text;
      while (!in.bEmpty() && text.size() < 20) text += static_cast<char>(kHostAlphabet[in.Byte() % kHostAlphabet.size()]);
      CheckHostText(text);
      break;
    }
    case 1: CheckPartial(in.Text(kHostAlphabet, 0xFF)); break;
    case 2: {
      std::string text;
      while (!in.bEmpty() && text.size() < 30) text += kServerAlphabet[in.Byte() % kServerAlphabet.size()];
      CheckServerText(text);
      break;
    }
    case 3: CheckServerValue(in); break;
    default: CheckDuration(in.Text(L"0123456789-0123456789+", 0xFF)); break;
  }
  return 0;
}
