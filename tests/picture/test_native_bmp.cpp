// BMP files written by hand in every depth, coding and header version, checked
// dot by dot; and the native kinds' reporting through the picture component.
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <climits>

#include "all.h"
#include "decode.h"
#include "picture_files.h"
#include "recording_host.h"

using kordel::decodeBmp;
using kordel::TAll;
using kordel::test::BmpLayout;
using kordel::test::RecordingHost;
using kordel::test::writeBmp;
using Header = BmpLayout::Header;

namespace {

// A palette of n distinct colours.
std::vector<QRgb> palette(int n) {
    std::vector<QRgb> p;
    for (int i = 0; i < n; ++i)
        p.push_back(qRgb((i * 53 + 17) & 255, (i * 101 + 3) & 255, (255 - i * 29) & 255));
    return p;
}

// Fills the dots of an indexed picture from a pattern and gives the expected colours.
std::vector<QRgb> indexedDots(BmpLayout& s, int colours) {
    s.palette = palette(colours);
    std::vector<QRgb> want;
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            const int i = (x * 5 + y * 3) % colours;
            s.dots.push_back(uint32_t(i));
            want.push_back(s.palette[size_t(i)]);
        }
    return want;
}

int widen5(int v) {
    return (v << 3) | (v >> 2);
}
int widen6(int v) {
    return (v << 2) | (v >> 4);
}

bool nearColour(QRgb a, QRgb b, int tolerance) {
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance &&
           qAbs(qBlue(a) - qBlue(b)) <= tolerance && qAlpha(a) == qAlpha(b);
}

}  // namespace

class TestNativeBmp : public QObject {
    Q_OBJECT

private:
    QTemporaryDir temp_;
    int serial_ = 0;

    QString save(const QByteArray& data, const QString& ext = QStringLiteral(".bmp")) {
        const QString path = temp_.filePath(QStringLiteral("p%1").arg(++serial_) + ext);
        kordel::test::writeFile(path, data);
        return path;
    }
    // Decodes and compares every dot (tolerance for channels widened from fewer bits).
    void check(const BmpLayout& layout, const std::vector<QRgb>& want, int tolerance = 0) {
        const QString path = save(writeBmp(layout));
        for (const bool keepTable : {false, true}) {
            const kordel::Decoded d = decodeBmp(path, keepTable);
            QCOMPARE(d.error, 0);
            QVERIFY(!d.readFailed);
            QCOMPARE(d.image.size(), QSize(layout.width, layout.height));
            QCOMPARE(d.storedSize, std::optional<QSize>(QSize(layout.width, layout.height)));
            for (int y = 0; y < layout.height; ++y)
                for (int x = 0; x < layout.width; ++x) {
                    const QRgb got = d.image.pixel(x, y);
                    const QRgb expected = want[size_t(y * layout.width + x)];
                    QVERIFY2(nearColour(got, expected, tolerance),
                             qPrintable(QStringLiteral("(%1,%2) got %3 want %4")
                                            .arg(x)
                                            .arg(y)
                                            .arg(got, 8, 16)
                                            .arg(expected, 8, 16)));
                }
        }
    }

private slots:
    void initTestCase() { QVERIFY(temp_.isValid()); }

    void indexedDepths_data();
    void indexedDepths();
    void sixteenBits();
    void trueColour_data();
    void trueColour();
    void runLengthEight();
    void runLengthFour();
    void damagedFilesShowNoStrayMemory();
    void refusedSizesAndCodings();
    void colourTableAndRowOffset();
    void alphaChannel();
    void colourTableKeptForAPaletteDisplay();
    void reportedThroughTheComponent();
    void rejectedAndUnreadableFiles();
};

