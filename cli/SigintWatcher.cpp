#include "SigintWatcher.h"

#include <QSocketNotifier>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace mirantos::cli {

namespace {

constexpr std::array<int, 3> kStopSignals = {SIGINT, SIGTERM, SIGHUP};

std::atomic<int> gWriteFd{-1};

extern "C" void OnStopSignal(int)
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

// Shared by the nested watchers (all on the main thread).
struct TShared {
    int fds[2] = {-1, -1};
    std::array<struct sigaction, kStopSignals.size()> saved{};
    std::vector<TSigintWatcher*> stack; // the newest last
};
TShared gShared;

// Puts back the first `installed` handlers and closes the pipe.
void Uninstall(size_t installed = kStopSignals.size())
{
    for (size_t i = 0; i < installed; ++i)
        ::sigaction(kStopSignals[i], &gShared.saved[i], nullptr);
    gWriteFd.store(-1);
    ::close(gShared.fds[0]);
    ::close(gShared.fds[1]);
    gShared.fds[0] = gShared.fds[1] = -1;
}

bool Install()
{
    if (::pipe2(gShared.fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        gShared.fds[0] = gShared.fds[1] = -1;
        return false;
    }
    gWriteFd.store(gShared.fds[1]);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < kStopSignals.size(); ++i) {
        if (::sigaction(kStopSignals[i], &action, &gShared.saved[i]) != 0) {
            Uninstall(i);
            return false;
        }
    }
    return true;
}

// Reads what the pipe holds; true when a signal came.
bool ReadPipe()
{
    char buf[64];
    bool any = false;
    while (::read(gShared.fds[0], buf, sizeof buf) > 0)
        any = true;
    return any;
}

} // namespace

TSigintWatcher::TSigintWatcher(QObject* parent) : QObject(parent)
{
    if (gShared.stack.empty() && !Install())
        return;
    if (!gShared.stack.empty() && gShared.stack.back()->notifier_)
        gShared.stack.back()->notifier_->setEnabled(false);
    gShared.stack.push_back(this);
    notifier_ = std::make_unique<QSocketNotifier>(gShared.fds[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TSigintWatcher::Drain);
    active_ = true;
}

TSigintWatcher::~TSigintWatcher()
{
    if (!active_)
        return;
    notifier_.reset();
    std::erase(gShared.stack, this);
    if (gShared.stack.empty())
        Uninstall();
    else if (gShared.stack.back()->notifier_)
        gShared.stack.back()->notifier_->setEnabled(true);
}

void TSigintWatcher::Drain()
{
    if (ReadPipe()) {
        received_ = true;
        emit interrupted();
    }
}

bool TSigintWatcher::Received()
{
    if (active_ && gShared.stack.back() == this)
        Drain();
    return received_;
}

} // namespace mirantos::cli
