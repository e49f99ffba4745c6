// The upload and modem menus of the main window, end to end: the window's own link on a serial
// device path that is a pseudo-terminal, with the virtual instrument on the far side.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/apppaths.h"
#include "app/mainfrm.h"
#include "app/settings.h"
#include "dialogs/numerofrm.h"
#include "link/instrumentimage.h"
#include "link/linktexts.h"
#include "link/portvirt.h"
#include "link/ptyinstrument.h"
#include "qtsupport/messages.h"
#include "tests/app/apptestkit.h"
#include "tests/link/ptytestkit.h"

namespace {

class DesktopLink : public ::testing::Test {
   protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        CurrentLink.reset();
        ASSERT_TRUE(InstallDemoData(QString(TERAVOX_DEMO_DIR) + "/", home.path() + "/data/"));
    }
    void TearDown() override {
        window.reset();
        CurrentLink.reset();
        if (vi) vi->Stop();
    }
    // The instrument on "Com `com`", the window reading its settings, the demo set open.
    void Start(TVirtualInstrument::TOptions o, int com, int varnelPort, int modemPort, int wireBaud = 0) {
        vi = std::make_unique<TRunningInstrument>(std::move(o), wireBaud);
        store = std::make_unique<QSettings>(home.path() + "/settings.ini", QSettings::IniFormat);
        store->setValue(QString(SettingsKey) + "/PortNumVarnel", varnelPort);
        store->setValue(QString(SettingsKey) + "/PortNumModem", modemPort);
        store->setValue(QString(SettingsKey) + QString("/ComDevice%1").arg(com),
                        QString::fromStdString(vi->Pty().Path()));
        window = std::make_unique<TMainFrm>(prompts, *store, home.path() + "/data/");
        window->OpenSetFolder(home.path() + "/data/Sequence/Demo");
        ASSERT_GT(window->SequenceListBox->count(), 1);
    }
    QString Name(int row) const { return window->SequenceListBox->item(row)->text(); }
    // Modem Connect, dialling a number typed in the dial directory.
    void ConnectThroughTheDirectory() {
        OnNextModal([](QWidget* w) {
            auto* directory = qobject_cast<TNumeroFrm*>(w);
            ASSERT_NE(directory, nullptr);
            directory->DialCB->setEditText("Lab station 0123456789");
            directory->OkBtn->click();
        });
        window->ModemConnect->trigger();
    }
    static TVirtualInstrument::TOptions Family2() {
        TVirtualInstrument::TOptions o;
        o.Family = 2;
        o.Version = 0x20000003;
        return o;
    }

    QTemporaryDir home;
    TScriptedPrompts prompts;
    std::unique_ptr<TRunningInstrument> vi;
    std::unique_ptr<QSettings> store;
    std::unique_ptr<TMainFrm> window;
};

TEST_F(DesktopLink, OptraUploadSendsTheChosenSequencesAndClosesThePanel) {
    Start(Family2(), 2, 2, 3);
    // The instrument's menu, the cable, then the name of the second sequence that the image cuts.
    prompts.Answers = {TPrompts::TAnswer::Ok, TPrompts::TAnswer::Ok, TPrompts::TAnswer::Ok};
    prompts.Items = {Name(0), Name(2)};  // then Cancel
    window->UploadOptra->trigger();
    ASSERT_EQ(prompts.Questions.size(), 3u);
    EXPECT_TRUE(prompts.Questions[1].contains("< COM 2 >")) << prompts.Questions[1].toStdString();
    EXPECT_TRUE(prompts.Questions[2].contains(Name(2))) << prompts.Questions[2].toStdString();
    vi->Stop();
    const auto& images = vi->Instrument().Images();
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].Parts[0], BuildFamily2Header(window->Set().Sequence(0), 1));
    EXPECT_EQ(images[1].Parts[3], BuildQuadripoleTable(window->Set().Sequence(2)));
    ASSERT_GE(prompts.Messages.size(), 2u);
    EXPECT_EQ(prompts.Messages[0], Name(0) + " correctly loaded  On Memory 1");
    EXPECT_EQ(prompts.Messages[1], Name(2) + " correctly loaded  On Memory 2");
    // The second chooser no longer offers what was sent.
    ASSERT_GE(prompts.ItemLists.size(), 2u);
    EXPECT_TRUE(prompts.ItemLists[0].contains(Name(0)));
    EXPECT_FALSE(prompts.ItemLists[1].contains(Name(0)));
    EXPECT_FALSE(window->StopUpLoadBtn->isEnabled());
    EXPECT_FALSE(window->ProgressBar->isVisible());
    EXPECT_FALSE(window->Set().SetModified());  // uploading changes nothing in the set
}

