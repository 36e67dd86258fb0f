// Writes every picture of samples/ into the folder given as the argument: one small
// evening scene per kind, each drawn so that it stays under 30 KiB and shows the
// kind's own character (palette bands, dithering, 4:3 dots).
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "format_writers.h"
#include "mag_encoder.h"
#include "metafile_writer.h"
#include "pi_encoder.h"
#include "pic2_encoder.h"
#include "pic_encoder.h"
#include "q4_encoder.h"

using namespace kordel::test;

namespace {

QDir out;

bool save(const char* name, const QByteArray& data) {
    QFile f(out.filePath(QLatin1String(name)));
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

QImage landscape(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, QColor(30, 40, 120));
    sky.setColorAt(0.7, QColor(240, 160, 90));
    p.fillRect(image.rect(), sky);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(255, 230, 120));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(size.width() * 0.65, size.height() * 0.45), size.height() * 0.15,
                  size.height() * 0.15);
    p.setBrush(QColor(40, 110, 60));
    QPainterPath hills;
    hills.moveTo(0, size.height() * 0.75);
    hills.cubicTo(size.width() * 0.3, size.height() * 0.55, size.width() * 0.6,
                  size.height() * 0.95, size.width(), size.height() * 0.7);
    hills.lineTo(size.width(), size.height());
    hills.lineTo(0, size.height());
    p.drawPath(hills);
    return image;
}

bool nativeKinds() {
    if (!landscape(QSize(200, 150)).save(out.filePath("sample.bmp"), "BMP"))
        return false;
    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    {
        QPainter p(&icon);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(QColor(200, 150, 40));
        p.setPen(QColor(90, 60, 10));
        p.drawRoundedRect(QRectF(2.5, 4.5, 27, 23), 3, 3);
        p.drawImage(QRect(6, 8, 20, 15), landscape(QSize(20, 15)));
    }
    QImageWriter ico(out.filePath("sample.ico"), "ico");
    if (!ico.write(icon))
        return false;

    WmfWriter wmf(QRect(0, 0, 2000, 1500), 1000);
    wmf.brush(0, rgb(60, 80, 160));
    wmf.pen(0, 1, rgb(20, 20, 60));
    wmf.rectangle(0, 0, 2000, 1100);
    wmf.brush(0, rgb(255, 220, 110));
    wmf.ellipse(1200, 300, 1600, 700);
    wmf.brush(0, rgb(40, 120, 60));
    wmf.polygon({{0, 1100}, {700, 800}, {1300, 1050}, {2000, 850}, {2000, 1500}, {0, 1500}});

    EmfWriter emf(QRect(0, 0, 5080, 3810));
    emf.brush(1, 0, rgb(240, 160, 90));
    emf.select(1);
    emf.rectangle(0, 0, 200, 150);
    emf.brush(2, 0, rgb(255, 240, 150));
    emf.select(2);
    emf.ellipse(120, 30, 170, 80);
    emf.brush(3, 0, rgb(50, 100, 50));
    emf.select(3);
    emf.rectangle(0, 110, 200, 150);
    return save("sample.wmf", wmf.data()) && save("sample.emf", emf.data());
}

bool jpeg() {
    QImage img(200, 150, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 150);
    sky.setColorAt(0, QColor(40, 70, 160));
    sky.setColorAt(0.7, QColor(250, 170, 110));
    p.fillRect(img.rect(), sky);
    QRadialGradient sun(140, 60, 28);
    sun.setColorAt(0, QColor(255, 250, 210));
    sun.setColorAt(1, QColor(255, 200, 90));
    p.setPen(Qt::NoPen);
    p.setBrush(sun);
    p.drawEllipse(QPointF(140, 60), 24, 24);
    QPainterPath hills(QPointF(0, 150));
    hills.lineTo(0, 110);
    hills.cubicTo(50, 80, 90, 130, 140, 105);
    hills.cubicTo(170, 90, 190, 100, 200, 95);
    hills.lineTo(200, 150);
    QLinearGradient green(0, 90, 0, 150);
    green.setColorAt(0, QColor(70, 140, 70));
    green.setColorAt(1, QColor(20, 70, 40));
    p.setBrush(green);
    p.drawPath(hills);
    p.end();
    JpegOptions o;
    o.quality = 88;
    return save("sample.jpg", encodeJpeg(
                                  200, 150, [&](int x, int y) { return img.pixel(x, y); }, o));
}

