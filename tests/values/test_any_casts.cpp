// The cast matrix of the variant value: every type to every type, checked against the stand-in VM
// called directly on a copy of the value area; a hand-checked table of casts whose answers are
// known without the VM; and the release of the dynamic strings that casts and concatenation
// make, allocation failures included.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "common/xystring.h"
#include "host/host_services.h"
#include "host/vm_decimal.h"
#include "host/vm_module.h"
#include "tests/support/any_test_values.h"
#include "tests/support/stand_in_vm.h"
#include "values/any.h"
#include "values/any_operators.h"
#include "values/datetime.h"
#include "values/duree.h"
#include "values/vmbind.h"

namespace {

using ZVArea::Get;

// Asked for beyond the codes a value holds: 15 is I4, 0, 20 and 142 are no cast target.
const unsigned short kMoreTargets[] = {0, 15, 20, 142};

class AnyCasts : public StandInVMTest {
 protected:
  void SetUp() override {
    m_nDecimals = CVMDecimalFactory::Instance().nLive();
    m_nBlocks = CHostServices::Instance().nLiveBlocks();
  }
  void TearDown() override {
    CHostServices::Instance().FailNextAllocations(0);
    EXPECT_EQ(CVMDecimalFactory::Instance().nLive(), m_nDecimals) << "decimal objects leaked";
  }
  // Host string blocks alive beyond those alive when the test started.
  long nLive() const { return CHostServices::Instance().nLiveBlocks() - m_nBlocks; }

  long m_nDecimals = 0;
  long m_nBlocks = 0;
};

std::string Bytes(const void* p, size_t n) { return p != nullptr ? std::string(static_cast<const char*>(p), n) : ""; }

template <typename T>
std::string Units(const T* s, size_t nMax) {
  size_t n = 0;
  while (s != nullptr && n < nMax && s[n] != 0) ++n;
  return Bytes(s, n * sizeof(T));
}

std::string Meaning(const CAny& a);

// What a value of that code means, read straight from a 40-byte area (the runtime's and the VM's
// areas share one layout): fixed bytes, the text or bytes a pointer leads to, a decimal's 18-byte
// form, an array's elements; host objects and borrowed buffers by identity.
std::string Meaning(const unsigned char* area, unsigned short code) {
  switch (code) {
    case ZV_VIDE: return {};
    case ZV_UI1: case ZV_I1: case ZV_CARA: return Bytes(area, 1);
    case ZV_UI2: case ZV_I2: return Bytes(area, 2);
    case ZV_BOOL: case ZV_UI4: case ZV_I4: case ZV_I4BIS: case ZV_UIX: case ZV_R4: case ZV_CARW: return Bytes(area, 4);
    case ZV_UI8: case ZV_I8: case ZV_R8: case ZV_DATETIME: case ZV_DUREE: return Bytes(area, 8);
    case ZV_CY: return Bytes(area, 10);
    case ZV_DECIMAL: {
      const auto* d = Get<const IDecimal*>(area);
      if (d == nullptr) return "no decimal object";
      unsigned char form[IDecimal::kFormSize];
      d->WriteForm(form);
      return Bytes(form, sizeof form);
    }
    case ZV_DSTRW: case ZV_DSTRA: case ZV_BIN: {
      const void* p = Get<const void*>(area);
      return Bytes(p, CBaseStrMem::s_nLength(p));
    }
    case ZV_PSTRA: return Units(Get<const char*>(area), SIZE_MAX);
    case ZV_PSTRW: return Units(Get<const wchar_t*>(area), SIZE_MAX);
    case ZV_DATEW: return Units(reinterpret_cast<const wchar_t*>(area), 8);
    case ZV_TIMEW: return Units(reinterpret_cast<const wchar_t*>(area), 9);
    case ZV_DATEA: return Units(reinterpret_cast<const char*>(area), 8);
    case ZV_TIMEA: return Units(reinterpret_cast<const char*>(area), 9);
    case ZV_BUFFER: return Bytes(area, sizeof(void*) + sizeof(uint32_t));
    case ZV_TABANY: {
      const auto tab = Get<STTabAny>(area);
      std::string s = Bytes(&tab.nCount, sizeof tab.nCount);
      for (uint32_t i = 0; i < tab.nCount; ++i) s += Meaning(tab.pTab[i]);
      return s;
    }
    default: return Bytes(area, sizeof(void*));
  }
}

// The type word and the meaning of the value.
std::string Meaning(const CAny& a) {
  const uint16_t w = a.wGetTypeWord();
  return Bytes(&w, sizeof w) + Meaning(a.pGetValueArea(), a.wGetType());
}

// Everything an unchanged value keeps, in hex: its 64 bytes (type object, type word, area) and
// what the area leads to.
std::string Whole(const CAny& a) {
  const std::string bytes = Bytes(&a, sizeof a) + Meaning(a);
  std::string hex;
  for (const unsigned char c : bytes) hex += "0123456789abcdef"[c >> 4], hex += "0123456789abcdef"[c & 15];
  return hex;
}

bool bWide(unsigned short code) {
  return code == ZV_DSTRW || code == ZV_PSTRW || code == ZV_CARW || code == ZV_DATEW || code == ZV_TIMEW;
}
bool bNarrow(unsigned short code) {
  return code == ZV_DSTRA || code == ZV_PSTRA || code == ZV_CARA || code == ZV_DATEA || code == ZV_TIMEA;
}

// The text a value's class hands out, as bytes ("-" when it has none of either width).
std::string ClassText(const CAny& a) {
  const wchar_t* w = nullptr;
  if (a.Intern()->nGetPCWSTR(&w) == 0) return Units(w, SIZE_MAX);
  const char* s = nullptr;
  if (a.Intern()->nGetPCASTR(&s) == 0) return Units(s, SIZE_MAX);
  return "-";
}

// A meaning cut at its first zero unit: what a terminated text shows of it.
std::string UpToZero(const std::string& bytes, size_t unit) {
  for (size_t i = 0; i + unit <= bytes.size(); i += unit)
    if (bytes.compare(i, unit, std::string(unit, '\0')) == 0) return bytes.substr(0, i);
  return bytes;
}

// The VM's own answer for casting a's value: its code and, on success, the meaning of what it
// made (then freed as the host frees it).
struct VMAnswer {
  int n;
  std::string meaning;
};
VMAnswer AskVM(const CAny& a, unsigned short to, unsigned int nFlags, const STOCAW* pOptions) {
  alignas(8) unsigned char source[ZV_VALUE_SIZE];
  alignas(8) unsigned char dest[ZV_VALUE_SIZE];
  memcpy(source, a.pGetValueArea(), sizeof source);
  memset(dest, 0xAB, sizeof dest);
  VMAnswer r{nConversionDepassementExt(source, a.wGetType(), dest, to, nFlags, pOptions), {}};
  if (r.n <= 99) {
    r.meaning = Meaning(dest, to);
    FinConversion(dest, to);
  }
  return r;
}

// Values set the way the runtime sets them.
void SetObject(CAny& a, unsigned short code, void* p) {
  a.__SetType(code, 0);
  a.SetValueByte(&p, sizeof p);
}
void SetWide(CAny& a, unsigned short code, const wchar_t* s) {
  a.__SetType(code, 0);
  a.SetValueByte(s, static_cast<unsigned int>(wcslen(s) * sizeof(wchar_t)));
}
void SetNarrow(CAny& a, unsigned short code, const std::string& s) {
  a.__SetType(code, 0);
  a.SetValueByte(s.data(), static_cast<unsigned int>(s.size()));
}
// A code without a setter of its own: the text cast to it.
void SetByCast(CAny& a, unsigned short code, const wchar_t* s) {
  SetWide(a, ZV_PSTRW, s);
  ASSERT_EQ(a.__nCastTo(code, nullptr, 1), 0) << code;
}

CAny Make(const std::function<void(CAny&)>& make) {
  CAny a;
  make(a);
  return a;
}

struct Source {
  const char* name;
  unsigned short code;
  std::function<void(CAny&)> make;
  bool bHasText;
  std::wstring text;  // what it reads back as wide text
};

struct HostObjects {
  HostObject object, dino, traitement;
  HostCounted image, convoyeur, police;
  CAny elements[2];
  const char buffer[4] = {'1', '2', '3', '4'};

