// The logo decoder: the project's JPEG decodes at its size; damaged data
// yields a null image instead of a crash or an exception through libjpeg.
#include <gtest/gtest.h>

#include <QFile>

#include "UnitMain/jpeg_image.h"

using namespace tivaro;

namespace {

QByteArray logoBytes() {
    QFile file(QString::fromUtf8(__FILE__).section(QLatin1Char('/'), 0, -4) +
               QStringLiteral("/resources/logo.jpg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(DecodeJpeg, TheLogoDecodesAt258x170) {
    const QByteArray bytes = logoBytes();
    ASSERT_FALSE(bytes.isEmpty());
    const QImage image = DecodeJpeg(bytes);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(258, 170));
    EXPECT_EQ(image.pixelColor(2, 2), QColor(Qt::white));  // the white margin, within JPEG noise
}

TEST(DecodeJpeg, DamagedDataYieldsANullImage) {
    const QByteArray logo = logoBytes();
    QByteArray badMarker = logo;
    badMarker[3] = '\x00';
    const QByteArray cases[] = {QByteArray(), QByteArray("not a jpeg at all"), logo.left(20),
                                QByteArray("\xFF\xD8\xFF\xD9", 4)};
    for (const QByteArray& data : cases) EXPECT_TRUE(DecodeJpeg(data).isNull()) << data.size() << " bytes";
    // A file cut short is finished by libjpeg with grey rows: an image, no crash.
    const QImage cut = DecodeJpeg(logo.left(logo.size() / 2));
    if (!cut.isNull()) {
        EXPECT_EQ(cut.size(), QSize(258, 170));
    }
    (void)DecodeJpeg(badMarker);  // whatever it yields, it returns
}

}  // namespace
