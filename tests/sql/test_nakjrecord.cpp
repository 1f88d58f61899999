// The host record buffer: a record filled from host values equals, byte for byte, a layout
// written here on its own; copies are bounded by the element, the values area and the buffer
// given; the serialised form round-trips and inconsistent forms are refused.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/xystring.h"
#include "host/host_datasource.h"
#include "sql/nakjrecord.h"
#include "tests/support/any_test_values.h"

namespace {

using Bytes = std::vector<uint8_t>;

// n little-endian bytes of v, sign-extended past 8.
Bytes LE(int64_t v, size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = i < 8 ? static_cast<uint8_t>(v >> (8 * i)) : (v < 0 ? 0xFF : 0);
  return b;
}
Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Units(std::initializer_list<uint16_t> units) {
  Bytes b;
  for (uint16_t u : units) b.insert(b.end(), {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8)});
  return b;
}
Bytes Wide(const std::wstring& s) {
  const auto* p = reinterpret_cast<const uint8_t*>(s.data());
  return Bytes(p, p + s.size() * sizeof(wchar_t));
}
Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// One physical item of the layout: element size, each element's bytes (zero-padded), defined.
struct Field {
  unsigned int size;
  std::vector<Bytes> elements;
  bool defined;
};

// The host's layout: one bit per item, first item in the high bit of the first byte, then each
// item's elements one after the other, in item order.
Bytes Layout(const std::vector<Field>& fields) {
  Bytes out((fields.size() + 7) / 8);
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].defined) out[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
    for (Bytes e : fields[i].elements) {
      e.resize(fields[i].size, 0);
      out = Cat(out, e);
    }
  }
  return out;
}

Bytes Buffer(const CNAKJRecord& r) {
  return Bytes(r.pbyGetNullValuesFlags(), r.pbyGetNullValuesFlags() + r.nGetTotalSize());
}

std::wstring Shown(const CAny& a) {
  std::wstring s = ClassText(a);
  if (s != L"-") return s;
  CXYString<wchar_t> w;
  a.__nFillString(w, nullptr);
  return w.pszGet();
}

// A record of one item: its element ends where the record's buffer ends.
struct OneItem {
  OneItem(eNA_ITEMTYPE type, unsigned int size) : item(L"x", type, size) {
    desc.Add(&item);
    EXPECT_TRUE(record.bInit(&desc, NA_INIT_EMPTY));
  }
  CHostItemDescription item;
  CHostRecordDescription desc;
  CNAKJRecord record;
};

// A record of n one-byte items.
struct ByteItems {
  explicit ByteItems(int n) {
    for (int i = 0; i < n; ++i) {
      items.push_back(std::make_unique<CHostItemDescription>(L"i", NA_IT_I1, 1));
      desc.Add(items.back().get());
    }
    EXPECT_TRUE(record.bInit(&desc, NA_INIT_EMPTY));
  }
  CHostRecordDescription desc;
  std::vector<std::unique_ptr<CHostItemDescription>> items;
  CNAKJRecord record;
};

void Put(CNAKJRecord& r, const INAItemDescription* item, const CAny& value, int index = 0) {
  r.SetItemValue(item, &value, index);
}

class Record : public AnyTest {};

