// Read-only views of a sequence and of a cable set, opened from the main window. The full editing
// dialogs replace them in a later version; these show everything the record holds.
#pragma once

#include <string>

#include "sequence.h"

class QWidget;
class QDialog;

// Builds the dialogs without showing them (tests look inside); the Show functions run them modally.
QDialog* MakeSequenceView(QWidget* parent, const TSequence& seq);
QDialog* MakeSequenceTables(QWidget* parent, const TSequence& seq);
QDialog* MakeCableSetView(QWidget* parent, const std::string& cableFile);

void ShowSequenceView(QWidget* parent, const TSequence& seq);
void ShowSequenceTables(QWidget* parent, const TSequence& seq);
void ShowCableSetView(QWidget* parent, const std::string& cableFile);
