#include "dialogs/setchartfrm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>
#include <vector>

#include "charts/graphreportframe.h"
#include "qtsupport/formkit.h"

TSetChartFrm::TSetChartFrm(QWidget* owner, TDialogServices services)
    : QDialog(owner,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint),
      services_(services) {
    setObjectName("SetChartFrm");
    setWindowTitle("Whole set");
    setSizeGripEnabled(true);

    auto* outer = new QVBoxLayout(this);
    auto* split = new QSplitter(Qt::Horizontal, this);
    auto* side = new QWidget(split);
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    SequenceLst = Named(new QListWidget(side), "SequenceLst");
    sideLayout->addWidget(BuddyLabel("&Sequences shown :", SequenceLst, side));
    sideLayout->addWidget(SequenceLst, 1);
    auto* choice = new QHBoxLayout;
    AllBtn = Named(new QPushButton("&All", side), "AllBtn");
    NoneBtn = Named(new QPushButton("&None", side), "NoneBtn");
    for (QPushButton* b : {AllBtn, NoneBtn}) {
        b->setAutoDefault(false);
        choice->addWidget(b);
    }
    sideLayout->addLayout(choice);
    TGraphReportFrame1 = Named(new TGraphReportFrame(split), "TGraphReportFrame1");
    TGraphReportFrame1->SetPrompts(&services_.Prompts);
    TGraphReportFrame1->ToolButton7->setVisible(false);  // tables are of one sequence
    split->addWidget(side);
    split->addWidget(TGraphReportFrame1);
    split->setStretchFactor(1, 1);
    split->setSizes({180, 640});
    outer->addWidget(split, 1);
    auto* buttons = new QHBoxLayout;
    CloseBtn = Named(new QPushButton("Close", this), "CloseBtn");
    buttons->addStretch(1);
    buttons->addWidget(CloseBtn);
    outer->addLayout(buttons);
    resize(SizeOnScreen(QSize(860, 560)));

    // Each name with a swatch of its colour, so that the list doubles as the legend.
    for (int row = 0; row < services_.Workspace.SequenceCount(); ++row) {
        auto* item = new QListWidgetItem(services_.Workspace.SequenceNames().value(row), SequenceLst);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        QPixmap swatch(12, 12);
        swatch.fill(TGraphReportFrame::SetColour(row));
        item->setIcon(QIcon(swatch));
    }
    connect(SequenceLst, &QListWidget::itemChanged, this, &TSetChartFrm::Redraw);
    connect(AllBtn, &QPushButton::clicked, this, [this] {
        QList<int> all;
        for (int row = 0; row < SequenceLst->count(); ++row) all << row;
        ShowRows(all);
    });
    connect(NoneBtn, &QPushButton::clicked, this, [this] { ShowRows({}); });
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(TGraphReportFrame1, &TGraphReportFrame::viewChanged, this, &TSetChartFrm::Redraw);
    Redraw();
}

void TSetChartFrm::ShowRows(const QList<int>& rows) {
    {
        const QSignalBlocker block(SequenceLst);
        for (int row = 0; row < SequenceLst->count(); ++row)
            SequenceLst->item(row)->setCheckState(rows.contains(row) ? Qt::Checked : Qt::Unchecked);
    }
    Redraw();
}

void TSetChartFrm::Redraw() {
    std::vector<const TSequence*> shown;
    QStringList names;
    QList<int> places;
    for (int row = 0; row < SequenceLst->count() && row < services_.Workspace.SequenceCount(); ++row) {
        if (SequenceLst->item(row)->checkState() != Qt::Checked) continue;
        shown.push_back(&services_.Workspace.Sequence(row));
        names << SequenceLst->item(row)->text();
        places << row;
    }
    // A sequence keeps its colour whichever others are ticked: the colour goes with its row.
    TGraphReportFrame1->DrawSet(shown, names, places);
}
