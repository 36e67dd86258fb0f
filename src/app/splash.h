// The splash window: shown before anything else, advanced by the start-up
// steps, and gone once another window becomes active.
#pragma once

#include <QWidget>

#include "app_context.h"

namespace kordel {

class TGauge;

class TSplashWindow : public QWidget {
    Q_OBJECT
public:
    explicit TSplashWindow(AppContext& context);
    ~TSplashWindow() override;

    TGauge* PB = nullptr;

    // Sets the gauge and repaints at once.
    void setProgress(int progress);
    void FormDeactivate();

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void onFocusWindowChanged(QWindow* window);

    AppContext& ctx_;
    bool released_ = false;
};

}  // namespace kordel
