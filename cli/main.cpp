#include <clocale>
#include <iostream>

#include "cli/cli.h"

int main(int argc, char** argv) {
    // Text files follow the user's decimal separator; the program itself formats in the C locale.
    char localeDecimal = '.';
    if (std::setlocale(LC_NUMERIC, "") != nullptr) {
        const char* dp = std::localeconv()->decimal_point;
        if (dp != nullptr && (dp[0] == '.' || dp[0] == ',')) localeDecimal = dp[0];
    }
    std::setlocale(LC_NUMERIC, "C");
    std::vector<std::string> args(argv + 1, argv + argc);
    return RunCli(args, std::cout, std::cerr, localeDecimal);
}
