// tarne-admin put: adds one entry, its payload from a file, standard input or field values.
#include <cstdio>
#include <vector>

#include "admin_arguments.h"
#include "admin_commands.h"
#include "admin_directory.h"
#include "client/tarne_status_codes.h"
#include "convert/field_codec.h"
#include "directory/uuid_util.h"
#include "tables/entry_types.h"
#include "tables/schemas.h"

namespace olva::admin {
namespace {

constexpr OptionSpec kPutOptions[] = {
    {"uuid", true, false},
    {"owner", true, false},
    {"type", true, false},
    {"revision", true, false},
    {"cluster", true, false},
    {"flag", true, false},
    {"min-host-version", true, false},
    {"file", true, false},
};
constexpr uint8_t kHasMinHostVersion = 0x80;
constexpr uint64_t kMaxPayload = UINT32_MAX - sizeof(TarneEntry);

const Command &PutCommand() {
  return CommandNamed("put");
}

// A type number (1 to 127) or a type name such as NODE.
std::optional<uint8_t> ParseType(const std::string &text) {
  if (const std::optional<uint64_t> number = ParseNumber(text, dir::kTypeMask)) {
    if (*number == 0) return std::nullopt;
    return static_cast<uint8_t>(*number);
  }
  return EntryType_FromName(text.c_str());
}

bool ReadStream(std::FILE *stream, std::vector<uint8_t> *payload) {
  uint8_t chunk[1 << 16];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, stream)) != 0) {
    payload->insert(payload->end(), chunk, chunk + got);
    if (payload->size() > kMaxPayload) return false;
  }
  return std::ferror(stream) == 0;
}

// The payload from the field values, the file or standard input; the exit status on failure.
std::optional<int> ReadPayload(const Arguments &arguments, uint8_t type,
                               std::vector<uint8_t> *payload) {
  const std::vector<std::string> &fields = arguments.Positional();
  if (!fields.empty()) {
    if (arguments.Has("file"))
      return UsageError(PutCommand(), "--file and field values both given");
    const char *schema = Schema_NameForType(type);
    const std::vector<std::string_view> assignments(fields.begin(), fields.end());
    std::string error;
    const PEK_ReturnStatus status =
        OlvaFields_Encode(TarneSchemaDirectory, schema, assignments, payload, &error);
    if (status == TARNE_STATUS_SUCCESS) return std::nullopt;
    if (status == TARNE_STATUS_NOT_FOUND) {
      (void)std::fprintf(stderr, "tarne-admin: type %u has no schema (%s) to encode fields with\n",
                         type, schema);
      return kExitFailure;
    }
    if (status == TARNE_STATUS_BAD_PARAMETER) return UsageError(PutCommand(), error);
    (void)std::fprintf(stderr, "tarne-admin: cannot encode the fields: %s\n", error.c_str());
    return kExitFailure;
  }
  if (const std::optional<std::string> file = arguments.Value("file")) {
    std::FILE *stream = std::fopen(file->c_str(), "rb");
    if (stream == nullptr) {
      std::perror(("tarne-admin: " + *file).c_str());
      return kExitFailure;
    }
    const bool read = ReadStream(stream, payload);
    (void)std::fclose(stream);
    if (!read) {
      (void)std::fprintf(stderr, "tarne-admin: cannot read %s whole\n", file->c_str());
      return kExitFailure;
    }
    return std::nullopt;
  }
  if (!ReadStream(stdin, payload)) {
    (void)std::fputs("tarne-admin: cannot read standard input whole\n", stderr);
    return kExitFailure;
  }
  return std::nullopt;
}

}  // namespace

int RunPut(std::span<char *const> words) {
  std::string error;
  const std::optional<Arguments> arguments = Arguments::Parse(words, kPutOptions, &error);
  if (!arguments) return UsageError(PutCommand(), error);

  const std::optional<std::string> uuidText = arguments->Value("uuid");
  const std::optional<std::string> typeText = arguments->Value("type");
  if (!uuidText || !typeText) return UsageError(PutCommand(), "--uuid and --type are required");
  const std::optional<OlvaUUID> uuid = dir::UuidFromText(*uuidText);
  if (!uuid) return UsageError(PutCommand(), "bad UUID " + *uuidText);
  const std::optional<OlvaUUID> owner =
      ParseUuidArgument(arguments->Value("owner").value_or(TARNE_UUID_SELF_NAME));
  if (!owner) return UsageError(PutCommand(), "bad owner UUID " + *arguments->Value("owner"));
  const std::optional<uint8_t> type = ParseType(*typeText);
  if (!type) return UsageError(PutCommand(), "bad type " + *typeText);
  std::optional<uint64_t> revision;
  if (const std::optional<std::string> text = arguments->Value("revision")) {
    revision = ParseNumber(*text, UINT64_MAX);
    if (!revision) return UsageError(PutCommand(), "bad revision " + *text);
  }
  const std::optional<OlvaUUID> cluster =
      ParseUuidArgument(arguments->Value("cluster").value_or(TARNE_UUID_NULL_NAME));
  if (!cluster) return UsageError(PutCommand(), "bad cluster UUID " + *arguments->Value("cluster"));
  const std::optional<uint64_t> flag = ParseNumber(arguments->Value("flag").value_or("0"), 0xff);
  if (!flag) return UsageError(PutCommand(), "bad flag " + *arguments->Value("flag"));
  std::optional<uint64_t> minHostVersion;
  if (const std::optional<std::string> text = arguments->Value("min-host-version")) {
    minHostVersion = ParseNumber(*text, 0xff);
    if (!minHostVersion) return UsageError(PutCommand(), "bad minimum host version " + *text);
  }

  std::vector<uint8_t> payload;
  if (const std::optional<int> failed = ReadPayload(*arguments, *type, &payload)) return *failed;
  if (payload.size() > kMaxPayload) {
    (void)std::fputs("tarne-admin: the payload does not fit an entry\n", stderr);
    return kExitFailure;
  }

  std::optional<OpenDirectory> directory = OpenExistingDirectory(arguments->DirectoryPath());
  if (!directory) return kExitFailure;
  const std::optional<OlvaUUID> target = ServerCluster(directory->info, *cluster);
  if (!target) return kExitFailure;

  if (payload.size() > directory->store->MaxPayload()) {
    (void)std::fprintf(stderr,
                       "tarne-admin: the payload of %zu bytes is larger than the directory's "
                       "maximum of %llu\n",
                       payload.size(),
                       static_cast<unsigned long long>(directory->store->MaxPayload()));
    return kExitFailure;
  }

  TarneEntry header{};
  header.uuid = *uuid;
  header.owner = *owner;
  header.revision = revision.value_or(0);
  header.type = static_cast<uint8_t>(*type | (minHostVersion ? kHasMinHostVersion : 0));
  header.flag = static_cast<uint8_t>(*flag);
  header.minHostVersion = static_cast<uint8_t>(minHostVersion.value_or(0));
  header.valueLen = static_cast<uint32_t>(payload.size());
  const PEK_ReturnStatus status =
      WriteEntry(*directory, header, payload, *target, !revision.has_value());
  return status == TARNE_STATUS_SUCCESS ? kExitSuccess : kExitFailure;
}

}  // namespace olva::admin
