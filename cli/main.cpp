// tivaro: the command-line companion of tivaro-manager (see `tivaro --help`).
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <iostream>

#include "cli/commands.h"

namespace tivaro::cli {
namespace {

// Asks on the terminal; nothing when stdin is not one (a script, a pipe).
std::optional<bool> AskOnTerminal(const std::string& question) {
    if (!isatty(STDIN_FILENO)) return std::nullopt;
    std::cerr << question << " [y/N] " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    std::transform(answer.begin(), answer.end(), answer.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return answer == "y" || answer == "yes" || answer == "j" || answer == "ja";
}

}  // namespace
}  // namespace tivaro::cli

int main(int argc, char** argv) {
    using namespace tivaro::cli;
    const std::vector<std::string> args(argv + 1, argv + argc);
    Options options;
    try {
        options = ParseCommandLine(args);
    } catch (const UsageError& e) {
        std::cerr << "tivaro: " << e.what() << "\n";
        std::cerr << "Try 'tivaro --help'.\n";
        return kUsage;
    }
    if (options.version) {
        std::cout << VersionText();
        return kDone;
    }
    if (options.help) {
        std::cout << HelpText(options.command);
        return kDone;
    }
    return Runner(options, std::cout, std::cerr, AskOnTerminal).Run();
}
