#include "directory_location.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace olva::dir {

std::string DirectoryPath() {
  const char *path = std::getenv(kDirectoryVariable);
  return path != nullptr && path[0] != '\0' ? path : kDefaultDirectoryPath;
}

bool IsClusterLocation(std::string_view location) {
  return location.starts_with("etcd://") || location.starts_with("etcds://");
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
