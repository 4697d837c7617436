#include "ProfileFile.h"

#include "FileReplace.h"
#include "IniInteger.h"
#include "TextEncoding.h"
#include "Utf8Path.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace quelsor {

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
    constexpr std::string_view kPlatformLineEnd = "\r\n";
#else
    constexpr std::string_view kPlatformLineEnd = "\n";
#endif
    constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

    bool IsBlank(char c) { return c == ' ' || c == '\t'; }

    // [begin, end) of bytes without the blanks at both ends.
    void Trim(std::string_view bytes, std::size_t& begin, std::size_t& end)
    {
        while (begin < end && IsBlank(bytes[begin]))
            ++begin;
        while (end > begin && IsBlank(bytes[end - 1]))
            --end;
    }

    // One line of the file: its text is [begin, contentEnd), its line end [contentEnd, end).
    struct RawLine {
        std::size_t begin;
        std::size_t contentEnd;
        std::size_t end;
    };

    struct RawKey {
        std::string name; // UTF-8
        std::string value; // UTF-8, trimmed and unquoted
        std::size_t line;
        std::size_t valueBegin; // first byte of the value after the '=' and its blanks
    };

    struct RawSection {
        std::string name;
        std::size_t lastLine; // header, or the last key line of the section
        std::vector<RawKey> keys;
        std::unordered_map<std::string, std::size_t> keyIndex; // folded name -> keys index
    };

    // The name as the lookups compare it: ASCII letters in lower case.
    std::string FoldCase(std::string_view name)
    {
        std::string folded(name);
        for (char& c : folded) {
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        }
        return folded;
    }

    // The file cut into lines, sections and keys, with the byte positions a write needs.
    struct RawProfile {
        std::vector<RawLine> lines;
        std::vector<RawSection> sections; // first occurrence of each name only
        std::unordered_map<std::string, std::size_t> sectionIndex; // folded name -> index
        std::string_view lineEnd; // the first line end of the file, else the platform's
        bool windows1252 = false;

        RawSection* Find(std::string_view name)
        {
            const auto found = sectionIndex.find(FoldCase(name));
            return found == sectionIndex.end() ? nullptr : &sections[found->second];
        }
    };

    RawProfile ParseRaw(std::string_view bytes)
    {
        RawProfile profile;
        profile.windows1252 = !IsValidUtf8(bytes);
        profile.lineEnd = kPlatformLineEnd;
        const auto decode = [&](std::size_t begin, std::size_t end) {
            const std::string_view text = bytes.substr(begin, end - begin);
            return profile.windows1252 ? Cp1252ToUtf8(text) : std::string(text);
        };

        std::size_t pos = bytes.starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0;
        bool lineEndFound = false;
        while (pos < bytes.size()) {
            std::size_t contentEnd = bytes.find_first_of("\r\n", pos);
            std::size_t end = contentEnd;
            if (contentEnd == std::string_view::npos) {
                contentEnd = end = bytes.size();
            } else {
                end = contentEnd + 1;
                if (bytes[contentEnd] == '\r' && end < bytes.size() && bytes[end] == '\n')
                    ++end;
                if (!lineEndFound) {
                    profile.lineEnd = bytes.substr(contentEnd, end - contentEnd);
                    lineEndFound = true;
                }
            }
            profile.lines.push_back(RawLine { pos, contentEnd, end });
            pos = end;
        }

        RawSection* current = nullptr; // null before the first section and in repeated ones
        for (std::size_t index = 0; index < profile.lines.size(); ++index) {
            const RawLine& line = profile.lines[index];
            std::size_t begin = line.begin;
            std::size_t end = line.contentEnd;
            Trim(bytes, begin, end);
            if (begin == end || bytes[begin] == ';')
                continue;
            if (bytes[begin] == '[') {
                const std::size_t close = bytes.substr(begin, end - begin).rfind(']');
                if (close == std::string_view::npos)
                    continue; // not a section header, and nothing else either
                std::size_t nameBegin = begin + 1;
                std::size_t nameEnd = begin + close;
                Trim(bytes, nameBegin, nameEnd);
                const std::string name = decode(nameBegin, nameEnd);
                current = nullptr;
                if (profile.sectionIndex.emplace(FoldCase(name), profile.sections.size()).second) {
                    profile.sections.push_back(RawSection { name, index, {}, {} });
                    current = &profile.sections.back();
                }
                continue;
            }
            const std::size_t equals = bytes.substr(begin, end - begin).find('=');
            if (current == nullptr || equals == std::string_view::npos)
                continue;
            std::size_t nameBegin = begin;
            std::size_t nameEnd = begin + equals;
            Trim(bytes, nameBegin, nameEnd);
            if (nameBegin == nameEnd)
                continue;
            std::size_t valueBegin = begin + equals + 1;
            std::size_t valueEnd = end;
            Trim(bytes, valueBegin, valueEnd);
            std::string name = decode(nameBegin, nameEnd);
            if (!current->keyIndex.emplace(FoldCase(name), current->keys.size()).second)
                continue; // the first of duplicate keys wins
            std::string value = decode(valueBegin, valueEnd);
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
                && value.back() == value.front())
                value = value.substr(1, value.size() - 2);
            current->keys.push_back(
                RawKey { std::move(name), std::move(value), index, valueBegin });
            current->lastLine = index;
        }
        return profile;
    }

    bool StorableName(std::string_view name)
    {
        return !name.empty() && !IsBlank(name.front()) && !IsBlank(name.back())
            && name.front() != '[' && name.front() != ';'
            && name.find_first_of("\r\n") == std::string_view::npos;
    }

    // The whole file, or nothing when it cannot be read.
    std::optional<std::string> ReadAllBytes(const fs::path& path)
    {
        std::error_code error;
        if (fs::is_directory(path, error))
            return std::nullopt;
        std::ifstream in(path, std::ios::binary);
        if (!in.is_open())
            return std::nullopt;
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad())
            return std::nullopt;
        return bytes;
    }

} // namespace

