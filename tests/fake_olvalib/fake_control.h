// Control functions of the test-only fake client library, for test binaries that link it
// directly. A run of the real program drives the fake through the TARNE_FAKE_SCRIPT file
// instead (see README.md).
#ifndef TARNE_TESTS_FAKE_OLVALIB_FAKE_CONTROL_H
#define TARNE_TESTS_FAKE_OLVALIB_FAKE_CONTROL_H

#include <cstdint>
#include <string>
#include <vector>

#include "client/tarne_client.h"

// One call of either content converter, as the fake saw it.
struct FakeOlvaConverterCall {
  bool obfuscated;  // OlvaExprConv_BinToTextObfuscated
  const void *payload;
  uint32_t length;
  int32_t one;
  uint32_t capacity;  // on entry
  bool zeroFilled;    // every byte of that capacity was 0
  const TarneSchemaDirEntry *directory;
  std::string schemaName;
  int32_t structuredContent;
};

// Replaces the whole fake state with the given script. Returns "" when it parses, else the
// message naming the line (and the state is left empty).
std::string FakeOlva_UseScript(const std::string &script);
std::vector<FakeOlvaConverterCall> FakeOlva_ConverterCalls();

#endif  // TARNE_TESTS_FAKE_OLVALIB_FAKE_CONTROL_H
