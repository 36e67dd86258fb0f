// Device-independent bitmaps as metafiles carry them: every size, count and offset is checked
// against the record before anything is read or allocated.
#include <algorithm>

#include "dib_format.h"
#include "metafile_state.h"

namespace kordel::mf {

namespace {

struct DibHeader {
    dib::Header header;
    int tableEntries = 0;
    int entrySize = 4;  // RGBQUAD, RGBTRIPLE, or a 16-bit palette index
    qint64 infoSize = 0;
};

bool parseHeader(const Bytes& info, int usage, DibHeader& h) {
    dib::Header& d = h.header;
    // Metafiles carry the header versions Windows itself writes, with one plane.
    if (!dib::parseHeader(info.data(), info.size(), d) || !d.windowsSize() || d.planes != 1)
        return false;
    if (d.compression != dib::kJpeg && d.compression != dib::kPng && !dib::bitCountFits(d))
        return false;
    h.entrySize = usage == 1 ? 2 : d.entrySize;
    if (d.bitCount >= 1 && d.bitCount <= 8) {
        h.tableEntries = dib::colourCount(d.bitCount, d.clrUsed);
    } else {
        // An optimisation palette to skip; never trust it beyond the data.
        const qint64 room = std::max<qint64>(0, (info.size() - d.tableOffset) / h.entrySize);
        h.tableEntries = int(std::min<qint64>(d.clrUsed, std::min<qint64>(room, 65536)));
    }
    if (usage == 2)
        h.tableEntries = 0;  // monochrome without colour table
    h.infoSize = d.tableOffset + qint64(h.tableEntries) * h.entrySize;
    return true;
}

}  // namespace

qint64 dibInfoSize(Bytes info, int usage) {
    DibHeader h;
    if (!parseHeader(info, usage, h))
        return 0;
    return h.infoSize;
}

QImage decodeDib(Bytes info,
                 Bytes bits,
                 int usage,
                 const Palette* palette,
                 qint64 maxPixels,
                 int heightOverride,
                 bool sourceAlpha) {
    DibHeader dh;
    if (!parseHeader(info, usage, dh))
        return {};
    const dib::Header& h = dh.header;
    const qint64 limit = std::min<qint64>(maxPixels, qint64(SPI_MAX_PIXELS));
    if (h.compression == dib::kJpeg || h.compression == dib::kPng) {
        if (h.width <= 0 || h.width > SPI_MAX_DIMENSION || std::abs(h.height) > SPI_MAX_DIMENSION ||
            h.width * std::abs(h.height) > limit)
            return {};
        QImage img = QImage::fromData(bits.toByteArray());
        if (img.isNull() || qint64(img.width()) * img.height() > limit)
            return {};
        return img.convertToFormat(QImage::Format_ARGB32);
    }
    const bool rle = h.compression == dib::kRle8 || h.compression == dib::kRle4;
    if (h.topDown() && rle)
        return {};
    const qint64 w = h.width;
    qint64 ht = h.topDown() ? -h.height : h.height;
    if (heightOverride > 0)
        ht = heightOverride;
    if (!dib::withinLimits(w, ht, quint64(std::max<qint64>(limit, 0))))
        return {};

    QVector<QRgb> table(h.bitCount <= 8 ? (1 << h.bitCount) : 0, qRgb(0, 0, 0));
    if (h.bitCount <= 8) {
        if (usage == 2 || (dh.tableEntries == 0 && h.bitCount == 1)) {
            table[0] = qRgb(0, 0, 0);
            table[1] = qRgb(255, 255, 255);
        }
        const int entries = std::min(dh.tableEntries, int(table.size()));
        if (usage == 1) {
            for (int i = 0; i < entries; ++i) {
                const qint64 off = h.tableOffset + qint64(i) * dh.entrySize;
                if (!info.fits(off, dh.entrySize))
                    break;
                const int idx = info.u16(off);
                table[i] = (palette && idx < palette->size())
                               ? palette->at(idx)
                               : qRgb(idx & 0xff, idx & 0xff, idx & 0xff);
            }
        } else {
            dib::readColourTable(info.data(), info.size(), h.tableOffset, dh.entrySize, entries,
                                 table.data());
        }
    }

    if (rle) {
        QImage img(int(w), int(ht), QImage::Format_ARGB32);
        if (img.isNull())
            return {};
        // Dots the codes skip stay transparent.
        img.fill(Qt::transparent);
        dib::playRle(bits.data(), bits.size(), h.compression == dib::kRle4, w, ht,
                     [&](qint64 x, qint64 y, int index) {
                         reinterpret_cast<QRgb*>(img.scanLine(int(ht - 1 - y)))[x] =
                             index < table.size() ? table[index] : qRgb(0, 0, 0);
                     });
        return img;
    }

    const qint64 stride = dib::stride(w, h.bitCount);
    const qint64 rows = std::min<qint64>(ht, bits.size() / stride);
    if (rows <= 0)
        return {};
    auto srcRow = [&](qint64 y) {  // y counts from the top of the picture
        const qint64 r = h.topDown() ? y : (ht - 1 - y);
        return r < rows ? bits.data() + r * stride : nullptr;
    };

    if (h.bitCount <= 8) {
        QImage img(int(w), int(ht), QImage::Format_Indexed8);
        if (img.isNull())
            return {};
        img.setColorTable(table);
        img.fill(0);
        for (qint64 y = 0; y < ht; ++y) {
            if (const uchar* s = srcRow(y))
                dib::unpackIndices(s, h.bitCount, w, img.scanLine(int(y)));
        }
        if (rows < ht) {
            // Missing rows stay transparent.
            QImage argb = img.convertToFormat(QImage::Format_ARGB32);
            for (qint64 y = 0; y < ht; ++y)
                if (!srcRow(y))
                    std::fill_n(reinterpret_cast<QRgb*>(argb.scanLine(int(y))), w,
                                qRgba(0, 0, 0, 0));
            return argb;
        }
        return img;
    }

    quint32 rm = 0x7c00, gm = 0x03e0, bm = 0x001f, am = 0;
    if (h.bitCount == 32) {
        rm = 0x00ff0000;
        gm = 0x0000ff00;
        bm = 0x000000ff;
        if (sourceAlpha)
            am = 0xff000000;
    }
    if (h.compression == dib::kBitFields || h.compression == dib::kAlphaBitFields) {
        rm = h.masks[0];
        gm = h.masks[1];
        bm = h.masks[2];
        am = h.masks[3];
    }
    const dib::BitField fr(rm), fg(gm), fb(bm), fa(am);
    const bool alpha = am != 0;
    QImage img(int(w), int(ht),
               alpha && sourceAlpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32);
    if (img.isNull())
        return {};
    const int bytes = h.bitCount / 8;
    for (qint64 y = 0; y < ht; ++y) {
        auto* d = reinterpret_cast<QRgb*>(img.scanLine(int(y)));
        const uchar* s = srcRow(y);
        if (!s) {
            std::fill_n(d, w, qRgba(0, 0, 0, 0));
            continue;
        }
        for (qint64 x = 0; x < w; ++x) {
            const uchar* p = s + x * bytes;
            if (bytes == 3) {
                d[x] = qRgb(p[2], p[1], p[0]);
                continue;
            }
            const quint32 v = dib::pixelAt(p, bytes);
            d[x] = qRgba(fr.scaled(v), fg.scaled(v), fb.scaled(v), alpha ? fa.scaled(v) : 255);
        }
    }
    if (alpha && sourceAlpha) {
        // Premultiplied data whose colour exceeds its alpha is not premultiplied at all.
        for (qint64 y = 0; y < ht; ++y) {
            auto* d = reinterpret_cast<QRgb*>(img.scanLine(int(y)));
            for (qint64 x = 0; x < w; ++x) {
                const int a = qAlpha(d[x]);
                if (qRed(d[x]) > a || qGreen(d[x]) > a || qBlue(d[x]) > a)
                    d[x] = qRgba(std::min(qRed(d[x]), a), std::min(qGreen(d[x]), a),
                                 std::min(qBlue(d[x]), a), a);
            }
        }
    }
    return img;
}

QImage monoTile(const QImage& decoded, QRgb zero, QRgb one) {
    if (decoded.format() != QImage::Format_Indexed8 || decoded.colorCount() > 2)
        return decoded;
    QImage tile = decoded;
    tile.setColor(0, zero);
    if (tile.colorCount() > 1)
        tile.setColor(1, one);
    return tile.convertToFormat(QImage::Format_RGB32);
}

}  // namespace kordel::mf
