// The sequence dialog and the electrodes-used dialog, driven through their real widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

#include "charts/graphreportframe.h"
#include "dialogs/createsequencefrm.h"
#include "dialogs/firstlastnodefrm.h"
#include "dialogs/sequencefrm.h"
#include "model/generate.h"
#include "model/geometry.h"
#include "model/sequencerules.h"
#include "qtsupport/messages.h"
#include "qtsupport/updownedit.h"
#include "tests/dialogs/dialogtestkit.h"

namespace {

class SequenceDialog : public DialogTest {
   protected:
    std::unique_ptr<TSequenceFrm> Open(TSequence& rec, bool okDisabled = true, bool editable = true) {
        auto d = std::make_unique<TSequenceFrm>(nullptr, okDisabled, editable, rec, Services());
        d->show();
        Settle();
        return d;
    }
    // Cable set, array row, spacing and levels 1 to n, as a user picks them.
    void Design(TSequenceFrm& d, const char* cable, int arrayRow, const char* spacing, int levels) {
        d.CableLst->setCurrentIndex(d.CableLst->findText(cable));
        d.ArrayLst->setCurrentIndex(arrayRow);
        d.Spacing1Txt->setText(spacing);
        d.Depth1Num->setValue(levels);
    }
    // Presses a generation button and answers the electrodes-used dialog with `answer`.
    void Generate(QToolButton* button, std::function<void(TFirstLastNodeFrm&)> answer = {}) {
        bool opened = false;
        OnNextModal([&](QWidget* w) {
            auto* used = qobject_cast<TFirstLastNodeFrm*>(w);
            ASSERT_NE(used, nullptr);
            opened = true;
            if (answer)
                answer(*used);
            else
                used->OkBtnClick();
        });
        button->click();
        EXPECT_TRUE(opened);
        Settle();
    }
    // a = 5 with a second length of 2 a (levels 5, 6) and a third of 3 a (levels 7, 8).
    void WithThreeLengths() {
        record.Spacing[0] = 5;
        record.Spacing[1] = 10;
        record.Spacing[2] = 15;
        record.LevelUsed[1] = 0x30;
        record.LevelUsed[2] = 0xC0;
    }
    static void ChooseCable(TSequenceFrm& d) { d.CableLst->setCurrentIndex(d.CableLst->findText("L48")); }
    // Types a number into an edit with its up-down.
    static void Type(QSpinBox* edit, const QString& text) { edit->findChild<QLineEdit*>()->setText(text); }
    TSequence record;
};

TEST_F(SequenceDialog, TheHeadingRowSelectsDipoleDipole) {
    record.ArrayType = static_cast<int32_t>(TArrayType::Wenner);
    auto d = Open(record);
    d->ArrayLst->setCurrentIndex(0);
    EXPECT_EQ(d->ArrayLst->currentText(), "Dipole dipole");
    EXPECT_EQ(d->Working().ArrayType, 0);
}

struct TOneSpacingCase {
    const char* Name;
    int Row;
    int32_t Code;
};

class OneSpacingArrays : public SequenceDialog, public ::testing::WithParamInterface<TOneSpacingCase> {};

TEST_P(OneSpacingArrays, ClearTheOtherLengthsAndTheirLevels) {
    record.ArrayType = 0;
    WithThreeLengths();
    auto d = Open(record);
    ASSERT_TRUE(d->DipoleLength2Cb->isChecked());
    ASSERT_TRUE(d->DipoleLength3Cb->isChecked());
    EXPECT_EQ(d->Spacing2CB->currentText(), "2 x a");
    EXPECT_EQ(d->DepthLevel2Txt->text(), "2");
    d->ArrayLst->setCurrentIndex(GetParam().Row);
    EXPECT_EQ(d->Working().ArrayType, GetParam().Code);
    EXPECT_FALSE(d->DipoleLength2Cb->isChecked());
    EXPECT_FALSE(d->DipoleLength3Cb->isChecked());
    for (int s = 1; s < 3; ++s) {
        EXPECT_EQ(d->Working().Spacing[s], 0.0f) << s;
        EXPECT_EQ(d->Working().LevelUsed[s], 0) << s;
    }
    EXPECT_TRUE(d->OtherSpacingGB->isHidden());
    EXPECT_TRUE(d->OtherSpacingBtn->isHidden());
    EXPECT_EQ(record.Spacing[1], 10.0f) << "the caller's record changes only on OK";
}

INSTANTIATE_TEST_SUITE_P(Arrays, OneSpacingArrays,
                         ::testing::Values(TOneSpacingCase{"Wenner", 4, 6}, TOneSpacingCase{"PolePole", 3, 2},
                                           TOneSpacingCase{"MultipleGradient", 6, 8},
                                           TOneSpacingCase{"Gradient", 7, 8}),
                         [](const ::testing::TestParamInfo<TOneSpacingCase>& c) {
                             return std::string(c.param.Name);
                         });

TEST_F(SequenceDialog, UncheckingTheSecondLengthClearsTheThird) {
    WithThreeLengths();
    auto d = Open(record);
    d->DipoleLength2Cb->setChecked(false);
    EXPECT_FALSE(d->DipoleLength3Cb->isChecked());
    EXPECT_FALSE(d->DipoleLength3Cb->isEnabled());
    EXPECT_EQ(d->Working().Spacing[2], 0.0f);
    EXPECT_EQ(d->Working().LevelUsed[2], 0);
    EXPECT_EQ(d->Spacing3CB->currentIndex(), -1);
    EXPECT_TRUE(d->DepthLevel3Txt->text().isEmpty());
}

TEST_F(SequenceDialog, ASpacingOfZeroHidesTheDepthControls) {
    record.Spacing[0] = 5;
    auto d = Open(record);
    ASSERT_TRUE(d->CreateBtn->isEnabled());
    for (const char* text : {"0", "0.001", "-0.0005"}) {
        d->Spacing1Txt->setText(text);
        EXPECT_TRUE(d->Depth1Num->isHidden()) << text;
        EXPECT_TRUE(d->DepthLevel1Btn->isHidden()) << text;
        for (QAbstractButton* b :
             {static_cast<QAbstractButton*>(d->CreateBtn), static_cast<QAbstractButton*>(d->RollAlongBtn),
              static_cast<QAbstractButton*>(d->MoveAlongBtn),
              static_cast<QAbstractButton*>(d->OtherSpacingBtn)})
            EXPECT_FALSE(b->isEnabled()) << text << " " << b->objectName().toStdString();
    }
    d->Spacing1Txt->setText("-2.5");  // the spacing is a length: its sign is dropped
    EXPECT_FALSE(d->Depth1Num->isHidden());
    EXPECT_TRUE(d->CreateBtn->isEnabled());
    EXPECT_EQ(d->Working().Spacing[0], 2.5f);
    EXPECT_TRUE(prompts.Messages.empty());
}

TEST_F(SequenceDialog, ASpacingThatIsNotANumberIsRefusedAndTheRecordKeepsItsOwn) {
    record.Spacing[0] = 5;
    auto d = Open(record);
    d->Spacing1Txt->setText("5 m");
    EXPECT_TRUE(prompts.Messages.empty()) << "a field being typed in is no error yet";
    EXPECT_EQ(d->Working().Spacing[0], 5.0f);
    EXPECT_FALSE(d->OtherSpacingBtn->isEnabled());
}

// A number field says it holds no number once, naming itself, when it is left; OK says it again and
// stays. What is typed on the way ("", "-") says nothing.
struct TNumberField {
    const char* Name;
    QLineEdit* TSequenceFrm::*Edit;
    const char* Label;
};

class NumberFields : public SequenceDialog, public ::testing::WithParamInterface<TNumberField> {};

TEST_P(NumberFields, SayOnceWhenLeftNamingTheField) {
    record.Spacing[0] = 5;
    auto d = Open(record);
    d->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(d.get()));
    QLineEdit* edit = d.get()->*GetParam().Edit;
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, "-");
    EXPECT_TRUE(prompts.Messages.empty());
    QTest::keyClick(d.get(), Qt::Key_Tab);  // left: said once
    const QString said = QString(Msg::NumericInvalid) + "\n" + GetParam().Label + ": \"-\"";
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_EQ(prompts.Messages[0], said);
    EXPECT_EQ(QApplication::focusWidget(), edit) << "the field takes the focus back";
    QTest::keyClick(d.get(), Qt::Key_Tab);  // left again with the same text: nothing new
    EXPECT_EQ(prompts.Messages.size(), 1u);
    // OK (and a generation) says it every time and goes no further.
    Settle();
    d->OkBtn->setEnabled(true);
    d->NbQuadripoleLbl->setText("1");
    d->CableLst->setCurrentIndex(d->CableLst->findText("L48"));
    d->OkBtnClick();
    ASSERT_EQ(prompts.Messages.size(), 2u);
    EXPECT_EQ(prompts.Messages[1], said);
    EXPECT_NE(d->result(), QDialog::Accepted);
    EXPECT_TRUE(d->isVisible());
    // Mended, the field says nothing when left.
    edit->setFocus();
    edit->setText("7");
    QTest::keyClick(d.get(), Qt::Key_Tab);
    EXPECT_EQ(prompts.Messages.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Fields, NumberFields,
                         ::testing::Values(TNumberField{"Spacing", &TSequenceFrm::Spacing1Txt,
                                                        "Electrode spacing (a)"},
                                           TNumberField{"Area", &TSequenceFrm::AreaTxt, "Area / Latitude"},
                                           TNumberField{"Line", &TSequenceFrm::LineTxt, "Line / Longitude"}),
                         [](const auto& i) { return std::string(i.param.Name); });

