// The table of skin pictures.
//
// One text file lists every picture of the skin, one line each; the build renders the
// pictures from it and the program checks what it loads against it, so each size is
// written in one place. Lines:
//
//     id  width  height  kind  background  key  source
//
//   id          the resource id the code names the picture by (1..65535, unique)
//   width       size in pixels at scale 1; a strip of button frames is four frames wide
//   height
//   kind        BMP  an opaque colour bitmap
//               MASK a 1-bit mask (white = 1)
//               PNG  a picture with an alpha channel
//   background  RRGGBB: the colour a BMP is laid on where its art is see-through;
//               "-" for MASK and PNG
//   key         what the see-through parts of a BMP become: "black" or "white" (the
//               colour the drawing code leaves out when it blits), or "none" (laid on
//               the background colour); "-" for MASK and PNG
//   source      the SVG file (relative to the table), optionally followed by
//               ?name=value&name=value parameters; the rest of the line
//
// '#' starts a comment line; blank lines are ignored.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/base/WinTypes.h"

namespace orv {

enum class SkinKind { Bmp, Mask, Png };
enum class SkinKey { None, Black, White };

struct SkinPicture {
    int id = 0;
    int width = 0;
    int height = 0;
    SkinKind kind = SkinKind::Bmp;
    COLORREF background = 0;
    SkinKey key = SkinKey::None;
    std::string source;
};

// Reads the whole table; on the first bad line returns false with `error` naming the
// line, and leaves `out` empty.
bool ParseSkinManifest(std::string_view text, std::vector<SkinPicture>* out, std::string* error);

}  // namespace orv
