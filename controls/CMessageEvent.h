#pragma once
// Window messages between widgets: registered names, each one event type process-wide, and a
// message event that carries wParam, lParam and an answer. Sending returns the answer.

#include <QEvent>
#include <QString>
#include <QStringView>

class QObject;

class CMessageEvent : public QEvent
{
public:
    CMessageEvent(QEvent::Type type, quintptr wParam, qintptr lParam)
        : QEvent(type), m_wParam(wParam), m_lParam(lParam)
    {}

    quintptr WParam() const { return m_wParam; }
    qintptr LParam() const { return m_lParam; }
    // The receiver's answer (0 until it gives one).
    qintptr Answer() const { return m_nAnswer; }
    void SetAnswer(qintptr nAnswer) { m_nAnswer = nAnswer; }

    // lParam read as a pointer (messages that hand over the address of an int).
    template <typename T>
    T* LParamAs() const
    {
        return reinterpret_cast<T*>(m_lParam);
    }

private:
    quintptr m_wParam;
    qintptr m_lParam;
    qintptr m_nAnswer = 0;
};

// The event type of a message name; the same name always yields the same type, whichever
// file asks first. Thread-safe; usable before the application object exists.
QEvent::Type RegisterWindowMessage(QStringView name);
// The name a type was registered with; empty for other types.
QString GetWindowMessageName(QEvent::Type type);

// Sends the message at once (on the caller's thread) and returns the receiver's answer; 0
// when the receiver is null or does not answer.
qintptr SendMessage(QObject* pReceiver, QEvent::Type type, quintptr wParam = 0, qintptr lParam = 0);
// Posts the message to the receiver's event queue. Only values, never pointers to the
// caller's stack, may travel this way.
void PostMessage(QObject* pReceiver, QEvent::Type type, quintptr wParam = 0, qintptr lParam = 0);

// The library's registered messages.
// clang-format off
inline const QEvent::Type WM_GRIDSELCHANGE = RegisterWindowMessage(u"WM_GRIDSELCHANGE");
inline const QEvent::Type WM_ISMSGENABLED = RegisterWindowMessage(u"WM_ISMSGENABLED");
inline const QEvent::Type CLN_SELCHANGE = RegisterWindowMessage(u"CLN_SELCHANGE");
inline const QEvent::Type WM_VALIDVALUE = RegisterWindowMessage(u"WM_VALIDVALUE");
inline const QEvent::Type WM_SPINUP = RegisterWindowMessage(u"WM_SPINUP");
inline const QEvent::Type WM_SPINDOWN = RegisterWindowMessage(u"WM_SPINDOWN");
inline const QEvent::Type WM_SHOWDATEPICKER = RegisterWindowMessage(u"WM_SHOWDATEPICKER");
inline const QEvent::Type DPM_CHANGE = RegisterWindowMessage(u"DPM_CHANGE");
inline const QEvent::Type WM_EXTENDINGMENU = RegisterWindowMessage(u"WM_EXTENDINGMENU");
inline const QEvent::Type WM_SETCOMBOHEXTENT = RegisterWindowMessage(u"WM_SETCOMBOHEXTENT");
inline const QEvent::Type WM_ERROR_EXIT = RegisterWindowMessage(u"WM_ERROR_EXIT");
inline const QEvent::Type WM_CHECKDEFBUTTON = RegisterWindowMessage(u"WM_CHECKDEFBUTTON");
inline const QEvent::Type WM_PSH_FINISCH_CREATE = RegisterWindowMessage(u"WM_PSH_FINISCH_CREATE");
inline const QEvent::Type WM_GRIDCHAR = RegisterWindowMessage(u"WM_GRIDCHAR");
inline const QEvent::Type WM_GRIDEDITCREATE = RegisterWindowMessage(u"WM_GRIDEDITCREATE");
inline const QEvent::Type WM_GRIDEDITDESTROY = RegisterWindowMessage(u"WM_GRIDEDITDESTROY");
inline const QEvent::Type WM_GRIDEDITPOSCHANGE = RegisterWindowMessage(u"WM_GRIDEDITPOSCHANGE");
// clang-format on

// Plain message numbers that travel as wParam (WM_ISMSGENABLED asks about these).
inline constexpr quintptr WM_CUT = 768;
inline constexpr quintptr WM_COPY = 769;
inline constexpr quintptr WM_PASTE = 770;
