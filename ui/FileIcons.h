#pragma once

#include <QIcon>

namespace vxk {

// The file browser's four 16 by 16 pictures.
enum FileIcon { kIconFolder = 0, kIconFile = 1, kIconLuaFile = 2, kIconParent = 3 };

QIcon FileIconImage(FileIcon which);

}  // namespace vxk