void TestNativeBmp::indexedDepths_data() {
    QTest::addColumn<int>("header");
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("topDown");
    QTest::addColumn<int>("used");
    const struct {
        const char* name;
        Header header;
    } headers[] = {
        {"windows", Header::Windows}, {"os2 1.x", Header::Os2v1}, {"os2 2.x", Header::Os2v2}};
    for (const auto& h : headers)
        for (int bits : {1, 4, 8})
            QTest::addRow("%s %d", h.name, bits) << int(h.header) << bits << false << 0;
    QTest::newRow("top-down 8") << int(Header::Windows) << 8 << true << 0;
    QTest::newRow("top-down 4") << int(Header::Windows) << 4 << true << 0;
    QTest::newRow("top-down 1") << int(Header::Windows) << 1 << true << 0;
    QTest::newRow("8 bits, 20 used") << int(Header::Windows) << 8 << false << 20;
    QTest::newRow("4 bits, 6 used") << int(Header::Windows) << 4 << false << 6;
    QTest::newRow("os2 2.x 8 bits, 20 used") << int(Header::Os2v2) << 8 << false << 20;
}

void TestNativeBmp::indexedDepths() {
    QFETCH(int, header);
    QFETCH(int, bits);
    QFETCH(bool, topDown);
    QFETCH(int, used);
    BmpLayout s;
    s.header = Header(header);
    s.width = 13;  // rows need padding in every depth
    s.height = 5;
    s.bits = bits;
    s.topDown = topDown;
    s.clrUsed = uint32_t(used);
    const std::vector<QRgb> want = indexedDots(s, used ? used : 1 << bits);
    check(s, want);
}

void TestNativeBmp::sixteenBits() {
    // 5-5-5 without masks, then 5-6-5 and 5-5-5 through bit fields, in the 40- and 108-byte
    // headers.
    struct Case {
        const char* name;
        int compression;
        Header header;
        uint32_t r, g, b;
        bool green6;
    };
    const Case cases[] = {
        {"555 plain", 0, Header::Windows, 0x7c00, 0x03e0, 0x001f, false},
        {"565 fields", 3, Header::Windows, 0xf800, 0x07e0, 0x001f, true},
        {"555 fields", 3, Header::Windows, 0x7c00, 0x03e0, 0x001f, false},
        {"565 v4", 3, Header::V4, 0xf800, 0x07e0, 0x001f, true},
        {"555 top-down", 0, Header::Windows, 0x7c00, 0x03e0, 0x001f, false},
    };
    for (const Case& c : cases) {
        BmpLayout s;
        s.header = c.header;
        s.width = 7;  // 14 bytes: padded to 16
        s.height = 3;
        s.bits = 16;
        s.compression = c.compression;
        s.topDown = QByteArray(c.name).contains("top-down");
        s.masks[0] = c.r;
        s.masks[1] = c.g;
        s.masks[2] = c.b;
        std::vector<QRgb> want;
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x) {
                const int r = (x * 4 + 3) & 31, b = (y * 9 + 1) & 31;
                const int g = c.green6 ? (x * 9 + y * 5) & 63 : (x * 3 + y * 7) & 31;
                s.dots.push_back(c.green6 ? uint32_t(r << 11 | g << 5 | b)
                                          : uint32_t(r << 10 | g << 5 | b));
                want.push_back(qRgb(widen5(r), c.green6 ? widen6(g) : widen5(g), widen5(b)));
            }
        // Qt widens five bits by a shift alone (31 becomes 248), we by replication.
        check(s, want, 7);
        if (QTest::currentTestFailed())
            qWarning() << "case" << c.name;
    }
}

void TestNativeBmp::trueColour_data() {
    QTest::addColumn<int>("header");
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("topDown");
    QTest::addColumn<int>("compression");
    QTest::newRow("24") << int(Header::Windows) << 24 << false << 0;
    QTest::newRow("24 top-down") << int(Header::Windows) << 24 << true << 0;
    QTest::newRow("24 os2 1.x") << int(Header::Os2v1) << 24 << false << 0;
    QTest::newRow("24 os2 2.x") << int(Header::Os2v2) << 24 << false << 0;
    QTest::newRow("32") << int(Header::Windows) << 32 << false << 0;
    QTest::newRow("32 top-down") << int(Header::Windows) << 32 << true << 0;
    QTest::newRow("32 fields") << int(Header::Windows) << 32 << false << 3;
    QTest::newRow("32 v4 fields") << int(Header::V4) << 32 << false << 3;
}