TEST_F(DesktopLink, ANameInOneByteTextIsUploadedAsItStands) {
    Start(Family2(), 2, 2, 3);
    const std::string name =
        "Tranch\xE9"
        "e";
    window->Set().AddSequence(std::make_unique<TSequence>(Numbered(name, 48, 100)), false);
    window->RefreshList();
    const QString shown = QString::fromUtf8(
        "Tranch\xC3\xA9"
        "e");
    prompts.Answers = {TPrompts::TAnswer::Ok, TPrompts::TAnswer::Ok};
    prompts.Items = {shown};
    window->UploadOptra->trigger();
    vi->Stop();
    ASSERT_EQ(vi->Instrument().Images().size(), 1u);
    EXPECT_EQ(vi->Instrument().Images()[0].Name.substr(0, name.size()), name);
    ASSERT_FALSE(prompts.Messages.empty());
    EXPECT_EQ(prompts.Messages.back(), shown + " correctly loaded  On Memory 1");
}

TEST_F(DesktopLink, TheStopButtonEndsATransferPromptly) {
    Start(Family2(), 1, 1, 3);
    window->Set().AddSequence(std::make_unique<TSequence>(Numbered("Long", 200, 16000)));
    window->RefreshList();
    prompts.Answers = {TPrompts::TAnswer::Ok, TPrompts::TAnswer::Ok};
    prompts.Items = {"Long"};
    bool clicked = false;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!clicked && vi->Pty().BytesIn() > 40000) {
            EXPECT_TRUE(window->StopUpLoadBtn->isEnabled());
            clicked = true;
            window->StopUpLoadBtn->click();
        }
    });
    watch.start();
    QElapsedTimer t;
    t.start();
    window->UploadOptra->trigger();
    watch.stop();
    EXPECT_TRUE(clicked);
    EXPECT_LT(t.elapsed(), 10000);
    ASSERT_FALSE(prompts.Messages.empty());
    EXPECT_EQ(prompts.Messages.back(), QString::fromStdString(LinkText::CommunicationStopped));
    EXPECT_FALSE(window->StopUpLoadBtn->isEnabled());
    vi->Stop();
    EXPECT_TRUE(vi->Instrument().Images().empty());
}

// Runs `act` once, from the event pump of the transfer, when the instrument has taken `bytes`.
class TOnceAfterBytes {
   public:
    TOnceAfterBytes(TRunningInstrument& vi, uint64_t bytes, std::function<void()> act) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this, &vi, bytes, act] {
            if (!Done && vi.Pty().BytesIn() > bytes) {
                Done = true;
                act();
            }
        });
        timer_.start();
    }
    bool Done = false;

   private:
    QTimer timer_;
};

