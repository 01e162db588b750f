#pragma once
// A number edit: an integer (or a fixed number of decimals) within a range, typed with the
// user's decimal separator. Typed text is re-read and written again after every accepted
// character, so "007" becomes "7".

#include "controls/CSpinEdit.h"

class CNumberEdit : public CSpinEdit
{
    Q_OBJECT

public:
    explicit CNumberEdit(QWidget* pParent = nullptr);
    ~CNumberEdit() override;

    bool IsValueValid() const override;
    void Clear() override;
    void Step(bool bUp) override;

    // False when the edit is not valid or its text has no digit.
    bool GetNumber(double& dValue) const;
    // The text with the decimal separator as "."; false as GetNumber.
    bool GetValueText(QString& strValue) const;
    void SetNumber(double dValue);

    double GetMinimum() const { return m_dMinimum; }
    double GetMaximum() const { return m_dMaximum; }
    void SetRange(double dMinimum, double dMaximum);
    int GetDecimals() const { return m_nDecimals; }
    void SetDecimals(int nDecimals) { m_nDecimals = nDecimals; }
    bool GetIntegerMode() const { return m_bIntegerMode; }
    void SetIntegerMode(bool bInteger) { m_bIntegerMode = bInteger; }
    QChar GetDecimalSeparator() const { return m_chDecimal; }
    // Digits the edit holds at most: those of its maximum's integer part.
    int GetMaxDigits() const;

    // The regional settings changed: re-read the separator and write the value again.
    void OnSettingChange();

protected:
    void OnChar(QChar ch) override;

private:
    bool ReadNumber(const QString& strText, double& dValue) const;
    QString FormatNumber(double dValue, bool bKeepNegativeZero) const;

    double m_dMaximum = 2147483647.0;
    double m_dMinimum = -2147483648.0;
    int m_nDecimals = 2;
    bool m_bIntegerMode = true;
    QChar m_chDecimal = u',';
    int m_nSettingsListener = -1;
};
