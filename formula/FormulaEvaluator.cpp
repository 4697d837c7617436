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

    constexpr int kStates = 31;
    constexpr int kTokenKinds = 13;
    constexpr int kRules = 16;
    constexpr std::uint8_t kErrorState = 30;

    enum class Act : std::uint8_t { Error, Shift, Reduce, Accept };

    struct Action {
        Act act = Act::Error;
        std::uint8_t target = 0; // state to shift to, or rule to reduce by
    };

    using ActionTable = std::array<std::array<Action, kTokenKinds>, kStates>;

    // What the parser does for each state and token kind; every entry not set is an error.
    constexpr ActionTable MakeActionTable()
    {
        ActionTable table {};
        auto shift = [&](int state, TokenKind token, int target) {
            table[static_cast<std::size_t>(state)][token]
                = Action { Act::Shift, static_cast<std::uint8_t>(target) };
        };
        auto reduceAll = [&](int state, int rule) {
            for (Action& action : table[static_cast<std::size_t>(state)])
                action = Action { Act::Reduce, static_cast<std::uint8_t>(rule) };
        };
        auto operandStart = [&](int state) {
            shift(state, TokNumber, 10);
            shift(state, TokCell, 7);
            shift(state, TokFunction, 11);
            shift(state, TokOpen, 9);
        };
        for (int state : { 0, 9, 12, 13, 14, 15, 16, 20 }) {
            operandStart(state);
            shift(state, TokMinus, 5);
        }
        table[1][TokEnd] = Action { Act::Accept, 0 };
        shift(1, TokPlus, 12);
        shift(1, TokMinus, 13);
        reduceAll(2, 3);
        shift(2, TokTimes, 14);
        shift(2, TokDivide, 15);
        reduceAll(3, 6);
        reduceAll(4, 8);
        shift(4, TokPower, 16);
        operandStart(5);
        reduceAll(6, 10);
        reduceAll(7, 13);
        shift(7, TokColon, 18);
        reduceAll(8, 12);
        reduceAll(10, 15);
        shift(11, TokOpen, 20);
        reduceAll(17, 9);
        shift(18, TokCell, 26);
        shift(19, TokPlus, 12);
        shift(19, TokMinus, 13);
        shift(19, TokClose, 27);
        reduceAll(21, 1);
        shift(21, TokTimes, 14);
        shift(21, TokDivide, 15);
        reduceAll(22, 2);
        shift(22, TokTimes, 14);
        shift(22, TokDivide, 15);
        reduceAll(23, 4);
        reduceAll(24, 5);
        reduceAll(25, 7);
        reduceAll(26, 11);
        reduceAll(27, 14);
        shift(28, TokPlus, 12);
        shift(28, TokMinus, 13);
        shift(28, TokClose, 29);
        reduceAll(29, 16);
        return table;
    }

    constexpr ActionTable kActions = MakeActionTable();

    using GotoTable = std::array<std::array<std::uint8_t, kStates>, kRules + 1>;

    // The state entered after reducing by a rule, indexed by rule and by the state uncovered
    // once the rule's entries are popped; every entry not set is the error state.
    constexpr GotoTable MakeGotoTable()
    {
        GotoTable table {};
        for (auto& row : table)
            row.fill(kErrorState);
        auto set = [&](int firstRule, int lastRule, std::initializer_list<int> from, int to) {
            for (int rule = firstRule; rule <= lastRule; ++rule) {
                for (int state : from)
                    table[static_cast<std::size_t>(rule)][static_cast<std::size_t>(state)]
                        = static_cast<std::uint8_t>(to);
            }
        };
        set(1, 3, { 0 }, 1);
        set(1, 3, { 9 }, 19);
        set(1, 3, { 20 }, 28);
        set(4, 6, { 0, 9, 20 }, 2);
        set(4, 6, { 12 }, 21);
        set(4, 6, { 13 }, 22);
        set(7, 8, { 0, 9, 12, 13, 20 }, 3);
        set(7, 8, { 14 }, 23);
        set(7, 8, { 15 }, 24);
        set(7, 8, { 16 }, 25);
        set(9, 10, { 0, 9, 12, 13, 14, 15, 16, 20 }, 4);
        set(11, 12, { 0, 9, 12, 13, 14, 15, 16, 20 }, 6);
        set(11, 12, { 5 }, 17);
        set(13, 16, { 0, 5, 9, 12, 13, 14, 15, 16, 20 }, 8);
        return table;
    }

    constexpr GotoTable kNextState = MakeGotoTable();

    // Number of stack entries each rule's right-hand side occupies (index 0 unused).
    constexpr std::array<int, kRules + 1> kRuleLength
        = { 0, 3, 3, 1, 3, 3, 1, 3, 1, 2, 1, 3, 1, 1, 3, 1, 4 };

    std::uint8_t NextState(int rule, int uncovered)
    {
        if (rule < 1 || rule > kRules || uncovered < 0 || uncovered >= kStates)
            return kErrorState;
        return kNextState[static_cast<std::size_t>(rule)][static_cast<std::size_t>(uncovered)];
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
    PushEntry(ParseEntry {});
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
    const int count = kRuleLength[static_cast<std::size_t>(rule)];
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
    switch (rule) {
    case 1:
        value = left + right;
        break;
    case 2:
        value = left - right;
        break;
    case 4:
        value = left * right;
        break;
    case 5:
        value = right == 0.0 ? std::numeric_limits<double>::infinity() : left / right;
        break;
    case 7:
        value = std::pow(left, right);
        break;
    case 9:
        value = -right;
        break;
    case 11:
        value = RangeSum(rhs[0], rhs[2]);
        break;
    case 13:
        value = ReadCell(rhs[0].column, rhs[0].row);
        break;
    case 14:
        value = rhs[1].number;
        break;
    case 16:
        value = ApplyFunction(rhs[0].function, rhs[2].number);
        break;
    default: // 3, 6, 8, 10, 12, 15: the single symbol's value
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

FormulaEvaluator& formulaEvaluator()
{
    static FormulaEvaluator evaluator;
    return evaluator;
}

double EvaluateFormula(std::string& text, std::int32_t& status)
{
    return formulaEvaluator().EvaluateFormula(text, status);
}

} // namespace quelsor
