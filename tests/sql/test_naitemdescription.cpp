// Item descriptions, their type rules and the SQL type map: the rules by their examples and
// boundaries (the decimal sizes by their formula), the two counts in every order, and the rules
// that reach the host's own descriptions through the interface.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/host_itemdescription.h"
#include "mysql/mysqldriver.h"
#include "sql/isqlparserinformation.h"
#include "sql/naconvertvariant.h"
#include "sql/naitemdescription.h"
#include "sql/natypeinfo.h"
#include "tests/sql/convert_test_util.h"
#include "tests/support/any_test_values.h"

namespace {

// The smallest n with 2^(8n-1) >= 10^p (0 for p = 0).
unsigned int BytesForDigits(int p) {
  if (p == 0) return 0;
  unsigned __int128 power = 1;
  for (int i = 0; i < p; ++i) power *= 10;
  unsigned int n = 1;
  while ((static_cast<unsigned __int128>(1) << (8 * n - 1)) < power) ++n;
  return n;
}

struct Release {
  void operator()(CNAItemDescription* p) const { p->nExternalRelease(); }
};
using Held = std::unique_ptr<CNAItemDescription, Release>;

Held Made(eNA_ITEMTYPE type, unsigned int size, int integerPart = 0, int decimalPart = 0, unsigned short keys = 0,
          unsigned int dimension = 1) {
  auto* p = new CNAItemDescription();
  p->ExternalAddRef();
  p->bInit(L"item", L"table", L"column", dimension, size, type, 0, -1, keys, integerPart, decimalPart);
  return Held(p);
}

class ItemDescription : public AnyTest {};

TEST_F(ItemDescription, StorageSizesAndFormatsFollowTheirRules) {
  for (int p = 0; p <= IDecimal::kMaxPrecision; ++p) {
    EXPECT_EQ(IDecimal::mg_PToN[p], BytesForDigits(p)) << p;
    EXPECT_EQ(CNAItemDescription::s_nGetKJSize(NA_IT_DECIMAL, 0, p), p == 0 ? 18u : BytesForDigits(p)) << p;
  }
  const struct { eNA_ITEMTYPE type; unsigned int length; int precision; unsigned int size; } kSizes[] = {
      {NA_IT_HEURE, 0, 0, 5},     {NA_IT_HEURE, 0, 1, 6},       {NA_IT_HEURE, 0, 5, 10},  {NA_IT_HEURE, 0, 9, 10},
      {NA_IT_DECIMAL, 0, 39, 0},  {NA_IT_DECIMAL, 0, -1, 0},    {NA_IT_TEXTE, 10, 0, 11}, {NA_IT_UNICODE, 10, 0, 44},
      {NA_IT_IMAGE, 10, 0, 44},   {NA_IT_BINAIRE, 10, 0, 12},   {NA_IT_MONETAIRE, 0, 0, 10}, {NA_IT_DATE8, 0, 0, 9},
      {NA_IT_DATE6, 0, 0, 0},     {NA_IT_MEMOUNICODE, 99, 0, 8}, {NA_IT_BOOLEEN, 0, 0, 1}, {NA_IT_IDAUTO4, 0, 0, 4},
      {static_cast<eNA_ITEMTYPE>(32), 10, 0, 0}};
  for (const auto& row : kSizes)
    EXPECT_EQ(CNAItemDescription::s_nGetKJSize(row.type, row.length, row.precision), row.size)
        << row.type << " " << row.precision;

  const struct { int integerPart, decimalPart; eNA_ITEMTYPE type; unsigned int size; } kFormats[] = {
      {10, 2, NA_IT_MONETAIRE, 10}, {11, 2, NA_IT_DECIMAL, BytesForDigits(13)}, {20, 20, NA_IT_R8, 8},
      {-1, 0, NA_IT_R8, 8},         {0, -1, NA_IT_R8, 8},  {0, 0, NA_IT_R8, 8},   {2, 0, NA_IT_I1, 1},
      {3, 0, NA_IT_I2, 2},          {4, 0, NA_IT_I2, 2},   {5, 0, NA_IT_I4, 4},   {9, 0, NA_IT_I4, 4},
      {10, 0, NA_IT_I8, 8},         {19, 0, NA_IT_I8, 8},  {20, 0, NA_IT_DECIMAL, BytesForDigits(20)},
      {10, 6, NA_IT_MONETAIRE, 10}, {10, 7, NA_IT_DECIMAL, BytesForDigits(17)}, {0, 38, NA_IT_DECIMAL, 16},
      {38, 0, NA_IT_DECIMAL, 16},   {1, 38, NA_IT_R8, 8},  {39, 0, NA_IT_R8, 8},
  };
  for (const auto& row : kFormats) {
    eNA_ITEMTYPE type = NA_IT_EMPTY;
    unsigned int size = 0;
    CNAItemDescription::s_GetTypeFromFormat(row.integerPart, row.decimalPart, &type, &size);
    EXPECT_EQ(type, row.type) << row.integerPart << "," << row.decimalPart;
    EXPECT_EQ(size, row.size) << row.integerPart << "," << row.decimalPart;
  }

  const struct { unsigned short zv; BOOL known; int digits, decimals; } kDecimalInfo[] = {
      {ZV_BOOL, TRUE, 1, 0}, {ZV_UI1, TRUE, 3, 0},  {ZV_I2, TRUE, 5, 0},   {ZV_UIX, TRUE, 10, 0},
      {ZV_DUREE, TRUE, 19, 0}, {ZV_CY, TRUE, 33, 5}, {ZV_R8, FALSE, 0, 0}, {ZV_VIDE, FALSE, 0, 0}};
  for (const auto& row : kDecimalInfo) {
    int digits = 0, decimals = 0;
    EXPECT_EQ(CNAItemDescription::s_bGetDecimalInfo(row.zv, &digits, &decimals), row.known) << row.zv;
    EXPECT_EQ(digits * 100 + decimals, row.digits * 100 + row.decimals) << row.zv;
  }
}

TEST_F(ItemDescription, InitTypesItemsAndLogicalSizesNeverWrap) {
  EXPECT_TRUE(Made(NA_IT_EMPTY, 99)->eNAGetItemType() == NA_IT_TEXTE && Made(NA_IT_EMPTY, 99)->nGetItemSize() == 1);
  Held real = Made(NA_IT_DECIMAL, 18, 0, 0), dec = Made(NA_IT_DECIMAL, 7, 15, 0), memo = Made(NA_IT_MEMOUNICODE, 50),
       id = Made(NA_IT_IDAUTO4, 4), blob = Made(NA_IT_MEMOBINAIRE4, 8);
  EXPECT_TRUE(real->eNAGetItemType() == NA_IT_R8 && real->nGetItemSize() == 8);
  EXPECT_TRUE(dec->eNAGetItemType() == NA_IT_DECIMAL && dec->nGetIntegerPart() == 15 && dec->nGetDecimalPart() == 0);
  EXPECT_EQ(dec->pclGetDefaultValue()->wGetTypeWord(), ZV_DECIMAL | ZV_FLAG_NULL);
  EXPECT_EQ(memo->nGetItemSize(), 8u);
  EXPECT_TRUE(id->bAutoIncrement() && !id->vbConstraintNullAllowed());
  EXPECT_FALSE(blob->bMemoBinary() || blob->bMemo());
  EXPECT_FALSE(id->bGetAscendant(-1));  // not a key, though not descending
  EXPECT_TRUE(id->nGetOffset(2) == -1 && id->nGetSubItemRecordIndice(1) == -1);  // not laid out yet

  const struct { eNA_ITEMTYPE type; unsigned int size, dimension; unsigned short keys; unsigned int element, whole; }
  kLogical[] = {
      {NA_IT_TEXTE, 11, 3, 0, 10, 30}, {NA_IT_UNICODE, 44, 3, 0, 21, 63},     {NA_IT_BINAIRE, 12, 2, 0, 10, 20},
      {NA_IT_BINAIRE, 12, 2, 0x1000, 12, 24}, {NA_IT_I4, 4, 3, 0, 4, 12},    {NA_IT_TEXTE, 0, 2, 0, 0, 0},
      {NA_IT_UNICODE, 1, 2, 0, 0, 0},  {NA_IT_BINAIRE, 1, 2, 0, 0, 0},
  };
  for (const auto& row : kLogical) {
    Held item = Made(row.type, row.size, 0, 0, row.keys, row.dimension);
    EXPECT_EQ(item->nGetLogicalSize(0), row.element) << row.type << " " << row.size;
    EXPECT_EQ(item->nGetLogicalSize(-1), row.whole) << row.type << " " << row.size;
  }
}

TEST_F(ItemDescription, TypeMatchSaysWhetherAnItemHoldsAnothersValues) {
  // This item's type, size and parts; the other's; flags 1 folds wide texts, 2 takes date-times.
  const struct { eNA_ITEMTYPE t1; unsigned int s1; int i1, d1; eNA_ITEMTYPE t2; unsigned int s2; int i2, d2, flags;
                 BOOL match; } kRows[] = {
      {NA_IT_UNICODE, 20, 0, 0, NA_IT_TEXTE, 40, 0, 0, 0, TRUE},
      {NA_IT_UNICODE, 20, 0, 0, NA_IT_TEXTE, 41, 0, 0, 0, FALSE},
      {NA_IT_UNICODE, 40, 0, 0, NA_IT_TEXTE, 20, 0, 0, 1, TRUE},
      {NA_IT_UNICODE, 40, 0, 0, NA_IT_TEXTE, 21, 0, 0, 1, FALSE},
      {NA_IT_TEXTE, 10, 0, 0, NA_IT_TEXTE, 11, 0, 0, 0, FALSE}, {NA_IT_TEXTE, 10, 0, 0, NA_IT_CHAR, 1, 0, 0, 0, FALSE},
      {NA_IT_I4, 4, 0, 0, NA_IT_I2, 2, 0, 0, 0, TRUE}, {NA_IT_I2, 2, 0, 0, NA_IT_I4, 4, 0, 0, 0, FALSE},
      {NA_IT_MONETAIRE, 10, 0, 0, NA_IT_I8, 8, 0, 0, 0, TRUE}, {NA_IT_I8, 8, 0, 0, NA_IT_MONETAIRE, 10, 0, 0, 0, FALSE},
      {NA_IT_I4, 4, 0, 0, NA_IT_R4, 4, 0, 0, 0, FALSE}, {NA_IT_R8, 8, 0, 0, NA_IT_R4, 4, 0, 0, 0, TRUE},
      {NA_IT_R4, 4, 0, 0, NA_IT_R8, 8, 0, 0, 0, FALSE}, {NA_IT_DECIMAL, 5, 10, 0, NA_IT_I4, 4, 0, 0, 0, TRUE},
      {NA_IT_DECIMAL, 5, 9, 0, NA_IT_I4, 4, 0, 0, 0, FALSE},
      {NA_IT_DECIMAL, 8, 12, 4, NA_IT_DECIMAL, 8, 12, 5, 0, FALSE},
      {NA_IT_DATE8, 9, 0, 0, NA_IT_DATETIME, 8, 0, 0, 0, FALSE},
      {NA_IT_DATE8, 9, 0, 0, NA_IT_DATETIME, 8, 0, 0, 2, TRUE},
      {NA_IT_DATETIME, 8, 0, 3, NA_IT_DATETIME, 8, 0, 6, 0, FALSE},
      {NA_IT_DATETIME, 8, 0, 3, NA_IT_DATETIME, 8, 0, 6, 2, TRUE},
      {NA_IT_DATETIME, 8, 0, 0, NA_IT_HEURE, 10, 0, 0, 0, TRUE},
      {NA_IT_MEMOUNICODE, 8, 0, 0, NA_IT_IMAGE, 44, 0, 0, 0, TRUE},
      {NA_IT_MEMOBINAIRE4, 8, 0, 0, NA_IT_BINAIRE, 12, 0, 0, 0, TRUE},
  };
  for (const auto& row : kRows) {
    Held item = Made(row.t1, row.s1, row.i1, row.d1);
    CHostItemDescription other(L"other", row.t2, row.s2);
    other.m_nIntegerPart = row.i2;
    other.m_nDecimalPart = row.d2;
    EXPECT_EQ(item->bTypeMatch(&other, row.flags & 1, row.flags & 2), row.match)
        << g_pszGetNAItemTypeName(row.t1) << " " << g_pszGetNAItemTypeName(row.t2);
  }
}

TEST_F(ItemDescription, ChangingAndCompletingFollowTheOtherItem) {
  Held item = Made(NA_IT_TEXTE, 11);
  CHostItemDescription id(L"id", NA_IT_IDAUTO, 8);
  id.m_wKeyFlags = 0x4000 | 0x0400 | 0x0080;
  const struct { int keep; eNA_ITEMTYPE type; unsigned short keys; } kRows[] = {
      {0, NA_IT_I8, 0x2000 | 0x0400 | 0x0080}, {1, NA_IT_IDAUTO, 0x4000 | 0x0400 | 0x0080}};
  for (const auto& row : kRows) {
    ASSERT_TRUE(item->bCompleteDescription(&id, row.keep, 3));
    EXPECT_EQ(item->eNAGetItemType(), row.type);
    EXPECT_TRUE(item->bGetDescendant(0) && item->bGetIgnoreCase(0) && item->nGetKeyIndice() == 3);
    EXPECT_EQ(item->bUnique(), row.keep);
    EXPECT_EQ(std::wstring(item->pszGetCaption()) + item->pszGetNameInSource() + item->pszGetSourceName(),
              L"host captionsource columnsource table");
    // An item without a default keeps none, whatever the conversion of its NULL gives.
    EXPECT_EQ(item->pclGetDefaultValue()->wGetTypeWord(), ConverteItemToZVType(row.type) | ZV_FLAG_NULL);
  }
  CHostItemDescription dec(L"dec", NA_IT_DECIMAL, 7), hour(L"hour", NA_IT_HEURE, 8), i4(L"i4", NA_IT_I4, 4);
  dec.m_nIntegerPart = 12, dec.m_nDecimalPart = 3, hour.m_nDecimalPart = 2;
  const struct { CHostItemDescription* other; int integerPart, decimalPart; } kParts[] = {
      {&dec, 12, 3}, {&hour, 12, 2}, {&i4, 0, 0}};
  for (const auto& row : kParts) {
    item->bChangeType(static_cast<INAItemDescription*>(row.other), 0);
    EXPECT_EQ(item->nGetIntegerPart() * 100 + item->nGetDecimalPart(), row.integerPart * 100 + row.decimalPart);
  }
  const CAny text42 = FromText(ZV_DSTRA, L"42");
  item->SetDefaultValue(&text42, 0);
  int n = 0;
  EXPECT_TRUE(item->pclGetDefaultValue()->nGetINT(&n) == 0 && n == 42);
  item->SetAutoIncrement();
  EXPECT_EQ(item->eNAGetItemType(), NA_IT_IDAUTO4);
}

int g_nDeleted = 0;
struct Counted : CNAItemDescription { ~Counted() override { ++g_nDeleted; } };

TEST_F(ItemDescription, EitherCountReleasesInAnyOrderAndDeletesOnce) {
  // E/e: external add/release, I/i: internal; the releases' answers, and whether the last step
  // deleted the description.
  const struct { const char* steps; const char* answers; bool deleted; } kRows[] = {
      {"EIei", "00", true}, {"EIie", "00", true}, {"IEei", "00", true},  {"IEie", "00", true},
      {"EEIeie", "100", true}, {"e", "0", false}, {"iEe", "00", true}, {"Ii", "0", true}};
  for (const auto& row : kRows) {
    g_nDeleted = 0;
    auto* item = new Counted();
    std::string answers;
    for (const char* s = row.steps; *s != 0; ++s) {
      ASSERT_EQ(g_nDeleted, 0) << row.steps;
      switch (*s) {
        case 'E': item->ExternalAddRef(); break;
        case 'I': item->AddRef(); break;
        case 'e': answers += std::to_string(item->nExternalRelease()); break;
        case 'i': answers += std::to_string(item->nRelease()); break;
      }
    }
    EXPECT_EQ(answers, row.answers) << row.steps;
    EXPECT_EQ(g_nDeleted == 1, row.deleted) << row.steps;
    if (g_nDeleted == 0) delete item;
    EXPECT_EQ(g_nDeleted, 1) << row.steps;
  }
}

TEST_F(ItemDescription, CompositeKeysHoldTheirComponents) {
  Held key = Made(NA_IT_BINAIRE, 0, 0, 0, 0x1000 | 0x8000), text = Made(NA_IT_TEXTE, 11), uni = Made(NA_IT_UNICODE, 44);
  ASSERT_TRUE(key->bAddComponent(text.get()) && key->bAddComponent(uni.get()));
  EXPECT_TRUE(key->nGetItemSize() == 10u + 2 * 21u && text->nGetRef() == 1);
  INAItemDescription* first = key->piGetItemComponent(1);
  EXPECT_TRUE(first == text.get() && text->nGetExternalRef() == 2 && key->piGetItemComponent(3) == nullptr);
  first->nExternalRelease();
  EXPECT_TRUE(CNAItemDescription::bIsComponentOf(key.get(), uni.get()) &&
              !CNAItemDescription::bIsComponentOf(key.get(), key.get()));
  key.reset();
  EXPECT_EQ(text->nGetRef() + uni->nGetRef(), 0);

  const struct { int version; unsigned short keys; eNA_ITEMTYPE type; BOOL nullAllowed, uniqueNotNull; } kRows[] = {
      {9, 0x8000, NA_IT_I4, TRUE, TRUE},       {9, 0x2000, NA_IT_IDAUTO, FALSE, FALSE},
      {9, 0x4000, NA_IT_I4, TRUE, FALSE},      {9, 0x4000, NA_IT_I4, FALSE, TRUE},
      {8, 0x4000, NA_IT_I4, FALSE, FALSE},     {8, 0x4000, NA_IT_IDAUTO4, TRUE, TRUE}};
  for (const auto& row : kRows) {
    CHostItemDescription host(L"k", row.type, 4);
    host.m_nVersion = row.version;
    host.m_wKeyFlags = row.keys;
    host.m_bNullAllowed = row.nullAllowed;
    EXPECT_EQ(static_cast<const INAItemDescription&>(host).bUniqueNotNull(), row.uniqueNotNull) << row.version;
  }
}

TEST_F(ItemDescription, TheTypeMapFormatsSizedEntriesAndIsReplacedByType) {
  CNAMapConvertType map;
  map._Init();
  map._Init();
  EXPECT_EQ(map.dwGetNumElement(), 28u);
  map.Add(NA_IT_HEURE, L"TIME(%d)", 1);
  EXPECT_EQ(map.dwGetNumElement(), 28u);
  // A null text: no entry.
  const struct { eNA_ITEMTYPE type; unsigned int size; int integerPart, decimalPart; const wchar_t* text; } kRows[] = {
      {NA_IT_TEXTE, 11, 0, 0, L"VARCHAR(10)"}, {NA_IT_UNICODE, 44, 0, 0, L"NVARCHAR(21)"},
      {NA_IT_BINAIRE, 12, 0, 0, L"VARBINARY(10)"}, {NA_IT_IMAGE, 44, 0, 0, L"CHARACTER(44)"},
      {NA_IT_DECIMAL, 7, 12, 3, L"NUMERIC(15,3)"}, {NA_IT_I4, 4, 0, 0, L"INTEGER"},
      {NA_IT_HEURE, 5, 0, 0, L"TIME(0)"},          {NA_IT_HEURE, 10, 0, 0, L"TIME(3)"},
      {NA_IT_MEMOBINAIRE, 8, 0, 0, nullptr},       {NA_IT_MEMOBINAIRE4, 8, 0, 0, nullptr},
  };
  for (const auto& row : kRows) {
    Held item = Made(row.type, row.size, row.integerPart, row.decimalPart);
    CTString out(L"untouched");
    EXPECT_EQ(map.bFormat(item.get(), &out), row.text != nullptr) << row.type;
    EXPECT_STREQ(out.pszGet(), row.text != nullptr ? row.text : L"untouched");
  }
}

TEST_F(ItemDescription, ItemTypesMapToHostTypesAndBack) {
  int texts = 0;
  for (int t = -1; t <= 32; ++t) {
    const auto type = static_cast<eNA_ITEMTYPE>(t);
    const unsigned short zv = ConverteItemToZVType(type);
    EXPECT_EQ(ConverteItemToZVType(ConvertZVTypeToeItem(zv)), zv) << t;
    EXPECT_EQ(std::wstring(g_pszGetNAItemTypeName(type)) == L"Type inconnu", t < 0 || t == 8 || t > 31) << t;
    texts += bIsTextAW(type) ? 1 : 0;
  }
  EXPECT_EQ(texts, 4);
  const struct { unsigned short zv; eNA_ITEMTYPE type; } kRows[] = {
      {0, NA_IT_EMPTY}, {200, NA_IT_EMPTY}, {ZV_DSTRA, NA_IT_MEMOTEXTE}, {ZV_BIN, NA_IT_MEMOBINAIRE},
      {ZV_PSTRW, NA_IT_UNICODE}, {ZV_UIX, NA_IT_UI4}, {ZV_I4BIS, NA_IT_EMPTY}};
  for (const auto& row : kRows) EXPECT_EQ(ConvertZVTypeToeItem(row.zv), row.type) << row.zv;

  // An ANSI time text bound for a date-time item of type HEURE keeps only the time of day.
  Held hour = Made(NA_IT_HEURE, 10);
  CAny v = FromText(ZV_DSTRA, L"1234561", ZV_FLAG_NULL | ZV_FLAG_CARRIED);
  ASSERT_EQ(nCastTo(&v, ZV_DATETIME, hour.get()), 0);
  EXPECT_TRUE(v.wGetTypeWord() == ZV_DATETIME && Area<uint64_t>(v) == uint64_t{45296100} << 32);

  CMySQLDriver driver;
  CNAItemDescription* made = driver.pclAllocItemDescription();
  ASSERT_TRUE(made != nullptr && made->nGetRef() == 0 && made->nGetExternalRef() == 0 && made->nGetVersion() == 9);
  made->ExternalAddRef();
  EXPECT_EQ(made->nExternalRelease(), 0);
}

TEST_F(ItemDescription, DatabaseTypeIsTheItemTypeOnlyForACodeTheServerKnows) {
  CHostConnectionDescription host;
  CTestCnx cnx(&host, CP_UTF8, CP_UTF8);
  cnx.m_nUnknownDBType = 999;
  const struct {
    int code;
    bool cnx;
    eNA_ITEMTYPE type;
  } rows[] = {{0, true, NA_IT_EMPTY}, {253, true, NA_IT_TEXTE}, {999, true, NA_IT_EMPTY},
              {999, false, NA_IT_TEXTE}, {0, false, NA_IT_EMPTY}};
  for (const auto& row : rows) {
    Held item = Made(NA_IT_TEXTE, 11);
    item->SetDBType(L"VARCHAR", row.code);
    EXPECT_EQ(item->eNAGetDBType(row.cnx ? &cnx : nullptr), row.type) << row.code;
    // The converter asks its database item on its connection; a host item knows no code.
    CNAError error;
    CNAError::s_Hold(&error);
    CNAConvertVariant value(&error, row.cnx ? &cnx : nullptr);
    value.SetStatic(true);
    value.SetItemDesc(nullptr, item.get());
    EXPECT_EQ(value.eNAGetDBType(), row.type) << row.code;
    CHostItemDescription foreign(L"f", NA_IT_TEXTE, 11);
    value.SetItemDesc(nullptr, &foreign);
    EXPECT_EQ(value.eNAGetDBType(), NA_IT_EMPTY);
    value.ResetVariant();
  }
}

// A SELECT column of the host's parse, and its expression's operator.
class CFakeExpression final : public IExpOpExpression {
 public:
  explicit CFakeExpression(int op) : m_eOp(static_cast<eOPEXPRESSION>(op)) {}
  int nRelease() override { return --m_nRef; }
  eOPEXPRESSION eGetOperator() override { return m_eOp; }
  IExpOpExpression* piGetLeft() override { return nullptr; }
  IExpOpExpression* piGetRight() override { return nullptr; }
  const wchar_t* pszGetColumnName() override { return L""; }
  BOOL bGetLiteral(CAny*) override { return FALSE; }
  stTEXTPOSITION stGetPosition() override { return {}; }
  const wchar_t* pszGetQualifier() override { return L""; }
  stTEXTPOSITION stGetExtent() override { return {}; }
  BOOL bIsOuterJoinColumn() override { return FALSE; }
  int nGetHostType() override { return 0; }
  wchar_t cGetLikeEscape() override { return 0; }
  IExpOpExpression* piGetNextArgument(IExpOpExpression*) override { return nullptr; }
  int nGetIntegerParameter() override { return 0; }

