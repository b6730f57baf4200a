#include "gui/InstanceBeacon.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <filesystem>
#include <unistd.h>

namespace {
const QByteArray kWake = "show\n";
}

CInstanceBeacon::CInstanceBeacon(QObject* parent) : QObject(parent) {}

CInstanceBeacon::~CInstanceBeacon() = default;

QString CInstanceBeacon::ServerName(const std::string& installDirectory)
{
    std::error_code error;
    std::filesystem::path dir = std::filesystem::weakly_canonical(installDirectory, error);
    if (error)
        dir = installDirectory;
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(dir.string()), QCryptographicHash::Sha256).toHex().left(16);
    const QString name = QStringLiteral("Ostara32byTalmiraSoft-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
    // The user's own runtime folder keeps other users from taking the name
    // first; without one Qt's temporary folder is used.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists())
        return QDir(runtime).filePath(name);
    return name;
}

bool CInstanceBeacon::Listen(const std::string& installDirectory)
{
    delete m_server;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString name = ServerName(installDirectory);
    // Only the guard's holder gets here, so a socket by this name is one a
    // crashed holder left behind.
    QLocalServer::removeServer(name);
    if (!m_server->listen(name))
        return false;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                while (peer->canReadLine())
                    if (peer->readLine() == kWake && onWake)
                        onWake();
                if (peer->bytesAvailable() > 64) // not one of ours
                    peer->abort();
            });
        }
    });
    return true;
}

bool CInstanceBeacon::WakeRunning(const std::string& installDirectory, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(ServerName(installDirectory));
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(kWake);
    const bool sent = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    return sent;
}
