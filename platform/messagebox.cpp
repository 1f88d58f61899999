// Message boxes and console prompts (declared in platform/messagebox.h).
#include "platform/messagebox.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <cctype>
#include <string>
#include <vector>

#include "common/utf.h"
#include "platform/diskfile.h"
#include "platform/modulepath.h"
#include "platform/unixname.h"

namespace {

constexpr char kSibling[] = "qx200obj.so";
constexpr int kAnswerChars = 49;

const char* Prompt(unsigned int type) {
  switch (type) {
    case 0:
      return "Appuyez sur ENTREE pour continuer : \n";
    case 1:
      return "Entrez votre choix (o = OK, c = CANCEL) pour continuer (exemple : o + ENTREE) : \n";
    case 3:
      return "Entrez votre choix (y = YES, n = NO, c = CANCEL) pour continuer (exemple : y + ENTREE) : \n";
    case 4:
      return "Entrez votre choix (y = YES, n = NO) pour continuer (exemple : y + ENTREE) : \n";
    case 5:
      return "Entrez votre choix (r = RETRY, c = CANCEL) pour continuer (exemple : r + ENTREE) : \n";
    default:
      return "Entrez votre choix (r = RETRY, a = ABORT, i = IGNORE) pour continuer (exemple : r + ENTREE) : \n";
  }
}

std::string UTF8(const wchar_t* text) {
  if (text == nullptr) return {};
  std::string out(UTF8ByteLen(text) + 1, 0);
  out.resize(nWideToUTF8(out.data(), static_cast<int>(out.size()), text, static_cast<int>(wcslen(text))));
  return out;
}

// The first character of one blank-delimited word of at most kAnswerChars characters; 0 for an
// empty answer (end of input, a read error).
wchar_t ReadAnswer() {
  std::string word;
  int c;
  while ((c = getc(stdin)) != EOF && isspace(c)) {
  }
  int chars = 0;
  while (c != EOF && !isspace(c)) {
    if ((c & 0xC0) != 0x80 && chars++ == kAnswerChars) {
      ungetc(c, stdin);
      break;
    }
    word += static_cast<char>(c);
    c = getc(stdin);
  }
  if (c != EOF && isspace(c)) ungetc(c, stdin);
  if (word.empty()) return 0;
  const char* p = word.c_str();
  return UTF8_GetNext(&p);
}

using Sibling = int (*)(HWND__*, const wchar_t*, const wchar_t*, unsigned int);

int AskSibling(HWND__* owner, const wchar_t* text, const wchar_t* caption, unsigned int type) {
  std::vector<std::string> candidates;
  wchar_t exe[CDiskFile::kMaxPath + 1];
  if (GetModuleFileNameW(nullptr, exe, CDiskFile::kMaxPath + 1)) {
    std::vector<wchar_t> dir(wcslen(exe) + 1);
    CDiskFile::__SplitPath(exe, dir.data(), static_cast<wchar_t*>(nullptr));
    const CUnixName bytes(dir.data());
    if (bytes.bOk()) candidates.push_back(std::string(bytes.psz()) + kSibling);
  }
  std::wstring cwd;
  if (UNIX_bCurrentDirectory(&cwd)) {
    const CUnixName bytes(cwd.c_str());
    if (bytes.bOk()) {
      std::string path = bytes.psz();
      if (path.empty() || path.back() != '/') path += '/';
      candidates.push_back(path + kSibling);
    }
  }
  for (const std::string& path : candidates) {
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (module == nullptr) continue;
    const auto show = reinterpret_cast<Sibling>(dlsym(module, "MessageBox_QT_W"));
    const int answer = show != nullptr ? show(owner, text, caption, type) : -1;
    dlclose(module);
    return answer;
  }
  return -1;
}

}  // namespace

int _MessageBox_NO_GUI(const wchar_t* text, const wchar_t* caption, unsigned int type, int wideText) {
  fprintf(stderr, "%s\n", UTF8(caption).c_str());
  if (wideText)
    fprintf(stderr, "%s\n", UTF8(text).c_str());
  else
    fprintf(stderr, "%s\n", text != nullptr ? reinterpret_cast<const char*>(text) : "");
  fputs(Prompt(type), stderr);
  fflush(stderr);
  switch (ReadAnswer()) {
    case L'a':
      return 3;
    case L'c':
      return 2;
    case L'i':
      return 5;
    case L'n':
      return 7;
    case L'y':
      return 6;
    case L'r':
      fputs("Dans Anjuta, utiliser la Stack Trace pour voir la fonction en cours et F7 pour reprendre l'execution\n",
            stderr);
      fflush(stderr);
      return 4;
    default:
      return 1;
  }
}

int MessageBox(HWND__* owner, const wchar_t* text, const wchar_t* caption, unsigned int type) {
  const int answer = AskSibling(owner, text, caption, type);
  return answer != -1 ? answer : _MessageBox_NO_GUI(text, caption, type, 1);
}

int MessageBoxW(HWND__*, const unsigned short* text, const wchar_t* caption, unsigned int type) {
  std::wstring wide;
  if (text != nullptr) {
    const int units = utf16len(text);
    wide.assign(units, 0);
    wide.resize(units == 0 ? 0 : UTF16ToWideChar(text, units, wide.data(), units));
  }
  return _MessageBox_NO_GUI(wide.c_str(), caption, type, 1);
}

void OutputDebugString(const wchar_t* text) {
  fputs(UTF8(text).c_str(), stderr);
  fflush(stderr);
}