TEST_F(Record, HostValuesLandAsTheHostLaysThemOutAndRoundTrip) {
  CHostItemDescription text(L"text", NA_IT_TEXTE, 8), uni(L"uni", NA_IT_UNICODE, 20), bin(L"bin", NA_IT_BINAIRE, 8),
      dec(L"dec", NA_IT_DECIMAL, 4), dt(L"dt", NA_IT_DATETIME, 8), cy(L"cy", NA_IT_MONETAIRE, 10),
      hour(L"hour", NA_IT_HEURE, 10), arr(L"arr", NA_IT_I4, 4, 3), memo(L"memo", NA_IT_MEMOTEXTE, 8),
      none(L"none", NA_IT_I2, 2), key(L"key", NA_IT_BINAIRE, 4);
  dec.m_nIntegerPart = 6;
  dec.m_nDecimalPart = 2;
  for (CHostItemDescription* item : {&arr, &memo, &key}) {
    item->m_bDefault = true;  // every element of the array takes it; a memo or a composite key never
    item->m_clDefault.SetI4(5);
  }
  key.m_wKeyFlags = 0x1000;
  CHostRecordDescription desc;
  for (CHostItemDescription* item : {&text, &uni, &bin, &dec, &dt, &cy, &hour, &arr, &memo, &none, &key})
    desc.Add(item);

  CNAKJRecord record;
  ASSERT_TRUE(record.bInit(&desc, NA_INIT_DEFAULT));
  const unsigned char binary[] = {1, 2, 3};
  CAny b, i7, date = FromText(ZV_DATETIME, L"20240229123456789");
  b.SetBIN(binary, 3);
  i7.SetI4(7);
  Put(record, &text, FromText(ZV_DSTRA, L"Zavora"));
  Put(record, &uni, FromText(ZV_DSTRW, L"a\U0001F600b"));
  Put(record, &bin, b);
  Put(record, &dec, FromText(ZV_DECIMAL, L"-1234.56"));
  Put(record, &dt, date);
  Put(record, &cy, FromText(ZV_CY, L"-1234.567891"));
  Put(record, &hour, date);
  Put(record, &arr, i7);
  Put(record, &arr, FromText(ZV_DSTRA, L"-1"), 1);  // through a cast

  const Bytes expected = Layout({
      {8, {Str("Zavora")}, true},
      {20, {Units({'a', 0xD83D, 0xDE00, 'b'})}, true},
      {8, {{3, 0, 1, 2, 3}}, true},
      {4, {LE(-123456, 4)}, true},
      {8, {Cat({29, 2}, Cat(LE(2024, 2), LE(45296789, 4)))}, true},
      {10, {LE(-1234567891, 10)}, true},
      {10, {Str("123456789")}, true},
      {4, {LE(7, 4), LE(-1, 4), LE(5, 4)}, true},
      {8, {Bytes(8, 0xFF)}, false},
      {2, {Bytes{}}, false},
  });
  EXPECT_EQ(Buffer(record), expected);

  Bytes form(record.nGetSerializeSize());
  ASSERT_TRUE(record.Serialize(form.data(), static_cast<unsigned int>(form.size())));
  EXPECT_EQ(form, Cat(Cat(Cat(LE(static_cast<int64_t>(expected.size()), 4), LE(10, 4)), LE(2, 4)), expected));
  EXPECT_EQ(record.nGetSerializeValuesOffset(), 14u);
  CNAKJRecord back;
  ASSERT_TRUE(back.Deserialize(form.data(), static_cast<unsigned int>(form.size())));
  EXPECT_TRUE(back.bEquals(&record));

  const struct { const CHostItemDescription* item; int index; const wchar_t* shown; } kBack[] = {
      {&text, 0, L"Zavora"}, {&uni, 0, L"a\U0001F600b"}, {&dec, 0, L"-1234.56"}, {&dt, 0, L"20240229123456789"},
      {&cy, 0, L"-1234.567891"}, {&hour, 0, L"123456789"}, {&arr, 1, L"-1"}, {&arr, 2, L"5"}, {&bin, 0, L"\1\2\3"}};
  for (const auto& row : kBack) {
    CAny v;
    back.GetItemValue(&v, row.item, row.index);
    EXPECT_EQ(v.wGetTypeWord(), ConverteItemToZVType(row.item)) << row.item->pszGetName();
    EXPECT_EQ(Shown(v), row.shown) << row.item->pszGetName();
  }

  // Values that do not fit the item's type leave it NULL, neither garbage nor a bound.
  Put(record, &arr, FromText(ZV_DSTRA, L"x"), 2);
  Put(record, &dec, FromText(ZV_DECIMAL, L"1234567.5"));
  EXPECT_FALSE(record.bItemValueDefined(&arr, 2) || record.bItemValueDefined(&dec, 0));
  // Defining a memo writes its all-zero reference; one flag apart, records differ.
  record.SetItemValueDefined(&memo, TRUE, 0);
  EXPECT_EQ(Bytes(record.pbyGetItemValue(&memo, 0), record.pbyGetItemValue(&memo, 0) + 8), Bytes(8, 0));
  std::unique_ptr<CNAKJRecord> clone(record.pclGetClone());
  ASSERT_TRUE(clone != nullptr && clone->bEquals(&record));
  clone->SetItemValueDefined(&none, TRUE, 0);
  EXPECT_FALSE(clone->bEquals(&record));
}

