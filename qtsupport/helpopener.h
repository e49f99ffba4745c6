// How a window opens the help: by map id, or by a keyword (the array type names). Dialogs take a
// THelpOpener so that tests see which page was asked for instead of a help window opening.
#pragma once

#include <QString>

class QWidget;

class THelpOpener {
   public:
    virtual ~THelpOpener() = default;
    // The page of a map id, shown over `from` (the asking window).
    virtual void ShowTopic(int mapId, QWidget* from) = 0;
    // The section of a keyword ("Dipole dipole", "Wenner", ...); the contents page for an unknown one.
    virtual void ShowKeyword(const QString& keyword, QWidget* from) = 0;
};

// The help pages shipped with the program, in the program's help window.
class TPageHelpOpener : public THelpOpener {
   public:
    void ShowTopic(int mapId, QWidget* from) override;
    void ShowKeyword(const QString& keyword, QWidget* from) override;
};

// The page and anchor of a keyword ("500.html#wenner"); empty for an unknown keyword.
QString HelpKeywordTarget(const QString& keyword);
