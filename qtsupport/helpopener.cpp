#include "qtsupport/helpopener.h"

#include "qtsupport/helpviewer.h"

QString HelpKeywordTarget(const QString& keyword) {
    // The array types share one page, each with its own section.
    static const struct {
        const char* Keyword;
        const char* Target;
    } keywords[] = {
        {"Dipole dipole", "500.html#dipole-dipole"},
        {"Pole dipole", "500.html#pole-dipole"},
        {"Pole pole", "500.html#pole-pole"},
        {"Wenner", "500.html#wenner"},
        {"Wenner-Schlumberger", "500.html#wenner-schlumberger"},
        {"Multiple gradient", "500.html#multiple-gradient"},
        {"Gradient", "500.html#gradient"},
    };
    const QString k = keyword.trimmed();
    // Every row of the list's 3D section lays its array on a grid: the grid's section tells how.
    if (k.endsWith(QLatin1String(" 3D"))) return QStringLiteral("500.html#grid3d");
    for (const auto& entry : keywords)
        if (k.compare(QLatin1String(entry.Keyword), Qt::CaseInsensitive) == 0)
            return QString::fromLatin1(entry.Target);
    return QString();
}

void TPageHelpOpener::ShowTopic(int mapId, QWidget* from) { ShowHelpTopic(mapId, from); }

void TPageHelpOpener::ShowKeyword(const QString& keyword, QWidget* from) {
    const QString target = HelpKeywordTarget(keyword);
    if (target.isEmpty())
        ShowHelpTopic(500, from);
    else
        ShowHelpPage(target, from);
}