TEST_F(SequenceDialog, NumbersAreReadWithTheUsersDecimalSeparator) {
    workspace.SetDecimal(',');
    record.Spacing[0] = 5;
    record.Area = 1.5f;
    auto d = Open(record);
    EXPECT_EQ(d->Spacing1Txt->text(), "5,00");
    EXPECT_EQ(d->AreaTxt->text(), "1,5");
    d->Spacing1Txt->setText("2,5");
    EXPECT_EQ(d->Working().Spacing[0], 2.5f);
    d->AreaTxt->setText("2.5");  // the point is not the user's separator
    EXPECT_EQ(d->Working().Area, 1.5f);
    ChooseCable(*d);
    d->CreateBtnClick();  // refused, naming the field: no electrodes-used dialog opens
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_EQ(prompts.Messages[0], QString(Msg::NumericInvalid) + "\nArea / Latitude: \"2.5\"");
}

TEST_F(SequenceDialog, ASpacingIsShownSoThatOkKeepsIt) {
    for (float a : {5.0f, 2.5f, 0.375f, 1.0f / 3.0f}) {
        record.Spacing[0] = a;
        auto d = Open(record, false, true);
        ChooseCable(*d);
        ASSERT_TRUE(d->CommitControls());
        EXPECT_EQ(d->Working().Spacing[0], a) << d->Spacing1Txt->text().toStdString();
    }
    record.Spacing[0] = 5;
    EXPECT_EQ(Open(record)->Spacing1Txt->text(), "5.00");
}

TEST_F(SequenceDialog, ModifyThenOkKeepsEveryDipoleLength) {
    // a typed with two decimals whose k x a once showed as (k - 1) x a, so that OK rewrote the
    // record's length without generating again.
    const struct {
        const char* A;
        int K2, K3;
    } lengths[] = {{"0.11", 3, 3}, {"0.09", 2, 7}, {"0.43", 3, 9}, {"2.5", 6, 9}, {"0.37", 5, 5}};
    for (const auto& l : lengths) {
        record.ArrayType = 0;
        record.Spacing[0] = std::strtof(l.A, nullptr);
        SetDipoleLength(record, 1, l.K2);
        SetDipoleLength(record, 2, l.K3);
        record.LevelUsed[1] = record.LevelUsed[2] = 1;
        auto d = Open(record, false, true);
        ChooseCable(*d);
        EXPECT_EQ(d->Spacing2CB->currentText(), QString::number(l.K2) + " x a") << l.A;
        EXPECT_EQ(d->Spacing3CB->currentText(), QString::number(l.K3) + " x a") << l.A;
        ASSERT_TRUE(d->CommitControls());
        for (int s = 0; s < MaxSpacings; ++s)
            EXPECT_EQ(d->Working().Spacing[s], record.Spacing[s]) << l.A << " " << s;
    }
}

TEST_F(SequenceDialog, ASpacingTooSmallToTellElectrodesApartIsRefusedWithItsReason) {
    auto d = Open(record);
    Design(*d, "L48", 1, "0.015", 3);
    Generate(d->CreateBtn);
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_TRUE(prompts.Messages[0].startsWith(Msg::CannotGenerate));
    EXPECT_TRUE(prompts.Messages[0].contains("cannot be told apart")) << prompts.Messages[0].toStdString();
    EXPECT_EQ(d->Working().NbQuadripole, 0);
    EXPECT_FALSE(d->OkBtn->isEnabled());
}

