// Posting is Qt's queued call; under ThreadSanitizer it also shows the sanitizer that the
// poster's writes happen before the call, an ordering Qt keeps under locks the sanitizer
// cannot see.
#include "platform/post_to.h"

#include <QPointer>

#include <mutex>
#include <utility>

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define __SANITIZE_THREAD__ 1
#endif
#endif

namespace platform {
namespace {

// Qt copies the call into storage of its own inside the post, so a release made before the
// post would not cover that copy, and one made after it could come too late. Posting under
// this lock, and taking it before the copy is read or destroyed on the receiver's thread,
// makes everything the poster wrote, the copy included, happen before. Recursive: the poster's
// own temporaries are destroyed while it holds the lock.
[[maybe_unused]] std::recursive_mutex& HandOverLock()
{
    static std::recursive_mutex mutex;
    return mutex;
}

void SeeHandOver()
{
#if defined(__SANITIZE_THREAD__)
    std::lock_guard lock(HandOverLock());
#endif
}

// The call as Qt keeps it until it runs, or is dropped with its receiver.
class PostedCall {
public:
    PostedCall(QObject* receiver, std::function<void()> call)
        : m_guard(receiver), m_call(std::move(call))
    {
    }
    PostedCall(PostedCall&&) = default;
    PostedCall(const PostedCall&) = delete;
    PostedCall& operator=(const PostedCall&) = delete;
    PostedCall& operator=(PostedCall&&) = delete;
    ~PostedCall() { SeeHandOver(); }

    void operator()()
    {
        SeeHandOver();
        if (m_guard && m_call)
            m_call();
    }

private:
    QPointer<QObject> m_guard;
    std::function<void()> m_call;
};

} // namespace

void PostTo(QObject* receiver, std::function<void()> call)
{
#if defined(__SANITIZE_THREAD__)
    std::lock_guard lock(HandOverLock());
#endif
    QMetaObject::invokeMethod(receiver, PostedCall(receiver, std::move(call)),
                              Qt::QueuedConnection);
}

} // namespace platform
