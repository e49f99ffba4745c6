// The about box: program name, version, the maker's notice and addresses.
#pragma once

#include <QDialog>

class QLabel;

class TAboutBoxFrm : public QDialog {
    Q_OBJECT
   public:
    explicit TAboutBoxFrm(QWidget* parent = nullptr);
    // "V%02d.%02d.%02d" of the major, minor and release numbers.
    static QString VersionText(int major, int minor, int release);
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    static QString SupportMail() { return "support@brevik-instruments.example"; }

   signals:
    void urlOpened(const QString& url);
};
