// make-test-dump: writes a dump header file and a dump file of realistic entries for the
// readdump tests and benchmarks, optionally damaged in the ways a reader must survive.
//
//   make-test-dump HEADER DUMP [options]
//
// Entries are a deterministic mix (by --seed) of the types a cluster directory holds most:
// objects (expressions), disks and their usage and status, health, nodes, host names and names,
// policies, and a few types without a schema. Payloads of schema types are encoded with the
// library's field codec from the schema tables, so they are laid out as the converter reads them.
#include <zlib.h>

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "client/tarne_client.h"
#include "content/schemas.h"
#include "directory/expr_writer.h"
#include "dump/dump_header.h"
#include "field_codec.h"

namespace {

constexpr const char *kUsage =
    "usage: make-test-dump HEADER DUMP [options]\n"
    "  --entries N        entries to write (default 10)\n"
    "  --seed S           pseudo-random seed (default 1)\n"
    "  --types T,T,...    entry types to cycle through instead of the realistic mix\n"
    "  --empty-every K    every K-th entry has no payload\n"
    "  --plain            dump file uncompressed (default gzip)\n"
    "  --gzip-header      header file gzip-compressed (default plain)\n"
    "  --announce N       numentries in the header (default: the entries written)\n"
    "  --magic HEX        magic number of the header\n"
    "  --major N, --minor N  versions of the header (default 0 and 1)\n"
    "  --header-bytes K   keep only the first K bytes of the 32-byte header record\n"
    "  --no-header        write no header file\n"
    "  --claim LEN        after the entries, one entry header claiming LEN payload bytes\n"
    "  --tail B           payload bytes written after that header (default 0)\n"
    "  --cut-at K         keep only the first K bytes of the dump stream\n"
    "  --garbage N        the dump stream is N pseudo-random bytes instead of entries\n";

// splitmix64: small, fast, and the same sequence everywhere.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  uint64_t Below(uint64_t bound) { return Next() % bound; }
  OlvaUUID Uuid() {
    OlvaUUID uuid;
    const uint64_t a = Next();
    const uint64_t b = Next();
    std::memcpy(uuid.bytes, &a, 8);
    std::memcpy(uuid.bytes + 8, &b, 8);
    return uuid;
  }

 private:
  uint64_t state_;
};

struct Options {
  const char *headerPath = nullptr;
  const char *dumpPath = nullptr;
  uint64_t entries = 10;
  uint64_t seed = 1;
  std::vector<uint8_t> types;
  uint64_t emptyEvery = 0;
  bool plain = false;
  bool gzipHeader = false;
  bool announceSet = false;
  int32_t announce = 0;
  uint64_t magic = kDumpMagic;
  int32_t major = kDumpMajorVersion;
  int32_t minor = kDumpMinorVersion;
  uint32_t headerBytes = sizeof(DumpHeader);
  bool noHeader = false;
  bool claimSet = false;
  uint32_t claim = 0;
  uint64_t tail = 0;
  bool cutSet = false;
  uint64_t cutAt = 0;
  bool garbageSet = false;
  uint64_t garbage = 0;
};

bool ParseUnsigned(const char *text, uint64_t *value, int base = 10) {
  char *end = nullptr;
  *value = std::strtoull(text, &end, base);
  return *text != '\0' && *end == '\0';
}

