#pragma once

#include <cstddef>
#include <cstdint>

#include <sys/mman.h>
#include <unistd.h>

namespace lumidra {

// Asks for transparent huge pages over the whole pages of a block that is
// about to be filled: a block of tens of megabytes then costs a few dozen
// page faults instead of thousands. Only advice: where huge pages are off,
// nothing changes.
inline void adviseHugePages(void* block, std::size_t bytes)
{
    static const auto pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = (reinterpret_cast<std::uintptr_t>(block) + pageSize - 1) & ~(pageSize - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(pageSize - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

} // namespace lumidra
