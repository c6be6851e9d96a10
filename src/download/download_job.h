// A job: download whatever the downloader finds at the addresses of a URL text into a folder,
// convert each file when asked, and name the file to play. It runs on the calling thread and
// talks to its owner only through posted events (JobTextEvent, JobFinishedEvent), so it uses
// no widget and never touches an object that can die before it.
#pragma once

#include "download/job_kind.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class JobControl;

struct DownloadJob {
    QObject* owner = nullptr; // receives WM_JOB_TEXT and WM_JOB_FINISHED; outlives the job
    QString workspace;        // the folder holding downloader and convert
    QString url;              // as typed: split at blanks into addresses
    JobKind kind = JobKind::Download;
    bool play = false;
    QString folder; // as typed: relative means relative to the home folder
};

// Runs the job: makes the folder, runs the downloader in it, converts what it reported (kinds
// 2 to 4) and posts, as its last act on the owner, exactly one JobFinishedEvent with the file
// to play (empty unless play is set and a file was made or found). The tools' lines and the
// job's own lines (UTF-8) go to the owner as JobTextEvents. A job never deletes or overwrites a
// file it did not make.
void RunJob(const DownloadJob& job, JobControl& control);

// The folder the job writes into: a relative folder is taken from the home folder, and "~" or
// "~/..." as well. Empty when the text is empty.
QString ResolveJobFolder(const QString& folderText);
// The addresses of a URL text: the words between blanks (spaces, tabs, line ends).
QStringList SplitUrlWords(const QString& url);
// The extension a kind converts to (".mp3", ".avi", ".mp4"); empty for a download only.
QString TargetExtension(JobKind kind);

// Runs the downloader with the URL's words in folder (an existing directory) and waits for it
// or for a stop. Returns the file names it reported, in order, as bytes of the file system's
// encoding, relative to folder and not yet checked; nullopt when the tool did not start.
std::optional<QList<QByteArray>> DownloadUrl(const DownloadJob& job, const QString& folder,
                                             JobControl& control);

// Converts input into a new file in folder named after input with ext (never an existing
// name: "name.mp3", then "name (2).mp3", ...). Returns the output path when the conversion
// counts (the converter exited with 0 and wrote a non-empty file); otherwise removes what it
// wrote and returns an empty string.
QString ConvertFile(const DownloadJob& job, const QString& input, const QString& folder,
                    const QString& ext, JobControl& control);
