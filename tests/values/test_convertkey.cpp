#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "common/membtree.h"
#include "common/utf.h"
#include "host/host_kj.h"
#include "mysql/mysqldriver.h"
#include "tests/support/any_test_values.h"
#include "tests/support/exact_alloc.h"
#include "values/convertkey.h"
#include "values/datetime.h"

using namespace std::string_literals;

namespace {

constexpr unsigned short kDriverOptions = 0x2800;
constexpr unsigned short kFold = CKJConvertKey::KEY_NOCASE | CKJConvertKey::KEY_NOACCENT | CKJConvertKey::KEY_BIGENDIAN;

std::string Hex(const std::string& s) {
  std::string r;
  for (unsigned char c : s) r += "0123456789abcdef"[c >> 4], r += "0123456789abcdef"[c & 15];
  return r;
}
std::string Utf32(const std::u32string& s) {
  std::u32string z = s + U'\0';
  return std::string(reinterpret_cast<const char*>(z.data()), z.size() * 4);
}
CAny Value(unsigned short type, const void* bytes, size_t n) {
  CAny a;
  a.__SetType(type, 0);
  a.SetValueByte(bytes, static_cast<unsigned int>(n));
  return a;
}
CAny Value(unsigned short type, const std::string& bytes) { return Value(type, bytes.data(), bytes.size()); }
CAny Wide(unsigned short type, const std::u32string& s) { return Value(type, s.data(), s.size() * 4); }

class KeyTest : public AnyTest {
 protected:
  KeyTest() { m_driver->bSetKJ(&m_kj); }
  // The key of v in one key size (zero-filled first), with its answer.
  std::string Key(CAny& v, unsigned short type, unsigned short options, unsigned int* pSize = nullptr,
                  unsigned int keySize = 96) {
    std::string k(keySize, '\0');
    const unsigned int n = CConvertKey::nConvertKeyAndGetSize(&v, reinterpret_cast<unsigned char*>(k.data()), keySize,
                                                              type, options, 13, 6);
    if (pSize != nullptr) *pSize = n;
    return k;
  }

