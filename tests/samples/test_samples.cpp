// The sample folder that the run script opens: one picture of every kind, each
// decoding cleanly. With KORDEL_WRITE_SAMPLES set, the native kinds are written
// anew (the plug-in kinds are written by their plug-ins' tests).
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>
#include <QTest>

#include "decode.h"
#include "metafile_writer.h"

using namespace kordel;

namespace {

QString samplesDir() {
    return QStringLiteral(KORDEL_SOURCE_DIR "/samples");
}

// A small evening landscape, the same motif as the other samples.
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

void writeBytes(const QString& name, const QByteArray& data) {
    QFile f(samplesDir() + u'/' + name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

}  // namespace

class TestSamples : public QObject {
    Q_OBJECT

private slots:
    void writeNativeSamples() {
        if (qEnvironmentVariableIsEmpty("KORDEL_WRITE_SAMPLES"))
            QSKIP("set KORDEL_WRITE_SAMPLES to write the native samples");
        QVERIFY(landscape(QSize(200, 150)).save(samplesDir() + "/sample.bmp", "BMP"));

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
        QImageWriter ico(samplesDir() + "/sample.ico", "ico");
        QVERIFY2(ico.write(icon), qPrintable(ico.errorString()));

        test::WmfWriter wmf(QRect(0, 0, 2000, 1500), 1000);
        wmf.brush(0, test::rgb(60, 80, 160));
        wmf.pen(0, 1, test::rgb(20, 20, 60));
        wmf.rectangle(0, 0, 2000, 1100);
        wmf.brush(0, test::rgb(255, 220, 110));
        wmf.ellipse(1200, 300, 1600, 700);
        wmf.brush(0, test::rgb(40, 120, 60));
        wmf.polygon({{0, 1100}, {700, 800}, {1300, 1050}, {2000, 850}, {2000, 1500}, {0, 1500}});
        writeBytes("sample.wmf", wmf.data());

        test::EmfWriter emf(QRect(0, 0, 5080, 3810));
        emf.brush(1, 0, test::rgb(240, 160, 90));
        emf.select(1);
        emf.rectangle(0, 0, 200, 150);
        emf.brush(2, 0, test::rgb(255, 240, 150));
        emf.select(2);
        emf.ellipse(120, 30, 170, 80);
        emf.brush(3, 0, test::rgb(50, 100, 50));
        emf.select(3);
        emf.rectangle(0, 110, 200, 150);
        writeBytes("sample.emf", emf.data());
    }

    // Every sample decodes through the program's own decode routine.
    void everySampleDecodes_data() {
        QTest::addColumn<QString>("file");
        for (const QString& name : QDir(samplesDir()).entryList(QDir::Files))
            QTest::newRow(qPrintable(name)) << name;
    }
    void everySampleDecodes() {
        QFETCH(QString, file);
        DecodeRequest request;
        request.path = samplesDir() + u'/' + file;
        request.pluginFolders = {QStringLiteral(KORDEL_BIN_DIR)};
        const Decoded d = decodePicture(request);
        QCOMPARE(d.error, 0);
        QVERIFY(d.hasPicture());
        QVERIFY(d.storedSize && !d.storedSize->isEmpty());
    }

    void everyKindHasASample() {
        QStringList kinds;
        for (const QString& name : QDir(samplesDir()).entryList(QDir::Files))
            kinds << name.section(u'.', -1).toLower();
        for (const char* kind :
             {"bmp", "jpg", "gif", "tif", "pic", "p2", "mag", "pi", "q4", "ico", "wmf", "emf"})
            QVERIFY2(kinds.contains(QLatin1String(kind)), kind);
    }
};

QTEST_MAIN(TestSamples)
#include "test_samples.moc"
