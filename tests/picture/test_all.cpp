// The picture component with a scripted decoder plug-in standing in for the
// real ones: failure results, retries, preview sizes, pixel aspect, palettes,
// progress and row order, as the component reports them to its window.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <climits>
#include <memory>

#include "all.h"
#include "fake_spi_script.h"
#include "picture_files.h"
#include "recording_host.h"

using kordel::TAll;
using kordel::test::FakeScript;
using kordel::test::parseFakeScript;
using kordel::test::RecordingHost;

namespace {

const QString kFakeDir = QStringLiteral(KORDEL_FAKESPI_DIR);

const char* const kPluginNames[] = {"ifjpeg.spi", "ifgif.spi", "iftiff.spi", "ifpic.spi",
                                    "ifpic2.spi", "ifmag.spi", "ifxld4.spi", "ifpi.spi"};

QRgb tableColour(int i) {
    uint8_t r, g, b;
    kordel::test::fakeTableColour(i, r, g, b);
    return qRgb(r, g, b);
}

// The colour the fake delivers at (x, y) from the top.
QRgb expectedColour(const FakeScript& s, int x, int y) {
    if (s.bits <= 8)
        return tableColour(kordel::test::fakeIndex(s, x, y));
    uint8_t r, g, b;
    kordel::test::fakeTrueColour(x, y, r, g, b);
    return qRgb(r, g, b);
}

}  // namespace

class TestAll : public QObject {
    Q_OBJECT

private:
    QTemporaryDir temp_;
    QString full_, noPreview_, noPicture_, none_, garbage_, pictures_, log_;

    QString folder(const QString& name) {
        const QString path = temp_.filePath(name);
        QDir().mkpath(path);
        return path;
    }
    void installFake(const QString& module, const QString& folderPath, const QStringList& names) {
        for (const QString& n : names)
            QVERIFY(QFile::copy(kFakeDir + u'/' + module, folderPath + u'/' + n));
    }
    // Writes a script picture and gives its path.
    QString picture(const QString& name, const QByteArray& script) {
        const QString path = pictures_ + u'/' + name;
        kordel::test::writeFile(path, "FAKESPI " + script);
        return path;
    }
    // The calls the fake logged since the last look, and a fresh log.
    QStringList calls() {
        const QString text = QString::fromUtf8(kordel::test::readFile(log_));
        QFile::remove(log_);
        return text.split(u'\n', Qt::SkipEmptyParts);
    }
    struct Load {
        RecordingHost host;
        TAll all{host};
    };
    // A component that looks for plug-ins in one folder only.
    std::unique_ptr<Load> component(const QString& plugins) {
        auto load = std::make_unique<Load>();
        load->all.setPluginFolders({plugins});
        return load;
    }

private slots:
    void initTestCase();
    void init() { calls(); }

    void failureResultsAndTheirTexts_data();
    void failureResultsAndTheirTexts();
    void missingPluginNamesItsKind_data();
    void missingPluginNamesItsKind();
    void pluginLackingAnEntryPointCountsAsMissing();
    void storedSizeBeforeAndAfterTheInfo();
    void emptyNameLeavesStatusAlone();
    void sameNameLoadsAgain();
    void unknownExtensions();
    void previewIsAQuarterRoundedUp();
    void jpegInfoRetriedAt128();
    void getPictureRetriedAt128WithoutProgress();
    void noRetryWhereNoneIsDue();
    void pixelAspect_data();
    void pixelAspect();
    void paletteOnAnEightBitDisplay_data();
    void paletteOnAnEightBitDisplay();
    void progressReports();
    void rowsComeOutUpright_data();
    void rowsComeOutUpright();
    void longAndMultibyteNamesReachThePluginWhole();
    void unusableBlocksAreFailures();
    void jpegBitmapHasTheAnnouncedSize();
};

void TestAll::initTestCase() {
    QVERIFY(temp_.isValid());
    QVERIFY2(QFile::exists(kFakeDir + "/fakespi.spi"), "the fake plug-in was not built");
    QStringList all;
    for (const char* n : kPluginNames)
        all << QString::fromLatin1(n);
    full_ = folder("full");
    installFake("fakespi.spi", full_, all);
    noPreview_ = folder("nopreview");
    installFake("fakespi_nopreview.spi", noPreview_, all);
    noPicture_ = folder("nopicture");
    installFake("fakespi_nopicture.spi", noPicture_, all);
    none_ = folder("none");
    garbage_ = folder("garbage");
    kordel::test::writeFile(garbage_ + "/ifgif.spi", "not a shared object");
    pictures_ = folder("pictures");
    log_ = temp_.filePath("calls.log");
    qputenv("FAKESPI_LOG", QFile::encodeName(log_));
}