bool ParseOptions(int argc, char **argv, Options *options) {
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view word = argv[i];
    const auto flag = [&](std::string_view name) { return word == name; };
    if (flag("--plain")) {
      options->plain = true;
      continue;
    }
    if (flag("--gzip-header")) {
      options->gzipHeader = true;
      continue;
    }
    if (flag("--no-header")) {
      options->noHeader = true;
      continue;
    }
    if (word.starts_with("--")) {
      if (i + 1 >= argc) return false;
      const char *value = argv[++i];
      uint64_t number = 0;
      if (flag("--types")) {
        std::string list = value;
        for (size_t at = 0; at <= list.size();) {
          const size_t comma = std::min(list.find(',', at), list.size());
          if (!ParseUnsigned(list.substr(at, comma - at).c_str(), &number) || number > 127) {
            return false;
          }
          options->types.push_back(static_cast<uint8_t>(number));
          at = comma + 1;
        }
        continue;
      }
      if (flag("--magic")) {
        if (!ParseUnsigned(value, &options->magic, 16)) return false;
        continue;
      }
      if (!ParseUnsigned(value, &number)) return false;
      if (flag("--entries")) {
        options->entries = number;
      } else if (flag("--seed")) {
        options->seed = number;
      } else if (flag("--empty-every")) {
        options->emptyEvery = number;
      } else if (flag("--announce")) {
        options->announceSet = true;
        options->announce = static_cast<int32_t>(number);
      } else if (flag("--major")) {
        options->major = static_cast<int32_t>(number);
      } else if (flag("--minor")) {
        options->minor = static_cast<int32_t>(number);
      } else if (flag("--header-bytes") && number <= sizeof(DumpHeader)) {
        options->headerBytes = static_cast<uint32_t>(number);
      } else if (flag("--claim") && number <= UINT32_MAX) {
        options->claimSet = true;
        options->claim = static_cast<uint32_t>(number);
      } else if (flag("--tail")) {
        options->tail = number;
      } else if (flag("--cut-at")) {
        options->cutSet = true;
        options->cutAt = number;
      } else if (flag("--garbage")) {
        options->garbageSet = true;
        options->garbage = number;
      } else {
        return false;
      }
      continue;
    }
    if (positional == 0) {
      options->headerPath = argv[i];
    } else if (positional == 1) {
      options->dumpPath = argv[i];
    } else {
      return false;
    }
    ++positional;
  }
  return positional == 2;
}

// The dump stream, gzip or plain, that stops taking bytes at the cut.
class DumpSink {
 public:
  bool Open(const Options &options) {
    plain_ = options.plain;
    limit_ = options.cutSet ? options.cutAt : UINT64_MAX;
    if (plain_) {
      file_ = std::fopen(options.dumpPath, "wb");
      return file_ != nullptr;
    }
    gz_ = gzopen(options.dumpPath, "wb6");
    if (gz_ != nullptr) gzbuffer(gz_, 256 * 1024);
    return gz_ != nullptr;
  }
  bool Write(const void *bytes, uint64_t length) {
    const uint64_t kept = std::min(length, limit_ - written_);
    written_ += kept;
    const auto *at = static_cast<const uint8_t *>(bytes);
    for (uint64_t done = 0; done < kept;) {
      const auto piece = static_cast<unsigned>(std::min<uint64_t>(kept - done, 1u << 30));
      const bool ok = plain_ ? std::fwrite(at + done, 1, piece, file_) == piece
                             : gzwrite(gz_, at + done, piece) == static_cast<int>(piece);
      if (!ok) return false;
      done += piece;
    }
    return true;
  }
  bool Close() {
    if (plain_) return std::fclose(file_) == 0;
    return gzclose(gz_) == Z_OK;
  }

 private:
  bool plain_ = false;
  FILE *file_ = nullptr;
  gzFile gz_ = nullptr;
  uint64_t limit_ = 0;
  uint64_t written_ = 0;
};

const TarneFieldDescriptor *FieldsOf(const char *schemaName) {
  for (const TarneSchemaDirEntry *entry = TarneSchemaDirectory; entry->name != nullptr; ++entry) {
    if (std::strcmp(entry->name, schemaName) == 0) return entry->fields;
  }
  return nullptr;
}

std::string UuidText(const OlvaUUID &uuid) {
  char text[37];
  const uint8_t *b = uuid.bytes;
  std::snprintf(text, sizeof text,
                "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0], b[1],
                b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                b[15]);
  return text;
}

// Values shaped like what a running cluster stores: capacities in bytes, small counters and
// versions, identifiers, names with the odd character that needs escaping.
class ValueMaker {
 public:
  explicit ValueMaker(Random &random) : random_(random) {}

  std::string For(uint64_t kind) {
    switch (kind) {
      case 0:  // unsigned 64: a magnitude between units and terabytes
        return std::to_string(random_.Below(uint64_t{1} << (random_.Below(7) * 7)));
      case 1:
        return std::to_string(random_.Below(random_.Below(4) == 0 ? 100000 : 64));
      case 2:
        return random_.Below(3) == 0 ? "true" : "false";
      case 3:
      case 29: {
        std::string list;
        const uint64_t count = random_.Below(4);
        for (uint64_t i = 0; i < count; ++i) {
          if (i > 0) list += ',';
          list += kind == 3 ? UuidText(random_.Uuid()) : Ipv4();
        }
        return list;
      }
      case 4:
        return UuidText(random_.Uuid());
      case 10:
        return "fe80::" + Hex(random_.Below(0x10000)) + ":" + Hex(random_.Below(0x10000));
      case 11:
        return Ipv4();
      case 21:
      case 22:
      case 23:
        return Name();
      case 24:
        return std::to_string(static_cast<int64_t>(random_.Below(2000000)) - 1000000);
      default:
        return "0";
    }
  }

