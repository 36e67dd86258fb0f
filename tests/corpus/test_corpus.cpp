// Every saved input under fuzz/corpus/<target>/ is one row, run through the code of
// its fuzz target: a plug-in's entry points (folders named after the plug-in), the
// shared decode routine (bmp, ico, wmf, emf) or the settings file (profile). A row passes when the
// input neither crashes nor stalls and the results agree; inputs whose outcome matters beyond that
// are checked once more in `outcomes`.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include "decode.h"
#include "fuzz_input.h"
#include "picture_files.h"

namespace {

const QString kCorpus = QStringLiteral(KORDEL_SOURCE_DIR "/fuzz/corpus/");
const QStringList kNative = {"bmp", "ico", "wmf", "emf"};

// The decoded picture drawn at its stored size on white, as the viewer shows it.
QImage shown(const kordel::Decoded& d) {
    const QSize size = d.metafile ? d.metafile->size : d.image.size();
    QImage canvas(size, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter p(&canvas);
    if (d.metafile)
        p.drawPicture(0, 0, d.metafile->picture);
    else
        p.drawImage(0, 0, d.image);
    return canvas;
}

}  // namespace

class TestCorpus : public QObject {
    Q_OBJECT

    QTemporaryDir temp_;
    QHash<QString, kordel::fuzz::Plugin> plugins_;

private slots:
    void replay_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("file");
        const QDir corpus(kCorpus);
        for (const QString& target :
             corpus.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
            // The archive library's inputs are replayed by its own suite.
            if (target == QLatin1String("unlha32"))
                continue;
            for (const QString& file :
                 QDir(corpus.filePath(target)).entryList(QDir::Files, QDir::Name))
                QTest::addRow("%s/%s", qPrintable(target), qPrintable(file)) << target << file;
        }
    }

