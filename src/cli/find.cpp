#include <cstdio>

#include "cli/commands.h"
#include "cli/entry_buffer.h"
#include "content/convert.h"
#include "output/formats.h"
#include "output/message.h"

int32_t Command_Find(const Settings &settings) {
  const OutputFormat *format = OutputFormats_Selected(settings.formatNumber);
  EntryBuffer buffer;
  if (!buffer.Allocate(kFirstEntryBufferSize)) {
    Message_Error("Failed to allocate entry buffer\n");
    return -1;
  }
  PrintContext context{nullptr, 1};
  if (!settings.compactOutput) format->listBegin();

  const TarneQuery &query = settings.query;
  PEK_ReturnStatus status = TARNE_FindEntryForCluster(&query, 0, buffer.entry, buffer.size, 0);
  while (status == 0) {
    const bool whole =
        !buffer.PayloadCut() || RefetchWholeEntry(&buffer.entry, &buffer.size, query.cluster) == 0;
    if (whole) ConvertAndPrintEntry(&context, buffer.entry, format);
    // The buffer still holds the entry just handled: the library continues after it.
    status = TARNE_FindEntryForCluster(&query, 1, buffer.entry, buffer.size, 0);
  }

  if (!settings.compactOutput) format->listEnd();
  return 0;
}
