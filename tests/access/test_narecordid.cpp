// Row identifiers: serial forms written and read back at every offset of a block (the sanitizer
// build checks each access), found again through a row cache's map, their hashes, comparisons,
// equality and texts, and the kinds a data access makes.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "access/narecordid.h"
#include "common/hash_bounce.h"
#include "common/xystring.h"
#include "tests/support/record_bench.h"

namespace {

using Bytes = std::vector<uint8_t>;

class RecordId : public AnyTest {};

// A converter holding bytes as a binary value.
CNAConvertVariant* Held(CMySQLDriver& driver, const std::string& bytes) {
  CNAConvertVariant* v = driver.pclAllocVariant(nullptr, nullptr);
  v->AddRef();
  v->InitTypeVariantAny(ZV_BIN, 0);
  CAny bin;
  bin.SetBIN(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned int>(bytes.size()));
  v->bSetValue(&bin);
  return v;
}

TEST_F(RecordId, RecordValuesFormsRoundTripAtAnyOffsetAndFindTheirRow) {
  const unsigned char row[7] = {1, 2, 3, 4, 5, 6, 7}, copy[7] = {1, 2, 3, 4, 5, 6, 7}, other[7] = {1, 2, 3, 4, 5, 6, 8};
  CNARecordMemo memo;
  CNARecordId_RecordValues id(row, sizeof row, &memo);
  // Words of 4 bytes, then the last 3 one by one.
  EXPECT_EQ(id.dwGetHashVal(), 0x04030201u + 5 + 6 + 7);
  ASSERT_EQ(id.nGetSerializedSize(), 24u);
  CHashTableBounce map(7);
  id.SetHashTableFct_SerializedObject(&map);
  std::vector<Bytes> blocks;
  for (unsigned int offset = 0; offset < 8; ++offset) {
    std::unique_ptr<unsigned char[]> block(new unsigned char[offset + 24]);
    EXPECT_FALSE(id.Serialize(block.get() + offset, 23));
    ASSERT_TRUE(id.Serialize(block.get() + offset, 24));
    uint32_t hash;
    memcpy(&hash, block.get() + offset, 4);
    EXPECT_EQ(hash, id.dwGetHashVal());
    EXPECT_EQ(CNARecordId::g_dwPtrHashVal(block.get() + offset), hash);
    CNARecordId_RecordValues back(nullptr, 0, nullptr);
    EXPECT_FALSE(back.DeSerialize(block.get() + offset, 23));
    ASSERT_TRUE(back.DeSerialize(block.get() + offset, 24));
    EXPECT_TRUE(back.pbyGetRecord() == row && back.nGetLength() == 7 && back.pclGetMemoNoRef() == &memo) << offset;
    blocks.emplace_back(block.get() + offset, block.get() + offset + 24);
  }
  // The cache keeps the row's form; a form of the same bytes elsewhere finds it, other bytes do not.
  ASSERT_TRUE(map.bAddElement(blocks[3].data(), reinterpret_cast<void*>(42)));
  for (const unsigned char* bytes : {copy, other}) {
    unsigned char probe[25];
    CNARecordId_RecordValues(bytes, 7, nullptr).Serialize(probe + 1, 24);
    void* found = nullptr;
    EXPECT_EQ(map.bGetElement(probe + 1, &found, nullptr), bytes == copy);
    EXPECT_EQ(found, bytes == copy ? reinterpret_cast<void*>(42) : nullptr);
    EXPECT_EQ(CNARecordId_RecordValues::g_nCompare_CNARecordId_RecordValues(probe + 1, blocks[0].data()),
              bytes == copy ? 0 : 1);
  }
}

TEST_F(RecordId, EqualityTextAndHashes) {
  const unsigned char a[24] = {9}, b[24] = {9}, c[23] = {9};
  CNARecordMemo m1, m2;
  CNARecordId_RecordValues x(a, 24, &m1), y(b, 24, &m2), z(c, 23, &m1), empty(nullptr, 0, nullptr);
  EXPECT_TRUE(x.bEqualRecordId(&y));  // memo sets are not compared
  EXPECT_FALSE(x.bEqualRecordId(&z));
  EXPECT_TRUE(empty.bEqualRecordId(&empty));
  EXPECT_EQ(empty.dwGetHashVal(), 0u);
  CXYString<wchar_t> text;
  x.RecordIdToString(&text, L"<Record ID> : ", 1);
  EXPECT_STREQ(text.pszGet(), L"<Record ID> : record values (24 bytes)");
  x.RecordIdToString(&text, nullptr, 1);
  EXPECT_STREQ(text.pszGet(), L"record values (24 bytes)");

  CMySQLDriver driver;
  CNAConvertVariant *v = Held(driver, "abc"), *w = Held(driver, "abc"), *n = Held(driver, "");
  n->SetNull();
  CNARecordId_RowId r1(v), r2(w), rn(n), rn2(n);
  EXPECT_TRUE(r1.bEqualRecordId(&r2));
  EXPECT_FALSE(r1.bEqualRecordId(&rn));
  EXPECT_TRUE(rn.bEqualRecordId(&rn2));  // both NULL
  EXPECT_FALSE(r1.bEqualRecordId(&x));
  EXPECT_FALSE(x.bEqualRecordId(&r1));
  EXPECT_EQ(r1.dwGetHashVal(), static_cast<uint32_t>('a' + 'b' + 'c'));
  for (CNAConvertVariant* p : {v, w, n}) p->nRelease();
}

TEST_F(RecordId, RowIdFormsCompareByBytesThenLength) {
  CMySQLDriver driver;
  struct Row {
    std::string a, b;
    int order;
  } rows[] = {{"ab", "abc", -1}, {"abd", "abc", 1}, {"abc", "abc", 0}, {"abc", "ab", 1}, {"", "", 0}, {"", "a", -1}};
  for (const Row& row : rows) {
    std::vector<Bytes> forms;
    for (const std::string& s : {row.a, row.b}) {
      CNAConvertVariant* v = Held(driver, s);
      CNARecordId_RowId id(v);
      v->nRelease();
      ASSERT_EQ(id.nGetSerializedSize(), s.size() + 8);
      Bytes form(id.nGetSerializedSize() + 3);
      EXPECT_FALSE(id.Serialize(form.data() + 3, id.nGetSerializedSize() - 1));
      ASSERT_TRUE(id.Serialize(form.data() + 3, id.nGetSerializedSize()));
      form.erase(form.begin(), form.begin() + 3);
      forms.push_back(form);
    }
    EXPECT_EQ(CNARecordId_RowId::g_nCompare_CNARecordId_RowId(forms[0].data(), forms[1].data()), row.order)
        << row.a << " " << row.b;
  }
  // Read back at an odd offset: the converter holds the bytes; a length past the form is refused.
  CNAConvertVariant* v = Held(driver, "xyz");
  CNAConvertVariant* into = Held(driver, "");
  CNARecordId_RowId from(v), back(into);
  unsigned char block[16];
  ASSERT_TRUE(from.Serialize(block + 5, 11));
  ASSERT_TRUE(back.DeSerialize(block + 5, 11));
  EXPECT_TRUE(back.bEqualRecordId(&from));
  EXPECT_FALSE(back.DeSerialize(block + 5, 10));
  CNARecordId* clone = from.pclGetClone(nullptr);
  ASSERT_NE(clone, nullptr);
  clone->AddRef();
  EXPECT_TRUE(clone->bEqualRecordId(&from) && static_cast<CNARecordId_RowId*>(clone)->pclGetValueNoRef() != v);
  clone->dwRelease();
  v->nRelease();
  into->nRelease();
}

// A data access that names its rows by another kind.
class CKindAccess final : public CNADataAccess {
 public:
  CKindAccess(CNAConnectionDescription* cnx, CNAError* error, int kind)
      : CNADataAccess(nullptr, cnx, error), m_nKind(kind) {}
  int eEvaluateRecordIdType() const override { return m_nKind; }

