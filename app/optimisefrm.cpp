#include "app/optimisefrm.h"

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <chrono>
#include <future>
#include <stdexcept>

#include "design/optimise.h"
#include "design/sequencedesign.h"
#include "model/cable.h"
#include "model/electrodesused.h"
#include "model/generate.h"
#include "model/sequencerules.h"
#include "qtsupport/formkit.h"
#include "qtsupport/prompts.h"
#include "qtsupport/workspace.h"

namespace {

// The default K limit: the largest |K| of a usual standard design (dipole-dipole of dipoles a at level
// 6, pi n (n+1) (n+2) a), which keeps readings weaker than those out.
constexpr double DefaultMaxKPerSpacing = 3.14159265358979323846 * 6 * 7 * 8;
const QString Caption = QStringLiteral("Optimised sequence");

}  // namespace

TOptimiseFrm::TOptimiseFrm(QWidget* parent, const TWorkspace& workspace, TPrompts& prompts)
    : QDialog(parent), workspace_(workspace), prompts_(prompts) {
    setWindowTitle(Caption);
    CableLst = Named(new QComboBox(this), "CableLst");
    for (const std::string& n : CableSetNames(workspace_.CableFolder().toStdString()))
        CableLst->addItem(RecordText(n));
    SpacingSpn = Named(new QDoubleSpinBox(this), "SpacingSpn");
    SpacingSpn->setDecimals(2);
    SpacingSpn->setRange(0.01, 10000);
    SpacingSpn->setValue(1);
    FirstSpn = Named(new QSpinBox(this), "FirstSpn");
    ElectrodesSpn = Named(new QSpinBox(this), "ElectrodesSpn");
    ReadingsSpn = Named(new QSpinBox(this), "ReadingsSpn");
    ReadingsSpn->setRange(1, MaxQuadripoles);
    ReadingsSpn->setValue(500);
    MaxKSpn = Named(new QDoubleSpinBox(this), "MaxKSpn");
    MaxKSpn->setDecimals(0);
    MaxKSpn->setRange(1, 1e9);
    MaxKSpn->setToolTip(
        "Readings with a larger |K| are left out: their voltages are weak. The default is the "
        "largest |K| of dipole-dipole at level 6.");
    DepthSpn = Named(new QDoubleSpinBox(this), "DepthSpn");
    DepthSpn->setDecimals(2);
    DepthSpn->setRange(0, 100000);
    DepthSpn->setSpecialValueText("a fifth of the line");
    NameEdt = Named(new QLineEdit(this), "NameEdt");
    NameEdt->setMaxLength(MaxSequenceNameLength);
    NameEdt->setText("Optimised");

    auto* form = new QFormLayout;
    form->addRow(BuddyLabel("Ca&ble set :", CableLst, this), CableLst);
    form->addRow(BuddyLabel("Electrode &spacing :", SpacingSpn, this), SpacingSpn);
    form->addRow(BuddyLabel("&First electrode :", FirstSpn, this), FirstSpn);
    form->addRow(BuddyLabel("&Electrodes :", ElectrodesSpn, this), ElectrodesSpn);
    form->addRow(BuddyLabel("&Readings wanted :", ReadingsSpn, this), ReadingsSpn);
    form->addRow(BuddyLabel("&K limit (m) :", MaxKSpn, this), MaxKSpn);
    form->addRow(BuddyLabel("&Depth of interest (m) :", DepthSpn, this), DepthSpn);
    form->addRow(BuddyLabel("&Name :", NameEdt, this), NameEdt);

    ProgressBar = Named(new QProgressBar(this), "ProgressBar");
    ProgressBar->setRange(0, 1);
    ProgressBar->setValue(0);
    ProgressBar->setAccessibleName("Readings made");
    FigureLbl = Named(new QLabel(this), "FigureLbl");
    FigureLbl->setMinimumWidth(320);
    OptimiseBtn = Named(new QPushButton("&Optimise", this), "OptimiseBtn");
    OptimiseBtn->setDefault(true);
    CancelBtn = Named(new QPushButton("Cancel", this), "CancelBtn");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OptimiseBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(ProgressBar);
    layout->addWidget(FigureLbl);
    layout->addLayout(buttons);

    connect(CableLst, &QComboBox::currentIndexChanged, this, &TOptimiseFrm::CableLstChange);
    connect(SpacingSpn, &QDoubleSpinBox::valueChanged, this, &TOptimiseFrm::SpacingSpnChange);
    connect(OptimiseBtn, &QPushButton::clicked, this, &TOptimiseFrm::OptimiseBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TOptimiseFrm::CancelBtnClick);
    CableLstChange();
    SpacingSpnChange();
}

TOptimiseFrm::~TOptimiseFrm() = default;

void TOptimiseFrm::CableLstChange() {
    auto seq = std::make_unique<TSequence>();
    try {
        if (CableLst->currentIndex() >= 0)
            LoadCableSet(*seq, workspace_.CableFolder().toStdString(), RecordField(CableLst->currentText()));
    } catch (const std::exception&) {
        // Said when the user presses Optimise; the ranges stay as they were.
        return;
    }
    const TRange first = FirstElectrodeRange(*seq);
    const TRange count = ElectrodeCountRange(*seq);
    if (first.Max < first.Min || count.Max < count.Min) return;
    FirstSpn->setRange(first.Min, first.Max);
    FirstSpn->setValue(first.Min);
    ElectrodesSpn->setRange(count.Min, std::min(count.Max, 128));
    ElectrodesSpn->setValue(std::min(count.Max, 32));
}

