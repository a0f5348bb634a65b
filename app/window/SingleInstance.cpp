#include "SingleInstance.h"

#include "FtdiDriver.h"
#include "Mirantos_Main.h"
#include "Texts.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QStandardPaths>
#include <cerrno>
#include <exception>
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

int RunMirantos(int argc, char** argv, std::function<std::unique_ptr<IFtdiDriver>()> makeDriver)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(mirantos::text::AppTitle));

    TSingleInstance guard;
    if (!guard.TryLock()) {
        // Another copy runs. When its window answers, say so and bring it forward.
        if (guard.ConnectToRunning()) {
            QMessageBox::critical(nullptr, QString::fromUtf8(mirantos::text::AppTitle),
                                  QString::fromUtf8(mirantos::text::AlreadyRunning));
            guard.AskRunningToShow();
        }
        return 1;
    }

    try {
        TFormMainDeps deps;
        deps.MakeDriver = std::move(makeDriver);
        TFormMain window(std::move(deps));
        if (window.ConstructionFailed())
            return 0;
        window.show();
        guard.Listen([&window] {
            window.showNormal();
            window.raise();
            window.activateWindow();
        });
        app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QString::fromUtf8(mirantos::text::AppTitle),
                              QString::fromLocal8Bit(e.what()));
    }
    return 0;
}
