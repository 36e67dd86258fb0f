// The native kinds: BMP in every depth, coding and header version checked dot by dot,
// icons (the largest, deepest image, transparency), and BMP, ICO, WMF and EMF through
// the picture component. Refused and damaged headers are files in fuzz/corpus.
#include <sys/stat.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <bit>

#include "all.h"
#include "decode.h"
#include "metafile_writer.h"
#include "picture_files.h"
#include "recording_host.h"

using kordel::decodeBmp;
using kordel::decodeIcon;
using kordel::TAll;
using kordel::test::BmpLayout;
using kordel::test::IcoImage;
using kordel::test::RecordingHost;
using kordel::test::solidIcon;
using kordel::test::writeBmp;
using kordel::test::writeIco;
using Header = BmpLayout::Header;

Q_DECLARE_METATYPE(Header)

namespace {

// A palette of n distinct colours.
std::vector<QRgb> palette(int n) {
    std::vector<QRgb> p;
    for (int i = 0; i < n; ++i)
        p.push_back(qRgb((i * 53 + 17) & 255, (i * 101 + 3) & 255, (255 - i * 29) & 255));
    return p;
}

// A channel of `bits` bits widened to eight by repeating its top bits.
int widen(int v, int bits) {
    return bits >= 8 ? v >> (bits - 8) : (v << (8 - bits)) | (v >> (2 * bits - 8));
}

bool nearColour(QRgb a, QRgb b, int tolerance) {
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance &&
           qAbs(qBlue(a) - qBlue(b)) <= tolerance && qAlpha(a) == qAlpha(b);
}

// solidIcon's picture as a PNG stream.
IcoImage pngIcon(int size, QRgb colour) {
    IcoImage im = solidIcon(size, 32, colour);
    QBuffer buffer(&im.png);
    buffer.open(QIODevice::WriteOnly);
    QImage(reinterpret_cast<const uchar*>(im.dots.data()), size, size, QImage::Format_ARGB32)
        .save(&buffer, "png");
    return im;
}

const QRgb kRed = qRgb(200, 0, 0), kGreen = qRgb(0, 180, 0), kBlue = qRgb(0, 0, 210),
           kYellow = qRgb(230, 230, 0), kCyan = qRgb(0, 220, 220);

}  // namespace

class TestNative : public QObject {
    Q_OBJECT

    QTemporaryDir temp_;
    int serial_ = 0;

    QString save(const QByteArray& data, const QString& ext = QStringLiteral(".bmp")) {
        const QString path = temp_.filePath(QStringLiteral("p%1").arg(++serial_) + ext);
        kordel::test::writeFile(path, data);
        return path;
    }

