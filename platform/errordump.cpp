#include "platform/errordump.h"

#include <cstdarg>

#include "common/ctstring.h"
#include "platform/dllres.h"
#include "platform/errortable.h"

namespace {

constexpr wchar_t kCrLf[] = L"\r\n";

// Line formats of the information items by type; null: the type has no line.
const wchar_t* const kInfoFormats[EIT_LAST + 1] = {
    nullptr,
    L"EIT_SRCFILE : <%s>",
    L"EIT_DSTFILE : <%s>",
    L"EIT_USERNAME : <%s>",
    L"EIT_HELPFILE : <%s>",
    L"EIT_PATHQXD : <%s>",
    L"EIT_LOGICALTABLENAME : <%s>",
    L"EIT_ITEMNAME : <%s>",
    L"EIT_PATHFIC : <%s>",
    L"EIT_PATHNDX : <%s>",
    L"EIT_PATHMMO : <%s>",
    L"EIT_LINKNAME : <%s>",
    L"EIT_RECNUM : <%lld>",
    L"EIT_ODBCCODE : <%s>",
    L"EIT_ODBCDESCRIPTION : <%s>",
    L"EIT_BASECODE : <%d>",
    L"EIT_NATIVECODE : <%d>",
    L"EIT_ADOCODE : <%d>",
    L"EIT_BASEMESSAGE : <%s>",
    L"EIT_NATIVEMESSAGE : <%s>",
    L"EIT_ADOMESSAGE : <%s>",
    L"EIT_DATAACCESS : <%p>",
    L"EIT_INFOCLIENT : <%s>",
    L"EIT_INFOSERVEUR : <%s>",
    L"EIT_PILEZV :\r\n%s",
    L"EIT_DATEHEURE : %s",
    L"EIT_LOCKINFO : %s",
    L"EIT_CORRIGE_ETAT : %s",
    L"EIT_INFOCS : <%s>",
    nullptr,
    L"EIT_XINFO : <%d>",
    L"EIT_COMPOSANT :\r\n%s",
    L"EIT_SERVEURCS : <%s>",
    L"EIT_PILEC :\r\n%s",
    nullptr,
    nullptr,
    L"EIT_HLOCKTIME : <%lld>",
    L"EIT_HCNXID : <%d>",
    L"EIT_EXCEPTIONDOTNET",
    L"EIT_POSITION_ERREUR : <%s>",
};

bool Filled(const wchar_t* s) { return s != nullptr && *s != 0; }

// Builds the dump: sections of resource captions, grouped, with the blank line owed between two
// groups.
class CDumpWriter {
 public:
  CDumpWriter(CTString& out, bool bAll) : m_out(out), m_bAll(bAll) {}

  // A section that is asked for is written when filled, or always when every section is shown;
  // it starts with the blank line owed to the previous group.
  bool bBegin(bool asked, bool filled) {
    if (!asked || !(filled || m_bAll)) return false;
    if (m_bPending) m_out.Add(kCrLf);
    m_bPending = false;
    m_bWrote = true;
    return true;
  }
  // Ends a group: a blank line is owed when it wrote anything.
  void EndGroup() {
    m_bPending = m_bPending || m_bWrote;
    m_bWrote = false;
  }
  // T(id), then a line end unless bNoEnd.
  void Caption(unsigned int id, bool bNoEnd = false) {
    CTString text;
    DLLRES_bLoadString(&gstMyModuleInfo32, id, &text);
    m_out.Add(text.pszGet());
    if (!bNoEnd) m_out.Add(kCrLf);
  }
  // F(id, ...) and a line end.
  void Formatted(unsigned int id, ...) {
    CTString text;
    va_list ap;
    va_start(ap, id);
    DLLRES_bFormatMessageList(&gstMyModuleInfo32, id, &text, ap);
    va_end(ap);
    m_out.Add(text.pszGet());
    m_out.Add(kCrLf);
  }
  void Text(const wchar_t* s) { m_out.Add(s); }
  // A number: F(idWith, n), or T(idWithout) for 0 (0: the number is shown even then).
  void Number(bool asked, uint32_t n, unsigned int idWith, unsigned int idWithout) {
    if (!bBegin(asked, n != 0)) return;
    if (n != 0 || idWithout == 0)
      Formatted(idWith, n);
    else
      Caption(idWithout);
  }
  // A text under its caption (caption 0: none), or T(idWithout) when empty.
  void Block(bool asked, const wchar_t* text, unsigned int idCaption, unsigned int idWithout, bool bEndLine) {
    if (!bBegin(asked, Filled(text))) return;
    if (!Filled(text)) {
      Caption(idWithout);
      return;
    }
    if (idCaption != 0) Caption(idCaption);
    m_out.Add(text);
    if (bEndLine) m_out.Add(kCrLf);
  }

 private:
  CTString& m_out;
  bool m_bAll;
  bool m_bPending = false;
  bool m_bWrote = false;
};


}  // namespace

void CXError::__DumpInfo(eERRORINFOTYPE type, const void* value, CTString& line, int bEvenEmpty) const {
  line.Vide();
  if (type > EIT_LAST || kInfoFormats[type] == nullptr) return;
  const wchar_t* format = kInfoFormats[type];
  switch (type) {
    case EIT_RECNUM:
    case EIT_HLOCKTIME:
      if (value != nullptr) line.printf(format, *static_cast<const long long*>(value));
      return;
    case EIT_BASECODE:
    case EIT_NATIVECODE:
    case EIT_ADOCODE:
    case EIT_XINFO:
    case EIT_HCNXID:
      line.printf(format, static_cast<int>(reinterpret_cast<intptr_t>(value)));
      return;
    case EIT_DATAACCESS:
      line.printf(format, value);
      return;
    case EIT_EXCEPTIONDOTNET:
      line.Set(format);
      return;
    default: {
      const wchar_t* text = static_cast<const wchar_t*>(value);
      if (!Filled(text) && bEvenEmpty == 0 && type != EIT_POSITION_ERREUR) return;
      line.printf(format, text != nullptr ? text : L"");
      return;
    }
  }
}

