// File names of sequences inside a folder (a set folder or an export folder).
#pragma once

#include <string>
#include <vector>

// The stem of a sequence's files: its name without the extension (the part from its last "."), with
// every character that could lead out of the folder or that a file system refuses ("/", "\\" and the
// control characters) replaced by "_". The file name is the stem followed by the format's ending, so
// it can never be "." or ".." and never holds a folder separator.
std::string SequenceFileStem(const std::string& name);

// SequenceFileStem + ending: "Line1" with ".sqx" gives "Line1.sqx", "1.5m" gives "1.sqx".
std::string SequenceFileName(const std::string& name, const std::string& ending);

// The stems of a list of names, in order, made distinct: a stem already taken by an earlier name
// (compared without regard to case, since sets travel on file systems that ignore it) gets "~"
// appended until it is free. So "1.5m" and "1.6m" get "1" and "1~".
std::vector<std::string> DistinctFileStems(const std::vector<std::string>& names);

// Whether a file name ends in the extension, compared without regard to case (".sqx" matches "A.SQX").
bool HasExtension(const std::string& fileName, const std::string& extension);

// The caption that names a set folder for the user: the folder relative to the sequence folder (a
// folder directly inside it shows as its own name, one beside it as "../" and its path from the common
// parent), the folder in full when they share nothing but the root, "" for a set without a folder.
std::string SetFolderCaption(const std::string& setFolder, const std::string& sequenceFolder);

// Whether a file name is one of the hidden files of a save: a temporary or a previous version kept
// aside (IsHiddenWriteName, fileio.h), or one of the form earlier versions used
// (".<name>.tmp-<digits>-<digits>", ".<name>.old-<digits>-<digits>", <name> being "Comment.Txt" or a
// .sqx file). A save removes those that an earlier one left when the process ended mid-way.
bool IsSetTemporaryName(const std::string& fileName);
