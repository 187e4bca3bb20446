#include "crtest_form.h"

#include "caption.h"
#include "drawerdriver.h"
#include "formservices.h"
#include "logcategories.h"
#include "report.h"
#include "picturebutton.h"
#include "twips.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <exception>

namespace {

// Wherever the window fixes a background colour it fixes the colour of the text on it too:
// the system's text colour is white in a dark scheme, unreadable on these light colours.
void setColours(QWidget *widget, QPalette::ColorRole background, const QColor &colour,
                QPalette::ColorRole text)
{
    QPalette palette = widget->palette();
    palette.setColor(background, colour);
    palette.setColor(text, Qt::black);
    widget->setPalette(palette);
}

// The frames are disabled for the whole run only to keep the user's hands off their
// controls; the program's writes must still read clearly, not greyed out. Children
// inherit this palette, so the copy is made once per frame, before its controls exist.
void keepActiveLookWhenDisabled(QWidget *frame)
{
    QPalette palette = frame->palette();
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
        const auto r = static_cast<QPalette::ColorRole>(role);
        palette.setBrush(QPalette::Disabled, r, palette.brush(QPalette::Active, r));
    }
    frame->setPalette(palette);
}

// Each picture has a copy twice its size beside it, NAME@2x.png. QIcon::addFile picks that
// up by itself only while some screen is already scaled; adding it here too keeps it for a
// window that moves to a scaled screen later (addPixmap merges it with the copy QIcon found).
QIcon iconOf(std::initializer_list<const char *> files)
{
    QIcon icon;
    for (const char *file : files) {
        QString name = QString::fromLatin1(file);
        icon.addFile(name);
        icon.addPixmap(QPixmap(name.insert(name.lastIndexOf(u'.'), u"@2x")));
    }
    return icon;
}

PictureButton *makeButton(QWidget *parent, const char *name, const QIcon &picture,
                          QSize pictureSize, const QColor &face, const QString &description)
{
    auto *button = new PictureButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setIcon(picture);
    button->setIconSize(pictureSize);
    button->setToolTip(description);
    button->setAccessibleName(description);
    // Outside a dialog QPushButton ignores Enter unless asked; technicians expect Enter
    // to press the focused button.
    button->setAutoDefault(true);
    setColours(button, QPalette::Button, face, QPalette::ButtonText);
    // A disabled button's caption greys out, in a grey that reads on its face in any scheme.
    QPalette palette = button->palette();
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(110, 110, 110));
    button->setPalette(palette);
    return button;
}

QLabel *makeLabel(QWidget *parent, const QString &text, const QFont &font,
                  Qt::Alignment alignment)
{
    auto *label = new Caption(text, parent);
    label->setFont(font);
    label->setAlignment(alignment);
    return label;
}

// A coloured panel without caption; see keepActiveLookWhenDisabled for why its look is fixed
// before its controls are made.
QFrame *makePanel(QWidget *parent, const char *name, const QString &description, int top,
                  int height, const QColor &colour)
{
    auto *panel = new QFrame(parent);
    panel->setObjectName(QLatin1String(name));
    panel->setAccessibleName(description);
    place(panel, 120, top, 8895, height);
    panel->setAutoFillBackground(true);
    setColours(panel, QPalette::Window, colour, QPalette::WindowText);
    // The check boxes draw their box in the base colour and the tick in the text colour.
    setColours(panel, QPalette::Base, QColor(255, 255, 255), QPalette::Text);
    keepActiveLookWhenDisabled(panel);
    return panel;
}

// Row titles and statistics captions, in the panel's black (see setColours).
QLabel *makeCaption(QWidget *parent, const QString &name, const QString &text,
                    Qt::Alignment alignment)
{
    auto *label = new Caption(text, parent);
    label->setFont(arial(12, true));
    label->setAlignment(alignment | Qt::AlignVCenter);
    label->setObjectName(name);
    return label;
}

} // namespace

CRTEST_Form::CRTEST_Form(DrawerDriver *driver, const QString &driverError,
                         FormServices &services, QWidget *parent)
    : QWidget(parent)
    , m_driver(driver)
    , m_driverError(driverError)
    , m_services(services)
    , m_rules({[this] { m_services.yield(); }, [this] { close(); },
               [this](const QString &reason) { failAndEnd(reason); }})
{
    createControls();
    connectControls();
}

CRTEST_Form::~CRTEST_Form() = default;