    // Decodes and compares every dot.
    void check(const BmpLayout& layout, const std::vector<QRgb>& want, int tolerance = 0) {
        const kordel::Decoded d = decodeBmp(save(writeBmp(layout)));
        QCOMPARE(d.error, 0);
        QCOMPARE(d.image.size(), QSize(layout.width, layout.height));
        QCOMPARE(d.storedSize, std::optional<QSize>(d.image.size()));
        for (int y = 0; y < layout.height; ++y)
            for (int x = 0; x < layout.width; ++x) {
                const QRgb got = d.image.pixel(x, y), expected = want[size_t(y * layout.width + x)];
                QVERIFY2(nearColour(got, expected, tolerance),
                         qPrintable(
                             QString::asprintf("(%d,%d) got %08x want %08x", x, y, got, expected)));
            }
    }

private slots:
    // Colour-table rows give the entries written and the used count; the others the masks.
    void bmp_data() {
        QTest::addColumn<Header>("header");
        QTest::addColumn<int>("bits");
        QTest::addColumn<bool>("topDown");
        QTest::addColumn<int>("compression");
        QTest::addColumn<QList<uint>>("masks");  // red, green, blue
        QTest::addColumn<int>("entries");        // of the colour table written
        QTest::addColumn<int>("used");
        const auto indexed = [](const QByteArray& tag, Header header, int bits, bool topDown,
                                int entries, int used) {
            QTest::newRow(tag) << header << bits << topDown << 0 << QList<uint>() << entries
                               << used;
        };
        const auto direct = [](const char* tag, Header header, int bits, int compression,
                               bool topDown, QList<uint> masks) {
            QTest::newRow(tag) << header << bits << topDown << compression << masks << 0 << 0;
        };
        const std::pair<const char*, Header> headers[] = {
            {"windows", Header::Windows}, {"os2 1.x", Header::Os2v1}, {"os2 2.x", Header::Os2v2}};
        for (int bits : {1, 4, 8}) {
            for (const auto& [name, header] : headers)
                indexed(name + QByteArray::number(bits), header, bits, false, 1 << bits, 0);
            indexed("top-down " + QByteArray::number(bits), Header::Windows, bits, true, 1 << bits,
                    0);
        }
        indexed("8 bits, 20 used", Header::Windows, 8, false, 20, 20);
        indexed("4 bits, 6 used", Header::Windows, 4, false, 6, 6);
        indexed("os2 2.x 8 bits, 20 used", Header::Os2v2, 8, false, 20, 20);
        // No used count: the rows start where the file header says, right after the entries.
        indexed("8 bits, 16 entries", Header::Windows, 8, false, 16, 0);
        const QList<uint> m555{0x7c00, 0x03e0, 0x001f}, m565{0xf800, 0x07e0, 0x001f},
            m888{0xff0000, 0x00ff00, 0x0000ff}, reversed{0x0000ff, 0x00ff00, 0xff0000};
        direct("16 plain", Header::Windows, 16, 0, false, m555);
        direct("16 fields 565", Header::Windows, 16, 3, false, m565);
        direct("16 fields 555", Header::Windows, 16, 3, false, m555);
        direct("16 v4 565", Header::V4, 16, 3, false, m565);
        direct("24", Header::Windows, 24, 0, false, m888);
        direct("24 top-down", Header::Windows, 24, 0, true, m888);
        direct("24 os2 1.x", Header::Os2v1, 24, 0, false, m888);
        direct("24 os2 2.x", Header::Os2v2, 24, 0, false, m888);
        // A plain 32-bit dot is opaque whatever its fourth byte holds.
        direct("32", Header::Windows, 32, 0, false, m888);
        direct("32 fields blue high", Header::Windows, 32, 3, false, reversed);
        direct("32 v4 fields", Header::V4, 32, 3, false, reversed);
    }

    void bmp() {
        QFETCH(Header, header);
        QFETCH(int, bits);
        QFETCH(bool, topDown);
        QFETCH(int, compression);
        QFETCH(QList<uint>, masks);
        QFETCH(int, entries);
        // 13 dots wide: rows need padding in every depth.
        BmpLayout s{.header = header,
                    .width = 13,
                    .height = 5,
                    .topDown = topDown,
                    .bits = bits,
                    .compression = compression,
                    .palette = palette(entries)};
        QFETCH(int, used);
        s.clrUsed = uint32_t(used);
        std::copy(masks.begin(), masks.end(), s.masks);
        std::vector<QRgb> want;
        for (int i = 0; i < 13 * 5; ++i) {
            uint32_t dot = entries ? uint32_t(i % 13 * 5 + i / 13 * 3) % uint32_t(entries) : 0;
            int rgb[3] = {};
            for (int c = 0; c < masks.size(); ++c) {
                const int width = std::popcount(masks[c]), shift = std::countr_zero(masks[c]);
                const int v = (i * (7 + 5 * c) + 3 * c) & ((1 << width) - 1);
                dot |= uint32_t(v) << shift;
                rgb[c] = widen(v, width);
            }
            if (bits == 32 && compression == 0)  // a fourth byte that means nothing
                dot |= uint32_t(i * 37 % 256) << 24;
            s.dots.push_back(dot);
            want.push_back(entries ? s.palette[dot] : qRgb(rgb[0], rgb[1], rgb[2]));
        }
        // Five bits may be widened by a shift alone (31 becomes 248) or by repetition.
        check(s, want, bits == 16 ? 7 : 0);
    }

