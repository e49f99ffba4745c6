#include "dialogs/sequencefrm.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "charts/graphreportframe.h"
#include "dialogs/cablefrm.h"
#include "dialogs/createsequencefrm.h"
#include "dialogs/editlevelfrm.h"
#include "dialogs/firstlastnodefrm.h"
#include "link/instrumentimage.h"
#include "link/uploadcheck.h"
#include "model/cable.h"
#include "model/geometry.h"
#include "model/grid3d.h"
#include "model/sequencerules.h"
#include "qtsupport/formkit.h"
#include "qtsupport/messages.h"
#include "qtsupport/updownedit.h"
#include "storage/filenames.h"

namespace {

constexpr const char* ArrayHeadingRow = "------------   2D Resistivity   ---------------";
// The plain gradient follows the array types the table lists; it is stored as the multiple gradient,
// with the one separation that spans the electrodes used.
constexpr const char* GradientRowText = "Gradient";
constexpr int GradientRow = 1 + ArrayTypeDialogRows();
// The heading, the array types the table lists, the gradient.
constexpr int ArrayRowCount = GradientRow + 1;
constexpr int32_t MultipleGradientCode = static_cast<int32_t>(TArrayType::MultipleGradient);
// The 3D section repeats the line section: the same codes, laid out on a grid (GridLineX not 0). The
// plain gradient has no place there: its one current dipole spans a line, not a grid.
constexpr const char* ArrayGridHeadingRow = "------------   3D Resistivity   ---------------";

}  // namespace

// Rows from ArrayRowCount on are the second, three-dimensional section repeating the first: a row
// there names the code of its line counterpart.
int ArrayCodeOfRow(int row) {
    const int lineRow = row >= ArrayRowCount ? row - ArrayRowCount : row;
    if (row < 1 || row >= 2 * ArrayRowCount) return static_cast<int>(TArrayType::NoGeometry);
    if (lineRow == GradientRow) return MultipleGradientCode;
    const TArrayTypeRow* r = ArrayTypeOfDialogRow(lineRow);
    return r ? r->Code : static_cast<int>(TArrayType::NoGeometry);
}

int ArrayRowOfCode(int32_t code, int32_t gridLineX) {
    int row = ArrayTypeRow(code).DialogRow;
    if (row < 0) return -1;
    if (gridLineX != 0) row += ArrayRowCount;
    return row < 2 * ArrayRowCount ? row : -1;
}

TSequenceFrm::TSequenceFrm(QWidget* owner, bool okDisabled, bool editable, TSequence& record,
                           TDialogServices services)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      record_(record),
      work_(std::make_unique<TSequence>(record)),
      services_(services),
      editable_(editable),
      gridLayout_(GridLayoutOf(record).value_or(TGridLayout{})) {
    const int32_t levels = work_->LevelUsed[0];
    gradient_ = work_->ArrayType == MultipleGradientCode && work_->GridLineX == 0 &&
                LevelCount(levels) == 1 && HighestLevel(levels) + 1 == GradientSeparation(work_->NbElectrode);
    BuildControls();
    OkBtn->setEnabled(!okDisabled);
    // A sequence without geometry (an imported one) keeps its name and acquisition set-up only.
    const bool geometry = work_->ArrayType != static_cast<int32_t>(TArrayType::NoGeometry);
    CableLst->setVisible(geometry);
    CableLbl->setVisible(geometry);
    ViewCable->setVisible(geometry);
    GeometryGB->setVisible(geometry);
}

TSequenceFrm::~TSequenceFrm() {
    // The base class hides the dialog after this object is gone, and hiding takes the focus from an
    // edit: its handlers must not run then.
    closing_ = true;
    for (QLineEdit* edit : {Spacing1Txt, AreaTxt, LineTxt}) QObject::disconnect(edit, nullptr, this, nullptr);
}

void TSequenceFrm::done(int result) {
    closing_ = true;
    QDialog::done(result);
}

