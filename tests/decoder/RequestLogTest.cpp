#include "decoder/RequestLog.h"

#include <gtest/gtest.h>

#include <string>

namespace quelsor {
namespace {

    TEST(RequestLogTest, AnswerLineIsTheTextAndItsLength)
    {
        const struct {
            std::string received;
            std::string line;
        } rows[] = {
            { "1", "1 (1)" }, { "78D1CA1C#", "78D1CA1C# (9)" },
            { std::string(120, '5'), std::string(120, '5') + " (120)" }, // longer than a buffer
            { "%s%d", "%s%d (4)" }, // the text is never taken for a format
        };
        for (const auto& row : rows)
            EXPECT_EQ(AnswerLogLine(row.received), row.line);
        EXPECT_STREQ(kAwaitingAnswer, "Attente de la r\xC3\xA9ponse");
    }

    // Without a quiet block between its characters an answer's floor is 1 and its noise unknown.
    TEST(RequestLogTest, QualityLineWithoutNoise)
    {
        EXPECT_EQ(AnswerQualityLogLine(AnswerQuality { 7500.0, 0.0, 120, 0, 30 }),
            "Niveau 7500.0 (seuil +48.0 dB), bruit -, S/B 77.5 dB");
    }

} // namespace
} // namespace quelsor
