#include "filenames.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

}  // namespace

std::string SequenceFileStem(const std::string& name) {
    std::string stem = name.substr(0, std::min(name.size(), name.rfind('.')));
    for (char& c : stem) {
        auto u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || u < 0x20 || u == 0x7f) c = '_';
    }
    return stem;
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
        while (taken.count(Lower(stem)) != 0) stem += '~';
        taken.insert(Lower(stem));
        stems.push_back(stem);
    }
    return stems;
}

bool HasExtension(const std::string& fileName, const std::string& extension) {
    if (fileName.size() < extension.size()) return false;
    return Lower(fileName.substr(fileName.size() - extension.size())) == Lower(extension);
}
