// Data-source descriptions without a server: naming, placing and keying of added items, the
// record layout and a record buffer over it, the best parse item, compatibility, lookups, the
// host type table, getters past their counts, keys never weakened, clones and counts, the
// completion from the stand-in host's parsed queries, and a record over a host description and
// an imported one.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "access/nadatasourcedescription.h"
#include "driver/naerror.h"
#include "host/host_sqlparser.h"
#include "mysql/mysqldatasourcedescription.h"
#include "sql/nakjrecord.h"
#include "sql/sqlparserinfo.h"
#include "tests/support/parse_bench.h"
#include "tests/support/record_bench.h"

namespace {

int g_nDeleted = 0;

// Counts its deletions.
class CCountedDescription final : public CNADataSourceDescription {
 public:
  using CNADataSourceDescription::CNADataSourceDescription;
  ~CCountedDescription() override { ++g_nDeleted; }
};

class Description : public AnyTest {
 protected:
  Description() { CNAError::s_Hold(&m_error); }
  ~Description() override {
    for (CNADataSourceDescription* d : m_tabMade) d->nRelease();
  }
  // A new description of the driver's factory, held by the test.
  CNADataSourceDescription* Make() {
    CNADataSourceDescription* d = m_driver.pclAllocDataSourceDescription(&m_cnx, &m_error);
    d->AddRef();
    d->SetLogicalName(L"file");
    d->SetDBName(L"db_file");
    m_tabMade.push_back(d);
    return d;
  }
  static BOOL Add(CNADataSourceDescription* d, const wchar_t* name, eNA_ITEMTYPE type, unsigned int size,
                  unsigned short flags = 0, int physical = -1, int keyIndex = -1, unsigned int dimension = 1) {
    return d->bAddItem(name, L"t", name, dimension, size, type, physical, keyIndex, flags, 0, 0);
  }
  // Items as "name@physical", keys as "name#keyIndex".
  static std::wstring Items(const CNADataSourceDescription* d) { return Listed(d, false); }
  static std::wstring Keys(const CNADataSourceDescription* d) { return Listed(d, true); }
  static std::wstring Listed(const CNADataSourceDescription* d, bool keys) {
    std::wstring out;
    for (int i = 0; i < (keys ? d->nGetNumKeys() : d->nGetNumItems()); ++i) {
      const CNAItemDescription* item = keys ? d->pclGetKeyNoRef(i) : d->pclGetItemNoRef(i);
      out += (i > 0 ? L"," : L"") + std::wstring(item->pszGetName()) + (keys ? L"#" : L"@") +
             std::to_wstring(keys ? item->nGetKeyIndice() : static_cast<int>(item->nGetPhysicalIndice()));
    }
    return out;
  }
  std::wstring Raised() const {
    const CXError* e = m_error.pclGetXError();
    const wchar_t* m = e->pszGetUserMessage();
    return m_error.nGetUserErrorCode() == 0 ? L"" : std::to_wstring(m_error.nGetUserErrorCode()) + L" " + (m ? m : L"");
  }

  CMySQLDriver m_driver;
  CHostConnectionDescription m_host;
  CBenchConnection m_cnx{&m_host, 5, INT_MAX};
  CNAError m_error;
  std::vector<CNADataSourceDescription*> m_tabMade;
};

TEST_F(Description, ItemsAreNamedPlacedAndKeyedAsTheyAreAdded) {
  CNADataSourceDescription* d = Make();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Add(d, L"ID", NA_IT_I4, 4));
  ASSERT_TRUE(Add(d, L"", NA_IT_I4, 4));
  ASSERT_TRUE(Add(d, nullptr, NA_IT_I4, 4));
  EXPECT_EQ(Items(d), L"ID@0,ID2@1,ID3@2,Expr1000@3,Expr10002@4");
  // Physical index 0 while items exist: first, the others after it.
  ASSERT_TRUE(Add(d, L"first", NA_IT_I4, 4, 0, 0));
  EXPECT_EQ(Items(d), L"first@0,ID@1,ID2@2,ID3@3,Expr1000@4,Expr10002@5");
  // Key index -1: the next key; 0 while keys exist: first, the others renumbered.
  ASSERT_TRUE(Add(d, L"k1", NA_IT_I4, 4, NA_KEY_UNIQUE));
  ASSERT_TRUE(Add(d, L"k2", NA_IT_I4, 4, NA_KEY_DUPLICATES));
  ASSERT_TRUE(Add(d, L"k0", NA_IT_I4, 4, NA_KEY_DUPLICATES, -1, 0));
  EXPECT_EQ(Keys(d), L"k0#0,k1#1,k2#2");
  ASSERT_TRUE(Add(d, L"m", NA_IT_MEMOTEXTE, 8));
  EXPECT_EQ(d->nGetNumMemos(), 1);
  // Unnamed items of a laid-out description start from its sub-item count.
  d->UpdateRecordSize();
  ASSERT_TRUE(Add(d, L"", NA_IT_I4, 4));
  EXPECT_STREQ(d->pclGetItemNoRef(d->nGetNumItems() - 1)->pszGetName(), L"Expr1010");
}

