#include "platform/errortable.h"

#include <cerrno>
#include <cstdarg>

#include "common/ctstring.h"
#include "platform/resblock.h"

const STErrorDef gstErrorDef32[kErrorDefCount32] = {
    {1, 25624, 1, 3},
    {2, 25016, 2, 3},
    {4, 25625, 4, 3},
    {5, 25017, 5, 3},
    {6, 25626, 6, 3},
    {12, 28546, 12, 3},
    {34, 28885, 34, 3},
    {42, 25524, 42, 3},
    {43, 28575, 43, 3},
    {44, 25574, 44, 3},
    {45, 25602, 45, 3},
    {7, 28432, 7, 3},
    {8, 28437, 8, 3},
    {9, 28536, 9, 3},
    {10, 28537, 10, 3},
    {11, 28538, 11, 3},
    {13, 28540, 13, 3},
    {14, 28542, 14, 3},
    {15, 28541, 15, 3},
    {16, 28543, 16, 3},
    {17, 28544, 28544, 3},
    {18, 28563, 28563, 3},
    {19, 28417, 28417, 3},
    {20, 28565, 28565, 3},
    {21, 28576, 21, 2},
    {73, 25860, 73, 2},
    {22, 28585, 22, 3},
    {80, 25878, 80, 3},
    {67, 25861, 67, 3},
    {68, 25862, 68, 3},
    {69, 25863, 69, 3},
    {70, 25864, 70, 3},
    {71, 25865, 71, 3},
    {72, 25866, 72, 3},
    {23, 28586, 23, 3},
    {24, 28587, 24, 3},
    {25, 28588, 25, 3},
    {26, 28589, 26, 3},
    {27, 28590, 27, 3},
    {28, 28591, 28, 3},
    {29, 28624, 29, 3},
    {30, 28636, 30, 3},
    {31, 28839, 31, 3},
    {29, 28624, 29, 3},
    {32, 28876, 32, 3},
    {33, 28884, 33, 3},
    {35, 28910, 35, 3},
    {37, 28994, 37, 3},
    {38, 25003, 38, 3},
    {39, 25004, 39, 3},
    {40, 25008, 40, 3},
    {41, 25199, 41, 3},
    {46, 25607, 46, 3},
    {47, 25609, 47, 3},
    {48, 25613, 48, 3},
    {49, 25615, 49, 3},
    {52, 25616, 52, 3},
    {74, 25868, 74, 3},
    {53, 25621, 53, 3},
    {54, 25628, 54, 3},
    {55, 25667, 55, 3},
    {56, 25681, 56, 3},
    {81, 28566, 81, 3},
    {58, 25854, 58, 3},
    {59, 25867, 59, 3},
    {78, 25575, 78, 3},
    {79, 25877, 79, 3},
    {50, 28583, 50, 3},
    {51, 28584, 51, 3},
    {57, 25833, 57, 3},
    {77, 25873, 77, 3},
    {82, 25880, 82, 3},
    {83, 25881, 83, 3},
    {60, 25293, 60, 3},
    {61, 25294, 61, 3},
    {62, 25295, 62, 3},
    {63, 25296, 63, 3},
    {64, 25297, 64, 3},
    {65, 25298, 65, 3},
    {66, 25292, 66, 3},
    {75, 25871, 75, 3},
    {76, 25872, 76, 3},
    {320101, 3221, 320101, 3},
    {320102, 3355, 320102, 3},
    {320103, 3222, 320103, 3},
    {320104, 3223, 320104, 3},
    {320105, 3224, 320105, 3},
};

const _stMyModuleInfo gstMyModuleInfo32 = {
    gstErrorDef32, kErrorDefCount32, kModuleNumber32, L"qx200msql.so", L"20.0.10.0", bGetResAnsi32,
};

_CXErrorModule32::~_CXErrorModule32() = default;

void XERR_AddRaiseSite(CXError* e, unsigned int fileNumber, unsigned int siteNumber) {
  if (e == nullptr) return;
  CTString line;
  line.printf(L"IE%s=%u.%u\r\nModule=<%s>\r\nVersion=<%s>", gszModuleShortName32, fileNumber, siteNumber,
              gszModuleShortName32, gstMyModuleInfo32.pszVersion);
  e->AddDebugMessageNoFormat(line.pszGet());
}

namespace {

const STErrorDef* FindRow(const _stMyModuleInfo* record, unsigned int code) {
  if (record == nullptr || record->pstErrorDef == nullptr) return nullptr;
  for (uint32_t i = 0; i < record->nErrorDef; ++i)
    if (CXError::__nErrorDefCompare(&code, &record->pstErrorDef[i]) == 0) return &record->pstErrorDef[i];
  return nullptr;
}

// Value-operation result kinds (see SetAnyError).
enum : int {
  KIND_OK = 0,
  KIND_WARNING = 1,
  KIND_NO_MEMORY = 100,  // codes above are failures
};

}  // namespace

