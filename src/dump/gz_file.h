// A gzip stream that closes itself: every file of a dump is read through one.
#ifndef TARNE_DUMP_GZ_FILE_H
#define TARNE_DUMP_GZ_FILE_H

#include <zlib.h>

#include <memory>

struct GzFileCloser {
  void operator()(gzFile file) const { gzclose(file); }
};
using GzFile = std::unique_ptr<gzFile_s, GzFileCloser>;

#endif  // TARNE_DUMP_GZ_FILE_H
