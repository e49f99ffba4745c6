#include "sequenceset.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "datafolder.h"
#include "fileio.h"
#include "filenames.h"
#include "import.h"
#include "sqxfile.h"

namespace {

constexpr std::size_t MaxNameLength = 31;

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
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
// POSIX file operations

std::string TSetFiles::WriteTemporary(const std::string& folder, const std::string& target, const void* data,
                                      std::size_t size) {
    // A hidden name that never ends in ".sqx", so a left-over temporary is never taken for a sequence.
    return WriteTemporaryFor(JoinPath(folder, target), data, size).Temporary;
}

void TSetFiles::Flush(const std::vector<TPendingFile>& temporaries) { FlushPendingFiles(temporaries); }

void TSetFiles::Replace(const std::string& from, const std::string& to) {
    CommitPendingFile({from, to, WriteDestinationOf(to)});
}

void TSetFiles::FlushFolder(const std::string& folder) { ::FlushFolder(folder); }

void TSetFiles::Remove(const std::string& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) throw TFileError(path, "cannot remove: " + ErrnoText(errno));
}

std::optional<std::string> TSetFiles::KeepAside(const std::string& path) {
    std::string aside = HiddenNameBeside(path, 'o');
    if (::link(path.c_str(), aside.c_str()) != 0) return std::nullopt;
    return aside;
}

std::optional<std::string> TSetFiles::MoveAside(const std::string& path) {
    std::string aside = HiddenNameBeside(path, 'o');
    if (::rename(path.c_str(), aside.c_str()) != 0) return std::nullopt;
    return aside;
}

TSetFiles& DefaultSetFiles() {
    static TSetFiles files;
    return files;
}

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
    if (markModified) setModified_ = true;
    return Count() - 1;
}

// ---------------------------------------------------------------------------------------------------
// Set operations

void TSequenceSet::NewSet() {
    sequences_.clear();
    comment_.clear();
    setFolder_.clear();
    ownFiles_.clear();
    setModified_ = false;
}

TOpenReport TSequenceSet::Open(const std::string& folder) {
    std::vector<std::string> files = RegularFiles(folder);
    std::vector<std::string> sqx;
    std::string commentFile;
    for (const std::string& f : files) {
        if (HasExtension(f, ".sqx")) {
            sqx.push_back(f);
        } else if (f == CommentFileName || (commentFile.empty() && LowerAscii(f) == LowerAscii(CommentFileName))) {
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
        auto bytes = ReadWholeFile(JoinPath(folder, commentFile));
        comment = SplitLines(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }

    sequences_.clear();
    ownFiles_.clear();
    setFolder_ = folder;
    comment_ = std::move(comment);
    if (!commentFile.empty()) ownFiles_.insert(commentFile);

    TOpenReport report;
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
        ownFiles_.insert(f);
    }
    return report;
}

void TSequenceSet::WriteInto(const std::string& folder, bool freshFolder) {
    WaitForCleanup();
    struct TPending {
        std::string Temporary;
        std::string Target;   // file name inside the folder
    };
    std::vector<TPending> pending;
    std::vector<std::string> replaced;
    auto discard = [&](std::size_t from) {
        for (std::size_t i = from; i < pending.size(); ++i) {
            try {
                files_.Remove(pending[i].Temporary);
            } catch (const TFileError&) {
                // The write error that brought us here is the one to report.
            }
        }
        if (freshFolder) {
            for (const std::string& f : replaced) {
                try {
                    files_.Remove(JoinPath(folder, f));
                } catch (const TFileError&) {
                }
            }
        }
    };

    try {
        std::string comment = CommentText(comment_);
        pending.push_back({files_.WriteTemporary(folder, CommentFileName, comment.data(), comment.size()),
                           CommentFileName});
        std::vector<std::string> stems = DistinctFileStems(Names());
        for (std::size_t i = 0; i < sequences_.size(); ++i) {
            std::string target = stems[i] + ".sqx";
            pending.push_back(
                {files_.WriteTemporary(folder, target, RecordBytes(*sequences_[i]), sizeof(TSequence)), target});
        }
        std::vector<TPendingFile> flushed;
        for (const TPending& p : pending) flushed.push_back({p.Temporary, JoinPath(folder, p.Target), ""});
        files_.Flush(flushed);
    } catch (...) {
        discard(0);
        throw;
    }
    // Every file is written whole and on the disk; now they take their places, each previous version keeping a hidden
    // second name so that its space is freed later, off the user's time.
    std::vector<std::string> retired;
    std::size_t i = 0;
    try {
        for (; i < pending.size(); ++i) {
            const std::string target = JoinPath(folder, pending[i].Target);
            if (!freshFolder) {
                if (auto aside = files_.KeepAside(target)) retired.push_back(*aside);
            }
            files_.Replace(pending[i].Temporary, target);
            replaced.push_back(pending[i].Target);
        }
    } catch (...) {
        discard(i);
        for (const std::string& r : retired) {
            try {
                files_.Remove(r);   // only a second name: the file itself stays
            } catch (const TFileError&) {
            }
        }
        throw;
    }

    // The renames themselves reach the disk with the folder.
    try {
        files_.FlushFolder(folder);
    } catch (...) {
        for (const std::string& r : retired) {
            try {
                files_.Remove(r);
            } catch (const TFileError&) {
            }
        }
        throw;
    }
    std::set<std::string> written(replaced.begin(), replaced.end());
    std::set<std::string> stale;
    if (!freshFolder) {
        for (const std::string& f : ownFiles_) {
            if (written.count(f) != 0) continue;
            // On a file system that ignores case the stale name may be the file just written.
            bool same = false;
            for (const std::string& w : written)
                if (LowerAscii(w) == LowerAscii(f) && SameFile(JoinPath(folder, w), JoinPath(folder, f))) same = true;
            if (!same) stale.insert(f);
        }
    }
    std::vector<std::string> leftovers;
    if (!freshFolder) {
        // Hidden files of an earlier save that was cut short (the process ended mid-way).
        std::set<std::string> ours;
        for (const std::string& r : retired) ours.insert(r.substr(r.rfind('/') + 1));
        for (const std::string& f : RegularFiles(folder))
            if (IsSetTemporaryName(f) && ours.count(f) == 0) leftovers.push_back(JoinPath(folder, f));
    }
    ownFiles_ = written;
    setModified_ = false;
    // Stale files leave the set now (a deleted sequence must not come back); their space is freed
    // with the rest.
    for (const std::string& f : stale) {
        const std::string path = JoinPath(folder, f);
        if (auto aside = files_.MoveAside(path)) {
            retired.push_back(*aside);
        } else {
            files_.Remove(path);
        }
    }
    retired.insert(retired.end(), leftovers.begin(), leftovers.end());
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
        WriteInto(folder, true);
    } catch (...) {
        ::rmdir(folder.c_str());
        throw;
    }
    setFolder_ = folder;
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
    return Count() > 0 ? 0 : -1;
}

int TSequenceSet::ImportFile(const std::string& path, char decimal) {
    auto seq = std::make_unique<TSequence>();
    const TImportKind kind = ImportKindOf(path);
    if (kind == TImportKind::None) return -1;
    ImportSequenceFile(path, kind, decimal, *seq);
    auto name = MakeNameUnique(seq->Name.Get());
    if (!name) return -1;
    seq->Name.Set(*name);
    if (kind == TImportKind::Text) {
        // A text sequence's cable is named after the sequence, as it stands in the set.
        seq->CableName.Set(*name);
        seq->Segments[0].Name.Set(*name);
    }
    return AddSequence(std::move(seq), true);
}
