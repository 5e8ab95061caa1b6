#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testfiles {

// A FIFO for the length of a test. A reader that
// waits for a writer would hang the test: after ten seconds a writer comes and
// goes, so such a reader sees an empty file and the test fails instead.
class FifoGuard {
public:
    explicit FifoGuard(const std::string& path)
    {
        if (::mkfifo(path.c_str(), 0600) != 0)
            ADD_FAILURE() << "cannot make a FIFO at " << path;
        watcher_ = std::thread([this, path] {
            for (int tick = 0; !done_; ++tick) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                // Opening for writing succeeds only while a reader has it open.
                const int fd = tick < 200 ? -1 : ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0 && ::close(fd) == 0)
                    readerWaited_ = true;
            }
        });
    }
    FifoGuard(const FifoGuard&) = delete;
    FifoGuard& operator=(const FifoGuard&) = delete;
    ~FifoGuard()
    {
        done_ = true;
        watcher_.join();
    }
    bool readerWaited() const { return readerWaited_; }

private:
    std::atomic<bool> done_ = false;
    std::atomic<bool> readerWaited_ = false;
    std::thread watcher_;
};

} // namespace testfiles