void TestNativeBmp::trueColour() {
    QFETCH(int, header);
    QFETCH(int, bits);
    QFETCH(bool, topDown);
    QFETCH(int, compression);
    BmpLayout s;
    s.header = Header(header);
    s.width = 5;  // 15 bytes a row at 24 bits: padded to 16
    s.height = 4;
    s.bits = bits;
    s.topDown = topDown;
    s.compression = compression;
    // Fields in an unusual order: blue high, red low.
    s.masks[0] = 0x000000ff;
    s.masks[1] = 0x0000ff00;
    s.masks[2] = 0x00ff0000;
    std::vector<QRgb> want;
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            const int r = x * 50 + 3, g = y * 60 + 7, b = 250 - x * 20 - y;
            if (compression == 3)
                s.dots.push_back(uint32_t(b << 16 | g << 8 | r));
            else  // a plain 32-bit dot has 0 in its fourth byte and is opaque all the same
                s.dots.push_back(uint32_t(r << 16 | g << 8 | b));
            want.push_back(qRgb(r, g, b));
        }
    check(s, want);
}

void TestNativeBmp::runLengthEight() {
    BmpLayout s;
    s.width = 8;
    s.height = 4;
    s.bits = 8;
    s.compression = 1;
    s.palette = palette(8);
    s.clrUsed = 8;
    // The first coded line is the bottom one.
    s.rle = QByteArray::fromHex(
        "0401"          // four dots of colour 1
        "000302030400"  // three literal dots 2, 3, 4, padded to a word
        "0105"          // one dot of colour 5
        "0000"          // end of line
        "0206"          // two dots of colour 6, and the rest of the line left alone
        "0000"          // end of line
        "00020301"      // move 3 right and 1 line up: the top line, x = 3
        "0207"          // two dots of colour 7
        "0001");        // end of the picture
    const QString path = save(writeBmp(s));
    const kordel::Decoded d = decodeBmp(path, false);
    QCOMPARE(d.error, 0);
    QCOMPARE(d.image.size(), QSize(8, 4));
    const auto& p = s.palette;
    const int bottom[] = {1, 1, 1, 1, 2, 3, 4, 5};
    for (int x = 0; x < 8; ++x)
        QCOMPARE(d.image.pixel(x, 3), p[size_t(bottom[x])]);
    QCOMPARE(d.image.pixel(0, 2), p[6]);
    QCOMPARE(d.image.pixel(1, 2), p[6]);
    QCOMPARE(d.image.pixel(3, 0), p[7]);
    QCOMPARE(d.image.pixel(4, 0), p[7]);
    // Dots the codes skipped are colour 0.
    QCOMPARE(d.image.pixel(2, 2), p[0]);
    QCOMPARE(d.image.pixel(5, 1), p[0]);
    QCOMPARE(d.image.pixel(5, 0), p[0]);
    QCOMPARE(d.image.pixel(7, 0), p[0]);
}

void TestNativeBmp::runLengthFour() {
    BmpLayout s;
    s.width = 8;
    s.height = 3;
    s.bits = 4;
    s.compression = 2;
    s.palette = palette(16);
    s.rle = QByteArray::fromHex(
        "0512"      // five dots alternating 1 and 2
        "00033450"  // three literal dots 3, 4, 5
        "0000"      // end of line
        "00020201"  // move 2 right and 1 up: the top line, x = 2
        "0367"      // three dots 6, 7, 6
        "0001");
    const QString path = save(writeBmp(s));
    const kordel::Decoded d = decodeBmp(path, false);
    QCOMPARE(d.error, 0);
    QCOMPARE(d.image.size(), QSize(8, 3));
    const auto& p = s.palette;
    const int bottom[] = {1, 2, 1, 2, 1, 3, 4, 5};
    for (int x = 0; x < 8; ++x)
        QCOMPARE(d.image.pixel(x, 2), p[size_t(bottom[x])]);
    QCOMPARE(d.image.pixel(2, 0), p[6]);
    QCOMPARE(d.image.pixel(3, 0), p[7]);
    QCOMPARE(d.image.pixel(4, 0), p[6]);
    QCOMPARE(d.image.pixel(3, 1), p[0]);
    QCOMPARE(d.image.pixel(0, 0), p[0]);
}

