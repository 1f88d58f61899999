// Settings texts: reads, removals and replacements of name=value items against a model that
// splits the text into items, and the connection description taking its keys out of the host's
// extended information. A removed item is gone and every other item is left as it was.
#include <cwctype>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/ctstring.h"
#include "common/stringparameter.h"
#include "fuzz/fuzz_input.h"
#include "host/host_nadescription.h"
#include "mysql/mysqlconnection.h"

namespace {

// Blanks, separators and characters whose case mappings are not one to one or not symmetric.
const std::wstring kAlphabet =
    L"aAbBsS ;=  ;=xX1\u00e9\u00c9\u00df\u0131\u0130i\ufb00\U0001F600\u01c5\t\u00a0Q";

// Items without their leading blanks, each with its upper-case form.
struct STItem {
  std::wstring text, upper;
  bool operator==(const STItem& o) const { return text == o.text; }
};
using Items = std::vector<STItem>;

std::wstring Upper(const std::wstring& s) {
  CTString t(s.c_str());
  t.Majuscule();
  // The reader finds names by position in the upper-case copy.
  FUZZ_CHECK(static_cast<size_t>(t.nTaille()) == s.size(), "upper case of '%ls' is '%ls'", s.c_str(), t.pszGet());
  return t.pszGet();
}

std::wstring TrimLeft(const std::wstring& s) { return s.substr(std::min(s.find_first_not_of(L' '), s.size())); }
std::wstring TrimRight(const std::wstring& s) {
  const size_t end = s.find_last_not_of(L' ');
  return end == std::wstring::npos ? std::wstring() : s.substr(0, end + 1);
}

// The items of a text without their leading blanks; items of blanks only are dropped: the
// reader skips both. The text is upper-cased once; the mapping keeps positions.
Items Split(const std::wstring& text) {
  const std::wstring upper = Upper(text);
  Items items;
  for (size_t start = 0;;) {
    const size_t end = std::min(text.find(L';', start), text.size());
    const size_t first = std::min(text.find_first_not_of(L' ', start), end);
    if (first < end) items.push_back({text.substr(first, end - first), upper.substr(first, end - first)});
    if (end == text.size()) return items;
    start = end + 1;
  }
}

// Index of the first item named name (case ignored, blanks before '='), with its value.
std::optional<size_t> Find(const Items& items, const std::wstring& name, std::wstring* value) {
  // The driver's keys come back often: their upper case is kept.
  static std::map<std::wstring, std::wstring>* const known = new std::map<std::wstring, std::wstring>;
  if (known->size() > 64) known->clear();
  auto [at, fresh] = known->try_emplace(name);
  if (fresh) at->second = Upper(name);
  const std::wstring& key = at->second;
  for (size_t i = 0; i < items.size(); ++i) {
    const std::wstring& upper = items[i].upper;
    if (upper.compare(0, key.size(), key) != 0) continue;
    const size_t eq = upper.find_first_not_of(L' ', key.size());
    if (eq == std::wstring::npos || upper[eq] != L'=') continue;
    *value = TrimRight(TrimLeft(items[i].text.substr(eq + 1)));
    return i;
  }
  return std::nullopt;
}

bool bUsable(const std::wstring& name) {
  return !name.empty() && name.front() != L' ' && name.back() != L' ' && name.find_first_of(L";=") == std::wstring::npos;
}

void CheckReadAndRemove(const std::wstring& text, const std::wstring& name) {
  CTString settings(text.c_str());
  CTString value(L"stale");
  int found = -1;
  CStringParameter::s_bGetParameterValue(&value, &found, &settings, name.c_str(), TRUE);
  const Items before = Split(text);
  std::wstring expected;
  const std::optional<size_t> at = bUsable(name) ? Find(before, name, &expected) : std::nullopt;
  FUZZ_CHECK(found == (at ? 1 : 0), "found %d for '%ls' in '%ls'", found, name.c_str(), text.c_str());
  FUZZ_CHECK(value.pszGet() == (at ? expected : std::wstring()), "value '%ls' for '%ls' in '%ls'", value.pszGet(),
             name.c_str(), text.c_str());
  Items after = before;
  if (at) after.erase(after.begin() + static_cast<long>(*at));
  FUZZ_CHECK(Split(settings.pszGet()) == after, "removing '%ls' from '%ls' left '%ls'", name.c_str(), text.c_str(),
             settings.pszGet());
  // The removed item does not hide behind the next one of the same name.
  std::wstring next;
  const std::optional<size_t> again = bUsable(name) ? Find(after, name, &next) : std::nullopt;
  FUZZ_CHECK(CStringParameter::s_bParameterDefined(&settings, name.c_str()) == (again ? TRUE : FALSE),
             "'%ls' in '%ls'", name.c_str(), settings.pszGet());
}

void CheckReplace(const std::wstring& text, const std::wstring& name, const std::wstring& value) {
  CTString settings(text.c_str());
  const BOOL written = CStringParameter::s_bReplaceParameterValue(&settings, value.c_str(), name.c_str());
  const bool writable = bUsable(name) && value.find(L';') == std::wstring::npos;
  FUZZ_CHECK(written == (writable ? TRUE : FALSE), "replace '%ls' in '%ls'", name.c_str(), text.c_str());
  if (!writable) {
    FUZZ_CHECK(text == settings.pszGet(), "a refused write changed '%ls'", text.c_str());
    return;
  }
  CTString read;
  int found = 0;
  CStringParameter::s_bGetParameterValue(&read, &found, &settings, name.c_str(), FALSE);
  FUZZ_CHECK(found == 1 && read.pszGet() == TrimRight(TrimLeft(value)), "'%ls' in '%ls' reads '%ls'", name.c_str(),
             settings.pszGet(), read.pszGet());
}

// The keys the connection and its MySQL class take out, in their order.
const wchar_t* const kDriverKeys[] = {
    L"QX Connection Timeout", L"QX Command Timeout", L"QX Lock Timeout", L"QX Cache Size", L"QX Cursor Location",
    L"QX Unicode Support",    L"QX RECORD LOCK",     L"QX CLIENT VERSION", L"QX CLIENT LIBRARY", L"Application Name",
    L"SSL Mode",              L"SSL Key",            L"SSL Cert",        L"SSL CA",        L"SSL CAPath",
    L"SSL Cipher",            L"Unix Socket",        L"Client Flag",     L"Server Port"};

void CheckConnection(const std::wstring& text) {
  CHostConnectionDescription host;
  host.m_pszExtendedInfo = text.c_str();
  CMySQLConnection cnx(L"id", &host);
  Items model = Split(text);
  for (const wchar_t* key : kDriverKeys) {
    std::wstring value;
    if (const std::optional<size_t> at = Find(model, key, &value)) model.erase(model.begin() + static_cast<long>(*at));
  }
  FUZZ_CHECK(Split(cnx.pszGetExtendedInfo()) == model, "'%ls' left '%ls'", text.c_str(), cnx.pszGetExtendedInfo());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstallHost();
  CFuzzInput in(data, size);
  const uint8_t op = in.Byte();
  const std::wstring name = in.Text(kAlphabet, 0xFF);
  const std::wstring value = in.Text(kAlphabet, 0xFE);
  std::wstring text = in.Text(kAlphabet, 0xFF);
  // Driver keys spliced in, so that the connection's own items turn up.
  if (op & 0x80) {
    const wchar_t* key = kDriverKeys[op % std::size(kDriverKeys)];
    text = text.substr(0, text.size() / 2) + key + text.substr(text.size() / 2);
  }
  // Names the alphabet seldom spells whole.
  const std::wstring key = (op & 0x40) ? std::wstring(kDriverKeys[op % std::size(kDriverKeys)]) : name;
  CheckReadAndRemove(text, key);
  CheckReplace(text, key, value);
  // The costliest check (every driver key looked up), on one input in sixteen.
  if ((op & 0x78) == 0x78) CheckConnection(text);
  return 0;
}
