#include "sql/naitemdescription.h"

#include <algorithm>
#include <climits>

#include "access/nadatasourcedescription.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "sql/isqlparserinformation.h"
#include "values/idecimal.h"

BOOL INAItemDescription::bUniqueNotNull() const {
  if (bPrimary()) return TRUE;
  if (!bUnique()) return FALSE;
  if (nGetVersion() > 8) return !vbConstraintNullAllowed();
  const eNA_ITEMTYPE type = eNAGetItemType();
  return type == NA_IT_IDAUTO || type == NA_IT_IDAUTO4;
}

CNAItemDescription::CNAItemDescription() : m_tabComponents(1, 30) {}

CNAItemDescription::~CNAItemDescription() {
  for (int i = m_tabComponents.nGetCount() - 1; i >= 0; --i) {
    CNAItemDescription* component = m_tabComponents[i];
    m_tabComponents.Supprime(i, 1);
    if (component != nullptr) component->nRelease();
  }
}

void CNAItemDescription::_DeleteIfFree() {
  if (m_nRef == 0 && m_nExternalRef == 0) delete this;
}

INAItemDescription* CNAItemDescription::ExternalAddRef() {
  ++m_nExternalRef;
  return this;
}

int CNAItemDescription::nExternalRelease() {
  if (m_nExternalRef == 0) return 0;
  const int left = static_cast<int>(--m_nExternalRef);
  _DeleteIfFree();
  return left;
}

int CNAItemDescription::nRelease() {
  if (m_nRef == 0) return 0;
  const int left = static_cast<int>(--m_nRef);
  _DeleteIfFree();
  return left;
}

unsigned int CNAItemDescription::nGetLogicalSize(int element) const {
  // Sizes below the room kept for a terminator or a length hold nothing rather than wrap.
  const uint64_t size = m_nItemSize;
  const uint64_t dim = element == -1 ? m_nDimension : 1;
  uint64_t n;
  switch (m_eType) {
    case NA_IT_TEXTE: n = size >= 1 ? (size - 1) * dim : 0; break;
    case NA_IT_UNICODE: n = size >= 2 ? (size - 2) * dim / 2 : 0; break;
    case NA_IT_BINAIRE:
      if (!bIsComposedKey()) {
        n = size >= 2 ? (size - 2) * dim : 0;
        break;
      }
      [[fallthrough]];
    default: n = size * dim; break;
  }
  return static_cast<unsigned int>(std::min<uint64_t>(n, UINT_MAX));
}

BOOL CNAItemDescription::bNumerical() const {
  switch (m_eType) {
    case NA_IT_IDAUTO: case NA_IT_I2: case NA_IT_I1: case NA_IT_I4: case NA_IT_R4: case NA_IT_R8: case NA_IT_UI2:
    case NA_IT_UI1: case NA_IT_REELTURBO: case NA_IT_MONETAIRE: case NA_IT_I8: case NA_IT_UI8: case NA_IT_UI4:
    case NA_IT_TIMELENGHT: case NA_IT_BOOLEEN: case NA_IT_IDAUTO4: case NA_IT_DECIMAL:
      return TRUE;
    default:
      return FALSE;
  }
}

INAItemDescription* CNAItemDescription::piGetItemComponent(int n) {
  if (n < 1 || n > m_tabComponents.nGetCount()) return nullptr;
  CNAItemDescription* component = m_tabComponents[n - 1];
  return component != nullptr ? component->ExternalAddRef() : nullptr;
}

namespace {

// first + step x element, or -1 when first is not set or the result does not fit.
int nElementPosition(int32_t first, int64_t step, int element) {
  if (first < 0) return -1;
  const int64_t n = first + step * element;
  return n >= 0 && n <= INT_MAX ? static_cast<int>(n) : -1;
}

}  // namespace

int CNAItemDescription::nGetOffset(int element) const { return nElementPosition(m_nOffset, m_nItemSize, element); }

