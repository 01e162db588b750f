#pragma once
// The bundled help: HTML pages installed beside the program (<prefix>/share/quarrow/help, or
// the build tree's share/quarrow/help). The web commands open pages of it, as the product
// has no web site of its own yet.

#include <QString>
#include <filesystem>

class CHelpPages
{
public:
    enum class EPage
    {
        Contents,   // index.html: the table of contents
        News,       // news.html
        Feedback,   // feedback.html
        Components, // components.html: the libraries Quarrow reaches servers with
        Faq,        // faq.html
    };

    // The help folder: $QUARROW_HELP_DIR, else beside the program (../share/quarrow/help),
    // else the installed data folder. The first of them that holds index.html; the installed
    // one when none does.
    static std::filesystem::path Folder();
    // The page's file name.
    static QString FileName(EPage page);
    // The page as a file: address.
    static QString Address(EPage page);
};
