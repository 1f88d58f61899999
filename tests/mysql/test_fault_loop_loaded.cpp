// Every client call of a script failing in turn, through the loaded driver: each script runs once
// clean to count its calls, then once for every call failing (twice for a text-sending call:
// before the text left and after the server ran it). After each run the failing operation must
// be FALSE with an error naming the lost connection, nothing the server holds may contradict
// what the driver reported, every host block must be back once all is released, and with the
// faults off the driver must work again.
#include <functional>
#include <map>

#include "driver/inadriversql.h"
#include "host/host_queryexecution.h"
#include "tests/mysql/fault_bench.h"
#include "values/any.h"

namespace {

// What one step of a script reported.
struct Step {
  std::string name;
  bool ok = false;
  std::string error;
};

class FaultLoop : public FaultBench {
 protected:
  // One run's state; the script's steps fill it.
  struct Run {
    CHostConnectionDescription* host = nullptr;
    INATable* table = nullptr;
    CHostContext ctx{1, 1};
    INADriverSQL* service = nullptr;
    int cnx = 0, stmt = 0;
    bool connected = false, opened = false;
    std::vector<Step> steps;
    std::vector<BenchRow> read;  // rows the script read, in order
    bool failed = false;
    bool hostTransaction = false;  // begun by the host on its connection
    // The host's named query, its parse and run flags; its result is the run's table.
    ISQLParserInformation* parse = nullptr;
    unsigned int queryFlags = 0;
  };
  using Body = std::function<void(Run&)>;
  struct Script {
    const char* name;
    // Extended information of the script's connection: blocks of 15 rows unless told.
    const char* extra;
    Body setup;  // not counted
    Body body;
    // The script's own outcome check; what it finds goes into the failure text.
    std::function<std::string(Run&, long failAt, bool after, const std::vector<std::string>& clean)> check;
    // The script's last calls whose failure may go unseen: the clean-up of a result all of whose
    // rows were read. The answer is whole; the next call finds the connection lost.
    long quietTail = 0;
  };

  // Runs step when no step failed before it, or anyway.
  void Do(Run& run, const char* name, const std::function<bool(std::string*)>& step, bool anyway = false) {
    if (run.failed && !anyway) return;
    Step s;
    s.name = name;
    s.ok = step(&s.error);
    run.failed = run.failed || !s.ok;
    run.steps.push_back(s);
  }
  std::string TableError(Run& run) { return Short(run.table->piGetLastError(&run.ctx)->pszGetError()); }

