#include "dialogs/editsequencefrm.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <vector>

#include "model/cable.h"
#include "model/geometry.h"
#include "model/mediandepth.h"
#include "qtsupport/formkit.h"
#include "qtsupport/workspace.h"

namespace {

// A grid's row of the record: one quadripole, or one placed electrode of the cable set.
class TQuadripoleModel : public QAbstractTableModel {
   public:
    explicit TQuadripoleModel(const TSequence& seq, QObject* parent)
        : QAbstractTableModel(parent), seq_(seq) {}
    int Count() const { return std::clamp(seq_.NbQuadripole, 0, MaxQuadripoles); }
    // A sequence without quadripoles still shows one empty row under the header.
    int rowCount(const QModelIndex& = QModelIndex()) const override { return std::max(Count(), 1); }
    int columnCount(const QModelIndex& = QModelIndex()) const override { return 7; }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        static const char* headers[] = {"", "# Ca", "# Cb", "# Pm", "# Pn", "K factor", "Median depth"};
        if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
        return QString::fromLatin1(headers[section]);
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
        if (role != Qt::DisplayRole || index.row() >= Count()) return {};
        const TQuadripole& q = seq_.Quadripoles[index.row()];
        switch (index.column()) {
            case 0:
                return QString::number(index.row() + 1);
            case 1:
                return QString::number(q.A);
            case 2:
                return QString::number(q.B);
            case 3:
                return QString::number(q.M);
            case 4:
                return QString::number(q.N);
            case 5:
                return ShortestText(QuadripoleK(seq_, index.row()), LocaleDecimal());
            default:
                return FixedTwoText(MedianDepth(seq_, q), LocaleDecimal());
        }
    }

   private:
    const TSequence& seq_;
};

class TElectrodeModel : public QAbstractTableModel {
   public:
    TElectrodeModel(const TSequence& seq, QObject* parent) : QAbstractTableModel(parent), seq_(seq) {
        for (int i = 1; i <= MaxElectrodeNumber; ++i)
            if (IsRealElectrode(seq, i) && SegmentOfNode(seq, i) != nullptr) rows_.push_back(i);
    }
    int rowCount(const QModelIndex& = QModelIndex()) const override {
        return std::max(static_cast<int>(rows_.size()), 1);
    }
    int columnCount(const QModelIndex& = QModelIndex()) const override { return 5; }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        static const char* headers[] = {"", "X (m)", "Y (m)", "Z (m)", "Segment"};
        if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
        return QString::fromLatin1(headers[section]);
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::TextAlignmentRole && index.column() < 4)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        if (role != Qt::DisplayRole || index.row() >= static_cast<int>(rows_.size())) return {};
        const int i = rows_[static_cast<std::size_t>(index.row())];
        const TElectrode& e = seq_.Electrodes[i];
        const char d = LocaleDecimal();
        switch (index.column()) {
            case 0:
                return QString::number(e.Number);
            case 1:
                return FixedTwoText(e.X, d);
            case 2:
                return FixedTwoText(e.Y, d);
            case 3:
                return FixedTwoText(e.Z, d);
            default:
                return RecordText(SegmentOfNode(seq_, i)->Name.Get());
        }
    }

   private:
    const TSequence& seq_;
    std::vector<int> rows_;
};

QTableView* Grid(QWidget* parent, const char* name, QAbstractTableModel* model) {
    auto* grid = new QTableView(parent);
    grid->setObjectName(name);
    grid->setModel(model);
    grid->verticalHeader()->setVisible(false);
    grid->verticalHeader()->setDefaultSectionSize(21);
    grid->horizontalHeader()->setDefaultSectionSize(48);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setAlternatingRowColors(true);
    grid->setTabKeyNavigation(false);
    return grid;
}

}  // namespace

TEditSequenceFrm::TEditSequenceFrm(QWidget* owner, const TSequence& seq)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName("EditSequenceFrm");
    setWindowTitle(RecordText(seq.Name.Get()));
    resize(SizeOnScreen(QSize(620, 520)));
    auto* layout = new QVBoxLayout(this);
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    QuadripoleTS = new QWidget(PageControl1);
    QuadripoleTS->setObjectName("QuadripoleTS");
    ElectrodeTS = new QWidget(PageControl1);
    ElectrodeTS->setObjectName("ElectrodeTS");
    QuadripoleGd = Grid(QuadripoleTS, "QuadripoleGd", new TQuadripoleModel(seq, this));
    QuadripoleGd->setAccessibleName("Quadripole");
    ElectrodeGd = Grid(ElectrodeTS, "ElectrodeGd", new TElectrodeModel(seq, this));
    ElectrodeGd->setAccessibleName("Electrode");
    for (auto [page, grid] : {std::pair{QuadripoleTS, QuadripoleGd}, {ElectrodeTS, ElectrodeGd}}) {
        auto* l = new QVBoxLayout(page);
        l->setContentsMargins(2, 2, 2, 2);
        l->addWidget(grid);
    }
    PageControl1->addTab(QuadripoleTS, "&Quadripole");
    PageControl1->addTab(ElectrodeTS, "&Electrode");
    PageControl1->setCurrentWidget(ElectrodeTS);
    layout->addWidget(PageControl1);
    connect(PageControl1, &QTabWidget::currentChanged, this, &TEditSequenceFrm::FitColumns);
}

void TEditSequenceFrm::FitColumns() {
    // Each column at least as wide as its header and the widest text it can hold; what is left is
    // shared out. The grid's own width is used, not its viewport's: a grid on a hidden tab has its
    // size but not yet its viewport's.
    auto fit = [](QTableView* grid, const QStringList& widest) {
        const QFontMetrics fm = grid->fontMetrics();
        const int columns = grid->model()->columnCount();
        std::vector<int> widths(static_cast<std::size_t>(columns));
        int total = 0;
        for (int c = 0; c < columns; ++c) {
            const QString header = grid->model()->headerData(c, Qt::Horizontal).toString();
            widths[static_cast<std::size_t>(c)] =
                std::max(fm.horizontalAdvance(header), fm.horizontalAdvance(widest.value(c))) + 16;
            total += widths[static_cast<std::size_t>(c)];
        }
        const int room =
            grid->width() - 2 * grid->frameWidth() - grid->verticalScrollBar()->sizeHint().width() - 2;
        const int share = columns > 1 && room > total ? (room - total) / (columns - 1) : 0;
        for (int c = 0; c < columns; ++c)
            grid->setColumnWidth(c, widths[static_cast<std::size_t>(c)] + (c > 0 ? share : 0));
    };
    // The widest texts: numbers up to 16000 and 1999, a K of nine digits with sign and point, depths
    // and coordinates of a long line.
    fit(QuadripoleGd, {"16000", "1999", "1999", "1999", "1999", "-999999.999", "9999.99"});
    fit(ElectrodeGd, {"1999", "-99999.99", "-99999.99", "-99999.99", "Segment name"});
}

void TEditSequenceFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FitColumns();
}

void TEditSequenceFrm::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    FitColumns();
}

QString TEditSequenceFrm::CellText(const QTableView* grid, int row, int column) {
    return grid->model()->index(row, column).data().toString();
}
