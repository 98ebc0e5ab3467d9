// Renders the skin pictures from their SVG sources, at the sizes of the skin table.
//
//     render-skin SKIN_MANIFEST OUTPUT_DIR
//
// Writes OUTPUT_DIR/<id>.png for every line of the table and a copy of the table as
// OUTPUT_DIR/skin.manifest. A source may name parameters ("bar.svg?colour=#4080ff");
// each {{name}} in the SVG text is replaced by the value, and a value that names
// another .svg file is replaced by that file's content (without its <svg> element), so
// that a strip of button frames can take its glyph from a file of its own.
//
// The pictures are made ready for the way the program draws them:
//   BMP, key black/white  every pixel less than half covered becomes the key colour,
//                         every other pixel takes its full colour, so edges stay crisp
//                         against the colour the blit leaves out;
//   BMP, key none         laid on the background colour;
//   MASK                  half covered or more = white (1), else black (0);
//   PNG                   kept with its alpha.
// Pure black is reserved for the black key: a picture that has it anywhere else fails
// the build, as does a white pixel in a picture keyed on white.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/gdi/DeviceContext.h"
#include "platform/gdi/SkinManifest.h"

namespace {

using orv::SkinKey;
using orv::SkinKind;
using orv::SkinPicture;

bool ReadFile(const QString& path, QByteArray* out) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    *out = file.readAll();
    return true;
}

// The content of an SVG document between its <svg ...> and </svg> tags.
bool InnerSvg(const QByteArray& svg, QByteArray* out) {
    const int open = svg.indexOf("<svg");
    const int openEnd = open < 0 ? -1 : svg.indexOf('>', open);
    const int close = svg.lastIndexOf("</svg>");
    if (openEnd < 0 || close < openEnd) return false;
    *out = svg.mid(openEnd + 1, close - openEnd - 1);
    return true;
}

// The SVG text of a source with its parameters filled in.
bool ExpandSource(const QDir& dir, const QString& source, QByteArray* svg, QString* error) {
    const int query = source.indexOf(QLatin1Char('?'));
    const QString file = query < 0 ? source : source.left(query);
    if (!ReadFile(dir.filePath(file), svg)) {
        *error = QStringLiteral("cannot read %1").arg(file);
        return false;
    }
    if (query >= 0) {
        for (const QString& pair : source.mid(query + 1).split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
            const int eq = pair.indexOf(QLatin1Char('='));
            if (eq <= 0) {
                *error = QStringLiteral("bad parameter '%1'").arg(pair);
                return false;
            }
            const QString name = pair.left(eq);
            const QString value = pair.mid(eq + 1);
            QByteArray replacement = value.toUtf8();
            if (value.endsWith(QLatin1String(".svg"))) {
                QByteArray included;
                if (!ReadFile(dir.filePath(value), &included) || !InnerSvg(included, &replacement)) {
                    *error = QStringLiteral("cannot include %1").arg(value);
                    return false;
                }
            }
            svg->replace("{{" + name.toUtf8() + "}}", replacement);
        }
    }
    const QRegularExpressionMatch left = QRegularExpression(QStringLiteral("\\{\\{(\\w+)\\}\\}")).match(QString::fromUtf8(*svg));
    if (left.hasMatch()) {
        *error = QStringLiteral("parameter %1 not given").arg(left.captured(1));
        return false;
    }
    return true;
}

QString Where(int x, int y) { return QStringLiteral("(%1, %2)").arg(x).arg(y); }

