#include "app/workspace.h"

#include "platform/tick.h"

#include <QDir>

namespace {

QString TempName()
{
    return QString::asprintf("vnd%08x-%08x", platform::UnixSeconds32(), platform::TickCount());
}

} // namespace

QString CreateWorkspace()
{
    const QString path = QDir::tempPath() + u'/' + TempName();
    return QDir().mkpath(path) ? path : QString();
}

QString MakeTempFileName(const QString& extension, const QString& directory)
{
    const QString dir = directory.isEmpty() ? QDir::tempPath() : directory;
    return dir + u'/' + TempName() + (extension.isEmpty() ? QStringLiteral(".tmp") : extension);
}

bool ExtractToolPayload(const QString& /*workspace*/)
{
    return true;
}

void RemoveDirectoryTree(const QString& directory)
{
    QDir(directory).removeRecursively();
}
