#include "FileOpen.h"

#ifdef _WIN32
#include "common/WideText.h"
#endif

namespace quelsor {

std::FILE* OpenFileUtf8(const std::string& fileName, const char* mode)
{
#ifdef _WIN32
    std::wstring wideName;
    if (!WideFromUtf8(fileName, wideName))
        return nullptr;
    const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(wideName.c_str(), wideMode.c_str());
#else
    return std::fopen(fileName.c_str(), mode);
#endif
}

std::string PathInFolder(const std::string& folder, const std::string& fileName)
{
    if (folder.empty())
        return fileName;
#ifdef _WIN32
    const bool separated = folder.back() == '\\' || folder.back() == '/' || folder.back() == ':';
    return separated ? folder + fileName : folder + "\\" + fileName;
#else
    return folder.back() == '/' ? folder + fileName : folder + "/" + fileName;
#endif
}

bool RemoveFileUtf8(const std::string& fileName)
{
#ifdef _WIN32
    std::wstring wideName;
    return WideFromUtf8(fileName, wideName) && _wremove(wideName.c_str()) == 0;
#else
    return std::remove(fileName.c_str()) == 0;
#endif
}

} // namespace quelsor