int CNAItemDescription::nGetSubItemRecordIndice(int element) const {
  return nElementPosition(m_nSubItemIndice, 1, element);
}

BOOL CNAItemDescription::bInit(const wchar_t* name, const wchar_t* sourceName, const wchar_t* nameInSource,
                               unsigned int dimension, unsigned int size, eNA_ITEMTYPE type, unsigned int physical,
                               int keyIndex, unsigned short keyFlags, int integerPart, int decimalPart) {
  if (type == NA_IT_EMPTY) {
    type = NA_IT_TEXTE;
    size = 1;
  }
  m_csName = name;
  m_csSourceName = sourceName;
  m_csNameInSource = nameInSource;
  m_nDimension = dimension;
  m_nItemSize = size;
  m_eType = type;
  m_nKeyIndice = keyIndex;
  m_nPhysicalIndice = physical;
  m_wKeyFlags = keyFlags;
  if (type == NA_IT_DECIMAL) {
    eNA_ITEMTYPE format;
    unsigned int formatSize;
    s_GetTypeFromFormat(integerPart, decimalPart, &format, &formatSize);
    if (format == NA_IT_R8) {
      m_eType = NA_IT_R8;
      m_nItemSize = formatSize;
    } else {
      m_nIntegerPart = integerPart;
      m_nDecimalPart = decimalPart;
    }
  } else if (type == NA_IT_HEURE || type == NA_IT_DATETIME) {
    m_nDecimalPart = decimalPart;
  }
  if (bMemo()) m_nItemSize = 8;
  if (m_eType == NA_IT_IDAUTO || m_eType == NA_IT_IDAUTO4) m_dwFlags |= NA_ITEM_AUTOINCREMENT | NA_ITEM_NOTNULL;
  m_clDefaultValue.__SetType(eGetItemZVType(), 0);
  m_clDefaultValue.SetNull(true);
  return TRUE;
}

void CNAItemDescription::SetSensTri(eSENSTRI sens) {
  SetKeyFlag(NA_KEY_ASCENDANT, sens == NA_SENS_ASCENDANT);
  SetKeyFlag(NA_KEY_DESCENDANT, sens != NA_SENS_ASCENDANT);
}

void CNAItemDescription::SetAutoIncrement() {
  SetFlag(NA_ITEM_AUTOINCREMENT, true);
  if (m_eType == NA_IT_I8 || m_eType == NA_IT_UI8)
    m_eType = NA_IT_IDAUTO;
  else if (m_eType == NA_IT_I4 || m_eType == NA_IT_UI4)
    m_eType = NA_IT_IDAUTO4;
}

void CNAItemDescription::SetDefaultValue(const CAny* value, int) {
  if (value != nullptr && value != &m_clDefaultValue) m_clDefaultValue = *value;
  m_clDefaultValue.__nCastTo(eGetItemZVType(), nullptr, 1);
}

void CNAItemDescription::_UpdateDefaultValueType() {
  const unsigned short zv = eGetItemZVType();
  const bool bNull = m_clDefaultValue.bIsNull();
  if (m_clDefaultValue.__nCastTo(zv, nullptr, 1) <= 99) return;
  // An item without a default must not gain one because its old NULL did not convert.
  m_clDefaultValue.__SetType(zv, 0);
  m_clDefaultValue.SetNull(bNull);
}

eNA_ITEMTYPE CNAItemDescription::eNAGetDBType(const CNAConnectionDescription* cnx) const {
  if (m_nDBType == 0 || (cnx != nullptr && cnx->bDBTypeUnkwnownByDB(m_nDBType))) return NA_IT_EMPTY;
  return m_eType;
}

BOOL CNAItemDescription::bChangeTypeMemo(eNA_ITEMTYPE type) {
  m_eType = type;
  _UpdateDefaultValueType();
  return TRUE;
}

