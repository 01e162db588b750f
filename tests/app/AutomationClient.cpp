// quarrow-automation-client [DEST]: holds Quarrow's automation object for the tests. Acquires
// it at DEST (default "Quarrow.Application", which the bus may start) and prints the unique
// name that answered; then reads commands from standard input, one a line, and sends them to
// that unique name: "acquire" and "release" print "ok" or "error: <name>". The end of input
// (or being killed) leaves the bus, which gives back every reference still held.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <cstdio>
#include <iostream>
#include <string>

using namespace Qt::StringLiterals;

namespace {

QDBusMessage Call(const QString& strDest, const QString& strMember)
{
    const QDBusMessage call = QDBusMessage::createMethodCall(
        strDest, u"/Quarrow/Application"_s, u"Quarrow.Application.Lifecycle"_s, strMember);
    // Long enough for the bus to start a copy of the program.
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 30000);
}

void Print(const std::string& strLine)
{
    std::fputs((strLine + "\n").c_str(), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (!QDBusConnection::sessionBus().isConnected()) {
        Print("error: no session bus");
        return 2;
    }
    QString strDest = argc > 1 ? QString::fromLocal8Bit(argv[1]) : u"Quarrow.Application"_s;
    const QDBusMessage reply = Call(strDest, u"Acquire"_s);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        Print("error: " + reply.errorName().toStdString() + " " +
              reply.errorMessage().toStdString());
        return 1;
    }
    strDest = reply.arguments().constFirst().toString();
    Print(strDest.toStdString());

    std::string strCommand;
    while (std::getline(std::cin, strCommand)) {
        if (strCommand != "acquire" && strCommand != "release") {
            Print("error: unknown command");
            continue;
        }
        const QDBusMessage answer =
            Call(strDest, strCommand == "acquire" ? u"Acquire"_s : u"Release"_s);
        Print(answer.type() == QDBusMessage::ReplyMessage
                  ? "ok"
                  : "error: " + answer.errorName().toStdString());
    }
    return 0;
}