    void replay() {
        QFETCH(QString, target);
        QFETCH(QString, file);
        const QByteArray data = kordel::test::readFile(kCorpus + target + u'/' + file);
        const auto* bytes = reinterpret_cast<const uint8_t*>(data.constData());
        QElapsedTimer clock;
        clock.start();
        std::string fault;
        if (target == QLatin1String("profile")) {
            fault = kordel::fuzz::runProfile(temp_.filePath("KDL.INI"), bytes, size_t(data.size()));
        } else if (kNative.contains(target)) {
            fault = kordel::fuzz::runNative(temp_.filePath("input." + target), bytes,
                                            size_t(data.size()));
        } else {
            const QString module = QStringLiteral(KORDEL_BIN_DIR "/") + target + ".spi";
            if (!QFile::exists(module))
                QSKIP("plug-in not built");
            if (!plugins_.contains(target)) {
                const std::string error =
                    kordel::fuzz::openPlugin(module.toStdString(), plugins_[target]);
                QVERIFY2(error.empty(), error.c_str());
            }
            fault = kordel::fuzz::runPlugin(plugins_[target], temp_.filePath("input").toStdString(),
                                            bytes, size_t(data.size()));
        }
        QVERIFY2(fault.empty(), fault.c_str());
        // Far beyond what any of these small files takes: a decoder that loops on them.
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed()) + " ms"));
    }

    void outcomes_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("error");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("at");    // a dot of the picture as shown ...
        QTest::addColumn<QRgb>("colour");  // ... and its colour

        // Refused BMP headers: sizes past the decoders' limits or none, codings not shown.
        for (const char* name :
             {"width-past-limit", "height-past-limit", "top-down-height-past-limit",
              "dots-past-limit-sides-within", "width-zero", "width-negative", "height-zero",
              "height-int-min", "two-bits-per-dot", "rle8-at-4-bits", "rle-top-down", "os2-huffman",
              "bit-fields-at-8-bits", "header-without-rows", "header-size-130", "header-size-8"})
            QTest::addRow("%s", name)
                << QStringLiteral("bmp/%1.bmp").arg(name) << 2 << QSize() << QPoint() << QRgb();
        // Dots the file does not reach are colour 0 (blue-ish in these palettes, black at 24
        // bits), never memory left from elsewhere.
        const QRgb index0 = qRgb(17, 3, 255), index14 = qRgb(247, 137, 105), black = qRgb(0, 0, 0);
        QTest::newRow("rows cut, 8 bits")
            << "bmp/rows-cut-at-half-8bit.bmp" << 0 << QSize(64, 64) << QPoint(40, 31) << index0;
        QTest::newRow("rows cut, 24 bits")
            << "bmp/rows-cut-at-half-24bit.bmp" << 0 << QSize(64, 64) << QPoint(40, 31) << black;
        QTest::newRow("rle8 ends at once")
            << "bmp/rle8-ends-at-once.bmp" << 0 << QSize(16, 16) << QPoint(8, 8) << index0;
        // RLE4 takes the high nibble first; a run past the row end does not wrap.
        QTest::newRow("rle4 run past the row, nibbles")
            << "bmp/rle4-runs-past-row.bmp" << 0 << QSize(8, 3) << QPoint(1, 2)
            << qRgb(0x7b, 0xcd, 0xc5);
        QTest::newRow("rle4 run past the row, next row")
            << "bmp/rle4-runs-past-row.bmp" << 0 << QSize(8, 3) << QPoint(0, 1) << index0;
        QTest::newRow("rle8 past the picture") << "bmp/rle8-runs-and-moves-past-the-picture.bmp"
                                               << 0 << QSize(4, 2) << QPoint(0, 0) << index0;
        // A row offset pointing nowhere: the rows follow the colour table.
        QTest::newRow("row offset 0")
            << "bmp/row-offset-zero.bmp" << 0 << QSize(5, 3) << QPoint(4, 2) << index14;
        QTest::newRow("row offset past the end")
            << "bmp/row-offset-past-end.bmp" << 0 << QSize(5, 3) << QPoint(4, 2) << index14;
        QTest::newRow("indices past the used colours")
            << "bmp/indices-past-used-colours.bmp" << 0 << QSize(5, 3) << QPoint(4, 0) << black;
        QTest::newRow("ico directory cut")
            << "ico/directory-cut-short.ico" << 2 << QSize() << QPoint() << QRgb();

        // Metafiles that ask for something absurd still draw the red square around it.
        const QRgb red = qRgb(255, 0, 0);
        for (const char* name :
             {"wmf/polygon-points-not-there.wmf", "wmf/polypolygon-counts-past-end.wmf",
              "wmf/stretchdib-30000-square.wmf", "wmf/region-scans-past-end.wmf",
              "wmf/exttextout-length-past-end.wmf",
              "wmf/six-thousand-saves-restored-past-bottom.wmf",
              "wmf/window-32767-by-1-full-range-rectangle.wmf", "wmf/window-scaled-by-zero.wmf"})
            QTest::newRow(name) << name << 0 << QSize(200, 100) << QPoint(25, 25) << red;
        for (const char* name :
             {"emf/polybezier16-count-huge.emf", "emf/polypolygon16-counts-huge.emf",
              "emf/stretchdibits-offset-huge.emf", "emf/clip-region-size-huge.emf",
              "emf/font-height-int-min.emf", "emf/world-transform-nan-and-huge.emf",
              "emf/restoredc-minus-100.emf", "emf/three-thousand-clip-pieces.emf",
              "emf/object-index-int-max.emf", "emf/record-size-past-end.emf"})
            QTest::newRow(name) << name << 0 << QSize(192, 96) << QPoint(25, 25) << red;
        // A record past the end stops the play: nothing after it.
        QTest::newRow("emf record past the end, beyond")
            << "emf/record-size-past-end.emf" << 0 << QSize(192, 96) << QPoint(75, 25)
            << qRgb(255, 255, 255);
        // Text squeezed flat by the mapping is drawn as outlines; as glyphs it crashed the painter.
        QTest::newRow("emf text squeezed")
            << "emf/text-squeezed-thousandfold.emf" << 0 << QSize(192, 96) << QPoint(100, 90)
            << qRgb(255, 255, 255);
        // Streams coded by hand, probed where each coding shows. MAG (palette stored G, R, B):
        // a literal line, then copies from the line above and from the unit to the left. Pi:
        // a copy from a line up that reaches into the area before the picture, then a literal
        // pair. Q4 (stored palette not in dot-value order): literals 3 and 5, the entry "3 5",
        // the entry being made ("3 5 3"), a run of 9, then the next block's 2. PIC (X68000, shown
        // a third wider): colours a, b fill the cache from slot 1, a hit on slot 1 reads a; c is
        // read from slot 3 and black from slot 0.
        const QString mag = "ifmag/copies-from-above-and-from-the-left-unit.mag",
                      pi = "ifpi/copy-reaching-before-the-picture.pi",
                      q4 = "ifxld4/dictionary-entry-being-made-and-a-run.q4",
                      pic = "ifpic/colour-cache-hits-and-misses.pic";
        for (const auto& [file, size, at, colour] :
             {std::tuple{mag, QSize(8, 2), QPoint(7, 0), 0x2770e9},
              {mag, {8, 2}, {2, 1}, 0x2220ee},
              {mag, {8, 2}, {6, 1}, 0x2220ee},
              {pi, {4, 2}, {2, 0}, 0xf00f8f},
              {pi, {4, 2}, {1, 1}, 0xc00c8c},
              {pi, {4, 2}, {3, 1}, 0xb00b8b},
              {q4, {640, 400}, {3, 0}, 0x330000},
              {q4, {640, 400}, {6, 0}, 0x660000},
              {q4, {640, 400}, {8, 0}, 0xaa0000},
              {q4, {640, 400}, {10, 0}, 0x440000},
              {pic, {8, 1}, {3, 0}, 0x8c21a5},
              {pic, {8, 1}, {6, 0}, 0xffffff},
              {pic, {8, 1}, {7, 0}, 0x000000}})
            QTest::addRow("%s at %d,%d", qPrintable(file), at.x(), at.y())
                << file << 0 << size << at << (0xff000000u | colour);
        // Not metafiles this player can show.
        for (const char* name : {"wmf/placeable-key-before-no-header.wmf", "wmf/empty.wmf",
                                 "emf/signature-missing.emf", "emf/emf-plus-only.emf"})
            QTest::newRow(name) << name << 2 << QSize() << QPoint() << QRgb();
    }

    void outcomes() {
        QFETCH(QString, file);
        QFETCH(int, error);
        QFETCH(QSize, size);
        QFETCH(QPoint, at);
        QFETCH(QRgb, colour);
        kordel::DecodeRequest request;
        request.path = kCorpus + file;
        const kordel::Decoded d = kordel::decodePicture(request);
        QCOMPARE(d.error, error);
        QCOMPARE(d.hasPicture(), error == 0);
        if (error)
            return;
        QCOMPARE(d.storedSize, std::optional<QSize>(size));
        QCOMPARE(shown(d).pixel(at), colour);
    }
};

QTEST_MAIN(TestCorpus)
#include "test_corpus.moc"