    void bmpAlpha() {
        BmpLayout s{.header = Header::V4,
                    .width = 3,
                    .height = 2,
                    .bits = 32,
                    .compression = 3,
                    .masks = {0x00ff0000, 0x0000ff00, 0x000000ff, 0xff000000}};
        s.dots = {0xff102030, 0x80405060, 0x00000000, 0xff708090, 0xffa0b0c0, 0x40d0e0f0};
        const kordel::Decoded d = decodeBmp(save(writeBmp(s)));
        QVERIFY(d.image.hasAlphaChannel());
        QCOMPARE(d.image.pixel(0, 0), qRgba(0x10, 0x20, 0x30, 0xff));
        QCOMPARE(d.image.pixel(1, 0), qRgba(0x40, 0x50, 0x60, 0x80));
        QCOMPARE(qAlpha(d.image.pixel(2, 0)), 0);
        QCOMPARE(d.image.pixel(2, 1), qRgba(0xd0, 0xe0, 0xf0, 0x40));
        // An alpha mask that every dot leaves at 0 hides nothing.
        for (uint32_t& v : s.dots)
            v &= 0x00ffffff;
        const kordel::Decoded o = decodeBmp(save(writeBmp(s)));
        QVERIFY(!o.image.hasAlphaChannel());
        QCOMPARE(o.image.pixel(1, 0), qRgb(0x40, 0x50, 0x60));
    }

    void icons_data() {
        QTest::addColumn<QList<int>>("order");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRgb>("colour");
        // 0: 16 px 4-bit red, 1: 32 px 8-bit green, 2: 32 px 32-bit blue, 3: 24 px 32-bit yellow,
        // 4: 32 px 4-bit cyan, 5: 48 px PNG yellow, 6: 256 px PNG yellow, 7: 16 px 32-bit red
        // with its last dot half covered, 8: 16 px 32-bit red that its entry calls 32 px tall.
        QTest::newRow("deepest in the middle")
            << QList<int>{0, 1, 2, 3, 4} << QSize(32, 32) << kBlue;
        QTest::newRow("deepest first") << QList<int>{2, 4, 1, 3, 0} << QSize(32, 32) << kBlue;
        QTest::newRow("deepest last") << QList<int>{3, 0, 4, 1, 2} << QSize(32, 32) << kBlue;
        // A larger image wins over a deeper one; PNG images count like the others.
        QTest::newRow("larger 4-bit") << QList<int>{3, 4} << QSize(32, 32) << kCyan;
        QTest::newRow("larger png") << QList<int>{2, 5, 1} << QSize(48, 48) << kYellow;
        QTest::newRow("256 png") << QList<int>{2, 6, 1} << QSize(256, 256) << kYellow;
        // A directory entry without a bit count falls back on its colour count.
        QTest::newRow("bits from colour count") << QList<int>{-4, -1} << QSize(32, 32) << kGreen;
        QTest::newRow("4 bits") << QList<int>{0} << QSize(16, 16) << kRed;
        // The bitmap's own header tells the size, whatever its entry says.
        QTest::newRow("entry taller than its bitmap") << QList<int>{8} << QSize(16, 16) << kRed;
        QTest::newRow("32 bits, half covered")
            << QList<int>{7} << QSize(16, 16) << qRgba(200, 0, 0, 128);
    }

