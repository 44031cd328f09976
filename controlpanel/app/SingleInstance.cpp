#include "controlpanel/app/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {

constexpr int kHandOverMs = 2000;

QByteArray Encode(CSingleInstance::Request request)
{
    switch (request) {
    case CSingleInstance::Request::Open: return "open\n";
    case CSingleInstance::Request::OpenSettings: return "open-settings\n";
    case CSingleInstance::Request::Exit: return "exit\n";
    }
    return {};
}

} // namespace

CSingleInstance::CSingleInstance(const QString& name, const QString& directory, QObject* parent)
    : QObject(parent), m_name(name), m_directory(directory)
{
}

CSingleInstance::~CSingleInstance()
{
    if (m_server)
        m_server->close();
    if (m_lock)
        m_lock->unlock();
}

QString CSingleInstance::DefaultDirectory()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir;
}

QString CSingleInstance::LockPath() const
{
    return QDir(m_directory).filePath(m_name + QStringLiteral(".lock"));
}

QString CSingleInstance::ServerName() const
{
#ifdef Q_OS_WIN
    return m_name;  // a pipe name; the session separates users
#else
    return QDir(m_directory).filePath(m_name);
#endif
}

CSingleInstance::Result CSingleInstance::Acquire()
{
    if (m_owner)
        return Result::Owner;
    switch (m_mutex.Create(m_name)) {
    case CInstanceMutex::Result::Exists:
        return Result::Running;
    case CInstanceMutex::Result::Failed:
        return Result::Failed;
    case CInstanceMutex::Result::Created:
    case CInstanceMutex::Result::Unsupported:
        break;
    }
    QDir().mkpath(m_directory);
    m_lock = std::make_unique<QLockFile>(LockPath());
    m_lock->setStaleLockTime(0);  // only a dead owner makes the lock stale
    if (!m_lock->tryLock(0)) {
        const bool running = m_lock->error() == QLockFile::LockFailedError;
        m_lock.reset();
        m_mutex.Close();
        return running ? Result::Running : Result::Failed;
    }
    // A socket left by a crashed owner goes; the lock says none runs.
    QLocalServer::removeServer(ServerName());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(ServerName())) {
        delete m_server;
        m_server = nullptr;
        m_lock->unlock();
        m_lock.reset();
        m_mutex.Close();
        return Result::Failed;
    }
    connect(m_server, &QLocalServer::newConnection, this, &CSingleInstance::OnNewConnection);
    m_owner = true;
    return Result::Owner;
}

bool CSingleInstance::Send(Request request) const
{
    QLocalSocket socket;
    socket.connectToServer(ServerName());
    if (!socket.waitForConnected(kHandOverMs))
        return false;
    socket.write(Encode(request));
    const bool written = socket.waitForBytesWritten(kHandOverMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kHandOverMs);
    return written;
}

void CSingleInstance::OnNewConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { ReadRequests(socket); });
        ReadRequests(socket);  // what arrived with the connection
    }
}

void CSingleInstance::ReadRequests(QLocalSocket* socket)
{
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine().trimmed();
        if (line == "open")
            emit RequestReceived(Request::Open);
        else if (line == "open-settings")
            emit RequestReceived(Request::OpenSettings);
        else if (line == "exit")
            emit RequestReceived(Request::Exit);
    }
}
