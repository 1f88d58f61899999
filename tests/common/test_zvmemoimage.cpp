#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "common/zvmemoimage.h"
#include "host/host_image.h"

namespace {

// A memo made as the host makes it: on the heap, kept by one reference.
CZVMemoImage* NewMemo() {
  auto* memo = new CZVMemoImage;
  memo->AddRef();
  return memo;
}

std::string Bytes(const CZVBIN* bin) {
  return bin->nGetSize() > 0 ? std::string(reinterpret_cast<const char*>(bin->pGetData()), bin->nGetSize()) : "";
}

TEST(ZVMemoImage, NamesAreOwnedCopies) {
  CZVMemoImage* memo = NewMemo();
  std::wstring name = L"photo";
  memo->SetNomImage(name.c_str());
  name[0] = L'X';
  EXPECT_STREQ(memo->pszGetNomImage(), L"photo");
  memo->SetNomImage(memo->pszGetNomImage());
  EXPECT_STREQ(memo->pszGetNomImage(), L"photo");
  memo->SetNomTableNumEnr(L"T");
  memo->SetNomTableNumEnr(nullptr);
  EXPECT_EQ(memo->pszGetNomTableNumEnr(), nullptr);
  EXPECT_EQ(memo->llGetNumEnr(), -1);
  EXPECT_EQ(memo->dwRelease(), 0u);
}

TEST(ZVMemoImage, LoadTypesSetTheirFlags) {
  const struct {
    int type;
    uint32_t before, after;
  } cases[] = {{0, 0x8000, 0}, {1, 0x10, 0x8010}, {2, 0x8001, 1}, {3, 0x8000, 0x10}, {4, 0x8000, 0x8000}};
  for (const auto& c : cases) {
    CZVMemoImage memo;
    if (c.before & 1) memo.SetBinData(CZVBIN());
    if (c.before & 0x10) memo.SetLoadType(CZVMemoImage::LOAD_3);
    if (c.before & 0x8000) memo.SetLoadType(CZVMemoImage::LOAD_1);
    memo.SetLoadType(static_cast<CZVMemoImage::eLOADTYPE>(c.type));
    EXPECT_EQ(memo.dwGetFlags(), c.after) << c.type;
  }
}

TEST(ZVMemoImage, ImageReferencesBalance) {
  CHostImage first(8, "abc"), second(7, "xyz");
  CZVMemoImage* memo = NewMemo();
  memo->SetZVImage(&first);
  memo->SetZVImage(&first);
  EXPECT_EQ(first.m_nRef, 2);
  EXPECT_EQ(memo->dwGetFlags(), CZVMemoImage::FLAG_IMAGE);
  EXPECT_EQ(Bytes(memo->pclGetBinDataEx()), "abc");
  memo->SetZVImage(&second);
  EXPECT_EQ(first.m_nRef, 1);
  EXPECT_EQ(Bytes(memo->pclGetBinDataEx()), "") << "version 7 is not asked for bytes";
  EXPECT_EQ(second.m_nWriteCalls, 0);
  EXPECT_EQ(second.m_nVersionCalls, 1);
  memo->SetZVImage(nullptr);
  EXPECT_EQ(second.m_nRef, 1);
  EXPECT_EQ(memo->dwGetFlags(), 0u);
  memo->SetZVImage(&second);
  memo->dwRelease();
  EXPECT_EQ(second.m_nRef, 1) << "the last release drops the image";
}

TEST(ZVMemoImage, ChangingTheImageDropsTheOldImagesBytes) {
  const struct {
    int version;     // of the image set second; 0: none
    bool same;       // the first image set again
    bool given;      // the data came from SetBinData
    const char* bytes;
  } rows[] = {{7, false, false, ""},    {9, false, false, "xyz"}, {0, false, false, ""},
              {0, true, false, "abc"}, {7, false, true, "set"}};
  for (const auto& r : rows) {
    CHostImage first(8, "abc"), second(r.version, "xyz");
    CZVMemoImage memo;
    memo.SetZVImage(&first);
    if (r.given) memo.SetBinData(CZVBIN("set", 3));
    EXPECT_EQ(Bytes(memo.pclGetBinDataEx()), r.given ? "set" : "abc");
    memo.SetZVImage(r.same ? &first : r.version != 0 ? &second : nullptr);
    EXPECT_EQ(Bytes(memo.pclGetBinDataEx()), r.bytes) << r.version << r.same << r.given;
    memo.SetZVImage(nullptr);
  }
}

TEST(ZVMemoImage, CallbacksComeBeforeTheImage) {
  static int s_nSaves = 0;
  CHostImage image(9, "img");
  CZVMemoImage memo;
  memo.SetZVImage(&image);
  EXPECT_EQ(memo.piGetSourceImage(), nullptr);
  memo.SetCallbackGetSourceImage(reinterpret_cast<void*>(+[](CZVMemoImage* m) -> void* { return m; }));
  EXPECT_EQ(memo.piGetSourceImage(), &memo);
  memo.SetCallbackSauveZVBin(reinterpret_cast<void*>(+[](CZVMemoImage* m) {
    ++s_nSaves;
    m->SetBinData(CZVBIN("saved", 5));
  }));
  EXPECT_EQ(Bytes(memo.pclGetBinDataEx()), "saved");
  EXPECT_EQ(Bytes(memo.pclGetBinDataEx()), "saved");
  EXPECT_EQ(s_nSaves, 1) << "data once set is kept";
  EXPECT_EQ(image.m_nVersionCalls, 0);
  memo.SetZVImage(nullptr);
}

}  // namespace
