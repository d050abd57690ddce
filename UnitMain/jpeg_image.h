#pragma once
// Decodes a JPEG held in memory into a QImage with libjpeg. A damaged or
// foreign file yields a null image; libjpeg's errors end in a longjmp back to
// the decoder, never in an exception through its frames. Any thread.

#include <QByteArray>
#include <QImage>

namespace tivaro {

QImage DecodeJpeg(const QByteArray& data);

}  // namespace tivaro
