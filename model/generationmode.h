// How a generation starts, on its own: the dialogs and the rules pass it around without needing the
// generator.
#pragma once

// A fresh line, after a previous sequence (roll along), or moved to a new abscissa (move along). The
// codes are the ones the dialogs pass around.
enum TGenerationMode : int { ModeRollAlong = 1011, ModeCreate = 1012, ModeMoveAlong = 1013 };
