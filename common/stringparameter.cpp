#include "common/stringparameter.h"

#include <cwchar>

namespace {

bool bUsableName(const wchar_t* name) {
  if (name == nullptr || name[0] == 0 || name[0] == L' ') return false;
  const size_t n = wcslen(name);
  return name[n - 1] != L' ' && wcspbrk(name, L";=") == nullptr;
}

// A write must leave one item: a name or value that adds or splits items is refused.
bool bWritable(const CTString* settings, const wchar_t* value, const wchar_t* name) {
  return settings != nullptr && bUsableName(name) && (value == nullptr || wcschr(value, L';') == nullptr);
}

void AppendItem(CTString* settings, const wchar_t* name, const wchar_t* value) {
  if (settings->nTaille() > 0) settings->Add(L';');
  settings->Add(name, L"=", value);
}

bool bSeparator(wchar_t c) { return c == L';' || c == L' '; }

// Takes the item whose name starts at namePos and whose value ends at valueEnd out of settings.
void RemoveItem(CTString* settings, int namePos, int valueEnd) {
  const wchar_t* t = settings->pszGet();
  const int len = settings->nTaille();
  int start = namePos;
  while (start > 0 && t[start - 1] == L' ') --start;
  int end = valueEnd + 1;
  while (end < len && bSeparator(t[end])) ++end;
  settings->Coupe(start, end - start);
  settings->TronqueDebut(static_cast<int>(wcsspn(settings->pszGet(), L"; ")));
  if (settings->nTaille() == 0) settings->Vide();
}

}  // namespace

// ---- One parameter ----

void CStringParameter::SetParameterValue(const wchar_t* value, int length, const wchar_t*, int) {
  if (value == nullptr) {
    m_clValue.Vide();
    m_bDefined = 0;
    return;
  }
  if (length < 0)
    m_clValue.Set(value);
  else
    m_clValue.Set(value, static_cast<unsigned int>(length));
  m_clValue.SansEspace();
  m_bDefined = 1;
}

void CStringParameter::SetParameterValueRep(const wchar_t* value, int length) {
  SetParameterValue(value, length);
  if (m_clValue.nTaille() > 0 && !m_clValue.bTerminePar(L'\\')) m_clValue.Add(L'\\');
}

BOOL CStringParameter::bInitParameterValue(CTString* settings, int bRemove) {
  return s_bGetParameterValue(&m_clValue, &m_bDefined, settings, m_pszName, bRemove);
}

BOOL CStringParameter::bCompleteConnectionString(CTString* settings, const wchar_t*, int) const {
  if (!m_bDefined) return TRUE;
  if (!bWritable(settings, m_clValue.pszGet(), m_pszName)) return FALSE;
  CTString held;
  int found;
  s_bGetParameterValue(&held, &found, settings, m_pszName, FALSE);
  // An item of this name already there would be read before an appended one and hide the value.
  if (found && wcscmp(held.pszGet(), m_clValue.pszGet()) != 0)
    return s_bReplaceParameterValue(settings, m_clValue.pszGet(), m_pszName);
  AppendItem(settings, m_pszName, m_clValue.pszGet());
  return TRUE;
}

// ---- Settings strings ----

BOOL CStringParameter::_s_bGetParameterPos(int& namePos, int& valueStart, int& valueEnd, const CTString* settings,
                                           const wchar_t* name) {
  namePos = valueStart = valueEnd = -1;
  if (settings == nullptr || settings->nTaille() == 0 || !bUsableName(name)) return FALSE;
  // Upper case maps one character to one, so positions hold in the original.
  CTString text(*settings), key(name);
  text.Majuscule();
  key.Majuscule();
  const wchar_t* t = text.pszGet();
  const size_t n = static_cast<size_t>(key.nTaille());
  for (const wchar_t* item = t;;) {
    item += wcsspn(item, L" ");
    if (wcsncmp(item, key.pszGet(), n) == 0) {
      const wchar_t* p = item + n;
      p += wcsspn(p, L" ");
      if (*p == L'=') {
        ++p;
        p += wcsspn(p, L" ");
        namePos = static_cast<int>(item - t);
        valueStart = static_cast<int>(p - t);
        valueEnd = static_cast<int>(p - t + wcscspn(p, L";")) - 1;
        return TRUE;
      }
    }
    const wchar_t* next = wcschr(item, L';');
    if (next == nullptr) return FALSE;
    item = next + 1;
  }
}

BOOL CStringParameter::s_bGetParameterValue(CTString* value, int* pbFound, CTString* settings, const wchar_t* name,
                                            int bRemove) {
  CTString found;
  int namePos, valueStart, valueEnd;
  const BOOL bFound = _s_bGetParameterPos(namePos, valueStart, valueEnd, settings, name);
  if (bFound) {
    found = settings->clMilieu(valueStart, valueEnd - valueStart + 1);
    found.SansEspace();
    if (bRemove) RemoveItem(settings, namePos, valueEnd);
  }
  if (pbFound != nullptr) *pbFound = bFound ? 1 : 0;
  if (value != nullptr) value->Transfert(found);
  return TRUE;
}

BOOL CStringParameter::s_bParameterDefined(const CTString* settings, const wchar_t* name) {
  int namePos, valueStart, valueEnd;
  return _s_bGetParameterPos(namePos, valueStart, valueEnd, settings, name);
}

BOOL CStringParameter::s_bReplaceParameterValue(CTString* settings, const wchar_t* value, const wchar_t* name) {
  if (!bWritable(settings, value, name)) return FALSE;
  int namePos, valueStart, valueEnd;
  if (_s_bGetParameterPos(namePos, valueStart, valueEnd, settings, name))
    settings->Remplace(valueStart, valueEnd - valueStart + 1, value);
  else
    AppendItem(settings, name, value);
  return TRUE;
}
