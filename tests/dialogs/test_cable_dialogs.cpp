// The cable set and segment dialogs and the dial directory, driven offscreen with scripted prompts.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <fstream>

#include "dialogs/cablefrm.h"
#include "dialogs/createmodifysegfrm.h"
#include "dialogs/numerofrm.h"
#include "model/cable.h"
#include "model/fileio.h"
#include "qtsupport/messages.h"
#include "storage/sequenceset.h"
#include "tests/app/apptestkit.h"

namespace {

TSegment Seg(const char* name, int first, int last, float spacing = 1.0f, bool rev = false) {
    return MakeSegment(name, first, last, spacing, rev);
}

QStringList Row(const QTableWidget* t, int row) {
    QStringList texts;
    for (int c = 0; c < t->columnCount(); ++c) texts << t->item(row, c)->text();
    return texts;
}

QStringList Names(const QTableWidget* t) {
    QStringList names;
    for (int r = 0; r < t->rowCount(); ++r) names << t->item(r, 0)->text();
    return names;
}

std::vector<std::string> NamesOf(const std::vector<TSegment>& segments) {
    std::vector<std::string> names;
    for (const TSegment& s : segments) names.push_back(s.Name.Get());
    return names;
}

void Select(QTableWidget* t, const QString& name) {
    for (int r = 0; r < t->rowCount(); ++r)
        if (t->item(r, 0)->text() == name) {
            t->selectRow(r);
            return;
        }
    ADD_FAILURE() << "no row " << name.toStdString();
}

class CableDialogs : public ::testing::Test {
   protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        QDir().mkpath(CableFolder());
        workspace.SetDecimal('.');
    }
    QString CableFolder() const { return workspace.CableFolder(); }
    std::string Folder() const { return CableFolder().toStdString(); }
    std::string LibraryFile() const { return Folder() + SegmentLibraryFileName; }
    void Library(const std::vector<TSegment>& segments) {
        WriteFileAtomic(LibraryFile(), segments.data(), segments.size() * sizeof(TSegment));
    }
    std::vector<TSegment> LibraryOnDisk() const { return ParseLibrary(ReadWholeFile(LibraryFile())); }
    QString CblFile(const TCable& c, const QString& name) {
        const QString path = CableFolder() + name + ".cbl";
        WriteCableFile(path.toStdString(), c);
        return path;
    }
    int Count(const QString& message) const {
        return static_cast<int>(std::count(prompts.Messages.begin(), prompts.Messages.end(), message));
    }
    TDialogServices Services() { return {workspace, prompts, help}; }

    QTemporaryDir home;
    TSequenceSet set;
    TWorkspace workspace{home.path() + "/data", set};
    TScriptedPrompts prompts;
    TRecordingHelp help;
};

TEST_F(CableDialogs, TheFirstOpeningCreatesTheLibraryWithOneEmptySegment) {
    TCableFrm dialog(nullptr, Services());
    EXPECT_EQ(Count(Msg::CreateSegmentsOrg), 1);
    EXPECT_EQ(QFile(QString::fromStdString(LibraryFile())).size(), 44);
    ASSERT_EQ(dialog.SegmentStG->rowCount(), 1);
    EXPECT_EQ(Row(dialog.SegmentStG, 0), (QStringList{"NoName", "0", "0", "0.00", "no"}));
    EXPECT_EQ(dialog.CableSegLst->rowCount(), 0);
    EXPECT_EQ(dialog.CableEdt->text(), "NoName");
    dialog.IncludeBtnClick();  // refills the lists: the library is there now
    EXPECT_EQ(Count(Msg::CreateSegmentsOrg), 1);
    EXPECT_TRUE(dialog.CloseBtn->isHidden());
    EXPECT_FALSE(dialog.OkBtn->isHidden());
    EXPECT_EQ(dialog.windowTitle(), "Cable");
}

