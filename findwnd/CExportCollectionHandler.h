#pragma once
// The Export command of any collection control: finds the collection, asks for the file and
// the export choices, remembers them in the settings section "Export", writes the file and
// opens it when asked. Made afresh for each run of the command and each menu update.

class CCmdUI;
class CCollectionCtrl;
class CProfile;
class QString;
class QWidget;

class CExportCollectionHandler
{
public:
    // The choices are remembered in profile.
    explicit CExportCollectionHandler(CProfile& profile);
    virtual ~CExportCollectionHandler();
    CExportCollectionHandler(const CExportCollectionHandler&) = delete;
    CExportCollectionHandler& operator=(const CExportCollectionHandler&) = delete;

    // Exports the collection's rows; without one, those of the focused collection control
    // (or of the focused window's parent). Does nothing for a collection without rows.
    virtual void Export(CCollectionCtrl* pCollection = nullptr);
    // Enabled while the focused window, or else its parent, is a collection with rows.
    virtual void UpdateCommandUI(CCmdUI& cmdUI);

    // The settings section of the export choices.
    static QString SectionName();

private:
    CProfile& m_profile;
};