// Bands of a sunset-coloured ramp, with rings and a few stars drawn on top by
// index, so the file stays small without dithering noise.
bool gif() {
    std::vector<QRgb> table;
    for (int i = 0; i < 64; ++i)
        table.push_back(qRgb(30 + i * 3, 20 + i * 2, 120 - i));
    for (int i = 0; i < 64; ++i)
        table.push_back(qRgb(20, 60 + i * 2, 90 + i * 2));
    table.push_back(qRgb(255, 245, 200));
    table.push_back(qRgb(250, 120, 80));
    GifFrame f;
    f.width = 200;
    f.height = 150;
    for (int y = 0; y < 150; ++y) {
        for (int x = 0; x < 200; ++x) {
            int v = y * 63 / 149;
            const int dx = x - 130, dy = y - 70;
            const int d2 = dx * dx + dy * dy;
            if (d2 < 30 * 30)
                v = 64 + (63 - (d2 * 63) / (30 * 30));
            if (d2 >= 34 * 34 && d2 < 37 * 37)
                v = 129;
            const int hill = 120 - int(18 * std::sin(x / 30.0));
            if (y > hill)
                v = 64 + (y - hill) * 2 % 40;
            if ((x * 7 + y * 13) % 211 == 0 && y < hill - 10 && d2 > 40 * 40)
                v = 128;
            f.pixels.push_back(uint8_t(v));
        }
    }
    return save("sample.gif", encodeGif({200, 150, table, 0, {f}}));
}

bool tiff() {
    QImage img(200, 150, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient back(0, 0, 200, 150);
    back.setColorAt(0, QColor(235, 240, 250));
    back.setColorAt(1, QColor(170, 190, 225));
    p.fillRect(img.rect(), back);
    p.setPen(Qt::NoPen);
    const QColor colours[] = {QColor(230, 90, 80), QColor(250, 190, 70), QColor(90, 170, 110),
                              QColor(70, 120, 200)};
    for (int i = 0; i < 4; ++i) {
        QColor c = colours[i];
        c.setAlpha(200);
        p.setBrush(c);
        p.drawEllipse(QPointF(50 + i * 33, 75 + (i % 2 ? 18 : -18)), 34, 34);
    }
    p.setBrush(QColor(255, 255, 255, 170));
    p.drawRoundedRect(QRectF(20, 118, 160, 18), 9, 9);
    p.end();
    TiffLayout t;
    t.width = 200;
    t.height = 150;
    t.compression = 8;  // Adobe deflate
    t.predictor = 2;    // horizontal
    t.rowsPerStrip = 16;
    t.sample = [&](int x, int y, int s) {
        const QRgb c = img.pixel(x, y);
        return s == 0 ? qRed(c) : s == 1 ? qGreen(c) : qBlue(c);
    };
    return writeTiff(out.filePath("sample.tif"), {t});
}

bool pic() {
    const int w = 160, h = 100;
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(24, 40, 112));
    sky.setColorAt(1, QColor(232, 136, 88));
    p.fillRect(img.rect(), sky);
    p.scale(0.75, 1.0);  // X68000 dots are 4:3
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 224, 96));
    p.drawEllipse(QPointF(150, 42), 18, 18);
    p.setBrush(QColor(40, 72, 56));
    p.drawPolygon(
        QPolygonF({{0, 100}, {0, 70}, {60, 48}, {120, 76}, {170, 56}, {213, 72}, {213, 100}}));
    p.setBrush(QColor(96, 176, 224));
    p.drawRect(QRectF(0, 88, 214, 12));
    p.end();
    PicLayout s;
    s.width = w;
    s.height = h;
    s.comment = "Kordel sample";
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const QRgb c = img.pixel(x, y);
            s.dots.push_back(
                uint32_t((qGreen(c) >> 3) << 10 | (qRed(c) >> 3) << 5 | (qBlue(c) >> 3)));
        }
    return save("sample.pic", encodePic(s));
}