 private:
  static std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%" PRIx64, value);
    return text;
  }
  std::string Ipv4() {
    return "10." + std::to_string(random_.Below(256)) + "." + std::to_string(random_.Below(256)) +
           "." + std::to_string(1 + random_.Below(254));
  }
  std::string Name() {
    static constexpr const char *kStems[] = {"vol", "dev-0000001", "node-lab", "vol-ssd-0",
                                             "nic", "policy",      "pool",     "rack"};
    std::string name = kStems[random_.Below(std::size(kStems))];
    name += '-' + std::to_string(random_.Below(100000));
    if (random_.Below(50) == 0) name += " \"quoted\\path\"\ttab";
    return name;
  }

  Random &random_;
};

// Directory objects are expressions: a version, a few sizes, the component UUIDs and a nested
// policy of key/value strings.
std::vector<uint8_t> ObjectExpression(Random &random) {
  olva::expr::ExprWriter policy;
  const uint64_t rules = 1 + random.Below(4);
  for (uint64_t i = 0; i < rules; ++i) {
    static constexpr const char *kKeys[] = {"failuresToleratedCount", "spreadWidth",
                                            "reservedCapacityPart", "cacheReserveRate"};
    policy.AddString(kKeys[random.Below(std::size(kKeys))]);
    policy.AddU32(static_cast<uint32_t>(random.Below(8)));
  }
  const std::vector<uint8_t> nested = policy.Finish().value_or(std::vector<uint8_t>{});

  std::vector<OlvaUUID> components(1 + random.Below(6));
  for (OlvaUUID &uuid : components) uuid = random.Uuid();
  olva::expr::ExprWriter object;
  object.AddU32(static_cast<uint32_t>(1 + random.Below(20)))
      .AddU64(random.Below(uint64_t{1} << 40))
      .AddUuids(components)
      .AddExpression(nested);
  return object.Finish().value_or(std::vector<uint8_t>{});
}

std::vector<uint8_t> KeyValueExpression(Random &random) {
  olva::expr::ExprWriter list;
  const uint64_t pairs = 1 + random.Below(6);
  for (uint64_t i = 0; i < pairs; ++i) {
    list.AddString("key" + std::to_string(random.Below(64)));
    list.AddString("value-" + std::to_string(random.Below(100000)));
  }
  return list.Finish().value_or(std::vector<uint8_t>{});
}

std::vector<uint8_t> RandomBytes(Random &random, uint64_t count) {
  std::vector<uint8_t> bytes(count);
  for (uint8_t &byte : bytes) byte = static_cast<uint8_t>(random.Next());
  return bytes;
}

// The realistic mix: type and weight out of 100.
struct TypeWeight {
  uint8_t type;
  uint8_t weight;
};
constexpr TypeWeight kMix[] = {
    {13, 30},  // HUX_OBJECT
    {4, 10},   // DISK
    {15, 10},  // DISK_USAGE
    {16, 8},   // DISK_STATUS
    {7, 8},    // HEALTH_STATUS
    {20, 6},   // HUX_NAME
    {29, 4},   // HOSTNAME
    {3, 4},    // NODE
    {27, 4},   // NODE_USAGE
    {21, 4},   // POLICY
    {32, 3},   // NODE_FAULT_DOMAIN
    {10, 3},   // TIME_REFERENCE
    {18, 3},   // SYMBOL (no schema)
    {14, 3},   // SUB_CLUSTER_MEMBERSHIP (no schema)
};
static_assert([] {
  int total = 0;
  for (const TypeWeight &row : kMix) total += row.weight;
  return total == 100;
}());

uint8_t PickType(Random &random) {
  uint64_t roll = random.Below(100);
  for (const TypeWeight &row : kMix) {
    if (roll < row.weight) return row.type;
    roll -= row.weight;
  }
  return kMix[0].type;
}

