#pragma once
// Drives real popup menus and modal windows as a person would: waits for the popup that a
// right click or the menu key opened, clicks an item in it, and answers the dialog or message
// box that the command then opens from inside its own event loop.

#include "controls/CCommandTarget.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QtTest>
#include <functional>
#include <memory>

namespace PopupDriver {

constexpr int kWaitMs = 5000;
constexpr int kPollMs = 20;
// Polls after an answer before a window it did not close is closed by force.
constexpr int kStuckPolls = 100;
constexpr int kRetryPolls = 25;

// The popup menu on screen, waiting for it to open; null when none opens in time.
inline QMenu* WaitForPopupMenu()
{
    const QDeadlineTimer deadline(kWaitMs);
    while (!deadline.hasExpired()) {
        if (auto* pMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            pMenu != nullptr && pMenu->isVisible())
            return pMenu;
        QTest::qWait(kPollMs);
    }
    return nullptr;
}

// Clicks the item with the command id in the popup on screen. False when there is no popup
// or no such enabled item.
inline bool ChooseCommand(int nId)
{
    QMenu* pMenu = WaitForPopupMenu();
    if (pMenu == nullptr)
        return false;
    QAction* pAction = MenuBuilder::FindAction(pMenu, nId);
    if (pAction == nullptr || !pAction->isEnabled() || !pMenu->actions().contains(pAction))
        return false;
    const QRect rect = pMenu->actionGeometry(pAction);
    // Hovering first, as a pointer does, makes the item the active one before the release.
    QTest::mouseMove(pMenu, rect.center());
    QTest::mouseClick(pMenu, Qt::LeftButton, {}, rect.center());
    return true;
}

// Closes the popup on screen with Escape.
inline bool DismissPopupMenu()
{
    QMenu* pMenu = WaitForPopupMenu();
    if (pMenu == nullptr)
        return false;
    QTest::keyClick(pMenu, Qt::Key_Escape);
    return true;
}

// Answers every modal window other than pOwner that shows while this object lives, from
// inside the window's own event loop: fnAnswer gets it and must close it. Polls for a
// bounded time after the last answer; Answered() counts the windows answered.
class CModalAnswer
{
public:
    CModalAnswer(QWidget* pOwner, std::function<void(QWidget*)> fnAnswer)
        : m_pOwner(pOwner), m_fnAnswer(std::move(fnAnswer)), m_pTimer(std::make_unique<QTimer>())
    {
        m_pTimer->setInterval(kPollMs);
        QObject::connect(m_pTimer.get(), &QTimer::timeout, [this] { Poll(); });
        m_pTimer->start();
    }

    int Answered() const { return m_titles.size(); }
    // The class and title of each window answered, in order.
    const QStringList& Titles() const { return m_titles; }

private:
    void Poll()
    {
        if (++m_nPolls > kWaitMs / kPollMs) {
            m_pTimer->stop();
            return;
        }
        QWidget* pModal = QApplication::activeModalWidget();
        if (pModal != nullptr && pModal == m_pLast && pModal->isVisible()) {
            // A window answered before it was ready for input gets the answer again; one
            // that still stays open is closed, so the test fails instead of hanging.
            if (m_nPolls % kRetryPolls == 0 && m_nPolls < kStuckPolls) {
                m_fnAnswer(pModal);
            } else if (m_nPolls > kStuckPolls) {
                m_titles.last() += QStringLiteral(" (left open)");
                if (auto* pDialog = qobject_cast<QDialog*>(pModal))
                    pDialog->reject();
                else
                    pModal->close();
            }
            return;
        }
        if (pModal == nullptr || pModal == m_pOwner || !pModal->isVisible())
            return;
        m_nPolls = 0;
        m_pLast = pModal;
        m_titles << QString::fromLatin1(pModal->metaObject()->className()) + u':' +
                        pModal->windowTitle();
        m_fnAnswer(pModal);
    }

    QPointer<QWidget> m_pOwner;
    QPointer<QWidget> m_pLast;
    std::function<void(QWidget*)> m_fnAnswer;
    std::unique_ptr<QTimer> m_pTimer;
    int m_nPolls = 0;
    QStringList m_titles;
};

// Runs fnDrive on the modal dialog of type T as soon as it is up and active (polled for a bounded
// time), then closes it if fnDrive left it open (a failed check), so a test never hangs.
template <typename T>
void WhenModal(std::function<void(T*)> fnDrive, int nTries = kWaitMs / kPollMs)
{
    QTimer::singleShot(kPollMs, [fnDrive, nTries] {
        auto* pWidget = qobject_cast<T*>(QApplication::activeModalWidget());
        // Active too: keys and focus checks need the dialog to be the active window.
        if (pWidget == nullptr || !pWidget->isVisible() || !pWidget->isActiveWindow()) {
            if (nTries > 0)
                WhenModal<T>(fnDrive, nTries - 1);
            return;
        }
        QPointer<T> pGuard(pWidget);
        fnDrive(pWidget);
        if (pGuard != nullptr && pGuard->isVisible())
            pGuard->reject();
    });
}

// Escape: what a person presses to leave a dialog or a message box.
inline void PressEscape(QWidget* pModal)
{
    QWidget* pTarget = pModal->focusWidget() != nullptr ? pModal->focusWidget() : pModal;
    QTest::keyClick(pTarget, Qt::Key_Escape);
}

} // namespace PopupDriver
