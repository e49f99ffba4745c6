#include "qtsupport/workspace.h"

#include <QLocale>
#include <charconv>
#include <cmath>
#include <cstdio>

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

std::optional<double> ReadTypedNumber(const QString& text, char decimal) {
    QString t = text.trimmed();
    if (t.isEmpty()) return std::nullopt;
    const QChar other = decimal == ',' ? QChar('.') : QChar(',');
    if (t.contains(other)) return std::nullopt;
    if (decimal == ',') t.replace(',', '.');
    bool ok = false;
    const double v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<int> ReadTypedInteger(const QString& text) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok) return std::nullopt;
    return v;
}

namespace {
QString WithDecimal(const char* text, char decimal) {
    QString s = QString::fromLatin1(text);
    if (decimal == ',') s.replace('.', ',');
    return s;
}
}  // namespace

QString FixedTwoText(double v, char decimal) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return WithDecimal(buf, decimal);
}

QString ShortestText(float v, char decimal) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf - 1, v);
    *r.ptr = '\0';
    return WithDecimal(buf, decimal);
}
