#include "sequencedialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <memory>

#include "cable.h"
#include "fileio.h"
#include "geometry.h"
#include "levelspec.h"

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

QTableWidget* Table(QWidget* parent, const QStringList& headers, int rows) {
    auto* t = new QTableWidget(rows, static_cast<int>(headers.size()), parent);
    t->setHorizontalHeaderLabels(headers);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->setVisible(false);
    return t;
}

void Cell(QTableWidget* t, int r, int c, const QString& text) { t->setItem(r, c, new QTableWidgetItem(text)); }

QTableWidget* SegmentTable(QWidget* parent, const TCable& cable) {
    auto* t = Table(parent, {"Segment", "First node", "Last node", "Node spacing", "Reversible"}, SegmentCount(cable));
    int r = 0;
    for (const TSegment& s : cable.Segments) {
        if (s.Empty()) continue;
        Cell(t, r, 0, QString::fromStdString(s.Name.Get()));
        Cell(t, r, 1, QString::number(s.FirstNode));
        Cell(t, r, 2, QString::number(s.LastNode));
        Cell(t, r, 3, QString::number(double(s.NodeSpacing)));
        Cell(t, r, 4, s.Reversible ? "yes" : "no");
        ++r;
    }
    return t;
}

const char* TypeName(int16_t t) {
    switch (t) {
        case 1: return "Node";
        case 2: return "Active";
        case 3: return "Remote";
        case 4: return "Inactive";
        default: return "None";
    }
}

}  // namespace

QDialog* MakeSequenceView(QWidget* parent, const TSequence& seq) {
    QVBoxLayout* layout = nullptr;
    QDialog* d = Frame(parent, "Sequence", layout);
    auto* form = new QFormLayout;
    auto row = [&](const QString& label, const QString& value) {
        auto* v = new QLabel(value, d);
        v->setObjectName(label);
        form->addRow(label, v);
    };
    const std::string array = ArrayTypeName(seq.ArrayType);
    row("Name :", QString::fromStdString(seq.Name.Get()));
    row("Cable :", QString::fromStdString(seq.CableName.Get()));
    row("Array type :", array.empty() ? "No geometry" : QString::fromStdString(array));
    row("Spacing a :", QString::number(double(seq.Spacing[0])));
    row("Levels :", QString::fromStdString(LevelSpecText(seq.LevelUsed[0])));
    for (int s = 1; s < MaxSpacings; ++s) {
        if (seq.Spacing[s] == 0.0f) continue;
        row(QString("Length %1 :").arg(s + 1), QString::fromStdString(SpacingMultipleText(seq, s, true)) + "  levels " +
                                                   QString::fromStdString(LevelSpecText(seq.LevelUsed[s])));
    }
    row("Electrodes :", QString::number(seq.NbElectrode));
    row("First electrode :", QString::number(seq.FirstElectrode));
    row("Quadripoles :", QString::number(seq.NbQuadripole));
    row("Time (ms) :", QString::number(seq.Time));
    row("Stacks :", QString("%1 to %2").arg(seq.StackMin).arg(seq.StackMax));
    row("Quality limit (%) :", QString::number(seq.QMax));
    row("Mode :", seq.Mode ? "Rho and Ip" : "Rho");
    row("Voltage :", QString::fromStdString(VmnRangeText(seq.VmnRange)));
    layout->addLayout(form);
    if (seq.ArrayType != 9) layout->addWidget(SegmentTable(d, seq));
    CloseButton(d, layout);
    return d;
}

QDialog* MakeSequenceTables(QWidget* parent, const TSequence& seq) {
    QVBoxLayout* layout = nullptr;
    QDialog* d = Frame(parent, QString::fromStdString(seq.Name.Get()), layout);
    d->resize(620, 480);
    auto* tabs = new QTabWidget(d);
    const int nq = std::clamp(seq.NbQuadripole, 0, MaxQuadripoles);
    auto* quads = Table(tabs, {"#", "A", "B", "M", "N", "Spacing", "Level", "K"}, nq);
    quads->setObjectName("Quadripoles");
    for (int i = 0; i < nq; ++i) {
        const TQuadripole& q = seq.Quadripoles[i];
        const int16_t e[4] = {q.A, q.B, q.M, q.N};
        Cell(quads, i, 0, QString::number(i + 1));
        for (int k = 0; k < 4; ++k) Cell(quads, i, k + 1, e[k] == 0 ? "Rem" : QString::number(e[k]));
        Cell(quads, i, 5, QString::number(q.SpacingIndex + 1));
        Cell(quads, i, 6, QString::number(q.Level));
        Cell(quads, i, 7, QString::number(double(GeometricFactor(seq, q)), 'f', 2));
    }
    tabs->addTab(quads, "Quadripoles");
    int ne = 0;
    for (const TElectrode& e : seq.Electrodes) ne += e.Type != 0;
    auto* electrodes = Table(tabs, {"Electrode", "Type", "X", "Y", "Z"}, ne);
    electrodes->setObjectName("Electrodes");
    int r = 0;
    for (int i = 0; i < MaxElectrodes; ++i) {
        const TElectrode& e = seq.Electrodes[i];
        if (e.Type == 0) continue;
        Cell(electrodes, r, 0, QString::number(i));
        Cell(electrodes, r, 1, TypeName(e.Type));
        Cell(electrodes, r, 2, QString::number(double(e.X), 'f', 2));
        Cell(electrodes, r, 3, QString::number(double(e.Y), 'f', 2));
        Cell(electrodes, r, 4, QString::number(double(e.Z), 'f', 2));
        ++r;
    }
    tabs->addTab(electrodes, "Electrodes");
    layout->addWidget(tabs);
    CloseButton(d, layout);
    return d;
}

QDialog* MakeCableSetView(QWidget* parent, const std::string& cableFile) {
    QVBoxLayout* layout = nullptr;
    TCable cable;
    QString problem;
    try {
        ReadCableFile(cableFile, cable);
    } catch (const std::exception& e) {
        problem = QString::fromStdString(e.what());
    }
    QDialog* d = Frame(parent, "Cable set " + QString::fromStdString(cable.CableName.Get()), layout);
    if (!problem.isEmpty()) layout->addWidget(new QLabel(problem, d));
    else layout->addWidget(SegmentTable(d, cable));
    CloseButton(d, layout);
    return d;
}

void ShowSequenceView(QWidget* parent, const TSequence& seq) {
    std::unique_ptr<QDialog> d(MakeSequenceView(parent, seq));
    d->exec();
}
void ShowSequenceTables(QWidget* parent, const TSequence& seq) {
    std::unique_ptr<QDialog> d(MakeSequenceTables(parent, seq));
    d->exec();
}
void ShowCableSetView(QWidget* parent, const std::string& cableFile) {
    std::unique_ptr<QDialog> d(MakeCableSetView(parent, cableFile));
    d->exec();
}
