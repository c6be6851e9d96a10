// Start-up and teardown in their order, the real steps, and the entry point's own options.
#include "app/startup.h"

#include "app/qt_application.h"
#include "app/workspace.h"
#include "download/job_kind.h"
#include "platform/file_name.h"
#include "platform/temp_file_name.h"
#include "platform/termination_signals.h"
#include "ui/main/main_tree.h"
#include "ui/main/main_window.h"
#include "update/downloader_updater.h"
#include "update/update_check.h"

#include <QApplication>
#include <QDate>
#include <QRegularExpression>
#include <QTimer>

#include <cstdio>
#include <future>
#include <optional>
#include <string_view>

namespace app {

namespace {

constexpr int kExitFailure = 1;

bool RunMainWindow(const QString& workspace, const QString& url, download::JobKind jobKind,
                   const QString& playerFile, const std::function<bool()>& toolsReady)
{
    // The skin and the other pictures decode on the other core while the application is made.
    // The future's end waits for them, also when no application could be made.
    const std::future<void> pictures = std::async(std::launch::async, ui::PreloadMainTreePictures);
    QApplication* app = EnsureQtApplication();
    if (!app)
        return false;
    // Until the window sets its own reaction, a signal leaves every event loop, so the run
    // goes on to its teardown.
    platform::TerminationSignals::Instance().SetHandler(app, [] { QCoreApplication::exit(0); });
    {
        // Outlives the window: closing it cancels the check and waits for its thread.
        update::DownloaderUpdater downloaderUpdate;
        ui::MainWindow dialog(workspace, url, jobKind, playerFile);
        dialog.BuildWindow();
        if (toolsReady()) {
            // Queued, so it starts once the window's loop runs and the window shows.
            QTimer::singleShot(0, &dialog, [&downloaderUpdate] {
                downloaderUpdate.StartIfDue(QDate::currentDate());
            });
            dialog.Exec();
        }
    }
    DestroyQtApplication();
    return true;
}

// One line on standard error; the text may hold a file name's bytes (platform/file_name.h).
void Report(const QString& text)
{
    std::fprintf(stderr, "vandrel: %s\n", platform::EncodeFileName(text).constData());
}

void PrintUsage()
{
    std::puts("Usage: vandrel [option] [URL | FILE]\n"
              "Downloads the video of a web page, optionally converts it, and plays it.\n");
    const auto line = [](const QByteArray& option, std::string_view text) {
        std::printf("  %-21s%.*s\n", option.constData(), static_cast<int>(text.size()),
                    text.data());
    };
    line("URL", "show the http or https URL in the window; no download starts");
    line("FILE", "play FILE (a path or a file:// URL)");
    for (const download::JobKindRow& row : download::kJobKinds) {
        const QString word =
            QString::fromUtf16(row.option.data(), static_cast<qsizetype>(row.option.size()));
        line("--" + word.toUtf8() + "=URL", row.usage);
    }
    line("--player=FILE", "play FILE");
    line("--update", "only check for an update, then exit");
    line("--help, --version", "print this text or the version, then exit");
    std::puts("\nOptions may also be written with a slash: /download=URL. A slash word that names\n"
              "no option is a path. An option wins over URL or FILE, and only the first URL or\n"
              "FILE is used.");
}

} // namespace

StartupSteps StartupSteps::Real()
{
    return {
        [] {
            update::UpdateCheckOptions options;
            options.openApplication = [] { return EnsureQtApplication() != nullptr; };
            return update::CheckForUpdate(QDateTime::currentDateTime(), options);
        },
        [] { platform::TerminationSignals::Instance().Install(); },
        [] { return platform::TerminationSignals::Instance().Received(); },
        [] { return CanOpenDisplay(); },
        [] { return CreateWorkspace(); },
        [](const QString& workspace) {
            platform::Expected<void> extracted = ExtractToolPayload(workspace);
            // What killed runs left behind goes while the window is still being made: some
            // milliseconds for each workspace, against the window's two hundred or so.
            RemoveEndedWorkspaces(platform::TemporaryDirectory());
            return extracted;
        },
        RunMainWindow,
        [](const QString& workspace) { RemoveDirectoryTree(workspace); },
    };
}

int RunStartup(const QStringList& words, const QString& startDirectory, const StartupSteps& steps)
{
    CommandLine options;
    options.Parse(words);
    for (const QString& option : UnreadOptions(options))
        std::fprintf(
            stderr,
            "vandrel: ignoring %s: the program has no such option (vandrel --help lists them)\n",
            platform::EncodeFileName(option).constData());
    const StartRequest request = DecideRunMode(options, startDirectory);
    for (const QString& note : request.notes)
        Report(note);

    // The update check runs in every mode, also with the "update" flag.
    const update::UpdateCheckResult checked = steps.checkForUpdate();
    if (checked == update::UpdateCheckResult::Failed)
        return kExitFailure;
    if (checked == update::UpdateCheckResult::EndRun || !request.openWindow)
        return 0;

    steps.catchTermination();
    // Before the workspace: without a display there is nothing to unpack the tools for.
    if (!steps.openDisplay())
        return kExitFailure;
    if (steps.terminationRequested())
        return 0;
    // Its lock goes last, after the workspace itself.
    const platform::Expected<Workspace> made = steps.createWorkspace();
    if (!made) {
        Report(made.error().text);
        return kExitFailure;
    }
    const QString& workspace = made->path;
    int exitCode = 0;
    if (!steps.terminationRequested()) {
        // The tools unpack on the other core while the application and the window are made.
        std::future<platform::Expected<void>> extraction =
            std::async(std::launch::async, steps.extractToolPayload, workspace);
        std::optional<platform::Expected<void>> extracted;
        // A window that could not be made never asks, so the end asks too: nothing may still
        // write into the workspace when it is removed.
        const auto waitForTools = [&]() -> const platform::Expected<void>& {
            if (!extracted) {
                extracted = extraction.get();
                if (!*extracted)
                    Report(QStringLiteral("the tools carried in the program file could not be "
                                          "unpacked (the file has none or they are damaged: "
                                          "reinstall it, never strip it; or the temporary folder "
                                          "is full)"));
            }
            return *extracted;
        };
        // A signal during the extraction ends the run before any window shows.
        const auto toolsReady = [&] {
            return waitForTools().has_value() && !steps.terminationRequested();
        };
        const bool windowMade = steps.runMainWindow(workspace, request.url, request.jobKind,
                                                    request.playerFile, toolsReady);
        if (!waitForTools() || !windowMade)
            exitCode = kExitFailure;
    }
    // Also after a failed extraction, so a partly filled workspace goes too.
    steps.removeWorkspace(workspace);
    return exitCode;
}

int VandrelMain(int argc, char** argv)
{
    const QStringList words = CommandLine::WordsFromArgv(argc, argv);
    CommandLine options;
    options.Parse(words);
    if (options.GetFlag(QStringLiteral("help"))) {
        PrintUsage();
        return 0;
    }
    if (options.GetFlag(QStringLiteral("version"))) {
        std::printf("Vandrel %s\n", VANDREL_VERSION);
        return 0;
    }
    const int code = RunStartup(words, platform::CurrentDirectory(), StartupSteps::Real());
    DestroyQtApplication();
    return code;
}

} // namespace app
