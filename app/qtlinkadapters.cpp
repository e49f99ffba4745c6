#include "app/qtlinkadapters.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>
#include <algorithm>

#include "link/linktexts.h"
#include "qtsupport/messages.h"
#include "qtsupport/prompts.h"
#include "qtsupport/workspace.h"

TQtLinkHost::~TQtLinkHost() {
    while (busy_ > 0) SetBusyCursor(false);
}

void TQtLinkHost::ProcessEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); }

void TQtLinkHost::SetBusyCursor(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++busy_;
    } else if (busy_ > 0) {
        QApplication::restoreOverrideCursor();
        --busy_;
    }
}

void TQtLinkHost::ShowMessage(const std::string& text) { prompts_.Message(RecordText(text)); }

bool TQtLinkHost::Ask(const std::string& title, const std::string& text, TButtons buttons) {
    const bool yesNo = buttons == TButtons::YesNo;
    auto a = prompts_.Question(QString::fromStdString(text), QString::fromStdString(title),
                               yesNo ? TPrompts::TButtons::YesNo : TPrompts::TButtons::OkCancel,
                               TPrompts::TIcon::Information,
                               yesNo ? TPrompts::TAnswer::Yes : TPrompts::TAnswer::Ok);
    return a == TPrompts::TAnswer::Ok || a == TPrompts::TAnswer::Yes;
}

void TQtLinkHost::Waiting(const TLinkWait& wait) {
    if (OnWaiting) OnWaiting(wait);
}

void TBarProgress::SetSubject(const QString& subject) {
    bar_->setFormat(subject.isEmpty() ? QStringLiteral("%p%") : subject + QStringLiteral(": %p%"));
}

void TBarProgress::Changed() {
    bar_->setRange(Minimum(), std::max(Minimum(), Maximum()));
    bar_->setValue(std::clamp(Position(), Minimum(), std::max(Minimum(), Maximum())));
}

std::optional<std::string> TQtRemoteUi::ChooseLine(const std::vector<std::string>& lines, bool viewOnly) {
    QStringList items;
    for (const auto& l : lines) items << RecordText(l);
    for (;;) {
        auto r = prompts_.ChooseItem(Msg::SelectSequenceCaption, items, viewOnly);
        if (!r) return std::nullopt;
        // The line itself, not the shown text turned back into bytes: names need not be UTF-8.
        const auto at = items.indexOf(*r);
        if (at < 0) return std::nullopt;
        const std::string& line = lines[static_cast<std::size_t>(at)];
        const QStringList findings = check_ ? check_(line) : QStringList();
        progress_.SetSubject(*r);
        if (findings.isEmpty()) return line;
        const QString text = QString(Msg::UploadFindings).arg(*r) + "\n- " + findings.join("\n- ") + "\n\n" +
                             Msg::UploadAnyway;
        if (prompts_.Question(text, Msg::UploadProcess, TPrompts::TButtons::OkCancel,
                              TPrompts::TIcon::Warning, TPrompts::TAnswer::Cancel) == TPrompts::TAnswer::Ok)
            return line;
    }
}

void TQtRemoteUi::PanelOn(int maximum) {
    panel_.Label->setEnabled(true);
    panel_.Bar->setVisible(true);
    panel_.Stop->setEnabled(true);
    progress_.SetPosition(0);
    progress_.SetMaximum(maximum);
}

void TQtRemoteUi::PanelOff() {
    panel_.Label->setEnabled(false);
    panel_.Bar->setVisible(false);
    panel_.Stop->setEnabled(false);
}

void TQtRemoteUi::ShowWait(const TLinkWait& wait) {
    if (wait.Kind == TLinkWait::TKind::None) {
        if (!beforeWait_) return;
        panel_.Label->setText(beforeWait_->Label);
        panel_.Label->setEnabled(beforeWait_->LabelEnabled);
        panel_.Stop->setEnabled(beforeWait_->StopEnabled);
        beforeWait_.reset();
        return;
    }
    if (!beforeWait_)
        beforeWait_ = TPanelState{panel_.Label->text(), panel_.Label->isEnabled(), panel_.Stop->isEnabled()};
    panel_.Label->setText(RecordText(LinkText::WaitText(wait)) + " - Stop ends the wait ");
    panel_.Label->setEnabled(true);
    panel_.Stop->setEnabled(true);
}
