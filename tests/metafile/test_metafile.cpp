// The WMF/EMF player: stored sizes, mapping, drawing state, text, bitmaps, cut files and
// the real-world fixtures against their reference renderings. Hostile records live as
// files in fuzz/corpus/wmf and fuzz/corpus/emf (tests/corpus).
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QStringEncoder>
#include <QTest>
#include <cmath>

#include "metafile.h"
#include "metafile_state.h"
#include "metafile_writer.h"

using kordel::Metafile;
using kordel::playMetafile;
using namespace kordel::test;

namespace {

QString fixturesRoot() {
    const QDir dir(QStringLiteral(KORDEL_FIXTURES_DIR));
    return dir.exists(QStringLiteral("metafile")) ? dir.absolutePath() : QString();
}

QImage render(const Metafile& m, QSize size = QSize()) {
    if (!size.isValid())
        size = m.size;
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.scale(double(size.width()) / m.size.width(), double(size.height()) / m.size.height());
    p.drawPicture(0, 0, m.picture);
    return img;
}

QImage play(const QByteArray& data) {
    const std::optional<Metafile> m = playMetafile(data);
    return m ? render(*m) : QImage();
}

bool near(QRgb a, QRgb b, int tol = 60) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))}) <= tol;
}

// Bounding box of the pixels darker than `below`, or (below 0) of all but the white ones.
QRect inkBox(const QImage& img, int below = 128) {
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (below < 0 ? !near(img.pixel(x, y), qRgb(255, 255, 255), 40)
                          : qGray(img.pixel(x, y)) < below)
                box |= QRect(x, y, 1, 1);
    return box;
}
// Number of the pixels darker than 128 inside `area`.
int inkCount(const QImage& img, QRect area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += qGray(img.pixel(x, y)) < 128;
    return n;
}

QByteArray cp932(const QString& s) {
    return QStringEncoder("Shift_JIS").encode(s);
}

const quint32 kRed = rgb(255, 0, 0), kGreen = rgb(0, 255, 0), kBlue = rgb(0, 0, 255),
              kYellow = rgb(255, 255, 0), kBlack = 0;
const QRgb R = qRgb(255, 0, 0), G = qRgb(0, 255, 0), B = qRgb(0, 0, 255), W = qRgb(255, 255, 255),
           Y = qRgb(255, 255, 0), K = qRgb(0, 0, 0);

// A 200 × 100 placeable WMF whose logical units are pixels at 96 dpi.
WmfWriter pixelWmf(QRect box = QRect(0, 0, 200, 100)) {
    WmfWriter w(box, 96);
    w.windowOrg(box.left(), box.top());
    w.windowExt(box.width(), box.height());
    return w;
}

// Red fill without outline, selected into slots 0 and 1.
WmfWriter redWmf(QRect box = QRect(0, 0, 200, 100)) {
    WmfWriter w = pixelWmf(box);
    w.pen(5, 0, 0);
    w.select(0);
    w.brush(0, kRed);
    w.select(1);
    return w;
}
EmfWriter redEmf(bool outline = false) {
    EmfWriter e;
    e.brush(1, 0, kRed);
    e.select(1);
    if (!outline)
        e.select(0x80000008);  // NULL_PEN
    return e;
}

// A drawing row: `draw` records onto `writer`.
void row(const QByteArray& tag, auto writer, const QString& probes, const auto& draw) {
    draw(writer);
    QTest::newRow(tag.constData()) << writer.data() << probes;
}

QImage twoByTwo() {
    QImage img(2, 2, QImage::Format_RGB32);
    for (int i = 0; i < 4; ++i)
        img.setPixel(i % 2, i / 2, QList<QRgb>{R, G, B, Y}[i]);
    return img;
}

// A BITMAPINFOHEADER for hand-made packed DIBs.
QByteArray dibHeader(int w, int h, int bits, int compression, int colours, int planes = 1) {
    QByteArray a = EmfWriter::ints({40, w, h});
    put16(a, planes);
    put16(a, bits);
    return a + EmfWriter::ints({compression, 0, 0, 0, colours, 0});
}
// The packed DIB stretched ten times over the top-left of a pixel WMF: dot (x, y) covers
// (10x..10x+9, 10y..10y+9).
QByteArray wmfWithDib(const QByteArray& dib, QSize size) {
    WmfWriter w = pixelWmf();
    w.stretchDib(QRect(QPoint(0, 0), size * 10), QRect(QPoint(0, 0), size), dib);
    return w.data();
}
// Probes at the centres of the dots of a DIB drawn by wmfWithDib, top line first.
QString dots(int width, const QString& colours) {
    QString probes;
    for (int i = 0; i < colours.size(); ++i)
        probes += QStringLiteral("%1%2,%3 ")
                      .arg(colours[i])
                      .arg(i % width * 10 + 5)
                      .arg(i / width * 10 + 5);
    return probes;
}

