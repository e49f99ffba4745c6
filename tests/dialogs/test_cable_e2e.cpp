// A cable set built through the editor is the file the command line writes for the same segments,
// and the sequence dialog offers it.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>

#include "dialogs/cablefrm.h"
#include "dialogs/sequencefrm.h"
#include "model/cable.h"
#include "model/fileio.h"
#include "storage/sequenceset.h"
#include "tests/app/apptestkit.h"
#include "tests/cli/clirun.h"

namespace {

void SelectRow(QTableWidget* t, const QString& name) {
    for (int r = 0; r < t->rowCount(); ++r)
        if (t->item(r, 0)->text() == name) return t->selectRow(r);
    ADD_FAILURE() << "no row " << name.toStdString();
}

TEST(CableEndToEnd, TheEditorWritesWhatTheCommandLineWritesAndTheSequenceDialogOffersIt) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    TSequenceSet set;
    TWorkspace workspace(home.path() + "/data", set);
    workspace.SetDecimal(',');  // the user's separator does not change the file
    ASSERT_TRUE(QDir().mkpath(workspace.CableFolder()));
    const std::string folder = workspace.CableFolder().toStdString();
    const std::vector<TSegment> library = {MakeSegment("North 24", 1, 24, 2.5f, false),
                                           MakeSegment("Spare", 100, 110, 1.0f, false),
                                           MakeSegment("South 24", 25, 48, 5.0f, true)};
    WriteFileAtomic(folder + SegmentLibraryFileName, library.data(), library.size() * sizeof(TSegment));
    TScriptedPrompts prompts;
    TRecordingHelp help;
    TDialogServices services{workspace, prompts, help};

    {
        TCableFrm editor(nullptr, services);
        SelectRow(editor.SegmentStG, "North 24");
        editor.IncludeBtnClick();
        SelectRow(editor.SegmentStG, "South 24");
        editor.IncludeBtnClick();
        editor.CableEdt->setText("Line 7");
        prompts.SaveFiles = {workspace.CableFolder() + "Line 7.cbl"};
        editor.OkBtnClick();
        ASSERT_EQ(editor.result(), QDialog::Accepted);
    }
    EXPECT_TRUE(prompts.Messages.empty());

    const std::string cli = (home.path() + "/cli.cbl").toStdString();
    const TCliRun run = Cli({"cable", "create", cli, "--name", "Line 7", "--segment", "North 24:1-24:2.5",
                             "--segment", "South 24:25-48:5:rev"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(ReadWholeFile(folder + "Line 7.cbl"), ReadWholeFile(cli));

    TSequence record;
    TSequenceFrm sequence(nullptr, false, true, record, services);
    sequence.FillCableList();
    EXPECT_GE(sequence.CableLst->findText("Line 7"), 0);

    // "View cable set" opens the editor on the sequence's cable set, in its view.
    LoadCableSet(record, folder, "Line 7");
    TSequenceFrm viewing(nullptr, false, false, record, services);
    bool viewed = false;
    OnNextModal([&viewed](QWidget* w) {
        auto* view = qobject_cast<TCableFrm*>(w);
        ASSERT_NE(view, nullptr);
        viewed = true;
        EXPECT_TRUE(view->ViewOnly());
        EXPECT_EQ(view->CableEdt->text(), "Line 7");
        EXPECT_EQ(view->CableSegLst->rowCount(), 2);
        EXPECT_TRUE(view->OkBtn->isHidden());
        view->CloseBtn->click();
    });
    viewing.ViewCableClick();
    EXPECT_TRUE(viewed);
}

}  // namespace