    void icons() {
        QFETCH(QList<int>, order);
        QFETCH(QSize, size);
        QFETCH(QRgb, colour);
        IcoImage images[] = {
            solidIcon(16, 4, kRed),     solidIcon(32, 8, kGreen), solidIcon(32, 32, kBlue),
            solidIcon(24, 32, kYellow), solidIcon(32, 4, kCyan),  pngIcon(48, kYellow),
            pngIcon(256, kYellow),      solidIcon(16, 32, kRed),  solidIcon(16, 32, kRed)};
        images[7].dots.back() = colour;
        images[8].directoryHeight = 32;
        std::vector<IcoImage> file;
        for (int i : order) {
            file.push_back(images[std::abs(i)]);
            if (i < 0)
                file.back().directoryBits = 0;
        }
        const kordel::Decoded d = decodeIcon(save(writeIco(file), ".ico"));
        QCOMPARE(d.image.format(), QImage::Format_ARGB32);
        QCOMPARE(d.image.size(), size);
        QCOMPARE(d.storedSize, std::optional<QSize>(size));
        // The top-left quarter is transparent, by the mask or by the dots' alpha.
        const int w = size.width(), h = size.height();
        QCOMPARE(qAlpha(d.image.pixel(1, 1)), 0);
        QCOMPARE(qAlpha(d.image.pixel(w / 2 - 1, h / 2 - 1)), 0);
        QCOMPARE(d.image.pixel(w / 2, h / 2 - 1),
                 qRgb(qRed(colour), qGreen(colour), qBlue(colour)));
        QCOMPARE(d.image.pixel(w / 2 - 1, h / 2),
                 qRgb(qRed(colour), qGreen(colour), qBlue(colour)));
        QCOMPARE(qAlpha(d.image.pixel(w - 1, h - 1)), qAlpha(colour));
        // Shown opaque on the window colour: the clear quarter takes it, a half-covered dot mixes.
        const QImage shown = kordel::opaqueOn(d.image, QColor(240, 240, 240));
        QVERIFY(!shown.hasAlphaChannel());
        QCOMPARE(shown.pixel(1, 1), qRgb(240, 240, 240));
        const auto mix = [&](int c) {
            return (c * qAlpha(colour) + 240 * (255 - qAlpha(colour))) / 255;
        };
        QVERIFY(nearColour(shown.pixel(w - 1, h - 1),
                           qRgb(mix(qRed(colour)), mix(qGreen(colour)), mix(qBlue(colour))), 1));
    }

    void throughTheComponent_data() {
        QTest::addColumn<QString>("ext");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<double>("dpi");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<QRgb>("colour");
        QTest::addColumn<bool>("indexed");  // a colour-table picture keeps its table
        BmpLayout b{.width = 33, .height = 17};
        b.dots.assign(33 * 17, 0x123456);
        QTest::newRow("bmp") << ".BMP" << writeBmp(b) << 96.0 << QSize(33, 17) << QPoint(32, 16)
                             << qRgb(0x12, 0x34, 0x56) << false;
        BmpLayout c{.width = 6, .height = 2, .bits = 8, .palette = palette(256)};
        for (int i = 0; i < 12; ++i)
            c.dots.push_back(uint32_t(i * 20));
        QTest::newRow("bmp 8 bits") << ".bmp" << writeBmp(c) << 96.0 << QSize(6, 2) << QPoint(5, 1)
                                    << c.palette[220] << true;
        // The component keeps an icon's transparency; the viewer makes it opaque.
        const QByteArray ico = writeIco({solidIcon(16, 8, kGreen), solidIcon(48, 32, kBlue)});
        QTest::newRow("ico") << ".ico" << ico << 96.0 << QSize(48, 48) << QPoint(47, 47) << kBlue
                             << false;
        QTest::newRow("ico mask") << ".ico" << ico << 96.0 << QSize(48, 48) << QPoint(0, 0) << 0u
                                  << false;
        // Metafiles: the frame at the screen's resolution, the drawing scaled along.
        using namespace kordel::test;
        WmfWriter w(QRect(0, 0, 200, 100), 96);
        w.windowExt(200, 100);
        w.brush(0, rgb(255, 0, 0));
        w.select(0);
        w.rectangle(10, 10, 90, 50);
        EmfWriter e;
        e.brush(1, 0, rgb(255, 0, 0));
        e.select(1);
        e.rectangle(10, 10, 80, 50);
        const QRgb red = qRgb(255, 0, 0);
        QTest::newRow("wmf 96 dpi")
            << ".wmf" << w.data() << 96.0 << QSize(200, 100) << QPoint(87, 47) << red << false;
        QTest::newRow("wmf 192 dpi")
            << ".wmf" << w.data() << 192.0 << QSize(400, 200) << QPoint(175, 95) << red << false;
        QTest::newRow("emf 120 dpi")
            << ".EMF" << e.data() << 120.0 << QSize(240, 120) << QPoint(97, 60) << red << false;
        QTest::newRow("emf 48 dpi")
            << ".emf" << e.data() << 48.0 << QSize(96, 48) << QPoint(38, 23) << red << false;
    }

