// The whole set on one chart: the sequences the user ticks, each in its own colour, on one
// pseudo-section, so that the coverage of a roll-along survey is checked before going out.
#pragma once

#include <QDialog>

#include "qtsupport/dialogservices.h"

class QListWidget;
class QPushButton;
class TGraphReportFrame;

class TSetChartFrm : public QDialog {
    Q_OBJECT
   public:
    // The open set comes from the workspace; it is read, never changed, while the window is open.
    TSetChartFrm(QWidget* owner, TDialogServices services);

    // Ticks the sequences at these rows only (every one at the start) and draws them.
    void ShowRows(const QList<int>& rows);
    // Draws the ticked sequences in the chart's current view.
    void Redraw();

    QListWidget* SequenceLst = nullptr;
    QPushButton* AllBtn = nullptr;
    QPushButton* NoneBtn = nullptr;
    QPushButton* CloseBtn = nullptr;
    TGraphReportFrame* TGraphReportFrame1 = nullptr;

   private:
    TDialogServices services_;
};
