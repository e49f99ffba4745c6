#include "model/datafolder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "model/fileio.h"

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string LowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string LowerExtension(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string base = path.substr(slash == std::string::npos ? 0 : slash + 1);
    const std::size_t dot = base.rfind('.');
    return dot == std::string::npos ? std::string() : LowerAscii(base.substr(dot));
}

std::string FileNameSafe(std::string text) {
    for (char& c : text) {
        auto u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || u < 0x20 || u == 0x7f) c = '_';
    }
    return text;
}

std::string ResolveDataFolder(const std::string& explicitFolder) {
    if (!explicitFolder.empty()) return explicitFolder;
    if (const char* h = std::getenv("TERAVOX_HOME"); h != nullptr && *h != '\0') return h;
    if (const char* x = std::getenv("XDG_DATA_HOME"); x != nullptr && *x != '\0')
        return JoinPath(x, "teravox2");
    const char* home = std::getenv("HOME");
    return JoinPath(JoinPath(home != nullptr ? home : ".", ".local/share"), "teravox2");
}

void MakeFolders(const std::string& folder) {
    if (folder.empty()) return;
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = folder.find('/', pos + 1);
        partial = folder.substr(0, pos);
        if (partial.empty()) continue;
        struct stat st {};
        if (::stat(partial.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) throw TFileError(partial, "exists and is not a folder");
            continue;
        }
        if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
            throw TFileError(partial, "cannot create folder: " + ErrnoText(errno));
    }
}
