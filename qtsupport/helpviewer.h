// The help pages: one HTML page per map id, shown in the program's own help window.
#pragma once

#include <QString>

class QWidget;

// Opens the help window on the page of the map id and returns the page's path (empty when the
// program has no page for it; the window then shows the contents page). Nothing waits for it.
QString ShowHelpTopic(int mapId, QWidget* parent = nullptr);
// Opens the help window on a page of the help folder, with an optional anchor ("500.html#wenner").
// Returns the page's path, empty when there is no such page (the contents page is shown then).
QString ShowHelpPage(const QString& pageAndAnchor, QWidget* parent = nullptr);
// The map ids the program uses, each with its page.
constexpr int HelpMapIds[] = {100, 300, 400, 500, 1000, 1010, 1011, 1100, 1200};
// The help window while it is open, else null.
QWidget* HelpWindow();
// A folder of the data shipped with the program ("help", "demo"), ending with "/"; empty when none is
// found. Looked for in $TERAVOX_SHARE_DIR when set (the tests point it at the build tree), else in the
// installed share folder found from the program's own place (so the prefix can move), else beside the
// program (the build tree); never in the sources.
QString ShippedFolder(const QString& sub);
// Folder of the help pages ("<id>.html").
QString HelpFolderPath();
