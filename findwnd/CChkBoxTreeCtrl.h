#pragma once
// The look-in tree: registered servers at the top level and, under each server that could be
// reached, its databases with check boxes. Each item keeps one reference to its object-model
// object (the connected server, or the database); removing the item releases it.

#include "catalog/ObjectModel.h"
#include "catalog/RegisteredServer.h"
#include "controls/CControl.h"

#include <QString>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CChkBoxTreeCtrl : public QTreeWidget, public CControl
{
    Q_OBJECT
public:
    // " [not available]": the suffix of a server that could not be reached.
    static const QString kNotAvailable;

    explicit CChkBoxTreeCtrl(QWidget* pParent = nullptr);
    ~CChkBoxTreeCtrl() override;

    QWidget* Window() const override;
    bool Attach(int nId, QWidget* pParent) override;

    // 1 ticked, 0 not ticked, -1 no check box (or no item).
    int GetCheck(const QTreeWidgetItem* pItem) const;
    bool SetCheck(QTreeWidgetItem* pItem, bool bTicked);

    // The object an item holds, or null.
    static std::shared_ptr<IModelUnknown> GetItemObject(const QTreeWidgetItem* pItem);

    // New items at the end of the top level or of a server's children.
    QTreeWidgetItem* AddServerItem(const QString& strText, int nImage,
                                   std::shared_ptr<IModelUnknown> pServer);
    QTreeWidgetItem* AddDatabaseItem(QTreeWidgetItem* pServerItem, const QString& strName,
                                     std::shared_ptr<IModelUnknown> pDatabase, bool bTicked);

    // Connects a registered server (modern library first, then legacy) and lists its
    // databases; fnIsUsed tells which to tick. fnServerShown runs once the server item is
    // there, before its databases are read. False when the server is shown as not available.
    using IsDatabaseUsed =
        std::function<bool(const std::u16string& server, const std::u16string& db)>;
    bool AddServerToTree(const RegisteredServer& server, const IsDatabaseUsed& fnIsUsed,
                         const std::function<void()>& fnServerShown = {});
    // Releases the item's and its children's objects and deletes them. The store is not touched.
    void RemoveServerItem(QTreeWidgetItem* pItem);

    // The ticked databases' objects, depth first in display order (items without one skipped).
    std::vector<std::shared_ptr<IModelUnknown>> GetTickedDatabases() const;

    struct STick
    {
        std::u16string m_strServerName;
        std::u16string m_strDatabaseName;
        int m_nUsed = 0;
    };
    // Every database item's tick with its server's text.
    std::vector<STick> GetAllTicks() const;

    // The server name an item's text stands for: the text without " [not available]".
    static QString ServerNameFromItemText(const QString& strText);

    // The error box text when neither library is installed.
    static QString NoLibraryMessage();
};
