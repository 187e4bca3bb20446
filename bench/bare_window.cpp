// The yardstick for the utility's launch: a plain Qt window of the same size holding the
// same number and kinds of controls at the same places, with the same texts and fonts,
// and nothing else: no pictures, colours, driver, handlers or start-up work.
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>

#include "twips.h"

namespace {

QLabel *label(QWidget *parent, const QString &text, qreal points, int left, int top, int width,
              int height)
{
    auto *l = new QLabel(text, parent);
    l->setFont(arial(points, true));
    place(l, left, top, width, height);
    return l;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);

    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare window"));
    window.setFont(arial(15.75, false));
    window.setFixedSize(qRound(9105 / 15.0), qRound(5760 / 15.0));

    const struct { const char *text; int left; } buttons[] = {
            {"", 6480}, {"", 5040}, {"", 7800}, {"STATUS", 3720}};
    for (const auto &b : buttons) {
        auto *button = new QPushButton(QString::fromLatin1(b.text), &window);
        button->setFont(arial(12, true));
        place(button, b.left, 120, 1200, 975);
    }
    new QShortcut(QKeySequence(Qt::Key_Escape), &window);
    place(new QLabel(&window), 0, 120, 3630, 975);

    auto *drawers = new QFrame(&window);
    place(drawers, 120, 1320, 8895, 2295);
    place(new QGroupBox(QStringLiteral("Frame2"), &window), 7560, 4920, 135, 15);
    auto *counts = new QFrame(&window);
    place(counts, 120, 3600, 8895, 2055);
    new QTimer(drawers);

    for (int n = 0; n < 8; ++n) {
        place(new QCheckBox(drawers), 3600 + 480 * n, 1320, 312, 432);
        auto *state = new QLineEdit(drawers);
        state->setFont(arial(13.5, true));
        place(state, 3540 + 480 * n, 840, 312, 372);
        label(drawers, QStringLiteral("#%1").arg(n), 14.25, 3540 + 480 * n, 360, 375, 315);
    }
    label(drawers, QStringLiteral("Cash Drawer Number :"), 12, 480, 480, 2745, 270);
    label(drawers, QStringLiteral("Open/Close/Not Preset:"), 12, 480, 960, 2775, 315);
    label(drawers, QStringLiteral("Kick This Drawer Out ?"), 12, 480, 1440, 2775, 255);

    const struct { int captionLeft, boxLeft, top; const char *caption, *text; } rows[] = {
            {120, 2760, 840, "MechanicalRevision : ", ""},
            {4560, 7080, 1320, "DrawerFailedOpen :", "DrawerFailedOpenCount"},
            {4560, 7080, 840, "DrawerGoodOpen :", "DrawerGoodOpenCount"},
            {4560, 7080, 360, "InstallationDate :", "YYYYMMDD"},
            {120, 2760, 1320, "ManufactureDate :", ""},
            {120, 2760, 360, "SerialNumber :", ""},
    };
    for (const auto &row : rows) {
        auto *box = new QLineEdit(QString::fromLatin1(row.text), counts);
        box->setFont(arial(12, true));
        place(box, row.boxLeft, row.top, 1575, 450);
        label(counts, QString::fromLatin1(row.caption), 12, row.captionLeft, row.top, 2475, 255);
    }

    if (QScreen *screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    window.show();
    return application.exec();
}
