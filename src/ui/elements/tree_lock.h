// The process-wide tree lock: one re-entrant mutex that serialises every read and change of a
// hosted element tree (render pass, pointer routing, root replacement, command handling).
#pragma once

#include <mutex>

namespace ui {

std::recursive_mutex& TreeLock();

// Holds the tree lock for a scope; the owning thread may take it again.
using TreeLockGuard = std::lock_guard<std::recursive_mutex>;

} // namespace ui
