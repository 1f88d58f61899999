// The resource entry points of the loaded driver, called by name as the host calls them.
#include <gtest/gtest.h>

#include <string>

#include "host/host_loader.h"
#include "platform/dllres.h"

namespace {

TEST(ResourcesLoaded, EntryPointsAnswerByName) {
  CHostLoader loader;
  std::string err;
  ASSERT_TRUE(loader.Load(&err)) << err;
  auto command = loader.DriverEntry<PFNCOMMANDECOMPOSANTE>("CommandeComposante");
  auto loadModule = loader.DriverEntry<PFNLOADRESOURCEMODULE>("DLLRES_pLoadResourceModule");
  ASSERT_NE(command, nullptr);
  ASSERT_NE(loadModule, nullptr);
  EXPECT_EQ(loadModule(nullptr, 28542, L"x", nullptr), nullptr);

  wchar_t buffer[64];
  STCommandeComposanteLoadString block{sizeof block, 28542, buffer, 64, 0};
  EXPECT_EQ(command(COMMANDE_COMPOSANTE_LOADSTRING, reinterpret_cast<intptr_t>(&block)), 36);
  EXPECT_EQ(block.nResult, 36);
  EXPECT_STREQ(buffer, L"La connexion <%s> n'est pas ouverte.");
  EXPECT_EQ(command(COMMANDE_COMPOSANTE_GET_UTILISATION, 28542), 0);
  EXPECT_EQ(command(COMMANDE_COMPOSANTE_GET_UTILISATION, 256), -1);
  EXPECT_EQ(command(7, 0), 0);
}

}  // namespace
