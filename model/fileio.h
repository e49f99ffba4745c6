// Whole-file reads and writes for the engine, with errors that name the file.
//
// Every file the engine writes goes through one atomic-write path: the bytes go to a hidden temporary
// beside the file, are flushed to the disk, and the temporary is renamed over the file, whose folder is
// then flushed too. So after a write returns the file holds the new bytes even across a power cut, and
// at no moment does it hold half of them. The path also keeps what the user set up:
//  - only a regular file is ever replaced: an existing device or FIFO (a terminal, /dev/null, a pipe
//    the user made, /dev/stdout) is written into directly, as Unix users expect; a folder, a socket or
//    a block device at the target is refused by name;
//  - the temporary is held (flock) by its writer until it is renamed or removed, so the leftovers of a
//    killed writer are told from the temporaries of a running one, and each write first removes the
//    leftovers of its folder (foldercommit.h);
//  - a symbolic link is written through: its target gets the new bytes and the link stays;
//  - a replaced file keeps its permission bits (and, where allowed, its owner and group); a new file
//    gets the ones the umask leaves of 0666;
//  - the temporary's name is never longer than the file's own name (or 16 bytes for a shorter one), so
//    every name the file system accepts can be written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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

// A file refused before it is read because it is larger than its format can hold.
class TFileTooLarge : public TFileError {
   public:
    using TFileError::TFileError;
};

// A file refused because it is a folder, a FIFO, a device or a socket where a regular file is needed.
class TNotRegularFile : public TFileError {
   public:
    using TFileError::TFileError;
};

// The text of an errno value, the one place that turns errno into words.
std::string ErrnoText(int err);

// Every read refuses, by name, anything but a regular file: a FIFO or a terminal would block the
// program, a device would feed it without end.
//
// Reads at most maxBytes from the start of the file. Throws TFileError when it cannot be opened or read.
std::vector<unsigned char> ReadFilePrefix(const std::string& path, std::size_t maxBytes);
// The same into dest, returning how many bytes were read. Nothing is written when the file cannot be
// opened; a read that fails part way may leave some bytes written.
std::size_t ReadFilePrefix(const std::string& path, unsigned char* dest, std::size_t maxBytes);
// Reads the whole file, which must hold at most maxBytes: a larger file (or a device that keeps
// giving bytes) is refused with TFileTooLarge, before reading when its size is known. `kind` names what
// the file should be in that message ("a text sequence file"). Throws TFileError.
std::vector<unsigned char> ReadWholeFile(const std::string& path, std::size_t maxBytes,
                                         const std::string& kind);
// The same with the bound of any file the engine reads whole, DefaultReadLimit.
std::vector<unsigned char> ReadWholeFile(const std::string& path);
constexpr std::size_t DefaultReadLimit = std::size_t{64} << 20;

// Writes the bytes to `path` by the atomic-write path above. Throws TFileError naming `path`.
void WriteFileAtomic(const std::string& path, const void* data, std::size_t size);

// The steps of the atomic-write path, for writers that replace several files at once (a set save):
// write every temporary, flush them all, rename each, flush the folders.
struct TPendingFile {
    std::string Temporary;      // the hidden file holding the new bytes
    std::string Target;         // the path as the caller gave it (for messages)
    std::string Destination;    // the file the rename replaces: Target, or what its links lead to
    std::shared_ptr<int> Hold;  // the open, locked temporary; released with the last copy
};
// Where a write to `path` lands: the file that a symbolic link, or a chain of them, leads to; `path`
// itself when it is no link. A link loop is refused with TFileError.
std::string WriteDestinationOf(const std::string& path);
// Creates the hidden temporary beside the destination of `target` with the permissions above and writes
// the bytes whole; it stays held until the returned file's last copy is gone. A destination that exists
// and is not a regular file is refused. On failure nothing is left behind; throws TFileError naming
// `target`.
TPendingFile WriteTemporaryFor(const std::string& target, const void* data, std::size_t size);
// Flushes the temporaries' bytes to the disk. Throws TFileError naming the target of the one that failed.
void FlushPendingFiles(const std::vector<TPendingFile>& files);
// Renames the temporary over its destination. Throws TFileError naming the target.
void CommitPendingFile(const TPendingFile& file);
// Removes the temporary (after a failure); never throws.
void DiscardPendingFile(const TPendingFile& file) noexcept;
// Flushes a folder's entries (the renames just made in it) to the disk. Throws TFileError.
void FlushFolder(const std::string& folder);
// The folder a path lies in ("." for a bare name).
std::string FolderOf(const std::string& path);

// A hidden name beside `path` for one of the atomic-write path's own files: `kind` 't' for a
// temporary, 'o' for a previous version kept aside. Never longer than the file's name (or 16 bytes),
// never ending in the file's extension, so a left-over is not taken for the file it stood in for.
std::string HiddenNameBeside(const std::string& path, char kind);
// Whether a file name is one of those hidden names.
bool IsHiddenWriteName(const std::string& fileName);

bool FileExists(const std::string& path);

// Whether the path names something that is not a regular file (following links): a folder, a device,
// a FIFO, a socket. A missing path is none of these.
bool IsSpecialFile(const std::string& path);
