#include "SigintWatcher.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace mirantos::cli {

namespace {

std::atomic<int> gWriteFd{-1};

extern "C" void OnSigint(int)
{
    // Only async-signal-safe calls here; the byte is all the event loop needs.
    const int saved = errno;
    const int fd = gWriteFd.load();
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

} // namespace

struct TSigintWatcher::Saved {
    struct sigaction action {};
};

TSigintWatcher::TSigintWatcher(QObject* parent) : QObject(parent), saved_(std::make_unique<Saved>())
{
    if (gWriteFd.load() >= 0)
        return; // another watcher owns the handler
    if (::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) {
        fds_[0] = fds_[1] = -1;
        return;
    }
    gWriteFd.store(fds_[1]);

    struct sigaction action {};
    action.sa_handler = OnSigint;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGINT, &action, &saved_->action) != 0) {
        gWriteFd.store(-1);
        ::close(fds_[0]);
        ::close(fds_[1]);
        fds_[0] = fds_[1] = -1;
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TSigintWatcher::Drain);
    active_ = true;
}

TSigintWatcher::~TSigintWatcher()
{
    if (!active_)
        return;
    ::sigaction(SIGINT, &saved_->action, nullptr);
    gWriteFd.store(-1);
    notifier_.reset();
    ::close(fds_[0]);
    ::close(fds_[1]);
}

void TSigintWatcher::Drain()
{
    char buf[64];
    bool any = false;
    while (::read(fds_[0], buf, sizeof buf) > 0)
        any = true;
    if (any)
        emit interrupted();
}

} // namespace mirantos::cli