TEST_F(Description, RecordLayoutGivesCompositeKeysAPlaceInMemoryOnly) {
  CNADataSourceDescription* d = Make();
  ASSERT_TRUE(Add(d, L"a", NA_IT_I4, 4));
  ASSERT_TRUE(Add(d, L"k", NA_IT_BINAIRE, 0, NA_KEY_COMPOSED | NA_KEY_DUPLICATES));
  ASSERT_TRUE(Add(d, L"b", NA_IT_I4, 4));
  ASSERT_TRUE(d->_bAddItemComponent(d->pclGetItemNoRef(1), L"a") && d->_bAddItemComponent(d->pclGetItemNoRef(1), 2));
  ASSERT_TRUE(Add(d, L"arr", NA_IT_I2, 2, 0, -1, -1, 3));
  ASSERT_TRUE(Add(d, L"z", NA_IT_I1, 1));
  d->UpdateRecordSize();
  std::wstring layout;
  for (int i = 0; i < d->nGetNumItems(); ++i) {
    const CNAItemDescription* item = d->pclGetItemNoRef(i);
    layout += std::to_wstring(item->nGetOffset(0)) + L"/" + std::to_wstring(item->nGetSubItemRecordIndice(0)) + L" ";
  }
  EXPECT_EQ(layout, L"0/0 4/1 12/2 16/3 22/6 ");
  EXPECT_EQ(d->pclGetItemNoRef(3)->nGetOffset(2), 20);
  EXPECT_EQ(d->nGetMemoryRecordSize(), 23);
  EXPECT_EQ(d->nGetDiskRecordSize(), 15);
}

// The Part's own example: a composite key of 8 bytes between two items of 4 lays b at 12 in a disk
// record of 8 bytes; a record sized by the disk size alone had no room for b.
TEST_F(Description, ItemAfterACompositeKeyHasRoomInTheRecord) {
  CNADataSourceDescription* d = Make();
  ASSERT_TRUE(Add(d, L"a", NA_IT_I4, 4));
  ASSERT_TRUE(Add(d, L"k", NA_IT_BINAIRE, 0, NA_KEY_COMPOSED | NA_KEY_UNIQUE));
  ASSERT_TRUE(Add(d, L"b", NA_IT_I4, 4));
  ASSERT_TRUE(d->_bAddItemComponent(d->pclGetItemNoRef(1), L"a") && d->_bAddItemComponent(d->pclGetItemNoRef(1), L"b"));
  d->UpdateRecordSize();
  ASSERT_EQ(d->pclGetItemNoRef(2)->nGetOffset(0), 12);
  ASSERT_EQ(d->nGetDiskRecordSize(), 8);
  ASSERT_EQ(d->nGetMemoryRecordSize(), 16);
  CNAKJRecord record;
  ASSERT_TRUE(record.bInit(d, NA_INIT_EMPTY));
  CAny seven, back;
  seven.SetI4(7);
  record.SetItemValue(d->pclGetItemNoRef(2), &seven, 0);
  EXPECT_TRUE(record.bItemValueDefined(d->pclGetItemNoRef(2), 0));
  record.GetItemValue(&back, d->pclGetItemNoRef(2), 0);
  EXPECT_EQ(Show(back), L"7");
}

