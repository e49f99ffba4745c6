// The main window, its settings and the configuration dialog, with scripted prompts.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <deque>
#include <functional>

#include "app/aboutboxfrm.h"
#include "app/apppaths.h"
#include "app/configurationfrm.h"
#include "app/mainfrm.h"
#include "app/planningtools.h"
#include "app/settings.h"
#include "charts/graphreportframe.h"
#include "dialogs/cablefrm.h"
#include "link/portvirt.h"
#include "model/cable.h"
#include "model/channelplan.h"
#include "qtsupport/helpviewer.h"
#include "qtsupport/messages.h"
#include "qtsupport/prompts.h"
#include "storage/sequenceset.h"
#include "tests/app/apptestkit.h"
#include "tests/support/memorylink.h"
#include "tests/support/testclocks.h"

namespace {

class TNullHost : public TLinkHost {
   public:
    void ProcessEvents() override {}
    void SetBusyCursor(bool) override {}
    void ShowMessage(const std::string&) override {}
    bool Ask(const std::string&, const std::string&, TButtons) override { return false; }
};

class App : public ::testing::Test {
   protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        settingsFile = home.path() + "/settings.ini";
        CurrentLink.reset();
    }
    void TearDown() override { CurrentLink.reset(); }
    std::unique_ptr<QSettings> Store() {
        return std::make_unique<QSettings>(settingsFile, QSettings::IniFormat);
    }
    std::unique_ptr<TMainFrm> Window(QSettings& store) {
        return std::make_unique<TMainFrm>(prompts, store, home.path() + "/data/");
    }
    QString Key(const char* v) const { return QString(SettingsKey) + "/" + v; }

    QTemporaryDir home;
    QString settingsFile;
    TScriptedPrompts prompts;
};

TEST_F(App, FirstRunDefaultsAndTheSevenValuesWrittenAtClose) {
    auto store = Store();
    auto w = Window(*store);
    EXPECT_EQ(w->windowTitle(), "Teravox II");
    for (QToolButton* b : {w->NewSeqBtn, w->ModifySeqBtn, w->ImportSeqBtn, w->DeleteSeqBtn})
        EXPECT_TRUE(b->isEnabled());
    EXPECT_EQ(w->TabSeparateur(), 32);
    EXPECT_TRUE(w->Space->isChecked());
    EXPECT_EQ(w->PortNumVarnel(), 1);
    EXPECT_EQ(w->PortNumModem(), 3);
    for (const char* f : {"Varnel", "Cable", "Sequence"})
        EXPECT_TRUE(QDir(home.path() + "/data/" + f).exists()) << f;
    EXPECT_FALSE(w->TGraphReportFrame1->isEnabled());
    EXPECT_FALSE(w->UpLoadLbl->isEnabled());
    EXPECT_FALSE(w->StopUpLoadBtn->isEnabled());
    EXPECT_TRUE(w->FormCloseQuery());
    store->sync();
    QSettings back(settingsFile, QSettings::IniFormat);
    EXPECT_EQ(back.value(Key("TabSeparateur")).toInt(), 32);
    EXPECT_EQ(back.value(Key("PortNumVarnel")).toInt(), 1);
    EXPECT_EQ(back.value(Key("PortNumModem")).toInt(), 3);
    for (const char* v : {"New", "Modify", "Import", "Delete"}) EXPECT_EQ(back.value(Key(v)).toInt(), 1) << v;
    EXPECT_EQ(back.value(QString(DalvexKey) + "/TeravoxII").toString(), home.path() + "/data/");
    EXPECT_TRUE(prompts.Questions.empty());
}

TEST_F(App, StoredSeparatorOf59IsSpaceAndWrittenBackAs32) {
    {
        auto store = Store();
        store->setValue(Key("TabSeparateur"), 59);
        store->setValue(Key("Delete"), 0);
        store->setValue(Key("PortNumVarnel"), 2);
    }
    auto store = Store();
    auto w = Window(*store);
    EXPECT_EQ(w->TabSeparateur(), 32);
    EXPECT_TRUE(w->Space->isChecked());
    EXPECT_FALSE(w->DeleteSeqBtn->isEnabled());
    EXPECT_EQ(w->PortNumVarnel(), 2);
    w->FormCloseQuery();
    store->sync();
    EXPECT_EQ(QSettings(settingsFile, QSettings::IniFormat).value(Key("TabSeparateur")).toInt(), 32);
    EXPECT_EQ(QSettings(settingsFile, QSettings::IniFormat).value(Key("Delete")).toInt(), 0);
}

