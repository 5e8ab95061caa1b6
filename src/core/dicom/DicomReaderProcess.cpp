#include "core/dicom/DicomReaderProcess.h"

#include "core/volume/VolumeError.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

extern char** environ;

namespace lumidra {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxLine = 1 << 20;
constexpr const char* kReaderName = "lumidra-dicom-read";

bool executable(const fs::path& path)
{
    return ::access(path.c_str(), X_OK) == 0 && !fs::is_directory(path);
}

// Writes the whole list; a reader that died early makes this stop, not the
// caller: the list goes through a socket, which never raises SIGPIPE.
void sendList(int fd, const std::string& list)
{
    const char* p = list.data();
    std::size_t left = list.size();
    while (left > 0) {
        const ssize_t n = ::send(fd, p, left, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

} // namespace

std::string dicomReaderPath()
{
    if (const char* given = std::getenv("LUMIDRA_DICOM_READER"); given && *given)
        return given;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const fs::path beside = self.parent_path().parent_path() / "libexec/lumidra" / kReaderName;
        if (executable(beside))
            return beside.lexically_normal().string();
    }
    const fs::path installed = fs::path(LUMIDRA_INSTALLED_LIBEXEC_DIR) / kReaderName;
    if (executable(installed))
        return installed.string();
    return (fs::path(LUMIDRA_BUILD_LIBEXEC_DIR) / kReaderName).string();
}

DicomReaderRun::DicomReaderRun() : program_(dicomReaderPath()), buffer_(1 << 16)
{
    const std::string& program = program_;
    int in[2];
    int out[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0)
        throw VolumeError(std::string("cannot start the DICOM reader: ") + std::strerror(errno));
    if (::pipe2(out, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(in[0]);
        ::close(in[1]);
        throw VolumeError(std::string("cannot start the DICOM reader: ") + std::strerror(error));
    }
    // A larger pipe: fewer turns between the reader and the caller per image.
    ::fcntl(out[0], F_SETPIPE_SZ, 1 << 20);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[1], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // The child starts with default signal handling, whatever the caller set.
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attr, &all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    std::string serve = "serve";
    char* argv[] = {const_cast<char*>(program.c_str()), serve.data(), nullptr};
    const int error = ::posix_spawn(&pid_, program.c_str(), &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(in[1]);
    ::close(out[1]);
    if (error != 0) {
        ::close(in[0]);
        ::close(out[0]);
        pid_ = -1;
        throw VolumeError("cannot start the DICOM reader '" + program +
                          "': " + std::strerror(error));
    }
    out_ = out[0];
    in_ = in[0];
}

void DicomReaderRun::send(const char* mode, const std::vector<std::string>& files)
{
    if (sender_.joinable())
        sender_.join();
    std::string list = mode;
    list.push_back('\0');
    for (const std::string& file : files)
        list.append(file).push_back('\0');
    list.push_back('\0');
    // The reader takes the whole list before it answers, so a long list is
    // written beside the reading of the answers, never before it.
    if (list.size() < 32768)
        sendList(in_, list);
    else
        sender_ = std::thread([fd = in_, list = std::move(list)] { sendList(fd, list); });
}

bool DicomReaderRun::running() const
{
    int status = 0;
    return pid_ > 0 && status_ < 0 && begin_ == end_ && ::waitpid(pid_, &status, WNOHANG) == 0;
}

DicomReaderRun::~DicomReaderRun()
{
    if (pid_ > 0 && status_ < 0)
        ::kill(pid_, SIGKILL);
    if (sender_.joinable())
        sender_.join();
    if (in_ >= 0)
        ::close(in_);
    if (out_ >= 0)
        ::close(out_);
    if (pid_ > 0 && status_ < 0) {
        ::kill(pid_, SIGKILL);
        finish();
    }
}

void DicomReaderRun::finish()
{
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool DicomReaderRun::failedToStart()
{
    if (status_ < 0 && pid_ > 0) {
        if (out_ >= 0) {
            ::close(out_);
            out_ = -1;
        }
        // A reader that hangs is ended; one that has exited keeps its status.
        ::kill(pid_, SIGKILL);
        finish();
    }
    return status_ == 127;
}

bool DicomReaderRun::fill(int timeoutMs)
{
    if (out_ < 0)
        return false;
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == buffer_.size())
        buffer_.resize(buffer_.size() * 2);
    pollfd p{out_, POLLIN, 0};
    int ready;
    while ((ready = ::poll(&p, 1, timeoutMs)) < 0 && errno == EINTR) {
    }
    if (ready <= 0)
        return false;
    ssize_t n;
    while ((n = ::read(out_, buffer_.data() + end_, buffer_.size() - end_)) < 0 && errno == EINTR) {
    }
    if (n <= 0)
        return false;
    end_ += static_cast<std::size_t>(n);
    return true;
}

bool DicomReaderRun::readLine(std::string& line, int timeoutMs)
{
    for (;;) {
        const char* start = buffer_.data() + begin_;
        if (const void* nl = std::memchr(start, '\n', end_ - begin_)) {
            const std::size_t length =
                static_cast<std::size_t>(static_cast<const char*>(nl) - start);
            line.assign(start, length);
            begin_ += length + 1;
            return true;
        }
        if (end_ - begin_ > kMaxLine || !fill(timeoutMs))
            return false;
    }
}

bool DicomReaderRun::readBytes(char* out, std::size_t count, int timeoutMs)
{
    const std::size_t buffered = std::min(count, end_ - begin_);
    std::memcpy(out, buffer_.data() + begin_, buffered);
    begin_ += buffered;
    out += buffered;
    count -= buffered;
    while (count > 0) {
        pollfd p{out_, POLLIN, 0};
        int ready;
        while ((ready = ::poll(&p, 1, timeoutMs)) < 0 && errno == EINTR) {
        }
        if (ready <= 0)
            return false;
        const ssize_t n = ::read(out_, out, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        out += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

namespace {

std::mutex waitingMutex;
std::vector<std::unique_ptr<DicomReaderRun>>& waitingReaders()
{
    static std::vector<std::unique_ptr<DicomReaderRun>> readers;
    return readers;
}

} // namespace

void startDicomReadersAhead(int count)
{
    std::lock_guard<std::mutex> lock(waitingMutex);
    auto& waiting = waitingReaders();
    try {
        while (waiting.size() <
               std::min<std::size_t>(static_cast<std::size_t>(count), kWaitingReaders))
            waiting.push_back(std::make_unique<DicomReaderRun>());
    } catch (const std::exception&) {
        // Started when needed instead, where a failure is reported.
    }
}

void keepDicomReader(std::unique_ptr<DicomReaderRun> run)
{
    if (!run || !run->running())
        return;
    std::lock_guard<std::mutex> lock(waitingMutex);
    auto& waiting = waitingReaders();
    if (waiting.size() < kWaitingReaders)
        waiting.push_back(std::move(run));
}

void stopWaitingDicomReaders()
{
    std::vector<std::unique_ptr<DicomReaderRun>> ended;
    std::lock_guard<std::mutex> lock(waitingMutex);
    ended.swap(waitingReaders());
}

std::unique_ptr<DicomReaderRun> takeDicomReader()
{
    const std::string program = dicomReaderPath();
    {
        std::lock_guard<std::mutex> lock(waitingMutex);
        auto& waiting = waitingReaders();
        while (!waiting.empty()) {
            std::unique_ptr<DicomReaderRun> run = std::move(waiting.back());
            waiting.pop_back();
            if (run->program() == program && run->running())
                return run;
        }
    }
    return std::make_unique<DicomReaderRun>();
}

} // namespace lumidra