  void Connect(Run& run) {
    Do(run, "connection", [&](std::string* e) {
      run.connected = m_loader.bOpenConnection(run.host);
      if (!run.connected) *e = Short(m_driver->piGetLastError()->pszGetError());
      return run.connected;
    });
  }
  void OpenFile(Run& run) {
    Connect(run);
    Do(run, "table", [&](std::string* e) {
      run.table = m_loader.piGetTable(run.host, &m_desc);
      if (run.table == nullptr) *e = Short(m_driver->piGetLastError()->pszGetError());
      return run.table != nullptr;
    });
    Do(run, "open", [&](std::string* e) {
      run.opened = run.table->bHOuvre(&run.ctx, kReadWrite, nullptr);
      if (!run.opened) *e = TableError(run);
      return run.opened;
    });
  }
  // Next from the first row to the end, then previous from the last row to the start.
  void Browse(Run& run) {
    for (const bool forward : {true, false}) {
      for (int at = 0; !run.failed; ++at) {
        const eNA_PARSEDIRECTION dir =
            at == 0 ? (forward ? NA_PARSE_FIRST : NA_PARSE_LAST) : (forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS);
        int out = 0;
        Do(run, forward ? "next" : "previous", [&](std::string* e) {
          if (!Read(run.table, &run.ctx, dir)) return *e = TableError(run), false;
          run.table->bHEnDehors(&run.ctx, L"id", &out);
          if (out == 0) {
            if (auto row = Current(run.table, &run.ctx)) run.read.push_back(*row);
          }
          return true;
        });
        if (out != 0) break;
      }
    }
  }
  // The rows a whole browse reads, in its order.
  static std::vector<BenchRow> BothWays() {
    std::vector<BenchRow> rows;
    for (int id = 1; id <= kRows; ++id) rows.push_back(Initial(id));
    for (int id = kRows; id >= 1; --id) rows.push_back(Initial(id));
    return rows;
  }
  // The host's write of verb, its text being verb's.
  void Write(Run& run, const char* verb, const std::function<BOOL()>& write) {
    Do(run, verb, [&](std::string* e) { return write() ? true : (*e = TableError(run), false); });
  }
  // The SQL-function service and a numbered connection of it.
  void ServiceConnection(Run& run) {
    Do(run, "service", [&](std::string*) {
      run.service = m_driver->piGetInterface(1);
      return run.service != nullptr;
    });
    Do(run, "sql connection", [&](std::string* e) {
      run.connected = run.service->bOpenConnection(&run.cnx, run.host);
      if (!run.connected) *e = Short(run.service->piGetLastError()->pszGetError());
      return run.connected;
    });
  }
  void ServiceSteps(Run& run) {
    ServiceConnection(run);
    Do(run, "execute", [&](std::string* e) {
      const std::wstring sql = L"SELECT id, t, n FROM " + m_wtable + L" ORDER BY id";
      if (run.service->bExecute(&run.stmt, run.cnx, sql.c_str(), nullptr, 0) && run.stmt != 0) return true;
      *e = Short(run.service->piGetLastError()->pszGetError());
      return false;
    });
    for (int at = 0; !run.failed && at <= kRows; ++at) {
      bool row = false;
      Do(run, "fetch", [&](std::string* e) {
        row = run.service->bFetch(run.cnx, run.stmt, 0);
        INAError* error = nullptr;
        run.service->bGetStmtLastError(&error, run.cnx, run.stmt);
        if (error != nullptr && error->dwGetErrorId() != 0) return *e = Short(error->pszGetError()), false;
        return true;
      });
      if (!row) break;
      Do(run, "values", [&](std::string* e) {
        CAny id, whole;
        if (!run.service->bGetValue(&id, run.cnx, run.stmt, 1, 0) ||
            !run.service->bGetRow(&whole, run.cnx, run.stmt, L"|", 0, 0)) {
          INAError* error = nullptr;
          run.service->bGetStmtLastError(&error, run.cnx, run.stmt);
          *e = error != nullptr ? Short(error->pszGetError()) : "no error";
          return false;
        }
        run.read.push_back(FromRowText(TextOf(whole)));
        return true;
      });
    }
    Do(run, "free", [&](std::string*) {
      const BOOL ok = run.service->bFreeStmt(run.cnx, run.stmt, 0);
      run.stmt = 0;
      return ok != FALSE;
    });
  }
  // Begin, three adds and a commit in an SQL-function transaction.
  void TransactionSteps(Run& run) {
    ServiceConnection(run);
    auto serviceStep = [&](const char* name, const std::function<BOOL()>& call, bool anyway) {
      Do(
          run, name,
          [&](std::string* e) {
            if (call()) return true;
            *e = Short(run.service->piGetLastError()->pszGetError());
            return false;
          },
          anyway);
    };
    serviceStep("begin", [&] { return run.service->bTrsBegin(nullptr, run.cnx, 0); }, false);
    // Once begun, the host goes on to its commit whatever fails: the commit must then fail too.
    const bool begun = !run.failed;
    for (const BenchRow& row : kAdded)
      serviceStep(
          "add",
          [&] {
            const std::wstring sql = L"INSERT INTO " + m_wtable + L" VALUES " + WideOf(Literal(row));
            int stmt = 0;
            return run.service->bExecute(&stmt, run.cnx, sql.c_str(), nullptr, 0);
          },
          begun);
    serviceStep("commit", [&] { return run.service->bTrsCommit(run.cnx, 0, 0); }, begun);
  }
  // Begin, three adds of the host's file and a commit in a host transaction.
  void HostTransactionSteps(Run& run) {
    Do(run, "begin", [&](std::string* e) {
      run.hostTransaction = m_driver->bTransactionBegin(run.host, L"work");
      if (!run.hostTransaction) *e = Short(m_driver->piGetLastError()->pszGetError());
      return run.hostTransaction;
    });
    if (!run.hostTransaction) return;
    for (const BenchRow& row : kAdded)
      Do(
          run, "add",
          [&](std::string* e) {
            if (SetCurrent(run.table, &run.ctx, row) && run.table->bHAjoute(&run.ctx, 0, eNA_LOCKTYPE{0})) return true;
            *e = TableError(run);
            return false;
          },
          true);
    Do(
        run, "commit",
        [&](std::string* e) {
          if (m_driver->bTransactionCommit(run.host, L"work")) return true;
          *e = Short(m_driver->piGetLastError()->pszGetError());
          return false;
        },
        true);
  }

