#include "findwnd/CHyperLink.h"

#include "controls/CSuperApp.h"
#include "platform/CShell.h"

#include <QApplication>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>

const QColor CHyperLink::kLinkColour(0, 0, 238);
const QColor CHyperLink::kVisitedColour(85, 26, 139);

CHyperLink::CHyperLink(QWidget* pParent) : QLabel(pParent)
{
    m_crHover = QApplication::palette().color(QPalette::Highlight);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setAutoFillBackground(false);
    ApplyLook();
}

CHyperLink::~CHyperLink() = default;

void CHyperLink::SetURL(const QString& strAddress)
{
    m_strAddress = strAddress;
    if (text().isEmpty())
        setText(m_strAddress);
    setToolTip(m_strAddress);
    PositionWindow();
}

void CHyperLink::SetUnderline(bool bUnderline)
{
    m_bUnderline = bUnderline;
    ApplyLook();
    PositionWindow();
}

QColor CHyperLink::GetCurrentColour() const
{
    if (m_bOverControl)
        return m_crHover;
    // The classic blue and purple vanish on a dark desktop: there the palette's own link
    // colours are used.
    const QPalette app = QApplication::palette(this);
    if (app.color(QPalette::Window).lightness() < 128)
        return app.color(m_bVisited ? QPalette::LinkVisited : QPalette::Link);
    return m_bVisited ? kVisitedColour : kLinkColour;
}

void CHyperLink::changeEvent(QEvent* pEvent)
{
    QLabel::changeEvent(pEvent);
    const QEvent::Type type = pEvent->type();
    if (type != QEvent::ApplicationPaletteChange && type != QEvent::PaletteChange)
        return;
    // Our own palette change comes back here too: act only when the colour would move.
    const QColor hover = QApplication::palette(this).color(QPalette::Highlight);
    if (hover != m_crHover || palette().color(QPalette::WindowText) != GetCurrentColour()) {
        m_crHover = hover;
        ApplyLook();
    }
}

void CHyperLink::ApplyLook()
{
    QFont linkFont = font();
    linkFont.setUnderline(m_bUnderline);
    setFont(linkFont);
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, GetCurrentColour());
    setPalette(palette);
    update();
}

void CHyperLink::PositionWindow()
{
    if (!m_bAdjustToFit)
        return;
    // Keeps the edge the alignment names (left, centre or right) where it was.
    const QRect before = geometry();
    const QSize size = sizeHint();
    QRect after(before.topLeft(), size);
    if (alignment() & Qt::AlignHCenter)
        after.moveLeft(before.center().x() - size.width() / 2);
    else if (alignment() & Qt::AlignRight)
        after.moveRight(before.right());
    if (alignment() & Qt::AlignVCenter)
        after.moveTop(before.center().y() - size.height() / 2);
    setGeometry(after);
}

int CHyperLink::OpenAddress()
{
    int nResult = 0;
    {
        const CWaitCursor wait;
        nResult = CShell::OpenLink(m_strAddress.toStdU16String());
    }
    if (nResult > 32) {
        m_bVisited = true;
        ApplyLook();
    } else {
        QApplication::beep();
        CSuperApp::MessageBox(QString::fromStdU16String(CShell::LinkFailureReport(nResult)),
                              CSuperApp::EIcon::Warning);
    }
    return nResult;
}

void CHyperLink::enterEvent(QEnterEvent* pEvent)
{
    m_bOverControl = true;
    ApplyLook();
    QLabel::enterEvent(pEvent);
}

void CHyperLink::leaveEvent(QEvent* pEvent)
{
    m_bOverControl = false;
    ApplyLook();
    QLabel::leaveEvent(pEvent);
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() == Qt::LeftButton && rect().contains(pEvent->position().toPoint())) {
        OpenAddress();
        return;
    }
    QLabel::mouseReleaseEvent(pEvent);
}

void CHyperLink::keyPressEvent(QKeyEvent* pEvent)
{
    if (pEvent->key() == Qt::Key_Space || pEvent->key() == Qt::Key_Return) {
        OpenAddress();
        return;
    }
    QLabel::keyPressEvent(pEvent);
}