TEST_F(SequenceDialog, AMaskWithAGapShowsItsCountInADisabledEdit) {
    record.Spacing[0] = 5;
    record.LevelUsed[0] = 0b10011;  // levels 1, 2 and 5
    auto d = Open(record);
    EXPECT_EQ(d->Depth1Num->value(), 3);
    EXPECT_FALSE(d->Depth1Num->isEnabled());
    Type(d->Depth1Num, "8");  // typing into it changes nothing
    EXPECT_EQ(d->Working().LevelUsed[0], 0b10011);
    ChooseCable(*d);
    EXPECT_TRUE(d->CommitControls());
    EXPECT_EQ(d->Working().LevelUsed[0], 0b10011);
}

TEST_F(SequenceDialog, DepthLevelsOneToN) {
    record.Spacing[0] = 5;
    auto d = Open(record);
    d->Depth1Num->setValue(6);
    EXPECT_EQ(d->Working().LevelUsed[0], 0x3F);
    Type(d->Depth1Num, "40");  // the up-down stops at 32
    EXPECT_EQ(d->Working().LevelUsed[0], -1);
}

TEST_F(SequenceDialog, ViewModeShowsCloseOnlyAndNothingCanBeChanged) {
    record.Spacing[0] = 5;
    record.NbQuadripole = 1;
    auto d = Open(record, true, false);
    EXPECT_FALSE(d->CloseBtn->isHidden());
    for (QWidget* w : {static_cast<QWidget*>(d->OkBtn), static_cast<QWidget*>(d->CancelBtn),
                       static_cast<QWidget*>(d->CreateBtn), static_cast<QWidget*>(d->RollAlongBtn),
                       static_cast<QWidget*>(d->MoveAlongBtn), static_cast<QWidget*>(d->ViewBtn)})
        EXPECT_TRUE(w->isHidden()) << w->objectName().toStdString();
    for (QWidget* w : {static_cast<QWidget*>(d->NameEdt), static_cast<QWidget*>(d->CableLst),
                       static_cast<QWidget*>(d->GeometryGB), static_cast<QWidget*>(d->AquisitionSetUpGB)})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    d->CloseBtn->click();
    EXPECT_EQ(d->result(), QDialog::Rejected);
}

TEST_F(SequenceDialog, ASequenceWithoutGeometryShowsNameAndAcquisitionOnly) {
    record.ArrayType = static_cast<int32_t>(TArrayType::NoGeometry);
    record.NbQuadripole = 3;
    auto d = Open(record, false, true);
    EXPECT_TRUE(d->GeometryGB->isHidden());
    EXPECT_TRUE(d->CableLst->isHidden());
    EXPECT_TRUE(d->ViewCable->isHidden());
    d->NameEdt->setText("Imported");
    d->QMaxEdn->setValue(7);
    d->OkBtnClick();  // no cable set is asked for: its list is not shown
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(record.Name.Get(), "Imported");
    EXPECT_EQ(record.QMax, 7);
    EXPECT_EQ(record.ArrayType, 9);
}

TEST_F(SequenceDialog, StacksAreClampedAndTheMaximumNeverBelowTheMinimum) {
    record.StackMin = 5;
    record.StackMax = 2;
    auto d = Open(record);
    EXPECT_EQ(d->StackMaxEdn->value(), 5) << "raised at display";
    ChooseCable(*d);
    Type(d->StackMinEdn, "300");
    EXPECT_EQ(d->StackMinEdn->value(), 249);
    EXPECT_EQ(d->Working().StackMin, 249);
    Type(d->QMaxEdn, "150");
    EXPECT_EQ(d->Working().QMax, 100);
    EXPECT_TRUE(d->CommitControls());
    EXPECT_EQ(d->Working().StackMax, 249) << "raised at commit";
}

TEST_F(SequenceDialog, AnArrayTheListDoesNotHoldIsKept) {
    // 3, 5 and 7: codes other programs write.
    for (int32_t code : {3, 5, 7}) {
        record.ArrayType = code;
        auto d = Open(record, false, true);
        ChooseCable(*d);
        EXPECT_EQ(d->ArrayLst->currentIndex(), -1) << code;
        ASSERT_TRUE(d->CommitControls()) << code;
        EXPECT_EQ(d->Working().ArrayType, code) << "OK would have dropped the geometry of code " << code;
    }
}

TEST_F(SequenceDialog, TheMultipleGradientIsListedAndKept) {
    record.ArrayType = 8;
    record.LevelUsed[0] = 0x5;
    auto d = Open(record, false, true);
    ChooseCable(*d);
    EXPECT_EQ(d->ArrayLst->currentText(), "Multiple gradient");
    ASSERT_TRUE(d->CommitControls());
    EXPECT_EQ(d->Working().ArrayType, 8);
    EXPECT_EQ(d->Working().LevelUsed[0], 0x5) << "separations 1 and 3 are kept";
}

TEST_F(SequenceDialog, ATimeTheListDoesNotHoldIsKept) {
    record.Time = 750;
    auto d = Open(record);
    ChooseCable(*d);
    EXPECT_EQ(d->TimeCB->currentIndex(), -1);
    EXPECT_TRUE(d->CommitControls());
    EXPECT_EQ(d->Working().Time, 750);
    d->TimeCB->setCurrentIndex(d->TimeCB->findText("250"));
    EXPECT_EQ(d->Working().Time, 250);
}

TEST_F(SequenceDialog, AcquisitionSetUpIsCommitted) {
    auto d = Open(record);
    ChooseCable(*d);
    d->IpModeRd->setChecked(true);
    d->VmnCB->setCurrentIndex(7);
    d->LineTxt->setText("-12.25");
    EXPECT_TRUE(d->CommitControls());
    EXPECT_EQ(d->Working().Mode, 1);
    EXPECT_EQ(d->Working().VmnRange, 7);
    EXPECT_EQ(d->VmnCB->currentText(), "Vab = 50 V");
    EXPECT_EQ(d->Working().Line, -12.25f);
}

TEST_F(SequenceDialog, OkWithoutAQuadripoleKeepsTheDialogOpen) {
    auto d = Open(record);
    d->OkBtn->setEnabled(true);
    d->OkBtnClick();
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_EQ(prompts.Messages[0], Msg::CreateOneQuadripole);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->result(), 0);
}

TEST_F(SequenceDialog, NoCableSetChosenStopsTheGeneration) {
    record.Spacing[0] = 5;
    auto d = Open(record);
    ASSERT_EQ(d->CableLst->currentIndex(), -1);
    d->CreateBtnClick();  // no electrodes-used dialog opens
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_EQ(prompts.Messages[0], Msg::EnterCableSetName);
    EXPECT_EQ(d->Working().NbQuadripole, 0);
}

