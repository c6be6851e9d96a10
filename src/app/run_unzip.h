// The zip extraction driver: takes its instructions as an argument vector, like a command-line
// unzip, and reports progress and errors as lines on standard output.
#pragma once

#include <cstdio>

enum class UnzipResult {
    Extracted,     // the archive was opened and every member asked for was written whole
    Incomplete,    // opened, but a member failed (see RunUnzip)
    NoArchive,     // no archive name, or the archive cannot be opened
    NoDestination, // the destination cannot be made the current directory
};

// The driver's result as a command-line unzip of this kind reports it: 0 once the archive was
// opened (members may have failed), 1 without an archive, -1 when the destination cannot be
// entered.
int UnzipExitCode(UnzipResult result);

// Arguments (entry 0 is a program name): "-" followed by option letters (l/v list, e without
// stored paths, o overwrite, d destination is the next entry, p password is the next entry),
// the archive name, optionally one member to extract. The current directory stays at the
// destination. Messages go to messages, or nowhere when it is null. A member fails with a
// checksum that does not match, data shorter than its stored size, a method zlib cannot
// inflate, a file that cannot be created, or a name that would leave the destination or is
// longer than 256 bytes; every file written is checked against its member's stored size and
// checksum, and one that fails is removed.
UnzipResult RunUnzip(int argc, const char* const argv[], std::FILE* messages = stdout);
