#include "app/planningtools.h"

#include <QLabel>
#include <algorithm>
#include <cmath>
#include <memory>

#include "model/channelplan.h"
#include "model/iporder.h"
#include "qtsupport/messages.h"
#include "qtsupport/prompts.h"
#include "qtsupport/workspace.h"
#include "storage/numberformat.h"
#include "storage/sequenceset.h"

namespace {

// The new sequence joins the set under a unique name made from the original's.
int AddNamed(TSequenceSet& set, std::unique_ptr<TSequence> seq, const std::string& suffix,
             TPrompts& prompts) {
    const std::string wanted = seq->Name.Get() + suffix;
    seq->Name.Set(wanted);
    const int index = set.AddNewSequence(std::move(seq));
    if (index < 0)
        prompts.Message(RecordText(wanted) + Msg::NameNotAdded, Msg::SequenceCaption,
                        TPrompts::TIcon::Warning);
    return index;
}

// A duration kept on one line where the label wraps.
QString Unbroken(const std::string& text) { return QString::fromStdString(text).replace(' ', QChar(0x00A0)); }

}  // namespace

int AddReciprocalSequence(TSequenceSet& set, int index, TReciprocalMode mode, TPrompts& prompts) {
    if (index < 0 || index >= set.Count()) return -1;
    auto out = std::make_unique<TSequence>();
    const TReciprocalOutcome r = MakeReciprocals(set.Sequence(index), mode, *out);
    if (!r.Done) {
        prompts.Message(QString::fromStdString(r.Problem), Msg::SequenceCaption, TPrompts::TIcon::Error);
        return -1;
    }
    const int added =
        AddNamed(set, std::move(out), mode == TReciprocalMode::Append ? " rec" : " only rec", prompts);
    if (added >= 0 && r.AlreadyPresent > 0)
        prompts.Message(
            QString("%1 reciprocals added, %2 already present").arg(r.Added).arg(r.AlreadyPresent),
            Msg::SequenceCaption);
    return added;
}

int AddIpOrderedSequence(TSequenceSet& set, int index, TPrompts& prompts) {
    if (index < 0 || index >= set.Count()) return -1;
    auto out = std::make_unique<TSequence>(set.Sequence(index));
    const TIpOrderResult r = OrderForIp(*out, DefaultIpWindow);
    const int added = AddNamed(set, std::move(out), " IP", prompts);
    if (added < 0) return -1;
    QString text = QString(
                       "Readings whose potential electrodes carried current in the %1 readings before: %2 "
                       "before, %3 after.")
                       .arg(DefaultIpWindow)
                       .arg(r.ConflictsBefore)
                       .arg(r.ConflictsAfter);
    if (r.ConflictsAfter > 0) text += " No order without them was found.";
    prompts.Message(text, Msg::SequenceCaption);
    return added;
}

int AddChannelOrderedSequence(TSequenceSet& set, int index, int channels, TPrompts& prompts) {
    if (index < 0 || index >= set.Count()) return -1;
    auto out = std::make_unique<TSequence>(set.Sequence(index));
    const bool ip = out->Mode != 0;
    const TChannelOrderResult r = OrderForChannels(*out, channels, ip ? DefaultIpWindow : 0);
    const int added = AddNamed(set, std::move(out), " C" + std::to_string(channels), prompts);
    if (added < 0) return -1;
    QString text = QString("Injections with %1 channels: %2 before, %3 after.")
                       .arg(channels)
                       .arg(r.InjectionsBefore)
                       .arg(r.InjectionsAfter);
    if (ip)
        text += QString(
                    " Readings whose potential electrodes carried current in the %1 injections before: %2 "
                    "before, %3 after.")
                    .arg(DefaultIpWindow)
                    .arg(r.ConflictsBefore)
                    .arg(r.ConflictsAfter);
    prompts.Message(text, Msg::SequenceCaption);
    return added;
}

int AddMadeSequence(TSequenceSet& set, std::unique_ptr<TSequence> seq, TPrompts& prompts) {
    return seq == nullptr ? -1 : AddNamed(set, std::move(seq), "", prompts);
}

void ShowPlan(const TSequence& seq, int channels, QLabel& label) {
    const TChannelPlan p = PlanChannels(seq, channels);
    const QString text =
        QString("%1 %2: %3 injections for %4 readings on %5 current dipoles (fewest %6), %7 to %8")
            .arg(channels)
            .arg(channels == 1 ? "channel" : "channels")
            .arg(p.Injections)
            .arg(p.Readings)
            .arg(p.CurrentDipoles)
            .arg(p.FewestInjections)
            .arg(Unbroken(DurationText(p.SecondsMin)))
            .arg(Unbroken(DurationText(p.SecondsMax)));
    label.setText(text);
    label.setAccessibleName(text);
    label.setToolTip(
        QString("Readings that follow each other with the same A and B share an injection, up to %1. The "
                "time takes %2 to %3 stacks an injection, each stack four half-periods of %4 ms.")
            .arg(channels)
            .arg(LeastStacks(seq))
            .arg(MostStacks(seq))
            .arg(std::max(seq.Time, 0)));
}

std::optional<float> AskProtocolSpacing(TPrompts& prompts, char decimal) {
    for (;;) {
        auto typed = prompts.AskText("R2 / ResIPy protocol", "Electrode &spacing :", "1");
        if (!typed) return std::nullopt;
        const auto v = ParseDecimal(typed->trimmed().toStdString(), decimal);
        if (v && std::isfinite(*v) && *v >= 0.001f && *v <= 100000.0f) return *v;
        prompts.Message(Msg::NumericInvalid, Msg::SequenceCaption, TPrompts::TIcon::Error);
    }
}