TEST_F(Record, WritesStopAtTheElementAndReadNoFurtherThanTheSource) {
  // Each source is handed in a block of exactly its length.
  const struct { eNA_ITEMTYPE type; unsigned int size; Bytes source; Bytes element; } kRows[] = {
      {NA_IT_TEXTE, 4, Str("abcdef"), Str("abc")},  // cut, the last byte stays 0
      {NA_IT_TEXTE, 6, Str("ab"), Str("ab")},       // a source without its zero
      {NA_IT_HEURE, 5, Str("123456789"), Str("1234")},
      {NA_IT_BINAIRE, 5, Str("abcdef"), Cat({3, 0}, Str("abc"))},
      {NA_IT_BINAIRE, 6, Str("ab"), Cat({2, 0}, Str("ab"))},
      {NA_IT_UNICODE, 10, Wide(L"abcd\U0001F600"), Units({'a', 'b', 'c', 'd'})},  // the pair does not fit
      {NA_IT_UNICODE, 12, Wide(L"abcd\U0001F600"), Units({'a', 'b', 'c', 'd', 0xD83D, 0xDE00})},
      {NA_IT_UNICODE, 8, Bytes{'a', 0, 0}, {}},  // less than one character
      {NA_IT_I4, 4, Bytes{1, 2}, Bytes{1, 2}},   // a short source
      {NA_IT_I2, 2, Bytes{1, 2, 3, 4}, Bytes{1, 2}},
  };
  for (const auto& row : kRows) {
    OneItem one(row.type, row.size);
    memset(one.record.pbyGetItemValue(&one.item, 0), 0xEE, row.size);
    auto source = std::make_unique<uint8_t[]>(row.source.size());
    memcpy(source.get(), row.source.data(), row.source.size());
    one.record.SetItemValue(&one.item, source.get(), static_cast<unsigned int>(row.source.size()), 0);
    Bytes element = row.element;
    element.resize(row.size, 0);
    EXPECT_EQ(Buffer(one.record), Cat({0x80}, element)) << g_pszGetNAItemTypeName(row.type) << " " << row.size;
  }
}

TEST_F(Record, ReadsStopAtTheElement) {
  const struct { eNA_ITEMTYPE type; unsigned int size; Bytes element; std::wstring shown; } kRows[] = {
      {NA_IT_CHAR, 1, Str("Q"), L"Q"},  // no zero after a character
      {NA_IT_TEXTE, 4, Str("abcd"), L"abcd"},
      {NA_IT_UNICODE, 8, Units({'a', 'b', 'c', 0xD83D}), std::wstring(L"abc") + wchar_t(0xD83D)},  // a cut pair
      {NA_IT_BINAIRE, 5, Cat({0xFF, 0xFF}, Str("abc")), L"abc"},  // a length past the element
  };
  for (const auto& row : kRows) {
    OneItem one(row.type, row.size);
    one.record.SetValues(row.element.data(), row.size);
    CAny v;
    one.record.GetItemValue(&v, &one.item, 0);
    EXPECT_EQ(Shown(v), row.shown) << g_pszGetNAItemTypeName(row.type);
    EXPECT_FALSE(v.bIsNull());
  }
}

TEST_F(Record, UnicodeElementUnderTwoBytesReadsAsEmptyText) {
  for (unsigned int size : {0u, 1u}) {
    OneItem one(NA_IT_UNICODE, size);
    one.record.SetValues(reinterpret_cast<const BYTE*>("Q"), size);
    CAny v;
    one.record.GetItemValue(&v, &one.item, 0);
    EXPECT_EQ(v.wGetTypeWord(), ZV_DSTRW) << size;
    EXPECT_EQ(Shown(v), L"") << size;
  }
}

TEST_F(Record, BadPhysicalIndexesAndOtherLayoutsLeaveTheBufferAlone) {
  ByteItems bytes(8);
  auto& items = bytes.items;
  CNAKJRecord& record = bytes.record;
  const Bytes values(8, 0x11);
  record.SetValues(values.data(), 100);  // more than the values area holds: cut to it
  const Bytes before = Buffer(record);
  EXPECT_EQ(before, Cat({0xFF}, values));
  CHostItemDescription& item = *items[0];
  for (unsigned int physical : {0xFFFFFFFFu, 8u, 9u}) {
    item.m_nPhysical = physical;
    const uint8_t byte = 0x22;
    record.SetItemValue(&item, &byte, 1, 0);
    record.SetItemValueDefined(&item, FALSE, 0);
    EXPECT_FALSE(record.bItemValueDefined(&item, 0));
    EXPECT_EQ(Buffer(record), before) << physical;
  }
  item.m_nPhysical = 0;
  item.m_nOffset = 8;  // its element would end past the values area
  record.SetItemValueDefined(&item, FALSE, 0);
  record.SetItemValueDefined(&item, FALSE, 1);  // past the dimension
  EXPECT_EQ(record.pbyGetItemValue(&item, 0), nullptr);
  EXPECT_EQ(Buffer(record), before);

  OneItem other(NA_IT_I4, 4);
  EXPECT_FALSE(record.Copy(&other.record));
  EXPECT_FALSE(other.record.Copy(&record));
  EXPECT_TRUE(record.Copy(&record));
  EXPECT_EQ(Buffer(record), before);
}

