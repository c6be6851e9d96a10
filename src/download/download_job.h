// A job: download whatever the downloader finds at the addresses of a URL text into a folder,
// convert each file when asked, and name the file to play. It runs on the calling thread and
// tells its owner what happens only through calls posted to the owner's thread, so it uses no
// widget and never touches an object that can die before it.
#pragma once

#include "download/job_kind.h"
#include "download/job_options.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

namespace download {

class JobControl;

struct DownloadJob {
    QString workspace; // the folder holding downloader and convert
    QString url;       // as typed: split at blanks into addresses
    JobKind kind = JobKind::Download;
    bool play = false;
    QString folder;          // as typed: relative means relative to the home folder, "~" too
    JobOptions options = {}; // the user's choices from the window's menu
};

// What a job tells its owner. Any of them may be empty.
struct JobEvents {
    // A line of a tool's output worth showing (the tool's own bytes), or one of the job's own
    // (UTF-8).
    std::function<void(const QByteArray& text)> onText;
    // The downloader's progress, in thousandths.
    std::function<void(std::int32_t thousandths)> onProgress;
    // The job moved from downloading to converting: the work left is no longer known.
    std::function<void()> onConverting;
    // The job's last word. path: the file to play, empty unless play was set and a file was
    // kept. saved: the absolute paths of the files the job left in the folder, in order (a
    // converted file, or the download where no conversion was asked or it failed; not the
    // subtitles kept beside them); empty after a stop.
    std::function<void(const QString& path, const QStringList& saved)> onFinished;
};

// Runs the job: makes the folder and its staging folder, runs the downloader there, keeps the
// audio and video it reported, converts them (kinds MP3, AVI, MP4), moves what it keeps into
// the folder with the subtitles written for it, and posts, as its last act, exactly one
// onFinished. A job never opens, writes,
// renames or deletes a file in the folder that it did not put there; a stop or a failure
// removes the staging folder with every unfinished file, and the files already finished are
// kept. Each of events runs on owner's thread, posted in the order the job made the calls;
// calls still queued when owner goes are dropped. A null owner hears nothing.
void RunJob(const DownloadJob& job, QObject* owner, const JobEvents& events, JobControl& control);

} // namespace download
