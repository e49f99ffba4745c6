// The program's data folder (working folders "Cable", "Sequence", "Varnel").
#pragma once

#include <string>

// An explicit folder if given, else $TERAVOX_HOME, else the per-user data folder
// ($XDG_DATA_HOME/teravox2, or ~/.local/share/teravox2).
std::string ResolveDataFolder(const std::string& explicitFolder = "");
std::string JoinPath(const std::string& folder, const std::string& name);
// Creates the folder and its parents when missing. Throws TFileError when it cannot.
void MakeFolders(const std::string& folder);
