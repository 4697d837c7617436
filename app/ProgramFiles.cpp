#include "app/ProgramFiles.h"

#include "config/ConfigLocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>

namespace quelsor {

namespace {

    constexpr const char* kSampleName = "quelsor/quelsor.ini"; // under a share/ folder

} // namespace

std::string InstalledSampleConfiguration()
{
    const QString besidePrefix
        = QDir(QCoreApplication::applicationDirPath()).filePath("../share/" + QString(kSampleName));
    if (QFileInfo(besidePrefix).isFile())
        return QDir::cleanPath(besidePrefix).toStdString();
    return QStandardPaths::locate(QStandardPaths::GenericDataLocation, kSampleName).toStdString();
}

void ChooseProgramFiles(MainFormSetup& setup)
{
    const QString configFolder
        = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    const std::string userFolder = QDir::toNativeSeparators(configFolder).toStdString();
    const ConfigurationChoice choice
        = ChooseConfigurationFile(QCoreApplication::applicationFilePath().toStdString(), userFolder,
            InstalledSampleConfiguration());
    if (!choice.problem.empty())
        std::fprintf(stderr, "quelsor: %s\n", choice.problem.c_str());
    setup.iniPath = choice.iniPath;
    setup.logIniPath = !choice.besideExecutable;
    // A portable copy keeps its scratch files in the current directory, as it always has.
    if (choice.besideExecutable)
        return;

    QString scratch = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (scratch.isEmpty() || !QDir().mkpath(scratch)) {
        std::fprintf(stderr, "quelsor: cannot create the cache folder %s; using %s\n",
            scratch.toStdString().c_str(), QDir::tempPath().toStdString().c_str());
        scratch = QDir::tempPath();
    }
    setup.scratchFolder = QDir::toNativeSeparators(scratch).toStdString();
}

} // namespace quelsor
