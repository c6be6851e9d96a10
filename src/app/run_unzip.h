// The zip extraction driver: takes its instructions as an argument vector, like a command-line
// unzip, and reports progress and errors as lines on standard output.
#pragma once

#include <cstdio>

// Arguments (entry 0 is a program name): "-" followed by option letters (l/v list, e without
// stored paths, o overwrite, d destination is the next entry, p password is the next entry),
// the archive name, optionally one member to extract. 0 when the archive was opened (and the
// destination entered), 1 without an archive or when it cannot be opened, -1 when the
// destination cannot be entered. The current directory stays at the destination.
int RunUnzip(int argc, const char* const argv[]);
// The same with the messages written to messages, or nowhere when it is null.
int RunUnzip(int argc, const char* const argv[], std::FILE* messages);
// The same; complete (when given) tells whether every member asked for was written whole. The
// result stays 0 when members failed (a checksum that does not match, data shorter than its
// stored size, a method zlib cannot inflate, a file that cannot be created, a name that would
// leave the destination or is longer than 256 bytes), so a caller that needs the whole archive
// asks for complete. Every file written is checked against its member's stored size and
// checksum; one that fails is removed.
int RunUnzip(int argc, const char* const argv[], std::FILE* messages, bool* complete);
