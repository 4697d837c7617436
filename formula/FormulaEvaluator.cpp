#include "FormulaEvaluator.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>

#if !defined(__cpp_lib_to_chars) || __cpp_lib_to_chars < 201611L
#include <cerrno>
#include <clocale>
#endif

namespace quelsor {

namespace {

    // Tried in this order as prefixes of the text: a longer name comes before the shorter
    // name it begins with (COSH before COS, LOG10 before LOG, SQRT before SQR).
    constexpr const char* kFunctionNames[FormulaEvaluator::kFunctionCount]
        = { "ABS", "ACOS", "ASIN", "ATAN", "COSH", "COS", "EXP", "LOG10", "LOG", "POW10", "ROUND",
              "SINH", "SIN", "SQRT", "SQR", "TANH", "TAN", "TRUNC" };

    enum Function {
        FnAbs,
        FnAcos,
        FnAsin,
        FnAtan,
        FnCosh,
        FnCos,
        FnExp,
        FnLog10,
        FnLog,
        FnPow10,
        FnRound,
        FnSinh,
        FnSin,
        FnSqrt,
        FnSqr,
        FnTanh,
        FnTan,
        FnTrunc,
    };

    // The grammar the parser recognises, one numbered rule per line (a rule's number is its
    // value in the tables below). Upper-case names are tokens: NUMBER, CELL (Z1, AA10 ...),
    // FUNCTION (one of the names above, without its parenthesis).
    //
    //    1  Expr    -> Expr + Term            sum
    //    2  Expr    -> Expr - Term            difference
    //    3  Expr    -> Term
    //    4  Term    -> Term * Factor          product
    //    5  Term    -> Term / Factor          quotient; a division by 0 gives +infinity
    //    6  Term    -> Factor
    //    7  Factor  -> Unary ^ Factor         power, right-associative: 2^3^2 = 2^9
    //    8  Factor  -> Unary
    //    9  Unary   -> - Operand              one minus only, bound tighter than ^: -2^2 = 4
    //   10  Unary   -> Operand
    //   11  Operand -> CELL : CELL            sum of a row or column range
    //   12  Operand -> Atom
    //   13  Atom    -> CELL                   the cell's value
    //   14  Atom    -> ( Expr )
    //   15  Atom    -> NUMBER
    //   16  Atom    -> FUNCTION ( Expr )
    //
    // The parser is a table-driven LR parser: the action table says, for the state on top of the
    // stack and the next token, whether to shift the token (and enter which state), reduce by a
    // rule, accept or fail; after a reduction the goto table gives the state entered, from the
    // rule's left-hand symbol and the state uncovered by popping its right-hand side. Each
    // reduction computes its value at once (ApplyRule).
    enum Symbol : std::uint8_t { Expr, Term, Factor, Unary, Operand, Atom, kSymbolCount };

    enum Rule : std::uint8_t {
        NoRule = 0, // rules count from 1
        ExprPlus = 1,
        ExprMinus = 2,
        ExprTerm = 3,
        TermTimes = 4,
        TermDivide = 5,
        TermFactor = 6,
        FactorPower = 7,
        FactorUnary = 8,
        UnaryMinus = 9,
        UnaryOperand = 10,
        OperandRange = 11,
        OperandAtom = 12,
        AtomCell = 13,
        AtomParen = 14,
        AtomNumber = 15,
        AtomFunction = 16,
    };
    constexpr int kRules = 16;

    struct RuleShape {
        Symbol left; // the symbol the rule makes
        int length; // stack entries its right-hand side occupies
    };

