// The thumbnail loader: one image per entry in entry order, the display sizes,
// the preview rule, and its ends (end marker, catalogue or main window closed,
// folder changed while an archive loads).
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <mutex>

#include "catalogue_window.h"
#include "fit.h"
#include "image.h"
#include "lzh_test_archives.h"
#include "speed_button.h"
#include "test_program.h"
#include "thumbnail_loader.h"

using namespace kordel;
using namespace kordel::test;

namespace {

// Picture k: a size of its own, so that a misplaced thumbnail shows.
QSize sizeOf(int k) {
    return {20 + k % 61, 10 + k % 37};
}
QString nameOf(int k) {
    return QStringLiteral("p%1.bmp").arg(k, 4, 10, QLatin1Char('0'));
}
Browsing::Files numbered(int count) {
    Browsing::Files files;
    for (int k = 0; k < count; ++k)
        files.append({nameOf(k), bmp(sizeOf(k).width(), sizeOf(k).height())});
    return files;
}
void waitForEnd(TestProgram& p) {
    while (p.f->loaderRunning == 1)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
// Starts the loader; returns once it has appended its first thumbnail.
void startLoader(TestProgram& p) {
    p.f->catalogueActive = 1;
    p.form2()->startLoader();
    while (p.form2()->ThrIL.isEmpty() && p.f->loaderRunning == 1)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

}  // namespace

class TestThumbnailLoader : public QObject {
    Q_OBJECT

private slots:
    void everyEntryInOrder() {
        Browsing::Files files = numbered(1995);
        const QByteArray small = bmp(4, 3);
        files += {{"a.ico", "x"}, {"B.EMF", "x"}, {"c.Wmf", "x"}};
        files += {{"small.bmp", small + QByteArray(59999 - small.size(), 0)},
                  {"big.bmp", small + QByteArray(60000 - small.size(), 0)}};
        QHash<QString, bool> preview;
        std::mutex seen;
        TViewThr::setRequestObserver([&](const DecodeRequest& r) {
            const std::lock_guard lock(seen);
            preview.insert(QFileInfo(r.path).fileName(), r.preview);
        });
        Browsing p(files);
        startLoader(p);
        waitForEnd(p);
        TViewThr::setRequestObserver(nullptr);

        const QList<QImage>& list = p.form2()->ThrIL;
        QCOMPARE(list.size(), 2000);
        for (int i = 0; i < 2000; ++i) {
            const QString name = p.f->fileNames[i];
            const QSize shown(p.f->thumbWidth[i], p.f->thumbHeight[i]);
            if (hasOwnThumbnail(name)) {
                QCOMPARE(shown, QSize(65535, 65535));
                QCOMPARE(list[i], p.f->del_image->image());
                continue;
            }
            const QSize stored =
                name.startsWith(u'p') ? sizeOf(name.mid(1, 4).toInt()) : QSize(4, 3);
            QCOMPARE(shown, thumbnailDisplaySize(stored.width(), stored.height()));
            QCOMPARE(list[i].size(), QSize(96, 72));
        }
        QCOMPARE(preview.value("small.bmp", true), false);
        QCOMPARE(preview.value("big.bmp", false), true);
        QVERIFY(!preview.contains("a.ico"));
    }

    void endsEarly_data() {
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("marker");      // index of an end marker, or -1
        QTest::addColumn<QString>("closed");  // what is closed while it loads
        QTest::newRow("empty table") << 0 << -1 << "";
        QTest::newRow("marker before the last index") << 5 << 2 << "";
        QTest::newRow("catalogue closed") << 400 << -1 << "catalogue";
        QTest::newRow("main window closed") << 400 << -1 << "main";
    }
    void endsEarly() {
        QFETCH(int, files);
        QFETCH(int, marker);
        QFETCH(QString, closed);
        Browsing p(numbered(files));
        QCOMPARE(p.f->lastIndex, files - 1);
        if (marker >= 0)
            p.f->fileNames[marker] = QStringLiteral(" ");
        startLoader(p);
        const qsizetype seen = p.form2()->ThrIL.size();
        if (closed == "main") {
            // The settings are written only once the loader has ended.
            QFile::remove(p.iniPath());
            p.f->close();
            QVERIFY(p.f->loaderRunning == 0 && QFile::exists(p.iniPath()));
        } else if (closed == "catalogue") {
            p.f->catalogueActive = 0;
        }
        waitForEnd(p);
        if (!closed.isEmpty())
            QVERIFY(p.form2()->ThrIL.size() < files && p.form2()->ThrIL.size() <= seen + 1);
        else
            QCOMPARE(p.form2()->ThrIL.size(), marker >= 0 ? marker : files);
    }

    // A thumbnail from the shared cache looks and reports as the decode does; the second
    // call cannot decode (no plug-ins), so what it shows is the cache's.
    void sharedCache() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.mag"));
        QVERIFY(QFile::copy(QStringLiteral(KORDEL_SOURCE_DIR "/samples/sample.mag"), path));
        const ThumbnailCache cache(dir.filePath(QStringLiteral("thumbnails")));
        DecodeRequest request{path, false, {}, {QStringLiteral(KORDEL_BIN_DIR)}};
        const Thumbnail decoded = makeThumbnail(request, &cache);
        request.pluginFolders = {dir.path()};
        const Thumbnail cached = makeThumbnail(request, &cache);
        QCOMPARE(QSize(cached.width, cached.height), QSize(decoded.width, decoded.height));
        QCOMPARE(cached.image.size(), decoded.image.size());
        qint64 difference = 0;
        for (int y = 0; y < kThumbnailHeight; ++y)
            for (int x = 0; x < kThumbnailWidth; ++x)
                difference +=
                    qAbs(qGray(cached.image.pixel(x, y)) - qGray(decoded.image.pixel(x, y)));
        QVERIFY2(difference < 3 * kThumbnailWidth * kThumbnailHeight,
                 qPrintable(QString::number(difference)));
    }

    void folderChangeWhileAnArchiveLoads() {
        if (!haveJlha())
            QSKIP("jlha (jlha-utils) is not installed");
        QTemporaryDir work;
        const QString drive = work.path() + u'/';
        QStringList args = {"a1", drive + "pics.lzh"};
        // Most names twice, in two folders of the archive: they share the name of
        // the extracted copy.
        for (int k = 0; k < 120; ++k) {
            args << (k < 3 ? "Folder/" : k % 2 ? "Other/" : "") + nameOf(k < 3 ? k : k / 2);
            QVERIFY(writeFile(drive + args.last(), bmp(40, 30)));
        }
        QVERIFY(runJlha(drive, args).isEmpty() && QDir(drive + "Other").removeRecursively());
        TestProgram p;
        p.fakes.drives->placeList = {{drive, "d", DriveType::Fixed, {}}};
        p.useArchiveLibrary();
        p.start();
        QTreeWidgetItem* root = p.f->TreeView->topLevelItem(0);
        p.f->TreeView->setCurrentItem(root->child(1));  // pics.lzh
        QCOMPARE(p.f->lastIndex, 119);
        startLoader(p);
        QVERIFY(p.f->loaderRunning == 1 && !p.f->G_step->isEnabled());
        QVERIFY(!p.f->B_ichiran->isEnabled() && !p.f->File1->menuAction()->isEnabled());

        // The old loader stops; the new one starts from entry 0 in an emptied list.
        p.f->TreeView->setCurrentItem(root->child(0));  // Folder
        waitForEnd(p);
        QCOMPARE(p.form2()->ThrIL.size(), 3);
        QVERIFY(p.f->G_step->isEnabled() && p.f->B_ichiran->isEnabled());
        for (QMenu* menu : {p.f->File1, p.f->Show1, p.f->Edit, p.f->O1, p.f->Help1})
            QVERIFY(menu->menuAction()->isEnabled());
        // No extracted copy is left behind.
        QCOMPARE(QDir(p.f->tempFolder).entryList(QDir::Files), QStringList());

        // Buttons set while the loader holds them (a slide show ending) get those
        // states at its end, not the ones it found.
        p.f->catalogueActive = 0;
        p.f->TreeView->setCurrentItem(root->child(1));
        startLoader(p);
        p.f->setNavigation({true, false, true, true, false, false});
        waitForEnd(p);
        QCOMPARE(p.navigation(), QStringLiteral("EDEEDD"));
        // Every member was found and decoded.
        for (int i = 0; i < 120; ++i)
            QCOMPARE(QSize(p.f->thumbWidth[i], p.f->thumbHeight[i]), thumbnailDisplaySize(40, 30));
    }
};

QTEST_MAIN(TestThumbnailLoader)
#include "test_thumbnail_loader.moc"
