// Builds a payload from name=value assignments, laid out as the content converter reads it:
// the administration program's way to write typed entries.
#ifndef OLVALIB_FIELD_CODEC_H
#define OLVALIB_FIELD_CODEC_H

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "client/tarne_client.h"

// Encodes the assignments under the named schema of the directory. Fields not assigned are
// zero: numbers 0, flags false, UUIDs and addresses all zero, strings absent, lists empty.
// Values are written as the plain text form shows them (docs/CONTENT_ENCODING.md), so a
// plain rendering split at its blanks encodes back to an equal payload.
// Not found: no schema of that name. Bad parameter: a style, an assignment without '=', an
// unknown or repeated field, or a value its kind does not accept; *error then says which.
// Limit exceeded: the payload would pass 4 GiB.
__attribute__((visibility("default"))) PEK_ReturnStatus OlvaFields_Encode(
    const TarneSchemaDirEntry *directory, const char *schemaName,
    std::span<const std::string_view> assignments, std::vector<uint8_t> *payload,
    std::string *error);

#endif  // OLVALIB_FIELD_CODEC_H