TEST_F(SequenceDialog, CreateGeneratesAndOkGivesTheSequenceBack) {
    auto d = Open(record);
    ASSERT_EQ(d->CableLst->count(), 2);
    Design(*d, "L48", 1, "5", 6);
    EXPECT_EQ(d->NumberElectrodeSTxt->text(), "48");
    EXPECT_TRUE(d->CableLst->toolTip().contains("Red -- Blue"));
    EXPECT_FALSE(d->OkBtn->isEnabled());
    Generate(d->CreateBtn);
    EXPECT_TRUE(d->OkBtn->isEnabled());
    EXPECT_TRUE(d->ViewBtn->isEnabled());
    EXPECT_GT(d->Working().NbQuadripole, 100);
    EXPECT_EQ(d->NbQuadripoleLbl->text(), QString::number(d->Working().NbQuadripole));
    EXPECT_TRUE(d->GeometricFactorLbl->text().startsWith("|K| "));
    // Any change of the geometry makes the sequence stale again.
    d->Depth1Num->setValue(5);
    EXPECT_FALSE(d->OkBtn->isEnabled());
    EXPECT_TRUE(d->GeometricFactorLbl->text().isEmpty());
    Generate(d->CreateBtn);
    d->NameEdt->setText("Line 1");
    d->OkBtnClick();
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(record.Name.Get(), "Line 1");
    EXPECT_EQ(std::memcmp(&record, &d->Working(), sizeof(TSequence)), 0);
    EXPECT_TRUE(prompts.Messages.empty());
}

// After a Create that OK has not taken, Escape and the close box ask before the design goes.
struct TLeaveCase {
    const char* Name;
    bool CloseBox;  // else Escape
    TPrompts::TAnswer Answer;
    const char* Title;
    bool Open;  // the dialog is still open afterwards
    int Result;
};

class LeavingAfterCreate : public SequenceDialog, public ::testing::WithParamInterface<TLeaveCase> {};

TEST_P(LeavingAfterCreate, AsksSaveDiscardOrCancel) {
    const TLeaveCase& c = GetParam();
    const TSequence before = record;
    auto d = Open(record);
    Design(*d, "L48", 1, "5", 6);
    Generate(d->CreateBtn);
    ASSERT_GT(d->Working().NbQuadripole, 0);
    d->NameEdt->setText(c.Title);
    prompts.Answers = {c.Answer};
    if (c.CloseBox)
        d->close();
    else
        QTest::keyClick(d.get(), Qt::Key_Escape);
    EXPECT_EQ(prompts.Questions, std::vector<QString>{Msg::KeepCreatedSequence});
    EXPECT_EQ(d->isVisible(), c.Open);
    if (!c.Open) {
        EXPECT_EQ(d->result(), c.Result);
    }
    const bool kept = !c.Open && c.Result == QDialog::Accepted;
    EXPECT_EQ(std::memcmp(&record, kept ? &d->Working() : &before, sizeof(TSequence)), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, LeavingAfterCreate,
    ::testing::Values(
        TLeaveCase{"EscapeSave", false, TPrompts::TAnswer::Save, "Line 1", false, QDialog::Accepted},
        TLeaveCase{"EscapeDiscard", false, TPrompts::TAnswer::Discard, "Line 1", false, QDialog::Rejected},
        TLeaveCase{"EscapeCancel", false, TPrompts::TAnswer::Cancel, "Line 1", true, 0},
        TLeaveCase{"CloseBoxSave", true, TPrompts::TAnswer::Save, "Line 1", false, QDialog::Accepted},
        TLeaveCase{"CloseBoxCancel", true, TPrompts::TAnswer::Cancel, "Line 1", true, 0},
        TLeaveCase{"SaveWithoutTitleStays", false, TPrompts::TAnswer::Save, "", true, 0}),
    [](const auto& i) { return std::string(i.param.Name); });

// Modifying a sequence: an edit OK would keep is asked about; a geometry changed since the
// generation cannot be saved before a new Create; a dialog left as it was asks nothing.
TEST_F(SequenceDialog, LeavingAModifiedSequenceAsksAndNeverSavesAStaleOne) {
    auto d = Open(record);
    Design(*d, "L48", 1, "5", 6);
    Generate(d->CreateBtn);
    d->NameEdt->setText("Line 1");
    d->OkBtnClick();
    ASSERT_EQ(d->result(), QDialog::Accepted);
    const TSequence kept = record;

    auto untouched = Open(record, false, true);
    QTest::keyClick(untouched.get(), Qt::Key_Escape);
    EXPECT_FALSE(untouched->isVisible());
    EXPECT_TRUE(prompts.Questions.empty()) << "nothing changed: no question";

    auto renamed = Open(record, false, true);
    renamed->NameEdt->setText("Line 2");
    prompts.Answers = {TPrompts::TAnswer::Save};
    QTest::keyClick(renamed.get(), Qt::Key_Escape);
    EXPECT_EQ(renamed->result(), QDialog::Accepted);
    EXPECT_EQ(record.Name.Get(), "Line 2");

    auto stale = Open(record, false, true);
    Generate(stale->CreateBtn);
    stale->Depth1Num->setValue(3);  // the geometry changes: OK is out of reach until a new Create
    ASSERT_FALSE(stale->OkBtn->isEnabled());
    prompts.Answers = {TPrompts::TAnswer::Save};
    QTest::keyClick(stale.get(), Qt::Key_Escape);
    EXPECT_TRUE(stale->isVisible());
    EXPECT_EQ(prompts.Messages.back(), Msg::CreateAgainFirst);
    EXPECT_EQ(record.Name.Get(), "Line 2");
    EXPECT_EQ(record.NbQuadripole, kept.NbQuadripole) << "the stale sequence was not saved";
}

TEST_F(SequenceDialog, CancelAndEscapeBeforeACreateAskNothing) {
    auto d = Open(record);
    Design(*d, "L48", 1, "5", 6);
    QTest::keyClick(d.get(), Qt::Key_Escape);
    EXPECT_FALSE(d->isVisible());
    auto e = Open(record);
    Design(*e, "L48", 1, "5", 6);
    Generate(e->CreateBtn);
    e->CancelBtn->click();  // the user says what is wanted
    EXPECT_FALSE(e->isVisible());
    EXPECT_TRUE(prompts.Questions.empty());
}

TEST_F(SequenceDialog, ATitleThatNamesNoFileIsRefused) {
    auto d = Open(record);
    Design(*d, "L48", 1, "5", 6);
    Generate(d->CreateBtn);
    const std::pair<const char*, const char*> refused[] = {
        {"", Msg::EnterSequenceTitle}, {"   ", Msg::EnterSequenceTitle}, {".5m", Msg::TitleNamesNoFile}};
    for (const auto& [title, message] : refused) {
        d->NameEdt->setText(title);
        d->OkBtnClick();
        ASSERT_FALSE(prompts.Messages.empty()) << title;
        EXPECT_EQ(prompts.Messages.back(), message) << title;
        EXPECT_NE(d->result(), QDialog::Accepted) << title;
    }
    d->NameEdt->setText("1.5m");
    d->OkBtnClick();
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(record.Name.Get(), "1.5m");
}

// While the title is typed the dialog says what each instrument family keeps of it, and when that is
// what another sequence of the set keeps too.
TEST_F(SequenceDialog, TheTitleSaysWhatTheInstrumentsWillCutWhileItIsTyped) {
    auto other = std::make_unique<TSequence>();
    other->Name.Set("Line north 1");
    set.AddSequence(std::move(other));
    auto d = Open(record);
    d->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(d.get()));
    d->NameEdt->selectAll();
    QTest::keyClicks(d->NameEdt, "Line north 2");
    ASSERT_TRUE(d->InstrumentCheckLbl->isVisible());
    const QStringList lines = d->InstrumentCheckLbl->text().split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0],
              "Varnel Zenda, Z1, Z2: the name \"Line north 2\" is cut to \"Line nor\" (8 characters), "
              "as \"Line north 1\" is");
    EXPECT_EQ(lines[1],
              "Varnel and Tarsk Optra: the name \"Line north 2\" is cut to \"Line north\" (10 characters), "
              "as \"Line north 1\" is");
    d->NameEdt->selectAll();
    QTest::keyClicks(d->NameEdt, "North 2");  // 7 characters: kept whole by both
    EXPECT_FALSE(d->InstrumentCheckLbl->isVisible());
}

