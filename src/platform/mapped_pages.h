// Memory taken straight from the system in whole pages, for buffers that should go back to it
// as soon as they are dropped rather than stay in an allocator's arena.
#pragma once

#include <cstddef>

namespace platform {

// bytes of zeroed, readable and writable private pages, populated at once; null when the system
// refuses. Give them back with UnmapPages.
void* MapZeroedPages(std::size_t bytes);
// Gives back what MapZeroedPages returned; bytes as asked for then.
void UnmapPages(void* pages, std::size_t bytes);

} // namespace platform
