// The fake's process-wide state, its call log and the control functions for tests.
#include "fake_state.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace fake {
namespace {

// Distinct from every status of the program, so that a test sees a broken script at once.
constexpr int kBrokenScriptStatus = 99;

std::mutex stateMutex;
State *state = nullptr;  // created on first use; lives until the process ends
std::string lastError;

void LoadFromEnvironment() {
  state = new State;
  const char *path = std::getenv("TARNE_FAKE_SCRIPT");
  if (path == nullptr) return;
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "fake olvalib: cannot read script %s\n", path);
    std::_Exit(kBrokenScriptStatus);
  }
  std::stringstream text;
  text << in.rdbuf();
  std::string error;
  if (!ParseScript(text.str(), *state, error)) {
    std::fprintf(stderr, "fake olvalib: %s: %s\n", path, error.c_str());
    std::_Exit(kBrokenScriptStatus);
  }
}

}  // namespace

std::unique_lock<std::mutex> Lock() {
  std::unique_lock<std::mutex> lock(stateMutex);
  if (state == nullptr) LoadFromEnvironment();
  return lock;
}

State &Current() {
  return *state;
}

void Replace(State replacement) {
  StopWorker();
  std::unique_lock<std::mutex> lock(stateMutex);
  if (state == nullptr) state = new State;
  *state = std::move(replacement);
}

void Log(const std::string &line) {
  state->log += line;
  state->log += '\n';
  if (const char *path = std::getenv("TARNE_FAKE_LOG")) {
    if (FILE *file = std::fopen(path, "a")) {
      std::fprintf(file, "%s\n", line.c_str());
      std::fclose(file);
    }
  }
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

std::string HexText(const uint8_t *bytes, size_t length) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < length; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

bool IsSelfMarker(const OlvaUUID &uuid) {
  static constexpr OlvaUUID kSelf{{0, 0, 0, 2}};
  return SameUuid(uuid, kSelf);
}

bool IsNull(const OlvaUUID &uuid) {
  return SameUuid(uuid, OlvaUUID{});
}

bool SameUuid(const OlvaUUID &a, const OlvaUUID &b) {
  return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

RequestRule RequestRules::For(uint32_t n) const {
  const RequestRule *general = nullptr;
  for (const RequestRule &rule : rules) {
    if (rule.nth == n) return rule;
    if (!rule.nth) general = &rule;
  }
  return general != nullptr ? *general : RequestRule{};
}

}  // namespace fake

extern "C" {

bool FakeOlva_UseScript(const char *scriptText) {
  fake::State parsed;
  std::string error;
  const bool ok = fake::ParseScript(scriptText, parsed, error);
  fake::Replace(ok ? std::move(parsed) : fake::State{});
  fake::lastError = error;
  return ok;
}

const char *FakeOlva_LastError(void) {
  return fake::lastError.c_str();
}

size_t FakeOlva_ConverterCallCount(void) {
  auto lock = fake::Lock();
  return fake::Current().converterCalls.size();
}

bool FakeOlva_ConverterCallAt(size_t index, FakeOlvaConverterCall *call) {
  auto lock = fake::Lock();
  const auto &calls = fake::Current().converterCalls;
  if (index >= calls.size()) return false;
  *call = calls[index];
  return true;
}

size_t FakeOlva_CopyLog(char *buffer, size_t size) {
  auto lock = fake::Lock();
  const std::string &log = fake::Current().log;
  if (size > 0) {
    const size_t n = std::min(size - 1, log.size());
    std::memcpy(buffer, log.data(), n);
    buffer[n] = '\0';
  }
  return log.size();
}

}  // extern "C"