  // Runs the run's query by name; its first result table becomes the run's table (a later run
  // of the name hands the same one, whose extra reference goes back at once).
  bool RunQuery(Run& run, std::string* e) {
    CHostQueryExecution execution(0, L"id");
    INATable* t = nullptr;
    const BOOL ran =
        m_driver->bHExecuteRequeteSQLEx(&t, &run.ctx, kQueryName, run.host, run.parse, run.queryFlags, &execution);
    if (t != nullptr && run.table == nullptr)
      run.table = t;
    else if (t != nullptr)
      t->nExternalRelease();
    run.opened = run.table != nullptr;
    if (ran && t != nullptr) return true;
    // A SELECT that ran hands its result: TRUE without one hides the failure.
    *e = ran ? "TRUE without a result" : Short(m_driver->piGetLastError()->pszGetError());
    return false;
  }

  static constexpr const wchar_t* kQueryName = L"QFAULT";

  static inline const BenchRow kAdded[3] = {{4001, "a", 1}, {4002, "b'", std::nullopt}, {4003, "c\\", 3}};

  static constexpr const char* kBlocks = ";QX Cache Size=15";

  // A wide text value's characters, read without the host's conversions.
  static std::string TextOf(const CAny& a) {
    if (a.bIsNull()) return "NULL";
    void* p = nullptr;
    unsigned int n = 0;
    a.Intern()->nGetDataAdr(&p);
    a.Intern()->nGetUtilDataSize(&n);
    std::string s;
    for (unsigned int i = 0; i < n / sizeof(wchar_t); ++i) s += static_cast<char>(static_cast<wchar_t*>(p)[i]);
    return s;
  }
  // "id|t|n" as the service writes a row, NULL values as empty texts.
  static BenchRow FromRowText(const std::string& s) {
    const size_t a = s.find('|'), b = s.rfind('|');
    BenchRow r{std::atoi(s.substr(0, a).c_str()), s.substr(a + 1, b - a - 1), std::nullopt};
    if (b + 1 < s.size()) r.n = std::atoi(s.substr(b + 1).c_str());
    return r;
  }

  // Releases everything the run holds, as the host does after an error.
  void Release(Run& run) {
    if (run.service != nullptr) {
      if (run.stmt != 0) run.service->bFreeStmt(run.cnx, run.stmt, 0);
      if (run.cnx != 0) run.service->bTrsRollBack(run.cnx, 0, 0);
      if (run.cnx != 0) run.service->bCloseConnection(run.cnx);
      run.service->nExternalRelease();
    }
    if (run.parse != nullptr) {
      m_driver->bFreeDataSource(&run.ctx, kQueryName, run.host);
      run.parse->nRelease();
    }
    if (run.table != nullptr) {
      run.table->bHFerme(&run.ctx);
      m_driver->bCloseContext(&run.ctx);
      run.table->nExternalRelease();
    }
    if (run.connected && run.service == nullptr) m_driver->bCloseConnection(run.host);
  }

  // The lost connection (2013, 2006) for a call on a connection; the client's own refusal for
  // one before there is any (78 without a handle, 76 for a character set it was not told).
  static bool NamesCause(const std::string& error, const std::string& call) {
    if (call == "mysql_init") return error.find("78/") == 0;
    if (call == "mysql_options") return error.find("76/") == 0;
    return error.find("/2013") != std::string::npos || error.find("/2006") != std::string::npos;
  }

