#include "quit_signals.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace kordel {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
// Written by the handler, read by the event loop; only one object at a time.
int wakeFds[2] = {-1, -1};

void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFds[1], &byte, 1);
    errno = saved;
}

}  // namespace

QuitSignals::QuitSignals(std::function<void()> quit, QObject* parent)
    : QObject(parent), quit_(std::move(quit)) {
    if (wakeFds[0] >= 0 ||
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wakeFds) != 0)
        return;
    notifier_ = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        bool any = false;
        while (::read(wakeFds[0], bytes, sizeof bytes) > 0)
            any = true;
        if (any && quit_)
            quit_();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // The handler goes after its first signal, so a second one ends the process.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int signal : kSignals) {
        // A signal ignored from the start (nohup, a background job) stays ignored.
        struct sigaction previous = {};
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
}

QuitSignals::~QuitSignals() {
    if (!notifier_)
        return;
    for (const int signal : kSignals) {
        struct sigaction current = {};
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == onSignal)
            std::signal(signal, SIG_DFL);
    }
    delete notifier_;
    ::close(wakeFds[0]);
    ::close(wakeFds[1]);
    wakeFds[0] = wakeFds[1] = -1;
}

}  // namespace kordel