bool MakePayload(Random &random, uint8_t type, std::vector<uint8_t> *payload) {
  const char *schema = Schema_NameForType(type);
  if (std::strcmp(schema, "HuxStyle") == 0) {
    *payload = ObjectExpression(random);
    return true;
  }
  if (std::strcmp(schema, "KeyValueListStyle") == 0) {
    *payload = KeyValueExpression(random);
    return true;
  }
  const TarneFieldDescriptor *fields = FieldsOf(schema);
  if (fields == nullptr) {
    *payload = RandomBytes(random, 8 + random.Below(56));
    return true;
  }
  ValueMaker values(random);
  std::vector<std::string> texts;
  for (const TarneFieldDescriptor *field = fields; field->name != nullptr; ++field) {
    texts.push_back(std::string(field->name) + "=" + values.For(field->kind));
  }
  const std::vector<std::string_view> assignments(texts.begin(), texts.end());
  std::string error;
  if (OlvaFields_Encode(TarneSchemaDirectory, schema, assignments, payload, &error) != 0) {
    std::fprintf(stderr, "make-test-dump: cannot encode %s: %s\n", schema, error.c_str());
    return false;
  }
  return true;
}

bool WriteEntries(const Options &options, DumpSink &sink, uint64_t *written) {
  Random random(options.seed);
  std::vector<OlvaUUID> owners(8);
  for (OlvaUUID &owner : owners) owner = random.Uuid();

  std::vector<uint8_t> payload;
  for (uint64_t i = 0; i < options.entries; ++i) {
    const uint8_t type =
        options.types.empty() ? PickType(random) : options.types[i % options.types.size()];
    TarneEntry header{};
    header.uuid = random.Uuid();
    header.owner = owners[random.Below(owners.size())];
    header.revision = 1 + random.Below(random.Below(10) == 0 ? 100000 : 20);
    header.type = type;
    if (random.Below(4) == 0) {
      header.type |= 0x80;
      header.minHostVersion = static_cast<uint8_t>(1 + random.Below(12));
    }
    header.flag = random.Below(20) == 0 ? 0x00 : 0x02;
    const uint64_t digest[2] = {random.Next(), random.Next()};
    std::memcpy(header.md5sum, digest, sizeof header.md5sum);

    const bool empty = options.emptyEvery != 0 && (i + 1) % options.emptyEvery == 0;
    payload.clear();
    if (!empty && !MakePayload(random, type & 0x7f, &payload)) return false;
    header.valueLen = static_cast<uint32_t>(payload.size());
    if (!sink.Write(&header, sizeof header) || !sink.Write(payload.data(), payload.size())) {
      return false;
    }
  }
  *written = options.entries;
  return true;
}

bool WriteDump(const Options &options, uint64_t *entries) {
  DumpSink sink;
  if (!sink.Open(options)) return false;
  bool ok = true;
  *entries = 0;
  if (options.garbageSet) {
    Random random(options.seed);
    const std::vector<uint8_t> bytes = RandomBytes(random, options.garbage);
    ok = sink.Write(bytes.data(), bytes.size());
  } else {
    ok = WriteEntries(options, sink, entries);
    if (ok && options.claimSet) {
      TarneEntry header{};
      header.type = 4;
      header.flag = 0x02;
      header.valueLen = options.claim;
      Random random(options.seed + 1);
      const std::vector<uint8_t> tail = RandomBytes(random, options.tail);
      ok = sink.Write(&header, sizeof header) && sink.Write(tail.data(), tail.size());
    }
  }
  return sink.Close() && ok;
}

bool WriteHeader(const Options &options, uint64_t entries) {
  if (options.noHeader) return true;
  DumpHeader header{};
  header.magic = options.magic;
  header.minor = options.minor;
  header.major = options.major;
  header.numentries = options.announceSet ? options.announce : static_cast<int32_t>(entries);
  header.starttime = 1764900000;
  header.endtime = 1764900042;
  if (options.gzipHeader) {
    gzFile file = gzopen(options.headerPath, "wb");
    if (file == nullptr) return false;
    const bool ok =
        gzwrite(file, &header, options.headerBytes) == static_cast<int>(options.headerBytes);
    return gzclose(file) == Z_OK && ok;
  }
  FILE *file = std::fopen(options.headerPath, "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(&header, 1, options.headerBytes, file) == options.headerBytes;
  return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char **argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  uint64_t entries = 0;
  if (!WriteDump(options, &entries)) {
    std::fprintf(stderr, "make-test-dump: cannot write %s\n", options.dumpPath);
    return 1;
  }
  if (!WriteHeader(options, entries)) {
    std::fprintf(stderr, "make-test-dump: cannot write %s\n", options.headerPath);
    return 1;
  }
  return 0;
}
