#include "catalog/CObjectModel.h"

#include "catalog/CDispatchLibrary.h"
#include "catalog/CLiveLibrary.h"
#include "catalog/CSnapshotLibrary.h"

#include <mutex>

namespace {

std::mutex g_libraryLock;
bool g_bLibrariesSet = false;
std::shared_ptr<ILibrary> g_pModernLibrary;
std::shared_ptr<ILibrary> g_pLegacyLibrary;

void SetDefaultsLocked()
{
    // Snapshot files by their ".qcat" names, live servers by any other name.
    for (EFlavour flavour : {EFlavour::Modern, EFlavour::Legacy}) {
        auto library =
            std::make_shared<CDispatchLibrary>(flavour, std::make_shared<CSnapshotLibrary>(flavour),
                                               std::make_shared<CLiveLibrary>(flavour));
        (flavour == EFlavour::Modern ? g_pModernLibrary : g_pLegacyLibrary) = std::move(library);
    }
    g_bLibrariesSet = true;
}

} // namespace

std::shared_ptr<ILibrary> CObjectModel::GetLibrary(EFlavour flavour)
{
    std::lock_guard lock(g_libraryLock);
    // Until someone chooses, the libraries Quarrow ships with are in place.
    if (!g_bLibrariesSet) {
        SetDefaultsLocked();
    }
    return flavour == EFlavour::Modern ? g_pModernLibrary : g_pLegacyLibrary;
}

void CObjectModel::SetLibraries(std::shared_ptr<ILibrary> modern, std::shared_ptr<ILibrary> legacy)
{
    std::lock_guard lock(g_libraryLock);
    g_pModernLibrary = std::move(modern);
    g_pLegacyLibrary = std::move(legacy);
    g_bLibrariesSet = true;
}

void CObjectModel::UseDefaultLibraries()
{
    std::lock_guard lock(g_libraryLock);
    SetDefaultsLocked();
}
