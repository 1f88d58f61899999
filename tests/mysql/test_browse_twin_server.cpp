// The statement's copy of the row it read, kept as a twin of the record's original instead of a
// copy of its own: whatever comes after a browse step (another step, the host changing its
// record, a modification, a return to a saved position, a read on another item), the statement's
// original and the record's original each hold the row they held when every row was copied twice.
// A next or previous read through the step road gives what the general road gives, whatever came
// before it.
#include <cstring>
#include <map>
#include <random>

#include "driver/mysqlapi.h"
#include "tests/mysql/browse_bench.h"

namespace {

const eNA_LOCKTYPE kNoLock = eNA_LOCKTYPE{0};
const eNAPOSITION kPlain = eNAPOSITION{0};

class LiveBrowseTwin : public LiveBrowse {
 protected:
  // Item item's 4-byte value in value's buffer; -1 for a value without one.
  static int32_t I4(const CNARecordValue* value, const CHostItemDescription* item) {
    const CNAKJRecord* record = value != nullptr ? value->pclGetNAKJRecord() : nullptr;
    const BYTE* at = record != nullptr ? record->pbyGetItemValue(item, 0) : nullptr;
    int32_t v = -1;
    if (at != nullptr) memcpy(&v, at, 4);
    return v;
  }
  static std::string Ids(const char* what, int32_t id, int32_t u) {
    return std::string(what) + " " + std::to_string(id) + "/" + std::to_string(u);
  }
  // The reads of the cases: f l n p on id, d e (first and next) on d.
  static BOOL Read(CNADataAccess* a, char op) {
    static const struct {
      char op;
      const wchar_t* item;
      eNA_PARSEDIRECTION dir;
    } reads[] = {{'f', L"id", NA_PARSE_FIRST}, {'l', L"id", NA_PARSE_LAST}, {'n', L"id", NA_PARSE_NEXT},
                 {'p', L"id", NA_PARSE_PREVIOUS}, {'d', L"d", NA_PARSE_FIRST}, {'e', L"d", NA_PARSE_NEXT}};
    for (const auto& r : reads)
      if (r.op == op) return a->bHLitxxx(r.item, r.dir, 1, kNoLock, nullptr, 0);
    ADD_FAILURE() << "no read " << op;
    return FALSE;
  }
  // The host writes value into u of the record it was given, as it does before a modification.
  static void HostWrites(CNARecord* record, const CHostItemDescription* u, int32_t value) {
    CNAKJRecord* current = record->pclGetNAKJRecord();
    memcpy(current->pbyGetItemValue(u, 0), &value, 4);
    current->SetItemValueDefined(u, TRUE, 0);
  }

  // What a random string of operations names on a table: its browse item and a second one, the
  // filter's bounds and the value sought on the first, the item the host writes before a
  // modification, what another session changes, and whether an added row needs a key of its own.
  struct Shape {
    const wchar_t* main;
    const wchar_t* other;
    const wchar_t* lo;
    const wchar_t* hi;
    const wchar_t* sought;
    unsigned int written;  // the written item's index in the description
    std::vector<std::string> otherSession;  // statements, "@" standing for the table
    bool keyed;
    std::vector<bool> numeric;  // by column, for the rows put back
    std::string columns;        // the columns they fill, none for every one
  };
  static const Shape& Keyed() {
    static const Shape shape{
        L"id", L"d", L"6", L"17", L"10", 3, {"UPDATE @ SET u = u + 5000 WHERE id IN (8, 9)"}, true, kKeyedNumeric, ""};
    return shape;
  }
  // Equal rows everywhere: another session adds one more of a row the table holds, and changes two.
  static const Shape& Keyless() {
    static const Shape shape{L"x", L"s", L"1", L"1", L"2", 0,
                             {"INSERT INTO @ (x, s) SELECT x, s FROM @ LIMIT 1",
                              "UPDATE @ SET x = 2 WHERE x = 1 LIMIT 2"},
                             false, {true, false}, "(x,s)"};
    return shape;
  }
  // Every item of a record's value: defined or not, and its bytes.
  static std::string Values(const CNARecordValue* value, const CHostRecordDescription* desc) {
    const CNAKJRecord* record = value != nullptr ? value->pclGetNAKJRecord() : nullptr;
    if (record == nullptr) return " -";
    std::string text;
    for (int i = 0; i < desc->nGetNumItems(); ++i) {
      const CHostItemDescription* item = desc->pclGetItemNoRef(static_cast<size_t>(i));
      if (!item->m_tabComponents.empty()) continue;
      text += record->bItemValueDefined(item, 0) ? " " : " !";
      const BYTE* at = record->pbyGetItemValue(item, 0);
      static const char* const d = "0123456789abcdef";
      for (unsigned int k = 0; at != nullptr && k < item->nGetTotalSize(); ++k) {
        text += d[at[k] >> 4];
        text += d[at[k] & 15];
      }
    }
    return text;
  }

