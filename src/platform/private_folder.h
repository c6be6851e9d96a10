// A folder of this process's own inside another folder: made new with mode 0700, locked while
// it is in use (a lock file, as the workspace's), every name in it resolved from its descriptor
// without following a link, and its files handed to the outer folder by renames that never replace
// a file there. Removed with everything in it when the object goes.
#pragma once

#include "platform/expected.h"
#include "platform/unique_fd.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace platform {

class PrivateFolder {
public:
    // Makes "<prefix><8 hex digits>" in the folder at parentPath (which may itself be reached
    // through a link; nothing inside it is). First removes the folders of that prefix that a
    // run which has ended left behind: a live run holds its folder's lock, so its folder is
    // never touched. Fails with the system's reason when it cannot be made.
    static Expected<PrivateFolder> Make(const QString& parentPath, const QByteArray& prefix);
    ~PrivateFolder();
    PrivateFolder(PrivateFolder&& other) noexcept = default;
    PrivateFolder& operator=(PrivateFolder&&) = delete;
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    // The path the tools are started in.
    const QString& Path() const { return m_path; }

    // The size of name when it is a regular file directly in this folder (a link is not).
    std::optional<qint64> RegularFileSize(const QByteArray& name) const;
    // Up to size bytes from the start of the regular file name; empty when it cannot be read.
    QByteArray ReadStart(const QByteArray& name, qint64 size) const;
    // Creates name as a new empty file: 0 or -errno (-EEXIST when the name is taken).
    int CreateNewFile(const QByteArray& name) const;
    // Removes the file name (never a directory): 0 or -errno.
    int RemoveFile(const QByteArray& name) const;
    // Renames name into the outer folder as target, never replacing what is there: 0 or
    // -errno (-EEXIST when target is taken).
    int MoveOut(const QByteArray& name, const QByteArray& target) const;

private:
    PrivateFolder(QString path, QByteArray name, UniqueFd parent, UniqueFd self, UniqueFd lock)
        : m_path(std::move(path)), m_name(std::move(name)), m_parent(std::move(parent)),
          m_self(std::move(self)), m_lock(std::move(lock))
    {
    }

    QString m_path;
    QByteArray m_name; // in the outer folder
    UniqueFd m_parent;
    UniqueFd m_self;
    UniqueFd m_lock; // held while the folder exists
};

} // namespace platform
