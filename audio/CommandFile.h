#pragma once

#include <string>

namespace quelsor {

// Name of the command file the generator button writes in the current directory.
inline constexpr const char* kCommandFileName = "tmp_dtmf.wav";
// Shown (formatted with the file name) when the command file cannot be written.
inline constexpr const char* kCommandFileOpenError
    = "Creation/Ouverture du fichier %s impossible. Abandon\n";

// The command sequence of a request text as the generator button sends it: the text up to its
// first space, upper-cased ("12ab Etat" gives "12AB"; a text starting with a space gives "").
std::string CommandSequenceOf(const std::string& comboText);

// Writes the command file of a request text: opens path with "wb", writes a provisional header
// (data size 1000), the tones of CommandSequenceOf(comboText), then the header again with the
// real data size. Returns false when the file cannot be opened, and also when a write fails
// (full disk, ...), so that a damaged command is never played; the caller then shows
// CommandFileOpenMessage(path) and abandons the request.
bool WriteCommandFile(const std::string& path, const std::string& comboText);

// kCommandFileOpenError formatted with path.
std::string CommandFileOpenMessage(const std::string& path);

} // namespace quelsor
