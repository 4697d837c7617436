#pragma once

#include <string>
#include <vector>

namespace quelsor {

// UTF-8, the program's text encoding, to and from the UTF-16 of the Windows wide APIs. Written
// without the system's converters so that they behave the same everywhere (and can be tested on
// any platform): a malformed sequence or a lone surrogate makes the conversion fail.
bool WideFromUtf8(const std::string& text, std::wstring& wide);
bool Utf8FromWide(const std::wstring& wide, std::string& text);

// The program's arguments in UTF-8, argv[0] included. On Windows they are read again from the
// wide command line (argv holds them in the ANSI code page, which loses characters); elsewhere
// they are argv as given.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Lets a Windows console show the program's UTF-8 output as text; nothing elsewhere. Bytes
// written to files and pipes are the same either way.
void UseUtf8Console();

} // namespace quelsor
