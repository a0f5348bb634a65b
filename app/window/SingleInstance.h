#pragma once
// One copy of the program per user: a lock that the OS releases when the
// process ends, however it ends, and a local socket on which the running copy
// hears a second one.

#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    // `dir` holds the lock file and the socket; the user's runtime directory by default.
    explicit TSingleInstance(const QString& dir = QString(), QObject* parent = nullptr);
    ~TSingleInstance() override;

    // Takes the lock without waiting; false only when another copy holds it
    // (a folder where no lock can be made lets the program run unguarded).
    bool TryLock();
    // Once the window exists: call onShow whenever a second copy asks for it.
    bool Listen(std::function<void()> onShow);

    // In a second copy: whether the running copy answers on its socket.
    bool ConnectToRunning(int timeoutMs = 1000);
    // In a second copy, after ConnectToRunning: ask it to bring its window forward.
    void AskRunningToShow(int timeoutMs = 1000);

    QString LockPath() const;
    QString SocketPath() const;

private:
    QString dir_;
    int lockFd_ = -1;
    QLocalServer* server_ = nullptr;
    class QLocalSocket* client_ = nullptr;
};
