// Several files of one folder replaced as one decision, and the lock that keeps two writers of a
// folder apart.
//
// The commit is a redo journal. The new bytes go to hidden temporaries beside their destinations and
// are flushed to the disk; then a journal naming every rename (temporary over destination) and every
// removal is written whole and flushed, and renamed to ".teravox-journal" in the folder: that rename is
// the decision. The renames and removals follow, the folder is flushed and the journal removed.
//  - Killed before the journal's rename, the writer leaves every old file untouched; its temporaries
//    are leftovers that nobody holds, and the next writer removes them.
//  - Killed after it, the folder is finished by the next reader or writer that takes the folder's lock
//    (RecoverFolder): the renames still to do are done, so the folder holds exactly the new files.
// A journal rather than a staged folder swapped in: a set folder also holds the user's own files and
// sub-folders, which a swap of whole folders would have to carry across, and a symbolic link that
// stands in for a file must stay a link. Rolling forward rather than back: the new files are already
// whole on the disk at the decision, so finishing needs nothing but renames.
//
// The lock is flock() on the folder itself: there is no lock file to leave behind or to find stale, and
// the kernel releases it when its holder dies, however it dies. A writer that finds the folder held
// waits briefly, then fails with a message naming the folder and, where the system tells, the process
// that holds it.
//
// Every hidden temporary is held with flock() by its writer from its creation until it is renamed or
// removed (fileio.h), so a temporary that nobody holds is the leftover of a killed writer.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/fileio.h"

// The folder is being written by another process and stayed so longer than the wait.
class TFolderBusy : public TFileError {
   public:
    using TFileError::TFileError;
};

// Name of the journal inside a folder while a commit is under way.
constexpr const char* JournalFileName = ".teravox-journal";

class TFolderLock {
   public:
    // Takes the folder's lock, waiting up to `wait`. Throws TFolderBusy naming the folder (as `what`
    // describes it, "the set" or "the folder") when another process holds it all that time, TFileError
    // when the folder cannot be opened. A file system without locks is written unlocked.
    TFolderLock(const std::string& folder, std::chrono::milliseconds wait,
                const std::string& what = "the folder");
    ~TFolderLock();
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;

    // The lock when it is free at once, else nothing. Never throws.
    static std::unique_ptr<TFolderLock> TryTake(const std::string& folder) noexcept;
    const std::string& Folder() const { return folder_; }

   private:
    TFolderLock() = default;
    std::string folder_;
    int fd_ = -1;
};

// How long a writer waits for a folder another process is writing: a save of a large set takes about
// a second; a lock held much longer belongs to a process that is stuck or waiting for its user.
constexpr std::chrono::milliseconds FolderLockWait{5000};

// Finishes the commit that a killed writer left in `folder`. The caller holds the folder's lock.
// Returns whether there was one. Throws TFileError when a rename cannot be done (the journal stays).
bool RecoverFolder(const std::string& folder);

// Removes the hidden files of writes in `folder` that no running writer holds: temporaries of killed
// writes, previous versions kept aside. `alsoRemove` names further leftovers (older forms). A journal
// in the folder must have been recovered first. Returns how many were removed; never throws.
std::size_t RemoveLeftovers(const std::string& folder,
                            bool (*alsoRemove)(const std::string&) = nullptr) noexcept;

// For a writer of one file: when nobody holds the folder, finishes a commit left there and removes the
// leftovers; when somebody does, leaves the folder to them. Never throws.
void TidyFolder(const std::string& folder) noexcept;

// The file operations of a commit, so that a test can make one of them fail. Every operation throws
// TFileError naming the file on failure.
class TCommitFiles {
   public:
    virtual ~TCommitFiles() = default;
    // Writes the bytes whole to a held temporary beside the destination of folder/target (see
    // WriteTemporaryFor). On failure nothing is left behind.
    virtual TPendingFile WriteTemporary(const std::string& folder, const std::string& target,
                                        const void* data, std::size_t size);
    // Flushes the written temporaries to the disk.
    virtual void Flush(const std::vector<TPendingFile>& temporaries);
    // Renames the temporary over its destination in one step.
    virtual void Replace(const TPendingFile& file);
    // Flushes the folder's entries after the renames.
    virtual void FlushFolder(const std::string& folder);
    // Removes a file; a file already gone is no error.
    virtual void Remove(const std::string& path);
    // Gives the file a second, hidden name in its folder and returns that name, so that replacing the
    // file does not free its data at once. Nothing when the file does not exist or the file system has
    // no hard links (the file is then simply replaced).
    virtual std::optional<std::string> KeepAside(const std::string& path);
    // Renames the file to a hidden name in its folder and returns it; nothing when that fails.
    virtual std::optional<std::string> MoveAside(const std::string& path);
};

// The realisation used when no other is given.
TCommitFiles& DefaultCommitFiles();

// One commit of several files of a folder. The caller holds the folder's lock and has recovered it.
class TFolderCommit {
   public:
    explicit TFolderCommit(std::string folder, TCommitFiles& files = DefaultCommitFiles());
    // Removes the temporaries of a commit that did not happen.
    ~TFolderCommit();
    TFolderCommit(const TFolderCommit&) = delete;
    TFolderCommit& operator=(const TFolderCommit&) = delete;

    // The new bytes of the file `name` of the folder, written now to a held temporary. A destination
    // that is a folder, a device or anything but a regular file is refused by name.
    void Write(const std::string& name, const void* data, std::size_t size);
    // The file `name` of the folder goes with the commit.
    void Remove(const std::string& name);
    bool Empty() const { return pending_.empty() && removals_.empty(); }

    // The decision. Throws TFileError: before the journal is in place the folder is as it was; after
    // it, the message says so and the next RecoverFolder finishes the commit. With `keepPrevious`, the
    // previous versions of replaced and removed files keep hidden names, returned for the caller to
    // remove when it suits (freeing a large file's space takes time nobody needs to wait for).
    std::vector<std::string> Commit(bool keepPrevious = false);

   private:
    std::string folder_;
    TCommitFiles& files_;
    std::vector<TPendingFile> pending_;
    std::vector<std::string> removals_;
    bool done_ = false;
};