void TestAll::failureResultsAndTheirTexts_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("text");
    QTest::newRow("2") << "f.gif" << QByteArray("pic0=2 pic128=2") << 2 << "未知のフォーマット";
    QTest::newRow("3") << "f.gif" << QByteArray("pic0=3") << 3 << "データが壊れている";
    QTest::newRow("4") << "f.gif" << QByteArray("pic0=4") << 4 << "メモリーが確保出来ない";
    QTest::newRow("5") << "f.gif" << QByteArray("pic0=5") << 5 << "メモリーエラー";
    QTest::newRow("6") << "f.gif" << QByteArray("pic0=6") << 6 << "ファイルリードエラー";
    for (const int other : {1, 7, 8, -1})
        QTest::addRow("%d", other)
            << "f.gif"
            << "pic0=" + QByteArray::number(other) << other << "その他のエラー";
    QTest::newRow("mag info") << "f.mag" << QByteArray("info0=4") << 4 << "メモリーが確保出来ない";
    QTest::newRow("jpeg info retried")
        << "f.jpg" << QByteArray("info0=3 info128=5") << 5 << "メモリーエラー";
    QTest::newRow("jpeg picture") << "f.jpg" << QByteArray("pic0=6") << 6 << "ファイルリードエラー";
}

void TestAll::failureResultsAndTheirTexts() {
    QFETCH(QString, name);
    QFETCH(QByteArray, script);
    QFETCH(int, error);
    QFETCH(QString, text);
    auto c = component(full_);
    const QString path = picture(name, script);
    QVERIFY(c->all.setPictureName(path));
    QCOMPARE(c->all.Error(), error);
    QVERIFY(!c->host.statuses.isEmpty());
    QCOMPARE(c->host.statuses.last(), text);
    QVERIFY(c->all.PictureName().isEmpty());
    QVERIFY(c->all.isEmpty());
    QCOMPARE(c->host.progress.last(), 0);

    // A success afterwards clears the message with a single blank.
    const QString good = picture("good.gif", "w=3 h=2");
    QVERIFY(c->all.setPictureName(good));
    QCOMPARE(c->all.Error(), 0);
    QCOMPARE(c->host.statuses.last(), QStringLiteral(" "));
    QCOMPARE(c->all.PictureName(), good);
    QCOMPARE(c->all.image().size(), QSize(3, 2));
}

void TestAll::missingPluginNamesItsKind_data() {
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("text");
    const std::pair<const char*, const char*> rows[] = {
        {".jpg", "IFJPG"},  {".jpeg", "IFJPG"}, {".JPE", "IFJPG"}, {".GIF", "IFGIF"},
        {".tif", "IFTIFF"}, {".pic", "IFPIC"},  {".p2", "IFPIC2"}, {".mag", "IFMAG"},
        {".Q4", "IFXLD4"},  {".pi", "IFPI"}};
    for (const auto& [extension, plugin] : rows)
        QTest::newRow(extension) << extension << QStringLiteral("%1.SPI not found").arg(plugin);
}

void TestAll::missingPluginNamesItsKind() {
    QFETCH(QString, extension);
    QFETCH(QString, text);
    auto c = component(none_);
    const QString path = picture("missing" + extension, "w=2 h=2");
    QVERIFY(c->all.setPictureName(path));
    QCOMPARE(c->all.Error(), 20);
    QCOMPARE(c->host.statuses, QStringList{text});
    QVERIFY(c->all.PictureName().isEmpty());
    QVERIFY(c->all.isEmpty());
    QVERIFY(calls().isEmpty());
}

