// The open set of sequences and its operations: new set, open, save, save as, and the add, modify,
// delete and import of one sequence. On disk a set is a folder holding one .sqx file per sequence
// and the comment in "Comment.Txt". The desktop main window and the command line are thin layers over
// this class: it never shows UI, asks nothing, and reports through return values and exceptions.
//
// Guarantees of Save and Save as:
//  - a save commits as a whole (foldercommit.h): whenever the process stops, killed or not, the folder
//    holds either the set as it was or the set as saved, comment included, and the next Open or Save
//    finishes a save that had already decided;
//  - a set folder is written by one program at a time: Open and Save take the folder's lock, waiting
//    briefly for another writer, then fail with TFolderBusy naming the set; a set changed on disk since
//    this object opened or saved it is not overwritten (TSetChangedOnDisk);
//  - only what changed is written: records added, modified or renamed, the comment when it changed;
//  - only the set's own files are ever removed: "Comment.Txt" and .sqx files that this set read or
//    wrote, and the hidden leftovers of killed saves. The user's other files and sub-folders are left
//    alone; the leftovers are removed before writing, so that they cannot fill a nearly full disk;
//  - the previous versions of replaced files keep a hidden name until a background clean-up removes
//    them after Save has returned: freeing their space can take longer than writing the new set, and
//    nobody needs to wait for it. The clean-up ends before the next save and when the set is destroyed;
//  - every file stays directly inside the set folder whatever a sequence is named, and two names that
//    map to one file name get distinct files (DistinctFileStems, filenames.h).
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "model/fileio.h"
#include "model/foldercommit.h"
#include "model/sequence.h"

// The file operations Save uses, so that a test can make one of them fail.
using TSetFiles = TCommitFiles;
inline TSetFiles& DefaultSetFiles() { return DefaultCommitFiles(); }

// A save refused because the set's files on disk are no longer those this set read or last wrote:
// another program saved it meanwhile.
class TSetChangedOnDisk : public TFileError {
   public:
    using TFileError::TFileError;
};

// Bound of the comment's file: a comment is a few lines; a larger file is read only this far.
constexpr std::size_t MaxCommentSize = std::size_t{1} << 20;

// File name of the set's comment.
constexpr const char* CommentFileName = "Comment.Txt";

// What Open found besides the sequences it added.
struct TOpenReport {
    // One message per .sqx file that was refused (unreadable, or counts beyond the record's limits),
    // naming the file and the problem. Such files are not part of the set and are never removed by Save.
    std::vector<std::string> Refused;
    // Set when reading stopped at a record whose name cannot be made unique: the file name. The files
    // after it were not read (and are not part of the set).
    std::string StoppedAt;
    // Set when the comment's file was larger than MaxCommentSize: what was done. The file is written
    // again only when the comment is edited.
    std::string CommentNote;
    // Whether a save that had been cut short after its decision was finished first.
    bool FinishedInterruptedSave = false;
};

enum class TSaveResult {
    Saved,
    NeedsFolder,  // the set has no folder, or its folder no longer exists: do Save as
};

enum class TSaveAsResult {
    Saved,
    FolderExists,    // show "Please create new directory" and ask again
    DirectoryError,  // the folder cannot be created: show "Directory Error" and ask again
};

enum class TModifyResult {
    Modified,       // the edited record is stored (its name possibly made unique with "~")
    NameNotUnique,  // the new name cannot be made unique: the edit is stored under the old name
};

class TSequenceSet {
   public:
    explicit TSequenceSet(TSetFiles& files = DefaultSetFiles());
    ~TSequenceSet();  // waits for the clean-up of the last save
    TSequenceSet(const TSequenceSet&) = delete;
    TSequenceSet& operator=(const TSequenceSet&) = delete;

    // --- State -------------------------------------------------------------------------------------
    // The records of the set, in list order; the set owns them. Each record's Name is its list name,
    // and the names are unique (exact, case-sensitive comparison).
    const std::vector<std::unique_ptr<TSequence>>& Sequences() const { return sequences_; }
    int Count() const { return static_cast<int>(sequences_.size()); }
    const TSequence& Sequence(int index) const { return *sequences_.at(static_cast<std::size_t>(index)); }
    std::vector<std::string> Names() const;
    // Index of the record of that name, -1 when none.
    int IndexOf(const std::string& name) const;
    // The stem of the files of the record at `index` (its .sqx file, and the files an export writes
    // for it): distinct within the set, and always a plain file name (see DistinctFileStems).
    std::string FileStem(int index) const;

    // The comment of the set, one string per line (no line ends). Editing it does not set SetModified.
    const std::vector<std::string>& Comment() const { return comment_; }
    void SetComment(std::vector<std::string> lines);

    // The folder the set was opened from or last saved to; empty for a set without a folder.
    const std::string& SetFolder() const { return setFolder_; }
    // True when the set has changes that no save has written.
    bool SetModified() const { return setModified_; }
    void MarkModified() { setModified_ = true; }