BOOL CNAItemDescription::bChangeType(INAItemDescription* other, int keepAuto) {
  if (other == nullptr) return FALSE;
  m_nDimension = other->nGetDimension();
  m_nItemSize = other->nGetItemSize();
  m_eType = other->eNAGetItemType();
  m_csDBType = other->pszGetDBType();
  m_nDBType = 0;
  if (!keepAuto) {
    if (m_eType == NA_IT_IDAUTO) m_eType = NA_IT_I8;
    if (m_eType == NA_IT_IDAUTO4) m_eType = NA_IT_I4;
  }
  switch (m_eType) {
    case NA_IT_DECIMAL:
      m_nIntegerPart = other->nGetIntegerPart();
      m_nDecimalPart = other->nGetDecimalPart();
      break;
    case NA_IT_HEURE:
    case NA_IT_DATETIME:
      m_nDecimalPart = other->nGetDecimalPart();
      break;
    default:
      m_nIntegerPart = 0;
      m_nDecimalPart = 0;
      break;
  }
  _UpdateDefaultValueType();
  return TRUE;
}

BOOL CNAItemDescription::bChangeType(CNAItemDescription* other, int keepAuto) {
  if (!bChangeType(static_cast<INAItemDescription*>(other), keepAuto)) return FALSE;
  m_nDBType = other->m_nDBType;
  return TRUE;
}

BOOL CNAItemDescription::bCompleteDescription(INAItemDescription* other, int keepKeyKind, unsigned int keyIndex) {
  if (!bChangeType(other, keepKeyKind)) return FALSE;
  m_csExtendedInfo = other->pszGetExtendedInfo();
  m_csCaption = other->pszGetCaption();
  if (other->bIsKey()) {
    unsigned short flags = 0;
    if (other->bGetAscendant(-1)) flags |= NA_KEY_ASCENDANT;
    if (other->bGetDescendant(-1)) flags |= NA_KEY_DESCENDANT;
    if (other->bGetIgnoreCase(-1)) flags |= NA_KEY_IGNORECASE;
    if (other->bGetIgnorePunctuation(-1)) flags |= NA_KEY_IGNOREPUNCTUATION;
    if (other->bGetIgnoreAccent(-1)) flags |= NA_KEY_IGNOREACCENT;
    flags |= keepKeyKind && other->bUnique() ? NA_KEY_UNIQUE : NA_KEY_DUPLICATES;
    if (other->bPrimary()) flags |= NA_KEY_PRIMARY;
    m_wKeyFlags = flags;
    m_nKeyIndice = static_cast<int>(keyIndex);
  }
  m_csNameInSource = other->pszGetNameInSource();
  m_csSourceName = other->pszGetSourceName();
  return TRUE;
}

BOOL CNAItemDescription::bCompleteDescriptionCalcul(IInfoRubrique* column) {
  m_csNameInSource = m_csName;
  m_csSourceName.Vide();
  if (column == nullptr) return TRUE;
  m_nCalculation = column->nGetCalculKind();
  const int host = column->nGetHostType();
  if (host == 0 || host == 41) return TRUE;
  int op = -1;
  if (IExpOpExpression* expression = column->piGetExpression()) {
    op = expression->eGetOperator();
    expression->nRelease();
  }
  if (op == 95 || op == 96) {
    if (m_eType == NA_IT_UNICODE) {
      m_eType = NA_IT_TEXTE;
      m_nItemSize /= 2;
    } else if (m_eType == NA_IT_MEMOUNICODE) {
      m_eType = NA_IT_MEMOTEXTE;
    }
    m_clDefaultValue.__nCastTo(ZV_PSTRW, nullptr, 1);
    return TRUE;
  }
  // A text, Unicode text or binary item of a memo column of its kind stays as it is.
  if ((host == 29 && m_eType == NA_IT_TEXTE) || (host == 40 && m_eType == NA_IT_UNICODE) ||
      (host == 30 && m_eType == NA_IT_BINAIRE))
    return TRUE;
  m_nItemSize = host == 29 || host == 40 || host == 30 ? 8 : static_cast<unsigned int>(column->nGetSize());
  const eNA_ITEMTYPE type = CNADataSourceDescription::g_eGetNAItemType(host);
  if (m_eType == NA_IT_DECIMAL && type != NA_IT_DECIMAL) m_nIntegerPart = m_nDecimalPart = 0;
  m_eType = type;
  _UpdateDefaultValueType();
  return TRUE;
}