void TestAll::pluginLackingAnEntryPointCountsAsMissing() {
    // A file that is no loadable module at all.
    auto c = component(garbage_);
    QVERIFY(c->all.setPictureName(picture("x.gif", "")));
    QCOMPARE(c->all.Error(), 20);
    QCOMPARE(c->host.statuses.last(), QStringLiteral("IFGIF.SPI not found"));

    // Without GetPicture nothing can load, and nothing is called.
    auto p = component(noPicture_);
    for (const char* name : {"a.gif", "a.jpg"}) {
        QVERIFY(p->all.setPictureName(picture(name, "")));
        QCOMPARE(p->all.Error(), 20);
    }
    QCOMPARE(p->host.statuses, QStringList({"IFGIF.SPI not found", "IFJPG.SPI not found"}));
    QVERIFY(calls().isEmpty());

    // GetPreview is needed only by a JPEG preview.
    auto v = component(noPreview_);
    v->all.setPreView(true);
    QVERIFY(v->all.setPictureName(picture("b.jpg", "w=8 h=8")));
    QCOMPARE(v->all.Error(), 20);
    QCOMPARE(v->host.statuses.last(), QStringLiteral("IFJPG.SPI not found"));
    v->all.setPreView(false);
    QVERIFY(v->all.setPictureName(picture("b.jpg", "w=8 h=8")));
    QCOMPARE(v->all.Error(), 0);
    QCOMPARE(v->all.image().size(), QSize(8, 8));
    v->all.setPreView(true);
    QVERIFY(v->all.setPictureName(picture("b.gif", "w=8 h=8")));
    QCOMPARE(v->all.Error(), 0);
    QCOMPARE(v->all.image().size(), QSize(8, 8));
}

void TestAll::storedSizeBeforeAndAfterTheInfo() {
    auto c = component(full_);
    QVERIFY(c->all.setPictureName(picture("a.gif", "w=7 h=5 depth=8 bits=8")));
    QCOMPARE(QSize(c->all.OrgWidth(), c->all.OrgHeight()), QSize(7, 5));
    QCOMPARE(c->all.OrgColor(), 8);

    // The picture info was read before GetPicture failed: its size stays.
    QVERIFY(c->all.setPictureName(picture("b.gif", "w=9 h=4 pic0=3")));
    QCOMPARE(QSize(c->all.OrgWidth(), c->all.OrgHeight()), QSize(9, 4));

    // A JPEG keeps the previous size until its info has been read ...
    QVERIFY(c->all.setPictureName(picture("c.jpg", "info0=3 info128=3")));
    QCOMPARE(QSize(c->all.OrgWidth(), c->all.OrgHeight()), QSize(9, 4));
    // ... the other kinds start from 0 at once.
    QVERIFY(c->all.setPictureName(picture("e.tif", "info0=6")));
    QCOMPARE(QSize(c->all.OrgWidth(), c->all.OrgHeight()), QSize(0, 0));
    QVERIFY(c->all.setPictureName(picture("g.jpg", "w=12 h=10 depth=24")));
    c->all.setPluginFolders({none_});
    QVERIFY(c->all.setPictureName(picture("h.jpg", "w=3 h=3")));
    QCOMPARE(QSize(c->all.OrgWidth(), c->all.OrgHeight()), QSize(12, 10));
    QVERIFY(c->all.setPictureName(picture("h.gif", "w=3 h=3")));
    QCOMPARE(QSize(c->all.OrgWidth(), c->all.OrgHeight()), QSize(0, 0));
}

void TestAll::emptyNameLeavesStatusAlone() {
    auto c = component(full_);
    QVERIFY(c->all.setPictureName(picture("a.gif", "pic0=3")));
    QCOMPARE(c->all.Error(), 3);
    QVERIFY(c->all.setPictureName(picture("b.gif", "w=5 h=5")));
    QVERIFY(!c->all.isEmpty());
    const QStringList statuses = c->host.statuses;
    const QList<int> progress = c->host.progress;
    calls();
    QVERIFY(c->all.setPictureName(QString()));
    QCOMPARE(c->all.Error(), 0);
    QVERIFY(c->all.isEmpty());
    QVERIFY(c->all.PictureName().isEmpty());
    QCOMPARE(c->host.statuses, statuses);
    QCOMPARE(c->host.progress, progress);
    QVERIFY(calls().isEmpty());
}

void TestAll::sameNameLoadsAgain() {
    auto c = component(full_);
    const QString path = picture("again.gif", "w=4 h=4");
    QVERIFY(c->all.setPictureName(path));
    QCOMPARE(c->all.image().size(), QSize(4, 4));
    picture("again.gif", "w=6 h=3");
    QVERIFY(c->all.setPictureName(path));
    QCOMPARE(c->all.image().size(), QSize(6, 3));
    QCOMPARE(QSize(c->all.OrgWidth(), c->all.OrgHeight()), QSize(6, 3));
    QCOMPARE(calls().size(), 4);  // info and picture, twice
}

