// Whole-file reads and writes for the engine, with errors that name the file.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

// A file operation that failed: the message names the file and the cause.
class TFileError : public std::runtime_error {
public:
    TFileError(const std::string& path, const std::string& problem);
    const std::string& Path() const { return path_; }
    const std::string& Problem() const { return problem_; }

private:
    std::string path_;
    std::string problem_;
};

// The text of an errno value, the one place that turns errno into words.
std::string ErrnoText(int err);

// Reads at most maxBytes from the start of the file. Throws TFileError when it cannot be opened or read.
std::vector<unsigned char> ReadFilePrefix(const std::string& path, std::size_t maxBytes);
// Reads the whole file.
std::vector<unsigned char> ReadWholeFile(const std::string& path);

// Writes the bytes to a temporary file beside the target, flushes it and renames it over the target, so
// the target holds either its old content or the new one, never half of it. Throws TFileError.
void WriteFileAtomic(const std::string& path, const void* data, std::size_t size);

bool FileExists(const std::string& path);
