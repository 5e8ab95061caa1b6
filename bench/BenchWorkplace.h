#pragma once

// For the benchmarks that build the main window: it reads ./data/, so each
// run starts in a scratch directory whose data/ links to the image directory;
// and the loader's "File opened" lines are kept out of the figures.
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace bench {

struct Workplace {
    explicit Workplace(const std::filesystem::path& imageDir)
    {
        namespace fs = std::filesystem;
        dir = fs::temp_directory_path() / ("lumidra-bench-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        fs::remove(dir / "data");
        fs::create_directory_symlink(fs::absolute(imageDir), dir / "data");
        previous = fs::current_path();
        fs::current_path(dir);
    }
    ~Workplace()
    {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(dir);
    }
    Workplace(const Workplace&) = delete;
    Workplace& operator=(const Workplace&) = delete;

    std::filesystem::path dir, previous;
};

struct QuietStdout {
    QuietStdout()
    {
        std::fflush(stdout);
        saved = ::dup(1);
        if (!std::freopen("/dev/null", "w", stdout))
            std::perror("/dev/null");
    }
    ~QuietStdout()
    {
        std::fflush(stdout);
        ::dup2(saved, 1);
        ::close(saved);
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

    int saved;
};

} // namespace bench
