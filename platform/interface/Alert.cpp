// platform/interface/Alert.cpp: BAlert, beep, and the desktop service that shows them with Qt.
#include "platform/interface/Alert.h"

#include "platform/app/Application.h"
#include "platform/app/WindowPrivate.h"
#include "platform/support/ProgramName.h"
#include "platform/support/Trace.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>

#include <algorithm>

namespace
{

// Message boxes and the desktop bell.
class DesktopAlertService : public AlertService
{
public:
    int32 Show(const AlertRequest& request) override;
    void Beep() override;
};

// A message box that opens centred over the window it belongs to: the toolkit's own placement
// leaves it higher by a title bar. Its size is final only once it is about to show.
class CentredBox : public QMessageBox
{
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override
    {
        QMessageBox::showEvent(event);
        if (parentWidget() == nullptr || event->spontaneous())
            return;
        QRect area = geometry();
        area.moveCenter(parentWidget()->geometry().center());
        setGeometry(area);
    }
};

DesktopAlertService sDesktopService;
AlertService* sService = &sDesktopService;

QMessageBox::Icon icon_for(alert_type type)
{
    switch (type) {
    case B_EMPTY_ALERT:
        return QMessageBox::NoIcon;
    case B_WARNING_ALERT:
        return QMessageBox::Warning;
    case B_STOP_ALERT:
        return QMessageBox::Critical;
    case B_INFO_ALERT:
    case B_IDEA_ALERT:
    default:
        return QMessageBox::Information;
    }
}

// A button label as Qt shows it: "&" is a mnemonic marker there, so it is doubled.
QString button_text(const std::string& label)
{
    return QString::fromUtf8(label.c_str()).replace(QLatin1Char('&'), QLatin1String("&&"));
}

// The box shows the text as plain text: it carries file names, never markup. It is transient
// for the window it belongs to: on X11 it centres itself over that window; natively on Wayland
// only the compositor places windows, and the parent link is what it can go by.
QMessageBox* make_box(const AlertRequest& request, std::vector<QAbstractButton*>* buttons)
{
    auto* box = new CentredBox(alert_owner());
    box->setWindowTitle(request.title.empty() ? QString::fromStdString(program_title())
                                              : QString::fromUtf8(request.title.c_str()));
    box->setTextFormat(Qt::PlainText);
    box->setText(QString::fromUtf8(request.text.c_str()));
    box->setIcon(icon_for(request.type));
    // All buttons share one role, so they keep the order given, left to right.
    for (const std::string& label : request.buttons)
        buttons->push_back(box->addButton(button_text(label), QMessageBox::ActionRole));
    if (!buttons->empty())
        box->setDefaultButton(static_cast<QPushButton*>(buttons->back()));
    return box;
}

int32 DesktopAlertService::Show(const AlertRequest& request)
{
    ensure_gui();
    std::vector<QAbstractButton*> buttons;
    QMessageBox* box = make_box(request, &buttons);
    if (!request.waits) {
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        box->show();
        return 0;
    }
    box->setWindowModality(Qt::ApplicationModal);
    // Within a long run the pointer is busy; over a box that waits for the user it is not.
    const bool busy = QGuiApplication::overrideCursor() != nullptr;
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    box->exec();
    if (busy)
        QGuiApplication::restoreOverrideCursor();
    auto pressed = std::find(buttons.begin(), buttons.end(), box->clickedButton());
    delete box;
    // A box with several buttons cannot be closed without one; a single button is also the
    // box's escape, so closing it counts as pressing it.
    return pressed != buttons.end() ? static_cast<int32>(pressed - buttons.begin()) : 0;
}

void DesktopAlertService::Beep()
{
    ensure_gui();
    QApplication::beep();
}

} // namespace

BAlert::BAlert(const char* title, const char* text, const char* button0, const char* button1,
    const char* button2, button_width /*width*/, alert_type type)
    : fTitle(title != nullptr ? title : "")
    , fText(text != nullptr ? text : "")
    , fType(type)
{
    for (const char* label : { button0, button1, button2 })
        if (label != nullptr)
            fButtons.emplace_back(label);
}

BAlert::~BAlert() = default;

// The index of the pressed button.
int32 BAlert::Go()
{
    AlertRequest request { fTitle, fText, fButtons, fType, true };
    trace_flush();
    const int32 index = alert_service()->Show(request);
    delete this;
    return index;
}

// B_OK.
status_t BAlert::Go(BInvoker* /*invoker*/)
{
    AlertRequest request { fTitle, fText, fButtons, fType, false };
    alert_service()->Show(request);
    delete this;
    return B_OK;
}

void beep()
{
    alert_service()->Beep();
}

AlertService* set_alert_service(AlertService* service)
{
    AlertService* previous = sService;
    sService = service != nullptr ? service : &sDesktopService;
    return previous;
}

AlertService* alert_service()
{
    return sService;
}