void TestAll::unknownExtensions() {
    auto c = component(full_);
    for (const char* name : {"scan.tiff", "noext", "dot.", "archive.lzh", "dir.jpg/inside",
                             "a.jfif", "a.png", "a.p", "a.jpg ", "a.jpx"}) {
        QVERIFY(c->all.setPictureName(picture("seed.gif", "w=5 h=4")));
        c->host.clear();
        c->all.setPreView(true);
        QVERIFY(c->all.setPictureName(pictures_ + u'/' + QString::fromLatin1(name)));
        QCOMPARE(c->all.Error(), 10);
        QVERIFY(!c->all.PreView());
        QCOMPARE(c->all.OrgWidth(), 0);
        QCOMPARE(c->all.OrgHeight(), 0);
        QVERIFY(c->all.PictureName().isEmpty());
        QVERIFY(c->all.isEmpty());
        QVERIFY(c->host.statuses.isEmpty());
    }
}

void TestAll::previewIsAQuarterRoundedUp() {
    auto c = component(full_);
    const QString path = picture("p.jpg", "w=101 h=75");
    c->all.setPreView(true);
    QVERIFY(c->all.setPictureName(path));
    QCOMPARE(c->all.Error(), 0);
    QCOMPARE(c->all.image().size(), QSize(26, 19));
    QCOMPARE(QSize(c->all.OrgWidth(), c->all.OrgHeight()), QSize(101, 75));
    const FakeScript s = parseFakeScript("FAKESPI w=101 h=75");
    QCOMPARE(c->all.image().pixel(25, 18), expectedColour(s, 25, 18));
    QVERIFY(calls().last().startsWith("GetPreview offset=0 callback=1"));

    c->all.setPreView(false);
    QVERIFY(c->all.setPictureName(path));
    QCOMPARE(c->all.image().size(), QSize(101, 75));
    QVERIFY(calls().last().startsWith("GetPicture offset=0"));

    // Exact quarters stay exact; the preview flag does nothing for other kinds.
    c->all.setPreView(true);
    QVERIFY(c->all.setPictureName(picture("q.jpg", "w=100 h=4")));
    QCOMPARE(c->all.image().size(), QSize(25, 1));
    QVERIFY(c->all.setPictureName(picture("q.gif", "w=100 h=4")));
    QCOMPARE(c->all.image().size(), QSize(100, 4));
}

void TestAll::jpegInfoRetriedAt128() {
    auto c = component(full_);
    QVERIFY(c->all.setPictureName(picture("m.jpg", "w=5 h=3 info0=2 info128=0 pic0=2 pic128=0")));
    QCOMPARE(c->all.Error(), 0);
    QCOMPARE(c->all.image().size(), QSize(5, 3));
    QStringList log = calls();
    for (QString& line : log)
        line = line.section(u' ', 0, 2);
    QCOMPARE(log, QStringList({"GetPictureInfo offset=0 callback=0",
                               "GetPictureInfo offset=128 callback=0",
                               "GetPicture offset=128 callback=1"}));

    // Both attempts fail: the second one's result counts.
    QVERIFY(c->all.setPictureName(picture("n.jpg", "info0=2 info128=6")));
    QCOMPARE(c->all.Error(), 6);
    QCOMPARE(c->host.statuses.last(), QStringLiteral("ファイルリードエラー"));
}

void TestAll::getPictureRetriedAt128WithoutProgress() {
    for (const char* name : {"r.gif", "r.tif", "r.pic", "r.p2", "r.mag", "r.q4", "r.pi"}) {
        auto c = component(full_);
        QVERIFY(c->all.setPictureName(picture(name, "w=3 h=3 pic0=2 pic128=0 progress=1/2")));
        QCOMPARE(c->all.Error(), 0);
        QCOMPARE(c->all.image().size(), QSize(3, 3));
        // PIC and PIC2 ask for the info once more afterwards, for the pixel aspect.
        QStringList log = calls().mid(0, 3);
        for (QString& line : log)
            line = line.section(u' ', 0, 2);
        QCOMPARE(log, QStringList({"GetPictureInfo offset=0 callback=0",
                                   "GetPicture offset=0 callback=1",
                                   "GetPicture offset=128 callback=0"}));
        // The retry reported nothing.
        QVERIFY(!c->host.progress.contains(50));
    }
}

