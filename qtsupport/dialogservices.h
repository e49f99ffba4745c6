// What every dialog of the program is given when it is made: the workspace, the prompts and the help.
#pragma once

#include "helpopener.h"
#include "prompts.h"
#include "workspace.h"

struct TDialogServices {
    TWorkspace& Workspace;
    TPrompts& Prompts;
    THelpOpener& Help;
};
