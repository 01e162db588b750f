#pragma once
// An edit typed into a fixed mask: every '9' of the mask is a digit position, shown as '_'
// while unfilled; every other character is a literal shown as it stands. Typing overwrites.

#include "controls/CSpinEdit.h"

class CMaskEdit : public CSpinEdit
{
    Q_OBJECT

public:
    explicit CMaskEdit(QWidget* pParent = nullptr);
    ~CMaskEdit() override;

    QString GetMask() const { return m_strMask; }
    // Sets the mask and empties the edit.
    void SetMask(const QString& strMask);
    // The content with the unfilled positions left out and the literals kept.
    QString GetValueText() const;
    // The empty mask.
    void Clear() override;

    static constexpr QChar kUnfilled = u'_';

protected:
    void OnChar(QChar ch) override;
    bool OnDeleteKey(bool bBackspace) override;
    bool IsDigitPosition(int nPos) const;
    // The first digit position at or after nPos, or -1.
    int NextDigitPosition(int nPos) const;
    // The separator typed to jump behind the next literal; 0 for none.
    virtual QChar GetSeparator() const { return QChar(); }
    QString EmptyText() const;

private:
    QString m_strMask;
    // Where the caret landed after a digit filled a field and stepped over a separator; a
    // separator typed there next only confirms the field. -1 when the caret moved since.
    int m_nConfirmCaret = -1;
};
