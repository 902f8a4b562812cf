#include "output/formats.h"

#include <cstring>

#include "client/tarne_client.h"
#include "output/output.h"
#include "settings/settings.h"

OutputFormat outputFormats[kOutputFormatCount];

namespace {

constexpr size_t kHeaderTextSize = 1024;

// Formats one of the header texts with the six printed fields, in their printed order.
void FormatHeaderText(char (&text)[kHeaderTextSize], const char *format, const DumpHeader &h) {
  std::memset(text, 0, sizeof text);
  Str_Snprintf(text, sizeof text - 1, format, static_cast<unsigned long>(h.magic), h.major, h.minor,
               h.starttime, h.endtime, h.numentries);
}

const char *CompactOr(const char *text) {
  return CurrentSettings().compactOutput ? "" : text;
}

}  // namespace

void Simple_PrintHeader(const DumpHeader *header) {
  char text[kHeaderTextSize];
  FormatHeaderText(text,
                   "header={magic = 0x%08lx, major = %d, minor = %d, starttime = %u, endtime = "
                   "%u, numentries = %d}\n",
                   *header);
  Output_Printf("%s\n", text);
}

void Simple_ListBegin() {
  Output_Printf("%s\n", "");
}
void Simple_ListEnd() {
  Output_Printf("\n");
}

void Json_PrintHeader(const DumpHeader *header) {
  char text[kHeaderTextSize];
  FormatHeaderText(text,
                   "\"header\": \n{\n   \"magic\":\"0x%08lx\",\n   \"major\":\"%d\",\n   "
                   "\"minor\":\"%d\",\n   \"starttime\":\"%u\",\n   \"endtime\":\"%u\",\n   "
                   "\"numentries\":\"%d\"\n},\n",
                   *header);
  Output_Printf("{\n %s\"entries\": \n[\n", text);
}

void Json_ListBegin() {
  Output_Printf("{\n %s\"entries\": \n[%s", "", CompactOr("\n"));
}
void Json_ListEnd() {
  Output_Printf("]\n}%s", CompactOr("\n"));
}

void Python_PrintHeader(const DumpHeader *header) {
  char text[kHeaderTextSize];
  FormatHeaderText(text,
                   "\n{\n   \"magic\":\"0x%08lx\",\n   \"major\":%d,\n   \"minor\":%d,\n   "
                   "\"starttime\":%u,\n   \"endtime\":%u,\n   \"numentries\":%d\n},",
                   *header);
  Output_Printf("[%s\n", text);
}

void Python_ListBegin() {
  Output_Printf("[%s\n", "");
}
void Python_ListEnd() {
  Output_Printf("]\n");
}

void OutputFormats_Fill() {
  outputFormats[0] = {0, Simple_PrintHeader, Simple_ListBegin, Simple_ListEnd, Simple_PrintEntry};
  outputFormats[1] = {1, Json_PrintHeader, Json_ListBegin, Json_ListEnd, Json_PrintEntry};
  outputFormats[2] = {1, Python_PrintHeader, Python_ListBegin, Python_ListEnd, Python_PrintEntry};
}

const OutputFormat *OutputFormats_Selected(uint8_t formatNumber) {
  if (formatNumber < 1 || formatNumber > kOutputFormatCount) return nullptr;
  return &outputFormats[formatNumber - 1];
}
