// Build step: turns a PNG into the raw pixels the program stores, so that the
// program shows its pictures without an image decoder or format plugins.
//
// Output: width and height as 16-bit little-endian numbers, then the rows of
// premultiplied RGBA, four bytes a pixel.
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: icon_pixels INPUT.png OUTPUT.pixels\n");
        return 2;
    }
    QImageReader reader(QFile::decodeName(argv[1]), "png");
    QImage image = reader.read();
    if (image.isNull() || image.width() > 0xFFFF || image.height() > 0xFFFF) {
        std::fprintf(stderr, "icon_pixels: cannot read %s: %s\n", argv[1], qPrintable(reader.errorString()));
        return 1;
    }
    image.convertTo(QImage::Format_RGBA8888_Premultiplied);
    const auto width = quint16(image.width());
    const auto height = quint16(image.height());
    QByteArray bytes;
    bytes.reserve(4 + qsizetype(width) * height * 4);
    for (const quint16 size : {width, height}) {
        bytes.append(char(size & 0xFF));
        bytes.append(char(size >> 8));
    }
    for (int row = 0; row < height; ++row)
        bytes.append(reinterpret_cast<const char*>(image.constScanLine(row)), qsizetype(width) * 4);
    QSaveFile output(QFile::decodeName(argv[2]));
    if (!output.open(QIODevice::WriteOnly) || output.write(bytes) != bytes.size() || !output.commit()) {
        std::fprintf(stderr, "icon_pixels: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
