// Formula evaluator: any text must evaluate or fail cleanly, with the status and text rules
// kept.

#include "formula/FormulaEvaluator.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

class CountMessages : public quelsor::IOperatorMessages {
public:
    void ShowMessage(const std::string& text) override
    {
        if (text != quelsor::kParserStackOverflow)
            std::abort();
        ++count;
    }
    int count = 0;
};

std::string Upper(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quelsor;
    static CellTable table;
    static ZoneCells zones(table);
    static bool filled = false;
    if (!filled) {
        // Numbers in some zone cells, extreme ones included; the others hold no number.
        const double values[] = { 21, 5, -3, 100, 0, -0.0, 1e308, -1e308, 2147483648.0, 0.5 };
        for (int n = 1; n <= 10; ++n) {
            zones.Cell(n)->Kind = 1;
            zones.Cell(n)->Value = values[n - 1];
        }
        filled = true;
    }
    CountMessages messages;
    FormulaEvaluator evaluator(table, &messages);

    const std::string original(reinterpret_cast<const char*>(data), size);
    std::string text = original;
    std::int32_t status = -1;
    const double value = evaluator.EvaluateFormula(text, status);

    if (status == 0) {
        if (value != 0.0 || text != original)
            std::abort();
    } else if (status == 1 || status == 2) {
        if (text != Upper(original) || original.size() > 79)
            std::abort();
    } else {
        std::abort();
    }
    if (messages.count > 1 || (messages.count == 1 && status != 0))
        std::abort();
    (void)std::isnan(value);
    return 0;
}
