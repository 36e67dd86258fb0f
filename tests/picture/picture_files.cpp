#include "picture_files.h"

#include "fake_spi_script.h"
#include "metafile_writer.h"

namespace kordel::test {

namespace {

// Colour table entries: blue, green, red and, except in OS/2 1.x files, a zero byte.
QByteArray table(const std::vector<QRgb>& colours, bool withFourthByte) {
    QByteArray out;
    for (QRgb c : colours) {
        out.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c)));
        if (withFourthByte)
            out.append('\0');
    }
    return out;
}

qsizetype stride(int width, int bits) {
    return ((qsizetype(width) * bits + 31) / 32) * 4;
}

// Rows of dots in DIB layout, bottom-up unless topDown.
QByteArray packRows(int width,
                    int height,
                    int bits,
                    const std::vector<uint32_t>& dots,
                    bool topDown) {
    const qsizetype s = stride(width, bits);
    QByteArray rows(s * height, '\0');
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uchar*>(rows.data()) + s * (topDown ? y : height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const size_t i = size_t(y) * size_t(width) + size_t(x);
            putDot(row, x, bits, i < dots.size() ? dots[i] : 0);
        }
    }
    return rows;
}

}  // namespace

QByteArray writeBmp(const BmpLayout& layout) {
    using H = BmpLayout::Header;
    const QByteArray pixels =
        packRows(layout.width, layout.height, layout.bits, layout.dots, layout.topDown);
    QByteArray header;
    if (layout.header == H::Os2v1) {
        header = EmfWriter::ints({12});
        for (int v : {layout.width, layout.height, 1, layout.bits})
            put16(header, v);
    } else {
        const int size = layout.header == H::Os2v2 ? 64 : layout.header == H::V4 ? 108 : 40;
        header =
            EmfWriter::ints({size, layout.width, layout.topDown ? -layout.height : layout.height});
        put16(header, 1);
        put16(header, layout.bits);
        header +=
            EmfWriter::ints({layout.compression, pixels.size(), 2835, 2835, layout.clrUsed, 0});
        if (layout.header == H::V4)  // the masks, 'sRGB', end points and gammas
            header += EmfWriter::ints({layout.masks[0], layout.masks[1], layout.masks[2],
                                       layout.masks[3], 0x73524742}) +
                      QByteArray(48, '\0');
        else if (layout.header == H::Os2v2)
            header += QByteArray(24, '\0');  // units, recording, rendering, sizes, identifier
        else if (layout.compression == 3)
            header += EmfWriter::ints({layout.masks[0], layout.masks[1], layout.masks[2]});
    }
    header += table(layout.palette, layout.header != H::Os2v1);
    return "BM" + EmfWriter::ints({14 + header.size() + pixels.size(), 0, 14 + header.size()}) +
           header + pixels;
}

QByteArray writeIco(const std::vector<IcoImage>& images) {
    std::vector<QByteArray> blobs;
    for (const IcoImage& im : images) {
        if (!im.png.isEmpty()) {
            blobs.push_back(im.png);
            continue;
        }
        QByteArray b = EmfWriter::ints({40, im.width, im.height * 2});  // the colours and the mask
        put16(b, 1);
        put16(b, im.bits);
        b += EmfWriter::ints(
            {0, (stride(im.width, im.bits) + stride(im.width, 1)) * im.height, 0, 0, 0, 0});
        if (im.bits <= 8) {
            std::vector<QRgb> colours = im.palette;
            colours.resize(size_t(1) << im.bits);
            b += table(colours, true);
        }
        b += packRows(im.width, im.height, im.bits, im.dots, false);
        blobs.push_back(
            b + packRows(im.width, im.height, 1, {im.clear.begin(), im.clear.end()}, false));
    }
    QByteArray f;
    for (int v : {0, 1, int(images.size())})
        put16(f, v);
    qint64 offset = 6 + 16 * qint64(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const IcoImage& im = images[i];
        f.append(char(im.width >= 256 ? 0 : im.width))
            .append(char(im.directoryHeight ? im.directoryHeight
                         : im.height >= 256 ? 0
                                            : im.height));
        f.append(char(im.bits < 8 ? 1 << im.bits : 0)).append('\0');
        put16(f, 1);
        put16(f, im.directoryBits >= 0 ? im.directoryBits : im.bits);
        f += EmfWriter::ints({blobs[i].size(), offset});
        offset += blobs[i].size();
    }
    for (const QByteArray& blob : blobs)
        f += blob;
    return f;
}

IcoImage solidIcon(int size, int bits, QRgb colour) {
    IcoImage im;
    im.width = im.height = size;
    im.bits = bits;
    const bool indexed = bits <= 8;
    if (indexed)
        im.palette = {qRgb(0, 0, 0), colour};
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const bool clear = x < size / 2 && y < size / 2;
            im.clear.push_back(clear);
            if (indexed)
                im.dots.push_back(clear ? 0 : 1);
            else
                im.dots.push_back(clear ? 0u : (colour | 0xff000000u));
        }
    return im;
}

}  // namespace kordel::test
