// The retro decoders (MAG, Pi, XLD4, PIC, PIC2) per megapixel against the JPEG
// plug-in, all through the picture host in the same run.
//
// Every picture is the same synthetic landscape, quantised the way pictures of
// those machines were: ordered dithering to 16 or 256 colours for the palette
// formats, 5 bits a channel for the direct-colour ones, and written by the
// encoders the plug-in tests use. Each is checked dot by dot once before the
// timing, so that no figure stands for a decode that went wrong. The baseline
// is the JPEG plug-in on the same landscape at the same size (quality 90,
// photographic grain); a larger JPEG is shown beside it. A round decodes every
// picture once (the 640 x 400 XLD4 picture several times) in turn; the figures
// are medians of the rounds.
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <vector>

#include "bench_support.h"
#include "mag_encoder.h"
#include "pi_encoder.h"
#include "pic2_encoder.h"
#include "pic_encoder.h"
#include "q4_encoder.h"

namespace {

using namespace kordel::bench;

constexpr int kWidth = 2560;
constexpr int kHeight = 1600;
// A larger JPEG beside the baseline of the same size as the retro pictures:
// blocks past 32 MiB are mapped anew for every picture by malloc, which on some
// machines costs more per dot than the decoding.
constexpr int kLargeJpegWidth = 4000;
constexpr int kLargeJpegHeight = 3000;
constexpr int kQ4Width = 640;
constexpr int kQ4Height = 400;
constexpr int kQ4DecodesPerRound = 16;
constexpr double kTarget = 4.0;

struct Case {
    QString name;
    QString path;
    bool jpeg = false;
    QSize stored;  // dots in the file, what the per-megapixel figure counts
    QSize shown;   // what the host hands back
    int decodesPerRound = 1;
    QImage expected;  // checked dot by dot when set
    std::vector<double> times;
};

// The scene's dots, top line first.
std::vector<Rgb8> render(int width, int height) {
    const Scene scene(width, height, {0, 40});
    std::vector<Rgb8> dots(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        scene.row(y, dots.data() + size_t(y) * size_t(width));
    return dots;
}

constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

int dither(uint8_t value, int levels, int x, int y) {
    const double threshold = (kBayer[y & 3][x & 3] + 0.5) / 16;
    return std::min(levels - 1, int(value * (levels - 1) / 255.0 + threshold));
}

// Palette pictures: red, green and blue on their own ordered-dithered scales.
struct Quantised {
    std::vector<uint8_t> dots;
    std::vector<QRgb> palette;
};

Quantised quantise(const std::vector<Rgb8>& rgb, int width, int rLevels, int gLevels, int bLevels) {
    Quantised q;
    for (int r = 0; r < rLevels; ++r)
        for (int g = 0; g < gLevels; ++g)
            for (int b = 0; b < bLevels; ++b)
                q.palette.push_back(qRgb(r * 255 / (rLevels - 1), g * 255 / (gLevels - 1),
                                         b * 255 / (bLevels - 1)));
    q.dots.resize(rgb.size());
    for (size_t i = 0; i < rgb.size(); ++i) {
        const int x = int(i % size_t(width)), y = int(i / size_t(width));
        const int r = dither(rgb[i].r, rLevels, x, y);
        const int g = dither(rgb[i].g, gLevels, x, y);
        const int b = dither(rgb[i].b, bLevels, x, y);
        q.dots[i] = uint8_t((r * gLevels + g) * bLevels + b);
    }
    return q;
}

Quantised colours16(const std::vector<Rgb8>& rgb, int width) {
    return quantise(rgb, width, 2, 4, 2);
}

Quantised colours256(const std::vector<Rgb8>& rgb, int width) {
    return quantise(rgb, width, 8, 8, 4);
}

QImage indexedImage(const Quantised& q, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = q.palette[q.dots[size_t(y) * size_t(width) + size_t(x)]];
    }
    return image;
}

// Direct colour: 5 bits a channel, packed by the caller's order.
struct Channels5 {
    int r, g, b;
};

Channels5 fiveBits(Rgb8 c) {
    return {(c.r * 31 + 127) / 255, (c.g * 31 + 127) / 255, (c.b * 31 + 127) / 255};
}

uint8_t widen5(int v) {
    return uint8_t(v << 3 | v >> 2);
}

QImage directImage(const std::vector<Rgb8>& rgb, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const Channels5 c = fiveBits(rgb[size_t(y) * size_t(width) + size_t(x)]);
            line[x] = qRgb(widen5(c.r), widen5(c.g), widen5(c.b));
        }
    }
    return image;
}

