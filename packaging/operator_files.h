// What the manual pages and the shell completion take from the tool's and tarne-admin's
// tables.
#ifndef TARNE_PACKAGING_OPERATOR_FILES_H
#define TARNE_PACKAGING_OPERATOR_FILES_H

#include <map>
#include <string>
#include <vector>

#include "man_page.h"

using ManVariables = std::map<std::string, std::string>;

// The variables both pages use: VERSION, DEFAULT_DIRECTORY, DUMP_HEADER_PATH.
ManVariables CommonManVariables(const std::string &version);

std::vector<ManItem> ToolManItems();
ManVariables ToolManVariables(const std::string &version);

std::vector<ManItem> AdminManItems();

// The bash completion script of tarne-tool; false and *error when a table holds something
// the script cannot offer.
bool ToolCompletion(std::string *script, std::string *error);

#endif  // TARNE_PACKAGING_OPERATOR_FILES_H