TEST_F(CableDialogs, ALibrarySegmentNamedLikeOneOfTheSetIsListedAgainAfterExclude) {
    Library({Seg("S1", 1, 24), Seg("S2", 25, 48, 2.5f, true)});
    TCable c;
    c.CableName.Set("Line");
    ASSERT_EQ(IncludeSegment(c, Seg("s2", 49, 72)).Result, TIncludeResult::Included);  // letter case ignored
    TCableFrm dialog(nullptr, Services(), CblFile(c, "Line"));
    EXPECT_EQ(dialog.CableEdt->text(), "Line");
    EXPECT_EQ(Row(dialog.CableSegLst, 0), (QStringList{"s2", "49", "72", "1.00", "no"}));
    EXPECT_EQ(Names(dialog.SegmentStG), QStringList{"S1"});
    dialog.ExcludeBtnClick();  // nothing selected: nothing excluded
    EXPECT_EQ(dialog.CableSegLst->rowCount(), 1);
    dialog.CableSegLst->selectRow(0);
    dialog.ExcludeBtnClick();
    EXPECT_EQ(dialog.CableSegLst->rowCount(), 0);
    EXPECT_EQ(Names(dialog.SegmentStG), (QStringList{"S1", "S2"}));
    EXPECT_EQ(Row(dialog.SegmentStG, 1), (QStringList{"S2", "25", "48", "2.50", "yes"}));
    EXPECT_EQ(SegmentCount(dialog.Cable()), 0);
}

TEST_F(CableDialogs, IncludeFollowsTheOverlapRuleAndShowsTheClashBox) {
    Library({Seg("S1", 1, 24), Seg("S2", 1, 24), Seg("S2rev", 1, 24, 1.0f, true), Seg("S3", 25, 48)});
    TCableFrm dialog(nullptr, Services());
    struct TStep {
        const char* Name;
        int SegmentsAfter;
        const char* Message;  // nullptr: none
    };
    const TStep steps[] = {
        {"S1", 1, nullptr},
        {"S2", 1, "S2 incompatible with S1"},
        {"S2rev", 2, nullptr},
        {"S3", 3, nullptr},
    };
    for (const TStep& step : steps) {
        SCOPED_TRACE(step.Name);
        prompts.Messages.clear();
        Select(dialog.SegmentStG, step.Name);
        dialog.IncludeBtnClick();
        EXPECT_EQ(SegmentCount(dialog.Cable()), step.SegmentsAfter);
        if (step.Message)
            EXPECT_EQ(prompts.Messages, std::vector<QString>{step.Message});
        else
            EXPECT_TRUE(prompts.Messages.empty());
    }
    EXPECT_EQ(Names(dialog.CableSegLst), (QStringList{"S1", "S2rev", "S3"}));
    EXPECT_EQ(Names(dialog.SegmentStG), QStringList{"S2"});
    prompts.Messages.clear();
    dialog.IncludeBtnClick();  // the lists were refilled: nothing is selected
    EXPECT_EQ(prompts.Messages, std::vector<QString>{Msg::ItemNotSelected});
}

TEST_F(CableDialogs, IncludeRefusesAnEmptySegmentAndAFullSetWithAMessage) {
    Library({Seg("NoName", 0, 0), Seg("Far", 1900, 1910)});
    TCable full;
    for (int i = 0; i < MaxSegments; ++i)
        ASSERT_EQ(
            IncludeSegment(full, Seg(("P" + std::to_string(i)).c_str(), 10 * i + 1, 10 * i + 10)).Result,
            TIncludeResult::Included);
    TCableFrm dialog(nullptr, Services(), CblFile(full, "Full"));
    Select(dialog.SegmentStG, "NoName");
    dialog.IncludeBtnClick();
    Select(dialog.SegmentStG, "Far");
    dialog.IncludeBtnClick();
    ASSERT_EQ(prompts.Messages.size(), 2u);
    EXPECT_TRUE(prompts.Messages[0].contains("empty"));
    EXPECT_TRUE(prompts.Messages[1].contains("at most 32 segments"));
    EXPECT_EQ(SegmentCount(dialog.Cable()), MaxSegments);
    EXPECT_EQ(dialog.CableSegLst->rowCount(), MaxSegments);
}

