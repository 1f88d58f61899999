// Started by the process tests: writes its arguments after the first, each followed by a zero
// byte, to the file named by QX_ECHO_FILE, then exits with the code QX_ECHO_EXIT (default 0).
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  const char* path = getenv("QX_ECHO_FILE");
  if (path != nullptr && path[0] != 0) {
    FILE* f = fopen(path, "wb");
    if (f == nullptr) return 2;
    for (int i = 1; i < argc; ++i) fwrite(argv[i], 1, strlen(argv[i]) + 1, f);
    fclose(f);
  }
  const char* code = getenv("QX_ECHO_EXIT");
  return code != nullptr ? atoi(code) : 0;
}
