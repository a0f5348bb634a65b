#pragma once
// Turns SIGINT into a Qt signal: the handler only writes a byte to a pipe, and
// the event loop reads it and emits interrupted(). One watcher at a time; the
// previous handler comes back when it is destroyed.

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace mirantos::cli {

class TSigintWatcher : public QObject {
    Q_OBJECT
public:
    explicit TSigintWatcher(QObject* parent = nullptr);
    ~TSigintWatcher() override;

    // False when the pipe or the handler could not be set up (Ctrl-C then
    // keeps its default effect).
    bool Active() const { return active_; }

signals:
    void interrupted();

private:
    void Drain();

    int fds_[2] = {-1, -1};
    bool active_ = false;
    std::unique_ptr<QSocketNotifier> notifier_;
    struct Saved;
    std::unique_ptr<Saved> saved_;
};

} // namespace mirantos::cli