TEST_F(Description, BestParseItemPrefersThePrimaryThenASureUniqueKey) {
  struct Key {
    const wchar_t* name;
    unsigned short flags;
    bool nullable;
  };
  const struct {
    std::vector<Key> items;
    const wchar_t* best;
  } rows[] = {
      {{{L"K1", NA_KEY_UNIQUE, true}, {L"K2", NA_KEY_UNIQUE, false}, {L"K3", NA_KEY_PRIMARY, true}}, L"K3"},
      {{{L"K1", NA_KEY_UNIQUE, true}, {L"K2", NA_KEY_UNIQUE, false}}, L"K2"},
      {{{L"K1", NA_KEY_UNIQUE, false}, {L"K2", NA_KEY_UNIQUE, false}}, L"K1"},
      {{{L"K1", NA_KEY_UNIQUE, true}, {L"K2", NA_KEY_UNIQUE, true}}, L"K1"},
      {{{L"K1", NA_KEY_DUPLICATES, false}, {L"K2", NA_KEY_DUPLICATES, false}}, L"K1"},
      {{{L"d", NA_KEY_DUPLICATES, false}, {L"u", NA_KEY_UNIQUE, true}}, L"u"},
      {{{L"m", 0, true}, {L"a", 0, true}, {L"b", 0, true}}, L"a"},
      {{{L"m", 0, true}, {L"m2", 0, true}}, L"m"},
      {{}, L"-"},
  };
  for (const auto& row : rows) {
    CNADataSourceDescription* d = Make();
    for (const Key& k : row.items) {
      ASSERT_TRUE(Add(d, k.name, k.name[0] == L'm' ? NA_IT_MEMOTEXTE : NA_IT_I4, 4, k.flags));
      if (!k.nullable) d->pclGetItemNoRef(d->nGetNumItems() - 1)->SetNullable(0);
    }
    INAItemDescription* best = d->piGetBestParseItemDesc();
    EXPECT_STREQ(best != nullptr ? best->pszGetName() : L"-", row.best);
    if (best == nullptr) continue;
    // Kept once chosen, one reference for each caller and one for the description.
    EXPECT_EQ(d->piGetBestParseItemDesc(), best);
    EXPECT_EQ(d->pclNAGetItemNoRef(best->pszGetName(), 2)->nGetExternalRef(),
              4 + (best->bIsKey() ? 1 : 0) + (best->bMemo() ? 1 : 0));
    best->nExternalRelease();
    best->nExternalRelease();
  }
}

TEST_F(Description, CompatibilityNeedsEveryPlainItemOfTheOtherByName) {
  CNADataSourceDescription* d = Make();
  for (const wchar_t* name : {L"NOM", L"ville", L"extra"}) ASSERT_TRUE(Add(d, name, NA_IT_I4, 4));
  struct Item {
    const wchar_t* name;
    unsigned short flags;
  };
  const struct {
    std::vector<Item> other;
    const wchar_t* missing;  // null: compatible
  } rows[] = {
      {{{L"nom", 0}, {L"VILLE", 0}}, nullptr},
      {{{L"nom  ", 0}, {L"Ville", 0}}, nullptr},
      {{{L"nom", 0}, {L"ck", NA_KEY_COMPOSED | NA_KEY_UNIQUE}}, nullptr},
      {{{L"nom", 0}, {L"code", 0}, {L"pays", 0}}, L"code"},
      {{{L"  nom", 0}}, L"  nom"},
      {{}, nullptr},
  };
  for (const auto& row : rows) {
    m_error.Reset();
    std::deque<CHostItemDescription> items;
    CHostRecordDescription other;
    for (const Item& item : row.other) {
      // Types and sizes do not matter.
      CHostItemDescription& host = items.emplace_back(item.name, NA_IT_TEXTE, 50);
      host.m_wKeyFlags = item.flags;
      other.Add(&host);
    }
    EXPECT_EQ(d->bAreDescriptionCompatible(&other), row.missing == nullptr ? TRUE : FALSE);
    EXPECT_EQ(m_error.nGetUserErrorCode(), row.missing == nullptr ? 0u : 20u);
    if (row.missing != nullptr) {
      EXPECT_NE(Raised().find(L"file"), std::wstring::npos) << ParseBench::Narrow(Raised());
      EXPECT_NE(Raised().find(row.missing), std::wstring::npos) << ParseBench::Narrow(Raised());
      EXPECT_STREQ(m_error.pszGetLogicalTableName(), L"file");
    }
    for (const CHostItemDescription& host : items) EXPECT_EQ(host.nGetRefCount(), 0);
  }
}

