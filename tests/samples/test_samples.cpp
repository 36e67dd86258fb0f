// The sample folder that the run script opens (written by samples/tools/make_samples):
// one picture of every kind, each decoding cleanly through the program's own decode
// routine and the real plug-ins.
#include <QDir>
#include <QTest>

#include "decode.h"

using namespace kordel;

class TestSamples : public QObject {
    Q_OBJECT

private slots:
    void everySampleDecodes_data() {
        QTest::addColumn<QString>("file");
        QStringList kinds;
        for (const QString& name : QDir(KORDEL_SOURCE_DIR "/samples").entryList(QDir::Files)) {
            QTest::newRow(qPrintable(name)) << name;
            kinds << name.section(u'.', -1);
        }
        for (const char* kind :
             {"bmp", "jpg", "gif", "tif", "pic", "p2", "mag", "pi", "q4", "ico", "wmf", "emf"})
            if (!kinds.contains(QLatin1String(kind)))
                qFatal("no sample of kind %s", kind);
    }
    void everySampleDecodes() {
        QFETCH(QString, file);
        DecodeRequest request;
        request.path = QStringLiteral(KORDEL_SOURCE_DIR "/samples/") + file;
        request.pluginFolders = {QStringLiteral(KORDEL_BIN_DIR)};
        const Decoded d = decodePicture(request);
        QCOMPARE(d.error, 0);
        QVERIFY(d.hasPicture() && d.storedSize && !d.storedSize->isEmpty());
    }
};

QTEST_MAIN(TestSamples)
#include "test_samples.moc"