// Turns the rendered art into the stored picture; false with a message on a rule broken.
bool Finish(const SkinPicture& p, const QImage& art, QImage* out, QString* error) {
    const QImage straight = art.convertToFormat(QImage::Format_ARGB32);
    const QRgb black = qRgb(0, 0, 0);
    const QRgb white = qRgb(255, 255, 255);

    if (p.kind == SkinKind::Png) {
        for (int y = 0; y < straight.height(); ++y)
            for (int x = 0; x < straight.width(); ++x) {
                const QRgb c = straight.pixel(x, y);
                if (qAlpha(c) >= 128 && (c | 0xFF000000u) == black) {
                    *error = QStringLiteral("pure black at %1").arg(Where(x, y));
                    return false;
                }
            }
        *out = straight;
        return true;
    }

    if (p.kind == SkinKind::Mask) {
        QImage mask(straight.size(), QImage::Format_Mono);
        mask.setColor(0, black);
        mask.setColor(1, white);
        for (int y = 0; y < straight.height(); ++y)
            for (int x = 0; x < straight.width(); ++x) mask.setPixel(x, y, qAlpha(straight.pixel(x, y)) >= 128 ? 1 : 0);
        *out = mask;
        return true;
    }

    QImage flat(straight.size(), QImage::Format_RGB32);
    if (p.key == SkinKey::None) {
        flat.fill(orv::ToQColor(p.background));
        QPainter painter(&flat);
        painter.drawImage(0, 0, art);
    } else {
        const QRgb key = p.key == SkinKey::Black ? black : white;
        for (int y = 0; y < straight.height(); ++y)
            for (int x = 0; x < straight.width(); ++x) {
                const QRgb c = straight.pixel(x, y);
                if (qAlpha(c) < 128) {
                    flat.setPixel(x, y, key);
                    continue;
                }
                if ((c | 0xFF000000u) == key) {
                    *error = QStringLiteral("art in the key colour at %1").arg(Where(x, y));
                    return false;
                }
                flat.setPixel(x, y, c | 0xFF000000u);
            }
    }
    if (p.key != SkinKey::Black) {
        for (int y = 0; y < flat.height(); ++y)
            for (int x = 0; x < flat.width(); ++x)
                if (flat.pixel(x, y) == black) {
                    *error = QStringLiteral("pure black at %1 in a picture not keyed on black").arg(Where(x, y));
                    return false;
                }
    }
    *out = flat;
    return true;
}

bool Render(const QDir& dir, const SkinPicture& p, const QString& outDir, QString* error) {
    QByteArray svg;
    if (!ExpandSource(dir, QString::fromStdString(p.source), &svg, error)) return false;
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) {
        *error = QStringLiteral("the SVG does not parse");
        return false;
    }
    QImage art(p.width, p.height, QImage::Format_ARGB32_Premultiplied);
    art.fill(Qt::transparent);
    {
        QPainter painter(&art);
        renderer.render(&painter, QRectF(0, 0, p.width, p.height));
    }
    QImage picture;
    if (!Finish(p, art, &picture, error)) return false;
    if (!picture.save(QStringLiteral("%1/%2.png").arg(outDir).arg(p.id), "PNG")) {
        *error = QStringLiteral("cannot write the PNG");
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: render-skin SKIN_MANIFEST OUTPUT_DIR\n");
        return 2;
    }
    const QString manifestPath = QString::fromLocal8Bit(argv[1]);
    const QString outDir = QString::fromLocal8Bit(argv[2]);

    QByteArray text;
    if (!ReadFile(manifestPath, &text)) {
        std::fprintf(stderr, "render-skin: cannot read %s\n", argv[1]);
        return 1;
    }
    std::vector<SkinPicture> pictures;
    std::string parseError;
    if (!orv::ParseSkinManifest(std::string_view(text.constData(), size_t(text.size())), &pictures, &parseError)) {
        std::fprintf(stderr, "render-skin: %s: %s\n", argv[1], parseError.c_str());
        return 1;
    }
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "render-skin: cannot make %s\n", argv[2]);
        return 1;
    }

    const QDir dir = QFileInfo(manifestPath).absoluteDir();
    int failures = 0;
    for (const SkinPicture& p : pictures) {
        QString error;
        if (!Render(dir, p, outDir, &error)) {
            std::fprintf(stderr, "render-skin: picture %d (%s): %s\n", p.id, p.source.c_str(),
                         error.toLocal8Bit().constData());
            ++failures;
        }
    }
    const QString copy = outDir + QStringLiteral("/skin.manifest");
    QFile::remove(copy);
    if (!QFile::copy(manifestPath, copy)) {
        std::fprintf(stderr, "render-skin: cannot copy the table\n");
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}
