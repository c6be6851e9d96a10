// The run from start to end: options, the update check, the workspace with the tools, the main
// window, and the teardown in reverse order. The exit code is 1 when the start ends for a failure
// (no settings, no display, no workspace, damaged tools), else 0.
#pragma once

#include "app/command_line.h"
#include "app/run_mode.h"
#include "app/workspace.h"
#include "update/update_check_result.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace app {

// The steps that start-up calls, replaceable so that tests can watch the order.
struct StartupSteps {
    std::function<update::UpdateCheckResult()> checkForUpdate;
    // From here on SIGINT, SIGTERM and SIGHUP end the run (with its teardown) instead of the
    // process.
    std::function<void()> catchTermination;
    // True once one of those signals has arrived.
    std::function<bool()> terminationRequested;
    // Whether the display can be opened; false after one line on standard error. The
    // application itself is made later, just before the window.
    std::function<bool()> openDisplay;
    // Held by start-up until the end, after the workspace's removal.
    std::function<platform::Expected<Workspace>()> createWorkspace;
    // Runs on a thread of its own, while the window is made; the real one then also removes
    // the workspaces that killed runs left behind.
    std::function<platform::Expected<void>(const QString& workspace)> extractToolPayload;
    // Brings up the platform libraries, runs the main window until it closes, tears them down.
    // toolsReady is asked once the window is made and before it shows: it waits for the
    // extraction and is false when that failed or a termination signal came meanwhile; the
    // window then never shows. False when the application could not be made. url goes into the
    // URL field, and the job of jobKind (unless None) starts with it.
    std::function<bool(const QString& workspace, const QString& url, download::JobKind jobKind,
                       const QString& playerFile, const std::function<bool()>& toolsReady)>
        runMainWindow;
    std::function<void(const QString& workspace)> removeWorkspace;

    static StartupSteps Real();
};

// startDirectory: the folder the program was started from.
int RunStartup(const QStringList& words, const QString& startDirectory, const StartupSteps& steps);

// The entry point's work: --help and --version, then RunStartup with the real steps.
int VandrelMain(int argc, char** argv);

} // namespace app
