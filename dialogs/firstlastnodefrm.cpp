#include "dialogs/firstlastnodefrm.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>
#include <limits>

#include "model/cable.h"
#include "qtsupport/formkit.h"
#include "qtsupport/messages.h"
#include "qtsupport/updownedit.h"

TFirstLastNodeFrm::TFirstLastNodeFrm(QWidget* owner, bool countLocked, TGenerationMode mode,
                                     TSequence& record, TDialogServices services)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      mode_(mode),
      record_(record),
      copy_(std::make_unique<TSequence>(record)),
      services_(services) {
    setObjectName("FirstLastNodeFrm");
    setWindowTitle(mode == ModeCreate      ? "Electrodes used"
                   : mode == ModeRollAlong ? "Roll along"
                                           : "Move along");
    auto* layout = new QVBoxLayout(this);

    ElectrodesGB = new QGroupBox("electrodes used ", this);
    ElectrodesGB->setObjectName("ElectrodesGB");
    auto* grid = new QGridLayout(ElectrodesGB);
    FirstElectrodeTxt = new TUpDownEdit(ElectrodesGB, 1, 2000, 1, true);
    FirstElectrodeTxt->setObjectName("FirstElectrodeTxt");
    NumberElectrodeTxt = new TUpDownEdit(ElectrodesGB, 0, MaxElectrodeNumber, 0, false);
    NumberElectrodeTxt->setObjectName("NumberElectrodeTxt");
    NumberElectrodeTxt->setEnabled(!countLocked);
    OverlappingLbl = new QLabel(ElectrodesGB);
    OverlappingLbl->setObjectName("OverlappingLbl");
    grid->addWidget(BuddyLabel("# &First electrode :", FirstElectrodeTxt, ElectrodesGB), 0, 0);
    grid->addWidget(FirstElectrodeTxt, 0, 1);
    grid->addWidget(OverlappingLbl, 0, 2);
    grid->addWidget(BuddyLabel("&Number of electrodes : ", NumberElectrodeTxt, ElectrodesGB), 1, 0);
    grid->addWidget(NumberElectrodeTxt, 1, 1);
    grid->setColumnStretch(2, 1);
    layout->addWidget(ElectrodesGB);

    FirstElectrodeGB = new QGroupBox("First electrode coordinate", this);
    FirstElectrodeGB->setObjectName("FirstElectrodeGB");
    auto* xyz = new QHBoxLayout(FirstElectrodeGB);
    for (auto [edit, name, caption] :
         {std::tuple{&EditX, "EditX", "&X :"}, {&EditY, "EditY", "&Y :"}, {&EditZ, "EditZ", "&Z:"}}) {
        *edit = new QLineEdit(FirstElectrodeGB);
        (*edit)->setObjectName(name);
        (*edit)->setMaximumWidth(90);
        xyz->addWidget(BuddyLabel(caption, *edit, FirstElectrodeGB));
        xyz->addWidget(*edit);
    }
    FirstElectrodeGB->setVisible(false);
    layout->addWidget(FirstElectrodeGB);

    SetOfSequenceGB = new QGroupBox("Set of sequences", this);
    SetOfSequenceGB->setObjectName("SetOfSequenceGB");
    auto* set = new QVBoxLayout(SetOfSequenceGB);
    SequenceListBox = new QListWidget(SetOfSequenceGB);
    SequenceListBox->setObjectName("SequenceListBox");
    SequenceListBox->setMinimumHeight(110);
    Edit1 = new QLineEdit(SetOfSequenceGB);
    Edit1->setObjectName("Edit1");
    set->addWidget(BuddyLabel("&Roll along on sequence :", SequenceListBox, SetOfSequenceGB));
    set->addWidget(SequenceListBox);
    set->addWidget(BuddyLabel("First electrode &coordinate used :", Edit1, SetOfSequenceGB));
    set->addWidget(Edit1);
    SetOfSequenceGB->setVisible(false);
    layout->addWidget(SetOfSequenceGB);

    auto* buttons = new QHBoxLayout;
    OkBtn = new QPushButton("&OK", this);
    OkBtn->setObjectName("OkBtn");
    OkBtn->setDefault(true);
    CancelBtn = new QPushButton("&Cancel", this);
    CancelBtn->setObjectName("CancelBtn");
    HelpBtn = new QPushButton("&Help", this);
    HelpBtn->setObjectName("HelpBtn");
    buttons->addStretch(1);
    for (QPushButton* b : {OkBtn, CancelBtn, HelpBtn}) buttons->addWidget(b);
    layout->addLayout(buttons);

    switch (mode_) {
        case ModeCreate:
            FirstElectrodeGB->setVisible(true);
            break;
        case ModeRollAlong:
        case ModeMoveAlong:
            // Nothing can be chosen before the previous sequence is.
            SetOfSequenceGB->setVisible(true);
            FirstElectrodeTxt->setEnabled(false);
            OkBtn->setEnabled(false);
            Edit1->setEnabled(mode_ == ModeMoveAlong);
            break;
    }

    connect(FirstElectrodeTxt, &QSpinBox::valueChanged, this, &TFirstLastNodeFrm::FirstElectrodeTxtChange);
    connect(SequenceListBox, &QListWidget::currentRowChanged, this,
            &TFirstLastNodeFrm::SequenceListBoxChange);
    connect(OkBtn, &QPushButton::clicked, this, &TFirstLastNodeFrm::OkBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TFirstLastNodeFrm::CancelBtnClick);
    connect(HelpBtn, &QPushButton::clicked, this, &TFirstLastNodeFrm::HelpBtnClick);
}

