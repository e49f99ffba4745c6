#include "qtsupport/workspace.h"

#include <QLocale>
#include <charconv>
#include <limits>

#include "model/sequence.h"
#include "storage/numberformat.h"
#include "storage/sequenceset.h"

QString RecordText(const std::string& bytes) { return QString::fromStdString(RecordTextUtf8(bytes)); }

std::string RecordField(const QString& text) {
    std::string out;
    for (const uint c : text.toUcs4()) {
        const std::string one = QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1).toStdString();
        if (out.size() + one.size() > 31) break;
        out += one;
    }
    return out;
}

char LocaleDecimal() { return QLocale().decimalPoint().at(0).toLatin1() == ',' ? ',' : '.'; }

TWorkspace::TWorkspace(const QString& programFolder, const TSequenceSet& set)
    : programFolder_(programFolder.endsWith('/') ? programFolder : programFolder + "/"),
      set_(set),
      decimal_(LocaleDecimal()) {}

int TWorkspace::SequenceCount() const { return set_.Count(); }

QStringList TWorkspace::SequenceNames() const {
    QStringList names;
    for (const std::string& n : set_.Names()) names << RecordText(n);
    return names;
}

const TSequence& TWorkspace::Sequence(int row) const { return set_.Sequence(row); }

// Typed numbers follow the grammar of the numbers in text files: one parser for both.
std::optional<double> ReadTypedNumber(const QString& text, char decimal) {
    return ParseDecimal(text.trimmed().toStdString(), decimal);
}

std::optional<int> ReadTypedInteger(const QString& text) {
    const auto v = ParseInteger(text.trimmed().toStdString());
    if (!v || *v < std::numeric_limits<int>::min() || *v > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(*v);
}

namespace {
QString WithDecimal(const char* text, char decimal) {
    QString s = QString::fromLatin1(text);
    if (decimal == ',') s.replace('.', ',');
    return s;
}
}  // namespace

// A coordinate shown in a dialog reads as it does in an exported file.
QString FixedTwoText(double v, char decimal) { return QString::fromStdString(FormatFixed2(v, decimal)); }

QString ShortestText(float v, char decimal) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf - 1, v);
    *r.ptr = '\0';
    return WithDecimal(buf, decimal);
}