void CXError::DumpInfo(eERRORINFOTYPE type, const void* value, CTString* out) const {
  if (out == nullptr) return;
  CTString line;
  __DumpInfo(type, value, line, 1);
  out->Add(line.pszGet());
}

CTString CXError::StringDump(eXERROR_INFO flags) const {
  CTString out;
  StringDump(out, flags);
  return out;
}

void CXError::StringDump(CTString& out, eXERROR_INFO eFlags) const {
  const uint32_t flags = eFlags;
  auto asked = [flags](uint32_t bit) { return (flags & bit) != 0; };
  CDumpWriter w(out, (flags & XEI_ONLYFILLED) == 0);

  // Context: never captioned as empty.
  if (w.bBegin(asked(XEI_CONTEXT) && (Filled(m_pszFunctionName) || Filled(m_pszCaption)), true)) {
    w.Caption(RES_DUMP_CONTEXT);
    if (Filled(m_pszCaption)) {
      CTString object;
      if (Filled(m_pszObjectName)) object.Set(L" (", m_pszObjectName, L")");
      if (m_wLine < 65535)
        w.Formatted(RES_DUMP_CAPTION_LINE, m_pszCaption, object.pszGet(), static_cast<unsigned int>(m_wLine),
                    static_cast<unsigned int>(m_wThread));
      else
        w.Formatted(RES_DUMP_CAPTION_NOLINE, m_pszCaption, object.pszGet(), static_cast<unsigned int>(m_wThread));
    }
    if (Filled(m_pszFunctionName))
      w.Formatted(RES_DUMP_FUNCTION, m_pszFunctionName, static_cast<unsigned int>(m_bySyntax));
  }
  w.EndGroup();

  w.Block(asked(XEI_USERMESSAGE), m_pszUserMessage, asked(XEI_NOUSERCAPTION) ? 0u : RES_DUMP_USERMESSAGE,
          RES_DUMP_NO_USERMESSAGE, true);
  w.EndGroup();

  if (w.bBegin(asked(XEI_USERCODE), true)) w.Formatted(RES_DUMP_USERCODE, m_nUserCode);
  if (w.bBegin(asked(XEI_LEVEL), true)) {
    const uint32_t level = m_eLevel;
    if (level == 1)
      w.Caption(RES_DUMP_LEVEL1);
    else if (level == 2)
      w.Caption(RES_DUMP_LEVEL2);
    else if (level == 3 || level == 0x40000004u || level == 0x40000008u)
      w.Caption(RES_DUMP_LEVEL3);
    else if ((level >= 0x10001u && level <= 0x10006u) || level == 0x20001u)
      w.Caption(RES_DUMP_LEVEL_1000X);
    else
      w.Formatted(RES_DUMP_LEVEL_OTHER, level);
  }
  w.Number(asked(XEI_USERCODE55), m_nUserCode55, RES_DUMP_USERCODE55, 0);
  w.EndGroup();

  w.Number(asked(XEI_SYSCODE), m_dwSystemCode, RES_DUMP_SYSCODE, RES_DUMP_NO_SYSCODE);
  w.Block(asked(XEI_SYSMESSAGE), m_pszSystemMessage, RES_DUMP_SYSMESSAGE, RES_DUMP_NO_SYSMESSAGE, false);
  w.EndGroup();

  if (w.bBegin(asked(XEI_MODULE), Filled(m_pszModName))) {
    if (Filled(m_pszModName))
      w.Formatted(RES_DUMP_MODULE, m_pszModName, pszGetModVersion());
    else
      w.Caption(RES_DUMP_NO_MODULE);
  }
  w.Number(asked(XEI_DETAILID), m_nDetailId, RES_DUMP_DETAILID, RES_DUMP_NO_DETAILID);
  w.Block(asked(XEI_DEBUGMESSAGE), m_pszDebugMessage, RES_DUMP_DEBUGMESSAGE, RES_DUMP_NO_DEBUGMESSAGE, true);
  if (w.bBegin(asked(XEI_INFO), nNumInfo() > 0)) {
    if (nNumInfo() == 0) {
      w.Caption(RES_DUMP_NO_INFO);
    } else {
      w.Caption(RES_DUMP_INFO, true);
      CTString line;
      for (int i = 0; i < nNumInfo(); ++i) {
        long long wide = 0;
        const void* value = &wide;
        eERRORINFOTYPE type;
        GetInfo(i, &type, &value);
        __DumpInfo(type, value, line, 0);
        if (line.nTaille() == 0) continue;
        w.Text(kCrLf);
        w.Text(line.pszGet());
      }
    }
  }
  w.EndGroup();

  // Sub-errors: never captioned as absent.
  if (w.bBegin(asked(XEI_SUBERROR) && nGetNbSubError() > 0, true)) {
    for (int i = 0; i < nGetNbSubError(); ++i) {
      CTString heading;
      DLLRES_bFormatMessage(&gstMyModuleInfo32, RES_DUMP_SUBERROR, &heading, static_cast<unsigned int>(i + 1));
      out.Add(L"\r\n----- ", heading.pszGet(), L" -----\r\n\r\n");
      pclGetSubError(i)->StringDump(out, eFlags);
      out.Add(kCrLf);
    }
  }
}