  // With the faults off, the driver works again: outside a transaction after one statement that
  // fails on the dropped connection (it reopens it), inside one after the host's roll-back.
  std::string WorksAgain(Run& run) {
    std::string errors;
    if (run.service != nullptr) {
      if (run.cnx == 0) return "";
      run.service->bTrsRollBack(run.cnx, 0, 0);
      const std::wstring sql = L"SELECT COUNT(*) FROM " + m_wtable;
      for (int attempt = 0; attempt < 2; ++attempt) {
        int stmt = 0;
        if (run.service->bExecute(&stmt, run.cnx, sql.c_str(), nullptr, 0) && stmt != 0)
          return run.service->bFreeStmt(run.cnx, stmt, 0), "";
        errors += " " + Short(run.service->piGetLastError()->pszGetError());
      }
      return "does not work again:" + errors + "; ";
    }
    // A query that failed is run again.
    for (int attempt = 0; run.parse != nullptr && run.table == nullptr && attempt < 2; ++attempt) {
      std::string error;
      if (!RunQuery(run, &error)) errors += " " + error;
    }
    if (run.table == nullptr || !run.opened) return errors.empty() ? "" : "does not work again:" + errors + "; ";
    if (run.hostTransaction) m_driver->bTransactionRollBack(run.host, L"work");
    const BenchRow first = ServerRows().front();
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (Read(run.table, &run.ctx, NA_PARSE_FIRST) && Current(run.table, &run.ctx) == first) return "";
      errors += " " + TableError(run);
    }
    return "does not work again:" + errors + "; ";
  }

  // Runs script with call failAt failing (0: none); the failures found, "" when none.
  std::string RunOnce(const Script& script, long failAt, bool after, const std::vector<std::string>& clean,
                      std::vector<std::string>* log) {
    Rebuild();
    Run run;
    run.host = Host(script.extra);
    const long blocks = m_loader.Control()->nLiveBlocks();
    m_fault.arm(0, 0);
    if (script.setup) script.setup(run);
    if (run.failed) return "setup failed: " + run.steps.back().error;
    const size_t setupSteps = run.steps.size();
    m_fault.arm(failAt, after ? 1 : 0);
    script.body(run);
    const bool fired = m_fault.fired() != 0;
    const std::string failingCall = m_fault.Call(failAt);
    if (log != nullptr)
      for (long n = 1; n <= m_fault.count(); ++n) log->push_back(m_fault.Call(n));
    m_fault.arm(0, 0);
    std::string failures;
    const Step* failing = nullptr;
    for (size_t i = setupSteps; i < run.steps.size() && failing == nullptr; ++i)
      if (!run.steps[i].ok) failing = &run.steps[i];
    if (!fired && failing != nullptr) failures += "clean step " + failing->name + " failed: " + failing->error + "; ";
    if (fired && failing != nullptr && !NamesCause(failing->error, failingCall))
      failures += "step " + failing->name + " failed without naming its cause: " + failing->error + "; ";
    const bool quiet = failAt > static_cast<long>(clean.size()) - script.quietTail;
    if (fired && failing == nullptr && !quiet) failures += "the failure was reported as success; ";
    failures += script.check(run, failAt, after, clean);
    if (failing != nullptr || (fired && quiet)) failures += WorksAgain(run);
    Release(run);
    if (m_loader.Control()->nLiveBlocks() != blocks)
      failures += std::to_string(m_loader.Control()->nLiveBlocks() - blocks) + " host blocks left; ";
    return failures;
  }

  // The whole loop over script; prints its counts.
  void Loop(const Script& script) {
    std::vector<std::string> clean;
    ASSERT_EQ(RunOnce(script, 0, false, clean, &clean), "") << script.name << " clean";
    ASSERT_FALSE(clean.empty());
    if (getenv("QX_FAULT_SHOW") != nullptr)
      for (size_t i = 0; i < clean.size(); ++i) printf("  %zu %s\n", i + 1, clean[i].c_str());
    int runs = 1, failed = 0;
    for (long n = 1; n <= static_cast<long>(clean.size()); ++n) {
      const bool afterToo = clean[static_cast<size_t>(n - 1)].rfind("mysql_real_query", 0) == 0 ||
                            clean[static_cast<size_t>(n - 1)].rfind("mysql_real_connect", 0) == 0 ||
                            clean[static_cast<size_t>(n - 1)].rfind("mysql_set_character_set", 0) == 0;
      for (bool after : {false, true}) {
        if (after && !afterToo) continue;
        ++runs;
        const std::string f = RunOnce(script, n, after, clean, nullptr);
        if (!f.empty()) ++failed;
        EXPECT_EQ(f, "") << script.name << ": call " << n << " (" << clean[static_cast<size_t>(n - 1)] << ") failing "
                         << (after ? "after" : "before") << " the real call";
      }
    }
    printf("[ fault loop ] script %s: %zu calls, %d runs, %d failures\n", script.name, clean.size(), runs, failed);
  }

