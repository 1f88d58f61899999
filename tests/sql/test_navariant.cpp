// Stored values: the checksum, the byte and host comparisons, the empty and zero tests, and files
// loaded and stored whole.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "driver/naerror.h"
#include "platform/syscall_seam.h"
#include "sql/navariant.h"
#include "tests/support/any_test_values.h"

namespace {

class Variant : public AnyTest {};

std::string Data(const CAny& a) {
  void* p = nullptr;
  unsigned int n = 0;
  a.Intern()->nGetDataAdr(&p);
  a.Intern()->nGetUtilDataSize(&n);
  return p != nullptr ? std::string(static_cast<const char*>(p), n) : std::string();
}

CNAVariant* Of(CNAVariant& v, const CAny& a) {
  v.bSetValue(&a);
  return &v;
}

TEST_F(Variant, ChecksumAddsLittleEndianWordsThenTheBytesLeft) {
  const struct {
    std::string bytes;
    uint32_t sum;
  } kRows[] = {{"", 0}, {"abc", 0x126}, {"abcd", 0x64636261}, {"abcde", 0x64636261 + 'e'}, {"\xff\xff\xff\xff\x01", 0}};
  for (const auto& row : kRows) {
    CAny a;
    a.SetBIN(reinterpret_cast<const unsigned char*>(row.bytes.data()), static_cast<unsigned int>(row.bytes.size()));
    CNAVariant v;
    EXPECT_EQ(Of(v, a)->nChecksum32(), row.sum) << row.bytes;
  }
  CNAVariant empty;
  EXPECT_EQ(empty.nChecksum32(), 0u);
}

TEST_F(Variant, ComparesBytesForEqualSizesAndThroughTheHostOtherwise) {
  CAny null = FromText(ZV_I4, L"0");
  null.SetNull(true);
  const struct {
    CAny a, b;
    int cmp;
    bool equal;
  } kRows[] = {
      {FromText(ZV_I4, L"1"), FromText(ZV_I4, L"256"), 1, false},        // byte order, not number order
      {FromText(ZV_DSTRA, L"b"), FromText(ZV_DSTRA, L"abc"), 1, false},  // sizes differ: as texts
      {FromText(ZV_DSTRA, L"abc"), FromText(ZV_DSTRA, L"abc"), 0, true},
      {FromText(ZV_I4, L"7"), FromText(ZV_R8, L"7"), 0, true},
      {null, CAny(), 0, true},  // NULL and empty are equal
      {null, FromText(ZV_I4, L"0"), 0, false},
  };
  for (size_t i = 0; i < std::size(kRows); ++i) {
    CNAVariant a, b;
    Of(a, kRows[i].a);
    Of(b, kRows[i].b);
    if (i < 4) {
      EXPECT_EQ(a.nCmp(&b), kRows[i].cmp) << i;
    }
    EXPECT_EQ(a.bEqualsNAVariant(&kRows[i].b), kRows[i].equal) << i;
    EXPECT_EQ(a.nCmp(&a), 0);
  }
}

TEST_F(Variant, EmptyAndZeroTestsFollowTheTypeFamilies) {
  CAny null = FromText(ZV_DSTRA, L"x");
  null.SetNull(true);
  const struct {
    CAny a;
    bool empty, emptyEx, zero;
  } kRows[] = {
      {CAny(), true, true, true},
      {null, true, true, true},
      {FromText(ZV_DSTRA, L""), true, true, false},
      {FromText(ZV_DSTRW, L""), true, true, false},
      {FromText(ZV_DSTRA, L"0"), false, false, false},  // a text is not a number
      {FromText(ZV_DATEA, L""), false, true, false},
      {FromText(ZV_I4, L"0"), false, false, true},
      {FromText(ZV_R8, L"0"), false, false, true},
      {FromText(ZV_R8, L"0.5"), false, false, false},
  };
  for (size_t i = 0; i < std::size(kRows); ++i) {
    CNAVariant v;
    Of(v, kRows[i].a);
    EXPECT_EQ(v.bIsEmptyString(), kRows[i].empty) << i;
    EXPECT_EQ(v.bIsEmptyStringEx(), kRows[i].emptyEx) << i;
    EXPECT_EQ(v.bIsNumeric0(), kRows[i].zero) << i;
  }
}

TEST_F(Variant, FilesRoundTripWholeAcrossTheReadBlockAndAMissingFileRaises15) {
  char dir[] = "/tmp/qxvarXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/f";
  const std::wstring wpath(path.begin(), path.end());
  for (unsigned int size : {0u, 16383u, 16384u, 16385u}) {
    std::string data(size, '\0');
    for (unsigned int i = 0; i < size; ++i) data[i] = static_cast<char>('a' + i % 26);
    CAny bin, back;
    bin.SetBIN(reinterpret_cast<const unsigned char*>(data.data()), size);
    ASSERT_TRUE(CNAVariant::gbStoreFile(&bin, wpath.c_str(), nullptr)) << size;
    for (int binary : {0, 1}) {
      ASSERT_TRUE(CNAVariant::gbLoadFile(&back, wpath.c_str(), nullptr, binary)) << size;
      EXPECT_EQ(back.wGetTypeWord(), binary ? ZV_BIN : ZV_DSTRA) << size;
      EXPECT_EQ(Data(back), data) << size << " " << binary;
    }
  }
  unlink(path.c_str());
  rmdir(dir);
  CNAError error;
  CNAError::s_Hold(&error);
  CAny value;
  EXPECT_FALSE(CNAVariant::gbLoadFile(&value, wpath.c_str(), &error, 1));
  EXPECT_EQ(error.nGetUserErrorCode(), 15u);
  EXPECT_NE(
      std::wstring(error.pclGetXError()->pszGetUserMessage()).find(wpath + L"> est introuvable ou inaccessible. "),
      std::wstring::npos);
  EXPECT_NE(std::wstring(error.pclGetXError()->pszGetUserMessage()).find(L"No such file"), std::wstring::npos);
}

// A file that cannot be read whole is the named file error, never a part taken for the whole nor
// a directory's size taken for an allocation; the value is left as it was.
TEST_F(Variant, AFileThatCannotBeReadWholeIsTheNamedFileError) {
  char dir[] = "/tmp/qxvarXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string file = std::string(dir) + "/f";
  {
    CAny bin;
    const std::string data(40000, 'x');
    bin.SetBIN(reinterpret_cast<const unsigned char*>(data.data()), static_cast<unsigned int>(data.size()));
    ASSERT_TRUE(CNAVariant::gbStoreFile(&bin, std::wstring(file.begin(), file.end()).c_str(), nullptr));
  }
  const struct {
    const char* what;
    std::string path;
    void (*arm)();
    const wchar_t* message;  // in the system message, or in the debug text
  } rows[] = {
      {"directory", dir, [] {}, L"Is a directory"},
      {"missing", file + "x", [] {}, L"No such file"},
      {"first read fails", file, [] { SEAM_FailNext(SYSCALL_READ, EIO); }, L"Input/output error"},
      {"second read fails", file, [] { SEAM_FailNext(SYSCALL_READ, EIO, 1); }, L"Input/output error"},
      {"ends before its size", file, [] { SEAM_ShortNext(SYSCALL_READ, 0); }, L"lu=<0>"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const std::wstring wpath(row.path.begin(), row.path.end());
    CNAError error;
    CNAError::s_Hold(&error);
    CAny value;
    value.SetI4(7);
    row.arm();
    EXPECT_FALSE(CNAVariant::gbLoadFile(&value, wpath.c_str(), &error, 1));
    SEAM_ClearFaults();
    EXPECT_EQ(error.nGetUserErrorCode(), 15u);
    const std::wstring text = error.pszGetError();
    EXPECT_NE(text.find(L"<" + wpath + L"> est introuvable ou inaccessible."), std::wstring::npos);
    EXPECT_NE(text.find(row.message), std::wstring::npos);
    EXPECT_EQ(value.wGetTypeWord(), ZV_I4);
  }
  unlink(file.c_str());
  rmdir(dir);
}

// A text is stored without its terminator and loads back as the same text (the terminator came
// back as one more character, round after round).
TEST_F(Variant, StoredTextHasNoTerminatorAndLoadsBackAsTheSameText) {
  char dir[] = "/tmp/qxvarXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/f";
  const std::wstring wpath(path.begin(), path.end());
  // A text is stored without its terminator, and loads back as the same text (the terminator
  // came back as one more character, round after round).
  for (const std::string& text : {std::string("abc"), std::string("a\0b", 3), std::string()}) {
    CAny ansi, back;
    ansi.__SetType(ZV_DSTRA, 0);
    ansi.Intern()->SetValue(text.data(), static_cast<unsigned int>(text.size()));
    ansi.SetFlags(0);
    for (int round = 0; round < 2; ++round) {
      ASSERT_TRUE(CNAVariant::gbStoreFile(&ansi, wpath.c_str(), nullptr));
      ASSERT_TRUE(CNAVariant::gbLoadFile(&back, wpath.c_str(), nullptr, 0));
      EXPECT_EQ(Data(back), text) << round;
      ansi = back;
    }
  }
  unlink(path.c_str());
  rmdir(dir);
}

}  // namespace
