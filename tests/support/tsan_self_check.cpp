// The ThreadSanitizer run still fails on a race in the program's own code inside a Qt callback,
// while what Qt orders stays quiet. "ordered" (a write before posting an event, the handler's
// write read after the wait for its thread) must end without a report, "racy" (a write after
// the post) must report a data race.
#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include <cstring>

namespace {

int g_shared = 0;

class Writer : public QObject {
public:
    bool event(QEvent* event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        g_shared += 1;
        thread()->quit();
        return true;
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool racy = argc > 1 && std::strcmp(argv[1], "racy") == 0;
    QThread worker;
    Writer writer;
    writer.moveToThread(&worker);
    worker.start();
    g_shared = 1;
    QCoreApplication::postEvent(&writer, new QEvent(QEvent::User));
    if (racy)
        g_shared = 5;
    worker.wait();
    return g_shared > 0 ? 0 : 1;
}