TEST_F(Description, LookupsCutTrailingBlanksOnlyInMode3) {
  CNADataSourceDescription* d = Make();
  ASSERT_TRUE(Add(d, L"NAME", NA_IT_I4, 4, NA_KEY_UNIQUE));
  ASSERT_TRUE(Add(d, L"\u00e9t\u00e9 ", NA_IT_I4, 4));
  const struct {
    const wchar_t* name;
    int mode;
    const wchar_t* found;
  } rows[] = {
      {L"NAME", 2, L"NAME"},   {L"name", 2, L"NAME"},   {L"NAME  ", 3, L"NAME"}, {L"NAME  ", 2, L"-"},
      {L"  NAME", 3, L"-"},    {L"  NAME", 2, L"-"},    {L"ete", 3, L"\u00e9t\u00e9 "},
      {L"ETE ", 2, L"\u00e9t\u00e9 "}, {L"ete", 2, L"-"}, {L"", 3, L"-"}, {nullptr, 2, L"-"},
  };
  for (const auto& row : rows) {
    CNAItemDescription* item = d->pclNAGetItemNoRef(row.name, row.mode);
    EXPECT_STREQ(item != nullptr ? item->pszGetName() : L"-", row.found) << (row.name ? ParseBench::Narrow(row.name) : "");
  }
  INAItemDescription* byInterface = d->piNAGetItem(L"name");
  EXPECT_EQ(byInterface, d->pclGetItemNoRef(0));
  byInterface->nExternalRelease();
  EXPECT_EQ(d->piNAGetItem(L"name "), nullptr);
  INAItemDescription* key = d->piNAGetKey(L"name  ");
  EXPECT_EQ(key, d->pclGetItemNoRef(0));
  key->nExternalRelease();
  EXPECT_EQ(d->piNAGetKey(L"\u00e9t\u00e9"), nullptr);
  // By the server's own column place, which only a backend sets.
  EXPECT_EQ(d->pclNAGetItemByPhysicalIndiceDB(0), nullptr);
  d->pclGetItemNoRef(1)->SetPhysicalIndiceDB(7);
  CNAItemDescription* seventh = d->pclNAGetItemByPhysicalIndiceDB(7);
  EXPECT_EQ(seventh, d->pclGetItemNoRef(1));
  seventh->nExternalRelease();
  // A corresponding item that is missing is an error.
  EXPECT_EQ(d->pclNAGetCorrespondingItem(L"none"), nullptr);
  EXPECT_EQ(m_error.nGetUserErrorCode(), 26u);
  EXPECT_STREQ(m_error.pszGetItemName(), L"none");
  EXPECT_STREQ(m_error.pszGetLogicalTableName(), L"db_file");
}

TEST_F(Description, HostItemTypeCodesMapThroughTheTable) {
  const std::pair<int, eNA_ITEMTYPE> rows[] = {
      {0, NA_IT_EMPTY},       {1, NA_IT_MEMOTEXTE},  {2, NA_IT_TEXTE},     {8, NA_IT_I2},
      {12, NA_IT_CHAR},       {23, NA_IT_IMAGE},     {24, NA_IT_IDAUTO},   {28, NA_IT_BINAIRE},
      {30, NA_IT_MEMOBINAIRE}, {33, NA_IT_I4},       {36, NA_IT_UI1},      {38, NA_IT_IDAUTO4},
      {40, NA_IT_MEMOUNICODE}, {41, NA_IT_DECIMAL},  {42, NA_IT_MEMOTEXTE}, {-1, NA_IT_MEMOTEXTE},
  };
  for (const auto& [code, type] : rows) EXPECT_EQ(CNADataSourceDescription::g_eGetNAItemType(code), type) << code;
}

TEST_F(Description, GettersAnswerNullPastTheirCounts) {
  CNADataSourceDescription* d = Make();
  ASSERT_TRUE(Add(d, L"k", NA_IT_I4, 4, NA_KEY_UNIQUE));
  ASSERT_TRUE(Add(d, L"m", NA_IT_MEMOTEXTE, 8));
  for (unsigned int n : {2u, 3u, 0x7FFFFFFFu, 0x80000000u, UINT_MAX}) {
    EXPECT_EQ(d->piNAGetItem(n), nullptr) << n;
    EXPECT_EQ(d->piNAGetKey(n - 1), nullptr) << n;
    EXPECT_EQ(d->piNAGetMemo(n - 1), nullptr) << n;
  }
  for (int i : {-1, 2, INT_MAX, INT_MIN}) {
    EXPECT_FALSE(d->_bSetKeyType(i, NA_KEY_DUPLICATES)) << i;
    EXPECT_FALSE(d->_bAddItemComponent(d->pclGetItemNoRef(0), i)) << i;
  }
  INAItemDescription* last = d->piNAGetMemo(0);
  EXPECT_STREQ(last->pszGetName(), L"m");
  last->nExternalRelease();
}

