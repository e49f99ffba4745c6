// The modem's dial directory "PhoneNum.Dial": free-text entries (typically a place and its number),
// one a line ended by CR LF, kept in sorted order ignoring letter case. It lies in the data folder.
// A missing file is an empty directory.
#pragma once

#include <string>
#include <string_view>
#include <vector>

constexpr const char* DialFileName = "PhoneNum.Dial";
// What a number is made of: the digits and the dial modifiers (pause, wait for dial tone).
constexpr std::string_view DialNumberChars = "1234567890,Ww";

// The file inside a data folder (with or without the final "/").
std::string DialFilePath(const std::string& dataFolder);

// The number in an entry: the run of number characters that ends with the last digit of the text
// ("Depot 9,W0123" gives "9,W0123"; a space ends the run, so "Office 01 23 45" gives "45"). Empty
// when the text holds no digit.
std::string DialNumberOf(std::string_view text);

// True when the two texts are equal ignoring the case of ASCII letters.
bool SameDialEntry(std::string_view a, std::string_view b);

// The entries of a directory file's text, in file order: one a line, a line ended by CR LF, LF or a
// lone CR; blank lines are no entries.
std::vector<std::string> ParseDialLines(std::string_view text);

class TDialDirectory {
   public:
    explicit TDialDirectory(std::string path) : path_(std::move(path)) {}

    const std::string& Path() const { return path_; }
    const std::vector<std::string>& Entries() const { return entries_; }

    // Reads the file (ParseDialLines) and sorts it.
    // A missing file gives an empty directory. Throws TFileError; the entries are then unchanged.
    void Load();
    // Writes every entry followed by CR LF, atomically; no entry writes an empty file. Throws TFileError.
    void Save() const;

    // The index of the entry equal to the text ignoring letter case; -1 when there is none.
    int Find(std::string_view text) const;
    // Inserts the text at its sorted place unless an equal entry exists or the text is blank (a blank
    // line is no entry). Returns whether it was added.
    bool Add(const std::string& text);
    // Removes the entry equal to the text ignoring letter case. Returns whether there was one.
    bool Remove(std::string_view text);

   private:
    std::string path_;
    std::vector<std::string> entries_;
};
