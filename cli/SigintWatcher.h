#pragma once
// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal: the handler only writes a
// byte to a pipe, and the event loop reads it and emits interrupted(). Each of
// the three asks for what Ctrl-C asks for: the run stops as the stop button
// stops it, its file gets its end, and the command exits as for Ctrl-C.
// Watchers nest (a command's watcher around a run's): the newest one alive
// gets the signal; the previous handlers come back when the last one goes.

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace mirantos::cli {

class TSigintWatcher : public QObject {
    Q_OBJECT
public:
    explicit TSigintWatcher(QObject* parent = nullptr);
    ~TSigintWatcher() override;

    // False when the pipe or the handlers could not be set up (the signals
    // then keep their default effect).
    bool Active() const { return active_; }
    // Whether a signal came for this watcher; reads the pipe first, so a
    // signal that came while no event loop ran counts too.
    bool Received();

signals:
    void interrupted();

private:
    void Drain();

    bool active_ = false;
    bool received_ = false;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace mirantos::cli
