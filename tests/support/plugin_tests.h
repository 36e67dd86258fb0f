// What the decoder plug-in tests share: a folder for the files they hand to a
// plug-in, stderr capture, and the checks every decoder must pass on sound, cut and
// damaged files.
//
// The checks give back an empty text when they pass, otherwise the first failure,
// so that the calling test function stops on it through KORDEL_VERIFY_NO_FAILURE.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRandomGenerator>
#include <QSize>
#include <QString>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <cstdint>
#include <functional>
#include <random>

#include "spi_harness.h"

// Fails the calling test function with the text that `check` gives, if any.
#define KORDEL_VERIFY_NO_FAILURE(check)         \
    do {                                        \
        const QString kordelFailure_ = (check); \
        if (!kordelFailure_.isEmpty())          \
            QFAIL(qPrintable(kordelFailure_));  \
    } while (false)

namespace kordel::test {

// A private temporary folder for the files a test hands to a plug-in.
class TestFiles {
public:
    bool isValid() const { return dir_.isValid(); }
    QString folder() const { return dir_.path(); }
    QString path(const QString& name) const { return dir_.filePath(name); }
    // Writes `data` as the named file and gives its path. The file is rewritten in
    // place rather than truncated: the cut and damage loops rewrite one file
    // thousands of times, and freeing its blocks every time is slow on some file
    // systems.
    QString write(const QString& name, const QByteArray& data);

private:
    QTemporaryDir dir_;
};

// Sends stderr to a file for as long as it lives, to show that a library wrote
// nothing there.
class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;
    // Ends the capture and gives what was written.
    QByteArray text();

private:
    void restore();
    QTemporaryFile file_;
    int saved_ = -1;
};

// Result codes a check accepts.
using Codes = QList<int>;

// Empty when `code` is one of `accepted`; otherwise says which it was.
QString codeOutside(int code, const Codes& accepted);

// GetPluginInfo answers: "00IN", a name, `extensions`, a format name, and nothing
// past them.
QString pluginInfoMismatch(SpiModule& spi, const QByteArray& extensions);

// What a sound file must give.
struct Expected {
    QImage image{};     // when not null: the colours, alpha aside
    QSize size{};       // when not valid: the image's
    int depth = 0;      // colour depth the info tells; 0: not checked
    int bitCount = 0;   // of the delivered DIB; 0: not checked
    QSize densities{};  // x and y density the info tells; empty: not checked
};

// Asks the info and the picture of `path`: both succeed, the picture comes
// bottom-up and as `want` tells. `result`, when given, receives the picture for
// checks of the caller's own.
QString decodeMismatch(SpiModule& spi,
                       const QString& path,
                       const Expected& want,
                       SpiModule::Result* result = nullptr);

// Progress while decoding `path`: non-decreasing reports of `lines` in all, the
// last one complete, at least `minCalls` of them. Cancelling at the first and at
// the last report both cancel and deliver no picture.
QString progressMismatch(SpiModule& spi, const QString& path, int lines, int minCalls);

// Which cuts of a file to decode, and what each may give.
struct Cuts {
    QString name{};      // the file each cut is written to
    Codes accepted{};    // what any cut may give
    qsizetype from = 0;  // the first length tried
    qsizetype step = 1;  // between two lengths tried
    QSize size{};        // when valid: the size of a picture that still decodes
};
// A test's own rule for one cut: empty when its result is right.
using CutRule = std::function<QString(qsizetype length, const SpiModule::Result& result)>;

// Decodes data.left(n) for each length n of `cuts` below data.size().
QString checkCuts(SpiModule& spi,
                  TestFiles& files,
                  const QByteArray& data,
                  const Cuts& cuts,
                  const CutRule& rule = {});

// How the damage rounds change a copy: one to four random bytes, each set to any
// value or flipped (xor with a non-zero value).
struct Damage {
    QString name{};        // the file each damaged copy is written to
    Codes accepted{};      // what the info and the picture may give
    int rounds = 0;        // damaged copies, taken from the originals in turn
    bool set = false;      // bytes set rather than flipped
    bool preview = false;  // the preview too gives one of `accepted`
};
struct DamageReport {
    QString failure;  // empty when every round passed
    int decoded = 0;  // rounds whose picture still decoded
};

// Decodes damaged copies drawn from the test's own generator: each gives one of
// `accepted`; where the info fails the picture fails alike, and a picture that
// decodes has the size the info told.
DamageReport checkDamage(SpiModule& spi,
                         TestFiles& files,
                         const QList<QByteArray>& originals,
                         const Damage& damage,
                         QRandomGenerator& rng);
DamageReport checkDamage(SpiModule& spi,
                         TestFiles& files,
                         const QList<QByteArray>& originals,
                         const Damage& damage,
                         std::mt19937& rng);

// The picture shipped as `path` in samples/: `file` stays under 30 KiB and is
// written there when KORDEL_WRITE_SAMPLES is set; the file there decodes.
QString sampleMismatch(SpiModule& spi, const QString& path, const QByteArray& file);

// An n-bit channel widened to 8 bits by repeating its bits from the top.
int widen(uint32_t value, int bits);

}  // namespace kordel::test
