// The settings that the command line produces once and every later step only reads.
#ifndef TARNE_SETTINGS_SETTINGS_H
#define TARNE_SETTINGS_SETTINGS_H

#include <cstdint>

#include "client/tarne_client.h"

enum class CommandId : uint8_t {
  kNone = 0,
  kAdd = 1,
  kDelete = 2,
  kDump = 3,
  kFind = 4,
  kRemoteFind = 5,
  kWhoami = 6,
  kAmIMember = 7,
  kWait = 8,
  kWaitDump = 9,
  kWaitForMembership = 10,
  kReadDump = 11,
};

enum FormatNumber : uint8_t {
  kFormatNone = 0,
  kFormatSimple = 1,
  kFormatJson = 2,
  kFormatPython = 3,
};

struct Settings {
  CommandId command = CommandId::kNone;
  TarneQuery query{};
  uint32_t timeout = 0;
  uint8_t formatNumber = kFormatNone;
  const char *dumpFile = nullptr;
  bool printDumpHeader = false;
  bool compactOutput = false;
  bool mangle = false;
  int32_t verbosity = 0;
};

// The process-wide settings. The command line fills them before anything is opened;
// afterwards every thread only reads them.
const Settings &CurrentSettings();
Settings &MutableSettings();

#endif  // TARNE_SETTINGS_SETTINGS_H