    constexpr std::array<RuleShape, kRules + 1> kRuleShapes { {
        { Expr, 0 }, // NoRule
        { Expr, 3 }, // Expr + Term
        { Expr, 3 }, // Expr - Term
        { Expr, 1 }, // Term
        { Term, 3 }, // Term * Factor
        { Term, 3 }, // Term / Factor
        { Term, 1 }, // Factor
        { Factor, 3 }, // Unary ^ Factor
        { Factor, 1 }, // Unary
        { Unary, 2 }, // - Operand
        { Unary, 1 }, // Operand
        { Operand, 3 }, // CELL : CELL
        { Operand, 1 }, // Atom
        { Atom, 1 }, // CELL
        { Atom, 3 }, // ( Expr )
        { Atom, 1 }, // NUMBER
        { Atom, 4 }, // FUNCTION ( Expr )
    } };

    // The parser's states, each named after what has just been read (the symbols on top of the
    // stack it stands for).
    enum State : std::uint8_t {
        StStart = 0, // nothing yet
        StExpr = 1, // Expr, at the top level
        StTerm = 2, // Term, first of an Expr
        StFactor = 3, // Factor, first of a Term
        StUnary = 4, // Unary, first of a Factor
        StMinus = 5, // a unary -
        StOperand = 6, // Operand, the whole of a Unary
        StCell = 7, // CELL, alone or the first of a range
        StAtom = 8, // Atom
        StOpen = 9, // (
        StNumber = 10, // NUMBER
        StFunction = 11, // FUNCTION
        StPlus = 12, // Expr +
        StBinaryMinus = 13, // Expr -
        StTimes = 14, // Term *
        StDivide = 15, // Term /
        StPower = 16, // Unary ^
        StMinusOperand = 17, // - Operand
        StColon = 18, // CELL :
        StOpenExpr = 19, // ( Expr
        StFunctionOpen = 20, // FUNCTION (
        StPlusTerm = 21, // Expr + Term
        StMinusTerm = 22, // Expr - Term
        StTimesFactor = 23, // Term * Factor
        StDivideFactor = 24, // Term / Factor
        StPowerFactor = 25, // Unary ^ Factor
        StRange = 26, // CELL : CELL
        StClose = 27, // ( Expr )
        StFunctionExpr = 28, // FUNCTION ( Expr
        StFunctionClose = 29, // FUNCTION ( Expr )
        StError = 30, // entered by a goto that does not exist: every action fails
    };
    constexpr int kStates = 31;
    constexpr int kTokenKinds = 13;

    // The states where a Unary may begin (an operand, or a minus before one).
    constexpr State kUnaryStarts[]
        = { StStart, StOpen, StPlus, StBinaryMinus, StTimes, StDivide, StPower, StFunctionOpen };

    enum class Act : std::uint8_t { Error, Shift, Reduce, Accept };

    struct Action {
        Act act = Act::Error;
        std::uint8_t target = 0; // State to shift to, or Rule to reduce by
    };

    using ActionTable = std::array<std::array<Action, kTokenKinds>, kStates>;

