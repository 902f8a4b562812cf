// What the manual pages take from the tool's and tarne-admin's
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

#endif  // TARNE_PACKAGING_OPERATOR_FILES_H
