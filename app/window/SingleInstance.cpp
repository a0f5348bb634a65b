#include "SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {
const QByteArray kShowRequest = "show\n";
}

TSingleInstance::TSingleInstance(const QString& dir, QObject* parent) : QObject(parent), dir_(dir)
{
    if (dir_.isEmpty()) {
        dir_ = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (dir_.isEmpty())
            dir_ = QDir::tempPath();
    }
}

TSingleInstance::~TSingleInstance()
{
    if (server_)
        server_->close();
    if (lockFd_ >= 0)
        ::close(lockFd_);
}

QString TSingleInstance::LockPath() const
{
    return dir_ + QStringLiteral("/MIRANTOS.lock");
}
QString TSingleInstance::SocketPath() const
{
    return dir_ + QStringLiteral("/MIRANTOS.socket");
}

bool TSingleInstance::TryLock()
{
    if (lockFd_ >= 0)
        return true;
    const QByteArray path = QFile::encodeName(LockPath());
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        // No lock file can be made here (a missing or read-only runtime
        // folder): that says nothing about another copy, so the program runs,
        // only without the guard.
        return true;
    }
    // flock is atomic and goes away with the process, so a crashed copy never
    // blocks the next start.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return !held;
    }
    lockFd_ = fd;
    return true;
}

bool TSingleInstance::Listen(std::function<void()> onShow)
{
    if (lockFd_ < 0)
        return false;
    // Only the lock holder listens, so a socket file left by a crashed copy can
    // be removed safely.
    QLocalServer::removeServer(SocketPath());
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, [this, onShow] {
        while (QLocalSocket* s = server_->nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QLocalSocket::readyRead, this, [s, onShow] {
                if (s->readAll().contains(kShowRequest) && onShow)
                    onShow();
            });
        }
    });
    return server_->listen(SocketPath());
}

bool TSingleInstance::ConnectToRunning(int timeoutMs)
{
    delete client_;
    client_ = new QLocalSocket(this);
    client_->connectToServer(SocketPath());
    return client_->waitForConnected(timeoutMs);
}

void TSingleInstance::AskRunningToShow(int timeoutMs)
{
    if (!client_ || client_->state() != QLocalSocket::ConnectedState)
        return;
    client_->write(kShowRequest);
    client_->waitForBytesWritten(timeoutMs);
    client_->disconnectFromServer();
}
