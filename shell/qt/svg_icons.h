#pragma once
// The window's pictures: the toolbar's image list and the program icon,
// drawn from the SVG files compiled into the program.

#include <QIcon>
#include <QString>

namespace kelvo {

// Number of images in the toolbar's image list.
inline constexpr int kToolbarImageCount = 13;
// Side of a toolbar image in pixels.
inline constexpr int kToolbarImageSize = 18;

// The resource path of image `index` of the list (play, stop, pause, skip
// back, skip forward, plus, minus, arrow up, arrow down, blank page, opening
// folder, diskette, eject); empty for an index outside it.
QString ToolbarImagePath(int index);
// Image `index` of the list at its own size and at twice that size.
QIcon ToolbarImage(int index);
// The program icon, sharp at 16 and 32 pixels.
QIcon ProgramIcon();
// Draws an SVG resource at the given sizes (square). The SVG renderer is used
// directly, so no image plug-in is needed at run time. Null when the file is
// missing or is no SVG.
QIcon SvgIcon(const QString& path, std::initializer_list<int> sizes);

}  // namespace kelvo
