// Writes pictures of the sequence dialogs on the demo set, for the documentation:
//   teravox2-dialogshots DATA_FOLDER OUTPUT_FOLDER
// DATA_FOLDER holds Cable/ and Sequence/Demo/ (the demo data); run it under a real display (Xvfb).
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QListWidget>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "dialogs/createsequencefrm.h"
#include "dialogs/editlevelfrm.h"
#include "dialogs/editsequencefrm.h"
#include "dialogs/firstlastnodefrm.h"
#include "dialogs/sequencefrm.h"
#include "dialogs/setchartfrm.h"
#include "model/grid3d.h"
#include "storage/sequenceset.h"
#include "tests/support/silentprompts.h"

namespace {

bool Shot(QWidget& w, const QString& path) {
    w.show();
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    const bool ok = w.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    w.hide();
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: teravox2-dialogshots DATA_FOLDER OUTPUT_FOLDER\n");
        return 2;
    }
    const QString data = QString::fromLocal8Bit(argv[1]), out = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(out);
    TSequenceSet set;
    set.Open((data + "/Sequence/Demo").toStdString());
    TWorkspace workspace(data, set);
    TSilentPrompts prompts;
    TNoHelp help;
    TDialogServices services{workspace, prompts, help};
    const int dd = set.IndexOf("DD 5m n1-6"), pd = set.IndexOf("PD 5m two lengths");
    if (dd < 0 || pd < 0) {
        std::fprintf(stderr, "%s: the demo set is not there\n", argv[1]);
        return 1;
    }
    bool ok = true;
    TSequence two = set.Sequence(pd);
    {
        TSequenceFrm d(nullptr, false, true, two, services);
        ok = Shot(d, out + "/sequence-dialog.png") && ok;
    }
    {
        TEditLevelFrm d(nullptr, 1, two, services);
        ok = Shot(d, out + "/level-dialog.png") && ok;
    }
    TSequence next = set.Sequence(dd);
    {
        TFirstLastNodeFrm d(nullptr, false, ModeRollAlong, next, services);
        d.show();
        QCoreApplication::processEvents();
        d.SequenceListBox->setCurrentRow(dd);
        ok = Shot(d, out + "/electrodes-used-roll-along.png") && ok;
    }
    {
        TEditSequenceFrm d(nullptr, set.Sequence(dd));
        d.PageControl1->setCurrentIndex(0);
        ok = Shot(d, out + "/sequence-tables.png") && ok;
    }
    {
        TCreateSequenceFrm d(nullptr, set.Sequence(pd), services);
        ok = Shot(d, out + "/creation-preview.png") && ok;
    }
    {
        // A 3D grid on the same cables: four lines of twelve, 10 m apart, both ways and across.
        TSequence grid = set.Sequence(dd);
        grid.Name.Set("Grid 4x12");
        grid.GridLineX = 4;
        grid.GridLineY = 12;
        SetLevels(grid.LevelUsed[0], 3);
        TGridLayout layout;
        layout.LineSpacing = 10;
        layout.YLines = true;
        layout.CrossLines = true;
        TNullChartSink none;
        GenerateGrid(grid, layout, none);
        TSequenceFrm d(nullptr, false, true, grid, services);
        ok = Shot(d, out + "/grid3d-sequence-dialog.png") && ok;
    }
    {
        TSetChartFrm d(nullptr, services);
        d.resize(900, 560);
        ok = Shot(d, out + "/whole-set.png") && ok;
    }
    return ok ? 0 : 1;
}
