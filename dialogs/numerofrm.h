// The dial directory dialog: the telephone number the modem dials, picked from the entries of
// "PhoneNum.Dial" in the data folder or typed. The number is the run of digits and dial modifiers
// ending with the last digit of the text; it is written into the caller's string on every change.
// Save adds the text to the directory, Delete removes it; the file is rewritten on every change of
// the text too. exec() gives QDialog::Accepted after Ok with a number, Rejected otherwise.
//
// A file that cannot be read or written is reported and the dialog stays open. A directory that
// could not be read is never written, so that its entries are not lost.
#pragma once

#include <QDialog>

#include "link/dialdirectory.h"
#include "qtsupport/dialogservices.h"

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

class TNumeroFrm : public QDialog {
    Q_OBJECT
   public:
    // `dialNumber` must outlive the dialog; a number in it is shown at opening.
    TNumeroFrm(QWidget* owner, QString& dialNumber, TDialogServices services);

    const TDialDirectory& Directory() const { return directory_; }

    // --- handlers ---
    void DialCBChange();
    void SauverBtnClick();
    void EffacerBtnClick();
    void OkBtnClick();

    // --- controls (named as the program's forms name them) ---
    QFrame* Bevel1 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* DialCB = nullptr;
    QLabel* NumLbl = nullptr;
    QPushButton* SauverBtn = nullptr;
    QPushButton* EffacerBtn = nullptr;
    QPushButton* OkBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

   private:
    // Shows the directory's entries, keeping the typed text.
    void ShowEntries();
    // Writes the directory; false after reporting a failure (`report` false: only the first failure
    // since the last success is reported, so typing does not raise one box per key).
    bool Write(bool reportEveryFailure);

    QString& dialNumber_;
    TDialogServices services_;
    TDialDirectory directory_;
    bool loaded_ = false;
    bool ready_ = false;
    bool failureShown_ = false;
};
