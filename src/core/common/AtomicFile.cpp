#include "core/common/AtomicFile.h"

#include "core/common/StagedFile.h"

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace lumidra {

SaveOutcome writeFileAtomically(const char* path, const std::function<bool(std::FILE*)>& write)
{
    if (!path || !*path)
        return {"no file name was given"};
    // The files written this way are small: composed in memory first, so a
    // writer that fails part-way never touches the disk.
    char* bytes = nullptr;
    std::size_t size = 0;
    std::FILE* memory = ::open_memstream(&bytes, &size);
    if (!memory)
        return {"out of memory"};
    const bool written = write(memory);
    const bool closed = std::fclose(memory) == 0;
    const std::unique_ptr<char, decltype(&std::free)> owned(bytes, &std::free);
    if (!written || !closed)
        return {"the contents could not be composed"};
    try {
        StagedFile staged(path);
        staged.write(std::string_view(bytes, size));
        staged.commit();
        return {};
    } catch (const std::runtime_error& e) {
        return {e.what()};
    }
}

} // namespace lumidra
