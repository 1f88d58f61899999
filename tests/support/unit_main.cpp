// main() of the unit tests: the runtime's host statics get the stand-in services first, as the
// component start-up would give them, and every test must give back every host string block it
// took.
#include <gtest/gtest.h>

#include "host/host_services.h"

namespace {

class CHostBlockLeakCheck : public testing::EmptyTestEventListener {
 public:
  void OnTestStart(const testing::TestInfo&) override { m_nLive = Allocator()->nLiveBlocks(); }
  void OnTestEnd(const testing::TestInfo& info) override {
    const long now = Allocator()->nLiveBlocks();
    // A death test's child exits on its own; only the test itself is judged here.
    if (now != m_nLive && info.result()->Passed())
      ADD_FAILURE() << "host string blocks leaked by " << info.test_suite_name() << "." << info.name() << ": "
                    << (now - m_nLive);
  }

 private:
  static CHostStrMemAlloc* Allocator() { return CHostServices::Instance().Allocator(); }
  long m_nLive = 0;
};

}  // namespace

int main(int argc, char** argv) {
  HostInstallServices();
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new CHostBlockLeakCheck);
  return RUN_ALL_TESTS();
}
