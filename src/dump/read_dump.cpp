#include "dump/read_dump.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "content/convert.h"
#include "dump/dump_entry_reader.h"
#include "dump/dump_stream.h"
#include "dump/read_fully.h"
#include "output/formats.h"
#include "output/output.h"
#include "tables/dump_header.h"

namespace {

// Every message of this command goes straight to standard error, without a timestamp, and
// reports errno as it stands at that moment. The listing so far is flushed first, so that
// where both streams meet the message follows what was listed.
// Arguments are evaluated before the flush, so that errno is the one the failure left.
__attribute__((format(printf, 1, 2))) void Report(const char *format, ...) {
  (void)std::fflush(Output_Out());
  va_list args;
  va_start(args, format);
  (void)std::vfprintf(Output_Err(), format, args);
  va_end(args);
}

void ReportOpenFailure(const char *path) {
  Report("Failed to open %s file (%s)\n\n", path, std::strerror(errno));
}

bool ReadHeaderFile(const char *path, DumpHeader *header) {
  DumpStream file;
  if (!file.Open(path, false)) {
    ReportOpenFailure(path);
    return false;
  }
  if (ReadFully(file, header, sizeof *header, Output_Err()) != sizeof *header) {
    Report("Failed to read the dump header (%s)\n", std::strerror(errno));
    return false;
  }
  if (header->magic != kDumpMagic || header->minor != kDumpMinorVersion ||
      header->major != kDumpMajorVersion) {
    Report(
        "Invalid header: Expected (magic = %08lx. majorVer = %d, minorVer = %d), Actual "
        "(magic = %08lx. majorVer = %d, minorVer = %d\n",
        static_cast<unsigned long>(kDumpMagic), kDumpMajorVersion, kDumpMinorVersion,
        static_cast<unsigned long>(header->magic), header->major, header->minor);
    return false;
  }
  return true;
}

// A large dump lists megabytes of text: a large buffer makes that one write per 128 KiB. A
// megabyte was no faster and held 0.9 MB more, since the buffer is touched whole. Only for the
// process's own standard output, when it is not a terminal, and before anything is written to it.
// errno is kept, since later messages report it as it stands.
void UseLargeOutputBuffer() {
  static char buffer[128 * 1024];
  FILE *out = Output_Out();
  if (out != stdout) return;
  const int savedErrno = errno;
  if (isatty(fileno(out)) == 0) (void)std::setvbuf(out, buffer, _IOFBF, sizeof buffer);
  errno = savedErrno;
}

class StreamLock {
 public:
  explicit StreamLock(FILE *stream) : stream_(stream) { flockfile(stream_); }
  ~StreamLock() { funlockfile(stream_); }
  StreamLock(const StreamLock &) = delete;
  StreamLock &operator=(const StreamLock &) = delete;

 private:
  FILE *stream_;
};

int32_t ReadEntries(DumpStream &dump, const DumpHeader &header, const OutputFormat *format,
                    PrintContext *context) {
  DumpEntryReader reader(dump, Output_Err());
  uint32_t count = 0;
  DumpRead outcome = DumpRead::kEntry;
  {
    // Each entry is one fwrite, and with the inflating thread running every fwrite would
    // take the stream's lock with an atomic operation. Held here, the lock is already this
    // thread's at each write; only this thread writes to the stream meanwhile.
    const StreamLock lock(Output_Out());
    while ((outcome = reader.Next()) == DumpRead::kEntry) {
      ConvertAndPrintEntry(context, reader.Entry(), format);
      ++count;
    }
  }
  switch (outcome) {
    case DumpRead::kEnd:
      format->listEnd();
      if (static_cast<int32_t>(count) != header.numentries) {
        Report(
            "number of entries mismatch! (expected: %d, actual: %d). This dump is not "
            "consistent (possible that entries were added to tarne since the time dump "
            "started and by the time it finished\n",
            header.numentries, static_cast<int32_t>(count));
      }
      return 0;
    case DumpRead::kNoMemory:
      Report("Failed to allocate memory (%lu bytes) for entry\n\n",
             static_cast<unsigned long>(reader.EntrySize()));
      return -1;
    case DumpRead::kPayloadFailed:
      Report("Failed to read the payload for the entry.\n\n");
      return -1;
    case DumpRead::kHeaderFailed:
    case DumpRead::kEntry:
      break;
  }
  Report("Failed to read dumpfile (%s)\n\n", std::strerror(errno));
  return -1;
}

}  // namespace

int32_t ReadDumpWithHeaderFile(const char *headerPath, const Settings &settings) {
  const OutputFormat *format = OutputFormats_Selected(settings.formatNumber);
  PrintContext context{nullptr, 1};

  DumpHeader header{};
  if (!ReadHeaderFile(headerPath, &header)) return -1;  // the header file is closed here

  DumpStream dump;
  if (!dump.Open(settings.dumpFile, true)) {
    ReportOpenFailure(settings.dumpFile);
    return -1;
  }
  UseLargeOutputBuffer();

  if (settings.printDumpHeader) {
    format->printHeader(&header);
  } else {
    format->listBegin();
  }
  return ReadEntries(dump, header, format, &context);
}

int32_t ReadDump(const Settings &settings) {
  return ReadDumpWithHeaderFile(kDumpHeaderPath, settings);
}

int32_t Command_ReadDump(const Settings &settings) {
  return ReadDump(settings);
}
