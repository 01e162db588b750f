#pragma once
// One flavour's library over two: a name ending in ".qcat" goes to the snapshot library,
// any other name to the live-server library. The server it hands out picks its library when
// it connects and passes every later call on.

#include "catalog/ObjectModel.h"

#include <memory>

class CDispatchLibrary : public ILibrary
{
public:
    CDispatchLibrary(EFlavour flavour, std::shared_ptr<ILibrary> snapshots,
                     std::shared_ptr<ILibrary> live)
        : m_flavour(flavour), m_pSnapshots(std::move(snapshots)), m_pLive(std::move(live))
    {}

    EFlavour GetFlavour() const override { return m_flavour; }
    std::shared_ptr<IServer> CreateServer() override;
    // The snapshots and the live servers found, in one sorted list.
    std::shared_ptr<IApplication> CreateApplication() override;

private:
    EFlavour m_flavour;
    std::shared_ptr<ILibrary> m_pSnapshots;
    std::shared_ptr<ILibrary> m_pLive;
};
