#include "thumbnail_loader.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <optional>
#include <thread>
#include <vector>

#include "catalogue_window.h"
#include "fit.h"
#include "image.h"
#include "input_filter.h"
#include "main.h"
#include "path_names.h"
#include "speed_button.h"
#include "status_bar.h"
#include "unlha_binding.h"

namespace kordel {

namespace {

std::mutex observerMutex;
std::function<void(const DecodeRequest&)> requestObserver;

// The six navigation buttons whose states BeginLoad keeps, in its order.
std::array<TSpeedButton*, 6> navigationButtons(TForm1& f) {
    return {f.G_play, f.G_rev, f.G_top, f.G_back, f.G_step, f.G_end};
}

std::array<QMenu*, 5> mainMenus(TForm1& f) {
    return {f.File1, f.Show1, f.Edit, f.O1, f.Help1};
}

// The calling thread at the lowest priority of normal scheduling. Not the idle
// class (SCHED_IDLE): that runs only while a core is free, so thumbnails
// would stop altogether while other programs keep every core busy. At nice 19
// the user interface and other programs go first, and the loader still moves.
void lowestPriority() {
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
}

QImage blankThumbnail() {
    QImage blank(kThumbnailWidth, kThumbnailHeight, QImage::Format_RGB32);
    blank.fill(Qt::white);
    return blank;
}

struct Job {
    int index = 0;
    DecodeRequest request;
    bool removeAfter = false;  // an extracted copy, deleted when the job is done
};

}  // namespace

bool hasOwnThumbnail(const QString& name) {
    const QByteArray ext = fileExtension(name);
    return ext == ".ICO" || ext == ".EMF" || ext == ".WMF";
}

Thumbnail makeThumbnail(const DecodeRequest& request, const ThumbnailCache* cache) {
    Thumbnail t;
    t.image = blankThumbnail();
    // Squeezed as a whole; the catalogue gives the aspect back when it shows it.
    const auto squeeze = [&t](const QImage& picture) {
        QPainter p(&t.image);
        p.drawImage(0, 0,
                    picture.scaled(kThumbnailWidth, kThumbnailHeight, Qt::IgnoreAspectRatio,
                                   Qt::SmoothTransformation));
    };
    if (cache) {
        // Only our own: other programs may have turned or matted the picture.
        const std::optional<CachedThumbnail> hit = cache->find(request.path);
        if (hit && hit->ownMaking()) {
            if (hit->pictureSize.isValid()) {
                t.width = hit->pictureSize.width();
                t.height = hit->pictureSize.height();
            }
            squeeze(hit->image);
            return t;
        }
    }
    const Decoded d = decodePicture(request);
    if (d.storedSize) {
        t.width = d.storedSize->width();
        t.height = d.storedSize->height();
    }
    if (d.error == kErrorNone && !d.image.isNull()) {
        squeeze(d.image);
        // A quarter-size preview is kept only when it still fills a cache thumbnail.
        if (cache && (!request.preview || std::max(d.image.width(), d.image.height()) >= 128))
            cache->store(request.path, d.image, d.storedSize.value_or(QSize()));
    } else if (cache) {
        cache->storeFailure(request.path);
    }
    return t;
}

// Decodes waiting in entry order, one worker thread per core taking them,
// and the finished thumbnails by entry. The workers are plain threads joined
// by the loader, so that every hand-over between them is a mutex of ours.
struct TViewThr::Pipeline {
    // The desktop's thumbnail cache; archive members, extracted into the private
    // temporary folder, stay out of it.
    std::optional<ThumbnailCache> cache;
    std::mutex mutex;
    std::condition_variable finished, waitingJob;
    std::deque<Job> waiting;
    std::map<int, Thumbnail> done;
    bool cancelled = false;
    std::vector<std::thread> workers;

