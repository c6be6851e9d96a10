// Linked into the program and the tests only in ThreadSanitizer builds. Qt hands work between threads under
// locks of its own that ThreadSanitizer does not see (futexes inside the uninstrumented Qt
// library; and the C library calls made from Qt's libraries are skipped, tests/tsan.supp), so
// everything one thread wrote before such a hand-over would look unsynchronised to the other.
// This tells ThreadSanitizer what Qt guarantees, and nothing more:
// - posting an event happens before its delivery;
// - everything a QThread did happens before a QThread::wait that saw it end.
// Nothing is suppressed; every other access is checked.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QThread>

extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);

// The program's calls of these Qt functions reach the wrappers first (-Wl,--wrap).
extern "C" void __real__ZN16QCoreApplication9postEventEP7QObjectP6QEventi(QObject* receiver,
                                                                          QEvent* event,
                                                                          int priority);
extern "C" void __real__ZN7QThread5startENS_8PriorityE(QThread* thread, QThread::Priority priority);
extern "C" bool __real__ZN7QThread4waitE14QDeadlineTimer(QThread* thread, QDeadlineTimer deadline);

extern "C" void __wrap__ZN16QCoreApplication9postEventEP7QObjectP6QEventi(QObject* receiver,
                                                                          QEvent* event,
                                                                          int priority)
{
    __tsan_release(event);
    __real__ZN16QCoreApplication9postEventEP7QObjectP6QEventi(receiver, event, priority);
}

extern "C" void __wrap__ZN7QThread5startENS_8PriorityE(QThread* thread, QThread::Priority priority)
{
    // finished is emitted on the thread itself, after its run and before wait() can return.
    QObject::connect(
        thread, &QThread::finished, thread, [thread] { __tsan_release(thread); },
        Qt::DirectConnection);
    __real__ZN7QThread5startENS_8PriorityE(thread, priority);
}

extern "C" bool __wrap__ZN7QThread4waitE14QDeadlineTimer(QThread* thread, QDeadlineTimer deadline)
{
    const bool ended = __real__ZN7QThread4waitE14QDeadlineTimer(thread, deadline);
    if (ended)
        __tsan_acquire(thread);
    return ended;
}

namespace {

// Called by Qt before it delivers any event; data is {receiver, event, result}.
bool BeforeDelivery(void** data)
{
    __tsan_acquire(data[1]);
    return false; // delivered as usual
}

const bool kRegistered =
    QInternal::registerCallback(QInternal::EventNotifyCallback, BeforeDelivery);

} // namespace