// SHOW INDEX lists a column's unique index before a plain one on it: the plain one must not
// turn the unique key into one with duplicates.
TEST_F(Description, UniqueKeyStaysUniqueWhenAPlainIndexFollows) {
  const struct {
    std::vector<unsigned short> indexes;
    unsigned short flags;
  } rows[] = {
      {{0x4800, 0x2800}, 0x4800},
      {{0x2800, 0x4800}, 0x4800},
      {{0xC800, 0x2800, 0x4800}, 0xC800},
      {{0x2800, 0xC800}, 0xC800},
      {{0x2800, 0x2480}, 0x2C80},
      {{0x2800}, 0x2800},
  };
  for (const auto& row : rows) {
    CNADataSourceDescription* d = Make();
    ASSERT_TRUE(Add(d, L"other", NA_IT_I4, 4, NA_KEY_DUPLICATES));
    ASSERT_TRUE(Add(d, L"c", NA_IT_I4, 4));
    for (unsigned short flags : row.indexes) EXPECT_TRUE(d->_bSetKeyType(L"c", flags));
    EXPECT_EQ(d->pclGetItemNoRef(1)->wGetKeyFlags(), row.flags);
    // Listed once among the keys, at its place.
    EXPECT_EQ(Keys(d), L"other#0,c#1");
  }
  CNADataSourceDescription* d = Make();
  EXPECT_FALSE(d->_bSetKeyType(L"none", 0x2800));
  EXPECT_EQ(m_error.nGetUserErrorCode(), 26u);
}

TEST_F(Description, ClonesHaveTheirOwnComponentsAndOutliveTheirSource) {
  g_nDeleted = 0;
  auto* source = new CCountedDescription(&m_cnx, &m_error);
  source->AddRef();
  source->SetLogicalName(L"src");
  ASSERT_TRUE(Add(source, L"a", NA_IT_I4, 4));
  ASSERT_TRUE(Add(source, L"d", NA_IT_DATE8, 9));
  ASSERT_TRUE(Add(source, L"m", NA_IT_MEMOTEXTE, 8));
  ASSERT_TRUE(Add(source, L"u", NA_IT_I4, 4, NA_KEY_UNIQUE));
  ASSERT_TRUE(Add(source, L"ck", NA_IT_BINAIRE, 0, NA_KEY_COMPOSED | NA_KEY_UNIQUE));
  CNAItemDescription* ck = source->pclGetItemNoRef(4);
  ASSERT_TRUE(source->_bAddItemComponent(ck, L"a") && source->_bAddItemComponent(ck, L"d"));
  const unsigned int keySize = ck->nGetItemSize();
  CAny date = FromText(ZV_DATEW, L"20240229");
  source->pclGetItemNoRef(1)->SetDefaultValue(&date, -1);
  source->UpdateRecordSize();
  INAItemDescription* best = source->piGetBestParseItemDesc();
  best->nExternalRelease();

  const struct {
    CNAItemDescription::eCLONEDESC mode;
    const wchar_t* keys;
    eNA_ITEMTYPE date;
    const wchar_t* dateDefault;
  } rows[] = {
      {static_cast<CNAItemDescription::eCLONEDESC>(0), L"u#0,ck#1", NA_IT_DATE8, L"20240229"},
      {CNAItemDescription::NA_CLONE_KEYDUPLICATES, L"a#0,d#1,u#2,ck#3", NA_IT_DATE8, L"20240229"},
      {CNAItemDescription::NA_CLONE_DATEASTEXT, L"u#0,ck#1", NA_IT_TEXTE, L""},
      {static_cast<CNAItemDescription::eCLONEDESC>(3), L"a#0,d#1,u#2,ck#3", NA_IT_TEXTE, L""},
  };
  std::vector<CNADataSourceDescription*> clones;
  for (const auto& row : rows) {
    CNADataSourceDescription* clone = source->pclGetCloneDataSourceDescription(row.mode);
    ASSERT_NE(clone, nullptr);
    ASSERT_EQ(clone->nGetRef(), 0);
    clone->AddRef();
    clones.push_back(clone);
    EXPECT_EQ(std::wstring(clone->pszGetLogicalName()) + Items(clone), L"srca@0,d@1,m@2,u@3,ck@4");
    EXPECT_EQ(Keys(clone), row.keys);
    EXPECT_EQ(clone->pclGetItemNoRef(1)->eNAGetItemType(), row.date);
    EXPECT_EQ(Show(*clone->pclGetItemNoRef(1)->pclGetDefaultValue()), row.dateDefault);
    EXPECT_EQ(clone->pclGetItemNoRef(2)->nGetKeyIndice(), -1);
    EXPECT_EQ(clone->nGetMemoryRecordSize(), source->nGetMemoryRecordSize());
  }
  source->nRelease();
  EXPECT_EQ(g_nDeleted, 1);
  for (CNADataSourceDescription* clone : clones) {
    // Components and best parse item are the clone's own items, alive with it.
    CNAItemDescription* key = clone->pclGetItemNoRef(4);
    ASSERT_EQ(key->nGetNumComponents(), 2);
    for (int c = 1; c <= 2; ++c) {
      INAItemDescription* part = key->piGetItemComponent(c);
      EXPECT_EQ(part, clone->pclGetItemNoRef(c - 1));
      part->nExternalRelease();
    }
    EXPECT_EQ(key->nGetItemSize(), keySize);
    INAItemDescription* own = clone->piGetBestParseItemDesc();
    EXPECT_EQ(own, clone->pclGetItemNoRef(3));
    own->nExternalRelease();
    clone->nRelease();
  }
}

