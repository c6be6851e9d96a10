// Which job the main window runs with a download address.
#pragma once

#include <cstdint>

// The numbers are those of the command line's and the window's job kinds.
enum class JobKind : std::int32_t {
    None = 0,     // no job
    Download = 1, // download only
    Mp3 = 2,      // download, then convert to .mp3
    Avi = 3,      // download, then convert to .avi
    Mp4 = 4,      // download, then convert to .mp4
};