TEST_F(CableDialogs, DeleteAsksAndKeepsTheLastSegmentAndTheOnesTheSetUses) {
    Library({Seg("A", 1, 24), Seg("B", 25, 48, 1.234f), Seg("C", 49, 72)});
    TCableFrm dialog(nullptr, Services());
    Select(dialog.SegmentStG, "B");
    dialog.IncludeBtnClick();
    Select(dialog.SegmentStG, "A");
    prompts.Answers = {TPrompts::TAnswer::Cancel, TPrompts::TAnswer::Ok};
    dialog.DeleteSegBtnClick();
    EXPECT_EQ(prompts.Questions, std::vector<QString>{"Delete A"});
    EXPECT_EQ(Names(dialog.SegmentStG), (QStringList{"A", "C"}));
    dialog.DeleteSegBtnClick();
    EXPECT_EQ(Names(dialog.SegmentStG), QStringList{"C"});
    const auto disk = LibraryOnDisk();
    EXPECT_EQ(NamesOf(disk), (std::vector<std::string>{"B", "C"}));
    EXPECT_EQ(disk[0].NodeSpacing, 1.234f);  // a record the set uses is kept as it was
    // One row left: nothing is asked and nothing changes.
    Select(dialog.SegmentStG, "C");
    dialog.DeleteSegBtnClick();
    EXPECT_EQ(prompts.Questions.size(), 2u);
    EXPECT_EQ(dialog.SegmentStG->rowCount(), 1);
    EXPECT_EQ(NamesOf(LibraryOnDisk()), (std::vector<std::string>{"B", "C"}));
}

TEST_F(CableDialogs, CreateAndModifyKeepTheSetsSegmentsAtTheirPlacesInTheLibrary) {
    Library({Seg("A", 1, 24), Seg("B", 25, 48, 1.234f), Seg("C", 49, 72, 1.239f)});
    TCableFrm dialog(nullptr, Services());
    Select(dialog.SegmentStG, "B");
    dialog.IncludeBtnClick();
    // No selection starts a new segment; 30 then 10 is stored as 10 to 30.
    OnNextModal([](QWidget* w) {
        auto* form = qobject_cast<TCreateModifySegFrm*>(w);
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(form->NameEdt->text(), "NoName");
        form->NameEdt->setText("D");
        form->SpacingEdt->setText("2.5");
        form->FirstNodeCS->setValue(30);
        form->LastNodeCS->setValue(10);
        form->ReverseCB->setChecked(true);
        form->AddBtn->click();
    });
    dialog.AddEditSegBtnClick();
    EXPECT_EQ(prompts.Messages, std::vector<QString>{Msg::ItemNotSelected});
    EXPECT_EQ(Row(dialog.SegmentStG, 2), (QStringList{"D", "10", "30", "2.50", "yes"}));
    auto disk = LibraryOnDisk();
    ASSERT_EQ(NamesOf(disk), (std::vector<std::string>{"A", "B", "C", "D"}));
    EXPECT_EQ(disk[1].NodeSpacing, 1.234f);
    EXPECT_EQ(disk[2].NodeSpacing, 1.24f);  // a listed row is read back from its two decimals
    EXPECT_EQ(disk[3].FirstNode, 10);
    EXPECT_EQ(disk[3].LastNode, 30);
    EXPECT_EQ(disk[3].Reversible, 1);

    // Modify replaces the selected row in place.
    Select(dialog.SegmentStG, "A");
    OnNextModal([](QWidget* w) {
        auto* form = qobject_cast<TCreateModifySegFrm*>(w);
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(form->FirstNodeCS->value(), 1);
        EXPECT_EQ(form->LastNodeCS->value(), 24);
        form->NameEdt->setText("A2");
        form->ModifyBtn->click();
    });
    dialog.AddEditSegBtnClick();
    EXPECT_TRUE(dialog.SegmentStG->selectionModel()->selectedRows().isEmpty());
    disk = LibraryOnDisk();
    EXPECT_EQ(NamesOf(disk), (std::vector<std::string>{"A2", "B", "C", "D"}));
    EXPECT_EQ(disk[1].NodeSpacing, 1.234f);

    // Cancel changes nothing; a name the library holds is not added twice.
    Select(dialog.SegmentStG, "C");
    OnNextModal([](QWidget* w) { qobject_cast<TCreateModifySegFrm*>(w)->CancelBtn->click(); });
    dialog.AddEditSegBtnClick();
    OnNextModal([](QWidget* w) {
        auto* form = qobject_cast<TCreateModifySegFrm*>(w);
        form->NameEdt->setText("b");
        form->AddBtn->click();
    });
    prompts.Messages.clear();
    dialog.AddEditSegBtnClick();
    EXPECT_EQ(prompts.Messages, std::vector<QString>{QString(Msg::SegmentNameTaken) + "b"});
    EXPECT_EQ(NamesOf(LibraryOnDisk()), (std::vector<std::string>{"A2", "B", "C", "D"}));
    EXPECT_EQ(Names(dialog.SegmentStG), (QStringList{"A2", "C", "D"}));
}