  HostObjects() {
    elements[0].SetI4(1);
    SetWide(elements[1], ZV_DSTRW, L"two");
  }
  void ExpectReleased() const {
    for (const HostObject* o : {&object, &dino, &traitement}) EXPECT_EQ(o->nRef, 1);
    for (const HostCounted* o : {&image, &convoyeur, &police}) EXPECT_EQ(o->m_nRef, 1);
  }
};

std::vector<Source> Sources(HostObjects& h) {
  using S = Source;
  return {
      S{"empty", ZV_VIDE, [](CAny&) {}, true, L""},
      S{"BOOL true", ZV_BOOL, [](CAny& a) { a.SetBOOL(1); }, true, L"1"},
      S{"UI1 200", ZV_UI1, [](CAny& a) { a.SetUI1(200); }, true, L"200"},
      S{"UI2 60000", ZV_UI2, [](CAny& a) { a.SetUI2(60000); }, true, L"60000"},
      S{"UI4 4000000000", ZV_UI4, [](CAny& a) { a.SetUI4(4000000000u); }, true, L"4000000000"},
      S{"UI8 above I8", ZV_UI8, [](CAny& a) { a.SetUI8(12345678901234567890ULL); }, true, L"12345678901234567890"},
      S{"I1 -100", ZV_I1, [](CAny& a) { a.SetI1(-100); }, true, L"-100"},
      S{"I2 -30000", ZV_I2, [](CAny& a) { a.SetI2(-30000); }, true, L"-30000"},
      S{"I4 -123456", ZV_I4, [](CAny& a) { a.SetI4(-123456); }, true, L"-123456"},
      // 2^53 + 1: no double holds it.
      S{"I8 -(2^53+1)", ZV_I8, [](CAny& a) { a.SetI8(-9007199254740993LL); }, true, L"-9007199254740993"},
      S{"CY", ZV_CY, [](CAny& a) { SetByCast(a, ZV_CY, L"-1234.567891"); }, true, L"-1234.567891"},
      S{"R4 3.25", ZV_R4, [](CAny& a) { a.SetR4(3.25f); }, true, L"3.25"},
      S{"R8 2.5", ZV_R8, [](CAny& a) { a.SetR8(2.5); }, true, L"2.5"},
      S{"DECIMAL", ZV_DECIMAL, [](CAny& a) { SetByCast(a, ZV_DECIMAL, L"-12345.6789"); }, true, L"-12345.6789"},
      S{"UIX 77", ZV_UIX,
        [](CAny& a) {
          const uint32_t v = 77;
          SetNarrow(a, ZV_UIX, std::string(reinterpret_cast<const char*>(&v), sizeof v));
        },
        true, L"77"},
      S{"DSTRW number", ZV_DSTRW, [](CAny& a) { SetWide(a, ZV_DSTRW, L"12.5"); }, true, L"12.5"},
      S{"DSTRW words", ZV_DSTRW, [](CAny& a) { SetWide(a, ZV_DSTRW, L"caf\u00e9 \u65e5"); }, true,
        L"caf\u00e9 \u65e5"},
      S{"DSTRW empty", ZV_DSTRW, [](CAny& a) { a.__SetType(ZV_DSTRW, 0); }, true, L""},
      S{"CARA 7", ZV_CARA, [](CAny& a) { SetNarrow(a, ZV_CARA, "7"); }, true, L"7"},
      S{"PSTRA -42", ZV_PSTRA, [](CAny& a) { SetNarrow(a, ZV_PSTRA, "-42"); }, true, L"-42"},
      S{"DSTRA date", ZV_DSTRA, [](CAny& a) { SetNarrow(a, ZV_DSTRA, "20240115"); }, true, L"20240115"},
      S{"DSTRA vrai", ZV_DSTRA, [](CAny& a) { SetNarrow(a, ZV_DSTRA, "Vrai"); }, true, L"Vrai"},
      S{"DATEW", ZV_DATEW, [](CAny& a) { a.SetDATEW(L"20240229"); }, true, L"20240229"},
      S{"TIMEW", ZV_TIMEW, [](CAny& a) { a.SetTIMEW(L"235959999"); }, true, L"235959999"},
      S{"DATETIME", ZV_DATETIME,
        [](CAny& a) {
          CDateTime dt;
          dt.Set(2024, 2, 29, 12, 34, 56, 789);
          a.SetDATETIME(dt);
        },
        true, L"20240229123456789"},
      S{"DUREE", ZV_DUREE,
        [](CAny& a) {
          CDuree d;
          d.m_llMilli = -(86400000LL + 2 * 3600000 + 3 * 60000 + 4 * 1000 + 5);
          a.SetDUREE(&d);
        },
        true, L"-1020304005"},
      S{"BIN 255", ZV_BIN, [](CAny& a) { a.SetBIN(reinterpret_cast<const unsigned char*>("255"), 3); }, true, L"255"},
      S{"BIN with a zero", ZV_BIN, [](CAny& a) { a.SetBIN(reinterpret_cast<const unsigned char*>("a\0b"), 3); }, true,
        std::wstring(L"a\0b", 3)},
      S{"BUFFER", ZV_BUFFER,
        [&h](CAny& a) {
          a.__SetType(ZV_BUFFER, 0);
          a.SetValueByte(h.buffer, sizeof h.buffer);
        },
        true, L"1234"},
      S{"MEMOIMG", ZV_MEMOIMG, [&h](CAny& a) { SetObject(a, ZV_MEMOIMG, &h.image); }, false, {}},
      S{"CONVOYEUR", ZV_CONVOYEUR, [&h](CAny& a) { SetObject(a, ZV_CONVOYEUR, &h.convoyeur); }, false, {}},
      S{"POLICE", ZV_POLICE, [&h](CAny& a) { SetObject(a, ZV_POLICE, &h.police); }, false, {}},
      S{"CARW", ZV_CARW, [](CAny& a) { SetWide(a, ZV_CARW, L"\u00e9"); }, true, L"\u00e9"},
      S{"TABANY", ZV_TABANY,
        [&h](CAny& a) {
          a.__SetType(ZV_TABANY, 0);
          a.SetValueByte(h.elements, 2);
        },
        false, {}},
      S{"OBJET_BASE", ZV_OBJET_BASE, [&h](CAny& a) { SetObject(a, ZV_OBJET_BASE, &h.object); }, false, {}},
      S{"PSTRW -42.5", ZV_PSTRW, [](CAny& a) { SetWide(a, ZV_PSTRW, L"-42.5"); }, true, L"-42.5"},
      S{"DINO", ZV_DINO, [&h](CAny& a) { SetObject(a, ZV_DINO, &h.dino); }, false, {}},
      S{"DATEA", ZV_DATEA, [](CAny& a) { a.SetDATEA("20240115"); }, true, L"20240115"},
      S{"TIMEA", ZV_TIMEA, [](CAny& a) { EXPECT_EQ(a.SetTIMEA("093000000"), 0); }, true, L"093000000"},
      S{"TRAITEMENT", ZV_TRAITEMENT, [&h](CAny& a) { SetObject(a, ZV_TRAITEMENT, &h.traitement); }, false, {}},
  };
}

std::vector<unsigned short> Targets() {
  std::vector<unsigned short> v(std::begin(kAllCodes), std::end(kAllCodes));
  v.insert(v.end(), std::begin(kMoreTargets), std::end(kMoreTargets));
  return v;
}

bool bAddRefObject(unsigned short code) {
  return code == ZV_OBJET_BASE || code == ZV_DINO || code == ZV_TRAITEMENT;
}

}  // namespace

