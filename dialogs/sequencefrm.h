// The sequence dialog: one sequence defined or inspected. It works on a private copy of the caller's
// record: name, cable set, array type, spacing a with its depth levels, up to two more dipole lengths,
// the acquisition set-up, and the generation by Create, Roll along or Move along. OK copies the working
// copy back into the caller's record; Cancel, Close and the close box discard it.
//
// Used three ways: new (OK disabled until a generation), modify (OK enabled), view (nothing editable,
// Close only). exec() gives QDialog::Accepted after OK and Rejected otherwise.
#pragma once

#include <QDialog>
#include <map>
#include <memory>

#include "model/generationmode.h"
#include "model/gridlayout.h"
#include "model/sequence.h"
#include "qtsupport/dialogservices.h"
#include "ui_sequencefrm.h"

class TCreateSequenceFrm;

class TSequenceFrm : public QDialog, public Ui::TSequenceFrm {
    Q_OBJECT
   public:
    TSequenceFrm(QWidget* owner, bool okDisabled, bool editable, TSequence& record, TDialogServices services);
    ~TSequenceFrm() override;

    // The working copy every control acts on.
    const TSequence& Working() const { return *work_; }
    bool Editable() const { return editable_; }
    bool Ready() const { return ready_; }
    // The creation preview of the last generation; null before the first.
    TCreateSequenceFrm* Preview() const { return preview_.get(); }

    // --- handlers ---
    void FormShow();
    void FormActivate();
    void ViewSequence();
    void FillCableList();
    void CableLstChange();
    void Spacing1TxtChange();
    void SpacingCBChange();
    void OtherSpacingBtnClick();
    void SpeedButton6Click();
    void DipoleLength2CbClick();
    void DipoleLength3CbClick();
    void Depth1NumChange();
    void DepthLevel1BtnClick();
    void DepthLevel2BtnClick();
    void DepthLevel3BtnClick();
    void ArrayLstChange();
    void LineGridXTxtChange();
    void LineGridYTxtChange();
    // The rest of the "3D Grid" box: the line spacing D, and whether the lines along Y and the
    // cross-line readings are measured too.
    void LineSpacingTxtChange();
    void GridReadingsChange();
    void NameEdtChange();
    bool CommitControls();
    void OkBtnClick();
    void CreateBtnClick();
    void RollAlongBtnClick();
    void MoveAlongBtnClick();
    void ViewBtnClick();
    void ViewCableClick();
    void SpeedButton1Click();
    void BitBtn1Click();
    // Acquisition set-up.
    void QMaxEdnChange();
    void StackMinEdnChange();
    void StackMaxEdnChange();
    void TimeCBChange();
    void VmnCBChange();
    void AreaTxtChange();
    void LineTxtChange();

    // The controls are the form's (dialogs/sequencefrm.ui), named as the program's forms name them.
    // InstrumentCheckLbl says what each instrument family would cut or refuse in the sequence as it
    // stands (the check made before an upload), kept up to date while the title is typed, hidden when
    // there is nothing; GeometricFactorLbl shows the smallest and largest |K| of the generated sequence.

   protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

   private:
    // Fills what the form cannot hold (rows and limits from the model's tables, the style's glyphs)
    // and connects the handlers.
    void BuildControls();
    void DisableOkAndView();
    void DipoleLengthCbClick(int s);
    void OpenOtherSpacing();
    bool OpenLevelDialog(int index);  // true after OK
    // The level dialog of the second (1) or third (2) length, seeded when it has no level yet.
    void OtherLengthLevels(int s);
    void Generate(TGenerationMode mode);
    // The separation label and controls of the array chosen (the gradient's one is not typed).
    void ShowArrayLevels();
    // The gradient's separation from the electrodes used; false, saying why, when it has none.
    bool SetGradientSeparation();
    void ShowGeometricFactor();
    // The "3D Grid" box shown for a grid, whose Roll along and Move along are disabled.
    void ShowGridState();
    void ShowInstrumentCheck();
    // The float of an edit; nothing while it holds no number (a field being typed in is no error yet).
    std::optional<float> ReadFloatEdit(const QLineEdit* edit) const;
    // Message 109 naming the field when its text is not a number; true when it is one. When the field
    // is left the message comes once per text typed (`always` false); OK says it every time.
    bool CheckNumberField(QLineEdit* edit, bool always);
    // Escape and the close box after a generation that OK has not taken, or after an edit of a
    // sequence being modified: Save (as OK), Discard, Cancel.
    void reject() override;
    bool HasUnkeptWork() const;
    void done(int result) override;
    QComboBox* LengthList(int s) const { return s == 1 ? Spacing2CB : Spacing3CB; }
    float LengthValue(int s) const;

    TSequence& record_;
    std::unique_ptr<TSequence> work_;
    TDialogServices services_;
    bool editable_;
    bool ready_ = false;
    bool shown_ = false;
    // The creation preview, kept open after a generation with what was made.
    std::unique_ptr<TCreateSequenceFrm> preview_;
    bool generated_ = false;                        // a generation made quadripoles that OK has not taken yet
    std::map<const QLineEdit*, QString> reported_;  // the invalid text each field was left with
    const QLineEdit* justReported_ = nullptr;       // said in this turn of the event loop
    bool closing_ = false;                          // done() or the destructor has begun
    bool gradient_ = false;  // the plain gradient is chosen: its separation follows the electrodes used
    // What a grid needs that the record does not hold: read back from a generated grid, then as set in
    // the "3D Grid" box.
    TGridLayout gridLayout_;
};

// Array type list rows and codes: row to code (the rows after the line section repeat it as a 3D section).
int ArrayCodeOfRow(int row);
// The row of a code (GridLineX not 0 moves to the 3D section); rows the list does not hold mean none.
int ArrayRowOfCode(int32_t code, int32_t gridLineX);