  using Trace = std::vector<std::string>;
  // ops run on a fresh connection of record limit cache (null: whole results), a line of trace
  // an operation: its result, the browse's place, the record and both originals.
  // f l n p: reads on the main item; d e: first and next on the other; h: the host writes its
  // item; m: modify; x: delete; a: add (a fresh key first where one is needed); F: filter on the
  // main item; A D: the filter on and off; s r: save and return; K: the session killed; w: another
  // session changes rows; S: seek; g: first on the other item through the default item;
  // T: a transaction ends (every started browse marked for a new run); k: 12 rows skipped on the
  // main item; N P: two next or two previous reads on it, nothing looked at between them (the
  // record's original still the statement's twin at the second).
  Trace Run(const Table& t, const char* cache, const std::string& ops, BrowseKnobs knobs, bool stepRoad,
            const Shape& shape = Keyed()) {
    CHostItemDescription* id = t.desc->pclGetItemNoRef(0);
    CHostItemDescription* u = t.desc->pclGetItemNoRef(shape.written);
    CNADataAccess::SetStepRoad(stepRoad);
    Trace trace;
    CMySQLConnection* cnx = Connect(cache);
    CNADataAccess* a = Open(t.desc, cnx, knobs);
    CNARecord* record = a->pclGetCurrentRecordNoRef();
    // A connection or open that failed is reported already: the road has nothing to run on.
    if (record == nullptr) {
      ADD_FAILURE() << "no record to browse";
      return trace;
    }
    auto read = [&](const wchar_t* item, eNA_PARSEDIRECTION dir, unsigned int flags = 0) {
      return a->bHLitxxx(item, dir, 1, kNoLock, nullptr, flags);
    };
    int saved = -1;
    int32_t written = 700000, added = 800000;
    for (const char op : ops) {
      m_error.Reset();
      BOOL ok = TRUE;
      switch (op) {
        case 'f': ok = read(shape.main, NA_PARSE_FIRST); break;
        case 'l': ok = read(shape.main, NA_PARSE_LAST); break;
        case 'n': ok = read(shape.main, NA_PARSE_NEXT); break;
        case 'p': ok = read(shape.main, NA_PARSE_PREVIOUS); break;
        case 'd': ok = read(shape.other, NA_PARSE_FIRST); break;
        case 'e': ok = read(shape.other, NA_PARSE_NEXT); break;
        case 'N': case 'P': {
          const eNA_PARSEDIRECTION dir = op == 'N' ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS;
          ok = read(shape.main, dir) && read(shape.main, dir);
          break;
        }
        case 'g': ok = read(shape.other, NA_PARSE_FIRST, 0x20000); break;
        case 'h': HostWrites(record, u, ++written); break;
        case 'm': ok = a->bHModifie(0, 0, kNoLock); break;
        case 'x': ok = a->bHSupprime(0, kNoLock); break;
        case 'a':
          if (shape.keyed) {
            HostWrites(record, id, ++added);
            HostWrites(record, u, ++written);
          }
          ok = a->bHAjoute(0, kNoLock);
          break;
        case 'F': {
          const CAny lo = FromText(ZV_I4, shape.lo), hi = FromText(ZV_I4, shape.hi);
          ok = a->bHFiltre(shape.main, &lo, 1, &hi, 1, nullptr);
          break;
        }
        case 'A': ok = a->bHActiveFiltre(shape.main); break;
        case 'S': {
          const CAny sought = FromText(ZV_I4, shape.sought);
          ok = a->bHRecherche(shape.main, &sought, 0, 1, kNoLock, nullptr, 1, 0);
          break;
        }
        case 'D': ok = a->bHDesactiveFiltre(shape.main); break;
        case 's': ok = a->bHSauvePosition(&saved, shape.main, kPlain); break;
        case 'r': {
          wchar_t item[255];
          ok = a->bHRetourPosition(saved, item, 1, kPlain);
          break;
        }
        case 'K': KillSession(cnx); break;
        case 'w':
          for (std::string sql : shape.otherSession) {
            for (size_t at; (at = sql.find('@')) != std::string::npos;) sql.replace(at, 1, Quoted(t.name));
            Raw(sql);
          }
          break;
        case 'T': a->SetTransactionTermined(); break;
        case 'k': ok = a->bSkipRecord(shape.main, NA_PARSE_NEXT, 12, 1, kNoLock, nullptr, 0); break;
      }
      int out = -1;
      a->bHEndehors(shape.main, &out);
      CHeldRef<CNAStatement> stmt(a->_pclFindStatement(shape.main));
      const CNARecordValue* own = stmt.get() != nullptr ? stmt.get()->pclGetStmtOriginalRecord() : nullptr;
      trace.push_back(std::string(1, op) + " ok " + std::to_string(ok) + " out " + std::to_string(out) + " error " +
                      std::to_string(m_error.nGetUserErrorCode()) + " current" +
                      Values(record->pclGetCurrentValueNoRef(), t.desc) + " original" +
                      Values(record->pclGetOriginalValueNoRef(), t.desc) + " statement" + Values(own, t.desc));
    }
    return trace;
  }
  // The table's rows put back as it was made: what a run changed (adds, deletes, modifications,
  // the other session's writes) is undone before the next one.
  void Restore(const Table& t, const Shape& shape) {
    Raw("DELETE FROM " + Quoted(t.name));
    InsertRows(t.name, t.rows, shape.numeric, shape.columns);
  }
  // ops run with every read on the general road, then through the step road, each from the rows
  // the table was made with: the traces must be the same. The step road is left on.
  void SameOnBothRoads(const Table& t, const char* name, const char* cache, const std::string& ops, BrowseKnobs knobs,
                       const Shape& shape = Keyed()) {
    Restore(t, shape);
    const Trace general = Run(t, cache, ops, knobs, false, shape);
    Restore(t, shape);
    const Trace step = Run(t, cache, ops, knobs, true, shape);
    ASSERT_EQ(step.size(), general.size());
    // Past the first difference every line may differ: the first one says it.
    for (size_t i = 0; i < step.size(); ++i) {
      EXPECT_EQ(step[i], general[i]) << "operation " << i;
      if (step[i] != general[i]) break;
    }
    if (getenv("QX_SHOW_TRACE") != nullptr)
      for (const std::string& line : step) printf("%s %s\n", name, line.c_str());
  }
  // Random strings of ops over the table each seed makes, on both roads: reads mostly, with the
  // host's edits, writes, filters, seeks, returns, lost sessions and the other session's writes
  // between them, over the record limits and statement knobs of the cases.
  void RandomOnBothRoads(const std::function<void(Table*, std::mt19937*)>& make, const Shape& shape) {
    static const struct {
      char op;
      unsigned int weight;
    } kOps[] = {{'n', 20}, {'p', 14}, {'N', 8}, {'P', 6}, {'f', 4}, {'l', 3}, {'d', 2}, {'e', 3}, {'g', 1},
                {'k', 2},  {'h', 4},  {'m', 3}, {'x', 2}, {'a', 2}, {'F', 2}, {'A', 1}, {'D', 2}, {'S', 2},
                {'s', 2},  {'r', 2},  {'K', 1}, {'w', 2}, {'T', 1}};
    static const BrowseKnobs kKnobs[] = {{false, true}, {false, false}, {true, true}, {true, false}};
    unsigned int total = 0;
    for (const auto& o : kOps) total += o.weight;
    ForEachSeed([&](std::mt19937* rng) {
      Table t;
      make(&t, rng);
      ASSERT_FALSE(HasFatalFailure());
      for (int run = 0; run < 4 && !HasFailure(); ++run) {
        std::string ops;
        for (size_t length = 40 + (*rng)() % 41; ops.size() < length;) {
          unsigned int w = (*rng)() % total;
          size_t k = 0;
          while (w >= kOps[k].weight) w -= kOps[k++].weight;
          ops += kOps[k].op;
        }
        const char* cache = (*rng)() % 2 != 0 ? "5" : nullptr;
        const BrowseKnobs knobs = kKnobs[(*rng)() % 4];
        SCOPED_TRACE(std::string("cache ") + (cache != nullptr ? cache : "unset") + ", row cache " +
                     std::to_string(knobs.rowCache) + ", backward " + std::to_string(knobs.backward) + ", ops " + ops);
        SameOnBothRoads(t, "random", cache, ops, knobs, shape);
      }
    });
  }
};

TEST_P(LiveBrowseTwin, EveryOriginalHoldsItsRowWhateverFollowsAStep) {
  std::mt19937 rng(7);
  Table t;
  MakeKeyed(&t, &rng, 40);
  ASSERT_FALSE(HasFatalFailure());
  const CHostItemDescription* id = t.desc->pclGetItemNoRef(0);
  CHostItemDescription* u = t.desc->pclGetItemNoRef(3);
  struct Step {
    char op;  // f l n p: reads on id; d, e: first and next on d; h: the host writes u; m: modify; s: save; r: return
    // After the step: the statement of id's original, and the record's original, as the id of
    // the row (its u the server's), that id with the u the host wrote ("w") or the one it held
    // before the modification ("o"), or the row the read on d landed on ("d").
    const char* stmtOriginal;
    const char* recordOriginal;
    const char* dOriginal = nullptr;  // the statement of d's original; null: not asked
  };
  const struct {
    const char* name;
    std::vector<Step> steps;
  } rows[] = {
      {"Browse", {{'f', "1", "1"}, {'n', "2", "2"}, {'n', "3", "3"}, {'p', "2", "2"}, {'l', "40", "40"}}},
      {"HostChangesTheRecordItRead", {{'f', "1", "1"}, {'n', "2", "2"}, {'h', "2", "2"}, {'n', "3", "3"}}},
      {"ModifiedRowBecomesTheRecordsOriginalOnly", {{'f', "1", "1"}, {'n', "2", "2"}, {'h', "2", "2"}, {'m', "2o", "2w"},
                                                  {'n', "3", "3"}, {'p', "2w", "2w"}}},
      {"ReturnToASavedPosition", {{'f', "1", "1"}, {'n', "2", "2"}, {'s', "2", "2"}, {'n', "3", "3"}, {'n', "4", "4"},
                                  {'r', "2", "2"}, {'n', "3", "3"}}},
      {"ReadOnAnotherItemLeavesTheFirstStatementsRow", {{'f', "1", "1"}, {'n', "2", "2"}, {'d', "2", "d"},
                                                        {'n', "3", "3"}}},
      {"StepsTakeTheTwinFromEachOther", {{'f', "1", "1"}, {'d', "1", "d", "d"}, {'n', "2", "2", "d"}, {'e', "2", "d", "d"},
                                         {'n', "3", "3", "d"}, {'e', "3", "d", "d"}, {'p', "2", "2", "d"}}},
  };
  int32_t written = 900000;
  // The u each id holds on the server, as the cases change them.
  std::map<int32_t, int32_t> uOf;
  for (const auto& r : t.rows) uOf[std::stoi(Utf8(*r[0]))] = r[3] ? std::stoi(Utf8(*r[3])) : 0;  // a NULL leaves zeros
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    CMySQLConnection* cnx = Connect(nullptr);
    CNADataAccess* a = Open(t.desc, cnx);
    CNARecord* record = a->pclGetCurrentRecordNoRef();
    int saved = -1;
    int32_t dRead = -1;
    int32_t before = -1;  // the u of the row modified, as it was read
    for (size_t i = 0; i < row.steps.size(); ++i) {
      const Step& st = row.steps[i];
      SCOPED_TRACE("step " + std::to_string(i) + " " + st.op);
      BOOL ok = TRUE;
      switch (st.op) {
        case 'f': case 'l': case 'n': case 'p': ok = Read(a, st.op); break;
        case 'd':
        case 'e':
          ok = Read(a, st.op);
          dRead = I4(record->pclGetCurrentValueNoRef(), id);
          break;
        case 'h': HostWrites(record, u, ++written); break;
        case 'm': {
          ok = a->bHModifie(0, 0, kNoLock);
          const int32_t at = I4(record->pclGetCurrentValueNoRef(), id);
          before = uOf[at];
          uOf[at] = written;
          break;
        }
        case 's': ok = a->bHSauvePosition(&saved, L"id", kPlain); break;
        case 'r': {
          wchar_t item[255];
          ok = a->bHRetourPosition(saved, item, 1, kPlain);
          break;
        }
      }
      ASSERT_TRUE(ok) << Utf8(m_error.pszGetError()) << Sent();
      auto expect = [&](const char* key) {
        const std::string s = key;
        if (s == "d") return Ids("row", dRead, uOf[dRead]);
        const int32_t n = std::stoi(s);
        return Ids("row", n, s.back() == 'w' ? written : s.back() == 'o' ? before : uOf[n]);
      };
      // The statement's first: asking the record's would give a twin its copy first.
      CHeldRef<CNAStatement> stmt(a->_pclFindStatement(L"id"));
      ASSERT_NE(stmt.get(), nullptr);
      const CNARecordValue* own = stmt.get()->pclGetStmtOriginalRecord();
      EXPECT_EQ(Ids("row", I4(own, id), I4(own, u)), expect(st.stmtOriginal)) << "statement's original";
      if (st.dOriginal != nullptr) {
        CHeldRef<CNAStatement> onD(a->_pclFindStatement(L"d"));
        ASSERT_NE(onD.get(), nullptr);
        const CNARecordValue* its = onD.get()->pclGetStmtOriginalRecord();
        EXPECT_EQ(Ids("row", I4(its, id), I4(its, u)), expect(st.dOriginal)) << "statement of d's original";
      }
      const CNARecordValue* original = record->pclGetOriginalValueNoRef();
      EXPECT_EQ(Ids("row", I4(original, id), I4(original, u)), expect(st.recordOriginal)) << "record's original";
    }
  }
}

