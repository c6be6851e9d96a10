// The run from start to end: options, the update check, the workspace with the tools, the main
// window, and the teardown in reverse order. The exit code is always 0.
#pragma once

#include "app/command_line.h"

#include <QString>
#include <QStringList>

#include <functional>

// What the options ask for.
struct StartRequest {
    bool openWindow = true; // false with the "update" flag: only the update check runs
    QString playerFile;
    QString convertValue; // recognised but not acted on: there is no conversion-only start
    QString downloadUrl;
    int jobKind = 0; // JobKind
};

StartRequest DecideRunMode(const CCommandLine& options);

// The steps that start-up calls, replaceable so that tests can watch the order.
struct StartupSteps {
    std::function<bool()> checkForUpdate;
    std::function<QString()> createWorkspace;
    std::function<bool(const QString& workspace)> extractToolPayload;
    // Brings up the platform libraries, runs the main window until it closes, tears them down.
    std::function<void(const QString& workspace, const QString& downloadUrl, int jobKind,
                       const QString& playerFile)>
        runMainWindow;
    std::function<void(const QString& workspace)> removeWorkspace;

    static StartupSteps Real();
};

int RunStartup(const QStringList& words, const StartupSteps& steps);

// The entry point's work: --help and --version, then RunStartup with the real steps.
int VandrelMain(int argc, char** argv);
