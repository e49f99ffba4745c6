#include "fileio.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TFileError::TFileError(const std::string& path, const std::string& problem)
    : std::runtime_error(path + ": " + problem), path_(path), problem_(problem) {}

std::string ErrnoText(int err) { return std::strerror(err); }

namespace {

class TFd {
public:
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd() { if (fd_ >= 0) ::close(fd_); }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int get() const { return fd_; }
    int release() { int f = fd_; fd_ = -1; return f; }

private:
    int fd_;
};

std::vector<unsigned char> ReadUpTo(const std::string& path, std::size_t maxBytes, bool whole) {
    TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) throw TFileError(path, "cannot open: " + ErrnoText(errno));
    std::vector<unsigned char> out;
    if (!whole) out.reserve(maxBytes);
    unsigned char buf[65536];
    for (;;) {
        std::size_t want = sizeof buf;
        if (!whole) {
            if (out.size() >= maxBytes) break;
            want = std::min(want, maxBytes - out.size());
        }
        ssize_t got = ::read(fd.get(), buf, want);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw TFileError(path, "cannot read: " + ErrnoText(errno));
        }
        if (got == 0) break;
        out.insert(out.end(), buf, buf + got);
    }
    return out;
}

}  // namespace

std::vector<unsigned char> ReadFilePrefix(const std::string& path, std::size_t maxBytes) {
    return ReadUpTo(path, maxBytes, false);
}

std::vector<unsigned char> ReadWholeFile(const std::string& path) { return ReadUpTo(path, 0, true); }

void WriteFileAtomic(const std::string& path, const void* data, std::size_t size) {
    std::string tmp = path + ".tmp-XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    int raw = ::mkstemp(name.data());
    if (raw < 0) throw TFileError(path, "cannot create a temporary file: " + ErrnoText(errno));
    TFd fd(raw);
    std::string tmpPath(name.data());
    auto fail = [&](const std::string& what) {
        int err = errno;
        ::unlink(tmpPath.c_str());
        throw TFileError(path, what + ": " + ErrnoText(err));
    };
    ::fchmod(fd.get(), 0644);
    const auto* p = static_cast<const unsigned char*>(data);
    std::size_t left = size;
    while (left > 0) {
        ssize_t put = ::write(fd.get(), p, left);
        if (put < 0) {
            if (errno == EINTR) continue;
            fail("cannot write");
        }
        p += put;
        left -= static_cast<std::size_t>(put);
    }
    if (::fsync(fd.get()) != 0 && errno != EINVAL) fail("cannot flush");
    if (::close(fd.release()) != 0) fail("cannot close");
    if (::rename(tmpPath.c_str(), path.c_str()) != 0) fail("cannot replace");
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