TFirstLastNodeFrm::~TFirstLastNodeFrm() = default;

void TFirstLastNodeFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TFirstLastNodeFrm::ShowCoordinates(int electrode) {
    const TElectrode& e = copy_->Electrodes[std::clamp(electrode, 0, MaxElectrodeNumber)];
    const char d = services_.Workspace.Decimal();
    EditX->setText(FixedTwoText(e.X, d));
    EditY->setText(FixedTwoText(e.Y, d));
    EditZ->setText(FixedTwoText(e.Z, d));
}

void TFirstLastNodeFrm::FormShow() {
    ready_ = false;
    const TRange first = FirstElectrodeRange(*copy_);
    FirstElectrodeTxt->setRange(first.Min, std::max(first.Min, first.Max));
    FirstElectrodeTxt->SetNumber(copy_->FirstElectrode);
    ShowCoordinates(copy_->FirstElectrode);
    Edit1->setText("0");
    SequenceListBox->clear();
    SequenceListBox->addItems(services_.Workspace.SequenceNames());
    const TRange count = ElectrodeCountRange(*copy_);
    NumberElectrodeTxt->setRange(count.Min, std::max(count.Min, count.Max));
    NumberElectrodeTxt->SetNumber(copy_->NbElectrode);
    ready_ = true;
}

void TFirstLastNodeFrm::FirstElectrodeTxtChange() {
    if (!ready_) return;
    const TRange range{FirstElectrodeTxt->minimum(), FirstElectrodeTxt->maximum()};
    // The first electrode is always a node of the cable set: a number in a gap moves up to the next.
    const int i = AdjustFirstElectrode(*copy_, FirstElectrodeTxt->value(), range);
    copy_->FirstElectrode = i;
    if (FirstElectrodeTxt->value() != i) {
        const QSignalBlocker block(FirstElectrodeTxt);
        FirstElectrodeTxt->SetNumber(i);
    }
    ShowCoordinates(i);
    if (rollStart_ < NoRollStart && mode_ != ModeMoveAlong)
        OverlappingLbl->setText(QString::number(OverlappingLines(rollStart_, i)) + Msg::OverlappingLines);
    Edit1->setText(EditX->text());
}

void TFirstLastNodeFrm::SequenceListBoxChange() {
    const int row = SequenceListBox->currentRow();
    if (row < 0 || SequenceListBox->count() == 0 || row >= services_.Workspace.SequenceCount()) return;
    auto setup = ChoosePreviousSequence(*copy_, services_.Workspace.Sequence(row), mode_);
    if (!setup) return;  // no deepest position on an active electrode: nothing to roll along from
    rollStart_ = setup->RollStart;
    FirstElectrodeTxt->setEnabled(true);
    {
        const QSignalBlocker block(FirstElectrodeTxt);
        if (mode_ == ModeRollAlong)
            FirstElectrodeTxt->setRange(setup->FirstRange.Min,
                                        std::max(setup->FirstRange.Min, setup->FirstRange.Max));
        FirstElectrodeTxt->SetNumber(setup->ProposedFirst);
    }
    FirstElectrodeTxtChange();
    OkBtn->setEnabled(true);
}

void TFirstLastNodeFrm::OkBtnClick() {
    const char d = services_.Workspace.Decimal();
    auto x = ReadTypedNumber(EditX->text(), d), y = ReadTypedNumber(EditY->text(), d),
         z = ReadTypedNumber(EditZ->text(), d);
    std::optional<double> moveX;
    if (mode_ == ModeMoveAlong) moveX = ReadTypedNumber(Edit1->text(), d);
    // A coordinate that is not a number is asked again: generating on the old line would be wrong. So
    // is one a float cannot hold, which would become an infinity.
    auto fits = [](const std::optional<double>& v) {
        return v && std::fabs(*v) <= std::numeric_limits<float>::max();
    };
    if (!fits(x) || !fits(y) || !fits(z) || (mode_ == ModeMoveAlong && !fits(moveX))) {
        QLineEdit* wrong = !fits(x) ? EditX : !fits(y) ? EditY : !fits(z) ? EditZ : Edit1;
        services_.Prompts.Message(NumberInvalidText(wrong, wrong->text()), QString(),
                                  TPrompts::TIcon::Warning);
        wrong->setFocus();
        return;
    }
    // The first electrode shown, kept to the nodes of the set within the allowed range.
    const int first =
        AdjustFirstElectrode(*copy_, FirstElectrodeTxt->value(),
                             TRange{FirstElectrodeTxt->minimum(), FirstElectrodeTxt->maximum()});
    TElectrodesUsedChoice choice{
        first,        static_cast<float>(*x),     static_cast<float>(*y), static_cast<float>(*z),
        std::nullopt, NumberElectrodeTxt->value()};
    if (moveX) choice.MoveAlongX = static_cast<float>(*moveX);
    ApplyElectrodesUsed(*copy_, mode_, rollStart_, choice);
    {
        const QSignalBlocker block(NumberElectrodeTxt);
        NumberElectrodeTxt->SetNumber(copy_->NbElectrode);
    }
    record_ = *copy_;
    accept();
}

void TFirstLastNodeFrm::CancelBtnClick() { reject(); }

void TFirstLastNodeFrm::HelpBtnClick() { services_.Help.ShowTopic(mode_ == ModeCreate ? 1010 : 1011, this); }
