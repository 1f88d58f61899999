#include "platform/resources/restextfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace {

bool bUnescape(const std::string& raw, std::string* text) {
  text->clear();
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\\') {
      *text += raw[i];
      continue;
    }
    if (++i == raw.size()) return false;
    switch (raw[i]) {
      case 'n': *text += '\n'; break;
      case 'r': *text += '\r'; break;
      case 't': *text += '\t'; break;
      case '\\': *text += '\\'; break;
      default: return false;
    }
  }
  return true;
}

}  // namespace

bool bReadResTexts(const std::string& path, std::vector<STResText>* texts, std::string* err) {
  texts->clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *err = path + ": cannot be read";
    return false;
  }
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    const std::string where = path + ":" + std::to_string(number) + ": ";
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const size_t tab = line.find('\t');
    if (tab == std::string::npos || tab == 0 || line.find_first_not_of("0123456789") != tab) {
      *err = where + "expected <id><TAB><text>";
      return false;
    }
    errno = 0;
    const unsigned long id = strtoul(line.c_str(), nullptr, 10);
    if (errno != 0 || id == 0 || id > 0xFFFF) {
      *err = where + "id outside 1 to 65535";
      return false;
    }
    STResText t{static_cast<unsigned int>(id), {}, number};
    if (!bUnescape(line.substr(tab + 1), &t.strText)) {
      *err = where + "bad escape (\\n \\r \\t \\\\ only)";
      return false;
    }
    texts->push_back(std::move(t));
  }
  std::stable_sort(texts->begin(), texts->end(), [](const STResText& a, const STResText& b) { return a.nId < b.nId; });
  for (size_t i = 1; i < texts->size(); ++i) {
    if ((*texts)[i].nId == (*texts)[i - 1].nId) {
      *err = path + ":" + std::to_string((*texts)[i].nLine) + ": id " + std::to_string((*texts)[i].nId) +
             " already given on line " + std::to_string((*texts)[i - 1].nLine);
      return false;
    }
  }
  return true;
}
