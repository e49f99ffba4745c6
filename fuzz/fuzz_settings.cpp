// The settings file: the bytes are the ini file the program reads at start-up. Whatever it holds, the
// reading ends with settings the program can use or a message, and what it then writes reads back
// as the same settings.
#include <QSettings>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/settings.h"
#include "fuzz/fuzzcheck.h"
#include "fuzz/fuzzfolder.h"

namespace {

bool Same(const TAppSettings& a, const TAppSettings& b) {
    return a.NewEnabled == b.NewEnabled && a.ModifyEnabled == b.ModifyEnabled &&
           a.ImportEnabled == b.ImportEnabled && a.DeleteEnabled == b.DeleteEnabled &&
           a.TabSeparateur == b.TabSeparateur && a.PortNumVarnel == b.PortNumVarnel &&
           a.PortNumModem == b.PortNumModem && a.ComDevice == b.ComDevice;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TFuzzFolder folder("settings");
    // QSettings keeps what it parsed of a file by its name: every input gets a name of its own.
    static long run = 0;
    const std::string name = "settings" + std::to_string(++run) + ".ini";
    const std::string copy = "copy" + std::to_string(run) + ".ini";
    folder.Write(name, data, size);
    TAppSettings read;
    QString error;
    {
        QSettings store(QString::fromStdString(folder.Path(name)), QSettings::IniFormat);
        error = ReadSettings(store, read);
    }
    FuzzCheck(read.TabSeparateur == 9 || read.TabSeparateur == 32 || read.TabSeparateur == 44,
              "the separator is tab, comma or space");
    if (error.isEmpty()) {
        {
            QSettings out(QString::fromStdString(folder.Path(copy)), QSettings::IniFormat);
            FuzzCheck(WriteSettings(out, read, "/opt/teravox2").isEmpty(), "the settings are written");
        }
        TAppSettings again;
        QSettings back(QString::fromStdString(folder.Path(copy)), QSettings::IniFormat);
        FuzzCheck(ReadSettings(back, again).isEmpty() && Same(read, again),
                  "written settings read back the same");
    }
    folder.Clear();
    return 0;
}
