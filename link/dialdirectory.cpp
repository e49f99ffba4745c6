#include "link/dialdirectory.h"

#include <algorithm>

#include "model/fileio.h"

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The list's order: letter case ignored, then byte order so that equal-looking entries stay stable.
bool Before(const std::string& a, const std::string& b) {
    const auto n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char x = Lower(a[i]), y = Lower(b[i]);
        if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

bool Blank(std::string_view text) { return text.find_first_not_of(" \t") == std::string_view::npos; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string DialFilePath(const std::string& dataFolder) {
    std::string folder = dataFolder;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + DialFileName;
}

std::string DialNumberOf(std::string_view text) {
    std::size_t end = text.size();
    while (end > 0 && !IsDigit(text[end - 1])) --end;
    if (end == 0) return {};
    std::size_t start = end - 1;
    while (start > 0 && DialNumberChars.find(text[start - 1]) != std::string_view::npos) --start;
    return std::string(text.substr(start, end - start));
}

bool SameDialEntry(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

std::vector<std::string> ParseDialLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    auto take = [&](std::size_t end) {
        const std::string_view line = text.substr(start, end - start);
        if (!Blank(line)) lines.emplace_back(line);
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        take(i);
        // CR LF is one end; a CR alone ends its line too, as an editor of old Macintosh files writes
        // it, rather than joining two entries into one.
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) take(text.size());
    return lines;
}

void TDialDirectory::Load() {
    std::vector<std::string> lines;
    if (FileExists(path_)) {
        const auto bytes = ReadWholeFile(path_);
        lines = ParseDialLines(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }
    std::stable_sort(lines.begin(), lines.end(), Before);
    entries_ = std::move(lines);
}

void TDialDirectory::Save() const {
    std::string text;
    for (const std::string& e : entries_) text += e + "\r\n";
    WriteFileAtomic(path_, text.data(), text.size());
}

int TDialDirectory::Find(std::string_view text) const {
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (SameDialEntry(entries_[i], text)) return static_cast<int>(i);
    return -1;
}

bool TDialDirectory::Add(const std::string& text) {
    if (Blank(text) || Find(text) >= 0) return false;
    entries_.insert(std::upper_bound(entries_.begin(), entries_.end(), text, Before), text);
    return true;
}

bool TDialDirectory::Remove(std::string_view text) {
    const int i = Find(text);
    if (i < 0) return false;
    entries_.erase(entries_.begin() + i);
    return true;
}
