// The picture component with a scripted decoder plug-in standing in for the
// real ones: failure results, retries, preview sizes, pixel aspect, palettes,
// progress and row order, as the component reports them to its window.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
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
    QString pictures_, log_;

    QString folder(const QString& name, const char* module = nullptr) {
        const QString path = temp_.filePath(name);
        QDir().mkpath(path);
        for (const char* n : kPluginNames)
            if (module)
                QFile::copy(kFakeDir + u'/' + module, path + u'/' + n);
        return path;
    }

    // Writes a script picture and gives its path.
    QString picture(const QString& name, const QByteArray& script) {
        const QString path = pictures_ + u'/' + name;
        kordel::test::writeFile(path, "FAKESPI " + script);
        return path;
    }

    // The calls the fake logged since the last look ("i0 p0+ p128"), and a fresh log.
    QString calls(QList<int>* nameLengths = nullptr) {
        const QString text = QString::fromUtf8(kordel::test::readFile(log_));
        QFile::remove(log_);
        QStringList entries;
        for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) {
            entries << line.section(u' ', 0, 0);
            if (nameLengths)
                *nameLengths << line.section(u' ', 1).toInt();
        }
        return entries.join(u' ');
    }
    struct Load {
        RecordingHost host;
        TAll all{host};
    };
    // A component that looks for plug-ins in one folder only.
    std::unique_ptr<Load> component(const QString& plugins = QStringLiteral("full")) {
        auto load = std::make_unique<Load>();
        load->all.setPluginFolders({temp_.filePath(plugins)});
        return load;
    }

