#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>
#include <clocale>

#include "app/apppaths.h"
#include "app/mainfrm.h"
#include "qtsupport/messages.h"
#include "qtsupport/prompts.h"

namespace {
// An error that a handler lets through is shown, and the window goes on: the user's set stays open.
class TTeravoxApplication : public QApplication {
   public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            QMessageBox::critical(activeWindow(), Msg::AppTitle, QString::fromStdString(e.what()));
        } catch (...) {
            QMessageBox::critical(activeWindow(), Msg::AppTitle, "Unexpected error");
        }
        return false;
    }
};
}  // namespace

int main(int argc, char** argv) {
    TTeravoxApplication app(argc, argv);
    QApplication::setApplicationName(Msg::AppTitle);
    QApplication::setApplicationDisplayName(Msg::AppTitle);
    std::setlocale(LC_NUMERIC, "C");  // the engine formats numbers itself
    try {
        const QString dataFolder = DataFolderPath();
        InstallDemoData(DemoFolderPath(), dataFolder);
        auto store = OpenSettingsStore();
        TQtPrompts prompts;
        TMainFrm window(prompts, *store, dataFolder);
        prompts.SetParent(&window);
        window.show();
        const QStringList args = QApplication::arguments();
        // "--set FOLDER" opens a set directly (the demo start); a plain argument offers its folder.
        int setAt = static_cast<int>(args.indexOf("--set"));
        if (setAt > 0 && setAt + 1 < args.size())
            window.OpenSetFolder(args[setAt + 1]);
        else if (args.contains("--demo") && QDir(dataFolder + "Sequence/Demo").exists())
            window.OpenSetFolder(dataFolder + "Sequence/Demo");
        else if (args.size() > 1 && !args[1].startsWith("--"))
            window.HandleArgument(args[1]);
        else if (args.size() == 1)
            window.ReopenLastSet();
        // "--screenshots DIR" writes the window in each chart view, then quits (for the documentation).
        int shotAt = static_cast<int>(args.indexOf("--screenshots"));
        if (shotAt > 0 && shotAt + 1 < args.size()) {
            const QString dir = args[shotAt + 1];
            QTimer::singleShot(800, &window, [&window, dir] {
                window.SaveScreenshots(dir);
                QApplication::quit();
            });
        }
        return QApplication::exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, Msg::AppTitle, QString::fromStdString(e.what()));
        return 0;
    }
}
