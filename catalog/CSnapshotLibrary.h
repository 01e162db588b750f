#pragma once
// The library that serves catalogue snapshots (`.qcat` files) as servers of one flavour.
// A name with a '/' is a path; a bare file name is looked up in the current folder, then in
// $XDG_DATA_HOME/quarrow/catalogues, then in the installed demo folder. A file of the other
// flavour fails to connect here, so the other flavour's library gets its turn.

#include "catalog/ObjectModel.h"

#include <memory>
#include <string>
#include <vector>

class CSnapshotLibrary : public ILibrary
{
public:
    explicit CSnapshotLibrary(EFlavour flavour) : m_flavour(flavour) {}

    EFlavour GetFlavour() const override { return m_flavour; }
    std::shared_ptr<IServer> CreateServer() override;
    std::shared_ptr<IApplication> CreateApplication() override;

    static constexpr const char16_t* kSuffix = u".qcat";

    // True when the name is one this library serves (it ends in ".qcat").
    static bool IsSnapshotName(const std::u16string& name);

    // The file a server name stands for. False with a reason when there is none.
    static bool ResolveName(const std::u16string& name, std::string& path, std::u16string& reason);

    // $XDG_DATA_HOME/quarrow/catalogues (or ~/.local/share/quarrow/catalogues).
    static std::string GetUserFolder();
    // The demo folders that exist: beside the running program (../share/quarrow/catalogues,
    // which also finds the build tree's copy), then the installed data folder.
    static std::vector<std::string> GetDemoFolders();

private:
    EFlavour m_flavour;
};