TEST_F(Description, CountsReleaseAtZeroChangeNothingAndDeleteOnce) {
  const char* orders[] = {"ie", "ei", "iiee", "eiie"};
  for (const char* order : orders) {
    g_nDeleted = 0;
    auto* d = new CCountedDescription(&m_cnx, &m_error);
    EXPECT_EQ(d->nRelease(), 0);
    EXPECT_EQ(d->nExternalRelease(), 0);
    EXPECT_EQ(g_nDeleted, 0);
    for (const char* c = order; *c != 0; ++c) *c == 'i' ? d->AddRef() : static_cast<void>(d->ExternalAddRef());
    const size_t n = strlen(order);
    for (size_t k = 0; k < n; ++k) {
      EXPECT_EQ(g_nDeleted, 0) << order;
      order[n - 1 - k] == 'i' ? d->nRelease() : d->nExternalRelease();
    }
    EXPECT_EQ(g_nDeleted, 1) << order;
  }
  // The connection is given back and the error's count dropped by the last release.
  EXPECT_EQ(m_cnx.nGetRefCount(), 0u);
  EXPECT_EQ(m_error.nGetRefCount(), 1u);
}

class Completion : public Description {
 protected:
  void TearDown() override { EXPECT_EQ(CHostSQLParser::nLive(), m_nLive); }
  // d (a new description when null) completed from text's parse; null when it does not parse.
  CNADataSourceDescription* Completed(const std::wstring& text, CNADataSourceDescription* d = nullptr) {
    ISQLParserInformation* parse = m_parses.Parse(text);
    if (parse == nullptr) return nullptr;
    auto* parser = new CSQLParserInfo(nullptr, parse, nullptr, 0);
    parser->AddRef();
    parse->nRelease();
    if (d == nullptr) d = Make();
    EXPECT_TRUE(d->bCompleteDescription(parser)) << ParseBench::Narrow(text);
    EXPECT_EQ(d->eGetOrigin(), NA_DESC_STATEMENT);
    parser->nRelease();
    return d;
  }
  ParseBench m_parses;
  long m_nLive = CHostSQLParser::nLive();
};

