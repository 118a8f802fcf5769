// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/gui/Help.h"

#include "platform/MessageBox.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QString>
#include <QUrl>

#include <cstdio>
#include <system_error>

namespace host::gui {
namespace {

HelpOpener customOpener;
std::filesystem::path customFolder;
// The desktop's opener failed once: later requests do nothing.
bool openerFailed = false;

// Installed: <prefix>/bin/ondrel with the data in <prefix>/share/ondrel. In the build
// tree the data is copied beside the program.
std::filesystem::path DataFolder()
{
    const std::filesystem::path program = QCoreApplication::applicationDirPath().toStdString();
    const std::filesystem::path installed = program.parent_path() / "share" / "ondrel";
    std::error_code error;
    if (std::filesystem::is_directory(installed, error)) {
        return installed;
    }
    return program;
}

} // namespace

std::filesystem::path HelpFilePath()
{
    const std::filesystem::path folder = customFolder.empty() ? DataFolder() : customFolder;
    return std::filesystem::absolute(folder / kHelpFileName).lexically_normal();
}

std::string HelpAnchor(int context) { return "context-" + std::to_string(context); }

void ShowHelp(int context)
{
    const std::filesystem::path path = HelpFilePath();
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        char text[4200];
        std::snprintf(text, sizeof text, "Not Exist Html Help File\n\n   File Path [ %s ]", path.c_str());
        platform::ShowMessageBox(text);
        return;
    }
    if (openerFailed) {
        return;
    }
    QUrl url = QUrl::fromLocalFile(QString::fromStdString(path.string()));
    url.setFragment(QString::fromStdString(HelpAnchor(context)));
    const bool opened = customOpener ? customOpener(url) : QDesktopServices::openUrl(url);
    if (!opened) {
        openerFailed = true;
    }
}

HelpOpener SetHelpOpener(HelpOpener opener)
{
    HelpOpener previous = std::move(customOpener);
    customOpener = std::move(opener);
    openerFailed = false;
    return previous;
}

std::filesystem::path SetHelpFolder(std::filesystem::path folder)
{
    std::filesystem::path previous = std::move(customFolder);
    customFolder = std::move(folder);
    return previous;
}

} // namespace host::gui
