#include "planningtools.h"

#include <memory>

#include "iporder.h"
#include "messages.h"
#include "prompts.h"
#include "sequenceset.h"
#include "workspace.h"

namespace {

// The new sequence joins the set under a unique name made from the original's.
int AddNamed(TSequenceSet& set, std::unique_ptr<TSequence> seq, const std::string& suffix, TPrompts& prompts) {
    const std::string wanted = seq->Name.Get() + suffix;
    seq->Name.Set(wanted);
    const int index = set.AddNewSequence(std::move(seq));
    if (index < 0)
        prompts.Message(RecordText(wanted) + Msg::NameNotAdded, Msg::SequenceCaption, TPrompts::TIcon::Warning);
    return index;
}

}  // namespace

int AddReciprocalSequence(TSequenceSet& set, int index, TReciprocalMode mode, TPrompts& prompts) {
    if (index < 0 || index >= set.Count()) return -1;
    auto out = std::make_unique<TSequence>();
    const TReciprocalOutcome r = MakeReciprocals(set.Sequence(index), mode, *out);
    if (!r.Done) {
        prompts.Message(QString::fromStdString(r.Problem), Msg::SequenceCaption, TPrompts::TIcon::Error);
        return -1;
    }
    const int added = AddNamed(set, std::move(out), mode == TReciprocalMode::Append ? " rec" : " only rec", prompts);
    if (added >= 0 && r.AlreadyPresent > 0)
        prompts.Message(QString("%1 reciprocals added, %2 already present").arg(r.Added).arg(r.AlreadyPresent),
                        Msg::SequenceCaption);
    return added;
}

int AddIpOrderedSequence(TSequenceSet& set, int index, TPrompts& prompts) {
    if (index < 0 || index >= set.Count()) return -1;
    auto out = std::make_unique<TSequence>(set.Sequence(index));
    const TIpOrderResult r = OrderForIp(*out, DefaultIpWindow);
    const int added = AddNamed(set, std::move(out), " IP", prompts);
    if (added < 0) return -1;
    QString text = QString("Readings whose potential electrodes carried current in the %1 readings before: %2 before, %3 after.")
                       .arg(DefaultIpWindow)
                       .arg(r.ConflictsBefore)
                       .arg(r.ConflictsAfter);
    if (r.ConflictsAfter > 0) text += " No order without them was found.";
    prompts.Message(text, Msg::SequenceCaption);
    return added;
}