TEST_F(DesktopLink, ClosingTheWindowDuringATransferStopsItThenCloses) {
    Start(Family2(), 1, 1, 3);
    window->Set().AddSequence(std::make_unique<TSequence>(Numbered("Long", 200, 16000)), false);
    window->RefreshList();
    window->show();
    prompts.Answers = {TPrompts::TAnswer::Ok, TPrompts::TAnswer::Ok};
    prompts.Items = {"Long"};
    TOnceAfterBytes closer(*vi, 40000, [this] { window->close(); });
    QElapsedTimer t;
    t.start();
    window->UploadOptra->trigger();
    EXPECT_TRUE(closer.Done);
    EXPECT_LT(t.elapsed(), 10000);
    EXPECT_TRUE(window->isVisible());  // not under the running command
    ASSERT_FALSE(prompts.Messages.empty());
    EXPECT_EQ(prompts.Messages.back(), QString::fromStdString(LinkText::CommunicationStopped));
    QElapsedTimer wait;
    wait.start();
    while (window->isVisible() && wait.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(window->isVisible());  // then it closes, the settings written
    EXPECT_EQ(CurrentLink, nullptr);
    store->sync();
    EXPECT_TRUE(QSettings(home.path() + "/settings.ini", QSettings::IniFormat)
                    .contains(QString(SettingsKey) + "/PortNumModem"));
}

TEST_F(DesktopLink, TheWindowActivatedAgainWhileConnectingKeepsItsLink) {
    Start(Family2(), 2, 2, 3);
    prompts.Answers = {TPrompts::TAnswer::Ok, TPrompts::TAnswer::Ok, TPrompts::TAnswer::Ok};  // name cut: Ok
    prompts.Items = {Name(1)};
    // When the connect question closes the window becomes active again, and that reaches the
    // window while the link is still opening.
    bool activated = false;
    TPortVirt* link = nullptr;
    prompts.OnQuestion = [&](const QString& text) {
        if (!text.contains("COM 2")) return;
        link = CurrentLink.get();
        QTimer::singleShot(0, [&] {
            activated = true;
            window->ShowPortImage(true);
            EXPECT_EQ(CurrentLink.get(), link);
        });
    };
    window->UploadOptra->trigger();
    EXPECT_TRUE(activated);
    vi->Stop();
    ASSERT_EQ(vi->Instrument().Images().size(), 1u);
    EXPECT_EQ(prompts.Messages.back(), Name(1) + " correctly loaded  On Memory 1");
}

TEST_F(DesktopLink, WhatTheInstrumentWouldChangeIsAskedBeforeSendingAndCancelSendsNothing) {
    Start(Family2(), 2, 2, 3);
    ASSERT_GT(Name(2).size(), 10) << "a name longer than the family's image holds";
    prompts.Answers = {TPrompts::TAnswer::Ok, TPrompts::TAnswer::Ok, TPrompts::TAnswer::Cancel};
    prompts.Items = {Name(2)};  // Cancel at the question offers the list again; then Quit
    window->UploadOptra->trigger();
    ASSERT_EQ(prompts.Questions.size(), 3u);
    EXPECT_TRUE(prompts.Questions[2].contains(Msg::UploadAnyway)) << prompts.Questions[2].toStdString();
    EXPECT_EQ(prompts.ItemLists.size(), 2u);
    EXPECT_TRUE(prompts.ItemLists[1].contains(Name(2))) << "still offered: nothing was sent";
    vi->Stop();
    EXPECT_TRUE(vi->Instrument().Images().empty());
}

TEST_F(DesktopLink, ThePanelShowsTheUploadInProgress) {
    // Paced like a real line at 115,200 baud, so that the transfer lasts long enough to be seen.
    Start(Family2(), 2, 2, 3, 115200);
    window->show();
    window->ShowSequence(0);
    prompts.Answers = {TPrompts::TAnswer::Ok, TPrompts::TAnswer::Ok};
    prompts.Items = {Name(0)};
    bool seen = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const int value = window->ProgressBar->value(), maximum = window->ProgressBar->maximum();
        // A third to two thirds of one of the large tables.
        if (seen || !window->ProgressBar->isVisible() || maximum < 1000 || value < maximum / 3 ||
            value > 2 * maximum / 3)
            return;
        seen = true;
        // Which sequence and how far, in words.
        EXPECT_TRUE(window->ProgressBar->isTextVisible());
        EXPECT_EQ(window->ProgressBar->text(),
                  Name(0) + ": " +
                      QString::number(100 * (value - window->ProgressBar->minimum()) /
                                      std::max(1, maximum - window->ProgressBar->minimum())) +
                      "%");
        EXPECT_TRUE(window->StopUpLoadBtn->isEnabled());
        EXPECT_TRUE(window->UpLoadLbl->isEnabled());
        // TERAVOX_SCREENSHOTS=DIR keeps a picture of it for the documentation.
        const QByteArray dir = qgetenv("TERAVOX_SCREENSHOTS");
        if (!dir.isEmpty()) window->grab().save(QString::fromLocal8Bit(dir) + "/main-upload-in-progress.png");
    });
    poll.start();
    window->UploadOptra->trigger();
    EXPECT_TRUE(seen) << "the progress bar was never seen part of the way through a table";
    vi->Stop();
    EXPECT_EQ(vi->Instrument().Images().size(), 1u);
}

