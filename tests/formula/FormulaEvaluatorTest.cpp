#include "tests/support/MessagesRecorder.h"

#include "formula/FormulaEvaluator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace quelsor {
namespace {

    constexpr double kInf = std::numeric_limits<double>::infinity();

    // Z1 = 21, Z2 = 5, Z3 = -3, Z4 = 100; the other zone cells hold no number.
    class FormulaTest : public ::testing::Test {
    protected:
        FormulaTest()
            : zones(table)
            , evaluator(table, &messages)
        {
            const double values[] = { 21, 5, -3, 100 };
            for (int n = 1; n <= 4; ++n) {
                zones.Cell(n)->Kind = 1;
                zones.Cell(n)->Value = values[n - 1];
            }
        }

        double Eval(std::string text, std::int32_t& status)
        {
            return evaluator.EvaluateFormula(text, status);
        }

        CellTable table;
        ZoneCells zones;
        testing::MessagesRecorder messages;
        FormulaEvaluator evaluator;
    };

    struct Row {
        const char* formula;
        double value;
        int status;
    };

    void CheckRows(FormulaEvaluator& evaluator, const std::vector<Row>& rows)
    {
        for (const Row& row : rows) {
            std::string text = row.formula;
            std::int32_t status = -1;
            const double value = evaluator.EvaluateFormula(text, status);
            EXPECT_EQ(status, row.status) << row.formula;
            if (std::isinf(row.value))
                EXPECT_EQ(value, row.value) << row.formula;
            else
                EXPECT_NEAR(value, row.value, 1e-12 * std::max(1.0, std::fabs(row.value)))
                    << row.formula;
        }
    }

    TEST_F(FormulaTest, OperatorsAndPrecedence)
    {
        CheckRows(evaluator,
            {
                { "1+2*3", 7, 1 },
                { "(1+2)*3", 9, 1 },
                { "3-2-1", 0, 1 },
                { "16/4/2", 2, 1 },
                { "2^3^2", 512, 1 },
                { "-2^2", 4, 1 },
                { "-(2^2)", -4, 1 },
                { "2*-3", -6, 1 },
                { "2--1", 3, 1 },
                { "2^-1", 0.5, 1 },
                { "2^-2^2", 16, 1 },
                { "-(-1)", 1, 1 },
                { "1+2+3+4+5+6+7+8+9+10+11+12+13+14+15+16+17+18+19+20", 210, 1 },
                { "10/0", kInf, 1 },
                { "-10/0", kInf, 1 },
                { "0/0", kInf, 1 },
                { "- -1", 0, 0 },
                { "2*--1", 0, 0 },
                { "+1", 0, 0 },
                { "1 2", 0, 0 },
                { "(1+2", 0, 0 },
                { "1+2)", 0, 0 },
                { "", 0, 0 },
                { "   ", 0, 0 },
                { "1+", 0, 0 },
            });
    }

    TEST_F(FormulaTest, CellsAndRanges)
    {
        CheckRows(evaluator,
            {
                { "Z1/10", 2.1, 2 },
                { "3*Z3", -9, 2 },
                { "SQRT(Z1+4)", 5, 2 },
                { "Z1:Z4", 123, 2 },
                { "Z1:Z4/4", 30.75, 2 },
                { "-Z1:Z2", -26, 2 },
                { "A1:Z1", 21, 2 },
                { "Z3:Z3", -3, 2 },
                { "Z4:Z1", 0, 0 },
                { "Z1:A1", 0, 0 },
                { "A1:Z2", 0, 0 },
                { "Z1:", 0, 0 },
                { "X1", 0, 2 },
                { "AA1", 0, 2 },
                { "CV1", 0, 2 },
                { "CV100", 0, 2 },
                { "CW1", 0, 0 },
                { "Z01", 21, 2 },
                { "Z001", 21, 2 },
                { "Z1000", 0, 0 },
                { "Z0", 0, 0 },
                { "Z101", 0, 0 },
                { "Z 1", 0, 0 },
                { "X", 0, 0 },
                { "E2", 0, 2 },
                // A zone cell that never received a value holds no number.
                { "Z5", kInf, 2 },
                { "Z4:Z5", kInf, 2 },
            });
    }