void TestAll::noRetryWhereNoneIsDue() {
    auto c = component(full_);
    // A failed GetPictureInfo is not retried for the kinds other than JPEG.
    QVERIFY(c->all.setPictureName(picture("i.gif", "info0=3 info128=0")));
    QCOMPARE(c->all.Error(), 3);
    QCOMPARE(calls().size(), 1);
    // Only "unknown format" from GetPicture is retried.
    QVERIFY(c->all.setPictureName(picture("j.gif", "pic0=3 pic128=0")));
    QCOMPARE(c->all.Error(), 3);
    QCOMPARE(calls().size(), 2);
    // JPEG retries its info, never its picture.
    QVERIFY(c->all.setPictureName(picture("k.jpg", "pic0=2 pic128=0")));
    QCOMPARE(c->all.Error(), 2);
    QCOMPARE(calls().size(), 2);
}

void TestAll::pixelAspect_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("dx");
    QTest::addColumn<int>("dy");
    QTest::addColumn<QSize>("size");
    QTest::newRow("pic 1:2 widens") << "a.pic" << 1 << 2 << QSize(12, 6);
    QTest::newRow("pic 2:1 heightens") << "a.pic" << 2 << 1 << QSize(6, 12);
    QTest::newRow("p2 1:2 widens") << "a.p2" << 1 << 2 << QSize(12, 6);
    QTest::newRow("p2 2:1 heightens") << "a.P2" << 2 << 1 << QSize(6, 12);
    QTest::newRow("pic 3:4") << "a.pic" << 3 << 4 << QSize(8, 6);
    QTest::newRow("pic 4:3") << "a.pic" << 4 << 3 << QSize(6, 8);
    QTest::newRow("pic 1:1") << "a.pic" << 1 << 1 << QSize(6, 6);
    QTest::newRow("pic 2:2") << "a.pic" << 2 << 2 << QSize(6, 6);
    QTest::newRow("pic 0:2") << "a.pic" << 0 << 2 << QSize(6, 6);
    QTest::newRow("pic 2:0") << "a.pic" << 2 << 0 << QSize(6, 6);
    QTest::newRow("pic 0:0") << "a.pic" << 0 << 0 << QSize(6, 6);
    QTest::newRow("gif 1:2 untouched") << "a.gif" << 1 << 2 << QSize(6, 6);
    QTest::newRow("mag 1:2 untouched") << "a.mag" << 1 << 2 << QSize(6, 6);
}

void TestAll::pixelAspect() {
    QFETCH(QString, name);
    QFETCH(int, dx);
    QFETCH(int, dy);
    QFETCH(QSize, size);
    const QByteArray script =
        "w=6 h=6 hinfo=1 dx=" + QByteArray::number(dx) + " dy=" + QByteArray::number(dy);
    auto c = component(full_);
    QVERIFY(c->all.setPictureName(picture(name, script)));
    QCOMPARE(c->all.Error(), 0);
    QCOMPARE(c->all.image().size(), size);
    QCOMPARE(QSize(c->all.OrgWidth(), c->all.OrgHeight()), size);
    // Stretched, not cut: each corner keeps its colour.
    const FakeScript s = parseFakeScript("FAKESPI " + script.toStdString());
    const QImage& img = c->all.image();
    QCOMPARE(img.pixel(0, 0), expectedColour(s, 0, 0));
    QCOMPARE(img.pixel(size.width() - 1, size.height() - 1), expectedColour(s, 5, 5));
    QCOMPARE(img.pixel(size.width() - 1, 0), expectedColour(s, 5, 0));

    // On a palette display the stretched picture keeps its colour table.
    auto p = component(full_);
    p->host.fakeScreen.bits = 8;
    QVERIFY(p->all.setPictureName(picture(name, script + " bits=8")));
    QCOMPARE(p->all.image().size(), size);
    QCOMPARE(p->all.palette().size(), 256);
    const FakeScript t = parseFakeScript("FAKESPI " + script.toStdString() + " bits=8");
    QCOMPARE(p->all.image().pixel(size.width() - 1, size.height() - 1), expectedColour(t, 5, 5));
    QCOMPARE(p->all.image().pixel(0, size.height() - 1), expectedColour(t, 0, 5));
}

