// quelsor-cli formula: evaluates a conversion formula against zone values given on the command
// line, with the evaluator and zone cells the window uses.

#include "CommandLine.h"
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

    const char kFormulaDescription[]
        = R"usage(Evaluates EXPR as a zone conversion formula, as the parameter report does. The
cells Z1 to Z100 exist and hold no number (a reference to one reads as
infinity) until given a value with --cell. Prints one line: the status, the
value (%.17g) and the formula text after evaluation (upper case when it
succeeded), separated by tabs. Status 1: no cell reference, 2: cells read,
0: the formula could not be evaluated (value 0). An EXPR may begin with -
("-Z1/2"); one that begins with -- goes after --.
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

} // namespace

int RunFormula(const std::vector<std::string>& args)
{
    CommandLine line("formula", kFormulaDescription,
        "Exit status: 0 when the formula evaluates, 1 when it does not, 2 for a usage\n"
        "error. \"Parser stack overflow.\" is printed on stderr when it occurs.\n");
    std::vector<std::string> cellTexts;
    std::vector<std::string> expressions;
    line.App()
        .add_option("--cell", cellTexts,
            "store VALUE (a decimal number) in cell ZN, N from 1 to 100; repeatable")
        ->option_text("ZN=VALUE")
        ->allow_extra_args(false) // one ZN=VALUE each time
        ->check(Accepting("cell", "ZN=VALUE, N from 1 to 100", [](std::string& text) {
            CellValue cell;
            return ParseCell(text, cell);
        }));
    line.App().add_option("EXPR", expressions)->expected(1)->allow_extra_args(false);
    line.KeepDashedOperands(expressions);
    if (const auto done = line.Parse(args))
        return *done;
    if (expressions.size() != 1)
        return line.UsageError(expressions.empty() ? "missing EXPR" : "only one EXPR is allowed");

    // The cells as the window creates them: Z1..Z100, no number until a value is stored.
    CellTable table;
    ZoneCells zoneCells(table);
    for (const std::string& given : cellTexts) {
        CellValue cell;
        ParseCell(given, cell);
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