  // Whether the text of verb left for the server before the failure: it precedes the failing
  // call, or is that call failing after the server ran it.
  static bool Sent(const std::vector<std::string>& clean, const std::string& verb, long failAt, bool after) {
    for (size_t i = 0; i < clean.size(); ++i)
      if (clean[i] == "mysql_real_query " + verb) {
        const long n = static_cast<long>(i) + 1;
        return failAt == 0 || n < failAt || (n == failAt && after);
      }
    return false;
  }
  // The rows read are the first of want, all of them in a clean run, and a failed step leaves
  // the record the last good read gave.
  std::string ReadInOrder(Run& run, const std::vector<BenchRow>& want) {
    std::string f;
    if (run.read.size() > want.size() || !std::equal(run.read.begin(), run.read.end(), want.begin()))
      f += "rows read wrong; ";
    if (!run.failed && run.read.size() != want.size()) f += "clean run read " + std::to_string(run.read.size());
    if (run.failed && !run.read.empty() && Current(run.table, &run.ctx) != run.read.back())
      f += "a failed step changed the record; ";
    return f;
  }
  std::string RowsRead(const Run& run) {
    std::string f;
    for (size_t i = 0; i < run.read.size(); ++i)
      if (run.read[i] != Initial(static_cast<int>(i) + 1)) f += "row " + std::to_string(i) + " read wrong; ";
    return f;
  }
};

TEST_F(FaultLoop, OpeningAFile) {
  Loop({"open", kBlocks, nullptr, [&](Run& run) { OpenFile(run); },
        [&](Run& run, long, bool, const std::vector<std::string>&) {
          return run.failed && run.table != nullptr && run.table->bIsOpened(&run.ctx) ? "a failed open left it open; "
                                                                                        : "";
        }});
}

TEST_F(FaultLoop, BrowsingFiftyRowsBothWays) {
  const struct {
    const char* name;
    const char* extra;
  } rows[] = {{"browse in blocks of 15", ";QX Cache Size=15"}, {"browse whole", ";QX Cache Size=-1"}};
  for (const auto& row : rows)
    Loop({row.name, row.extra, [&](Run& run) { OpenFile(run); }, [&](Run& run) { Browse(run); },
          [&](Run& run, long, bool, const std::vector<std::string>&) {
            return ReadInOrder(run, BothWays());
          }});
}

// Seeks of one key after another, each a new SELECT whose one row becomes the record; a seek that
// meets the lost connection fails naming it, and the record stays the last one found.
TEST_F(FaultLoop, SeekingKeysOneAfterAnother) {
  const int ids[] = {5, 17, 3, 17};
  std::vector<BenchRow> want;
  for (const int id : ids) want.push_back(Initial(id));
  Loop({"seeks", kBlocks, [&](Run& run) { OpenFile(run); },
        [&](Run& run) {
          for (const int id : ids)
            Do(run, "seek", [&](std::string* e) {
              CAny key;
              key.SetI4(id);
              int out = 1;
              if (!run.table->bHRecherche(&run.ctx, L"id", &key, 0, 1, eNA_LOCKTYPE{0}, nullptr, 1, 0) ||
                  !run.table->bHEnDehors(&run.ctx, L"id", &out))
                return *e = TableError(run), false;
              if (auto row = Current(run.table, &run.ctx); row && out == 0) run.read.push_back(*row);
              return true;
            });
        },
        [&](Run& run, long, bool, const std::vector<std::string>&) {
          return ReadInOrder(run, want);
        }});
}