TEST_F(App, StoredChannelsOutsideOneTo64AreOne) {
    const std::pair<int, int> cases[] = {{8, 8}, {64, 64}, {0, 1}, {65, 1}, {-3, 1}};
    for (const auto& [stored, read] : cases) {
        QSettings store(settingsFile, QSettings::IniFormat);
        store.setValue(Key("Channels"), stored);
        TAppSettings s;
        EXPECT_EQ(ReadSettings(store, s), QString());
        EXPECT_EQ(s.Channels, read) << stored;
    }
}

TEST_F(App, OrderForChannelsOfAnIpSequenceCountsTheWindowInInjections) {
    TSequenceSet set;
    auto seq = std::make_unique<TSequence>();
    seq->Name.Set("Ip");
    seq->Mode = 1;
    // Dipole 1-2 read on four dipoles, then its reciprocals, each a current dipole of its own.
    const int pots[][2] = {{3, 4}, {4, 5}, {5, 6}, {6, 7}};
    int n = 0;
    for (const auto& p : pots) seq->Quadripoles[n++] = {1, 2, int16_t(p[0]), int16_t(p[1]), 0, 1, -1};
    for (const auto& p : pots) seq->Quadripoles[n++] = {int16_t(p[0]), int16_t(p[1]), 1, 2, 0, 1, -1};
    seq->NbQuadripole = n;
    ASSERT_EQ(set.AddNewSequence(std::move(seq)), 0);
    const int added = AddChannelOrderedSequence(set, 0, 4, prompts);
    ASSERT_EQ(added, 1);
    const TSequence& ordered = set.Sequence(1);
    EXPECT_EQ(ordered.Name.Get(), "Ip C4");
    EXPECT_EQ(CountInjections(ordered.Quadripoles, n, 4), 5);
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_TRUE(prompts.Messages[0].startsWith(
        "Injections with 4 channels: 5 before, 5 after. Readings whose potential "
        "electrodes carried current in the 5 injections before: "))
        << prompts.Messages[0].toStdString();
}

TEST_F(App, AValueOfTheWrongTypeStopsTheReadingThere) {
    {
        auto store = Store();
        store->setValue(Key("New"), 0);
        store->setValue(Key("Modify"), "not a number");
        store->setValue(Key("TabSeparateur"), 9);
    }
    auto store = Store();
    auto w = Window(*store);
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_FALSE(w->NewSeqBtn->isEnabled());  // read before the faulty value
    EXPECT_EQ(w->TabSeparateur(), 32);        // after it: not read
}

TEST_F(App, SeparatorItemsAreOneRadioGroup) {
    auto store = Store();
    auto w = Window(*store);
    w->Comma->trigger();
    EXPECT_EQ(w->TabSeparateur(), 44);
    w->Tabulation->trigger();
    EXPECT_EQ(w->TabSeparateur(), 9);
    EXPECT_TRUE(w->Tabulation->isChecked());
    EXPECT_FALSE(w->Comma->isChecked());
    EXPECT_FALSE(w->Space->isChecked());
}