// The creation preview shows what was made, painted, until the user closes it.
TEST_F(SequenceDialog, ThePreviewShowsWhatWasMadeUntilClosed) {
    auto d = Open(record);
    Design(*d, "L48", 1, "5", 6);
    Generate(d->CreateBtn);
    TCreateSequenceFrm* preview = d->Preview();
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->isVisible());
    EXPECT_EQ(preview->TGraphReportFrame1->PointCount(), d->Working().NbQuadripole);
    // Painted: the first length's green is on the picture.
    const QImage shot = preview->TGraphReportFrame1->ChartWidget()->grab().toImage();
    int green = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) green += shot.pixelColor(x, y) == QColor(0, 200, 0);
    EXPECT_GT(green, 100);
    preview->close();
    EXPECT_FALSE(preview->isVisible());
    EXPECT_TRUE(d->isVisible()) << "closing the preview leaves the dialog";
    // The next generation shows it again.
    d->Depth1Num->setValue(4);
    Generate(d->CreateBtn);
    EXPECT_TRUE(d->Preview()->isVisible());
    EXPECT_EQ(d->Preview()->TGraphReportFrame1->PointCount(), d->Working().NbQuadripole);
}

TEST_F(SequenceDialog, CancellingTheElectrodesUsedDialogGeneratesNothing) {
    auto d = Open(record);
    Design(*d, "L48", 1, "5", 6);
    Generate(d->CreateBtn, [](TFirstLastNodeFrm& used) { used.CancelBtnClick(); });
    EXPECT_EQ(d->Working().NbQuadripole, 0);
    EXPECT_FALSE(d->OkBtn->isEnabled());
}

TEST_F(SequenceDialog, AGenerationWithNoLevelThatFitsSaysSo) {
    record.Spacing[0] = 5;
    record.LevelUsed[0] = 1 << 29;  // level 30 only: a gap, kept as it is
    auto d = Open(record);
    d->CableLst->setCurrentIndex(d->CableLst->findText("L48"));
    Generate(d->CreateBtn, [](TFirstLastNodeFrm& used) {
        used.NumberElectrodeTxt->setValue(8);
        used.OkBtnClick();
    });
    EXPECT_EQ(d->Working().NbQuadripole, 0);
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_TRUE(prompts.Messages[0].startsWith(Msg::NoQuadripoleCreated))
        << prompts.Messages[0].toStdString();
    EXPECT_TRUE(prompts.Messages[0].contains("8 electrodes"));
}

TEST_F(SequenceDialog, HelpOnTheArrayTypeOpensItsSection) {
    auto d = Open(record);
    d->ArrayLst->setCurrentIndex(4);
    d->SpeedButton1->click();
    d->BitBtn1->click();
    ASSERT_EQ(help.Keywords.size(), 1);
    EXPECT_EQ(help.Keywords[0], "Wenner");
    EXPECT_EQ(help.Topics, std::vector<int>{1000});
}

TEST_F(SequenceDialog, ArrayRowsAndCodes) {
    // The heading, five line arrays, the multiple gradient and the gradient (both stored as 8); then
    // the same again as the 3D section.
    const int codes[16] = {9, 0, 1, 2, 6, 4, 8, 8, 9, 0, 1, 2, 6, 4, 8, 8};
    for (int row = 0; row < 16; ++row) EXPECT_EQ(ArrayCodeOfRow(row), codes[row]) << row;
    EXPECT_EQ(ArrayCodeOfRow(-1), 9);
    EXPECT_EQ(ArrayRowOfCode(4, 0), 5);
    EXPECT_EQ(ArrayRowOfCode(6, 0), 4);
    EXPECT_EQ(ArrayRowOfCode(8, 0), 6);
    for (int code : {3, 5, 7, 9}) EXPECT_EQ(ArrayRowOfCode(code, 0), -1) << code;
    EXPECT_EQ(ArrayRowOfCode(0, 2), 9) << "the 3D section";
    EXPECT_EQ(ArrayRowOfCode(4, 1), 13);
    EXPECT_EQ(ArrayRowOfCode(8, 1), 14);
    TSequence r;
    auto d = Open(r);
    // The plain gradient spans one line, so the 3D section ends with the multiple gradient.
    ASSERT_EQ(d->ArrayLst->count(), 15);
    EXPECT_EQ(d->ArrayLst->itemText(6), "Multiple gradient");
    EXPECT_EQ(d->ArrayLst->itemText(7), "Gradient");
    EXPECT_EQ(d->ArrayLst->itemText(9), "Dipole dipole 3D");
    EXPECT_EQ(d->ArrayLst->itemText(14), "Multiple gradient 3D");
}

