#pragma once

#include "common/OperatorMessages.h"
#include "config/ParamSeq.h"

#include <string>

namespace quelsor {

// Texts of the configuration unit, byte for byte as the operator sees them.
namespace ConfigTexts {
    // A sequence section, label key or label value that lacks a part; %d is the missing index.
    inline constexpr const char* kListIndexOutOfBounds = "List index out of bounds (%d)";
    // A failed write of the configuration file; %s is the file's full path.
    inline constexpr const char* kUnableToWrite = "Unable to write to %s";
} // namespace ConfigTexts

// Range and default of the threshold slider position stored as [General] Seuil. The detector's
// threshold is kThresholdMax - position.
inline constexpr int kThresholdMin = 20;
inline constexpr int kThresholdMax = 200;
inline constexpr int kThresholdDefault = 200;

inline constexpr const char* kGeneralSection = "General";
inline constexpr const char* kThresholdKey = "Seuil";
// The sound input and output to use, by name ([General] Entree, Sortie); see DeviceChoice.
inline constexpr const char* kInputDeviceKey = "Entree";
inline constexpr const char* kOutputDeviceKey = "Sortie";

// What the loader fills in the window. The window implements it with its slider and its request
// combo box; tests and the command line record the calls.
class IConfigurationTarget {
public:
    virtual ~IConfigurationTarget() = default;
    // Slider position, already clamped to kThresholdMin..kThresholdMax.
    virtual void SetThresholdPosition(int position) = 0;
    // Empties the request combo box (items and edit text).
    virtual void ClearSequenceItems() = 0;
    // Appends one request item, e.g. "1234 Etat general" (UTF-8).
    virtual void AddSequenceItem(const std::string& text) = 0;
    // The sound input and output the file names ([General] Entree and Sortie, UTF-8, trimmed);
    // empty for the system's default.
    virtual void SetSoundDevices(const std::string& /*input*/, const std::string& /*output*/) { }
};

// Outcome of LoadConfiguration, for callers that want more than the operator was shown.
struct ConfigurationLoadResult {
    bool fileRead = false; // the file existed and could be read
    std::string error; // the message shown to the operator; empty when the whole file loaded
};

// The configuration file of an executable: same folder and base name, extension ".ini"
// (C:\Prog\Quelsor.exe -> C:\Prog\Quelsor.ini, /opt/quelsor/quelsor -> /opt/quelsor/quelsor.ini).
// Paths are UTF-8.
std::string IniPathForExecutable(const std::string& executablePath);

// Reads the configuration file fileName (UTF-8 path) into target and sequences:
// - empties sequences and the target's items, then sets the threshold position from
//   [General] Seuil (default kThresholdDefault, clamped to kThresholdMin..kThresholdMax), and
//   the sound devices from [General] Entree and Sortie (default empty);
// - every section whose name starts with "SEQ" (any case) and reads SEQx_<command>_<description>
//   gives one item "<COMMAND> <description>" and one TParamSeq appended to sequences under the
//   section name, with LGSEQ, its zone keys Z<n>=Name,Mode,StartBit,BitLength,Formula (and
//   Unit,DeviceClass, for publishing only) and their label keys Z<n>_<x>=value,label;
// - a sequence name with fewer than three parts, a label key before any zone key of its section
//   or a label value with fewer than two fields stops the load there: the operator is shown
//   "List index out of bounds (%d)" (2, -1 or 1) and what was loaded before stays.
// A missing or unreadable file gives no sequence, threshold kThresholdDefault, and no message.
// Texts are handed over in UTF-8 (a file that is not UTF-8 is read as Windows-1252).
ConfigurationLoadResult LoadConfiguration(const std::string& fileName, IConfigurationTarget& target,
    SeqList& sequences, IOperatorMessages& messages);

class ProfileFile;
// LoadConfiguration over a profile already in memory (ProfileFile::Parse), for checks that
// work without files; fileRead is true in the result.
ConfigurationLoadResult LoadConfigurationFromProfile(const ProfileFile& profile,
    IConfigurationTarget& target, SeqList& sequences, IOperatorMessages& messages);

// LoadConfiguration on IniPathForExecutable(executablePath); the window passes its own path.
ConfigurationLoadResult LoadDefaultConfiguration(const std::string& executablePath,
    IConfigurationTarget& target, SeqList& sequences, IOperatorMessages& messages);

// Writes value under section and key of the configuration file fileName (UTF-8 path; the window
// passes IniPathForExecutable of its own path), creating the file, the section or the key as
// needed; every other byte of the file is kept. On failure shows "Unable to write to %s" with
// the file's full path and returns false. The window calls it at close with "General", "Seuil"
// and the slider position in decimal.
bool SaveSetting(const std::string& fileName, const std::string& section, const std::string& key,
    const std::string& value, IOperatorMessages& messages);

} // namespace quelsor