// Fixture comparison: the share of "ink" (non-background) pixels of one picture that find a
// pixel of similar colour within two pixels in the other, both ways, as an F-score.
double matched(const QImage& a, const QImage& b) {
    qint64 ink = 0, found = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb c = a.pixel(x, y);
            if (near(c, W, 40))
                continue;
            ++ink;
            bool hit = false;
            for (int dy = -2; dy <= 2 && !hit; ++dy)
                for (int dx = -2; dx <= 2 && !hit; ++dx) {
                    const QPoint p(x + dx, y + dy);
                    hit = b.rect().contains(p) && near(c, b.pixel(p), 64);
                }
            found += hit;
        }
    }
    return ink ? double(found) / ink : 1.0;
}

// Our picture on the reference's canvas: the frame fills it, or (byInk) the drawing is moved
// and scaled so that its ink box covers the reference's, for renderers that frame by the ink
// they find.
QImage renderLike(const Metafile& m, const QImage& ref, bool byInk) {
    const QImage framed = render(m, ref.size());
    const QRect ours = inkBox(framed, -1), theirs = inkBox(ref, -1);
    if (!byInk || ours.isEmpty() || theirs.isEmpty())
        return framed;
    QImage canvas(ref.size(), QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter p(&canvas);
    p.translate(theirs.topLeft());
    p.scale(double(theirs.width()) / ours.width(), double(theirs.height()) / ours.height());
    p.translate(-ours.topLeft());
    p.scale(double(ref.width()) / m.size.width(), double(ref.height()) / m.size.height());
    p.drawPicture(0, 0, m.picture);
    return canvas;
}

}  // namespace

class TestMetafile : public QObject {
    Q_OBJECT

private slots:
    void storedSize_data();
    void storedSize();
    void drawing_data();
    void drawing();
    void hatchBackground();
    void textPlacement();
    void rotatedText_data();
    void rotatedText();
    void japaneseText();
    void textDecoding_data();
    void textDecoding();
    void squeezedText();
    void cutFilesPlayWhatCameBefore();
    void fixtures_data();
    void fixtures();
};

void TestMetafile::storedSize_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QSize>("size");
    QTest::newRow("placeable 2 x 1 inch")
        << WmfWriter(QRect(0, 0, 2000, 1000), 1000).data() << QSize(192, 96);
    QTest::newRow("placeable box stored flipped")
        << WmfWriter(QRect(100, 1100, 2000, -1000), 1000).data() << QSize(192, 96);
    QTest::newRow("emf frame 5080 x 2540") << EmfWriter().data() << QSize(192, 96);
    QTest::newRow("emf frame with negative top")
        << EmfWriter(QRect(0, -2540, 5080, 2540)).data() << QSize(192, 96);
    // No usable frame: the bounds (0,0)-(191,95) on the 96 dpi reference device.
    QTest::newRow("emf without frame") << EmfWriter(QRect(0, 0, 0, 0)).data() << QSize(192, 96);
    // 32000 inches would be three million pixels wide: kept within the decoders' limits on
    // side and pixel count, aspect preserved.
    QTest::newRow("absurd placeable box")
        << WmfWriter(QRect(0, 0, 32000, 16000), 1).data() << QSize(11585, 5793);
    {
        // No window at all: framed by what is drawn, one unit per pixel.
        WmfWriter w(QRect(), 0);
        w.rectangle(100, 100, 300, 200);
        QTest::newRow("plain measured") << w.data() << QSize(200, 100);
    }
}

void TestMetafile::storedSize() {
    QFETCH(QByteArray, data);
    QFETCH(QSize, size);
    const std::optional<Metafile> m = playMetafile(data);
    QVERIFY(m);
    QCOMPARE(m->size, size);
    QCOMPARE(m->picture.boundingRect(), QRect(QPoint(0, 0), size));
}

