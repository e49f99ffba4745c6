#include "storage/filenames.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>

#include "model/datafolder.h"
#include "model/fileio.h"

std::string SequenceFileStem(const std::string& name) {
    return FileNameSafe(name.substr(0, std::min(name.size(), name.rfind('.'))));
}

std::string SequenceFileName(const std::string& name, const std::string& ending) {
    return SequenceFileStem(name) + ending;
}

std::vector<std::string> DistinctFileStems(const std::vector<std::string>& names) {
    std::vector<std::string> stems;
    std::set<std::string> taken;
    stems.reserve(names.size());
    for (const std::string& n : names) {
        std::string stem = SequenceFileStem(n);
        while (taken.count(LowerAscii(stem)) != 0) stem += '~';
        taken.insert(LowerAscii(stem));
        stems.push_back(stem);
    }
    return stems;
}

bool HasExtension(const std::string& fileName, const std::string& extension) {
    if (fileName.size() < extension.size()) return false;
    return LowerAscii(fileName.substr(fileName.size() - extension.size())) == LowerAscii(extension);
}

std::string SetFolderCaption(const std::string& setFolder, const std::string& sequenceFolder) {
    namespace fs = std::filesystem;
    if (setFolder.empty()) return "";
    fs::path set = fs::absolute(fs::path(setFolder)).lexically_normal();
    if (!set.has_filename()) set = set.parent_path();
    if (sequenceFolder.empty()) return set.string();
    fs::path base = fs::absolute(fs::path(sequenceFolder)).lexically_normal();
    if (!base.has_filename()) base = base.parent_path();
    // Folders that share only the root are shown in full.
    auto s = set.begin(), b = base.begin();
    int common = 0;
    while (s != set.end() && b != base.end() && *s == *b) {
        ++s;
        ++b;
        ++common;
    }
    if (common <= 1) return set.string();
    fs::path rel = set.lexically_relative(base);
    return rel.empty() ? set.string() : rel.string();
}

bool IsSetTemporaryName(const std::string& fileName) {
    if (IsHiddenWriteName(fileName)) return true;
    // The form earlier versions gave them.
    if (fileName.size() < 2 || fileName[0] != '.') return false;
    std::size_t at = fileName.rfind(".tmp-");
    if (at == std::string::npos) at = fileName.rfind(".old-");
    if (at == std::string::npos || at < 2) return false;
    std::string target = fileName.substr(1, at - 1);
    if (!HasExtension(target, ".sqx") && target != "Comment.Txt") return false;
    std::string tail = fileName.substr(at + 5);
    std::size_t dash = tail.find('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 == tail.size()) return false;
    auto digits = [](const std::string& t) {
        return std::all_of(t.begin(), t.end(), [](unsigned char c) { return c >= '0' && c <= '9'; });
    };
    return digits(tail.substr(0, dash)) && digits(tail.substr(dash + 1));
}
