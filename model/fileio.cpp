#include "model/fileio.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "model/foldercommit.h"

TFileError::TFileError(const std::string& path, const std::string& problem)
    : std::runtime_error(path + ": " + problem), path_(path), problem_(problem) {}

std::string ErrnoText(int err) { return std::strerror(err); }

namespace {

class TFd {
   public:
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int get() const { return fd_; }
    int release() {
        int f = fd_;
        fd_ = -1;
        return f;
    }

   private:
    int fd_;
};

// Writes every byte, through short writes and interruptions; false with errno set on failure.
bool WriteAll(int fd, const void* data, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t put = ::write(fd, p, size);
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

std::string KindOfSpecial(mode_t mode) {
    if (S_ISDIR(mode)) return "is a folder, not a file";
    if (S_ISFIFO(mode)) return "is a FIFO (named pipe), not a regular file";
    if (S_ISCHR(mode)) return "is a character device, not a regular file";
    if (S_ISBLK(mode)) return "is a block device, not a regular file";
    if (S_ISSOCK(mode)) return "is a socket, not a regular file";
    return "is not a regular file";
}

// Opens a file for reading; anything but a regular file is refused. Opened without blocking, so that
// a FIFO without a writer does not hold the program before it is refused.
int OpenForReading(const std::string& path) {
    TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) throw TFileError(path, "cannot open: " + ErrnoText(errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throw TFileError(path, "cannot open: " + ErrnoText(errno));
    if (!S_ISREG(st.st_mode)) throw TNotRegularFile(path, "cannot read: " + KindOfSpecial(st.st_mode));
    return fd.release();
}

std::string SizeText(std::size_t bytes) {
    if (bytes >= (std::size_t{1} << 20) && bytes % (std::size_t{1} << 20) == 0)
        return std::to_string(bytes >> 20) + " MiB";
    return std::to_string(bytes) + " bytes";
}

// Reads up to maxBytes; with `refuseMore`, one byte beyond them makes the file too large.
std::vector<unsigned char> ReadUpTo(const std::string& path, std::size_t maxBytes, bool refuseMore,
                                    const std::string& kind) {
    TFd fd(OpenForReading(path));
    auto tooLarge = [&] {
        return TFileTooLarge(path, "larger than " + SizeText(maxBytes) + ", more than " + kind + " can hold");
    };
    struct stat st {};
    std::size_t expected = 0;
    if (::fstat(fd.get(), &st) == 0 && st.st_size > 0) {
        const auto size = static_cast<std::size_t>(st.st_size);
        if (refuseMore && size > maxBytes) throw tooLarge();
        expected = std::min(size, maxBytes);
    }
    std::vector<unsigned char> out;
    out.reserve(expected);
    unsigned char buf[65536];
    for (;;) {
        // Reading one byte past the bound tells a device that keeps giving bytes from a full file.
        const std::size_t limit = refuseMore ? maxBytes + 1 : maxBytes;
        if (out.size() >= limit) break;
        const std::size_t want = std::min(sizeof buf, limit - out.size());
        ssize_t got = ::read(fd.get(), buf, want);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw TFileError(path, "cannot read: " + ErrnoText(errno));
        }
        if (got == 0) break;
        out.insert(out.end(), buf, buf + got);
    }
    if (refuseMore && out.size() > maxBytes) throw tooLarge();
    return out;
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Hidden names are made of the file's own name, cut, and a tail of this form: "~" kind and eight
// letters or digits.
constexpr std::size_t HiddenTailLength = 10;
// Names of at most this many bytes are legal on every file system the program writes to, so a short
// name's temporary may be this long.
constexpr std::size_t ShortNameRoom = 16;

std::string RandomLetters(std::size_t n) {
    static std::atomic<unsigned long long> counter{0};
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    unsigned long long v =
        static_cast<unsigned long long>(::getpid()) * 0x9E3779B97F4A7C15ull ^
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (++counter * 0xBF58476D1CE4E5B9ull);
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        v ^= v >> 31;
        v *= 0x94D049BB133111EBull;
        out += letters[v % 36];
        v ^= v >> 29;
    }
    return out;
}

// The permissions a replaced file keeps; its owner and group where the process may give them.
void TakeOverAttributes(int fd, const std::string& destination) {
    struct stat st {};
    if (::stat(destination.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
        // Only the owner's own group or a privileged process can keep them; the file is then the
        // writer's, as any editor leaves it.
    }
    ::fchmod(fd, st.st_mode & 07777);
}

}  // namespace

std::size_t ReadFilePrefix(const std::string& path, unsigned char* dest, std::size_t maxBytes) {
    TFd fd(OpenForReading(path));
    std::size_t got = 0;
    while (got < maxBytes) {
        const ssize_t n = ::read(fd.get(), dest + got, maxBytes - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw TFileError(path, "cannot read: " + ErrnoText(errno));
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

std::vector<unsigned char> ReadFilePrefix(const std::string& path, std::size_t maxBytes) {
    std::vector<unsigned char> out(maxBytes);
    out.resize(ReadFilePrefix(path, out.data(), maxBytes));
    return out;
}

std::vector<unsigned char> ReadWholeFile(const std::string& path, std::size_t maxBytes,
                                         const std::string& kind) {
    return ReadUpTo(path, maxBytes, true, kind);
}

std::vector<unsigned char> ReadWholeFile(const std::string& path) {
    return ReadWholeFile(path, DefaultReadLimit, "any file of this program");
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string HiddenNameBeside(const std::string& path, char kind) {
    const std::string base = BaseName(path);
    const std::size_t room = std::max(base.size(), ShortNameRoom);
    const std::size_t keep = std::min(base.size(), room - 1 - HiddenTailLength);
    std::string name(1, '.');
    name.append(base, 0, keep);
    name += '~';
    name += kind;
    name += RandomLetters(HiddenTailLength - 2);
    const std::string folder = FolderOf(path);
    return path.find('/') == std::string::npos ? name : (folder == "/" ? "/" : folder + "/") + name;
}

bool IsHiddenWriteName(const std::string& fileName) {
    const std::size_t n = fileName.size();
    if (n < 1 + HiddenTailLength || fileName[0] != '.') return false;
    const std::size_t tail = n - HiddenTailLength;
    if (fileName[tail] != '~' || (fileName[tail + 1] != 't' && fileName[tail + 1] != 'o')) return false;
    return std::all_of(fileName.begin() + static_cast<std::ptrdiff_t>(tail + 2), fileName.end(),
                       [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); });
}

std::string WriteDestinationOf(const std::string& path) {
    // As many links as the kernel itself follows before it calls a chain a loop.
    constexpr int MaxLinks = 40;
    std::string at = path;
    for (int hop = 0; hop <= MaxLinks; ++hop) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
        std::vector<char> buf(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        ssize_t len = ::readlink(at.c_str(), buf.data(), buf.size());
        if (len < 0) throw TFileError(path, "cannot read the link: " + ErrnoText(errno));
        std::string next(buf.data(), static_cast<std::size_t>(len));
        if (next.empty()) return at;
        if (next[0] != '/') {
            const std::string folder = FolderOf(at);
            next = at.find('/') == std::string::npos ? next : (folder == "/" ? "/" : folder + "/") + next;
        }
        at = next;
    }
    throw TFileError(path, "cannot write through the link: " + ErrnoText(ELOOP));
}

TPendingFile WriteTemporaryFor(const std::string& target, const void* data, std::size_t size) {
    TPendingFile file{"", target, WriteDestinationOf(target), nullptr};
    struct stat dst {};
    if (::stat(file.Destination.c_str(), &dst) == 0 && !S_ISREG(dst.st_mode))
        throw TFileError(target, "cannot replace: " + KindOfSpecial(dst.st_mode));
    // Created exclusively; 0666 leaves the permissions of a new file to the umask.
    constexpr int Attempts = 100;
    int raw = -1;
    for (int attempt = 0; raw < 0; ++attempt) {
        file.Temporary = HiddenNameBeside(file.Destination, 't');
        raw = ::open(file.Temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (raw < 0 && errno == EMFILE && attempt == 0) {
            // A save of a large set holds one temporary per sequence until its commit.
            struct rlimit lim {};
            if (::getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max) {
                lim.rlim_cur = lim.rlim_max;
                ::setrlimit(RLIMIT_NOFILE, &lim);
                continue;
            }
        }
        if (raw < 0 && (errno != EEXIST || attempt >= Attempts))
            throw TFileError(target, "cannot create a temporary file: " + ErrnoText(errno));
        if (raw < 0) continue;
        // Held from now on. A cleaner that took the fresh file for a leftover before the lock was
        // taken has removed it: start again under another name.
        struct stat st {};
        if (::flock(raw, LOCK_EX | LOCK_NB) != 0 || ::fstat(raw, &st) != 0 || st.st_nlink == 0) {
            ::close(raw);
            raw = -1;
            if (attempt >= Attempts)
                throw TFileError(target, "cannot create a temporary file: it kept vanishing");
        }
    }
    file.Hold = std::shared_ptr<int>(new int(raw), [](const int* fd) {
        ::close(*fd);
        delete fd;
    });
    auto fail = [&](const std::string& what, int err) {
        ::unlink(file.Temporary.c_str());
        throw TFileError(target, what + ": " + ErrnoText(err));
    };
    TakeOverAttributes(raw, file.Destination);
    if (!WriteAll(raw, data, size)) fail("cannot write", errno);
    // Start writing the bytes out now, so that the flush of many files waits for them together.
    if (size > 0) ::sync_file_range(raw, 0, 0, SYNC_FILE_RANGE_WRITE);
    return file;
}

void FlushPendingFiles(const std::vector<TPendingFile>& files) {
    for (const TPendingFile& f : files) {
        int fd = f.Hold ? *f.Hold : -1;
        TFd opened(fd < 0 ? ::open(f.Temporary.c_str(), O_RDONLY | O_CLOEXEC) : -1);
        if (fd < 0) fd = opened.get();
        if (fd < 0) throw TFileError(f.Target, "cannot flush: " + ErrnoText(errno));
        // A file system that cannot flush (EINVAL) keeps nothing in memory to lose.
        if (::fsync(fd) != 0 && errno != EINVAL)
            throw TFileError(f.Target, "cannot flush: " + ErrnoText(errno));
    }
}

void CommitPendingFile(const TPendingFile& file) {
    if (::rename(file.Temporary.c_str(), file.Destination.c_str()) != 0)
        throw TFileError(file.Target, "cannot replace: " + ErrnoText(errno));
}

void DiscardPendingFile(const TPendingFile& file) noexcept {
    if (!file.Temporary.empty()) ::unlink(file.Temporary.c_str());
}

void FlushFolder(const std::string& folder) {
    TFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) throw TFileError(folder, "cannot flush the folder: " + ErrnoText(errno));
    if (::fsync(fd.get()) != 0 && errno != EINVAL)
        throw TFileError(folder, "cannot flush the folder: " + ErrnoText(errno));
}

namespace {

// Paths whose files are the process's own descriptors or the kernel's: never renamed over, whatever
// their links lead to (/dev/stdout of a redirected command leads to the user's file).
bool IsSystemPath(const std::string& path) {
    return path.rfind("/dev/", 0) == 0 || path.rfind("/proc/", 0) == 0;
}

// Writes the bytes straight into a device or a FIFO that is there already.
void WriteIntoSpecial(const std::string& path, const void* data, std::size_t size) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISCHR(st.st_mode) && !S_ISFIFO(st.st_mode) &&
        !S_ISREG(st.st_mode))
        throw TFileError(path, "cannot write: " + KindOfSpecial(st.st_mode));
    // Without blocking, so that a FIFO nobody reads is refused at once instead of holding the program.
    // Appending: a regular file behind /dev/stdout is the shell's redirection, which it has emptied
    // already (">") or means to grow (">>").
    TFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) {
        if (errno == ENXIO) throw TFileError(path, "cannot write: nothing reads from this FIFO");
        throw TFileError(path, "cannot open for writing: " + ErrnoText(errno));
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    if (!WriteAll(fd.get(), data, size)) throw TFileError(path, "cannot write: " + ErrnoText(errno));
    if (::close(fd.release()) != 0 && errno != EINTR)
        throw TFileError(path, "cannot close: " + ErrnoText(errno));
}

}  // namespace

bool IsSpecialFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

void WriteFileAtomic(const std::string& path, const void* data, std::size_t size) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw TFileError(path, "cannot write: " + KindOfSpecial(st.st_mode));
    if (IsSystemPath(path) || IsSpecialFile(path)) {
        WriteIntoSpecial(path, data, size);
        return;
    }
    const std::string destination = WriteDestinationOf(path);
    TidyFolder(FolderOf(destination));
    TPendingFile file = WriteTemporaryFor(path, data, size);
    try {
        FlushPendingFiles({file});
        CommitPendingFile(file);
    } catch (...) {
        DiscardPendingFile(file);
        throw;
    }
    try {
        FlushFolder(FolderOf(file.Destination));
    } catch (const TFileError& e) {
        throw TFileError(path, e.Problem());
    }
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