void TestNativeBmp::damagedFilesShowNoStrayMemory() {
    // A picture decoded before leaves memory that a careless decoder would show again.
    BmpLayout big;
    big.width = big.height = 256;
    big.bits = 24;
    big.dots.assign(256 * 256, 0xabcdef);
    QCOMPARE(decodeBmp(save(writeBmp(big)), false).error, 0);

    // Half the rows: the bottom ones are there, the top ones colour 0.
    for (const int bits : {8, 24}) {
        BmpLayout s;
        s.width = s.height = 256;
        s.bits = bits;
        s.palette = palette(256);
        s.dots.assign(256 * 256, bits == 8 ? 7 : 0x123456);
        const QByteArray whole = writeBmp(s);
        const qsizetype rows = whole.size() - qsizetype(256) * (bits / 8) * 256;
        const kordel::Decoded d =
            decodeBmp(save(whole.left(rows + qsizetype(128) * (bits / 8) * 256 + 10)), false);
        QCOMPARE(d.error, 0);
        const QRgb there = bits == 8 ? s.palette[7] : qRgb(0x12, 0x34, 0x56);
        const QRgb zero = bits == 8 ? s.palette[0] : qRgb(0, 0, 0);
        QCOMPARE(d.image.pixel(100, 255), there);
        QCOMPARE(d.image.pixel(100, 128), there);
        QCOMPARE(d.image.pixel(2, 127), there);  // the part of a line that is there
        QCOMPARE(d.image.pixel(200, 127), zero);
        for (int y = 0; y < 127; y += 7)
            QCOMPARE(d.image.pixel(y, y), zero);
    }

    // An RLE file that ends at once leaves every dot colour 0.
    BmpLayout rle;
    rle.width = rle.height = 256;
    rle.bits = 8;
    rle.compression = 1;
    rle.palette = palette(256);
    rle.rle = QByteArray::fromHex("0001");
    const kordel::Decoded d = decodeBmp(save(writeBmp(rle)), false);
    QCOMPARE(d.error, 0);
    for (int y = 0; y < 256; y += 5)
        for (int x = 0; x < 256; x += 5)
            QCOMPARE(d.image.pixel(x, y), rle.palette[0]);

    // Runs and literals past the line's end, and moves past the picture, write nothing stray.
    rle.width = 4;
    rle.height = 2;
    rle.rle = QByteArray::fromHex(
        "ff01"
        "000a02030405060708090a0b"
        "0002ffff"
        "0303"
        "0001");
    const kordel::Decoded e = decodeBmp(save(writeBmp(rle)), false);
    QCOMPARE(e.error, 0);
    QCOMPARE(e.image.pixel(3, 1), rle.palette[1]);
    QCOMPARE(e.image.pixel(0, 0), rle.palette[0]);
}

void TestNativeBmp::refusedSizesAndCodings() {
    auto refused = [&](BmpLayout s, const char* why) {
        const kordel::Decoded d = decodeBmp(save(writeBmp(s)), false);
        QVERIFY2(d.error == 2 && d.image.isNull(), why);
    };
    BmpLayout s;
    s.width = 4;
    s.height = 4;
    s.bits = 8;
    s.palette = palette(256);
    s.dots.assign(16, 3);
    QCOMPARE(decodeBmp(save(writeBmp(s)), false).error, 0);

    // Sizes written into the header of the small file.
    auto sized = [&](qint32 width, qint32 height) {
        QByteArray data = writeBmp(s);
        qToLittleEndian<qint32>(width, data.data() + 18);
        qToLittleEndian<qint32>(height, data.data() + 22);
        return decodeBmp(save(data), false).error;
    };
    QCOMPARE(sized(40000, 4), 2);
    QCOMPARE(sized(4, 40000), 2);
    QCOMPARE(sized(4, -40000), 2);
    QCOMPARE(sized(30000, 30000), 2);  // each side within the limit, the dots not
    QCOMPARE(sized(0, 4), 2);
    QCOMPARE(sized(-4, 4), 2);
    QCOMPARE(sized(4, 0), 2);
    QCOMPARE(sized(4, INT_MIN), 2);
    QCOMPARE(sized(4, -4), 0);
    BmpLayout two = s;
    two.bits = 2;
    refused(two, "2 bits");
    BmpLayout rle = s;
    rle.compression = 1;
    rle.bits = 4;
    rle.rle = QByteArray::fromHex("04010001");
    refused(rle, "RLE8 at 4 bits");
    rle.bits = 8;
    rle.topDown = true;
    refused(rle, "top-down RLE");
    BmpLayout huffman = s;
    huffman.header = Header::Os2v2;
    huffman.bits = 1;
    huffman.compression = 3;
    refused(huffman, "OS/2 Huffman coding");
    BmpLayout fields = s;
    fields.compression = 3;
    refused(fields, "bit fields at 8 bits");

    // Headers alone, without a single row.
    QByteArray header = writeBmp(s);
    header.truncate(14 + 40 + 256 * 4);
    QCOMPARE(decodeBmp(save(header), false).error, 2);
    QByteArray odd = writeBmp(s);
    odd[14] = char(130);  // a header size no version has
    QCOMPARE(decodeBmp(save(odd), false).error, 2);
    odd[14] = 8;
    QCOMPARE(decodeBmp(save(odd), false).error, 2);
}

