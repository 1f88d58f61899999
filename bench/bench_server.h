// What the server benchmarks share: the stand-in host's services, and the private server the
// environment names (scripts/testdb; its env file loaded) as a host connection description for
// the driver's connections.
#pragma once

#include <benchmark/benchmark.h>

#include <string>

#include "host/host_nadescription.h"
#include "host/host_services.h"
#include "tests/support/rawmysql.h"

struct CBenchServer {
  TestServer server;
  std::wstring user, password, source, extended;
  CHostConnectionDescription host;
  // Whether the environment names a server.
  bool bFound = false;

  CBenchServer() {
    HostInstallServices();
    if (!TestServer::fromEnv(&server)) return;
    user.assign(server.user.begin(), server.user.end());
    password.assign(server.password.begin(), server.password.end());
    source.assign(server.host.begin(), server.host.end());
    const std::string settings = "Server Port=" + std::to_string(server.port) + ";Initial Catalog=" + server.database;
    extended.assign(settings.begin(), settings.end());
    host.m_pszUser = user.c_str();
    host.m_pszPassword = password.c_str();
    host.m_pszDataSource = source.c_str();
    host.m_pszExtendedInfo = extended.c_str();
    bFound = true;
  }
};

// Whether the set-up reached the server; else the benchmark is skipped with the reason.
inline bool bBenchReady(benchmark::State& state, bool bSetUp) {
  if (!bSetUp) state.SkipWithError("no test server: load .testdb/env first");
  return bSetUp;
}
