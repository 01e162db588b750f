#pragma once
// Dialog templates as data: the dialog's size in dialog units and its controls in template
// order (which is also the tab order), each with its id, kind, text, rectangle and style.

#include <cstdint>
#include <span>

enum class EControlKind
{
    Label,         // static text
    Edit,          // single-line edit
    PushButton,    // push button (DefaultButton style marks the default one)
    RadioButton,   // radio button (Group style starts a group)
    CheckBox,      // check box
    DropDownList,  // combo box without an edit field
    DropDownCombo, // combo box with an edit field
    ListView,      // report list view
    TreeView,      // tree view
    TabControl,    // tab strip with its body; the pages' controls lie on top of it
    SunkenLine,    // a sunken horizontal line
    GroupBox,      // a frame with a caption
    CheckListBox,  // list box with check boxes
    ListBox,       // plain list box
};

namespace ControlStyle {
inline constexpr std::uint32_t None = 0;
inline constexpr std::uint32_t Group = 1u << 0;         // starts a group (radio groups)
inline constexpr std::uint32_t Disabled = 1u << 1;      // created disabled
inline constexpr std::uint32_t Hidden = 1u << 2;        // created hidden
inline constexpr std::uint32_t DefaultButton = 1u << 3; // the dialog's default push button
inline constexpr std::uint32_t Sorted = 1u << 4;        // combo and list boxes keep items sorted
inline constexpr std::uint32_t ReadOnly = 1u << 5;      // edits
inline constexpr std::uint32_t Border = 1u << 6;        // single border
inline constexpr std::uint32_t ShowSelAlways = 1u << 7; // list and tree views
inline constexpr std::uint32_t NoSortHeader = 1u << 8;  // list views
inline constexpr std::uint32_t CheckBoxes = 1u << 9;    // tree views
inline constexpr std::uint32_t TreeLines = 1u << 10;    // tree views: buttons and lines
inline constexpr std::uint32_t FullRowSelect = 1u << 11;
inline constexpr std::uint32_t NoDrag = 1u << 12;
inline constexpr std::uint32_t PushLike = 1u << 13;          // radio buttons drawn as buttons
inline constexpr std::uint32_t MultipleSelection = 1u << 14; // list boxes
inline constexpr std::uint32_t Password = 1u << 15;          // edits: typed characters masked
inline constexpr std::uint32_t WordWrap = 1u << 16;          // static text over several lines
} // namespace ControlStyle

struct SDialogItem
{
    int nId = -1;
    EControlKind kind = EControlKind::Label;
    const char16_t* pszText = u"";
    int x = 0, y = 0, cx = 0, cy = 0; // dialog units
    std::uint32_t nStyle = ControlStyle::None;
    // Initial entries of a combo box, separated by '\n' (empty: none).
    const char16_t* pszInitialData = u"";
    // The page of the template's tab control the control is shown on (1 for the first);
    // 0 for a control outside the pages. Controls of different pages share one area.
    int nPage = 0;
};

namespace DialogStyle {
inline constexpr std::uint32_t None = 0;
inline constexpr std::uint32_t Caption = 1u << 0;
inline constexpr std::uint32_t SysMenu = 1u << 1;
inline constexpr std::uint32_t MinimizeBox = 1u << 2;
inline constexpr std::uint32_t MaximizeBox = 1u << 3;
inline constexpr std::uint32_t SizingBorder = 1u << 4;
inline constexpr std::uint32_t Centered = 1u << 5;
inline constexpr std::uint32_t AppWindow = 1u << 6; // shown in the task bar
} // namespace DialogStyle

struct SDialogTemplate
{
    int nId = 0;
    const char16_t* pszCaption = u"";
    int cx = 0, cy = 0; // dialog units
    const char16_t* pszFontName = u"MS Shell Dlg";
    int nPointSize = 8;
    std::uint32_t nStyle = DialogStyle::None;
    int nMenuId = 0; // menu bar resource; 0 for none
    std::span<const SDialogItem> items;
};

namespace DialogTemplates {

// The template with this id, or null.
const SDialogTemplate* Find(int nId);
// Every template, in id order.
std::span<const SDialogTemplate> All();

} // namespace DialogTemplates