bool pic2() {
    const int w = 160, h = 100;
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient sea(0, 0, 0, h);
    sea.setColorAt(0, QColor(250, 214, 140));
    sea.setColorAt(0.55, QColor(226, 110, 120));
    sea.setColorAt(1, QColor(40, 52, 120));
    p.fillRect(img.rect(), sea);
    p.setPen(Qt::NoPen);
    QRadialGradient sun(QPointF(112, 46), 22);
    sun.setColorAt(0, QColor(255, 250, 220));
    sun.setColorAt(1, QColor(255, 170, 90));
    p.setBrush(sun);
    p.drawEllipse(QPointF(112, 46), 22, 22);
    p.setBrush(QColor(30, 36, 70));
    p.drawRect(0, 70, w, 30);
    for (int i = 0; i < 6; ++i) {
        p.setBrush(QColor(255, 190, 120, 160 - i * 20));
        p.drawRect(QRectF(96 - i * 3, 74 + i * 4, 32 + i * 6, 2));
    }
    // A sailing boat against the sun.
    p.setBrush(QColor(20, 24, 40));
    p.drawPolygon(QPolygonF({{12, 63}, {58, 63}, {51, 70}, {19, 70}}));
    p.drawPolygon(QPolygonF({{36, 20}, {36, 61}, {58, 61}}));
    p.drawPolygon(QPolygonF({{33, 26}, {33, 61}, {16, 61}}));
    p.end();
    P2Layout s;
    s.width = w;
    s.height = h;
    s.comment = "Kordel sample";
    P2Block b;
    b.width = w;
    b.height = h;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.dots.push_back(img.pixel(x, y) & 0xffffff);
    s.blocks.push_back(b);
    return save("sample.p2", encodeP2(s));
}

bool mag() {
    MagPicture pic;
    pic.colours256 = true;
    pic.width = 160;
    pic.height = 100;
    pic.comment = "Kordel sample";
    for (int i = 0; i < 256; ++i) {
        if (i < 100)  // sky, light to deep blue
            pic.palette.push_back(qRgb(200 - i * 2, 220 - i, 255 - i / 2));
        else if (i < 140)  // sun
            pic.palette.push_back(qRgb(255, 200 + (i - 100), 80 + (i - 100) * 3));
        else  // hills, light to dark green
            pic.palette.push_back(qRgb(40 + (255 - i) / 3, 170 - (i - 140), 60));
    }
    pic.dots.resize(160 * 100);
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 160; ++x) {
            const int sunDx = x - 118, sunDy = y - 30;
            const int sun = sunDx * sunDx + sunDy * sunDy;
            const int hill1 = 72 - int(14.0 * std::sin(x / 20.0));
            const int hill2 = 82 - int(9.0 * std::cos(x / 13.0 + 1.0));
            uint8_t v;
            if (y >= hill2)
                v = uint8_t(200 + std::min(55, (y - hill2) * 3));
            else if (y >= hill1)
                v = uint8_t(140 + std::min(50, (y - hill1) * 2));
            else if (sun < 18 * 18)
                v = uint8_t(100 + std::min(39, sun / 9));
            else
                v = uint8_t(99 - y);
            pic.dots[size_t(y) * 160 + x] = v;
        }
    }
    return save("sample.mag", encodeMag(pic));
}

