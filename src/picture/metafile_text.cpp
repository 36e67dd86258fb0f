// Text in metafiles: 8-bit strings in the code page of the font's charset, symbol fonts, and
// the mapping of Windows face names onto the fonts installed here.
#include <QStringDecoder>

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

}  // namespace kordel::mf
