#pragma once

#include "TestFiles.h"
#include "core/common/TextField.h"
#include "core/regions/ImgMaterial.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using testfiles::TempDir;
using testfiles::WorkingDir;

inline void writeText(const std::string& path, const std::string& text)
{
    testfiles::writeFile(path, text);
}

inline std::string readText(const std::string& path)
{
    return testfiles::readFile(path);
}

// What a test expects of one record.
struct Region {
    std::string name;
    int min, max, red, green, blue;
};

inline std::string describe(const imgMaterial& r)
{
    std::ostringstream s;
    s << '"' << r.name << "\" " << r.min << ' ' << r.max << ' ' << r.red << ' ' << r.green << ' '
      << r.blue;
    return s.str();
}

inline imgMaterial makeRecord(const Region& r)
{
    imgMaterial m{};
    lumidra::copyBounded(m.name, r.name.c_str());
    m.min = r.min;
    m.max = r.max;
    m.red = r.red;
    m.green = r.green;
    m.blue = r.blue;
    return m;
}

inline std::string describe(const Region& r)
{
    return describe(makeRecord(r));
}

// A FIFO named like a region file, for the length of a test. A reader that
// waits for a writer would hang the test: after a few seconds a writer comes
// and goes, so the reader sees an empty file and the test fails instead.
class FifoGuard {
public:
    explicit FifoGuard(std::string path) : path_(std::move(path))
    {
        if (::mkfifo(path_.c_str(), 0600) != 0)
            ADD_FAILURE() << "cannot make a FIFO at " << path_;
        watcher_ = std::thread([this] { watch(); });
    }
    FifoGuard(const FifoGuard&) = delete;
    FifoGuard& operator=(const FifoGuard&) = delete;
    ~FifoGuard()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        watcher_.join();
    }

    // Whether a reader had to be let go by a writer.
    bool readerWaited()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return released_;
    }

private:
    void watch()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (wake_.wait_for(lock, std::chrono::seconds(10), [this] { return done_; }))
            return;
        // Opening for writing succeeds only while a reader has the FIFO open.
        while (!done_) {
            const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                ::close(fd);
                released_ = true;
            }
            wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return done_; });
        }
    }

    std::string path_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    bool released_ = false;
    std::thread watcher_;
};
