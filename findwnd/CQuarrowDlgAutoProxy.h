#pragma once
// The automation object's side in the find window: while it exists the program is locked and
// closing the find window only hides it. It carries the automation identity and offers no
// methods or properties of its own; the bus service in app/ creates and deletes it.

#include <string_view>

class CQuarrowDlg;

class CQuarrowDlgAutoProxy
{
public:
    static constexpr std::u16string_view kProgramId = u"Quarrow.Application";
    static constexpr std::u16string_view kClassId = u"{5C3B19D4-8E2A-4F71-B6C0-2D94E7A1F358}";
    static constexpr std::u16string_view kDispatchInterfaceId =
        u"{5C3B19D6-8E2A-4F71-B6C0-2D94E7A1F358}";

    // Locks the application and attaches itself to the main window when that is the find
    // window.
    CQuarrowDlgAutoProxy();
    // Detaches from the find window and releases the application lock.
    ~CQuarrowDlgAutoProxy();
    CQuarrowDlgAutoProxy(const CQuarrowDlgAutoProxy&) = delete;
    CQuarrowDlgAutoProxy& operator=(const CQuarrowDlgAutoProxy&) = delete;

    // For a proxy made before the find window existed; ignored once it has a window.
    void AttachDialog(CQuarrowDlg* pDialog);

    CQuarrowDlg* GetDialog() const { return m_pDialog; }
    // The find window's destruction sets null here.
    void SetDialog(CQuarrowDlg* pDialog) { m_pDialog = pDialog; }

private:
    CQuarrowDlg* m_pDialog = nullptr;
};