std::vector<uint32_t> packed(const std::vector<Rgb8>& rgb,
                             const std::function<uint32_t(Channels5)>& pack) {
    std::vector<uint32_t> out(rgb.size());
    for (size_t i = 0; i < rgb.size(); ++i)
        out[i] = pack(fiveBits(rgb[i]));
    return out;
}

void save(const QString& path, const QByteArray& data) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.flush())
        fail(QStringLiteral("cannot write %1").arg(path));
}

// Decodes once through the host and compares with what was encoded.
void check(const Case& c) {
    const kordel::Decoded d = kordel::decodePicture(hostRequest(c.path));
    if (d.error != kordel::kErrorNone)
        fail(QStringLiteral("%1: the host answered error %2").arg(c.name).arg(d.error));
    if (d.image.size() != c.shown)
        fail(QStringLiteral("%1: decoded at %2 x %3")
                 .arg(c.name)
                 .arg(d.image.width())
                 .arg(d.image.height()));
    if (!c.expected.isNull() && d.image.convertToFormat(QImage::Format_RGB32) != c.expected)
        fail(QStringLiteral("%1: the decoded dots differ from the encoded ones").arg(c.name));
}

std::vector<Case> prepare(const QString& dir) {
    std::vector<Case> cases;
    auto add = [&](const QString& name, const QString& file, QSize stored, QSize shown,
                   const QByteArray& data, QImage expected, int decodes = 1) {
        Case c;
        c.name = name;
        c.path = dir + QLatin1Char('/') + file;
        c.stored = stored;
        c.shown = shown;
        c.decodesPerRound = decodes;
        c.expected = std::move(expected);
        if (!data.isNull())
            save(c.path, data);
        cases.push_back(std::move(c));
    };

    auto addJpeg = [&](const QString& name, const QString& file, QSize size) {
        if (!writeJpeg(dir + QLatin1Char('/') + file, Scene(size.width(), size.height(), {6, 40}),
                       90))
            fail(QStringLiteral("cannot write the JPEG picture"));
        add(name, file, size, size, {}, {});
        cases.back().jpeg = true;
    };
    addJpeg(QStringLiteral("JPEG, quality 90 (the baseline)"), QStringLiteral("scene.jpg"),
            QSize(kWidth, kHeight));
    addJpeg(QStringLiteral("JPEG, quality 90, larger"), QStringLiteral("large.jpg"),
            QSize(kLargeJpegWidth, kLargeJpegHeight));

    const QSize size(kWidth, kHeight);
    const std::vector<Rgb8> rgb = render(kWidth, kHeight);
    const Quantised q16 = colours16(rgb, kWidth);
    const Quantised q256 = colours256(rgb, kWidth);

    for (const Quantised* q : {&q16, &q256}) {
        kordel::test::MagPicture mag;
        mag.colours256 = q == &q256;
        mag.width = kWidth;
        mag.height = kHeight;
        mag.dots = q->dots;
        mag.palette = q->palette;
        add(mag.colours256 ? QStringLiteral("MAG, 256 colours") : QStringLiteral("MAG, 16 colours"),
            mag.colours256 ? QStringLiteral("p256.mag") : QStringLiteral("p16.mag"), size, size,
            kordel::test::encodeMag(mag), indexedImage(*q, kWidth, kHeight));

        kordel::test::PiPicture pi;
        pi.planes = q == &q256 ? 8 : 4;
        pi.width = kWidth;
        pi.height = kHeight;
        pi.dots = q->dots;
        pi.palette = q->palette;
        add(pi.planes == 8 ? QStringLiteral("Pi, 256 colours") : QStringLiteral("Pi, 16 colours"),
            pi.planes == 8 ? QStringLiteral("p256.pi") : QStringLiteral("p16.pi"), size, size,
            kordel::test::encodePi(pi), indexedImage(*q, kWidth, kHeight));
    }

    {
        const QSize q4Size(kQ4Width, kQ4Height);
        const std::vector<Rgb8> small = render(kQ4Width, kQ4Height);
        const Quantised q = colours16(small, kQ4Width);
        std::array<std::array<uint8_t, 3>, 16> levels{};
        for (size_t i = 0; i < 16; ++i)
            levels[i] = {uint8_t(qRed(q.palette[i]) / 17), uint8_t(qGreen(q.palette[i]) / 17),
                         uint8_t(qBlue(q.palette[i]) / 17)};
        add(QStringLiteral("XLD4 (Q4), 640 x 400, 16 colours"), QStringLiteral("p.q4"), q4Size,
            q4Size, kordel::test::encodeQ4(q.dots, levels), indexedImage(q, kQ4Width, kQ4Height),
            kQ4DecodesPerRound);
    }

    {
        kordel::test::PicLayout pic;
        pic.type = 15;  // the generic header, square dots
        pic.depth = 15;
        pic.width = kWidth;
        pic.height = kHeight;
        pic.dots = packed(rgb, [](Channels5 c) { return uint32_t(c.g << 10 | c.r << 5 | c.b); });
        add(QStringLiteral("PIC, 15 bits"), QStringLiteral("p15.pic"), size, size,
            kordel::test::encodePic(pic), directImage(rgb, kWidth, kHeight));

        // X68000 pictures have dots a third wider than high, which the host restores.
        pic.type = 0;
        pic.depth = 16;
        pic.dots =
            packed(rgb, [](Channels5 c) { return uint32_t(c.g << 11 | c.r << 6 | c.b << 1); });
        add(QStringLiteral("PIC, X68000 16 bits, 4:3 dots"), QStringLiteral("x68k.pic"), size,
            QSize(kWidth * 4 / 3, kHeight), encodePic(pic), {});
    }

    for (const char* id : {"P2SS", "P2SF"}) {
        kordel::test::P2Block block;
        block.id = id;
        block.width = kWidth;
        block.height = kHeight;
        block.dots = packed(rgb, [](Channels5 c) { return uint32_t(c.r << 10 | c.g << 5 | c.b); });
        kordel::test::P2Layout p2;
        p2.depth = 15;
        p2.width = kWidth;
        p2.height = kHeight;
        p2.blocks = {block};
        const bool arithmetic = block.id == "P2SS";
        add(arithmetic ? QStringLiteral("PIC2, 15 bits, arithmetic (P2SS)")
                       : QStringLiteral("PIC2, 15 bits, fast (P2SF)"),
            arithmetic ? QStringLiteral("ss.p2") : QStringLiteral("sf.p2"), size, size,
            kordel::test::encodeP2(p2), directImage(rgb, kWidth, kHeight));
    }
    return cases;
}

