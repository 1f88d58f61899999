// Helpers shared by the fuzz targets: the fuzzer's bytes cut into the small values a target needs,
// the stand-in host's services installed once, and the check that stops a run on a wrong answer.
// Nothing here allocates beyond the standard containers it returns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/host_services.h"

// A wrong answer is a finding like a crash: libFuzzer keeps the input that gave it.
#define FUZZ_CHECK(cond, ...)                                                  \
  do {                                                                         \
    if (!(cond)) {                                                             \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::fprintf(stderr, __VA_ARGS__);                                       \
      std::fprintf(stderr, "\n");                                              \
      std::abort();                                                            \
    }                                                                          \
  } while (0)

// The runtime reads the host's allocator and locale service from its statics.
inline void FuzzInstallHost() {
  static const bool installed = (HostInstallServices(), true);
  (void)installed;
}

// Reads the input from the front; past the end every read gives 0 / empty.
class CFuzzInput {
 public:
  CFuzzInput(const uint8_t* data, size_t size) : m_p(data), m_n(size) {}
  bool bEmpty() const { return m_n == 0; }
  size_t nLeft() const { return m_n; }
  uint8_t Byte() {
    if (m_n == 0) return 0;
    --m_n;
    return *m_p++;
  }
  uint32_t U32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | Byte();
    return v;
  }
  uint64_t U64() { return static_cast<uint64_t>(U32()) << 32 | U32(); }
  // At most n bytes (all that is left for n = SIZE_MAX).
  std::string Bytes(size_t n = SIZE_MAX) {
    if (n > m_n) n = m_n;
    std::string s(reinterpret_cast<const char*>(m_p), n);
    m_p += n;
    m_n -= n;
    return s;
  }
  // A text of one character per byte, alphabet[byte % size], up to a byte equal to stop or the
  // end; the stop byte is consumed.
  std::wstring Text(const std::wstring& alphabet, uint8_t stop) {
    std::wstring s;
    while (m_n > 0) {
      const uint8_t b = Byte();
      if (b == stop) break;
      s += alphabet[b % alphabet.size()];
    }
    return s;
  }

 private:
  const uint8_t* m_p;
  size_t m_n;
};