TEST_F(AnyCasts, EverySourceReadsBackAndCopiesAlike) {
  HostObjects h;
  std::vector<bool> seen(256, false);
  for (const Source& src : Sources(h)) {
    CAny a = Make(src.make);
    ASSERT_EQ(a.wGetTypeWord(), src.code) << src.name;
    seen[src.code] = true;
    CXYString<wchar_t> text;
    const int n = a.__nFillString(text, nullptr);
    if (src.bHasText) {
      EXPECT_EQ(n, 0) << src.name;
      EXPECT_EQ(std::wstring(text.pszGet(), static_cast<size_t>(text.nGetLength())), src.text) << src.name;
    } else {
      EXPECT_GT(n, 99) << src.name;
    }
    text.ReleaseDynStr();

    for (const unsigned short wFlags : {0u, 0u + ZV_FLAGS}) {
      a.SetFlags(wFlags);
      const std::string before = Whole(a);
      CAny byCtor(a);
      CAny byAssign;
      byAssign.SetI4(1);
      byAssign = a;
      // Host objects with add-reference and release copy without flags (141 as the base code).
      const unsigned short wCode = src.code == ZV_TRAITEMENT ? uint16_t{ZV_OBJET_BASE} : src.code;
      const uint16_t wWant = bAddRefObject(src.code) ? wCode : static_cast<uint16_t>(wCode | wFlags);
      for (const CAny* copy : {&byCtor, &byAssign}) {
        EXPECT_EQ(copy->wGetTypeWord(), wWant) << src.name;
        EXPECT_EQ(Meaning(copy->pGetValueArea(), copy->wGetType()), Meaning(a.pGetValueArea(), a.wGetType()))
            << src.name;
      }
      // Changing a copy leaves the source alone, shared blocks included.
      byCtor.__nCastTo(src.code == ZV_DSTRW ? ZV_PSTRA : ZV_DSTRW, nullptr, 1);
      byAssign.__SetType(ZV_I4, 0);
      EXPECT_EQ(Whole(a), before) << src.name;
    }
  }
  for (unsigned short code : kAllCodes) EXPECT_TRUE(seen[code]) << "no source of code " << code;
  h.ExpectReleased();
}

