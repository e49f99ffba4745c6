#include "dialogs/createmodifysegfrm.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

#include "qtsupport/formkit.h"
#include "qtsupport/messages.h"

namespace {

constexpr int HelpTopic = 400;
constexpr int MinNode = 1;
constexpr int MaxNode = 4000;

QSpinBox* NodeSpin(const char* name, int value, QWidget* parent) {
    auto* s = Named(new QSpinBox(parent), name);
    s->setRange(MinNode, MaxNode);
    s->setValue(std::clamp(value, MinNode, MaxNode));
    return s;
}

QPushButton* Button(const char* name, const QString& text, QStyle::StandardPixmap glyph, QWidget* parent) {
    auto* b = Named(new QPushButton(parent->style()->standardIcon(glyph), text, parent), name);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

TCreateModifySegFrm::TCreateModifySegFrm(QWidget* owner, TSegment& segment, TDialogServices services)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      segment_(segment),
      services_(services) {
    setObjectName("CreateModifySegFrm");
    setWindowTitle(Msg::SegmentCaption);

    auto* outer = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    NameEdt = Named(new QLineEdit(RecordText(segment_.Name.Get()), this), "NameEdt");
    SpacingEdt = Named(new QLineEdit(ShortestText(segment_.NodeSpacing, services_.Workspace.Decimal()), this),
                       "SpacingEdt");
    FirstNodeCS = NodeSpin("FirstNodeCS", segment_.FirstNode, this);
    LastNodeCS = NodeSpin("LastNodeCS", segment_.LastNode, this);
    ReverseCB = Named(new QCheckBox("&Reversible  segment", this), "ReverseCB");
    ReverseCB->setChecked(segment_.Reversible != 0);
    form->addRow("Segment &Name :", NameEdt);  // QFormLayout makes each label its field's buddy
    form->addRow("&Spacing beetwen node :", SpacingEdt);
    form->addRow("&First node number :", FirstNodeCS);
    form->addRow("&Last node number :", LastNodeCS);
    form->addRow(QString(), ReverseCB);
    outer->addLayout(form);

    auto* buttons = new QHBoxLayout;
    AddBtn = Button("AddBtn", "&Add", QStyle::SP_DialogOkButton, this);
    AddBtn->setDefault(true);
    ModifyBtn = Button("ModifyBtn", "&Modify", QStyle::SP_DialogApplyButton, this);
    CancelBtn = Button("CancelBtn", "Cancel", QStyle::SP_DialogCancelButton, this);
    BitBtn1 = Button("BitBtn1", "&Help", QStyle::SP_MessageBoxQuestion, this);
    for (QPushButton* b : {AddBtn, ModifyBtn, CancelBtn, BitBtn1}) buttons->addWidget(b);
    outer->addLayout(buttons);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    connect(AddBtn, &QPushButton::clicked, this, &TCreateModifySegFrm::AddBtnClick);
    connect(ModifyBtn, &QPushButton::clicked, this, &TCreateModifySegFrm::ModifyBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TCreateModifySegFrm::reject);
    connect(BitBtn1, &QPushButton::clicked, this, &TCreateModifySegFrm::BitBtn1Click);
}

void TCreateModifySegFrm::AddBtnClick() { StoreAndClose(AddResult); }
void TCreateModifySegFrm::ModifyBtnClick() { StoreAndClose(ModifyResult); }
void TCreateModifySegFrm::reject() { done(CancelResult); }
void TCreateModifySegFrm::BitBtn1Click() { services_.Help.ShowTopic(HelpTopic, this); }

void TCreateModifySegFrm::StoreAndClose(int result) {
    const QString name = NameEdt->text().trimmed();
    if (name.isEmpty() || name.contains("NoName")) {
        services_.Prompts.Message(Msg::EnterSegmentName, Msg::CableErrorCaption, TPrompts::TIcon::Error);
        NameEdt->setFocus();
        return;
    }
    const auto spacing = ReadTypedNumber(SpacingEdt->text(), services_.Workspace.Decimal());
    if (!spacing || std::fabs(*spacing) > std::numeric_limits<float>::max()) {
        services_.Prompts.Message(Msg::SpacingNotNumber + SpacingEdt->text(), Msg::CableErrorCaption,
                                  TPrompts::TIcon::Error);
        SpacingEdt->setFocus();
        return;
    }
    // Nodes 0 m or less apart place every electrode on the same spot: the cable set could never be used.
    if (!(static_cast<float>(*spacing) > 0.0f)) {
        services_.Prompts.Message(Msg::SpacingNotPositive + SpacingEdt->text(), Msg::CableErrorCaption,
                                  TPrompts::TIcon::Error);
        SpacingEdt->setFocus();
        return;
    }
    segment_.Name.Set(RecordField(name));
    segment_.NodeSpacing = static_cast<float>(*spacing);
    const int a = FirstNodeCS->value(), b = LastNodeCS->value();
    segment_.FirstNode = static_cast<int16_t>(std::min(a, b));
    segment_.LastNode = static_cast<int16_t>(std::max(a, b));
    segment_.Reversible = ReverseCB->isChecked() ? 1 : 0;
    done(result);
}
