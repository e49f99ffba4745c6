#include "cablesetview.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>
#include <memory>

#include "cable.h"
#include "workspace.h"

namespace {

QDialog* Frame(QWidget* parent, const QString& title, QVBoxLayout*& layout) {
    auto* d = new QDialog(parent);
    d->setWindowTitle(title);
    layout = new QVBoxLayout(d);
    return d;
}

void CloseButton(QDialog* d, QVBoxLayout* layout) {
    auto* box = new QDialogButtonBox(QDialogButtonBox::Close, d);
    QObject::connect(box, &QDialogButtonBox::rejected, d, &QDialog::reject);
    layout->addWidget(box);
}

void Cell(QTableWidget* t, int r, int c, const QString& text) { t->setItem(r, c, new QTableWidgetItem(text)); }

QTableWidget* SegmentTable(QWidget* parent, const TCable& cable) {
    const QStringList headers = {"Segment", "First node", "Last node", "Node spacing", "Reversible"};
    auto* t = new QTableWidget(SegmentCount(cable), static_cast<int>(headers.size()), parent);
    t->setHorizontalHeaderLabels(headers);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->setVisible(false);
    int r = 0;
    for (const TSegment& s : cable.Segments) {
        if (s.Empty()) continue;
        Cell(t, r, 0, RecordText(s.Name.Get()));
        Cell(t, r, 1, QString::number(s.FirstNode));
        Cell(t, r, 2, QString::number(s.LastNode));
        Cell(t, r, 3, ShortestText(s.NodeSpacing, LocaleDecimal()));
        Cell(t, r, 4, s.Reversible ? "yes" : "no");
        ++r;
    }
    return t;
}

}  // namespace

QDialog* MakeCableSetView(QWidget* parent, const TCable& cable) {
    QVBoxLayout* layout = nullptr;
    QDialog* d = Frame(parent, "Cable set " + RecordText(cable.CableName.Get()), layout);
    layout->addWidget(SegmentTable(d, cable));
    CloseButton(d, layout);
    return d;
}

QDialog* MakeCableSetView(QWidget* parent, const std::string& cableFile) {
    TCable cable;
    try {
        ReadCableFile(cableFile, cable);
    } catch (const std::exception& e) {
        QVBoxLayout* layout = nullptr;
        QDialog* d = Frame(parent, "Cable set", layout);
        layout->addWidget(new QLabel(QString::fromStdString(e.what()), d));
        CloseButton(d, layout);
        return d;
    }
    return MakeCableSetView(parent, cable);
}

void ShowCableSetView(QWidget* parent, const TCable& cable) {
    std::unique_ptr<QDialog> d(MakeCableSetView(parent, cable));
    d->exec();
}

void ShowCableSetView(QWidget* parent, const std::string& cableFile) {
    std::unique_ptr<QDialog> d(MakeCableSetView(parent, cableFile));
    d->exec();
}
