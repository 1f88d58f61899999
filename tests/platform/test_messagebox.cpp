// Message boxes in a forked child whose standard input and error are pipes: the exact prompt
// bytes, the answers, a bounded read, and the stand-in sibling module.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "platform/messagebox.h"
#include "platform/modulepath.h"

namespace {

struct Box {
  int code;          // the child's exit code: the button
  std::string err;  // what it wrote on its error stream
};

// Runs call in a child fed input, with the code it answers and what it wrote on its error stream.
Box InChild(const std::function<int()>& call, const std::string& input) {
  int in[2], err[2];
  EXPECT_TRUE(pipe(in) == 0 && pipe(err) == 0);
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(err[1], 2);
    close(in[0]), close(in[1]), close(err[0]), close(err[1]);
    const int code = call();
    _exit(fflush(stderr) == 0 ? code : 99);
  }
  close(in[0]), close(err[1]);
  EXPECT_EQ(write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  close(in[1]);
  Box box{-1, {}};
  char chunk[512];
  ssize_t n;
  while ((n = read(err[0], chunk, sizeof chunk)) > 0) box.err.append(chunk, static_cast<size_t>(n));
  close(err[0]);
  int status = 0;
  box.code = waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return box;
}

const std::string kHead = "Titre \xC3\xA9\nTexte \xF0\x9F\x98\x80\n";
const std::string kHint =
    "Dans Anjuta, utiliser la Stack Trace pour voir la fonction en cours et F7 pour reprendre l'execution\n";
const char* const kPrompts[] = {
    "Appuyez sur ENTREE pour continuer : \n",
    "Entrez votre choix (o = OK, c = CANCEL) pour continuer (exemple : o + ENTREE) : \n",
    "Entrez votre choix (r = RETRY, a = ABORT, i = IGNORE) pour continuer (exemple : r + ENTREE) : \n",
    "Entrez votre choix (y = YES, n = NO, c = CANCEL) pour continuer (exemple : y + ENTREE) : \n",
    "Entrez votre choix (y = YES, n = NO) pour continuer (exemple : y + ENTREE) : \n",
    "Entrez votre choix (r = RETRY, c = CANCEL) pour continuer (exemple : r + ENTREE) : \n",
};

int Ask(unsigned int type) { return MessageBox(nullptr, L"Texte \U0001F600", L"Titre \u00e9", type); }

TEST(MessageBoxConsole, PromptsAndAnswers) {
  struct Row {
    unsigned int type;
    std::string input;
    int code;
    const char* prompt;
    bool bHint;  // the debugger hint follows the prompt
  } rows[] = {
      {0, "\n", 1, kPrompts[0], false},
      {1, "c\n", 2, kPrompts[1], false},
      {2, "a", 3, kPrompts[2], false},
      {2, "  \n\t i\n", 5, kPrompts[2], false},
      {3, "n\n", 7, kPrompts[3], false},
      {4, "y\n", 6, kPrompts[4], false},
      {4, "Y\n", 1, kPrompts[4], false},
      {4, "", 1, kPrompts[4], false},
      {4, std::string(500, 'n') + "\n", 7, kPrompts[4], false},
      {5, "r\n", 4, kPrompts[5], true},
      {0x10, "i\n", 5, kPrompts[2], false},
      {0x24, "y\n", 6, kPrompts[2], false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.type << " " << r.input.substr(0, 8));
    const Box box = InChild([&r] { return Ask(r.type); }, r.input);
    EXPECT_EQ(box.code, r.code);
    EXPECT_EQ(box.err, kHead + r.prompt + (r.bHint ? kHint : ""));
  }
  // Over 49 characters, the rest of the word is the next answer.
  const Box cut = InChild([] { return Ask(4) * 10 + Ask(4); }, std::string(49, 'n') + "y\n");
  EXPECT_EQ(cut.code, 76);

  const auto* text = reinterpret_cast<const unsigned short*>(u"Texte \U0001F600");
  const Box wide = InChild([text] { return MessageBoxW(nullptr, text, L"Titre \u00e9", 3); }, "c\n");
  EXPECT_TRUE(wide.code == 2 && wide.err == kHead + kPrompts[3]);
}

TEST(MessageBoxSibling, AnswersItsCodeOrFallsBackToTheConsole) {
  wchar_t exe[512];
  ASSERT_TRUE(GetModuleFileNameW(nullptr, exe, 512));
  const std::wstring dir = std::wstring(exe).substr(0, std::wstring(exe).rfind(L'/') + 1);
  const auto load = [sibling = std::string(dir.begin(), dir.end()) + "qx200obj.so"](int answer) {
    void* module = dlopen(sibling.c_str(), RTLD_NOW);
    if (module == nullptr) return 99;
    reinterpret_cast<void (*)(int)>(dlsym(module, "QXOBJ_SetAnswer"))(answer);
    return Ask(4);
  };
  const Box shown = InChild([&load] { return load(6); }, ""), fallback = InChild([&load] { return load(-1); }, "n");
  EXPECT_TRUE(shown.code == 6 && shown.err.empty());
  EXPECT_TRUE(fallback.code == 7 && fallback.err == kHead + kPrompts[4]);
  EXPECT_EQ(InChild([] { return Ask(4); }, "").code, 1);  // not loaded: the console
}

}  // namespace
