// First cut of the client library until the embedded directory lands: every operation
// reports "No connection", so the tool's start-up fails the way a host without a running
// directory does.
#include <cstdarg>

#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"

extern "C" {
PEK_ReturnStatus TARNE_Initialize(int32_t, int32_t, int32_t *) { return TARNE_STATUS_NO_CONNECTION; }
PEK_ReturnStatus TARNE_Deinitialize(int32_t) { return TARNE_STATUS_NO_CONNECTION; }
PEK_ReturnStatus TARNE_GetNumServerContexts(uint32_t *) { return TARNE_STATUS_NO_CONNECTION; }
PEK_ReturnStatus TARNE_GetSelfUUID(OlvaUUID *) { return TARNE_STATUS_NO_CONNECTION; }
PEK_ReturnStatus TARNE_FindEntryForCluster(const TarneQuery *, int32_t, TarneEntry *, uint32_t,
                                           int32_t) {
  return TARNE_STATUS_NO_CONNECTION;
}
PEK_ReturnStatus TARNE_ForEachEntryForCluster(const TarneQuery *, TarneEntryVisitor, void *,
                                              int32_t, int32_t, int32_t) {
  return TARNE_STATUS_NO_CONNECTION;
}
PEK_ReturnStatus TARNE_WaitForEntryForCluster(const TarneQuery *, uint32_t, int32_t) {
  return TARNE_STATUS_NO_CONNECTION;
}
PEK_ReturnStatus TARNE_WaitForMembershipForCluster(uint32_t, OlvaUUID) {
  return TARNE_STATUS_NO_CONNECTION;
}
PEK_ReturnStatus TARNE_AddEntryForCluster(TarneEntry *, TarneUpdateCompletion, void *, OlvaUUID) {
  return TARNE_STATUS_NO_CONNECTION;
}
PEK_ReturnStatus TARNE_UpdateEntryForCluster(TarneEntry *, TarneUpdateCompletion, void *,
                                             OlvaUUID) {
  return TARNE_STATUS_NO_CONNECTION;
}
PEK_ReturnStatus TARNE_DeleteEntryForCluster(TarneEntry *, TarneUpdateCompletion, void *,
                                             OlvaUUID) {
  return TARNE_STATUS_NO_CONNECTION;
}
PEK_ReturnStatus TARNE_RemoteFindEntry(const TarneRemoteFindRequest *, uint32_t,
                                       TarneRemoteFindCallback, void *) {
  return TARNE_STATUS_NO_CONNECTION;
}
PEK_ReturnStatus TARNE_FindEntryRF(const TarneQuery *, int32_t, TarneEntry *, uint32_t) {
  return TARNE_STATUS_NO_CONNECTION;
}
bool OlvaExprScanner_IsValidExpr(const void *, uint32_t) { return false; }
PEK_ReturnStatus OlvaExprScanner_GetArgs(const void *, uint32_t *, const char *, ...) {
  return TARNE_STATUS_NO_CONNECTION;
}
PEK_ReturnStatus OlvaExprConv_BinToText(const void *, uint32_t, int32_t, char *, uint32_t *,
                                        const TarneSchemaDirEntry *, const char *, int32_t) {
  return TARNE_STATUS_NO_CONNECTION;
}
PEK_ReturnStatus OlvaExprConv_BinToTextObfuscated(const void *, uint32_t, int32_t, char *,
                                                  uint32_t *, const TarneSchemaDirEntry *,
                                                  const char *, int32_t) {
  return TARNE_STATUS_NO_CONNECTION;
}
}
