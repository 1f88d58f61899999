// CMySQLDataSourceDescription: the table description of the MySQL backend: the generic
// description with its four import steps for MySQL. The columns come from "SHOW FULL COLUMNS FROM "
// (a server before 4.1: "SHOW COLUMNS FROM "), one item each with its nullability and default;
// the keys from "SHOW INDEX FROM ", whose rows come grouped by index and in column order: a
// one-column index gives its column key flags, a longer one a composite key item (type BINAIRE)
// with the columns as components. The table is named by its database name quoted by the
// connection, which is a CMySQLConnection. Described from a statement, its text items that are a
// table's own columns are completed from that table's column query.
//
// It holds nothing of its own; each reading step makes its converters through the driver and
// frees them. A default that does not convert leaves the item without one and raises nothing.
#pragma once

#include "access/nadatasourcedescription.h"

class CMySQLConnection;

class CMySQLDataSourceDescription : public CNADataSourceDescription {
 public:
  CMySQLDataSourceDescription(CNAConnectionDescription* cnx, CNAError* error) : CNADataSourceDescription(cnx, error) {}
  ~CMySQLDataSourceDescription() override = default;

  // The text is replaced by the query and the quoted table name; FALSE, the text untouched, when
  // the name cannot be quoted.
  BOOL _bGetQueryShowColumns(CXYStringConcat<wchar_t>* text) override;
  // One item per row, the rows' order their physical order; an automatic-identifier primary key
  // is the only key this step gives. FALSE at the first row that cannot be read or typed (the
  // items made before stay).
  BOOL _bInitItemFromQueryShowColumns(CNAStatementSQL* statement) override;
  BOOL _bGetQueryShowIndex(CXYStringConcat<wchar_t>* text) override;
  // FALSE when a row cannot be read or a composite key names no item; the key being built is
  // closed with the rows read before.
  BOOL _bInitKeysFromQueryShowIndex(CNAStatementSQL* statement) override;
  // A text column of the result that is a table's own column takes the character-set facts of
  // that column as the table's import gives them: the result's field has the result's character
  // set, not the column's. Each table is read once ("SHOW FULL COLUMNS ... FROM <database>"); a
  // table the server refuses to describe leaves the field's facts; any other failure (a lost
  // server) is the description's, with its error.
  BOOL _bCompleteServerFacts(CNAStatementSQL* statement) override;

  // Key flags of the Key column: "PRI" 0x8800, "UNI" 0x4800 (first three letters, any case);
  // else 0.
  static unsigned short _nKeyType(const wchar_t* keyText);
  // The same from a client field-flags word: primary 0x2 gives 0x8800, else 0x4000 gives 0x4800,
  // else 0x8 gives 0x2800.
  static unsigned short _nKeyType(unsigned int fieldFlags);

 protected:
  // Places the previous row of the index query: a key going on (newKey FALSE) makes or extends the
  // pending composite item; a key ending closes it through _bAddKeyDescription.
  BOOL _bInitKeyDescription(CNAItemDescription** pending, const wchar_t* keyName, int newKey,
                            const wchar_t* columnName, unsigned short flags);
  // The last column of a key: the pending composite item takes it and is added (released and
  // cleared whatever happened); without one, the column's item gets the flags (TRUE also when
  // none has that name).
  BOOL _bAddKeyDescription(CNAItemDescription** pending, const wchar_t* columnName, unsigned short flags);

 private:
  CMySQLConnection* _pclMySQL() const;
  // The database the table is in, when it is not the connection's (quoted as it is given).
  CTString m_csDatabase;
  BOOL _bQueryText(CXYStringConcat<wchar_t>* text, const wchar_t* verb);
};
