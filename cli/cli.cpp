#include "cli.h"

#include <CLI/CLI.hpp>
#include <iostream>

#include "datafolder.h"
#include "fileio.h"

std::string TCliContext::DataFolder() const { return ResolveDataFolder(HomeOption); }

char TCliContext::DecimalSeparator() const { return Decimal.empty() ? LocaleDecimal : Decimal[0]; }

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, char localeDecimal) {
    CLI::App app{"teravox2-cli: design, inspect, exchange and upload resistivity sequences", "teravox2-cli"};
    app.require_subcommand(1);
    TCliContext ctx{out, err, "", "", localeDecimal};
    app.add_option("--home", ctx.HomeOption, "Data folder (default $TERAVOX_HOME, else the per-user data folder)");
    app.add_option("--decimal", ctx.Decimal, "Decimal separator of text files (default from LC_NUMERIC)")
        ->check(CLI::IsMember({".", ","}));
    AddModelCommands(app, ctx);
    AddStorageCommands(app, ctx);
    AddLinkCommands(app, ctx);

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
        err << "teravox2-cli: " << e.what() << "\n";
        return ExitUsage;
    } catch (const TCliUsage& e) {
        err << "teravox2-cli: " << e.what() << "\n";
        return ExitUsage;
    } catch (const std::invalid_argument& e) {
        err << "teravox2-cli: " << e.what() << "\n";
        return ExitUsage;
    } catch (const TCliFailure& e) {
        err << e.what() << "\n";
        return ExitFailed;
    } catch (const TFileError& e) {
        err << e.what() << "\n";
        return ExitFailed;
    } catch (const std::exception& e) {
        err << "teravox2-cli: " << e.what() << "\n";
        return ExitFailed;
    }
    return ExitOk;
}
