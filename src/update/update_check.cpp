// The start's update check in the order of the decision table: settings, dates, then the
// server through the update window.
#include "update/update_check.h"

#include "settings/settings_store.h"
#include "update/update_installers.h"
#include "update/update_version.h"

#include <QApplication>
#include <QUrl>

#include <cstdio>

namespace update {

namespace {

void ReportMissingSettings(const QByteArray& what)
{
    const QByteArray file = settings::UserSettingsFile().toLocal8Bit();
    std::fprintf(stderr, "vandrel: %s; create %s with a line \"AffID=<your id>\" under [General]\n",
                 what.constData(), file.constData());
}

// The running program's file.
const QString kOwnExecutable = QStringLiteral("/proc/self/exe");

} // namespace

QString FormatUpdateDate(const QDate& date)
{
    return QString::asprintf("%d%02d%02d", date.year(), date.month(), date.day());
}

qint64 UpdateTimeStamp(const QDateTime& localNow)
{
    constexpr qint64 kTicksPerMs = 10000;
    constexpr qint64 kMsPerDay = 86400000;
    const qint64 days = localNow.date().toJulianDay() - QDate(1601, 1, 1).toJulianDay();
    return (days * kMsPerDay + localNow.time().msecsSinceStartOfDay()) * kTicksPerMs;
}

QString UpdateServerBase()
{
    QString base = qEnvironmentVariable("VANDREL_UPDATE_SERVER");
    if (base.isEmpty())
        base = QStringLiteral(VANDREL_UPDATE_SERVER_DEFAULT);
    while (base.endsWith(u'/'))
        base.chop(1);
    return base;
}

QString MakeUpdateAddress(const QString& base, const QString& affId, const QString& ownVersion,
                          qint64 timeStamp)
{
    return base + QStringLiteral("/version/") +
           QString::fromLatin1(QUrl::toPercentEncoding(affId)) + u'/' +
           QString::fromLatin1(QUrl::toPercentEncoding(ownVersion)) + QStringLiteral("?rnd=") +
           QString::number(timeStamp);
}

UpdateCheckResult CheckForUpdate(const QDateTime& localNow, const UpdateCheckOptions& options)
{
    // Every start passes here first, also one that ends for want of settings.
    RemoveLaunchedInstallers();
    const std::optional<settings::SettingsKey> key = settings::OpenSettingsKey();
    if (!key) {
        ReportMissingSettings("no settings file");
        return UpdateCheckResult::Failed;
    }
    const std::optional<QString> affId = settings::ReadStringValue(*key, settings::names::kAffId);
    if (!affId) {
        // A file that cannot be read may well hold the id: its reason is the one to fix.
        if (const platform::Expected<void> readable = settings::CheckReadable(*key); !readable)
            std::fprintf(stderr, "vandrel: cannot read the settings file %s\n",
                         readable.error().text.toLocal8Bit().constData());
        else
            ReportMissingSettings("no AffID in the settings, or one of " +
                                  QByteArray::number(settings::kValueCapacity) +
                                  " characters or more");
        return UpdateCheckResult::Failed;
    }

    const QString today = FormatUpdateDate(localNow.date());
    const std::optional<QString> lastUpdate =
        settings::ReadStringValue(*key, settings::names::kLastUpdate);
    if (!lastUpdate) {
        // First start: record the day and skip the server this time.
        settings::WriteStringValue(*key, settings::names::kLastUpdate, today);
        return UpdateCheckResult::Continue;
    }
    if (*lastUpdate == today)
        return UpdateCheckResult::Continue;

    const QString ownVersion =
        ReadFileVersion(options.programFile.isEmpty() ? kOwnExecutable : options.programFile)
            .value_or(QString());
    const QString address =
        MakeUpdateAddress(UpdateServerBase(), *affId, ownVersion, UpdateTimeStamp(localNow));

    // Without a display the question cannot be asked: the run ends (the line is written), and
    // the day is not recorded, so the next start asks again.
    const bool haveApplication =
        options.openApplication
            ? options.openApplication()
            : qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    if (!haveApplication)
        return UpdateCheckResult::Failed;
    UpdateWindow dialog(address, ownVersion, options.job, options.askToUpdate);
    dialog.Exec();
    if (dialog.RecordDate())
        settings::WriteStringValue(*key, settings::names::kLastUpdate, today);
    return dialog.ContinueStartup() ? UpdateCheckResult::Continue : UpdateCheckResult::EndRun;
}

} // namespace update
