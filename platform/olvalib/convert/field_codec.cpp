#include "field_codec.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "client/tarne_status_codes.h"
#include "convert_escape.h"
#include "convert_layout.h"
#include "convert_schema_index.h"

namespace {

using olva::FieldKind;

struct Field {
  const TarneFieldDescriptor *descriptor;
  size_t width;
  bool assigned;
};

// Joins message parts by appending (GCC 12 misreads "literal" + std::string as overlapping).
std::string Message(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (const std::string_view part : parts) text.append(part);
  return text;
}

template <typename Number>
bool ParseNumber(std::string_view text, Number *value) {
  if (text.empty() || text.front() == '+') return false;
  const std::from_chars_result result =
      std::from_chars(text.data(), text.data() + text.size(), *value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Exactly the 36-character 8-4-4-4-12 form, hex digits of either case.
bool ParseUuid(std::string_view text, uint8_t *bytes) {
  if (text.size() != 36) return false;
  size_t at = 0;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) {
      if (text[at++] != '-') return false;
    }
    const int high = HexDigit(text[at]);
    const int low = HexDigit(text[at + 1]);
    if (high < 0 || low < 0) return false;
    bytes[i] = static_cast<uint8_t>(high * 16 + low);
    at += 2;
  }
  return true;
}

bool ParseAddress(std::string_view text, int family, uint8_t *bytes) {
  char copy[64];  // inet_pton wants a NUL-terminated text
  if (text.size() >= sizeof copy) return false;
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return inet_pton(family, copy, bytes) == 1;
}

// An address list entry: IPv4 stored as its IPv4-mapped IPv6 form.
bool ParseListAddress(std::string_view text, uint8_t *bytes) {
  if (ParseAddress(text, AF_INET, bytes + olva::kIpv4MappedPrefix.size())) {
    std::copy(olva::kIpv4MappedPrefix.begin(), olva::kIpv4MappedPrefix.end(), bytes);
    return true;
  }
  return ParseAddress(text, AF_INET6, bytes);
}

class Encoder {
 public:
  Encoder(const char *schemaName, std::vector<uint8_t> *payload, std::string *error)
      : schemaName_(schemaName), payload_(*payload), error_(*error) {}

  PEK_ReturnStatus Layout(const TarneFieldDescriptor *descriptors) {
    size_t fixedSize = 0;
    for (const TarneFieldDescriptor *d = descriptors; d->name != nullptr; ++d) {
      size_t width = 0;
      if (!olva::KindWidth(d->kind, &width)) {
        return Fail(Message({"field '", d->name, "' has kind ", std::to_string(d->kind),
                             ", which no payload can carry"}));
      }
      fields_.push_back(Field{d, width, false});
      fixedSize = std::max<size_t>(fixedSize, d->offset + width);
    }
    payload_.assign(fixedSize, 0);
    for (const Field &field : fields_) {
      if (Kind(field) != TARNE_KIND_TRAILING_STRING) continue;
      // The trailing string runs to the first NUL, so it comes first after the fixed part.
      if (field.descriptor->offset != fixedSize) {
        return Fail(
            Message({"field '", field.descriptor->name, "' must be the last of its schema"}));
      }
      payload_.push_back(0);
    }
    return TARNE_STATUS_SUCCESS;
  }

  PEK_ReturnStatus Assign(std::string_view assignment) {
    const size_t equals = assignment.find('=');
    if (equals == std::string_view::npos) {
      return Fail(Message({"'", assignment, "' is not name=value"}));
    }
    const std::string_view name = assignment.substr(0, equals);
    const std::string_view value = assignment.substr(equals + 1);
    const auto found = std::find_if(fields_.begin(), fields_.end(),
                                    [&](const Field &f) { return name == f.descriptor->name; });
    if (found == fields_.end()) {
      std::string known;
      for (const Field &f : fields_) {
        if (!known.empty()) known += ", ";
        known += f.descriptor->name;
      }
      return Fail(Message({schemaName_, " has no field '", name, "' (its fields: ", known, ")"}));
    }
    if (found->assigned) return Fail(Message({"field '", name, "' is assigned twice"}));
    found->assigned = true;
    return Encode(*found, value);
  }

