// The download folder as a job sees it: which files were there before the job, which reported
// names it may use, and new names for converted files that never replace an existing file.
#pragma once

#include "platform/file_system.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

class JobFolder {
public:
    // path: absolute (see ResolveJobFolder).
    explicit JobFolder(QString path) : m_path(std::move(path)) {}

    const QString& Path() const { return m_path; }

    // Makes the folder with its parents when missing. Nothing when it can be used, else why not.
    std::optional<QString> Prepare() const;
    // Records the regular files directly in the folder now: the job never deletes one of them.
    void Record();

    struct File {
        QString path;
        platform::FileIdentity identity;
        bool direct = true; // directly in the folder, not in a folder below it
    };
    // True only for a file directly in the folder that was not there when Record ran, and is
    // still the same file: one this job made. Nothing below the folder was recorded, so
    // nothing there counts as made.
    bool MadeSinceRecord(const File& file) const;
    // The file a reported name stands for: a relative path without "." or ".." parts whose
    // parts are real directories (no links) and whose last part is a regular file (no link).
    // nullopt with the reason otherwise.
    std::optional<File> Find(const QByteArray& name, QString& reason) const;

    // After a stop: removes the unfinished downloads that appeared since Record (".part",
    // ".ytdl", fragment and merge files) directly in the folder, never a file that was there
    // before or a link; nothing at all before Record ran. Returns the names removed.
    QStringList RemovePartialFiles() const;

    // Makes a new empty file in the folder for the conversion of input: the input's name with
    // its extension replaced by ext ("a.flv" -> "a.mp3"), else "a (2).mp3", "a (3).mp3", ...
    std::optional<File> NewOutputFile(const QString& input, const QString& ext) const;

private:
    QString m_path;
    std::vector<platform::FileIdentity> m_before; // sorted
    bool m_recorded = false;
};
