#include "held_entries.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace olva::dir {
namespace {

struct Registry {
  std::mutex mutex;
  std::unordered_map<const TarneEntry *, uint32_t> holds;
};

Registry &TheRegistry() {
  static Registry *registry = new Registry;  // outlives every thread that may release
  return *registry;
}

}  // namespace

TarneEntry *HoldEntry(std::span<const uint8_t> header, std::span<const uint8_t> value) {
  void *block = std::malloc(sizeof(TarneEntry) + value.size());
  if (block == nullptr) return nullptr;
  std::memcpy(block, header.data(), sizeof(TarneEntry));
  if (!value.empty()) {
    std::memcpy(static_cast<uint8_t *>(block) + sizeof(TarneEntry), value.data(), value.size());
  }
  auto *entry = static_cast<TarneEntry *>(block);
  Registry &registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.holds.emplace(entry, 1);
  return entry;
}

bool RetainIfHeld(const TarneEntry *entry) {
  Registry &registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  auto found = registry.holds.find(entry);
  if (found == registry.holds.end()) return false;
  ++found->second;
  return true;
}

void ReleaseHeld(const TarneEntry *entry) {
  Registry &registry = TheRegistry();
  {
    std::lock_guard lock(registry.mutex);
    auto found = registry.holds.find(entry);
    if (found == registry.holds.end() || --found->second != 0) return;
    registry.holds.erase(found);
  }
  std::free(const_cast<TarneEntry *>(entry));
}

}  // namespace olva::dir
