#include "browse_helpers.h"

#include <QAbstractItemView>
#include <QBuffer>
#include <QComboBox>
#include <QImage>
#include <QTest>

#include "metafile_writer.h"
#include "picture_files.h"

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
    BmpLayout b{.header = core ? BmpLayout::Header::Os2v1 : BmpLayout::Header::Windows,
                .width = size.width(),
                .height = size.height(),
                .bits = bits};
    for (int i = 0; bits <= 8 && i < 1 << bits; ++i) {  // greys
        const int grey = i * 255 / ((1 << bits) - 1);
        b.palette.push_back(qRgb(grey, grey, grey));
    }
    for (uint32_t i = 0; i < uint32_t(size.width() * size.height()); ++i)
        b.dots.push_back(i * 2654435761u >> (32 - std::min(bits, 24)));  // varied, opaque
    return writeBmp(b);
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
