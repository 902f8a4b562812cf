// Opening and closing the directory, and what it tells about the node.
#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"
#include "directory/library.h"

namespace {

using olva::dir::Library;

// One directory per process: every caller gets the same handle.
constexpr int32_t kHandle = 1;

}  // namespace

extern "C" {

PEK_ReturnStatus TARNE_Initialize(int32_t /*mode*/, int32_t /*flags*/, int32_t *handle) {
  const PEK_ReturnStatus status = Library::Instance().Open();
  if (status == TARNE_STATUS_SUCCESS && handle != nullptr) *handle = kHandle;
  return status;
}

PEK_ReturnStatus TARNE_Deinitialize(int32_t /*handle*/) {
  return Library::Instance().Close();
}

PEK_ReturnStatus TARNE_GetNumServerContexts(uint32_t *count) {
  const Library::Operation operation;
  if (!operation.Admitted()) return TARNE_STATUS_NO_CONNECTION;
  if (count == nullptr) return TARNE_STATUS_BAD_PARAMETER;
  *count = static_cast<uint32_t>(Library::Instance().Info().clusters.size());
  return TARNE_STATUS_SUCCESS;
}

PEK_ReturnStatus TARNE_GetSelfUUID(OlvaUUID *self) {
  const Library::Operation operation;
  if (!operation.Admitted()) return TARNE_STATUS_NO_CONNECTION;
  if (self == nullptr) return TARNE_STATUS_BAD_PARAMETER;
  *self = Library::Instance().Info().self;
  return TARNE_STATUS_SUCCESS;
}

}  // extern "C"
