#include "controls/CSuperApp.h"

#include "res/MenuTable.h"
#include "res/Resource.h"
#include "res/StringTable.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <deque>

namespace {

struct SAppState
{
    QPointer<QWidget> pMainWindow;
    CSuperApp::MessageBar messageBar;
    std::deque<QMessageBox::StandardButton> answers;
    QStringList shownTexts;
    int nBeeps = 0;
};

SAppState& State()
{
    static SAppState state;
    return state;
}

std::atomic<bool> g_bErrorExit{false};

QMessageBox::StandardButton TakeAnswer(const QString& strText, bool& bTaken)
{
    SAppState& state = State();
    bTaken = !state.answers.empty();
    if (!bTaken)
        return QMessageBox::NoButton;
    const QMessageBox::StandardButton answer = state.answers.front();
    state.answers.pop_front();
    state.shownTexts.append(strText);
    return answer;
}

QString BoxTitle()
{
    const QString strName = QApplication::applicationDisplayName();
    return strName.isEmpty() ? QStringLiteral("Quarrow") : strName;
}

} // namespace

bool CSuperApp::GetMessageText(int nId, QString& str)
{
    return StringTable::Load(nId, str);
}

const SMenuResource* CSuperApp::LoadMenu(int nId)
{
    return MenuTable::Find(nId);
}

void CSuperApp::RequestErrorExit()
{
    g_bErrorExit = true;
}

bool CSuperApp::StopRequested()
{
    return g_bErrorExit;
}

void CSuperApp::Progress(const QString& /*strText*/, int /*nDone*/, int /*nTotal*/)
{
    // The find tool's main window has no progress bar: only the waiting repaints run.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
}

void CSuperApp::BeginWaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void CSuperApp::EndWaitCursor()
{
    QApplication::restoreOverrideCursor();
}

void CSuperApp::SetMainWindow(QWidget* pWindow)
{
    State().pMainWindow = pWindow;
}

QWidget* CSuperApp::GetMainWindow()
{
    return State().pMainWindow.data();
}

void CSuperApp::SetMessageBar(MessageBar bar)
{
    State().messageBar = std::move(bar);
}

void CSuperApp::ShowPrompt(const QString& strText)
{
    const MessageBar& bar = State().messageBar;
    if (!bar)
        return;
    bar(strText.isEmpty() ? StringTable::Get(AFX_IDS_IDLEMESSAGE) : strText);
}

void CSuperApp::ErrorBeep()
{
    ++State().nBeeps;
    QApplication::beep();
}

int CSuperApp::GetBeepCountForTesting()
{
    return State().nBeeps;
}

QMessageBox::StandardButton CSuperApp::MessageBox(const QString& strText, EIcon icon)
{
    bool bTaken = false;
    const QMessageBox::StandardButton answer = TakeAnswer(strText, bTaken);
    if (bTaken)
        return answer;
    QMessageBox::Icon boxIcon = QMessageBox::Information;
    if (icon == EIcon::Error)
        boxIcon = QMessageBox::Critical;
    else if (icon == EIcon::Warning)
        boxIcon = QMessageBox::Warning;
    QMessageBox box(boxIcon, BoxTitle(), strText, QMessageBox::Ok, GetMainWindow());
    box.exec();
    return QMessageBox::Ok;
}

QMessageBox::StandardButton CSuperApp::AskYesNo(const QString& strText)
{
    bool bTaken = false;
    const QMessageBox::StandardButton answer = TakeAnswer(strText, bTaken);
    if (bTaken)
        return answer;
    QMessageBox box(QMessageBox::Question, BoxTitle(), strText, QMessageBox::Yes | QMessageBox::No,
                    GetMainWindow());
    return box.exec() == QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::No;
}

void CSuperApp::PushAnswerForTesting(QMessageBox::StandardButton answer)
{
    State().answers.push_back(answer);
}

QStringList CSuperApp::TakeShownTextsForTesting()
{
    QStringList texts;
    texts.swap(State().shownTexts);
    return texts;
}
