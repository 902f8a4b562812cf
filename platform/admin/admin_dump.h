// tarne-admin dump: every entry of the directory, from one snapshot, as a dump
// file and its header file that `tarne-tool readdump` reads.
#ifndef TARNE_ADMIN_ADMIN_DUMP_H
#define TARNE_ADMIN_ADMIN_DUMP_H

#include <span>

namespace olva::admin {

// The command table's shape: the words after "dump"; 0 done, 1 failed, 2 usage
// error.
int RunDump(std::span<char *const> words);

}  // namespace olva::admin

// The same with the command word first: argv[0] is "dump".
int AdminDump(int argc, char **argv);

#endif  // TARNE_ADMIN_ADMIN_DUMP_H
