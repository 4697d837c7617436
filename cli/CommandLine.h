#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quelsor::cli {

// A command's command line, declared once with CLI11: its options, their checks and the help
// drawn from them (79 columns). A usage error is one line, "quelsor-cli COMMAND: PROBLEM", then
// "Run 'quelsor-cli COMMAND --help' for usage.", exit status 2. An option of one value given
// twice is a usage error; a flag or a repeatable option is not.
class CommandLine {
public:
    // description: the paragraphs between the usage line and the options; footer: those after
    // the options. Both are written as shown, every line ending with '\n'.
    CommandLine(
        const char* command, const std::string& description, const std::string& footer = {});

    CLI::App& App() { return app_; }

    // Parses the arguments that follow the command's name. The exit status when the command is
    // done: 0 after -h or --help (the help on stdout), 2 after a usage error; nothing when the
    // command goes on.
    std::optional<int> Parse(const std::vector<std::string>& args);

    // Says a usage error that the command finds once the options are parsed; returns 2.
    int UsageError(const std::string& problem) const;

    // Arguments that begin with one '-' and name no option go to operands rather than being
    // refused (formula's EXPR may begin with '-': "-Z1/2").
    void KeepDashedOperands(std::vector<std::string>& operands) { dashedOperands_ = &operands; }

private:
    // The first argument that nothing took, as a problem; empty when there is none.
    std::string LeftOver();

    const char* command_;
    CLI::App app_;
    std::vector<std::string>* dashedOperands_ = nullptr;
};

// The checks of the options' values, for CLI::Option::check (or transform, when the check hands
// the value on in another form). A value refused gives the usage error "invalid WHAT 'VALUE'
// (expected EXPECTED)", without the parenthesis when expected is empty. accepts may rewrite the
// value it accepts.
CLI::Validator Accepting(const std::string& what, const std::string& expected,
    std::function<bool(std::string&)> accepts);
// A whole decimal number from min to max, read as ParseInteger reads it ("010" is 10, "+5" is 5)
// and handed on written plainly: a transform, so that CLI11 never reads "010" as octal.
CLI::Validator Decimal(int min, int max, const std::string& what, const std::string& expected);
// Refuses an empty value with the usage error problem.
CLI::Validator NotEmpty(const std::string& problem);

} // namespace quelsor::cli
