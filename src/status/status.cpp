// Maps a return status to its fixed text. Exported unmangled for the client libraries.
#include "status/status.h"

namespace {
constexpr PEK_ReturnStatus kRowBase = 0x0BAD0000u;
// Codes above this belong to the service console and have no row.
constexpr PEK_ReturnStatus kLastRowedCode = 0x2BACFFFFu;
constexpr uint32_t kLastRow = kStatusRowCount - 1;
}  // namespace

extern "C" const char *PEK_ReturnStatusToString(PEK_ReturnStatus status) {
  if (status > kLastRowedCode) return "Opaque service console status";
  // A bare row number is accepted as well as its 0x0BAD code.
  const uint32_t row = status > kRowBase ? status - kRowBase : status;
  if (row > kLastRow) return "Unknown status";
  return statusTexts[row];
}
