// teravox2-cli as a library: the whole command line runs in-process, so tests call it directly.
#pragma once

#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

namespace CLI {
class App;
}

// Exit codes of the command-line program.
constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

// An operation that failed: one line for stderr, naming the file (and line or offset where it applies).
class TCliFailure : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
};
// Options that do not fit together (exit 2).
class TCliUsage : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
};

struct TCliContext {
    std::ostream& Out;
    std::ostream& Err;
    std::string HomeOption;  // --home
    std::string Decimal;     // --decimal, "" = from the locale
    char LocaleDecimal = '.';
    std::string DataFolder() const;
    char DecimalSeparator() const;
};

// Each command group registers its subcommands; a callback throws TCliFailure or TCliUsage.
void AddModelCommands(CLI::App& app, TCliContext& ctx);
void AddStorageCommands(CLI::App& app, TCliContext& ctx);
void AddLinkCommands(CLI::App& app, TCliContext& ctx);
void AddPlanCommands(CLI::App& app, TCliContext& ctx);
void AddSetCommands(CLI::App& app, TCliContext& ctx);
void AddDesignCommands(CLI::App& app, TCliContext& ctx);

// Asks a running link command to stop, as Ctrl-C does (safe from another thread or a signal handler).
void RequestCliStop();

// Text as the terminal is to show it: control characters escaped (model's TerminalText). Every
// name and message of the text output passes through it; JSON escapes as JSON does.
std::string Shown(const std::string& text);

// Runs the command line; returns the exit status.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           char localeDecimal = '.');
