#pragma once
// What the last search could not look at, one row each: the databases that gave no object
// list and the objects whose script could not be read, with the reason. Opened from the
// coverage link beside the status text; not modal, so the results stay usable.

#include "search/SearchCoverage.h"

#include <QDialog>

class QLabel;
class QTreeWidget;

class CCoverageDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CCoverageDlg(QWidget* pParent = nullptr);
    ~CCoverageDlg() override;

    void SetCoverage(const CSearchCoverage& coverage);
    QTreeWidget* GetList() const { return m_pList; }

private:
    QLabel* m_pSummary = nullptr;
    QTreeWidget* m_pList = nullptr;
};