TEST_F(App, DirectoryErrorWhenAFolderCannotBeMade) {
    QFile blocker(home.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto store = Store();
    try {
        TMainFrm w(prompts, *store, home.path() + "/file/");
        FAIL() << "started";
    } catch (const TDirectoryError& e) {
        EXPECT_STREQ(e.what(), "Directory Error");
    }
}

class AppWithDemo : public App {
   protected:
    void SetUp() override {
        App::SetUp();
        demo = QString(TERAVOX_DEMO_DIR) + "/";
        ASSERT_TRUE(QDir(demo + "Sequence/Demo").exists());
        ASSERT_TRUE(InstallDemoData(demo, home.path() + "/data/"));
    }
    QString demo;
};

TEST_F(AppWithDemo, OpensTheDemoSetAndShowsTheLastSequence) {
    auto store = Store();
    auto w = Window(*store);
    w->OpenSetFolder(home.path() + "/data/Sequence/Demo");
    ASSERT_EQ(w->SequenceListBox->count(), 6);
    EXPECT_EQ(w->GroupBox4->title(), "Demo");
    EXPECT_EQ(w->NbOfSequenceLbl->text(), "6");
    EXPECT_EQ(w->SequenceNameLbl->text(), w->SequenceListBox->item(5)->text());
    EXPECT_EQ(w->SpacingLbl->text(), "5");
    EXPECT_TRUE(w->TGraphReportFrame1->isEnabled());
    EXPECT_FALSE(w->Memo1->toPlainText().isEmpty());
    // Clicking another name shows it.
    w->SequenceListBox->setCurrentRow(0);
    w->SequenceListBoxClick();
    EXPECT_EQ(w->NbOfSequenceLbl->text(), "1");
    EXPECT_EQ(w->CableLbl->text(), "Two reels 48 x 5 m");
    EXPECT_FALSE(InstallDemoData(demo, home.path() + "/data/"));  // never over the user's data
}

// What happens to a set with an unsaved Delete when the window closes, another set is opened or a new
// one started, by the answer to the question.
enum class TDropBy { Quit, Open, New };
struct TDropCase {
    const char* Name;
    TDropBy By;
    TPrompts::TAnswer Answer;
    bool Goes;        // the operation went on
    bool SavedFirst;  // the deleted sequence's file is gone from the set folder
};

class DroppingASet : public AppWithDemo, public ::testing::WithParamInterface<TDropCase> {};

TEST_P(DroppingASet, AsksSaveDiscardOrCancel) {
    const TDropCase& c = GetParam();
    const QString folder = home.path() + "/data/Sequence/Demo";
    const QString deletedFile = folder + "/DD 5m n1-6.sqx";
    auto store = Store();
    auto w = Window(*store);
    w->OpenSetFolder(folder);
    ASSERT_FALSE(w->Set().SetModified());
    ASSERT_TRUE(QFile::exists(deletedFile));
    w->SequenceListBox->setCurrentRow(0);
    w->DeleteSeqBtnClick();
    ASSERT_EQ(w->SequenceListBox->count(), 5);
    prompts.Answers = {c.Answer};
    prompts.Folders = {folder};  // the set Open chooses: the same folder, read again
    bool went = false;
    switch (c.By) {
        case TDropBy::Quit:
            went = w->FormCloseQuery();
            break;
        case TDropBy::Open:
            w->OpenSeqClick();
            went = prompts.Folders.empty();
            break;
        case TDropBy::New:
            w->NewSeqClick();
            went = w->SequenceListBox->count() == 0;
            break;
    }
    ASSERT_EQ(prompts.Questions.size(), 1u);
    EXPECT_TRUE(prompts.Questions[0].startsWith("The set of sequences has changes that are not saved"));
    EXPECT_EQ(went, c.Goes);
    // Save writes in place: no folder chooser for a set that has a folder.
    EXPECT_EQ(prompts.FolderStarts.size(), c.By == TDropBy::Open && c.Goes ? 1u : 0u);
    EXPECT_EQ(!QFile::exists(deletedFile), c.SavedFirst);
    if (!c.Goes) {
        EXPECT_EQ(w->SequenceListBox->count(), 5);
        EXPECT_TRUE(w->Set().SetModified());
    }
    if (c.By == TDropBy::Open && c.Goes) {
        EXPECT_EQ(w->SequenceListBox->count(), c.SavedFirst ? 5 : 6);
        EXPECT_FALSE(w->Set().SetModified());  // the set just read has no changes of its own
    }
    if (c.By == TDropBy::New && c.Goes) {
        EXPECT_FALSE(w->Set().SetModified());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, DroppingASet,
    ::testing::Values(TDropCase{"QuitSave", TDropBy::Quit, TPrompts::TAnswer::Save, true, true},
                      TDropCase{"QuitDiscard", TDropBy::Quit, TPrompts::TAnswer::Discard, true, false},
                      TDropCase{"QuitCancel", TDropBy::Quit, TPrompts::TAnswer::Cancel, false, false},
                      TDropCase{"OpenSave", TDropBy::Open, TPrompts::TAnswer::Save, true, true},
                      TDropCase{"OpenDiscard", TDropBy::Open, TPrompts::TAnswer::Discard, true, false},
                      TDropCase{"OpenCancel", TDropBy::Open, TPrompts::TAnswer::Cancel, false, false},
                      TDropCase{"NewSave", TDropBy::New, TPrompts::TAnswer::Save, true, true},
                      TDropCase{"NewDiscard", TDropBy::New, TPrompts::TAnswer::Discard, true, false},
                      TDropCase{"NewCancel", TDropBy::New, TPrompts::TAnswer::Cancel, false, false}),
    [](const ::testing::TestParamInfo<TDropCase>& i) { return std::string(i.param.Name); });

TEST_F(AppWithDemo, SavingASetWithoutFolderAsksForOneAndCancelKeepsTheWindow) {
    auto store = Store();
    auto w = Window(*store);
    w->OpenSetFolder(home.path() + "/data/Sequence/Demo");
    w->Set().MarkModified();
    prompts.Answers = {TPrompts::TAnswer::Discard};
    w->NewSeqClick();
    ASSERT_EQ(w->SequenceListBox->count(), 0);
    w->Memo1->setPlainText("Survey of the north field");
    EXPECT_TRUE(w->Set().SetModified());
    // Save on a set without folder is Save as; cancelling its chooser cancels the close.
    prompts.Answers = {TPrompts::TAnswer::Save};
    EXPECT_FALSE(w->FormCloseQuery());
    EXPECT_EQ(prompts.FolderStarts.size(), 1u);
    // A folder chosen: written there, and the window closes.
    prompts.Answers = {TPrompts::TAnswer::Save};
    prompts.Folders = {home.path() + "/data/Sequence/North"};
    EXPECT_TRUE(w->FormCloseQuery());
    EXPECT_TRUE(QFile::exists(home.path() + "/data/Sequence/North/Comment.Txt"));
    store->sync();
    EXPECT_TRUE(QSettings(settingsFile, QSettings::IniFormat).contains(Key("PortNumModem")));
}

TEST_F(AppWithDemo, ExportsEachChosenSequenceIntoTheFolderChosenAfterIt) {
    auto store = Store();
    auto w = Window(*store);
    w->OpenSetFolder(home.path() + "/data/Sequence/Demo");
    const QString first = w->SequenceListBox->item(0)->text(), third = w->SequenceListBox->item(2)->text();
    const QString out1 = home.path() + "/out/new", out2 = home.path() + "/out2";
    prompts.Items = {first, third};  // then Quit
    prompts.Folders = {out1, out2};
    w->Pelmar1Click();
    ASSERT_EQ(prompts.FolderStarts.size(), 2u);
    EXPECT_EQ(prompts.FolderStarts[0], w->ProgramFolder);
    EXPECT_EQ(prompts.FolderStarts[1], out1);  // the folder chosen last
    const QString stem1 = QString::fromStdString(w->Set().FileStem(0)),
                  stem3 = QString::fromStdString(w->Set().FileStem(2));
    for (const char* end : {"_Quad.txt", "_Coor.txt", ".cfg"}) {
        EXPECT_TRUE(QFile::exists(out1 + "/" + stem1 + end)) << end;
        EXPECT_TRUE(QFile::exists(out2 + "/" + stem3 + end)) << end;
    }
    ASSERT_EQ(prompts.ItemLists.size(), 3u);
    EXPECT_EQ(prompts.ItemLists[0].size(), 6);
    EXPECT_FALSE(prompts.ItemLists[1].contains(first));
    EXPECT_EQ(prompts.ItemLists[2].size(), 4);
    EXPECT_FALSE(w->Set().SetModified());
}

TEST_F(AppWithDemo, AnExportFolderThatCannotBeMadeIsAskedAgain) {
    QFile blocker(home.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto store = Store();
    auto w = Window(*store);
    w->OpenSetFolder(home.path() + "/data/Sequence/Demo");
    prompts.Items = {w->SequenceListBox->item(0)->text()};
    prompts.Folders = {home.path() + "/file/sub"};  // then Cancel: the whole export ends
    w->Spreadsheet1Click();
    EXPECT_EQ(prompts.FolderStarts.size(), 2u);
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_EQ(prompts.Messages[0], Msg::CreateNewDirectory);
    EXPECT_EQ(prompts.ItemLists.size(), 1u);
}

TEST_F(AppWithDemo, SeqExportAsksTheFileFirstThenWritesTheChosenSequencesAllOrNothing) {
    auto store = Store();
    auto w = Window(*store);
    w->OpenSetFolder(home.path() + "/data/Sequence/Demo");
    w->Seq1Click();  // Cancel at the file: no sequence is offered
    EXPECT_TRUE(prompts.ItemLists.empty());

    const QString target = home.path() + "/notv1.seq";
    QFile f(target);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a sequence file of the first version");
    f.close();
    prompts.OpenFiles = {target};
    prompts.Items = {w->SequenceListBox->item(0)->text(), w->SequenceListBox->item(1)->text()};
    w->Seq1Click();
    ASSERT_EQ(prompts.ItemLists.size(), 3u);  // two chosen, each leaving the list, then Quit
    EXPECT_EQ(prompts.ItemLists[1].size(), prompts.ItemLists[0].size() - 1);
    ASSERT_EQ(prompts.Messages.size(), 1u);  // one refusal for the whole export, naming the file
    EXPECT_TRUE(prompts.Messages[0].contains("notv1.seq")) << prompts.Messages[0].toStdString();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("not a sequence file of the first version"));
}

TEST(RecordText, UnicodeWhenItIsElseOneByteCharacters) {
    EXPECT_EQ(RecordText("Tranch\xC3\xA9"
                         "e"),
              QString::fromUtf8("Tranch\xC3\xA9"
                                "e"));
    EXPECT_EQ(RecordText("Tranch\xE9"
                         "e"),
              QString::fromUtf8("Tranch\xC3\xA9"
                                "e"));
    EXPECT_EQ(RecordText("DD 5m"), "DD 5m");
    EXPECT_EQ(RecordText(""), "");
}

TEST_F(App, ANameInOneByteTextIsShownAndFound) {
    auto store = Store();
    auto w = Window(*store);
    auto seq = std::make_unique<TSequence>();
    seq->Name.Set(
        "Tranch\xE9"
        "e");
    w->Set().AddSequence(std::move(seq));
    w->RefreshList();
    w->ShowSequence(0);
    EXPECT_EQ(w->SequenceListBox->item(0)->text(), QString::fromUtf8("Tranch\xC3\xA9"
                                                                     "e"));
    EXPECT_EQ(w->SequenceNameLbl->text(), w->SequenceListBox->item(0)->text());
    bool opened = false;
    OnNextModal([&opened](QWidget* d) {
        opened = true;
        qobject_cast<QDialog*>(d)->reject();
    });
    w->ToolButton6Click();
    EXPECT_TRUE(opened);
}

// A link that does not open and whose prompt wait then fails, as a USB link does after Cancel: the
// upload's end command lets that error through to the window.
class TFailingLink : public TMemoryLink {
   public:
    using TMemoryLink::TMemoryLink;
    int32_t Connect(int32_t, int32_t, int32_t, const std::string&, bool, const std::string&) override {
        return 0;
    }
    bool WaitPrompt() override { throw std::runtime_error("Wait error"); }
};

TEST_F(App, AnErrorInALinkCommandIsShownAndTheWindowGoesOn) {
    auto store = Store();
    auto w = Window(*store);
    auto seq = std::make_unique<TSequence>();
    seq->Name.Set("Line1");
    w->Set().AddSequence(std::move(seq));
    w->RefreshList();
    struct TYesHost : TNullHost {
        int Asked = 0;
        bool Ask(const std::string&, const std::string&, TButtons) override { return ++Asked > 0; }
    } host;
    TManualClock clock;
    CurrentLink = std::make_unique<TFailingLink>(host, clock);
    for (int round = 0; round < 2; ++round) {  // the second shows that no command is left running
        EXPECT_NO_THROW(w->VarnelTarskOptra1Click());
        EXPECT_EQ(host.Asked, round + 1);
        ASSERT_EQ(prompts.Messages.size(), static_cast<std::size_t>(round + 1));
        EXPECT_EQ(prompts.Messages.back(), "Wait error");
        EXPECT_FALSE(w->StopUpLoadBtn->isEnabled());
    }
}

TEST_F(App, ViewChangeWithoutASequenceAsksForOne) {
    auto store = Store();
    auto w = Window(*store);
    w->TGraphReportFrame1->ComboBox1->setCurrentIndex(2);
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_EQ(prompts.Messages[0], Msg::SelectValidSequence);
    // View and table buttons do nothing while no sequence is shown (a dialog would block here).
    w->ToolButton6Click();
    w->TGraphReportFrame1ToolButton7Click();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(App, ArgumentWithAFolderOffersThatFolder) {
    auto store = Store();
    auto w = Window(*store);
    w->HandleArgument("plainname.sqx");
    EXPECT_TRUE(prompts.FolderStarts.empty());
    w->HandleArgument(home.path() + "/sets/Line1/a.sqx");
    ASSERT_EQ(prompts.FolderStarts.size(), 1u);
    EXPECT_EQ(prompts.FolderStarts[0], home.path() + "/sets/Line1");
}

TEST_F(App, PortsLockOnceALinkWasConnected) {
    auto store = Store();
    auto w = Window(*store);
    // A link that connected once stays configured, even after a disconnect.
    TManualClock clock;
    TNullHost host;
    auto link = std::make_unique<TMemoryLink>(host, clock);
    link->SetState(1);
    link->Disconnect();
    CurrentLink = std::move(link);
    OnNextModal([](QWidget* d) {
        auto* c = qobject_cast<TConfigurationFrm*>(d);
        ASSERT_NE(c, nullptr);
        c->DeleteCB->setChecked(false);
        c->VarnelPortCB->setCurrentIndex(3);
        c->OkBtnClick();
    });
    w->Configuration1Click();
    EXPECT_FALSE(w->DeleteSeqBtn->isEnabled());  // buttons applied all the same
    EXPECT_EQ(w->PortNumVarnel(), 1);            // ports kept while the link is open
    ASSERT_FALSE(prompts.Messages.empty());
    EXPECT_EQ(prompts.Messages.back(), QString(Msg::PortLocked) + "\n" + Msg::PortsAtNextStart);

    // The chosen port is not lost: the dialog shows it again, and it is in force at the next start.
    OnNextModal([](QWidget* d) {
        auto* c = qobject_cast<TConfigurationFrm*>(d);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->VarnelPortCB->currentIndex(), 3);
        EXPECT_TRUE(c->LockedLbl->isVisibleTo(c));
        c->reject();
    });
    w->Configuration1Click();
    ASSERT_TRUE(w->FormCloseQuery());
    EXPECT_EQ(store->value(Key("PortNumVarnel")).toInt(), 4);
}

TEST_F(App, ConfigurationChangesPortsAndStartsTheUsbUtilityOnlyWithUsbInForce) {
    auto store = Store();
    auto w = Window(*store);
    bool started = true;
    OnNextModal([&started](QWidget* d) {
        auto* c = qobject_cast<TConfigurationFrm*>(d);
        c->VarnelPortCB->setCurrentIndex(4);  // USB
        c->ModemPortCB->setCurrentIndex(1);
        c->OkBtnClick();
        started = c->StartedKestrun();
    });
    w->Configuration1Click();
    EXPECT_FALSE(started);
    EXPECT_EQ(w->PortNumVarnel(), 5);
    EXPECT_EQ(w->PortNumModem(), 2);
    EXPECT_TRUE(prompts.Messages.empty());
    EXPECT_LE(w->PortImageIndex(), 1);  // USB picture, with or without adapter
    OnNextModal([&started](QWidget* d) {
        auto* c = qobject_cast<TConfigurationFrm*>(d);
        c->OkBtnClick();
        started = c->StartedKestrun();
    });
    w->Configuration1Click();
    EXPECT_TRUE(started);
}

TEST_F(App, PortPictureFollowsThePort) {
    auto store = Store();
    store->setValue(Key("PortNumVarnel"), 3);
    auto w = Window(*store);
    EXPECT_EQ(w->ShowPortImage(true), 4);  // Com 3
    ASSERT_TRUE(CurrentLink);
}

TEST(Help, EveryMapIdHasItsPage) {
    for (int id : HelpMapIds) {
        QString page = ShowHelpTopic(id);
        EXPECT_TRUE(page.endsWith(QString::number(id) + ".html")) << id;
        QFile f(page);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << id;
        EXPECT_GT(f.size(), 300) << id;
    }
    EXPECT_TRUE(ShowHelpTopic(4242).isEmpty());
}

TEST(Help, TheHelpWindowBelongsToTheWindowItWasAskedFrom) {
    QWidget main;
    ShowHelpTopic(100, &main);
    ASSERT_NE(HelpWindow(), nullptr);
    EXPECT_EQ(HelpWindow()->parentWidget(), &main);  // it goes when the main window goes
    QDialog dialog(&main);
    QWidget* ownerWhileOpen = nullptr;
    OnNextModal([&](QWidget* d) {
        ShowHelpTopic(1200, d);
        ownerWhileOpen = HelpWindow()->parentWidget();
        QCoreApplication::processEvents();
        ASSERT_NE(HelpWindow()->windowHandle(), nullptr);
        EXPECT_TRUE(HelpWindow()->windowHandle()->isVisible());
        EXPECT_FALSE(QGuiApplication::modalWindow() != nullptr &&
                     QGuiApplication::modalWindow() != HelpWindow()->windowHandle()->transientParent() &&
                     QGuiApplication::modalWindow() != HelpWindow()->windowHandle());
        d->close();
    });
    dialog.exec();
    EXPECT_EQ(ownerWhileOpen, &dialog);  // a modal dialog does not block it
    ASSERT_NE(HelpWindow(), nullptr);
    EXPECT_EQ(HelpWindow()->parentWidget(), &main);  // and it outlives the dialog
    HelpWindow()->close();
}

TEST(Prompts, TheSequenceChooserTakesASelectedNameOnly) {
    QWidget owner;
    TQtPrompts prompts(&owner);
    OnNextModal([](QWidget* d) {
        EXPECT_EQ(d->windowTitle(), "Select a sequence ");
        auto* list = d->findChild<QListWidget*>();
        QPushButton* ok = nullptr;
        QPushButton* quit = nullptr;
        for (auto* b : d->findChildren<QPushButton*>()) (b->text() == "OK" ? ok : quit) = b;
        ASSERT_NE(ok, nullptr);
        ASSERT_NE(quit, nullptr);
        EXPECT_EQ(quit->text(), "Quit");
        ok->click();  // nothing selected: the dialog stays
        EXPECT_TRUE(d->isVisible());
        list->setCurrentRow(1);
        ok->click();
    });
    EXPECT_EQ(prompts.ChooseItem("Select a sequence ", {"Line1", "Line2"}, false), QString("Line2"));
    OnNextModal([](QWidget* d) {
        for (auto* b : d->findChildren<QPushButton*>())
            if (b->text() == "Quit") b->click();
    });
    EXPECT_EQ(prompts.ChooseItem("Select a sequence ", {"Line1"}, false), std::nullopt);
}

TEST(About, VersionText) {
    EXPECT_EQ(TAboutBoxFrm::VersionText(5, 6, 0), "V05.06.00");
    TAboutBoxFrm about;
    EXPECT_TRUE(about.Version->text().startsWith("V01."));
}

TEST_F(App, TheCableMenuOpensTheEditorNewOrOnTheChosenFile) {
    auto store = Store();
    auto w = Window(*store);
    OnNextModal([](QWidget* d) {
        auto* editor = qobject_cast<TCableFrm*>(d);
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->CableEdt->text(), "NoName");
        EXPECT_TRUE(editor->CloseBtn->isHidden());
        editor->CancelBtn->click();
    });
    w->NewCableClick();
    EXPECT_EQ(prompts.Messages, std::vector<QString>{Msg::CreateSegmentsOrg});

    TCable cable;
    cable.CableName.Set("Line 3");
    WriteCableFile((w->CableFolder + "Line 3.cbl").toStdString(), cable);
    prompts.OpenFiles = {w->CableFolder + "Line 3.cbl"};
    OnNextModal([](QWidget* d) {
        auto* editor = qobject_cast<TCableFrm*>(d);
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->CableEdt->text(), "Line 3");
        editor->CancelBtn->click();
    });
    w->ModifyCableClick();
    w->ModifyCableClick();  // the file chooser cancelled: nothing opens
}

TEST_F(App, ACableFileThatCannotBeReadOpensNoEditor) {
    auto store = Store();
    auto w = Window(*store);
    prompts.OpenFiles = {w->CableFolder + "gone.cbl"};
    bool opened = false;
    QTimer::singleShot(0, [&opened] { opened = QApplication::activeModalWidget() != nullptr; });
    w->ModifyCableClick();
    QApplication::processEvents();
    EXPECT_FALSE(opened);
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_TRUE(prompts.Messages[0].contains("gone.cbl"));
}

TEST_F(App, WebLinksOpenTheMakersPages) {
    auto store = Store();
    auto w = Window(*store);
    QStringList opened;
    QObject::connect(w.get(), &TMainFrm::urlOpened, [&opened](const QString& u) { opened << u; });
    w->Homepage1Click();
    w->Productsupport1Click();
    w->Lastupdate1Click();
    ASSERT_EQ(opened.size(), 3);
    EXPECT_TRUE(opened[1].endsWith("/Support/support.html"));
    EXPECT_TRUE(opened[2].endsWith("/Support/Download/Download_geophy.html"));
    EXPECT_TRUE(opened[0].contains(".example"));
}

}  // namespace
