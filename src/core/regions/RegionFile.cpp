#include "core/regions/RegionFile.h"

#include "core/common/Diagnostics.h"
#include "core/common/FileHandle.h"
#include "core/common/TextField.h"

#include <climits>

namespace lumidra {

namespace {

// The white space of the C locale, fixed so the reading does not depend on
// the program's locale.
bool isSeparator(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads the next word into word (kMaxRegionWord + 1 bytes). The character
// that ended the word, or EOF, goes to stop. False when no word is left.
bool readWord(std::FILE* file, char* word, int* stop)
{
    int c = std::getc(file);
    while (c != EOF && isSeparator(c))
        c = std::getc(file);
    if (c == EOF)
        return false;
    int length = 0;
    for (; c != EOF && !isSeparator(c); c = std::getc(file)) {
        // Past the limit the word is consumed but not kept, so its tail
        // cannot turn up as a word of its own.
        if (length < kMaxRegionWord)
            word[length++] = static_cast<char>(c);
    }
    word[length] = '\0';
    *stop = c;
    return true;
}

// Skips the rest of a comment line. False when the file ends first.
bool skipLine(std::FILE* file, int stop)
{
    int c = stop;
    while (c != '\n') {
        if (c == EOF)
            return false;
        c = std::getc(file);
    }
    return true;
}

// atoi without its undefined overflow: out-of-range values saturate.
int wordValue(const char* word)
{
    constexpr long long kLimit = static_cast<long long>(INT_MAX) + 1;
    bool negative = false;
    if (*word == '+' || *word == '-')
        negative = *word++ == '-';
    long long magnitude = 0;
    for (; *word >= '0' && *word <= '9'; ++word) {
        magnitude = magnitude * 10 + (*word - '0');
        if (magnitude > kLimit)
            magnitude = kLimit;
    }
    if (negative)
        return static_cast<int>(-magnitude);
    return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

int endOfFile(bool* atEnd)
{
    if (atEnd)
        *atEnd = true;
    return 0;
}

} // namespace

int readRegionToken(std::FILE* file, char* name, bool* atEnd)
{
    char word[kMaxRegionWord + 1];
    int stop = EOF;
    for (;;) {
        if (!readWord(file, word, &stop))
            return endOfFile(atEnd);
        if (word[0] != '#')
            break;
        if (name)
            copyBounded(name, kRegionNameBuffer, word + 1);
        if (!skipLine(file, stop))
            return endOfFile(atEnd);
    }
    if (atEnd)
        *atEnd = false;
    return wordValue(word);
}

int readRegionStream(std::vector<imgMaterial>& out, std::FILE* file, std::size_t keep)
{
    out.clear();
    bool atEnd = false;
    const int count = readRegionToken(file, nullptr, &atEnd);
    // Kept across records: a record without a comment takes the last name.
    char name[kRegionNameBuffer] = {};
    // The vector grows with what the file holds, never with what its count
    // claims, and never past what the caller keeps.
    int given = 0;
    for (; given < count; ++given) {
        imgMaterial record{};
        record.min = readRegionToken(file, name, &atEnd);
        if (atEnd)
            break;
        copyBounded(record.name, name);
        record.max = readRegionToken(file, nullptr);
        record.red = readRegionToken(file, nullptr);
        record.green = readRegionToken(file, nullptr);
        record.blue = readRegionToken(file, nullptr);
        if (out.size() < keep)
            out.push_back(record);
    }
    return given;
}

int readRegionFile(std::vector<imgMaterial>& out, const char* path, std::size_t keep)
{
    out.clear();
    if (!path)
        path = kDefaultRegionFile;
    // A directory reads as empty, a device such as /dev/zero never ends and
    // a FIFO would block the opening itself: only plain files count.
    FileHandle file = FileHandle::openForReading(path);
    std::FILE* stream = file.isRegularFile() ? file.stream("rb") : nullptr;
    if (!stream) {
        diag("File not found: %s\n", path);
        return -1;
    }
    return readRegionStream(out, stream, keep);
}

} // namespace lumidra
