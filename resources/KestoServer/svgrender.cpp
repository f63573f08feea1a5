// Build tool: renders an SVG drawing to a PNG or ICO file (by the output's suffix).
// Usage: vantel_svgrender <in.svg> <out.png|out.ico> [size]
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <in.svg> <out.png|out.ico> [size]\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString in = QString::fromLocal8Bit(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);
    QSvgRenderer svg(in);
    if (!svg.isValid()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    QSize size = svg.defaultSize();
    if (argc > 3) {
        const int side = QString::fromLocal8Bit(argv[3]).toInt();
        if (side > 0) size = size.scaled(side, side, Qt::KeepAspectRatio);
    }
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    svg.render(&p);
    p.end();
    QDir().mkpath(QFileInfo(out).absolutePath());
    QImageWriter writer(out, QFileInfo(out).suffix().toLower().toLatin1());
    if (!writer.write(image.convertToFormat(QImage::Format_ARGB32))) {
        std::fprintf(stderr, "cannot write %s: %s\n", argv[2], qPrintable(writer.errorString()));
        return 1;
    }
    return 0;
}