void TSequenceFrm::BuildControls() {
    setupUi(this);
    NameEdt->setMaxLength(MaxSequenceNameLength);
    ArrayLst->addItem(ArrayHeadingRow);
    for (int row = 1; row < GradientRow; ++row)
        ArrayLst->addItem(ArrayTypeListText(*ArrayTypeOfDialogRow(row)));
    ArrayLst->addItem(GradientRowText);
    ArrayLst->addItem(ArrayGridHeadingRow);
    for (int row = 1; row < GradientRow; ++row)
        ArrayLst->addItem(QString::fromLatin1(ArrayTypeListText(*ArrayTypeOfDialogRow(row))) + " 3D");
    for (int s = 1; s <= 2; ++s) {
        const TRange multiples = DipoleLengthMultiples(s);
        for (int k = multiples.Min; k <= multiples.Max; ++k)
            LengthList(s)->addItem(QString::number(k) + " x a");
        LengthList(s)->setCurrentIndex(-1);
    }
    for (int ms : TimeChoices) TimeCB->addItem(QString::number(ms));
    for (int code = VmnCodes.Min; code <= VmnCodes.Max; ++code)
        VmnCB->addItem(QString::fromStdString(VmnRangeText(code)));
    const std::pair<TUpDownEdit*, TRange> ranges[] = {
        {Depth1Num, DepthLevelLimits}, {LineGridXTxt, GridLineLimits}, {LineGridYTxt, GridLineLimits},
        {StackMinEdn, StackLimits},    {StackMaxEdn, StackLimits},     {QMaxEdn, QMaxLimits}};
    for (const auto& [edit, range] : ranges) edit->setRange(range.Min, range.Max);
    const std::pair<QAbstractButton*, QStyle::StandardPixmap> glyphs[] = {
        {ViewCable, QStyle::SP_FileDialogInfoView},
        {SpeedButton1, QStyle::SP_MessageBoxQuestion},
        {DepthLevel1Btn, QStyle::SP_FileDialogListView},
        {SpeedButton6, QStyle::SP_TitleBarCloseButton},
        {DepthLevel2Btn, QStyle::SP_FileDialogListView},
        {DepthLevel3Btn, QStyle::SP_FileDialogListView},
        {ViewBtn, QStyle::SP_FileDialogContentsView},
        {CreateBtn, QStyle::SP_FileDialogNewFolder},
        {RollAlongBtn, QStyle::SP_MediaSeekForward},
        {MoveAlongBtn, QStyle::SP_ArrowRight},
        {OkBtn, QStyle::SP_DialogOkButton},
        {CancelBtn, QStyle::SP_DialogCancelButton},
        {CloseBtn, QStyle::SP_DialogCloseButton},
        {BitBtn1, QStyle::SP_MessageBoxQuestion}};
    for (const auto& [button, glyph] : glyphs) button->setIcon(style()->standardIcon(glyph));

    connect(NameEdt, &QLineEdit::textChanged, this, &TSequenceFrm::NameEdtChange);
    connect(CableLst, &QComboBox::currentIndexChanged, this, &TSequenceFrm::CableLstChange);
    connect(ViewCable, &QToolButton::clicked, this, &TSequenceFrm::ViewCableClick);
    connect(ArrayLst, &QComboBox::currentIndexChanged, this, &TSequenceFrm::ArrayLstChange);
    connect(SpeedButton1, &QToolButton::clicked, this, &TSequenceFrm::SpeedButton1Click);
    connect(Spacing1Txt, &QLineEdit::textChanged, this, &TSequenceFrm::Spacing1TxtChange);
    connect(Depth1Num, &QSpinBox::valueChanged, this, &TSequenceFrm::Depth1NumChange);
    connect(DepthLevel1Btn, &QToolButton::clicked, this, &TSequenceFrm::DepthLevel1BtnClick);
    connect(OtherSpacingBtn, &QPushButton::clicked, this, &TSequenceFrm::OtherSpacingBtnClick);
    connect(SpeedButton6, &QToolButton::clicked, this, &TSequenceFrm::SpeedButton6Click);
    connect(DipoleLength2Cb, &QCheckBox::toggled, this, &TSequenceFrm::DipoleLength2CbClick);
    connect(DipoleLength3Cb, &QCheckBox::toggled, this, &TSequenceFrm::DipoleLength3CbClick);
    connect(Spacing2CB, &QComboBox::currentIndexChanged, this, &TSequenceFrm::SpacingCBChange);
    connect(Spacing3CB, &QComboBox::currentIndexChanged, this, &TSequenceFrm::SpacingCBChange);
    connect(DepthLevel2Btn, &QToolButton::clicked, this, &TSequenceFrm::DepthLevel2BtnClick);
    connect(DepthLevel3Btn, &QToolButton::clicked, this, &TSequenceFrm::DepthLevel3BtnClick);
    connect(LineGridXTxt, &QSpinBox::valueChanged, this, &TSequenceFrm::LineGridXTxtChange);
    connect(LineGridYTxt, &QSpinBox::valueChanged, this, &TSequenceFrm::LineGridYTxtChange);
    connect(LineSpacingTxt, &QLineEdit::textChanged, this, &TSequenceFrm::LineSpacingTxtChange);
    connect(YLinesCb, &QCheckBox::toggled, this, &TSequenceFrm::GridReadingsChange);
    connect(CrossLinesCb, &QCheckBox::toggled, this, &TSequenceFrm::GridReadingsChange);
    connect(ViewBtn, &QToolButton::clicked, this, &TSequenceFrm::ViewBtnClick);
    connect(CreateBtn, &QToolButton::clicked, this, &TSequenceFrm::CreateBtnClick);
    connect(RollAlongBtn, &QToolButton::clicked, this, &TSequenceFrm::RollAlongBtnClick);
    connect(MoveAlongBtn, &QToolButton::clicked, this, &TSequenceFrm::MoveAlongBtnClick);
    connect(OkBtn, &QPushButton::clicked, this, &TSequenceFrm::OkBtnClick);
    // Cancel and Close say what the user wants: no question.
    connect(CancelBtn, &QPushButton::clicked, this, [this] { QDialog::reject(); });
    connect(CloseBtn, &QPushButton::clicked, this, [this] { QDialog::reject(); });
    for (QLineEdit* edit : {Spacing1Txt, AreaTxt, LineTxt})
        connect(edit, &QLineEdit::editingFinished, this, [this, edit] {
            // Leaving a field by closing the dialog is no leaving to complain about.
            if (!closing_) CheckNumberField(edit, false);
        });
    connect(BitBtn1, &QPushButton::clicked, this, &TSequenceFrm::BitBtn1Click);
    connect(TimeCB, &QComboBox::currentIndexChanged, this, &TSequenceFrm::TimeCBChange);
    connect(VmnCB, &QComboBox::currentIndexChanged, this, &TSequenceFrm::VmnCBChange);
    connect(StackMinEdn, &QSpinBox::valueChanged, this, &TSequenceFrm::StackMinEdnChange);
    connect(StackMaxEdn, &QSpinBox::valueChanged, this, &TSequenceFrm::StackMaxEdnChange);
    connect(QMaxEdn, &QSpinBox::valueChanged, this, &TSequenceFrm::QMaxEdnChange);
    connect(AreaTxt, &QLineEdit::textChanged, this, &TSequenceFrm::AreaTxtChange);
    connect(LineTxt, &QLineEdit::textChanged, this, &TSequenceFrm::LineTxtChange);
}

void TSequenceFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
        FormActivate();
    }
}

bool TSequenceFrm::event(QEvent* event) {
    // Every return to the dialog (from a sub-dialog too) shows the working copy afresh.
    if (event->type() == QEvent::WindowActivate && shown_) FormActivate();
    return QDialog::event(event);
}

void TSequenceFrm::DisableOkAndView() {
    OkBtn->setEnabled(false);
    ViewBtn->setEnabled(false);
    GeometricFactorLbl->clear();
}

float TSequenceFrm::LengthValue(int s) const {
    const QComboBox* list = LengthList(s);
    if (list->currentIndex() < 0) return 0.0f;
    return SpacingFromText(*work_, list->currentText().toStdString());
}

std::optional<float> TSequenceFrm::ReadFloatEdit(const QLineEdit* edit) const {
    auto v = ReadTypedNumber(edit->text(), services_.Workspace.Decimal());
    if (!v || std::fabs(*v) > 3.4e38) return std::nullopt;
    return static_cast<float>(*v);
}

bool TSequenceFrm::CheckNumberField(QLineEdit* edit, bool always) {
    if (ReadFloatEdit(edit)) {
        reported_.erase(edit);
        return true;
    }
    const auto was = reported_.find(edit);
    const bool saidBefore = was != reported_.end() && was->second == edit->text();
    // A click on OK leaves the field first: what leaving it said is not said again for the same click.
    if (saidBefore && (!always || justReported_ == edit)) {
        edit->setFocus();
        return false;
    }
    reported_[edit] = edit->text();
    justReported_ = edit;
    QTimer::singleShot(0, this, [this] { justReported_ = nullptr; });
    services_.Prompts.Message(NumberInvalidText(edit, edit->text()), QString(), TPrompts::TIcon::Warning);
    edit->setFocus();
    return false;
}

void TSequenceFrm::FormShow() {
    NameEdt->setFocus();
    OkBtn->setVisible(editable_);
    CloseBtn->setVisible(!editable_);
    for (QWidget* w : {static_cast<QWidget*>(CancelBtn), static_cast<QWidget*>(CreateBtn),
                       static_cast<QWidget*>(RollAlongBtn), static_cast<QWidget*>(MoveAlongBtn),
                       static_cast<QWidget*>(ViewBtn)})
        w->setVisible(editable_);
    for (QWidget* w : {static_cast<QWidget*>(NameEdt), static_cast<QWidget*>(CableLst),
                       static_cast<QWidget*>(GeometryGB), static_cast<QWidget*>(AquisitionSetUpGB)})
        w->setEnabled(editable_);
    OtherSpacingBtn->setVisible(true);
    OtherSpacingBtn->setEnabled(false);
    if (DipoleLength2Cb->isChecked() || DipoleLength3Cb->isChecked()) OpenOtherSpacing();
    FillCableList();
    for (QToolButton* b : {CreateBtn, RollAlongBtn, MoveAlongBtn, ViewBtn}) b->setEnabled(false);
    if (work_->Spacing[0] > MinElectrodeSpacing) {
        DepthLevel1Btn->setEnabled(editable_);
        for (QToolButton* b : {CreateBtn, RollAlongBtn, MoveAlongBtn}) b->setEnabled(true);
        OtherSpacingBtn->setEnabled(true);
    } else {
        Depth1Num->setVisible(false);
        DepthLevel1Btn->setVisible(false);
    }
    ShowGridState();
    ViewBtn->setEnabled(work_->NbQuadripole != 0);
    if (ViewBtn->isEnabled()) ShowGeometricFactor();
    ready_ = true;
}

void TSequenceFrm::FormActivate() { ViewSequence(); }