CNAItemDescription* CNAItemDescription::pclGetCloneItemDescription(CNADataSourceDescription* target,
                                                                   eCLONEDESC mode) {
  CNADriver* driver = CNADriver::s_pclDriver;
  CNAItemDescription* clone = driver != nullptr ? driver->pclAllocItemDescription() : nullptr;
  if (clone == nullptr) return nullptr;
  clone->m_csName = m_csName;
  clone->m_csExtendedInfo = m_csExtendedInfo;
  clone->m_csCaption = m_csCaption;
  clone->m_csDBType = m_csDBType;
  clone->m_nDBType = m_nDBType;
  clone->m_nDimension = m_nDimension;
  clone->m_nItemSize = m_nItemSize;
  clone->m_wKeyFlags = m_wKeyFlags;
  clone->m_eType = m_eType;
  clone->m_nPhysicalIndice = m_nPhysicalIndice;
  clone->m_nSecondaryIndice = m_nSecondaryIndice;
  clone->m_nOffset = m_nOffset;
  clone->m_nSubItemIndice = m_nSubItemIndice;
  clone->m_clDefaultValue = m_clDefaultValue;
  clone->m_nIntegerPart = m_nIntegerPart;
  clone->m_nDecimalPart = m_nDecimalPart;
  clone->m_csSourceName = m_csSourceName;
  clone->m_csNameInSource = m_csNameInSource;
  clone->m_csPhysicalSourceTable = m_csPhysicalSourceTable;
  clone->m_nCalculation = m_nCalculation;
  clone->m_bQueryTyped = m_bQueryTyped;
  clone->m_dwFlags = m_dwFlags;
  if ((mode & NA_CLONE_KEYDUPLICATES) != 0 && !bIsKey() && !bMemoText())
    clone->m_wKeyFlags = NA_KEY_DUPLICATES | NA_KEY_ASCENDANT;
  if ((mode & NA_CLONE_DATEASTEXT) != 0 && (m_eType == NA_IT_DATE8 || m_eType == NA_IT_DATETIME)) {
    clone->m_eType = NA_IT_TEXTE;
    clone->m_clDefaultValue.__SetType(ZV_PSTRA, 0);
    clone->m_clDefaultValue.SetNull(false);
  }
  // A key index on an item that is no key would keep it out of the target's keys for good.
  clone->m_nKeyIndice = target != nullptr && clone->bIsKey() ? target->nGetNumKeys() : -1;
  for (int i = 0; i < m_tabComponents.nGetCount() && target != nullptr; ++i) {
    CNAItemDescription* own = target->pclNAGetCorrespondingItem(m_tabComponents[i]->pszGetName());
    if (own == nullptr) continue;
    // The clone's size is the composite's already: components are listed, not added up again.
    if (clone->m_tabComponents.Ajoute(own) != nullptr) own->AddRef();
    own->nExternalRelease();
  }
  return clone;
}

BOOL CNAItemDescription::bAddComponent(CNAItemDescription* component) {
  if (component == nullptr || m_tabComponents.Ajoute(component) == nullptr) return FALSE;
  component->AddRef();
  if (bIsComposedKey()) {
    const eNA_ITEMTYPE type = component->eNAGetItemType();
    // A binary component is held as the host holds it in a key: its length, then its bytes.
    m_nItemSize += component->nGetLogicalSize(-1) * (type == NA_IT_UNICODE ? 2 : 1) + (type == NA_IT_BINAIRE ? 2 : 0);
  }
  return TRUE;
}