TEST_F(SequenceDialog, TheMultipleGradientTakesSeparationsAsLevels) {
    auto d = Open(record);
    Design(*d, "L48", 6, "5", 4);
    EXPECT_EQ(d->Depth1Lbl->text(), "&Separations (s) :");
    EXPECT_EQ(d->Working().ArrayType, 8);
    EXPECT_EQ(d->Working().LevelUsed[0], 0xF) << "separations 1 to 4";
    EXPECT_TRUE(d->Depth1Num->isEnabled());
    EXPECT_TRUE(d->DepthLevel1Btn->isEnabled()) << "any set of separations, as levels";
    Generate(d->CreateBtn);
    EXPECT_GT(d->Working().NbQuadripole, 0);
    EXPECT_EQ(d->Working().LevelUsed[0], 0xF);
    EXPECT_TRUE(prompts.Messages.empty()) << prompts.Messages.front().toStdString();

    TSequence made = d->Working();
    auto again = Open(made, false, true);
    EXPECT_EQ(again->ArrayLst->currentText(), "Multiple gradient");
    again->ArrayLst->setCurrentIndex(1);
    EXPECT_EQ(again->Depth1Lbl->text(), "&Depth level  (Lvl) :");
}

TEST_F(SequenceDialog, TheGradientTakesItsSeparationFromTheElectrodesUsed) {
    auto d = Open(record);
    Design(*d, "L48", 7, "5", 6);
    EXPECT_EQ(d->Working().ArrayType, 8);
    EXPECT_EQ(d->Depth1Lbl->text(), "&Separation (s) :");
    EXPECT_FALSE(d->Depth1Num->isEnabled());
    EXPECT_FALSE(d->DepthLevel1Btn->isEnabled());

    // 48 electrodes would need a separation of 45: more than a level holds.
    Generate(d->CreateBtn);
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_TRUE(prompts.Messages[0].startsWith(Msg::CannotGenerate)) << prompts.Messages[0].toStdString();
    EXPECT_TRUE(prompts.Messages[0].contains("48 electrodes")) << prompts.Messages[0].toStdString();
    EXPECT_EQ(d->Working().NbQuadripole, 0);
    EXPECT_FALSE(d->OkBtn->isEnabled());

    Generate(d->CreateBtn, [](TFirstLastNodeFrm& used) {
        Type(used.NumberElectrodeTxt, "24");
        used.OkBtnClick();
    });
    EXPECT_EQ(d->Working().LevelUsed[0], 1 << 20) << "one current dipole over 24 electrodes: s = 21";
    EXPECT_GT(d->Working().NbQuadripole, 0);
    EXPECT_EQ(d->Depth1Num->value(), 21);
    EXPECT_EQ(prompts.Messages.size(), 1u);

    TSequence made = d->Working();
    auto again = Open(made, false, true);
    EXPECT_EQ(again->ArrayLst->currentText(), "Gradient");
    EXPECT_FALSE(again->Depth1Num->isEnabled());
    ASSERT_TRUE(again->CommitControls());
    EXPECT_EQ(again->Working().LevelUsed[0], 1 << 20) << "the separation shown is not typed back";
}

// The 3D section of the list: its rows show the "3D Grid" box and make the record a grid of the
// box's counts; Roll along and Move along are off for a grid, back for a line.
TEST_F(SequenceDialog, TheThreeDRowsMakeAGrid) {
    auto d = Open(record);
    Design(*d, "L48", 1, "5", 3);
    ASSERT_TRUE(d->RollAlongBtn->isEnabled());
    d->LineGridXTxt->setValue(4);
    d->LineGridYTxt->setValue(12);
    d->ArrayLst->setCurrentIndex(d->ArrayLst->findText("------------   3D Resistivity   ---------------"));
    EXPECT_EQ(d->ArrayLst->currentText(), "Dipole dipole 3D") << "the heading moves to the next row";
    EXPECT_TRUE(d->ThreeDGridGB->isVisibleTo(d.get()));
    EXPECT_EQ(d->Working().GridLineX, 4);
    EXPECT_EQ(d->Working().GridLineY, 12);
    EXPECT_EQ(d->Working().ArrayType, 0);
    EXPECT_FALSE(d->RollAlongBtn->isEnabled());
    EXPECT_FALSE(d->MoveAlongBtn->isEnabled());
    EXPECT_TRUE(d->CreateBtn->isEnabled());
    for (QLabel* label : {d->LineGridXLbl, d->LineGridYLbl, d->LineSpacingLbl})
        EXPECT_NE(label->buddy(), nullptr);

    // Without a line spacing the grid cannot be laid out: Create says why and makes nothing.
    Generate(d->CreateBtn);
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_TRUE(prompts.Messages[0].contains("line spacing")) << prompts.Messages[0].toStdString();
    EXPECT_EQ(d->Working().NbQuadripole, 0);
    prompts.Messages.clear();

    d->LineSpacingTxt->setText("10");
    d->CrossLinesCb->setChecked(true);
    Generate(d->CreateBtn);
    EXPECT_TRUE(prompts.Messages.empty()) << prompts.Messages.front().toStdString();
    // 4 x 24 along X and 3 x 49 across: the count of the command line's --grid 4:12 --cross.
    EXPECT_EQ(d->Working().NbQuadripole, 4 * 24 + 3 * 49);
    EXPECT_EQ(d->NbQuadripoleLbl->text(), QString::number(4 * 24 + 3 * 49));
    EXPECT_TRUE(d->OkBtn->isEnabled());

    d->ArrayLst->setCurrentIndex(d->ArrayLst->findText("Wenner"));
    EXPECT_FALSE(d->ThreeDGridGB->isVisibleTo(d.get()));
    EXPECT_EQ(d->Working().GridLineX, 0);
    EXPECT_EQ(d->Working().GridLineY, 0);
    EXPECT_TRUE(d->RollAlongBtn->isEnabled());
    EXPECT_FALSE(d->OkBtn->isEnabled());
}

// The keyboard walks the "3D Grid" box as it is laid out: the counts, the line spacing, then the two
// choices of readings.
TEST_F(SequenceDialog, TabWalksTheGridBoxInLayoutOrder) {
    auto d = Open(record);
    d->ArrayLst->setCurrentIndex(d->ArrayLst->findText("Dipole dipole 3D"));
    ASSERT_TRUE(d->ThreeDGridGB->isVisibleTo(d.get()));
    const std::vector<QWidget*> box{d->LineGridXTxt, d->LineGridYTxt, d->LineSpacingTxt, d->YLinesCb,
                                    d->CrossLinesCb};
    std::vector<QWidget*> walked;
    QWidget* w = d->LineGridXTxt;
    for (int i = 0; i < 200 && walked.size() < box.size(); ++i, w = w->nextInFocusChain())
        if (std::find(box.begin(), box.end(), w) != box.end() &&
            std::find(walked.begin(), walked.end(), w) == walked.end())
            walked.push_back(w);
    EXPECT_EQ(walked, box);
}