TEST_F(AnyCasts, EveryTypeToEveryTypeAgreesWithTheVM) {
  HostObjects h;
  const STOCAW utf8{65001};
  int nSucceeded = 0, nRefused = 0;
  for (const Source& src : Sources(h)) {
    for (const unsigned short to : Targets()) {
      for (const unsigned short wFlags : {0u, 0u + ZV_FLAG_NULL, 0u + ZV_FLAG_CARRIED, 0u + ZV_FLAGS}) {
        for (const unsigned int nFlags : {0u, 1u}) {
          for (const STOCAW* pOptions : {static_cast<const STOCAW*>(nullptr), &utf8}) {
            const std::string where = std::string(src.name) + " to " + std::to_string(to) + ", flags " +
                                      std::to_string(wFlags) + "/" + std::to_string(nFlags) +
                                      (pOptions != nullptr ? ", UTF-8" : "");
            CAny a = Make(src.make);
            a.SetFlags(wFlags);
            const std::string before = Whole(a);
            if (a.wGetType() == to) {
              EXPECT_EQ(a.__nCastTo(to, pOptions, nFlags), 0) << where;
              EXPECT_EQ(Whole(a), before) << where;
              continue;
            }
            const VMAnswer vm = AskVM(a, to, nFlags, pOptions);
            const int n = a.__nCastTo(to, pOptions, nFlags);
            ASSERT_EQ(n, vm.n) << where;
            if (n > 99) {
              ++nRefused;
              EXPECT_EQ(Whole(a), before) << where;
              continue;
            }
            ++nSucceeded;
            const unsigned short code = to == ZV_I4BIS ? uint16_t{ZV_I4} : to;
            EXPECT_EQ(a.wGetTypeWord(), code | wFlags) << where;
            EXPECT_EQ(Meaning(a.pGetValueArea(), code), vm.meaning) << where;
            // The class hands out the text the VM made.
            if (bWide(code) || bNarrow(code)) {
              EXPECT_EQ(ClassText(a), UpToZero(vm.meaning, bWide(code) ? sizeof(wchar_t) : 1)) << where;
            }
          }
        }
      }
    }
  }
  // Both outcomes are well represented, not only one.
  EXPECT_GT(nSucceeded, 5000);
  EXPECT_GT(nRefused, 5000);
  h.ExpectReleased();
}

