// Requests to end the program from outside its windows: SIGTERM (a logout or a
// shutdown), SIGHUP (the terminal went away) and SIGINT (Ctrl+C in it).
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace kordel {

// While it lives, each of those signals calls `quit` once from the event loop,
// so the program can end as its close box ends it. A second signal of the same
// kind ends the process at once, as it would without this object.
class QuitSignals : public QObject {
public:
    explicit QuitSignals(std::function<void()> quit, QObject* parent = nullptr);
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

private:
    std::function<void()> quit_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace kordel
