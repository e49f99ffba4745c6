// Writes pictures of the cable editor, the segment dialog and the dial directory into a folder, on
// sample data of its own (for the documentation; run under a display, see scripts/screenshots.sh).
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

#include "dialogs/cablefrm.h"
#include "dialogs/createmodifysegfrm.h"
#include "dialogs/numerofrm.h"
#include "link/dialdirectory.h"
#include "model/cable.h"
#include "model/fileio.h"
#include "storage/sequenceset.h"
#include "tests/support/silentprompts.h"

namespace {

bool Save(QWidget& w, const QString& file) {
    w.show();
    QApplication::processEvents();
    const bool ok = w.grab().save(file);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(file));
    w.hide();
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]) + "/";
    QTemporaryDir home;
    TSequenceSet set;
    TWorkspace workspace(home.path(), set);
    workspace.SetDecimal('.');
    QDir().mkpath(workspace.CableFolder());
    const std::vector<TSegment> library = {
        MakeSegment("North 24", 1, 24, 2.5f, false), MakeSegment("South 24", 25, 48, 2.5f, true),
        MakeSegment("Borehole 16", 49, 64, 1.0f, false), MakeSegment("Long 48", 101, 148, 5.0f, false),
        MakeSegment("Short 12", 201, 212, 0.5f, false)};
    WriteFileAtomic(workspace.CableFolder().toStdString() + SegmentLibraryFileName, library.data(),
                    library.size() * sizeof(TSegment));
    TDialDirectory dial(DialFilePath(workspace.ProgramFolder().toStdString()));
    for (const char* e : {"Lab station 0123456789", "Depot 9,W0123", "Farm 0555 12 34 56"}) dial.Add(e);
    dial.Save();

    TSilentPrompts prompts;
    TPageHelpOpener help;
    TDialogServices services{workspace, prompts, help};
    bool ok = true;
    {
        TCableFrm editor(nullptr, services);
        for (const char* name : {"North 24", "South 24"}) {
            for (int r = 0; r < editor.SegmentStG->rowCount(); ++r)
                if (editor.SegmentStG->item(r, 0)->text() == name) editor.SegmentStG->selectRow(r);
            editor.IncludeBtnClick();
        }
        editor.CableEdt->setText("Line 7");
        editor.SegmentStG->selectRow(1);
        ok = Save(editor, out + "cable-editor.png") && ok;
    }
    {
        TSegment s = library[3];
        TCreateModifySegFrm segment(nullptr, s, services);
        ok = Save(segment, out + "segment-dialog.png") && ok;
    }
    {
        QString number;
        TNumeroFrm directory(nullptr, number, services);
        directory.DialCB->setEditText("Depot 9,W0123");
        ok = Save(directory, out + "dial-directory.png") && ok;
    }
    return ok ? 0 : 1;
}
