// The main window as a field user meets it: nothing moves on hover, the keyboard reaches the actions,
// the folder chooser takes an existing folder, and the window fits a small laptop screen.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <functional>

#include "app/apppaths.h"
#include "app/configurationfrm.h"
#include "app/mainfrm.h"
#include "app/optimisefrm.h"
#include "app/settings.h"
#include "charts/graphreportframe.h"
#include "design/sequencedesign.h"
#include "dialogs/setchartfrm.h"
#include "link/portvirt.h"
#include "model/channelplan.h"
#include "model/chartsink.h"
#include "model/electrodesused.h"
#include "model/generate.h"
#include "qtsupport/messages.h"
#include "tests/app/apptestkit.h"

namespace {

class Window : public ::testing::Test {
   protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        CurrentLink.reset();
        ASSERT_TRUE(InstallDemoData(QString(TERAVOX_DEMO_DIR) + "/", home.path() + "/data/"));
        store = std::make_unique<QSettings>(home.path() + "/settings.ini", QSettings::IniFormat);
        window = std::make_unique<TMainFrm>(prompts, *store, home.path() + "/data/");
        window->SetHelpOpener(help);
        window->OpenSetFolder(home.path() + "/data/Sequence/Demo");
        ASSERT_GT(window->Set().Count(), 1);
    }
    void TearDown() override {
        window.reset();
        CurrentLink.reset();
    }
    void Show() {
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    QTemporaryDir home;
    TScriptedPrompts prompts;
    TRecordingHelp help;
    std::unique_ptr<QSettings> store;
    std::unique_ptr<TMainFrm> window;
};

TEST_F(Window, HoveringTheChartChangesNoSizeAndTheReadoutGoesWithThePointer) {
    Show();
    window->ShowSequence(0);
    QCoreApplication::processEvents();
    const QSize before = window->size();
    const QRect buttons = window->ModifySeqBtn->geometry();
    TGraphReportFrame* chart = window->TGraphReportFrame1;
    QWidget* plot = chart->ChartWidget();
    for (int i = 0; i < 40; ++i) {
        const QPoint at = chart->PointPixel(1, i % std::max(1, chart->SeriesPointCount(1)));
        QMouseEvent move(QEvent::MouseMove, at, plot->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(plot, &move);
        QCoreApplication::processEvents();
    }
    EXPECT_FALSE(chart->StatusText().isEmpty()) << "the readout shows while the pointer is over a point";
    EXPECT_EQ(window->size(), before);
    EXPECT_EQ(window->ModifySeqBtn->geometry(), buttons);
    EXPECT_FALSE(window->ImportSeqBtn->geometry().intersects(window->ModifySeqBtn->geometry()));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(plot, &leave);
    EXPECT_TRUE(chart->StatusText().isEmpty());
}

TEST_F(Window, DeleteWithNothingSelectedClearsTheChartAndTheLabels) {
    window->ShowSequence(1);
    ASSERT_GT(window->TGraphReportFrame1->PointCount(), 0);
    window->SequenceListBox->clearSelection();
    const int count = window->Set().Count();
    window->DeleteSeqBtnClick();
    EXPECT_EQ(window->Set().Count(), count) << "nothing is deleted";
    EXPECT_EQ(window->TGraphReportFrame1->PointCount(), 0);
    for (QLabel* l : {window->SequenceNameLbl, window->SpacingLbl, window->CableLbl})
        EXPECT_TRUE(l->text().isEmpty());
}

// What the user does by hand in the set is a change the quit question knows of.
TEST_F(Window, TypingACommentAndDeletingASequenceAreChanges) {
    Show();
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"a typed comment", [&] { QTest::keyClicks(window->Memo1, "wet ground after rain"); }},
        {"Delete",
         [&] {
             window->SequenceListBox->setCurrentRow(0);
             QTest::mouseClick(window->DeleteSeqBtn, Qt::LeftButton);
         }},
    };
    for (const auto& [what, change] : changes) {
        window->OpenSetFolder(home.path() + "/data/Sequence/Demo");
        ASSERT_FALSE(window->Set().SetModified()) << what;
        change();
        EXPECT_TRUE(window->Set().SetModified()) << what;
        prompts.Answers = {TPrompts::TAnswer::Cancel};
        EXPECT_FALSE(window->FormCloseQuery()) << what;
    }
    EXPECT_EQ(prompts.Questions.size(), 2u);
}

