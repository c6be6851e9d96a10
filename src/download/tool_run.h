// One run of an external command-line tool on the calling thread: the child is spawned with its
// standard output and standard error joined into one pipe, and one poll over its pidfd, the
// stop event and the pipe hands the output on as it arrives, until the child has ended and what
// it left in the pipe has been handed on too.
#pragma once

#include "platform/event.h"
#include "platform/expected.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <string_view>

namespace download {

struct ToolRun {
    // argv[0] is the program (an absolute path is best, since it is looked up from
    // workingDirectory); the words are passed as they are, never through a shell.
    QStringList argv;
    // Where the child starts (the caller's current directory when empty); the current directory
    // of this process never changes.
    QString workingDirectory;
    // How long a tool may take to end after SIGTERM before its group gets SIGKILL.
    std::chrono::milliseconds termGrace{3000};

    // Runs the tool to its end. Every piece of output goes to onOutput, in order, on this thread.
    // Once stop is set, the tool's whole process group gets SIGTERM (SIGKILL after termGrace),
    // and what is left of the group gets SIGKILL before the tool is reaped. Returns the tool's
    // exit code: -1 when a signal killed it or it outlived its output by more than 250 ms (it is
    // then reaped in the background). Fails, with the system's reason, when it did not start.
    // The child gets SIGKILL when this thread ends.
    platform::Expected<int> Run(const std::function<void(std::string_view)>& onOutput,
                                platform::Event& stop) const;
};

} // namespace download