void TSequenceFrm::ViewSequence() {
    ready_ = false;
    TSequence& w = *work_;
    const char d = services_.Workspace.Decimal();
    NameEdt->setText(RecordText(w.Name.Get()));
    AreaTxt->setText(ShortestText(w.Area, d));
    LineTxt->setText(ShortestText(w.Line, d));
    QMaxEdn->SetNumber(w.QMax);
    RaiseStackMax(w);
    StackMinEdn->SetNumber(w.StackMin);
    StackMaxEdn->SetNumber(w.StackMax);
    // A time the list does not hold (an older or imported file) shows no row and is kept.
    TimeCB->setCurrentIndex(TimeCB->findText(QString::number(w.Time)));
    IpModeRd->setChecked(w.Mode != 0);
    ResistivityRd->setChecked(w.Mode == 0);
    VmnCB->setCurrentIndex(VmnCodes.Clamp(w.VmnRange) == w.VmnRange ? w.VmnRange : -1);
    ArrayLst->setCurrentIndex(gradient_ && w.ArrayType == MultipleGradientCode
                                  ? GradientRow
                                  : ArrayRowOfCode(w.ArrayType, w.GridLineX));
    for (int s = 2; s >= 1; --s)
        LengthList(s)->setCurrentIndex(
            LengthList(s)->findText(QString::fromStdString(SpacingMultipleText(w, s, true))));
    // Two decimals, unless they would change the spacing when read back: OK on a sequence made with
    // a = 0.375 must not leave it with a = 0.38 and electrodes placed for 0.375.
    const QString two = FixedTwoText(w.Spacing[0], d);
    const auto back = ReadTypedNumber(two, d);
    Spacing1Txt->setText(back && static_cast<float>(*back) == w.Spacing[0] ? two
                                                                           : ShortestText(w.Spacing[0], d));
    if (w.Spacing[2] != 0.0f) {
        DipoleLength3Cb->setChecked(true);
        DepthLevel3Txt->setText(QString::number(LevelCount(w.LevelUsed[2])));
    }
    if (w.Spacing[1] != 0.0f) {
        DipoleLength2Cb->setChecked(true);
        OpenOtherSpacing();
        DepthLevel2Txt->setText(QString::number(LevelCount(w.LevelUsed[1])));
    }
    Depth1Num->SetNumber(std::clamp(LevelCount(w.LevelUsed[0]), DepthLevelLimits.Min, DepthLevelLimits.Max));
    ShowArrayLevels();
    NumberElectrodeSTxt->setText(QString::number(w.NbElectrode));
    NbQuadripoleLbl->setText(QString::number(w.NbQuadripole));
    ThreeDGridGB->setVisible(ArrayLst->currentText().contains("3D"));
    if (IsGrid(w)) {
        LineGridXTxt->SetNumber(GridLineLimits.Clamp(w.GridLineX));
        LineGridYTxt->SetNumber(GridLineLimits.Clamp(w.GridLineY));
    }
    // What the record does not hold of a grid is the dialog's own, shown as last set.
    if (gridLayout_.LineSpacing > 0 && ReadFloatEdit(LineSpacingTxt) != gridLayout_.LineSpacing)
        LineSpacingTxt->setText(ShortestText(gridLayout_.LineSpacing, d));
    YLinesCb->setChecked(gridLayout_.YLines);
    CrossLinesCb->setChecked(gridLayout_.CrossLines);
    ShowGridState();
    ShowInstrumentCheck();
    ready_ = true;
}

void TSequenceFrm::FillCableList() {
    const QStringList names = [&] {
        QStringList list;
        for (const std::string& n : CableSetNames(services_.Workspace.CableFolder().toStdString()))
            list << QString::fromStdString(n);
        return list;
    }();
    CableLst->clear();
    CableLst->addItems(names);
    CableLst->setCurrentIndex(-1);
    const QString cable = RecordText(work_->CableName.Get());
    if (!cable.isEmpty() && cable != "NoName") CableLst->setCurrentIndex(CableLst->findText(cable));
}

void TSequenceFrm::CableLstChange() {
    if (!ready_) return;
    const QString name = CableLst->currentText();
    if (name.isEmpty()) {
        // Only the electrode table is rebuilt, from the cable set already in the working copy.
        ApplyCableSet(*work_, TCable(*work_));
    } else {
        try {
            LoadCableSet(*work_, services_.Workspace.CableFolder().toStdString(), name.toStdString());
        } catch (const std::exception& e) {
            services_.Prompts.Message(QString::fromStdString(e.what()), Msg::CableErrorCaption,
                                      TPrompts::TIcon::Error);
            return;
        }
    }
    QString hint = "[ ";
    for (int i = 0; i < SegmentCount(*work_); ++i) hint += RecordText(work_->Segments[i].Name.Get()) + " -- ";
    CableLst->setToolTip(hint + " ]");
    NumberElectrodeSTxt->setText(QString::number(work_->NbElectrode));
    DisableOkAndView();
}

