// The electrodes-used step before every generation: which part of the cable set the new sequence uses
// (first electrode, number of electrodes) and where its line lies, either from the coordinates of the
// first electrode (Create) or from a previous sequence of the open set (Roll along, Move along).
// Works on a private copy of the caller's record and writes it back only when OK succeeds.
#pragma once

#include <QDialog>
#include <memory>

#include "model/electrodesused.h"
#include "model/generationmode.h"
#include "model/sequence.h"
#include "qtsupport/dialogservices.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class TUpDownEdit;

class TFirstLastNodeFrm : public QDialog {
    Q_OBJECT
   public:
    // With `countLocked` the number of electrodes cannot be changed.
    TFirstLastNodeFrm(QWidget* owner, bool countLocked, TGenerationMode mode, TSequence& record,
                      TDialogServices services);
    ~TFirstLastNodeFrm() override;

    TGenerationMode Mode() const { return mode_; }
    int RollStart() const { return rollStart_; }
    const TSequence& Copy() const { return *copy_; }

    void FormShow();
    void FirstElectrodeTxtChange();
    void SequenceListBoxChange();
    void OkBtnClick();
    void CancelBtnClick();
    void HelpBtnClick();

    QGroupBox* ElectrodesGB = nullptr;
    TUpDownEdit* FirstElectrodeTxt = nullptr;  // the edit and its up-down
    TUpDownEdit* NumberElectrodeTxt = nullptr;
    QLabel* OverlappingLbl = nullptr;
    QGroupBox* FirstElectrodeGB = nullptr;
    QLineEdit* EditX = nullptr;
    QLineEdit* EditY = nullptr;
    QLineEdit* EditZ = nullptr;
    QGroupBox* SetOfSequenceGB = nullptr;
    QListWidget* SequenceListBox = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* OkBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QPushButton* HelpBtn = nullptr;

   protected:
    void showEvent(QShowEvent* event) override;

   private:
    void ShowCoordinates(int electrode);

    TGenerationMode mode_;
    TSequence& record_;
    std::unique_ptr<TSequence> copy_;
    TDialogServices services_;
    int rollStart_ = NoRollStart;
    bool ready_ = false;
    bool shown_ = false;
};