 private:
  eOPEXPRESSION m_eOp;
};
class CFakeColumn final : public IInfoRubrique {
 public:
  CFakeColumn(int hostType, int size, int op) : m_nHostType(hostType), m_nSize(size), m_expression(op) {}
  int nRelease() override { return --m_nRef; }
  const wchar_t* pszGetSourceTableAlias() override { return L""; }
  const wchar_t* pszGetName() override { return L"calc"; }
  const wchar_t* pszGetNameInSource() override { return L""; }
  int nGetCalculKind() override { return 1; }
  IExpOpExpression* piGetExpression() override {
    m_expression.AddRef();
    return &m_expression;
  }
  stTEXTPOSITION stGetPosition() override { return {}; }
  const wchar_t* pszGetSourceTableName() override { return L""; }
  BOOL bIsColumnSource() override { return FALSE; }
  int nGetSize() override { return m_nSize; }
  int nGetHostType() override { return m_nHostType; }

 private:
  int m_nHostType, m_nSize;
  CFakeExpression m_expression;
};

TEST_F(ItemDescription, CalculatedColumnTakesItsHostTypeUnlessAMemoStaysAMemo) {
  const struct {
    eNA_ITEMTYPE type;
    unsigned int size;
    int host, columnSize, op;
    eNA_ITEMTYPE wantType;
    unsigned int wantSize;
    int wantInteger;
  } rows[] = {
      {NA_IT_TEXTE, 11, 29, 50, 0, NA_IT_TEXTE, 11, 0},
      {NA_IT_I4, 4, 29, 50, 0, NA_IT_MEMOTEXTE, 8, 0},
      {NA_IT_UNICODE, 22, 40, 50, 0, NA_IT_UNICODE, 22, 0},
      {NA_IT_TEXTE, 11, 40, 50, 0, NA_IT_MEMOUNICODE, 8, 0},
      {NA_IT_BINAIRE, 10, 30, 50, 0, NA_IT_BINAIRE, 10, 0},
      {NA_IT_I4, 4, 30, 50, 0, NA_IT_MEMOBINAIRE, 8, 0},
      {NA_IT_TEXTE, 11, 5, 4, 0, NA_IT_I4, 4, 0},
      {NA_IT_DECIMAL, 8, 7, 8, 0, NA_IT_R8, 8, 0},
      {NA_IT_DECIMAL, 8, 41, 9, 0, NA_IT_DECIMAL, 8, 15},
      {NA_IT_DECIMAL, 8, 0, 9, 0, NA_IT_DECIMAL, 8, 15},
      {NA_IT_UNICODE, 22, 39, 22, 95, NA_IT_TEXTE, 11, 0},
      {NA_IT_MEMOUNICODE, 8, 40, 8, 96, NA_IT_MEMOTEXTE, 8, 0},
  };
  for (const auto& row : rows) {
    Held item = Made(row.type, row.size, 15, 2);
    CFakeColumn column(row.host, row.columnSize, row.op);
    EXPECT_TRUE(item->bCompleteDescriptionCalcul(&column));
    EXPECT_EQ(std::make_tuple(item->eNAGetItemType(), item->nGetItemSize(), item->nGetIntegerPart()),
              std::make_tuple(row.wantType, row.wantSize, row.wantInteger))
        << row.type << " " << row.host;
    EXPECT_EQ(std::wstring(item->pszGetNameInSource()) + L"|" + item->pszGetSourceName(), L"item|");
    EXPECT_EQ(item->nGetCalculation(), 1);
  }
}

}  // namespace