void TSequenceFrm::Spacing1TxtChange() {
    if (!ready_) return;
    const auto typed = ReadFloatEdit(Spacing1Txt);
    if (!typed) {
        // The record keeps its spacing.
        OtherSpacingBtn->setEnabled(false);
        OtherSpacingGB->setVisible(false);
        DisableOkAndView();
        return;
    }
    const float a = std::fabs(*typed);
    if (a > MinElectrodeSpacing) {
        DepthLevel1Btn->setEnabled(editable_ && !gradient_);
        for (QToolButton* b : {CreateBtn, RollAlongBtn, MoveAlongBtn}) b->setEnabled(true);
        OtherSpacingBtn->setVisible(true);
        OtherSpacingBtn->setEnabled(true);
        Depth1Num->setVisible(true);
        DepthLevel1Btn->setVisible(true);
        work_->Spacing[0] = a;
        work_->Spacing[1] = LengthValue(1);
        work_->Spacing[2] = LengthValue(2);
    } else {
        for (QToolButton* b : {CreateBtn, RollAlongBtn, MoveAlongBtn}) b->setEnabled(false);
        OtherSpacingBtn->setEnabled(false);
        OtherSpacingGB->setVisible(false);
        Depth1Num->setVisible(false);
        DepthLevel1Btn->setVisible(false);
    }
    ShowGridState();
    DisableOkAndView();
}

void TSequenceFrm::SpacingCBChange() {
    if (!ready_) return;
    if (!Spacing2GB->isHidden()) work_->Spacing[1] = LengthValue(1);
    if (!Spacing3GB->isHidden()) work_->Spacing[2] = LengthValue(2);
    if (work_->Spacing[1] > MinElectrodeSpacing) {
        DepthLevel2Btn->setEnabled(editable_);
        DisableOkAndView();
    } else {
        DepthLevel2Btn->setEnabled(false);
    }
    DepthLevel3Btn->setEnabled(work_->Spacing[2] > MinElectrodeSpacing && editable_);
}

void TSequenceFrm::OpenOtherSpacing() {
    OtherSpacingGB->setVisible(true);
    DipoleLength2CbClick();
    DipoleLength3CbClick();
}

void TSequenceFrm::OtherSpacingBtnClick() { OpenOtherSpacing(); }

void TSequenceFrm::SpeedButton6Click() {
    DipoleLength2Cb->setChecked(false);
    DipoleLength2CbClick();
    OtherSpacingGB->setVisible(false);
    DisableOkAndView();
}

void TSequenceFrm::DipoleLength2CbClick() { DipoleLengthCbClick(1); }
void TSequenceFrm::DipoleLength3CbClick() { DipoleLengthCbClick(2); }

void TSequenceFrm::DipoleLengthCbClick(int s) {
    // Runs while the controls are filled from the record too: a length the record holds opens its box.
    QCheckBox* check = s == 1 ? DipoleLength2Cb : DipoleLength3Cb;
    QGroupBox* box = s == 1 ? Spacing2GB : Spacing3GB;
    QLabel* levels = s == 1 ? DepthLevel2Txt : DepthLevel3Txt;
    QToolButton* button = s == 1 ? DepthLevel2Btn : DepthLevel3Btn;
    if (check->isChecked()) {
        box->setVisible(true);
        if (s == 1) DipoleLength3Cb->setEnabled(true);
        button->setEnabled(work_->Spacing[s] > MinElectrodeSpacing && editable_);
    } else {
        box->setVisible(false);
        button->setEnabled(false);
        work_->Spacing[s] = 0;
        work_->LevelUsed[s] = 0;
        levels->clear();
        {
            const QSignalBlocker block(LengthList(s));
            LengthList(s)->setCurrentIndex(-1);
        }
        if (s == 1) {
            // No third length without a second.
            DipoleLength3Cb->setEnabled(false);
            if (DipoleLength3Cb->isChecked())
                DipoleLength3Cb->setChecked(false);  // runs its handler
            else
                DipoleLength3CbClick();
        }
    }
    SpacingCBChange();
}

void TSequenceFrm::Depth1NumChange() {
    if (!ready_ || !Depth1Num->isEnabled()) return;
    const int n = DepthLevelLimits.Clamp(Depth1Num->value());
    SetLevels(work_->LevelUsed[0], n);
    DisableOkAndView();
}

bool TSequenceFrm::OpenLevelDialog(int index) {
    TEditLevelFrm dialog(this, index, *work_, services_);
    return dialog.exec() == QDialog::Accepted;
}

void TSequenceFrm::DepthLevel1BtnClick() {
    Depth1NumChange();
    OpenLevelDialog(0);
    ViewBtn->setEnabled(false);
    GeometricFactorLbl->clear();
    ViewSequence();
}

void TSequenceFrm::DepthLevel2BtnClick() { OtherLengthLevels(1); }
void TSequenceFrm::DepthLevel3BtnClick() { OtherLengthLevels(2); }

void TSequenceFrm::OtherLengthLevels(int s) {
    // A length without levels starts one level below the deepest of the length before it.
    const int32_t before = work_->LevelUsed[s];
    if (LevelCount(work_->LevelUsed[s]) == 0 && LevelCount(work_->LevelUsed[s - 1]) > 0)
        work_->LevelUsed[s] =
            static_cast<int32_t>(1u << std::min(HighestLevel(work_->LevelUsed[s - 1]) + 1, MaxLevels - 1));
    if (OpenLevelDialog(s))
        DisableOkAndView();
    else
        work_->LevelUsed[s] = before;  // cancelled: not even the proposed level stays
    ViewSequence();
}

