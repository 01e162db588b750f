#include "findwnd/CHelpPages.h"

#include "platform/Startup.h"

#include <QUrl>
#include <cstdlib>
#include <vector>

using namespace Qt::StringLiterals;

#ifndef QUARROW_DATA_DIR
#define QUARROW_DATA_DIR "/usr/local/share/quarrow"
#endif

std::filesystem::path CHelpPages::Folder()
{
    std::vector<std::filesystem::path> candidates;
    if (const char* pszDir = std::getenv("QUARROW_HELP_DIR"); pszDir != nullptr && *pszDir != 0)
        candidates.emplace_back(pszDir);
    const std::filesystem::path executable = ExecutablePath();
    if (!executable.empty())
        candidates.push_back(executable.parent_path() / ".." / "share" / "quarrow" / "help");
    const std::filesystem::path installed = std::filesystem::path(QUARROW_DATA_DIR) / "help";
    candidates.push_back(installed);
    for (const std::filesystem::path& folder : candidates) {
        std::error_code error;
        if (std::filesystem::is_regular_file(folder / "index.html", error))
            return std::filesystem::weakly_canonical(folder, error);
    }
    return installed;
}

QString CHelpPages::FileName(EPage page)
{
    switch (page) {
    case EPage::Contents:
        return u"index.html"_s;
    case EPage::News:
        return u"news.html"_s;
    case EPage::Feedback:
        return u"feedback.html"_s;
    case EPage::Components:
        return u"components.html"_s;
    case EPage::Faq:
        return u"faq.html"_s;
    }
    return u"index.html"_s;
}

QString CHelpPages::Address(EPage page)
{
    const std::filesystem::path file = Folder() / FileName(page).toStdString();
    return QUrl::fromLocalFile(QString::fromStdString(file.string())).toString();
}
