// What every dialog of the program is given when it is made: the workspace, the prompts and the help.
#pragma once

#include "qtsupport/helpopener.h"
#include "qtsupport/prompts.h"
#include "qtsupport/workspace.h"

struct TDialogServices {
    TWorkspace& Workspace;
    TPrompts& Prompts;
    THelpOpener& Help;
};
