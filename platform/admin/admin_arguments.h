// The command line of one tarne-admin command: its --options and its positional words.
#ifndef TARNE_ADMIN_ADMIN_ARGUMENTS_H
#define TARNE_ADMIN_ADMIN_ARGUMENTS_H

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "client/tarne_client.h"

namespace olva::admin {

struct OptionSpec {
  std::string_view name;  // without the leading dashes
  bool takesValue;
  bool repeatable;
};

class Arguments {
 public:
  // Every command accepts --directory PATH besides its own options. Nothing, and *error
  // set, for an unknown option, a missing value or an option given twice.
  static std::optional<Arguments> Parse(std::span<char *const> words,
                                        std::span<const OptionSpec> options, std::string *error);

  bool Has(std::string_view name) const { return values_.count(std::string(name)) != 0; }
  // The last value of the option, or nothing.
  std::optional<std::string> Value(std::string_view name) const;
  std::vector<std::string> Values(std::string_view name) const;
  const std::vector<std::string> &Positional() const { return positional_; }

  // --directory, else TARNE_DIRECTORY, else the location the node file records, else the
  // default path. A node file that cannot be read ends the program (exit 1, named).
  std::string DirectoryPath() const;

 private:
  std::map<std::string, std::vector<std::string>> values_;
  std::vector<std::string> positional_;
};

// A UUID in its text form, or one of the reserved names OLVA_UUID_SELF and OLVA_UUID_NULL.
std::optional<OlvaUUID> ParseUuidArgument(std::string_view text);
std::optional<uint64_t> ParseNumber(std::string_view text, uint64_t maximum);

}  // namespace olva::admin

#endif  // TARNE_ADMIN_ADMIN_ARGUMENTS_H
