// Expands a manual page template: item markers become the headings built from a command or
// option table, @NAME@ variables their values. Refuses a template that drifts from the table.
#ifndef TARNE_PACKAGING_MAN_PAGE_H
#define TARNE_PACKAGING_MAN_PAGE_H

#include <map>
#include <string>
#include <string_view>
#include <vector>

struct ManItem {
  std::string kind;                   // the marker's word: ".\" @<kind> <key>"
  std::string key;                    // the command word or option letter
  std::string heading;                // roff text that replaces the marker line
  std::vector<std::string> mentions;  // roff texts the item's paragraph must contain
};

// Text with roff's special characters escaped, for a place inside a line.
std::string Roff_Escape(std::string_view text);

// Every item appears exactly once, in table order; every marker names an item; every
// @NAME@ is a variable. false and *error set otherwise.
bool ManPage_Expand(std::string_view pageTemplate, const std::vector<ManItem> &items,
                    const std::map<std::string, std::string> &variables, std::string *page,
                    std::string *error);

#endif  // TARNE_PACKAGING_MAN_PAGE_H
