// Which job the main window runs with a download address.
#pragma once

#include <cstdint>

enum JobKind : std::int32_t {
    kJobNone = 0,     // no job
    kJobDownload = 1, // download only
    kJobMp3 = 2,      // download, then convert to .mp3
    kJobAvi = 3,      // download, then convert to .avi
    kJobMp4 = 4,      // download, then convert to .mp4
};
