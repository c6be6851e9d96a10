// The download folder as a job sees it: which files were there before the job, which reported
// names it may use, and new names for converted files that never replace an existing file.
#pragma once

#include "platform/file_system.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

class JobFolder {
public:
    // path: absolute (see ResolveJobFolder).
    explicit JobFolder(QString path) : m_path(std::move(path)) {}

    const QString& Path() const { return m_path; }

    // Makes the folder with its parents when missing. Empty when it can be used, else why not.
    QString Prepare() const;
    // Records the regular files that are there now: the job never deletes one of them.
    void Record();
    bool WasThere(const platform::FileIdentity& file) const;

    struct File {
        QString path;
        platform::FileIdentity identity;
    };
    // The file a reported name stands for: a relative path without "." or ".." parts whose
    // parts are real directories (no links) and whose last part is a regular file (no link).
    // nullopt with the reason otherwise.
    std::optional<File> Find(const QByteArray& name, QString& reason) const;

    // Makes a new empty file in the folder for the conversion of input: the input's name with
    // its extension replaced by ext ("a.flv" -> "a.mp3"), else "a (2).mp3", "a (3).mp3", ...
    std::optional<File> NewOutputFile(const QString& input, const QString& ext) const;

private:
    QString m_path;
    std::vector<platform::FileIdentity> m_before; // sorted
};