bool pi() {
    PiPicture pic;
    pic.planes = 4;
    pic.width = 160;
    pic.height = 100;
    pic.comment = "Kordel sample";
    pic.palette = {qRgb(0x10, 0x10, 0x30), qRgb(0x20, 0x20, 0x60), qRgb(0x40, 0x30, 0x90),
                   qRgb(0x70, 0x40, 0xa0), qRgb(0xb0, 0x50, 0x90), qRgb(0xe0, 0x70, 0x70),
                   qRgb(0xf0, 0xa0, 0x60), qRgb(0xf0, 0xd0, 0x80), qRgb(0xff, 0xf0, 0xc0),
                   qRgb(0x10, 0x30, 0x20), qRgb(0x20, 0x50, 0x30), qRgb(0x30, 0x70, 0x40),
                   qRgb(0x50, 0x90, 0x50), qRgb(0x20, 0x30, 0x50), qRgb(0x40, 0x60, 0x80),
                   qRgb(0xff, 0xff, 0xff)};
    pic.dots.resize(160 * 100);
    // Ordered dithering between neighbouring sky bands.
    static constexpr int kBayer[4][4] = {
        {0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 160; ++x) {
            const int sky = y * 7 * 16 / 64;  // 0 .. 7 bands in sixteenths
            uint8_t v = uint8_t(std::min(7, sky / 16 + (sky % 16 > kBayer[y & 3][x & 3])));
            const int dx = x - 50, dy = y - 52;
            if (dx * dx + dy * dy < 16 * 16)
                v = 8;
            const int ridge = 60 + int(10 * std::sin(x / 17.0) + 4 * std::sin(x / 5.0));
            if (y >= ridge)
                v = uint8_t(9 + std::min(3, (y - ridge) / 8));
            if (y >= 88)  // water with reflections
                v = ((x + y) % 11 == 0) ? 14 : 13;
            if ((x * 7 + y * 13) % 97 == 0 && y < 40)
                v = 15;  // stars
            pic.dots[size_t(y) * 160 + x] = v;
        }
    }
    return save("sample.pi", encodePi(pic));
}

bool q4() {
    constexpr int kWidth = 640, kHeight = 400;
    const std::array<std::array<uint8_t, 3>, 16> levels = {{{0, 0, 2},
                                                            {1, 1, 4},
                                                            {2, 2, 6},
                                                            {3, 3, 8},
                                                            {4, 4, 10},
                                                            {15, 14, 9},
                                                            {15, 15, 13},
                                                            {3, 2, 4},
                                                            {5, 4, 6},
                                                            {8, 6, 4},
                                                            {14, 12, 5},
                                                            {1, 3, 2},
                                                            {2, 5, 3},
                                                            {10, 3, 3},
                                                            {12, 12, 12},
                                                            {15, 15, 15}}};
    std::vector<uint8_t> dots(size_t(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            uint8_t v = uint8_t(std::min(4, y / 50));  // sky bands
            const int mx = x - 480, my = y - 90;
            if (mx * mx + my * my < 40 * 40)
                v = (mx + 12) * (mx + 12) + (my - 8) * (my - 8) < 36 * 36 ? v : 6;  // moon
            if ((x * 31 + y * 17) % 509 == 0 && y < 220)
                v = 15;  // stars
            const int hill = 300 + int(25 * std::sin(x / 60.0));
            if (y > hill)
                v = y > hill + 30 ? 12 : 11;
            // Houses with lit windows.
            const int house = x / 80;
            const int top = 250 + (house * 37) % 50;
            if (x % 80 > 10 && x % 80 < 70 && y > top && y < 360) {
                v = house % 2 ? 7 : 8;
                if ((x % 80 - 18) % 16 < 8 && (y - top - 12) % 28 < 12 && y < 340)
                    v = (house + y / 28) % 3 ? 10 : 9;
            }
            if (y >= 360)
                v = (x / 40 + y / 10) % 2 ? 13 : 9;  // brick road
            dots[size_t(y) * kWidth + x] = v;
        }
    }
    return save("sample.q4", encodeQ4(dots, levels));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2 || !QDir().mkpath(QFile::decodeName(argv[1]))) {
        std::fprintf(stderr, "usage: make_samples FOLDER\n");
        return 2;
    }
    out = QDir(QFile::decodeName(argv[1]));
    for (auto* write : {nativeKinds, jpeg, gif, tiff, pic, pic2, mag, pi, q4}) {
        if (!write()) {
            std::fprintf(stderr, "make_samples: cannot write into %s\n", argv[1]);
            return 1;
        }
    }
    return 0;
}
