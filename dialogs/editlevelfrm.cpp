#include "dialogs/editlevelfrm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "model/geometry.h"
#include "qtsupport/messages.h"

QString LevelRowText(int q, int k) {
    if (q % k == 0) return QString::number(q / k);
    return QString("%1/%2").arg(q).arg(k);
}

TEditLevelFrm::TEditLevelFrm(QWidget* owner, int index, TSequence& seq, TDialogServices services)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      index_(index),
      before_(seq.LevelUsed[index]),
      seq_(seq),
      services_(services) {
    setObjectName("EditLevelFrm");
    setWindowTitle("Edit level");
    // Levels count in steps of a and read as multiples of this spacing's own dipole length.
    k_ = std::max(SpacingMultiple(seq, index), 1);

    auto* layout = new QVBoxLayout(this);
    Label1 = new QLabel("&Depth level selection :", this);
    layout->addWidget(Label1);
    CheckListBox1 = new QListWidget(this);
    CheckListBox1->setObjectName("CheckListBox1");
    Label1->setBuddy(CheckListBox1);
    // 32 rows in 5 columns, read down then across.
    CheckListBox1->setFlow(QListView::TopToBottom);
    CheckListBox1->setWrapping(true);
    CheckListBox1->setResizeMode(QListView::Adjust);
    CheckListBox1->setUniformItemSizes(true);
    CheckListBox1->setGridSize(QSize(64, 22));
    CheckListBox1->setFixedSize(5 * 64 + 8, 7 * 22 + 8);
    CheckListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (int q = 1; q <= MaxLevels; ++q) {
        auto* item = new QListWidgetItem(LevelRowText(q, k_), CheckListBox1);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(LevelSet(seq.LevelUsed[index], q) ? Qt::Checked : Qt::Unchecked);
    }
    layout->addWidget(CheckListBox1);
    auto* buttons = new QHBoxLayout;
    BitBtn1 = new QPushButton("&OK", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setDefault(true);
    CancelBtn = new QPushButton("Cancel", this);
    CancelBtn->setObjectName("CancelBtn");
    BitBtn2 = new QPushButton("&Help", this);
    BitBtn2->setObjectName("BitBtn2");
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(CancelBtn);
    buttons->addWidget(BitBtn2);
    layout->addLayout(buttons);
    connect(BitBtn1, &QPushButton::clicked, this, &TEditLevelFrm::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TEditLevelFrm::BitBtn2Click);
    connect(CancelBtn, &QPushButton::clicked, this, &TEditLevelFrm::reject);
}

void TEditLevelFrm::reject() {
    seq_.LevelUsed[index_] = before_;
    QDialog::reject();
}

void TEditLevelFrm::BitBtn1Click() {
    uint32_t mask = 0;
    for (int q = 1; q <= MaxLevels; ++q)
        if (CheckListBox1->item(q - 1)->checkState() == Qt::Checked) mask |= 1u << (q - 1);
    seq_.LevelUsed[index_] = static_cast<int32_t>(mask);
    if (mask == 0) {
        services_.Prompts.Message(Msg::SelectOneLevel, Msg::SequenceCaption, TPrompts::TIcon::Warning);
        return;
    }
    accept();
}

void TEditLevelFrm::BitBtn2Click() { services_.Help.ShowTopic(1100, this); }