// The multiple gradient's 3D row: separations picked as levels, measured along every X line.
TEST_F(SequenceDialog, TheMultipleGradient3DRowMakesAGradientGrid) {
    auto d = Open(record);
    Design(*d, "L48", 1, "5", 1);
    d->LineGridXTxt->setValue(4);
    d->LineGridYTxt->setValue(12);
    d->ArrayLst->setCurrentIndex(d->ArrayLst->findText("Multiple gradient 3D"));
    ASSERT_TRUE(d->ThreeDGridGB->isVisibleTo(d.get()));
    d->Depth1Num->setValue(2);
    d->LineSpacingTxt->setText("10");
    Generate(d->CreateBtn);
    EXPECT_TRUE(prompts.Messages.empty()) << prompts.Messages.front().toStdString();
    EXPECT_EQ(d->Working().ArrayType, 8);
    EXPECT_EQ(d->Working().GridLineX, 4);
    EXPECT_EQ(d->Working().LevelUsed[0], 0b11);
    // Separations 1 and 2 on lines of 12: 1 x 9 + 2 x 8 readings a line, as --grid 4:12 gives.
    EXPECT_EQ(d->Working().NbQuadripole, 4 * (1 * 9 + 2 * 8));
}

// --- the electrodes-used dialog ---

class ElectrodesUsedDialog : public SequenceDialog {
   protected:
    std::unique_ptr<TFirstLastNodeFrm> OpenUsed(TSequence& working, TGenerationMode mode) {
        auto d = std::make_unique<TFirstLastNodeFrm>(nullptr, false, mode, working, Services());
        d->show();
        Settle();
        return d;
    }
    // A sequence of the open set on nodes 1 to 48: dipole-dipole, a = 5, levels 1 to 6.
    void AddPrevious() {
        auto prev = std::make_unique<TSequence>();
        LoadCableSet(*prev, workspace.CableFolder().toStdString(), "L48");
        prev->ArrayType = 0;
        prev->Spacing[0] = 5;
        prev->LevelUsed[0] = 0x3F;
        TNullChartSink none;
        ASSERT_TRUE(GenerateSequence(*prev, ModeCreate, none));
        prev->Name.Set("Line1");
        set.AddSequence(std::move(prev));
    }
};

TEST_F(ElectrodesUsedDialog, LimitsForDipoleDipoleOn48Nodes) {
    LoadCableSet(record, workspace.CableFolder().toStdString(), "L48");
    record.ArrayType = 0;
    auto d = OpenUsed(record, ModeCreate);
    EXPECT_EQ(d->FirstElectrodeTxt->minimum(), 1);
    EXPECT_EQ(d->FirstElectrodeTxt->maximum(), 44);
    EXPECT_EQ(d->NumberElectrodeTxt->minimum(), 4);
    EXPECT_EQ(d->NumberElectrodeTxt->maximum(), 48);
    EXPECT_FALSE(d->FirstElectrodeGB->isHidden());
    EXPECT_TRUE(d->SetOfSequenceGB->isHidden());
    Type(d->FirstElectrodeTxt, "50");
    EXPECT_EQ(d->FirstElectrodeTxt->value(), 44);
    Type(d->NumberElectrodeTxt, "100");
    EXPECT_EQ(d->NumberElectrodeTxt->value(), 48);
}

TEST_F(ElectrodesUsedDialog, AFirstElectrodeInAGapMovesToTheNextNode) {
    LoadCableSet(record, workspace.CableFolder().toStdString(), "Gap");
    record.ArrayType = 0;
    record.Electrodes[31].X = 150;
    auto d = OpenUsed(record, ModeCreate);
    d->FirstElectrodeTxt->setValue(26);
    EXPECT_EQ(d->FirstElectrodeTxt->value(), 31);
    EXPECT_EQ(d->EditX->text(), "150.00");
    d->EditY->setText("2.5");
    d->OkBtnClick();
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(record.FirstElectrode, 31);
    EXPECT_EQ(record.Electrodes[31].Y, 2.5f);
}

TEST_F(ElectrodesUsedDialog, ACoordinateThatIsNotAFiniteNumberKeepsTheDialogOpen) {
    LoadCableSet(record, workspace.CableFolder().toStdString(), "L48");
    const auto before = std::make_unique<TSequence>(record);
    // 1e39 is a number, but no float holds it: it would become an infinite coordinate.
    for (const char* text : {"high", "nan", "inf", "1e39", "-1e39"}) {
        for (const auto& [edit, label] :
             {std::pair{&TFirstLastNodeFrm::EditX, "X"}, std::pair{&TFirstLastNodeFrm::EditZ, "Z"}}) {
            prompts.Messages.clear();
            auto d = OpenUsed(record, ModeCreate);
            ((*d).*edit)->setText(text);
            d->OkBtnClick();
            ASSERT_EQ(prompts.Messages.size(), 1u) << text;
            EXPECT_EQ(prompts.Messages[0], QString(Msg::NumericInvalid) + "\n" + label + ": \"" + text + "\"")
                << "the field is named";
            EXPECT_NE(d->result(), QDialog::Accepted) << text;
            EXPECT_EQ(std::memcmp(&record, before.get(), sizeof(TSequence)), 0) << text;
        }
    }
}

TEST_F(ElectrodesUsedDialog, RollAlongProposesTheDeepestStartWithItsRange) {
    AddPrevious();
    TSequence working = set.Sequence(0);
    auto d = OpenUsed(working, ModeRollAlong);
    EXPECT_FALSE(d->OkBtn->isEnabled());
    EXPECT_FALSE(d->FirstElectrodeTxt->isEnabled());
    EXPECT_FALSE(d->Edit1->isEnabled());
    ASSERT_EQ(d->SequenceListBox->count(), 1);
    EXPECT_EQ(d->SequenceListBox->item(0)->text(), "Line1");
    d->SequenceListBox->setCurrentRow(0);
    EXPECT_EQ(d->RollStart(), 40);
    EXPECT_EQ(d->FirstElectrodeTxt->value(), 40);
    EXPECT_EQ(d->FirstElectrodeTxt->minimum(), 37);
    EXPECT_EQ(d->FirstElectrodeTxt->maximum(), 41);
    EXPECT_EQ(d->OverlappingLbl->text(), QString("1") + Msg::OverlappingLines);
    EXPECT_TRUE(d->OkBtn->isEnabled());
    d->FirstElectrodeTxt->setValue(39);
    EXPECT_EQ(d->OverlappingLbl->text(), QString("2") + Msg::OverlappingLines);
    d->OkBtnClick();
    EXPECT_EQ(working.FirstElectrode, 39);
    EXPECT_FLOAT_EQ(working.RollLimit[0], 190);  // lowered by one spacing
    EXPECT_EQ(help.Topics.size(), 0u);
    d->HelpBtnClick();
    EXPECT_EQ(help.Topics, std::vector<int>{1011});
}

