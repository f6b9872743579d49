#include "cli/cli_front_end.h"
#include "cli/cli_options.h"

#include <iostream>

int main(int argc, char** argv) {
    using tdb::cli::Parsed;
    std::vector<std::string> args(argv + 1, argv + argc);
    const Parsed parsed = tdb::cli::parseCommandLine(args);
    switch (parsed.kind) {
    case Parsed::Kind::Help:
        std::cout << tdb::cli::kUsage;
        return 0;
    case Parsed::Kind::UsageError:
        std::cerr << "transdorimobrelo-cli: " << parsed.error << "\n\n" << tdb::cli::kUsage;
        return 64;
    case Parsed::Kind::Run:
        break;
    }
    const auto outcome = tdb::cli::runCommand(parsed.options);
    std::cout << outcome.out << std::flush;
    std::cerr << outcome.err << std::flush;
    return outcome.exitCode;
}
