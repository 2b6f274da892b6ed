// The icon theme's PNG sizes, read by Qt's own PNG and ICO readers: each
// pixel is the program's icon pixel it falls on, colour and transparency.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>
#include <QString>

#include "web/status_page.h"  // SiteIcon

namespace {

QImage programIcon() {
    const std::span<const std::uint8_t> ico = web::SiteIcon();
    return QImage::fromData(QByteArray(reinterpret_cast<const char*>(ico.data()),
                                       static_cast<qsizetype>(ico.size())),
                            "ICO")
        .convertToFormat(QImage::Format_ARGB32);
}

TEST(IconTheme, EverySizeIsTheProgramsIconScaledSharp) {
    const QImage icon = programIcon();
    ASSERT_EQ(icon.size(), QSize(32, 32));
    for (const int side : {16, 32, 48, 64, 128, 256}) {
        const QString file = QString(KELVARIAN_ICON_DIR "/kelvarian-%1.png").arg(side);
        QImage png(file);
        ASSERT_FALSE(png.isNull()) << file.toStdString();
        ASSERT_EQ(png.size(), QSize(side, side));
        png = png.convertToFormat(QImage::Format_ARGB32);
        int mismatches = 0;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const QRgb want = icon.pixel(x * 32 / side, y * 32 / side);
                const QRgb got = png.pixel(x, y);
                const bool same = qAlpha(want) == 0 ? qAlpha(got) == 0 : got == want;
                if (!same) ++mismatches;
            }
        }
        EXPECT_EQ(mismatches, 0) << side << " x " << side;
    }
}

}  // namespace