 private:
  int m_nKind;
};

TEST_F(RecordId, DataAccessesMakeRecordValueIdentifiers) {
  RecordBench bench;
  bench.Add(L"n", NA_IT_I4, 4);
  ASSERT_TRUE(bench.Build());
  CNARecordValue* value = bench.Record()->pclGetCurrentValueNoRef();
  CNARecordId* id = bench.m_pAccess->pclAllocRecordID(value);
  ASSERT_NE(id, nullptr);
  id->AddRef();
  EXPECT_EQ(id->eGetRecordIdType(), NA_RECORDID_RECORDVALUES);
  EXPECT_EQ(static_cast<CNARecordId_RecordValues*>(id)->pbyGetRecord(),
            value->pclGetNAKJRecord()->pbyGetNullValuesFlags());
  id->dwRelease();
  // The generic driver makes no row-id converter; other kinds are none.
  for (int kind : {3, 2, 0}) {
    CKindAccess access(&bench.m_cnx, &bench.m_error, kind);
    access.SetStatic(true);
    EXPECT_EQ(access.pclAllocRecordID(value), nullptr) << kind;
  }
  EXPECT_FALSE(bench.m_pAccess->bRequeteSansCorrection());
  EXPECT_EQ(bench.m_pAccess->pclGetSourceQueryNoRef(), nullptr);
}

}  // namespace
