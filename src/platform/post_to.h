// The one way work crosses from a worker thread to an object's thread: a call posted to the
// object's event queue, run there in posting order, and dropped when the object has gone.
#pragma once

#include <QObject>

#include <functional>

namespace platform {

// Queues call to run on receiver's thread. Any thread; receiver must be alive at the call (its
// owner joins its workers before it dies), and a call still queued when it dies never runs.
// Calls posted to one receiver by one thread run in their order.
void PostTo(QObject* receiver, std::function<void()> call);

} // namespace platform
