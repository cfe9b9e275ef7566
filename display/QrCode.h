// A QR code of a text, as a picture: black modules on white with the quiet
// zone around them, one pixel a module (scale it without smoothing).
#pragma once

#include <QImage>
#include <QString>

// A null image when the text does not fit in a QR code.
QImage QrCodeImage(const QString& text);
