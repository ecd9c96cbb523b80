#pragma once

#include <QObject>
#include <QStringList>

class QLocalServer;

namespace miravel::desktop {

// One Miravel per user: the first instance listens on a local socket; a later one hands it
// the files it was asked to open and ends.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // The socket's name for this user (and, in tests, a name of their own).
    static QString defaultName();

    explicit SingleInstance(QString name, QObject* parent = nullptr);
    // True when another instance took the files (this one should end).
    bool handToRunningInstance(const QStringList& files, int timeoutMs = 1000);
    // Starts listening; false when the name could not be taken.
    bool listen();

signals:
    void filesReceived(const QStringList& files);

private:
    QString m_name;
    QLocalServer* m_server = nullptr;
};

}  // namespace miravel::desktop
