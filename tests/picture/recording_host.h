// A window stand-in for the picture component: records the status texts and
// progress values it is given and answers the thumbLoading flag and the screen
// from what the test set.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "all.h"
#include "fakes.h"

namespace kordel::test {

class RecordingHost : public PictureHost {
public:
    QStringList statuses;
    QList<int> progress;
    bool loadingThumbnails = false;
    FakeScreen fakeScreen;

    void setStatusText(const QString& text) override { statuses.append(text); }
    void setProgress(int percent) override { progress.append(percent); }
    bool thumbLoading() const override { return loadingThumbnails; }
    Screen& screen() override { return fakeScreen; }

    void clear() {
        statuses.clear();
        progress.clear();
    }
};

}  // namespace kordel::test