void TSequenceFrm::ArrayLstChange() {
    if (!ready_) return;
    if (ArrayLst->currentText().contains("Resistivity")) {
        ArrayLst->setCurrentIndex(ArrayLst->currentIndex() + 1);  // runs this handler again
        return;
    }
    gradient_ = ArrayLst->currentIndex() == GradientRow;
    if (ArrayLst->currentText().contains("3D")) {
        ThreeDGridGB->setVisible(true);
        // The grid the box shows, so that the record is a grid from now on.
        work_->GridLineX = GridLineLimits.Clamp(LineGridXTxt->value());
        work_->GridLineY = GridLineLimits.Clamp(LineGridYTxt->value());
    } else {
        ThreeDGridGB->setVisible(false);
        work_->GridLineX = 0;
        work_->GridLineY = 0;
    }
    work_->ArrayType = ArrayCodeOfRow(ArrayLst->currentIndex());
    OtherSpacingBtn->setVisible(true);
    if (UsesOneSpacing(work_->ArrayType)) {
        DipoleLength2Cb->setChecked(false);
        DipoleLength2CbClick();
        OtherSpacingGB->setVisible(false);
        OtherSpacingBtn->setVisible(false);
    }
    ShowArrayLevels();
    ShowGridState();
    DisableOkAndView();
}

void TSequenceFrm::ShowArrayLevels() {
    // A multiple gradient picks separation factors s where the other arrays pick depth levels; the
    // plain gradient takes its one separation from the electrodes used, when it is generated.
    const int32_t levels = work_->LevelUsed[0];
    const bool separations = ArrayCodeOfRow(ArrayLst->currentIndex()) == MultipleGradientCode;
    Depth1Lbl->setText(gradient_     ? "&Separation (s) :"
                       : separations ? "&Separations (s) :"
                                     : "&Depth level  (Lvl) :");
    // Levels 1 to n can be typed; a mask with a gap is changed in the level dialog only.
    Depth1Num->setEnabled(!gradient_ && FirstMissingLevel(levels) == LevelCount(levels));
    DepthLevel1Btn->setEnabled(editable_ && !gradient_);
    if (gradient_ && LevelCount(levels) == 1) Depth1Num->SetNumber(HighestLevel(levels) + 1);
}

bool TSequenceFrm::SetGradientSeparation() {
    const int s = GradientSeparation(work_->NbElectrode);
    if (DepthLevelLimits.Clamp(s) != s) {
        services_.Prompts.Message(
            Msg::CannotGenerate + QString("the gradient spans %1 electrodes; it needs %2 to %3 (Number of "
                                          "electrodes)")
                                      .arg(work_->NbElectrode)
                                      .arg(DepthLevelLimits.Min + 3)
                                      .arg(DepthLevelLimits.Max + 3),
            Msg::SequenceCaption, TPrompts::TIcon::Error);
        ViewSequence();
        return false;
    }
    work_->LevelUsed[0] = static_cast<int32_t>(1u << (s - 1));
    return true;
}

void TSequenceFrm::LineGridXTxtChange() {
    if (!ready_ || ThreeDGridGB->isHidden()) return;
    work_->GridLineX = GridLineLimits.Clamp(LineGridXTxt->value());
    DisableOkAndView();
}

void TSequenceFrm::LineGridYTxtChange() {
    if (!ready_ || ThreeDGridGB->isHidden()) return;
    work_->GridLineY = GridLineLimits.Clamp(LineGridYTxt->value());
    DisableOkAndView();
}

void TSequenceFrm::LineSpacingTxtChange() {
    if (!ready_ || ThreeDGridGB->isHidden()) return;
    // A text that is no number yet keeps the last spacing; Create says so.
    if (const auto d = ReadFloatEdit(LineSpacingTxt)) gridLayout_.LineSpacing = std::fabs(*d);
    DisableOkAndView();
}

void TSequenceFrm::GridReadingsChange() {
    if (!ready_ || ThreeDGridGB->isHidden()) return;
    gridLayout_.YLines = YLinesCb->isChecked();
    gridLayout_.CrossLines = CrossLinesCb->isChecked();
    DisableOkAndView();
}

void TSequenceFrm::ShowGridState() {
    const bool grid = IsGrid(*work_);
    ThreeDGridGB->setVisible(grid);
    // A grid is laid out whole: it is neither rolled nor moved along.
    for (QToolButton* b : {RollAlongBtn, MoveAlongBtn}) b->setEnabled(CreateBtn->isEnabled() && !grid);
}

void TSequenceFrm::NameEdtChange() {
    if (!ready_) return;
    work_->Name.Set(NameEdt->text().toStdString());
    ShowInstrumentCheck();
}

