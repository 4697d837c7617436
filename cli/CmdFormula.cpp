// quelsor-cli formula: evaluates a conversion formula against zone values given on the command
// line, with the evaluator and zone cells the window uses.

#include "Commands.h"
#include "StderrMessages.h"

#include "formula/FormulaCells.h"
#include "formula/FormulaEvaluator.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

namespace quelsor::cli {

namespace {

    const char kFormulaUsage[] = R"usage(Usage: quelsor-cli formula [--cell ZN=VALUE]... EXPR

Evaluates EXPR as a zone conversion formula, as the parameter report does. The
cells Z1 to Z100 exist and hold no number (a reference to one reads as
infinity) until given a value with --cell. Prints one line: the status, the
value (%.17g) and the formula text after evaluation (upper case when it
succeeded), separated by tabs. Status 1: no cell reference, 2: cells read,
0: the formula could not be evaluated (value 0).

Options:
  --cell ZN=VALUE  store VALUE (a decimal number) in cell ZN, N from 1 to 100;
                   repeatable
  --               ends the options (for an EXPR that starts with --)
  -h, --help       show this help

Exit status: 0 when the formula evaluates, 1 when it does not, 2 for a usage
error. "Parser stack overflow." is printed on stderr when it occurs.
)usage";

    struct CellValue {
        int zone = 0;
        double value = 0.0;
    };

    // Reads "ZN=VALUE" (Z in either case, N 1..100, VALUE a finite decimal number).
    bool ParseCell(const std::string& text, CellValue& cell)
    {
        const std::size_t equals = text.find('=');
        if (equals == std::string::npos || equals < 2 || (text[0] != 'Z' && text[0] != 'z'))
            return false;
        const char* first = text.data() + 1;
        const char* last = text.data() + equals;
        auto [end, error] = std::from_chars(first, last, cell.zone);
        if (error != std::errc() || end != last || cell.zone < 1 || cell.zone > CellTable::kRows)
            return false;
        first = text.data() + equals + 1;
        last = text.data() + text.size();
        if (first == last)
            return false;
        const auto [valueEnd, valueError] = std::from_chars(first, last, cell.value);
        return valueError == std::errc() && valueEnd == last && std::isfinite(cell.value);
    }

    int UsageError(const char* format, const std::string& argument)
    {
        std::fprintf(stderr, "quelsor-cli formula: ");
        std::fprintf(stderr, format, argument.c_str());
        std::fprintf(stderr, "\nRun 'quelsor-cli formula --help' for usage.\n");
        return 2;
    }

} // namespace

int RunFormula(const std::vector<std::string>& args)
{
    std::vector<CellValue> cells;
    std::vector<std::string> expressions;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && (arg == "-h" || arg == "--help")) {
            std::fputs(kFormulaUsage, stdout);
            return 0;
        }
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "--cell" || arg.rfind("--cell=", 0) == 0)) {
            std::string value;
            if (arg == "--cell") {
                if (i + 1 >= args.size())
                    return UsageError("%s needs ZN=VALUE", arg);
                value = args[++i];
            } else {
                value = arg.substr(7);
            }
            CellValue cell;
            if (!ParseCell(value, cell))
                return UsageError("invalid cell '%s' (expected ZN=VALUE, N from 1 to 100)", value);
            cells.push_back(cell);
        } else if (!optionsEnded && arg.size() > 2 && arg.rfind("--", 0) == 0) {
            return UsageError("unknown option '%s'", arg);
        } else {
            expressions.push_back(arg);
        }
    }
    if (expressions.size() != 1)
        return UsageError("%s", expressions.empty() ? "missing EXPR" : "only one EXPR is allowed");

    // The cells as the window creates them: Z1..Z100, no number until a value is stored.
    CellTable table;
    ZoneCells zoneCells(table);
    for (const CellValue& cell : cells) {
        FormulaCell* target = zoneCells.Cell(cell.zone);
        target->Kind = 1;
        target->Value = cell.value;
    }

    StderrMessages messages;
    FormulaEvaluator evaluator(table, &messages);
    std::string text = expressions.front();
    std::int32_t status = 0;
    const double value = evaluator.EvaluateFormula(text, status);

    std::printf("%d\t%.17g\t%s\n", static_cast<int>(status), value, text.c_str());
    return status == 0 ? 1 : 0;
}

} // namespace quelsor::cli
