// The decode routine without the component: extensions of UTF-8 and Shift-JIS
// names, and decodes running on two threads at once.
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <thread>

#include "decode.h"
#include "path_names.h"
#include "picture_files.h"

using kordel::fileExtension;
using kordel::NameEncoding;

Q_DECLARE_METATYPE(NameEncoding)

class TestDecode : public QObject {
    Q_OBJECT

private slots:
    void extensions_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<NameEncoding>("encoding");
        QTest::addColumn<QByteArray>("extension");
        const auto utf8 = NameEncoding::Utf8;
        const auto sjis = NameEncoding::ShiftJis;
        QTest::newRow("folders") << QByteArray("/a.b/c/photo.JPEG") << utf8 << QByteArray(".JPEG");
        QTest::newRow("last dot") << QByteArray("archive.tar.gz") << utf8 << QByteArray(".GZ");
        QTest::newRow("dot in a folder only") << QByteArray("/dir.x/file") << utf8 << QByteArray();
        QTest::newRow("trailing dot") << QByteArray("/dir/file.") << utf8 << QByteArray(".");
        QTest::newRow("no dot") << QByteArray("README") << utf8 << QByteArray();
        QTest::newRow("leading dot")
            << QByteArray("/home/.profile") << utf8 << QByteArray(".PROFILE");
        QTest::newRow("ascii only upper-cased")
            << QByteArray("a.jp\xc3\xa9") << utf8 << QByteArray(".JP\xc3\xa9");
        // On this platform a backslash or colon is part of a file name.
        QTest::newRow("utf-8 backslash")
            << QByteArray("dir.x\\file") << utf8 << QByteArray(".X\\FILE");

        // Shift-JIS: "\" and ":" separate, and a trail byte is never a separator.
        QTest::newRow("sjis kanji with a 5C trail byte")
            << QByteArray("\x95\x5c.jpg") << sjis << QByteArray(".JPG");
        QTest::newRow("sjis folder with 5C trail bytes")
            << QByteArray("C:\\\x83\x5c\x83\x74\x83\x67.d\\\x95\x5c\x8e\xa6.bmp") << sjis
            << QByteArray(".BMP");
        QTest::newRow("sjis 5C trail byte inside the extension")
            << QByteArray("a.jp\x95\x5c") << sjis << QByteArray(".JP\x95\x5c");
        QTest::newRow("sjis trail byte like a letter")
            << QByteArray("x.\x82\x61mp") << sjis << QByteArray(".\x82\x61MP");
        QTest::newRow("sjis backslash") << QByteArray("dir.x\\file") << sjis << QByteArray();
        QTest::newRow("sjis colon") << QByteArray("a.b:file") << sjis << QByteArray();
        QTest::newRow("sjis half-width katakana")
            << QByteArray("\xb6\xd2\xd7.Gif") << sjis << QByteArray(".GIF");
        QTest::newRow("sjis lead byte at the end")
            << QByteArray("abc.jpg\x95") << sjis << QByteArray(".JPG\x95");
        QTest::newRow("sjis no dot after the separator")
            << QByteArray("pics.old\\\x95\x5c") << sjis << QByteArray();
    }

    void extensions() {
        QFETCH(QByteArray, name);
        QFETCH(NameEncoding, encoding);
        QTEST(fileExtension(name, encoding), "extension");
    }

    void retroKindByContent_data() {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("kind");
        using K = kordel::DecoderKind;
        QTest::newRow("mag") << QByteArray("MAKI02  PC98 user\x1a") << int(K::Mag);
        QTest::newRow("mag 01") << QByteArray("MAKI01A PC98 user\x1a") << int(K::Unknown);
        QTest::newRow("pic2") << QByteArray("P2DT") << int(K::Pic2);
        QTest::newRow("xld4") << QByteArray("\x1a\0\x02\0\0\0\0\0\x96N\0MAJYO", 16) << int(K::Xld4);
        QTest::newRow("pic") << QByteArray("PIC comment\x1a\0") << int(K::Pic);
        QTest::newRow("pi") << QByteArray("Pi\x1a\0") << int(K::Pi);
        QTest::newRow("pi, comment too long")
            << QByteArray("Pi") + QByteArray(1023, 'c') + "\x1a" << int(K::Unknown);
        QTest::newRow("text") << QByteArray("Pictures I took") << int(K::Unknown);
    }
    void retroKindByContent() {
        QFETCH(QByteArray, head);
        QTEST(int(kordel::retroKindByContent(head)), "kind");
    }

    void unknownExtension() {
        kordel::DecodeRequest req;
        req.path = QStringLiteral("/nowhere/x.tga");
        const kordel::Decoded d = kordel::decodePicture(req);
        QCOMPARE(d.error, kordel::kErrorUnknownExtension);
        QCOMPARE(d.storedSize, std::optional<QSize>(QSize(0, 0)));
        QVERIFY(!d.hasPicture());
    }

    void decodesOnTwoThreadsAtOnce() {
        QTemporaryDir temp;
        // The scripted plug-in reports progress; each decode must hear only its own.
        QVERIFY(QFile::copy(QStringLiteral(KORDEL_FAKESPI_DIR "/fakespi.spi"),
                            temp.filePath("ifgif.spi")));
        const QString small = temp.filePath("small.gif"), large = temp.filePath("large.gif");
        kordel::test::writeFile(small, "FAKESPI w=3 h=2 progress=1/4");
        kordel::test::writeFile(large, "FAKESPI w=30 h=20 progress=3/4");
        std::atomic<int> failures{0};
        auto worker = [&](const QString& gif, QSize gifSize, int expectedDone) {
            for (int i = 0; i < 40; ++i) {
                kordel::DecodeRequest req;
                req.pluginFolders = {temp.path()};
                QList<int> done;
                req.progress = [&](int d, int) { done.append(d); };
                req.path = gif;
                const kordel::Decoded d = kordel::decodePicture(req);
                if (d.error != 0 || d.image.size() != gifSize || done != QList<int>{expectedDone})
                    ++failures;
            }
        };
        std::thread a(worker, small, QSize(3, 2), 1);
        std::thread b(worker, large, QSize(30, 20), 3);
        a.join();
        b.join();
        QCOMPARE(failures.load(), 0);
    }
};

QTEST_MAIN(TestDecode)
#include "test_decode.moc"