TEST_F(CableDialogs, OkAsksForANameWritesNothingWithoutSegmentsAndSavesTheSet) {
    Library({Seg("A", 1, 24, 2.5f)});
    {
        TCableFrm dialog(nullptr, Services());
        dialog.OkBtnClick();  // "NoName"
        EXPECT_EQ(prompts.Messages.back(), Msg::EnterCableSetName);
        EXPECT_EQ(dialog.result(), 0);
        dialog.CableEdt->setText("  ");
        dialog.OkBtnClick();
        EXPECT_EQ(Count(Msg::EnterCableSetName), 2);
        dialog.CableEdt->setText("Line 1");
        dialog.OkBtnClick();  // no segment: closes, nothing written, no save dialog
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_TRUE(CableSetNames(Folder()).empty());
    }
    TCableFrm dialog(nullptr, Services());
    dialog.SegmentStG->selectRow(0);
    dialog.IncludeBtnClick();
    dialog.CableEdt->setText("Line 1");
    dialog.OkBtnClick();  // the save dialog cancelled: stays open
    EXPECT_EQ(dialog.result(), 0);
    prompts.SaveFiles = {CableFolder() + "Line 1"};  // the default extension is added
    dialog.OkBtnClick();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    TCable back;
    ReadCableFile(Folder() + "Line 1.cbl", back);
    EXPECT_EQ(QFile(CableFolder() + "Line 1.cbl").size(), 1444);
    EXPECT_EQ(back.CableName.Get(), "Line 1");
    EXPECT_EQ(SegmentCount(back), 1);
    EXPECT_EQ(back.Segments[0].NodeSpacing, 2.5f);
}

// Escape or the close box after Include asks before the set goes; Cancel and an untouched set do not.
TEST_F(CableDialogs, LeavingAChangedSetAsksSaveDiscardOrCancel) {
    Library({Seg("A", 1, 24, 2.5f)});
    struct TCase {
        const char* Name;
        bool CloseBox;
        TPrompts::TAnswer Answer;
        bool Open;
    } cases[] = {{"EscapeCancel", false, TPrompts::TAnswer::Cancel, true},
                 {"EscapeDiscard", false, TPrompts::TAnswer::Discard, false},
                 {"CloseBoxSave", true, TPrompts::TAnswer::Save, false}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        prompts.Questions.clear();
        TCableFrm dialog(nullptr, Services());
        dialog.show();
        dialog.SegmentStG->selectRow(0);
        dialog.IncludeBtnClick();
        dialog.CableEdt->setText(c.Name);
        prompts.Answers = {c.Answer};
        prompts.SaveFiles = {CableFolder() + c.Name};
        if (c.CloseBox)
            dialog.close();
        else
            QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_EQ(prompts.Questions, std::vector<QString>{Msg::KeepCableSet});
        EXPECT_EQ(dialog.isVisible(), c.Open);
        const bool saved = c.Answer == TPrompts::TAnswer::Save;
        EXPECT_EQ(QFile::exists(CableFolder() + c.Name + ".cbl"), saved);
        if (saved) {
            EXPECT_EQ(dialog.result(), QDialog::Accepted);
        }
    }
    // The Cancel button, and Escape on a set left as it was, close without a question.
    prompts.Questions.clear();
    TCableFrm untouched(nullptr, Services());
    untouched.show();
    QTest::keyClick(&untouched, Qt::Key_Escape);
    EXPECT_FALSE(untouched.isVisible());
    TCableFrm cancelled(nullptr, Services());
    cancelled.show();
    cancelled.SegmentStG->selectRow(0);
    cancelled.IncludeBtnClick();
    cancelled.CancelBtn->click();
    EXPECT_FALSE(cancelled.isVisible());
    EXPECT_TRUE(prompts.Questions.empty());
}

TEST_F(CableDialogs, AFileThatCannotBeWrittenKeepsTheDialogOpen) {
    Library({Seg("A", 1, 24)});
    TCableFrm dialog(nullptr, Services());
    dialog.SegmentStG->selectRow(0);
    dialog.IncludeBtnClick();
    dialog.CableEdt->setText("Line");
    prompts.SaveFiles = {CableFolder() + "missing/Line.cbl"};
    dialog.OkBtnClick();
    EXPECT_EQ(dialog.result(), 0);
    ASSERT_FALSE(prompts.Messages.empty());
    EXPECT_TRUE(prompts.Messages.back().contains("missing/Line.cbl"));
}

