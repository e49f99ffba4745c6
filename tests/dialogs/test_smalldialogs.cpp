// The level dialog, the quadripole and electrode tables and the creation preview.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <functional>
#include <memory>

#include "charts/graphreportframe.h"
#include "dialogs/createsequencefrm.h"
#include "dialogs/editlevelfrm.h"
#include "dialogs/editsequencefrm.h"
#include "model/generate.h"
#include "model/geometry.h"
#include "model/mediandepth.h"
#include "qtsupport/helpviewer.h"
#include "qtsupport/messages.h"
#include "tests/dialogs/dialogtestkit.h"

namespace {

QStringList Rows(const TEditLevelFrm& d) {
    QStringList rows;
    for (int i = 0; i < d.CheckListBox1->count(); ++i) rows << d.CheckListBox1->item(i)->text();
    return rows;
}

class LevelDialog : public DialogTest {
   protected:
    void SetUp() override {
        DialogTest::SetUp();
        seq.Spacing[0] = 5;
        seq.Spacing[1] = 10;
        seq.Spacing[2] = 15;
    }
    TSequence seq;
};

TEST_F(LevelDialog, RowsReadAsMultiplesOfTheSpacingsOwnLength) {
    struct {
        int Index;
        QStringList First;
        QString Last;
    } cases[] = {
        {0, {"1", "2", "3", "4"}, "32"},
        {1, {"1/2", "1", "3/2", "2"}, "16"},
        {2, {"1/3", "2/3", "1", "4/3", "5/3", "2"}, "32/3"},
    };
    for (const auto& c : cases) {
        TEditLevelFrm d(nullptr, c.Index, seq, Services());
        const QStringList rows = Rows(d);
        ASSERT_EQ(rows.size(), 32);
        EXPECT_EQ(rows.mid(0, c.First.size()), c.First) << c.Index;
        EXPECT_EQ(rows.last(), c.Last) << c.Index;
    }
}

TEST_F(LevelDialog, ChecksFollowTheMaskAndOkWritesIt) {
    seq.LevelUsed[1] = 0b101;
    TEditLevelFrm d(nullptr, 1, seq, Services());
    EXPECT_EQ(d.CheckListBox1->item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(d.CheckListBox1->item(1)->checkState(), Qt::Unchecked);
    EXPECT_EQ(d.CheckListBox1->item(2)->checkState(), Qt::Checked);
    d.CheckListBox1->item(31)->setCheckState(Qt::Checked);
    d.BitBtn1Click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(static_cast<uint32_t>(seq.LevelUsed[1]), 0x80000005u);
}

TEST_F(LevelDialog, NoLevelKeepsTheDialogOpenWithTheMaskEmpty) {
    seq.LevelUsed[0] = 0b11;
    TEditLevelFrm d(nullptr, 0, seq, Services());
    d.show();
    for (int i = 0; i < 2; ++i) d.CheckListBox1->item(i)->setCheckState(Qt::Unchecked);
    d.BitBtn1Click();
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_EQ(prompts.Messages[0], Msg::SelectOneLevel);
    EXPECT_EQ(seq.LevelUsed[0], 0);
    EXPECT_TRUE(d.isVisible());
    d.CheckListBox1->item(4)->setCheckState(Qt::Checked);
    d.BitBtn1Click();
    EXPECT_EQ(seq.LevelUsed[0], 0b10000);
    EXPECT_FALSE(d.isVisible());
    d.BitBtn2Click();
    EXPECT_EQ(help.Topics, std::vector<int>{1100});
}

// Cancel, Escape and the close box leave the levels as they were when the dialog opened, even after
// an OK that was refused for want of a level.
TEST_F(LevelDialog, CancelEscapeAndCloseKeepTheLevelsAsTheyWere) {
    const std::pair<const char*, std::function<void(TEditLevelFrm&)>> ways[] = {
        {"Cancel", [](TEditLevelFrm& d) { d.CancelBtn->click(); }},
        {"Escape", [](TEditLevelFrm& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"close box", [](TEditLevelFrm& d) { d.close(); }},
    };
    for (const auto& [way, leave] : ways) {
        seq.LevelUsed[0] = 0b110;
        TEditLevelFrm d(nullptr, 0, seq, Services());
        d.show();
        for (int i = 0; i < 3; ++i) d.CheckListBox1->item(i)->setCheckState(Qt::Unchecked);
        d.BitBtn1Click();  // refused: no level
        ASSERT_TRUE(d.isVisible()) << way;
        leave(d);
        EXPECT_FALSE(d.isVisible()) << way;
        EXPECT_EQ(d.result(), QDialog::Rejected) << way;
        EXPECT_EQ(seq.LevelUsed[0], 0b110) << way;
    }
}

class Tables : public DialogTest {};

TEST_F(Tables, ASequenceWithoutQuadripolesShowsOneEmptyRow) {
    TSequence seq;
    TEditSequenceFrm d(nullptr, seq);
    EXPECT_EQ(d.PageControl1->currentWidget(), d.ElectrodeTS);
    EXPECT_EQ(d.PageControl1->tabText(0), "&Quadripole");
    ASSERT_EQ(d.QuadripoleGd->model()->rowCount(), 1);
    EXPECT_TRUE(TEditSequenceFrm::CellText(d.QuadripoleGd, 0, 0).isEmpty());
    EXPECT_EQ(d.QuadripoleGd->model()->headerData(5, Qt::Horizontal).toString(), "K factor");
    EXPECT_EQ(d.ElectrodeGd->model()->headerData(4, Qt::Horizontal).toString(), "Segment");
}

TEST_F(Tables, PoleDipoleShowsTheRemoteAsZeroAndOnlyPlacedElectrodes) {
    TSequence seq;
    LoadCableSet(seq, workspace.CableFolder().toStdString(), "Gap");
    seq.ArrayType = static_cast<int32_t>(TArrayType::PoleDipole);
    seq.Spacing[0] = 5;
    seq.LevelUsed[0] = 0b11;
    seq.NbElectrode = 12;
    seq.Electrodes[1].X = 10;
    TNullChartSink none;
    ASSERT_TRUE(GenerateSequence(seq, ModeCreate, none));
    ASSERT_GT(seq.NbQuadripole, 0);
    TEditSequenceFrm d(nullptr, seq);
    EXPECT_EQ(d.QuadripoleGd->model()->rowCount(), seq.NbQuadripole);
    EXPECT_EQ(TEditSequenceFrm::CellText(d.QuadripoleGd, 0, 0), "1");
    EXPECT_EQ(TEditSequenceFrm::CellText(d.QuadripoleGd, 0, 1), "0") << "A is the remote electrode";
    EXPECT_EQ(TEditSequenceFrm::CellText(d.QuadripoleGd, 0, 2), QString::number(seq.Quadripoles[0].B));
    const QString k = TEditSequenceFrm::CellText(d.QuadripoleGd, 0, 5);
    EXPECT_FLOAT_EQ(k.toFloat(), QuadripoleK(seq, 0));
    EXPECT_EQ(d.QuadripoleGd->model()->headerData(6, Qt::Horizontal).toString(), "Median depth");
    EXPECT_NEAR(TEditSequenceFrm::CellText(d.QuadripoleGd, 0, 6).toDouble(),
                MedianDepth(seq, seq.Quadripoles[0]), 0.006);
    // Placed electrodes only (nodes not reached by the line stay Node and are not listed).
    int placed = 0;
    for (int i = 1; i <= MaxElectrodeNumber; ++i) placed += IsRealElectrode(seq, i);
    EXPECT_EQ(d.ElectrodeGd->model()->rowCount(), placed);
    EXPECT_EQ(placed, 42) << "every node of the set, none of the gap";
    EXPECT_EQ(TEditSequenceFrm::CellText(d.ElectrodeGd, 0, 1), "10.00");
    EXPECT_EQ(TEditSequenceFrm::CellText(d.ElectrodeGd, 0, 4), "Red");
}

TEST_F(Tables, AFullSequenceOpensAtOnce) {
    TSequence seq;
    seq.NbQuadripole = MaxQuadripoles;
    for (int i = 0; i < MaxQuadripoles; ++i) seq.Quadripoles[i] = {1, 2, 3, 4, 0, 1, -1};
    TEditSequenceFrm d(nullptr, seq);
    d.show();
    Settle();
    EXPECT_EQ(d.QuadripoleGd->model()->rowCount(), MaxQuadripoles);
    EXPECT_EQ(TEditSequenceFrm::CellText(d.QuadripoleGd, MaxQuadripoles - 1, 0), "16000");
}

// Every column opens wide enough for its header and its widest text, the tab on top or not, and the
// window fits a 480-pixel-high free screen.
TEST_F(Tables, EveryColumnShowsItsWholeTextAndTheWindowFitsASmallScreen) {
    TSequence seq;
    LoadCableSet(seq, workspace.CableFolder().toStdString(), "L48");
    seq.ArrayType = static_cast<int32_t>(TArrayType::DipoleDipole);
    seq.Spacing[0] = 5;
    seq.LevelUsed[0] = (1 << 8) - 1;
    seq.NbElectrode = 48;
    TNullChartSink none;
    ASSERT_TRUE(GenerateSequence(seq, ModeCreate, none));
    TEditSequenceFrm d(nullptr, seq);
    d.show();
    Settle();
    EXPECT_LE(d.minimumSizeHint().height(), 440);
    EXPECT_LE(d.height(), d.screen()->availableGeometry().height());
    d.PageControl1->setCurrentWidget(d.QuadripoleTS);  // fitted while it was hidden
    Settle();
    for (QTableView* grid : {d.QuadripoleGd, d.ElectrodeGd}) {
        const QFontMetrics fm = grid->fontMetrics();
        const int columns = grid->model()->columnCount();
        int total = 0;
        for (int c = 0; c < columns; ++c) {
            int widest = fm.horizontalAdvance(grid->model()->headerData(c, Qt::Horizontal).toString());
            for (int r = 0; r < grid->model()->rowCount(); ++r)
                widest = std::max(widest, fm.horizontalAdvance(TEditSequenceFrm::CellText(grid, r, c)));
            EXPECT_GE(grid->columnWidth(c), widest + 6)
                << grid->objectName().toStdString() << " column " << c;
            total += grid->columnWidth(c);
        }
        EXPECT_LE(total, grid->viewport()->width() + 1)
            << grid->objectName().toStdString() << ": all columns in view";
    }
}

class Preview : public DialogTest {};

TEST_F(Preview, AnEmptySequenceShowsAnEmptyChartInTheLevelView) {
    TSequence seq;
    TCreateSequenceFrm d(nullptr, seq, Services());
    d.TGraphReportFrame1->SetViewIndex(2);
    d.show();
    Settle();
    EXPECT_EQ(d.windowTitle(), "Automatic sequence creation");
    EXPECT_EQ(d.TGraphReportFrame1->ViewIndex(), 0);
    EXPECT_EQ(d.TGraphReportFrame1->PointCount(), 0);
    EXPECT_TRUE(d.isEnabled());
}

TEST_F(Preview, AViewChangeRedrawsTheSequence) {
    TSequence seq;
    LoadCableSet(seq, workspace.CableFolder().toStdString(), "L48");
    seq.Spacing[0] = 5;
    seq.LevelUsed[0] = 0x3F;
    TNullChartSink none;
    ASSERT_TRUE(GenerateSequence(seq, ModeCreate, none));
    TCreateSequenceFrm d(nullptr, seq, Services());
    d.show();
    Settle();
    EXPECT_EQ(d.TGraphReportFrame1->PointCount(), seq.NbQuadripole);
    d.TGraphReportFrame1->ComboBox1->setCurrentIndex(3);
    EXPECT_EQ(d.TGraphReportFrame1->ViewIndex(), 3);
    EXPECT_GT(d.TGraphReportFrame1->PointCount(), 0);
    EXPECT_NE(d.TGraphReportFrame1->PointCount(), seq.NbQuadripole) << "the cable array shows electrodes";
}

TEST_F(Preview, TheChartsMessagesGoThroughThePrompts) {
    TSequence seq;
    TCreateSequenceFrm d(nullptr, seq, Services());
    prompts.SaveFiles.push_back(home.path() + "/no/such/folder/chart.png");
    d.TGraphReportFrame1->SavePictureButton->click();
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_TRUE(prompts.Messages[0].contains("chart.png"));
}

TEST(HelpKeywords, EachArrayHasItsSection) {
    const QString page = HelpFolderPath() + "500.html";
    QFile file(page);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << page.toStdString();
    const QString html = QString::fromUtf8(file.readAll());
    for (const char* array : {"Dipole dipole", "Pole dipole", "Pole pole", "Wenner", "Wenner-Schlumberger",
                              "Multiple gradient", "Gradient", "Multiple gradient 3D", "Wenner 3D"}) {
        const QString target = HelpKeywordTarget(array);
        ASSERT_TRUE(target.startsWith("500.html#")) << array;
        EXPECT_TRUE(html.contains("name=\"" + target.mid(9) + "\"")) << array;
    }
    EXPECT_TRUE(HelpKeywordTarget("------------   2D Resistivity   ---------------").isEmpty());
}

}  // namespace
