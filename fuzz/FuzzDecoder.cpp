// Response decoder and report: random requests, zones, formulas and received strings must
// never read or write outside the answer buffer, and the pending request must follow its rules.

#include "decoder/ResponseDecoder.h"
#include "decoder/StandaloneDecoderHost.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

constexpr char kDtmf[] = "0123456789*#ABCD";
constexpr char kFormulaCharacters[] = "0123456789.E+-*/^:() ZAXCVabsqrtlog";

std::string DtmfString(FuzzedDataProvider& input, std::size_t maxLength)
{
    const std::size_t length = input.ConsumeIntegralInRange<std::size_t>(0, maxLength);
    std::string text;
    text.reserve(length);
    for (std::size_t i = 0; i < length && input.remaining_bytes() > 0; ++i)
        text += kDtmf[input.ConsumeIntegralInRange<int>(0, 15)];
    return text;
}

std::string FormulaText(FuzzedDataProvider& input)
{
    if (input.ConsumeBool())
        return input.ConsumeRandomLengthString(100);
    const std::size_t length = input.ConsumeIntegralInRange<std::size_t>(0, 30);
    std::string text;
    for (std::size_t i = 0; i < length && input.remaining_bytes() > 0; ++i)
        text += kFormulaCharacters[input.ConsumeIntegralInRange<std::size_t>(
            0, sizeof kFormulaCharacters - 2)];
    return text;
}

std::int32_t BitNumber(FuzzedDataProvider& input)
{
    // Mostly plausible fields, sometimes anything at all.
    return input.ConsumeBool() ? input.ConsumeIntegralInRange<std::int32_t>(-16, 600)
                               : input.ConsumeIntegral<std::int32_t>();
}

std::unique_ptr<quelsor::TParamSeq> RandomSequence(FuzzedDataProvider& input)
{
    auto sequence = std::make_unique<quelsor::TParamSeq>();
    sequence->LgSeq = input.ConsumeIntegralInRange<std::int32_t>(-2, 40);
    const int zones = input.ConsumeIntegralInRange<int>(0, 8);
    for (int z = 0; z < zones; ++z) {
        auto zone = std::make_unique<quelsor::TParamZone>();
        zone->Num = input.ConsumeIntegralInRange<std::int32_t>(-3, 103);
        zone->Name = input.ConsumeRandomLengthString(12);
        zone->Mode = input.ConsumeIntegralInRange<std::int32_t>(-1, 2);
        zone->StartBit = BitNumber(input);
        zone->BitLength = BitNumber(input);
        const int labels = input.ConsumeIntegralInRange<int>(0, 3);
        for (int l = 0; l < labels; ++l) {
            zone->Values.push_back(
                std::to_string(input.ConsumeIntegralInRange<std::int32_t>(-2, 300)));
            zone->Labels.push_back(input.ConsumeRandomLengthString(8));
        }
        zone->Formula = FormulaText(input);
        sequence->Zones.Add("Z" + std::to_string(zone->Num), std::move(zone));
    }
    return sequence;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quelsor;
    FuzzedDataProvider input(data, size);

    quelsor::StringList items;
    SeqList sequences;
    const int count = input.ConsumeIntegralInRange<int>(0, 3);
    for (int s = 0; s < count; ++s) {
        const std::string command = DtmfString(input, 6);
        items.push_back(command + " " + input.ConsumeRandomLengthString(10));
        sequences.Add("SEQ_" + command, RandomSequence(input));
    }
    std::size_t lines = 0;
    StandaloneDecoderHost host(
        [&lines](const std::string&) { ++lines; }, items, input.ConsumeBool());

    CellTable table;
    FormulaEvaluator evaluator(table);
    ResponseDecoder decoder(host, sequences, evaluator);
    if (input.ConsumeBool())
        decoder.CreateZoneCells();

    while (input.remaining_bytes() > 0) {
        decoder.pendingSeq = input.ConsumeIntegralInRange<std::int32_t>(-2, count + 1);
        const std::int32_t before = decoder.pendingSeq;
        std::string received;
        switch (input.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: // the echo of the pending command
            if (before >= 0 && before < count)
                received = items[static_cast<std::size_t>(before)].substr(
                    0, items[static_cast<std::size_t>(before)].find(' '));
            break;
        case 1: // a very long answer
            received = std::string(input.ConsumeIntegralInRange<std::size_t>(1000, 3000),
                kDtmf[input.ConsumeIntegralInRange<int>(0, 15)]);
            break;
        case 2: // any bytes at all
            received = input.ConsumeRandomLengthString(64);
            break;
        default:
            received = DtmfString(input, 80);
            break;
        }
        decoder.DecodeResponse(received);
        if (decoder.pendingSeq != -1 && decoder.pendingSeq != before)
            std::abort();
        if (before < 0 && decoder.pendingSeq != before)
            std::abort();
    }
    return 0;
}
