// Linked into the tests only in ThreadSanitizer builds. Qt hands a posted event to the
// receiving thread under a lock of its own (a futex in the uninstrumented Qt library) that
// ThreadSanitizer cannot see, so everything the poster wrote into the event would look
// unsynchronised to the receiver. This tells ThreadSanitizer what that lock guarantees: posting
// an event happens before its delivery. Nothing is suppressed; every other access is checked.
#include <QCoreApplication>
#include <QEvent>

extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);

// The program's calls of QCoreApplication::postEvent reach this first (-Wl,--wrap).
extern "C" void __real__ZN16QCoreApplication9postEventEP7QObjectP6QEventi(QObject* receiver,
                                                                          QEvent* event,
                                                                          int priority);

extern "C" void __wrap__ZN16QCoreApplication9postEventEP7QObjectP6QEventi(QObject* receiver,
                                                                          QEvent* event,
                                                                          int priority)
{
    __tsan_release(event);
    __real__ZN16QCoreApplication9postEventEP7QObjectP6QEventi(receiver, event, priority);
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