void CRTEST_Form::createControls()
{
    setObjectName(QStringLiteral("CRTEST_Form"));
    setWindowTitle(QStringLiteral("Varnel Quorvin Functional Utility V2.0"));
    setWindowIcon(iconOf({":/pictures/window_icon_32.png", ":/pictures/window_icon_16.png"}));
    setFont(arial(15.75, false));
    setFixedSize(qRound(9105 / 15.0), qRound(5760 / 15.0));

    cmdHelp = makeButton(this, "cmdHelp", iconOf({":/pictures/help.png"}), {64, 64},
                         QColor(255, 192, 192), tr("Open the help text"));
    place(cmdHelp, 6480, 120, 1215, 975);

    CRFrame = makePanel(this, "CRFrame", tr("Drawers"), 1320, 2295, QColor(255, 192, 255));

    Frame2 = new QGroupBox(QStringLiteral("Frame2"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    place(Frame2, 7560, 4920, 135, 15);

    CountFrame = makePanel(this, "CountFrame", tr("Statistics"), 3600, 2055,
                           QColor(192, 255, 192));

    Kick_Cmd = makeButton(this, "Kick_Cmd", iconOf({":/pictures/kick.png"}), {78, 60},
                          QColor(255, 255, 192), tr("Kick the ticked drawers"));
    Kick_Cmd->setFont(arial(12, true));
    Kick_Cmd->setEnabled(false);
    place(Kick_Cmd, 5040, 120, 1200, 975);

    Exit_Cmd = makeButton(this, "Exit_Cmd",
                          iconOf({":/pictures/exit_32.png", ":/pictures/exit_16.png"}), {32, 32},
                          QColor(255, 192, 192), tr("Close the device and exit"));
    Exit_Cmd->setFont(arial(15.75, true));
    place(Exit_Cmd, 7800, 120, 1200, 975);
    // Exit is the window's cancel button: Escape presses it.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, Exit_Cmd, &QPushButton::animateClick);

    Status_Cmd = makeButton(this, "Status_Cmd",
                            iconOf({":/pictures/status_32.png", ":/pictures/status_16.png"}),
                            {32, 32}, QColor(255, 255, 128), tr("Read the state of every drawer"));
    Status_Cmd->setText(QStringLiteral("STATUS"));
    Status_Cmd->setFont(arial(12, true));
    Status_Cmd->setEnabled(false);
    place(Status_Cmd, 3720, 120, 1200, 975);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(pictureAt(iconOf({":/pictures/logo.png"}), {242, 65}, devicePixelRatio()));
    Image1->setAccessibleName(tr("Varnel logo"));
    place(Image1, 0, 120, 3630, 975);
    Image1->adjustSize();

    // The drawer panel: one column per drawer under a row title.
    Tmr_Delay = new QTimer(CRFrame);
    Tmr_Delay->setObjectName(QStringLiteral("Tmr_Delay"));

    // The check boxes are created 1 to 7, then 0, as designed; their order only matters
    // for the stacking of overlapping controls, and none overlap.
    const auto makeCheck = [this](int n) {
        auto *check = new QCheckBox(CRFrame);
        check->setObjectName(QStringLiteral("Drawer_Check_%1").arg(n));
        check->setAccessibleName(tr("Kick drawer %1").arg(n));
        place(check, 3600 + 480 * n, 1320, 312, 432);
        Drawer_Check[n] = check;
    };
    for (int n = 1; n < DrawerCount; ++n)
        makeCheck(n);
    makeCheck(0);

    for (int n = 0; n < DrawerCount; ++n) {
        auto *state = new QLineEdit(CRFrame);
        state->setObjectName(QStringLiteral("Drawer_State_%1").arg(n));
        state->setAccessibleName(tr("Drawer %1 state").arg(n));
        state->setFont(arial(13.5, true));
        state->setAlignment(Qt::AlignCenter);
        state->setTextMargins(0, 0, 0, 0);
        setColours(state, QPalette::Base, QColor(255, 255, 255), QPalette::Text);
        place(state, 3540 + 480 * n, 840, 312, 372);
        Drawer_State[n] = state;
    }

    Number_Label = makeCaption(CRFrame, QStringLiteral("Number_Label"),
                               QStringLiteral("Cash Drawer Number :"), Qt::AlignLeft);
    place(Number_Label, 480, 480, 2745, 270);

    for (int n = 0; n < DrawerCount; ++n) {
        QLabel *label = makeLabel(CRFrame, QStringLiteral("#%1").arg(n), arial(14.25, true),
                                  Qt::AlignCenter);
        label->setObjectName(QStringLiteral("Drawer%1_Label").arg(n));
        place(label, 3540 + 480 * n, 360, 375, 315);
        DrawerLabels[n] = label;
    }

    Status_Label = makeCaption(CRFrame, QStringLiteral("Status_Label"),
                               QStringLiteral("Open/Close/Not Preset:"), Qt::AlignLeft);
    place(Status_Label, 480, 960, 2775, 315);
    Kick_Label = makeCaption(CRFrame, QStringLiteral("Kick_Label"),
                             QStringLiteral("Kick This Drawer Out ?"), Qt::AlignLeft);
    place(Kick_Label, 480, 1440, 2775, 255);

    // The statistics panel: two columns of caption and box, indexed by record number.
    struct StatisticsRow
    {
        int record;
        int captionLeft;
        int boxLeft;
        int top;
        const char *caption;
        const char *description;
        const char *initialText;
    };
    static constexpr StatisticsRow rows[] = {
            {7, 120, 2760, 840, "MechanicalRevision : ", "Mechanical revision", ""},
            {14, 4560, 7080, 1320, "DrawerFailedOpen :", "Failed openings", "DrawerFailedOpenCount"},
            {13, 4560, 7080, 840, "DrawerGoodOpen :", "Good openings", "DrawerGoodOpenCount"},
            {10, 4560, 7080, 360, "InstallationDate :", "Installation date", "YYYYMMDD"},
            {6, 120, 2760, 1320, "ManufactureDate :", "Manufacture date", ""},
            {5, 120, 2760, 360, "SerialNumber :", "Serial number", ""},
    };
    for (const StatisticsRow &row : rows) {
        auto *box = new QLineEdit(QLatin1String(row.initialText), CountFrame);
        box->setObjectName(QStringLiteral("crTextSValue_%1").arg(row.record));
        box->setAccessibleName(tr(row.description));
        box->setFont(arial(12, true));
        setColours(box, QPalette::Base, QColor(128, 255, 128), QPalette::Text);
        box->setToolTip(box->text());
        box->setCursorPosition(0);
        place(box, row.boxLeft, row.top, 1575, 450);
        crTextSValue.insert(row.record, box);
    }
    // Created in a different order from the boxes, as designed.
    for (const int record : {7, 6, 5, 14, 13, 10}) {
        const auto &row = *std::find_if(std::begin(rows), std::end(rows),
                                        [record](const StatisticsRow &r) { return r.record == record; });
        QLabel *caption = makeCaption(CountFrame, QStringLiteral("Label3_%1").arg(record),
                                      QLatin1String(row.caption), Qt::AlignRight);
        place(caption, row.captionLeft, row.top, 2475, record == 13 ? 375 : 255);
        Label3.insert(record, caption);
    }

    QWidget *tabOrder[] = {Exit_Cmd,
                           Status_Cmd,
                           Kick_Cmd,
                           cmdHelp,
                           crTextSValue[5],
                           crTextSValue[6],
                           crTextSValue[10],
                           crTextSValue[13],
                           crTextSValue[14],
                           crTextSValue[7],
                           Drawer_State[7],
                           Drawer_State[6],
                           Drawer_State[5],
                           Drawer_State[4],
                           Drawer_State[3],
                           Drawer_State[2],
                           Drawer_State[1],
                           Drawer_State[0],
                           Drawer_Check[0],
                           Drawer_Check[7],
                           Drawer_Check[6],
                           Drawer_Check[5],
                           Drawer_Check[4],
                           Drawer_Check[3],
                           Drawer_Check[2],
                           Drawer_Check[1]};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    Exit_Cmd->setFocus();
}

void CRTEST_Form::connectControls()
{
    connect(Exit_Cmd, &QPushButton::clicked, this, [this] { runHandler(&CRTEST_Form::Exit_Cmd_Click); });
    connect(cmdHelp, &QPushButton::clicked, this, [this] { runHandler(&CRTEST_Form::cmdHelp_Click); });
    connect(Status_Cmd, &QPushButton::clicked, this,
            [this] { runHandler(&CRTEST_Form::Status_Cmd_Click); });
    connect(Kick_Cmd, &QPushButton::clicked, this, [this] { runHandler(&CRTEST_Form::Kick_Cmd_Click); });
    // The standard copy key puts a report of what the window shows on the clipboard.
    auto *copy = new QShortcut(QKeySequence::Copy, this);
    connect(copy, &QShortcut::activated, this, [this] { runHandler(&CRTEST_Form::Copy_Report); });
}

void CRTEST_Form::load()
{
    runHandler(&CRTEST_Form::Form_Load);
}

void CRTEST_Form::closeEvent(QCloseEvent *event)
{
    switch (m_rules.requestClose()) {
    case EventRules::CloseAnswer::RunUnload:
        runHandler(&CRTEST_Form::Form_Unload);
        event->accept();
        break;
    case EventRules::CloseAnswer::Wait:
        event->ignore();
        break;
    case EventRules::CloseAnswer::Close:
        event->accept();
        break;
    }
}

void CRTEST_Form::runHandler(void (CRTEST_Form::*handler)())
{
    m_rules.run([this, handler] { (this->*handler)(); });
}

void CRTEST_Form::failAndEnd(const QString &reason)
{
    message(tr("Unexpected error: %1\nThe device is closed and the utility ends.").arg(reason));
    closeDevice();
    m_services.endProgram(EXIT_FAILURE);
}

void CRTEST_Form::closeDevice()
{
    if (m_rules.ended())
        return;
    // Without a bound library there is nothing to close and nothing may be called.
    if (m_driver)
        m_deviceResult = m_driver->closeBexor();
    m_rules.end();
}

void CRTEST_Form::message(const QString &text)
{
    // A log says what the technician was told.
    qCInfo(lcEvents, "Message box: %s", qUtf8Printable(printableText(text)));
    m_services.message(this, text);
}

QWidget *CRTEST_Form::disableWhileBusy(QPushButton *button)
{
    // The window's focus widget, not the application's: Qt moves it even while another
    // window (a message box) is active.
    const bool hadFocus = focusWidget() == button;
    button->setEnabled(false);
    return hadFocus ? focusWidget() : nullptr;
}

void CRTEST_Form::enableAgain(QPushButton *button, QWidget *focusMovedTo)
{
    button->setEnabled(true);
    if (focusMovedTo && focusWidget() == focusMovedTo)
        button->setFocus();
}
