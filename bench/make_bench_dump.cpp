// make-bench-dump HEADER DUMP [--entries N] [--seed N]: a dump header file and a gzip dump file
// of N realistic entries (default 10): a deterministic mix by the seed (default 1) of the
// types a directory holds most, payloads encoded from the schema tables, for readdump.sh.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "client/tarne_client.h"
#include "convert/field_codec.h"
#include "directory/expr_writer.h"
#include "record/uuid.h"
#include "tables/dump_header.h"
#include "tables/schemas.h"

namespace {

using Bytes = std::vector<uint8_t>;

// splitmix64: small, fast, and the same sequence everywhere.
struct Random {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  uint64_t Below(uint64_t bound) { return Next() % bound; }
  OlvaUUID Uuid() {
    OlvaUUID uuid;
    const uint64_t halves[2] = {Next(), Next()};
    std::memcpy(uuid.bytes, halves, 16);
    return uuid;
  }
  Bytes Of(uint64_t count) {
    Bytes bytes(count);
    for (uint8_t &byte : bytes) byte = static_cast<uint8_t>(Next());
    return bytes;
  }
};

std::map<std::string, uint64_t> options = {{"entries", 10}, {"seed", 1}};

std::string UuidText(const OlvaUUID &uuid) {
  char text[40];
  (void)std::snprintf(text, sizeof text, UUID_TEXT_FORMAT, UUID_TEXT_ARGS(uuid));
  return text;
}

std::string Hex(uint64_t value) {
  char text[24];
  (void)std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
  return text;
}

std::string Ipv4(Random &random) {
  return "10." + std::to_string(random.Below(256)) + "." + std::to_string(random.Below(256)) + "." +
         std::to_string(1 + random.Below(254));
}

// A value shaped like what a running cluster stores, for a field of the codec's `kind`.
std::string Value(Random &random, uint64_t kind) {
  static constexpr const char *kStems[] = {"vol", "dev-0000001", "node-lab", "vol-ssd-0",
                                           "nic", "policy",      "pool",     "rack"};
  std::string text;
  switch (kind) {
    case 0:  // a magnitude between units and terabytes
      return std::to_string(random.Below(uint64_t{1} << (random.Below(7) * 7)));
    case 1:
      return std::to_string(random.Below(random.Below(4) == 0 ? 100000 : 64));
    case 2:
      return random.Below(3) == 0 ? "true" : "false";
    case 3:
    case 29:
      for (uint64_t i = 0, count = random.Below(4); i < count; ++i) {
        if (i > 0) text += ',';
        text += kind == 3 ? UuidText(random.Uuid()) : Ipv4(random);
      }
      return text;
    case 4:
      return UuidText(random.Uuid());
    case 10:
      return "fe80::" + Hex(random.Below(0x10000)) + ":" + Hex(random.Below(0x10000));
    case 11:
      return Ipv4(random);
    case 21:
    case 22:
    case 23:
      text = kStems[random.Below(std::size(kStems))];
      text += '-' + std::to_string(random.Below(100000));
      if (random.Below(50) == 0) text += " \"quoted\\path\"\ttab";
      return text;
    case 24:
      return std::to_string(static_cast<int64_t>(random.Below(2000000)) - 1000000);
    default:
      return "0";
  }
}

Bytes Payload(Random &random, uint8_t type) {
  const char *schema = Schema_NameForType(type);
  if (std::strcmp(schema, "HuxStyle") == 0) {  // a version, sizes, components and a policy
    static constexpr const char *kKeys[] = {"failuresToleratedCount", "spreadWidth",
                                            "reservedCapacityPart", "cacheReserveRate"};
    olva::expr::ExprWriter policy;
    for (uint64_t i = 0, rules = 1 + random.Below(4); i < rules; ++i) {
      policy.AddString(kKeys[random.Below(std::size(kKeys))]);
      policy.AddU32(static_cast<uint32_t>(random.Below(8)));
    }
    const Bytes nested = policy.Finish().value_or(Bytes{});
    std::vector<OlvaUUID> components(1 + random.Below(6));
    for (OlvaUUID &uuid : components) uuid = random.Uuid();
    olva::expr::ExprWriter object;
    object.AddU32(static_cast<uint32_t>(1 + random.Below(20)))
        .AddU64(random.Below(uint64_t{1} << 40))
        .AddUuids(components)
        .AddExpression(nested);
    return object.Finish().value_or(Bytes{});
  }
  if (std::strcmp(schema, "KeyValueListStyle") == 0) {
    olva::expr::ExprWriter list;
    for (uint64_t i = 0, pairs = 1 + random.Below(6); i < pairs; ++i) {
      list.AddString("key" + std::to_string(random.Below(64)));
      list.AddString("value-" + std::to_string(random.Below(100000)));
    }
    return list.Finish().value_or(Bytes{});
  }
  const TarneSchemaDirEntry *entry = TarneSchemaDirectory;
  while (entry->name != nullptr && std::strcmp(entry->name, schema) != 0) ++entry;
  if (entry->name == nullptr) return random.Of(8 + random.Below(56));
  std::vector<std::string> texts;
  for (const TarneFieldDescriptor *field = entry->fields; field->name != nullptr; ++field) {
    texts.push_back(std::string(field->name) + "=" + Value(random, field->kind));
  }
  Bytes payload;
  std::string error;
  const std::vector<std::string_view> assignments(texts.begin(), texts.end());
  if (OlvaFields_Encode(TarneSchemaDirectory, schema, assignments, &payload, &error) != 0) {
    (void)std::fprintf(stderr, "make-bench-dump: cannot encode %s: %s\n", schema, error.c_str());
    std::exit(1);
  }
  return payload;
}

// The realistic mix: type and weight out of 100.
constexpr uint8_t kMix[][2] = {{13, 30}, {4, 10}, {15, 10}, {16, 8}, {7, 8},  {20, 6}, {29, 4},
                               {3, 4},   {27, 4}, {21, 4},  {32, 3}, {10, 3}, {18, 3}, {14, 3}};

// The dump's bytes, with its entry count.
Bytes DumpBytes(uint64_t *count) {
  Random random{options["seed"]};
  Bytes dump;
  const auto append = [&](const TarneEntry &header, const Bytes &payload) {
    const auto *at = reinterpret_cast<const uint8_t *>(&header);
    dump.insert(dump.end(), at, at + sizeof header);
    dump.insert(dump.end(), payload.begin(), payload.end());
  };
  OlvaUUID owners[8];
  for (OlvaUUID &owner : owners) owner = random.Uuid();
  for (*count = 0; *count < options["entries"]; ++*count) {
    TarneEntry header{};
    uint64_t roll = random.Below(100), row = 0;
    for (; roll >= kMix[row][1]; ++row) roll -= kMix[row][1];
    header.type = kMix[row][0];
    header.uuid = random.Uuid();
    header.owner = owners[random.Below(std::size(owners))];
    header.revision = 1 + random.Below(random.Below(10) == 0 ? 100000 : 20);
    const uint8_t type = header.type;
    if (random.Below(4) == 0) {
      header.type |= 0x80;
      header.minHostVersion = static_cast<uint8_t>(1 + random.Below(12));
    }
    header.flag = random.Below(20) == 0 ? 0x00 : 0x02;
    const uint64_t digest[2] = {random.Next(), random.Next()};
    std::memcpy(header.md5sum, digest, sizeof header.md5sum);
    const Bytes payload = Payload(random, type);
    header.valueLen = static_cast<uint32_t>(payload.size());
    append(header, payload);
  }
  return dump;
}

bool Write(const char *path, const Bytes &bytes, bool gzip) {
  gzFile file = gzopen(path, gzip ? "wb6" : "wbT");  // T: written as it is
  const auto size = static_cast<unsigned>(bytes.size());
  const bool ok = file != nullptr && gzwrite(file, bytes.data(), size) == static_cast<int>(size);
  return file != nullptr && gzclose(file) == Z_OK && ok;
}

}  // namespace

int main(int argc, char **argv) {
  for (int i = 3; i < argc; i += 2) {
    const std::string name = argv[i] + std::min<size_t>(2, std::strlen(argv[i]));
    if (options.count(name) == 0 || i + 1 >= argc) {
      (void)std::fprintf(stderr, "make-bench-dump: bad option %s (see the source)\n", argv[i]);
      return 2;
    }
    options[name] = std::strtoull(argv[i + 1], nullptr, 10);
  }
  if (argc < 3) return 2;
  uint64_t count = 0;
  const Bytes dump = DumpBytes(&count);
  DumpHeader header{kDumpMagic, 0, 1, 0, static_cast<int32_t>(count), 1764900000, 1764900042};
  const auto *at = reinterpret_cast<const uint8_t *>(&header);
  if (!Write(argv[2], dump, true) || !Write(argv[1], Bytes(at, at + sizeof header), false)) {
    (void)std::fprintf(stderr, "make-bench-dump: cannot write %s or %s\n", argv[2], argv[1]);
    return 1;
  }
  return 0;
}