  PEK_ReturnStatus Finish() {
    if (payload_.size() > UINT32_MAX)
      return Fail("the payload would exceed 4 GiB", TARNE_STATUS_LIMIT_EXCEEDED);
    return TARNE_STATUS_SUCCESS;
  }

  PEK_ReturnStatus Fail(const std::string &message,
                        PEK_ReturnStatus status = TARNE_STATUS_BAD_PARAMETER) {
    error_ = message;
    return status;
  }

 private:
  static FieldKind Kind(const Field &field) {
    return static_cast<FieldKind>(field.descriptor->kind);
  }

  PEK_ReturnStatus Encode(const Field &field, std::string_view value) {
    uint8_t *at = payload_.data() + field.descriptor->offset;
    switch (Kind(field)) {
      case TARNE_KIND_INT64: {
        uint64_t number = 0;
        if (!ParseNumber(value, &number)) return Refuse(field, value, "an unsigned 64-bit number");
        olva::StoreU64(at, number);
        return TARNE_STATUS_SUCCESS;
      }
      case TARNE_KIND_INT32: {
        uint32_t number = 0;
        if (!ParseNumber(value, &number)) return Refuse(field, value, "an unsigned 32-bit number");
        olva::StoreU32(at, number);
        return TARNE_STATUS_SUCCESS;
      }
      case TARNE_KIND_INT64_ALT: {
        int64_t number = 0;
        if (!ParseNumber(value, &number)) return Refuse(field, value, "a signed 64-bit number");
        olva::StoreU64(at, static_cast<uint64_t>(number));
        return TARNE_STATUS_SUCCESS;
      }
      case TARNE_KIND_FLAG:
        if (value == "true" || value == "1") {
          *at = 1;
        } else if (value == "false" || value == "0") {
          *at = 0;
        } else {
          return Refuse(field, value, "true or false");
        }
        return TARNE_STATUS_SUCCESS;
      case TARNE_KIND_UUID:
        if (!ParseUuid(value, at)) return Refuse(field, value, "a UUID (8-4-4-4-12 hex digits)");
        return TARNE_STATUS_SUCCESS;
      case TARNE_KIND_IPV4:
        if (!ParseAddress(value, AF_INET, at)) return Refuse(field, value, "an IPv4 address");
        return TARNE_STATUS_SUCCESS;
      case TARNE_KIND_IPV6:
        if (!ParseAddress(value, AF_INET6, at)) return Refuse(field, value, "an IPv6 address");
        return TARNE_STATUS_SUCCESS;
      case TARNE_KIND_STRING:
      case TARNE_KIND_TEXT:
        return OffsetString(field, value);
      case TARNE_KIND_TRAILING_STRING:
        return TrailingString(field, value);
      case TARNE_KIND_LIST:
        return List(field, value, ParseUuid, "a comma-separated list of UUIDs");
      case TARNE_KIND_ADDRESS_LIST:
        return List(field, value, ParseListAddress, "a comma-separated list of IP addresses");
    }
    return Refuse(field, value, "a value of a known kind");
  }

  PEK_ReturnStatus Refuse(const Field &field, std::string_view value, const char *expected) {
    return Fail(Message({"field '", field.descriptor->name, "': '", value, "' is not ", expected}));
  }

  // A quoted value is read as the plain form writes it; any other value is taken as it is.
  PEK_ReturnStatus StringBytes(const Field &field, std::string_view value, std::string *bytes) {
    if (!value.empty() && value.front() == '"') {
      std::string reason;
      if (!olva::ParsePlainQuoted(value, bytes, &reason)) {
        return Fail(Message({"field '", field.descriptor->name, "': ", reason}));
      }
    } else {
      bytes->assign(value);
    }
    if (bytes->find('\0') != std::string::npos) {
      return Fail(Message({"field '", field.descriptor->name, "': a string cannot hold NUL"}));
    }
    return TARNE_STATUS_SUCCESS;
  }

