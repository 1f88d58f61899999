// Whole-file copies, extracts and loads: never onto the source itself, failed writes leave no cut
// file, loads refuse what a host buffer cannot hold, text decoded by its byte-order mark.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <tuple>

#include "common/xystring.h"
#include "common/zvbin.h"
#include "file_test_dir.h"
#include "platform/diskfile.h"
#include "platform/errortable.h"

namespace {

using DF = CDiskFile;
using XS = IXStream;

class CFileCopy : public CFileTestDir {
 protected:
  void SetUp() override {
    CFileTestDir::SetUp();
    for (int i = 0; i < 10000; ++i) m_data += static_cast<char>(i * 7 % 251);
    WriteAll(P(L"src é"), m_data);
  }
  std::string m_data;
};

TEST_F(CFileCopy, CopiesAreWholeAndNeverOntoTheSourceItself) {
  const std::wstring src = P(L"src é"), dst = P(L"dst 文"), link = P(L"hard");
  _CXErrorModule32 e;
  ASSERT_EQ(::link(U8(src).c_str(), U8(link).c_str()), 0);
  CDiskFile f;
  ASSERT_TRUE(f.bOpen(src.c_str(), XS::ACCESS_READ, XS::SHARE_NOLOCK, XS::CREATE_OPEN, XS::FLAG_NONE, nullptr));
  // the operation, its answer, then the content of the file named
  const std::tuple<std::function<BOOL()>, BOOL, std::wstring, std::string> kRows[] = {
      {[&] { return DF::bCopy(dst.c_str(), src.c_str(), &e); }, TRUE, dst, m_data},
      {[&] { return f.bExtract(link.c_str(), 0, -1); }, FALSE, src, m_data},  // into the file itself
      {[&] { return DF::bCopy((m_dir + L"\\src é").c_str(), src.c_str(), &e); }, FALSE, src, m_data},
      {[&] { return DF::bCopy(link.c_str(), src.c_str(), &e); }, FALSE, src, m_data},  // the same inode
      {[&] { return f.bExtract(dst.c_str(), 100, -1); }, TRUE, dst, m_data.substr(100)},
      {[&] { return DF::bExtract(dst.c_str(), src.c_str(), 10, 20); }, TRUE, dst, m_data.substr(10, 20)},
      {[&] { return DF::bConcat(dst.c_str(), P(L"none").c_str()); }, TRUE, P(L"none"), ""},   // an empty source made
      {[&] { return DF::bConcat(src.c_str(), link.c_str()); }, TRUE, src, m_data + m_data}};  // what it held, once
  for (const auto& [op, ok, name, content] : kRows) EXPECT_TRUE(op() == ok && ReadAll(name) == content) << U8(name);
  EXPECT_EQ(ReadAll(dst), m_data.substr(10, 20));
  ExpectRaised(&e, 28125, EINVAL, src, "a copy onto itself");
}

TEST_F(CFileCopy, FailedCopiesLeaveNoCutFileBehind) {
  const std::wstring src = P(L"src é"), dst = P(L"dst");
  // the operation, the call that fails, dst's content before and after ("-": no file)
  const std::tuple<std::function<BOOL()>, eSYSCALL, std::string, std::string> kRows[] = {
      {[&] { return DF::bCopy(dst.c_str(), src.c_str(), nullptr); }, SYSCALL_WRITE, "old", "-"},
      {[&] { return DF::bExtract(dst.c_str(), src.c_str(), 0, -1); }, SYSCALL_WRITE, "old", "-"},
      {[&] { return DF::bConcat(dst.c_str(), src.c_str()); }, SYSCALL_WRITE, "old", "old"},
      {[&] {
         CDiskFile f;
         return f.bOpen(dst.c_str(), XS::ACCESS_WRITE, XS::SHARE_NOLOCK, XS::CREATE_OPEN, XS::FLAG_NONE, nullptr) &&
                f.bExtractFromFile(src.c_str(), 0, 8000);
       },
       SYSCALL_WRITE, "old", "old"}};
  for (const auto& [op, kind, before, after] : kRows) {
    std::filesystem::remove(U8(dst));
    if (before != "-") WriteAll(dst, before);
    SEAM_ShortNext(kind, 100);  // the first block moves partly, then the rest fails
    SEAM_FailNext(kind, ENOSPC, 1);
    EXPECT_FALSE(op());
    EXPECT_TRUE((DF::bExist(dst.c_str()) ? ReadAll(dst) : "-") == after && ReadAll(src) == m_data);
  }
}

TEST_F(CFileCopy, LoadsRefuseWhatAHostBufferCannotHold) {
  CZVBIN buffer(L"x", 4);
  _CXErrorModule32 e;
  EXPECT_TRUE(DF::bChargeFichier(buffer, P(L"src é").c_str(), &e) &&
              std::string(reinterpret_cast<char*>(buffer.pGetData()), buffer.nGetSize()) == m_data);
  WriteAll(P(L"empty"), "");
  EXPECT_TRUE(DF::bChargeFichier(buffer, P(L"empty").c_str(), &e) && buffer.nGetSize() == 0);
  const std::wstring huge = P(L"huge");
  WriteAll(huge, "");
  ASSERT_EQ(truncate(U8(huge).c_str(), (4ll << 30) + 10), 0);
  EXPECT_FALSE(DF::bChargeFichier(buffer, huge.c_str(), &e));
  ExpectRaised(&e, 28003, EFBIG, huge, "4 GiB + 10");
  CXYString<wchar_t> text;
  DF::etxType type;
  EXPECT_TRUE(!DF::bChargeTexteBOM(text, huge.c_str(), 1252, &type) &&
              DF::bChargeTexteBOM(text, P(L"empty").c_str(), 1252, &type) && text.nGetLength() == 0);
  const std::tuple<std::string, DF::etxType, std::wstring> kRows[] = {
      {"\xEF\xBB\xBF\xC3\xA9t\xC3\xA9", DF::TXT_UTF8, L"été"},
      {std::string("\xFF\xFEh\0i\0", 6), DF::TXT_UTF16, L"hi"},
      {"hi", DF::TXT_UTF8, L"hi"},
      {"\xE9", DF::TXT_CODEPAGE, L"é"},
      {std::string("\xFE\xFF\xD8\x3D\xDE\x00\x00!", 8), DF::TXT_UTF16, L"\U0001F600!"},
      {std::string("\xFE\xFF\0h\0", 5), DF::TXT_UTF16, L"h"}};
  for (const auto& [bytes, expectedType, expected] : kRows) {
    WriteAll(P(L"text"), bytes);
    EXPECT_TRUE(DF::bChargeTexteBOM(text, P(L"text").c_str(), 1252, &type) && type == expectedType &&
                text.pszGet() == expected);
  }
}

}  // namespace
