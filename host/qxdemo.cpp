// The command-line program: loads the driver through the stand-in host and shows what it offers.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/inadriver.h"
#include "driver/inaerror.h"
#include "host/host_context.h"
#include "host/host_control.h"
#include "host/host_loader.h"
#include "platform/dllres.h"

namespace {

const char* const kEntryPoints[] = {
    "bDLLCompatible", "bInitLibrary", "piQueryInterface", "TermLibrary",
    "Execution", "CommandeComposante", "DLLRES_pLoadResourceModule",
    "bInitZVCalcFromVM", "bInitZVConvFromVM",
};

using PFNCOMPATIBLE = BOOL (*)(unsigned int, unsigned int, unsigned int*);
using PFNINIT = BOOL (*)(HINSTANCE__*);
using PFNQUERY = INADriver* (*)();
using PFNTERM = BOOL (*)();

// The host's first contact: compatibility, start, the driver and its error object, release, end.
void ShowDriverLifetime(CHostLoader& loader) {
  auto compatible = loader.DriverEntry<PFNCOMPATIBLE>("bDLLCompatible");
  auto init = loader.DriverEntry<PFNINIT>("bInitLibrary");
  auto query = loader.DriverEntry<PFNQUERY>("piQueryInterface");
  auto term = loader.DriverEntry<PFNTERM>("TermLibrary");
  if (!(compatible && init && query && term)) return;
  unsigned int required = 0;
  const BOOL ok = compatible(7, 32, &required);
  printf("driver:\n  database engine version 32 %s (version required %u)\n", ok ? "accepted" : "refused", required);
  if (!init(static_cast<HINSTANCE__*>(loader.DriverHandle()))) return;
  if (INADriver* driver = query()) {
    printf("  driver interface version %d (compatible since %d)\n", driver->nGetVersion(), driver->nGetCompatSince());
    if (INAError* error = driver->piGetLastError())
      printf("  error object version %d, %s\n", error->nGetVersion(),
             error->eGetErrorType() == NA_ERRORTYPE_NONE ? "no error" : "an error is set");
    printf("  released: %d references left\n", driver->nExternalRelease());
  }
  printf("  library ended: %s\n", term() ? "yes" : "no");
}

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

  ShowDriverLifetime(loader);

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
