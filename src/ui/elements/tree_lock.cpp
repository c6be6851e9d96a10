// The one tree lock of the process.
#include "ui/elements/tree_lock.h"

namespace ui {

std::recursive_mutex& TreeLock()
{
    static std::recursive_mutex lock;
    return lock;
}

} // namespace ui
