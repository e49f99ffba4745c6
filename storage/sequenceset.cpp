#include "storage/sequenceset.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>

#include "model/datafolder.h"
#include "model/fileio.h"
#include "model/sqxfile.h"
#include "storage/filenames.h"
#include "storage/import.h"

namespace {

constexpr std::size_t MaxNameLength = 31;

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::lstat(a.c_str(), &sa) == 0 && ::lstat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// The regular files directly inside a folder (symbolic links to files included).
std::vector<std::string> RegularFiles(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) throw TFileError(folder, "cannot open the folder: " + ErrnoText(errno));
    std::vector<std::string> names;
    errno = 0;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        struct stat st {};
        if (::stat(JoinPath(folder, name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(name);
        errno = 0;
    }
    int err = errno;
    ::closedir(dir);
    if (err != 0) throw TFileError(folder, "cannot list the folder: " + ErrnoText(err));
    return names;
}

// What a later save compares to tell whether another program saved the set meanwhile: each sequence
// and comment file with its identity, size and time of change.
std::vector<std::string> StampOf(const std::string& folder) {
    std::vector<std::string> stamp;
    for (const std::string& f : RegularFiles(folder)) {
        if (!HasExtension(f, ".sqx") && LowerAscii(f) != LowerAscii(CommentFileName)) continue;
        struct stat st {};
        if (::stat(JoinPath(folder, f).c_str(), &st) != 0) continue;
        stamp.push_back(f + '\0' + std::to_string(st.st_ino) + ' ' + std::to_string(st.st_size) + ' ' +
                        std::to_string(st.st_mtim.tv_sec) + '.' + std::to_string(st.st_mtim.tv_nsec));
    }
    std::sort(stamp.begin(), stamp.end());
    return stamp;
}

std::string CommentText(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// State

TSequenceSet::TSequenceSet(TSetFiles& files) : files_(files) {}

TSequenceSet::~TSequenceSet() { WaitForCleanup(); }

void TSequenceSet::WaitForCleanup() {
    if (cleanup_.joinable()) cleanup_.join();
}

std::vector<std::string> TSequenceSet::Names() const {
    std::vector<std::string> names;
    names.reserve(sequences_.size());
    for (const auto& s : sequences_) names.push_back(s->Name.Get());
    return names;
}

int TSequenceSet::IndexOf(const std::string& name) const {
    for (std::size_t i = 0; i < sequences_.size(); ++i)
        if (sequences_[i]->Name.Get() == name) return static_cast<int>(i);
    return -1;
}

std::string TSequenceSet::FileStem(int index) const {
    return DistinctFileStems(Names()).at(static_cast<std::size_t>(index));
}

std::optional<std::string> TSequenceSet::MakeNameUnique(const std::string& candidate, int except) const {
    std::string name = candidate.substr(0, std::min(candidate.size(), MaxNameLength));
    auto taken = [&](const std::string& n) {
        for (std::size_t i = 0; i < sequences_.size(); ++i)
            if (static_cast<int>(i) != except && sequences_[i]->Name.Get() == n) return true;
        return false;
    };
    while (taken(name)) {
        if (name.size() >= MaxNameLength) return std::nullopt;
        name += '~';
    }
    return name;
}

int TSequenceSet::AddSequence(std::unique_ptr<TSequence> seq, bool markModified) {
    sequences_.push_back(std::move(seq));
    storedAs_.emplace_back();
    if (markModified) setModified_ = true;
    return Count() - 1;
}

// ---------------------------------------------------------------------------------------------------
// Set operations

void TSequenceSet::SetComment(std::vector<std::string> lines) {
    if (lines == comment_) return;
    comment_ = std::move(lines);
    commentStored_ = false;
}

void TSequenceSet::HoldFolder(const std::string& folder) {
    held_.reset();
    held_ = std::make_unique<TFolderLock>(folder, FolderLockWait, "the set");
}

std::unique_ptr<TFolderLock> TSequenceSet::LockFor(const std::string& folder) const {
    if (held_ && held_->Folder() == folder) return nullptr;
    return std::make_unique<TFolderLock>(folder, FolderLockWait, "the set");
}

void TSequenceSet::NewSet() {
    sequences_.clear();
    storedAs_.clear();
    comment_.clear();
    commentStored_ = false;
    setFolder_.clear();
    ownFiles_.clear();
    stamp_.reset();
    held_.reset();
    setModified_ = false;
}

TOpenReport TSequenceSet::Open(const std::string& folder) {
    if (!IsFolder(folder)) throw TFileError(folder, "cannot open the set: no such folder");
    const auto lock = LockFor(folder);
    TOpenReport report;
    // A save cut short after its decision is finished first, so that what is read is one whole set.
    report.FinishedInterruptedSave = RecoverFolder(folder);
    std::vector<std::string> files = RegularFiles(folder);
    std::vector<std::string> sqx;
    std::string commentFile;
    for (const std::string& f : files) {
        if (HasExtension(f, ".sqx")) {
            sqx.push_back(f);
        } else if (f == CommentFileName ||
                   (commentFile.empty() && LowerAscii(f) == LowerAscii(CommentFileName))) {
            commentFile = f;
        }
    }
    std::sort(sqx.begin(), sqx.end(), [](const std::string& a, const std::string& b) {
        std::string la = LowerAscii(a), lb = LowerAscii(b);
        return la != lb ? la < lb : a < b;
    });
    // Read the comment before anything changes: Save would otherwise replace an unread comment.
    std::vector<std::string> comment;
    if (!commentFile.empty()) {
        const std::string path = JoinPath(folder, commentFile);
        auto bytes = ReadFilePrefix(path, MaxCommentSize + 1);
        if (bytes.size() > MaxCommentSize) {
            bytes.resize(MaxCommentSize);
            // Cut at the end of a line, so that no line is shown half.
            while (!bytes.empty() && bytes.back() != '\n' && bytes.back() != '\r') bytes.pop_back();
            report.CommentNote =
                path + ": larger than 1 MiB, more than a comment holds; only its first " +
                std::to_string(bytes.size()) +
                " bytes are shown, and the file is left as it is unless the comment is edited";
        }
        comment = SplitLines(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }

    sequences_.clear();
    storedAs_.clear();
    ownFiles_.clear();
    setFolder_ = folder;
    comment_ = std::move(comment);
    commentStored_ = commentFile == CommentFileName;
    if (!commentFile.empty()) ownFiles_.insert(commentFile);

    for (const std::string& f : sqx) {
        auto seq = std::make_unique<TSequence>();
        try {
            ReadSequenceFile(JoinPath(folder, f), *seq);
        } catch (const TFileError& e) {
            report.Refused.push_back(e.what());
            continue;
        }
        auto name = MakeNameUnique(seq->Name.Get());
        if (!name) {
            report.StoppedAt = f;
            break;
        }
        seq->Name.Set(*name);
        AddSequence(std::move(seq), false);
        storedAs_.back() = f;
        ownFiles_.insert(f);
    }
    stamp_ = StampOf(folder);
    return report;
}

void TSequenceSet::WriteInto(const std::string& folder, bool freshFolder) {
    WaitForCleanup();
    // Leftovers of killed saves go first: on a nearly full disk their space is what this save needs.
    if (!freshFolder) RemoveLeftovers(folder, IsSetTemporaryName);

    TFolderCommit commit(folder, files_);
    const std::vector<std::string> stems = DistinctFileStems(Names());
    std::vector<std::string> targets;
    std::set<std::string> written;
    const bool commentThere = commentStored_ && ownFiles_.count(CommentFileName) != 0;
    if (freshFolder || !commentThere) {
        const std::string comment = CommentText(comment_);
        commit.Write(CommentFileName, comment.data(), comment.size());
    }
    written.insert(CommentFileName);
    for (std::size_t i = 0; i < sequences_.size(); ++i) {
        targets.push_back(stems[i] + ".sqx");
        // A record read or written unchanged under the same name is on the disk already.
        if (freshFolder || storedAs_[i] != targets.back())
            commit.Write(targets.back(), RecordBytes(*sequences_[i]), sizeof(TSequence));
        written.insert(targets.back());
    }
    if (!freshFolder) {
        for (const std::string& f : ownFiles_) {
            if (written.count(f) != 0) continue;
            // On a file system that ignores case the stale name may be the file just written.
            bool same = false;
            for (const std::string& w : written)
                if (LowerAscii(w) == LowerAscii(f) && SameFile(JoinPath(folder, w), JoinPath(folder, f)))
                    same = true;
            if (!same) commit.Remove(f);
        }
    }

    std::vector<std::string> retired;
    try {
        retired = commit.Commit(!freshFolder);
    } catch (const TFileError&) {
        // Whether the disk holds the old or the new files is for the next Open or Save to settle.
        stamp_.reset();
        std::fill(storedAs_.begin(), storedAs_.end(), std::string());
        commentStored_ = false;
        throw;
    }
    ownFiles_ = written;
    for (std::size_t i = 0; i < sequences_.size(); ++i) storedAs_[i] = targets[i];
    commentStored_ = true;
    setModified_ = false;
    stamp_ = StampOf(folder);
    if (retired.empty()) return;
    cleanup_ = std::thread([&files = files_, retired = std::move(retired)] {
        for (const std::string& r : retired) {
            try {
                files.Remove(r);
            } catch (const TFileError&) {
                // Nobody to tell here; the next save removes what is left.
            }
        }
    });
}

TSaveResult TSequenceSet::Save() {
    if (setFolder_.empty() || !IsFolder(setFolder_)) return TSaveResult::NeedsFolder;
    const auto lock = LockFor(setFolder_);
    // A save of this set that another process (or this one) cut short after its decision is finished
    // before the folder is compared with what this set last saw.
    RecoverFolder(setFolder_);
    if (stamp_ && StampOf(setFolder_) != *stamp_)
        throw TSetChangedOnDisk(setFolder_,
                                "the set was changed on disk by another program since it was opened "
                                "here; nothing was written. Save it into a new folder, or open it "
                                "again and make the changes there");
    WriteInto(setFolder_, false);
    return TSaveResult::Saved;
}

TSaveAsResult TSequenceSet::SaveAs(const std::string& folder, std::string* problem) {
    struct stat st {};
    if (folder.empty()) {
        if (problem) *problem = "no folder given";
        return TSaveAsResult::DirectoryError;
    }
    if (::lstat(folder.c_str(), &st) == 0) return TSaveAsResult::FolderExists;
    try {
        MakeFolders(folder);
    } catch (const TFileError& e) {
        if (problem) *problem = e.what();
        return TSaveAsResult::DirectoryError;
    }
    try {
        const TFolderLock lock(folder, FolderLockWait, "the set");
        WriteInto(folder, true);
    } catch (...) {
        // The folder is this save's own, made a moment ago: nothing of the user's is in it.
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
        throw;
    }
    setFolder_ = folder;
    held_.reset();
    return TSaveAsResult::Saved;
}

// ---------------------------------------------------------------------------------------------------
// Sequence operations

std::unique_ptr<TSequence> TSequenceSet::NewSequenceStart(int selected) const {
    auto seq = std::make_unique<TSequence>();
    if (selected >= 0 && selected < Count() &&
        Sequence(selected).ArrayType != static_cast<int32_t>(TArrayType::NoGeometry))
        *seq = Sequence(selected);
    auto name = MakeNameUnique(seq->Name.Get());
    if (!name) return nullptr;
    seq->Name.Set(*name);
    return seq;
}

int TSequenceSet::AddNewSequence(std::unique_ptr<TSequence> seq) {
    setModified_ = true;
    auto name = MakeNameUnique(seq->Name.Get());
    if (!name) return -1;
    seq->Name.Set(*name);
    return AddSequence(std::move(seq), true);
}

TModifyResult TSequenceSet::ModifySequence(int index, const TSequence& edited) {
    TSequence& target = *sequences_.at(static_cast<std::size_t>(index));
    const std::string oldName = target.Name.Get();
    const std::string newName = edited.Name.Get();
    setModified_ = true;
    target = edited;
    storedAs_.at(static_cast<std::size_t>(index)).clear();
    if (newName == oldName) return TModifyResult::Modified;
    auto name = MakeNameUnique(newName, index);
    if (!name) {
        target.Name.Set(oldName);
        return TModifyResult::NameNotUnique;
    }
    target.Name.Set(*name);
    return TModifyResult::Modified;
}

int TSequenceSet::DeleteSequence(int index) {
    if (index < 0 || index >= Count()) return -1;
    sequences_.erase(sequences_.begin() + index);
    storedAs_.erase(storedAs_.begin() + index);
    return Count() > 0 ? 0 : -1;
}

int TSequenceSet::ImportFile(const std::string& path, char decimal, float spacing) {
    auto seq = std::make_unique<TSequence>();
    const TImportKind kind = ImportKindOf(path);
    if (kind == TImportKind::None) return -1;
    ImportSequenceFile(path, kind, decimal, *seq, spacing);
    auto name = MakeNameUnique(seq->Name.Get());
    if (!name) return -1;
    seq->Name.Set(*name);
    if (kind == TImportKind::Text || kind == TImportKind::Inversion) {
        // A text sequence's cable is named after the sequence, as it stands in the set.
        seq->CableName.Set(*name);
        seq->Segments[0].Name.Set(*name);
    }
    return AddSequence(std::move(seq), true);
}
