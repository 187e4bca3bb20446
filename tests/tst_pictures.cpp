// The window's pictures on a plain and on a scaled screen. Run once with QT_SCALE_FACTOR=1 and
// once with 2: on the scaled screen every picture must come from its copy drawn at twice the
// size, pixel for pixel, not from the 1x picture stretched, and at 1.5 from that copy brought
// down, not from the 1x one blown up; and only the copies the screen needs are decoded.
#include "formrig.h"
#include "picturebutton.h"
#include "pictures.h"

namespace {

QImage argb(const QImage &image) { return image.convertToFormat(QImage::Format_ARGB32); }
QImage resource(const QString &name) { return argb(QImage(":/pictures/" + name)); }

// Whether every opaque pixel of the picture lies somewhere in the shot exactly; transparent
// ones show the button's face and are left out.
bool shows(const QImage &shot, const QImage &picture)
{
    for (int top = 0; top + picture.height() <= shot.height(); ++top)
        for (int left = 0; left + picture.width() <= shot.width(); ++left) {
            bool same = true;
            for (int y = 0; same && y < picture.height(); ++y)
                for (int x = 0; same && x < picture.width(); ++x)
                    same = qAlpha(picture.pixel(x, y)) != 255
                            || shot.pixel(left + x, top + y) == picture.pixel(x, y);
            if (same)
                return true;
        }
    return false;
}

} // namespace

class PicturesTest : public QObject
{
    Q_OBJECT

    FormRig rig;
    CRTEST_Form *form = nullptr;
    qreal ratio = 0;

private slots:
    void initTestCase()
    {
        form = &rig.start();
        ratio = form->devicePixelRatio();
        // The scale must have taken, or the run at 2 would prove nothing.
        QCOMPARE(ratio, qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble());
        // Painted whole, the window has decoded each picture it shows in the copy for this
        // screen, and no other file.
        form->grab();
        QStringList decoded = decodedPictures(), shown = words(
                "exit_32.png help.png kick.png logo.png status_32.png");
        decoded.sort();
        if (ratio == 2)
            shown.replaceInStrings(".png", "@2x.png");
        QCOMPARE(decoded, shown.replaceInStrings(QRegularExpression("^"), ":/pictures/"));
    }

    // Each picture: the control that shows it, its size and its file, the copy at twice the
    // size beside it as NAME@2x.png. What reaches the screen must be the copy that fits the
    // screen's ratio, pixel for pixel, drawn neither smaller nor stretched; the window icon,
    // which the desktop draws, is checked as it is handed over.
    void shown_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QSize>("size");
        const auto row = [](const char *control, QSize size, const char *file) {
            QTest::newRow(file) << QString(control) << size;
        };
        row("Status_Cmd", {32, 32}, "status_32.png");
        row("Kick_Cmd", {78, 60}, "kick.png");
        row("cmdHelp", {64, 64}, "help.png");
        row("Exit_Cmd", {32, 32}, "exit_32.png");
        row("Image1", {242, 65}, "logo.png");
        row("window icon", {32, 32}, "window_icon_32.png");
        row("window icon", {16, 16}, "window_icon_16.png");
    }
    void shown()
    {
        QFETCH(QString, control);
        QFETCH(QSize, size);
        const QString plain = QTest::currentDataTag(), doubled = QString(plain).replace(".", "@2x.");
        // The copies really are twice the size: a 1x file renamed would pass the rest.
        QCOMPARE(resource(plain).size(), size);
        QCOMPARE(resource(doubled).size(), size * 2);
        const bool icon = control == "window icon";
        QWidget *widget = icon ? form : ::control(*form, control);
        const QImage shot = argb(icon ? form->windowIcon().pixmap(size, ratio).toImage()
                                      : widget->grab().toImage());
        QCOMPARE(shot.size(), (icon ? size : widget->size()) * ratio);
        const QImage expected = resource(ratio == 2 ? doubled : plain);
        QVERIFY(icon ? shot == expected : shows(shot, expected));
    }

    // The choice of source at any ratio, the in-between ones included: the control, the
    // ratio asked for, the picture's size in the screen's pixels and the ratio it is made
    // for, and where it comes from: "file" as it is, or "file scaled" smoothly to that size.
    // Holds whatever the screen's own ratio, so the run at 1 also proves that the 2x copies
    // are there when nothing was scaled at start.
    void ratios_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<qreal>("at");
        QTest::addColumn<QSize>("pixels");
        QTest::addColumn<qreal>("madeFor");
        QTest::addColumn<QString>("source");
        const auto row = [](const char *name, const char *control, qreal at, QSize pixels,
                            qreal madeFor, const char *source) {
            QTest::newRow(name) << QString(control) << at << pixels << madeFor << QString(source);
        };
        row("kick at 1.5", "Kick_Cmd", 1.5, {117, 90}, 1.5, "kick@2x.png scaled");
        // Nothing sharper exists: the 2x copy as it is, for the painter to enlarge.
        row("kick at 3", "Kick_Cmd", 3, {156, 120}, 2, "kick@2x.png");
    }
    void ratios()
    {
        QFETCH(QString, control);
        QFETCH(qreal, at);
        QFETCH(QString, source);
        auto *button = ::control<PictureButton>(*form, control);
        const QPixmap picture = button->icon().pixmap(button->iconSize(), at);
        QTEST(picture.size(), "pixels");
        QTEST(picture.devicePixelRatio(), "madeFor");
        // The size on screen stays the control's, whatever the ratio it was made for.
        QCOMPARE(picture.deviceIndependentSize().toSize(), button->iconSize());
        // As the pixmap holds it; an 8-bit palette image would be scaled differently.
        QImage expected = QPixmap(":/pictures/" + source.section(' ', 0, 0)).toImage();
        if (source.endsWith(" scaled")) {
            expected = expected.scaled(picture.size(), Qt::IgnoreAspectRatio,
                                       Qt::SmoothTransformation);
            expected.setDevicePixelRatio(at);
        }
        QCOMPARE(argb(picture.toImage()), argb(expected));
    }

    // A disabled button greys its sharp picture; it does not fall back to the 1x one.
    void disabledStaysSharp()
    {
        auto *kick = control<PictureButton>(*form, "Kick_Cmd");
        kick->setEnabled(false);
        const QPixmap picture = kick->picture();
        kick->setEnabled(true);
        QCOMPARE(picture.size(), ratio == 2 ? QSize(156, 120) : QSize(78, 60));
        QCOMPARE(picture.devicePixelRatio(), ratio);
        QVERIFY(argb(picture.toImage()) != resource(ratio == 2 ? "kick@2x.png" : "kick.png"));
    }
};

QTEST_MAIN(PicturesTest)
#include "tst_pictures.moc"
