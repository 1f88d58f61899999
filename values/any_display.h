// Display texts of variant values for errors, traces and debug dumps (nGetString), and the
// value-dump captions of CQXVariant. The captions are heap copies owned by the class; the
// library's common termination frees them.
#pragma once

#include "values/any.h"

class CTString;
template <typename T>
class CXYString;

// Replaces *pStr with pszPrefix followed by the value's text as the host VM renders it; bDebug
// adds the type code, data size and a hexadecimal image of the first 500 data bytes. A value the
// VM cannot render shows "<ERROR>" and its code is returned (the partial text is kept).
int nGetString(CXYString<wchar_t>* pStr, const CAny& value, const wchar_t* pszPrefix, int bDebug);
// A null pValue gives pszPrefix followed by "<NULL>" and 0.
int nGetString(CXYString<wchar_t>* pStr, const CAny* pValue, const wchar_t* pszPrefix, int bDebug);
int nGetString(CTString* pStr, const CAny* pValue, const wchar_t* pszPrefix, int bDebug);
int nGetString(CTString* pStr, const CAny& value, const wchar_t* pszPrefix, int bDebug);

class CQXVariant {
 public:
  // Loads every caption from this module's resource texts, its built-in text when the load fails.
  static void InitQueryDumpRessources();
  // Frees the loaded captions and nulls them; a second call frees nothing.
  static void FreeQueryDumpRessources();

  static wchar_t* s_pszDumpZVType;
  static wchar_t* s_pszDumpADOType;
  static wchar_t* s_pszDumpValue;
  static wchar_t* s_pszDumpTime;
  static wchar_t* s_pszDumpDate;
  static wchar_t* s_pszDumpConvFailed_Text;
  static wchar_t* s_pszDumpConvFailed_Date;
  static wchar_t* s_pszDumpConvFailed_Time;
};
