#include "desktop/SingleInstance.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <memory>

namespace miravel::desktop {

QString SingleInstance::defaultName() {
    return QString("miravel-%1").arg(::getuid());
}

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), m_name(std::move(name)) {}

bool SingleInstance::handToRunningInstance(const QStringList& files, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    // Paths are made absolute: the running instance has a working folder of its own.
    QStringList absolute;
    for (const QString& file : files) {
        absolute << QFileInfo(file).absoluteFilePath();
    }
    socket.write(absolute.join('\n').toUtf8() + "\n\n");
    socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::listen() {
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name)) {
        // A socket file left by an instance that crashed: nobody answered on it above.
        QLocalServer::removeServer(m_name);
        if (!m_server->listen(m_name)) {
            return false;
        }
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            auto buffer = std::make_shared<QByteArray>();
            connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
                *buffer += socket->readAll();
                if (!buffer->endsWith("\n\n")) {
                    return;
                }
                QStringList files;
                for (const QByteArray& line : buffer->split('\n')) {
                    if (!line.isEmpty()) {
                        files << QString::fromUtf8(line);
                    }
                }
                buffer->clear();
                emit filesReceived(files);
            });
        }
    });
    return true;
}

}  // namespace miravel::desktop
