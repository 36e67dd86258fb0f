#include "plugin_tests.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cstdio>

namespace kordel::test {

QString TestFiles::write(const QString& name, const QByteArray& data) {
    const QString path = dir_.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite) || f.write(data) != data.size() || !f.resize(data.size()))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

StderrCapture::StderrCapture() : file_(QDir::tempPath() + "/kordel-stderr-XXXXXX") {
    if (!file_.open())
        qFatal("cannot capture stderr");
    std::fflush(stderr);
    saved_ = dup(2);
    dup2(file_.handle(), 2);
}

StderrCapture::~StderrCapture() {
    restore();
}

QByteArray StderrCapture::text() {
    restore();
    QFile f(file_.fileName());
    if (!f.open(QIODevice::ReadOnly))
        return "(capture lost)";
    return f.readAll();
}

void StderrCapture::restore() {
    if (saved_ < 0)
        return;
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    saved_ = -1;
}

QString codeOutside(int code, const Codes& accepted) {
    if (accepted.contains(code))
        return {};
    QStringList names;
    for (int c : accepted)
        names << QString::number(c);
    return QStringLiteral("result %1, want %2").arg(code).arg(names.join(u'/'));
}

QString pluginInfoMismatch(SpiModule& spi, const QByteArray& extensions) {
    if (spi.pluginInfo(0) != "00IN")
        return QStringLiteral("API version \"%1\"").arg(QString::fromLatin1(spi.pluginInfo(0)));
    if (spi.pluginInfo(1).isEmpty())
        return QStringLiteral("no plug-in name");
    if (spi.pluginInfo(2) != extensions)
        return QStringLiteral("extensions \"%1\"").arg(QString::fromLatin1(spi.pluginInfo(2)));
    if (spi.pluginInfo(3).isEmpty())
        return QStringLiteral("no format name");
    if (!spi.pluginInfo(4).isEmpty())
        return QStringLiteral("a fifth entry");
    return {};
}

QString decodeMismatch(SpiModule& spi,
                       const QString& path,
                       const Expected& want,
                       SpiModule::Result* result) {
    const QSize size = want.size.isValid() ? want.size : want.image.size();
    PictureInfo info;
    const int infoCode = spi.pictureInfo(path, info);
    if (infoCode != SPI_OK)
        return QStringLiteral("info: result %1").arg(infoCode);
    if (QSize(info.width, info.height) != size)
        return QStringLiteral("info: size %1x%2").arg(info.width).arg(info.height);
    if (want.depth && info.colorDepth != want.depth)
        return QStringLiteral("info: depth %1").arg(info.colorDepth);
    if (!want.densities.isEmpty() && QSize(info.x_density, info.y_density) != want.densities)
        return QStringLiteral("info: densities %1:%2").arg(info.x_density).arg(info.y_density);

    const SpiModule::Result r = spi.picture(path);
    if (result)
        *result = r;
    if (r.code != SPI_OK)
        return QStringLiteral("picture: result %1").arg(r.code);
    if (want.bitCount && r.bitCount != want.bitCount)
        return QStringLiteral("picture: %1 bits a pixel").arg(r.bitCount);
    if (r.height <= 0)
        return QStringLiteral("picture: rows not bottom-up");
    if (r.image.size() != size)
        return QStringLiteral("picture: size %1x%2").arg(r.image.width()).arg(r.image.height());
    if (!want.image.isNull()) {
        const QString diff = firstDifference(r.image, want.image);
        if (!diff.isEmpty())
            return QStringLiteral("picture: ") + diff;
    }
    return {};
}

QString progressMismatch(SpiModule& spi, const QString& path, int lines, int minCalls) {
    QList<QPair<int, int>> calls;
    SpiModule::Result r = spi.picture(path, 0, [&](int done, int total) {
        calls.append({done, total});
        return 0;
    });
    if (r.code != SPI_OK)
        return QStringLiteral("result %1").arg(r.code);
    if (calls.size() < minCalls)
        return QStringLiteral("%1 progress reports").arg(calls.size());
    for (int i = 0; i < calls.size(); ++i) {
        if (calls[i].second != lines || (i > 0 && calls[i].first < calls[i - 1].first))
            return QStringLiteral("report %1: %2 of %3")
                .arg(i)
                .arg(calls[i].first)
                .arg(calls[i].second);
    }
    if (calls.isEmpty() || calls.last().first != lines)
        return QStringLiteral("no complete report at the end");

    r = spi.picture(path, 0, [](int, int) { return 1; });
    if (r.code != SPI_CANCELLED || r.progressCalls != 1 || !r.image.isNull())
        return QStringLiteral("cancelled at once: result %1 after %2 reports")
            .arg(r.code)
            .arg(r.progressCalls);
    r = spi.picture(path, 0, [](int done, int total) { return done == total ? 1 : 0; });
    if (r.code != SPI_CANCELLED || !r.image.isNull())
        return QStringLiteral("cancelled at the end: result %1").arg(r.code);
    return {};
}