void TestMetafile::drawing_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("probes");  // colour letter, x,y
    // Equation editors: a box in pixels, a window ten times finer. The window is mapped.
    row("window finer than box", redWmf(), "R148,73 W152,77", [](WmfWriter& w) {
        w.windowExt(2000, 1000);
        w.rectangle(500, 250, 1500, 750);
    });
    row("window with y up", redWmf(), "R25,25 W25,75", [](WmfWriter& w) {
        w.windowOrg(0, 100);
        w.windowExt(200, -100);
        w.rectangle(0, 100, 50, 50);  // the upper half of the picture, y pointing up
    });
    row("plain with window", WmfWriter(QRect(), 0), "R45,45 W55,55", [](WmfWriter& w) {
        w.mapMode(8);
        w.windowOrg(0, 0);
        w.windowExt(200, 100);
        w.pen(5, 0, 0);
        w.select(0);
        w.brush(0, kRed);
        w.select(1);
        w.rectangle(0, 0, 50, 50);
    });
    // 0.1 mm units, y up: (100,-50)-(300,-200) is 37.8..113.4 × 18.9..75.6 pixels.
    row("emf lometric", redEmf(), "R40,21 R111,73 W35,47 W116,47 W75,16 W75,78", [](EmfWriter& e) {
        e.mapMode(2);
        e.rectangle(100, -50, 300, -200);
    });
    row("emf anisotropic y up", redEmf(), "R21,11 R94,37 W17,25 W98,25 W50,41", [](EmfWriter& e) {
        e.mapMode(8);
        e.windowExt(100, 100);
        e.viewportExt(192, -96);
        e.viewportOrg(0, 96);
        e.rectangle(10, 90, 50, 60);  // x 19.2..96, y 9.6..38.4
    });
    // Square units: the wider viewport shrinks to 96 pixels.
    row("emf isotropic", redEmf(), "R2,2 R93,93 W99,50", [](EmfWriter& e) {
        e.mapMode(7);
        e.windowExt(100, 100);
        e.viewportExt(192, 96);
        e.rectangle(0, 0, 100, 100);
    });
    row("world transform", redEmf(), "R12,2 R48,38 W8,20 W52,20 W30,42", [](EmfWriter& e) {
        e.xform(35, 2, 0, 0, 2, 10, 0);  // SETWORLDTRANSFORM
        e.rectangle(0, 0, 20, 20);       // 10..50 × 0..40
    });
    // Modified on the left, the scale comes first (50..70); on the right the translation does.
    for (const int order : {2, 3}) {
        const int left = order == 2 ? 50 : 100;
        row("modify world transform " + QByteArray::number(order), redEmf(),
            QStringLiteral("R%1,2 R%2,18 W%3,10 W%4,10")
                .arg(left + 2)
                .arg(left + 18)
                .arg(left - 2)
                .arg(left + 22),
            [&](EmfWriter& e) {
                e.xform(35, 1, 0, 0, 1, 50, 0);
                e.xform(36, 2, 0, 0, 2, 0, 0, order);
                e.rectangle(0, 0, 10, 10);
            });
    }
    // A singular transform is refused and the previous one stays.
    row("singular transform ignored", redEmf(), "R21,11 W62,25", [](EmfWriter& e) {
        e.xform(35, 0, 0, 0, 0, 5, 5);
        e.rectangle(20, 10, 60, 40);
    });
    // An EMF+ comment in a file that also draws is skipped and the drawing plays.
    row("emf+ comment skipped", redEmf(), "R50,25", [](EmfWriter& e) {
        QByteArray comment = EmfWriter::ints({28, 0x2B464D45});
        put16(comment, 0x4001);  // EmfPlusHeader
        put16(comment, 1);
        e.rec(70, comment + EmfWriter::ints({28, 16, 0xDBC01002, 0, 96, 96}));
        e.rectangle(0, 0, 100, 50);
    });
    row("pen width and hollow brush", pixelWmf(), "R60,50 B20,50 B22,50 W10,50 W155,50 B120,50",
        [](WmfWriter& w) {
            w.pen(0, 6, kBlue);  // 0
            w.brush(0, kRed);    // 1
            w.brush(1, 0);       // 2: hollow
            w.select(0);
            w.select(1);
            w.rectangle(20, 20, 100, 80);
            w.select(2);
            w.rectangle(120, 20, 190, 80);
        });
    // A five-pointed star: its centre is outside with alternate filling, inside with winding.
    for (const int mode : {1, 2})
        row("polygon fill mode " + QByteArray::number(mode), redWmf(),
            mode == 2 ? "R100,12 R100,52" : "R100,12 W100,52", [&](WmfWriter& w) {
                QList<QPoint> star;
                for (int k = 0; k < 5; ++k) {
                    const double a = (-90 + k * 144) * M_PI / 180;
                    star << QPoint(qRound(100 + 45 * std::cos(a)), qRound(50 + 45 * std::sin(a)));
                }
                w.rec(0x0106, {mode});
                w.polygon({star[0], star[1], star[2], star[3], star[4]});
            });
    // POLYPOLYGON: one fill over both outlines, so the inner square is a hole.
    row("polypolygon hole", redWmf(), "R20,50 W50,50", [](WmfWriter& w) {
        QByteArray pp;
        for (int v : {4, 4, 10, 10, 90, 10, 90, 90, 10, 90, 40, 40, 60, 40, 60, 60, 40, 60})
            put16(pp, v);
        w.rec(0x0538, {2}, pp);
    });
    row("ellipse", redWmf(), "R100,50 R176,50 W24,14",
        [](WmfWriter& w) { w.ellipse(20, 10, 180, 90); });
    // A pie from three o'clock to twelve: counter-clockwise (the default) takes the upper
    // right quarter, clockwise the other three.
    for (const bool clockwise : {false, true})
        row(clockwise ? "pie clockwise" : "pie", redEmf(),
            clockwise ? "W70,25 R25,70 R25,25" : "R70,25 W25,70 W25,25", [&](EmfWriter& e) {
                if (clockwise)
                    e.rec(57, EmfWriter::ints({2}));
                e.pie(QRect(0, 0, 96, 96), QPoint(96, 48), QPoint(48, 0));
            });
    row("save and restore", pixelWmf(), "R25,50 R75,50 R125,50", [](WmfWriter& w) {
        w.pen(5, 0, 0);
        w.select(0);
        w.brush(0, kRed);    // 1
        w.brush(0, kBlue);   // 2
        w.brush(0, kGreen);  // 3
        w.select(1);
        w.saveDc();  // level 1: red
        w.select(2);
        w.saveDc();  // level 2: blue
        w.select(3);
        w.restoreDc(1);  // absolute: back to red, both levels gone
        w.rectangle(0, 0, 50, 100);
        w.restoreDc(-1);  // nothing left to restore: ignored
        w.restoreDc(0);   // meaningless: ignored
        w.rectangle(50, 0, 100, 100);
        w.saveDc();
        w.select(2);
        w.restoreDc(-1);  // relative: the last save
        w.rectangle(100, 0, 150, 100);
    });
    row("intersect clip", redWmf(), "R100,50 R149,74 W151,76 W20,50", [](WmfWriter& w) {
        w.intersectClip(50, 25, 150, 75);
        w.rectangle(0, 0, 200, 100);
    });
    row("exclude clip", redWmf(), "W100,50 R60,50", [](WmfWriter& w) {
        w.excludeClip(80, 40, 120, 60);
        w.rectangle(0, 0, 200, 100);
    });
    // The clip is kept on the device: moving the window afterwards does not move it.
    row("clip stays on the device", redWmf(), "R50,50 W150,50", [](WmfWriter& w) {
        w.intersectClip(0, 0, 100, 100);
        w.windowOrg(-100, 0);
        w.rectangle(-100, 0, 100, 100);
    });
    row("clip restored", redWmf(), "R100,50", [](WmfWriter& w) {
        w.saveDc();
        w.intersectClip(0, 0, 10, 10);
        w.restoreDc(-1);
        w.rectangle(0, 0, 200, 100);
    });
    // EMF: a clip region in reference pixels, then a reset by an empty copy.
    for (const bool reset : {false, true})
        row(reset ? "emf clip region reset" : "emf clip region", redEmf(),
            reset ? "R25,25 R100,25" : "R25,25 W100,25", [&](EmfWriter& e) {
                e.rec(75, EmfWriter::ints({48, 5, 32, 1, 1, 16, 0, 0, 50, 50, 0, 0, 50, 50}));
                e.rectangle(0, 0, 192, 96);
                if (reset) {
                    e.rec(75, EmfWriter::ints({0, 5}));
                    e.rectangle(0, 0, 192, 96);
                }
            });
    // Objects take the lowest free slot, and a create record we cannot use still takes one.
    row("object table", pixelWmf(), "R25,50 Y75,50 Y125,50 Y175,50", [](WmfWriter& w) {
        w.pen(5, 0, 0);      // 0
        w.brush(0, kGreen);  // 1
        w.brush(0, kBlue);   // 2
        w.select(0);
        w.remove(1);
        w.brush(0, kRed);  // 1 again
        w.select(1);
        w.rectangle(0, 0, 50, 100);
        w.remove(0);
        w.rec(0x06FE, {1, 1, 1, 1, 1});  // CREATEBITMAP: slot 0
        w.brush(0, kYellow);             // 3
        w.select(3);
        w.rectangle(50, 0, 100, 100);
        w.select(0);  // the placeholder: nothing changes
        w.select(9);  // an empty slot: ignored
        w.rectangle(100, 0, 150, 100);
        w.remove(3);  // deleting the selected brush keeps it in use
        w.rectangle(150, 0, 200, 100);
    });
    // A triangle recorded as a path and filled.
    row("filled path", redEmf(true), "R30,30 W70,70", [](EmfWriter& e) {
        e.rec(59);
        e.rec(27, EmfWriter::ints({10, 10}));
        e.rec(54, EmfWriter::ints({90, 10}));
        e.rec(54, EmfWriter::ints({10, 90}));
        e.rec(61);
        e.rec(60);
        e.rec(62, EmfWriter::ints({0, 0, 0, 0}));
    });
    // A path made the clip; an unended path cannot be filled.
    row("clip path", redEmf(), "R25,25 W25,70 W125,25", [](EmfWriter& e) {
        e.rec(59);
        e.rectangle(0, 0, 50, 50);
        e.rec(60);
        e.rec(67, EmfWriter::ints({5}));
        e.rectangle(0, 0, 192, 96);
        e.rec(59);
        e.rectangle(100, 0, 150, 50);
        e.rec(62, EmfWriter::ints({0, 0, 0, 0}));
    });
    // DSTINVERT turns white black; R2_NOP draws nothing; R2_XORPEN red on white is cyan.
    row("raster operations", redWmf(), "K30,30 W80,30 C130,30", [](WmfWriter& w) {
        w.rec(0x061D, {0x0009, 0x0055, 40, 40, 10, 10});  // PATBLT DSTINVERT
        w.rec(0x0104, {11});
        w.rectangle(60, 10, 100, 50);
        w.rec(0x0104, {7});
        w.rectangle(110, 10, 150, 50);
    });

    // Bitmaps: stretched, mirrored, part of the source, inverted.
    const QString upright = "R25,25 G75,25 B25,75 Y75,75 W150,50";
    const QByteArray dib = packedDib24(twoByTwo());
    row("dib", pixelWmf(), upright,
        [&](WmfWriter& w) { w.stretchDib(QRect(0, 0, 100, 100), QRect(0, 0, 2, 2), dib); });
    row("dib top-down", pixelWmf(), upright, [](WmfWriter& w) {
        w.stretchDib(QRect(0, 0, 100, 100), QRect(0, 0, 2, 2), packedDib24(twoByTwo(), true));
    });
    row("dib mirrored", pixelWmf(), "G25,25 R75,25 Y25,75 B75,75",
        [&](WmfWriter& w) { w.stretchDib(QRect(100, 0, -100, 100), QRect(0, 0, 2, 2), dib); });
    row("dib source part", pixelWmf(), "G25,25 G75,75 W150,50",
        [&](WmfWriter& w) { w.stretchDib(QRect(0, 0, 100, 100), QRect(1, 0, 1, 1), dib); });
    row("emf dib", EmfWriter(), upright,
        [&](EmfWriter& e) { e.stretchDiBits(QRect(0, 0, 100, 100), QRect(0, 0, 2, 2), dib); });
    row("emf dib inverted", EmfWriter(), "C25,25 M75,25 Y25,75 B75,75", [&](EmfWriter& e) {
        e.stretchDiBits(QRect(0, 0, 100, 100), QRect(0, 0, 2, 2), dib, 0x00330008);  // NOTSRCCOPY
    });

    // DIB codings, each dot drawn 10 × 10 (W: a dot the codes left alone).
    const QByteArray table = EmfWriter::ints({0x000000, 0xff0000, 0x00ff00});  // black, red, green
    // RLE8, bottom row first: a run, an odd absolute run with its pad byte, end of line; then a
    // delta that leaves dots untouched, a run and the end of the picture.
    QTest::newRow("rle8") << wmfWithDib(dibHeader(5, 2, 8, 1, 3) + table +
                                            QByteArray::fromHex("0201 0003020102 00 0000 "
                                                                "00020300 0202 0001"),
                                        QSize(5, 2))
                          << dots(5, "WWWGGRRGRG");
    // RLE4: runs alternate the two nibbles; an absolute run of three nibbles takes two bytes.
    QTest::newRow("rle4") << wmfWithDib(dibHeader(4, 2, 4, 2, 3) + table +
                                            QByteArray::fromHex("0412 0000 00032120 0001"),
                                        QSize(4, 2))
                          << dots(4, "GRGWRGRG");
    // A run past the row end does not wrap into the next row; a delta past the end stops.
    QTest::newRow("rle8 run past the row")
        << wmfWithDib(
               dibHeader(2, 2, 8, 1, 3) + table + QByteArray::fromHex("0501 0000 0002ff00 0202"),
               QSize(2, 2))
        << dots(2, "WWRR");
    QTest::newRow("16 bits 5-5-5")
        << wmfWithDib(dibHeader(2, 1, 16, 0, 0) + QByteArray::fromHex("007c e003"), QSize(2, 1))
        << dots(2, "RG");
    QTest::newRow("16 bits 5-6-5 fields")
        << wmfWithDib(dibHeader(2, 1, 16, 3, 0) + EmfWriter::ints({0xf800, 0x07e0, 0x001f}) +
                          QByteArray::fromHex("00f8 e007"),
                      QSize(2, 1))
        << dots(2, "RG");
    // One bit per dot, nine dots: the ninth comes from the second byte.
    QTest::newRow("1 bit") << wmfWithDib(dibHeader(9, 1, 1, 0, 2) +
                                             EmfWriter::ints({0xffffff, 0x0000ff}) +
                                             QByteArray::fromHex("80800000"),
                                         QSize(9, 1))
                           << dots(9, "BWWWWWWWB");
    // Rows missing at the end: the picture keeps the rows that arrived (bottom-up: the bottom).
    QTest::newRow("rows missing") << wmfWithDib(dibHeader(1, 2, 24, 0, 0) +
                                                    QByteArray::fromHex("0000ff00"),
                                                QSize(1, 2))
                                  << dots(1, "WR");
    // Refused: odd depths, RLE with the wrong depth, top-down RLE, planes other than one.
    const std::pair<const char*, QByteArray> refused[] = {
        {"3 bits", dibHeader(2, 2, 3, 0, 0)},
        {"rle8 at 4 bits", dibHeader(2, 2, 4, 1, 0)},
        {"top-down rle", dibHeader(2, -2, 8, 1, 0)},
        {"2 planes", dibHeader(2, 2, 24, 0, 0, 2)}};
    for (const auto& [tag, header] : refused)
        QTest::addRow("refused %s", tag)
            << wmfWithDib(header + QByteArray(16, '\0'), QSize(2, 2)) << dots(2, "W");
}

