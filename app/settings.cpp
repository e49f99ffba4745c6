#include "app/settings.h"

#include <QSettings>

namespace {

QString Key(const char* value) { return QString(SettingsKey) + "/" + value; }

// One integer value; false (with the error text) when it is there but not an integer.
bool ReadInt(QSettings& store, const char* name, int& out, bool& present, QString& error) {
    present = store.contains(Key(name));
    if (!present) return true;
    QVariant v = store.value(Key(name));
    bool ok = false;
    int n = v.toInt(&ok);
    if (!ok) {
        error = QString("Invalid data type for '%1'").arg(name);
        return false;
    }
    out = n;
    return true;
}

}  // namespace

QString ReadSettings(QSettings& store, TAppSettings& s) {
    if (store.status() != QSettings::NoError) return "The settings cannot be read";
    QString error;
    bool present = false;
    struct {
        const char* Name;
        bool* Flag;
    } flags[] = {{"New", &s.NewEnabled},
                 {"Modify", &s.ModifyEnabled},
                 {"Import", &s.ImportEnabled},
                 {"Delete", &s.DeleteEnabled}};
    for (auto& f : flags) {
        int v = 0;
        if (!ReadInt(store, f.Name, v, present, error)) return error;
        if (present) *f.Flag = v != 0;
    }
    int v = 0;
    if (!ReadInt(store, "TabSeparateur", v, present, error)) return error;
    if (present) {
        int low = v & 0xFF;
        s.TabSeparateur = (low == 9 || low == 44) ? low : 32;
    }
    if (!ReadInt(store, "PortNumVarnel", s.PortNumVarnel, present, error)) return error;
    if (!ReadInt(store, "PortNumModem", s.PortNumModem, present, error)) return error;
    for (int i = 0; i < 4; ++i) {
        QString k = Key(QString("ComDevice%1").arg(i + 1).toUtf8().constData());
        if (store.contains(k)) s.ComDevice[static_cast<std::size_t>(i)] = store.value(k).toString();
    }
    if (!ReadInt(store, "Channels", v, present, error)) return error;
    if (present) s.Channels = v >= 1 && v <= 64 ? v : 1;
    return QString();
}

QString WriteSettings(QSettings& store, const TAppSettings& s, const QString& programFolder) {
    store.setValue(Key("TabSeparateur"), s.TabSeparateur);
    store.setValue(Key("PortNumVarnel"), s.PortNumVarnel);
    store.setValue(Key("PortNumModem"), s.PortNumModem);
    store.setValue(Key("New"), s.NewEnabled ? 1 : 0);
    store.setValue(Key("Modify"), s.ModifyEnabled ? 1 : 0);
    store.setValue(Key("Import"), s.ImportEnabled ? 1 : 0);
    store.setValue(Key("Delete"), s.DeleteEnabled ? 1 : 0);
    for (int i = 0; i < 4; ++i)
        store.setValue(Key(QString("ComDevice%1").arg(i + 1).toUtf8().constData()),
                       s.ComDevice[static_cast<std::size_t>(i)]);
    store.setValue(Key("Channels"), s.Channels);
    store.setValue(QString(DalvexKey) + "/TeravoxII", programFolder);
    store.sync();
    if (store.status() != QSettings::NoError) return "The settings cannot be written";
    return QString();
}

std::unique_ptr<QSettings> OpenSettingsStore() {
    QByteArray file = qgetenv("TERAVOX_SETTINGS");
    if (!file.isEmpty())
        return std::make_unique<QSettings>(QString::fromLocal8Bit(file), QSettings::IniFormat);
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "Teravox", "TeravoxII");
}
