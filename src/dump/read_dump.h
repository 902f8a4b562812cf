// `readdump`: prints every entry of a directory dump, read offline from the dump header file
// and the dump file.
#ifndef TARNE_DUMP_READ_DUMP_H
#define TARNE_DUMP_READ_DUMP_H

#include <cstdint>

#include "settings/settings.h"

// Reads the header file at kDumpHeaderPath and the dump file settings.dumpFile. 0 or -1.
int32_t ReadDump(const Settings &settings);

// The same with the header file at `headerPath`, so that tests need not touch the fixed path.
int32_t ReadDumpWithHeaderFile(const char *headerPath, const Settings &settings);

#endif  // TARNE_DUMP_READ_DUMP_H