void TestAll::paletteOnAnEightBitDisplay_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("screenBits");
    QTest::addColumn<int>("entries");
    QTest::newRow("8 bits, 0 used") << "a.gif" << QByteArray("bits=8") << 8 << 256;
    QTest::newRow("8 bits, 16 used") << "a.gif" << QByteArray("bits=8 clrused=16") << 8 << 16;
    QTest::newRow("8 bits, 200 used") << "a.pic" << QByteArray("bits=8 clrused=200") << 8 << 200;
    QTest::newRow("4 bits, 0 used") << "a.mag" << QByteArray("bits=4") << 8 << 16;
    QTest::newRow("4 bits, 5 used") << "a.pi" << QByteArray("bits=4 clrused=5") << 8 << 5;
    QTest::newRow("1 bit, 0 used") << "a.tif" << QByteArray("bits=1") << 8 << 2;
    QTest::newRow("24 bits") << "a.gif" << QByteArray("bits=24") << 8 << 0;
    QTest::newRow("16-bit display") << "a.gif" << QByteArray("bits=8") << 16 << 0;
    QTest::newRow("24-bit display") << "a.gif" << QByteArray("bits=4") << 24 << 0;
    QTest::newRow("jpeg") << "a.jpg" << QByteArray("bits=8") << 8 << 0;
}

void TestAll::paletteOnAnEightBitDisplay() {
    QFETCH(QString, name);
    QFETCH(QByteArray, script);
    QFETCH(int, screenBits);
    QFETCH(int, entries);
    auto c = component(full_);
    c->host.fakeScreen.bits = screenBits;
    c->host.fakeScreen.palette = screenBits == 8 ? 256 : 0;
    const QByteArray full = "w=9 h=5 " + script;
    QVERIFY(c->all.setPictureName(picture(name, full)));
    QCOMPARE(c->all.Error(), 0);
    const QList<QRgb>& palette = c->all.palette();
    QCOMPARE(palette.size(), entries);
    const FakeScript s = parseFakeScript("FAKESPI " + full.toStdString());
    for (int i = 0; i < palette.size(); ++i)
        QCOMPARE(palette[i], tableColour(i));
    // The picture shows the same colours either way.
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 9; ++x)
            QCOMPARE(c->all.image().pixel(x, y), expectedColour(s, x, y));
}

void TestAll::progressReports() {
    QCOMPARE(TAll::percentOf(50, 200), 25);
    QCOMPARE(TAll::percentOf(199, 200), 99);
    QCOMPARE(TAll::percentOf(7, 0), 0);
    QCOMPARE(TAll::percentOf(INT_MAX, 1), 100);
    QCOMPARE(TAll::percentOf(-5, 10), 0);
    QCOMPARE(TAll::percentOf(INT_MIN, -1), 100);

    auto c = component(full_);
    QVERIFY(c->all.setPictureName(picture("a.gif", "progress=50/200,1/3,3/0,400/200,-9/3")));
    QCOMPARE(c->all.Error(), 0);
    QCOMPARE(c->host.progress, QList<int>({25, 33, 0, 100, 0, 0}));

    c->host.clear();
    c->host.loadingThumbnails = true;
    QVERIFY(c->all.setPictureName(picture("b.jpg", "progress=50/200,1/3")));
    QCOMPARE(c->all.Error(), 0);
    QVERIFY(!c->host.progress.contains(25));
    QVERIFY(!c->host.progress.contains(33));
}

void TestAll::rowsComeOutUpright_data() {
    QTest::addColumn<QByteArray>("script");
    for (const char* bits : {"1", "4", "8", "16", "24", "32"})
        for (const char* order : {"0", "1"})
            QTest::addRow("bits %s topdown %s", bits, order)
                << "w=11 h=7 bits=" + QByteArray(bits) + " topdown=" + order;
    // Masks sit at byte 40 in every header version; the colour table follows the header.
    QTest::newRow("fields after a 108-byte header") << QByteArray("w=11 h=7 bits=16 hdr=108");
    QTest::newRow("fields after a 124-byte header") << QByteArray("w=11 h=7 bits=32 hdr=124");
    QTest::newRow("table after a 108-byte header") << QByteArray("w=11 h=7 bits=8 hdr=108");
}