// The whole set on one chart: every sequence in its own colour, the ones the user unticks left out.
TEST_F(Window, TheWholeSetIsDrawnOnOneChartEachSequenceInItsColour) {
    ASSERT_NE(window->WholeSet1, nullptr);
    int total = 0;
    for (int i = 0; i < window->Set().Count(); ++i) total += window->Set().Sequence(i).NbQuadripole;
    bool seen = false;
    OnNextModal([&](QWidget* w) {
        auto* d = qobject_cast<TSetChartFrm*>(w);
        ASSERT_NE(d, nullptr);
        seen = true;
        EXPECT_EQ(d->SequenceLst->count(), window->Set().Count());
        EXPECT_EQ(d->TGraphReportFrame1->PointCount(), total);
        const QString legend = d->TGraphReportFrame1->LegendText();
        for (int row = 0; row < d->SequenceLst->count(); ++row) {
            EXPECT_TRUE(legend.contains(d->SequenceLst->item(row)->text().toHtmlEscaped()))
                << d->SequenceLst->item(row)->text().toStdString();
            EXPECT_TRUE(legend.contains(TGraphReportFrame::SetColour(row).name())) << row;
        }
        // Only the first two: their points, their colours as before.
        d->ShowRows({0, 1});
        EXPECT_EQ(d->TGraphReportFrame1->PointCount(),
                  window->Set().Sequence(0).NbQuadripole + window->Set().Sequence(1).NbQuadripole);
        EXPECT_TRUE(d->TGraphReportFrame1->LegendText().contains(TGraphReportFrame::SetColour(1).name()));
        EXPECT_FALSE(d->TGraphReportFrame1->LegendText().contains(TGraphReportFrame::SetColour(2).name()));
        // Unticking by hand redraws too.
        d->SequenceLst->item(1)->setCheckState(Qt::Unchecked);
        EXPECT_EQ(d->TGraphReportFrame1->PointCount(), window->Set().Sequence(0).NbQuadripole);
        d->close();
    });
    window->WholeSet1->trigger();
    EXPECT_TRUE(seen);
}

// The sets opened and saved last are offered again, newest first, and the last one is reopened at
// start when the user asked for it.
TEST_F(Window, RecentSetsAreOfferedAndTheLastOneReopenedWhenAsked) {
    const QString demo = QDir::cleanPath(home.path() + "/data/Sequence/Demo");
    ASSERT_EQ(window->RecentSets(), QStringList{demo});
    prompts.Folders = {home.path() + "/data/Sequence/Copy"};
    window->Saveas1Click();
    const QString copy = QDir::cleanPath(home.path() + "/data/Sequence/Copy");
    EXPECT_EQ(window->RecentSets(), QStringList({copy, demo}));
    QList<QAction*> items = window->RecentSetsMenu->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text(), "&1 Copy");
    EXPECT_EQ(items[1]->text(), "&2 Demo");
    // A recent set asks about unsaved changes first, like Open.
    window->Memo1->setPlainText("changed");
    prompts.Answers = {TPrompts::TAnswer::Cancel};
    items[1]->trigger();
    EXPECT_EQ(window->GroupBox4->title(), "Copy");
    prompts.Answers = {TPrompts::TAnswer::Discard};
    items[1]->trigger();
    EXPECT_EQ(window->GroupBox4->title(), "Demo");
    EXPECT_EQ(window->RecentSets().first(), demo);
    // At the next start: nothing reopened unless asked for.
    window->ReopenLastSet1->setChecked(false);
    {
        TMainFrm next(prompts, *store, home.path() + "/data/");
        next.ReopenLastSet();
        EXPECT_EQ(next.Set().Count(), 0);
        next.ReopenLastSet1->setChecked(true);
    }
    TMainFrm next(prompts, *store, home.path() + "/data/");
    EXPECT_TRUE(next.ReopenLastSet1->isChecked());
    next.ReopenLastSet();
    EXPECT_EQ(next.GroupBox4->title(), "Demo");
    EXPECT_EQ(next.Set().Count(), window->Set().Count());
    // A set folder gone since is said so and leaves the list.
    ASSERT_TRUE(QDir(copy).removeRecursively());
    next.OpenRecentSet(copy);
    EXPECT_EQ(prompts.Messages.back(), QString(Msg::SetFolderGone).arg(copy));
    EXPECT_EQ(next.RecentSets(), QStringList{demo});
}