TEST_F(FaultLoop, SavingAndReturningToAPositionAcrossBlocks) {
  // Rows 1 to 20, the position saved at 20, rows 21 to 30, back to 20, then 21 again.
  std::vector<BenchRow> want;
  for (int id = 1; id <= 30; ++id) want.push_back(Initial(id));
  want.push_back(Initial(20));
  want.push_back(Initial(21));
  Loop({"positions", kBlocks, [&](Run& run) { OpenFile(run); },
        [&](Run& run) {
          auto read = [&](const char* name, eNA_PARSEDIRECTION dir) {
            Do(run, name, [&](std::string* e) {
              if (!Read(run.table, &run.ctx, dir)) return *e = TableError(run), false;
              if (auto row = Current(run.table, &run.ctx)) run.read.push_back(*row);
              return true;
            });
          };
          read("first", NA_PARSE_FIRST);
          for (int i = 1; i < 20; ++i) read("next", NA_PARSE_NEXT);
          int id = 0;
          Do(run, "save", [&](std::string* e) {
            return run.table->bHSauvePosition(&run.ctx, L"id", &id, 0) ? true : (*e = TableError(run), false);
          });
          for (int i = 0; i < 10; ++i) read("next", NA_PARSE_NEXT);
          Do(run, "return", [&](std::string* e) {
            wchar_t item[255] = L"";
            if (!run.table->bHRetourPosition(&run.ctx, id, item, 0, 0)) return *e = TableError(run), false;
            if (auto row = Current(run.table, &run.ctx)) run.read.push_back(*row);
            return true;
          });
          read("next", NA_PARSE_NEXT);
        },
        [&](Run& run, long, bool, const std::vector<std::string>&) {
          return ReadInOrder(run, want);
        }});
}

TEST_F(FaultLoop, CountingTheRows) {
  long long counted = -1;
  Loop({"count", kBlocks, [&](Run& run) { OpenFile(run); },
        [&](Run& run) {
          counted = -1;
          Do(run, "count", [&](std::string* e) {
            return run.table->bHNbEnr(&run.ctx, &counted, 16, 0) ? true : (*e = TableError(run), false);
          });
        },
        [&](Run& run, long, bool, const std::vector<std::string>&) {
          return !run.failed && counted != kRows ? "counted " + std::to_string(counted) + "; " : std::string();
        }});
}

TEST_F(FaultLoop, AddingModifyingAndDeleting) {
  const BenchRow added{1001, "added'\\", std::nullopt};
  BenchRow changed = Initial(1);
  changed.t = "changed";
  changed.n = -5;
  Loop({"write", kBlocks,
        [&](Run& run) {
          OpenFile(run);
          Do(run, "first", [&](std::string*) { return Read(run.table, &run.ctx, NA_PARSE_FIRST) != FALSE; });
        },
        [&](Run& run) {
          Write(run, "UPDATE", [&] {
            return SetCurrent(run.table, &run.ctx, changed) && run.table->bHModifie(&run.ctx, 0, 0, eNA_LOCKTYPE{0});
          });
          Do(run, "next", [&](std::string* e) {
            return Read(run.table, &run.ctx, NA_PARSE_NEXT) ? true : (*e = TableError(run), false);
          });
          Write(run, "DELETE", [&] { return run.table->bHSupprime(&run.ctx, 0, eNA_LOCKTYPE{0}); });
          Write(run, "INSERT",
                [&] { return SetCurrent(run.table, &run.ctx, added) && run.table->bHAjoute(&run.ctx, 0, eNA_LOCKTYPE{0}); });
        },
        [&](Run&, long failAt, bool after, const std::vector<std::string>& clean) {
          std::map<int, BenchRow> expected;
          for (int id = 1; id <= kRows; ++id) expected[id] = Initial(id);
          if (Sent(clean, "UPDATE", failAt, after)) expected[1] = changed;
          if (Sent(clean, "DELETE", failAt, after)) expected.erase(2);
          if (Sent(clean, "INSERT", failAt, after)) expected[added.id] = added;
          std::vector<BenchRow> want;
          for (auto& [id, row] : expected) want.push_back(row);
          return ServerRows() == want ? std::string() : std::string("the server holds other rows; ");
        }});
}

