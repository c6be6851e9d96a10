// Writes one settings value over and over until it is killed: the atomic-write test's writer.
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
    for (;;)
        WriteStringValue(*key, settings_names::kDefaultDownloadFolder, value);
}
