#include "sql/naitemtype.h"

#include "sql/inaitemdescription.h"
#include "values/any.h"
#include "values/datetime.h"

namespace {

struct STItemType {
  const wchar_t* pszName;
  unsigned short wZVType;
};

// Indexed by item type.
constexpr STItemType kItemTypes[NA_IT_LAST + 1] = {
    {L"NA_IT_EMPTY", ZV_VIDE},        {L"NA_IT_IDAUTO", ZV_I8},         {L"NA_IT_TEXTE", ZV_DSTRA},
    {L"NA_IT_I2", ZV_I2},             {L"NA_IT_I1", ZV_I1},             {L"NA_IT_I4", ZV_I4},
    {L"NA_IT_R4", ZV_R4},             {L"NA_IT_R8", ZV_R8},             {nullptr, ZV_VIDE},
    {L"NA_IT_UI2", ZV_UI2},           {L"NA_IT_DATE6", ZV_DATEA},       {L"NA_IT_HEURE", ZV_TIMEA},
    {L"NA_IT_UI1", ZV_UI1},           {L"NA_IT_REELTURBO", ZV_R8},      {L"NA_IT_DATE8", ZV_DATEA},
    {L"NA_IT_MEMOTEXTE", ZV_DSTRA},   {L"NA_IT_MEMOBINAIRE4", ZV_BIN},  {L"NA_IT_MONETAIRE", ZV_CY},
    {L"NA_IT_MEMOBINAIRE", ZV_BIN},   {L"NA_IT_I8", ZV_I8},             {L"NA_IT_UI8", ZV_UI8},
    {L"NA_IT_IMAGE", ZV_DSTRA},       {L"NA_IT_UI4", ZV_UI4},           {L"NA_IT_BINAIRE", ZV_BIN},
    {L"NA_IT_DATETIME", ZV_DATETIME}, {L"NA_IT_TIMELENGHT", ZV_DUREE},  {L"NA_IT_CHAR", ZV_CARA},
    {L"NA_IT_BOOLEEN", ZV_BOOL},      {L"NA_IT_IDAUTO4", ZV_I4},        {L"NA_IT_UNICODE", ZV_DSTRW},
    {L"NA_IT_MEMOUNICODE", ZV_DSTRW}, {L"NA_IT_DECIMAL", ZV_DECIMAL},
};

static_assert(
    [] {
      for (int type = 0; type <= NA_IT_LAST; ++type) {
        const unsigned short zv = kItemTypes[type].wZVType;
        if (g_bIsNumberItemType(static_cast<eNA_ITEMTYPE>(type)) && (zv < ZV_UI1 || zv > ZV_DECIMAL)) return false;
      }
      return true;
    }(),
    "a number item type's host value is a number");

struct STZVItem {
  unsigned short wZVType;
  eNA_ITEMTYPE eType;
};

// Host types that have an item type; every other one gives NA_IT_EMPTY.
constexpr STZVItem kZVItems[] = {
    {ZV_BOOL, NA_IT_BOOLEEN},   {ZV_UI1, NA_IT_UI1},           {ZV_UI2, NA_IT_UI2},         {ZV_UI4, NA_IT_UI4},
    {ZV_UI8, NA_IT_UI8},        {ZV_I1, NA_IT_I1},             {ZV_I2, NA_IT_I2},           {ZV_I4, NA_IT_I4},
    {ZV_I8, NA_IT_I8},          {ZV_CY, NA_IT_MONETAIRE},      {ZV_R4, NA_IT_R4},           {ZV_R8, NA_IT_R8},
    {ZV_DECIMAL, NA_IT_DECIMAL}, {ZV_UIX, NA_IT_UI4},          {ZV_DSTRW, NA_IT_MEMOUNICODE}, {ZV_CARA, NA_IT_CHAR},
    {ZV_PSTRA, NA_IT_TEXTE},    {ZV_DSTRA, NA_IT_MEMOTEXTE},   {ZV_DATEW, NA_IT_DATE8},     {ZV_TIMEW, NA_IT_HEURE},
    {ZV_DATETIME, NA_IT_DATETIME}, {ZV_DUREE, NA_IT_TIMELENGHT}, {ZV_BIN, NA_IT_MEMOBINAIRE}, {ZV_CARW, NA_IT_UNICODE},
    {ZV_PSTRW, NA_IT_UNICODE},  {ZV_DATEA, NA_IT_DATE8},       {ZV_TIMEA, NA_IT_HEURE},
};

// Indexed by host engine item type code.
constexpr eNA_ITEMTYPE kKJItems[42] = {
    NA_IT_EMPTY,       NA_IT_MEMOTEXTE, NA_IT_TEXTE,       NA_IT_I2,          NA_IT_I1,         NA_IT_I4,
    NA_IT_R4,          NA_IT_R8,        NA_IT_I2,          NA_IT_UI2,         NA_IT_DATE6,      NA_IT_HEURE,
    NA_IT_CHAR,        NA_IT_REELTURBO, NA_IT_DATE8,       NA_IT_MEMOTEXTE,   NA_IT_MEMOTEXTE,  NA_IT_MONETAIRE,
    NA_IT_MEMOBINAIRE, NA_IT_MEMOTEXTE, NA_IT_MEMOTEXTE,   NA_IT_MEMOTEXTE,   NA_IT_MEMOTEXTE,  NA_IT_IMAGE,
    NA_IT_IDAUTO,      NA_IT_I8,        NA_IT_UI4,         NA_IT_UI8,         NA_IT_BINAIRE,    NA_IT_MEMOTEXTE,
    NA_IT_MEMOBINAIRE, NA_IT_MEMOTEXTE, NA_IT_MEMOTEXTE,   NA_IT_I4,          NA_IT_DATETIME,   NA_IT_TIMELENGHT,
    NA_IT_UI1,         NA_IT_BOOLEEN,   NA_IT_IDAUTO4,     NA_IT_UNICODE,     NA_IT_MEMOUNICODE, NA_IT_DECIMAL,
};

bool bKnown(eNA_ITEMTYPE type) { return type >= 0 && type <= NA_IT_LAST; }

}  // namespace

