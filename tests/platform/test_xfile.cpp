// The file object: answers without a stream, the stream it makes or is given and the references
// it holds, copies between file objects, wide lines.
#include <gtest/gtest.h>

#include <functional>

#include "file_test_dir.h"
#include "platform/diskfile.h"
#include "platform/xfile.h"

namespace {

using XS = IXStream;

// A stream with only the bodies of the interface.
class CBareStream : public IXStream {
 public:
  void Close() override {}
  int veGetAccess() const override { return 7; }
};

class CBareFile : public CXFile {
 public:
  IXStream* __xpclAllocDiskFile() override { return new CBareStream; }
};

TEST(CXFile, WithoutAStreamNothingIsCalled) {
  CXFile f;
  char c;
  wchar_t w[4];
  int cut;
  const std::pair<std::function<long long()>, long long> kRows[] = {
      {[&] { return f.bRead(&c, 1, nullptr); }, FALSE}, {[&] { return f.bWrite(3, &c, 1, nullptr); }, FALSE},
      {[&] { return f.bSeek(0, XS::SEEK_FROM_END); }, FALSE}, {[&] { return f.oGetSize(); }, -1},
      {[&] { return f.oGetSizeFast(); }, -1}, {[&] { return f.oGetOffset(); }, -1},
      {[&] { return f.bWriteString("%d", 1); }, FALSE}, {[&] { return f.bWriteLine(L"x"); }, FALSE},
      {[&] { return f.bReadLineUNICODE(w, 4, &cut); }, FALSE}, {[&] { return f.bLockFile(0, 1); }, FALSE},
      {[&] { return f.bReopen(XS::ACCESS_READ, XS::SHARE_NOLOCK, XS::CREATE_OPEN, XS::FLAG_NONE); }, FALSE},
      {[&] { return f.bIsOpen(); }, FALSE}, {[&] { return f.veGetAccess(); }, -1},
      {[&] { return f.pszGetName() != nullptr || f.pclGetXError() != nullptr; }, 0}};
  for (const auto& [op, expected] : kRows) EXPECT_EQ(op(), expected);
  f.Close();
}

TEST(CXFile, MadeOrGivenStreamsAndTheirReferences) {
  CDiskFile* stream = new CDiskFile;
  stream->AddRef();
  {
    CXFile given(stream);
    EXPECT_EQ(stream->dwGetRefCount(), 2u);
    EXPECT_EQ(given.piGetStream(), stream);
  }
  EXPECT_EQ(stream->dwGetRefCount(), 1u);
  stream->dwRelease();
  CBareFile bare;
  EXPECT_TRUE(bare.bOpen(L"any", XS::ACCESS_READ, XS::SHARE_NOLOCK, XS::CREATE_OPEN, XS::FLAG_NONE, nullptr));
  EXPECT_EQ(bare.piGetStream(), nullptr);  // made here
  EXPECT_EQ(bare.veGetAccess(), 7);
}

// A bare stream that counts its destructions.
class CCountedStream : public CBareStream {
 public:
  ~CCountedStream() override { ++s_nDestroyed; }
  static inline int s_nDestroyed = 0;
};

TEST(CXFile, SettingTheHeldStreamAgainKeepsIt) {
  for (const unsigned int outside : {1u, 0u}) {  // references besides the file object's
    SCOPED_TRACE(outside);
    CCountedStream::s_nDestroyed = 0;
    auto* stream = new CCountedStream;
    if (outside != 0) stream->AddRef();
    {
      CXFile f;
      f.SetStream(stream);
      f.SetStream(stream);
      EXPECT_EQ(CCountedStream::s_nDestroyed, 0);
      EXPECT_EQ(stream->dwGetRefCount(), outside + 1);
      EXPECT_EQ(f.piGetStream(), stream);
      EXPECT_EQ(f.veGetAccess(), 7);
    }
    EXPECT_EQ(CCountedStream::s_nDestroyed, outside != 0 ? 0 : 1);
    if (outside != 0) {
      EXPECT_EQ(stream->dwRelease(), 0u);
    }
  }
}

TEST_F(CFileTestDir, FileObjectsCopyAndWriteLines) {
  WriteAll(P(L"src"), std::string(100, 's'));
  CXFile src, dst;
  ASSERT_TRUE(src.bOpen(P(L"src").c_str(), XS::ACCESS_READ, XS::SHARE_SHARED, XS::CREATE_OPEN, XS::FLAG_NONE, nullptr));
  ASSERT_TRUE(
      dst.bOpen(P(L"dst é").c_str(), XS::ACCESS_WRITE, XS::SHARE_EXCLUSIVE, XS::CREATE_ALWAYS, XS::FLAG_NONE, nullptr));
  ASSERT_TRUE(src.bSeek(10, XS::SEEK_FROM_START));
  EXPECT_TRUE(src.bExtract(&dst, -1));
  EXPECT_EQ(dst.oGetSize(), 90);
  ASSERT_TRUE(src.bSeek(95, XS::SEEK_FROM_START));
  EXPECT_FALSE(src.bExtract(&dst, 6));  // the data ends first
  EXPECT_TRUE(dst.bSetSize(0, XS::GROW_SET));
  EXPECT_TRUE(dst.bWriteLine(L""));
  EXPECT_TRUE(dst.bWriteLine(L"é"));
  dst.Close();
  EXPECT_EQ(ReadAll(P(L"dst é")), Bytes(std::wstring(L"\r\né\r\n")));
}

}  // namespace