BOOL CNAItemDescription::bIsComponentOf(INAItemDescription* key, INAItemDescription* item) {
  if (key == nullptr) return FALSE;
  const int n = key->nGetNumComponents();
  for (int i = 1; i <= n; ++i) {
    INAItemDescription* component = key->piGetItemComponent(i);
    const bool bSame = component != nullptr && component == item;
    if (component != nullptr) component->nExternalRelease();
    if (bSame) return TRUE;
  }
  return FALSE;
}

unsigned int CNAItemDescription::s_nGetKJSize(eNA_ITEMTYPE type, unsigned int length, int precision) {
  switch (type) {
    case NA_IT_IDAUTO: case NA_IT_R8: case NA_IT_MEMOTEXTE: case NA_IT_MEMOBINAIRE: case NA_IT_I8: case NA_IT_UI8:
    case NA_IT_DATETIME: case NA_IT_TIMELENGHT: case NA_IT_MEMOUNICODE:
      return 8;
    case NA_IT_TEXTE: return length + 1;
    case NA_IT_I2: case NA_IT_UI2: return 2;
    case NA_IT_I1: case NA_IT_UI1: case NA_IT_CHAR: case NA_IT_BOOLEEN: return 1;
    case NA_IT_I4: case NA_IT_R4: case NA_IT_UI4: case NA_IT_IDAUTO4: return 4;
    case NA_IT_HEURE: return precision < 1 ? 5 : 5 + static_cast<unsigned int>(std::min(precision, 5));
    case NA_IT_DATE8: return 9;
    case NA_IT_MONETAIRE: return 10;
    case NA_IT_IMAGE: case NA_IT_UNICODE: return 4 * length + 4;
    case NA_IT_BINAIRE: return length + 2;
    case NA_IT_DECIMAL:
      // No decimal holds more than 38 digits: such a precision has no storage.
      if (precision == 0) return IDecimal::kFormSize;
      return precision > 0 && precision <= IDecimal::kMaxPrecision ? IDecimal::mg_PToN[precision] : 0;
    default: return 0;
  }
}

namespace {

struct STFormat {
  eNA_ITEMTYPE eType;
  unsigned int nSize;
};

STFormat stTypeFromFormat(int integerPart, int decimalPart) {
  if (integerPart < 0 || decimalPart < 0) return {NA_IT_R8, 8};
  if (decimalPart == 0 && integerPart < 20) {
    if (integerPart == 0) return {NA_IT_R8, 8};
    if (integerPart < 3) return {NA_IT_I1, 1};
    if (integerPart < 5) return {NA_IT_I2, 2};
    if (integerPart <= 9) return {NA_IT_I4, 4};
    return {NA_IT_I8, 8};
  }
  if (decimalPart >= 1 && decimalPart <= 6 && integerPart < 11) return {NA_IT_MONETAIRE, 10};
  const int64_t sum = static_cast<int64_t>(integerPart) + decimalPart;
  if (integerPart <= IDecimal::kMaxPrecision && decimalPart <= IDecimal::kMaxPrecision &&
      sum <= IDecimal::kMaxPrecision)
    return {NA_IT_DECIMAL, sum == 0 ? IDecimal::kFormSize : IDecimal::mg_PToN[sum]};
  return {NA_IT_R8, 8};
}

}  // namespace

void CNAItemDescription::s_GetTypeFromFormat(int integerPart, int decimalPart, eNA_ITEMTYPE* type,
                                             unsigned int* size) {
  const STFormat format = stTypeFromFormat(integerPart, decimalPart);
  if (type != nullptr) *type = format.eType;
  if (size != nullptr) *size = format.nSize;
}

