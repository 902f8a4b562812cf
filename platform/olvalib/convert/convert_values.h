// Scalar field values as text: numbers, UUIDs, addresses and hex, written into a TextSink
// without printf and without allocating.
#ifndef OLVALIB_CONVERT_VALUES_H
#define OLVALIB_CONVERT_VALUES_H

#include <cstddef>
#include <cstdint>

#include "convert_sink.h"

namespace olva {

void PutUnsigned(TextSink &sink, uint64_t value);
void PutSigned(TextSink &sink, int64_t value);
// 8-4-4-4-12 lower-case hex, bytes in storage order.
void PutUuid(TextSink &sink, const uint8_t *bytes);
// Dotted quad of four bytes in network order.
void PutIpv4(TextSink &sink, const uint8_t *bytes);
// The inet_ntop text of sixteen bytes in network order.
void PutIpv6(TextSink &sink, const uint8_t *bytes);
// An address list entry: an IPv4-mapped address as its dotted quad, any other as IPv6.
void PutListAddress(TextSink &sink, const uint8_t *bytes);
// Two lower-case hex digits per byte.
void PutHex(TextSink &sink, const uint8_t *bytes, size_t count);

}  // namespace olva

#endif  // OLVALIB_CONVERT_VALUES_H
