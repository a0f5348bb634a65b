#include "SingleInstance.h"

#include <QDeadlineTimer>
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
// One request per line from the second copy; a path travels in base64, so
// any byte of a file name (a blank, a line break) survives.
const QByteArray kShowRequest = "show";
const QByteArray kOpenRequest = "open ";
const QByteArray kAccepted = "ok";
const QByteArray kMeasuring = "measuring";
const QByteArray kBusy = "busy";

QByteArray AnswerLine(THandOver answer)
{
    switch (answer) {
    case THandOver::Accepted:
        return kAccepted;
    case THandOver::Measuring:
        return kMeasuring;
    case THandOver::Busy:
    case THandOver::NoAnswer:
        break;
    }
    return kBusy;
}
} // namespace

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

bool TSingleInstance::Listen(std::function<void()> onShow,
                             std::function<THandOver(const QString&)> onOpen)
{
    if (lockFd_ < 0)
        return false;
    // Only the lock holder listens, so a socket file left by a crashed copy can
    // be removed safely.
    QLocalServer::removeServer(SocketPath());
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, [this, onShow, onOpen] {
        while (QLocalSocket* s = server_->nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QLocalSocket::readyRead, this, [s, onShow, onOpen] {
                while (s->canReadLine()) {
                    const QByteArray line = s->readLine().trimmed();
                    if (line == kShowRequest) {
                        if (onShow)
                            onShow();
                    } else if (line.startsWith(kOpenRequest)) {
                        const QString path = QString::fromUtf8(
                            QByteArray::fromBase64(line.mid(kOpenRequest.size())));
                        const THandOver answer = onOpen ? onOpen(path) : THandOver::Busy;
                        s->write(AnswerLine(answer) + '\n');
                        s->flush();
                    }
                }
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
    client_->write(kShowRequest + '\n');
    client_->waitForBytesWritten(timeoutMs);
    client_->disconnectFromServer();
}

THandOver TSingleInstance::HandOver(const QString& path, int timeoutMs)
{
    if (!client_ || client_->state() != QLocalSocket::ConnectedState)
        return THandOver::NoAnswer;
    client_->write(kOpenRequest + path.toUtf8().toBase64() + '\n');
    if (!client_->waitForBytesWritten(timeoutMs))
        return THandOver::NoAnswer;
    QDeadlineTimer deadline(timeoutMs);
    while (!client_->canReadLine()) {
        if (deadline.hasExpired() || !client_->waitForReadyRead(int(deadline.remainingTime())))
            return THandOver::NoAnswer;
    }
    const QByteArray answer = client_->readLine().trimmed();
    client_->disconnectFromServer();
    if (answer == kAccepted)
        return THandOver::Accepted;
    if (answer == kMeasuring)
        return THandOver::Measuring;
    return THandOver::Busy;
}