TEST_F(AnyCasts, FortyTwoThereAndBack) {
  const unsigned short kWhole[] = {ZV_UI1, ZV_UI2, ZV_UI4, ZV_I1, ZV_I2, ZV_I4, ZV_I8};
  for (const bool bNull : {false, true}) {
    const auto fortyTwo = [bNull](CAny& a) {
      a.SetI4(42);
      a.SetNull(bNull);
    };
    for (unsigned short code : kWhole) {
      CAny a = Make(fortyTwo);
      ASSERT_EQ(a.__nCastTo(code, nullptr, 0), 0) << code;
      EXPECT_EQ(a.bIsNull(), bNull);
      a.SetNull(false);
      long long n = 0;
      EXPECT_EQ(a.nGetINT_64(&n), 0) << code;
      EXPECT_EQ(n, 42) << code;
    }
    CAny a = Make(fortyTwo);
    ASSERT_EQ(a.__nCastTo(ZV_UI8, nullptr, 0), 0);
    a.SetNull(false);
    unsigned long long u = 0;
    EXPECT_EQ(a.nGetBitField_64(u), 0);
    EXPECT_EQ(u, 42u);
    for (unsigned short code : {ZV_R4, ZV_R8}) {
      CAny r = Make(fortyTwo);
      ASSERT_EQ(r.__nCastTo(code, nullptr, 0), 0);
      r.SetNull(false);
      double d = 0;
      EXPECT_EQ(r.nGetREAL(&d), 0);
      EXPECT_EQ(d, 42.0);
    }
    // Currency counts millionths over 80 bits.
    CAny cy = Make(fortyTwo);
    ASSERT_EQ(cy.__nCastTo(ZV_CY, nullptr, 0), 0);
    EXPECT_EQ(Get<int64_t>(cy.pGetValueArea()), 42000000);
    EXPECT_EQ(Get<uint16_t>(cy.pGetValueArea() + 8), 0);
    CAny dec = Make(fortyTwo);
    ASSERT_EQ(dec.__nCastTo(ZV_DECIMAL, nullptr, 0), 0);
    const wchar_t* w = nullptr;
    ASSERT_EQ(dec.__nCastToString(&w, nullptr), 0);
    EXPECT_STREQ(w, L"42");
    EXPECT_EQ(dec.bIsNull(), bNull);
    CAny b = Make(fortyTwo);
    ASSERT_EQ(b.__nCastTo(ZV_BOOL, nullptr, 0), 0);
    EXPECT_EQ(Get<int32_t>(b.pGetValueArea()), 1);

    for (unsigned short code : {ZV_DSTRW, ZV_DSTRA, ZV_PSTRW, ZV_PSTRA}) {
      CAny t = Make(fortyTwo);
      ASSERT_EQ(t.__nCastTo(code, nullptr, 0), 0) << code;
      EXPECT_EQ(t.wGetTypeWord(), code | (bNull ? ZV_FLAG_NULL : 0));
      EXPECT_EQ(ClassText(t), code == ZV_DSTRW || code == ZV_PSTRW ? Units(L"42", 2) : "42") << code;
    }
    CAny bin = Make(fortyTwo);
    ASSERT_EQ(bin.__nCastTo(ZV_BIN, nullptr, 0), 0);
    EXPECT_EQ(Meaning(bin.pGetValueArea(), ZV_BIN), "42");
    // One character of two: the first, with the cut reported.
    CAny c = Make(fortyTwo);
    EXPECT_EQ(c.__nCastTo(ZV_CARW, nullptr, 0), VM_WARN_TEXT_CUT);
    EXPECT_EQ(ClassText(c), Units(L"4", 1));
    c = Make(fortyTwo);
    EXPECT_EQ(c.__nCastTo(ZV_CARA, nullptr, 0), VM_WARN_TEXT_CUT);
    EXPECT_EQ(ClassText(c), "4");
  }

  // "42" in every text form back to numbers.
  const std::function<void(CAny&)> texts[] = {
      [](CAny& a) { SetWide(a, ZV_DSTRW, L"42"); },   [](CAny& a) { SetWide(a, ZV_PSTRW, L"42"); },
      [](CAny& a) { SetNarrow(a, ZV_DSTRA, "42"); },  [](CAny& a) { SetNarrow(a, ZV_PSTRA, "42"); },
      [](CAny& a) { a.SetBIN(reinterpret_cast<const unsigned char*>("42"), 2); },
  };
  for (const auto& make : texts) {
    CAny i4 = Make(make);
    const unsigned short from = i4.wGetType();
    ASSERT_EQ(i4.__nCastTo(ZV_I4, nullptr, 0), 0) << from;
    int n = 0;
    EXPECT_EQ(i4.nGetINT(&n), 0);
    EXPECT_EQ(n, 42) << from;
    CAny ui1 = Make(make);
    ASSERT_EQ(ui1.__nCastTo(ZV_UI1, nullptr, 0), 0) << from;
    EXPECT_EQ(ui1.pGetValueArea()[0], 42) << from;
    CAny r8 = Make(make);
    ASSERT_EQ(r8.__nCastTo(ZV_R8, nullptr, 0), 0) << from;
    EXPECT_EQ(Get<double>(r8.pGetValueArea()), 42.0) << from;
    CAny cy = Make(make);
    ASSERT_EQ(cy.__nCastTo(ZV_CY, nullptr, 0), 0) << from;
    EXPECT_EQ(Get<int64_t>(cy.pGetValueArea()), 42000000) << from;
    CAny dec = Make(make);
    ASSERT_EQ(dec.__nCastTo(ZV_DECIMAL, nullptr, 0), 0) << from;
    ASSERT_EQ(dec.__nCastTo(ZV_I8, nullptr, 0), 0) << from;
    EXPECT_EQ(Get<int64_t>(dec.pGetValueArea()), 42) << from;
  }
}