int CXError::__nErrorDefCompare(const void* a, const void* b) {
  const uint32_t x = *static_cast<const uint32_t*>(a), y = *static_cast<const uint32_t*>(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

unsigned int CXError::nGetRessourceIdFromUserErrorCode(const _stMyModuleInfo* record, unsigned int code) {
  const STErrorDef* row = FindRow(record, code);
  return row != nullptr ? row->nResourceId : 0u;
}

void CXError::_ChangeUserError(const _stMyModuleInfo* record, unsigned int code, int variant, va_list* args,
                               const wchar_t* text) {
  _Touch();
  InitModInfo(record, TRUE);
  const STErrorDef* row = FindRow(record, code);
  if (row == nullptr) {
    SetErrorLevel(ERRORLEVEL_ERROR);
    AddDebugMessagePrintf(L"##(CXError)-Pas de definition d'erreur dans gstErrorDef pour l'identifiant <%u>##", code);
    return;
  }
  m_nUserCode = code;
  if (args != nullptr) {
    _AddResourceMessage(record, row->nResourceId, variant, *args, TARGET_USER_FRONT);
  } else {
    AddUserMessageFirst(text);
  }
  m_nDetailId = row->nDetailId;
  SetErrorLevel(static_cast<eERRORLEVEL>(row->nLevel));
}

void CXError::SetUserError(const _stMyModuleInfo* record, unsigned int code, ...) {
  va_list ap;
  va_start(ap, code);
  SetUserErrorList(record, code, ap);
  va_end(ap);
}

void CXError::SetUserErrorList(const _stMyModuleInfo* record, unsigned int code, va_list args) {
  RAZ();
  ChangeUserErrorList(record, code, args);
}

void CXError::ChangeUserError(const _stMyModuleInfo* record, unsigned int code, ...) {
  va_list ap;
  va_start(ap, code);
  ChangeUserErrorList(record, code, ap);
  va_end(ap);
}

void CXError::ChangeUserErrorList(const _stMyModuleInfo* record, unsigned int code, va_list args) {
  ChangeUserErrorVariantList(record, code, 0, args);
}

void CXError::SetUserErrorVariant(const _stMyModuleInfo* record, unsigned int code, int variant, ...) {
  RAZ();
  va_list ap;
  va_start(ap, variant);
  ChangeUserErrorVariantList(record, code, variant, ap);
  va_end(ap);
}

void CXError::ChangeUserErrorVariantList(const _stMyModuleInfo* record, unsigned int code, int variant,
                                         va_list args) {
  va_list ap;
  va_copy(ap, args);
  _ChangeUserError(record, code, variant, &ap, nullptr);
  va_end(ap);
}

void CXError::SetUserErrorMessage(const _stMyModuleInfo* record, unsigned int code, const wchar_t* text) {
  RAZ();
  ChangeUserErrorMessage(record, code, text);
}

void CXError::ChangeUserErrorMessage(const _stMyModuleInfo* record, unsigned int code, const wchar_t* text) {
  _ChangeUserError(record, code, 0, nullptr, text);
}

void CXError::SetErrorNoMemory() {
  _Touch();
  RAZ();
  AddUserMessageFirst(&gstMyModuleInfo32, kResNoMemory32);
  // Level 3: level 1 would read as "no error" everywhere.
  SetErrorLevel(ERRORLEVEL_ERROR);
  // The text of ENOMEM itself: errno may say anything by now.
  _SetSystemErrorOfErrno(ENOMEM, ENOMEM);
}

void CXError::SetAnyError(const _stMyModuleInfo* record, int kind, int p1, int p2) {
  _Touch();
  unsigned int code;
  switch (kind) {
    case KIND_OK:
      RAZ();
      return;
    case KIND_WARNING:
      code = 65;
      break;
    case KIND_NO_MEMORY:
      SetErrorNoMemory();
      return;
    case 101:
      code = 61;
      break;
    case 104:
      code = 66;
      break;
    case 105:
      code = 60;
      break;
    case 106:
      code = 64;
      break;
    case 107:
      code = 63;
      break;
    default:
      // Warnings passed through from the host VM leave the error as it is; any other failure
      // must not read as success: a conversion error.
      if (kind <= KIND_NO_MEMORY) return;
      code = 60;
      break;
  }
  SetUserError(record, code, p1, p2);
}