TEST_F(Completion, QueryColumnsTakeKeyKindsByTheNumberOfTables) {
  const struct {
    const wchar_t* query;
    const wchar_t* items;  // name flags source-table
    const wchar_t* keys;
  } rows[] = {
      {L"SELECT id, code, nom, ville FROM clients",
       L"id C800 db_clients;code 4800 db_clients;nom 2800 db_clients;ville 0000 db_clients;", L"id#0,code#1,nom#2"},
      {L"SELECT c.id, c.code, c.nom AS n, o.num FROM clients c, commandes o",
       L"id 2800 c;code 2800 c;n 2800 c;num 2800 o;", L"id#0,code#1,n#2,num#3"},
      {L"SELECT clients.nom, num FROM clients, commandes", L"nom 2800 db_clients;num 2800 db_commandes;",
       L"nom#0,num#1"},
      {L"SELECT id, LENGTH(nom) FROM clients", L"id C800 db_clients;LENGTH(nom) 0000 ;", L"id#0"},
  };
  for (const auto& row : rows) {
    CNADataSourceDescription* d = Completed(row.query);
    ASSERT_NE(d, nullptr);
    std::wstring items;
    for (int i = 0; i < d->nGetNumItems(); ++i) {
      const CNAItemDescription* item = d->pclGetItemNoRef(i);
      wchar_t flags[8];
      swprintf(flags, 8, L"%04X", item->wGetKeyFlags());
      items += std::wstring(item->pszGetName()) + L" " + flags + L" " + item->pszGetPhysicalSourceTable() + L";";
    }
    EXPECT_EQ(items, row.items) << ParseBench::Narrow(row.query);
    EXPECT_EQ(Keys(d), row.keys) << ParseBench::Narrow(row.query);
  }
}

TEST_F(Completion, OrderByPicksTheBestParseItemAndItsDirection) {
  const struct {
    const wchar_t* query;
    const wchar_t* best;
    const wchar_t* directions;  // A ascending, D descending, - none, per item
  } rows[] = {
      {L"SELECT nom, ville FROM clients ORDER BY ville DESC", L"ville", L"-D"},
      {L"SELECT nom, ville FROM clients ORDER BY 2, 1 DESC", L"ville", L"DA"},
      // An entry that names no item orders nothing; the next one does not drive browsing.
      {L"SELECT nom, ville FROM clients ORDER BY code, ville DESC", L"nom", L"-D"},
      {L"SELECT ville, note FROM clients", L"ville", L"--"},
  };
  for (const auto& row : rows) {
    CNADataSourceDescription* d = Completed(row.query);
    ASSERT_NE(d, nullptr);
    INAItemDescription* best = d->piGetBestParseItemDesc();
    EXPECT_STREQ(best->pszGetName(), row.best) << ParseBench::Narrow(row.query);
    best->nExternalRelease();
    std::wstring directions;
    for (int i = 0; i < d->nGetNumItems(); ++i) {
      const unsigned short f = d->pclGetItemNoRef(i)->wGetKeyFlags() & (NA_KEY_ASCENDANT | NA_KEY_DESCENDANT);
      directions += f == NA_KEY_DESCENDANT ? L'D' : f == NA_KEY_ASCENDANT && !d->pclGetItemNoRef(i)->bIsKey() ? L'A' : L'-';
    }
    EXPECT_EQ(directions, row.directions) << ParseBench::Narrow(row.query);
  }
}

// A key completed from the host's key stays where it is among the keys: its key index is its
// place, not the key count (which would name a place past the last key).
TEST_F(Completion, KeyCompletedFromTheQueryKeepsItsPlace) {
  // As the statement road leaves them: the server's names and types.
  CNADataSourceDescription* d = Make();
  ASSERT_TRUE(Add(d, L"code", NA_IT_TEXTE, 11, NA_KEY_UNIQUE));
  ASSERT_TRUE(Add(d, L"nom", NA_IT_MEMOTEXTE, 8));
  ASSERT_TRUE(Add(d, L"n", NA_IT_R8, 8));
  ASSERT_EQ(d->nGetNumMemos(), 1);
  ASSERT_EQ(Completed(L"SELECT code, nom, LENGTH(nom) AS n, id FROM clients", d), d);
  EXPECT_EQ(Items(d), L"code@0,nom@1,n@2,id@3");
  EXPECT_EQ(Keys(d), L"code#0,nom#1,id#2");
  const struct {
    eNA_ITEMTYPE type;
    unsigned int size;
    unsigned short flags;
    int calculation;
    const wchar_t* nameInSource;
  } want[] = {
      {NA_IT_TEXTE, 11, 0x4800, 0, L"source column"},
      {NA_IT_TEXTE, 31, 0x2800, 0, L"source column"},
      {NA_IT_I4, 4, 0, 1, L"n"},
      {NA_IT_IDAUTO4, 4, 0xC800, 0, L"source column"},
  };
  for (int i = 0; i < 4; ++i) {
    const CNAItemDescription* item = d->pclGetItemNoRef(i);
    EXPECT_EQ(std::make_tuple(item->eNAGetItemType(), item->nGetItemSize(), item->wGetKeyFlags(),
                              item->nGetCalculation(), std::wstring(item->pszGetNameInSource())),
              std::make_tuple(want[i].type, want[i].size, want[i].flags, want[i].calculation,
                              std::wstring(want[i].nameInSource)))
        << i;
  }
  EXPECT_STREQ(d->pclGetItemNoRef(2)->pszGetSourceName(), L"");
  // nom is no memo any more.
  EXPECT_EQ(d->nGetNumMemos(), 0);
  EXPECT_EQ(d->nGetMemoryRecordSize(), 11 + 31 + 4 + 4);
}

