// The planning tools on the selected sequence of the open set: reciprocal readings appended or alone,
// an order of the readings for induced polarisation, and one for a multichannel meter. Each makes a new
// sequence of the set, so the sequence the user made stays as it was.
#pragma once

#include <memory>
#include <optional>

#include "model/reciprocal.h"

class QLabel;
class TPrompts;
class TSequenceSet;

// Adds the sequence with the reciprocals of the one at `index`, named after it with " rec" (appended)
// or " only rec". Returns its index, or -1 when nothing was added (the reason shown).
int AddReciprocalSequence(TSequenceSet& set, int index, TReciprocalMode mode, TPrompts& prompts);
// Adds the one at `index` reordered for induced polarisation (window of 5 readings), named after it
// with " IP", and says how many conflicts there were before and remain after. Returns its index or -1.
int AddIpOrderedSequence(TSequenceSet& set, int index, TPrompts& prompts);
// Adds the one at `index` ordered for `channels` channels (the fewest injections), named after it with
// " C" and the count, and says how many injections it needs before and after. A sequence in "Rho and
// Ip" mode is ordered for induced polarisation too, its window counted in injections. Returns its
// index or -1.
int AddChannelOrderedSequence(TSequenceSet& set, int index, int channels, TPrompts& prompts);

// Adds a sequence made apart from any of the set (an optimised one) under its own name, made unique
// as the tools' names are. Returns its index, or -1 when nothing was added (the reason shown).
int AddMadeSequence(TSequenceSet& set, std::unique_ptr<TSequence> seq, TPrompts& prompts);

// Shows in `label` what the sequence costs on a meter with `channels` channels: readings, current
// dipoles, injections in list order and at best, and the acquisition time; its hint says the cycle
// assumed. The label's accessible text is the text shown.
void ShowPlan(const TSequence& seq, int channels, QLabel& label);

// Asks the electrode spacing of a protocol.dat (typed with `decimal`). Nothing on Cancel; a text that
// is not a number above 0 is said so and asked again.
std::optional<float> AskProtocolSpacing(TPrompts& prompts, char decimal);
