#include "browse_helpers.h"

#include <QAbstractItemView>
#include <QBuffer>
#include <QComboBox>
#include <QImage>
#include <QTest>

#include "metafile_writer.h"

namespace kordel::test {

namespace {

QByteArray saved(const QImage& image, const char* format) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 90);
    return data;
}

}  // namespace

QByteArray bmpFile(QSize size, int bits, bool core) {
    const int w = size.width(), h = size.height();
    const int colours = bits <= 8 ? 1 << bits : 0;
    const int header = core ? 12 : 40;
    const int stride = ((w * bits + 31) / 32) * 4;
    const int offset = 14 + header + colours * (core ? 3 : 4);
    QByteArray a("BM");
    for (int v : {offset + stride * h, 0, offset, header})
        put32(a, v);
    if (core) {
        for (int v : {w, h, 1, bits})
            put16(a, v);
    } else {
        put32(a, w);
        put32(a, h);
        put16(a, 1);
        put16(a, bits);
        for (int v : {0, stride * h, 2835, 2835, 0, 0})  // no compression
            put32(a, v);
    }
    for (int i = 0; i < colours; ++i) {
        const char grey = char(colours > 1 ? i * 255 / (colours - 1) : 0);
        a.append(QByteArray(3, grey));
        if (!core)
            a.append('\0');
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < stride; ++x)
            a.append(char((x * 37 + y * 11) & 0xff));
    return a;
}

QByteArray icoFile(int size, unsigned colour) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(colour);
    return saved(image, "ICO");
}

QByteArray emfFile() {
    EmfWriter emf;
    emf.brush(1, 0, rgb(255, 0, 0));
    emf.select(1);
    emf.rectangle(10, 10, 80, 50);
    return emf.data();
}

QByteArray wmfFile() {
    WmfWriter wmf(QRect(0, 0, 200, 100), 96);
    wmf.brush(0, rgb(0, 0, 255));
    wmf.select(0);
    wmf.rectangle(10, 10, 90, 50);
    return wmf.data();
}

QByteArray jpegFile(QSize size, qint64 bytes) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(qRgb(30, 120, 200));
    QByteArray data = saved(image, "JPG");
    if (data.size() < bytes)
        data.append(QByteArray(bytes - data.size(), '\0'));
    return data;
}

void chooseKind(QComboBox* box, int index) {
    box->showPopup();
    QAbstractItemView* view = box->view();
    const QModelIndex item = view->model()->index(index, 0);
    view->scrollTo(item);
    const QPoint at = view->visualRect(item).center();
    QTest::mouseMove(view->viewport(), at);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    if (box->view()->isVisible())
        box->hidePopup();
}

}  // namespace kordel::test