private slots:
    void initTestCase() {
        folder("full", "fakespi.spi");
        folder("nopreview", "fakespi_nopreview.spi");
        folder("nopicture", "fakespi_nopicture.spi");
        folder("none");
        kordel::test::writeFile(folder("garbage") + "/ifgif.spi", "not a shared object");
        pictures_ = folder("pictures");
        log_ = temp_.filePath("calls.log");
        qputenv("FAKESPI_LOG", QFile::encodeName(log_));
    }

    void init() { calls(); }

    void loads_data() {
        QTest::addColumn<QString>("plugins");  // the folder the component searches
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<bool>("preview");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("status");  // null: none given
        QTest::addColumn<QSize>("size");      // of the image; empty: no picture
        QTest::addColumn<QSize>("stored");    // 5 x 4 is the picture loaded before
        QTest::addColumn<QString>("calls");
        const QSize none, kept(5, 4), info(4, 2), zero(0, 0);
        const auto row = [](const char* tag) -> QTestData& { return QTest::newRow(tag) << "full"; };
        row("unknown format") << "f.gif" << QByteArray("pic0=2 pic128=2") << false << 2
                              << "未知のフォーマット" << none << info << "i0 p0+ p128";
        // Only "unknown format" from GetPicture is retried.
        const QString texts[] = {"データが壊れている", "メモリーが確保出来ない", "メモリーエラー",
                                 "ファイルリードエラー", "その他のエラー"};
        for (const int code : {3, 4, 5, 6, 1, 7, -1})
            row(qPrintable(QStringLiteral("error %1").arg(code)))
                << "f.gif"
                << "pic0=" + QByteArray::number(code) + " pic128=0" << false << code
                << texts[code >= 3 && code <= 6 ? code - 3 : 4] << none << info << "i0 p0+";
        // A failed info is retried at 128 for JPEG only; no kind keeps the previous size.
        row("mag info") << "f.mag" << QByteArray("info0=4 info128=0") << false << 4
                        << "メモリーが確保出来ない" << none << zero << "i0";
        row("jpeg info retried") << "f.jpg" << QByteArray("info0=3 info128=5") << false << 5
                                 << "メモリーエラー" << none << zero << "i0 i128";
        row("jpeg info at 128") << "m.jpg"
                                << QByteArray("w=5 h=3 info0=2 info128=0 pic0=2 pic128=0") << false
                                << 0 << " " << QSize(5, 3) << QSize(5, 3) << "i0 i128 p128+";
        row("jpeg picture not retried") << "k.jpg" << QByteArray("pic0=2 pic128=0") << false << 2
                                        << "未知のフォーマット" << none << info << "i0 p0+";
        // The retry reports no progress (the bar would jump back to 50).
        for (const char* name : {"r.gif", "r.pic"})
            QTest::newRow(name) << "full" << name
                                << QByteArray("w=3 h=3 pic0=2 pic128=0 progress=1/2") << false << 0
                                << " " << QSize(3, 3) << QSize(3, 3)
                                << (name[2] == 'p' ? "i0 p0+ p128 i0" : "i0 p0+ p128");
        // Success without the blocks, a depth no bitmap has, a header size no version has.
        row("null blocks") << "a.gif" << QByteArray("null=1") << false << 5 << "メモリーエラー"
                           << none << info << "i0 p0+";
        row("jpeg null blocks") << "a.jpg" << QByteArray("null=1") << false << 5 << "メモリーエラー"
                                << none << info << "i0 p0+";
        row("7 bits") << "b.gif" << QByteArray("bits=7") << false << 3 << "データが壊れている"
                      << none << info << "i0 p0+";
        row("200-byte header") << "c.gif" << QByteArray("bits=8 hdr=200") << false << 3
                               << "データが壊れている" << none << info << "i0 p0+";
        // The rows are drawn into a bitmap of the size the info announced, within the limits.
        row("jpeg announced size") << "a.jpg" << QByteArray("w=4 h=4 iw=6 ih=5") << false << 0
                                   << " " << QSize(6, 5) << QSize(6, 5) << "i0 p0+";
        row("jpeg announced huge")
            << "b.jpg" << QByteArray("w=4 h=2 iw=60000 ih=60000") << false << 4
            << "メモリーが確保出来ない" << none << QSize(60000, 60000) << "i0 p0+";
        row("jpeg preview announced wide")
            << "c.jpg" << QByteArray("w=4 h=2 iw=2000000 ih=3") << true << 4
            << "メモリーが確保出来ない" << none << QSize(2000000, 3) << "i0 v0+";
        // A JPEG preview is a quarter, rounded up; the flag does nothing for other kinds.
        row("preview") << "p.jpg" << QByteArray("w=101 h=75") << true << 0 << " " << QSize(26, 19)
                       << QSize(101, 75) << "i0 v0+";
        row("preview exact") << "q.jpg" << QByteArray("w=100 h=4") << true << 0 << " "
                             << QSize(25, 1) << QSize(100, 4) << "i0 v0+";
        row("no preview") << "p.jpg" << QByteArray("w=101 h=75") << false << 0 << " "
                          << QSize(101, 75) << QSize(101, 75) << "i0 p0+";
        row("gif preview") << "q.gif" << QByteArray("w=100 h=4") << true << 0 << " "
                           << QSize(100, 4) << QSize(100, 4) << "i0 p0+";
        // Missing plug-ins and plug-ins without the entry points a load needs.
        const std::pair<const char*, const char*> kinds[] = {
            {".jpg", "IFJPG"},  {".jpeg", "IFJPG"},  {".JPE", "IFJPG"}, {".GIF", "IFGIF"},
            {".tif", "IFTIFF"}, {".Tiff", "IFTIFF"}, {".pic", "IFPIC"}, {".p2", "IFPIC2"},
            {".mag", "IFMAG"},  {".Q4", "IFXLD4"},   {".pi", "IFPI"}};
        for (const auto& [ext, plugin] : kinds)
            QTest::addRow("missing %s", ext)
                << "none" << QStringLiteral("missing") + ext << QByteArray("w=2 h=2") << false << 20
                << plugin + QStringLiteral(".SPI not found") << none << zero << "";
        QTest::newRow("not a module") << "garbage"
                                      << "x.gif" << QByteArray() << false << 20
                                      << "IFGIF.SPI not found" << none << zero << "";
        QTest::newRow("no GetPicture") << "nopicture"
                                       << "a.gif" << QByteArray() << false << 20
                                       << "IFGIF.SPI not found" << none << zero << "";
        QTest::newRow("jpeg, no GetPicture") << "nopicture"
                                             << "a.jpg" << QByteArray() << false << 20
                                             << "IFJPG.SPI not found" << none << zero << "";
        QTest::newRow("no GetPreview") << "nopreview"
                                       << "b.jpg" << QByteArray("w=8 h=8") << true << 20
                                       << "IFJPG.SPI not found" << none << zero << "";
        QTest::newRow("no GetPreview, no preview asked")
            << "nopreview"
            << "b.jpg" << QByteArray("w=8 h=8") << false << 0 << " " << QSize(8, 8) << QSize(8, 8)
            << "i0 p0+";
        QTest::newRow("no GetPreview, gif") << "nopreview"
                                            << "b.gif" << QByteArray("w=8 h=8") << true << 0 << " "
                                            << QSize(8, 8) << QSize(8, 8) << "i0 p0+";
        // No decoder at all: nothing reported, the preview flag dropped.
        for (const char* name : {"scan.tga", "noext", "dot.", "archive.lzh", "dir.jpg/inside",
                                 "a.jfif", "a.png", "a.p", "a.jpg ", "a.jpx"})
            QTest::newRow(name) << "full" << name << QByteArray("w=2 h=2") << true << 10
                                << QString() << none << zero << "";
        // An empty name empties the component and leaves the window alone.
        row("empty name") << "" << QByteArray() << false << 0 << QString() << none << kept << "";
    }

    void loads() {
        QFETCH(QString, plugins);
        QFETCH(QString, name);
        QFETCH(QByteArray, script);
        QFETCH(bool, preview);
        QFETCH(int, error);
        QFETCH(QString, status);
        QFETCH(QSize, size);
        QFETCH(QString, calls);
        auto c = component();
        QVERIFY(c->all.setPictureName(picture("seed.gif", "w=5 h=4")));
        c->all.setPluginFolders({temp_.filePath(plugins)});
        c->all.setPreView(preview);
        c->host.clear();
        this->calls();
        const QString path = name.isEmpty() ? QString() : picture(name, script);
        QVERIFY(c->all.setPictureName(path));
        QCOMPARE(c->all.Error(), error);
        QCOMPARE(c->host.statuses, status.isNull() ? QStringList() : QStringList{status});
        QCOMPARE(c->host.progress, path.isEmpty() || error == 10 ? QList<int>() : QList<int>{0});
        QTEST(QSize(c->all.OrgWidth(), c->all.OrgHeight()), "stored");
        QCOMPARE(c->all.PreView(), preview && error != 10);
        QCOMPARE(c->all.PictureName(), size.isEmpty() ? QString() : path);
        QCOMPARE(this->calls(), calls);
        QCOMPARE(c->all.image().size(), size.isEmpty() ? QSize(0, 0) : size);
        if (size.isEmpty())
            return;
        // The delivered dots, and black where a JPEG's announced bitmap is larger.
        const FakeScript s = parseFakeScript("FAKESPI " + script.toStdString());
        const bool quarter = preview && name.endsWith(".jpg");
        const QPoint corner(quarter ? (s.w + 3) / 4 - 1 : s.w - 1,
                            quarter ? (s.h + 3) / 4 - 1 : s.h - 1);
        QCOMPARE(c->all.image().pixel(corner), expectedColour(s, corner.x(), corner.y()));
        const QPoint end(size.width() - 1, size.height() - 1);
        if (end != corner)
            QCOMPARE(c->all.image().pixel(end), qRgb(0, 0, 0));
    }

    void sameNameLoadsAgain() {
        auto c = component();
        const QString path = picture("again.gif", "w=4 h=4");
        QVERIFY(c->all.setPictureName(path));
        QCOMPARE(c->all.image().size(), QSize(4, 4));
        picture("again.gif", "w=6 h=3");
        QVERIFY(c->all.setPictureName(path));
        QCOMPARE(c->all.image().size(), QSize(6, 3));
        QCOMPARE(QSize(c->all.OrgWidth(), c->all.OrgHeight()), QSize(6, 3));
        QCOMPARE(calls(), QStringLiteral("i0 p0+ i0 p0+"));
    }

    void colours_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<int>("screenBits");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("entries");  // of the palette built for the display
        for (const char* name : {"a.gif", "a.jpg"}) {
            for (const char* bits : {"1", "4", "8", "16", "24", "32"})
                for (const char* order : {"0", "1"})
                    QTest::addRow("%s bits %s topdown %s", name, bits, order)
                        << name << "w=11 h=7 bits=" + QByteArray(bits) + " topdown=" + order << 24
                        << QSize(11, 7) << 0;
            // Masks sit at byte 40 in every header version, the colour table follows the header,
            // and a header larger than 40 bytes takes 24-bit rows past the direct adoption.
            for (const char* header :
                 {"bits=16 hdr=108", "bits=24 hdr=124", "bits=32 hdr=124", "bits=8 hdr=108"})
                QTest::addRow("%s %s", name, header)
                    << name << "w=11 h=7 " + QByteArray(header) << 24 << QSize(11, 7) << 0;
        }
        const auto row = [](const char* tag, const char* name, const char* script, int screen,
                            QSize size, int entries) {
            QTest::newRow(tag) << name << QByteArray(script) << screen << size << entries;
        };
        row("8 bits, 0 used", "a.gif", "w=9 h=5 bits=8", 8, {9, 5}, 256);
        row("8 bits, 16 used", "a.gif", "w=9 h=5 bits=8 clrused=16", 8, {9, 5}, 16);
        row("8 bits, 200 used", "a.pic", "w=9 h=5 bits=8 clrused=200", 8, {9, 5}, 200);
        row("4 bits, 0 used", "a.mag", "w=9 h=5 bits=4", 8, {9, 5}, 16);
        row("4 bits, 5 used", "a.pi", "w=9 h=5 bits=4 clrused=5", 8, {9, 5}, 5);
        row("1 bit, 0 used", "a.tif", "w=9 h=5 bits=1", 8, {9, 5}, 2);
        row("24 bits on 8", "a.gif", "w=9 h=5 bits=24", 8, {9, 5}, 0);
        row("16-bit display", "a.gif", "w=9 h=5 bits=8", 16, {9, 5}, 0);
        row("jpeg on 8", "a.jpg", "w=9 h=5 bits=8", 8, {9, 5}, 0);
        // PIC and PIC2 are stretched for their pixel aspect, also with a colour table kept.
        row("pic 1:2 widens", "a.pic", "w=6 h=6 hinfo=1 dx=1 dy=2", 24, {12, 6}, 0);
        row("pic 2:1 heightens", "a.pic", "w=6 h=6 hinfo=1 dx=2 dy=1", 24, {6, 12}, 0);
        row("p2 1:2 widens", "a.P2", "w=6 h=6 hinfo=1 dx=1 dy=2", 24, {12, 6}, 0);
        row("pic 3:4", "a.pic", "w=6 h=6 hinfo=1 dx=3 dy=4", 24, {8, 6}, 0);
        row("pic 1:1", "a.pic", "w=6 h=6 hinfo=1 dx=1 dy=1", 24, {6, 6}, 0);
        row("pic 0:2", "a.pic", "w=6 h=6 hinfo=1 dx=0 dy=2", 24, {6, 6}, 0);
        row("pic 2:0", "a.pic", "w=6 h=6 hinfo=1 dx=2 dy=0", 24, {6, 6}, 0);
        row("gif 1:2 untouched", "a.gif", "w=6 h=6 hinfo=1 dx=1 dy=2", 24, {6, 6}, 0);
        row("mag 1:2 untouched", "a.mag", "w=6 h=6 hinfo=1 dx=1 dy=2", 24, {6, 6}, 0);
        row("pic 1:2 on 8", "a.pic", "w=6 h=6 hinfo=1 dx=1 dy=2 bits=8", 8, {12, 6}, 256);
        row("p2 2:1 on 8", "a.p2", "w=6 h=6 hinfo=1 dx=2 dy=1 bits=4", 8, {6, 12}, 16);
    }

    void colours() {
        QFETCH(QString, name);
        QFETCH(QByteArray, script);
        QFETCH(int, screenBits);
        QFETCH(QSize, size);
        QFETCH(int, entries);
        auto c = component();
        c->host.fakeScreen.bits = screenBits;
        QVERIFY(c->all.setPictureName(picture(name, script)));
        QCOMPARE(c->all.Error(), 0);
        QCOMPARE(c->all.image().size(), size);
        QCOMPARE(QSize(c->all.OrgWidth(), c->all.OrgHeight()), size);
        QCOMPARE(c->all.palette().size(), entries);
        for (int i = 0; i < entries; ++i)
            QCOMPARE(c->all.palette()[i], tableColour(i));
        // Every dot, stretched (not cut) where the picture is.
        const FakeScript s = parseFakeScript("FAKESPI " + script.toStdString());
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                QRgb want = expectedColour(s, (2 * x + 1) * s.w / (2 * size.width()),
                                           (2 * y + 1) * s.h / (2 * size.height()));
                if (s.bits == 16) {
                    // Five bits per channel, widened to eight.
                    auto widen = [](int c) { return ((c >> 3) * 255 + 15) / 31; };
                    want = qRgb(widen(qRed(want)), widen(qGreen(want)), widen(qBlue(want)));
                }
                QCOMPARE(c->all.image().pixel(x, y), want);
            }
    }

    void progressReports() {
        // Truncated, kept within 0 to 100 (also where done / total overflows), 0 without a total.
        auto c = component();
        QVERIFY(c->all.setPictureName(
            picture("a.gif", "progress=50/200,1/3,3/0,400/200,-9/3,2147483647/1,-2147483648/-1")));
        QCOMPARE(c->all.Error(), 0);
        QCOMPARE(c->host.progress, QList<int>({25, 33, 0, 100, 0, 100, 100, 0}));

        c->host.clear();
        c->host.loadingThumbnails = true;
        QVERIFY(c->all.setPictureName(picture("b.jpg", "progress=50/200,1/3")));
        QCOMPARE(c->all.Error(), 0);
        QCOMPARE(c->host.progress, QList<int>{0});  // the bar goes back to 0 all the same
    }

    void longAndMultibyteNamesReachThePluginWhole() {
        const QString deep = pictures_ + u'/' + QString(120, u'd') + u'/' + QString(120, u'e');
        QVERIFY(QDir().mkpath(deep));
        const QString path = deep + u'/' + QString(40, u'f') + QStringLiteral("_写真.gif");
        kordel::test::writeFile(path, "FAKESPI w=2 h=3");
        const qsizetype length = QFile::encodeName(path).size();
        QVERIFY(length > 300);
        auto c = component();
        QVERIFY(c->all.setPictureName(path));
        QCOMPARE(c->all.Error(), 0);
        QCOMPARE(c->all.image().size(), QSize(2, 3));
        QCOMPARE(c->all.PictureName(), path);
        QList<int> lengths;
        QCOMPARE(calls(&lengths), QStringLiteral("i0 p0+"));
        QCOMPARE(lengths, QList<int>({int(length), int(length)}));
    }
};

QTEST_MAIN(TestAll)
#include "test_all.moc"
