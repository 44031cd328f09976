#pragma once
// One control panel per user session. On Windows the named mutex of the
// instance name decides (CInstanceMutex); a lock file named after it plays its
// part everywhere (a lock left by a crashed process is taken over: its owner
// no longer runs); the owner listens on a local socket of the same name, and
// a later start hands its request over that socket.
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

#include "controlpanel/app/InstanceMutex.h"

class QLocalServer;
class QLocalSocket;

class CSingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Request { Open, OpenSettings, Exit };
    enum class Result { Owner, Running, Failed };

    // directory: where the lock (and on Unix the socket) lives.
    CSingleInstance(const QString& name, const QString& directory, QObject* parent = nullptr);
    ~CSingleInstance() override;

    // Takes the instance: Owner when this process is now the one instance,
    // Running when another holds it, Failed when the lock cannot be made.
    Result Acquire();
    bool IsOwner() const { return m_owner; }
    // Hands a request to the running instance; false when none took it.
    bool Send(Request request) const;

    QString LockPath() const;
    QString ServerName() const;
    // The per-user runtime directory (the temporary directory when there is none).
    static QString DefaultDirectory();

signals:
    // In the owner, for every request a later start sent.
    void RequestReceived(CSingleInstance::Request request);

private:
    void OnNewConnection();
    void ReadRequests(QLocalSocket* socket);

    QString m_name;
    QString m_directory;
    CInstanceMutex m_mutex;  // the named mutex where the system has them
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
    bool m_owner = false;
};