TEST_F(CableDialogs, AFileThatCannotBeReadOpensNoDialog) {
    EXPECT_THROW(TCableFrm(nullptr, Services(), CableFolder() + "absent.cbl"), TFileError);
}

TEST_F(CableDialogs, TheViewShowsTheSequencesSetAndChangesNothing) {
    Library({Seg("A", 1, 24), Seg("B", 25, 48)});
    TSequence seq;
    ASSERT_EQ(IncludeSegment(seq, Seg("A", 1, 24)).Result, TIncludeResult::Included);
    seq.CableName.Set("Line");
    const TSequence before = seq;
    TCableFrm dialog(nullptr, Services(), static_cast<const TCable&>(seq));
    for (QWidget* w : std::initializer_list<QWidget*>{dialog.OkBtn, dialog.CancelBtn, dialog.AddEditSegBtn,
                                                      dialog.DeleteSegBtn})
        EXPECT_TRUE(w->isHidden()) << w->objectName().toStdString();
    EXPECT_FALSE(dialog.CloseBtn->isHidden());
    EXPECT_FALSE(dialog.GroupBox1->isEnabled());
    EXPECT_FALSE(dialog.GroupBox2->isEnabled());
    EXPECT_EQ(Names(dialog.CableSegLst), QStringList{"A"});
    EXPECT_EQ(Names(dialog.SegmentStG), QStringList{"B"});
    dialog.SegmentStG->selectRow(0);
    dialog.IncludeBtnClick();
    EXPECT_EQ(SegmentCount(dialog.Cable()), 1);
    EXPECT_EQ(std::memcmp(&before, &seq, sizeof(TCable)), 0);
    dialog.BitBtn1Click();
    EXPECT_EQ(help.Topics, std::vector<int>{300});
}

// --- the segment dialog ---

TEST_F(CableDialogs, TheSegmentDialogShowsTheSegmentAndStoresOnlyASoundOne) {
    TSegment s = Seg("Old", 5, 4500, 2.5f, true);
    TCreateModifySegFrm form(nullptr, s, Services());
    EXPECT_EQ(form.windowTitle(), "Create/Modify Segment");
    EXPECT_EQ(form.NameEdt->text(), "Old");
    EXPECT_EQ(form.SpacingEdt->text(), "2.5");
    EXPECT_EQ(form.FirstNodeCS->value(), 5);
    EXPECT_EQ(form.LastNodeCS->value(), 4000);  // kept within 1 to 4000
    EXPECT_TRUE(form.ReverseCB->isChecked());
    const TSegment before = s;
    struct TCase {
        const char* Name;
        const char* Spacing;
        const char* Message;
    };
    const TCase refused[] = {
        {"  ", "1", Msg::EnterSegmentName},
        {"MyNoNameCable", "1", Msg::EnterSegmentName},
        {"S", "abc", "Spacing beetwen node : not a number: abc"},
        {"S", "1,5", "Spacing beetwen node : not a number: 1,5"},  // the other separator
        {"S", "0", "Spacing beetwen node : must be above 0: 0"},
        {"S", "-5", "Spacing beetwen node : must be above 0: -5"},
        {"S", "0.0000000000000000000000000000000000000000000001",
         "Spacing beetwen node : must be above 0: "
         "0.0000000000000000000000000000000000000000000001"},
    };
    for (const TCase& c : refused) {
        SCOPED_TRACE(c.Name);
        form.NameEdt->setText(c.Name);
        form.SpacingEdt->setText(c.Spacing);
        form.ModifyBtnClick();
        EXPECT_EQ(prompts.Messages.back(), c.Message);
        EXPECT_EQ(form.result(), 0);
        EXPECT_EQ(std::memcmp(&s, &before, sizeof s), 0);
    }
    form.NameEdt->setText(" A very long segment name of forty characters ");
    form.SpacingEdt->setText("0.75");
    form.ReverseCB->setChecked(false);
    form.ModifyBtnClick();
    EXPECT_EQ(form.result(), TCreateModifySegFrm::ModifyResult);
    EXPECT_EQ(s.Name.Get(), std::string("A very long segment name of forty").substr(0, 31));
    EXPECT_EQ(s.NodeSpacing, 0.75f);
    EXPECT_EQ(s.FirstNode, 5);
    EXPECT_EQ(s.LastNode, 4000);
    EXPECT_EQ(s.Reversible, 0);
    form.BitBtn1Click();
    EXPECT_EQ(help.Topics, std::vector<int>{400});
    form.reject();
    EXPECT_EQ(form.result(), TCreateModifySegFrm::CancelResult);
}