void TestNativeBmp::colourTableAndRowOffset() {
    // A short colour table with no used-colours count: the rows start where the file
    // header says, right after the 16 entries written.
    BmpLayout s;
    s.width = 5;
    s.height = 3;
    s.bits = 8;
    s.palette = palette(16);
    for (int i = 0; i < 15; ++i)
        s.dots.push_back(uint32_t(i));
    const kordel::Decoded d = decodeBmp(save(writeBmp(s)), false);
    QCOMPARE(d.error, 0);
    for (int i = 0; i < 15; ++i)
        QCOMPARE(d.image.pixel(i % 5, i / 5), s.palette[size_t(i)]);

    // A row offset that points nowhere: the rows follow the colour table.
    s.clrUsed = 16;
    QByteArray data = writeBmp(s);
    qToLittleEndian<quint32>(0, data.data() + 10);
    const kordel::Decoded e = decodeBmp(save(data), false);
    QCOMPARE(e.error, 0);
    QCOMPARE(e.image.pixel(4, 2), s.palette[14]);
    qToLittleEndian<quint32>(0x7fffffff, data.data() + 10);
    QCOMPARE(decodeBmp(save(data), false).image.pixel(4, 2), s.palette[14]);

    // Indices past a used-colours count are black.
    s.clrUsed = 4;
    s.palette.resize(4);
    const kordel::Decoded f = decodeBmp(save(writeBmp(s)), false);
    QCOMPARE(f.image.pixel(3, 0), s.palette[3]);
    QCOMPARE(f.image.pixel(4, 0), qRgb(0, 0, 0));
}

void TestNativeBmp::alphaChannel() {
    BmpLayout s;
    s.header = Header::V4;
    s.width = 3;
    s.height = 2;
    s.bits = 32;
    s.compression = 3;
    s.masks[0] = 0x00ff0000;
    s.masks[1] = 0x0000ff00;
    s.masks[2] = 0x000000ff;
    s.masks[3] = 0xff000000;
    s.dots = {0xff102030, 0x80405060, 0x00000000, 0xff708090, 0xffa0b0c0, 0x40d0e0f0};
    const kordel::Decoded d = decodeBmp(save(writeBmp(s)), false);
    QCOMPARE(d.error, 0);
    QVERIFY(d.image.hasAlphaChannel());
    QCOMPARE(d.image.pixel(0, 0), qRgba(0x10, 0x20, 0x30, 0xff));
    QCOMPARE(d.image.pixel(1, 0), qRgba(0x40, 0x50, 0x60, 0x80));
    QCOMPARE(qAlpha(d.image.pixel(2, 0)), 0);
    QCOMPARE(d.image.pixel(2, 1), qRgba(0xd0, 0xe0, 0xf0, 0x40));

    // An alpha mask that every dot leaves at 0 hides nothing.
    for (uint32_t& v : s.dots)
        v &= 0x00ffffff;
    const kordel::Decoded o = decodeBmp(save(writeBmp(s)), false);
    QVERIFY(!o.image.hasAlphaChannel());
    QCOMPARE(o.image.pixel(1, 0), qRgb(0x40, 0x50, 0x60));
}