// The host asks each item's bit through the slot: exactly TRUE or FALSE, the item's own bit of
// the host's layout (first item in the high bit), whatever its neighbours hold.
TEST_F(Record, EachItemAnswersItsOwnBitAsTrueOrFalse) {
  ByteItems bytes(21);
  const auto& items = bytes.items;
  CNAKJRecord& record = bytes.record;
  ASSERT_EQ(record.nGetFlagFieldSize(), 3u);
  std::mt19937 random(61);
  for (int round = 0; round < 200; ++round) {
    BYTE* flags = record.pbyGetNullValuesFlags();
    for (unsigned int b = 0; b < 3; ++b) flags[b] = static_cast<BYTE>(round < 3 ? (round == 1 ? 0xFF : 0) : random());
    for (unsigned int i = 0; i < items.size(); ++i) {
      const BOOL expected = (flags[i / 8] & (0x80 >> (i % 8))) != 0 ? TRUE : FALSE;
      EXPECT_EQ(record.vbItemValueDefined(items[i].get(), 0), expected) << round << " item " << i;
    }
  }
  EXPECT_EQ(record.vbItemValueDefined(nullptr, 0), FALSE);
}

TEST_F(Record, InconsistentSerialisedFormsAreRefusedAndChangeNothing) {
  OneItem one(NA_IT_TEXTE, 4);
  one.record.SetItemValue(&one.item, "abc", 3, 0);
  Bytes good(one.record.nGetSerializeSize());
  ASSERT_TRUE(one.record.Serialize(good.data(), static_cast<unsigned int>(good.size())));
  EXPECT_FALSE(one.record.Serialize(good.data(), static_cast<unsigned int>(good.size() - 1)));
  auto Header = [&](uint32_t total, uint32_t count, uint32_t flags) {
    return Cat(Cat(Cat(LE(total, 4), LE(count, 4)), LE(flags, 4)), Bytes(good.begin() + 12, good.end()));
  };
  const struct { const char* what; Bytes form; bool accepted; } kRows[] = {
      {"shorter than its header", Bytes(good.begin(), good.begin() + 11), false},
      {"cut one byte short", Bytes(good.begin(), good.end() - 1), false},
      {"bit-field too small", Header(5, 9, 1), false},
      {"bit-field too large", Header(5, 1, 2), false},
      {"total below the bit-field", Header(1, 16, 2), false},
      {"no items", Header(5, 0, 0), true},
      {"as written", good, true},
  };
  for (const auto& row : kRows) {
    OneItem target(NA_IT_I4, 8);
    const Bytes before = Buffer(target.record);
    const unsigned int layout = target.record.nGetLayoutStamp();
    auto form = std::make_unique<uint8_t[]>(row.form.size());
    memcpy(form.get(), row.form.data(), row.form.size());
    EXPECT_EQ(target.record.Deserialize(form.get(), static_cast<unsigned int>(row.form.size())) != FALSE, row.accepted)
        << row.what;
    // A reader that checked the buffer's shape asks again only after a new buffer.
    EXPECT_EQ(target.record.nGetLayoutStamp() != layout, row.accepted) << row.what;
    if (row.accepted) {
      EXPECT_EQ(Buffer(target.record), Bytes(row.form.begin() + 12, row.form.end())) << row.what;
    } else {
      EXPECT_EQ(Buffer(target.record), before) << row.what;
      EXPECT_EQ(target.record.nGetItemCount(), 1u) << row.what;
    }
  }
  Bytes stored(one.record._nGetDataSize());
  one.record._Serialize(stored.data());
  OneItem copy(NA_IT_TEXTE, 4);
  EXPECT_FALSE(copy.record._Deserialize(stored.data(), 4));
  EXPECT_TRUE(copy.record._Deserialize(stored.data(), 5));
  EXPECT_TRUE(copy.record.bEquals(&one.record));
}