void TestMetafile::drawing() {
    QFETCH(QByteArray, data);
    QFETCH(QString, probes);
    const QImage img = play(data);
    QVERIFY(!img.isNull());
    const QHash<QChar, QRgb> colours{{'R', R},
                                     {'G', G},
                                     {'B', B},
                                     {'W', W},
                                     {'Y', Y},
                                     {'K', K},
                                     {'C', qRgb(0, 255, 255)},
                                     {'M', qRgb(255, 0, 255)}};
    for (const QString& probe : probes.split(u' ', Qt::SkipEmptyParts)) {
        const QPoint at(probe.mid(1).section(u',', 0, 0).toInt(), probe.section(u',', 1).toInt());
        QVERIFY2(near(img.pixel(at), colours.value(probe[0])),
                 qPrintable(probe + QStringLiteral(" is %1").arg(img.pixel(at), 8, 16)));
    }
}

void TestMetafile::hatchBackground() {
    // A black cross hatch over red: the gaps take the white background colour when opaque
    // (the default) and let the red through when transparent.
    for (const bool opaque : {true, false}) {
        WmfWriter h = redWmf();
        h.rectangle(0, 0, 200, 100);
        h.brush(2, kBlack, 4);
        h.select(2);
        h.bkMode(opaque ? 2 : 1);
        h.rectangle(20, 20, 180, 80);
        const QImage hatch = play(h.data());
        int black = 0, white = 0, red = 0;
        for (int y = 25; y < 75; ++y)
            for (int x = 25; x < 175; ++x) {
                const QRgb c = hatch.pixel(x, y);
                black += near(c, K, 90);
                white += near(c, W, 90);
                red += near(c, R, 90);
            }
        QVERIFY(black > 500);
        QVERIFY(opaque ? white > 2000 && red == 0 : red > 2000 && white == 0);
    }
}

