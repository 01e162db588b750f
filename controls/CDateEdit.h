#pragma once
// A date edit: a date in the user's short-date pattern (DD, MM and YYYY fields) typed into
// the pattern's mask, within a range. F3 sets today; stepping moves the field under the caret.

#include "controls/CMaskEdit.h"
#include "search/CDate.h"

class CDateEdit : public CMaskEdit
{
    Q_OBJECT

public:
    explicit CDateEdit(QWidget* pParent = nullptr);
    ~CDateEdit() override;

    bool IsValueValid() const override;
    void Step(bool bUp) override;

    // False when the edit is not valid, holds no digit or no date of its range.
    bool GetDate(CDate& date) const;
    // An invalid date (-1) clears the edit.
    void SetDate(const CDate& date);

    QString GetPattern() const { return m_strPattern; }
    // A fixed pattern; the edit stops following the user's setting.
    void SetPattern(const QString& strPattern);
    CDate GetEarliest() const { return m_earliest; }
    CDate GetLatest() const { return m_latest; }
    void SetRange(const CDate& earliest, const CDate& latest);

    // "D" becomes "DD", "M" "MM" and "YY" "YYYY" where the longer field is missing.
    static QString NormalizePattern(const QString& strPattern);
    // "DD" and "MM" become "99", "YYYY" "9999".
    static QString MaskFromPattern(const QString& strPattern);

    // The regional settings changed: take the pattern again and show the date in it.
    void OnSettingChange();

protected:
    bool OnSpecialKey(QKeyEvent* pEvent) override;
    QChar GetSeparator() const override { return m_chSeparator; }
    void OnFocusLossChecked() override;

private:
    void ApplyPattern(const QString& strPattern);

    QString m_strPattern;
    QChar m_chSeparator;
    bool m_bFollowUser = true;
    CDate m_earliest;
    CDate m_latest;
    int m_nSettingsListener = -1;
};