TEST_F(ElectrodesUsedDialog, MoveAlongTakesTheTypedAbscissa) {
    AddPrevious();
    TSequence working = set.Sequence(0);
    auto d = OpenUsed(working, ModeMoveAlong);
    EXPECT_TRUE(d->Edit1->isEnabled());
    d->SequenceListBox->setCurrentRow(0);
    EXPECT_EQ(d->FirstElectrodeTxt->value(), 1);
    EXPECT_TRUE(d->OverlappingLbl->text().isEmpty());
    d->Edit1->setText("500");
    d->OkBtnClick();
    EXPECT_EQ(working.Electrodes[1].X, 500.0f);
}

TEST_F(ElectrodesUsedDialog, APreviousSequenceNeverGeneratedGivesNoStart) {
    auto never = std::make_unique<TSequence>();
    LoadCableSet(*never, workspace.CableFolder().toStdString(), "L48");
    never->Name.Set("Empty");
    set.AddSequence(std::move(never));
    LoadCableSet(record, workspace.CableFolder().toStdString(), "L48");
    auto d = OpenUsed(record, ModeRollAlong);
    d->SequenceListBox->setCurrentRow(0);
    EXPECT_FALSE(d->OkBtn->isEnabled());
    EXPECT_EQ(d->RollStart(), NoRollStart);
}

TEST_F(ElectrodesUsedDialog, RollAlongThroughTheSequenceDialog) {
    AddPrevious();
    TSequence working = set.Sequence(0);
    auto d = Open(working, true, true);
    Generate(d->RollAlongBtn, [](TFirstLastNodeFrm& used) {
        used.SequenceListBox->setCurrentRow(0);
        used.OkBtnClick();
    });
    EXPECT_GT(d->Working().NbQuadripole, 0);
    EXPECT_LT(d->Working().NbQuadripole, set.Sequence(0).NbQuadripole)
        << "the quadripoles before the limits are skipped";
    EXPECT_TRUE(d->OkBtn->isEnabled());
}

// --- keyboard and screen readers ---

// Each Alt letter reaches one control, the generation buttons included.
TEST_F(SequenceDialog, EveryAltLetterIsUsedOnceAndTheGenerationButtonsHaveOne) {
    WithThreeLengths();
    auto d = Open(record);
    std::map<QChar, QStringList> users;
    auto mnemonic = [](const QString& text) -> std::optional<QChar> {
        for (qsizetype i = 0; i + 1 < text.size(); ++i) {
            if (text[i] != '&') continue;
            if (text[i + 1] == '&') {
                ++i;
                continue;
            }
            return text[i + 1].toLower();
        }
        return std::nullopt;
    };
    for (QWidget* w : d->findChildren<QWidget*>()) {
        QString text;
        if (auto* l = qobject_cast<QLabel*>(w))
            text = l->text();
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            text = b->text();
        else
            continue;
        if (auto m = mnemonic(text)) users[*m] << text;
    }
    for (const auto& [letter, texts] : users) EXPECT_EQ(texts.size(), 1) << texts.join(" | ").toStdString();
    for (QToolButton* b : {d->ViewBtn, d->CreateBtn, d->RollAlongBtn, d->MoveAlongBtn})
        EXPECT_TRUE(mnemonic(b->text()).has_value()) << b->objectName().toStdString();
    // Alt+C from the title presses Create.
    d->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(d.get()));
    ChooseCable(*d);
    // A mnemonic presses its button the way a click does, a moment later.
    bool opened = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* used = qobject_cast<TFirstLastNodeFrm*>(QApplication::activeModalWidget())) {
            opened = true;
            used->CancelBtnClick();
        }
    });
    poll.start();
    d->NameEdt->setFocus();
    ASSERT_TRUE(d->CreateBtn->isEnabled());
    QTest::keyClick(d->NameEdt, Qt::Key_C, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return opened; }, 2000));
}

TEST_F(SequenceDialog, OtherSpacingShowsWhereTheFocusIs) {
    record.Spacing[0] = 5;
    auto d = Open(record);
    d->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(d.get()));
    d->NameEdt->setFocus();
    const QImage without = d->OtherSpacingBtn->grab().toImage();
    d->OtherSpacingBtn->setFocus();
    ASSERT_TRUE(d->OtherSpacingBtn->hasFocus());
    const QImage with = d->OtherSpacingBtn->grab().toImage();
    EXPECT_NE(without, with);
}

TEST_F(SequenceDialog, EveryInputHasALabelAndEveryGlyphButtonAName) {
    TFirstLastNodeFrm used(nullptr, false, ModeMoveAlong, record, Services());
    auto d = Open(record);
    for (QWidget* dialog : {static_cast<QWidget*>(d.get()), static_cast<QWidget*>(&used)}) {
        QList<QWidget*> buddies;
        for (QLabel* l : dialog->findChildren<QLabel*>())
            if (l->buddy() != nullptr) buddies << l->buddy();
        for (QWidget* input : dialog->findChildren<QWidget*>()) {
            const bool isInput = qobject_cast<QLineEdit*>(input) || qobject_cast<QComboBox*>(input) ||
                                 qobject_cast<QAbstractSpinBox*>(input) || qobject_cast<QListWidget*>(input);
            if (!isInput || input->objectName().isEmpty() || input->objectName().startsWith("qt_")) continue;
            EXPECT_TRUE(buddies.contains(input) || !input->accessibleName().isEmpty())
                << dialog->objectName().toStdString() << ": " << input->objectName().toStdString();
        }
        for (QToolButton* b : dialog->findChildren<QToolButton*>()) {
            if (!b->text().isEmpty() || b->objectName().isEmpty()) continue;
            EXPECT_EQ(b->accessibleName(), b->toolTip()) << b->objectName().toStdString();
            EXPECT_FALSE(b->accessibleName().isEmpty()) << b->objectName().toStdString();
        }
    }
}

}  // namespace
