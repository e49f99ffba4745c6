// The planning tools on the selected sequence of the open set: reciprocal readings appended or alone,
// and an order of the readings for induced polarisation. Each makes a new sequence of the set, so the
// sequence the user made stays as it was.
#pragma once

#include "reciprocal.h"

class TPrompts;
class TSequenceSet;

// Adds the sequence with the reciprocals of the one at `index`, named after it with " rec" (appended)
// or " only rec". Returns its index, or -1 when nothing was added (the reason shown).
int AddReciprocalSequence(TSequenceSet& set, int index, TReciprocalMode mode, TPrompts& prompts);
// Adds the one at `index` reordered for induced polarisation (window of 5 readings), named after it
// with " IP", and says how many conflicts there were before and remain after. Returns its index or -1.
int AddIpOrderedSequence(TSequenceSet& set, int index, TPrompts& prompts);
