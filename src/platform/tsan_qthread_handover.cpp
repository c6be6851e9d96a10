// Linked into the program and the tests only in ThreadSanitizer builds. A QThread's end is
// ordered before the QThread::wait that saw it under locks inside the uninstrumented Qt library
// (and the C library calls made from Qt's libraries are skipped, tests/tsan.supp), so everything
// the thread wrote would look unsynchronised to the waiter. This tells ThreadSanitizer that
// ordering and nothing more; the other hand-over, a call posted to a window, says so itself
// (PostTo). Nothing is suppressed; every other access is checked.
#include <QDeadlineTimer>
#include <QThread>

extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);

// The program's calls of these Qt functions reach the wrappers first (-Wl,--wrap).
extern "C" void __real__ZN7QThread5startENS_8PriorityE(QThread* thread, QThread::Priority priority);
extern "C" bool __real__ZN7QThread4waitE14QDeadlineTimer(QThread* thread, QDeadlineTimer deadline);

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
