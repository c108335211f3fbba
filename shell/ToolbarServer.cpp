#include "shell/ToolbarServer.h"

#include "platform/system/toolbar_socket.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <memory>
#include <utility>
#include <vector>

namespace velm {

TToolbarServer::TToolbarServer(QObject* parent) : QObject(parent), FServer(new QLocalServer(this))
{
    connect(FServer, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = FServer->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
            Read(socket);
        }
    });
}

TToolbarServer::~TToolbarServer() { FServer->close(); }

bool TToolbarServer::Listen(const std::string& Path)
{
    if (Path.empty())
        return false;
    const QString name = QString::fromStdString(Path);
    {
        // A toolbar that answers keeps the door; a socket left by a toolbar
        // that was killed is taken over.
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(1000))
            return false;
    }
    QLocalServer::removeServer(name);
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    return FServer->listen(name);
}

void TToolbarServer::Read(QLocalSocket* Socket)
{
    // The whole request first: the files run only once the sender has
    // its answer and can go.
    if (!Socket->canReadLine() || !Socket->peek(1 << 20).contains("\n\n"))
        return;
    std::vector<std::pair<std::string, std::string>> files;
    for (;;) {
        const QByteArray line = Socket->readLine().chopped(1);
        if (line.isEmpty())
            break;
        const qsizetype tab = line.indexOf('\t');
        const QByteArray action = line.left(tab);
        if (tab > 0 && (action == "View" || action == "Print"))
            files.emplace_back(line.mid(tab + 1).toStdString(), action.toStdString());
    }
    Socket->write(QByteArray(kHandOverTaken) + "\n");
    Socket->flush();
    Socket->disconnectFromServer();
    for (auto& [file, action] : files)
        QMetaObject::invokeMethod(this, [this, file, action] { emit FileHandedOver(file, action); }, Qt::QueuedConnection);
}

} // namespace velm
