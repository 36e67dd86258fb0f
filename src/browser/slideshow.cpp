// The slideshow: a loop inside the show button's click handler that shows the
// entries one after another and keeps the message queue running between them,
// so that a second click on the button, list clicks and repaints are handled.
#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QSlider>
#include <QTimer>

#include "catalogue_window.h"
#include "drive_tab_set.h"
#include "image.h"
#include "main.h"
#include "option_set.h"
#include "speed_button.h"
#include "status_bar.h"

namespace kordel {

void TForm1::G_playClick() {
    runSlideshow(G_play, 1);
}

void TForm1::G_revClick() {
    runSlideshow(G_rev, -1);
}

void TForm1::TimerTimer() {
    waitPending = 0;
}

void TForm1::stopSlideshow() {
    if (slideRunning_ == nullptr)
        return;
    slideRunning_->setDown(false);
    stopRequest = 1;
    Timer->stop();
    Status->setPanelText(3, QStringLiteral(" "));
}

void TForm1::setSlideshowControls(bool idle) {
    // The thumbnails of an archive being made hold the menus until they are done.
    const bool menus = idle && !ctx_.form2->loaderHoldsControls();
    for (QMenu* menu : {File1, Show1, Edit, O1, Help1})
        menu->menuAction()->setEnabled(menus);
    // A catalogue page being filled holds the drive tabs and the folder as well;
    // when the show ends first, the fill gives them back at its end.
    const bool filling = ctx_.form2->filling == 1;
    DriveTabSet->setEnabled(idle && !filling);
    busy = idle && !filling ? 0 : 1;
}

void TForm1::runSlideshow(TSpeedButton* button, int step) {
    // The click has already toggled the button: up means the running show is to stop.
    if (!button->isDown()) {
        stopSlideshow();
        return;
    }
    const bool forward = step > 0;
    slideInterval = slideSecondMs * ctx_.optionPagesDlg->TBar->value();
    Timer->setInterval(slideInterval);
    stopRequest = 0;
    slideTableRebuilt_ = false;
    button->setToolTip(QStringLiteral("連続表示中断"));
    for (TSpeedButton* b : {forward ? G_rev : G_play, G_top, G_back, G_step, G_end})
        b->setEnabled(false);
    setSlideshowControls(false);
    slideRunning_ = button;

    auto beyond = [this](int index) { return index > lastIndex || index < 0; };
    const int first = currentIndex + step;
    const int passes = beyond(first) ? 0 : forward ? lastIndex - first + 1 : first + 1;
    if (passes > 0)
        currentIndex = first;
    for (int pass = 0; pass < passes; ++pass) {
        waitPending = 1;
        Status->setPanelText(
            3, forward ? QStringLiteral("連続表示中") : QStringLiteral("連続表示中(ﾘﾊﾞｰｽ)"));
        showEntry(currentIndex);
        PicView2->repaint();
        SelectListEntry(fileNames[currentIndex]);
        // During the pause the index keeps naming the picture on show: the
        // viewer's menu and drags act on it, not on the one to come.
        const int shown = currentIndex;
        if (beyond(shown + step))
            break;  // the last picture of the run gets no pause
        if (slideInterval != 0) {
            // Sleeps until an event comes: the timer's, a click, a repaint.
            Timer->start();
            while (waitPending != 0 && stopRequest != 1)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            Timer->stop();
        } else {
            QCoreApplication::processEvents();
        }
        if (stopRequest == 1) {
            stopRequest = 0;
            break;
        }
        // An entry chosen in the list or the catalogue meanwhile is shown once more.
        if (currentIndex == shown)
            currentIndex += step;
    }

    slideRunning_ = nullptr;
    button->setDown(false);
    button->setToolTip(forward ? QStringLiteral("連続表示") : QStringLiteral("連続表示(ﾘﾊﾞｰｽ)"));
    setSlideshowControls(true);
    if (slideTableRebuilt_)
        slideTableRebuilt_ = false;
    else
        setEndNavigation();
    // A close asked for during the show goes ahead now that the loop has ended.
    if (closeAfterSlideshow_)
        QTimer::singleShot(0, this, &QWidget::close);
}

void TForm1::setEndNavigation() {
    const bool atStart = currentIndex == 0 && lastIndex != 0;
    const bool atEnd = !atStart && currentIndex == lastIndex;
    setNavigation({!atStart, !atEnd, !atStart, !atStart, !atEnd, !atEnd});
    for (QAction* a : {KT1, KB1})
        a->setEnabled(!atStart);
    for (QAction* a : {KS1, KE1})
        a->setEnabled(!atEnd);
    Status->setPanelText(3, QStringLiteral(" "));
}

}  // namespace kordel
