#include "controls/CSpinButton.h"

#include "controls/CMessageEvent.h"

#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

CSpinButton::CSpinButton(QWidget* pParent)
    : QWidget(pParent), m_pUp(new QToolButton(this)), m_pDown(new QToolButton(this))
{
    setFocusPolicy(Qt::NoFocus);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->setSpacing(0);
    const struct
    {
        QToolButton* pButton;
        Qt::ArrowType arrow;
        QString strName;
        int nDelta;
    } buttons[] = {
        {m_pUp, Qt::UpArrow, u"up"_s, -1},
        {m_pDown, Qt::DownArrow, u"down"_s, 1},
    };
    for (const auto& button : buttons) {
        button.pButton->setObjectName(button.strName);
        button.pButton->setArrowType(button.arrow);
        button.pButton->setAutoRepeat(true);
        button.pButton->setFocusPolicy(Qt::NoFocus);
        button.pButton->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        pLayout->addWidget(button.pButton);
        const int nDelta = button.nDelta;
        connect(button.pButton, &QToolButton::clicked, this,
                [this, nDelta]() { OnDeltaPos(nDelta); });
    }
    HookWindow();
}

CSpinButton::~CSpinButton() = default;

bool CSpinButton::Attach(int nId, QWidget* pParent)
{
    return AttachToTemplate(nId, pParent);
}

bool CSpinButton::OnDeltaPos(int nDelta)
{
    if (m_pBuddy)
        SendMessage(m_pBuddy.data(), nDelta > 0 ? WM_SPINDOWN : WM_SPINUP);
    return true;
}
