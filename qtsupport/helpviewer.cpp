#include "helpviewer.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileInfo>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>

#include "apppaths.h"
#include "messages.h"

namespace {
QPointer<QTextBrowser> helpWindow;

// The help window belongs to the window it was asked from: a modal dialog would otherwise block it
// until the dialog closes, and a window of its own would keep the program running after the main
// window has closed.
void Adopt(QWidget* owner) {
    if (helpWindow->parentWidget() == owner) return;
    const QRect where = helpWindow->geometry();
    const bool shown = helpWindow->isVisible();
    helpWindow->setParent(owner, Qt::Window);
    helpWindow->setGeometry(where);
    if (shown) helpWindow->show();
    if (auto* dialog = qobject_cast<QDialog*>(owner)) {
        // Back to the dialog's own window when the dialog goes, so the page stays open.
        QObject::connect(dialog, &QDialog::finished, helpWindow, [dialog] {
            if (helpWindow && helpWindow->parentWidget() == dialog)
                Adopt(dialog->parentWidget() != nullptr ? dialog->parentWidget()->window() : nullptr);
        });
    }
}
}  // namespace

QString ShowHelpTopic(int mapId, QWidget* parent) {
    const QString folder = HelpFolderPath();
    QString page = folder + QString::number(mapId) + ".html";
    if (folder.isEmpty() || !QFileInfo::exists(page)) page = folder.isEmpty() ? QString() : folder + "100.html";
    QWidget* owner = QApplication::activeModalWidget();
    if (owner == nullptr && parent != nullptr) owner = parent->window();
    if (!helpWindow) {
        helpWindow = new QTextBrowser(owner);
        helpWindow->setWindowFlag(Qt::Window);
        helpWindow->setAttribute(Qt::WA_DeleteOnClose);
        helpWindow->setWindowTitle(QString(Msg::AppTitle) + " Help");
        helpWindow->resize(640, 520);
        helpWindow->setOpenLinks(true);
        // Pages of other sites open in the user's browser.
        helpWindow->setOpenExternalLinks(true);
    }
    Adopt(owner);
    if (!page.isEmpty()) helpWindow->setSource(QUrl::fromLocalFile(page));
    helpWindow->show();
    helpWindow->raise();
    return QFileInfo::exists(page) && page.endsWith(QString::number(mapId) + ".html") ? page : QString();
}

QWidget* HelpWindow() { return helpWindow; }