TEST_F(AnyCasts, RoundingAndRange) {
  struct Real {
    double d;
    int32_t want;
    int rc;
  } reals[] = {{2.5, 3, VM_WARN_ROUNDED}, {-2.5, -3, VM_WARN_ROUNDED}, {2.4, 2, VM_WARN_ROUNDED}, {-7.0, -7, 0}};
  for (const Real& r : reals) {
    CAny a;
    a.SetR8(r.d);
    EXPECT_EQ(a.__nCastTo(ZV_I4, nullptr, 0), r.rc) << r.d;
    EXPECT_EQ(Get<int32_t>(a.pGetValueArea()), r.want) << r.d;
  }
  CAny cy;
  SetByCast(cy, ZV_CY, L"-0.5");
  EXPECT_EQ(cy.__nCastTo(ZV_I2, nullptr, 0), VM_WARN_ROUNDED);
  EXPECT_EQ(Get<int16_t>(cy.pGetValueArea()), -1);

  // The most negative integer has no positive twin: its text must not go through one.
  CAny min;
  min.SetI8(INT64_MIN);
  CAny text(min);
  ASSERT_EQ(text.__nCastTo(ZV_DSTRW, nullptr, 0), 0);
  EXPECT_EQ(ClassText(text), Units(L"-9223372036854775808", SIZE_MAX));
  ASSERT_EQ(min.__nCastTo(ZV_DECIMAL, nullptr, 0), 0);
  ASSERT_EQ(min.__nCastTo(ZV_I8, nullptr, 0), 0);
  EXPECT_EQ(Get<int64_t>(min.pGetValueArea()), INT64_MIN);

  // Out of range: refused, the value as it was.
  const std::function<void(CAny&)> outside[] = {
      [](CAny& a) { a.SetI4(300); },
      [](CAny& a) { a.SetI4(-1); },
      [](CAny& a) { a.SetUI8(UINT64_MAX); },
      [](CAny& a) { a.SetR8(1e300); },
  };
  const unsigned short into[] = {ZV_I1, ZV_UI4, ZV_I8, ZV_R4};
  for (size_t i = 0; i < std::size(outside); ++i) {
    CAny a = Make(outside[i]);
    const std::string before = Whole(a);
    EXPECT_GT(a.__nCastTo(into[i], nullptr, 0), 99) << i;
    EXPECT_EQ(Whole(a), before) << i;
  }
}

TEST_F(AnyCasts, RealsFromTextKeepTheirMagnitude) {
  // Texts whose digits lie beyond what the exact reading keeps, and yet within a real's range.
  struct Case {
    const wchar_t* text;
    unsigned short to;
    double want;
  } cases[] = {
      {L"1e-300", ZV_R8, 1e-300},
      {L"-2.5e-80", ZV_R8, -2.5e-80},
      {L"1.2345678901234567e-70", ZV_R8, 1.2345678901234567e-70},
      {L"1e-40", ZV_R4, static_cast<double>(1e-40f)},
      {L"1e-400", ZV_R8, 0.0},
  };
  for (const Case& c : cases) {
    CAny a;
    SetWide(a, ZV_PSTRW, c.text);
    EXPECT_LT(a.__nCastTo(c.to, nullptr, 0), 100) << c.to;
    double d = -1;
    EXPECT_EQ(a.nGetREAL(&d), 0);
    EXPECT_EQ(d, c.want);
  }
  // Beyond the largest float: refused like the real 1e300 is, never read as 0.
  for (const wchar_t* t : {L"1e39", L"-1e39", L"3.4028236e38", L"1e76"}) {
    CAny a;
    SetWide(a, ZV_DSTRW, t);
    const std::string before = Whole(a);
    EXPECT_EQ(a.__nCastTo(ZV_R4, nullptr, 0), VM_ERR_OVERFLOW);
    EXPECT_EQ(Whole(a), before);
  }
  CAny max;
  SetWide(max, ZV_PSTRW, L"3.4028235e38");
  ASSERT_EQ(max.__nCastTo(ZV_R4, nullptr, 0), 0);
  EXPECT_EQ(Get<float>(max.pGetValueArea()), 3.4028235e38f);
}

