// A formatted SQL its builder writes itself: the pieces and literals of a statement whose values
// all have their literal when it is built, in the bytes the formatter would give them.
#include "driver/naconnectiondescription.h"
#include "sql/nacolumn.h"
#include "sql/nacommand.h"
#include "values/any.h"

bool CNACommand::bBeginFormated() {
  const int cp = _nFormatedCodePage();
  if (m_pclCnx == nullptr || cp == CTStringConcatAW::kWideContent) return false;
  ResetCommand(0);
  // As a build of every value class would set it.
  m_clFormated.SetCodePages(cp, m_pclCnx->nGetHostCodePage());
  m_eFormatedMode = NA_PARAMCONV_ALL;
  m_nLastLiteralAt = -1;
  return true;
}

void CNACommand::AddFormatedText(const char* ascii, int n) {
  if (n <= 0) return;
  // _AddSpaceBetween's blank, on bytes: ASCII is itself in the formatted SQL's code page.
  const int length = m_clFormated.nGetLength();
  if (length > 0 && ascii[0] != ' ' && !m_clFormated.bIsCharSpace(length - 1)) AddFormated(" ", 1);
  AddFormated(ascii, n);
}

int CNACommand::nAddFormatedColumnLiteral(CNAColumn* column) {
  CAny value;
  const int written = _nRecordLiteral(column, &value);
  if (written == -2) return -1;
  if (written < 0) {
    CAny read;
    if (!column->bGetCurrentValue(&read, 0)) return 0;
    eNA_ITEMTYPE db = NA_IT_EMPTY, analysis = NA_IT_EMPTY;
    if (!_bLiteralTypes(column, &db, &analysis) || _nValueLiteral(&read, column, db, analysis) < 0) return -1;
  }
  AddFormated(m_clLiteral.pszGetA(), m_clLiteral.nGetLength());
  return 1;
}

void CNACommand::EndFormated() {
  // The text says what is sent: the statement whole, with no parameter left to format. It is
  // widened only when someone reads it.
  m_clTextBytes.Vide();
  m_clTextBytes.Add(m_clFormated.pszGetA(), m_clFormated.nGetLength());
  m_nTextBytesCodePage = m_clFormated.nGetCodePage();
  m_bTextInFormated = 1;
  _RewriteRowLimit();
}

void CNACommand::_WidenText() const {
  m_bTextInFormated = 0;
  m_clTextHeld.Vide();
  m_clTextHeld.Add(m_clTextBytes.pszGet(), static_cast<int>(m_clTextBytes.nGetLength()),
                   static_cast<unsigned int>(m_nTextBytesCodePage));
}
