#include "model/foldercommit.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "model/datafolder.h"

namespace {

// The process that holds an flock on the file with this inode, from the kernel's table; 0 when unknown.
long LockHolder(ino_t inode) {
    std::ifstream locks("/proc/locks");
    std::string line;
    const std::string suffix = ":" + std::to_string(inode);
    while (std::getline(locks, line)) {
        std::istringstream in(line);
        std::string number, type, mode, access, device;
        long pid = 0;
        if (!(in >> number >> type >> mode >> access >> pid >> device)) continue;
        if (type == "FLOCK" && device.size() > suffix.size() &&
            device.compare(device.size() - suffix.size(), suffix.size(), suffix) == 0)
            return pid;
    }
    return 0;
}

bool IsInside(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/' && path.find('/', folder.size() + 1) == std::string::npos;
}

// A path as the journal keeps it: the bare name for a file of the folder, so that a folder moved
// elsewhere after a crash is still finished; the whole path for a file a link leads out of it.
std::string JournalPath(const std::string& path, const std::string& folder) {
    return IsInside(path, folder) ? path.substr(folder.size() + 1) : path;
}

std::string PathOfJournalEntry(const std::string& entry, const std::string& folder) {
    return !entry.empty() && entry[0] == '/' ? entry : JoinPath(folder, entry);
}

void AppendField(std::string& out, const std::string& text) {
    out += ' ';
    out += std::to_string(text.size());
    out += ' ';
    out += text;
}

struct TJournal {
    std::vector<std::pair<std::string, std::string>> Renames;  // temporary, destination
    std::vector<std::string> Removals;
};

constexpr const char* JournalHeading = "teravox-journal 1\n";

std::string JournalText(const TJournal& j) {
    std::string out = JournalHeading;
    for (const auto& [from, to] : j.Renames) {
        out += 'r';
        AppendField(out, from);
        AppendField(out, to);
        out += '\n';
    }
    for (const auto& r : j.Removals) {
        out += 'd';
        AppendField(out, r);
        out += '\n';
    }
    out += "end\n";
    return out;
}

// Nothing when the text is not a whole journal.
std::optional<TJournal> ParseJournal(const std::string& text) {
    const std::string heading = JournalHeading;
    if (text.compare(0, heading.size(), heading) != 0) return std::nullopt;
    std::size_t at = heading.size();
    auto field = [&](std::string& out) {
        if (at >= text.size() || text[at] != ' ') return false;
        ++at;
        std::size_t len = 0, digits = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 12) {
            len = len * 10 + static_cast<std::size_t>(text[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || at >= text.size() || text[at] != ' ' || text.size() - at - 1 < len) return false;
        out = text.substr(at + 1, len);
        at += 1 + len;
        return !out.empty();
    };
    TJournal j;
    while (at < text.size()) {
        if (text.compare(at, 4, "end\n") == 0 && at + 4 == text.size()) return j;
        const char kind = text[at++];
        std::string a, b;
        if (kind == 'r' && field(a) && field(b)) {
            j.Renames.emplace_back(a, b);
        } else if (kind == 'd' && field(a)) {
            j.Removals.push_back(a);
        } else {
            return std::nullopt;
        }
        if (at >= text.size() || text[at] != '\n') return std::nullopt;
        ++at;
    }
    return std::nullopt;
}

void RemoveJournal(const std::string& folder) {
    const std::string path = JoinPath(folder, JournalFileName);
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        throw TFileError(path, "cannot remove the finished journal: " + ErrnoText(errno));
    FlushFolder(folder);
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// The lock

TFolderLock::TFolderLock(const std::string& folder, std::chrono::milliseconds wait, const std::string& what)
    : folder_(folder) {
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) throw TFileError(folder, "cannot open the folder: " + ErrnoText(errno));
    const auto deadline = std::chrono::steady_clock::now() + wait;
    // Short steps: a save takes about a second, and the one waiting should follow it closely.
    constexpr std::chrono::milliseconds Step{20};
    for (;;) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
        if (errno == EINTR) continue;
        // A file system without locks (some network shares): written unlocked, as before locks were.
        if (errno != EWOULDBLOCK) return;
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(Step);
    }
    struct stat st {};
    long holder = ::fstat(fd_, &st) == 0 ? LockHolder(st.st_ino) : 0;
    ::close(fd_);
    fd_ = -1;
    std::string problem = what + " is being written by another program";
    if (holder > 0) problem += " (process " + std::to_string(holder) + ")";
    problem += "; try again when it has finished";
    throw TFolderBusy(folder, problem);
}

TFolderLock::~TFolderLock() {
    if (fd_ >= 0) ::close(fd_);  // releases the lock
}

std::unique_ptr<TFolderLock> TFolderLock::TryTake(const std::string& folder) noexcept {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<TFolderLock> lock(new TFolderLock());
    lock->folder_ = folder;
    lock->fd_ = fd;
    return lock;
}

// ---------------------------------------------------------------------------------------------------
// Recovery and leftovers

bool RecoverFolder(const std::string& folder) {
    const std::string path = JoinPath(folder, JournalFileName);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return false;
    const auto bytes = ReadWholeFile(path);
    const auto journal = ParseJournal(std::string(bytes.begin(), bytes.end()));
    if (!journal) {
        // Only a whole journal is ever renamed into place; this one was damaged from outside and
        // decides nothing.
        RemoveJournal(folder);
        return false;
    }
    std::set<std::string> folders{folder};
    for (const auto& [from, to] : journal->Renames) {
        const std::string temporary = PathOfJournalEntry(from, folder);
        const std::string destination = PathOfJournalEntry(to, folder);
        struct stat t {};
        if (::lstat(temporary.c_str(), &t) != 0) continue;  // renamed before the writer stopped
        if (::rename(temporary.c_str(), destination.c_str()) != 0)
            throw TFileError(destination, "cannot finish an interrupted save: " + ErrnoText(errno));
        folders.insert(FolderOf(destination));
    }
    for (const auto& r : journal->Removals) {
        const std::string gone = PathOfJournalEntry(r, folder);
        if (::unlink(gone.c_str()) != 0 && errno != ENOENT)
            throw TFileError(gone, "cannot finish an interrupted save: " + ErrnoText(errno));
    }
    for (const auto& f : folders) FlushFolder(f);
    RemoveJournal(folder);
    return true;
}

std::size_t RemoveLeftovers(const std::string& folder, bool (*alsoRemove)(const std::string&)) noexcept {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return 0;
    std::size_t removed = 0;
    const int dfd = ::dirfd(dir);
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (IsHiddenWriteName(name)) {
            const int fd =
                ::openat(dfd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            if (fd < 0) continue;
            struct stat st {};
            // Removed only while this process holds it: its writer is gone, and no writer can take it
            // back meanwhile (a writer that finds its fresh temporary unlinked starts again).
            if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                ::unlinkat(dfd, name.c_str(), 0) == 0)
                ++removed;
            ::close(fd);
        } else if (alsoRemove != nullptr && alsoRemove(name)) {
            struct stat st {};
            if (::fstatat(dfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
                ::unlinkat(dfd, name.c_str(), 0) == 0)
                ++removed;
        }
    }
    ::closedir(dir);
    return removed;
}

void TidyFolder(const std::string& folder) noexcept {
    auto lock = TFolderLock::TryTake(folder);
    if (!lock) return;
    try {
        RecoverFolder(folder);
    } catch (const TFileError&) {
        // The writer who owns the folder's next commit reports it; this write is about another file.
        return;
    }
    RemoveLeftovers(folder);
}

// ---------------------------------------------------------------------------------------------------
// File operations

TPendingFile TCommitFiles::WriteTemporary(const std::string& folder, const std::string& target,
                                          const void* data, std::size_t size) {
    return WriteTemporaryFor(JoinPath(folder, target), data, size);
}

void TCommitFiles::Flush(const std::vector<TPendingFile>& temporaries) { FlushPendingFiles(temporaries); }

void TCommitFiles::Replace(const TPendingFile& file) { CommitPendingFile(file); }

void TCommitFiles::FlushFolder(const std::string& folder) { ::FlushFolder(folder); }

void TCommitFiles::Remove(const std::string& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        throw TFileError(path, "cannot remove: " + ErrnoText(errno));
}

std::optional<std::string> TCommitFiles::KeepAside(const std::string& path) {
    std::string aside = HiddenNameBeside(path, 'o');
    if (::link(path.c_str(), aside.c_str()) != 0) return std::nullopt;
    return aside;
}

std::optional<std::string> TCommitFiles::MoveAside(const std::string& path) {
    std::string aside = HiddenNameBeside(path, 'o');
    if (::rename(path.c_str(), aside.c_str()) != 0) return std::nullopt;
    return aside;
}

TCommitFiles& DefaultCommitFiles() {
    static TCommitFiles files;
    return files;
}

// ---------------------------------------------------------------------------------------------------
// The commit

TFolderCommit::TFolderCommit(std::string folder, TCommitFiles& files)
    : folder_(std::move(folder)), files_(files) {}

TFolderCommit::~TFolderCommit() {
    if (done_) return;
    for (const auto& p : pending_) {
        try {
            files_.Remove(p.Temporary);
        } catch (const TFileError&) {
            // Held no more once this commit is gone: the next writer removes it.
        }
    }
}

void TFolderCommit::Write(const std::string& name, const void* data, std::size_t size) {
    pending_.push_back(files_.WriteTemporary(folder_, name, data, size));
}

void TFolderCommit::Remove(const std::string& name) { removals_.push_back(name); }

std::vector<std::string> TFolderCommit::Commit(bool keepPrevious) {
    std::vector<std::string> retired;
    if (Empty()) {
        done_ = true;
        return retired;
    }
    files_.Flush(pending_);

    TJournal journal;
    for (const auto& p : pending_)
        journal.Renames.emplace_back(JournalPath(p.Temporary, folder_), JournalPath(p.Destination, folder_));
    journal.Removals = removals_;
    const std::string text = JournalText(journal);
    const std::string journalPath = JoinPath(folder_, JournalFileName);
    TPendingFile j = WriteTemporaryFor(journalPath, text.data(), text.size());
    try {
        FlushPendingFiles({j});
        CommitPendingFile(j);
    } catch (...) {
        DiscardPendingFile(j);
        throw;
    }
    try {
        ::FlushFolder(folder_);
    } catch (...) {
        // Not yet sure to be on the disk: take the decision back while nothing has followed it.
        ::unlink(journalPath.c_str());
        throw;
    }

    // Decided: from here on a failure leaves the journal, and whoever next takes the folder finishes.
    auto unfinished = [](const TFileError& e) {
        return TFileError(e.Path(),
                          e.Problem() + "; the save is finished the next time the folder is opened or saved");
    };
    done_ = true;
    std::set<std::string> folders{folder_};
    try {
        for (const auto& p : pending_) {
            if (keepPrevious)
                if (auto aside = files_.KeepAside(p.Destination)) retired.push_back(*aside);
            files_.Replace(p);
            folders.insert(FolderOf(p.Destination));
        }
        for (const auto& r : removals_) {
            const std::string path = JoinPath(folder_, r);
            std::optional<std::string> aside = keepPrevious ? files_.MoveAside(path) : std::nullopt;
            if (aside) {
                retired.push_back(*aside);
            } else {
                files_.Remove(path);
            }
        }
        for (const auto& f : folders) files_.FlushFolder(f);
        RemoveJournal(folder_);
    } catch (const TFileError& e) {
        for (const auto& r : retired) ::unlink(r.c_str());
        throw unfinished(e);
    }
    pending_.clear();
    return retired;
}