    Pipeline(int count, const QString& tempFolder) {
        cache.emplace(ThumbnailCache::defaultRoot(), QStringList{tempFolder});
        for (int k = 0; k < count; ++k)
            workers.emplace_back([this] { work(); });
    }
    // Decodes not begun are dropped, running ones finish and are discarded;
    // extracted copies go with their jobs either way.
    ~Pipeline() {
        {
            const std::lock_guard lock(mutex);
            cancelled = true;
        }
        waitingJob.notify_all();
        for (std::thread& t : workers)
            t.join();
    }
    void add(const Job& job) {
        {
            const std::lock_guard lock(mutex);
            waiting.push_back(job);
        }
        waitingJob.notify_one();
    }
    void put(int index, Thumbnail t) {
        const std::lock_guard lock(mutex);
        if (!cancelled)
            done[index] = std::move(t);
        finished.notify_all();
    }
    void work() {
        lowestPriority();
        for (;;) {
            Job job;
            bool skip;
            {
                std::unique_lock lock(mutex);
                waitingJob.wait(lock, [this] { return cancelled || !waiting.empty(); });
                if (waiting.empty())
                    return;
                job = waiting.front();
                waiting.pop_front();
                skip = cancelled;
            }
            Thumbnail t;
            if (!skip) {
                {
                    const std::lock_guard lock(observerMutex);
                    if (requestObserver)
                        requestObserver(job.request);
                }
                t = makeThumbnail(job.request, cache ? &*cache : nullptr);
            }
            if (job.removeAfter)
                QFile::remove(job.request.path);
            put(job.index, std::move(t));
        }
    }
};

TViewThr::TViewThr(TForm1& form1, TForm2& form2)
    : form1_(form1),
      form2_(form2),
      names_(form1.lastIndex < 0 ? QStringList()
                                 : QStringList(form1.fileNames.begin(),
                                               form1.fileNames.begin() + form1.lastIndex + 1)),
      loaderFolder_(form1.currentFolder()),
      tempFolder_(form1.tempFolder) {}

// Destroyed only once loaderRunning has dropped: the thread needs no more of
// the main thread and merely returns.
TViewThr::~TViewThr() {
    wait();
}

void TViewThr::requestStop() {
    stop_ = true;
}

void TViewThr::setRequestObserver(std::function<void(const DecodeRequest&)> observer) {
    const std::lock_guard lock(observerMutex);
    requestObserver = std::move(observer);
}

void TViewThr::run() {
    lowestPriority();
    StepData begin;
    begin.step = Step::BeginLoad;
    const bool archive = handOver(begin).archive;

    const int cores = std::max(1, QThread::idealThreadCount());
    const int ahead = 2 * cores;
    auto pipeline = std::make_unique<Pipeline>(cores, tempFolder_);
    const int last = int(names_.size()) - 1;
    const QString endMarker = QStringLiteral(" ");
    int next = 0;
    for (int i = 0; i <= last; ++i) {
        if (names_[i] == endMarker || form1_.catalogueActive == 0)
            break;
        // Members are extracted under their base name: a second member of the
        // same name waits until the copy of the first is decoded and removed,
        // which it would otherwise overwrite or lose.
        const auto copyInUse = [&](int k) {
            const auto from = names_.begin() + i, to = names_.begin() + k;
            return archive && std::find(from, to, names_[k]) != to;
        };
        for (; next <= last && next < i + ahead && names_[next] != endMarker && !stop_ &&
               !copyInUse(next);
             ++next)
            dispatch(next, archive, *pipeline);

        StepData add;
        add.step = Step::Append;
        add.index = i;
        if (hasOwnThumbnail(names_[i])) {
            add.placeholder = true;
            add.width = add.height = 65535;
        } else {
            std::unique_lock lock(pipeline->mutex);
            // The stop request is polled while a decode finishes.
            while (!pipeline->done.count(i) && !stop_)
                pipeline->finished.wait_for(lock, std::chrono::milliseconds(50));
            if (stop_)
                break;
            const Thumbnail t = std::move(pipeline->done[i]);
            pipeline->done.erase(i);
            lock.unlock();
            const QSize shown = thumbnailDisplaySize(t.width, t.height);
            add.width = shown.width();
            add.height = shown.height();
            add.image = t.image;
        }
        if (stop_)
            break;
        handOver(add);
        if (stop_)
            break;
    }

    pipeline.reset();

    StepData end;
    end.step = Step::EndLoad;
    handOver(end);
    // From here on the loader may be destroyed: no member is touched.
    QAbstractEventDispatcher* mainEvents =
        QCoreApplication::instance()->thread()->eventDispatcher();
    form1_.loaderRunning = 0;
    // Wakes a main thread that waits for the loader to end.
    mainEvents->wakeUp();
}

void TViewThr::dispatch(int index, bool archive, Pipeline& pipeline) {
    const QString& name = names_[index];
    if (hasOwnThumbnail(name))
        return;
    Job job;
    job.index = index;
    if (name.isEmpty()) {
        // A vanished file: nothing to decode.
        pipeline.put(index, {blankThumbnail(), 0, 0});
        return;
    }
    if (archive) {
        StepData extract;
        extract.step = Step::ExtractMember;
        extract.index = index;
        const StepData answer = handOver(extract);
        job.request.path = tempFolder_ + name;
        job.request.preview = answer.preview;
        job.removeAfter = true;
        if (!answer.extracted) {
            // Nothing to load; a partial copy is still removed.
            QFile::remove(job.request.path);
            pipeline.put(index, {blankThumbnail(), 0, 0});
            return;
        }
    } else {
        job.request.path = loaderFolder_ + name;
        const QFileInfo info(job.request.path);
        job.request.preview = info.isFile() && info.size() >= kPreviewBytes;
    }
    pipeline.add(job);
}

TViewThr::StepData TViewThr::handOver(const StepData& data) {
    {
        const std::lock_guard lock(stepMutex_);
        step_ = data;
    }
    QMetaObject::invokeMethod(this, "runStep", Qt::BlockingQueuedConnection);
    const std::lock_guard lock(stepMutex_);
    return step_;
}

void TViewThr::runStep() {
    StepData d;
    {
        const std::lock_guard lock(stepMutex_);
        d = step_;
    }
    switch (d.step) {
        case Step::BeginLoad:
            beginLoad(d);
            break;
        case Step::ExtractMember:
            extractMember(d);
            break;
        case Step::Append:
            append(d);
            break;
        case Step::EndLoad:
            endLoad();
            break;
    }
    const std::lock_guard lock(stepMutex_);
    step_ = d;
}

void TViewThr::beginLoad(StepData& d) {
    d.archive = form1_.isArchiveSelected();
    if (!d.archive)
        return;
    const auto buttons = navigationButtons(form1_);
    for (size_t k = 0; k < buttons.size(); ++k) {
        savedEnabled_[k] = buttons[k]->isEnabled();
        buttons[k]->setEnabled(false);
    }
    form1_.B_ichiran->setEnabled(false);
    for (QMenu* menu : mainMenus(form1_))
        menu->menuAction()->setEnabled(false);
    controlsDisabled_ = true;
    archivePath_ = form1_.selectedArchivePath();
    // Sizes of all members at once: a lookup per member would read the
    // archive's headers once for every entry.
    const auto details = form1_.memberDetailsByName();
    for (auto it = details.begin(); it != details.end(); ++it)
        memberSizes_.insert(it.key(), it.value().size);
}

void TViewThr::extractMember(StepData& d) {
    const QString& name = names_[d.index];
    form1_.Status->setPanelText(3, QStringLiteral("書庫ﾌｧｲﾙ検索中..."));
    d.preview = memberSizes_.value(name, 0) >= kPreviewBytes;
    form1_.thumbLoading = 1;
    ArchiveLibrary* library = form1_.context().archive;
    library->setCursorMode(false);
    d.extracted = !tempFolder_.isEmpty() && library->extract(archivePath_, tempFolder_, name, true);
    form1_.thumbLoading = 0;
    form1_.Status->setPanelText(3, QString());
}

void TViewThr::append(const StepData& d) {
    // After a stop request nothing changes any more: the waiter empties the list.
    if (stop_)
        return;
    form1_.thumbWidth[d.index] = d.width;
    form1_.thumbHeight[d.index] = d.height;
    form2_.ThrIL.append(d.placeholder ? form1_.del_image->image() : d.image);
}

void TViewThr::keepEnabled(const TSpeedButton* button, bool enabled) {
    const auto buttons = navigationButtons(form1_);
    for (size_t k = 0; k < buttons.size(); ++k)
        if (buttons[k] == button)
            savedEnabled_[k] = enabled;
}

bool TForm2::loaderHoldsControls() const {
    return loader_ && loader_->holdsControls();
}

void TForm2::keepEnabledForLoaderEnd(const TSpeedButton* button, bool enabled) {
    if (loader_)
        loader_->keepEnabled(button, enabled);
}

void TViewThr::endLoad() {
    if (!controlsDisabled_)
        return;
    form1_.Status->setPanelText(3, QString());
    const auto buttons = navigationButtons(form1_);
    for (size_t k = 0; k < buttons.size(); ++k)
        buttons[k]->setEnabled(savedEnabled_[k]);
    form1_.B_ichiran->setEnabled(true);
    // A slide show running meanwhile keeps the menus until it ends.
    for (QMenu* menu : mainMenus(form1_))
        menu->menuAction()->setEnabled(!form1_.slideshowRunning());
    controlsDisabled_ = false;
}

void TForm1::StartCatalogueLoad() {
    if (catalogueActive != 1)
        return;
    TForm2* w = ctx_.form2;
    w->resetAllCells();
    w->selectedCell = -1;
    w->nextStart = w->pageStart = 0;
    w->NextPage->setEnabled(false);
    w->PrePage->setEnabled(false);
    w->startLoader();  // stops a running loader first
    w->FillPage();
    B_ichiran->setEnabled(true);
    w->PrePage->setEnabled(false);
    w->NextPage->setEnabled(w->nextStart <= lastIndex);
    discardQueuedInput(w, InputKind::Mouse);
}

}  // namespace kordel
