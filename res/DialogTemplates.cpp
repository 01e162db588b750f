#include "res/DialogTemplate.h"
#include "res/Resource.h"

namespace {

using EK = EControlKind;
namespace CS = ControlStyle;
namespace DS = DialogStyle;

// The find window. Template order is the tab order. Pages: 1 Name & Location, 2 Date Modified,
// 3 Advanced.
constexpr SDialogItem kQuarrowDialog[] = {
    {IDC_RESULT_LIST, EK::ListView, u"", 1, 140, 372, 70,
     CS::Border | CS::Sorted | CS::ShowSelAlways | CS::NoSortHeader},
    {IDC_FIND_NOW, EK::PushButton, u"F&ind Now", 318, 20, 50, 14, CS::DefaultButton},
    {IDC_STOP, EK::PushButton, u"Sto&p", 318, 38, 50, 14, CS::Disabled},
    {IDC_NEW_SEARCH, EK::PushButton, u"Ne&w Search", 318, 56, 50, 14},
    {IDC_CONTAINING_LABEL, EK::Label, u"&Containing text:", 16, 31, 53, 8, CS::None, u"", 1},
    {IDC_CONTAINING_TEXT, EK::Edit, u"", 70, 29, 200, 12, CS::None, u"", 1},
    {IDC_LOOKIN_LABEL, EK::Label, u"Look in:", 16, 46, 34, 8, CS::None, u"", 1},
    {IDC_LOOKIN_TREE, EK::TreeView, u"", 70, 44, 200, 74,
     CS::TreeLines | CS::CheckBoxes | CS::FullRowSelect | CS::NoDrag | CS::ShowSelAlways, u"", 1},
    {IDC_ALL_OBJECTS, EK::RadioButton, u"&All objects", 16, 32, 48, 10, CS::Group, u"", 2},
    {IDC_FIND_CREATED, EK::RadioButton, u"Find all objects created:", 16, 46, 91, 10, CS::None, u"",
     2},
    {IDC_BETWEEN, EK::RadioButton, u"&between", 32, 60, 43, 10, CS::Group, u"", 2},
    {IDC_DATE_FROM, EK::Edit, u"", 80, 59, 70, 12, CS::None, u"", 2},
    {IDC_AND_LABEL, EK::Label, u"and", 154, 61, 13, 8, CS::None, u"", 2},
    {IDC_DATE_TO, EK::Edit, u"", 172, 59, 70, 12, CS::None, u"", 2},
    {IDC_PREVIOUS_MONTHS, EK::RadioButton, u"during the previou&s", 32, 76, 76, 10, CS::None, u"",
     2},
    {IDC_MONTHS, EK::Edit, u"", 110, 75, 32, 12, CS::None, u"", 2},
    {IDC_MONTHS_LABEL, EK::Label, u"month(s)", 146, 77, 29, 8, CS::None, u"", 2},
    {IDC_PREVIOUS_DAYS, EK::RadioButton, u"&during the previous", 32, 92, 76, 10, CS::None, u"", 2},
    {IDC_DAYS, EK::Edit, u"", 110, 91, 32, 12, CS::None, u"", 2},
    {IDC_DAYS_LABEL, EK::Label, u"day(s)", 146, 93, 20, 8, CS::None, u"", 2},
    {IDC_TYPE_LABEL, EK::Label, u"Of &type:", 16, 32, 42, 8, CS::Group, u"", 3},
    {IDC_TYPE, EK::DropDownList, u"", 74, 29, 150, 93, CS::Sorted, u"", 3},
    {IDC_NAMED_LABEL, EK::Label, u"Named:", 16, 46, 26, 8, CS::None, u"", 3},
    {IDC_NAMED, EK::Edit, u"", 74, 44, 150, 12, CS::None, u"", 3},
    {IDC_SIZE_LABEL, EK::Label, u"&Size is:", 16, 62, 23, 8, CS::None, u"", 3},
    {IDC_SIZE_IS, EK::DropDownList, u"", 74, 60, 55, 41, CS::Sorted, u"\nAt least\nAt most", 3},
    {IDC_SIZE, EK::Edit, u"", 137, 60, 35, 12, CS::None, u"", 3},
    {IDC_BYTES_LABEL, EK::Label, u"Bytes", 176, 62, 18, 8, CS::None, u"", 3},
    {IDC_MATCH_CASE, EK::CheckBox, u"&Match Case", 74, 80, 54, 10, CS::None, u"", 3},
    {IDC_REGULAR_EXPRESSION, EK::CheckBox, u"Regular &expression", 74, 96, 76, 10, CS::None, u"",
     3},
    {IDC_TAB, EK::TabControl, u"", 8, 8, 300, 119},
    {IDC_SEPARATOR_LINE, EK::SunkenLine, u"", 0, 0, 373, 8},
};

// New SQL Server Registration. OK stays disabled until a server name exists.
constexpr SDialogItem kNewRegistration[] = {
    {IDC_STATIC, EK::Label, u"&Server:", 7, 9, 40, 8},
    {IDC_REG_SERVER, EK::Edit, u"", 50, 7, 120, 12},
    {IDC_REG_BROWSE, EK::PushButton, u"...", 174, 6, 16, 14},
    {IDC_STATIC, EK::GroupBox, u"Connection", 7, 26, 183, 82},
    {IDC_REG_WINDOWS_AUTH, EK::RadioButton, u"Use &Windows NT authentication", 14, 38, 150, 10,
     CS::Group},
    {IDC_REG_SQL_AUTH, EK::RadioButton, u"Use S&QL Server authentication", 14, 52, 150, 10},
    {IDC_STATIC, EK::Label, u"&Login Name:", 26, 70, 46, 8, CS::Group},
    {IDC_REG_LOGIN_NAME, EK::Edit, u"", 76, 68, 106, 12},
    {IDC_STATIC, EK::Label, u"&Password:", 26, 88, 46, 8},
    {IDC_REG_PASSWORD, EK::Edit, u"", 76, 86, 106, 12, CS::Password},
    {IDOK, EK::PushButton, u"OK", 198, 7, 50, 14, CS::DefaultButton | CS::Disabled},
    {IDCANCEL, EK::PushButton, u"Cancel", 198, 24, 50, 14},
    // Encryption of the live connection; the entries in the order of EEncryptionMode.
    {IDC_STATIC, EK::GroupBox, u"Encryption", 7, 112, 183, 44},
    {IDC_STATIC, EK::Label, u"&Mode:", 14, 126, 58, 8, CS::Group},
    {IDC_REG_ENCRYPTION, EK::DropDownList, u"", 76, 124, 106, 60, CS::None,
     u"Off\nRequest\nRequire"},
    {IDC_REG_TRUST_CERTIFICATE, EK::CheckBox, u"&Trust server certificate", 14, 141, 168, 10},
};

// Select Server: the SQL Servers the object model finds active.
constexpr SDialogItem kSelectServer[] = {
    {IDC_STATIC, EK::Label, u"The following SQL Servers are currently active on the Network.", 7, 7,
     180, 16, CS::WordWrap},
    {IDC_STATIC, EK::GroupBox, u"Active Servers", 7, 26, 180, 100},
    {IDC_SERVER_LIST, EK::ListBox, u"", 14, 38, 166, 82, CS::Sorted},
    {IDOK, EK::PushButton, u"OK", 194, 7, 50, 14, CS::DefaultButton},
    {IDCANCEL, EK::PushButton, u"Cancel", 194, 24, 50, 14},
};

// The export panel below the Save As dialog: separators and the two choices.
constexpr SDialogItem kExportSimple[] = {
    {IDC_STATIC, EK::Label, u"&Column separator:", 7, 4, 66, 8},
    {IDC_COLUMN_SEPARATOR, EK::DropDownCombo, u"", 76, 2, 96, 60, CS::Sorted},
    {IDC_STATIC, EK::Label, u"&Row separator:", 7, 20, 66, 8},
    {IDC_ROW_SEPARATOR, EK::DropDownCombo, u"", 76, 18, 96, 60, CS::Sorted},
    {IDC_SELECTION_ONLY, EK::CheckBox, u"Selection only", 184, 4, 90, 10},
    {IDC_OPEN_EXPORT_FILE, EK::CheckBox, u"Open export file", 184, 20, 90, 10},
};

// The same panel with the column list for collections of more than one column.
constexpr SDialogItem kExportColumns[] = {
    {IDC_STATIC, EK::Label, u"&Column separator:", 7, 4, 66, 8},
    {IDC_COLUMN_SEPARATOR, EK::DropDownCombo, u"", 76, 2, 96, 60, CS::Sorted},
    {IDC_STATIC, EK::Label, u"&Row separator:", 7, 20, 66, 8},
    {IDC_ROW_SEPARATOR, EK::DropDownCombo, u"", 76, 18, 96, 60, CS::Sorted},
    {IDC_SELECTION_ONLY, EK::CheckBox, u"Selection only", 184, 4, 90, 10},
    {IDC_OPEN_EXPORT_FILE, EK::CheckBox, u"Open export file", 184, 20, 90, 10},
    {IDC_STATIC, EK::Label, u"C&olumns:", 7, 38, 66, 8},
    {IDC_COLUMN_LIST, EK::CheckListBox, u"", 7, 48, 165, 62, CS::Border | CS::MultipleSelection},
    {IDC_MOVE_UP, EK::PushButton, u"Up", 176, 48, 32, 14, CS::Disabled},
    {IDC_MOVE_DOWN, EK::PushButton, u"Down", 176, 64, 32, 14, CS::Disabled},
    {IDC_DEFAULT_COLUMNS, EK::RadioButton, u"Default", 184, 80, 60, 14, CS::Group | CS::PushLike},
    {IDC_LAST_EXPORT_COLUMNS, EK::RadioButton, u"Last export", 184, 96, 60, 14, CS::PushLike},
};

constexpr SDialogTemplate kTemplates[] = {
    {IDD_QUARROW_DIALOG, u"Quarrow", 374, 222, u"MS Shell Dlg", 8,
     DS::Caption | DS::SysMenu | DS::MinimizeBox | DS::MaximizeBox | DS::SizingBorder |
         DS::Centered | DS::AppWindow,
     IDR_MENU_MAIN, kQuarrowDialog},
    {IDD_NEW_REGISTRATION, u"New SQL Server Registration", 256, 163, u"MS Shell Dlg", 8,
     DS::Caption | DS::SysMenu | DS::Centered, 0, kNewRegistration},
    {IDD_SELECT_SERVER, u"Select Server", 251, 133, u"MS Shell Dlg", 8,
     DS::Caption | DS::SysMenu | DS::Centered, 0, kSelectServer},
    {IDD_EXPORT_SIMPLE, u"", 280, 34, u"MS Shell Dlg", 8, DS::None, 0, kExportSimple},
    {IDD_EXPORT_COLUMNS, u"", 280, 116, u"MS Shell Dlg", 8, DS::None, 0, kExportColumns},
};

} // namespace

namespace DialogTemplates {

const SDialogTemplate* Find(int nId)
{
    for (const SDialogTemplate& dlg : kTemplates) {
        if (dlg.nId == nId)
            return &dlg;
    }
    return nullptr;
}

std::span<const SDialogTemplate> All()
{
    return kTemplates;
}

} // namespace DialogTemplates
