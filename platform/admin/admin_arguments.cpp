#include "admin_arguments.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "admin_commands.h"
#include "directory/host_location.h"
#include "directory/uuid_util.h"

namespace olva::admin {
namespace {

constexpr OptionSpec kDirectoryOption{"directory", true, false};

const OptionSpec *FindOption(std::span<const OptionSpec> options, std::string_view name) {
  if (name == kDirectoryOption.name) return &kDirectoryOption;
  for (const OptionSpec &option : options) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

}  // namespace

std::optional<Arguments> Arguments::Parse(std::span<char *const> words,
                                          std::span<const OptionSpec> options, std::string *error) {
  Arguments arguments;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string_view word = words[i];
    if (word.size() < 3 || word.substr(0, 2) != "--") {
      arguments.positional_.emplace_back(word);
      continue;
    }
    std::string_view name = word.substr(2);
    std::optional<std::string> inlineValue;
    if (const size_t equals = name.find('='); equals != std::string_view::npos) {
      inlineValue = std::string(name.substr(equals + 1));
      name = name.substr(0, equals);
    }
    const OptionSpec *option = FindOption(options, name);
    if (option == nullptr) {
      *error = "unknown option --" + std::string(name);
      return std::nullopt;
    }
    std::vector<std::string> &values = arguments.values_[std::string(name)];
    if (!values.empty() && !option->repeatable) {
      *error = "--" + std::string(name) + " given twice";
      return std::nullopt;
    }
    if (!option->takesValue) {
      if (inlineValue) {
        *error = "--" + std::string(name) + " takes no value";
        return std::nullopt;
      }
      values.emplace_back();
    } else if (inlineValue) {
      values.push_back(*inlineValue);
    } else if (i + 1 < words.size()) {
      values.emplace_back(words[++i]);
    } else {
      *error = "--" + std::string(name) + " needs a value";
      return std::nullopt;
    }
  }
  return arguments;
}

std::optional<std::string> Arguments::Value(std::string_view name) const {
  const auto found = values_.find(std::string(name));
  if (found == values_.end() || found->second.empty()) return std::nullopt;
  return found->second.back();
}

std::vector<std::string> Arguments::Values(std::string_view name) const {
  const auto found = values_.find(std::string(name));
  return found == values_.end() ? std::vector<std::string>{} : found->second;
}

std::string Arguments::DirectoryPath() const {
  if (const std::optional<std::string> given = Value(kDirectoryOption.name)) return *given;
  std::string location;
  std::string error;
  if (dir::HostDirectoryLocation(&location, &error)) return location;
  // Every command asks for the location before it does anything: a node file that cannot
  // be read ends it here, named, rather than sending it to the default path.
  (void)std::fprintf(stderr, "tarne-admin: cannot tell where the directory is: %s\n",
                     error.c_str());
  std::exit(kExitFailure);
}

std::optional<OlvaUUID> ParseUuidArgument(std::string_view text) {
  if (text == TARNE_UUID_SELF_NAME) return dir::kSelfMarker;
  if (text == TARNE_UUID_NULL_NAME) return dir::kNullUuid;
  return dir::UuidFromText(text);
}

std::optional<uint64_t> ParseNumber(std::string_view text, uint64_t maximum) {
  uint64_t value = 0;
  const char *end = text.data() + text.size();
  int base = 10;
  const char *begin = text.data();
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    begin += 2;
  }
  const auto [last, failure] = std::from_chars(begin, end, value, base);
  if (text.empty() || failure != std::errc() || last != end || value > maximum) {
    return std::nullopt;
  }
  return value;
}

}  // namespace olva::admin
