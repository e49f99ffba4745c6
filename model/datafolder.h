// The program's data folder (working folders "Cable", "Sequence", "Varnel").
#pragma once

#include <string>

// An explicit folder if given, else $TERAVOX_HOME, else the per-user data folder
// ($XDG_DATA_HOME/teravox2, or ~/.local/share/teravox2).
std::string ResolveDataFolder(const std::string& explicitFolder = "");
std::string JoinPath(const std::string& folder, const std::string& name);
// ASCII letters in lower case; other bytes (UTF-8 included) as they are.
std::string LowerAscii(std::string text);
// The extension of the file name of a path, dot included, in lower case ("" when none): ".sqx".
std::string LowerExtension(const std::string& path);
// A user's text (a sequence name) made fit to be part of a file name in a folder: every character that
// could lead out of the folder or that a file system refuses ("/", "\\" and the control characters)
// becomes "_".
std::string FileNameSafe(std::string text);
// Creates the folder and its parents when missing. Throws TFileError when it cannot.
void MakeFolders(const std::string& folder);
