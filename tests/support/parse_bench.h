// What the parse tests share: tables the stand-in host knows (its record descriptions over the
// test's items), the catalogue of them, and parses made with the stand-in SQL engine. The tables
// "clients" and "commandes" are always there; a test adds its own with Table and Item. Every test
// using it must leave no stand-in parser object alive.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "host/host_datasource.h"
#include "host/host_itemdescription.h"
#include "host/host_sqlparser.h"

class ParseBench {
 public:
  // Key flags of the stand-in's items.
  static constexpr unsigned short kPrimary = 0x8000, kUnique = 0x4000, kDuplicates = 0x2000;

  ParseBench() {
    CHostRecordDescription* clients = Table(L"clients", L"db_clients");
    Item(clients, L"id", NA_IT_IDAUTO4, 4, kPrimary, FALSE);
    Item(clients, L"nom", NA_IT_TEXTE, 31, kDuplicates);
    Item(clients, L"ville", NA_IT_TEXTE, 21);
    Item(clients, L"note", NA_IT_MEMOTEXTE, 8);
    Item(clients, L"code", NA_IT_TEXTE, 11, kUnique, FALSE);
    CHostRecordDescription* orders = Table(L"commandes", L"db_commandes");
    Item(orders, L"num", NA_IT_I4, 4, kPrimary, FALSE);
    Item(orders, L"client", NA_IT_I4, 4, kDuplicates);
    Item(orders, L"montant", NA_IT_R8, 8);
    Item(orders, L"date_cde", NA_IT_DATE8, 9);
  }
  ParseBench(const ParseBench&) = delete;
  ParseBench& operator=(const ParseBench&) = delete;

  // A table known by name, with its physical and database names.
  CHostRecordDescription* Table(const wchar_t* name, const wchar_t* physical) {
    CHostRecordDescription& desc = m_tables.emplace_back();
    desc.m_pszName = m_texts.emplace_back(name).c_str();
    desc.m_pszPhysicalName = m_texts.emplace_back(physical).c_str();
    desc.m_pszDBTableName = m_texts.emplace_back(std::wstring(L"DB.") + name).c_str();
    m_catalogue.Add(&desc);
    return &desc;
  }
  CHostItemDescription* Item(CHostRecordDescription* table, const wchar_t* name, eNA_ITEMTYPE type,
                             unsigned int size, unsigned short keys = 0, BOOL nullable = TRUE, int version = 9) {
    CHostItemDescription& item = m_items.emplace_back(name, type, size);
    item.m_wKeyFlags = keys;
    item.m_bNullAllowed = nullable;
    item.m_nVersion = version;
    table->Add(&item);
    return &item;
  }

  // The parse of text (one reference for the test); null with a failure when it does not parse.
  ISQLParserInformation* Parse(const std::wstring& text) {
    CTString error;
    ISQLParserInformation* parse = CHostSQLParser::piParse(text.c_str(), m_catalogue, &error);
    if (parse == nullptr) ADD_FAILURE() << "no parse of \"" << Narrow(text) << "\": " << Narrow(error.pszGet());
    return parse;
  }
  // The reason text does not parse; "" when it does.
  std::wstring Error(const std::wstring& text) {
    CTString error;
    ISQLParserInformation* parse = CHostSQLParser::piParse(text.c_str(), m_catalogue, &error);
    if (parse != nullptr) parse->nRelease();
    return error.pszGet();
  }

  static std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s += c < 0x80 ? static_cast<char>(c) : '?';
    return s;
  }

  CHostSQLCatalogue m_catalogue;
  std::deque<CHostRecordDescription> m_tables;
  std::deque<CHostItemDescription> m_items;
  std::deque<std::wstring> m_texts;
};

// Fails the test when stand-in parser objects outlive it.
class ParseTest : public testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(CHostSQLParser::nLive(), m_nLive) << "stand-in parser objects leaked"; }

 private:
  long m_nLive = CHostSQLParser::nLive();
};
