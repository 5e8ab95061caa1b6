#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace lumidra {

// The reader program the core starts for every DICOM parse: the variable
// LUMIDRA_DICOM_READER if set, else lumidra-dicom-read in libexec/lumidra
// beside the running program's prefix, else where it was installed, else
// where it was built.
std::string dicomReaderPath();

// One reader process serving lists of files: each list sent on its standard
// input with its mode, the answers read from its standard output. Its
// standard error goes nowhere (GDCM's complaints and an abort's message).
// The process is killed, if still running, when the run is destroyed.
class DicomReaderRun {
public:
    // Throws VolumeError when the program cannot be started.
    DicomReaderRun();
    ~DicomReaderRun();
    DicomReaderRun(const DicomReaderRun&) = delete;
    DicomReaderRun& operator=(const DicomReaderRun&) = delete;

    // The next answer line, without its line end; false at the end of the
    // output, on a line longer than a megabyte, or when the reader says
    // nothing for timeoutMs.
    bool readLine(std::string& line, int timeoutMs);
    // Exactly count bytes into out; false when the output ends first.
    bool readBytes(char* out, std::size_t count, int timeoutMs);
    // Gives the reader a list to work on in mode "scan" or "read"; the next
    // list only once every answer to this one was read.
    void send(const char* mode, const std::vector<std::string>& files);
    // Whether the process still runs and has been answered in full.
    bool running() const;
    const std::string& program() const { return program_; }

    // Whether the program could not be run at all (exit status 127). Ends
    // the run: the reader is stopped if it still runs.
    bool failedToStart();

private:
    bool fill(int timeoutMs);
    void finish();

    std::string program_;
    pid_t pid_ = -1;
    int in_ = -1;
    std::thread sender_;
    int out_ = -1;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    int status_ = -1;
};

// GDCM's start-up (its dictionaries) costs a reader tens of milliseconds,
// so readers are kept for the next list: one that has answered a list in
// full, or was started ahead of need, waits here (up to kWaitingReaders).
constexpr std::size_t kWaitingReaders = 4;
void startDicomReadersAhead(int count);
void keepDicomReader(std::unique_ptr<DicomReaderRun> run);
// A waiting reader of the current program, or a new one. Never null;
// throws VolumeError as the constructor does.
std::unique_ptr<DicomReaderRun> takeDicomReader();
// Ends the waiting readers.
void stopWaitingDicomReaders();

} // namespace lumidra
