#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <functional>
#include <iostream>
#include <new>

#include "model/datafolder.h"
#include "model/fileio.h"
#include "model/sequence.h"

std::string Shown(const std::string& text) { return RecordTextForTerminal(text); }

namespace {

// An empty text is no number, whatever the option's type would make of it.
const CLI::Validator NotEmpty{[](const std::string& text) -> std::string {
                                  return text.empty() ? "an empty text is not a number" : "";
                              },
                              ""};

void RefuseEmptyNumbers(CLI::App* app) {
    for (CLI::Option* opt : app->get_options({})) {
        const std::string type = opt->get_type_name();
        if (type == "INT" || type == "UINT" || type == "FLOAT" || type == "NUMBER") opt->check(NotEmpty);
    }
    for (CLI::App* sub : app->get_subcommands({})) RefuseEmptyNumbers(sub);
}

}  // namespace

std::string TCliContext::DataFolder() const { return ResolveDataFolder(HomeOption); }

char TCliContext::DecimalSeparator() const { return Decimal.empty() ? LocaleDecimal : Decimal[0]; }

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, char localeDecimal) {
    CLI::App app{"teravox2-cli: design, inspect, exchange and upload resistivity sequences", "teravox2-cli"};
    app.require_subcommand(1);
    // --version and --help-all also feed the manual page, which is generated from this help.
    app.set_version_flag("--version", std::string("teravox2-cli ") + TERAVOX_VERSION);
    app.set_help_all_flag("--help-all", "Print the help of every command and exit");
    TCliContext ctx{out, err, "", "", localeDecimal};
    app.add_option("--home", ctx.HomeOption,
                   "Data folder (default $TERAVOX_HOME, else the per-user data folder)");
    app.add_option("--decimal", ctx.Decimal, "Decimal separator of text files (default from LC_NUMERIC)")
        ->check(CLI::IsMember({".", ","}));
    AddModelCommands(app, ctx);
    AddStorageCommands(app, ctx);
    AddLinkCommands(app, ctx);
    AddPlanCommands(app, ctx);
    AddSetCommands(app, ctx);
    AddDesignCommands(app, ctx);
    RefuseEmptyNumbers(&app);
    // --home and --decimal may stand after the command too, where people tend to put them.
    std::function<void(CLI::App*)> fallThrough = [&fallThrough](CLI::App* a) {
        for (CLI::App* sub : a->get_subcommands({})) {
            sub->fallthrough();
            fallThrough(sub);
        }
    };
    fallThrough(&app);
    // An unknown command word is named as such rather than reported as a missing command.
    auto unknownCommand = [&app](const std::vector<std::string>& words) -> std::string {
        const CLI::App* at = &app;
        for (const std::string& w : words) {
            if (!w.empty() && w[0] == '-') return "";
            const CLI::App* sub = nullptr;
            for (const CLI::App* s : at->get_subcommands({}))
                if (s->check_name(w)) sub = s;
            if (sub == nullptr) return at->get_subcommands({}).empty() ? "" : w;
            at = sub;
        }
        return "";
    };

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp& e) {
        out << app.help();
        return ExitOk;
    } catch (const CLI::CallForAllHelp& e) {
        out << app.help("", CLI::AppFormatMode::All);
        return ExitOk;
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            out << e.what() << "\n";
            return ExitOk;
        }
        if (const std::string w = unknownCommand(args); !w.empty()) {
            err << "teravox2-cli: unknown command " << Shown(w) << " (see teravox2-cli --help)\n";
            return ExitUsage;
        }
        err << "teravox2-cli: " << Shown(e.what()) << "\n";
        return ExitUsage;
    } catch (const TCliUsage& e) {
        err << "teravox2-cli: " << Shown(e.what()) << "\n";
        return ExitUsage;
    } catch (const std::invalid_argument& e) {
        err << "teravox2-cli: " << Shown(e.what()) << "\n";
        return ExitUsage;
    } catch (const TCliFailure& e) {
        err << Shown(e.what()) << "\n";
        return ExitFailed;
    } catch (const TFileError& e) {
        err << Shown(e.what()) << "\n";
        return ExitFailed;
    } catch (const std::bad_alloc&) {
        err << "teravox2-cli: not enough memory for this operation\n";
        return ExitFailed;
    } catch (const std::exception& e) {
        err << "teravox2-cli: " << Shown(e.what()) << "\n";
        return ExitFailed;
    }
    // What a script asked for and did not get is a failure (a full disk, a closed pipe).
    out.flush();
    if (!out) {
        err << "teravox2-cli: the output could not be written\n";
        return ExitFailed;
    }
    return ExitOk;
}
