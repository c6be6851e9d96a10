// The download folder as a job sees it. The tools work in a private staging folder that the job
// makes inside it, where no other program writes; a file leaves it only when it is finished, by
// a rename that never replaces a file in the folder. Whatever else is in the folder, before or
// while the job runs, is never opened, written, renamed or removed.
#pragma once

#include "platform/expected.h"
#include "platform/private_folder.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace download {

class JobFolder {
public:
    // path: absolute.
    explicit JobFolder(QString path) : m_path(std::move(path)) {}

    const QString& Path() const { return m_path; }

    // Makes the folder with its parents when missing, and the staging folder inside it (after
    // removing the staging folders of runs that have ended); fails with the reason it cannot
    // be used.
    platform::Expected<void> Prepare();
    // Where the tools run; they report names relative to it. Empty before Prepare.
    QString StagingPath() const;
    // The staged file's path, for a tool's command line.
    QString StagedPath(const QByteArray& name) const { return StagingPath() + u'/' + Shown(name); }

    // Whether a reported name is a regular file directly in the staging folder; fails with why
    // not.
    platform::Expected<void> CheckReported(const QByteArray& name) const;
    // The first bytes of a staged file.
    QByteArray Start(const QByteArray& name, qint64 size) const;
    // Makes a new empty staged file for the conversion of input: input's name with its
    // extension replaced by ext ("a.flv" -> "a.mp3"), else "a (2).mp3", ... Its name; none
    // when no file could be made.
    std::optional<QByteArray> NewOutputFile(const QByteArray& input, const QByteArray& ext) const;
    // Removes a staged file (a download whose conversion was kept).
    void Discard(const QByteArray& name) const;
    // Moves a staged file into the folder, under its own name or the one asked for (as). The
    // name there never begins with "." and fits 255 bytes with its extension; where it is
    // taken, "name (2).ext", "name (3).ext", ... The path in the folder, or why it could not be
    // moved.
    platform::Expected<QString> Keep(const QByteArray& name, const QByteArray& as = {}) const;

    // The name as the log shows it.
    static QString Shown(const QByteArray& name);

private:
    QString m_path;
    std::optional<platform::PrivateFolder> m_staging; // removed with what is left in it
};

} // namespace download
