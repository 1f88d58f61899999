// The INSERT on a statement's table written straight as the SQL sent, where every value has its
// literal: the head kept from one add to the next, the values from the record.
#include "driver/naconnectiondescription.h"
#include "access/nadataaccess.h"
#include "access/narecord.h"
#include "sql/nacolumn.h"
#include "sql/nastatement.h"

int CNAStatement::_nBuildInsertFormated(CNACommand* command, const std::vector<CNAColumn*>& chosen,
                                        NA_WRITEPARSEFLAGS flags) {
  CNAConnectionDescription* cnx = pclGetConnectionNoRef();
  if (chosen.empty() || cnx == nullptr || cnx->bSupportInsertReturning() || _pclGetSourceQueryNoRef() != nullptr)
    return -1;
  // A deleted row written back takes the server's texts of the columns left as read (see
  // _bAddColumnValue), which the record's bytes do not tell.
  const CNARecordValue* current = m_pclRecord != nullptr ? m_pclRecord->pclGetCurrentValueNoRef() : nullptr;
  if (current != nullptr && current->eGetState() == NA_RECORDSTATE_DELETED) return -1;
  // An identifier numbered here goes as a parameter (and numbering it is no step to undo). A
  // record without an identifier column has none to number.
  if (m_pclRecord != nullptr && m_pclRecord->pclGetColumnIDAutoNoRef() != nullptr)
    for (CNAColumn* column : chosen)
      if (column->bIsIdAuto() && (flags & 0x500) == 0 &&
          ((flags & NA_WPF_IDAUTO_NEW) != 0 || !column->bIsAutoIncrementOnDataBase()))
        return -1;
  if (!command->bBeginFormated()) return -1;
  _SetQuery(command);
  command->SetNAQueryType(NA_QUERY_INSERT);
  int n = 0;
  const char* head = m_clInsertForm.pszGetHead(m_pclDataAccess->pszGetFormatedTableName(), chosen,
                                               command->nGetFormatedCodePage(), command->nGetFormatedAnsiCodePage(), &n);
  command->AddFormated(head, n);
  for (size_t i = 0; i < chosen.size(); ++i) {
    if (i > 0) command->AddFormatedText(", ", 2);
    const int written = command->nAddFormatedColumnLiteral(chosen[i]);
    if (written <= 0) {
      command->ResetCommand(0);
      return written;
    }
  }
  command->AddFormatedText(" )", 2);
  command->EndFormated();
  return TRUE;
}
