// The write builders' literal road against the parameter road, in both code pages and SQL modes:
// a value written as its literal when the INSERT or UPDATE is built gives the server the very
// bytes the formatter writes for the same value held as a parameter.
#include <string>

#include "tests/mysql/statement_bench.h"

namespace {

class LiveWriteLiterals : public LiveStatementBench {
 protected:
  LiveWriteLiterals() : LiveStatementBench("_wl") {}

  // The server's table of every kind of column, seen through a host description whose items are
  // typed as a host file types them (narrow texts over utf8mb4 columns among them).
  Opened* OpenTable() {
    Create(m_strTable,
           "(id INT PRIMARY KEY, i INT NULL, b BIGINT NULL, s SMALLINT NULL, r DOUBLE NULL, f FLOAT NULL, "
           "t VARCHAR(300) CHARACTER SET utf8mb4 NULL, l VARCHAR(40) CHARACTER SET latin1 NULL, "
           "u VARCHAR(40) CHARACTER SET utf8mb4 NULL, d DECIMAL(12,2) NULL, c DECIMAL(19,4) NULL, "
           "dt DATETIME(3) NULL, dd DATE NULL, tm TIME(3) NULL, bn VARBINARY(40) NULL, mt TEXT NULL, "
           "mb BLOB NULL, bo TINYINT NULL, dm DECIMAL(19,4) NULL, dw DECIMAL(18,3) NULL)");
    const struct {
      const wchar_t* name;
      eNA_ITEMTYPE type;
      unsigned int size;
      int integer, decimals;
    } items[] = {{L"id", NA_IT_I4, 4, 0, 0},       {L"i", NA_IT_I4, 4, 0, 0},           {L"b", NA_IT_I8, 8, 0, 0},
                 {L"s", NA_IT_I2, 2, 0, 0},        {L"r", NA_IT_R8, 8, 0, 0},           {L"f", NA_IT_R4, 4, 0, 0},
                 {L"t", NA_IT_TEXTE, 301, 0, 0},   {L"l", NA_IT_TEXTE, 41, 0, 0},       {L"u", NA_IT_UNICODE, 82, 0, 0},
                 {L"d", NA_IT_DECIMAL, 24, 10, 2}, {L"c", NA_IT_MONETAIRE, 10, 0, 0},  {L"dt", NA_IT_DATETIME, 8, 0, 0},
                 {L"dd", NA_IT_DATE8, 9, 0, 0},    {L"tm", NA_IT_HEURE, 10, 0, 0},      {L"bn", NA_IT_BINAIRE, 40, 0, 0},
                 {L"mt", NA_IT_MEMOTEXTE, 8, 0, 0}, {L"mb", NA_IT_MEMOBINAIRE, 8, 0, 0}, {L"bo", NA_IT_BOOLEEN, 1, 0, 0},
                 {L"dm", NA_IT_DECIMAL, 24, 12, 4}, {L"dw", NA_IT_DECIMAL, 24, 15, 3}};
    CNADataSourceDescription* desc = NewDescription(FromUtf8(m_strTable));
    for (const auto& item : items) {
      EXPECT_TRUE(desc->bAddItem(item.name, L"", item.name, 1, item.size, item.type, -1, -1,
                                 item.type == NA_IT_I4 && item.name[0] == L'i' && item.name[1] == L'd' ? 0x8000 : 0,
                                 item.integer, item.decimals));
      desc->pclGetItemNoRef(desc->nGetNumItems() - 1)->SetNullable(1);
    }
    desc->UpdateRecordSize();
    return OpenOver(desc, m_strTable);
  }
  // The formatted text of "V " and the value written for column by the road given.
  std::string Written(Opened* o, CNAColumn* column, const CAny& value, bool literal) {
    CNACommand* c = Command(o);
    c->bComplete(L"V ");
    const BOOL added = literal ? c->bAddValueLiteral(&value, column)
                               : c->bAddParameter(&value, static_cast<eOPEXPRESSION>(-1), 0, column, 0,
                                                  CNAParameter::NA_PARAM_IN);
    if (!added) return "<not added>";
    m_literal = c->nGetParameterNbr() == 1 && c->pclGetParameterNoRef(0)->pclGetWrittenLiteral(&m_cp) != nullptr;
    return Sent(c);
  }
  int m_cp = 0;
  bool m_literal = false;
};

// Both roads, over every kind of column and the values that change a literal's bytes: the
// record's value (as the builders read it) and values the host hands over as they are.
TEST_P(LiveWriteLiterals, ValueLiteralsAreTheBytesTheirParametersFormat) {
  Opened* o = OpenTable();
  ASSERT_NE(o, nullptr);
  const std::wstring quotes = L"q'b\\s\"z\x1a\r\n%_`", accents = L"\u00e9t\u00e9 \u20ac";
  std::string nonAscii1252 = "caf\xe9 \x80";
  std::string bytes(40, 0);
  for (int i = 0; i < 40; ++i) bytes[i] = static_cast<char>(i * 7);
  // column, value set into the record (a NULL clears it), whether the literal road takes it,
  // what the road from the record's bytes answers (1 written, -1 left to the value, 0 either)
  const struct {
    const wchar_t* column;
    CAny value;
    bool literal;
    int fromRecord = -1;
  } rows[] = {
      {L"i", Int(-2147483647 - 1), true, 1},
      {L"i", Int(0), true, 1},
      {L"i", Null(ZV_I4), true},
      {L"b", FromText(ZV_I8, L"-9223372036854775808"), true, 1},
      {L"s", FromText(ZV_I2, L"-32768"), true, 1},
      {L"r", FromText(ZV_R8, L"-1.25"), true, 1},
      {L"r", FromText(ZV_R8, L"0.1"), true, 1},
      {L"f", FromText(ZV_R4, L"0.5"), true, 1},
      {L"t", Wide(L"", ZV_DSTRW), true, 0},
      {L"t", Wide(L"plain ascii", ZV_DSTRW), true, 1},
      {L"t", Wide(quotes, ZV_DSTRW), true, 1},
      {L"t", Wide(accents, ZV_DSTRW), true, 1},
      {L"t", Wide(std::wstring(290, L'x') + L"'", ZV_DSTRW), true, 1},
      {L"t", Wide(std::wstring(300, L'y'), ZV_DSTRW), true, 1},
      {L"t", Ansi(nonAscii1252, ZV_DSTRA), true, 1},
      {L"t", Null(ZV_DSTRA), true},
      {L"l", Wide(quotes, ZV_DSTRW), true, 1},
      {L"l", Ansi(nonAscii1252, ZV_DSTRA), true, 1},
      {L"u", Wide(accents + L"'\\", ZV_DSTRW), true},
      {L"d", FromText(ZV_DECIMAL, L"-1234567890.25"), true},
      {L"d", FromText(ZV_DECIMAL, L"0.05"), true},
      {L"c", FromText(ZV_CY, L"-922337203685.4775"), true, 1},
      {L"dt", FromText(ZV_DATETIME, L"20240229235959999"), true, 1},
      {L"dt", FromText(ZV_DATETIME, L"00000000000000000"), true, 1},
      {L"dd", FromText(ZV_DATEA, L"20240229"), true},
      {L"dd", FromText(ZV_DATEA, L"00000000"), true},
      {L"tm", FromText(ZV_TIMEA, L"235959999"), true},
      {L"bn", Bytes(bytes), true},
      {L"bn", Bytes(""), true},
      {L"mt", Wide(quotes + accents, ZV_DSTRW), true},
      {L"mb", Bytes(bytes + "'\\"), true},
      {L"bo", Bool(1), true},
  };
  for (const auto& row : rows) {
    CNAColumn* column = o->Column(row.column);
    ASSERT_NE(column, nullptr);
    ASSERT_TRUE(Set(o, row.column, row.value)) << ParseBench::Narrow(row.column) << ": " << Err();
    CAny read;
    ASSERT_TRUE(column->bGetCurrentValue(&read, 0));
    const std::string want = Written(o, column, read, false);
    EXPECT_EQ(Written(o, column, read, true), want) << ParseBench::Narrow(row.column) << " " << ParseBench::Narrow(Show(row.value));
    EXPECT_EQ(m_literal, row.literal) << ParseBench::Narrow(row.column) << " " << ParseBench::Narrow(Show(row.value));
    // Straight from the record's bytes where they tell the literal (narrow texts).
    CNACommand* fromRecord = Command(o);
    fromRecord->bComplete(L"V ");
    const int added = fromRecord->nAddColumnLiteral(column);
    if (row.fromRecord != 0) {
      EXPECT_EQ(added, row.fromRecord) << ParseBench::Narrow(row.column);
    }
    if (added == 1) {
      EXPECT_EQ(Sent(fromRecord), want) << ParseBench::Narrow(row.column) << " " << ParseBench::Narrow(Show(row.value));
    }
    // What the host hands over as it is, of the row's own type: the holder may convert it.
    EXPECT_EQ(Written(o, column, row.value, true), Written(o, column, row.value, false))
        << ParseBench::Narrow(row.column) << " " << ParseBench::Narrow(Show(row.value));
  }
}

// A value the holder would convert, or whose flags it would drop, keeps the parameter road.
TEST_P(LiveWriteLiterals, ValuesTheHolderWouldChangeStayParameters) {
  Opened* o = OpenTable();
  ASSERT_NE(o, nullptr);
  CAny flagged = Int(5);
  flagged.SetFlags(ZV_FLAG_CARRIED);
  CAny empty;
  // column, value
  const std::pair<const wchar_t*, CAny> rows[] = {
      {L"i", FromText(ZV_I8, L"12")}, {L"i", Wide(L"42", ZV_DSTRW)}, {L"t", Int(7)}, {L"d", FromText(ZV_R8, L"1.5")},
      {L"dt", Wide(L"20240101", ZV_DSTRW)}, {L"i", flagged}, {L"i", empty},
  };
  for (const auto& [name, value] : rows) {
    CNAColumn* column = o->Column(name);
    ASSERT_NE(column, nullptr);
    const std::string want = Written(o, column, value, false);
    EXPECT_EQ(Written(o, column, value, true), want) << ParseBench::Narrow(name) << " " << ParseBench::Narrow(Show(value));
    EXPECT_FALSE(m_literal) << ParseBench::Narrow(name) << " " << ParseBench::Narrow(Show(value));
  }
}

// A command takes its literal parameters back once nobody else holds them: one shared into
// another command, or cloned, or compared, keeps its bytes while the first command writes anew.
TEST_P(LiveWriteLiterals, LiteralsHeldElsewhereAreNotTakenBack) {
  Opened* o = OpenTable();
  ASSERT_NE(o, nullptr);
  CNAColumn* column = o->Column(L"i");
  CNACommand* first = Command(o);
  CNACommand* shared = Command(o);
  CNACommand* cloned = Command(o);
  // round, value written into first, what first, shared and cloned send after it
  const struct {
    int value;
    const char *first, *shared, *cloned;
  } rows[] = {{1, "A 1", "S A 1", "C A 1"}, {2, "A 2", "S A 1", "C A 1"}, {3, "A 3", "S A 1", "C A 1"}};
  for (const auto& row : rows) {
    first->ResetCommand(0);
    first->bComplete(L"A ");
    const CAny v = Int(row.value);
    ASSERT_TRUE(first->bAddValueLiteral(&v, column));
    EXPECT_EQ(Sent(first), row.first);
    if (row.value == 1) {
      // The clone first: a shared parameter belongs to the command it went to.
      cloned->bComplete(L"C ");
      ASSERT_TRUE(cloned->bAdd(first, NA_ADD_CLONE));
      shared->bComplete(L"S ");
      ASSERT_TRUE(shared->bAdd(first, NA_ADD_SHARE));
      EXPECT_TRUE(cloned->pclGetParameterNoRef(0)->bEqualsParameter(shared->pclGetParameterNoRef(0)));
    } else {
      EXPECT_FALSE(first->pclGetParameterNoRef(0)->bEqualsParameter(cloned->pclGetParameterNoRef(0)));
    }
    shared->ResetFormatedSQL();
    cloned->ResetFormatedSQL();
    EXPECT_EQ(Sent(shared), row.shared);
    EXPECT_EQ(Sent(cloned), row.cloned);
  }
}

// A kept command that wrote a large literal gives that memory back when it is recycled, and
// writes the next texts, small or large, as a new one would.
TEST_P(LiveWriteLiterals, ARecycledCommandWritesAfterALargeLiteralAsANewOne) {
  Opened* o = OpenTable();
  ASSERT_NE(o, nullptr);
  CNAColumn* column = o->Column(L"mt");
  ASSERT_NE(column, nullptr);
  const CAny large = Wide(std::wstring(100000, L'x') + L"'", ZV_DSTRW), small = Wide(L"s'", ZV_DSTRW);
  CNACommand* fresh = Command(o);
  CNACommand* kept = Command(o);
  for (const CAny* value : {&large, &small, &large, &small}) {
    kept->Recycle();
    fresh->ResetCommand(0);
    for (CNACommand* c : {kept, fresh}) {
      c->bComplete(L"V ");
      ASSERT_TRUE(c->bAddValueLiteral(value, column));
    }
    EXPECT_EQ(Sent(kept), Sent(fresh));
  }
}

// The INSERT the statement writes whole is, byte for byte, the command's build of the same INSERT
// (each value's literal parameter, or its parameter, formatted), whatever the kind of column and
// value the record holds; a value with no literal leaves the INSERT to the command. The command
// text read back is the statement sent.
TEST_P(LiveWriteLiterals, InsertsWrittenWholeAreTheBytesOfTheCommandsBuild) {
  Opened* o = OpenTable();
  ASSERT_NE(o, nullptr);
  CNARecord* record = o->Record();
  // Raw element bytes for a column: a decimal's data form as a host writes it, 8 bytes.
  auto bytes = [](long long v) {
    std::string out(8, '\0');
    for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(v >> (8 * i));
    return out;
  };
  // Every byte above ASCII, and those the host's page defines.
  std::string high, defined;
  for (int b = 0x80; b < 0x100; ++b) {
    high += static_cast<char>(b);
    if (b != 0x81 && b != 0x8D && b != 0x8F && b != 0x90 && b != 0x9D) defined += static_cast<char>(b);
  }
  // column, value set (a NULL clears it) or raw element bytes, whether the INSERT is written whole
  const struct {
    const wchar_t* column;
    CAny value;
    std::string raw;
    bool whole = true;
  } rows[] = {
      {L"i", Int(-2147483647 - 1), ""},
      {L"b", FromText(ZV_I8, L"9223372036854775807"), ""},
      {L"s", FromText(ZV_I2, L"-32768"), ""},
      {L"r", FromText(ZV_R8, L"-1.25"), ""},
      {L"f", FromText(ZV_R4, L"0.1"), ""},
      {L"t", Wide(L"q'b\\s\"z\x1a\r\n%_` \u00e9t\u00e9 \u20ac", ZV_DSTRW), ""},
      {L"t", Ansi("caf\xe9 \x80", ZV_DSTRA), ""},
      {L"t", Ansi("plain ascii ~", ZV_DSTRA), ""},
      {L"t", Ansi(std::string(256, 'a'), ZV_DSTRA), ""},
      {L"t", Ansi(std::string(257, 'b'), ZV_DSTRA), ""},
      {L"t", Ansi(high, ZV_DSTRA), ""},
      {L"t", Ansi(defined, ZV_DSTRA), ""},
      {L"t", Ansi("a\"b", ZV_DSTRA), ""},
      {L"t", Ansi("\x1a", ZV_DSTRA), ""},
      {L"t", Ansi("r\rn\n\\", ZV_DSTRA), ""},
      // Past whole runs of sixteen plain bytes: what needs escaping or widening, at any place.
      {L"t", Ansi(std::string(17, 'y'), ZV_DSTRA), ""},
      {L"t", Ansi(std::string(16, 'x') + "'" + std::string(16, 'y'), ZV_DSTRA), ""},
      {L"t", Ansi(std::string(31, 'x') + "\\", ZV_DSTRA), ""},
      {L"t", Ansi(std::string(20, 'x') + "\x1a\r\n" + std::string(20, 'z'), ZV_DSTRA), ""},
      {L"t", Ansi(std::string(40, 'x') + "\xe9" + std::string(20, 'z'), ZV_DSTRA), ""},
      {L"t", Ansi(std::string(33, 'x') + "\"" + std::string(30, 'z') + "\x80", ZV_DSTRA), ""},
      {L"t", Null(ZV_DSTRA), ""},
      {L"l", Ansi("plain", ZV_DSTRA), ""},
      {L"l", Ansi(defined, ZV_DSTRA), ""},
      {L"l", Wide(L"l'\\", ZV_DSTRW), ""},
      {L"u", Wide(L"\u00e9'\\", ZV_DSTRW), ""},
      {L"d", FromText(ZV_DECIMAL, L"-1234567890.25"), ""},
      {L"d", FromText(ZV_DECIMAL, L"0.05"), ""},
      {L"c", FromText(ZV_CY, L"-922337203685.4775"), ""},
      {L"dm", FromText(ZV_DECIMAL, L"-12345678.5"), ""},
      {L"dm", FromText(ZV_DECIMAL, L"0"), ""},
      {L"dm", CAny(), bytes(9999999999999999LL)},
      {L"dm", CAny(), bytes(-9999999999999999LL)},
      // More digits than the item's precision: the host's own refusal decides, on both roads.
      {L"dm", CAny(), bytes(10000000000000000LL)},
      {L"dw", FromText(ZV_DECIMAL, L"-999999999999999.999"), ""},
      {L"dw", CAny(), bytes(999999999999999999LL)},
      {L"dw", Null(ZV_DECIMAL), ""},
      {L"dt", FromText(ZV_DATETIME, L"20240229235959999"), ""},
      {L"dt", FromText(ZV_DATETIME, L"00000000000000000"), ""},
      {L"dd", FromText(ZV_DATEA, L"20240229"), ""},
      {L"tm", FromText(ZV_TIMEA, L"235959999"), ""},
      {L"bn", Bytes(std::string("\0'\\\x80", 4)), ""},
      {L"mt", Wide(L"m'\\", ZV_DSTRW), ""},
      {L"bo", Bool(1), ""},
      // A real the server cannot read has no literal: the command fails its formatting.
      {L"r", FromText(ZV_R8, L"1"), std::string("\0\0\0\0\0\0\xF0\x7F", 8), false},
      {L"r", FromText(ZV_R8, L"2.5"), ""},
  };
  for (const auto& row : rows) {
    const std::string label = ParseBench::Narrow(row.column) + " " + ParseBench::Narrow(Show(row.value));
    CNAColumn* column = o->Column(row.column);
    ASSERT_NE(column, nullptr);
    if (row.raw.empty()) {
      ASSERT_TRUE(Set(o, row.column, row.value)) << label << ": " << Err();
    } else {
      CNAKJRecord* kj = record->pclGetNAKJRecord();
      kj->vSetItemValue(column->piGetItemNoRef(), row.raw.data(), static_cast<unsigned int>(row.raw.size()), 0);
      kj->SetItemValueDefined(column->piGetItemNoRef(), TRUE, 0);
    }
    CNACommand* whole = Command(o);
    ASSERT_TRUE(o->st->bBuildQuery(NA_QUERY_INSERT, whole, 0)) << label << ": " << Err();
    EXPECT_EQ(whole->nGetParameterNbr() == 0, row.whole) << label;
    m_error.Reset();
    // The command's build: the column list, then each value as the statement's builder adds it.
    CNACommand* built = Command(o);
    built->bComplete(L"INSERT INTO ");
    built->bComplete(o->access->pszGetFormatedTableName());
    built->bComplete(L" (");
    for (int i = 0; i < record->nGetNbColumn(); ++i) {
      if (i > 0) built->bComplete(L",");
      built->bComplete(record->pclGetColumnNoRef(i)->pszGetFormatedName());
    }
    built->bComplete(L") VALUES ( ");
    for (int i = 0; i < record->nGetNbColumn(); ++i) {
      CNAColumn* each = record->pclGetColumnNoRef(i);
      if (i > 0) built->bComplete(L", ");
      if (built->nAddColumnLiteral(each) < 0) {
        CAny value;
        ASSERT_TRUE(each->bGetCurrentValue(&value, 0));
        ASSERT_TRUE(built->bAddValueLiteral(&value, each));
      }
    }
    built->bComplete(L" )");
    const std::string want = Sent(built);
    m_error.Reset();
    EXPECT_EQ(Sent(whole), want) << label;
    if (row.whole) {
      EXPECT_EQ(std::wstring(whole->pszGetOriginalSQL()), std::wstring(built->pszGetFormatedSQLW(NA_PARAMCONV_ALL)))
          << label;
    }
    m_error.Reset();
  }
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveWriteLiterals,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace
