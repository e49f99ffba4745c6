#include "helpviewer.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>

#include "apppaths.h"
#include "messages.h"

namespace {
QPointer<QTextBrowser> helpWindow;
}

QString ShowHelpTopic(int mapId, QWidget* parent) {
    const QString folder = HelpFolderPath();
    QString page = folder + QString::number(mapId) + ".html";
    if (folder.isEmpty() || !QFileInfo::exists(page)) page = folder.isEmpty() ? QString() : folder + "100.html";
    if (!helpWindow) {
        helpWindow = new QTextBrowser(nullptr);
        helpWindow->setAttribute(Qt::WA_DeleteOnClose);
        helpWindow->setWindowTitle(QString(Msg::AppTitle) + " Help");
        helpWindow->resize(640, 520);
        helpWindow->setOpenLinks(true);
        // Pages of other sites open in the user's browser.
        helpWindow->setOpenExternalLinks(true);
        Q_UNUSED(parent);
    }
    if (!page.isEmpty()) helpWindow->setSource(QUrl::fromLocalFile(page));
    helpWindow->show();
    helpWindow->raise();
    return QFileInfo::exists(page) && page.endsWith(QString::number(mapId) + ".html") ? page : QString();
}