    // What the parser does for each state and token kind; every entry not set is an error. A
    // state that reduces does so whatever the token, except for the tokens it shifts.
    constexpr ActionTable MakeActionTable()
    {
        ActionTable table {};
        auto shift = [&](State state, TokenKind token, State target) {
            table[state][token] = Action { Act::Shift, target };
        };
        auto reduceAll = [&](State state, Rule rule) {
            for (Action& action : table[state])
                action = Action { Act::Reduce, rule };
        };
        auto operandStart = [&](State state) {
            shift(state, TokNumber, StNumber);
            shift(state, TokCell, StCell);
            shift(state, TokFunction, StFunction);
            shift(state, TokOpen, StOpen);
        };
        for (State state : kUnaryStarts) {
            operandStart(state);
            shift(state, TokMinus, StMinus);
        }
        operandStart(StMinus); // no second minus
        table[StExpr][TokEnd] = Action { Act::Accept, 0 };
        shift(StExpr, TokPlus, StPlus);
        shift(StExpr, TokMinus, StBinaryMinus);
        reduceAll(StTerm, ExprTerm);
        shift(StTerm, TokTimes, StTimes);
        shift(StTerm, TokDivide, StDivide);
        reduceAll(StFactor, TermFactor);
        reduceAll(StUnary, FactorUnary);
        shift(StUnary, TokPower, StPower);
        reduceAll(StOperand, UnaryOperand);
        reduceAll(StCell, AtomCell);
        shift(StCell, TokColon, StColon);
        reduceAll(StAtom, OperandAtom);
        reduceAll(StNumber, AtomNumber);
        shift(StFunction, TokOpen, StFunctionOpen);
        reduceAll(StMinusOperand, UnaryMinus);
        shift(StColon, TokCell, StRange);
        shift(StOpenExpr, TokPlus, StPlus);
        shift(StOpenExpr, TokMinus, StBinaryMinus);
        shift(StOpenExpr, TokClose, StClose);
        reduceAll(StPlusTerm, ExprPlus);
        shift(StPlusTerm, TokTimes, StTimes);
        shift(StPlusTerm, TokDivide, StDivide);
        reduceAll(StMinusTerm, ExprMinus);
        shift(StMinusTerm, TokTimes, StTimes);
        shift(StMinusTerm, TokDivide, StDivide);
        reduceAll(StTimesFactor, TermTimes);
        reduceAll(StDivideFactor, TermDivide);
        reduceAll(StPowerFactor, FactorPower);
        reduceAll(StRange, OperandRange);
        reduceAll(StClose, AtomParen);
        shift(StFunctionExpr, TokPlus, StPlus);
        shift(StFunctionExpr, TokMinus, StBinaryMinus);
        shift(StFunctionExpr, TokClose, StFunctionClose);
        reduceAll(StFunctionClose, AtomFunction);
        return table;
    }

    constexpr ActionTable kActions = MakeActionTable();

    using GotoTable = std::array<std::array<State, kStates>, kSymbolCount>;

    // The state entered after a reduction, by the rule's left-hand symbol and the state uncovered
    // once its right-hand side is popped; every entry not set is StError.
    constexpr GotoTable MakeGotoTable()
    {
        GotoTable table {};
        for (auto& row : table)
            row.fill(StError);
        auto set = [&](Symbol symbol, std::initializer_list<State> from, State to) {
            for (State state : from)
                table[symbol][state] = to;
        };
        set(Expr, { StStart }, StExpr);
        set(Expr, { StOpen }, StOpenExpr);
        set(Expr, { StFunctionOpen }, StFunctionExpr);
        set(Term, { StStart, StOpen, StFunctionOpen }, StTerm);
        set(Term, { StPlus }, StPlusTerm);
        set(Term, { StBinaryMinus }, StMinusTerm);
        set(Factor, { StStart, StOpen, StPlus, StBinaryMinus, StFunctionOpen }, StFactor);
        set(Factor, { StTimes }, StTimesFactor);
        set(Factor, { StDivide }, StDivideFactor);
        set(Factor, { StPower }, StPowerFactor);
        for (State state : kUnaryStarts) {
            table[Unary][state] = StUnary;
            table[Operand][state] = StOperand;
            table[Atom][state] = StAtom;
        }
        set(Operand, { StMinus }, StMinusOperand);
        set(Atom, { StMinus }, StAtom);
        return table;
    }

    constexpr GotoTable kNextState = MakeGotoTable();

    State NextState(int rule, int uncovered)
    {
        if (rule < 1 || rule > kRules || uncovered < 0 || uncovered >= kStates)
            return StError;
        return kNextState[kRuleShapes[static_cast<std::size_t>(rule)].left]
                         [static_cast<std::size_t>(uncovered)];
    }

    bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    bool IsLetter(char c) { return c >= 'A' && c <= 'Z'; }

