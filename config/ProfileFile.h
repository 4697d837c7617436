#pragma once

#include "common/StringList.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quelsor {

// A profile (.ini) file read into memory, with the conventions the configuration relies on:
// - "[name]" starts a section; "name=value" is a key of the section above it; a line whose
//   first non-blank character is ';' is a comment; any other line (no '=', or keys before the
//   first section) is ignored;
// - section and key names are compared without regard to ASCII letter case and are listed in
//   file order; the first of duplicate sections or keys wins (a repeated section is ignored as
//   a whole, it does not add to the first);
// - blanks (spaces, tabs) around names and values are trimmed; a value wrapped in one pair of
//   matching quotes (' or ") loses them;
// - lines end with LF, CRLF or CR; a UTF-8 byte order mark is skipped;
// - the file is read as UTF-8; a file that is not valid UTF-8 is read as Windows-1252. Names
//   and values are handed out in UTF-8 either way.
// There is no length limit on names, values or lists.
class ProfileFile {
public:
    // Reads fileName (UTF-8 path). A missing or unreadable file leaves the profile empty and
    // returns false.
    bool Load(const std::string& fileName);
    // Takes the contents of a file from memory.
    void Parse(std::string_view bytes);

    // True when the file was taken as Windows-1252 (it was not valid UTF-8).
    bool IsWindows1252() const { return windows1252_; }

    StringList SectionNames() const;
    // Key names of section, in file order; empty when there is no such section.
    StringList KeyNames(std::string_view section) const;
    // The value of key in section, or defaultValue when the key is absent. A key that is
    // present with an empty value reads as the empty text.
    std::string ReadString(
        std::string_view section, std::string_view key, const std::string& defaultValue) const;
    // The value read with ReadIniInteger: defaultValue when absent or not an integer.
    std::int32_t ReadInteger(
        std::string_view section, std::string_view key, std::int32_t defaultValue) const;

private:
    struct Key {
        std::string name;
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Key> keys;
        std::unordered_map<std::string, std::size_t> keyIndex; // folded name -> keys index
    };
    const Section* FindSection(std::string_view name) const;

    std::vector<Section> sections_;
    std::unordered_map<std::string, std::size_t> sectionIndex_; // folded name -> sections_ index
    bool windows1252_ = false;
};

// The contents of a profile file (bytes) with value written under section and key: the key's
// line is rewritten after its '=' (the name and blanks before the value are kept), or
// "key=value" is inserted after the last key of the section, or "[section]" and "key=value"
// are appended at the end. Every other byte is kept; added lines take the file's own line end
// (the first one found, else the platform's). The texts are UTF-8 and are written in the file's
// encoding. Returns nothing when the texts cannot be stored in a profile file (a line break
// anywhere, an empty key, '=' in the key, ']' in the section, a name starting with '[' or ';',
// blanks around a name).
std::optional<std::string> WithProfileString(
    std::string_view bytes, std::string_view section, std::string_view key, std::string_view value);

// Writes value under section and key of the file fileName (UTF-8 path) as WithProfileString
// does, creating the file if it does not exist. A symbolic link is written through to the file
// it names and stays a link. The contents are stored with ReplaceFileContents: never in a file
// the user may not write, through a scratch file and a rename where the folder allows it, in
// place otherwise. Returns false when the file exists but cannot be read or written, or the
// texts cannot be stored; the file is then unchanged.
bool WriteProfileString(const std::string& fileName, std::string_view section, std::string_view key,
    std::string_view value);

// fileName made absolute and normalised, for messages (UTF-8).
std::string FullPathOf(const std::string& fileName);

} // namespace quelsor
