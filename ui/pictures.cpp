#include "pictures.h"

#include <QApplication>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>

#include <vector>

namespace {

// A reader of the window's own PNG files. Told their format and not to guess it, Qt reads
// them with its built-in decoder; left to guess, it first loads every image format plugin
// installed to ask each whether it reads PNG.
struct PngReader : QImageReader
{
    explicit PngReader(const QString &file) : QImageReader(file, "png")
    {
        setAutoDetectImageFormat(false);
    }
};

QStringList &decodedFiles()
{
    static QStringList files;
    return files;
}

// Qt's own icon engine (6.4) decodes every file it is given as it is given, and hands out a
// 2x picture only at scale 2 or more; at 1.5 it stretches the 1x one, blurred. This one
// keeps the names and decodes a copy when a scale first asks for it.
class PictureEngine final : public QIconEngine
{
public:
    explicit PictureEngine(const QStringList &files)
    {
        for (const QString &file : files)
            m_pictures.push_back({QStringLiteral(":/pictures/") + file, {}, {}});
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1);
    }

    // size is in the screen's pixels, for a screen of the given scale.
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State, qreal scale) override
    {
        for (const Made &made : m_made)
            if (made.size == size && made.scale == scale && made.mode == mode)
                return made.pixmap;
        Picture &picture = closest(size / scale);
        const QSize pixels = shownSize(picture, size / scale) * scale;
        // The plain copy is sharp up to scale 1; beyond, the doubled one is the sharpest
        // there is, brought down where it is larger than the screen's pixels and left for
        // the painter to enlarge above scale 2.
        QPixmap made = copy(picture, scale > 1 ? 1 : 0);
        if (made.width() > pixels.width() || made.height() > pixels.height())
            made = made.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (mode != QIcon::Normal) {
            QStyleOption option;
            option.palette = QGuiApplication::palette();
            made = QApplication::style()->generatedIconPixmap(mode, made, &option);
        }
        // A window asks again at every paint, in one size or two per mode.
        if (m_made.size() == 8)
            m_made.erase(m_made.begin());
        m_made.push_back({size, scale, mode, made});
        return made;
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale = painter->device()->devicePixelRatio();
        painter->drawPixmap(rect, scaledPixmap(rect.size() * scale, mode, state, scale));
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        return shownSize(closest(size), size);
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (Picture &picture : m_pictures)
            sizes << sizeOf(picture);
        return sizes;
    }

    QIconEngine *clone() const override { return new PictureEngine(*this); }
    QString key() const override { return QStringLiteral("crtest.pictures"); }

private:
    struct Picture
    {
        QString file;
        QSize size; // of the plain copy, in device-independent pixels, once known
        QPixmap copies[2]; // the plain one and the doubled one, once decoded
    };
    struct Made
    {
        QSize size;
        qreal scale;
        QIcon::Mode mode;
        QPixmap pixmap;
    };

    // Read from the file's header: the pixels stay where they are.
    static QSize sizeOf(Picture &picture)
    {
        if (!picture.size.isValid())
            picture.size = PngReader(picture.file).size();
        return picture.size;
    }
    // The picture's size, brought down to fit the space asked for.
    static QSize shownSize(Picture &picture, QSize space)
    {
        const QSize size = sizeOf(picture);
        return size.width() <= space.width() && size.height() <= space.height()
                ? size
                : size.scaled(space, Qt::KeepAspectRatio);
    }
    static QPixmap copy(Picture &picture, int which)
    {
        QPixmap &pixmap = picture.copies[which];
        if (pixmap.isNull()) {
            const QString &file = picture.file;
            const QString name =
                    which ? QString(file).insert(file.lastIndexOf(u'.'), u"@2x") : file;
            pixmap = QPixmap::fromImage(PngReader(name).read());
            decodedFiles() << name;
        }
        return pixmap;
    }
    // As Qt picks: the smallest picture that fills the space, or else the largest.
    Picture &closest(QSize space)
    {
        const auto fills = [space](QSize s) {
            return s.width() >= space.width() && s.height() >= space.height();
        };
        const auto area = [](QSize s) { return qint64(s.width()) * s.height(); };
        Picture *best = &m_pictures.front();
        for (Picture &picture : m_pictures) {
            const QSize size = sizeOf(picture), bestSize = sizeOf(*best);
            const bool better = fills(size) == fills(bestSize)
                    ? (fills(size) ? area(size) < area(bestSize) : area(size) > area(bestSize))
                    : fills(size);
            if (better)
                best = &picture;
        }
        return *best;
    }

    std::vector<Picture> m_pictures;
    std::vector<Made> m_made;
};

} // namespace

QIcon iconOf(const QStringList &files)
{
    return QIcon(new PictureEngine(files));
}

QStringList decodedPictures()
{
    return decodedFiles();
}