    // v truncated toward zero to a signed 32-bit integer; values beyond the range give its
    // nearest end and NaN gives 0, so no conversion is ever undefined.
    std::int32_t TruncateToInt32(double v)
    {
        if (std::isnan(v))
            return 0;
        if (v >= 2147483648.0)
            return std::numeric_limits<std::int32_t>::max();
        if (v <= -2147483649.0)
            return std::numeric_limits<std::int32_t>::min();
        return static_cast<std::int32_t>(v);
    }

    double ApplyFunction(int function, double x)
    {
        switch (function) {
        case FnAbs:
            return std::fabs(x);
        case FnAcos:
            return std::acos(x);
        case FnAsin:
            return std::asin(x);
        case FnAtan:
            return std::atan(x);
        case FnCosh:
            return std::cosh(x);
        case FnCos:
            return std::cos(x);
        case FnExp:
            return std::exp(x);
        case FnLog10:
            return std::log10(x);
        case FnLog:
            return std::log(x);
        case FnPow10:
            return std::pow(10.0, TruncateToInt32(x));
        case FnRound:
            return TruncateToInt32(x + 0.5);
        case FnSinh:
            return std::sinh(x);
        case FnSin:
            return std::sin(x);
        case FnSqrt:
            return std::sqrt(x);
        case FnSqr:
            return x * x;
        case FnTanh:
            return std::tanh(x);
        case FnTan:
            return std::tan(x);
        case FnTrunc:
            return TruncateToInt32(x);
        default:
            return 0.0;
        }
    }