  CHostKJ m_kj;
  std::unique_ptr<CMySQLDriver> m_driver = std::make_unique<CMySQLDriver>();
};

struct RawCase {
  const char* what;
  int keyType;
  std::string value;
  unsigned int keySize;
  unsigned short options;
  int unicodeFlags;
  std::string key;  // the key buffer starts as 0xEE bytes
  unsigned int size;
};

TEST_F(KeyTest, EachKindWritesItsKeyWithinTheKeySize) {
  const double minusZero = -0.0, minusOne = -1.0;
  const RawCase cases[] = {
      {"I4 -1", 4, "\xff\xff\xff\xff", 4, 0, 0, "7fffffff", 4},
      {"I4 0", 4, "\0\0\0\0"s, 4, 0, 0, "80000000", 4},
      {"I4 1", 4, "\x01\0\0\0"s, 4, 0, 0, "80000001", 4},
      {"UI2 0x1234", 9, "\x34\x12", 2, 0, 0, "1234", 2},
      {"R8 -0.0 keys as +0.0", 7, std::string(reinterpret_cast<const char*>(&minusZero), 8), 8, 0, 0,
       "8000000000000000", 8},
      {"R8 -1.0", 7, std::string(reinterpret_cast<const char*>(&minusOne), 8), 8, 0, 0, "400fffffffffffff", 8},
      {"date-time 2024-02-03 12:00", 15, "\x03\x02\xe8\x07\x00\x2e\x93\x02"s, 8, 0, 0, "07e8020302932e00", 8},
      {"binary 0A FF in 6 bytes", 17, "\x0a\xff", 6, 0, 0, "306166663030", 4},
      {"binary 01", 17, "\x01", 4, 0, 0, "30313030", 2},
      {"binary 01 00 keys as 01", 17, "\x01\0"s, 4, 0, 0, "30313030", 4},
      {"narrow ab in 4 bytes", 1, "ab", 4, 0, 0, "61620000", 2},
      {"narrow abcdef in 4 bytes", 12, "abcdef", 4, 0, 0, "61626300", 4},
      {"narrow 1-byte key", 1, "\xff", 1, 0, 0, "00", 1},
      {"folded top character stays 0xFF", 1, "ab\xff\0"s, 5, 0x80, 0, "4142ff0000", 4},
      {"U+0100 big-endian", 20, Utf32(U"\u0100"), 6, kDriverOptions, 0x10, "010000000000", 4},
      {"A big-endian", 20, Utf32(U"A"), 6, kDriverOptions, 0x10, "004100000000", 4},
      {"U+E000 below the surrogates", 21, Utf32(U"\ue000"), 6, 0, 0x10, "d80000000000", 4},
      {"U+10000 as a pair above U+FFFF", 20, Utf32(U"\U00010000"), 8, 0, 0x10, "f800fc0000000000", 6},
      {"pair without room is dropped", 20, Utf32(U"a\U00010000"), 6, 0, 0x10, "006100000000", 6},
      {"16-bit units", 21, "\x41\0\0\x01\0\0"s, 8, 0x02, 0, "0041010000000000", 6},
      {"last unit stays 0", 21, "\x41\0\x42\0"s, 4, 0, 0, "00410000", 4},
      {"I4 without room writes nothing", 4, "\x01\0\0\0"s, 3, 0, 0, "eeeeee", 0},
      {"I8 from 4 bytes reads nothing", 5, "\x01\0\0\0"s, 8, 0, 0, "eeeeeeeeeeeeeeee", 0},
      {"key type 13 keys nothing", 13, "ab", 2, 0, 0, "eeee", 0},
      {"key type 23 keys nothing", 23, "ab", 2, 0, 0, "eeee", 0},
      {"decimal without room", 22, std::string(18, '\0'), 31, 0, 0, std::string(62, 'e'), 0},
  };
  for (const RawCase& c : cases) {
    Heap<unsigned char> key = Exact<unsigned char>(c.keySize);
    memset(key.get(), 0xEE, c.keySize);
    Heap<char> value = Exact<char>(c.value.size());
    memcpy(value.get(), c.value.data(), c.value.size());
    const unsigned int n = CKJConvertKey::__nConvertKey(key.get(), c.keySize, value.get(),
                                                        static_cast<unsigned int>(c.value.size()),
                                                        eITEMTYPE(c.keyType), c.options, 0, 0, 0, c.unicodeFlags);
    EXPECT_EQ(Hex(std::string(reinterpret_cast<char*>(key.get()), c.keySize)), c.key) << c.what;
    EXPECT_EQ(n, c.size) << c.what;
  }
}

struct AnyCase {
  const char* what;
  std::function<CAny()> make;
  unsigned short type;
  unsigned short options;
  unsigned int keySize;
  const char* key;
  unsigned int size;
};

TEST_F(KeyTest, VariantValuesAreCastOnACopy) {
  const AnyCase cases[] = {
      {"NULL as I4 keys 0", [] { CAny a; a.SetI4(5); a.SetNull(true); return a; }, ZV_I4, 0, 4, "80000000", 4},
      {"NULL of its own type keys zeros", [] { CAny a; a.SetI4(5); a.SetNull(true); return a; }, 0, 0, 6,
       "000000000000", 2},
      {"empty value keys zeros", [] { return CAny(); }, ZV_PSTRA, 0, 3, "000000", 1},
      {"refused cast keys a zeroed I8", [] { return Value(ZV_DSTRA, "ab"s); }, ZV_I8, 0, 8, "8000000000000000", 8},
      {"every true BOOL keys as 1", [] { CAny a; a.SetBOOL(256); return a; }, ZV_BOOL, 0, 1, "81", 1},
      {"descending", [] { CAny a; a.SetI4(1); return a; }, ZV_I4, 0x400, 4, "7ffffffe", 4},
      {"I2 cast to I4", [] { CAny a; a.SetI2(-2); return a; }, ZV_I4, 0, 4, "7ffffffe", 4},
      {"narrow text with terminator", [] { return Value(ZV_PSTRA, "ab"s); }, ZV_PSTRA, 0, 4, "61620000", 3},
      {"wide text as UTF-16", [] { return Wide(ZV_DSTRW, U"a\u00e9"); }, ZV_DSTRW, 0, 8, "006100e900000000", 6},
      {"unknown type keys as I4", [] { CAny a; a.SetI4(1); return a; }, 77, 0, 4, "eeeeeeee", 0},
      {"decimal", [] { return FromText(ZV_DECIMAL, L"1.5"); }, ZV_DECIMAL, 0, 32, nullptr, 32},
  };
  for (const AnyCase& c : cases) {
    CAny v = c.make();
    const std::string before = Whole(v);
    std::string key(c.keySize, '\xee');
    const unsigned int n = CConvertKey::nConvertKeyAndGetSize(&v, reinterpret_cast<unsigned char*>(key.data()),
                                                              c.keySize, c.type, c.options, 13, 6);
    EXPECT_TRUE(c.key == nullptr || Hex(key) == c.key) << c.what << ": " << Hex(key);
    EXPECT_EQ(n, c.size) << c.what;
    EXPECT_EQ(Whole(v), before) << c.what;
  }
}

TEST_F(KeyTest, KeySizesFollowTheTypeTables) {
  const struct {
    unsigned short type;
    unsigned int n, size;
  } cases[] = {{ZV_DSTRW, 40, 82},        {ZV_BIN, 10, 20},          {ZV_DECIMAL, 5, 32},       {77, 4, 4},
               {ZV_BUFFER, 7, 7},         {ZV_PSTRA, 0x7FFFFEFE, 0x7FFFFEFF}, {ZV_PSTRA, 0x7FFFFEFF, 0},
               {ZV_PSTRW, 0x3FFFFF7F, 0}, {ZV_BIN, 0xFFFFFFFF, 0}};
  for (const auto& c : cases) EXPECT_EQ(CKJConvertKey::nCalculateKeySize(c.type, c.n), c.size) << c.type;

  // Boundaries of both tables, then what every type code gives: an allocated key that holds
  // what is written into it (ASan checks the reads of each value and the writes of each key).
  EXPECT_EQ(CKJConvertKey::nGetItemType(0), 5);
  EXPECT_EQ(CKJConvertKey::nGetItemType(ZV_TIMEA), 11);
  EXPECT_EQ(CKJConvertKey::nGetItemType(ZV_TIMEA + 1), 5);
  EXPECT_EQ(CKJConvertKey::eGetKeyType(41), 22);
  EXPECT_EQ(CKJConvertKey::eGetKeyType(42), -1);
  EXPECT_EQ(CKJConvertKey::eGetKeyType(-1), -1);
  for (int item = 0; item < 42; ++item) EXPECT_LE(CKJConvertKey::eGetKeyType(item), 22) << item;
  for (unsigned short type = 0; type < 256; ++type) {
    CAny v;
    v.__SetType(type, 0);
    unsigned char* key = nullptr;
    const unsigned int n = CConvertKey::nConvertKeyAndGetSize(&v, &key, type, 0, 13, 6);
    unsigned int size = 0;
    v.Intern()->nGetUtilDataSize(&size);
    EXPECT_TRUE(key == nullptr || n <= CKJConvertKey::nCalculateKeySize(type, size + 4)) << type;
    free(key);
  }
}

TEST_F(KeyTest, FastSortWeightsArePermutationInCollationOrder) {
  auto weight = [](unsigned int u) { return tabUCS2FastSort[u][0] << 8 | tabUCS2FastSort[u][1]; };
  std::vector<bool> seen(0x10000);
  for (unsigned int u = 0; u < 0x10000; ++u) {
    ASSERT_FALSE(seen[weight(u)]) << u;
    seen[weight(u)] = true;
    EXPECT_TRUE(u == 0xFFFF || (u >= 0xD800 && u <= 0xDFFF) || weight(u) < weight(0xD800)) << u;
  }
  EXPECT_EQ(weight(0), 0);
  EXPECT_EQ(weight(0xFFFF), 0xFFFF);
  for (unsigned int u = 0xD800; u < 0xDFFF; ++u) EXPECT_EQ(weight(u + 1), weight(u) + 1) << u;
  const char32_t ordered[] = U" !09aA\u00e1\u00c1\u00e0\u00c0bBzZ";
  for (size_t i = 0; ordered[i + 1] != 0; ++i) EXPECT_LT(weight(ordered[i]), weight(ordered[i + 1])) << i;
  // Printable ASCII by class: the blank, punctuation and symbols, digits, letters.
  auto rank = [](unsigned int c) { return c == ' ' ? 0 : isdigit(c) ? 2 : isalpha(c) ? 3 : 1; };
  for (unsigned int a = 0x20; a < 0x7F; ++a)
    for (unsigned int b = 0x20; b < 0x7F; ++b)
      EXPECT_TRUE(rank(a) >= rank(b) || weight(a) < weight(b)) << a << " " << b;
  // Keys with option 0x01 follow the weights.
  CAny a = Wide(ZV_PSTRW, U"a"), upper = Wide(ZV_PSTRW, U"A"), b = Wide(ZV_PSTRW, U"b");
  EXPECT_LT(Key(a, ZV_PSTRW, 0x01), Key(upper, ZV_PSTRW, 0x01));
  EXPECT_LT(Key(upper, ZV_PSTRW, 0x01), Key(b, ZV_PSTRW, 0x01));
}

TEST_F(KeyTest, FoldingGoesThroughTheEngineTextService) {
  unsigned int n = 0;
  CAny e1 = Value(ZV_PSTRA, "\xe9"s), e2 = Value(ZV_PSTRA, "E"s);
  EXPECT_EQ(Key(e1, ZV_PSTRA, kFold), Key(e2, ZV_PSTRA, kFold));
  EXPECT_NE(Key(e1, ZV_PSTRA, 0), Key(e2, ZV_PSTRA, 0));
  CAny w1 = Wide(ZV_PSTRW, U"\u00e9t\u00e9"), w2 = Wide(ZV_DSTRW, U"ETE");
  EXPECT_EQ(Key(w1, ZV_PSTRW, kFold, &n), Key(w2, ZV_DSTRW, kFold));
  EXPECT_EQ(n, 6u);
  EXPECT_EQ(m_kj.m_service.m_nCallsUTF32, 2);
  EXPECT_NE(Key(w1, ZV_PSTRW, 0x80), Key(w2, ZV_DSTRW, 0x80)) << "case alone folds only with 0x01 or 0x02";
  // Blanks and punctuation go with 0x40; pairs above U+FFFF survive the fold.
  CAny p1 = Wide(ZV_PSTRW, U"a, b\U0001F600"), p2 = Wide(ZV_PSTRW, U"ab\U0001F600");
  EXPECT_EQ(Key(p1, ZV_PSTRW, 0x40), Key(p2, ZV_PSTRW, 0x40));

  const std::string zero(96, '\0');
  m_kj.m_bNoService = true;
  EXPECT_EQ(Key(w1, ZV_PSTRW, kFold, &n), zero);
  EXPECT_EQ(n, 0u);
  m_driver->bSetKJ(nullptr);
  EXPECT_EQ(Key(w1, ZV_PSTRW, kFold, &n), zero);
  m_driver.reset();
  EXPECT_EQ(Key(w1, ZV_PSTRW, kFold, &n), zero);
  EXPECT_EQ(n, 0u);
  EXPECT_NE(Key(w1, ZV_PSTRW, 0), zero) << "no folding needs no service";
}

TEST_F(KeyTest, NoDecimalGivesNoKey) {
  // The factory fails its n-th creation: the copy of the value's, then the key's own.
  static IDecimalFactory* s_real;
  static int s_nLeft;
  struct : IDecimalFactory {
    IDecimal* piCreate(int n) override { return s_nLeft-- == 0 ? nullptr : s_real->piCreate(n); }
    void Free(IDecimal* p) override { s_real->Free(p); }
  } failing;
  CAny d = FromText(ZV_DECIMAL, L"2");
  s_real = gpiVMFactory;
  gpiVMFactory = &failing;
  for (int n = 0; n < 2; ++n) {
    s_nLeft = n;
    unsigned char* key = reinterpret_cast<unsigned char*>(1);
    EXPECT_EQ(CConvertKey::nConvertKeyAndGetSize(&d, &key, ZV_DECIMAL, 0, 13, 6), 0u) << n;
    EXPECT_EQ(key, nullptr) << n;
  }
  gpiVMFactory = s_real;
}

// A value's order as a tuple: reals, integers (and currency, dates, decimals), narrow bytes, code points.
struct Model {
  long double r = 0;
  __int128 i = 0;
  std::string s;
  std::u32string w;
  auto Tie() const { return std::tie(r, i, s, w); }
};
using Maker = std::function<CAny(std::mt19937_64&, Model&)>;

char32_t RandomChar(std::mt19937_64& rng) {
  static const char32_t ranges[][2] = {{0x20, 0x7E}, {0x100, 0xD7FF}, {0xE000, 0xFFFF}, {0x10000, 0x10FFFF}};
  const auto& r = ranges[rng() % 4];
  // Few characters per range, so that texts often share prefixes.
  const char32_t picks[] = {r[0], r[0] + 1, r[1] - 1, r[1]};
  return picks[rng() % 4];
}
std::u32string RandomText(std::mt19937_64& rng) {
  std::u32string s(rng() % 6, U'\0');
  for (char32_t& c : s) c = RandomChar(rng);
  return s;
}
std::string Utf8(const std::u32string& s) {
  std::string r;
  for (char32_t c : s) {
    char buf[5];
    r.append(buf, static_cast<size_t>(UTF32ToUTF8(static_cast<wchar_t>(c), buf)));
  }
  return r;
}
template <typename T>
Maker Integer(unsigned short type) {
  return [type](std::mt19937_64& rng, Model& m) {
    T v = static_cast<T>(rng() % 3 == 0 ? rng() % 5 : rng());
    if (rng() % 4 == 0) v = rng() % 2 ? std::numeric_limits<T>::min() : std::numeric_limits<T>::max();
    m.i = v;
    return Value(type, &v, sizeof v);
  };
}
template <typename T>
Maker Real(unsigned short type) {
  return [type](std::mt19937_64& rng, Model& m) {
    const T special[] = {0, -T(0), std::numeric_limits<T>::infinity(), -std::numeric_limits<T>::infinity(),
                         std::numeric_limits<T>::denorm_min(), -std::numeric_limits<T>::denorm_min(),
                         std::numeric_limits<T>::min() / 2, std::numeric_limits<T>::max(), T(1), T(-1)};
    uint64_t bits = rng();
    T v;
    memcpy(&v, &bits, sizeof v);
    if (rng() % 2 || std::isnan(v)) v = special[rng() % 10];
    m.r = v;
    return Value(type, &v, sizeof v);
  };
}

TEST_F(KeyTest, KeyOrderIsValueOrder) {
  const std::pair<const char*, Maker> kinds[] = {
      {"I1", Integer<int8_t>(ZV_I1)},       {"I2", Integer<int16_t>(ZV_I2)},   {"I4", Integer<int32_t>(ZV_I4)},
      {"I8", Integer<int64_t>(ZV_I8)},      {"UI1", Integer<uint8_t>(ZV_UI1)}, {"UI2", Integer<uint16_t>(ZV_UI2)},
      {"UI4", Integer<uint32_t>(ZV_UI4)},   {"UI8", Integer<uint64_t>(ZV_UI8)}, {"R4", Real<float>(ZV_R4)},
      {"R8", Real<double>(ZV_R8)},          {"DUREE", Integer<int64_t>(ZV_DUREE)},
      {"BOOL", [](std::mt19937_64& rng, Model& m) { CAny a; a.SetBOOL(static_cast<int>(rng() % 3)); m.i = Area<int>(a) != 0; return a; }},
      {"CY", [](std::mt19937_64& rng, Model& m) {
         unsigned char b[10];
         for (unsigned char& c : b) c = static_cast<unsigned char>(rng() % 3 == 0 ? 0 : rng());
         m.i = static_cast<int16_t>(b[8] | b[9] << 8);
         for (int k = 7; k >= 0; --k) m.i = m.i * 256 + b[k];
         return Value(ZV_CY, b, 10);
       }},
      {"DATETIME", [](std::mt19937_64& rng, Model& m) {
         CDateTime d;
         d.Set(1 + static_cast<int>(rng() % 9999), 1 + static_cast<int>(rng() % 12), 1 + static_cast<int>(rng() % 28),
               static_cast<int>(rng() % 24), 0, 0, static_cast<int>(rng() % 3));
         m.i = (static_cast<__int128>(d.dwGetMotDate()) << 32) + d.m_dwMilli;
         return Value(ZV_DATETIME, &d, sizeof d);
       }},
      {"DECIMAL", [](std::mt19937_64& rng, Model& m) {
         const int64_t v = static_cast<int64_t>(rng() % 2000000000000000001ull) - 1000000000000000000;
         const uint64_t a = static_cast<uint64_t>(v < 0 ? -v : v);
         m.i = v;
         wchar_t text[40];
         swprintf(text, 40, L"%s%llu.%06llu", v < 0 ? "-" : "", a / 1000000, a % 1000000);
         return FromText(ZV_DECIMAL, text);
       }},
      {"PSTRA 1252", [](std::mt19937_64& rng, Model& m) {
         const char alphabet[] = "\x01 A\x7f\x80\xc9\xfe\xff";
         m.s.resize(rng() % 6);
         for (char& c : m.s) c = alphabet[rng() % 8];
         return Value(ZV_PSTRA, m.s);
       }},
      {"DSTRA UTF-8", [](std::mt19937_64& rng, Model& m) {
         m.s = Utf8(RandomText(rng));
         return Value(ZV_DSTRA, m.s);
       }},
      {"DSTRW", [](std::mt19937_64& rng, Model& m) { m.w = RandomText(rng); return Wide(ZV_DSTRW, m.w); }},
      {"PSTRW", [](std::mt19937_64& rng, Model& m) { m.w = RandomText(rng); return Wide(ZV_PSTRW, m.w); }},
  };
  std::mt19937_64 rng(16);
  for (const auto& [name, make] : kinds) {
    for (int round = 0; round < 1500; ++round) {
      Model ma, mb;
      CAny a = make(rng, ma), b = rng() % 8 ? make(rng, mb) : (mb = ma, CAny(a));
      const unsigned short type = a.wGetType();
      const int order = ma.Tie() < mb.Tie() ? -1 : mb.Tie() < ma.Tie() ? 1 : 0;
      for (unsigned short options : {kDriverOptions, static_cast<unsigned short>(kDriverOptions | 0x400)}) {
        const int got = memcmp(Key(a, type, options).data(), Key(b, type, options).data(), 96);
        const int want = options & 0x400 ? -order : order;
        ASSERT_EQ((got > 0) - (got < 0), want) << name << " round " << round << " options " << options;
      }
    }
  }
}

TEST_F(KeyTest, WideTextKeysWalkTheTreeInCodePointOrder) {
  const unsigned int keySize = CKJConvertKey::nCalculateKeySize(ZV_DSTRW, 4 * 6 + 4);
  CMemBTree tree;
  ASSERT_TRUE(tree.bInit(keySize, sizeof(int), [](const void* a, const void* b, unsigned int n) { return memcmp(a, b, n); },
                         [](const void* a, const void* b, unsigned int) {
                           return *static_cast<const int*>(a) - *static_cast<const int*>(b);
                         }, 0));
  std::mt19937_64 rng(20000);
  std::vector<std::u32string> texts(20000);
  for (int row = 0; row < 20000; ++row) {
    texts[row] = RandomText(rng);
    CAny v = Wide(row % 2 ? ZV_DSTRW : ZV_PSTRW, texts[row]);
    ASSERT_TRUE(tree.bInsert(Key(v, v.wGetType(), kDriverOptions, nullptr, keySize).data(), &row)) << row;
  }
  tree.GotoFirstRecord();
  int moved = 0, count = 0;
  for (const std::u32string* previous = nullptr; tree.pReadKey() != nullptr; tree.bAdvance(1, &moved, 4), ++count) {
    const std::u32string* text = &texts[*static_cast<const int*>(tree.pReadValue())];
    ASSERT_TRUE(previous == nullptr || *previous <= *text) << count;
    previous = text;
  }
  EXPECT_EQ(count, 20000);
}

}  // namespace
