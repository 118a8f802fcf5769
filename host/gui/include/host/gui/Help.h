// SPDX-License-Identifier: GPL-3.0-or-later
// Help: the program's help file, one HTML page "Ondrel.html" with a section per help
// context, looked up in the program's data folder (beside the program in the build
// tree, <prefix>/share/ondrel when installed). Opening help checks that the file is
// there (else the message box "Not Exist Html Help File ..." with the full path) and
// hands the page's URL with the context's section to the desktop's URL opener. When
// no opener works, that is remembered and later requests silently do nothing.
// GUI thread only.
#pragma once

#include "host/HelpContexts.h"

#include <filesystem>
#include <functional>
#include <string>

class QUrl;

namespace host::gui {

inline constexpr const char* kHelpFileName = "Ondrel.html";

// Opens help at `context` (HelpContexts.h; the dialogs reach it through the
// callback the window gives them).
void ShowHelp(int context);

// The full path of the help file that ShowHelp looks for.
std::filesystem::path HelpFilePath();
// The anchor of a context's section in the help file: "context-<n>".
std::string HelpAnchor(int context);

// Seams for tests and embedding. An opener receives the URL and says whether it could
// hand it on; the default is the desktop's URL opener. Each setter returns the old value.
using HelpOpener = std::function<bool(const QUrl& url)>;
HelpOpener SetHelpOpener(HelpOpener opener); // an empty opener restores the default
// Looks for the help file in `folder` instead of the data folder; empty restores it.
std::filesystem::path SetHelpFolder(std::filesystem::path folder);

} // namespace host::gui