TEST_F(Description, RecordFindsEachImportedItemByNameWithoutTrailingBlanks) {
  CNADataSourceDescription* imported = Make();
  for (const wchar_t* name : {L"nom", L"ville", L"id"}) ASSERT_TRUE(Add(imported, name, NA_IT_TEXTE, 11));
  RecordBench bench;
  CHostItemDescription* nom = bench.Add(L"NOM  ", NA_IT_TEXTE, 11);
  bench.Add(L"pays", NA_IT_TEXTE, 11);
  CHostItemDescription* id = bench.Add(L"id", NA_IT_I4, 4);
  bench.Add(L"ville", NA_IT_BINAIRE, 8, kComposite | kUnique, TRUE, {nom, id});
  ASSERT_TRUE(bench.Build(nullptr, imported));
  const wchar_t* want[] = {L"nom", L"-", L"id", L"-"};
  for (int i = 0; i < 4; ++i) {
    const CNAItemDescription* found = bench.Record()->pclGetColumnNoRef(i)->piGetImportedItemDescNoRef();
    EXPECT_STREQ(found != nullptr ? found->pszGetName() : L"-", want[i]) << i;
  }
}

// A MySQL connection that is never opened, of the server version given.
class CVersionConnection final : public CMySQLConnection {
 public:
  CVersionConnection(INAConnectionDescription* host, int major, int minor) : CMySQLConnection(L"v", host) {
    m_nServerVersionMajor = major;
    m_nServerVersionMinor = minor;
    SetStatic(true);
  }
};

TEST_F(Description, MySQLQueriesAndKeyTextsFollowTheServer) {
  const struct {
    int major, minor;
    const wchar_t* table;
    const wchar_t* columns;
    const wchar_t* index;
  } rows[] = {
      {4, 0, L"t", L"SHOW COLUMNS FROM `t`", L"SHOW INDEX FROM `t`"},
      {4, 1, L"b.t", L"SHOW FULL COLUMNS FROM `b`.`t`", L"SHOW INDEX FROM `b`.`t`"},
      {10, 11, L"a`b c", L"SHOW FULL COLUMNS FROM `a``b c`", L"SHOW INDEX FROM `a``b c`"},
  };
  for (const auto& row : rows) {
    CVersionConnection cnx(&m_host, row.major, row.minor);
    CMySQLDataSourceDescription d(&cnx, &m_error);
    d.AddRef();  // never released: it lives on the stack
    d.SetDBName(row.table);
    CXYStringConcat<wchar_t> text;
    text.Add(L"old");
    EXPECT_TRUE(d._bGetQueryShowColumns(&text));
    EXPECT_STREQ(text.pszGet(), row.columns);
    EXPECT_TRUE(d._bGetQueryShowIndex(&text));
    EXPECT_STREQ(text.pszGet(), row.index);
  }
  const std::pair<const wchar_t*, unsigned short> texts[] = {
      {L"PRI", 0x8800}, {L"pri", 0x8800}, {L"PRIMARY", 0x8800}, {L"UNI", 0x4800}, {L"uNi", 0x4800},
      {L"MUL", 0}, {L"PR", 0}, {L"", 0}, {nullptr, 0}};
  for (const auto& [text, flags] : texts) EXPECT_EQ(CMySQLDataSourceDescription::_nKeyType(text), flags);
  const std::pair<unsigned int, unsigned short> words[] = {
      {0x2, 0x8800}, {0x2 | 0x4000 | 0x8, 0x8800}, {0x4000, 0x4800}, {0x4000 | 0x8, 0x4800}, {0x8, 0x2800},
      {0x4, 0}, {0, 0}};
  for (const auto& [word, flags] : words) EXPECT_EQ(CMySQLDataSourceDescription::_nKeyType(word), flags) << word;
}

}  // namespace
