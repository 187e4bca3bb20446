#include "crtest_form.h"

#include "caption.h"
#include "crtestversion.h"
#include "formlayout.h"
#include "formservices.h"
#include "logcategories.h"
#include "picturebutton.h"
#include "pictures.h"
#include "statistics.h"
#include "twips.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QTimer>

#include <cstdlib>
#include <map>

namespace {

// Wherever the window fixes a background colour it fixes the colour of the text on it too:
// the system's text colour is white in a dark scheme, unreadable on these light colours.
void setColours(QWidget *widget, QPalette::ColorRole background, QRgb colour,
                QPalette::ColorRole text)
{
    QPalette palette = widget->palette();
    palette.setColor(background, QColor::fromRgb(colour));
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

Qt::Alignment alignmentOf(Align align)
{
    switch (align) {
    case Align::Centre:
        return Qt::AlignCenter;
    case Align::Right:
        return Qt::AlignRight | Qt::AlignVCenter;
    case Align::Left:
        break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

PictureButton *makeButton(const ControlLayout &c, QWidget *parent)
{
    auto *button = new PictureButton(c.text, parent);
    button->setIcon(iconOf(c.pictures));
    button->setIconSize(c.pictureSize);
    if (c.text.isEmpty())
        button->setToolTip(c.description);
    // Outside a dialog QPushButton ignores Enter unless asked; technicians expect Enter
    // to press the focused button.
    button->setAutoDefault(true);
    setColours(button, QPalette::Button, c.background, QPalette::ButtonText);
    // A disabled button's caption greys out, in a grey that reads on its face in any scheme.
    QPalette palette = button->palette();
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(110, 110, 110));
    button->setPalette(palette);
    return button;
}

QFrame *makePanel(const ControlLayout &c, QWidget *parent)
{
    auto *panel = new QFrame(parent);
    panel->setAutoFillBackground(true);
    setColours(panel, QPalette::Window, c.background, QPalette::WindowText);
    // The check boxes draw their box in the base colour and the tick in the text colour.
    setColours(panel, QPalette::Base, qRgb(255, 255, 255), QPalette::Text);
    keepActiveLookWhenDisabled(panel);
    return panel;
}

QLineEdit *makeTextBox(const ControlLayout &c, QWidget *parent)
{
    auto *box = new QLineEdit(c.text, parent);
    box->setAlignment(alignmentOf(c.align));
    if (c.align == Align::Centre)
        box->setTextMargins(0, 0, 0, 0);
    setColours(box, QPalette::Base, c.background, QPalette::Text);
    box->setToolTip(c.text);
    box->setCursorPosition(0);
    return box;
}

QObject *makeControl(const ControlLayout &c, QWidget *parent)
{
    switch (c.kind) {
    case ControlKind::PushButton:
        return makeButton(c, parent);
    case ControlKind::Picture: {
        auto *picture = new QLabel(parent);
        picture->setPixmap(iconOf(c.pictures).pixmap(c.pictureSize, parent->devicePixelRatio()));
        return picture;
    }
    case ControlKind::Panel:
        return makePanel(c, parent);
    case ControlKind::GroupBox:
        return new QGroupBox(c.text, parent);
    case ControlKind::Timer:
        return new QTimer(parent);
    case ControlKind::Caption:
    case ControlKind::Label: {
        auto *caption = new Caption(c.text, parent);
        caption->setAlignment(alignmentOf(c.align));
        return caption;
    }
    case ControlKind::TextBox:
        return makeTextBox(c, parent);
    case ControlKind::CheckBox:
        return new QCheckBox(parent);
    }
    return nullptr;
}

} // namespace

CRTEST_Form::CRTEST_Form(Controller &controller, FormServices &services, QWidget *parent)
    : QWidget(parent)
    , m_controller(controller)
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
    setWindowTitle(QStringLiteral("Varnel Quorvin Functional Utility V%1.%2")
                           .arg(CRTEST_VERSION_MAJOR)
                           .arg(CRTEST_VERSION_MINOR));
    setWindowIcon(iconOf({QStringLiteral("window_icon_32.png"), QStringLiteral("window_icon_16.png")}));
    setFont(arial(FormPoints, false));
    setFixedSize(twips(FormWidth), twips(FormHeight));

    std::map<Container, QWidget *> containers{{Container::Window, this}};
    std::map<int, QWidget *> tabStops;
    for (const ControlLayout &c : formLayout()) {
        QObject *control = makeControl(c, containers.at(c.container));
        control->setObjectName(c.name);
        auto *widget = qobject_cast<QWidget *>(control);
        if (!widget)
            continue;
        if (c.points > 0)
            widget->setFont(arial(c.points, c.bold));
        widget->setAccessibleName(c.description);
        place(widget, c.left, c.top, c.width, c.height);
        if (c.kind == ControlKind::Picture)
            widget->adjustSize(); // shown at its natural size
        if (c.kind == ControlKind::Panel)
            containers[panelContainer(c)] = widget;
        if (c.tabIndex >= 0 && widget->focusPolicy() != Qt::NoFocus)
            tabStops[c.tabIndex] = widget;
    }

    Status_Cmd = findChild<QPushButton *>(QStringLiteral("Status_Cmd"));
    Kick_Cmd = findChild<QPushButton *>(QStringLiteral("Kick_Cmd"));
    cmdHelp = findChild<QPushButton *>(QStringLiteral("cmdHelp"));
    Exit_Cmd = findChild<QPushButton *>(QStringLiteral("Exit_Cmd"));
    CRFrame = findChild<QFrame *>(QStringLiteral("CRFrame"));
    CountFrame = findChild<QFrame *>(QStringLiteral("CountFrame"));
    for (int n = 0; n < DrawerCount; ++n) {
        Drawer_Check[n] = findChild<QCheckBox *>(QStringLiteral("Drawer_Check_%1").arg(n));
        Drawer_State[n] = findChild<QLineEdit *>(QStringLiteral("Drawer_State_%1").arg(n));
    }
    for (const ShownStatistic &shown : ShownStatistics)
        crTextSValue[shown.record] =
                findChild<QLineEdit *>(QStringLiteral("crTextSValue_%1").arg(shown.record));
    Kick_Cmd->setEnabled(false);
    Status_Cmd->setEnabled(false);

    QWidget *previous = nullptr;
    for (const auto &[index, widget] : tabStops) {
        if (previous)
            setTabOrder(previous, widget);
        previous = widget;
    }
    Exit_Cmd->setFocus();
}

void CRTEST_Form::connectControls()
{
    connect(Exit_Cmd, &QPushButton::clicked, this, [this] { runHandler(&CRTEST_Form::Exit_Cmd_Click); });
    connect(cmdHelp, &QPushButton::clicked, this, [this] { runHandler(&CRTEST_Form::cmdHelp_Click); });
    connect(Status_Cmd, &QPushButton::clicked, this,
            [this] { runHandler(&CRTEST_Form::Status_Cmd_Click); });
    connect(Kick_Cmd, &QPushButton::clicked, this, [this] { runHandler(&CRTEST_Form::Kick_Cmd_Click); });
    // Exit is the window's cancel button: Escape presses it.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, Exit_Cmd, &QPushButton::animateClick);
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
    m_controller.close();
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