void TestMetafile::textPlacement() {
    auto text = [](int align, int x, int y, bool updateCp, const QList<QByteArray>& parts) {
        WmfWriter w = pixelWmf(QRect(0, 0, 400, 100));
        w.font(-40, 0, "Arial");
        w.select(0);
        w.bkMode(1);
        w.textAlign(align);
        if (updateCp)
            w.rec(0x0214, {y, x});  // MOVETO
        for (const QByteArray& s : parts)
            w.textOut(x, y, s);
        return inkBox(play(w.data()));
    };
    // Top-left: the ink starts right of and below the reference point.
    QRect box = text(0, 100, 20, false, {"Hg"});
    QVERIFY(box.left() >= 100 && box.left() < 110);
    QVERIFY(box.top() >= 20 && box.top() < 35);
    // Right and baseline: the ink ends at x and sits on the baseline, descender below.
    box = text(2 | 24, 300, 60, false, {"HH"});
    QVERIFY2(box.right() <= 301 && box.right() > 285, qPrintable(QString::number(box.right())));
    QVERIFY(box.bottom() <= 61 && box.bottom() > 55);
    // Centre: the ink is balanced around x.
    QVERIFY(std::abs(text(6, 200, 20, false, {"HHHH"}).center().x() - 200) <= 3);
    // Bottom: the ink ends above y.
    box = text(8, 100, 90, false, {"HH"});
    QVERIFY(box.bottom() < 90 && box.bottom() > 70);
    // Updating the current position: two strings continue where the first ended.
    const QRect once = text(1, 50, 20, true, {"HHHH"});
    const QRect twice = text(1, 50, 20, true, {"HH", "HH"});
    QVERIFY(std::abs(once.width() - twice.width()) <= 2);
}

