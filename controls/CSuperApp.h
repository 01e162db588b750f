#pragma once
// The application services the controls call: message texts, menus, prompts in the main
// window's message bar, the wait cursor, progress, the error beep and message boxes. Message
// boxes have a test seam: queued answers are taken instead of showing a box.

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;
struct SMenuResource;

class CSuperApp
{
public:
    enum class EIcon
    {
        Error,
        Information,
        Warning,
    };

    // Loads string n; false (str unchanged) when there is none.
    static bool GetMessageText(int nId, QString& str);
    static bool PromptsEnabled() { return true; }
    static const SMenuResource* LoadMenu(int nId);

    // Error exit: requested after a fatal error; StopRequested answers true afterwards.
    static void RequestErrorExit();
    static bool StopRequested();

    // Lets waiting paint events through; a main window with a progress bar shows the rest.
    static void Progress(const QString& strText, int nDone, int nTotal);

    static void BeginWaitCursor();
    static void EndWaitCursor();

    // The main window (commands of context menus without an owner go there).
    static void SetMainWindow(QWidget* pWindow);
    static QWidget* GetMainWindow();

    // The message bar of the main window; without one, prompts show nothing.
    using MessageBar = std::function<void(const QString&)>;
    static void SetMessageBar(MessageBar bar);
    // Shows a prompt; an empty text asks for the idle message.
    static void ShowPrompt(const QString& strText);

    // The error beep (MB_ICONHAND).
    static void ErrorBeep();
    static int GetBeepCountForTesting();

    // A message box with OK; answers QMessageBox::Ok.
    static QMessageBox::StandardButton MessageBox(const QString& strText, EIcon icon);
    // A yes/no question; answers Yes or No.
    static QMessageBox::StandardButton AskYesNo(const QString& strText);

    // Test seam: the next boxes answer these, in order, without showing.
    static void PushAnswerForTesting(QMessageBox::StandardButton answer);
    // Texts of the boxes answered through the seam, oldest first.
    static QStringList TakeShownTextsForTesting();
};

// Shows the wait cursor for its lifetime.
class CWaitCursor
{
public:
    CWaitCursor() { CSuperApp::BeginWaitCursor(); }
    ~CWaitCursor() { CSuperApp::EndWaitCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};
