#include "app/apppaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include "model/datafolder.h"
#include "qtsupport/helpviewer.h"

namespace {
QString WithSlash(QString p) {
    if (!p.endsWith('/')) p += '/';
    return p;
}

bool FolderEmpty(const QString& path) {
    QDir d(path);
    return !d.exists() || d.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot);
}

bool CopyTree(const QString& from, const QString& to) {
    QDir src(from);
    if (!src.exists()) return true;
    if (!QDir().mkpath(to)) return false;
    bool ok = true;
    for (const QFileInfo& e : src.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        const QString target = to + "/" + e.fileName();
        if (e.isDir())
            ok = CopyTree(e.absoluteFilePath(), target) && ok;
        else if (!QFileInfo::exists(target))
            ok = QFile::copy(e.absoluteFilePath(), target) && ok;
    }
    return ok;
}
}  // namespace

QString DataFolderPath() { return WithSlash(QString::fromStdString(ResolveDataFolder())); }

QString DemoFolderPath() { return ShippedFolder("demo"); }

bool InstallDemoData(const QString& demoFolder, const QString& dataFolder) {
    if (demoFolder.isEmpty()) return false;
    if (!FolderEmpty(dataFolder + "Cable") || !FolderEmpty(dataFolder + "Sequence")) return false;
    return CopyTree(demoFolder + "Cable", dataFolder + "Cable") &&
           CopyTree(demoFolder + "Sequence", dataFolder + "Sequence");
}