void TestAll::rowsComeOutUpright() {
    QFETCH(QByteArray, script);
    const FakeScript s = parseFakeScript("FAKESPI " + script.toStdString());
    for (const char* name : {"a.gif", "a.jpg"}) {
        auto c = component(full_);
        QVERIFY(c->all.setPictureName(picture(name, script)));
        QCOMPARE(c->all.Error(), 0);
        const QImage& img = c->all.image();
        QCOMPARE(img.size(), QSize(11, 7));
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 11; ++x) {
                QRgb want = expectedColour(s, x, y);
                if (s.bits == 16) {
                    // Five bits per channel, widened to eight.
                    auto widen = [](int c) { return ((c >> 3) * 255 + 15) / 31; };
                    want = qRgb(widen(qRed(want)), widen(qGreen(want)), widen(qBlue(want)));
                }
                QCOMPARE(img.pixel(x, y), want);
            }
    }
}

void TestAll::longAndMultibyteNamesReachThePluginWhole() {
    const QString deep = pictures_ + u'/' + QString(120, u'd') + u'/' + QString(120, u'e');
    QVERIFY(QDir().mkpath(deep));
    const QString path = deep + u'/' + QString(40, u'f') + QStringLiteral("_写真.gif");
    kordel::test::writeFile(path, "FAKESPI w=2 h=3");
    const qsizetype length = QFile::encodeName(path).size();
    QVERIFY(length > 300);
    auto c = component(full_);
    QVERIFY(c->all.setPictureName(path));
    QCOMPARE(c->all.Error(), 0);
    QCOMPARE(c->all.image().size(), QSize(2, 3));
    QCOMPARE(c->all.PictureName(), path);
    const QStringList log = calls();
    QCOMPARE(log.size(), 2);
    for (const QString& line : log)
        QVERIFY2(line.endsWith("namelen=" + QString::number(length)), qPrintable(line));
}

void TestAll::unusableBlocksAreFailures() {
    auto c = component(full_);
    // Success without the blocks.
    QVERIFY(c->all.setPictureName(picture("a.gif", "null=1")));
    QCOMPARE(c->all.Error(), 5);
    QCOMPARE(c->host.statuses.last(), QStringLiteral("メモリーエラー"));
    QVERIFY(c->all.isEmpty());
    QVERIFY(c->all.setPictureName(picture("a.jpg", "null=1")));
    QCOMPARE(c->all.Error(), 5);
    // A depth no bitmap has.
    QVERIFY(c->all.setPictureName(picture("b.gif", "bits=7")));
    QCOMPARE(c->all.Error(), 3);
    QCOMPARE(c->host.statuses.last(), QStringLiteral("データが壊れている"));
    QVERIFY(c->all.isEmpty());
    QVERIFY(c->all.PictureName().isEmpty());
    // A header size no version has would put the colour table anywhere.
    QVERIFY(c->all.setPictureName(picture("c.gif", "bits=8 hdr=200")));
    QCOMPARE(c->all.Error(), 3);
}

void TestAll::jpegBitmapHasTheAnnouncedSize() {
    // The rows are drawn into a bitmap of the size the info announced.
    auto c = component(full_);
    QVERIFY(c->all.setPictureName(picture("a.jpg", "w=4 h=4 iw=6 ih=5")));
    QCOMPARE(c->all.Error(), 0);
    QCOMPARE(c->all.image().size(), QSize(6, 5));
    const FakeScript s = parseFakeScript("FAKESPI w=4 h=4");
    QCOMPARE(c->all.image().pixel(3, 3), expectedColour(s, 3, 3));
    QCOMPARE(c->all.image().pixel(5, 4), qRgb(0, 0, 0));

    // An announced size past every limit is not allocated.
    QVERIFY(c->all.setPictureName(picture("b.jpg", "w=4 h=2 iw=60000 ih=60000")));
    QCOMPARE(c->all.Error(), 4);
    QCOMPARE(c->host.statuses.last(), QStringLiteral("メモリーが確保出来ない"));
    QVERIFY(c->all.isEmpty());
    c->all.setPreView(true);
    QVERIFY(c->all.setPictureName(picture("c.jpg", "w=4 h=2 iw=2000000 ih=3")));
    QCOMPARE(c->all.Error(), 4);
}

QTEST_MAIN(TestAll)
#include "test_all.moc"
