// The window as laid out: every control at its place (the design's twips divided by 15),
// with its font, colour and text, its caption fitting; the tab order; and the look of the
// controls in the disabled frames. All of it under a dark scheme, whose texts are white.
// And the window's pictures. Run once with QT_SCALE_FACTOR=1 and once with 2: on the scaled
// screen every picture must come from its copy drawn at twice the size, pixel for pixel, not
// from the 1x picture stretched, and at 1.5 from that copy brought down, not from the 1x one
// blown up; and only the copies the screen needs are decoded.
#include "formrig.h"
#include "picturebutton.h"
#include "pictures.h"

#include <QApplication>

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

class LayoutTest : public QObject
{
    Q_OBJECT

    FormRig rig;
    CRTEST_Form *form = nullptr;
    const QPalette scheme{Qt::white, QColor(40, 40, 40)};
    qreal ratio = 0;

private slots:
    void initTestCase()
    {
        QApplication::setPalette(scheme);
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
    // The window as created, before its load event has run.
    void init() { form = &rig.build(); }

    void controls_data()
    {
        QTest::addColumn<QRect>("place");
        QTest::addColumn<qreal>("points");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("background"); // invalid: the system's
        const QColor system, rose(255, 192, 192), pink(255, 192, 255), green(192, 255, 192),
                box(128, 255, 128), white(255, 255, 255);
        const auto row = [](const char *name, QRect place, qreal points, bool bold,
                            const char *text, QColor background) {
            QTest::newRow(name) << place << points << bold << text << background;
        };
        row("Image1", {0, 8, 242, 65}, 15.75, false, "", system);
        row("Status_Cmd", {248, 8, 80, 65}, 12, true, "STATUS", QColor(255, 255, 128));
        row("Kick_Cmd", {336, 8, 80, 65}, 12, true, "", QColor(255, 255, 192));
        row("cmdHelp", {432, 8, 81, 65}, 15.75, false, "", rose);
        row("Exit_Cmd", {520, 8, 80, 65}, 15.75, true, "", rose);
        row("CRFrame", {8, 88, 593, 153}, 15.75, false, "", pink);
        row("CountFrame", {8, 240, 593, 137}, 15.75, false, "", green);
        row("Frame2", {504, 328, 9, 1}, 15.75, false, "Frame2", system);
        row("Number_Label", {32, 32, 183, 18}, 12, true, "Cash Drawer Number :", system);
        row("Status_Label", {32, 64, 185, 21}, 12, true, "Open/Close/Not Preset:", system);
        row("Kick_Label", {32, 96, 185, 17}, 12, true, "Kick This Drawer Out ?", system);
        // One column per drawer: 32 px apart, the check box 4 px right of label and box.
        row("Drawer0_Label", {236, 24, 25, 21}, 14.25, true, "#0", system);
        row("Drawer7_Label", {460, 24, 25, 21}, 14.25, true, "#7", system);
        row("Drawer_State_0", {236, 56, 21, 25}, 13.5, true, "", white);
        row("Drawer_State_5", {396, 56, 21, 25}, 13.5, true, "", white);
        row("Drawer_Check_0", {240, 88, 21, 29}, 15.75, false, "", pink);
        row("Drawer_Check_7", {464, 88, 21, 29}, 15.75, false, "", pink);
        // Two columns of caption and box, each indexed by its record's number.
        row("Label3_5", {8, 24, 165, 17}, 12, true, "SerialNumber :", system);
        row("Label3_7", {8, 56, 165, 17}, 12, true, "MechanicalRevision : ", system);
        row("Label3_6", {8, 88, 165, 17}, 12, true, "ManufactureDate :", system);
        row("Label3_10", {304, 24, 165, 17}, 12, true, "InstallationDate :", system);
        row("Label3_13", {304, 56, 165, 25}, 12, true, "DrawerGoodOpen :", system);
        row("Label3_14", {304, 88, 165, 17}, 12, true, "DrawerFailedOpen :", system);
        row("crTextSValue_5", {184, 24, 105, 30}, 12, true, "", box);
        row("crTextSValue_7", {184, 56, 105, 30}, 12, true, "", box);
        row("crTextSValue_6", {184, 88, 105, 30}, 12, true, "", box);
        row("crTextSValue_10", {472, 24, 105, 30}, 12, true, "YYYYMMDD", box);
        row("crTextSValue_13", {472, 56, 105, 30}, 12, true, "DrawerGoodOpenCount", box);
        row("crTextSValue_14", {472, 88, 105, 30}, 12, true, "DrawerFailedOpenCount", box);
    }
    void controls()
    {
        QFETCH(QColor, background);
        const QWidget *control = ::control(*form, QTest::currentDataTag());
        QTEST(control->geometry(), "place");
        QTEST(control->font().pointSizeF(), "points");
        QTEST(control->font().bold(), "bold");
        QCOMPARE(QFontInfo(control->font()).family(), "Liberation Sans");
        const bool group = qobject_cast<const QGroupBox *>(control);
        QTEST(control->property(group ? "title" : "text").toString(), "text");
        // A check box paints no background of its own: its frame's shows through.
        const QPalette::ColorRole role = qobject_cast<const QCheckBox *>(control)
                ? QPalette::Window : control->backgroundRole();
        if (background.isValid())
            QCOMPARE(control->palette().color(role), background);
        // Wherever the window fixes a colour behind text, the text on it is black, whatever
        // the scheme says.
        for (const auto &[behind, text] : {std::pair{QPalette::Window, QPalette::WindowText},
                                           {QPalette::Base, QPalette::Text},
                                           {QPalette::Button, QPalette::ButtonText}})
            if (control->palette().color(behind) != scheme.color(behind))
                QCOMPARE(control->palette().color(QPalette::Active, text), QColor(Qt::black));
        // A caption's letters fit in its label, with the Liberation fonts the layout is
        // measured with, wherever its alignment puts them; a trailing blank draws nothing.
        if (const auto *label = qobject_cast<const QLabel *>(control))
            QVERIFY(QFontMetrics(label->font()).horizontalAdvance(label->text().trimmed())
                    <= label->contentsRect().width());
    }

    // The frames are disabled only to keep the user's hands off: what the program writes
    // there must not look greyed out, and a click must not change a tick. The drawer letters
    // keep their colours: blue open, black closed, red not present.
    void disabledFramesKeepTheirLook()
    {
        rig.driver.states[0] = 0;
        form->load();
        QCOMPARE(rowLetters(*form), "OCCCNNNN");
        for (const auto &[drawer, colour] : {std::pair{0, Qt::blue}, {1, Qt::black}, {4, Qt::red}})
            QCOMPARE(control(*form, QString("Drawer_State_%1").arg(drawer))
                             ->palette().color(QPalette::Disabled, QPalette::Text),
                     QColor(colour));
        const QList<QWidget *> inside = control(*form, "CRFrame")->findChildren<QWidget *>()
                + control(*form, "CountFrame")->findChildren<QWidget *>();
        QCOMPARE(inside.size(), 39);
        for (const QWidget *w : inside)
            QVERIFY2(!w->isEnabled() && w->palette().isEqual(QPalette::Disabled, QPalette::Active),
                     qPrintable(w->objectName()));
        auto *tick = control<QCheckBox>(*form, "Drawer_Check_0");
        QVERIFY(tick->isChecked());
        QTest::mouseClick(tick, Qt::LeftButton);
        QVERIFY(tick->isChecked());
    }

    // The window has a fixed size. Tabbing starts at exit and visits every control in the
    // design's order; each has its own accessible name, and the picture-only buttons also
    // carry a tooltip.
    void windowAndFocusChain()
    {
        QCOMPARE(form->minimumSize(), QSize(607, 384));
        QCOMPARE(form->maximumSize(), QSize(607, 384));
        QWidget *const start = form->focusWidget();
        QStringList chain{start->objectName()};
        QSet<QString> names{start->accessibleName()};
        for (QWidget *w = start->nextInFocusChain(); w != start; w = w->nextInFocusChain())
            if (w->focusPolicy() != Qt::NoFocus) {
                chain << w->objectName();
                names << w->accessibleName();
            }
        QCOMPARE(chain,
                 words("Exit_Cmd Status_Cmd Kick_Cmd cmdHelp crTextSValue_5 crTextSValue_6 "
                 "crTextSValue_10 crTextSValue_13 crTextSValue_14 crTextSValue_7 Drawer_State_7 "
                 "Drawer_State_6 Drawer_State_5 Drawer_State_4 Drawer_State_3 Drawer_State_2 "
                 "Drawer_State_1 Drawer_State_0 Drawer_Check_0 Drawer_Check_7 Drawer_Check_6 "
                 "Drawer_Check_5 Drawer_Check_4 Drawer_Check_3 Drawer_Check_2 Drawer_Check_1"));
        QVERIFY(!names.contains("") && names.size() == 26);
        QCOMPARE(control(*form, "Drawer_State_3")->accessibleName(), "Drawer 3 state");
        for (const char *pictureOnly : {"Kick_Cmd", "cmdHelp", "Exit_Cmd"})
            QVERIFY(!button(*form, pictureOnly)->toolTip().isEmpty());
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
        form->load(); // STATUS and the kick stay greyed until the controller opens
        const QString plain = QTest::currentDataTag();
        const QString doubled = QString(plain).replace(".", "@2x.");
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
        // A disabled button greys its sharp picture; it does not fall back to the 1x one.
        if (auto *button = qobject_cast<PictureButton *>(widget)) {
            button->setEnabled(false);
            const QPixmap greyed = button->picture();
            QCOMPARE(greyed.size(), size * ratio);
            QVERIFY(greyed.devicePixelRatio() == ratio && argb(greyed.toImage()) != expected);
        }
    }

    // The kick's choice of source at any ratio, the in-between ones included: the ratio asked
    // for, the picture's size in the screen's pixels and the ratio it is made for, and where it
    // comes from: "file" as it is, or "file scaled" smoothly to that size. Holds whatever the
    // screen's own ratio, so the run at 1 also proves that the 2x copies are there when nothing
    // was scaled at start.
    void ratios_data()
    {
        QTest::addColumn<qreal>("at");
        QTest::addColumn<QSize>("pixels");
        QTest::addColumn<qreal>("madeFor");
        QTest::addColumn<QString>("source");
        const auto row = [](const char *name, qreal at, QSize pixels, qreal madeFor,
                            const char *source) {
            QTest::newRow(name) << at << pixels << madeFor << source;
        };
        row("at 1.5", 1.5, {117, 90}, 1.5, "kick@2x.png scaled");
        // Nothing sharper exists: the 2x copy as it is, for the painter to enlarge.
        row("at 3", 3, {156, 120}, 2, "kick@2x.png");
    }
    void ratios()
    {
        QFETCH(qreal, at);
        QFETCH(QString, source);
        auto *button = control<PictureButton>(*form, "Kick_Cmd");
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
};

QTEST_MAIN(LayoutTest)
#include "tst_layout.moc"