// Escapement turns counter-clockwise on the page; a mapping that flips one axis turns
// it the other way, so a y-up chart's 2700 reads bottom to top.
void TestMetafile::rotatedText_data() {
    QTest::addColumn<QPoint>("flip");  // signs of the window extents
    QTest::addColumn<int>("escapement");
    QTest::addColumn<bool>("up");  // reads bottom to top
    QTest::newRow("y down, 900") << QPoint(1, 1) << 900 << true;
    QTest::newRow("y up, 2700") << QPoint(1, -1) << 2700 << true;
    QTest::newRow("y up, 900") << QPoint(1, -1) << 900 << false;
    QTest::newRow("x left, 2700") << QPoint(-1, 1) << 2700 << true;
}

void TestMetafile::rotatedText() {
    QFETCH(QPoint, flip);
    QFETCH(int, escapement);
    QFETCH(bool, up);
    WmfWriter w(QRect(0, 0, 400, 200), 96);
    w.windowOrg(flip.x() < 0 ? 400 : 0, flip.y() < 0 ? 200 : 0);
    w.windowExt(400 * flip.x(), 200 * flip.y());
    w.font(-20, 0, "Arial", escapement);
    w.select(0);
    w.bkMode(1);
    w.textAlign(24);  // left, on the baseline
    w.textOut(200, 100, "Axis title");
    // From the centre upwards with the letters' tops to the left, or downwards with
    // them to the right.
    const QRect ink = inkBox(play(w.data()));
    const QString where =
        QStringLiteral("%1,%2 %3x%4").arg(ink.x()).arg(ink.y()).arg(ink.width()).arg(ink.height());
    QVERIFY2(ink.height() > 3 * ink.width(), qPrintable(where));
    QVERIFY2(up ? ink.bottom() <= 102 && ink.right() <= 202 : ink.top() >= 98 && ink.left() >= 198,
             qPrintable(where));
}

