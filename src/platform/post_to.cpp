// Posting is Qt's queued call; under ThreadSanitizer it also tells the sanitizer that the
// poster's writes happen before the call, an ordering Qt keeps under locks the sanitizer
// cannot see.
#include "platform/post_to.h"

#include <QPointer>

#include <memory>

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

void PostTo(QObject* receiver, std::function<void()> call)
{
    auto posted = std::make_shared<std::function<void()>>(std::move(call));
#if defined(__SANITIZE_THREAD__)
    __tsan_release(posted.get());
#endif
    QMetaObject::invokeMethod(
        receiver,
        [guard = QPointer<QObject>(receiver), posted] {
#if defined(__SANITIZE_THREAD__)
            __tsan_acquire(posted.get());
#endif
            if (guard)
                (*posted)();
        },
        Qt::QueuedConnection);
}

} // namespace platform
