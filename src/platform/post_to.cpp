// Posting is Qt's queued call; under ThreadSanitizer it also tells the sanitizer that the
// poster's writes happen before the call, an ordering Qt keeps under locks the sanitizer
// cannot see.
#include "platform/post_to.h"

#include <QPointer>

#include <utility>

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define __SANITIZE_THREAD__ 1
#endif
#endif

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace platform {
namespace {

// The call as Qt keeps it until it runs (or is dropped) on the receiver's thread. Qt moves it
// into its queued call object last, and nothing of the posting thread writes that object
// afterwards: so a release at each construction and an acquire before each use, keyed by the
// copy's own address, order everything the poster wrote (the call's captures, Qt's object
// around it) before the receiver reads any of it.
class QueuedCall {
public:
    QueuedCall(QObject* receiver, std::function<void()> call)
        : m_guard(receiver), m_call(std::move(call))
    {
        Published();
    }
    QueuedCall(QueuedCall&& other) noexcept
        : m_guard(std::move(other.m_guard)), m_call(std::move(other.m_call))
    {
        Published();
    }
    QueuedCall(const QueuedCall& other) : m_guard(other.m_guard), m_call(other.m_call)
    {
        Published();
    }
    QueuedCall& operator=(const QueuedCall&) = delete;
    QueuedCall& operator=(QueuedCall&&) = delete;
    ~QueuedCall() { Received(); }

    void operator()()
    {
        Received();
        if (m_guard && m_call)
            m_call();
    }

private:
    void Published()
    {
#if defined(__SANITIZE_THREAD__)
        __tsan_release(this);
#endif
    }
    void Received()
    {
#if defined(__SANITIZE_THREAD__)
        __tsan_acquire(this);
#endif
    }

    QPointer<QObject> m_guard;
    std::function<void()> m_call;
};

} // namespace

void PostTo(QObject* receiver, std::function<void()> call)
{
    QMetaObject::invokeMethod(receiver, QueuedCall(receiver, std::move(call)),
                              Qt::QueuedConnection);
}

} // namespace platform
