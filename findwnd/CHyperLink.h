#pragma once
// A link: static text that opens its address when clicked, drawn in the link colour, the
// visited colour once opened, and the hover colour while the pointer is over it.

#include <QColor>
#include <QLabel>
#include <QString>

class CHyperLink : public QLabel
{
    Q_OBJECT
public:
    static const QColor kLinkColour;    // RGB(0, 0, 238)
    static const QColor kVisitedColour; // RGB(85, 26, 139)

    explicit CHyperLink(QWidget* pParent = nullptr);
    ~CHyperLink() override;

    // Sets the address; with an empty text the address is shown. Resizes to the text and
    // updates the tool tip.
    void SetURL(const QString& strAddress);
    QString GetURL() const { return m_strAddress; }

    void SetUnderline(bool bUnderline);
    void SetAutoSize(bool bAutoSize) { m_bAdjustToFit = bAutoSize; }

    bool IsVisited() const { return m_bVisited; }
    bool IsOverControl() const { return m_bOverControl; }
    // The colour the text is drawn in now.
    QColor GetCurrentColour() const;
    QColor GetHoverColour() const { return m_crHover; }

    // Opens the address as a click does; answers the shell's result.
    int OpenAddress();

protected:
    void enterEvent(QEnterEvent* pEvent) override;
    void leaveEvent(QEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;

private:
    void ApplyLook();
    void PositionWindow();

    QString m_strAddress;
    QColor m_crHover;
    bool m_bOverControl = false;
    bool m_bVisited = false;
    bool m_bUnderline = true;
    bool m_bAdjustToFit = true;
};
