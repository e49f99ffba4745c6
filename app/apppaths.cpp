#include "apppaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include "datafolder.h"

namespace {
QString WithSlash(QString p) {
    if (!p.endsWith('/')) p += '/';
    return p;
}

QString FirstExisting(const QStringList& candidates) {
    for (const QString& c : candidates)
        if (QFileInfo(c).isDir()) return WithSlash(QDir(c).absolutePath());
    return QString();
}

bool FolderEmpty(const QString& path) {
    QDir d(path);
    return !d.exists() || d.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot);
}

// Where the shipped data's sub-folder lies: $TERAVOX_SHARE_DIR when set (the tests point it at the
// build tree), else the installed folder found from the program's own place (<prefix>/bin/../share/
// teravox2, wherever the prefix was put), else beside the program, as in the build tree.
QString SharedFolder(const QString& sub) {
    const QByteArray env = qgetenv("TERAVOX_SHARE_DIR");
    if (!env.isEmpty()) return FirstExisting({QString::fromLocal8Bit(env) + "/" + sub});
    const QString exe = QCoreApplication::applicationDirPath();
    return FirstExisting({exe + "/" + TERAVOX_SHARE_FROM_BIN + "/" + sub, exe + "/" + sub});
}

bool CopyTree(const QString& from, const QString& to) {
    QDir src(from);
    if (!src.exists()) return true;
    if (!QDir().mkpath(to)) return false;
    bool ok = true;
    for (const QFileInfo& e : src.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        const QString target = to + "/" + e.fileName();
        if (e.isDir()) ok = CopyTree(e.absoluteFilePath(), target) && ok;
        else if (!QFileInfo::exists(target)) ok = QFile::copy(e.absoluteFilePath(), target) && ok;
    }
    return ok;
}
}  // namespace

QString DataFolderPath() { return WithSlash(QString::fromStdString(ResolveDataFolder())); }


QString HelpFolderPath() { return SharedFolder("help"); }

QString DemoFolderPath() { return SharedFolder("demo"); }

bool InstallDemoData(const QString& demoFolder, const QString& dataFolder) {
    if (demoFolder.isEmpty()) return false;
    if (!FolderEmpty(dataFolder + "Cable") || !FolderEmpty(dataFolder + "Sequence")) return false;
    return CopyTree(demoFolder + "Cable", dataFolder + "Cable") && CopyTree(demoFolder + "Sequence", dataFolder + "Sequence");
}
