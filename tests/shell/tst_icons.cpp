#include "shell/icons.h"

#include <QDir>
#include <QImageReader>
#include <QTest>

class TestIcons : public QObject {
    Q_OBJECT

private slots:
    // What the program stores shows exactly what was drawn.
    void everyStoredPictureMatchesItsDrawing()
    {
        const QDir drawn(QStringLiteral(CORVATEK_ICON_SOURCES));
        const QStringList names = QStringLiteral(CORVATEK_ICON_NAMES).split(QLatin1Char(','));
        QVERIFY(names.size() > 5);
        for (const QString& name : names) {
            QImageReader reader(drawn.filePath(name + QStringLiteral(".png")));
            const QImage expected = reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
            QVERIFY2(!expected.isNull(), qPrintable(name));
            const QImage stored =
                corvatek::shell::iconPixmap(name).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
            QVERIFY2(stored == expected, qPrintable(name));
        }
        const QList<QPixmap> navigation = corvatek::shell::navigationIcons();
        QCOMPARE(navigation.size(), 23);
        QVERIFY(navigation[3].toImage() != navigation[4].toImage());
        QVERIFY(corvatek::shell::iconPixmap(QStringLiteral("no-such-picture")).isNull());
    }

    void pixelsMustHoldTheSizeTheyGive()
    {
        // 2 x 1: an opaque red pixel, then a half-transparent white one.
        const QByteArray pixels("\x02\x00\x01\x00"
                                "\xff\x00\x00\xff"
                                "\x80\x80\x80\x80",
            12);
        const QImage image = corvatek::shell::imageFromPixels(pixels);
        QCOMPARE(image.size(), QSize(2, 1));
        QCOMPARE(image.pixelColor(0, 0), QColor(255, 0, 0));
        QCOMPARE(image.pixelColor(1, 0).alpha(), 128);
        QCOMPARE(image.pixelColor(1, 0).red(), 255);
        // Misaligned bytes are copied, not read in place.
        const QByteArray shifted = QByteArray(1, '\0') + pixels;
        QCOMPARE(corvatek::shell::imageFromPixels(QByteArrayView(shifted).sliced(1)), image);

        QVERIFY(corvatek::shell::imageFromPixels(pixels.first(11)).isNull());
        QVERIFY(corvatek::shell::imageFromPixels(pixels + "x").isNull());
        QVERIFY(corvatek::shell::imageFromPixels(QByteArray("\x02\x00", 2)).isNull());
        QVERIFY(corvatek::shell::imageFromPixels(QByteArray("\xff\xff\xff\xff", 4)).isNull());
    }
};

QTEST_MAIN(TestIcons)
#include "tst_icons.moc"
