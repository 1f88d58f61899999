// A whole result longer than the rows taken before the read answers goes on arriving while the
// host reads, through the loaded driver and the fault client in both host code pages: the host
// must meet every row once, in the server's order, or an error; never a short result as success.
#include <functional>
#include <string>
#include <vector>

#include "tests/mysql/fault_bench.h"

namespace {

class ArrivingLoaded : public FaultBench, public testing::WithParamInterface<int> {
 protected:
  static constexpr int kMany = 4000;
  void SetUp() override {
    FaultBench::SetUp();
    if (HasFatalFailure()) return;
    Rebuild();
    std::string err, values;
    for (int id = kRows + 1; id <= kMany; ++id) values += (id > kRows + 1 ? "," : "") + Literal(Initial(id));
    ASSERT_TRUE(m_raw.exec("INSERT INTO " + m_table + " VALUES " + values, &err)) << err;
  }
  CHostConnectionDescription* Open() {
    return Host(std::string(";QX Cache Size=-1;QX Unicode Support=") + (GetParam() == 65001 ? "1" : "0"));
  }
  // A file of the table on host, opened.
  INATable* File(CHostConnectionDescription* host, INAContext* ctx) {
    if (!m_loader.bOpenConnection(host)) return ADD_FAILURE() << Short(m_driver->piGetLastError()->pszGetError()), nullptr;
    INATable* t = m_loader.piGetTable(host, &m_desc);
    if (t == nullptr || !t->bHOuvre(ctx, kReadWrite, nullptr)) return ADD_FAILURE() << "no file", t;
    return t;
  }
  std::string Error(INATable* t, INAContext* ctx) { return Short(t->piGetLastError(ctx)->pszGetError()); }
  // Reads on from the current record in dir until the end or a failure; the ids read, each
  // checked against what the table holds. *failed: the error of a failed read ("" at the end).
  std::vector<int> ReadOn(INATable* t, INAContext* ctx, eNA_PARSEDIRECTION dir, std::string* failed) {
    std::vector<int> ids;
    failed->clear();
    for (;;) {
      if (!Read(t, ctx, dir)) {
        *failed = Error(t, ctx);
        return ids;
      }
      int out = 0;
      if (!t->bHEnDehors(ctx, L"id", &out) || out != 0) return ids;
      const std::optional<BenchRow> row = Current(t, ctx);
      if (!row || *row != Initial(row->id)) {
        ADD_FAILURE() << "a row unlike the table's after " << ids.size();
        return ids;
      }
      ids.push_back(row->id);
    }
  }
  static std::vector<int> Ids(int from, int to) {
    std::vector<int> out;
    for (int id = from; from <= to ? id <= to : id >= to; id += from <= to ? 1 : -1) out.push_back(id);
    return out;
  }
};

INSTANTIATE_TEST_SUITE_P(Pages, ArrivingLoaded, testing::Values(1252, 65001));

TEST_P(ArrivingLoaded, EveryRowOnceInEitherDirection) {
  CHostConnectionDescription* host = Open();
  CHostContext ctx{1, 1};
  INATable* t = File(host, &ctx);
  ASSERT_NE(t, nullptr);
  std::string failed;
  ASSERT_TRUE(Read(t, &ctx, NA_PARSE_FIRST)) << Error(t, &ctx);
  std::vector<int> ids = ReadOn(t, &ctx, NA_PARSE_NEXT, &failed);
  ids.insert(ids.begin(), 1);
  EXPECT_EQ(ids, Ids(1, kMany));
  EXPECT_EQ(failed, "");
  ASSERT_TRUE(Read(t, &ctx, NA_PARSE_LAST)) << Error(t, &ctx);
  ids = ReadOn(t, &ctx, NA_PARSE_PREVIOUS, &failed);
  ids.insert(ids.begin(), kMany);
  EXPECT_EQ(ids, Ids(kMany, 1));
  CloseFile(t, &ctx, host);
}

TEST_P(ArrivingLoaded, OtherFilesOfTheConnectionRunWhileRowsArrive) {
  CHostConnectionDescription* host = Open();
  CHostContext ctx{1, 1}, other{2, 1};
  INATable* t = File(host, &ctx);
  ASSERT_NE(t, nullptr);
  ASSERT_TRUE(Read(t, &ctx, NA_PARSE_FIRST)) << Error(t, &ctx);
  INATable* u = File(host, &other);
  ASSERT_NE(u, nullptr);
  // Writes and reads of a second file on the same session, inside a transaction of the host's.
  ASSERT_TRUE(m_driver->bTransactionBegin(host, L"work"));
  const BenchRow added{kMany + 1, "added", 1};
  EXPECT_TRUE(SetCurrent(u, &other, added) && u->bHAjoute(&other, 0, eNA_LOCKTYPE{0})) << Error(u, &other);
  EXPECT_TRUE(Read(u, &other, NA_PARSE_LAST)) << Error(u, &other);
  EXPECT_EQ(Current(u, &other), added);
  EXPECT_TRUE(m_driver->bTransactionCommit(host, L"work"));
  // The first file's rows are those its read found.
  std::string failed;
  std::vector<int> ids = ReadOn(t, &ctx, NA_PARSE_NEXT, &failed);
  EXPECT_EQ(ids, Ids(2, kMany));
  EXPECT_EQ(failed, "");
  EXPECT_TRUE(u->bHFerme(&other));
  m_driver->bCloseContext(&other);
  // The same file's object in a second context: its last release is the first file's.
  u->nExternalRelease();
  CloseFile(t, &ctx, host);
}

TEST_P(ArrivingLoaded, ServerLostWhileRowsArriveFailsTheReadsThatFollow) {
  CHostConnectionDescription* host = Open();
  CHostContext ctx{1, 1};
  INATable* t = File(host, &ctx);
  ASSERT_NE(t, nullptr);
  // A fetch well past the rows the read waits for, taken while the host reads.
  m_fault.arm(2500, 0);
  ASSERT_TRUE(Read(t, &ctx, NA_PARSE_FIRST)) << Error(t, &ctx);
  std::string failed;
  std::vector<int> ids = ReadOn(t, &ctx, NA_PARSE_NEXT, &failed);
  EXPECT_TRUE(m_fault.fired());
  EXPECT_EQ(m_fault.Call(2500), "mysql_fetch_row");
  EXPECT_EQ(failed.substr(failed.find('/')), "/2013");
  EXPECT_LT(ids.size(), static_cast<size_t>(kMany - 1));
  EXPECT_EQ(ids, Ids(2, static_cast<int>(ids.size()) + 1));
  // No read of the broken result answers a row; a new read of the file answers the server's.
  EXPECT_FALSE(Read(t, &ctx, NA_PARSE_LAST) && Current(t, &ctx) != Initial(kMany)) << Error(t, &ctx);
  m_fault.arm(0, 0);
  ASSERT_TRUE(Read(t, &ctx, NA_PARSE_FIRST)) << Error(t, &ctx);
  ids = ReadOn(t, &ctx, NA_PARSE_NEXT, &failed);
  EXPECT_EQ(ids, Ids(2, kMany)) << failed;
  CloseFile(t, &ctx, host);
}

}  // namespace
