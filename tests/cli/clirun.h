// Runs teravox2-cli in-process and keeps what it printed.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"

struct TCliRun {
    int Status;
    std::string Out, Err;
};

inline TCliRun Cli(const std::vector<std::string>& args, char localeDecimal = '.') {
    std::ostringstream out, err;
    int status = RunCli(args, out, err, localeDecimal);
    return {status, out.str(), err.str()};
}
