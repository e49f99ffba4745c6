// The creation preview: one chart frame filling a resizable tool window. The sequence dialog shows it
// while the generator draws each new quadripole into it, and shows it modally for "View sequence".
#pragma once

#include <QDialog>

#include "model/sequence.h"
#include "qtsupport/dialogservices.h"

class TGraphReportFrame;

class TCreateSequenceFrm : public QDialog {
    Q_OBJECT
   public:
    // The record is shown, never changed, and must outlive the window.
    TCreateSequenceFrm(QWidget* owner, const TSequence& seq, TDialogServices services);

    // The chart the owner passes to the generator or draws into.
    TGraphReportFrame* TGraphReportFrame1 = nullptr;

    void FormShow();
    void TGraphReportFrame1ComboBox1Change(int view);
    void TGraphReportFrame1ToolButton7Click();

   protected:
    void showEvent(QShowEvent* event) override;

   private:
    const TSequence& seq_;
    TDialogServices services_;
};
