// A job: download whatever the downloader finds at the addresses of a URL text into a folder,
// convert each file when asked, and name the file to play. It runs on the calling thread and
// talks to its owner only through posted events (JobTextEvent, JobFinishedEvent), so it uses
// no widget and never touches an object that can die before it.
#pragma once

#include "download/job_folder.h"
#include "download/job_kind.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class JobControl;

struct DownloadJob {
    QObject* owner = nullptr; // receives WM_JOB_TEXT and WM_JOB_FINISHED; outlives the job
    QString workspace;        // the folder holding downloader and convert
    QString url;              // as typed: split at blanks into addresses
    download::JobKind kind = download::JobKind::Download;
    bool play = false;
    QString folder; // as typed: relative means relative to the home folder
};

// Runs the job: makes the folder and its staging folder, runs the downloader there, keeps the
// audio and video it reported, converts them (kinds 2 to 4), moves what it keeps into the
// folder, and posts, as its last act on the owner, exactly one JobFinishedEvent with the file to
// play (empty unless play is set and a file was kept). The tools' lines and the job's own lines
// (UTF-8) go to the owner as JobTextEvents. A job never opens, writes, renames or deletes a file
// in the folder that it did not put there; a stop or a failure removes the staging folder with
// every unfinished file, and the files already finished are kept.
void RunJob(const DownloadJob& job, JobControl& control);

// The folder the job writes into: a relative folder is taken from the home folder, and "~" or
// "~/..." as well. Empty when the text is empty.
QString ResolveJobFolder(const QString& folderText);
// The addresses of a URL text: the words between blanks (spaces, tabs, line ends).
QStringList SplitUrlWords(const QString& url);
// The extension a kind converts to (".mp3", ".avi", ".mp4"); empty for a download only.
QString TargetExtension(download::JobKind kind);

// Runs the downloader with the URL's words in the folder's staging folder and waits for it or
// for a stop; onNamed (may be empty) runs on this thread whenever a name is reported. The
// reported names stay in tool: relative to the staging folder, as bytes of the file system's
// encoding, not yet checked. False when the tool did not start.
class CFileRedirector;
bool DownloadUrl(const DownloadJob& job, const JobFolder& folder, CFileRedirector& tool,
                 JobControl& control, const std::function<void()>& onNamed);

// Converts the staged file input into a new staged file named after it with ext ("a.mp3",
// else "a (2).mp3", ...). Returns its name when the conversion counts (the converter exited
// with 0 and wrote a non-empty file); otherwise removes what it wrote and returns nullopt.
std::optional<QByteArray> ConvertFile(const DownloadJob& job, const JobFolder& folder,
                                      const QByteArray& input, const QByteArray& ext,
                                      JobControl& control);
