#pragma once

#include <QIcon>
#include <QPixmap>

namespace vxk {

// The file browser's four 16 by 16 pictures.
enum FileIcon { kIconFolder = 0, kIconFile = 1, kIconLuaFile = 2, kIconParent = 3 };

QIcon FileIconImage(FileIcon which);

// One picture drawn for a screen with ratio device pixels per logical pixel (16 * ratio square).
QPixmap FileIconPixmap(FileIcon which, int ratio);

}  // namespace vxk
