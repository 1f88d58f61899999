// The Windows-1252 code page as fixed data, shared by the conversion functions and the
// character classes, so that both read one mapping.
#pragma once

#include <cstdint>

// Code points of bytes 0x80-0x9F; 0 marks the five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D). Every other byte is the code point of its own value.
inline constexpr uint32_t kCP1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 0x88
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 0x98
};

// The 1252 byte of a code point, or -1 when the code page cannot hold it (U+0080-U+009F
// included: those bytes stand for other characters).
constexpr int CP1252ByteOf(uint32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
  if (c < 0x100) return -1;
  for (int i = 0; i < 32; ++i)
    if (kCP1252High[i] == c) return 0x80 + i;
  return -1;
}