void TestMetafile::japaneseText() {
    const QByteArray nihongo = cp932(QStringLiteral("日本語"));
    const QByteArray gothic = cp932(QStringLiteral("ＭＳ Ｐゴシック"));
    auto wmf = [&](const QVector<int>& dx) {
        WmfWriter w = pixelWmf(QRect(0, 0, 400, 100));
        w.font(-40, 128, gothic);
        w.select(0);
        w.bkMode(1);
        if (dx.isEmpty())
            w.textOut(10, 20, nihongo);
        else
            w.extTextOut(10, 20, nihongo, dx);
        return play(w.data());
    };
    // Shift-JIS text in a Shift-JIS named face.
    QImage img = wmf({});
    QVERIFY(inkCount(img, QRect(10, 20, 125, 45)) > 300);
    QVERIFY(inkBox(img).right() < 140);
    // One advance per byte: each double-byte character moves by the sum of its two entries.
    img = wmf({60, 0, 60, 0, 60, 0});
    QVERIFY2(inkCount(img, QRect(135, 20, 30, 45)) > 50, "third character missing at x+120");
    QCOMPARE(inkCount(img, QRect(54, 15, 12, 55)), 0);  // the gap between the first two

    // EMF Unicode text.
    EmfWriter e;
    e.font(1, -40, QStringLiteral("ＭＳ 明朝"), 128);
    e.select(1);
    e.rec(18, EmfWriter::ints({1}));
    e.textW(10, 20, QStringLiteral("日本語"));
    QVERIFY(inkCount(play(e.data()), QRect(10, 20, 125, 45)) > 300);

    // Opaque background: the text cell is filled with the background colour.
    EmfWriter o = redEmf();
    o.rectangle(0, 0, 192, 96);
    o.font(2, -40, QStringLiteral("IPAPGothic"));
    o.select(2);
    o.textW(10, 20, QStringLiteral("一"));  // a thin glyph: most of its cell is background
    img = play(o.data());
    QVERIFY(near(img.pixel(15, 25), W));
    QVERIFY(near(img.pixel(100, 25), R));
}

void TestMetafile::textDecoding_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("charset");
    QTest::addColumn<QString>("face");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("family");  // the first font asked for
    QTest::newRow("shift-jis") << cp932(QStringLiteral("日本語ｶﾅ")) << 128
                               << QStringLiteral("ＭＳ Ｐゴシック") << QStringLiteral("日本語ｶﾅ")
                               << "IPAPGothic";
    // NEC extension characters exist in the Windows code page only.
    QTest::newRow("nec extension") << QByteArray("\x87\x40") << 128 << QStringLiteral("@ＭＳ 明朝")
                                   << QStringLiteral("①") << "IPAPMincho";
    // The default charset tries Shift-JIS and falls back to the Western code page.
    QTest::newRow("default, japanese")
        << QByteArray("\x93\xfa") << 1 << "MS PGothic" << QStringLiteral("日") << "IPAPGothic";
    QTest::newRow("default, western") << QByteArray("caf\xe9!") << 1 << "Century Gothic"
                                      << QStringLiteral("café!") << "Century Gothic";
    QTest::newRow("symbol") << QByteArray("abg") << 2 << "Symbol" << QStringLiteral("αβγ")
                            << "DejaVu Serif";
}

void TestMetafile::textDecoding() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, charset);
    QFETCH(QString, face);
    QFETCH(QString, text);
    QFETCH(QString, family);
    QCOMPARE(kordel::mf::decodeAnsiText(bytes, charset, face).text, text);
    // Face names are read up to their terminating zero.
    kordel::mf::FontDef f;
    f.face = kordel::mf::decodeFaceName(cp932(face) + QByteArray("\0junk", 5), charset);
    f.charset = charset;
    QCOMPARE(kordel::mf::fontFamiliesFor(f).value(0), family);
}

// A mapping a thousand times finer across than down makes 2-pixel glyphs 2000 pixels
// wide. Qt's glyph cache takes such small text and its font engine fails on the
// bitmap (the painter crashed reading it); the text is drawn as outlines instead and
// still shows where it stands.
void TestMetafile::squeezedText() {
    EmfWriter e;
    e.mapMode(8);  // MM_ANISOTROPIC
    e.windowExt(1000, 1000);
    e.viewportExt(1000, 1);
    e.font(1, -2000, QStringLiteral("Arial"));
    e.select(1);
    e.textW(0, 40000, QStringLiteral("W"));
    // Glyphs 2 pixels high come out grey rather than black.
    const QRect ink = inkBox(play(e.data()), 200);
    QVERIFY2(!ink.isEmpty(), "the text leaves no ink");
    QVERIFY2(ink.top() >= 38 && ink.bottom() <= 43,
             qPrintable(QStringLiteral("rows %1 to %2").arg(ink.top()).arg(ink.bottom())));
    QVERIFY2(ink.width() > 40, qPrintable(QString::number(ink.width())));
}