void TestNativeBmp::colourTableKeptForAPaletteDisplay() {
    BmpLayout s;
    s.width = 6;
    s.height = 2;
    s.bits = 8;
    const std::vector<QRgb> want = indexedDots(s, 256);
    const QString path = save(writeBmp(s));
    RecordingHost host;
    TAll all(host);
    host.fakeScreen.palette = 256;
    host.fakeScreen.bits = 8;
    QVERIFY(all.setPictureName(path));
    QCOMPARE(all.image().format(), QImage::Format_Indexed8);
    QCOMPARE(all.image().colorCount(), 256);
    QCOMPARE(all.image().pixel(5, 1), want[11]);
    host.fakeScreen.palette = 0;
    host.fakeScreen.bits = 24;
    QVERIFY(all.setPictureName(path));
    QVERIFY(all.image().format() != QImage::Format_Indexed8);
    QCOMPARE(all.image().pixel(5, 1), want[11]);
}

void TestNativeBmp::reportedThroughTheComponent() {
    BmpLayout s;
    s.width = 33;
    s.height = 17;
    s.bits = 24;
    s.dots.assign(33 * 17, 0x123456);
    const QString path = save(writeBmp(s), ".BMP");
    RecordingHost host;
    TAll all(host);
    all.setPreView(true);
    QVERIFY(all.setPictureName(path));
    QCOMPARE(all.Error(), 0);
    QCOMPARE(all.kind(), kordel::DecoderKind::Native);
    QCOMPARE(QSize(all.OrgWidth(), all.OrgHeight()), QSize(33, 17));
    QCOMPARE(all.OrgColor(), 0);
    QCOMPARE(all.PictureName(), path);
    QCOMPARE(all.image().pixel(32, 16), qRgb(0x12, 0x34, 0x56));
    QCOMPARE(host.statuses, QStringList{" "});
    QCOMPARE(host.progress, QList<int>({100, 0}));

    // The thumbnail loader's loads do not move the bar to 100, but it goes back to 0.
    host.clear();
    host.loadingThumbnails = true;
    QVERIFY(all.setPictureName(path));
    QCOMPARE(host.progress, QList<int>({0}));
}

void TestNativeBmp::rejectedAndUnreadableFiles() {
    RecordingHost host;
    TAll all(host);
    BmpLayout s;
    s.width = 2;
    s.height = 2;
    s.dots.assign(4, 0xffffff);
    const QString good = save(writeBmp(s));
    for (const QByteArray& junk :
         {QByteArray("not a picture"), QByteArray(), QByteArray("BM"), writeBmp(s).left(30)}) {
        for (const char* ext : {".bmp", ".ico", ".wmf", ".emf"}) {
            QVERIFY(all.setPictureName(good));
            host.clear();
            const QString path = save(junk, QString::fromLatin1(ext));
            QVERIFY(all.setPictureName(path));
            QCOMPARE(all.Error(), 2);
            QCOMPARE(host.statuses, QStringList{"未知のフォーマット"});
            QCOMPARE(host.progress, QList<int>({100, 0}));
            QVERIFY(all.PictureName().isEmpty());
            QVERIFY(all.isEmpty());
            QCOMPARE(all.OrgWidth(), 2);  // untouched by a rejected file
        }
    }

    // Files that cannot be read at all are the caller's to report.
    QVERIFY(QDir(temp_.path()).mkdir("folder.bmp"));
    QVERIFY(QFile::link(temp_.filePath("nowhere.bmp"), temp_.filePath("dangling.ico")));
    QVERIFY(QDir(temp_.path()).mkdir("folder.emf"));
    QCOMPARE(::mkfifo(QFile::encodeName(temp_.filePath("pipe.bmp")).constData(), 0600), 0);
    for (const char* name :
         {"folder.bmp", "dangling.ico", "folder.emf", "missing.wmf", "pipe.bmp"}) {
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

QTEST_MAIN(TestNativeBmp)
#include "test_native_bmp.moc"
