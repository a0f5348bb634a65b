#pragma once
// One copy of the program per user: a lock that the OS releases when the
// process ends, however it ends, and a local socket on which the running copy
// hears a second one: "bring your window forward", or "open this file".

#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;

// The running copy's answer to a file handed over by a second copy.
enum class THandOver {
    Accepted,  // it loads the file and comes forward
    Measuring, // refused: a run is in progress
    Busy,      // refused: a command of its own is waiting (a dialog, the board)
    NoAnswer,  // no running copy answered in time
};

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    // `dir` holds the lock file and the socket; the user's runtime directory by default.
    explicit TSingleInstance(const QString& dir = QString(), QObject* parent = nullptr);
    ~TSingleInstance() override;

    // Takes the lock without waiting; false only when another copy holds it
    // (a folder where no lock can be made lets the program run unguarded).
    bool TryLock();
    // Once the window exists: call onShow whenever a second copy asks for it,
    // and onOpen with the path a second copy hands over; its answer goes back.
    bool Listen(std::function<void()> onShow,
                std::function<THandOver(const QString& path)> onOpen = {});

    // In a second copy: whether the running copy answers on its socket.
    bool ConnectToRunning(int timeoutMs = 1000);
    // In a second copy, after ConnectToRunning: ask it to bring its window forward.
    void AskRunningToShow(int timeoutMs = 1000);
    // In a second copy, after ConnectToRunning: hand an absolute path over and
    // wait for the running copy's answer.
    THandOver HandOver(const QString& path, int timeoutMs = 5000);

    QString LockPath() const;
    QString SocketPath() const;

private:
    QString dir_;
    int lockFd_ = -1;
    QLocalServer* server_ = nullptr;
    class QLocalSocket* client_ = nullptr;
};