const wchar_t* g_pszGetNAItemTypeName(eNA_ITEMTYPE type) {
  const wchar_t* name = bKnown(type) ? kItemTypes[type].pszName : nullptr;
  return name != nullptr ? name : L"Type inconnu";
}

unsigned short ConverteItemToZVType(eNA_ITEMTYPE type, int) { return bKnown(type) ? kItemTypes[type].wZVType : 0; }

unsigned short ConverteItemToZVType(const INAItemDescription* item) {
  return item != nullptr ? ConverteItemToZVType(item->eNAGetItemType()) : 0;
}

eNA_ITEMTYPE ConvertZVTypeToeItem(unsigned short zvType) {
  for (const STZVItem& e : kZVItems)
    if (e.wZVType == zvType) return e.eType;
  return NA_IT_EMPTY;
}

eNA_ITEMTYPE g_eGetNAItemTypeFromKJ(int kjType) {
  if (kjType < 0) return NA_IT_MEMOTEXTE;
  return kjType < 42 ? kKJItems[kjType] : NA_IT_MEMOTEXTE;
}

BOOL bIsTextAnsi(eNA_ITEMTYPE type) { return type == NA_IT_TEXTE || type == NA_IT_MEMOTEXTE; }
BOOL bIsTextAW(eNA_ITEMTYPE type) { return bIsTextAnsi(type) || bIsTextUnicode(type); }

int nCastTo(CAny* value, unsigned short zvType, const INAItemDescription* item) {
  if (value == nullptr) return 0;
  const unsigned short from = value->wGetType();
  if (item != nullptr && item->eNAGetItemType() == NA_IT_HEURE && zvType == ZV_DATETIME &&
      (from == ZV_PSTRA || from == ZV_DSTRA)) {
    const char* text = nullptr;
    value->Intern()->nGetPCASTR(&text);
    CDateTime dt;
    dt.InitDate();
    dt.__SetPartieHeure(text);
    value->SetDATETIME(dt);
    return 0;
  }
  return value->__nCastTo(zvType, nullptr, 1);
}