// Each case runs twice, through the step road and with every read on the general road; after each
// operation the result, the browse's place, the record and both originals must be the same.
TEST_P(LiveBrowseTwin, StepReadsGiveWhatTheGeneralRoadGives) {
  std::mt19937 rng(11);
  Table t;
  MakeKeyed(&t, &rng, 24);
  ASSERT_FALSE(HasFatalFailure());
  const struct {
    const char* name;
    const char* cache;  // the record limit ("QX Cache Size"); null: whole results
    const char* ops;
    BrowseKnobs knobs = {};
  } rows[] = {
      {"BackAndForthOverBothEnds", nullptr, "fnnnppplnnppppfppnnn"},
      {"BlocksBackAndForth", "5", "fnnnnnnnnppppppppnnnnnnnlpppppp"},
      {"PastBothEndsInBlocks", "5", "lnnpppppppfpppnnnnnnnnnnnnnnnnnnnnnnnnnnnpppp"},
      {"HostWritesBetweenSteps", nullptr, "fnhnhpnn"},
      {"ModifyThenStep", "5", "fnnhmnpphmpnn"},
      {"DeleteThenStep", "5", "fnnxnppxpnnn"},
      {"FilterThenStep", nullptr, "fnnnFnnpppDnnpAnn"},
      {"FilterInBlocks", "5", "fnnFnnnnnnnnnpppppp"},
      {"ReturnToASavedPosition", "5", "fnnsnnnnnnrnpprpp"},
      {"OtherItemBetween", nullptr, "fndnennpenp"},
      {"DefaultItemBetweenStepsInBlocks", "5", "fndeeeegeeeeeeeeeeennn"},
      // The statement of d browses id after g: a next read on id is the statement of id's.
      {"NextOnTheDefaultItemAfterIt", "5", "fnndeegnnnnnnnnppe"},
      {"ChangedByAnotherSession", "5", "fnnwnnnnnnnpppp"},
      {"KillMidBrowse", "5", "fnnnnKnnnnnnppppKpp"},
      {"SeekThenStep", nullptr, "fnSnnppSppppFSnnpD"},
      {"SeekThenStepInBlocks", "5", "fnSnnnnnnppppppppSnnn"},
      {"NoBackwardFetch", nullptr, "fnnnppnnFnpD", {false, false}},
      {"NoBackwardFetchInBlocks", "5", "fnnnnnnnppppnn", {false, false}},
      {"RowCache", "5", "fnnnnnnnppppppnnhmnnxpp", {true, true}},
      {"RowCacheWithoutBackwardFetch", nullptr, "fnnnppsnnrpp", {true, false}},
      {"StepsUnseenBetween", nullptr, "fNNNPPnPlPPPfNNNNNNNNNNNNN"},
      {"StepsUnseenBetweenInBlocks", "5", "fNNNNNPPPPPPNNNNNNNNNNNNN"},
      {"StepsUnseenAroundWrites", "5", "fNhNhmNPxNNwNPFNNDNsNrN"},
      {"StepsUnseenWithTheRowCache", "5", "fNNNPPNNhmNxPP", {true, true}},
      // From the end the browse runs reversed: a previous read steps forward in its rows.
      {"StepsUnseenFromTheEnd", nullptr, "lPPPPNNPPPfNN"},
      {"StepsUnseenFromTheEndInBlocks", "5", "lPPPPPPNNNNPP"},
      {"StepsUnseenWithoutBackwardFetch", nullptr, "fNNPPlPPNN", {false, false}},
      // Whatever changes the browse between two unseen steps (a rebuild asked, a seek, a filter,
      // a return, a transaction's end, the ends, a lost session) sends the next one the long way.
      {"StepsUnseenAroundEveryChange", nullptr, "fwTNNNNhmNxNNSNNFNDNsNNrNlNPPfPNKNN"},
      // A long skip leaves rows to skip after its first block; the browse item changes between steps.
      {"StepsUnseenAroundLongSkipsInBlocks", "5", "fNNkNNNkPPkNN"},
      {"StepsUnseenAcrossItemsInBlocks", "5", "fNNdNeNNgNNeNfNN"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SameOnBothRoads(t, row.name, row.cache, row.ops, row.knobs);
  }
}

// Random operation strings for each seed of Seeds(), on the table with every kind of key, and on
// tables without a key whose rows repeat (whole, or with variants equal under the collation),
// some with a column the server computes.
TEST_P(LiveBrowseTwin, RandomOperationsGiveTheSameOnBothRoads) {
  RandomOnBothRoads([&](Table* t, std::mt19937* rng) { MakeKeyed(t, rng, 24); }, Keyed());
}
TEST_P(LiveBrowseTwin, RandomOperationsOnEqualRowsGiveTheSameOnBothRoads) {
  RandomOnBothRoads(
      [&](Table* t, std::mt19937* rng) {
        static const char* const kComputed[] = {nullptr, "VIRTUAL", "STORED"};
        const bool variants = (*rng)() % 2 != 0;
        MakeKeyless(t, rng, 24, variants, kComputed[(*rng)() % 3]);
      },
      Keyless());
}

// A move that ends past either end leaves the record as it was, the host's changes included,
// whether the rows come as a whole result or in blocks (whose edge rows, and a long skip's first
// block, pass through the record on the way), with the row cache on or off. What the host sees
// (answers, the record and its original, a modification after, a return to a place saved
// there, the rows read after deletes) must be the same in both.
TEST_P(LiveBrowseTwin, MovesPastTheEndInBlocksLeaveTheRecordAsAWholeResultDoes) {
  std::mt19937 rng(5);
  Table t;
  MakeKeyed(&t, &rng, 24);
  ASSERT_FALSE(HasFatalFailure());
  const std::string toLast = "f" + std::string(23, 'n');
  const struct {
    const char* name;
    std::string ops;
  } rows[] = {
      {"SkipPastTheEndOverBlocks", "fkkm"},
      {"HostChangesThenSkipsPastTheEnd", "fhkkhm"},
      {"SkipPastTheEndOfAFilter", "fFnkhm"},
      {"HostChangesTheLastRowOfAFullBlockThenReadsPastIt", toLast + "hnm"},
      {"SkipPastTheEndFromASeek", "fnnShkm"},
      {"SkipBeforeTheStart", "lhpppppkkhm"},
      // The add holds the row as written for the modify after a skip that a return sends through
      // a new SELECT, whose short first block it lands in before going on past the end.
      {"AddAfterAReturnThenSkipPastTheEndThenModify", "fpaFFmphnNmppDkSxNnfNxpAxrakm"},
      // The edge row went into the original too: the modify named it with another row's values.
      {"ReadOnAnotherItemThenPastAFullLastBlockThenModify", "lmgnhm"},
      // A place saved past the end comes back to the row the browse stood on, not to one the move
      // passed: after a seek's rows, a change of filter, a new run marked meanwhile.
      {"SavedPastTheEndOfASeeksRows", "FSksr"},
      {"SavedPastTheEndAfterTheFilterWentOff", "FlDksr"},
      {"SavedPastTheEndWithANewRunMarked", "FSnkTsr"},
      // A browse whose own row was deleted is not read again; a row deleted later through another
      // item is not either (a whole result still held it).
      {"RowDeletedThroughAnotherItemAfterTheBrowsesOwnRow", "dxlx" + std::string(23, 'e')},
  };
  // The statement's own copy of the row it stands on is where its next block starts: not the host's.
  auto host = [](const Trace& trace) {
    Trace seen;
    for (const std::string& line : trace) seen.push_back(line.substr(0, line.find(" statement")));
    return seen;
  };
  for (const auto& row : rows)
    for (const BrowseKnobs knobs : {BrowseKnobs{false, true}, BrowseKnobs{true, true}, BrowseKnobs{false, false}}) {
      SCOPED_TRACE(std::string(row.name) + (knobs.rowCache ? ", row cache" : "") +
                   (knobs.backward ? "" : ", forward only"));
      Restore(t, Keyed());
      const Trace whole = host(Run(t, nullptr, row.ops, knobs, true));
      Restore(t, Keyed());
      const Trace blocks = host(Run(t, "3", row.ops, knobs, true));
      ASSERT_EQ(blocks.size(), whole.size());
      for (size_t i = 0; i < blocks.size(); ++i) {
        EXPECT_EQ(blocks[i], whole[i]) << "operation " << i;
        if (blocks[i] != whole[i]) break;
      }
      // A move that lands on no row leaves the record as the operation before left it.
      for (size_t i = 1; i < whole.size(); ++i) {
        const std::string& line = whole[i];
        const bool move = line[0] == 'n' || line[0] == 'p' || line[0] == 'k';
        if (!move || line.find(" out 1 ") == std::string::npos) continue;
        EXPECT_EQ(line.substr(line.find(" current")), whole[i - 1].substr(whole[i - 1].find(" current")))
            << "operation " << i << " " << line[0];
      }
    }
}

// Rows that repeat: a browse found again on its row after a read on another item (which took the
// record, and the record's rank among equal rows) counts the rows equal to it by its own rank.
// Before, the other item's rank placed it on the first of its run: a next after the last row read
// the last one's twins again.
TEST_P(LiveBrowseTwin, ABrowseFoundAgainAmongEqualRowsKeepsItsOwnRank) {
  std::mt19937 rng(7);
  Table t;
  MakeKeyless(&t, &rng, 24, false);
  ASSERT_FALSE(HasFatalFailure());
  for (const char* cache : {static_cast<const char*>(nullptr), "3"})
    for (const BrowseKnobs knobs : {BrowseKnobs{false, true}, BrowseKnobs{true, true}, BrowseKnobs{false, false}}) {
      SCOPED_TRACE(std::string(cache != nullptr ? "blocks of 3" : "whole") + (knobs.rowCache ? ", row cache" : "") +
                   (knobs.backward ? "" : ", forward only"));
      Restore(t, Keyless());
      // The last row, the first on the other item, then a next on the first item: past the end.
      const Trace trace = Run(t, cache, "ldn", knobs, true, Keyless());
      ASSERT_EQ(trace.size(), 3u);
      EXPECT_EQ(trace[2].rfind("n ok 1 out 1 ", 0), 0u) << trace[2];
    }
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveBrowseTwin,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace
