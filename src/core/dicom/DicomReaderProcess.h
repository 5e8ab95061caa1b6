#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

namespace lumidra {

// The reader program the core starts for every DICOM parse: the variable
// LUMIDRA_DICOM_READER if set, else lumidra-dicom-read in libexec/lumidra
// beside the running program's prefix, else where it was installed, else
// where it was built.
std::string dicomReaderPath();

// One run of the reader program over a list of files: started with the list
// on its standard input, its answers read from its standard output. Its
// standard error goes nowhere (GDCM's complaints and an abort's message).
// The process is killed, if still running, when the run is destroyed.
class DicomReaderRun {
public:
    // mode is "scan" or "read". Throws VolumeError when the program cannot
    // be started.
    DicomReaderRun(const char* mode, const std::vector<std::string>& files);
    ~DicomReaderRun();
    DicomReaderRun(const DicomReaderRun&) = delete;
    DicomReaderRun& operator=(const DicomReaderRun&) = delete;

    // The next answer line, without its line end; false at the end of the
    // output, on a line longer than a megabyte, or when the reader says
    // nothing for timeoutMs.
    bool readLine(std::string& line, int timeoutMs);
    // Exactly count bytes into out; false when the output ends first.
    bool readBytes(char* out, std::size_t count, int timeoutMs);
    // Whether the program could not be run at all (exit status 127). Ends
    // the run: the reader is stopped if it still runs.
    bool failedToStart();

private:
    bool fill(int timeoutMs);
    void finish();

    pid_t pid_ = -1;
    int out_ = -1;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    int status_ = -1;
};

} // namespace lumidra
