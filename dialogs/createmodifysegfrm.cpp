#include "dialogs/createmodifysegfrm.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "qtsupport/messages.h"

namespace {

constexpr int HelpTopic = 400;
constexpr int MinNode = 1;
constexpr int MaxNode = 4000;

}  // namespace

TCreateModifySegFrm::TCreateModifySegFrm(QWidget* owner, TSegment& segment, TDialogServices services)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      segment_(segment),
      services_(services) {
    setupUi(this);
    NameEdt->setText(RecordText(segment_.Name.Get()));
    SpacingEdt->setText(ShortestText(segment_.NodeSpacing, services_.Workspace.Decimal()));
    for (const auto& [spin, node] :
         {std::pair{FirstNodeCS, segment_.FirstNode}, {LastNodeCS, segment_.LastNode}}) {
        spin->setRange(MinNode, MaxNode);
        spin->setValue(std::clamp<int>(node, MinNode, MaxNode));
    }
    ReverseCB->setChecked(segment_.Reversible != 0);
    const std::pair<QPushButton*, QStyle::StandardPixmap> glyphs[] = {
        {AddBtn, QStyle::SP_DialogOkButton},
        {ModifyBtn, QStyle::SP_DialogApplyButton},
        {CancelBtn, QStyle::SP_DialogCancelButton},
        {BitBtn1, QStyle::SP_MessageBoxQuestion}};
    for (const auto& [button, glyph] : glyphs) button->setIcon(style()->standardIcon(glyph));

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