TEST_F(Window, TheUsualShortcutsReachTheirActions) {
    EXPECT_EQ(window->OpenSeq->shortcut(), QKeySequence(QKeySequence::Open));
    EXPECT_EQ(window->SaveSeq->shortcut(), QKeySequence(QKeySequence::Save));
    EXPECT_EQ(window->Saveas1->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    EXPECT_EQ(window->Quit1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    Show();
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);  // Open: the folder chooser, cancelled
    EXPECT_EQ(prompts.FolderStarts.size(), 1u);
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);  // Save as, cancelled
    EXPECT_EQ(prompts.FolderStarts.size(), 2u);
    QTest::keyClick(window.get(), Qt::Key_F1);
    EXPECT_EQ(help.Topics, std::vector<int>{100});
    // Every menu item says what it does in the status bar, and has its Alt letter.
    for (QAction* a : window->findChildren<QAction*>()) {
        if (a->isSeparator() || a->text().isEmpty() || a->menu() != nullptr || a->data().toInt() == 44 ||
            a->data().toInt() == 32 || a->data().toInt() == 9)
            continue;
        EXPECT_TRUE(a->text().contains('&')) << a->text().toStdString();
    }
}

TEST_F(Window, F1OpensTheHelpOfTheDialogInFront) {
    Show();
    OnNextModal([](QWidget* d) {
        QTest::keyClick(d, Qt::Key_F1);
        d->close();
    });
    window->Configuration1Click();
    EXPECT_EQ(help.Topics, std::vector<int>{1200});
}

TEST_F(Window, FitsALaptopScreenAtAScaleOfOneAndAHalf) {
    // 1366 x 768 at 1.5 leaves about 910 x 480 pixels for a window below the desktop's panels.
    const QSize least = window->minimumSizeHint();
    EXPECT_LE(least.width(), 900);
    EXPECT_LE(least.height(), 480);
}

TEST_F(Window, TheSpeedButtonsOfTheSetAreNeverSqueezed) {
    Show();
    for (QToolButton* b :
         {window->NewSeqBtn, window->ImportSeqBtn, window->ModifySeqBtn, window->DeleteSeqBtn})
        EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
}

class FolderChooser : public ::testing::Test {
   protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkdir("Existing"));
        QFile file(dir.path() + "/notes.txt");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    std::optional<QString> Choose(const QString& typed) {
        OnNextModal([typed](QWidget* w) {
            auto* d = qobject_cast<TFolderDialog*>(w);
            ASSERT_NE(d, nullptr);
            d->selectFile(typed);
            d->accept();
            if (d->isVisible()) d->reject();  // refused: the chooser stayed open
        });
        return prompts.ChooseFolder("Export into folder", dir.path(), true);
    }
    QTemporaryDir dir;
    TQtPrompts prompts;
};

TEST_F(FolderChooser, AnExistingFolderIsTakenAsItIs) {
    auto chosen = Choose(dir.path() + "/Existing");
    ASSERT_TRUE(chosen);
    EXPECT_EQ(*chosen, QDir::cleanPath(dir.path() + "/Existing"));
}

TEST_F(FolderChooser, ANewNameIsANewFolderAndAFileIsNoFolder) {
    auto fresh = Choose(dir.path() + "/Fresh");
    ASSERT_TRUE(fresh);
    EXPECT_EQ(*fresh, QDir::cleanPath(dir.path() + "/Fresh"));
    EXPECT_FALSE(Choose(dir.path() + "/notes.txt"));
}

TEST_F(FolderChooser, InsideAFolderChooseTakesThatFolder) {
    OnNextModal([this](QWidget* w) {
        auto* d = qobject_cast<TFolderDialog*>(w);
        ASSERT_NE(d, nullptr);
        d->setDirectory(dir.path() + "/Existing");
        QCoreApplication::processEvents();
        QPushButton* choose = d->AcceptButton();
        ASSERT_NE(choose, nullptr);
        EXPECT_EQ(choose->text(), "Choose");
        EXPECT_TRUE(choose->isEnabled());
        choose->click();
        if (d->isVisible()) d->reject();
    });
    auto chosen = prompts.ChooseFolder("Export into folder", dir.path(), true);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(*chosen, QDir::cleanPath(dir.path() + "/Existing"));
}

}  // namespace

