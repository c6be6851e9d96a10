// The atomic-write test's writer: writes one settings value until it is killed, alternating it
// with the value and a "!", since storing the value already there leaves the file alone.
#include "settings/settings_store.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString value = QString::fromUtf8(argv[1]);
    const auto key = settings::CreateSettingsKey();
    if (!key)
        return 1;
    for (bool mark = false;; mark = !mark)
        settings::WriteStringValue(*key, settings::names::kDefaultDownloadFolder,
                                   mark ? value + u'!' : value);
}