void TSequenceFrm::ShowInstrumentCheck() {
    // The instruments keep only the start of a name: say so while it is typed, not at the upload,
    // and say when what is kept is what another sequence of the set keeps too.
    static const std::pair<int, const char*> families[] = {{1, "Varnel Zenda, Z1, Z2"},
                                                           {2, "Varnel and Tarsk Optra"}};
    const std::string name = work_->Name.Get();
    const QString own = RecordText(record_.Name.Get());
    QStringList lines;
    for (const auto& [family, caption] : families) {
        QStringList found;
        for (const TUploadFinding& f : CheckUpload(*work_, family)) {
            if (f.Kind == TUploadFindingKind::EmptyTable) continue;  // nothing made yet: no news
            QString text = QString::fromStdString(f.Text);
            if (f.Kind == TUploadFindingKind::NameCut) {
                const std::size_t kept = family == 1 ? Family1NameLength : Family2NameLength;
                const std::string cut = name.substr(0, kept);
                QStringList same;
                for (const QString& other : services_.Workspace.SequenceNames())
                    if (other != own && other.toStdString().substr(0, kept) == cut)
                        same << "\"" + other + "\"";
                if (!same.isEmpty()) text += ", as " + same.join(", ") + (same.size() == 1 ? " is" : " are");
            }
            found << text;
        }
        if (!found.isEmpty()) lines << QString(caption) + ": " + found.join("; ");
    }
    InstrumentCheckLbl->setText(lines.join("\n"));
    InstrumentCheckLbl->setVisible(!lines.isEmpty());
}

void TSequenceFrm::QMaxEdnChange() {
    if (!ready_) return;
    work_->QMax = QMaxLimits.Clamp(QMaxEdn->value());
}

void TSequenceFrm::StackMinEdnChange() {
    if (!ready_) return;
    work_->StackMin = StackLimits.Clamp(StackMinEdn->value());
}

void TSequenceFrm::StackMaxEdnChange() {
    if (!ready_) return;
    work_->StackMax = StackLimits.Clamp(StackMaxEdn->value());
}

void TSequenceFrm::TimeCBChange() {
    if (!ready_ || TimeCB->currentIndex() < 0) return;
    work_->Time = TimeChoices[TimeCB->currentIndex()];
}

void TSequenceFrm::VmnCBChange() {
    if (!ready_ || VmnCB->currentIndex() < 0) return;
    work_->VmnRange = VmnCB->currentIndex();
}

void TSequenceFrm::AreaTxtChange() {
    if (!ready_) return;
    if (auto v = ReadFloatEdit(AreaTxt)) work_->Area = *v;
}

void TSequenceFrm::LineTxtChange() {
    if (!ready_) return;
    if (auto v = ReadFloatEdit(LineTxt)) work_->Line = *v;
}

bool TSequenceFrm::CommitControls() {
    if (CableLst->currentIndex() < 0 && !CableLst->isHidden()) {
        services_.Prompts.Message(Msg::EnterCableSetName, Msg::CableErrorCaption, TPrompts::TIcon::Error);
        setResult(0);
        return false;
    }
    // A field that holds no number stops the action there, naming the field.
    for (QLineEdit* edit : {Spacing1Txt, LineSpacingTxt, AreaTxt, LineTxt}) {
        if (edit == Spacing1Txt && GeometryGB->isHidden()) continue;
        if (edit == LineSpacingTxt && (GeometryGB->isHidden() || ThreeDGridGB->isHidden())) continue;
        if (!CheckNumberField(edit, true)) {
            setResult(0);
            return false;
        }
    }
    const bool wasReady = ready_;
    ready_ = true;  // the edits' handlers read the controls into the record
    if (!GeometryGB->isHidden()) {
        // A code the list has no row for (an array another program wrote, or one this dialog does not
        // make, such as the multiple gradient) shows no row and is kept, as an unlisted time is: taking
        // it for "no geometry" would drop the sequence's geometry on OK.
        if (ArrayLst->currentIndex() >= 0) work_->ArrayType = ArrayCodeOfRow(ArrayLst->currentIndex());
        Spacing1TxtChange();
        Depth1NumChange();
        LineGridXTxtChange();
        LineGridYTxtChange();
        LineSpacingTxtChange();
        GridReadingsChange();
        work_->Spacing[1] = LengthValue(1);
        work_->Spacing[2] = LengthValue(2);
    }
    AreaTxtChange();
    LineTxtChange();
    QMaxEdnChange();
    StackMinEdnChange();
    StackMaxEdnChange();
    RaiseStackMax(*work_);
    work_->Name.Set(NameEdt->text().toStdString());
    // A time from an older file that the list does not hold is kept as it is.
    if (TimeCB->currentIndex() >= 0) work_->Time = TimeChoices[TimeCB->currentIndex()];
    work_->Mode = IpModeRd->isChecked() ? 1 : 0;
    ready_ = wasReady;
    return true;
}

void TSequenceFrm::OkBtnClick() {
    if (NbQuadripoleLbl->text() == "0") {
        services_.Prompts.Message(Msg::CreateOneQuadripole, Msg::SequenceCaption, TPrompts::TIcon::Error);
        setResult(0);
        return;
    }
    // A blank title would be a blank row in the set and a file without a name.
    const QString title = NameEdt->text().trimmed();
    const char* refusal = title.isEmpty() ? Msg::EnterSequenceTitle
                          : QString::fromStdString(SequenceFileStem(RecordField(title))).trimmed().isEmpty()
                              ? Msg::TitleNamesNoFile
                              : nullptr;
    if (refusal != nullptr) {
        services_.Prompts.Message(refusal, Msg::SequenceCaption, TPrompts::TIcon::Error);
        NameEdt->setFocus();
        setResult(0);
        return;
    }
    if (!CommitControls()) return;
    record_ = *work_;
    generated_ = false;
    accept();
}

