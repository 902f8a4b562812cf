#include "directory_location.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace olva::dir {
namespace {

std::string FromEnvironment(const char *variable, const char *fallback) {
  const char *value = std::getenv(variable);
  return value != nullptr && value[0] != '\0' ? value : fallback;
}

bool ValidEndpoint(std::string_view endpoint) {
  const size_t colon = endpoint.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  const std::string_view port = endpoint.substr(colon + 1);
  unsigned number = 0;
  const auto [last, error] = std::from_chars(port.data(), port.data() + port.size(), number);
  return error == std::errc() && last == port.data() + port.size() && number >= 1 &&
         number <= 65535;
}

}  // namespace

std::string DirectoryPath() {
  return FromEnvironment(kDirectoryVariable, kDefaultDirectoryPath);
}

std::string NodePath() {
  return FromEnvironment(kNodeVariable, kDefaultNodePath);
}

bool IsClusterLocation(std::string_view location) {
  return location.starts_with("etcd://") || location.starts_with("etcds://");
}

std::optional<ClusterLocation> ParseClusterLocation(std::string_view location) {
  ClusterLocation parsed;
  if (location.starts_with("etcds://")) {
    parsed.tls = true;
    location.remove_prefix(8);
  } else if (location.starts_with("etcd://")) {
    location.remove_prefix(7);
  } else {
    return std::nullopt;
  }
  const size_t slash = location.find('/');
  std::string_view endpoints = location.substr(0, slash);
  std::string_view prefix =
      slash == std::string_view::npos ? std::string_view() : location.substr(slash + 1);
  while (prefix.ends_with('/')) prefix.remove_suffix(1);
  if (prefix.starts_with('/')) return std::nullopt;
  parsed.prefix = prefix.empty() ? kDefaultClusterPrefix : std::string(prefix);
  if (parsed.prefix.find("//") != std::string::npos) return std::nullopt;
  if (parsed.prefix.size() > kMaxClusterPrefixBytes) return std::nullopt;
  for (;;) {
    const size_t comma = endpoints.find(',');
    const std::string_view endpoint = endpoints.substr(0, comma);
    if (!ValidEndpoint(endpoint)) return std::nullopt;
    parsed.endpoints.emplace_back(endpoint);
    if (comma == std::string_view::npos) break;
    endpoints.remove_prefix(comma + 1);
  }
  return parsed;
}

size_t BatchLimitFromEnvironment(size_t fallback, size_t maximum) {
  const char *text = std::getenv(kBatchVariable);
  if (text == nullptr) return fallback;
  size_t value = 0;
  const char *end = text + std::strlen(text);
  const auto [last, error] = std::from_chars(text, end, value);
  if (error != std::errc() || last != end || value == 0 || value > maximum) return fallback;
  return value;
}

}  // namespace olva::dir