// Every input is reached from a label or has a name a screen reader says; buttons have words.
void ExpectAccessible(QWidget* dialog) {
    QList<QWidget*> buddies;
    for (QLabel* l : dialog->findChildren<QLabel*>())
        if (l->buddy()) buddies << l->buddy();
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (!qobject_cast<QLineEdit*>(w) && !qobject_cast<QSpinBox*>(w) && !qobject_cast<QComboBox*>(w) &&
            !qobject_cast<QTableWidget*>(w))
            continue;
        if (qobject_cast<QLineEdit*>(w) &&
            (qobject_cast<QSpinBox*>(w->parent()) || qobject_cast<QComboBox*>(w->parent())))
            continue;  // the edit inside a spin box or combo box
        EXPECT_TRUE(buddies.contains(w) || !w->accessibleName().isEmpty()) << w->objectName().toStdString();
    }
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
        EXPECT_FALSE(b->text().isEmpty() && b->accessibleName().isEmpty()) << b->objectName().toStdString();
}

TEST_F(CableDialogs, KeyboardAndScreenReadersReachEveryControl) {
    Library({Seg("A", 1, 24)});
    TCableFrm cable(nullptr, Services());
    ExpectAccessible(&cable);
    // The tab order follows the layout: the set, the moves, the library, the buttons.
    QList<QWidget*> order{cable.CableEdt};
    for (QWidget* w = cable.CableEdt->nextInFocusChain(); w != cable.CableEdt; w = w->nextInFocusChain())
        if ((w->focusPolicy() & Qt::TabFocus) && !w->isHidden()) order << w;
    EXPECT_EQ(order.indexOf(cable.CableSegLst), 1);
    EXPECT_LT(order.indexOf(cable.CableSegLst), order.indexOf(cable.IncludeBtn));
    EXPECT_LT(order.indexOf(cable.ExcludeBtn), order.indexOf(cable.SegmentStG));
    EXPECT_LT(order.indexOf(cable.DeleteSegBtn), order.indexOf(cable.OkBtn));
    TSegment s = Seg("A", 1, 2);
    TCreateModifySegFrm segment(nullptr, s, Services());
    ExpectAccessible(&segment);
    QString number;
    TNumeroFrm dial(nullptr, number, Services());
    ExpectAccessible(&dial);
}

// --- the dial directory ---

class DialDirectory : public CableDialogs {
   protected:
    QString DialFile() const { return workspace.ProgramFolder() + "PhoneNum.Dial"; }
    void Dial(const char* content) {
        QDir().mkpath(workspace.ProgramFolder());
        std::ofstream(DialFile().toStdString(), std::ios::binary) << content;
    }
    std::string DialContent() const {
        QFile f(DialFile());
        if (!f.open(QIODevice::ReadOnly)) return "<none>";
        return f.readAll().toStdString();
    }
    QStringList Entries(const TNumeroFrm& d) const {
        QStringList items;
        for (int i = 0; i < d.DialCB->count(); ++i) items << d.DialCB->itemText(i);
        return items;
    }
};

TEST_F(DialDirectory, TheNumberIsTakenFromTheText) {
    QString number;
    TNumeroFrm dialog(nullptr, number, Services());
    EXPECT_EQ(dialog.windowTitle(), "Directory");
    const std::pair<const char*, const char*> cases[] = {
        {"Lab station 0123456789", "0123456789"},
        {"Depot 9,W0123", "9,W0123"},
        {"Office 01 23 45", "45"},
        {"No digit", ""},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        dialog.DialCB->setEditText(text);
        EXPECT_EQ(number, expected);
        EXPECT_EQ(dialog.NumLbl->text(), expected);
        QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(dialog.NumLbl);
        ASSERT_NE(spoken, nullptr);
        EXPECT_EQ(spoken->text(QAccessible::Name), expected) << "a screen reader says the number shown";
    }
    dialog.OkBtnClick();  // no number: Cancel
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    dialog.DialCB->setEditText("Depot 9,W0123");
    dialog.OkBtnClick();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(number, "9,W0123");
}