TEST_F(FaultLoop, SQLFunctionsOpenExecuteFetchAndFree) {
  Loop({"SQL functions", kBlocks, nullptr, [&](Run& run) { ServiceSteps(run); },
        [&](Run& run, long, bool, const std::vector<std::string>&) {
          std::string f = RowsRead(run);
          if (!run.failed && run.read.size() != kRows) f += "clean fetch read " + std::to_string(run.read.size());
          return f;
        }});
}

TEST_F(FaultLoop, ATransactionOfThreeAddsIsWholeOrAbsent) {
  // Committed when COMMIT reached the server on the session that did the adds: then all three
  // rows, else none; a COMMIT after a lost add fails, one whose reply was lost says 2013.
  auto check = [&](Run& run, long failAt, bool after, const std::vector<std::string>& clean) {
    const bool committed = Sent(clean, "COMMIT", failAt, after);
    std::string f;
    const Step& last = run.steps.back();
    if (last.name == "commit" && last.ok && !committed) f += "a COMMIT after a lost add answered TRUE; ";
    std::vector<BenchRow> want;
    for (int id = 1; id <= kRows; ++id) want.push_back(Initial(id));
    if (committed) want.insert(want.end(), std::begin(kAdded), std::end(kAdded));
    if (ServerRows() != want) f += "the server holds other rows; ";
    if (committed && last.name == "commit" && !last.ok && last.error.find("/2013") == std::string::npos)
      f += "a COMMIT whose reply was lost does not say so: " + last.error + "; ";
    return f;
  };
  const struct {
    const char* name;
    Body setup;
    Body body;
  } rows[] = {
      {"SQL-function transaction", nullptr, [&](Run& run) { TransactionSteps(run); }},
      {"host transaction", [&](Run& run) { OpenFile(run); }, [&](Run& run) { HostTransactionSteps(run); }},
  };
  for (const auto& row : rows) Loop({row.name, kBlocks, row.setup, row.body, check});
}

TEST_F(FaultLoop, RunningANamedQueryAndBrowsingOrCountingItsResult) {
  // 0: the host's parse rewritten by the driver; 4: its text sent as written, browsed from the
  // table cache. A count of the result reads it through: a cut read must not count short.
  long long counted = -1;
  const struct {
    const char* name;
    unsigned int flags;
    bool count;
  } rows[] = {{"query", 0, false}, {"query sent as written", 4, false}, {"query count", 0, true}};
  for (const auto& row : rows)
    Loop({row.name, kBlocks,
          [&](Run& run) {
            run.parse = Parse();
            run.queryFlags = row.flags;
            Connect(run);
          },
          [&](Run& run) {
            Do(run, "query", [&](std::string* e) { return RunQuery(run, e); });
            if (!row.count) return Browse(run);
            counted = -1;
            Do(run, "count", [&](std::string* e) {
              return run.table->bHNbEnr(&run.ctx, &counted, 16, 0) ? true : (*e = TableError(run), false);
            });
          },
          [&](Run& run, long, bool, const std::vector<std::string>&) {
            if (!row.count) return ReadInOrder(run, BothWays());
            return !run.failed && counted != kRows ? "counted " + std::to_string(counted) + "; " : std::string();
          },
          // The count streams its rows: the read that drains the result and the step over its end.
          row.count ? 2L : 0L});
}

TEST_F(FaultLoop, RefusedLatin1OptionFailsTheOpen) {
  // Texts go in 1252; a client left in its own character set would misread them.
  Rebuild();
  CHostConnectionDescription* host = Host();
  m_fault.arm(2, 0);
  EXPECT_FALSE(m_loader.bOpenConnection(host));
  EXPECT_EQ(m_fault.Call(2), "mysql_options");
  EXPECT_EQ(Short(m_driver->piGetLastError()->pszGetError()), "76/0");
  m_fault.arm(0, 0);
  ASSERT_TRUE(m_loader.bOpenConnection(host));
  EXPECT_TRUE(m_driver->bCloseConnection(host));
}

}  // namespace