    TEST_F(FormulaTest, Numbers)
    {
        CheckRows(evaluator,
            {
                { "1E2", 100, 1 },
                { "1e2", 100, 1 },
                { "1E", 1, 1 },
                { "1E+", 1, 1 },
                { "2.5E-1", 0.25, 1 },
                { "1E308", 1e308, 1 },
                { "1E309", 0, 0 },
                { "1E-400", 0, 0 },
                { "0E-400", 0, 1 },
                { "1E0004", 0, 0 },
                { "1E004", 10000, 1 },
                { ".5", 0.5, 1 },
                { "5.", 5, 1 },
                { ".", 0, 0 },
                { "1.2.3", 0, 0 },
                { "1,5", 0, 0 },
                { "1\t+2", 0, 0 },
                { "007", 7, 1 },
            });
    }

    TEST_F(FormulaTest, Functions)
    {
        const double pi = std::acos(-1.0);
        CheckRows(evaluator,
            {
                { "abs(-3)", 3, 1 },
                { "ACOS(1)", 0, 1 },
                { "ASIN(1)", pi / 2, 1 },
                { "ATAN(1)", pi / 4, 1 },
                { "COSH(0)", 1, 1 },
                { "COS (0)", 1, 1 },
                { "EXP(1)", std::exp(1.0), 1 },
                { "LOG10(1000)", 3, 1 },
                { "LOG(1)", 0, 1 },
                { "POW10(2.9)", 100, 1 },
                { "POW10(-2)", 0.01, 1 },
                { "ROUND(2.5)", 3, 1 },
                { "ROUND(2.4)", 2, 1 },
                { "ROUND(-2.5)", -2, 1 },
                { "ROUND(-2.7)", -2, 1 },
                { "SINH(0)", 0, 1 },
                { "SIN(0)", 0, 1 },
                { "SQRT(16)", 4, 1 },
                { "SQR(3)", 9, 1 },
                { "TANH(0)", 0, 1 },
                { "TAN(0)", 0, 1 },
                { "TRUNC(-2.7)", -2, 1 },
                { "LOG(0)", -kInf, 1 },
                { "ABSZ1", 0, 0 },
                { "ABS 1", 0, 0 },
                { "COSX(1)", 0, 0 },
                { "ABS(1", 0, 0 },
                // Arguments beyond the 32-bit range give its nearest end; NaN gives 0.
                { "TRUNC(1E10)", 2147483647, 1 },
                { "TRUNC(-1E10)", -2147483648.0, 1 },
                { "ROUND(1E300)", 2147483647, 1 },
                { "ROUND(-1E300)", -2147483648.0, 1 },
                { "TRUNC(2147483647.9)", 2147483647, 1 },
                { "TRUNC(-2147483648.9)", -2147483648.0, 1 },
                // The first values past each end, where a plain conversion is undefined (x86
                // gives -2147483648 for both).
                { "TRUNC(2147483648)", 2147483647, 1 },
                { "ROUND(2147483647.5)", 2147483647, 1 },
                { "TRUNC(-2147483649)", -2147483648.0, 1 },
                { "ROUND(-2147483649.5)", -2147483648.0, 1 },
                { "TRUNC(Z5)", 2147483647, 2 },
                { "TRUNC(0/0-0/0)", 0, 1 },
                { "ROUND(SQRT(-1))", 0, 1 },
                { "POW10(SQRT(-1))", 1, 1 },
                { "POW10(1E10)", kInf, 1 },
                { "POW10(-1E10)", 0, 1 },
            });
        std::string text = "SQRT(-1)";
        std::int32_t status = 0;
        EXPECT_TRUE(std::isnan(evaluator.EvaluateFormula(text, status)));
        EXPECT_EQ(status, 1);
    }

    std::string Nested(int depth, const std::string& open, const std::string& inner)
    {
        std::string text;
        for (int i = 0; i < depth; ++i)
            text += open;
        text += inner;
        text += std::string(static_cast<std::size_t>(depth), ')');
        return text;
    }

    std::string PowerChain(int operands)
    {
        std::string text = "1";
        for (int i = 1; i < operands; ++i)
            text += "^1";
        return text;
    }

