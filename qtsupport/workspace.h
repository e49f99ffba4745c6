// What a dialog needs from the program around it: the data folders, the open set's names and records,
// and the user's decimal separator. The main window hands one to each dialog it opens; tests build one
// over a set of their own.
#pragma once

#include <QChar>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>

class TSequence;
class TSequenceSet;

// A text field of a record as shown: UTF-8 when its bytes are UTF-8, else one byte a character.
QString RecordText(const std::string& bytes);
// A text as a record's 32-byte field holds it: UTF-8, at most 31 bytes, never half a character.
std::string RecordField(const QString& text);

// The user's decimal separator for typed numbers and text files: a comma when the locale uses one,
// else the point.
char LocaleDecimal();

class TWorkspace {
   public:
    // `programFolder` is the data folder, with or without the final "/". The set is not owned and must
    // outlive the workspace.
    TWorkspace(const QString& programFolder, const TSequenceSet& set);

    // The data folder and its working folders, each ending with "/".
    QString ProgramFolder() const { return programFolder_; }
    QString CableFolder() const { return programFolder_ + "Cable/"; }
    QString SequenceFolder() const { return programFolder_ + "Sequence/"; }

    // The open set, in list order, names as the main window lists them.
    int SequenceCount() const;
    QStringList SequenceNames() const;
    const TSequence& Sequence(int row) const;

    // The decimal separator numbers are typed with (the locale's unless set).
    char Decimal() const { return decimal_; }
    void SetDecimal(char decimal) { decimal_ = decimal; }

   private:
    QString programFolder_;
    const TSequenceSet& set_;
    char decimal_;
};

// A number as the user typed it, with `decimal` as the separator (surrounding blanks allowed): ParseDecimal
// (storage/numberformat.h), so nothing when the text is not a number or lies beyond a float's range.
// The other separator is refused, as the user's locale would.
std::optional<double> ReadTypedNumber(const QString& text, char decimal);
// A whole number as typed (ParseInteger, blanks around allowed); nothing when the text is not one or
// does not fit an int.
std::optional<int> ReadTypedInteger(const QString& text);
// A number with two decimals (FormatFixed2, rounded as exported files are) and the shortest text that
// reads back as the same float, both with `decimal` as the separator.
QString FixedTwoText(double v, char decimal);
QString ShortestText(float v, char decimal);
