// Started by the process tests: writes its arguments after the first, each followed by a zero
// byte, to the file named by QX_ECHO_FILE (when set and not empty).
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  const char* path = getenv("QX_ECHO_FILE");
  FILE* f = path != nullptr && path[0] != 0 ? fopen(path, "wb") : nullptr;
  for (int i = 1; f != nullptr && i < argc; ++i) fwrite(argv[i], 1, strlen(argv[i]) + 1, f);
  return f != nullptr && fclose(f) != 0 ? 2 : 0;
}
