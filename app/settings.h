// The settings that survive from one run to the next, read once when the main window is built and
// written once when it closes. Keys and value names are the program's historical ones:
//   SOFTWARE/Brevik Rivozuriviz/Varnel/Initialisation/TeravoxII: New, Modify, Import, Delete (0/1),
//       TabSeparateur (9, 44 or 32), PortNumVarnel (1..4 "Com n", 5 USB), PortNumModem (1..4)
//   SOFTWARE/Brevik Rivozuriviz/Varnel/Initialisation/Dalvex: TeravoxII = the program folder
// and, for this platform, the device path of each "Com n" (ComDevice1..ComDevice4) and the channels of
// the meter the plans are made for (Channels, 1..64).
#pragma once

#include <QString>
#include <array>
#include <memory>

class QSettings;

constexpr const char* SettingsBase = "SOFTWARE/Brevik Rivozuriviz/Varnel";
constexpr const char* SettingsKey = "SOFTWARE/Brevik Rivozuriviz/Varnel/Initialisation/TeravoxII";
constexpr const char* DalvexKey = "SOFTWARE/Brevik Rivozuriviz/Varnel/Initialisation/Dalvex";

struct TAppSettings {
    bool NewEnabled = true;
    bool ModifyEnabled = true;
    bool ImportEnabled = true;
    bool DeleteEnabled = true;
    int TabSeparateur = 32;
    int PortNumVarnel = 1;
    int PortNumModem = 3;
    std::array<QString, 4> ComDevice = {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3"};
    int Channels = 1;
};

// Reads each value that is present, in the historical order. A value that cannot be read (another
// type than expected) stops the reading there: the values before it stay in force and the returned
// text says what failed; empty when all went well. A separator other than 9 or 44 is taken as 32, a
// channel count outside 1 to 64 as 1.
QString ReadSettings(QSettings& store, TAppSettings& s);
// Writes the seven values, then the Dalvex key with `programFolder`. Returns the error text, or empty.
QString WriteSettings(QSettings& store, const TAppSettings& s, const QString& programFolder);

// The store the program uses: an ini file in the user's configuration folder (QSettings::UserScope),
// or the file named by $TERAVOX_SETTINGS.
std::unique_ptr<QSettings> OpenSettingsStore();