TEST_F(DesktopLink, ModemMenuDialsListsStartsAndHangsUp) {
    auto o = Family2();
    o.Modem = true;
    o.Stored = {"Line12", "Test"};
    o.KeepLog = true;
    Start(o, 3, 1, 3);
    EXPECT_FALSE(window->ModemView->isEnabled());
    prompts.Answers = {TPrompts::TAnswer::Ok};
    ConnectThroughTheDirectory();
    ASSERT_TRUE(window->ModemView->isEnabled());
    EXPECT_FALSE(window->ModemConnect->isEnabled());
    EXPECT_FALSE(window->ModemUpload->isEnabled());
    prompts.Items = {QString("002 Test")};
    window->ModemStart->trigger();
    ASSERT_FALSE(prompts.ItemLists.empty());
    EXPECT_EQ(prompts.ItemLists.back(), (QStringList{"001 Line12", "002 Test"}));
    window->ModemDisconnect->trigger();
    EXPECT_TRUE(window->ModemConnect->isEnabled());
    EXPECT_FALSE(window->ModemStart->isEnabled());
    vi->Stop();
    EXPECT_EQ(vi->Instrument().Started(), std::vector<int>{2});
    const auto& log = vi->Instrument().Log();
    EXPECT_NE(std::string(log.begin(), log.end()).find("ATDT0123456789\r"), std::string::npos);
}

TEST_F(DesktopLink, TheIdentificationOfASilentInstrumentSaysWhatItWaitsForUntilStop) {
    auto o = Family2();
    o.Silent = true;
    Start(o, 2, 2, 3);
    prompts.Answers = {TPrompts::TAnswer::Ok, TPrompts::TAnswer::Ok};
    prompts.Items = {Name(0)};
    QString shown;
    bool stopUsable = false;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!window->UpLoadLbl->text().contains("COM 2")) return;
        shown = window->UpLoadLbl->text();
        stopUsable = window->StopUpLoadBtn->isEnabled();
        watch.stop();
        window->StopUpLoadBtn->click();
    });
    watch.start();
    window->UploadOptra->trigger();
    EXPECT_TRUE(shown.contains("Waiting for the instrument to answer on COM 2 (" +
                               QString::fromStdString(vi->Pty().Path()) + ")"))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains("Stop ends the wait")) << shown.toStdString();
    EXPECT_TRUE(stopUsable);
    ASSERT_FALSE(prompts.Messages.empty());
    EXPECT_EQ(prompts.Messages.back(), "Communication stopped");
    EXPECT_TRUE(prompts.ItemLists.empty());  // no chooser: the instrument never answered
    // The panel is as it was before the wait.
    EXPECT_EQ(window->UpLoadLbl->text(), "Upload in progress ");
    EXPECT_FALSE(window->StopUpLoadBtn->isEnabled());
}

TEST_F(DesktopLink, ModemViewShowsTheListReceived) {
    auto o = Family2();
    o.Modem = true;
    o.Stored = {"Line12", "Test"};
    Start(o, 3, 1, 3);
    prompts.Answers = {TPrompts::TAnswer::Ok};
    ConnectThroughTheDirectory();
    ASSERT_TRUE(window->ModemView->isEnabled());
    window->ModemView->trigger();
    ASSERT_FALSE(prompts.ItemLists.empty());
    EXPECT_EQ(prompts.ItemLists.back(), (QStringList{"001 Line12", "002 Test"}));
    EXPECT_FALSE(window->StopUpLoadBtn->isEnabled());
    window->ModemDisconnect->trigger();
}

TEST_F(DesktopLink, CancellingTheDirectoryOrOkWithoutANumberDialsNothing) {
    auto o = Family2();
    o.Modem = true;
    Start(o, 3, 1, 3);
    OnNextModal([](QWidget* w) { qobject_cast<TNumeroFrm*>(w)->CancelBtn->click(); });
    window->ModemConnect->trigger();
    OnNextModal([](QWidget* w) {
        auto* directory = qobject_cast<TNumeroFrm*>(w);
        directory->DialCB->setEditText("Depot");
        directory->OkBtn->click();
    });
    window->ModemConnect->trigger();
    EXPECT_TRUE(window->ModemConnect->isEnabled());
    EXPECT_TRUE(prompts.Questions.empty());
    vi->Stop();
    EXPECT_EQ(vi->Pty().BytesIn(), 0u);
}

}  // namespace
