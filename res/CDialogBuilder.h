#pragma once
// Makes Qt widgets from a dialog template. Dialog units become pixels with the dialog font's
// base units: x = dlu * avgCharWidth / 4, y = dlu * height / 8. Every widget made from a
// template carries its id: object name "id<number>" and the property "quarrowId". Once laid
// out, controls whose text needs more room than the template gave it take it (CDialogFitter).

#include "res/DialogTemplate.h"

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>

class QButtonGroup;
class QWidget;

class CDialogBuilder
{
public:
    // The base units of the font given (by default the application's dialog font).
    explicit CDialogBuilder(const QFont& font);
    CDialogBuilder();

    int GetBaseUnitX() const { return m_nBaseX; } // average character width
    int GetBaseUnitY() const { return m_nBaseY; } // character height

    QRect MapDialogRect(int x, int y, int cx, int cy) const;
    QSize MapDialogSize(int cx, int cy) const;

    // Creates the template's controls as children of pDialog and sizes pDialog's client area
    // to the template, then fits the controls to their texts (which may widen pDialog).
    // Radio groups get an exclusive QButtonGroup named "group<first id>".
    // Answers false (and creates nothing) for an empty template.
    bool Build(const SDialogTemplate& dlgTemplate, QWidget* pDialog) const;
    // Fits the controls below pDialog to their texts again, for a dialog that changed texts or
    // filled combo boxes after Build.
    void FitControls(QWidget* pDialog) const;
    // Creates one control as a child of pParent.
    QWidget* CreateControl(const SDialogItem& item, QWidget* pParent) const;

    // The widget with this id below pRoot, or null.
    static QWidget* FindControl(const QWidget* pRoot, int nId);
    // The id a widget carries, or 0 when it carries none.
    static int GetControlId(const QWidget* pWidget);
    // Gives a widget an id (object name and property).
    static void SetControlId(QWidget* pWidget, int nId);
    // The template style bits a widget was made with.
    static std::uint32_t GetControlStyle(const QWidget* pWidget);
    // The radio group whose first button has this id, or null.
    static QButtonGroup* FindRadioGroup(const QWidget* pDialog, int nFirstId);

    static constexpr const char* kIdProperty = "quarrowId";
    static constexpr const char* kStyleProperty = "quarrowStyle";
    static constexpr const char* kPageProperty = "quarrowPage"; // the template's tab page

private:
    int m_nBaseX = 0;
    int m_nBaseY = 0;
};
