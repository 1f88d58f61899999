// main() of the unit tests: the runtime's host statics get the stand-in services first, as the
// component start-up would give them.
#include <gtest/gtest.h>

#include "host/host_services.h"

int main(int argc, char** argv) {
  HostInstallServices();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
