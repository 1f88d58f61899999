// The command-line program: loads the driver through the stand-in host and shows what it offers.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/host_loader.h"
#include "platform/dllres.h"
#include "host/host_control.h"

namespace {

const char* const kEntryPoints[] = {
    "bDLLCompatible", "bInitLibrary", "piQueryInterface", "TermLibrary",
    "Execution", "CommandeComposante", "DLLRES_pLoadResourceModule",
    "bInitZVCalcFromVM", "bInitZVConvFromVM",
};

void ShowComparison(IInfoLocale* locale, const wchar_t* a, const wchar_t* b) {
  const int r = locale->nCompareStringW(1036, 3, a, -1, b, -1);
  printf("  host locale, ignoring case and accents: \"%ls\" %s \"%ls\"\n", a, r < 0 ? "<" : (r == 0 ? "=" : ">"), b);
}

}  // namespace

int main() {
  setlocale(LC_ALL, "C.UTF-8");
  CHostLoader loader;
  std::string err;
  if (!loader.Load(&err)) {
    fprintf(stderr, "qxdemo: %s\n", err.c_str());
    return 1;
  }
  printf("driver module: %s/qx200msql.so\n", CHostLoader::LibraryDir().c_str());
  printf("entry points:\n");
  for (const char* name : kEntryPoints)
    printf("  %-28s %s\n", name, loader.DriverSymbol(name) ? "present" : "not built yet");

  // A message text by resource id, asked the way the host asks for it.
  if (auto command = loader.DriverEntry<PFNCOMMANDECOMPOSANTE>("CommandeComposante")) {
    wchar_t text[256];
    STCommandeComposanteLoadString block{sizeof block, 28542, text, 256, 0};
    if (command(COMMANDE_COMPOSANTE_LOADSTRING, reinterpret_cast<intptr_t>(&block)) > 0)
      printf("resource text 28542: %ls\n", text);
  }

  CHostControl* host = loader.Control();
  if (host != nullptr) {
    printf("stand-in host services:\n");
    printf("  locale id %d, code page %d\n", host->Locale()->nGetLCID(), host->Locale()->nGetCodePage());
    ShowComparison(host->Locale(), L"\u00C9t\u00E9", L"ete");
    ShowComparison(host->Locale(), L"Stra\u00DFe", L"strasse");
  }

  const char* port = getenv("QX_TEST_PORT");
  const char* socket = getenv("QX_TEST_SOCKET");
  if (port != nullptr)
    printf("server: %s:%s (socket %s), database %s\n", getenv("QX_TEST_HOST") ? getenv("QX_TEST_HOST") : "127.0.0.1",
           port, socket ? socket : "-", getenv("QX_TEST_DATABASE") ? getenv("QX_TEST_DATABASE") : "-");
  else
    printf("server: none configured (start one with scripts/testdb start DIR)\n");
  return 0;
}
