#pragma once
// The preview below the result list: a title line with the object, the match counter and
// Previous/Next, over the object's script (CScriptView). The script is read by a
// CPreviewLoader; an answer for an object no longer shown is dropped.

#include "catalog/ObjectModel.h"

#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

class CPreviewLoader;
class CScriptView;
class QLabel;
class QPushButton;

class CPreviewPane : public QWidget
{
    Q_OBJECT
public:
    explicit CPreviewPane(QWidget* pParent = nullptr);
    ~CPreviewPane() override;

    // Reads the object's script and shows it with every match of the text criterion (empty:
    // none) under the title; what was shown goes at once.
    void ShowObject(std::shared_ptr<IDatabaseObject> pObject, const QString& strTitle,
                    const std::u16string& strText, bool bRegExp, bool bMatchCase);
    // No object: an empty pane that says why.
    void ShowNothing();

    bool NextMatch();
    bool PreviousMatch();

    // What the tests and the window read.
    bool IsLoading() const { return m_bLoading; }
    QString GetTitle() const { return m_strTitle; }
    QString GetCounterText() const;
    CScriptView* GetView() const { return m_pView; }
    // The serial number of the object shown or being read: one more per ShowObject.
    std::uint64_t GetSerial() const { return m_nSerial; }

Q_SIGNALS:
    // The object's script, or the word that it could not be read, is on show.
    void loaded();

protected:
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    void ShowTitle();
    void OnMatchChanged(int nMatch);
    void ShowMessage(const QString& strMessage);

    QLabel* m_pTitle = nullptr;
    QLabel* m_pCounter = nullptr;
    QPushButton* m_pPrevious = nullptr;
    QPushButton* m_pNext = nullptr;
    CScriptView* m_pView = nullptr;
    CPreviewLoader* m_pLoader = nullptr;
    QString m_strTitle;
    std::uint64_t m_nSerial = 0;
    bool m_bLoading = false;
    bool m_bMatchesCut = false; // more matches than the loader keeps
};
