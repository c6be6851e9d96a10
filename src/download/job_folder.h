// The download folder as a job sees it. The tools work in a private staging folder that the job
// makes inside it, where no other program writes; a file leaves it only when it is finished, by
// a rename that never replaces a file in the folder. Whatever else is in the folder, before or
// while the job runs, is never opened, written, renamed or removed.
#pragma once

#include "platform/private_folder.h"

#include <QByteArray>
#include <QString>

#include <optional>

class JobFolder {
public:
    // path: absolute (see ResolveJobFolder).
    explicit JobFolder(QString path) : m_path(std::move(path)) {}

    const QString& Path() const { return m_path; }

    // Makes the folder with its parents when missing, and the staging folder inside it (after
    // removing the staging folders of runs that have ended). Nothing when it can be used, else
    // why not.
    std::optional<QString> Prepare();
    // Where the tools run; they report names relative to it. Empty before Prepare.
    QString StagingPath() const;
    // The staged file's path, for a tool's command line.
    QString StagedPath(const QByteArray& name) const { return StagingPath() + u'/' + Shown(name); }

    // Whether a reported name is a regular file directly in the staging folder: nothing when
    // it is, else why not.
    std::optional<QString> CheckReported(const QByteArray& name) const;
    // The first bytes of a staged file.
    QByteArray Start(const QByteArray& name, qint64 size) const;
    // Makes a new empty staged file for the conversion of input: input's name with its
    // extension replaced by ext ("a.flv" -> "a.mp3"), else "a (2).mp3", ... Its name.
    std::optional<QByteArray> NewOutputFile(const QByteArray& input, const QByteArray& ext) const;
    // Removes a staged file (a download whose conversion was kept).
    void Discard(const QByteArray& name) const;
    // Moves a staged file into the folder. Its name there never begins with "." and fits 255
    // bytes with its extension; where it is taken, "name (2).ext", "name (3).ext", ... The path
    // in the folder, or nullopt with the reason in reason.
    std::optional<QString> Keep(const QByteArray& name, QString& reason) const;

    // The name as the log shows it.
    static QString Shown(const QByteArray& name);

private:
    QString m_path;
    std::optional<platform::PrivateFolder> m_staging; // removed with what is left in it
};
