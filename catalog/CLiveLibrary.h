#pragma once
// The library that serves live SQL Servers over ODBC (unixODBC with FreeTDS's driver by
// default), one flavour per library: the modern one reads the sys.* catalog views and
// refuses servers older than SQL Server 2005; the legacy one reads sysobjects/syscomments
// and serves any version.
//
// Connections: the server keeps its own for the user-interface thread (connect, list
// databases); object lists and scripts run on worker connections the server lends out, each
// switched to its database with USE, so the two threads never share a statement. A list
// reads its objects with one query and its scripts, in list order, from one more query
// streamed as the search walks the list.

#include "catalog/ObjectModel.h"

#include <memory>
#include <string>

class COdbcConnection;

class CLiveLibrary : public ILibrary
{
public:
    explicit CLiveLibrary(EFlavour flavour) : m_flavour(flavour) {}

    EFlavour GetFlavour() const override { return m_flavour; }
    std::shared_ptr<IServer> CreateServer() override;
    std::shared_ptr<IApplication> CreateApplication() override;

    // A server's login wait when the caller sets none.
    static constexpr int kDefaultLoginTimeout = 20;
    // The oldest major version the modern library serves (SQL Server 2005).
    static constexpr int kModernMajorVersion = 9;

    // For readers that stream a whole catalogue by themselves (a snapshot): a worker
    // connection of a server this library connected, switched to the database. Null with a
    // reason when the server is not one of ours or the database cannot be opened.
    static std::unique_ptr<COdbcConnection>
    LendConnection(IServer& server, const std::u16string& database, std::u16string& reason);
    // Takes back a lent connection whose last statement was read to its end.
    static void ReturnConnection(IServer& server, std::unique_ptr<COdbcConnection> connection);

private:
    EFlavour m_flavour;
};
