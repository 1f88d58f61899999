// The atom table: counts, ids never reused and never above 0xFFFF, names always terminated.
#include <gtest/gtest.h>

#include <string>

#include "platform/atom.h"

namespace {

TEST(Atoms, CountsIdsAndNames) {
  EXPECT_EQ(AddAtom(L"ABCDE"), 1);
  EXPECT_EQ(AddAtom(L"Second"), 2);
  EXPECT_EQ(AddAtom(L"abcde"), 1);
  EXPECT_EQ(AddAtom(nullptr), 0);
  const std::pair<int, const wchar_t*> rows[] = {{3, L"AB"}, {5, L"ABCD"}, {6, L"ABCDE"}, {1, L""}, {0, L"#"}};
  for (const auto& [size, text] : rows) {
    wchar_t buffer[8] = {L'#', 0};
    EXPECT_EQ(GetAtomName(1, buffer, size), size == 0 ? 0 : static_cast<int>(wcslen(text))) << size;
    EXPECT_EQ(std::wstring(buffer), text);
  }
  EXPECT_TRUE(DeleteAtom(1) == 0 && FindAtom(L"abCDE") == 1);
  EXPECT_TRUE(DeleteAtom(1) == 0 && FindAtom(L"ABCDE") == 0);
  EXPECT_EQ(DeleteAtom(1), 1);
  EXPECT_EQ(AddAtom(L"ABCDE"), 3);  // a new id, not the freed one

  // Every id up to 0xFFFF handed out once, then no new name gets one.
  while (CAtom::gnId <= 0xFFFF) {
    const unsigned short id = AddAtom(std::to_wstring(CAtom::gnId).c_str());
    ASSERT_NE(id, 0);
    ASSERT_EQ(DeleteAtom(id), 0);
  }
  EXPECT_TRUE(AddAtom(L"one too many") == 0 && FindAtom(L"one too many") == 0);
  EXPECT_TRUE(AddAtom(L"second") == 2 && FindAtom(L"SECOND") == 2);
}

}  // namespace
