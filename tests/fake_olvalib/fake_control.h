// Control functions of the test-only fake client library, for test binaries that link it
// directly. A run of the real program drives the fake through the TARNE_FAKE_SCRIPT file
// instead (see README.md).
#ifndef TARNE_TESTS_FAKE_OLVALIB_FAKE_CONTROL_H
#define TARNE_TESTS_FAKE_OLVALIB_FAKE_CONTROL_H

#include <stddef.h>
#include <stdint.h>

#include "client/tarne_client.h"

#ifdef __cplusplus
extern "C" {
#endif

// Replaces the whole fake state with the given script text. Returns false (and keeps an
// empty script) when a line cannot be parsed; FakeOlva_LastError tells which.
bool FakeOlva_UseScript(const char *scriptText);
const char *FakeOlva_LastError(void);

// One call of either content converter, as the fake saw it.
typedef struct FakeOlvaConverterCall {
  int obfuscated;  // 1: OlvaExprConv_BinToTextObfuscated
  const void *payload;
  uint32_t length;
  int32_t one;
  const char *text;  // the buffer handed in
  uint32_t capacityOnEntry;
  uint32_t capacityOnReturn;
  int textWasZeroFilled;  // every byte of the capacity was 0 on entry
  const TarneSchemaDirEntry *directory;
  const char *schemaName;  // the pointer handed in, valid while the caller keeps it
  int32_t structuredContent;
  PEK_ReturnStatus result;
} FakeOlvaConverterCall;

size_t FakeOlva_ConverterCallCount(void);
// False when index is out of range.
bool FakeOlva_ConverterCallAt(size_t index, FakeOlvaConverterCall *call);

// Every boundary call so far, one line each (the same lines that go to TARNE_FAKE_LOG).
// The text is copied into buffer, cut to size; returns the full length.
size_t FakeOlva_CopyLog(char *buffer, size_t size);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // TARNE_TESTS_FAKE_OLVALIB_FAKE_CONTROL_H
