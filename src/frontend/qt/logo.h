// Koru's picture: an unfurling fern frond on a rounded tile, drawn at any
// size for the window icon, the dialogs and the desktop entry.
#pragma once

class QPainter;
class QRectF;
class QIcon;
class QImage;

namespace koru {

void DrawLogo(QPainter& painter, const QRectF& box);
QImage LogoImage(int size);
QIcon LogoIcon();

}  // namespace koru
