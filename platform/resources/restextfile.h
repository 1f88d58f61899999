// Reader of the module's resource text source (texts.txt), shared by the build-time packer and
// the tests that check the packed block against it.
//
// Format, UTF-8: one text per line, "<id><TAB><text>"; lines that are empty or start with '#'
// are ignored; a CR before the line end is dropped. In the text, "\n", "\r", "\t" and "\\" stand
// for a line feed, a carriage return, a tab and a backslash; any other backslash is an error.
// Variants (singular, plural ...) are joined by "\n§\n". Ids run from 1 to 65535, each once, in
// any order; the packer keeps 65535 for the block's end marker.
#pragma once

#include <string>
#include <vector>

struct STResText {
  unsigned int nId;
  std::string strText;  // UTF-8, escapes resolved
  int nLine;
};

// Reads and checks the file; texts come back sorted by id. false with a reason (file and line)
// in *err when the file cannot be read or holds a bad line.
bool bReadResTexts(const std::string& path, std::vector<STResText>* texts, std::string* err);
