// "Optimised sequence...": a sequence made by Compare R on the electrodes of a cable set, with the
// readings wanted, a K limit and the depth of interest. The optimiser runs on a worker thread while the
// dialog shows its progress (readings made, the figure of merit as it rises); Cancel stops it and
// nothing is made.
#pragma once

#include <QDialog>
#include <atomic>
#include <functional>
#include <memory>

#include "model/sequence.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class TPrompts;
class TWorkspace;

class TOptimiseFrm : public QDialog {
    Q_OBJECT
   public:
    TOptimiseFrm(QWidget* parent, const TWorkspace& workspace, TPrompts& prompts);
    ~TOptimiseFrm() override;

    // The sequence made, once the dialog was accepted (then nullptr).
    std::unique_ptr<TSequence> TakeResult() { return std::move(result_); }
    bool Running() const { return running_; }
    // Called on the user-interface thread each time the progress shown changes (tests stop a run there).
    std::function<void()> ProgressShown;

    QComboBox* CableLst = nullptr;
    QDoubleSpinBox* SpacingSpn = nullptr;
    QSpinBox* FirstSpn = nullptr;
    QSpinBox* ElectrodesSpn = nullptr;
    QSpinBox* ReadingsSpn = nullptr;
    QDoubleSpinBox* MaxKSpn = nullptr;
    QDoubleSpinBox* DepthSpn = nullptr;
    QLineEdit* NameEdt = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QLabel* FigureLbl = nullptr;
    QPushButton* OptimiseBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    void OptimiseBtnClick();
    void CancelBtnClick();

   protected:
    void reject() override;

   private:
    void CableLstChange();
    void SpacingSpnChange();
    // The record with the cable set and electrodes chosen placed; nullptr (said why) when refused.
    std::unique_ptr<TSequence> PlacedRecord();

    const TWorkspace& workspace_;
    TPrompts& prompts_;
    std::unique_ptr<TSequence> result_;
    std::atomic<bool> stop_{false};
    bool running_ = false;
    bool cancelled_ = false;
};
