// The kinds of job, in one table: what the command line, the window's buttons, the job and the
// usage text know of each. A new kind is a new row.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace download {

// The numbers are those of the command line's and the window's job kinds.
enum class JobKind : std::int32_t {
    None = 0,     // no job
    Download = 1, // download only
    Mp3 = 2,      // download, then convert to .mp3
    Avi = 3,      // download, then convert to .avi
    Mp4 = 4,      // download, then convert to .mp4
};

struct JobKindRow {
    JobKind kind;
    std::u16string_view option; // the command line's word: --download-mp3=URL
    std::string_view extension; // what the job converts to; empty for a download only
    std::string_view name;      // the button's name, as a screen reader would say it
    std::uint16_t picture;      // the button's picture, and the one shown while pressed
    std::uint16_t pressedPicture;
    int x, y;                   // the button's place on the download panel
    std::string_view usage;     // the --help line's text after the option
};

inline constexpr std::array<JobKindRow, 4> kJobKinds{{
    {JobKind::Download, u"download", "", "Download", 152, 153, 227, 535,
     "download the video at URL"},
    {JobKind::Mp3, u"download-mp3", ".mp3", "MP3", 154, 155, 313, 575,
     "download, then convert to MP3"},
    {JobKind::Avi, u"download-avi", ".avi", "AVI", 150, 151, 400, 575,
     "download, then convert to AVI"},
    {JobKind::Mp4, u"download-mp4", ".mp4", "MP4", 156, 157, 486, 535,
     "download, then convert to MP4"},
}};

// The row of kind; null for JobKind::None.
constexpr const JobKindRow* FindJobKind(JobKind kind)
{
    for (const JobKindRow& row : kJobKinds)
        if (row.kind == kind)
            return &row;
    return nullptr;
}

} // namespace download
