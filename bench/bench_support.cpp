#include "bench_support.h"

#include <sys/resource.h>

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

namespace kordel::bench {

static_assert(sizeof(Rgb8) == 3, "scene rows are handed to libjpeg as packed RGB");

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

QString ms(double seconds) {
    return QStringLiteral("%1 ms").arg(seconds * 1000, 0, 'f', 1);
}

void fail(const QString& message) {
    std::fprintf(stderr, "%s\n", qPrintable(message));
    std::exit(1);
}

namespace {

uint32_t hash(uint32_t x, uint32_t y) {
    uint32_t h = x * 0x9e3779b1u ^ (y + 0x7f4a7c15u) * 0x85ebca77u;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    h *= 0x297a2d39u;
    h ^= h >> 15;
    return h;
}

// -1 to 1.
double signedUnit(uint32_t h) {
    return double(h & 0xffffff) / double(0x800000) - 1.0;
}

double fraction(double v) {
    return v - std::floor(v);
}

struct Colour {
    double r, g, b;
};

Colour mix(Colour a, Colour b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

struct House {
    double left, right;  // scene units across
    double top, base;    // scene units down
    double roof;         // height of the roof above the top
    Colour wall, roofColour;
};

constexpr House kHouses[] = {
    {0.36, 0.47, 0.66, 0.80, 0.07, {225, 210, 180}, {170, 50, 40}},
    {0.50, 0.58, 0.70, 0.82, 0.05, {200, 200, 215}, {60, 70, 110}},
    {0.62, 0.78, 0.63, 0.84, 0.08, {235, 225, 200}, {150, 80, 40}},
    {0.82, 0.93, 0.68, 0.81, 0.06, {190, 170, 150}, {90, 40, 40}},
};

bool inHouse(double u, double v, Colour& c) {
    for (const House& h : kHouses) {
        if (u < h.left || u >= h.right || v < h.top - h.roof || v >= h.base)
            continue;
        const double mid = (h.left + h.right) / 2;
        const double half = (h.right - h.left) / 2 + 0.01;
        if (v < h.top) {
            const double reach = half * (v - (h.top - h.roof)) / h.roof;
            if (std::abs(u - mid) > reach)
                continue;
            // Roof tiles: a darker line every few rows.
            const double tile = fraction((v - h.top) * 160);
            c = tile < 0.15 ? mix(h.roofColour, {0, 0, 0}, 0.35) : h.roofColour;
            return true;
        }
        const double lu = (u - h.left) / (h.right - h.left);
        const double lv = (v - h.top) / (h.base - h.top);
        const double wu = fraction(lu * 4), wv = fraction(lv * 3);
        if (lv < 0.9 && wu > 0.25 && wu < 0.75 && wv > 0.3 && wv < 0.7) {
            // Windows, some lit; frame bars through the middle.
            const bool frame = std::abs(wu - 0.5) < 0.03 || std::abs(wv - 0.5) < 0.04;
            const bool lit = hash(uint32_t(lu * 4), uint32_t(lv * 3) + uint32_t(h.left * 100)) & 1;
            c = frame ? Colour{240, 240, 240} : lit ? Colour{250, 220, 120} : Colour{40, 60, 90};
        } else if (lv > 0.6 && std::abs(lu - 0.5) < 0.08) {
            c = {110, 70, 40};  // the door
        } else {
            c = h.wall;
        }
        return true;
    }
    return false;
}

// A board with lines of glyph-like bars.
bool inSign(double u, double v, Colour& c) {
    constexpr double kLeft = 0.04, kRight = 0.30, kTop = 0.80, kBottom = 0.95;
    if (u < kLeft || u >= kRight || v < kTop || v >= kBottom)
        return false;
    const double lu = (u - kLeft) / (kRight - kLeft);
    const double lv = (v - kTop) / (kBottom - kTop);
    if (lu < 0.02 || lu > 0.98 || lv < 0.05 || lv > 0.95) {
        c = {80, 50, 30};  // frame
        return true;
    }
    c = {245, 242, 230};
    const double line = (lv - 0.05) / 0.9 * 7;
    const double inLine = fraction(line);
    if (inLine < 0.2 || inLine > 0.85)
        return true;
    const double column = (lu - 0.02) / 0.96 * 30;
    const uint32_t glyph = hash(uint32_t(column), uint32_t(line) + 77);
    if ((glyph & 7) == 0)
        return true;  // a space
    // Each glyph: a 3 x 5 grid of cells, some filled.
    const int gx = int(fraction(column) * 4);
    const int gy = int((inLine - 0.2) / 0.65 * 5);
    if (gx < 3 && ((glyph >> (3 + gy * 3 + gx)) & 1))
        c = {30, 30, 40};
    return true;
}

}  // namespace

Scene::Scene(int width, int height, SceneStyle style)
    : width_(width), height_(height), style_(style) {
    horizon_.resize(size_t(width));
    cloud_.resize(size_t(width));
    for (int x = 0; x < width; ++x) {
        const double u = double(x) / width;
        horizon_[size_t(x)] =
            float(0.58 + 0.045 * std::sin(u * 9 + 0.3) + 0.02 * std::sin(u * 27 + 1.7));
        cloud_[size_t(x)] =
            float(std::max(0.0, std::sin(u * 13 + 0.5) * 0.6 + std::sin(u * 37 + 2) * 0.4));
    }
}

void Scene::row(int y, Rgb8* out) const {
    const double v = (double(y) + 0.5) / height_;
    const double aspect = double(width_) / height_;
    for (int x = 0; x < width_; ++x) {
        const double u = (double(x) + 0.5) / width_;
        const double horizon = horizon_[size_t(x)];
        Colour c;
        const bool object = inHouse(u, v, c) || inSign(u, v, c);
        if (object) {
            // Drawn already.
        } else if (u >= 0.80 && u < 0.97 && v >= 0.86 && v < 0.97) {
            // A fine checker: detail at the scale of single dots.
            c = ((x / 3 + y / 3) & 1) ? Colour{30, 30, 30} : Colour{230, 230, 230};
        } else if (v < horizon) {
            const double t = v / horizon;
            c = mix({40, 90, 200}, {250, 200, 150}, std::pow(t, 1.5));
            // Sun and glow.
            const double d = std::hypot((u - 0.72) * aspect, v - 0.22);
            if (d < 0.07)
                c = {255, 240, 170};
            else
                c = mix(c, {255, 230, 160}, std::exp(-(d - 0.07) * 14) * 0.6);
            // A band of clouds.
            const double band = (v - 0.15) / 0.07;
            const double cloud = cloud_[size_t(x)] * std::exp(-band * band);
            c = mix(c, {245, 245, 250}, std::min(1.0, cloud * 1.2));
        } else {
            const double t = (v - horizon) / (1 - horizon);
            c = mix({90, 150, 60}, {50, 110, 30}, t);
            // Field rows and a grassy texture.
            const double rows = std::sin((v - horizon) * 220);
            c.g += rows * 15;
            c.r += rows * 8;
            const double grass =
                style_.texture * signedUnit(hash(uint32_t(x) * 3 + 1, uint32_t(y)));
            c.r += grass * 0.5;
            c.g += grass;
            c.b += grass * 0.3;
        }
        if (style_.noise > 0) {
            const double n = style_.noise * signedUnit(hash(uint32_t(x), uint32_t(y)));
            c.r += n;
            c.g += n;
            c.b += n;
        }
        out[x] = {uint8_t(std::clamp(c.r, 0.0, 255.0)), uint8_t(std::clamp(c.g, 0.0, 255.0)),
                  uint8_t(std::clamp(c.b, 0.0, 255.0))};
    }
}

bool writeJpeg(const QString& path, const Scene& scene, int quality) {
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    // libjpeg's own error handler ends the program with its message, which is
    // what a benchmark wants on a failure here.
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = JDIMENSION(scene.width());
    cinfo.image_height = JDIMENSION(scene.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<Rgb8> row(size_t(scene.width()));
    while (cinfo.next_scanline < cinfo.image_height) {
        scene.row(int(cinfo.next_scanline), row.data());
        JSAMPROW p = reinterpret_cast<JSAMPROW>(row.data());
        jpeg_write_scanlines(&cinfo, &p, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const bool written = std::ferror(file) == 0;
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

DecodeRequest hostRequest(const QString& path, bool preview) {
    DecodeRequest request;
    request.path = path;
    request.preview = preview;
    request.pluginFolders = {QCoreApplication::applicationDirPath()};
    return request;
}

double timeHostDecode(const DecodeRequest& request, QSize expected, double* cpu) {
    const double cpuStart = cpuSeconds();
    const Clock::time_point start = Clock::now();
    {
        const Decoded d = decodePicture(request);
        if (d.error != kErrorNone)
            fail(QStringLiteral("decoding %1 failed with error %2").arg(request.path).arg(d.error));
        if (d.image.size() != expected)
            fail(QStringLiteral("decoding %1 gave %2 x %3, expected %4 x %5")
                     .arg(request.path)
                     .arg(d.image.width())
                     .arg(d.image.height())
                     .arg(expected.width())
                     .arg(expected.height()));
    }
    const double wall = secondsSince(start);
    if (cpu)
        *cpu = cpuSeconds() - cpuStart;
    return wall;
}

}  // namespace kordel::bench
