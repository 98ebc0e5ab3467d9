#include "platform/gdi/SkinResources.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>

#include "platform/gdi/DeviceContext.h"

namespace orv {

const std::vector<SkinPicture>& SkinManifest() {
    static const std::vector<SkinPicture> table = [] {
        std::vector<SkinPicture> pictures;
        QFile file(QStringLiteral(":/skin/skin.manifest"));
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray text = file.readAll();
            ParseSkinManifest(std::string_view(text.constData(), size_t(text.size())), &pictures, nullptr);
        }
        return pictures;
    }();
    return table;
}

const SkinPicture* FindSkinPicture(int id) {
    for (const SkinPicture& p : SkinManifest())
        if (p.id == id) return &p;
    return nullptr;
}

QString SkinResourcePath(int id) { return QStringLiteral(":/skin/%1.png").arg(id); }

QImage ReadSkinResource(int id) {
    // Told the format and kept from guessing it, the reader uses its own PNG decoder; left
    // to guess, it would load every image format plugin to ask each one first.
    QImageReader reader(SkinResourcePath(id), "png");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

QImage LoadSkinBitmap(int id) {
    const SkinPicture* picture = FindSkinPicture(id);
    if (!picture) return QImage();
    const QImage stored = ReadSkinResource(id);
    if (stored.isNull() || stored.width() != picture->width || stored.height() != picture->height)
        return QImage();

    switch (picture->kind) {
    case SkinKind::Mask:
        return stored.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    case SkinKind::Png:
        return stored.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    case SkinKind::Bmp:
        break;
    }
    QImage flat(stored.size(), QImage::Format_RGB32);
    flat.fill(ToQColor(picture->background));
    QPainter painter(&flat);
    painter.drawImage(0, 0, stored);
    return flat;
}

}  // namespace orv
