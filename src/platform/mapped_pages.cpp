// Anonymous mappings.
#include "platform/mapped_pages.h"

#include <sys/mman.h>

namespace platform {

void* MapZeroedPages(std::size_t bytes)
{
    // Populated in one call: a page fault for each of its pages would cost more than filling it.
    void* pages = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    return pages == MAP_FAILED ? nullptr : pages;
}

void UnmapPages(void* pages, std::size_t bytes)
{
    if (pages)
        munmap(pages, bytes);
}

} // namespace platform