    TEST_F(FormulaTest, StackLimits)
    {
        struct Limit {
            std::string fits;
            std::string overflows;
        };
        const Limit limits[] = {
            { Nested(17, "(", "1"), Nested(18, "(", "1") },
            { Nested(8, "ABS(", "1"), Nested(9, "ABS(", "1") },
            { PowerChain(10), PowerChain(11) },
        };
        for (const Limit& limit : limits) {
            std::string text = limit.fits;
            std::int32_t status = 0;
            EXPECT_EQ(evaluator.EvaluateFormula(text, status), 1.0) << limit.fits;
            EXPECT_EQ(status, 1) << limit.fits;
            EXPECT_TRUE(messages.shown.empty()) << limit.fits;

            text = limit.overflows;
            EXPECT_EQ(evaluator.EvaluateFormula(text, status), 0.0) << limit.overflows;
            EXPECT_EQ(status, 0) << limit.overflows;
            ASSERT_EQ(messages.shown.size(), 1U) << limit.overflows;
            EXPECT_EQ(messages.shown[0], "Parser stack overflow.");
            messages.shown.clear();
        }
    }

    TEST_F(FormulaTest, TextIsUpperCasedOnlyOnSuccess)
    {
        std::string text = "z1*0.1";
        std::int32_t status = 0;
        EXPECT_DOUBLE_EQ(evaluator.EvaluateFormula(text, status), 2.1);
        EXPECT_EQ(status, 2);
        EXPECT_EQ(text, "Z1*0.1");

        text = "sqrt(z1+4) + e2";
        EXPECT_DOUBLE_EQ(evaluator.EvaluateFormula(text, status), 5.0);
        EXPECT_EQ(text, "SQRT(Z1+4) + E2");

        text = "z1 + é";
        EXPECT_EQ(evaluator.EvaluateFormula(text, status), 0.0);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(text, "z1 + é");
    }

    TEST_F(FormulaTest, LongFormulaIsRefusedNotCut)
    {
        // 79 characters evaluate; 80 are refused even though the first 79 would parse.
        std::string text = "1" + std::string(77, ' ') + "1";
        std::string longer = text + "0";
        text[1] = '+';
        longer[1] = '+';
        std::int32_t status = 0;
        ASSERT_EQ(text.size(), 79U);
        EXPECT_EQ(evaluator.EvaluateFormula(text, status), 2.0);
        EXPECT_EQ(status, 1);
        const std::string before = longer;
        EXPECT_EQ(evaluator.EvaluateFormula(longer, status), 0.0);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(longer, before);
    }

    TEST_F(FormulaTest, NothingCarriesOverBetweenEvaluations)
    {
        std::int32_t status = 0;
        std::string text = Nested(18, "(", "Z1");
        evaluator.EvaluateFormula(text, status);
        EXPECT_EQ(status, 0);
        text = "2+2";
        EXPECT_EQ(evaluator.EvaluateFormula(text, status), 4.0);
        EXPECT_EQ(status, 1); // the cell seen by the failed evaluation does not count
    }

    TEST_F(FormulaTest, NumbersIgnoreTheLocale)
    {
        const char* previous = std::setlocale(LC_NUMERIC, nullptr);
        const std::string saved = previous != nullptr ? previous : "C";
        const char* comma[] = { "de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "fr_FR" };
        bool set = false;
        for (const char* name : comma)
            set = set || std::setlocale(LC_NUMERIC, name) != nullptr;
        if (!set)
            GTEST_SKIP() << "no locale with a decimal comma installed";
        std::string text = "2.5*2";
        std::int32_t status = 0;
        const double value = evaluator.EvaluateFormula(text, status);
        std::setlocale(LC_NUMERIC, saved.c_str());
        EXPECT_EQ(value, 5.0);
    }

    TEST(OwnedEvaluator, ReadsOnlyItsOwnCellTable)
    {
        // Two decoders side by side (the window and a decoder session, say) each own a table:
        // a zone stored in one is invisible to the other's formulas (an empty slot reads 0).
        CellTable mine;
        CellTable other;
        ZoneCells zones(mine);
        zones.Cell(7)->Kind = 1;
        zones.Cell(7)->Value = 21;
        FormulaEvaluator evaluator(mine);
        FormulaEvaluator stranger(other);
        std::string text = "Z7*2";
        std::int32_t status = 0;
        EXPECT_EQ(evaluator.EvaluateFormula(text, status), 42.0);
        EXPECT_EQ(status, 2);
        text = "Z7*2";
        EXPECT_EQ(stranger.EvaluateFormula(text, status), 0.0);
        EXPECT_EQ(status, 2);
        EXPECT_EQ(&evaluator.Cells(), &mine);
    }

} // namespace
} // namespace quelsor
