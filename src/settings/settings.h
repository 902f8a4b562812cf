// The settings that the command line produces once and every later step only reads.
#ifndef TARNE_SETTINGS_SETTINGS_H
#define TARNE_SETTINGS_SETTINGS_H

#include <cstdint>

#include "client/tarne_client.h"

enum FormatNumber : uint8_t {
  kFormatNone = 0,
  kFormatSimple = 1,
  kFormatJson = 2,
  kFormatPython = 3,
};

struct Settings {
  // The output channel writes to standard error behind a timestamp (the dump command, whose
  // standard output carries payload bytes alone).
  bool channelOnStderr = false;
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
