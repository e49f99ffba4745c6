#include "dialogs/numerofrm.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <exception>

#include "model/fileio.h"
#include "qtsupport/formkit.h"
#include "qtsupport/messages.h"

namespace {

QPushButton* Button(const char* name, const QString& text, QWidget* parent) {
    auto* b = Named(new QPushButton(text, parent), name);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

TNumeroFrm::TNumeroFrm(QWidget* owner, QString& dialNumber, TDialogServices services)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      dialNumber_(dialNumber),
      services_(services),
      directory_(DialFilePath(services.Workspace.ProgramFolder().toStdString())) {
    setObjectName("NumeroFrm");
    setWindowTitle(Msg::DirectoryCaption);

    auto* outer = new QVBoxLayout(this);
    Bevel1 = Named(new QFrame(this), "Bevel1");
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    auto* upper = new QGridLayout(Bevel1);
    DialCB = Named(new QComboBox(Bevel1), "DialCB");
    DialCB->setEditable(true);
    DialCB->setInsertPolicy(QComboBox::NoInsert);  // entries join the list by Save only
    DialCB->setMinimumWidth(240);
    Label1 = Named(new QLabel("&Dial number :", Bevel1), "Label1");
    Label1->setBuddy(DialCB);
    NumLbl = Named(new QLabel(Bevel1), "NumLbl");
    NumLbl->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // A screen reader says what the readout shows (its text); what it is for comes as its description.
    NumLbl->setAccessibleDescription("Number to dial");
    NumLbl->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    NumLbl->setMinimumWidth(120);
    upper->addWidget(Label1, 0, 0);
    upper->addWidget(DialCB, 1, 0, 1, 2);
    upper->addWidget(NumLbl, 2, 1);
    outer->addWidget(Bevel1);

    auto* buttons = new QHBoxLayout;
    SauverBtn = Button("SauverBtn", "&Save", this);
    EffacerBtn = Button("EffacerBtn", "De&lete", this);
    OkBtn = Button("OkBtn", "Ok", this);
    OkBtn->setDefault(true);
    CancelBtn = Button("CancelBtn", "Cancel", this);
    for (QPushButton* b : {SauverBtn, EffacerBtn}) buttons->addWidget(b);
    buttons->addStretch(1);
    for (QPushButton* b : {OkBtn, CancelBtn}) buttons->addWidget(b);
    outer->addLayout(buttons);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    connect(DialCB, &QComboBox::editTextChanged, this, &TNumeroFrm::DialCBChange);
    connect(SauverBtn, &QPushButton::clicked, this, &TNumeroFrm::SauverBtnClick);
    connect(EffacerBtn, &QPushButton::clicked, this, &TNumeroFrm::EffacerBtnClick);
    connect(OkBtn, &QPushButton::clicked, this, &TNumeroFrm::OkBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    SauverBtn->setEnabled(false);
    try {
        directory_.Load();
        loaded_ = true;
    } catch (const std::exception& e) {
        services_.Prompts.Message(QString::fromStdString(e.what()), Msg::DirectoryCaption,
                                  TPrompts::TIcon::Error);
    }
    ShowEntries();
    if (!dialNumber_.isEmpty()) {
        DialCB->setEditText(dialNumber_);
        NumLbl->setText(dialNumber_);
    }
    ready_ = true;
}

void TNumeroFrm::ShowEntries() {
    const QSignalBlocker block(DialCB);
    const QString text = DialCB->currentText();
    DialCB->clear();
    for (const std::string& e : directory_.Entries()) DialCB->addItem(RecordText(e));
    DialCB->setCurrentIndex(-1);
    DialCB->setEditText(text);
}

bool TNumeroFrm::Write(bool reportEveryFailure) {
    try {
        if (!loaded_) throw TFileError(directory_.Path(), "not read, so not written");
        directory_.Save();
        failureShown_ = false;
        return true;
    } catch (const std::exception& e) {
        if (reportEveryFailure || !failureShown_)
            services_.Prompts.Message(QString::fromStdString(e.what()), Msg::DirectoryCaption,
                                      TPrompts::TIcon::Error);
        failureShown_ = true;
        return false;
    }
}

void TNumeroFrm::DialCBChange() {
    if (!ready_) return;
    Write(false);
    const std::string text = DialCB->currentText().toStdString();
    dialNumber_ = QString::fromStdString(DialNumberOf(text));
    NumLbl->setText(dialNumber_);
    SauverBtn->setEnabled(directory_.Find(text) < 0 && !DialCB->currentText().trimmed().isEmpty());
}

void TNumeroFrm::SauverBtnClick() {
    if (!directory_.Add(DialCB->currentText().toStdString())) return;
    if (!Write(true)) {
        directory_.Remove(DialCB->currentText().toStdString());
        return;
    }
    ShowEntries();
    SauverBtn->setEnabled(false);
}

void TNumeroFrm::EffacerBtnClick() {
    const std::string text = DialCB->currentText().toStdString();
    const int at = directory_.Find(text);
    if (at < 0) return;
    const std::string removed = directory_.Entries()[static_cast<std::size_t>(at)];
    directory_.Remove(text);
    if (!Write(true)) {
        directory_.Add(removed);
        return;
    }
    ShowEntries();
    SauverBtn->setEnabled(true);
}

void TNumeroFrm::OkBtnClick() {
    if (dialNumber_.isEmpty())
        reject();
    else
        accept();
}