TEST_F(AnyCasts, NarrowTextEndingInsideACharacter) {
  // A text cut inside its last character keeps the characters before it.
  const STOCAW utf8{65001};
  CAny a;
  SetNarrow(a, ZV_DSTRA, "caf\xc3\xa9 \xe2\x82");
  ASSERT_EQ(a.__nCastTo(ZV_DSTRW, &utf8, 0), 0);
  EXPECT_EQ(ClassText(a), Units(L"caf\u00e9 ", SIZE_MAX));
  CAny n;
  SetNarrow(n, ZV_PSTRA, "12\xe2\x82");
  ASSERT_EQ(n.__nCastTo(ZV_I4, &utf8, 0), 0);
  EXPECT_EQ(Get<int32_t>(n.pGetValueArea()), 12);
}

TEST_F(AnyCasts, DatesTimesAndDurations) {
  CDateTime dt;
  dt.Set(2024, 2, 29, 12, 34, 56, 789);
  struct Case {
    unsigned short code;
    std::string text;
  } cases[] = {
      {ZV_DATEW, Units(L"20240229", 8)},  {ZV_DATEA, "20240229"},
      {ZV_TIMEW, Units(L"123456789", 9)}, {ZV_TIMEA, "123456789"},
      {ZV_DSTRW, Units(L"20240229123456789", SIZE_MAX)},
  };
  for (const Case& c : cases) {
    CAny a;
    a.SetDATETIME(dt);
    ASSERT_EQ(a.__nCastTo(c.code, nullptr, 0), 0) << c.code;
    EXPECT_EQ(ClassText(a), c.text) << c.code;
  }
  CAny date;
  date.SetDATEW(L"20240229");
  ASSERT_EQ(date.__nCastTo(ZV_DATETIME, nullptr, 0), 0);
  CDateTime midnight;
  midnight.Set(2024, 2, 29, 0, 0, 0, 0);
  EXPECT_EQ(memcmp(date.pGetValueArea(), &midnight, sizeof midnight), 0);

  // No 29 February in 2023.
  CAny bad;
  SetWide(bad, ZV_DSTRW, L"20230229");
  const std::string before = Whole(bad);
  EXPECT_GT(bad.__nCastTo(ZV_DATEW, nullptr, 0), 99);
  EXPECT_EQ(Whole(bad), before);

  CDuree d;
  d.m_llMilli = 90061001;  // 1 day 1 h 1 min 1 s 1 ms
  CAny dur;
  dur.SetDUREE(&d);
  ASSERT_EQ(dur.__nCastTo(ZV_I8, nullptr, 0), 0);
  EXPECT_EQ(Get<int64_t>(dur.pGetValueArea()), 90061001);
}

TEST_F(AnyCasts, WhatIsNoNumberIsRefusedAndKept) {
  const wchar_t* texts[] = {L"abc", L"42abc", L"4 2", L"--1", L"."};
  for (const wchar_t* t : texts) {
    for (unsigned short code : {ZV_DSTRW, ZV_PSTRW, ZV_DSTRA}) {
      CAny a;
      SetWide(a, ZV_PSTRW, t);
      if (code != ZV_PSTRW) {
        ASSERT_EQ(a.__nCastTo(code, nullptr, 0), 0);
      }
      a.SetNull(true);
      const std::string before = Whole(a);
      for (unsigned short to : {ZV_I4, ZV_UI8, ZV_R8, ZV_CY, ZV_DECIMAL}) {
        EXPECT_GT(a.__nCastTo(to, nullptr, 0), 99) << code << " " << to;
        EXPECT_EQ(Whole(a), before) << code << " " << to;
      }
    }
  }
  // Objects and arrays convert to nothing else, and keep their reference.
  HostObject object;
  CAny o;
  SetObject(o, ZV_OBJET_BASE, &object);
  const std::string before = Whole(o);
  for (unsigned short to : {ZV_DSTRW, ZV_I4, ZV_BIN, ZV_TRAITEMENT}) {
    EXPECT_GT(o.__nCastTo(to, nullptr, 0), 99) << to;
    EXPECT_EQ(Whole(o), before) << to;
  }
  EXPECT_EQ(object.nRef, 2);
}