bool TSequenceFrm::HasUnkeptWork() const {
    if (!editable_) return false;
    // A generation OK has not taken, or (with OK in reach) any edit of the record being modified.
    return generated_ || (OkBtn->isEnabled() && std::memcmp(work_.get(), &record_, sizeof(TSequence)) != 0);
}

void TSequenceFrm::reject() {
    if (HasUnkeptWork()) {
        const auto answer = services_.Prompts.Question(Msg::KeepCreatedSequence, Msg::SequenceCaption,
                                                       TPrompts::TButtons::SaveDiscardCancel,
                                                       TPrompts::TIcon::Warning, TPrompts::TAnswer::Save);
        if (answer == TPrompts::TAnswer::Cancel) return;
        if (answer == TPrompts::TAnswer::Save) {
            // What OK would not take (the geometry changed since the generation) is not saved either.
            if (!OkBtn->isEnabled())
                services_.Prompts.Message(Msg::CreateAgainFirst, Msg::SequenceCaption,
                                          TPrompts::TIcon::Warning);
            else
                OkBtnClick();  // stays open when OK refuses, saying why
            return;
        }
    }
    QDialog::reject();
}

void TSequenceFrm::CreateBtnClick() { Generate(ModeCreate); }
void TSequenceFrm::RollAlongBtnClick() { Generate(ModeRollAlong); }
void TSequenceFrm::MoveAlongBtnClick() { Generate(ModeMoveAlong); }

void TSequenceFrm::Generate(TGenerationMode mode) {
    if (!CommitControls()) return;
    if (IsGrid(*work_) && mode != ModeCreate) return;  // the buttons are disabled for a grid
    {
        TFirstLastNodeFrm used(this, false, mode, *work_, services_);
        if (used.exec() != QDialog::Accepted) return;
    }
    if (gradient_ && !SetGradientSeparation()) return;
    // The preview stays beside the dialog after the generation, showing what was made, until the user
    // closes it: a generation is over before a window could paint its progress.
    if (!preview_) preview_ = std::make_unique<TCreateSequenceFrm>(this, *work_, services_);
    preview_->TGraphReportFrame1->SetSequenceShown(*work_);
    preview_->show();
    TGenerationResult result;
    try {
        result = IsGrid(*work_) ? RunGridGeneration(*work_, gridLayout_, *preview_->TGraphReportFrame1)
                                : RunGeneration(*work_, mode, *preview_->TGraphReportFrame1);
    } catch (const std::invalid_argument& e) {
        preview_->hide();
        services_.Prompts.Message(Msg::CannotGenerate + QString::fromStdString(e.what()),
                                  Msg::SequenceCaption, TPrompts::TIcon::Error);
        ViewSequence();
        return;
    }
    preview_->TGraphReportFrame1->FlushReplot();
    generated_ = work_->NbQuadripole > 0;
    OkBtn->setEnabled(true);
    ViewBtn->setEnabled(true);
    NumberElectrodeSTxt->setText(QString::number(work_->NbElectrode));
    if (work_->NbQuadripole == 0)
        preview_->hide();
    else
        preview_->raise();
    activateWindow();  // the keyboard stays in the dialog
    ViewSequence();
    ShowGeometricFactor();
    if (!result.EmptyReason.empty())
        services_.Prompts.Message(Msg::NoQuadripoleCreated + QString::fromStdString(result.EmptyReason),
                                  Msg::SequenceCaption, TPrompts::TIcon::Warning);
    if (!result.CapCut.empty()) {
        QString text = QString::fromStdString(result.CapCut);
        text[0] = text[0].toUpper();
        services_.Prompts.Message(text + ".", Msg::SequenceCaption, TPrompts::TIcon::Warning);
    }
}

void TSequenceFrm::ShowGeometricFactor() {
    const int n = std::clamp(work_->NbQuadripole, 0, MaxQuadripoles);
    if (n == 0) {
        GeometricFactorLbl->clear();
        return;
    }
    float lo = std::fabs(QuadripoleK(*work_, 0)), hi = lo;
    for (int i = 1; i < n; ++i) {
        const float k = std::fabs(QuadripoleK(*work_, i));
        lo = std::min(lo, k);
        hi = std::max(hi, k);
    }
    const char d = services_.Workspace.Decimal();
    GeometricFactorLbl->setText(QString("|K| %1 to %2").arg(FixedTwoText(lo, d), FixedTwoText(hi, d)));
}

void TSequenceFrm::ViewBtnClick() {
    TCreateSequenceFrm preview(this, *work_, services_);
    preview.exec();
}

void TSequenceFrm::ViewCableClick() {
    if (!work_) return;
    TCableFrm view(this, services_, static_cast<const TCable&>(*work_));
    view.exec();
}

void TSequenceFrm::SpeedButton1Click() { services_.Help.ShowKeyword(ArrayLst->currentText(), this); }

void TSequenceFrm::BitBtn1Click() { services_.Help.ShowTopic(1000, this); }