    void throughTheComponent() {
        QFETCH(QString, ext);
        QFETCH(QByteArray, data);
        QFETCH(double, dpi);
        QFETCH(QSize, size);
        QFETCH(QPoint, at);
        QFETCH(bool, indexed);
        RecordingHost host;
        host.fakeScreen.dpi = dpi;
        TAll all(host);
        all.setPreView(true);  // matters to JPEG only
        const QString path = save(data, ext);
        QVERIFY(all.setPictureName(path));
        QCOMPARE(all.Error(), 0);
        QCOMPARE(all.kind(), kordel::DecoderKind::Native);
        QCOMPARE(QSize(all.OrgWidth(), all.OrgHeight()), size);
        QCOMPARE(all.OrgColor(), 0);
        QCOMPARE(all.PictureName(), path);
        QCOMPARE(host.statuses, QStringList{" "});
        QCOMPARE(host.progress, QList<int>({100, 0}));
        QCOMPARE(all.image().format() == QImage::Format_Indexed8, indexed);
        QImage shown = all.image();
        if (all.metafile()) {
            QCOMPARE(all.metafile()->size, size);
            shown = QImage(size, QImage::Format_RGB32);
            shown.fill(Qt::white);
            QPainter(&shown).drawPicture(0, 0, all.metafile()->picture);
        }
        QCOMPARE(shown.size(), size);
        QTEST(shown.pixel(at), "colour");
        // The thumbnail loader's loads do not move the bar to 100, but it goes back to 0.
        host.clear();
        host.loadingThumbnails = true;
        QVERIFY(all.setPictureName(path));
        QCOMPARE(host.progress, QList<int>({0}));
    }

    void rejectedAndUnreadableFiles() {
        RecordingHost host;
        TAll all(host);
        BmpLayout s{.width = 2, .height = 2, .dots = {0xffffff, 0xffffff, 0xffffff, 0xffffff}};
        const QString good = save(writeBmp(s));
        for (const QByteArray& junk :
             {QByteArray("not a picture"), QByteArray(), QByteArray("BM")}) {
            for (const char* ext : {".bmp", ".ico", ".wmf", ".emf"}) {
                QVERIFY(all.setPictureName(good));
                host.clear();
                QVERIFY(all.setPictureName(save(junk, QString::fromLatin1(ext))));
                QCOMPARE(all.Error(), 2);
                QCOMPARE(host.statuses, QStringList{"未知のフォーマット"});
                QCOMPARE(host.progress, QList<int>({100, 0}));
                QVERIFY(all.PictureName().isEmpty());
                QVERIFY(all.isEmpty());
                QCOMPARE(QSize(all.OrgWidth(), all.OrgHeight()), QSize(0, 0));
            }
        }
        // Files that cannot be read at all are the caller's to report; a named pipe would
        // wait for a writer for ever.
        QVERIFY(QDir(temp_.path()).mkdir("folder.bmp"));
        QVERIFY(QFile::link(temp_.filePath("nowhere.bmp"), temp_.filePath("dangling.ico")));
        QCOMPARE(::mkfifo(QFile::encodeName(temp_.filePath("pipe.emf")).constData(), 0600), 0);
        for (const char* name : {"folder.bmp", "dangling.ico", "missing.wmf", "pipe.emf"}) {
            QVERIFY(all.setPictureName(good));
            host.clear();
            QVERIFY(!all.setPictureName(temp_.filePath(QString::fromLatin1(name))));
            QVERIFY(!all.readFailure().isEmpty());
            QCOMPARE(all.Error(), 0);
            QVERIFY(all.isEmpty());
            QVERIFY(all.PictureName().isEmpty());
            QVERIFY(host.statuses.isEmpty());
            QCOMPARE(host.progress.last(), 0);
        }
        // The next load clears the failure.
        QVERIFY(all.setPictureName(good));
        QVERIFY(all.readFailure().isEmpty());
    }
};

QTEST_MAIN(TestNative)
#include "test_native.moc"
