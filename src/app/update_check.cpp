#include "app/update_check.h"

#include "settings/settings_store.h"

#include <cstdio>

namespace {

void ReportMissingSettings(const char* what)
{
    const QByteArray file = UserSettingsFile().toLocal8Bit();
    std::fprintf(stderr,
                 "vandrel: %s; create %s with a line \"AffID=<your id>\" under [General]\n", what,
                 file.constData());
}

} // namespace

QString FormatUpdateDate(const QDate& date)
{
    return QString::asprintf("%d%02d%02d", date.year(), date.month(), date.day());
}

bool CheckForUpdate()
{
    return CheckForUpdate(QDateTime::currentDateTime());
}

bool CheckForUpdate(const QDateTime& localNow)
{
    const std::optional<SettingsKey> key = OpenSettingsKey();
    if (!key) {
        ReportMissingSettings("no settings file");
        return false;
    }
    const std::optional<QString> affId = ReadStringValue(*key, settings_names::kAffId, kMaxPath);
    if (!affId) {
        ReportMissingSettings("no AffID in the settings, or one of 260 characters or more");
        return false;
    }

    const QString today = FormatUpdateDate(localNow.date());
    const std::optional<QString> lastUpdate =
        ReadStringValue(*key, settings_names::kLastUpdate, kMaxPath);
    if (!lastUpdate) {
        // First start: record the day and skip the server this time.
        WriteStringValue(*key, settings_names::kLastUpdate, today);
        return true;
    }
    if (*lastUpdate == today)
        return true;

    // Asking the update server comes here.
    return true;
}
