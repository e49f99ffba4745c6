// The segment dialog: one segment of the library created or edited in place. Add and Modify store
// the controls into the caller's segment (first and last node in order) and close with their result;
// a name that is empty or holds "NoName", or a spacing that is not a number, keeps the dialog open
// with a message and the segment unchanged.
#pragma once

#include <QDialog>

#include "model/sequence.h"
#include "qtsupport/dialogservices.h"
#include "ui_createmodifysegfrm.h"

class TCreateModifySegFrm : public QDialog, public Ui::TCreateModifySegFrm {
    Q_OBJECT
   public:
    // What exec() answers.
    static constexpr int AddResult = 1;
    static constexpr int ModifyResult = 6;
    static constexpr int CancelResult = 2;

    // `segment` must outlive the dialog; it changes only on Add or Modify.
    TCreateModifySegFrm(QWidget* owner, TSegment& segment, TDialogServices services);

    // --- handlers ---
    void AddBtnClick();
    void ModifyBtnClick();
    void BitBtn1Click();
    void reject() override;  // Cancel, Esc and the close box

    // The controls are the form's (dialogs/createmodifysegfrm.ui), named as the program's forms name them.

   private:
    void StoreAndClose(int result);

    TSegment& segment_;
    TDialogServices services_;
};
