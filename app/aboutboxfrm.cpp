#include "app/aboutboxfrm.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>

#include "app/mainfrm.h"
#include "qtsupport/messages.h"

QString TAboutBoxFrm::VersionText(int major, int minor, int release) {
    return QString::asprintf("V%02d.%02d.%02d", major, minor, release);
}

TAboutBoxFrm::TAboutBoxFrm(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About");
    auto* grid = new QGridLayout(this);
    auto* picture = new QLabel(this);
    picture->setText("<span style='font-size:28px; color:#1c5fa8;'>&#9178;&#9178;</span>");
    grid->addWidget(picture, 0, 0, 2, 1);
    ProductName = new QLabel(QString("<b>%1</b>").arg(Msg::AppTitle), this);
    grid->addWidget(ProductName, 0, 1);
    Version =
        new QLabel(VersionText(TERAVOX_VERSION_MAJOR, TERAVOX_VERSION_MINOR, TERAVOX_VERSION_PATCH), this);
    grid->addWidget(Version, 1, 1);
    grid->addWidget(new QLabel("Copyright Brevik Rivozuriviz. All rights reserved.", this), 2, 0, 1, 2);
    auto link = [this](const QString& text, const QString& url) {
        auto* l = new QLabel(QString("<a href=\"%1\">%2</a>").arg(url, text.toHtmlEscaped()), this);
        l->setCursor(Qt::PointingHandCursor);
        l->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
        connect(l, &QLabel::linkActivated, this, &TAboutBoxFrm::urlOpened);
        return l;
    };
    grid->addWidget(new QLabel("E-mail : ", this), 3, 0);
    grid->addWidget(link(SupportMail(), "mailto:" + SupportMail()), 3, 1);
    grid->addWidget(new QLabel("Web :", this), 4, 0);
    grid->addWidget(link(TMainFrm::HomePageUrl(), TMainFrm::HomePageUrl()), 4, 1);
    auto* address = new QPlainTextEdit(this);
    address->setReadOnly(true);
    address->setPlainText(
        "Brevik Rivozuriviz\nInstruments for geophysics\nTel. +00 0 00 00 00 00\nFax +00 0 00 00 00 01");
    address->setMaximumHeight(90);
    grid->addWidget(address, 5, 0, 1, 2);
    auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(ok, &QDialogButtonBox::accepted, this, &QDialog::accept);
    grid->addWidget(ok, 6, 0, 1, 2);
}