void TestMetafile::cutFilesPlayWhatCameBefore() {
    // Once the header is complete, a file cut anywhere plays what precedes the cut.
    WmfWriter w = redWmf();
    w.rectangle(0, 0, 50, 50);
    w.ellipse(100, 10, 190, 90);
    w.textOut(20, 60, "text");
    EmfWriter e = redEmf();
    e.rectangle(0, 0, 50, 50);
    e.ellipse(100, 10, 190, 90);
    e.textW(20, 60, QStringLiteral("text"));
    for (const auto& [data, header] : {std::pair{w.data(), 22 + 18}, std::pair{e.data(), 108}}) {
        // The red square is the first record after the header and the object set-up.
        const int square =
            data.indexOf(QByteArray::fromHex(data.startsWith('\x01') ? "2b000000" : "1b04")) +
            (data.startsWith('\x01') ? 24 : 10);
        for (int cut = header; cut < data.size(); cut += 3) {
            const std::optional<Metafile> m = playMetafile(data.left(cut));
            QVERIFY2(m, qPrintable(QString("cut at %1").arg(cut)));
            if (cut >= square)
                QVERIFY2(near(render(*m).pixel(25, 25), R), qPrintable(QString::number(cut)));
        }
    }
}

void TestMetafile::fixtures_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("inkBox");
    QTest::addColumn<double>("minimum");  // F-score of the ink comparison; 0: size only
    // Floors sit 0.03 below what the player reaches, so a real regression shows. The libwmf
    // references are framed by the ink the renderer found, not by the header's box. Where
    // text makes most of the ink, the reference's fonts decide the score, not the player:
    // those files (cell, formula1, fulltest, test_mm_*, test-183) are held to their frame
    // size alone; so is the corrupted spiral, whose reference shows LibreOffice's lighter
    // outline. test_libuemf_ref's references emulate raster operations we do not and are
    // not at natural size; text.wmf's reference is cut to libwmf's ink.
    QTest::newRow("2doorvan") << "2doorvan.wmf" << false << 0.94;
    QTest::newRow("ant") << "ant.wmf" << true << 0.88;
    QTest::newRow("fjftest") << "fjftest.wmf" << true << 0.96;
    QTest::newRow("test-013") << "test-013.emf" << false << 0.95;
    QTest::newRow("test-152") << "test-152.emf" << false << 0.74;
    QTest::newRow("test-166") << "test-166.emf" << true << 0.76;
    QTest::newRow("bad_corrupted_215425") << "bad_corrupted_2014-12-02-215425.emf" << false << 0.84;
    for (const char* file :
         {"cell.wmf", "formula1.wmf", "fulltest.wmf", "test_mm_text_ref.emf",
          "test_libuemf_ref.emf", "test-183.emf", "bad_corrupted_2014-12-02-215400.emf"})
        QTest::newRow(file) << file << false << 0.0;
    // EMF+ only: no picture from a GDI player (the reference shows LibreOffice's EMF+ rendering).
    QTest::newRow("test_libuemf_p_ref") << "test_libuemf_p_ref.emf" << false << -1.0;
}

void TestMetafile::fixtures() {
    QFETCH(QString, file);
    QFETCH(bool, inkBox);
    QFETCH(double, minimum);
    const QString path = fixturesRoot() + "/metafile/" + file;
    QFile f(path);
    if (fixturesRoot().isEmpty() || !f.open(QIODevice::ReadOnly))
        QSKIP(qPrintable("missing fixture " + file));
    const std::optional<Metafile> m = playMetafile(f.readAll());
    QCOMPARE(m.has_value(), minimum >= 0);
    if (!m)
        return;
    const QImage ref = QImage(path + ".ref.png").convertToFormat(QImage::Format_RGB32);
    QVERIFY(!ref.isNull());
    // Both at the frame's natural size for 96 dpi, give or take the rounding.
    QVERIFY2(std::abs(m->size.width() - ref.width()) <= 1 &&
                 std::abs(m->size.height() - ref.height()) <= 1,
             qPrintable(QStringLiteral("%1x%2").arg(m->size.width()).arg(m->size.height())));
    if (minimum == 0)
        return;
    const QImage ours = renderLike(*m, ref, inkBox);
    const double precision = matched(ours, ref), recall = matched(ref, ours);
    const double score = 2 * precision * recall / std::max(precision + recall, 1e-9);
    qInfo("%s: precision %.3f recall %.3f F %.3f", qPrintable(file), precision, recall, score);
    QVERIFY2(score >= minimum, qPrintable(QString("F %1 below %2").arg(score).arg(minimum)));
}

QTEST_MAIN(TestMetafile)
#include "test_metafile.moc"
