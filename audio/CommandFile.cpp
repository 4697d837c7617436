#include "CommandFile.h"

#include "audio/ToneGenerator.h"
#include "audio/WavHeader.h"
#include "common/FileOpen.h"
#include "common/SplitText.h"

#include <cstdio>

namespace quelsor {

std::string CommandSequenceOf(const std::string& comboText)
{
    StringList pieces;
    SplitText(comboText, pieces, " ");
    std::string sequence = pieces.front();
    for (char& c : sequence) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return sequence;
}

bool WriteCommandFile(const std::string& path, const std::string& comboText)
{
    std::FILE* file = OpenFileUtf8(path, "wb");
    if (file == nullptr)
        return false;
    WavHeader header;
    BuildWavHeader(header, kCommandFileProvisionalSize);
    bool ok = WriteWavHeader(header, file) == 1;
    WriteDTMFSequence(CommandSequenceOf(comboText), file);
    const long end = std::ftell(file);
    ok = ok && end >= kWavHeaderSize && std::ferror(file) == 0;
    BuildWavHeader(header, static_cast<std::int32_t>(end - kWavHeaderSize));
    ok = WriteWavHeader(header, file) == 1 && ok;
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

std::string CommandFileOpenMessage(const std::string& path)
{
    const std::string format = kCommandFileOpenError;
    const std::size_t at = format.find("%s");
    return format.substr(0, at) + path + format.substr(at + 2);
}

} // namespace quelsor
