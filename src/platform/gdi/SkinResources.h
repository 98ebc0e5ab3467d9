// The skin pictures that the program carries as resources.
//
// The build renders every picture of the skin table (SkinManifest.h) to PNG and embeds
// it as ":/skin/<id>.png", with the table itself as ":/skin/skin.manifest". These
// functions stand in for loading a bitmap resource by id.
#pragma once

#include <QImage>
#include <QString>

#include <vector>

#include "platform/gdi/SkinManifest.h"

namespace orv {

// The embedded table, read once; empty when the program carries none or it is bad.
const std::vector<SkinPicture>& SkinManifest();

// The table's line for `id`, or null.
const SkinPicture* FindSkinPicture(int id);

// The resource path of picture `id` as stored: ":/skin/<id>.png". A BMP is stored opaque,
// its see-through parts already in its key or background colour, so the stored picture
// is what a bitmap loader gets.
QString SkinResourcePath(int id);

// The picture `id` as stored (":/skin/<id>.png"), null when missing. Read as PNG without
// asking the image format plugins: they are not loaded for the skin.
QImage ReadSkinResource(int id);

// The picture `id` ready to draw, or a null image when the table does not list it or
// the embedded picture is missing or not of the listed size:
//   BMP  Format_RGB32, laid on the background colour (what a bitmap handle holds);
//   MASK Format_Mono, white = 1;
//   PNG  Format_ARGB32_Premultiplied with its alpha.
QImage LoadSkinBitmap(int id);

}  // namespace orv