bool ProfileFile::Load(const std::string& fileName)
{
    const std::optional<std::string> bytes = ReadAllBytes(PathFromUtf8(fileName));
    Parse(bytes ? *bytes : std::string());
    return bytes.has_value();
}

void ProfileFile::Parse(std::string_view bytes)
{
    RawProfile raw = ParseRaw(bytes);
    windows1252_ = raw.windows1252;
    sections_.clear();
    sectionIndex_ = std::move(raw.sectionIndex);
    for (RawSection& rawSection : raw.sections) {
        Section section { std::move(rawSection.name), {}, std::move(rawSection.keyIndex) };
        for (RawKey& key : rawSection.keys)
            section.keys.push_back(Key { std::move(key.name), std::move(key.value) });
        sections_.push_back(std::move(section));
    }
}

const ProfileFile::Section* ProfileFile::FindSection(std::string_view name) const
{
    const auto found = sectionIndex_.find(FoldCase(name));
    return found == sectionIndex_.end() ? nullptr : &sections_[found->second];
}

StringList ProfileFile::SectionNames() const
{
    StringList names;
    for (const Section& section : sections_)
        names.push_back(section.name);
    return names;
}

StringList ProfileFile::KeyNames(std::string_view section) const
{
    StringList names;
    if (const Section* found = FindSection(section)) {
        for (const Key& key : found->keys)
            names.push_back(key.name);
    }
    return names;
}

std::string ProfileFile::ReadString(
    std::string_view section, std::string_view key, const std::string& defaultValue) const
{
    if (const Section* found = FindSection(section)) {
        if (const auto entry = found->keyIndex.find(FoldCase(key)); entry != found->keyIndex.end())
            return found->keys[entry->second].value;
    }
    return defaultValue;
}

std::int32_t ProfileFile::ReadInteger(
    std::string_view section, std::string_view key, std::int32_t defaultValue) const
{
    return ReadIniInteger(ReadString(section, key, std::string()), defaultValue);
}

std::optional<std::string> WithProfileString(
    std::string_view bytes, std::string_view section, std::string_view key, std::string_view value)
{
    if (!StorableName(section) || section.find(']') != std::string_view::npos || !StorableName(key)
        || key.find('=') != std::string_view::npos
        || value.find_first_of("\r\n") != std::string_view::npos)
        return std::nullopt;

    RawProfile raw = ParseRaw(bytes);
    const auto encode = [&](std::string_view text) {
        return raw.windows1252 ? Utf8ToCp1252(text) : std::string(text);
    };
    const std::string keyLine = encode(key) + "=" + encode(value);
    std::string out(bytes);

    RawSection* found = raw.Find(section);
    if (found == nullptr) {
        if (!out.empty() && out != kUtf8Bom && out.back() != '\n' && out.back() != '\r')
            out += raw.lineEnd;
        // Appended piece by piece: GCC 12 at -O3 sees `"[" + temporary` as an overlapping copy.
        out += '[';
        out += encode(section);
        out += ']';
        out += raw.lineEnd;
        out += keyLine;
        out += raw.lineEnd;
        return out;
    }
    if (const auto existing = found->keyIndex.find(FoldCase(key));
        existing != found->keyIndex.end()) {
        const RawKey& line = found->keys[existing->second];
        out.replace(
            line.valueBegin, raw.lines[line.line].contentEnd - line.valueBegin, encode(value));
        return out;
    }
    const RawLine& last = raw.lines[found->lastLine];
    if (last.end > last.contentEnd)
        out.insert(last.end, keyLine + std::string(raw.lineEnd));
    else
        out.insert(last.end, std::string(raw.lineEnd) + keyLine);
    return out;
}

bool WriteProfileString(const std::string& fileName, std::string_view section, std::string_view key,
    std::string_view value)
{
    std::error_code error;
    fs::path path = PathFromUtf8(fileName);
    // Write through a symbolic link to the file it names, and leave the link in place.
    if (fs::is_symlink(path, error)) {
        const fs::path target = fs::weakly_canonical(path, error);
        if (error)
            return false;
        path = target;
    }

    std::string bytes;
    const bool existed = fs::exists(path, error);
    if (existed) {
        std::optional<std::string> current = ReadAllBytes(path);
        if (!current)
            return false; // never replace a file whose contents could not be kept
        bytes = std::move(*current);
    }
    const std::optional<std::string> updated = WithProfileString(bytes, section, key, value);
    return updated && ReplaceFileContents(path, *updated);
}

std::string FullPathOf(const std::string& fileName)
{
    std::error_code error;
    const fs::path path = PathFromUtf8(fileName);
    const fs::path absolute = fs::absolute(path, error);
    return Utf8FromPath(error ? path : absolute.lexically_normal());
}

} // namespace quelsor
