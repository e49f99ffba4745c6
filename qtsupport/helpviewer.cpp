#include "qtsupport/helpviewer.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>

#include "qtsupport/messages.h"

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

namespace {
// Shows `page` (a file path, possibly empty) scrolled to `anchor`.
void Show(const QString& page, const QString& anchor, QWidget* parent) {
    QWidget* owner = QApplication::activeModalWidget();
    if (owner == nullptr && parent != nullptr) owner = parent->window();
    if (!helpWindow) {
        helpWindow = new QTextBrowser(owner);
        helpWindow->setWindowFlag(Qt::Window);
        helpWindow->setAttribute(Qt::WA_DeleteOnClose);
        helpWindow->setWindowTitle(QString(Msg::AppTitle) + " Help");
        helpWindow->resize(640, 520);
        // The first time, over the middle of the window that asked.
        if (owner != nullptr) {
            const QRect o = owner->window()->frameGeometry();
            helpWindow->move(o.center() - QPoint(320, 260));
        }
        helpWindow->setOpenLinks(true);
        // Pages of other sites open in the user's browser.
        helpWindow->setOpenExternalLinks(true);
    }
    Adopt(owner);
    if (!page.isEmpty()) {
        QUrl url = QUrl::fromLocalFile(page);
        if (!anchor.isEmpty()) url.setFragment(anchor);
        helpWindow->setSource(url);
    }
    helpWindow->show();
    helpWindow->raise();
}
}  // namespace

QString ShowHelpTopic(int mapId, QWidget* parent) {
    return ShowHelpPage(QString::number(mapId) + ".html", parent);
}

QString ShowHelpPage(const QString& pageAndAnchor, QWidget* parent) {
    const QString folder = HelpFolderPath();
    const auto hash = pageAndAnchor.indexOf('#');
    const QString name = hash < 0 ? pageAndAnchor : pageAndAnchor.left(hash);
    const QString anchor = hash < 0 ? QString() : pageAndAnchor.mid(hash + 1);
    QString page = folder + name;
    const bool found = !folder.isEmpty() && !name.isEmpty() && QFileInfo::exists(page);
    if (!found) page = folder.isEmpty() ? QString() : folder + "100.html";
    Show(page, found ? anchor : QString(), parent);
    return found ? page : QString();
}

QString ShippedFolder(const QString& sub) {
    const auto existing = [](const QString& path) {
        return QFileInfo(path).isDir() ? QDir(path).absolutePath() + "/" : QString();
    };
    const QByteArray env = qgetenv("TERAVOX_SHARE_DIR");
    if (!env.isEmpty()) return existing(QString::fromLocal8Bit(env) + "/" + sub);
    const QString exe = QCoreApplication::applicationDirPath();
    const QString installed = existing(exe + "/" + TERAVOX_SHARE_FROM_BIN + "/" + sub);
    return installed.isEmpty() ? existing(exe + "/" + sub) : installed;
}

QString HelpFolderPath() { return ShippedFolder("help"); }

QWidget* HelpWindow() { return helpWindow; }
