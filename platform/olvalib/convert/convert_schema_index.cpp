#include "convert_schema_index.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <mutex>

#include "convert_escape.h"
#include "convert_sink.h"

namespace olva {
namespace {

// Eight bytes a step: a conversion looks its schema up by name, and a byte-wise hash of
// names twenty letters long was a tenth of the lookup's caller.
uint64_t HashName(const char *name) {
  constexpr uint64_t kMultiplier = 0x9e3779b97f4a7c15ULL;
  const size_t length = std::strlen(name);
  uint64_t hash = length;
  size_t at = 0;
  for (; length - at >= 8; at += 8) {
    uint64_t word;
    std::memcpy(&word, name + at, 8);
    hash = (hash ^ word) * kMultiplier;
    hash ^= hash >> 29;
  }
  uint64_t tail = 0;
  std::memcpy(&tail, name + at, length - at);
  hash = (hash ^ tail) * kMultiplier;
  return hash ^ hash >> 32;
}

std::string JsonKeyText(const char *name) {
  const auto *bytes = reinterpret_cast<const uint8_t *>(name);
  const size_t length = std::strlen(name);
  TextSink measure(nullptr, 0);
  PutJsonString(measure, bytes, length);
  std::string key(measure.Needed(), '\0');
  TextSink sink(key.data(), static_cast<uint32_t>(key.size()));
  PutJsonString(sink, bytes, length);
  key.back() = ':';  // in place of the NUL the sink kept room for
  return key;
}

PreparedSchema Prepare(const TarneSchemaDirEntry &entry) {
  PreparedSchema schema{&entry, entry.fields == nullptr, true, 0, {}, {}};
  if (schema.isStyle) return schema;
  // The table ends at the all-zero descriptor; a field without a name cannot be shown.
  for (const TarneFieldDescriptor *d = entry.fields; d->name != nullptr; ++d) {
    size_t width = 0;
    if (!KindWidth(d->kind, &width) || d->offset > UINT64_MAX - width) {
      schema.usable = false;
      continue;
    }
    schema.extent = std::max<uint64_t>(schema.extent, d->offset + width);
    PreparedField field{static_cast<FieldKind>(d->kind), d->offset, 0, 0, 0, 0};
    const std::string json = JsonKeyText(d->name);
    field.jsonKey = static_cast<uint32_t>(schema.keys.size());
    field.jsonKeyLength = static_cast<uint32_t>(json.size());
    schema.keys += json;
    field.plainKey = static_cast<uint32_t>(schema.keys.size());
    field.plainKeyLength = static_cast<uint32_t>(std::strlen(d->name) + 1);
    schema.keys.append(d->name).push_back('=');
    schema.fields.push_back(field);
  }
  schema.keys.append(kKeyPadding, '\0');
  return schema;
}

// Open addressing over prepared schemas; at most half full, so every probe ends at a hole.
class DirectoryIndex {
 public:
  explicit DirectoryIndex(const TarneSchemaDirEntry *directory) : directory_(directory) {
    size_t count = 0;
    while (directory[count].name != nullptr || directory[count].fields != nullptr) ++count;
    slots_.assign(std::bit_ceil(2 * count + 2), kHole);
    mask_ = slots_.size() - 1;
    schemas_.reserve(count);
    for (size_t position = 0; position < count; ++position) {
      const char *name = directory[position].name;
      if (name == nullptr) continue;
      size_t slot = HashName(name) & mask_;
      bool duplicate = false;
      for (; slots_[slot] != kHole; slot = (slot + 1) & mask_) {
        if (std::strcmp(schemas_[slots_[slot]].entry->name, name) == 0) duplicate = true;
      }
      // A walk would stop at the first entry of a name, so later ones stay unreachable.
      if (duplicate) continue;
      slots_[slot] = static_cast<uint32_t>(schemas_.size());
      schemas_.push_back(Prepare(directory[position]));
    }
  }

  const TarneSchemaDirEntry *directory() const { return directory_; }

  const PreparedSchema *Find(const char *name) const {
    for (size_t slot = HashName(name) & mask_; slots_[slot] != kHole; slot = (slot + 1) & mask_) {
      const PreparedSchema &schema = schemas_[slots_[slot]];
      if (std::strcmp(schema.entry->name, name) == 0) return &schema;
    }
    return nullptr;
  }

 private:
  static constexpr uint32_t kHole = UINT32_MAX;
  const TarneSchemaDirEntry *directory_;
  std::vector<PreparedSchema> schemas_;
  std::vector<uint32_t> slots_;
  size_t mask_ = 0;
};

// Indexes live as long as the process, like the directories they describe.
const DirectoryIndex &IndexFor(const TarneSchemaDirEntry *directory) {
  static std::mutex mutex;
  // Never destroyed, so that a conversion during process exit still finds its index.
  static auto *const indexes = new std::vector<std::unique_ptr<DirectoryIndex>>;
  std::lock_guard<std::mutex> lock(mutex);
  for (const auto &index : *indexes) {
    if (index->directory() == directory) return *index;
  }
  indexes->push_back(std::make_unique<DirectoryIndex>(directory));
  return *indexes->back();
}

}  // namespace

const PreparedSchema *FindSchema(const TarneSchemaDirEntry *directory, const char *name) {
  if (directory == nullptr || name == nullptr) return nullptr;
  // Nearly every call of a run names the same directory: keep its index at hand per thread.
  thread_local const DirectoryIndex *recent = nullptr;
  // And a few schemas by the address of the name they were found by: a run names a handful of
  // schemas over and over through the same constant texts. A hit is confirmed by the name
  // itself, since the caller's text at an address may change; only the hash and probe are spared.
  struct Found {
    const char *name;
    const PreparedSchema *schema;
  };
  thread_local Found found[16];
  if (recent == nullptr || recent->directory() != directory) {
    recent = &IndexFor(directory);
    for (Found &slot : found) slot = {};
  }
  Found &slot = found[(reinterpret_cast<uintptr_t>(name) >> 3) & 15];
  if (slot.name == name && std::strcmp(slot.schema->entry->name, name) == 0) return slot.schema;
  const PreparedSchema *schema = recent->Find(name);
  if (schema != nullptr) slot = {name, schema};
  return schema;
}

}  // namespace olva