namespace {

TEST_F(Window, ReciprocalsAndTheIpOrderAddNewSequences) {
    window->ShowSequence(0);
    const TSequence& first = window->Set().Sequence(0);
    const int count = window->Set().Count(), quads = first.NbQuadripole;
    const std::string name = first.Name.Get();
    window->AppendReciprocals1->trigger();
    ASSERT_EQ(window->Set().Count(), count + 1);
    const TSequence& both = window->Set().Sequence(count);
    EXPECT_EQ(both.Name.Get(), name + " rec");
    EXPECT_GT(both.NbQuadripole, quads);
    EXPECT_LE(both.NbQuadripole, 2 * quads);
    EXPECT_EQ(window->SequenceNameLbl->text(), QString::fromStdString(name + " rec"))
        << "the new one is shown";

    window->ShowSequence(count);
    window->OrderForIp1->trigger();
    ASSERT_EQ(window->Set().Count(), count + 2);
    EXPECT_EQ(window->Set().Sequence(count + 1).NbQuadripole, both.NbQuadripole);
    ASSERT_FALSE(prompts.Messages.empty());
    EXPECT_TRUE(prompts.Messages.back().contains("after")) << prompts.Messages.back().toStdString();
    EXPECT_TRUE(window->Set().SetModified());
}

TEST_F(Window, TheFifthViewShowsMedianDepths) {
    window->ShowSequence(0);
    window->TGraphReportFrame1->ComboBox1->setCurrentIndex(4);
    EXPECT_EQ(window->TGraphReportFrame1->ViewIndex(), 4);
    EXPECT_EQ(window->TGraphReportFrame1->PointCount(), window->Set().Sequence(0).NbQuadripole);
    EXPECT_EQ(window->TGraphReportFrame1->AxisTitles().last(), "Median depth (m)");
}

}  // namespace

