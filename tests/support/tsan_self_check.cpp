// The ThreadSanitizer run still fails on a race in the program's own code inside a call posted
// to another thread, while what the hand-over orders stays quiet. "ordered" (a write before the
// post, the call's write read after the wait for its thread) must end without a report, "racy"
// (a write after the post) must report a data race.
#include "platform/post_to.h"

#include <QCoreApplication>
#include <QThread>

#include <cstring>

namespace {

int g_shared = 0;

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool racy = argc > 1 && std::strcmp(argv[1], "racy") == 0;
    QThread worker;
    QObject writer;
    writer.moveToThread(&worker);
    worker.start();
    g_shared = 1;
    platform::PostTo(&writer, [&worker] {
        g_shared += 1;
        worker.quit();
    });
    if (racy)
        g_shared = 5;
    worker.wait();
    return g_shared > 0 ? 0 : 1;
}
