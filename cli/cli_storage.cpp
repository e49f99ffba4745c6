#include <CLI/CLI.hpp>

#include "cli.h"

void AddStorageCommands(CLI::App& /*app*/, TCliContext& /*ctx*/) {}