void TOptimiseFrm::SpacingSpnChange() {
    MaxKSpn->setValue(std::round(DefaultMaxKPerSpacing * SpacingSpn->value()));
}

std::unique_ptr<TSequence> TOptimiseFrm::PlacedRecord() {
    auto seq = std::make_unique<TSequence>();
    try {
        LoadCableSet(*seq, workspace_.CableFolder().toStdString(), RecordField(CableLst->currentText()));
    } catch (const std::exception& e) {
        prompts_.Message(QString::fromStdString(e.what()), Caption, TPrompts::TIcon::Error);
        return nullptr;
    }
    SetElectrodeSpacing(*seq, static_cast<float>(SpacingSpn->value()));
    seq->Name.Set(RecordField(NameEdt->text().trimmed().isEmpty() ? QStringLiteral("Optimised")
                                                                  : NameEdt->text().trimmed()));
    const TRange firstRange = FirstElectrodeRange(*seq);
    const int first = AdjustFirstElectrode(*seq, FirstSpn->value(), firstRange);
    ApplyElectrodesUsed(
        *seq, ModeCreate, NoRollStart,
        {first, 0, 0, 0, std::nullopt, ElectrodeCountRange(*seq).Clamp(ElectrodesSpn->value())});
    if (!PlaceDesignElectrodes(*seq)) {
        prompts_.Message("The electrodes cannot be placed: " +
                             QString::fromStdString(GenerationProblem(*seq).value_or("")),
                         Caption, TPrompts::TIcon::Error);
        return nullptr;
    }
    return seq;
}

void TOptimiseFrm::OptimiseBtnClick() {
    if (running_) return;
    std::unique_ptr<TSequence> seq = PlacedRecord();
    if (seq == nullptr) return;
    TDesignElectrodes electrodes;
    try {
        electrodes = DesignElectrodes(*seq);
    } catch (const std::invalid_argument& e) {
        prompts_.Message(QString::fromStdString(e.what()), Caption, TPrompts::TIcon::Error);
        return;
    }
    TOptimiseOptions options;
    options.Readings = ReadingsSpn->value();
    options.MaxK = MaxKSpn->value();
    const double depth = DepthSpn->value();

    // The engine works on a thread of its own; this one lets events run (Cancel, repaints) and shows
    // what the engine last said.
    std::atomic<int> made{0};
    std::atomic<double> figure{0};
    stop_ = false;
    cancelled_ = false;
    running_ = true;
    for (QWidget* w : std::initializer_list<QWidget*>{CableLst, SpacingSpn, FirstSpn, ElectrodesSpn,
                                                      ReadingsSpn, MaxKSpn, DepthSpn, NameEdt, OptimiseBtn})
        w->setEnabled(false);
    ProgressBar->setRange(0, options.Readings);
    ProgressBar->setValue(0);
    FigureLbl->setText("Working out the resolution of every quadripole...");
    QApplication::setOverrideCursor(Qt::BusyCursor);
    auto work = std::async(std::launch::async, [&]() -> TOptimiseResult {
        TDesignProblem problem(electrodes.X, depth, &stop_);
        if (problem.Stopped()) {
            TOptimiseResult r;
            r.Stopped = true;
            return r;
        }
        return OptimiseDesign(
            problem, options,
            [&](const TOptimiseProgress& p) {
                figure.store(p.Figure);
                made.store(p.Readings);
            },
            &stop_);
    });
    int shown = -1;
    while (work.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
        QApplication::processEvents(QEventLoop::AllEvents, 30);
        if (work.wait_for(std::chrono::milliseconds(20)) == std::future_status::ready) break;
        const int now = made.load();
        if (now != shown && now > 0) {
            shown = now;
            ProgressBar->setValue(now);
            FigureLbl->setText(QString("%1 of %2 readings, figure of merit %3")
                                   .arg(now)
                                   .arg(options.Readings)
                                   .arg(figure.load(), 0, 'f', 3));
            FigureLbl->setAccessibleName(FigureLbl->text());
            if (ProgressShown) ProgressShown();
        }
    }
    QApplication::restoreOverrideCursor();
    running_ = false;
    TOptimiseResult result;
    QString failed;
    try {
        result = work.get();
    } catch (const std::exception& e) {
        failed = QString::fromStdString(e.what());
    }
    for (QWidget* w : findChildren<QWidget*>()) w->setEnabled(true);
    if (cancelled_ || result.Stopped) {
        QDialog::reject();
        return;
    }
    if (!failed.isEmpty()) {
        FigureLbl->clear();
        prompts_.Message(failed, Caption, TPrompts::TIcon::Error);
        return;
    }
    try {
        WriteDesign(*seq, electrodes, result.Design);
    } catch (const std::exception& e) {
        prompts_.Message(QString::fromStdString(e.what()), Caption, TPrompts::TIcon::Error);
        return;
    }
    if (result.RanOut)
        prompts_.Message(QString("Only %1 readings: no other quadripole within the K limit adds resolution.")
                             .arg(seq->NbQuadripole),
                         Caption, TPrompts::TIcon::Warning);
    result_ = std::move(seq);
    accept();
}

void TOptimiseFrm::CancelBtnClick() { reject(); }

void TOptimiseFrm::reject() {
    // A run stops first (the engine checks often); the dialog closes once it has.
    if (running_) {
        cancelled_ = true;
        stop_ = true;
        return;
    }
    QDialog::reject();
}