  PEK_ReturnStatus OffsetString(const Field &field, std::string_view value) {
    if (value.empty()) return TARNE_STATUS_SUCCESS;  // absent: offset 0
    std::string bytes;
    if (const PEK_ReturnStatus status = StringBytes(field, value, &bytes)) return status;
    const uint64_t offset = payload_.size();
    payload_.insert(payload_.end(), bytes.begin(), bytes.end());
    payload_.push_back(0);
    olva::StoreU64(payload_.data() + field.descriptor->offset, offset);
    return TARNE_STATUS_SUCCESS;
  }

  PEK_ReturnStatus TrailingString(const Field &field, std::string_view value) {
    std::string bytes;
    if (const PEK_ReturnStatus status = StringBytes(field, value, &bytes)) return status;
    // Layout() put its NUL right after the fixed part, before any other string.
    const auto at = payload_.begin() + static_cast<std::ptrdiff_t>(field.descriptor->offset);
    payload_.insert(at, bytes.begin(), bytes.end());
    ShiftOffsets(field.descriptor->offset, bytes.size());
    return TARNE_STATUS_SUCCESS;
  }

  // Strings already placed behind the trailing string moved by `by` bytes.
  void ShiftOffsets(uint64_t from, size_t by) {
    for (const Field &other : fields_) {
      const FieldKind kind = Kind(other);
      uint8_t *at = payload_.data() + other.descriptor->offset;
      if (kind == TARNE_KIND_STRING || kind == TARNE_KIND_TEXT) {
        const uint64_t offset = olva::LoadU64(at);
        if (offset > from) olva::StoreU64(at, offset + by);
      } else if (kind == TARNE_KIND_LIST || kind == TARNE_KIND_ADDRESS_LIST) {
        const uint64_t offset = olva::LoadU64(at + 8);
        if (olva::LoadU64(at) != 0 && offset > from) olva::StoreU64(at + 8, offset + by);
      }
    }
  }

  PEK_ReturnStatus List(const Field &field, std::string_view value,
                        bool (*parseItem)(std::string_view, uint8_t *), const char *expected) {
    std::vector<uint8_t> items;
    uint64_t count = 0;
    for (size_t start = 0; !value.empty() && start <= value.size();) {
      size_t end = value.find(',', start);
      if (end == std::string_view::npos) end = value.size();
      items.resize(items.size() + olva::kListEntryBytes);
      const std::string_view item = value.substr(start, end - start);
      if (!parseItem(item, items.data() + items.size() - olva::kListEntryBytes)) {
        return Refuse(field, item, expected);
      }
      ++count;
      start = end + 1;
    }
    uint8_t *at = payload_.data() + field.descriptor->offset;
    olva::StoreU64(at, count);
    olva::StoreU64(at + 8, count == 0 ? 0 : payload_.size());
    payload_.insert(payload_.end(), items.begin(), items.end());
    return TARNE_STATUS_SUCCESS;
  }

  const char *schemaName_;
  std::vector<uint8_t> &payload_;
  std::string &error_;
  std::vector<Field> fields_;
};

}  // namespace

PEK_ReturnStatus OlvaFields_Encode(const TarneSchemaDirEntry *directory, const char *schemaName,
                                   std::span<const std::string_view> assignments,
                                   std::vector<uint8_t> *payload, std::string *error) {
  const char *name = schemaName != nullptr ? schemaName : "(null)";
  Encoder encoder(name, payload, error);
  const olva::PreparedSchema *schema = olva::FindSchema(directory, schemaName);
  if (schema == nullptr) {
    return encoder.Fail(Message({"no schema named '", name, "'"}), TARNE_STATUS_NOT_FOUND);
  }
  if (schema->isStyle) {
    return encoder.Fail(Message({name, " is a style: it has no fields to assign"}));
  }
  if (const PEK_ReturnStatus status = encoder.Layout(schema->entry->fields)) return status;
  for (const std::string_view assignment : assignments) {
    if (const PEK_ReturnStatus status = encoder.Assign(assignment)) return status;
  }
  return encoder.Finish();
}
