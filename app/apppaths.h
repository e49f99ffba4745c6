// Where the desktop program finds its data folder, its help pages and its demo data.
#pragma once

#include <QString>

// The data folder (ProgramFolder): $TERAVOX_HOME, else the per-user data folder. Ends with "/".
QString DataFolderPath();
// Folder of the demo data shipped with the program (Cable/, Sequence/), empty when none is found;
// looked for as the help pages are (ShippedFolder).
QString DemoFolderPath();
// Copies the demo cable sets, segment library and demo set into the data folder when its Cable and
// Sequence folders are both empty (a first start). Returns true when it copied.
bool InstallDemoData(const QString& demoFolder, const QString& dataFolder);
