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
#include "model/sequence.h"
#include "qtsupport/dialogservices.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class TCreateSequenceFrm;
class TUpDownEdit;
class QToolButton;

class TSequenceFrm : public QDialog {
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

    // --- controls (named as the program's forms name them) ---
    QGroupBox* SequenceGB = nullptr;
    QLineEdit* NameEdt = nullptr;
    QLabel* CableLbl = nullptr;
    QComboBox* CableLst = nullptr;
    QToolButton* ViewCable = nullptr;
    QLabel* NbQuadripoleLbl = nullptr;
    QLabel* NumberElectrodeSTxt = nullptr;
    // What each instrument family would cut or refuse in the sequence as it stands (the check made
    // before an upload), kept up to date while the title is typed; hidden when there is nothing.
    QLabel* InstrumentCheckLbl = nullptr;
    QGroupBox* GeometryGB = nullptr;
    QComboBox* ArrayLst = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* GeometricFactorLbl = nullptr;  // the smallest and largest |K| of the generated sequence
    QLineEdit* Spacing1Txt = nullptr;
    TUpDownEdit* Depth1Num = nullptr;  // the edit and its up-down
    QToolButton* DepthLevel1Btn = nullptr;
    QPushButton* OtherSpacingBtn = nullptr;
    QGroupBox* OtherSpacingGB = nullptr;
    QToolButton* SpeedButton6 = nullptr;
    QCheckBox* DipoleLength2Cb = nullptr;
    QGroupBox* Spacing2GB = nullptr;
    QComboBox* Spacing2CB = nullptr;
    QLabel* DepthLevel2Txt = nullptr;
    QToolButton* DepthLevel2Btn = nullptr;
    QCheckBox* DipoleLength3Cb = nullptr;
    QGroupBox* Spacing3GB = nullptr;
    QComboBox* Spacing3CB = nullptr;
    QLabel* DepthLevel3Txt = nullptr;
    QToolButton* DepthLevel3Btn = nullptr;
    QGroupBox* ThreeDGridGB = nullptr;
    TUpDownEdit* LineGridXTxt = nullptr;
    TUpDownEdit* LineGridYTxt = nullptr;
    QToolButton* ViewBtn = nullptr;
    QToolButton* CreateBtn = nullptr;
    QToolButton* RollAlongBtn = nullptr;
    QToolButton* MoveAlongBtn = nullptr;
    QGroupBox* AquisitionSetUpGB = nullptr;
    QComboBox* TimeCB = nullptr;
    QRadioButton* ResistivityRd = nullptr;
    QRadioButton* IpModeRd = nullptr;
    TUpDownEdit* StackMinEdn = nullptr;
    TUpDownEdit* StackMaxEdn = nullptr;
    TUpDownEdit* QMaxEdn = nullptr;
    QComboBox* VmnCB = nullptr;
    QLineEdit* AreaTxt = nullptr;
    QLineEdit* LineTxt = nullptr;
    QPushButton* OkBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QPushButton* CloseBtn = nullptr;
    QPushButton* BitBtn1 = nullptr;

   protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

   private:
    void BuildControls();
    void BuildAcquisition(QWidget* parent);
    void DisableOkAndView();
    void DipoleLengthCbClick(int s);
    void OpenOtherSpacing();
    bool OpenLevelDialog(int index);  // true after OK
    // The level dialog of the second (1) or third (2) length, seeded when it has no level yet.
    void OtherLengthLevels(int s);
    void Generate(TGenerationMode mode);
    void ShowGeometricFactor();
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
};

// Array type list rows and codes: row to code (rows 6 to 11 repeat 0 to 5 as a second, 3D section).
int ArrayCodeOfRow(int row);
// The row of a code (GridLineX not 0 moves to the 3D section); rows the list does not hold mean none.
int ArrayRowOfCode(int32_t code, int32_t gridLineX);