// A row binding keeps the flag word it found for a buffer while its layout stamp stays: every
// new buffer moves it, and values written into the buffer never do.
TEST_F(Record, EveryNewBufferMovesTheLayoutStampAndValuesDoNot) {
  ByteItems two(2);
  ByteItems other(2);
  EXPECT_NE(two.record.nGetLayoutStamp(), other.record.nGetLayoutStamp());
  const BYTE seven[] = {7, 9};
  const struct {
    const char* what;
    std::function<void(CNAKJRecord*)> change;
    bool moves;
  } kRows[] = {
      {"a value written", [&](CNAKJRecord* r) { r->SetItemValue(two.items[0].get(), seven, 1, 0); }, false},
      {"an item undefined", [&](CNAKJRecord* r) { r->SetItemValueDefined(two.items[1].get(), FALSE, 0); }, false},
      {"the values given whole", [&](CNAKJRecord* r) { r->SetValues(seven, 2); }, false},
      {"made again from its description", [&](CNAKJRecord* r) { EXPECT_TRUE(r->bInit(&two.desc, NA_INIT_EMPTY)); },
       true},
      {"another record's serialised form",
       [&](CNAKJRecord* r) {
         Bytes form(other.record.nGetSerializeSize());
         ASSERT_TRUE(other.record.Serialize(form.data(), static_cast<unsigned int>(form.size())));
         EXPECT_TRUE(r->Deserialize(form.data(), static_cast<unsigned int>(form.size())));
       },
       true},
  };
  for (const auto& row : kRows) {
    const unsigned int before = two.record.nGetLayoutStamp();
    row.change(&two.record);
    EXPECT_EQ(two.record.nGetLayoutStamp() != before, row.moves) << row.what;
  }
  std::unique_ptr<CNAKJRecord> clone(two.record.pclGetClone());
  ASSERT_NE(clone, nullptr);
  EXPECT_NE(clone->nGetLayoutStamp(), two.record.nGetLayoutStamp());
}

// A row read marks each value through the item's shape read once: it must leave the buffer as
// the item's own mark does, for plain values, memo references and items outside the layout.
TEST_F(Record, SlotMarksAgreeWithTheItemMarks) {
  CHostRecordDescription desc;
  CHostItemDescription plain(L"p", NA_IT_I4, 4), memo(L"m", NA_IT_MEMOTEXTE, 8), last(L"l", NA_IT_I1, 1);
  for (CHostItemDescription* item : {&plain, &memo, &last}) desc.Add(item);
  const struct {
    const char* name;
    CHostItemDescription* item;
    unsigned int physical;  // the item's index for the case
    int offset;             // its element's offset; -1: as laid out
  } rows[] = {
      {"plain", &plain, 0, -1},
      {"memo", &memo, 1, -1},
      {"last bit", &last, 2, -1},
      {"index past the items", &plain, 3, -1},
      {"element past the values", &last, 2, 13},
  };
  for (const auto& row : rows) {
    for (BOOL defined : {TRUE, FALSE}) {
      for (uint8_t fill : {0x00, 0x5A}) {
        CNAKJRecord bySlot, byItem;
        ASSERT_TRUE(bySlot.bInit(&desc, NA_INIT_EMPTY));
        ASSERT_TRUE(byItem.bInit(&desc, NA_INIT_EMPTY));
        const Bytes values(13, fill);
        for (CNAKJRecord* r : {&bySlot, &byItem}) {
          r->SetValues(values.data(), 13);
          r->pbyGetNullValuesFlags()[0] = fill;
        }
        const unsigned int physical = row.item->m_nPhysical;
        const int offset = row.item->m_nOffset;
        row.item->m_nPhysical = row.physical;
        if (row.offset >= 0) row.item->m_nOffset = row.offset;
        STItemSlot slot;
        slot.Read(row.item);
        bySlot.SetSlotDefined(slot, defined);
        byItem.SetItemValueDefined(row.item, defined, 0);
        row.item->m_nPhysical = physical;
        row.item->m_nOffset = offset;
        EXPECT_EQ(Buffer(bySlot), Buffer(byItem)) << row.name << " defined " << defined << " fill " << int(fill);
      }
    }
  }
}

}  // namespace