BOOL CNAItemDescription::s_bGetDecimalInfo(unsigned short zvType, int* digits, int* decimals) {
  int d;
  switch (zvType) {
    case ZV_BOOL: d = 1; break;
    case ZV_UI1: case ZV_I1: d = 3; break;
    case ZV_UI2: case ZV_I2: d = 5; break;
    case ZV_UI4: case ZV_I4: case ZV_UIX: d = 10; break;
    case ZV_UI8: case ZV_I8: case ZV_DUREE: d = 19; break;
    case ZV_CY: d = 33; break;
    default: return FALSE;
  }
  if (digits != nullptr) *digits = d;
  if (decimals != nullptr) *decimals = zvType == ZV_CY ? 5 : 0;
  return TRUE;
}

void CNAItemDescription::s_Type2Ansi(eNA_ITEMTYPE* type, unsigned int* size) {
  if (*type == NA_IT_UNICODE) {
    *type = NA_IT_TEXTE;
    *size /= 2;
  } else if (*type == NA_IT_MEMOUNICODE) {
    *type = NA_IT_MEMOTEXTE;
  }
}

BOOL CNAItemDescription::bTypeMatch(const INAItemDescription* other, int ansiFold, int laxDate) const {
  if (other == nullptr) return FALSE;
  eNA_ITEMTYPE t1 = m_eType, t2 = other->eNAGetItemType();
  unsigned int s1 = m_nItemSize, s2 = other->nGetItemSize();
  if (ansiFold) {
    s_Type2Ansi(&t1, &s1);
    s_Type2Ansi(&t2, &s2);
  }
  if (t1 == t2) {
    switch (t1) {
      case NA_IT_TEXTE: case NA_IT_HEURE: case NA_IT_BINAIRE: case NA_IT_UNICODE:
        return s2 <= s1;
      case NA_IT_DECIMAL:
        return other->nGetDecimalPart() <= m_nDecimalPart && other->nGetIntegerPart() <= m_nIntegerPart;
      case NA_IT_DATETIME:
        return laxDate || other->nGetDecimalPart() <= m_nDecimalPart;
      default:
        return TRUE;
    }
  }
  int d1, c1, d2, c2;
  switch (t1) {
    case NA_IT_IDAUTO: case NA_IT_I2: case NA_IT_I1: case NA_IT_I4: case NA_IT_UI2: case NA_IT_UI1:
    case NA_IT_MONETAIRE: case NA_IT_I8: case NA_IT_UI8: case NA_IT_UI4: case NA_IT_TIMELENGHT: case NA_IT_IDAUTO4:
      return s_bGetDecimalInfo(ConverteItemToZVType(t1), &d1, &c1) &&
             s_bGetDecimalInfo(ConverteItemToZVType(t2), &d2, &c2) && d2 <= d1 && c2 <= c1;
    case NA_IT_R8: return t2 == NA_IT_R4;
    case NA_IT_DATE6: case NA_IT_HEURE: return laxDate && t2 == NA_IT_DATETIME;
    case NA_IT_DATE8: return t2 == NA_IT_DATE6 || (laxDate && t2 == NA_IT_DATETIME);
    case NA_IT_MEMOTEXTE: return t2 == NA_IT_IMAGE || t2 == NA_IT_TEXTE;
    case NA_IT_MEMOBINAIRE4: case NA_IT_MEMOBINAIRE: return t2 == NA_IT_BINAIRE;
    case NA_IT_DATETIME: return t2 == NA_IT_DATE6 || t2 == NA_IT_HEURE || t2 == NA_IT_DATE8;
    case NA_IT_UNICODE: return t2 == NA_IT_TEXTE && 2 * static_cast<uint64_t>(s1) >= s2;
    case NA_IT_MEMOUNICODE:
      return t2 == NA_IT_TEXTE || t2 == NA_IT_MEMOTEXTE || t2 == NA_IT_IMAGE || t2 == NA_IT_UNICODE;
    case NA_IT_DECIMAL:
      return s_bGetDecimalInfo(ConverteItemToZVType(t2), &d2, &c2) &&
             static_cast<int64_t>(m_nIntegerPart) + m_nDecimalPart >= d2 && m_nDecimalPart >= c2;
    default:
      return FALSE;
  }
}
