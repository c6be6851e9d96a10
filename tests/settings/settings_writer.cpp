// Writes one settings value over and over until it is killed: the atomic-write test's writer. It
// alternates the value and the value with a "!" after it, since storing the value already there
// leaves the file alone.
#include "settings/settings_store.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString value = QString::fromUtf8(argv[1]);
    const auto key = CreateSettingsKey();
    if (!key)
        return 1;
    for (bool mark = false;; mark = !mark)
        WriteStringValue(*key, settings_names::kDefaultDownloadFolder, mark ? value + u'!' : value);
}
