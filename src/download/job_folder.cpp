// The job folder: made when missing, a staging folder of the job's own inside it, and the names
// under which finished files come out of it.
#include "download/job_folder.h"

#include "platform/file_name.h"
#include "platform/file_system.h"

#include <cerrno>
#include <system_error>

namespace download {

namespace {

// Hidden, so that a file manager showing the folder during a job shows only finished files.
const QByteArray kStagingPrefix = QByteArrayLiteral(".vandrel-job-");
constexpr int kMaxNumberedNames = 10000;
constexpr qsizetype kMaxNameBytes = 255;
// A longer "extension" is part of the title, not a file type.
constexpr qsizetype kMaxExtensionBytes = 16;

QString ErrorText(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}

// "stem" and ".ext" of a name; no extension when the only dot is the first byte.
std::pair<QByteArray, QByteArray> SplitExtension(const QByteArray& name)
{
    const qsizetype dot = name.lastIndexOf('.');
    if (dot <= 0 || name.size() - dot > kMaxExtensionBytes)
        return {name, {}};
    return {name.left(dot), name.mid(dot)};
}

// At most size bytes of text, never ending inside a UTF-8 character.
QByteArray CutAtCharacter(const QByteArray& text, qsizetype size)
{
    if (text.size() <= size)
        return text;
    qsizetype end = size;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.left(end);
}

// The n-th name for a file in the folder: not hidden, at most 255 bytes, the extension kept.
QByteArray FolderName(const QByteArray& name, int n)
{
    auto [stem, ext] = SplitExtension(name);
    if (stem.startsWith('.'))
        stem.prepend('_');
    const QByteArray number = n == 1 ? QByteArray() : " (" + QByteArray::number(n) + ')';
    return CutAtCharacter(stem, kMaxNameBytes - number.size() - ext.size()) + number + ext;
}

} // namespace

platform::Expected<void> JobFolder::Prepare()
{
    if (m_path.isEmpty())
        return platform::Fail(QStringLiteral("no folder given"));
    if (platform::Expected<void> made = platform::MakeWritableDirectory(m_path); !made)
        return platform::Unexpected{made.error()};
    platform::Expected<platform::PrivateFolder> staging =
        platform::PrivateFolder::Make(m_path, kStagingPrefix);
    if (!staging)
        return platform::Unexpected{staging.error()};
    m_staging.emplace(std::move(*staging));
    return {};
}

QString JobFolder::StagingPath() const
{
    return m_staging ? m_staging->Path() : QString();
}

QString JobFolder::Shown(const QByteArray& name)
{
    return platform::DecodeFileName(name);
}

platform::Expected<void> JobFolder::CheckReported(const QByteArray& name) const
{
    if (name.isEmpty() || name == "." || name == ".." || name.contains('/') || name.contains('\0'))
        return platform::Fail(QStringLiteral("not a file the job made"));
    if (!m_staging || !m_staging->RegularFileSize(name))
        return platform::Fail(QStringLiteral("no such regular file"));
    return {};
}

QByteArray JobFolder::Start(const QByteArray& name, qint64 size) const
{
    return m_staging ? m_staging->ReadStart(name, size) : QByteArray();
}

std::optional<QByteArray> JobFolder::NewOutputFile(const QByteArray& input,
                                                   const QByteArray& ext) const
{
    const QByteArray base = SplitExtension(input).first + ext;
    for (int n = 1; m_staging && n <= kMaxNumberedNames; ++n) {
        const QByteArray name = FolderName(base, n);
        const int error = m_staging->CreateNewFile(name);
        if (!error)
            return name;
        if (error != -EEXIST)
            return std::nullopt;
    }
    return std::nullopt;
}

void JobFolder::Discard(const QByteArray& name) const
{
    if (m_staging)
        m_staging->RemoveFile(name);
}

platform::Expected<QString> JobFolder::Keep(const QByteArray& name, const QByteArray& as) const
{
    for (int n = 1; m_staging && n <= kMaxNumberedNames; ++n) {
        const QByteArray target = FolderName(as.isEmpty() ? name : as, n);
        const int error = m_staging->MoveOut(name, target);
        if (!error)
            return QString(m_path + u'/' + Shown(target));
        if (error != -EEXIST)
            return platform::Fail(ErrorText(-error), -error);
    }
    return platform::Fail(QStringLiteral("no free name"));
}

} // namespace download