    // --- The unique-name rule ------------------------------------------------------------------------
    // Cuts the candidate to 31 characters, then appends "~" while it equals a name of the set. Nothing
    // when the name reaches 31 characters and is still taken. `except` is an index whose own name does
    // not count (the record being renamed), -1 for none.
    std::optional<std::string> MakeNameUnique(const std::string& candidate, int except = -1) const;

    // Adds a record whose name the caller has already made unique (stored into its Name) at the end of
    // the list and returns its index. Sets SetModified when `markModified`.
    int AddSequence(std::unique_ptr<TSequence> seq, bool markModified = true);

    // --- Set operations ------------------------------------------------------------------------------
    // New empty set: no records, no folder, empty comment, SetModified false. Nothing is asked.
    void NewSet();

    // Holds the lock of `folder` until ReleaseFolder, NewSet or destruction, so that an open, a change
    // and a save follow each other with no other writer between. Throws TFolderBusy after a brief wait.
    void HoldFolder(const std::string& folder);
    void ReleaseFolder() { held_.reset(); }

    // Opens the set folder: the records of every *.sqx file (sorted by file name, case-insensitively),
    // names made unique, and the comment from "Comment.Txt" when present. Refused files are reported and
    // skipped; reading stops at a name that cannot be made unique. SetModified keeps its value.
    // Throws TFileError (and changes nothing) when the folder cannot be listed.
    TOpenReport Open(const std::string& folder);

    // Writes the set into SetFolder. Throws TFileError naming the file when a write fails; the folder
    // then still holds the set as it was before (or, when the message says so, the save is finished by
    // the next Open or Save), and SetModified stays true. Throws TFolderBusy when another program keeps
    // the folder, TSetChangedOnDisk when another program saved the set since it was opened here.
    TSaveResult Save();

    // Creates `folder` (which must not exist yet; its parents are created when missing) and writes the
    // set into it; it becomes SetFolder. Throws TFileError when a write fails: the new folder is removed
    // again and SetFolder is unchanged. `problem`, when given, receives the reason of DirectoryError.
    TSaveAsResult SaveAs(const std::string& folder, std::string* problem = nullptr);

    // Waits until the previous versions that the last save set aside are removed (Save, Save as and
    // the destructor do this themselves).
    void WaitForCleanup();

    // --- Sequence operations -------------------------------------------------------------------------
    // The starting record of New sequence: a copy of the selected record when there is one and its
    // ArrayType is not 9, else the defaults (named "NoName"); its name made unique. nullptr when the
    // name cannot be made unique. `selected` is -1 when nothing is selected.
    std::unique_ptr<TSequence> NewSequenceStart(int selected) const;
    // New sequence ended with OK: sets SetModified, makes the record's name unique again and adds it.
    // Returns its index, or -1 (record dropped) when the name cannot be made unique.
    int AddNewSequence(std::unique_ptr<TSequence> seq);

    // Modify ended with OK: stores the edited record at `index` and sets SetModified. A new name is made
    // unique against the other names.
    TModifyResult ModifySequence(int index, const TSequence& edited);

    // Removes and destroys the record. Returns the index to show next (0) when records remain, else -1.
    // Does not set SetModified. An index out of range does nothing and returns -1.
    int DeleteSequence(int index);

    // Imports one file by its extension (".sqx", ".seq", ".txt", ".ohm", ".shm", ".dat", compared in lower
    // case), makes its name unique, adds it and sets SetModified. Returns the index, or -1 when nothing
    // was added because the extension is none of these or the name cannot be made unique. Throws
    // TFileError naming the file (and the line, for text) when the file is refused; nothing is added then.
    // `decimal` is the decimal separator of text files, `spacing` that of a protocol.dat's electrodes.
    int ImportFile(const std::string& path, char decimal, float spacing = 1.0f);

   private:
    TSetFiles& files_;
    std::vector<std::unique_ptr<TSequence>> sequences_;
    std::vector<std::string> comment_;
    std::string setFolder_;
    bool setModified_ = false;
    // File names inside setFolder_ that belong to the set (read by Open or written by Save); only these
    // may be removed as stale.
    std::set<std::string> ownFiles_;
    // For each record, the file of setFolder_ that holds it unchanged; empty when it must be written.
    std::vector<std::string> storedAs_;
    bool commentStored_ = false;
    // What the set's files on disk were when this set last read or wrote them; nothing when unknown.
    std::optional<std::vector<std::string>> stamp_;
    std::unique_ptr<TFolderLock> held_;
    std::unique_ptr<TFolderLock> LockFor(const std::string& folder) const;
    // Removes the previous versions set aside by the last save.
    std::thread cleanup_;

    void WriteInto(const std::string& folder, bool freshFolder);
};
