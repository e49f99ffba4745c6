// The depth levels of one spacing, switched on and off one by one instead of taking levels 1 to n.
// The levels are written straight into the record's LevelUsed mask of that spacing.
#pragma once

#include <QDialog>

#include "model/sequence.h"
#include "qtsupport/dialogservices.h"

class QLabel;
class QListWidget;
class QPushButton;

class TEditLevelFrm : public QDialog {
    Q_OBJECT
   public:
    // `index` is the spacing (0, 1 or 2) whose levels are edited in `seq`.
    TEditLevelFrm(QWidget* owner, int index, TSequence& seq, TDialogServices services);

    // The dipole length of the spacing in units of a (1 for the first spacing).
    int Multiple() const { return k_; }

    void BitBtn1Click();  // OK
    void BitBtn2Click();  // Help

    QLabel* Label1 = nullptr;
    QListWidget* CheckListBox1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QPushButton* CancelBtn = nullptr;

    // Cancel, Escape and the close box: the mask goes back to what it was when the dialog opened
    // (an OK refused for want of a level has emptied it).
    void reject() override;

   private:
    int index_;
    int32_t before_;
    int k_;
    TSequence& seq_;
    TDialogServices services_;
};

// The row text of level q for a dipole length of k x a: "q/k" reduced when q is a multiple of k.
QString LevelRowText(int q, int k);