namespace {

TEST_F(Window, ChannelsChosenOnceGiveThePlanTheOrderAndAreKept) {
    Show();
    window->ShowSequence(0);
    const TSequence& first = window->Set().Sequence(0);
    const int readings = first.NbQuadripole;
    // One channel until configured: an injection a reading.
    EXPECT_TRUE(
        window->PlanLbl->text().startsWith(QString("1 channel: %1 injections for %1 readings").arg(readings)))
        << window->PlanLbl->text().toStdString();

    OnNextModal([](QWidget* d) {
        auto* channels = d->findChild<QSpinBox*>("ChannelsEdn");
        ASSERT_NE(channels, nullptr);
        ASSERT_NE(d->findChild<QLabel*>(), nullptr);
        bool labelled = false;
        for (QLabel* l : d->findChildren<QLabel*>()) labelled = labelled || l->buddy() == channels;
        EXPECT_TRUE(labelled) << "the channels have their label as buddy";
        channels->setValue(8);
        qobject_cast<TConfigurationFrm*>(d)->OkBtnClick();
    });
    window->Configuration1Click();
    EXPECT_EQ(window->Settings().Channels, 8);
    const TChannelPlan plan = PlanChannels(first, 8);
    const QString shown = window->PlanLbl->text();
    EXPECT_TRUE(shown.startsWith(
        QString("8 channels: %1 injections for %2 readings on %3 current dipoles (fewest %4)")
            .arg(plan.Injections)
            .arg(readings)
            .arg(plan.CurrentDipoles)
            .arg(plan.FewestInjections)))
        << shown.toStdString();
    EXPECT_EQ(window->PlanLbl->accessibleName(), shown);
    EXPECT_TRUE(window->PlanLbl->toolTip().contains("four half-periods"));

    // Reciprocals appended split the injections; the order for C channels makes a new sequence that
    // needs the fewest.
    window->AppendReciprocals1->trigger();
    const int count = window->Set().Count();
    const TSequence& both = window->Set().Sequence(count - 1);
    ASSERT_GT(CountInjections(both.Quadripoles, both.NbQuadripole, 8),
              FewestInjections(both.Quadripoles, both.NbQuadripole, 8));
    window->OrderForChannels1->trigger();
    ASSERT_EQ(window->Set().Count(), count + 1);
    const TSequence& ordered = window->Set().Sequence(count);
    EXPECT_EQ(ordered.Name.Get(), both.Name.Get() + " C8");
    EXPECT_EQ(ordered.NbQuadripole, both.NbQuadripole);
    EXPECT_EQ(CountInjections(ordered.Quadripoles, ordered.NbQuadripole, 8),
              FewestInjections(both.Quadripoles, both.NbQuadripole, 8));
    ASSERT_FALSE(prompts.Messages.empty());
    EXPECT_TRUE(prompts.Messages.back().startsWith("Injections with 8 channels: "))
        << prompts.Messages.back().toStdString();
    EXPECT_EQ(window->SequenceNameLbl->text(), QString::fromStdString(ordered.Name.Get()))
        << "the new one is shown";

    // Kept for the next run.
    prompts.Answers = {TPrompts::TAnswer::Discard};  // quit without saving the set
    ASSERT_TRUE(window->FormCloseQuery());
    EXPECT_EQ(store->value(QString(SettingsKey) + "/Channels").toInt(), 8);
}

TEST_F(Window, ExportsAndImportsTheInversionCodesFiles) {
    const QString out = home.path() + "/inv";
    const QString name = window->SequenceListBox->item(0)->text();
    const TSequence& first = window->Set().Sequence(0);
    const std::string stem = window->Set().FileStem(0);
    prompts.Items = {name};
    prompts.Folders = {out};
    window->PyGimli1->trigger();
    prompts.Items = {name};
    prompts.Folders = {out};
    window->Protocol1->trigger();
    const QString ohm = out + "/" + QString::fromStdString(stem) + ".ohm";
    const QString protocol = out + "/" + QString::fromStdString(stem) + "_protocol.dat";
    ASSERT_TRUE(QFile::exists(ohm));
    ASSERT_TRUE(QFile::exists(protocol));

    const int count = window->Set().Count();
    prompts.OpenFiles = {ohm};
    window->ImportSeqBtnClick();
    ASSERT_EQ(window->Set().Count(), count + 1);
    const TSequence& back = window->Set().Sequence(count);
    ASSERT_EQ(back.NbQuadripole, first.NbQuadripole);
    EXPECT_EQ(back.ArrayType, static_cast<int32_t>(TArrayType::NoGeometry));
    EXPECT_TRUE(prompts.TextLabels.empty()) << "a pyGIMLi file holds its positions";

    // A protocol holds none: the spacing is asked, a wrong one said so and asked again.
    prompts.OpenFiles = {protocol};
    prompts.Texts = {QString("abc"), QString("2.5")};
    window->ImportSeqBtnClick();
    ASSERT_EQ(window->Set().Count(), count + 2);
    ASSERT_EQ(prompts.TextLabels.size(), 2u);
    EXPECT_EQ(prompts.Messages.back(), Msg::NumericInvalid);
    const TSequence& placed = window->Set().Sequence(count + 1);
    EXPECT_EQ(placed.NbQuadripole, first.NbQuadripole);
    EXPECT_EQ(placed.Electrodes[2].X - placed.Electrodes[1].X, 2.5f);

    // Cancel at the spacing imports nothing.
    prompts.OpenFiles = {protocol};
    prompts.Texts = {std::nullopt};
    window->ImportSeqBtnClick();
    EXPECT_EQ(window->Set().Count(), count + 2);
}

}  // namespace