QString checkCuts(SpiModule& spi,
                  TestFiles& files,
                  const QByteArray& data,
                  const Cuts& cuts,
                  const CutRule& rule) {
    for (qsizetype n = cuts.from; n < data.size(); n += cuts.step) {
        const SpiModule::Result r = spi.picture(files.write(cuts.name, data.left(n)));
        QString failure = codeOutside(r.code, cuts.accepted);
        if (failure.isEmpty() && r.code == SPI_OK && cuts.size.isValid() &&
            r.image.size() != cuts.size)
            failure = QStringLiteral("size %1x%2").arg(r.image.width()).arg(r.image.height());
        if (failure.isEmpty() && rule)
            failure = rule(n, r);
        if (!failure.isEmpty())
            return QStringLiteral("cut at %1 of %2: %3").arg(n).arg(data.size()).arg(failure);
    }
    return {};
}

QString sampleMismatch(SpiModule& spi, const QString& path, const QByteArray& file) {
    if (file.size() >= 30 * 1024)
        return QStringLiteral("sample of %1 bytes").arg(file.size());
    if (qEnvironmentVariableIsSet("KORDEL_WRITE_SAMPLES")) {
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(file) != file.size())
            return QStringLiteral("cannot write ") + path;
    }
    if (QFile::exists(path)) {
        const int code = spi.picture(path).code;
        if (code != SPI_OK)
            return QStringLiteral("%1: result %2").arg(path).arg(code);
    }
    return {};
}

namespace {

using Draw = std::function<QByteArray(const QByteArray&)>;

DamageReport runDamage(SpiModule& spi,
                       TestFiles& files,
                       const QList<QByteArray>& originals,
                       const Damage& damage,
                       const Draw& draw) {
    DamageReport report;
    for (int round = 0; round < damage.rounds; ++round) {
        const QString path = files.write(damage.name, draw(originals[round % originals.size()]));
        PictureInfo info;
        const int infoCode = spi.pictureInfo(path, info);
        const SpiModule::Result r = spi.picture(path);
        QString failure = codeOutside(r.code, damage.accepted);
        if (failure.isEmpty() && infoCode != SPI_OK && r.code != infoCode)
            failure = QStringLiteral("info %1, picture %2").arg(infoCode).arg(r.code);
        if (failure.isEmpty() && r.code == SPI_OK &&
            r.image.size() != QSize(info.width, info.height))
            failure = QStringLiteral("size %1x%2, info %3x%4")
                          .arg(r.image.width())
                          .arg(r.image.height())
                          .arg(info.width)
                          .arg(info.height);
        if (failure.isEmpty() && damage.preview)
            failure = codeOutside(spi.picture(path, 0, {}, true).code, damage.accepted);
        if (!failure.isEmpty()) {
            report.failure = QStringLiteral("round %1: %2").arg(round).arg(failure);
            return report;
        }
        if (r.code == SPI_OK)
            ++report.decoded;
    }
    return report;
}

}  // namespace

// The value of each change is drawn before its position. Set bytes take their
// position from the 64-bit bound and flipped ones from the 32-bit bound, so that a
// seed keeps giving the same files.
DamageReport checkDamage(SpiModule& spi,
                         TestFiles& files,
                         const QList<QByteArray>& originals,
                         const Damage& damage,
                         QRandomGenerator& rng) {
    return runDamage(spi, files, originals, damage, [&](QByteArray data) {
        const int changes = 1 + int(rng.bounded(4));
        for (int i = 0; i < changes; ++i) {
            if (damage.set) {
                const char value = char(rng.bounded(256));
                data[int(rng.bounded(data.size()))] = value;
            } else {
                const char value = char(1 + rng.bounded(255));
                data[int(rng.bounded(uint32_t(data.size())))] ^= value;
            }
        }
        return data;
    });
}

DamageReport checkDamage(SpiModule& spi,
                         TestFiles& files,
                         const QList<QByteArray>& originals,
                         const Damage& damage,
                         std::mt19937& rng) {
    return runDamage(spi, files, originals, damage, [&](QByteArray data) {
        for (int k = 1 + int(rng() % 4); k > 0; --k) {
            const char value = damage.set ? char(rng() % 256) : char(1 + rng() % 255);
            const qsizetype at = qsizetype(rng() % uint32_t(data.size()));
            if (damage.set)
                data[at] = value;
            else
                data[at] ^= value;
        }
        return data;
    });
}

int widen(uint32_t value, int bits) {
    int r = 0;
    for (int k = 0; k < 8; ++k)
        r |= int((value >> (bits - 1 - k % bits)) & 1) << (7 - k);
    return r;
}

}  // namespace kordel::test