TEST_F(AnyCasts, CastsHoldExactlyTheBlocksTheyShow) {
  {
    CAny a;
    a.SetI4(42);
    ASSERT_EQ(a.__nCastTo(ZV_DSTRW, nullptr, 0), 0);
    EXPECT_EQ(nLive(), 1);
    // The VM's block is taken with its one reference, not shared with a reference left over.
    EXPECT_FALSE(CBaseStrMem::s_bIsShared(Get<void*>(a.pGetValueArea())));
    for (unsigned short to : {ZV_DSTRA, ZV_BIN, ZV_DSTRW, ZV_PSTRW, ZV_DSTRA}) {
      ASSERT_EQ(a.__nCastTo(to, nullptr, 0), 0) << to;
      EXPECT_EQ(nLive(), to == ZV_PSTRW ? 0 : 1) << to;
    }
    CAny b(a);
    EXPECT_EQ(nLive(), 1);
    ASSERT_EQ(b.__nCastTo(ZV_I4, nullptr, 0), 0);
    EXPECT_EQ(nLive(), 1);
    EXPECT_FALSE(CBaseStrMem::s_bIsShared(Get<void*>(a.pGetValueArea())));
    const wchar_t* w = nullptr;
    ASSERT_EQ(b.__nCastToString(&w, nullptr), 0);
    EXPECT_STREQ(w, L"42");
    EXPECT_EQ(nLive(), 2);
  }
  EXPECT_EQ(nLive(), 0);
}

TEST_F(AnyCasts, ConcatenationReleasesExactly) {
  {
    CAny a, b, r;
    SetWide(a, ZV_DSTRW, L"ab");
    SetNarrow(b, ZV_PSTRA, "cd");
    ASSERT_EQ(nAjoute(a, b, &r, 0), 0);
    EXPECT_EQ(r.wGetTypeWord(), ZV_DSTRW);
    EXPECT_EQ(ClassText(r), Units(L"abcd", 4));
    EXPECT_EQ(nLive(), 2);
    // The result replaces an operand: its old block goes.
    ASSERT_EQ(nAjoute(r, r, &r, 0), 0);
    EXPECT_EQ(ClassText(r), Units(L"abcdabcd", 8));
    EXPECT_EQ(nLive(), 2);
    CAny x;
    SetNarrow(x, ZV_DSTRA, "x");
    CAny s;
    for (int i = 0; i < 50; ++i) ASSERT_EQ(nAjoute(s, x, &s, 0), 0);
    EXPECT_EQ(s.wGetTypeWord(), ZV_DSTRA);
    EXPECT_EQ(ClassText(s), std::string(50, 'x'));
    EXPECT_EQ(nLive(), 4);
    // No taker: the host frees what it made.
    ASSERT_EQ(nAjoute(a, b, nullptr, 0), 0);
    EXPECT_EQ(nLive(), 4);
  }
  EXPECT_EQ(nLive(), 0);
}

TEST_F(AnyCasts, AllocationFailureIsAnErrorAndChangesNothing) {
  const std::function<void(CAny&)> sources[] = {
      [](CAny& a) { a.SetI4(42); },
      [](CAny& a) { SetWide(a, ZV_PSTRW, L"caf\u00e9"); },
      [](CAny& a) { SetWide(a, ZV_DSTRW, L"abc"); },
      [](CAny& a) { a.SetBIN(reinterpret_cast<const unsigned char*>("xyz"), 3); },
  };
  for (const auto& make : sources) {
    for (unsigned short to : {ZV_DSTRW, ZV_DSTRA, ZV_BIN}) {
      CAny a = Make(make);
      if (a.wGetType() == to) continue;
      a.SetFlags(ZV_FLAG_CARRIED);
      const std::string before = Whole(a);
      const long live = nLive();
      CHostServices::Instance().FailNextAllocations(1);
      EXPECT_EQ(a.__nCastTo(to, nullptr, 0), CHostStrMemAlloc::kErrNoMemory) << a.wGetType() << " to " << to;
      CHostServices::Instance().FailNextAllocations(0);
      EXPECT_EQ(Whole(a), before);
      EXPECT_EQ(nLive(), live);
    }
  }
  CAny n;
  n.SetI8(7);
  const std::string before = Whole(n);
  CHostServices::Instance().FailNextAllocations(1);
  const wchar_t* w = L"untouched";
  EXPECT_EQ(n.__nCastToString(&w, nullptr), CHostStrMemAlloc::kErrNoMemory);
  EXPECT_EQ(w, nullptr);
  EXPECT_EQ(Whole(n), before);

  CAny a, b, r;
  SetWide(a, ZV_DSTRW, L"ab");
  SetWide(b, ZV_DSTRW, L"cd");
  r.SetI4(5);
  const std::string rBefore = Whole(r);
  const long live = nLive();
  CHostServices::Instance().FailNextAllocations(1);
  EXPECT_EQ(nAjoute(a, b, &r, 0), CHostStrMemAlloc::kErrNoMemory);
  EXPECT_EQ(Whole(r), rBefore);
  EXPECT_EQ(nLive(), live);
}