double megapixels(QSize s) {
    return double(s.width()) * s.height() / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int rounds = 7;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--rounds") && i + 1 < args.size())
            rounds = std::max(1, args[++i].toInt());
        else
            fail(QStringLiteral("usage: bench_retro [--rounds N]"));
    }
    QTemporaryDir dir;
    if (!dir.isValid())
        fail(QStringLiteral("no temporary folder"));

    std::printf("Retro decoders against the JPEG plug-in, per megapixel, through the host\n");
    const Clock::time_point made = Clock::now();
    std::vector<Case> cases = prepare(dir.path());
    std::printf("Pictures made and encoded in %.1f s; checking each decode once\n",
                secondsSince(made));
    for (const Case& c : cases)
        check(c);

    std::printf("Rounds: %d\n", rounds);
    for (int round = 0; round < rounds; ++round) {
        for (Case& c : cases) {
            double total = 0;
            for (int i = 0; i < c.decodesPerRound; ++i)
                total += timeHostDecode(hostRequest(c.path), c.shown);
            c.times.push_back(total / c.decodesPerRound);
        }
    }

    const double jpegPerMp = median(cases.front().times) / megapixels(cases.front().stored);
    std::printf("\n  %-34s %11s %9s %11s %11s %7s\n", "median of the rounds", "dots", "file",
                "per decode", "per MP", "/ JPEG");
    bool allWithin = true;
    for (const Case& c : cases) {
        const double perDecode = median(c.times);
        const double perMp = perDecode / megapixels(c.stored);
        const double ratio = perMp / jpegPerMp;
        if (!c.jpeg && ratio > kTarget)
            allWithin = false;
        std::printf("  %-34s %5d x %-4d %6.0f kB %11s %11s %7.2f%s\n", qPrintable(c.name),
                    c.stored.width(), c.stored.height(), QFileInfo(c.path).size() / 1e3,
                    qPrintable(ms(perDecode)), qPrintable(ms(perMp)), ratio,
                    !c.jpeg && ratio > kTarget ? "  ABOVE THE TARGET" : "");
    }
    std::printf(
        "\nTarget: no retro decoder above %.1f x the JPEG plug-in's time per megapixel: %s\n",
        kTarget, allWithin ? "met" : "MISSED");
    return 0;
}