TEST_F(DialDirectory, TheFirstChangeCreatesTheFileAndSaveAddsInSortedOrder) {
    QString number;
    TNumeroFrm dialog(nullptr, number, Services());
    EXPECT_FALSE(dialog.SauverBtn->isEnabled());
    EXPECT_EQ(DialContent(), "<none>");
    dialog.DialCB->setEditText("L");
    EXPECT_EQ(DialContent(), "");
    EXPECT_TRUE(dialog.SauverBtn->isEnabled());
    dialog.DialCB->setEditText("Lab station 0123456789");
    dialog.SauverBtnClick();
    EXPECT_FALSE(dialog.SauverBtn->isEnabled());
    dialog.DialCB->setEditText("depot 9,W0123");
    dialog.SauverBtnClick();
    EXPECT_EQ(DialContent(), "depot 9,W0123\r\nLab station 0123456789\r\n");
    EXPECT_EQ(Entries(dialog), (QStringList{"depot 9,W0123", "Lab station 0123456789"}));
    EXPECT_EQ(dialog.DialCB->currentText(), "depot 9,W0123");
    dialog.DialCB->setCurrentIndex(1);  // choosing an entry is a change too
    EXPECT_EQ(number, "0123456789");
    EXPECT_FALSE(dialog.SauverBtn->isEnabled());
}

TEST_F(DialDirectory, SavingAnEntryListedInAnotherCaseAddsNothing) {
    Dial("farm 0555\r\n");
    QString number;
    TNumeroFrm dialog(nullptr, number, Services());
    EXPECT_EQ(Entries(dialog), QStringList{"farm 0555"});
    dialog.DialCB->setEditText("Farm 0555");
    EXPECT_FALSE(dialog.SauverBtn->isEnabled());
    dialog.SauverBtnClick();
    EXPECT_EQ(Entries(dialog), QStringList{"farm 0555"});
    EXPECT_EQ(DialContent(), "farm 0555\r\n");
}

TEST_F(DialDirectory, DeletingTheLastEntryLeavesAnEmptyFile) {
    Dial("Farm 0555\r\n");
    {
        QString number = "0555";
        TNumeroFrm dialog(nullptr, number, Services());
        EXPECT_EQ(dialog.DialCB->currentText(), "0555");  // the caller's number is shown
        EXPECT_EQ(dialog.NumLbl->text(), "0555");
        dialog.DialCB->setEditText("FARM 0555");
        dialog.EffacerBtnClick();
        EXPECT_EQ(dialog.DialCB->currentText(), "FARM 0555");  // the text stays
        EXPECT_EQ(dialog.DialCB->count(), 0);
        EXPECT_TRUE(dialog.SauverBtn->isEnabled());
        dialog.EffacerBtnClick();  // nothing listed: nothing happens
    }
    EXPECT_EQ(DialContent(), "");
    QString number;
    TNumeroFrm again(nullptr, number, Services());
    EXPECT_EQ(again.DialCB->count(), 0);
}

TEST_F(DialDirectory, AFolderThatCannotBeWrittenIsReportedAndTheDialogStays) {
    // The data folder is a regular file: nothing can be written below it, whoever runs the test.
    QFile plain(home.path() + "/plain");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    TWorkspace blocked(home.path() + "/plain", set);
    QString number;
    TNumeroFrm dialog(nullptr, number, {blocked, prompts, help});
    dialog.show();
    for (const char* text : {"F", "Fa", "Farm 0555"}) dialog.DialCB->setEditText(text);
    ASSERT_EQ(prompts.Messages.size(), 1u);  // once while typing, not once a key
    EXPECT_TRUE(prompts.Messages[0].contains("PhoneNum.Dial"));
    EXPECT_EQ(number, "0555");
    dialog.SauverBtnClick();
    EXPECT_EQ(prompts.Messages.size(), 2u);
    EXPECT_EQ(dialog.DialCB->count(), 0);  // not listed when it could not be kept
    EXPECT_TRUE(dialog.isVisible());
    dialog.OkBtnClick();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

}  // namespace