namespace {

// A line of 12 electrodes cut from the first demo sequence, its readings generated again, named `name`.
int AddSmallLine(TMainFrm& window, int array, const char* name) {
    auto seq = std::make_unique<TSequence>(window.Set().Sequence(0));
    seq->ArrayType = array;
    ApplyElectrodesUsed(*seq, ModeCreate, NoRollStart, {seq->FirstElectrode, 0, 0, 0, std::nullopt, 12});
    seq->Name.Set(name);
    TNullChartSink chart;
    GenerateSequence(*seq, ModeCreate, chart);
    const int index = window.Set().AddNewSequence(std::move(seq));
    window.RefreshList();
    return index;
}

TEST_F(Window, TheResolutionViewColoursTheCellsAndTitlesTheFigureOfMerit) {
    const int dd = AddSmallLine(*window, 0, "DD small");
    const int wenner = AddSmallLine(*window, 6, "Wenner small");
    ASSERT_GE(wenner, 0);
    window->ShowSequence(dd);
    TGraphReportFrame& chart = *window->TGraphReportFrame1;
    ASSERT_EQ(chart.ComboBox1->itemText(TGraphReportFrame::ResolutionView), "Resolution");
    chart.ComboBox1->setCurrentIndex(TGraphReportFrame::ResolutionView);
    ASSERT_GT(chart.CellCount(), 0);
    const QString title = chart.Title();
    EXPECT_TRUE(title.startsWith("DD small   Figure of merit 0.")) << title.toStdString();
    // The cells near the surface are resolved better than the deepest ones: different colours.
    QSet<QRgb> colours;
    for (int i = 0; i < chart.CellCount(); ++i) colours.insert(chart.CellColour(i).rgb());
    EXPECT_GT(colours.size(), 5);
    EXPECT_EQ(chart.SeriesPointCount(3), 12) << "the electrodes on top";
    EXPECT_EQ(chart.AxisTitles().last(), "Depth (m)");

    // Another design on the same line has its own figure; going back is the same picture.
    window->ShowSequence(wenner);
    EXPECT_TRUE(chart.Title().startsWith("Wenner small   Figure of merit 0.")) << chart.Title().toStdString();
    const auto figure = [](const QString& t) { return t.section("Figure of merit ", 1).section(' ', 0, 0); };
    EXPECT_NE(figure(chart.Title()), figure(title));
    window->ShowSequence(dd);
    EXPECT_EQ(chart.Title(), title);

    // A design the resolution cannot judge says so instead of drawing.
    auto stray = std::make_unique<TSequence>(window->Set().Sequence(dd));
    stray->Name.Set("Stray");
    stray->Quadripoles[0].A = 1999;  // not placed
    const int refused = window->Set().AddNewSequence(std::move(stray));
    window->RefreshList();
    window->ShowSequence(refused);
    EXPECT_EQ(chart.CellCount(), 0);
    EXPECT_TRUE(chart.Title().contains("No resolution: ")) << chart.Title().toStdString();
}

}  // namespace

namespace {

TOptimiseFrm* OptimiseDialog(QWidget* w, int electrodes, int readings) {
    auto* d = qobject_cast<TOptimiseFrm*>(w);
    if (d == nullptr) return nullptr;
    d->CableLst->setCurrentIndex(d->CableLst->findText("Two reels 48 x 5 m"));
    d->SpacingSpn->setValue(5);
    d->ElectrodesSpn->setValue(electrodes);
    d->ReadingsSpn->setValue(readings);
    return d;
}

TEST_F(Window, AnOptimisedSequenceJoinsTheSetAndCancelAddsNothing) {
    const int count = window->Set().Count();
    bool progressShown = false;
    OnNextModal([&](QWidget* w) {
        TOptimiseFrm* d = OptimiseDialog(w, 12, 40);
        ASSERT_NE(d, nullptr);
        d->NameEdt->setText("Opt 12");
        d->ProgressShown = [&] { progressShown = true; };
        d->OptimiseBtn->click();
    });
    window->OptimisedSequence1->trigger();
    ASSERT_EQ(window->Set().Count(), count + 1);
    const TSequence& made = window->Set().Sequence(count);
    EXPECT_EQ(made.Name.Get(), "Opt 12");
    EXPECT_EQ(made.NbQuadripole, 40);
    EXPECT_EQ(made.ArrayType, OptimisedArrayType);
    EXPECT_EQ(window->SequenceNameLbl->text(), "Opt 12") << "the new one is shown";
    EXPECT_TRUE(progressShown);
    EXPECT_TRUE(window->Set().SetModified());

    // Cancel while it runs: it stops, and nothing joins the set.
    bool cancelled = false;
    OnNextModal([&](QWidget* w) {
        TOptimiseFrm* d = OptimiseDialog(w, 24, 2000);
        ASSERT_NE(d, nullptr);
        d->NameEdt->setText("Opt 24");
        d->ProgressShown = [d, &cancelled] {
            if (cancelled) return;
            cancelled = true;
            d->CancelBtn->click();
        };
        d->OptimiseBtn->click();
    });
    window->OptimisedSequence1->trigger();
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(window->Set().Count(), count + 1);
}

}  // namespace
