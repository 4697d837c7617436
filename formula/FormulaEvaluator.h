#pragma once

#include "common/OperatorMessages.h"
#include "formula/FormulaCells.h"

#include <array>
#include <cstdint>
#include <string>

namespace quelsor {

// Token kinds of the formula scanner; the numbers index the parser's action table.
enum TokenKind : std::uint8_t {
    TokPlus = 0,
    TokMinus = 1,
    TokTimes = 2,
    TokDivide = 3,
    TokPower = 4,
    TokColon = 5,
    TokOpen = 6,
    TokClose = 7,
    TokNumber = 8,
    TokCell = 9,
    TokFunction = 10,
    TokEnd = 11,
    TokBad = 12,
};

// One entry of the parse stack: the parser state (0..30) and the value of the symbol it stands
// for: a number, a cell reference (column 0..99, row index 0..99) or a function (index into the
// function table).
struct ParseEntry {
    std::uint8_t state = 0;
    double number = 0.0;
    std::int32_t column = 0;
    std::int32_t row = 0;
    std::int32_t function = 0;
};

// Converts the raw value of a zone into the value shown to the operator: a table-driven
// shift-reduce parser over numbers, cell references (Z1, A1:Z1), + - * / ^, a unary minus and
// eighteen one-argument functions, computing each reduction at once.
//
// A formula is at most kMaxFormulaLength characters; a longer one is refused. An evaluation
// allocates nothing and changes no cell. The evaluator is not reentrant: one evaluation at a time.
class FormulaEvaluator {
public:
    static constexpr int kMaxFormulaLength = 79;
    static constexpr int kStackSize = 20;
    static constexpr int kFunctionCount = 18;

    // cells: the table formulas read; messages: where "Parser stack overflow." is shown (none
    // when null). Both are not owned and must outlive the evaluator.
    explicit FormulaEvaluator(CellTable& cells, IOperatorMessages* messages = nullptr);

    // Evaluates text. On success status is 1 (no cell reference) or 2 (at least one), the result
    // is the formula's value and text is overwritten with its upper-case form (same length). On
    // failure status is 0, the result 0.0 and text is left as it was.
    double EvaluateFormula(std::string& text, std::int32_t& status);

    // The value of a cell for formulas: an empty slot 0.0, a cell without a number +infinity.
    double ReadCell(int column, int row) const;

    // The table formulas read (the evaluator itself never changes a cell).
    CellTable& Cells() const { return cells_; }

    // Name of function index 0..17, in the order the scanner tries them.
    static const char* FunctionName(int index);

private:
    void ScanToken();
    bool MatchFunctionName();
    bool ScanCellRef();
    bool ScanNumber();
    void PushEntry(const ParseEntry& entry);
    ParseEntry PopEntry();
    void ShiftToken(int state);
    void ApplyRule(int rule);
    double RangeSum(const ParseEntry& first, const ParseEntry& second);

    CellTable& cells_;
    IOperatorMessages* const messages_;

    // Working state of the evaluation in progress.
    std::array<char, kMaxFormulaLength + 1> text_ {};
    int length_ = 0;
    int position_ = 0;
    TokenKind token_ = TokEnd;
    ParseEntry tokenValue_ {};
    std::array<ParseEntry, kStackSize> parseStack_ {};
    int stackDepth_ = 0;
    bool error_ = false;
    bool cellSeen_ = false;
};

// The message shown when a formula nests too deeply for the parse stack.
inline constexpr char kParserStackOverflow[] = "Parser stack overflow.";

} // namespace quelsor
