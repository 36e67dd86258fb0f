// The thumbnail loader: one 96 × 72 picture for every entry of the main
// window's file table, appended in entry order to the catalogue's ThrIL while
// the catalogue is open.
//
// The loader thread walks the entries in order. Pictures are decoded and
// squeezed on a pool of lowest-priority workers, several entries ahead; the
// results are taken back in entry order and handed to the main thread, which
// only appends them. Everything that touches a control, ThrIL, the file
// table's sizes or the archive library runs on the main thread in short steps
// that the loader hands over synchronously.
#pragma once

#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QThread>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "decode.h"
#include "thumbnail_cache.h"

namespace kordel {

class TForm1;
class TForm2;
class TSpeedButton;

constexpr int kThumbnailWidth = 96, kThumbnailHeight = 72;
// Files and archive members of this many bytes or more are decoded in preview mode.
constexpr qint64 kPreviewBytes = 60000;

// Icons and metafiles get no drawn thumbnail: the catalogue shows them itself.
bool hasOwnThumbnail(const QString& name);

struct Thumbnail {
    QImage image;               // exactly 96 × 72
    int width = 0, height = 0;  // the stored size the decode reported, 0 when none
};

// Decodes a file and squeezes the whole picture to 96 × 72 over white. A file
// that gives no picture gives a white thumbnail. Pure: any thread. With a cache,
// a thumbnail this program stored for the file as it is now stands in for the
// decode, and a fresh decode is stored there.
Thumbnail makeThumbnail(const DecodeRequest& request, const ThumbnailCache* cache = nullptr);

class TViewThr : public QThread {
    Q_OBJECT
public:
    // Reads the file table and the current folder; call on the main thread
    // with loaderRunning already 1.
    TViewThr(TForm1& form1, TForm2& form2);
    ~TViewThr() override;

    // The stop request: safe at any moment, also while the loader ends.
    void requestStop();

    // Main thread: whether BeginLoad holds the navigation buttons and menus of an
    // archive folder, and the state a button gets back at EndLoad, set in place
    // of its own meanwhile.
    bool holdsControls() const { return controlsDisabled_; }
    void keepEnabled(const TSpeedButton* button, bool enabled);

    // Sees every decode request of the loader's jobs, on the worker thread
    // that makes it (for checks of the preview rule).
    static void setRequestObserver(std::function<void(const DecodeRequest&)> observer);

protected:
    void run() override;  // Execute

private:
    struct Pipeline;
    enum class Step { BeginLoad, ExtractMember, Append, EndLoad };
    // The data of a step, written by one side and read by the other under stepMutex_.
    struct StepData {
        Step step = Step::BeginLoad;
        int index = 0;
        QImage image;
        bool placeholder = false;
        int width = 0, height = 0;
        // Answers of BeginLoad and ExtractMember.
        bool archive = false;
        bool extracted = false;
        bool preview = false;
    };

    StepData handOver(const StepData& data);
    Q_INVOKABLE void runStep();
    void beginLoad(StepData& d);
    void extractMember(StepData& d);
    void append(const StepData& d);
    void endLoad();
    // Starts the making of entry `index`'s thumbnail (archive members are
    // extracted first, on the main thread).
    void dispatch(int index, bool archive, Pipeline& pipeline);

    TForm1& form1_;
    TForm2& form2_;
    std::atomic<bool> stop_{false};
    const QStringList names_;     // entries 0..lastIndex, read once at the start
    const QString loaderFolder_;  // the current folder, with a trailing "/"
    const QString tempFolder_;

    std::mutex stepMutex_;
    StepData step_;

    // Main thread only.
    bool controlsDisabled_ = false;
    std::array<bool, 6> savedEnabled_{};
    QString archivePath_;
    QHash<QString, quint32> memberSizes_;
};

}  // namespace kordel
