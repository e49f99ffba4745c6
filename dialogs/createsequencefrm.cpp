#include "dialogs/createsequencefrm.h"

#include <QVBoxLayout>

#include "charts/graphreportframe.h"
#include "dialogs/editsequencefrm.h"

TCreateSequenceFrm::TCreateSequenceFrm(QWidget* owner, const TSequence& seq, TDialogServices services)
    : QDialog(owner, Qt::Tool), seq_(seq), services_(services) {
    setObjectName("CreateSequenceFrm");
    setWindowTitle("Automatic sequence creation");
    setSizeGripEnabled(true);
    resize(640, 440);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    TGraphReportFrame1 = new TGraphReportFrame(this);
    TGraphReportFrame1->setObjectName("TGraphReportFrame1");
    TGraphReportFrame1->SetPrompts(&services_.Prompts);
    layout->addWidget(TGraphReportFrame1);
    connect(TGraphReportFrame1, &TGraphReportFrame::viewChanged, this,
            &TCreateSequenceFrm::TGraphReportFrame1ComboBox1Change);
    connect(TGraphReportFrame1, &TGraphReportFrame::tableRequested, this,
            &TCreateSequenceFrm::TGraphReportFrame1ToolButton7Click);
}

void TCreateSequenceFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TCreateSequenceFrm::FormShow() {
    setEnabled(false);
    TGraphReportFrame1->SetViewIndex(0);
    if (seq_.NbQuadripole > 0) TGraphReportFrame1->DrawSequence(seq_);
    setEnabled(true);
}

void TCreateSequenceFrm::TGraphReportFrame1ComboBox1Change(int view) {
    TGraphReportFrame1->SetViewIndex(view);
    setEnabled(false);
    TGraphReportFrame1->DrawSequence(seq_);
    setEnabled(true);
}

void TCreateSequenceFrm::TGraphReportFrame1ToolButton7Click() {
    TEditSequenceFrm tables(this, seq_);
    tables.exec();
}
