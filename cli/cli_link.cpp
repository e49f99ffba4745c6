#include <CLI/CLI.hpp>

#include "cli.h"

void AddLinkCommands(CLI::App& /*app*/, TCliContext& /*ctx*/) {}