    // Decimal text [first, last) to a double, whatever the locale. Reads the longest valid
    // prefix; false when the value is too large for a double or so small it can only be zero.
    bool ConvertNumber(const char* first, const char* last, double& value)
    {
#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
        value = 0.0;
        const std::from_chars_result result = std::from_chars(first, last, value);
        return result.ec != std::errc::result_out_of_range;
#else
        // strtod reads the locale's decimal separator: put it in place of the full stop.
        const char* point = std::localeconv()->decimal_point;
        const std::size_t pointLength = std::strlen(point);
        char buffer[2 * FormulaEvaluator::kMaxFormulaLength + 8];
        std::size_t used = 0;
        for (const char* c = first; c != last && used + pointLength + 1 < sizeof buffer; ++c) {
            if (*c == '.') {
                std::memcpy(buffer + used, point, pointLength);
                used += pointLength;
            } else {
                buffer[used++] = *c;
            }
        }
        buffer[used] = '\0';
        errno = 0;
        value = std::strtod(buffer, nullptr);
        return !(errno == ERANGE && (std::isinf(value) || value == 0.0));
#endif
    }

} // namespace

FormulaEvaluator::FormulaEvaluator(CellTable& cells, IOperatorMessages* messages)
    : cells_(cells)
    , messages_(messages)
{
}

const char* FormulaEvaluator::FunctionName(int index)
{
    return index >= 0 && index < kFunctionCount ? kFunctionNames[index] : "";
}

double FormulaEvaluator::ReadCell(int column, int row) const
{
    return cells_.ReadCell(column, row);
}

double FormulaEvaluator::EvaluateFormula(std::string& text, std::int32_t& status)
{
    status = 0;
    if (text.size() > static_cast<std::size_t>(kMaxFormulaLength))
        return 0.0;

    error_ = false;
    cellSeen_ = false;
    length_ = static_cast<int>(text.size());
    for (int i = 0; i < length_; ++i) {
        const char c = text[static_cast<std::size_t>(i)];
        text_[static_cast<std::size_t>(i)] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    }
    text_[static_cast<std::size_t>(length_)] = '\0';
    position_ = 0;

    stackDepth_ = 0;
    PushEntry(ParseEntry {}); // StStart
    ScanToken();

    bool accepted = false;
    while (!accepted && !error_) {
        const std::uint8_t state = parseStack_[static_cast<std::size_t>(stackDepth_ - 1)].state;
        const Action action = kActions[state][token_];
        switch (action.act) {
        case Act::Shift:
            ShiftToken(action.target);
            break;
        case Act::Reduce:
            ApplyRule(action.target);
            break;
        case Act::Accept:
            accepted = true;
            break;
        case Act::Error:
            error_ = true;
            break;
        }
    }
    if (error_)
        return 0.0;

    status = cellSeen_ ? 2 : 1;
    std::memcpy(text.data(), text_.data(), static_cast<std::size_t>(length_));
    return parseStack_[static_cast<std::size_t>(stackDepth_ - 1)].number;
}

void FormulaEvaluator::ScanToken()
{
    tokenValue_ = ParseEntry {};
    while (position_ < length_ && text_[static_cast<std::size_t>(position_)] == ' ')
        ++position_;
    if (position_ >= length_) {
        token_ = TokEnd;
        return;
    }
    const char c = text_[static_cast<std::size_t>(position_)];
    if (IsDigit(c) || c == '.') {
        token_ = ScanNumber() ? TokNumber : TokBad;
        return;
    }
    if (IsLetter(c)) {
        if (MatchFunctionName()) {
            token_ = TokFunction;
        } else if (ScanCellRef()) {
            token_ = TokCell;
            cellSeen_ = true;
        } else {
            token_ = TokBad;
        }
        return;
    }
    ++position_;
    switch (c) {
    case '(':
        token_ = TokOpen;
        break;
    case ')':
        token_ = TokClose;
        break;
    case '*':
        token_ = TokTimes;
        break;
    case '+':
        token_ = TokPlus;
        break;
    case '-':
        token_ = TokMinus;
        break;
    case '/':
        token_ = TokDivide;
        break;
    case ':':
        token_ = TokColon;
        break;
    case '^':
        token_ = TokPower;
        break;
    default:
        token_ = TokBad;
        break;
    }
}

// Digits with at most one full stop among them, then optionally E, a sign and up to three
// exponent digits (a fourth is left for the next token).
bool FormulaEvaluator::ScanNumber()
{
    const int start = position_;
    bool point = false;
    while (position_ < length_) {
        const char c = text_[static_cast<std::size_t>(position_)];
        if (IsDigit(c)) {
            ++position_;
        } else if (c == '.' && !point) {
            point = true;
            ++position_;
        } else {
            break;
        }
    }
    if (position_ - start == 1 && point)
        return false; // a lone full stop
    if (position_ < length_ && text_[static_cast<std::size_t>(position_)] == 'E') {
        ++position_;
        if (position_ < length_
            && (text_[static_cast<std::size_t>(position_)] == '+'
                || text_[static_cast<std::size_t>(position_)] == '-'))
            ++position_;
        for (int digits = 0; digits < 3 && position_ < length_
             && IsDigit(text_[static_cast<std::size_t>(position_)]);
             ++digits)
            ++position_;
    }
    const char* first = text_.data() + start;
    return ConvertNumber(first, text_.data() + position_, tokenValue_.number);
}

bool FormulaEvaluator::MatchFunctionName()
{
    const char* here = text_.data() + position_;
    const std::size_t left = static_cast<std::size_t>(length_ - position_);
    for (int i = 0; i < kFunctionCount; ++i) {
        const std::size_t nameLength = std::strlen(kFunctionNames[i]);
        if (nameLength <= left && std::memcmp(here, kFunctionNames[i], nameLength) == 0) {
            tokenValue_.function = i;
            position_ += static_cast<int>(nameLength);
            return true;
        }
    }
    return false;
}

// One or two letters naming a column below 100, then one to three digits naming a row 1..100.
bool FormulaEvaluator::ScanCellRef()
{
    int column = text_[static_cast<std::size_t>(position_)] - 'A';
    ++position_;
    if (position_ < length_ && IsLetter(text_[static_cast<std::size_t>(position_)])) {
        column = (column + 1) * 26 + (text_[static_cast<std::size_t>(position_)] - 'A');
        ++position_;
    }
    if (column >= CellTable::kColumns)
        return false;
    int row = 0;
    int digits = 0;
    while (
        digits < 3 && position_ < length_ && IsDigit(text_[static_cast<std::size_t>(position_)])) {
        row = row * 10 + (text_[static_cast<std::size_t>(position_)] - '0');
        ++position_;
        ++digits;
    }
    if (digits == 0 || row < 1 || row > CellTable::kRows)
        return false;
    tokenValue_.column = column;
    tokenValue_.row = row - 1;
    return true;
}

void FormulaEvaluator::PushEntry(const ParseEntry& entry)
{
    if (stackDepth_ >= kStackSize) {
        if (messages_ != nullptr)
            messages_->ShowMessage(kParserStackOverflow);
        error_ = true;
        return;
    }
    parseStack_[static_cast<std::size_t>(stackDepth_++)] = entry;
}

ParseEntry FormulaEvaluator::PopEntry()
{
    if (stackDepth_ <= 0) {
        error_ = true;
        return ParseEntry {};
    }
    return parseStack_[static_cast<std::size_t>(--stackDepth_)];
}

void FormulaEvaluator::ShiftToken(int state)
{
    ParseEntry entry = tokenValue_;
    entry.state = static_cast<std::uint8_t>(state);
    PushEntry(entry);
    ScanToken();
}

void FormulaEvaluator::ApplyRule(int rule)
{
    const int count = kRuleShapes[static_cast<std::size_t>(rule)].length;
    std::array<ParseEntry, 4> rhs {}; // rhs[0] is the leftmost symbol
    for (int i = count - 1; i >= 0; --i)
        rhs[static_cast<std::size_t>(i)] = PopEntry();
    if (error_ || stackDepth_ == 0) {
        error_ = true;
        return;
    }

    const double left = rhs[0].number;
    const double right = rhs[static_cast<std::size_t>(count - 1)].number;
    double value = left;
    switch (static_cast<Rule>(rule)) {
    case ExprPlus:
        value = left + right;
        break;
    case ExprMinus:
        value = left - right;
        break;
    case TermTimes:
        value = left * right;
        break;
    case TermDivide:
        value = right == 0.0 ? std::numeric_limits<double>::infinity() : left / right;
        break;
    case FactorPower:
        value = std::pow(left, right);
        break;
    case UnaryMinus:
        value = -right;
        break;
    case OperandRange:
        value = RangeSum(rhs[0], rhs[2]);
        break;
    case AtomCell:
        value = ReadCell(rhs[0].column, rhs[0].row);
        break;
    case AtomParen:
        value = rhs[1].number;
        break;
    case AtomFunction:
        value = ApplyFunction(rhs[0].function, rhs[2].number);
        break;
    case NoRule:
    case ExprTerm:
    case TermFactor:
    case FactorUnary:
    case UnaryOperand:
    case OperandAtom:
    case AtomNumber: // the single symbol's value
        break;
    }

    ParseEntry result;
    result.number = value;
    result.state = NextState(rule, parseStack_[static_cast<std::size_t>(stackDepth_ - 1)].state);
    PushEntry(result);
}

// Sum of a row or column range, first to second inclusive; a range that runs backwards or
// shares neither row nor column is an error.
double FormulaEvaluator::RangeSum(const ParseEntry& first, const ParseEntry& second)
{
    double sum = 0.0;
    if (first.row == second.row) {
        if (second.column < first.column) {
            error_ = true;
            return 0.0;
        }
        for (int column = first.column; column <= second.column; ++column)
            sum += ReadCell(column, first.row);
    } else if (first.column == second.column) {
        if (second.row < first.row) {
            error_ = true;
            return 0.0;
        }
        for (int row = first.row; row <= second.row; ++row)
            sum += ReadCell(first.column, row);
    } else {
        error_ = true;
    }
    return sum;
}

} // namespace quelsor
