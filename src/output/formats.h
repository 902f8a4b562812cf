// The three output formats as records of operations, chosen once by format number.
#ifndef TARNE_OUTPUT_FORMATS_H
#define TARNE_OUTPUT_FORMATS_H

#include <cstdint>

#include "client/tarne_client.h"
#include "tables/dump_header.h"

struct OutputFormat {
  uint8_t structuredContent;
  void (*printHeader)(const DumpHeader *header);
  void (*listBegin)();
  void (*listEnd)();
  void (*printEntry)(const char *prefix, int isFirst, const TarneEntry *entry, const char *content,
                     uint32_t contentLength, const char *errorStr);
};

inline constexpr int kOutputFormatCount = 3;
extern OutputFormat outputFormats[kOutputFormatCount];

// Fills the three records with their fixed contents; run once before a command's body.
void OutputFormats_Fill();

// The record in force: outputFormats[formatNumber - 1].
const OutputFormat *OutputFormats_Selected(uint8_t formatNumber);

void Simple_PrintHeader(const DumpHeader *header);
void Simple_ListBegin();
void Simple_ListEnd();
void Simple_PrintEntry(const char *prefix, int isFirst, const TarneEntry *entry,
                       const char *content, uint32_t contentLength, const char *errorStr);

void Json_PrintHeader(const DumpHeader *header);
void Json_ListBegin();
void Json_ListEnd();
void Json_PrintEntry(const char *prefix, int isFirst, const TarneEntry *entry, const char *content,
                     uint32_t contentLength, const char *errorStr);

void Python_PrintHeader(const DumpHeader *header);
void Python_ListBegin();
void Python_ListEnd();
void Python_PrintEntry(const char *prefix, int isFirst, const TarneEntry *entry,
                       const char *content, uint32_t contentLength, const char *errorStr);

#endif  // TARNE_OUTPUT_FORMATS_H
