// Text in metafiles: 8-bit strings in the code page of the font's charset, symbol fonts, the
// mapping of Windows face names onto the fonts installed here, and the drawing of text runs.
#include <QFontInfo>
#include <QFontMetricsF>
#include <QHash>
#include <QStringDecoder>
#include <algorithm>
#include <cmath>
#include <limits>

#include "metafile_state.h"

namespace kordel::mf {

namespace {

// Adobe Symbol encoding, 0x20..0xFF (0 where the font has no glyph).
const char16_t kSymbol[224] = {
    // 0x20
    0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220B, 0x0028, 0x0029, 0x2217, 0x002B,
    0x002C, 0x2212, 0x002E, 0x002F,
    // 0x30
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037, 0x0038, 0x0039, 0x003A, 0x003B,
    0x003C, 0x003D, 0x003E, 0x003F,
    // 0x40
    0x2245, 0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393, 0x0397, 0x0399, 0x03D1, 0x039A,
    0x039B, 0x039C, 0x039D, 0x039F,
    // 0x50
    0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9, 0x039E, 0x03A8, 0x0396, 0x005B,
    0x2234, 0x005D, 0x22A5, 0x005F,
    // 0x60
    0x203E, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3, 0x03B7, 0x03B9, 0x03D5, 0x03BA,
    0x03BB, 0x03BC, 0x03BD, 0x03BF,
    // 0x70
    0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4, 0x03C5, 0x03D6, 0x03C9, 0x03BE, 0x03C8, 0x03B6, 0x007B,
    0x007C, 0x007D, 0x223C, 0x0000,
    // 0x80
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0x90
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0xA0
    0x20AC, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663, 0x2666, 0x2665, 0x2660, 0x2194,
    0x2190, 0x2191, 0x2192, 0x2193,
    // 0xB0
    0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022, 0x00F7, 0x2260, 0x2261, 0x2248,
    0x2026, 0x23D0, 0x23AF, 0x21B5,
    // 0xC0
    0x2135, 0x2111, 0x211C, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229, 0x222A, 0x2283, 0x2287, 0x2284,
    0x2282, 0x2286, 0x2208, 0x2209,
    // 0xD0
    0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5, 0x00AC, 0x2227, 0x2228, 0x21D4,
    0x21D0, 0x21D1, 0x21D2, 0x21D3,
    // 0xE0
    0x25CA, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211, 0x239B, 0x239C, 0x239D, 0x23A1, 0x23A2, 0x23A3,
    0x23A7, 0x23A8, 0x23A9, 0x23AA,
    // 0xF0
    0x0000, 0x232A, 0x222B, 0x2320, 0x23AE, 0x2321, 0x239E, 0x239F, 0x23A0, 0x23A4, 0x23A5, 0x23A6,
    0x23AB, 0x23AC, 0x23AD, 0x0000};

QString plainFace(const QString& face) {
    QString f = face.trimmed();
    if (f.startsWith(QLatin1Char('@')))
        f.remove(0, 1);  // vertical-writing variant of the same font
    return f;
}

QString normalisedFace(const QString& face) {
    return plainFace(face)
        .normalized(QString::NormalizationForm_KC)
        .toLower()
        .remove(QLatin1Char(' '));
}

// Dingbat fonts whose codes have no Unicode meaning we could draw.
bool isPictureFont(const QString& norm) {
    return norm.contains(QLatin1String("wingdings")) || norm.contains(QLatin1String("webdings")) ||
           norm.contains(QLatin1String("mtextra")) || norm.contains(QLatin1String("marlett"));
}

struct CodePage {
    const char* name;
    bool dbcs;
};

CodePage codePageFor(int charset) {
    switch (charset) {
        case 0:
            return {"windows-1252", false};
        case 77:
            return {"macintosh", false};
        case 128:
            return {"Shift_JIS", true};
        case 129:
        case 130:
            return {"windows-949", true};
        case 134:
            return {"GBK", true};
        case 136:
            return {"Big5", true};
        case 161:
            return {"windows-1253", false};
        case 162:
            return {"windows-1254", false};
        case 163:
            return {"windows-1258", false};
        case 177:
            return {"windows-1255", false};
        case 178:
            return {"windows-1256", false};
        case 186:
            return {"windows-1257", false};
        case 204:
            return {"windows-1251", false};
        case 222:
            return {"windows-874", false};
        case 238:
            return {"windows-1250", false};
        default:
            // DEFAULT and OEM follow the system code page; Kordel's files come from Japanese
            // systems, so Shift-JIS first (the caller falls back to 1252 on invalid bytes).
            return {"Shift_JIS", true};
    }
}

bool isLeadByte(const char* codec, uchar b) {
    if (qstrcmp(codec, "Shift_JIS") == 0)
        return (b >= 0x81 && b <= 0x9f) || (b >= 0xe0 && b <= 0xfc);
    return b >= 0x81 && b <= 0xfe;
}

// Decodes character by character so that each unit knows how many source bytes it came from.
bool decodeSplit(const QByteArray& bytes, const CodePage& cp, DecodedText& out) {
    QStringDecoder dec(cp.name, QStringDecoder::Flag::Stateless);
    if (!dec.isValid())
        dec = QStringDecoder(QStringDecoder::Latin1);
    out.text.clear();
    out.bytesPerUnit.clear();
    const int n = int(bytes.size());
    for (int i = 0; i < n;) {
        const int len = (cp.dbcs && i + 1 < n && isLeadByte(cp.name, uchar(bytes[i]))) ? 2 : 1;
        const QString part = dec.decode(QByteArrayView(bytes.constData() + i, len));
        if (dec.hasError())
            return false;
        for (int k = 0; k < part.size(); ++k) {
            out.text.append(part[k]);
            out.bytesPerUnit.append(k == 0 ? len : 0);
        }
        i += len;
    }
    return true;
}

}  // namespace

bool isSymbolFace(const FontDef& font) {
    const QString norm = normalisedFace(font.face);
    return font.charset == 2 || norm == QLatin1String("symbol") || isPictureFont(norm);
}

DecodedText decodeAnsiText(const QByteArray& bytes, int charset, const QString& face) {
    DecodedText out;
    FontDef f;
    f.charset = charset;
    f.face = face;
    if (isSymbolFace(f)) {
        out.symbol = true;
        const bool pictures = isPictureFont(normalisedFace(face));
        for (char c : bytes) {
            const uchar b = uchar(c);
            char16_t u;
            if (pictures)
                u = char16_t(0xf000 + b);
            else
                u = b >= 0x20 ? kSymbol[b - 0x20] : char16_t(b);
            out.text.append(QChar(u ? u : char16_t(0xfffd)));
            out.bytesPerUnit.append(1);
        }
        return out;
    }
    const CodePage cp = codePageFor(charset);
    const bool fallback =
        !(charset == 128 || charset == 129 || charset == 130 || charset == 134 || charset == 136);
    if (!decodeSplit(bytes, cp, out)) {
        if (fallback) {
            decodeSplit(bytes, {"windows-1252", false}, out);
        } else {
            // Keep what decodes; invalid bytes become replacement characters.
            QStringDecoder dec(cp.name, QStringDecoder::Flag::Stateless);
            out.text.clear();
            out.bytesPerUnit.clear();
            const int n = int(bytes.size());
            for (int i = 0; i < n;) {
                const int len = (i + 1 < n && isLeadByte(cp.name, uchar(bytes[i]))) ? 2 : 1;
                QString part = dec.isValid()
                                   ? dec.decode(QByteArrayView(bytes.constData() + i, len))
                                   : QString(QChar(0xfffd));
                if (part.isEmpty())
                    part = QString(QChar(0xfffd));
                for (int k = 0; k < part.size(); ++k) {
                    out.text.append(part[k]);
                    out.bytesPerUnit.append(k == 0 ? len : 0);
                }
                i += len;
            }
        }
    }
    return out;
}

QString decodeFaceName(const QByteArray& raw, int charset) {
    QByteArray bytes = raw;
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    bool ascii = true;
    for (char c : bytes)
        ascii = ascii && uchar(c) < 0x80;
    if (ascii)
        return QString::fromLatin1(bytes);
    if (charset == 2)
        charset = 0;  // a symbol font's own name is plain text
    return decodeAnsiText(bytes, charset, QString()).text;
}

QStringList fontFamiliesFor(const FontDef& font) {
    const QString face = plainFace(font.face);
    const QString norm = normalisedFace(font.face);
    if (isSymbolFace(font) && !isPictureFont(norm))
        return {QStringLiteral("DejaVu Serif")};  // the codes are mapped to Unicode already
    // Japanese Windows faces have metric-alike IPA fonts here.
    if (norm.contains(QStringLiteral("明朝")) || norm.contains(QLatin1String("mincho")))
        return {QStringLiteral("IPAPMincho"), face};
    if (norm.contains(QStringLiteral("ゴシック")) ||
        (norm.startsWith(QLatin1String("ms")) && norm.contains(QLatin1String("gothic"))) ||
        norm.contains(QLatin1String("meiryo")) || norm.contains(QStringLiteral("メイリオ")))
        return {QStringLiteral("IPAPGothic"), face};
    QStringList families;
    if (!face.isEmpty())
        families << face;
    // Japanese text in a Latin face falls back to these before anything else.
    if (font.charset == 128)
        families << ((font.pitchAndFamily & 0xf0) == 0x10 ? QStringLiteral("IPAPMincho")
                                                          : QStringLiteral("IPAPGothic"));
    return families;
}

namespace {

// How much longer a glyph may come out in one direction than in the other and still
// be drawn as text. Qt renders small text through its glyph cache, and it picks the
// cache by the glyph's area alone, so a glyph squeezed flat by the mapping would be
// rasterised at a length its font engine does not survive; such text is drawn as
// outlines instead.
constexpr double kMaxGlyphAspect = 16;

// The ratio of the longest to the shortest axis of what t does to a unit circle.
double aspectOf(const QTransform& t) {
    const double a = t.m11(), b = t.m12(), c = t.m21(), d = t.m22();
    const double sum = a * a + b * b + c * c + d * d;
    const double det = std::abs(a * d - b * c);
    const double root = std::sqrt(std::max(0.0, sum * sum - 4 * det * det));
    const double longest = std::sqrt((sum + root) / 2), shortest = det / longest;
    return shortest > 0 ? longest / shortest : std::numeric_limits<double>::infinity();
}

double emPerCell(const QFont& font) {
    static thread_local QHash<QString, double> cache;
    const QString key = font.key();
    auto it = cache.constFind(key);
    if (it != cache.constEnd())
        return *it;
    QFont f = font;
    f.setPixelSize(256);
    QFontMetricsF fm(f);
    const double cell = fm.ascent() + fm.descent();
    const double r = cell > 0 ? 256.0 / cell : 1.0;
    if (cache.size() > 256)
        cache.clear();
    cache.insert(key, r);
    return r;
}

bool substitutedByDingbats(QFont& f, QFont::StyleHint hint) {
    static thread_local QHash<QString, bool> cache;
    const QString key = f.families().join(QLatin1Char(','));
    auto it = cache.constFind(key);
    bool bad;
    if (it != cache.constEnd()) {
        bad = *it;
    } else {
        const QString resolved = QFontInfo(f).family().toLower();
        bad = resolved.contains(QLatin1String("d050000l")) ||
              resolved.contains(QLatin1String("dingbat")) ||
              resolved.contains(QLatin1String("standard symbols")) ||
              resolved.contains(QLatin1String("opensymbol"));
        if (cache.size() > 256)
            cache.clear();
        cache.insert(key, bad);
    }
    if (bad)
        f.setFamilies({hint == QFont::Serif       ? QStringLiteral("serif")
                       : hint == QFont::Monospace ? QStringLiteral("monospace")
                                                  : QStringLiteral("sans-serif")});
    return bad;
}

QFont makeFont(const FontDef& fd) {
    QFont f;
    // An empty family list would keep the default font (and must never be recorded).
    const QStringList families = fontFamiliesFor(fd);
    if (!families.isEmpty())
        f.setFamilies(families);
    const int family = fd.pitchAndFamily & 0xf0;
    QFont::StyleHint hint = QFont::SansSerif;
    if ((fd.pitchAndFamily & 3) == 1 || family == 0x30)
        hint = QFont::Monospace;
    else if (family == 0x10)
        hint = QFont::Serif;
    else if (family == 0x40)
        hint = QFont::Cursive;
    else if (family == 0x50)
        hint = QFont::Decorative;
    // A named face is left to the font configuration, which knows metric-compatible
    // substitutes; the hint would override them. But an unknown face may be "substituted" by
    // a dingbat font, which would turn words into pictures: then the hint decides.
    if (fd.face.isEmpty() || substitutedByDingbats(f, hint))
        f.setStyleHint(hint);
    const int w = fd.weight <= 0 ? 400 : std::clamp(fd.weight, 1, 1000);
    f.setWeight(QFont::Weight(w));
    f.setItalic(fd.italic);
    f.setUnderline(fd.underline);
    f.setStrikeOut(fd.strikeOut);
    f.setKerning(false);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Text

void Player::text(const TextRun& run) {
    const QTransform& t = transform();
    const FontDef& fd = s_.font;
    const bool updateCp = s_.textAlign & 1;
    const QPointF ref = updateCp ? s_.pos : run.ref;

    QPainterPath rectDevice;
    if (run.hasRect) {
        const QRectF r = run.rect.normalized();
        rectDevice = axisAligned() ? rectPath(deviceBox(r)) : mapPath(rectPath(r));
        if (run.options & EtoOpaque)
            fillDevice(rectDevice, QBrush(QColor(s_.bkColor)));
    }
    if (run.text.isEmpty() || (run.options & EtoGlyphIndex))
        return;  // glyph numbers of a font we do not have cannot be drawn

    // The glyph frame follows the mapping but stays upright and unmirrored; a
    // mapping that flips both axes does not turn the glyphs upside down either.
    QTransform a(t.m11(), t.m12(), t.m21(), t.m22(), 0, 0);
    const bool mirrored = a.determinant() < 0;
    if (mirrored)
        a = (t.m22() < 0 ? QTransform::fromScale(1, -1) : QTransform::fromScale(-1, 1)) * a;
    else if (t.m11() < 0 && t.m22() < 0 && t.m12() == 0 && t.m21() == 0)
        a = QTransform::fromScale(-1, -1) * a;
    const double ky = std::hypot(a.m21(), a.m22());
    if (!(ky > 0) || !std::isfinite(ky))
        return;

    QFont font = makeFont(fd);
    double em;
    if (fd.height < 0)
        em = -double(fd.height);
    else if (fd.height > 0)
        em = fd.height * emPerCell(font);
    else
        em = 13.0 / ky;  // the device's default font
    const double deviceEm = em * ky;
    if (!(deviceEm >= 0.5) || deviceEm > 1e5)
        return;
    const int px = std::clamp(int(std::lround(deviceEm)), 2, 4096);
    font.setPixelSize(px);
    const QFontMetricsF fm(font);
    const double s = em / px;  // logical units per glyph unit

    double stretch = 1;
    if (fd.width != 0) {
        const double avg = fm.averageCharWidth();
        if (avg > 0)
            stretch = std::clamp(std::abs(double(fd.width)) / s / avg, 0.05, 20.0);
    }

    // Positions along the baseline, in glyph units.
    const QString& str = run.text;
    const int n = int(str.size());
    QVector<double> xs(n + 1, 0), ys(n + 1, 0);
    // Dingbat fonts we do not have are not drawn, but still take their room.
    const bool perChar = !run.dx.isEmpty() || s_.charExtra != 0 || run.symbol;
    double x = 0, y = 0;
    if (!run.dx.isEmpty()) {
        for (int i = 0; i < n; ++i) {
            xs[i] = x;
            ys[i] = y;
            x += run.dx.value(i) / s;
            y += run.dy.value(i) / s;
        }
    } else if (perChar) {
        for (int i = 0; i < n; ++i) {
            xs[i] = x;
            const int len = (str[i].isHighSurrogate() && i + 1 < n) ? 2 : 1;
            if (i > 0 && str[i].isLowSurrogate())
                continue;
            x += fm.horizontalAdvance(str.mid(i, len)) * stretch + s_.charExtra / s;
        }
    } else {
        x = fm.horizontalAdvance(str) * stretch;
    }
    const double width = x;

    double x0 = 0;
    switch (s_.textAlign & 6) {
        case 6:
            x0 = -width / 2;
            break;
        case 2:
            x0 = -width;
            break;
    }
    double base = 0;
    switch (s_.textAlign & 24) {
        case 0:
            base = fm.ascent();
            break;
        case 8:
            base = -fm.descent();
            break;
    }

    // Escapement turns the baseline counter-clockwise on the device; a mapping that
    // flips one axis turns it the other way (3600 - e), so that the 2700 of a y-up
    // chart's axis title reads bottom to top. Flipping both leaves it.
    QTransform rot;
    rot.rotate((mirrored ? fd.escapement : -fd.escapement) / 10.0);
    const QPointF p0 = map(ref);
    const QTransform frame =
        QTransform::fromScale(s, s) * a * rot * QTransform::fromTranslate(p0.x(), p0.y());
    if (!finite(frame))
        return;
    const QRectF cell(x0, base - fm.ascent(), width, fm.ascent() + fm.descent());

    if (s_.bkMode == 2 && !(run.hasRect && (run.options & EtoOpaque))) {
        QPainterPath bg;
        bg.addPolygon(frame.map(QPolygonF(cell)));
        bg.closeSubpath();
        fillDevice(clampPath(bg), QBrush(QColor(s_.bkColor)));
    }

    applyClip();
    const bool clipped = run.hasRect && (run.options & EtoClipped);
    if (clipped) {
        p_.setClipPath(rectDevice, Qt::IntersectClip);
        clipDirty_ = true;
    }
    const QTransform glyphs = QTransform::fromScale(stretch, 1) * frame;
    const bool asOutlines = !(aspectOf(glyphs) <= kMaxGlyphAspect);
    p_.setTransform(glyphs);
    p_.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p_.setOpacity(1);
    p_.setRenderHint(QPainter::Antialiasing, true);
    p_.setFont(font);
    p_.setPen(QColor(s_.textColor));
    p_.setBrush(Qt::NoBrush);
    QPainterPath outlines;
    const auto draw = [&](QPointF at, const QString& text) {
        if (asOutlines)
            outlines.addText(at, font, text);
        else
            p_.drawText(at, text);
    };
    if (!perChar) {
        draw(QPointF(x0 / stretch, base), str);
    } else {
        for (int i = 0; i < n; ++i) {
            if (str[i].isLowSurrogate() && i > 0)
                continue;
            const int len = (str[i].isHighSurrogate() && i + 1 < n) ? 2 : 1;
            const QString ch = str.mid(i, len);
            if (ch[0].isSpace() || (run.symbol && ch[0].unicode() >= 0xf000))
                continue;
            draw(QPointF((x0 + xs[i]) / stretch, base + ys[i]), ch);
        }
    }
    if (!outlines.isEmpty())
        p_.fillPath(outlines, QColor(s_.textColor));
    p_.setTransform(QTransform());
    noteBounds(frame.mapRect(cell));

    if (updateCp) {
        double adv = width * s;
        if (t.m11() < 0)
            adv = -adv;
        if ((s_.textAlign & 6) == 0)
            s_.pos.rx() += adv;
        else if ((s_.textAlign & 6) == 2)
            s_.pos.rx() -= adv;
    }
}

}  // namespace kordel::mf
