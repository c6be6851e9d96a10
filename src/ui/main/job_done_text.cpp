// The words of the notification at the end of a job.
#include "ui/main/job_done_text.h"

#include "platform/file_name.h"
#include "ui/main/tool_text.h"

#include <QDir>
#include <QFileInfo>

namespace ui {
namespace {

// A file name as the user reads it: the escaped bytes of a name that is not UTF-8 become
// their Latin-1 characters, so the text is valid Unicode and says what the log says.
QString Readable(const QString& name)
{
    return DecodeToolText(platform::EncodeFileName(name));
}

QString ShortFolder(const QString& folder)
{
    const QString home = QDir::homePath();
    if (!home.isEmpty() && home != QLatin1String("/")) {
        if (folder == home)
            return QStringLiteral("~");
        if (folder.startsWith(home + QLatin1Char('/')))
            return QLatin1Char('~') + folder.mid(home.size());
    }
    return folder;
}

} // namespace

JobDoneText DescribeJobDone(const QStringList& saved)
{
    if (saved.isEmpty())
        return {QStringLiteral("Nothing was saved"),
                QStringLiteral("The log in the window says why.")};
    const QFileInfo first(saved.front());
    const QString where = Readable(ShortFolder(first.absolutePath()));
    QString what = Readable(first.fileName());
    if (saved.size() > 1)
        what += QStringLiteral(" and %1 more").arg(saved.size() - 1);
    return {QStringLiteral("Download finished"), QStringLiteral("%1 in %2").arg(what, where)};
}

} // namespace ui
