#include "res/DialogTemplate.h"
#include "res/Resource.h"

namespace {

using EK = EControlKind;
namespace CS = ControlStyle;
namespace DS = DialogStyle;

// The find window. Template order is the tab order.
constexpr SDialogItem kQuarrowDialog[] = {
    {IDC_RESULT_LIST, EK::ListView, u"", 1, 140, 372, 70,
     CS::Border | CS::Sorted | CS::ShowSelAlways | CS::NoSortHeader},
    {IDC_FIND_NOW, EK::PushButton, u"F&ind Now", 318, 20, 50, 14, CS::DefaultButton},
    {IDC_STOP, EK::PushButton, u"Sto&p", 318, 38, 50, 14, CS::Disabled},
    {IDC_NEW_SEARCH, EK::PushButton, u"Ne&w Search", 318, 56, 50, 14},
    {IDC_CONTAINING_LABEL, EK::Label, u"&Containing text:", 16, 31, 53, 8},
    {IDC_CONTAINING_TEXT, EK::Edit, u"", 70, 29, 200, 12},
    {IDC_LOOKIN_LABEL, EK::Label, u"Look in:", 16, 46, 34, 8},
    {IDC_LOOKIN_TREE, EK::TreeView, u"", 70, 44, 200, 74,
     CS::TreeLines | CS::CheckBoxes | CS::FullRowSelect | CS::NoDrag | CS::ShowSelAlways},
    {IDC_ALL_OBJECTS, EK::RadioButton, u"&All objects", 16, 32, 48, 10, CS::Group},
    {IDC_FIND_CREATED, EK::RadioButton, u"Find all objects created:", 16, 46, 91, 10},
    {IDC_BETWEEN, EK::RadioButton, u"&between", 32, 60, 43, 10, CS::Group},
    {IDC_DATE_FROM, EK::Edit, u"", 80, 59, 70, 12},
    {IDC_AND_LABEL, EK::Label, u"and", 154, 61, 13, 8},
    {IDC_DATE_TO, EK::Edit, u"", 172, 59, 70, 12},
    {IDC_PREVIOUS_MONTHS, EK::RadioButton, u"during the previou&s", 32, 76, 76, 10},
    {IDC_MONTHS, EK::Edit, u"", 110, 75, 32, 12},
    {IDC_MONTHS_LABEL, EK::Label, u"month(s)", 146, 77, 29, 8},
    {IDC_PREVIOUS_DAYS, EK::RadioButton, u"&during the previous", 32, 92, 76, 10},
    {IDC_DAYS, EK::Edit, u"", 110, 91, 32, 12},
    {IDC_DAYS_LABEL, EK::Label, u"day(s)", 146, 93, 20, 8},
    {IDC_TYPE_LABEL, EK::Label, u"Of &type:", 16, 32, 42, 8, CS::Group},
    {IDC_TYPE, EK::DropDownList, u"", 74, 29, 150, 93, CS::Sorted},
    {IDC_NAMED_LABEL, EK::Label, u"Named:", 16, 46, 26, 8},
    {IDC_NAMED, EK::Edit, u"", 74, 44, 150, 12},
    {IDC_SIZE_LABEL, EK::Label, u"&Size is:", 16, 62, 23, 8},
    {IDC_SIZE_IS, EK::DropDownList, u"", 74, 60, 55, 41, CS::Sorted, u"\nAt least\nAt most"},
    {IDC_SIZE, EK::Edit, u"", 137, 60, 35, 12},
    {IDC_BYTES_LABEL, EK::Label, u"Bytes", 176, 62, 18, 8},
    {IDC_MATCH_CASE, EK::CheckBox, u"&Match Case", 74, 80, 54, 10},
    {IDC_REGULAR_EXPRESSION, EK::CheckBox, u"Regular &expression", 74, 96, 76, 10},
    {IDC_TAB, EK::TabControl, u"", 8, 8, 300, 119},
    {IDC_SEPARATOR_LINE, EK::SunkenLine, u"", 0, 0, 373, 8},
};

constexpr SDialogTemplate kTemplates[] = {
    {IDD_QUARROW_DIALOG, u"Quarrow", 374, 222, u"MS Shell Dlg", 8,
     DS::Caption | DS::SysMenu | DS::MinimizeBox | DS::MaximizeBox | DS::SizingBorder |
         DS::Centered | DS::AppWindow,
     IDR_MENU_MAIN, kQuarrowDialog},
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

} // namespace DialogTemplates
