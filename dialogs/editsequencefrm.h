// A sequence as two read-only tables: every quadripole with its geometric factor, and every placed
// electrode with its coordinates and segment. The tables read the record as they are drawn, so a full
// sequence opens at once.
#pragma once

#include <QDialog>

#include "model/sequence.h"

class QTabWidget;
class QTableView;
class QWidget;

class TEditSequenceFrm : public QDialog {
    Q_OBJECT
   public:
    // The record is read, never changed, and must outlive the dialog.
    TEditSequenceFrm(QWidget* owner, const TSequence& seq);

    QTabWidget* PageControl1 = nullptr;
    QWidget* QuadripoleTS = nullptr;
    QWidget* ElectrodeTS = nullptr;
    QTableView* QuadripoleGd = nullptr;
    QTableView* ElectrodeGd = nullptr;

    // The text of a cell as shown (row 0 is the first data row).
    static QString CellText(const QTableView* grid, int row, int column);

   protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

   private:
    void FitColumns();
};
