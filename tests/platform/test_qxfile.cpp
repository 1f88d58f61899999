// Typed files and resource modules: headers written and checked, modules of both formats looked up by
// id, corrupt counts, lengths and offsets refused before any allocation (the sanitizers would stop).
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "common/ctstring.h"
#include "file_test_dir.h"
#include "platform/qxmfile.h"

namespace {

using XS = IXStream;

std::string Le32(uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
std::string Le64(uint64_t v) { return Le32(uint32_t(v)) + Le32(uint32_t(v >> 32)); }
std::string Header(uint32_t type, uint32_t size = 20, const std::string& sig = std::string("MVX\0", 4)) {
  return sig + Le32(size) + Le32(type) + std::string("\0\0\x14\x07\x03\0\0\0", 8) +
         std::string(size > 20 ? size - 20 : 0, 'p');
}

// A module: version, index after `gap` bytes, entries (id, offset), then the resources.
std::string Module(uint32_t version, const std::vector<std::pair<uint32_t, std::string>>& texts, uint32_t gap = 3) {
  std::string index = Le32(static_cast<uint32_t>(texts.size())), data;
  for (const auto& [id, text] : texts) {
    index += Le32(id) + Le64(data.size());
    data += "s" + Le32(static_cast<uint32_t>(text.size())) + text;
  }
  return Header(0x60001) + Le32(version) + Le32(gap) + std::string(gap, 'g') + index + data;
}

BOOL Open(CQXFile& f, const std::wstring& name) {
  return f.bOpen(name.c_str(), XS::FORMAT_DEFAULT, XS::ACCESS_READ, XS::SHARE_NOLOCK, XS::CREATE_OPEN, XS::FLAG_NONE);
}

TEST_F(CFileTestDir, NewTypedFilesGetTheHeaderThatOpeningChecks) {
  const std::wstring name = P(L"typé.dat");
  CQXFile::ms_byCodeProduitCourant = 9;
  CQXFile created(0x20001);
  ASSERT_TRUE(created.bOpen(name.c_str(), XS::eFORMAT(3), XS::ACCESS_READWRITE, XS::SHARE_NOLOCK, XS::CREATE_ALWAYS,
                            XS::FLAG_NONE));
  CQXFile::ms_byCodeProduitCourant = 0;
  EXPECT_EQ(ReadAll(name), std::string("MVX\0\x14\0\0\0\x02\0\0\0\0\0\x14\x09\x03\0\0\0", 20));
  EXPECT_TRUE(created.dwGetType() == 2 && CQXFile::dwIdFichierInconnu(name.c_str()) == 2);  // 0x20001 written as 2
  EXPECT_EQ(CQXFile::byGetCodeProduit(name.c_str()), 9);
  EXPECT_TRUE(CQXFile::dwIdFichierInconnu(L"/none") == ~0u && !CQXFile::byGetCodeProduit(L"/none"));
  // the file, the expected type, the resource id of the refusal (0: accepted), the offset after the header
  const std::tuple<std::string, unsigned int, unsigned int, long long> kRows[] = {
      {Header(6, 24), 0, 0, 24},          {Header(258), 0x20001, 0, 20},
      {Header(6), 5, 28259, 0},           {Header(6).substr(0, 19), 0, 28011, 0},
      {Header(6, 19), 0, 28011, 0},       {"", 0, 28555, 0},
      {Header(6, 20, "MVY"), 0, 28555, 0}};
  for (const auto& [bytes, expected, id, end] : kRows) {
    WriteAll(name, bytes);
    CQXFile f(expected);
    const BOOL ok = Open(f, name);
    EXPECT_TRUE(ok == (id == 0) && f.bIsOpen() == ok) << "closed when the header is refused";
    if (id != 0) ExpectRaised(f.pclGetXError(), id, 0, name, bytes.c_str());
    long long at = 0;
    EXPECT_TRUE(id != 0 || (f.bReadHeader(&at) && at == end && f.wGetFormat() == 3 && f.dwGetType() != 0x20001));
  }
  // type, recognised, project
  const std::tuple<unsigned int, BOOL, BOOL> kTypes[] = {
      {1, TRUE, TRUE},        {257, TRUE, TRUE},       {0x10001, TRUE, TRUE},   {0x10008, FALSE, FALSE},
      {0x70006, TRUE, FALSE}, {0x70007, FALSE, FALSE}, {0x160001, TRUE, FALSE}, {0, FALSE, FALSE}};
  for (const auto& [type, known, project] : kTypes)
    EXPECT_TRUE(CQXFile::bIdReconnu(type) == known && CQXFile::s_bIsProjet(type) == project) << type;
}

TEST_F(CFileTestDir, ResourceModulesOfBothFormatsAreReadById) {
  const std::wstring name = P(L"module.res");
  // format version, the text stored, as read, code page
  const std::tuple<uint32_t, std::string, std::wstring, unsigned int> kRows[] = {
      {1, "\xE9t\xE9 \x80", L"été €", 1252}, {2, "\xC3\xA9t\xC3\xA9 \xE6\x96\x87", L"été 文", 65001}};
  for (const auto& [version, stored, text, codePage] : kRows) {
    WriteAll(name, Module(version, {{3, stored}, {10, ""}, {70000, "z"}}));
    CQXMFile m;
    ASSERT_TRUE(m.bVerifieFormat(name.c_str()) && Open(m, name) && m.nGetCodePage() == codePage);
    CTString s;
    EXPECT_TRUE(m.bLoadString(3, &s) && s.pszGet() == text);  // the first resource sits at offset 0
    wchar_t buffer[3];
    EXPECT_TRUE(m.nLoadString(3, buffer, 3) == int(stored.size()) && buffer == text.substr(0, 2));  // length in bytes
    EXPECT_TRUE(m.bLoadString(70000, &s) && s.pszGet() == std::wstring(L"z") && m.bLoadString(10, &s) && !*s.pszGet());
    EXPECT_TRUE(!m.bLoadString(4, &s) && m.nLoadString(4, buffer, 3) == 0);
  }
}

TEST_F(CFileTestDir, CorruptModulesFailWithoutAllocatingWhatTheyClaim) {
  const std::wstring name = P(L"corrupt.res");
  const std::string good = Module(2, {{1, "abc"}}), head = good.substr(0, 31);  // header .. index count
  const std::string kCorrupt[] = {
      head + Le32(0xFFFFFFFF) + good.substr(35),                      // entry count
      head + Le32(1) + Le32(1) + Le64(1ull << 62) + good.substr(47),  // entry offset
      good.substr(0, 48) + Le32(0xFFFFFFF0) + "abc",                  // text length
      good.substr(0, 24) + Le32(0x7FFFFFFF) + good.substr(28),        // index offset
      good.substr(0, 40),                                             // cut index
  };
  for (const std::string& bytes : kCorrupt) {
    WriteAll(name, bytes);
    CQXMFile m;
    ASSERT_TRUE(Open(m, name));
    CTString s;
    EXPECT_FALSE(m.bLoadString(1, &s));  // then repaired
    WriteAll(name, good);
    EXPECT_EQ(m.bLoadString(1, &s), &bytes == &kCorrupt[2]) << "a failed index is not read again";
    EXPECT_TRUE((m.Purge(), m.bVerifieFormat(name.c_str())));
  }
}

}  // namespace
