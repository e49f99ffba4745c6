// A read-only view of a cable set: its name and segments. The sequence dialog shows its working
// copy's cable set with it; the main window's Cable menu shows a .cbl file.
#pragma once

#include <string>

#include "sequence.h"

class QWidget;
class QDialog;

// Builds the dialog without showing it (tests look inside); the Show functions run it modally.
QDialog* MakeCableSetView(QWidget* parent, const TCable& cable);
QDialog* MakeCableSetView(QWidget* parent, const std::string& cableFile);

void ShowCableSetView(QWidget* parent, const TCable& cable);
void ShowCableSetView(QWidget* parent, const std::string& cableFile);
